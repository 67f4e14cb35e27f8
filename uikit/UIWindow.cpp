#include "uikit/UIWindow.h"

#include <atomic>
#include <cwctype>
#include <map>

#include "logging/Log.h"
#include "uikit/UIBackend.h"
#include "uikit/UIContainer.h"
#include "uikit/UIControls.h"
#include "uikit/UIInternal.h"
#include "uikit/UIRender.h"

// ---- Dispatch depth and deferred deletion -------------------------------------------------------
// Controls removed while input, a message or a timer is being dispatched are deleted when the
// outermost dispatch on the UI thread has returned, so no handler is left holding a dead control.
namespace {
thread_local int t_dispatchDepth = 0;
std::vector<CControlUI*>& PendingDeletes() {
    static std::vector<CControlUI*> pending;
    return pending;
}
}  // namespace

void UIFlushDeferredDeletes() {
    if (t_dispatchDepth > 0 || !CAppUI::IsUIThread()) return;
    for (;;) {
        std::vector<CControlUI*> batch;
        {
            CUILockGuard lock(UILock());
            batch.swap(PendingDeletes());
        }
        if (batch.empty()) return;
        for (CControlUI* c : batch) delete c;
    }
}

UIDispatchScope::UIDispatchScope() {
    ++t_dispatchDepth;
}
UIDispatchScope::~UIDispatchScope() {
    if (--t_dispatchDepth == 0) UIFlushDeferredDeletes();
}

// ---- Display scale ------------------------------------------------------------------------------
int CDisplayScaleUI::GetDPI() const {
    CUILockGuard lock(UILock());
    return m_dpi;
}
void CDisplayScaleUI::SetDPI(int dpi) {
    CUILockGuard lock(UILock());
    m_dpi = dpi > 0 ? dpi : 96;
}
int CDisplayScaleUI::GetScale() const {
    CUILockGuard lock(UILock());
    return (m_dpi * 100 + 48) / 96;
}
void CDisplayScaleUI::SetScale(int percent) {
    SetDPI((percent * 96 + 50) / 100);
}
int CDisplayScaleUI::Scale(int logical) const {
    CUILockGuard lock(UILock());
    if (m_dpi == 96) return logical;
    int64_t v = static_cast<int64_t>(logical) * m_dpi;
    return static_cast<int>(v >= 0 ? (v + 48) / 96 : -((-v + 48) / 96));
}
int CDisplayScaleUI::ScaleBack(int device) const {
    CUILockGuard lock(UILock());
    if (m_dpi == 96) return device;
    int64_t v = static_cast<int64_t>(device) * 96;
    int half = m_dpi / 2;
    return static_cast<int>(v >= 0 ? (v + half) / m_dpi : -((-v + half) / m_dpi));
}
UIRect CDisplayScaleUI::Scale(const UIRect& rc) const {
    return {Scale(rc.left), Scale(rc.top), Scale(rc.right), Scale(rc.bottom)};
}
UIRect CDisplayScaleUI::ScaleBack(const UIRect& rc) const {
    return {ScaleBack(rc.left), ScaleBack(rc.top), ScaleBack(rc.right), ScaleBack(rc.bottom)};
}
UISize CDisplayScaleUI::Scale(UISize sz) const {
    return {Scale(sz.cx), Scale(sz.cy)};
}

// ---- Window -------------------------------------------------------------------------------------
struct CWindowUI::Impl {
    struct ModalState {
        bool done = false;
        int result = 0;
    };
    CControlUI* root = nullptr;
    CWindowUI* owner = nullptr;
    std::wstring title;
    UISize initSize;
    UIRect caption;
    UISize minSize;
    std::vector<TFontUI> fonts;
    int defaultFont = -1;
    uint32_t defaultTextColor = 0;
    std::map<std::wstring, std::wstring> attributes;
    CDisplayScaleUI dpi;
    UISize client;
    UIPoint screenPos;
    uintptr_t native = 0;
    bool created = false;
    bool visible = false;
    bool closing = false;
    bool destroyed = false;
    bool needLayout = true;
    std::atomic<bool> repaintRequested{false};
    CControlUI* hot = nullptr;
    CControlUI* pushed = nullptr;
    CControlUI* focus = nullptr;
    UIPoint lastMouse;
    std::shared_ptr<ModalState> modal;
    int result = 0;
};

CWindowUI::CWindowUI() : m(std::make_unique<Impl>()) {}

