#include "denoise/NoiseReducer.h"

#include <kiss_fftr.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "denoise/SampleStream.h"
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
    if (sampleRate > kMaxSampleRate) return false;
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

// A sample as the transform takes it: non-finite values become 0, huge ones are clamped.
static inline float Tame(float x) {
    const float magnitude = std::fabs(x);
    if (magnitude <= NoiseReducer::kSampleLimit) return x;  // false for NaN
    if (magnitude <= std::numeric_limits<float>::max()) return std::copysign(NoiseReducer::kSampleLimit, x);
    return 0.0f;
}

static void TameAll(float* values, size_t count) {
    for (size_t i = 0; i < count; ++i) values[i] = Tame(values[i]);
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
    for (unsigned j = 0; j < n; ++j) second[j] = Tame(x[j]) * falling[j] * scale;
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
    for (unsigned i = 0; i < state->frameLength; ++i) state->timeBuffer[i] = Tame(frame[i]);
    return true;
}

// The gain per bin of one frame, which must run in frame order: each bin's smoothed power carries
// over to the next frame. Per bin, in single precision:
//   P = re² + im²;  S = smoothed × c + P × (1 − c);  G = S / max(noise, S), or 0 when both are 0;
//   re ×= G;  im ×= G;  smoothed = G × P × G.
// G = min(1, S / noise). A bin with neither signal nor noise stays 0 (and must not turn into
// 0/0 = NaN, which would spread through the inverse transform to the whole frame). Four bins at a
// time where SSE is there: each lane does the same single-precision operations in the same order,
// so the result is the same to the bit.
void NoiseReducer::ApplyGain(NoiseReducerState* state, float* spectrumValues) const {
    const unsigned bins = state->binCount;
    const float c = SmoothingFactor(level_);
    const float rest = 1.0f - c;
    const float* __restrict noise = state->noisePower;
    float* __restrict smoothed = state->smoothedPower;
    float* __restrict spectrum = spectrumValues;  // re/im pairs
    unsigned k = 0;
#if defined(__SSE2__)
    const __m128 vc = _mm_set1_ps(c), vrest = _mm_set1_ps(rest), zero = _mm_setzero_ps(),
                 one = _mm_set1_ps(1.0f);
    for (; k + 4 <= bins; k += 4) {
        const __m128 lo = _mm_loadu_ps(spectrum + 2 * k);      // re0 im0 re1 im1
        const __m128 hi = _mm_loadu_ps(spectrum + 2 * k + 4);  // re2 im2 re3 im3
        __m128 re = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
        __m128 im = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 p = _mm_add_ps(_mm_mul_ps(re, re), _mm_mul_ps(im, im));
        const __m128 s = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(smoothed + k), vc), _mm_mul_ps(p, vrest));
        // Both are sums of squares (never -0 or NaN), so max picks the same value as std::max.
        const __m128 denominator = _mm_max_ps(_mm_loadu_ps(noise + k), s);
        __m128 g = _mm_and_ps(_mm_div_ps(s, denominator), _mm_cmpgt_ps(denominator, zero));
        if (unityGain_) g = one;
        re = _mm_mul_ps(re, g);
        im = _mm_mul_ps(im, g);
        _mm_storeu_ps(spectrum + 2 * k, _mm_unpacklo_ps(re, im));
        _mm_storeu_ps(spectrum + 2 * k + 4, _mm_unpackhi_ps(re, im));
        _mm_storeu_ps(smoothed + k, _mm_mul_ps(_mm_mul_ps(g, p), g));
    }
#endif
    for (; k < bins; ++k) {
        const float re = spectrum[2 * k];
        const float im = spectrum[2 * k + 1];
        const float p = re * re + im * im;
        const float s = smoothed[k] * c + p * rest;
        const float denominator = std::max(noise[k], s);
        float g = denominator > 0.0f ? s / denominator : 0.0f;
        if (unityGain_) g = 1.0f;
        spectrum[2 * k] = re * g;
        spectrum[2 * k + 1] = im * g;
        smoothed[k] = g * p * g;
    }
}

