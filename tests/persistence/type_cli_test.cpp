// `telvo type check` and `telvo type rewrite`, run as the real program.

#include "model/fb_type.h"
#include "model/file_util.h"
#include "persistence/type_file.h"
#include "persistence/type_file_fixture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <set>

#include <sys/stat.h>

#include <filesystem>

using namespace telvo;
using namespace telvo::test;

namespace {

ProcessResult runTelvo(const std::vector<std::string>& args)
{
    std::vector<std::string> all = {"--home", BuiltProgramDir().string()};
    all.insert(all.end(), args.begin(), args.end());
    return RunProcess(TELVO_CLI_PATH, all);
}

const char* const kBasic = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Comment="toggle" Name="TOGGLE">
  <Identification Classification="Logic" Standard="61499-2"/>
  <InterfaceList>
    <EventInputs><Event Name="REQ" Type="Event"><With Var="IN"/></Event></EventInputs>
    <EventOutputs><Event Name="CNF" Type="Event"><With Var="Q"/></Event></EventOutputs>
    <InputVars><VarDeclaration Name="IN" Type="BOOL"/></InputVars>
    <OutputVars><VarDeclaration Name="Q" Type="BOOL"/></OutputVars>
    <Plugs><AdapterDeclaration Name="P" Type="A"/></Plugs>
  </InterfaceList>
  <BasicFB>
    <InternalVars><VarDeclaration Name="M" Type="BOOL"/></InternalVars>
    <ECC>
      <ECState Name="START" x="0" y="0"/>
      <ECState Name="RUN" x="10" y="10"><ECAction Algorithm="RUN" Output="CNF"/></ECState>
      <ECTransition Source="START" Destination="RUN" Condition="REQ" x="5" y="5"/>
      <ECTransition Source="RUN" Destination="START" Condition="1" x="5" y="5"/>
    </ECC>
    <Algorithm Name="RUN"><ST><![CDATA[Q := NOT IN;]]></ST></Algorithm>
  </BasicFB>
  <Service LeftInterface="APP" RightInterface="">
    <ServiceSequence Name="s"><ServiceTransaction>
      <InputPrimitive Interface="APP" Event="REQ"/><OutputPrimitive Interface="APP" Event="CNF"/>
    </ServiceTransaction></ServiceSequence>
  </Service>
</FBType>
)";

const char* const kComposite = R"(<FBType Name="PAIR">
  <InterfaceList><EventInputs><Event Name="REQ"/></EventInputs></InterfaceList>
  <FBNetwork><FB Name="A" Type="TOGGLE" x="1" y="1"/><FB Name="B" Type="TOGGLE" x="2" y="2"/>
    <EventConnections><Connection Source="REQ" Destination="A.REQ"/></EventConnections></FBNetwork>
</FBType>
)";

} // namespace

TEST(TypeCli, CheckPrintsOneLinePerFile)
{
    TempDir dir;
    auto basic = dir.Write("TOGGLE.fbt", kBasic).string();
    auto composite = dir.Write("PAIR.FBT", kComposite).string();
    auto wrongRoot = dir.Write("net.fbn", "<FBNetwork/>").string();
    auto malformed = dir.Write("bad.fbt", "<FBType Name=\"X\">\n  <InterfaceList>\n</FBType>\n").string();
    auto missing = (dir / "missing.fbt").string();
    // PAIR's inner type is found in the library by its index.
    TempDir home;
    home.Write("library/logic/TOGGLE.fbt", kBasic);

    auto ok = RunProcess(TELVO_CLI_PATH, {"--home", home.Path().string(), "type", "check", basic, composite});
    EXPECT_EQ(ok.ExitCode, 0) << ok.Err;
    EXPECT_EQ(ok.Out, "OK\t" + basic +
                          "\tTOGGLE\tbasic\tei=1 eo=1 di=1 do=1 iv=1 plugs=1 sockets=0 states=2 transitions=2 "
                          "algorithms=1 sequences=1 primitives=2\n"
                          "OK\t" +
                          composite +
                          "\tPAIR\tcomposite\tei=1 eo=0 di=0 do=0 iv=0 plugs=0 sockets=0 states=0 transitions=0 "
                          "algorithms=0 sequences=0 primitives=0\n");

    auto mixed = runTelvo({"type", "check", wrongRoot, basic, malformed, missing});
    EXPECT_EQ(mixed.ExitCode, 1);
    auto lines = SplitLines(mixed.Out);
    ASSERT_EQ(lines.size(), 4u) << mixed.Out;
    EXPECT_EQ(lines[0], "ERROR\t" + wrongRoot + "\tNot an FB type file (the root element is not FBType)");
    EXPECT_EQ(lines[1].rfind("OK\t" + basic + "\tTOGGLE\t", 0), 0u);
    EXPECT_EQ(lines[2], "ERROR\t" + malformed + "\tMalformed XML in " + malformed +
                            ", line 3: Start-end tags mismatch");
    EXPECT_EQ(lines[3].rfind("ERROR\t" + missing + "\t", 0), 0u);
    EXPECT_NE(lines[3].find("missing.fbt"), std::string::npos);

    auto none = runTelvo({"type", "check"});
    EXPECT_EQ(none.ExitCode, 2);
    EXPECT_EQ(none.Out, "");
}

