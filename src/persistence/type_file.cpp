#include "persistence/type_file.h"

#include "model/fb_diagram.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "model/user_interface.h"
#include "model/value_text.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <set>
#include <string_view>
#include <vector>

namespace telvo {

namespace {

// ---------------------------------------------------------------------------
// Shared helpers

bool named(pugi::xml_node node, const char* name) { return std::strcmp(node.name(), name) == 0; }

std::string attr(pugi::xml_node node, const char* name) { return node.attribute(name).value(); }

// The attribute's text, or null when the attribute is absent: coordinates
// keep their default when a file leaves them out.
const char* attrOrNull(pugi::xml_node node, const char* name)
{
    pugi::xml_attribute a = node.attribute(name);
    return a ? a.value() : nullptr;
}

std::string parseErrorMessage(const std::string& text, const pugi::xml_parse_result& result,
                              const std::string& fileName)
{
    size_t end = result.offset < 0 ? 0 : std::min(static_cast<size_t>(result.offset), text.size());
    size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<long>(end), '\n'));
    std::string where = fileName.empty() ? std::string() : " in " + fileName;
    return "Malformed XML" + where + ", line " + std::to_string(line) + ": " + result.description();
}

// The body of an ST or Other element. Tools write it either as the Text
// attribute or as the element's own text, usually CDATA, split over several
// sections when the text holds "]]>". A non-empty attribute wins.
std::string bodyText(pugi::xml_node body)
{
    const char* fromAttribute = body.attribute("Text").value();
    if (*fromAttribute)
        return fromAttribute;
    std::string text;
    for (pugi::xml_node c = body.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
            text += c.value();
    return text;
}

// ---------------------------------------------------------------------------
// Reading

// Inner instances and connections of a composite type's network join the
// type here once FB instances exist in the model; until then a composite
// type is read with its interface and an empty network.
void ReadCompositeNetwork(pugi::xml_node fbNetwork, TFB_Type& target, TFB_Manager* manager)
{
    (void)fbNetwork;
    (void)target;
    (void)manager;
}

void readDataVars(pugi::xml_node list, TFB_Type& target, bool inputs)
{
    for (pugi::xml_node v : list.children("VarDeclaration")) {
        // The array size of interface variables is not held: the workbench
        // treats them as single values.
        if (inputs)
            target.AddDataInput(attr(v, "Name"), attr(v, "Type"), attr(v, "Comment"), attr(v, "InitialValue"), "");
        else
            target.AddDataOutput(attr(v, "Name"), attr(v, "Type"), attr(v, "Comment"), attr(v, "InitialValue"), "");
    }
}

void readEvents(pugi::xml_node list, TFB_Type& target, bool inputs)
{
    for (pugi::xml_node e : list.children("Event")) {
        TFBEventType* event = inputs ? static_cast<TFBEventType*>(target.AddEventInput(
                                           attr(e, "Name"), attr(e, "Type"), attr(e, "Comment")))
                                     : target.AddEventOutput(attr(e, "Name"), attr(e, "Type"), attr(e, "Comment"));
        // A WITH naming no variable of the event's direction has nothing to
        // associate; AddWith drops the missing variable.
        for (pugi::xml_node w : e.children("With")) {
            std::string var = attr(w, "Var");
            event->AddWith(inputs ? static_cast<TFBDataMemberType*>(target.FindDataInput(var))
                                  : target.FindDataOutput(var));
        }
    }
}

} // namespace

