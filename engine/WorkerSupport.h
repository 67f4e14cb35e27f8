// Helpers shared by the operation workers and the merge steps: the frame every worker runs in
// (entry and exit records, the job's safe copy, temporary files removed on every path), running
// one catalogue command with its log line, file-name parts and temporary names.
#pragma once

#include <cstdint>
#include <source_location>
#include <string>
#include <vector>

#include "engine/AsyncParam.h"
#include "engine/CommandCatalogue.h"

namespace workers {

// The catalogue command with the tool path put in front of the values.
ToolCommand MakeCommand(CmdTemplate t, std::vector<CmdValue> values);

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
// Writes a whole concat list (one ListLine per path). The file is opened close-on-exec, so no
// tool started while it is being written inherits it. False when it could not be written.
bool WriteList(const std::wstring& list, const std::vector<std::wstring>& paths);

// A LAME MP3 is copied as a merge piece only when its row keeps the whole file: the row starts at
// 0 and its length reaches the probed duration within kCopyToleranceMs (probes of the same MP3
// may differ by a frame or two of encoder padding).
inline constexpr uint32_t kCopyToleranceMs = 50;
bool CoversWholeFile(const MergeSource& source);
// MergeToMp3's rates for a joined file: the probed ones, or 44100 Hz and 128 kbit/s for a joined
// file that exists but could not be measured. Both stay 0 when the file does not exist.
void MergeEncodeRates(const std::wstring& joined, int* sampleRate, int* kbps);

// The frame of one worker (or merge step). Constructed first thing in the operation, it records
// where that operation is, so every record it writes - entry, command lines, messages, exit -
// is located in the operation's own source file with the operation's full signature, even when
// a helper writes it. When the scope ends, on every path, it deletes the temporary files handed
// to it and the job's progress file, releases that progress file's name and writes the exit
// record.
class CWorkerScope {
public:
    // `shortName` null: no ">> IN"/">> OUT" records (operations that do not log entry and exit).
    explicit CWorkerScope(const wchar_t* shortName,
                          std::source_location where = std::source_location::current());
    ~CWorkerScope();
    CWorkerScope(const CWorkerScope&) = delete;
    CWorkerScope& operator=(const CWorkerScope&) = delete;

    // The job made safe before any tool runs: an output naming the input is cleared (never
    // written), and the progress file is one this job alone owns - a path that is empty, exists,
    // names the output or is already held by a running job is replaced by a reserved temporary
    // name. The progress file is deleted when the scope ends. A null job gives an empty one.
    _tagAsyncParam TakeJob(const _tagAsyncParam* job,
                           std::source_location at = std::source_location::current());

    // One INFO record: the operation's file and signature, the caller's line.
    void Log(const std::wstring& text, std::source_location at = std::source_location::current()) const;
    // Logs `prefix` + the command text, then runs it and waits. False when nothing could be started.
    bool Run(const ToolCommand& command, const wchar_t* prefix = L">> CmdLine : ",
             std::source_location at = std::source_location::current()) const;

    // Registers a temporary file that is deleted when the scope ends; returns the path.
    const std::wstring& Temp(const std::wstring& path);
    // A reserved temporary name (CAudioProcess::OnReserveTempName), registered as Temp.
    std::wstring ReserveTemp(const std::wstring& folder, const std::wstring& stem, const std::wstring& ext);

private:
    const wchar_t* name_;
    std::source_location where_;
    std::vector<std::wstring> temps_;
    std::wstring claimed_;
};

// True while a running job holds `path` as its progress file (exposed for tests).
bool ProgressPathHeld(const std::wstring& path);

}  // namespace workers
