// Containers: the plain container (children fill it), vertical and horizontal layouts and the tab
// layout. A container owns its children and deletes them when they are removed (unless
// SetAutoDestroy(false)); controls removed while their window dispatches input are deleted after
// the dispatch, so a handler may remove the row whose button it is handling.
#pragma once

#include <utility>
#include <vector>

#include "uikit/UIControl.h"

class CScrollBarUI;

class CContainerUI : public CControlUI {
public:
    CContainerUI();
    ~CContainerUI() override;
    std::wstring GetClass() const override;

    CControlUI* GetItemAt(int index) const;
    int GetItemIndex(CControlUI* control) const;  // -1 when not a child
    bool SetItemIndex(CControlUI* control, int index);
    int GetCount() const;
    virtual bool Add(CControlUI* control);
    virtual bool AddAt(CControlUI* control, int index);
    virtual bool Remove(CControlUI* control);
    virtual bool RemoveAt(int index);
    virtual void RemoveAll();
    // Depth-first lookup by name below this container (the container itself is not matched).
    CControlUI* FindSubControl(const std::wstring& name) const;
    bool IsAutoDestroy() const;
    void SetAutoDestroy(bool autoDestroy);

    UIRect GetInset() const;  // inner margin (logical)
    void SetInset(const UIRect& rc);
    int GetChildPadding() const;  // gap between children (logical)
    void SetChildPadding(int padding);

    // Scrolling (lists and scrollable layouts): offset of the content in device pixels.
    UISize GetScrollPos() const;
    void SetScrollPos(UISize pos);
    UISize GetScrollRange() const;  // content size minus view size (0 when it fits)
    bool IsScrollEnabled() const;
    void SetScrollEnabled(bool enabled);
    void LineUp();
    void LineDown();
    // Scrolls so that a child is inside the view.
    void EnsureVisible(CControlUI* child);
    // The vertical scroll bar over the right edge of the view of a scrolling vertical layout: shown
    // while the content is longer than the view, hidden (and taking no room) otherwise. nullptr
    // until a layout first needed it. The rows under it keep their layout; the pointer reaches
    // the bar there only while it is shown.
    CScrollBarUI* GetVerticalScrollBar() const;
    bool IsVScrollBarShown() const;
    // "showscrollbar": false keeps the wheel scrolling but shows no bar (default true).
    bool IsScrollBarAllowed() const;
    void SetScrollBarAllowed(bool allowed);

    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void SetPos(const UIRect& rc, bool needInvalidate = true) override;
    void SetWindow(CWindowUI* window, CControlUI* parent, bool init = true) override;
    // Showing or hiding a container shows or hides its children with it.
    void SetVisible(bool visible = true) override;
    void SetInternVisible(bool visible = true) override;
    CControlUI* FindControlByName(const std::wstring& name) override;
    CControlUI* FindControlAt(UIPoint pt) override;
    void CollectControls(std::vector<CControlUI*>* out) override;
    void DoEvent(TEventUI& event) override;
    void DoPaint(IRenderUI& render, const UIRect& paintRect) override;

    // Layout of the children inside `rc` (the container's rectangle minus its inset). The plain
    // container gives every child the whole inner rectangle (fixed sizes anchor at the top left).
    virtual void LayoutChildren(const UIRect& inner);
    // Places float children by their "pos", relative to this container's rectangle.
    void LayoutFloatChildren();
    // Library internals: lays out children whose layout was deferred; answers whether this
    // subtree may be placed that way.
    void FlushDeferredLayout() override;
    bool ComputeLayoutDeferrable() const override;

protected:
    void ReleaseChild(CControlUI* control);
    UIRect InnerRect() const;  // m_rcItem minus the scaled inset
    // The vertical or horizontal layout of the children (scrolling when enabled).
    void LayoutLinearChildren(const UIRect& inner, bool vertical);
    // The children changed: the layout's record of what meets the view is void.
    void ChildrenChanged();
    std::pair<int, int> ViewRange() const;  // under the lock
    // Shows, places or hides the vertical bar after a linear layout (under the lock).
    void PlaceScrollBar(const UIRect& inner, bool vertical, int barWidth, int border);
    CScrollBarUI* EnsureScrollBar();  // under the lock

    std::vector<CControlUI*> m_items;
    bool m_bAutoDestroy = true;
    UIRect m_rcInset;
    int m_childPadding = 0;
    bool m_bScrollEnabled = false;
    UISize m_scrollPos;
    UISize m_scrollRange;
    CScrollBarUI* m_pVScrollBar = nullptr;  // owned; not one of m_items
    bool m_bScrollBarAllowed = true;
    bool m_bVScrollShown = false;
    // Children [m_viewFirst, m_viewLast] met the view at the last layout of a scrolling vertical
    // layout: painting and hit tests look only at those while nothing moved since.
    bool m_bViewKnown = false;
    int m_viewFirst = -1;
    int m_viewLast = -1;
};

class CVerticalLayoutUI : public CContainerUI {
public:
    std::wstring GetClass() const override;
    void LayoutChildren(const UIRect& inner) override;
};

class CHorizontalLayoutUI : public CContainerUI {
public:
    std::wstring GetClass() const override;
    void LayoutChildren(const UIRect& inner) override;
};

// Shows one child at a time; the others are hidden. SelectItem sends "tabselect" (wParam = new
// index, lParam = old index) when the selection changes.
class CTabLayoutUI : public CContainerUI {
public:
    std::wstring GetClass() const override;
    int GetCurSel() const;
    bool SelectItem(int index);
    bool SelectItem(CControlUI* control);
    bool Add(CControlUI* control) override;
    bool AddAt(CControlUI* control, int index) override;
    bool Remove(CControlUI* control) override;
    void RemoveAll() override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void SetVisible(bool visible = true) override;
    void SetInternVisible(bool visible = true) override;
    void LayoutChildren(const UIRect& inner) override;

private:
    void ApplySelection();
    int m_curSel = -1;
    int m_initialSel = 0;  // "selectedid" given before that page was added
};
