// Window message codes the program's own windows post to each other. The player's codes come
// from libvlc's event thread as posts only; everything else runs on the UI thread.
#pragma once

#include <cstdint>

// The preview player started playing (libvlc "playing").
constexpr uint32_t MSG_PLAYER_PLAYING = 2025;
// The preview player's position changed; wParam is the position in thousandths (0-1000).
constexpr uint32_t MSG_PLAYER_POSITION = 2026;
// The preview player reached the end of the media.
constexpr uint32_t MSG_PLAYER_ENDED = 2027;
// A notice for the main window to show (wParam: notice index).
constexpr uint32_t MSG_NOTICE = 2028;
// A batch of a tool page has finished.
constexpr uint32_t MSG_BATCH_DONE = 2029;
// Show the rights notice.
constexpr uint32_t MSG_SHOW_RIGHTS_NOTICE = 2030;
// A pop-up menu item was clicked (wParam points to the item's name).
constexpr uint32_t MSG_MENU_CLICK = 1145;  // same code as UIMSG_MENUCLICK
