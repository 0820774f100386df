#pragma once
// Runtime FBs: during a simulation every instance of the simulated diagram
// is a thread of its own that sleeps until it is handed an event, then runs
// one step of its FB type's execution control chart.

#include "runtime/rt_thread.h"
#include "runtime/script_generation.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace telvo {

class TFB_Instance;
class TFB_Type;
struct TECCTransition;
class TFBAlgorithm;
class TtelvoRT_Environment;

// The thread part shared by every kind of runtime FB.
class TTELVO_RTtype {
public:
    TTELVO_RTtype(TtelvoRT_Environment& environment, TFB_Instance* instance);
    virtual ~TTELVO_RTtype();
    TTELVO_RTtype(const TTELVO_RTtype&) = delete;
    TTELVO_RTtype& operator=(const TTELVO_RTtype&) = delete;

    void SetFBInfo(const std::string& typeName, const std::string& instanceName);
    // Hands an event over and wakes the thread. Events handed over while
    // the FB is busy wait in order: none is lost, none replaces another.
    // An FB whose thread has ended (it took DESTROY) takes nothing more.
    void ExecEvent(const std::string& eventName);
    // One ECC step for CurrentEvent, on the FB's own thread.
    virtual void ProcessEvent() {}

    // Starts the thread (after the FB is bound and named): 0, or the error
    // the system gave when it refused a thread.
    int Start();
    // Ends the thread once the events handed over so far are taken, even
    // when none of them ends it; then waits for it.
    void Finish();
    // The first half of Finish, without the wait: many FBs end side by side.
    void RequestFinish();

    // Waiting for an event with none handed over.
    bool Idle() const;

    // Read by the thread and, once the thread has ended, by anyone.
    std::string State;
    std::string TypeName;
    std::string CurrentEvent = "-";
    std::string InstanceName;
    TFB_Instance* const Instance;

protected:
    TtelvoRT_Environment& Env;

    // The event-less pause before the chart is evaluated again; false when
    // the simulation is being stopped.
    bool Pause();
    bool Logging() const;
    void Log(const std::string& text) const;

private:
    friend class TtelvoRT_Environment;
    void body();
    // Called by the environment to interrupt a pause.
    void wakeForStop();

    TSimulationThread thread_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::string> events_;
    bool idle_ = false; // counted in the environment's busy count while false
    bool finish_ = false;
    bool ended_ = false; // the thread body is over: events are dropped
};

// The runtime FB of a basic FB type: transitions and algorithms run as
// scripts through the environment.
class TtelvoRT_FBtype : public TTELVO_RTtype {
public:
    using TTELVO_RTtype::TTELVO_RTtype;

    void ProcessEvent() override;
    // The transition test for the event; throws ESimulationStopped when the
    // simulation is being stopped. A script that fails counts as false.
    bool CheckTransition(const TECCTransition& transition, const std::string& event);
    bool CheckTransition(const std::string& condition, const std::string& event);
    // Runs the algorithm for the event; a script that fails changes nothing.
    void RunAlgorithm(const TFBAlgorithm& algorithm, const std::string& event);
    void RunAlgorithm(const std::vector<std::string>& lines, const std::string& event);

private:
    bool checkTransition(const std::string& condition, const TScriptNameSet& names, const std::string& event);
    void runAlgorithm(const std::vector<std::string>& lines, const TScriptNameSet& names, const std::string& event);
    void scriptFailed(const std::string& script, const std::string& message) const;
    // An algorithm as the engine runs it: runs it, or says once per type
    // why it stays unsimulated.
    void runTypeAlgorithm(const TFB_Type& type, const TFBAlgorithm& algorithm, const std::string& event);
    // A simple FB: the event's algorithm, then its paired event output.
    void processSimple(const TFB_Type& type, const std::string& event);
    // The script lines of each algorithm and the script form of each
    // condition, made once (ST is translated).
    const std::vector<std::string>& linesOf(const TFBAlgorithm& algorithm, const TFB_Type& type);
    const std::string& conditionOf(const TECCTransition& transition, const TFB_Type& type);
    std::unordered_map<const void*, std::vector<std::string>> lines_;
    std::unordered_map<const void*, std::string> conditions_;
    // The names each condition and algorithm text uses, gathered once.
    const TScriptNameSet& namesOf(const void* key, const std::string& text);
    const TScriptNameSet& namesOf(const void* key, const std::vector<std::string>& lines);
    std::unordered_map<const void*, TScriptNameSet> names_;
};

} // namespace telvo
