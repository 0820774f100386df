#include "persistence/network_file.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/file_util.h"
#include "model/user_interface.h"
#include "model/value_text.h"
#include "persistence/type_file.h"
#include "persistence/xml_parse_buffer.h"
#include "persistence/xml_walk.h"
#include "systemlayer/sl_ipp_picture.h"
#include "systemlayer/system_layer.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string_view>
#include <unordered_set>

namespace telvo {

namespace {

using xmlwalk::same;
using xmlwalk::TAttrs;

struct TEnd {
    std::string Instance;
    std::string Port;
};

// An end is split at its first "."; a text without one is all instance.
TEnd splitEnd(std::string_view text)
{
    size_t dot = text.find('.');
    if (dot == std::string_view::npos)
        return {std::string(text), std::string()};
    return {std::string(text.substr(0, dot)), std::string(text.substr(dot + 1))};
}

std::string ippEnd(const TslIPPRef* ipp)
{
    if (!ipp)
        return ".";
    return (ipp->Owner ? ipp->Owner->Name : std::string()) + "." + ipp->Name;
}

// A pixel position stored as text: whole numbers, but a fraction from
// another writer rounds rather than failing.
bool pixelValue(const char* text, double& value)
{
    return text && *text && TryParseReal(std::string(text), value);
}

class TNetworkReader {
public:
    TNetworkReader(TFB_Diagram& diagram, TFB_Manager& manager, std::string fileName,
                   std::unordered_set<std::string>& failed)
        : d_(diagram), m_(manager), file_(std::move(fileName)), failed_(failed)
    {
    }

    // First pass: the instances, made on the way (they come first whatever
    // the order of the elements); the rest is only found here and read by
    // ReadConnections, once the instances of every file read together are
    // there.
    void ReadInstances(pugi::xml_node root)
    {
        root_ = root;
        TFB_Manager::TNeededBy neededBy(m_, "network file " + file_);
        for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling()) {
            const char* name = c.name();
            if (same(name, "FB"))
                readInstance(c);
            else if (same(name, "EventConnections"))
                events_ = events_ ? events_ : c;
            else if (same(name, "DataConnections"))
                datas_ = datas_ ? datas_ : c;
            else if (same(name, "NotesList"))
                notes_ = notes_ ? notes_ : c;
            else if (same(name, "IPPDrawInstanceName"))
                pictures_.push_back(c);
            else if (same(name, "FBIPPConnections"))
                ippFbs_.push_back(c);
            else if (same(name, "IPPtoIPPConnections"))
                ippToIpps_.push_back(c);
        }
    }

    void ReadConnections()
    {
        for (pugi::xml_node c = events_.first_child(); c; c = c.next_sibling())
            if (same(c.name(), "Connection"))
                readEventConnection(c);
        for (pugi::xml_node c = datas_.first_child(); c; c = c.next_sibling())
            if (same(c.name(), "Connection"))
                readDataConnection(c);
        readNotes(notes_);
        d_.IsInternalDeviceDiagram = flagValue(root_.attribute("IsInternalDeviceDiagram").value());
        for (pugi::xml_node p : pictures_)
            readIppPicture(p);
        for (pugi::xml_node e : ippFbs_)
            readIppFbConnection(e.child("Connection"));
        for (pugi::xml_node e : ippToIpps_)
            readIppToIppConnection(e.child("Connection"));
    }

private:
    void tell(const std::string& text) const { m_.ShowMessage(text); }

    static bool flagValue(std::string_view text)
    {
        std::string upper = UpperCase(text);
        return upper == "TRUE" || upper == "1";
    }

