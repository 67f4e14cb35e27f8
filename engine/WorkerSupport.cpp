#include "engine/WorkerSupport.h"

#include <filesystem>
#include <mutex>
#include <set>

#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "logging/Log.h"
#include "platform/Platform.h"

namespace workers {
namespace {

// Progress files held by running jobs. A batch may hand two jobs of the same millisecond the
// same progress path before either tool has created it; the second job then takes its own.
std::mutex g_heldMutex;
std::set<std::wstring> g_held;

bool Hold(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(g_heldMutex);
    return g_held.insert(path).second;
}

void Release(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(g_heldMutex);
    g_held.erase(path);
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    std::error_code ec;
    const auto ca = std::filesystem::weakly_canonical(std::filesystem::path(platform::ToUtf8(a)), ec);
    if (ec) return a == b;
    const auto cb = std::filesystem::weakly_canonical(std::filesystem::path(platform::ToUtf8(b)), ec);
    if (ec) return a == b;
    return ca == cb;
}

}  // namespace

ToolCommand MakeCommand(CmdTemplate t, std::vector<CmdValue> values) {
    return CAudioProcess::OnMakeCommand(t, std::move(values));
}

std::wstring LowerExt(const std::wstring& path) {
    std::wstring ext;
    CCommon::OnSplitPath(path, nullptr, nullptr, &ext);
    return platform::ToLower(ext);
}

std::wstring FolderOf(const std::wstring& path) {
    std::wstring folder;
    CCommon::OnGetFolderOfPath(path, folder);
    return folder;
}

std::wstring TickText() {
    return std::to_wstring(platform::TickCount32());
}

void DeleteTemp(const std::wstring& path) {
    if (!path.empty() && platform::IsRegularFile(path)) {
        platform::DeleteFilePath(path);
    }
}

std::string ListLine(const std::wstring& path) {
    const std::string utf8 = platform::ToUtf8(path);
    if (utf8.find_first_of(" \t'\"\\#") == std::string::npos) {
        return "file " + utf8 + "\n";
    }
    std::string quoted = "'";
    for (char c : utf8) {
        quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    }
    return "file " + quoted + "'\n";
}

bool WriteList(const std::wstring& list, const std::vector<std::wstring>& paths) {
    std::string text;
    for (const auto& path : paths) {
        text += ListLine(path);
    }
    return platform::WriteFileBytes(list, text);
}

bool CoversWholeFile(const MergeSource& source) {
    if (!source.start.empty() && CCommon::OnParseTimeCode(source.start) != 0) {
        return false;
    }
    MediaFacts facts;
    CCommon::OnGetMediaFileInfo(source.path, facts);
    return facts.durationMs != 0 &&
           static_cast<uint64_t>(CCommon::OnParseTimeCode(source.length)) + kCopyToleranceMs >=
               facts.durationMs;
}

void MergeEncodeRates(const std::wstring& joined, int* sampleRate, int* kbps) {
    int sr = 0;
    int kb = 0;
    CCommandCatalogue::MergeRates(joined, &sr, &kb);
    if (platform::IsRegularFile(joined)) {
        // A joined file the probe could not measure still gets encoded, at common rates.
        if (sr <= 0) sr = 44100;
        if (kb <= 0) kb = 128;
    }
    if (sampleRate) *sampleRate = sr;
    if (kbps) *kbps = kb;
}

bool ProgressPathHeld(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(g_heldMutex);
    return g_held.count(path) != 0;
}

// ---- CWorkerScope ------------------------------------------------------------------------------

CWorkerScope::CWorkerScope(const wchar_t* shortName, std::source_location where)
    : name_(shortName), where_(where) {
    if (name_ != nullptr) {
        Log(std::wstring(L">> IN ") + name_ + L"...\n", where_);
    }
}

CWorkerScope::~CWorkerScope() {
    try {
        for (const auto& path : temps_) {
            DeleteTemp(path);
        }
        if (!claimed_.empty()) {
            Release(claimed_);
        }
        if (name_ != nullptr) {
            Log(std::wstring(L">> OUT ") + name_ + L"...\n", where_);
        }
    } catch (...) {
        // Clean-up never throws out of a worker.
    }
}

void CWorkerScope::Log(const std::wstring& text, std::source_location at) const {
    if (logging::InfoEnabled()) {
        logging::WriteInfo(at.file_name(), static_cast<int>(at.line()), where_.function_name(), text);
    }
}

bool CWorkerScope::Run(const ToolCommand& command, const wchar_t* prefix, std::source_location at) const {
    Log(std::wstring(prefix != nullptr ? prefix : L"") + command.text + L"\n", at);
    return CAudioProcess::OnRunProcess(command);
}

const std::wstring& CWorkerScope::Temp(const std::wstring& path) {
    temps_.push_back(path);
    return temps_.back();
}

std::wstring CWorkerScope::ReserveTemp(const std::wstring& folder, const std::wstring& stem,
                                       const std::wstring& ext) {
    return Temp(CAudioProcess::OnReserveTempName(folder, stem, ext));
}

_tagAsyncParam CWorkerScope::TakeJob(const _tagAsyncParam* source, std::source_location at) {
    _tagAsyncParam job = source != nullptr ? *source : _tagAsyncParam{};
    if (SameFile(job.output, job.input)) {
        Log(L"output is the input, not written : " + job.output + L"\n", at);
        job.output.clear();
    }
    const bool usable = !job.progressPath.empty() && !platform::PathExists(job.progressPath) &&
                        !SameFile(job.progressPath, job.output) && Hold(job.progressPath);
    if (!usable) {
        std::wstring folder = FolderOf(job.progressPath);
        if (folder.empty() || !platform::IsFolder(folder)) {
            folder = platform::TempFolder();
        }
        do {
            job.progressPath = CAudioProcess::OnReserveTempName(folder, TickText(), L"");
        } while (!Hold(job.progressPath));
    }
    claimed_ = job.progressPath;
    Temp(job.progressPath);
    return job;
}

}  // namespace workers

std::wstring CAudioProcess::OnReserveTempName(const std::wstring& folder, const std::wstring& stem,
                                              const std::wstring& ext) {
    // Names handed out stay reserved for the life of the process: a file that a job has not
    // created yet must not be given to a second job of the same millisecond.
    static std::mutex mutex;
    static std::set<std::wstring> issued;
    std::lock_guard<std::mutex> lock(mutex);
    std::wstring candidate = folder + stem + ext;
    for (int n = 1;
         (issued.count(candidate) != 0 || platform::PathExists(candidate)) && n <= CCommon::kMaxFreeNameTries;
         ++n) {
        candidate = folder + stem + L"_" + std::to_wstring(n) + ext;
    }
    issued.insert(candidate);
    return candidate;
}

std::vector<std::pair<uint32_t, uint32_t>> CAudioProcess::OnPlanNoisePieces(uint32_t durationMs,
                                                                            uint32_t segmentMs) {
    std::vector<std::pair<uint32_t, uint32_t>> plan;
    if (durationMs == 0 || segmentMs == 0) {
        return plan;
    }
    const uint32_t count = durationMs / segmentMs + (durationMs % segmentMs != 0 ? 1 : 0);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t start = k * segmentMs;
        const uint32_t length = (k + 1 == count) ? durationMs - (count - 1) * segmentMs : segmentMs;
        plan.emplace_back(start, length);
    }
    return plan;
}
