// Two pages of the headless main window running their batches at the same time (format and
// speed), on one pool: the rows of both pages finish with their outputs. Small enough to run
// under ThreadSanitizer, which watches the batch threads, the pool, the tickers and the UI
// thread share the rows.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/BatchHandlers.h"
#include "app/MainFrameWnd.h"
#include "engine/AudioProcess.h"
#include "engine/ProgressTicker.h"
#include "engine/WorkThreadPool.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "ui/TaskList.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

TEST(TwoPageBatchTest, FormatAndSpeedRunTogetherAndBothFinish) {
    platform::InitLocale();
    CProgressTicker::SetSleepFunction([](uint32_t) {});
    CAudioProcess::OnInstallProbeHooks();
    ASSERT_TRUE(CSkinUI::LoadEmbedded());
    testsupport::TempDir dir;
    ::setenv("XDG_CACHE_HOME", dir.File("cache").c_str(), 1);
    platform::CreateFolders(platform::FromUtf8(dir.File("out")));
    std::vector<std::wstring> files;
    for (const char* name : {"a one.wav", "b #2.mp3", "c-3.flac"}) {
        ASSERT_TRUE(testsupport::MakeTone(dir.File(name), 0.5));
        files.push_back(platform::FromUtf8(dir.File(name)));
    }
    {
        CHeadlessBackendUI backend(true);
        CAppUI::SetBackend(&backend);
        CTestDriverUI driver(backend);
        MainFrameOptions options;
        options.startUpdater = false;
        options.createPlayers = false;
        CMainFrameWnd wnd(L"", options);
        wnd.SetMessageHook([](int, const std::wstring&) { return 1; });
        ASSERT_TRUE(wnd.Create(nullptr, L"Tonewright", 0, 0, 0, 0));
        wnd.ShowWindow(true);
        wnd.Batch().SetAnimationDelayMs(0);
        CWorkThreadPoolImpl pool;
        pool.StartWith(2, 2);
        wnd.Batch().SetPool(&pool);
        wnd.OpenTool(CMainFrameWnd::kPageFormat);
        driver.Pump();
        ASSERT_TRUE(driver.SelectOption(&wnd, L"opt_CustomDir"));
        wnd.FindControl(L"outpath")->SetText(platform::FromUtf8(dir.File("out")));
        const int pages[] = {CMainFrameWnd::kPageFormat, CMainFrameWnd::kPageSpeed};
        for (int page : pages) {
            wnd.OpenTool(page);
            driver.Pump();
            ASSERT_TRUE(driver.Drop(&wnd, files));
            ASSERT_TRUE(driver.PumpUntil([&] { return !wnd.Tasks().Pending(); }, 120000));
            driver.AdvanceTime(2000);
            ASSERT_EQ(wnd.Tasks().BatchList(page)->GetCount(), 3);
        }
        for (int page : pages) {
            wnd.OpenTool(page);
            driver.Pump();
            ASSERT_TRUE(driver.Click(&wnd, L"btn_conver"));
        }
        for (int page : pages) {
            ASSERT_TRUE(driver.PumpUntil([&] { return !wnd.Batch().IsRunning(page, 0); }, 300000));
        }
        driver.Pump();
        for (int i = 0; i < 3; ++i) {
            auto* f =
                dynamic_cast<CContainerUI*>(wnd.Tasks().BatchList(CMainFrameWnd::kPageFormat)->GetItemAt(i));
            auto* s =
                dynamic_cast<CContainerUI*>(wnd.Tasks().BatchList(CMainFrameWnd::kPageSpeed)->GetItemAt(i));
            EXPECT_EQ(f->FindSubControl(L"outfilesize")->GetText().rfind(L"大小：", 0), 0u) << i;
            EXPECT_EQ(s->FindSubControl(L"ProgressValue")->GetText(), L"100%") << i;
        }
        std::vector<platform::FolderEntry> outputs;
        platform::ListFolder(platform::FromUtf8(dir.File("out")), &outputs);
        EXPECT_EQ(outputs.size(), 6u);
        wnd.CloseSequence();
        driver.Pump();
        pool.Stop();
    }
    CAppUI::SetBackend(nullptr);
    CProgressTicker::SetSleepFunction(nullptr);
}
