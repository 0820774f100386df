// Indexing the type library: what is listed, under which folder entry, in
// which order, and what a second indexing adds (nothing).

#include "model/library_index.h"
#include "model/user_interface.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

namespace telvo {
namespace {

using test::TempDir;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Listing = std::vector<std::pair<std::string, std::vector<std::string>>>;

std::string typeFile(const std::string& name)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FBType Name=\"" + name +
           "\" Comment=\"\">\n  <InterfaceList/>\n</FBType>\n";
}

// A program folder whose library/ the tests fill, indexed the way the
// workbench does it.
class LibraryFixture : public ::testing::Test {
protected:
    void add(const std::string& relative, const std::string& content) { home.Write("library/" + relative, content); }
    void addType(const std::string& relative, const std::string& name) { add(relative, typeFile(name)); }

    void index() { IndexLibraryFolder(home / "library", Index, TypeNames, UI); }

    Listing listing() const
    {
        Listing out;
        for (const auto& f : Index.Folders)
            out.emplace_back(f.Name, f.TypeNames);
        return out;
    }

    TempDir home;
    TLibraryIndex Index;
    std::vector<std::string> TypeNames;
    TRecordingUserInterface UI;
};

TEST_F(LibraryFixture, ListsTypesByDeclaredNameUnderFolderNamesInCaseInsensitiveOrder)
{
    addType("zeta/one.fbt", "ONE");
    addType("Beta/zz.fbt", "Zz");
    addType("Beta/Aa.fbt", "Aa");
    addType("Beta/bb.fbt", "Bb");
    addType("alpha/inner/deep.fbt", "Deep");
    addType("alpha/top.fbt", "Top");
    addType("root.fbt", "Root");
    index();

    // The library's own entry comes first; a subfolder's entry is appended
    // before its parent lists its own files.
    EXPECT_EQ(listing(), (Listing{{"library", {"Root"}},
                                  {"alpha", {"Top"}},
                                  {"inner", {"Deep"}},
                                  {"Beta", {"Aa", "Bb", "Zz"}},
                                  {"zeta", {"ONE"}}}));
    const std::string lib = (home / "library").string();
    EXPECT_THAT(UI.StatusTexts(),
                ElementsAre("Adding Library: " + lib + ".", "Adding Library: " + lib + "/alpha.",
                            "Adding Library: " + lib + "/alpha/inner.", "Adding Library: " + lib + "/Beta.",
                            "Adding Library: " + lib + "/zeta."));
    EXPECT_EQ(TypeNames, (std::vector<std::string>{"DEEP", "TOP", "AA", "BB", "ZZ", "ONE", "ROOT"}));
}

TEST_F(LibraryFixture, SameNameInAnyCaseIsListedAgainWithTheWarningAndReindexingAddsNothing)
{
    addType("a/motor.fbt", "Motor");
    addType("b/motor.fbt", "MOTOR");
    addType("b/pump.fbt", "Pump");
    addType("c/motor.xml", "motor");
    index();
    const Listing first{{"a", {"Motor"}},
                        {"b", {"MOTOR [WARNING Duplicate name found!]", "Pump"}},
                        {"c", {"motor [WARNING Duplicate name found!]"}}};
    EXPECT_EQ(listing(), first);
    EXPECT_EQ(TypeNames, (std::vector<std::string>{"MOTOR", "PUMP"}));

    index();
    EXPECT_EQ(listing(), first);
    EXPECT_EQ(TypeNames, (std::vector<std::string>{"MOTOR", "PUMP"}));

    // A type added since is listed by the next indexing, once.
    addType("a/valve.fbt", "Valve");
    index();
    index();
    EXPECT_THAT(Index.FindFolder("a")->TypeNames, ElementsAre("Motor", "Valve"));
    EXPECT_EQ(Index.Folders.size(), 3u);
}

TEST_F(LibraryFixture, OnlyPathsHoldingFbtOrXmlInAnyCaseAreRead)
{
    struct Case {
        const char* file;
        bool listed;
    };
    const Case cases[] = {
        {"plain.fbt", true},     {"upper.FBT", true},   {"mixed.Xml", true},     {"abc.xml.bak", true},
        {"notes.fbtx", true},    {"readme.txt", false}, {"MANIFEST.MF", false},  {"adapter.adp", false},
        {"fbt", false},          {"xml", false},        {"in.fbt.d/inner.txt", true},
    };
    for (const auto& c : cases)
        addType(std::string("lib/") + c.file, std::string("T_") + c.file);
    index();

    std::vector<std::string> expected;
    for (const auto& c : cases)
        if (c.listed)
            expected.push_back(std::string("T_") + c.file);
    std::vector<std::string> listed;
    for (const auto& f : Index.Folders)
        listed.insert(listed.end(), f.TypeNames.begin(), f.TypeNames.end());
    std::sort(expected.begin(), expected.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);
}

TEST_F(LibraryFixture, FoldersThatEndUpListingNothingAreDropped)
{
    std::filesystem::create_directories(home / "library" / "empty");
    add("docs/readme.txt", "no types here");
    add("broken/notype.fbt", "<?xml version=\"1.0\"?>\n<Other Name=\"X\"/>\n");
    addType("only_sub/sub/t.fbt", "T");
    index();
    EXPECT_EQ(listing(), (Listing{{"sub", {"T"}}}));
}

// What an import staged (and a killed import left staged) is not in the
// library; other hidden folders are read as before.
TEST_F(LibraryFixture, StagingFoldersAreNotPartOfTheLibrary)
{
    addType("imported/Done.fbt", "Done");
    addType("imported/.telvo-staging-Ab12Cd/Staged.fbt", "Staged");
    addType(".telvo-staging-Ef34Gh/sub/Deep.fbt", "Deep");
    addType(".hidden/Shown.fbt", "Shown");
    index();
    EXPECT_EQ(listing(), (Listing{{".hidden", {"Shown"}}, {"imported", {"Done"}}}));
}

TEST_F(LibraryFixture, SameFolderNameAtAnyDepthSharesOneEntry)
{
    addType("pkg1/typelib/a.fbt", "A");
    addType("pkg2/typelib/b.fbt", "B");
    // The inner "x" lists nothing and goes, its parent "x" still lists its file.
    std::filesystem::create_directories(home / "library" / "x" / "x");
    addType("x/t.fbt", "T");
    index();
    EXPECT_EQ(listing(), (Listing{{"typelib", {"A", "B"}}, {"x", {"T"}}}));
}

TEST_F(LibraryFixture, FileWithoutTypeLineRepeatsThePreviousNameWhichIsAlreadyListed)
{
    addType("f/a1.fbt", "A");
    add("f/a2.xml", "<?xml version=\"1.0\"?>\n<System Name=\"S\"/>\n");
    addType("f/b.fbt", "B");
    add("g/first.xml", "<Device Name=\"D\"/>\n");
    addType("g/second.fbt", "C");
    index();
    EXPECT_EQ(listing(), (Listing{{"f", {"A", "B"}}, {"g", {"C"}}}));
}

TEST_F(LibraryFixture, FindsTheTypeLineWhereverItStandsInTheFile)
{
    // Far behind a long comment, across the reader's chunk boundaries, and
    // inside one very long line.
    std::string longComment = "<?xml version=\"1.0\"?>\n<!--\n";
    for (int i = 0; i < 5000; ++i)
        longComment += "filler line " + std::to_string(i) + "\n";
    longComment += "-->\n";
    add("a/late.fbt", longComment + "<FBType Name=\"Late\">\n</FBType>\n");
    for (size_t shift = 0; shift < 12; ++shift) {
        std::string text = "<?xml version=\"1.0\"?>\n" + std::string(16 * 1024 - 30 + shift, ' ') + "\n";
        text += "<FBType Name=\"Edge" + std::to_string(shift) + "\">\n</FBType>\n";
        add("b/edge" + std::to_string(100 + shift) + ".fbt", text);
    }
    add("c/oneline.fbt", "<?xml version=\"1.0\"?><FBType Comment=\"" + std::string(40000, 'c') +
                             "\" Name=\"OneLine\"><InterfaceList/></FBType>");
    add("c/crlf.fbt", "<?xml version=\"1.0\"?>\r\n<FBType Name=\"CrLf\">\r\n</FBType>\r\n");
    index();

    ASSERT_EQ(Index.Folders.size(), 3u);
    EXPECT_THAT(Index.Folders[0].TypeNames, ElementsAre("Late"));
    std::vector<std::string> edges;
    for (size_t shift = 0; shift < 12; ++shift)
        edges.push_back("Edge" + std::to_string(shift));
    EXPECT_EQ(Index.Folders[1].TypeNames, edges);
    EXPECT_THAT(Index.Folders[2].TypeNames, ElementsAre("CrLf", "OneLine"));
}

TEST_F(LibraryFixture, MissingLibraryListsNothing)
{
    index();
    EXPECT_THAT(Index.Folders, IsEmpty());
    EXPECT_THAT(UI.StatusTexts(), ElementsAre("Adding Library: " + (home / "library").string() + "."));
}

TEST_F(LibraryFixture, LinkLoopsAndSpecialFilesNeitherHangNorList)
{
    addType("a/t.fbt", "T");
    std::filesystem::create_directory_symlink("..", home / "library" / "a" / "up");
    std::filesystem::create_symlink("nowhere.fbt", home / "library" / "a" / "dangling.fbt");
    ASSERT_EQ(::mkfifo((home / "library" / "a" / "pipe.fbt").c_str(), 0644), 0);
    index();
    // "up" leads back to the library: its entry is visited once, not again.
    EXPECT_EQ(listing(), (Listing{{"a", {"T"}}}));
}

TEST(TypeNameFromFBTypeLine, TakesTheNameAttributeElseTheFirstQuotedValue)
{
    struct Case {
        const char* line;
        const char* name;
    };
    const Case cases[] = {
        {R"(<FBType Name="E_CYCLE" Comment="Peroidic event">)", "E_CYCLE"},
        {R"(<FBType Comment="Starts a FB" Name="ST_START">)", "ST_START"},
        {R"(  <FBType   Comment = "x"   Name = "Spaced" >)", "Spaced"},
        {R"(<FBType Comment='it"s' Name='Single'>)", "Single"},
        {R"(<?xml version="1.0"?><FBType Comment="c" Name="Minified"><InterfaceList/>)", "Minified"},
        {R"(<FBType TypeName="Wrong" Name="Right">)", "Right"},
        {R"(<FBType Comment="no name">)", "no name"},
        {R"(<FBType Comment="unclosed Name="X">)", "unclosed Name="},
        {R"(<FBType>)", ""},
        {R"(<FBType Name="only one quote)", ""},
        {R"(<FBType)", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TypeNameFromFBTypeLine(c.line), c.name) << c.line;
}

} // namespace
} // namespace telvo
