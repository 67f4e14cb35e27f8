#include "ui/TimeControl.h"

#include <algorithm>
#include <cwctype>

#include "common/Common.h"

namespace {

const wchar_t* const kGroupPrefixes[TimeFieldSet::kGroups] = {
    L"cuttimeStart", L"cuttimeEnd", L"cuttimeLength", L"extracttimeStart", L"extracttimeEnd"};
const wchar_t* const kUnitNames[4] = {L"Hours", L"Minutes", L"Seconds", L"MillSeconds"};

std::wstring FormatUnit(int unit, uint32_t value) {
    wchar_t buf[16];
    swprintf(buf, 16, unit == 3 ? L"%03d" : L"%02d", static_cast<int>(value));
    return buf;
}

uint32_t TextValue(const std::wstring& text) {
    const long long v = CCommon::OnLeadingInteger(text);
    if (v < 0) return 0;
    return static_cast<uint32_t>(std::min<long long>(v, 0x7FFFFFFF));
}

// Raises the owner's text-change guard for the lifetime of the object.
class GuardScope {
public:
    explicit GuardScope(bool* guard) : m_guard(guard), m_old(guard ? *guard : false) {
        if (m_guard) *m_guard = true;
    }
    ~GuardScope() {
        if (m_guard) *m_guard = m_old;
    }
    GuardScope(const GuardScope&) = delete;
    GuardScope& operator=(const GuardScope&) = delete;

private:
    bool* m_guard;
    bool m_old;
};

}  // namespace

// ---- TimeFieldSet -------------------------------------------------------------------------------

TimeFieldSet::TimeFieldSet(CWindowUI* owner, int editorMode, bool* textGuard)
    : m_owner(owner), m_editorMode(editorMode), m_textGuard(textGuard) {}

std::wstring TimeFieldSet::BoxName(int group, int unit) {
    if (group < 0 || group >= kGroups || unit < 0 || unit > 3) return {};
    return std::wstring(kGroupPrefixes[group]) + kUnitNames[unit];
}

bool TimeFieldSet::ParseBoxName(const std::wstring& name, int* group, int* unit) {
    for (int g = 0; g < kGroups; ++g) {
        for (int u = 0; u < 4; ++u) {
            if (name == BoxName(g, u)) {
                if (group) *group = g;
                if (unit) *unit = u;
                return true;
            }
        }
    }
    return false;
}

void TimeFieldSet::Bind() {
    const int groups = m_editorMode ? 3 : kGroups;
    for (int g = 0; g < kGroups; ++g)
        for (int u = 0; u < 4; ++u)
            m_boxes[g][u] = (g < groups && m_owner) ? m_owner->FindControl(BoxName(g, u)) : nullptr;
    ResetAll();
}

CControlUI* TimeFieldSet::Box(int group, int unit) const {
    if (group < 0 || group >= kGroups || unit < 0 || unit > 3) return nullptr;
    return m_boxes[group][unit];
}

void TimeFieldSet::WriteBox(int group, int unit, uint32_t value) {
    CControlUI* box = Box(group, unit);
    if (!box) return;
    GuardScope guard(m_textGuard);
    box->SetText(FormatUnit(unit, value));
}

void TimeFieldSet::Reset(int group) {
    for (int u = 0; u < 4; ++u) WriteBox(group, u, 0);
}

void TimeFieldSet::ResetAll() {
    for (int g = 0; g < kGroups; ++g) Reset(g);
}

void TimeFieldSet::SetGroup(int group, uint32_t ms) {
    uint32_t h = 0, m = 0, s = 0, x = 0;
    CCommon::OnSplitTimeCode(ms, h, m, s, x);
    WriteBox(group, 0, h);
    WriteBox(group, 1, m);
    WriteBox(group, 2, s);
    WriteBox(group, 3, x);
}

void TimeFieldSet::SetDuration(int kind, uint32_t ms) {
    if (kind >= kCutStart && kind <= kCutLength) {
        SetGroup(kCutEnd, ms);
        m_cutDuration = ms;
        m_minLength = ms / 10;
        SetGroup(kCutLength, ms / 3);
    } else if (kind == kExtractStart || kind == kExtractEnd) {
        m_extractDuration = ms;
        SetGroup(kExtractEnd, ms);
    }
}

