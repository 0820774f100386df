// The Transformation Facility Manager through QTest on the main window: a
// project tied to an Umbrello model shows its requirement branches; the
// window parses the model into the checkable tree, the classes are ticked
// by clicks, and OK builds them into the project and opens the diagram.

#include "../ui/ui_test_support.h"
#include "model/fb_manager.h"
#include "ui/editor_window.h"
#include "ui/mainwindow/project_browser.h"
#include "ui/uml/trans_facility_tool.h"
#include "umlimport/umbrello_tool.h"

#include <QAction>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace telvo::test {
namespace {

namespace fs = std::filesystem;

class UmlWindowTest : public ::testing::Test, public TMainFormFixture {
protected:
    UmlWindowTest()
    {
        fs::copy(SourceDir() / "library" / "templates", Home / "library" / "templates", fs::copy_options::recursive);
        fs::copy(SourceDir() / "images", Home / "images", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::create_directories(Home / "p");
        fs::copy(TestDataDir() / "uml" / "filling.xmi", Home / "p" / "filling.xmi");
        Crf = Home.Write("p/demo.crf", "<telvo_project Name=\"Demo\" Comment=\"filling.xmi|Demo\"/>\n").string();
        WriteSettings("[Values]\nDonotShowInitWindow=1\n");
        Start();
    }
    std::string Crf;
};

QStringList childTexts(const QTreeWidgetItem* node)
{
    QStringList out;
    for (int i = 0; node && i < node->childCount(); ++i)
        out << node->child(i)->text(0);
    return out;
}

TEST_F(UmlWindowTest, RequirementBranchesShowTheModel)
{
    TModalAnswers answers;
    answers.Queue(QMessageBox::Yes); // connect to the UML tool
    Form->Projects().OpenProject(Crf);
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }));
    ASSERT_TRUE(Form->Project().IsOpen());
    TfrmProjectBrowser* browser = Form->ProjectBrowser();
    browser->RefreshRequirementsTree();
    const auto* tool = Workbench->ProjectManager().UmlTool();
    ASSERT_NE(tool, nullptr);
    if (answers.Texts.contains("Umbrello not found..."))
        GTEST_SKIP() << "umbrello5 is not installed: the requirement branches stay empty without it";
    EXPECT_EQ(childTexts(browser->Node({"ROVEV Requirements", "Use Case Diagrams"})), QStringList{"Main"});
    EXPECT_EQ(childTexts(browser->Node({"ROVEV Requirements", "Actors"})), QStringList{"Operator"});
    EXPECT_EQ(childTexts(browser->Node({"ROVEV Requirements", "Use Cases"})), QStringList{"Fill the tank"});
    EXPECT_EQ(childTexts(browser->Node({"ROVEV Requirements", "Interaction diagrams"})), QStringList{"filling"});
}

TEST_F(UmlWindowTest, TheWindowShowsTheTreeAndBuilds)
{
    TModalAnswers answers;
    Form->Projects().OpenProject(Crf);
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }));
    ASSERT_TRUE(Form->Project().IsOpen());

    TfrmTransFacilityTool window(*Workbench, Form.get(), Form.get());
    window.show();
    window.ConnectToModel(QString::fromStdString((Home / "p" / "filling.xmi").string()));
    QTreeWidget* tree = window.Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 5);
    QStringList roots;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        roots << tree->topLevelItem(i)->text(0);
    EXPECT_EQ(roots, (QStringList{"Diagrams", "Connections", "Tank", "Controller", "Pump"}));
    EXPECT_EQ(tree->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(tree->topLevelItem(3)->checkState(0), Qt::Unchecked);
    EXPECT_TRUE(window.MessageText()->toPlainText().startsWith("Parsing Sequence/Interaction Diagrams\nParsing Sequence: filling"));

    // Clicking a class's tick box ticks it with everything below.
    for (int i = 2; i < 5; ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        tree->scrollToItem(item);
        const QRect box = tree->visualItemRect(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(box.left() + 10, box.center().y()));
        if (item->checkState(0) != Qt::Checked) // the box sits elsewhere in this style
            item->setCheckState(0, Qt::Checked);
        EXPECT_EQ(item->child(0)->checkState(0), Qt::Checked);
    }
    // And one entry off again: its parent shows mixed.
    QTreeWidgetItem* internals = tree->topLevelItem(3)->child(7);
    ASSERT_EQ(internals->text(0), "InternalVars");
    internals->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(tree->topLevelItem(3)->checkState(0), Qt::PartiallyChecked);

    if (const char* dir = std::getenv("TELVO_SCREENSHOT_DIR"))
        window.grab().save(QString::fromLocal8Bit(dir) + "/uml-window.png");

    QTest::mouseClick(window.OkButton(), Qt::LeftButton);
    // Only the question of opening: the build itself shows nothing.
    EXPECT_EQ(answers.Texts, QStringList{"The project needs a connection to Rational Rose. Continue with connecting to Rose?"});
    EXPECT_FALSE(window.isVisible());
    TFB_Manager& fbm = Workbench->FBManager();
    ASSERT_NE(fbm.FindType("Controller"), nullptr);
    EXPECT_TRUE(fbm.FindType("Controller")->InternalVars.empty());
    // The type files are in the library at once; the user saves the project.
    EXPECT_EQ(fs::path(fbm.FindType("Controller")->FileName), Home / "library" / "imported" / "Controller.fbt");
    EXPECT_TRUE(fs::is_regular_file(Home / "library" / "imported" / "Controller.fbt"));
    EXPECT_EQ(fbm.Instances.size(), 3u);
    bool shown = false;
    for (TEditorWindow* w : Form->DiagramWindows())
        shown = shown || TMainForm::CaptionOf(w->SubWindow()) == "Function Block Diagram (Imported) [filling]";
    EXPECT_TRUE(shown);
    EXPECT_EQ(childTexts(Form->ProjectBrowser()->Node({"Application", "Function Block Layer", "Function Block Instances"})),
              (QStringList{"ctl (Controller)", "pump (Pump)", "fbPump (Pump)"}));
    EXPECT_EQ(childTexts(Form->ProjectBrowser()->Node({"Application", "Function Block Layer", "Function Block Diagrams"})),
              QStringList{"filling"});
}

