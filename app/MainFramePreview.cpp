// The cut and extract previews of the main window: following the selected source row, playing,
// the position label and slider, the cursors over the timeline (typed times and dragging) and the
// preview volume pop-up.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/MainFramePreview.h"
#include "common/Common.h"
#include "platform/Platform.h"
#include "ui/AVPlayer.h"
#include "ui/MediaWnd.h"
#include "ui/TimeControl.h"

namespace {

constexpr int kTrackWidth = 130;  // logical width of a preview timeline
constexpr int kCursorHalf = 6;    // logical half-width of a cursor

std::wstring FileNameOf(const std::wstring& path) {
    std::wstring name, ext;
    CCommon::OnSplitPath(path, nullptr, &name, &ext);
    return name + ext;
}

}  // namespace

void CMainFrameWnd::Preview::Bind(CWindowUI* wnd) {
    bool cut = page == kPageCut;
    hostControl = wnd->FindControl(cut ? L"cutMediaWnd" : L"extractMediaWnd");
    host = dynamic_cast<CMediaHost*>(hostControl);
    slider = wnd->FindControlAs<CSliderUI>(cut ? L"CutPlaySlider" : L"ExtractPlaySlider");
    timeLabel = wnd->FindControl(cut ? L"cutMediaDisplayTime" : L"extractMediaDisplayTime");
    leftCursor = wnd->FindControl(cut ? L"btnLeftCursor" : L"btnExtractLeftCursor");
    rightCursor = wnd->FindControl(cut ? L"btnRightCursor" : L"btnExtractRightCursor");
    track = wnd->FindControl(cut ? L"cutV" : L"ExtrcutV");
    playButton = wnd->FindControl(cut ? L"btnCutPlay" : L"btnExtractPlay");
    addButton = wnd->FindControl(cut ? L"btnCutAddToList" : L"btnExtractAddToList");
    fileLabel = wnd->FindControl(cut ? L"cutfilepreview" : L"extractfilepreview");
}

CAVPlayer* CMainFrameWnd::Preview::Player() const {
    return host ? &host->GetPlayer() : nullptr;
}

void CMainFrameWnd::Preview::ReleasePlayer() {
    if (CAVPlayer* player = Player()) player->Release();
    usePlayer = false;
}

CMainFrameWnd::Preview& CMainFrameWnd::PreviewOf(int page) {
    return page == kPageExtract ? *m_extract : *m_cut;
}
const CMainFrameWnd::Preview& CMainFrameWnd::PreviewOf(int page) const {
    return page == kPageExtract ? *m_extract : *m_cut;
}

std::wstring CMainFrameWnd::PreviewSource(int page) const {
    return PreviewOf(page).source;
}
const MediaFacts& CMainFrameWnd::PreviewFacts(int page) const {
    return PreviewOf(page).facts;
}

bool CMainFrameWnd::PreviewPlaying(int page) const {
    const Preview& pv = PreviewOf(page);
    CAVPlayer* player = pv.Player();
    return player && pv.usePlayer && player->IsPlaying();
}

uint32_t CMainFrameWnd::PreviewDuration(const Preview& pv) const {
    if (pv.facts.durationMs > 0) return pv.facts.durationMs;
    if (CAVPlayer* player = pv.Player(); player && pv.usePlayer) {
        int32_t length = player->GetTotalTime();
        if (length > 0) return static_cast<uint32_t>(length);
    }
    return 0;
}

// ---- Following the selected row --------------------------------------------------------------

void CMainFrameWnd::FollowSelectedRow(int page) {
    CListUI* list = PageList(page);
    if (!list || list->GetCount() == 0) return;
    CListContainerElementUI* row = list->GetSelectedElement();
    if (!row) {
        list->SelectItem(0, false);
        row = list->GetSelectedElement();
    }
    if (!row) return;
    std::wstring path = row->GetUserData();
    if (path.empty() || path == PreviewOf(page).source) return;
    OpenPreview(page, path);
}

