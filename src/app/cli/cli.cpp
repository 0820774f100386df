#include "cli.h"

namespace telvo::cli {

namespace {
std::vector<TCliEntry>& registry()
{
    static std::vector<TCliEntry> commands;
    return commands;
}
} // namespace

TCliCommand::TCliCommand(const char* words, const char* usage, TCliHandler handler)
{
    registry().push_back({words, usage, handler});
}

const std::vector<TCliEntry>& Commands() { return registry(); }

int UsageError(TCliContext& ctx, const std::string& message)
{
    ctx.Err << "telvo: " << message << "\n";
    return 2;
}

} // namespace telvo::cli