bool ReadFBType(const std::string& xmlText, TFB_Type& target, TFB_Manager* manager,
                const std::string& fileNameForMessages)
{
    pugi::xml_document doc;
    pugi::xml_parse_result parsed =
        doc.load_buffer(xmlText.data(), xmlText.size(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed)
        throw EXmlParseError(parseErrorMessage(xmlText, parsed, fileNameForMessages));
    pugi::xml_node root = doc.document_element();
    if (!named(root, "FBType"))
        return false;

    target.Name = attr(root, "Name");
    target.Comment = attr(root, "Comment");
    target.Imported = target.Comment.find("!IMP!") != std::string::npos;

    pugi::xml_node ident = root.child("Identification");
    target.Standard = attr(ident, "Standard");
    target.Description = attr(ident, "Description");

    for (pugi::xml_node v : root.children("VersionInfo"))
        target.AddVersion(attr(v, "Organization"), attr(v, "Version"), attr(v, "Author"), attr(v, "Date"),
                          attr(v, "Remarks"));

    pugi::xml_node compilerInfo = root.child("CompilerInfo");
    target.CompilerHeader = attr(compilerInfo, "header");
    target.CompilerClassDef = attr(compilerInfo, "classdef");
    for (pugi::xml_node c : compilerInfo.children("Compiler"))
        target.AddCompiler(attr(c, "Language"), attr(c, "Vendor"), attr(c, "Product"), attr(c, "Version"));

    // Variables before events, so that the events' WITH entries find them.
    pugi::xml_node interfaceList = root.child("InterfaceList");
    readDataVars(interfaceList.child("InputVars"), target, true);
    readDataVars(interfaceList.child("OutputVars"), target, false);
    readEvents(interfaceList.child("EventInputs"), target, true);
    readEvents(interfaceList.child("EventOutputs"), target, false);

    for (pugi::xml_node a : interfaceList.child("Plugs").children("AdapterDeclaration"))
        target.AddPlug(attr(a, "Name"), attr(a, "Type"), attr(a, "Comment"));
    for (pugi::xml_node a : interfaceList.child("Sockets").children("AdapterDeclaration"))
        target.AddSocket(attr(a, "Name"), attr(a, "Type"), attr(a, "Comment"));

    pugi::xml_node basic = root.child("BasicFB");
    for (pugi::xml_node v : basic.child("InternalVars").children("VarDeclaration"))
        target.AddInternalVar(attr(v, "Name"), attr(v, "Type"), attr(v, "ArraySize"), attr(v, "Comment"),
                              attr(v, "InitialValue"));

    pugi::xml_node ecc = basic.child("ECC");
    for (pugi::xml_node s : ecc.children("ECState")) {
        TECCState* state = target.AddState(attr(s, "Name"), attr(s, "Comment"));
        FileToGrid(attrOrNull(s, "x"), attrOrNull(s, "y"), state->X, state->Y);
        for (pugi::xml_node a : s.children("ECAction"))
            state->AddAction(attr(a, "Algorithm"), attr(a, "Output"));
    }
    for (pugi::xml_node t : ecc.children("ECTransition")) {
        TECCTransition* transition =
            target.AddTransition(attr(t, "Source"), attr(t, "Destination"), attr(t, "Condition"));
        FileToGrid(attrOrNull(t, "x"), attrOrNull(t, "y"), transition->X, transition->Y);
    }

    for (pugi::xml_node a : basic.children("Algorithm")) {
        TFBAlgorithm* algorithm = target.AddAlgorithm(attr(a, "Name"), attr(a, "Comment"));
        std::string st = bodyText(a.child("ST"));
        if (!st.empty())
            algorithm->STText = SplitLines(st);
        pugi::xml_node other = a.child("Other");
        std::string otherText = bodyText(other);
        if (!otherText.empty()) {
            algorithm->Language = attr(other, "Language");
            algorithm->OtherText = SplitLines(otherText);
        }
        for (pugi::xml_node r : a.child("LD").children("Rung"))
            algorithm->AddRung(attr(r, "Output"), attr(r, "Expression"), attr(r, "Comment"));
        algorithm->HasFBD = static_cast<bool>(a.child("FBD").child("FB"));
    }

    pugi::xml_node network = root.child("FBNetwork");
    target.Composite = static_cast<bool>(network.child("FB"));

    // Every type read from a file has exactly one service entry.
    pugi::xml_node service = root.child("Service");
    TFB_Service* svc =
        target.AddService(attr(service, "LeftInterface"), attr(service, "RightInterface"), attr(service, "Comment"));
    for (pugi::xml_node s : service.children("ServiceSequence")) {
        TFB_ServiceSequence* sequence = svc->AddSequence(attr(s, "Name"), attr(s, "Comment"));
        for (pugi::xml_node t : s.children("ServiceTransaction")) {
            pugi::xml_node in = t.child("InputPrimitive");
            if (!attr(in, "Interface").empty())
                sequence->AddPrimitive(true, attr(in, "Interface"), attr(in, "Event"), attr(in, "Parameters"));
            for (pugi::xml_node out : t.children("OutputPrimitive"))
                sequence->AddPrimitive(false, attr(out, "Interface"), attr(out, "Event"), attr(out, "Parameters"));
        }
    }

    if (target.Composite)
        ReadCompositeNetwork(network, target, manager);
    return true;
}

namespace {

// ---------------------------------------------------------------------------
// Writing

// Where the children of an element stand in an IEC 61499 type document. An
// element created where none stood before goes to its place in this order,
// so that a written file reads the same to other tools.
struct TChildOrder {
    const char* Parent;
    std::vector<const char*> Children;
};
const std::vector<TChildOrder>& childOrders()
{
    static const std::vector<TChildOrder> orders = {
        {"FBType",
         {"Identification", "VersionInfo", "CompilerInfo", "InterfaceList", "BasicFB", "FBNetwork", "SimpleFB",
          "Service"}},
        {"InterfaceList", {"EventInputs", "EventOutputs", "InputVars", "OutputVars", "Plugs", "Sockets"}},
        {"BasicFB", {"InternalVars", "ECC", "Algorithm"}},
        {"ECC", {"ECState", "ECTransition"}},
    };
    return orders;
}

int rankOf(const TChildOrder* order, const char* name)
{
    if (!order)
        return -1;
    for (size_t i = 0; i < order->Children.size(); ++i)
        if (std::strcmp(order->Children[i], name) == 0)
            return static_cast<int>(i);
    return -1;
}

// Creates a child at its place in document order (at the end when the order
// does not know it).
pugi::xml_node placeChild(pugi::xml_node parent, const char* name)
{
    const TChildOrder* order = nullptr;
    for (const auto& o : childOrders())
        if (named(parent, o.Parent))
            order = &o;
    int rank = rankOf(order, name);
    if (rank >= 0)
        for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
            if (c.type() == pugi::node_element && rankOf(order, c.name()) > rank)
                return parent.insert_child_before(name, c);
    return parent.append_child(name);
}

// The first child of that name, created when missing.
pugi::xml_node touch(pugi::xml_node parent, const char* name)
{
    pugi::xml_node c = parent.child(name);
    return c ? c : placeChild(parent, name);
}

void setAttr(pugi::xml_node node, const char* name, const std::string& value)
{
    pugi::xml_attribute a = node.attribute(name);
    if (!a)
        a = node.append_attribute(name);
    a.set_value(value.c_str());
    // A second attribute of the same name would make the output malformed.
    for (pugi::xml_attribute more = a.next_attribute(); more;) {
        pugi::xml_attribute next = more.next_attribute();
        if (std::strcmp(more.name(), name) == 0)
            node.remove_attribute(more);
        more = next;
    }
}

bool listed(std::initializer_list<const char*> names, const char* name)
{
    for (const char* n : names)
        if (std::strcmp(n, name) == 0)
            return true;
    return false;
}

// Copies from a removed base element what the model does not write: every
// attribute not in `written`, and every child node that `keepChild` accepts
// (by default every child that is not an element of a `writtenChildren`
// name). The regenerated element so keeps attributes and children that other
// tools hang on it.
void carryOver(pugi::xml_node to, pugi::xml_node from, std::initializer_list<const char*> written,
               std::initializer_list<const char*> writtenChildren,
               const std::function<bool(pugi::xml_node)>& keepChild = {})
{
    if (!from)
        return;
    for (pugi::xml_attribute a : from.attributes())
        if (!listed(written, a.name()) && !to.attribute(a.name()))
            to.append_copy(a);
    for (pugi::xml_node c = from.first_child(); c; c = c.next_sibling()) {
        bool keep = keepChild ? keepChild(c) : !(c.type() == pugi::node_element && listed(writtenChildren, c.name()));
        if (keep)
            to.append_copy(c);
    }
}

// The base elements of one regenerated list. With the clear flag they are
// collected before anything is written; each element the model writes takes
// the matching base element's place and extras, and the base elements go
// when the document is complete.
class TBaseList {
public:
    TBaseList() = default;
    TBaseList(pugi::xml_node parent, const char* name)
    {
        for (pugi::xml_node c : parent.children(name))
            nodes_.push_back(c);
        used_.assign(nodes_.size(), false);
    }

    // The first unused base element for which `matches` holds.
    template <typename Pred>
    pugi::xml_node Take(Pred matches)
    {
        for (size_t i = 0; i < nodes_.size(); ++i)
            if (!used_[i] && matches(nodes_[i])) {
                used_[i] = true;
                return nodes_[i];
            }
        return {};
    }
    pugi::xml_node TakeByName(const std::string& name)
    {
        return Take([&](pugi::xml_node n) { return attr(n, "Name") == name; });
    }

    // A new element of the list: before the first base element, so the
    // regenerated list stands where the old one stood; else at its place.
    pugi::xml_node Add(pugi::xml_node parent, const char* name) const
    {
        if (!nodes_.empty() && nodes_.front().parent() == parent)
            return parent.insert_child_before(name, nodes_.front());
        return placeChild(parent, name);
    }

    void RemoveAll()
    {
        for (pugi::xml_node n : nodes_)
            n.parent().remove_child(n);
        nodes_.clear();
        used_.clear();
    }

private:
    std::vector<pugi::xml_node> nodes_;
    std::vector<bool> used_;
};

class TStringWriter : public pugi::xml_writer {
public:
    std::string Text;
    void write(const void* data, size_t size) override { Text.append(static_cast<const char*>(data), size); }
};

// How a base file held an algorithm text; a rewrite keeps the form.
enum class TBodyForm { Attribute, CData, PCData };

TBodyForm bodyForm(pugi::xml_node body)
{
    if (!body || *body.attribute("Text").value())
        return TBodyForm::Attribute;
    bool pcdata = false;
    for (pugi::xml_node c = body.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_cdata)
            return TBodyForm::CData;
        if (c.type() == pugi::node_pcdata)
            pcdata = true;
    }
    return pcdata ? TBodyForm::PCData : TBodyForm::Attribute;
}

// Lines back into one text. Every line ends with a line break, so that a
// text read back splits into the same lines (a last empty line included).
std::string bodyFromLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& l : lines) {
        text += l;
        text += '\n';
    }
    return text;
}

