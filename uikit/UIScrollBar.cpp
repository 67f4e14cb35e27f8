#include "uikit/UIScrollBar.h"

#include <algorithm>

#include "uikit/UIContainer.h"
#include "uikit/UIInternal.h"

namespace {
// a * b / c rounded to the nearest integer (c > 0), without overflow for pixel lengths.
int MulDivRound(int64_t a, int64_t b, int64_t c) {
    const int64_t v = a * b;
    return static_cast<int>(v >= 0 ? (v + c / 2) / c : -((-v + c / 2) / c));
}
}  // namespace

UIScrollGeometry UIScrollGeometry::Compute(int trackLength, int viewLength, int range, int pos,
                                           int minThumb) {
    UIScrollGeometry g;
    if (trackLength <= 0) return g;
    if (range <= 0 || viewLength <= 0) {
        g.thumbLength = trackLength;
        return g;
    }
    const int content = viewLength + range;
    g.thumbLength = std::clamp(MulDivRound(trackLength, viewLength, content), std::min(minThumb, trackLength),
                               trackLength);
    const int free = trackLength - g.thumbLength;
    g.thumbOffset = MulDivRound(free, std::clamp(pos, 0, range), range);
    return g;
}

int UIScrollGeometry::PosForDrag(int trackLength, int thumbLength, int range, int startPos, int delta) {
    const int free = trackLength - thumbLength;
    if (range <= 0) return 0;
    if (free <= 0) return std::clamp(startPos, 0, range);
    return std::clamp(startPos + MulDivRound(delta, range, free), 0, range);
}

CScrollBarUI::CScrollBarUI(CContainerUI* owner) : m_pOwner(owner) {
    m_bKeyboardEnabled = false;
}

std::wstring CScrollBarUI::GetClass() const {
    return L"ScrollBarUI";
}

CContainerUI* CScrollBarUI::GetOwner() const {
    return m_pOwner;
}

void CScrollBarUI::Place(const UIRect& rc, int viewLength) {
    CUILockGuard lock(UILock());
    m_rcItem = rc.Clamped();
    m_viewLength = std::max(0, viewLength);
    if (m_rcItem.IsEmpty()) {
        // Hidden: a drag or a held page ends here; the repeat timer stops at its next tick.
        m_bDragging = false;
        m_bThumbHot = false;
        m_pageDir = 0;
    }
}

UIRect CScrollBarUI::TrackRect() const {
    if (m_rcItem.IsEmpty()) return {};
    const int margin = Scale(kTrackMargin);
    UIRect rc{m_rcItem.left + margin, m_rcItem.top + margin, m_rcItem.right - margin,
              m_rcItem.bottom - margin};
    return rc.IsEmpty() ? m_rcItem : rc;
}

UIScrollGeometry CScrollBarUI::Geometry() const {
    const UIRect track = TrackRect();
    const UISize range = m_pOwner->GetScrollRange();
    const UISize pos = m_pOwner->GetScrollPos();
    return UIScrollGeometry::Compute(track.GetHeight(), m_viewLength, range.cy, pos.cy, Scale(kMinThumb));
}

UIRect CScrollBarUI::GetTrackRect() const {
    CUILockGuard lock(UILock());
    return TrackRect();
}

UIRect CScrollBarUI::GetThumbRect() const {
    CUILockGuard lock(UILock());
    const UIRect track = TrackRect();
    if (track.IsEmpty()) return {};
    const UIScrollGeometry g = Geometry();
    return UIRect{track.left, track.top + g.thumbOffset, track.right,
                  track.top + g.thumbOffset + g.thumbLength};
}

bool CScrollBarUI::IsThumbHot() const {
    CUILockGuard lock(UILock());
    return m_bThumbHot;
}
bool CScrollBarUI::IsDragging() const {
    CUILockGuard lock(UILock());
    return m_bDragging;
}

UI_PROP_GET(uint32_t, CScrollBarUI::GetTrackColor, m_trackColor)
UI_PROP_SET_PAINT(uint32_t, CScrollBarUI::SetTrackColor, m_trackColor)
UI_PROP_GET(uint32_t, CScrollBarUI::GetThumbColor, m_thumbColor)
UI_PROP_SET_PAINT(uint32_t, CScrollBarUI::SetThumbColor, m_thumbColor)
UI_PROP_GET(uint32_t, CScrollBarUI::GetThumbHotColor, m_thumbHotColor)
UI_PROP_SET_PAINT(uint32_t, CScrollBarUI::SetThumbHotColor, m_thumbHotColor)

void CScrollBarUI::SetThumbHot(bool hot) {
    {
        CUILockGuard lock(UILock());
        if (m_bThumbHot == hot) return;
        m_bThumbHot = hot;
    }
    Invalidate();
}

