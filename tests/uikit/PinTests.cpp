// Layout details that are easy to break when the layout code is reworked: a child's bottom
// padding in a vertical layout, the leftover pixel of stretching children, removing a tab page
// before the selected one, and list rows (indices, selection, positions, hit tests) when rows are
// appended, inserted, removed and scrolled.
#include <gtest/gtest.h>

#include "UiFixture.h"

namespace {
// A window of the given client size around a tree built from layout text.
struct TreeWindow {
    TreeWindow(const std::wstring& layout, int cx, int cy) : wnd(L"") {
        CBuilderUI builder;
        root = builder.CreateFromText(layout, nullptr);
        if (!root) return;
        wnd.SetRoot(root);
        created = wnd.Create(nullptr, L"pin", 0, 0, cx, cy);
    }
    CControlUI* Find(const std::wstring& name) { return wnd.FindControl(name); }
    CTestWnd wnd;
    CControlUI* root = nullptr;
    bool created = false;
};

// One list row of the given height with a button, as task rows are built.
CListContainerElementUI* MakeRow(int height, int n) {
    auto* row = new CListContainerElementUI;
    row->SetFixedHeight(height);
    auto* label = new CLabelUI;
    label->SetName(L"label" + std::to_wstring(n));
    label->SetFixedWidth(100);
    row->Add(label);
    auto* button = new CButtonUI;
    button->SetName(L"button" + std::to_wstring(n));
    button->SetFixedWidth(30);
    row->Add(button);
    return row;
}
}  // namespace

TEST_F(UiTest, VerticalLayoutCountsEveryChildPaddingSide) {
    TreeWindow t(
        L"<VerticalLayout name=\"root\" inset=\"1,2,3,4\">"
        L"<Control name=\"a\" height=\"30\" padding=\"5,2,6,7\"/>"
        L"<Control name=\"b\" height=\"20\"/>"
        L"<Control name=\"c\"/></VerticalLayout>",
        200, 100);
    ASSERT_TRUE(t.created);
    driver->Pump();
    // a: left 1+5, top 2+2, right 200-3-6; b starts after a's bottom padding of 7.
    EXPECT_EQ(t.Find(L"a")->GetPos(), (UIRect{6, 4, 191, 34}));
    EXPECT_EQ(t.Find(L"b")->GetPos(), (UIRect{1, 41, 197, 61}));
    // c stretches over what is left: 96 inside minus 2+30+7 and 20.
    EXPECT_EQ(t.Find(L"c")->GetPos(), (UIRect{1, 61, 197, 96}));

    // In a horizontal layout the right padding pushes the next child the same way.
    TreeWindow h(
        L"<HorizontalLayout><Control name=\"a\" width=\"30\" padding=\"3,1,9,2\"/>"
        L"<Control name=\"b\" width=\"20\"/></HorizontalLayout>",
        200, 50);
    ASSERT_TRUE(h.created);
    driver->Pump();
    EXPECT_EQ(h.Find(L"a")->GetPos(), (UIRect{3, 1, 33, 48}));
    EXPECT_EQ(h.Find(L"b")->GetPos(), (UIRect{42, 0, 62, 50}));
}

TEST_F(UiTest, LeftoverPixelsGoToTheLastStretchingChild) {
    TreeWindow v(
        L"<VerticalLayout><Control name=\"a\"/><Control name=\"fixed\" height=\"10\"/>"
        L"<Control name=\"b\"/><Control name=\"c\"/></VerticalLayout>",
        50, 102);
    ASSERT_TRUE(v.created);
    driver->Pump();
    // 92 pixels for three stretching children: 30, 30 and 32.
    EXPECT_EQ(v.Find(L"a")->GetPos(), (UIRect{0, 0, 50, 30}));
    EXPECT_EQ(v.Find(L"fixed")->GetPos(), (UIRect{0, 30, 50, 40}));
    EXPECT_EQ(v.Find(L"b")->GetPos(), (UIRect{0, 40, 50, 70}));
    EXPECT_EQ(v.Find(L"c")->GetPos(), (UIRect{0, 70, 50, 102}));

    TreeWindow h(L"<HorizontalLayout><Control name=\"a\"/><Control name=\"b\"/></HorizontalLayout>", 101, 20);
    ASSERT_TRUE(h.created);
    driver->Pump();
    EXPECT_EQ(h.Find(L"a")->GetPos(), (UIRect{0, 0, 50, 20}));
    EXPECT_EQ(h.Find(L"b")->GetPos(), (UIRect{50, 0, 101, 20}));
}

