#include "denoise/NoiseReducer.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

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
        state->window[i] = static_cast<float>(std::sin(quarter * (s * s)));
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

// Loads an analysis buffer `tb` of 2N values: its first half (whatever it holds) under the rising
// half-window, the frame under the falling half-window, both scaled by 1/2N so that the
// unnormalised round trip is exact. Then transforms it into `spectrum`.
static void Analyse(const NoiseReducerState* state, kiss_fftr_cfg plan, float* tb, const float* frame,
                    kiss_fft_cpx* spectrum) {
    const unsigned n = state->frameLength;
    const float scale = 1.0f / static_cast<float>(state->fftLength);
    const float* __restrict rising = state->window;
    const float* __restrict falling = state->fallingWindow;
    const float* __restrict x = frame;
    float* __restrict first = tb;
    float* __restrict second = tb + n;
    // timeBuffer[i] = window[i] * (1/2N) * timeBuffer[i];
    // timeBuffer[2N-1-i] = x[N-1-i] * window[i] * (1/2N), written here in forward order.
    for (unsigned i = 0; i < n; ++i) first[i] = rising[i] * scale * first[i];
    for (unsigned j = 0; j < n; ++j) second[j] = x[j] * falling[j] * scale;
    kiss_fftr(plan, tb, spectrum);
}

static void AddPower(const kiss_fft_cpx* __restrict spectrum, unsigned bins, float* __restrict power) {
    for (unsigned k = 0; k < bins; ++k)
        power[k] += spectrum[k].r * spectrum[k].r + spectrum[k].i * spectrum[k].i;
}

bool NoiseReducer::EstimateNoise(NoiseReducerState* state, const float* frame, bool finish) {
    if (!IsBuilt(state)) return false;
    const unsigned bins = state->binCount;
    if (finish) {
        const float factor = static_cast<float>(1.0 / std::max<int64_t>(state->noiseFrames, 1));
        for (unsigned k = 0; k < bins; ++k) state->noisePower[k] *= factor;
        return true;
    }
    if (frame == nullptr) return false;
    auto* spectrum = reinterpret_cast<kiss_fft_cpx*>(state->spectrum);
    Analyse(state, state->fftPlan, state->timeBuffer, frame, spectrum);
    AddPower(spectrum, bins, state->noisePower);
    ++state->noiseFrames;
    return true;
}

bool NoiseReducer::ProcessFrame(NoiseReducerState* state, const float* frame, float* output) const {
    if (!IsBuilt(state) || frame == nullptr || output == nullptr) return false;
    Analyse(state, state->fftPlan, state->timeBuffer, frame,
            reinterpret_cast<kiss_fft_cpx*>(state->spectrum));
    Synthesise(state, state->spectrum, output);
    // The raw samples become the next frame's first half.
    std::memcpy(state->timeBuffer, frame, state->frameLength * sizeof(float));
    return true;
}

// Steps after the forward transform: the gain per bin, the inverse transform, overlap-add of the
// first half into `output` and keeping the windowed second half for the next frame.
void NoiseReducer::Synthesise(NoiseReducerState* state, float* spectrumValues, float* output) const {
    const unsigned n = state->frameLength;
    const unsigned bins = state->binCount;
    auto* spectrum = reinterpret_cast<kiss_fft_cpx*>(spectrumValues);
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
    std::memcpy(state->overlap, second, n * sizeof(float));
}

namespace {

// Frames per block handed between the two threads.
constexpr uint64_t kBlockFrames = 64;

// The transforms that depend only on the input, for a range of frames: the noise estimate's power
// spectra, or the filter's analysis spectra. Each thread has its own plan and buffer (a plan keeps
// scratch memory of its own, so it cannot be shared).
struct Lane {
    kiss_fftr_cfg plan = nullptr;
    float* timeBuffer = nullptr;
    float* spectrum = nullptr;

