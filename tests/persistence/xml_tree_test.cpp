// Writing and changing documents of any nesting depth: within the indentation
// limit a document is written exactly as pugixml indents it; beyond it, the
// same content costs space in proportion to its size.

#include "persistence/xml_tree.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <sstream>
#include <string>

using namespace telvo;

namespace {

constexpr unsigned kFlags = pugi::format_indent | pugi::format_no_declaration;

pugi::xml_document parse(const std::string& text)
{
    pugi::xml_document doc;
    pugi::xml_parse_result r = doc.load_buffer(text.data(), text.size(), pugi::parse_full, pugi::encoding_auto);
    EXPECT_TRUE(r) << r.description();
    return doc;
}

// What a document holds, whatever its layout: read back as the type reader
// reads (whitespace between elements is no content) and written raw.
std::string content(const std::string& text)
{
    std::ostringstream out;
    parse(text).save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
}

std::string pugixmlText(const std::string& text, pugi::xml_encoding encoding)
{
    std::ostringstream out;
    parse(text).save(out, "  ", kFlags, encoding);
    return out.str();
}

// `depth` elements, each inside the one before, around `inner`.
std::string chain(unsigned depth, const std::string& inner)
{
    std::string s;
    for (unsigned i = 0; i < depth; ++i)
        s += "<a n=\"" + std::to_string(i) + "\">";
    s += inner;
    for (unsigned i = 0; i < depth; ++i)
        s += "</a>";
    return s;
}

// Texts that begin as the marker of a deep element's place does, in every
// kind of node that is written unescaped.
const std::string kLookalikes = "<!--<?telvo-keptx?>--><![CDATA[<?telvo-keptxx?>]]><?pi <?telvo-keptxxx?>"
                                "<b v=\"&lt;?telvo-keptxxxx?&gt;\">&lt;?telvo-kept?&gt;</b>";

// ASCII text as UTF-16, little end first.
std::string utf16le(const std::string& ascii)
{
    std::string s;
    for (char c : ascii) {
        s += c;
        s += '\0';
    }
    return s;
}

size_t deepestIndentation(const std::string& text)
{
    size_t deepest = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        deepest = std::max(deepest, line.find_first_not_of(' ') == std::string::npos ? line.size()
                                                                                       : line.find_first_not_of(' '));
    return deepest;
}

struct TSaveCase {
    const char* Name;
    std::string Xml;
    pugi::xml_encoding Encoding;
};

void PrintTo(const TSaveCase& c, std::ostream* os) { *os << c.Name; }

std::string caseName(const ::testing::TestParamInfo<TSaveCase>& info) { return info.param.Name; }

class SaveIndentedWithinTheLimit : public ::testing::TestWithParam<TSaveCase> {};

TEST_P(SaveIndentedWithinTheLimit, IsWrittenAsPugixmlIndents)
{
    pugi::xml_document doc = parse(GetParam().Xml);
    EXPECT_EQ(SaveIndented(doc, GetParam().Encoding), pugixmlText(GetParam().Xml, GetParam().Encoding));
}

INSTANTIATE_TEST_SUITE_P(
    Documents, SaveIndentedWithinTheLimit,
    ::testing::Values(
        TSaveCase{"TypeWithEveryKindOfNode",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE FBType SYSTEM \"x.dtd\">\n"
                  "<FBType Name=\"T\"><!-- c --><?pi v?><BasicFB><Algorithm Name=\"A\"><ST><![CDATA[X := 1;\n]]>"
                  "</ST></Algorithm></BasicFB><V>mixed <b>bold</b> text</V></FBType>",
                  pugi::encoding_utf8},
        TSaveCase{"LeafAtTheLimit", "<R>" + chain(kXmlIndentDepth - 1, "<leaf x=\"1\"/>") + "</R>",
                  pugi::encoding_utf8},
        TSaveCase{"TextAtTheLimit", "<R>" + chain(kXmlIndentDepth, "t") + "</R>", pugi::encoding_utf8},
        TSaveCase{"Latin1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R C=\"Gr\xF6\xDF" "e\"><a><b/></a></R>",
                  pugi::encoding_latin1},
        TSaveCase{"Utf16", utf16le("<R><a><b>t</b></a></R>"), pugi::encoding_utf16_le}),
    caseName);

class SaveIndentedBeyondTheLimit : public ::testing::TestWithParam<TSaveCase> {};

TEST_P(SaveIndentedBeyondTheLimit, KeepsTheContentInSpaceProportionalToIt)
{
    const std::string& in = GetParam().Xml;
    pugi::xml_document doc = parse(in);
    const std::string out = SaveIndented(doc, GetParam().Encoding);
    EXPECT_LT(out.size(), 2 * in.size());
    EXPECT_EQ(content(out), content(in));
    if (GetParam().Encoding == pugi::encoding_utf8) {
        EXPECT_LE(deepestIndentation(out), 2 * kXmlIndentDepth);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, SaveIndentedBeyondTheLimit,
    ::testing::Values(
        TSaveCase{"OneDeepChain", "<R>" + chain(3000, "t") + "</R>", pugi::encoding_utf8},
        TSaveCase{"MarkerLookalikesEverywhere",
                  "<R>" + kLookalikes + chain(2000, kLookalikes + chain(50, kLookalikes)) + kLookalikes + "</R>",
                  pugi::encoding_utf8},
        TSaveCase{"MixedContent", "<R>before" + chain(1000, "<!--c-->t<b/>u") + "after<c/></R>",
                  pugi::encoding_utf8},
        TSaveCase{"SeveralDeepBranches",
                  "<R><x/>" + chain(500, "1") + "<y>" + chain(700, "2") + chain(kXmlIndentDepth, "3") + "</y>" +
                      chain(900, "") + "<z/></R>",
                  pugi::encoding_utf8},
        TSaveCase{"Latin1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R C=\"\xF6\">" + chain(2000, "\xDF") +
                                "</R>",
                  pugi::encoding_latin1},
        TSaveCase{"Utf16", utf16le("<R>" + kLookalikes + chain(2000, "t") + "</R>"), pugi::encoding_utf16_le}),
    caseName);

TEST(RemoveNode, FreesASubtreeOfAnyDepth)
{
    pugi::xml_document doc = parse("<R><before/>" + chain(300000, "t") + "<after/></R>");
    RemoveNode(doc.document_element().child("a"));
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration);
    EXPECT_EQ(out.str(), "<R><before/><after/></R>");
}

} // namespace
