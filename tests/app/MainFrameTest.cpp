// The main window headless on the real layout and skin: page switching and the empty-list
// pictures, drops, notices, speed and volume steps, the start button across pages, the cut page's
// clear button, typed times and dragged cursors, split marks, segment rows, the merge notice and
// the close sequence. Media are generated with ffmpeg and probed for real.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/BatchHandlers.h"
#include "app/MainFrameWnd.h"
#include "common/Common.h"
#include "engine/WorkThreadPool.h"
#include "platform/Platform.h"
#include "player/VlcKeeper.h"  // the preview players' plugins stay loaded for the leak checker
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"
#include "ui/Messages.h"
#include "ui/TaskList.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

namespace {

testsupport::TempDir* g_media = nullptr;
std::wstring Media(const std::wstring& name) {
    return g_media->WFile(name);
}

class MainFrameTest : public ::testing::Test, protected testsupport::MainWindowFixture {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(CSkinUI::LoadEmbedded());
        g_media = new testsupport::TempDir();
        const std::string d = g_media->Path();
        ASSERT_TRUE(testsupport::MakeTone(d + "tone.mp3", 10.0));
        ASSERT_TRUE(testsupport::MakeTone(d + "short.wav", 2.0));
        ASSERT_TRUE(testsupport::MakeTone(d + "second.wav", 1.5));
        ASSERT_TRUE(testsupport::MakeVideo(d + "video.mp4", 3.0));
    }
    static void TearDownTestSuite() {
        delete g_media;
        g_media = nullptr;
    }

    // The fixture discards a window still open when the test ends.
    void Open(int dpi = 96) {
        OpenOptions options;
        options.width = 900;
        options.height = 590;
        options.dpi = dpi;
        ASSERT_TRUE(MainWindowFixture::Open(options));
    }

    CControlUI* C(const std::wstring& name) const { return wnd->FindControl(name); }
    CListUI* L(const std::wstring& name) const { return wnd->FindControlAs<CListUI>(name); }
    int Rows(const std::wstring& name) const { return L(name) ? L(name)->GetCount() : -1; }
    bool Visible(const std::wstring& name) const { return C(name) && C(name)->IsVisible(); }

    // Drops files on the window and waits until their rows are in.
    void DropAndWait(const std::vector<std::wstring>& paths) {
        ASSERT_TRUE(driver->Drop(wnd.get(), paths));
        ASSERT_TRUE(driver->PumpUntil([&] { return !wnd->Tasks().Pending(); }, 20000));
        driver->AdvanceTime(200);  // the window's row watcher follows the new rows
    }
    // A child of the only row of a list.
    CControlUI* RowChild(const std::wstring& list, const std::wstring& child, int row = 0) const {
        CListUI* l = L(list);
        if (!l || row >= l->GetCount()) return nullptr;
        return l->GetItemAt(row)->FindControlByName(child);
    }
    int TabIndex(const std::wstring& name) const {
        auto* tab = wnd->FindControlAs<CTabLayoutUI>(name);
        return tab ? tab->GetCurSel() : -1;
    }
};

