#include "persistence/network_file.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/file_util.h"
#include "model/user_interface.h"
#include "model/value_text.h"
#include "persistence/type_file.h"
#include "systemlayer/sl_ipp_picture.h"
#include "systemlayer/system_layer.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_set>

namespace telvo {

namespace {

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
    TNetworkReader(TFB_Diagram& diagram, TFB_Manager& manager, std::string fileName)
        : d_(diagram), m_(manager), file_(std::move(fileName))
    {
    }

    void Read(pugi::xml_node root)
    {
        readInstances(root);
        for (pugi::xml_node c : root.child("EventConnections").children("Connection"))
            readEventConnection(c);
        for (pugi::xml_node c : root.child("DataConnections").children("Connection"))
            readDataConnection(c);
        readNotes(root);
        d_.IsInternalDeviceDiagram = flagValue(root.attribute("IsInternalDeviceDiagram").value());
        for (pugi::xml_node p : root.children("IPPDrawInstanceName"))
            readIppPicture(p);
        for (pugi::xml_node e : root.children("FBIPPConnections"))
            readIppFbConnection(e.child("Connection"));
        for (pugi::xml_node e : root.children("IPPtoIPPConnections"))
            readIppToIppConnection(e.child("Connection"));
        d_.RebuildLines();
    }

private:
    void tell(const std::string& text) const { m_.ShowMessage(text); }

    static bool flagValue(std::string_view text)
    {
        std::string upper = UpperCase(text);
        return upper == "TRUE" || upper == "1";
    }

    void readInstances(pugi::xml_node root)
    {
        for (pugi::xml_node fb : root.children("FB")) {
            const std::string name = fb.attribute("Name").value();
            TFB_Instance* drawn = nullptr;
            try {
                drawn = d_.AddInstance(name, fb.attribute("Type").value(), false, nullptr);
            } catch (const std::exception& e) {
                // A library type file that does not read, or an initial value
                // that is no number of its type: this instance is lost, the
                // file is not.
                tell(file_ + ": FB instance " + name + " of type " + fb.attribute("Type").value() +
                     " cannot be created: " + e.what());
            }
            if (!drawn) {
                failed_.insert(name);
                continue;
            }
            drawn->Ref->Comment = fb.attribute("Comment").value();
            int32_t x = drawn->BaseX, y = drawn->BaseY;
            pugi::xml_attribute ax = fb.attribute("x"), ay = fb.attribute("y");
            FileToGrid(ax ? ax.value() : nullptr, ay ? ay.value() : nullptr, x, y);
            drawn->PlaceAt(x, y);
        }
    }

    void skip(const char* kind, const std::string& source, const std::string& dest, const std::string& reason) const
    {
        tell(file_ + ": " + kind + " connection from " + source + " to " + dest + " is not created: " + reason);
    }

    TFB_InstanceRef* instance(const std::string& name, const char* kind, const std::string& source,
                              const std::string& dest) const
    {
        TFB_InstanceRef* r = m_.FindInstance(name);
        if (!r)
            skip(kind, source, dest, "there is no FB instance " + name);
        return r;
    }

    void readEventConnection(pugi::xml_node c)
    {
        const std::string source = c.attribute("Source").value();
        const std::string dest = c.attribute("Destination").value();
        TEnd s = splitEnd(source), t = splitEnd(dest);
        if (m_.FindEventConn(t.Port, s.Port, t.Instance, s.Instance))
            return;
        TFB_InstanceRef* src = instance(s.Instance, "Event", source, dest);
        TFB_InstanceRef* dst = src ? instance(t.Instance, "Event", source, dest) : nullptr;
        if (!src || !dst)
            return;
        TFBEvent* out = src->FindEventOutput(s.Port);
        TFBEvent* in = dst->FindEventInput(t.Port);
        if (!out)
            return skip("Event", source, dest, "FB instance " + s.Instance + " has no event output " + s.Port);
        if (!in)
            return skip("Event", source, dest, "FB instance " + t.Instance + " has no event input " + t.Port);
        auto r = std::make_unique<TFB_EventAssocRef>();
        r->SourcePort = out;
        r->DestPort = in;
        r->SourceInstance = src;
        r->DestInstance = dst;
        m_.AddEventConn(std::move(r));
    }

