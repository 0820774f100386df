// The project commands behind the menus: new, open (on a worker, the window
// painting meanwhile), save, close; the recent-projects list; menu enabling
// with a project.

#include "model/fb_manager.h"
#include "model/project_manager.h"
#include "systemlayer/system_layer.h"
#include "ui/mainwindow/main_form.h"
#include "ui/mainwindow/new_project_dialog.h"
#include "ui/mainwindow/project_browser.h"
#include "ui/ui_test_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidgetItem>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

using namespace telvo;
using namespace telvo::test;
namespace fs = std::filesystem;

namespace {

class ProjectCommands : public ::testing::Test, public TMainFormFixture {
protected:
    void SetUp() override
    {
        WriteSettings("[Values]\nDonotShowInitWindow=1\n");
        Start();
    }

    // A project file with nothing in it but its title.
    std::string EmptyProject(const std::string& relative, const std::string& title) const
    {
        return Home.Write(relative, "<telvo_project Name=\"" + title + "\" Comment=\"|\"/>\n").string();
    }

    // Opens through the project commands and waits for the worker.
    void Open(const std::string& path)
    {
        Form->Projects().OpenProject(path);
        ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }));
    }

    std::vector<std::string> SettingsRecent() const
    {
        TSettings written;
        written.Load(Home / "settings.ini");
        std::vector<std::string> entries;
        for (const char* key : {"0", "1", "2", "3"})
            entries.push_back(written.GetString(key, "<missing>"));
        return entries;
    }

    QStringList RecentCaptions() const
    {
        QStringList captions;
        for (QAction* item : Form->RecentProjectActions())
            captions << item->text();
        return captions;
    }
};

} // namespace

TEST_F(ProjectCommands, OpeningRunsOnAWorkerAndShowsTheProjectWhenDone)
{
    const std::string path = EmptyProject("p/alpha.crf", "Alpha");
    Form->Projects().OpenProject(path);
    // The command returns at once; the window paints on while the file is read.
    EXPECT_TRUE(Form->ProjectWorkRunning());
    EXPECT_TRUE(Form->ProgressBar()->isVisible());
    EXPECT_FALSE(Form->Action("mnuOpenProject")->isEnabled());
    EXPECT_FALSE(Form->Action("mnuNewProject")->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }));

    EXPECT_FALSE(Form->ProgressBar()->isVisible());
    EXPECT_EQ(TMainForm::CaptionOf(Form.get()), QString::fromStdString("TELVO ZOZE [Alpha - " + path + "] "));
    ASSERT_NE(Form->ProjectBrowser()->RootNode(), nullptr);
    EXPECT_EQ(Form->ProjectBrowser()->RootNode()->text(0), QString("Alpha"));
    EXPECT_EQ(Form->ProjectBrowser()->HintText(), QString());
    EXPECT_TRUE(Form->Action("mnuOpenProject")->isEnabled());
    EXPECT_TRUE(LogTexts(*Form).contains(QString::fromStdString("Open file " + path)));
}

// The status bar shows the project's comment, not the file's attribute
// with the UML model's file and the bar in front of it.
TEST_F(ProjectCommands, TheStatusBarShowsTheProjectComment)
{
    const std::pair<const char*, const char*> cases[] = {
        {"|Write your FB Network Diagram comment...", "Write your FB Network Diagram comment..."},
        {"line.mdl|Bottles | and cans", "Bottles | and cans"},
        {"no bar at all", "no bar at all"},
        {"|", ""},
    };
    for (const auto& [attribute, shown] : cases) {
        const std::string path = Home.Write("p/c.crf", std::string("<telvo_project Name=\"C\" Comment=\"") + attribute +
                                                           "\"/>\n")
                                     .string();
        TModalAnswers answers; // no UML model to connect to; the open project is not saved
        Open(path);
        EXPECT_EQ(Form->ProjectBrowser()->HintText(), QString(shown)) << attribute;
    }
}

