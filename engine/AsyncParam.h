// The job record handed from a batch thread to one operation worker, the tool numbering, and the
// two process-wide settings of the noise worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class CControlUI;

// The eight tools, numbered by their page in the tool tab layout "tab_outfileext_Audio".
enum class ToolKind : int {
    Cut = 0,
    Format = 1,
    Merge = 2,
    Extract = 3,
    Speed = 4,
    Volume = 5,
    Noise = 6,
    Bgm = 7,
};

// One file of a batch: created by a batch thread, read by exactly one worker and deleted by the
// pool after the worker returns. Fields a page does not fill stay empty or null.
struct _tagAsyncParam {
    std::wstring input;         // source path (merge: one source of the list)
    std::wstring output;        // result path (merge: the piece file)
    std::wstring progressPath;  // the tool's progress file for this job; deleted by the worker
    std::wstring start;         // time code of the first kept instant
    std::wstring length;        // time code of the kept length (format: the duration text)
    std::wstring extra;         // format: args; speed/volume: filter; noise: output format name
    CControlUI* controlA = nullptr;
    CControlUI* controlB = nullptr;
};

// Only one denoising runs at a time, whatever the pool size.
inline std::mutex DenoiseLock;

// A noise input whose 16 kHz copy is longer than this many milliseconds is processed in pieces of
// this length. Adjustable so that tests can exercise the piece path on short media.
inline std::atomic<uint32_t> SegmentLength{900000};

// One source of a merge: the file, and the range chosen on its row (start time code, length as
// a time code).
struct MergeSource {
    std::wstring path;
    std::wstring start;
    std::wstring length;
};
