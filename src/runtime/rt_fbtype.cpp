#include "runtime/rt_fbtype.h"

#include "model/fb_instance.h"
#include "model/fb_type.h"
#include "runtime/algorithm_text.h"
#include "runtime/rt_environment.h"
#include "runtime/script/script_errors.h"

#include <algorithm>

namespace telvo {

// ---- TTELVO_RTtype ----

TTELVO_RTtype::TTELVO_RTtype(TtelvoRT_Environment& environment, TFB_Instance* instance)
    : Instance(instance), Env(environment)
{
    // Busy until the thread first waits: a step never starts before every
    // runtime FB is ready for its events.
    Env.fbBusy();
}

TTELVO_RTtype::~TTELVO_RTtype()
{
    if (thread_.Joinable())
        Finish();
    else if (!idle_)
        Env.fbIdle(); // never started: no longer counted
}

void TTELVO_RTtype::SetFBInfo(const std::string& typeName, const std::string& instanceName)
{
    TypeName = typeName;
    InstanceName = instanceName;
    Log("SetFBInfo.I am: " + instanceName);
}

void TTELVO_RTtype::ExecEvent(const std::string& eventName)
{
    if (Logging())
        Log("ExecEvent: " + eventName);
    std::lock_guard lock(mutex_);
    if (ended_)
        return;
    events_.push_back(eventName);
    if (idle_) {
        idle_ = false;
        Env.fbBusy();
    }
    cv_.notify_one();
}

int TTELVO_RTtype::Start() { return thread_.Start([this] { body(); }, kRuntimeFBThreadName); }

void TTELVO_RTtype::RequestFinish()
{
    std::lock_guard lock(mutex_);
    finish_ = true;
    cv_.notify_one();
}

void TTELVO_RTtype::Finish()
{
    RequestFinish();
    thread_.Join();
}

bool TTELVO_RTtype::Idle() const
{
    std::lock_guard lock(mutex_);
    return idle_;
}

bool TTELVO_RTtype::Logging() const { return Env.ShowDebugMessages(); }

void TTELVO_RTtype::Log(const std::string& text) const { Env.Log(text); }

bool TTELVO_RTtype::Pause()
{
    if (Env.PauseTime.count() > 0) {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, Env.PauseTime, [this] { return Env.StopRequested(); });
    }
    return !Env.StopRequested();
}

void TTELVO_RTtype::wakeForStop()
{
    std::lock_guard lock(mutex_);
    cv_.notify_one();
}

void TTELVO_RTtype::body()
{
    if (State.empty())
        State = "START";
    Log("FB Thread Created!");
    while (State != "DESTROYFB") {
        if (Logging())
            Log(InstanceName + ":: Thread suspended");
        {
            std::unique_lock lock(mutex_);
            if (events_.empty() && !idle_) {
                idle_ = true;
                Env.fbIdle();
            }
            cv_.wait(lock, [this] { return !events_.empty() || finish_; });
            if (events_.empty())
                break;
            CurrentEvent = std::move(events_.front());
            events_.pop_front();
        }
        try {
            ProcessEvent();
        } catch (const std::exception& e) {
            // Nothing an FB meets may take the simulation down with it.
            Env.LogAlways(InstanceName + ":: " + e.what());
        }
    }
    Log("FB thread " + InstanceName + " Destroyed succesfully!");
    std::lock_guard lock(mutex_);
    ended_ = true;
    events_.clear();
    if (!idle_) {
        idle_ = true;
        Env.fbIdle();
    }
}

// ---- TtelvoRT_FBtype ----

