// Reading WAV or MP3 input as 32-bit float samples and writing 32-bit IEEE-float WAV output.
#pragma once

#include <cstdint>
#include <string>

#include "denoise/FloatBuffer.h"

namespace denoise {

struct AudioBuffer {
    FloatBuffer samples;  // interleaved, full scale = 1.0
    unsigned channels = 0;
    unsigned sampleRate = 0;
};

// Reads the whole file. False when it cannot be opened, is neither WAV nor MP3 (nor another format
// the reader knows), or its samples do not fit in memory.
bool ReadAudioFile(const std::wstring& path, AudioBuffer* audio);

// Writes `count` interleaved samples as a RIFF WAV with format tag 3 (IEEE float, 32 bits).
// False when the file cannot be created or written completely; a partial file is removed.
bool WriteFloatWav(const std::wstring& path, const float* samples, uint64_t count, unsigned channels,
                   unsigned sampleRate);

}  // namespace denoise
