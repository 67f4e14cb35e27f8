// The batch handlers inside the real main window: "main.xml", the task list's rows and its add
// path, the window's click routing, notices and done handling, on the headless backend.
#include <gtest/gtest.h>

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
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"
#include "ui/MsgWnd.h"
#include "ui/TaskList.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

namespace {

std::string U8(const std::wstring& s) {
    return platform::ToUtf8(s);
}

class BatchWindowTest : public ::testing::Test, protected testsupport::MainWindowFixture {
protected:
    static void SetUpTestSuite() {
        platform::InitLocale();
        CProgressTicker::SetSleepFunction([](uint32_t) {});
        CAudioProcess::OnInstallProbeHooks();
        ASSERT_TRUE(CSkinUI::LoadEmbedded());
    }
    static void TearDownTestSuite() { CProgressTicker::SetSleepFunction(nullptr); }

    void SetUp() override {
        ::setenv("XDG_CACHE_HOME", (dir_.Path() + "cache").c_str(), 1);
        platform::CreateFolders(dir_.WFile(L"in"));
        OpenOptions options;
        // The window stops the shared pool when it closes, and a stopped pool stays stopped: every
        // test queues on a pool of its own.
        options.poolThreads = 2;
        ASSERT_TRUE(Open(options));
    }
    void TearDown() override { CloseAfterBatches(120000); }

    std::wstring In(const std::wstring& name) const { return dir_.WFile(L"in/" + name); }
    void Add(int page, const std::vector<std::wstring>& paths) {
        ASSERT_EQ(wnd->CurrentPage(), page);
        ASSERT_TRUE(driver->Drop(wnd.get(), paths));
        ASSERT_TRUE(driver->PumpUntil([&] { return !wnd->Tasks().Pending(); }, 60000));
        driver->AdvanceTime(2000);  // the window follows arriving rows on a timer
    }
    static CControlUI* Child(CControlUI* row, const wchar_t* name) {
        return dynamic_cast<CContainerUI*>(row)->FindSubControl(name);
    }
    bool WaitIdle(int page) {
        return driver->PumpUntil(
            [&] {
                return !wnd->Batch().IsRunning(page, 0) && wnd->FindControl(L"btn_conver")->IsOwnVisible();
            },
            120000);
    }

    testsupport::TempDir dir_;
};

}  // namespace

TEST_F(BatchWindowTest, StartButtonRefusesAnEmptyFolderThenRunsAndComesBack) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.wav")), 1.0));
    wnd->OpenTool(CMainFrameWnd::kPageFormat);
    Add(CMainFrameWnd::kPageFormat, {In(L"tone.wav")});
    CListUI* list = wnd->Tasks().BatchList(CMainFrameWnd::kPageFormat);
    ASSERT_EQ(list->GetCount(), 1);
    CControlUI* row = list->GetItemAt(0);

    ASSERT_TRUE(driver->Click(wnd.get(), L"opt_CustomDir"));
    ASSERT_TRUE(driver->Click(wnd.get(), L"btn_conver"));
    driver->Pump();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, L"请选择文件保存路径,自定义路径为空！");
    EXPECT_FALSE(wnd->Batch().IsRunning(CMainFrameWnd::kPageFormat, 0));

    ASSERT_TRUE(driver->Click(wnd.get(), L"opt_OldDir"));
    ASSERT_TRUE(driver->Click(wnd.get(), L"btn_conver"));
    EXPECT_FALSE(wnd->FindControl(L"btn_conver")->IsOwnVisible());
    EXPECT_TRUE(wnd->FindControl(L"gif_conver")->IsOwnVisible());
    ASSERT_TRUE(WaitIdle(CMainFrameWnd::kPageFormat));
    EXPECT_FALSE(wnd->FindControl(L"gif_conver")->IsOwnVisible());
    const std::wstring output = Child(row, L"btn_openfile")->GetUserData();
    EXPECT_EQ(testsupport::ProbeCodec(U8(output)), "mp3") << U8(output);
    EXPECT_TRUE(Child(row, L"btn_openfile")->IsOwnVisible());
    EXPECT_TRUE(Child(row, L"btn_Removefile")->IsEnabled());

    // The row's own convert button converts it again, on a thread of its own.
    Child(row, L"btn_openfile")->SetVisible(false);
    Child(row, L"formatconvertaudio")->SetVisible(true);
    driver->Pump();
    ASSERT_TRUE(driver->Click(wnd.get(), L"formatconvertaudio"));
    ASSERT_TRUE(driver->PumpUntil([&] { return !wnd->Batch().IsSingleRunning(); }, 60000));
    const std::wstring again = Child(row, L"btn_openfile")->GetUserData();
    EXPECT_NE(again, output);
    EXPECT_EQ(testsupport::ProbeCodec(U8(again)), "mp3");
    EXPECT_TRUE(platform::IsRegularFile(output));
}

TEST_F(BatchWindowTest, EmptyCutListShowsTheMessageDialog) {
    wnd->OpenTool(CMainFrameWnd::kPageCut);
    int mode = 0;
    driver->AnswerNextModal([&](CWindowUI* modal) {
        if (auto* box = dynamic_cast<CMsgWnd*>(modal)) mode = box->GetMode();
        modal->Close(1);
    });
    ASSERT_TRUE(driver->Click(wnd.get(), L"btn_conver"));
    driver->Pump();
    EXPECT_EQ(mode, CMsgWnd::kOtherMsg);
    EXPECT_FALSE(wnd->Batch().IsRunning(CMainFrameWnd::kPageCut, 0));
    EXPECT_TRUE(wnd->FindControl(L"btn_conver")->IsOwnVisible());
}

TEST_F(BatchWindowTest, MergeEndsWithTheFinishedNoticeOfferingTheMergedFile) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"a.wav")), 1.0, 300));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"b.mp3")), 1.0, 500));
    wnd->OpenTool(CMainFrameWnd::kPageMerge);
    Add(CMainFrameWnd::kPageMerge, {In(L"a.wav"), In(L"b.mp3")});
    ASSERT_TRUE(driver->Click(wnd.get(), L"btn_conver"));
    ASSERT_TRUE(WaitIdle(CMainFrameWnd::kPageMerge));
    ASSERT_TRUE(driver->PumpUntil([&] { return !messages.empty(); }, 10000));
    const std::wstring merged = wnd->Batch().MergeOutputPath();
    EXPECT_EQ(messages.back().text, L"文件合并完成！ " + merged);
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(merged)), 2.0, 0.2);
}