// The inverse transform of a frame's gained spectrum into `tb` (2N values), then its first half under
// the rising half-window into `head` and its second half under the falling half-window into `tail`
// (both N values). The frame's output is head + the previous frame's tail.
static void InverseHalves(const NoiseReducerState* state, kiss_fftr_cfg plan, const float* spectrum,
                          float* tb, float* head, float* tail) {
    const unsigned n = state->frameLength;
    kiss_fftri(plan, reinterpret_cast<const kiss_fft_cpx*>(spectrum), tb);
    const float* __restrict rising = state->window;
    const float* __restrict falling = state->fallingWindow;
    const float* __restrict first = tb;
    const float* __restrict second = tb + n;
    float* __restrict h = head;
    float* __restrict t = tail;
    for (unsigned i = 0; i < n; ++i) h[i] = rising[i] * first[i];
    for (unsigned j = 0; j < n; ++j) t[j] = second[j] * falling[j];  // timeBuffer[2N-1-i] * window[i]
}

// Steps after the forward transform: the gain per bin, the inverse transform, overlap-add of the
// first half into `output` and keeping the windowed second half for the next frame.
void NoiseReducer::Synthesise(NoiseReducerState* state, float* spectrumValues, float* output) const {
    const unsigned n = state->frameLength;
    ApplyGain(state, spectrumValues);
    float* tb = state->timeBuffer;
    kiss_fftri(state->inversePlan, reinterpret_cast<kiss_fft_cpx*>(spectrumValues), tb);

    const float* __restrict rising = state->window;
    const float* __restrict falling = state->fallingWindow;
    const float* __restrict overlap = state->overlap;
    float* __restrict out = output;
    float* __restrict second = tb + n;
    for (unsigned i = 0; i < n; ++i) out[i] = rising[i] * tb[i] + overlap[i];
    for (unsigned j = 0; j < n; ++j) second[j] = second[j] * falling[j];  // timeBuffer[2N-1-i] *= window[i]
    std::memcpy(state->overlap, second, n * sizeof(float));
}

namespace denoise {

namespace {

// Values per block: the unit of reading, writing and handing work between the two threads.
constexpr uint64_t kBlockValues = uint64_t(1) << 16;

// A forward transform of its own for each thread (a plan keeps scratch memory, so it cannot be
// shared), with its analysis buffer and spectrum.
struct Lane {
    kiss_fftr_cfg plan = nullptr;
    kiss_fftr_cfg inversePlan = nullptr;
    float* timeBuffer = nullptr;
    float* spectrum = nullptr;

    Lane() = default;
    Lane(const Lane&) = delete;
    Lane& operator=(const Lane&) = delete;
    ~Lane() {
        if (plan) kiss_fftr_free(plan);
        if (inversePlan) kiss_fftr_free(inversePlan);
        std::free(timeBuffer);
        std::free(spectrum);
    }
    bool Init(const NoiseReducerState& state) {
        plan = kiss_fftr_alloc(state.fftLength, 0, nullptr, nullptr);
        inversePlan = kiss_fftr_alloc(state.fftLength, 1, nullptr, nullptr);
        timeBuffer = ZeroFloats(2 * static_cast<size_t>(state.frameLength));
        spectrum = ZeroFloats(2 * static_cast<size_t>(state.binCount));
        return plan && inversePlan && timeBuffer && spectrum;
    }
};

// A second thread that runs one task at a time while the caller's thread works on something else.
class Helper {
public:
    using Task = void (*)(void*);

    Helper() = default;
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

