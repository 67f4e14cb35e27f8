// Rectangles computed from layout attributes: fixed and stretching children, padding, inset,
// child padding, float "pos", tab pages, list scrolling and the display scale.
#include <gtest/gtest.h>

#include "UiFixture.h"

TEST_F(UiTest, LinearLayoutsShareSpaceAmongStretchingChildren) {
    auto w = Open(L"layout.xml");
    EXPECT_EQ(w->FindControl(L"root")->GetPos(), (UIRect{0, 0, 400, 300}));
    // Inset 10, child padding 5: 280 high; top 40 and bottom 50 fixed, the middle takes the rest.
    EXPECT_EQ(w->FindControl(L"top")->GetPos(), (UIRect{10, 10, 390, 50}));
    EXPECT_EQ(w->FindControl(L"middle")->GetPos(), (UIRect{10, 55, 390, 235}));
    EXPECT_EQ(w->FindControl(L"bottom")->GetPos(), (UIRect{10, 240, 390, 290}));
    // Horizontal: 100 fixed, two stretching labels of 133, the second after its left padding 6.
    EXPECT_EQ(w->FindControl(L"fixedBtn")->GetPos(), (UIRect{10, 10, 110, 50}));
    EXPECT_EQ(w->FindControl(L"stretchA")->GetPos(), (UIRect{114, 10, 247, 50}));
    EXPECT_EQ(w->FindControl(L"stretchB")->GetPos(), (UIRect{257, 10, 390, 50}));
    // A plain container gives its child the whole inside.
    EXPECT_EQ(w->FindControl(L"fill")->GetPos(), (UIRect{10, 55, 390, 235}));

    // Showing the hidden 30-high label takes space from the stretching middle.
    w->FindControl(L"hidden")->SetVisible(true);
    w->UpdateLayout();
    EXPECT_EQ(w->FindControl(L"middle")->GetPos(), (UIRect{10, 55, 390, 200}));
    EXPECT_EQ(w->FindControl(L"hidden")->GetPos(), (UIRect{10, 260, 390, 290}));
}

TEST_F(UiTest, FloatControlsArePlacedByPosRelativeToTheirParent) {
    auto w = Open(L"layout.xml");
    CControlUI* mark = w->FindControl(L"mark");
    EXPECT_EQ(mark->GetPos(), (UIRect{88, 67, 90, 85}));
    // Float controls lie on top: the hit test finds them before the filling label.
    EXPECT_EQ(w->FindControl(UIPoint{89, 70}), mark);
    EXPECT_EQ(w->FindControl(UIPoint{200, 100}), w->FindControl(L"fill"));
    // Writing "pos" moves it at the next layout.
    mark->SetAttribute(L"pos", L"91,12,93,30");
    w->UpdateLayout();
    EXPECT_EQ(mark->GetPos(), (UIRect{101, 67, 103, 85}));
    // A hidden control is not hit.
    mark->SetVisible(false);
    w->UpdateLayout();
    EXPECT_NE(w->FindControl(UIPoint{102, 70}), mark);
}

TEST_F(UiTest, DisplayScaleOf150PercentScalesEveryLength) {
    auto w = Open(L"layout.xml", 144);
    EXPECT_EQ(w->GetDPI().GetScale(), 150);
    EXPECT_EQ(w->GetDPI().Scale(130), 195);
    EXPECT_EQ(w->GetDPI().ScaleBack(195), 130);
    EXPECT_EQ(w->GetClientSize(), (UISize{600, 450}));
    EXPECT_EQ(w->FindControl(L"top")->GetPos(), (UIRect{15, 15, 585, 75}));
    EXPECT_EQ(w->FindControl(L"middle")->GetPos(), (UIRect{15, 83, 585, 352}));
    EXPECT_EQ(w->FindControl(L"bottom")->GetPos(), (UIRect{15, 360, 585, 435}));
    EXPECT_EQ(w->FindControl(L"fixedBtn")->GetPos(), (UIRect{15, 15, 165, 75}));
    EXPECT_EQ(w->FindControl(L"mark")->GetPos(), (UIRect{132, 101, 135, 128}));
}

TEST_F(UiTest, DpiChangeMessageRelaysTheWindow) {
    auto w = Open(L"layout.xml");
    EXPECT_EQ(w->FindControl(L"bottom")->GetPos(), (UIRect{10, 240, 390, 290}));
    UIRect suggested{100, 100, 700, 550};
    w->InputDpiChanged(144, suggested);
    driver->Pump();
    EXPECT_EQ(w->GetDPI().GetDPI(), 144);
    EXPECT_EQ(w->GetWindowRect(), suggested);
    EXPECT_EQ(backend->GetNativeRect(w.get()), suggested);
    EXPECT_EQ(w->FindControl(L"bottom")->GetPos(), (UIRect{15, 360, 585, 435}));

    // A window that handles the message itself keeps its scale.
    w->onMessage = [](uint32_t msg, uintptr_t, intptr_t, bool& handled) {
        handled = msg == UIMSG_DPICHANGED;
        return intptr_t{0};
    };
    w->InputDpiChanged(96, UIRect{0, 0, 400, 300});
    EXPECT_EQ(w->GetDPI().GetDPI(), 144);
}

