// The cut and extract pages' segments: the rules that make them (pure), the split marks over the
// cut timeline, the cut method switch, and the segment rows added to the output lists.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/MainFrameNames.h"
#include "app/MainFramePreview.h"
#include "app/MainFrameWnd.h"
#include "common/Common.h"
#include "platform/Platform.h"
#include "ui/TaskList.h"
#include "ui/TimeControl.h"

using namespace mainframe;

void CMainFrameWnd::CreatePlayMarks() {
    auto* holder = dynamic_cast<CContainerUI*>(FindControl(L"horCutplayerStauts"));
    if (!holder) return;
    for (int k = 1; k <= 12; ++k) {
        auto* mark = new CLabelUI;
        wchar_t name[32];
        std::swprintf(name, 32, L"PlayMark%d", k);
        mark->SetName(name);
        int x = 78 + 13 * (k - 1);
        wchar_t pos[64];
        std::swprintf(pos, 64, L"%d,%d,%d,%d", x, 12, x + 2, 30);
        mark->SetAttribute(L"float", L"true");
        mark->SetAttribute(L"pos", pos);
        mark->SetAttribute(L"bkcolor", L"#FF347AEB");
        mark->SetVisible(false);
        holder->Add(mark);
        m_playMarks.push_back(mark);
    }
}

int CMainFrameWnd::SelectedPartCount() const {
    auto* combo = FindControlAs<CComboUI>(L"comboSegMentNum");
    int n = combo ? UIParseInt(combo->GetText(), 2) : 2;
    return std::clamp(n, 1, 10);
}

// ---- Rules -----------------------------------------------------------------------------------

int CMainFrameWnd::LengthSplitCount(uint32_t totalMs, uint32_t lengthMs) {
    if (lengthMs == 0) return 1;
    int parts = static_cast<int>(totalMs / lengthMs);
    if (parts < 1) parts = 1;
    if (totalMs % lengthMs >= 1001 && totalMs >= lengthMs) ++parts;
    return parts;
}

std::vector<SegmentRange> CMainFrameWnd::CutSegments(int method, uint32_t durationMs, uint32_t startMs,
                                                     uint32_t endMs, int parts, uint32_t lengthMs) {
    std::vector<SegmentRange> out;
    auto add = [&](uint32_t s, uint32_t e) {
        e = std::min(e, durationMs);
        if (e > s) out.push_back({s, e});  // an empty piece would only make an empty file
    };
    if (method == kCutManual) {
        if (endMs > startMs) out.push_back({startMs, endMs});
        return out;
    }
    if (method == kCutEven) {
        if (parts < 1) parts = 1;
        uint32_t step = durationMs / static_cast<uint32_t>(parts);
        for (int i = 0; i < parts; ++i) {
            uint32_t s = step * static_cast<uint32_t>(i);
            uint32_t e = (i == parts - 1) ? durationMs : step * static_cast<uint32_t>(i + 1);
            add(s, e);
        }
        return out;
    }
    uint32_t k = 1;
    if (lengthMs >= 5001) k = std::max<uint32_t>(1, durationMs / lengthMs);
    for (uint32_t i = 0; i <= k; ++i) {
        uint64_t s = static_cast<uint64_t>(i) * lengthMs;
        if (s >= durationMs) break;
        uint64_t e = (i == k) ? durationMs : static_cast<uint64_t>(i + 1) * lengthMs;
        add(static_cast<uint32_t>(s), static_cast<uint32_t>(std::min<uint64_t>(e, durationMs)));
    }
    return out;
}

std::vector<int> CMainFrameWnd::SplitMarkPositions(int parts, int dpi) {
    std::vector<int> xs;
    if (parts < 1) return xs;
    int step = 130 / parts;
    int shift = 0;
    if (dpi != 96 && dpi > 0) shift = static_cast<int>(std::ceil((dpi / 96.0 - 1.0) * 6.0));
    for (int i = 0; i <= parts && i < 12; ++i) xs.push_back(78 + i * step - shift);
    return xs;
}

std::wstring CMainFrameWnd::SegmentExtension(const std::wstring& sourcePath) {
    std::wstring ext;
    CCommon::OnSplitPath(sourcePath, nullptr, nullptr, &ext);
    std::wstring lower = platform::ToLower(ext);
    if (lower == L".amr" || lower == L".ape" || lower == L".3gpp" || lower == L".aac") return L".mp3";
    return ext;
}

