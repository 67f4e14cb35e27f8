// The custom controls driven headless: the time-code control's keys, wheel and bounds, the tile's
// lift, the tab header's underline at 150 % and on narrow headers, the media hosts' child windows
// and their rest colour, and the cut editor's piece arithmetic.
#include <map>

#include "EditorFixture.h"
#include "ui/ButtonExt.h"
#include "ui/EditAudioWnd.h"
#include "ui/MediaWnd.h"
#include "ui/TimeControl.h"
#include "ui/VerticalLayoutEx.h"

namespace {

int Count(const std::vector<std::wstring>& notes, const std::wstring& what) {
    return static_cast<int>(std::count(notes.begin(), notes.end(), what));
}

// ---- CTimeControlUI ---------------------------------------------------------------------------

class TimeControlTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        auto* root = new CHorizontalLayoutUI;
        control = new CTimeControlUI;
        control->SetName(L"tc");
        control->SetFixedWidth(160);
        control->SetFixedHeight(30);
        root->Add(control);
        wnd = Host(root, 300, 60);
    }
    // Clicks at a fraction of the control's width.
    void ClickAt(double fraction) {
        const UIRect rc = control->GetPos();
        driver->ClickAt(wnd.get(), {rc.left + static_cast<int>(rc.GetWidth() * fraction), rc.top + 10});
    }
    int Changes() { return Count(wnd->notes, L"textchanged:tc"); }

    std::unique_ptr<CHostWnd> wnd;
    CTimeControlUI* control = nullptr;
};

TEST_F(TimeControlTest, ClickSelectsThePartByPosition) {
    EXPECT_EQ(control->GetClass(), L"TimeControlUI");
    EXPECT_TRUE(control->IsReadOnly());
    EXPECT_EQ(control->GetText(), L"00:00:00.000");
    ClickAt(0.10);
    EXPECT_EQ(control->GetSelectedPart(), 1);
    ClickAt(0.40);
    EXPECT_EQ(control->GetSelectedPart(), 2);
    ClickAt(0.60);
    EXPECT_EQ(control->GetSelectedPart(), 3);
    ClickAt(0.90);
    EXPECT_EQ(control->GetSelectedPart(), 4);
    // Losing the focus selects nothing.
    wnd->SetFocus(nullptr);
    EXPECT_EQ(control->GetSelectedPart(), 0);
}

TEST_F(TimeControlTest, DigitsArrowsAndWheelStayWithinTheBounds) {
    control->SetUpperBound(1 * 3600000 + 30 * 60000 + 45 * 1000 + 500);  // 01:30:45.500
    ClickAt(0.05);
    driver->PressKey(wnd.get(), UIKEY_0 + 1);
    EXPECT_EQ(control->GetText(), L"01:00:00.000");
    EXPECT_EQ(Changes(), 1);
    driver->PressKey(wnd.get(), UIKEY_0 + 2);  // 12 hours is above the bound: stays 1
    EXPECT_EQ(control->GetText(), L"01:00:00.000");
    EXPECT_EQ(control->GetSelectedPart(), 2);  // two digits move on
    driver->PressKey(wnd.get(), UIKEY_NUMPAD0 + 4);
    driver->PressKey(wnd.get(), UIKEY_NUMPAD0 + 5);  // 45 minutes > 30 at the top hour
    EXPECT_EQ(control->GetText(), L"01:04:00.000");
    EXPECT_EQ(control->GetSelectedPart(), 3);

    driver->PressKey(wnd.get(), UIKEY_UP);
    EXPECT_EQ(control->GetText(), L"01:04:01.000");
    driver->Wheel(wnd.get(), L"tc", 1);
    EXPECT_EQ(control->GetText(), L"01:04:02.000");
    driver->PressKey(wnd.get(), UIKEY_DOWN);
    EXPECT_EQ(control->GetText(), L"01:04:01.000");
    driver->PressKey(wnd.get(), UIKEY_LEFT);
    EXPECT_EQ(control->GetSelectedPart(), 2);
    driver->PressKey(wnd.get(), UIKEY_DELETE);
    EXPECT_EQ(control->GetText(), L"01:00:01.000");
    driver->PressKey(wnd.get(), UIKEY_RIGHT);
    driver->PressKey(wnd.get(), UIKEY_OEM_PERIOD);
    EXPECT_EQ(control->GetSelectedPart(), 4);
    driver->PressKey(wnd.get(), UIKEY_RIGHT);  // not past the last part
    EXPECT_EQ(control->GetSelectedPart(), 4);
    for (uint32_t d : {9u, 9u, 9u}) driver->PressKey(wnd.get(), UIKEY_0 + d);
    EXPECT_EQ(control->GetText(), L"01:00:01.999");

    // At the top of the range the minutes stop at the bound.
    ClickAt(0.40);
    for (int i = 0; i < 40; ++i) driver->PressKey(wnd.get(), UIKEY_UP);
    EXPECT_EQ(control->GetText(), L"01:30:01.999");
    // Hours never go below 0; Backspace clears the part.
    ClickAt(0.05);
    driver->PressKey(wnd.get(), UIKEY_BACK);
    driver->PressKey(wnd.get(), UIKEY_DOWN);
    EXPECT_EQ(control->GetText(), L"00:30:01.999");
    const int before = Changes();
    driver->PressKey(wnd.get(), UIKEY_DOWN);  // nothing changes, nothing is sent
    EXPECT_EQ(Changes(), before);
}

