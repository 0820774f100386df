#include "persistence/type_file.h"

#include "persistence/composite_network.h"
#include "persistence/xml_parse_buffer.h"
#include "persistence/xml_tree.h"
#include "persistence/xml_walk.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/record_index.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "model/user_interface.h"
#include "model/value_text.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <optional>
#include <set>
#include <unordered_map>
#include <string_view>
#include <vector>

namespace telvo {

namespace {

// ---------------------------------------------------------------------------
// Shared helpers

// Reading and rewriting parse alike, so that whatever reads as a type can be
// the base of its own rewrite: the writer needs declarations, comments and
// processing instructions kept, and parsing them is also what checks them.
constexpr unsigned kParseOptions = pugi::parse_full;

using xmlwalk::same;
using xmlwalk::TAttrs;
using xmlwalk::TElements;
using xmlwalk::TFirstChildren;

bool named(pugi::xml_node node, const char* name) { return same(node.name(), name); }

pugi::xml_node childNamed(pugi::xml_node parent, const char* name)
{
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && same(c.name(), name))
            return c;
    return {};
}

// The children of one name, in order.
class TChildren {
public:
    TChildren(pugi::xml_node parent, const char* name) : first_(childNamed(parent, name)), name_(name) {}
    struct Iterator {
        pugi::xml_node Node;
        const char* Name;
        pugi::xml_node operator*() const { return Node; }
        Iterator& operator++()
        {
            do
                Node = Node.next_sibling();
            while (Node && !(Node.type() == pugi::node_element && same(Node.name(), Name)));
            return *this;
        }
        bool operator!=(const Iterator& other) const { return Node != other.Node; }
    };
    Iterator begin() const { return {first_, name_}; }
    Iterator end() const { return {pugi::xml_node(), name_}; }

private:
    pugi::xml_node first_;
    const char* name_;
};

std::string attr(pugi::xml_node node, const char* name) { return node.attribute(name).value(); }

std::string parseErrorMessage(const std::string& text, const pugi::xml_parse_result& result,
                              const std::string& fileName)
{
    size_t end = result.offset < 0 ? 0 : std::min(static_cast<size_t>(result.offset), text.size());
    size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<long>(end), '\n'));
    std::string where = fileName.empty() ? std::string() : " in " + fileName;
    return "Malformed XML" + where + ", line " + std::to_string(line) + ": " + result.description();
}

// ---------------------------------------------------------------------------
// Reading
//
// Types are read often (the library loads every type it needs), and every
// step through the document is a call into pugixml: the reader visits each
// element as few times as it can, and fills each list at its final size.

using xmlwalk::TAttr;
using xmlwalk::TNode;

constexpr const char* kVarAttrs[] = {"Name", "Type", "Comment", "InitialValue", "ArraySize"};
constexpr const char* kEventAttrs[] = {"Name", "Type", "Comment"};
constexpr const char* kVersionAttrs[] = {"Organization", "Version", "Author", "Date", "Remarks"};
constexpr const char* kCompilerAttrs[] = {"Language", "Vendor", "Product", "Version"};
constexpr const char* kStateAttrs[] = {"Name", "Comment", "x", "y"};
constexpr const char* kActionAttrs[] = {"Algorithm", "Output"};
constexpr const char* kTransitionAttrs[] = {"Source", "Destination", "Condition", "x", "y"};
constexpr const char* kRungAttrs[] = {"Output", "Expression", "Comment"};
constexpr const char* kPrimitiveAttrs[] = {"Interface", "Event", "Parameters"};
constexpr const char* kNameComment[] = {"Name", "Comment"};

