// The main window: start-up and shut-down, settings.ini, the start center,
// the log window, the hint channel, the global error handler and which
// commands are enabled.

#include "model/fb_type.h"
#include "support/test_support.h"
#include "systemlayer/system_layer.h"
#include "ui/mainwindow/log_window.h"
#include "ui/mainwindow/main_form.h"
#include "ui/mainwindow/project_browser.h"
#include "ui/mainwindow/start_center.h"
#include "ui/qt_user_interface.h"
#include "ui/systemlayer/sl_editor.h"
#include "ui/telvo_application.h"
#include "ui/typeeditor/type_editor.h"
#include "ui/ui_test_support.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QFileDialog>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace telvo;
using namespace telvo::test;
namespace fs = std::filesystem;

TEST(MainForm, StartsWithTheNoProjectCaptionAndClosesCleanly)
{
    test::TempDir home;
    TQtUserInterface ui;
    TWorkbench wb(home.Path(), ui);
    auto* form = new TMainForm(wb);
    form->setAttribute(Qt::WA_DeleteOnClose);
    bool destroyed = false;
    QObject::connect(form, &QObject::destroyed, [&] { destroyed = true; });
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    EXPECT_EQ(form->windowTitle(), QString("TELVO Engineering Support System "));
    EXPECT_TRUE(form->close());
    QTest::qWait(10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(destroyed);
}

class MainFormStartUp : public ::testing::Test, public TMainFormFixture {};

TEST_F(MainFormStartUp, FirstStartShowsTheStartCenterAndClosingItWritesTheDefaults)
{
    ASSERT_FALSE(fs::exists(Home / "settings.ini"));
    Start();
    ASSERT_TRUE(Form->StartUpDone());
    // The start center comes by its timer, not at once.
    EXPECT_TRUE(Form->StartCenterTimer()->isActive());
    EXPECT_EQ(Form->StartCenterTimer()->interval(), 100);
    EXPECT_EQ(Form->StartCenter(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Form->StartCenter() && Form->StartCenter()->isVisible(); }));
    TfrmStartCenter* center = Form->StartCenter();
    EXPECT_EQ(center->windowTitle(), QString("TELVO Start Center"));
    EXPECT_TRUE(center->isModal());
    EXPECT_EQ(center->StereotypesEdit()->text(), QString("-"));
    EXPECT_FALSE(center->DoNotShowCheck()->isChecked());
    EXPECT_FALSE(fs::exists(Home / "settings.ini")) << "nothing is written before the start center closes";

    center->Button("btnClose")->click();
    ASSERT_TRUE(WaitUntil([&] { return Form->StartCenter() == nullptr; }));
    ASSERT_TRUE(fs::exists(Home / "settings.ini"));
    TSettings written;
    ASSERT_TRUE(written.Load(Home / "settings.ini"));
    EXPECT_EQ(written.GetString("DonotShowInitWindow", "missing"), "0");
    EXPECT_EQ(written.GetString("RoseStereotypesPath", "missing"), "-");
    for (const char* key : {"0", "1", "2", "3"})
        EXPECT_EQ(written.GetString(key, "missing"), "") << "recent entry " << key;
}

TEST_F(MainFormStartUp, TheStartCenterSavesItsBoxAndStereotypesFileAndStaysAwayNextTime)
{
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Form->StartCenter() != nullptr; }));
    Form->StartCenter()->DoNotShowCheck()->setChecked(true);
    Form->StartCenter()->StereotypesEdit()->setText("/opt/uml/stereotypes.ini");
    Form->StartCenter()->Button("btnClose")->click();
    ASSERT_TRUE(WaitUntil([&] { return Form->StartCenter() == nullptr; }));
    EXPECT_EQ(Form->StereotypesPath, "/opt/uml/stereotypes.ini");

    // A second run reads what the first wrote: no start center.
    Form.reset();
    Workbench.reset();
    Start();
    EXPECT_EQ(Form->StereotypesPath, "/opt/uml/stereotypes.ini");
    EXPECT_FALSE(Form->StartCenterTimer()->isActive());
    QTest::qWait(200);
    EXPECT_EQ(Form->StartCenter(), nullptr);

    // The menu item brings it back all the same, by the same timer.
    Form->Action("mnuStartCenter")->trigger();
    EXPECT_TRUE(Form->StartCenterTimer()->isActive());
    ASSERT_TRUE(WaitUntil([&] { return Form->StartCenter() != nullptr; }));
    EXPECT_TRUE(Form->StartCenter()->DoNotShowCheck()->isChecked());
    Form->StartCenter()->Button("btnClose")->click();
}

