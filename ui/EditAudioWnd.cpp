#include "ui/EditAudioWnd.h"

#include <algorithm>
#include <cmath>

#include "common/Common.h"
#include "common/MediaFacts.h"
#include "ui/AVPlayer.h"
#include "ui/CustomControls.h"
#include "ui/MediaWnd.h"
#include "ui/Messages.h"
#include "ui/TimeControl.h"

namespace {

std::wstring PosText(int l, int t, int r, int b) {
    wchar_t buf[64];
    swprintf(buf, 64, L"%d,%d,%d,%d", l, t, r, b);
    return buf;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.rfind(prefix, 0) == 0;
}
bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

}  // namespace

CEditAudioWnd::CEditAudioWnd(std::wstring sourcePath, int multiMode)
    : m_sourcePath(std::move(sourcePath)), m_multiMode(multiMode) {}

CEditAudioWnd::~CEditAudioWnd() {
    // The volume pop-up closes with the editor (it deletes itself once closed).
    if (m_volumeMenu && CAppUI::IsWindowAlive(m_volumeMenu)) m_volumeMenu->Close(0);
}

int CEditAudioWnd::Run(CWindowUI* owner) {
    if (!Create(owner, kCaption, 0, 0, kWidth, kHeight)) return UIRESULT_CLOSED;
    CenterWindow();
    return ShowModal();
}

CAVPlayer* CEditAudioWnd::GetPlayer() const {
    return m_media ? &m_media->GetPlayer() : nullptr;
}

CControlUI* CEditAudioWnd::CreateControl(const std::wstring& tag) {
    return CreateCustomControl(tag);
}

int CEditAudioWnd::CurrentTab() const {
    return m_tabs ? m_tabs->GetCurSel() : 0;
}

void CEditAudioWnd::InitWindow() {
    // 1. The duration, read once.
    MediaFacts facts;
    CCommon::OnGetMediaFileInfo(m_sourcePath, facts);
    if (facts.durationMs == 0) {
        int32_t bitRate = 0;
        CCommon::OnProbeWithTool(m_sourcePath, facts.durationMs, bitRate);
    }
    m_duration = facts.durationMs;
    m_durationText = CCommon::FormatTimeCode(m_duration);

    // 2. Controls and time fields.
    m_media = dynamic_cast<CMediaWndUI*>(FindControl(L"editMediaWnd"));
    m_timeline = FindControl(L"CutPlaySlider");
    m_status = FindControl(L"horplayerStauts");
    m_leftCursor = FindControl(L"btnEditLeftCursor");
    m_rightCursor = FindControl(L"btnEditRightCursor");
    m_timeLabel = FindControl(L"cutMediaDisplayTime");
    m_tabs = FindControlAs<CTabLayoutUI>(L"TabCutMethod");
    m_combo = FindControlAs<CComboUI>(L"comboSegMentNum");
    m_fields = std::make_unique<TimeFieldSet>(this, 1, &m_textGuard);
    m_fields->Bind();

    // 3. Single mode offers the manual range only.
    if (m_multiMode == 0) {
        if (CControlUI* c = FindControl(L"verAverage")) c->SetVisible(false);
        if (CControlUI* c = FindControl(L"verTimeLen")) c->SetVisible(false);
        if (CControlUI* c = FindControl(L"horCutOptions")) c->SetAttribute(L"width", L"142");
    }

    // 4. Names.
    std::wstring folder, stem, ext;
    CCommon::OnSplitPath(m_sourcePath, &folder, &stem, &ext);
    if (CControlUI* c = FindControl(L"srcfilename")) c->SetText(stem + ext);
    if (CControlUI* c = FindControl(L"editCutName")) {
        c->SetText(stem + L"_1" + ext);
        if (auto* edit = dynamic_cast<CEditUI*>(c); edit && m_multiMode) edit->SetReadOnly(true);
    }

    // 5, 6. Times.
    m_fields->SetDuration(TimeFieldSet::kCutStart, m_duration);
    if (m_timeLabel) m_timeLabel->SetText(L"00:00:00.00/" + m_durationText);

    // 7. The preview starts playing at once.
    m_utf8Path = CCommon::OnToUtf8(m_sourcePath);
    if (CAVPlayer* player = GetPlayer()) {
        player->Open(m_utf8Path);
        player->Volume(m_volume);
    }
    RefreshPlayButton();

    // 8. Marks, start-up guard and the screen's scale.
    if (m_status) {
        auto* container = dynamic_cast<CContainerUI*>(m_status);
        for (int i = 1; i <= kMarkCount; ++i) {
            auto* mark = new CLabelUI;
            wchar_t name[32];
            swprintf(name, 32, L"PlayMark%d", i);
            mark->SetName(name);
            mark->SetAttribute(L"float", L"true");
            mark->SetAttribute(L"pos", L"0,0,0,0");
            mark->SetAttribute(L"bkcolor", L"#FF347AEB");
            mark->SetMouseEnabled(false);
            mark->SetVisible(false);
            if (container) container->Add(mark);
            m_marks.push_back(mark);
        }
    }
    SetTimer(kTimerStartup, kStartupMs);
    if (IBackendUI* backend = CAppUI::GetBackend()) {
        const int dpi = backend->GetScreenDpi();
        if (dpi > 0 && dpi != GetDPI().GetDPI()) ApplyDPI(dpi);
        m_screenDpi = GetDPI().GetDPI();
    }
}