// An algorithm body as lines. Tools write it either as the Text attribute or
// as the element's own text, usually CDATA, split over several sections when
// the text holds "]]>"; a non-empty attribute wins. The text is split where
// it lies when it is held in one piece.
std::vector<std::string> bodyLines(TNode body, std::string* language)
{
    if (!body)
        return {};
    constexpr const char* names[] = {"Text", "Language"};
    TAttrs a(body, names);
    std::vector<std::string> lines;
    if (*a[0]) {
        lines = SplitLines(a[0]);
    } else {
        TNode first = body.FirstChild();
        auto isText = [](TNode c) { return c.Type() == pugi::node_pcdata || c.Type() == pugi::node_cdata; };
        if (first && !first.NextSibling() && isText(first)) {
            lines = SplitLines(first.Value());
        } else {
            std::string text;
            for (TNode c = first; c; c = c.NextSibling())
                if (isText(c))
                    text += c.Value();
            lines = SplitLines(text);
        }
    }
    if (language && !lines.empty())
        *language = a[1];
    return lines;
}

// Names of one list often differ only at their end (IN1, IN2): the last
// character is compared before the rest.
bool sameName(const std::string& a, std::string_view b)
{
    return a.size() == b.size() && (b.empty() || (a.back() == b.back() && std::memcmp(a.data(), b.data(), b.size()) == 0));
}

// The first object of each name in a list being read. Most types declare a
// few ports of each kind: a short list is scanned, which costs nothing to
// set up; a long one is indexed by hash, so that the duplicate checks and
// WITH lookups of a type with many ports stay linear. The index follows the
// list as it grows; its keys view the objects' own names, which do not move.
template <typename List>
class TFirstByName {
public:
    using T = typename List::value_type::element_type;
    // `more`: how many the list may yet grow by while it is looked up.
    explicit TFirstByName(const List& list, size_t more = 0) : list_(list), expected_(list.size() + more) {}
    T* Find(std::string_view name)
    {
        if (list_.size() <= kScanned) {
            for (const auto& item : list_)
                if (sameName(item->Name, name))
                    return item.get();
            return nullptr;
        }
        if (indexed_ < list_.size()) {
            if (map_.empty())
                map_.reserve(std::max(expected_, list_.size()));
            for (; indexed_ < list_.size(); ++indexed_)
                map_.emplace(std::string_view(list_[indexed_]->Name), list_[indexed_].get());
        }
        auto it = map_.find(name);
        return it == map_.end() ? nullptr : it->second;
    }

private:
    static constexpr size_t kScanned = 16;
    struct THash {
        size_t operator()(std::string_view name) const { return TInstanceNameIndex::HashOf(name); }
    };
    const List& list_;
    size_t expected_;
    size_t indexed_ = 0;
    std::unordered_map<std::string_view, T*, THash> map_;
};

// A new object at the end of an owned list, or of one of the type's lists
// (placed in the type's store). Its fields are set by the reader: the object
// is not cleared first.
template <typename T>
T* appendNew(TOwnedList<T>& list)
{
    list.push_back(std::unique_ptr<T>(new T));
    return list.back().get();
}
template <typename T>
T* appendNew(TFB_Type& type, TOwnedList<T>& list)
{
    list.push_back(type.MakePlaced<T>());
    return list.back().get();
}

// A text into a field of an object just made, which is still empty: an empty
// text (most comments and initial values) costs nothing.
void setNew(std::string& field, const char* text)
{
    if (*text)
        field.assign(text);
}

// Tells the user, when there is one, what the reader kept or dropped of a
// type file, naming the file (when known) and the type.
class TReadNotes {
public:
    TReadNotes(TFB_Manager* manager, const std::string& fileName, const TFB_Type& type)
        : manager_(manager), file_(fileName), type_(type)
    {
    }
    void Tell(const std::string& text) const
    {
        if (manager_)
            manager_->ShowMessage((file_.empty() ? std::string() : file_ + ": ") + "FB type " + type_.Name + ": " +
                                  text);
    }
    // A list element standing more than once under `parent`: only the first
    // is read.
    template <size_t N>
    void TellRepeated(TNode parent, const char* const (&names)[N]) const
    {
        if (!manager_)
            return;
        std::array<int, N> seen{};
        for (TNode c = parent.FirstChild(); c; c = c.NextSibling()) {
            if (!c.IsElement())
                continue;
            for (size_t i = 0; i < N; ++i)
                if (same(c.Name(), names[i]) && ++seen[i] == 2)
                    Tell(std::string("the ") + parent.Name() + " holds " + names[i] +
                         " more than once; only the first is read");
        }
    }

private:
    TFB_Manager* manager_;
    const std::string& file_;
    const TFB_Type& type_;
};

