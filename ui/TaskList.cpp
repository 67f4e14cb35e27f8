// The task list rows: building and filling rows from probed facts, the per-row actions and the
// segment rows. Adding files (filters, notices, the background probe) is in TaskListAdd.cpp.
#include "ui/TaskList.h"

#include <cstdio>

#include "common/Common.h"
#include "platform/Platform.h"
#include "ui/EditAudioWnd.h"
#include "ui/Messages.h"
#include "ui/RowLookup.h"
#include "ui/TaskListState.h"
#include "uikit/UIlib.h"

namespace tasklist {

const wchar_t* const kPageLists[8] = {L"list_cutfile",     L"list_formatfile", L"list_mergefile",
                                      L"list_extractfile", L"list_speedfile",  L"list_volumefile",
                                      L"list_noisefile",   L"list_addbgmfile"};
const wchar_t* const kRowLayouts[8] = {L"listitemcut.xml",   L"listitemformat.xml", L"listitemmerge.xml",
                                       L"listitemcut.xml",   L"listitemspeed.xml",  L"listitemspeed.xml",
                                       L"listitemnoise.xml", L"listitemaddbgm.xml"};

using rows::Child;
using rows::RowOf;

void SetChildText(CControlUI* row, const wchar_t* name, const std::wstring& text) {
    if (CControlUI* c = Child(row, name)) c->SetText(text);
}

// Swaps all that two controls hold for a file: text, tag (size, length) and user data (path,
// start).
void SwapContents(CControlUI* a, CControlUI* b) {
    if (!a || !b) return;
    const std::wstring text = a->GetText();
    a->SetText(b->GetText());
    b->SetText(text);
    const uint64_t tag = a->GetTag();
    a->SetTag(b->GetTag());
    b->SetTag(tag);
    const std::wstring data = a->GetUserData();
    a->SetUserData(b->GetUserData());
    b->SetUserData(data);
}

std::wstring DurationText(uint32_t ms) {
    return CCommon::FormatTimeCode(ms);
}

std::wstring SizeText(uint64_t size) {
    std::wstring text;
    CCommon::OnFormatFileSize(size, text);
    return text;
}

std::wstring Printf(const char* format, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return platform::FromUtf8(buf);
}

}  // namespace tasklist

using namespace tasklist;

namespace {

// The program's cut editor: modal, owned by the main window, destroyed when it returns.
bool RunCutEditor(CWindowUI* owner, const std::wstring& source, bool multiSegment,
                  std::vector<CTaskList::Segment>* segments) {
    auto editor = std::make_unique<CEditAudioWnd>(source, multiSegment ? 1 : 0);
    if (editor->Run(owner) != 1) return false;
    for (const CutSegment& s : editor->GetSegments())
        segments->push_back(
            {s.fileName, s.startTime, s.lengthMs > 0 ? static_cast<uint32_t>(s.lengthMs) : 0u});
    return true;
}

}  // namespace

CTaskList::CTaskList(CWindowUI* mainWnd) : m_state(std::make_shared<State>()) {
    m_state->wnd = mainWnd;
    m_state->owner = this;
    m_state->self = m_state;
    m_state->editor = RunCutEditor;
}

CTaskList::~CTaskList() {
    m_state->owner = nullptr;
    m_state->StopProbing();
}

CListUI* CTaskList::PageList(int page) const {
    if (page < 0 || page > 7 || !m_state->wnd || !CAppUI::IsWindowAlive(m_state->wnd)) return nullptr;
    return m_state->wnd->FindControlAs<CListUI>(kPageLists[page]);
}

CListUI* CTaskList::BatchList(int page) const {
    if (!m_state->wnd || !CAppUI::IsWindowAlive(m_state->wnd)) return nullptr;
    if (page == 0) return m_state->wnd->FindControlAs<CListUI>(L"list_cutoutfile");
    if (page == 3) return m_state->wnd->FindControlAs<CListUI>(L"list_extractoutfile");
    return PageList(page);
}

