// The runtime client on the wire: what a runtime gets for names and values
// holding line breaks and control characters, and how long a runtime that
// answers slowly may hold a request or a run.

#include "deploy/deploy_fixture.h"
#include "deploy/forte.h"
#include "deploy/forte_responder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <string>
#include <vector>

namespace telvo::test {
namespace {

using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// A device named with a line break, and STRING and WSTRING constants with
// line breaks, tabs and other control characters. An XML reader turns a
// raw line break or tab in an attribute into a blank: the runtime would
// make the resource under another name than the one later requests are
// sent to, and store other texts than the ones typed.
TEST_F(DeployTest, LineBreaksAndControlCharactersReachTheRuntimeEscaped)
{
    Home.Write("library/test/TXT.fbt", R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="TXT">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/></EventInputs>
    <InputVars>
      <VarDeclaration Name="S" Type="STRING"/>
      <VarDeclaration Name="Q" Type="STRING"/>
      <VarDeclaration Name="W" Type="WSTRING"/>
    </InputVars>
  </InterfaceList>
  <BasicFB/>
</FBType>
)");
    Bench->IndexLibrary();
    TForteResponder runtime;
    TslIECDevice* a = AddIec("IEC\nA", "127.0.0.1", runtime.Port());
    // S as plain text, Q as a literal typed with escapes of its own and a
    // raw carriage return, W with a control character.
    LoadMerged(R"(<FB Name="T1" Type="TXT"/>
  <DataConnections>
    <Connection Source="two&#10;lines&#9;and $'" Destination="T1.S"/>
    <Connection Source="'typed$Nand&#13;raw'" Destination="T1.Q"/>
    <Connection Source="&quot;w&#1;&#127;&quot;" Destination="T1.W"/>
  </DataConnections>)");
    Assign(a, "T1");
    ASSERT_THAT(UI.Messages(), IsEmpty());

    const std::vector<std::string> expected{
        TypeQueryFrame(),
        ManagementFrame("", R"(<Request ID="1" Action="CREATE"><FB Name="IEC&#10;A" Type="EMB_RES"/></Request>)"),
        ManagementFrame("IEC\nA", R"(<Request ID="2" Action="CREATE"><FB Name="T1" Type="TXT"/></Request>)"),
        ManagementFrame("IEC\nA", R"(<Request ID="3" Action="WRITE"><Connection Source="'two$Nlines$Tand $$$''" )"
                                  R"(Destination="T1.S"/></Request>)"),
        ManagementFrame("IEC\nA", R"(<Request ID="4" Action="WRITE"><Connection Source="'typed$Nand$Rraw'" )"
                                  R"(Destination="T1.Q"/></Request>)"),
        ManagementFrame("IEC\nA", R"(<Request ID="5" Action="WRITE"><Connection Source="&quot;w$0001$007F&quot;" )"
                                  R"(Destination="T1.W"/></Request>)"),
        ManagementFrame("IEC\nA", R"(<Request ID="6" Action="START"/>)"),
    };
    const std::vector<TForteDevicePlan> plans = PlanForteDeployment(M());
    ASSERT_EQ(plans.size(), 1u);
    TForteDeployment run;
    std::vector<std::string> shown;
    run.OnLine = [&](const std::string& line) { shown.push_back(line); };
    EXPECT_EQ(run.Run(plans), "");
    std::vector<std::string> frames;
    const auto taken = runtime.Requests();
    for (const auto& r : taken)
        frames.push_back(r.Bytes);
    EXPECT_THAT(frames, ElementsAreArray(expected));

    // Read back, the resource's name is the destination of the later
    // requests.
    ASSERT_FALSE(taken.empty());
    pugi::xml_document created;
    ASSERT_GE(taken.size(), 2u);
    ASSERT_TRUE(created.load_string(taken[1].Xml.c_str()));
    EXPECT_EQ(std::string(created.child("Request").child("FB").attribute("Name").value()), "IEC\nA");
    // Each line shown is one line.
    ASSERT_EQ(shown.size(), 2u + expected.size());
    EXPECT_EQ(shown[0], "Establishing communication with device :IEC\\nA");
    EXPECT_EQ(shown[4], R"( >IEC\nA/IEC\nA: <Request ID="2" Action="CREATE"><FB Name="T1" Type="TXT"/></Request>)");
    for (const auto& line : shown)
        EXPECT_EQ(line.find_first_of("\n\r\t"), std::string::npos) << line;
}

// A device D whose resource gets `fbs` FBs: fbs + 2 requests.
TForteDevicePlan planOf(const std::string& port, int fbs)
{
    TForteDevicePlan plan;
    plan.Device = "D";
    plan.Address = "127.0.0.1";
    plan.Port = port;
    plan.Resource = "R";
    for (int i = 0; i < fbs; ++i) {
        TForteBlock b;
        b.Name = "sr" + std::to_string(i);
        b.Type = "E_SR";
        plan.Blocks.push_back(b);
    }
    plan.Requests = ForteRequests(plan);
    return plan;
}

// A runtime that sends its answers a byte at a time: each request has one
// deadline, however often a byte comes, and the whole run has one, however
// much in time each answer is.
TEST(ForteClient, ARequestAndTheWholeRunEndAtTheirDeadlines)
{
    const struct {
        const char* what;
        int bytePauseMs; // an answer has about 20 bytes
        int replyMs, runMs;
        std::string why;
    } cases[] = {
        {"an answer of 0.8 s for a request of 0.3 s", 40, 300, 60000, "no answer within 0.3 s"},
        {"answers of 0.05 s each for a run of 0.6 s", 2, 400, 600, "the deployment took longer than 0.6 s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TForteResponder runtime;
        runtime.SetBytePause(c.bytePauseMs);
        const TForteDevicePlan plan = planOf(runtime.Port(), 30);
        TForteDeployment run;
        run.ReplyTimeoutMs = c.replyMs;
        run.RunTimeoutMs = c.runMs;
        const std::string stopped = run.Run({plan});
        const size_t taken = runtime.Requests().size();
        // The type list first, then the plan's requests.
        std::vector<TForteRequest> sent{ForteTypeQuery()};
        sent.insert(sent.end(), plan.Requests.begin(), plan.Requests.end());
        ASSERT_GE(taken, 1u);
        ASSERT_LT(taken, sent.size());
        EXPECT_EQ(stopped, "Device D did not answer " + sent[taken - 1].Xml + ": " + c.why + ".");
    }

    // A read as well: its time-out bounds it all.
    TForteResponder runtime;
    runtime.SetBytePause(40);
    runtime.SetReadValue("20");
    const TForteReadResult read = ForteRead("127.0.0.1", runtime.Port(), "R", "sr0.Q", 300);
    EXPECT_FALSE(read.Ok) << read.Value;
    EXPECT_EQ(read.Error, "no answer within 0.3 s");
}

} // namespace
} // namespace telvo::test
