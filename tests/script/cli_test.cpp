// `telvo script run FILE [VALUE...] [--timeout SECONDS] [--max-steps N]`, run as
// the real program.

#include "support/test_support.h"

#include <gtest/gtest.h>

using telvo::test::RunProcess;
using telvo::test::TempDir;

namespace {

struct TCliCase {
    const char* Name;
    const char* Script;
    std::vector<std::string> Values;
    int ExitCode;
    const char* Out;
    const char* Err;
};

void PrintTo(const TCliCase& c, std::ostream* os) { *os << c.Name; }

class ScriptRunCommand : public ::testing::TestWithParam<TCliCase> {};

TEST_P(ScriptRunCommand, PrintsCellsOrTheError)
{
    const TCliCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> args{"script", "run", dir.Write("script.pas", c.Script).string()};
    args.insert(args.end(), c.Values.begin(), c.Values.end());
    const auto r = RunProcess(TELVO_CLI_PATH, args);
    EXPECT_EQ(r.ExitCode, c.ExitCode) << r.Err;
    EXPECT_EQ(r.Out, c.Out);
    EXPECT_EQ(r.Err, c.Err);
}

INSTANTIATE_TEST_SUITE_P(Table, ScriptRunCommand,
    ::testing::Values(
        TCliCase{"transition",
                 "procedure chkTransition( var theResult:Boolean);\r\nvar REQ:Boolean;\r\nvar X:Integer;\r\nbegin\r\n"
                 "REQ:=True;\r\nX:=7;\r\ntheResult:= REQ AND (X > 5);\r\nend;",
                 {}, 0, "theResult=True\n", ""},
        TCliCase{"algorithm",
                 "procedure execAlg(\r\nvar DO_OUT:Single;\r\nvar CNT:Integer;\r\n            );\r\nvar IN1:Integer;\r\n"
                 "begin\r\nIN1:=3;\r\nCNT:=0;\r\n//The FB Algorithm\r\nDO_OUT := IN1 * 2.5;\r\nCNT := CNT + 1;\r\nend;",
                 {"0.0", "5"}, 0, "DO_OUT=7.5\nCNT=1\n", ""},
        // Every kind of value in and out; a missing value leaves the cell empty.
        TCliCase{"values",
                 "function Echo(A; B; C; D; E; F; G; H);\nbegin\n  result := A + B;\nend;",
                 {"42", "2.5", "'It''s'", "true", "FALSE", "null", "-7"}, 0,
                 "A=42\nB=2.5\nC=It's\nD=True\nE=False\nF=<null>\nG=-7\nH=<empty>\nresult=44.5\n", ""},
        TCliCase{"cells are references",
                 "procedure P(var A; out B; C);\nbegin\n  A := A * 2;\n  C := 'local';\nend;",
                 {"21", "1", "'kept'"}, 0, "A=42\nB=<null>\nC=kept\n", ""},
        TCliCase{"floats", "function F;\nbegin\n  result := 1 / 3;\nend;", {}, 0, "result=0.333333333333333\n", ""},
        TCliCase{"no parameters", "begin\nend;", {}, 0, "", ""},
        TCliCase{"compile error", "procedure P;\nbegin\n\tX := 1;\nend;", {}, 2, "",
                 "Error compiling P. Syntax Error at line 3, pos 1\n"},
        TCliCase{"invalid parameter", "procedure execAlg(\n            );\nbegin\nend;", {}, 2, "",
                 "Error compiling execAlg. Invalid parameter at line 2, pos 13\n"},
        TCliCase{"run-time error", "procedure P(var X);\nbegin\n  X := 1 div 0;\nend;", {"1"}, 3, "",
                 "Division by zero\n"},
        TCliCase{"raised value", "procedure P;\nbegin\n  raise 'stop: ' + 'here';\nend;", {}, 3, "", "stop: here\n"},
        TCliCase{"unknown name", "procedure P;\nbegin\n  Foo(1);\nend;", {}, 3, "", "Method not found. Method: Foo\n"},
        TCliCase{"not a value", "procedure P(A);\nbegin\nend;", {"abc"}, 2, "", "telvo: not a value: abc\n"},
        TCliCase{"a name is not a value", "procedure P(A);\nbegin\nend;", {"Evaluate('1')"}, 2, "",
                 "telvo: not a value: Evaluate('1')\n"},
        TCliCase{"too many values", "procedure P(A);\nbegin\nend;", {"1", "2"}, 2, "",
                 "telvo: the script takes 1 parameter(s), 2 value(s) given\n"},
        // Limits for scripts nobody vouches for; options may stand among the values.
        TCliCase{"a loop ended by --max-steps", "procedure P(var X);\nbegin\n  while true do X := X + 1;\nend;",
                 {"0", "--max-steps", "1000"}, 3, "", "Instruction limit reached\n"},
        TCliCase{"a loop within --max-steps",
                 "function F;\nvar i;\nbegin\n  for i := 1 to 10 do result := i;\nend;", {"--max-steps=100"}, 0,
                 "result=10\n", ""},
        TCliCase{"a loop ended by --timeout", "procedure P;\nbegin\n  while true do ;\nend;", {"--timeout", "0.2"}, 3,
                 "", "telvo: the script ran longer than 0.2 seconds\n"},
        TCliCase{"a script within --timeout", "function F(A);\nbegin\n  result := A * 2;\nend;",
                 {"--timeout=30", "21"}, 0, "A=21\nresult=42\n", ""},
        TCliCase{"--timeout of no seconds", "begin\nend;", {"--timeout", "0"}, 2, "",
                 "telvo: --timeout needs seconds greater than 0, not '0'\n"},
        TCliCase{"--timeout that is no number", "begin\nend;", {"--timeout=soon"}, 2, "",
                 "telvo: --timeout needs seconds greater than 0, not 'soon'\n"},
        TCliCase{"--max-steps below one", "begin\nend;", {"--max-steps", "-5"}, 2, "",
                 "telvo: --max-steps needs a whole number greater than 0, not '-5'\n"},
        TCliCase{"--max-steps without a value", "begin\nend;", {"--max-steps"}, 2, "",
                 "telvo: --max-steps needs a value\n"},
        TCliCase{"an unknown option", "begin\nend;", {"--steps", "3"}, 2, "",
                 "telvo: script run: unknown option --steps\n"
                 "usage: telvo [--home DIR] script run FILE [VALUE...] [--timeout SECONDS] [--max-steps N]\n"}));

TEST(ScriptRunCommandUse, NeedsAReadableFile)
{
    auto r = RunProcess(TELVO_CLI_PATH, {"script", "run"});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(r.Err, "telvo: script run needs a FILE\n");
    TempDir dir;
    r = RunProcess(TELVO_CLI_PATH, {"script", "run", (dir / "missing.pas").string()});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("missing.pas"), std::string::npos) << r.Err;
    EXPECT_TRUE(r.Out.empty());
}

} // namespace