void CTaskList::SetEditor(EditorFn editor) {
    m_state->editor = std::move(editor);
}
void CTaskList::SetBusyCheck(std::function<bool(int page)> busy) {
    m_state->busy = std::move(busy);
}
void CTaskList::SetProbeThreads(int count) {
    m_state->SetThreadCount(count);
}

bool CTaskList::HoldsFile(int page, const std::wstring& path) const {
    CListUI* list = PageList(page);
    if (!list) return false;
    for (int i = 0, n = list->GetCount(); i < n; ++i) {
        CControlUI* row = list->GetItemAt(i);
        if (row && row->GetUserData() == path) return true;
    }
    return false;
}

// ---- Rows --------------------------------------------------------------------------------------

namespace {

// Builds one row from a row layout; nullptr (and nothing left behind) when the layout is missing
// or its root is not a list element.
CListContainerElementUI* BuildRow(CWindowUI* wnd, const wchar_t* layout) {
    CBuilderUI builder;
    CControlUI* root = builder.Create(layout, wnd, nullptr);
    auto* row = dynamic_cast<CListContainerElementUI*>(root);
    if (!row) delete root;
    return row;
}

// "%dkb/s" from bit/s.
std::wstring QualityText(int32_t bitRate) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%dkb/s", bitRate / 1000);
    return L"质量：" + platform::FromUtf8(buf);
}

void SetLinkers(CControlUI* row, const wchar_t* left, const wchar_t* right, bool linked) {
    const std::wstring image = linked ? L"uplinker.png" : L"";
    if (CControlUI* c = Child(row, left)) c->SetBkImage(image);
    if (CControlUI* c = Child(row, right)) c->SetBkImage(image);
}

void ShowChild(CControlUI* row, const wchar_t* name, bool show) {
    if (CControlUI* c = Child(row, name)) c->SetVisible(show);
}

}  // namespace

// Connectors and move buttons of the merge list follow the positions: a row links upwards and can
// move up unless it is the first, links downwards and can move down unless it is the last.
void CTaskList::State::RelinkMerge(CListUI* list) {
    if (!list) return;
    const int n = list->GetCount();
    for (int i = 0; i < n; ++i) {
        CControlUI* row = list->GetItemAt(i);
        SetLinkers(row, L"uplinkerleft", L"uplinkerright", i > 0);
        SetLinkers(row, L"downlinkerleft", L"downlinkerright", i < n - 1);
        ShowChild(row, L"btnmoveup", i > 0);
        ShowChild(row, L"btnmovedown", i < n - 1);
    }
}

