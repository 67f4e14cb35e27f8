#include "uikit/UIControls.h"

#include <algorithm>
#include <cwctype>

#include "uikit/UIBackend.h"
#include "uikit/UIInternal.h"
#include "uikit/UISkin.h"
#include "uikit/UIWindow.h"

namespace {
std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}
}  // namespace

// ---- Label -------------------------------------------------------------------------------------
CLabelUI::CLabelUI() = default;
std::wstring CLabelUI::GetClass() const {
    return L"LabelUI";
}
bool CLabelUI::IsMultiLine() const {
    CUILockGuard lock(UILock());
    return (m_textStyle & UIDT_WORDBREAK) != 0;
}
void CLabelUI::SetMultiLine(bool multi) {
    uint32_t style = GetTextStyle();
    if (multi)
        style = (style & ~UIDT_SINGLELINE) | UIDT_WORDBREAK;
    else
        style = (style & ~UIDT_WORDBREAK) | UIDT_SINGLELINE;
    SetTextStyle(style);
}
bool CLabelUI::IsEndEllipsis() const {
    CUILockGuard lock(UILock());
    return (m_textStyle & UIDT_END_ELLIPSIS) != 0;
}
void CLabelUI::SetEndEllipsis(bool ellipsis) {
    uint32_t style = GetTextStyle();
    SetTextStyle(ellipsis ? (style | UIDT_END_ELLIPSIS) : (style & ~UIDT_END_ELLIPSIS));
}
void CLabelUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    std::wstring n = Lower(name);
    if (n == L"endellipsis")
        SetEndEllipsis(UIParseBool(value));
    else if (n == L"multiline" || n == L"wordbreak")
        SetMultiLine(UIParseBool(value));
    else
        CControlUI::SetAttribute(name, value);
}

namespace {
// Draws a control's text inside its text padding in the given colour.
void PaintControlText(CControlUI* c, IRenderUI& render, const std::wstring& text, uint32_t color) {
    if (text.empty()) return;
    CWindowUI* w = c->GetWindow();
    UIRect rc = c->GetPos();
    UIRect pad = c->GetTextPadding();
    rc.left += c->Scale(pad.left);
    rc.top += c->Scale(pad.top);
    rc.right -= c->Scale(pad.right);
    rc.bottom -= c->Scale(pad.bottom);
    if (color == 0 && w) color = w->GetDefaultTextColor();
    if (color == 0) color = 0xFF000000;
    render.DrawText(text, rc, c->GetFontInfo(), color, c->GetTextStyle(), w ? w->GetDPI().GetScale() : 100);
}
}  // namespace

void CLabelUI::PaintText(IRenderUI& render) {
    uint32_t color = GetTextColor();
    if (!IsEnabled() && GetDisabledTextColor() != 0) color = GetDisabledTextColor();
    PaintControlText(this, render, GetText(), color);
}

// ---- Text --------------------------------------------------------------------------------------
CTextUI::CTextUI() {
    m_textStyle = UIDT_LEFT | UIDT_TOP | UIDT_WORDBREAK;
}
std::wstring CTextUI::GetClass() const {
    return L"TextUI";
}

// ---- Button ------------------------------------------------------------------------------------
std::wstring CButtonUI::GetClass() const {
    return L"ButtonUI";
}

UI_PROP_PAINT(const std::wstring&, CButtonUI::GetNormalImage, CButtonUI::SetNormalImage, m_normalImage)
UI_PROP_PAINT(const std::wstring&, CButtonUI::GetHotImage, CButtonUI::SetHotImage, m_hotImage)
UI_PROP_PAINT(const std::wstring&, CButtonUI::GetPushedImage, CButtonUI::SetPushedImage, m_pushedImage)
UI_PROP_PAINT(const std::wstring&, CButtonUI::GetFocusedImage, CButtonUI::SetFocusedImage, m_focusedImage)
UI_PROP_PAINT(const std::wstring&, CButtonUI::GetDisabledImage, CButtonUI::SetDisabledImage, m_disabledImage)
UI_PROP_PAINT(uint32_t, CButtonUI::GetHotTextColor, CButtonUI::SetHotTextColor, m_hotTextColor)
UI_PROP_PAINT(uint32_t, CButtonUI::GetPushedTextColor, CButtonUI::SetPushedTextColor, m_pushedTextColor)
UI_PROP_PAINT(uint32_t, CButtonUI::GetHotBkColor, CButtonUI::SetHotBkColor, m_hotBkColor)
UI_PROP_PAINT(uint32_t, CButtonUI::GetPushedBkColor, CButtonUI::SetPushedBkColor, m_pushedBkColor)

bool CButtonUI::Activate() {
    if (!CControlUI::Activate()) return false;
    SendNotify(L"click");
    return true;
}

