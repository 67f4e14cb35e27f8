#include "uikit/UIHeadless.h"

#include <chrono>
#include <cstdio>
#include <cwchar>

#include "platform/Platform.h"
#include "uikit/UIControls.h"
#include "uikit/UIList.h"

namespace {
std::wstring R(const UIRect& rc) {
    return std::to_wstring(rc.left) + L"," + std::to_wstring(rc.top) + L"," + std::to_wstring(rc.right) +
           L"," + std::to_wstring(rc.bottom);
}
CTestDriverUI* g_currentDriver = nullptr;
}  // namespace

CTestDriverUI* UICurrentTestDriver() {
    return g_currentDriver;
}

// ---- Recording renderer -------------------------------------------------------------------------
void CRecordingRenderUI::FillRect(const UIRect& rc, uint32_t argb) {
    m_calls.push_back(L"fill " + R(rc) + L" " + UIFormatColor(argb));
}
void CRecordingRenderUI::DrawRect(const UIRect& rc, int width, uint32_t argb) {
    m_calls.push_back(L"rect " + R(rc) + L" " + std::to_wstring(width) + L" " + UIFormatColor(argb));
}
void CRecordingRenderUI::DrawRoundRect(const UIRect& rc, int width, int rx, int ry, uint32_t argb) {
    m_calls.push_back(L"roundrect " + R(rc) + L" " + std::to_wstring(width) + L" " + std::to_wstring(rx) +
                      L"," + std::to_wstring(ry) + L" " + UIFormatColor(argb));
}
void CRecordingRenderUI::FillRoundRect(const UIRect& rc, int rx, int ry, uint32_t argb) {
    m_calls.push_back(L"fillround " + R(rc) + L" " + std::to_wstring(rx) + L"," + std::to_wstring(ry) + L" " +
                      UIFormatColor(argb));
}
void CRecordingRenderUI::DrawLine(UIPoint from, UIPoint to, int width, uint32_t argb) {
    m_calls.push_back(L"line " + std::to_wstring(from.x) + L"," + std::to_wstring(from.y) + L"," +
                      std::to_wstring(to.x) + L"," + std::to_wstring(to.y) + L" " + std::to_wstring(width) +
                      L" " + UIFormatColor(argb));
}
bool CRecordingRenderUI::DrawImage(const std::shared_ptr<TImageDataUI>& image, const UIRect& dest,
                                   const UIRect& source, const UIRect&, uint8_t fade, bool, bool, bool,
                                   int frame) {
    m_calls.push_back(L"image " + (image ? image->name : std::wstring(L"?")) + L" " + R(dest) + L" src " +
                      R(source) + L" fade " + std::to_wstring(fade) + L" frame " + std::to_wstring(frame));
    return image != nullptr;
}
void CRecordingRenderUI::DrawText(const std::wstring& text, const UIRect& rc, const TFontUI& font,
                                  uint32_t argb, uint32_t style, int scalePercent) {
    m_calls.push_back(L"text " + R(rc) + L" " + UIFormatColor(argb) + L" font " + std::to_wstring(font.size) +
                      L"@" + std::to_wstring(scalePercent) + L" style " + std::to_wstring(style) + L" \"" +
                      text + L"\"");
}
UISize CRecordingRenderUI::MeasureText(const std::wstring& text, const TFontUI& font, int scalePercent) {
    int h = font.size * scalePercent / 100;
    return {static_cast<int>(text.size()) * h / 2, h};
}
void CRecordingRenderUI::PushClip(const UIRect& rc) {
    m_clips.push_back(rc);
    m_calls.push_back(L"clip " + R(rc));
}
void CRecordingRenderUI::PopClip() {
    if (!m_clips.empty()) m_clips.pop_back();
    m_calls.push_back(L"unclip");
}

// ---- Backend ------------------------------------------------------------------------------------
CHeadlessBackendUI::CHeadlessBackendUI(bool virtualClock) : m_virtualClock(virtualClock) {}
CHeadlessBackendUI::~CHeadlessBackendUI() = default;

