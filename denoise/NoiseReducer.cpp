#include "denoise/NoiseReducer.h"

#include <kiss_fftr.h>

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

namespace denoise {

namespace {

// Values per block: the unit of reading, writing and handing work between the two threads.
constexpr uint64_t kBlockValues = uint64_t(1) << 16;
// Frames claimed at a time while both threads share a block's noise spectra.
constexpr uint64_t kClaimFrames = 8;

// A forward transform of its own for each thread (a plan keeps scratch memory, so it cannot be
// shared), with its analysis buffer and spectrum.
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

// Reads until `count` values are in or the source ends. -1 on a read error.
int64_t ReadFully(SampleSource* source, float* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        const int64_t got = source->Read(out + done, count - done);
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

}  // namespace

// The two passes of a reduction, block by block. The transforms that depend only on the input run
// on a helper thread when there is one (or inline when not); everything that runs in frame order
// (the noise sum, the smoothed gain, the inverse transform and overlap-add, the output) stays on the
// caller's thread, so the result is bit-identical either way and to frame-by-frame processing.
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
        helper_.reset();  // the helper's lane and blocks outlive its last task
        std::free(input_[0]);
        std::free(input_[1]);
        std::free(power_);
        std::free(spectra_[0]);
        std::free(spectra_[1]);
        std::free(output_);
        std::free(previous_);
    }

    // Makes the blocks and, with `parallel`, starts the helper (without it when no thread can be
    // had). False when memory is missing.
    bool Init(bool parallel) {
        const size_t blockValues = static_cast<size_t>(blockFrames_ * n_);
        input_[0] = ZeroFloats(blockValues);
        input_[1] = ZeroFloats(blockValues);
        power_ = ZeroFloats(static_cast<size_t>(blockFrames_) * bins_);
        spectra_[0] = ZeroFloats(static_cast<size_t>(blockFrames_) * 2 * bins_);
        spectra_[1] = ZeroFloats(static_cast<size_t>(blockFrames_) * 2 * bins_);
        output_ = ZeroFloats(blockValues);
        previous_ = ZeroFloats(static_cast<size_t>(n_));
        if (!input_[0] || !input_[1] || !power_ || !spectra_[0] || !spectra_[1] || !output_ || !previous_ ||
            !mainLane_.Init(*state_)) {
            return false;
        }
        if (parallel && helperLane_.Init(*state_)) {
            helper_.reset(new (std::nothrow) Helper);
            if (helper_ && !helper_->Start()) helper_.reset();
        }
        return true;
    }

    // First pass: the noise estimate over every full frame; *count gets the number of values read.
    bool Estimate(SampleSource* source, uint64_t* count) {
        const size_t blockValues = static_cast<size_t>(blockFrames_ * n_);
        const float* block = nullptr;
        uint64_t frames = 0;
        auto share = [&] { PowerRows(HelperLane(), block, frames); };
        uint64_t total = 0;
        int current = 0;
        int64_t got = ReadFully(source, input_[0], blockValues);
        while (true) {
            if (got < 0) return false;
            total += static_cast<uint64_t>(got);
            block = input_[current];
            frames = static_cast<uint64_t>(got) / n_;
            const bool last = static_cast<size_t>(got) < blockValues;
            nextClaim_.store(0, std::memory_order_relaxed);
            Post(&share);
            // While the helper transforms this block, the next one is read.
            const int64_t next = last ? 0 : ReadFully(source, input_[1 - current], blockValues);
            PowerRows(&mainLane_, block, frames);
            Wait();
            float* __restrict noise = state_->noisePower;
            for (uint64_t t = 0; t < frames; ++t) {
                const float* __restrict row = power_ + t * bins_;
                for (unsigned k = 0; k < bins_; ++k) noise[k] += row[k];
                ++state_->noiseFrames;
            }
            if (last) break;
            got = next;
            current = 1 - current;
        }
        NoiseReducer::EstimateNoise(state_, nullptr, true);
        *count = total;
        return true;
    }

