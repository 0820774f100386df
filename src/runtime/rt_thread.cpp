#include "runtime/rt_thread.h"

#include <pthread.h>

namespace telvo {

void NameThread(std::thread& thread, const char* name) noexcept
{
    // A name is only a help for whoever looks: failing to set it is no error.
    if (thread.joinable())
        (void)pthread_setname_np(thread.native_handle(), name);
}

} // namespace telvo
