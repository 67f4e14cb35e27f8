// Tonewright without its outside pieces. The terminal tool runs as a child with ffmpeg/ffprobe
// gone from PATH (and no "Core" folder beside it), or with a MediaInfo library that cannot be
// loaded: it exits 1 and names what is missing. The headless main window, with PATH emptied and
// libvlc unable to start, still opens, shows every row of a batch as failed, leaves no output
// behind and keeps its previews without a player.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/BatchHandlers.h"
#include "app/MainFrameWnd.h"
#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "engine/ProgressTicker.h"
#include "engine/WorkThreadPool.h"
#include "platform/Platform.h"
#include "player/VlcKeeper.h"  // plugins stay loaded, so the leak checker attributes what they keep
#include "support/TestSupport.h"
#include "ui/TaskList.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

namespace {

struct Result {
    int status = -1;  // raw wait status
    std::string err;
    bool Exited(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    bool Crashed() const { return WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) > 2); }
};

class MissingDepsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* sub : {"in", "out", "empty", "badlib", "cache"}) {
            platform::CreateFolders(platform::FromUtf8(dir_.File(sub)));
        }
        { std::ofstream(dir_.File("badlib/libmediainfo.so.0")) << "not a shared object\n"; }
    }

    // The program as a child with its environment replaced (HOME and the caches kept private).
    Result Cli(const std::vector<std::string>& env, const std::vector<std::string>& args) {
        const std::string errFile = dir_.File("stderr.txt");
        std::vector<std::string> argv = {"/usr/bin/env", "-i", "HOME=" + dir_.Path(),
                                         "XDG_CACHE_HOME=" + dir_.File("cache"), "LC_ALL=C.UTF-8"};
        argv.insert(argv.end(), env.begin(), env.end());
        argv.insert(argv.end(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>\"" + errFile + "\"", TW_CLI_PATH});
        argv.insert(argv.end(), args.begin(), args.end());
        std::string cmd;
        for (const auto& a : argv) {
            std::string q = "'";
            for (char c : a) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
            cmd += q + "' ";
        }
        cmd += "</dev/null >/dev/null";
        Result r;
        r.status = std::system(cmd.c_str());
        platform::ReadFileBytes(platform::FromUtf8(errFile), &r.err);
        return r;
    }

    int FilesIn(const std::string& folder) {
        std::vector<platform::FolderEntry> entries;
        platform::ListFolder(platform::FromUtf8(folder), &entries);
        return static_cast<int>(entries.size());
    }

    testsupport::TempDir dir_;
};

}  // namespace

TEST_F(MissingDepsTest, TerminalToolWithoutFfmpegNamesItAndExitsOne) {
    ASSERT_TRUE(testsupport::MakeTone(dir_.File("in/tone.wav"), 0.5));
    ASSERT_TRUE(testsupport::MakeTone(dir_.File("in/music.mp3"), 0.5));
    ASSERT_TRUE(testsupport::MakeVideo(dir_.File("in/clip.mp4"), 0.5));
    const std::string in = dir_.File("in/tone.wav");
    const std::string out = dir_.File("out");
    const std::vector<std::vector<std::string>> commands = {
        {"convert", "--to", "mp3", "--out", out, in},
        {"cut", "--start", "0", "--end", "0.3", "--out", out, in},
        {"split", "--parts", "2", "--out", out, in},
        {"merge", "--out", out, in, dir_.File("in/music.mp3")},
        {"extract", "--start", "0", "--end", "0.3", "--out", out, dir_.File("in/clip.mp4")},
        {"speed", "--factor", "2.0", "--out", out, in},
        {"volume", "--factor", "0.5", "--out", out, in},
        {"noise", "--level", "1", "--out", out, in},
        {"bgm", "--music", dir_.File("in/music.mp3"), "--out", out, in},
    };
    // An empty PATH folder: no tool can be found, and the program's folder has no "Core".
    for (const auto& args : commands) {
        const Result r = Cli({"PATH=" + dir_.File("empty")}, args);
        EXPECT_TRUE(r.Exited(1)) << args[0] << " status " << r.status << ": " << r.err;
        EXPECT_NE(r.err.find("ffmpeg"), std::string::npos) << args[0] << " does not name ffmpeg: " << r.err;
    }
    // Only ffprobe gone: a PATH of links to ffmpeg alone.
    ASSERT_EQ(::symlink(testsupport::FfmpegPath().c_str(), dir_.File("empty/ffmpeg").c_str()), 0);
    const Result probeless = Cli({"PATH=" + dir_.File("empty")}, commands[0]);
    EXPECT_TRUE(probeless.Exited(1)) << probeless.status << ": " << probeless.err;
    EXPECT_NE(probeless.err.find("ffprobe"), std::string::npos) << probeless.err;
    EXPECT_EQ(FilesIn(out), 0) << "nothing is written without the tools";
}

