#include "uikit/UIContainer.h"

#include <algorithm>
#include <cwctype>
#include <typeinfo>
#include <utility>

#include "uikit/UIList.h"
#include "uikit/UIScrollBar.h"
#include "uikit/UIWindow.h"

namespace {
std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}
}  // namespace

// Reads the layout attributes of children directly: a layout pass runs under the model lock, and
// taking it again for every attribute of every row costs more than the pass itself.
struct UILayoutAccess {
    static bool Placed(const CControlUI* c) { return c->m_bVisible && !c->m_bFloat; }
    static bool Float(const CControlUI* c) { return c->m_bFloat; }
    static const UIRect& Padding(const CControlUI* c) { return c->m_rcPadding; }
    static int Fixed(const CControlUI* c, bool vertical) { return vertical ? c->m_cyFixed : c->m_cxFixed; }
    static int Min(const CControlUI* c, bool vertical) { return vertical ? c->m_cyMin : c->m_cxMin; }
    static int Max(const CControlUI* c, bool vertical) { return vertical ? c->m_cyMax : c->m_cxMax; }
};

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
    std::vector<CControlUI*> items;
    CScrollBarUI* bar = nullptr;
    {
        CUILockGuard lock(UILock());
        items.swap(m_items);
        std::swap(bar, m_pVScrollBar);
        m_bVScrollShown = false;
    }
    if (m_bAutoDestroy) {
        for (CControlUI* c : items) delete c;
    }
    delete bar;
}

std::wstring CContainerUI::GetClass() const {
    return L"ContainerUI";
}

CControlUI* CContainerUI::GetItemAt(int index) const {
    CUILockGuard lock(UILock());
    if (index < 0 || index >= static_cast<int>(m_items.size())) return nullptr;
    return m_items[index];
}
int CContainerUI::GetItemIndex(CControlUI* control) const {
    CUILockGuard lock(UILock());
    auto it = std::find(m_items.begin(), m_items.end(), control);
    return it == m_items.end() ? -1 : static_cast<int>(it - m_items.begin());
}
bool CContainerUI::SetItemIndex(CControlUI* control, int index) {
    {
        CUILockGuard lock(UILock());
        auto it = std::find(m_items.begin(), m_items.end(), control);
        if (it == m_items.end() || index < 0 || index >= static_cast<int>(m_items.size())) return false;
        m_items.erase(it);
        m_items.insert(m_items.begin() + index, control);
        m_bViewKnown = false;
    }
    NeedUpdate();
    return true;
}
int CContainerUI::GetCount() const {
    CUILockGuard lock(UILock());
    return static_cast<int>(m_items.size());
}
bool CContainerUI::Add(CControlUI* control) {
    return AddAt(control, GetCount());
}

bool CContainerUI::AddAt(CControlUI* control, int index) {
    if (!control || control == this) return false;
    CWindowUI* window = nullptr;
    {
        CUILockGuard lock(UILock());
        if (index < 0 || index > static_cast<int>(m_items.size())) return false;
        if (std::find(m_items.begin(), m_items.end(), control) != m_items.end()) return false;
        m_items.insert(m_items.begin() + index, control);
        ChildrenChanged();
        window = m_pWindow;
        control->SetInternVisible(m_bVisible && m_bInternVisible);
    }
    control->SetWindow(window, this, true);
    NeedUpdate();
    return true;
}

void CContainerUI::ReleaseChild(CControlUI* control) {
    CWindowUI* window = GetWindow();
    if (window) window->ControlRemoved(control);
    control->SetWindow(nullptr, nullptr, false);
    if (IsAutoDestroy()) {
        if (window)
            window->DeferDelete(control);
        else
            delete control;
    }
}

