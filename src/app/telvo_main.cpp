// telvo: the headless front end over the workbench core.

#include "cli/cli.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <iostream>
#include <sstream>

using namespace telvo;

namespace {

void printUsage(std::ostream& out)
{
    out << "usage: telvo [--home DIR] COMMAND [ARGS...]\n";
    auto commands = cli::Commands();
    std::sort(commands.begin(), commands.end(), [](const auto& a, const auto& b) { return a.Words < b.Words; });
    for (const auto& c : commands)
        out << "  telvo [--home DIR] " << c.Words << (c.Usage.empty() ? "" : " ") << c.Usage << "\n";
    out << "  telvo help COMMAND             (the same as: telvo COMMAND --help)\n"
           "\n"
           "Options:\n"
           "  --home DIR   the program folder: library/, images/, KALO/ and settings.ini. Default:\n"
           "               TELVO_HOME, else the executable's folder when it holds library/, else\n"
           "               ../share/telvo-zoze beside it. An installed or read-only program folder\n"
           "               is only read: settings go to $XDG_CONFIG_HOME/telvo-zoze, the user's\n"
           "               types and KALO/ to $XDG_DATA_HOME/telvo-zoze.\n"
           "  -h, --help   print this list and exit\n"
           "  --version    print the version and exit\n";
}

} // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string home;
    if (args.size() >= 2 && args[0] == "--home") {
        home = args[1];
        args.erase(args.begin(), args.begin() + 2);
    } else if (!args.empty() && args[0].rfind("--home=", 0) == 0) {
        home = args[0].substr(7);
        args.erase(args.begin());
    }
    if (!args.empty() && args[0] == "--version") {
        std::cout << "telvo (TELVO ZOZE) " << TELVO_VERSION << "\n";
        return 0;
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        printUsage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? 2 : 0;
    }

    // `telvo help COMMAND` is `telvo COMMAND --help`.
    const bool helpCommand = args[0] == "help";
    if (helpCommand) {
        args.erase(args.begin());
        if (args.empty()) {
            printUsage(std::cout);
            return 0;
        }
    }

    // Longest match of command words first ("library index" before "library").
    const cli::TCliEntry* found = nullptr;
    size_t wordsUsed = 0;
    for (const auto& c : cli::Commands()) {
        std::istringstream ws(c.Words);
        std::vector<std::string> words;
        for (std::string w; ws >> w;)
            words.push_back(w);
        if (words.size() <= args.size() && std::equal(words.begin(), words.end(), args.begin()) &&
            words.size() > wordsUsed) {
            found = &c;
            wordsUsed = words.size();
        }
    }
    if (!found) {
        std::cerr << "telvo: unknown command '" << args[0] << "'\n";
        printUsage(std::cerr);
        return 2;
    }
    // Options a command does not list in its synopsis or help are refused here,
    // the same way for every command.
    if (!helpCommand) {
        const std::string described = found->Usage + "\n" + found->Help;
        for (auto a = args.begin() + wordsUsed; a != args.end(); ++a) {
            if (a->rfind("--", 0) != 0 || *a == "--" || *a == "--help")
                continue;
            const std::string option = a->substr(0, a->find('='));
            bool listed = false;
            for (size_t at = described.find(option); at != std::string::npos && !listed;
                 at = described.find(option, at + 1)) {
                const size_t end = at + option.size();
                listed = (at == 0 || !std::isalnum(static_cast<unsigned char>(described[at - 1]))) &&
                         (end == described.size() ||
                          !(std::isalnum(static_cast<unsigned char>(described[end])) || described[end] == '-'));
            }
            if (!listed) {
                std::cerr << "telvo: " << found->Words << ": unknown option " << option << "\n"
                          << "usage: telvo [--home DIR] " << found->Words << (found->Usage.empty() ? "" : " ")
                          << found->Usage << "\n";
                return 2;
            }
        }
    }
    if (helpCommand || std::any_of(args.begin() + wordsUsed, args.end(),
                                   [](const std::string& a) { return a == "--help" || a == "-h"; })) {
        cli::PrintCommandHelp(std::cout, *found);
        return 0;
    }

    try {
        TRecordingUserInterface ui;
        ui.EchoToStderr = true;
        TWorkbench workbench(ResolveProgramFolder(home), ui);
        cli::TCliContext ctx{workbench, ui, std::vector<std::string>(args.begin() + wordsUsed, args.end()),
                             std::cout, std::cerr, found};
        int rc = found->Handler(ctx);
        std::cout.flush();
        return rc;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "telvo: " << e.what() << "\n";
        return 1;
    }
}
