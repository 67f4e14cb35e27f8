// The vertical scroll bar of lists and scrolling layouts: shown only while the rows overflow the
// view, lying over the view's right edge without moving a row, and driven by thumb drags, track
// clicks and the wheel.
#include <gtest/gtest.h>

#include "UiFixture.h"

namespace {

CListContainerElementUI* Row(int n, int height = 30) {
    auto* row = new CListContainerElementUI;
    row->SetFixedHeight(height);
    auto* label = new CLabelUI;
    label->SetName(L"label" + std::to_wstring(n));
    label->SetText(L"row " + std::to_wstring(n));
    row->Add(label);
    return row;
}

size_t CountPrefix(const std::vector<std::wstring>& calls, const std::wstring& prefix) {
    size_t n = 0;
    for (const auto& c : calls) n += c.rfind(prefix, 0) == 0;
    return n;
}

class ScrollBarTest : public UiTest {
protected:
    // A window of `cx` x `cy` logical pixels holding one list built from `layout`.
    CListUI* OpenList(int rows, const std::wstring& layout = L"<List name=\"list\"/>", int cx = 200,
                      int cy = 100) {
        CBuilderUI builder;
        CControlUI* root = builder.CreateFromText(layout, nullptr);
        EXPECT_NE(root, nullptr);
        w = std::make_unique<CTestWnd>(L"");
        w->SetRoot(root);
        EXPECT_TRUE(w->Create(nullptr, L"list", 0, 0, cx, cy));
        w->ShowWindow(true);
        driver->Pump();
        auto* list = dynamic_cast<CListUI*>(root);
        for (int i = 0; list && i < rows; ++i) list->Add(Row(i));
        w->UpdateLayout();
        return list;
    }
    CScrollBarUI* Bar(CListUI* list) { return list->GetVerticalScrollBar(); }
    void Drag(UIPoint from, UIPoint to) {
        w->InputMouseMove(from);
        w->InputMouseDown(from);
        w->InputMouseMove(to, UIMK_LBUTTON);
        w->InputMouseUp(to);
        driver->Pump();
    }
    void Press(UIPoint pt) {
        w->InputMouseMove(pt);
        w->InputMouseDown(pt);
        w->InputMouseUp(pt);
        driver->Pump();
    }
    std::unique_ptr<CTestWnd> w;
};

}  // namespace

TEST_F(ScrollBarTest, OverflowShowsTheBarOverTheRightEdgeAndFittingRowsHideIt) {
    CListUI* list = OpenList(3);  // 90 of 100 pixels
    EXPECT_FALSE(list->IsVScrollBarShown());
    EXPECT_EQ(w->FindControl(UIPoint{196, 50}), w->FindControl(L"label1"));
    EXPECT_EQ(CountPrefix(backend->PaintWindow(w.get()), L"fillround "), 0u);
    const UIRect rowBefore = list->GetItemAt(1)->GetPos();

    list->Add(Row(3));
    list->Add(Row(4));  // 150 of 100
    w->UpdateLayout();
    ASSERT_TRUE(list->IsVScrollBarShown());
    ASSERT_NE(Bar(list), nullptr);
    // Over the last 8 pixels of the view; the rows keep their full width.
    EXPECT_EQ(Bar(list)->GetPos(), (UIRect{192, 0, 200, 100}));
    EXPECT_EQ(Bar(list)->GetTrackRect(), (UIRect{193, 1, 199, 99}));
    EXPECT_EQ(list->GetItemAt(1)->GetPos(), rowBefore);
    EXPECT_EQ(list->GetCount(), 5);
    // The pointer meets the bar only over it; beside it, the row.
    EXPECT_EQ(w->FindControl(UIPoint{196, 50}), Bar(list));
    EXPECT_EQ(w->FindControl(UIPoint{191, 50}), w->FindControl(L"label1"));
    // Track and thumb are painted after the rows, in the palette's light and secondary tones.
    const auto calls = backend->PaintWindow(w.get());
    ASSERT_EQ(CountPrefix(calls, L"fillround "), 2u);
    EXPECT_EQ(Count(calls, L"fillround 193,1,199,99 3,3 #FFF5F7FA"), 1u);
    EXPECT_EQ(CountPrefix(calls, L"fillround 193,1,199,66 3,3 #808A94A6"), 1u);  // 98 * 100 / 150

    // Back to rows that fit: the bar goes, and so does its hit area.
    list->RemoveAt(4);
    list->RemoveAt(3);
    w->UpdateLayout();
    EXPECT_FALSE(list->IsVScrollBarShown());
    EXPECT_EQ(w->FindControl(UIPoint{196, 50}), w->FindControl(L"label1"));
    EXPECT_TRUE(Bar(list)->GetThumbRect().IsEmpty());
    EXPECT_EQ(CountPrefix(backend->PaintWindow(w.get()), L"fillround "), 0u);
}