    void Post(Task task, void* context) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            task_ = task;
            context_ = context;
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
            const Task task = task_;
            void* const context = context_;
            lock.unlock();
            task(context);
            lock.lock();
            pending_ = false;
            done_.notify_one();
        }
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    Task task_ = nullptr;
    void* context_ = nullptr;
    bool pending_ = false;
    bool quit_ = false;
};

// Reads until `count` values are in or the source ends, tamed for the transform. -1 on a read error.
int64_t ReadFully(SampleSource* source, float* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        const int64_t got = source->Read(out + done, count - done);
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    TameAll(out, done);
    return static_cast<int64_t>(done);
}

// A turn of the blocks that must take a step in block order (reading, the noise sum, the gains, the
// output): the thread holding block b waits until the turn is b, takes the step and passes it on.
class Turn {
public:
    void Reset() { turn_.store(0, std::memory_order_relaxed); }
    void WaitFor(uint64_t block) {
        uint64_t now = turn_.load(std::memory_order_acquire);
        while (now != block) {
            turn_.wait(now, std::memory_order_acquire);
            now = turn_.load(std::memory_order_acquire);
        }
    }
    void Pass(uint64_t block) {
        turn_.store(block + 1, std::memory_order_release);
        turn_.notify_all();
    }

private:
    std::atomic<uint64_t> turn_{0};
};

// The buffers of one thread: its transforms, the block it holds and what is made of it.
struct Worker {
    Lane lane;
    float* input = nullptr;     // the raw samples of the block
    float* previous = nullptr;  // the raw frame before the block
    float* power = nullptr;     // one power row of bins per frame
    float* spectra = nullptr;   // one analysis spectrum per frame
    float* output = nullptr;    // one output frame per frame
    float* tails = nullptr;     // the windowed second half of each frame's inverse transform

    Worker() = default;
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    ~Worker() {
        std::free(input);
        std::free(previous);
        std::free(power);
        std::free(spectra);
        std::free(output);
        std::free(tails);
    }
    bool Init(const NoiseReducerState& state, uint64_t blockFrames) {
        const size_t n = state.frameLength, bins = state.binCount, frames = static_cast<size_t>(blockFrames);
        input = ZeroFloats(frames * n);
        previous = ZeroFloats(n);
        power = ZeroFloats(frames * bins);
        spectra = ZeroFloats(frames * 2 * bins);
        output = ZeroFloats(frames * n);
        tails = ZeroFloats(frames * n);
        return input && previous && power && spectra && output && tails && lane.Init(state);
    }
};

}  // namespace

// The two passes of a reduction, block by block. With a helper thread the blocks alternate between
// the caller's thread (even blocks) and the helper (odd blocks); each thread reads, transforms and
// writes its own blocks, so a block's data stays with one processor. The steps that must run in
// frame order (reading, the noise sum, the smoothed gain, overlap-add and the output) wait for their
// turn, so the result is bit-identical to the frame-by-frame processing on one thread.
class ReductionEngine {
public:
    ReductionEngine(const NoiseReducer& reducer, NoiseReducerState* state)
        : reducer_(reducer),
          state_(state),
          n_(state->frameLength),
          bins_(state->binCount),
          blockFrames_(std::max<uint64_t>(2, kBlockValues / state->frameLength)) {}
    ReductionEngine(const ReductionEngine&) = delete;
    ReductionEngine& operator=(const ReductionEngine&) = delete;
    ~ReductionEngine() {
        helper_.reset();  // the helper's worker outlives its last task
        std::free(carried_);
    }

    // Makes the buffers and, with `parallel`, starts the helper (without it when no thread or
    // memory for it can be had). False when memory is missing.
    bool Init(bool parallel) {
        carried_ = ZeroFloats(static_cast<size_t>(n_));
        if (carried_ == nullptr || !workers_[0].Init(*state_, blockFrames_)) return false;
        if (parallel && workers_[1].Init(*state_, blockFrames_)) {
            helper_.reset(new (std::nothrow) Helper);
            if (helper_ && !helper_->Start()) helper_.reset();
        }
        return true;
    }

    // First pass: the noise estimate over every full frame; *count gets the number of values read.
    bool Estimate(SampleSource* source, uint64_t* count) {
        source_ = source;
        total_ = 0;
        endBlock_ = std::numeric_limits<uint64_t>::max();
        Begin();
        RunBoth([this](Worker* w, uint64_t b) { return EstimateBlock(w, b); });
        if (failed_.load(std::memory_order_relaxed)) return false;
        NoiseReducer::EstimateNoise(state_, nullptr, true);
        *count = total_;
        return true;
    }

