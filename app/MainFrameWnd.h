// The program's one main window ("main.xml", window class "SoniverterWnd"): the home view with
// the eight tool tiles, the tool view with one page per tool, the output-folder choice, the start
// button and its countdown, the cut and extract previews with their timelines, and the routing
// of every notification and of the messages that rows, batch threads and players post back.
// The rows themselves belong to CTaskList, the batches to CBatchHandlers.
//
// The window runs on any backend of the UI library: the program shows it through Qt, the tests
// and tonewright-cli create it on the headless backend (without the updater and, if wished,
// without preview players).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/MediaFacts.h"
#include "ui/DialogDpi.h"
#include "uikit/UIlib.h"

class CTaskList;
class CBatchHandlers;
class CAVPlayer;
class TimeFieldSet;

// The product's display title: the window title and part of the single-instance key.
extern const wchar_t* const kMainWindowTitle;
// The window class name, also the name of the single-instance channel.
extern const wchar_t* const kMainWindowClass;

struct MainFrameOptions {
    // Starts the updater during initialisation (off in tests and the CLI).
    bool startUpdater = true;
    // Creates the cut and extract preview players (off: previews only move the timeline).
    bool createPlayers = true;
    // Extra libvlc arguments for the preview players (tests pass the dummy outputs).
    std::vector<std::string> playerArgs;
};

// One segment of the cut or extract page: start and end in milliseconds.
struct SegmentRange {
    uint32_t startMs = 0;
    uint32_t endMs = 0;
    bool operator==(const SegmentRange&) const = default;
};

class CMainFrameWnd : public CWindowUI {
public:
    // Window messages of this window besides the shared ones (ui/Messages.h).
    static constexpr uint32_t kMsgUpdateLaunch = UIMSG_USER + 504;  // 1528
    // Shows the window again at a second start (posted by the single-instance listener).
    static constexpr uint32_t kMsgShowInstance = UIMSG_USER + 505;

    // Page indices of the tool tab layout.
    enum Page {
        kPageCut = 0,
        kPageFormat,
        kPageMerge,
        kPageExtract,
        kPageSpeed,
        kPageVolume,
        kPageNoise,
        kPageBgm
    };
    // Cut methods ("TabCutMethod").
    enum CutMethod { kCutManual = 0, kCutEven = 1, kCutByLength = 2 };

    explicit CMainFrameWnd(std::wstring logPath = L"", MainFrameOptions options = {});
    ~CMainFrameWnd() override;

    // ---- CWindowUI ----
    std::wstring GetWindowClassName() const override;
    std::wstring GetSkinFile() override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override;
    CControlUI* CreateControl(const std::wstring& tag) override;

    // ---- Parts the window owns ----
    CTaskList& Tasks();
    CBatchHandlers& Batch();
    const std::wstring& LogPath() const { return m_logPath; }

    // ---- State, for the tests and the CLI ----
    bool IsToolView() const;
    int CurrentPage() const;
    int CutMethodIndex() const;
    // Opens the tool view on a page (what a home tile does).
    void OpenTool(int page);
    // Adds files the program was opened with (its command line, or a later start handing them
    // over) through the same path as a drop: to the current tool page, or from the home view to
    // the format page (the extract page when every file is one of its videos).
    void OpenFiles(const std::vector<std::wstring>& paths);
    // A few lines of state for a query over the single-instance channel: "view=home|tool",
    // "page=N", "rows=N" (rows in the current page's list), "pending=0|1" (files still probed).
    std::string StateText() const;
    // The close sequence after a confirmed close: hide, release the players, stop the pool,
    // close the window. Also what the tests call to end the window.
    void CloseSequence();
    bool ClosedBySequence() const { return m_closedBySequence; }
    // The source shown in the cut or extract preview (empty when none) and its probed facts.
    std::wstring PreviewSource(int page) const;
    const MediaFacts& PreviewFacts(int page) const;
    // True while the preview's player plays.
    bool PreviewPlaying(int page) const;
    int PreviewVolume() const { return m_previewVolume; }
    // Texts of the notices the window has shown, in order (also kept when no dialog can open).
    const std::vector<std::wstring>& ShownNotices() const { return m_shownNotices; }

    // Replaces the modal message dialog (tests, the CLI): gets the dialog kind and text, returns
    // the answer (1 = confirmed).
    using MessageHook = std::function<int(int kind, const std::wstring& text)>;
    void SetMessageHook(MessageHook hook) { m_messageHook = std::move(hook); }

