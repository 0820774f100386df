// The system layer window under the main window: opened from the menu, the
// tool bar and the project tree's system layer branch, one at a time, and
// the tree and the log following its edits.

#include "support/test_support.h"

#include <gtest/gtest.h>
#include <QMessageBox>
#include "ui/mainwindow/main_form.h"
#include "ui/mainwindow/project_browser.h"
#include "ui/systemlayer/sl_editor.h"
#include "ui/ui_test_support.h"

#include <QAction>
#include <QMdiSubWindow>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QApplication>
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

// The main window's Edit › Undo and Redo, and the window's own keys, act on
// the system layer window's edits as on a diagram's.
TEST_F(SystemLayerUnderMainWindow, EditMenuAndKeysUndoAndRedoTheWindowsEdits)
{
    TModalAnswers answers;
    Form->Action("mnuSystemLayerEdit")->trigger();
    TfrmSystemLayer* window = Window();
    ASSERT_NE(window, nullptr);
    auto& objects = Workbench->SystemLayer().Objects;
    const size_t before = objects.size();
    QTest::mouseClick(window->Button(QStringLiteral("btnIECDevice")), Qt::LeftButton);
    ASSERT_EQ(objects.size(), before + 1);

    Form->UpdateMenuItems();
    ASSERT_TRUE(Form->Action("mnuUndo")->isEnabled());
    Form->Action("mnuUndo")->trigger();
    EXPECT_EQ(objects.size(), before);
    ASSERT_TRUE(Form->Action("mnuRedo")->isEnabled());
    EXPECT_FALSE(Form->Action("mnuUndo")->isEnabled());
    Form->Action("mnuRedo")->trigger();
    EXPECT_EQ(objects.size(), before + 1);

    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    QWidget* box = window->PaintBox();
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 5, box->height() - 5));
    ASSERT_EQ(QApplication::focusWidget(), box);
    struct TKey {
        const char* Name;
        Qt::Key Key;
        Qt::KeyboardModifiers Modifiers;
        size_t Objects;
    };
    const TKey keys[] = {
        {"Ctrl+Z", Qt::Key_Z, Qt::ControlModifier, before},
        {"Ctrl+Y", Qt::Key_Y, Qt::ControlModifier, before + 1},
        {"Ctrl+Z again", Qt::Key_Z, Qt::ControlModifier, before},
        {"Ctrl+Shift+Z", Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, before + 1},
    };
    for (const TKey& k : keys) {
        QTest::keyClick(box, k.Key, k.Modifiers);
        EXPECT_EQ(objects.size(), k.Objects) << k.Name;
    }
    EXPECT_TRUE(answers.Texts.isEmpty()) << answers.Texts.join("\n").toStdString();
}

} // namespace
} // namespace telvo::test