// ---- Cursors ------------------------------------------------------------------------------------

void CEditAudioWnd::PlaceCursorsAtEnds() {
    if (!m_timeline || !m_status || !m_leftCursor || !m_rightCursor) return;
    UpdateLayout();
    const UIRect tl = m_timeline->GetPos();
    const UIRect parent = m_status->GetPos();
    const int a = GetDPI().ScaleBack(tl.left - parent.left) - kCursorWidth;
    const int b = GetDPI().ScaleBack(tl.right - parent.left);
    m_leftCursor->SetAttribute(L"pos", PosText(a - 1, 28, a + 5, 28 + kCursorHeight));
    m_rightCursor->SetAttribute(L"pos", PosText(b, 28, b + kCursorWidth, 28 + kCursorHeight));
    NeedUpdate();
    UpdateLayout();
}

double CEditAudioWnd::FractionOfOffset(int deviceOffset) const {
    const int clamped = std::min(deviceOffset, GetDPI().Scale(kTimelineWidth));
    const int logical = std::max(0, GetDPI().ScaleBack(clamped));
    return std::min(1.0, static_cast<double>(logical) / kTimelineWidth);
}

void CEditAudioWnd::MoveCursor(CControlUI* cursor, int x, int top) {
    if (!cursor || !m_status) return;
    const UIRect parent = m_status->GetPos();
    const int left = GetDPI().ScaleBack(x - parent.left);
    const int relTop = GetDPI().ScaleBack(top - parent.top);
    cursor->SetAttribute(L"pos", PosText(left, relTop, left + kCursorWidth, relTop + kCursorHeight));
    NeedUpdate();
    UpdateLayout();
}

void CEditAudioWnd::SeekPercent(double fraction) {
    if (CAVPlayer* player = GetPlayer()) player->SetPos(static_cast<int>(fraction * 100.0));
}

void CEditAudioWnd::DragTo(int x) {
    if (!m_timeline || !m_leftCursor || !m_rightCursor || !m_dragged) return;
    const UIRect tl = m_timeline->GetPos();
    const int six = GetDPI().Scale(kCursorWidth);
    if (m_dragged == m_leftCursor) {
        x = std::max(x, tl.left - six);
        x = std::min(x, m_rightCursor->GetPos().left - six);
        const int offset = x + six - tl.left;
        m_leftOffset = (m_rightOffset != -1) ? std::min(offset, m_rightOffset) : offset;
        const double fraction = FractionOfOffset(offset);
        m_fields->SetGroup(TimeFieldSet::kCutStart, static_cast<uint32_t>(m_duration * fraction));
        if (m_otherCursorRefresh) {
            m_otherCursorRefresh = false;
            const double other = FractionOfOffset(m_rightCursor->GetPos().left - tl.left);
            m_fields->SetGroup(TimeFieldSet::kCutEnd, static_cast<uint32_t>(m_duration * other));
        }
        SeekPercent(fraction);
        MoveCursor(m_leftCursor, x, m_leftAtDrag.y);
    } else {
        x = std::max(x, m_leftCursor->GetPos().left + six);
        x = std::min(x, tl.right);
        const int offset = x - tl.left;
        m_rightOffset = std::max(offset, m_leftOffset);
        const double fraction = FractionOfOffset(offset);
        m_fields->SetGroup(TimeFieldSet::kCutEnd, static_cast<uint32_t>(m_duration * fraction));
        if (m_otherCursorRefresh) {
            m_otherCursorRefresh = false;
            const double other = FractionOfOffset(m_leftCursor->GetPos().left + six - tl.left);
            m_fields->SetGroup(TimeFieldSet::kCutStart, static_cast<uint32_t>(m_duration * other));
        }
        MoveCursor(m_rightCursor, x, m_leftAtDrag.y);
    }
}

