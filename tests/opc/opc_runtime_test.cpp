// The OPC item FBs in a simulation against the node-opcua test server:
// ReqREAD reads into OPCReadVal, REQ writes OPCWriteVal, CNF follows both;
// failures are logged and the run goes on.

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/user_interface.h"
#include "opc_test_server.h"
#include "persistence/network_file.h"
#include "runtime/headless_simulation.h"
#include "runtime/rt_opc_fbtype.h"
#include "support/test_support.h"
#include "workbench/workbench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>

namespace telvo {
namespace {

using namespace std::chrono_literals;
using test::OpcTestServer;

std::string network(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FBNetwork>\n" + body + "\n</FBNetwork>\n";
}

// A network of OPC FBs with their three parameters (and a value to write)
// as constants, and further elements.
struct OpcNet {
    std::string FBs, Constants, Events;

    OpcNet& Add(const std::string& name, const std::string& type, const std::string& machine,
                const std::string& server, const std::string& item, const std::string& writeVal)
    {
        FBs += "<FB Name=\"" + name + "\" Type=\"" + type + "\" x=\"0\" y=\"0\"/>\n";
        auto constant = [&](const std::string& value, const char* port) {
            if (!value.empty())
                Constants += "<Connection Source=\"" + value + "\" Destination=\"" + name + "." + port + "\"/>";
        };
        constant(server, "OPCServerName");
        constant(machine, "OPCMachine");
        constant(item, "OPCItem");
        constant(writeVal, "OPCWriteVal");
        return *this;
    }
    // Counts the CNFs of the named FBs in an E_CTU named C.
    OpcNet& CountCnf(std::initializer_list<const char*> names)
    {
        FBs += "<FB Name=\"C\" Type=\"E_CTU\" x=\"0\" y=\"0\"/>\n";
        for (const char* n : names)
            Events += std::string("<Connection Source=\"") + n + ".CNF\" Destination=\"C.CU\"/>";
        return *this;
    }
    std::string Text() const
    {
        return FBs + "<EventConnections>" + Events + "</EventConnections>\n<DataConnections>" + Constants +
               "</DataConnections>";
    }
};

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

bool has(const std::vector<std::string>& ls, const std::string& part)
{
    return std::any_of(ls.begin(), ls.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

class OpcSimulation : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<OpcTestServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        TELVO_REQUIRE_OPC_SERVER(*server_);
        std::filesystem::create_directories(home_.Path() / "library");
        for (const char* group : {"opc", "events"})
            std::filesystem::copy(test::SourceDir() / "library" / group, home_.Path() / "library" / group,
                                  std::filesystem::copy_options::recursive);
    }

    // The four OPC types against the test server, their CNFs counted by C.
    std::string fourTypes() const
    {
        const std::string url = server_->Endpoint();
        const std::string port = ":" + server_->Port() + "/telvo";
        return OpcNet()
            .Add("I", "OPCInteger", "", url, "ns=1;s=Tank.Level", "77")
            .Add("B", "OPCBool", "localhost", port, "Plant/Tank/Running", "FALSE")
            .Add("R", "OPCReal", "127.0.0.1", port, "ns=1;s=Tank.Temperature", "2.5")
            .Add("S", "OPCString", "", url, "Plant/Tank/Label", "Written")
            .CountCnf({"I", "B", "R", "S"})
            .Text();
    }

    test::ProcessResult simulate(const std::string& body, std::vector<std::string> args)
    {
        const auto file = home_.Write("opc.fbn", network(body));
        args.insert(args.begin(), {"--home", home_.Path().string(), "simulate", file.string()});
        return test::RunProcess(TELVO_CLI_PATH, args);
    }

    // The same, in this process, for runs that change things between steps.
    TFB_Diagram* load(const std::string& body)
    {
        bench_ = std::make_unique<TWorkbench>(home_.Path(), ui_);
        bench_->IndexLibrary();
        const auto file = home_.Write("net.fbn", network(body));
        TFB_Diagram* d = bench_->FBManager().CreateDiagram("net", 1.0);
        LoadFromFile(*d, file.string());
        return d;
    }

    static std::unique_ptr<OpcTestServer> server_;
    test::TempDir home_;
    TRecordingUserInterface ui_;
    std::unique_ptr<TWorkbench> bench_;
};

std::unique_ptr<OpcTestServer> OpcSimulation::server_;

TEST_F(OpcSimulation, ReadsAndWritesEachTypeFromTheCommandLine)
{
    server_->Set("Tank.Level", "42");
    server_->Set("Tank.Running", "true");
    server_->Set("Tank.Temperature", "21.5");
    server_->Set("Tank.Label", "Main tank");
    // Reads first, then writes, then reads what was written.
    const auto r = simulate(fourTypes(), {"--event", "I.ReqREAD", "--event", "B.ReqREAD", "--event", "R.ReqREAD",
                                          "--event", "S.ReqREAD", "--steps", "3", "--log"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const auto out = lines(r.Out);
    for (const char* v : {"value\tI.OPCReadVal\t42", "value\tB.OPCReadVal\tTRUE", "value\tR.OPCReadVal\t21.5000000",
                          "value\tS.OPCReadVal\tMain tank", "value\tC.CV\t4"})
        EXPECT_TRUE(has(out, v)) << v << "\n" << r.Out;
    for (const char* n : {"I", "B", "R", "S"})
        EXPECT_TRUE(has(out, std::string("state\t") + n + "\tDESTROYFB")) << r.Out;

    const auto w = simulate(fourTypes(), {"--event", "I.REQ", "--event", "B.REQ", "--event", "R.REQ", "--event",
                                          "S.REQ", "--event", "I.ReqREAD", "--event", "S.ReqREAD", "--steps", "3",
                                          "--log"});
    ASSERT_EQ(w.ExitCode, 0) << w.Err;
    EXPECT_EQ(server_->Get("Tank.Level"), "77");
    EXPECT_EQ(server_->Get("Tank.Running"), "false");
    EXPECT_EQ(server_->Get("Tank.Temperature"), "2.5");
    EXPECT_EQ(server_->Get("Tank.Label"), "Written");
    const auto wout = lines(w.Out);
    EXPECT_TRUE(has(wout, "value\tI.OPCReadVal\t77")) << w.Out;
    EXPECT_TRUE(has(wout, "value\tS.OPCReadVal\tWritten")) << w.Out;
    EXPECT_TRUE(has(wout, "value\tC.CV\t6")) << w.Out;

    // The states in order, for one FB that wrote and then read.
    std::vector<std::string> states;
    for (const auto& l : wout)
        if (auto p = l.find("I :: Go to State= "); p != std::string::npos)
            states.push_back(l.substr(p + 18));
    EXPECT_EQ(states, (std::vector<std::string>{"ConnectToOPCserver", "ConnectedToOPCServer", "WRITE_OPC_VALUE",
                                                "ConnectToOPCserver", "ConnectedToOPCServer", "READ_OPC_VALUE"}));
    EXPECT_TRUE(has(wout, "I :: Got Event: REQ"));
    server_->Set("Tank.Label", "Main tank");
}

struct FailureCase {
    const char* Name;
    const char* Type;
    const char* Item;
    const char* Event;
    const char* Logged;   // part of the log line
    bool Cnf;             // CNF still follows
    const char* EndState; // the state the FB shows after the event
};

class OpcSimulationFailure : public OpcSimulation, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(OpcSimulationFailure, IsLoggedAndTheRunGoesOn)
{
    const auto& c = GetParam();
    const std::string server = std::string(c.Name) == "WrongEndpoint"
                                   ? "opc.tcp://127.0.0.1:" + test::FreeLocalPort() + "/telvo"
                                   : server_->Endpoint();
    const std::string body = OpcNet().Add("X", c.Type, "", server, c.Item, "5").CountCnf({"X"}).Text();
    const auto start = std::chrono::steady_clock::now();
    const auto r = simulate(body, {"--event", std::string("X.") + c.Event, "--steps", "2", "--log"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const auto out = lines(r.Out);
    EXPECT_TRUE(has(out, c.Logged)) << r.Out;
    EXPECT_TRUE(has(out, std::string("value\tC.CV\t") + (c.Cnf ? "1" : "0"))) << r.Out;
    EXPECT_TRUE(has(out, std::string("X :: Go to State= ") + c.EndState)) << r.Out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpcSimulationFailure,
    ::testing::Values(
        FailureCase{"WrongEndpoint", "OPCInteger", "ns=1;s=Tank.Level", "ReqREAD",
                    "X :: Cannot connect to OPC server opc.tcp://127.0.0.1:", false, "ConnectToOPCserver"},
        FailureCase{"MissingVariable", "OPCInteger", "ns=1;s=Tank.Nothing", "ReqREAD",
                    "X :: OPC item ns=1;s=Tank.Nothing not found: BadNodeIdUnknown", true, "READ_OPC_VALUE"},
        FailureCase{"MissingPath", "OPCReal", "Plant/Pump/Speed", "REQ",
                    "X :: OPC item Plant/Pump/Speed not added: No item Plant/Pump on ", true, "WRITE_OPC_VALUE"},
        FailureCase{"ReadOnlyWritten", "OPCString", "ns=1;s=Tank.Serial", "REQ",
                    "X :: OPC write of ns=1;s=Tank.Serial failed: Bad", true, "WRITE_OPC_VALUE"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(OpcSimulation, ServerStoppingInTheMiddleIsLoggedWithoutHanging)
{
    OpcTestServer own;
    TELVO_REQUIRE_OPC_SERVER(own);
    TFB_Diagram* d = load(OpcNet().Add("X", "OPCInteger", "", own.Endpoint(), "ns=1;s=Tank.Level", "9").Text());
    TFB_InstanceRef* x = d->FindDrawn("X")->Ref;
    THeadlessSimulation sim(*d);
    sim.Start({x->FindEventInput("ReqREAD")});
    ASSERT_TRUE(sim.Step());
    EXPECT_EQ(x->FindDataOutput("OPCReadVal")->IntValue, 42);

    own.Kill();
    x->FindDataOutput("OPCReadVal")->IntValue = -1;
    sim.Environment.QueueEvent(x->FindEventInput("ReqREAD"));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(sim.Step());
    // The output keeps its value after a failed read.
    EXPECT_EQ(x->FindDataOutput("OPCReadVal")->IntValue, -1);
    sim.Environment.QueueEvent(x->FindEventInput("REQ"));
    ASSERT_TRUE(sim.Step());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    sim.Stop();
    const auto log = sim.Host.LogLines();
    EXPECT_TRUE(has(log, "X :: OPC read of ns=1;s=Tank.Level failed: ")) << log.size();
    // The next event tries a new connection, which fails and is logged.
    EXPECT_TRUE(has(log, "X :: Cannot connect to OPC server " + own.Endpoint()));
}

TEST_F(OpcSimulation, OtherEventsOnlyConnect)
{
    TFB_Diagram* d = load(OpcNet().Add("X", "OPCBool", "", server_->Endpoint(), "ns=1;s=Tank.Running", "").Text());
    TFB_InstanceRef* x = d->FindDrawn("X")->Ref;
    // A type with a further event input would do the same; an event that is
    // no input of the FB is handed over directly here.
    THeadlessSimulation sim(*d);
    sim.Start({});
    ASSERT_TRUE(sim.Step());
    sim.Environment.FindRuntimeFB(x)->ExecEvent("INIT");
    ASSERT_TRUE(sim.Step());
    EXPECT_EQ(d->FindDrawn("X")->StateText, "ConnectedToOPCServer");
    EXPECT_EQ(sim.Environment.QueuedEvents(), 0u);
    sim.Stop();
}

TEST(OpcRuntimeType, OnlyTheFourItemTypes)
{
    for (const char* t : {"OPCInteger", "OPCBool", "OPCReal", "OPCString"})
        EXPECT_TRUE(TtelvoRT_FBtype_OPC::IsOPCType(t)) << t;
    for (const char* t : {"OPCinteger", "OPC", "E_CTU", ""})
        EXPECT_FALSE(TtelvoRT_FBtype_OPC::IsOPCType(t)) << t;
}

} // namespace
} // namespace telvo
