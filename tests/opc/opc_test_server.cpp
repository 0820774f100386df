#include "opc_test_server.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef TELVO_OPC_PEER_DIR
#define TELVO_OPC_PEER_DIR ""
#endif
#ifndef TELVO_OPC_SERVER_SCRIPT
#define TELVO_OPC_SERVER_SCRIPT ""
#endif

namespace telvo::test {

std::string FreeLocalPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (fd >= 0)
            ::close(fd);
        return "0";
    }
    ::close(fd);
    return std::to_string(ntohs(a.sin_port));
}

std::string OpcTestServer::PeerDir()
{
    if (const char* env = std::getenv("TELVO_OPC_PEER"); env && *env)
        return env;
    return TELVO_OPC_PEER_DIR;
}

OpcTestServer::OpcTestServer(std::vector<std::string> extraArgs)
{
    discovery_ = std::find(extraArgs.begin(), extraArgs.end(), "--discovery") != extraArgs.end();
    // A write to a server that died must fail, not end the test binary.
    std::signal(SIGPIPE, SIG_IGN);
    const std::string peer = PeerDir();
    if (peer.empty() || !std::filesystem::exists(std::filesystem::path(peer) / "node_modules" / "node-opcua")) {
        failure_ = "node-opcua is not installed in " + peer + " (scripts/setup installs it)";
        return;
    }
    const std::string port = FreeLocalPort();
    int inPipe[2], outPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(outPipe, O_CLOEXEC) != 0) {
        failure_ = "pipe failed";
        return;
    }
    const std::string nodePath = "NODE_PATH=" + peer + "/node_modules";
    // Everything the child needs is made before the fork: a child of a
    // process with threads must not allocate.
    std::vector<std::string> args = {"node", TELVO_OPC_SERVER_SCRIPT, port};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(inPipe[0], 0);
        ::dup2(outPipe[1], 1);
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0)
            ::dup2(devnull, 2);
        ::putenv(const_cast<char*>(nodePath.c_str()));
        ::execvp("node", argv.data());
        ::_exit(127);
    }
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    in_ = inPipe[1];
    out_ = outPipe[0];
    if (pid_ < 0) {
        failure_ = "fork failed";
        return;
    }
    // node-opcua prepares certificates on first use: give it time.
    // It may print warnings of its own first.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string line, said;
    while (std::chrono::steady_clock::now() < until) {
        line = readLine(static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count()));
        if (line.empty() || line == "READY " + port)
            break;
        said = line;
    }
    if (line == "READY " + port)
        port_ = port;
    else
        failure_ = "server.js did not start (said \"" + said + "\")";
}

OpcTestServer::~OpcTestServer()
{
    if (pid_ > 0) {
        if (in_ >= 0) {
            const char quit[] = "quit\n";
            [[maybe_unused]] auto n = ::write(in_, quit, sizeof quit - 1);
        }
        // A clean stop first; a server that does not go within 5 s is killed.
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    if (in_ >= 0)
        ::close(in_);
    if (out_ >= 0)
        ::close(out_);
}

void OpcTestServer::Kill()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

std::string OpcTestServer::readLine(int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return {};
        char buf[4096];
        const ssize_t n = ::read(out_, buf, sizeof buf);
        if (n <= 0)
            return {};
        buffer_.append(buf, size_t(n));
    }
}

std::string OpcTestServer::command(const std::string& line)
{
    const std::string text = line + "\n";
    if (in_ < 0 || ::write(in_, text.data(), text.size()) != ssize_t(text.size()))
        return {};
    // node-opcua writes its own warnings to standard output: skip them.
    for (;;) {
        std::string answer = readLine(10000);
        if (answer.empty() || answer.starts_with("VALUE ") || answer.starts_with("OK ") ||
            answer.starts_with("ERROR "))
            return answer;
    }
}

std::string OpcTestServer::Get(const std::string& name)
{
    const std::string answer = command("get " + name);
    const std::string prefix = "VALUE " + name + " ";
    return answer.starts_with(prefix) ? answer.substr(prefix.size()) : "<" + answer + ">";
}

void OpcTestServer::Set(const std::string& name, const std::string& value)
{
    command("set " + name + " " + value);
}

} // namespace telvo::test
