#include "runtime/rt_thread.h"

#include <cerrno>
#include <limits.h>

namespace telvo {

int TSimulationThread::Start(std::function<void()> body, const char* name)
{
    Join();
    body_ = std::move(body);
    pthread_attr_t attr;
    if (int rc = pthread_attr_init(&attr))
        return rc;
    size_t stack = kSimulationThreadStack;
    if (stack < static_cast<size_t>(PTHREAD_STACK_MIN))
        stack = static_cast<size_t>(PTHREAD_STACK_MIN);
    int rc = pthread_attr_setstacksize(&attr, stack);
    if (rc == 0)
        rc = pthread_create(&handle_, &attr, &TSimulationThread::run, this);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        body_ = nullptr;
        return rc;
    }
    started_ = true;
    // A name is only a help for whoever looks: failing to set it is no error.
    (void)pthread_setname_np(handle_, name);
    return 0;
}

void TSimulationThread::Join()
{
    if (!started_)
        return;
    pthread_join(handle_, nullptr);
    started_ = false;
    body_ = nullptr;
}

void* TSimulationThread::run(void* self)
{
    static_cast<TSimulationThread*>(self)->body_();
    return nullptr;
}

} // namespace telvo
