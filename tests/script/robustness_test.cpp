// Scripts come from type files anyone can write: none may crash or hang the
// workbench, and the runner must be usable after whatever went wrong.

#include "script_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace telvo;
using telvo::test::Outcome;

namespace {

std::string Repeat(const std::string& piece, int count)
{
    std::string s;
    s.reserve(piece.size() * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        s += piece;
    return s;
}

std::string CompileErrorOf(const std::string& script)
{
    TScriptCode code{script};
    try {
        code.SetCompiled(true);
    } catch (const EScriptCompileError& e) {
        return e.what();
    }
    return "compiled";
}

TEST(ScriptRobustness, DeepNestingIsACompileError)
{
    const struct {
        const char* Name;
        std::string Script;
    } cases[] = {
        {"parentheses", "function F;\nbegin\n  result := " + Repeat("(", 100000) + "1" + Repeat(")", 100000) + ";\nend;"},
        {"begins", "procedure P;\nbegin\n" + Repeat("begin ", 10000) + Repeat("end; ", 10000) + "\nend;"},
        {"signs", "function F;\nbegin\n  result := " + Repeat("- ", 100000) + "1;\nend;"},
        {"ifs", "procedure P;\nvar X;\nbegin\n" + Repeat("if True then ", 10000) + "X := 1;\nend;"},
        {"labels", "procedure P;\nbegin\n" + [] {
             std::string s;
             for (int i = 0; i < 10000; ++i)
                 s += "L" + std::to_string(i) + ": ";
             return s;
         }() + ";\nend;"},
        {"arguments", "function F;\nbegin\n  result := " + Repeat("G(", 10000) + "1" + Repeat(")", 10000) + ";\nend;"},
        {"members", "function F;\nbegin\n  result := " + Repeat("O.M[", 10000) + "1" + Repeat("]", 10000) + ";\nend;"},
    };
    for (const auto& c : cases) {
        const std::string message = CompileErrorOf(c.Script);
        EXPECT_NE(message.find("Syntax Error: Nesting too deep at line"), std::string::npos) << c.Name << ": " << message;
    }
    // Nesting within the limit compiles and runs.
    EXPECT_EQ(Outcome("function F;\nbegin\n  result := " + Repeat("(", 150) + "1" + Repeat(")", 150) + ";\nend;"), "1");
}

TEST(ScriptRobustness, EndlessLoopsEndWhenTerminated)
{
    const char* loops[] = {
        "procedure P;\nbegin\n  while True do ;\nend;",
        "procedure P;\nbegin\n  repeat until False;\nend;",
        "procedure P;\nbegin\n  again: goto again;\nend;",
        "procedure P;\nvar I;\nbegin\n  for I := 1 to 2 do I := 0;\nend;",
        // An except part inside the loop cannot swallow the request.
        "procedure P;\nvar X;\nbegin\n  while True do\n    try\n      X := 1 div 0;\n    except\n    end;\nend;",
        "procedure P;\nbegin\n  while True do\n    try\n      continue;\n    finally\n    end;\nend;",
    };
    TScriptRunner runner;
    for (const char* script : loops) {
        auto run = std::async(std::launch::async, [&] { return Outcome(runner, script); });
        EXPECT_EQ(run.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout) << script;
        runner.Terminate();
        EXPECT_EQ(run.get(), "error: Process terminated by user") << script;
        EXPECT_FALSE(runner.Terminated());
        EXPECT_EQ(Outcome(runner, "function F;\nbegin\n  result := 1;\nend;"), "1");
    }
}

TEST(ScriptRobustness, TerminateBetweenRunsEndsTheNextRunOnly)
{
    TScriptRunner runner;
    runner.Terminate();
    EXPECT_EQ(Outcome(runner, "procedure P;\nbegin\n  while True do ;\nend;"), "error: Process terminated by user");
    EXPECT_EQ(Outcome(runner, "function F;\nvar I;\nbegin\n  for I := 1 to 3 do result := I;\nend;"), "3");
}

TEST(ScriptRobustness, InstructionBudgetBoundsEachRun)
{
    TScriptRunner runner;
    runner.InstructionBudget = 1000;
    EXPECT_EQ(Outcome(runner, "procedure P;\nbegin\n  while True do ;\nend;"), "error: Instruction limit reached");
    // Each run gets the whole budget again.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Outcome(runner, "function F;\nvar I;\nbegin\n  for I := 1 to 900 do result := I;\nend;"), "900");
    EXPECT_EQ(Outcome(runner, "function F;\nvar I;\nbegin\n  for I := 1 to 2000 do result := I;\nend;"),
              "error: Instruction limit reached");
}

TEST(ScriptRobustness, TextsAreBounded)
{
    TScriptRunner runner;
    runner.MaxTextLength = 1000;
    EXPECT_EQ(Outcome(runner, "procedure P;\nvar S;\nbegin\n  S := 'x';\n  while True do S := S + S;\nend;"),
              "error: Text too long");
    EXPECT_EQ(Outcome(runner, "function F;\nvar S; var I;\nbegin\n  for I := 1 to 1000 do S := S + 'x';\n"
                              "  result := S = Evaluate('S');\nend;"),
              "True");
}

TEST(ScriptRobustness, RunnerIsUsableAfterEveryKindOfError)
{
    TScriptRunner runner;
    const char* failing[] = {
        "procedure P;\nbegin\n\tX := 1;\nend;",
        "procedure P;\nvar X;\nbegin\n  X := 1 div 0;\nend;",
        "procedure P;\nbegin\n  try\n    raise 'inner';\n  finally\n  end;\nend;",
        "procedure P;\nvar X;\nbegin\n  try\n    try\n      raise 1;\n    except\n      X := Evaluate('1 +');\n"
        "    end;\n  finally\n  end;\nend;",
        "function F;\nvar S;\nbegin\n  S := 'Evaluate(S)';\n  result := Evaluate(S);\nend;",
        "procedure P;\nbegin\n  Unknown;\nend;",
    };
    for (const char* script : failing) {
        TVariant cell(int32_t(1));
        runner.PushReference(cell);
        runner.Push(TVariant("extra"));
        EXPECT_EQ(Outcome(runner, script).rfind("error: ", 0), 0u) << script;
        EXPECT_EQ(runner.PendingArguments(), 0u);
        std::vector<TVariant> cells{TVariant(int32_t(4))};
        EXPECT_EQ(Outcome(runner,
                          "function F(var C);\nbegin\n  try\n    result := C * 2;\n  except\n    result := -1;\n"
                          "  end;\n  result := result + Evaluate('exception = null');\nend;",
                          &cells),
                  "8")
            << "after " << script;
    }
}

// Runners on different threads share nothing that changes; the same host
// scope object may serve them all.
TEST(ScriptRobustness, RunnersOnSeveralThreads)
{
    TScriptObject scope("TShared");
    scope.AddMethod("Twice", 1, [](TScriptCall& c) { return TVariant(c.Arg(0).ToInteger() * 2); });
    auto work = [&scope](int seed) {
        TScriptRunner runner;
        for (int i = 0; i < 300; ++i) {
            TVariant theResult;
            runner.PushReference(theResult);
            runner.Execute("procedure chkTransition( var theResult:Boolean);\r\nvar X:Integer;\r\nbegin\r\nX:=" +
                               std::to_string(seed + i) + ";\r\ntheResult:= (X > 5) and (Twice(X) = X * 2);\r\nend;",
                           &scope);
            if (theResult.ToBoolean() != (seed + i > 5))
                return false;
            TVariant out(0.0), cnt{static_cast<int32_t>(i)};
            runner.PushReference(out);
            runner.PushReference(cnt);
            runner.Execute("procedure execAlg(\r\nvar DO_OUT:Single;\r\nvar CNT:Integer;\r\n            );\r\n"
                           "begin\r\nDO_OUT := CNT * 2.5 + Evaluate('CNT');\r\nCNT := CNT + 1;\r\n"
                           "try\r\n  raise 'x';\r\nexcept\r\nend;\r\nend;",
                           &scope);
            if (out.ToFloat() != i * 3.5 || cnt.ToInteger() != i + 1)
                return false;
        }
        return true;
    };
    std::vector<std::future<bool>> runs;
    for (int t = 0; t < 4; ++t)
        runs.push_back(std::async(std::launch::async, work, t));
    for (auto& r : runs)
        EXPECT_TRUE(r.get());
}

} // namespace
