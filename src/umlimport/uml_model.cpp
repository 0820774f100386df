#include "umlimport/uml_model.h"

#include "model/file_util.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <functional>
#include <set>
#include <unordered_map>

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

class TReader {
public:
    TReader(TUmlModel& model, const std::string& fileName) : m_(model), file_(fileName) {}

    void Read(pugi::xml_node root)
    {
        indexIds(root);
        m_.Exporter = root.child("XMI.header").child("XMI.documentation").child_value("XMI.exporter");
        findRoot(root);
        readClasses(root);
        readGeneralizations(root);
        breakCycles();
        readActorsAndUseCases(root);
        readDiagrams(root);
        if (m_.Exporter.find("umbrello") == std::string::npos && !sawDiagrams_)
            problem("The model was not saved by Umbrello (" +
                    (m_.Exporter.empty() ? std::string("no exporter named") : "exporter " + m_.Exporter) +
                    "): it has no diagrams that can be read");
    }

private:
    void problem(const std::string& text) { m_.Problems.push_back(text); }

    void indexIds(pugi::xml_node root)
    {
        // Iterative walk: files may nest deeply.
        std::vector<pugi::xml_node> stack{root};
        while (!stack.empty()) {
            pugi::xml_node n = stack.back();
            stack.pop_back();
            if (n.type() != pugi::node_element)
                continue;
            if (pugi::xml_attribute id = n.attribute("xmi.id"); id && !isWidget(n))
                byId_.emplace(id.value(), n);
            for (pugi::xml_node c = n.last_child(); c; c = c.previous_sibling())
                stack.push_back(c);
        }
    }

    // Diagram widgets carry the id of the model element they show.
    static bool isWidget(pugi::xml_node n)
    {
        for (pugi::xml_node p = n.parent(); p; p = p.parent())
            if (std::strcmp(p.name(), "diagrams") == 0 || std::strcmp(p.name(), "listview") == 0)
                return true;
        return false;
    }

    pugi::xml_node byId(const std::string& id) const
    {
        auto it = byId_.find(id);
        return it == byId_.end() ? pugi::xml_node() : it->second;
    }

