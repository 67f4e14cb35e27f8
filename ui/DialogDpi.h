// The display-scale rule shared by the dialogs: a dialog takes the screen's DPI when it opens and
// follows DPI changes, applying at most one change per 100 ms. A change that arrives sooner is
// kept and applied when the 100 ms are over, so the dialog always ends at the last DPI.
#pragma once

#include <cstdint>

#include "uikit/UIDefs.h"

class CWindowUI;

class CDialogDpi {
public:
    // The shortest time between two applied changes, and the window timer that applies a change
    // held back.
    static constexpr uint64_t kMinIntervalMs = 100;
    static constexpr uint32_t kTimerId = 0x7D10;

    explicit CDialogDpi(CWindowUI* window) : m_window(window) {}

    // Applies the screen's DPI (call from InitWindow).
    void ApplyScreenDpi();
    // Call first from the window's HandleMessage: handles DPI changes and its own timer.
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled);

private:
    void Apply(int dpi, const UIRect* suggested);

    CWindowUI* m_window;
    uint64_t m_lastApplied = 0;
    bool m_applied = false;
    bool m_held = false;
    int m_heldDpi = 0;
    UIRect m_heldRect{};
    bool m_heldHasRect = false;
};