void TtelvoRT_FBtype::ProcessEvent()
{
    const std::string& N = InstanceName;
    TFB_Type* type = Instance && Instance->Ref ? Instance->Ref->Type : nullptr;
    try {
        for (;;) {
            if (CurrentEvent == "-" && !Pause())
                throw ESimulationStopped();
            const std::string E = CurrentEvent;
            if (Logging())
                Log(N + ":: Got Event: " + E);
            if (E != "-")
                Env.RecordSchedule(N, E);
            if (E == "DESTROY")
                State = "DESTROYFB";
            if (!type)
                return;
            if (type->Simple) {
                if (E != "-" && E != "DESTROY")
                    processSimple(*type, E);
                return;
            }

            const TECCTransition* fired = nullptr;
            for (const auto& t : type->Transitions)
                if (t->Source == State && CheckTransition(*t, E)) {
                    fired = t.get();
                    break;
                }
            if (!fired)
                return;

            State = fired->Destination;
            Instance->StateText = State;
            if (Env.OnStateEntered)
                Env.OnStateEntered(*this, State);
            if (Logging())
                Log(N + ":: Go to State= " + State);
            if (const TECCState* state = type->FindState(State)) {
                for (const auto& action : state->Actions) {
                    if (const TFBAlgorithm* alg = type->FindAlgorithm(action->Algorithm)) {
                        if (Logging())
                            Log(N + ":: Execute Algorithm: " + alg->Name);
                        runTypeAlgorithm(*type, *alg, E);
                    }
                    if (Logging())
                        Log(N + ":: Produce Event Output: " + action->Output);
                    if (TFBEvent* out = Instance->Ref->FindEventOutput(action->Output))
                        Env.QueueEvent(out);
                }
            }
            CurrentEvent = "-";
        }
    } catch (const ESimulationStopped&) {
        Env.LogAlways(N + ":: Stopped while busy in state " + State);
    }
}

const TScriptNameSet& TtelvoRT_FBtype::namesOf(const void* key, const std::string& text)
{
    auto [it, added] = names_.try_emplace(key);
    if (added)
        it->second.Add(text);
    return it->second;
}

const TScriptNameSet& TtelvoRT_FBtype::namesOf(const void* key, const std::vector<std::string>& lines)
{
    auto [it, added] = names_.try_emplace(key);
    if (added)
        for (const auto& l : lines)
            it->second.Add(l);
    return it->second;
}

void TtelvoRT_FBtype::processSimple(const TFB_Type& type, const std::string& event)
{
    // The event input's algorithm is the one of its name; the event output
    // it answers with is the one at the same place in the list (REQ/CNF,
    // INIT/INITO), and the last one for inputs beyond the outputs (every
    // input of a block with a single CNF answers with CNF).
    const int index = type.IndexOfEventInput(event);
    if (index < 0)
        return;
    if (const TFBAlgorithm* alg = type.FindAlgorithm(event)) {
        if (Logging())
            Log(InstanceName + ":: Execute Algorithm: " + alg->Name);
        runTypeAlgorithm(type, *alg, event);
    }
    if (type.EventOutputs.empty())
        return;
    const size_t out = std::min(static_cast<size_t>(index), type.EventOutputs.size() - 1);
    const std::string& output = type.EventOutputs[out]->Name;
    if (Logging())
        Log(InstanceName + ":: Produce Event Output: " + output);
    if (TFBEvent* e = Instance->Ref->FindEventOutput(output))
        Env.QueueEvent(e);
}

void TtelvoRT_FBtype::runTypeAlgorithm(const TFB_Type& type, const TFBAlgorithm& algorithm, const std::string& event)
{
    const std::string language = AlgorithmLanguage(algorithm);
    if (language.empty())
        return;
    if (!EngineRunsLanguage(language)) {
        std::string list;
        for (const auto& a : type.Algorithms) {
            const std::string l = AlgorithmLanguage(*a);
            if (!l.empty() && !EngineRunsLanguage(l))
                list += (list.empty() ? "" : ", ") + a->Name + " (" + l + ")";
        }
        Env.LogOnce("unsimulated " + type.Name,
                    type.Name + ":: algorithms in a language the simulation does not run stay unsimulated: " + list);
        return;
    }
    if (Logging())
        Log(InstanceName + ":: Execute Algorithm " + (language == "ST" ? "ST: " : "DELPHI SCRIPT: ") + algorithm.Name);
    const std::vector<std::string>* lines = nullptr;
    try {
        lines = &linesOf(algorithm, type);
    } catch (const EScriptError& e) {
        scriptFailed("algorithm " + algorithm.Name, e.what());
        return;
    }
    if (!lines->empty())
        runAlgorithm(*lines, namesOf(&algorithm, *lines), event);
}