std::wstring TimeFieldSet::ReadGroup(int group) const {
    std::wstring text;
    for (int u = 0; u < 4; ++u) {
        CControlUI* box = Box(group, u);
        if (u == 1 || u == 2) text += L":";
        if (u == 3) text += L".";
        text += box ? box->GetText() : (u == 3 ? L"000" : L"00");
    }
    return text;
}

uint32_t TimeFieldSet::GroupMs(int group) const {
    uint32_t v[4] = {0, 0, 0, 0};
    for (int u = 0; u < 4; ++u)
        if (CControlUI* box = Box(group, u)) v[u] = TextValue(box->GetText());
    return CCommon::OnComposeTimeCode(v[0], v[1], v[2], v[3]);
}

void TimeFieldSet::NormaliseGroup(int group) {
    for (int u = 0; u < 4; ++u) {
        CControlUI* box = Box(group, u);
        if (!box) continue;
        const std::wstring text = box->GetText();
        if (text != FormatUnit(u, TextValue(text))) WriteBox(group, u, TextValue(text));
    }
    if (group == kCutLength && GroupMs(group) < m_minLength) SetGroup(group, m_minLength);
}

uint32_t TimeFieldSet::ClampLength() {
    if (GroupMs(kCutLength) < m_minLength) SetGroup(kCutLength, m_minLength);
    return m_cutDuration;
}

uint32_t TimeFieldSet::GroupDuration(int group) const {
    return group <= kCutLength ? m_cutDuration : m_extractDuration;
}

uint32_t TimeFieldSet::ValidateEdit(CControlUI* box, int kind) {
    if (!box || (kind != kKindCut && kind != kKindExtract)) return 0;
    int group = -1, unit = -1;
    if (!ParseBoxName(box->GetName(), &group, &unit)) return 0;
    if ((kind == kKindCut) != (group <= kCutLength)) return 0;
    const std::wstring text = box->GetText();
    const uint32_t v = TextValue(text);
    uint32_t parts[4] = {0, 0, 0, 0};
    for (int u = 0; u < 4; ++u) {
        CControlUI* b = Box(group, u);
        parts[u] = (u == unit) ? v : (b ? TextValue(b->GetText()) : 0);
    }
    const uint64_t ms =
        uint64_t{parts[0]} * 3600000 + uint64_t{parts[1]} * 60000 + uint64_t{parts[2]} * 1000 + parts[3];
    const bool refused = ms > GroupDuration(group) || ((unit == 1 || unit == 2) && v > 59);
    if (refused) {
        const std::wstring kept = text.empty() ? text : text.substr(0, text.size() - 1);
        GuardScope guard(m_textGuard);
        box->SetText(FormatUnit(unit, TextValue(kept)));
    }
    return GroupMs(group);
}

// ---- CTimeControlUI -----------------------------------------------------------------------------

CTimeControlUI::CTimeControlUI() {
    SetReadOnly(true);
    m_committed = Compose();
    SetTextInternal(m_committed, false);
}

void CTimeControlUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
    if (name == L"upperbound") {
        SetUpperBound(TextValue(value));
    } else if (name == L"lowerbound") {
        SetLowerBound(TextValue(value));
    } else if (name == L"mode") {
        SetMode(UIParseInt(value));
    } else {
        CRichEditUI::SetAttribute(name, value);
        if (name == L"readonly") SetReadOnly(true);
    }
}

std::wstring CTimeControlUI::Compose() const {
    wchar_t buf[32];
    swprintf(buf, 32, L"%.2d:%.2d:%.2d.%.3d", m_h, m_m, m_s, m_ms);
    return buf;
}

void CTimeControlUI::SetTime(uint32_t ms) {
    uint32_t h = 0, m = 0, s = 0, x = 0;
    CCommon::OnSplitTimeCode(ms, h, m, s, x);
    m_h = static_cast<int>(std::min<uint32_t>(h, 99));
    m_m = static_cast<int>(m);
    m_s = static_cast<int>(s);
    m_ms = static_cast<int>(x);
    m_committed = Compose();
    SetTextInternal(m_committed, false);
}

uint32_t CTimeControlUI::GetTime() const {
    return static_cast<uint32_t>(m_h) * 3600000u + static_cast<uint32_t>(m_m) * 60000u +
           static_cast<uint32_t>(m_s) * 1000u + static_cast<uint32_t>(m_ms);
}

