// Shared set-up of the editor suites: the program's skin, a headless backend with the virtual
// clock on the test thread and a driver; a small window that hosts a control tree or a layout and
// makes the program's custom controls.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/AVPlayer.h"
#include "ui/CustomControls.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

class CHostWnd : public CWindowUI {
public:
    explicit CHostWnd(std::wstring skin = L"") : m_skin(std::move(skin)) {}
    std::wstring GetWindowClassName() const override { return L"EditorTestWnd"; }
    std::wstring GetSkinFile() override { return m_skin; }
    CControlUI* CreateControl(const std::wstring& tag) override { return CreateCustomControl(tag); }
    void Notify(TNotifyUI& msg) override {
        notes.push_back(msg.sType + L":" + (msg.pSender ? msg.pSender->GetName() : std::wstring()));
        if (onNotify) onNotify(msg);
    }
    std::vector<std::wstring> notes;
    std::function<void(TNotifyUI&)> onNotify;

private:
    std::wstring m_skin;
};

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CSkinUI::LoadEmbedded());
        backend = std::make_unique<CHeadlessBackendUI>(true);
        CAppUI::SetBackend(backend.get());
        driver = std::make_unique<CTestDriverUI>(*backend);
        CAVPlayer::SetDefaultInstanceArgs({"--aout=dummy", "--vout=dummy", "--no-xlib", "-q"});
    }
    void TearDown() override {
        driver->Pump();
        driver.reset();
        CAppUI::SetBackend(nullptr);
        backend.reset();
    }
    // A window around `root` (the window owns it), `width` x `height` logical pixels.
    std::unique_ptr<CHostWnd> Host(CControlUI* root, int width, int height, int dpi = 96) {
        backend->SetScreenDpi(dpi);
        auto w = std::make_unique<CHostWnd>();
        w->SetRoot(root);
        EXPECT_TRUE(w->Create(nullptr, L"test", 0, 0, width, height));
        if (dpi != 96) w->ApplyDPI(dpi);
        w->ShowWindow(true);
        driver->Pump();
        w->UpdateLayout();
        return w;
    }
    std::unique_ptr<CHostWnd> Layout(const std::wstring& skin) {
        backend->SetScreenDpi(96);
        auto w = std::make_unique<CHostWnd>(skin);
        EXPECT_TRUE(w->Create(nullptr, L"test", 0, 0, 0, 0));
        w->ShowWindow(true);
        driver->Pump();
        w->UpdateLayout();
        return w;
    }

    std::unique_ptr<CHeadlessBackendUI> backend;
    std::unique_ptr<CTestDriverUI> driver;
};
