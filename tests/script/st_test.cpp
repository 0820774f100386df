// Structured Text through the script engine: what ST programs compute when
// translated and run, and where the front end places the faults it finds in
// the user's own text.

#include "runtime/script/script_errors.h"
#include "runtime/script/script_runner.h"
#include "runtime/script/st_translator.h"

#include <gtest/gtest.h>

using namespace telvo;

namespace {

// The variables every program sees: internal variables of most types, an
// array, an input IN (a keyword of the script language) and an output Q.
const std::vector<TStVariable>& variables()
{
    static const std::vector<TStVariable> vars = {
        {"X", "INT", TStVarKind::Internal, "", "X"},        {"Y", "DINT", TStVarKind::Internal, "", "Y"},
        {"Z", "LREAL", TStVarKind::Internal, "", "Z"},      {"T", "STRING", TStVarKind::Internal, "", "T"},
        {"W", "WORD", TStVarKind::Internal, "", "W"},       {"D", "DWORD", TStVarKind::Internal, "", "D"},
        {"U", "UINT", TStVarKind::Internal, "", "U"},       {"S", "SINT", TStVarKind::Internal, "", "S"},
        {"N", "ULINT", TStVarKind::Internal, "", "N"},      {"ARR", "INT", TStVarKind::Internal, "4", "ARR"},
        {"IN", "INT", TStVarKind::Input, "", "DI_IN"},      {"Q", "BOOL", TStVarKind::Output, "", "DO_Q"},
    };
    return vars;
}

// Runs the program with IN = 7 and every other variable empty; the value of
// `result` afterwards, or "error: " and the message.
std::string run(const std::string& program, const std::string& result)
{
    try {
        const auto lines = TranslateStAlgorithm(program, variables());
        std::string script = "procedure P(";
        for (size_t i = 0; i < variables().size(); ++i)
            script += (i ? "; " : "") + std::string("var ") + variables()[i].ScriptName;
        script += ");\nbegin\n";
        for (const auto& l : lines)
            script += l + "\n";
        script += "end;";
        std::vector<TVariant> cells(variables().size());
        cells[10] = TVariant(int32_t(7));
        TScriptRunner runner;
        runner.InstructionBudget = 100000;
        for (auto& c : cells)
            runner.PushReference(c);
        runner.Execute(script);
        for (size_t i = 0; i < variables().size(); ++i)
            if (SameScriptName(variables()[i].Name, result))
                return DescribeScriptValue(cells[i]);
        return "no variable " + result;
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
}

struct StCase {
    const char* Name;
    const char* Program;
    const char* Result; // the variable to read
    const char* Expected;
};

void PrintTo(const StCase& c, std::ostream* os) { *os << c.Name; }

class StProgram : public ::testing::TestWithParam<StCase> {};

TEST_P(StProgram, ComputesWhatIecSays)
{
    const StCase& c = GetParam();
    const std::string got = run(c.Program, c.Result);
    if (std::string(c.Expected).rfind("error: ", 0) == 0)
        EXPECT_NE(got.find(std::string(c.Expected).substr(7)), std::string::npos) << got;
    else
        EXPECT_EQ(got, c.Expected);
}

std::string caseName(const ::testing::TestParamInfo<StCase>& info)
{
    std::string n;
    for (const char* p = info.param.Name; *p; ++p)
        n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Operators, StProgram, ::testing::Values(
    StCase{"times before plus", "X := 2 + 3 * 4;", "X", "14"},
    StCase{"parentheses first", "X := (2 + 3) * 4;", "X", "20"},
    StCase{"power before times and left to right", "Z := 2 * 2 ** 3 ** 2;", "Z", "128"},
    StCase{"power before negation", "Z := -2 ** 2;", "Z", "-4"},
    StCase{"comparison before equality before AND", "Q := 1 + 2 = 3 AND 2 < 3 = TRUE;", "Q", "True"},
    StCase{"AND before XOR before OR", "Q := TRUE XOR TRUE AND FALSE OR FALSE;", "Q", "True"},
    StCase{"ampersand is AND", "Q := TRUE & FALSE;", "Q", "False"},
    StCase{"NOT binds to its operand", "Q := NOT FALSE AND FALSE;", "Q", "False"},
    StCase{"integer division truncates", "X := -7 / 2;", "X", "-3"},
    StCase{"MOD takes the dividend's sign", "X := -7 MOD 2;", "X", "-1"},
    StCase{"real division", "Z := 7.0 / 2;", "Z", "3.5"},
    StCase{"division by zero fails the script", "X := IN / (IN - 7);", "X", "error: Division by zero"},
    StCase{"operators as functions", "Q := GT(ADD(IN, 1, 2), SUB(20, 11)) AND NOT(LT(IN, 0));", "Q", "True"},
    StCase{"bit operators on words", "W := (WORD#16#F0F0 AND WORD#16#FF00) OR 1 XOR 3;", "W", "61442"},
    StCase{"NOT of a word keeps its width", "W := NOT WORD#0;", "W", "65535"},
    StCase{"NOT of a double word", "D := NOT DWORD#1;", "D", "4294967294"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Overflow, StProgram, ::testing::Values(
    StCase{"INT wraps", "X := 32767; X := X + 1;", "X", "-32768"},
    StCase{"UINT wraps below zero", "U := 0; U := U - 1;", "U", "65535"},
    StCase{"SINT wraps", "S := SINT#127; S := S + 1;", "S", "-128"},
    StCase{"DWORD wraps", "D := 16#FFFFFFFF; D := D + 1;", "D", "0"},
    StCase{"DINT wraps", "Y := 2147483647; Y := Y + 1;", "Y", "-2147483648"},
    StCase{"INT keeps a value of its range", "X := -32768;", "X", "-32768"},
    StCase{"ULINT cannot go below zero exactly", "N := 0; N := N - 1;", "N", "error: does not fit ULINT"},
    StCase{"ULINT beyond 2^53 is refused", "N := 9007199254740999;", "N", "error: does not fit ULINT"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Literals, StProgram, ::testing::Values(
    StCase{"hexadecimal", "X := 16#FF;", "X", "255"},
    StCase{"binary", "X := 2#1010;", "X", "10"},
    StCase{"octal", "X := 8#17;", "X", "15"},
    StCase{"typed", "X := INT#-5 + INT#16#10;", "X", "11"},
    StCase{"underscores", "Y := 1_000_000;", "Y", "1000000"},
    StCase{"real with exponent", "Z := 1.5E3 + 2.5e-1;", "Z", "1500.25"},
    StCase{"Boolean typed", "Q := BOOL#1 AND BOOL#TRUE;", "Q", "True"},
    StCase{"text with escapes", "T := 'a$Nb $'q$' $$';", "T", "a\nb 'q' $"},
    StCase{"wide text", "T := \"wide $\"x$\"\";", "T", "wide \"x\""},
    StCase{"duration kept as its text", "T := T#1s500ms;", "T", "T#1s500ms"},
    StCase{"comments of every kind", "X := 1; (* X := 2; *) // X := 3;\n/* X := 4; */", "X", "1"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Statements, StProgram, ::testing::Values(
    StCase{"IF takes the first ELSIF that holds", "IF IN > 10 THEN X := 1; ELSIF IN > 5 THEN X := 2; ELSIF IN > 1 THEN X := 4; ELSE X := 3; END_IF;", "X", "2"},
    StCase{"IF falls to ELSE", "IF IN > 10 THEN X := 1; ELSE X := 3; END_IF", "X", "3"},
    StCase{"CASE with lists and ranges", "CASE IN OF 1, 2: X := 1; 5..8: X := 2; ELSE X := 3; END_CASE;", "X", "2"},
    StCase{"CASE without a match or ELSE", "X := 9; CASE IN OF 1: X := 1; END_CASE;", "X", "9"},
    StCase{"CASE ELSE alone", "CASE IN OF ELSE X := 4; END_CASE;", "X", "4"},
    StCase{"FOR BY a step", "FOR X := 1 TO 10 BY 3 DO Y := Y + X; END_FOR;", "Y", "22"},
    StCase{"FOR leaves the variable past the end", "FOR X := 1 TO 10 BY 3 DO Y := Y + X; END_FOR;", "X", "13"},
    StCase{"FOR down", "FOR X := 10 TO 1 BY -2 DO Y := Y + X; END_FOR;", "Y", "30"},
    StCase{"WHILE with EXIT", "WHILE TRUE DO X := X + 1; IF X >= 5 THEN EXIT; END_IF; END_WHILE;", "X", "5"},
    StCase{"REPEAT runs at least once", "REPEAT X := X + 2; UNTIL X > 5 END_REPEAT;", "X", "6"},
    StCase{"RETURN ends the algorithm", "X := 1; RETURN; X := 2;", "X", "1"},
    StCase{"ALGORITHM wrapper", "ALGORITHM A\nX := 3;\nEND_ALGORITHM\n", "X", "3"},
    StCase{"input named as a script keyword", "X := IN * 2;", "X", "14"},
    StCase{"array elements within the bounds", "ARR[2] := 5; ARR[3] := ARR[2] + 1; X := ARR[3] + ARR[0];", "X", "6"},
    StCase{"array index out of bounds", "X := ARR[IN];", "X", "error: out of bounds"},
    StCase{"an endless loop meets the engine's limit", "WHILE TRUE DO X := 1; END_WHILE;", "X", "error: Instruction limit"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Functions, StProgram, ::testing::Values(
    StCase{"ABS", "X := ABS(-5);", "X", "5"},
    StCase{"SQRT", "Z := SQRT(16.0);", "Z", "4"},
    StCase{"EXPT", "Z := EXPT(2, 10);", "Z", "1024"},
    StCase{"MAX of many", "X := MAX(3, 9, 4);", "X", "9"},
    StCase{"MIN", "X := MIN(3, IN, 4);", "X", "3"},
    StCase{"LIMIT", "X := LIMIT(0, 15, 10);", "X", "10"},
    StCase{"MUX", "X := MUX(1, 10, 20, 30);", "X", "20"},
    StCase{"MUX out of range", "X := MUX(IN, 10, 20);", "X", "error: MUX selector"},
    StCase{"SEL", "X := SEL(TRUE, 1, 2);", "X", "2"},
    StCase{"SHL of a word drops the top bit", "W := SHL(WORD#16#8001, 1);", "W", "2"},
    StCase{"ROL of a word", "W := ROL(WORD#16#8001, 1);", "W", "3"},
    StCase{"SHR", "W := SHR(WORD#16#8000, 15);", "W", "1"},
    StCase{"ROR", "W := ROR(WORD#1, 1);", "W", "32768"},
    StCase{"LEN", "X := LEN('hello');", "X", "5"},
    StCase{"LEFT RIGHT MID", "T := CONCAT(LEFT('hello', 2), RIGHT('hello', 2), MID('hello', 3, 2));", "T", "heloell"},
    StCase{"INSERT", "T := INSERT('abc', 'X', 1);", "T", "aXbc"},
    StCase{"DELETE", "T := DELETE('abcde', 2, 2);", "T", "ade"},
    StCase{"REPLACE", "T := REPLACE('abcde', 'XY', 2, 2);", "T", "aXYde"},
    StCase{"FIND", "X := FIND('abcde', 'cd');", "X", "3"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(Conversions, StProgram, ::testing::Values(
    StCase{"real to integer rounds half away from zero", "X := REAL_TO_INT(2.5) * 10 + REAL_TO_INT(-2.5);", "X", "27"},
    StCase{"narrowing wraps", "X := DINT_TO_INT(70000);", "X", "4464"},
    StCase{"signed to unsigned", "U := INT_TO_UINT(-1);", "U", "65535"},
    StCase{"to text", "T := CONCAT(INT_TO_STRING(42), BOOL_TO_STRING(TRUE));", "T", "42TRUE"},
    StCase{"text to integer", "X := STRING_TO_INT('12') + 1;", "X", "13"},
    StCase{"to Boolean", "Q := INT_TO_BOOL(3);", "Q", "True"},
    StCase{"TRUNC towards zero", "X := TRUNC(-2.7);", "X", "-2"},
    StCase{"from BCD", "X := BYTE_BCD_TO_USINT(16#42);", "X", "42"},
    StCase{"to BCD", "W := USINT_TO_BCD_WORD(42);", "W", "66"},
    StCase{"generic TO_", "Z := TO_LREAL(3) / 2;", "Z", "1.5"},
    StCase{"durations in units", "Y := TIME_IN_MS_TO_DINT(T#1s500ms);", "Y", "1500"}),
    caseName);

struct StFault {
    const char* Name;
    const char* Program;
    int Line, Column;
    const char* Message;
};

void PrintTo(const StFault& c, std::ostream* os) { *os << c.Name; }

class StFaultPlace : public ::testing::TestWithParam<StFault> {};

TEST_P(StFaultPlace, IsInTheUsersText)
{
    const StFault& c = GetParam();
    try {
        TranslateStAlgorithm(c.Program, variables());
        FAIL() << "translated";
    } catch (const EScriptCompileError& e) {
        EXPECT_EQ(e.Line(), c.Line);
        EXPECT_EQ(e.Position(), c.Column);
        EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
    }
}

std::string faultName(const ::testing::TestParamInfo<StFault>& info)
{
    std::string n;
    for (const char* p = info.param.Name; *p; ++p)
        n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Faults, StFaultPlace, ::testing::Values(
    StFault{"missing operand", "X := 1;\n  Y := ;", 2, 8, "operand"},
    StFault{"unknown variable", "X := 1;\nX := FOO + 1;", 2, 6, "unknown variable FOO"},
    StFault{"unknown function", "X := BAR(1);", 1, 6, "unknown function BAR"},
    StFault{"missing semicolon", "X := 1\nY := 2;", 2, 1, "';' expected"},
    StFault{"IF without END_IF", "IF X > 1 THEN\n  X := 1;\n", 3, 1, "END_IF expected"},
    StFault{"wrong argument count", "X := LIMIT(1, 2);", 1, 6, "LIMIT takes 3 arguments"},
    StFault{"EXIT outside a loop", "\tEXIT;", 1, 2, "EXIT outside a loop"},
    StFault{"unterminated text", "T := 'abc;", 1, 6, "Unterminated string"},
    StFault{"unclosed comment", "X := 1; (* open", 1, 9, "comment not closed"},
    StFault{"assignment to an array as a whole", "ARR := 1;", 1, 1, "is an array"},
    StFault{"constant out of its type", "X := INT#40000;", 1, 6, "does not fit INT"},
    StFault{"statement after END_ALGORITHM", "ALGORITHM A\nX := 1;\nEND_ALGORITHM\nX := 2;", 4, 1, "where a statement was expected"}),
    faultName);

TEST(StTranslation, KeepsTheUsersLines)
{
    // An engine error's line is the user's line: each ST line's statements
    // stand on the same line of the script.
    const auto lines = TranslateStAlgorithm("X := 1;\n\nIF X > 0 THEN\n  Y := 2;\nEND_IF;", variables());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "");
    EXPECT_NE(lines[3].find("Y :="), std::string::npos);
}

TEST(StTranslation, NestingHasALimit)
{
    std::string deep = "X := " + std::string(5000, '(') + "1" + std::string(5000, ')') + ";";
    EXPECT_THROW(TranslateStAlgorithm(deep, variables()), EScriptCompileError);
    std::string ifs;
    for (int i = 0; i < 5000; ++i)
        ifs += "IF TRUE THEN ";
    EXPECT_THROW(TranslateStAlgorithm(ifs, variables()), EScriptCompileError);
}

} // namespace
