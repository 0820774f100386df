#pragma once
// The threads of a simulation run carry names of their own, so that a
// debugger, `top -H` and the tests can tell them from every other thread of
// the process (a sanitizer's, the UI's, a socket helper's).

#include <thread>

namespace telvo {

// Every simulation thread's name begins with this.
inline constexpr const char* kSimulationThreadPrefix = "telvo-";
inline constexpr const char* kRuntimeFBThreadName = "telvo-fb";
inline constexpr const char* kDaemonThreadName = "telvo-daemon";

// Names a started thread (at most 15 characters are kept).
void NameThread(std::thread& thread, const char* name) noexcept;

} // namespace telvo
