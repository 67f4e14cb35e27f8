// The main window as Qt draws it (offscreen): the home view and the eight pages with rows, at
// 100 % and 150 %. Each picture is written to <build>/screenshots/ and checked for the things a
// broken layout loses first: the accent start button, the side bar's selected entry, rows drawn.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <functional>

#include "app/MainFrameWnd.h"
#include "common/Common.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "ui/TaskList.h"
#include "uikit/UIlib.h"
#include "uikit/qt/QtBackend.h"
#include "uikit_qt/QtTestSupport.h"

namespace {

using qttest::Near;
using qttest::PumpUntil;

// The bound on waiting for probed rows and a preview source: for broken code, not a delay.
constexpr int kRowsTimeoutMs = 20000;

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
            qttest::Backend().Pump();
        }
        qttest::Backend().SetScreenDpiOverride(0);
    }

    void Open() {
        qttest::Backend().SetScreenDpiOverride(GetParam());
        MainFrameOptions options;
        options.startUpdater = false;
        options.createPlayers = false;
        wnd = std::make_unique<CMainFrameWnd>(L"", options);
        ASSERT_TRUE(wnd->Create(nullptr, kMainWindowTitle, 0, 0, 900, 590));
        wnd->CenterWindow();
        wnd->ShowWindow(true);
        qttest::Backend().Pump();
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
        qttest::Backend().Pump();
        std::string path = qttest::ScreenshotPath(stem, GetParam());
        EXPECT_TRUE(qttest::Backend().SaveWindowImage(wnd.get(), platform::FromUtf8(path)));
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
    EXPECT_TRUE(Near(home.pixelColor(home.width() / 2, 5), QColor(0xF5F7FA), 6));
    UIRect tile = wnd->FindControl(L"btnAudioFormat")->GetPos();
    EXPECT_TRUE(Near(home.pixelColor((tile.left + tile.right) / 2, tile.bottom - 8), QColor(0xFFFFFF), 6));

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
        ASSERT_TRUE(PumpUntil([&] { return !wnd->Tasks().Pending(); }, kRowsTimeoutMs));
        if (page == CMainFrameWnd::kPageCut || page == CMainFrameWnd::kPageExtract) {
            ASSERT_TRUE(PumpUntil([&] { return !wnd->PreviewSource(page).empty(); }, kRowsTimeoutMs));
        }
        wnd->OpenTool(page);
        for (int i = 0; i < 20; ++i) qttest::Backend().Pump();
        if (page == CMainFrameWnd::kPageCut) {
            // A split into three parts to show the marks, and one segment in the output list.
            wnd->FindControl(L"btnCutAddToList")->Activate();
        }
        if (page == CMainFrameWnd::kPageExtract) wnd->FindControl(L"btnExtractAddToList")->Activate();
        QImage shot(QString::fromStdString(Save("main_page" + std::to_string(page))));
        ASSERT_FALSE(shot.isNull());
        // The start button is the accent fill; the selected side-bar text is accent too.
        UIRect start = wnd->FindControl(L"btn_conver")->GetPos();
        EXPECT_GT(qttest::CountNear(shot, qttest::ToQRect(start), QColor(0x347AEB), 12),
                  start.GetWidth() * start.GetHeight() / 3);
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, MainFrameGui, ::testing::Values(96, 144),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 96 ? std::string("At100") : std::string("At150");
                         });

}  // namespace

int main(int argc, char** argv) {
    return qttest::RunQtTests(argc, argv);
}
