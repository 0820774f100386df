#pragma once
// The subcommands of `telvo`. Each cli/*.cpp registers its commands with a
// static TCliCommand; main() finds them by their words ("library index").

#include "model/user_interface.h"
#include "workbench/workbench.h"

#include <ostream>
#include <string>
#include <vector>

namespace telvo::cli {

struct TCliContext {
    TWorkbench& Workbench;
    TRecordingUserInterface& UI;
    std::vector<std::string> Args; // the arguments after the command words
    std::ostream& Out;
    std::ostream& Err;
};

using TCliHandler = int (*)(TCliContext&);

struct TCliCommand {
    // words: "library index", "simulate"; usage: the argument synopsis.
    TCliCommand(const char* words, const char* usage, TCliHandler handler);
};

struct TCliEntry {
    std::string Words;
    std::string Usage;
    TCliHandler Handler;
};
const std::vector<TCliEntry>& Commands();

// Prints "telvo: " + message to Err and returns 2 (wrong use of a command).
int UsageError(TCliContext& ctx, const std::string& message);

} // namespace telvo::cli