    // Second pass over the same `count` values, then the remainder frame.
    bool Filter(SampleSource* source, uint64_t count, SampleSink* sink) {
        const size_t frameBytes = static_cast<size_t>(n_) * sizeof(float);
        source_ = source;
        sink_ = sink;
        fullFrames_ = count / n_;
        endBlock_ = (fullFrames_ + blockFrames_ - 1) / blockFrames_;
        std::memset(carried_, 0, frameBytes);  // zero before frame 0
        std::memset(state_->overlap, 0, frameBytes);
        Begin();
        RunBoth([this](Worker* w, uint64_t b) { return FilterBlock(w, b); });
        if (failed_.load(std::memory_order_relaxed)) return false;

        // As after the last full frame: its raw samples (zeros when there is none) are the first
        // half of the remainder frame's analysis.
        std::memcpy(state_->timeBuffer, carried_, frameBytes);
        const uint64_t remainder = count % n_;
        if (remainder > 0) {
            // The remainder padded with zeros to a frame. There is no next frame to complete it: its
            // output is taken from the windowed tail of that frame.
            float* frame = workers_[0].input;
            std::memset(frame, 0, frameBytes);
            if (ReadFully(source, frame, static_cast<size_t>(remainder)) != static_cast<int64_t>(remainder)) {
                return false;
            }
            reducer_.ProcessFrame(state_, frame, workers_[0].output);
            if (!sink->Write(state_->overlap, static_cast<size_t>(remainder))) return false;
        }
        // The second reading must end where the first did (the input did not change in between).
        float extra = 0.0f;
        return ReadFully(source, &extra, 1) == 0;
    }

private:
    void Begin() {
        failed_.store(false, std::memory_order_relaxed);
        readTurn_.Reset();
        orderTurn_.Reset();
        writeTurn_.Reset();
    }

    // Runs step(worker, block) for every block, even blocks here and odd ones on the helper (all
    // here when there is none), until a step returns false at the end of the input.
    template <typename Step>
    void RunBoth(Step step) {
        if (!helper_) {
            for (uint64_t b = 0; step(&workers_[0], b); ++b) {
            }
            return;
        }
        auto odd = [&] {
            for (uint64_t b = 1; step(&workers_[1], b); b += 2) {
            }
        };
        helper_->Post([](void* f) { (*static_cast<decltype(odd)*>(f))(); }, &odd);
        for (uint64_t b = 0; step(&workers_[0], b); b += 2) {
        }
        helper_->Wait();
    }

    bool Failed() const { return failed_.load(std::memory_order_relaxed); }
    void Fail() { failed_.store(true, std::memory_order_relaxed); }

    // Reads block `b` in its turn: up to a block of values into the worker's input, the raw frame
    // before it into the worker's `previous` and its own last frame into the carried frame. Returns
    // the values read (0 past the end or after a failure).
    uint64_t ReadBlock(Worker* w, uint64_t b, uint64_t wanted) {
        readTurn_.WaitFor(b);
        uint64_t got = 0;
        if (b < endBlock_ && !Failed()) {
            const int64_t read = ReadFully(source_, w->input, static_cast<size_t>(wanted));
            if (read < 0 || (sink_ != nullptr && static_cast<uint64_t>(read) != wanted)) {
                Fail();
            } else {
                got = static_cast<uint64_t>(read);
                total_ += got;
                const uint64_t frames = got / n_;
                const size_t frameBytes = static_cast<size_t>(n_) * sizeof(float);
                std::memcpy(w->previous, carried_, frameBytes);
                if (frames > 0) std::memcpy(carried_, w->input + (frames - 1) * n_, frameBytes);
                if (got < wanted) endBlock_ = b + 1;  // the input ends in this block
            }
        }
        readTurn_.Pass(b);
        return got;
    }

