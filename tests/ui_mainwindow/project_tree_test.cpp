// The project tree: what BuildProjectTree shows of the model, refreshing
// without losing what the user opened, the description box, renaming
// diagram nodes and the pop-up's Delete and Add.

#include "model/fb_manager.h"
#include "ui/mainwindow/main_form.h"
#include "ui/mainwindow/project_browser.h"
#include "ui/ui_test_support.h"

#include <QApplication>
#include <QDockWidget>
#include <QHelpEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace telvo;
using namespace telvo::test;

namespace {

// A small plant: two records joined by an event and a data line in one of
// two diagrams, a boiler with two IPPs, one tied to a record and one to the
// other, a device with an internal diagram and a connection.
class ProjectTree : public ::testing::Test, public TMainFormFixture {
protected:
    void SetUp() override
    {
        WriteSettings("[Values]\nDonotShowInitWindow=1\n");
        Start();
        TFB_Manager& fbm = Workbench->FBManager();
        ASSERT_TRUE(fbm.LoadTypeFromLibrary("", "E_CTU"));
        ASSERT_TRUE(fbm.LoadTypeFromLibrary("", "E_SWITCH"));
        lineA = fbm.CreateDiagram("Line A", 1.0);
        lineA->FileName = (Home / "plant" / "Line A.fbn").string();
        lineA->Comment = "Feeds the boiler";
        lineB = fbm.CreateDiagram("Line B", 1.0);
        counter = fbm.CreateInstance("Counter", "E_CTU", true);
        switcher = fbm.CreateInstance("Switch", "E_SWITCH", true);
        ASSERT_TRUE(counter && switcher);

        auto event = std::make_unique<TFB_EventAssocRef>();
        event->SourceInstance = counter;
        event->SourcePort = counter->FindEventOutput("CUO");
        event->DestInstance = switcher;
        event->DestPort = switcher->FindEventInput("EI");
        fbm.AddEventConn(std::move(event));
        // A record whose source is not known is not listed.
        auto orphan = std::make_unique<TFB_EventAssocRef>();
        orphan->DestInstance = switcher;
        orphan->DestPort = switcher->FindEventInput("EI");
        fbm.AddEventConn(std::move(orphan));
        auto data = std::make_unique<TFB_DataAssocRef>();
        data->SourceInstance = counter;
        data->SourcePort = counter->FindDataOutput("Q");
        data->DestInstance = switcher;
        data->DestPort = switcher->FindDataInput("G");
        fbm.AddDataConn(std::move(data));

        TSystemLayerManager& layer = Workbench->SystemLayer();
        boiler = dynamic_cast<TslIPT*>(layer.AddObject("Boiler_1", slIPT, 2));
        ASSERT_NE(boiler, nullptr);
        temperature = boiler->AddIpp("Temperature", "REAL", TslIPPRef::Sensor);
        heater = boiler->AddIpp("Heater", "BOOL", TslIPPRef::Actuator);
        heater->Description = "Main heater";
        device = dynamic_cast<TslIECDevice*>(layer.AddObject("IEC_Device_0", slIECDevice));
        ASSERT_NE(device, nullptr);
        device->InternalDeviceDiagramFilename = "/plant/IEC_Device_0.dfb";
        TSystemConnection* wire = layer.Connect(device, heater);
        ASSERT_NE(wire, nullptr);
        wire->Name = "Heater wire";

        auto ippFb = std::make_unique<TFB_IPPFBAssocsRef>();
        ippFb->IPP = heater;
        ippFb->Instance = switcher;
        ippFb->DataPort = switcher->FindDataInput("G");
        fbm.AddIPPFBConn(std::move(ippFb));
        auto ippIpp = std::make_unique<TFB_IPPtoIPPAssocRef>();
        ippIpp->SourceIPP = temperature;
        ippIpp->DestIPP = heater;
        fbm.AddIPPtoIPPConn(std::move(ippIpp));
    }

    TfrmProjectBrowser& Browser() const { return *Form->ProjectBrowser(); }
    void Build(bool hasUmlModel = false)
    {
        TProjectInfo project;
        project.Name = "Plant";
        project.FileName = (Home / "plant" / "plant.crf").string();
        project.HasUmlModel = hasUmlModel;
        Browser().BuildProjectTree(project);
    }