TEST_F(ScrollBarTest, ThumbFollowsTheViewShareAndTheScrollPosition) {
    CListUI* list = OpenList(20);  // 600 of 100: range 500
    ASSERT_EQ(list->GetScrollRange().cy, 500);
    // The view's share of a 98-pixel track is 16 pixels: the thumb keeps its 24-pixel minimum.
    EXPECT_EQ(Bar(list)->GetThumbRect(), (UIRect{193, 1, 199, 25}));
    list->SetScrollPos({0, 250});
    EXPECT_EQ(Bar(list)->GetThumbRect(), (UIRect{193, 38, 199, 62}));  // 74 free pixels, half way
    list->SetScrollPos({0, 500});
    EXPECT_EQ(Bar(list)->GetThumbRect(), (UIRect{193, 75, 199, 99}));
    list->SetScrollPos({0, 9999});  // clamped
    EXPECT_EQ(list->GetScrollPos().cy, 500);
    EXPECT_EQ(Bar(list)->GetThumbRect().bottom, Bar(list)->GetTrackRect().bottom);

    // The geometry alone: proportional thumb, rounding, tiny tracks and a range of nothing.
    EXPECT_EQ(UIScrollGeometry::Compute(98, 100, 50, 0, 24).thumbLength, 65);
    EXPECT_EQ(UIScrollGeometry::Compute(98, 100, 50, 25, 24).thumbOffset, 17);
    EXPECT_EQ(UIScrollGeometry::Compute(98, 100, 50, 50, 24).thumbOffset, 33);
    EXPECT_EQ(UIScrollGeometry::Compute(10, 10, 1000, 1000, 24).thumbLength, 10);
    EXPECT_EQ(UIScrollGeometry::Compute(10, 10, 1000, 1000, 24).thumbOffset, 0);
    EXPECT_EQ(UIScrollGeometry::Compute(98, 100, 0, 0, 24).thumbLength, 98);
    EXPECT_EQ(UIScrollGeometry::Compute(0, 100, 50, 10, 24).thumbLength, 0);
    EXPECT_EQ(UIScrollGeometry::PosForDrag(98, 24, 500, 0, 74), 500);
    EXPECT_EQ(UIScrollGeometry::PosForDrag(98, 24, 500, 500, -1000), 0);
    EXPECT_EQ(UIScrollGeometry::PosForDrag(98, 98, 500, 120, 30), 120);
}

TEST_F(ScrollBarTest, BarAndThumbScaleWithTheDisplay) {
    backend->SetScreenDpi(144);
    CListUI* list = OpenList(20);  // 200 x 100 logical: 300 x 150 device pixels
    ASSERT_EQ(w->GetDPI().GetDPI(), 144);
    ASSERT_EQ(w->GetClientSize(), (UISize{300, 150}));
    EXPECT_EQ(Bar(list)->GetPos(), (UIRect{288, 0, 300, 150}));
    EXPECT_EQ(Bar(list)->GetTrackRect(), (UIRect{290, 2, 298, 148}));
    EXPECT_EQ(Bar(list)->GetThumbRect().GetHeight(), 36);  // the 24-pixel minimum at 150 %
    const auto calls = backend->PaintWindow(w.get());
    EXPECT_EQ(Count(calls, L"fillround 290,2,298,148 4,4 #FFF5F7FA"), 1u);
    // A drag to the end of the track reaches the last row exactly at this scale too.
    const UIPoint grab = Bar(list)->GetThumbRect().Center();
    Drag(grab, {grab.x, grab.y + 200});
    EXPECT_EQ(list->GetScrollPos().cy, list->GetScrollRange().cy);
    w->UpdateLayout();
    EXPECT_EQ(list->GetItemAt(19)->GetPos().bottom, 150);
}

