// Many files through every page of the headless main window, round after round: good files in
// several formats and awkward names, and broken ones (an empty file, text with an audio
// extension, a folder and a dangling link named like audio). Afterwards every row has finished,
// no input changed, no temporary file is left, and the process holds no more descriptors,
// threads or memory than after the first round.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/BatchHandlers.h"
#include "app/MainFrameWnd.h"
#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "engine/ProgressTicker.h"
#include "engine/WorkThreadPool.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "ui/TaskList.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TW_SOAK_SANITIZED 1
#else
#define TW_SOAK_SANITIZED 0
#endif

namespace {

std::string U8(const std::wstring& s) {
    return platform::ToUtf8(s);
}

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return fallback;
    const int n = std::atoi(v);
    return n > 0 ? n : fallback;
}

// Entries of a /proc folder (descriptors, threads), without "." and "..".
int CountEntries(const char* folder) {
    DIR* dir = ::opendir(folder);
    if (dir == nullptr) return -1;
    int n = 0;
    while (dirent* e = ::readdir(dir)) {
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") ++n;
    }
    ::closedir(dir);
    return n - (std::string(folder) == "/proc/self/fd" ? 1 : 0);  // the folder's own descriptor
}

long ProcStatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string(key).size());
    }
    return -1;
}

// FNV-1a of a file's bytes, or of its kind for what is not a regular file.
uint64_t Checksum(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return 0;
    if (S_ISLNK(st.st_mode)) {
        char target[4096];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        return 0x11ull ^ static_cast<uint64_t>(n);
    }
    if (S_ISDIR(st.st_mode)) return 0x22ull;
    std::ifstream in(path, std::ios::binary);
    uint64_t h = 1469598103934665603ull;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            h ^= static_cast<uint8_t>(buf[i]);
            h *= 1099511628211ull;
        }
    }
    return h ^ (static_cast<uint64_t>(st.st_size) << 1) ^ static_cast<uint64_t>(st.st_mode);
}

// Every entry under a folder (recursively), by path, with its checksum.
void Snapshot(const std::string& folder, std::map<std::string, uint64_t>* out) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        (*out)[path] = Checksum(path);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) Snapshot(path, out);
    }
    ::closedir(dir);
}

std::set<std::string> Names(const std::string& folder) {
    std::map<std::string, uint64_t> all;
    Snapshot(folder, &all);
    std::set<std::string> names;
    for (const auto& [path, sum] : all) names.insert(path);
    return names;
}

// A source file of the soak and whether a page should manage to use it.
struct Source {
    std::wstring path;
    bool good = true;
};

class SoakTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        platform::InitLocale();
        CProgressTicker::SetSleepFunction([](uint32_t) {});
        CAudioProcess::OnInstallProbeHooks();
        ASSERT_TRUE(CSkinUI::LoadEmbedded());
        ASSERT_FALSE(testsupport::FfmpegPath().empty()) << "ffmpeg is needed for the soak";
    }
    static void TearDownTestSuite() { CProgressTicker::SetSleepFunction(nullptr); }

    void SetUp() override {
        count_ = EnvInt("TW_SOAK_COUNT", 8);
        rounds_ = std::max(2, EnvInt("TW_SOAK_ROUNDS", 2));
        for (const char* sub : {"in", "video", "music", "out", "tmp", "cache"}) {
            platform::CreateFolders(platform::FromUtf8(dir_.File(sub)));
        }
        ::setenv("XDG_CACHE_HOME", dir_.File("cache").c_str(), 1);
        ::setenv("TMPDIR", dir_.File("tmp").c_str(), 1);
        mergeTemp_ = U8(CCommon::OnGetMergeTempPath());
        MakeSources();

        backend_ = std::make_unique<CHeadlessBackendUI>(true);
        CAppUI::SetBackend(backend_.get());
        driver_ = std::make_unique<CTestDriverUI>(*backend_);
        MainFrameOptions options;
        options.startUpdater = false;
        options.createPlayers = false;
        wnd_ = std::make_unique<CMainFrameWnd>(L"", options);
        wnd_->SetMessageHook([this](int, const std::wstring& text) {
            notices_.push_back(text);
            return 1;
        });
        ASSERT_TRUE(wnd_->Create(nullptr, L"Tonewright", 0, 0, 0, 0));
        wnd_->ShowWindow(true);
        wnd_->Batch().SetAnimationDelayMs(0);
        wnd_->Batch().SetSleepFunction([](uint32_t ms) { platform::SleepMs(std::min<uint32_t>(ms, 2)); });
        wnd_->Batch().SetMessageSink([this](const std::wstring& text) { notices_.push_back(text); });
        pool_.StartWith(2, 2);
        wnd_->Batch().SetPool(&pool_);
        driver_->Pump();
        wnd_->OpenTool(CMainFrameWnd::kPageFormat);
        ASSERT_TRUE(driver_->SelectOption(wnd_.get(), L"opt_CustomDir"));
        wnd_->FindControl(L"outpath")->SetText(platform::FromUtf8(dir_.File("out")));
        driver_->Pump();
    }

    void TearDown() override {
        if (!wnd_) return;
        for (int page = 0; page < 8; ++page) {
            driver_->PumpUntil([&] { return !wnd_->Batch().IsRunning(page, 0); }, 600000);
        }
        wnd_->CloseSequence();
        driver_->Pump();
        pool_.Stop();
        wnd_.reset();
        driver_.reset();
        CAppUI::SetBackend(nullptr);
        backend_.reset();
    }

    // One file per format is made with ffmpeg, the rest are copies under awkward names.
    void MakeSources() {
        const std::vector<std::string> exts = {".wav", ".mp3", ".flac", ".ogg", ".m4a"};
        std::map<std::string, std::string> seeds;
        for (const auto& ext : exts) {
            const std::string seed = dir_.File("seed" + ext);
            ASSERT_TRUE(testsupport::MakeTone(seed, 0.6, 330)) << seed;
            seeds[ext] = seed;
        }
        const std::vector<std::string> stems = {"tone", "two words", "#hash", "-lead", "quote'\"q", "音频 ü"};
        for (int i = 0; i < count_; ++i) {
            const std::string ext = exts[static_cast<size_t>(i) % exts.size()];
            const std::string name =
                stems[static_cast<size_t>(i) % stems.size()] + " " + std::to_string(i) + ext;
            const std::string path = dir_.File("in/" + name);
            ASSERT_TRUE(
                platform::CopyFileNoOverwrite(platform::FromUtf8(seeds[ext]), platform::FromUtf8(path)));
            audio_.push_back({platform::FromUtf8(path), true});
        }
        // The broken ones.
        { std::ofstream(dir_.File("in/empty 0.mp3")); }
        { std::ofstream(dir_.File("in/not media.wav")) << "this is plain text, not a RIFF file\n"; }
        platform::CreateFolders(platform::FromUtf8(dir_.File("in/folder.mp3")));
        ASSERT_EQ(::symlink(dir_.File("in/gone.wav").c_str(), dir_.File("in/dangling.wav").c_str()), 0);
        for (const char* bad : {"in/empty 0.mp3", "in/not media.wav", "in/folder.mp3", "in/dangling.wav"}) {
            audio_.push_back({platform::FromUtf8(dir_.File(bad)), false});
        }
        const int videos = std::max(1, std::min(count_, 4));
        for (int i = 0; i < videos; ++i) {
            const std::string path = dir_.File("video/clip #" + std::to_string(i) + ".mp4");
            if (i == 0) {
                ASSERT_TRUE(testsupport::MakeVideo(path, 0.6)) << path;
            } else {
                ASSERT_TRUE(platform::CopyFileNoOverwrite(platform::FromUtf8(dir_.File("video/clip #0.mp4")),
                                                          platform::FromUtf8(path)));
            }
            video_.push_back({platform::FromUtf8(path), true});
        }
        { std::ofstream(dir_.File("video/empty.mp4")); }
        video_.push_back({platform::FromUtf8(dir_.File("video/empty.mp4")), false});
        ASSERT_TRUE(testsupport::MakeTone(dir_.File("music/bed.mp3"), 1.0, 220));
        music_ = platform::FromUtf8(dir_.File("music/bed.mp3"));
    }

    std::map<std::string, uint64_t> InputState() const {
        std::map<std::string, uint64_t> all;
        for (const char* sub : {"in", "video", "music"}) Snapshot(dir_.File(sub), &all);
        return all;
    }

    static CControlUI* Child(CControlUI* row, const wchar_t* name) {
        auto* box = dynamic_cast<CContainerUI*>(row);
        return box != nullptr ? box->FindSubControl(name) : nullptr;
    }

    // Rows of a page: the files the task list accepts arrive through a drop, the ones it refuses
    // are put in as rows directly (as if they had been good when added), so the batch meets them.
    void FillPage(int page, const std::vector<Source>& sources) {
        wnd_->OpenTool(page);
        driver_->Pump();
        std::vector<std::wstring> paths;
        for (const auto& s : sources) paths.push_back(s.path);
        ASSERT_TRUE(driver_->Drop(wnd_.get(), paths));
        ASSERT_TRUE(driver_->PumpUntil([&] { return !wnd_->Tasks().Pending(); }, 600000));
        driver_->AdvanceTime(2000);
        for (const auto& s : sources) {
            if (wnd_->Tasks().HoldsFile(page, s.path)) continue;
            EXPECT_FALSE(s.good) << "a good file was refused: " << U8(s.path);
            MediaFacts facts;
            facts.durationMs = 600;
            ASSERT_NE(wnd_->Tasks().AddRow(page, s.path, facts), nullptr) << U8(s.path);
        }
        driver_->Pump();
    }

    // Segment rows of the cut or extract page, one per source.
    void FillSegments(int page, const std::vector<Source>& sources) {
        // The page keeps its segments only while it holds a source to cut them from.
        if (wnd_->Tasks().PageList(page)->GetCount() == 0) {
            MediaFacts facts;
            CCommon::OnGetMediaFileInfo(sources.front().path, facts);
            ASSERT_NE(wnd_->Tasks().AddRow(page, sources.front().path, facts), nullptr);
        }
        wnd_->OpenTool(page);
        int n = 0;
        for (const auto& s : sources) {
            const std::wstring ext =
                page == CMainFrameWnd::kPageCut ? CMainFrameWnd::SegmentExtension(s.path) : L".MP3";
            const std::wstring name = L"piece " + std::to_wstring(n++) + ext;
            ASSERT_NE(wnd_->Tasks().AddSegmentRow(page, s.path, name, 100, 500, L""), nullptr) << U8(s.path);
        }
        driver_->Pump();
    }

    // The status a finished row shows; empty while it has not finished. "ok" or "failed".
    static std::string RowOutcome(int page, CControlUI* row) {
        switch (page) {
            case CMainFrameWnd::kPageCut:
            case CMainFrameWnd::kPageExtract: {
                const std::wstring t = Child(row, L"filesize")->GetText();
                return t == L"已剪切" ? "ok" : t == L"失败" ? "failed" : "";
            }
            case CMainFrameWnd::kPageFormat: {
                const std::wstring t = Child(row, L"outfilesize")->GetText();
                return t.rfind(L"大小：", 0) == 0 ? "ok" : t == L"失败" ? "failed" : "";
            }
            case CMainFrameWnd::kPageMerge:
                return "ok";  // merge rows show no status; the merged file is checked instead
            default: {
                const std::wstring t = Child(row, L"ProgressValue")->GetText();
                return t == L"100%" ? "ok" : t == L"失败" ? "failed" : "";
            }
        }
    }

    // One round: every page filled, every batch started (all eight run at once), waited for and
    // checked; the lists and the output folder are emptied afterwards.
    void Round(int round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int kPages[] = {CMainFrameWnd::kPageCut,   CMainFrameWnd::kPageFormat,
                              CMainFrameWnd::kPageMerge, CMainFrameWnd::kPageExtract,
                              CMainFrameWnd::kPageSpeed, CMainFrameWnd::kPageVolume,
                              CMainFrameWnd::kPageNoise, CMainFrameWnd::kPageBgm};
        std::map<int, std::vector<Source>> expected;
        for (int page : kPages) {
            if (page == CMainFrameWnd::kPageCut) {
                FillSegments(page, audio_);
            } else if (page == CMainFrameWnd::kPageExtract) {
                FillSegments(page, video_);
            } else {
                FillPage(page, audio_);
            }
            expected[page] = page == CMainFrameWnd::kPageExtract ? video_ : audio_;
        }
        CListUI* bgm = wnd_->Tasks().BatchList(CMainFrameWnd::kPageBgm);
        for (int i = 0; i < bgm->GetCount(); ++i)
            Child(bgm->GetItemAt(i), L"btn_itemaddbgm")->SetUserData(music_);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());

        const size_t noticesBefore = notices_.size();
        for (int page : kPages) {
            wnd_->OpenTool(page);
            driver_->Pump();
            ASSERT_TRUE(driver_->Click(wnd_.get(), L"btn_conver")) << page;
            driver_->Pump();
        }
        // All eight pages share the pool, so a page may end only with the whole round: the bound
        // grows with the files (a second per job is far above any real job here).
        const int bound = std::max(1200000, count_ * 8 * 1000);
        for (int page : kPages) {
            ASSERT_TRUE(driver_->PumpUntil([&] { return !wnd_->Batch().IsRunning(page, 0); }, bound))
                << "page " << page << " never finished";
        }
        ASSERT_TRUE(
            driver_->PumpUntil([&] { return wnd_->FindControl(L"btn_conver")->IsOwnVisible(); }, 60000));
        driver_->Pump();

        // Every row finished, good rows with an output, broken rows marked failed.
        std::set<std::string> outputs;
        for (int page : kPages) {
            CListUI* list = wnd_->Tasks().BatchList(page);
            const auto& sources = expected[page];
            ASSERT_EQ(list->GetCount(), static_cast<int>(sources.size())) << "page " << page;
            for (int i = 0; i < list->GetCount(); ++i) {
                CControlUI* row = list->GetItemAt(i);
                const std::wstring source = row->GetUserData();
                bool good = true;
                for (const auto& s : sources) {
                    if (s.path == source) good = s.good;
                }
                const std::string outcome = RowOutcome(page, row);
                EXPECT_FALSE(outcome.empty()) << "page " << page << " row stuck: " << U8(source);
                if (page != CMainFrameWnd::kPageMerge) {
                    EXPECT_EQ(outcome, good ? "ok" : "failed") << "page " << page << ": " << U8(source);
                }
            }
        }
        const std::wstring merged = wnd_->Batch().MergeOutputPath();
        bool mergeNotice = false;
        for (size_t i = noticesBefore; i < notices_.size(); ++i) {
            if (notices_[i].find(L"文件合并完成") != std::wstring::npos) mergeNotice = true;
        }
        EXPECT_TRUE(mergeNotice) << "the merge ended without its notice";

        // Nothing temporary left: the merge folder, the system temporary folder, and in the output
        // folder nothing but outputs (each a non-empty media file ffprobe can read).
        EXPECT_TRUE(Names(mergeTemp_).empty()) << "left in the merge folder: " << *Names(mergeTemp_).begin();
        EXPECT_TRUE(Names(dir_.File("tmp")).empty())
            << "left in TMPDIR: " << *Names(dir_.File("tmp")).begin();
        const std::set<std::string> out = Names(dir_.File("out"));
        EXPECT_FALSE(out.empty());
        int checked = 0;
        for (const auto& path : out) {
            EXPECT_EQ(path.find(".tmp"), std::string::npos) << path;
            EXPECT_EQ(path.find("progress"), std::string::npos) << path;
            if (checked++ < 24) {  // a sample: ffprobe on every output would dominate the run
                EXPECT_GT(testsupport::ProbeDurationSeconds(path), 0.0) << "not a playable output: " << path;
            }
        }

        // Empty the lists and the output folder for the next round.
        for (int page : kPages) {
            wnd_->Tasks().ClearList(page);
            wnd_->Tasks().BatchList(page)->RemoveAll();  // the segment lists of cut and extract
        }
        driver_->Pump();
        for (const auto& path : out) std::remove(path.c_str());
    }

    int count_ = 8;
    int rounds_ = 2;
    std::vector<Source> audio_;
    std::vector<Source> video_;
    std::wstring music_;
    std::string mergeTemp_;
    testsupport::TempDir dir_;
    std::unique_ptr<CHeadlessBackendUI> backend_;
    std::unique_ptr<CTestDriverUI> driver_;
    std::unique_ptr<CMainFrameWnd> wnd_;
    CWorkThreadPoolImpl pool_;
    std::vector<std::wstring> notices_;
};

}  // namespace

