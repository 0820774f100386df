#pragma once
// Changing and writing documents of any nesting depth. Files keep elements
// the model does not know, nested as deep as their authors made them; a
// document thousands of levels deep must cost memory and time in proportion
// to its size, where pugixml's own indentation and freeing of subtrees grow
// with the depth.

#include <pugixml.hpp>

#include <string>

namespace telvo {

// Elements nested deeper than this are written without further indentation.
// Real type files nest a handful of levels.
constexpr unsigned kXmlIndentDepth = 32;

// Removes a node and its subtree from its document, in time proportional to
// the subtree's size times the node's own depth (which the callers keep
// small).
void RemoveNode(pugi::xml_node node);

// The document's text, indented by two spaces per level up to
// kXmlIndentDepth, without a declaration of its own (a declaration node of
// the document is written). A document within that depth is written exactly
// as pugixml indents it; the content of elements at that depth is written one
// node per line without further indentation, and taken out of the document.
std::string SaveIndented(pugi::xml_document& doc, pugi::xml_encoding encoding);

} // namespace telvo