TEST_F(ScrollBarTest, DraggingTheThumbScrollsProportionallyAndReachesTheLastRowExactly) {
    CListUI* list = OpenList(200);  // 6000 of 100
    const int range = list->GetScrollRange().cy;
    ASSERT_EQ(range, 5900);
    const UIRect thumb = Bar(list)->GetThumbRect();
    ASSERT_EQ(thumb.GetHeight(), 24);
    const int free = Bar(list)->GetTrackRect().GetHeight() - thumb.GetHeight();  // 74

    // Half the free track is half the range; the thumb is dark while held and after, as the
    // pointer is still on it.
    const UIPoint grab = thumb.Center();
    w->InputMouseMove(grab);
    EXPECT_TRUE(Bar(list)->IsThumbHot());
    w->InputMouseDown(grab);
    EXPECT_TRUE(Bar(list)->IsDragging());
    w->InputMouseMove({grab.x, grab.y + free / 2}, UIMK_LBUTTON);
    EXPECT_EQ(list->GetScrollPos().cy, 2950);
    EXPECT_EQ(Count(backend->PaintWindow(w.get()),
                    L"fillround " + std::to_wstring(thumb.left) + L"," + std::to_wstring(thumb.top + 37) +
                        L"," + std::to_wstring(thumb.right) + L"," + std::to_wstring(thumb.bottom + 37) +
                        L" 3,3 #FF8A94A6"),
              1u);
    // Leaving the bar sideways keeps the drag: the window sends the moves to the pressed bar.
    w->InputMouseMove({20, grab.y + free}, UIMK_LBUTTON);
    EXPECT_EQ(list->GetScrollPos().cy, range);
    w->InputMouseMove({20, grab.y + free + 300}, UIMK_LBUTTON);
    EXPECT_EQ(list->GetScrollPos().cy, range);
    w->InputMouseUp({20, grab.y + free + 300});
    driver->Pump();
    EXPECT_FALSE(Bar(list)->IsDragging());
    EXPECT_FALSE(Bar(list)->IsThumbHot());
    w->UpdateLayout();
    EXPECT_EQ(list->GetItemAt(199)->GetPos(), (UIRect{0, 70, 200, 100}));
    EXPECT_EQ(Bar(list)->GetThumbRect().bottom, Bar(list)->GetTrackRect().bottom);
    // The drag selected no row and clicked nothing.
    EXPECT_EQ(list->GetCurSel(), -1);
    EXPECT_EQ(w->notes, (std::vector<std::wstring>{L"windowinit:list"}));

    // Back up past the top: the first row.
    const UIPoint again = Bar(list)->GetThumbRect().Center();
    Drag(again, {again.x, -50});
    EXPECT_EQ(list->GetScrollPos().cy, 0);
    w->UpdateLayout();
    EXPECT_EQ(list->GetItemAt(0)->GetPos().top, 0);
}

TEST_F(ScrollBarTest, TrackClicksPageByTheViewAndTheWheelStillScrolls) {
    CListUI* list = OpenList(10);  // 300 of 100: range 200
    ASSERT_EQ(list->GetScrollRange().cy, 200);
    EXPECT_EQ(Bar(list)->GetThumbRect(), (UIRect{193, 1, 199, 34}));
    Press({196, 90});  // below the thumb
    EXPECT_EQ(list->GetScrollPos().cy, 100);
    Press({196, 95});
    EXPECT_EQ(list->GetScrollPos().cy, 200);
    Press({196, 95});  // the thumb is there now: a press on it pages nothing
    EXPECT_EQ(list->GetScrollPos().cy, 200);
    Press({196, 5});  // above
    EXPECT_EQ(list->GetScrollPos().cy, 100);
    w->InputDoubleClick({196, 5});  // a quick second press pages again
    w->InputMouseUp({196, 5});
    EXPECT_EQ(list->GetScrollPos().cy, 0);
    EXPECT_EQ(list->GetCurSel(), -1);

    // The wheel over the bar and over the rows scrolls by a line.
    w->InputMouseWheel({196, 50}, -120);
    EXPECT_EQ(list->GetScrollPos().cy, 20);
    w->InputMouseWheel({50, 50}, -120);
    EXPECT_EQ(list->GetScrollPos().cy, 40);
    w->InputMouseWheel({196, 50}, 120);
    EXPECT_EQ(list->GetScrollPos().cy, 20);
    // Keys pressed after a click on the bar still move the list's selection.
    list->SelectItem(2, false);
    Press({196, 95});
    w->InputKeyDown(UIKEY_DOWN);
    EXPECT_EQ(list->GetCurSel(), 3);
}