TEST_F(TimeControlTest, ModeThreeCommitsOnlyAboveTheLowerBound) {
    control->SetUpperBound(60000);
    control->SetLowerBound(5000);
    control->SetMode(3);
    control->SetTime(0);
    ClickAt(0.05);
    driver->PressKey(wnd.get(), UIKEY_RIGHT);
    driver->PressKey(wnd.get(), UIKEY_RIGHT);
    driver->PressKey(wnd.get(), UIKEY_UP);  // 1 s: not above the 5 s bound
    EXPECT_EQ(control->GetText(), L"00:00:01.000");
    EXPECT_EQ(Changes(), 0);
    for (int i = 0; i < 5; ++i) driver->PressKey(wnd.get(), UIKEY_UP);
    EXPECT_EQ(control->GetText(), L"00:00:06.000");
    EXPECT_EQ(Changes(), 1);
    // Down stops once the time is at the lower bound.
    for (int i = 0; i < 10; ++i) driver->PressKey(wnd.get(), UIKEY_DOWN);
    EXPECT_EQ(control->GetText(), L"00:00:05.000");
}

// ---- CButtonExtUI ---------------------------------------------------------------------------------

class LiftTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        auto* root = new CVerticalLayoutUI;
        tile = new CButtonExtUI;
        tile->SetName(L"tile");
        tile->SetFixedWidth(100);
        tile->SetFixedHeight(60);
        tile->SetPadding({20, 20, 0, 0});
        root->Add(tile);
        wnd = Host(root, 200, 140);
        rest = tile->GetPos();
    }
    void Enter() { driver->MouseMove(wnd.get(), rest.Center()); }
    void Leave() { driver->MouseMove(wnd.get(), {190, 130}); }

    std::unique_ptr<CHostWnd> wnd;
    CButtonExtUI* tile = nullptr;
    UIRect rest;
};

TEST_F(LiftTest, LiftsFourPixelsAndStaysUp) {
    EXPECT_EQ(tile->GetClass(), L"ButtonExtUI");
    Enter();
    driver->AdvanceTime(30);
    EXPECT_EQ(tile->GetPos().top, rest.top - 1);
    driver->AdvanceTime(90);
    EXPECT_EQ(tile->GetPos(), rest.Offset(0, -4));
    driver->AdvanceTime(600);
    EXPECT_EQ(tile->GetPos(), rest.Offset(0, -4));
    Leave();
    driver->AdvanceTime(60);
    EXPECT_EQ(tile->GetPos(), rest.Offset(0, -2));
    driver->AdvanceTime(60);
    EXPECT_EQ(tile->GetPos(), rest);
    EXPECT_FALSE(tile->IsDropping());
}

