// Windows: posted and sent messages, timers, modal loops answered by the driver, menus.
#include <gtest/gtest.h>

#include "UiFixture.h"

TEST_F(UiTest, PostedMessagesAndTimersRunInOrder) {
    auto w = Open(L"dialog.xml");
    w->PostMessage(2026, 1, 10);
    w->PostMessage(2028, 0, 0);
    w->PostMessage(2029, 0, 3);
    EXPECT_TRUE(w->messages.empty());  // posted, not yet run
    driver->Pump();
    ASSERT_EQ(w->messages.size(), 3u);
    EXPECT_EQ(w->messages[0].msg, 2026u);
    EXPECT_EQ(w->messages[0].wParam, 1u);
    EXPECT_EQ(w->messages[0].lParam, 10);
    EXPECT_EQ(w->messages[1].msg, 2028u);
    EXPECT_EQ(w->messages[2].lParam, 3);

    // Timers 5 and 7 at 1000 ms, 6 at 500 ms: 6, then 5 and 7 in the order they were set.
    w->messages.clear();
    w->SetTimer(5, 1000);
    w->SetTimer(7, 1000);
    w->SetTimer(6, 500);
    driver->AdvanceTime(499);
    EXPECT_TRUE(w->messages.empty());
    driver->AdvanceTime(1);
    ASSERT_EQ(w->messages.size(), 1u);
    EXPECT_EQ(w->messages[0].wParam, 6u);
    w->KillTimer(6);
    driver->AdvanceTime(500);
    ASSERT_EQ(w->messages.size(), 3u);
    EXPECT_EQ(w->messages[1].wParam, 5u);
    EXPECT_EQ(w->messages[2].wParam, 7u);
    // Re-arming restarts the wait: typing settles before the timer fires.
    w->messages.clear();
    w->KillTimer(7);
    w->SetTimer(5, 1000);
    driver->AdvanceTime(900);
    w->KillTimer(5);
    w->SetTimer(5, 1000);
    driver->AdvanceTime(900);
    EXPECT_TRUE(w->messages.empty());
    driver->AdvanceTime(100);
    EXPECT_EQ(w->messages.size(), 1u);
    w->KillTimer(5);

    // SendMessage returns the handler's result at once.
    w->onMessage = [](uint32_t msg, uintptr_t wParam, intptr_t, bool& handled) {
        handled = true;
        return msg == 2030 ? static_cast<intptr_t>(wParam * 2) : intptr_t{0};
    };
    EXPECT_EQ(w->SendMessage(2030, 21, 0), 42);
}

TEST_F(UiTest, MessagesForAWindowThatIsGoneAreDropped) {
    auto w = Open(L"dialog.xml");
    w->PostMessage(2028, 0, 0);
    w->SetTimer(9, 10);
    w.reset();
    driver->Pump();
    driver->AdvanceTime(100);  // nothing runs, nothing crashes
    EXPECT_TRUE(CAppUI::GetWindows().empty());
}

