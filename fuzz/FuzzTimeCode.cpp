// The time-code parse on any text (as UTF-8 and as raw wide characters) and on formatted values.
#include <cstring>
#include <string>

#include "common/Common.h"
#include "platform/Platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = platform::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    CCommon::OnParseTimeCode(text);
    std::wstring wide(size / sizeof(wchar_t), L'\0');
    if (!wide.empty()) std::memcpy(wide.data(), data, wide.size() * sizeof(wchar_t));
    CCommon::OnParseTimeCode(wide);

    // Time codes as the program writes them.
    uint32_t ms = 0;
    std::memcpy(&ms, data, size < sizeof ms ? size : sizeof ms);
    CCommon::OnParseTimeCode(CCommon::FormatTimeCode(ms));
    return 0;
}
