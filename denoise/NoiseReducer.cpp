#include "denoise/NoiseReducer.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "denoise/SoundFile.h"

static_assert(sizeof(kiss_fft_cpx) == 2 * sizeof(float), "spectrum is stored as re/im float pairs");

unsigned NoiseReducer::FrameLengthFor(unsigned sampleRate, unsigned frameMs) {
    uint64_t n = static_cast<uint64_t>(sampleRate) * frameMs / 1000;
    if (n % 2 != 0) ++n;
    // Frames that would not fit the FFT's signed size are refused by Init (0 is never valid).
    if (n > static_cast<uint64_t>(std::numeric_limits<int>::max() / 2)) return 0;
    return static_cast<unsigned>(n);
}

float NoiseReducer::SmoothingFactor(int level) {
    if (level == 0) return 0.94f;
    if (level == 1) return 0.96f;
    return 0.98f;
}

static float* ZeroFloats(size_t count) {
    return static_cast<float*>(std::calloc(count, sizeof(float)));
}

bool NoiseReducer::Init(NoiseReducerState* state, unsigned sampleRate, unsigned frameMs) {
    if (state == nullptr) return false;
    *state = NoiseReducerState{};
    const unsigned n = FrameLengthFor(sampleRate, frameMs);
    if (n == 0) return false;
    state->sampleRate = sampleRate;
    state->frameLength = n;
    state->fftLength = static_cast<int>(2 * n);
    state->binCount = n + 1;

    state->window = ZeroFloats(n);
    state->fallingWindow = ZeroFloats(n);
    state->timeBuffer = ZeroFloats(2 * static_cast<size_t>(n));
    state->overlap = ZeroFloats(n);
    state->spectrum = ZeroFloats(2 * static_cast<size_t>(n + 1));
    state->noisePower = ZeroFloats(n + 1);
    state->smoothedPower = ZeroFloats(n + 1);
    state->fftPlan = kiss_fftr_alloc(state->fftLength, 0, nullptr, nullptr);
    state->inversePlan = kiss_fftr_alloc(state->fftLength, 1, nullptr, nullptr);
    if (!state->window || !state->fallingWindow || !state->timeBuffer || !state->overlap ||
        !state->spectrum || !state->noisePower || !state->smoothedPower || !state->fftPlan ||
        !state->inversePlan) {
        Release(state);
        return false;
    }

    // sin(pi/2 * sin^2(...)): power-complementary, so window[i]^2 + window[N-1-i]^2 = 1.
    const double quarter = M_PI / 2.0;
    for (unsigned i = 0; i < n; ++i) {
        const double s = std::sin((i + 0.5) * quarter / n);
        state->window[i] = static_cast<float>(std::sin(quarter * s * s));
    }
    for (unsigned i = 0; i < n; ++i) state->fallingWindow[i] = state->window[n - 1 - i];
    return true;
}

void NoiseReducer::Release(NoiseReducerState* state) {
    if (state == nullptr) return;
    std::free(state->window);
    std::free(state->fallingWindow);
    std::free(state->timeBuffer);
    std::free(state->overlap);
    std::free(state->spectrum);
    std::free(state->noisePower);
    std::free(state->smoothedPower);
    if (state->fftPlan) kiss_fftr_free(state->fftPlan);
    if (state->inversePlan) kiss_fftr_free(state->inversePlan);
    *state = NoiseReducerState{};
}

static bool IsBuilt(const NoiseReducerState* state) {
    return state != nullptr && state->frameLength != 0 && state->window && state->fallingWindow &&
           state->timeBuffer && state->overlap && state->spectrum && state->noisePower &&
           state->smoothedPower && state->fftPlan && state->inversePlan;
}

// Loads the analysis buffer: the first half (whatever it holds) under the rising half-window, the
// frame under the falling half-window, both scaled by 1/2N so that the unnormalised round trip is
// exact.
static void LoadWindowed(NoiseReducerState* state, const float* frame) {
    const unsigned n = state->frameLength;
    const float scale = 1.0f / static_cast<float>(state->fftLength);
    const float* __restrict rising = state->window;
    const float* __restrict falling = state->fallingWindow;
    const float* __restrict x = frame;
    float* __restrict first = state->timeBuffer;
    float* __restrict second = state->timeBuffer + n;
    // timeBuffer[i] = window[i] * (1/2N) * timeBuffer[i];
    // timeBuffer[2N-1-i] = x[N-1-i] * window[i] * (1/2N), written here in forward order.
    for (unsigned i = 0; i < n; ++i) first[i] = rising[i] * scale * first[i];
    for (unsigned j = 0; j < n; ++j) second[j] = x[j] * falling[j] * scale;
}

bool NoiseReducer::EstimateNoise(NoiseReducerState* state, const float* frame, bool finish) {
    if (!IsBuilt(state)) return false;
    const unsigned bins = state->binCount;
    if (finish) {
        const float factor = static_cast<float>(1.0 / std::max(state->noiseFrames, 1));
        for (unsigned k = 0; k < bins; ++k) state->noisePower[k] *= factor;
        return true;
    }
    if (frame == nullptr) return false;
    LoadWindowed(state, frame);
    auto* spectrum = reinterpret_cast<kiss_fft_cpx*>(state->spectrum);
    kiss_fftr(state->fftPlan, state->timeBuffer, spectrum);
    for (unsigned k = 0; k < bins; ++k) {
        state->noisePower[k] += spectrum[k].r * spectrum[k].r + spectrum[k].i * spectrum[k].i;
    }
    ++state->noiseFrames;
    return true;
}

