#include "uikit/UIControl.h"

#include <typeinfo>
#include <unordered_set>

#include "uikit/UIBackend.h"
#include "uikit/UIControls.h"
#include "uikit/UIInternal.h"
#include "uikit/UISkin.h"
#include "uikit/UIWindow.h"

namespace {

std::unordered_set<const CControlUI*>& AliveControls() {
    static std::unordered_set<const CControlUI*> alive;
    return alive;
}

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::wstring FormatRect(const UIRect& rc) {
    return std::to_wstring(rc.left) + L"," + std::to_wstring(rc.top) + L"," + std::to_wstring(rc.right) +
           L"," + std::to_wstring(rc.bottom);
}

}  // namespace

CControlUI::CControlUI() {
    CUILockGuard lock(UILock());
    AliveControls().insert(this);
}

CControlUI::~CControlUI() {
    CUILockGuard lock(UILock());
    AliveControls().erase(this);
    if (m_pWindow && CAppUI::IsWindowAlive(m_pWindow)) {
        m_pWindow->ControlRemoved(this);
        CAppUI::KillTimers(m_pWindow, this);
    }
}

bool CControlUI::IsAlive(const CControlUI* control) {
    CUILockGuard lock(UILock());
    return AliveControls().count(control) != 0;
}

std::wstring CControlUI::GetClass() const {
    return L"ControlUI";
}

UI_PROP_GET(std::wstring, CControlUI::GetName, m_sName)
void CControlUI::SetName(const std::wstring& name) {
    CUILockGuard lock(UILock());
    m_sName = name;
}
std::wstring CControlUI::GetText() const {
    CUILockGuard lock(UILock());
    return m_sText;
}
UI_PROP_SET_PAINT(const std::wstring&, CControlUI::SetText, m_sText)
UI_PROP_GET(std::wstring, CControlUI::GetToolTip, m_sToolTip)
void CControlUI::SetToolTip(const std::wstring& text) {
    CUILockGuard lock(UILock());
    m_sToolTip = text;
}
UI_PROP_GET(std::wstring, CControlUI::GetUserData, m_sUserData)
UI_PROP_SET(const std::wstring&, CControlUI::SetUserData, m_sUserData)
UI_PROP_GET(uint64_t, CControlUI::GetTag, m_tag)
UI_PROP_SET(uint64_t, CControlUI::SetTag, m_tag)

bool CControlUI::IsVisible() const {
    CUILockGuard lock(UILock());
    return m_bVisible && m_bInternVisible;
}
UI_PROP_GET(bool, CControlUI::IsOwnVisible, m_bVisible)
void CControlUI::SetVisible(bool visible) {
    {
        CUILockGuard lock(UILock());
        if (m_bVisible == visible) return;
        m_bVisible = visible;
    }
    if (CWindowUI* w = visible ? nullptr : GetWindow()) w->ControlRemoved(this);  // drops hot/pushed/focus
    NeedParentUpdate();
}
void CControlUI::SetInternVisible(bool visible) {
    {
        CUILockGuard lock(UILock());
        if (m_bInternVisible == visible) return;
        m_bInternVisible = visible;
    }
    if (CWindowUI* w = visible ? nullptr : GetWindow()) w->ControlRemoved(this);
    NeedParentUpdate();
}
UI_PROP_GET(bool, CControlUI::IsEnabled, m_bEnabled)
void CControlUI::SetEnabled(bool enabled) {
    {
        CUILockGuard lock(UILock());
        if (m_bEnabled == enabled) return;
        m_bEnabled = enabled;
        if (!enabled) m_state &= ~(UISTATE_HOT | UISTATE_PUSHED | UISTATE_CAPTURED);
    }
    Invalidate();
}
bool CControlUI::IsFocused() const {
    CUILockGuard lock(UILock());
    return (m_state & UISTATE_FOCUSED) != 0;
}
void CControlUI::SetFocus() {
    CWindowUI* w = GetWindow();
    if (w) w->SetFocus(this);
}
UI_PROP_GET(bool, CControlUI::IsMouseEnabled, m_bMouseEnabled)
UI_PROP_SET(bool, CControlUI::SetMouseEnabled, m_bMouseEnabled)
UI_PROP_GET(bool, CControlUI::IsKeyboardEnabled, m_bKeyboardEnabled)
UI_PROP_SET(bool, CControlUI::SetKeyboardEnabled, m_bKeyboardEnabled)
uint32_t CControlUI::GetState() const {
    CUILockGuard lock(UILock());
    return m_state | (m_bEnabled ? 0u : static_cast<uint32_t>(UISTATE_DISABLED));
}
void CControlUI::SetStateFlag(uint32_t flag, bool on) {
    {
        CUILockGuard lock(UILock());
        uint32_t old = m_state;
        if (on)
            m_state |= flag;
        else
            m_state &= ~flag;
        if (old == m_state) return;
    }
    Invalidate();
}

