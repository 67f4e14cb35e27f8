// The custom format dialog ("customformatWnd.xml"): the user names a new output format preset and
// chooses the channel option and either a bit rate with an encoder mode (every type but WAV) or
// a WAV sample width. Result 1 after "btn_create" (the values below are then set), 2 after
// "btn_cancel", "closebtn" or the title bar's close.
#pragma once

#include <cstdint>
#include <string>

#include "ui/DialogDpi.h"
#include "uikit/UIWindow.h"

class CCustomFormatWnd : public CWindowUI {
public:
    static constexpr wchar_t kCaption[] = L"音频编辑";
    static constexpr int kWidth = 720, kHeight = 530;
    // The row of the output format dialog's type list that stands for WAV.
    static constexpr int kWavTypeIndex = 1;
    // The longest title; with the other fields a record stays well below the length that a
    // presets file can hold.
    static constexpr int kMaxTitleChars = 40;

    // `sequence` fills the title "自定义格式_%d"; `typeIndex` is the selected type row of the opener.
    CCustomFormatWnd(int sequence, int typeIndex) : m_sequence(sequence), m_typeIndex(typeIndex) {}

    int GetSequence() const { return m_sequence; }
    int GetTypeIndex() const { return m_typeIndex; }
    std::wstring GetTitle() const { return m_title; }
    std::wstring GetBitRateText() const { return m_bitRate; }
    std::wstring GetEncoderMode() const { return m_encoderMode; }  // "VBR", "CBR" or empty
    std::wstring GetWavCodec() const { return m_wavCodec; }
    int32_t GetChannelMode() const { return m_channelMode; }

    std::wstring GetWindowClassName() const override { return L"CustomFormatWnd"; }
    std::wstring GetSkinFile() override { return L"customformatWnd.xml"; }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override;

private:
    void ReadChoices();
    // Takes "|" and "#" out of the title edit: they would split or end a record of "format.cfg".
    void CleanTitleEdit(CControlUI* edit);

    int m_sequence;
    int m_typeIndex;
    std::wstring m_title, m_bitRate, m_encoderMode;
    std::wstring m_wavCodec = L"pcm_s16le";
    int32_t m_channelMode = 0;
    bool m_cleaning = false;
    CDialogDpi m_dpi{this};
};