TEST_F(UiTest, TabLayoutShowsOnlyTheSelectedPage) {
    auto w = Open(L"controls.xml");
    auto* tabs = w->FindControlAs<CTabLayoutUI>(L"tabs");
    CControlUI* page0 = w->FindControl(L"page0");
    CControlUI* page1btn = w->FindControl(L"page1btn");
    EXPECT_TRUE(page1btn->IsVisible());
    w->notes.clear();
    EXPECT_TRUE(driver->SelectTab(w.get(), L"tabs", 0));
    EXPECT_EQ(tabs->GetCurSel(), 0);
    EXPECT_TRUE(page0->IsVisible());
    EXPECT_FALSE(page1btn->IsVisible());  // hidden with its page
    EXPECT_FALSE(driver->Click(w.get(), L"page1btn"));
    EXPECT_EQ(w->notes, (std::vector<std::wstring>{L"tabselect:tabs"}));
    // Selecting the current page again or a page that does not exist sends nothing.
    EXPECT_TRUE(tabs->SelectItem(0));
    EXPECT_FALSE(tabs->SelectItem(7));
    EXPECT_EQ(w->notes.size(), 1u);
    EXPECT_EQ(page0->GetPos(), tabs->GetPos());
}

TEST_F(UiTest, ListRowsScrollWhenTheyDoNotFit) {
    auto w = Open(L"controls.xml");
    auto* list = w->FindControlAs<CListUI>(L"list");
    UIRect view = list->GetPos();
    ASSERT_GT(view.GetHeight(), 0);
    CBuilderUI builder;
    const int rows = view.GetHeight() / 40 + 5;
    for (int i = 0; i < rows; ++i) ASSERT_TRUE(list->Add(builder.Create(L"row.xml", w.get())));
    w->UpdateLayout();
    EXPECT_EQ(list->GetItemAt(1)->GetPos().top, view.top + 40);
    EXPECT_EQ(list->GetScrollRange().cy, rows * 40 - view.GetHeight());
    CControlUI* last = list->GetItemAt(rows - 1);
    list->EnsureVisible(last);
    EXPECT_EQ(last->GetPos().bottom, view.bottom);
    EXPECT_EQ(list->GetScrollPos().cy, list->GetScrollRange().cy);
    // The first row is now outside the view and cannot be hit.
    EXPECT_NE(w->FindControl(list->GetItemAt(0)->GetPos().Center()), list->GetItemAt(0));
    EXPECT_TRUE(driver->ClickListItem(w.get(), L"list", 0));
    EXPECT_EQ(list->GetScrollPos().cy, 0);
    EXPECT_EQ(list->GetCurSel(), 0);
}

namespace {
// A control that hosts something native: it follows every placement and visibility change.
class CHostUI : public CControlUI {
public:
    std::wstring GetClass() const override { return L"HostUI"; }
    void SetPos(const UIRect& rc, bool needInvalidate) override {
        CControlUI::SetPos(rc, needInvalidate);
        placed.push_back(rc);
    }
    void SetInternVisible(bool visible) override {
        CControlUI::SetInternVisible(visible);
        shown.push_back(visible);
    }
    std::vector<UIRect> placed;
    std::vector<bool> shown;
};
struct HostFactory : IBuilderCallbackUI {
    CControlUI* CreateControl(const std::wstring& tag) override {
        return tag == L"Host" ? new CHostUI : nullptr;
    }
};
}  // namespace

TEST_F(UiTest, CustomControlsFollowLayoutAndTabVisibility) {
    HostFactory factory;
    CBuilderUI builder;
    CControlUI* root = builder.CreateFromText(
        L"<TabLayout name=\"tabs\"><VerticalLayout inset=\"5,5,5,5\"><Host name=\"host\" height=\"250\"/>"
        L"</VerticalLayout><Label name=\"other\"/></TabLayout>",
        &factory);
    ASSERT_NE(root, nullptr);
    auto* host = static_cast<CHostUI*>(static_cast<CContainerUI*>(root)->FindSubControl(L"host"));
    ASSERT_NE(host, nullptr);
    CTestWnd w(L"");
    w.SetRoot(root);
    ASSERT_TRUE(w.Create(nullptr, L"host", 0, 0, 645, 300));
    driver->Pump();
    ASSERT_FALSE(host->placed.empty());
    EXPECT_EQ(host->placed.back(), (UIRect{5, 5, 640, 255}));
    host->shown.clear();
    EXPECT_TRUE(driver->SelectTab(&w, L"tabs", 1));
    EXPECT_EQ(host->shown, std::vector<bool>{false});
    EXPECT_FALSE(host->IsVisible());
    EXPECT_TRUE(driver->SelectTab(&w, L"tabs", 0));
    EXPECT_EQ(host->shown, (std::vector<bool>{false, true}));
    w.InputResize(700, 300);
    EXPECT_EQ(host->placed.back(), (UIRect{5, 5, 695, 255}));
}
