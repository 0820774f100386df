// The visual debugger on the example plant: the same choices give the same
// schedule, log, states and monitored values as `telvo simulate`; Stop and
// closing end every thread; Run stops at a breakpoint; export writes what
// the grids and the log show.

#include "debugger_fixture.h"

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "persistence/network_file.h"
#include "ui/debugger/schedule_grid.h"
#include "ui/diagram/diagram_renderer.h"
#include "ui/mainwindow/main_form.h"
#include "ui/mainwindow/project_browser.h"
#include "ui/mainwindow/project_commands.h"
#include "ui/ui_test_support.h"
#include "workbench/project_lifecycle.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace telvo::test {
namespace {

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

// A schedule table's lines with its rows in a fixed order: FBs woken in the
// same step record in whatever order their threads run.
std::vector<std::string> normalised(std::vector<std::string> lines)
{
    if (!lines.empty()) {
        const std::string stop = " (stop)";
        std::string& header = lines.front();
        if (header.size() > stop.size() && header.compare(header.size() - stop.size(), stop.size(), stop) == 0)
            header.resize(header.size() - stop.size());
        std::sort(lines.begin() + 1, lines.end());
    }
    return lines;
}

// Log lines without their time, in a fixed order (threads log side by side).
std::multiset<std::string> untimed(const std::vector<std::string>& lines)
{
    std::multiset<std::string> out;
    for (const auto& l : lines) {
        const auto blank = l.find(' ');
        out.insert(blank == std::string::npos ? l : l.substr(blank + 1));
    }
    return out;
}

struct TCliRun {
    std::vector<std::string> Events, FBs, States, Values, Log;
};

TCliRun parseCli(const std::string& out)
{
    TCliRun r;
    int part = 0;
    for (const auto& l : splitLines(out)) {
        if (l.rfind("FB.Event(Algorithm)", 0) == 0)
            part = 1;
        else if (l.rfind("FB Name", 0) == 0)
            part = 2;
        else if (l.rfind("state\t", 0) == 0)
            part = 3;
        else if (l.rfind("value\t", 0) == 0 || l.rfind("var\t", 0) == 0)
            part = 4;
        else if (part >= 3)
            part = 5;
        switch (part) {
        case 1: r.Events.push_back(l); break;
        case 2: r.FBs.push_back(l); break;
        case 3: r.States.push_back(l); break;
        case 4: r.Values.push_back(l); break;
        case 5: r.Log.push_back(l); break;
        }
    }
    return r;
}

struct TAcceptanceCase {
    const char* Name;
    const char* Diagram;
    TSelection Selection;
};

void PrintTo(const TAcceptanceCase& c, std::ostream* os) { *os << c.Name; }

class Acceptance : public DebuggerFixture, public ::testing::WithParamInterface<TAcceptanceCase> {};

TEST_P(Acceptance, FourStepsShowWhatTelvoSimulatePrints)
{
    const TAcceptanceCase& c = GetParam();
    OpenPlantDiagram(c.Diagram);
    // The window docks in the editor's left panel; editing is off.
    EXPECT_EQ(Debugger->parentWidget(), Editor.get());
    EXPECT_FALSE(Editor->Palette()->isVisible());
    for (const char* name : {"btnNewFB", "btnDrawConnection", "btnInsertIPP", "btnAddNote", "btnUndo"})
        EXPECT_FALSE(Editor->Button(name)->isEnabled()) << name;
    EXPECT_TRUE(Editor->Button("btnDebug")->isChecked());

    Debugger->ShowDebugMessagesBox()->click();
    StartWith(c.Selection);
    std::vector<TFB_Instance*> simulated;
    for (const auto& fb : Debugger->Environment().RuntimeFBs())
        simulated.push_back(fb->Instance);
    for (int i = 0; i < 4; ++i)
        Step();
    Debugger->StopButton()->click();
    ASSERT_FALSE(Debugger->Running());
    ASSERT_TRUE(Settle());

    std::vector<std::string> args = {"--home", Home.Path().string(), "simulate", ProjectFile, "--diagram", c.Diagram};
    for (const auto& e : c.Selection.Events)
        args.insert(args.end(), {"--event", e});
    for (const auto& [port, value] : c.Selection.Values)
        args.insert(args.end(), {"--set", port + "=" + value});
    for (const auto& m : c.Selection.Monitors)
        args.insert(args.end(), {"--monitor", m});
    args.insert(args.end(), {"--steps", "4", "--log"});
    const ProcessResult cli = RunProcess(TELVO_CLI_PATH, args);
    ASSERT_EQ(cli.ExitCode, 0) << cli.Err;
    const TCliRun want = parseCli(cli.Out);

    // The grids' cells.
    EXPECT_EQ(normalised(Debugger->EventsTable().Lines()), normalised(want.Events));
    EXPECT_EQ(normalised(Debugger->FBTable().Lines()), normalised(want.FBs));
    EXPECT_EQ(Debugger->EventsTable().ColCount(), 6) << "t1..t4 and the closing pass";
    // The current cell is in view, with its mark drawn: a bar at its left
    // edge in the events grid, a block in the FB grid.
    for (TScheduleGrid* grid : {Debugger->EventsGrid(), Debugger->FBGrid()}) {
        const QRect cell = grid->CellRect(grid->CurrentCol(), grid->CurrentRow());
        ASSERT_FALSE(cell.isNull()) << grid->objectName().toStdString();
        const QImage img = grid->viewport()->grab().toImage();
        EXPECT_EQ(QColor(img.pixel(cell.left(), cell.center().y())), QColor(Qt::black));
        const bool block = grid == Debugger->FBGrid();
        EXPECT_EQ(QColor(img.pixel(cell.right() - 1, cell.center().y())), block ? QColor(Qt::black) : QColor(Qt::white));
    }
    // The log, as `--log` prints it (the times aside).
    EXPECT_EQ(untimed(Debugger->LogLines()), untimed(want.Log));
    EXPECT_EQ(Debugger->Log()->toPlainText().split('\n').size(), static_cast<qsizetype>(Debugger->LogLines().size()));

    // The states drawn on the instances and the monitored values.
    std::vector<std::string> states, values;
    for (const TFB_Instance* i : simulated)
        states.push_back("state\t" + i->Ref->Name + "\t" + i->StateText);
    EXPECT_EQ(states, want.States);
    for (const TFB_Instance* i : simulated)
        for (const auto* list : {&i->Ref->DataInputs, &i->Ref->DataOutputs})
            for (const auto& m : *list)
                if (m->Monitor)
                    values.push_back("value\t" + i->Ref->Name + "." + m->Name() + "\t" + m->FormatValue());
    std::sort(values.begin(), values.end());
    std::vector<std::string> wantValues = want.Values;
    std::sort(wantValues.begin(), wantValues.end());
    EXPECT_EQ(values, wantValues);
    EXPECT_EQ(values.size(), c.Selection.Monitors.size());

    // The values typed in the dialog went into the simulation only: the
    // constants stored with the diagram are as they were.
    for (const auto& [path, value] : c.Selection.Values) {
        auto [inst, port] = SplitPort(path);
        QTreeWidgetItem* node =
            TfrmVisualDebuggerSelectEvents::Node(Debugger->SelectionDialog()->DataInputTree(), inst, port);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->text(0).toStdString(), port + " ( val = " + value + " )");
    }