void CButtonUI::DoEvent(TEventUI& event) {
    switch (event.Type) {
        case UIEventType::ButtonDown:
        case UIEventType::DoubleClick:
            if (IsEnabled() && GetPos().Contains(event.ptMouse))
                SetStateFlag(UISTATE_PUSHED | UISTATE_CAPTURED, true);
            return;
        case UIEventType::MouseMove:
            if (GetState() & UISTATE_CAPTURED) SetStateFlag(UISTATE_PUSHED, GetPos().Contains(event.ptMouse));
            return;
        case UIEventType::ButtonUp:
            if (GetState() & UISTATE_CAPTURED) {
                SetStateFlag(UISTATE_PUSHED | UISTATE_CAPTURED, false);
                if (GetPos().Contains(event.ptMouse)) Activate();
            }
            return;
        case UIEventType::MouseEnter:
            if (IsEnabled()) SetStateFlag(UISTATE_HOT, true);
            return;
        case UIEventType::MouseLeave:
            SetStateFlag(UISTATE_HOT, false);
            return;
        case UIEventType::KeyDown:
            if (event.chKey == UIKEY_RETURN || event.chKey == L' ') {
                Activate();
                return;
            }
            break;
        default:
            break;
    }
    CLabelUI::DoEvent(event);
}

void CButtonUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    std::wstring n = Lower(name);
    uint32_t color = 0;
    if (n == L"normalimage")
        SetNormalImage(value);
    else if (n == L"hotimage")
        SetHotImage(value);
    else if (n == L"pushedimage")
        SetPushedImage(value);
    else if (n == L"focusedimage")
        SetFocusedImage(value);
    else if (n == L"disabledimage")
        SetDisabledImage(value);
    else if (n == L"hottextcolor") {
        if (UIParseColor(value, &color)) SetHotTextColor(color);
    } else if (n == L"pushedtextcolor") {
        if (UIParseColor(value, &color)) SetPushedTextColor(color);
    } else if (n == L"hotbkcolor") {
        if (UIParseColor(value, &color)) SetHotBkColor(color);
    } else if (n == L"pushedbkcolor") {
        if (UIParseColor(value, &color)) SetPushedBkColor(color);
    } else
        CLabelUI::SetAttribute(name, value);
}

void CButtonUI::PaintBkColor(IRenderUI& render) {
    uint32_t state = GetState();
    uint32_t color = 0;
    {
        CUILockGuard lock(UILock());
        if ((state & UISTATE_PUSHED) && m_pushedBkColor)
            color = m_pushedBkColor;
        else if ((state & UISTATE_HOT) && m_hotBkColor)
            color = m_hotBkColor;
    }
    if (color)
        render.FillRect(GetPos(), color);
    else
        CLabelUI::PaintBkColor(render);
}

void CButtonUI::PaintStatusImage(IRenderUI& render) {
    uint32_t state = GetState();
    std::wstring img;
    {
        CUILockGuard lock(UILock());
        if ((state & UISTATE_DISABLED) && !m_disabledImage.empty())
            img = m_disabledImage;
        else if ((state & UISTATE_PUSHED) && !m_pushedImage.empty())
            img = m_pushedImage;
        else if ((state & UISTATE_HOT) && !m_hotImage.empty())
            img = m_hotImage;
        else if ((state & UISTATE_FOCUSED) && !m_focusedImage.empty())
            img = m_focusedImage;
        else
            img = m_normalImage;
    }
    if (!img.empty()) DrawImage(render, img);
    CLabelUI::PaintStatusImage(render);
}

void CButtonUI::PaintText(IRenderUI& render) {
    uint32_t state = GetState();
    uint32_t color;
    {
        CUILockGuard lock(UILock());
        color = m_textColor;
        if (state & UISTATE_DISABLED)
            color = m_disabledTextColor ? m_disabledTextColor : color;
        else if ((state & UISTATE_PUSHED) && m_pushedTextColor)
            color = m_pushedTextColor;
        else if ((state & UISTATE_HOT) && m_hotTextColor)
            color = m_hotTextColor;
    }
    PaintControlText(this, render, GetText(), color);
}

// ---- Option ------------------------------------------------------------------------------------
COptionUI::~COptionUI() = default;
std::wstring COptionUI::GetClass() const {
    return L"OptionUI";
}
std::wstring COptionUI::GetGroup() const {
    CUILockGuard lock(UILock());
    return m_group;
}
void COptionUI::SetGroup(const std::wstring& group) {
    CUILockGuard lock(UILock());
    m_group = group;
}
bool COptionUI::IsSelected() const {
    CUILockGuard lock(UILock());
    return m_bSelected;
}
void COptionUI::Selected(bool selected, bool notify) {
    std::vector<COptionUI*> losers;
    {
        CUILockGuard lock(UILock());
        if (m_bSelected == selected) return;
        m_bSelected = selected;
        if (selected)
            m_state |= UISTATE_SELECTED;
        else
            m_state &= ~UISTATE_SELECTED;
        if (selected && !m_group.empty() && m_pWindow) {
            for (CControlUI* c : m_pWindow->GetOptionGroup(m_group)) {
                auto* o = static_cast<COptionUI*>(c);
                if (o != this && o->m_bSelected) {
                    o->m_bSelected = false;
                    o->m_state &= ~UISTATE_SELECTED;
                    losers.push_back(o);
                }
            }
        }
    }
    Invalidate();
    for (COptionUI* o : losers) o->Invalidate();
    if (!notify) return;
    for (COptionUI* o : losers) {
        o->SendNotify(L"selectchanged");
        o->SendNotify(L"unselected");
    }
    SendNotify(L"selectchanged");
    if (!selected) SendNotify(L"unselected");
}

