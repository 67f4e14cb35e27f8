#include "ui/CustomFormatWnd.h"

#include <algorithm>
#include <cwchar>

#include "common/FormatPresets.h"
#include "uikit/UIControls.h"

void CCustomFormatWnd::InitWindow() {
    if (CControlUI* edit = FindControl(L"edittitle")) {
        wchar_t title[64];
        std::swprintf(title, 64, L"自定义格式_%d", m_sequence);
        if (auto* e = dynamic_cast<CEditUI*>(edit)) e->SetMaxChar(kMaxTitleChars);
        edit->SetText(title);
    }
    if (m_typeIndex == kWavTypeIndex) {
        if (CControlUI* other = FindControl(L"HorOtherType")) other->SetVisible(false);
        if (CControlUI* wav = FindControl(L"HorWavType")) wav->SetVisible(true);
    }
    m_dpi.ApplyScreenDpi();
}

void CCustomFormatWnd::ReadChoices() {
    if (CControlUI* edit = FindControl(L"edittitle"))
        m_title = presets::WithoutForbiddenChars(edit->GetText());
    if (CControlUI* rate = FindControl(L"comboRateBit")) m_bitRate = rate->GetText();
    if (CControlUI* coding = FindControl(L"combocoding")) {
        m_encoderMode = coding->GetText();
        if (m_encoderMode == L"默认") m_encoderMode.clear();
    }
}

void CCustomFormatWnd::CleanTitleEdit(CControlUI* edit) {
    if (m_cleaning) return;
    std::wstring text = edit->GetText();
    std::wstring clean = presets::WithoutForbiddenChars(text);
    if (clean == text) return;
    m_cleaning = true;
    auto* e = dynamic_cast<CEditUI*>(edit);
    int caret = e ? e->GetCaret() : 0;
    edit->SetText(clean);
    if (e) e->SetCaret(std::max(0, caret - static_cast<int>(text.size() - clean.size())));
    m_cleaning = false;
}

void CCustomFormatWnd::Notify(TNotifyUI& msg) {
    if (!msg.pSender) return;
    const std::wstring name = msg.pSender->GetName();
    if (msg.sType == L"textchanged" && name == L"edittitle") {
        CleanTitleEdit(msg.pSender);
        return;
    }
    if (msg.sType != L"click") return;
    if (name == L"btn_cancel" || name == L"closebtn") {
        Close(2);
    } else if (name == L"btn_create") {
        ReadChoices();
        Close(1);
    } else if (name == L"opt_samesource") {
        m_channelMode = 0;
    } else if (name == L"opt_singleschannel") {
        m_channelMode = 1;
    } else if (name == L"opt_doublechannel") {
        m_channelMode = 2;
    } else if (name == L"opt_wav8bit") {
        m_wavCodec = L"pcm_s8le";
    } else if (name == L"opt_wav16bit") {
        m_wavCodec = L"pcm_s16le";
    } else if (name == L"opt_wav24bit") {
        m_wavCodec = L"pcm_s24le";
    } else if (name == L"opt_wav32bit") {
        m_wavCodec = L"pcm_s32le";
    }
}

intptr_t CCustomFormatWnd::HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) {
    intptr_t result = m_dpi.HandleMessage(msg, wParam, lParam, handled);
    if (handled) return result;
    return CWindowUI::HandleMessage(msg, wParam, lParam, handled);
}