    // Leaving debug mode gives the palette and the editing buttons back.
    Editor->Button("btnDebug")->click();
    EXPECT_EQ(Editor->Debugger(), nullptr);
    EXPECT_FALSE(Editor->DebugMode());
    EXPECT_TRUE(Editor->Palette()->isVisible());
    EXPECT_TRUE(Editor->Button("btnNewFB")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    ExamplePlant, Acceptance,
    ::testing::Values(
        TAcceptanceCase{"FillingLine",
                        "Filling line",
                        {{"motor.S", "bottle_split.EI"}, {{"station.LEVEL", "50"}}, {"station.VALVE", "station.COUNT", "bottles.CV", "station.LEVEL"}}},
        TAcceptanceCase{"OperatorPanel",
                        "Operator panel",
                        {{"start_split.EI", "batch.REQ"}, {{"batch.LEVEL", "40"}}, {"batch.COUNT", "batch.VALVE"}}}),
    [](const ::testing::TestParamInfo<TAcceptanceCase>& info) { return std::string(info.param.Name); });

// ---- Start, Cancel, the states of the buttons ----

TEST_F(DebuggerFixture, ACancelledStartCreatesNothingAndKeepsTheTypedValues)
{
    OpenPlantDiagram("Operator panel");
    const size_t before = ThreadsNamed("telvo-");
    Answer({{"batch.REQ"}, {{"batch.LEVEL", "33"}}, {}}, false);
    Debugger->StartButton()->click();
    EXPECT_FALSE(Debugger->Running());
    EXPECT_TRUE(Debugger->StartButton()->isEnabled());
    EXPECT_FALSE(Debugger->StepButton()->isEnabled());
    EXPECT_FALSE(Debugger->Environment().Created());
    EXPECT_EQ(ThreadsNamed("telvo-"), before);
    EXPECT_EQ(Diagram->FindDrawn("batch")->Ref->FindDataInput("LEVEL")->FormatValue(), "33");
}

TEST_F(DebuggerFixture, TickingAnInstanceWithSomePortsTickedUnticksThemAll)
{
    OpenPlantDiagram("Operator panel");
    Answer({}, false);
    Debugger->StartButton()->click();
    TfrmVisualDebuggerSelectEvents& d = *Debugger->SelectionDialog();
    QTreeWidgetItem* root = TfrmVisualDebuggerSelectEvents::Node(d.EventsTree(), "batch");
    QTreeWidgetItem* req = TfrmVisualDebuggerSelectEvents::Node(d.EventsTree(), "batch", "REQ");
    ASSERT_TRUE(root && req);
    d.ClickTick(req);
    EXPECT_EQ(root->checkState(0), Qt::PartiallyChecked);
    d.ClickTick(root);
    EXPECT_EQ(root->checkState(0), Qt::Unchecked);
    EXPECT_EQ(req->checkState(0), Qt::Unchecked);
    d.ClickTick(root);
    for (int k = 0; k < root->childCount(); ++k)
        EXPECT_EQ(root->child(k)->checkState(0), Qt::Checked);
}

TEST_F(DebuggerFixture, WhileExecutingTheClipboardAndUndoLeaveTheDiagramAlone)
{
    OpenPlantDiagram("Operator panel");
    ASSERT_TRUE(Editor->DebugMode());
    for (const auto& drawn : Diagram->DrawnInstances)
        Diagram->Select(drawn.get());
    const std::string before = NetworkToText(*Diagram);
    const size_t records = Workbench->FBManager().Instances.size();
    Editor->CopyClick(); // reading is fine
    Editor->CutClick();
    Editor->PasteClick();
    Editor->DuplicateClick();
    EXPECT_EQ(Editor->EditUndoStack(), nullptr); // the main window's Undo and Redo reach nothing
    EXPECT_EQ(NetworkToText(*Diagram), before);
    EXPECT_EQ(Workbench->FBManager().Instances.size(), records);
    Editor->Button("btnDebug")->click();
    ASSERT_FALSE(Editor->DebugMode());
    EXPECT_NE(Editor->EditUndoStack(), nullptr);
}

TEST_F(DebuggerFixture, ClosingTheEditorOrLeavingDebugModeWhileRunningIsRefused)
{
    OpenPlantDiagram("Operator panel");
    StartWith({{"batch.REQ"}, {}, {}});
    Editor->Button("btnDebug")->click();
    EXPECT_TRUE(Editor->DebugMode());
    EXPECT_TRUE(Editor->Button("btnDebug")->isChecked());
    EXPECT_FALSE(Editor->close());
    Debugger->close();
    EXPECT_EQ(UI.Messages(), (std::vector<std::string>{"Please stop execution first.", "Please stop execution first.",
                                                        "Please stop simulation, before closing the window."}));
    Debugger->StopButton()->click();
    EXPECT_TRUE(Editor->close());
}

// ---- Stop and the threads ----

constexpr const char* kLoopType = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="LOOPER" Comment="Never ends its algorithm">
  <InterfaceList>
    <EventInputs><Event Name="REQ" Type="EVENT"/></EventInputs>
    <EventOutputs><Event Name="CNF" Type="EVENT"/></EventOutputs>
    <OutputVars><VarDeclaration Name="N" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB>
    <ECC>
      <ECState Name="START" x="0" y="0"/>
      <ECState Name="LOOP" x="0" y="100"><ECAction Algorithm="Spin" Output="CNF"/></ECState>
      <ECTransition Source="START" Destination="LOOP" Condition="REQ" x="0" y="50"/>
      <ECTransition Source="LOOP" Destination="START" Condition="1" x="0" y="50"/>
    </ECC>
    <Algorithm Name="Spin"><Other Language="DelphiScript" Text="while True do DO_N := DO_N + 1;"/></Algorithm>
    <Algorithm Name="Broken"><Other Language="DelphiScript" Text="this is no script"/></Algorithm>
  </BasicFB>
</FBType>
)";

