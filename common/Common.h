// CCommon: stateless helpers for names, paths, folders, time codes and media facts that every
// tool page and worker shares. Paths are wide text with "/" as separator.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/MediaFacts.h"

class CCommon {
public:
    // ---- Which files a tool accepts ------------------------------------------------------------
    // Tool index (page index): 0 cut, 1 format convert, 2 merge, 3 extract, 4 speed, 5 volume,
    // 6 noise removal, 7 background music.
    static const std::vector<std::wstring>& AudioExtensions();      // tools 0-2, 4-7 (".ape": 0, 1)
    static const std::vector<std::wstring>& VideoScanExtensions();  // tool 3
    // The open-file dialog's filter for a tool: display text and pattern list. Empty for an
    // unknown tool index.
    static std::wstring OnGetFilterText(int tool);
    static std::wstring OnGetFilterPatterns(int tool);
    // The dialog's keep rule: folder + name for every name whose lower-cased extension occurs
    // anywhere inside the filter's display text, in the given order.
    static std::vector<std::wstring> OnKeepDialogFiles(int tool, const std::wstring& folder,
                                                       const std::vector<std::wstring>& names);

    // The dialogs themselves are shown by the UI backend, which installs these hooks. Without a
    // hook the dialogs behave as cancelled.
    // Open-file dialog: gets the filter texts; on confirmation fills the folder and the chosen
    // names (relative to the folder) and returns true.
    using OpenFilesHook =
        std::function<bool(void* owner, const std::wstring& filterText, const std::wstring& filterPatterns,
                           std::wstring* folder, std::vector<std::wstring>* names)>;
    // Folder picker: on confirmation fills the chosen folder and returns true.
    using BrowseFolderHook = std::function<bool(void* owner, std::wstring* folder)>;
    static void SetOpenFilesHook(OpenFilesHook hook);
    static void SetBrowseFolderHook(BrowseFolderHook hook);

    // Shows the open-file dialog for a tool; the full paths kept by the filter (may be empty).
    static std::vector<std::wstring> OnOpenMediaFiles(int tool, void* owner);
    // Shows the folder picker; true with the folder written to `folder` when confirmed.
    static bool OnBrowseFolder(void* owner, std::wstring& folder);
    // Files (not folders, no recursion) of a folder that the tool accepts, sorted by name.
    static std::vector<std::wstring> OnScanFolder(const std::wstring& folder, int tool);

    // ---- Paths and names -----------------------------------------------------------------------
    static bool OnIsFolder(const std::wstring& path);
    // The program's folder with a trailing "/".
    static bool OnGetExeFolder(std::wstring& folder);
    // The path up to and including its last "/"; `folder` untouched (and false) when it has none.
    static bool OnGetFolderOfPath(const std::wstring& path, std::wstring& folder);
    // Splits a path into folder (with "/"), file name and extension (from the name's last ".").
    static void OnSplitPath(const std::wstring& path, std::wstring* folder, std::wstring* name,
                            std::wstring* ext);
    // The path itself when nothing exists there, else folder + name + "_" + n + extension for the
    // first free n = 1, 2, ... Empty when no free name is found within a bounded search.
    static std::wstring OnGetFreePath(const std::wstring& path);
    // The file name (no folder) of the first free numbered variant, numbering from `counter`;
    // `counter` is left one past the number used. A number is always added. The replacement
    // extension, when given, replaces the path's own. False (and `name` empty) when the bounded
    // search finds nothing.
    static bool OnGetFreeNumberedName(const std::wstring& path, std::wstring& name, int& counter,
                                      const std::wstring& replacementExt = L"");
    // Local time as "%d-%02d-%02d_%02d_%02d_%02d_%03d".
    static std::wstring OnGetTimestampName();
    // The folder for merge and noise temporary files (created private to the user), with "/".
    static std::wstring OnGetMergeTempPath();
    // 0, 1 or 2 by operating-system generation; always 2 on Linux.
    static int OnGetOsLevel();

    // ---- Time codes (milliseconds, unsigned 32-bit) ----------------------------------------------
    static void OnFormatTimeCode(uint32_t ms, std::wstring& text);
    static std::wstring FormatTimeCode(uint32_t ms);
    static uint32_t OnComposeTimeCode(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t ms);
    static void OnSplitTimeCode(uint32_t ms, uint32_t& hours, uint32_t& minutes, uint32_t& seconds,
                                uint32_t& millis);
    static uint32_t OnParseTimeCode(const std::wstring& text);