void CTimeControlUI::SetUpperBound(uint32_t ms) {
    uint32_t h = 0, m = 0, s = 0, x = 0;
    CCommon::OnSplitTimeCode(ms, h, m, s, x);
    m_uh = static_cast<int>(h);
    m_um = static_cast<int>(m);
    m_us = static_cast<int>(s);
    m_ums = static_cast<int>(x);
}

void CTimeControlUI::SetLowerBound(uint32_t ms) {
    m_lower = ms;
}
void CTimeControlUI::SetMode(int mode) {
    m_mode = mode;
}
int CTimeControlUI::GetSelectedPart() const {
    return m_part;
}

void CTimeControlUI::SelectPart(int part) {
    m_part = std::clamp(part, 0, 4);
    m_typed.clear();
    Invalidate();
}

void CTimeControlUI::SelectByX(int x) {
    const UIRect rc = GetPos();
    const int width = rc.GetWidth();
    const int dx = x - rc.left;
    int part = 3;
    if (dx <= width / 4)
        part = 1;
    else if (dx <= width / 2)
        part = 2;
    else if (dx > width * 3 / 4)
        part = 4;
    SelectPart(part);
}

void CTimeControlUI::TypeDigit(int digit) {
    if (m_part == 0) return;
    const size_t maxDigits = m_part == 4 ? 3 : 2;
    if (m_typed.size() < maxDigits) m_typed.push_back(static_cast<wchar_t>(L'0' + digit));
    const int v = std::max(0, static_cast<int>(TextValue(m_typed)));
    switch (m_part) {
        case 1:
            if (v < 60 && v <= m_uh) m_h = v;
            break;
        case 2:
            if (v < 60 && (m_h < m_uh || v <= m_um)) m_m = v;
            break;
        case 3:
            if (m_m < m_um || m_h < m_uh) {
                if (v < 60) m_s = v;
            } else if (static_cast<int>(m_lower / 1000) < v && v <= 60 && v <= m_us) {
                m_s = v;
            }
            break;
        case 4:
            if (m_h < m_uh || m_m < m_um || m_s < m_us) {
                if (v <= 999) m_ms = v;
            } else if (v <= m_ums && v < 1000) {
                m_ms = v;
            }
            break;
        default:
            break;
    }
    if (m_part <= 3 && m_typed.size() >= 2) {
        if (m_uh == 0 && m_um == 0 && m_s < static_cast<int>(m_lower / 1000)) m_s = m_us;
        m_part = std::min(m_part + 1, 4);
        m_typed.clear();
    }
    Commit();
}

void CTimeControlUI::Step(int delta) {
    if (m_part == 0) return;
    if (delta > 0) {
        switch (m_part) {
            case 1:
                if (m_h < 59 && m_h < m_uh) ++m_h;
                break;
            case 2:
                if (m_h >= m_uh) {
                    if (m_m < m_um) ++m_m;
                } else if (m_m < 59) {
                    ++m_m;
                }
                break;
            case 3:
                if (m_h < m_uh || m_m < m_um) {
                    if (m_s < 59) ++m_s;
                } else if (static_cast<int>(m_lower / 1000) <= m_s && m_s < m_us) {
                    ++m_s;
                }
                break;
            case 4:
                if (m_h < m_uh || m_m < m_um || m_s < m_us) {
                    if (m_ms < 999) ++m_ms;
                } else if (m_ms < m_ums && m_ms <= 998) {
                    ++m_ms;
                }
                break;
            default:
                break;
        }
    } else {
        const bool aboveLower = GetTime() > m_lower;
        switch (m_part) {
            case 1:
                if (m_h > 0) --m_h;
                break;
            case 2:
                if (m_m > 0 && aboveLower) --m_m;
                break;
            case 3:
                if (m_s > 0 && aboveLower) --m_s;
                break;
            case 4:
                if (m_ms > 0 && aboveLower) --m_ms;
                break;
            default:
                break;
        }
    }
    Commit();
}

void CTimeControlUI::Commit() {
    const std::wstring text = Compose();
    SetTextInternal(text, false);
    Invalidate();
    std::wstring a = text, b = m_committed;
    std::transform(a.begin(), a.end(), a.begin(), [](wchar_t c) { return std::towlower(c); });
    std::transform(b.begin(), b.end(), b.begin(), [](wchar_t c) { return std::towlower(c); });
    if (a == b) return;
    if (m_mode == 3 && GetTime() <= m_lower) return;
    m_committed = text;
    SendNotify(L"textchanged");
}