TEST(TypeCli, CheckRefusesFilesThatAreNoRegularFiles)
{
    TempDir dir;
    auto basic = dir.Write("TOGGLE.fbt", kBasic).string();
    auto folder = (dir / "folder.fbt").string();
    std::filesystem::create_directory(folder);
    auto fifo = (dir / "pipe.fbt").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    // A FIFO without a writer must not block the check, nor /dev/zero fill
    // the memory: `timeout` ends a run that hangs, and the test fails.
    auto r = RunProcess("/usr/bin/timeout", {"20", TELVO_CLI_PATH, "--home", BuiltProgramDir().string(), "type",
                                             "check", folder, fifo, "/dev/zero", basic});
    EXPECT_EQ(r.ExitCode, 1) << r.Err;
    auto lines = SplitLines(r.Out);
    ASSERT_EQ(lines.size(), 4u) << r.Out;
    EXPECT_EQ(lines[0], "ERROR\t" + folder + "\tCannot read file " + folder + ": is a directory");
    EXPECT_EQ(lines[1], "ERROR\t" + fifo + "\tCannot read file " + fifo + ": is not a regular file");
    EXPECT_EQ(lines[2], "ERROR\t/dev/zero\tCannot read file /dev/zero: is not a regular file");
    EXPECT_EQ(lines[3].rfind("OK\t" + basic + "\tTOGGLE\t", 0), 0u);
}

TEST(TypeCli, CheckReportsEachInnerTypeThatIsNotFound)
{
    TempDir dir;
    const std::string composite = dir.Write("TRIO.fbt", R"(<FBType Name="TRIO">
  <InterfaceList><EventInputs><Event Name="REQ"/></EventInputs></InterfaceList>
  <FBNetwork><FB Name="A" Type="NOPE"/><FB Name="S" Type="E_SPLIT"/><FB Name="B" Type="ALSO_NOPE"/>
    <EventConnections><Connection Source="REQ" Destination="S.EI"/></EventConnections></FBNetwork>
</FBType>
)").string();
    auto r = runTelvo({"type", "check", composite});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Out, "ERROR\t" + composite + "\tinner FB instance A: its type NOPE is not in the library or cannot "
                                             "be loaded\n"
                                             "ERROR\t" +
                         composite + "\tinner FB instance B: its type ALSO_NOPE is not in the library or cannot be "
                                     "loaded\n");
    // Where the workbench looked, and who asked.
    EXPECT_NE(r.Err.find("Filetype not found" + (BuiltProgramDir() / "library").string() +
                         "/NOPE.fbt (needed by FB type TRIO in " + composite + ")"),
              std::string::npos)
        << r.Err;
}

