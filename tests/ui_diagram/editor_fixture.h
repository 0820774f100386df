#pragma once
// An FB diagram editor on a diagram of a fresh workbench, shown on the
// offscreen platform, with a recording user channel and small types made in
// memory. Mouse helpers press, drag and release on the drawing as a user
// does.

#include "model/fb_manager.h"
#include "support/test_support.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "workbench/workbench.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace telvo::test {

// A type with ports EI1.., EO1.., DI1.., DO1.. (data of type INT).
std::unique_ptr<TFB_Type> MakeType(const std::string& name, int eventIn, int eventOut, int dataIn, int dataOut);

// The manager's records (type, device, comment, constants) and connection
// records by their end names, one per line: what an undo must put back.
std::string RecordsText(const TFB_Manager& m);

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A drawn instance of the type with its top-left corner at (x, y) at the
    // diagram's zoom.
    TFB_Instance* Place(const std::string& name, const std::string& type, int x, int y);
    TFBDnote* Note(int x, int y, const std::string& text = "note");
    TslIPPRef* Ipp(const std::string& name, bool actuator, bool eventIpp);

    void Press(int x, int y, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void Move(int x, int y); // with the left button held
    void Release(int x, int y);
    void Click(int x, int y);
    void DoubleClick(int x, int y);
    std::vector<std::string> Selected() const;
    std::string LastHint() const;
    int LastGesture() const;

    TempDir Home;
    TRecordingUserInterface UI;
    std::unique_ptr<TWorkbench> Workbench;
    TFB_Diagram* Diagram = nullptr;
    std::unique_ptr<TfrmDesignFBDiagram> Editor;
    TslIPT* Tank = nullptr;
};

} // namespace telvo::test
