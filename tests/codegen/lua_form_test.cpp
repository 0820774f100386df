// The Lua form of a basic type, run by Debian's lua5.4 under a harness that
// plays the runtime's part (tests/codegen/lua_harness.lua), against the
// simulation running the same type.

#include "codegen/lua_form.h"

#include "model/fb_instance.h"
#include "model/fb_type.h"
#include "model/value_text.h"
#include "persistence/type_file.h"
#include "runtime/script_generation.h"
#include "runtime/sim_fixture.h"
#include "support/own_basic_types.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>

using namespace telvo;
using namespace telvo::test;
namespace fs = std::filesystem;

namespace {

std::string luaProgram()
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (fs::exists(fs::path(dir) / "lua5.4"))
            return (fs::path(dir) / "lua5.4").string();
    return {};
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

// Runs the chunk under the harness with the commands; its output lines.
std::vector<std::string> runHarness(const TempDir& dir, const std::string& chunk, const std::string& commands)
{
    const std::string lua = luaProgram();
    EXPECT_FALSE(lua.empty()) << "lua5.4 is not installed (scripts/setup installs it)";
    const auto chunkFile = dir.Write("chunk.lua", chunk);
    const auto commandFile = dir.Write("commands.txt", commands);
    const auto r = RunProcess(lua, {(SourceDir() / "tests/codegen/lua_harness.lua").string(), chunkFile.string(),
                                    commandFile.string()});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return lines(r.Out);
}

std::unique_ptr<TFB_Type> readType(const std::string& xml)
{
    auto type = std::make_unique<TFB_Type>();
    EXPECT_TRUE(ReadFBType(xml, *type, nullptr, "type.fbt"));
    return type;
}

std::string hex(const std::string& s)
{
    std::string h;
    char buf[4];
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        h += buf;
    }
    return h;
}

std::string realText(double d)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return buf;
}

// A value as the harness writes it, from what the simulation holds.
template <typename Member>
std::string shown(const Member& m, const std::string& name, const std::string& typeText)
{
    switch (DataTypeClass(typeText)) {
    case TDataTypeClass::Boolean: return m.BoolValue ? "true" : "false";
    case TDataTypeClass::Integer: return std::to_string(m.IntValue);
    case TDataTypeClass::Real: return realText(static_cast<double>(m.RealValue));
    case TDataTypeClass::String: break;
    }
    int64_t value = 0;
    if (TextIntegerForScript(name, typeText, m.StrValue, value))
        return std::to_string(value);
    return "s" + hex(m.StrValue);
}

// The values the differential runs give to inputs of each type.
std::vector<std::string> valuePool(const std::string& typeText)
{
    if (typeText == "BOOL")
        return {"TRUE", "FALSE"};
    if (typeText == "REAL" || typeText == "LREAL")
        return {"2.5", "-1.25", "0", "7"};
    if (typeText == "STRING" || typeText == "WSTRING")
        return {"", "ab", "x'y", "12"};
    if (const auto t = IecIntegerType(typeText); t && !t->Signed)
        return {"0", "1", "7", "100000"};
    if (typeText == "SINT" || typeText == "BYTE")
        return {"0", "1", "-3", "5", "100"};
    return {"-7", "0", "1", "2", "3", "5", "100000"};
}

struct TTypeSource {
    std::string Name;
    std::string Xml;
};
void PrintTo(const TTypeSource& t, std::ostream* os) { *os << t.Name; }

// Every basic type of the shipped library that has a Lua form, and the own
// types of the tests.
std::vector<TTypeSource> differentialTypes()
{
    std::vector<TTypeSource> types;
    for (const auto& f : FilesWithExtension(SourceDir() / "library", ".fbt")) {
        const std::string xml = ReadFile(f);
        auto type = readType(xml);
        if (type->Composite || type->States.empty())
            continue;
        try {
            MakeLuaForm(*type);
        } catch (const ELuaFormError&) {
            continue; // see LibraryTypesWithoutLuaForm
        }
        types.push_back({type->Name, xml});
    }
    types.push_back({"CALC", kCalcType});
    types.push_back({"KEYWORDS", kKeywordsType});
    types.push_back({"COUNTER", kCounterType});
    types.push_back({"PULSE", kPulseType});
    // ODD without its algorithm in another language: a missing algorithm
    // and output event, an empty algorithm, a state the chart lacks.
    std::string odd = kOddType;
    const std::string foreign = R"(<ECAction Algorithm="Foreign" Output=""/>)";
    odd.erase(odd.find(foreign), foreign.size());
    odd.replace(odd.find("Name=\"ODD\""), 10, "Name=\"ODDLY\"");
    types.push_back({"ODDLY", odd});
    return types;
}

