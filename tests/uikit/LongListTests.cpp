// A long list places its rows outside the view cheaply: what a program can see of those rows
// (rectangles, placement of its own controls, painting after a scroll) stays as if every row had
// been laid out.
#include <gtest/gtest.h>

#include "UiFixture.h"

namespace {
// A control of the program that follows every placement (as a native child window would).
class CTrackUI : public CControlUI {
public:
    std::wstring GetClass() const override { return L"TrackUI"; }
    void SetPos(const UIRect& rc, bool needInvalidate) override {
        CControlUI::SetPos(rc, needInvalidate);
        placed.push_back(rc);
    }
    std::vector<UIRect> placed;
};

CListContainerElementUI* TextRow(int n) {
    auto* row = new CListContainerElementUI;
    row->SetFixedHeight(30);
    auto* box = new CVerticalLayoutUI;
    box->SetFixedWidth(120);
    auto* label = new CLabelUI;
    label->SetName(L"text" + std::to_wstring(n));
    label->SetText(L"row " + std::to_wstring(n));
    label->SetFixedHeight(20);
    box->Add(label);
    row->Add(box);
    return row;
}

size_t CountTexts(const std::vector<std::wstring>& calls) {
    size_t n = 0;
    for (const auto& c : calls) n += c.rfind(L"text ", 0) == 0;
    return n;
}
}  // namespace

TEST_F(UiTest, LongListPaintsAndPlacesRowsScrolledIntoView) {
    CBuilderUI builder;
    CControlUI* root = builder.CreateFromText(L"<List name=\"list\"/>", nullptr);
    ASSERT_NE(root, nullptr);
    CTestWnd w(L"");
    w.SetRoot(root);
    ASSERT_TRUE(w.Create(nullptr, L"list", 0, 0, 200, 100));
    driver->Pump();
    auto* list = dynamic_cast<CListUI*>(root);
    ASSERT_NE(list, nullptr);
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(list->Add(TextRow(i)));
    // A row with a control of the program, far below the view.
    auto* track = new CTrackUI;
    track->SetFixedWidth(10);
    auto* special = new CListContainerElementUI;
    special->SetFixedHeight(30);
    special->Add(track);
    ASSERT_TRUE(list->AddAt(special, 150));
    w.UpdateLayout();
    ASSERT_FALSE(track->placed.empty());
    EXPECT_EQ(track->placed.back(), (UIRect{0, 150 * 30, 10, 151 * 30}));

    // Only the rows in view are painted: four rows of 30 in 100 pixels.
    EXPECT_EQ(CountTexts(backend->PaintWindow(&w)), 4u);

    // Scrolling moves the program's control at once, and the rows now in view are painted where
    // they are.
    const int repaints = backend->RepaintRequests(&w);
    list->SetScrollPos({0, 95 * 30 + 5});
    w.UpdateLayout();
    EXPECT_EQ(track->placed.back(), (UIRect{0, 55 * 30 - 5, 10, 56 * 30 - 5}));
    auto calls = backend->PaintWindow(&w);
    EXPECT_EQ(CountTexts(calls), 4u);
    bool found = false;
    for (const auto& c : calls)
        found = found || (c.find(L"\"row 95\"") != std::wstring::npos && c.find(L"text 0,-5,") == 0);
    EXPECT_TRUE(found);
    // Rows outside the view still answer their place, and asking asks for no repaint.
    EXPECT_EQ(w.FindControl(L"text0")->GetPos(), (UIRect{0, -95 * 30 - 5, 120, -95 * 30 + 15}));
    EXPECT_EQ(w.FindControl(L"text199")->GetPos().top, 200 * 30 - 95 * 30 - 5);
    EXPECT_EQ(backend->RepaintRequests(&w), repaints + 1);  // the scroll itself

    // A control of the program added later to a row outside the view is placed by the next
    // layout, not left behind.
    auto* late = new CTrackUI;
    late->SetFixedWidth(7);
    ASSERT_TRUE(dynamic_cast<CContainerUI*>(list->GetItemAt(10))->Add(late));
    w.UpdateLayout();
    ASSERT_FALSE(late->placed.empty());
    EXPECT_EQ(late->placed.back(), (UIRect{120, 10 * 30 - 95 * 30 - 5, 127, 11 * 30 - 95 * 30 - 5}));

    // The pointer finds the label of the row under it after the scroll, and a click selects it.
    EXPECT_EQ(w.FindControl(UIPoint{50, 30}), w.FindControl(L"text96"));
    w.InputMouseDown(UIPoint{150, 30});
    w.InputMouseUp(UIPoint{150, 30});
    EXPECT_EQ(list->GetCurSel(), 96);
}
