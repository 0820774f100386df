// Text from outside as a field of a line record: nothing in it may end the
// field or the line, or reach the terminal as a control character; ordinary
// names read as they are.

#include "model/field_escape.h"

#include <gtest/gtest.h>

namespace telvo {
namespace {

struct EscapeCase {
    const char* Name;
    std::string In;
    std::string Out;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.Name; }

class FieldEscape : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(FieldEscape, WritesControlsAndBrokenBytesVisibly)
{
    const std::string out = FieldEscaped(GetParam().In);
    EXPECT_EQ(out, GetParam().Out);
    for (unsigned char c : out)
        EXPECT_TRUE(c >= 0x20 && c != 0x7F) << "control byte " << int(c) << " in " << out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FieldEscape,
    ::testing::Values(
        EscapeCase{"Plain", "Plant/Tank/Level", "Plant/Tank/Level"},
        EscapeCase{"Empty", "", ""},
        EscapeCase{"TabWouldForgeAField", "Level\tns=1;s=Forged", "Level\\tns=1;s=Forged"},
        EscapeCase{"LineBreaksWouldForgeARecord", "a\nb\r\nc", "a\\nb\\r\\nc"},
        EscapeCase{"EscapeSequence", "\x1b[2J\x1b]0;owned\x07", "\\x1B[2J\\x1B]0;owned\\x07"},
        EscapeCase{"NulAndDel", std::string("a\0b\x7f", 4), "a\\x00b\\x7F"},
        EscapeCase{"BackslashIsDoubledSoEscapesStayUnambiguous", "C:\\temp\\n", "C:\\\\temp\\\\n"},
        EscapeCase{"Utf8Names", "F\xc3\xbcllstand \xe4\xb8\xad \xf0\x9f\x94\xa5", "F\xc3\xbcllstand \xe4\xb8\xad \xf0\x9f\x94\xa5"},
        EscapeCase{"C1ControlInUtf8", "a\xc2\x9b" "31mb\xc2\x85", "a\\xC2\\x9B31mb\\xC2\\x85"},
        EscapeCase{"FirstPrintableAfterC1", "\xc2\xa0", "\xc2\xa0"},
        EscapeCase{"LoneC1ByteOfAnEightBitTerminal", "a\x9b" "31m", "a\\x9B31m"},
        EscapeCase{"InvalidBytes", "\xff\xfe", "\\xFF\\xFE"},
        EscapeCase{"SequenceCutShort", "x\xe4\xb8", "x\\xE4\\xB8"},
        EscapeCase{"Overlong", "\xc0\xaf\xe0\x80\xaf", "\\xC0\\xAF\\xE0\\x80\\xAF"},
        EscapeCase{"Surrogate", "\xed\xa0\x80", "\\xED\\xA0\\x80"},
        EscapeCase{"BeyondUnicode", "\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace telvo