const std::vector<std::string>& TtelvoRT_FBtype::linesOf(const TFBAlgorithm& algorithm, const TFB_Type& type)
{
    auto it = lines_.find(&algorithm);
    if (it == lines_.end())
        it = lines_.emplace(&algorithm, AlgorithmScriptLines(algorithm, type)).first;
    return it->second;
}

const std::string& TtelvoRT_FBtype::conditionOf(const TECCTransition& transition, const TFB_Type& type)
{
    auto it = conditions_.find(&transition);
    if (it == conditions_.end())
        it = conditions_.emplace(&transition, ConditionScriptText(transition.Condition, type)).first;
    return it->second;
}

bool TtelvoRT_FBtype::CheckTransition(const TECCTransition& transition, const std::string& event)
{
    const TFB_Type* type = Instance && Instance->Ref ? Instance->Ref->Type : nullptr;
    if (!type)
        return checkTransition(transition.Condition, namesOf(&transition, transition.Condition), event);
    const std::string* condition = nullptr;
    try {
        condition = &conditionOf(transition, *type);
    } catch (const EScriptError& e) {
        scriptFailed("condition " + transition.Condition, e.what());
        return false;
    }
    return checkTransition(*condition, namesOf(&transition, *condition), event);
}

bool TtelvoRT_FBtype::CheckTransition(const std::string& condition, const std::string& event)
{
    return checkTransition(condition, TScriptNameSet(condition), event);
}

void TtelvoRT_FBtype::RunAlgorithm(const TFBAlgorithm& algorithm, const std::string& event)
{
    if (const TFB_Type* type = Instance && Instance->Ref ? Instance->Ref->Type : nullptr)
        return runTypeAlgorithm(*type, algorithm, event);
    runAlgorithm(algorithm.OtherText, namesOf(&algorithm, algorithm.OtherText), event);
}

void TtelvoRT_FBtype::RunAlgorithm(const std::vector<std::string>& lines, const std::string& event)
{
    runAlgorithm(lines, TScriptNameSet(lines), event);
}

bool TtelvoRT_FBtype::checkTransition(const std::string& condition, const TScriptNameSet& names,
                                      const std::string& event)
{
    // A start value the script cannot take fails the script as a run does.
    std::string script = "procedure chkTransition( var theResult:Boolean);";
    try {
        script = BuildTransitionScript(*Instance->Ref, condition, names, event);
        return Env.RunTransitionScript(script);
    } catch (const EScriptError& e) {
        scriptFailed(script, e.what());
        return false;
    }
}

void TtelvoRT_FBtype::runAlgorithm(const std::vector<std::string>& lines, const TScriptNameSet& names,
                                   const std::string& event)
{
    TAlgorithmScript a;
    a.Text = "procedure execAlg(";
    try {
        a = BuildAlgorithmScript(*Instance->Ref, lines, names, event);
        Env.RunAlgorithmScript(a.Text, a.Outputs, a.Variables);
    } catch (const EScriptError& e) {
        scriptFailed(a.Text, e.what());
    }
}

void TtelvoRT_FBtype::scriptFailed(const std::string& script, const std::string& message) const
{
    const std::string first = script.substr(0, script.find("\r\n"));
    Env.ScriptFailed(InstanceName + ":: Script failed: " + message + " in \"" + first + "\"");
}

} // namespace telvo
