// Where the workbench reads and writes: a program folder of the user's own
// takes everything as it always did; an installed one is only read, and the
// user's XDG folders take the settings, the user's types and KALO output.
// Everything on real temporary folders.

#include "model/file_util.h"
#include "model/user_interface.h"
#include "support/test_support.h"
#include "workbench/program_folders.h"
#include "workbench/workbench.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace telvo::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string typeText(const std::string& name, const std::string& comment)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FBType Name=\"" + name + "\" Comment=\"" + comment +
           "\">\n  <InterfaceList>\n    <EventInputs><Event Name=\"REQ\" Type=\"EVENT\"/></EventInputs>\n"
           "  </InterfaceList>\n  <BasicFB/>\n</FBType>\n";
}

// ---------------------------------------------------------------- user folders

struct UserFoldersCase {
    std::string Name;
    std::map<std::string, std::string> Env;
    std::string ConfigHome, DataHome;
};

class UserFoldersTest : public ::testing::TestWithParam<UserFoldersCase> {};

TEST_P(UserFoldersTest, FollowTheBaseDirectoryRules)
{
    const auto& c = GetParam();
    const TUserFolders user = UserFoldersFrom([&](const char* name) -> const char* {
        auto it = c.Env.find(name);
        return it == c.Env.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(user.Home, "/home/ann");
    EXPECT_EQ(user.ConfigHome, c.ConfigHome);
    EXPECT_EQ(user.DataHome, c.DataHome);
}

INSTANTIATE_TEST_SUITE_P(
    Env, UserFoldersTest,
    ::testing::Values(
        UserFoldersCase{"HomeOnly", {{"HOME", "/home/ann"}}, "/home/ann/.config", "/home/ann/.local/share"},
        UserFoldersCase{"BothSet",
                        {{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", "/cfg"}, {"XDG_DATA_HOME", "/data/"}},
                        "/cfg",
                        "/data/"},
        UserFoldersCase{"EmptyIsUnset",
                        {{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", ""}},
                        "/home/ann/.config",
                        "/home/ann/.local/share"},
        UserFoldersCase{"RelativeIsIgnored",
                        {{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", "cfg"}, {"XDG_DATA_HOME", "./data"}},
                        "/home/ann/.config",
                        "/home/ann/.local/share"}),
    [](const auto& info) { return info.param.Name; });

// ---------------------------------------------------------------- program folder

// An installation below a temporary prefix, and a user's home beside it.
class InstalledTest : public ::testing::Test {
protected:
    InstalledTest()
    {
        Root.Write("usr/share/telvo-zoze/settings.ini", "[Values]\nDonotShowInitWindow=1\n");
        Root.Write("usr/share/telvo-zoze/library/events/E_SHIPPED.fbt", typeText("E_SHIPPED", "shipped"));
        Root.Write("usr/share/telvo-zoze/library/events/E_BOTH.fbt", typeText("E_BOTH", "shipped"));
        Root.Write("usr/share/telvo-zoze/library/templates/NEWBASICFB.fbt", typeText("NEWBASICFB", "template"));
        fs::create_directories(Root / "usr/bin");
        fs::create_directories(Root / "home/ann");
        User.Home = Root / "home/ann";
        User.ConfigHome = Root / "home/ann/cfg";
        User.DataHome = Root / "home/ann/data";
    }

    fs::path Share() const { return Root / "usr/share/telvo-zoze"; }
    fs::path UserLibrary() const { return User.DataHome / "telvo-zoze/library"; }

    // Every file below the installation with its text.
    std::map<std::string, std::string> Installed() const
    {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(Root / "usr"))
            if (e.is_regular_file())
                files[e.path().lexically_relative(Root.Path()).string()] = ReadFile(e.path());
        return files;
    }

    TempDir Root;
    TUserFolders User;
    TRecordingUserInterface UI;
};

TEST_F(InstalledTest, TheLocationDecidesEvenWhereTheFolderIsWritable)
{
    // The temporary installation is writable (and root writes anywhere):
    // only where it lies makes it shared.
    ASSERT_EQ(::access(Share().c_str(), W_OK), 0);
    const TProgramFolders installed = DecideProgramFolders(Share(), User);
    EXPECT_TRUE(installed.Shared);
    EXPECT_EQ(installed.Settings, User.ConfigHome / "telvo-zoze/settings.ini");
    EXPECT_EQ(installed.UserData, User.DataHome / "telvo-zoze");
    EXPECT_EQ(installed.Projects, User.Home);
    EXPECT_THAT(installed.LibraryFolders(), ElementsAre(UserLibrary(), Share() / "library"));
    // A trailing separator names the same folder.
    EXPECT_TRUE(DecideProgramFolders(Share().string() + "/", User).Shared);

    // A program folder of the user's own, even one the build made, keeps
    // everything in it.
    const fs::path own = Root / "build/bin";
    fs::create_directories(own);
    const TProgramFolders mine = DecideProgramFolders(own, User);
    EXPECT_FALSE(mine.Shared);
    EXPECT_EQ(mine.Settings, own / "settings.ini");
    EXPECT_EQ(mine.Kalo(), own / "KALO");
    EXPECT_EQ(mine.Projects, own);
    EXPECT_THAT(mine.LibraryFolders(), ElementsAre(own / "library"));
    EXPECT_FALSE(mine.IsShipped(own / "library/events/E_BOTH.fbt"));
    // So does one that is not there yet.
    EXPECT_FALSE(DecideProgramFolders(Root / "not/yet", User).Shared);
}

TEST_F(InstalledTest, AFolderTheUserMayNotWriteIsShared)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write every folder; the installed location stands in for this check";
    const fs::path copy = Root / "opt/telvo";
    fs::create_directories(copy);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_exec);
    const TProgramFolders folders = DecideProgramFolders(copy, User);
    fs::permissions(copy, fs::perms::owner_all);
    EXPECT_TRUE(folders.Shared);
    EXPECT_EQ(folders.Settings, User.ConfigHome / "telvo-zoze/settings.ini");
}

TEST_F(InstalledTest, TheExecutableFindsTheInstalledProgramFolder)
{
    // Installed: bin/ beside share/telvo-zoze.
    EXPECT_EQ(ProgramFolderForExecutable(Root / "usr/bin"), Share());
    // A build tree (or any copied program folder): library/ beside the
    // executable wins over an installation above it.
    Root.Write("usr/bin/library/events/E_X.fbt", typeText("E_X", ""));
    EXPECT_EQ(ProgramFolderForExecutable(Root / "usr/bin"), Root / "usr/bin");
    // Neither: the executable's folder, as always.
    fs::create_directories(Root / "loose");
    EXPECT_EQ(ProgramFolderForExecutable(Root / "loose"), Root / "loose");
}

TEST_F(InstalledTest, FirstRunCopiesTheShippedSettingsAndEveryWriteStaysWithTheUser)
{
    const auto before = Installed();
    {
        TWorkbench bench(DecideProgramFolders(Share(), User), UI);
        EXPECT_EQ(ReadFile(User.ConfigHome / "telvo-zoze/settings.ini"), "[Values]\nDonotShowInitWindow=1\n");
        EXPECT_TRUE(bench.Settings.GetBool("DonotShowInitWindow", false));
        EXPECT_TRUE(fs::is_directory(UserLibrary()));
        EXPECT_EQ(bench.LibraryFolder(), UserLibrary());
        EXPECT_EQ(bench.KaloFolder(), User.DataHome / "telvo-zoze/KALO");
        EXPECT_TRUE(fs::is_directory(bench.KaloFolder()));
        EXPECT_EQ(bench.ImagesFolder(), Share() / "images");
        bench.Settings.SetString("Recent1", "/home/ann/line.crf");
        bench.Settings.Save();
    }
    EXPECT_THAT(ReadFile(User.ConfigHome / "telvo-zoze/settings.ini"), HasSubstr("Recent1"));
    EXPECT_EQ(Installed(), before);

    // The next run keeps the user's settings: no second copy over them.
    TWorkbench again(DecideProgramFolders(Share(), User), UI);
    EXPECT_EQ(again.Settings.GetString("Recent1"), "/home/ann/line.crf");
    EXPECT_THAT(UI.LogLines(), ::testing::IsEmpty());
}

TEST_F(InstalledTest, WithoutAWritableHomeTheShippedSettingsAreStillRead)
{
    // A file where the config folder should be: nothing can be made there.
    Root.Write("home/ann/cfg", "not a folder");
    TWorkbench bench(DecideProgramFolders(Share(), User), UI);
    EXPECT_TRUE(bench.Settings.GetBool("DonotShowInitWindow", false));
    EXPECT_EQ(bench.Settings.File(), User.ConfigHome / "telvo-zoze/settings.ini");
    ASSERT_FALSE(UI.LogLines().empty());
    EXPECT_THAT(UI.LogLines().front(), HasSubstr((User.ConfigHome / "telvo-zoze").string()));
    EXPECT_ANY_THROW(bench.Settings.Save());
    EXPECT_EQ(ReadFile(Share() / "settings.ini"), "[Values]\nDonotShowInitWindow=1\n");
}

TEST_F(InstalledTest, TheUsersTypesAreListedWithTheShippedOnesAndComeFirst)
{
    Root.Write("home/ann/data/telvo-zoze/library/events/E_BOTH.fbt", typeText("E_BOTH", "the user's"));
    Root.Write("home/ann/data/telvo-zoze/library/Mine/MY_TYPE.fbt", typeText("MY_TYPE", "mine"));
    TWorkbench bench(DecideProgramFolders(Share(), User), UI);
    bench.IndexLibrary();

    std::vector<std::string> listed;
    for (const auto& folder : bench.LibraryIndex.Folders)
        for (const auto& name : folder.TypeNames)
            listed.push_back(folder.Name + "/" + name);
    // One folder of a name however many libraries hold it, each name once.
    EXPECT_THAT(listed, ElementsAre("events/E_BOTH", "events/E_SHIPPED", "Mine/MY_TYPE", "templates/NEWBASICFB"));

    TFB_Manager& m = bench.FBManager();
    for (const auto& [name, comment] : std::vector<std::pair<std::string, std::string>>{
             {"E_BOTH", "the user's"}, {"MY_TYPE", "mine"}, {"E_SHIPPED", "shipped"}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(m.LoadTypeFromLibrary("", name));
        EXPECT_EQ(m.FindType(name)->Comment, comment);
    }
    EXPECT_EQ(bench.LibraryFile("templates/NEWBASICFB.fbt"), Share() / "library/templates/NEWBASICFB.fbt");
}

struct CounterpartCase {
    std::string Name;
    std::string File;        // below the temporary root
    bool Shipped;
    std::string Counterpart; // below the temporary root
};

class CounterpartTest : public InstalledTest, public ::testing::WithParamInterface<CounterpartCase> {};

TEST_P(CounterpartTest, ShippedFilesAreSavedToTheUsersLibrary)
{
    const auto& c = GetParam();
    const TProgramFolders folders = DecideProgramFolders(Share(), User);
    EXPECT_EQ(folders.IsShipped(Root / c.File), c.Shipped);
    EXPECT_EQ(folders.WritableCounterpart(Root / c.File), Root / c.Counterpart);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CounterpartTest,
    ::testing::Values(
        CounterpartCase{"ShippedType", "usr/share/telvo-zoze/library/events/E_BOTH.fbt", true,
                        "home/ann/data/telvo-zoze/library/events/E_BOTH.fbt"},
        CounterpartCase{"ShippedNewType", "usr/share/telvo-zoze/library/Plant/NEW.fbt", true,
                        "home/ann/data/telvo-zoze/library/Plant/NEW.fbt"},
        CounterpartCase{"ThroughDotDot", "usr/share/telvo-zoze/images/../library/events/E_BOTH.fbt", true,
                        "home/ann/data/telvo-zoze/library/events/E_BOTH.fbt"},
        CounterpartCase{"ShippedExampleType", "usr/share/telvo-zoze/examples/plant/x.fbt", true,
                        "home/ann/data/telvo-zoze/library/x.fbt"},
        CounterpartCase{"UsersType", "home/ann/data/telvo-zoze/library/events/E_BOTH.fbt", false,
                        "home/ann/data/telvo-zoze/library/events/E_BOTH.fbt"},
        CounterpartCase{"BesideTheInstallation", "usr/share/telvo-zoze-old/library/A.fbt", false,
                        "usr/share/telvo-zoze-old/library/A.fbt"}),
    [](const auto& info) { return info.param.Name; });

} // namespace
} // namespace telvo::test