class LuaFormAgainstSimulation : public SimTest, public ::testing::WithParamInterface<TTypeSource> {};

// Three seeded sequences of events with input values per type: the harness
// and the simulation go through the same states, produce the same output
// events in the same order, and leave the same outputs, internal variables
// and state after every event.
TEST_P(LuaFormAgainstSimulation, RunsAsTheSimulationRuns)
{
    const TTypeSource& source = GetParam();
    std::string xml = source.Xml;
    for (size_t at; (at = xml.find("MARKER")) != std::string::npos;)
        xml.replace(at, 6, (Home.Path() / "marker").string());
    Home.Write("library/own/" + source.Name + ".fbt", xml);
    Bench->IndexLibrary();

    for (unsigned seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const std::string inst = "F" + std::to_string(seed);
        Load("<FB Name=\"" + inst + "\" Type=\"" + source.Name + "\" x=\"0\" y=\"0\"/>",
             "net" + std::to_string(seed) + ".fbn");
        TFB_InstanceRef* ref = Record(inst);
        ASSERT_NE(ref, nullptr);
        ASSERT_NE(ref->Type, nullptr);
        const TFB_Type* type = ref->Type;
        const TLuaForm form = MakeLuaForm(*type);
        THeadlessSimulation sim(*Diagram);
        sim.Environment.SetShowDebugMessages(true);
        sim.Start({});
        ASSERT_TRUE(sim.Step());

        std::mt19937 random(seed * 7919u + static_cast<unsigned>(source.Name.size()));
        std::string commands;
        std::vector<std::string> expected;
        size_t logSeen = sim.Host.LogLines().size();
        // The harness starts with the initial values the runtime gives.
        for (size_t i = 0; i < ref->DataInputs.size(); ++i) {
            const auto& d = *ref->DataInputs[i];
            commands += "di " + std::to_string(i) + " " + shown(d, d.Name(), d.Decl->Type) + "\n";
        }
        for (int step = 0; step < 25 && !type->EventInputs.empty(); ++step) {
            for (size_t i = 0; i < ref->DataInputs.size(); ++i) {
                auto& d = *ref->DataInputs[i];
                if (random() % 10 < 3)
                    continue;
                const auto pool = valuePool(d.Decl->Type);
                d.SetValueFromText(pool[random() % pool.size()]);
                commands += "di " + std::to_string(i) + " " + shown(d, d.Name(), d.Decl->Type) + "\n";
            }
            const size_t ev = random() % type->EventInputs.size();
            commands += "ev " + std::to_string(ev) + "\n";
            sim.Environment.QueueEvent(ref->EventInputs[ev].get());
            ASSERT_TRUE(sim.Step());

            const auto log = WithoutTime(sim.Host.LogLines());
            const std::string goTo = inst + ":: Go to State= ", produce = inst + ":: Produce Event Output: ";
            for (size_t k = logSeen; k < log.size(); ++k) {
                if (log[k].rfind(goTo, 0) == 0)
                    expected.push_back("state " + log[k].substr(goTo.size()));
                else if (log[k].rfind(produce, 0) == 0 && type->FindEventOutput(log[k].substr(produce.size())))
                    expected.push_back("emit " + log[k].substr(produce.size()));
            }
            logSeen = log.size();
            for (size_t i = 0; i < ref->DataOutputs.size(); ++i) {
                const auto& d = *ref->DataOutputs[i];
                expected.push_back("do " + std::to_string(i) + " " + shown(d, d.Name(), d.Decl->Type));
            }
            for (size_t i = 0; i < ref->InternalVars.size(); ++i) {
                const auto& v = *ref->InternalVars[i];
                expected.push_back("iv " + std::to_string(i) + " " + shown(v, v.Decl->Name, v.Decl->Type));
            }
            const std::string state = Diagram->FindDrawn(inst)->StateText;
            expected.push_back("now " + (state.empty() ? std::string("START") : state));
        }
        sim.Stop();

        std::vector<std::string> got;
        for (const auto& l : runHarness(Home, form.Text, commands)) {
            if (l.rfind("state ", 0) == 0 || l.rfind("now ", 0) == 0) {
                const size_t space = l.find(' ');
                const size_t index = std::stoul(l.substr(space + 1));
                ASSERT_LT(index, form.States.size()) << l;
                got.push_back(l.substr(0, space + 1) + form.States[index]);
            } else if (l.rfind("emit ", 0) == 0) {
                got.push_back("emit " + type->EventOutputs.at(std::stoul(l.substr(5)))->Name);
            } else {
                got.push_back(l);
            }
        }
        EXPECT_EQ(got, expected) << commands;
    }
    EXPECT_FALSE(fs::exists(Home.Path() / "marker"));
}

