// The shipped event blocks, simulated: each event goes through the daemon
// to the block's runtime FB, whose chart and algorithms run as scripts.
// Instance records are shared by name across the diagrams of one manager,
// so every case names its instances apart.

#include "runtime/sim_fixture.h"

#include "model/fb_instance.h"


using namespace telvo;
using namespace telvo::test;

namespace {

struct BlockCase {
    const char* Name;
    const char* Network;
    std::vector<TSimStep> Steps;
};

const std::vector<BlockCase>& blockCases()
{
    static const std::vector<BlockCase> cases = {
        {"E_CTU counts up to its preset and resets",
         R"(<FB Name="C" Type="E_CTU" x="0" y="0"/>)",
         {{"C.CU", "C.PV=2", "C.CUO", "C.Q=FALSE C.CV=1"},
          {"C.CU", "", "C.CUO", "C.Q=TRUE C.CV=2"},
          {"C.CU", "", "C.CUO", "C.Q=TRUE C.CV=3"},
          {"C.R", "", "C.RO", "C.Q=FALSE C.CV=0"},
          {"C.CU", "C.PV=5", "C.CUO", "C.Q=FALSE C.CV=1"}}},
        {"E_SR sets and resets, a repeated reset says nothing",
         R"(<FB Name="SR" Type="E_SR" x="0" y="0"/>)",
         {{"SR.S", "", "SR.EO", "SR.Q=TRUE"}, {"SR.R", "", "SR.EO", "SR.Q=FALSE"}, {"SR.R", "", "", "SR.Q=FALSE"},
          {"SR.S", "", "SR.EO", "SR.Q=TRUE"}, {"SR.S", "", "", "SR.Q=TRUE"}}},
        {"E_RS the same way round",
         R"(<FB Name="RS" Type="E_RS" x="0" y="0"/>)",
         {{"RS.R", "", "", "RS.Q=FALSE"}, {"RS.S", "", "RS.EO", "RS.Q=TRUE"}, {"RS.R", "", "RS.EO", "RS.Q=FALSE"}}},
        {"E_D_FF takes D on CLK when it changes",
         R"(<FB Name="DFF" Type="E_D_FF" x="0" y="0"/>)",
         {{"DFF.CLK", "DFF.D=TRUE", "DFF.EO", "DFF.Q=TRUE"}, {"DFF.CLK", "DFF.D=TRUE", "", "DFF.Q=TRUE"},
          {"DFF.CLK", "DFF.D=FALSE", "DFF.EO", "DFF.Q=FALSE"}, {"DFF.CLK", "DFF.D=FALSE", "", "DFF.Q=FALSE"},
          {"DFF.CLK", "DFF.D=TRUE", "DFF.EO", "DFF.Q=TRUE"}}},
        {"E_R_TRIG answers rising edges only",
         R"(<FB Name="T" Type="E_R_TRIG" x="0" y="0"/>)",
         {{"T.EI", "T.QI=FALSE", "", ""}, {"T.EI", "T.QI=TRUE", "T.EO", ""}, {"T.EI", "T.QI=TRUE", "", ""},
          {"T.EI", "T.QI=FALSE", "", ""}, {"T.EI", "T.QI=TRUE", "T.EO", ""}}},
        {"E_PERMIT passes while P",
         R"(<FB Name="P" Type="E_PERMIT" x="0" y="0"/>)",
         {{"P.EI", "P.P=TRUE", "P.EO", ""}, {"P.EI", "P.P=FALSE", "", ""}, {"P.EI", "P.P=TRUE", "P.EO", ""}}},
        {"E_SWITCH by G",
         R"(<FB Name="W" Type="E_SWITCH" x="0" y="0"/>)",
         {{"W.EI", "W.G=FALSE", "W.EO0", ""}, {"W.EI", "W.G=TRUE", "W.EO1", ""}, {"W.EI", "W.G=FALSE", "W.EO0", ""}}},
        {"E_SELECT takes the input G chooses",
         R"(<FB Name="S" Type="E_SELECT" x="0" y="0"/>)",
         {{"S.EI0", "S.G=FALSE", "S.EO", ""}, {"S.EI1", "S.G=FALSE", "", ""}, {"S.EI1", "S.G=TRUE", "S.EO", ""},
          {"S.EI0", "S.G=TRUE", "", ""}}},
        {"E_SPLIT into two, E_MERGE back into one",
         R"(<FB Name="SP" Type="E_SPLIT" x="0" y="0"/>
            <FB Name="MG" Type="E_MERGE" x="0" y="0"/>
            <FB Name="CT" Type="E_CTU" x="0" y="0"/>
            <EventConnections>
              <Connection Source="SP.EO1" Destination="MG.EI1"/>
              <Connection Source="SP.EO2" Destination="MG.EI2"/>
              <Connection Source="MG.EO" Destination="CT.CU"/>
            </EventConnections>)",
         {{"SP.EI", "CT.PV=9", "SP.EO1 SP.EO2", "CT.CV=0"},
          {"", "", "MG.EO", "CT.CV=0"},
          // Both EI1 and EI2 reached MG: it merged them into two EO.
          {"", "", "CT.CUO", "CT.CV=2"}}},
    };
    return cases;
}

TEST_F(SimTest, EventBlocksAnswerAsTheStandardSays)
{
    for (const auto& c : blockCases()) {
        SCOPED_TRACE(c.Name);
        Load(c.Network, std::string("blocks") + std::to_string(&c - blockCases().data()) + ".fbn");
        THeadlessSimulation sim(*Diagram);
        sim.Start({});
        ASSERT_TRUE(sim.Step()); // the daemon's first pass: nothing queued
        for (size_t i = 0; i < c.Steps.size(); ++i) {
            const TSimStep& s = c.Steps[i];
            SCOPED_TRACE("step " + std::to_string(i + 1) + ": " + s.Event + " " + s.Inputs);
            PlayStep(sim, s);
            if (HasFatalFailure())
                return;
        }
        sim.Stop();
        // Every chart came to rest: no FB was left busy by the Stop.
        EXPECT_TRUE(sim.Host.LogLines().empty());
    }
}

TEST_F(SimTest, BlocksRestInTheStatesOfTheirCharts)
{
    Load(R"(<FB Name="F" Type="E_SR" x="0" y="0"/><FB Name="T" Type="E_R_TRIG" x="0" y="0"/>)");
    THeadlessSimulation sim(*Diagram);
    DataIn("T.QI")->SetValueFromText("TRUE");
    sim.Start({EventIn("F.S"), EventIn("T.EI")});
    ASSERT_TRUE(sim.Step());
    EXPECT_EQ(Diagram->FindDrawn("F")->StateText, "SET");
    EXPECT_EQ(Diagram->FindDrawn("T")->StateText, "HIGH");
    sim.Environment.QueueEvent(EventIn("F.R"));
    ASSERT_TRUE(sim.Step());
    EXPECT_EQ(Diagram->FindDrawn("F")->StateText, "RESET");
    sim.Stop();
}

} // namespace