uint32_t CEditAudioWnd::TotalForCursors() {
    if (!m_durationText.empty()) return CCommon::OnParseTimeCode(m_durationText);
    CAVPlayer* player = GetPlayer();
    return player ? static_cast<uint32_t>(std::max(0, player->GetTotalTime())) : 0;
}

void CEditAudioWnd::OnTimerStart() {
    if (!m_timeline || !m_leftCursor || !m_rightCursor) return;
    m_fields->NormaliseGroup(TimeFieldSet::kCutStart);
    uint32_t start = m_fields->GroupMs(TimeFieldSet::kCutStart);
    const uint32_t total = TotalForCursors();
    double fraction = total ? std::min(1.0, static_cast<double>(start) / total) : 0.0;
    const UIRect tl = m_timeline->GetPos();
    const int six = GetDPI().Scale(kCursorWidth);
    int x = static_cast<int>(GetDPI().Scale(kTimelineWidth) * fraction + tl.left - six);
    if (x > m_rightCursor->GetPos().left - six) {
        x = m_rightCursor->GetPos().left - six;
        start = m_fields->GroupMs(TimeFieldSet::kCutEnd);
        m_fields->SetGroup(TimeFieldSet::kCutStart, start);
        fraction = total ? std::min(1.0, static_cast<double>(start) / total) : 0.0;
    }
    MoveCursor(m_leftCursor, x, m_leftCursor->GetPos().top);
    if (m_seekAllowed) SeekPercent(fraction);
}

void CEditAudioWnd::OnTimerEnd() {
    if (!m_timeline || !m_leftCursor || !m_rightCursor) return;
    m_fields->NormaliseGroup(TimeFieldSet::kCutEnd);
    const uint32_t end = m_fields->GroupMs(TimeFieldSet::kCutEnd);
    if (end == 0) return;
    const uint32_t total = TotalForCursors();
    const double fraction = total ? std::min(1.0, static_cast<double>(end) / total) : 0.0;
    const UIRect tl = m_timeline->GetPos();
    int x = std::min(static_cast<int>(GetDPI().Scale(kTimelineWidth) * fraction + tl.left), tl.right);
    const int leftEdge = m_leftCursor->GetPos().right;
    if (x < leftEdge) {
        x = leftEdge;
        m_fields->SetGroup(TimeFieldSet::kCutEnd, m_fields->GroupMs(TimeFieldSet::kCutStart));
    }
    MoveCursor(m_rightCursor, x, m_rightCursor->GetPos().top);
}

int CEditAudioWnd::PartsForLength() const {
    const uint32_t length = m_fields->GroupMs(TimeFieldSet::kCutLength);
    if (length == 0) return 1;
    return static_cast<int>(std::max<uint32_t>(1, m_duration / length));
}