TEST_F(ProjectCommands, MenuEnablingWithAProject)
{
    Open(EmptyProject("p/alpha.crf", "Alpha"));
    ASSERT_TRUE(Form->Project().IsOpen());
    const std::pair<const char*, bool> cases[] = {
        {"mnuNewProject", true},     {"mnuOpenProject", true}, {"mnuCloseProject", true},
        {"mnuSaveProject", true},    {"mnuSaveProjectAs", true}, {"tbSave", true},
        {"mnuDeviceSave", false},    {"mnuDeviceSaveAs", false}, {"mnuCut", false},
        {"mnuAppendMenu", false},    {"mnuRemoveSelected", false}, {"mnuSaveType", false},
        {"mnuMinimizeAll", false},
    };
    for (const auto& [name, enabled] : cases)
        EXPECT_EQ(Form->Action(name)->isEnabled(), enabled) << name;

    // The system layer and deployment items wait for their windows too.
    Form->Factories().SystemLayerWindow = {};
    Form->Factories().DeploymentWindow = {};
    Form->UpdateMenuItems();
    EXPECT_FALSE(Form->Action("mnuSystemLayerEdit")->isEnabled());
    Form->Factories().SystemLayerWindow = [](TMainForm&) -> TEditorWindow* { return nullptr; };
    Form->Factories().DeploymentWindow = [](TMainForm&) {};
    Form->UpdateMenuItems();
    for (const char* name : {"mnuSystemLayerEdit", "tbSystemLayer", "mnuDistribute", "tbDistribute"})
        EXPECT_TRUE(Form->Action(name)->isEnabled()) << name;

    TModalAnswers answers;
    answers.Queue(QMessageBox::No);
    Form->Action("mnuCloseProject")->trigger();
    EXPECT_EQ(answers.Texts, QStringList{"Save changes to project: Alpha"});
    for (const char* name : {"mnuCloseProject", "mnuSaveProject", "mnuSaveProjectAs", "tbSave", "mnuDeviceSave",
                             "mnuSystemLayerEdit", "mnuDistribute"})
        EXPECT_FALSE(Form->Action(name)->isEnabled()) << name;
    EXPECT_EQ(Form->windowTitle(), TMainForm::NoProjectCaption());
    EXPECT_EQ(Form->ProjectBrowser()->RootNode(), nullptr);
    EXPECT_TRUE(LogTexts(*Form).contains("Close active project Alpha"));
}

// A window that cannot be made is a program error the user is told of,
// whichever menu item or tool-bar button asked for it: nothing escapes
// into the event loop.
TEST_F(ProjectCommands, AWindowThatCannotBeMadeIsReportedFromMenuAndToolBarAlike)
{
    Open(EmptyProject("p/alpha.crf", "Alpha"));
    auto& f = Form->Factories();
    f.DeploymentWindow = [](TMainForm&) { throw std::runtime_error("no deployment window"); };
    f.SystemLayerWindow = [](TMainForm&) -> TEditorWindow* { throw std::runtime_error("no system layer window"); };
    f.UmlImportWindow = [](TMainForm&) { throw std::runtime_error("no UML window"); };
    f.ToggleUmlTool = [](TMainForm&) { throw std::runtime_error("no UML tool"); };
    f.TypeEditor = [](TMainForm&, const QString&) -> TEditorWindow* { throw std::runtime_error("no type editor"); };
    Form->UpdateMenuItems();
    const std::pair<const char*, const char*> cases[] = {
        {"mnuDistribute", "no deployment window"},   {"tbDistribute", "no deployment window"},
        {"mnuSystemLayerEdit", "no system layer window"}, {"tbSystemLayer", "no system layer window"},
        {"tbTransformation", "no UML window"},       {"tbShowHideRose", "no UML tool"},
        {"tbNewFBType", "no type editor"},
    };
    for (const auto& [name, message] : cases) {
        SCOPED_TRACE(name);
        TModalAnswers answers;
        ASSERT_TRUE(Form->Action(name)->isEnabled());
        EXPECT_NO_THROW(Form->Action(name)->trigger());
        EXPECT_EQ(answers.Texts, QStringList{QString::fromUtf8(message)});
        EXPECT_TRUE(LogTexts(*Form).contains(QString::fromUtf8(message)));
    }
}

TEST_F(ProjectCommands, OpeningTheSameProjectTwiceKeepsItOnceAtTheTop)
{
    const std::string alpha = EmptyProject("p/alpha.crf", "Alpha");
    TModalAnswers answers; // "Save changes to project: Alpha": No
    Open(alpha);
    Open(alpha);
    EXPECT_EQ(SettingsRecent(), (std::vector<std::string>{alpha, "", "", ""}));
    EXPECT_EQ(RecentCaptions(), QStringList{"&" + QString::fromStdString(alpha)});
}

