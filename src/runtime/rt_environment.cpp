#include "runtime/rt_environment.h"

#include <algorithm>

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/value_text.h"
#include "runtime/rt_opc_fbtype.h"
#include "runtime/script/script_errors.h"

#include <algorithm>
#include <ctime>

namespace telvo {

namespace {

// The long time format: hours, minutes and seconds of the local time.
std::string timeText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &local);
    return buf;
}

bool isEventInput(const TFBEvent* e) { return e && e->Decl && e->Decl->IsInput(); }

const std::string& ownerName(const TFBDataMember* m)
{
    static const std::string none;
    return m && m->Owner ? m->Owner->Name : none;
}

} // namespace

// ---------------------------------------------------------------------------
// TtelvoRT_Daemon

TtelvoRT_Daemon::TtelvoRT_Daemon(TtelvoRT_Environment& environment) : env_(environment) {}

TtelvoRT_Daemon::~TtelvoRT_Daemon() { Join(); }

std::string TtelvoRT_Daemon::Command() const
{
    std::lock_guard lock(env_.stateMutex_);
    return command_;
}

void TtelvoRT_Daemon::SetCommand(const std::string& command)
{
    std::lock_guard lock(env_.stateMutex_);
    command_ = command;
}

void TtelvoRT_Daemon::Resume()
{
    std::lock_guard lock(env_.stateMutex_);
    resume_ = true;
    waiting_ = false;
    env_.stateCv_.notify_all();
}

bool TtelvoRT_Daemon::Waiting() const
{
    std::lock_guard lock(env_.stateMutex_);
    return waiting_;
}

uint64_t TtelvoRT_Daemon::Passes() const
{
    std::lock_guard lock(env_.stateMutex_);
    return passes_;
}

bool TtelvoRT_Daemon::Ended() const
{
    std::lock_guard lock(env_.stateMutex_);
    return ended_;
}

void TtelvoRT_Daemon::Join() { thread_.Join(); }

void TtelvoRT_Daemon::log(const std::string& text) const { env_.Log(text); }

// Waits for Resume; a resume given before the wait counts.
bool TtelvoRT_Daemon::waitForResume()
{
    std::unique_lock lock(env_.stateMutex_);
    ++passes_;
    if (!resume_)
        waiting_ = true;
    env_.stateCv_.notify_all();
    env_.stateCv_.wait(lock, [this] { return resume_; });
    resume_ = false;
    waiting_ = false;
    return command_ != "STOP";
}

void TtelvoRT_Daemon::body()
{
    log("Daemon Started!");
    log("Daemon Suspended!");
    bool running = waitForResume();
    env_.stepCounter_.store(0, std::memory_order_release);
    env_.RecordSchedule("Daemon", "Resumed");
    while (running) {
        std::vector<TFBEvent*> work;
        {
            std::lock_guard lock(env_.queueMutex_);
            work.swap(env_.queue_);
            for (TFBEvent* e : work)
                e->Pending = false;
        }
        for (TFBEvent* e : work)
            routeEvent(e);

        running = waitForResume();
        env_.stepCounter_.fetch_add(1, std::memory_order_acq_rel);
        env_.RecordSchedule("Daemon", "Resumed");
        log("Daemon Resumed!");
        copyData();
    }
    log("Daemon destroyed!");
    std::lock_guard lock(env_.stateMutex_);
    ended_ = true;
    ++passes_;
    env_.stateCv_.notify_all();
}

void TtelvoRT_Daemon::routeEvent(TFBEvent* event)
{
    const auto& route = env_.routeOf(event);
    for (const auto& d : route.Deliveries) {
        if (d.Queue) {
            env_.QueueEvent(d.Queue);
        } else if (TTELVO_RTtype* fb = env_.FindRuntimeFB(d.Target)) {
            fb->ExecEvent(d.Name);
        }
    }
    if (route.Unconnected)
        log("Generated Event " + event->Name() + " of Function Block " +
            (event->Owner ? event->Owner->Name : std::string()) + ", not connected to another Function Block!");
}