void writeBody(pugi::xml_node algorithm, const char* name, pugi::xml_node base,
               const std::vector<std::string>& lines, const std::string* language)
{
    pugi::xml_node body = algorithm.append_child(name);
    if (language)
        setAttr(body, "Language", *language);
    std::string text = bodyFromLines(lines);
    TBodyForm form = bodyForm(base);
    if (form == TBodyForm::Attribute)
        setAttr(body, "Text", text);
    // Other attributes and children of the base element stay; its text does
    // not, the model's text replaces it.
    carryOver(body, base, {"Text", "Language"}, {}, [](pugi::xml_node c) {
        return c.type() != pugi::node_pcdata && c.type() != pugi::node_cdata;
    });
    if (form == TBodyForm::CData)
        body.append_child(pugi::node_cdata).set_value(text.c_str());
    else if (form == TBodyForm::PCData)
        body.append_child(pugi::node_pcdata).set_value(text.c_str());
}

// Whether the composite network diagram holds FB instances to write. Inner
// instances do not exist in the model yet, so no network counts as one.
bool NetworkHasInstances(const TFB_Diagram& network)
{
    (void)network;
    return false;
}

// Writes the inner instances of a composite type and their connections into
// FBNetwork, once FB instances exist in the model.
void WriteCompositeNetwork(pugi::xml_node fbNetwork, const TFB_Type& type, const TFB_Diagram& network)
{
    (void)fbNetwork;
    (void)type;
    (void)network;
}