void CHeadlessBackendUI::CreateNativeWindow(CWindowUI* window) {
    uintptr_t handle;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_windows[window] = NativeWindow{};
        handle = ++m_nextChild;
    }
    window->SetNativeHandle(handle);
}
void CHeadlessBackendUI::DestroyNativeWindow(CWindowUI* window) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_windows.erase(window);
    for (auto it = m_children.begin(); it != m_children.end();) {
        if (it->second.parent == window)
            it = m_children.erase(it);
        else
            ++it;
    }
}
void CHeadlessBackendUI::ShowNativeWindow(CWindowUI* window, bool show, bool) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_windows.find(window);
    if (it != m_windows.end()) it->second.shown = show;
}
void CHeadlessBackendUI::MoveNativeWindow(CWindowUI* window, const UIRect& screenRect) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_windows.find(window);
    if (it != m_windows.end()) it->second.rect = screenRect;
}
void CHeadlessBackendUI::SetNativeTitle(CWindowUI* window, const std::wstring& title) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_windows.find(window);
    if (it != m_windows.end()) it->second.title = title;
}
void CHeadlessBackendUI::SysCommand(CWindowUI* window, uintptr_t command) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_windows.find(window);
    if (it == m_windows.end()) return;
    if (command == UISC_MINIMIZE) it->second.shown = false;
    if (command == UISC_RESTORE || command == UISC_MAXIMIZE) it->second.shown = true;
}
void CHeadlessBackendUI::RequestRepaint(CWindowUI* window) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_windows.find(window);
        if (it != m_windows.end()) ++it->second.repaints;
    }
    // Nothing is drawn headless: every change signal is counted and acknowledged at once.
    window->TakeRepaintRequest();
}
void CHeadlessBackendUI::WakeUp() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
    }
    m_wake.notify_all();
}
bool CHeadlessBackendUI::WaitForWake(int ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_woken) {
        if (ms < 0)
            m_wake.wait(lock, [this] { return m_woken; });
        else
            m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_woken; });
    }
    bool woken = m_woken;
    m_woken = false;
    return woken;
}
void CHeadlessBackendUI::RunLoop(const std::function<bool()>& done) {
    while (!done()) {
        int64_t next = CAppUI::ProcessPending();
        if (done()) break;
        if (CAppUI::HasPendingTasks()) continue;
        if (next == 0) continue;
        std::function<bool()> hook;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            hook = m_idleHook;
        }
        if (hook && hook()) continue;
        if (m_virtualClock) {
            if (m_autoAdvance && next > 0) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_virtualNow += static_cast<uint64_t>(next);
                continue;
            }
            // Nothing scheduled: only another thread can move this loop on. A modal window that
            // nobody answers would wait here for ever, so say so once in a while.
            for (int waited = 0;; ++waited) {
                if (WaitForWake(10000) || CAppUI::HasPendingTasks()) break;
                std::fprintf(stderr, "headless UI loop idle for %d s: a modal window waits for an answer\n",
                             (waited + 1) * 10);
            }
        } else {
            WaitForWake(next < 0 ? -1 : static_cast<int>(std::min<int64_t>(next, 1000)));
        }
    }
}
uint64_t CHeadlessBackendUI::NowMs() {
    if (!m_virtualClock) return platform::TickCountMs();
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_virtualNow;
}
int CHeadlessBackendUI::GetScreenDpi() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dpi;
}
UIRect CHeadlessBackendUI::GetWorkArea() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_workArea;
}
void CHeadlessBackendUI::ShowComboDropDown(CWindowUI*, CComboUI* combo) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_openDropDown = combo;
}
bool CHeadlessBackendUI::CloseDropDown(int index) {
    CComboUI* combo;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        combo = m_openDropDown;
        m_openDropDown = nullptr;
    }
    if (!combo || !CControlUI::IsAlive(combo)) return false;
    combo->OnDropDownClosed(index);
    return true;
}
bool CHeadlessBackendUI::ChooseFiles(CWindowUI*, const std::wstring&, const std::wstring&, bool multiple,
                                     std::vector<std::wstring>* files) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fileChoices.empty()) return false;
    std::vector<std::wstring> choice = std::move(m_fileChoices.front());
    m_fileChoices.pop_front();
    if (choice.empty()) return false;
    if (!multiple) choice.resize(1);
    *files = std::move(choice);
    return true;
}
bool CHeadlessBackendUI::ChooseFolder(CWindowUI*, const std::wstring&, std::wstring* folder) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_folderChoices.empty()) return false;
    std::wstring choice = std::move(m_folderChoices.front());
    m_folderChoices.pop_front();
    if (choice.empty()) return false;
    *folder = std::move(choice);
    return true;
}
uintptr_t CHeadlessBackendUI::CreateChildWindow(CWindowUI* parent, const UIRect& rc, bool) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!parent || m_windows.find(parent) == m_windows.end()) return 0;
    uintptr_t id = ++m_nextChild;
    m_children[id] = ChildWindow{parent, rc, true};
    return id;
}
bool CHeadlessBackendUI::IsChildWindow(uintptr_t child) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_children.count(child) != 0;
}
void CHeadlessBackendUI::MoveChildWindow(uintptr_t child, const UIRect& rc) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_children.find(child);
    if (it != m_children.end()) it->second.rect = rc;
}
void CHeadlessBackendUI::ShowChildWindow(uintptr_t child, bool show) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_children.find(child);
    if (it != m_children.end()) it->second.shown = show;
}
void CHeadlessBackendUI::DestroyChildWindow(uintptr_t child) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_children.erase(child);
}
CWindowUI* CHeadlessBackendUI::GetChildWindowParent(uintptr_t child) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_children.find(child);
    return it == m_children.end() ? nullptr : it->second.parent;
}