CWindowUI::~CWindowUI() {
    // A window that was created is known to the UI thread (its loop lays it out, its tasks and
    // timers name it), so it is taken apart there; a window never created is only memory.
    auto teardown = [this] {
        bool destroyNative = false;
        {
            CUILockGuard lock(UILock());
            destroyNative = m->created && !m->destroyed;
            m->destroyed = true;
        }
        if (destroyNative)
            if (IBackendUI* backend = CAppUI::GetBackend()) backend->DestroyNativeWindow(this);
        CAppUI::UnregisterWindow(this);
        CControlUI* root;
        {
            CUILockGuard lock(UILock());
            root = m->root;
            m->root = nullptr;
            m->hot = m->pushed = m->focus = nullptr;
        }
        delete root;
    };
    if (CAppUI::IsWindowAlive(this))
        CAppUI::Invoke(teardown);
    else
        teardown();
}

std::wstring CWindowUI::GetWindowClassName() const {
    return L"UIWindow";
}
std::wstring CWindowUI::GetSkinFile() {
    return L"";
}
void CWindowUI::Notify(TNotifyUI&) {}
intptr_t CWindowUI::HandleMessage(uint32_t, uintptr_t, intptr_t, bool& handled) {
    handled = false;
    return 0;
}
CControlUI* CWindowUI::CreateControl(const std::wstring&) {
    return nullptr;
}

bool CWindowUI::Create(CWindowUI* owner, const std::wstring& title, int x, int y, int cx, int cy) {
    bool ok = false;
    CAppUI::Invoke([&] { ok = CreateOnUIThread(owner, title, x, y, cx, cy); });
    return ok;
}

bool CWindowUI::CreateOnUIThread(CWindowUI* owner, const std::wstring& title, int x, int y, int cx, int cy) {
    {
        CUILockGuard lock(UILock());
        if (m->created) return false;
        m->owner = owner;
        m->title = title;
    }
    if (!CAppUI::IsWindowAlive(this)) CAppUI::RegisterWindow(this);
    if (!GetRoot()) {
        std::wstring skin = GetSkinFile();
        if (skin.empty()) {
            SetRoot(new CContainerUI);
        } else {
            CBuilderUI builder;
            CControlUI* root = builder.Create(skin, this, this);
            if (!root) {
                TW_LOG_INFO(L"window " << GetWindowClassName() << L": " << builder.GetLastError() << L"\n");
                return false;
            }
            SetRoot(root);
        }
    }
    IBackendUI* backend = CAppUI::GetBackend();
    {
        CUILockGuard lock(UILock());
        m->dpi.SetDPI(backend ? backend->GetScreenDpi() : 96);
        UISize logical = (m->initSize.cx > 0 && m->initSize.cy > 0) ? m->initSize : UISize{cx, cy};
        m->client = m->dpi.Scale(logical);
        m->screenPos = {x, y};
        m->created = true;
        m->needLayout = true;
    }
    if (backend) {
        backend->CreateNativeWindow(this);
        backend->MoveNativeWindow(this, GetWindowRect());
        backend->SetNativeTitle(this, title);
    }
    GetRoot()->SetWindow(this, nullptr, true);
    UpdateLayout();
    {
        UIDispatchScope scope;
        InitWindow();
    }
    UpdateLayout();
    SendNotifyFrom(GetRoot(), L"windowinit", 0, 0, false);
    return true;
}

void CWindowUI::SetRoot(CControlUI* root) {
    CControlUI* old;
    bool attach;
    {
        CUILockGuard lock(UILock());
        old = m->root;
        m->root = root;
        m->hot = m->pushed = m->focus = nullptr;
        m->needLayout = true;
        attach = m->created;
    }
    if (old && old != root) delete old;
    if (root && attach) root->SetWindow(this, nullptr, true);
}

bool CWindowUI::IsCreated() const {
    CUILockGuard lock(UILock());
    return m->created && !m->destroyed;
}

void CWindowUI::ShowWindow(bool show, bool activate) {
    CAppUI::Invoke([&] {
        {
            CUILockGuard lock(UILock());
            if (!m->created || m->destroyed) return;
            m->visible = show;
        }
        if (IBackendUI* backend = CAppUI::GetBackend()) backend->ShowNativeWindow(this, show, activate);
        Invalidate();
    });
}

bool CWindowUI::IsWindowVisible() const {
    CUILockGuard lock(UILock());
    return m->visible && !m->destroyed;
}