TEST(TypeCli, CheckTakesPathsAsGiven)
{
    TempDir dir;
    dir.Write("sub/T.fbt", kBasic);
    auto r = RunProcess("/bin/sh", {"-c", "cd '" + dir.Path().string() + "' && '" + TELVO_CLI_PATH +
                                              "' type check sub/../sub/T.fbt"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out.rfind("OK\tsub/../sub/T.fbt\tTOGGLE\t", 0), 0u) << r.Out;
}

TEST(TypeCli, RewriteKeepsTheFileAndItsModel)
{
    TempDir dir;
    auto in = dir.Write("TOGGLE.fbt", kBasic);
    auto out = dir / "copy.fbt";
    auto r = runTelvo({"type", "rewrite", in.string(), out.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_TRUE(RewriteKeepsEverything(in, out));
    std::string text = ReadFileText(out);
    EXPECT_NE(text.find("<FBType Name=\"TOGGLE\" Comment=\"toggle\">"), std::string::npos) << text;
    EXPECT_NE(text.find("Classification=\"Logic\""), std::string::npos);
}

TEST(TypeCli, RewriteRefusesWhatItCannotRead)
{
    TempDir dir;
    struct Case {
        const char* Name;
        std::string In;
        std::string ErrPart;
    };
    const Case cases[] = {
        {"wrong root", dir.Write("n.fbn", "<FBNetwork/>").string(), "Not an FB type file"},
        {"malformed", dir.Write("b.fbt", "<FBType>").string(), "Malformed XML"},
        {"missing", (dir / "none.fbt").string(), "none.fbt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto out = dir.Write("out.fbt", "previous");
        auto r = runTelvo({"type", "rewrite", c.In, out.string()});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_NE(r.Err.find(c.ErrPart), std::string::npos) << r.Err;
        EXPECT_EQ(ReadFileText(out), "previous");
    }
    EXPECT_EQ(runTelvo({"type", "rewrite", "only-one"}).ExitCode, 2);
}

// A link where the new type file would go is a name that is taken, even
// when it names a missing file: nothing is made where it points.
TEST(TypeCli, NewMakesNoFileThroughALink)
{
    struct Case {
        const char* Name;
        const char* Link; // the link's text, relative to out/
    };
    const Case cases[] = {
        {"dangling, relative", "../elsewhere/NEW_T.fbt"},
        {"dangling, into a missing folder", "../elsewhere/sub/NEW_T.fbt"},
        {"to an existing file", "../elsewhere/kept.fbt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        dir.Write("elsewhere/kept.fbt", "kept");
        std::filesystem::create_directories(dir / "out");
        std::filesystem::create_symlink(c.Link, dir / "out/NEW_T.fbt");
        auto r = runTelvo({"type", "new", "basic", "NEW_T", "--out", (dir / "out").string()});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Err, "telvo: " + (dir / "out/NEW_T.fbt").string() + " exists already\n");
        EXPECT_EQ(r.Out, "");
        EXPECT_TRUE(std::filesystem::is_symlink(dir / "out/NEW_T.fbt"));
        std::vector<std::string> elsewhere;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir / "elsewhere"))
            elsewhere.push_back(e.path().filename().string());
        EXPECT_EQ(elsewhere, std::vector<std::string>{"kept.fbt"});
        EXPECT_EQ(ReadFileText(dir / "elsewhere/kept.fbt"), "kept");
    }
}

TEST(TypeCli, RewriteKeepsElementsNestedAtAnyDepth)
{
    // Hung on elements the rewrite regenerates (the base element goes, its
    // extras move to the new one) and on one the composite's network keeps.
    struct Case {
        const char* Name;
        const char* Before;
        const char* After;
    };
    const Case cases[] = {
        {"input declaration",
         "<FBType Name=\"D\"><InterfaceList><InputVars><VarDeclaration Name=\"I\" Type=\"INT\">",
         "</VarDeclaration></InputVars></InterfaceList></FBType>"},
        {"state", "<FBType Name=\"D\"><InterfaceList/><BasicFB><ECC><ECState Name=\"START\">",
         "</ECState></ECC></BasicFB></FBType>"},
        {"inner instance",
         "<FBType Name=\"PAIR\"><InterfaceList><EventInputs><Event Name=\"REQ\"/></EventInputs></InterfaceList>"
         "<FBNetwork><FB Name=\"A\" Type=\"TOGGLE\" x=\"1\" y=\"1\">",
         "</FB><EventConnections><Connection Source=\"REQ\" Destination=\"A.REQ\"/></EventConnections>"
         "</FBNetwork></FBType>"},
    };
    constexpr size_t kDepth = 200000;
    TempDir home;
    home.Write("library/TOGGLE.fbt", kBasic);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string text = c.Before;
        for (size_t i = 0; i < kDepth; ++i)
            text += "<a>";
        for (size_t i = 0; i < kDepth; ++i)
            text += "</a>";
        text += c.After;
        TempDir dir;
        auto in = dir.Write("in.fbt", text);
        auto r = RunProcess(TELVO_CLI_PATH,
                            {"--home", home.Path().string(), "type", "rewrite", in.string(), (dir / "out.fbt").string()});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        if (r.ExitCode != 0)
            continue;
        std::string out = ReadFileText(dir / "out.fbt");
        EXPECT_LT(out.size(), 2 * text.size());
        // Every level is there, the innermost written empty.
        size_t opened = 0;
        for (size_t at = out.find("<a>"); at != std::string::npos; at = out.find("<a>", at + 1))
            ++opened;
        EXPECT_EQ(opened, kDepth - 1);
        EXPECT_NE(out.find("<a />"), std::string::npos);
    }
}

TEST(TypeCli, EveryCorpusTypeChecksAndRewritesKeepingEverything)
{
    TELVO_REQUIRE_CORPUS();
    auto files = FilesWithExtension(CorpusDir() / "4diac-typelibrary", ".fbt");
    ASSERT_FALSE(files.empty());
    // The composites' inner types come from the corpus as a library: one
    // library folder per package.
    TempDir home;
    std::filesystem::create_directory(home / "library");
    for (const auto& package : std::filesystem::directory_iterator(CorpusDir() / "4diac-typelibrary"))
        if (package.is_directory()) {
            auto typelib = package.path() / "typelib";
            std::filesystem::create_directory_symlink(std::filesystem::is_directory(typelib) ? typelib : package.path(),
                                                      home / "library" / package.path().filename());
        }
    std::vector<std::string> args = {"--home", home.Path().string(), "type", "check"};
    for (const auto& f : files)
        args.push_back(f.string());
    auto check = RunProcess(TELVO_CLI_PATH, args);
    // F_SUB, a function the corpus holds no type file for, is the one inner
    // type it lacks.
    EXPECT_EQ(check.ExitCode, 1) << check.Err;
    // Structured Text the simulation has no means for (interface arrays,
    // dates, a clock) is a warning before its file's OK line.
    std::vector<std::string> lines;
    std::set<std::string> warned;
    for (const auto& l : SplitLines(check.Out)) {
        if (l.rfind("WARNING\t", 0) == 0)
            warned.insert(std::filesystem::path(l.substr(8, l.find('\t', 8) - 8)).filename().string());
        else
            lines.push_back(l);
    }
    EXPECT_EQ(warned, (std::set<std::string>{"E_STOPWATCH.fbt", "E_TABLE_CTRL.fbt", "F_DT_TO_DATE.fbt",
                                             "F_DT_TO_TOD.fbt"}));
    ASSERT_EQ(lines.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].filename() == "E_N_TABLE.fbt")
            EXPECT_EQ(lines[i], "ERROR\t" + files[i].string() +
                                    "\tinner FB instance F_SUB: its type F_SUB is not in the library or cannot be "
                                    "loaded");
        else
            EXPECT_EQ(lines[i].rfind("OK\t" + files[i].string() + "\t", 0), 0u) << lines[i];
    }

    TempDir dir;
    for (const auto& in : files) {
        SCOPED_TRACE(in.string());
        auto out = dir / "out.fbt";
        auto r = runTelvo({"type", "rewrite", in.string(), out.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_TRUE(RewriteKeepsEverything(in, out));
    }
}

TEST(TypeCli, CheckPlacesStructuredTextFaultsInTheAlgorithm)
{
    TempDir dir;
    auto file = dir.Write("b.fbt", R"(<FBType Name="B"><InterfaceList><OutputVars>
<VarDeclaration Name="Q" Type="INT"/></OutputVars></InterfaceList><BasicFB>
<Algorithm Name="GOOD"><ST Text="Q := 1;"/></Algorithm>
<Algorithm Name="A"><ST Text="Q := 1;&#10;Q := Q +;"/></Algorithm></BasicFB></FBType>)");
    auto r = runTelvo({"type", "check", file.string()});
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out.substr(0, r.Out.find("\n") + 1),
              "WARNING\t" + file.string() + "\talgorithm A line 2, column 9: Syntax Error: ';' where an operand was expected\n");
}
