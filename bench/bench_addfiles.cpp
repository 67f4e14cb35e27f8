// Adding many files at once: 1,000 short WAV, MP3 and FLAC files dropped on the format page of a
// headless main window. Reports the time until the last row is in and the longest the UI thread
// was busy without returning to its loop (the drop itself, then every round of queued work).
//
//   bench_addfiles [count]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bench/BenchUtil.h"
#include "common/Common.h"
#include "platform/Platform.h"
#include "ui/CustomControls.h"
#include "ui/TaskList.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

namespace {

class CBenchMainWnd : public CWindowUI {
public:
    std::wstring GetWindowClassName() const override { return L"SoniverterWnd"; }
    std::wstring GetSkinFile() override { return L"main.xml"; }
    CControlUI* CreateControl(const std::wstring& tag) override { return CreateCustomControl(tag); }
};

// Processor time of the calling thread: the UI thread's own work, apart from waiting for a core
// on a busy machine.
double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The skin folder of the source tree: $TW_SKIN_DIR, else found from this file's own path (which
// may be relative to the build folder), else "skin/" or "../skin/" from the working folder.
std::wstring SkinFolder() {
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("TW_SKIN_DIR")) candidates.push_back(std::string(env) + "/");
    std::string here = __FILE__;
    size_t slash = here.rfind('/');
    const std::string bench = slash == std::string::npos ? "." : here.substr(0, slash);
    candidates.push_back(bench + "/../skin/");
    candidates.push_back(platform::ToUtf8(platform::ExeFolder()) + "../../" + bench + "/../skin/");
    candidates.push_back("skin/");
    candidates.push_back("../skin/");
    for (const std::string& c : candidates) {
        if (platform::IsRegularFile(platform::FromUtf8(c + "main.xml"))) return platform::FromUtf8(c);
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    platform::InitLocale();
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const std::string ffmpeg = platform::FindExecutable("ffmpeg");
    if (ffmpeg.empty()) {
        std::fprintf(stderr, "ffmpeg not found\n");
        return 1;
    }
    const std::string dir = bench::MakeScratchFolder("tw-bench-addfiles");
    if (dir.empty()) return 1;

    // Three short sources, copied under distinct names.
    const std::vector<std::string> kinds = {"wav", "mp3", "flac"};
    for (const std::string& ext : kinds) {
        if (!bench::Run({ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                         "sine=frequency=440:duration=1", dir + "src." + ext})) {
            std::fprintf(stderr, "cannot make the %s source\n", ext.c_str());
            return 1;
        }
    }
    std::vector<std::wstring> files;
    for (int i = 0; i < count; ++i) {
        const std::string& ext = kinds[static_cast<size_t>(i) % kinds.size()];
        char name[64];
        std::snprintf(name, sizeof name, "track %04d.%s", i, ext.c_str());
        std::wstring path = platform::FromUtf8(dir + name);
        if (!platform::CopyFileNoOverwrite(platform::FromUtf8(dir + "src." + ext), path)) return 1;
        files.push_back(path);
    }

    if (!CSkinUI::LoadFolder(SkinFolder())) {
        std::fprintf(stderr, "cannot load the skin\n");
        return 1;
    }
    int rows = 0;
    double totalMs = 0, stallMs = 0, stallCpuMs = 0;
    int rounds = 0;
    {
        CHeadlessBackendUI backend(false);
        CAppUI::SetBackend(&backend);
        auto* wnd = new CBenchMainWnd();
        if (!wnd->Create(nullptr, L"bench")) return 1;
        {
            CTaskList tasks(wnd);
            CAppUI::ProcessPending();

            const auto start = std::chrono::steady_clock::now();
            double cpu0 = ThreadCpuMs();
            tasks.DropFiles(1, files);
            stallMs = MsSince(start);
            stallCpuMs = ThreadCpuMs() - cpu0;
            while (tasks.Pending()) {
                backend.WaitForWake(20);
                const auto round = std::chrono::steady_clock::now();
                cpu0 = ThreadCpuMs();
                CAppUI::ProcessPending();
                stallMs = std::max(stallMs, MsSince(round));
                stallCpuMs = std::max(stallCpuMs, ThreadCpuMs() - cpu0);
                ++rounds;
            }
            totalMs = MsSince(start);
            rows = tasks.PageList(1) ? tasks.PageList(1)->GetCount() : 0;
        }
        delete wnd;
        CAppUI::ProcessPending();
        CAppUI::SetBackend(nullptr);
    }
    CSkinUI::Release();
    for (const std::wstring& f : files) platform::DeleteFilePath(f);
    for (const std::string& ext : kinds) platform::DeleteFilePath(platform::FromUtf8(dir + "src." + ext));
    ::rmdir(dir.c_str());

    std::printf("files: %d, rows: %d, UI rounds: %d\n", count, rows, rounds);
    std::printf(
        "total: %.0f ms (goal < 3000), longest UI stall: %.1f ms wall, %.1f ms processor (goal < 50)\n",
        totalMs, stallMs, stallCpuMs);
    std::printf(
        "RESULT addfiles ours_ms=%.0f longest_stall_ms=%.1f longest_stall_cpu_ms=%.1f files=%d rows=%d\n",
        totalMs, stallMs, stallCpuMs, count, rows);
    return rows == count ? 0 : 1;
}