TEST_F(ScrollBarTest, RemovingRowsClampsThePositionAndUpdatesTheBar) {
    CListUI* list = OpenList(20);
    list->SetScrollPos({0, 500});
    w->UpdateLayout();
    for (int i = 0; i < 15; ++i) list->RemoveAt(0);  // 150 of 100 left
    w->UpdateLayout();
    EXPECT_EQ(list->GetScrollRange().cy, 50);
    EXPECT_EQ(list->GetScrollPos().cy, 50);
    EXPECT_EQ(list->GetItemAt(4)->GetPos().bottom, 100);
    EXPECT_EQ(Bar(list)->GetThumbRect(), (UIRect{193, 34, 199, 99}));
    list->RemoveAt(0);
    list->RemoveAt(0);  // 90 of 100
    w->UpdateLayout();
    EXPECT_EQ(list->GetScrollPos().cy, 0);
    EXPECT_FALSE(list->IsVScrollBarShown());
    EXPECT_EQ(list->GetItemAt(0)->GetPos().top, 0);
    list->RemoveAll();
    w->UpdateLayout();
    EXPECT_FALSE(list->IsVScrollBarShown());
    // A press where the bar was reaches the list, not a hidden bar.
    Press({196, 50});
    EXPECT_EQ(list->GetScrollPos().cy, 0);
}

TEST_F(ScrollBarTest, LayoutAttributesAndRemovalWhileHovered) {
    // Switched off: the wheel scrolls, nothing is painted, the right edge belongs to the rows.
    CListUI* list = OpenList(20, L"<List name=\"list\" showscrollbar=\"false\"/>");
    EXPECT_FALSE(list->IsVScrollBarShown());
    EXPECT_EQ(w->FindControl(UIPoint{196, 50}), w->FindControl(L"label1"));
    w->InputMouseWheel({196, 50}, -120);
    EXPECT_EQ(list->GetScrollPos().cy, 20);
    EXPECT_EQ(CountPrefix(backend->PaintWindow(w.get()), L"fillround "), 0u);
    list->SetAttribute(L"showscrollbar", L"true");
    w->UpdateLayout();
    EXPECT_TRUE(list->IsVScrollBarShown());

    // Colours from the layout, inside a border; a layout without scrolling has no bar.
    list = OpenList(20,
                    L"<List name=\"list\" bordersize=\"1\" scrolltrackcolor=\"#FF000001\" "
                    L"scrollthumbcolor=\"#FF000002\" scrollthumbhotcolor=\"#FF000003\"/>");
    EXPECT_EQ(Bar(list)->GetPos(), (UIRect{191, 1, 199, 99}));
    auto calls = backend->PaintWindow(w.get());
    EXPECT_EQ(Count(calls, L"fillround 192,2,198,98 3,3 #FF000001"), 1u);
    EXPECT_EQ(CountPrefix(calls, L"fillround 192,2,198,26 3,3 #FF000002"), 1u);

    CBuilderUI builder;
    auto* box = dynamic_cast<CContainerUI*>(
        builder.CreateFromText(L"<VerticalLayout><VerticalLayout name=\"plain\" height=\"40\">"
                               L"<Control height=\"80\"/></VerticalLayout></VerticalLayout>",
                               nullptr));
    ASSERT_NE(box, nullptr);
    auto w2 = std::make_unique<CTestWnd>(L"");
    w2->SetRoot(box);
    ASSERT_TRUE(w2->Create(nullptr, L"plain", 0, 0, 100, 100));
    w2->UpdateLayout();
    auto* plain = w2->FindControlAs<CContainerUI>(L"plain");
    EXPECT_FALSE(plain->IsVScrollBarShown());
    EXPECT_EQ(plain->GetVerticalScrollBar(), nullptr);
    plain->SetAttribute(L"vscrollbar", L"true");
    w2->UpdateLayout();
    EXPECT_TRUE(plain->IsVScrollBarShown());

    // The bar under the pointer goes with its list: the window forgets it.
    auto* holder = new CVerticalLayoutUI;
    auto* inner = new CListUI;
    for (int i = 0; i < 20; ++i) inner->Add(Row(i));
    holder->Add(inner);
    auto w3 = std::make_unique<CTestWnd>(L"");
    w3->SetRoot(holder);
    ASSERT_TRUE(w3->Create(nullptr, L"holder", 0, 0, 200, 100));
    w3->UpdateLayout();
    w3->InputMouseMove({196, 10});
    w3->InputMouseDown({196, 10});
    ASSERT_EQ(w3->GetPushed(), inner->GetVerticalScrollBar());
    holder->Remove(inner);
    EXPECT_EQ(w3->GetHot(), nullptr);
    EXPECT_EQ(w3->GetPushed(), nullptr);
    w3->InputMouseMove({196, 60}, UIMK_LBUTTON);
    w3->InputMouseUp({196, 60});
    driver->Pump();
}