TEST_F(MainFormStartUp, StartCenterButtonsCloseItAndRunTheirCommand)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    Form->StartCenterClick();
    ASSERT_TRUE(WaitUntil([&] { return Form->StartCenter() != nullptr; }));
    Form->StartCenter()->Button("btnWizardHelp")->click();
    ASSERT_TRUE(WaitUntil([&] { return Form->StartCenter() == nullptr; }));
    // The wizard greets in the project browser's status bar.
    EXPECT_TRUE(WaitUntil([&] { return Form->ProjectBrowser()->HintText().startsWith("Hello"); }))
        << Form->ProjectBrowser()->HintText().toStdString();
}

TEST_F(MainFormStartUp, IndexesTheLibraryIntoTheFBTypesMenu)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    ASSERT_EQ(Workbench->LibraryIndex.Folders.size(), 1u);
    EXPECT_EQ(Workbench->LibraryIndex.Folders[0].TypeNames,
              (std::vector<std::string>{"E_CTU", "E_DELAY", "E_SPLIT", "E_SWITCH"}));
    const QList<QAction*> groups = Form->FBTypesMenu()->actions();
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(groups[0]->text(), QString("events"));
    QStringList items;
    for (QAction* item : groups[0]->menu()->actions())
        items << item->text();
    EXPECT_EQ(items, QStringList({"E_CTU", "E_DELAY", "E_SPLIT", "E_SWITCH"}));
    EXPECT_FALSE(Form->ProgressBar()->isVisible());
    EXPECT_FALSE(Form->Indexing());

    // Picking a type loads it into the FB manager.
    ASSERT_EQ(Workbench->FBManager().FindType("E_SPLIT"), nullptr);
    groups[0]->menu()->actions()[2]->trigger();
    ASSERT_NE(Workbench->FBManager().FindType("E_SPLIT"), nullptr);
    EXPECT_EQ(Workbench->FBManager().FindType("E_SPLIT")->FileName,
              (Home / "library" / "events" / "E_SPLIT.fbt").string());
}

TEST_F(MainFormStartUp, LogWindowStampsEachLineAndOnlyMinimises)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    QMdiSubWindow* log = Form->LogSubWindow();
    EXPECT_EQ(log->windowTitle(), QString("Log"));
    EXPECT_TRUE(log->isMinimized());
    log->showNormal();

    Workbench->UI().Log("Preparing Project tree view");
    const QStringList lines = Form->LogWindow()->Text().split('\n');
    static const QRegularExpression stamped(
        R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] Preparing Project tree view$)");
    EXPECT_TRUE(stamped.match(lines.last()).hasMatch()) << lines.last().toStdString();

    EXPECT_FALSE(log->close());
    EXPECT_TRUE(log->isMinimized());
    EXPECT_TRUE(Form->MdiArea()->subWindowList().contains(log));
}

TEST_F(MainFormStartUp, LogLinesFromOtherThreadsArriveInOrder)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            Workbench->UI().Log("line " + std::to_string(i));
    });
    worker.join();
    ASSERT_TRUE(WaitUntil([&] { return LogTexts(*Form).contains("line 49"); }));
    const QStringList texts = LogTexts(*Form);
    const int first = texts.indexOf("line 0");
    ASSERT_GE(first, 0);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(texts.value(first + i), QString("line %1").arg(i));
}