void CHeadlessBackendUI::SetScreenDpi(int dpi) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dpi = dpi > 0 ? dpi : 96;
}
void CHeadlessBackendUI::SetWorkArea(const UIRect& rc) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_workArea = rc;
}
void CHeadlessBackendUI::SetAutoAdvance(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_autoAdvance = on;
}
void CHeadlessBackendUI::Pump() {
    for (int round = 0; round < 100000; ++round) {
        int64_t next = CAppUI::ProcessPending();
        if (!CAppUI::HasPendingTasks() && next != 0) return;
    }
}
void CHeadlessBackendUI::AdvanceTime(uint64_t ms) {
    uint64_t target;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        target = m_virtualNow + ms;
    }
    Pump();
    for (;;) {
        int64_t next = CAppUI::NextTimerDue();
        uint64_t now = NowMs();
        if (next < 0 || now + static_cast<uint64_t>(next) > target) break;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_virtualNow = now + static_cast<uint64_t>(next);
        }
        Pump();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_virtualNow = target;
    }
    Pump();
}
void CHeadlessBackendUI::QueueFileChoice(std::vector<std::wstring> files) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fileChoices.push_back(std::move(files));
}
void CHeadlessBackendUI::QueueFolderChoice(std::wstring folder) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_folderChoices.push_back(std::move(folder));
}
void CHeadlessBackendUI::SetIdleHook(std::function<bool()> hook) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_idleHook = std::move(hook);
}
bool CHeadlessBackendUI::IsShown(const CWindowUI* window) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_windows.find(window);
    return it != m_windows.end() && it->second.shown;
}
UIRect CHeadlessBackendUI::GetNativeRect(const CWindowUI* window) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_windows.find(window);
    return it == m_windows.end() ? UIRect{} : it->second.rect;
}
std::wstring CHeadlessBackendUI::GetNativeTitle(const CWindowUI* window) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_windows.find(window);
    return it == m_windows.end() ? std::wstring() : it->second.title;
}
int CHeadlessBackendUI::RepaintRequests(const CWindowUI* window) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_windows.find(window);
    return it == m_windows.end() ? 0 : it->second.repaints;
}
CComboUI* CHeadlessBackendUI::GetOpenDropDown() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_openDropDown;
}
UIRect CHeadlessBackendUI::GetChildRect(uintptr_t child) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_children.find(child);
    return it == m_children.end() ? UIRect{} : it->second.rect;
}
bool CHeadlessBackendUI::IsChildShown(uintptr_t child) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_children.find(child);
    return it != m_children.end() && it->second.shown;
}
std::vector<std::wstring> CHeadlessBackendUI::PaintWindow(CWindowUI* window) {
    CRecordingRenderUI render;
    window->Paint(render);
    return render.Calls();
}

// ---- Test driver --------------------------------------------------------------------------------
CTestDriverUI::CTestDriverUI(CHeadlessBackendUI& backend) : m_backend(backend) {
    g_currentDriver = this;
    CAppUI::SetNotifyObserver([this](const TNotifyUI& msg) { Record(msg); });
    m_backend.SetIdleHook([this] {
        if (m_answers.empty()) return false;
        CWindowUI* top = CAppUI::GetTopModal();
        if (!top) return false;
        auto answer = std::move(m_answers.front());
        m_answers.pop_front();
        answer(top);
        return true;
    });
}

CTestDriverUI::~CTestDriverUI() {
    m_backend.SetIdleHook(nullptr);
    CAppUI::SetNotifyObserver(nullptr);
    if (g_currentDriver == this) g_currentDriver = nullptr;
}

