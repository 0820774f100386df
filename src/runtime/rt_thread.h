#pragma once
// The threads of a simulation run: one per runtime FB and the daemon.
//
// A diagram may hold thousands of FBs, so each thread gets a small stack
// (its scripts' nesting is bounded; nothing on it grows without limit),
// and a thread the system refuses is reported to the caller instead of
// being thrown from deep inside a constructor.
//
// The threads carry names of their own, so that a debugger, `top -H` and
// the tests can tell them from every other thread of the process (a
// sanitizer's, the UI's, a socket helper's).

#include <cstddef>
#include <functional>
#include <pthread.h>

namespace telvo {

// Every simulation thread's name begins with this.
inline constexpr const char* kSimulationThreadPrefix = "telvo-";
inline constexpr const char* kRuntimeFBThreadName = "telvo-fb";
inline constexpr const char* kDaemonThreadName = "telvo-daemon";

// The stack of every simulation thread. The deepest script the engine
// accepts (an expression nested to the compiler's limit, evaluated inside
// every nested run the runner allows) takes a little over 200 KiB in an
// optimised build; twice that leaves room. Unoptimised and sanitized
// builds make frames several times larger: they keep the usual 8 MiB.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(__OPTIMIZE__)
inline constexpr size_t kSimulationThreadStack = size_t(8) << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr size_t kSimulationThreadStack = size_t(8) << 20;
#else
inline constexpr size_t kSimulationThreadStack = size_t(512) << 10;
#endif
#else
inline constexpr size_t kSimulationThreadStack = size_t(512) << 10;
#endif

class TSimulationThread {
public:
    TSimulationThread() = default;
    // A thread still running is waited for.
    ~TSimulationThread() { Join(); }
    TSimulationThread(const TSimulationThread&) = delete;
    TSimulationThread& operator=(const TSimulationThread&) = delete;

    // Runs body on a new thread of the given name; 0 when it runs, else the
    // error the system gave (EAGAIN when it has no thread left to give).
    int Start(std::function<void()> body, const char* name);
    bool Joinable() const { return started_; }
    void Join();

private:
    static void* run(void* self);

    pthread_t handle_{};
    bool started_ = false;
    std::function<void()> body_;
};

} // namespace telvo