bool CContainerUI::Remove(CControlUI* control) {
    {
        CUILockGuard lock(UILock());
        auto it = std::find(m_items.begin(), m_items.end(), control);
        if (it == m_items.end()) return false;
        m_items.erase(it);
        ChildrenChanged();
    }
    ReleaseChild(control);
    NeedUpdate();
    return true;
}
bool CContainerUI::RemoveAt(int index) {
    CControlUI* c = GetItemAt(index);
    return c ? Remove(c) : false;
}
void CContainerUI::RemoveAll() {
    std::vector<CControlUI*> items;
    {
        CUILockGuard lock(UILock());
        items.swap(m_items);
        m_scrollPos = {};
        ChildrenChanged();
    }
    for (CControlUI* c : items) ReleaseChild(c);
    NeedUpdate();
}

CControlUI* CContainerUI::FindSubControl(const std::wstring& name) const {
    CUILockGuard lock(UILock());
    for (CControlUI* c : m_items) {
        if (CControlUI* found = c->FindControlByName(name)) return found;
    }
    return nullptr;
}
bool CContainerUI::IsAutoDestroy() const {
    CUILockGuard lock(UILock());
    return m_bAutoDestroy;
}
void CContainerUI::SetAutoDestroy(bool autoDestroy) {
    CUILockGuard lock(UILock());
    m_bAutoDestroy = autoDestroy;
}
UIRect CContainerUI::GetInset() const {
    CUILockGuard lock(UILock());
    return m_rcInset;
}
void CContainerUI::SetInset(const UIRect& rc) {
    {
        CUILockGuard lock(UILock());
        m_rcInset = rc;
    }
    NeedUpdate();
}
int CContainerUI::GetChildPadding() const {
    CUILockGuard lock(UILock());
    return m_childPadding;
}
void CContainerUI::SetChildPadding(int padding) {
    {
        CUILockGuard lock(UILock());
        m_childPadding = padding;
    }
    NeedUpdate();
}
UISize CContainerUI::GetScrollPos() const {
    CUILockGuard lock(UILock());
    return m_scrollPos;
}
void CContainerUI::SetScrollPos(UISize pos) {
    {
        CUILockGuard lock(UILock());
        pos.cx = std::clamp(pos.cx, 0, std::max(0, m_scrollRange.cx));
        pos.cy = std::clamp(pos.cy, 0, std::max(0, m_scrollRange.cy));
        if (pos == m_scrollPos) return;
        m_scrollPos = pos;
    }
    NeedUpdate();
}
UISize CContainerUI::GetScrollRange() const {
    CUILockGuard lock(UILock());
    return m_scrollRange;
}
bool CContainerUI::IsScrollEnabled() const {
    CUILockGuard lock(UILock());
    return m_bScrollEnabled;
}
void CContainerUI::SetScrollEnabled(bool enabled) {
    {
        CUILockGuard lock(UILock());
        m_bScrollEnabled = enabled;
    }
    NeedUpdate();
}
void CContainerUI::LineUp() {
    UISize p = GetScrollPos();
    p.cy -= Scale(20);
    SetScrollPos(p);
}
void CContainerUI::LineDown() {
    UISize p = GetScrollPos();
    p.cy += Scale(20);
    SetScrollPos(p);
}
void CContainerUI::EnsureVisible(CControlUI* child) {
    CWindowUI* w = GetWindow();
    if (w) w->UpdateLayout();
    UIRect view = InnerRect();
    UIRect rc = child->GetPos();
    UISize p = GetScrollPos();
    if (rc.top < view.top)
        p.cy -= view.top - rc.top;
    else if (rc.bottom > view.bottom)
        p.cy += rc.bottom - view.bottom;
    SetScrollPos(p);
    if (w) w->UpdateLayout();
}

CScrollBarUI* CContainerUI::GetVerticalScrollBar() const {
    CUILockGuard lock(UILock());
    return m_pVScrollBar;
}
bool CContainerUI::IsVScrollBarShown() const {
    CUILockGuard lock(UILock());
    return m_bVScrollShown;
}
bool CContainerUI::IsScrollBarAllowed() const {
    CUILockGuard lock(UILock());
    return m_bScrollBarAllowed;
}
void CContainerUI::SetScrollBarAllowed(bool allowed) {
    {
        CUILockGuard lock(UILock());
        m_bScrollBarAllowed = allowed;
    }
    NeedUpdate();
}

