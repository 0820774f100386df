#include "umlimport/uml_model.h"

#include "model/file_util.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace telvo::uml {

namespace {

// Element names carry a namespace prefix ("UML:Class"); other tools use
// other prefixes, so elements are matched by the name after the last ":".
const char* localName(pugi::xml_node node)
{
    const char* name = node.name();
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool is(pugi::xml_node node, const char* local) { return std::strcmp(localName(node), local) == 0; }

std::string attr(pugi::xml_node node, const char* name) { return node.attribute(name).value(); }

// Coordinates come with "." or "," as decimal separator.
double number(const std::string& text)
{
    std::string t = text;
    std::replace(t.begin(), t.end(), ',', '.');
    double value = 0;
    std::from_chars(t.data(), t.data() + t.size(), value);
    return value;
}

int lineOf(const std::string& text, ptrdiff_t offset)
{
    if (offset < 0)
        return 1;
    const auto end = text.begin() + std::min<ptrdiff_t>(offset, ptrdiff_t(text.size()));
    return 1 + int(std::count(text.begin(), end, '\n'));
}

// Beyond this many generalisations above a class, the next one is not
// followed: no model drawn by hand comes near it, and every class walks its
// ancestors for inherited operations and attributes.
constexpr int MaxGeneralisationDepth = 100;

class TReader {
public:
    TReader(TUmlModel& model, const std::string& fileName) : m_(model), file_(fileName) {}

    void Read(pugi::xml_node root)
    {
        walk(root);
        m_.Exporter = root.child("XMI.header").child("XMI.documentation").child_value("XMI.exporter");
        readClasses();
        readGeneralizations();
        breakCycles();
        readActorsAndUseCases();
        readDiagrams();
        if (m_.Exporter.find("umbrello") == std::string::npos && !sawDiagrams_)
            problem("The model was not saved by Umbrello (" +
                    (m_.Exporter.empty() ? std::string("no exporter named") : "exporter " + m_.Exporter) +
                    "): it has no diagrams that can be read");
    }

private:
    void problem(const std::string& text) { m_.Problems.push_back(text); }

    // A diagram element and the packages it lies in: the nearest Model or
    // Package above it and the nearest one above that.
    struct TDiagramNode {
        pugi::xml_node Node, Owner, OwnerOwner;
    };

    // One walk over the document, without recursion (files may nest
    // deeply) and without looking up from any element (what lies above
    // comes down the walk): the elements the reading needs, in document
    // order, and the ids of model elements.
    void walk(pugi::xml_node root)
    {
        struct TVisit {
            pugi::xml_node Node;
            bool InWidget;           // below a "diagrams" or "listview" element
            pugi::xml_node Package;  // nearest Model or Package above
            pugi::xml_node Package2; // the nearest one above that
        };
        pugi::xml_node firstModel;
        std::vector<TVisit> stack{{root, false, {}, {}}};
        while (!stack.empty()) {
            const TVisit v = stack.back();
            stack.pop_back();
            pugi::xml_node n = v.Node;
            if (n.type() != pugi::node_element)
                continue;
            const bool isPackage = is(n, "Model") || is(n, "Package");
            if (n != root) {
                if (!v.InWidget) {
                    if (pugi::xml_attribute id = n.attribute("xmi.id")) {
                        byId_.emplace(id.value(), n);
                        if (is(n, "Class"))
                            classNodes_.push_back(n);
                        else if (n.attribute("name") && (is(n, "Actor") || is(n, "UseCase")))
                            actorsAndUseCases_.push_back(n);
                    }
                    if (is(n, "Generalization") && n.attribute("child") && n.attribute("parent"))
                        generalizations_.push_back(n);
                }
                if (isPackage) {
                    if (!logicalView_ && std::strcmp(n.attribute("name").value(), "Logical View") == 0)
                        logicalView_ = n;
                    if (!firstModel && is(n, "Model"))
                        firstModel = n;
                }
                if (std::strcmp(n.name(), "diagram") == 0 && std::strcmp(n.parent().name(), "diagrams") == 0)
                    diagramNodes_.push_back({n, v.Package, v.Package2});
            }
            const bool childInWidget =
                v.InWidget || std::strcmp(n.name(), "diagrams") == 0 || std::strcmp(n.name(), "listview") == 0;
            const pugi::xml_node childPackage = isPackage ? n : v.Package;
            const pugi::xml_node childPackage2 = isPackage ? v.Package : v.Package2;
            for (pugi::xml_node c = n.last_child(); c; c = c.previous_sibling())
                stack.push_back({c, childInWidget, childPackage, childPackage2});
        }
        if (!logicalView_)
            logicalView_ = firstModel;
    }

    pugi::xml_node byId(const std::string& id) const
    {
        auto it = byId_.find(id);
        return it == byId_.end() ? pugi::xml_node() : it->second;
    }

    std::string stereotypeOf(pugi::xml_node n) const
    {
        std::string ref = attr(n, "stereotype");
        if (ref.empty())
            for (pugi::xml_node s : n.children())
                if (is(s, "ModelElement.stereotype"))
                    for (pugi::xml_node t : s.children())
                        ref = t.attribute("xmi.idref") ? attr(t, "xmi.idref") : attr(t, "name");
        if (ref.empty())
            return {};
        pugi::xml_node st = byId(ref);
        return st && is(st, "Stereotype") ? attr(st, "name") : ref;
    }

    // A type names a data type, class or other classifier by id; older files
    // and other tools write the type's name itself.
    std::string typeName(pugi::xml_node n) const
    {
        std::string ref = attr(n, "type");
        if (ref.empty())
            for (pugi::xml_node s : n.children())
                if (is(s, "Parameter.type") || is(s, "StructuralFeature.type"))
                    for (pugi::xml_node t : s.children())
                        ref = attr(t, "xmi.idref");
        if (ref.empty())
            return {};
        pugi::xml_node t = byId(ref);
        return t ? attr(t, "name") : ref;
    }

    static std::string expressionChild(pugi::xml_node n, const char* element)
    {
        for (pugi::xml_node s : n.children())
            if (is(s, element))
                for (pugi::xml_node e : s.children())
                    return e.attribute("body") ? attr(e, "body") : e.child_value();
        return {};
    }

    void readClasses()
    {
        for (pugi::xml_node n : classNodes_) {
            TUmlClass cls;
            cls.Id = attr(n, "xmi.id");
            cls.Name = attr(n, "name");
            cls.Stereotype = stereotypeOf(n);
            for (pugi::xml_node f : n.children())
                if (is(f, "Classifier.feature"))
                    for (pugi::xml_node e : f.children()) {
                        if (is(e, "Operation"))
                            cls.Operations.push_back(readOperation(cls, e));
                        else if (is(e, "Attribute"))
                            cls.Attributes.push_back(readAttribute(e));
                    }
            if (cls.Name.empty()) {
                problem("The class " + cls.Id + " has no name: it is not used");
                continue;
            }
            if (classByName_.count(cls.Name)) {
                problem("Two classes are named " + cls.Name + ": the second (" + cls.Id + ") is not used");
                classById_.emplace(cls.Id, -1);
                continue;
            }
            classById_.emplace(cls.Id, int(m_.Classes.size()));
            classByName_.emplace(cls.Name, int(m_.Classes.size()));
            m_.Classes.push_back(std::move(cls));
        }
    }

    int classOfId(const std::string& id) const
    {
        auto it = classById_.find(id);
        return it == classById_.end() ? -1 : it->second;
    }

    TUmlOperation readOperation(const TUmlClass& cls, pugi::xml_node e)
    {
        TUmlOperation op;
        op.Id = attr(e, "xmi.id");
        op.Name = attr(e, "name");
        for (pugi::xml_node s : e.children())
            if (is(s, "BehavioralFeature.parameter"))
                for (pugi::xml_node p : s.children()) {
                    if (!is(p, "Parameter") || attr(p, "kind") == "return")
                        continue;
                    TUmlParameter par;
                    par.Name = attr(p, "name");
                    par.Type = typeName(p);
                    par.InitialValue = p.attribute("value") ? attr(p, "value") : expressionChild(p, "Parameter.defaultValue");
                    if (par.Name.empty()) {
                        problem("A parameter of the operation " + cls.Name + "." + op.Name + " has no name: it is not used");
                        continue;
                    }
                    if (par.Type.empty()) {
                        problem("The parameter " + par.Name + " of the operation " + cls.Name + "." + op.Name +
                                " has no type: it is not used");
                        continue;
                    }
                    op.Parameters.push_back(std::move(par));
                }
        if (op.Name.empty())
            problem("An operation of the class " + cls.Name + " has no name");
        return op;
    }

    TUmlAttribute readAttribute(pugi::xml_node e)
    {
        TUmlAttribute a;
        a.Name = attr(e, "name");
        a.Type = typeName(e);
        a.InitialValue = e.attribute("initialValue") ? attr(e, "initialValue") : expressionChild(e, "Attribute.initialValue");
        const std::string visibility = attr(e, "visibility");
        a.ExportControl = visibility == "protected" ? 1 : visibility == "private" ? 2 : visibility == "implementation" ? 3 : 0;
        const std::string stereotype = stereotypeOf(e);
        a.Containment = (stereotype == "out" || stereotype == "output") ? 1 : (stereotype == "in" || stereotype == "input") ? 2 : 0;
        return a;
    }

    void readGeneralizations()
    {
        // A class with many parents looks each one up once.
        std::vector<std::unordered_set<int>> known(m_.Classes.size());
        for (pugi::xml_node n : generalizations_) {
            const int child = classOfId(attr(n, "child"));
            const int parent = classOfId(attr(n, "parent"));
            if (child < 0 || parent < 0)
                continue; // generalisations between other classifiers
            if (known[size_t(child)].insert(parent).second)
                m_.Classes[size_t(child)].Parents.push_back(parent);
        }
    }

    // A generalisation that leads back to the class it starts from would
    // make every walk over inherited features endless: the edge closing the
    // cycle is dropped and named. So is one that would put a class more
    // than MaxGeneralisationDepth generalisations below the top. A depth-
    // first walk with a stack of its own: a chain of classes may be as long
    // as the file allows.
    void breakCycles()
    {
        enum { White, Grey, Black };
        std::vector<int> colour(m_.Classes.size(), White);
        // Generalisations above each finished class, along the longest way.
        std::vector<int> depth(m_.Classes.size(), 0);
        struct TFrame {
            int Class;
            size_t Next; // the parent to look at next
        };
        std::vector<TFrame> stack;
        for (size_t start = 0; start < m_.Classes.size(); ++start) {
            if (colour[start] != White)
                continue;
            colour[start] = Grey;
            stack.push_back({int(start), 0});
            while (!stack.empty()) {
                TFrame& f = stack.back();
                auto& parents = m_.Classes[size_t(f.Class)].Parents;
                if (f.Next < parents.size()) {
                    const int p = parents[f.Next];
                    if (colour[size_t(p)] == Grey) {
                        problem("The generalisation of " + m_.Classes[size_t(f.Class)].Name + " from " +
                                m_.Classes[size_t(p)].Name + " closes a cycle: it is not followed");
                        parents.erase(parents.begin() + ptrdiff_t(f.Next));
                        continue;
                    }
                    ++f.Next;
                    if (colour[size_t(p)] == White) {
                        colour[size_t(p)] = Grey;
                        stack.push_back({p, 0}); // f is not used after this
                    }
                    continue;
                }
                // Every parent is finished: their depths are known.
                const int c = f.Class;
                int d = 0;
                for (size_t i = 0; i < parents.size();) {
                    const int p = parents[i];
                    if (depth[size_t(p)] + 1 > MaxGeneralisationDepth) {
                        problem("The generalisation of " + m_.Classes[size_t(c)].Name + " from " +
                                m_.Classes[size_t(p)].Name + " makes a chain of more than " +
                                std::to_string(MaxGeneralisationDepth) + " generalisations: it is not followed");
                        parents.erase(parents.begin() + ptrdiff_t(i));
                        continue;
                    }
                    d = std::max(d, depth[size_t(p)] + 1);
                    ++i;
                }
                depth[size_t(c)] = d;
                colour[size_t(c)] = Black;
                stack.pop_back();
            }
        }
    }

    void readActorsAndUseCases()
    {
        for (pugi::xml_node n : actorsAndUseCases_) {
            if (is(n, "Actor"))
                m_.Actors.push_back(attr(n, "name"));
            else
                m_.UseCases.push_back(attr(n, "name"));
        }
    }

    // The category of a diagram: the Logical View itself (empty), a package
    // directly inside it (its name), or anything else (not read).
    bool categoryOf(const TDiagramNode& d, std::string& category) const
    {
        category.clear();
        // Older Umbrello files keep every diagram at the end of the document.
        if (!d.Owner || d.Owner == logicalView_)
            return true;
        if (!d.OwnerOwner || d.OwnerOwner != logicalView_)
            return false;
        category = attr(d.Owner, "name");
        return true;
    }

    void readDiagrams()
    {
        std::vector<TUmlDiagram> nested;
        for (const TDiagramNode& node : diagramNodes_) {
            pugi::xml_node d = node.Node;
            sawDiagrams_ = true;
            TUmlDiagram diagram;
            diagram.Id = attr(d, "xmi.id");
            diagram.Name = attr(d, "name");
            diagram.Kind = std::atoi(d.attribute("type").value());
            std::string category;
            const bool usable = categoryOf(node, category);
            diagram.Category = category;
            switch (diagram.Kind) {
            case TUmlDiagram::UseCase:
                m_.UseCaseDiagrams.push_back(diagram.Name);
                break;
            case TUmlDiagram::Class:
                if (!usable || !category.empty())
                    break; // only the Logical View's own class diagrams are read
                for (pugi::xml_node w : d.child("widgets").children("classwidget")) {
                    const int c = classOfId(attr(w, "xmi.id"));
                    if (c >= 0)
                        diagram.Classes.push_back(c);
                }
                m_.ClassDiagrams.push_back(std::move(diagram));
                break;
            case TUmlDiagram::Sequence:
                if (!usable) {
                    problem("The sequence diagram " + diagram.Name +
                            " lies deeper than one package inside the Logical View: it is not read");
                    break;
                }
                readSequence(d, diagram);
                (category.empty() ? m_.SequenceDiagrams : nested).push_back(std::move(diagram));
                break;
            case TUmlDiagram::Collaboration:
                problem("The collaboration diagram " + diagram.Name +
                        " is not read: interactions are read from sequence diagrams");
                break;
            default:
                break;
            }
        }
        for (auto& d : nested)
            m_.SequenceDiagrams.push_back(std::move(d));
    }

    void readSequence(pugi::xml_node d, TUmlDiagram& diagram)
    {
        // Messages name their objects by local id; the first object of an id
        // counts.
        std::unordered_map<std::string, int> objectOf;
        for (pugi::xml_node w : d.child("widgets").children("objectwidget")) {
            TUmlObject object;
            object.LocalId = attr(w, "localid");
            if (object.LocalId.empty())
                object.LocalId = attr(w, "xmi.id");
            object.Name = attr(w, "instancename");
            const std::string classId = attr(w, "xmi.id");
            object.Class = classOfId(classId);
            if (object.Class >= 0) {
                object.ClassName = m_.Classes[size_t(object.Class)].Name;
            } else if (pugi::xml_node e = byId(classId)) {
                object.ClassName = attr(e, "name");
            }
            if (!object.LocalId.empty())
                objectOf.emplace(object.LocalId, int(diagram.Objects.size()));
            diagram.Objects.push_back(std::move(object));
        }
        const auto object = [&](const std::string& localId) {
            auto it = objectOf.find(localId);
            return it == objectOf.end() ? -1 : it->second;
        };
        struct TPlaced {
            double Y;
            TUmlMessage Message;
        };
        std::vector<TPlaced> placed;
        for (pugi::xml_node w : d.child("messages").children("messagewidget")) {
            TUmlMessage message;
            message.Sender = object(attr(w, "widgetaid"));
            message.Receiver = object(attr(w, "widgetbid"));
            const std::string operation = attr(w, "operation");
            pugi::xml_node op = operation.empty() ? pugi::xml_node() : byId(operation);
            if (op && is(op, "Operation")) {
                // Shown as the operation's signature; the event is its name.
                message.Name = attr(op, "name") + "(";
                bool first = true;
                for (pugi::xml_node s : op.children())
                    if (is(s, "BehavioralFeature.parameter"))
                        for (pugi::xml_node p : s.children())
                            if (is(p, "Parameter") && attr(p, "kind") != "return") {
                                const std::string type = typeName(p);
                                message.Name += (first ? "" : ", ") + attr(p, "name") + (type.empty() ? "" : " : " + type);
                                first = false;
                            }
                message.Name += ")";
            } else if (!operation.empty()) {
                message.Name = operation;
            } else {
                for (pugi::xml_node t : w.children("floatingtext"))
                    message.Name = attr(t, "text");
            }
            if (message.Sender < 0 || message.Receiver < 0)
                problem("The message " + message.Name + " on " + diagram.Name +
                        " does not join two objects of the diagram: it is not used");
            else
                placed.push_back({number(attr(w, "y")), std::move(message)});
        }
        // A sequence diagram is read from top to bottom.
        std::stable_sort(placed.begin(), placed.end(), [](const TPlaced& a, const TPlaced& b) { return a.Y < b.Y; });
        for (auto& p : placed)
            diagram.Messages.push_back(std::move(p.Message));
    }

    TUmlModel& m_;
    std::string file_;
    std::unordered_map<std::string, pugi::xml_node> byId_;
    std::unordered_map<std::string, int> classById_;
    std::unordered_map<std::string, int> classByName_;
    std::vector<pugi::xml_node> classNodes_, generalizations_, actorsAndUseCases_;
    std::vector<TDiagramNode> diagramNodes_;
    pugi::xml_node logicalView_;
    bool sawDiagrams_ = false;
};

// Visits the class and then the classes it specialises, depth first and
// each once, in the order the recursive definition gives (own features,
// then the first parent with all above it, then the next). Stops when
// `visit` returns true. A stack of its own: chains may be long.
template <typename Visit> void forEachAncestry(const TUmlModel& model, const TUmlClass& cls, Visit&& visit)
{
    std::vector<char> seen(model.Classes.size(), 0);
    const auto first = [&](const TUmlClass* c) {
        if (c < model.Classes.data() || c >= model.Classes.data() + model.Classes.size())
            return true; // a class of no model: only ever the start
        char& s = seen[size_t(c - model.Classes.data())];
        if (s)
            return false;
        s = 1;
        return true;
    };
    std::vector<const TUmlClass*> stack{&cls};
    while (!stack.empty()) {
        const TUmlClass* c = stack.back();
        stack.pop_back();
        if (!first(c))
            continue;
        if (visit(*c))
            return;
        for (auto p = c->Parents.rbegin(); p != c->Parents.rend(); ++p)
            if (*p >= 0 && size_t(*p) < model.Classes.size())
                stack.push_back(&model.Classes[size_t(*p)]);
    }
}

} // namespace

const TUmlClass* TUmlModel::FindClass(const std::string& name) const
{
    for (const auto& c : Classes)
        if (c.Name == name)
            return &c;
    return nullptr;
}

std::vector<const TUmlOperation*> TUmlModel::AllOperations(const TUmlClass& cls) const
{
    std::vector<const TUmlOperation*> out;
    std::unordered_set<std::string_view> names;
    forEachAncestry(*this, cls, [&](const TUmlClass& c) {
        for (const auto& op : c.Operations)
            if (names.insert(op.Name).second)
                out.push_back(&op);
        return false;
    });
    return out;
}

std::vector<const TUmlAttribute*> TUmlModel::AllAttributes(const TUmlClass& cls) const
{
    std::vector<const TUmlAttribute*> out;
    std::unordered_set<std::string_view> names;
    forEachAncestry(*this, cls, [&](const TUmlClass& c) {
        for (const auto& a : c.Attributes)
            if (names.insert(a.Name).second)
                out.push_back(&a);
        return false;
    });
    return out;
}

const TUmlOperation* TUmlModel::FindOperation(const TUmlClass& cls, const std::string& name) const
{
    // The first of that name in the order AllOperations lists them.
    const TUmlOperation* found = nullptr;
    forEachAncestry(*this, cls, [&](const TUmlClass& c) {
        for (const auto& op : c.Operations)
            if (op.Name == name) {
                found = &op;
                return true;
            }
        return false;
    });
    return found;
}

TUmlModel ReadUmlModel(const std::string& xmiText, const std::string& fileName)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xmiText.data(), xmiText.size(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed)
        throw EXmiError("Malformed XML in " + fileName + ", line " + std::to_string(lineOf(xmiText, parsed.offset)) +
                        ": " + parsed.description());
    pugi::xml_node root = doc.document_element();
    if (!root || !is(root, "XMI"))
        throw EXmiError("Not an XMI file: " + fileName + " (the root element is " +
                        (root ? std::string(root.name()) : std::string("missing")) + ")");
    TUmlModel model;
    for (pugi::xml_node n : root.child("XMI.content").children())
        if (is(n, "Model")) {
            model.Name = attr(n, "name");
            break;
        }
    TReader(model, fileName).Read(root);
    return model;
}

TUmlModel ReadUmlModelFile(const std::filesystem::path& path)
{
    std::string text;
    try {
        text = ReadFileText(path);
    } catch (const std::exception& e) {
        throw EXmiError(e.what());
    }
    return ReadUmlModel(text, path.string());
}

} // namespace telvo::uml
