#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/Command.h"
#include "common/Common.h"
#include "platform/Platform.h"

#ifndef TW_VERSION
#define TW_VERSION "0.0.0"
#endif

namespace cli {

static std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

bool RegisterCommand(const Command& command) {
    Registry().push_back(command);
    return true;
}

const std::vector<Command>& Commands() {
    auto& commands = Registry();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return std::strcmp(a.name, b.name) < 0; });
    return commands;
}

int UsageError(const std::string& commandName, const std::string& message) {
    std::fprintf(stderr, "tonewright-cli: %s\n", message.c_str());
    for (const auto& c : Registry()) {
        if (commandName == c.name) std::fprintf(stderr, "usage: tonewright-cli %s\n", c.usage);
    }
    return 2;
}

bool CheckInputAndNewOutput(const std::string& in, const std::string& out) {
    if (!CheckInput(in)) return false;
    const std::string problem = NewOutputProblem(out);
    if (!problem.empty()) {
        std::fprintf(stderr, "tonewright-cli: %s: %s\n", problem.c_str(), out.c_str());
        return false;
    }
    return true;
}

}  // namespace cli

static void PrintHelp(FILE* out) {
    std::fprintf(out,
                 "Tonewright %s - batch audio tools from the terminal\n\n"
                 "usage: tonewright-cli COMMAND [ARGS...]\n"
                 "       tonewright-cli --help | --version\n\ncommands:\n",
                 TW_VERSION);
    for (const auto& c : cli::Commands()) std::fprintf(out, "  %-34s %s\n", c.usage, c.summary);
}

int main(int argc, char** argv) {
    platform::InitLocale();
    if (argc < 2) {
        PrintHelp(stderr);
        return 2;
    }
    std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        PrintHelp(stdout);
        return 0;
    }
    if (first == "--version" || first == "-V") {
        std::printf("tonewright-cli %s\n", TW_VERSION);
        return 0;
    }
    for (const auto& c : cli::Commands()) {
        if (first == c.name) {
            const int code = c.run(std::vector<std::string>(argv + 2, argv + argc));
            // A probe given up on may still be inside the media library; ending normally would
            // destroy the library's state under it.
            if (CCommon::OnGetProbesStillRunning() > 0) platform::ExitNow(code);
            return code;
        }
    }
    std::fprintf(stderr, "tonewright-cli: unknown command '%s' (try --help)\n", first.c_str());
    return 2;
}
