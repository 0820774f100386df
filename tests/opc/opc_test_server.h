#pragma once
// Runs tests/opc/server.js (node-opcua) on 127.0.0.1 at a free port for the
// length of a test, and talks to it through its standard input and output
// to look at and change its variables behind the client's back.

#include <string>
#include <vector>
#include <sys/types.h>

namespace telvo::test {

class OpcTestServer {
public:
    // Starts the server and waits until it listens. Further arguments of
    // server.js: "--discovery" runs a discovery server instead,
    // "--register URL" registers the server with one (it is ready once
    // registered).
    explicit OpcTestServer(std::vector<std::string> extraArgs = {});
    ~OpcTestServer();
    OpcTestServer(const OpcTestServer&) = delete;
    OpcTestServer& operator=(const OpcTestServer&) = delete;

    // Empty when the server could not be started (with the reason).
    bool Running() const { return pid_ > 0 && !port_.empty(); }
    const std::string& Failure() const { return failure_; }
    const std::string& Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    std::string Endpoint() const { return "opc.tcp://127.0.0.1:" + port_ + (discovery_ ? "" : "/telvo"); }

    // The server's own view of a variable (NAME as in ns=1;s=NAME).
    std::string Get(const std::string& name);
    void Set(const std::string& name, const std::string& value);
    // Ends the server at once, as a crash would.
    void Kill();

    // The folder holding node_modules with node-opcua, or empty.
    static std::string PeerDir();

private:
    std::string command(const std::string& line);
    std::string readLine(int timeoutMs);

    pid_t pid_ = -1;
    bool discovery_ = false;
    int in_ = -1;
    int out_ = -1;
    std::string port_;
    std::string failure_;
    std::string buffer_;
};

// A port on 127.0.0.1 nothing listens on right now.
std::string FreeLocalPort();

} // namespace telvo::test

// Skips the test visibly when node-opcua is not installed.
#define TELVO_REQUIRE_OPC_SERVER(server)                                                                  \
    do {                                                                                                  \
        if (!(server).Running())                                                                          \
            GTEST_SKIP() << "OPC UA test server not running: " << (server).Failure();                     \
    } while (0)