UI_PROP_PAINT(const std::wstring&, COptionUI::GetSelectedImage, COptionUI::SetSelectedImage, m_selectedImage)
UI_PROP_PAINT(const std::wstring&, COptionUI::GetSelectedHotImage, COptionUI::SetSelectedHotImage,
              m_selectedHotImage)
UI_PROP_PAINT(uint32_t, COptionUI::GetSelectedTextColor, COptionUI::SetSelectedTextColor, m_selectedTextColor)
UI_PROP_PAINT(uint32_t, COptionUI::GetSelectedBkColor, COptionUI::SetSelectedBkColor, m_selectedBkColor)

bool COptionUI::Activate() {
    if (!CControlUI::Activate()) return false;
    if (!GetGroup().empty()) {
        if (!IsSelected()) Selected(true);
    } else {
        Selected(!IsSelected());
    }
    SendNotify(L"click");
    return true;
}

void COptionUI::SetWindow(CWindowUI* window, CControlUI* parent, bool init) {
    CButtonUI::SetWindow(window, parent, init);
}

void COptionUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    std::wstring n = Lower(name);
    uint32_t color = 0;
    if (n == L"group")
        SetGroup(value);
    else if (n == L"selected")
        Selected(UIParseBool(value), false);
    else if (n == L"selectedimage")
        SetSelectedImage(value);
    else if (n == L"selectedhotimage")
        SetSelectedHotImage(value);
    else if (n == L"selectedtextcolor") {
        if (UIParseColor(value, &color)) SetSelectedTextColor(color);
    } else if (n == L"selectedbkcolor") {
        if (UIParseColor(value, &color)) SetSelectedBkColor(color);
    } else
        CButtonUI::SetAttribute(name, value);
}

void COptionUI::PaintBkColor(IRenderUI& render) {
    uint32_t color = 0;
    {
        CUILockGuard lock(UILock());
        if (m_bSelected) color = m_selectedBkColor;
    }
    if (color)
        render.FillRect(GetPos(), color);
    else
        CButtonUI::PaintBkColor(render);
}

void COptionUI::PaintStatusImage(IRenderUI& render) {
    std::wstring img;
    {
        CUILockGuard lock(UILock());
        if (m_bSelected) {
            img = ((m_state & UISTATE_HOT) && !m_selectedHotImage.empty()) ? m_selectedHotImage
                                                                           : m_selectedImage;
        }
    }
    if (img.empty()) {
        CButtonUI::PaintStatusImage(render);
        return;
    }
    DrawImage(render, img);
    std::wstring fore = GetForeImage();
    if (!fore.empty()) DrawImage(render, fore);
}

void COptionUI::PaintText(IRenderUI& render) {
    uint32_t color = 0;
    {
        CUILockGuard lock(UILock());
        if (m_bSelected) color = m_selectedTextColor;
    }
    if (color)
        PaintControlText(this, render, GetText(), color);
    else
        CButtonUI::PaintText(render);
}

// ---- Edit --------------------------------------------------------------------------------------
CEditUI::CEditUI() {
    m_textStyle = UIDT_LEFT | UIDT_VCENTER | UIDT_SINGLELINE;
}
std::wstring CEditUI::GetClass() const {
    return L"EditUI";
}

void CEditUI::SetTextInternal(const std::wstring& text, bool notify) {
    {
        CUILockGuard lock(UILock());
        if (m_sText == text) return;
        m_sText = text;
        m_caret = static_cast<int>(m_sText.size());
        m_bSelAll = false;
    }
    Invalidate();
    if (notify) SendNotify(L"textchanged");
}
void CEditUI::SetText(const std::wstring& text) {
    SetTextInternal(text, true);
}

UI_PROP_PAINT(bool, CEditUI::IsReadOnly, CEditUI::SetReadOnly, m_bReadOnly)
UI_PROP_PAINT(int, CEditUI::GetMaxChar, CEditUI::SetMaxChar, m_maxChar)
UI_PROP_PAINT(bool, CEditUI::IsDigitsOnly, CEditUI::SetDigitsOnly, m_bDigitsOnly)
UI_PROP_PAINT(bool, CEditUI::IsPasswordMode, CEditUI::SetPasswordMode, m_bPassword)
UI_PROP_PAINT(uint32_t, CEditUI::GetTipValueColor, CEditUI::SetTipValueColor, m_tipValueColor)
UI_PROP_PAINT(const std::wstring&, CEditUI::GetTipValue, CEditUI::SetTipValue, m_tipValue)
int CEditUI::GetCaret() const {
    CUILockGuard lock(UILock());
    return m_caret;
}
void CEditUI::SetCaret(int pos) {
    CUILockGuard lock(UILock());
    m_caret = std::clamp(pos, 0, static_cast<int>(m_sText.size()));
    m_bSelAll = false;
}
void CEditUI::SetSelAll() {
    CUILockGuard lock(UILock());
    m_bSelAll = true;
    m_caret = static_cast<int>(m_sText.size());
}
std::wstring CEditUI::GetDisplayText() const {
    CUILockGuard lock(UILock());
    if (m_bPassword) return std::wstring(m_sText.size(), L'*');
    return m_sText;
}