TEST_F(LiftTest, QuickEnterAndLeaveEndsExactlyAtRest) {
    Enter();
    driver->AdvanceTime(60);  // up 2
    Leave();
    driver->AdvanceTime(30);  // down 1
    Enter();                  // again during the drop: the resting place is kept
    driver->AdvanceTime(30);
    Leave();
    Enter();
    Leave();
    driver->AdvanceTime(1000);
    EXPECT_EQ(tile->GetPos(), rest);
    EXPECT_EQ(tile->GetRestRect(), rest);
    EXPECT_FALSE(tile->IsLifting());
    EXPECT_FALSE(tile->IsDropping());
}

// ---- CVerticalLayoutExUI --------------------------------------------------------------------------

TEST_F(EditorTest, UnderlineGrowsAndShrinksInStepsAtOneHundredFiftyPercent) {
    auto* root = new CHorizontalLayoutUI;
    auto* header = new CVerticalLayoutExUI;
    header->SetFixedWidth(142);
    header->SetFixedHeight(36);
    auto* option = new COptionUI;
    option->SetName(L"opt");
    option->SetAttribute(L"group", L"tabs");
    auto* line = new CLabelUI;
    line->SetName(L"xxx");
    line->SetAttribute(L"float", L"true");
    line->SetAttribute(L"pos", L"0,33,142,36");
    line->SetVisible(false);
    header->Add(option);
    header->Add(line);
    root->Add(header);
    auto wnd = Host(root, 300, 60, 144);
    ASSERT_EQ(wnd->GetDPI().GetScale(), 150);
    const UIRect box = header->GetPos();
    ASSERT_EQ(box.GetWidth(), 213);

    driver->MouseMove(wnd.get(), option->GetPos().Center());
    ASSERT_TRUE(line->IsVisible());
    EXPECT_EQ(line->GetPos().GetWidth(), 33);
    EXPECT_EQ(line->GetPos().bottom, box.bottom);
    std::vector<int> widths{line->GetPos().GetWidth()};
    int left = line->GetPos().left;
    for (int i = 0; i < 5; ++i) {
        driver->AdvanceTime(30);
        widths.push_back(line->GetPos().GetWidth());
        EXPECT_EQ(line->GetPos().left, left - 18);
        left = line->GetPos().left;
    }
    EXPECT_EQ(widths, (std::vector<int>{33, 69, 105, 141, 177, 213}));
    EXPECT_FALSE(header->IsGrowing());

    driver->MouseMove(wnd.get(), {290, 55});
    driver->AdvanceTime(30);
    EXPECT_EQ(line->GetPos().GetWidth(), 177);
    driver->AdvanceTime(300);
    EXPECT_FALSE(line->IsVisible());

    // A selected option keeps a full underline.
    option->Selected(true);
    backend->PaintWindow(wnd.get());
    EXPECT_TRUE(line->IsVisible());
    EXPECT_EQ(line->GetPos().GetWidth(), 213);
}