TEST_F(MainFrameTest, PagesSwitchAndShowTheirEmptyListPictures) {
    Open();
    EXPECT_EQ(TabIndex(L"tab_switch"), 0);
    EXPECT_FALSE(Visible(L"btnBackHome"));
    EXPECT_EQ(C(L"versionNumber")->GetText().rfind(L"当前版本：", 0), 0u);
    EXPECT_GT(C(L"versionNumber")->GetText().size(), std::wstring(L"当前版本：").size());

    // Home tiles open their pages; the home view lists format first but indexes are page indexes.
    const struct {
        const wchar_t* tile;
        int page;
        const wchar_t* stem;
        const wchar_t* side;
    } kTools[] = {{L"btnAudioFormat", 1, L"audioformat", L"opt_audioformat"},
                  {L"btnAudioCut", 0, L"audiocut", L"opt_audiocut"},
                  {L"btnAudioMerge", 2, L"audiomerge", L"opt_audiomerge"},
                  {L"btnAudioExtract", 3, L"audioextract", L"opt_audioextract"},
                  {L"btnAudioSpeed", 4, L"audiospeed", L"opt_audiospeed"},
                  {L"btnAudioVolume", 5, L"audiovolume", L"opt_audiovolume"},
                  {L"btnAudioNoise", 6, L"audionoise", L"opt_audinoiseclear"},
                  {L"btnAudioAddBGM", 7, L"addbgm", L"opt_audinaddbgm"}};
    for (const auto& t : kTools) {
        SCOPED_TRACE(t.tile);
        ASSERT_TRUE(driver->Click(wnd.get(), L"btnBackHome") || TabIndex(L"tab_switch") == 0);
        ASSERT_TRUE(driver->Click(wnd.get(), t.tile));
        EXPECT_TRUE(wnd->IsToolView());
        EXPECT_EQ(wnd->CurrentPage(), t.page);
        EXPECT_EQ(TabIndex(L"tab_AudioMidViewer"), 0);
        std::wstring stem = t.stem;
        auto* picture = dynamic_cast<CButtonUI*>(C(L"btn_addcadfile"));
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->GetNormalImage(), L"file='" + stem + L"_1.png' dest='385,28,595,342'");
        EXPECT_EQ(picture->GetHotImage(), L"file='" + stem + L"_2.png' dest='385,28,595,342'");
        EXPECT_TRUE(dynamic_cast<COptionUI*>(C(t.side))->IsSelected());
        EXPECT_EQ(Visible(L"formatTypeName"), t.page == 1);
        EXPECT_EQ(Visible(L"comboformatType"), t.page == 1);
        EXPECT_EQ(Visible(L"btn_batchaddbgm"), t.page == 7);
        EXPECT_TRUE(Visible(L"btnBackHome"));
    }
    // The side bar switches pages too.
    ASSERT_TRUE(driver->Click(wnd.get(), L"opt_audiocut"));
    EXPECT_EQ(wnd->CurrentPage(), 0);
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnBackHome"));
    EXPECT_FALSE(wnd->IsToolView());

    // The output folder choice shows and hides the path and the picker.
    wnd->OpenTool(1);
    driver->Pump();
    EXPECT_FALSE(Visible(L"outpath"));
    ASSERT_TRUE(driver->SelectOption(wnd.get(), L"opt_CustomDir"));
    EXPECT_TRUE(Visible(L"outpath"));
    EXPECT_TRUE(Visible(L"btnchangepath"));
    backend->QueueFolderChoice(g_media->WPath());
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnchangepath"));
    EXPECT_EQ(C(L"outpath")->GetText().rfind(g_media->WPath().substr(0, g_media->WPath().size() - 1), 0), 0u);
    ASSERT_TRUE(driver->SelectOption(wnd.get(), L"opt_OldDir"));
    EXPECT_FALSE(Visible(L"outpath"));
}

TEST_F(MainFrameTest, DropsAreIgnoredAtHomeFilteredOnPagesAndDuplicatesGiveNoticeZero) {
    Open();
    DropAndWait({Media(L"tone.mp3"), Media(L"video.mp4")});
    for (const wchar_t* list : {L"list_cutfile", L"list_formatfile", L"list_extractfile", L"list_speedfile"})
        EXPECT_EQ(Rows(list), 0) << list;

    wnd->OpenTool(CMainFrameWnd::kPageCut);
    DropAndWait({Media(L"tone.mp3"), Media(L"video.mp4")});
    EXPECT_EQ(Rows(L"list_cutfile"), 1);  // the cut page takes audio only
    EXPECT_EQ(TabIndex(L"tab_AudioMidViewer"), 1);
    // The preview follows the first row.
    EXPECT_EQ(wnd->PreviewSource(0), Media(L"tone.mp3"));
    EXPECT_TRUE(C(L"btnCutAddToList")->IsEnabled());
    EXPECT_TRUE(C(L"CutPlaySlider")->IsEnabled());

    wnd->OpenTool(CMainFrameWnd::kPageExtract);
    DropAndWait({Media(L"tone.mp3"), Media(L"video.mp4")});
    ASSERT_GE(Rows(L"list_extractfile"), 1);
    bool hasVideo = false;
    for (int i = 0; i < Rows(L"list_extractfile"); ++i)
        hasVideo |= L(L"list_extractfile")->GetItemAt(i)->GetUserData() == Media(L"video.mp4");
    EXPECT_TRUE(hasVideo);

    // The same file again on the cut page: notice 0, no second row.
    wnd->OpenTool(CMainFrameWnd::kPageCut);
    messages.clear();
    DropAndWait({Media(L"tone.mp3")});
    driver->Pump();
    EXPECT_EQ(Rows(L"list_cutfile"), 1);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, L"无需重复添加文件,文件已存在转换列表中");

    // Notices other than the known ones show nothing; 4 and 7 have their texts.
    messages.clear();
    wnd->PostMessage(MSG_NOTICE, 2);
    wnd->PostMessage(MSG_NOTICE, 99);
    driver->Pump();
    EXPECT_TRUE(messages.empty());
    wnd->PostMessage(MSG_NOTICE, 4);
    wnd->PostMessage(MSG_NOTICE, 7);
    driver->Pump();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, L"请等待文件转换完成,文件转换过程中无法添加文件到文件列表");
    EXPECT_EQ(messages[1].text, L"请选择文件保存路径,自定义路径为空！");

    // Player messages from a player that is not one of the previews are ignored.
    wnd->PostMessage(MSG_PLAYER_POSITION, 0x1234);
    wnd->PostMessage(MSG_PLAYER_ENDED, 0x1234);
    driver->Pump();
    EXPECT_EQ(C(L"cutMediaDisplayTime")->GetText(),
              L"00:00:00.000/" + CCommon::FormatTimeCode(wnd->PreviewFacts(0).durationMs));
}