    Lane() = default;
    Lane(const Lane&) = delete;
    Lane& operator=(const Lane&) = delete;
    ~Lane() {
        if (plan) kiss_fftr_free(plan);
        std::free(timeBuffer);
        std::free(spectrum);
    }
    bool Init(const NoiseReducerState& state) {
        plan = kiss_fftr_alloc(state.fftLength, 0, nullptr, nullptr);
        timeBuffer = ZeroFloats(2 * static_cast<size_t>(state.frameLength));
        spectrum = ZeroFloats(2 * static_cast<size_t>(state.binCount));
        return plan && timeBuffer && spectrum;
    }
};

struct Job {
    bool estimate = true;             // power spectra (first half zero) or analysis spectra
    const float* data = nullptr;      // the input samples
    const float* previous = nullptr;  // raw frame before `begin` (analysis only)
    uint64_t begin = 0, end = 0;      // frames
    float* out = nullptr;             // one row of bins (power) or 2 × bins (spectrum) per frame
};

void RunJob(const NoiseReducerState& state, Lane* lane, const Job& job) {
    const size_t n = state.frameLength;
    const unsigned bins = state.binCount;
    if (job.estimate) {
        auto* spectrum = reinterpret_cast<kiss_fft_cpx*>(lane->spectrum);
        std::memset(lane->timeBuffer, 0, n * sizeof(float));
        for (uint64_t t = job.begin; t < job.end; ++t) {
            Analyse(&state, lane->plan, lane->timeBuffer, job.data + t * n, spectrum);
            float* __restrict row = job.out + (t - job.begin) * bins;
            for (unsigned k = 0; k < bins; ++k)
                row[k] = spectrum[k].r * spectrum[k].r + spectrum[k].i * spectrum[k].i;
        }
        return;
    }
    std::memcpy(lane->timeBuffer, job.previous, n * sizeof(float));
    for (uint64_t t = job.begin; t < job.end; ++t) {
        auto* spectrum = reinterpret_cast<kiss_fft_cpx*>(job.out + (t - job.begin) * 2 * bins);
        Analyse(&state, lane->plan, lane->timeBuffer, job.data + t * n, spectrum);
        std::memcpy(lane->timeBuffer, job.data + t * n, n * sizeof(float));
    }
}

// A second thread that runs one job at a time while the caller's thread works on another.
class Helper {
public:
    Helper(const NoiseReducerState& state, Lane* lane) : state_(state), lane_(lane) {}
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;
    ~Helper() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    bool Start() {
        try {
            thread_ = std::thread([this] { Loop(); });
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    void Post(const Job& job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = job;
            pending_ = true;
        }
        wake_.notify_one();
    }

    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return !pending_; });
    }

private:
    void Loop() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            wake_.wait(lock, [this] { return pending_ || quit_; });
            if (!pending_) return;  // quit with nothing left to do
            const Job job = job_;
            lock.unlock();
            RunJob(state_, lane_, job);
            lock.lock();
            pending_ = false;
            done_.notify_one();
        }
    }

    const NoiseReducerState& state_;
    Lane* lane_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    Job job_;
    bool pending_ = false;
    bool quit_ = false;
};

// Scratch blocks of the two-thread run.
struct Blocks {
    float* power = nullptr;      // kBlockFrames rows of bins
    float* spectra[2] = {};      // two blocks of kBlockFrames spectra
    float* previous = nullptr;   // N: raw frame before the block the helper analyses
    float* lastFrame = nullptr;  // N: raw last full frame (the remainder frame's first half)

    Blocks() = default;
    Blocks(const Blocks&) = delete;
    Blocks& operator=(const Blocks&) = delete;
    ~Blocks() {
        std::free(power);
        std::free(spectra[0]);
        std::free(spectra[1]);
        std::free(previous);
        std::free(lastFrame);
    }
    bool Init(const NoiseReducerState& state) {
        const size_t bins = state.binCount;
        power = ZeroFloats(kBlockFrames * bins);
        spectra[0] = ZeroFloats(kBlockFrames * 2 * bins);
        spectra[1] = ZeroFloats(kBlockFrames * 2 * bins);
        previous = ZeroFloats(state.frameLength);
        lastFrame = ZeroFloats(state.frameLength);
        return power && spectra[0] && spectra[1] && previous && lastFrame;
    }
};

}  // namespace