constexpr const char* kLoopNetwork = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBNetwork IsInternalDeviceDiagram="false">
  <FB Name="spin" Type="LOOPER" x="600" y="600"/>
  <FB Name="other" Type="LOOPER" x="2000" y="600"/>
</FBNetwork>
)";

TEST_F(DebuggerFixture, StopDuringAStepThatNeverEndsReturnsWithinASecond)
{
    Home.Write("library/Test/LOOPER.fbt", kLoopType);
    Workbench->IndexLibrary();
    OpenNetwork(Work.Write("loop.fbn", kLoopNetwork));
    const size_t before = ThreadsNamed("telvo-");
    StartWith({{"spin.REQ"}, {}, {}});
    EXPECT_EQ(ThreadsNamed("telvo-"), before + 3) << "two FBs and the daemon";
    Debugger->StepButton()->click();
    QTest::qWait(200);
    Debugger->ApplyHostOperations();
    EXPECT_FALSE(Debugger->ModelAtRest()) << "spin loops\n" << ::testing::PrintToString(Debugger->LogLines())
                                          << ::testing::PrintToString(UI.Messages());
    // A second Step while an FB is busy does nothing and says nothing.
    Debugger->StepButton()->click();
    QElapsedTimer clock;
    clock.start();
    Debugger->StopButton()->click();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(ThreadsNamed("telvo-"), before);
    EXPECT_TRUE(UI.Messages().empty());
    Settle();
    EXPECT_EQ(std::count_if(Debugger->LogLines().begin(), Debugger->LogLines().end(),
                            [](const std::string& l) { return l.find("spin:: Stopped while busy in state LOOP") != std::string::npos; }),
              1);
    // The window keeps working: a new run starts and steps.
    StartWith({{"other.REQ"}, {}, {}});
    EXPECT_EQ(ThreadsNamed("telvo-"), before + 3);
    Debugger->StopButton()->click();
    EXPECT_EQ(ThreadsNamed("telvo-"), before);
}

