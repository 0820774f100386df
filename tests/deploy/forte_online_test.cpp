// Online work on a running resource through the client: a poll's answer
// read port by port, forced values checked against the port's type, and a
// watch, force, trigger and reset against the in-test runtime.

#include "deploy/forte.h"
#include "deploy/forte_responder.h"
#include "model/fb_type.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace telvo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Resource/FB.PORT=VALUE, with " forced" or " @TIME" for an event.
std::vector<std::string> shown(const std::vector<TForteWatchValue>& values)
{
    std::vector<std::string> out;
    for (const auto& v : values)
        out.push_back(v.Resource + "/" + v.FB + "." + v.Port + "=" + v.Value + (v.Forced ? " forced" : "") +
                      (v.Event ? " @" + v.Time : ""));
    return out;
}

struct TPollCase {
    const char* Name;
    std::string Xml;
    bool Ok;
    std::vector<std::string> Values; // or a part of the error
};

class PollAnswerTest : public ::testing::TestWithParam<TPollCase> {};

TEST_P(PollAnswerTest, IsReadPortByPort)
{
    TForteResponse response;
    response.Xml = GetParam().Xml;
    std::vector<TForteWatchValue> values;
    std::string error;
    ASSERT_EQ(ParseForteWatches(response, values, error), GetParam().Ok) << error;
    if (GetParam().Ok)
        EXPECT_EQ(shown(values), GetParam().Values);
    else
        EXPECT_THAT(error, HasSubstr(GetParam().Values.at(0)));
}