// Interface variables, as AddDataInput and AddDataOutput take them: a
// repeated name is refused. The array size of interface variables is not
// held: the workbench treats them as single values. The objects are made
// here rather than through the add operations, which would copy every text
// once more.
template <typename List>
void readDataVars(TNode list, TFB_Type& target, List& vars, const TReadNotes& notes, const char* kind)
{
    TElements decls(list, "VarDeclaration");
    if (decls.empty())
        return;
    const size_t count = decls.size();
    vars.reserve(vars.size() + count);
    TFirstByName known(vars, count);
    for (TNode v : decls) {
        TAttrs a(v, kVarAttrs);
        std::string_view name = a[0];
        if (known.Find(name)) {
            notes.Tell(std::string("the ") + kind + " " + std::string(name) +
                       " is declared more than once; only the first declaration is read");
            continue;
        }
        auto* d = appendNew(target, vars);
        d->Name.assign(name.data(), name.size());
        setNew(d->Type, a[1]);
        setNew(d->Comment, a[2]);
        setNew(d->InitialValue, a[3]);
        d->Owner = &target;
    }
}

// Events, as AddEventInput and AddEventOutput take them: a repeated name
// joins the first event and leaves its fields alone. A WITH naming no
// variable of the event's direction has nothing to associate and is dropped.
template <typename List, typename Vars>
void readEvents(TNode list, TFB_Type& target, List& events, const Vars& vars, const TReadNotes& notes,
                const char* kind)
{
    TElements decls(list, "Event");
    if (decls.empty())
        return;
    const size_t count = decls.size();
    events.reserve(events.size() + count);
    TFirstByName known(events, count);
    TFirstByName variables(vars);
    for (TNode e : decls) {
        TAttrs a(e, kEventAttrs);
        std::string_view name = a[0];
        TFBEventType* event = known.Find(name);
        if (!event) {
            auto* made = appendNew(target, events);
            made->Name.assign(name.data(), name.size());
            setNew(made->Type, a[1]);
            setNew(made->Comment, a[2]);
            made->Owner = &target;
            event = made;
        } else {
            notes.Tell(std::string("the ") + kind + " " + std::string(name) +
                       " is declared more than once; only the first declaration is read, with the WITH entries "
                       "of both");
        }
        TElements withs(e, "With");
        if (withs.empty())
            continue;
        event->With.reserve(event->With.size() + withs.size());
        constexpr const char* withAttrs[] = {"Var"};
        for (TNode w : withs)
            event->AddWith(variables.Find(TAttrs(w, withAttrs)[0]));
    }
}

void readAlgorithm(TNode alg, TFB_Type& target)
{
    TAttrs a(alg, kNameComment);
    TFBAlgorithm* algorithm = appendNew(target, target.Algorithms);
    setNew(algorithm->Name, a[0]);
    setNew(algorithm->Comment, a[1]);
    // The first child of each name, whatever its kind.
    TNode st, other, ld, fbd;
    for (TNode c = alg.FirstChild(); c; c = c.NextSibling()) {
        const char* name = c.Name();
        TNode* slot = same(name, "ST")      ? &st
                      : same(name, "Other") ? &other
                      : same(name, "LD")    ? &ld
                      : same(name, "FBD")   ? &fbd
                                            : nullptr;
        if (slot && !*slot)
            *slot = c;
    }
    algorithm->STText = bodyLines(st, nullptr);
    algorithm->OtherText = bodyLines(other, &algorithm->Language);
    TElements rungs(ld, "Rung");
    if (!rungs.empty()) {
        algorithm->Rungs.reserve(rungs.size());
        for (TNode r : rungs) {
            TAttrs b(r, kRungAttrs);
            TFBRung* rung = appendNew(algorithm->Rungs);
            setNew(rung->Output, b[0]);
            setNew(rung->Expression, b[1]);
            setNew(rung->Comment, b[2]);
        }
    }
    constexpr const char* blocks[] = {"FB"};
    algorithm->HasFBD = static_cast<bool>(TFirstChildren(fbd, blocks)[0]);
}

