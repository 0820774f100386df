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