    TFB_Diagram* lineA = nullptr;
    TFB_Diagram* lineB = nullptr;
    TFB_InstanceRef* counter = nullptr;
    TFB_InstanceRef* switcher = nullptr;
    TslIPT* boiler = nullptr;
    TslIPPRef* temperature = nullptr;
    TslIPPRef* heater = nullptr;
    TslIECDevice* device = nullptr;
};

const QStringList plantTree = {
    "Plant [8]",
    "  Application [9]",
    "    Industrial Process Parameters [10]",
    "      Boiler_1.Temperature [10]",
    "      Boiler_1.Heater [10]",
    "    Function Block Layer [0]",
    "      Function Block Diagrams [0]",
    "        Line A [4]",
    "        Line B [4]",
    "      Function Block Instances [4]",
    "        Counter (E_CTU) [4]",
    "        Switch (E_SWITCH) [4]",
    "    Connections [7]",
    "      Event connections [7]",
    "        Counter.CUO -> Switch.EI [7]",
    "      Data connections [7]",
    "        Counter.Q -> Switch.G [7]",
    "      FB to IPP connections [7]",
    "        Switch.G -> Boiler_1.Heater [7]",
    "      IPP to IPP Connections [7]",
    "        Boiler_1.Temperature -> Boiler_1.Heater [7]",
    "  System Layer [1]",
    "    Objects [6]",
    "      Boiler_1 [6]",
    "        Temperature [10]",
    "        Heater [10]",
    "      IEC_Device_0 [6]",
    "        Internal Diagram: /plant/IEC_Device_0.dfb [0]",
    "    Connections [7]",
    "      Heater wire [7]",
};

} // namespace

TEST_F(ProjectTree, BuildShowsTheModelNodeByNode)
{
    Build();
    EXPECT_EQ(Browser().TreeLines(), plantTree);
    EXPECT_TRUE(Browser().RootNode()->isExpanded());
    EXPECT_TRUE(LogTexts(*Form).contains("Preparing Project tree view"));

    // The nodes that stand for a model object lead to it.
    EXPECT_EQ(Browser().DiagramOf(Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams",
                                                  "Line A"})),
              lineA);
    EXPECT_EQ(Browser().RecordOf(Browser().Node({"Application", "Function Block Layer", "Function Block Instances",
                                                 "Switch (E_SWITCH)"})),
              switcher);
    EXPECT_EQ(Browser().IppOf(Browser().Node({"Application", "Industrial Process Parameters", "Boiler_1.Heater"})),
              heater);
    EXPECT_EQ(Browser().IppOf(Browser().Node({"System Layer", "Objects", "Boiler_1", "Temperature"})), temperature);
    EXPECT_EQ(Browser().ObjectOf(Browser().Node({"System Layer", "Objects", "IEC_Device_0",
                                                 "Internal Diagram: /plant/IEC_Device_0.dfb"})),
              device);
}

TEST_F(ProjectTree, RequirementsBranchOnlyWithAUmlModel)
{
    Build(false);
    EXPECT_EQ(Browser().Node({"ROVEV Requirements"}), nullptr);
    Browser().UpdatePopup(Browser().RootNode());
    for (QAction* item : Browser().PopupMenu()->findChild<QMenu*>("pmAdd")->actions())
        if (item->text() != "Function Block Diagram") {
            EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
        }

    Build(true);
    QStringList expected = plantTree;
    expected.insert(1, "  ROVEV Requirements [11]");
    expected.insert(2, "    Use Case Diagrams [11]");
    expected.insert(3, "    Actors [13]");
    expected.insert(4, "    Use Cases [14]");
    expected.insert(5, "    Interaction diagrams [12]");
    EXPECT_EQ(Browser().TreeLines(), expected);
    Browser().UpdatePopup(Browser().RootNode());
    for (QAction* item : Browser().PopupMenu()->findChild<QMenu*>("pmAdd")->actions())
        EXPECT_TRUE(item->isEnabled()) << item->text().toStdString();
}

TEST_F(ProjectTree, AnIppWithoutOwnerIsShownAsUnspecified)
{
    temperature->Owner = nullptr;
    Build();
    EXPECT_NE(Browser().Node({"Application", "Industrial Process Parameters", "\"Unspecified\".Temperature"}),
              nullptr);
    EXPECT_NE(Browser().Node({"Application", "Connections", "IPP to IPP Connections",
                              "\"Unspecified\".Temperature -> Boiler_1.Heater"}),
              nullptr);
    temperature->Owner = boiler;
}

