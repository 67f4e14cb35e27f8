// Notifications of every control kind from simulated input.
#include <gtest/gtest.h>

#include "UiFixture.h"

TEST_F(UiTest, ButtonsClickOnlyWhenEnabledAndVisible) {
    auto w = Open(L"controls.xml");
    w->notes.clear();
    EXPECT_TRUE(driver->Click(w.get(), L"btn"));
    EXPECT_EQ(w->notes, (std::vector<std::wstring>{L"click:btn"}));
    EXPECT_FALSE(driver->Click(w.get(), L"btnDisabled"));
    // Press inside, release outside: no click, and the pushed state is gone.
    CControlUI* btn = w->FindControl(L"btn");
    UIRect rc = btn->GetPos();
    w->InputMouseDown(rc.Center());
    EXPECT_TRUE(btn->GetState() & UISTATE_PUSHED);
    w->InputMouseMove(UIPoint{rc.right + 300, rc.bottom + 200}, UIMK_LBUTTON);
    w->InputMouseUp(UIPoint{rc.right + 300, rc.bottom + 200});
    EXPECT_EQ(w->notes.size(), 1u);
    EXPECT_FALSE(btn->GetState() & UISTATE_PUSHED);
    // Hot state follows the pointer.
    w->InputMouseMove(rc.Center());
    EXPECT_TRUE(btn->GetState() & UISTATE_HOT);
    EXPECT_EQ(w->GetHot(), btn);
    w->InputMouseLeave();
    EXPECT_FALSE(btn->GetState() & UISTATE_HOT);
    // A notification handler on the control can keep it from the window.
    btn->OnNotify([](TNotifyUI& msg) { return msg.sType == L"click"; });
    EXPECT_TRUE(driver->Click(w.get(), L"btn"));
    EXPECT_EQ(w->notes.size(), 1u);
    EXPECT_EQ(driver->Log().back(), L"click:btn");  // still observed
}

TEST_F(UiTest, OptionGroupsSelectOneAndReportUnselected) {
    auto w = Open(L"controls.xml");
    auto* a = w->FindControlAs<COptionUI>(L"optA");
    auto* b = w->FindControlAs<COptionUI>(L"optB");
    EXPECT_TRUE(a->IsSelected());
    w->notes.clear();
    std::vector<bool> stateAtClick;
    w->onNotify = [&](TNotifyUI& msg) {
        if (msg.sType == L"click") stateAtClick.push_back(b->IsSelected());
    };
    EXPECT_TRUE(driver->SelectOption(w.get(), L"optB"));
    EXPECT_TRUE(b->IsSelected());
    EXPECT_FALSE(a->IsSelected());
    EXPECT_EQ(w->notes, (std::vector<std::wstring>{L"selectchanged:optA", L"unselected:optA",
                                                   L"selectchanged:optB", L"click:optB"}));
    EXPECT_EQ(stateAtClick, std::vector<bool>{true});  // the click handler sees the new state
    // Clicking the selected option of a group keeps it selected.
    w->notes.clear();
    EXPECT_TRUE(driver->Click(w.get(), L"optB"));
    EXPECT_TRUE(b->IsSelected());
    EXPECT_EQ(w->notes, (std::vector<std::wstring>{L"click:optB"}));
    // An option without a group toggles.
    auto* t = w->FindControlAs<COptionUI>(L"optToggle");
    w->notes.clear();
    driver->Click(w.get(), L"optToggle");
    EXPECT_TRUE(t->IsSelected());
    driver->Click(w.get(), L"optToggle");
    EXPECT_FALSE(t->IsSelected());
    EXPECT_EQ(Count(w->notes, L"unselected:optToggle"), 1u);
    // Selecting in code notifies too, without a click.
    w->notes.clear();
    a->Selected(true);
    EXPECT_FALSE(b->IsSelected());
    EXPECT_EQ(Count(w->notes, L"unselected:optB"), 1u);
    EXPECT_EQ(Count(w->notes, L"click:optA"), 0u);
}