// The full frames of Run on two threads. The transforms that depend only on the input are shared
// out; the running parts (the noise sum in frame order, the smoothed gain, the inverse transform
// and overlap-add) stay on the caller's thread in order, so the result is bit-identical to the
// one-frame-at-a-time path. False, with nothing done, when the thread or its memory is missing.
bool NoiseReducer::RunFullFramesParallel(NoiseReducerState* state, float* data, uint64_t fullFrames) const {
    Lane mainLane, helperLane;
    Blocks blocks;
    if (!mainLane.Init(*state) || !helperLane.Init(*state) || !blocks.Init(*state)) return false;
    Helper helper(*state, &helperLane);
    if (!helper.Start()) return false;
    const uint64_t n = state->frameLength;
    const unsigned bins = state->binCount;

    // Noise estimate: both threads transform half of each block; the sum runs in frame order.
    for (uint64_t begin = 0; begin < fullFrames; begin += kBlockFrames) {
        const uint64_t end = std::min(begin + kBlockFrames, fullFrames);
        const uint64_t middle = begin + (end - begin) / 2;
        Job mine{true, data, nullptr, begin, middle, blocks.power};
        Job theirs{true, data, nullptr, middle, end, blocks.power + (middle - begin) * bins};
        helper.Post(theirs);
        RunJob(*state, &mainLane, mine);
        helper.Wait();
        for (uint64_t t = begin; t < end; ++t) {
            const float* __restrict row = blocks.power + (t - begin) * bins;
            float* __restrict noise = state->noisePower;
            for (unsigned k = 0; k < bins; ++k) noise[k] += row[k];
            ++state->noiseFrames;
        }
    }
    EstimateNoise(state, nullptr, true);

    // Filtering: the helper analyses the next block while this thread filters the current one.
    // Output overwrites the input frame by frame, so the raw frames still needed are copied first.
    std::memcpy(blocks.lastFrame, data + (fullFrames - 1) * n, n * sizeof(float));
    const uint64_t firstEnd = std::min(kBlockFrames, fullFrames);
    RunJob(*state, &mainLane, Job{false, data, blocks.previous, 0, firstEnd, blocks.spectra[0]});
    int current = 0;
    for (uint64_t begin = 0; begin < fullFrames; begin += kBlockFrames) {
        const uint64_t end = std::min(begin + kBlockFrames, fullFrames);
        const bool more = end < fullFrames;
        if (more) {
            std::memcpy(blocks.previous, data + (end - 1) * n, n * sizeof(float));
            helper.Post(Job{false, data, blocks.previous, end, std::min(end + kBlockFrames, fullFrames),
                            blocks.spectra[1 - current]});
        }
        for (uint64_t t = begin; t < end; ++t) {
            Synthesise(state, blocks.spectra[current] + (t - begin) * 2 * bins, data + t * n);
        }
        if (more) helper.Wait();
        current = 1 - current;
    }
    // As after the last ProcessFrame: the raw last frame is the first half of the next analysis.
    std::memcpy(state->timeBuffer, blocks.lastFrame, n * sizeof(float));
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

    const bool parallel =
        parallel_ && fullFrames >= 2 * kBlockFrames && std::thread::hardware_concurrency() > 1;
    if (!parallel || !RunFullFramesParallel(&state, data, fullFrames)) {
        for (uint64_t t = 0; t < fullFrames; ++t) EstimateNoise(&state, data + t * n, false);
        EstimateNoise(&state, nullptr, true);
        uint64_t position = 0;
        for (uint64_t t = 0; t < fullFrames; ++t) {
            std::memcpy(frame, data + t * n, static_cast<size_t>(n) * sizeof(float));
            if (ProcessFrame(&state, frame, data + position)) position += n;
        }
    }
    if (remainder > 0) {
        const uint64_t position = fullFrames * n;
        std::memcpy(frame, data + position, static_cast<size_t>(remainder) * sizeof(float));
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