bool isLatin1(const pugi::xml_document& doc)
{
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_declaration) {
            std::string enc = UpperCase(n.attribute("encoding").value());
            return enc == "ISO-8859-1" || enc == "LATIN1";
        }
    return false;
}

class TTypeWriter {
public:
    TTypeWriter(const TFB_Type& type, bool clear) : type_(type), clear_(clear) {}

    void LoadBase(const std::string& fileName)
    {
        std::string text = ReadFileText(fileName);
        pugi::xml_parse_result parsed =
            doc_.load_buffer(text.data(), text.size(), pugi::parse_full, pugi::encoding_auto);
        if (!parsed)
            throw EXmlParseError(parseErrorMessage(text, parsed, fileName));
        if (!named(doc_.document_element(), "FBType"))
            throw std::runtime_error("Not an FB type file: " + fileName);
        fromBase_ = true;
    }

    std::string Write(const TFB_Diagram* network)
    {
        root_ = doc_.document_element();
        if (!root_)
            root_ = doc_.append_child("FBType");
        composite_ = network && NetworkHasInstances(*network);

        writeHeader();
        if (clear_)
            clearLists();
        writeVersions();
        writeCompilers();
        pugi::xml_node il = touch(root_, "InterfaceList");
        writeDataVars(il, "InputVars", baseInputs_, type_.DataInputs);
        writeDataVars(il, "OutputVars", baseOutputs_, type_.DataOutputs);
        writeEvents(il, "EventInputs", baseEventInputs_, type_.EventInputs, true);
        writeEvents(il, "EventOutputs", baseEventOutputs_, type_.EventOutputs, false);
        writeAdapters(il, "Plugs", basePlugs_, type_.Plugs);
        writeAdapters(il, "Sockets", baseSockets_, type_.Sockets);
        writeInternalVars();
        if (composite_)
            WriteCompositeNetwork(touch(root_, "FBNetwork"), type_, *network);
        else
            writeBasic();
        writeService();

        for (TBaseList* list : {&baseVersions_, &baseCompilers_, &baseInputs_, &baseOutputs_, &baseEventInputs_,
                                &baseEventOutputs_, &basePlugs_, &baseSockets_, &baseInternals_, &baseStates_,
                                &baseTransitions_, &baseAlgorithms_, &baseSequences_})
            list->RemoveAll();

        TStringWriter out;
        doc_.save(out, "  ", pugi::format_indent | pugi::format_no_declaration,
                  isLatin1(doc_) ? pugi::encoding_latin1 : pugi::encoding_utf8);
        return std::move(out.Text);
    }

private:
    void writeHeader()
    {
        // Name goes first: the library index takes the first quoted value on
        // the "<FBType" line as the type name.
        pugi::xml_attribute name = root_.attribute("Name");
        if (name && name != root_.first_attribute()) {
            root_.remove_attribute(name);
            name = pugi::xml_attribute();
        }
        if (!name)
            name = root_.prepend_attribute("Name");
        setAttr(root_, "Name", type_.Name);
        setAttr(root_, "Comment", type_.Comment);
        pugi::xml_node ident = touch(root_, "Identification");
        setAttr(ident, "Standard", type_.Standard);
        setAttr(ident, "Description", type_.Description);
    }