TEST_F(UiTest, EditsTypeWithLimitsAndReportFocus) {
    auto w = Open(L"controls.xml");
    auto* edit = w->FindControlAs<CEditUI>(L"edit");
    w->notes.clear();
    EXPECT_TRUE(driver->Type(w.get(), L"edit", L"abcdefg"));
    EXPECT_EQ(edit->GetText(), L"abcde");  // maxchar 5
    EXPECT_EQ(w->notes.front(), L"setfocus:edit");
    EXPECT_EQ(Count(w->notes, L"textchanged:edit"), 5u);
    EXPECT_TRUE(edit->IsFocused());
    // Backspace drops the last character.
    EXPECT_TRUE(driver->PressKey(w.get(), UIKEY_BACK));
    EXPECT_EQ(edit->GetText(), L"abcd");
    // Digits only, at most two.
    auto* digits = w->FindControlAs<CEditUI>(L"digits");
    w->notes.clear();
    EXPECT_TRUE(driver->Type(w.get(), L"digits", L"7x53"));
    EXPECT_EQ(digits->GetText(), L"75");
    EXPECT_EQ(w->notes.front(), L"killfocus:edit");  // the first edit lost the focus
    EXPECT_EQ(Count(w->notes, L"textchanged:digits"), 2u);
    // Read-only: typing changes nothing.
    auto* ro = w->FindControlAs<CEditUI>(L"readonly");
    EXPECT_TRUE(driver->Type(w.get(), L"readonly", L"zz"));
    EXPECT_EQ(ro->GetText(), L"ro");
    // Writing the text in code reports it as well (owners keep a guard flag).
    w->notes.clear();
    digits->SetText(L"00");
    digits->SetText(L"00");
    EXPECT_EQ(w->notes, (std::vector<std::wstring>{L"textchanged:digits"}));
    // Typing into a replaced selection.
    EXPECT_TRUE(driver->Type(w.get(), L"digits", L"5", true));
    EXPECT_EQ(digits->GetText(), L"5");
    EXPECT_TRUE(driver->Type(w.get(), L"digits", L"9", false));
    EXPECT_EQ(digits->GetText(), L"59");
    // Clicking another control takes the focus away.
    w->notes.clear();
    driver->ClickAt(w.get(), UIPoint{590, 390});
    EXPECT_EQ(Count(w->notes, L"killfocus:digits"), 1u);
}

TEST_F(UiTest, RichEditTakesLineBreaks) {
    auto w = Open(L"controls.xml");
    auto* rich = w->FindControlAs<CRichEditUI>(L"rich");
    EXPECT_TRUE(driver->Type(w.get(), L"rich", L"a"));
    driver->PressKey(w.get(), UIKEY_RETURN);
    driver->Type(w.get(), L"rich", L"b", false);
    EXPECT_EQ(rich->GetText(), L"a\nb");
}

TEST_F(UiTest, SlidersReportMovingAndFinalValues) {
    auto w = Open(L"controls.xml");
    auto* slider = w->FindControlAs<CSliderUI>(L"slider");
    EXPECT_EQ(slider->GetValue(), 75);
    w->notes.clear();
    EXPECT_TRUE(driver->MoveSlider(w.get(), L"slider", 60));
    EXPECT_EQ(slider->GetValue(), 60);
    ASSERT_GE(w->notes.size(), 2u);
    EXPECT_EQ(w->notes.front(), L"movevaluechanged:slider");
    EXPECT_EQ(w->notes.back(), L"valuechanged:slider");
    EXPECT_FALSE(slider->IsDragging());
    // A value set in code does not notify.
    w->notes.clear();
    slider->SetValue(50);
    EXPECT_TRUE(w->notes.empty());
    // A click on the track jumps there and reports the value on release.
    UIRect rc = slider->GetPos();
    driver->ClickAt(w.get(), UIPoint{rc.right - 1, rc.Center().y});
    EXPECT_EQ(slider->GetValue(), 149);
    EXPECT_EQ(w->notes.back(), L"valuechanged:slider");
    // The wheel steps.
    driver->Wheel(w.get(), L"slider", 1);
    EXPECT_EQ(slider->GetValue(), 150);
}