TEST_F(EditorTest, UnderlineSpansItsOwnHeaderAndNeverItsNeighbours) {
    // Three headers side by side: a 96-px one, a 64-px one and one narrower than the first step.
    auto* root = new CHorizontalLayoutUI;
    std::vector<CVerticalLayoutExUI*> headers;
    std::vector<CControlUI*> lines;
    for (int width : {96, 64, 16}) {
        auto* header = new CVerticalLayoutExUI;
        header->SetFixedWidth(width);
        header->SetFixedHeight(30);
        auto* option = new COptionUI;
        option->SetAttribute(L"group", L"tabs");
        auto* line = new CLabelUI;
        line->SetName(L"xxx");
        line->SetAttribute(L"float", L"true");
        line->SetAttribute(L"pos", L"0,27,96,30");
        line->SetVisible(false);
        header->Add(option);
        header->Add(line);
        root->Add(header);
        headers.push_back(header);
        lines.push_back(line);
    }
    root->Add(new CControlUI);
    auto wnd = Host(root, 300, 60);
    // Left and right edges of header i's underline against the header's own.
    auto edges = [&](int i) {
        const UIRect line = lines[i]->GetPos();
        const UIRect box = headers[i]->GetPos();
        return std::vector<int>{line.left - box.left, line.right - box.right};
    };
    const std::vector<int> flush{0, 0};

    // The 96-px header: the first step, then ten growth steps of 2 x 7 px up to its own width.
    const UIRect box = headers[0]->GetPos();
    driver->MouseMove(wnd.get(), box.Center());
    std::vector<int> widths{lines[0]->GetPos().GetWidth()};
    for (int i = 0; i < 8; ++i) {
        driver->AdvanceTime(30);
        widths.push_back(lines[0]->GetPos().GetWidth());
    }
    EXPECT_EQ(widths, (std::vector<int>{22, 36, 50, 64, 78, 92, 96, 96, 96}));
    EXPECT_FALSE(headers[0]->IsGrowing());
    EXPECT_EQ(edges(0), flush);
    EXPECT_EQ(headers[0]->GetLineWidth(), 96);

    // Over the 64-px header: its line fits it; the first one shrinks away meanwhile.
    driver->MouseMove(wnd.get(), headers[1]->GetPos().Center());
    driver->AdvanceTime(300);
    EXPECT_FALSE(lines[0]->IsVisible());
    EXPECT_EQ(edges(1), flush);

    // A header narrower than the first step is underlined only across itself.
    driver->MouseMove(wnd.get(), headers[2]->GetPos().Center());
    ASSERT_TRUE(lines[2]->IsVisible());
    EXPECT_EQ(edges(2), flush);
    driver->AdvanceTime(300);
    EXPECT_FALSE(headers[2]->IsGrowing());
    EXPECT_EQ(edges(2), flush);

    // A header made narrower keeps its underline within it.
    headers[2]->SetFixedWidth(10);
    wnd->UpdateLayout();
    EXPECT_EQ(lines[2]->GetPos().GetWidth(), 10);
    EXPECT_EQ(edges(2), flush);
    driver->MouseMove(wnd.get(), {290, 55});
    driver->AdvanceTime(300);
    EXPECT_FALSE(lines[2]->IsVisible());
}

// ---- Media hosts ----------------------------------------------------------------------------------

TEST_F(EditorTest, MediaHostsKeepTheirChildWindowsWithThem) {
    auto* root = new CVerticalLayoutUI;
    auto* spacer = new CControlUI;
    spacer->SetFixedHeight(10);
    auto* host = dynamic_cast<CMediaWndUI*>(CreateCustomControl(L"EditMediaWnd"));
    auto* plain = dynamic_cast<CStaticMediaWndUI*>(CreateCustomControl(L"MediaWndExtract"));
    ASSERT_TRUE(host && plain);
    host->SetFixedHeight(100);
    plain->SetFixedHeight(50);
    root->Add(spacer);
    root->Add(host);
    root->Add(plain);
    auto wnd = Host(root, 300, 200);
    ASSERT_NE(host->GetChildWindow(), 0u);
    ASSERT_NE(plain->GetChildWindow(), 0u);
    EXPECT_TRUE(host->IsTransparentChild());
    EXPECT_FALSE(plain->IsTransparentChild());
    EXPECT_EQ(host->GetPlayer().GetHostWindow(), host->GetChildWindow());
    EXPECT_EQ(backend->GetChildWindowParent(host->GetChildWindow()), wnd.get());
    EXPECT_EQ(backend->GetChildRect(host->GetChildWindow()), host->GetPos());
    EXPECT_EQ(backend->GetChildRect(plain->GetChildWindow()), plain->GetPos());

    spacer->SetFixedHeight(30);
    wnd->UpdateLayout();
    EXPECT_EQ(host->GetPos().top, 30);
    EXPECT_EQ(backend->GetChildRect(host->GetChildWindow()), host->GetPos());
    EXPECT_EQ(backend->GetChildRect(plain->GetChildWindow()), plain->GetPos());

    host->SetVisible(false);
    EXPECT_FALSE(backend->IsChildShown(host->GetChildWindow()));
    host->SetVisible(true);
    EXPECT_TRUE(backend->IsChildShown(host->GetChildWindow()));
    plain->SetInternVisible(false);
    EXPECT_FALSE(backend->IsChildShown(plain->GetChildWindow()));

    // A handle the backend does not know is refused.
    CMediaWndUI loose;
    EXPECT_EQ(loose.SetChildWindow(0xDEAD), 0);
    EXPECT_EQ(CreateCustomControl(L"Button"), nullptr);
}

