// Finding one's way in a list row built from a row layout: a named control inside the row, and
// the row that holds a control (a button of the row, a label, the row itself).
#pragma once

#include "uikit/UIContainer.h"
#include "uikit/UIList.h"

namespace rows {

// The control of that name inside the row; nullptr when the row is none or has no such control.
inline CControlUI* Child(CControlUI* row, const wchar_t* name) {
    auto* container = dynamic_cast<CContainerUI*>(row);
    return container ? container->FindSubControl(name) : nullptr;
}

// The row that holds the control, or the control itself when it is a row; nullptr outside rows.
inline CListContainerElementUI* RowOf(CControlUI* control) {
    for (CControlUI* c = control; c; c = c->GetParent()) {
        if (auto* row = dynamic_cast<CListContainerElementUI*>(c)) return row;
    }
    return nullptr;
}

}  // namespace rows
