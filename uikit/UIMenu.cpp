#include "uikit/UIMenu.h"

#include "uikit/UIBackend.h"

std::wstring CMenuElementUI::GetClass() const {
    return L"MenuElementUI";
}

bool CMenuElementUI::Activate() {
    if (!CControlUI::Activate()) return false;
    SendNotify(L"itemclick");
    if (auto* menu = dynamic_cast<CMenuUI*>(GetWindow())) menu->ItemChosen(GetName());
    return true;
}

void CMenuElementUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEventType::ButtonUp) {
        if (IsEnabled() && GetPos().Contains(event.ptMouse)) Activate();
        return;
    }
    if (event.Type == UIEventType::ButtonDown) return;
    CListContainerElementUI::DoEvent(event);
}

CMenuUI::CMenuUI(CWindowUI* owner, std::wstring skinFile, IBuilderCallbackUI* callback)
    : m_owner(owner), m_skinFile(std::move(skinFile)), m_callback(callback) {}

CMenuUI* CMenuUI::Show(CWindowUI* owner, const std::wstring& skinFile, UIPoint screenPt,
                       IBuilderCallbackUI* callback) {
    CMenuUI* menu = nullptr;
    CAppUI::Invoke([&] {
        auto* m = new CMenuUI(owner, skinFile, callback);
        if (!m->Create(owner, L"", screenPt.x, screenPt.y, 0, 0)) {
            delete m;
            return;
        }
        m->ShowWindow(true, true);
        menu = m;
    });
    return menu;
}

std::wstring CMenuUI::GetWindowClassName() const {
    return L"UIMenu";
}
std::wstring CMenuUI::GetSkinFile() {
    return m_skinFile;
}

CControlUI* CMenuUI::CreateControl(const std::wstring& tag) {
    if (m_callback) return m_callback->CreateControl(tag);
    if (m_owner && CAppUI::IsWindowAlive(m_owner)) return m_owner->CreateControl(tag);
    return nullptr;
}

void CMenuUI::Notify(TNotifyUI& msg) {
    // The owner handles what happens inside its pop-up (sliders, options, ...).
    if (msg.sType == L"windowinit") return;
    if (m_owner && CAppUI::IsWindowAlive(m_owner)) m_owner->Notify(msg);
}

intptr_t CMenuUI::HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t, bool& handled) {
    handled = false;
    if (msg == UIMSG_KILLFOCUS || (msg == UIMSG_KEYDOWN && wParam == UIKEY_ESCAPE)) {
        Close(0);
        handled = true;
    }
    return 0;
}

void CMenuUI::ItemChosen(const std::wstring& name) {
    if (m_owner && CAppUI::IsWindowAlive(m_owner)) m_owner->PostMessageWithText(UIMSG_MENUCLICK, name);
    Close(1);
}

void CMenuUI::OnFinalMessage() {
    delete this;
}
