// The noise reducer's file reader and a whole reduction on arbitrary bytes given as a WAV or MP3
// file: no crash, no hang on absurd headers, and the output holds only finite samples.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "denoise/NoiseReducer.h"
#include "denoise/SoundFile.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring in = platform::FromUtf8(fuzz::WriteInput("in.wav", data, size));
    const std::wstring out = platform::FromUtf8(fuzz::ScratchFolder() + "out.wav");

    denoise::AudioFileReader reader;
    if (reader.Open(in)) {
        std::vector<float> block(4096);
        for (int pass = 0; pass < 2; ++pass) {
            while (reader.Read(block.data(), block.size()) > 0) {
            }
            if (!reader.Restart()) break;
        }
    }

    NoiseReducer reducer;
    reducer.SetParallel(size % 2 == 0);
    if (reducer.Reduce(in, out, static_cast<int>(size % 3))) {
        denoise::AudioBuffer result;
        if (!denoise::ReadAudioFile(out, &result)) std::abort();
        for (float v : result.samples) {
            if (!std::isfinite(v)) std::abort();
        }
    }
    ::unlink(platform::ToUtf8(out).c_str());
    return 0;
}