INSTANTIATE_TEST_SUITE_P(Types, LuaFormAgainstSimulation, ::testing::ValuesIn(differentialTypes()),
                         [](const ::testing::TestParamInfo<TTypeSource>& info) { return info.param.Name; });

// Texts made to break out of the generated code stay data: the harness
// (which runs the chunk with the whole standard library in reach) runs
// nothing, and hands out exactly the text the algorithm built.
TEST(LuaForm, TextsFromTheUserStayData)
{
    TempDir dir;
    std::string xml = kBadNamesType;
    for (size_t at; (at = xml.find("MARKER")) != std::string::npos;)
        xml.replace(at, 6, (dir.Path() / "marker").string());
    auto type = readType(xml);
    const TLuaForm form = MakeLuaForm(*type);
    EXPECT_EQ(form.Text.find("internalFBs"), std::string::npos);
    EXPECT_EQ(form.Text.find("// ]]"), std::string::npos) << "a comment reached the chunk";

    const auto out = runHarness(dir, form.Text, "di 0 s" + hex("<in>") + "\nev 0\n");
    const std::string t = "\") os.execute(\"touch " + (dir.Path() / "marker").string() + "\") print(\"\n]]<in>\xc3\x88internalFBs\\";
    const std::string u = "]]..os.execute(\"touch " + (dir.Path() / "marker").string() + "\")..[[</FBType><";
    EXPECT_EQ(out, (std::vector<std::string>{"state 2", "emit 0", "state 1", "do 0 s" + hex(t), "do 1 s" + hex(u),
                                             "iv 0 s" + hex(u.substr(0, u.size() - 10)), "now 1"}));
    EXPECT_FALSE(fs::exists(dir.Path() / "marker"));
}

// An algorithm that never ends and a chart that never rests give up after
// the step budget with the engine's message, and the runtime goes on.
TEST(LuaForm, EndlessLoopsRunOutOfSteps)
{
    for (const char* xml : {kSpinnerType, kLooperType}) {
        auto type = readType(xml);
        SCOPED_TRACE(type->Name);
        TempDir dir;
        const auto out = runHarness(dir, MakeLuaForm(*type).Text, "ev 0\n");
        ASSERT_FALSE(out.empty());
        EXPECT_NE(std::find(out.begin(), out.end(), "error Instruction limit reached"), out.end());
    }
}

struct TRefusal {
    const char* Name;
    std::string Xml;
    const char* Reason;
};
void PrintTo(const TRefusal& r, std::ostream* os) { *os << r.Name; }

std::string basicType(const std::string& vars, const std::string& algorithm, const std::string& condition = "REQ",
                      const std::string& language = "DelphiScript", const std::string& internals = "")
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="T">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/></EventInputs>
    <EventOutputs><Event Name="CNF"/></EventOutputs>
    <OutputVars>)" + vars + R"(</OutputVars>
  </InterfaceList>
  <BasicFB>
    <InternalVars>)" + internals + R"(</InternalVars>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="RUN"><ECAction Algorithm="Run" Output="CNF"/></ECState>
      <ECTransition Source="START" Destination="RUN" Condition=")" + condition + R"("/>
      <ECTransition Source="RUN" Destination="START" Condition="1"/>
    </ECC>
    <Algorithm Name="Run"><Other Language=")" + language + R"(" Text=")" + algorithm + R"("/></Algorithm>
  </BasicFB>
</FBType>
)";
}

class LuaFormRefusal : public ::testing::TestWithParam<TRefusal> {};

TEST_P(LuaFormRefusal, NamesTheReason)
{
    auto type = readType(GetParam().Xml);
    try {
        MakeLuaForm(*type);
        FAIL() << "no refusal";
    } catch (const ELuaFormError& e) {
        // A compiler's message follows the reason where there is one.
        EXPECT_EQ(std::string(e.what()).rfind(GetParam().Reason, 0), 0u) << e.what();
    }
}

const std::string kOut = R"(<VarDeclaration Name="Y" Type="INT"/>)";

