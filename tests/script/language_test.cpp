// The language as scripts see it: lexical rules, grammar and the compile
// errors with their numbers, lines and positions.

#include "script_test_support.h"

#include <gtest/gtest.h>

using namespace telvo;
using telvo::test::Eval;
using telvo::test::Outcome;

namespace {

struct TCase {
    const char* Input;
    const char* Expected;
};

void PrintTo(const TCase& c, std::ostream* os) { *os << c.Input; }

class ExpressionValue : public ::testing::TestWithParam<TCase> {};

TEST_P(ExpressionValue, Evaluates)
{
    EXPECT_EQ(Eval(GetParam().Input), GetParam().Expected);
}

// Literals and operators whose value shows the lexical and grammar rules.
INSTANTIATE_TEST_SUITE_P(Lexical, ExpressionValue,
    ::testing::Values(
        TCase{"'It''s'", "It's"},
        TCase{"''''", "'"},
        TCase{"#65#66", "AB"},
        TCase{"#$41'b'#$43", "AbC"},
        TCase{"$1F", "31"},
        TCase{"$FF + 1", "256"},
        TCase{"$7FFFFFFF", "2147483647"},
        TCase{"$FFFFFFFF", "-1"},
        TCase{"2147483647", "2147483647"},
        TCase{"1.5", "1.5"},
        TCase{"2.", "2"},
        TCase{"0.1 + 0.2", "0.3"},
        TCase{"TRUE", "True"},
        TCase{"False", "False"},
        TCase{"NULL", "<null>"},
        TCase{"1 { a comment } + (* another *) 2", "3"}));

INSTANTIATE_TEST_SUITE_P(Operators, ExpressionValue,
    ::testing::Values(
        TCase{"7 / 2", "3.5"},
        TCase{"7 div 2", "3"},
        TCase{"7 mod 2", "1"},
        TCase{"-7 div 2", "-3"},
        TCase{"-7 mod 2", "-1"},
        TCase{"7 mod -2", "1"},
        TCase{"6 / 3", "2"},
        TCase{"2 + 3 * 4", "14"},
        TCase{"(2 + 3) * 4", "20"},
        TCase{"10 - 4 - 3", "3"},
        TCase{"100 div 10 div 5", "2"},
        TCase{"-2 * -3", "6"},
        TCase{"+5", "5"},
        TCase{"- (3 + 4)", "-7"},
        TCase{"not True", "False"},
        TCase{"not False and False", "False"},
        TCase{"1 < 2", "True"},
        TCase{"2 <= 2", "True"},
        TCase{"2 >= 3", "False"},
        TCase{"2 <> 3", "True"},
        TCase{"1 = 1 = True", "True"},       // relational operators chain left to right
        TCase{"3 > 2 > 1", "False"},         // (3 > 2) > 1 is True > 1, i.e. 1 > 1
        TCase{"'abc' + 'def'", "abcdef"},
        TCase{"'abc' < 'abd'", "True"},
        TCase{"'B' < 'a'", "True"},
        TCase{"True or False and False", "True"},
        TCase{"True xor True", "False"},
        TCase{"5 and 3", "1"},
        TCase{"5 or 3", "7"},
        TCase{"5 xor 3", "6"},
        TCase{"not 0", "-1"}));

TEST(ScriptLexical, TextOfCodesIsOneTextOfFourCharacters)
{
    std::vector<TVariant> cells(1);
    EXPECT_EQ(Outcome("procedure P(var T);\nbegin\n  T := 'a'#13#10'b';\nend;", &cells), "<empty>");
    ASSERT_EQ(cells[0].Kind(), TVariantKind::Text);
    EXPECT_EQ(cells[0].AsText(), std::string("a\r\nb"));
}

TEST(ScriptLexical, CarriageReturnsAreDroppedEverywhere)
{
    // Inside a text, inside a name and between lines alike.
    std::vector<TVariant> cells(1);
    EXPECT_EQ(Outcome("procedure P(var T);\r\nvar Na\rme;\r\nbegin\r\n  Name := 'x\ry';\r\n  T := Name;\r\nend;", &cells),
              "<empty>");
    EXPECT_EQ(DescribeScriptValue(cells[0]), "xy");
}

TEST(ScriptLexical, BackspaceIsBlankButTabIsNot)
{
    EXPECT_EQ(Eval("1 +\b2"), "3");
    EXPECT_EQ(Eval("1 +\t2"), "error: Error compiling F. Syntax Error at line 3, pos 16");
}

// "X > 5 and Y < 3" is X > (5 and Y) < 3: with X = 4 and Y = 4 that is
// (4 > 4) < 3, i.e. False < 3, which holds; read the usual way it would not.
TEST(ScriptGrammar, AndBindsTighterThanComparisons)
{
    const char* script = "function F;\nvar X;\nvar Y;\nbegin\n  X := 4;\n  Y := 4;\n  result := %s;\nend;";
    auto run = [&](const char* expression) {
        char text[256];
        std::snprintf(text, sizeof text, script, expression);
        return Outcome(text);
    };
    EXPECT_EQ(run("X > 5 and Y < 3"), "True");
    EXPECT_EQ(run("(X > 5) and (Y < 3)"), "False");
    EXPECT_EQ(run("X > (5 and Y) < 3"), "True");
}

// Whole scripts and what running them gives.
class ScriptRun : public ::testing::TestWithParam<TCase> {};

TEST_P(ScriptRun, Gives)
{
    EXPECT_EQ(Outcome(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Grammar, ScriptRun,
    ::testing::Values(
        // A function's result, through its name, `result` and exit.
        TCase{"function Twice;\nbegin\n  Twice := 5;\n  exit;\n  Twice := 6;\nend;", "5"},
        TCase{"function F;\nbegin\n  result := 'r';\nend;", "r"},
        TCase{"function F: Integer;\nbegin\n  F := 1;\n  result := result + 1;\nend;", "2"},
        TCase{"function F;\nbegin\nend;", "<empty>"},
        TCase{"procedure P;\nbegin\n  exit;\nend;", "<empty>"},
        // The header is optional, and so is the routine's name.
        TCase{"begin\nend;", "<empty>"},
        TCase{"function;\nbegin\n  result := 3;\nend;", "3"},
        TCase{"", "<empty>"},
        TCase{"  \n\r\n", "<empty>"},
        // Declarations: each var has one group, in any order with const.
        TCase{"function F;\nvar A: Integer;\nvar B, C: Integer;\nconst K = 2; L = 'x';\nvar D;\n"
              "begin\n  A := 1; B := 2; C := 3; D := K;\n  result := A + B + C + D;\nend;",
              "8"},
        TCase{"function F;\nconst T = 'a'#66; N = null; B = true; R = 2.5;\nbegin\n  result := T + R;\nend;",
              "error: Could not convert 'aB' to a number"},
        TCase{"function F;\nconst T = 'a'#66;\nbegin\n  result := T;\nend;", "aB"},
        // Parameters: groups, modes, a closing ";" before ")".
        TCase{"function F(A, B: Integer; const C; in D;);\nbegin\n  result := A;\nend;",
              "error: Not enough actual parameters"},
        // Empty statements and labels.
        TCase{"function F;\nbegin\n  ;;\n  result := 1;;\nend;", "1"},
        TCase{"function F;\nvar I;\nbegin\n  I := 0;\n  again: I := I + 1;\n  if I < 5 then goto again;\n"
              "  result := I;\nend;",
              "5"},
        TCase{"function F;\nbegin\n  result := 1;\n  goto done;\n  result := 2;\ndone:\nend;", "1"},
        TCase{"function F;\nbegin\n  result := 1;\n  Skip: ;\nend;", "1"},
        // `with` is an ordinary name.
        TCase{"function F;\nvar with;\nbegin\n  with := 2;\n  result := with;\nend;", "2"},
        // Names and keywords in any case.
        TCase{"FUNCTION F;\nVAR Abc;\nBEGIN\n  aBC := 1;\n  RESULT := abc;\nEND;", "1"}));

// Compile errors: number, line and position (1 for the first column).
struct TErrorCase {
    const char* Script;
    int Number;
    int Line;
    int Position;
    const char* Extra;
};

void PrintTo(const TErrorCase& c, std::ostream* os) { *os << c.Script; }

class CompileError : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(CompileError, IsReportedWhereItIs)
{
    const TErrorCase& c = GetParam();
    TScriptCode code{c.Script};
    try {
        code.SetCompiled(true);
        FAIL() << "compiled";
    } catch (const EScriptCompileError& e) {
        EXPECT_EQ(e.Number(), c.Number) << e.what();
        EXPECT_EQ(e.Line(), c.Line) << e.what();
        EXPECT_EQ(e.Position(), c.Position) << e.what();
        EXPECT_EQ(e.Extra(), c.Extra) << e.what();
    }
    EXPECT_FALSE(code.Compiled());
    EXPECT_TRUE(code.Instructions.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, CompileError,
    ::testing::Values(
        // A second group after the first one of the same var.
        TErrorCase{"procedure P;\nvar A: Integer; B: Integer;\nbegin\nend;", 1002, 2, 17, ""},
        // A tab, wherever it stands outside texts and comments.
        TErrorCase{"procedure P;\nvar A;\nbegin\n\tA := 1;\nend;", 1002, 4, 1, ""},
        TErrorCase{"procedure P;\nbegin\n  A := 1 +\t2;\nend;", 1002, 3, 11, ""},
        // "$1f" is $1 followed by the name f.
        TErrorCase{"function F;\nbegin\n  result := $1f;\nend;", 1002, 3, 15, ""},
        TErrorCase{"procedure P;\nbegin\n  A := 1\n  B := 2;\nend;", 1002, 4, 3, ""},
        TErrorCase{"procedure P;\nbegin\n  _ := 1;\nend;", 1002, 3, 3, ""},
        // Only pieces written next to each other form one text.
        TErrorCase{"procedure P;\nbegin\n  A := 'x' #65;\nend;", 1002, 3, 12, ""},
        TErrorCase{"procedure P;\nbegin\n  A := 1 ! 2;\nend;", 1002, 3, 10, ""},
        TErrorCase{"procedure P;\nbegin\nend.", 1002, 3, 4, ""},
        TErrorCase{"procedure P;\nbegin\nend;\nX", 1002, 4, 1, ""},
        TErrorCase{"procedure P;\nbegin\n  break;\nend;", 1002, 3, 3, ""},
        TErrorCase{"procedure P;\nbegin\n  A := F();\nend;", 1002, 3, 10, ""},
        TErrorCase{"procedure P;\nbegin\n  raise;\nend;", 1002, 3, 8, ""},
        TErrorCase{"procedure P;\nbegin\n  try A := 1; end;\nend;", 1002, 3, 15, ""},
        TErrorCase{"procedure P(A);\nbegin\n  A(1);\nend;", 1002, 3, 4, ""},
        // goto out of a try block is fine, into one is not.
        TErrorCase{"procedure P;\nbegin\n  goto L;\n  try\n    L: ;\n  finally\n  end;\nend;", 1002, 3, 8, "L"},
        // Redeclarations.
        TErrorCase{"procedure P(A; var A);\nbegin\nend;", 1003, 1, 20, "A"},
        TErrorCase{"procedure P;\nvar A;\nvar a;\nbegin\nend;", 1003, 3, 5, "a"},
        TErrorCase{"function F(Result);\nbegin\nend;", 1003, 1, 19, "result"},
        TErrorCase{"procedure P;\nconst K = 1;\nvar K;\nbegin\nend;", 1003, 3, 5, "K"},
        // Running out of text.
        TErrorCase{"procedure P;\nbegin\n  A := 1;\n", 1004, 4, 1, ""},
        TErrorCase{"procedure P;\nbegin\nend", 1004, 3, 4, ""},
        TErrorCase{"procedure P;\nbegin { never closed\nend;", 1004, 2, 7, ""},
        TErrorCase{"procedure P;\nbegin (* never closed\nend;", 1004, 2, 7, ""},
        TErrorCase{"// only a comment", 1004, 1, 18, ""},
        // Numbers.
        TErrorCase{"procedure P;\nbegin\n  A := 1.2.3;\nend;", 1005, 3, 8, ""},
        TErrorCase{"procedure P;\nbegin\n  A := 2147483648;\nend;", 1005, 3, 8, ""},
        TErrorCase{"procedure P;\nbegin\n  A := $100000000;\nend;", 1005, 3, 8, ""},
        TErrorCase{"procedure P;\nbegin\n  A := $;\nend;", 1005, 3, 8, ""},
        TErrorCase{"procedure P;\nbegin\n  A := #;\nend;", 1005, 3, 8, ""},
        // Texts end on their line.
        TErrorCase{"procedure P;\nbegin\n  A := 'abc;\nend;", 1006, 3, 8, ""},
        TErrorCase{"procedure P;\nbegin\n  A := 'a\tb';\nend;", 1006, 3, 8, ""},
        TErrorCase{"procedure P;\nbegin\n  A := 'abc", 1006, 3, 8, ""},
        // Constants.
        TErrorCase{"procedure P;\nconst K = -1;\nbegin\nend;", 1007, 2, 11, ""},
        TErrorCase{"procedure P;\nconst K = L;\nbegin\nend;", 1007, 2, 11, ""},
        // Labels.
        TErrorCase{"procedure P;\nbegin\n  L: ;\n  l: ;\nend;", 1008, 4, 3, "l"},
        TErrorCase{"procedure P;\nbegin\n  goto Nowhere;\nend;", 1015, 3, 8, "Nowhere"},
        // Assignments.
        TErrorCase{"procedure P;\nbegin\n  Foo(1) := 2;\nend;", 1009, 3, 10, ""},
        TErrorCase{"procedure P;\nbegin\n  A.B(1) := 2;\nend;", 1009, 3, 10, ""},
        TErrorCase{"procedure P;\nvar A; var B;\nbegin\n  A := B := 2;\nend;", 1010, 4, 10, ""},
        TErrorCase{"procedure P;\nvar A; var B;\nbegin\n  if A := B then ;\nend;", 1010, 4, 8, ""},
        TErrorCase{"procedure P;\nbegin\n  A := @Foo;\nend;", 1011, 3, 9, "Foo"},
        TErrorCase{"procedure P(A);\nvar B;\nbegin\n  B := @A.X;\nend;", 1011, 4, 10, ""},
        TErrorCase{"procedure P;\nconst K = 1;\nbegin\n  K := 2;\nend;", 1016, 4, 3, "K"},
        TErrorCase{"procedure P(const C);\nbegin\n  C := 2;\nend;", 1016, 3, 3, "C"},
        TErrorCase{"procedure P;\nconst T = 'ab';\nbegin\n  T[1] := 'x';\nend;", 1016, 4, 3, "T"},
        // Parameters.
        TErrorCase{"procedure P();\nbegin\nend;", 1012, 1, 13, ""},
        TErrorCase{"procedure execAlg(\n            );\nbegin\nend;", 1012, 2, 13, ""},
        TErrorCase{"procedure P(var);\nbegin\nend;", 1012, 1, 16, ""},
        TErrorCase{"procedure P(A;;B);\nbegin\nend;", 1012, 1, 15, ""},
        TErrorCase{"procedure P(A: );\nbegin\nend;", 1012, 1, 16, ""},
        // for loops.
        TErrorCase{"procedure P;\nvar I;\nbegin\n  for I := 1 until 3 do ;\nend;", 1013, 4, 14, ""},
        TErrorCase{"procedure P(var I);\nbegin\n  for I := 1 to 3 do ;\nend;", 1014, 3, 7, "I"},
        TErrorCase{"procedure P(out I);\nbegin\n  for I := 1 to 3 do ;\nend;", 1014, 3, 7, "I"},
        TErrorCase{"procedure P;\nconst I = 1;\nbegin\n  for I := 1 to 3 do ;\nend;", 1014, 4, 7, "I"},
        TErrorCase{"procedure P;\nbegin\n  for Undeclared := 1 to 3 do ;\nend;", 1014, 3, 7, "Undeclared"}));

TEST(ScriptCompileError, MessageNamesScriptErrorAndPlace)
{
    TScriptCode code{"procedure chkTransition( var theResult:Boolean);\r\nbegin\r\n\ttheResult := True;\r\nend;"};
    try {
        code.SetCompiled(true);
        FAIL();
    } catch (const EScriptCompileError& e) {
        EXPECT_STREQ(e.what(), "Error compiling chkTransition. Syntax Error at line 3, pos 1");
        EXPECT_EQ(e.ScriptName(), "chkTransition");
    }
    TScriptCode redeclared{"procedure P(A);\nvar A;\nbegin\nend;"};
    try {
        redeclared.SetCompiled(true);
        FAIL();
    } catch (const EScriptCompileError& e) {
        EXPECT_STREQ(e.what(), "Error compiling P. Identifier redeclared: A at line 2, pos 5");
    }
}

TEST(ScriptCompileError, EveryNumberHasItsText)
{
    const std::pair<int, const char*> texts[] = {
        {1001, "Parser internal error"},
        {1002, "Syntax Error"},
        {1003, "Identifier redeclared"},
        {1004, "Unexpected end of script"},
        {1005, "Invalid number format"},
        {1006, "Unterminated string"},
        {1007, "Constant expected"},
        {1008, "Label redeclared"},
        {1009, "Assignable expression expected to the left of ':='"},
        {1010, "Assignment in expressions is not supported"},
        {1011, "This form of method call is not allowed"},
        {1012, "Invalid parameter"},
        {1013, "To or downto keywords expected"},
        {1014, "Loop variable must be a local variable or an input parameter"},
        {1015, "Label not found"},
        {1016, "Variable not found or cannot be assigned to"},
        {1000, "Unknown error"},
        {1017, "Unknown error"},
    };
    for (const auto& [number, text] : texts)
        EXPECT_STREQ(EScriptCompileError::NumberText(number), text) << number;
}

TEST(ScriptCompileError, TabIndentFailsWhereSpacesCompile)
{
    const std::string body = "X := 1;\n";
    TScriptCode spaces{"procedure P;\nvar X;\nbegin\n    " + body + "end;"};
    EXPECT_NO_THROW(spaces.SetCompiled(true));
    TScriptCode tab{"procedure P;\nvar X;\nbegin\n\t" + body + "end;"};
    EXPECT_THROW(tab.SetCompiled(true), EScriptCompileError);
}

TEST(ScriptCode, HoldsNameDescriptionSymbolsAndKinds)
{
    TScriptCode code{"{ not this one }\n// Adds one.  \nfunction Inc(A; out B; var C; const D);\n"
                     "var L;\nconst K = 7;\nbegin\nend;"};
    code.SetCompiled(true);
    EXPECT_TRUE(code.Compiled());
    EXPECT_EQ(code.ScriptName, "Inc");
    EXPECT_EQ(code.Description, "Adds one.");
    EXPECT_TRUE(code.ReturnsValue);
    EXPECT_EQ(code.ParamCount, 4);
    std::vector<std::pair<std::string, int>> symbols;
    for (const auto& s : code.Symbols)
        symbols.emplace_back(s.Name, s.Kind);
    const std::vector<std::pair<std::string, int>> expected = {
        {"A", 1}, {"B", 2}, {"C", 3}, {"D", 4}, {"result", 0}, {"L", 0}, {"K", 4}};
    EXPECT_EQ(symbols, expected);
    EXPECT_EQ(DescribeScriptValue(code.Symbols.back().Value), "7");

    code.SetCompiled(false);
    EXPECT_FALSE(code.Compiled());
    EXPECT_TRUE(code.Symbols.empty());
}

TEST(ScriptCode, SymbolTableHoldsAtMost255Entries)
{
    auto script = [](int count) {
        std::string s = "procedure P;\n";
        for (int i = 0; i < count; ++i)
            s += "var V" + std::to_string(i) + ";\n";
        return s + "begin\nend;";
    };
    TScriptCode full{script(255)};
    EXPECT_NO_THROW(full.SetCompiled(true));
    TScriptCode over{script(256)};
    try {
        over.SetCompiled(true);
        FAIL();
    } catch (const EScriptCompileError& e) {
        EXPECT_EQ(e.Number(), 1001);
        EXPECT_EQ(e.Line(), 257);
    }
}

TEST(ScriptCode, CompilersAreFoundByLanguageName)
{
    EXPECT_EQ(FindScriptCompiler("").Name(), "Pascal");
    EXPECT_EQ(FindScriptCompiler("pascal").Name(), "Pascal");
    try {
        FindScriptCompiler("Basic");
        FAIL();
    } catch (const EScriptError& e) {
        EXPECT_STREQ(e.what(), "Compiler not found for Basic");
    }
    TScriptCode code{"begin end;"};
    code.Language = "Basic";
    EXPECT_THROW(code.SetCompiled(true), EScriptError);
    EXPECT_FALSE(code.Compiled());
}

} // namespace
