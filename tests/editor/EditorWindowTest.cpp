// The cut editor on generated media with the real probe and libvlc (dummy outputs), driven
// headless with the virtual clock: cursors at 100 % and 150 %, typed times that move the cursors
// after a second of quiet, marks, tabs, the volume pop-up, scale changes and the segments of OK.
#include <fstream>

#include "EditorFixture.h"
#include "common/Common.h"
#include "player/VlcKeeper.h"
#include "support/TestSupport.h"
#include "ui/EditAudioWnd.h"
#include "ui/Messages.h"
#include "uikit/UIMenu.h"

namespace {

// The editor with a count of the player messages it got.
class CRecordingEditor : public CEditAudioWnd {
public:
    using CEditAudioWnd::CEditAudioWnd;
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override {
        if (msg == MSG_PLAYER_ENDED) ++ended;
        if (msg == MSG_PLAYER_POSITION) ++positions;
        return CEditAudioWnd::HandleMessage(msg, wParam, lParam, handled);
    }
    int ended = 0;
    int positions = 0;
};

class EditorWindowTest : public EditorTest {
public:
    void SetUp() override {
        EditorTest::SetUp();
        if (testsupport::FfmpegPath().empty()) GTEST_SKIP() << "ffmpeg not installed";
    }
    // A mono 8 kHz tone of whole seconds (exact length in milliseconds).
    std::wstring Tone(const std::string& name, double seconds) {
        const std::string path = dir.File(name);
        EXPECT_TRUE(testsupport::MakeTone(path, seconds, 440, 8000, 1));
        return dir.WFile(std::wstring(name.begin(), name.end()));
    }
    std::unique_ptr<CRecordingEditor> Open(const std::wstring& path, int multi, int dpi = 96) {
        backend->SetScreenDpi(dpi);
        auto w = std::make_unique<CRecordingEditor>(path, multi);
        EXPECT_TRUE(
            w->Create(nullptr, CEditAudioWnd::kCaption, 0, 0, CEditAudioWnd::kWidth, CEditAudioWnd::kHeight));
        w->ShowWindow(true);
        driver->Pump();
        w->UpdateLayout();
        return w;
    }
    static std::wstring Text(CWindowUI* w, const std::wstring& name) {
        return w->FindControl(name)->GetText();
    }
    static std::wstring Group(CWindowUI* w, const std::wstring& prefix) {
        return Text(w, prefix + L"Hours") + L":" + Text(w, prefix + L"Minutes") + L":" +
               Text(w, prefix + L"Seconds") + L"." + Text(w, prefix + L"MillSeconds");
    }
    void Drag(CWindowUI* w, const std::wstring& cursor, int x) {
        const UIRect rc = w->FindControl(cursor)->GetPos();
        const UIPoint from = rc.Center();
        ASSERT_TRUE(driver->MouseDown(w, from));
        driver->MouseMove(w, {x, from.y}, true);
        driver->MouseUp(w, {x, from.y});
    }
    testsupport::TempDir dir;
};

void CheckCursorExamples(EditorWindowTest* t, CWindowUI* w, uint32_t duration, int dpi) {
    SCOPED_TRACE(dpi);
    const CDisplayScaleUI& s = w->GetDPI();
    const UIRect tl = w->FindControl(L"CutPlaySlider")->GetPos();
    ASSERT_EQ(tl.GetWidth(), s.Scale(320));
    CControlUI* left = w->FindControl(L"btnEditLeftCursor");
    CControlUI* right = w->FindControl(L"btnEditRightCursor");
    // At the timeline's ends to start with.
    EXPECT_NEAR(right->GetPos().left, tl.right, 1);
    EXPECT_NEAR(left->GetPos().right, tl.left - s.Scale(1), 1);

    // The right cursor to the middle of the timeline: half the duration.
    t->Drag(w, L"btnEditRightCursor", tl.left + s.Scale(160));
    EXPECT_EQ(EditorWindowTest::Group(w, L"cuttimeEnd"), CCommon::FormatTimeCode(duration / 2));
    EXPECT_NEAR(right->GetPos().left, tl.left + s.Scale(160), 1);
    EXPECT_EQ(right->GetPos().GetWidth(), s.Scale(6));

    // The left cursor pulled past the right one stops 6 pixels before it, at the same time.
    t->Drag(w, L"btnEditLeftCursor", tl.right + 40);
    EXPECT_NEAR(left->GetPos().left, right->GetPos().left - s.Scale(6), 1);
    EXPECT_EQ(EditorWindowTest::Group(w, L"cuttimeStart"), EditorWindowTest::Group(w, L"cuttimeEnd"));

    // Left of the timeline: start 0 and the cursor's right edge at the timeline's left.
    t->Drag(w, L"btnEditLeftCursor", tl.left - 100);
    EXPECT_EQ(EditorWindowTest::Group(w, L"cuttimeStart"), L"00:00:00.000");
    EXPECT_NEAR(left->GetPos().left, tl.left - s.Scale(6), 1);
}

TEST_F(EditorWindowTest, CursorsFollowTheDragAtEveryScale) {
    const std::wstring path = Tone("tone200.wav", 200.0);
    for (int dpi : {96, 144}) {
        auto w = Open(path, 0, dpi);
        ASSERT_EQ(w->GetDuration(), 200000u);
        EXPECT_EQ(w->GetDPI().GetDPI(), dpi);
        CheckCursorExamples(this, w.get(), w->GetDuration(), dpi);
    }
}

TEST_F(EditorWindowTest, StartShowsTheFileAndPlaysIt) {
    const std::wstring path = Tone("tone 20 #1.wav", 20.0);
    auto w = Open(path, 0);
    EXPECT_EQ(w->GetWindowClassName(), L"EditAudioWnd");
    EXPECT_EQ(w->GetTitle(), L"音频编辑");
    EXPECT_EQ(Text(w.get(), L"srcfilename"), L"tone 20 #1.wav");
    EXPECT_EQ(Text(w.get(), L"editCutName"), L"tone 20 #1_1.wav");
    EXPECT_EQ(Text(w.get(), L"cutMediaDisplayTime"), L"00:00:00.00/00:00:20.000");
    EXPECT_EQ(Group(w.get(), L"cuttimeEnd"), L"00:00:20.000");
    EXPECT_EQ(Group(w.get(), L"cuttimeLength"), L"00:00:06.666");
    EXPECT_FALSE(w->FindControl(L"verAverage")->IsVisible());
    EXPECT_FALSE(w->FindControl(L"verTimeLen")->IsVisible());
    EXPECT_FALSE(w->FindControlAs<CEditUI>(L"editCutName")->IsReadOnly());
    ASSERT_NE(w->GetPlayer(), nullptr);
    EXPECT_TRUE(w->GetPlayer()->HasMedia());
    EXPECT_EQ(w->GetVolume(), 50);
    for (int i = 1; i <= 12; ++i) {
        CControlUI* mark = w->FindControl(L"PlayMark" + std::to_wstring(i));
        ASSERT_NE(mark, nullptr);
        EXPECT_FALSE(mark->IsVisible());
    }

    // Position events from the player refresh the time label on the UI thread.
    EXPECT_TRUE(driver->PumpUntil(
        [&] { return Text(w.get(), L"cutMediaDisplayTime").rfind(L"00:00:00.00/", 0) != 0; }, 10000));
    EXPECT_NE(Text(w.get(), L"cutMediaDisplayTime").find(L"/00:00:20.000"), std::wstring::npos);

    // The end of the media opens it again.
    w->GetPlayer()->SetRate(8.0f);
    EXPECT_TRUE(driver->PumpUntil([&] { return w->ended > 0; }, 15000));
    driver->Pump();
    EXPECT_TRUE(w->GetPlayer()->HasMedia());
    EXPECT_GT(w->positions, 0);
    EXPECT_TRUE(driver->Click(w.get(), L"btncancel"));
    EXPECT_EQ(w->GetResult(), 2);
}

TEST_F(EditorWindowTest, TypedTimesMoveTheCursorsAfterOneSecondOfQuiet) {
    const std::wstring path = Tone("tone200.wav", 200.0);
    for (int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        auto w = Open(path, 0, dpi);
        const CDisplayScaleUI& s = w->GetDPI();
        const UIRect tl = w->FindControl(L"CutPlaySlider")->GetPos();
        CControlUI* left = w->FindControl(L"btnEditLeftCursor");
        CControlUI* right = w->FindControl(L"btnEditRightCursor");
        // Typing during the start-up half second is not acted on.
        ASSERT_TRUE(driver->Type(w.get(), L"cuttimeStartSeconds", L"9"));
        driver->AdvanceTime(1500);
        const UIRect before = left->GetPos();
        EXPECT_NEAR(before.right, tl.left - s.Scale(1), 1);

        ASSERT_TRUE(driver->Type(w.get(), L"cuttimeStartSeconds", L"3"));
        driver->AdvanceTime(600);
        ASSERT_TRUE(driver->Type(w.get(), L"cuttimeStartSeconds", L"0", false));
        driver->AdvanceTime(600);
        EXPECT_EQ(left->GetPos(), before);  // 1.2 s since the first key, 0.6 s since the last
        driver->AdvanceTime(399);
        EXPECT_EQ(left->GetPos(), before);
        driver->AdvanceTime(1);
        EXPECT_NEAR(left->GetPos().left, tl.left + s.Scale(320) * 30000 / 200000 - s.Scale(6), 1);

        // The end typed: the right cursor follows.
        ASSERT_TRUE(driver->Type(w.get(), L"cuttimeEndMinutes", L"1"));
        driver->AdvanceTime(1000);
        EXPECT_NEAR(right->GetPos().left, tl.left + s.Scale(320) * 80000 / 200000, 1);  // 00:01:20.000

        // A start typed beyond the end: the left cursor stops by the right one, start = end.
        ASSERT_TRUE(driver->Type(w.get(), L"cuttimeStartMinutes", L"2"));
        driver->AdvanceTime(1000);
        EXPECT_NEAR(left->GetPos().left, right->GetPos().left - s.Scale(6), 1);
        EXPECT_EQ(Group(w.get(), L"cuttimeStart"), L"00:01:20.000");
    }
}

TEST_F(EditorWindowTest, OkHandsBackTheSegmentsOfEachTab) {
    const std::wstring path = Tone("song.wav", 20.0);
    {
        std::ofstream(dir.File("song_2.wav")) << "taken";  // an existing name is skipped
    }
    {
        auto w = Open(path, 1);
        driver->AdvanceTime(500);
        EXPECT_TRUE(w->FindControl(L"verAverage")->IsVisible());
        EXPECT_TRUE(w->FindControlAs<CEditUI>(L"editCutName")->IsReadOnly());
        ASSERT_TRUE(driver->SelectOption(w.get(), L"optCutTimeLen"));
        EXPECT_EQ(w->FindControlAs<CTabLayoutUI>(L"TabCutMethod")->GetCurSel(), 2);
        EXPECT_FALSE(w->FindControl(L"btnEditLeftCursor")->IsVisible());
        ASSERT_TRUE(driver->Type(w.get(), L"cuttimeLengthMillSeconds", L"000"));
        ASSERT_TRUE(driver->Click(w.get(), L"btok"));
        EXPECT_EQ(w->GetResult(), 1);
        const auto& s = w->GetSegments();
        ASSERT_EQ(s.size(), 4u);
        EXPECT_EQ(s[0].fileName, L"song_1.wav");
        EXPECT_EQ(s[1].fileName, L"song_3.wav");
        EXPECT_EQ(s[3].fileName, L"song_5.wav");
        EXPECT_EQ(s[3].startTime, L"00:00:18.000");
        EXPECT_EQ(s[3].lengthMs, 2000);
        EXPECT_EQ(s[1].lengthMs, 6000);
    }
    {
        auto w = Open(path, 1);
        driver->AdvanceTime(500);
        ASSERT_TRUE(driver->SelectOption(w.get(), L"optCutAverage"));
        ASSERT_TRUE(driver->PickComboItem(w.get(), L"comboSegMentNum", 1));  // "3"
        // Marks: 4 of them for 3 parts, 106 px apart from x 89.
        for (int i = 1; i <= 12; ++i) {
            CControlUI* mark = w->FindControl(L"PlayMark" + std::to_wstring(i));
            EXPECT_EQ(mark->IsVisible(), i <= 4) << i;
            if (i <= 4) {
                EXPECT_EQ(mark->GetFloatPos().left, 89 + (i - 1) * 106);
            }
        }
        ASSERT_TRUE(driver->Click(w.get(), L"btok"));
        const auto& s = w->GetSegments();
        ASSERT_EQ(s.size(), 3u);
        EXPECT_EQ(s[2].lengthMs, 6668);
        EXPECT_EQ(s[2].startTime, L"00:00:13.332");
        EXPECT_EQ(s[2].fileName, L"song_4.wav");
    }
    {
        // Manual: an end typed before the start never gives a negative length.
        auto w = Open(path, 0);
        driver->AdvanceTime(500);
        ASSERT_TRUE(driver->Type(w.get(), L"cuttimeStartSeconds", L"10"));
        ASSERT_TRUE(driver->Type(w.get(), L"cuttimeEndSeconds", L"5"));
        ASSERT_TRUE(driver->Click(w.get(), L"btok"));
        ASSERT_EQ(w->GetSegments().size(), 1u);
        EXPECT_EQ(w->GetSegments()[0].fileName, L"song_1.wav");
        EXPECT_EQ(w->GetSegments()[0].startTime, L"00:00:10.000");
        EXPECT_EQ(w->GetSegments()[0].lengthMs, 0);
    }
    {
        auto w = Open(path, 0);
        driver->AdvanceTime(500);
        const UIRect tl = w->FindControl(L"CutPlaySlider")->GetPos();
        Drag(w.get(), L"btnEditRightCursor", tl.left + 160);
        ASSERT_TRUE(driver->Click(w.get(), L"btok"));
        ASSERT_EQ(w->GetSegments().size(), 1u);
        EXPECT_EQ(w->GetSegments()[0].startTime, L"00:00:00.000");
        EXPECT_EQ(w->GetSegments()[0].lengthMs, 10000);
    }
    {
        auto w = Open(path, 1);
        ASSERT_TRUE(driver->Click(w.get(), L"closebtn"));
        EXPECT_EQ(w->GetResult(), 2);
        EXPECT_TRUE(w->GetSegments().empty());
    }
}

TEST_F(EditorWindowTest, LeavingTheLengthRaisesItToTheMinimumAndMarksTheParts) {
    const std::wstring path = Tone("len.wav", 20.0);
    auto w = Open(path, 1);
    driver->AdvanceTime(500);
    ASSERT_TRUE(driver->SelectOption(w.get(), L"optCutTimeLen"));
    ASSERT_TRUE(driver->Type(w.get(), L"cuttimeLengthSeconds", L"1"));
    EXPECT_EQ(Group(w.get(), L"cuttimeLength"), L"00:00:1.666");   // below the minimum while typing
    ASSERT_TRUE(driver->Click(w.get(), L"editCutName"));           // the length box loses the focus
    EXPECT_EQ(Group(w.get(), L"cuttimeLength"), L"00:00:02.000");  // a tenth of the duration
    // 20 s in pieces of 2 s: 10 parts, marks 1 to 11.
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(w->FindControl(L"PlayMark" + std::to_wstring(i))->IsVisible(), i <= 11) << i;
    // Typing a length moves the marks a second later.
    ASSERT_TRUE(driver->Type(w.get(), L"cuttimeLengthSeconds", L"8"));
    driver->AdvanceTime(999);
    EXPECT_TRUE(w->FindControl(L"PlayMark11")->IsVisible());
    driver->AdvanceTime(1);
    // 20 s / 8 s = 2, and 4 s left over: 3 parts, marks 1 to 4.
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(w->FindControl(L"PlayMark" + std::to_wstring(i))->IsVisible(), i <= 4) << i;
}

TEST_F(EditorWindowTest, UnplayableFileLeavesAWorkingWindow) {
    const std::string bad = dir.File("not audio.mp3");
    {
        std::ofstream out(bad);
        for (int i = 0; i < 100; ++i) out << "plain text, not a media file\n";
    }
    auto w = Open(dir.WFile(L"not audio.mp3"), 1);
    driver->AdvanceTime(500);
    ASSERT_NE(w->GetPlayer(), nullptr);
    EXPECT_FALSE(w->GetPlayer()->HasMedia());
    EXPECT_EQ(w->GetDuration(), 0u);
    EXPECT_TRUE(driver->Click(w.get(), L"btnCutPlay"));
    EXPECT_TRUE(driver->Click(w.get(), L"btnCutStop"));
    EXPECT_TRUE(driver->SelectOption(w.get(), L"optCutAverage"));
    EXPECT_TRUE(driver->SelectOption(w.get(), L"optCutManual"));
    driver->AdvanceTime(2000);
    ASSERT_TRUE(driver->Click(w.get(), L"btok"));
    EXPECT_EQ(w->GetResult(), 1);
    ASSERT_EQ(w->GetSegments().size(), 1u);
    EXPECT_EQ(w->GetSegments()[0].lengthMs, 0);
}

TEST_F(EditorWindowTest, VolumePopupAndScaleChanges) {
    const std::wstring path = Tone("vol.wav", 20.0);
    auto w = Open(path, 1);
    driver->AdvanceTime(500);
    ASSERT_TRUE(driver->Click(w.get(), L"btnCutSpeaker"));
    CWindowUI* popup = nullptr;
    for (CWindowUI* candidate : CAppUI::GetWindows())
        if (dynamic_cast<CMenuUI*>(candidate)) popup = candidate;
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(Text(popup, L"SliderVlaue"), L"50%");
    ASSERT_TRUE(driver->MoveSlider(popup, L"vlomueslider", 80));
    EXPECT_EQ(w->GetVolume(), 80);
    EXPECT_EQ(Text(popup, L"SliderVlaue"), L"80%");

    // A scale change: seeking pauses until the length timer's next run. Changes within 100 ms
    // of it are held back, and the last of them is applied when the interval ends.
    ASSERT_TRUE(driver->SelectOption(w.get(), L"optCutAverage"));
    const UIRect suggested{0, 0, 1080, 795};
    w->SendMessage(UIMSG_DPICHANGED, 144, reinterpret_cast<intptr_t>(&suggested));
    EXPECT_EQ(w->GetDPI().GetDPI(), 144);
    EXPECT_FALSE(w->IsSeekAllowed());
    w->SendMessage(UIMSG_DPICHANGED, 192, reinterpret_cast<intptr_t>(&suggested));
    w->SendMessage(UIMSG_DPICHANGED, 144, reinterpret_cast<intptr_t>(&suggested));
    EXPECT_EQ(w->GetDPI().GetDPI(), 144);
    driver->AdvanceTime(50);
    w->SendMessage(UIMSG_DPICHANGED, 192, reinterpret_cast<intptr_t>(&suggested));
    driver->AdvanceTime(30);
    EXPECT_EQ(w->GetDPI().GetDPI(), 144) << "still inside the interval";
    w->SendMessage(UIMSG_DPICHANGED, 144, reinterpret_cast<intptr_t>(&suggested));
    driver->AdvanceTime(30);
    EXPECT_EQ(w->GetDPI().GetDPI(), 144) << "the last change held back was to 144";
    w->SendMessage(UIMSG_DPICHANGED, 144, reinterpret_cast<intptr_t>(&suggested));
    w->SendMessage(UIMSG_DPICHANGED, 192, reinterpret_cast<intptr_t>(&suggested));
    driver->AdvanceTime(100);
    EXPECT_EQ(w->GetDPI().GetDPI(), 192) << "the window ends at the screen's last scale";
    w->SendMessage(UIMSG_DPICHANGED, 144, reinterpret_cast<intptr_t>(&suggested));
    driver->AdvanceTime(100);
    EXPECT_EQ(w->GetDPI().GetDPI(), 144);
    driver->AdvanceTime(1000);
    EXPECT_TRUE(w->IsSeekAllowed());
    // Marks at 150 %: shifted left by ceil(0.5 * 6) = 3.
    EXPECT_EQ(w->FindControl(L"PlayMark1")->GetFloatPos().left, 86);
    EXPECT_EQ(w->FindControl(L"PlayMark2")->GetFloatPos().left, 86 + 160);
    EXPECT_FALSE(w->FindControl(L"PlayMark4")->IsVisible());
}

}  // namespace