void CEditAudioWnd::OnTimerLength() {
    if (m_seekAllowed) {
        m_fields->NormaliseGroup(TimeFieldSet::kCutLength);
        m_fields->NormaliseGroup(TimeFieldSet::kCutEnd);
        const uint32_t length = m_fields->GroupMs(TimeFieldSet::kCutLength);
        const uint32_t end = m_fields->GroupMs(TimeFieldSet::kCutEnd);
        int parts = length ? static_cast<int>(end / length) : 1;
        parts = std::max(1, parts);
        if (length && end % length >= 1001) ++parts;
        ShowMarks(parts);
        return;
    }
    // First run after a change of scale.
    m_seekAllowed = true;
    const int tab = CurrentTab();
    if (tab != 0) {
        ShowCursors(false);
        ShowMarks(tab == 1 && m_combo ? std::max(1, UIParseInt(m_combo->GetText(), 2)) : PartsForLength());
    }
}

// ---- Marks and tabs -------------------------------------------------------------------------------

void CEditAudioWnd::ShowMarks(int parts) {
    if (CurrentTab() == 0 || parts <= 0) return;
    const int spacing = kTimelineWidth / parts;
    const int dpi = GetDPI().GetDPI();
    const int shift = dpi != 96 ? static_cast<int>(std::ceil((dpi / 96.0 - 1.0) * 6.0)) : 0;
    for (int i = 0; i < static_cast<int>(m_marks.size()); ++i) {
        CControlUI* mark = m_marks[i];
        if (i <= parts) {
            const int x = kFirstMarkX + i * spacing - shift;
            mark->SetAttribute(L"pos", PosText(x, 18, x + 2, 36));
            mark->SetVisible(true);
        } else {
            mark->SetVisible(false);
        }
    }
    NeedUpdate();
}

void CEditAudioWnd::HideMarks() {
    for (CControlUI* mark : m_marks) mark->SetVisible(false);
}

void CEditAudioWnd::ShowCursors(bool show) {
    if (m_leftCursor) m_leftCursor->SetVisible(show);
    if (m_rightCursor) m_rightCursor->SetVisible(show);
}

void CEditAudioWnd::OnTabChanged(int tab) {
    if (tab == 0) {
        ShowCursors(true);
        HideMarks();
    } else if (tab == 1) {
        ShowCursors(false);
        ShowMarks(m_combo ? std::max(1, UIParseInt(m_combo->GetText(), 2)) : 2);
    } else {
        ShowCursors(false);
        ShowMarks(PartsForLength());
    }
}

// ---- Preview ------------------------------------------------------------------------------------

void CEditAudioWnd::SetPlayImages(bool showPause) {
    CControlUI* button = FindControl(L"btnCutPlay");
    if (!button) return;
    button->SetAttribute(L"normalimage", showPause ? L"file='btnPause_01.png'" : L"file='btnPlay_01.png'");
    button->SetAttribute(L"hotimage", showPause ? L"file='btnPause_02.png'" : L"file='btnPlay_02.png'");
}

void CEditAudioWnd::RefreshPlayButton() {
    CAVPlayer* player = GetPlayer();
    // Asked right after a command, the library still reports the state before it.
    if (player && player->IsPlaying()) {
        if (m_media) m_media->StopGif();
        SetPlayImages(false);
    } else {
        if (m_media && player && player->HasMedia()) m_media->PlayGif();
        SetPlayImages(player && player->HasMedia());
    }
}

void CEditAudioWnd::RefreshTimeDisplay() {
    CAVPlayer* player = GetPlayer();
    if (!player) return;
    const int32_t elapsed = std::max(0, player->GetTime());
    const int32_t length = player->GetTotalTime();
    const std::wstring total = m_durationText.empty()
                                   ? CCommon::FormatTimeCode(static_cast<uint32_t>(std::max(0, length)))
                                   : m_durationText;
    if (m_timeLabel)
        m_timeLabel->SetText(CCommon::FormatTimeCode(static_cast<uint32_t>(elapsed)) + L"/" + total);
    if (auto* slider = dynamic_cast<CSliderUI*>(m_timeline))
        slider->SetValue(length > 0 ? static_cast<int>(static_cast<int64_t>(elapsed) * 100 / length) : 0);
}