UIRect CControlUI::GetPos() const {
    CUILockGuard lock(UILock());
    ResolvePlacement();
    return m_rcItem;
}
void CControlUI::SetPos(const UIRect& rc, bool needInvalidate) {
    {
        CUILockGuard lock(UILock());
        m_rcItem = rc.Clamped();
        if (m_pParent) m_pParent->m_bChildMoved = true;
    }
    if (needInvalidate) Invalidate();
}
void CControlUI::PlaceDeferred(const UIRect& rc) {
    CUILockGuard lock(UILock());
    m_rcItem = rc.Clamped();
    m_bLayoutDeferred = true;
}
void CControlUI::FlushDeferredLayout() {
    CUILockGuard lock(UILock());
    m_bLayoutDeferred = false;
}
void CControlUI::ResolvePlacement() const {
    CUILockGuard lock(UILock());
    // The outermost deferred ancestor first: its layout places everything below it, except rows
    // of a nested list that lie outside that list's view, which the next round handles.
    for (int round = 0; round < 64; ++round) {
        CControlUI* outermost = nullptr;
        for (CControlUI* p = m_pParent; p; p = p->m_pParent)
            if (p->m_bLayoutDeferred) outermost = p;
        if (!outermost) return;
        outermost->FlushDeferredLayout();
    }
}
bool CControlUI::IsLayoutDeferrable() const {
    CUILockGuard lock(UILock());
    if (m_deferrable < 0) m_deferrable = ComputeLayoutDeferrable() ? 1 : 0;
    return m_deferrable == 1;
}
bool CControlUI::ComputeLayoutDeferrable() const {
    // The library's controls without children: placing them only sets the rectangle. A class
    // of the program may follow its placement (a native child window, an animation's resting
    // place), so it is always placed at once.
    const std::type_info& type = typeid(*this);
    return type == typeid(CControlUI) || type == typeid(CLabelUI) || type == typeid(CTextUI) ||
           type == typeid(CButtonUI) || type == typeid(COptionUI) || type == typeid(CProgressUI) ||
           type == typeid(CSliderUI) || type == typeid(CEditUI) || type == typeid(CComboUI);
}
void CControlUI::ForgetLayoutDeferrable() {
    CUILockGuard lock(UILock());
    for (CControlUI* p = this; p; p = p->m_pParent) p->m_deferrable = -1;
}
UI_PROP_GET(bool, CControlUI::IsFloat, m_bFloat)
UI_PROP_SET_LAYOUT(bool, CControlUI::SetFloat, m_bFloat)
UI_PROP_GET(UIRect, CControlUI::GetFloatPos, m_rcFloat)
void CControlUI::SetFloatPos(const UIRect& rc) {
    {
        CUILockGuard lock(UILock());
        m_rcFloat = rc;
        if (rc.right - rc.left > 0) m_cxFixed = rc.right - rc.left;
        if (rc.bottom - rc.top > 0) m_cyFixed = rc.bottom - rc.top;
    }
    NeedParentUpdate();
}
UI_PROP_GET(int, CControlUI::GetFixedWidth, m_cxFixed)
UI_PROP_SET_LAYOUT(int, CControlUI::SetFixedWidth, m_cxFixed)
UI_PROP_GET(int, CControlUI::GetFixedHeight, m_cyFixed)
UI_PROP_SET_LAYOUT(int, CControlUI::SetFixedHeight, m_cyFixed)
UI_PROP_GET(int, CControlUI::GetMinWidth, m_cxMin)
UI_PROP_SET_LAYOUT(int, CControlUI::SetMinWidth, m_cxMin)
UI_PROP_GET(int, CControlUI::GetMaxWidth, m_cxMax)
UI_PROP_SET_LAYOUT(int, CControlUI::SetMaxWidth, m_cxMax)
UI_PROP_GET(int, CControlUI::GetMinHeight, m_cyMin)
UI_PROP_SET_LAYOUT(int, CControlUI::SetMinHeight, m_cyMin)
UI_PROP_GET(int, CControlUI::GetMaxHeight, m_cyMax)
UI_PROP_SET_LAYOUT(int, CControlUI::SetMaxHeight, m_cyMax)
UI_PROP_GET(UIRect, CControlUI::GetPadding, m_rcPadding)
void CControlUI::SetPadding(const UIRect& rc) {
    {
        CUILockGuard lock(UILock());
        m_rcPadding = rc;
    }
    NeedParentUpdate();
}
UISize CControlUI::EstimateSize(UISize) {
    CUILockGuard lock(UILock());
    return {Scale(m_cxFixed), Scale(m_cyFixed)};
}