TEST_F(MainFrameTest, SpeedAndVolumeRowsStepThroughTheWindow) {
    Open();
    wnd->OpenTool(CMainFrameWnd::kPageSpeed);
    DropAndWait({Media(L"short.wav")});
    ASSERT_EQ(Rows(L"list_speedfile"), 1);
    ASSERT_TRUE(driver->MoveSlider(wnd.get(), L"sliderprogress", 60));
    EXPECT_EQ(RowChild(L"list_speedfile", L"sliderValue")->GetText(), L"1.00倍");

    wnd->OpenTool(CMainFrameWnd::kPageVolume);
    DropAndWait({Media(L"short.wav")});
    ASSERT_EQ(Rows(L"list_volumefile"), 1);
    CControlUI* slider = RowChild(L"list_volumefile", L"sliderprogress");
    ASSERT_NE(slider, nullptr);
    // The driver finds sliders by name (the hidden speed row's comes first): this one is moved
    // as the user's release of the thumb would.
    dynamic_cast<CSliderUI*>(slider)->SetValue(80);
    slider->SendNotify(L"valuechanged");
    driver->Pump();
    EXPECT_EQ(RowChild(L"list_volumefile", L"sliderValue")->GetText(), L"1.5倍");
    EXPECT_EQ(RowChild(L"list_speedfile", L"sliderValue")->GetText(), L"1.00倍");
}

TEST_F(MainFrameTest, StartButtonFollowsTheBatchOfItsOwnPage) {
    Open();
    wnd->OpenTool(CMainFrameWnd::kPageVolume);
    DropAndWait({Media(L"short.wav")});
    ASSERT_EQ(Rows(L"list_volumefile"), 1);
    EXPECT_TRUE(Visible(L"btn_conver"));
    EXPECT_FALSE(Visible(L"gif_conver"));

    ASSERT_TRUE(driver->Click(wnd.get(), L"btn_conver"));
    ASSERT_TRUE(wnd->Batch().IsRunning(CMainFrameWnd::kPageVolume, 0));
    EXPECT_FALSE(Visible(L"btn_conver"));
    EXPECT_TRUE(Visible(L"gif_conver"));

    // Another page has its own (idle) button.
    wnd->OpenTool(CMainFrameWnd::kPageSpeed);
    driver->Pump();
    EXPECT_TRUE(Visible(L"btn_conver"));
    EXPECT_FALSE(Visible(L"gif_conver"));

    // The volume batch ends while the speed page shows: its done message changes nothing here.
    ASSERT_TRUE(
        driver->PumpUntil([&] { return !wnd->Batch().IsRunning(CMainFrameWnd::kPageVolume, 0); }, 60000));
    driver->Pump();
    wnd->PostMessage(MSG_BATCH_DONE, 0, CMainFrameWnd::kPageVolume);
    driver->Pump();
    EXPECT_TRUE(Visible(L"btn_conver"));
    EXPECT_FALSE(Visible(L"gif_conver"));

    // Back on the volume page the button shows again and the row can be removed again.
    wnd->OpenTool(CMainFrameWnd::kPageVolume);
    driver->Pump();
    EXPECT_TRUE(Visible(L"btn_conver"));
    EXPECT_FALSE(Visible(L"gif_conver"));
    wnd->PostMessage(MSG_BATCH_DONE, 0, CMainFrameWnd::kPageVolume);
    driver->Pump();
    EXPECT_TRUE(RowChild(L"list_volumefile", L"btn_Removefile")->IsEnabled());
}