void CMainFrameWnd::ShowSplitMarks(int parts) {
    if (CutMethodIndex() == kCutManual) return;
    std::vector<int> xs = SplitMarkPositions(parts, GetDPI().GetDPI());
    for (size_t k = 0; k < m_playMarks.size(); ++k) {
        CControlUI* mark = m_playMarks[k];
        if (k < xs.size()) {
            wchar_t pos[64];
            std::swprintf(pos, 64, L"%d,%d,%d,%d", xs[k], 12, xs[k] + 2, 30);
            mark->SetAttribute(L"pos", pos);
            mark->SetVisible(true);
        } else {
            mark->SetVisible(false);
        }
    }
}

void CMainFrameWnd::HideSplitMarks() {
    for (CControlUI* mark : m_playMarks) mark->SetVisible(false);
}

void CMainFrameWnd::SwitchCutMethod(int method) {
    Preview& pv = *m_cut;
    for (int i = 0; i < 3; ++i) {
        if (auto* opt = FindControlAs<COptionUI>(kCutMethodOptions[i])) {
            if (i == method && !opt->IsSelected()) opt->Selected(true);
            if (CControlUI* parent = opt->GetParent()) {
                if (CControlUI* line = parent->FindControlByName(L"xxx")) line->SetVisible(i == method);
            }
        }
    }
    // Without a file in the preview there is no timeline to mark.
    if (pv.source.empty()) return;
    if (method == kCutManual) {
        if (pv.leftCursor) pv.leftCursor->SetVisible(true);
        if (pv.rightCursor) pv.rightCursor->SetVisible(true);
        HideSplitMarks();
        if (pv.leftCursor) pv.lastLeft = pv.leftCursor->GetPos().left;
        if (pv.rightCursor) pv.lastRight = pv.rightCursor->GetPos().left;
    } else {
        if (pv.leftCursor) pv.leftCursor->SetVisible(false);
        if (pv.rightCursor) pv.rightCursor->SetVisible(false);
        if (method == kCutEven) {
            ShowSplitMarks(SelectedPartCount());
        } else {
            ShowSplitMarks(
                LengthSplitCount(m_times->GetCutDuration(), ReadTimeGroup(TimeFieldSet::kCutLength)));
        }
    }
    RefreshPreviewLabel(kPageCut);
}

// ---- Segment rows ----------------------------------------------------------------------------

void CMainFrameWnd::AddCutSegments() {
    Preview& pv = *m_cut;
    if (pv.source.empty()) return;
    uint32_t duration = pv.facts.durationMs ? pv.facts.durationMs : PreviewDuration(pv);
    std::wstring sizeText;
    CCommon::OnFormatFileSize(pv.facts.fileSize, sizeText);
    std::vector<SegmentRange> segments = CutSegments(
        CutMethodIndex(), duration, ReadTimeGroup(TimeFieldSet::kCutStart),
        ReadTimeGroup(TimeFieldSet::kCutEnd), SelectedPartCount(), ReadTimeGroup(TimeFieldSet::kCutLength));
    CListUI* out = BatchListOf(kPageCut);
    int counter = (out ? out->GetCount() : 0) + 1;
    std::wstring ext = SegmentExtension(pv.source);
    for (const SegmentRange& seg : segments) {
        std::wstring name;
        if (!CCommon::OnGetFreeNumberedName(pv.source, name, counter, ext)) continue;
        m_tasks->AddSegmentRow(kPageCut, pv.source, name, seg.startMs, seg.endMs, sizeText);
    }
}

void CMainFrameWnd::AddExtractSegment() {
    Preview& pv = *m_extract;
    if (pv.source.empty()) return;
    uint32_t start = ReadTimeGroup(TimeFieldSet::kExtractStart);
    uint32_t end = ReadTimeGroup(TimeFieldSet::kExtractEnd);
    if (end <= start) return;  // an empty range would make an empty file
    std::wstring base = pv.source;
    if (CControlUI* edit = FindControl(L"editExtractName")) {
        std::wstring typed = edit->GetText();
        // A typed name is placed in the source's folder; "/" cannot be part of a file name.
        if (!typed.empty() && typed.find(L'/') == std::wstring::npos) {
            std::wstring folder;
            CCommon::OnGetFolderOfPath(pv.source, folder);
            base = folder + typed;
        }
    }
    CListUI* out = BatchListOf(kPageExtract);
    int counter = (out ? out->GetCount() : 0) + 1;
    std::wstring name;
    if (!CCommon::OnGetFreeNumberedName(base, name, counter, L".MP3")) return;
    std::wstring sizeText;
    CCommon::OnFormatFileSize(pv.facts.fileSize, sizeText);
    m_tasks->AddSegmentRow(kPageExtract, pv.source, name, start, end, sizeText);
}