TEST_F(DebuggerFixture, DeletingTheEditorDuringARunEndsEveryThread)
{
    OpenPlantDiagram("Filling line");
    const size_t before = ThreadsNamed("telvo-");
    StartWith({{"motor.S", "bottle_split.EI"}, {}, {}});
    Step();
    EXPECT_GT(ThreadsNamed("telvo-"), before);
    Editor.reset();
    EXPECT_EQ(ThreadsNamed("telvo-"), before);
}

class DebuggerInMainWindow : public ::testing::Test, public TMainFormFixture {};

TEST_F(DebuggerInMainWindow, ClosingTheProjectDuringARunLeavesNoThreadBehind)
{
    fs::copy(BuiltProgramDir() / "library", Home / "library",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    WriteSettings("[Values]\nDonotShowInitWindow=1\n");
    Start();
    TempDir work;
    fs::copy(SourceDir() / "examples" / "plant", work.Path() / "plant", fs::copy_options::recursive);
    TModalAnswers answers;
    answers.Queue(QMessageBox::No);
    Form->Projects().OpenProject((work.Path() / "plant" / "plant.crf").string());
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }, 20000));
    TFB_Diagram* line = nullptr;
    for (const auto& d : Workbench->FBManager().Diagrams)
        if (d->Name == "Filling line")
            line = d.get();
    ASSERT_NE(line, nullptr);
    emit Form->ProjectBrowser()->openDiagramRequested(line, QStringLiteral("Filling line"));
    ASSERT_EQ(Form->DiagramWindows().size(), 1u);
    auto* editor = dynamic_cast<TfrmDesignFBDiagram*>(Form->DiagramWindows()[0]);
    ASSERT_NE(editor, nullptr);
    const size_t before = ThreadsNamed("telvo-");
    editor->Button("btnDebug")->click();
    TfrmVisualDebugger* debugger = editor->Debugger();
    ASSERT_NE(debugger, nullptr);
    debugger->ExecSelectionDialog = [](TfrmVisualDebuggerSelectEvents& d) {
        d.ClickTick(TfrmVisualDebuggerSelectEvents::Node(d.EventsTree(), "bottle_split", "EI"));
        d.OkButton()->click();
    };
    debugger->StartButton()->click();
    debugger->StepButton()->click();
    EXPECT_GT(ThreadsNamed("telvo-"), before);
    Form->Projects().CloseProject();
    ASSERT_TRUE(WaitUntil([&] { return Form->DiagramWindows().empty(); }));
    EXPECT_EQ(ThreadsNamed("telvo-"), before);
}

