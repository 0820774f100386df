// Reading whole files: what is not a regular file, or is too large, is
// refused at once with a message that says why.

#include "model/file_util.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>

using namespace telvo;

namespace {

// The message ReadFileText throws, or "" when it read the file.
std::string readRefusal(const std::filesystem::path& path)
{
    try {
        ReadFileText(path);
        return "";
    } catch (const std::exception& e) {
        return e.what();
    }
}

} // namespace

TEST(ReadFileText, RefusesWhatIsNoRegularFileOfSensibleSize)
{
    test::TempDir dir;
    const auto fifo = dir / "pipe.fbt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto big = dir / "big.fbt";
    {
        // Sparse: one byte over the limit costs no disk.
        int fd = ::open(big.c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kMaxReadFileSize) + 1), 0);
        ::close(fd);
    }
    std::filesystem::create_directory(dir / "folder.fbt");

    struct Case {
        const char* Name;
        std::filesystem::path Path;
        std::string Message;
    };
    const Case cases[] = {
        {"directory", dir / "folder.fbt", "Cannot read file " + (dir / "folder.fbt").string() + ": is a directory"},
        {"fifo without writer", fifo, "Cannot read file " + fifo.string() + ": is not a regular file"},
        {"endless device", "/dev/zero", "Cannot read file /dev/zero: is not a regular file"},
        {"larger than the limit", big, "Cannot read file " + big.string() + ": is larger than 256 MiB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        // A read that blocks must fail the test, not hang it: the reading
        // thread is left behind when it does not come back.
        auto promise = std::make_shared<std::promise<std::string>>();
        auto result = promise->get_future();
        std::thread([promise, path = c.Path] { promise->set_value(readRefusal(path)); }).detach();
        ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(result.get(), c.Message);
    }
}

TEST(ReadFileText, ReadsRegularFilesWholeAndNamesMissingOnes)
{
    test::TempDir dir;
    std::string content(100000, 'x');
    content += "\r\nend";
    auto file = dir.Write("a.txt", content);
    EXPECT_EQ(ReadFileText(file), content);
    EXPECT_EQ(ReadFileText(dir.Write("empty.txt", "")), "");
    // Through a symbolic link the target is read.
    std::filesystem::create_symlink(file, dir / "link.txt");
    EXPECT_EQ(ReadFileText(dir / "link.txt"), content);
    EXPECT_EQ(readRefusal(dir / "none.txt"),
              "Cannot open file " + (dir / "none.txt").string() + ": No such file or directory");
}

// ---- Atomic saves --------------------------------------------------------

namespace {

std::vector<std::string> folderEntries(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const std::filesystem::path& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

// Saves in a child process that the system kills half-way through the
// write (its file size limit is below the size of the bytes).
void saveKilledHalfWay(const std::filesystem::path& file, bool unnamed, pid_t& pid)
{
    pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        UseUnnamedTemporaries(unnamed);
        struct rlimit limit {4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            WriteFileAtomic(file, std::string(1 << 20, 'n'));
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "the save was not killed: " << status;
}

struct TSaveMode {
    const char* Name;
    bool Unnamed;
};

class AtomicSave : public ::testing::TestWithParam<TSaveMode> {
protected:
    void SetUp() override { UseUnnamedTemporaries(GetParam().Unnamed); }
    void TearDown() override { UseUnnamedTemporaries(true); }
};

} // namespace

TEST_P(AtomicSave, WritesThroughSymbolicLinksToTheirTargets)
{
    test::TempDir dir;
    auto real = dir.Write("store/real.fbn", "old");
    std::filesystem::create_directory(dir / "links");
    // A relative link, and a link to that link.
    std::filesystem::create_symlink("../store/real.fbn", dir / "links/rel.fbn");
    std::filesystem::create_symlink(dir / "links/rel.fbn", dir / "abs.fbn");
    // A dangling link names the file to create.
    std::filesystem::create_symlink("made.fbn", dir / "store/dangling.fbn");

    WriteFileAtomic(dir / "abs.fbn", "new");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "abs.fbn"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "links/rel.fbn"));
    EXPECT_EQ(test::ReadFile(real), "new");

    WriteFileAtomic(dir / "store/dangling.fbn", "made");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "store/dangling.fbn"));
    EXPECT_EQ(test::ReadFile(dir / "store/made.fbn"), "made");
    EXPECT_EQ(folderEntries(dir / "store"), (std::vector<std::string>{"dangling.fbn", "made.fbn", "real.fbn"}));

    // A loop of links is an error naming the file, and changes nothing.
    std::filesystem::create_symlink("b.fbn", dir / "a.fbn");
    std::filesystem::create_symlink("a.fbn", dir / "b.fbn");
    try {
        WriteFileAtomic(dir / "a.fbn", "x");
        ADD_FAILURE() << "a loop of links was written";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot write file " + (dir / "a.fbn").string() + ": Too many levels of symbolic links");
    }
}