void CWindowUI::CenterWindow() {
    CAppUI::Invoke([&] {
        IBackendUI* backend = CAppUI::GetBackend();
        UIRect area = backend ? backend->GetWorkArea() : UIRect{0, 0, 1920, 1080};
        CWindowUI* owner = GetOwner();
        if (owner && CAppUI::IsWindowAlive(owner) && owner->IsCreated()) area = owner->GetWindowRect();
        UISize sz = GetClientSize();
        int x = area.left + (area.GetWidth() - sz.cx) / 2;
        int y = area.top + (area.GetHeight() - sz.cy) / 2;
        MoveWindow(UIRect{x, y, x + sz.cx, y + sz.cy});
    });
}

void CWindowUI::Close(int result) {
    if (!CAppUI::IsUIThread()) {
        CAppUI::Post([this, result] {
            if (CAppUI::IsWindowAlive(this)) Close(result);
        });
        return;
    }
    {
        CUILockGuard lock(UILock());
        if (!m->created || m->destroyed || m->closing) return;
        m->closing = true;
        m->result = result;
        if (m->modal) {
            m->modal->done = true;
            m->modal->result = result;
        }
    }
    // The native window goes after the current dispatch has returned.
    CAppUI::Post([this] {
        if (CAppUI::IsWindowAlive(this)) DestroyOnUIThread();
    });
}

void CWindowUI::DestroyOnUIThread() {
    {
        CUILockGuard lock(UILock());
        if (m->destroyed || !m->created) return;
        m->destroyed = true;
        m->visible = false;
        m->hot = m->pushed = nullptr;
    }
    CAppUI::KillTimers(this, nullptr);
    if (IBackendUI* backend = CAppUI::GetBackend()) backend->DestroyNativeWindow(this);
    bool handled = false;
    HandleMessage(UIMSG_DESTROY, 0, 0, handled);
    OnFinalMessage();  // may delete this
}

int CWindowUI::ShowModal() {
    int result = -1;
    CAppUI::Invoke([&] { result = RunModalOnUIThread(); });
    return result;
}

int CWindowUI::RunModalOnUIThread() {
    auto state = std::make_shared<Impl::ModalState>();
    {
        CUILockGuard lock(UILock());
        if (!m->created || m->destroyed) return -1;
        m->modal = state;
        if (m->closing) {
            state->done = true;
            state->result = m->result;
        }
    }
    ShowWindow(true);
    CAppUI::PushModal(this);
    CAppUI::RunLoop([state] { return state->done; });
    CAppUI::PopModal(this);
    // A window may have deleted itself in OnFinalMessage: only the registry is asked about it.
    if (CAppUI::IsWindowAlive(this)) {
        bool pending;
        {
            CUILockGuard lock(UILock());
            pending = !m->destroyed;
        }
        if (pending) DestroyOnUIThread();
    }
    return state->result;
}

bool CWindowUI::IsModal() const {
    CUILockGuard lock(UILock());
    return m->modal != nullptr && !m->destroyed;
}
bool CWindowUI::IsClosing() const {
    CUILockGuard lock(UILock());
    return m->closing || m->destroyed;
}
int CWindowUI::GetResult() const {
    CUILockGuard lock(UILock());
    return m->result;
}
CWindowUI* CWindowUI::GetOwner() const {
    CUILockGuard lock(UILock());
    return m->owner;
}
std::wstring CWindowUI::GetTitle() const {
    CUILockGuard lock(UILock());
    return m->title;
}
void CWindowUI::SetTitle(const std::wstring& title) {
    {
        CUILockGuard lock(UILock());
        m->title = title;
    }
    CAppUI::Invoke([&] {
        if (IBackendUI* backend = CAppUI::GetBackend(); backend && IsCreated())
            backend->SetNativeTitle(this, title);
    });
}

// ---- Messages and timers ----
void CWindowUI::PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    CAppUI::Post([this, msg, wParam, lParam] {
        if (!CAppUI::IsWindowAlive(this) || !IsCreated()) return;
        DispatchMessage(msg, wParam, lParam);
    });
}

void CWindowUI::PostMessageWithText(uint32_t msg, const std::wstring& text, intptr_t lParam) {
    auto owned = std::make_shared<std::wstring>(text);
    CAppUI::Post([this, msg, owned, lParam] {
        if (!CAppUI::IsWindowAlive(this) || !IsCreated()) return;
        DispatchMessage(msg, reinterpret_cast<uintptr_t>(owned.get()), lParam);
    });
}