    // One block of the first pass: the power spectra of its full frames (each frame under the
    // falling half-window after N zeros), then, in block order, their sum into the noise estimate.
    bool EstimateBlock(Worker* w, uint64_t b) {
        const uint64_t blockValues = blockFrames_ * n_;
        const uint64_t got = ReadBlock(w, b, blockValues);
        const bool more = got == blockValues;
        const uint64_t frames = got / n_;
        auto* spectrum = reinterpret_cast<kiss_fft_cpx*>(w->lane.spectrum);
        std::memset(w->lane.timeBuffer, 0, static_cast<size_t>(n_) * sizeof(float));
        for (uint64_t t = 0; t < frames; ++t) {
            Analyse(state_, w->lane.plan, w->lane.timeBuffer, w->input + t * n_, spectrum);
            float* __restrict row = w->power + t * bins_;
            for (unsigned k = 0; k < bins_; ++k)
                row[k] = spectrum[k].r * spectrum[k].r + spectrum[k].i * spectrum[k].i;
        }
        orderTurn_.WaitFor(b);
        float* __restrict noise = state_->noisePower;
        for (uint64_t t = 0; t < frames; ++t) {
            const float* __restrict row = w->power + t * bins_;
            for (unsigned k = 0; k < bins_; ++k) noise[k] += row[k];
            ++state_->noiseFrames;
        }
        orderTurn_.Pass(b);
        return more && !Failed();
    }

    // One block of the second pass: the analysis spectra of its frames, their gains in frame order,
    // the inverse transforms, and in block order overlap-add with the frame before and the output.
    bool FilterBlock(Worker* w, uint64_t b) {
        if (b >= endBlock_) return false;
        const uint64_t frames = std::min(blockFrames_, fullFrames_ - b * blockFrames_);
        const size_t frameBytes = static_cast<size_t>(n_) * sizeof(float);
        ReadBlock(w, b, frames * n_);
        const bool ok = !Failed();
        if (ok) {
            float* tb = w->lane.timeBuffer;
            std::memcpy(tb, w->previous, frameBytes);
            for (uint64_t t = 0; t < frames; ++t) {
                Analyse(state_, w->lane.plan, tb, w->input + t * n_,
                        reinterpret_cast<kiss_fft_cpx*>(w->spectra + t * 2 * bins_));
                std::memcpy(tb, w->input + t * n_, frameBytes);
            }
        }
        orderTurn_.WaitFor(b);
        if (ok && !Failed()) {
            for (uint64_t t = 0; t < frames; ++t) reducer_.ApplyGain(state_, w->spectra + t * 2 * bins_);
        }
        orderTurn_.Pass(b);
        if (ok && !Failed()) {
            for (uint64_t t = 0; t < frames; ++t) {
                InverseHalves(state_, w->lane.inversePlan, w->spectra + t * 2 * bins_, w->lane.timeBuffer,
                              w->output + t * n_, w->tails + t * n_);
            }
        }
        writeTurn_.WaitFor(b);
        if (ok && !Failed()) {
            // Overlap-add in frame order: each head plus the tail before it.
            const float* before = state_->overlap;
            for (uint64_t t = 0; t < frames; ++t) {
                float* __restrict o = w->output + t * n_;
                const float* __restrict tail = before;
                for (uint64_t i = 0; i < n_; ++i) o[i] = o[i] + tail[i];
                before = w->tails + t * n_;
            }
            std::memcpy(state_->overlap, before, frameBytes);
            if (!sink_->Write(w->output, static_cast<size_t>(frames * n_))) Fail();
        }
        writeTurn_.Pass(b);
        return b + 1 < endBlock_ && !Failed();
    }

    const NoiseReducer& reducer_;
    NoiseReducerState* state_;
    const uint64_t n_;
    const unsigned bins_;
    const uint64_t blockFrames_;
    Worker workers_[2];
    std::unique_ptr<Helper> helper_;
    // Shared between the threads, each touched only in the turn that owns it.
    SampleSource* source_ = nullptr;  // read in the read turn
    SampleSink* sink_ = nullptr;      // written in the write turn (null in the first pass)
    float* carried_ = nullptr;        // the last raw frame read so far (read turn)
    uint64_t total_ = 0;              // values read in the first pass (read turn)
    uint64_t endBlock_ = 0;           // blocks of the pass (set by the read turn in the first pass)
    uint64_t fullFrames_ = 0;
    std::atomic<bool> failed_{false};
    Turn readTurn_, orderTurn_, writeTurn_;
};

}  // namespace denoise