TEST_F(ProjectTree, RefreshesFollowTheModelAndKeepWhatWasExpanded)
{
    Build();
    QTreeWidgetItem* connections = Browser().Node({"Application", "Connections"});
    Browser().Node({"Application"})->setExpanded(true);
    connections->setExpanded(true);
    Browser().Node({"Application", "Connections", "Data connections"})->setExpanded(true);
    Browser().Node({"System Layer"})->setExpanded(true);
    Browser().Node({"System Layer", "Objects"})->setExpanded(true);
    Browser().Node({"System Layer", "Objects", "Boiler_1"})->setExpanded(true);

    TFB_Manager& fbm = Workbench->FBManager();
    fbm.CreateDiagram("Line C", 1.0);
    fbm.CreateInstance("Counter2", "E_CTU", true);
    boiler->AddIpp("Pressure", "REAL", TslIPPRef::Sensor);
    Browser().RefreshApplicationTree();
    Browser().RefreshSystemLayerTree();

    EXPECT_NE(Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams", "Line C"}), nullptr);
    EXPECT_NE(Browser().Node({"Application", "Function Block Layer", "Function Block Instances",
                              "Counter2 (E_CTU)"}),
              nullptr);
    EXPECT_NE(Browser().Node({"Application", "Industrial Process Parameters", "Boiler_1.Pressure"}), nullptr);
    EXPECT_NE(Browser().Node({"System Layer", "Objects", "Boiler_1", "Pressure"}), nullptr);
    EXPECT_TRUE(Browser().Node({"Application", "Connections"})->isExpanded());
    EXPECT_TRUE(Browser().Node({"Application", "Connections", "Data connections"})->isExpanded());
    EXPECT_FALSE(Browser().Node({"Application", "Connections", "Event connections"})->isExpanded());
    EXPECT_TRUE(Browser().Node({"System Layer", "Objects", "Boiler_1"})->isExpanded());
    const QStringList log = LogTexts(*Form);
    EXPECT_TRUE(log.contains("Update application tree node"));
    EXPECT_TRUE(log.contains("Preparing System Layer tree view"));

    // While the main window closes the connection branches stay as they are.
    Browser().SetClosing(true);
    fbm.RemoveDataConn(fbm.DataConns.front().get());
    Browser().RefreshConnectionsTree();
    EXPECT_NE(Browser().Node({"Application", "Connections", "Data connections", "Counter.Q -> Switch.G"}), nullptr);
    Browser().SetClosing(false);
    Browser().RefreshConnectionsTree();
    EXPECT_EQ(Browser().Node({"Application", "Connections", "Data connections"})->childCount(), 0);
}

TEST_F(ProjectTree, AddNodesOnlyWhileAProjectIsShown)
{
    TFB_Diagram* early = Workbench->FBManager().CreateDiagram("Early", 1.0);
    Browser().AddDiagramNode(early);
    Browser().AddObjectNode(device);
    EXPECT_TRUE(Browser().TreeLines().isEmpty());

    Build();
    TFB_Diagram* late = Workbench->FBManager().CreateDiagram("Late", 1.0);
    Browser().AddDiagramNode(late);
    TslObject* sw = Workbench->SystemLayer().AddObject("Switch_0", slSwitch);
    Browser().AddObjectNode(sw);
    EXPECT_EQ(Browser().DiagramOf(
                  Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams", "Late"})),
              late);
    EXPECT_EQ(Browser().ObjectOf(Browser().Node({"System Layer", "Objects", "Switch_0"})), sw);
}

TEST_F(ProjectTree, DescriptionBoxEditsTheSelectedObject)
{
    Build();
    QPlainTextEdit* box = Browser().DescriptionBox();
    auto select = [&](const QStringList& path) {
        QTreeWidgetItem* node = Browser().Node(path);
        EXPECT_NE(node, nullptr) << path.join('/').toStdString();
        Browser().SelectNode(node);
    };

    select({"Application", "Function Block Layer", "Function Block Diagrams", "Line A"});
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(box->toPlainText(), QString("Feeds the boiler"));
    box->setPlainText("Feeds both boilers");
    EXPECT_EQ(lineA->Comment, "Feeds both boilers");

    select({"System Layer", "Objects", "Boiler_1", "Heater"});
    EXPECT_EQ(box->toPlainText(), QString("Main heater"));
    box->setPlainText("Spare heater");
    EXPECT_EQ(heater->Description, "Spare heater");

    select({"System Layer", "Objects", "IEC_Device_0"});
    box->setPlainText("Cabinet 3");
    EXPECT_EQ(device->Description, "Cabinet 3");

    // An instance record shows its type's comment, which is not edited here.
    select({"Application", "Function Block Layer", "Function Block Instances", "Counter (E_CTU)"});
    EXPECT_TRUE(box->isEnabled());
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_EQ(box->toPlainText().toStdString(), counter->Type->Comment);

    select({"Application", "Connections"});
    EXPECT_FALSE(box->isEnabled());
    EXPECT_TRUE(box->toPlainText().isEmpty());

    // A diagram deleted behind the tree's back is not written to.
    select({"Application", "Function Block Layer", "Function Block Diagrams", "Line B"});
    Workbench->FBManager().DeleteDiagram(lineB);
    box->setPlainText("written to nothing");
    EXPECT_EQ(Browser().DiagramOf(Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams",
                                                  "Line B"})),
              nullptr);
}