void CMainFrameWnd::OpenPreview(int page, const std::wstring& path) {
    Preview& pv = PreviewOf(page);
    MediaFacts facts;
    CCommon::OnGetMediaFileInfo(path, facts);
    pv.source = path;
    pv.facts = facts;
    pv.usePlayer = false;
    if (CAVPlayer* player = pv.Player(); player && m_options.createPlayers) {
        if (!m_options.playerArgs.empty()) player->SetInstanceArgs(m_options.playerArgs);
        pv.usePlayer = player->Open(platform::ToUtf8(path));
        if (pv.usePlayer) player->Volume(m_previewVolume);
    }
    uint32_t duration = PreviewDuration(pv);
    pv.durationText = CCommon::FormatTimeCode(duration);

    if (page == kPageCut) {
        m_times->SetGroup(TimeFieldSet::kCutStart, 0);
        m_times->SetDuration(TimeFieldSet::kKindCut, duration);
    } else {
        m_times->SetGroup(TimeFieldSet::kExtractStart, 0);
        m_times->SetDuration(TimeFieldSet::kKindExtract, duration);
    }
    if (pv.slider) {
        pv.slider->SetValue(0);
        pv.slider->SetEnabled(true);
    }
    if (pv.addButton) pv.addButton->SetEnabled(duration > 0);
    bool showCursors = page == kPageExtract || CutMethodIndex() == kCutManual;
    if (pv.leftCursor) pv.leftCursor->SetVisible(showCursors);
    if (pv.rightCursor) pv.rightCursor->SetVisible(showCursors);
    UpdateLayout();
    PlaceCursorAtTime(pv, false, duration);
    PlaceCursorAtTime(pv, true, 0);
    if (page == kPageCut && CutMethodIndex() != kCutManual) SwitchCutMethod(CutMethodIndex());
    if (auto* gif = dynamic_cast<CGifAnimUI*>(pv.hostControl); gif && page == kPageCut && pv.usePlayer)
        gif->PlayGif();
    SetPlayButton(page, pv.usePlayer);
    if (pv.timeLabel) pv.timeLabel->SetText(L"00:00:00.000/" + pv.durationText);
    RefreshPreviewLabel(page);
}

void CMainFrameWnd::ClosePreview(int page) {
    Preview& pv = PreviewOf(page);
    if (CAVPlayer* player = pv.Player()) player->Close();
    pv.usePlayer = false;
    pv.source.clear();
    pv.facts = MediaFacts{};
    pv.durationText.clear();
    if (pv.slider) {
        pv.slider->SetValue(0);
        pv.slider->SetEnabled(false);
    }
    if (pv.addButton) pv.addButton->SetEnabled(false);
    if (pv.leftCursor) pv.leftCursor->SetVisible(false);
    if (pv.rightCursor) pv.rightCursor->SetVisible(false);
    if (pv.timeLabel) pv.timeLabel->SetText(L"00:00:00.000/00:00:00.000");
    if (page == kPageCut) {
        HideSplitMarks();
        if (auto* gif = dynamic_cast<CGifAnimUI*>(pv.hostControl)) gif->StopGif();
    }
    SetPlayButton(page, false);
    RefreshPreviewLabel(page);
}

void CMainFrameWnd::ClearCutPage() {
    Preview& pv = *m_cut;
    if (auto* gif = dynamic_cast<CGifAnimUI*>(pv.hostControl)) {
        gif->StopGif();
        gif->SetAttribute(L"autoplay", L"false");
        gif->SetAttribute(L"bkimage", L"BkStatic.png");
    }
    if (pv.leftCursor) pv.leftCursor->SetVisible(false);
    if (pv.rightCursor) pv.rightCursor->SetVisible(false);
    HideSplitMarks();
    SetPlayButton(kPageCut, false);
    if (CListUI* list = PageList(kPageCut)) list->RemoveAll();
    ClosePreview(kPageCut);
    if (CControlUI* edit = FindControl(L"editCutName")) {
        edit->SetText(L"");
        edit->SetAttribute(L"tipvalue", L"默认片段名，可以修改");
    }
    RefreshMidViewer();
}

void CMainFrameWnd::RefreshPreviewLabel(int page) {
    Preview& pv = PreviewOf(page);
    if (!pv.fileLabel) return;
    if (pv.source.empty()) {
        pv.fileLabel->SetText(L"");
        return;
    }
    std::wstring text = FileNameOf(pv.source) + L"  ·  " + pv.durationText;
    if (page == kPageCut) {
        static const wchar_t* const kMethods[3] = {L"手动分割", L"平均分割", L"按时间分割"};
        int m = std::clamp(CutMethodIndex(), 0, 2);
        text += std::wstring(L"  ·  ") + kMethods[m];
    }
    pv.fileLabel->SetText(text);
}