bool CEditUI::InsertChar(wchar_t ch) {
    {
        CUILockGuard lock(UILock());
        if (m_bReadOnly || !m_bEnabled) return false;
        if (m_bDigitsOnly && !(ch >= L'0' && ch <= L'9')) return false;
        std::wstring text = m_bSelAll ? std::wstring() : m_sText;
        int caret = m_bSelAll ? 0 : std::clamp(m_caret, 0, static_cast<int>(text.size()));
        if (m_maxChar > 0 && static_cast<int>(text.size()) >= m_maxChar) return false;
        text.insert(text.begin() + caret, ch);
        m_sText = text;
        m_caret = caret + 1;
        m_bSelAll = false;
    }
    Invalidate();
    return true;
}

void CEditUI::DoEvent(TEventUI& event) {
    switch (event.Type) {
        case UIEventType::SetFocus: {
            {
                CUILockGuard lock(UILock());
                m_caret = static_cast<int>(m_sText.size());
            }
            SetStateFlag(UISTATE_FOCUSED, true);
            SendNotify(L"setfocus");
            if (CAppUI::GetBackend() && GetWindow()) CAppUI::GetBackend()->BeginTextInput(GetWindow(), this);
            return;
        }
        case UIEventType::KillFocus: {
            CUILockGuard lock(UILock());
            m_bSelAll = false;
        }
            SetStateFlag(UISTATE_FOCUSED, false);
            if (CAppUI::GetBackend() && GetWindow()) CAppUI::GetBackend()->EndTextInput(GetWindow(), this);
            SendNotify(L"killfocus");
            return;
        case UIEventType::ButtonDown:
        case UIEventType::DoubleClick:
        case UIEventType::ButtonUp:
        case UIEventType::MouseMove:
            return;
        case UIEventType::MouseEnter:
            SetStateFlag(UISTATE_HOT, true);
            return;
        case UIEventType::MouseLeave:
            SetStateFlag(UISTATE_HOT, false);
            return;
        case UIEventType::Char: {
            wchar_t ch = static_cast<wchar_t>(event.chKey);
            if (ch < 32 || ch == 127) return;
            if (InsertChar(ch)) SendNotify(L"textchanged");
            return;
        }
        case UIEventType::KeyDown: {
            bool changed = false;
            {
                CUILockGuard lock(UILock());
                int len = static_cast<int>(m_sText.size());
                switch (event.chKey) {
                    case UIKEY_BACK:
                        if (m_bReadOnly || !m_bEnabled) break;
                        if (m_bSelAll) {
                            changed = !m_sText.empty();
                            m_sText.clear();
                            m_caret = 0;
                            m_bSelAll = false;
                        } else if (m_caret > 0 && m_caret <= len) {
                            m_sText.erase(static_cast<size_t>(m_caret - 1), 1);
                            --m_caret;
                            changed = true;
                        }
                        break;
                    case UIKEY_DELETE:
                        if (m_bReadOnly || !m_bEnabled) break;
                        if (m_bSelAll) {
                            changed = !m_sText.empty();
                            m_sText.clear();
                            m_caret = 0;
                            m_bSelAll = false;
                        } else if (m_caret < len) {
                            m_sText.erase(static_cast<size_t>(m_caret), 1);
                            changed = true;
                        }
                        break;
                    case UIKEY_LEFT:
                        m_caret = std::max(0, m_caret - 1);
                        m_bSelAll = false;
                        break;
                    case UIKEY_RIGHT:
                        m_caret = std::min(len, m_caret + 1);
                        m_bSelAll = false;
                        break;
                    case UIKEY_HOME:
                        m_caret = 0;
                        m_bSelAll = false;
                        break;
                    case UIKEY_END:
                        m_caret = len;
                        m_bSelAll = false;
                        break;
                    default:
                        break;
                }
            }
            if (changed) {
                Invalidate();
                SendNotify(L"textchanged");
            }
            if (event.chKey == UIKEY_RETURN) SendNotify(L"return");
            return;
        }
        default:
            break;
    }
    CLabelUI::DoEvent(event);
}

void CEditUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    std::wstring n = Lower(name);
    uint32_t color = 0;
    if (n == L"readonly")
        SetReadOnly(UIParseBool(value));
    else if (n == L"maxchar")
        SetMaxChar(UIParseInt(value));
    else if (n == L"numberonly" || n == L"digitsonly")
        SetDigitsOnly(UIParseBool(value));
    else if (n == L"password")
        SetPasswordMode(UIParseBool(value));
    else if (n == L"tipvalue")
        SetTipValue(value);
    else if (n == L"tipvaluecolor") {
        if (UIParseColor(value, &color)) SetTipValueColor(color);
    } else if (n == L"focusbordercolor") {
        if (UIParseColor(value, &color)) {
            CUILockGuard lock(UILock());
            m_focusBorderColor = color;
        }
    } else if (n == L"text") {
        SetTextInternal(value, false);
    } else
        CLabelUI::SetAttribute(name, value);
}

void CEditUI::PaintText(IRenderUI& render) {
    std::wstring text = GetDisplayText();
    if (text.empty() && !IsFocused()) {
        PaintControlText(this, render, GetTipValue(), GetTipValueColor());
        return;
    }
    uint32_t color = IsEnabled() ? GetTextColor() : GetDisabledTextColor();
    PaintControlText(this, render, text, color);
}

