// The leaf controls: label, text, button, option, edit, rich edit, combo, progress bar, slider,
// animated GIF and the frame-folder animation.
#pragma once

#include <string>
#include <vector>

#include "uikit/UIControl.h"

class CLabelUI : public CControlUI {
public:
    CLabelUI();
    std::wstring GetClass() const override;
    bool IsMultiLine() const;
    void SetMultiLine(bool multi);
    bool IsEndEllipsis() const;
    void SetEndEllipsis(bool ellipsis);
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    // Draws the text in the text colour (the disabled text colour when disabled).
    void PaintText(IRenderUI& render) override;
};

// A multi-line label.
class CTextUI : public CLabelUI {
public:
    CTextUI();
    std::wstring GetClass() const override;
};

// A label that reacts to the mouse: hot and pushed images and colours; a click (press and
// release inside) sends "click".
class CButtonUI : public CLabelUI {
public:
    std::wstring GetClass() const override;
    std::wstring GetNormalImage() const;
    void SetNormalImage(const std::wstring& attr);
    std::wstring GetHotImage() const;
    void SetHotImage(const std::wstring& attr);
    std::wstring GetPushedImage() const;
    void SetPushedImage(const std::wstring& attr);
    std::wstring GetFocusedImage() const;
    void SetFocusedImage(const std::wstring& attr);
    std::wstring GetDisabledImage() const;
    void SetDisabledImage(const std::wstring& attr);
    uint32_t GetHotTextColor() const;
    void SetHotTextColor(uint32_t argb);
    uint32_t GetPushedTextColor() const;
    void SetPushedTextColor(uint32_t argb);
    uint32_t GetHotBkColor() const;
    void SetHotBkColor(uint32_t argb);
    uint32_t GetPushedBkColor() const;
    void SetPushedBkColor(uint32_t argb);

    bool Activate() override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void PaintBkColor(IRenderUI& render) override;
    void PaintStatusImage(IRenderUI& render) override;
    void PaintText(IRenderUI& render) override;

protected:
    std::wstring m_normalImage, m_hotImage, m_pushedImage, m_focusedImage, m_disabledImage;
    uint32_t m_hotTextColor = 0, m_pushedTextColor = 0, m_hotBkColor = 0, m_pushedBkColor = 0;
};

// A button with a selected state. Options of one group (same group name inside one window) are
// exclusive: a click selects; without a group a click toggles. A change sends "selectchanged" to
// the option that changed, and "unselected" to an option that lost its selection; then the click
// itself sends "click" (so a click handler sees the new state).
class COptionUI : public CButtonUI {
public:
    ~COptionUI() override;
    std::wstring GetClass() const override;
    std::wstring GetGroup() const;
    void SetGroup(const std::wstring& group);
    bool IsSelected() const;
    // Changes the state; `notify` sends "selectchanged"/"unselected".
    virtual void Selected(bool selected, bool notify = true);
    std::wstring GetSelectedImage() const;
    void SetSelectedImage(const std::wstring& attr);
    std::wstring GetSelectedHotImage() const;
    void SetSelectedHotImage(const std::wstring& attr);
    uint32_t GetSelectedTextColor() const;
    void SetSelectedTextColor(uint32_t argb);
    uint32_t GetSelectedBkColor() const;
    void SetSelectedBkColor(uint32_t argb);

    bool Activate() override;
    void SetWindow(CWindowUI* window, CControlUI* parent, bool init = true) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void PaintBkColor(IRenderUI& render) override;
    void PaintStatusImage(IRenderUI& render) override;
    void PaintText(IRenderUI& render) override;

protected:
    bool m_bSelected = false;
    std::wstring m_group;
    std::wstring m_selectedImage, m_selectedHotImage;
    uint32_t m_selectedTextColor = 0, m_selectedBkColor = 0;
};

// A single-line text input. Typing (characters and Backspace/Delete at the caret) changes the
// text and sends "textchanged"; SetText sends it too when the text changes, so owners that write
// their own edits keep a guard flag. Focus changes send "setfocus"/"killfocus"; Enter "return".
class CEditUI : public CLabelUI {
public:
    CEditUI();
    std::wstring GetClass() const override;
    void SetText(const std::wstring& text) override;
    bool IsReadOnly() const;
    void SetReadOnly(bool readOnly);
    int GetMaxChar() const;
    void SetMaxChar(int maxChar);  // 0 = no limit
    bool IsDigitsOnly() const;
    void SetDigitsOnly(bool digits);
    bool IsPasswordMode() const;
    void SetPasswordMode(bool password);
    std::wstring GetTipValue() const;
    void SetTipValue(const std::wstring& tip);
    uint32_t GetTipValueColor() const;
    void SetTipValueColor(uint32_t argb);
    int GetCaret() const;  // caret position in characters
    void SetCaret(int pos);
    void SetSelAll();
    // Returns the text a renderer shows (password dots or the text).
    std::wstring GetDisplayText() const;

    void DoEvent(TEventUI& event) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void PaintText(IRenderUI& render) override;
    void PaintBorder(IRenderUI& render) override;

protected:
    // Replaces the selection or inserts at the caret, honouring read-only, digits-only and the
    // character limit. True when the text changed.
    bool InsertChar(wchar_t ch);
    void SetTextInternal(const std::wstring& text, bool notify);
    bool m_bReadOnly = false;
    int m_maxChar = 0;
    bool m_bDigitsOnly = false;
    bool m_bPassword = false;
    std::wstring m_tipValue;
    uint32_t m_tipValueColor = 0xFFBAC0C5;
    uint32_t m_focusBorderColor = 0;
    int m_caret = 0;
    bool m_bSelAll = false;
};

