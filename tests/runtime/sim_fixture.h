#pragma once
// A workbench on a program folder of its own, with the shipped event blocks
// and a few small blocks made to show the simulation's rules, and diagrams
// loaded from network texts.

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/user_interface.h"
#include "runtime/headless_simulation.h"
#include "support/test_support.h"
#include "workbench/workbench.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace telvo::test {

// PULSE: REQ takes START to RUN, which counts (CNT := CNT + 1; DO_OUT :=
// IN1 + CNT) and produces CNF; RUN goes back to START on "1". INIT does
// nothing.
extern const char* const kPulseType;
// LOOPER: REQ starts an event-less cycle A -> B -> A that never rests.
extern const char* const kLooperType;
// SPINNER: REQ runs an algorithm that loops for good.
extern const char* const kSpinnerType;
// BROKEN: a condition that does not compile, and an algorithm that raises
// after assigning its output.
extern const char* const kBrokenType;
// ODD: REQ leads to TWO, whose two actions each run an algorithm and
// produce an event; INIT leads to GHOSTS, whose actions name a missing
// algorithm and event, an empty algorithm and one in another language, and
// whose "1" transition leads to a state the chart does not have.
extern const char* const kOddType;
// DUO: composite of PULSE X and Y: REQ -> X.REQ and Y.INIT, X.CNF -> Y.REQ,
// Y.CNF -> DONE; IN -> X.IN1, X.OUT -> Y.IN1, Y.OUT -> OUT.
extern const char* const kDuoType;

// An FBNetwork document around the given elements.
std::string Network(const std::string& body);

// One step of a table-driven run of a diagram.
struct TSimStep {
    const char* Event;   // "INST.EVENT" queued before the step, or ""
    const char* Inputs;  // "INST.PORT=value ..." set before the step
    const char* Outputs; // event outputs produced in the step: "INST.EO ..."
    const char* Values;  // data outputs after the step: "INST.PORT=value ..."
};

class SimTest : public ::testing::Test {
protected:
    SimTest();

    TFB_Manager& M() const { return Bench->FBManager(); }
    // Loads a network text into a new diagram (through a real file).
    TFB_Diagram* Load(const std::string& networkBody, const std::string& fileName = "net.fbn");
    // "INST.PORT" of a top-level instance.
    TFBEvent* EventIn(const std::string& path) const;
    TFBEvent* EventOut(const std::string& path) const;
    TFBDataMember* DataIn(const std::string& path) const;
    TFBDataMember* DataOut(const std::string& path) const;
    TFB_InstanceRef* Record(const std::string& name) const;
    // Sets the step's inputs, queues its event, runs one step and checks the
    // event outputs produced and the data outputs after it.
    void PlayStep(THeadlessSimulation& sim, const TSimStep& step);

    TempDir Home;
    TRecordingUserInterface UI;
    std::unique_ptr<TWorkbench> Bench;
    TFB_Diagram* Diagram = nullptr;
};

// The log without the time in front of each line ("12:00:00 text").
std::vector<std::string> WithoutTime(const std::vector<std::string>& lines);
// The lines that begin with the prefix, in order.
std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix);
std::vector<std::string> LinesContaining(const std::vector<std::string>& lines, const std::string& part);

// Threads of this process that belong to a simulation run (runtime FBs and
// daemons, known by their names). Other threads come and go on their own:
// a sanitizer's runtime, for one, starts a background thread of its own.
size_t SimulationThreads();

} // namespace telvo::test