TEST_F(ProjectCommands, OpeningFiveProjectsKeepsTheLastFourMostRecentFirst)
{
    std::vector<std::string> paths;
    for (const char* name : {"one", "two", "three", "four", "five"})
        paths.push_back(EmptyProject(std::string("p/") + name + ".crf", name));
    TModalAnswers answers;
    for (const std::string& path : paths)
        Open(path);
    const std::vector<std::string> expected{paths[4], paths[3], paths[2], paths[1]};
    EXPECT_EQ(SettingsRecent(), expected);
    QStringList captions;
    for (const std::string& path : expected)
        captions << "&" + QString::fromStdString(path);
    EXPECT_EQ(RecentCaptions(), captions);

    // The items sit before "TELVO Start Center..." in the first menu.
    const QList<QAction*> items = Form->FirstMenu()->actions();
    EXPECT_LT(items.indexOf(Form->RecentProjectActions().last()), items.indexOf(Form->Action("mnuStartCenter")));
    EXPECT_GT(items.indexOf(Form->RecentProjectActions().first()), items.indexOf(Form->Action("mnuSaveProjectAs")));

    // Reopening one further down moves it to the top and leaves its old
    // place as it was.
    Open(paths[2]);
    EXPECT_EQ(SettingsRecent(), (std::vector<std::string>{paths[2], paths[4], paths[3], paths[2]}));
}

TEST_F(ProjectCommands, ARecentItemOpensItsPathEvenWithAnAmpersandInIt)
{
    const std::string odd = EmptyProject("R&D projects/line & cell.crf", "Cell");
    const std::string plain = EmptyProject("p/plain.crf", "Plain");
    TModalAnswers answers;
    Open(odd);
    Open(plain);
    ASSERT_EQ(Form->RecentProjectActions().size(), 2);
    QAction* item = Form->RecentProjectActions()[1];
    EXPECT_EQ(item->text(), "&" + QString::fromStdString(odd).replace("&", "&&"));
    item->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }));
    EXPECT_EQ(Form->Project().Name, "Cell");
    EXPECT_EQ(Form->Project().FileName, odd);
    EXPECT_EQ(SettingsRecent()[0], odd);
}

TEST_F(ProjectCommands, AProgramFolderWithoutAWritableSettingsFileStillOpensProjects)
{
    // settings.ini cannot be replaced when a folder stands in its place.
    fs::remove(Home / "settings.ini");
    fs::create_directory(Home / "settings.ini");
    const std::string alpha = EmptyProject("p/alpha.crf", "Alpha");
    TModalAnswers answers;
    Open(alpha);
    EXPECT_EQ(Form->Project().Name, "Alpha");
    EXPECT_TRUE(answers.Texts.isEmpty()) << answers.Texts.join("\n").toStdString();
    EXPECT_EQ(RecentCaptions(), QStringList{"&" + QString::fromStdString(alpha)});
    bool told = false;
    for (const QString& line : LogTexts(*Form))
        told = told || line.startsWith("The recent projects are not saved: ");
    EXPECT_TRUE(told);
}

TEST_F(ProjectCommands, ARecentProjectThatIsGoneFailsLikeAnyUnreadableProject)
{
    const std::string gone = EmptyProject("p/gone.crf", "Gone");
    TModalAnswers answers;
    Open(gone);
    fs::remove(gone);
    answers.Queue(QMessageBox::No); // save Gone before closing?
    Form->RecentProjectActions()[0]->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }));
    EXPECT_FALSE(Form->Project().IsOpen());
    EXPECT_EQ(Form->windowTitle(), TMainForm::NoProjectCaption());
    EXPECT_EQ(Form->ProjectBrowser()->RootNode(), nullptr);
    ASSERT_FALSE(answers.Texts.isEmpty());
    // The error box of the global error handler names the file.
    EXPECT_EQ(answers.Icons.last(), QMessageBox::Critical);
    EXPECT_TRUE(answers.Texts.last().contains(QString::fromStdString(gone))) << answers.Texts.last().toStdString();
    EXPECT_TRUE(Form->ProjectBrowser()->HintText().startsWith("Programm error occured: "));
}