TEST_F(UiTest, RemovingATabPageKeepsTheSelectedPage) {
    TreeWindow t(
        L"<TabLayout name=\"tabs\"><Control name=\"p0\"/><Control name=\"p1\"/>"
        L"<Control name=\"p2\"/><Control name=\"p3\"/></TabLayout>",
        100, 100);
    ASSERT_TRUE(t.created);
    driver->Pump();
    auto* tabs = dynamic_cast<CTabLayoutUI*>(t.Find(L"tabs"));
    ASSERT_NE(tabs, nullptr);
    ASSERT_TRUE(tabs->SelectItem(2));
    CControlUI* p2 = t.Find(L"p2");
    // A page before the selected one goes: the same page stays selected at its new index.
    EXPECT_TRUE(tabs->Remove(t.Find(L"p0")));
    EXPECT_EQ(tabs->GetCurSel(), 1);
    EXPECT_EQ(tabs->GetItemAt(1), p2);
    EXPECT_TRUE(p2->IsVisible());
    EXPECT_FALSE(t.Find(L"p1")->IsVisible());
    EXPECT_FALSE(t.Find(L"p3")->IsVisible());
    // A page after the selected one goes: nothing changes.
    ASSERT_TRUE(tabs->SelectItem(0));
    EXPECT_TRUE(tabs->Remove(p2));
    EXPECT_EQ(tabs->GetCurSel(), 0);
    EXPECT_TRUE(t.Find(L"p1")->IsVisible());
    // The selected last page goes: the one before it is shown.
    ASSERT_TRUE(tabs->SelectItem(1));
    EXPECT_TRUE(tabs->Remove(t.Find(L"p3")));
    EXPECT_EQ(tabs->GetCurSel(), 0);
    EXPECT_TRUE(t.Find(L"p1")->IsVisible());
}

TEST_F(UiTest, ListRowsKeepIndicesAndSelectionThroughInsertAndRemove) {
    TreeWindow t(L"<List name=\"list\"/>", 300, 100);
    ASSERT_TRUE(t.created);
    auto* list = dynamic_cast<CListUI*>(t.Find(L"list"));
    ASSERT_NE(list, nullptr);
    std::vector<CListContainerElementUI*> rows;
    for (int i = 0; i < 6; ++i) {
        rows.push_back(MakeRow(20, i));
        ASSERT_TRUE(list->Add(rows.back()));
    }
    ASSERT_TRUE(list->SelectItem(3, false));
    EXPECT_TRUE(rows[3]->IsSelected());
    // Inserting before the selection moves it along with its row.
    auto* inserted = MakeRow(20, 99);
    ASSERT_TRUE(list->AddAt(inserted, 1));
    EXPECT_EQ(list->GetCurSel(), 4);
    EXPECT_EQ(list->GetSelectedElement(), rows[3]);
    for (int i = 0; i < list->GetCount(); ++i)
        EXPECT_EQ(dynamic_cast<CListContainerElementUI*>(list->GetItemAt(i))->GetIndex(), i);
    // Removing a row before it does too; removing the selected row clears the selection.
    ASSERT_TRUE(list->Remove(rows[0]));
    EXPECT_EQ(list->GetCurSel(), 3);
    EXPECT_EQ(rows[4]->GetIndex(), 4);
    ASSERT_TRUE(list->RemoveAt(3));
    EXPECT_EQ(list->GetCurSel(), -1);
    EXPECT_EQ(list->GetSelectedElement(), nullptr);
    for (int i = 0; i < list->GetCount(); ++i) {
        auto* row = dynamic_cast<CListContainerElementUI*>(list->GetItemAt(i));
        EXPECT_EQ(row->GetIndex(), i);
        EXPECT_FALSE(row->IsSelected());
    }
    // Selecting moves the selected state from one row to the other only.
    ASSERT_TRUE(list->SelectItem(0, false));
    ASSERT_TRUE(list->SelectItem(2, false));
    EXPECT_FALSE(inserted->IsSelected());
    EXPECT_TRUE(dynamic_cast<CListContainerElementUI*>(list->GetItemAt(2))->IsSelected());
    EXPECT_EQ(inserted->GetIndex(), 0);
    EXPECT_FALSE(list->SelectItem(list->GetCount()));
}

