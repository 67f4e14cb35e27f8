// The reducer's arithmetic on synthetic buffers: framing, window, state life cycle, delay, remainder
// handling and the gain rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "denoise/NoiseReducer.h"

namespace {

std::vector<float> Noise(size_t count, float amplitude, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    std::vector<float> v(count);
    for (auto& x : v) x = dist(rng);
    return v;
}

std::vector<float> Reduce(const std::vector<float>& in, unsigned rate, int level, bool unity = false,
                          bool parallel = true) {
    NoiseReducer reducer;
    reducer.SetLevel(level);
    reducer.SetUnityGain(unity);
    reducer.SetParallel(parallel);
    std::vector<float> out(in.size(), -99.0f);
    EXPECT_TRUE(reducer.ReduceSamples(in.data(), in.size(), rate, out.data()));
    return out;
}

double Rms(const std::vector<float>& v, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(v[i]) * v[i];
    return std::sqrt(sum / double(to - from));
}

// Amplitude of the `hz` component over [from, to) (a single-bin DFT).
double ToneAmplitude(const std::vector<float>& v, size_t from, size_t to, double hz, double rate) {
    double re = 0, im = 0;
    for (size_t i = from; i < to; ++i) {
        const double phase = 2 * M_PI * hz * double(i) / rate;
        re += v[i] * std::cos(phase);
        im += v[i] * std::sin(phase);
    }
    return 2 * std::sqrt(re * re + im * im) / double(to - from);
}

}  // namespace

TEST(NoiseReducerFraming, FrameLengthIsTwentyMillisecondsRoundedUpToEven) {
    EXPECT_EQ(NoiseReducer::FrameLengthFor(16000, 20), 320u);
    EXPECT_EQ(NoiseReducer::FrameLengthFor(22050, 20), 442u);  // 441 rounded up
    EXPECT_EQ(NoiseReducer::FrameLengthFor(44100, 20), 882u);
    EXPECT_EQ(NoiseReducer::FrameLengthFor(8000, 20), 160u);
    EXPECT_EQ(NoiseReducer::FrameLengthFor(11025, 20), 220u);  // 220.5 truncated, already even
    EXPECT_EQ(NoiseReducer::FrameLengthFor(0, 20), 0u);
    // A rate whose frame would not fit the FFT's signed size is refused, not wrapped.
    EXPECT_EQ(NoiseReducer::FrameLengthFor(4000000000u, 1000), 0u);
}

TEST(NoiseReducerFraming, LevelsMapToSmoothingFactors) {
    EXPECT_EQ(NoiseReducer::SmoothingFactor(0), 0.94f);
    EXPECT_EQ(NoiseReducer::SmoothingFactor(1), 0.96f);
    EXPECT_EQ(NoiseReducer::SmoothingFactor(2), 0.98f);
    EXPECT_EQ(NoiseReducer::SmoothingFactor(5), 0.98f);
    EXPECT_EQ(NoiseReducer::SmoothingFactor(-1), 0.98f);
}

TEST(NoiseReducerState, InitBuildsZeroedArraysAndAPowerComplementaryWindow) {
    NoiseReducerState st;
    ASSERT_TRUE(NoiseReducer::Init(&st, 16000, 20));
    EXPECT_EQ(st.sampleRate, 16000u);
    EXPECT_EQ(st.frameLength, 320u);
    EXPECT_EQ(st.fftLength, 640);
    EXPECT_EQ(st.binCount, 321u);
    EXPECT_EQ(st.noiseFrames, 0);
    for (unsigned i = 0; i < 640; ++i) ASSERT_EQ(st.timeBuffer[i], 0.0f);
    for (unsigned k = 0; k < 321; ++k) ASSERT_EQ(st.noisePower[k] + st.smoothedPower[k], 0.0f);
    for (unsigned i = 0; i < 320; ++i) {
        const double a = st.window[i], b = st.window[319 - i];
        ASSERT_NEAR(a * a + b * b, 1.0, 1e-6) << i;
        if (i > 0) {
            ASSERT_GE(st.window[i], st.window[i - 1]);  // rising half
        }
    }
    NoiseReducer::Release(&st);
    EXPECT_EQ(st.window, nullptr);
    EXPECT_EQ(st.fftPlan, nullptr);
    NoiseReducer::Release(&st);  // twice is harmless
}