    void readDataConnection(pugi::xml_node c)
    {
        const std::string source = c.attribute("Source").value();
        const std::string dest = c.attribute("Destination").value();
        TEnd s = splitEnd(source), t = splitEnd(dest);
        const bool fromInstance = source.find('.') != std::string::npos && m_.FindInstance(s.Instance);
        if (!fromInstance && !(source.find('.') != std::string::npos && failed_.count(s.Instance))) {
            readConstant(source, dest, t);
            return;
        }
        if (!fromInstance) // an instance of this file that could not be made
            return skip("Data", source, dest, "there is no FB instance " + s.Instance);
        if (m_.FindDataConn(t.Port, s.Port, t.Instance, s.Instance))
            return;
        TFB_InstanceRef* src = m_.FindInstance(s.Instance);
        TFB_InstanceRef* dst = instance(t.Instance, "Data", source, dest);
        if (!dst)
            return;
        TFBDataMember* out = src->FindDataOutput(s.Port);
        TFBDataMember* in = dst->FindDataInput(t.Port);
        if (!out)
            return skip("Data", source, dest, "FB instance " + s.Instance + " has no data output " + s.Port);
        if (!in)
            return skip("Data", source, dest, "FB instance " + t.Instance + " has no data input " + t.Port);
        auto r = std::make_unique<TFB_DataAssocRef>();
        r->SourcePort = out;
        r->DestPort = in;
        r->SourceInstance = src;
        r->DestInstance = dst;
        m_.AddDataConn(std::move(r));
    }

    void readConstant(const std::string& value, const std::string& dest, const TEnd& t)
    {
        TFB_InstanceRef* dst = m_.FindInstance(t.Instance);
        if (!dst)
            return tell(file_ + ": constant " + value + " for " + dest + " is not set: there is no FB instance " +
                        t.Instance);
        TFBDataMember* in = dst->FindDataInput(t.Port);
        if (!in)
            return tell(file_ + ": constant " + value + " for " + dest + " is not set: FB instance " + t.Instance +
                        " has no data input " + t.Port);
        // The text is kept as written, so that the next save writes it back;
        // the value stays as it was when the text is no number of the port's
        // type.
        in->ValueText = value;
        try {
            in->SetValueFromText(value);
        } catch (const EConvertError& e) {
            tell(file_ + ": constant for " + dest + ": " + e.what());
        }
    }

    void readNotes(pugi::xml_node root)
    {
        for (pugi::xml_node n : root.child("NotesList").children("Note")) {
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
    // Instances of this file that could not be made: a connection from one
    // of them is a missing end, not a constant.
    std::unordered_set<std::string> failed_;
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

void LoadFromText(TFB_Diagram& diagram, const std::string& xmlText, const std::string& fileName)
{
    pugi::xml_document doc;
    pugi::xml_parse_result parsed =
        doc.load_buffer(xmlText.data(), xmlText.size(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed)
        throw EXmlParseError(parseError(xmlText, parsed, fileName));
    pugi::xml_node root = doc.document_element();
    if (std::string_view(root.name()) != "FBNetwork")
        throw ENotANetworkFile("Not an FB network file (the root element is not FBNetwork): " + fileName);
    if (!diagram.Manager)
        throw std::logic_error("A diagram without an FB manager cannot hold instances: " + fileName);
    TNetworkReader(diagram, *diagram.Manager, fileName).Read(root);
}

void LoadFromFile(TFB_Diagram& diagram, const std::string& fileName)
{
    LoadFromText(diagram, ReadFileText(fileName), fileName);
    diagram.FileName = fileName;
}

std::string NetworkToText(const TFB_Diagram& d)
{
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version").set_value("1.0");
    decl.append_attribute("encoding").set_value("UTF-8");
    pugi::xml_node root = doc.append_child("FBNetwork");

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
        if (!r || !r->SourceInstance || !r->DestInstance || !r->SourcePort || !r->DestPort)
            continue;
        if (!eventConns)
            eventConns = root.append_child("EventConnections");
        lineAttributes(eventConns.append_child("Connection"), r->SourceInstance->Name + "." + r->SourcePort->Name(),
                       r->DestInstance->Name + "." + r->DestPort->Name());
    }
    for (const auto& line : d.DataLines) {
        const TFB_DataAssocRef* r = line->Ref;
        if (!r || !r->SourceInstance || !r->DestInstance || !r->SourcePort || !r->DestPort)
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
        if (!r || !r->IPP || !r->Instance)
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