TEST_F(MainFrameTest, CutPageClearButtonEmptiesSourcesAndPreview) {
    Open();
    wnd->OpenTool(CMainFrameWnd::kPageCut);
    DropAndWait({Media(L"tone.mp3"), Media(L"short.wav")});
    ASSERT_EQ(Rows(L"list_cutfile"), 2);
    ASSERT_EQ(wnd->PreviewSource(0), Media(L"tone.mp3"));
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnCutAddToList"));
    ASSERT_EQ(Rows(L"list_cutoutfile"), 1);
    ASSERT_TRUE(driver->Type(wnd.get(), L"editCutName", L"piece"));

    // Selecting the second source moves the preview to it.
    ASSERT_TRUE(driver->ClickListItem(wnd.get(), L"list_cutfile", 1));
    EXPECT_EQ(wnd->PreviewSource(0), Media(L"short.wav"));

    ASSERT_TRUE(driver->Click(wnd.get(), L"btnCutClearList"));
    EXPECT_EQ(Rows(L"list_cutfile"), 0);
    EXPECT_TRUE(wnd->PreviewSource(0).empty());
    EXPECT_EQ(wnd->PreviewFacts(0).durationMs, 0u);
    EXPECT_FALSE(C(L"btnCutAddToList")->IsEnabled());
    EXPECT_FALSE(C(L"CutPlaySlider")->IsEnabled());
    EXPECT_FALSE(C(L"btnLeftCursor")->IsVisible());
    EXPECT_FALSE(C(L"btnRightCursor")->IsVisible());
    EXPECT_EQ(C(L"editCutName")->GetText(), L"");
    EXPECT_EQ(dynamic_cast<CEditUI*>(C(L"editCutName"))->GetTipValue(), L"默认片段名，可以修改");
    EXPECT_EQ(C(L"cutMediaWnd")->GetAttribute(L"bkimage"), L"BkStatic.png");
    EXPECT_EQ(TabIndex(L"tab_AudioMidViewer"), 0);
    // The segment list stays until the page is entered again with no sources.
    EXPECT_EQ(Rows(L"list_cutoutfile"), 1);
    wnd->OpenTool(CMainFrameWnd::kPageFormat);
    wnd->OpenTool(CMainFrameWnd::kPageCut);
    EXPECT_EQ(Rows(L"list_cutoutfile"), 0);
    EXPECT_EQ(wnd->CutMethodIndex(), 0);

    // "btncutclearout" empties the segment list alone.
    DropAndWait({Media(L"tone.mp3")});
    ASSERT_EQ(Rows(L"list_cutfile"), 1);
    ASSERT_EQ(wnd->PreviewSource(0), Media(L"tone.mp3"));
    ASSERT_TRUE(C(L"btnCutAddToList")->IsEnabled());
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnCutAddToList"));
    ASSERT_EQ(Rows(L"list_cutoutfile"), 1);
    ASSERT_TRUE(driver->Click(wnd.get(), L"btncutclearout"));
    EXPECT_EQ(Rows(L"list_cutoutfile"), 0);
    EXPECT_EQ(Rows(L"list_cutfile"), 1);
}

TEST_F(MainFrameTest, TypedStartTimeMovesTheCursorOneSecondAfterTheLastKeystroke) {
    Open();
    wnd->OpenTool(CMainFrameWnd::kPageCut);
    DropAndWait({Media(L"tone.mp3")});
    uint32_t duration = wnd->PreviewFacts(0).durationMs;
    ASSERT_GT(duration, 9000u);
    wnd->UpdateLayout();
    const int trackLeft = C(L"CutPlaySlider")->GetPos().left;
    CControlUI* left = C(L"btnLeftCursor");
    CControlUI* right = C(L"btnRightCursor");
    ASSERT_TRUE(left->IsVisible());
    EXPECT_EQ(left->GetPos().left, trackLeft - 6);
    EXPECT_EQ(right->GetPos().left, trackLeft + 130);

    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeStartSeconds", L"0"));
    driver->AdvanceTime(900);
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeStartSeconds", L"5", false));
    driver->AdvanceTime(999);
    EXPECT_EQ(left->GetPos().left, trackLeft - 6);  // not yet: the last keystroke restarted the wait
    driver->AdvanceTime(1);
    int expected = trackLeft + static_cast<int>(5000.0 / duration * 130) - 6;
    EXPECT_NEAR(left->GetPos().left, expected, 1);

    // The end cursor follows a typed end; a start typed past the end takes the end time and
    // stops 6 pixels before the end cursor.
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeEndSeconds", L"08"));
    driver->AdvanceTime(1000);
    int endLeft = right->GetPos().left;
    EXPECT_NEAR(endLeft, trackLeft + static_cast<int>(8000.0 / duration * 130), 1);
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeStartSeconds", L"09"));
    driver->AdvanceTime(1000);
    EXPECT_EQ(C(L"cuttimeStartSeconds")->GetText(), L"08");
    EXPECT_EQ(left->GetPos().left, endLeft - 6);
}