void CEditAudioWnd::ShowVolumePopup() {
    CControlUI* button = FindControl(L"btnCutSpeaker");
    if (!button) return;
    const UIRect rc = button->GetPos();
    const UIPoint pt = ClientToScreen({rc.left - GetDPI().Scale(8), rc.top - GetDPI().Scale(175)});
    if (m_volumeMenu && CAppUI::IsWindowAlive(m_volumeMenu)) m_volumeMenu->Close(0);
    CMenuUI* menu = CMenuUI::Show(this, L"volume.xml", pt);
    m_volumeMenu = menu;
    if (!menu) return;
    wchar_t text[16];
    swprintf(text, 16, L"%d%%", m_volume);
    if (CControlUI* label = menu->FindControl(L"SliderVlaue")) label->SetText(text);
    if (auto* slider = menu->FindControlAs<CSliderUI>(L"vlomueslider")) slider->SetValue(m_volume);
}

// ---- OK -----------------------------------------------------------------------------------------

std::vector<CutSegment> CEditAudioWnd::EvenPieces(uint32_t total, int parts) {
    std::vector<CutSegment> pieces;
    parts = std::max(1, parts);
    const uint32_t piece = total / static_cast<uint32_t>(parts);
    for (int i = 0; i < parts; ++i) {
        const uint32_t start = static_cast<uint32_t>(i) * piece;
        const uint32_t length = (i == parts - 1) ? total - start : piece;
        pieces.push_back({L"", CCommon::FormatTimeCode(start), static_cast<int32_t>(length)});
    }
    return pieces;
}

std::vector<CutSegment> CEditAudioWnd::LengthPieces(uint32_t total, uint32_t length) {
    std::vector<CutSegment> pieces;
    const int64_t k = length > 5000 ? std::max<int64_t>(1, total / length) : 1;
    for (int64_t i = 0; i <= k; ++i) {
        const int64_t start = i * length;
        const int64_t size = i < k ? length : static_cast<int64_t>(total) - k * length;
        // A piece of no length (the tail of an exact multiple, or a length of 0) makes no file.
        if (size <= 0 || start > total) continue;
        pieces.push_back(
            {L"", CCommon::FormatTimeCode(static_cast<uint32_t>(start)), static_cast<int32_t>(size)});
    }
    return pieces;
}

void CEditAudioWnd::OnOk() {
    m_segments.clear();
    const int tab = m_multiMode ? CurrentTab() : 0;
    if (tab == 0) {
        m_fields->NormaliseGroup(TimeFieldSet::kCutStart);
        m_fields->NormaliseGroup(TimeFieldSet::kCutEnd);
        const uint32_t start = m_fields->GroupMs(TimeFieldSet::kCutStart);
        uint32_t end = m_fields->GroupMs(TimeFieldSet::kCutEnd);
        // An end typed before the start is taken back to the start, as the cursors do.
        if (end < start) {
            end = start;
            m_fields->SetGroup(TimeFieldSet::kCutEnd, end);
        }
        CControlUI* name = FindControl(L"editCutName");
        m_segments.push_back({name ? name->GetText() : std::wstring(),
                              m_fields->ReadGroup(TimeFieldSet::kCutStart),
                              static_cast<int32_t>(end - start)});
    } else {
        if (tab == 1) {
            const int parts = m_combo ? std::max(1, UIParseInt(m_combo->GetText(), 2)) : 2;
            m_segments = EvenPieces(m_duration, parts);
        } else {
            m_fields->ClampLength();
            const uint32_t length = m_fields->GroupMs(TimeFieldSet::kCutLength);
            m_fields->SetLengthWasZero(length == 0);
            m_segments = LengthPieces(m_duration, length);
        }
        int counter = 1;
        for (CutSegment& segment : m_segments)
            CCommon::OnGetFreeNumberedName(m_sourcePath, segment.fileName, counter);
    }
    Close(1);
}

// ---- Notifications and messages -----------------------------------------------------------------