CListContainerElementUI* CTaskList::AddRow(int page, const std::wstring& path, const MediaFacts& facts) {
    CListUI* list = PageList(page);
    if (!list) return nullptr;
    CListContainerElementUI* row = BuildRow(m_state->wnd, kRowLayouts[page]);
    if (!row) return nullptr;

    std::wstring folder, name, ext;
    CCommon::OnSplitPath(path, &folder, &name, &ext);
    const std::wstring duration = DurationText(facts.durationMs);
    const std::wstring size = SizeText(facts.fileSize);
    row->SetUserData(path);
    row->SetTag(facts.fileSize);

    if (page == 1) {
        std::wstring srcExt = ext.empty() ? ext : ext.substr(1);
        std::wstring outExt = srcExt;
        if (auto* combo = m_state->wnd->FindControlAs<CComboUI>(L"comboformatType")) {
            std::wstring chosen = combo->GetText();
            if (!chosen.empty()) outExt = platform::ToLower(chosen);
        }
        SetChildText(row, L"inputfile", name);
        SetChildText(row, L"outfile", name + L"_1");
        SetChildText(row, L"inputfileext", L"格式：" + srcExt);
        SetChildText(row, L"outfileext", L"格式：" + outExt);
        SetChildText(row, L"inputfiletime", L"时长：" + duration);
        SetChildText(row, L"outfiletime", L"时长：" + duration);
        if (CControlUI* t = Child(row, L"outfiletime")) t->SetTag(facts.durationMs);
        SetChildText(row, L"inputfilesize", L"大小：" + size);
        SetChildText(row, L"outfilesize", L"大小：" + size);
        SetChildText(row, L"inputfilequality", QualityText(facts.bitRate));
        SetChildText(row, L"outfilequality", QualityText(facts.bitRate));
    } else {
        SetChildText(row, L"filename", name + ext);
        if (page >= 4) {
            if (CControlUI* c = Child(row, L"filename")) c->SetAttribute(L"textpadding", L"40,0");
        }
        if (page == 0 || page == 3)
            SetChildText(row, L"filetime", L"00:00:00.000 - " + duration);
        else
            SetChildText(row, L"filetime", L"时长：" + duration);
        if (page == 2 || page == 7) {
            if (CControlUI* t = Child(row, L"filetime")) t->SetTag(facts.durationMs);
        }
        if (page != 2) SetChildText(row, L"filesize", size);
    }
    if (page == 4 || page == 5) {
        if (auto* slider = dynamic_cast<CSliderUI*>(Child(row, L"sliderprogress"))) {
            slider->SetMaxValue(150);
            slider->SetValue(75);
        }
        if (CControlUI* value = Child(row, L"sliderValue")) {
            value->SetTag(75);
            value->SetText(page == 4 ? L"1.25倍" : L"1.5倍");
        }
    }
    if (page == 7) {
        // A new row loops like the page-wide choice says.
        auto* all = m_state->wnd->FindControlAs<COptionUI>(L"OpIsLoop");
        auto* loop = dynamic_cast<COptionUI*>(Child(row, L"OpitemLoop"));
        if (all && loop) loop->Selected(all->IsSelected(), false);
    }

    list->Add(row);
    if (page == 2) State::RelinkMerge(list);
    return row;
}

CListContainerElementUI* CTaskList::AddSegmentRow(int page, const std::wstring& source,
                                                  const std::wstring& name, uint32_t startMs, uint32_t endMs,
                                                  const std::wstring& sizeText) {
    if (page != 0 && page != 3) return nullptr;
    CListUI* list = BatchList(page);
    if (!list) return nullptr;
    CListContainerElementUI* row = BuildRow(m_state->wnd, L"listitemcutout.xml");
    if (!row) return nullptr;
    // An end before the start would give a negative length; such a segment is empty.
    const uint32_t length = endMs > startMs ? endMs - startMs : 0;
    const std::wstring start = DurationText(startMs);
    row->SetUserData(source);
    SetChildText(row, L"filename", name);
    if (CControlUI* t = Child(row, L"filetime")) {
        t->SetText(start + L" - " + DurationText(endMs));
        t->SetUserData(start);
        t->SetTag(length);
    }
    if (CControlUI* s = Child(row, L"filesize")) {
        s->SetText(L"未剪切");
        s->SetToolTip(sizeText);
    }
    list->Add(row);
    return row;
}

// ---- Row actions -------------------------------------------------------------------------------

int CTaskList::State::PageOfList(CListUI* list) const {
    if (!list || !wnd) return -1;
    const std::wstring name = list->GetName();
    for (int p = 0; p < 8; ++p) {
        if (name == kPageLists[p]) return p;
    }
    if (name == L"list_cutoutfile") return 0;
    if (name == L"list_extractoutfile") return 3;
    return -1;
}

bool CTaskList::State::RefuseWhileBusy(int page) {
    if (page < 0 || !busy || !busy(page)) return false;
    if (wnd) wnd->PostMessage(MSG_NOTICE, 4, 0);
    return true;
}

void CTaskList::ClearList(int page) {
    CListUI* list = PageList(page);
    if (!list || m_state->RefuseWhileBusy(page)) return;
    // Rows of this page still being probed are dropped when they arrive.
    m_state->BumpGeneration(page);
    list->RemoveAll();
}