TEST_F(MainFrameTest, DraggedLeftCursorStopsBeforeTheRightOneAndSetsTheStartTime) {
    Open();
    wnd->OpenTool(CMainFrameWnd::kPageCut);
    DropAndWait({Media(L"tone.mp3")});
    uint32_t duration = wnd->PreviewFacts(0).durationMs;
    wnd->UpdateLayout();
    const int trackLeft = C(L"CutPlaySlider")->GetPos().left;
    CControlUI* left = C(L"btnLeftCursor");
    CControlUI* right = C(L"btnRightCursor");
    UIPoint grab = left->GetPos().Center();
    ASSERT_TRUE(driver->MouseDown(wnd.get(), grab));
    ASSERT_TRUE(driver->MouseMove(wnd.get(), {trackLeft + 59, grab.y}, true));
    // Offset x + 6 - track left = 65 of 130: half the duration.
    EXPECT_EQ(left->GetPos().left, trackLeft + 59);
    EXPECT_EQ(CCommon::OnParseTimeCode(L"00:00:" + C(L"cuttimeStartSeconds")->GetText() + L"." +
                                       C(L"cuttimeStartMillSeconds")->GetText()),
              static_cast<uint32_t>(std::lround(0.5 * duration)));
    ASSERT_TRUE(driver->MouseMove(wnd.get(), {trackLeft + 400, grab.y}, true));
    EXPECT_EQ(left->GetPos().left, right->GetPos().left - 6);
    ASSERT_TRUE(driver->MouseUp(wnd.get(), {trackLeft + 400, grab.y}));
    // No cursor follows the mouse any more.
    ASSERT_TRUE(driver->MouseMove(wnd.get(), {trackLeft, grab.y}, true));
    EXPECT_EQ(left->GetPos().left, right->GetPos().left - 6);
}

TEST_F(MainFrameTest, SplitMarksShowTheNumberOfPartsAt100And150Percent) {
    EXPECT_EQ(CMainFrameWnd::SplitMarkPositions(4, 96), (std::vector<int>{78, 110, 142, 174, 206}));
    EXPECT_EQ(CMainFrameWnd::SplitMarkPositions(4, 144), (std::vector<int>{75, 107, 139, 171, 203}));
    EXPECT_EQ(CMainFrameWnd::SplitMarkPositions(20, 96).size(), 12u);  // twelve marks exist
    EXPECT_EQ(CMainFrameWnd::LengthSplitCount(10000, 3000), 3);        // a rest of 1000 ms is not counted
    EXPECT_EQ(CMainFrameWnd::LengthSplitCount(10100, 3000), 4);
    EXPECT_EQ(CMainFrameWnd::LengthSplitCount(10001, 3000), 4);
    EXPECT_EQ(CMainFrameWnd::LengthSplitCount(10002, 3000), 4);
    EXPECT_EQ(CMainFrameWnd::LengthSplitCount(11001, 3000), 4);
    EXPECT_EQ(CMainFrameWnd::LengthSplitCount(10000, 20000), 1);
    EXPECT_EQ(CMainFrameWnd::LengthSplitCount(10000, 0), 1);

    for (int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        Open(dpi);
        wnd->OpenTool(CMainFrameWnd::kPageCut);
        DropAndWait({Media(L"tone.mp3")});
        ASSERT_TRUE(driver->Click(wnd.get(), L"opt_audioAverage"));
        EXPECT_EQ(wnd->CutMethodIndex(), 1);
        EXPECT_FALSE(C(L"btnLeftCursor")->IsVisible());
        ASSERT_TRUE(driver->PickComboItem(wnd.get(), L"comboSegMentNum", 2));  // "4"
        std::vector<int> xs = CMainFrameWnd::SplitMarkPositions(4, dpi);
        for (int k = 1; k <= 12; ++k) {
            CControlUI* mark = C(L"PlayMark" + std::to_wstring(k));
            ASSERT_NE(mark, nullptr);
            EXPECT_EQ(mark->IsVisible(), k <= 5) << k;
            if (k <= 5) {
                int x = xs[k - 1];
                EXPECT_EQ(mark->GetAttribute(L"pos"),
                          std::to_wstring(x) + L",12," + std::to_wstring(x + 2) + L",30");
            }
        }
        // Back to manual: cursors again, marks gone.
        ASSERT_TRUE(driver->Click(wnd.get(), L"opt_audioManual"));
        EXPECT_TRUE(C(L"btnLeftCursor")->IsVisible());
        EXPECT_FALSE(C(L"PlayMark1")->IsVisible());
        Discard();
        driver->Pump();
    }
}