    void readInstance(pugi::xml_node fb)
    {
        constexpr const char* names[] = {"Name", "Type", "Comment", "x", "y"};
        TAttrs a(fb, names);
        const std::string& name = text(name_, a[0]);
        const std::string& typeName = text(type_, a[1]);
        // A name twice in one file draws the one record twice, as before;
        // the user hears of it.
        if (!names_.Insert(a[0]))
            tell(file_ + ": the FB instance name " + name + " is used more than once in this file");
        TFB_Instance* drawn = nullptr;
        try {
            drawn = d_.AddInstance(name, typeName, false, nullptr);
        } catch (const std::exception& e) {
            // A library type file that does not read, or an initial value
            // that is no number of its type: this instance is lost, the
            // file is not.
            tell(file_ + ": FB instance " + name + " of type " + typeName + " cannot be created: " + e.what());
        }
        if (!drawn) {
            failed_.insert(name);
            TFB_Manager::TFailedInstance failed{d_.Name, name, typeName};
            if (std::find(m_.FailedInstances.begin(), m_.FailedInstances.end(), failed) == m_.FailedInstances.end())
                m_.FailedInstances.push_back(std::move(failed));
            return;
        }
        drawn->Ref->Comment = a[2];
        int32_t x = drawn->BaseX, y = drawn->BaseY;
        FileToGrid(a.OrNull(3), a.OrNull(4), x, y);
        drawn->PlaceAt(x, y);
    }

    // The reader's texts are kept in buffers that keep their size from one
    // element to the next.
    static const std::string& text(std::string& buffer, std::string_view value)
    {
        buffer.assign(value);
        return buffer;
    }

    // Splits an end at its first "." into the two buffers; false when there
    // is none (then all of it is the instance).
    static bool split(std::string_view end, std::string& instance, std::string& port)
    {
        size_t dot = end.find('.');
        if (dot == std::string_view::npos) {
            instance.assign(end);
            port.clear();
            return false;
        }
        instance.assign(end.substr(0, dot));
        port.assign(end.substr(dot + 1));
        return true;
    }

    void skip(const char* kind, std::string_view source, std::string_view dest, const std::string& reason) const
    {
        tell(file_ + ": " + kind + " connection from " + std::string(source) + " to " + std::string(dest) +
             " is not created: " + reason);
    }

    TFB_InstanceRef* instance(const std::string& name, const char* kind, std::string_view source,
                              std::string_view dest) const
    {
        TFB_InstanceRef* r = m_.FindInstance(name);
        if (!r)
            skip(kind, source, dest, "there is no FB instance " + name);
        return r;
    }

    void readEventConnection(pugi::xml_node c)
    {
        constexpr const char* names[] = {"Source", "Destination"};
        TAttrs a(c, names);
        std::string_view source = a[0], dest = a[1];
        split(source, sourceInstance_, sourcePort_);
        split(dest, destInstance_, destPort_);
        if (m_.FindEventConn(destPort_, sourcePort_, destInstance_, sourceInstance_))
            return;
        TFB_InstanceRef* src = instance(sourceInstance_, "Event", source, dest);
        TFB_InstanceRef* dst = src ? instance(destInstance_, "Event", source, dest) : nullptr;
        if (!src || !dst)
            return;
        TFBEvent* out = src->FindEventOutput(sourcePort_);
        TFBEvent* in = dst->FindEventInput(destPort_);
        if (!out)
            return skip("Event", source, dest,
                        "FB instance " + sourceInstance_ + " has no event output " + sourcePort_);
        if (!in)
            return skip("Event", source, dest, "FB instance " + destInstance_ + " has no event input " + destPort_);
        auto r = m_.Pool.Make<TFB_EventAssocRef>();
        r->SourcePort = out;
        r->DestPort = in;
        r->SourceInstance = src;
        r->DestInstance = dst;
        m_.AddEventConn(std::move(r));
    }

    void readDataConnection(pugi::xml_node c)
    {
        constexpr const char* names[] = {"Source", "Destination"};
        TAttrs a(c, names);
        std::string_view source = a[0], dest = a[1];
        const bool dotted = split(source, sourceInstance_, sourcePort_);
        split(dest, destInstance_, destPort_);
        TFB_InstanceRef* src = dotted ? m_.FindInstance(sourceInstance_) : nullptr;
        if (!src && !(dotted && failed_.count(sourceInstance_))) {
            readConstant(source, dest);
            return;
        }
        if (!src) // an instance of this file that could not be made
            return skip("Data", source, dest, "there is no FB instance " + sourceInstance_);
        if (m_.FindDataConn(destPort_, sourcePort_, destInstance_, sourceInstance_))
            return;
        TFB_InstanceRef* dst = instance(destInstance_, "Data", source, dest);
        if (!dst)
            return;
        TFBDataMember* out = src->FindDataOutput(sourcePort_);
        TFBDataMember* in = dst->FindDataInput(destPort_);
        if (!out)
            return skip("Data", source, dest, "FB instance " + sourceInstance_ + " has no data output " + sourcePort_);
        if (!in)
            return skip("Data", source, dest, "FB instance " + destInstance_ + " has no data input " + destPort_);
        auto r = m_.Pool.Make<TFB_DataAssocRef>();
        r->SourcePort = out;
        r->DestPort = in;
        r->SourceInstance = src;
        r->DestInstance = dst;
        m_.AddDataConn(std::move(r));
    }