CScrollBarUI* CContainerUI::EnsureScrollBar() {
    CUILockGuard lock(UILock());
    if (!m_pVScrollBar) {
        m_pVScrollBar = new CScrollBarUI(this);
        m_pVScrollBar->SetWindow(m_pWindow, this, m_pWindow != nullptr);
    }
    return m_pVScrollBar;
}

void CContainerUI::PlaceScrollBar(const UIRect& inner, bool vertical, int barWidth, int border) {
    CUILockGuard lock(UILock());
    const bool show = vertical && m_bScrollEnabled && m_bScrollBarAllowed && m_scrollRange.cy > 0 &&
                      inner.GetHeight() > 0 && inner.GetWidth() > 0;
    m_bVScrollShown = show;
    if (!show) {
        if (m_pVScrollBar) m_pVScrollBar->Place({}, 0);
        return;
    }
    // Over the right edge of the view, inside the container's border.
    UIRect rc;
    rc.right = std::min(inner.right, m_rcItem.right - border);
    rc.top = std::max(inner.top, m_rcItem.top + border);
    rc.bottom = std::min(inner.bottom, m_rcItem.bottom - border);
    rc.left = std::max(inner.left, rc.right - barWidth);
    EnsureScrollBar()->Place(rc, inner.GetHeight());
    if (rc.IsEmpty()) m_bVScrollShown = false;
}

void CContainerUI::SetAttribute(const std::wstring& nameIn, const std::wstring& value) {
    std::wstring name = Lower(nameIn);
    UIRect rc;
    uint32_t color = 0;
    if (name == L"inset") {
        if (UIParseRect(value, &rc)) SetInset(rc);
    } else if (name == L"childpadding") {
        SetChildPadding(UIParseInt(value));
    } else if (name == L"vscrollbar" || name == L"scroll") {
        SetScrollEnabled(UIParseBool(value));
    } else if (name == L"showscrollbar") {
        SetScrollBarAllowed(UIParseBool(value));
    } else if (name == L"scrolltrackcolor") {
        if (UIParseColor(value, &color)) EnsureScrollBar()->SetTrackColor(color);
    } else if (name == L"scrollthumbcolor") {
        if (UIParseColor(value, &color)) EnsureScrollBar()->SetThumbColor(color);
    } else if (name == L"scrollthumbhotcolor") {
        if (UIParseColor(value, &color)) EnsureScrollBar()->SetThumbHotColor(color);
    } else {
        CControlUI::SetAttribute(nameIn, value);
    }
}

void CContainerUI::ChildrenChanged() {
    CUILockGuard lock(UILock());
    m_bViewKnown = false;
    ForgetLayoutDeferrable();
}
void CContainerUI::FlushDeferredLayout() {
    CUILockGuard lock(UILock());
    if (!m_bLayoutDeferred) return;
    m_bLayoutDeferred = false;
    LayoutChildren(InnerRect());
    LayoutFloatChildren();
}
bool CContainerUI::ComputeLayoutDeferrable() const {
    const std::type_info& type = typeid(*this);
    if (type != typeid(CContainerUI) && type != typeid(CVerticalLayoutUI) &&
        type != typeid(CHorizontalLayoutUI) && type != typeid(CListContainerElementUI))
        return false;
    CUILockGuard lock(UILock());
    for (CControlUI* c : m_items)
        if (!c->IsLayoutDeferrable()) return false;
    return true;
}

UIRect CContainerUI::InnerRect() const {
    CUILockGuard lock(UILock());
    UIRect rc = m_rcItem;
    rc.left += Scale(m_rcInset.left);
    rc.top += Scale(m_rcInset.top);
    rc.right -= Scale(m_rcInset.right);
    rc.bottom -= Scale(m_rcInset.bottom);
    return rc.Clamped();
}

void CContainerUI::SetPos(const UIRect& rc, bool needInvalidate) {
    CUILockGuard lock(UILock());
    CControlUI::SetPos(rc, needInvalidate);
    m_bLayoutDeferred = false;
    LayoutChildren(InnerRect());
    LayoutFloatChildren();
}