TEST_F(MainFrameTest, SegmentRowsOfTheThreeCutMethodsAndOfTheExtractPage) {
    using S = SegmentRange;
    EXPECT_EQ(CMainFrameWnd::CutSegments(0, 10000, 1000, 4000, 2, 0), (std::vector<S>{{1000, 4000}}));
    EXPECT_TRUE(CMainFrameWnd::CutSegments(0, 10000, 4000, 4000, 2, 0).empty());
    EXPECT_EQ(CMainFrameWnd::CutSegments(1, 10000, 0, 0, 3, 0),
              (std::vector<S>{{0, 3333}, {3333, 6666}, {6666, 10000}}));
    // By length: a tail of zero length is not added, any other tail is kept.
    EXPECT_EQ(CMainFrameWnd::CutSegments(2, 12000, 0, 0, 2, 6000),
              (std::vector<S>{{0, 6000}, {6000, 12000}}));
    EXPECT_EQ(CMainFrameWnd::CutSegments(2, 13500, 0, 0, 2, 6000),
              (std::vector<S>{{0, 6000}, {6000, 12000}, {12000, 13500}}));
    EXPECT_EQ(CMainFrameWnd::CutSegments(2, 12500, 0, 0, 2, 6000),
              (std::vector<S>{{0, 6000}, {6000, 12000}, {12000, 12500}}));
    // Below 5001 ms the length makes one piece and the rest.
    EXPECT_EQ(CMainFrameWnd::CutSegments(2, 12000, 0, 0, 2, 5000),
              (std::vector<S>{{0, 5000}, {5000, 12000}}));
    EXPECT_EQ(CMainFrameWnd::CutSegments(2, 3000, 0, 0, 2, 5000), (std::vector<S>{{0, 3000}}));
    EXPECT_EQ(CMainFrameWnd::SegmentExtension(L"/a/b.AAC"), L".mp3");
    EXPECT_EQ(CMainFrameWnd::SegmentExtension(L"/a/b.amr"), L".mp3");
    EXPECT_EQ(CMainFrameWnd::SegmentExtension(L"/a/b.WAV"), L".WAV");

    Open();
    wnd->OpenTool(CMainFrameWnd::kPageCut);
    DropAndWait({Media(L"tone.mp3")});
    auto names = [&](const std::wstring& list) {
        std::vector<std::wstring> out;
        for (int i = 0; i < Rows(list); ++i) out.push_back(RowChild(list, L"filename", i)->GetText());
        return out;
    };
    ASSERT_TRUE(driver->Click(wnd.get(), L"opt_audioAverage"));
    ASSERT_TRUE(driver->PickComboItem(wnd.get(), L"comboSegMentNum", 0));  // "2"
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnCutAddToList"));
    EXPECT_EQ(names(L"list_cutoutfile"), (std::vector<std::wstring>{L"tone_1.mp3", L"tone_2.mp3"}));
    uint32_t duration = wnd->PreviewFacts(0).durationMs;
    EXPECT_EQ(RowChild(L"list_cutoutfile", L"filetime", 1)->GetText(),
              CCommon::FormatTimeCode(duration / 2) + L" - " + CCommon::FormatTimeCode(duration));

    ASSERT_TRUE(driver->Click(wnd.get(), L"opt_audiotimelen"));
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeLengthSeconds", L"06"));
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnCutAddToList"));
    EXPECT_EQ(names(L"list_cutoutfile"),
              (std::vector<std::wstring>{L"tone_1.mp3", L"tone_2.mp3", L"tone_3.mp3", L"tone_4.mp3"}));

    ASSERT_TRUE(driver->Click(wnd.get(), L"opt_audioManual"));
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeStartSeconds", L"02"));
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeEndSeconds", L"04"));
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeEndMillSeconds", L"000"));
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnCutAddToList"));
    ASSERT_EQ(Rows(L"list_cutoutfile"), 5);
    EXPECT_EQ(RowChild(L"list_cutoutfile", L"filetime", 4)->GetText(), L"00:00:02.000 - 00:00:04.000");
    EXPECT_EQ(L(L"list_cutoutfile")->GetItemAt(4)->GetUserData(), Media(L"tone.mp3"));

    // Extract: one segment per click, named from the typed name (or the source) with ".MP3".
    wnd->OpenTool(CMainFrameWnd::kPageExtract);
    DropAndWait({Media(L"video.mp4")});
    ASSERT_EQ(wnd->PreviewSource(3), Media(L"video.mp4"));
    ASSERT_TRUE(driver->Type(wnd.get(), L"editExtractName", L"clip"));
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnExtractAddToList"));
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnExtractAddToList"));
    ASSERT_TRUE(driver->Type(wnd.get(), L"editExtractName", L""));
    C(L"editExtractName")->SetText(L"");
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnExtractAddToList"));
    EXPECT_EQ(names(L"list_extractoutfile"),
              (std::vector<std::wstring>{L"clip_1.MP3", L"clip_2.MP3", L"video_3.MP3"}));
}

