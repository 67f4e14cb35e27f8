// CAudioProcess: runs the external tools, builds their command lines, and holds the per-tool
// operation workers and the merge steps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/AsyncParam.h"
#include "engine/CommandCatalogue.h"
#include "engine/ProgressTicker.h"

class CWorkThreadPoolImpl;

class CAudioProcess {
public:
    // ---- Tool runner and command-line catalogue ------------------------------------------------
    // Absolute path of ffmpeg: "<program folder>/Core/ffmpeg" when present, else the one on PATH
    // (CCommon::OnGetToolPath; tests override it with CCommon::SetToolPathOverride).
    static std::wstring OnGetToolPath();
    // Runs one command as a child process (argument vector, no shell, no terminal, input from
    // /dev/null, output discarded) and blocks until it exits. False when the command is empty or
    // the child cannot be started; otherwise true: the exit status is not used, callers judge by
    // the output file. Callers log ">> CmdLine : " + command.text before the run.
    static bool OnRunProcess(const ToolCommand& command);
    // A catalogue command with ffmpeg as its tool: `values` are the template's placeholders after
    // the tool, in order (CCommandCatalogue::Placeholders).
    static ToolCommand OnMakeCommand(CmdTemplate t, std::vector<CmdValue> values);
    // Hands the engine's AAC length measure to the media probe's list-row chain. Call once at
    // start-up (the program and the CLI do).
    static void OnInstallProbeHooks();

    // ---- Operation workers and merge -----------------------------------------------------------
    // Each asynchronous worker takes the job handed over by the pool (an _tagAsyncParam*), turns
    // one input into one output file, updates the row controls of the job, deletes its temporary
    // files and returns 0. A row never shows a missing or empty output as done: cut and extract
    // rows then read "失败", format rows "失败" instead of a size, both in the failure colour. Success is
    // judged by the caller from the output file alone. A worker never writes to its input (an output naming
    // the input is not written) and replaces a progress path that names an existing file by one of its own.
    static int OnAsyncFormatAudio(void* param);
    static int OnAsyncCutAudio(void* param);
    static int OnAsyncExtractAudio(void* param);
    static int OnAsyncMergeAudio(void* param);
    static int OnAsyncSpeedAudio(void* param);
    static int OnAsyncVolumeAudio(void* param);
    static int OnAsyncNoiseAudio(void* param);
    static int OnAsyncComplexAudio(void* param);
    // The format worker's steps run directly on the caller's thread; at the end only the size
    // label is set.
    static int OnSingleFormatAudio(std::wstring input, std::wstring output, std::wstring progressPath,
                                   std::wstring start, std::wstring length, std::wstring args,
                                   CControlUI* sizeLabel);
    // False when nothing exists at path. When something does: true without rename; with rename,
    // path becomes the first free "<folder><name>(<n>)<ext>" and the result is false.
    static bool OnMakeUniqueName(std::wstring& path, bool rename);

    // Joins the pieces named in a concat list and encodes the joined file once more into the
    // final MP3 (stereo, at the joined file's sample and bit rate). Returns 0.
    static int OnMergeAudio(std::wstring output, std::wstring list, std::wstring progressPath);
    // Joins the pieces named in a concat list without re-encoding (long noise-removal jobs).
    static int OnMergeNoiseAudio(std::wstring output, std::wstring list, std::wstring progressPath);
    // The whole merge of a page's rows, in list order: pieces on the pool (a LAME MP3 whose row
    // keeps the whole file is copied instead), the concat list, the join and the final encode into
    // "<outputFolder>合成文件-<stamp>.mp3"; every piece and the list are deleted afterwards. Returns the
    // final output path (which may not exist when the tool failed); `copiedCount` receives the number of
    // sources copied instead of cut. Blocks until every queued piece is done (a CBatchLatch); when
    // the pool stops first, no join is made and the pieces and list are still deleted.
    static std::wstring OnRunMergeBatch(const std::vector<MergeSource>& sources,
                                        const std::wstring& outputFolder, CWorkThreadPoolImpl& pool,
                                        int* copiedCount = nullptr);
    // The start, length and source of a merge row (its user data, "filetime" user data and tag).
    static MergeSource OnReadMergeRow(CControlUI* row);
    // The pieces of a long noise job: (start, length) in milliseconds, each at most `segmentMs`
    // long, the last one taking the remainder.
    static std::vector<std::pair<uint32_t, uint32_t>> OnPlanNoisePieces(uint32_t durationMs,
                                                                        uint32_t segmentMs);
    // A temporary name "<folder><stem><ext>" that this process has not handed out before and that
    // does not exist; "_<n>" is appended to the stem when needed (parallel jobs in the same
    // millisecond).
    static std::wstring OnReserveTempName(const std::wstring& folder, const std::wstring& stem,
                                          const std::wstring& ext);
};