TEST_F(MainFormStartUp, AnErrorEscapingACommandIsShownSpokenAndLogged)
{
    // A library file that is no XML: loading it raises the parser's error
    // out of the command.
    Home.Write("library/broken/BROKEN.fbt", "<FBType Name=\"BROKEN\"><unclosed>\n");
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    TModalAnswers answers;
    QAction* item = nullptr;
    for (QAction* group : Form->FBTypesMenu()->actions())
        if (group->text() == "broken")
            item = group->menu()->actions().value(0);
    ASSERT_NE(item, nullptr);
    item->trigger();

    ASSERT_EQ(answers.Texts.size(), 1);
    EXPECT_EQ(answers.Icons.value(0), QMessageBox::Critical);
    const QString message = answers.Texts[0];
    EXPECT_FALSE(message.isEmpty());
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectBrowser()->HintText().isEmpty(); }));
    EXPECT_EQ(Form->ProjectBrowser()->HintText(), "Programm error occured: " + message);
    EXPECT_TRUE(LogTexts(*Form).contains(message));
    // The workbench goes on.
    EXPECT_EQ(Workbench->FBManager().FindType("BROKEN"), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor ends with the failed command";

    // An error that escapes an event handler takes the same way: the
    // application object hands it to the handler the window installed.
    TTelvoApplication::ReportError("Access violation at address 0");
    ASSERT_EQ(answers.Texts.size(), 2);
    EXPECT_EQ(answers.Texts[1], QString("Access violation at address 0"));
    ASSERT_TRUE(WaitUntil([&] {
        return Form->ProjectBrowser()->HintText() == "Programm error occured: Access violation at address 0";
    }));
    EXPECT_TRUE(LogTexts(*Form).contains("Access violation at address 0"));
}

TEST_F(MainFormStartUp, HintsOfMenusAndButtonsGoToTheProjectBrowserStatusBar)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    QStatusTipEvent tip(Form->Action("tbTransformation")->statusTip());
    QApplication::sendEvent(Form.get(), &tip);
    EXPECT_EQ(Form->ProjectBrowser()->HintText(), QString("Import Information from Umbrello"));
    EXPECT_EQ(Form->statusBar()->currentMessage(), QString("Import Information from Umbrello"))
        << "the main window's status bar shows it while the mouse is on the button";

    Workbench->UI().UserHint("Cannot load Function Block type from file: x", 6);
    ASSERT_TRUE(WaitUntil(
        [&] { return Form->ProjectBrowser()->HintText() == "Cannot load Function Block type from file: x"; }));
    EXPECT_EQ(Form->StatusText(), QString("Cannot load Function Block type from file: x"));
    // Leaving the button brings the last hint back across the main window.
    QStatusTipEvent gone{QString()};
    QApplication::sendEvent(Form.get(), &gone);
    EXPECT_TRUE(Form->statusBar()->currentMessage().isEmpty());

    Form->Action("mnuWizard")->trigger();
    EXPECT_TRUE(WaitUntil([&] { return Form->ProjectBrowser()->HintText().startsWith("Hello, I am the"); }));
}

TEST_F(MainFormStartUp, ToolBarHintsSplitIntoTipAndStatusText)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    struct Case {
        const char* Button;
        const char* Tip;
        const char* Status;
    };
    const Case cases[] = {
        {"tbOpen", "Open TELVO project", "Open TELVO project"},
        {"tbSave", "Save", ""},
        {"tbNew", "New TELVO project", "New TELVO project"},
        {"tbTransformation", "Transformation Facility Manager", "Import Information from Umbrello"},
        {"tbSystemLayer", "System Layer", "System Layer"},
        {"tbNewFBType", "New Function Block Type", "New Function Block Type"},
        {"tbNewDiagram", "New FB Diagram", "Create a new Function Block Diagram"},
        {"tbTips", "Tips for TELVO zoze", "Tips for TELVO zoze"},
        {"tbShowHideRose", "Show/Hide Umbrello", "Show/Hide Umbrello"},
        {"tbDistribute", "Distribute application", "Distribute application"},
    };
    for (const Case& c : cases) {
        QAction* action = Form->Action(c.Button);
        ASSERT_NE(action, nullptr) << c.Button;
        EXPECT_EQ(action->toolTip(), QString(c.Tip)) << c.Button;
        EXPECT_EQ(action->statusTip(), QString(c.Status)) << c.Button;
    }
    EXPECT_EQ(Form->Action("tbTips")->text(), QString("?"));
}