TEST(NoiseReducerState, InitRefusesRatesWithoutAFrameAndReleaseHandlesPartialStates) {
    NoiseReducerState st;
    EXPECT_FALSE(NoiseReducer::Init(&st, 0, 20));
    EXPECT_FALSE(NoiseReducer::Init(&st, 49, 20));  // 0 samples per frame
    EXPECT_EQ(st.window, nullptr);
    EXPECT_FALSE(NoiseReducer::Init(nullptr, 16000, 20));

    NoiseReducerState partial;
    partial.frameLength = 8;
    partial.window = static_cast<float*>(std::calloc(8, sizeof(float)));
    partial.noisePower = static_cast<float*>(std::calloc(9, sizeof(float)));
    NoiseReducer::Release(&partial);  // the leak checker would see anything left behind
    EXPECT_EQ(partial.window, nullptr);
    EXPECT_EQ(partial.noisePower, nullptr);

    NoiseReducer reducer;
    float frame[8] = {}, out[8] = {};
    EXPECT_FALSE(NoiseReducer::EstimateNoise(&partial, frame, false));
    EXPECT_FALSE(reducer.ProcessFrame(&partial, frame, out));
}

TEST(NoiseReducerState, NoiseEstimateIsTheAveragePowerPerBin) {
    const auto frame = Noise(320, 0.5f, 1);
    NoiseReducerState once, twice;
    ASSERT_TRUE(NoiseReducer::Init(&once, 16000, 20));
    ASSERT_TRUE(NoiseReducer::Init(&twice, 16000, 20));
    ASSERT_TRUE(NoiseReducer::EstimateNoise(&once, frame.data(), false));
    ASSERT_TRUE(NoiseReducer::EstimateNoise(&once, nullptr, true));
    ASSERT_TRUE(NoiseReducer::EstimateNoise(&twice, frame.data(), false));
    ASSERT_TRUE(NoiseReducer::EstimateNoise(&twice, frame.data(), false));
    EXPECT_EQ(twice.noiseFrames, 2);
    ASSERT_TRUE(NoiseReducer::EstimateNoise(&twice, nullptr, true));
    double total = 0;
    for (unsigned k = 0; k < 321; ++k) {
        ASSERT_NEAR(twice.noisePower[k], once.noisePower[k], 1e-6 * once.noisePower[k] + 1e-20) << k;
        total += once.noisePower[k];
    }
    EXPECT_GT(total, 0.0);
    // The first half of the analysis buffer is never loaded during estimation.
    for (unsigned i = 0; i < 320; ++i) ASSERT_EQ(once.timeBuffer[i], 0.0f);

    NoiseReducerState empty;
    ASSERT_TRUE(NoiseReducer::Init(&empty, 16000, 20));
    ASSERT_TRUE(NoiseReducer::EstimateNoise(&empty, nullptr, true));  // no frames: no division by zero
    for (unsigned k = 0; k < 321; ++k) ASSERT_EQ(empty.noisePower[k], 0.0f);
    NoiseReducer::Release(&once);
    NoiseReducer::Release(&twice);
    NoiseReducer::Release(&empty);
}

TEST(NoiseReducerSignal, UnityGainDelaysTheInputByExactlyOneFrame) {
    const auto in = Noise(16000, 0.8f, 2);
    const auto out = Reduce(in, 16000, 0, true);
    ASSERT_EQ(out.size(), 16000u);
    for (size_t i = 0; i < 320; ++i) ASSERT_NEAR(out[i], 0.0f, 1e-6f) << i;
    for (size_t i = 320; i < 16000; ++i) ASSERT_NEAR(out[i], in[i - 320], 2e-6f) << i;
}

