#include "ui/VerticalLayoutEx.h"

#include <algorithm>

namespace {

int ScaleByWindow(const CControlUI* control, int logical) {
    CWindowUI* window = control->GetWindow();
    const int percent = window ? window->GetDPI().GetScale() : 100;
    return percent == 100 ? logical : logical * percent / 100;
}

}  // namespace

int CVerticalLayoutExUI::FullWidth() const {
    return std::max(0, GetPos().GetWidth());
}
int CVerticalLayoutExUI::StartWidth() const {
    return std::min(ScaleByWindow(this, kStartWidth), FullWidth());
}
int CVerticalLayoutExUI::StepWidth() const {
    return (FullWidth() - StartWidth()) / 10;
}

int CVerticalLayoutExUI::GetLineWidth() const {
    CControlUI* line = const_cast<CVerticalLayoutExUI*>(this)->FindSubControl(L"xxx");
    if (!line || !line->IsVisible()) return 0;
    return line->GetPos().GetWidth();
}

void CVerticalLayoutExUI::DoInit() {
    CVerticalLayoutUI::DoInit();
    HookChildren();
}

// The window sends enter/leave only to the control under the pointer, which is usually the option
// inside; the header follows its children's enter/leave to know when the pointer is over it.
void CVerticalLayoutExUI::HookChildren() {
    std::vector<CControlUI*> controls;
    CollectControls(&controls);
    for (CControlUI* c : controls) {
        if (c == this) continue;
        c->OnEvent([this](TEventUI& e) {
            if (e.Type == UIEventType::MouseEnter) {
                PointerEntered();
            } else if (e.Type == UIEventType::MouseLeave) {
                if (!GetPos().Contains(e.ptMouse)) PointerLeft();
            }
            return true;
        });
    }
}

bool CVerticalLayoutExUI::HasSelectedOption() const {
    for (int i = 0; i < GetCount(); ++i) {
        CControlUI* c = GetItemAt(i);
        if (c && c->GetClass() == L"OptionUI") {
            if (auto* option = dynamic_cast<COptionUI*>(c); option && option->IsSelected()) return true;
        }
    }
    return false;
}

void CVerticalLayoutExUI::PlaceLine(int width) {
    CControlUI* line = FindSubControl(L"xxx");
    if (!line) return;
    const UIRect rc = GetPos();
    width = std::clamp(width, 0, FullWidth());
    const int left = rc.left + (rc.GetWidth() - width) / 2;
    line->SetPos({left, rc.bottom - kLineHeight * ScaleByWindow(this, 100) / 100, left + width, rc.bottom},
                 true);
}

void CVerticalLayoutExUI::PointerEntered() {
    if (m_inside) return;
    m_inside = true;
    StopShrink();
    StartGrow();
}

void CVerticalLayoutExUI::PointerLeft() {
    if (!m_inside) return;
    m_inside = false;
    StopGrow();
    StartShrink();
}

void CVerticalLayoutExUI::StartGrow() {
    if (m_growing) return;
    CControlUI* line = FindSubControl(L"xxx");
    if (!line) return;
    m_growing = true;
    if (!HasSelectedOption()) {
        line->SetVisible(true);
        m_lineWidth = StartWidth();
        PlaceLine(m_lineWidth);
    }
    SetTimer(kGrowTimer, kStepMs);
}

void CVerticalLayoutExUI::StartShrink() {
    if (m_shrinking) return;
    m_shrinking = true;
    SetTimer(kShrinkTimer, kStepMs);
}

void CVerticalLayoutExUI::StopGrow() {
    KillTimer(kGrowTimer);
    m_growing = false;
}

void CVerticalLayoutExUI::StopShrink() {
    KillTimer(kShrinkTimer);
    m_shrinking = false;
}

void CVerticalLayoutExUI::DoEvent(TEventUI& event) {
    switch (event.Type) {
        case UIEventType::MouseEnter:
            PointerEntered();
            return;
        case UIEventType::MouseLeave:
            if (!GetPos().Contains(event.ptMouse)) PointerLeft();
            return;
        case UIEventType::Timer:
            if (event.wParam == kGrowTimer) {
                if (HasSelectedOption()) {
                    StopGrow();
                    return;
                }
                m_lineWidth = std::min(FullWidth(), m_lineWidth + 2 * StepWidth());
                PlaceLine(m_lineWidth);
                if (m_lineWidth >= FullWidth() || StepWidth() <= 0) StopGrow();
                return;
            }
            if (event.wParam == kShrinkTimer) {
                if (HasSelectedOption()) {
                    StopShrink();
                    return;
                }
                m_lineWidth -= 2 * StepWidth();
                if (m_lineWidth <= StartWidth() || StepWidth() <= 0) {
                    StopShrink();
                    m_lineWidth = 0;
                    if (CControlUI* line = FindSubControl(L"xxx")) line->SetVisible(false);
                } else {
                    PlaceLine(m_lineWidth);
                }
                return;
            }
            break;
        default:
            break;
    }
    CVerticalLayoutUI::DoEvent(event);
}

void CVerticalLayoutExUI::SetPos(const UIRect& rc, bool needInvalidate) {
    CVerticalLayoutUI::SetPos(rc, needInvalidate);
    // A layout pass places "xxx" by its attributes; keep the animated or selected underline,
    // within the header's new width.
    if (HasSelectedOption()) {
        PlaceLine(FullWidth());
    } else if (m_lineWidth > 0) {
        m_lineWidth = std::min(m_lineWidth, FullWidth());
        PlaceLine(m_lineWidth);
    }
}

void CVerticalLayoutExUI::DoPaint(IRenderUI& render, const UIRect& paintRect) {
    if (HasSelectedOption()) {
        if (CControlUI* line = FindSubControl(L"xxx")) {
            if (!line->IsOwnVisible()) line->SetVisible(true);
            const UIRect rc = GetPos();
            const UIRect full{rc.left, rc.bottom - kLineHeight * ScaleByWindow(this, 100) / 100, rc.right,
                              rc.bottom};
            if (line->GetPos() != full) line->SetPos(full, false);
        }
    }
    CVerticalLayoutUI::DoPaint(render, paintRect);
}
