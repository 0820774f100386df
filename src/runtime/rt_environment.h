#pragma once
// The simulation of one FB network diagram: the runtime environment turns
// the diagram's instances into runtime FBs (one thread each), keeps the
// event queue and lends the host's script engine and schedule tables to one
// caller at a time; the event daemon routes the queued events along the
// diagram's event connections and copies data along its data connections,
// once per step.
//
// The simulation works on the model objects themselves: values, pending
// flags and the state text shown on each drawn instance live in the
// instances of the diagram.

#include "runtime/rt_fbtype.h"
#include "runtime/simulation_host.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace telvo {

class TFB_Diagram;
class TFB_Instance;
class TFB_InstanceRef;
class TFBEvent;
class TFBDataMember;
class TFBInstance_InternalVar;
class TtelvoRT_Environment;

// Thrown out of the script operations when the simulation is being stopped:
// the FB gives up its step.
class ESimulationStopped : public std::runtime_error {
public:
    ESimulationStopped() : std::runtime_error("simulation stopped") {}
};

// The system would not give the run another thread. Whatever the run had
// started is ended before this is thrown.
class ESimulationRefused : public std::runtime_error {
public:
    explicit ESimulationRefused(size_t startedFBs)
        : std::runtime_error("Cannot simulate: the system refused a thread after " + std::to_string(startedFBs) +
                             " FBs"),
          StartedFBs(startedFBs)
    {
    }
    size_t StartedFBs;
};

// The daemon thread of one run.
class TtelvoRT_Daemon {
public:
    explicit TtelvoRT_Daemon(TtelvoRT_Environment& environment);
    ~TtelvoRT_Daemon();
    TtelvoRT_Daemon(const TtelvoRT_Daemon&) = delete;
    TtelvoRT_Daemon& operator=(const TtelvoRT_Daemon&) = delete;

    // "START" while it runs; "STOP" makes its next pass its last.
    std::string Command() const;
    void SetCommand(const std::string& command);
    // Wakes the daemon for one pass. A wake given while it is still busy is
    // kept for its next wait.
    void Resume();
    // Waiting to be resumed, with no resume pending.
    bool Waiting() const;
    // Passes completed (each ends in a wait, or in the end of the thread).
    uint64_t Passes() const;
    bool Ended() const;
    void Join();

private:
    friend class TtelvoRT_Environment;
    void body();
    bool waitForResume();
    void routeEvent(TFBEvent* event);
    void copyData();
    void log(const std::string& text) const;

    TtelvoRT_Environment& env_;
    std::string command_ = "START";
    bool resume_ = false;
    bool waiting_ = false;
    bool ended_ = false;
    uint64_t passes_ = 0;
    TSimulationThread thread_;
};

class TtelvoRT_Environment {
public:
    explicit TtelvoRT_Environment(TSimulationHost& host);
    // Tells every runtime FB still listed to end, ends the daemon, and
    // waits for all of their threads.
    ~TtelvoRT_Environment();
    TtelvoRT_Environment(const TtelvoRT_Environment&) = delete;
    TtelvoRT_Environment& operator=(const TtelvoRT_Environment&) = delete;

    // Set before CreateAllRuntimeFBs; not owned.
    TFB_Diagram* Diagram = nullptr;
    // The pause between event-less re-evaluations of a chart: long enough
    // to watch in the visual debugger; 0 for headless runs.
    std::chrono::milliseconds PauseTime{300};
    // Told on the FB's own thread each time a runtime FB enters a state of
    // its chart (a debugger's breakpoints watch this). Set while no run is
    // under way; it must be quick and safe to call from any thread.
    std::function<void(const TTELVO_RTtype& fb, const std::string& state)> OnStateEntered;

    bool Created() const { return created_; }
    bool ShowDebugMessages() const { return showDebug_.load(std::memory_order_relaxed); }
    void SetShowDebugMessages(bool show) { showDebug_.store(show, std::memory_order_relaxed); }

