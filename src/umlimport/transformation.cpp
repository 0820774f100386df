#include "umlimport/transformation.h"

#include "model/file_util.h"
#include "model/user_interface.h"

#include <algorithm>
#include <functional>

namespace telvo::uml {

namespace {

constexpr const char* FunctionBlock = "FunctionBlock";
constexpr const char* ProcessTerminator = "IndustrialProcessTerminator";

constexpr const char* FbProperties[] = {"Stereotype", "BaseType",     "EventInputs",       "EventOutputs",
                                        "DataInputs", "DataOutputs",  "WITHs",             "InternalVars",
                                        "Imported Instances"};
constexpr const char* OtherProperties[] = {"Stereotype",     "EventIPPInputs", "EventIPPOutputs",
                                           "DataIPPInputs",  "DataIPPOutputs", "Imported Instances"};

const TUmlClass* classOf(const TUmlModel& model, const TUmlObject& object)
{
    return object.Class >= 0 ? &model.Classes[size_t(object.Class)] : nullptr;
}

bool isFb(const TUmlClass& cls) { return cls.Stereotype == FunctionBlock; }

// An object is named by its own name; an unnamed one after its class.
std::string instanceName(const TUmlObject& object, const TUmlClass& cls)
{
    if (!object.Name.empty())
        return object.Name;
    return (isFb(cls) ? "fb" : "ipt") + cls.Name;
}

} // namespace

std::string DataEntry(const std::string& name, const std::string& type, const std::string& initialValue)
{
    return name + ":" + type + "=" + initialValue;
}

namespace {

// Below this many children a look along the list is as quick as an index.
constexpr size_t IndexedChildren = 16;

} // namespace

TTransNode* TTransNode::Add(const std::string& text, TTick tick)
{
    Children.push_back(std::make_unique<TTransNode>(text, tick, this));
    TTransNode* added = Children.back().get();
    if (byText_)
        byText_->emplace(added->Text, added);
    return added;
}

TTransNode* TTransNode::Child(const std::string& text) const
{
    if (!byText_ && Children.size() > IndexedChildren) {
        byText_ = std::make_unique<std::unordered_map<std::string_view, TTransNode*>>();
        for (const auto& c : Children)
            byText_->emplace(c->Text, c.get());
    }
    if (byText_) {
        auto it = byText_->find(text);
        return it == byText_->end() ? nullptr : it->second;
    }
    for (const auto& c : Children)
        if (c->Text == text)
            return c.get();
    return nullptr;
}

TTransNode* TTransNode::AddEntry(const std::string& text)
{
    if (TTransNode* existing = Child(text))
        return existing;
    return Add(text);
}

void TTransformation::log(const std::string& text) { ui_.Log(text); }

TTransNode* TTransformation::Root(const std::string& text) const
{
    for (const auto& r : Roots)
        if (r->Text == text)
            return r.get();
    return nullptr;
}

bool TTransformation::IsClassRoot(const TTransNode* node) const
{
    if (!node)
        return false;
    auto it = classRootByName_.find(node->Text);
    return it != classRootByName_.end() && it->second == node;
}

// Class roots are looked up among the class roots only: a class named like
// an entry elsewhere in the tree ("start", an instance name) still gets its
// own root.
TTransNode* TTransformation::fbClassRoot(const std::string& name)
{
    if (auto it = classRootByName_.find(name); it != classRootByName_.end())
        return it->second;
    Roots.push_back(std::make_unique<TTransNode>(name, TTick::None, nullptr));
    TTransNode* root = Roots.back().get();
    for (const char* p : FbProperties)
        root->Add(p);
    classRootByName_.emplace(name, root);
    return root;
}

TTransNode* TTransformation::otherClassRoot(const std::string& name)
{
    if (auto it = classRootByName_.find(name); it != classRootByName_.end())
        return it->second;
    Roots.push_back(std::make_unique<TTransNode>(name, TTick::None, nullptr));
    TTransNode* root = Roots.back().get();
    for (const char* p : OtherProperties)
        root->Add(p);
    classRootByName_.emplace(name, root);
    return root;
}

TTransNode* TTransformation::property(const std::string& cls, const std::string& prop) const
{
    auto it = classRootByName_.find(cls);
    return it == classRootByName_.end() ? nullptr : it->second->Child(prop);
}

void TTransformation::add(const std::string& cls, const std::string& prop, const std::string& entry)
{
    // A class already rooted as the other kind has no such property: the
    // entry has nowhere to go.
    if (TTransNode* p = property(cls, prop))
        p->AddEntry(entry);
}

void TTransformation::connection(const char* group, const std::string& entry)
{
    if (TTransNode* connections = Root("Connections"))
        if (TTransNode* g = connections->Child(group))
            g->AddEntry(entry);
}

int TTransformation::ReceiverNumber(const std::string& instance)
{
    auto [it, fresh] = receiverNumbers_.try_emplace(UpperCase(instance), int(receivers_.size()) + 1);
    if (fresh)
        receivers_.push_back(instance);
    return it->second;
}

void TTransformation::Parse(const TUmlModel& model)
{
    Messages.clear();
    log("Parsing ROSE project started!");
    Roots.clear();
    classRootByName_.clear();
    Roots.push_back(std::make_unique<TTransNode>("Diagrams", TTick::Ticked, nullptr));
    Roots.push_back(std::make_unique<TTransNode>("Connections", TTick::Ticked, nullptr));
    for (const char* g : ConnectionGroups)
        Roots.back()->Add(g);
    for (const std::string& p : model.Problems)
        message(p);

    message("Parsing Sequence/Interaction Diagrams");
    for (const TUmlDiagram& d : model.SequenceDiagrams)
        parseInteraction(model, d);

    message("Parsing Class Diagrams");
    for (const TUmlDiagram& d : model.ClassDiagrams) {
        log(d.Name);
        message("Parsing Class diagram: " + d.Name);
        for (int c : d.Classes)
            parseClass(model, model.Classes[size_t(c)]);
    }
    propagateTicks();
    log("Parsing ROSE project finished!");
}

void TTransformation::parseClass(const TUmlModel& model, const TUmlClass& cls)
{
    const std::string& c = cls.Name;
    log("Parsing Class :" + c);
    message("Parsing Class :" + c);
    const bool fb = isFb(cls);
    if (fb) {
        fbClassRoot(c);
        add(c, "BaseType", "NEWBASICFB");
    } else {
        otherClassRoot(c);
    }
    add(c, "Stereotype", cls.Stereotype);

    for (const TUmlOperation* op : model.AllOperations(cls)) {
        log("Get operation: " + op->Name);
        message("Get operation: " + op->Name);
        if (fb) {
            add(c, "EventInputs", op->Name);
            for (const TUmlParameter& p : op->Parameters) {
                const std::string e = DataEntry(p.Name, p.Type, p.InitialValue);
                message("Get parameter: " + e);
                add(c, "DataInputs", e);
                add(c, "WITHs", op->Name + " [WITH] " + e);
            }
        } else if (op->Name.find("get") != std::string::npos) {
            add(c, "EventIPPInputs", op->Name);
        } else if (op->Name.find("set") != std::string::npos) {
            add(c, "EventIPPOutputs", op->Name);
        }
    }
    if (!fb)
        return;
    for (const TUmlAttribute* a : model.AllAttributes(cls)) {
        const std::string e = DataEntry(a->Name, a->Type, a->InitialValue);
        message("Get attribute: " + e);
        message("Export Control Value: " + std::to_string(a->ExportControl));
        message("Containment Value: " + std::to_string(a->Containment));
        if (a->ExportControl != 0) {
            add(c, "InternalVars", e);
        } else if (a->Containment == 1) {
            add(c, "DataOutputs", e);
        } else if (a->Containment == 2) {
            add(c, "DataInputs", e);
        } else {
            add(c, "DataOutputs", e);
            add(c, "DataInputs", e);
        }
    }
}

void TTransformation::parseInteraction(const TUmlModel& model, const TUmlDiagram& diagram)
{
    const std::string& d = diagram.Name;
    log(d);
    message("Parsing Sequence: " + d);
    TTransNode* node = Root("Diagrams")->Add(d);
    TTransNode* fbInstances = node->Add("Function Block Instances");
    TTransNode* ipps = node->Add("IPPs");
    log("---------------------");

    for (const TUmlObject& object : diagram.Objects) {
        const TUmlClass* cls = classOf(model, object);
        const std::string k = cls ? cls->Name : object.ClassName;
        log(object.Name + " :" + k);
        message("Parsing object: " + object.Name + " :" + k);
        if (!cls) {
            message("The object " + object.Name + " on " + d + " has no class: it is not imported");
            continue;
        }
        const std::string i = instanceName(object, *cls);
        if (isFb(*cls)) {
            fbClassRoot(k);
            add(k, "BaseType", "NEWBASICFB");
            add(k, "Imported Instances", i);
            fbInstances->AddEntry(i + ":" + k);
        } else {
            otherClassRoot(k);
            add(k, "Imported Instances", i);
        }
        add(k, "Stereotype", cls->Stereotype);
    }
    log("---------------------");

    for (const TUmlMessage& m : diagram.Messages) {
        const TUmlObject& sender = diagram.Objects[size_t(m.Sender)];
        const TUmlObject& receiver = diagram.Objects[size_t(m.Receiver)];
        const TUmlClass* ks = classOf(model, sender);
        const TUmlClass* kr = classOf(model, receiver);
        if (!ks || !kr) {
            const TUmlObject& without = ks ? receiver : sender;
            message("The message " + m.Name + " on " + d + " joins the object " + without.Name + " :" +
                    without.ClassName + ", which has no class: it is not imported");
            continue;
        }
        const std::string is = instanceName(sender, *ks);
        const std::string ir = instanceName(receiver, *kr);
        log(m.Name);
        if (m.Name.empty())
            ui_.ShowMessage("Message with No name found on " + d + " between " + ks->Name + " -> " + kr->Name +
                            ". Please correct it and re-apply the transformation");
        message("Parsing message: " + m.Name + " (" + ks->Name + " -> " + kr->Name + ")");
        const size_t paren = m.Name.find('(');
        const std::string ev = paren == std::string::npos ? std::string() : m.Name.substr(0, paren);

        const bool senderFb = isFb(*ks);
        const bool senderIpt = !senderFb && ks->Stereotype == ProcessTerminator;
        const bool receiverFb = isFb(*kr);
        const bool receiverIpt = !receiverFb && kr->Stereotype == ProcessTerminator;
        std::string oe;
        if (senderFb && (receiverFb || receiverIpt))
            oe = ev + std::to_string(ReceiverNumber(ir));

        if (receiverIpt) {
            add(kr->Name, "EventIPPOutputs", ev);
            ipps->AddEntry(ir + "." + ev);
            if (senderFb) {
                add(ks->Name, "EventOutputs", oe);
                connection("FB<->IPPEvent", is + "." + oe + ":IPPconnection->" + ir + "." + ev + ":IPPconnection");
            }
        } else if (receiverFb) {
            add(kr->Name, "EventInputs", ev);
            if (senderFb) {
                add(ks->Name, "EventOutputs", oe);
                connection("Event", is + "." + oe + "->" + ir + "." + ev);
            } else if (senderIpt) {
                add(ks->Name, "EventIPPInputs", ev);
                ipps->AddEntry(is + "." + ev);
                connection("IPPEvent<->FB", is + "." + ev + ":IPPconnection->" + ir + "." + ev + ":IPPconnection");
            }
        }

        const TUmlOperation* op = model.FindOperation(*kr, ev);
        if (!op)
            continue;
        for (const TUmlParameter& p : op->Parameters) {
            const std::string e = DataEntry(p.Name, p.Type, p.InitialValue);
            if (receiverIpt) {
                add(kr->Name, "DataIPPOutputs", e);
                ipps->AddEntry(ir + "." + e);
                if (senderFb) {
                    add(ks->Name, "DataOutputs", e);
                    add(ks->Name, "WITHs", oe + " [WITH] " + e);
                    connection("FB<->IPPData", is + "." + e + "->" + ir + "." + e);
                }
            } else if (receiverFb) {
                add(kr->Name, "DataInputs", e);
                add(kr->Name, "WITHs", ev + " [WITH] " + e);
                if (senderFb) {
                    add(ks->Name, "DataOutputs", e);
                    add(ks->Name, "WITHs", oe + " [WITH] " + e);
                    connection("Data", is + "." + e + "->" + ir + "." + e);
                } else if (senderIpt) {
                    add(ks->Name, "DataIPPInputs", e);
                    ipps->AddEntry(is + "." + e);
                    connection("IPPData<->FB", is + "." + e + "->" + ir + "." + e);
                }
            }
            log(ks->Name + " -> " + kr->Name);
        }
    }
    log("-----------------------------------------------------");
}

void TTransformation::propagateTicks()
{
    std::function<void(TTransNode&, bool)> walk = [&](TTransNode& n, bool under) {
        if (under)
            n.Tick = TTick::Ticked;
        else if (n.Tick == TTick::None)
            n.Tick = TTick::Unticked;
        const bool ticked = n.Tick == TTick::Ticked;
        for (auto& c : n.Children)
            walk(*c, ticked);
    };
    for (auto& r : Roots)
        walk(*r, false);
}

void TTransformation::SetTick(TTransNode* node, bool ticked)
{
    if (!node)
        return;
    std::function<void(TTransNode&)> down = [&](TTransNode& n) {
        n.Tick = ticked ? TTick::Ticked : TTick::Unticked;
        for (auto& c : n.Children)
            down(*c);
    };
    down(*node);
    for (TTransNode* p = node->Parent; p; p = p->Parent) {
        bool all = true, none = true;
        for (const auto& c : p->Children) {
            all = all && c->Tick == TTick::Ticked;
            none = none && c->Tick == TTick::Unticked;
        }
        p->Tick = all ? TTick::Ticked : none ? TTick::Unticked : TTick::Mixed;
    }
}

void TTransformation::TickAll()
{
    for (auto& r : Roots)
        SetTick(r.get(), true);
}

std::string TTransformation::Dump() const
{
    std::string out;
    std::function<void(const TTransNode&, int)> walk = [&](const TTransNode& n, int depth) {
        out.append(size_t(depth) * 2, ' ');
        out += n.Tick == TTick::Ticked ? "[x] " : n.Tick == TTick::Mixed ? "[-] " : "[ ] ";
        out += n.Text;
        out += '\n';
        for (const auto& c : n.Children)
            walk(*c, depth + 1);
    };
    for (const auto& r : Roots)
        walk(*r, 0);
    return out;
}

} // namespace telvo::uml