void readService(TNode service, TFB_Type& target)
{
    constexpr const char* serviceAttrs[] = {"LeftInterface", "RightInterface", "Comment"};
    TAttrs sa(service, serviceAttrs);
    TFB_Service* svc = appendNew(target, target.Services);
    setNew(svc->LeftInterface, sa[0]);
    setNew(svc->RightInterface, sa[1]);
    setNew(svc->Comment, sa[2]);
    TElements sequences(service, "ServiceSequence");
    if (sequences.empty())
        return;
    svc->Sequences.reserve(sequences.size());
    for (TNode s : sequences) {
        TAttrs a(s, kNameComment);
        TFB_ServiceSequence* sequence = appendNew(svc->Sequences);
        setNew(sequence->Name, a[0]);
        setNew(sequence->Comment, a[1]);
        for (TNode t : TElements(s, "ServiceTransaction")) {
            constexpr const char* inputs[] = {"InputPrimitive"};
            TAttrs in(TFirstChildren(t, inputs)[0], kPrimitiveAttrs);
            if (*in[0])
                sequence->AddPrimitive(true, in[0], in[1], in[2]);
            for (TNode out : TElements(t, "OutputPrimitive")) {
                TAttrs b(out, kPrimitiveAttrs);
                sequence->AddPrimitive(false, b[0], b[1], b[2]);
            }
        }
    }
}

} // namespace