// ---- Run and breakpoints ----

TEST_F(DebuggerFixture, ABreakpointOnFillCtrlEnteringFillStopsARunAtThatStep)
{
    OpenPlantDiagram("Filling line");
    // Set through the instance's pop-up, on the FILL_CTRL inside station.
    TFB_Instance* station = Diagram->FindDrawn("station");
    ASSERT_NE(station, nullptr);
    Diagram->ClearSelection();
    Diagram->Select(station);
    Editor->UpdateContextMenu();
    QStringList offered;
    Editor->AskBreakpointState = [&](const QStringList& states) {
        offered = states;
        return QStringLiteral("station-CTRL.FILL");
    };
    Editor->BreakWhenEnteringStateClick();
    EXPECT_TRUE(offered.contains("station-CTRL.FILL"));
    EXPECT_TRUE(offered.contains("station-GATE.START"));
    EXPECT_TRUE(Debugger->HasBreakpoint("station-CTRL", "FILL"));

    StartWith({{"motor.S", "bottle_split.EI"}, {{"station.LEVEL", "50"}}, {}});
    Debugger->RunButton()->click();
    EXPECT_TRUE(Debugger->RunningContinuously());
    ASSERT_TRUE(WaitUntil([&] { return !Debugger->RunningContinuously(); }, 20000));
    Settle();
    EXPECT_EQ(Debugger->BreakpointHit(), "station-CTRL.FILL");
    EXPECT_TRUE(Debugger->Running()) << "a breakpoint pauses, it does not stop";
    // Step 1 the motor and the split, step 2 GATE and the counter, step 3
    // CTRL takes REQ and fills: the run paused after t3.
    EXPECT_EQ(Debugger->EventsTable().ColCount(), 4);
    EXPECT_EQ(Debugger->EventsTable().Cell(0, 0), "FB.Event(Algorithm)");
    bool seen = false;
    for (int r = 1; r < Debugger->EventsTable().RowCount(); ++r)
        if (Debugger->EventsTable().Cell(0, r) == "station-CTRL.REQ()") {
            seen = true;
            EXPECT_EQ(Debugger->EventsTable().Cell(3, r), "--");
        }
    EXPECT_TRUE(seen);
    EXPECT_EQ(Diagram->FindDrawn("station")->Ref->InnerDiagram->FindDrawn("station-CTRL")->StateText, "START");
    EXPECT_TRUE(Debugger->StepButton()->isEnabled());

    // Without the breakpoint, a Run goes on until nothing is pending.
    Debugger->ToggleBreakpoint("station-CTRL", "FILL");
    Debugger->RunButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return !Debugger->RunningContinuously(); }, 20000));
    Settle();
    EXPECT_EQ(Debugger->BreakpointHit(), "");
    EXPECT_EQ(Debugger->LogLines().back(), "Run ended: no event pending");
    EXPECT_EQ(Debugger->Environment().QueuedEvents(), 0u);
    Debugger->StopButton()->click();
}

// ---- Export ----