TEST_F(ProjectTree, RenamingADiagramNodeRenamesTheDiagramItsFileAndItsWindows)
{
    Build();
    QTreeWidgetItem* node =
        Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams", "Line A"});
    Browser().EditNode(node);
    ASSERT_EQ(Form->DiagramWindows().size(), 1u);
    TEditorWindow* window = Form->DiagramWindows()[0];
    ASSERT_EQ(TMainForm::CaptionOf(window->SubWindow()), QString("Line A"));
    ASSERT_TRUE(node->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(Browser().Node({"Application", "Function Block Layer", "Function Block Instances",
                                 "Counter (E_CTU)"})
                     ->flags() &
                 Qt::ItemIsEditable);

    // What the in-place editor does when the user commits.
    node->setText(0, "Boiler Line");
    EXPECT_EQ(lineA->Name, "Boiler Line");
    EXPECT_EQ(lineA->FileName, (Home / "plant" / "Boiler Line.fbn").string());
    EXPECT_EQ(TMainForm::CaptionOf(window->SubWindow()), QString("Boiler Line"));
    EXPECT_EQ(window->SubWindow()->windowTitle(), QString("Boiler Line[*]")) << "Qt's mark of unsaved changes";

    // A diagram without a folder gets a bare file name.
    QTreeWidgetItem* other = Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams", "Line B"});
    other->setText(0, "Line A");
    EXPECT_EQ(lineB->FileName, "Line A.fbn");

    // Names that cannot be file names in the project folder are refused.
    for (const char* bad : {"", "   ", "../outside", "sub/dir", "back\\slash", ".."}) {
        node->setText(0, bad);
        EXPECT_EQ(node->text(0), QString("Boiler Line")) << bad;
        EXPECT_EQ(lineA->Name, "Boiler Line") << bad;
        EXPECT_EQ(lineA->FileName, (Home / "plant" / "Boiler Line.fbn").string()) << bad;
    }
}

TEST_F(ProjectTree, DeletingADiagramAsksClosesItsWindowsAndRemovesIt)
{
    Build();
    QTreeWidgetItem* node =
        Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams", "Line A"});
    Browser().EditNode(node);
    ASSERT_EQ(Form->DiagramWindows().size(), 1u);
    Browser().UpdatePopup(node);
    EXPECT_TRUE(Browser().PopupMenu()->findChild<QAction*>("pmDelete")->isEnabled());

    {
        TModalAnswers answers;
        answers.Queue(QMessageBox::No);
        Browser().DeleteNode(node);
        EXPECT_EQ(answers.Texts, QStringList{"Delete selected diagram ?"});
    }
    EXPECT_EQ(Workbench->FBManager().Diagrams.size(), 2u);
    EXPECT_EQ(Form->DiagramWindows().size(), 1u);

    TModalAnswers answers;
    answers.Queue(QMessageBox::Yes);
    Browser().DeleteNode(node);
    EXPECT_EQ(answers.Texts, QStringList{"Delete selected diagram ?"});
    ASSERT_EQ(Workbench->FBManager().Diagrams.size(), 1u);
    EXPECT_EQ(Workbench->FBManager().Diagrams[0].get(), lineB);
    EXPECT_TRUE(Form->DiagramWindows().empty());
    EXPECT_EQ(Form->ActiveEditor(), nullptr);
    EXPECT_TRUE(LogTexts(*Form).contains("Delete diagram from tree Line A"));
    EXPECT_EQ(Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams", "Line A"}), nullptr);
}

TEST_F(ProjectTree, DeletingADiagramTakesTheRecordsItAloneDrawsWithIt)
{
    // Counter is drawn in Line A only, Switch in both diagrams.
    ASSERT_NE(lineA->AddInstance("Counter", "E_CTU", false, nullptr), nullptr);
    ASSERT_NE(lineA->AddInstance("Switch", "E_SWITCH", false, nullptr), nullptr);
    ASSERT_NE(lineB->AddInstance("Switch", "E_SWITCH", false, nullptr), nullptr);
    AssignInstance(device, counter);
    AssignInstance(device, switcher);
    lineA->RebuildLines();
    Build();
    TFB_Manager& fbm = Workbench->FBManager();
    const size_t eventConns = fbm.EventConns.size();

    TModalAnswers answers;
    answers.Queue(QMessageBox::Yes);
    Browser().DeleteNode(Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams", "Line A"}));
    ASSERT_EQ(fbm.Diagrams.size(), 1u);
    EXPECT_EQ(fbm.FindInstance("Counter"), nullptr);
    EXPECT_EQ(fbm.FindInstance("Switch"), switcher);
    EXPECT_EQ(fbm.EventConns.size(), eventConns - 1);
    EXPECT_TRUE(fbm.DataConns.empty());
    EXPECT_EQ(device->DownloadedFBInstanceList, std::vector<TFB_InstanceRef*>{switcher});
    EXPECT_TRUE(LogTexts(*Form).contains(
        "FB instance Counter is drawn in no diagram any more: it is removed from the project with its connections"));
    EXPECT_FALSE(LogTexts(*Form).join('\n').contains("FB instance Switch"));
    EXPECT_EQ(Browser().Node({"Application", "Function Block Layer", "Function Block Instances", "Counter (E_CTU)"}),
              nullptr);
}

TEST_F(ProjectTree, DeletingAnInstanceRecordTakesItOutOfTheWholeProject)
{
    Build();
    QTreeWidgetItem* node = Browser().Node({"Application", "Function Block Layer", "Function Block Instances",
                                            "Counter (E_CTU)"});
    TModalAnswers answers;
    answers.Queue(QMessageBox::Yes);
    Browser().DeleteNode(node);
    EXPECT_EQ(answers.Texts, QStringList{"Delete selected FB instance from entire project?"});
    EXPECT_EQ(Workbench->FBManager().FindInstance("Counter"), nullptr);
    EXPECT_EQ(Browser().Node({"Application", "Function Block Layer", "Function Block Instances", "Counter (E_CTU)"}),
              nullptr);
    EXPECT_EQ(Browser().Node({"Application", "Connections", "Event connections"})->childCount(), 0);
    EXPECT_EQ(Browser().Node({"Application", "Connections", "Data connections"})->childCount(), 0);

    // Other nodes cannot be deleted from the tree.
    for (const QStringList& path : {QStringList{"Application"}, QStringList{"System Layer", "Objects", "Boiler_1"},
                                    QStringList{"Application", "Industrial Process Parameters", "Boiler_1.Heater"}}) {
        Browser().UpdatePopup(Browser().Node(path));
        EXPECT_FALSE(Browser().PopupMenu()->findChild<QAction*>("pmDelete")->isEnabled()) << path.join('/').toStdString();
    }
}

TEST_F(ProjectTree, DoubleClickOpensWhatANodeStandsFor)
{
    Build();
    // Only the requests count here: the IPP dialog and the system layer
    // window have tests of their own.
    Form->Factories().IppProperties = nullptr;
    Form->Factories().SystemLayerWindow = nullptr;
    int diagramRequests = 0, ippRequests = 0, layerRequests = 0;
    QObject::connect(&Browser(), &TfrmProjectBrowser::openDiagramRequested, [&] { ++diagramRequests; });
    QObject::connect(&Browser(), &TfrmProjectBrowser::openIppRequested, [&] { ++ippRequests; });
    QObject::connect(&Browser(), &TfrmProjectBrowser::openSystemLayerRequested, [&] { ++layerRequests; });
    const int logLines = LogTexts(*Form).size();

    // Application branch nodes stand for nothing; the system layer branch
    // stands for the system layer window.
    Browser().EditNode(Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams"}));
    EXPECT_EQ(layerRequests, 0);
    Browser().EditNode(Browser().Node({"System Layer", "Objects"}));
    EXPECT_EQ(layerRequests, 1);
    EXPECT_EQ(diagramRequests + ippRequests, 0);
    EXPECT_EQ(LogTexts(*Form).size(), logLines);

    Browser().EditNode(Browser().Node({"Application", "Industrial Process Parameters", "Boiler_1.Heater"}));
    EXPECT_EQ(ippRequests, 1);

    // A diagram opens in a window captioned with the node text, once.
    ASSERT_TRUE(Form->Factories().DiagramWindow);
    QTreeWidgetItem* lineNode = Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams",
                                                "Line A"});
    Browser().EditNode(lineNode);
    ASSERT_EQ(Form->DiagramWindows().size(), 1u);
    TEditorWindow* window = Form->DiagramWindows()[0];
    EXPECT_EQ(window->Diagram(), lineA);
    EXPECT_EQ(TMainForm::CaptionOf(window->SubWindow()), QString("Line A"));
    EXPECT_EQ(window->SubWindow()->pos(), QPoint(230, 90));
    EXPECT_EQ(Form->ActiveEditor(), window);
    EXPECT_TRUE(LogTexts(*Form).contains("Open window from tree Line A"));

    Browser().EditNode(Browser().Node({"Application", "Function Block Layer", "Function Block Diagrams", "Line B"}));
    ASSERT_EQ(Form->DiagramWindows().size(), 2u);
    Browser().EditNode(lineNode);
    EXPECT_EQ(Form->DiagramWindows().size(), 2u) << "an open window is shown again, not opened twice";
    EXPECT_EQ(Form->MdiArea()->activeSubWindow(), window->SubWindow());
}

namespace {

// A node the tree shows cut short carries its whole text as a tool tip;
// one shown whole has none.
TEST_F(ProjectTree, CutEntriesShowTheirWholeTextAsAToolTip)
{
    Build();
    Browser().Tree()->expandAll();
    Form->ProjectBrowserDock()->show();
    Form->resizeDocks({Form->ProjectBrowserDock()}, {170}, Qt::Horizontal);
    QTest::qWait(20);
    QTreeWidgetItem* ipps = Browser().Node({"Application", "Industrial Process Parameters"});
    QTreeWidgetItem* root = Browser().RootNode();
    ASSERT_TRUE(ipps && root);
    EXPECT_EQ(Browser().NodeToolTip(ipps), QString("Industrial Process Parameters"));
    EXPECT_EQ(Browser().NodeToolTip(root), QString());

    // As the mouse rests on the entry.
    QWidget* viewport = Browser().Tree()->viewport();
    const QPoint at = Browser().Tree()->visualItemRect(ipps).center();
    QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &help);
    EXPECT_EQ(QToolTip::text(), QString("Industrial Process Parameters"));

    // Wide enough, the same entry has none.
    Form->resizeDocks({Form->ProjectBrowserDock()}, {600}, Qt::Horizontal);
    QTest::qWait(20);
    EXPECT_EQ(Browser().NodeToolTip(ipps), QString());
}

// The user widens the project browser; it keeps that width for the run,
// also when it is closed and shown again.
TEST_F(ProjectTree, TheBrowserKeepsTheWidthTheUserGaveIt)
{
    Build();
    QDockWidget* dock = Form->ProjectBrowserDock();
    dock->show();
    Form->resizeDocks({dock}, {480}, Qt::Horizontal);
    QTest::qWait(20);
    const int widened = dock->width();
    EXPECT_GE(widened, 470);
    dock->close();
    QTest::qWait(20);
    Form->Action("mnuShowTreeBrowser")->trigger();
    QTest::qWait(20);
    EXPECT_TRUE(dock->isVisible());
    EXPECT_EQ(dock->width(), widened);
    // A project opened again keeps it too.
    Build();
    QTest::qWait(20);
    EXPECT_EQ(dock->width(), widened);
}

} // namespace