    // Second pass over the same `count` values: the helper reads and analyses the next block while
    // this thread filters the current one and writes it out.
    bool Filter(SampleSource* source, uint64_t count, SampleSink* sink) {
        const uint64_t fullFrames = count / n_;
        const uint64_t remainder = count % n_;
        const uint64_t blocks = (fullFrames + blockFrames_ - 1) / blockFrames_;
        uint64_t job = 0;
        bool helperOk = true;
        auto analyse = [&] {
            const uint64_t frames = std::min(blockFrames_, fullFrames - job * blockFrames_);
            if (!ReadAndAnalyse(source, frames, spectra_[job % 2])) helperOk = false;
        };
        std::memset(previous_, 0, static_cast<size_t>(n_) * sizeof(float));  // zero before frame 0
        bool ok = true;
        if (blocks > 0) {
            Post(&analyse);
            Wait();
            ok = helperOk;
        }
        for (uint64_t b = 0; ok && b < blocks; ++b) {
            const bool more = b + 1 < blocks;
            if (more) {
                job = b + 1;
                Post(&analyse);
            }
            const uint64_t frames = std::min(blockFrames_, fullFrames - b * blockFrames_);
            float* spectra = spectra_[b % 2];
            for (uint64_t t = 0; t < frames; ++t) {
                reducer_.Synthesise(state_, spectra + t * 2 * bins_, output_ + t * n_);
            }
            ok = sink->Write(output_, static_cast<size_t>(frames * n_));
            if (more) {
                Wait();
                ok = ok && helperOk;
            }
        }
        if (!ok) return false;
        // As after the last full frame: its raw samples (zeros when there is none) are the first
        // half of the remainder frame's analysis.
        std::memcpy(state_->timeBuffer, previous_, static_cast<size_t>(n_) * sizeof(float));
        if (remainder > 0) {
            // The remainder padded with zeros to a frame. There is no next frame to complete it: its
            // output is taken from the windowed tail of that frame.
            float* frame = input_[0];
            std::memset(frame, 0, static_cast<size_t>(n_) * sizeof(float));
            if (ReadFully(source, frame, static_cast<size_t>(remainder)) != static_cast<int64_t>(remainder)) {
                return false;
            }
            reducer_.ProcessFrame(state_, frame, output_);
            if (!sink->Write(state_->overlap, static_cast<size_t>(remainder))) return false;
        }
        // The second reading must end where the first did (the input did not change in between).
        float extra = 0.0f;
        return ReadFully(source, &extra, 1) == 0;
    }

private:
    Lane* HelperLane() { return helper_ ? &helperLane_ : &mainLane_; }

    // Runs `fn` on the helper, or here and now when there is none; Wait returns once it is done.
    template <typename Fn>
    void Post(Fn* fn) {
        if (!helper_) {
            (*fn)();
            return;
        }
        helper_->Post([](void* f) { (*static_cast<Fn*>(f))(); }, fn);
    }
    void Wait() {
        if (helper_) helper_->Wait();
    }

    // Power spectra of the frames of `block`, a few frames at a time as both threads claim them.
    // The estimation buffer's first half is zero and stays so.
    void PowerRows(Lane* lane, const float* block, uint64_t frames) {
        auto* spectrum = reinterpret_cast<kiss_fft_cpx*>(lane->spectrum);
        std::memset(lane->timeBuffer, 0, static_cast<size_t>(n_) * sizeof(float));
        while (true) {
            const uint64_t begin = nextClaim_.fetch_add(kClaimFrames, std::memory_order_relaxed);
            if (begin >= frames) return;
            const uint64_t end = std::min(begin + kClaimFrames, frames);
            for (uint64_t t = begin; t < end; ++t) {
                Analyse(state_, lane->plan, lane->timeBuffer, block + t * n_, spectrum);
                float* __restrict row = power_ + t * bins_;
                for (unsigned k = 0; k < bins_; ++k)
                    row[k] = spectrum[k].r * spectrum[k].r + spectrum[k].i * spectrum[k].i;
            }
        }
    }

    // Reads the next `frames` frames and writes their analysis spectra (previous raw frame under
    // the rising half, the frame under the falling half) to `spectra`.
    bool ReadAndAnalyse(SampleSource* source, uint64_t frames, float* spectra) {
        Lane* lane = HelperLane();
        float* block = input_[0];
        const size_t values = static_cast<size_t>(frames * n_);
        if (ReadFully(source, block, values) != static_cast<int64_t>(values)) return false;
        const size_t frameBytes = static_cast<size_t>(n_) * sizeof(float);
        std::memcpy(lane->timeBuffer, previous_, frameBytes);
        for (uint64_t t = 0; t < frames; ++t) {
            Analyse(state_, lane->plan, lane->timeBuffer, block + t * n_,
                    reinterpret_cast<kiss_fft_cpx*>(spectra + t * 2 * bins_));
            std::memcpy(lane->timeBuffer, block + t * n_, frameBytes);
        }
        std::memcpy(previous_, block + (frames - 1) * n_, frameBytes);
        return true;
    }

    const NoiseReducer& reducer_;
    NoiseReducerState* state_;
    const uint64_t n_;
    const unsigned bins_;
    const uint64_t blockFrames_;
    Lane mainLane_, helperLane_;
    float* input_[2] = {};       // raw samples: two blocks in the first pass, one in the second
    float* power_ = nullptr;     // one power row of bins per frame of a block
    float* spectra_[2] = {};     // analysis spectra of two blocks
    float* output_ = nullptr;    // one block of output
    float* previous_ = nullptr;  // raw frame before the next block to analyse
    std::atomic<uint64_t> nextClaim_{0};
    std::unique_ptr<Helper> helper_;
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

bool NoiseReducer::Reduce(const std::wstring& inputPath, const std::wstring& outputPath, int level) {
    level_ = level;
    if (inputPath.empty() || outputPath.empty()) return false;
    denoise::AudioFileReader reader;
    if (!reader.Open(inputPath)) return false;
    // The input is read again while the output is written: writing over it would destroy it.
    if (reader.IsSameFile(outputPath)) return false;
    denoise::FloatWavWriter writer;
    const bool ran = Run(&reader, reader.SampleRate(), [&](uint64_t count) -> denoise::SampleSink* {
        return writer.Open(outputPath, reader.Channels(), reader.SampleRate(), count) ? &writer : nullptr;
    });
    if (!ran) {
        writer.Abort();
        return false;
    }
    return writer.Finish();
}