TEST_F(ProjectCommands, NewProjectFromTheDialogIsWrittenAtOnce)
{
    TModalAnswers answers;
    answers.OnDialog = [&](QDialog* dialog) {
        auto* form = qobject_cast<TfrmNewProject*>(dialog);
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->windowTitle(), QString("New TELVO Project"));
        form->SetProjectFolder(QString::fromStdString((Home / "work").string()));
        form->TitleEdit()->setText("Bottling");
        form->TitleEdit()->textEdited("Bottling");
        form->OkButton()->click();
    };
    fs::create_directories(Home / "work");
    Form->Action("mnuNewProject")->trigger();
    const std::string file = (Home / "work" / "Bottling.crf").string();
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(Form->Project().Name, "Bottling");
    EXPECT_EQ(TMainForm::CaptionOf(Form.get()), QString::fromStdString("TELVO ZOZE [Bottling - " + file + "] "));
    EXPECT_EQ(Form->ProjectBrowser()->RootNode()->text(0), QString("Bottling"));
    EXPECT_TRUE(fs::is_directory(Home / "library" / "Bottling"));
    EXPECT_TRUE(Form->Action("mnuSaveProject")->isEnabled());

    // Save writes to the file it has, without a dialog.
    fs::remove(file);
    answers.OnDialog = [](QDialog* dialog) {
        ADD_FAILURE() << "no dialog expected";
        dialog->reject();
    };
    Form->Action("mnuSaveProject")->trigger();
    EXPECT_TRUE(fs::exists(file));
    EXPECT_TRUE(answers.Texts.isEmpty());
}

TEST_F(ProjectCommands, ANewProjectOverAnExistingFileAsksAndNoShowsTheDialogAgain)
{
    fs::create_directories(Home / "work");
    const std::string existing = EmptyProject("work/Taken.crf", "Old");
    int dialogs = 0;
    TModalAnswers answers;
    answers.Queue(QMessageBox::No);
    answers.OnDialog = [&](QDialog* dialog) {
        auto* form = qobject_cast<TfrmNewProject*>(dialog);
        ++dialogs;
        form->SetProjectFolder(QString::fromStdString((Home / "work").string()));
        form->TitleEdit()->setText("Taken");
        form->TitleEdit()->textEdited("Taken");
        if (dialogs == 1)
            form->OkButton()->click();
        else
            form->reject();
    };
    Form->Action("mnuNewProject")->trigger();
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(answers.Texts, QStringList{"File already exists. Overwrite?"});
    EXPECT_FALSE(Form->Project().IsOpen());
    EXPECT_NE(ReadFile(existing).find("Old"), std::string::npos) << "the file is left alone";
}

TEST_F(ProjectCommands, ClosingTheWindowAsksToSaveTheOpenProject)
{
    Open(EmptyProject("p/alpha.crf", "Alpha"));
    TModalAnswers answers;
    answers.Queue(QMessageBox::No);
    EXPECT_TRUE(Form->close());
    EXPECT_EQ(answers.Texts, QStringList{"Save changes to project: Alpha"});
    EXPECT_FALSE(Workbench->ProjectManager().IsOpen());
}

// Saving question when the project closes: whichever way the user leaves
// the box without choosing Yes or No, nothing is closed and nothing lost.
enum class Dismissal { CancelButton, EscapeKey, CloseButton };
enum class Closer { WindowClose, ExitItem, CloseProjectItem };

class CancelledClosing : public ProjectCommands,
                         public ::testing::WithParamInterface<std::tuple<Closer, Dismissal>> {};

TEST_P(CancelledClosing, KeepsTheWindowAndTheProject)
{
    const std::string path = EmptyProject("p/alpha.crf", "Alpha");
    Open(path);
    ASSERT_TRUE(Form->Project().IsOpen());
    Workbench->SystemLayer().AddObject("Unsaved", slSwitch);
    const std::string before = ReadFile(path);

    TModalAnswers answers;
    switch (std::get<1>(GetParam())) {
    case Dismissal::CancelButton:
        answers.Queue(QMessageBox::Cancel);
        break;
    case Dismissal::EscapeKey:
        answers.QueueEscapeKey();
        break;
    case Dismissal::CloseButton:
        answers.QueueCloseButton();
        break;
    }
    switch (std::get<0>(GetParam())) {
    case Closer::WindowClose:
        EXPECT_FALSE(Form->close());
        break;
    case Closer::ExitItem:
        Form->Action("mnuExit")->trigger();
        break;
    case Closer::CloseProjectItem:
        Form->Action("mnuCloseProject")->trigger();
        break;
    }
    EXPECT_EQ(answers.Texts, QStringList{"Save changes to project: Alpha"});
    EXPECT_TRUE(Form->isVisible());
    EXPECT_FALSE(Form->Closing());
    EXPECT_TRUE(Form->Project().IsOpen());
    EXPECT_NE(Workbench->SystemLayer().FindByName("Unsaved"), nullptr);
    EXPECT_EQ(ReadFile(path), before);
    ASSERT_NE(Form->ProjectBrowser()->RootNode(), nullptr);
    EXPECT_TRUE(Form->Action("mnuCloseProject")->isEnabled());

    // The window still closes once the user answers.
    answers.Queue(QMessageBox::No);
    EXPECT_TRUE(Form->close());
    EXPECT_FALSE(Workbench->ProjectManager().IsOpen());
}