UI_PROP_GET(uint32_t, CControlUI::GetBkColor, m_bkColor)
UI_PROP_SET_PAINT(uint32_t, CControlUI::SetBkColor, m_bkColor)
UI_PROP_GET(uint32_t, CControlUI::GetBorderColor, m_borderColor)
UI_PROP_SET_PAINT(uint32_t, CControlUI::SetBorderColor, m_borderColor)
UI_PROP_GET(int, CControlUI::GetBorderSize, m_borderSize)
UI_PROP_SET_PAINT(int, CControlUI::SetBorderSize, m_borderSize)
UI_PROP_GET(UISize, CControlUI::GetBorderRound, m_borderRound)
UI_PROP_SET_PAINT(UISize, CControlUI::SetBorderRound, m_borderRound)
UI_PROP_GET(uint32_t, CControlUI::GetTextColor, m_textColor)
UI_PROP_SET_PAINT(uint32_t, CControlUI::SetTextColor, m_textColor)
UI_PROP_GET(uint32_t, CControlUI::GetDisabledTextColor, m_disabledTextColor)
UI_PROP_SET_PAINT(uint32_t, CControlUI::SetDisabledTextColor, m_disabledTextColor)
UI_PROP_GET(std::wstring, CControlUI::GetBkImage, m_bkImage)
UI_PROP_SET_PAINT(const std::wstring&, CControlUI::SetBkImage, m_bkImage)
UI_PROP_GET(std::wstring, CControlUI::GetForeImage, m_foreImage)
UI_PROP_SET_PAINT(const std::wstring&, CControlUI::SetForeImage, m_foreImage)
UI_PROP_GET(int, CControlUI::GetFont, m_font)
UI_PROP_SET_PAINT(int, CControlUI::SetFont, m_font)
TFontUI CControlUI::GetFontInfo() const {
    CUILockGuard lock(UILock());
    if (m_pWindow) return m_pWindow->GetFont(m_font);
    return TFontUI{};
}
UI_PROP_GET(uint32_t, CControlUI::GetTextStyle, m_textStyle)
UI_PROP_SET_PAINT(uint32_t, CControlUI::SetTextStyle, m_textStyle)
UI_PROP_GET(UIRect, CControlUI::GetTextPadding, m_rcTextPadding)
void CControlUI::SetTextPadding(const UIRect& rc) {
    {
        CUILockGuard lock(UILock());
        if (m_rcTextPadding == rc) return;
        m_rcTextPadding = rc;
    }
    Invalidate();
}

