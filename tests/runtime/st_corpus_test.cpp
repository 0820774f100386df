// Real-world types written in Structured Text: every algorithm and guarded
// condition of the corpus's basic and simple FBs becomes a script the engine
// compiles, and a set of them simulates as the standard says.

#include "runtime/sim_fixture.h"

#include "model/fb_instance.h"
#include "model/file_util.h"
#include "persistence/type_file.h"
#include "runtime/algorithm_text.h"
#include "runtime/script/script_errors.h"
#include "runtime/script_check.h"


using namespace telvo;
using namespace telvo::test;

namespace {

std::filesystem::path typeLibrary() { return CorpusDir() / "4diac-typelibrary"; }

TEST(StCorpus, EveryBasicAndSimpleFBCompiles)
{
    TELVO_REQUIRE_CORPUS();
    std::vector<std::string> faults;
    size_t algorithms = 0;
    for (const auto& path : FilesWithExtension(typeLibrary(), ".fbt")) {
        TFB_Type type;
        ASSERT_TRUE(ReadFBType(ReadFileText(path), type, nullptr, path.string())) << path;
        if (type.Composite || (type.States.empty() && !type.Simple))
            continue;
        const std::string where = path.filename().string() + " ";
        for (const auto& a : type.Algorithms) {
            const std::string language = AlgorithmLanguage(*a);
            if (!EngineRunsLanguage(language))
                continue; // left unsimulated, and the log says so
            ++algorithms;
            const TScriptCheck check = CheckAlgorithm(type, *a);
            if (!check.Ok)
                faults.push_back(where + a->Name + ": " + check.Message + " at " + std::to_string(check.Line) + ":" +
                                 std::to_string(check.Column));
        }
        for (const auto& t : type.Transitions) {
            const TScriptCheck check = CheckConditionScript(type, t->Condition);
            if (!check.Ok)
                faults.push_back(where + t->Condition + ": " + check.Message);
        }
    }
    EXPECT_GT(algorithms, 300u);
    // What the simulation has no means for: array sizes of interface
    // variables (the model does not hold them), date and time-of-day values,
    // a monotonic clock.
    const std::vector<std::string> known = {
        "E_TABLE_CTRL.fbt INIT: Syntax Error: DT is no array at 3:10",
        "E_TABLE_CTRL.fbt NEXT_STEP: Syntax Error: DT is no array at 5:10",
        "F_DT_TO_DATE.fbt REQ: Syntax Error: unknown function DT_TO_DATE at 2:8",
        "F_DT_TO_TOD.fbt REQ: Syntax Error: unknown function DT_TO_TOD at 2:8",
        "E_STOPWATCH.fbt captureStartTime: Syntax Error: unknown function NOW_MONOTONIC at 2:14",
        "E_STOPWATCH.fbt calcDiff: Syntax Error: unknown function NOW_MONOTONIC at 4:7",
    };
    std::string all;
    for (const auto& f : faults)
        all += f + "\n";
    EXPECT_EQ(faults, known) << all;
}

// A workbench whose library holds corpus types only (the shipped event
// blocks carry the same names).
class StCorpusSim : public SimTest {
protected:
    void SetUp() override
    {
        if (CorpusDir().empty())
            GTEST_SKIP() << "../shared/corpus is not beside this repository: corpus tests not run";
        std::filesystem::remove_all(Home.Path() / "library" / "events");
        std::filesystem::create_directories(Home.Path() / "library" / "corpus");
        for (const char* f : {"events-1.0.0/typelib/E_CTUD.fbt", "iec61131-3-1.0.0/typelib/counters/FB_CTU.fbt",
                              "iec61131-3-1.0.0/typelib/edgeDetection/FB_R_TRIG.fbt",
                              "iec61131-3-1.0.0/typelib/bistableElements/FB_SR.fbt",
                              "events-1.0.0/typelib/E_DEMUX.fbt", "events-1.0.0/typelib/E_T_FF.fbt",
                              "convert-1.0.0/typelib/DWORD2DWORD.fbt", "signalprocessing-1.0.0/typelib/RampLimitFS.fbt",
                              "iec61131-3-1.0.0/typelib/conversion/BCD/F_BYTE_BCD_TO_USINT.fbt",
                              "events-1.0.0/typelib/E_SELECT.fbt", "events-1.0.0/typelib/E_D_FF.fbt",
                              "iec61131-3-1.0.0/typelib/conversion/LREAL/F_LREAL_TO_INT.fbt",
                              "iec61131-3-1.0.0/typelib/conversion/DINT/F_DINT_TO_INT.fbt"})
            std::filesystem::copy(typeLibrary() / f, Home.Path() / "library" / "corpus" /
                                                         std::filesystem::path(f).filename());
        Bench = std::make_unique<TWorkbench>(Home.Path(), UI);
        Bench->IndexLibrary();
    }
};

} // namespace