void CContainerUI::LayoutChildren(const UIRect& inner) {
    CUILockGuard lock(UILock());
    for (CControlUI* c : m_items) {
        if (!c->IsOwnVisible() || c->IsFloat()) continue;
        UIRect pad = c->GetPadding();
        UIRect rc{inner.left + Scale(pad.left), inner.top + Scale(pad.top), inner.right - Scale(pad.right),
                  inner.bottom - Scale(pad.bottom)};
        int cx = c->GetFixedWidth(), cy = c->GetFixedHeight();
        if (cx > 0) rc.right = std::min(rc.right, rc.left + Scale(cx));
        if (cy > 0) rc.bottom = std::min(rc.bottom, rc.top + Scale(cy));
        c->SetPos(rc, false);
    }
    m_scrollRange = {};
}

void CContainerUI::LayoutFloatChildren() {
    CUILockGuard lock(UILock());
    // Placing float children is part of this layout, not a move of a child behind its back.
    const bool childMoved = m_bChildMoved;
    for (CControlUI* c : m_items) {
        if (!UILayoutAccess::Float(c) || !c->IsOwnVisible()) continue;
        UIRect pos = c->GetFloatPos();
        UIRect rc;
        rc.left = m_rcItem.left + Scale(pos.left);
        rc.top = m_rcItem.top + Scale(pos.top);
        rc.right =
            pos.right > pos.left ? m_rcItem.left + Scale(pos.right) : rc.left + Scale(c->GetFixedWidth());
        rc.bottom =
            pos.bottom > pos.top ? m_rcItem.top + Scale(pos.bottom) : rc.top + Scale(c->GetFixedHeight());
        c->SetPos(rc, false);
    }
    m_bChildMoved = childMoved;
}

void CContainerUI::SetWindow(CWindowUI* window, CControlUI* parent, bool init) {
    CControlUI::SetWindow(window, parent, init);
    std::vector<CControlUI*> items;
    {
        CUILockGuard lock(UILock());
        items = m_items;
    }
    for (CControlUI* c : items) c->SetWindow(window, this, init);
    if (CScrollBarUI* bar = GetVerticalScrollBar()) bar->SetWindow(window, this, init);
}

void CContainerUI::SetVisible(bool visible) {
    CControlUI::SetVisible(visible);
    CUILockGuard lock(UILock());
    bool effective = m_bVisible && m_bInternVisible;
    for (CControlUI* c : m_items) c->SetInternVisible(effective);
}

void CContainerUI::SetInternVisible(bool visible) {
    CControlUI::SetInternVisible(visible);
    CUILockGuard lock(UILock());
    bool effective = m_bVisible && m_bInternVisible;
    for (CControlUI* c : m_items) c->SetInternVisible(effective);
}

CControlUI* CContainerUI::FindControlByName(const std::wstring& name) {
    CUILockGuard lock(UILock());
    if (m_sName == name) return this;
    return FindSubControl(name);
}

// The index range of children that can meet the view: all of them, or those the last layout
// found in the view of a scrolling list when no child moved since.
std::pair<int, int> CContainerUI::ViewRange() const {
    if (m_bViewKnown && !m_bChildMoved) return {m_viewFirst, m_viewLast};
    return {0, static_cast<int>(m_items.size()) - 1};
}

CControlUI* CContainerUI::FindControlAt(UIPoint pt) {
    CUILockGuard lock(UILock());
    if (!m_bVisible || !m_bInternVisible || !m_rcItem.Contains(pt)) return nullptr;
    if (m_bLayoutDeferred) FlushDeferredLayout();
    // Float children lie on top; later children are drawn over earlier ones.
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
        if (!UILayoutAccess::Float(*it)) continue;
        if (CControlUI* hit = (*it)->FindControlAt(pt)) return hit;
    }
    if (m_bVScrollShown) {
        if (CControlUI* hit = m_pVScrollBar->FindControlAt(pt)) return hit;
    }
    if (InnerRect().Contains(pt)) {
        auto [first, last] = ViewRange();
        for (int i = last; i >= first && i >= 0; --i) {
            CControlUI* c = m_items[i];
            if (UILayoutAccess::Float(c)) continue;
            if (CControlUI* hit = c->FindControlAt(pt)) return hit;
        }
    }
    return m_bMouseEnabled ? this : nullptr;
}