void CControlUI::SetAttribute(const std::wstring& nameIn, const std::wstring& value) {
    const std::wstring name = Lower(nameIn);
    uint32_t color = 0;
    UIRect rc;
    UISize sz;
    if (name == L"name") {
        SetName(value);
    } else if (name == L"text") {
        SetText(value);
    } else if (name == L"tooltip") {
        SetToolTip(value);
    } else if (name == L"userdata") {
        SetUserData(value);
    } else if (name == L"tag") {
        SetTag(static_cast<uint64_t>(std::wcstoull(value.c_str(), nullptr, 10)));
    } else if (name == L"visible") {
        SetVisible(UIParseBool(value));
    } else if (name == L"enabled") {
        SetEnabled(UIParseBool(value));
    } else if (name == L"mouse") {
        SetMouseEnabled(UIParseBool(value));
    } else if (name == L"keyboard") {
        SetKeyboardEnabled(UIParseBool(value));
    } else if (name == L"float") {
        SetFloat(UIParseBool(value));
    } else if (name == L"pos") {
        if (UIParseRect(value, &rc)) SetFloatPos(rc);
    } else if (name == L"width") {
        SetFixedWidth(UIParseInt(value));
    } else if (name == L"height") {
        SetFixedHeight(UIParseInt(value));
    } else if (name == L"minwidth") {
        SetMinWidth(UIParseInt(value));
    } else if (name == L"maxwidth") {
        SetMaxWidth(UIParseInt(value));
    } else if (name == L"minheight") {
        SetMinHeight(UIParseInt(value));
    } else if (name == L"maxheight") {
        SetMaxHeight(UIParseInt(value));
    } else if (name == L"padding") {
        if (UIParseRect(value, &rc)) SetPadding(rc);
    } else if (name == L"bkcolor") {
        if (UIParseColor(value, &color)) SetBkColor(color);
    } else if (name == L"bordercolor") {
        if (UIParseColor(value, &color)) SetBorderColor(color);
    } else if (name == L"bordersize") {
        SetBorderSize(UIParseInt(value));
    } else if (name == L"borderround") {
        if (UIParseSize(value, &sz)) SetBorderRound(sz);
    } else if (name == L"textcolor") {
        if (UIParseColor(value, &color)) SetTextColor(color);
    } else if (name == L"disabledtextcolor") {
        if (UIParseColor(value, &color)) SetDisabledTextColor(color);
    } else if (name == L"bkimage") {
        SetBkImage(value);
    } else if (name == L"foreimage") {
        SetForeImage(value);
    } else if (name == L"font") {
        SetFont(UIParseInt(value, -1));
    } else if (name == L"textpadding") {
        if (UIParseRect(value, &rc)) SetTextPadding(rc);
    } else if (name == L"align") {
        uint32_t style = GetTextStyle() & ~(UIDT_CENTER | UIDT_RIGHT);
        std::wstring v = Lower(value);
        if (v == L"center") style |= UIDT_CENTER;
        if (v == L"right") style |= UIDT_RIGHT;
        SetTextStyle(style);
    } else if (name == L"valign") {
        uint32_t style = GetTextStyle() & ~(UIDT_VCENTER | UIDT_BOTTOM | UIDT_TOP);
        std::wstring v = Lower(value);
        if (v == L"top")
            style |= UIDT_TOP;
        else if (v == L"bottom")
            style |= UIDT_BOTTOM;
        else
            style |= UIDT_VCENTER;
        SetTextStyle(style);
    } else {
        CUILockGuard lock(UILock());
        m_extraAttributes[name] = value;
    }
}

std::wstring CControlUI::GetAttribute(const std::wstring& nameIn) const {
    const std::wstring name = Lower(nameIn);
    CUILockGuard lock(UILock());
    if (name == L"name") return m_sName;
    if (name == L"text") return GetText();
    if (name == L"tooltip") return m_sToolTip;
    if (name == L"userdata") return m_sUserData;
    if (name == L"tag") return std::to_wstring(m_tag);
    if (name == L"visible") return m_bVisible ? L"true" : L"false";
    if (name == L"enabled") return m_bEnabled ? L"true" : L"false";
    if (name == L"float") return m_bFloat ? L"true" : L"false";
    if (name == L"pos") return FormatRect(m_rcFloat);
    if (name == L"width") return std::to_wstring(m_cxFixed);
    if (name == L"height") return std::to_wstring(m_cyFixed);
    if (name == L"padding") return FormatRect(m_rcPadding);
    if (name == L"textpadding") return FormatRect(m_rcTextPadding);
    if (name == L"bkcolor") return UIFormatColor(m_bkColor);
    if (name == L"textcolor") return UIFormatColor(m_textColor);
    if (name == L"bkimage") return m_bkImage;
    if (name == L"foreimage") return m_foreImage;
    auto it = m_extraAttributes.find(name);
    return it == m_extraAttributes.end() ? std::wstring() : it->second;
}

void CControlUI::ApplyAttributeList(const std::wstring& list) {
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && std::iswspace(list[i])) ++i;
        size_t eq = list.find(L'=', i);
        if (eq == std::wstring::npos) break;
        std::wstring name = list.substr(i, eq - i);
        while (!name.empty() && std::iswspace(name.back())) name.pop_back();
        i = eq + 1;
        while (i < list.size() && std::iswspace(list[i])) ++i;
        if (i >= list.size()) break;
        wchar_t quote = list[i];
        if (quote != L'"' && quote != L'\'') break;
        size_t end = list.find(quote, i + 1);
        if (end == std::wstring::npos) break;
        SetAttribute(name, list.substr(i + 1, end - i - 1));
        i = end + 1;
    }
}

