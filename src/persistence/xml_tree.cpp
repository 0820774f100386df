#include "persistence/xml_tree.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace telvo {

namespace {

class TStringWriter : public pugi::xml_writer {
public:
    std::string Text;
    void write(const void* data, size_t size) override { Text.append(static_cast<const char*>(data), size); }
};

// The elements at the indentation limit that have content, and the longest
// run of 'x' in any name or value of the document: a marker with a longer
// run cannot occur in the text written for any node.
class TDeepElements : public pugi::xml_tree_walker {
public:
    std::vector<pugi::xml_node> Nodes;
    size_t LongestRun = 0;

    bool for_each(pugi::xml_node& node) override
    {
        if (node.type() == pugi::node_element && static_cast<unsigned>(depth()) == kXmlIndentDepth &&
            node.first_child())
            Nodes.push_back(node);
        takeRun(node.name());
        takeRun(node.value());
        return true;
    }

private:
    void takeRun(const char* text)
    {
        size_t run = 0;
        for (; *text; ++text) {
            run = *text == 'x' ? run + 1 : 0;
            LongestRun = std::max(LongestRun, run);
        }
    }
};

} // namespace

void RemoveNode(pugi::xml_node node)
{
    // pugixml frees a removed subtree recursively, one stack frame per level:
    // the subtree is made flat first. Every node moves once, to a place a
    // fixed number of levels deep.
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        while (pugi::xml_node g = c.first_child())
            node.append_move(g);
    node.parent().remove_child(node);
}

std::string SaveIndented(pugi::xml_document& doc, pugi::xml_encoding encoding)
{
    constexpr unsigned kFlags = pugi::format_indent | pugi::format_no_declaration;
    TDeepElements deep;
    doc.traverse(deep);
    if (deep.Nodes.empty()) {
        TStringWriter out;
        doc.save(out, "  ", kFlags, encoding);
        return std::move(out.Text);
    }

    // Each element at the limit is written apart and replaced by a
    // processing instruction that marks its place in the indented text.
    const std::string markerName = "telvo-kept" + std::string(deep.LongestRun + 1, 'x');
    std::vector<std::string> parts;
    parts.reserve(deep.Nodes.size());
    for (pugi::xml_node n : deep.Nodes) {
        TStringWriter part;
        n.print(part, "", kFlags, pugi::encoding_utf8);
        if (!part.Text.empty() && part.Text.back() == '\n')
            part.Text.pop_back();
        parts.push_back(std::move(part.Text));
        n.parent().insert_child_before(pugi::node_pi, n).set_name(markerName.c_str());
        RemoveNode(n);
    }
    TStringWriter outline;
    doc.save(outline, "  ", kFlags, pugi::encoding_utf8);

    // The markers stand in document order, as the parts do. A text that
    // starts like a marker is none unless exactly as many 'x' follow as the
    // marker has, which the text of no node holds.
    constexpr std::string_view prefix = "<?telvo-kept";
    const size_t run = deep.LongestRun + 1;
    const std::string& o = outline.Text;
    std::string text;
    size_t copied = 0;
    size_t next = 0;
    for (size_t at = o.find(prefix); at != std::string::npos && next < parts.size(); at = o.find(prefix, at + 1)) {
        size_t end = at + prefix.size();
        while (end < o.size() && o[end] == 'x')
            ++end;
        if (end - (at + prefix.size()) != run || o.compare(end, 2, "?>") != 0)
            continue;
        text.append(o, copied, at - copied);
        text += parts[next++];
        copied = end + 2;
    }
    if (next != parts.size())
        throw std::logic_error("A deep element lost its place in the written document");
    text.append(o, copied);
    if (encoding == pugi::encoding_utf8)
        return text;

    // pugixml converts to the other encodings: the text as one text node,
    // written unescaped.
    pugi::xml_document whole;
    whole.append_child(pugi::node_pcdata).set_value(text.c_str());
    TStringWriter out;
    whole.save(out, "", pugi::format_raw | pugi::format_no_escapes | pugi::format_no_declaration, encoding);
    return std::move(out.Text);
}

} // namespace telvo