TEST_F(MainFrameTest, MergeBatchEndsWithNoticeEightNamingTheMergedFile) {
    Open();
    wnd->OpenTool(CMainFrameWnd::kPageMerge);
    DropAndWait({Media(L"short.wav"), Media(L"second.wav")});
    ASSERT_EQ(Rows(L"list_mergefile"), 2);
    messages.clear();
    ASSERT_TRUE(driver->Click(wnd.get(), L"btn_conver"));
    ASSERT_TRUE(driver->PumpUntil(
        [&] {
            return std::any_of(messages.begin(), messages.end(),
                               [](const Shown& s) { return s.text.rfind(L"文件合并完成！", 0) == 0; });
        },
        120000));
    auto it = std::find_if(messages.begin(), messages.end(),
                           [](const Shown& s) { return s.text.rfind(L"文件合并完成！", 0) == 0; });
    EXPECT_EQ(it->kind, 6);
    std::wstring path = wnd->Batch().MergeOutputPath();
    EXPECT_EQ(it->text, L"文件合并完成！ " + path);
    EXPECT_TRUE(platform::IsRegularFile(path));
    platform::DeleteFilePath(path);
}

TEST_F(MainFrameTest, CloseAfterConfirmationStopsThePool) {
    Open();
    ASSERT_GT(CSingletonWorkThreadPool::Instance().ThreadCount(), 0u);
    // Declined: nothing happens.
    answer = 2;
    ASSERT_TRUE(driver->Click(wnd.get(), L"closebtn"));
    EXPECT_FALSE(wnd->ClosedBySequence());
    EXPECT_TRUE(backend->IsShown(wnd.get()));
    EXPECT_GT(CSingletonWorkThreadPool::Instance().ThreadCount(), 0u);
    // The real message box, answered with its OK button.
    wnd->SetMessageHook(nullptr);
    driver->AnswerNextModal([](CWindowUI* box) {
        auto* panel = dynamic_cast<CContainerUI*>(box->FindControl(L"VerExit"));
        ASSERT_NE(panel, nullptr);
        ASSERT_TRUE(panel->IsVisible());
        panel->FindSubControl(L"btn_ok")->Activate();
    });
    ASSERT_TRUE(driver->Click(wnd.get(), L"closebtn"));
    driver->Pump();
    EXPECT_TRUE(wnd->ClosedBySequence());
    EXPECT_EQ(CSingletonWorkThreadPool::Instance().ThreadCount(), 0u);
    EXPECT_FALSE(wnd->IsCreated());
}