intptr_t CWindowUI::SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    intptr_t result = 0;
    CAppUI::Invoke([&] {
        if (CAppUI::IsWindowAlive(this)) result = DispatchMessage(msg, wParam, lParam);
    });
    return result;
}

intptr_t CWindowUI::DispatchMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    UIDispatchScope scope;
    bool handled = false;
    intptr_t r = HandleMessage(msg, wParam, lParam, handled);
    if (!handled) r = DefaultHandleMessage(msg, wParam, lParam);
    return r;
}

intptr_t CWindowUI::DefaultHandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    switch (msg) {
        case UIMSG_CLOSE:
            Close(UIRESULT_CLOSED);
            return 0;
        case UIMSG_SYSCOMMAND:
            if (wParam == UISC_CLOSE) {
                Close(UIRESULT_CLOSED);
            } else if (IBackendUI* backend = CAppUI::GetBackend()) {
                backend->SysCommand(this, wParam);
            }
            return 0;
        case UIMSG_DPICHANGED:
            ApplyDPI(static_cast<int>(wParam));
            if (lParam) MoveWindow(*reinterpret_cast<const UIRect*>(lParam));
            return 0;
        default:
            return 0;
    }
}

bool CWindowUI::SetTimer(uint32_t id, uint32_t elapseMs) {
    CAppUI::SetTimer(this, nullptr, id, elapseMs);
    return true;
}
void CWindowUI::KillTimer(uint32_t id) {
    CAppUI::KillTimer(this, nullptr, id);
}

void CWindowUI::DeliverTimer(CControlUI* control, uint32_t id) {
    if (!IsCreated()) return;
    if (!control) {
        DispatchMessage(UIMSG_TIMER, id, 0);
        return;
    }
    TEventUI e;
    e.Type = UIEventType::Timer;
    e.pSender = control;
    e.dwTimestamp = CAppUI::Now();
    e.wParam = id;
    DispatchEvent(control, e);
}

// ---- Tree ----
CControlUI* CWindowUI::GetRoot() const {
    CUILockGuard lock(UILock());
    return m->root;
}
CControlUI* CWindowUI::FindControl(const std::wstring& name) const {
    CUILockGuard lock(UILock());
    return m->root ? m->root->FindControlByName(name) : nullptr;
}
CControlUI* CWindowUI::FindControl(UIPoint clientPt) const {
    CUILockGuard lock(UILock());
    return m->root ? m->root->FindControlAt(clientPt) : nullptr;
}
CControlUI* CWindowUI::GetFocus() const {
    CUILockGuard lock(UILock());
    return m->focus;
}
CControlUI* CWindowUI::GetHot() const {
    CUILockGuard lock(UILock());
    return m->hot;
}
CControlUI* CWindowUI::GetPushed() const {
    CUILockGuard lock(UILock());
    return m->pushed;
}

void CWindowUI::SetFocus(CControlUI* control) {
    if (!CAppUI::IsUIThread()) {
        CAppUI::Post([this, control] {
            if (CAppUI::IsWindowAlive(this) && (!control || CControlUI::IsAlive(control))) SetFocus(control);
        });
        return;
    }
    CControlUI* old;
    {
        CUILockGuard lock(UILock());
        if (control && control->GetWindow() != this) return;
        old = m->focus;
        if (old == control) return;
        m->focus = control;
    }
    UIDispatchScope scope;
    if (old && CControlUI::IsAlive(old)) {
        TEventUI e;
        e.Type = UIEventType::KillFocus;
        e.pSender = old;
        e.dwTimestamp = CAppUI::Now();
        DispatchEvent(old, e);
    }
    if (control && CControlUI::IsAlive(control) && GetFocus() == control) {
        TEventUI e;
        e.Type = UIEventType::SetFocus;
        e.pSender = control;
        e.dwTimestamp = CAppUI::Now();
        DispatchEvent(control, e);
    }
}

std::vector<CControlUI*> CWindowUI::GetOptionGroup(const std::wstring& group) const {
    CUILockGuard lock(UILock());
    std::vector<CControlUI*> all, result;
    if (m->root) m->root->CollectControls(&all);
    for (CControlUI* c : all) {
        auto* o = dynamic_cast<COptionUI*>(c);
        if (o && o->GetGroup() == group) result.push_back(c);
    }
    return result;
}

