#include "ui/CustomControls.h"

#include "uikit/UIlib.h"

namespace {

// Stand-ins until the real controls land: the right class names, plain behaviour.
class CStandInButtonExUI : public CButtonUI {
public:
    std::wstring GetClass() const override { return L"ButtonExtUI"; }
};
class CStandInVerticalLayoutExUI : public CVerticalLayoutUI {
public:
    std::wstring GetClass() const override { return L"VerticalLayoutExUI"; }
};
class CStandInMediaWndUI : public CControlUI {
public:
    std::wstring GetClass() const override { return L"MediaWndUI"; }
};
class CStandInStaticMediaWndUI : public CControlUI {
public:
    std::wstring GetClass() const override { return L"StaticMediaWndUI"; }
};
class CStandInTimeControlUI : public CControlUI {
public:
    std::wstring GetClass() const override { return L"TimeControlUI"; }
};

}  // namespace

CControlUI* CreateCustomControl(const std::wstring& tag) {
    if (tag == L"_ButtonEx") return new CStandInButtonExUI;
    if (tag == L"VerticalLayoutEx") return new CStandInVerticalLayoutExUI;
    if (tag == L"MediaWndCut" || tag == L"MediaWndExtract") return new CStandInMediaWndUI;
    if (tag == L"EditMediaWnd") return new CStandInStaticMediaWndUI;
    if (tag == L"TimeControl") return new CStandInTimeControlUI;
    return nullptr;
}