TEST_F(DebuggerFixture, ExportWritesBothTablesAndTheLogToTheChosenFiles)
{
    OpenPlantDiagram("Operator panel");
    Debugger->ShowDebugMessagesBox()->click();
    StartWith({{"batch.REQ"}, {}, {}});
    Step();
    Debugger->StopButton()->click();
    Settle();
    std::vector<QString> asked;
    int k = 0;
    Debugger->AskSaveFileName = [&](const QString& title, const QString&) {
        asked.push_back(title);
        return QString::fromStdString((Work.Path() / ("out" + std::to_string(k++))).string());
    };
    Debugger->findChild<QToolButton*>("btnExport")->menu()->actions()[0]->trigger();
    Debugger->findChild<QToolButton*>("btnExport")->menu()->actions()[1]->trigger();
    Debugger->findChild<QToolButton*>("btnExport")->menu()->actions()[2]->trigger();
    ASSERT_EQ(asked.size(), 3u);
    auto csv = [](const TScheduleTable& t) {
        std::string out;
        for (std::string l : t.Lines()) {
            std::replace(l.begin(), l.end(), '\t', ';');
            out += l + "\n";
        }
        return out;
    };
    EXPECT_EQ(ReadFile(Work.Path() / "out0"), csv(Debugger->EventsTable()));
    EXPECT_EQ(ReadFile(Work.Path() / "out1"), csv(Debugger->FBTable()));
    EXPECT_EQ(splitLines(ReadFile(Work.Path() / "out1")).at(1), "Daemon;--;--");
    std::string log;
    for (const auto& l : Debugger->LogLines())
        log += l + "\n";
    EXPECT_EQ(ReadFile(Work.Path() / "out2"), log);
    EXPECT_NE(log.find("batch:: Go to State= FILL"), std::string::npos);
    // A file that cannot be written is said so; nothing else breaks.
    EXPECT_FALSE(Debugger->ExportLog((Work.Path() / "no" / "such" / "folder" / "log.txt").string()));
    EXPECT_EQ(UI.Messages().size(), 1u);
}

} // namespace
} // namespace telvo::test

