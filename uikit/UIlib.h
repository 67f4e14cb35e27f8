// The whole UI library.
#pragma once

#include "uikit/UIBackend.h"
#include "uikit/UIBuilder.h"
#include "uikit/UIContainer.h"
#include "uikit/UIControl.h"
#include "uikit/UIControls.h"
#include "uikit/UIDefs.h"
#include "uikit/UIList.h"
#include "uikit/UIMenu.h"
#include "uikit/UIRender.h"
#include "uikit/UIScrollBar.h"
#include "uikit/UISkin.h"
#include "uikit/UIWindow.h"