bool ReadFBType(const std::string& xmlText, TFB_Type& target, TFB_Manager* manager,
                const std::string& fileNameForMessages)
{
    TXmlParseBuffer buffer; // outlives the document, which points into it
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = buffer.Parse(doc, xmlText, kParseOptions);
    if (!parsed)
        throw EXmlParseError(parseErrorMessage(xmlText, parsed, fileNameForMessages));
    TNode root(doc.document_element());
    if (!same(root.Name(), "FBType"))
        return false;

    TAttrs typeAttrs(root, kNameComment);
    target.Name = typeAttrs[0];
    target.Comment = typeAttrs[1];
    target.Imported = target.Comment.find("!IMP!") != std::string::npos;

    // The parts of the type, and its versions, in one pass.
    constexpr const char* parts[] = {"Identification", "CompilerInfo", "InterfaceList", "BasicFB",
                                     "FBNetwork",      "Service",      "SimpleFB"};
    std::array<TNode, std::size(parts)> part{};
    size_t versionCount = 0;
    TNode firstVersion;
    for (TNode c = root.FirstChild(); c; c = c.NextSibling()) {
        if (!c.IsElement())
            continue;
        const char* name = c.Name();
        if (name[0] == 'V' && same(name, "VersionInfo")) {
            if (!versionCount++)
                firstVersion = c;
            continue;
        }
        for (size_t i = 0; i < part.size(); ++i)
            if (name[0] == parts[i][0] && same(name, parts[i])) {
                if (!part[i])
                    part[i] = c;
                break;
            }
    }

    constexpr const char* identAttrs[] = {"Standard", "Description"};
    TAttrs ident(part[0], identAttrs);
    target.Standard = ident[0];
    target.Description = ident[1];

    // As AddVersion takes them: a version already listed is refused.
    if (versionCount) {
        target.Versions.reserve(target.Versions.size() + versionCount);
        for (TNode v : TElements::From(firstVersion, "VersionInfo")) {
            TAttrs a(v, kVersionAttrs);
            std::string_view number = a[1];
            if (std::any_of(target.Versions.begin(), target.Versions.end(),
                            [&](const auto& known) { return std::string_view(known->Version) == number; }))
                continue;
            TFB_Version* version = appendNew(target, target.Versions);
            setNew(version->Organization, a[0]);
            version->Version.assign(number.data(), number.size());
            setNew(version->Author, a[2]);
            setNew(version->Date, a[3]);
            setNew(version->Remarks, a[4]);
        }
    }

    TNode compilerInfo = part[1];
    constexpr const char* compilerInfoAttrs[] = {"header", "classdef"};
    TAttrs info(compilerInfo, compilerInfoAttrs);
    target.CompilerHeader = info[0];
    target.CompilerClassDef = info[1];
    for (TNode c : TElements(compilerInfo, "Compiler")) {
        TAttrs a(c, kCompilerAttrs);
        target.AddCompiler(a[0], a[1], a[2], a[3]);
    }

    // Variables before events, so that the events' WITH entries find them.
    const TReadNotes notes(manager, fileNameForMessages, target);
    constexpr const char* interfaceList[] = {"InterfaceList"};
    notes.TellRepeated(root, interfaceList);
    constexpr const char* lists[] = {"InputVars", "OutputVars", "EventInputs", "EventOutputs", "Plugs", "Sockets"};
    notes.TellRepeated(part[2], lists);
    TFirstChildren list(part[2], lists);
    readDataVars(list[0], target, target.DataInputs, notes, "data input");
    readDataVars(list[1], target, target.DataOutputs, notes, "data output");
    readEvents(list[2], target, target.EventInputs, target.DataInputs, notes, "event input");
    readEvents(list[3], target, target.EventOutputs, target.DataOutputs, notes, "event output");

    for (TNode d : TElements(list[4], "AdapterDeclaration")) {
        TAttrs a(d, kEventAttrs);
        target.AddPlug(a[0], a[1], a[2]);
    }
    for (TNode d : TElements(list[5], "AdapterDeclaration")) {
        TAttrs a(d, kEventAttrs);
        target.AddSocket(a[0], a[1], a[2]);
    }

    // A simple FB holds its variables and algorithms as a basic FB does,
    // without a chart.
    TNode basic = part[3];
    if (!basic && part[6]) {
        basic = part[6];
        target.Simple = true;
    }
    constexpr const char* basicParts[] = {"InternalVars", "ECC"};
    TFirstChildren basicPart(basic, basicParts);
    TElements internals(basicPart[0], "VarDeclaration");
    if (!internals.empty()) {
        target.InternalVars.reserve(target.InternalVars.size() + internals.size());
        for (TNode v : internals) {
            TAttrs a(v, kVarAttrs);
            TFB_InternalVar* var = appendNew(target, target.InternalVars);
            setNew(var->Name, a[0]);
            setNew(var->Type, a[1]);
            setNew(var->Comment, a[2]);
            setNew(var->InitialValue, a[3]);
            setNew(var->ArraySize, a[4]);
            var->Owner = &target;
        }
    }

    TNode ecc = basicPart[1];
    TElements states(ecc, "ECState");
    if (!states.empty()) {
        target.States.reserve(target.States.size() + states.size());
        for (TNode s : states) {
            TAttrs a(s, kStateAttrs);
            TECCState* state = appendNew(target, target.States);
            setNew(state->Name, a[0]);
            setNew(state->Comment, a[1]);
            FileToGrid(a.OrNull(2), a.OrNull(3), state->X, state->Y);
            TElements actions(s, "ECAction");
            if (actions.empty())
                continue;
            state->Actions.reserve(actions.size());
            for (TNode act : actions) {
                TAttrs b(act, kActionAttrs);
                TECCAction* action = appendNew(state->Actions);
                setNew(action->Algorithm, b[0]);
                setNew(action->Output, b[1]);
            }
        }
    }
    TElements transitions(ecc, "ECTransition");
    if (!transitions.empty()) {
        target.Transitions.reserve(target.Transitions.size() + transitions.size());
        for (TNode t : transitions) {
            TAttrs a(t, kTransitionAttrs);
            TECCTransition* transition = appendNew(target, target.Transitions);
            setNew(transition->Source, a[0]);
            setNew(transition->Destination, a[1]);
            setNew(transition->Condition, a[2]);
            FileToGrid(a.OrNull(3), a.OrNull(4), transition->X, transition->Y);
        }
    }

    TElements algorithms(basic, "Algorithm");
    if (!algorithms.empty()) {
        target.Algorithms.reserve(target.Algorithms.size() + algorithms.size());
        for (TNode alg : algorithms)
            readAlgorithm(alg, target);
    }

    TNode network = part[4];
    constexpr const char* blocks[] = {"FB"};
    target.Composite = static_cast<bool>(TFirstChildren(network, blocks)[0]);

    // Every type read from a file has exactly one service entry.
    readService(part[5], target);

    if (target.Composite)
        ReadCompositeNetwork(network.Pugi(), target, manager, fileNameForMessages);
    return true;
}

