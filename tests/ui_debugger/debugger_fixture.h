#pragma once
// The visual debugger docked in an FB diagram editor on a diagram of the
// example plant (copied to a temporary folder), on the offscreen platform,
// with a recording user channel. The selection dialog is answered by the
// test through the dialog's own widgets.

#include "model/user_interface.h"
#include "support/test_support.h"
#include "ui/debugger/select_events_dialog.h"
#include "ui/debugger/visual_debugger.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "workbench/workbench.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace telvo::test {

// What the user chooses in "Select Events/Data".
struct TSelection {
    std::vector<std::string> Events;                           // INST.EVENT
    std::vector<std::pair<std::string, std::string>> Values;   // INST.PORT, text
    std::vector<std::string> Monitors;                         // INST.PORT
};

class DebuggerFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the example plant and an editor on its diagram of that name;
    // presses "Execute".
    void OpenPlantDiagram(const std::string& name);
    // An editor on a diagram read from a network file of the test's own.
    void OpenNetwork(const std::filesystem::path& fbn);
    void Execute();
    // The dialog answered with this selection and OK (or Cancel).
    void Answer(const TSelection& selection, bool ok = true);
    void StartWith(const TSelection& selection);
    // One Step, waited for until the run is at rest again.
    void Step();
    // Runs the event loop until the simulation is at rest and every host
    // operation has been applied.
    bool Settle(int ms = 10000);

    TempDir Home;
    TempDir Work;
    TRecordingUserInterface UI;
    std::unique_ptr<TWorkbench> Workbench;
    std::string ProjectFile;
    TFB_Diagram* Diagram = nullptr;
    std::unique_ptr<TfrmDesignFBDiagram> Editor;
    TfrmVisualDebugger* Debugger = nullptr;
};

// "INST.PORT" split at the first ".".
std::pair<std::string, std::string> SplitPort(const std::string& path);

} // namespace telvo::test