// Files a command makes in a folder it was given (Output) and files that
// must be new (Create): no new file appears where a link points, and Create
// replaces nothing.
TEST_P(AtomicSave, OutputAndCreateMakeNoNewFileThroughALink)
{
    struct Case {
        const char* Name;
        TWriteMode Mode;
        const char* File;   // in out/
        const char* Error;  // the end of the message, or null for a write
        const char* Landed; // where the new bytes are found after a write
    };
    const Case cases[] = {
        {"output, new name", TWriteMode::Output, "new.txt", nullptr, "out/new.txt"},
        {"output over a file", TWriteMode::Output, "file.txt", nullptr, "out/file.txt"},
        {"output through a link to a file", TWriteMode::Output, "link.txt", nullptr, "store/real.txt"},
        {"output through a dangling link", TWriteMode::Output, "dangling.txt", "/out/../store/made.txt, which does not exist",
         nullptr},
        {"create, new name", TWriteMode::Create, "new.txt", nullptr, "out/new.txt"},
        {"create over a file", TWriteMode::Create, "file.txt", ": File exists", nullptr},
        {"create over a link to a file", TWriteMode::Create, "link.txt", ": File exists", nullptr},
        {"create over a dangling link", TWriteMode::Create, "dangling.txt", ": File exists", nullptr},
        {"create over a folder", TWriteMode::Create, "folder.txt", ": File exists", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        test::TempDir dir;
        dir.Write("store/real.txt", "old");
        dir.Write("out/file.txt", "old");
        std::filesystem::create_directory(dir / "out/folder.txt");
        std::filesystem::create_symlink("../store/real.txt", dir / "out/link.txt");
        std::filesystem::create_symlink("../store/made.txt", dir / "out/dangling.txt");
        const auto outBefore = folderEntries(dir / "out");

        std::string error;
        try {
            WriteFileAtomic(dir / "out" / c.File, "new", c.Mode);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        auto outAfter = outBefore;
        if (c.Error) {
            const std::string start = "Cannot write file " + (dir / "out" / c.File).string();
            EXPECT_EQ(error.rfind(start, 0), 0u) << error;
            EXPECT_TRUE(error.size() >= std::strlen(c.Error) &&
                        error.compare(error.size() - std::strlen(c.Error), std::string::npos, c.Error) == 0)
                << error;
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(test::ReadFile(dir / c.Landed), "new");
            if (std::string(c.File) == "new.txt")
                outAfter.push_back(c.File);
        }
        std::sort(outAfter.begin(), outAfter.end());
        EXPECT_EQ(folderEntries(dir / "out"), outAfter) << "no temporary is left";
        const bool intoReal = c.Landed && std::string(c.Landed) == "store/real.txt";
        const bool intoFile = c.Landed && std::string(c.Landed) == "out/file.txt";
        EXPECT_EQ(test::ReadFile(dir / "store/real.txt"), intoReal ? "new" : "old");
        EXPECT_EQ(test::ReadFile(dir / "out/file.txt"), intoFile ? "new" : "old");
        EXPECT_EQ(folderEntries(dir / "store"), std::vector<std::string>{"real.txt"}) << "nothing made through a link";
        EXPECT_TRUE(std::filesystem::is_symlink(dir / "out/link.txt"));
        EXPECT_TRUE(std::filesystem::is_symlink(dir / "out/dangling.txt"));
    }
}

TEST_P(AtomicSave, KeepsTheModeOfTheFileItReplaces)
{
    test::TempDir dir;
    const mode_t mask = ::umask(022);
    for (mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0755), mode_t(0444)}) {
        SCOPED_TRACE(mode);
        auto file = dir.Write("f.crf", "old");
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        WriteFileAtomic(file, "new");
        EXPECT_EQ(modeOf(file), mode);
        EXPECT_EQ(test::ReadFile(file), "new");
        ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
        std::filesystem::remove(file);
    }
    // A new file gets the ordinary mode under the umask.
    WriteFileAtomic(dir / "new.crf", "x");
    EXPECT_EQ(modeOf(dir / "new.crf"), mode_t(0644));
    ::umask(mask);
}

TEST_P(AtomicSave, AKilledSaveLeavesThePreviousFileAndNoTemporaryForGood)
{
    test::TempDir dir;
    auto file = dir.Write("plant.crf", "previous");
    pid_t gone = 0;
    saveKilledHalfWay(file, GetParam().Unnamed, gone);
    EXPECT_EQ(test::ReadFile(file), "previous");
    if (GetParam().Unnamed) {
        EXPECT_EQ(folderEntries(dir.Path()), std::vector<std::string>{"plant.crf"});
    } else {
        // Without unnamed files the half-written temporary stays until the
        // next save of the file sweeps it away. Another file's temporaries
        // and a live process's are not touched.
        EXPECT_EQ(folderEntries(dir.Path()).size(), 2u);
        const std::string other = "other.crf.tmp" + std::to_string(gone) + "_0";
        dir.Write(other, "another file's");
        auto live = dir.Write("plant.crf.tmp" + std::to_string(::getppid()) + "_3", "in progress");
        WriteFileAtomic(file, "saved");
        EXPECT_EQ(folderEntries(dir.Path()),
                  (std::vector<std::string>{other, "plant.crf", live.filename().string()}));
        EXPECT_EQ(test::ReadFile(file), "saved");
    }
}

INSTANTIATE_TEST_SUITE_P(Temporaries, AtomicSave,
                         ::testing::Values(TSaveMode{"Unnamed", true}, TSaveMode{"Named", false}),
                         [](const auto& info) { return std::string(info.param.Name); });