CControlUI* CControlUI::GetParent() const {
    CUILockGuard lock(UILock());
    return m_pParent;
}
CWindowUI* CControlUI::GetWindow() const {
    CUILockGuard lock(UILock());
    return m_pWindow;
}
void CControlUI::SetWindow(CWindowUI* window, CControlUI* parent, bool init) {
    bool runInit = false;
    {
        CUILockGuard lock(UILock());
        m_pWindow = window;
        m_pParent = parent;
        if (init && window && !m_bInited) {
            m_bInited = true;
            runInit = true;
        }
    }
    if (runInit) DoInit();
}
CControlUI* CControlUI::FindControlByName(const std::wstring& name) {
    CUILockGuard lock(UILock());
    return m_sName == name ? this : nullptr;
}
CControlUI* CControlUI::FindControlAt(UIPoint pt) {
    CUILockGuard lock(UILock());
    if (!m_bVisible || !m_bInternVisible || !m_bMouseEnabled) return nullptr;
    return m_rcItem.Contains(pt) ? this : nullptr;
}
void CControlUI::CollectControls(std::vector<CControlUI*>* out) {
    out->push_back(this);
}

void CControlUI::DoEvent(TEventUI& event) {
    switch (event.Type) {
        case UIEventType::SetFocus:
            SetStateFlag(UISTATE_FOCUSED, true);
            return;
        case UIEventType::KillFocus:
            SetStateFlag(UISTATE_FOCUSED, false);
            return;
        case UIEventType::MouseEnter:
        case UIEventType::MouseLeave:
        case UIEventType::Timer:
        case UIEventType::MouseMove:
            return;
        default:
            break;
    }
    // Mouse buttons, wheel and keys that this control does not use go to its parent.
    CControlUI* parent = GetParent();
    if (parent) parent->DoEvent(event);
}

bool CControlUI::Activate() {
    CUILockGuard lock(UILock());
    return m_bVisible && m_bInternVisible && m_bEnabled;
}

void CControlUI::DoPaint(IRenderUI& render, const UIRect& paintRect) {
    UIRect rc = GetPos();
    if (rc.Intersect(paintRect).IsEmpty()) return;
    PaintBkColor(render);
    PaintBkImage(render);
    PaintStatusImage(render);
    PaintText(render);
    PaintBorder(render);
}

void CControlUI::PaintBkColor(IRenderUI& render) {
    CUILockGuard lock(UILock());
    if (m_bkColor == 0) return;
    if (m_borderRound.cx > 0 || m_borderRound.cy > 0)
        render.FillRoundRect(m_rcItem, Scale(m_borderRound.cx), Scale(m_borderRound.cy), m_bkColor);
    else
        render.FillRect(m_rcItem, m_bkColor);
}
void CControlUI::PaintBkImage(IRenderUI& render) {
    std::wstring img = GetBkImage();
    if (!img.empty()) DrawImage(render, img);
}
void CControlUI::PaintStatusImage(IRenderUI& render) {
    std::wstring img = GetForeImage();
    if (!img.empty()) DrawImage(render, img);
}
void CControlUI::PaintText(IRenderUI&) {}
void CControlUI::PaintBorder(IRenderUI& render) {
    CUILockGuard lock(UILock());
    if (m_borderSize <= 0 || m_borderColor == 0) return;
    if (m_borderRound.cx > 0 || m_borderRound.cy > 0)
        render.DrawRoundRect(m_rcItem, Scale(m_borderSize), Scale(m_borderRound.cx), Scale(m_borderRound.cy),
                             m_borderColor);
    else
        render.DrawRect(m_rcItem, Scale(m_borderSize), m_borderColor);
}

