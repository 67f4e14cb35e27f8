// The ADTS frame walk behind the AAC length and bit rate, and the ID3v2 tag size, on arbitrary bytes.
#include <cmath>
#include <cstdlib>

#include "engine/AacBridge.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint64_t tag = aac::Id3v2TagSize(data, size);
    if (tag > 0 && tag < 10) std::abort();  // a tag has at least its 10-byte header

    const std::wstring path = platform::FromUtf8(fuzz::WriteInput("in.aac", data, size));
    int bitRate = -12345;
    const double seconds = OnGetAACLength(path.c_str(), &bitRate);
    if (!std::isfinite(seconds) || seconds < 0) std::abort();
    return 0;
}
