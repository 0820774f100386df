// Every type file of the real-world corpus reads, and rewriting it over
// itself keeps every element and attribute, modelled or not.

#include "model/fb_type.h"
#include "model/file_util.h"
#include "persistence/type_file.h"
#include "persistence/type_file_fixture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace telvo;
using namespace telvo::test;

namespace {

std::vector<std::filesystem::path> corpusTypeFiles()
{
    return FilesWithExtension(CorpusDir() / "4diac-typelibrary", ".fbt");
}

} // namespace

TEST(TypeFileCorpus, EveryFileRewritesOverItselfKeepingEverything)
{
    TELVO_REQUIRE_CORPUS();
    auto files = corpusTypeFiles();
    ASSERT_FALSE(files.empty());
    TempDir dir;
    for (const auto& in : files) {
        SCOPED_TRACE(in.string());
        TFB_Type type;
        ASSERT_TRUE(ReadFBType(ReadFileText(in), type, nullptr, in.string()));
        type.FileName = in.string();
        auto out = dir / "out.fbt";
        ASSERT_TRUE(WriteFBType(out.string(), type, &type, true, type.Network.get()));
        EXPECT_TRUE(RewriteKeepsEverything(in, out));

        // A second rewrite changes nothing: what the writer produced is
        // already in its own form.
        TFB_Type again;
        std::string first = ReadFileText(out);
        ASSERT_TRUE(ReadFBType(first, again, nullptr));
        again.FileName = out.string();
        auto out2 = dir / "out2.fbt";
        ASSERT_TRUE(WriteFBType(out2.string(), again, &again, true, again.Network.get()));
        EXPECT_EQ(ReadFileText(out2), first);
    }
}

TEST(TypeFileCorpus, TheRewriteCheckSeesLoss)
{
    // The check above is only worth something if it fails on a rewrite that
    // lost or changed something.
    const std::string base = R"(<FBType Name="T" Comment="c">
  <Identification Classification="K" Standard="S"/>
  <InterfaceList>
    <EventInputs><Event Name="REQ"><With Var="IN"/></Event></EventInputs>
    <InputVars><VarDeclaration Name="IN" Type="INT" ArraySize="3"><Attribute Name="a" Value="1"/></VarDeclaration></InputVars>
  </InterfaceList>
  <BasicFB><ECC><ECState Name="S" x="100" y="100"/><ECTransition Source="S" Destination="S" Condition="REQ" Comment="t"/></ECC>
    <Algorithm Name="A"><ST><![CDATA[X := 1;]]></ST><FBD/></Algorithm></BasicFB>
</FBType>)";
    struct Case {
        const char* Name;
        std::string From, To;
    };
    const Case cases[] = {
        {"unmodelled attribute lost", " Classification=\"K\"", ""},
        {"child of a regenerated element lost", "<Attribute Name=\"a\" Value=\"1\"/>", ""},
        {"interface array size lost", " ArraySize=\"3\"", ""},
        {"transition comment lost", " Comment=\"t\"", ""},
        {"algorithm child lost", "<FBD/>", ""},
        {"text form changed", "<ST><![CDATA[X := 1;]]></ST>", "<ST Text=\"X := 1;\"/>"},
        {"text written twice", "<ST><![CDATA[X := 1;]]></ST>", "<ST Text=\"X := 1;\"><![CDATA[X := 1;]]></ST>"},
        {"WITH lost", "<With Var=\"IN\"/>", ""},
        {"position changed", "x=\"100\"", "x=\"200\""},
        {"modelled text changed", "X := 1;", "X := 2;"},
    };
    TempDir dir;
    auto in = dir.Write("in.fbt", base);
    ASSERT_TRUE(RewriteKeepsEverything(in, in));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string damaged = base;
        size_t at = damaged.find(c.From);
        ASSERT_NE(at, std::string::npos);
        damaged.replace(at, c.From.size(), c.To);
        EXPECT_FALSE(RewriteKeepsEverything(in, dir.Write("out.fbt", damaged)));
    }
}
