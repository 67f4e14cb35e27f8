// The task list rows of the eight tool pages: adding files (dialog, folder scan, drop) with the
// page filters and notices, one row per file from its probed facts, the per-row actions (remove,
// reorder, edit through the cut editor, background music, multiplier steps, open output) and the
// segment rows of the cut and extract pages. Rows live in the lists of the main window's layout
// ("main.xml"); this class finds them by name and posts notices to that window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/MediaFacts.h"

class CWindowUI;
class CControlUI;
class CListUI;
class CListContainerElementUI;

class CTaskList {
public:
    // One segment chosen in the cut editor: output file name, start time code, length.
    struct Segment {
        std::wstring name;
        std::wstring start;
        uint32_t lengthMs = 0;
    };
    // Runs the cut editor for `source` (several segments when `multiSegment`), modal and owned by
    // `owner`; true with the chosen segments in order when the editor ended with result 1.
    using EditorFn = std::function<bool(CWindowUI* owner, const std::wstring& source, bool multiSegment,
                                        std::vector<Segment>* segments)>;

    explicit CTaskList(CWindowUI* mainWnd);
    ~CTaskList();
    CTaskList(const CTaskList&) = delete;
    CTaskList& operator=(const CTaskList&) = delete;

    // The list that holds page's source rows (cut 0: "list_cutfile", extract 3:
    // "list_extractfile", the others as the batch handlers use them).
    CListUI* PageList(int page) const;
    // The list the batch of page walks (cut: "list_cutoutfile", extract: "list_extractoutfile").
    CListUI* BatchList(int page) const;

    // Adding files. Every path goes through the page's filter, the duplicate rule (notice 0) and
    // the probe; rows are appended in the order of the paths. Probing runs off the UI thread and
    // rows arrive in small groups; Pending() is true until the last one is in.
    void AddFilesByDialog(int page);
    void AddFolder(int page);
    void DropFiles(int page, const std::vector<std::wstring>& paths);
    bool Pending() const;
    // One row from facts already probed (also used by the segment rows and the tests).
    CListContainerElementUI* AddRow(int page, const std::wstring& path, const MediaFacts& facts);

    // Segment rows of the cut page ("listitemcutout.xml" in "list_cutoutfile") and of the extract
    // page ("list_extractoutfile"): name, start and end in milliseconds, source and its size text.
    CListContainerElementUI* AddSegmentRow(int page, const std::wstring& source, const std::wstring& name,
                                           uint32_t startMs, uint32_t endMs, const std::wstring& sizeText);

    void ClearList(int page);
    void RemoveRow(CControlUI* button);                  // "btn_Removefile", "btn_Removefileout"
    void MoveMergeRow(CControlUI* button, bool up);      // "btnmoveup", "btnmovedown"
    void EditRow(CControlUI* button);                    // "formatcutaudio", "btnmergeedit"
    void ChooseMusic(CControlUI* button, bool allRows);  // "btn_itemaddbgm", "btn_batchaddbgm"
    void ForgetMusic(CControlUI* button);                // "btn_itemRemovefile"
    void SetLoopForAll(bool loop);                       // "OpIsLoop"
    void OpenOutput(CControlUI* button);                 // "btn_openfile", "btn_openfileout"
    void OnSliderStep(CControlUI* slider);               // "sliderprogress" of a speed/volume row

    // The cut editor that row editing opens (the program's CEditAudioWnd unless replaced).
    void SetEditor(EditorFn editor);
    // Whether page's batch runs. While it does, adding, removing and clearing on that page are
    // refused with notice 4, since the workers write into its rows. Without a check no page runs.
    void SetBusyCheck(std::function<bool(int page)> busy);
    // Number of threads that probe added files (at least 1; default 2). Takes effect for the
    // threads not started yet.
    void SetProbeThreads(int count);
    // Rows of page's list whose source is `path` (the duplicate rule).
    bool HoldsFile(int page, const std::wstring& path) const;

    struct State;

private:
    bool IsRowOf(int page, CControlUI* row) const;
    std::shared_ptr<State> m_state;
};
