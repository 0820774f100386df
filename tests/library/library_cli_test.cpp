// `telvo library index` over real libraries.

#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace telvo {
namespace {

using test::RunProcess;
using test::TempDir;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

TEST(LibraryIndexCommand, ListsEveryCorpusTypeUnderItsNameAndFolder)
{
    TELVO_REQUIRE_CORPUS();
    TempDir home;
    std::filesystem::create_directories(home / "library");
    std::filesystem::create_directory_symlink(test::CorpusDir(), home / "library" / "corpus");

    // What each type file declares, read independently of the workbench: the
    // Name attribute on the first line holding "<FBType".
    const std::regex nameAttr(R"(\sName\s*=\s*"([^"]*)\")");
    std::multiset<std::string> expected;
    for (const auto& ext : {".fbt", ".xml"})
        for (const auto& file : test::FilesWithExtension(test::CorpusDir(), ext)) {
            std::ifstream in(file);
            for (std::string l; std::getline(in, l);)
                if (l.find("<FBType") != std::string::npos) {
                    std::smatch m;
                    ASSERT_TRUE(std::regex_search(l, m, nameAttr)) << file << ": " << l;
                    expected.insert(file.parent_path().filename().string() + "\t" + m[1].str());
                    break;
                }
        }
    ASSERT_GT(expected.size(), 100u);

    auto r = RunProcess(TELVO_CLI_PATH, {"--home", home.Path().string(), "library", "index"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const auto out = lines(r.Out);
    EXPECT_EQ(std::multiset<std::string>(out.begin(), out.end()), expected);

    // Each folder entry's lines stand together, and a second run prints the
    // same lines in the same order.
    std::set<std::string> closed;
    std::string current;
    for (const auto& l : out) {
        std::string folder = l.substr(0, l.find('\t'));
        if (folder != current) {
            EXPECT_TRUE(closed.insert(folder).second) << folder << " appears in two places";
            current = folder;
        }
    }
    auto again = RunProcess(TELVO_CLI_PATH, {"--home", home.Path().string(), "library", "index"});
    EXPECT_EQ(again.Out, r.Out);
}

TEST(LibraryIndexCommand, PrintsTheDuplicateWarningAndTakesTheHomeFromTheEnvironment)
{
    TempDir home;
    home.Write("library/a/Motor.fbt", "<FBType Name=\"Motor\">\n</FBType>\n");
    home.Write("library/b/motor.fbt", "<FBType Comment=\"copy\" Name=\"motor\">\n</FBType>\n");
    auto r = RunProcess(TELVO_CLI_PATH, {"library", "index"}, "", {"TELVO_HOME=" + home.Path().string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "a\tMotor\nb\tmotor [WARNING Duplicate name found!]\n");
}

TEST(LibraryIndexCommand, RefusesArguments)
{
    TempDir home;
    auto r = RunProcess(TELVO_CLI_PATH, {"--home", home.Path().string(), "library", "index", "extra"});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err.find("telvo: "), std::string::npos);
}

} // namespace
} // namespace telvo
