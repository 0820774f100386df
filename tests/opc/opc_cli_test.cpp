// telvo opc servers / browse / read against the node-opcua test server.

#include "opc_test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace telvo {
namespace {

using test::OpcTestServer;

class OpcCli : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<OpcTestServer>(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override { TELVO_REQUIRE_OPC_SERVER(*server_); }

    static test::ProcessResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "opc");
        return test::RunProcess(TELVO_CLI_PATH, args);
    }

    static std::unique_ptr<OpcTestServer> server_;
};

std::unique_ptr<OpcTestServer> OpcCli::server_;

TEST_F(OpcCli, ServersOfAMachine)
{
    const auto r = Run({"servers", "127.0.0.1:" + server_->Port()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "Telvo Test Server\t" + server_->Endpoint() + "\turn:telvo:test:server\turn:telvo:test\n");
}

TEST_F(OpcCli, BrowseShowsTypesAndAccess)
{
    const auto r = Run({"browse", "127.0.0.1:" + server_->Port() + "/telvo", "Plant/Tank"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "Plant/Tank/Level\tns=1;s=Tank.Level\tVariable\tInteger\tREAD/WRITE\n"
                     "Plant/Tank/Running\tns=1;s=Tank.Running\tVariable\tBOOL\tREAD/WRITE\n"
                     "Plant/Tank/Temperature\tns=1;s=Tank.Temperature\tVariable\tReal8\tREAD/WRITE\n"
                     "Plant/Tank/Label\tns=1;s=Tank.Label\tVariable\tString\tREAD/WRITE\n"
                     "Plant/Tank/Serial\tns=1;s=Tank.Serial\tVariable\tString\tREAD ONLY\n"
                     "Plant/Tank/Pressure\tns=1;s=Tank.Pressure\tVariable\tReal4\tREAD/WRITE\n"
                     "Plant/Tank/Count\tns=1;s=Tank.Count\tVariable\tWORD\tREAD/WRITE\n"
                     "Plant/Tank/Report\tns=1;s=Tank.Report\tVariable\tString\tREAD/WRITE\n");
    const auto top = Run({"browse", server_->Endpoint()});
    ASSERT_EQ(top.ExitCode, 0) << top.Err;
    EXPECT_NE(top.Out.find("Plant\tns=1;s=Plant\tObject\t-\t-\n"), std::string::npos) << top.Out;
}

TEST_F(OpcCli, ReadByNodeIdAndByPath)
{
    server_->Set("Tank.Temperature", "21.5");
    struct Case {
        const char* Item;
        const char* Out;
    };
    for (const Case c : {Case{"ns=1;s=Tank.Level", "42\n"}, Case{"Plant/Tank/Temperature", "21.5\n"},
                         Case{"Plant/Tank/Running", "true\n"}, Case{"ns=1;s=Tank.Serial", "SN-0001\n"}}) {
        const auto r = Run({"read", server_->Endpoint(), c.Item});
        EXPECT_EQ(r.ExitCode, 0) << c.Item << r.Err;
        EXPECT_EQ(r.Out, c.Out) << c.Item;
    }
}

TEST_F(OpcCli, FailuresGoToStandardError)
{
    struct Case {
        const char* Name;
        std::vector<std::string> Args;
        int ExitCode;
        std::string Err;
    };
    const std::string closed = test::FreeLocalPort();
    const Case cases[] = {
        {"MissingItem", {"read", server_->Endpoint(), "ns=1;s=Tank.Nope"}, 1, "telvo: ns=1;s=Tank.Nope: BadNodeIdUnknown\n"},
        {"MissingPath", {"read", server_->Endpoint(), "Plant/Nope"}, 1,
         "telvo: No item Plant/Nope on " + server_->Endpoint() + "\n"},
        {"NothingListening", {"servers", "127.0.0.1:" + closed}, 1,
         "telvo: Cannot connect to 127.0.0.1:" + closed + ": Connection refused\n"},
        {"NoEndpoint", {"browse"}, 2, "telvo: opc browse needs an ENDPOINT and at most one PATH\n"},
        {"ReadWithoutItem", {"read", server_->Endpoint()}, 2, "telvo: opc read needs an ENDPOINT and an ITEM\n"},
        {"BadTimeout", {"read", server_->Endpoint(), "i=85", "--timeout", "soon"}, 2,
         "telvo: --timeout needs milliseconds, not 'soon'\n"},
        {"UnknownOption", {"servers", "--fast"}, 2,
         "telvo: opc servers: unknown option --fast\nusage: telvo [--home DIR] opc servers [HOST] [--timeout MS]\n"},
    };
    for (const auto& c : cases) {
        const auto r = Run(c.Args);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << c.Name;
        EXPECT_EQ(r.Err, c.Err) << c.Name;
        EXPECT_EQ(r.Out, "") << c.Name;
    }
}

} // namespace
} // namespace telvo