namespace telvo::test {
namespace {

// ---- Bad input ----

TEST_F(DebuggerFixture, APortGoneWithAReloadIsDroppedAndFailingScriptsAreLoggedWhileTheWindowGoesOn)
{
    OpenPlantDiagram("Operator panel");
    // The dialog was filled with FILL_CTRL's ports; then the type loses its
    // output VALVE (reloaded from another window), and its algorithms,
    // still writing DO_VALVE, no longer compile.
    Debugger->show();
    TFB_Instance* batch = Diagram->FindDrawn("batch");
    ASSERT_NE(batch, nullptr);
    const fs::path file = batch->Ref->Type->FileName;
    std::string text = ReadFile(file);
    for (const std::string cut : {R"(        <With Var="VALVE"/>
)", R"(      <VarDeclaration Name="VALVE" Type="BOOL" Comment="The filling valve is open"/>
)"})
        for (size_t at; (at = text.find(cut)) != std::string::npos;)
            text.erase(at, cut.size());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    Workbench->FBManager().ReloadType(batch->Ref->Type);
    ASSERT_EQ(batch->Ref->FindDataOutput("VALVE"), nullptr) << batch->Ref->Type->FileName << ::testing::PrintToString(UI.Messages());

    Debugger->ShowDebugMessagesBox()->click();
    StartWith({{"batch.REQ"}, {{"batch.LEVEL", "50"}}, {"batch.VALVE", "batch.COUNT"}});
    Step();
    Step();
    const auto& log = Debugger->LogLines();
    auto has = [&](const std::string& part) {
        return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
    };
    EXPECT_TRUE(has("Data port batch.VALVE no longer exists: no longer monitored"));
    EXPECT_TRUE(has("batch:: Script failed: ")) << ::testing::PrintToString(log);
    EXPECT_TRUE(batch->Ref->FindDataOutput("COUNT")->Monitor);
    EXPECT_FALSE(TfrmVisualDebuggerSelectEvents::Node(Debugger->SelectionDialog()->DataOutputTree(), "batch", "VALVE")
                     ->checkState(0) == Qt::Checked);
    // The window goes on: the run stops and a new one starts.
    Debugger->StopButton()->click();
    EXPECT_FALSE(Debugger->Running());
    StartWith({{"batch.REQ"}, {}, {}});
    Step();
    Debugger->StopButton()->click();
    EXPECT_EQ(std::count(log.begin(), log.end(), std::string()), 0);
}

TEST_F(DebuggerFixture, OnlyApplicationDiagramsCanBeExecuted)
{
    Editor = std::make_unique<TfrmDesignFBDiagram>(*Workbench, nullptr);
    TFB_Diagram* device = Workbench->FBManager().CreateDiagram("device", 1.0);
    device->IsInternalDeviceDiagram = true;
    Editor->AttachDiagram(device);
    EXPECT_FALSE(Editor->Button("btnDebug")->isEnabled());
    auto composite = std::make_unique<TfrmDesignFBDiagram>(*Workbench, nullptr);
    composite->SetCompositeNetwork(true);
    composite->AttachDiagram(Workbench->FBManager().CreateDiagram("inner", 1.0));
    EXPECT_FALSE(composite->Button("btnDebug")->isEnabled());
}

} // namespace
} // namespace telvo::test

namespace telvo::test {
namespace {

// ---- Debug mode of the editor ----

TEST_F(DebuggerFixture, DoubleClicksInjectEventsAndToggleBooleanInputsAndTheDrawTimerShowsThem)
{
    OpenPlantDiagram("Filling line");
    StartWith({{}, {}, {}});
    ASSERT_TRUE(Settle());
    Editor->PaintDiagram();
    TFB_Instance* station = Diagram->FindDrawn("station");
    ASSERT_NE(station, nullptr);
    const TFBEventDraw& req = *station->EventInputPorts[1];
    ASSERT_EQ(req.Event->Name(), "REQ");
    const TFBDataMemberDraw& enable = *station->DataInputPorts[0];
    ASSERT_EQ(enable.Member->Name(), "ENABLE");
    const std::string constant = enable.Member->ValueText;

    auto doubleClick = [&](int x, int y) {
        QTest::mouseClick(Editor->PaintBox(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
        QTest::mouseDClick(Editor->PaintBox(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
    };
    doubleClick(req.X + 3, req.Y);
    EXPECT_TRUE(req.Event->Pending);
    EXPECT_GE(Debugger->Environment().QueuedEvents(), 1u);
    doubleClick(enable.X + 3, enable.Y);
    EXPECT_EQ(enable.Member->FormatValue(), "TRUE");
    EXPECT_TRUE(enable.Member->Monitor);
    EXPECT_EQ(enable.Member->ValueText, constant) << "the stored constant stays";

    // The draw timer blinks: while the flag is set, the pending input's
    // arrow is red; the monitored input's arrow blue.
    ASSERT_TRUE(WaitUntil([&] { return Debugger->Blink(); }, 2000));
    const QImage img = Editor->Image();
    EXPECT_EQ(QColor(img.pixel(req.X - 10, req.Y - 4)), QColor(Qt::red));
    EXPECT_EQ(QColor(img.pixel(enable.X - 10, enable.Y)), QColor(Qt::blue));

    Step();
    EXPECT_FALSE(req.Event->Pending);
    bool routed = false;
    for (int r = 1; r < Debugger->EventsTable().RowCount(); ++r)
        routed |= Debugger->EventsTable().Cell(0, r) == "station-GATE.EI()" && Debugger->EventsTable().Cell(1, r) == "--";
    EXPECT_TRUE(routed) << "station.REQ goes to the inner GATE in step 1";

    // Values queues the events still ticked again; the grids stay.
    Answer({{"motor.S"}, {}, {}});
    const int cols = Debugger->EventsTable().ColCount();
    Debugger->ValuesButton()->click();
    EXPECT_EQ(Debugger->Environment().QueuedEvents(), 1u);
    EXPECT_EQ(Debugger->EventsTable().ColCount(), cols);
    Debugger->StopButton()->click();
    EXPECT_EQ(Debugger->Environment().QueuedEvents(), 0u);
    EXPECT_FALSE(Debugger->DrawTimer()->isActive());
    EXPECT_TRUE(Debugger->StartButton()->isEnabled());
}

} // namespace
} // namespace telvo::test

namespace telvo::test {
namespace {

TEST_F(DebuggerFixture, InstancesWhoseTypeDidNotLoadAreNamedAndTheRestSimulates)
{
    fs::copy(SourceDir() / "examples" / "plant", Work.Path() / "plant", fs::copy_options::recursive);
    const fs::path fbn = Work.Path() / "plant" / "hmi.fbn";
    std::string text = ReadFile(fbn);
    const std::string before = "  <DataConnections>";
    text.insert(text.find(before), "  <FB Name=\"ghost\" Type=\"NO_SUCH_TYPE\" x=\"100\" y=\"100\"/>\n");
    std::ofstream(fbn, std::ios::binary | std::ios::trunc) << text;
    ProjectFile = (Work.Path() / "plant" / "plant.crf").string();
    OpenProject(*Workbench, ProjectFile);
    for (const auto& d : Workbench->FBManager().Diagrams)
        if (d->Name == "Operator panel")
            Diagram = d.get();
    ASSERT_NE(Diagram, nullptr);
    EXPECT_EQ(Diagram->FindDrawn("ghost"), nullptr);
    Editor = std::make_unique<TfrmDesignFBDiagram>(*Workbench, nullptr);
    Editor->resize(1200, 800);
    Editor->show();
    Editor->AttachDiagram(Diagram);
    Execute();
    Settle();
    EXPECT_EQ(Debugger->LogLines(),
              (std::vector<std::string>{"Instance ghost (type NO_SUCH_TYPE) could not be made: it is not simulated"}));
    StartWith({{"batch.REQ"}, {{"batch.LEVEL", "50"}}, {}});
    Step();
    EXPECT_EQ(Diagram->FindDrawn("batch")->StateText, "START");
    EXPECT_EQ(Diagram->FindDrawn("batch")->Ref->FindDataOutput("COUNT")->FormatValue(), "1");
    Debugger->StopButton()->click();
}

} // namespace
} // namespace telvo::test

namespace telvo::test {
namespace {

// The debug texts (states, internal variables, monitored values) cover no
// block, no instance name and no other debug text: each sits on its own
// background, moved off what it would hide.
TEST_F(DebuggerFixture, DebugTextsCoverNoBlockOrNameAndSitOnABackground)
{
    OpenPlantDiagram("Filling line");
    ASSERT_GE(Diagram->DrawnInstances.size(), 2u);
    Editor->PaintDiagram();
    // B, an instance with a data input, right under A: A's state line
    // falls on B's name.
    TFB_Instance* withInput = nullptr;
    TFBDataMemberDraw* watched = nullptr;
    for (auto& inst : Diagram->DrawnInstances)
        for (auto& p : inst->DataInputPorts)
            if (p->Member && !watched) {
                withInput = inst.get();
                watched = p.get();
            }
    ASSERT_NE(watched, nullptr);
    TFB_Instance& b = *withInput;
    TFB_Instance& a = *Diagram->DrawnInstances[&b == Diagram->DrawnInstances[0].get() ? 1 : 0];
    b.PlaceAt(a.BaseX, a.BaseY + int32_t(std::lround((a.Height + 14) / a.Scale)));
    Editor->PaintDiagram();
    // A monitored input with a value wider than the room left of its port.
    watched->Member->Monitor = true;
    watched->Member->IntValue = -1234567890;
    watched->Member->RealValue = -1234567890.25;
    watched->Member->StrValue = "a long text value";
    watched->Member->BoolValue = true;

    const QSize size(1200, 800);
    QImage plain(size, QImage::Format_RGB32), debug(size, QImage::Format_RGB32);
    TDiagramView plainView, debugView;
    debugView.DebugMode = true;
    ASSERT_TRUE(PaintDiagram(plain, Diagram, plainView));
    ASSERT_TRUE(PaintDiagram(debug, Diagram, debugView));
    ASSERT_FALSE(debugView.DebugTextBoxes.empty());

    // Every block with its name above it looks as it does outside debug
    // mode (the arrows at the ports are outside both).
    for (const auto& inst : Diagram->DrawnInstances) {
        QRect kept(QPoint(inst->X + 1, inst->Y - 14), QPoint(inst->X + inst->Width - 1, inst->Y + inst->Height - 1));
        // A glyph's names are below it.
        if (PaintsAsGlyph(*inst))
            kept.setBottom(inst->Y + inst->Height + Scaled(12, inst->Scale) + 14);
        int differ = 0;
        for (int y = std::max(0, kept.top()); y <= std::min(size.height() - 1, kept.bottom()); ++y)
            for (int x = std::max(0, kept.left()); x <= std::min(size.width() - 1, kept.right()); ++x)
                differ += plain.pixel(x, y) != debug.pixel(x, y);
        EXPECT_EQ(differ, 0) << inst->Ref->Name << ": debug text over its block or name";
    }
    // The boxes do not overlap one another, and each has the background.
    const auto& boxes = debugView.DebugTextBoxes;
    for (size_t i = 0; i < boxes.size(); ++i) {
        for (size_t j = i + 1; j < boxes.size(); ++j)
            EXPECT_FALSE(boxes[i].intersects(boxes[j])) << i << " and " << j;
        const QPoint inside = boxes[i].topLeft() + QPoint(1, 1);
        if (QRect(QPoint(0, 0), size).contains(inside))
            EXPECT_EQ(QColor(debug.pixel(inside)), QColor(0xFF, 0xFF, 0xE1)) << "box " << i;
    }
}

} // namespace
} // namespace telvo::test
