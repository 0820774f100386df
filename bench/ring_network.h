#pragma once
// The ring the simulation benchmarks drive: n instances, each taking an
// event in every step (one event taken, one transition tested and fired,
// one algorithm run, one event produced for the next instance in the ring).

#include "model/fb_connections.h"
#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/fb_type.h"

#include <memory>
#include <string>
#include <vector>

namespace telvo::bench {

// REQ in START or RUN leads to RUN, whose algorithm runs and produces CNF.
// The event-less re-evaluation tests REQ once more (false) and rests. A
// counting chart's script text carries its count, new in every step.
inline std::unique_ptr<TFB_Type> RingType(bool counting)
{
    auto t = std::make_unique<TFB_Type>();
    t->Name = counting ? "RING_COUNT" : "RING";
    t->AddEventInput("REQ", "EVENT", "");
    t->AddEventOutput("CNF", "EVENT", "");
    t->AddDataInput("IN1", "INT", "", "3", "");
    t->AddDataOutput("OUT", "INT", "", "", "");
    t->AddInternalVar("CNT", "INT", "", "", "0");
    t->AddState("START", "");
    t->AddState("RUN", "")->AddAction("Alg", "CNF");
    t->AddTransition("START", "RUN", "REQ");
    t->AddTransition("RUN", "RUN", "REQ");
    TFBAlgorithm* a = t->AddAlgorithm("Alg", "");
    a->Language = "DelphiScript";
    a->OtherText = counting ? std::vector<std::string>{"CNT := CNT + 1;", "DO_OUT := IN1 + CNT;"}
                            : std::vector<std::string>{"DO_OUT := IN1 * 2;"};
    return t;
}

// The ring of n instances in a new diagram of the manager; each CNF goes to
// the next instance's REQ. Returns the records in ring order.
inline std::vector<TFB_InstanceRef*> BuildRing(TFB_Manager& m, TFB_Diagram*& d, int n, bool counting)
{
    m.Types.push_back(RingType(counting));
    const std::string typeName = m.Types.back()->Name;
    d = m.CreateDiagram("ring", 1.0);
    std::vector<TFB_InstanceRef*> refs;
    for (int i = 0; i < n; ++i) {
        TFB_Instance* inst = d->AddInstance("F" + std::to_string(i), typeName, true, nullptr);
        // 40 to a row, so that a window shows a part of the ring.
        inst->PlaceAt(60 + (i % 40) * 300, 60 + (i / 40) * 260);
        refs.push_back(inst->Ref);
        // Counts apart: no two instances ever generate the same text.
        refs.back()->InternalVars[0]->IntValue = i * 1000000;
    }
    for (int i = 0; i < n; ++i) {
        auto c = std::make_unique<TFB_EventAssocRef>();
        c->SourceInstance = refs[i];
        c->SourcePort = refs[i]->FindEventOutput("CNF");
        c->DestInstance = refs[(i + 1) % n];
        c->DestPort = c->DestInstance->FindEventInput("REQ");
        m.AddEventConn(std::move(c));
    }
    d->RebuildLines();
    return refs;
}

} // namespace telvo::bench
