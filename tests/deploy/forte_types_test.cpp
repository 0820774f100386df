// The engineer's own basic types on the runtime: asked for its type list, a
// runtime gets each basic type it lacks as a Lua form, under a name that
// changes with the form, before any FB; its FBs are created under that name.

#include "codegen/lua_form.h"
#include "deploy/deploy_fixture.h"
#include "deploy/forte.h"
#include "deploy/forte_responder.h"
#include "model/fb_manager.h"
#include "support/own_basic_types.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace telvo::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;

// The runtime's five entities, nothing else: line breaks stay raw.
std::string elementText(const std::string& lua)
{
    std::string out;
    for (char c : lua) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

// The name a CREATE of an FB type sends, or empty.
std::string loadedName(const std::string& xml)
{
    static const std::regex loaded(R"re(^<Request ID="[0-9]+" Action="CREATE"><FBType Name="([^"]*)">)re");
    std::smatch m;
    return std::regex_search(xml, m, loaded) ? m[1].str() : std::string();
}

std::vector<std::string> framesOf(const std::vector<TForteResponder::TRequest>& requests)
{
    std::vector<std::string> frames;
    for (const auto& r : requests)
        frames.push_back(r.Bytes);
    return frames;
}

// A device D with a cycle driving an own COUNTER whose count feeds an own
// CALC; the runtime knows the resource and E_CYCLE only.
class OwnTypes : public DeployTest {
protected:
    OwnTypes()
    {
        fs::copy(SourceDir() / "library" / "events", Home / "library" / "events", fs::copy_options::recursive);
        Home.Write("library/own/COUNTER.fbt", kCounterType);
        Home.Write("library/own/CALC.fbt", kCalcType);
        Bench->IndexLibrary();
        Runtime.SetTypes({"EMB_RES", "E_CYCLE", "E_SR"});
    }

    void Build(const std::string& extraType = "")
    {
        TslIECDevice* d = AddIec("D", "127.0.0.1", Runtime.Port());
        LoadMerged(R"(<FB Name="cyc" Type="E_CYCLE"/>
  <FB Name="cnt" Type="COUNTER"/>
  <FB Name="calc" Type="CALC"/>)" + extraType + R"(
  <EventConnections>
    <Connection Source="cyc.EO" Destination="cnt.CU"/>
    <Connection Source="cnt.CUO" Destination="calc.REQ"/>
  </EventConnections>
  <DataConnections>
    <Connection Source="T#50ms" Destination="cyc.DT"/>
    <Connection Source="cnt.CV" Destination="calc.A"/>
  </DataConnections>)");
        for (const char* i : {"cyc", "cnt", "calc"})
            Assign(d, i);
        if (!extraType.empty())
            Assign(d, "extra");
        ASSERT_THAT(UI.Messages(), ::testing::IsEmpty());
    }

    std::string Run(const TForteOptions& options = {})
    {
        TForteDeployment run;
        run.OnLine = [this](const std::string& line) { Shown.push_back(line); };
        run.AllowReplace = [](const std::string&, const std::string&) { return true; };
        return run.Run(PlanForteDeployment(M(), options));
    }

    TForteResponder Runtime;
    std::vector<std::string> Shown;
};

TEST_F(OwnTypes, LackedTypesGoAsLuaFormsBeforeTheFirstFB)
{
    Build();
    TForteResponder& runtime = Runtime;
    EXPECT_EQ(Run(), "");
    const auto taken = runtime.Requests();
    ASSERT_GE(taken.size(), 8u);
    const std::string counter = loadedName(taken[3].Xml), calc = loadedName(taken[4].Xml);
    // The type's name and a hash that begins with a letter: "_" before a
    // digit would send the runtime looking for a generic type.
    EXPECT_THAT(counter, ::testing::MatchesRegex("COUNTER_v[0-9a-f]{7}"));
    EXPECT_THAT(calc, ::testing::MatchesRegex("CALC_v[0-9a-f]{7}"));
    const std::vector<std::string> expected{
        TypeQueryFrame(),
        // Whether it loads types at all, with a text that does not parse.
        ManagementFrame("", R"(<Request ID="0" Action="CREATE"><FBType Name="TELVO_PROBE">(</FBType></Request>)"),
        ManagementFrame("", R"(<Request ID="1" Action="CREATE"><FB Name="D" Type="EMB_RES"/></Request>)"),
        ManagementFrame("", "<Request ID=\"2\" Action=\"CREATE\"><FBType Name=\"" + counter + "\">" +
                                elementText(MakeLuaForm(*M().FindType("COUNTER")).Text) + "</FBType></Request>"),
        ManagementFrame("", "<Request ID=\"3\" Action=\"CREATE\"><FBType Name=\"" + calc + "\">" +
                                elementText(MakeLuaForm(*M().FindType("CALC")).Text) + "</FBType></Request>"),
        ManagementFrame("D", R"(<Request ID="4" Action="CREATE"><FB Name="cyc" Type="E_CYCLE"/></Request>)"),
        ManagementFrame("D", "<Request ID=\"5\" Action=\"CREATE\"><FB Name=\"cnt\" Type=\"" + counter + "\"/></Request>"),
        ManagementFrame("D", "<Request ID=\"6\" Action=\"CREATE\"><FB Name=\"calc\" Type=\"" + calc + "\"/></Request>"),
    };
    const std::vector<std::string> frames = framesOf(taken);
    EXPECT_THAT(std::vector<std::string>(frames.begin(), frames.begin() + 8), ElementsAreArray(expected));
    // Nothing else names a type, and the line breaks of the chunk went raw.
    for (size_t i = 5; i < taken.size(); ++i)
        EXPECT_EQ(loadedName(taken[i].Xml), "") << taken[i].Xml;
    EXPECT_NE(taken[3].Xml.find('\n'), std::string::npos);
    EXPECT_EQ(taken[3].Xml.find("&#"), std::string::npos);
    EXPECT_THAT(runtime.Types(), ElementsAreArray({"EMB_RES", "E_CYCLE", "E_SR", counter.c_str(), calc.c_str()}));
    // Shown, a type's request is one line: its line breaks as \n.
    ASSERT_GE(Shown.size(), 6u);
    EXPECT_THAT(Shown[5], ::testing::StartsWith(" >D: <Request ID=\"2\" Action=\"CREATE\"><FBType Name=\"" + counter +
                                                "\">local NULL = {}\\nlocal function fail"));
    for (const auto& line : Shown)
        EXPECT_EQ(line.find('\n'), std::string::npos);
}

// Deployed again, a runtime that has the forms gets none; a changed
// algorithm makes a new form under a new name, which goes, and the FBs are
// created under it.
TEST_F(OwnTypes, AChangedTypeGoesUnderANewName)
{
    Build();
    ASSERT_EQ(Run(), "");
    const std::vector<std::string> first = Runtime.Types();
    ASSERT_EQ(first.size(), 5u);

    TForteResponder again;
    again.SetTypes(first);
    TslIECDevice* d = dynamic_cast<TslIECDevice*>(Layer().Objects.front().get());
    ASSERT_NE(d, nullptr);
    d->DeviceAddressPort = again.Port();
    EXPECT_EQ(Run(), "");
    for (const auto& r : again.Requests())
        EXPECT_EQ(loadedName(r.Xml), "") << r.Xml;
    EXPECT_EQ(again.Types(), first);

    std::string changed = kCounterType;
    const std::string step = "CNT := CNT + STEP * 2;";
    changed.replace(changed.find(step), step.size(), "CNT := CNT + STEP * 3;");
    M().ReloadTypeFromText(M().FindType("COUNTER"), changed, (Home / "library/own/COUNTER.fbt").string());
    TForteResponder changedRuntime;
    changedRuntime.SetTypes(first);
    d->DeviceAddressPort = changedRuntime.Port();
    EXPECT_EQ(Run(), "");
    const auto taken = changedRuntime.Requests();
    ASSERT_GE(taken.size(), 7u);
    const std::string renamed = loadedName(taken[3].Xml);
    EXPECT_THAT(renamed, ::testing::MatchesRegex("COUNTER_v[0-9a-f]{7}"));
    EXPECT_EQ(std::find(first.begin(), first.end(), renamed), first.end());
    EXPECT_EQ(loadedName(taken[4].Xml), ""); // CALC is there already
    EXPECT_NE(taken[5].Xml.find("<FB Name=\"cnt\" Type=\"" + renamed + "\"/>"), std::string::npos) << taken[5].Xml;
}

struct TRefusalCase {
    const char* Name;
    std::string ExtraType; // an own type file for the FB "extra", or empty
    std::string ExtraTypeName;
    size_t MaxRequestBytes;
    std::string RefuseWith; // the runtime's answer to a CREATE of a type
    std::string Message;    // {N}: the request's size
    size_t Taken;           // requests the runtime got
};
void PrintTo(const TRefusalCase& c, std::ostream* os) { *os << c.Name; }

class OwnTypeRefusal : public OwnTypes, public ::testing::WithParamInterface<TRefusalCase> {};

// A type that cannot go stops its device before anything is created; a
// runtime that cannot load types says so.
TEST_P(OwnTypeRefusal, NamesTheDeviceTheTypeAndTheReason)
{
    const TRefusalCase& c = GetParam();
    if (!c.ExtraType.empty())
        Home.Write("library/own/" + c.ExtraTypeName + ".fbt", c.ExtraType);
    Bench->IndexLibrary();
    Build(c.ExtraType.empty() ? "" : "\n  <FB Name=\"extra\" Type=\"" + c.ExtraTypeName + "\"/>");
    if (!c.RefuseWith.empty())
        Runtime.SetRefuse([&](const TForteResponder::TRequest& q) {
            return q.Xml.find("Action=\"CREATE\"><FBType") != std::string::npos ? c.RefuseWith : std::string();
        });
    TForteOptions options;
    options.MaxRequestBytes = c.MaxRequestBytes;
    const auto plans = PlanForteDeployment(M(), options);
    ASSERT_EQ(plans.size(), 1u);
    std::string message = c.Message;
    if (const size_t at = message.find("{N}"); at != std::string::npos)
        message.replace(at, 3, std::to_string(plans[0].Types.at("COUNTER").RequestBytes));
    EXPECT_EQ(Run(options), message);
    EXPECT_EQ(Runtime.Requests().size(), c.Taken);
}

std::string timedType(const std::string& name)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name=")" + name + R"(">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/></EventInputs>
    <InputVars><VarDeclaration Name="DT" Type="TIME"/></InputVars>
  </InterfaceList>
  <BasicFB><ECC><ECState Name="START"/></ECC></BasicFB>
</FBType>
)";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OwnTypeRefusal,
    ::testing::Values(
        TRefusalCase{"NoLuaForm", timedType("TIMED"), "TIMED", kForteMaxRequestBytes, "",
                     "Device D cannot take FB type TIMED: the runtime's form carries no data type TIME (DT).", 1},
        TRefusalCase{"ReadAsGeneric", timedType("MY_2"), "MY_2", kForteMaxRequestBytes, "",
                     "Device D cannot take FB type MY_2: a runtime reads a name with \"_\" before a digit as a "
                     "generic type's.",
                     1},
        TRefusalCase{"TooLarge", "", "", 2000, "",
                     "Device D cannot take FB type COUNTER: its Lua form takes a request of {N} bytes, more than the "
                     "limit of 2000 bytes.",
                     1},
        TRefusalCase{"NoTypeLoading", "", "", kForteMaxRequestBytes, "UNSUPPORTED_CMD",
                     "Device D cannot load FB types: COUNTER is not among its types.", 2},
        // What a FORTE without Lua types answers.
        TRefusalCase{"NoTypeLoadingAsFORTESaysIt", "", "", kForteMaxRequestBytes, "INVALID_OBJECT",
                     "Device D cannot load FB types: COUNTER is not among its types.", 2}),
    [](const ::testing::TestParamInfo<TRefusalCase>& info) { return info.param.Name; });

// Every shipped event type with a Lua form fits the default
// request, under a name the runtime takes for its own.
TEST_F(OwnTypes, ShippedTypesFitOneRequest)
{
    TslIECDevice* d = AddIec("D", "127.0.0.1", Runtime.Port());
    std::string body;
    int n = 0;
    for (const auto& f : FilesWithExtension(SourceDir() / "library" / "events", ".fbt"))
        body += "<FB Name=\"fb" + std::to_string(n++) + "\" Type=\"" + f.stem().string() + "\"/>\n";
    LoadMerged(body);
    for (int i = 0; i < n; ++i)
        Assign(d, "fb" + std::to_string(i));
    const auto plans = PlanForteDeployment(M());
    ASSERT_EQ(plans.size(), 1u);
    size_t forms = 0;
    for (const auto& [name, form] : plans[0].Types) {
        if (form.Lua.empty())
            continue;
        ++forms;
        EXPECT_TRUE(form.Shipped) << name;
        EXPECT_LT(form.RequestBytes, kForteMaxRequestBytes) << name;
        EXPECT_THAT(form.Versioned, ::testing::MatchesRegex(name + "_v[0-9a-f]{7}"));
    }
    EXPECT_GT(forms, 10u);
}

} // namespace
} // namespace telvo::test