void CTimeControlUI::DoEvent(TEventUI& event) {
    switch (event.Type) {
        case UIEventType::ButtonDown:
        case UIEventType::RButtonDown:
        case UIEventType::DoubleClick:
            if (IsEnabled()) {
                SetFocus();
                SelectByX(event.ptMouse.x);
            }
            return;
        case UIEventType::SetFocus:
            SetStateFlag(UISTATE_FOCUSED, true);
            SendNotify(L"setfocus");
            return;
        case UIEventType::KillFocus:
            SetStateFlag(UISTATE_FOCUSED, false);
            SelectPart(0);
            SendNotify(L"killfocus");
            return;
        case UIEventType::ScrollWheel:
            if (m_part != 0) {
                Step(static_cast<intptr_t>(event.wParam) > 0 ? 1 : -1);
                return;
            }
            break;
        case UIEventType::KeyDown: {
            const uint32_t key = event.chKey;
            if (key == UIKEY_LEFT) {
                if (m_part > 1)
                    SelectPart(m_part - 1);
                else
                    SelectPart(m_part == 0 ? 0 : 1);
            } else if (key == UIKEY_RIGHT || key == UIKEY_DECIMAL || key == UIKEY_OEM_PERIOD) {
                SelectPart(std::min(m_part + 1, 4));
            } else if (key >= UIKEY_0 && key <= UIKEY_0 + 9) {
                TypeDigit(static_cast<int>(key - UIKEY_0));
            } else if (key >= UIKEY_NUMPAD0 && key <= UIKEY_NUMPAD0 + 9) {
                TypeDigit(static_cast<int>(key - UIKEY_NUMPAD0));
            } else if (key == UIKEY_DELETE || key == UIKEY_BACK) {
                if (m_part == 1) m_h = 0;
                if (m_part == 2) m_m = 0;
                if (m_part == 3) m_s = 0;
                if (m_part == 4) m_ms = 0;
                m_typed.clear();
                if (m_part != 0) Commit();
            } else if (key == UIKEY_UP) {
                Step(1);
            } else if (key == UIKEY_DOWN) {
                Step(-1);
            }
            return;
        }
        case UIEventType::Char:
            // Digits arrive as key codes; the characters that follow them are not text here.
            return;
        default:
            break;
    }
    CRichEditUI::DoEvent(event);
}

void CTimeControlUI::PaintText(IRenderUI& render) {
    CWindowUI* window = GetWindow();
    const int scale = window ? window->GetDPI().GetScale() : 100;
    const TFontUI font = GetFontInfo();
    UIRect rc = GetPos();
    const UIRect pad = GetTextPadding();
    rc.left += Scale(pad.left);
    rc.right -= Scale(pad.right);
    const uint32_t textColor = GetTextColor() ? GetTextColor() : 0xFF333333;
    wchar_t buf[8];
    std::wstring pieces[7];
    swprintf(buf, 8, L"%.2d", m_h);
    pieces[0] = buf;
    pieces[1] = L":";
    swprintf(buf, 8, L"%.2d", m_m);
    pieces[2] = buf;
    pieces[3] = L":";
    swprintf(buf, 8, L"%.2d", m_s);
    pieces[4] = buf;
    pieces[5] = L".";
    swprintf(buf, 8, L"%.3d", m_ms);
    pieces[6] = buf;
    int total = 0;
    int widths[7];
    for (int i = 0; i < 7; ++i) {
        widths[i] = render.MeasureText(pieces[i], font, scale).cx;
        total += widths[i];
    }
    int x = rc.left + std::max(0, (rc.GetWidth() - total) / 2);
    for (int i = 0; i < 7; ++i) {
        const UIRect piece{x, rc.top, x + widths[i], rc.bottom};
        const bool selected = (i % 2 == 0) && (i / 2 + 1 == m_part);
        if (selected)
            render.FillRect({piece.left - 1, rc.top + 3, piece.right + 1, rc.bottom - 3}, 0xFFEAF1FD);
        render.DrawText(pieces[i], piece, font, selected ? 0xFF347AEB : textColor,
                        UIDT_CENTER | UIDT_VCENTER | UIDT_SINGLELINE, scale);
        x += widths[i];
    }
}
