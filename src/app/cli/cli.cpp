#include "cli.h"

namespace telvo::cli {

namespace {
std::vector<TCliEntry>& registry()
{
    static std::vector<TCliEntry> commands;
    return commands;
}
} // namespace

TCliCommand::TCliCommand(const char* words, const char* usage, TCliHandler handler, const char* help)
{
    registry().push_back({words, usage, handler, help});
}

const std::vector<TCliEntry>& Commands() { return registry(); }

void PrintCommandHelp(std::ostream& out, const TCliEntry& command)
{
    out << "usage: telvo [--home DIR] " << command.Words << (command.Usage.empty() ? "" : " ") << command.Usage
        << "\n";
    if (!command.Help.empty())
        out << command.Help << (command.Help.back() == '\n' ? "" : "\n");
}

int UsageError(TCliContext& ctx, const std::string& message)
{
    ctx.Err << "telvo: " << message << "\n";
    return 2;
}

} // namespace telvo::cli