// A headless backend that records the colours given to child windows.
class ColourRecordingBackend : public CHeadlessBackendUI {
public:
    void SetChildWindowColor(uintptr_t child, uint32_t argb) override { colours[child] = argb; }
    std::map<uintptr_t, uint32_t> colours;
};

class MediaHostColourTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        driver.reset();
        CAppUI::SetBackend(nullptr);
        backend = std::make_unique<ColourRecordingBackend>();
        CAppUI::SetBackend(backend.get());
        driver = std::make_unique<CTestDriverUI>(*backend);
    }
    ColourRecordingBackend& Recorder() { return static_cast<ColourRecordingBackend&>(*backend); }
};

TEST_F(MediaHostColourTest, OnlyAnOpaqueSurfaceWithABackgroundRestsInIt) {
    auto* root = new CVerticalLayoutUI;
    auto* overGif = CreateCustomControl(L"MediaWndCut");
    auto* plain = CreateCustomControl(L"MediaWndExtract");
    auto* bare = CreateCustomControl(L"MediaWndExtract");
    overGif->SetBkColor(0xFF222A38);
    plain->SetBkColor(0xFF222A38);
    for (CControlUI* c : {overGif, plain, bare}) {
        c->SetFixedHeight(40);
        root->Add(c);
    }
    auto wnd = Host(root, 300, 200);
    auto child = [](CControlUI* c) { return dynamic_cast<CMediaHost*>(c)->GetChildWindow(); };
    ASSERT_NE(child(plain), 0u);
    EXPECT_EQ(Recorder().colours, (std::map<uintptr_t, uint32_t>{{child(plain), 0xFF222A38u}}));
    EXPECT_TRUE(backend->IsChildShown(child(overGif)));
    EXPECT_TRUE(backend->IsChildShown(child(bare)));
}

// ---- Pieces -------------------------------------------------------------------------------------

std::vector<int32_t> Lengths(const std::vector<CutSegment>& pieces) {
    std::vector<int32_t> out;
    for (const CutSegment& p : pieces) out.push_back(p.lengthMs);
    return out;
}

TEST(CutPieces, EvenSplitGivesTheRemainderToTheLastPiece) {
    const auto pieces = CEditAudioWnd::EvenPieces(10001, 3);
    EXPECT_EQ(Lengths(pieces), (std::vector<int32_t>{3333, 3333, 3335}));
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].startTime, L"00:00:00.000");
    EXPECT_EQ(pieces[1].startTime, L"00:00:03.333");
    EXPECT_EQ(pieces[2].startTime, L"00:00:06.666");
}

TEST(CutPieces, ByLengthSplitsOnlyAboveFiveSecondsAndDropsAnEmptyTail) {
    EXPECT_EQ(Lengths(CEditAudioWnd::LengthPieces(20000, 4000)), (std::vector<int32_t>{4000, 16000}));
    EXPECT_EQ(Lengths(CEditAudioWnd::LengthPieces(20000, 6000)),
              (std::vector<int32_t>{6000, 6000, 6000, 2000}));
    EXPECT_EQ(Lengths(CEditAudioWnd::LengthPieces(20000, 5000)), (std::vector<int32_t>{5000, 15000}));
    // An exact multiple: no piece of length 0; a short but real tail is kept.
    EXPECT_EQ(Lengths(CEditAudioWnd::LengthPieces(20000, 10000)), (std::vector<int32_t>{10000, 10000}));
    EXPECT_EQ(Lengths(CEditAudioWnd::LengthPieces(20001, 10000)), (std::vector<int32_t>{10000, 10000, 1}));
    EXPECT_EQ(Lengths(CEditAudioWnd::LengthPieces(20000, 0)), (std::vector<int32_t>{20000}));
    const auto pieces = CEditAudioWnd::LengthPieces(20000, 6000);
    EXPECT_EQ(pieces[3].startTime, L"00:00:18.000");
}

}  // namespace
