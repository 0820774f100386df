#include "persistence/composite_network.h"

#include "persistence/xml_tree.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/fb_type.h"
#include "model/value_text.h"

#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace telvo {

namespace {

struct TEnd {
    bool Dotted = false;
    std::string Instance; // before the first "."; the whole text when there is none
    std::string Port;
};

TEnd splitEnd(std::string_view text)
{
    size_t dot = text.find('.');
    if (dot == std::string_view::npos)
        return {false, std::string(text), std::string()};
    return {true, std::string(text.substr(0, dot)), std::string(text.substr(dot + 1))};
}

class TCompositeReader {
public:
    TCompositeReader(TFB_Type& type, TFB_Manager& manager, std::string fileName)
        : type_(type), net_(*type.Network), m_(manager), where_(fileName.empty() ? type.Name : fileName)
    {
    }

    void Read(pugi::xml_node fbNetwork)
    {
        {
            TFB_Manager::TNeededBy neededBy(m_, "FB type " + type_.Name +
                                                    (where_ == type_.Name ? std::string() : " in " + where_));
            for (pugi::xml_node fb : fbNetwork.children("FB"))
                readInstance(fb);
        }
        for (pugi::xml_node c : fbNetwork.child("EventConnections").children("Connection"))
            readEvent(c.attribute("Source").value(), c.attribute("Destination").value());
        for (pugi::xml_node c : fbNetwork.child("DataConnections").children("Connection"))
            readData(c.attribute("Source").value(), c.attribute("Destination").value());
    }

private:
    void readInstance(pugi::xml_node fb)
    {
        const std::string name = fb.attribute("Name").value();
        TFB_Instance* drawn = nullptr;
        try {
            drawn = net_.AddInstance(name, fb.attribute("Type").value(), true, nullptr);
        } catch (const std::exception& e) {
            m_.ShowMessage(where_ + ": inner FB instance " + name + " cannot be created: " + e.what());
        }
        if (!drawn) {
            failed_.insert(name);
            return;
        }
        // Kept, so that a rewrite does not move every inner instance.
        int32_t x = drawn->BaseX, y = drawn->BaseY;
        pugi::xml_attribute ax = fb.attribute("x"), ay = fb.attribute("y");
        FileToGrid(ax ? ax.value() : nullptr, ay ? ay.value() : nullptr, x, y);
        drawn->PlaceAt(x, y);
    }

    void skip(const char* kind, const std::string& source, const std::string& dest, const std::string& reason) const
    {
        m_.ShowMessage(where_ + ": inner " + std::string(kind) + " connection from " + source + " to " + dest +
                       " is not created: " + reason);
    }

    // The inner port an end names, or none after telling why.
    template <typename Find>
    auto port(const TEnd& end, Find find, const char* portKind, const char* kind, const std::string& source,
              const std::string& dest) -> decltype(find(std::declval<TFB_InstanceRef&>(), std::string()))
    {
        TFB_InstanceRef* r = net_.FindRecord(end.Instance);
        if (!r) {
            skip(kind, source, dest, "there is no inner FB instance " + end.Instance);
            return nullptr;
        }
        auto* p = find(*r, end.Port);
        if (!p)
            skip(kind, source, dest, "inner FB instance " + end.Instance + " has no " + portKind + " " + end.Port);
        return p;
    }

    void readEvent(const std::string& source, const std::string& dest)
    {
        TEnd s = splitEnd(source), d = splitEnd(dest);
        auto out = [](TFB_InstanceRef& r, const std::string& n) { return r.FindEventOutput(n); };
        auto in = [](TFB_InstanceRef& r, const std::string& n) { return r.FindEventInput(n); };
        if (s.Dotted && !d.Dotted) {
            TFBEvent* inner = port(s, out, "event output", "event", source, dest);
            TFB_EventOutput* iface = type_.FindEventOutput(dest);
            if (inner && !iface)
                skip("event", source, dest, "the type has no event output " + dest);
            if (inner && iface)
                net_.AddCompositeEventConn(iface, inner);
        } else if (!s.Dotted && d.Dotted) {
            TFBEvent* inner = port(d, in, "event input", "event", source, dest);
            TFB_EventInput* iface = type_.FindEventInput(source);
            if (inner && !iface)
                skip("event", source, dest, "the type has no event input " + source);
            if (inner && iface)
                net_.AddCompositeEventConn(iface, inner);
        } else if (s.Dotted && d.Dotted) {
            TFBEvent* o = port(s, out, "event output", "event", source, dest);
            TFBEvent* i = o ? port(d, in, "event input", "event", source, dest) : nullptr;
            if (o && i)
                net_.AddInnerEventConn(o, i, type_.InnerEventConns);
        }
    }

