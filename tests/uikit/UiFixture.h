// Shared set-up of the UI library tests: the test skin compiled into the test program, a
// headless backend on the test thread and a driver; plus a small window class that records what
// reaches it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

// A control made by the window's callback for the layout tag "CustomBox".
class CCustomBoxUI : public CControlUI {
public:
    std::wstring GetClass() const override { return L"CustomBoxUI"; }
};

struct PostedMessage {
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
    std::wstring text;  // for messages whose wParam points to a text
};

class CTestWnd : public CWindowUI {
public:
    explicit CTestWnd(std::wstring skin) : m_skin(std::move(skin)) {}
    std::wstring GetWindowClassName() const override { return L"TestWnd"; }
    std::wstring GetSkinFile() override { return m_skin; }
    void InitWindow() override { ++inits; }
    void Notify(TNotifyUI& msg) override {
        notes.push_back(msg.sType + L":" + (msg.pSender ? msg.pSender->GetName() : std::wstring()));
        if (onNotify) onNotify(msg);
    }
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override {
        if (msg >= UIMSG_USER || msg == UIMSG_TIMER || msg == UIMSG_DROPFILES) {
            PostedMessage m{msg, wParam, lParam, {}};
            if (msg == UIMSG_MENUCLICK && wParam) m.text = *reinterpret_cast<const std::wstring*>(wParam);
            messages.push_back(m);
        }
        if (onMessage) return onMessage(msg, wParam, lParam, handled);
        handled = false;
        return 0;
    }
    CControlUI* CreateControl(const std::wstring& tag) override {
        if (tag == L"CustomBox") return new CCustomBoxUI;
        return nullptr;
    }
    void OnFinalMessage() override { ++finals; }

    std::vector<std::wstring> notes;
    std::vector<PostedMessage> messages;
    std::function<void(TNotifyUI&)> onNotify;
    std::function<intptr_t(uint32_t, uintptr_t, intptr_t, bool&)> onMessage;
    int inits = 0;
    int finals = 0;

private:
    std::wstring m_skin;
};

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CSkinUI::LoadEmbedded());
        backend = std::make_unique<CHeadlessBackendUI>(true);
        CAppUI::SetBackend(backend.get());
        driver = std::make_unique<CTestDriverUI>(*backend);
    }
    void TearDown() override {
        driver->Pump();
        driver.reset();
        CAppUI::SetBackend(nullptr);
        backend.reset();
    }
    // Creates a window from a layout of the test skin.
    std::unique_ptr<CTestWnd> Open(const std::wstring& skin, int dpi = 96) {
        backend->SetScreenDpi(dpi);
        auto w = std::make_unique<CTestWnd>(skin);
        EXPECT_TRUE(w->Create(nullptr, L"test", 0, 0, 0, 0));
        w->ShowWindow(true);
        driver->Pump();
        return w;
    }
    static size_t Count(const std::vector<std::wstring>& v, const std::wstring& s) {
        return static_cast<size_t>(std::count(v.begin(), v.end(), s));
    }

    std::unique_ptr<CHeadlessBackendUI> backend;
    std::unique_ptr<CTestDriverUI> driver;
};