INSTANTIATE_TEST_SUITE_P(
    Watches, PollAnswerTest,
    ::testing::Values(
        TPollCase{"LongForm",
                  R"(<Response ID="4"><Watches><Resource name="R"><FB name="F"><Port name="CV"><Data value="3" forced="false"/></Port><Port name="CU"><Data value="3" time="51234"/></Port></FB></Resource></Watches></Response>)",
                  true,
                  {"R/F.CV=3", "R/F.CU=3 @51234"}},
        TPollCase{"LaidOutAsTheRuntimeSendsIt",
                  "<Response ID=\"4\">\n  <Watches>\n    <Resource name=\"R\"><FB name=\"c\"><Port name=\"PV\"><Data "
                  "value=\"7\" forced=\"true\"/></Port><Port name=\"CU\"><Data value=\"1\" time=\"1126\"/>\n</Port></FB>"
                  "</Resource>\n  </Watches>\n</Response>",
                  true,
                  {"R/c.PV=7 forced", "R/c.CU=1 @1126"}},
        TPollCase{"NoWatchAtAll", R"(<Response ID="4" />)", true, {}},
        TPollCase{"ForcedAndEscaped",
                  R"(<Response ID="4"><Watches><Resource name="R"><FB name="F"><Port name="S"><Data value="a &lt;b&gt; &amp; &quot;c&quot;" forced="true"/></Port></FB></Resource><Resource name="Q"><FB name="G"><Port name="T"><Data value="T#1500ms" forced="false"/></Port></FB></Resource></Watches></Response>)",
                  true,
                  {"R/F.S=a <b> & \"c\" forced", "Q/G.T=T#1500ms"}},
        TPollCase{"AnotherAnswer",
                  R"(<Response ID="4"><Connection Source="F.CV" Destination="3"/></Response>)", false,
                  {"lists no watches"}},
        TPollCase{"PortWithoutData",
                  R"(<Response ID="4"><Watches><Resource name="R"><FB name="F"><Port name="CV"/></FB></Resource></Watches></Response>)",
                  false, {"port without data"}},
        TPollCase{"NotXml", "<Response ID=\"4\"><Watches>", false, {"no Response"}}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TForceCase {
    const char* Name;
    const char* Type;
    const char* Text;
    const char* Literal; // empty: refused
};

class ForceValueTest : public ::testing::TestWithParam<TForceCase> {};

TEST_P(ForceValueTest, IsCheckedAgainstThePortsType)
{
    TFB_DataInput port;
    port.Name = "IN";
    port.Type = GetParam().Type;
    std::string error;
    const std::string literal = ForteForceLiteral(port, GetParam().Text, error);
    EXPECT_EQ(literal, GetParam().Literal);
    EXPECT_EQ(error.empty(), std::string(GetParam().Literal).size() > 0) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Types, ForceValueTest,
    ::testing::Values(TForceCase{"Int", "INT", "42", "42"}, TForceCase{"IntNotANumber", "INT", "4x", ""},
                      TForceCase{"IntTooLarge", "INT", "40000", ""}, TForceCase{"UsintNegative", "USINT", "-1", ""},
                      TForceCase{"UdintHex", "UDINT", "16#FFFFFFFF", "16#FFFFFFFF"},
                      TForceCase{"BoolTrue", "BOOL", "true", "TRUE"}, TForceCase{"BoolOne", "BOOL", "1", "TRUE"},
                      TForceCase{"BoolWord", "BOOL", "yes", ""}, TForceCase{"Real", "REAL", "1.5", "1.5"},
                      TForceCase{"RealWord", "REAL", "fast", ""}, TForceCase{"RealEmpty", "REAL", "", ""},
                      TForceCase{"StringQuoted", "STRING", "it's", "'it$'s'"},
                      TForceCase{"Time", "TIME", "T#1500ms", "T#1500ms"}),
    [](const auto& info) { return std::string(info.param.Name); });

// The watch's answer estimate grows with each port and stays above what a
// poll of those ports can really bring; the longest list that fits is
// found.
TEST(ForteWatchSize, ThePortsThatFitInOneAnswerAreCounted)
{
    std::vector<TForteWatchSpec> watches;
    for (int i = 0; i < 2000; ++i)
        watches.push_back({"fb" + std::to_string(i / 10) + ".P" + std::to_string(i % 10), "STRING", false});
    const size_t fit = ForteWatchesThatFit("RES", watches);
    ASSERT_GT(fit, 0u);
    ASSERT_LT(fit, watches.size());
    EXPECT_LE(ForteWatchAnswerBytes("RES", {watches.begin(), watches.begin() + static_cast<ptrdiff_t>(fit)}),
              kForteAnswerLimit);
    EXPECT_GT(ForteWatchAnswerBytes("RES", {watches.begin(), watches.begin() + static_cast<ptrdiff_t>(fit) + 1}),
              kForteAnswerLimit);

    // An estimate at least as long as the responder's real answer for the
    // widest values of each type.
    TForteResponder runtime;
    const std::vector<TForteWatchSpec> typed{{"f.B", "BOOL", false},     {"f.L", "LINT", false},
                                             {"f.U", "ULINT", false},    {"f.S", "STRING", false},
                                             {"f.E", "", true},          {"g.T", "TIME", false}};
    runtime.SetWatchValue("f.B", "FALSE");
    runtime.SetWatchValue("f.L", "-9223372036854775808");
    runtime.SetWatchValue("f.U", "18446744073709551615");
    runtime.SetWatchValue("f.S", std::string(kForteStringBudget, 'x'));
    runtime.SetWatchValue("g.T", "T#106751d23h47m16s854ms775us808ns");
    runtime.SetEventPorts({"f.E"});
    TForteOnline online;
    online.Resource = "RES";
    ASSERT_EQ(online.Client.Connect("127.0.0.1", runtime.Port()), "");
    for (const auto& w : typed)
        ASSERT_EQ(online.Watch(w.InstancePort), "");
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(online.Trigger("f.E"), ""); // a count and a time of some digits
    TForteResponse answer;
    std::string error;
    ASSERT_TRUE(online.Client.Request("RES", ForteReadWatchesXml(99), answer, error)) << error;
    EXPECT_LE(answer.Xml.size(), ForteWatchAnswerBytes("RES", typed));
}

// Watches, a force and its clear, a trigger and a reset, each one request
// to the resource, and every poll one request whatever the number of
// ports; a refusal is told by its reason.
TEST(ForteOnline, WatchForceTriggerAndResetOnOneConnection)
{
    TForteResponder runtime;
    runtime.SetEventPorts({"ctu.CU", "ctu.R"});
    runtime.SetWatchValue("ctu.CV", "7");
    TForteOnline online;
    online.Resource = "RES";
    ASSERT_EQ(online.Client.Connect("127.0.0.1", runtime.Port()), "");
    std::vector<TForteWatchValue> values;
    ASSERT_EQ(online.Poll(values), "");
    EXPECT_THAT(values, IsEmpty());
    for (const char* port : {"ctu.CU", "ctu.CV", "ctu.Q"})
        ASSERT_EQ(online.Watch(port), "");
    ASSERT_EQ(online.Force("ctu.Q", "TRUE"), "");
    ASSERT_EQ(online.Trigger("ctu.CU"), "");
    ASSERT_EQ(online.Trigger("ctu.CU"), "");
    ASSERT_EQ(online.Poll(values), "");
    EXPECT_THAT(shown(values), ElementsAre("RES/ctu.CV=7", "RES/ctu.Q=TRUE forced", "RES/ctu.CU=2 @50002"));
    ASSERT_EQ(online.ClearForce("ctu.Q"), "");
    ASSERT_EQ(online.Trigger("ctu.CU", true), "");
    ASSERT_EQ(online.Poll(values), "");
    EXPECT_THAT(shown(values), ElementsAre("RES/ctu.CV=7", "RES/ctu.Q=0", "RES/ctu.CU=0 @50002"));
    for (const char* port : {"ctu.CU", "ctu.CV", "ctu.Q"})
        ASSERT_EQ(online.Watch(port, false), "");
    EXPECT_EQ(online.Watch("ctu.Q", false), "NO_SUCH_OBJECT");
    EXPECT_TRUE(online.Refused);
    runtime.SetRefuse([](const TForteResponder::TRequest& r) {
        return r.Xml.find("force") != std::string::npos ? "INVALID_DST" : "";
    });
    EXPECT_EQ(online.Force("ctu.PV", "3"), "INVALID_DST");

    std::vector<std::string> sent;
    for (const auto& r : runtime.Requests())
        sent.push_back(r.Destination + ": " + r.Xml);
    EXPECT_THAT(
        sent,
        ElementsAre(R"(RES: <Request ID="1" Action="READ"><Watches/></Request>)",
                    R"(RES: <Request ID="2" Action="CREATE"><Watch Source="ctu.CU" Destination="*"/></Request>)",
                    R"(RES: <Request ID="3" Action="CREATE"><Watch Source="ctu.CV" Destination="*"/></Request>)",
                    R"(RES: <Request ID="4" Action="CREATE"><Watch Source="ctu.Q" Destination="*"/></Request>)",
                    R"(RES: <Request ID="5" Action="WRITE"><Connection Source="TRUE" Destination="ctu.Q" force="true"/></Request>)",
                    R"(RES: <Request ID="6" Action="WRITE"><Connection Source="$e" Destination="ctu.CU"/></Request>)",
                    R"(RES: <Request ID="7" Action="WRITE"><Connection Source="$e" Destination="ctu.CU"/></Request>)",
                    R"(RES: <Request ID="8" Action="READ"><Watches/></Request>)",
                    R"(RES: <Request ID="9" Action="WRITE"><Connection Source="*" Destination="ctu.Q" force="false"/></Request>)",
                    R"(RES: <Request ID="10" Action="WRITE"><Connection Source="$er" Destination="ctu.CU"/></Request>)",
                    R"(RES: <Request ID="11" Action="READ"><Watches/></Request>)",
                    R"(RES: <Request ID="12" Action="DELETE"><Watch Source="ctu.CU" Destination="*"/></Request>)",
                    R"(RES: <Request ID="13" Action="DELETE"><Watch Source="ctu.CV" Destination="*"/></Request>)",
                    R"(RES: <Request ID="14" Action="DELETE"><Watch Source="ctu.Q" Destination="*"/></Request>)",
                    R"(RES: <Request ID="15" Action="DELETE"><Watch Source="ctu.Q" Destination="*"/></Request>)",
                    R"(RES: <Request ID="16" Action="WRITE"><Connection Source="3" Destination="ctu.PV" force="true"/></Request>)"));
}

} // namespace
} // namespace telvo::test
