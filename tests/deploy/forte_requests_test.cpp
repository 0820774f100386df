// The requests made from a device's network when composites are flattened:
// nested composites, ports fanning out inside, ports nothing inside uses,
// and constants on inputs a port of the composite feeds.

#include "deploy/forte.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace telvo::test {
namespace {

using ::testing::ElementsAreArray;

TForteBlock block(const std::string& name, const std::string& type)
{
    TForteBlock b;
    b.Name = name;
    b.Type = type;
    return b;
}

// OUTER "a" holds INNER "a-x" and an E_SPLIT "a-s"; INNER holds an E_SR
// "a-x-e". GO fans out to a-x.S and a-s.EI; OFF leads nowhere inside.
TForteDevicePlan nestedPlan()
{
    TForteBlock latch = block("a-x-e", "E_SR");
    TForteBlock inner = block("a-x", "INNER");
    inner.Composite = true;
    inner.Inner = {latch};
    inner.Ports = {{"S", "a-x-e.S"}, {"Q", "a-x-e.Q"}, {"EO", "a-x-e.EO"}};
    TForteBlock split = block("a-s", "E_SPLIT");
    split.Writes = {{"7", "N"}};
    TForteBlock outer = block("a", "OUTER");
    outer.Composite = true;
    outer.Writes = {{"3", "N"}};
    outer.Inner = {inner, split};
    outer.InnerEvents = {{"a-s.EO1", "a-x.S"}};
    outer.Ports = {{"GO", "a-x.S"}, {"GO", "a-s.EI"}, {"Q", "a-x.Q"}, {"EO", "a-x.EO"}, {"N", "a-s.N"}};

    TForteDevicePlan plan;
    plan.Device = "D";
    plan.Resource = "R";
    plan.Blocks = {block("src", "E_CYCLE"), outer, block("dst", "E_PERMIT")};
    plan.Events = {{"src.EO", "a.GO"}, {"src.EO", "a.OFF"}, {"a.EO", "dst.EI"}};
    plan.Data = {{"a.Q", "dst.PERMIT"}};
    plan.Starts = {"src.START"};
    return plan;
}

std::vector<std::string> xmlOf(const std::vector<TForteRequest>& requests)
{
    std::vector<std::string> out;
    for (const auto& r : requests)
        out.push_back((r.Destination.empty() ? "" : r.Destination + ": ") + r.Xml);
    return out;
}

std::string fb(int id, const std::string& name, const std::string& type)
{
    return "R: <Request ID=\"" + std::to_string(id) + "\" Action=\"CREATE\"><FB Name=\"" + name + "\" Type=\"" + type +
           "\"/></Request>";
}
std::string conn(int id, const std::string& action, const std::string& source, const std::string& dest)
{
    return "R: <Request ID=\"" + std::to_string(id) + "\" Action=\"" + action + "\"><Connection Source=\"" + source +
           "\" Destination=\"" + dest + "\"/></Request>";
}

TEST(ForteRequests, CompositesAreFlattenedLevelByLevel)
{
    const TForteDevicePlan plan = nestedPlan();
    const std::string resource = "<Request ID=\"1\" Action=\"CREATE\"><FB Name=\"R\" Type=\"EMB_RES\"/></Request>";
    struct Case {
        const char* name;
        std::set<std::string> flattened;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"as types",
         {},
         {resource, fb(2, "src", "E_CYCLE"), fb(3, "a", "OUTER"), fb(4, "dst", "E_PERMIT"), conn(5, "WRITE", "3", "a.N"),
          conn(6, "CREATE", "src.EO", "a.GO"), conn(7, "CREATE", "src.EO", "a.OFF"), conn(8, "CREATE", "a.EO", "dst.EI"),
          conn(9, "CREATE", "a.Q", "dst.PERMIT"), conn(10, "CREATE", "START.COLD", "src.START"),
          conn(11, "CREATE", "START.WARM", "src.START"), "R: <Request ID=\"12\" Action=\"START\"/>"}},
        // The split's own 7 gives way to the 3 the composite's N brings.
        {"the outer one",
         {"OUTER"},
         {resource, fb(2, "src", "E_CYCLE"), fb(3, "a-x", "INNER"), fb(4, "a-s", "E_SPLIT"), fb(5, "dst", "E_PERMIT"),
          conn(6, "WRITE", "3", "a-s.N"), conn(7, "CREATE", "src.EO", "a-x.S"), conn(8, "CREATE", "src.EO", "a-s.EI"),
          conn(9, "CREATE", "a-x.EO", "dst.EI"), conn(10, "CREATE", "a-s.EO1", "a-x.S"),
          conn(11, "CREATE", "a-x.Q", "dst.PERMIT"), conn(12, "CREATE", "START.COLD", "src.START"),
          conn(13, "CREATE", "START.WARM", "src.START"), "R: <Request ID=\"14\" Action=\"START\"/>"}},
        {"both",
         {"OUTER", "INNER"},
         {resource, fb(2, "src", "E_CYCLE"), fb(3, "a-x-e", "E_SR"), fb(4, "a-s", "E_SPLIT"), fb(5, "dst", "E_PERMIT"),
          conn(6, "WRITE", "3", "a-s.N"), conn(7, "CREATE", "src.EO", "a-x-e.S"), conn(8, "CREATE", "src.EO", "a-s.EI"),
          conn(9, "CREATE", "a-x-e.EO", "dst.EI"), conn(10, "CREATE", "a-s.EO1", "a-x-e.S"),
          conn(11, "CREATE", "a-x-e.Q", "dst.PERMIT"), conn(12, "CREATE", "START.COLD", "src.START"),
          conn(13, "CREATE", "START.WARM", "src.START"), "R: <Request ID=\"14\" Action=\"START\"/>"}},
        // The inner type alone: the outer one goes as its type, which the
        // runtime makes of its own inner network.
        {"the inner one alone",
         {"INNER"},
         {resource, fb(2, "src", "E_CYCLE"), fb(3, "a", "OUTER"), fb(4, "dst", "E_PERMIT"), conn(5, "WRITE", "3", "a.N"),
          conn(6, "CREATE", "src.EO", "a.GO"), conn(7, "CREATE", "src.EO", "a.OFF"), conn(8, "CREATE", "a.EO", "dst.EI"),
          conn(9, "CREATE", "a.Q", "dst.PERMIT"), conn(10, "CREATE", "START.COLD", "src.START"),
          conn(11, "CREATE", "START.WARM", "src.START"), "R: <Request ID=\"12\" Action=\"START\"/>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THAT(xmlOf(ForteRequests(plan, c.flattened)), ElementsAreArray(c.expected));
    }
    EXPECT_EQ(ForteCompositeTypes(plan), (std::set<std::string>{"INNER", "OUTER"}));
    // Only an FB's CREATE names the type the runtime is asked for: the
    // resource's does not.
    std::vector<std::string> asked;
    for (const auto& r : ForteRequests(plan))
        if (!r.FBType.empty())
            asked.push_back(r.FBType);
    EXPECT_THAT(asked, ElementsAreArray({"E_CYCLE", "OUTER", "E_PERMIT"}));
}

} // namespace
} // namespace telvo::test
