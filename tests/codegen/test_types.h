#pragma once
// FB types built in memory for the generator tests, and compiling them with
// the real fpc once per test process.

#include "model/fb_type.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace telvo::test {

// CG_ALL: Boolean, Integer, Real and String inputs, outputs and internal
// variables; an ECC with conditions that are an event, an expression, "1"
// and empty; algorithms that use every kind of variable.
//   INIT: START -> INIT (init, INITO) -> START ("1")
//   REQ:  START -> CALC (calc, CNF) -> START ("") when ENABLE is set
std::unique_ptr<TFB_Type> MakeAllKindsType();
// CG_EVENTS: no data at all; EI emits EO1 then EO2 and returns to START.
std::unique_ptr<TFB_Type> MakeEventsOnlyType();
// CG_NOSTATE: an interface without any ECC state.
std::unique_ptr<TFB_Type> MakeStatelessType();

// The shared libraries built from the types above, compiled once per process
// into one temporary folder (all of them in parallel on first use). A
// failing compile fails the calling test with the compiler's output.
std::filesystem::path CompiledTestLibrary(const std::string& typeName);

// fpc's own output with every line prefixed, for failure messages.
std::string DescribeCompile(const std::string& what, int exitCode, const std::string& output);

} // namespace telvo::test