void CContainerUI::CollectControls(std::vector<CControlUI*>* out) {
    CUILockGuard lock(UILock());
    out->push_back(this);
    for (CControlUI* c : m_items) c->CollectControls(out);
    if (m_pVScrollBar) m_pVScrollBar->CollectControls(out);
}

void CContainerUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEventType::ScrollWheel && IsScrollEnabled() && GetScrollRange().cy > 0) {
        if (static_cast<intptr_t>(event.wParam) > 0)
            LineUp();
        else
            LineDown();
        return;
    }
    CControlUI::DoEvent(event);
}

void CContainerUI::DoPaint(IRenderUI& render, const UIRect& paintRect) {
    CUILockGuard lock(UILock());
    UIRect clip = m_rcItem.Intersect(paintRect);
    if (clip.IsEmpty()) return;
    if (m_bLayoutDeferred) FlushDeferredLayout();
    CControlUI::DoPaint(render, paintRect);
    UIRect inner = InnerRect().Intersect(clip);
    render.PushClip(inner);
    auto [first, last] = ViewRange();
    for (int i = std::max(0, first); i <= last; ++i) {
        CControlUI* c = m_items[i];
        if (UILayoutAccess::Float(c) || !c->IsVisible()) continue;
        if (!c->GetPos().Intersect(inner).IsEmpty()) c->DoPaint(render, inner);
    }
    render.PopClip();
    render.PushClip(clip);
    if (m_bVScrollShown) m_pVScrollBar->DoPaint(render, clip);
    for (CControlUI* c : m_items) {
        if (!UILayoutAccess::Float(c) || !c->IsVisible()) continue;
        if (!c->GetPos().Intersect(clip).IsEmpty()) c->DoPaint(render, clip);
    }
    render.PopClip();
}