// ---- Playing ---------------------------------------------------------------------------------

void CMainFrameWnd::SetPlayButton(int page, bool playing) {
    Preview& pv = PreviewOf(page);
    if (!pv.playButton) return;
    pv.playButton->SetAttribute(L"normalimage",
                                playing ? L"file='btnPause_01.png'" : L"file='btnPlay_01.png'");
    pv.playButton->SetAttribute(L"hotimage", playing ? L"file='btnPause_02.png'" : L"file='btnPlay_02.png'");
}

void CMainFrameWnd::TogglePlay(int page, bool stop) {
    Preview& pv = PreviewOf(page);
    CAVPlayer* player = pv.Player();
    if (!player || !player->HasMedia()) return;
    auto* gif = page == kPageCut ? dynamic_cast<CGifAnimUI*>(pv.hostControl) : nullptr;
    if (player->IsPlaying()) {
        player->Pause();
        if (stop) {
            player->SetPos(0);
            if (page == kPageCut && CutMethodIndex() != kCutManual) {
                if (pv.leftCursor) pv.leftCursor->SetVisible(false);
                if (pv.rightCursor) pv.rightCursor->SetVisible(false);
            }
        }
        if (gif) gif->StopGif();
        SetPlayButton(page, false);
    } else if (!stop) {
        player->Play();
        if (gif) gif->PlayGif();
        SetPlayButton(page, true);
    }
}

void CMainFrameWnd::RefreshTimeLabel(Preview& pv) {
    CAVPlayer* player = pv.Player();
    if (!player || !pv.usePlayer) return;
    int32_t length = player->GetTotalTime();
    int32_t time = player->GetTime();
    if (length <= 0 || time < 0) return;
    int percent = static_cast<int>(static_cast<int64_t>(time) * 100 / length);
    std::wstring total =
        pv.durationText.empty() ? CCommon::FormatTimeCode(static_cast<uint32_t>(length)) : pv.durationText;
    if (pv.timeLabel)
        pv.timeLabel->SetText(CCommon::FormatTimeCode(static_cast<uint32_t>(time)) + L"/" + total);
    if (pv.slider) pv.slider->SetValue(percent);
}

void CMainFrameWnd::OnPlayerPosition(uintptr_t player) {
    for (Preview* pv : {m_cut.get(), m_extract.get()}) {
        if (player && reinterpret_cast<uintptr_t>(pv->Player()) == player) RefreshTimeLabel(*pv);
    }
}

void CMainFrameWnd::OnPlayerEnded(uintptr_t player) {
    for (Preview* pv : {m_cut.get(), m_extract.get()}) {
        CAVPlayer* p = pv->Player();
        if (!player || reinterpret_cast<uintptr_t>(p) != player || pv->source.empty()) continue;
        pv->usePlayer = p->Open(platform::ToUtf8(pv->source));
        if (pv->usePlayer) p->Volume(m_previewVolume);
    }
}

bool CMainFrameWnd::OnSliderNotify(TNotifyUI& msg) {
    if (msg.sType != L"valuechanged" && msg.sType != L"movevaluechanged") return false;
    SeekFromSlider(msg.pSender);
    return true;
}

void CMainFrameWnd::SeekFromSlider(CControlUI* slider) {
    for (Preview* pv : {m_cut.get(), m_extract.get()}) {
        if (pv->slider != slider) continue;
        if (CAVPlayer* player = pv->Player(); player && pv->usePlayer) {
            player->SetPos(pv->slider->GetValue());
            RefreshTimeLabel(*pv);
        }
    }
}

// ---- Volume pop-up ---------------------------------------------------------------------------

