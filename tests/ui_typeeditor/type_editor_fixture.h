#pragma once
// An FB type editor on a fresh program folder holding a copy of the shipped
// library, shown on the offscreen platform, with a recording user channel.

#include "support/test_support.h"
#include "ui/typeeditor/type_editor.h"
#include "workbench/workbench.h"
#include "model/user_interface.h"

#include <gtest/gtest.h>

#include <QString>

#include <memory>
#include <string>

namespace telvo::test {

// Types text into a widget; a line break is a press of Return.
void TypeText(QWidget* widget, const QString& text);

class TypeEditorFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Types text into a grid cell through the grid's own editor.
    void TypeIntoCell(TfrmDesignFBType::TGrid grid, int row, int column, const QString& text);
    // Runs `telvo --home <home> ARGS`.
    ProcessResult Telvo(const std::vector<std::string>& args) const;

    TempDir Home;
    TRecordingUserInterface UI;
    std::unique_ptr<TWorkbench> Workbench;
    std::unique_ptr<TfrmDesignFBType> Editor;
};

} // namespace telvo::test
