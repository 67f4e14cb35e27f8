// Lists: a vertical, scrollable container of list elements with one selected element.
#pragma once

#include "uikit/UIContainer.h"

class CListContainerElementUI;

// A click on an element sends "itemclick" (sender: the element) and selects it; a change of the
// selection sends "itemselect" from the list (wParam = new index, lParam = old index).
class CListUI : public CVerticalLayoutUI {
public:
    CListUI();
    std::wstring GetClass() const override;
    int GetCurSel() const;
    bool SelectItem(int index, bool notify = true);
    // The selected element (or nullptr).
    CListContainerElementUI* GetSelectedElement() const;
    bool Add(CControlUI* control) override;
    bool AddAt(CControlUI* control, int index) override;
    bool Remove(CControlUI* control) override;
    bool RemoveAt(int index) override;
    void RemoveAll() override;
    uint32_t GetItemBkColor() const;
    uint32_t GetItemHotBkColor() const;
    uint32_t GetItemSelectedBkColor() const;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void DoEvent(TEventUI& event) override;

private:
    // Gives the rows from `from` on their index and selected state.
    void Reindex(int from);
    int m_curSel = -1;
    uint32_t m_itemBkColor = 0, m_itemHotBkColor = 0, m_itemSelectedBkColor = 0;
};

// One row of a list: a horizontal layout whose children are laid out like any other layout.
class CListContainerElementUI : public CHorizontalLayoutUI {
public:
    std::wstring GetClass() const override;
    CListUI* GetOwnerList() const;  // the list it is in (nullptr when not in a list)
    int GetIndex() const;
    void SetIndex(int index);
    bool IsSelected() const;
    bool Select(bool select = true);       // through the owning list
    void SetSelectedState(bool selected);  // list internal
    bool Activate() override;
    void DoEvent(TEventUI& event) override;
    void PaintBkColor(IRenderUI& render) override;

protected:
    int m_index = -1;
    bool m_bSelected = false;
};