    // Throws ESimulationRefused when the system refuses the FB's thread;
    // the FB is then not listed.
    TTELVO_RTtype* CreateRuntimeFB(TFB_Instance* instance);
    // One runtime FB per instance of the diagram and, for a composite, per
    // instance of its inner diagram (one level); then an empty queue. When
    // the system refuses a thread, the FBs made so far are ended (without
    // DESTROY: the run never began) and ESimulationRefused is thrown.
    void CreateAllRuntimeFBs();
    // Ends a daemon still running, then "DESTROY" to every runtime FB, and
    // waits for their threads.
    void DestroyAllRuntimeFBs();
    // "<time> <text>" to the host's log while debug messages are shown.
    void Log(const std::string& text);
    // The same whatever the debug-message setting: failures are never
    // silent.
    void LogAlways(const std::string& text);
    // A script that did not compile or raised: logged always, and kept for
    // the run's report (a headless run must not pass it off as success).
    void ScriptFailed(const std::string& text);
    // The failures of the current run, in order; a new daemon starts a new
    // list.
    std::vector<std::string> ScriptFailures() const;
    // Logs the text always, the first time a key is given in this
    // environment's life; later calls with the same key log nothing.
    void LogOnce(const std::string& key, const std::string& text);
    void QueueEvent(TFBEvent* event);
    // Empties the queue, clearing the pending flags.
    void ClearQueue();
    size_t QueuedEvents() const;
    // When the system refuses the daemon its thread, the runtime FBs are
    // ended as by a refused CreateAllRuntimeFBs and ESimulationRefused is
    // thrown.
    void CreateDaemon();
    TtelvoRT_Daemon* Daemon() const { return daemon_.get(); }
    TTELVO_RTtype* FindRuntimeFB(const TFB_InstanceRef* instance) const;
    void RecordSchedule(const std::string& fbName, const std::string& eventName);
    // Throw EScriptError when the script fails, ESimulationStopped when the
    // simulation is being stopped.
    bool RunTransitionScript(const std::string& script);
    void RunAlgorithmScript(const std::string& script, const std::vector<TFBDataMember*>& outputs,
                            const std::vector<TFBInstance_InternalVar*>& variables);
    bool AllRuntimeFBsIdle() const { return busy_.load(std::memory_order_acquire) == 0; }
    int32_t StepCounter() const { return stepCounter_.load(std::memory_order_acquire); }
    const std::vector<std::unique_ptr<TTELVO_RTtype>>& RuntimeFBs() const { return runtimeFBs_; }

    // ---- Running the daemon from the controlling thread ----

    // Resumes the daemon for one step when it waits and every runtime FB is
    // idle; false (and nothing done) otherwise.
    bool Step();
    // Waits until the daemon waits for its next step and every runtime FB
    // is idle; false when that did not happen within the timeout.
    bool WaitUntilSettled(std::chrono::milliseconds timeout);
    // Ends the run: empties the queue, interrupts every FB still busy
    // (reporting it in the log), lets the daemon make its last pass, tells
    // every runtime FB to end and waits for every thread of the run.
    void Stop();
    bool StopRequested() const { return stopping_.load(std::memory_order_acquire); }

private:
    friend class TTELVO_RTtype;
    friend class TtelvoRT_Daemon;

    void fbBusy() { busy_.fetch_add(1, std::memory_order_acq_rel); }
    void fbIdle();
    void notifyState();
    // Interrupts busy FBs and waits until every one is idle.
    void interruptBusyFBs();
    void endDaemon();
    // Ends every runtime FB of a run that could not begin.
    void abandonRuntimeFBs() noexcept;

    // What routing an event port does, worked out once per run.
    struct TDelivery {
        TFB_InstanceRef* Target = nullptr; // deliver Name to its runtime FB
        std::string Name;
        TFBEvent* Queue = nullptr; // or queue this port
    };
    struct TRoute {
        std::vector<TDelivery> Deliveries;
        bool Unconnected = false;
    };
    const TRoute& routeOf(TFBEvent* event);
    void deliverIntoComposite(TFB_InstanceRef* composite, const std::string& name, TRoute& route) const;

    TSimulationHost& host_;
    std::vector<std::unique_ptr<TTELVO_RTtype>> runtimeFBs_;
    std::unordered_map<const TFB_InstanceRef*, TTELVO_RTtype*> byInstance_;
    bool created_ = false;
    std::atomic<bool> showDebug_{false};

    mutable std::mutex failuresMutex_;
    std::vector<std::string> failures_;
    std::vector<std::string> loggedOnce_;

    mutable std::mutex queueMutex_;
    std::vector<TFBEvent*> queue_;

    std::unique_ptr<TtelvoRT_Daemon> daemon_;
    std::atomic<int32_t> stepCounter_{0};
    // The daemon's routes; used by the daemon thread only.
    std::unordered_map<const TFBEvent*, TRoute> routes_;

    // The schedule-busy and script-busy locks.
    std::mutex scheduleMutex_;
    std::mutex scriptMutex_;
    // Guards scriptRunning_ against a stop that wants to end the script.
    std::mutex stopMutex_;
    bool scriptRunning_ = false;
    std::atomic<bool> stopping_{false};

    // Runtime FBs not idle (busy, or with an event handed over).
    std::atomic<int64_t> busy_{0};
    // Guards the daemon's flags; stateCv_ hears of every change of them and
    // of busy_ reaching 0.
    mutable std::mutex stateMutex_;
    std::condition_variable stateCv_;
};

} // namespace telvo