namespace {

struct CorpusCase {
    const char* Name;
    const char* Network;
    std::vector<TSimStep> Steps;
    const char* State; // "INST=STATE" after the last step, or empty
};

const std::vector<CorpusCase>& corpusCases()
{
    static const std::vector<CorpusCase> cases = {
        {"E_CTUD after CU CU CD CU",
         R"(<FB Name="C" Type="E_CTUD" x="0" y="0"/>)",
         {{"C.CU", "C.PV=2", "C.CO", "C.CV=1 C.QU=FALSE C.QD=FALSE"},
          {"C.CU", "", "C.CO", "C.CV=2 C.QU=TRUE C.QD=FALSE"},
          {"C.CD", "", "C.CO", "C.CV=1 C.QU=FALSE C.QD=FALSE"},
          {"C.CU", "", "C.CO", "C.CV=2 C.QU=TRUE C.QD=FALSE"}},
         "C=START"},
        {"E_CTUD does not count down from 0",
         R"(<FB Name="D" Type="E_CTUD" x="0" y="0"/>)",
         {{"D.R", "D.PV=1", "D.RO", "D.CV=0 D.QU=FALSE D.QD=TRUE"}, {"D.CD", "", "", "D.CV=0"},
          {"D.LD", "D.PV=7", "D.LDO", "D.CV=7 D.QU=TRUE D.QD=FALSE"}, {"D.CD", "", "D.CO", "D.CV=6"}},
         "D=START"},
        {"simple FB_CTU counts while CU and resets on R",
         R"(<FB Name="U" Type="FB_CTU" x="0" y="0"/>)",
         {{"U.REQ", "U.CU=TRUE U.PV=2", "U.CNF", "U.CV=1 U.Q=FALSE"},
          {"U.REQ", "", "U.CNF", "U.CV=2 U.Q=TRUE"},
          {"U.REQ", "U.CU=FALSE", "U.CNF", "U.CV=2 U.Q=TRUE"},
          {"U.REQ", "U.R=TRUE", "U.CNF", "U.CV=0 U.Q=FALSE"}},
         ""},
        {"simple FB_R_TRIG answers rising edges",
         R"(<FB Name="T" Type="FB_R_TRIG" x="0" y="0"/>)",
         {{"T.REQ", "T.CLK=TRUE", "T.CNF", "T.Q=TRUE"}, {"T.REQ", "", "T.CNF", "T.Q=FALSE"},
          {"T.REQ", "T.CLK=FALSE", "T.CNF", "T.Q=FALSE"}, {"T.REQ", "T.CLK=TRUE", "T.CNF", "T.Q=TRUE"}},
         ""},
        {"simple FB_SR sets first",
         R"(<FB Name="S" Type="FB_SR" x="0" y="0"/>)",
         {{"S.REQ", "S.S1=TRUE S.R=TRUE", "S.CNF", "S.Q1=TRUE"}, {"S.REQ", "S.S1=FALSE", "S.CNF", "S.Q1=FALSE"},
          {"S.REQ", "S.R=FALSE", "S.CNF", "S.Q1=FALSE"}},
         ""},
        {"E_DEMUX by guards on K",
         R"(<FB Name="X" Type="E_DEMUX" x="0" y="0"/>)",
         {{"X.EI", "X.K=2", "X.EO2", ""}, {"X.EI", "X.K=0", "X.EO0", ""}, {"X.EI", "X.K=5", "", ""}},
         "X=START"},
        {"E_T_FF toggles",
         R"(<FB Name="F" Type="E_T_FF" x="0" y="0"/>)",
         {{"F.CLK", "", "F.EO", "F.Q=TRUE"}, {"F.CLK", "", "F.EO", "F.Q=FALSE"}},
         ""},
        {"DWORD2DWORD passes the value",
         R"(<FB Name="W" Type="DWORD2DWORD" x="0" y="0"/>)",
         {{"W.REQ", "W.IN=4294967295", "W.CNF", "W.OUT=4294967295"}},
         ""},
        {"simple RampLimitFS: every input answers with its one output",
         R"(<FB Name="M" Type="RampLimitFS" x="0" y="0"/>)",
         {{"M.ZERO", "M.VAL_ZERO=10 M.VAL_FULL=100 M.SLOW=5 M.FAST=50", "M.CNF", "M.OUT=10"},
          {"M.UP_FAST", "", "M.CNF", "M.OUT=60"},
          {"M.UP_FAST", "", "M.CNF", "M.OUT=100"},
          {"M.DOWN_SLOW", "", "M.CNF", "M.OUT=95"},
          {"M.LOAD", "M.PV=42", "M.CNF", "M.OUT=42"}},
         ""},
        {"E_SELECT takes the input G chooses",
         R"(<FB Name="E" Type="E_SELECT" x="0" y="0"/>)",
         {{"E.EI0", "E.G=FALSE", "E.EO", ""}, {"E.EI1", "", "", ""}, {"E.EI1", "E.G=TRUE", "E.EO", ""},
          {"E.EI0", "", "", ""}},
         "E=START"},
        {"E_D_FF takes D on CLK when it changes",
         R"(<FB Name="DF" Type="E_D_FF" x="0" y="0"/>)",
         {{"DF.CLK", "DF.D=TRUE", "DF.EO", "DF.Q=TRUE"}, {"DF.CLK", "", "", "DF.Q=TRUE"},
          {"DF.CLK", "DF.D=FALSE", "DF.EO", "DF.Q=FALSE"}},
         "DF=RESET"},
        {"LREAL to INT rounds to the nearest",
         R"(<FB Name="RI" Type="F_LREAL_TO_INT" x="0" y="0"/>)",
         {{"RI.REQ", "RI.IN=2.7", "RI.CNF", "RI.OUT=3"}, {"RI.REQ", "RI.IN=-2.7", "RI.CNF", "RI.OUT=-3"}},
         ""},
        {"DINT to INT keeps the low 16 bits",
         R"(<FB Name="DI" Type="F_DINT_TO_INT" x="0" y="0"/>)",
         {{"DI.REQ", "DI.IN=70000", "DI.CNF", "DI.OUT=4464"}, {"DI.REQ", "DI.IN=-32769", "DI.CNF", "DI.OUT=32767"}},
         ""},
        {"BCD byte to USINT",
         R"(<FB Name="B" Type="F_BYTE_BCD_TO_USINT" x="0" y="0"/>)",
         {{"B.REQ", "B.IN=66", "B.CNF", "B.OUT=42"}},
         ""},
    };
    return cases;
}

TEST_F(StCorpusSim, TypesSimulateAsTheStandardSays)
{
    for (const auto& c : corpusCases()) {
        SCOPED_TRACE(c.Name);
        Load(c.Network, std::string("corpus") + std::to_string(&c - corpusCases().data()) + ".fbn");
        THeadlessSimulation sim(*Diagram);
        sim.Start({});
        ASSERT_TRUE(sim.Step());
        for (size_t i = 0; i < c.Steps.size(); ++i) {
            const TSimStep& s = c.Steps[i];
            SCOPED_TRACE("step " + std::to_string(i + 1) + ": " + s.Event + " " + s.Inputs);
            PlayStep(sim, s);
            if (HasFatalFailure())
                return;
        }
        if (*c.State) {
            const std::string st = c.State;
            EXPECT_EQ(Diagram->FindDrawn(st.substr(0, st.find('=')))->StateText, st.substr(st.find('=') + 1));
        }
        EXPECT_TRUE(sim.Environment.ScriptFailures().empty()) << sim.Environment.ScriptFailures().front();
        sim.Stop();
    }
}

} // namespace
