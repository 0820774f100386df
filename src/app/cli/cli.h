#pragma once
// The subcommands of `telvo`. Each cli/*.cpp registers its commands with a
// static TCliCommand; main() finds them by their words ("library index").

#include "model/user_interface.h"
#include "workbench/workbench.h"

#include <ostream>
#include <string>
#include <vector>

namespace telvo::cli {

struct TCliEntry;

struct TCliContext {
    TWorkbench& Workbench;
    TRecordingUserInterface& UI;
    std::vector<std::string> Args; // the arguments after the command words
    std::ostream& Out;
    std::ostream& Err;
    const TCliEntry* Command = nullptr; // the command being run, for its synopsis
};

using TCliHandler = int (*)(TCliContext&);

struct TCliCommand {
    // words: "library index", "simulate"; usage: the argument synopsis;
    // help: what the command does and its options, one per line, printed by
    // `telvo COMMAND --help` and `telvo help COMMAND` below the synopsis.
    TCliCommand(const char* words, const char* usage, TCliHandler handler, const char* help = "");
};

struct TCliEntry {
    std::string Words;
    std::string Usage;
    TCliHandler Handler;
    std::string Help;
};
const std::vector<TCliEntry>& Commands();

// "usage: telvo [--home DIR] WORDS USAGE" and the help text, each line ended.
void PrintCommandHelp(std::ostream& out, const TCliEntry& command);

// Prints "telvo: " + message to Err and returns 2 (wrong use of a command).
// Unknown options never reach a handler: main() refuses them with the synopsis.
int UsageError(TCliContext& ctx, const std::string& message);

} // namespace telvo::cli
