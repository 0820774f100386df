#pragma once
// Small projects for the command set tests: a workbench on a program folder
// of its own with two block types in its library, devices with IPPs and
// process-interface diagrams on disk, and a merged network read from a file
// the way a project opens it.

#include "deploy/command_set.h"
#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/user_interface.h"
#include "support/test_support.h"
#include "systemlayer/system_layer.h"
#include "workbench/workbench.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace telvo::test {

class DeployTest : public ::testing::Test {
protected:
    // BLK: event input REQ, event output CNF, data inputs N and M (INT),
    // data output Q (INT).
    // IO, the interface block: event input WR, event output RD, data input
    // OUT (INT), data output IN (INT).
    DeployTest();

    TFB_Manager& M() const { return Bench->FBManager(); }
    TSystemLayerManager& Layer() const { return Bench->SystemLayer(); }

    TslIECDevice* AddIec(const std::string& name, const std::string& address = "127.0.0.1",
                         const std::string& port = "61499");
    TslOPCDevice* AddOpc(const std::string& name);
    // An IPP of a device: data or event, sensor or actuator.
    TslIPPRef* AddIpp(TslDevice* device, const std::string& name, bool event, bool actuator);
    // The device's process-interface diagram: an FBNetwork body written to
    // <device>.dfb and named by the device.
    void WriteInterface(TslDevice* device, const std::string& body);
    // Reads merged.fbn (or another file name) into a new project diagram.
    TFB_Diagram* LoadMerged(const std::string& body, const std::string& fileName = "merged.fbn");
    void Assign(TslDevice* device, const std::string& instance);

    // The device's command set from a fresh run.
    std::vector<std::string> CommandSet(const TslDevice* device, TCommandForm form);

    TempDir Home;
    TRecordingUserInterface UI;
    std::unique_ptr<TWorkbench> Bench;
};

// An FBNetwork document around the given elements.
std::string Network(const std::string& body, bool internalDevice = false);

// XML command lines, one text per command: its action, type and STRING
// values ("SUBSCRIBE DATA IEC_B::R::Q IEC_A::IA::OUT"). The command set's
// start and end lines are left out.
std::vector<std::string> Commands(const std::vector<std::string>& lines);
// The same without the commands that create instances.
std::vector<std::string> Joins(const std::vector<std::string>& lines);

} // namespace telvo::test
