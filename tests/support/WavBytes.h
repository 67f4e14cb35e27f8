// Bytes of canonical RIFF WAV files written field by field, for tests and seed corpora that need
// exact headers (absurd ones included) rather than what ffmpeg writes. Header only, so that
// programs outside the test tree can use it without linking anything.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

// Appends the `count` low bytes of `value`, least significant first.
inline void PutLe(std::string* bytes, uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A canonical RIFF WAV: format tag 1 (PCM) or 3 (float), the given header fields and `data` as is.
// The block align and byte rate follow from `channels` and `bits`; nothing is checked.
inline std::string WavBytes(int tag, uint32_t channels, uint32_t rate, int bits, const std::string& data) {
    std::string b = "RIFF";
    PutLe(&b, 36 + data.size(), 4);
    b += "WAVEfmt ";
    PutLe(&b, 16, 4);
    PutLe(&b, static_cast<uint64_t>(tag), 2);
    PutLe(&b, channels, 2);
    PutLe(&b, rate, 4);
    PutLe(&b, uint64_t(rate) * channels * uint32_t(bits / 8), 4);
    PutLe(&b, channels * uint32_t(bits / 8), 2);
    PutLe(&b, static_cast<uint64_t>(bits), 2);
    b += "data";
    PutLe(&b, data.size(), 4);
    return b + data;
}

}  // namespace testsupport