TEST_F(ScrollBarTest, HoldingOnTheTrackPagesUntilTheThumbReachesThePointer) {
    CListUI* list = OpenList(20);  // range 500, view 100
    // Held below the thumb: a page at once, another after the pause, then one per interval, and
    // none once the thumb lies under the pointer.
    w->InputMouseMove({196, 95});
    w->InputMouseDown({196, 95});
    EXPECT_EQ(list->GetScrollPos().cy, 100);
    EXPECT_TRUE(Bar(list)->IsPaging());
    driver->AdvanceTime(CScrollBarUI::kRepeatDelayMs - 1);
    EXPECT_EQ(list->GetScrollPos().cy, 100);
    driver->AdvanceTime(1);
    EXPECT_EQ(list->GetScrollPos().cy, 200);
    driver->AdvanceTime(CScrollBarUI::kRepeatIntervalMs);
    EXPECT_EQ(list->GetScrollPos().cy, 300);
    driver->AdvanceTime(CScrollBarUI::kRepeatIntervalMs * 2);
    EXPECT_EQ(list->GetScrollPos().cy, 500);
    driver->AdvanceTime(CScrollBarUI::kRepeatIntervalMs * 10);
    EXPECT_EQ(list->GetScrollPos().cy, 500);
    EXPECT_FALSE(Bar(list)->IsPaging());
    w->InputMouseUp({196, 95});

    // Held above, the pointer in the middle of the track: the thumb stops where it meets it.
    w->InputMouseMove({196, 40});
    w->InputMouseDown({196, 40});
    driver->AdvanceTime(2000);
    w->InputMouseUp({196, 40});
    const UIRect thumb = Bar(list)->GetThumbRect();
    EXPECT_TRUE(thumb.top <= 40 && 40 < thumb.bottom) << thumb.top << ".." << thumb.bottom;
    EXPECT_EQ(list->GetScrollPos().cy, 200);

    // Released before the pause: one page only.
    list->SetScrollPos({0, 0});
    w->InputMouseDown({196, 95});
    w->InputMouseUp({196, 95});
    driver->AdvanceTime(2000);
    EXPECT_EQ(list->GetScrollPos().cy, 100);
    EXPECT_FALSE(Bar(list)->IsPaging());

    // The bar going away while held ends the paging.
    list->SetScrollPos({0, 0});
    w->UpdateLayout();
    w->InputMouseDown({196, 95});
    while (list->GetCount() > 2) list->RemoveAt(list->GetCount() - 1);
    w->UpdateLayout();
    driver->AdvanceTime(2000);
    EXPECT_FALSE(Bar(list)->IsPaging());
    EXPECT_EQ(list->GetScrollPos().cy, 0);
    w->InputMouseUp({196, 95});
}
