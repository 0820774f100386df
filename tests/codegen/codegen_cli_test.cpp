// telvo codegen FILE.fbt [--out DIR] [--compile]

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace telvo::test;
namespace fs = std::filesystem;

namespace {

// A basic type: REQ sends CNF with the doubled input. `condition` is the
// condition of START -> RUN.
std::string BasicTypeXml(const std::string& name, const std::string& condition = "REQ")
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name=")" + name + R"(" Comment="doubles">
  <Identification Standard="61499-2"/>
  <InterfaceList>
    <EventInputs><Event Name="REQ" Type="Event"><With Var="X"/></Event></EventInputs>
    <EventOutputs><Event Name="CNF" Type="Event"><With Var="Y"/></Event></EventOutputs>
    <InputVars><VarDeclaration Name="X" Type="INT"/></InputVars>
    <OutputVars><VarDeclaration Name="Y" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB>
    <ECC>
      <ECState Name="START" x="0" y="0"/>
      <ECState Name="RUN" x="100" y="0"><ECAction Algorithm="double" Output="CNF"/></ECState>
      <ECTransition Source="START" Destination="RUN" Condition=")" + condition + R"(" x="50" y="0"/>
      <ECTransition Source="RUN" Destination="START" Condition="1" x="50" y="50"/>
    </ECC>
    <Algorithm Name="double" Comment="">
      <Other Language="DelphiScript" Text="DO_Y := X * 2;"/>
    </Algorithm>
  </BasicFB>
</FBType>
)";
}

const char* const kCompositeXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="CG_COMPOSITE">
  <InterfaceList>
    <EventInputs><Event Name="REQ" Type="Event"/></EventInputs>
  </InterfaceList>
  <FBNetwork>
    <FB Name="inner" Type="CG_CLI" x="0" y="0"/>
  </FBNetwork>
</FBType>
)";

class CodegenCli : public ::testing::Test {
protected:
    ProcessResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--home", home.Path().string(), "codegen"});
        return RunProcess(TELVO_CLI_PATH, args);
    }
    TempDir home;
    TempDir work;
};