// A multi-line text input (Enter inserts a line break unless "wantreturn" is false).
class CRichEditUI : public CEditUI {
public:
    CRichEditUI();
    std::wstring GetClass() const override;
    bool IsWantReturn() const;
    void SetWantReturn(bool want);
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

protected:
    bool m_bWantReturn = true;
};

// A drop-down choice. The text of the combo is the selected item's text. A pick by the user
// (through the backend's drop-down or the test driver) and SelectItem send "itemselect"
// (wParam = new index, lParam = old index) when the selection changes.
class CComboUI : public CButtonUI {
public:
    struct Item {
        std::wstring text;
        std::wstring userData;
        uint64_t tag = 0;
    };
    std::wstring GetClass() const override;
    int AddItem(const std::wstring& text, const std::wstring& userData = L"", uint64_t tag = 0);
    bool RemoveItemAt(int index);
    void RemoveAllItems();
    int GetItemCount() const;
    std::wstring GetItemText(int index) const;
    std::wstring GetItemUserData(int index) const;
    std::vector<Item> GetItems() const;
    int GetCurSel() const;
    bool SelectItem(int index, bool notify = true);
    std::wstring GetText() const override;
    bool IsDropped() const;
    // Opens the drop-down through the backend (the user clicked the combo).
    bool Activate() override;
    // Called by the backend when the user picked an item (or -1 when the list was dismissed).
    void OnDropDownClosed(int pickedIndex);
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

protected:
    std::vector<Item> m_comboItems;
    int m_curSel = -1;
    bool m_bDropped = false;
};

// A bar from the minimum to the maximum value; the filled part uses "forecolor" or "foreimage".
class CProgressUI : public CLabelUI {
public:
    std::wstring GetClass() const override;
    bool IsHorizontal() const;
    void SetHorizontal(bool horizontal);
    int GetMinValue() const;
    void SetMinValue(int min);
    int GetMaxValue() const;
    void SetMaxValue(int max);
    int GetValue() const;
    virtual void SetValue(int value);  // clamped to [min, max]
    uint32_t GetForeColor() const;
    void SetForeColor(uint32_t argb);
    // The filled rectangle (device pixels) for the current value.
    UIRect GetForeRect() const;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void PaintStatusImage(IRenderUI& render) override;

protected:
    bool m_bHorizontal = true;
    int m_min = 0;
    int m_max = 100;
    int m_value = 0;
    uint32_t m_foreColor = 0;
};

// A progress bar with a thumb the user drags: while dragging it sends "movevaluechanged", on
// release (or a click on the track, or the wheel) "valuechanged". SetValue does not notify.
class CSliderUI : public CProgressUI {
public:
    CSliderUI();
    std::wstring GetClass() const override;
    int GetChangeStep() const;
    void SetChangeStep(int step);
    UISize GetThumbSize() const;  // logical
    void SetThumbSize(UISize sz);
    UIRect GetThumbRect() const;  // device pixels
    std::wstring GetThumbImage() const;
    void SetThumbImage(const std::wstring& attr);
    bool IsDragging() const;
    // The value under a point of the track (device pixels).
    int ValueFromPoint(UIPoint pt) const;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void PaintStatusImage(IRenderUI& render) override;

protected:
    int m_step = 1;
    UISize m_szThumb{10, 10};
    std::wstring m_thumbImage, m_thumbHotImage, m_thumbPushedImage;
    bool m_bDragging = false;
};

// Plays a GIF of the skin ("bkimage") frame by frame on the UI thread's timers.
class CGifAnimUI : public CControlUI {
public:
    ~CGifAnimUI() override;
    std::wstring GetClass() const override;
    void PlayGif();
    void PauseGif();
    void StopGif();  // back to the first frame
    bool IsPlaying() const;
    bool IsAutoPlay() const;
    void SetAutoPlay(bool autoPlay);
    int GetCurrentFrame() const;
    int GetFrameCount() const;                  // from the GIF's header (1 when unknown)
    void SetBkImage(const std::wstring& attr);  // also resets the animation
    void DoInit() override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void PaintBkImage(IRenderUI& render) override;

protected:
    void ScheduleNextFrame();
    bool m_bPlaying = false;
    bool m_bAutoPlay = true;
    int m_frame = 0;
};

// An animation of numbered pictures in a skin folder: "<folder>/<n>.png" for n = 1 .. framecount,
// one every "interval" ms, looping when "loop" is true. Start/Stop on any thread.
class CFrameAnimUI : public CControlUI {
public:
    ~CFrameAnimUI() override;
    std::wstring GetClass() const override;
    std::wstring GetFolder() const;
    void SetFolder(const std::wstring& folder);
    int GetFrameCount() const;
    void SetFrameCount(int count);
    int GetInterval() const;
    void SetInterval(int ms);
    bool IsLoop() const;
    void SetLoop(bool loop);
    void Start();  // from the first frame
    void Stop();
    bool IsRunning() const;
    int GetCurrentFrame() const;                 // 0-based
    std::wstring GetFrameFile(int frame) const;  // "<folder>/<frame + 1>.png"
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    void PaintBkImage(IRenderUI& render) override;

protected:
    std::wstring m_folder;
    int m_frameCount = 1;
    int m_interval = 100;
    bool m_bLoop = true;
    bool m_bRunning = false;
    int m_frame = 0;
};