TEST_F(MissingDepsTest, TerminalToolWithoutMediaInfoNamesItOrStillWorks) {
    ASSERT_TRUE(testsupport::MakeTone(dir_.File("in/tone.wav"), 0.5));
    const char* path = std::getenv("PATH");
    const std::string pathVar = std::string("PATH=") + (path != nullptr ? path : "/usr/bin:/bin");
    // Both ways the library can be broken: the program's own variable, and the loader's path.
    const std::vector<std::string> brokenBy[] = {
        {pathVar, "TW_MEDIAINFO_LIB=" + dir_.File("badlib/libmediainfo.so.0")},
        {pathVar, "LD_LIBRARY_PATH=" + dir_.File("badlib")},
    };
    for (const auto& env : brokenBy) {
        SCOPED_TRACE(env[1]);
        const Result probe = Cli(env, {"probe", dir_.File("in/tone.wav")});
        EXPECT_TRUE(probe.Exited(1)) << probe.status << ": " << probe.err;
        EXPECT_NE(probe.err.find("MediaInfo"), std::string::npos) << probe.err;
        // A batch either refuses with the same message or gets by without the facts; it never
        // crashes and never claims an output it did not write.
        const std::string out = dir_.File("out/" + std::to_string(env[1].size()));
        platform::CreateFolders(platform::FromUtf8(out));
        const Result convert = Cli(env, {"convert", "--to", "mp3", "--out", out, dir_.File("in/tone.wav")});
        EXPECT_FALSE(convert.Crashed()) << convert.status << ": " << convert.err;
        if (convert.Exited(0)) {
            EXPECT_EQ(FilesIn(out), 1);
        } else {
            EXPECT_NE(convert.err.find("MediaInfo"), std::string::npos) << convert.err;
            EXPECT_EQ(FilesIn(out), 0);
        }
    }
}