    void clearLists()
    {
        baseVersions_ = TBaseList(root_, "VersionInfo");
        pugi::xml_node compilerInfo = touch(root_, "CompilerInfo");
        baseCompilers_ = TBaseList(compilerInfo, "Compiler");
        pugi::xml_node il = touch(root_, "InterfaceList");
        baseInputs_ = TBaseList(touch(il, "InputVars"), "VarDeclaration");
        baseOutputs_ = TBaseList(touch(il, "OutputVars"), "VarDeclaration");
        for (pugi::xml_node v : il.child("InputVars").children("VarDeclaration"))
            baseInputNames_.insert(attr(v, "Name"));
        for (pugi::xml_node v : il.child("OutputVars").children("VarDeclaration"))
            baseOutputNames_.insert(attr(v, "Name"));
        baseEventInputs_ = TBaseList(touch(il, "EventInputs"), "Event");
        baseEventOutputs_ = TBaseList(touch(il, "EventOutputs"), "Event");
        // Adapters are regenerated too; kept, they would be written twice.
        basePlugs_ = TBaseList(il.child("Plugs"), "AdapterDeclaration");
        baseSockets_ = TBaseList(il.child("Sockets"), "AdapterDeclaration");
        baseSequences_ = TBaseList(touch(root_, "Service"), "ServiceSequence");
        // Internal variables are written for every kind of type, so they are
        // cleared for every kind.
        pugi::xml_node basic = root_.child("BasicFB");
        baseInternals_ = TBaseList(basic.child("InternalVars"), "VarDeclaration");
        if (composite_) {
            touch(touch(root_, "FBNetwork"), "EventConnections");
            touch(root_.child("FBNetwork"), "DataConnections");
            return;
        }
        // A base file without a BasicFB is a service interface, simple,
        // composite or interface-only type: an empty ECC would turn it into
        // a basic type for every other tool. A new file gets the skeleton.
        if (!basic && !fromBase_)
            basic = placeChild(root_, "BasicFB");
        if (basic) {
            touch(basic, "InternalVars");
            pugi::xml_node ecc = touch(basic, "ECC");
            baseStates_ = TBaseList(ecc, "ECState");
            baseTransitions_ = TBaseList(ecc, "ECTransition");
            baseAlgorithms_ = TBaseList(basic, "Algorithm");
        }
    }