    // A constant on the destination's data input (split into the buffers).
    void readConstant(std::string_view value, std::string_view dest)
    {
        TFB_InstanceRef* dst = m_.FindInstance(destInstance_);
        if (!dst)
            return tell(file_ + ": constant " + std::string(value) + " for " + std::string(dest) +
                        " is not set: there is no FB instance " + destInstance_);
        TFBDataMember* in = dst->FindDataInput(destPort_);
        if (!in)
            return tell(file_ + ": constant " + std::string(value) + " for " + std::string(dest) +
                        " is not set: FB instance " + destInstance_ + " has no data input " + destPort_);
        // The text is kept as written, so that the next save writes it back;
        // the value stays as it was when the text is no number of the port's
        // type.
        in->ValueText = value;
        try {
            in->SetValueFromText(in->ValueText);
        } catch (const EConvertError& e) {
            tell(file_ + ": constant for " + std::string(dest) + ": " + e.what());
        }
    }

    void readNotes(pugi::xml_node notesList)
    {
        for (pugi::xml_node n : notesList.children("Note")) {
            TFBDnote* note = d_.AddNote();
            note->Text = n.attribute("NoteText").value();
            double x = 0, y = 0;
            int32_t px = note->X, py = note->Y;
            // The file holds the note where it stood at the diagram's zoom.
            const double zoom = d_.Zoom > 0 ? d_.Zoom : 1.0;
            if (pixelValue(n.attribute("X").value(), x))
                px = RoundHalfEven(x / zoom);
            if (pixelValue(n.attribute("Y").value(), y))
                py = RoundHalfEven(y / zoom);
            note->PlaceAt(px, py);
        }
    }

    // The IPP named by an owner (IPT or device) and an IPP name, told to the
    // user when it cannot be found.
    TslIPPRef* findIpp(const std::string& ownerName, const std::string& ippName) const
    {
        TSystemLayerManager* layer = m_.SystemLayer;
        // "+||+" is the layer's own way to name an IPP; an owner name holding
        // it names no owner.
        TslObject* owner = layer && ownerName.find("+||+") == std::string::npos ? layer->FindByName(ownerName)
                                                                                 : nullptr;
        TslIPPRef* ipp = nullptr;
        if (auto* ipt = dynamic_cast<TslIPT*>(owner))
            ipp = ipt->getIppByName(ippName);
        else if (auto* device = dynamic_cast<TslDevice*>(owner))
            ipp = device->FindIpp(ippName);
        else {
            tell(ippName + " : IPP found without parent.");
            return nullptr;
        }
        if (!ipp)
            tell(ippName + " : IPP not found in IPT: " + ownerName);
        return ipp;
    }

    void readIppPicture(pugi::xml_node p)
    {
        TEnd end = splitEnd(p.attribute("Name").value());
        TslIPPRef* ipp = findIpp(end.Instance, end.Port);
        if (!ipp || d_.FindIPPPicture(ipp))
            return;
        double x = 0, y = 0;
        pixelValue(p.attribute("x").value(), x);
        pixelValue(p.attribute("y").value(), y);
        d_.AddIPPPicture(ipp, RoundHalfEven(x), RoundHalfEven(y));
    }

