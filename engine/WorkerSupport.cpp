#include "engine/WorkerSupport.h"

#include <mutex>
#include <set>

#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "logging/Log.h"
#include "platform/Platform.h"

namespace workers {

ToolCommand MakeCommand(CmdTemplate t, std::vector<CmdValue> values) {
    return CAudioProcess::OnMakeCommand(t, std::move(values));
}

bool RunCommand(const ToolCommand& command, const wchar_t* prefix) {
    TW_LOG_INFO(prefix << command.text << L"\n");
    return CAudioProcess::OnRunProcess(command);
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