TEST_F(MainFormStartUp, MenusHoldEveryItemInOrderWithItsShortcut)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    auto items = [&](const char* menuName) {
        QStringList texts;
        auto* menu = Form->findChild<QMenu*>(menuName);
        if (!menu)
            return QStringList{"<no menu>"};
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                texts << a->text() + (a->shortcut().isEmpty() ? QString() : "\t" + a->shortcut().toString());
        return texts;
    };
    EXPECT_EQ(items("mnuTelvo"), QStringList({"&New TELVO project\tCtrl+N", "&Open project...\tCtrl+O", "&Close Project",
                                              "&Save Project\tCtrl+S", "Save Project &As...",
                                              "Import IEC 61499 system...", "Export as IEC 61499 system...",
                                              "TELVO Start Center...",
                                              "E&xit"}));
    EXPECT_EQ(items("mnuEdit"), QStringList({"&Undo", "&Redo", "Cu&t", "&Copy", "&Paste"}));
    EXPECT_EQ(items("mnuFBType"), QStringList({"New Basic\tCtrl+T", "New Composite", "New Based on...", "Open...",
                                               "Save", "Save As..."}));
    EXPECT_EQ(items("mnuFBDiagram"), QStringList({"New\tCtrl+F", "New from UML", "Open", "Merge All Diagrams"}));
    EXPECT_EQ(items("mnuSystemLayer"), QStringList({"Edit", "Distribute application", "Append", "Remove Selected"}));
    EXPECT_EQ(items("mnuAppend"), QStringList({"Device", "Fieldbus", "Interworking Unit", "Switch", "Network",
                                               "Computer"}));
    EXPECT_EQ(items("mnuDevice"), QStringList({"New", "Open...", "Save", "Save As..."}));
    EXPECT_EQ(items("mnuRepository"), QStringList({"Function Block Type Library", "Device Library"}));
    EXPECT_EQ(items("mnuWindow").mid(0, 2), QStringList({"Show Tree Browser", "&Minimize All"}));
    EXPECT_EQ(items("mnuHelp"), QStringList({"Contents && Index", "TELVO ZOZE Wizard", "Wizard properties...",
                                             "&About"}));
    EXPECT_EQ(Form->FirstMenu()->menuAction()->statusTip(), QString("File related commands"));
}

// Which commands can run when no project is open and no editor window
// exists yet.
TEST_F(MainFormStartUp, MenuEnablingWithoutAProject)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    const std::pair<const char*, bool> cases[] = {
        {"mnuNewProject", true},      {"mnuOpenProject", true},     {"mnuCloseProject", false},
        {"mnuSaveProject", false},    {"mnuSaveProjectAs", false},  {"mnuStartCenter", true},
        {"mnuExit", true},            {"mnuCut", false},            {"mnuUndo", false}, {"mnuRedo", false},            {"mnuCopy", false},
        {"mnuPaste", false},          {"mnuSaveType", false},       {"mnuSaveTypeAs", false},
        {"mnuSystemLayerEdit", false}, {"mnuDistribute", false},    {"mnuAppendMenu", false},
        {"mnuRemoveSelected", false}, {"mnuDeviceNew", false},      {"mnuDeviceOpen", false},
        {"mnuDeviceSave", false},     {"mnuDeviceSaveAs", false},   {"mnuDeviceLibrary", false},
        {"mnuShowTreeBrowser", true}, {"mnuMinimizeAll", false},    {"mnuContents", false},
        {"mnuWizard", true},          {"mnuWizardProperties", false}, {"mnuAbout", true},
        {"tbOpen", true},             {"tbSave", false},            {"tbNew", true},
        {"tbSystemLayer", false},     {"tbDistribute", false},      {"tbTips", true},
    };
    for (const auto& [name, enabled] : cases) {
        QAction* action = Form->Action(name);
        ASSERT_NE(action, nullptr) << name;
        EXPECT_EQ(action->isEnabled(), enabled) << name;
    }
}