bool CControlUI::DrawImage(IRenderUI& render, const std::wstring& attr) {
    TImageAttrUI a = TImageAttrUI::Parse(attr);
    if (a.IsEmpty()) return false;
    auto image = CSkinUI::GetImage(a.file);
    if (!image) return false;
    UIRect rc = GetPos();
    UIRect dest = rc;
    if (!a.dest.IsEmpty()) {
        dest = UIRect{rc.left + Scale(a.dest.left), rc.top + Scale(a.dest.top), rc.left + Scale(a.dest.right),
                      rc.top + Scale(a.dest.bottom)};
        dest = dest.Intersect(rc);
    }
    UIRect source = a.source;
    if (source.IsEmpty()) source = UIRect{0, 0, image->width, image->height};
    return render.DrawImage(image, dest, source, a.corner, a.fade, a.hole, a.xtiled, a.ytiled, 0);
}

void CControlUI::SendNotify(const std::wstring& type, uintptr_t wParam, intptr_t lParam, bool async) {
    CWindowUI* w = GetWindow();
    if (w) w->SendNotifyFrom(this, type, wParam, lParam, async);
}
void CControlUI::OnNotify(std::function<bool(TNotifyUI&)> handler) {
    CUILockGuard lock(UILock());
    m_notifyHandlers.push_back(std::move(handler));
}
void CControlUI::OnEvent(std::function<bool(TEventUI&)> handler) {
    CUILockGuard lock(UILock());
    m_eventHandlers.push_back(std::move(handler));
}
bool CControlUI::RunNotifyHandlers(TNotifyUI& msg) {
    std::vector<std::function<bool(TNotifyUI&)>> handlers;
    {
        CUILockGuard lock(UILock());
        handlers = m_notifyHandlers;
    }
    for (auto& h : handlers)
        if (h(msg)) return true;
    return false;
}
bool CControlUI::RunEventHandlers(TEventUI& event) {
    std::vector<std::function<bool(TEventUI&)>> handlers;
    {
        CUILockGuard lock(UILock());
        handlers = m_eventHandlers;
    }
    for (auto& h : handlers)
        if (!h(event)) return false;
    return true;
}

bool CControlUI::SetTimer(uint32_t id, uint32_t elapseMs) {
    CWindowUI* w = GetWindow();
    if (!w) return false;
    CAppUI::SetTimer(w, this, id, elapseMs);
    return true;
}
void CControlUI::KillTimer(uint32_t id) {
    CWindowUI* w = GetWindow();
    if (w) CAppUI::KillTimer(w, this, id);
}

void CControlUI::Invalidate() {
    CWindowUI* w = GetWindow();
    if (w) w->Invalidate();
}
void CControlUI::NeedUpdate() {
    CWindowUI* w = GetWindow();
    if (w) w->NeedUpdate();
}
void CControlUI::NeedParentUpdate() {
    NeedUpdate();
}

int CControlUI::Scale(int value) const {
    CUILockGuard lock(UILock());
    return m_pWindow ? m_pWindow->GetDPI().Scale(value) : value;
}

// ---- Image attributes --------------------------------------------------------------------------
TImageAttrUI TImageAttrUI::Parse(const std::wstring& text) {
    TImageAttrUI a;
    if (text.find(L'=') == std::wstring::npos) {
        a.file = text;
        return a;
    }
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::iswspace(text[i])) ++i;
        size_t eq = text.find(L'=', i);
        if (eq == std::wstring::npos) break;
        std::wstring name = Lower(text.substr(i, eq - i));
        while (!name.empty() && std::iswspace(name.back())) name.pop_back();
        i = eq + 1;
        if (i >= text.size()) break;
        std::wstring value;
        if (text[i] == L'\'' || text[i] == L'"') {
            size_t end = text.find(text[i], i + 1);
            if (end == std::wstring::npos) end = text.size();
            value = text.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            size_t end = i;
            while (end < text.size() && !std::iswspace(text[end])) ++end;
            value = text.substr(i, end - i);
            i = end;
        }
        if (name == L"file" || name == L"res")
            a.file = value;
        else if (name == L"dest")
            UIParseRect(value, &a.dest);
        else if (name == L"source")
            UIParseRect(value, &a.source);
        else if (name == L"corner")
            UIParseRect(value, &a.corner);
        else if (name == L"fade")
            a.fade = static_cast<uint8_t>(std::clamp(UIParseInt(value, 255), 0, 255));
        else if (name == L"hole")
            a.hole = UIParseBool(value);
        else if (name == L"xtiled")
            a.xtiled = UIParseBool(value);
        else if (name == L"ytiled")
            a.ytiled = UIParseBool(value);
    }
    return a;
}
