// Threads: windows created and run modally from workers, notifications and messages from workers
// delivered on the UI thread, and property writes from several threads while the UI thread reads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "UiFixture.h"

TEST_F(UiTest, ModalWindowOpenedFromAWorkerThread) {
    auto owner = Open(L"controls.xml");
    const std::thread::id uiThread = std::this_thread::get_id();
    std::atomic<bool> done{false};
    std::atomic<int> result{0};
    std::thread::id createdOn, notifiedOn;
    driver->AnswerNextModal(L"btn_ok");
    std::thread worker([&] {
        CTestWnd dlg(L"dialog.xml");
        dlg.onNotify = [&](TNotifyUI& msg) {
            notifiedOn = std::this_thread::get_id();
            if (msg.sType == L"click" && msg.pSender->GetName() == L"btn_ok") dlg.Close(1);
        };
        dlg.onMessage = [&](uint32_t, uintptr_t, intptr_t, bool& handled) {
            handled = false;
            return intptr_t{0};
        };
        if (dlg.Create(owner.get(), L"音频编辑", 0, 0, 720, 530)) {
            createdOn = std::this_thread::get_id();
            dlg.CenterWindow();
            result = dlg.ShowModal();  // runs on the UI thread; this thread waits
        }
        done = true;
    });
    EXPECT_TRUE(driver->PumpUntil([&] { return done.load(); }, 20000));
    worker.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_NE(createdOn, uiThread);  // Create returned on the worker, after running on the UI thread
    EXPECT_EQ(notifiedOn, uiThread);
}

TEST_F(UiTest, WorkerNotificationsAndMessagesRunOnTheUIThread) {
    auto w = Open(L"controls.xml");
    const std::thread::id uiThread = std::this_thread::get_id();
    std::vector<std::thread::id> notifyThreads;
    w->onNotify = [&](TNotifyUI&) { notifyThreads.push_back(std::this_thread::get_id()); };
    std::atomic<intptr_t> sent{0};
    w->onMessage = [&](uint32_t msg, uintptr_t wParam, intptr_t, bool& handled) {
        handled = msg == 2031;
        if (msg == 2031) notifyThreads.push_back(std::this_thread::get_id());
        return static_cast<intptr_t>(wParam + 1);
    };
    std::atomic<bool> done{false};
    w->notes.clear();
    std::thread worker([&] {
        w->FindControlAs<CTabLayoutUI>(L"tabs")->SelectItem(2);
        w->FindControlAs<CEditUI>(L"edit")->SetText(L"from worker");
        w->PostMessage(2029, 0, 7);
        sent = w->SendMessage(2031, 41, 0);
        done = true;
    });
    EXPECT_TRUE(driver->PumpUntil([&] { return done.load(); }, 20000));
    worker.join();
    driver->Pump();
    EXPECT_EQ(sent.load(), 42);
    EXPECT_EQ(w->notes, (std::vector<std::wstring>{L"tabselect:tabs", L"textchanged:edit"}));
    ASSERT_EQ(notifyThreads.size(), 3u);
    for (auto id : notifyThreads) EXPECT_EQ(id, uiThread);
    EXPECT_EQ(w->messages.front().msg, 2029u);
}

TEST_F(UiTest, ConcurrentPropertyWritesWhileTheUIThreadReads) {
    auto w = Open(L"controls.xml");
    auto* list = w->FindControlAs<CListUI>(L"list");
    CBuilderUI builder;
    const int kThreads = 4;
    const int kRounds = 400;
    std::vector<CContainerUI*> rows;
    for (int i = 0; i < kThreads; ++i) {
        auto* row = static_cast<CContainerUI*>(builder.Create(L"row.xml", w.get()));
        list->Add(row);
        row->SetUserData(L"start");
        rows.push_back(row);
    }
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            CContainerUI* row = rows[t];
            CControlUI* name = row->FindSubControl(L"filename");
            CControlUI* remove = row->FindSubControl(L"btn_Removefile");
            for (int i = 0; i < kRounds; ++i) {
                name->SetText(L"大小：" + std::to_wstring(i));
                name->SetTextColor(i % 2 ? 0xFFF1707A : 0xFF333333);
                name->SetAttribute(L"textpadding", L"40,0");
                row->SetUserData(L"/path/" + std::to_wstring(t) + L"/" + std::to_wstring(i));
                row->SetTag(static_cast<uint64_t>(i));
                remove->SetEnabled(i % 2 == 0);
                remove->SetVisible(i % 3 != 0);
                remove->SetAttribute(L"normalimage", L"file='btnPlay_01.png'");
                w->PostMessage(2026, static_cast<uintptr_t>(t), i);
            }
            remove->SetVisible(true);
            ++finished;
        });
    }
    // The UI thread keeps laying out, painting, hit-testing and reading meanwhile.
    size_t reads = 0;
    do {
        driver->Pump();
        backend->PaintWindow(w.get());
        for (CContainerUI* row : rows) {
            reads += row->FindSubControl(L"filename")->GetText().size();
            reads += row->GetUserData().size();
            w->FindControl(row->GetPos().Center());
        }
    } while (finished.load() < kThreads);
    for (auto& th : workers) th.join();
    driver->Pump();
    EXPECT_GT(reads, 0u);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(rows[t]->FindSubControl(L"filename")->GetText(), L"大小：" + std::to_wstring(kRounds - 1));
        EXPECT_EQ(rows[t]->GetUserData(),
                  L"/path/" + std::to_wstring(t) + L"/" + std::to_wstring(kRounds - 1));
        EXPECT_EQ(rows[t]->GetTag(), static_cast<uint64_t>(kRounds - 1));
        EXPECT_TRUE(rows[t]->FindSubControl(L"btn_Removefile")->IsVisible());
    }
    EXPECT_EQ(w->messages.size(), static_cast<size_t>(kThreads * kRounds));
}
