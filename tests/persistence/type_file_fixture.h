#pragma once
// Helpers for the type file tests: a full text picture of a type's model,
// and the part of a type document that the model does not hold.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace telvo {
class TFB_Type;
}

namespace telvo::test {

// Every field the model holds, one per line, in list order.
std::string DescribeType(const TFB_Type& type);

// Reads a type from XML text; fails the current test when it is no type.
std::unique_ptr<TFB_Type> ReadTypeText(const std::string& xml, const std::string& fileName = "");

// The document with everything the model reads taken out: what is left is
// what a rewrite must carry over untouched. Algorithm texts are replaced by
// a marker of the form they had (attribute, CDATA or element text), so the
// form is compared too; empty containers are dropped on both sides, since a
// writer may create them.
std::string UnmodelledContent(const std::string& xml);

// A rewrite kept everything: the model read from both files is the same,
// and so is the content the model does not hold.
::testing::AssertionResult RewriteKeepsEverything(const std::filesystem::path& in, const std::filesystem::path& out);

} // namespace telvo::test
