// Sub-commands of tonewright-cli. Each command lives in its own source file and registers itself:
//   static int RunProbe(const std::vector<std::string>& args);
//   TW_CLI_COMMAND("probe", "probe FILE...", "print the facts of media files as JSON lines", RunProbe);
// `args` are the words after the command name. Return the process exit status.
#pragma once

#include <string>
#include <vector>

namespace cli {

using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    CommandFn run;
};

bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

// Prints "tonewright-cli: <message>" and the command's usage to standard error; returns 2.
int UsageError(const std::string& commandName, const std::string& message);

// For commands that read IN and write a new OUT: true when IN is an existing file and nothing
// exists at OUT yet (outputs are never overwritten); otherwise prints why and returns false.
bool CheckInputAndNewOutput(const std::string& in, const std::string& out);

}  // namespace cli

#define TW_CLI_CONCAT2(a, b) a##b
#define TW_CLI_CONCAT(a, b) TW_CLI_CONCAT2(a, b)
#define TW_CLI_COMMAND(name, usage, summary, fn)                    \
    static const bool TW_CLI_CONCAT(tw_cli_registered_, __LINE__) = \
        ::cli::RegisterCommand({name, usage, summary, fn})
