// The system layer window under the main window: opened from the menu, the
// tool bar and the project tree's system layer branch, one at a time, and
// the tree and the log following its edits.

#include "support/test_support.h"

#include <gtest/gtest.h>
#include <QMessageBox>
#include "ui/main_form.h"
#include "ui/project_browser.h"
#include "ui/systemlayer/sl_editor.h"
#include "ui/ui_test_support.h"

#include <QAction>
#include <QMdiSubWindow>
#include <QTreeWidget>
#include <QUndoStack>

#include <filesystem>

namespace fs = std::filesystem;

namespace telvo::test {
namespace {

class SystemLayerUnderMainWindow : public ::testing::Test, public TMainFormFixture {
protected:
    void SetUp() override
    {
        fs::copy(BuiltProgramDir() / "library", Home.Path() / "library",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::copy(BuiltProgramDir() / "images", Home.Path() / "images", fs::copy_options::recursive);
        fs::copy(SourceDir() / "examples" / "plant", Work.Path() / "plant", fs::copy_options::recursive);
        Start();
        Form->Projects().OpenProject((Work.Path() / "plant" / "plant.crf").string());
        ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning() && Form->Project().IsOpen(); }, 20000));
    }
    TfrmSystemLayer* Window() const { return Form->findChild<TfrmSystemLayer*>(); }
    QTreeWidgetItem* Node(const QString& text) const
    {
        const auto found = Form->ProjectBrowser()->Tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.front();
    }
    TempDir Work;
};

TEST_F(SystemLayerUnderMainWindow, OpenedFromMenuToolBarAndTreeOneAtATime)
{
    TModalAnswers answers;
    for (const char* opener : {"mnuSystemLayerEdit", "tbSystemLayer", "tree"}) {
        if (std::string(opener) == "tree")
            Form->ProjectBrowser()->EditNode(Node(QStringLiteral("Objects")));
        else {
            ASSERT_TRUE(Form->Action(opener)->isEnabled()) << opener;
            Form->Action(opener)->trigger();
        }
        ASSERT_TRUE(Form->SystemLayerWindowOpen()) << opener;
        TfrmSystemLayer* window = Window();
        ASSERT_NE(window, nullptr) << opener;
        EXPECT_EQ(window->SubWindow()->windowTitle(), QStringLiteral("System Layer Editor"));
        EXPECT_EQ(Form->ActiveEditor(), window);
        EXPECT_TRUE(Form->Action("mnuAppendMenu")->isEnabled());
        // Asking again brings no second window.
        Form->Action("mnuSystemLayerEdit")->trigger();
        Form->ProjectBrowser()->EditNode(Node(QStringLiteral("System Layer")));
        EXPECT_EQ(Form->findChildren<TfrmSystemLayer*>().size(), 1) << opener;
        window->SubWindow()->close();
        ASSERT_TRUE(WaitUntil([&] { return !Form->SystemLayerWindowOpen(); })) << opener;
        EXPECT_EQ(LogTexts(*Form).back(), QStringLiteral("Close System layer window"));
    }
    EXPECT_TRUE(answers.Texts.isEmpty()) << answers.Texts.join("\n").toStdString();
}

TEST_F(SystemLayerUnderMainWindow, TreeAndLogFollowTheEdits)
{
    TModalAnswers answers;
    Form->Action("mnuSystemLayerEdit")->trigger();
    TfrmSystemLayer* window = Window();
    ASSERT_NE(window, nullptr);
    TslObject* device = window->AddFromPalette(slIECDevice);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->Name, "IEC_Device2");
    EXPECT_TRUE(LogTexts(*Form).contains(QStringLiteral("System layer added object :IEC_Device3")));
    EXPECT_NE(Node(QStringLiteral("IEC_Device2")), nullptr);
    // Undo takes it out of the tree again.
    window->UndoStack()->undo();
    EXPECT_EQ(Node(QStringLiteral("IEC_Device2")), nullptr);
    window->UndoStack()->redo();
    EXPECT_NE(Node(QStringLiteral("IEC_Device2")), nullptr);
    // Closing the project closes the window first.
    answers.Queue(QMessageBox::No);
    Form->Projects().CloseProject();
    ASSERT_TRUE(WaitUntil([&] { return !Form->Project().IsOpen(); }));
    EXPECT_FALSE(Form->SystemLayerWindowOpen());
    EXPECT_EQ(Window(), nullptr);
}

} // namespace
} // namespace telvo::test