bool NoiseReducer::ProcessFrame(NoiseReducerState* state, const float* frame, float* output) const {
    if (!IsBuilt(state) || frame == nullptr || output == nullptr) return false;
    const unsigned n = state->frameLength;
    const unsigned bins = state->binCount;
    LoadWindowed(state, frame);
    auto* spectrum = reinterpret_cast<kiss_fft_cpx*>(state->spectrum);
    kiss_fftr(state->fftPlan, state->timeBuffer, spectrum);

    const float c = SmoothingFactor(level_);
    const float rest = 1.0f - c;
    const float* __restrict noise = state->noisePower;
    float* __restrict smoothed = state->smoothedPower;
    for (unsigned k = 0; k < bins; ++k) {
        const float re = spectrum[k].r;
        const float im = spectrum[k].i;
        const float p = re * re + im * im;
        const float s = smoothed[k] * c + p * rest;
        const float denominator = std::max(noise[k], s);
        // G = min(1, S / noise). A bin with neither signal nor noise stays 0 (and must not turn
        // into 0/0 = NaN, which would spread through the inverse transform to the whole frame).
        float g = denominator > 0.0f ? s / denominator : 0.0f;
        if (unityGain_) g = 1.0f;
        spectrum[k].r = re * g;
        spectrum[k].i = im * g;
        smoothed[k] = g * p * g;
    }

    float* tb = state->timeBuffer;
    kiss_fftri(state->inversePlan, spectrum, tb);

    const float* __restrict rising = state->window;
    const float* __restrict falling = state->fallingWindow;
    const float* __restrict overlap = state->overlap;
    float* __restrict out = output;
    float* __restrict second = tb + n;
    for (unsigned i = 0; i < n; ++i) out[i] = rising[i] * tb[i] + overlap[i];
    for (unsigned j = 0; j < n; ++j) second[j] = second[j] * falling[j];  // timeBuffer[2N-1-i] *= window[i]
    std::memcpy(state->overlap, tb + n, n * sizeof(float));
    std::memcpy(tb, frame, n * sizeof(float));
    return true;
}

// Runs the whole reduction in place: `buffer` holds `count` input values and is grown to whole
// frames plus one (the remainder frame writes a full frame); afterwards its first `count` values
// are the output. Frame t is filtered from a copy, so its output may overwrite it. False when the
// state or the buffer cannot be made.
bool NoiseReducer::Run(denoise::FloatBuffer* buffer, uint64_t count, unsigned sampleRate) const {
    NoiseReducerState state;
    if (!Init(&state, sampleRate, 20)) return false;
    const uint64_t n = state.frameLength;
    const uint64_t fullFrames = count / n;
    const uint64_t remainder = count % n;

    float* frame = ZeroFloats(static_cast<size_t>(2 * n));
    const bool fits = fullFrames + 1 <= std::numeric_limits<size_t>::max() / sizeof(float) / n;
    if (frame == nullptr || !fits || buffer->size() < count ||
        !buffer->Resize(static_cast<size_t>((fullFrames + 1) * n))) {
        std::free(frame);
        Release(&state);
        return false;
    }
    float* data = buffer->data();

    for (uint64_t t = 0; t < fullFrames; ++t) EstimateNoise(&state, data + t * n, false);
    EstimateNoise(&state, nullptr, true);

    uint64_t position = 0;
    for (uint64_t t = 0; t < fullFrames; ++t) {
        std::memcpy(frame, data + t * n, static_cast<size_t>(n) * sizeof(float));
        if (ProcessFrame(&state, frame, data + position)) position += n;
    }
    if (remainder > 0) {
        std::memcpy(frame, data + fullFrames * n, static_cast<size_t>(remainder) * sizeof(float));
        std::memset(frame + remainder, 0, static_cast<size_t>(2 * n - remainder) * sizeof(float));
        ProcessFrame(&state, frame, data + position);
        // There is no next frame to complete the remainder: its samples are taken from the
        // windowed tail of that last frame.
        std::memcpy(data + position, state.overlap, static_cast<size_t>(remainder) * sizeof(float));
    }
    std::free(frame);
    Release(&state);
    return true;
}

bool NoiseReducer::ReduceSamples(const float* samples, uint64_t count, unsigned sampleRate, float* output) {
    if (count > 0 && (samples == nullptr || output == nullptr)) return false;
    if (count > std::numeric_limits<size_t>::max() / sizeof(float)) return false;
    denoise::FloatBuffer buffer;
    if (!buffer.Allocate(static_cast<size_t>(count))) return false;
    if (count > 0) std::memcpy(buffer.data(), samples, static_cast<size_t>(count) * sizeof(float));
    if (!Run(&buffer, count, sampleRate)) return false;
    if (count > 0) std::memcpy(output, buffer.data(), static_cast<size_t>(count) * sizeof(float));
    return true;
}

bool NoiseReducer::Reduce(const std::wstring& inputPath, const std::wstring& outputPath, int level) {
    level_ = level;
    if (inputPath.empty() || outputPath.empty()) return false;
    denoise::AudioBuffer audio;
    if (!denoise::ReadAudioFile(inputPath, &audio)) return false;
    const uint64_t count = audio.samples.size();
    if (!Run(&audio.samples, count, audio.sampleRate)) return false;
    return denoise::WriteFloatWav(outputPath, audio.samples.data(), count, audio.channels, audio.sampleRate);
}
