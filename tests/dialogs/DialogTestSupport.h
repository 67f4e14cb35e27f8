// Set-up shared by the dialog tests: the program's skin, a headless backend with a virtual clock,
// a driver, and a private presets folder.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/FormatPresets.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CSkinUI::LoadEmbedded());
        presets::SetFolder(dir.WPath());
        backend = std::make_unique<CHeadlessBackendUI>(true);
        CAppUI::SetBackend(backend.get());
        driver = std::make_unique<CTestDriverUI>(*backend);
    }
    void TearDown() override {
        driver->Pump();
        driver.reset();
        CAppUI::SetBackend(nullptr);
        backend.reset();
        presets::SetFolder(L"");
    }

    // The control of that name that the user can see (panels may repeat a name).
    static CControlUI* Visible(CWindowUI* window, const std::wstring& name) {
        window->UpdateLayout();
        std::vector<CControlUI*> all;
        window->GetRoot()->CollectControls(&all);
        for (CControlUI* c : all) {
            if (c->GetName() != name) continue;
            bool shown = c->IsVisible();
            for (CControlUI* p = c->GetParent(); p && shown; p = p->GetParent()) shown = p->IsVisible();
            if (shown && !c->GetPos().IsEmpty()) return c;
        }
        return nullptr;
    }
    bool ClickVisible(CWindowUI* window, const std::wstring& name) {
        CControlUI* c = Visible(window, name);
        return c && driver->ClickAt(window, c->GetPos().Center());
    }
    // Clicks a named control inside row `index` of a list.
    bool ClickInRow(CWindowUI* window, const std::wstring& list, int index, const std::wstring& name) {
        window->UpdateLayout();
        auto* l = window->FindControlAs<CListUI>(list);
        if (!l || index >= l->GetCount()) return false;
        auto* row = dynamic_cast<CContainerUI*>(l->GetItemAt(index));
        CControlUI* c = row ? row->FindSubControl(name) : nullptr;
        if (!c || c->GetPos().IsEmpty()) return false;
        l->EnsureVisible(row);
        window->UpdateLayout();
        return driver->ClickAt(window, c->GetPos().Center());
    }
    static CControlUI* InRow(CWindowUI* window, const std::wstring& list, int index,
                             const std::wstring& name) {
        auto* l = window->FindControlAs<CListUI>(list);
        auto* row = l && index < l->GetCount() ? dynamic_cast<CContainerUI*>(l->GetItemAt(index)) : nullptr;
        return row ? row->FindSubControl(name) : nullptr;
    }
    // Answers the next modal window; a window the answer left open is closed with -1, so a failed
    // step ends the test instead of leaving the loop waiting.
    void Answer(std::function<void(CWindowUI*)> answer) {
        driver->AnswerNextModal([answer](CWindowUI* w) {
            answer(w);
            // The answer may have closed and destroyed the window already.
            if (CAppUI::IsWindowAlive(w) && !w->IsClosing()) w->Close(-1);
        });
    }
    void Answer(const std::wstring& button) {
        Answer([this, button](CWindowUI* w) {
            EXPECT_TRUE(driver->Click(w, button)) << platform::ToUtf8(button);
        });
    }
    std::string ReadCfg(const std::wstring& name) {
        std::string bytes;
        if (!platform::ReadFileBytes(dir.WFile(name), &bytes)) return "<missing>";
        return bytes;
    }
    void WriteCfg(const std::wstring& name, const std::string& bytes) {
        ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(name), bytes));
    }

    testsupport::TempDir dir;
    std::unique_ptr<CHeadlessBackendUI> backend;
    std::unique_ptr<CTestDriverUI> driver;
};
