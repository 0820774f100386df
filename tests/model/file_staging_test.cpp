// Files staged together: none reaches its place before Commit, a discarded
// or killed run leaves every place as it was, and what a killed run staged
// is removed by the next run that stages in the folder, while the folder of
// a run still alive stays.

#include "model/file_staging.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace telvo {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;

// The entries of a folder, sorted; staging folders as "<staging>".
std::vector<std::string> entries(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        names.push_back(IsStagingFolderName(name) ? "<staging>" : name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const fs::path& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

TEST(FileStaging, NothingReachesItsPlaceBeforeCommit)
{
    TempDir dir;
    const fs::path old = dir.Write("lib/a.fbt", "old a");
    ::chmod(old.c_str(), 0640);
    TFileStaging staging;
    staging.Write(dir / "lib/a.fbt", "new a");
    staging.Write(dir / "lib/made/b.fbt", "b");
    staging.Write(dir / "project/c.fbn", "c");
    staging.Write(dir / "project/c.fbn", "c, written again");

    EXPECT_EQ(ReadFile(old), "old a");
    EXPECT_EQ(entries(dir / "lib"), (std::vector<std::string>{"<staging>", "a.fbt", "made"}));
    EXPECT_EQ(entries(dir / "lib/made"), std::vector<std::string>{"<staging>"});
    EXPECT_EQ(entries(dir / "project"), std::vector<std::string>{"<staging>"});

    staging.Commit();
    EXPECT_EQ(ReadFile(dir / "lib/a.fbt"), "new a");
    EXPECT_EQ(modeOf(dir / "lib/a.fbt"), 0640u);
    EXPECT_EQ(ReadFile(dir / "lib/made/b.fbt"), "b");
    EXPECT_EQ(ReadFile(dir / "project/c.fbn"), "c, written again");
    EXPECT_EQ(entries(dir / "lib"), (std::vector<std::string>{"a.fbt", "made"}));
    EXPECT_EQ(entries(dir / "lib/made"), std::vector<std::string>{"b.fbt"});
    EXPECT_EQ(entries(dir / "project"), std::vector<std::string>{"c.fbn"});
}

TEST(FileStaging, DiscardedLeavesEveryPlaceAsItWas)
{
    TempDir dir;
    dir.Write("lib/a.fbt", "old a");
    {
        TFileStaging staging;
        staging.Write(dir / "lib/a.fbt", "new a");
        staging.Write(dir / "new/deeper/x.fbt", "x");
        // Going out of scope uncommitted discards.
    }
    EXPECT_EQ(ReadFile(dir / "lib/a.fbt"), "old a");
    EXPECT_EQ(entries(dir / "lib"), std::vector<std::string>{"a.fbt"});
    EXPECT_FALSE(fs::exists(dir / "new")); // the folders made for it go too
}

// A link keeps being a link, as with every save; the file it names changes.
TEST(FileStaging, ALinkIsWrittenThrough)
{
    TempDir dir;
    const fs::path real = dir.Write("store/real.fbt", "old");
    fs::create_directories(dir / "lib");
    fs::create_symlink("../store/real.fbt", dir / "lib/link.fbt");
    TFileStaging staging;
    staging.Write(dir / "lib/link.fbt", "new");
    staging.Commit();
    EXPECT_TRUE(fs::is_symlink(dir / "lib/link.fbt"));
    EXPECT_EQ(ReadFile(real), "new");
}

TEST(FileStaging, AFolderWhereTheFileGoesIsRefusedAtOnce)
{
    TempDir dir;
    fs::create_directories(dir / "lib/x.fbt");
    TFileStaging staging;
    try {
        staging.Write(dir / "lib/x.fbt", "x");
        FAIL() << "written";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write file " + (dir / "lib/x.fbt").string() + ": Is a directory");
    }
}

// A run killed after staging leaves its folder; the next run removes it,
// but never the folder of a run that is still going.
TEST(FileStaging, TheNextRunRemovesWhatAKilledRunStaged)
{
    TempDir dir;
    fs::create_directories(dir / "lib");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        TFileStaging staging;
        staging.Write(dir / "lib/a.fbt", "half of an import");
        ::kill(::getpid(), SIGKILL);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(entries(dir / "lib"), std::vector<std::string>{"<staging>"});

    TFileStaging live;
    live.Write(dir / "lib/b.fbt", "b");
    EXPECT_EQ(entries(dir / "lib"), std::vector<std::string>{"<staging>"}); // only the live run's

    // Another run meanwhile leaves the live one's folder alone.
    RemoveStaleStagingFolders(dir / "lib");
    TFileStaging other;
    other.Write(dir / "lib/c.fbt", "c");
    EXPECT_EQ(entries(dir / "lib"), (std::vector<std::string>{"<staging>", "<staging>"}));
    live.Commit();
    other.Commit();
    EXPECT_EQ(entries(dir / "lib"), (std::vector<std::string>{"b.fbt", "c.fbt"}));
}

} // namespace
} // namespace telvo
