// Edge cases that guard against lost windows, dead controls and wrong geometry.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "UiFixture.h"

namespace {
// A dialog that deletes itself when its window is gone, like an about box.
class CSelfDeletingWnd : public CTestWnd {
public:
    explicit CSelfDeletingWnd(int* deletions) : CTestWnd(L"dialog.xml"), m_deletions(deletions) {}
    ~CSelfDeletingWnd() override { ++*m_deletions; }
    void Notify(TNotifyUI& msg) override {
        if (msg.sType == L"click" && msg.pSender->GetName() == L"closebtn") Close(1);
    }
    void OnFinalMessage() override { delete this; }

private:
    int* m_deletions;
};
}  // namespace

TEST_F(UiTest, AWindowMayDeleteItselfWhenItsModalLoopEnds) {
    auto owner = Open(L"controls.xml");
    int deletions = 0;
    auto* about = new CSelfDeletingWnd(&deletions);
    ASSERT_TRUE(about->Create(owner.get(), L"关于我们", 0, 0, 350, 320));
    about->CenterWindow();
    driver->AnswerNextModal(L"closebtn");
    EXPECT_EQ(about->ShowModal(), 1);  // `about` is gone now
    EXPECT_EQ(deletions, 1);
    EXPECT_FALSE(CAppUI::IsWindowAlive(about));
}

TEST_F(UiTest, CloseFromAnotherThreadEndsTheModalLoop) {
    auto owner = Open(L"controls.xml");
    CTestWnd dlg(L"dialog.xml");
    ASSERT_TRUE(dlg.Create(owner.get(), L"x"));
    std::thread closer;
    driver->AnswerNextModal([&](CWindowUI*) { closer = std::thread([&] { dlg.Close(5); }); });
    EXPECT_EQ(dlg.ShowModal(), 5);
    closer.join();
}

TEST_F(UiTest, NotificationsAndTimersOfRemovedControlsAreDropped) {
    auto w = Open(L"controls.xml");
    auto* list = w->FindControlAs<CListUI>(L"list");
    CBuilderUI builder;
    auto* row = static_cast<CContainerUI*>(builder.Create(L"row.xml", w.get()));
    list->Add(row);
    CControlUI* remove = row->FindSubControl(L"btn_Removefile");
    // Posted from a worker, then the row goes before the UI thread runs it.
    std::thread worker([&] { remove->SendNotify(L"click"); });
    worker.join();
    remove->SetTimer(3, 10);
    list->Remove(row);
    w->notes.clear();
    driver->Pump();
    driver->AdvanceTime(100);
    EXPECT_TRUE(w->notes.empty());
}

TEST_F(UiTest, PostedTextsLiveUntilTheirHandlerRan) {
    auto w = Open(L"dialog.xml");
    {
        std::wstring name = L"menu_about";
        w->PostMessageWithText(UIMSG_MENUCLICK, name);
        name.assign(100, L'x');  // the caller's copy changes; the message keeps its own
    }
    driver->Pump();
    ASSERT_EQ(w->messages.size(), 1u);
    EXPECT_EQ(w->messages[0].text, L"menu_about");
}

TEST_F(UiTest, EditCaretKeysAndDelete) {
    auto w = Open(L"controls.xml");
    auto* edit = w->FindControlAs<CEditUI>(L"edit");
    ASSERT_TRUE(driver->Type(w.get(), L"edit", L"abcd"));
    driver->PressKey(w.get(), UIKEY_HOME);
    driver->PressKey(w.get(), UIKEY_DELETE);
    EXPECT_EQ(edit->GetText(), L"bcd");
    driver->PressKey(w.get(), UIKEY_RIGHT);
    // A click on the edit that already has the focus leaves the caret where it is.
    ASSERT_TRUE(driver->Type(w.get(), L"edit", L"X", false));
    EXPECT_EQ(edit->GetText(), L"bXcd");
    driver->PressKey(w.get(), UIKEY_LEFT);
    driver->PressKey(w.get(), UIKEY_BACK);
    EXPECT_EQ(edit->GetText(), L"Xcd");
    driver->PressKey(w.get(), UIKEY_END);
    driver->PressKey(w.get(), UIKEY_DELETE);  // nothing after the caret
    EXPECT_EQ(edit->GetText(), L"Xcd");
    EXPECT_EQ(edit->GetCaret(), 3);
}

TEST_F(UiTest, ScaleRoundTripsAndDpiChangesKeepTheLogicalSize) {
    CDisplayScaleUI s;
    s.SetDPI(120);
    EXPECT_EQ(s.GetScale(), 125);
    EXPECT_EQ(s.Scale(130), 163);  // 162.5 rounds up
    EXPECT_EQ(s.ScaleBack(163), 130);
    EXPECT_EQ(s.Scale(-6), -8);
    s.SetScale(200);
    EXPECT_EQ(s.GetDPI(), 192);
    EXPECT_EQ(s.Scale(UIRect{1, 2, 3, 4}), (UIRect{2, 4, 6, 8}));

    auto w = Open(L"dialog.xml", 120);
    EXPECT_EQ(w->GetClientSize(), (UISize{450, 225}));
    w->ApplyDPI(96);
    EXPECT_EQ(w->GetClientSize(), (UISize{360, 180}));
    w->ApplyDPI(144);
    EXPECT_EQ(w->GetClientSize(), (UISize{540, 270}));
    EXPECT_EQ(backend->GetNativeRect(w.get()).GetWidth(), 540);
}

TEST_F(UiTest, ListKeysMoveTheSelectionAndFileDialogsAnswerFromTheQueue) {
    auto w = Open(L"controls.xml");
    auto* list = w->FindControlAs<CListUI>(L"list");
    CBuilderUI builder;
    for (int i = 0; i < 3; ++i) list->Add(builder.Create(L"row.xml", w.get()));
    ASSERT_TRUE(driver->ClickListItem(w.get(), L"list", 0));
    driver->PressKey(w.get(), UIKEY_DOWN);
    driver->PressKey(w.get(), UIKEY_DOWN);
    driver->PressKey(w.get(), UIKEY_DOWN);
    EXPECT_EQ(list->GetCurSel(), 2);
    driver->PressKey(w.get(), UIKEY_UP);
    EXPECT_EQ(list->GetCurSel(), 1);

    std::vector<std::wstring> files;
    backend->QueueFileChoice({L"/tmp/a.mp3", L"/tmp/b c.wav"});
    backend->QueueFileChoice({});
    EXPECT_TRUE(backend->ChooseFiles(w.get(), L"t", L"Audio (*.mp3)", true, &files));
    EXPECT_EQ(files.size(), 2u);
    EXPECT_FALSE(backend->ChooseFiles(w.get(), L"t", L"", true, &files));  // cancelled
    EXPECT_FALSE(backend->ChooseFiles(w.get(), L"t", L"", true, &files));  // nothing queued
    std::wstring folder;
    backend->QueueFolderChoice(L"/tmp/out");
    EXPECT_TRUE(backend->ChooseFolder(w.get(), L"t", &folder));
    EXPECT_EQ(folder, L"/tmp/out");
}
