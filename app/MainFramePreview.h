// The cut and extract previews of the main window: the media host with its player, the
// timeline (slider track with two cursors), the play buttons, the time label and the file shown.
#pragma once

#include <string>

#include "app/MainFrameWnd.h"
#include "common/MediaFacts.h"

class CMediaHost;

struct CMainFrameWnd::Preview {
    explicit Preview(int pageIndex) : page(pageIndex) {}

    // Finds the preview's controls in the window.
    void Bind(CWindowUI* wnd);
    // The host's player, or nullptr when the layout has no media host.
    CAVPlayer* Player() const;
    void ReleasePlayer();

    int page;
    CMediaHost* host = nullptr;
    CControlUI* hostControl = nullptr;
    CSliderUI* slider = nullptr;
    CControlUI* timeLabel = nullptr;
    CControlUI* leftCursor = nullptr;
    CControlUI* rightCursor = nullptr;
    CControlUI* track = nullptr;  // the cursors' container ("cutV", "ExtrcutV")
    CControlUI* playButton = nullptr;
    CControlUI* addButton = nullptr;
    CControlUI* fileLabel = nullptr;
    std::wstring source;        // the file shown (empty: none)
    MediaFacts facts;           // its probed facts
    std::wstring durationText;  // its length as a time code
    bool usePlayer = false;     // the player is opened on the source
    int lastLeft = 0;           // last cursor positions (device pixels)
    int lastRight = 0;
};