// ---- Geometry and scale ----
CDisplayScaleUI& CWindowUI::GetDPI() {
    return m->dpi;
}
const CDisplayScaleUI& CWindowUI::GetDPI() const {
    return m->dpi;
}

void CWindowUI::ApplyDPI(int dpi) {
    {
        CUILockGuard lock(UILock());
        if (dpi <= 0 || dpi == m->dpi.GetDPI()) return;
        UISize logical{m->dpi.ScaleBack(m->client.cx), m->dpi.ScaleBack(m->client.cy)};
        m->dpi.SetDPI(dpi);
        m->client = m->dpi.Scale(logical);
        m->needLayout = true;
    }
    if (CAppUI::IsUIThread() && IsCreated())
        if (IBackendUI* backend = CAppUI::GetBackend()) backend->MoveNativeWindow(this, GetWindowRect());
    UpdateLayout();
    Invalidate();
}
UISize CWindowUI::GetInitSize() const {
    CUILockGuard lock(UILock());
    return m->initSize;
}
void CWindowUI::SetInitSize(UISize sz) {
    CUILockGuard lock(UILock());
    m->initSize = sz;
}
UIRect CWindowUI::GetCaptionRect() const {
    CUILockGuard lock(UILock());
    return m->caption;
}
void CWindowUI::SetCaptionRect(const UIRect& rc) {
    CUILockGuard lock(UILock());
    m->caption = rc;
}
UISize CWindowUI::GetMinSize() const {
    CUILockGuard lock(UILock());
    return m->minSize;
}
void CWindowUI::SetMinSize(UISize sz) {
    CUILockGuard lock(UILock());
    m->minSize = sz;
}
UISize CWindowUI::GetClientSize() const {
    CUILockGuard lock(UILock());
    return m->client;
}
UIRect CWindowUI::GetWindowRect() const {
    CUILockGuard lock(UILock());
    return {m->screenPos.x, m->screenPos.y, m->screenPos.x + m->client.cx, m->screenPos.y + m->client.cy};
}
void CWindowUI::MoveWindow(const UIRect& rc) {
    {
        CUILockGuard lock(UILock());
        m->screenPos = {rc.left, rc.top};
        UISize sz{std::max(0, rc.GetWidth()), std::max(0, rc.GetHeight())};
        if (!(sz == m->client)) m->needLayout = true;
        m->client = sz;
    }
    if (CAppUI::IsUIThread() && IsCreated())
        if (IBackendUI* backend = CAppUI::GetBackend()) backend->MoveNativeWindow(this, GetWindowRect());
    Invalidate();
}
void CWindowUI::ResizeClient(int cx, int cy) {
    UIRect rc = GetWindowRect();
    MoveWindow(UIRect{rc.left, rc.top, rc.left + cx, rc.top + cy});
}
UIPoint CWindowUI::ClientToScreen(UIPoint pt) const {
    CUILockGuard lock(UILock());
    return {pt.x + m->screenPos.x, pt.y + m->screenPos.y};
}
UIPoint CWindowUI::ScreenToClient(UIPoint pt) const {
    CUILockGuard lock(UILock());
    return {pt.x - m->screenPos.x, pt.y - m->screenPos.y};
}

// ---- Fonts and attributes ----
int CWindowUI::AddFont(const TFontUI& font, bool isDefault) {
    CUILockGuard lock(UILock());
    m->fonts.push_back(font);
    int index = static_cast<int>(m->fonts.size()) - 1;
    if (isDefault || m->defaultFont < 0) m->defaultFont = index;
    return index;
}
TFontUI CWindowUI::GetFont(int index) const {
    CUILockGuard lock(UILock());
    if (index >= 0 && index < static_cast<int>(m->fonts.size())) return m->fonts[index];
    return GetDefaultFont();
}
TFontUI CWindowUI::GetDefaultFont() const {
    CUILockGuard lock(UILock());
    if (m->defaultFont >= 0 && m->defaultFont < static_cast<int>(m->fonts.size()))
        return m->fonts[m->defaultFont];
    return TFontUI{};
}
void CWindowUI::SetWindowAttribute(const std::wstring& nameIn, const std::wstring& value) {
    std::wstring name = nameIn;
    for (auto& c : name) c = static_cast<wchar_t>(std::towlower(c));
    CUILockGuard lock(UILock());
    m->attributes[name] = value;
    UISize sz;
    UIRect rc;
    uint32_t color = 0;
    if (name == L"size") {
        if (UIParseSize(value, &sz)) m->initSize = sz;
    } else if (name == L"caption") {
        if (UIParseRect(value, &rc)) m->caption = rc;
    } else if (name == L"mininfo") {
        if (UIParseSize(value, &sz)) m->minSize = sz;
    } else if (name == L"defaultfontcolor" || name == L"textcolor") {
        if (UIParseColor(value, &color)) m->defaultTextColor = color;
    }
}
uint32_t CWindowUI::GetDefaultTextColor() const {
    CUILockGuard lock(UILock());
    return m->defaultTextColor;
}