void CEditUI::PaintBorder(IRenderUI& render) {
    uint32_t focusColor;
    int size;
    {
        CUILockGuard lock(UILock());
        focusColor = m_focusBorderColor;
        size = m_borderSize;
    }
    if ((GetState() & UISTATE_FOCUSED) && focusColor && size > 0) {
        render.DrawRect(GetPos(), Scale(size), focusColor);
        return;
    }
    CLabelUI::PaintBorder(render);
}

// ---- Rich edit ---------------------------------------------------------------------------------
CRichEditUI::CRichEditUI() {
    m_textStyle = UIDT_LEFT | UIDT_TOP | UIDT_WORDBREAK;
}
std::wstring CRichEditUI::GetClass() const {
    return L"RichEditUI";
}
bool CRichEditUI::IsWantReturn() const {
    CUILockGuard lock(UILock());
    return m_bWantReturn;
}
void CRichEditUI::SetWantReturn(bool want) {
    CUILockGuard lock(UILock());
    m_bWantReturn = want;
}
void CRichEditUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEventType::KeyDown && event.chKey == UIKEY_RETURN && IsWantReturn()) {
        if (InsertChar(L'\n')) SendNotify(L"textchanged");
        return;
    }
    CEditUI::DoEvent(event);
}
void CRichEditUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (Lower(name) == L"wantreturn")
        SetWantReturn(UIParseBool(value));
    else
        CEditUI::SetAttribute(name, value);
}

// ---- Combo -------------------------------------------------------------------------------------
std::wstring CComboUI::GetClass() const {
    return L"ComboUI";
}
int CComboUI::AddItem(const std::wstring& text, const std::wstring& userData, uint64_t tag) {
    {
        CUILockGuard lock(UILock());
        m_comboItems.push_back(Item{text, userData, tag});
    }
    Invalidate();
    return GetItemCount() - 1;
}
bool CComboUI::RemoveItemAt(int index) {
    {
        CUILockGuard lock(UILock());
        if (index < 0 || index >= static_cast<int>(m_comboItems.size())) return false;
        m_comboItems.erase(m_comboItems.begin() + index);
        if (m_curSel == index)
            m_curSel = -1;
        else if (m_curSel > index)
            --m_curSel;
    }
    Invalidate();
    return true;
}
void CComboUI::RemoveAllItems() {
    {
        CUILockGuard lock(UILock());
        m_comboItems.clear();
        m_curSel = -1;
    }
    Invalidate();
}
int CComboUI::GetItemCount() const {
    CUILockGuard lock(UILock());
    return static_cast<int>(m_comboItems.size());
}
std::wstring CComboUI::GetItemText(int index) const {
    CUILockGuard lock(UILock());
    if (index < 0 || index >= static_cast<int>(m_comboItems.size())) return L"";
    return m_comboItems[index].text;
}
std::wstring CComboUI::GetItemUserData(int index) const {
    CUILockGuard lock(UILock());
    if (index < 0 || index >= static_cast<int>(m_comboItems.size())) return L"";
    return m_comboItems[index].userData;
}
std::vector<CComboUI::Item> CComboUI::GetItems() const {
    CUILockGuard lock(UILock());
    return m_comboItems;
}
int CComboUI::GetCurSel() const {
    CUILockGuard lock(UILock());
    return m_curSel;
}
bool CComboUI::SelectItem(int index, bool notify) {
    int old;
    {
        CUILockGuard lock(UILock());
        if (index < -1 || index >= static_cast<int>(m_comboItems.size())) return false;
        if (index == m_curSel) return true;
        old = m_curSel;
        m_curSel = index;
    }
    Invalidate();
    if (notify) SendNotify(L"itemselect", static_cast<uintptr_t>(index), old);
    return true;
}
std::wstring CComboUI::GetText() const {
    CUILockGuard lock(UILock());
    if (m_curSel >= 0 && m_curSel < static_cast<int>(m_comboItems.size())) return m_comboItems[m_curSel].text;
    return m_sText;
}
bool CComboUI::IsDropped() const {
    CUILockGuard lock(UILock());
    return m_bDropped;
}
bool CComboUI::Activate() {
    if (!CControlUI::Activate()) return false;
    {
        CUILockGuard lock(UILock());
        m_bDropped = true;
    }
    IBackendUI* backend = CAppUI::GetBackend();
    if (backend && GetWindow()) backend->ShowComboDropDown(GetWindow(), this);
    SendNotify(L"dropdown");
    return true;
}
void CComboUI::OnDropDownClosed(int pickedIndex) {
    {
        CUILockGuard lock(UILock());
        m_bDropped = false;
    }
    if (pickedIndex >= 0) SelectItem(pickedIndex, true);
}
void CComboUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (Lower(name) == L"cursel" || Lower(name) == L"selectedid")
        SelectItem(UIParseInt(value, -1), false);
    else
        CButtonUI::SetAttribute(name, value);
}