void CTestDriverUI::Record(const TNotifyUI& msg) {
    m_log.push_back(msg.sType + L":" + (msg.pSender ? msg.pSender->GetName() : std::wstring()));
}

void CTestDriverUI::Pump() {
    m_backend.Pump();
}

bool CTestDriverUI::PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
    const uint64_t deadline = platform::TickCountMs() + static_cast<uint64_t>(timeoutMs);
    for (;;) {
        Pump();
        if (pred()) return true;
        if (platform::TickCountMs() >= deadline) return false;
        m_backend.WaitForWake(10);
    }
}

void CTestDriverUI::AdvanceTime(uint64_t ms) {
    m_backend.AdvanceTime(ms);
}

bool CTestDriverUI::ControlCenter(CWindowUI* window, const std::wstring& name, CControlUI** control,
                                  UIPoint* pt) {
    if (!window || !window->IsCreated()) return false;
    window->UpdateLayout();
    CControlUI* c = window->FindControl(name);
    if (!c || !c->IsVisible() || !c->IsEnabled()) return false;
    for (CControlUI* p = c->GetParent(); p; p = p->GetParent())
        if (!p->IsVisible()) return false;
    UIRect rc = c->GetPos();
    if (rc.IsEmpty()) return false;
    *control = c;
    *pt = rc.Center();
    return true;
}

bool CTestDriverUI::ClickAt(CWindowUI* window, UIPoint pt) {
    if (!window || !window->IsCreated()) return false;
    window->InputMouseMove(pt);
    window->InputMouseDown(pt);
    window->InputMouseUp(pt);
    Pump();
    return true;
}

bool CTestDriverUI::Click(CWindowUI* window, const std::wstring& name) {
    CControlUI* c = nullptr;
    UIPoint pt;
    if (!ControlCenter(window, name, &c, &pt)) return false;
    // The click lands where the user would click: on whatever is on top at the centre.
    CControlUI* hit = window->FindControl(pt);
    bool onTarget = false;
    for (CControlUI* p = hit; p; p = p->GetParent())
        if (p == c) onTarget = true;
    ClickAt(window, pt);
    return onTarget;
}

bool CTestDriverUI::DoubleClick(CWindowUI* window, const std::wstring& name) {
    CControlUI* c = nullptr;
    UIPoint pt;
    if (!ControlCenter(window, name, &c, &pt)) return false;
    window->InputMouseMove(pt);
    window->InputMouseDown(pt);
    window->InputMouseUp(pt);
    window->InputDoubleClick(pt);
    window->InputMouseUp(pt);
    Pump();
    return true;
}

bool CTestDriverUI::MouseMove(CWindowUI* window, UIPoint pt, bool leftDown) {
    if (!window || !window->IsCreated()) return false;
    window->InputMouseMove(pt, leftDown ? static_cast<uintptr_t>(UIMK_LBUTTON) : uintptr_t{0});
    Pump();
    return true;
}
bool CTestDriverUI::MouseDown(CWindowUI* window, UIPoint pt) {
    if (!window || !window->IsCreated()) return false;
    window->InputMouseDown(pt);
    Pump();
    return true;
}
bool CTestDriverUI::MouseUp(CWindowUI* window, UIPoint pt) {
    if (!window || !window->IsCreated()) return false;
    window->InputMouseUp(pt);
    Pump();
    return true;
}

bool CTestDriverUI::Wheel(CWindowUI* window, const std::wstring& name, int notches) {
    CControlUI* c = nullptr;
    UIPoint pt;
    if (!ControlCenter(window, name, &c, &pt)) return false;
    for (int i = 0; i < std::abs(notches); ++i) window->InputMouseWheel(pt, notches > 0 ? 120 : -120);
    Pump();
    return true;
}

bool CTestDriverUI::SelectOption(CWindowUI* window, const std::wstring& name) {
    auto* option = window ? window->FindControlAs<COptionUI>(name) : nullptr;
    if (!option) return false;
    if (option->IsSelected()) return true;
    return Click(window, name) && option->IsSelected();
}

bool CTestDriverUI::SelectTab(CWindowUI* window, const std::wstring& tabName, int index) {
    auto* tab = window ? window->FindControlAs<CTabLayoutUI>(tabName) : nullptr;
    if (!tab) return false;
    bool ok = tab->SelectItem(index);
    Pump();
    return ok;
}