std::string closingCaseName(const ::testing::TestParamInfo<std::tuple<Closer, Dismissal>>& info)
{
    static const char* const closers[] = {"WindowClose", "ExitItem", "CloseProjectItem"};
    static const char* const dismissals[] = {"CancelButton", "EscapeKey", "CloseButton"};
    return std::string(closers[int(std::get<0>(info.param))]) + "_" + dismissals[int(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    EveryWayOut, CancelledClosing,
    ::testing::Combine(::testing::Values(Closer::WindowClose, Closer::ExitItem, Closer::CloseProjectItem),
                       ::testing::Values(Dismissal::CancelButton, Dismissal::EscapeKey, Dismissal::CloseButton)),
    closingCaseName);

TEST_F(ProjectCommands, TheSavingQuestionOffersYesNoAndCancel)
{
    Open(EmptyProject("p/alpha.crf", "Alpha"));
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, [&] {
        WaitUntil([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; });
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        buttons = box->standardButtons();
        box->button(QMessageBox::Yes)->click();
    });
    Form->Action("mnuCloseProject")->trigger();
    EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_FALSE(Form->Project().IsOpen());
}

namespace {
// The workbench on the shipped library, as `make run` starts it.
class ExampleProject : public ::testing::Test, public TMainFormFixture {
protected:
    void SetUp() override
    {
        fs::copy(BuiltProgramDir() / "library", Home / "library",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        WriteSettings("[Values]\nDonotShowInitWindow=1\n");
        Start();
    }
    std::string Example() const { return (SourceDir() / "examples" / "plant" / "plant.crf").string(); }
    std::string InExample(const std::string& file) const
    {
        return (SourceDir() / "examples" / "plant" / file).string();
    }
};
} // namespace

TEST_F(ExampleProject, OpensWithoutComplaintAndShowsItsTreeNodeByNode)
{
    TModalAnswers answers;
    Form->Projects().OpenProject(Example());
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }, 20000));
    EXPECT_TRUE(answers.Texts.isEmpty()) << answers.Texts.join("\n").toStdString();
    EXPECT_EQ(TMainForm::CaptionOf(Form.get()), QString::fromStdString("TELVO ZOZE [Plant - " + Example() + "] "));

    const QStringList expected = {
        "Plant [8]",
        "  Application [9]",
        "    Industrial Process Parameters [10]",
        "      conveyer0.BottleIn [10]",
        "      conveyer0.Motor [10]",
        "      feeder1.Level [10]",
        "      feeder1.Valve [10]",
        "      HMI_SCADA2.Start [10]",
        "      HMI_SCADA2.Stop [10]",
        "      HMI_SCADA2.Batches [10]",
        "    Function Block Layer [0]",
        "      Function Block Diagrams [0]",
        "        Filling line [4]",
        "        Operator panel [4]",
        "        Merged network [4]",
        "      Function Block Instances [4]",
        "        bottle_split (E_SPLIT) [4]",
        "        motor (E_SR) [4]",
        "        station (FILL_STATION) [4]",
        "        bottles (E_CTU) [4]",
        "        start_split (E_SPLIT) [4]",
        "        stop_split (E_SPLIT) [4]",
        "        batch (FILL_CTRL) [4]",
    };
    const QStringList lines = Form->ProjectBrowser()->TreeLines();
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(lines.mid(0, expected.size()), expected);

    // The connection records, in the order the diagrams made them, and the
    // system layer in the order the reader groups it.
    const int connections = lines.indexOf("    Connections [7]");
    const int layer = lines.indexOf("  System Layer [1]");
    ASSERT_GT(connections, 0);
    ASSERT_GT(layer, connections);
    const QStringList connectionLines = lines.mid(connections, layer - connections);
    for (const char* line : {"      Event connections [7]", "        bottle_split.EO1 -> station.REQ [7]",
                             "        bottle_split.EO2 -> bottles.CU [7]", "        start_split.EO1 -> motor.S [7]",
                             "        stop_split.EO1 -> motor.R [7]", "      Data connections [7]",
                             "        motor.Q -> station.ENABLE [7]", "      FB to IPP connections [7]",
                             "        bottle_split.EI -> conveyer0.BottleIn [7]",
                             "        motor.Q -> conveyer0.Motor [7]", "        station.LEVEL -> feeder1.Level [7]",
                             "        station.VALVE -> feeder1.Valve [7]", "      IPP to IPP Connections [7]"})
        EXPECT_TRUE(connectionLines.contains(line)) << line << "\n" << connectionLines.join("\n").toStdString();

    const QStringList layerLines = lines.mid(layer);
    const QStringList objects = {
        "  System Layer [1]",
        "    Objects [6]",
        "      IEC_fieldbus0 [6]",
        "      IEC_fieldbus1 [6]",
        "      IEC_Device0 [6]",
        "        Internal Diagram: " + QString::fromStdString(InExample("line_controller.dfb")) + " [0]",
        "      OPC_Device0 [6]",
        "        Internal Diagram: " + QString::fromStdString(InExample("feeder_opc.dfb")) + " [0]",
        "      IEC_Device1 [6]",
        "        Internal Diagram: " + QString::fromStdString(InExample("hmi_controller.dfb")) + " [0]",
        "      computer0 [6]",
        "      network0 [6]",
        "      IUnit0 [6]",
        "      switch0 [6]",
        "      conveyer0 [6]",
        "        BottleIn [10]",
        "        Motor [10]",
        "      feeder1 [6]",
        "        Level [10]",
        "        Valve [10]",
        "      HMI_SCADA2 [6]",
        "        Start [10]",
        "        Stop [10]",
        "        Batches [10]",
        "    Connections [7]",
    };
    ASSERT_GE(layerLines.size(), objects.size());
    EXPECT_EQ(layerLines.mid(0, objects.size()), objects);
    EXPECT_EQ(layerLines.size() - objects.size(), qsizetype(Workbench->SystemLayer().Connections.size()));
    EXPECT_EQ(Form->ProjectBrowser()->Node({"ROVEV Requirements"}), nullptr) << "the example has no UML model";

    // The description box shows a diagram's comment; double-clicking opens
    // the diagram in a window captioned with its name.
    QTreeWidgetItem* line = Form->ProjectBrowser()->Node({"Application", "Function Block Layer",
                                                          "Function Block Diagrams", "Filling line"});
    Form->ProjectBrowser()->SelectNode(line);
    TFB_Diagram* diagram = Form->ProjectBrowser()->DiagramOf(line);
    ASSERT_NE(diagram, nullptr);
    EXPECT_EQ(Form->ProjectBrowser()->DescriptionBox()->toPlainText().toStdString(), diagram->Comment);
    ASSERT_TRUE(Form->Factories().DiagramWindow);
    Form->ProjectBrowser()->EditNode(line);
    ASSERT_EQ(Form->DiagramWindows().size(), 1u);
    EXPECT_EQ(Form->DiagramWindows()[0]->Diagram(), diagram);
    EXPECT_EQ(TMainForm::CaptionOf(Form->DiagramWindows()[0]->SubWindow()), QString("Filling line"));
    EXPECT_TRUE(LogTexts(*Form).contains("Open window from tree Filling line"));

    // An edit in the window marks the window and the project with Qt's "*".
    QWidget* editor = Form->DiagramWindows()[0]->SubWindow()->widget();
    EXPECT_FALSE(Form->isWindowModified());
    EXPECT_FALSE(editor->isWindowModified());
    Form->DiagramWindows()[0]->InsertInstance("E_SPLIT");
    EXPECT_TRUE(editor->isWindowModified());
    EXPECT_TRUE(Form->DiagramWindows()[0]->SubWindow()->isWindowModified());
    EXPECT_TRUE(Form->isWindowModified());
    answers.Queue(QMessageBox::No); // closing: do not save the example
}