// ---- Progress ----------------------------------------------------------------------------------
std::wstring CProgressUI::GetClass() const {
    return L"ProgressUI";
}
UI_PROP_PAINT(bool, CProgressUI::IsHorizontal, CProgressUI::SetHorizontal, m_bHorizontal)
int CProgressUI::GetMinValue() const {
    CUILockGuard lock(UILock());
    return m_min;
}
void CProgressUI::SetMinValue(int min) {
    {
        CUILockGuard lock(UILock());
        m_min = min;
        if (m_max < m_min) m_max = m_min;
        m_value = std::clamp(m_value, m_min, m_max);
    }
    Invalidate();
}
int CProgressUI::GetMaxValue() const {
    CUILockGuard lock(UILock());
    return m_max;
}
void CProgressUI::SetMaxValue(int max) {
    {
        CUILockGuard lock(UILock());
        m_max = max;
        if (m_min > m_max) m_min = m_max;
        m_value = std::clamp(m_value, m_min, m_max);
    }
    Invalidate();
}
int CProgressUI::GetValue() const {
    CUILockGuard lock(UILock());
    return m_value;
}
void CProgressUI::SetValue(int value) {
    {
        CUILockGuard lock(UILock());
        value = std::clamp(value, m_min, m_max);
        if (value == m_value) return;
        m_value = value;
    }
    Invalidate();
}
UI_PROP_PAINT(uint32_t, CProgressUI::GetForeColor, CProgressUI::SetForeColor, m_foreColor)
UIRect CProgressUI::GetForeRect() const {
    CUILockGuard lock(UILock());
    UIRect rc = m_rcItem;
    int range = m_max - m_min;
    if (range <= 0) {
        rc.right = rc.left;
        return rc;
    }
    if (m_bHorizontal) {
        rc.right = rc.left + static_cast<int>(static_cast<int64_t>(m_value - m_min) * rc.GetWidth() / range);
    } else {
        rc.top = rc.bottom - static_cast<int>(static_cast<int64_t>(m_value - m_min) * rc.GetHeight() / range);
    }
    return rc;
}
void CProgressUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    std::wstring n = Lower(name);
    uint32_t color = 0;
    if (n == L"min")
        SetMinValue(UIParseInt(value));
    else if (n == L"max")
        SetMaxValue(UIParseInt(value));
    else if (n == L"value")
        SetValue(UIParseInt(value));
    else if (n == L"hor")
        SetHorizontal(UIParseBool(value));
    else if (n == L"forecolor") {
        if (UIParseColor(value, &color)) SetForeColor(color);
    } else
        CLabelUI::SetAttribute(name, value);
}
void CProgressUI::PaintStatusImage(IRenderUI& render) {
    UIRect fore = GetForeRect();
    if (fore.IsEmpty()) return;
    uint32_t color = GetForeColor();
    if (color) render.FillRect(fore, color);
    std::wstring img = GetForeImage();
    if (!img.empty()) {
        TImageAttrUI a = TImageAttrUI::Parse(img);
        auto image = CSkinUI::GetImage(a.file);
        if (image) {
            UIRect rc = GetPos();
            UIRect source = a.source.IsEmpty() ? UIRect{0, 0, image->width, image->height} : a.source;
            // Crop the source in proportion to the filled part.
            if (IsHorizontal() && rc.GetWidth() > 0)
                source.right = source.left + source.GetWidth() * fore.GetWidth() / rc.GetWidth();
            else if (rc.GetHeight() > 0)
                source.top = source.bottom - source.GetHeight() * fore.GetHeight() / rc.GetHeight();
            render.DrawImage(image, fore, source, a.corner, a.fade, a.hole, a.xtiled, a.ytiled, 0);
        }
    }
}

