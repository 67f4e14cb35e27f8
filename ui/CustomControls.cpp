#include "ui/CustomControls.h"

#include "ui/ButtonExt.h"
#include "ui/MediaWnd.h"
#include "ui/TimeControl.h"
#include "ui/VerticalLayoutEx.h"

CControlUI* CreateCustomControl(const std::wstring& tag) {
    if (tag == L"_ButtonEx") return new CButtonExtUI;
    if (tag == L"VerticalLayoutEx") return new CVerticalLayoutExUI;
    if (tag == L"MediaWndCut" || tag == L"EditMediaWnd") return new CMediaWndUI;
    if (tag == L"MediaWndExtract") return new CStaticMediaWndUI;
    if (tag == L"TimeControl") return new CTimeControlUI;
    return nullptr;
}