    // Version and compiler records refuse duplicates in the model; the base
    // elements it refused are kept beside the one it holds, as long as the
    // model still holds that record.
    template <typename Key>
    void keepRefusedDuplicates(pugi::xml_node parent, pugi::xml_node after, TBaseList& base, Key key,
                               const std::string& value)
    {
        while (pugi::xml_node dup = base.Take([&](pugi::xml_node n) { return key(n) == value; }))
            after = parent.insert_copy_after(dup, after);
    }

    void writeVersions()
    {
        for (const auto& v : type_.Versions) {
            pugi::xml_node n = baseVersions_.Add(root_, "VersionInfo");
            setAttr(n, "Organization", v->Organization);
            setAttr(n, "Version", v->Version);
            setAttr(n, "Author", v->Author);
            setAttr(n, "Date", v->Date);
            setAttr(n, "Remarks", v->Remarks);
            auto key = [](pugi::xml_node b) { return attr(b, "Version"); };
            carryOver(n, baseVersions_.Take([&](pugi::xml_node b) { return key(b) == v->Version; }),
                      {"Organization", "Version", "Author", "Date", "Remarks"}, {});
            keepRefusedDuplicates(root_, n, baseVersions_, key, v->Version);
        }
    }

    void writeCompilers()
    {
        pugi::xml_node compilerInfo = touch(root_, "CompilerInfo");
        setAttr(compilerInfo, "header", type_.CompilerHeader);
        setAttr(compilerInfo, "classdef", type_.CompilerClassDef);
        for (const auto& c : type_.Compilers) {
            pugi::xml_node n = baseCompilers_.Add(compilerInfo, "Compiler");
            setAttr(n, "Language", c->Language);
            setAttr(n, "Vendor", c->Vendor);
            setAttr(n, "Product", c->Product);
            setAttr(n, "Version", c->Version);
            auto key = [](pugi::xml_node b) { return attr(b, "Language") + '\n' + attr(b, "Vendor") + '\n' + attr(b, "Version"); };
            std::string k = c->Language + '\n' + c->Vendor + '\n' + c->Version;
            carryOver(n, baseCompilers_.Take([&](pugi::xml_node b) { return key(b) == k; }),
                      {"Language", "Vendor", "Product", "Version"}, {});
            keepRefusedDuplicates(compilerInfo, n, baseCompilers_, key, k);
        }
    }

    template <typename List>
    void writeDataVars(pugi::xml_node il, const char* listName, TBaseList& base, const List& vars)
    {
        if (vars.empty())
            return;
        pugi::xml_node list = touch(il, listName);
        for (const auto& v : vars) {
            pugi::xml_node n = base.Add(list, "VarDeclaration");
            pugi::xml_node from = base.TakeByName(v->Name);
            setAttr(n, "Name", v->Name);
            setAttr(n, "Type", v->Type);
            setAttr(n, "Comment", v->Comment);
            setAttr(n, "InitialValue", v->InitialValue);
            // The model holds no array size for interface variables; the
            // base file's size stays, so an array is not turned into a
            // single value by a save.
            std::string arraySize = v->ArraySize.empty() ? attr(from, "ArraySize") : v->ArraySize;
            setAttr(n, "ArraySize", arraySize);
            carryOver(n, from, {"Name", "Type", "Comment", "InitialValue", "ArraySize"}, {});
        }
    }