    // ---- Rules of the cut and extract pages (pure, shared with the tests) ----
    // Segments of the cut page: manual [start, end]; even split into n parts of D / n; split by
    // length L (see the implementation for the tail rule). Empty pieces are never returned.
    static std::vector<SegmentRange> CutSegments(int method, uint32_t durationMs, uint32_t startMs,
                                                 uint32_t endMs, int parts, uint32_t lengthMs);
    // Number of pieces a length L makes of a time T: T / L (at least 1), one more when the rest
    // is 1001 ms or more.
    static int LengthSplitCount(uint32_t totalMs, uint32_t lengthMs);
    // Left edges (logical) of the split marks for n parts at a DPI.
    static std::vector<int> SplitMarkPositions(int parts, int dpi);
    // The extension of cut segments for a source: ".mp3" for sources the tools cannot copy.
    static std::wstring SegmentExtension(const std::wstring& sourcePath);

private:
    struct Preview;

    // Routing (MainFrameWnd.cpp; clicks in MainFrameClick.cpp, notices, dialogs and the close
    // in MainFrameMessages.cpp, drops in MainFrameOpen.cpp, sliders in MainFramePreview.cpp, a
    // finished batch in MainFramePages.cpp).
    void OnClick(TNotifyUI& msg);
    void OnTextChanged(TNotifyUI& msg);
    void OnKillFocus(TNotifyUI& msg);
    void OnItemSelect(TNotifyUI& msg);
    void OnMenuCommand(const std::wstring& item);
    void OnNotice(int index);
    void OnBatchDone(int page);
    void OnDropFiles(const std::vector<std::wstring>& paths);
    bool OnSliderNotify(TNotifyUI& msg);
    void OnVolumeSlider(CControlUI* slider);
    // The modal message box of a kind (0: a plain notice with a text); returns its answer.
    int ShowMessage(int kind, const std::wstring& text, const std::wstring& target = L"");
    void ShowRightsNotice(bool onlyUnsupported);
    void ShowAboutDialog();

    // Pages (MainFramePages.cpp; segments, split marks and cut methods in MainFrameCut.cpp).
    void SetHomeView(bool home);
    CListUI* PageList(int page) const;
    CListUI* BatchListOf(int page) const;
    void SwitchPage(int page);         // page switch
    void SwitchCutMethod(int method);  // cut method switch
    void RefreshStartButton(int page, int waitMs);
    void RefreshMidViewer();
    void WatchRowsArriving();
    void AfterRowsRemoved(int page);
    int SelectedPartCount() const;
    void ShowSplitMarks(int parts);
    void HideSplitMarks();
    void AddCutSegments();
    void AddExtractSegment();
    void CreatePlayMarks();

    // Previews (MainFramePreview.cpp).
    Preview& PreviewOf(int page);
    const Preview& PreviewOf(int page) const;
    void FollowSelectedRow(int page);
    void OpenPreview(int page, const std::wstring& path);
    void ClosePreview(int page);
    void ClearCutPage();
    void TogglePlay(int page, bool stop);
    void SetPlayButton(int page, bool playing);
    void RefreshPreviewLabel(int page);
    void RefreshTimeLabel(Preview& pv);
    void OnPlayerPosition(uintptr_t player);
    void OnPlayerEnded(uintptr_t player);
    void SeekFromSlider(CControlUI* slider);
    void PlaceCursorFromTime(int timerId);
    void PlaceCursorAtTime(Preview& pv, bool start, uint32_t ms);
    bool OnMouseForCursors(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    void WriteCursorPos(Preview& pv, CControlUI* cursor, int deviceLeft);
    uint32_t PreviewDuration(const Preview& pv) const;
    void ShowVolumePopup(CControlUI* button);
    void NormaliseLengthGroup();
    uint32_t ReadTimeGroup(int group) const;
    void ResetTimeGroups();
    void ValidateTimeEdit(CControlUI* box);

    std::wstring m_logPath;
    MainFrameOptions m_options;
    std::unique_ptr<CTaskList> m_tasks;
    std::unique_ptr<CBatchHandlers> m_batch;
    std::unique_ptr<Preview> m_cut;
    std::unique_ptr<Preview> m_extract;
    std::unique_ptr<TimeFieldSet> m_times;
    MessageHook m_messageHook;

    CTabLayoutUI* m_tabSwitch = nullptr;
    CTabLayoutUI* m_tabPages = nullptr;
    CTabLayoutUI* m_tabMid = nullptr;
    CTabLayoutUI* m_tabCutMethod = nullptr;
    CControlUI* m_btnConver = nullptr;
    CControlUI* m_gifConver = nullptr;
    std::vector<CControlUI*> m_playMarks;

    CControlUI* m_dragCursor = nullptr;
    CDialogDpi m_dpi{this};    // display-scale changes: at most one per 100 ms, the last one kept
    bool m_textGuard = false;  // set while the time boxes are written by the window itself
    bool m_closedBySequence = false;
    int m_previewVolume = 50;
    CWindowUI* m_volumeMenu = nullptr;  // the open volume pop-up, closed with the window
    int m_updateAttempts = 0;
    std::vector<std::wstring> m_shownNotices;
};
