// The environment and the daemon on real diagrams: routing, fan-out,
// composites, data copies, the schedule tables and the log of a run.

#include "runtime/sim_fixture.h"

#include "model/fb_instance.h"

using namespace telvo;
using namespace telvo::test;

namespace {

using Lines = std::vector<std::string>;

TEST_F(SimTest, AStepWithAnEmptyQueueRecordsOnlyTheDaemon)
{
    Load(R"(<FB Name="A" Type="PULSE" x="0" y="0"/>
            <FB Name="B" Type="PULSE" x="0" y="0"/>
            <DataConnections><Connection Source="A.OUT" Destination="B.IN1"/></DataConnections>)");
    DataOut("A.OUT")->SetValueFromText("9");
    THeadlessSimulation sim(*Diagram);
    sim.Start({});
    ASSERT_TRUE(sim.Step());
    EXPECT_EQ(sim.Host.EventsTable().Lines(), (Lines{"FB.Event(Algorithm)\tt1", "Daemon.Resumed()\t--"}));
    EXPECT_EQ(sim.Host.FBTable().Lines(), (Lines{"FB Name\tt1", "Daemon\t--"}));
    // The first step copies nothing; the second copies along every data
    // connection and still records only the daemon.
    EXPECT_EQ(DataIn("B.IN1")->IntValue, 0);
    ASSERT_TRUE(sim.Step());
    EXPECT_EQ(DataIn("B.IN1")->IntValue, 9);
    EXPECT_EQ(sim.Host.EventsTable().Lines(), (Lines{"FB.Event(Algorithm)\tt1\tt2", "Daemon.Resumed()\t--\t--"}));
    EXPECT_EQ(sim.Environment.StepCounter(), 1);
    sim.Stop();
    // Without debug messages a healthy run writes no log line at all.
    EXPECT_TRUE(sim.Host.LogLines().empty());
}

TEST_F(SimTest, AnEventRunsTheChartAndItsAlgorithm)
{
    Load(R"(<FB Name="A" Type="PULSE" x="0" y="0"/>)");
    DataIn("A.IN1")->SetValueFromText("10");
    THeadlessSimulation sim(*Diagram);
    sim.Environment.SetShowDebugMessages(true);
    sim.Start({EventIn("A.REQ")});
    ASSERT_TRUE(sim.Step());
    EXPECT_EQ(DataOut("A.OUT")->IntValue, 11);
    EXPECT_EQ(Record("A")->InternalVars[0]->IntValue, 1);
    EXPECT_EQ(Diagram->FindDrawn("A")->StateText, "START"); // RUN, then back on "1"
    EXPECT_TRUE(EventOut("A.CNF")->Pending);                // produced, waiting for the next step
    EXPECT_EQ(sim.Host.EventsTable().Lines(),
              (Lines{"FB.Event(Algorithm)\tt1", "Daemon.Resumed()\t--", "A.REQ()\t--"}));
    ASSERT_TRUE(sim.Step());
    EXPECT_FALSE(EventOut("A.CNF")->Pending);
    sim.Stop();

    const Lines log = WithoutTime(sim.Host.LogLines());
    const Lines a = LinesStartingWith(log, "A:: ");
    EXPECT_EQ(a, (Lines{"A:: Thread suspended", "A:: Got Event: REQ", "A:: Go to State= RUN",
                        "A:: Execute Algorithm: Count", "A:: Execute Algorithm DELPHI SCRIPT: Count",
                        "A:: Produce Event Output: CNF", "A:: Got Event: -", "A:: Go to State= START",
                        "A:: Got Event: -", "A:: Thread suspended", "A:: Got Event: DESTROY"}));
    EXPECT_EQ(LinesStartingWith(log, "Daemon"),
              (Lines{"Daemon Started!", "Daemon Suspended!", "Daemon Resumed!", "Daemon Resumed!", "Daemon destroyed!"}));
    EXPECT_EQ(LinesContaining(log, "SetFBInfo"), (Lines{"SetFBInfo.I am: A"}));
    EXPECT_EQ(LinesContaining(log, "FB Thread Created!").size(), 1u);
    EXPECT_EQ(LinesContaining(log, "Generated Event"),
              (Lines{"Generated Event CNF of Function Block A, not connected to another Function Block!"}));
    EXPECT_EQ(LinesContaining(log, "Destroyed succesfully"), (Lines{"FB thread A Destroyed succesfully!"}));
    EXPECT_EQ(LinesStartingWith(log, "ExecEvent"), (Lines{"ExecEvent: REQ", "ExecEvent: DESTROY"}));
}

TEST_F(SimTest, FanOutWakesEveryDestinationInConnectionOrder)
{
    Load(R"(<FB Name="A" Type="PULSE" x="0" y="0"/>
            <FB Name="D" Type="E_SPLIT" x="0" y="0"/>
            <FB Name="B" Type="E_MERGE" x="0" y="0"/>
            <FB Name="C" Type="E_MERGE" x="0" y="0"/>
            <EventConnections>
              <Connection Source="A.CNF" Destination="B.EI2"/>
              <Connection Source="A.CNF" Destination="C.EI1"/>
              <Connection Source="A.CNF" Destination="D.EI"/>
            </EventConnections>
            <DataConnections>
              <Connection Source="A.OUT" Destination="A.IN1"/>
            </DataConnections>)");
    THeadlessSimulation sim(*Diagram);
    sim.Environment.SetShowDebugMessages(true);
    sim.Start({EventIn("A.REQ")});
    ASSERT_TRUE(sim.Step());
    ASSERT_TRUE(sim.Step());
    EXPECT_TRUE(EventOut("B.EO")->Pending);
    EXPECT_TRUE(EventOut("C.EO")->Pending);
    EXPECT_TRUE(EventOut("D.EO1")->Pending);
    sim.Stop();
    EXPECT_EQ(LinesStartingWith(WithoutTime(sim.Host.LogLines()), "ExecEvent: EI"),
              (Lines{"ExecEvent: EI2", "ExecEvent: EI1", "ExecEvent: EI"}));
    // The FB table has a row per FB that ran, the three in step t2.
    const TScheduleTable fb = sim.Host.FBTable();
    ASSERT_EQ(fb.RowCount(), 6); // header, Daemon, A, and B, C, D in the order they took their events
    for (int r = 3; r < 6; ++r)
        EXPECT_EQ(fb.Cell(2, r), "--") << fb.Cell(0, r);
}

TEST_F(SimTest, APortQueuedTwiceIsRoutedTwice)
{
    Load(R"(<FB Name="A" Type="PULSE" x="0" y="0"/>)");
    THeadlessSimulation sim(*Diagram);
    sim.Start({EventIn("A.REQ"), EventIn("A.REQ")});
    ASSERT_TRUE(sim.Step());
    // Both deliveries are taken: none replaces the other.
    EXPECT_EQ(Record("A")->InternalVars[0]->IntValue, 2);
    sim.Stop();
}

TEST_F(SimTest, DataFanOutCopiesEachConnectionWithItsOwnLogLine)
{
    Load(R"(<FB Name="A" Type="PULSE" x="0" y="0"/>
            <FB Name="B" Type="PULSE" x="0" y="0"/>
            <FB Name="C" Type="PULSE" x="0" y="0"/>
            <DataConnections>
              <Connection Source="A.OUT" Destination="C.IN1"/>
              <Connection Source="A.OUT" Destination="B.IN1"/>
            </DataConnections>)");
    DataOut("A.OUT")->SetValueFromText("4");
    THeadlessSimulation sim(*Diagram);
    sim.Environment.SetShowDebugMessages(true);
    sim.Start({});
    ASSERT_TRUE(sim.Step());
    ASSERT_TRUE(sim.Step());
    EXPECT_EQ(DataIn("B.IN1")->IntValue, 4);
    EXPECT_EQ(DataIn("C.IN1")->IntValue, 4);
    sim.Stop();
    // One copy after the step and one in the last pass that Stop makes.
    EXPECT_EQ(LinesStartingWith(WithoutTime(sim.Host.LogLines()), "vSourceData="),
              (Lines{"vSourceData=A:OUT,,,vDestData=C:IN1", "vSourceData=A:OUT,,,vDestData=B:IN1",
                     "vSourceData=A:OUT,,,vDestData=C:IN1", "vSourceData=A:OUT,,,vDestData=B:IN1"}));
}

TEST_F(SimTest, ADataCopyThatDoesNotConvertLeavesTheInput)
{
    // A text output into a number input: the input keeps its value.
    Load(R"(<FB Name="B" Type="PULSE" x="0" y="0"/>
            <FB Name="C" Type="E_DELAY" x="0" y="0"/>)");
    auto r = std::make_unique<TFB_DataAssocRef>();
    r->SourceInstance = Record("C");
    r->DestInstance = Record("B");
    r->DestPort = DataIn("B.IN1");
    r->SourcePort = DataIn("C.DT"); // any member with a text value does
    M().AddDataConn(std::move(r));
    Diagram->RebuildLines();
    DataIn("C.DT")->SetValueFromText("T#1s");
    DataIn("B.IN1")->SetValueFromText("6");
    THeadlessSimulation sim(*Diagram);
    sim.Start({});
    ASSERT_TRUE(sim.Step());
    ASSERT_TRUE(sim.Step());
    sim.Stop();
    EXPECT_EQ(DataIn("B.IN1")->IntValue, 6);
}

// M is a DUO (PULSE X and Y inside), S a PULSE after it.
class CompositeSim : public SimTest {
protected:
    CompositeSim()
    {
        Load(R"(<FB Name="M" Type="DUO" x="0" y="0"/>
                <FB Name="S" Type="PULSE" x="0" y="0"/>
                <EventConnections><Connection Source="M.DONE" Destination="S.REQ"/></EventConnections>
                <DataConnections><Connection Source="M.OUT" Destination="S.IN1"/></DataConnections>)");
        M_ = Record("M");
        X = M_->InnerDiagram->FindDrawn("M-X")->Ref;
        Y = M_->InnerDiagram->FindDrawn("M-Y")->Ref;
    }
    TFB_InstanceRef* M_ = nullptr;
    TFB_InstanceRef* X = nullptr;
    TFB_InstanceRef* Y = nullptr;
};

TEST_F(CompositeSim, EventsAndDataPassThroughTheCompositeOneStepAtATime)
{
    DataIn("M.IN")->SetValueFromText("10");
    THeadlessSimulation sim(*Diagram);
    sim.Start({EventIn("M.REQ")});
    // Runtime FBs: M, then its inner instances, then S.
    std::vector<std::string> names;
    for (const auto& fb : sim.Environment.RuntimeFBs())
        names.push_back(fb->InstanceName);
    EXPECT_EQ(names, (Lines{"M", "M-X", "M-Y", "S"}));

    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(sim.Step()) << i;
    // The input reaches only X, the first inner FB wired to it (Y.INIT is
    // wired too); Y runs on X.CNF a step later; Y.CNF becomes M.DONE, which
    // is routed one more step later to S.
    EXPECT_EQ(sim.Host.EventsTable().Lines(), (Lines{
                                                  "FB.Event(Algorithm)\tt1\tt2\tt3\tt4",
                                                  "Daemon.Resumed()\t--\t--\t--\t--",
                                                  "M-X.REQ()\t--\t\t\t",
                                                  "M-Y.REQ()\t\t--\t\t",
                                                  "S.REQ()\t\t\t\t--",
                                              }));
    // X ran before any data copy (IN1 still 0); the copy of the second step
    // brought M.IN to X and X.OUT to Y; the third M.OUT from Y.
    EXPECT_EQ(X->FindDataOutput("OUT")->IntValue, 1);
    EXPECT_EQ(X->FindDataInput("IN1")->IntValue, 10);
    EXPECT_EQ(Y->FindDataOutput("OUT")->IntValue, 2);
    EXPECT_EQ(DataOut("M.OUT")->IntValue, 2);
    EXPECT_EQ(DataOut("S.OUT")->IntValue, 3);
    sim.Stop();
}

TEST_F(CompositeSim, AnInnerOutputIsQueuedAsTheCompositesOutputForTheNextStep)
{
    THeadlessSimulation sim(*Diagram);
    sim.Start({Y->FindEventInput("REQ")});
    ASSERT_TRUE(sim.Step());
    EXPECT_TRUE(Y->FindEventOutput("CNF")->Pending);
    ASSERT_TRUE(sim.Step());
    EXPECT_TRUE(EventOut("M.DONE")->Pending);
    EXPECT_EQ(DataOut("S.OUT")->IntValue, 0);
    ASSERT_TRUE(sim.Step());
    EXPECT_FALSE(EventOut("M.DONE")->Pending);
    EXPECT_EQ(Record("S")->InternalVars[0]->IntValue, 1);
    sim.Stop();
}

TEST_F(SimTest, InstancesTwoCompositeLevelsDownGetNoRuntimeFB)
{
    Home.Write("library/test/OUTER.fbt", R"(<FBType Name="OUTER">
  <InterfaceList><EventInputs><Event Name="REQ"/></EventInputs></InterfaceList>
  <FBNetwork>
    <FB Name="D" Type="DUO" x="0" y="0"/>
    <EventConnections><Connection Source="REQ" Destination="D.REQ"/></EventConnections>
  </FBNetwork>
</FBType>)");
    Bench->IndexLibrary();
    Load(R"(<FB Name="O" Type="OUTER" x="0" y="0"/>)");
    THeadlessSimulation sim(*Diagram);
    sim.Environment.SetShowDebugMessages(true);
    sim.Start({EventIn("O.REQ")});
    std::vector<std::string> names;
    for (const auto& fb : sim.Environment.RuntimeFBs())
        names.push_back(fb->InstanceName);
    EXPECT_EQ(names, (Lines{"O", "O-D"}));
    ASSERT_TRUE(sim.Step());
    ASSERT_TRUE(sim.Step());
    sim.Stop();
    // O-D takes the event as an FB of its own, without a chart; the FBs
    // inside it do not run.
    const TScheduleTable ev = sim.Host.EventsTable();
    EXPECT_EQ(ev.Cell(0, 2), "O-D.REQ()");
    EXPECT_EQ(ev.Cell(1, 2), "--");
    EXPECT_TRUE(LinesContaining(WithoutTime(sim.Host.LogLines()), "O-D-X").empty());
}

TEST_F(SimTest, StopRecordsTheDaemonsLastPassAndTheDestroyOfEveryFB)
{
    Load(R"(<FB Name="A" Type="PULSE" x="0" y="0"/><FB Name="B" Type="PULSE" x="0" y="0"/>)");
    THeadlessSimulation sim(*Diagram);
    sim.Start({EventIn("A.REQ")});
    ASSERT_TRUE(sim.Step());
    sim.Stop();
    EXPECT_TRUE(sim.Environment.RuntimeFBs().empty());
    EXPECT_FALSE(sim.Environment.Created());
    const TScheduleTable ev = sim.Host.EventsTable();
    EXPECT_EQ(ev.Lines()[0], "FB.Event(Algorithm)\tt1\tt2");
    EXPECT_EQ(ev.Lines()[1], "Daemon.Resumed()\t--\t--");
    EXPECT_EQ(ev.Lines()[2], "A.REQ()\t--\t");
    // Both DESTROY rows, in the order the threads recorded them.
    ASSERT_EQ(ev.RowCount(), 5);
    EXPECT_EQ(ev.Cell(2, 3), "--");
    EXPECT_EQ(ev.Cell(2, 4), "--");
    EXPECT_EQ(Lines({ev.Cell(0, 3), ev.Cell(0, 4)}) == Lines({"A.DESTROY()", "B.DESTROY()"}) ||
                  Lines({ev.Cell(0, 3), ev.Cell(0, 4)}) == Lines({"B.DESTROY()", "A.DESTROY()"}),
              true);

    // A new run starts from fresh tables, fresh FBs and step 0.
    sim.Start({EventIn("B.REQ")});
    ASSERT_TRUE(sim.Step());
    EXPECT_EQ(sim.Host.EventsTable().Lines(),
              (Lines{"FB.Event(Algorithm)\tt1", "Daemon.Resumed()\t--", "B.REQ()\t--"}));
    sim.Stop();
}

TEST_F(SimTest, FailingScriptsCountAsFalseAreLoggedAndTheRunGoesOn)
{
    Load(R"(<FB Name="F" Type="BROKEN" x="0" y="0"/>)");
    THeadlessSimulation sim(*Diagram);
    sim.Start({EventIn("F.REQ")});
    ASSERT_TRUE(sim.Step());
    // The broken condition was false, the next one fired; the raising
    // algorithm changed nothing, yet its output event was produced.
    EXPECT_EQ(Diagram->FindDrawn("F")->StateText, "START");
    EXPECT_EQ(DataOut("F.OUT")->IntValue, 0);
    EXPECT_TRUE(EventOut("F.CNF")->Pending);
    sim.Stop();
    // Logged even without debug messages, with the instance and the first
    // line of the script.
    const Lines log = WithoutTime(sim.Host.LogLines());
    // The broken condition fails again when the chart is re-evaluated.
    ASSERT_EQ(log.size(), 3u);
    for (size_t i : {0u, 2u}) {
        EXPECT_EQ(log[i].rfind("F:: Script failed: Error compiling chkTransition. ", 0), 0u) << log[i];
        EXPECT_NE(log[i].find(" in \"procedure chkTransition( var theResult:Boolean);\""), std::string::npos) << log[i];
    }
    EXPECT_EQ(log[1], "F:: Script failed: no luck in \"procedure execAlg(\"");
    // The run keeps them for its report; a new run starts without them.
    EXPECT_EQ(sim.Environment.ScriptFailures(), log);
    sim.Start({});
    EXPECT_TRUE(sim.Environment.ScriptFailures().empty());
    sim.Stop();
}

} // namespace

