// Helpers shared by the operation workers and the merge steps: running one catalogue command with
// its log line, file-name parts and temporary files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/CommandCatalogue.h"

namespace workers {

// The catalogue command with the tool path put in front of the values.
ToolCommand MakeCommand(CmdTemplate t, std::vector<CmdValue> values);
// Logs `prefix` + the command text, then runs it and waits. False when nothing could be started.
bool RunCommand(const ToolCommand& command, const wchar_t* prefix = L">> CmdLine : ");

// Extension (with its dot) lower-cased, and the folder with its trailing "/" (empty when none).
std::wstring LowerExt(const std::wstring& path);
std::wstring FolderOf(const std::wstring& path);
// The millisecond tick count as decimal text (the tick part of temporary names).
std::wstring TickText();
// Deletes a temporary file when it exists.
void DeleteTemp(const std::wstring& path);
// One line of a concat list: "file " + path + line feed. A path with blanks, quotes, backslashes
// or "#" is put in single quotes (an apostrophe as '\\'') so the concat demuxer reads it whole.
std::string ListLine(const std::wstring& path);

}  // namespace workers