// ---- Layout, painting, change signal ----
void CWindowUI::NeedUpdate() {
    {
        CUILockGuard lock(UILock());
        m->needLayout = true;
    }
    Invalidate();
}
void CWindowUI::Invalidate() {
    {
        CUILockGuard lock(UILock());
        if (!m->created || m->destroyed) return;
    }
    if (m->repaintRequested.exchange(true)) return;
    if (IBackendUI* backend = CAppUI::GetBackend()) backend->RequestRepaint(this);
}
bool CWindowUI::TakeRepaintRequest() {
    return m->repaintRequested.exchange(false);
}
bool CWindowUI::IsLayoutNeeded() const {
    CUILockGuard lock(UILock());
    return m->needLayout;
}
void CWindowUI::UpdateLayout() {
    CUILockGuard lock(UILock());
    if (!m->needLayout || !m->root || !m->created) return;
    m->needLayout = false;
    m->root->SetPos(UIRect{0, 0, m->client.cx, m->client.cy}, false);
}
void CWindowUI::Paint(IRenderUI& render) {
    CUILockGuard lock(UILock());
    UpdateLayout();
    m->repaintRequested = false;
    if (m->root && m->root->IsVisible()) m->root->DoPaint(render, UIRect{0, 0, m->client.cx, m->client.cy});
}

// ---- Notifications ----
void CWindowUI::SendNotifyFrom(CControlUI* control, const std::wstring& type, uintptr_t wParam,
                               intptr_t lParam, bool async) {
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = control;
    msg.dwTimestamp = CAppUI::Now();
    {
        CUILockGuard lock(UILock());
        msg.ptMouse = m->lastMouse;
    }
    msg.wParam = wParam;
    msg.lParam = lParam;
    if (!async && CAppUI::IsUIThread()) {
        DispatchNotify(msg);
        return;
    }
    CAppUI::Post([this, msg] {
        if (!CAppUI::IsWindowAlive(this)) return;
        if (msg.pSender && (!CControlUI::IsAlive(msg.pSender) || msg.pSender->GetWindow() != this)) return;
        TNotifyUI copy = msg;
        DispatchNotify(copy);
    });
}

void CWindowUI::DispatchNotify(TNotifyUI& msg) {
    UIDispatchScope scope;
    CAppUI::ObserveNotify(msg);
    if (msg.pSender && msg.pSender->RunNotifyHandlers(msg)) return;
    Notify(msg);
}

void CWindowUI::ControlRemoved(CControlUI* control) {
    std::vector<CControlUI*> subtree;
    {
        CUILockGuard lock(UILock());
        control->CollectControls(&subtree);
        for (CControlUI* c : subtree) {
            if (m->hot == c) m->hot = nullptr;
            if (m->pushed == c) m->pushed = nullptr;
            if (m->focus == c) m->focus = nullptr;
        }
    }
    for (CControlUI* c : subtree) CAppUI::KillTimers(this, c);
}

void CWindowUI::DeferDelete(CControlUI* control) {
    {
        CUILockGuard lock(UILock());
        PendingDeletes().push_back(control);
    }
    if (CAppUI::IsUIThread())
        UIFlushDeferredDeletes();
    else
        CAppUI::Post([] {});
}

void CWindowUI::FlushDeferredDeletes() {
    UIFlushDeferredDeletes();
}

// ---- Input ----
bool CWindowUI::DispatchEvent(CControlUI* control, TEventUI& event) {
    if (!control || !CControlUI::IsAlive(control)) return false;
    if (!control->RunEventHandlers(event)) return false;
    // A control of a list row laid out lazily gets its rectangle before it handles the event.
    control->ResolvePlacement();
    control->DoEvent(event);
    return true;
}