INSTANTIATE_TEST_SUITE_P(
    Types, LuaFormRefusal,
    ::testing::Values(
        TRefusal{"Composite", kDuoType, "it is a composite type"},
        TRefusal{"NoEcc",
                 R"(<FBType Name="T"><InterfaceList><EventInputs><Event Name="REQ"/></EventInputs></InterfaceList><BasicFB/></FBType>)",
                 "it has no ECC"},
        TRefusal{"OtherLanguage", basicType(kOut, "Y := 1;", "REQ", "C"),
                 "algorithm Run is in C, which the simulation does not run"},
        TRefusal{"ForeignAlgorithmAmongOthers", kOddType, "algorithm Foreign is in C, which the simulation does not run"},
        TRefusal{"TimeVariable", basicType(R"(<VarDeclaration Name="DT" Type="TIME"/>)", "DO_DT := 1;"),
                 "the runtime's form carries no data type TIME (DT)"},
        TRefusal{"Array", basicType(kOut, "DO_Y := 1;", "REQ", "DelphiScript",
                                            R"(<VarDeclaration Name="V" Type="INT" ArraySize="4"/>)"),
                 "V is an array"},
        TRefusal{"ConditionDoesNotCompile", basicType(kOut, "DO_Y := 1;", "REQ AND ("),
                 "the condition of the transition from START to RUN does not compile: "},
        TRefusal{"TryBlock", basicType(kOut, "try&#10;  DO_Y := 1;&#10;except&#10;  DO_Y := 2;&#10;end;"),
                 "algorithm Run uses objects, exceptions or try blocks, which the runtime's form does not carry"},
        TRefusal{"Evaluate", basicType(kOut, "DO_Y := Evaluate('1 + 2');"),
                 "algorithm Run calls Evaluate, which the runtime's form does not carry"}),
    [](const ::testing::TestParamInfo<TRefusal>& info) { return info.param.Name; });

// The shipped types that keep time cannot go: the runtime has its own.
TEST(LuaForm, LibraryTypesWithoutLuaForm)
{
    std::vector<std::string> refused;
    for (const auto& f : FilesWithExtension(SourceDir() / "library", ".fbt")) {
        auto type = readType(ReadFile(f));
        if (type->Composite || type->States.empty())
            continue;
        try {
            MakeLuaForm(*type);
        } catch (const ELuaFormError& e) {
            refused.push_back(type->Name + ": " + e.what());
        }
    }
    EXPECT_EQ(refused, (std::vector<std::string>{
                           "E_CYCLE: the runtime's form carries no data type TIME (DT)",
                           "E_DELAY: the runtime's form carries no data type TIME (DT)",
                           "E_N_TABLE: the runtime's form carries no data type TIME (DT)",
                           "E_TABLE: the runtime's form carries no data type TIME (DT)",
                           "E_TRAIN: the runtime's form carries no data type TIME (DT)",
                       }));
}

} // namespace

namespace {

// telvo type lua FILE.fbt [--out FILE]
TEST(LuaFormCli, PrintsOrWritesTheFormAndRefusesWithTheReason)
{
    TempDir dir;
    const auto counter = dir.Write("COUNTER.fbt", kCounterType);
    const std::string form = MakeLuaForm(*readType(kCounterType)).Text;
    const std::string home = dir.Path().string();

    auto printed = RunProcess(TELVO_CLI_PATH, {"--home", home, "type", "lua", counter.string()});
    EXPECT_EQ(printed.ExitCode, 0) << printed.Err;
    EXPECT_EQ(printed.Out, form);

    const auto out = dir.Path() / "out" / "counter.lua";
    fs::create_directories(out.parent_path());
    auto written = RunProcess(TELVO_CLI_PATH, {"--home", home, "type", "lua", counter.string(), "--out", out.string()});
    EXPECT_EQ(written.ExitCode, 0) << written.Err;
    EXPECT_EQ(written.Out, "");
    EXPECT_EQ(ReadFile(out), form);

    const auto timed = dir.Write("TIMED.fbt", basicType(R"(<VarDeclaration Name="DT" Type="TIME"/>)", "DO_DT := 1;"));
    const struct {
        const char* what;
        std::vector<std::string> args;
        int exitCode;
        std::string err;
    } cases[] = {
        {"no Lua form", {timed.string()}, 1,
         "telvo: T has no Lua form: the runtime's form carries no data type TIME (DT)\n"},
        {"no file", {}, 2, "telvo: type lua needs a FILE.fbt\n"},
        {"two files", {counter.string(), timed.string()}, 2, "telvo: type lua takes one FILE.fbt\n"},
        {"--out without a file", {counter.string(), "--out"}, 2, "telvo: --out needs a FILE\n"},
        {"an unknown option", {counter.string(), "--fast"}, 2, "telvo: type lua: unknown option --fast\n"},
        {"a missing file", {(dir.Path() / "none.fbt").string()}, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args{"--home", home, "type", "lua"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        auto r = RunProcess(TELVO_CLI_PATH, args);
        EXPECT_EQ(r.ExitCode, c.exitCode) << r.Err;
        EXPECT_EQ(r.Out, "");
        if (!c.err.empty())
            EXPECT_EQ(r.Err.substr(0, c.err.size()), c.err);
        else
            EXPECT_NE(r.Err, "");
    }
    auto help = RunProcess(TELVO_CLI_PATH, {"type", "lua", "--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_THAT(help.Out, ::testing::HasSubstr("FILE.fbt [--out FILE]"));
}

} // namespace
