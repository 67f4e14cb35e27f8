// The skin's XML builder on arbitrary layout text, and on well-formed layouts whose attribute values
// ("pos", colours, image strings, sizes, insets) come from the input.
#include <string>

#include "platform/Platform.h"
#include "uikit/UIBuilder.h"
#include "uikit/UIControl.h"

namespace {

// Escapes a value for a double-quoted XML attribute.
std::wstring Escaped(const std::wstring& value) {
    std::wstring out;
    for (wchar_t c : value) {
        switch (c) {
            case L'&':
                out += L"&amp;";
                break;
            case L'<':
                out += L"&lt;";
                break;
            case L'"':
                out += L"&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void Build(const std::wstring& xml) {
    CBuilderUI builder;
    delete builder.CreateFromText(xml);
}

const wchar_t* const kAttributes[] = {
    L"pos",   L"bkcolor",     L"textcolor",  L"bkimage", L"normalimage",  L"hotimage", L"foreimage",
    L"width", L"height",      L"inset",      L"padding", L"float",        L"minwidth", L"maxheight",
    L"font",  L"bordercolor", L"bordersize", L"text",    L"childpadding", L"value"};
const wchar_t* const kTags[] = {L"Control", L"Button", L"Label", L"Progress", L"Slider",
                                L"Option",  L"Edit",   L"Combo", L"List",     L"HorizontalLayout"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = platform::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    Build(text);
    if (size < 2) return 0;
    const std::wstring value = text.substr(text.size() > 0 ? 1 : 0);
    const wchar_t* attribute = kAttributes[data[0] % (sizeof kAttributes / sizeof kAttributes[0])];
    const wchar_t* tag = kTags[(data[0] / 20) % (sizeof kTags / sizeof kTags[0])];
    Build(std::wstring(L"<VerticalLayout><") + tag + L" " + attribute + L"=\"" + Escaped(value) +
          L"\"/></VerticalLayout>");
    Build(std::wstring(L"<Window size=\"") + Escaped(value) + L"\"><Font id=\"0\" name=\"x\" size=\"" +
          Escaped(value) + L"\"/><" + tag + L"/></Window>");
    return 0;
}
