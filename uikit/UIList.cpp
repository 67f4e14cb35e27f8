#include "uikit/UIList.h"

#include <algorithm>
#include <cwctype>

#include "uikit/UIWindow.h"

namespace {
std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}
}  // namespace

CListUI::CListUI() {
    m_bScrollEnabled = true;
}
std::wstring CListUI::GetClass() const {
    return L"ListUI";
}
int CListUI::GetCurSel() const {
    CUILockGuard lock(UILock());
    return m_curSel;
}
CListContainerElementUI* CListUI::GetSelectedElement() const {
    CUILockGuard lock(UILock());
    if (m_curSel < 0 || m_curSel >= static_cast<int>(m_items.size())) return nullptr;
    return dynamic_cast<CListContainerElementUI*>(m_items[m_curSel]);
}
void CListUI::Reindex(int from) {
    CUILockGuard lock(UILock());
    for (int i = std::max(0, from); i < static_cast<int>(m_items.size()); ++i) {
        if (auto* e = dynamic_cast<CListContainerElementUI*>(m_items[i])) {
            e->SetIndex(i);
            e->SetSelectedState(i == m_curSel);
        }
    }
}
bool CListUI::SelectItem(int index, bool notify) {
    int old;
    {
        CUILockGuard lock(UILock());
        if (index < -1 || index >= static_cast<int>(m_items.size())) return false;
        if (index == m_curSel) return true;
        old = m_curSel;
        m_curSel = index;
        // Only the rows losing and gaining the selection change.
        for (int i : {old, index}) {
            if (i < 0) continue;
            if (auto* e = dynamic_cast<CListContainerElementUI*>(m_items[i]))
                e->SetSelectedState(i == m_curSel);
        }
    }
    Invalidate();
    if (notify) SendNotify(L"itemselect", static_cast<uintptr_t>(index), old);
    return true;
}
bool CListUI::Add(CControlUI* control) {
    return AddAt(control, GetCount());
}
bool CListUI::AddAt(CControlUI* control, int index) {
    if (!CVerticalLayoutUI::AddAt(control, index)) return false;
    CUILockGuard lock(UILock());
    if (m_curSel >= index) ++m_curSel;
    Reindex(index);  // the rows before it keep their index
    return true;
}
bool CListUI::Remove(CControlUI* control) {
    int index = GetItemIndex(control);
    if (index < 0) return false;
    {
        CUILockGuard lock(UILock());
        if (m_curSel == index)
            m_curSel = -1;
        else if (m_curSel > index)
            --m_curSel;
    }
    CVerticalLayoutUI::Remove(control);
    Reindex(index);
    return true;
}
bool CListUI::RemoveAt(int index) {
    CControlUI* c = GetItemAt(index);
    return c ? Remove(c) : false;
}
void CListUI::RemoveAll() {
    {
        CUILockGuard lock(UILock());
        m_curSel = -1;
    }
    CVerticalLayoutUI::RemoveAll();
}
uint32_t CListUI::GetItemBkColor() const {
    CUILockGuard lock(UILock());
    return m_itemBkColor;
}
uint32_t CListUI::GetItemHotBkColor() const {
    CUILockGuard lock(UILock());
    return m_itemHotBkColor;
}
uint32_t CListUI::GetItemSelectedBkColor() const {
    CUILockGuard lock(UILock());
    return m_itemSelectedBkColor;
}
void CListUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    std::wstring n = Lower(name);
    uint32_t color = 0;
    if (n == L"itembkcolor") {
        if (UIParseColor(value, &color)) {
            CUILockGuard lock(UILock());
            m_itemBkColor = color;
        }
    } else if (n == L"itemhotbkcolor") {
        if (UIParseColor(value, &color)) {
            CUILockGuard lock(UILock());
            m_itemHotBkColor = color;
        }
    } else if (n == L"itemselectedbkcolor") {
        if (UIParseColor(value, &color)) {
            CUILockGuard lock(UILock());
            m_itemSelectedBkColor = color;
        }
    } else {
        CVerticalLayoutUI::SetAttribute(name, value);
    }
}
void CListUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEventType::KeyDown) {
        int sel = GetCurSel();
        if (event.chKey == UIKEY_UP && sel > 0) {
            SelectItem(sel - 1);
            return;
        }
        if (event.chKey == UIKEY_DOWN && sel + 1 < GetCount()) {
            SelectItem(sel + 1);
            return;
        }
    }
    CVerticalLayoutUI::DoEvent(event);
}

// ---- Element -----------------------------------------------------------------------------------
std::wstring CListContainerElementUI::GetClass() const {
    return L"ListContainerElementUI";
}
CListUI* CListContainerElementUI::GetOwnerList() const {
    return dynamic_cast<CListUI*>(GetParent());
}
int CListContainerElementUI::GetIndex() const {
    CUILockGuard lock(UILock());
    return m_index;
}
void CListContainerElementUI::SetIndex(int index) {
    CUILockGuard lock(UILock());
    m_index = index;
}
bool CListContainerElementUI::IsSelected() const {
    CUILockGuard lock(UILock());
    return m_bSelected;
}
void CListContainerElementUI::SetSelectedState(bool selected) {
    {
        CUILockGuard lock(UILock());
        if (m_bSelected == selected) return;
        m_bSelected = selected;
        if (selected)
            m_state |= UISTATE_SELECTED;
        else
            m_state &= ~UISTATE_SELECTED;
    }
    Invalidate();
}
bool CListContainerElementUI::Select(bool select) {
    CListUI* list = GetOwnerList();
    if (!list) {
        SetSelectedState(select);
        return true;
    }
    int index = list->GetItemIndex(this);
    if (select) return list->SelectItem(index);
    if (list->GetCurSel() == index) return list->SelectItem(-1);
    return true;
}
bool CListContainerElementUI::Activate() {
    if (!CControlUI::Activate()) return false;
    SendNotify(L"itemactivate");
    return true;
}
void CListContainerElementUI::DoEvent(TEventUI& event) {
    switch (event.Type) {
        case UIEventType::ButtonDown:
        case UIEventType::RButtonDown:
            if (IsEnabled()) Select(true);
            return;
        case UIEventType::ButtonUp:
            if (IsEnabled() && GetPos().Contains(event.ptMouse)) SendNotify(L"itemclick");
            return;
        case UIEventType::DoubleClick:
            if (IsEnabled()) Activate();
            return;
        case UIEventType::MouseEnter:
            SetStateFlag(UISTATE_HOT, true);
            return;
        case UIEventType::MouseLeave:
            SetStateFlag(UISTATE_HOT, false);
            return;
        case UIEventType::KeyDown:
        case UIEventType::ScrollWheel:
            if (CListUI* list = GetOwnerList()) {
                list->DoEvent(event);
                return;
            }
            break;
        default:
            break;
    }
    CHorizontalLayoutUI::DoEvent(event);
}
void CListContainerElementUI::PaintBkColor(IRenderUI& render) {
    CListUI* list = GetOwnerList();
    uint32_t state = GetState();
    uint32_t color = 0;
    if (list) {
        if (state & UISTATE_SELECTED)
            color = list->GetItemSelectedBkColor();
        else if (state & UISTATE_HOT)
            color = list->GetItemHotBkColor();
        if (!color) color = list->GetItemBkColor();
    }
    if (color && !GetBkColor()) render.FillRect(GetPos(), color);
    CHorizontalLayoutUI::PaintBkColor(render);
}
