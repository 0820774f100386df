#pragma once
// What the shipped event blocks answer to a sequence of events: one table,
// run both through the generated Pascal code and through the simulation's
// scripts.

#include <string>
#include <utility>
#include <vector>

namespace telvo::test {

struct Step {
    const char* Event;
    const char* Inputs; // "NAME=value ..."; inputs not named keep their last value
    const char* Expect; // output events with every data output, joined by ", "
};

struct Case {
    const char* Type;
    std::vector<Step> Steps;
};

// Sequences chosen to show each block's behaviour. The generated code keeps
// an event that fired no transition until the next one fires (its own
// quirk, not the blocks'), so no step here relies on a stale event.
const std::vector<Case>& BehaviourCases();

// "A=1 B=TRUE" as name and value pairs, in order.
std::vector<std::pair<std::string, std::string>> InputAssignments(const std::string& inputs);

} // namespace telvo::test