TEST_F(MainFrameTest, MenuAndUpdateMessagesDoNotStallTheWindow) {
    Open();
    // 1528 with no updater beside the test: a bounded number of attempts, then on.
    wnd->PostMessage(CMainFrameWnd::kMsgUpdateLaunch);
    driver->Pump();
    // The about entry of the main menu.
    driver->AnswerNextModal([](CWindowUI* dlg) { dlg->Close(1); });
    std::wstring item = L"menu_about";
    wnd->SendMessage(UIMSG_MENUCLICK, reinterpret_cast<uintptr_t>(&item));
    driver->Pump();
    EXPECT_EQ(driver->PendingAnswers(), 0);  // the about box ran modally and was answered
    EXPECT_TRUE(backend->IsShown(wnd.get()));
    // A burst of display-scale changes: at most one is applied per 100 ms, and the last one of
    // the burst when the interval ends, so the window ends at the screen's scale.
    UIRect suggested{0, 0, 1350, 885};
    wnd->SendMessage(UIMSG_DPICHANGED, 144, reinterpret_cast<intptr_t>(&suggested));
    EXPECT_EQ(wnd->GetDPI().GetDPI(), 144);
    wnd->SendMessage(UIMSG_DPICHANGED, 120, reinterpret_cast<intptr_t>(&suggested));
    wnd->SendMessage(UIMSG_DPICHANGED, 96, reinterpret_cast<intptr_t>(&suggested));
    EXPECT_EQ(wnd->GetDPI().GetDPI(), 144);
    driver->AdvanceTime(100);
    EXPECT_EQ(wnd->GetDPI().GetDPI(), 96);
    driver->AdvanceTime(100);
    wnd->SendMessage(UIMSG_DPICHANGED, 144, reinterpret_cast<intptr_t>(&suggested));
    EXPECT_EQ(wnd->GetDPI().GetDPI(), 144) << "a change after a quiet interval applies at once";
}

}  // namespace

namespace {

// The previews with real players (libvlc, dummy outputs): the position label follows playback,
// the play button toggles, and the close sequence releases the players.
TEST_F(MainFrameTest, CutPreviewPlaysAndItsLabelFollowsThePlayer) {
    OpenOptions options;
    options.width = 900;
    options.height = 590;
    options.instantBatch = false;
    options.frame.createPlayers = true;
    options.frame.playerArgs = {"--aout=dummy", "--vout=dummy", "--no-xlib", "-q"};
    ASSERT_TRUE(MainWindowFixture::Open(options));
    wnd->OpenTool(CMainFrameWnd::kPageCut);
    DropAndWait({Media(L"tone.mp3")});
    ASSERT_EQ(wnd->PreviewSource(0), Media(L"tone.mp3"));
    CControlUI* label = C(L"cutMediaDisplayTime");
    const std::wstring total = L"/" + CCommon::FormatTimeCode(wnd->PreviewFacts(0).durationMs);
    ASSERT_TRUE(driver->PumpUntil(
        [&] {
            std::wstring text = label->GetText();
            return text.rfind(L"00:00:00.000", 0) != 0 && text.find(total) != std::wstring::npos;
        },
        30000))
        << platform::ToUtf8(label->GetText());
    ASSERT_TRUE(driver->PumpUntil([&] { return wnd->PreviewPlaying(0); }, 30000));
    EXPECT_EQ(dynamic_cast<CButtonUI*>(C(L"btnCutPlay"))->GetNormalImage(), L"file='btnPause_01.png'");
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnCutStop"));
    EXPECT_EQ(dynamic_cast<CButtonUI*>(C(L"btnCutPlay"))->GetNormalImage(), L"file='btnPlay_01.png'");
    // The library pauses asynchronously: the play button is pressed once it has.
    ASSERT_TRUE(driver->PumpUntil([&] { return !wnd->PreviewPlaying(0); }, 30000));
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnCutPlay"));
    EXPECT_EQ(dynamic_cast<CButtonUI*>(C(L"btnCutPlay"))->GetNormalImage(), L"file='btnPause_01.png'");
    wnd->CloseSequence();
    driver->Pump();
    EXPECT_TRUE(wnd->ClosedBySequence());
}

}  // namespace

namespace {

// The speaker button opens the volume pop-up at the stored preview volume; moving its slider
// changes the one volume both previews share.
TEST_F(MainFrameTest, VolumePopupShowsAndChangesTheSharedPreviewVolume) {
    Open();
    wnd->OpenTool(CMainFrameWnd::kPageCut);
    DropAndWait({Media(L"short.wav")});
    const int before = wnd->PreviewVolume();
    ASSERT_TRUE(driver->Click(wnd.get(), L"btnCutSpeaker"));
    CWindowUI* popup = nullptr;
    for (CWindowUI* w : CAppUI::GetWindows())
        if (w != wnd.get() && w->FindControl(L"vlomueslider")) popup = w;
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->FindControl(L"SliderVlaue")->GetText(), std::to_wstring(before) + L"%");
    EXPECT_EQ(popup->FindControlAs<CSliderUI>(L"vlomueslider")->GetValue(), before);
    ASSERT_TRUE(driver->MoveSlider(popup, L"vlomueslider", 80));
    EXPECT_EQ(wnd->PreviewVolume(), 80);
    EXPECT_EQ(popup->FindControl(L"SliderVlaue")->GetText(), L"80%");
}

}  // namespace
