#include "model/network_check.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/value_text.h"

#include <algorithm>
#include <set>

namespace telvo {

const std::string& DataTypeText(const TFBDataMember& port)
{
    static const std::string none;
    return port.Decl ? port.Decl->Type : none;
}

bool DataClassesDiffer(const TFBDataMember& source, const TFBDataMember& dest)
{
    // A port without a declaration has no type to compare.
    if (!source.Decl || !dest.Decl)
        return false;
    return DataTypeClass(source.Decl->Type) != DataTypeClass(dest.Decl->Type);
}

std::vector<TNetworkFinding> CheckNetworks(const TFB_Manager& m)
{
    std::vector<TNetworkFinding> findings;
    // The event inputs some event or IPP connection reaches, project-wide.
    std::set<const TFBEvent*> reached;
    for (const auto& c : m.EventConns)
        reached.insert(c->DestPort);
    for (const auto& c : m.IPPFBConns)
        if (c->EventPort)
            reached.insert(c->EventPort);

    for (const auto& d : m.Diagrams) {
        std::set<const TFB_InstanceRef*> drawn;
        std::vector<const TFB_InstanceRef*> order;
        for (const auto& inst : d->DrawnInstances)
            if (inst->Ref && drawn.insert(inst->Ref).second)
                order.push_back(inst->Ref);
        using K = TNetworkFinding::TKind;
        for (const auto& c : m.DataConns) {
            if (!c->SourcePort || !c->DestPort || !c->SourceInstance || !c->DestInstance)
                continue;
            if (!drawn.count(c->SourceInstance) && !drawn.count(c->DestInstance))
                continue;
            if (!DataClassesDiffer(*c->SourcePort, *c->DestPort))
                continue;
            findings.push_back({K::TypeMismatch, d->Name,
                                "mismatch\t" + d->Name + "\t" + c->SourceInstance->Name + "." +
                                    c->SourcePort->Name() + "\t" + DataTypeText(*c->SourcePort) + "\t" +
                                    c->DestInstance->Name + "." + c->DestPort->Name() + "\t" +
                                    DataTypeText(*c->DestPort)});
        }
        for (const TFB_InstanceRef* r : order) {
            if (!r->Type || r->Type->States.empty() || r->EventInputs.empty())
                continue;
            if (std::any_of(r->EventInputs.begin(), r->EventInputs.end(),
                            [&](const auto& e) { return reached.count(e.get()) != 0; }))
                continue;
            for (const auto& e : r->EventInputs)
                findings.push_back(
                    {K::UnconnectedEventInput, d->Name, "unconnected\t" + d->Name + "\t" + r->Name + "." + e->Name()});
        }
        for (const auto& f : m.FailedInstances)
            if (f.Diagram == d->Name)
                findings.push_back({K::TypeNotLoaded, d->Name, "notloaded\t" + d->Name + "\t" + f.Name + "\t" + f.Type});
    }
    return findings;
}

} // namespace telvo