namespace {

TEST_F(SimTest, ActionsRunInOrderAndMissingPartsOnlyLog)
{
    Load(R"(<FB Name="O" Type="ODD" x="0" y="0"/>)");
    // A DelphiScript algorithm without a line (the reader keeps no language
    // for an empty body, so it is named here).
    TFBAlgorithm* empty = M().FindType("ODD")->FindAlgorithm("Empty");
    ASSERT_TRUE(empty->OtherText.empty());
    empty->Language = "DelphiScript";
    THeadlessSimulation sim(*Diagram);
    sim.Environment.SetShowDebugMessages(true);
    sim.Start({EventIn("O.REQ")});
    ASSERT_TRUE(sim.Step());
    // The second algorithm saw what the first wrote; both events produced.
    EXPECT_EQ(DataOut("O.OUT")->IntValue, 12);
    EXPECT_TRUE(EventOut("O.CNF")->Pending);
    EXPECT_TRUE(EventOut("O.DONE")->Pending);
    ASSERT_TRUE(sim.Step());

    sim.Environment.QueueEvent(EventIn("O.INIT"));
    ASSERT_TRUE(sim.Step());
    // The state the chart lacks is taken and shown; nothing runs in it.
    EXPECT_EQ(Diagram->FindDrawn("O")->StateText, "NOWHERE");
    EXPECT_TRUE(EventOut("O.CNF")->Pending); // queued by the empty algorithm's action
    EXPECT_FALSE(EventOut("O.DONE")->Pending);
    EXPECT_EQ(DataOut("O.OUT")->IntValue, 12); // the algorithm in C did not run
    sim.Stop();

    const auto o = LinesStartingWith(WithoutTime(sim.Host.LogLines()), "O:: ");
    const std::vector<std::string> want{
        "O:: Thread suspended",
        "O:: Got Event: REQ",
        "O:: Go to State= TWO",
        "O:: Execute Algorithm: First",
        "O:: Execute Algorithm DELPHI SCRIPT: First",
        "O:: Produce Event Output: CNF",
        "O:: Execute Algorithm: Second",
        "O:: Execute Algorithm DELPHI SCRIPT: Second",
        "O:: Produce Event Output: DONE",
        "O:: Got Event: -",
        "O:: Go to State= START",
        "O:: Got Event: -",
        "O:: Thread suspended",
        "O:: Got Event: INIT",
        "O:: Go to State= GHOSTS",
        "O:: Produce Event Output: NOPE",
        "O:: Execute Algorithm: Empty",
        "O:: Execute Algorithm DELPHI SCRIPT: Empty",
        "O:: Produce Event Output: CNF",
        "O:: Execute Algorithm: Foreign",
        "O:: Produce Event Output: ",
        "O:: Got Event: -",
        "O:: Go to State= NOWHERE",
        "O:: Got Event: -",
        "O:: Thread suspended",
        "O:: Got Event: DESTROY",
    };
    EXPECT_EQ(o, want);
}

} // namespace