    void findRoot(pugi::xml_node root)
    {
        for (pugi::xpath_node n : root.select_nodes(".//*[@name='Logical View']"))
            if (is(n.node(), "Model") || is(n.node(), "Package")) {
                logicalView_ = n.node();
                break;
            }
        if (!logicalView_)
            for (pugi::xpath_node n : root.select_nodes(".//*"))
                if (is(n.node(), "Model")) {
                    logicalView_ = n.node();
                    break;
                }
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

    void readClasses(pugi::xml_node root)
    {
        for (pugi::xpath_node x : root.select_nodes(".//*[@xmi.id]")) {
            pugi::xml_node n = x.node();
            if (!is(n, "Class") || isWidget(n))
                continue;
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
            if (classIndex(cls.Name) >= 0) {
                problem("Two classes are named " + cls.Name + ": the second (" + cls.Id + ") is not used");
                classById_.emplace(cls.Id, -1);
                continue;
            }
            classById_.emplace(cls.Id, int(m_.Classes.size()));
            m_.Classes.push_back(std::move(cls));
        }
    }

    int classIndex(const std::string& name) const
    {
        for (size_t i = 0; i < m_.Classes.size(); ++i)
            if (m_.Classes[i].Name == name)
                return int(i);
        return -1;
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

    void readGeneralizations(pugi::xml_node root)
    {
        for (pugi::xpath_node x : root.select_nodes(".//*[@child and @parent]")) {
            pugi::xml_node n = x.node();
            if (!is(n, "Generalization") || isWidget(n))
                continue;
            const int child = classOfId(attr(n, "child"));
            const int parent = classOfId(attr(n, "parent"));
            if (child < 0 || parent < 0)
                continue; // generalisations between other classifiers
            auto& parents = m_.Classes[size_t(child)].Parents;
            if (std::find(parents.begin(), parents.end(), parent) == parents.end())
                parents.push_back(parent);
        }
    }

    // A generalisation that leads back to the class it starts from would
    // make every walk over inherited features endless: the edge closing the
    // cycle is dropped and named.
    void breakCycles()
    {
        enum { White, Grey, Black };
        std::vector<int> colour(m_.Classes.size(), White);
        std::function<void(int)> visit = [&](int c) {
            colour[size_t(c)] = Grey;
            auto& parents = m_.Classes[size_t(c)].Parents;
            for (size_t i = 0; i < parents.size();) {
                const int p = parents[i];
                if (colour[size_t(p)] == Grey) {
                    problem("The generalisation of " + m_.Classes[size_t(c)].Name + " from " +
                            m_.Classes[size_t(p)].Name + " closes a cycle: it is not followed");
                    parents.erase(parents.begin() + ptrdiff_t(i));
                    continue;
                }
                if (colour[size_t(p)] == White)
                    visit(p);
                ++i;
            }
            colour[size_t(c)] = Black;
        };
        for (size_t c = 0; c < m_.Classes.size(); ++c)
            if (colour[c] == White)
                visit(int(c));
    }

    void readActorsAndUseCases(pugi::xml_node root)
    {
        for (pugi::xpath_node x : root.select_nodes(".//*[@xmi.id and @name]")) {
            pugi::xml_node n = x.node();
            if (isWidget(n))
                continue;
            if (is(n, "Actor"))
                m_.Actors.push_back(attr(n, "name"));
            else if (is(n, "UseCase"))
                m_.UseCases.push_back(attr(n, "name"));
        }
    }

    // The category of a diagram: the Logical View itself (empty), a package
    // directly inside it (its name), or anything else (not read).
    bool categoryOf(pugi::xml_node diagram, std::string& category) const
    {
        pugi::xml_node owner;
        for (pugi::xml_node p = diagram.parent(); p; p = p.parent())
            if (is(p, "Model") || is(p, "Package")) {
                owner = p;
                break;
            }
        category.clear();
        // Older Umbrello files keep every diagram at the end of the document.
        if (!owner || owner == logicalView_)
            return true;
        for (pugi::xml_node p = owner.parent(); p; p = p.parent())
            if (is(p, "Model") || is(p, "Package")) {
                if (p != logicalView_)
                    return false;
                category = attr(owner, "name");
                return true;
            }
        return false;
    }

    void readDiagrams(pugi::xml_node root)
    {
        std::vector<TUmlDiagram> nested;
        for (pugi::xpath_node x : root.select_nodes("//diagram")) {
            pugi::xml_node d = x.node();
            if (std::strcmp(d.parent().name(), "diagrams") != 0)
                continue;
            sawDiagrams_ = true;
            TUmlDiagram diagram;
            diagram.Id = attr(d, "xmi.id");
            diagram.Name = attr(d, "name");
            diagram.Kind = std::atoi(d.attribute("type").value());
            std::string category;
            const bool usable = categoryOf(d, category);
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
            diagram.Objects.push_back(std::move(object));
        }
        struct TPlaced {
            double Y;
            TUmlMessage Message;
        };
        std::vector<TPlaced> placed;
        for (pugi::xml_node w : d.child("messages").children("messagewidget")) {
            TUmlMessage message;
            message.Sender = objectOf(diagram, attr(w, "widgetaid"));
            message.Receiver = objectOf(diagram, attr(w, "widgetbid"));
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

    static int objectOf(const TUmlDiagram& diagram, const std::string& localId)
    {
        if (localId.empty())
            return -1;
        for (size_t i = 0; i < diagram.Objects.size(); ++i)
            if (diagram.Objects[i].LocalId == localId)
                return int(i);
        return -1;
    }

    TUmlModel& m_;
    std::string file_;
    std::unordered_map<std::string, pugi::xml_node> byId_;
    std::unordered_map<std::string, int> classById_;
    pugi::xml_node logicalView_;
    bool sawDiagrams_ = false;
};

void collectOperations(const TUmlModel& model, const TUmlClass& cls, std::set<const TUmlClass*>& seen,
                       std::vector<const TUmlOperation*>& out)
{
    if (!seen.insert(&cls).second)
        return;
    for (const auto& op : cls.Operations)
        if (std::none_of(out.begin(), out.end(), [&](const TUmlOperation* o) { return o->Name == op.Name; }))
            out.push_back(&op);
    for (int p : cls.Parents)
        collectOperations(model, model.Classes[size_t(p)], seen, out);
}

void collectAttributes(const TUmlModel& model, const TUmlClass& cls, std::set<const TUmlClass*>& seen,
                       std::vector<const TUmlAttribute*>& out)
{
    if (!seen.insert(&cls).second)
        return;
    for (const auto& a : cls.Attributes)
        if (std::none_of(out.begin(), out.end(), [&](const TUmlAttribute* o) { return o->Name == a.Name; }))
            out.push_back(&a);
    for (int p : cls.Parents)
        collectAttributes(model, model.Classes[size_t(p)], seen, out);
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
    std::set<const TUmlClass*> seen;
    collectOperations(*this, cls, seen, out);
    return out;
}

std::vector<const TUmlAttribute*> TUmlModel::AllAttributes(const TUmlClass& cls) const
{
    std::vector<const TUmlAttribute*> out;
    std::set<const TUmlClass*> seen;
    collectAttributes(*this, cls, seen, out);
    return out;
}

const TUmlOperation* TUmlModel::FindOperation(const TUmlClass& cls, const std::string& name) const
{
    for (const TUmlOperation* op : AllOperations(cls))
        if (op->Name == name)
            return op;
    return nullptr;
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