TEST_F(SoakTest, EveryPageRoundAfterRoundLeavesNothingBehind) {
    const auto inputsBefore = InputState();
    const auto t0 = std::chrono::steady_clock::now();

    Round(0);  // warm-up: libraries load, caches and the pool's threads settle
    ASSERT_FALSE(HasFatalFailure());
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    const long rss = ProcStatusKb("VmRSS:");

    for (int r = 1; r < rounds_; ++r) {
        Round(r);
        ASSERT_FALSE(HasFatalFailure());
    }
    const int fdsAfter = CountEntries("/proc/self/fd");
    // A row's bar may finish on a thread of its own after its job; such a thread has ended when
    // the batch does, but the kernel may take a moment to drop it from the task list.
    int threadsAfter = CountEntries("/proc/self/task");
    for (int i = 0; i < 200 && threadsAfter > threads; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        threadsAfter = CountEntries("/proc/self/task");
    }
    const long rssAfter = ProcStatusKb("VmRSS:");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    EXPECT_EQ(InputState(), inputsBefore) << "an input was changed, added or removed";
    EXPECT_EQ(fdsAfter, fds) << "file descriptors leaked";
    EXPECT_EQ(threadsAfter, threads) << "threads leaked";
#if !TW_SOAK_SANITIZED
    // Generous: the heap may keep freed pages, but a row or a job that leaks its state grows this
    // with every round.
    EXPECT_LT(rssAfter - rss, 64 * 1024 + rss / 2) << "memory grows from round to round";
#endif
    std::printf(
        "RESULT soak files=%d rounds=%d seconds=%.1f fds=%d/%d threads=%d/%d rss_kb=%ld/%ld peak_kb=%ld\n",
        count_, rounds_, seconds, fds, fdsAfter, threads, threadsAfter, rss, rssAfter,
        ProcStatusKb("VmHWM:"));
}
