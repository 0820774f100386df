#pragma once
// A workbench on a program folder of its own: the shipped event blocks and a
// few small types of known shape in its library, and a system layer with an
// IPT and a device that carry IPPs.

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/user_interface.h"
#include "support/test_support.h"
#include "systemlayer/system_layer.h"
#include "workbench/workbench.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace telvo::test {

// COUNTER: event inputs INIT, REQ; event output CNF; data inputs N (INT,
// initial 5), S (STRING); data output Q (INT); internal variable C (INT, 3).
std::string CounterType(const std::string& name = "COUNTER");
// A COUNTER without CNF and Q, with a new event output EXTRA.
std::string ShrunkCounterType();
// PAIR: composite of X and Y (both COUNTER): REQ -> X.REQ, X.CNF -> Y.REQ,
// Y.CNF -> DONE; IN -> X.N, X.Q -> Y.N, Y.Q -> OUT; constant 7 on Y.S.
std::string PairType(const std::string& name = "PAIR", const std::string& innerType = "COUNTER");
// An FBNetwork document around the given elements.
std::string NetworkText(const std::string& body, const std::string& rootAttributes = "");

class NetworkTest : public ::testing::Test {
protected:
    NetworkTest();

    // A fresh workbench on the same program folder, as after reopening.
    void Reopen();
    TFB_Manager& M() const { return Bench->FBManager(); }
    TSystemLayerManager& Layer() const { return Bench->SystemLayer(); }
    TFB_Diagram* NewDiagram(const std::string& name = "D", double zoom = 1.0)
    {
        return M().CreateDiagram(name, zoom);
    }
    TFB_Instance* Add(TFB_Diagram* d, const std::string& name, const std::string& type = "COUNTER")
    {
        return d->AddInstance(name, type, false, nullptr);
    }
    TFB_EventAssocRef* ConnectEvents(TFB_InstanceRef* src, const std::string& out, TFB_InstanceRef* dst,
                                     const std::string& in);
    TFB_DataAssocRef* ConnectData(TFB_InstanceRef* src, const std::string& out, TFB_InstanceRef* dst,
                                  const std::string& in);
    // The boiler's IPP of that name (see MakeLayer) to a data input.
    TFB_IPPFBAssocsRef* ConnectIppData(const std::string& ipp, TFB_InstanceRef* dst, const std::string& in);
    // Loads a network text (written to a file of that name) into a new
    // diagram.
    TFB_Diagram* LoadText(const std::string& text, const std::string& fileName = "net.fbn", double zoom = 1.0);

    // The IPT "boiler1" with IPP_0 (data sensor) and IPP_1 (event actuator),
    // and the IEC device "IEC_Device0" with its own IPP "DIPP" (data sensor).
    void MakeLayer();

    TempDir Home;
    TRecordingUserInterface UI;
    std::unique_ptr<TWorkbench> Bench;
    TslIPT* Boiler = nullptr;
    TslIECDevice* Device = nullptr;
};

} // namespace telvo::test
