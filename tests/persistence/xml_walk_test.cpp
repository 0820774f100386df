// The readers' view of a parsed document agrees with pugixml's own
// accessors: same names and values (the very same texts), same node kinds,
// same children, siblings and attributes, node by node.

#include "persistence/xml_walk.h"
#include "model/file_util.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <string>

using namespace telvo;
using telvo::xmlwalk::TAttr;
using telvo::xmlwalk::TNode;

namespace {

// A text of the document is the very same characters in both views; an
// absent one is an empty text in both (each view has its own "").
void expectSameText(const char* view, const char* pugi)
{
    EXPECT_STREQ(view, pugi);
    if (*pugi) {
        EXPECT_EQ(static_cast<const void*>(view), static_cast<const void*>(pugi));
    }
}

// Compares the two views of `node` and everything below it; returns the
// number of nodes compared.
size_t compareTrees(pugi::xml_node node, TNode view)
{
    EXPECT_EQ(static_cast<bool>(node), static_cast<bool>(view));
    if (!node)
        return 0;
    EXPECT_EQ(view.Type(), node.type());
    EXPECT_EQ(view.IsElement(), node.type() == pugi::node_element);
    expectSameText(view.Name(), node.name());
    expectSameText(view.Value(), node.value());
    EXPECT_EQ(view.Pugi(), node);

    TAttr a = view.FirstAttribute();
    for (pugi::xml_attribute p = node.first_attribute(); p; p = p.next_attribute(), a = a.Next()) {
        EXPECT_TRUE(a);
        if (!a)
            return 1;
        expectSameText(a.Name(), p.name());
        expectSameText(a.Value(), p.value());
    }
    EXPECT_FALSE(a);

    size_t count = 1;
    TNode c = view.FirstChild();
    for (pugi::xml_node p = node.first_child(); p; p = p.next_sibling(), c = c.NextSibling()) {
        EXPECT_TRUE(c);
        if (!c)
            return count;
        count += compareTrees(p, c);
    }
    EXPECT_FALSE(c);
    return count;
}

constexpr unsigned kOptions = pugi::parse_full;

} // namespace

TEST(XmlWalk, EveryKindOfNodeReadsAsPugixmlReadsIt)
{
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<!DOCTYPE FBType SYSTEM \"LibraryElement.dtd\">\n"
                             "<!-- a comment -->\n"
                             "<?telvo keep?>\n"
                             "<FBType Name=\"T\" Comment=\"a &amp; b\tc\" Empty=\"\">\n"
                             "  <ST><![CDATA[x := 1;]]>text<![CDATA[]]]]><![CDATA[>]]></ST>\n"
                             "  <Event Name=\"E\"><With Var=\"V\"/></Event><Empty/>\n"
                             "</FBType>\n";
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str(), kOptions));
    EXPECT_GT(compareTrees(doc, TNode(doc)), 10u);

    // Names and values set after parsing live elsewhere than the text.
    pugi::xml_node root = doc.document_element();
    root.set_name("Renamed");
    root.first_attribute().set_value("a much longer value than the parsed one");
    root.append_child(pugi::node_pcdata).set_value("appended");
    root.append_child("Appended").append_attribute("A") = "1";
    EXPECT_GT(compareTrees(doc, TNode(doc)), 10u);
}

TEST(XmlWalk, TheNullNodeHasNothing)
{
    TNode none;
    EXPECT_FALSE(none);
    EXPECT_EQ(none.Type(), pugi::node_null);
    EXPECT_FALSE(none.IsElement());
    EXPECT_STREQ(none.Name(), "");
    EXPECT_STREQ(none.Value(), "");
    EXPECT_FALSE(none.FirstChild());
    EXPECT_FALSE(none.FirstAttribute());
    EXPECT_FALSE(none.Pugi());
    EXPECT_TRUE(none == TNode(pugi::xml_node()));
}

TEST(XmlWalk, EveryCorpusTypeReadsAsPugixmlReadsIt)
{
    TELVO_REQUIRE_CORPUS();
    auto files = test::FilesWithExtension(test::CorpusDir() / "4diac-typelibrary", ".fbt");
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        std::string text = ReadFileText(file);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_buffer(text.data(), text.size(), kOptions));
        compareTrees(doc, TNode(doc));
    }
}
