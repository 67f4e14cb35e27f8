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

// Why a path given as an input file cannot be read as one: empty when it is a readable regular
// file, otherwise a message naming the real cause ("input file not found", "is a folder", "is a
// pipe (FIFO)", "is a device", "symbolic link loop", "path too long", "name is not valid
// UTF-8", ...). Nothing is opened for longer than the check, and a FIFO is never waited on.
std::string InputProblem(const std::string& path);
// Prints "tonewright-cli: <problem>: <path>" and returns false when InputProblem finds one.
bool CheckInput(const std::string& path);
// Why a path cannot take a new output file: empty when nothing at all is there (not even a
// dangling symbolic link) and the name is valid UTF-8, otherwise the cause.
std::string NewOutputProblem(const std::string& path);

// For commands that read IN and write a new OUT: true when IN is a readable regular file and
// nothing exists at OUT yet (outputs are never overwritten, symbolic links never written
// through); otherwise prints why and returns false.
bool CheckInputAndNewOutput(const std::string& in, const std::string& out);

// Exits with status 1 and a message naming the missing piece when a tool the command needs
// ("ffmpeg", "ffprobe") cannot be found in the program's "Core" folder or on PATH, or when
// `needMediaInfo` is set and the MediaInfo library cannot be loaded. True when all are there.
bool CheckDependencies(const std::vector<std::string>& tools, bool needMediaInfo);

// `text` as a quoted JSON string in UTF-8: quotes, backslashes and control characters escaped.
std::string JsonString(const std::wstring& text);

}  // namespace cli

#define TW_CLI_CONCAT2(a, b) a##b
#define TW_CLI_CONCAT(a, b) TW_CLI_CONCAT2(a, b)
#define TW_CLI_COMMAND(name, usage, summary, fn)                    \
    static const bool TW_CLI_CONCAT(tw_cli_registered_, __LINE__) = \
        ::cli::RegisterCommand({name, usage, summary, fn})