TEST_F(UiTest, ModalWindowReturnsTheResultOfTheAnsweringButton) {
    auto owner = Open(L"controls.xml");
    CTestWnd dlg(L"dialog.xml");
    dlg.onNotify = [&](TNotifyUI& msg) {
        if (msg.sType != L"click") return;
        std::wstring name = msg.pSender->GetName();
        if (name == L"btn_ok") dlg.Close(1);
        if (name == L"btn_cancel" || name == L"closebtn") dlg.Close(2);
    };
    ASSERT_TRUE(dlg.Create(owner.get(), L"消息对话框", 0, 0, 360, 180));
    dlg.CenterWindow();
    // Centred on the owner (600 x 400 at 0,0).
    EXPECT_EQ(dlg.GetWindowRect(), (UIRect{120, 110, 480, 290}));
    driver->AnswerNextModal(L"btn_ok");
    EXPECT_EQ(dlg.ShowModal(), 1);
    EXPECT_EQ(driver->PendingAnswers(), 0);
    EXPECT_EQ(dlg.finals, 1);
    EXPECT_FALSE(dlg.IsCreated());
    EXPECT_FALSE(backend->IsShown(&dlg));
    // Controls stay readable after the loop ends.
    EXPECT_EQ(dlg.FindControl(L"msg_text")->GetText(), L"message");

    CTestWnd dlg2(L"dialog.xml");
    dlg2.onNotify = dlg.onNotify = nullptr;
    dlg2.onNotify = [&](TNotifyUI& msg) {
        if (msg.sType == L"click" && msg.pSender->GetName() == L"closebtn") dlg2.Close(2);
    };
    ASSERT_TRUE(dlg2.Create(owner.get(), L"x"));
    driver->AnswerNextModal(L"closebtn");
    EXPECT_EQ(dlg2.ShowModal(), 2);
    // A window closed by the title bar ends with the library's "closed" result.
    CTestWnd dlg3(L"dialog.xml");
    ASSERT_TRUE(dlg3.Create(owner.get(), L"x"));
    driver->AnswerNextModal([](CWindowUI* w) { w->InputCloseRequest(); });
    EXPECT_EQ(dlg3.ShowModal(), UIRESULT_CLOSED);
}

TEST_F(UiTest, NestedModalWindowsAndTimersInsideALoop) {
    auto owner = Open(L"controls.xml");
    CTestWnd outer(L"dialog.xml");
    CTestWnd inner(L"dialog.xml");
    int innerResult = 0;
    outer.onNotify = [&](TNotifyUI& msg) {
        if (msg.sType == L"click" && msg.pSender->GetName() == L"btn_ok") {
            inner.onNotify = [&](TNotifyUI& m) {
                if (m.sType == L"click" && m.pSender->GetName() == L"btn_cancel") inner.Close(2);
            };
            ASSERT_TRUE(inner.Create(&outer, L"inner"));
            driver->AnswerNextModal(L"btn_cancel");
            innerResult = inner.ShowModal();
            outer.Close(1);
        }
    };
    // The outer window closes itself from a timer after a second of its own loop.
    int ticks = 0;
    outer.onMessage = [&](uint32_t msg, uintptr_t, intptr_t, bool& handled) {
        handled = false;
        if (msg == UIMSG_TIMER) {
            ++ticks;
            outer.KillTimer(1);
            driver->Click(&outer, L"btn_ok");
        }
        return intptr_t{0};
    };
    ASSERT_TRUE(outer.Create(owner.get(), L"outer"));
    outer.SetTimer(1, 1000);
    EXPECT_EQ(outer.ShowModal(), 1);  // the loop runs its timers on the virtual clock
    EXPECT_EQ(innerResult, 2);
    EXPECT_EQ(ticks, 1);
    EXPECT_GE(backend->NowMs(), 1000u);
}

TEST_F(UiTest, MenusPostTheItemNameToTheirOwner) {
    auto owner = Open(L"controls.xml");
    owner->MoveWindow(UIRect{100, 50, 700, 450});
    CControlUI* btn = owner->FindControl(L"btn");
    UIPoint at = owner->ClientToScreen(UIPoint{btn->GetPos().left + 35, btn->GetPos().top + 49});
    CMenuUI* menu = CMenuUI::Show(owner.get(), L"menu.xml", at);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->GetWindowRect(), (UIRect{at.x, at.y, at.x + 120, at.y + 60}));
    EXPECT_TRUE(backend->IsShown(menu));
    EXPECT_EQ(menu->GetOwner(), owner.get());
    EXPECT_TRUE(driver->Click(menu, L"menu_about"));
    ASSERT_EQ(owner->messages.size(), 1u);
    EXPECT_EQ(owner->messages[0].msg, 1145u);
    EXPECT_EQ(owner->messages[0].text, L"menu_about");
    // The menu closed and deleted itself.
    EXPECT_FALSE(CAppUI::IsWindowAlive(menu));

    // A pop-up's notifications reach the owner; losing the focus closes it.
    CMenuUI* volume = CMenuUI::Show(owner.get(), L"volume.xml", UIPoint{300, 200});
    ASSERT_NE(volume, nullptr);
    volume->FindControl(L"SliderVlaue")->SetText(L"50%");
    owner->notes.clear();
    EXPECT_TRUE(driver->MoveSlider(volume, L"vlomueslider", 80));
    EXPECT_EQ(owner->notes.back(), L"valuechanged:vlomueslider");
    EXPECT_EQ(static_cast<CSliderUI*>(volume->FindControl(L"vlomueslider"))->GetValue(), 80);
    volume->InputFocus(false);
    driver->Pump();
    EXPECT_FALSE(CAppUI::IsWindowAlive(volume));
    EXPECT_EQ(owner->messages.size(), 1u);  // no menu click from the pop-up
    EXPECT_EQ(CMenuUI::Show(owner.get(), L"nothere.xml", UIPoint{}), nullptr);
}

