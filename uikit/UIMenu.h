// Pop-up menus: a window built from a menu layout ("menu.xml", "volume.xml"), placed with its
// top-left corner at a screen point. A click on a menu element posts UIMSG_MENUCLICK (1145) to
// the owner with the element's name and closes the menu. Every other notification of the menu's
// controls (a slider's "valuechanged", ...) goes to the owner's Notify. The menu closes when it
// loses the focus or on Escape, and deletes itself.
#pragma once

#include "uikit/UIList.h"
#include "uikit/UIWindow.h"

class CMenuElementUI : public CListContainerElementUI {
public:
    std::wstring GetClass() const override;
    bool Activate() override;
    void DoEvent(TEventUI& event) override;
};

class CMenuUI : public CWindowUI {
public:
    // Builds and shows a menu (any thread). Returns the menu window (it deletes itself when it
    // closes) or nullptr when the layout cannot be built.
    static CMenuUI* Show(CWindowUI* owner, const std::wstring& skinFile, UIPoint screenPt,
                         IBuilderCallbackUI* callback = nullptr);

    std::wstring GetWindowClassName() const override;
    std::wstring GetSkinFile() override;
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override;
    void OnFinalMessage() override;
    CControlUI* CreateControl(const std::wstring& tag) override;
    // A menu element was chosen: posts 1145 to the owner and closes.
    void ItemChosen(const std::wstring& name);

private:
    CMenuUI(CWindowUI* owner, std::wstring skinFile, IBuilderCallbackUI* callback);
    CWindowUI* m_owner;
    std::wstring m_skinFile;
    IBuilderCallbackUI* m_callback;
};
