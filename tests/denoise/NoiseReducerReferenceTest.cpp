// The reducer's exact output: fixed checksums of its results on deterministic generated signals, and
// bit-for-bit agreement with the plain frame-by-frame loop over the public steps. Any change in the
// order of the arithmetic (threads, blocks, buffers) shows up here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "denoise/NoiseReducer.h"

namespace {

// Speech-like test signal without any library randomness: a pitched tone switched on and off over
// noise from a fixed linear congruential generator, so the values are the same on every build.
std::vector<float> MakeSignal(size_t count, unsigned rate, uint32_t seed) {
    std::vector<float> v(count);
    uint32_t state = seed;
    for (size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        const float noise = static_cast<float>(static_cast<int32_t>(state >> 8) - (1 << 23)) / float(1 << 23);
        const double t = double(i) / rate;
        const bool voiced = std::fmod(t, 0.7) < 0.4;
        const double tone = voiced ? 0.3 * std::sin(2 * M_PI * (180.0 + 40.0 * std::sin(t)) * t) : 0.0;
        v[i] = static_cast<float>(tone) + 0.03f * noise;
    }
    return v;
}

// FNV-1a over the bit patterns of the values.
uint64_t Checksum(const std::vector<float>& values) {
    uint64_t hash = 1469598103934665603ull;
    for (float value : values) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int b = 0; b < 4; ++b) {
            hash ^= (bits >> (8 * b)) & 0xFF;
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

std::vector<float> Reduced(const std::vector<float>& in, unsigned rate, int level, bool parallel) {
    NoiseReducer reducer;
    reducer.SetLevel(level);
    reducer.SetParallel(parallel);
    std::vector<float> out(in.size(), -7.0f);
    EXPECT_TRUE(reducer.ReduceSamples(in.data(), in.size(), rate, out.data()));
    return out;
}

// The reduction written as the plain loop over Init, EstimateNoise, ProcessFrame and the remainder.
std::vector<float> FrameByFrame(const std::vector<float>& in, unsigned rate, int level) {
    NoiseReducer reducer;
    reducer.SetLevel(level);
    NoiseReducerState st;
    EXPECT_TRUE(NoiseReducer::Init(&st, rate, 20));
    const size_t n = st.frameLength, frames = in.size() / n, rest = in.size() % n;
    for (size_t t = 0; t < frames; ++t)
        EXPECT_TRUE(NoiseReducer::EstimateNoise(&st, in.data() + t * n, false));
    EXPECT_TRUE(NoiseReducer::EstimateNoise(&st, nullptr, true));
    std::vector<float> out(in.size());
    for (size_t t = 0; t < frames; ++t)
        EXPECT_TRUE(reducer.ProcessFrame(&st, in.data() + t * n, out.data() + t * n));
    if (rest > 0) {
        std::vector<float> frame(n, 0.0f), scratch(n);
        std::memcpy(frame.data(), in.data() + frames * n, rest * sizeof(float));
        EXPECT_TRUE(reducer.ProcessFrame(&st, frame.data(), scratch.data()));
        std::memcpy(out.data() + frames * n, st.overlap, rest * sizeof(float));
    }
    NoiseReducer::Release(&st);
    return out;
}

struct Case {
    size_t count;
    unsigned rate;
    int level;
    uint32_t seed;
    uint64_t checksum;
};

// Lengths below one frame, below one block, on and across block boundaries, and long runs; the
// worker's 16 kHz and two common rates.
const Case kCases[] = {
    {100, 16000, 0, 1, 0x3b57b9ed97af33b7ull},
    {16000, 16000, 1, 2, 0x812e2626cac14537ull},
    {204 * 320, 16000, 2, 3, 0x49829143a92f0157ull},
    {409 * 320 + 77, 16000, 1, 4, 0x86f80158fcfb2a3full},
    {30 * 16000 + 5, 16000, 0, 5, 0x7a72f82d22048dcbull},
    {3 * 44100 + 1, 44100, 2, 6, 0x4dd5769f67bbc4cfull},
    {2 * 22050 * 2, 22050, 1, 7, 0x9afff23d908a92efull},
    {5 * 48000 + 959, 48000, 0, 8, 0xceb124a0876e3e03ull},
};

}  // namespace

TEST(NoiseReducerReference, ResultsMatchTheirFixedChecksumsWithOneAndTwoThreads) {
    for (const Case& c : kCases) {
        const auto in = MakeSignal(c.count, c.rate, c.seed);
        const auto one = Reduced(in, c.rate, c.level, false);
        const auto two = Reduced(in, c.rate, c.level, true);
        EXPECT_EQ(Checksum(one), c.checksum) << std::hex << Checksum(one) << " count " << std::dec << c.count;
        EXPECT_EQ(Checksum(two), c.checksum) << "count " << c.count << " (two threads)";
    }
}

TEST(NoiseReducerReference, ReduceSamplesEqualsThePlainFrameLoopBitForBit) {
    for (const Case& c : kCases) {
        const auto in = MakeSignal(c.count, c.rate, c.seed);
        const auto plain = FrameByFrame(in, c.rate, c.level);
        for (bool parallel : {false, true}) {
            const auto out = Reduced(in, c.rate, c.level, parallel);
            ASSERT_EQ(out.size(), plain.size());
            EXPECT_EQ(std::memcmp(out.data(), plain.data(), out.size() * sizeof(float)), 0)
                << "count " << c.count << " rate " << c.rate << " parallel " << parallel;
        }
    }
}
