// Every subcommand of `telvo` explains itself. The commands are taken from
// the program's own list, so a command added later cannot forget its help.

#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace telvo {
namespace {

using test::RunProcess;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// The command words of every line "  telvo [--home DIR] WORDS USAGE" of the
// program's usage: the leading lower-case words.
std::vector<std::string> registeredCommands()
{
    auto r = RunProcess(TELVO_CLI_PATH, {"--help"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    std::vector<std::string> commands;
    std::istringstream in(r.Out);
    const std::string prefix = "  telvo [--home DIR] ";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        std::istringstream words(line.substr(prefix.size()));
        std::string command;
        for (std::string w; words >> w && std::regex_match(w, std::regex("[a-z]+"));)
            command += (command.empty() ? "" : " ") + w;
        commands.push_back(command);
    }
    return commands;
}

std::vector<std::string> split(const std::string& words)
{
    std::vector<std::string> out;
    std::istringstream in(words);
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

TEST(CliHelp, EveryCommandExplainsItselfBothWays)
{
    const auto commands = registeredCommands();
    ASSERT_GE(commands.size(), 8u);
    for (const auto& command : commands) {
        SCOPED_TRACE(command);
        auto args = split(command);
        args.push_back("--help");
        auto viaOption = RunProcess(TELVO_CLI_PATH, args);
        EXPECT_EQ(viaOption.ExitCode, 0) << viaOption.Err;
        EXPECT_THAT(viaOption.Out, StartsWith("usage: telvo [--home DIR] " + command));
        // The synopsis and at least one line saying what the command does.
        EXPECT_GE(std::count(viaOption.Out.begin(), viaOption.Out.end(), '\n'), 2) << viaOption.Out;

        args.pop_back();
        args.insert(args.begin(), "help");
        auto viaHelp = RunProcess(TELVO_CLI_PATH, args);
        EXPECT_EQ(viaHelp.ExitCode, 0) << viaHelp.Err;
        EXPECT_EQ(viaHelp.Out, viaOption.Out);
    }
}

TEST(CliHelp, AnUnknownOptionNamesItselfAndShowsTheSynopsis)
{
    for (const auto& command : registeredCommands()) {
        SCOPED_TRACE(command);
        auto args = split(command);
        args.push_back("--no-such-option");
        auto r = RunProcess(TELVO_CLI_PATH, args);
        EXPECT_EQ(r.ExitCode, 2);
        EXPECT_THAT(r.Err, HasSubstr("--no-such-option"));
        EXPECT_THAT(r.Err, HasSubstr("usage: telvo [--home DIR] " + command));
    }
}

TEST(CliHelp, HelpWithoutACommandListsThemAndAnUnknownOneIsNamed)
{
    auto list = RunProcess(TELVO_CLI_PATH, {"help"});
    EXPECT_EQ(list.ExitCode, 0);
    EXPECT_THAT(list.Out, HasSubstr("telvo [--home DIR] simulate"));

    auto unknown = RunProcess(TELVO_CLI_PATH, {"help", "frobnicate"});
    EXPECT_EQ(unknown.ExitCode, 2);
    EXPECT_THAT(unknown.Err, HasSubstr("unknown command 'frobnicate'"));
}

TEST(CliHelp, VersionIsPrintedAndTheHelpTellsHowToAskForIt)
{
    auto version = RunProcess(TELVO_CLI_PATH, {"--version"});
    EXPECT_EQ(version.ExitCode, 0) << version.Err;
    EXPECT_TRUE(std::regex_match(version.Out, std::regex(R"(telvo \(TELVO ZOZE\) [0-9]+\.[0-9]+\.[0-9]+\n)")))
        << version.Out;
    EXPECT_THAT(RunProcess(TELVO_CLI_PATH, {"--help"}).Out, HasSubstr("--version"));
}

} // namespace
} // namespace telvo
