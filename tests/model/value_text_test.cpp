#include "model/value_text.h"

#include <clocale>
#include <gtest/gtest.h>

using namespace telvo;

TEST(DataTypeClass, SortsTypeTextsExactlyAndCaseSensitively)
{
    struct Case {
        const char* type;
        TDataTypeClass cls;
        const char* runtime;
    } cases[] = {
        {"Boolean", TDataTypeClass::Boolean, "Boolean"}, {"BOOL", TDataTypeClass::Boolean, "Boolean"},
        {"bool", TDataTypeClass::String, "String"},      {"Integer", TDataTypeClass::Integer, "Integer"},
        {"INT", TDataTypeClass::Integer, "Integer"},     {"BYTE", TDataTypeClass::Integer, "Integer"},
        {"DINT", TDataTypeClass::String, "String"},      {"COLOR", TDataTypeClass::Real, "Single"},
        {"REAL", TDataTypeClass::Real, "Single"},        {"LREAL", TDataTypeClass::Real, "Single"},
        {"STRING", TDataTypeClass::String, "String"},    {"", TDataTypeClass::String, "String"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DataTypeClass(c.type), c.cls) << c.type;
        EXPECT_EQ(RuntimeTypeName(c.type), c.runtime) << c.type;
    }
}

TEST(IecIntegerType, RangesOfTheIntegerAndBitStringTypes)
{
    struct Case {
        const char* Type;
        const char* Range; // null: no integer type
    } cases[] = {
        {"SINT", "-128 to 127"},
        {"INT", "-32768 to 32767"},
        {"DINT", "-2147483648 to 2147483647"},
        {"LINT", "-9223372036854775808 to 9223372036854775807"},
        {"USINT", "0 to 255"},
        {"UINT", "0 to 65535"},
        {"UDINT", "0 to 4294967295"},
        {"ULINT", "0 to 18446744073709551615"},
        {"BYTE", "0 to 255"},
        {"WORD", "0 to 65535"},
        {"DWORD", "0 to 4294967295"},
        {"LWORD", "0 to 18446744073709551615"},
        {"dint", nullptr},
        {"Integer", nullptr},
        {"BOOL", nullptr},
        {"REAL", nullptr},
        {"TIME", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Type);
        const auto t = IecIntegerType(c.Type);
        ASSERT_EQ(t.has_value(), c.Range != nullptr);
        if (t) {
            EXPECT_EQ(t->RangeText(), c.Range);
        }
    }
    // The ends of a range, from both sides.
    const auto sint = *IecIntegerType("SINT");
    EXPECT_TRUE(sint.Holds(true, 128));
    EXPECT_FALSE(sint.Holds(true, 129));
    EXPECT_TRUE(sint.Holds(false, 127));
    EXPECT_FALSE(sint.Holds(false, 128));
    const auto ulint = *IecIntegerType("ULINT");
    EXPECT_TRUE(ulint.Holds(false, UINT64_MAX));
    EXPECT_FALSE(ulint.Holds(true, 1));
    EXPECT_TRUE(ulint.Holds(true, 0));
}

