#pragma once
// Shared test fixtures: temporary folders on real disk, the corpus of real
// IEC 61499 files beside the repository, and running the `telvo` CLI.

#include <filesystem>
#include <string>
#include <vector>

namespace telvo::test {

// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Writes a file (creating folders) and returns its path.
    std::filesystem::path Write(const std::string& relative, const std::string& content) const;

private:
    std::filesystem::path path_;
};

// ../shared/corpus beside the repository, or empty when it is absent.
std::filesystem::path CorpusDir();
// Every file below `dir` whose extension (any case) is `ext` (".fbt"), sorted.
std::vector<std::filesystem::path> FilesWithExtension(const std::filesystem::path& dir, const std::string& ext);
// The repository's own folders.
std::filesystem::path SourceDir();
std::filesystem::path TestDataDir();
// The program folder laid out by the build (library/, images/, KALO/).
std::filesystem::path BuiltProgramDir();

struct ProcessResult {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};
// Runs a program with arguments (no shell), optional standard input, and
// optional extra environment entries "NAME=value".
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& stdinText = "", const std::vector<std::string>& env = {});

std::string ReadFile(const std::filesystem::path& path);

// The threads of this process whose name begins with `prefix` (the
// simulation names its threads "telvo-fb" and "telvo-daemon").
size_t ThreadsNamed(const std::string& prefix);

// The addresses a process listens on: its TCP sockets in LISTEN and its
// bound UDP sockets, as "tcp 127.0.0.1:4840", "udp6 [::]:5353".
struct ListeningSocket {
    std::string Protocol; // tcp, tcp6, udp, udp6
    std::string Address;  // 127.0.0.1, ::1, 0.0.0.0, …
    unsigned Port = 0;
    bool Loopback = false; // 127.0.0.0/8, ::1 or ::ffff:127.x.x.x
    std::string Text() const;
};
std::vector<ListeningSocket> ListeningSockets(int pid);

} // namespace telvo::test

// Skips the current test visibly when the corpus folder is absent.
#define TELVO_REQUIRE_CORPUS()                                                                           \
    do {                                                                                                 \
        if (::telvo::test::CorpusDir().empty())                                                          \
            GTEST_SKIP() << "../shared/corpus is not beside this repository: corpus tests not run";      \
    } while (0)