// ---- Slider ------------------------------------------------------------------------------------
CSliderUI::CSliderUI() = default;
std::wstring CSliderUI::GetClass() const {
    return L"SliderUI";
}
UI_PROP_PAINT(int, CSliderUI::GetChangeStep, CSliderUI::SetChangeStep, m_step)
UI_PROP_PAINT(UISize, CSliderUI::GetThumbSize, CSliderUI::SetThumbSize, m_szThumb)
std::wstring CSliderUI::GetThumbImage() const {
    CUILockGuard lock(UILock());
    return m_thumbImage;
}
void CSliderUI::SetThumbImage(const std::wstring& attr) {
    {
        CUILockGuard lock(UILock());
        m_thumbImage = attr;
    }
    Invalidate();
}
bool CSliderUI::IsDragging() const {
    CUILockGuard lock(UILock());
    return m_bDragging;
}
UIRect CSliderUI::GetThumbRect() const {
    CUILockGuard lock(UILock());
    int tw = Scale(m_szThumb.cx), th = Scale(m_szThumb.cy);
    int range = std::max(1, m_max - m_min);
    if (m_bHorizontal) {
        int x = m_rcItem.left +
                static_cast<int>(static_cast<int64_t>(m_value - m_min) * m_rcItem.GetWidth() / range);
        int cy = (m_rcItem.top + m_rcItem.bottom) / 2;
        return UIRect{x - tw / 2, cy - th / 2, x - tw / 2 + tw, cy - th / 2 + th};
    }
    int y = m_rcItem.bottom -
            static_cast<int>(static_cast<int64_t>(m_value - m_min) * m_rcItem.GetHeight() / range);
    int cx = (m_rcItem.left + m_rcItem.right) / 2;
    return UIRect{cx - tw / 2, y - th / 2, cx - tw / 2 + tw, y - th / 2 + th};
}
int CSliderUI::ValueFromPoint(UIPoint pt) const {
    CUILockGuard lock(UILock());
    int range = m_max - m_min;
    int64_t length = m_bHorizontal ? m_rcItem.GetWidth() : m_rcItem.GetHeight();
    if (range <= 0 || length <= 0) return m_min;
    int64_t offset = m_bHorizontal ? pt.x - m_rcItem.left : m_rcItem.bottom - pt.y;
    offset = std::clamp<int64_t>(offset, 0, length);
    return m_min + static_cast<int>((offset * range + length / 2) / length);
}
void CSliderUI::DoEvent(TEventUI& event) {
    switch (event.Type) {
        case UIEventType::ButtonDown:
        case UIEventType::DoubleClick:
            if (!IsEnabled()) return;
            {
                CUILockGuard lock(UILock());
                m_bDragging = true;
            }
            SetStateFlag(UISTATE_PUSHED | UISTATE_CAPTURED, true);
            if (!GetThumbRect().Contains(event.ptMouse)) SetValue(ValueFromPoint(event.ptMouse));
            return;
        case UIEventType::MouseMove:
            if (IsDragging()) {
                int v = ValueFromPoint(event.ptMouse);
                if (v != GetValue()) {
                    SetValue(v);
                    SendNotify(L"movevaluechanged");
                }
            }
            return;
        case UIEventType::ButtonUp:
            if (IsDragging()) {
                {
                    CUILockGuard lock(UILock());
                    m_bDragging = false;
                }
                SetStateFlag(UISTATE_PUSHED | UISTATE_CAPTURED, false);
                SendNotify(L"valuechanged");
            }
            return;
        case UIEventType::ScrollWheel:
            if (!IsEnabled()) return;
            SetValue(GetValue() +
                     (static_cast<intptr_t>(event.wParam) > 0 ? GetChangeStep() : -GetChangeStep()));
            SendNotify(L"valuechanged");
            return;
        case UIEventType::MouseEnter:
            SetStateFlag(UISTATE_HOT, true);
            return;
        case UIEventType::MouseLeave:
            SetStateFlag(UISTATE_HOT, false);
            return;
        default:
            break;
    }
    CProgressUI::DoEvent(event);
}
void CSliderUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    std::wstring n = Lower(name);
    UISize sz;
    if (n == L"step")
        SetChangeStep(UIParseInt(value, 1));
    else if (n == L"thumbsize") {
        if (UIParseSize(value, &sz)) SetThumbSize(sz);
    } else if (n == L"thumbimage")
        SetThumbImage(value);
    else if (n == L"thumbhotimage") {
        CUILockGuard lock(UILock());
        m_thumbHotImage = value;
    } else if (n == L"thumbpushedimage") {
        CUILockGuard lock(UILock());
        m_thumbPushedImage = value;
    } else
        CProgressUI::SetAttribute(name, value);
}
void CSliderUI::PaintStatusImage(IRenderUI& render) {
    CProgressUI::PaintStatusImage(render);
    std::wstring img;
    uint32_t state = GetState();
    {
        CUILockGuard lock(UILock());
        if ((state & UISTATE_PUSHED) && !m_thumbPushedImage.empty())
            img = m_thumbPushedImage;
        else if ((state & UISTATE_HOT) && !m_thumbHotImage.empty())
            img = m_thumbHotImage;
        else
            img = m_thumbImage;
    }
    if (img.empty()) return;
    TImageAttrUI a = TImageAttrUI::Parse(img);
    auto image = CSkinUI::GetImage(a.file);
    if (!image) return;
    UIRect source = a.source.IsEmpty() ? UIRect{0, 0, image->width, image->height} : a.source;
    render.DrawImage(image, GetThumbRect(), source, a.corner, a.fade, a.hole, a.xtiled, a.ytiled, 0);
}