TEST_F(UiTest, CombosReportThePickedItem) {
    auto w = Open(L"controls.xml");
    auto* combo = w->FindControlAs<CComboUI>(L"combo");
    w->notes.clear();
    std::pair<uintptr_t, intptr_t> params{99, 99};
    w->onNotify = [&](TNotifyUI& msg) {
        if (msg.sType == L"itemselect") params = {msg.wParam, msg.lParam};
    };
    EXPECT_TRUE(driver->PickComboItem(w.get(), L"combo", 2));
    EXPECT_EQ(combo->GetCurSel(), 2);
    EXPECT_EQ(combo->GetText(), L"4");
    EXPECT_EQ(params, (std::pair<uintptr_t, intptr_t>{2, 0}));
    EXPECT_EQ(Count(w->notes, L"itemselect:combo"), 1u);
    // Picking the same item again is no change; a dismissed list changes nothing.
    EXPECT_TRUE(driver->PickComboItem(w.get(), L"combo", 2));
    EXPECT_FALSE(driver->PickComboItem(w.get(), L"combo", 9));
    EXPECT_EQ(Count(w->notes, L"itemselect:combo"), 1u);
    EXPECT_EQ(backend->GetOpenDropDown(), nullptr);
}

TEST_F(UiTest, ListRowsAddRemoveSelectAndLookUpByName) {
    auto w = Open(L"controls.xml");
    auto* list = w->FindControlAs<CListUI>(L"list");
    CBuilderUI builder;
    for (int i = 0; i < 3; ++i) {
        CControlUI* row = builder.Create(L"row.xml", w.get());
        ASSERT_NE(row, nullptr);
        row->SetUserData(L"/media/file " + std::to_wstring(i) + L".mp3");
        row->SetTag(1000 + i);
        ASSERT_TRUE(list->Add(row));
        static_cast<CContainerUI*>(row)->FindSubControl(L"filename")->SetText(L"file" + std::to_wstring(i));
    }
    EXPECT_EQ(list->GetCount(), 3);
    auto* row1 = dynamic_cast<CListContainerElementUI*>(list->GetItemAt(1));
    ASSERT_NE(row1, nullptr);
    EXPECT_EQ(row1->GetOwnerList(), list);
    EXPECT_EQ(row1->FindSubControl(L"filename")->GetText(), L"file1");
    // The remove button is three levels below the list: button -> row -> list.
    CControlUI* remove1 = row1->FindSubControl(L"btn_Removefile");
    EXPECT_EQ(remove1->GetParent(), row1);
    EXPECT_EQ(w->FindControl(L"filename")->GetText(), L"file0");  // first by name in the window

    w->notes.clear();
    EXPECT_TRUE(driver->ClickListItem(w.get(), L"list", 1));
    EXPECT_EQ(list->GetCurSel(), 1);
    EXPECT_TRUE(row1->IsSelected());
    EXPECT_EQ(w->notes, (std::vector<std::wstring>{L"itemselect:list", L"itemclick:"}));

    // Removing the row from inside its own button's click handler is safe.
    w->onNotify = [&](TNotifyUI& msg) {
        if (msg.sType != L"click" || msg.pSender->GetName() != L"btn_Removefile") return;
        CControlUI* row = msg.pSender->GetParent();
        list->Remove(row);
        msg.pSender->SetText(L"still alive until the dispatch ends");
    };
    EXPECT_TRUE(driver->Click(w.get(), L"btn_Removefile"));  // the first row's button
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->GetItemAt(0)->GetUserData(), L"/media/file 1.mp3");
    EXPECT_EQ(list->GetCurSel(), 0);  // the selected row moved up
    EXPECT_EQ(list->GetItemIndex(row1), 0);
    EXPECT_EQ(row1->GetIndex(), 0);
    list->RemoveAll();
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->GetCurSel(), -1);
    EXPECT_EQ(w->FindControl(L"filename"), nullptr);
}

