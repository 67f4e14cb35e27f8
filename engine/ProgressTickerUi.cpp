// The ticker's sink over the UI library's row controls.
#include <cstdio>

#include "engine/ProgressTicker.h"
#include "uikit/UIlib.h"

namespace {

std::wstring ColorText(uint32_t argb) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"#%08X", static_cast<unsigned>(argb));
    return buf;
}

}  // namespace

void ControlTickerSink::SetBar(int value) {
    if (auto* progress = dynamic_cast<CProgressUI*>(bar_)) progress->SetValue(value);
}

void ControlTickerSink::SetBarColor(uint32_t argb) {
    if (bar_) bar_->SetAttribute(L"forecolor", ColorText(argb));
}

void ControlTickerSink::SetLabel(const std::wstring& text) {
    if (label_) label_->SetText(text);
}

void ControlTickerSink::SetLabelColor(uint32_t argb) {
    if (label_) label_->SetAttribute(L"textcolor", ColorText(argb));
}

CProgressTicker::CProgressTicker(CControlUI* bar, CControlUI* label, bool noise)
    : CProgressTicker(std::make_shared<ControlTickerSink>(bar, label), ChooseTarget(noise)) {}
