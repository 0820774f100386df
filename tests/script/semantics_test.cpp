// What scripts compute: value conversions, statements, exceptions,
// parameters, text indexing and Evaluate.

#include "script_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace telvo;
using telvo::test::Eval;
using telvo::test::Outcome;

namespace {

struct TCase {
    const char* Input;
    const char* Expected;
};

void PrintTo(const TCase& c, std::ostream* os) { *os << c.Input; }

// The expression evaluated in a function that has a variable E never
// assigned (Empty) and a text variable T = 'abc'.
std::string EvalWithVariables(const std::string& expression)
{
    return Outcome("function F;\nvar E;\nvar T;\nbegin\n  T := 'abc';\n  result := " + expression + ";\nend;");
}

class Conversion : public ::testing::TestWithParam<TCase> {};

TEST_P(Conversion, FollowsTheRules)
{
    EXPECT_EQ(EvalWithVariables(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(NullAndEmpty, Conversion,
    ::testing::Values(
        TCase{"null + 1", "<null>"},
        TCase{"1 - null", "<null>"},
        TCase{"'a' + null", "<null>"},
        TCase{"-null", "<null>"},
        TCase{"not null", "<null>"},
        TCase{"null and True", "<null>"},
        TCase{"null = null", "True"},
        TCase{"null = 0", "False"},
        TCase{"null <> 0", "True"},
        TCase{"null < -1000", "True"},
        TCase{"'' > null", "True"},
        TCase{"E", "<empty>"},
        TCase{"E + 1", "1"},
        TCase{"E + 'a'", "a"},
        TCase{"E + E", "0"},
        TCase{"E = 0", "True"},
        TCase{"E = ''", "True"},
        TCase{"E = null", "False"},
        TCase{"not E", "True"},
        TCase{"E or False", "False"}));

INSTANTIATE_TEST_SUITE_P(BooleansAndTexts, Conversion,
    ::testing::Values(
        TCase{"True + 1", "2"},
        TCase{"False * 5", "0"},
        TCase{"-True", "-1"},
        TCase{"True = 1", "True"},
        TCase{"True > False", "True"},
        TCase{"'5' + 1", "6"},
        TCase{"'5' + '1'", "51"},
        TCase{"'2.5' * 2", "5"},
        TCase{"1 + ' -3 '", "-2"},
        TCase{"'$10' - 0", "16"},
        TCase{"'1e3' - 0", "1000"},
        TCase{"'10' = 10", "True"},
        TCase{"'9' < 10", "True"},
        TCase{"'9' < '10'", "False"},
        TCase{"'true' and True", "True"},
        TCase{"T + 1", "error: Could not convert 'abc' to a number"},
        TCase{"'' * 1", "error: Could not convert '' to a number"},
        TCase{"'1.2.3' - 1", "error: Could not convert '1.2.3' to a number"},
        TCase{"T = 1", "error: Could not convert 'abc' to a number"},
        TCase{"T and True", "error: Could not convert 'abc' to a Boolean"}));

INSTANTIATE_TEST_SUITE_P(Integers, Conversion,
    ::testing::Values(
        // Results beyond 32 bits widen to floats holding the exact value.
        TCase{"2147483647 + 1", "2147483648"},
        TCase{"-2147483647 - 2", "-2147483649"},
        TCase{"65536 * 65536", "4294967296"},
        TCase{"-(-2147483647 - 1)", "2147483648"},
        TCase{"(-2147483647 - 1) div -1", "2147483648"},
        TCase{"(-2147483647 - 1) mod -1", "0"},
        TCase{"2147483647 + 1 - 1", "2147483647"},
        TCase{"1 / 0", "error: Division by zero"},
        TCase{"1 div 0", "error: Division by zero"},
        TCase{"1 mod 0", "error: Division by zero"},
        TCase{"1.5 / 0.0", "error: Division by zero"},
        // div and mod round floats half to even first.
        TCase{"7.5 div 2", "4"},
        TCase{"6.5 div 2", "3"},
        TCase{"7 mod 2.5", "1"},
        TCase{"1.0e", "error: Error compiling F. Syntax Error at line 6, pos 16"}, // no exponents
        TCase{"5000000000.0 div 2", "error: Could not convert 5000000000 to an integer"},
        TCase{"1 = 1.0", "True"},
        TCase{"0.1 + 0.2 = 0.3", "False"},
        TCase{"1 / 3", "0.333333333333333"},
        TCase{"100000000000.0 * 1000000000.0", "1E20"},
        TCase{"0.00001", "1E-5"},
        TCase{"not 5", "-6"},
        TCase{"True and 0", "False"},
        TCase{"1 and True", "True"},
        TCase{"6 and 3.0", "True"}));

// and/or leave the right operand alone when the left one decides.
INSTANTIATE_TEST_SUITE_P(ShortCircuit, Conversion,
    ::testing::Values(
        TCase{"False and (1 div 0 = 1)", "False"},
        TCase{"True or (1 div 0 = 1)", "True"},
        TCase{"False and T", "False"},
        TCase{"True and (1 div 0 = 1)", "error: Division by zero"},
        TCase{"False or (1 div 0 = 1)", "error: Division by zero"},
        TCase{"0 and (1 div 0)", "error: Division by zero"}));

class Statement : public ::testing::TestWithParam<TCase> {};

TEST_P(Statement, Gives)
{
    EXPECT_EQ(Outcome(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Control, Statement,
    ::testing::Values(
        TCase{"function F;\nvar A;\nbegin\n  A := False;\n  if True then if A then result := 1 else result := 2;\nend;", "2"},
        TCase{"function F;\nvar A;\nbegin\n  if A then result := 1 else result := 2;\nend;", "2"},
        TCase{"function F;\nbegin\n  if 'abc' then result := 1;\nend;", "error: Could not convert 'abc' to a Boolean"},
        TCase{"function F;\nvar I;\nbegin\n  I := 0;\n  while I < 10 do\n  begin\n    I := I + 1;\n"
              "    if I = 3 then continue;\n    if I = 6 then break;\n    result := result + I;\n  end;\nend;",
              "12"},
        TCase{"function F;\nvar I; var N;\nbegin\n  I := 0; N := 0;\n  repeat\n    I := I + 1;\n"
              "    if I mod 2 = 0 then continue;\n    N := N + 1;\n  until I >= 10;\n  result := N;\nend;",
              "5"},
        TCase{"function F;\nvar I;\nbegin\n  repeat\n    I := I + 1;\n    if I > 3 then break;\n  until False;\n"
              "  result := I;\nend;",
              "4"},
        // The end value is read again before every pass.
        TCase{"function F;\nvar I; var N;\nbegin\n  N := 3;\n  for I := 1 to N do\n  begin\n"
              "    if N < 10 then N := N + 1;\n    result := result + 1;\n  end;\nend;",
              "10"},
        TCase{"function F;\nvar I;\nbegin\n  for I := 1 to 3 do ;\n  result := I;\nend;", "4"},
        TCase{"function F;\nvar I;\nbegin\n  for I := 3 downto 1 do result := result + I;\nend;", "6"},
        TCase{"function F;\nvar I;\nbegin\n  for I := 5 to 1 do result := 1;\n  result := result + I;\nend;", "5"},
        TCase{"function F;\nvar I;\nbegin\n  for I := 1 to 10 do I := I + 1;\n  result := I;\nend;", "11"},
        TCase{"function F;\nvar I;\nbegin\n  for I := 0.5 to 3 do result := result + 1;\nend;", "3"},
        TCase{"function F;\nvar I; var J;\nbegin\n  for I := 1 to 3 do\n    for J := 1 to 3 do\n"
              "    begin\n      if J = 2 then continue;\n      if J > I then break;\n      result := result + 1;\n"
              "    end;\nend;",
              "4"},
        TCase{"function F;\nvar I;\nbegin\n  for I := 10 downto 1 do\n  begin\n    if I mod 3 = 0 then continue;\n"
              "    if I = 2 then break;\n    result := result + I;\n  end;\nend;",
              "34"}));

INSTANTIATE_TEST_SUITE_P(Exceptions, Statement,
    ::testing::Values(
        TCase{"function F;\nbegin\n  try\n    raise 'boom';\n  except\n    result := exception;\n  end;\nend;", "boom"},
        TCase{"function F;\nvar X;\nbegin\n  try\n    X := 1 div 0;\n  except\n    result := exception;\n  end;\nend;",
              "Division by zero"},
        TCase{"function F;\nbegin\n  try\n    raise 1;\n  except\n  end;\n  result := exception;\nend;", "<empty>"},
        TCase{"function F;\nbegin\n  try\n    result := 1;\n  except\n    result := 2;\n  end;\nend;", "1"},
        TCase{"function F;\nbegin\n  try\n    result := 1;\n    exit;\n  finally\n    result := result + 10;\n"
              "  end;\n  result := 100;\nend;",
              "11"},
        TCase{"function F;\nvar I;\nbegin\n  for I := 1 to 5 do\n    try\n      if I = 3 then break;\n"
              "      if I = 2 then continue;\n    finally\n      result := result + 1;\n    end;\nend;",
              "3"},
        TCase{"function F;\nbegin\n  try\n    try\n      raise 'a';\n    except\n      raise exception + 'b';\n"
              "    end;\n  except\n    result := exception;\n  end;\nend;",
              "ab"},
        TCase{"function F;\nbegin\n  try\n    raise 'a';\n  except\n    try\n      raise 'b';\n    except\n"
              "    end;\n    result := exception;\n  end;\nend;",
              "a"},
        TCase{"function F;\nbegin\n  try\n    try\n      raise 'a';\n    finally\n      raise 'b';\n    end;\n"
              "  except\n    result := exception;\n  end;\nend;",
              "b"},
        TCase{"function F;\nbegin\n  try\n    try\n      raise 'a';\n    finally\n      result := 'f';\n    end;\n"
              "  except\n    result := result + exception;\n  end;\nend;",
              "fa"},
        TCase{"function F;\nbegin\n  try\n    goto done;\n  finally\n    result := 'f';\n  end;\n"
              "  result := 'not here';\ndone:\n  result := result + 'o';\nend;",
              "fo"},
        TCase{"function F;\nbegin\n  try\n    try\n      exit;\n    finally\n      result := result + 'inner ';\n"
              "    end;\n  finally\n    result := result + 'outer';\n  end;\nend;",
              "inner outer"},
        TCase{"function F;\nbegin\n  try\n    raise 'a';\n  finally\n    exit;\n  end;\nend;", "<empty>"},
        TCase{"function F;\nvar I;\nbegin\n  while I < 3 do\n    try\n      I := I + 1;\n      continue;\n"
              "    finally\n      result := result + 1;\n    end;\nend;",
              "3"},
        TCase{"procedure P;\nbegin\n  raise 42;\nend;", "error: 42"},
        TCase{"procedure P;\nbegin\n  raise 'It' + 's';\nend;", "error: Its"}));

TEST(ScriptExceptions, FinallyRunsAndTheExceptionLeavesExecute)
{
    TScriptRunner runner;
    TVariant log;
    runner.PushReference(log);
    try {
        runner.Execute("procedure P(var Log);\nbegin\n  Log := '';\n  try\n    Log := Log + 'a';\n    raise 2.5;\n"
                       "    Log := Log + 'b';\n  finally\n    Log := Log + 'f';\n  end;\nend;");
        FAIL();
    } catch (const EVariantException& e) {
        EXPECT_STREQ(e.what(), "2.5");
        EXPECT_EQ(e.Value().Kind(), TVariantKind::Float);
    }
    EXPECT_EQ(DescribeScriptValue(log), "af");
    EXPECT_EQ(runner.PendingArguments(), 0u);
}

TEST(ScriptParameters, CellsAreBoundByKind)
{
    std::vector<TVariant> cells{TVariant(int32_t(1)), TVariant(int32_t(2)), TVariant(int32_t(3)), TVariant(int32_t(4))};
    EXPECT_EQ(Outcome("function F(A; out B; var C; const D);\nbegin\n  result := D * 1000 + C * 100 + A;\n"
                      "  A := 'changed';\n  if B = null then C := 'b was null';\n  B := 'b';\nend;",
                      &cells),
              "4301");
    EXPECT_EQ(DescribeScriptValue(cells[0]), "1"); // a value parameter works on a copy
    EXPECT_EQ(DescribeScriptValue(cells[1]), "b");
    EXPECT_EQ(DescribeScriptValue(cells[2]), "b was null");
    EXPECT_EQ(DescribeScriptValue(cells[3]), "4");
}

TEST(ScriptParameters, OutCellIsNullEvenWhenNotAssigned)
{
    std::vector<TVariant> cells{TVariant(int32_t(5))};
    EXPECT_EQ(Outcome("procedure P(out X);\nbegin\nend;", &cells), "<empty>");
    EXPECT_TRUE(cells[0].IsNull());
}

TEST(ScriptParameters, WrongNumberOfArgumentsLeavesAnEmptyStack)
{
    TScriptRunner runner;
    const char* script = "procedure P(A, B);\nbegin\nend;";
    runner.Push(TVariant(int32_t(1)));
    EXPECT_EQ(telvo::test::Outcome(runner, script), "error: Not enough actual parameters");
    EXPECT_EQ(runner.PendingArguments(), 0u);
    for (int i = 0; i < 3; ++i)
        runner.Push(TVariant(int32_t(i)));
    EXPECT_EQ(telvo::test::Outcome(runner, script), "error: Too many actual parameters");
    EXPECT_EQ(runner.PendingArguments(), 0u);
    // A plain value where a reference is expected just acts as a local.
    runner.Push(TVariant(int32_t(1)));
    runner.Push(TVariant(int32_t(2)));
    EXPECT_EQ(telvo::test::Outcome(runner, "function F(var A; out B);\nbegin\n  A := A + 1;\n  result := A;\nend;"),
              "2");
}

TEST(ScriptParameters, TransitionAndAlgorithmScriptsOfTheSimulation)
{
    TScriptRunner runner;
    TVariant theResult;
    runner.PushReference(theResult);
    runner.Execute("procedure chkTransition( var theResult:Boolean);\r\nvar REQ:Boolean;\r\nvar X:Integer;\r\n"
                   "begin\r\nREQ:=True;\r\nX:=7;\r\ntheResult:= REQ AND (X > 5);\r\nend;");
    EXPECT_EQ(DescribeScriptValue(theResult), "True");

    TVariant out(0.0), cnt(int32_t(0));
    runner.PushReference(out);
    runner.PushReference(cnt);
    runner.Execute("procedure execAlg(\r\nvar DO_OUT:Single;\r\nvar CNT:Integer;\r\n            );\r\nvar IN1:Integer;\r\n"
                   "begin\r\nIN1:=3;\r\nCNT:=0;\r\n//The FB Algorithm\r\nDO_OUT := IN1 * 2.5;\r\nCNT := CNT + 1;\r\nend;");
    EXPECT_EQ(DescribeScriptValue(out), "7.5");
    EXPECT_EQ(DescribeScriptValue(cnt), "1");

    // A condition that leaves the cell empty: the host reads False.
    TVariant untouched;
    runner.PushReference(untouched);
    runner.Execute("procedure chkTransition( var theResult:Boolean);\r\nbegin\r\nend;");
    EXPECT_FALSE(untouched.ToBoolean());
}

class TextIndex : public ::testing::TestWithParam<TCase> {};

TEST_P(TextIndex, Works)
{
    EXPECT_EQ(EvalWithVariables(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, TextIndex,
    ::testing::Values(
        TCase{"T[1] + T[3]", "ac"},
        TCase{"T['2']", "b"},
        TCase{"T[0]", "error: Index out of range: 0"},
        TCase{"T[4]", "error: Index out of range: 4"},
        TCase{"T[1, 2]", "error: Multidimensional arrays are not supported"},
        TCase{"E[1]", "error: Variable is not an array"},
        TCase{"Evaluate('T[2]')", "b"}));

TEST(ScriptTextIndex, AssignsOneCharacterThroughVariablesAndCells)
{
    std::vector<TVariant> cells{TVariant("abc")};
    EXPECT_EQ(Outcome("function F(var C);\nvar T;\nbegin\n  T := 'xyz';\n  T[2] := 'Y';\n  C[3] := T[1];\n"
                      "  result := T;\nend;",
                      &cells),
              "xYz");
    EXPECT_EQ(DescribeScriptValue(cells[0]), "abx");
    EXPECT_EQ(Outcome("procedure P;\nvar T;\nbegin\n  T := 'abc';\n  T[1] := 'xy';\nend;"),
              "error: Not a single character: 'xy'");
    EXPECT_EQ(Outcome("procedure P;\nvar N;\nbegin\n  N := 5;\n  N[1] := 'x';\nend;"), "error: Variable is not an array");
}

TEST(ScriptEvaluate, SeesTheVariablesOfTheRunningScript)
{
    std::vector<TVariant> cells{TVariant(int32_t(5))};
    EXPECT_EQ(Outcome("function F(var C);\nvar X;\nconst K = 100;\nbegin\n  X := 2;\n"
                      "  result := Evaluate('X * 10 + C + K');\nend;",
                      &cells),
              "125");
    EXPECT_EQ(Eval("Evaluate('Evaluate(''1 + 2'') * 2')"), "6");
    EXPECT_EQ(Outcome("function F;\nbegin\n  try\n    result := Evaluate('1 +');\n  except\n"
                      "    result := exception;\n  end;\nend;"),
              "Error compiling . Unexpected end of script at line 1, pos 4");
    EXPECT_EQ(Outcome("function F;\nvar X;\nbegin\n  result := Evaluate('X := 1');\nend;"),
              "error: Error compiling . Assignment in expressions is not supported at line 1, pos 3");
    // A script that evaluates itself again and again ends, with an error.
    EXPECT_EQ(Outcome("function F;\nvar S;\nbegin\n  S := 'Evaluate(S)';\n  result := Evaluate(S);\nend;"),
              "error: Stack overflow");
}

TEST(ScriptEvaluate, NeedsARunningScript)
{
    TScriptRunner runner;
    try {
        runner.Evaluate("1");
        FAIL();
    } catch (const EScriptError& e) {
        EXPECT_STREQ(e.what(), "Parent process not found");
    }
}

TEST(ScriptRunner, StackHoldsAtMost1024Values)
{
    TScriptRunner runner;
    for (size_t i = 0; i < TScriptRunner::kMaxStack; ++i)
        runner.Push(TVariant(int32_t(1)));
    try {
        runner.Push(TVariant(int32_t(1)));
        FAIL();
    } catch (const EScriptError& e) {
        EXPECT_STREQ(e.what(), "Stack overflow");
    }
    EXPECT_EQ(telvo::test::Outcome(runner, "procedure P;\nbegin\nend;"), "error: Too many actual parameters");
    EXPECT_EQ(runner.PendingArguments(), 0u);

    // A routine whose values would not fit on the stack.
    std::string script = "procedure P(A);\nbegin\n  A := Foo(0";
    for (int i = 1; i < 1100; ++i)
        script += ", " + std::to_string(i);
    script += ");\nend;";
    runner.Push(TVariant(int32_t(1)));
    EXPECT_EQ(telvo::test::Outcome(runner, script), "error: Stack overflow");
    EXPECT_EQ(runner.PendingArguments(), 0u);
    runner.Push(TVariant(int32_t(1)));
    EXPECT_EQ(telvo::test::Outcome(runner, "function F(A);\nbegin\n  result := A + 1;\nend;"), "2");
}

TEST(ScriptRunner, RunsACompiledUnitAgain)
{
    TScriptCode code{"function Inc(var C);\nbegin\n  C := C + 1;\n  result := C * 10;\nend;"};
    code.SetCompiled(true);
    TScriptRunner runner;
    TVariant cell(int32_t(0));
    for (int i = 1; i <= 3; ++i) {
        runner.PushReference(cell);
        EXPECT_EQ(DescribeScriptValue(runner.Run(code)), std::to_string(i * 10));
    }
    TScriptCode uncompiled{"begin end;"};
    EXPECT_THROW(runner.Run(uncompiled), EScriptError);
}

} // namespace