    void readData(const std::string& source, const std::string& dest)
    {
        TEnd s = splitEnd(source), d = splitEnd(dest);
        auto out = [](TFB_InstanceRef& r, const std::string& n) { return r.FindDataOutput(n); };
        auto in = [](TFB_InstanceRef& r, const std::string& n) { return r.FindDataInput(n); };
        if (s.Dotted && !d.Dotted) {
            TFBDataMember* inner = port(s, out, "data output", "data", source, dest);
            if (!inner)
                return;
            if (TFB_DataOutput* iface = type_.FindDataOutput(dest))
                net_.AddCompositeDataConn(iface, inner);
            else
                inner->ValueText = dest;
        } else if (!s.Dotted && d.Dotted) {
            TFBDataMember* inner = port(d, in, "data input", "data", source, dest);
            if (!inner)
                return;
            if (TFB_DataInput* iface = type_.FindDataInput(source))
                net_.AddCompositeDataConn(iface, inner);
            else
                inner->ValueText = source;
        } else if (s.Dotted && d.Dotted) {
            const bool sourceIs = net_.FindRecord(s.Instance) != nullptr;
            const bool destIs = net_.FindRecord(d.Instance) != nullptr;
            if (sourceIs && destIs) {
                TFBDataMember* o = port(s, out, "data output", "data", source, dest);
                TFBDataMember* i = o ? port(d, in, "data input", "data", source, dest) : nullptr;
                if (o && i)
                    net_.AddInnerDataConn(o, i, type_.InnerDataConns);
            } else if (destIs && !failed_.count(s.Instance)) {
                // A constant with a "." in it: a real number.
                if (TFBDataMember* i = port(d, in, "data input", "data", source, dest))
                    i->ValueText = source;
            } else if (sourceIs && !failed_.count(d.Instance)) {
                if (TFBDataMember* o = port(s, out, "data output", "data", source, dest))
                    o->ValueText = dest;
            } else {
                skip("data", source, dest,
                     "there is no inner FB instance " + (destIs || sourceIs ? (destIs ? s : d).Instance : s.Instance));
            }
        }
    }

    TFB_Type& type_;
    TFB_Diagram& net_;
    TFB_Manager& m_;
    std::string where_;
    std::unordered_set<std::string> failed_;
};

void setAttr(pugi::xml_node node, const char* name, const std::string& value)
{
    pugi::xml_attribute a = node.attribute(name);
    if (!a)
        a = node.append_attribute(name);
    a.set_value(value.c_str());
}

// Copies from a base element what the model does not write: attributes the
// new element lacks, and every child.
void carryOver(pugi::xml_node to, pugi::xml_node from)
{
    if (!from)
        return;
    for (pugi::xml_attribute a : from.attributes())
        if (!to.attribute(a.name()))
            to.append_copy(a);
    for (pugi::xml_node c : from.children())
        to.append_copy(c);
}

class TCompositeWriter {
public:
    TCompositeWriter(pugi::xml_node fbNetwork, bool clear) : net_(fbNetwork)
    {
        if (!clear)
            return;
        for (pugi::xml_node fb : net_.children("FB"))
            baseFbs_.push_back({fb, false});
        for (const char* list : {"EventConnections", "DataConnections"})
            for (pugi::xml_node c : net_.child(list).children("Connection"))
                baseConns_.push_back({c, false});
    }

    void Write(const TFB_Diagram& network)
    {
        for (const auto& drawn : network.DrawnInstances)
            writeInstance(*drawn);
        for (const auto& line : network.EventLines) {
            const TFB_EventAssocRef* r = line->Ref;
            if (r && r->SourceInstance && r->DestInstance && r->SourcePort && r->DestPort)
                connection("EventConnections", r->SourceInstance->Name + "." + r->SourcePort->Name(),
                           r->DestInstance->Name + "." + r->DestPort->Name());
        }
        for (const auto& line : network.DataLines) {
            const TFB_DataAssocRef* r = line->Ref;
            if (r && r->SourceInstance && r->DestInstance && r->SourcePort && r->DestPort)
                connection("DataConnections", r->SourceInstance->Name + "." + r->SourcePort->Name(),
                           r->DestInstance->Name + "." + r->DestPort->Name());
        }
        for (const TBase& b : baseFbs_)
            RemoveNode(b.Node);
        for (const TBase& b : baseConns_)
            RemoveNode(b.Node);
    }

private:
    struct TBase {
        pugi::xml_node Node;
        bool Used;
    };