TEST_F(CodegenCli, WritesIntoTheKaloFolderOrTheGivenFolderAndPrintsThePath)
{
    const fs::path fbt = work.Write("CG_CLI.fbt", BasicTypeXml("CG_CLI"));
    auto r = Run({fbt.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const fs::path inKalo = home.Path() / "KALO" / "CG_CLI.pas";
    EXPECT_EQ(r.Out, inKalo.string() + "\n");
    EXPECT_EQ(r.Err, "");
    const std::string text = ReadFile(inKalo);
    EXPECT_EQ(text.rfind("library CG_CLI;\r\n", 0), 0u);
    EXPECT_NE(text.find("\tDO_Y := X * 2;\r\n"), std::string::npos);

    const fs::path out = work / "generated";
    r = Run({"--out", out.string(), fbt.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, (out / "CG_CLI.pas").string() + "\n");
    EXPECT_TRUE(fs::exists(out / "CG_CLI.pas"));
}

TEST_F(CodegenCli, CompilePrintsTheCompilerOutputAndEndsWithItsStatus)
{
    const fs::path fbt = work.Write("CG_CLI.fbt", BasicTypeXml("CG_CLI"));
    auto r = Run({fbt.string(), "--out", work.Path().string(), "--compile"});
    const fs::path source = work / "CG_CLI.pas";
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err << " (scripts/setup installs fpc; this test needs it)";
    EXPECT_EQ(r.Out.rfind(source.string() + "\n", 0), 0u) << r.Out;
    EXPECT_NE(r.Out.find("Compiling " + source.string()), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("Linking " + (work / "libCG_CLI.so").string()), std::string::npos) << r.Out;
    EXPECT_TRUE(fs::exists(work / "libCG_CLI.so"));

    const fs::path broken = work.Write("broken/CG_CLI_BAD.fbt", BasicTypeXml("CG_CLI_BAD", "REQ AND NOSUCHVAR"));
    r = Run({broken.string(), "--compile", "--out", (work / "broken").string()});
    EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
    EXPECT_NE(r.Out.find("Identifier not found \"NOSUCHVAR\""), std::string::npos) << r.Out;
}

TEST_F(CodegenCli, SettingsNameTheCompiler)
{
    const fs::path fbt = work.Write("CG_CLI.fbt", BasicTypeXml("CG_CLI"));
    const fs::path probe = work.Write("tools/mypc", "#!/bin/sh\necho \"mypc $1 $2 $(basename \"$3\")\"\nexit 7\n");
    ::chmod(probe.c_str(), 0755);
    home.Write("settings.ini", "[Values]\nPascalCompiler=" + probe.string() + "\n");
    auto r = Run({fbt.string(), "--compile"});
    EXPECT_EQ(r.ExitCode, 7) << r.Err;
    EXPECT_EQ(r.Out, (home.Path() / "KALO" / "CG_CLI.pas").string() + "\nmypc -Sd -Sh CG_CLI.pas\n");

    home.Write("settings.ini", "[Values]\nPascalCompiler=telvo-no-such-compiler\n");
    r = Run({fbt.string(), "--compile"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, "telvo: Cannot start the compiler \"telvo-no-such-compiler\": No such file or directory\n");
}

TEST_F(CodegenCli, BadInputIsAnErrorOnStderrAndWritesNothing)
{
    const fs::path notType = work.Write("system.fbt", "<?xml version=\"1.0\"?><System Name=\"x\"/>");
    const fs::path malformed = work.Write("malformed.fbt", "<FBType Name=\"M\"><InterfaceList>");
    const fs::path composite = work.Write("CG_COMPOSITE.fbt", kCompositeXml);
    // The composite's inner type is in the library, so reading it says nothing.
    home.Write("library/cg/CG_CLI.fbt", BasicTypeXml("CG_CLI"));
    const fs::path escaping = work.Write("escaping.fbt", BasicTypeXml("../CG_ESCAPE"));
    const fs::path fbt = work.Write("CG_CLI.fbt", BasicTypeXml("CG_CLI"));
    const fs::path missing = work / "missing.fbt";
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string errStart; // stderr begins with this
    };
    const Case cases[] = {
        {{missing.string()}, 1, "telvo: Cannot open file " + missing.string()},
        {{work.Path().string()}, 1, "telvo: "},
        {{notType.string()}, 1, "telvo: " + notType.string() + ": Not an FB type file"},
        {{malformed.string()}, 1, "telvo: "},
        {{composite.string()}, 1,
         "telvo: " + composite.string() +
             ": \"CG_COMPOSITE\" is a composite FB type; code is generated for basic FB types only\n"},
        {{escaping.string()}, 1, "telvo: " + escaping.string() + ": \"../CG_ESCAPE\" cannot name a source file\n"},
        {{}, 2, "telvo: codegen needs a FILE\n"},
        {{fbt.string(), fbt.string()}, 2, "telvo: codegen takes one FILE\n"},
        {{fbt.string(), "--out"}, 2, "telvo: codegen: --out needs a folder\n"},
        {{fbt.string(), "--fast"}, 2, "telvo: codegen: unknown option --fast\n"},
    };
    for (const auto& c : cases) {
        std::string what;
        for (const auto& a : c.args)
            what += a + " ";
        auto r = Run(c.args);
        EXPECT_EQ(r.ExitCode, c.exitCode) << what << r.Err;
        EXPECT_EQ(r.Err.rfind(c.errStart, 0), 0u) << what << "\n" << r.Err;
        EXPECT_EQ(r.Out, "") << what;
    }
    EXPECT_FALSE(fs::exists(home.Path() / "KALO")) << "nothing is written on bad input";
    EXPECT_FALSE(fs::exists(home.Path() / "CG_ESCAPE.pas"));
}

} // namespace
