#include "support/test_support.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
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

} // namespace telvo::test