TEST(NoiseReducerSignal, OneSecondAtSixteenKilohertzHasFiftyFramesAndDropsTheLastInputFrame) {
    // The last input frame is loud, everything before it quiet: with F = 50 and R = 0 it never
    // reaches the output, which keeps the input's length.
    std::vector<float> in = Noise(16000, 0.01f, 3);
    for (size_t i = 15680; i < 16000; ++i) in[i] = (i % 2) ? 0.9f : -0.9f;
    const auto out = Reduce(in, 16000, 0);
    ASSERT_EQ(out.size(), 16000u);
    for (float v : out) ASSERT_TRUE(std::isfinite(v));
    EXPECT_LT(Rms(out, 0, 320), 1e-3);        // the first frame is near silence
    EXPECT_LT(Rms(out, 15680, 16000), 0.05);  // no trace of the loud last frame
}

TEST(NoiseReducerSignal, RemainderSamplesComeFromTheOverlapOfThePaddedLastFrame) {
    const auto in = Noise(16100, 0.8f, 4);
    const auto out = Reduce(in, 16000, 0, true);
    ASSERT_EQ(out.size(), 16100u);
    NoiseReducerState st;
    ASSERT_TRUE(NoiseReducer::Init(&st, 16000, 20));
    // Full frames are delayed by one frame as usual.
    for (size_t i = 320; i < 16000; ++i) ASSERT_NEAR(out[i], in[i - 320], 2e-6f) << i;
    // The last 100 are the remainder under the falling half-window, applied at analysis and synthesis.
    for (size_t i = 0; i < 100; ++i) {
        const float w = st.window[319 - i];
        ASSERT_NEAR(out[16000 + i], in[16000 + i] * w * w, 2e-6f) << i;
    }
    NoiseReducer::Release(&st);
}

TEST(NoiseReducerSignal, InputShorterThanOneFrameGivesOutputOfTheSameLength) {
    for (size_t count : {size_t(1), size_t(100), size_t(319)}) {
        const auto in = Noise(count, 0.8f, 5);
        const auto out = Reduce(in, 16000, 1, true);
        ASSERT_EQ(out.size(), count);
        NoiseReducerState st;
        ASSERT_TRUE(NoiseReducer::Init(&st, 16000, 20));
        for (size_t i = 0; i < count; ++i) {
            const float w = st.window[319 - i];
            ASSERT_NEAR(out[i], in[i] * w * w, 2e-6f) << count << " " << i;
        }
        NoiseReducer::Release(&st);
    }
    NoiseReducer reducer;
    EXPECT_TRUE(reducer.ReduceSamples(nullptr, 0, 16000, nullptr));  // empty input: nothing to do
}

TEST(NoiseReducerSignal, SilenceStaysExactlySilent) {
    const std::vector<float> in(16000 + 77, 0.0f);
    const auto out = Reduce(in, 16000, 2);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << i;
}

TEST(NoiseReducerSignal, LevelFiveActsAsLevelTwo) {
    const auto in = Noise(8000, 0.3f, 6);
    const auto two = Reduce(in, 16000, 2);
    const auto five = Reduce(in, 16000, 5);
    const auto zero = Reduce(in, 16000, 0);
    EXPECT_EQ(two, five);
    EXPECT_NE(two, zero);
}

TEST(NoiseReducerSignal, TwentyTwoKilohertzUsesFramesOf442) {
    const auto in = Noise(442 * 10, 0.5f, 7);
    const auto out = Reduce(in, 22050, 0, true);
    for (size_t i = 0; i < 442; ++i) ASSERT_NEAR(out[i], 0.0f, 1e-6f);
    for (size_t i = 442; i < in.size(); ++i) ASSERT_NEAR(out[i], in[i - 442], 2e-6f) << i;
}