// Items with no action behind them are grey whatever the state, and their
// menus show why when the mouse rests on them.
TEST_F(MainFormStartUp, ItemsWithoutAnActionAreGreyAndSayWhy)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    const std::pair<const char*, const char*> items[] = {
        {"mnuDeviceNew", "mnuDevice"},    {"mnuDeviceOpen", "mnuDevice"},          {"mnuDeviceSave", "mnuDevice"},
        {"mnuDeviceSaveAs", "mnuDevice"}, {"mnuDeviceLibrary", "mnuRepository"},
    };
    const fs::path crf = Home.Write("p/alpha.crf", "<telvo_project Name=\"Alpha\" Comment=\"|\"/>\n");
    for (bool withProject : {false, true}) {
        if (withProject) {
            Form->Projects().OpenProject(crf.string());
            ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }));
            ASSERT_TRUE(Form->Project().IsOpen());
        }
        Form->UpdateMenuItems();
        for (const auto& [name, menu] : items) {
            QAction* item = Form->Action(name);
            ASSERT_NE(item, nullptr) << name;
            EXPECT_FALSE(item->isEnabled()) << name << (withProject ? " with a project" : "");
            EXPECT_EQ(item->toolTip(), QString("Not available in this version")) << name;
            EXPECT_TRUE(Form->findChild<QMenu*>(menu)->toolTipsVisible()) << menu;
        }
    }
    TModalAnswers answers;
    Form->Projects().CloseProject();
}

TEST_F(MainFormStartUp, ItemsOfWindowsThatDoNotExistStayDisabledUntilTheWindowIsInstalled)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    // As before any editor window was installed.
    Form->Factories() = {};
    Form->UpdateMenuItems();
    const char* diagramItems[] = {"mnuNewDiagram", "mnuOpenDiagram", "mnuMergeAll", "tbNewDiagram"};
    for (const char* name : diagramItems)
        EXPECT_FALSE(Form->Action(name)->isEnabled()) << name;
    const char* typeItems[] = {"mnuNewBasic", "mnuNewComposite", "mnuNewBasedOn", "mnuOpenType", "tbNewFBType"};
    for (const char* name : typeItems)
        EXPECT_FALSE(Form->Action(name)->isEnabled()) << name;
    EXPECT_FALSE(Form->Action("mnuNewFromUml")->isEnabled());
    EXPECT_FALSE(Form->Action("mnuTypeLibrary")->isEnabled());

    Form->Factories().DiagramWindow = [](TMainForm&, TFB_Diagram&, const QString&) -> TEditorWindow* {
        return nullptr;
    };
    Form->Factories().LibraryWindow = [](TMainForm&) {};
    Form->UpdateMenuItems();
    for (const char* name : diagramItems)
        EXPECT_TRUE(Form->Action(name)->isEnabled()) << name;
    EXPECT_TRUE(Form->Action("mnuTypeLibrary")->isEnabled());
    EXPECT_FALSE(Form->Action("mnuNewBasic")->isEnabled());
}

TEST_F(MainFormStartUp, ClosingTheWindowWithoutAProjectAsksNothing)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    TModalAnswers answers;
    EXPECT_TRUE(Form->close());
    EXPECT_TRUE(Form->Closing());
    EXPECT_TRUE(answers.Texts.isEmpty());
}

// Ctrl+O opens the project dialog; it starts in the program folder at
// first and then in the folder the user last chose a project from.
TEST_F(MainFormStartUp, CtrlOOpensProjectsFromTheLastFolderUsed)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    const QString chosen = QString::fromStdString(Home.Write("elsewhere/broken.crf", "not a project").string());
    QStringList folders;
    Form->AskOpenProjectFileName = [&](const QString& folder) {
        folders << folder;
        return folders.size() == 1 ? chosen : QString();
    };
    TModalAnswers answers;
    QTest::keyClick(Form.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(folders.size(), 1);
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning() && !answers.Texts.isEmpty(); }));
    // The error box took the focus; the shortcut works in the active window.
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    QTest::keyClick(Form.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(folders.size(), 2);
    EXPECT_EQ(folders[0], QString::fromStdString(Home.Path().string()));
    EXPECT_EQ(folders[1], QString::fromStdString((Home / "elsewhere").string()));
    EXPECT_FALSE(Form->Project().IsOpen()) << "the broken file opened nothing";
}

