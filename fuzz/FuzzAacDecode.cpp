// The AAC decode loop (FAAD2 behind the bridge) on arbitrary bytes given as a raw AAC file.
#include <unistd.h>

#include "engine/AacBridge.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring in = platform::FromUtf8(fuzz::WriteInput("in.aac", data, size));
    const std::string wav = fuzz::ScratchFolder() + "out.wav";
    OnDecoderAAC(in.c_str(), platform::FromUtf8(wav).c_str());
    ::unlink(wav.c_str());
    return 0;
}
