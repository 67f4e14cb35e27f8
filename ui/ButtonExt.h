// A tool tile button that lifts by four pixels while the pointer is over it and drops back to its
// resting rectangle when the pointer leaves. Each one-pixel step is a 30 ms timer of the control,
// so every move happens on the UI thread and stopping an animation takes effect at once.
#pragma once

#include "uikit/UIlib.h"

class CButtonExtUI : public CButtonUI {
public:
    static constexpr uint32_t kLiftTimer = 1;
    static constexpr uint32_t kDropTimer = 2;
    static constexpr uint32_t kStepMs = 30;
    static constexpr int kLiftHeight = 4;  // logical pixels

    std::wstring GetClass() const override { return L"ButtonExtUI"; }
    void DoEvent(TEventUI& event) override;
    void SetPos(const UIRect& rc, bool needInvalidate = true) override;

    bool IsLifting() const { return m_lifting; }
    bool IsDropping() const { return m_dropping; }
    UIRect GetRestRect() const { return m_rest; }

private:
    void StartLift();
    void StartDrop();
    void StopLift();
    void StopDrop();
    void MoveBy(int dy);

    UIRect m_rest;
    bool m_hasRest = false;
    bool m_lifting = false;
    bool m_dropping = false;
    bool m_animating = false;  // true while the control is off its resting rectangle by our moves
    bool m_selfMove = false;
};