// Edit › Undo and Redo act on the active window's own stack, whichever kind
// of editor it is: the menu is opened (which sets its items) and clicked.
TEST_F(MainFormStartUp, EditUndoAndRedoReachTheTypeEditorAndTheSystemLayerEditor)
{
    fs::copy(SourceDir() / "library" / "templates", Home / "library" / "templates", fs::copy_options::recursive);
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    TModalAnswers unexpected;
    auto* editMenu = Form->findChild<QMenu*>("mnuEdit");
    ASSERT_NE(editMenu, nullptr);
    const auto pick = [&](const char* item) {
        emit editMenu->aboutToShow();
        QAction* action = Form->Action(item);
        if (!action->isEnabled())
            return false;
        action->trigger();
        return true;
    };

    Form->Action("mnuNewBasic")->trigger();
    auto* typeEditor = dynamic_cast<TfrmDesignFBType*>(Form->ActiveEditor());
    ASSERT_NE(typeEditor, nullptr);
    const size_t inputs = typeEditor->WorkingType()->EventInputs.size();
    typeEditor->AddClick(TfrmDesignFBType::TGrid::EventInputs);
    ASSERT_EQ(typeEditor->WorkingType()->EventInputs.size(), inputs + 1);
    ASSERT_TRUE(pick("mnuUndo"));
    EXPECT_EQ(typeEditor->WorkingType()->EventInputs.size(), inputs);
    ASSERT_TRUE(pick("mnuRedo"));
    EXPECT_EQ(typeEditor->WorkingType()->EventInputs.size(), inputs + 1);

    const fs::path crf = Home.Write("p/alpha.crf", "<telvo_project Name=\"Alpha\" Comment=\"|\"/>\n");
    Form->Projects().OpenProject(crf.string());
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }));
    EXPECT_TRUE(unexpected.Texts.isEmpty()) << unexpected.Texts.join("\n").toStdString();
    ASSERT_TRUE(Form->Project().IsOpen());
    Form->Action("mnuSystemLayerEdit")->trigger();
    auto* layer = dynamic_cast<TfrmSystemLayer*>(Form->ActiveEditor());
    ASSERT_NE(layer, nullptr);
    TslObject* added = layer->AddFromPalette(slSwitch);
    ASSERT_NE(added, nullptr);
    const std::string name = added->Name;
    ASSERT_TRUE(pick("mnuUndo"));
    EXPECT_EQ(Workbench->SystemLayer().FindByName(name), nullptr);
    ASSERT_TRUE(pick("mnuRedo"));
    EXPECT_NE(Workbench->SystemLayer().FindByName(name), nullptr);
    Form->Projects().CloseProject();
    EXPECT_EQ(unexpected.Texts, QStringList{"Save changes to project: Alpha"});
}

// New document windows open where the whole of them can be seen, however
// small the main window: a type editor and the system layer window.
TEST_F(MainFormStartUp, NewWindowsOpenInsideTheDocumentArea)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    Form->setGeometry(0, 0, 900, 640);
    QTest::qWait(20);
    const fs::path crf = Home.Write("p/alpha.crf", "<telvo_project Name=\"Alpha\" Comment=\"|\"/>\n");
    Form->Projects().OpenProject(crf.string());
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }));
    const std::pair<const char*, const char*> openers[] = {
        {"type editor", "mnuNewBasic"},
        {"system layer", "mnuSystemLayerEdit"},
    };
    TModalAnswers answers;
    for (const auto& [window, item] : openers) {
        Form->Action(item)->trigger();
        TEditorWindow* editor = Form->ActiveEditor();
        ASSERT_NE(editor, nullptr) << window;
        const QRect area = Form->MdiArea()->viewport()->rect();
        const QRect placed = editor->SubWindow()->geometry();
        EXPECT_TRUE(area.contains(placed)) << window << ": " << placed.x() << "," << placed.y() << " "
                                           << placed.width() << "x" << placed.height() << " in " << area.width()
                                           << "x" << area.height();
    }
    Form->Projects().CloseProject();
}