bool CScrollBarUI::IsPaging() const {
    CUILockGuard lock(UILock());
    return m_pageDir != 0;
}

bool CScrollBarUI::PageTowardsPointer() {
    int to = 0;
    {
        CUILockGuard lock(UILock());
        const UIRect thumb = GetThumbRect();
        const int pos = m_pOwner->GetScrollPos().cy;
        const bool towards =
            (m_pageDir < 0 && m_pageY < thumb.top) || (m_pageDir > 0 && m_pageY >= thumb.bottom);
        if (!towards || thumb.IsEmpty()) {
            m_pageDir = 0;
        } else {
            to = pos + m_pageDir * m_viewLength;
        }
    }
    if (!IsPaging()) {
        KillTimer(kRepeatTimer);
        return false;
    }
    ScrollTo(to);
    return true;
}

void CScrollBarUI::StopPaging() {
    {
        CUILockGuard lock(UILock());
        m_pageDir = 0;
        m_bRepeating = false;
    }
    KillTimer(kRepeatTimer);
}

void CScrollBarUI::ScrollTo(int pos) {
    UISize p = m_pOwner->GetScrollPos();
    p.cy = pos;
    m_pOwner->SetScrollPos(p);
}

void CScrollBarUI::DoEvent(TEventUI& event) {
    const UIPoint pt = event.ptMouse;
    switch (event.Type) {
        case UIEventType::ButtonDown:
        case UIEventType::DoubleClick: {
            bool paging = false;
            {
                CUILockGuard lock(UILock());
                if (m_rcItem.IsEmpty()) return;
                const UIRect thumb = GetThumbRect();
                if (pt.y >= thumb.top && pt.y < thumb.bottom) {
                    m_bDragging = true;
                    m_dragStartY = pt.y;
                    m_dragStartPos = m_pOwner->GetScrollPos().cy;
                } else {
                    paging = true;
                    m_pageDir = pt.y < thumb.top ? -1 : 1;
                    m_pageY = pt.y;
                    m_bRepeating = false;
                }
            }
            if (!paging) {
                Invalidate();
            } else if (PageTowardsPointer()) {
                SetTimer(kRepeatTimer, kRepeatDelayMs);
            }
            return;
        }
        case UIEventType::Timer:
            if (event.wParam != kRepeatTimer) break;
            if (!PageTowardsPointer()) return;
            if (!m_bRepeating) {
                m_bRepeating = true;
                KillTimer(kRepeatTimer);
                SetTimer(kRepeatTimer, kRepeatIntervalMs);
            }
            return;
        case UIEventType::MouseMove: {
            bool dragging = false;
            int dragTo = 0;
            {
                CUILockGuard lock(UILock());
                if (m_bDragging) {
                    dragging = true;
                    const UIRect track = TrackRect();
                    const UIScrollGeometry g = Geometry();
                    dragTo = UIScrollGeometry::PosForDrag(track.GetHeight(), g.thumbLength,
                                                          m_pOwner->GetScrollRange().cy, m_dragStartPos,
                                                          pt.y - m_dragStartY);
                }
            }
            if (dragging) ScrollTo(dragTo);
            {
                CUILockGuard lock(UILock());
                if (m_pageDir != 0) m_pageY = pt.y;
            }
            SetThumbHot(GetThumbRect().Contains(pt));
            return;
        }
        case UIEventType::ButtonUp: {
            bool was;
            {
                CUILockGuard lock(UILock());
                was = m_bDragging;
                m_bDragging = false;
            }
            if (was) Invalidate();
            StopPaging();
            SetThumbHot(GetThumbRect().Contains(pt));
            return;
        }
        case UIEventType::MouseEnter:
            SetThumbHot(GetThumbRect().Contains(pt));
            return;
        case UIEventType::MouseLeave:
            SetThumbHot(false);
            return;
        case UIEventType::RButtonDown:
            return;
        default:
            break;
    }
    CControlUI::DoEvent(event);
}

void CScrollBarUI::DoPaint(IRenderUI& render, const UIRect& paintRect) {
    CUILockGuard lock(UILock());
    const UIRect track = TrackRect();
    if (track.IsEmpty() || track.Intersect(paintRect).IsEmpty()) return;
    const int radius = track.GetWidth() / 2;
    render.FillRoundRect(track, radius, radius, m_trackColor);
    const UIRect thumb = GetThumbRect();
    if (!thumb.IsEmpty())
        render.FillRoundRect(thumb, radius, radius,
                             m_bThumbHot || m_bDragging ? m_thumbHotColor : m_thumbColor);
}
