// The vertical scroll bar of a scrolling container (a list's body, a scrolling vertical layout).
// It lies over the right edge of the container's view, so the rows keep their layout, and is
// shown only while the content is longer than the view. The container owns it, places it at each
// layout and hit-tests it before its rows; it is not one of the container's items.
#pragma once

#include <cstdint>

#include "uikit/UIControl.h"

class CContainerUI;

// Thumb geometry along the track: the thumb's length is the view's share of the content (never
// below `minThumb` nor above the track) and its offset follows the scroll position. All values are
// device pixels; `pos` is clamped to [0, range].
struct UIScrollGeometry {
    int thumbOffset = 0;  // from the top of the track
    int thumbLength = 0;
    static UIScrollGeometry Compute(int trackLength, int viewLength, int range, int pos, int minThumb);
    // The scroll position for a thumb moved by `delta` pixels from where it was at `startPos`.
    static int PosForDrag(int trackLength, int thumbLength, int range, int startPos, int delta);
};

class CScrollBarUI : public CControlUI {
public:
    // Logical sizes: the bar's width over the view's edge, the painted track inside it, the
    // shortest thumb.
    static constexpr int kWidth = 8;
    static constexpr int kTrackMargin = 1;
    static constexpr int kMinThumb = 24;
    // Colours: a light track, a thumb of the secondary text colour, half covering at rest and full
    // under the pointer or while dragged.
    static constexpr uint32_t kTrackColor = 0xFFF5F7FA;
    static constexpr uint32_t kThumbColor = 0x808A94A6;
    static constexpr uint32_t kThumbHotColor = 0xFF8A94A6;
    // Holding the button on the track pages again after a pause, then at a steady pace, until the
    // thumb reaches the pointer.
    static constexpr uint32_t kRepeatTimer = 0x5C01;
    static constexpr uint32_t kRepeatDelayMs = 400;
    static constexpr uint32_t kRepeatIntervalMs = 60;

    explicit CScrollBarUI(CContainerUI* owner);
    std::wstring GetClass() const override;
    CContainerUI* GetOwner() const;

    // The painted track and thumb (device pixels; empty while the bar is hidden).
    UIRect GetTrackRect() const;
    UIRect GetThumbRect() const;
    bool IsThumbHot() const;
    bool IsDragging() const;
    bool IsPaging() const;  // the button is held on the track

    uint32_t GetTrackColor() const;
    void SetTrackColor(uint32_t argb);
    uint32_t GetThumbColor() const;
    void SetThumbColor(uint32_t argb);
    uint32_t GetThumbHotColor() const;
    void SetThumbHotColor(uint32_t argb);

    // A press on the thumb starts a drag that scrolls proportionally until the button is released;
    // a press on the track above or below the thumb pages by one view height (and again while it
    // is held). Wheel and keys go to the owner.
    void DoEvent(TEventUI& event) override;
    void DoPaint(IRenderUI& render, const UIRect& paintRect) override;

    // Library internals, under the lock: the owner places the bar (without counting it as a moved
    // child) and tells the length of its view.
    void Place(const UIRect& rc, int viewLength);

private:
    UIScrollGeometry Geometry() const;  // under the lock
    UIRect TrackRect() const;           // under the lock
    void ScrollTo(int pos);
    void SetThumbHot(bool hot);
    // One page towards the held pointer; false (and the paging ends) once the thumb is under it.
    bool PageTowardsPointer();
    void StopPaging();

    CContainerUI* m_pOwner;
    int m_viewLength = 0;
    bool m_bThumbHot = false;
    bool m_bDragging = false;
    int m_dragStartY = 0;
    int m_dragStartPos = 0;
    int m_pageDir = 0;  // -1 up, +1 down while the button is held on the track
    int m_pageY = 0;    // where the pointer holds it
    bool m_bRepeating = false;
    uint32_t m_trackColor = kTrackColor;
    uint32_t m_thumbColor = kThumbColor;
    uint32_t m_thumbHotColor = kThumbHotColor;
};
