#pragma once
// A system layer window on a fresh workbench whose program folder holds the
// built pictures and library, shown on the offscreen platform, with a
// recording user channel. Mouse helpers press, drag and release on the
// drawing area as a user does.

#include "support/test_support.h"
#include "systemlayer/system_layer.h"
#include "ui/systemlayer/sl_editor.h"
#include "workbench/workbench.h"

#include <gtest/gtest.h>

#include <QPoint>

#include <memory>
#include <string>

namespace telvo::test {

class SlFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new project in the temporary folder, then the window.
    void NewProject(const std::string& title = "Drawn");
    // A copy of the example plant, opened, then the window.
    void OpenExample();
    void OpenWindow();

    TSystemLayerManager& Layer() const { return Workbench->SystemLayer(); }

    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton);
    void Move(QPoint at);
    void Release(QPoint at);
    void Click(QPoint at);
    void DoubleClick(QPoint at);
    void Drag(QPoint from, QPoint to);
    // A palette button, then the new object dragged from where it appears
    // so that its top-left corner lands at (left, top) (zoom 1, no scroll).
    TslObject* AddAt(const char* button, int left, int top);
    // The view point at the middle of an object, and of an IPP marker.
    QPoint Centre(const TslObject& object) const;
    QPoint Marker(const TslIPPRef& ipp) const;
    // Connects two ends in connection mode by clicking them.
    TSystemConnection* ConnectByMouse(QPoint a, QPoint b);

    // The project document as the project file would be written now.
    std::string ProjectText() const;

    TempDir Home;
    TempDir Work;
    TRecordingUserInterface UI;
    std::unique_ptr<TWorkbench> Workbench;
    std::unique_ptr<TfrmSystemLayer> Window;
    std::string ProjectFile;
};

} // namespace telvo::test
