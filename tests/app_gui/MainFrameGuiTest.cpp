// The main window as Qt draws it (offscreen): the home view and the eight pages with rows, at
// 100 % and 150 %. Each picture is written to <build>/screenshots/ and checked for the things a
// broken layout loses first: the accent start button, the side bar's selected entry, rows drawn.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <cstdlib>
#include <functional>

#include "app/MainFrameWnd.h"
#include "common/Common.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "ui/TaskList.h"
#include "uikit/UIlib.h"
#include "uikit/qt/QtBackend.h"
#include "uikit/qt/QtSurface.h"

bool qttest_PumpUntil(const std::function<bool()>& pred, int timeoutMs = 20000);

namespace {

CQtBackendUI* g_backend = nullptr;

std::string ScreenshotFolder() {
    const char* build = std::getenv("TW_BUILD_DIR");
    std::string folder = std::string(build && *build ? build : "/tmp") + "/screenshots/";
    platform::CreateFolders(platform::FromUtf8(folder));
    return folder;
}

bool Near(QRgb a, uint32_t argb, int tolerance = 24) {
    return std::abs(qRed(a) - static_cast<int>((argb >> 16) & 0xFF)) <= tolerance &&
           std::abs(qGreen(a) - static_cast<int>((argb >> 8) & 0xFF)) <= tolerance &&
           std::abs(qBlue(a) - static_cast<int>(argb & 0xFF)) <= tolerance;
}

// Counts pixels of a colour inside a rectangle of the image.
int CountColour(const QImage& image, const UIRect& rc, uint32_t argb) {
    int n = 0;
    for (int y = std::max(0, rc.top); y < std::min(image.height(), rc.bottom); ++y)
        for (int x = std::max(0, rc.left); x < std::min(image.width(), rc.right); ++x)
            if (Near(image.pixel(x, y), argb, 12)) ++n;
    return n;
}

class MainFrameGui : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() {
        media = new testsupport::TempDir();
        ASSERT_TRUE(testsupport::MakeTone(media->File("歌曲 一.mp3"), 12.0));
        ASSERT_TRUE(testsupport::MakeTone(media->File("interview-take2.wav"), 4.0));
        ASSERT_TRUE(testsupport::MakeVideo(media->File("holiday clip.mp4"), 3.0));
    }
    static void TearDownTestSuite() {
        delete media;
        media = nullptr;
    }
    void TearDown() override {
        if (wnd) {
            wnd.reset();
            g_backend->Pump();
        }
        g_backend->SetScreenDpiOverride(0);
    }

    void Open() {
        g_backend->SetScreenDpiOverride(GetParam());
        MainFrameOptions options;
        options.startUpdater = false;
        options.createPlayers = false;
        wnd = std::make_unique<CMainFrameWnd>(L"", options);
        ASSERT_TRUE(wnd->Create(nullptr, kMainWindowTitle, 0, 0, 900, 590));
        wnd->CenterWindow();
        wnd->ShowWindow(true);
        g_backend->Pump();
    }

    // Rows for a page from facts (no probe needed for the pictures).
    void AddRows(int page, const std::vector<std::wstring>& names) {
        for (const std::wstring& name : names) {
            MediaFacts facts;
            facts.fileName = name;
            facts.fileSize = 3456789;
            facts.durationMs = 187000;
            facts.bitRate = 192000;
            facts.sampleRate = 44100;
            facts.audioFormat = L"MPEG Audio";
            wnd->Tasks().AddRow(page, L"/home/user/音乐/" + name, facts);
        }
    }

    std::string Save(const std::string& stem) {
        g_backend->Pump();
        std::string suffix = GetParam() == 96 ? "" : "@150";
        std::string path = ScreenshotFolder() + stem + suffix + ".png";
        EXPECT_TRUE(g_backend->SaveWindowImage(wnd.get(), platform::FromUtf8(path)));
        return path;
    }

    static testsupport::TempDir* media;
    std::unique_ptr<CMainFrameWnd> wnd;
};
testsupport::TempDir* MainFrameGui::media = nullptr;

