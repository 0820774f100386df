#pragma once
// A simulation run without a window: the command line, the tests and the
// benchmarks start, step and stop a diagram through this, and read the log
// and the schedule tables from its host.

#include "runtime/rt_environment.h"
#include "runtime/simulation_host.h"

#include <chrono>
#include <vector>

namespace telvo {

class TFB_Diagram;
class TFBEvent;

class THeadlessSimulation {
public:
    // No pause between event-less re-evaluations: nobody watches.
    explicit THeadlessSimulation(TFB_Diagram& diagram, std::chrono::milliseconds pause = std::chrono::milliseconds(0));
    ~THeadlessSimulation();

    // Creates the runtime FBs (unless they exist), queues the initial
    // events, clears both schedule tables and starts the daemon.
    void Start(const std::vector<TFBEvent*>& initialEvents);
    // One step: waits until every runtime FB is idle, wakes the daemon, and
    // waits until the step has come to rest. False when the FBs did not come
    // to rest within the timeout (before or after the step).
    bool Step(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Ends the run and every thread of it.
    void Stop();
    bool Running() const { return running_; }

    THeadlessSimulationHost Host;
    TtelvoRT_Environment Environment{Host};

private:
    TFB_Diagram& diagram_;
    bool running_ = false;
};

} // namespace telvo
