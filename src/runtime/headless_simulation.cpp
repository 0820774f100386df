#include "runtime/headless_simulation.h"

namespace telvo {

THeadlessSimulation::THeadlessSimulation(TFB_Diagram& diagram, std::chrono::milliseconds pause) : diagram_(diagram)
{
    Environment.PauseTime = pause;
}

THeadlessSimulation::~THeadlessSimulation()
{
    if (running_)
        Stop();
}

void THeadlessSimulation::Start(const std::vector<TFBEvent*>& initialEvents)
{
    if (running_)
        Stop();
    Environment.Diagram = &diagram_;
    if (!Environment.Created())
        Environment.CreateAllRuntimeFBs();
    for (TFBEvent* e : initialEvents)
        Environment.QueueEvent(e);
    Host.ResetSchedule();
    Environment.CreateDaemon();
    running_ = true;
}

bool THeadlessSimulation::Step(std::chrono::milliseconds timeout)
{
    if (!running_ || !Environment.WaitUntilSettled(timeout) || !Environment.Step())
        return false;
    return Environment.WaitUntilSettled(timeout);
}

void THeadlessSimulation::Stop()
{
    Environment.Stop();
    running_ = false;
}

} // namespace telvo