    void readIppFbConnection(pugi::xml_node c)
    {
        if (!c)
            return;
        TEnd ippEnd = splitEnd(c.attribute("Source").value());
        TEnd fbEnd = splitEnd(c.attribute("Destination").value());
        if (m_.FindIPPFBConn(ippEnd.Instance, ippEnd.Port, fbEnd.Instance, fbEnd.Port))
            return;
        TslIPPRef* ipp = findIpp(ippEnd.Instance, ippEnd.Port);
        if (!ipp)
            return;
        TFB_InstanceRef* record = m_.FindInstance(fbEnd.Instance);
        // A sensor feeds an input and an actuator takes an output; inside a
        // device the process side is the other way round.
        bool input = !ipp->IsActuator();
        if (d_.IsInternalDeviceDiagram)
            input = !input;
        TFBEvent* eventPort = nullptr;
        TFBDataMember* dataPort = nullptr;
        if (record && ipp->IsEventIPP)
            eventPort = input ? record->FindEventInput(fbEnd.Port) : record->FindEventOutput(fbEnd.Port);
        else if (record)
            dataPort = input ? record->FindDataInput(fbEnd.Port) : record->FindDataOutput(fbEnd.Port);
        if (!eventPort && !dataPort) {
            tell("IPP to FB Connection from IPP:" + ippEnd.Instance + "." + ippEnd.Port + " to FB:" + fbEnd.Instance +
                 "." + fbEnd.Port + " has no references and it will not be created");
            return;
        }
        auto r = std::make_unique<TFB_IPPFBAssocsRef>();
        r->IPP = ipp;
        r->EventPort = eventPort;
        r->DataPort = dataPort;
        r->Instance = record;
        m_.AddIPPFBConn(std::move(r));
    }

    void readIppToIppConnection(pugi::xml_node c)
    {
        if (!c)
            return;
        TEnd s = splitEnd(c.attribute("Source").value());
        TEnd t = splitEnd(c.attribute("Destination").value());
        TslIPPRef* source = findIpp(s.Instance, s.Port);
        TslIPPRef* dest = findIpp(t.Instance, t.Port);
        // Both diagrams that show the two IPPs write the connection; it is
        // one connection all the same.
        if (!source || !dest || m_.FindIPPtoIPPConn(source, dest))
            return;
        auto r = std::make_unique<TFB_IPPtoIPPAssocRef>();
        r->SourceIPP = source;
        r->DestIPP = dest;
        m_.AddIPPtoIPPConn(std::move(r));
    }

    TFB_Diagram& d_;
    TFB_Manager& m_;
    std::string file_;
    // Instances of the files read together that could not be made: a
    // connection from one of them is a missing end, not a constant.
    std::unordered_set<std::string>& failed_;
    // The instance names of this file met so far (views into the parsed
    // file, which outlives the reader).
    TNameSet names_;
    pugi::xml_node root_, events_, datas_, notes_;
    std::vector<pugi::xml_node> pictures_, ippFbs_, ippToIpps_;
    std::string name_, type_, sourceInstance_, sourcePort_, destInstance_, destPort_;
};

std::string parseError(const std::string& text, const pugi::xml_parse_result& result, const std::string& fileName)
{
    size_t end = result.offset < 0 ? 0 : std::min(static_cast<size_t>(result.offset), text.size());
    size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<long>(end), '\n'));
    return "Malformed XML in " + fileName + ", line " + std::to_string(line) + ": " + result.description();
}

class TStringWriter : public pugi::xml_writer {
public:
    std::string Text;
    void write(const void* data, size_t size) override { Text.append(static_cast<const char*>(data), size); }
};

void set(pugi::xml_node node, const char* name, const std::string& value)
{
    node.append_attribute(name).set_value(value.c_str());
}

} // namespace