TEST_F(UiTest, UnselectedReachesTheRowOptionOwner) {
    auto w = Open(L"controls.xml");
    auto* list = w->FindControlAs<CListUI>(L"list");
    CBuilderUI builder;
    auto* row = static_cast<CContainerUI*>(builder.Create(L"row.xml", w.get()));
    list->Add(row);
    // The owner hides the underline "xxx" of the option's container when it loses its selection.
    w->onNotify = [&](TNotifyUI& msg) {
        if (msg.sType == L"unselected") {
            auto* box = static_cast<CContainerUI*>(msg.pSender->GetParent());
            box->FindSubControl(L"xxx")->SetVisible(false);
        }
    };
    auto* opt = static_cast<COptionUI*>(row->FindSubControl(L"opt"));
    EXPECT_TRUE(driver->Click(w.get(), L"opt"));
    EXPECT_TRUE(opt->IsSelected());
    EXPECT_TRUE(row->FindSubControl(L"xxx")->IsVisible());
    EXPECT_TRUE(driver->Click(w.get(), L"opt"));
    EXPECT_FALSE(row->FindSubControl(L"xxx")->IsVisible());
}

TEST_F(UiTest, ProgressAndPaintingShowTheModel) {
    auto w = Open(L"controls.xml");
    auto* progress = w->FindControlAs<CProgressUI>(L"progress");
    UIRect rc = progress->GetPos();
    EXPECT_EQ(progress->GetForeRect().GetWidth(), rc.GetWidth() * 30 / 100);
    progress->SetAttribute(L"forecolor", L"#FFF1707A");
    progress->SetValue(100);
    auto calls = backend->PaintWindow(w.get());
    std::wstring fore = L"fill " + std::to_wstring(rc.left) + L"," + std::to_wstring(rc.top) + L"," +
                        std::to_wstring(rc.right) + L"," + std::to_wstring(rc.bottom) + L" #FFF1707A";
    EXPECT_EQ(Count(calls, fore), 1u);
    bool buttonText = false;
    for (auto& c : calls)
        if (c.find(L"\"按钮\"") != std::wstring::npos) buttonText = true;
    EXPECT_TRUE(buttonText);
    // Every change tells the backend to redraw that window.
    int before = backend->RepaintRequests(w.get());
    progress->SetValue(10);
    EXPECT_GT(backend->RepaintRequests(w.get()), before);
}

TEST_F(UiTest, FrameAnimationStepsOnTimers) {
    auto w = Open(L"controls.xml");
    auto* anim = w->FindControlAs<CFrameAnimUI>(L"gif_conver");
    anim->SetVisible(true);
    anim->Start();
    EXPECT_TRUE(anim->IsRunning());
    driver->AdvanceTime(49);
    EXPECT_EQ(anim->GetCurrentFrame(), 0);
    driver->AdvanceTime(1);
    EXPECT_EQ(anim->GetCurrentFrame(), 1);
    driver->AdvanceTime(50 * 6);
    EXPECT_EQ(anim->GetCurrentFrame(), 0);  // seven frames, looping
    driver->AdvanceTime(100);
    EXPECT_EQ(anim->GetCurrentFrame(), 2);
    auto calls = backend->PaintWindow(w.get());
    bool drew = false;
    for (auto& c : calls)
        if (c.find(L"conver/3.png") != std::wstring::npos) drew = true;
    EXPECT_FALSE(drew);  // no such image in the test skin: nothing is drawn, nothing breaks
    anim->Stop();
    driver->AdvanceTime(500);
    EXPECT_EQ(anim->GetCurrentFrame(), 2);
    EXPECT_FALSE(anim->IsRunning());
}

TEST_F(UiTest, DroppedFilesReachTheWindow) {
    auto w = Open(L"controls.xml");
    std::vector<std::wstring> seen;
    w->onMessage = [&](uint32_t msg, uintptr_t wParam, intptr_t, bool& handled) {
        if (msg == UIMSG_DROPFILES) seen = *reinterpret_cast<const std::vector<std::wstring>*>(wParam);
        handled = msg == UIMSG_DROPFILES;
        return intptr_t{0};
    };
    std::vector<std::wstring> paths{L"/tmp/a b.mp3", L"/tmp/-x#'\".wav", L"/tmp/音乐.flac"};
    EXPECT_TRUE(driver->Drop(w.get(), paths));
    EXPECT_EQ(seen, paths);
}