std::vector<TUnresolvedInner> UnresolvedInnerInstances(const std::string& xmlText, const TFB_Type& type)
{
    std::vector<TUnresolvedInner> missing;
    TXmlParseBuffer buffer; // outlives the document, which points into it
    pugi::xml_document doc;
    if (!buffer.Parse(doc, xmlText, kParseOptions))
        return missing;
    pugi::xml_node network = childNamed(doc.document_element(), "FBNetwork");
    for (pugi::xml_node fb : TChildren(network, "FB")) {
        const char* name = fb.attribute("Name").value();
        if (!type.Network || !type.Network->FindDrawn(name))
            missing.push_back({name, fb.attribute("Type").value()});
    }
    return missing;
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
        {"SimpleFB", {"InternalVars", "Algorithm"}},
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
    pugi::xml_node c = childNamed(parent, name);
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
        for (pugi::xml_node c : TChildren(parent, name))
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
            RemoveNode(n);
        nodes_.clear();
        used_.clear();
    }

private:
    std::vector<pugi::xml_node> nodes_;
    std::vector<bool> used_;
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

class TTypeWriter {
public:
    TTypeWriter(const TFB_Type& type, bool clear) : type_(type), clear_(clear) {}

    void LoadBase(const std::string& fileName)
    {
        std::string text = ReadFileText(fileName);
        pugi::xml_parse_result parsed =
            doc_.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_auto);
        if (!parsed)
            throw EXmlParseError(parseErrorMessage(text, parsed, fileName));
        if (!named(doc_.document_element(), "FBType"))
            throw std::runtime_error("Not an FB type file: " + fileName);
        fromBase_ = true;
        // The output keeps the encoding the base was read in, as the parser
        // detected it, so that its declaration stays true and the file
        // reads back the same.
        encoding_ = parsed.encoding;
    }

    std::string Write(const TFB_Diagram* network)
    {
        root_ = doc_.document_element();
        if (!root_)
            root_ = doc_.append_child("FBType");
        composite_ = network && CompositeNetworkHasInstances(*network);

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
            WriteCompositeNetwork(touch(root_, "FBNetwork"), *network, clear_);
        else
            writeBasic();
        writeService();

        for (TBaseList* list : {&baseVersions_, &baseCompilers_, &baseInputs_, &baseOutputs_, &baseEventInputs_,
                                &baseEventOutputs_, &basePlugs_, &baseSockets_, &baseInternals_, &baseStates_,
                                &baseTransitions_, &baseAlgorithms_, &baseSequences_})
            list->RemoveAll();

        return SaveIndented(doc_, encoding_);
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
        for (pugi::xml_node v : TChildren(childNamed(il, "InputVars"), "VarDeclaration"))
            baseInputNames_.insert(attr(v, "Name"));
        for (pugi::xml_node v : TChildren(childNamed(il, "OutputVars"), "VarDeclaration"))
            baseOutputNames_.insert(attr(v, "Name"));
        baseEventInputs_ = TBaseList(touch(il, "EventInputs"), "Event");
        baseEventOutputs_ = TBaseList(touch(il, "EventOutputs"), "Event");
        // Adapters are regenerated too; kept, they would be written twice.
        basePlugs_ = TBaseList(childNamed(il, "Plugs"), "AdapterDeclaration");
        baseSockets_ = TBaseList(childNamed(il, "Sockets"), "AdapterDeclaration");
        baseSequences_ = TBaseList(touch(root_, "Service"), "ServiceSequence");
        // Internal variables are written for every kind of type, so they are
        // cleared for every kind.
        pugi::xml_node basic = childNamed(root_, bodyName());
        baseInternals_ = TBaseList(childNamed(basic, "InternalVars"), "VarDeclaration");
        if (composite_) {
            touch(touch(root_, "FBNetwork"), "EventConnections");
            touch(childNamed(root_, "FBNetwork"), "DataConnections");
            return;
        }
        // A base file without a BasicFB is a service interface, simple,
        // composite or interface-only type: an empty ECC would turn it into
        // a basic type for every other tool. A new file gets the skeleton.
        if (!basic && !fromBase_)
            basic = placeChild(root_, bodyName());
        if (basic && type_.Simple) {
            touch(basic, "InternalVars");
            baseAlgorithms_ = TBaseList(basic, "Algorithm");
        } else if (basic) {
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

    // Where variables and algorithms stand.
    const char* bodyName() const { return type_.Simple ? "SimpleFB" : "BasicFB"; }

    void writeInternalVars()
    {
        if (type_.InternalVars.empty())
            return;
        pugi::xml_node list = touch(touch(root_, bodyName()), "InternalVars");
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
                for (pugi::xml_node a : TChildren(from, "ECAction"))
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
        pugi::xml_node basic = touch(root_, bodyName());
        for (const auto& a : type_.Algorithms) {
            pugi::xml_node n = baseAlgorithms_.Add(basic, "Algorithm");
            pugi::xml_node from = baseAlgorithms_.TakeByName(a->Name);
            setAttr(n, "Name", a->Name);
            setAttr(n, "Comment", a->Comment);
            if (!a->STText.empty())
                writeBody(n, "ST", childNamed(from, "ST"), a->STText, nullptr);
            if (!a->OtherText.empty())
                writeBody(n, "Other", childNamed(from, "Other"), a->OtherText, &a->Language);
            if (!a->Rungs.empty()) {
                pugi::xml_node ld = n.append_child("LD");
                pugi::xml_node baseLd = childNamed(from, "LD");
                std::vector<pugi::xml_node> baseRungs;
                for (pugi::xml_node r : TChildren(baseLd, "Rung"))
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
    pugi::xml_encoding encoding_ = pugi::encoding_utf8;
    pugi::xml_document doc_;
    pugi::xml_node root_;
    std::set<std::string> baseInputNames_, baseOutputNames_;
    TBaseList baseVersions_, baseCompilers_, baseInputs_, baseOutputs_, baseEventInputs_, baseEventOutputs_,
        basePlugs_, baseSockets_, baseInternals_, baseStates_, baseTransitions_, baseAlgorithms_, baseSequences_;
};

} // namespace

bool WriteFBType(const std::string& fileName, const TFB_Type& type, const TFB_Type* baseType, bool clear,
                 const TFB_Diagram* network, TUserInterface* ui, TWriteMode mode)
{
    if (type.Composite && !network) {
        if (ui)
            ui->ShowMessage("Internal Error: GeneralUnit::TFB_Type.SaveFbTypeToXML");
        return false;
    }
    WriteFileAtomic(fileName, FBTypeText(type, baseType, clear, network), mode);
    return true;
}

std::string FBTypeText(const TFB_Type& type, const TFB_Type* baseType, bool clear, const TFB_Diagram* network)
{
    TTypeWriter writer(type, clear);
    if (baseType && !baseType->FileName.empty())
        writer.LoadBase(baseType->FileName);
    return writer.Write(network);
}

} // namespace telvo
