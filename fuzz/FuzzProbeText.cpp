// The parse of ffprobe's report text: any bytes give a duration and bit rate or leave them alone.
#include <string>

#include "common/Common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string report(reinterpret_cast<const char*>(data), size);
    uint32_t durationMs = 7;
    int32_t bitRate = 9;
    CCommon::OnParseProbeText(report, durationMs, bitRate);
    return 0;
}