void CEditAudioWnd::Notify(TNotifyUI& msg) {
    const std::wstring name = msg.pSender ? msg.pSender->GetName() : std::wstring();
    if (msg.sType == L"windowinit") {
        PlaceCursorsAtEnds();
    } else if (msg.sType == L"textchanged" && StartsWith(name, L"cuttime")) {
        if (m_textGuard || m_startupGuard || !m_fields) return;
        m_fields->ValidateEdit(msg.pSender, TimeFieldSet::kKindCut);
        uint32_t timer = 0;
        if (Contains(name, L"cuttimeStart"))
            timer = kTimerStart;
        else if (Contains(name, L"cuttimeEnd"))
            timer = kTimerEnd;
        else if (Contains(name, L"cuttimeLength"))
            timer = kTimerLength;
        if (timer) {
            KillTimer(timer);
            SetTimer(timer, kTypingQuietMs);
        }
    } else if (msg.sType == L"killfocus" && Contains(name, L"cuttimeLength")) {
        if (!m_fields) return;
        m_fields->ClampLength();
        const uint32_t length = m_fields->GroupMs(TimeFieldSet::kCutLength);
        int parts = 1;
        m_fields->SetLengthWasZero(length == 0);
        if (length) {
            parts = static_cast<int>(std::max<uint32_t>(1, m_duration / length));
            if (m_duration % length >= 1001) ++parts;
        }
        ShowMarks(parts);
    } else if (msg.sType == L"tabselect" && name == L"TabCutMethod") {
        OnTabChanged(static_cast<int>(msg.wParam));
    } else if (msg.sType == L"itemselect" && name == L"comboSegMentNum") {
        if (m_combo) ShowMarks(std::max(1, UIParseInt(m_combo->GetText(), 2)));
    } else if (msg.sType == L"selectchanged") {
        auto* option = dynamic_cast<COptionUI*>(msg.pSender);
        if (option && option->IsSelected() && m_tabs) {
            if (name == L"optCutManual") m_tabs->SelectItem(0);
            if (name == L"optCutAverage") m_tabs->SelectItem(1);
            if (name == L"optCutTimeLen") m_tabs->SelectItem(2);
        }
    } else if (msg.sType == L"unselected") {
        if (CControlUI* parent = msg.pSender ? msg.pSender->GetParent() : nullptr) {
            if (auto* box = dynamic_cast<CContainerUI*>(parent))
                if (CControlUI* line = box->FindSubControl(L"xxx")) line->SetVisible(false);
        }
    } else if (msg.sType == L"click") {
        CAVPlayer* player = GetPlayer();
        if (name == L"btok") {
            OnOk();
        } else if (name == L"btncancel" || name == L"closebtn") {
            Close(2);
        } else if (name == L"btnCutPlay") {
            if (player && player->HasMedia()) {
                if (player->IsPlaying())
                    player->Pause();
                else
                    player->Play();
                RefreshPlayButton();
            }
        } else if (name == L"btnCutStop") {
            if (player && player->IsPlaying()) {
                player->Pause();
                player->SetPos(0);
                if (m_timeLabel) m_timeLabel->SetText(L"00:00:00.000/" + m_durationText);
                if (m_media) m_media->StopGif();
                SetPlayImages(false);
            }
        } else if (name == L"btnCutSpeaker") {
            ShowVolumePopup();
        }
    } else if (msg.sType == L"movevaluechanged" && name == L"CutPlaySlider") {
        if (auto* slider = dynamic_cast<CSliderUI*>(msg.pSender); slider && GetPlayer()) {
            GetPlayer()->SetPos(slider->GetValue());
            RefreshTimeDisplay();
        }
    } else if (msg.sType == L"valuechanged" && name == L"CutPlaySlider") {
        if (auto* slider = dynamic_cast<CSliderUI*>(msg.pSender); slider && GetPlayer())
            GetPlayer()->SetPos(slider->GetValue());
    } else if (msg.sType == L"valuechanged" && name == L"vlomueslider") {
        if (auto* slider = dynamic_cast<CSliderUI*>(msg.pSender)) {
            m_volume = slider->GetValue();
            wchar_t text[16];
            swprintf(text, 16, L"%d%%", m_volume);
            if (CWindowUI* popup = msg.pSender->GetWindow())
                if (CControlUI* label = popup->FindControl(L"SliderVlaue")) label->SetText(text);
            if (CAVPlayer* player = GetPlayer()) player->Volume(m_volume);
        }
    }
}