TEST(IecIntegerType, LiteralsAsIecWritesThem)
{
    struct Case {
        const char* Text;
        bool Valid;
        bool Negative;
        uint64_t Magnitude;
    } cases[] = {
        {"5", true, false, 5},
        {" -5 ", true, true, 5},
        {"+7", true, false, 7},
        {"-0", true, false, 0},
        {"1_000", true, false, 1000},
        {"16#FF", true, false, 255},
        {"16#ff", true, false, 255},
        {"2#1010_1010", true, false, 170},
        {"8#17", true, false, 15},
        {"DINT#16#FF", true, false, 255},
        {"SINT#-5", true, true, 5},
        {"$FF", true, false, 255},
        {"18446744073709551615", true, false, UINT64_MAX},
        {"", false, false, 0},
        {"abc", false, false, 0},
        {"1__0", false, false, 0},
        {"_1", false, false, 0},
        {"1_", false, false, 0},
        {"16#", false, false, 0},
        {"16#G", false, false, 0},
        {"2#102", false, false, 0},
        {"18446744073709551616", false, false, 0},
        {"FOO#5", false, false, 0},
        {"REAL#5", false, false, 0},
        {"5.0", false, false, 0},
        {"1e3", false, false, 0},
        {"- 5", false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        bool negative = false;
        uint64_t magnitude = 0;
        ASSERT_EQ(TryParseIecInteger(c.Text, negative, magnitude), c.Valid);
        if (c.Valid) {
            EXPECT_EQ(negative, c.Negative);
            EXPECT_EQ(magnitude, c.Magnitude);
        }
    }
}

TEST(ValueText, ParsesAndFormatsPerClass)
{
    struct Case {
        const char* type;
        const char* text;
        const char* formatted;
    } cases[] = {
        {"BOOL", "true", "TRUE"},     {"BOOL", "TrUe", "TRUE"},       {"BOOL", "1", "TRUE"},
        {"BOOL", "yes", "FALSE"},     {"BOOL", "2", "FALSE"},         {"BOOL", "", "FALSE"},
        {"INT", "42", "42"},          {"INT", "-7", "-7"},            {"INT", " 12 ", "12"},
        {"INT", "$1F", "31"},         {"REAL", "1,5", "1.5000000"},   {"REAL", "1.5", "1.5000000"},
        {"COLOR", "2", "2.0000000"},  {"REAL", "-0.25", "-0.2500000"}, {"REAL", "3.14159265358979", "3.1415927"},
        {"STRING", " a b ", " a b "}, {"WSTRING", "x", "x"},
    };
    for (const auto& c : cases) {
        TValueHolder h(c.type);
        h.Parse(c.text);
        EXPECT_EQ(h.Format(), c.formatted) << c.type << " " << c.text;
    }
}

TEST(ValueText, RealsRoundToTenSignificantDigitsAndSwitchToScientificWhenLarge)
{
    EXPECT_EQ(FormatRealValue(123456.789012345L), "123456.7890000");
    EXPECT_EQ(FormatRealValue(0.5L), "0.5000000");
    EXPECT_EQ(FormatRealValue(9999999999.0L), "9999999999.0000000");
    EXPECT_EQ(FormatRealValue(12345678901.0L).find('E') != std::string::npos, true);
}

TEST(ValueText, EmptyOrBadNumbersKeepTheValue)
{
    TValueHolder i("INT");
    i.Parse("5");
    i.Parse("");
    EXPECT_EQ(i.IntValue, 5);
    EXPECT_THROW(i.Parse("abc"), EConvertError);
    EXPECT_THROW(i.Parse("99999999999"), EConvertError);
    EXPECT_EQ(i.IntValue, 5);

    TValueHolder r("REAL");
    r.Parse("2.5");
    r.Parse("");
    EXPECT_EQ(r.Format(), "2.5000000");
    for (const char* bad : {"1,2.3", "x", "1.5abc", "nan", "inf"})
        EXPECT_THROW(r.Parse(bad), EConvertError) << bad;
    EXPECT_EQ(r.Format(), "2.5000000");
}

TEST(ValueText, IndependentOfTheProcessLocale)
{
    // A German locale, when the machine has one, must change nothing.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    TValueHolder r("REAL");
    r.Parse("1,5");
    EXPECT_EQ(r.Format(), "1.5000000");
    EXPECT_EQ(GridToFileText(0), "11.7647");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(FileCoordinates, ConvertBothWays)
{
    EXPECT_EQ(GridToFileText(0), "11.7647");
    EXPECT_EQ(GridToFileText(1), "17.6467");
    EXPECT_EQ(GridToFileText(-10), "-47.0553");
    struct Case {
        const char* text;
        int32_t grid;
    } cases[] = {{"11.7647", 0}, {"40", 5}, {"17,6467", 1}, {"-1753.33", -300}, {"6666.666666666667", 1131}};
    for (const auto& c : cases) {
        int32_t x = 99, y = 99;
        FileToGrid(c.text, c.text, x, y);
        EXPECT_EQ(x, c.grid) << c.text;
        EXPECT_EQ(y, c.grid) << c.text;
    }
    int32_t x = 7, y = 8;
    FileToGrid(nullptr, "abc", x, y);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 8);
}

TEST(FileCoordinates, GridValuesSurviveARoundTrip)
{
    for (int32_t v : {-5000, -1, 0, 1, 2, 37, 400, 123456}) {
        int32_t x = 0, y = 0;
        std::string tx, ty;
        GridToFile(v, v, tx, ty);
        FileToGrid(tx.c_str(), ty.c_str(), x, y);
        EXPECT_EQ(x, v) << tx;
    }
}
