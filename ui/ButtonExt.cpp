#include "ui/ButtonExt.h"

void CButtonExtUI::SetPos(const UIRect& rc, bool needInvalidate) {
    CButtonUI::SetPos(rc, needInvalidate);
    // A layout pass puts the tile back where the layout wants it: that is the new resting place.
    if (!m_selfMove) {
        m_rest = rc;
        m_hasRest = true;
        if (!m_lifting && !m_dropping) m_animating = false;
    }
}

void CButtonExtUI::MoveBy(int dy) {
    m_selfMove = true;
    const UIRect rc = GetPos();
    CButtonUI::SetPos(rc.Offset(0, dy), true);
    m_selfMove = false;
    m_animating = true;
}

void CButtonExtUI::StartLift() {
    if (m_lifting) return;
    m_lifting = true;
    SetTimer(kLiftTimer, kStepMs);
}

void CButtonExtUI::StartDrop() {
    if (m_dropping) return;
    m_dropping = true;
    SetTimer(kDropTimer, kStepMs);
}

void CButtonExtUI::StopLift() {
    KillTimer(kLiftTimer);
    m_lifting = false;
}

void CButtonExtUI::StopDrop() {
    KillTimer(kDropTimer);
    m_dropping = false;
}

void CButtonExtUI::DoEvent(TEventUI& event) {
    switch (event.Type) {
        case UIEventType::MouseEnter:
            StopDrop();
            // The resting rectangle is taken only while the tile rests; entering again during a
            // drop keeps the true resting place.
            if (!m_animating || !m_hasRest) {
                m_rest = GetPos();
                m_hasRest = true;
            }
            StartLift();
            break;
        case UIEventType::MouseLeave:
            StopLift();
            if (m_animating) StartDrop();
            break;
        case UIEventType::Timer:
            if (event.wParam == kLiftTimer) {
                if (GetPos().top > m_rest.top - Scale(kLiftHeight))
                    MoveBy(-1);
                else
                    StopLift();  // stays up until the pointer leaves
                return;
            }
            if (event.wParam == kDropTimer) {
                if (GetPos().bottom < m_rest.bottom) MoveBy(1);
                if (GetPos().bottom >= m_rest.bottom) {
                    StopDrop();
                    m_selfMove = true;
                    CButtonUI::SetPos(m_rest, true);
                    m_selfMove = false;
                    m_animating = false;
                }
                return;
            }
            break;
        default:
            break;
    }
    CButtonUI::DoEvent(event);
}