void TtelvoRT_Daemon::copyData()
{
    TFB_Diagram* d = env_.Diagram;
    if (!d)
        return;
    auto copy = [this](const TFB_DataAssocRef* c) {
        if (!c->SourcePort || !c->DestPort)
            return;
        try {
            c->DestPort->SetValueFromText(c->SourcePort->FormatValue());
        } catch (const EConvertError&) {
            // A text output wired to a number input: the input keeps its value.
        }
        if (env_.ShowDebugMessages())
            log("vSourceData=" + ownerName(c->SourcePort) + ":" + c->SourcePort->Name() +
                ",,,vDestData=" + ownerName(c->DestPort) + ":" + c->DestPort->Name());
    };
    for (const auto& line : d->DataLines)
        if (line->Ref)
            copy(line->Ref);
    for (const auto& drawn : d->DrawnInstances) {
        TFB_InstanceRef* r = drawn->Ref;
        if (!r || !r->Composite || !r->InnerDiagram)
            continue;
        for (const auto& line : r->InnerDiagram->DataLines)
            if (line->Ref)
                copy(line->Ref);
        for (const auto& k : r->InnerDiagram->CompositeConns) {
            if (!k->InnerData || !k->InterfaceData)
                continue;
            try {
                if (k->InnerData->Decl && k->InnerData->Decl->IsInput()) {
                    if (TFBDataMember* outer = r->FindDataInput(k->InterfaceData->Name))
                        k->InnerData->SetValueFromText(outer->FormatValue());
                } else if (TFBDataMember* outer = r->FindDataOutput(k->InterfaceData->Name)) {
                    outer->SetValueFromText(k->InnerData->FormatValue());
                }
            } catch (const EConvertError&) {
            }
        }
    }
}

// ---------------------------------------------------------------------------
// TtelvoRT_Environment

TtelvoRT_Environment::TtelvoRT_Environment(TSimulationHost& host) : host_(host) {}

TtelvoRT_Environment::~TtelvoRT_Environment()
{
    interruptBusyFBs();
    endDaemon();
    DestroyAllRuntimeFBs();
}

TTELVO_RTtype* TtelvoRT_Environment::CreateRuntimeFB(TFB_Instance* instance)
{
    TFB_InstanceRef* ref = instance ? instance->Ref : nullptr;
    // The OPC item types talk to an OPC server instead of running a chart.
    std::unique_ptr<TTELVO_RTtype> fb;
    if (ref && ref->Type && TtelvoRT_FBtype_OPC::IsOPCType(ref->Type->Name))
        fb = std::make_unique<TtelvoRT_FBtype_OPC>(*this, instance);
    else
        fb = std::make_unique<TtelvoRT_FBtype>(*this, instance);
    fb->SetFBInfo(ref && ref->Type ? ref->Type->Name : std::string(), ref ? ref->Name : std::string());
    // The thread comes first: an FB the system gives no thread to is never
    // listed, so nothing waits for it to come to rest.
    if (fb->Start() != 0)
        throw ESimulationRefused(runtimeFBs_.size());
    TTELVO_RTtype* p = fb.get();
    runtimeFBs_.push_back(std::move(fb));
    if (ref)
        byInstance_.try_emplace(ref, p);
    return p;
}

void TtelvoRT_Environment::CreateAllRuntimeFBs()
{
    try {
        if (Diagram) {
            for (const auto& drawn : Diagram->DrawnInstances) {
                CreateRuntimeFB(drawn.get());
                const TFB_InstanceRef* r = drawn->Ref;
                if (r && r->Composite && r->InnerDiagram)
                    for (const auto& inner : r->InnerDiagram->DrawnInstances)
                        CreateRuntimeFB(inner.get());
            }
        }
    } catch (...) {
        abandonRuntimeFBs();
        throw;
    }
    ClearQueue();
    created_ = true;
}

void TtelvoRT_Environment::abandonRuntimeFBs() noexcept
{
    // Every FB is told first and waited for afterwards, so that they end
    // side by side. An FB still busy with an event is interrupted first.
    if (!AllRuntimeFBsIdle())
        interruptBusyFBs();
    for (const auto& fb : runtimeFBs_)
        fb->RequestFinish();
    for (const auto& fb : runtimeFBs_)
        fb->Finish();
    runtimeFBs_.clear();
    byInstance_.clear();
    ClearQueue();
    created_ = false;
    stopping_.store(false, std::memory_order_release);
}

void TtelvoRT_Environment::DestroyAllRuntimeFBs()
{
    // The daemon routes to the runtime FBs: it goes first (with its last
    // pass, as after Stop).
    if (daemon_) {
        interruptBusyFBs();
        endDaemon();
    }
    for (const auto& fb : runtimeFBs_)
        fb->ExecEvent("DESTROY");
    // An FB still busy with its chart would never take DESTROY.
    interruptBusyFBs();
    for (const auto& fb : runtimeFBs_)
        fb->Finish();
    runtimeFBs_.clear();
    byInstance_.clear();
    created_ = false;
    stopping_.store(false, std::memory_order_release);
}

