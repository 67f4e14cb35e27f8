// The noise page in batch: five rows started together on a headless main window against the same
// five rows started one at a time (each its own batch), on the same generated input. Only the run
// is timed, from the start button until the page is idle again.
//
//   bench_noise_batch [seconds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/BatchHandlers.h"
#include "app/MainFrameWnd.h"
#include "bench/BenchUtil.h"
#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "engine/ProgressTicker.h"
#include "platform/Platform.h"
#include "ui/TaskList.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

namespace {

constexpr int kRows = 5;
const int kPage = CMainFrameWnd::kPageNoise;

std::wstring W(const std::string& s) {
    return platform::FromUtf8(s);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class NoiseWindow {
public:
    NoiseWindow() : m_backend(true), m_driver(m_backend) {}
    ~NoiseWindow() {
        if (m_wnd) {
            m_wnd->CloseSequence();
            m_driver.Pump();
            m_wnd.reset();
        }
        CAppUI::SetBackend(nullptr);
    }

    bool Open() {
        if (!CSkinUI::LoadEmbedded()) return false;
        CAppUI::SetBackend(&m_backend);
        CAudioProcess::OnInstallProbeHooks();
        // The progress ticker keeps the window's own pace: a row's bar moves by time, and that pace,
        // not the denoiser, is what a user waits for when rows run one after another.
        MainFrameOptions options;
        options.startUpdater = false;
        options.createPlayers = false;
        m_wnd = std::make_unique<CMainFrameWnd>(L"", options);
        m_wnd->SetMessageHook([](int, const std::wstring& text) {
            std::fprintf(stderr, "notice: %s\n", platform::ToUtf8(text).c_str());
            return 1;
        });
        if (!m_wnd->Create(nullptr, L"Tonewright", 0, 0, 0, 0)) {
            m_wnd.reset();
            return false;
        }
        m_wnd->Batch().SetAnimationDelayMs(0);
        m_wnd->OpenTool(kPage);
        m_driver.Pump();
        return true;
    }

    // Adds the files through the page's add path; false when not every one became a row.
    bool Add(const std::vector<std::string>& files) {
        for (const std::string& file : files) {
            m_wnd->Tasks().DropFiles(kPage, {W(file)});
            m_driver.PumpUntil([&] { return !m_wnd->Tasks().Pending(); }, 600000);
            m_driver.Pump();
            if (!m_wnd->Tasks().HoldsFile(kPage, W(file))) return false;
        }
        CListUI* list = m_wnd->Tasks().BatchList(kPage);
        return list != nullptr && list->GetCount() == static_cast<int>(files.size());
    }

    void OutputTo(const std::string& folder) {
        platform::CreateFolders(W(folder));
        if (!m_driver.SelectOption(m_wnd.get(), L"opt_CustomDir")) {
            if (auto* o = m_wnd->FindControlAs<COptionUI>(L"opt_CustomDir")) o->Selected(true);
        }
        if (CControlUI* edit = m_wnd->FindControl(L"outpath")) edit->SetText(W(folder));
        m_driver.Pump();
    }

    // Presses start and runs the loop until the page is idle; the wall time in seconds, or -1.
    double Run() {
        m_driver.Pump();
        const auto start = std::chrono::steady_clock::now();
        if (!m_driver.Click(m_wnd.get(), L"btn_conver")) return -1.0;
        while (m_wnd->Batch().IsRunning(kPage, 0)) {
            m_driver.PumpUntil([&] { return !m_wnd->Batch().IsRunning(kPage, 0); }, 200);
        }
        const double took = SecondsSince(start);
        m_driver.Pump();
        return took;
    }

    // Outputs of the rows that finished with a file.
    int Finished() const {
        CListUI* list = m_wnd->Tasks().BatchList(kPage);
        int done = 0;
        for (int i = 0; list != nullptr && i < list->GetCount(); ++i) {
            auto* row = dynamic_cast<CContainerUI*>(list->GetItemAt(i));
            CControlUI* open = row != nullptr ? row->FindSubControl(L"btn_listopenfile") : nullptr;
            if (open != nullptr && !open->GetUserData().empty() &&
                CCommon::OnGetFileSize(open->GetUserData()) > 0) {
                ++done;
            }
        }
        return done;
    }

    void Clear() {
        m_wnd->Tasks().ClearList(kPage);
        m_driver.Pump();
    }

private:
    CHeadlessBackendUI m_backend;
    CTestDriverUI m_driver;
    std::unique_ptr<CMainFrameWnd> m_wnd;
};

}  // namespace

int main(int argc, char** argv) {
    platform::InitLocale();
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::string ffmpeg = platform::FindExecutable("ffmpeg");
    if (ffmpeg.empty() || platform::FindExecutable("ffprobe").empty()) {
        std::fprintf(stderr, "ffmpeg and ffprobe are needed\n");
        return 1;
    }
    const std::string dir = bench::MakeScratchFolder("tw-bench-noise");
    if (dir.empty()) return 1;

    // Five 16-bit WAV files of a sine with noise mixed in, each a little different.
    std::vector<std::string> files;
    for (int i = 0; i < kRows; ++i) {
        const std::string file = dir + "in" + std::to_string(i) + ".wav";
        const std::string graph = "sine=frequency=" + std::to_string(330 + 110 * i) +
                                  ":sample_rate=44100:duration=" + std::to_string(seconds) +
                                  "[s];anoisesrc=color=white:amplitude=0.08:sample_rate=44100:seed=" +
                                  std::to_string(7 + i) + ":duration=" + std::to_string(seconds) +
                                  "[n];[s][n]amix=inputs=2:normalize=0";
        if (!bench::Run({ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-filter_complex", graph,
                         "-ac", "1", "-c:a", "pcm_s16le", file})) {
            std::fprintf(stderr, "cannot make %s\n", file.c_str());
            return 1;
        }
        files.push_back(file);
    }
    std::printf("input: %d WAV files of %d s sine+noise, 16-bit\n", kRows, seconds);

    NoiseWindow window;
    if (!window.Open()) {
        std::fprintf(stderr, "the main window could not be built\n");
        return 1;
    }

    // All five rows in one batch.
    if (!window.Add(files)) {
        std::fprintf(stderr, "the files were not all added\n");
        return 1;
    }
    window.OutputTo(dir + "out-batch/");
    const double ours = window.Run();
    const int oursDone = window.Finished();
    window.Clear();
    std::printf("batch of %d rows: %.3f s (%d/%d finished)\n", kRows, ours, oursDone, kRows);
    if (ours <= 0 || oursDone != kRows) {
        std::fprintf(stderr, "the batch did not finish every row\n");
        return 1;
    }

    // The same rows one at a time, each its own batch.
    double serial = 0;
    for (int i = 0; i < kRows; ++i) {
        if (!window.Add({files[i]})) {
            std::fprintf(stderr, "%s was not added\n", files[i].c_str());
            return 1;
        }
        window.OutputTo(dir + "out-row" + std::to_string(i) + "/");
        const double took = window.Run();
        const int done = window.Finished();
        window.Clear();
        std::printf("row %d alone: %.3f s\n", i, took);
        if (took <= 0 || done != 1) {
            std::fprintf(stderr, "row %d did not finish\n", i);
            return 1;
        }
        serial += took;
    }

    std::printf("RESULT noise_batch ours_s=%.3f serial_s=%.3f ratio=%.2f\n", ours, serial, serial / ours);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
