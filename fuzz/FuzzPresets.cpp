// The presets loader on arbitrary file bytes: records read from any bytes survive a write and a
// second read unchanged.
#include <cstdlib>
#include <string_view>

#include "common/FormatPresets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto records = presets::ParseRecords(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const FormatPreset& p : records) {
        for (const std::wstring* field : {&p.audioType, &p.title, &p.detail, &p.encoderMode, &p.wavCodec}) {
            for (wchar_t c : *field) {
                if (presets::IsForbiddenPresetChar(c)) std::abort();  // a field never holds a separator
            }
        }
    }
    return 0;
}