void TtelvoRT_Environment::Log(const std::string& text)
{
    if (ShowDebugMessages())
        host_.AddLogLine(timeText() + " " + text);
}

void TtelvoRT_Environment::LogAlways(const std::string& text) { host_.AddLogLine(timeText() + " " + text); }

void TtelvoRT_Environment::ScriptFailed(const std::string& text)
{
    LogAlways(text);
    std::lock_guard lock(failuresMutex_);
    failures_.push_back(text);
}

void TtelvoRT_Environment::LogOnce(const std::string& key, const std::string& text)
{
    {
        std::lock_guard lock(failuresMutex_);
        if (std::find(loggedOnce_.begin(), loggedOnce_.end(), key) != loggedOnce_.end())
            return;
        loggedOnce_.push_back(key);
    }
    LogAlways(text);
}

std::vector<std::string> TtelvoRT_Environment::ScriptFailures() const
{
    std::lock_guard lock(failuresMutex_);
    return failures_;
}

void TtelvoRT_Environment::QueueEvent(TFBEvent* event)
{
    if (!event)
        return;
    std::lock_guard lock(queueMutex_);
    event->Pending = true;
    queue_.push_back(event);
}

void TtelvoRT_Environment::ClearQueue()
{
    std::lock_guard lock(queueMutex_);
    for (TFBEvent* e : queue_)
        e->Pending = false;
    queue_.clear();
}

size_t TtelvoRT_Environment::QueuedEvents() const
{
    std::lock_guard lock(queueMutex_);
    return queue_.size();
}

void TtelvoRT_Environment::CreateDaemon()
{
    endDaemon();
    {
        std::lock_guard lock(failuresMutex_);
        failures_.clear();
    }
    routes_.clear();
    stepCounter_.store(0, std::memory_order_release);
    daemon_ = std::make_unique<TtelvoRT_Daemon>(*this);
    if (daemon_->thread_.Start([d = daemon_.get()] { d->body(); }, kDaemonThreadName) != 0) {
        daemon_.reset();
        const size_t started = runtimeFBs_.size();
        abandonRuntimeFBs();
        throw ESimulationRefused(started);
    }
}

TTELVO_RTtype* TtelvoRT_Environment::FindRuntimeFB(const TFB_InstanceRef* instance) const
{
    auto it = byInstance_.find(instance);
    return it == byInstance_.end() ? nullptr : it->second;
}

void TtelvoRT_Environment::RecordSchedule(const std::string& fbName, const std::string& eventName)
{
    std::lock_guard lock(scheduleMutex_);
    host_.ShowScheduleEntry(fbName, eventName, StepCounter());
}

bool TtelvoRT_Environment::RunTransitionScript(const std::string& script)
{
    std::lock_guard lock(scriptMutex_);
    {
        std::lock_guard stop(stopMutex_);
        if (StopRequested())
            throw ESimulationStopped();
        scriptRunning_ = true;
    }
    struct TDone {
        TtelvoRT_Environment& E;
        ~TDone()
        {
            std::lock_guard stop(E.stopMutex_);
            E.scriptRunning_ = false;
        }
    } done{*this};
    try {
        return host_.EvaluateTransitionScript(script);
    } catch (const EScriptError&) {
        if (StopRequested())
            throw ESimulationStopped();
        throw;
    }
}

void TtelvoRT_Environment::RunAlgorithmScript(const std::string& script, const std::vector<TFBDataMember*>& outputs,
                                              const std::vector<TFBInstance_InternalVar*>& variables)
{
    std::lock_guard lock(scriptMutex_);
    {
        std::lock_guard stop(stopMutex_);
        if (StopRequested())
            throw ESimulationStopped();
        scriptRunning_ = true;
    }
    struct TDone {
        TtelvoRT_Environment& E;
        ~TDone()
        {
            std::lock_guard stop(E.stopMutex_);
            E.scriptRunning_ = false;
        }
    } done{*this};
    try {
        host_.ExecuteAlgorithmScript(script, outputs, variables);
    } catch (const EScriptError&) {
        if (StopRequested())
            throw ESimulationStopped();
        throw;
    }
}

void TtelvoRT_Environment::fbIdle()
{
    if (busy_.fetch_sub(1, std::memory_order_acq_rel) == 1)
        notifyState();
}

void TtelvoRT_Environment::notifyState()
{
    std::lock_guard lock(stateMutex_);
    stateCv_.notify_all();
}

bool TtelvoRT_Environment::Step()
{
    if (!daemon_ || !AllRuntimeFBsIdle())
        return false;
    std::lock_guard lock(stateMutex_);
    if (!daemon_->waiting_)
        return false;
    daemon_->resume_ = true;
    daemon_->waiting_ = false;
    stateCv_.notify_all();
    return true;
}