TEST_F(MissingDepsTest, WindowWithoutToolsOrPlayerFailsRowsVisiblyAndKeepsPreviewsEmpty) {
    platform::InitLocale();
    CProgressTicker::SetSleepFunction([](uint32_t) {});
    CAudioProcess::OnInstallProbeHooks();
    ASSERT_TRUE(CSkinUI::LoadEmbedded());
    ASSERT_TRUE(testsupport::MakeTone(dir_.File("in/tone one.wav"), 0.5));
    ASSERT_TRUE(testsupport::MakeTone(dir_.File("in/-two #2.mp3"), 0.5));
    const std::wstring a = platform::FromUtf8(dir_.File("in/tone one.wav"));
    const std::wstring b = platform::FromUtf8(dir_.File("in/-two #2.mp3"));

    // From here on no tool can be found and libvlc finds no plugins.
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", dir_.File("empty").c_str(), 1);
    ::setenv("VLC_PLUGIN_PATH", dir_.File("empty").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", dir_.File("cache").c_str(), 1);
    ASSERT_TRUE(CCommon::OnGetToolPath(L"ffmpeg").find(L"/Core/") != std::wstring::npos ||
                !platform::IsRegularFile(CCommon::OnGetToolPath(L"ffmpeg")));

    auto backend = std::make_unique<CHeadlessBackendUI>(true);
    CAppUI::SetBackend(backend.get());
    auto driver = std::make_unique<CTestDriverUI>(*backend);
    MainFrameOptions options;
    options.startUpdater = false;
    options.createPlayers = true;
    options.playerArgs = {"--no-such-option-at-all", "--aout=none-such", "--vout=none-such"};
    std::vector<std::wstring> notices;
    auto wnd = std::make_unique<CMainFrameWnd>(L"", options);
    wnd->SetMessageHook([&](int, const std::wstring& text) {
        notices.push_back(text);
        return 1;
    });
    ASSERT_TRUE(wnd->Create(nullptr, L"Tonewright", 0, 0, 0, 0)) << "the window opens without its tools";
    wnd->ShowWindow(true);
    wnd->Batch().SetAnimationDelayMs(0);
    wnd->Batch().SetSleepFunction([](uint32_t ms) { platform::SleepMs(std::min<uint32_t>(ms, 2)); });
    CWorkThreadPoolImpl pool;
    pool.StartWith(2, 2);
    wnd->Batch().SetPool(&pool);
    wnd->OpenTool(CMainFrameWnd::kPageFormat);
    driver->Pump();
    ASSERT_TRUE(driver->SelectOption(wnd.get(), L"opt_CustomDir"));
    wnd->FindControl(L"outpath")->SetText(platform::FromUtf8(dir_.File("out")));

    auto addAndRun = [&](int page) {
        wnd->OpenTool(page);
        driver->Pump();
        ASSERT_TRUE(driver->Drop(wnd.get(), {a, b}));
        ASSERT_TRUE(driver->PumpUntil([&] { return !wnd->Tasks().Pending(); }, 60000));
        driver->AdvanceTime(2000);
        ASSERT_EQ(wnd->Tasks().BatchList(page)->GetCount(), 2) << "page " << page;
        ASSERT_TRUE(driver->Click(wnd.get(), L"btn_conver"));
        ASSERT_TRUE(driver->PumpUntil([&] { return !wnd->Batch().IsRunning(page, 0); }, 120000));
        driver->Pump();
    };
    addAndRun(CMainFrameWnd::kPageFormat);
    addAndRun(CMainFrameWnd::kPageSpeed);
    CListUI* format = wnd->Tasks().BatchList(CMainFrameWnd::kPageFormat);
    CListUI* speed = wnd->Tasks().BatchList(CMainFrameWnd::kPageSpeed);
    for (int i = 0; i < 2; ++i) {
        auto* f = dynamic_cast<CContainerUI*>(format->GetItemAt(i));
        auto* s = dynamic_cast<CContainerUI*>(speed->GetItemAt(i));
        EXPECT_EQ(f->FindSubControl(L"outfilesize")->GetText(), L"失败");
        EXPECT_EQ(s->FindSubControl(L"ProgressValue")->GetText(), L"失败");
    }
    EXPECT_EQ(FilesIn(dir_.File("out")), 0) << "no empty or partial output is left";

    // The cut page's preview: a source row, a play click; without a player nothing plays.
    wnd->OpenTool(CMainFrameWnd::kPageCut);
    driver->Pump();
    ASSERT_TRUE(driver->Drop(wnd.get(), {a}));
    ASSERT_TRUE(driver->PumpUntil([&] { return !wnd->Tasks().Pending(); }, 60000));
    driver->AdvanceTime(2000);
    driver->Click(wnd.get(), L"btn_play");
    driver->AdvanceTime(1000);
    driver->Pump();
    // The timeline still follows the chosen row; the extract page, given nothing, shows nothing.
    EXPECT_EQ(wnd->PreviewSource(CMainFrameWnd::kPageCut), a);
    EXPECT_TRUE(wnd->PreviewSource(CMainFrameWnd::kPageExtract).empty());
    EXPECT_TRUE(wnd->FindControl(L"btn_conver")->IsOwnVisible());

    wnd->CloseSequence();
    driver->Pump();
    pool.Stop();
    wnd.reset();
    driver.reset();
    CAppUI::SetBackend(nullptr);
    backend.reset();
    ::setenv("PATH", oldPath.c_str(), 1);
    ::unsetenv("VLC_PLUGIN_PATH");
    CProgressTicker::SetSleepFunction(nullptr);
}