    // ---- Text ----------------------------------------------------------------------------------
    // When the prefix occurs in the text, `out` becomes the text from position length(prefix)
    // on and the result is true; otherwise `out` is untouched.
    static bool OnStripPrefix(const std::wstring& text, const std::wstring& prefix, std::wstring& out);
    // Decimal leading digits after optional white space and sign, as the C runtime's atoi reads
    // them; 0 without digits. Saturates far beyond the 32-bit range instead of overflowing.
    static long long OnLeadingInteger(const std::wstring& text);
    static std::string OnToUtf8(const std::wstring& text);

    // Upper bound of the free-name searches.
    static constexpr int kMaxFreeNameTries = 100000;
    // The longest a probe of one file may take (the library's open, or the probe tool); a file
    // that cannot be probed within it counts as unprobeable. Only regular files are probed.
    static constexpr unsigned kProbeTimeoutMs = 4000;

    // ---- Media facts (MediaProbe.cpp) ------------------------------------------------------------
    // The external tools: "<program folder>/Core/<name>" when that is an executable file, else the
    // first <name> on PATH (absolute); when neither exists, the "Core" path, so a run of it fails.
    // An override (tests, a "missing tool" case) replaces the search for that name; an empty
    // override removes it.
    static std::wstring OnGetToolPath(const std::wstring& name);
    // The same search from a given program folder (with its trailing "/").
    static std::wstring OnLocateTool(const std::wstring& programFolder, const std::wstring& name);
    static void SetToolPathOverride(const std::wstring& name, const std::wstring& path);

    // MediaInfo queries: each opens the file, asks and closes; empty text or 0 when the library is
    // not available or cannot open the file.
    // fileName, durationMs and bitRate of `facts` and the size MediaInfo reports (fileSize and
    // the other fields are left alone).
    static void OnGetMediaFileInfo(const std::wstring& path, MediaFacts& facts, uint64_t* rawSize = nullptr);
    static std::wstring OnGetAudioFormat(const std::wstring& path);
    static std::wstring OnGetEncodedLibrary(const std::wstring& path);
    // The first audio stream's sampling rate; the overall bit rate goes to `bitRate`.
    static int32_t OnGetAudioRates(const std::wstring& path, int32_t& bitRate);
    static bool OnHasCover(const std::wstring& path);

    // ffprobe's report on the file, read through a pipe: duration and bit rate are written only
    // where the report has them.
    static void OnProbeWithTool(const std::wstring& path, uint32_t& durationMs, int32_t& bitRate);
    // The parsing half of OnProbeWithTool, on the report's text.
    static void OnParseProbeText(const std::string& report, uint32_t& durationMs, int32_t& bitRate);
    // Length in ms (whole seconds) of a raw ADTS AAC stream measured from its frame headers; the
    // bit rate (bit/s) goes to `bitRate`. 0 (and `bitRate` untouched) when it is not ADTS.
    static uint32_t OnParseAdtsLength(const std::wstring& path, int32_t& bitRate);
    // Size of a readable regular file; 0 on any failure.
    static uint64_t OnGetFileSize(const std::wstring& path);
    // "%0.2f %s" with KB, MB or GB; `text` untouched for size 0.
    static void OnFormatFileSize(uint64_t size, std::wstring& text);

    // The probe chains: fileName, fileSize, durationMs and bitRate.
    static void ProbeForListRow(const std::wstring& path, MediaFacts& facts);
    static void ProbeForBackgroundMusic(const std::wstring& path, MediaFacts& facts);

    // The AAC decoder's length measure (seconds; kbit/s to *kbps when known). The engine installs
    // it; without it the list-row chain skips its AAC step.
    using AacLengthHook = double (*)(const wchar_t* path, int* kbps);
    static void SetAacLengthHook(AacLengthHook hook);

    // The MediaInfo library's file name (default "libmediainfo.so.0", or $TW_MEDIAINFO_LIB when
    // set). Setting a name that cannot be loaded (for example "libmissing.so") makes every query
    // answer as if MediaInfo were absent; the current binding is released.
    static void SetMediaInfoLibrary(const std::wstring& name);
    // Successful bindings so far, and files handed to MediaInfo so far.
    static int OnGetMediaInfoBindCount();
    static int OnGetMediaInfoOpenCount();
    // Probe sessions still inside the library: those given up on keep running on their own
    // thread until the library returns. A program that ends while one runs must not tear down
    // the library's static state under it (see platform::ExitNow).
    static int OnGetProbesStillRunning();
    // Whether a binding is in place now (binding on demand).
    static bool OnBindMediaInfo();
};