// ---- Vertical and horizontal layouts ----------------------------------------------------------
namespace {

// Logical to device pixels at a display DPI (the window's scale, rounded the same way).
struct DpiScale {
    int dpi = 96;
    int operator()(int logical) const {
        if (dpi == 96 || logical == 0) return logical;
        int64_t v = static_cast<int64_t>(logical) * dpi;
        return static_cast<int>(v >= 0 ? (v + 48) / 96 : -((-v + 48) / 96));
    }
};

struct LinearPass {
    int used = 0;    // length of the content along the axis
    int first = -1;  // first and last index of the placed children that meet the view
    int last = -1;
};

// One axis of a linear layout: fixed children take their size, the rest share what is left.
// Without `place` only the content length is measured. With `deferOutside`, a child of library
// classes lying wholly outside `inner` gets its rectangle but its own children are laid out only
// when needed (a long list then costs what its visible rows cost).
template <bool Vertical>
LinearPass LayoutLinear(const std::vector<CControlUI*>& items, const UIRect& inner, int childPad,
                        UISize scroll, DpiScale S, bool place, bool deferOutside) {
    using A = UILayoutAccess;
    const int avail = Vertical ? inner.GetHeight() : inner.GetWidth();
    int fixedTotal = 0, stretchCount = 0, visibleCount = 0;
    for (CControlUI* c : items) {
        if (!A::Placed(c)) continue;
        ++visibleCount;
        const UIRect& pad = A::Padding(c);
        fixedTotal += Vertical ? S(pad.top) + S(pad.bottom) : S(pad.left) + S(pad.right);
        int fixed = A::Fixed(c, Vertical);
        if (fixed > 0)
            fixedTotal += S(std::max(fixed, A::Min(c, Vertical)));
        else
            ++stretchCount;
    }
    if (visibleCount > 1) fixedTotal += (visibleCount - 1) * S(childPad);
    int stretchSize = 0, remainder = 0;
    if (stretchCount > 0) {
        int rest = std::max(0, avail - fixedTotal);
        stretchSize = rest / stretchCount;
        remainder = rest - stretchSize * stretchCount;
    }
    LinearPass pass;
    int cursor = (Vertical ? inner.top - scroll.cy : inner.left - scroll.cx);
    int stretchSeen = 0;
    bool first = true;
    for (size_t index = 0; index < items.size(); ++index) {
        CControlUI* c = items[index];
        if (!A::Placed(c)) continue;
        if (!first) cursor += S(childPad), pass.used += S(childPad);
        first = false;
        const UIRect& pad = A::Padding(c);
        int fixed = A::Fixed(c, Vertical);
        int size;
        if (fixed > 0) {
            size = S(std::max(fixed, A::Min(c, Vertical)));
        } else {
            ++stretchSeen;
            size = stretchSize + (stretchSeen == stretchCount ? remainder : 0);
            int minv = S(A::Min(c, Vertical));
            int maxv = S(A::Max(c, Vertical));
            size = std::clamp(size, std::min(minv, maxv), maxv);
        }
        UIRect rc;
        if (Vertical) {
            cursor += S(pad.top);
            int left = inner.left + S(pad.left);
            int fixedWidth = A::Fixed(c, false);
            int width = fixedWidth > 0 ? S(fixedWidth) : inner.right - S(pad.right) - left;
            width = std::min(width, inner.right - S(pad.right) - left);
            rc = UIRect{left, cursor, left + std::max(0, width), cursor + size};
            cursor += size + S(pad.bottom);
            pass.used += S(pad.top) + size + S(pad.bottom);
        } else {
            cursor += S(pad.left);
            int top = inner.top + S(pad.top);
            int fixedHeight = A::Fixed(c, true);
            int height = fixedHeight > 0 ? S(fixedHeight) : inner.bottom - S(pad.bottom) - top;
            height = std::min(height, inner.bottom - S(pad.bottom) - top);
            rc = UIRect{cursor, top, cursor + size, top + std::max(0, height)};
            cursor += size + S(pad.right);
            pass.used += S(pad.left) + size + S(pad.right);
        }
        if (!place) continue;
        const bool meetsView = Vertical ? rc.bottom > inner.top && rc.top < inner.bottom
                                        : rc.right > inner.left && rc.left < inner.right;
        if (meetsView) {
            if (pass.first < 0) pass.first = static_cast<int>(index);
            pass.last = static_cast<int>(index);
        }
        if (deferOutside && !meetsView && c->IsLayoutDeferrable())
            c->PlaceDeferred(rc);
        else
            c->SetPos(rc, false);
    }
    return pass;
}

}  // namespace

void CContainerUI::LayoutLinearChildren(const UIRect& inner, bool vertical) {
    CUILockGuard lock(UILock());
    DpiScale scale{m_pWindow ? m_pWindow->GetDPI().GetDPI() : 96};
    auto run = [&](UISize scroll, bool place) {
        return vertical ? LayoutLinear<true>(m_items, inner, m_childPadding, scroll, scale, place,
                                             m_bScrollEnabled)
                        : LayoutLinear<false>(m_items, inner, m_childPadding, scroll, scale, place, false);
    };
    const int avail = vertical ? inner.GetHeight() : inner.GetWidth();
    LinearPass pass;
    if (m_bScrollEnabled) {
        // The content length gives the range, and the offset is clamped before the children are
        // placed once.
        const int range = std::max(0, run({}, false).used - avail);
        m_scrollRange = vertical ? UISize{0, range} : UISize{range, 0};
        int& offset = vertical ? m_scrollPos.cy : m_scrollPos.cx;
        offset = std::clamp(offset, 0, range);
        pass = run(m_scrollPos, true);
    } else {
        pass = run({}, true);
        m_scrollRange = {};
        m_scrollPos = {};
    }
    // The children that meet the view, for painting and hit tests until the next change.
    m_viewFirst = pass.first;
    m_viewLast = pass.last;
    m_bViewKnown = vertical && m_bScrollEnabled;
    if (m_bScrollEnabled || m_pVScrollBar)
        PlaceScrollBar(inner, vertical, scale(CScrollBarUI::kWidth), scale(m_borderSize));
    m_bChildMoved = false;
}

