#include "ui/DialogDpi.h"

#include "uikit/UIBackend.h"
#include "uikit/UIWindow.h"

void CDialogDpi::ApplyScreenDpi() {
    if (IBackendUI* backend = CAppUI::GetBackend()) m_window->ApplyDPI(backend->GetScreenDpi());
}

void CDialogDpi::Apply(int dpi, const UIRect* suggested) {
    m_window->ApplyDPI(dpi);
    if (suggested) m_window->MoveWindow(*suggested);
    m_lastApplied = CAppUI::Now();
    m_applied = true;
}

intptr_t CDialogDpi::HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) {
    if (msg == UIMSG_DPICHANGED) {
        handled = true;
        int dpi = static_cast<int>(wParam);
        const UIRect* suggested = reinterpret_cast<const UIRect*>(lParam);
        uint64_t now = CAppUI::Now();
        if (!m_applied || now - m_lastApplied >= kMinIntervalMs) {
            m_held = false;
            m_window->KillTimer(kTimerId);
            Apply(dpi, suggested);
            return 0;
        }
        // Too soon after the last change: keep the newest one for the end of the interval.
        m_heldDpi = dpi;
        m_heldHasRect = suggested != nullptr;
        if (suggested) m_heldRect = *suggested;
        if (!m_held) {
            m_held = true;
            m_window->SetTimer(kTimerId, static_cast<uint32_t>(kMinIntervalMs - (now - m_lastApplied)));
        }
        return 0;
    }
    if (msg == UIMSG_TIMER && wParam == kTimerId) {
        handled = true;
        m_window->KillTimer(kTimerId);
        if (m_held) {
            m_held = false;
            Apply(m_heldDpi, m_heldHasRect ? &m_heldRect : nullptr);
        }
        return 0;
    }
    return 0;
}