void CMainFrameWnd::ShowVolumePopup(CControlUI* button) {
    UIRect rc = button->GetPos();
    UIPoint pt = ClientToScreen({rc.left - GetDPI().Scale(8), rc.top - GetDPI().Scale(175)});
    if (m_volumeMenu && CAppUI::IsWindowAlive(m_volumeMenu)) m_volumeMenu->Close(0);
    CMenuUI* menu = CMenuUI::Show(this, L"volume.xml", pt, this);
    m_volumeMenu = menu;
    if (!menu) return;
    wchar_t text[16];
    std::swprintf(text, 16, L"%d%%", m_previewVolume);
    if (CControlUI* label = menu->FindControl(L"SliderVlaue")) label->SetText(text);
    if (auto* slider = menu->FindControlAs<CSliderUI>(L"vlomueslider")) slider->SetValue(m_previewVolume);
}

void CMainFrameWnd::OnVolumeSlider(CControlUI* slider) {
    auto* s = dynamic_cast<CSliderUI*>(slider);
    if (!s) return;
    m_previewVolume = s->GetValue();
    wchar_t text[16];
    std::swprintf(text, 16, L"%d%%", m_previewVolume);
    if (CWindowUI* popup = slider->GetWindow()) {
        if (CControlUI* label = popup->FindControl(L"SliderVlaue")) label->SetText(text);
    }
    for (Preview* pv : {m_cut.get(), m_extract.get()}) {
        if (CAVPlayer* player = pv->Player(); player && pv->usePlayer) player->Volume(m_previewVolume);
    }
}

// ---- Time boxes ------------------------------------------------------------------------------

uint32_t CMainFrameWnd::ReadTimeGroup(int group) const {
    return m_times->GroupMs(group);
}

void CMainFrameWnd::ValidateTimeEdit(CControlUI* box) {
    int group = 0, unit = 0;
    if (!TimeFieldSet::ParseBoxName(box->GetName(), &group, &unit)) return;
    m_times->ValidateEdit(
        box, group <= TimeFieldSet::kCutLength ? TimeFieldSet::kKindCut : TimeFieldSet::kKindExtract);
}

void CMainFrameWnd::NormaliseLengthGroup() {
    m_times->NormaliseGroup(TimeFieldSet::kCutLength);
}

// ---- Cursors ---------------------------------------------------------------------------------

void CMainFrameWnd::PlaceCursorFromTime(int timerId) {
    switch (timerId) {
        case 5:
            PlaceCursorAtTime(*m_cut, true, ReadTimeGroup(TimeFieldSet::kCutStart));
            break;
        case 6:
            PlaceCursorAtTime(*m_cut, false, ReadTimeGroup(TimeFieldSet::kCutEnd));
            break;
        case 7:
            if (CutMethodIndex() == kCutByLength) {
                ShowSplitMarks(LengthSplitCount(ReadTimeGroup(TimeFieldSet::kCutEnd),
                                                ReadTimeGroup(TimeFieldSet::kCutLength)));
            } else {
                if (m_cut->leftCursor) m_cut->leftCursor->SetVisible(false);
                if (m_cut->rightCursor) m_cut->rightCursor->SetVisible(false);
                if (CutMethodIndex() == kCutEven) ShowSplitMarks(SelectedPartCount());
            }
            break;
        case 8:
            PlaceCursorAtTime(*m_extract, true, ReadTimeGroup(TimeFieldSet::kExtractStart));
            break;
        case 9:
            PlaceCursorAtTime(*m_extract, false, ReadTimeGroup(TimeFieldSet::kExtractEnd));
            break;
        default:
            break;
    }
}