void CTaskList::RemoveRow(CControlUI* button) {
    CListContainerElementUI* row = RowOf(button);
    CListUI* list = row ? row->GetOwnerList() : nullptr;
    if (!list) return;
    const int page = m_state->PageOfList(list);
    // The workers of a running batch write into these rows, so none may go while it runs.
    if (m_state->RefuseWhileBusy(page)) return;
    const int index = list->GetItemIndex(row);
    const bool wasShown = list->GetCurSel() == index;
    list->Remove(row);
    if (page == 2 && list == PageList(2)) State::RelinkMerge(list);
    // The preview of the cut and extract pages follows the selected source row.
    if ((page == 0 || page == 3) && list == PageList(page) && wasShown && list->GetCount() > 0)
        list->SelectItem(index > 0 ? index - 1 : 0);
}

void CTaskList::MoveMergeRow(CControlUI* button, bool up) {
    CListContainerElementUI* row = RowOf(button);
    CListUI* list = PageList(2);
    if (!row || !list || row->GetOwnerList() != list) return;
    const int i = list->GetItemIndex(row);
    if (i < 0) return;
    const int j = up ? i - 1 : i + 1;
    if (j < 0 || j >= list->GetCount()) return;
    CControlUI* other = list->GetItemAt(j);
    if (!other) return;
    CUILockGuard lock(UILock());
    // Everything that belongs to the file travels: its path and size, its name, its length and
    // the chosen start. Connectors and buttons belong to the positions and stay.
    SwapContents(row, other);
    SwapContents(Child(row, L"filename"), Child(other, L"filename"));
    SwapContents(Child(row, L"filetime"), Child(other, L"filetime"));
}

void CTaskList::EditRow(CControlUI* button) {
    CListContainerElementUI* row = RowOf(button);
    if (!row || !m_state->editor) return;
    CListUI* owner = row->GetOwnerList();
    int page = -1;
    if (owner && owner == PageList(1)) page = 1;
    if (owner && owner == PageList(2)) page = 2;
    if (page < 0) return;
    const std::wstring source = row->GetUserData();
    std::vector<Segment> segments;
    EditorFn editor = m_state->editor;  // the editor's loop may replace the installed one
    if (!editor(m_state->wnd, source, page == 2, &segments)) return;
    // The modal loop may have let the row go (a batch ending, a clear); act only on what is left.
    if (page == 1) {
        if (!IsRowOf(1, row)) return;
        CControlUI* time = Child(row, L"outfiletime");
        if (!time) return;
        for (const Segment& s : segments) {
            const std::wstring text = L"时长：" + DurationText(s.lengthMs);
            time->SetTag(s.lengthMs);
            time->SetUserData(s.start);
            time->SetTextColor(text != time->GetText() ? 0xFF347AEB : 0xFF333333);
            time->SetText(text);
        }
        return;
    }
    CListUI* list = PageList(2);
    if (!list) return;
    for (const Segment& s : segments) {
        CListContainerElementUI* added = BuildRow(m_state->wnd, kRowLayouts[2]);
        if (!added) return;
        added->SetUserData(source);
        SetChildText(added, L"filename", s.name);
        if (CControlUI* t = Child(added, L"filetime")) {
            t->SetText(L"时长：" + DurationText(s.lengthMs));
            t->SetTag(s.lengthMs);
            t->SetUserData(s.start);
        }
        list->Add(added);
    }
    State::RelinkMerge(list);
}

bool CTaskList::IsRowOf(int page, CControlUI* row) const {
    CListUI* list = PageList(page);
    if (!list) return false;
    for (int i = 0, n = list->GetCount(); i < n; ++i) {
        if (list->GetItemAt(i) == row) return true;
    }
    return false;
}