std::wstring CVerticalLayoutUI::GetClass() const {
    return L"VerticalLayoutUI";
}
void CVerticalLayoutUI::LayoutChildren(const UIRect& inner) {
    LayoutLinearChildren(inner, true);
}

std::wstring CHorizontalLayoutUI::GetClass() const {
    return L"HorizontalLayoutUI";
}
void CHorizontalLayoutUI::LayoutChildren(const UIRect& inner) {
    LayoutLinearChildren(inner, false);
}

// ---- Tab layout --------------------------------------------------------------------------------
std::wstring CTabLayoutUI::GetClass() const {
    return L"TabLayoutUI";
}
int CTabLayoutUI::GetCurSel() const {
    CUILockGuard lock(UILock());
    return m_curSel;
}
void CTabLayoutUI::ApplySelection() {
    CUILockGuard lock(UILock());
    bool effective = m_bVisible && m_bInternVisible;
    for (int i = 0; i < static_cast<int>(m_items.size()); ++i)
        m_items[i]->SetInternVisible(effective && i == m_curSel);
}
void CTabLayoutUI::SetVisible(bool visible) {
    CControlUI::SetVisible(visible);
    ApplySelection();
}
void CTabLayoutUI::SetInternVisible(bool visible) {
    CControlUI::SetInternVisible(visible);
    ApplySelection();
}
bool CTabLayoutUI::SelectItem(int index) {
    int old;
    {
        CUILockGuard lock(UILock());
        if (index < 0 || index >= static_cast<int>(m_items.size())) return false;
        if (index == m_curSel) return true;
        old = m_curSel;
        m_curSel = index;
        ApplySelection();
    }
    NeedUpdate();
    SendNotify(L"tabselect", static_cast<uintptr_t>(index), old);
    return true;
}
bool CTabLayoutUI::SelectItem(CControlUI* control) {
    return SelectItem(GetItemIndex(control));
}
bool CTabLayoutUI::Add(CControlUI* control) {
    return AddAt(control, GetCount());
}
bool CTabLayoutUI::AddAt(CControlUI* control, int index) {
    if (!CContainerUI::AddAt(control, index)) return false;
    CUILockGuard lock(UILock());
    if (m_curSel < 0)
        m_curSel = 0;
    else if (index <= m_curSel)
        ++m_curSel;
    if (m_initialSel > 0 && m_initialSel == static_cast<int>(m_items.size()) - 1) {
        m_curSel = m_initialSel;
        m_initialSel = 0;
    }
    ApplySelection();
    return true;
}
bool CTabLayoutUI::Remove(CControlUI* control) {
    int index = GetItemIndex(control);
    if (index < 0) return false;
    CContainerUI::Remove(control);
    CUILockGuard lock(UILock());
    int count = static_cast<int>(m_items.size());
    if (count == 0)
        m_curSel = -1;
    else if (index < m_curSel || m_curSel >= count)
        m_curSel = std::max(0, m_curSel - 1);
    ApplySelection();
    return true;
}
void CTabLayoutUI::RemoveAll() {
    CContainerUI::RemoveAll();
    CUILockGuard lock(UILock());
    m_curSel = -1;
}
void CTabLayoutUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (Lower(name) == L"selectedid") {
        CUILockGuard lock(UILock());
        int index = UIParseInt(value);
        if (index >= 0 && index < static_cast<int>(m_items.size())) {
            m_curSel = index;
            ApplySelection();
        } else {
            // Applied when that page is added (layouts set it before their children).
            m_initialSel = index;
        }
        return;
    }
    CContainerUI::SetAttribute(name, value);
}
void CTabLayoutUI::LayoutChildren(const UIRect& inner) {
    CUILockGuard lock(UILock());
    for (CControlUI* c : m_items) {
        if (c->IsFloat()) continue;
        UIRect pad = c->GetPadding();
        c->SetPos(UIRect{inner.left + Scale(pad.left), inner.top + Scale(pad.top),
                         inner.right - Scale(pad.right), inner.bottom - Scale(pad.bottom)},
                  false);
    }
    m_scrollRange = {};
}
