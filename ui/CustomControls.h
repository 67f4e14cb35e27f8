// The factory of the program's own controls for the layouts: the main window's and the cut
// editor's CreateControl call it for every tag the UI library does not know.
#pragma once

#include <string>

class CControlUI;

// The control for a layout tag ("_ButtonEx", "VerticalLayoutEx", "MediaWndCut", "MediaWndExtract",
// "EditMediaWnd", "TimeControl"); nullptr for any other tag. The caller's tree owns the result.
CControlUI* CreateCustomControl(const std::wstring& tag);
