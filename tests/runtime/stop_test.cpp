// Stopping a run ends every thread of it promptly, whatever the FBs are
// doing, and runs can be started and stopped over and over.

#include "runtime/sim_fixture.h"

#include <chrono>

using namespace telvo;
using namespace telvo::test;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST_F(SimTest, StopEndsFBsThatNeverComeToRest)
{
    struct Case {
        const char* type;
        std::chrono::milliseconds pause;
        const char* why;
    };
    const Case cases[] = {
        {"LOOPER", 0ms, "event-less transitions in a cycle, no pause"},
        {"LOOPER", 60s, "the same, asleep in a long pause"},
        {"SPINNER", 0ms, "an algorithm that loops for good"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        // Records are shared by name across diagrams: each case has its own.
        const std::string n = std::to_string(&c - cases);
        const std::string net = "<FB Name=\"L" + n + "\" Type=\"" + c.type + "\" x=\"0\" y=\"0\"/>" +
                                "<FB Name=\"P" + n + "\" Type=\"PULSE\" x=\"0\" y=\"0\"/>";
        Load(net, "stop" + n + ".fbn");
        const size_t before = SimulationThreads();
        THeadlessSimulation sim(*Diagram, c.pause);
        sim.Start({EventIn("L" + n + ".REQ")});
        // Two runtime FBs and the daemon: the count sees the run's threads.
        EXPECT_EQ(SimulationThreads(), before + 3);
        // The busy FB keeps the step from coming to rest.
        EXPECT_FALSE(sim.Step(200ms));
        EXPECT_FALSE(sim.Environment.AllRuntimeFBsIdle());
        EXPECT_FALSE(sim.Environment.Step()); // a further step is refused

        const auto t0 = Clock::now();
        sim.Stop();
        EXPECT_LT(Clock::now() - t0, 1s);
        EXPECT_TRUE(sim.Environment.RuntimeFBs().empty());
        EXPECT_EQ(SimulationThreads(), before);

        const auto log = WithoutTime(sim.Host.LogLines());
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].rfind("L" + n + ":: Stopped while busy in state ", 0), 0u) << log[0];
    }
}

TEST_F(SimTest, DestroyingTheEnvironmentMidRunEndsEveryThread)
{
    Load(R"(<FB Name="L" Type="LOOPER" x="0" y="0"/>)");
    const size_t before = SimulationThreads();
    const auto t0 = Clock::now();
    {
        THeadlessSimulation sim(*Diagram);
        sim.Start({EventIn("L.REQ")});
        EXPECT_FALSE(sim.Step(50ms));
    }
    EXPECT_LT(Clock::now() - t0, 1s);
    EXPECT_EQ(SimulationThreads(), before);
}

TEST_F(SimTest, AThousandRunsOfACompositeDiagram)
{
    Load(R"(<FB Name="M" Type="DUO" x="0" y="0"/>
            <FB Name="S" Type="PULSE" x="0" y="0"/>
            <EventConnections><Connection Source="M.DONE" Destination="S.REQ"/></EventConnections>
            <DataConnections><Connection Source="M.OUT" Destination="S.IN1"/></DataConnections>)");
    const size_t before = SimulationThreads();
    THeadlessSimulation sim(*Diagram);
    TFB_InstanceRef* s = Record("S");
    for (int run = 0; run < 1000; ++run) {
        sim.Start({EventIn("M.REQ")});
        // Four steps carry the event through X, Y, DONE to S: a lost wake-up
        // shows as a step that does not come to rest, or as S not counting.
        for (int step = 0; step < 4; ++step)
            ASSERT_TRUE(sim.Step(5s)) << "run " << run << " step " << step;
        sim.Stop();
        ASSERT_EQ(s->InternalVars[0]->IntValue, run + 1) << "run " << run;
    }
    EXPECT_EQ(SimulationThreads(), before);
}

} // namespace

namespace {

TEST_F(SimTest, AnFBEndedByARoutedDestroyTakesNothingMore)
{
    // An event input that happens to be named DESTROY ends the FB's thread
    // when an event is routed to it; later events to it are dropped instead
    // of leaving the FB busy for good.
    Home.Write("library/test/QUITTER.fbt", R"(<FBType Name="QUITTER">
  <InterfaceList><EventInputs><Event Name="REQ"/><Event Name="DESTROY"/></EventInputs></InterfaceList>
  <BasicFB><ECC><ECState Name="START"/></ECC></BasicFB>
</FBType>)");
    Bench->IndexLibrary();
    Load(R"(<FB Name="Q" Type="QUITTER" x="0" y="0"/>)");
    THeadlessSimulation sim(*Diagram);
    sim.Start({EventIn("Q.DESTROY")});
    ASSERT_TRUE(sim.Step(5s));
    sim.Environment.QueueEvent(EventIn("Q.REQ"));
    ASSERT_TRUE(sim.Step(5s));
    EXPECT_TRUE(sim.Environment.AllRuntimeFBsIdle());
    const auto t0 = Clock::now();
    sim.Stop();
    EXPECT_LT(Clock::now() - t0, 1s);
    const TScheduleTable ev = sim.Host.EventsTable();
    EXPECT_EQ(ev.Cell(0, 2), "Q.DESTROY()");
    EXPECT_EQ(ev.RowCount(), 3); // no Q.REQ()
}

} // namespace