void CWindowUI::SetHot(CControlUI* control, UIPoint pt) {
    CControlUI* old;
    {
        CUILockGuard lock(UILock());
        old = m->hot;
        if (old == control) return;
        m->hot = control;
    }
    if (old) {
        TEventUI e;
        e.Type = UIEventType::MouseLeave;
        e.pSender = old;
        e.ptMouse = pt;
        e.dwTimestamp = CAppUI::Now();
        DispatchEvent(old, e);
    }
    if (control) {
        TEventUI e;
        e.Type = UIEventType::MouseEnter;
        e.pSender = control;
        e.ptMouse = pt;
        e.dwTimestamp = CAppUI::Now();
        DispatchEvent(control, e);
    }
}

namespace {
TEventUI MakeEvent(UIEventType type, CControlUI* sender, UIPoint pt, uintptr_t keys = 0) {
    TEventUI e;
    e.Type = type;
    e.pSender = sender;
    e.ptMouse = pt;
    e.wKeyState = static_cast<uint32_t>(keys);
    e.dwTimestamp = CAppUI::Now();
    return e;
}
}  // namespace

bool CWindowUI::IsInputBlocked() const {
    CWindowUI* top = CAppUI::GetTopModal();
    if (!top) return false;
    // This window, or a window owned by the modal one (a menu it opened), takes input.
    int guard = 0;
    for (const CWindowUI* w = this; w && guard < 64; w = w->GetOwner(), ++guard) {
        if (w == top) return false;
        if (!CAppUI::IsWindowAlive(w)) break;
    }
    return true;
}

void CWindowUI::InputMouseMove(UIPoint pt, uintptr_t keyState) {
    if (!IsCreated()) return;
    UIDispatchScope scope;
    {
        CUILockGuard lock(UILock());
        m->lastMouse = pt;
    }
    bool handled = false;
    HandleMessage(UIMSG_MOUSEMOVE, keyState, UIMakePointParam(pt.x, pt.y), handled);
    if (handled || !IsCreated()) return;
    UpdateLayout();
    SetHot(FindControl(pt), pt);
    CControlUI* target = GetPushed();
    if (!target) target = GetHot();
    if (target) {
        TEventUI e = MakeEvent(UIEventType::MouseMove, target, pt, keyState);
        DispatchEvent(target, e);
    }
}

void CWindowUI::InputMouseDown(UIPoint pt, bool right, uintptr_t keyState) {
    if (!IsCreated() || IsInputBlocked()) return;
    UIDispatchScope scope;
    {
        CUILockGuard lock(UILock());
        m->lastMouse = pt;
    }
    keyState |= right ? UIMK_RBUTTON : UIMK_LBUTTON;
    bool handled = false;
    HandleMessage(right ? UIMSG_RBUTTONDOWN : UIMSG_LBUTTONDOWN, keyState, UIMakePointParam(pt.x, pt.y),
                  handled);
    if (handled || !IsCreated()) return;
    UpdateLayout();
    CControlUI* c = FindControl(pt);
    if (!c || !c->IsEnabled()) {
        SetFocus(nullptr);
        return;
    }
    SetFocus(c);
    if (right) {
        TEventUI e = MakeEvent(UIEventType::RButtonDown, c, pt, keyState);
        DispatchEvent(c, e);
        return;
    }
    {
        CUILockGuard lock(UILock());
        m->pushed = c;
    }
    TEventUI e = MakeEvent(UIEventType::ButtonDown, c, pt, keyState);
    DispatchEvent(c, e);
}

void CWindowUI::InputMouseUp(UIPoint pt, bool right, uintptr_t keyState) {
    if (!IsCreated()) return;
    UIDispatchScope scope;
    {
        CUILockGuard lock(UILock());
        m->lastMouse = pt;
    }
    bool handled = false;
    HandleMessage(right ? UIMSG_RBUTTONUP : UIMSG_LBUTTONUP, keyState, UIMakePointParam(pt.x, pt.y), handled);
    if (handled || right) return;
    CControlUI* c;
    {
        CUILockGuard lock(UILock());
        c = m->pushed;
        m->pushed = nullptr;
    }
    if (c) {
        TEventUI e = MakeEvent(UIEventType::ButtonUp, c, pt, keyState);
        DispatchEvent(c, e);
    }
}