    template <typename List>
    void writeEvents(pugi::xml_node il, const char* listName, TBaseList& base, const List& events, bool inputs)
    {
        if (events.empty())
            return;
        pugi::xml_node list = touch(il, listName);
        for (const auto& e : events) {
            pugi::xml_node n = base.Add(list, "Event");
            setAttr(n, "Name", e->Name);
            setAttr(n, "Type", e->Type);
            setAttr(n, "Comment", e->Comment);
            for (const TFBDataMemberType* var : e->With)
                setAttr(n.append_child("With"), "Var", var->Name);
            // A WITH naming no variable of the event's direction, neither in
            // the base file nor in the model, was never held by the model;
            // it stays as the file had it.
            const std::set<std::string>& declared = inputs ? baseInputNames_ : baseOutputNames_;
            carryOver(n, base.TakeByName(e->Name), {"Name", "Type", "Comment"}, {}, [&](pugi::xml_node c) {
                if (!(c.type() == pugi::node_element && named(c, "With")))
                    return true;
                std::string var = attr(c, "Var");
                bool inModel = inputs ? type_.FindDataInput(var) != nullptr : type_.FindDataOutput(var) != nullptr;
                return !inModel && !declared.count(var);
            });
        }
    }

    template <typename List>
    void writeAdapters(pugi::xml_node il, const char* listName, TBaseList& base, const List& adapters)
    {
        if (adapters.empty())
            return;
        pugi::xml_node list = touch(il, listName);
        for (const auto& a : adapters) {
            pugi::xml_node n = base.Add(list, "AdapterDeclaration");
            setAttr(n, "Name", a->Name);
            setAttr(n, "Type", a->Type);
            setAttr(n, "Comment", a->Comment);
            carryOver(n, base.TakeByName(a->Name), {"Name", "Type", "Comment"}, {});
        }
    }

    void writeInternalVars()
    {
        if (type_.InternalVars.empty())
            return;
        pugi::xml_node list = touch(touch(root_, "BasicFB"), "InternalVars");
        for (const auto& v : type_.InternalVars) {
            pugi::xml_node n = baseInternals_.Add(list, "VarDeclaration");
            setAttr(n, "Name", v->Name);
            setAttr(n, "Type", v->Type);
            setAttr(n, "Comment", v->Comment);
            setAttr(n, "InitialValue", v->InitialValue);
            setAttr(n, "ArraySize", v->ArraySize);
            carryOver(n, baseInternals_.TakeByName(v->Name),
                      {"Name", "Type", "Comment", "InitialValue", "ArraySize"}, {});
        }
    }

    void writeBasic()
    {
        if (!type_.States.empty() || !type_.Transitions.empty()) {
            pugi::xml_node ecc = touch(touch(root_, "BasicFB"), "ECC");
            for (const auto& s : type_.States) {
                pugi::xml_node n = baseStates_.Add(ecc, "ECState");
                pugi::xml_node from = baseStates_.TakeByName(s->Name);
                std::string x, y;
                GridToFile(s->X, s->Y, x, y);
                setAttr(n, "Name", s->Name);
                setAttr(n, "Comment", s->Comment);
                setAttr(n, "x", x);
                setAttr(n, "y", y);
                // Actions carry over their extras by position.
                std::vector<pugi::xml_node> baseActions;
                for (pugi::xml_node a : from.children("ECAction"))
                    baseActions.push_back(a);
                for (size_t i = 0; i < s->Actions.size(); ++i) {
                    pugi::xml_node a = n.append_child("ECAction");
                    setAttr(a, "Algorithm", s->Actions[i]->Algorithm);
                    setAttr(a, "Output", s->Actions[i]->Output);
                    carryOver(a, i < baseActions.size() ? baseActions[i] : pugi::xml_node(),
                              {"Algorithm", "Output"}, {});
                }
                carryOver(n, from, {"Name", "Comment", "x", "y"}, {"ECAction"});
            }
            for (const auto& t : type_.Transitions) {
                pugi::xml_node n = baseTransitions_.Add(ecc, "ECTransition");
                std::string x, y;
                GridToFile(t->X, t->Y, x, y);
                setAttr(n, "Source", t->Source);
                setAttr(n, "Destination", t->Destination);
                setAttr(n, "Condition", t->Condition);
                setAttr(n, "x", x);
                setAttr(n, "y", y);
                carryOver(n, baseTransitions_.Take([&](pugi::xml_node b) {
                    return attr(b, "Source") == t->Source && attr(b, "Destination") == t->Destination &&
                           attr(b, "Condition") == t->Condition;
                }),
                          {"Source", "Destination", "Condition", "x", "y"}, {});
            }
        }
        if (type_.Algorithms.empty())
            return;
        pugi::xml_node basic = touch(root_, "BasicFB");
        for (const auto& a : type_.Algorithms) {
            pugi::xml_node n = baseAlgorithms_.Add(basic, "Algorithm");
            pugi::xml_node from = baseAlgorithms_.TakeByName(a->Name);
            setAttr(n, "Name", a->Name);
            setAttr(n, "Comment", a->Comment);
            if (!a->STText.empty())
                writeBody(n, "ST", from.child("ST"), a->STText, nullptr);
            if (!a->OtherText.empty())
                writeBody(n, "Other", from.child("Other"), a->OtherText, &a->Language);
            if (!a->Rungs.empty()) {
                pugi::xml_node ld = n.append_child("LD");
                pugi::xml_node baseLd = from.child("LD");
                std::vector<pugi::xml_node> baseRungs;
                for (pugi::xml_node r : baseLd.children("Rung"))
                    baseRungs.push_back(r);
                for (size_t i = 0; i < a->Rungs.size(); ++i) {
                    pugi::xml_node r = ld.append_child("Rung");
                    setAttr(r, "Output", a->Rungs[i]->Output);
                    setAttr(r, "Expression", a->Rungs[i]->Expression);
                    setAttr(r, "Comment", a->Rungs[i]->Comment);
                    carryOver(r, i < baseRungs.size() ? baseRungs[i] : pugi::xml_node(),
                              {"Output", "Expression", "Comment"}, {});
                }
                carryOver(ld, baseLd, {}, {"Rung"});
            }
            // The function block diagram is not held by the model: it stays
            // as the base file had it, like every other extra.
            carryOver(n, from, {"Name", "Comment"}, {"ST", "Other", "LD"});
        }
    }