TEST_P(MainFrameGui, HomeViewAndEveryPageAreDrawn) {
    Open();
    const int scale = GetParam() * 100 / 96;
    QImage home(QString::fromStdString(Save("main_home")));
    ASSERT_FALSE(home.isNull());
    EXPECT_EQ(home.width(), 900 * scale / 100);
    // The title bar is chrome grey, the home view shows white tiles.
    EXPECT_TRUE(Near(home.pixel(home.width() / 2, 5), 0xFFF5F7FA, 6));
    UIRect tile = wnd->FindControl(L"btnAudioFormat")->GetPos();
    EXPECT_TRUE(Near(home.pixel((tile.left + tile.right) / 2, tile.bottom - 8), 0xFFFFFFFF, 6));

    const std::vector<std::vector<std::wstring>> rows = {
        {},
        {L"歌曲 一.mp3", L"interview-take2.wav", L"会议录音 2026-12-01.m4a"},
        {L"intro.mp3", L"chapter 1.mp3", L"chapter 2.mp3"},
        {},
        {L"podcast-episode-42.mp3", L"lecture.wav"},
        {L"quiet recording.wav", L"loud band.flac"},
        {L"street interview.wav", L"voice memo.m4a"},
        {L"holiday video voice.mp3", L"wedding speech.wav"}};
    for (int page = 0; page < 8; ++page) {
        SCOPED_TRACE(page);
        wnd->OpenTool(page);
        if (page == CMainFrameWnd::kPageCut) {
            wnd->InputDropFiles({media->WFile(L"歌曲 一.mp3"), media->WFile(L"interview-take2.wav")});
        } else if (page == CMainFrameWnd::kPageExtract) {
            wnd->InputDropFiles({media->WFile(L"holiday clip.mp4")});
        } else {
            AddRows(page, rows[page]);
        }
        // Rows that are probed arrive from the task list's threads; the window follows them.
        ASSERT_TRUE(qttest_PumpUntil([&] { return !wnd->Tasks().Pending(); }));
        if (page == CMainFrameWnd::kPageCut || page == CMainFrameWnd::kPageExtract) {
            ASSERT_TRUE(qttest_PumpUntil([&] { return !wnd->PreviewSource(page).empty(); }));
        }
        wnd->OpenTool(page);
        for (int i = 0; i < 20; ++i) g_backend->Pump();
        if (page == CMainFrameWnd::kPageCut) {
            // A split into three parts to show the marks, and one segment in the output list.
            wnd->FindControl(L"btnCutAddToList")->Activate();
        }
        if (page == CMainFrameWnd::kPageExtract) wnd->FindControl(L"btnExtractAddToList")->Activate();
        QImage shot(QString::fromStdString(Save("main_page" + std::to_string(page))));
        ASSERT_FALSE(shot.isNull());
        // The start button is the accent fill; the selected side-bar text is accent too.
        UIRect start = wnd->FindControl(L"btn_conver")->GetPos();
        EXPECT_GT(CountColour(shot, start, 0xFF347AEB), start.GetWidth() * start.GetHeight() / 3);
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, MainFrameGui, ::testing::Values(96, 144),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 96 ? std::string("At100") : std::string("At150");
                         });

}  // namespace

bool qttest_PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
    uint64_t end = platform::TickCountMs() + static_cast<uint64_t>(timeoutMs);
    while (!pred()) {
        if (platform::TickCountMs() > end) return false;
        g_backend->Pump();
        platform::SleepMs(5);
    }
    g_backend->Pump();
    return true;
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    platform::InitLocale();
    ::testing::InitGoogleTest(&argc, argv);
    int rc = 1;
    {
        CQtBackendUI backend;
        CAppUI::SetBackend(&backend);
        g_backend = &backend;
        if (!CSkinUI::LoadEmbedded()) return 1;
        rc = RUN_ALL_TESTS();
        CSkinUI::Release();
        CAppUI::SetBackend(nullptr);
        g_backend = nullptr;
    }
    return rc;
}