namespace {

void checkNetwork(const TFB_Diagram& diagram, const pugi::xml_document& doc, const std::string& fileName)
{
    pugi::xml_node root = doc.document_element();
    if (std::string_view(root.name()) != "FBNetwork")
        throw ENotANetworkFile("Not an FB network file (the root element is not FBNetwork): " + fileName);
    if (!diagram.Manager)
        throw std::logic_error("A diagram without an FB manager cannot hold instances: " + fileName);
}

// A parsed document with the buffer it points into.
struct TOpenedNetwork {
    TXmlParseBuffer Buffer; // outlives the document
    pugi::xml_document Doc;
};

// Reads parsed documents into their diagrams: every file's instances before
// any file's connections, then every diagram's lines.
void readNetworks(const std::vector<TNetworkFileLoad>& files, std::vector<std::unique_ptr<TOpenedNetwork>>& opened)
{
    std::unordered_set<std::string> failed;
    std::vector<std::unique_ptr<TNetworkReader>> readers;
    readers.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        TFB_Diagram& d = *files[i].Diagram;
        readers.push_back(std::make_unique<TNetworkReader>(d, *d.Manager, files[i].FileName, failed));
        readers.back()->ReadInstances(opened[i]->Doc.document_element());
    }
    for (auto& r : readers)
        r->ReadConnections();
    for (const auto& f : files)
        f.Diagram->RebuildLines();
}

} // namespace

void LoadFromText(TFB_Diagram& diagram, const std::string& xmlText, const std::string& fileName)
{
    std::vector<std::unique_ptr<TOpenedNetwork>> opened;
    opened.push_back(std::make_unique<TOpenedNetwork>());
    pugi::xml_parse_result parsed = opened[0]->Buffer.Parse(opened[0]->Doc, xmlText, pugi::parse_default);
    if (!parsed)
        throw EXmlParseError(parseError(xmlText, parsed, fileName));
    checkNetwork(diagram, opened[0]->Doc, fileName);
    readNetworks({{&diagram, fileName}}, opened);
}

void LoadFromFiles(const std::vector<TNetworkFileLoad>& files)
{
    // Every file is read and checked before anything is added.
    std::vector<std::unique_ptr<TOpenedNetwork>> opened;
    opened.reserve(files.size());
    for (const auto& f : files) {
        opened.push_back(std::make_unique<TOpenedNetwork>());
        TOpenedNetwork& o = *opened.back();
        // The file is read straight into the parse buffer and parsed where
        // it lies.
        o.Buffer.ReadFile(f.FileName);
        pugi::xml_parse_result parsed = o.Buffer.ParseInPlace(o.Doc, pugi::parse_default);
        if (!parsed) {
            // The parse has written into the text: the line is counted in
            // the file as it stands.
            throw EXmlParseError(parseError(ReadFileText(f.FileName), parsed, f.FileName));
        }
        checkNetwork(*f.Diagram, o.Doc, f.FileName);
    }
    readNetworks(files, opened);
    for (const auto& f : files)
        f.Diagram->FileName = f.FileName;
}

void LoadFromFile(TFB_Diagram& diagram, const std::string& fileName) { LoadFromFiles({{&diagram, fileName}}); }