    void writeService()
    {
        if (type_.Services.empty() || type_.Services.front()->Sequences.empty())
            return;
        const TFB_Service& svc = *type_.Services.front();
        pugi::xml_node service = touch(root_, "Service");
        setAttr(service, "LeftInterface", svc.LeftInterface);
        setAttr(service, "RightInterface", svc.RightInterface);
        setAttr(service, "Comment", svc.Comment);
        for (const auto& s : svc.Sequences) {
            pugi::xml_node n = baseSequences_.Add(service, "ServiceSequence");
            setAttr(n, "Name", s->Name);
            setAttr(n, "Comment", s->Comment);
            // One transaction per primitive.
            for (const auto& p : s->Primitives) {
                pugi::xml_node prim =
                    n.append_child("ServiceTransaction").append_child(p->IsInput ? "InputPrimitive" : "OutputPrimitive");
                setAttr(prim, "Interface", p->Interface);
                setAttr(prim, "Event", p->Event);
                setAttr(prim, "Parameters", p->Parameters);
            }
            carryOver(n, baseSequences_.TakeByName(s->Name), {"Name", "Comment"}, {"ServiceTransaction"});
        }
    }

    const TFB_Type& type_;
    bool clear_;
    bool fromBase_ = false;
    bool composite_ = false;
    pugi::xml_document doc_;
    pugi::xml_node root_;
    std::set<std::string> baseInputNames_, baseOutputNames_;
    TBaseList baseVersions_, baseCompilers_, baseInputs_, baseOutputs_, baseEventInputs_, baseEventOutputs_,
        basePlugs_, baseSockets_, baseInternals_, baseStates_, baseTransitions_, baseAlgorithms_, baseSequences_;
};

} // namespace

bool WriteFBType(const std::string& fileName, const TFB_Type& type, const TFB_Type* baseType, bool clear,
                 const TFB_Diagram* network, TUserInterface* ui)
{
    if (type.Composite && !network) {
        if (ui)
            ui->ShowMessage("Internal Error: GeneralUnit::TFB_Type.SaveFbTypeToXML");
        return false;
    }
    TTypeWriter writer(type, clear);
    if (baseType && !baseType->FileName.empty())
        writer.LoadBase(baseType->FileName);
    WriteFileAtomic(fileName, writer.Write(network));
    return true;
}

} // namespace telvo