// File › Import IEC 61499 system makes a project of a .sys file and opens
// it; Export writes it back as a .sys beside its own types.
TEST_F(MainFormStartUp, ImportAndExportAnIec61499SystemFromTheMenu)
{
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    EXPECT_TRUE(Form->Action("mnuImportSystem")->isEnabled());
    EXPECT_FALSE(Form->Action("mnuExportSystem")->isEnabled()) << "no project to export yet";
    const fs::path sys = Home.Write("sys/line.sys", R"(<?xml version="1.0" encoding="UTF-8"?>
<System Name="Line">
	<VersionInfo Version="1.0" Author="a"/>
	<Application Name="App">
		<SubAppNetwork>
			<FB Name="Split" Type="E_SPLIT" x="100" y="100"/>
			<FB Name="Count" Type="E_CTU" x="900" y="100"><Parameter Name="PV" Value="5"/></FB>
			<EventConnections><Connection Source="Split.EO1" Destination="Count.CU"/></EventConnections>
		</SubAppNetwork>
	</Application>
	<Device Name="PLC" Type="FORTE_PC"><Parameter Name="MGR_ID" Value="&quot;localhost:61499&quot;"/>
		<Resource Name="RES" Type="EMB_RES"><FBNetwork/></Resource></Device>
	<Mapping From="App.Split" To="PLC.RES"/><Mapping From="App.Count" To="PLC.RES"/>
</System>
)");
    const QString project = QString::fromStdString((Home / "p" / "line").string());
    Form->AskSystemFileName = [&](const QString&) { return QString::fromStdString(sys.string()); };
    Form->AskImportedProjectFileName = [&](const QString& folder) {
        EXPECT_EQ(folder, QString::fromStdString((Home / "sys").string()));
        return project;
    };
    TModalAnswers answers;
    Form->Action("mnuImportSystem")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning() && Form->Project().IsOpen(); }));
    ASSERT_TRUE(WaitUntil([&] { return !answers.Texts.isEmpty(); }));
    EXPECT_TRUE(answers.Texts.last().startsWith("system\tLine\tapplications=1\tfbs=2\tconnections=1"))
        << answers.Texts.last().toStdString();
    const QStringList log = LogTexts(*Form);
    EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                            [](const QString& l) { return l.endsWith("VersionInfo in Line is not carried over"); }))
        << log.join('\n').toStdString();
    ASSERT_EQ(Workbench->FBManager().Instances.size(), 2u);
    auto* plc = dynamic_cast<TslIECDevice*>(Workbench->SystemLayer().FindByName("PLC"));
    ASSERT_NE(plc, nullptr);
    EXPECT_EQ(plc->ResourceName, "RES");
    EXPECT_EQ(plc->DownloadedFBInstanceList.size(), 2u);

    Form->UpdateMenuItems();
    ASSERT_TRUE(Form->Action("mnuExportSystem")->isEnabled());
    const fs::path out = Home / "out";
    Form->AskSystemExportFolder = [&](const QString&) { return QString::fromStdString(out.string()); };
    Form->Action("mnuExportSystem")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return answers.Texts.size() >= 2; }));
    EXPECT_TRUE(answers.Texts.last().startsWith(QString::fromStdString("Written: " + (out / "Line.sys").string())))
        << answers.Texts.last().toStdString();
    const std::string text = ReadFile(out / "Line.sys");
    EXPECT_NE(text.find("<Mapping From=\"App.Count\" To=\"PLC.RES\" />"), std::string::npos) << text;
    Form->Projects().CloseProject();
}
