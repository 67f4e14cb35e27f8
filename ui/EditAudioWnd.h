// The modal cut editor ("音频编辑"): previews one file with a player in a media host, lets the user
// choose a manual range with two cursors on a 320-px timeline (or typed start and end times), an
// even split into 2-10 parts, or pieces of a typed length, and hands back the chosen segments.
// Result 1 on "btok" (then GetSegments() holds the list), 2 on "btncancel" / "closebtn".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "uikit/UIlib.h"

class TimeFieldSet;
class CMediaWndUI;
class CAVPlayer;

// One segment chosen in the cut editor: output file name (name and extension, no folder), start
// as time-code text and length in milliseconds.
struct CutSegment {
    std::wstring fileName;
    std::wstring startTime;
    int32_t lengthMs = 0;
};

class CEditAudioWnd : public CWindowUI {
public:
    static constexpr wchar_t kCaption[] = L"音频编辑";
    static constexpr int kWidth = 720, kHeight = 530;
    // Layout constants (logical pixels).
    static constexpr int kTimelineWidth = 320;
    static constexpr int kCursorWidth = 6;
    static constexpr int kCursorHeight = 14;
    static constexpr int kFirstMarkX = 89;
    static constexpr int kMarkCount = 12;
    // Timers: cursors follow typed start (5), end (6) and length (7) after a second of quiet;
    // 10 ends the start-up guard.
    static constexpr uint32_t kTimerStart = 5, kTimerEnd = 6, kTimerLength = 7, kTimerStartup = 10;
    static constexpr uint32_t kTimerDpiHeld = 11;   // applies a scale change held back
    static constexpr int64_t kDpiIntervalMs = 100;  // at most one scale change per interval
    static constexpr uint32_t kTypingQuietMs = 1000;
    static constexpr uint32_t kStartupMs = 500;

    // `multiMode` 0: only the manual tab, the output name stays editable; 1: all three tabs, the
    // name is read-only.
    CEditAudioWnd(std::wstring sourcePath, int multiMode);
    ~CEditAudioWnd() override;

    // Creates the window owned by `owner`, centred, and runs it modally; returns the result.
    int Run(CWindowUI* owner);

    // The segments chosen with OK (empty before).
    const std::vector<CutSegment>& GetSegments() const { return m_segments; }

    uint32_t GetDuration() const { return m_duration; }
    int GetVolume() const { return m_volume; }
    CAVPlayer* GetPlayer() const;
    bool IsStartupGuard() const { return m_startupGuard; }
    bool IsSeekAllowed() const { return m_seekAllowed; }

    // Segment lists of the even split and the by-length split (names left empty).
    static std::vector<CutSegment> EvenPieces(uint32_t total, int parts);
    static std::vector<CutSegment> LengthPieces(uint32_t total, uint32_t length);

    std::wstring GetWindowClassName() const override { return L"EditAudioWnd"; }
    std::wstring GetSkinFile() override { return L"EditAudioWnd.xml"; }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override;
    CControlUI* CreateControl(const std::wstring& tag) override;

private:
    void PlaceCursorsAtEnds();
    void DragTo(int x);
    // Fraction of the timeline for a device offset from its left edge (clamped 0..1).
    double FractionOfOffset(int deviceOffset) const;
    void MoveCursor(CControlUI* cursor, int x, int top);
    void OnTimerStart();
    void OnTimerEnd();
    void OnTimerLength();
    // Takes a new display scale: layout, suggested rectangle, players resumed, seeking paused
    // until the length timer's next run.
    void ApplyDpiChange(int dpi, const UIRect* suggested);
    void ShowMarks(int parts);
    void HideMarks();
    void ShowCursors(bool show);
    int PartsForLength() const;
    void OnTabChanged(int tab);
    void RefreshPlayButton();
    void SetPlayImages(bool playing);
    void RefreshTimeDisplay();
    void ShowVolumePopup();
    void OnOk();
    void SeekPercent(double fraction);
    uint32_t TotalForCursors();
    int CurrentTab() const;

    std::wstring m_sourcePath;
    int m_multiMode;
    uint32_t m_duration = 0;
    std::wstring m_durationText;
    std::string m_utf8Path;
    int m_volume = 50;
    int m_screenDpi = 96;
    int64_t m_lastDpiChange = -1;
    bool m_dpiHeld = false;
    int m_heldDpi = 0;
    UIRect m_heldDpiRect{};
    bool m_heldDpiHasRect = false;
    int m_leftOffset = -1;
    int m_rightOffset = -1;
    bool m_otherCursorRefresh = false;
    bool m_textGuard = false;
    bool m_startupGuard = true;
    bool m_seekAllowed = true;
    CControlUI* m_dragged = nullptr;
    UIPoint m_leftAtDrag;
    UIPoint m_rightAtDrag;
    std::vector<CControlUI*> m_marks;
    std::vector<CutSegment> m_segments;
    std::unique_ptr<TimeFieldSet> m_fields;

    CMediaWndUI* m_media = nullptr;
    CControlUI* m_timeline = nullptr;
    CControlUI* m_status = nullptr;
    CControlUI* m_leftCursor = nullptr;
    CControlUI* m_rightCursor = nullptr;
    CControlUI* m_timeLabel = nullptr;
    CTabLayoutUI* m_tabs = nullptr;
    CComboUI* m_combo = nullptr;
    CWindowUI* m_volumeMenu = nullptr;  // the open volume pop-up, if any
};