    // The first unused base element of that name whose attribute `key`
    // (or whose Source and Destination) match.
    static pugi::xml_node take(std::vector<TBase>& bases, const char* name, const char* key, const std::string& value,
                               const std::string* dest = nullptr)
    {
        for (TBase& b : bases)
            if (!b.Used && std::strcmp(b.Node.name(), name) == 0 && b.Node.attribute(key).value() == value &&
                (!dest || b.Node.attribute("Destination").value() == *dest)) {
                b.Used = true;
                return b.Node;
            }
        return {};
    }

    // FB elements stand before the connection lists, where other tools look
    // for them.
    pugi::xml_node newFb()
    {
        if (!baseFbs_.empty())
            return net_.insert_child_before("FB", baseFbs_.front().Node);
        if (lastFb_)
            return net_.insert_child_after("FB", lastFb_);
        for (pugi::xml_node c = net_.first_child(); c; c = c.next_sibling())
            if (c.type() == pugi::node_element && std::strcmp(c.name(), "FB") != 0)
                return net_.insert_child_before("FB", c);
        return net_.append_child("FB");
    }

    pugi::xml_node list(const char* name)
    {
        pugi::xml_node l = net_.child(name);
        return l ? l : net_.append_child(name);
    }

    void connection(const char* listName, const std::string& source, const std::string& dest)
    {
        pugi::xml_node c = list(listName).append_child("Connection");
        setAttr(c, "Source", source);
        setAttr(c, "Destination", dest);
        carryOver(c, take(baseConns_, "Connection", "Source", source, &dest));
    }

    void writeInstance(const TFB_Instance& drawn)
    {
        const TFB_InstanceRef* r = drawn.Ref;
        if (!r)
            return;
        pugi::xml_node fb = newFb();
        lastFb_ = fb;
        setAttr(fb, "Name", r->Name);
        setAttr(fb, "Type", r->Type ? r->Type->Name : std::string());
        setAttr(fb, "x", GridToFileText(drawn.BaseX));
        setAttr(fb, "y", GridToFileText(drawn.BaseY));
        carryOver(fb, take(baseFbs_, "FB", "Name", r->Name));
        const std::string prefix = r->Name + ".";
        for (const auto& p : r->EventInputs)
            if (p->InterfaceLink)
                connection("EventConnections", p->InterfaceLink->Name, prefix + p->Name());
        for (const auto& p : r->EventOutputs)
            if (p->InterfaceLink)
                connection("EventConnections", prefix + p->Name(), p->InterfaceLink->Name);
        for (const auto& p : r->DataInputs)
            if (p->InterfaceLink)
                connection("DataConnections", p->InterfaceLink->Name, prefix + p->Name());
        for (const auto& p : r->DataOutputs)
            if (p->InterfaceLink)
                connection("DataConnections", prefix + p->Name(), p->InterfaceLink->Name);
        // An inner instance is made with its initial values applied; only a
        // text that differs is a constant of the network. Written anyway, the
        // initial value would be a second source for a port the interface
        // already feeds.
        for (const auto& p : r->DataInputs)
            if (!p->ValueText.empty() && !(p->Decl && p->ValueText == p->Decl->InitialValue))
                connection("DataConnections", p->ValueText, prefix + p->Name());
        for (const auto& p : r->DataOutputs)
            if (!p->ValueText.empty())
                connection("DataConnections", prefix + p->Name(), p->ValueText);
    }

    pugi::xml_node net_;
    pugi::xml_node lastFb_;
    std::vector<TBase> baseFbs_;
    std::vector<TBase> baseConns_;
};

} // namespace

void ReadCompositeNetwork(pugi::xml_node fbNetwork, TFB_Type& target, TFB_Manager* manager,
                          const std::string& fileName)
{
    if (!target.Network)
        target.Network = TFB_Diagram::MakeInnerNetwork("FBComposite", &target, manager);
    target.Network->Manager = manager;
    target.Network->InnerNetwork = true;
    target.Network->CompositeType = &target;
    if (!manager)
        return; // the inner types cannot be found: the network stays empty
    TCompositeReader(target, *manager, fileName).Read(fbNetwork);
}

bool CompositeNetworkHasInstances(const TFB_Diagram& network) { return !network.DrawnInstances.empty(); }

void WriteCompositeNetwork(pugi::xml_node fbNetwork, const TFB_Diagram& network, bool clear)
{
    TCompositeWriter(fbNetwork, clear).Write(network);
}

} // namespace telvo
