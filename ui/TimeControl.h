// Time-code inputs. TimeFieldSet owns the groups of four numeric edit boxes (hours : minutes :
// seconds . milliseconds) of one window: it fills them from milliseconds, reads them back as
// time-code text, keeps typed values inside the media's duration and enforces a minimum piece
// length. CTimeControlUI is one self-drawn time-code control edited with keys and the wheel.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "uikit/UIlib.h"

class TimeFieldSet {
public:
    // Groups (each: hours, minutes, seconds, milliseconds).
    enum Group {
        kCutStart = 0,
        kCutEnd = 1,
        kCutLength = 2,
        kExtractStart = 3,
        kExtractEnd = 4,
        kGroups = 5
    };
    // Kinds of validate edit and set duration.
    enum Kind { kKindCut = 0, kKindExtract = 3 };

    // `editorMode` 1: the cut editor (groups 0-2); 0: the main window (groups 0-4). While the set
    // writes boxes itself, *textGuard is true so that the owner ignores those "textchanged".
    TimeFieldSet(CWindowUI* owner, int editorMode, bool* textGuard);

    // Finds the boxes by name and zeroes every group.
    void Bind();
    void Reset(int group);
    void ResetAll();
    // Cut kinds (0-2): end = ms, cut duration = ms, minimum length = ms / 10, length = ms / 3.
    // Extract kinds (3, 4): extract duration = ms, extract end = ms.
    void SetDuration(int kind, uint32_t ms);
    void SetGroup(int group, uint32_t ms);
    // "hh:mm:ss.mmm" as the boxes show it.
    std::wstring ReadGroup(int group) const;
    uint32_t GroupMs(int group) const;
    // Rewrites each box as its integer value; the length group is raised to the minimum length.
    void NormaliseGroup(int group);
    // Raises the length group to the minimum length; returns the cut duration.
    uint32_t ClampLength();
    // Checks the edit just made in `box` (kind 0 cut, 3 extract): an edit that takes the group
    // beyond its duration, or minutes/seconds above 59, loses its last character. Returns the
    // group's time after the edit (0 for other kinds or a box of no group).
    uint32_t ValidateEdit(CControlUI* box, int kind);

    uint32_t GetCutDuration() const { return m_cutDuration; }
    uint32_t GetExtractDuration() const { return m_extractDuration; }
    uint32_t GetMinLength() const { return m_minLength; }
    bool LengthWasZero() const { return m_lengthWasZero; }
    void SetLengthWasZero(bool zero) { m_lengthWasZero = zero; }
    CControlUI* Box(int group, int unit) const;

    // The box names of a group (unit 0 hours ... 3 milliseconds).
    static std::wstring BoxName(int group, int unit);
    // Which group and unit a box name belongs to; false for other names.
    static bool ParseBoxName(const std::wstring& name, int* group, int* unit);

private:
    void WriteBox(int group, int unit, uint32_t value);
    uint32_t GroupDuration(int group) const;

    CWindowUI* m_owner;
    int m_editorMode;
    bool* m_textGuard;
    std::array<std::array<CControlUI*, 4>, kGroups> m_boxes{};
    uint32_t m_cutDuration = 0;
    uint32_t m_extractDuration = 0;
    uint32_t m_minLength = 0;
    bool m_lengthWasZero = false;
};

// A read-only rich edit that draws "hh:mm:ss.mmm" itself; a click selects a part, digits, arrows,
// the wheel, Delete and Backspace edit it within the bounds, and every change of the text sends
// "textchanged".
class CTimeControlUI : public CRichEditUI {
public:
    CTimeControlUI();
    std::wstring GetClass() const override { return L"TimeControlUI"; }
    void DoEvent(TEventUI& event) override;
    void PaintText(IRenderUI& render) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

    // The time shown (ms); does not notify.
    void SetTime(uint32_t ms);
    uint32_t GetTime() const;
    // Upper bound (split into hours, minutes, seconds, ms) and lower bound, in ms.
    void SetUpperBound(uint32_t ms);
    void SetLowerBound(uint32_t ms);
    // Mode 3: a change is committed only while the time is above the lower bound.
    void SetMode(int mode);
    int GetSelectedPart() const;
    void SelectPart(int part);

private:
    void SelectByX(int x);
    void TypeDigit(int digit);
    void Step(int delta);
    void Commit();
    std::wstring Compose() const;

    int m_h = 0, m_m = 0, m_s = 0, m_ms = 0;
    int m_part = 0;
    std::wstring m_typed;
    std::wstring m_committed;
    uint32_t m_lower = 0;
    int m_uh = 0, m_um = 0, m_us = 0, m_ums = 0;
    int m_mode = 0;
};