bool TtelvoRT_Environment::WaitUntilSettled(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(stateMutex_);
    return stateCv_.wait_for(lock, timeout, [this] {
        return (!daemon_ || daemon_->waiting_ || daemon_->ended_) && AllRuntimeFBsIdle();
    });
}

void TtelvoRT_Environment::interruptBusyFBs()
{
    stopping_.store(true, std::memory_order_release);
    for (const auto& fb : runtimeFBs_)
        fb->wakeForStop();
    // A script in progress is ended; one about to start sees the stop
    // request first. Until every FB has given up its step, keep asking:
    // a script may have begun just after the last request.
    std::unique_lock lock(stateMutex_);
    while (!AllRuntimeFBsIdle()) {
        lock.unlock();
        {
            std::lock_guard stop(stopMutex_);
            if (scriptRunning_)
                host_.TerminateScript();
        }
        lock.lock();
        stateCv_.wait_for(lock, std::chrono::milliseconds(10), [this] { return AllRuntimeFBsIdle(); });
    }
}

void TtelvoRT_Environment::endDaemon()
{
    if (!daemon_)
        return;
    {
        std::lock_guard lock(stateMutex_);
        daemon_->command_ = "STOP";
        daemon_->resume_ = true;
        daemon_->waiting_ = false;
        stateCv_.notify_all();
    }
    daemon_->Join();
    daemon_.reset();
}

void TtelvoRT_Environment::Stop()
{
    ClearQueue();
    interruptBusyFBs();
    // What the interrupted FBs produced goes too.
    ClearQueue();
    endDaemon();
    DestroyAllRuntimeFBs();
}

// ---------------------------------------------------------------------------
// Routing

void TtelvoRT_Environment::deliverIntoComposite(TFB_InstanceRef* composite, const std::string& name,
                                                TRoute& route) const
{
    if (!composite->InnerDiagram)
        return;
    for (const auto& k : composite->InnerDiagram->CompositeConns)
        if (isEventInput(k->InnerEvent) && k->InterfaceEvent && k->InterfaceEvent->Name == name) {
            route.Deliveries.push_back({k->InnerEvent->Owner, k->InnerEvent->Name(), nullptr});
            return;
        }
}

const TtelvoRT_Environment::TRoute& TtelvoRT_Environment::routeOf(TFBEvent* event)
{
    auto [it, added] = routes_.try_emplace(event);
    if (!added)
        return it->second;
    TRoute& route = it->second;
    auto deliver = [&](TFBEvent* port) {
        TFB_InstanceRef* q = port->Owner;
        if (!q)
            return;
        if (q->Composite)
            deliverIntoComposite(q, port->Name(), route);
        else
            route.Deliveries.push_back({q, port->Name(), nullptr});
    };

    if (isEventInput(event)) {
        deliver(event);
        return route;
    }
    bool matched = false;
    if (Diagram)
        for (const auto& line : Diagram->EventLines)
            if (line->Ref && line->Ref->SourcePort == event && line->Ref->DestPort) {
                deliver(line->Ref->DestPort);
                matched = true;
            }
    if (!matched && Diagram) {
        for (const auto& drawn : Diagram->DrawnInstances) {
            TFB_InstanceRef* r = drawn->Ref;
            if (!r || !r->Composite || !r->InnerDiagram)
                continue;
            bool here = false;
            for (const auto& line : r->InnerDiagram->EventLines) {
                const TFB_EventAssocRef* c = line->Ref;
                if (!c)
                    continue;
                if (c->DestPort == event && c->SourcePort) {
                    route.Deliveries.push_back({c->SourcePort->Owner, c->SourcePort->Name(), nullptr});
                    here = true;
                } else if (c->SourcePort == event && c->DestPort) {
                    route.Deliveries.push_back({c->DestPort->Owner, c->DestPort->Name(), nullptr});
                    here = true;
                }
            }
            if (!here)
                for (const auto& k : r->InnerDiagram->CompositeConns)
                    if (k->InnerEvent == event) {
                        if (k->InterfaceEvent)
                            if (TFBEvent* outer = r->FindEventOutput(k->InterfaceEvent->Name)) {
                                route.Deliveries.push_back({nullptr, {}, outer});
                                here = true;
                            }
                        break;
                    }
            if (here) {
                matched = true;
                break;
            }
        }
    }
    route.Unconnected = !matched;
    return route;
}

} // namespace telvo