void CTaskList::ChooseMusic(CControlUI* button, bool allRows) {
    CListUI* list = PageList(7);
    if (!button || !list || m_state->RefuseWhileBusy(7)) return;
    CListContainerElementUI* row = allRows ? nullptr : RowOf(button);
    if (!allRows && (!row || row->GetOwnerList() != list)) return;
    std::vector<std::wstring> files = CCommon::OnOpenMediaFiles(7, m_state->wnd);
    if (files.empty()) return;
    const std::wstring music = files.front();
    MediaFacts facts;
    if (platform::IsRegularFile(music)) CCommon::ProbeForBackgroundMusic(music, facts);
    // Music whose length cannot be learnt cannot be mixed: say so instead of keeping it.
    if (facts.durationMs == 0 || facts.fileSize == 0) {
        m_state->wnd->PostMessage(MSG_NOTICE, 1, 0);
        return;
    }
    std::wstring name, ext;
    CCommon::OnSplitPath(music, nullptr, &name, &ext);
    auto apply = [&](CControlUI* target) {
        CControlUI* add = Child(target, L"btn_itemaddbgm");
        if (!add) return;
        add->SetTag(facts.durationMs);
        add->SetText(name + ext);
        add->SetToolTip(name + ext);
        add->SetUserData(music);
        ShowChild(target, L"btn_itemRemovefile", true);
    };
    // The dialog's loop may have removed the row in the meantime.
    if (row) {
        if (IsRowOf(7, row)) apply(row);
        return;
    }
    for (int i = 0, n = list->GetCount(); i < n; ++i) apply(list->GetItemAt(i));
}

void CTaskList::ForgetMusic(CControlUI* button) {
    CListContainerElementUI* row = RowOf(button);
    if (!row || m_state->RefuseWhileBusy(7)) return;
    if (CControlUI* add = Child(row, L"btn_itemaddbgm")) {
        add->SetText(L"添加背景音乐");
        add->SetToolTip(L"");
        add->SetUserData(L"");
    }
    button->SetVisible(false);
}

void CTaskList::SetLoopForAll(bool loop) {
    CListUI* list = PageList(7);
    if (!list) return;
    for (int i = 0, n = list->GetCount(); i < n; ++i) {
        if (auto* option = dynamic_cast<COptionUI*>(Child(list->GetItemAt(i), L"OpitemLoop")))
            option->Selected(loop);
    }
}

void CTaskList::OpenOutput(CControlUI* button) {
    if (!button) return;
    std::wstring path = button->GetUserData();
    CListContainerElementUI* row = RowOf(button);
    // Noise rows keep their output on a companion control.
    if (path.empty() && row) {
        if (CControlUI* c = Child(row, L"btn_listopenfile")) path = c->GetUserData();
    }
    if (path.empty() && row) path = row->GetUserData();
    // Nothing to show before the output exists (a row not converted yet, a failed job).
    if (path.empty() || !platform::IsRegularFile(path)) return;
    platform::ShowInFileManager(path);
}

void CTaskList::OnSliderStep(CControlUI* control) {
    auto* slider = dynamic_cast<CSliderUI*>(control);
    if (!slider) return;
    if (slider->GetName() == L"vlomueslider") {
        // The preview volume pop-up shows the value itself in percent.
        if (CWindowUI* w = slider->GetWindow()) {
            if (CControlUI* label = w->FindControl(L"SliderVlaue")) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "%d%%", slider->GetValue());
                label->SetText(platform::FromUtf8(buf));
            }
        }
        return;
    }
    CListContainerElementUI* row = RowOf(slider);
    CListUI* list = row ? row->GetOwnerList() : nullptr;
    const int page = m_state->PageOfList(list);
    if (page != 4 && page != 5) return;
    const int b = slider->GetValue() / 25;
    const int c = b * 25;
    slider->SetValue(c);
    std::wstring text;
    if (page == 4)
        text = Printf("%.2f倍", (c + 50) / 100.0);
    else if (b > 2)
        text = Printf("%.1f倍", b * 50 / 100.0);
    else
        text = Printf("%.2f倍", (c + 25) / 100.0);
    if (CControlUI* label = Child(row, L"sliderValue")) {
        label->SetTag(static_cast<uint64_t>(c));
        label->SetText(text);
    }
}