bool CTestDriverUI::Type(CWindowUI* window, const std::wstring& editName, const std::wstring& text,
                         bool replace) {
    auto* edit = window ? window->FindControlAs<CEditUI>(editName) : nullptr;
    if (!edit) return false;
    CControlUI* c = nullptr;
    UIPoint pt;
    if (!ControlCenter(window, editName, &c, &pt)) return false;
    window->InputMouseMove(pt);
    window->InputMouseDown(pt);
    window->InputMouseUp(pt);
    if (window->GetFocus() != edit) return false;
    if (replace) edit->SetSelAll();
    for (wchar_t ch : text) {
        if (ch == L'\b')
            window->InputKeyDown(UIKEY_BACK);
        else
            window->InputChar(ch);
    }
    Pump();
    return true;
}

bool CTestDriverUI::PressKey(CWindowUI* window, uint32_t key) {
    if (!window || !window->IsCreated()) return false;
    window->InputKeyDown(key);
    Pump();
    return true;
}

bool CTestDriverUI::MoveSlider(CWindowUI* window, const std::wstring& name, int value) {
    auto* slider = window ? window->FindControlAs<CSliderUI>(name) : nullptr;
    CControlUI* c = nullptr;
    UIPoint center;
    if (!slider || !ControlCenter(window, name, &c, &center)) return false;
    UIRect rc = slider->GetPos();
    int minv = slider->GetMinValue(), maxv = slider->GetMaxValue();
    value = std::clamp(value, minv, maxv);
    UIPoint start = slider->GetThumbRect().Center();
    if (!rc.Contains(start)) start = center;
    UIPoint target = center;
    int range = std::max(1, maxv - minv);
    if (slider->IsHorizontal())
        target.x = rc.left +
                   static_cast<int>((static_cast<int64_t>(value - minv) * rc.GetWidth() + range / 2) / range);
    else
        target.y = rc.bottom - static_cast<int>(
                                   (static_cast<int64_t>(value - minv) * rc.GetHeight() + range / 2) / range);
    window->InputMouseMove(start);
    window->InputMouseDown(start);
    window->InputMouseMove(target, UIMK_LBUTTON);
    // The pixel grid may not hold every value: the thumb ends exactly on the asked one.
    if (slider->GetValue() != value) slider->SetValue(value);
    window->InputMouseUp(target);
    Pump();
    return true;
}

bool CTestDriverUI::PickComboItem(CWindowUI* window, const std::wstring& name, int index) {
    if (!Click(window, name)) return false;
    auto* combo = window->FindControlAs<CComboUI>(name);
    if (!combo || m_backend.GetOpenDropDown() != combo) return false;
    if (index < 0 || index >= combo->GetItemCount()) {
        m_backend.CloseDropDown(-1);
        Pump();
        return false;
    }
    bool ok = m_backend.CloseDropDown(index);
    Pump();
    return ok;
}

bool CTestDriverUI::Drop(CWindowUI* window, const std::vector<std::wstring>& paths) {
    if (!window || !window->IsCreated()) return false;
    window->InputDropFiles(paths);
    Pump();
    return true;
}

bool CTestDriverUI::ClickListItem(CWindowUI* window, const std::wstring& listName, int index) {
    auto* list = window ? window->FindControlAs<CListUI>(listName) : nullptr;
    if (!list) return false;
    CControlUI* item = list->GetItemAt(index);
    if (!item || !item->IsVisible()) return false;
    list->EnsureVisible(item);
    UIRect rc = item->GetPos();
    // A point of the row that is not on one of its buttons.
    const UIPoint candidates[] = {rc.Center(),
                                  {rc.left + 2, rc.top + 2},
                                  {rc.right - 3, rc.bottom - 3},
                                  {rc.left + 2, rc.bottom - 3},
                                  {rc.right - 3, rc.top + 2}};
    for (UIPoint pt : candidates) {
        CControlUI* hit = window->FindControl(pt);
        if (!hit || dynamic_cast<CButtonUI*>(hit) || dynamic_cast<CEditUI*>(hit)) continue;
        bool inside = false;
        for (CControlUI* p = hit; p; p = p->GetParent())
            if (p == item) inside = true;
        if (!inside) continue;
        return ClickAt(window, pt);
    }
    return false;
}

void CTestDriverUI::AnswerNextModal(const std::wstring& buttonName) {
    m_answers.push_back([this, buttonName](CWindowUI* w) { Click(w, buttonName); });
}
void CTestDriverUI::AnswerNextModal(std::function<void(CWindowUI*)> answer) {
    m_answers.push_back(std::move(answer));
}
int CTestDriverUI::PendingAnswers() const {
    return static_cast<int>(m_answers.size());
}