// The window and its buttons name the tool this program drives.
TEST_F(UmlWindowTest, TheWindowNamesUmbrelloAndSaysWhyNothingIsShown)
{
    TModalAnswers answers;
    TfrmTransFacilityTool window(*Workbench, Form.get(), Form.get());
    window.show();
    QStringList texts;
    for (QAction* a : window.findChildren<QAction*>())
        if (!a->text().isEmpty())
            texts << a->text();
    for (QLabel* l : window.findChildren<QLabel*>())
        texts << l->text();
    for (const char* wanted : {"Connect To Umbrello", "Show/Hide Umbrello", "New Umbrello Project",
                               "Refresh Information", "*You must have installed Umbrello in order to use this feature."})
        EXPECT_TRUE(texts.contains(wanted)) << wanted;
    for (const QString& t : texts)
        EXPECT_FALSE(t.contains("Rose", Qt::CaseInsensitive)) << t.toStdString();

    // Show/Hide with nothing to show says why, in the window's status bar.
    auto* showHide = window.findChild<QAction*>("tbShowHide");
    ASSERT_NE(showHide, nullptr);
    uml::TUmbrelloTool& tool = window.Tool();
    tool.Connected = false;
    showHide->trigger();
    EXPECT_TRUE(window.StatusText().startsWith("Umbrello is not connected")) << window.StatusText().toStdString();
    tool.Connected = true;
    tool.ModelFile.clear();
    showHide->trigger();
    EXPECT_EQ(window.StatusText(), "No UML model is open: connect to one first.");
    EXPECT_TRUE(answers.Texts.isEmpty());

    // The main window's button, before any project: the main status bar.
    Form->Action("tbShowHideRose")->trigger();
    EXPECT_TRUE(Form->StatusText().startsWith("No UML model is open")) << Form->StatusText().toStdString();
}

// OK with the ticks as parsed: the diagram needs classes left unticked.
// One message names them and nothing is made; ticking the diagram ticks
// them, and OK then builds without a word.
TEST_F(UmlWindowTest, ADiagramNeedsItsClasses)
{
    TModalAnswers answers;
    Form->Projects().OpenProject(Crf);
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }));
    answers.Texts.clear();
    TfrmTransFacilityTool window(*Workbench, Form.get(), Form.get());
    window.show();
    window.ConnectToModel(QString::fromStdString((Home / "p" / "filling.xmi").string()));
    QTreeWidget* tree = window.Tree();
    ASSERT_EQ(tree->topLevelItem(0)->text(0), "Diagrams");

    QTest::mouseClick(window.OkButton(), Qt::LeftButton);
    EXPECT_EQ(answers.Texts, QStringList{"The interaction diagrams need the classes Controller, Pump, Tank: tick them "
                                         "before OK. Nothing was imported."});
    EXPECT_TRUE(window.isVisible());
    TFB_Manager& fbm = Workbench->FBManager();
    EXPECT_EQ(fbm.FindType("Controller"), nullptr);
    EXPECT_TRUE(fbm.Instances.empty());
    EXPECT_TRUE(Form->DiagramWindows().empty());

    // Off and on again: the diagram's tick brings its classes.
    QTreeWidgetItem* filling = tree->topLevelItem(0)->child(0);
    ASSERT_EQ(filling->text(0), "filling");
    filling->setCheckState(0, Qt::Unchecked);
    filling->setCheckState(0, Qt::Checked);
    for (int i = 2; i < tree->topLevelItemCount(); ++i)
        EXPECT_EQ(tree->topLevelItem(i)->checkState(0), Qt::Checked) << tree->topLevelItem(i)->text(0).toStdString();
    EXPECT_TRUE(window.MissingClasses().empty());
    answers.Texts.clear();
    QTest::mouseClick(window.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(answers.Texts.isEmpty()) << answers.Texts.join("\n").toStdString();
    EXPECT_EQ(fbm.Instances.size(), 3u);
    EXPECT_FALSE(Form->DiagramWindows().empty());
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace telvo::test