TEST(NoiseReducerSignal, SteadyNoiseDropsBetweenTonesAndTheTonePasses) {
    // Five seconds of steady white noise with a 1 kHz tone in the fourth second. The noise-only
    // bins settle towards a small gain; the tone bin, far above its average, passes with gain 1.
    const unsigned rate = 16000;
    auto in = Noise(5 * rate, 0.05f, 8);
    std::vector<float> clean(in.size(), 0.0f);
    for (size_t i = 3 * rate; i < 4 * rate; ++i) {
        clean[i] = 0.3f * std::sin(2 * M_PI * 1000.0 * double(i) / rate);
        in[i] += clean[i];
    }
    double previousNoise = 1.0;
    for (int level : {0, 1, 2}) {
        const auto out = Reduce(in, rate, level);
        // Output is delayed by one frame (320 samples); measure the settled part of each second.
        const size_t quietFrom = 2 * rate, quietTo = 3 * rate;
        const double before = Rms(in, quietFrom, quietTo);
        const double after = Rms(out, quietFrom + 320, quietTo + 320);
        const size_t toneFrom = 3 * rate + rate / 2, toneTo = 4 * rate;
        const double toneIn = ToneAmplitude(clean, toneFrom, toneTo, 1000, rate);
        const double toneOut = ToneAmplitude(out, toneFrom + 320, toneTo + 320, 1000, rate);
        EXPECT_LT(after, before * 0.6) << "level " << level;   // at least 4.4 dB less noise
        EXPECT_LT(after, previousNoise) << "level " << level;  // stronger with each level
        previousNoise = after;
        EXPECT_NEAR(toneOut / toneIn, 1.0, 0.05) << "level " << level;
    }
}

TEST(NoiseReducerSignal, TwoThreadRunIsBitIdenticalToTheFrameByFrameRun) {
    // Less than a block (204 frames at 16 kHz), exactly one and two blocks, and block boundaries in
    // other places; with and without a remainder.
    for (size_t count : {size_t(128 * 320), size_t(165 * 320 + 123), size_t(204 * 320), size_t(408 * 320 + 5),
                         size_t(1000 * 320 + 7)}) {
        auto in = Noise(count, 0.05f, 9);
        for (size_t i = count / 3; i < count / 2; ++i) in[i] += 0.3f * std::sin(0.2 * double(i));
        for (int level : {0, 2}) {
            const auto sequential = Reduce(in, 16000, level, false, false);
            const auto parallel = Reduce(in, 16000, level, false, true);
            ASSERT_EQ(sequential.size(), count);
            size_t differing = 0;
            for (size_t i = 0; i < count; ++i) differing += sequential[i] != parallel[i];
            EXPECT_EQ(differing, 0u) << "count " << count << " level " << level;
        }
    }
    // Unity gain through the two-thread path still delays by exactly one frame.
    const auto in = Noise(200 * 320, 0.5f, 10);
    const auto out = Reduce(in, 16000, 1, true, true);
    for (size_t i = 320; i < in.size(); ++i) ASSERT_NEAR(out[i], in[i - 320], 2e-6f) << i;
}

TEST(NoiseReducerSignal, ReducingInPlaceGivesTheSameResult) {
    // Output written over the input it still has to read: each block is read before it is replaced.
    for (bool parallel : {false, true}) {
        auto in = Noise(700 * 320 + 11, 0.1f, 12);
        for (size_t i = 0; i < in.size(); i += 3) in[i] += 0.2f * std::sin(0.05 * double(i));
        const auto expected = Reduce(in, 16000, 1, false, parallel);
        NoiseReducer reducer;
        reducer.SetLevel(1);
        reducer.SetParallel(parallel);
        ASSERT_TRUE(reducer.ReduceSamples(in.data(), in.size(), 16000, in.data()));
        EXPECT_EQ(in, expected) << "parallel " << parallel;
    }
}

TEST(NoiseReducerSignal, HugeSampleCountsFailCleanly) {
    // The work buffer for 2^62 samples cannot be described in memory: refused before any access.
    NoiseReducer reducer;
    float sample = 0.0f, out = 0.0f;
    EXPECT_FALSE(reducer.ReduceSamples(&sample, uint64_t(1) << 62, 16000, &out));
    EXPECT_FALSE(reducer.ReduceSamples(nullptr, 10, 16000, &out));
}