void CMainFrameWnd::PlaceCursorAtTime(Preview& pv, bool start, uint32_t ms) {
    uint32_t duration = PreviewDuration(pv);
    if (duration == 0 || !pv.slider || !pv.leftCursor || !pv.rightCursor || !pv.track) return;
    UpdateLayout();
    const CDisplayScaleUI& dpi = GetDPI();
    int trackLeft = pv.slider->GetPos().left;
    int width = dpi.Scale(kTrackWidth);
    int half = dpi.Scale(kCursorHalf);
    bool cut = pv.page == kPageCut;
    int startGroup = cut ? TimeFieldSet::kCutStart : TimeFieldSet::kExtractStart;
    int endGroup = cut ? TimeFieldSet::kCutEnd : TimeFieldSet::kExtractEnd;
    double fraction = std::min<double>(1.0, static_cast<double>(ms) / duration);
    int x = trackLeft + static_cast<int>(fraction * width);
    if (start) {
        uint32_t endMs = ReadTimeGroup(endGroup);
        int endLeft = pv.rightCursor->GetPos().left;
        if (ms > endMs) {
            // A start past the end takes the end time and stops just before the end cursor.
            m_times->SetGroup(startGroup, endMs);
            WriteCursorPos(pv, pv.leftCursor, endLeft - half);
        } else {
            WriteCursorPos(pv, pv.leftCursor, std::min(x - half, endLeft - half));
        }
        pv.lastLeft = pv.leftCursor->GetPos().left;
    } else {
        uint32_t startMs = ReadTimeGroup(startGroup);
        int startPoint = pv.leftCursor->GetPos().left + half;
        x = std::min(x, trackLeft + width);
        if (ms < startMs) {
            m_times->SetGroup(endGroup, startMs);
            x = startPoint;
        }
        WriteCursorPos(pv, pv.rightCursor, x);
        pv.lastRight = pv.rightCursor->GetPos().left;
    }
}

void CMainFrameWnd::WriteCursorPos(Preview& pv, CControlUI* cursor, int deviceLeft) {
    const CDisplayScaleUI& dpi = GetDPI();
    UIRect container = pv.track->GetPos();
    int left = dpi.ScaleBack(deviceLeft - container.left);
    wchar_t pos[64];
    std::swprintf(pos, 64, L"%d,%d,%d,%d", left, 1, left + 2 * kCursorHalf, 41);
    cursor->SetAttribute(L"pos", pos);
    UpdateLayout();
}

bool CMainFrameWnd::OnMouseForCursors(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    UIPoint pt = UIPointFromParam(lParam);
    if (msg == UIMSG_LBUTTONDOWN) {
        CControlUI* hit = FindControl(pt);
        for (Preview* pv : {m_cut.get(), m_extract.get()}) {
            if (hit && (hit == pv->leftCursor || hit == pv->rightCursor) && hit->IsVisible()) {
                m_dragCursor = hit;
                pv->lastLeft = pv->leftCursor->GetPos().left;
                pv->lastRight = pv->rightCursor->GetPos().left;
                return true;
            }
        }
        return false;
    }
    if (msg == UIMSG_LBUTTONUP) {
        bool was = m_dragCursor != nullptr;
        m_dragCursor = nullptr;
        return was;
    }
    if (!m_dragCursor || !(wParam & UIMK_LBUTTON)) return false;
    Preview& pv =
        (m_dragCursor == m_cut->leftCursor || m_dragCursor == m_cut->rightCursor) ? *m_cut : *m_extract;
    uint32_t duration = PreviewDuration(pv);
    if (duration == 0 || !pv.slider || !pv.track) return true;
    const CDisplayScaleUI& dpi = GetDPI();
    int trackLeft = pv.slider->GetPos().left;
    int width = dpi.Scale(kTrackWidth);
    int half = dpi.Scale(kCursorHalf);
    bool start = m_dragCursor == pv.leftCursor;
    int x = pt.x;
    int offset = 0;
    if (start) {
        x = std::clamp(x, trackLeft - half, std::max(trackLeft - half, pv.rightCursor->GetPos().left - half));
        offset = x + half - trackLeft;
    } else {
        x = std::clamp(x, std::min(trackLeft + width, pv.leftCursor->GetPos().left + half),
                       trackLeft + width);
        offset = x - trackLeft;
    }
    offset = std::clamp(offset, 0, width);
    double fraction = static_cast<double>(dpi.ScaleBack(offset)) / kTrackWidth;
    uint32_t ms = static_cast<uint32_t>(std::lround(fraction * duration));
    bool cut = pv.page == kPageCut;
    int group = start ? (cut ? TimeFieldSet::kCutStart : TimeFieldSet::kExtractStart)
                      : (cut ? TimeFieldSet::kCutEnd : TimeFieldSet::kExtractEnd);
    m_times->SetGroup(group, ms);
    WriteCursorPos(pv, m_dragCursor, x);
    if (CAVPlayer* player = pv.Player(); player && pv.usePlayer)
        player->SetPos(static_cast<int>(fraction * 100));
    return true;
}
