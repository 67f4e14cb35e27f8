// A tab header: a vertical layout holding an option and a 3-pixel label named "xxx" used as its
// underline. While the pointer is over the header the underline grows from the middle to the
// header's own width in ten steps; when it leaves, it shrinks and disappears. A selected option
// keeps a full underline. The underline never reaches beyond the header, however narrow it is.
// Steps are 30 ms timers of the control (UI thread only).
#pragma once

#include "uikit/UIlib.h"

class CVerticalLayoutExUI : public CVerticalLayoutUI {
public:
    static constexpr uint32_t kGrowTimer = 1;
    static constexpr uint32_t kShrinkTimer = 2;
    static constexpr uint32_t kStepMs = 30;
    static constexpr int kStartWidth = 22;  // logical pixels
    static constexpr int kLineHeight = 3;

    std::wstring GetClass() const override { return L"VerticalLayoutEx"; }
    void DoInit() override;
    void DoEvent(TEventUI& event) override;
    void SetPos(const UIRect& rc, bool needInvalidate = true) override;
    void DoPaint(IRenderUI& render, const UIRect& paintRect) override;

    bool IsGrowing() const { return m_growing; }
    bool IsShrinking() const { return m_shrinking; }
    // The underline's current width in device pixels (0 when hidden).
    int GetLineWidth() const;

private:
    void PointerEntered();
    void PointerLeft();
    void StartGrow();
    void StartShrink();
    void StopGrow();
    void StopShrink();
    // Widths in device pixels: the header's width, the first step (at most the header's width)
    // and the growth of one step.
    int FullWidth() const;
    int StartWidth() const;
    int StepWidth() const;
    bool HasSelectedOption() const;
    // Places "xxx" centred at the bottom with the given width (at most the header's).
    void PlaceLine(int width);
    void HookChildren();

    bool m_inside = false;
    bool m_growing = false;
    bool m_shrinking = false;
    int m_lineWidth = 0;  // width of the animated underline, device pixels; 0 = hidden
};