TEST_F(UiTest, LongListPlacesEveryRowAndHitsTheRowUnderThePointer) {
    TreeWindow t(
        L"<VerticalLayout><Control height=\"10\"/><List name=\"list\" childpadding=\"2\"/></VerticalLayout>",
        300, 110);
    ASSERT_TRUE(t.created);
    auto* list = dynamic_cast<CListUI*>(t.Find(L"list"));
    ASSERT_NE(list, nullptr);
    // Mixed heights: every fifth row is 40 high, the others 20.
    const int count = 500;
    std::vector<int> tops;
    int y = 10;
    for (int i = 0; i < count; ++i) {
        const int height = i % 5 == 4 ? 40 : 20;
        ASSERT_TRUE(list->Add(MakeRow(height, i)));
        tops.push_back(y);
        y += height + 2;
    }
    t.wnd.UpdateLayout();
    const int contentHeight = y - 2 - 10;
    EXPECT_EQ(list->GetScrollRange().cy, contentHeight - 100);
    // Rows far outside the view answer their place too, and so do their controls.
    EXPECT_EQ(list->GetItemAt(count - 1)->GetPos(), (UIRect{0, tops[count - 1], 300, tops[count - 1] + 40}));
    EXPECT_EQ(t.Find(L"button250")->GetPos(), (UIRect{100, tops[250], 130, tops[250] + 20}));

    // Scroll to the middle with wheel notches: the row under the pointer is hit, and its button.
    for (int i = 0; i < 300; ++i) t.wnd.InputMouseWheel(UIPoint{150, 50}, -120);
    t.wnd.UpdateLayout();
    const int scroll = list->GetScrollPos().cy;
    EXPECT_EQ(scroll, 300 * 20);
    int expected = -1;
    for (int i = 0; i < count; ++i)
        if (tops[i] - scroll <= 50 && 50 < tops[i] - scroll + (i % 5 == 4 ? 40 : 20)) expected = i;
    ASSERT_GE(expected, 0);
    EXPECT_EQ(t.wnd.FindControl(UIPoint{50, 50}), t.Find(L"label" + std::to_wstring(expected)));
    EXPECT_EQ(t.wnd.FindControl(UIPoint{110, 50}), t.Find(L"button" + std::to_wstring(expected)));
    EXPECT_EQ(t.Find(L"button" + std::to_wstring(expected))->GetPos().top, tops[expected] - scroll);
    // A pointer over the gap between two rows hits the list itself.
    const int gapY = tops[expected + 1] - scroll - 1;
    if (gapY >= 10 && gapY < 110) {
        EXPECT_EQ(t.wnd.FindControl(UIPoint{250, gapY}), list);
    }

    // Hovering a row makes it hot; the row scrolled out of the view under the pointer is left.
    t.wnd.InputMouseMove(UIPoint{250, 50});
    CControlUI* hot = t.wnd.GetHot();
    ASSERT_NE(hot, nullptr);
    t.wnd.InputMouseWheel(UIPoint{250, 50}, 120);
    t.wnd.InputMouseMove(UIPoint{250, 50});
    EXPECT_NE(t.wnd.GetHot(), hot);

    // A hidden row takes no place; showing it again restores the others' places.
    CControlUI* first = list->GetItemAt(0);
    first->SetVisible(false);
    t.wnd.UpdateLayout();
    EXPECT_EQ(list->GetScrollRange().cy, contentHeight - 22 - 100);
    first->SetVisible(true);
    list->SetScrollPos({0, 0});
    t.wnd.UpdateLayout();
    EXPECT_EQ(list->GetItemAt(1)->GetPos().top, tops[1]);
    EXPECT_EQ(t.wnd.FindControl(UIPoint{50, 15}), t.Find(L"label0"));
}