template <typename OpenSink>
bool NoiseReducer::Run(denoise::SampleSource* source, unsigned sampleRate, OpenSink&& openSink) const {
    NoiseReducerState state;
    if (!Init(&state, sampleRate, 20)) return false;
    bool ok = false;
    {
        denoise::ReductionEngine engine(*this, &state);
        uint64_t count = 0;
        if (engine.Init(parallel_ && std::thread::hardware_concurrency() > 1) &&
            engine.Estimate(source, &count)) {
            denoise::SampleSink* sink = openSink(count);
            ok = sink != nullptr && source->Restart() && engine.Filter(source, count, sink);
        }
    }
    Release(&state);
    return ok;
}

bool NoiseReducer::ReduceSamples(const float* samples, uint64_t count, unsigned sampleRate, float* output) {
    if (count > 0 && (samples == nullptr || output == nullptr)) return false;
    if (count > std::numeric_limits<size_t>::max() / sizeof(float)) return false;
    denoise::MemorySource source(samples, count);
    denoise::MemorySink sink(output, count);
    return Run(&source, sampleRate, [&](uint64_t) -> denoise::SampleSink* { return &sink; });
}

namespace {

ReduceError FromFileError(denoise::FileError error, bool input) {
    using denoise::FileError;
    switch (error) {
        case FileError::NotFound:
            return ReduceError::InputNotFound;
        case FileError::NotReadable:
            return ReduceError::InputNotReadable;
        case FileError::NotAudio:
            return ReduceError::InputNotAudio;
        case FileError::BadLayout:
            return ReduceError::InputBadLayout;
        case FileError::Changed:
            return ReduceError::InputChanged;
        case FileError::DanglingLink:
            return ReduceError::OutputDanglingLink;
        case FileError::CannotCreate:
            return ReduceError::OutputCannotCreate;
        case FileError::NoSpace:
            return ReduceError::OutputNoSpace;
        case FileError::TooLarge:
            return ReduceError::OutputTooLarge;
        case FileError::WriteFailed:
            return ReduceError::OutputWriteFailed;
        case FileError::None:
            break;
    }
    return input ? ReduceError::InputNotReadable : ReduceError::OutputWriteFailed;
}

}  // namespace

bool NoiseReducer::Reduce(const std::wstring& inputPath, const std::wstring& outputPath, int level) {
    level_ = level;
    error_ = ReduceError::None;
    systemError_ = 0;
    claimedChannels_ = claimedRate_ = 0;
    if (inputPath.empty() || outputPath.empty()) {
        error_ = ReduceError::MissingPath;
        return false;
    }
    denoise::AudioFileReader reader;
    if (!reader.Open(inputPath)) {
        error_ = FromFileError(reader.Error(), true);
        claimedChannels_ = reader.Channels();
        claimedRate_ = reader.SampleRate();
        return false;
    }
    // Below 50 Hz a 20 ms frame holds no sample: nothing a real recording has, and nothing to filter.
    if (FrameLengthFor(reader.SampleRate(), 20) == 0) {
        error_ = ReduceError::InputBadLayout;
        claimedChannels_ = reader.Channels();
        claimedRate_ = reader.SampleRate();
        return false;
    }
    // The input is read again while the output is written: writing over it would destroy it.
    if (reader.IsSameFile(outputPath)) {
        error_ = ReduceError::SameFile;
        return false;
    }
    denoise::FloatWavWriter writer;
    bool opened = false;
    const bool ran = Run(&reader, reader.SampleRate(), [&](uint64_t count) -> denoise::SampleSink* {
        opened = writer.Open(outputPath, reader.Channels(), reader.SampleRate(), count);
        return opened ? &writer : nullptr;
    });
    if (ran && writer.Finish()) return true;
    if (!ran) writer.Abort();
    // The first cause wins: a failed write stops the run, a failed read fails it before the writer.
    if (writer.Error() != denoise::FileError::None) {
        error_ = FromFileError(writer.Error(), false);
        systemError_ = writer.SystemError();
    } else if (reader.Error() != denoise::FileError::None) {
        error_ = FromFileError(reader.Error(), true);
    } else {
        error_ = opened ? ReduceError::InputChanged : ReduceError::NoMemory;
    }
    return false;
}