TEST_F(UiTest, WindowGeometryAndNativeState) {
    auto w = Open(L"dialog.xml");
    EXPECT_EQ(backend->GetNativeTitle(w.get()), L"test");
    EXPECT_TRUE(backend->IsShown(w.get()));
    backend->SetWorkArea(UIRect{0, 0, 1000, 800});
    w->CenterWindow();
    EXPECT_EQ(w->GetWindowRect(), (UIRect{320, 310, 680, 490}));
    EXPECT_EQ(backend->GetNativeRect(w.get()), (UIRect{320, 310, 680, 490}));
    EXPECT_EQ(w->ScreenToClient(UIPoint{330, 320}), (UIPoint{10, 10}));
    w->InputResize(400, 200);
    EXPECT_EQ(w->FindControl(L"btn_cancel")->GetPos().right, 400);
    w->PostMessage(UIMSG_SYSCOMMAND, UISC_MINIMIZE, 0);
    driver->Pump();
    EXPECT_FALSE(backend->IsShown(w.get()));
    w->PostMessage(UIMSG_SYSCOMMAND, UISC_RESTORE, 0);
    driver->Pump();
    EXPECT_TRUE(backend->IsShown(w.get()));
    uintptr_t child = backend->CreateChildWindow(w.get(), UIRect{0, 0, 635, 250}, true);
    ASSERT_NE(child, 0u);
    EXPECT_EQ(backend->GetChildWindowParent(child), w.get());
    w->Close(1);
    driver->Pump();
    EXPECT_FALSE(backend->IsChildWindow(child));
    EXPECT_EQ(w->GetResult(), 1);
}

TEST_F(UiTest, AModalWindowBlocksInputToItsOwner) {
    auto owner = Open(L"controls.xml");
    CTestWnd dlg(L"dialog.xml");
    dlg.onNotify = [&](TNotifyUI& msg) {
        if (msg.sType == L"click" && msg.pSender->GetName() == L"btn_ok") dlg.Close(1);
    };
    ASSERT_TRUE(dlg.Create(owner.get(), L"x"));
    size_t ownerNotes = 0;
    driver->AnswerNextModal([&](CWindowUI* top) {
        owner->notes.clear();
        driver->Click(owner.get(), L"btn");
        driver->Drop(owner.get(), {L"/tmp/a.mp3"});
        ownerNotes = owner->notes.size() + owner->messages.size();
        EXPECT_TRUE(owner->IsInputBlocked());
        EXPECT_FALSE(top->IsInputBlocked());
        driver->Click(top, L"btn_ok");
    });
    EXPECT_EQ(dlg.ShowModal(), 1);
    EXPECT_EQ(ownerNotes, 0u);
    EXPECT_FALSE(owner->IsInputBlocked());
    EXPECT_TRUE(driver->Click(owner.get(), L"btn"));
    EXPECT_EQ(owner->notes.back(), L"click:btn");
}
