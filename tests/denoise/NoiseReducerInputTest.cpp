// Reduce on WAV files written byte by byte here: the exact output file for a 16-bit input as the
// noise worker makes it, and hostile files (non-finite samples, absurd headers).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "denoise/NoiseReducer.h"
#include "denoise/SoundFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

void PutLe(std::string* bytes, uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A canonical RIFF WAV: format tag 1 (PCM) or 3 (float), the given header fields and `data` as is.
std::string WavBytes(int tag, uint32_t channels, uint32_t rate, int bits, const std::string& data) {
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

// 16-bit samples of a pitched tone over noise from a fixed generator (the same bytes on every build).
std::string Pcm16Data(size_t count, unsigned rate) {
    std::string data;
    uint32_t state = 12345;
    for (size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        const double t = double(i) / rate;
        const double tone = std::fmod(t, 0.9) < 0.5 ? 0.4 * std::sin(2 * M_PI * 220.0 * t) : 0.0;
        const double noise = (double(state >> 16) / 65536.0 - 0.5) * 0.05;
        PutLe(&data, static_cast<uint16_t>(static_cast<int16_t>(std::lround((tone + noise) * 32767.0))), 2);
    }
    return data;
}

uint64_t Checksum(const std::string& bytes) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace

TEST(NoiseReducerInput, SixteenBitFilesGiveTheirFixedOutputBytesWithOneAndTwoThreads) {
    TempDir dir;
    const std::wstring mono = dir.WFile(L"mono.wav"), stereo = dir.WFile(L"stereo.wav");
    ASSERT_TRUE(
        platform::WriteFileBytes(mono, WavBytes(1, 1, 16000, 16, Pcm16Data(16000 * 12 + 123, 16000))));
    ASSERT_TRUE(
        platform::WriteFileBytes(stereo, WavBytes(1, 2, 44100, 16, Pcm16Data(44100 * 2 * 2 + 6, 44100))));
    struct {
        const std::wstring& input;
        int level;
        uint64_t checksum;
    } cases[] = {{mono, 1, 0xca379bb818bd9345ull}, {stereo, 2, 0xf71e0915c0f7eeb0ull}};
    for (const auto& c : cases) {
        for (bool parallel : {false, true}) {
            const std::wstring out = dir.WFile(L"out.wav");
            platform::DeleteFilePath(out);
            NoiseReducer reducer;
            reducer.SetParallel(parallel);
            ASSERT_TRUE(reducer.Reduce(c.input, out, c.level));
            std::string bytes;
            ASSERT_TRUE(platform::ReadFileBytes(out, &bytes));
            EXPECT_EQ(Checksum(bytes), c.checksum) << std::hex << Checksum(bytes) << std::dec << " level "
                                                   << c.level << " parallel " << parallel;
        }
    }
}