// ---- Animated GIF ------------------------------------------------------------------------------
namespace {
constexpr uint32_t kAnimTimer = 0x7A01;
}
CGifAnimUI::~CGifAnimUI() = default;
std::wstring CGifAnimUI::GetClass() const {
    return L"GifAnimUI";
}
int CGifAnimUI::GetFrameCount() const {
    auto image = CSkinUI::GetImage(TImageAttrUI::Parse(GetBkImage()).file);
    return image ? std::max(1, image->frameCount) : 1;
}
void CGifAnimUI::ScheduleNextFrame() {
    auto image = CSkinUI::GetImage(TImageAttrUI::Parse(GetBkImage()).file);
    if (!image || image->frameCount <= 1) return;
    int frame = GetCurrentFrame();
    int delay = frame < static_cast<int>(image->frameDelaysMs.size()) ? image->frameDelaysMs[frame] : 100;
    SetTimer(kAnimTimer, static_cast<uint32_t>(std::max(10, delay)));
}
void CGifAnimUI::PlayGif() {
    {
        CUILockGuard lock(UILock());
        if (m_bPlaying) return;
        m_bPlaying = true;
    }
    ScheduleNextFrame();
}
void CGifAnimUI::PauseGif() {
    {
        CUILockGuard lock(UILock());
        m_bPlaying = false;
    }
    KillTimer(kAnimTimer);
}
void CGifAnimUI::StopGif() {
    {
        CUILockGuard lock(UILock());
        m_bPlaying = false;
        m_frame = 0;
    }
    KillTimer(kAnimTimer);
    Invalidate();
}
bool CGifAnimUI::IsPlaying() const {
    CUILockGuard lock(UILock());
    return m_bPlaying;
}
UI_PROP_PAINT(bool, CGifAnimUI::IsAutoPlay, CGifAnimUI::SetAutoPlay, m_bAutoPlay)
int CGifAnimUI::GetCurrentFrame() const {
    CUILockGuard lock(UILock());
    return m_frame;
}
void CGifAnimUI::SetBkImage(const std::wstring& attr) {
    bool wasPlaying = IsPlaying();
    StopGif();
    CControlUI::SetBkImage(attr);
    if (wasPlaying) PlayGif();
}
void CGifAnimUI::DoInit() {
    bool play;
    {
        CUILockGuard lock(UILock());
        play = m_bAutoPlay && !m_bkImage.empty();
        if (m_bPlaying) {
            // Play was asked before the control had a window: start the timer now.
            m_bPlaying = false;
            play = true;
        }
    }
    if (play) PlayGif();
}
void CGifAnimUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEventType::Timer && event.wParam == kAnimTimer) {
        KillTimer(kAnimTimer);
        int count = GetFrameCount();
        {
            CUILockGuard lock(UILock());
            if (!m_bPlaying) return;
            m_frame = (m_frame + 1) % std::max(1, count);
        }
        Invalidate();
        ScheduleNextFrame();
        return;
    }
    CControlUI::DoEvent(event);
}
void CGifAnimUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    std::wstring n = Lower(name);
    if (n == L"bkimage")
        SetBkImage(value);
    else if (n == L"autoplay")
        SetAutoPlay(UIParseBool(value));
    else
        CControlUI::SetAttribute(name, value);
}
void CGifAnimUI::PaintBkImage(IRenderUI& render) {
    TImageAttrUI a = TImageAttrUI::Parse(GetBkImage());
    auto image = CSkinUI::GetImage(a.file);
    if (!image) return;
    UIRect source = a.source.IsEmpty() ? UIRect{0, 0, image->width, image->height} : a.source;
    render.DrawImage(image, GetPos(), source, a.corner, a.fade, a.hole, a.xtiled, a.ytiled,
                     GetCurrentFrame());
}

// ---- Frame-folder animation --------------------------------------------------------------------
CFrameAnimUI::~CFrameAnimUI() = default;
std::wstring CFrameAnimUI::GetClass() const {
    return L"FrameAnimUI";
}
UI_PROP_PAINT(const std::wstring&, CFrameAnimUI::GetFolder, CFrameAnimUI::SetFolder, m_folder)
int CFrameAnimUI::GetFrameCount() const {
    CUILockGuard lock(UILock());
    return m_frameCount;
}
void CFrameAnimUI::SetFrameCount(int count) {
    CUILockGuard lock(UILock());
    m_frameCount = std::max(1, count);
    if (m_frame >= m_frameCount) m_frame = 0;
}
UI_PROP_PAINT(int, CFrameAnimUI::GetInterval, CFrameAnimUI::SetInterval, m_interval)
UI_PROP_PAINT(bool, CFrameAnimUI::IsLoop, CFrameAnimUI::SetLoop, m_bLoop)
void CFrameAnimUI::Start() {
    {
        CUILockGuard lock(UILock());
        m_bRunning = true;
        m_frame = 0;
    }
    SetTimer(kAnimTimer, static_cast<uint32_t>(std::max(1, GetInterval())));
    Invalidate();
}
void CFrameAnimUI::Stop() {
    {
        CUILockGuard lock(UILock());
        m_bRunning = false;
    }
    KillTimer(kAnimTimer);
    Invalidate();
}
bool CFrameAnimUI::IsRunning() const {
    CUILockGuard lock(UILock());
    return m_bRunning;
}
int CFrameAnimUI::GetCurrentFrame() const {
    CUILockGuard lock(UILock());
    return m_frame;
}
std::wstring CFrameAnimUI::GetFrameFile(int frame) const {
    std::wstring folder = GetFolder();
    if (!folder.empty() && folder.back() != L'/') folder += L'/';
    return folder + std::to_wstring(frame + 1) + L".png";
}
void CFrameAnimUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEventType::Timer && event.wParam == kAnimTimer) {
        bool stop = false;
        {
            CUILockGuard lock(UILock());
            if (!m_bRunning) return;
            if (m_frame + 1 < m_frameCount) {
                ++m_frame;
            } else if (m_bLoop) {
                m_frame = 0;
            } else {
                stop = true;
            }
        }
        if (stop)
            Stop();
        else
            Invalidate();
        return;
    }
    CControlUI::DoEvent(event);
}
void CFrameAnimUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    std::wstring n = Lower(name);
    if (n == L"folder")
        SetFolder(value);
    else if (n == L"framecount" || n == L"frames")
        SetFrameCount(UIParseInt(value, 1));
    else if (n == L"interval")
        SetInterval(std::max(1, UIParseInt(value, 100)));
    else if (n == L"loop")
        SetLoop(UIParseBool(value));
    else
        CControlUI::SetAttribute(name, value);
}
void CFrameAnimUI::PaintBkImage(IRenderUI& render) {
    CControlUI::PaintBkImage(render);
    if (GetFolder().empty()) return;
    DrawImage(render, GetFrameFile(GetCurrentFrame()));
}
