#include "support/test_support.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace telvo::test {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    std::string tmpl = (fs::temp_directory_path() / "telvo-test-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
    ++counter;
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

fs::path TempDir::Write(const std::string& relative, const std::string& content) const
{
    fs::path p = path_ / relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << content;
    return p;
}

fs::path CorpusDir()
{
    fs::path p = TELVO_CORPUS_DIR;
    std::error_code ec;
    if (fs::is_directory(p, ec))
        return fs::canonical(p);
    return {};
}

std::vector<fs::path> FilesWithExtension(const fs::path& dir, const std::string& ext)
{
    std::vector<fs::path> files;
    auto lower = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && lower(e.path().extension().string()) == lower(ext))
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

fs::path SourceDir() { return TELVO_SOURCE_DIR; }
fs::path TestDataDir() { return TELVO_TEST_DATA; }
fs::path BuiltProgramDir() { return TELVO_PROGRAM_DIR; }

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& stdinText, const std::vector<std::string>& env)
{
    int inPipe[2], outPipe[2], errPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) || ::pipe2(outPipe, O_CLOEXEC) || ::pipe2(errPipe, O_CLOEXEC))
        throw std::runtime_error("pipe failed");
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e)
        envStore.emplace_back(*e);
    for (const auto& e : env)
        envStore.push_back(e);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(inPipe[0], 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : envStore)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    // Feed stdin, then read both outputs without deadlocking.
    size_t written = 0;
    if (stdinText.empty()) {
        ::close(inPipe[1]);
        inPipe[1] = -1;
    }
    ProcessResult r;
    bool outOpen = true, errOpen = true;
    char buf[65536];
    while (outOpen || errOpen || inPipe[1] >= 0) {
        pollfd fds[3];
        int n = 0;
        if (outOpen)
            fds[n++] = {outPipe[0], POLLIN, 0};
        if (errOpen)
            fds[n++] = {errPipe[0], POLLIN, 0};
        if (inPipe[1] >= 0)
            fds[n++] = {inPipe[1], POLLOUT, 0};
        if (::poll(fds, n, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents)
                continue;
            if (fds[i].fd == inPipe[1]) {
                ssize_t w = ::write(inPipe[1], stdinText.data() + written, stdinText.size() - written);
                if (w > 0)
                    written += static_cast<size_t>(w);
                if (w < 0 || written == stdinText.size()) {
                    ::close(inPipe[1]);
                    inPipe[1] = -1;
                }
                continue;
            }
            ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            if (got <= 0) {
                if (fds[i].fd == outPipe[0])
                    outOpen = false;
                else
                    errOpen = false;
            } else if (fds[i].fd == outPipe[0]) {
                r.Out.append(buf, static_cast<size_t>(got));
            } else {
                r.Err.append(buf, static_cast<size_t>(got));
            }
        }
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

} // namespace telvo::test

namespace telvo::test {

size_t ThreadsNamed(const std::string& prefix)
{
    size_t n = 0;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        // A thread that ended while we looked has no name left to read.
        if (std::getline(comm, name) && name.rfind(prefix, 0) == 0)
            ++n;
    }
    return n;
}

std::string ListeningSocket::Text() const
{
    const bool six = Protocol.back() == '6';
    return Protocol + " " + (six ? "[" + Address + "]" : Address) + ":" + std::to_string(Port);
}

namespace {

// An address of /proc/net/*: 32-bit words in hex, each in host order.
bool kernelAddress(const std::string& hex, bool six, std::string& text, bool& loopback)
{
    const size_t words = six ? 4 : 1;
    if (hex.size() != words * 8)
        return false;
    uint32_t raw[4] = {};
    for (size_t i = 0; i < words; ++i)
        raw[i] = static_cast<uint32_t>(std::stoul(hex.substr(i * 8, 8), nullptr, 16));
    char buf[INET6_ADDRSTRLEN] = {};
    if (!six) {
        in_addr a{};
        a.s_addr = raw[0];
        ::inet_ntop(AF_INET, &a, buf, sizeof buf);
        loopback = (ntohl(a.s_addr) >> 24) == 127;
    } else {
        in6_addr a{};
        std::memcpy(&a, raw, sizeof a);
        ::inet_ntop(AF_INET6, &a, buf, sizeof buf);
        loopback = IN6_IS_ADDR_LOOPBACK(&a) || (IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127);
    }
    text = buf;
    return true;
}

} // namespace

std::vector<ListeningSocket> ListeningSockets(int pid)
{
    std::set<std::string> inodes;
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code linkError;
        const std::string target = fs::read_symlink(fd.path(), linkError).string();
        if (!linkError && target.rfind("socket:[", 0) == 0)
            inodes.insert(target.substr(8, target.size() - 9));
    }
    std::vector<ListeningSocket> found;
    for (const std::string protocol : {"tcp", "tcp6", "udp", "udp6"}) {
        std::ifstream table("/proc/net/" + protocol);
        std::string line;
        std::getline(table, line); // the column titles
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
            // TCP sockets count when they listen; UDP sockets when bound.
            const bool tcp = protocol.starts_with("tcp");
            if (!inodes.count(inode) || (tcp && state != "0A"))
                continue;
            const size_t colon = local.find(':');
            if (colon == std::string::npos)
                continue;
            ListeningSocket s;
            s.Protocol = protocol;
            s.Port = static_cast<unsigned>(std::stoul(local.substr(colon + 1), nullptr, 16));
            if (s.Port == 0 || !kernelAddress(local.substr(0, colon), protocol.back() == '6', s.Address, s.Loopback))
                continue;
            found.push_back(std::move(s));
        }
    }
    return found;
}

} // namespace telvo::test