std::string NetworkToText(const TFB_Diagram& d)
{
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version").set_value("1.0");
    decl.append_attribute("encoding").set_value("UTF-8");
    pugi::xml_node root = doc.append_child("FBNetwork");

    // A line to an instance that no diagram draws is not written: no network
    // file would hold that instance, and reading would have to drop the
    // connection again.
    std::unordered_set<const TFB_InstanceRef*> drawnAnywhere;
    for (const auto& drawn : d.DrawnInstances)
        drawnAnywhere.insert(drawn->Ref);
    if (d.Manager && !d.InnerNetwork)
        for (const auto& other : d.Manager->Diagrams)
            if (other.get() != &d)
                for (const auto& drawn : other->DrawnInstances)
                    drawnAnywhere.insert(drawn->Ref);
    auto held = [&](const TFB_InstanceRef* r) { return r && drawnAnywhere.count(r) != 0; };

    for (const auto& drawn : d.DrawnInstances) {
        const TFB_InstanceRef* r = drawn->Ref;
        if (!r)
            continue;
        pugi::xml_node fb = root.append_child("FB");
        set(fb, "Name", r->Name);
        set(fb, "Type", r->Type ? r->Type->Name : std::string());
        // The instance's own comment, read from a file, is kept; an instance
        // without one carries its type's.
        set(fb, "Comment", !r->Comment.empty() ? r->Comment : r->Type ? r->Type->Comment : std::string());
        set(fb, "x", GridToFileText(drawn->BaseX));
        set(fb, "y", GridToFileText(drawn->BaseY));
    }
    // Constants come first in DataConnections, which they create.
    pugi::xml_node dataConns;
    auto dataList = [&] {
        if (!dataConns)
            dataConns = root.append_child("DataConnections");
        return dataConns;
    };
    for (const auto& drawn : d.DrawnInstances) {
        const TFB_InstanceRef* r = drawn->Ref;
        if (!r)
            continue;
        for (const auto& in : r->DataInputs)
            if (!in->ValueText.empty()) {
                pugi::xml_node c = dataList().append_child("Connection");
                set(c, "Source", in->ValueText);
                set(c, "Destination", r->Name + "." + in->Name());
            }
    }
    auto lineAttributes = [](pugi::xml_node c, const std::string& source, const std::string& dest) {
        set(c, "Source", source);
        set(c, "Destination", dest);
        set(c, "Comment", "");
        set(c, "dx1", "0");
        set(c, "dx2", "0");
        set(c, "dy", "0");
    };
    pugi::xml_node eventConns;
    for (const auto& line : d.EventLines) {
        const TFB_EventAssocRef* r = line->Ref;
        if (!r || !held(r->SourceInstance) || !held(r->DestInstance) || !r->SourcePort || !r->DestPort)
            continue;
        if (!eventConns)
            eventConns = root.append_child("EventConnections");
        lineAttributes(eventConns.append_child("Connection"), r->SourceInstance->Name + "." + r->SourcePort->Name(),
                       r->DestInstance->Name + "." + r->DestPort->Name());
    }
    for (const auto& line : d.DataLines) {
        const TFB_DataAssocRef* r = line->Ref;
        if (!r || !held(r->SourceInstance) || !held(r->DestInstance) || !r->SourcePort || !r->DestPort)
            continue;
        lineAttributes(dataList().append_child("Connection"), r->SourceInstance->Name + "." + r->SourcePort->Name(),
                       r->DestInstance->Name + "." + r->DestPort->Name());
    }
    root.append_attribute("IsInternalDeviceDiagram").set_value(d.IsInternalDeviceDiagram);
    for (const auto& p : d.IPPPictures) {
        if (!p->Ipp)
            continue;
        pugi::xml_node n = root.append_child("IPPDrawInstanceName");
        set(n, "Name", ippEnd(p->Ipp));
        set(n, "Type", p->Ipp->TypeName);
        set(n, "Comment", p->Ipp->Description);
        set(n, "x", std::to_string(p->X));
        set(n, "y", std::to_string(p->Y));
    }
    for (const auto& line : d.IPPFBLines) {
        const TFB_IPPFBAssocsRef* r = line->Ref;
        if (!r || !r->IPP || !held(r->Instance))
            continue;
        const std::string port = r->EventPort ? r->EventPort->Name() : r->DataPort ? r->DataPort->Name() : "";
        pugi::xml_node c = root.append_child("FBIPPConnections").append_child("Connection");
        set(c, "Source", ippEnd(r->IPP));
        set(c, "Destination", r->Instance->Name + "." + port);
    }
    for (const auto& line : d.IPPtoIPPLines) {
        const TFB_IPPtoIPPAssocRef* r = line->Ref;
        if (!r || !r->SourceIPP || !r->DestIPP)
            continue;
        pugi::xml_node c = root.append_child("IPPtoIPPConnections").append_child("Connection");
        set(c, "Source", ippEnd(r->SourceIPP));
        set(c, "Destination", ippEnd(r->DestIPP));
    }
    if (!d.Notes.empty()) {
        pugi::xml_node notes = root.append_child("NotesList");
        for (const auto& n : d.Notes) {
            pugi::xml_node note = notes.append_child("Note");
            set(note, "NoteText", n->Text);
            set(note, "X", std::to_string(n->X));
            set(note, "Y", std::to_string(n->Y));
        }
    }
    TStringWriter out;
    doc.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    return std::move(out.Text);
}

void SaveToFile(TFB_Diagram& diagram, const std::string& fileName)
{
    WriteFileAtomic(fileName, NetworkToText(diagram));
    diagram.FileName = fileName;
}

} // namespace telvo