void CWindowUI::InputDoubleClick(UIPoint pt) {
    if (!IsCreated() || IsInputBlocked()) return;
    UIDispatchScope scope;
    bool handled = false;
    HandleMessage(UIMSG_LBUTTONDBLCLK, UIMK_LBUTTON, UIMakePointParam(pt.x, pt.y), handled);
    if (handled) return;
    UpdateLayout();
    CControlUI* c = FindControl(pt);
    if (!c || !c->IsEnabled()) return;
    {
        CUILockGuard lock(UILock());
        m->pushed = c;
    }
    TEventUI e = MakeEvent(UIEventType::DoubleClick, c, pt, UIMK_LBUTTON);
    DispatchEvent(c, e);
}

void CWindowUI::InputMouseWheel(UIPoint pt, int delta) {
    if (!IsCreated() || IsInputBlocked()) return;
    UIDispatchScope scope;
    bool handled = false;
    HandleMessage(UIMSG_MOUSEWHEEL, static_cast<uintptr_t>(static_cast<uint32_t>(delta) << 16),
                  UIMakePointParam(pt.x, pt.y), handled);
    if (handled) return;
    UpdateLayout();
    CControlUI* c = FindControl(pt);
    if (!c) return;
    TEventUI e = MakeEvent(UIEventType::ScrollWheel, c, pt);
    e.wParam = static_cast<uintptr_t>(static_cast<intptr_t>(delta > 0 ? 1 : -1));
    DispatchEvent(c, e);
}

void CWindowUI::InputMouseLeave() {
    if (!IsCreated()) return;
    UIDispatchScope scope;
    bool handled = false;
    HandleMessage(UIMSG_MOUSELEAVE, 0, 0, handled);
    if (!handled) SetHot(nullptr, {});
}

void CWindowUI::InputKeyDown(uint32_t key) {
    if (!IsCreated() || IsInputBlocked()) return;
    UIDispatchScope scope;
    bool handled = false;
    HandleMessage(UIMSG_KEYDOWN, key, 0, handled);
    if (handled) return;
    CControlUI* c = GetFocus();
    if (!c) return;
    TEventUI e = MakeEvent(UIEventType::KeyDown, c, {});
    e.chKey = key;
    DispatchEvent(c, e);
}

void CWindowUI::InputChar(wchar_t ch) {
    if (!IsCreated() || IsInputBlocked()) return;
    UIDispatchScope scope;
    bool handled = false;
    HandleMessage(UIMSG_CHAR, static_cast<uintptr_t>(ch), 0, handled);
    if (handled) return;
    CControlUI* c = GetFocus();
    if (!c) return;
    TEventUI e = MakeEvent(UIEventType::Char, c, {});
    e.chKey = static_cast<uint32_t>(ch);
    DispatchEvent(c, e);
}

void CWindowUI::InputFocus(bool focused) {
    if (!IsCreated()) return;
    DispatchMessage(focused ? UIMSG_SETFOCUS : UIMSG_KILLFOCUS, 0, 0);
}

void CWindowUI::InputDropFiles(const std::vector<std::wstring>& paths, UIPoint pt) {
    if (!IsCreated() || IsInputBlocked()) return;
    DispatchMessage(UIMSG_DROPFILES, reinterpret_cast<uintptr_t>(&paths), UIMakePointParam(pt.x, pt.y));
}

void CWindowUI::InputResize(int cx, int cy) {
    {
        CUILockGuard lock(UILock());
        if (!m->created || m->destroyed) return;
        m->client = {std::max(0, cx), std::max(0, cy)};
        m->needLayout = true;
    }
    UpdateLayout();
    Invalidate();
    DispatchMessage(UIMSG_SIZE, 0, static_cast<intptr_t>((static_cast<uint32_t>(cy) << 16) | (cx & 0xFFFF)));
}

void CWindowUI::InputMoved(UIPoint screenTopLeft) {
    CUILockGuard lock(UILock());
    m->screenPos = screenTopLeft;
}

void CWindowUI::InputDpiChanged(int dpi, const UIRect& suggested) {
    if (!IsCreated()) return;
    DispatchMessage(UIMSG_DPICHANGED, static_cast<uintptr_t>(dpi), reinterpret_cast<intptr_t>(&suggested));
}

void CWindowUI::InputCloseRequest() {
    if (!IsCreated()) return;
    DispatchMessage(UIMSG_CLOSE, 0, 0);
}

void CWindowUI::SetNativeHandle(uintptr_t handle) {
    CUILockGuard lock(UILock());
    m->native = handle;
}
uintptr_t CWindowUI::GetNativeHandle() const {
    CUILockGuard lock(UILock());
    return m->native;
}