void CEditAudioWnd::ApplyDpiChange(int dpi, const UIRect* suggested) {
    m_lastDpiChange = static_cast<int64_t>(CAppUI::Now());
    if (dpi > 0) ApplyDPI(dpi);
    m_screenDpi = GetDPI().GetDPI();
    if (suggested) MoveWindow(*suggested);
    NeedUpdate();
    UpdateLayout();
    m_seekAllowed = false;
    m_otherCursorRefresh = true;
    if (CAVPlayer* player = GetPlayer(); player && player->HasMedia()) {
        player->Play();
        if (m_media) m_media->PlayGif();
        SetPlayImages(true);
    }
    // The length timer's next run sets seeking back on and redraws the marks at the new scale.
    KillTimer(kTimerLength);
    SetTimer(kTimerLength, kTypingQuietMs);
}

intptr_t CEditAudioWnd::HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) {
    switch (msg) {
        case UIMSG_LBUTTONDOWN: {
            CControlUI* hit = FindControl(UIPointFromParam(lParam));
            if (hit && (hit == m_leftCursor || hit == m_rightCursor)) {
                m_dragged = hit;
                m_leftAtDrag = {m_leftCursor->GetPos().left, m_leftCursor->GetPos().top};
                m_rightAtDrag = {m_rightCursor->GetPos().left, m_rightCursor->GetPos().top};
            }
            break;
        }
        case UIMSG_MOUSEMOVE:
            if ((wParam & UIMK_LBUTTON) && m_dragged) DragTo(UIPointFromParam(lParam).x);
            break;
        case UIMSG_LBUTTONUP:
            m_dragged = nullptr;
            break;
        case UIMSG_TIMER:
            if (wParam == kTimerDpiHeld) {
                KillTimer(kTimerDpiHeld);
                if (m_dpiHeld) {
                    m_dpiHeld = false;
                    ApplyDpiChange(m_heldDpi, m_heldDpiHasRect ? &m_heldDpiRect : nullptr);
                }
                handled = true;
                return 0;
            }
            if (wParam == kTimerStart || wParam == kTimerEnd || wParam == kTimerLength ||
                wParam == kTimerStartup) {
                KillTimer(static_cast<uint32_t>(wParam));
                if (wParam == kTimerStart) OnTimerStart();
                if (wParam == kTimerEnd) OnTimerEnd();
                if (wParam == kTimerLength) OnTimerLength();
                if (wParam == kTimerStartup) m_startupGuard = false;
                handled = true;
                return 0;
            }
            break;
        case MSG_PLAYER_PLAYING:
            handled = true;
            return 0;
        case MSG_PLAYER_POSITION:
            if (GetPlayer() && reinterpret_cast<CAVPlayer*>(wParam) == GetPlayer()) RefreshTimeDisplay();
            handled = true;
            return 0;
        case MSG_PLAYER_ENDED:
            if (GetPlayer() && reinterpret_cast<CAVPlayer*>(wParam) == GetPlayer()) {
                GetPlayer()->Open(m_utf8Path);
                GetPlayer()->Volume(m_volume);
            }
            handled = true;
            return 0;
        case UIMSG_DPICHANGED: {
            handled = true;
            const int64_t now = static_cast<int64_t>(CAppUI::Now());
            const int dpi = static_cast<int>(wParam);
            const UIRect* suggested = reinterpret_cast<const UIRect*>(lParam);
            if (m_lastDpiChange >= 0 && now - m_lastDpiChange < kDpiIntervalMs) {
                // Too soon after the last change: the newest one is applied when the interval
                // ends, so the window always ends at the screen's last scale.
                m_heldDpi = dpi;
                m_heldDpiHasRect = suggested != nullptr;
                if (suggested) m_heldDpiRect = *suggested;
                if (!m_dpiHeld) {
                    m_dpiHeld = true;
                    SetTimer(kTimerDpiHeld, static_cast<uint32_t>(kDpiIntervalMs - (now - m_lastDpiChange)));
                }
                return 0;
            }
            m_dpiHeld = false;
            KillTimer(kTimerDpiHeld);
            ApplyDpiChange(dpi, suggested);
            return 0;
        }
        default:
            break;
    }
    return CWindowUI::HandleMessage(msg, wParam, lParam, handled);
}
