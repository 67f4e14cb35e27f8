// The in-process noise reducer: estimates the steady noise spectrum of a whole file, then applies a
// smoothed spectral gain frame by frame (hop N, window 2N, overlap-add) and writes a 32-bit float WAV.
#pragma once

#include <cstdint>
#include <string>

struct kiss_fftr_state;

namespace denoise {
class SampleSource;
class SampleSink;
class ReductionEngine;
}  // namespace denoise

// Working state of one reduction. All arrays are zero-filled by Init and freed by Release.
struct NoiseReducerState {
    unsigned sampleRate = 0;
    unsigned frameLength = 0;                // N: samples per frame (hop), always even
    int fftLength = 0;                       // 2N
    unsigned binCount = 0;                   // N + 1
    float* window = nullptr;                 // N values: rising half of the analysis/synthesis window
    float* fallingWindow = nullptr;          // N values: the same table read backwards
    kiss_fftr_state* fftPlan = nullptr;      // forward real FFT of size 2N
    kiss_fftr_state* inversePlan = nullptr;  // inverse real FFT of size 2N
    float* timeBuffer = nullptr;             // 2N values
    float* overlap = nullptr;                // N values: windowed second half of the previous frame
    float* spectrum = nullptr;               // N + 1 complex bins, re/im interleaved
    float* noisePower = nullptr;             // N + 1 values
    float* smoothedPower = nullptr;          // N + 1 values
    int64_t noiseFrames = 0;
};

// Why Reduce returned false.
enum class ReduceError {
    None,
    MissingPath,         // the input or output path is empty
    InputNotFound,       // the input is missing or not a regular file
    InputNotReadable,    // the input cannot be opened or read
    InputNotAudio,       // the input is neither WAV nor MP3 nor other audio the reader knows
    InputBadLayout,      // the input's header claims a sample rate or channel count no real file has
    InputChanged,        // the input changed between the two readings
    SameFile,            // the output names the input
    OutputDanglingLink,  // the output is a symbolic link to nothing
    OutputCannotCreate,  // the output cannot be created in its folder
    OutputNoSpace,       // the disk (or the file size limit) ran out while writing
    OutputWriteFailed,   // writing or completing the output failed otherwise
    OutputTooLarge,      // the output would pass the 4 GiB a WAV header can describe
    NoMemory,            // the work buffers could not be made
};

class NoiseReducer {
public:
    // Input samples beyond this magnitude (full scale is 1.0) are clamped to it before the transform,
    // and non-finite ones (NaN, infinities) are taken as 0, so that no power sum overflows and the
    // output never holds NaN or infinities.
    static constexpr float kSampleLimit = 1.0e6f;
    // Highest sample rate Init accepts; a header claiming more is not a real file.
    static constexpr unsigned kMaxSampleRate = 768000;

    // Reduces the noise of `inputPath` (WAV or MP3) into `outputPath` (32-bit IEEE-float WAV with the
    // input's channel count and sample rate). `level` 0, 1 or 2 sets the strength; any other value
    // acts as 2. The input is read twice, block by block (once for the noise estimate, once for the
    // filter), and the output written as it is made, so memory use does not grow with the file.
    // An output that is the input file itself (by any name or link) is refused. The output is
    // written under a temporary name beside it and renamed into place when complete (see
    // denoise::FloatWavWriter). Returns true only when the whole output was written; on failure the
    // output name is left as it was and LastError tells why.
    bool Reduce(const std::wstring& inputPath, const std::wstring& outputPath, int level);

    // The same on samples in memory: `samples` holds `count` interleaved values at `sampleRate`;
    // `output` receives `count` values; it may be `samples` itself, but must not overlap it
    // otherwise. False when the state or the work buffers cannot be made.
    bool ReduceSamples(const float* samples, uint64_t count, unsigned sampleRate, float* output);

    // Frame length N for a sample rate and frame duration: rate × ms / 1000, rounded up to even.
    static unsigned FrameLengthFor(unsigned sampleRate, unsigned frameMs);
    // Smoothing factor c of a level: 0 → 0.94, 1 → 0.96, anything else → 0.98.
    static float SmoothingFactor(int level);

    // Why the last Reduce returned false (None after a success), the errno behind it when a system
    // call failed, and, with InputBadLayout, the channel count and sample rate the header claimed.
    ReduceError LastError() const { return error_; }
    int LastSystemError() const { return systemError_; }
    unsigned ClaimedChannels() const { return claimedChannels_; }
    unsigned ClaimedSampleRate() const { return claimedRate_; }

    // Builds the state for `sampleRate` (1 … kMaxSampleRate) and a frame of `frameMs` milliseconds
    // (always 20). On any failure releases what it made and returns false.
    static bool Init(NoiseReducerState* state, unsigned sampleRate, unsigned frameMs);
    // Adds the power spectrum of one frame of N samples to the noise estimate; with `finish` set,
    // turns the sum into the average instead (`frame` is then not read).
    static bool EstimateNoise(NoiseReducerState* state, const float* frame, bool finish);
    // Filters one frame of N samples and writes N output samples (the input delayed by N). `output`
    // must not overlap `frame`.
    bool ProcessFrame(NoiseReducerState* state, const float* frame, float* output) const;
    // Frees every array and the plans; safe on a partly built or already released state.
    static void Release(NoiseReducerState* state);

    void SetLevel(int level) { level_ = level; }
    int Level() const { return level_; }

    // Verification hook: with unity gain every bin passes unchanged, so the output is exactly the
    // input delayed by N samples. Off by default; nothing in the program turns it on.
    void SetUnityGain(bool on) { unityGain_ = on; }

    // Whether Reduce may use a second thread (on by default when the machine has more than one
    // core): the blocks of the file then alternate between the caller's thread and a helper, which
    // take the steps that depend on earlier frames in turn. The result is bit-identical either way;
    // the call returns when both are done.
    void SetParallel(bool on) { parallel_ = on; }

private:
    friend class denoise::ReductionEngine;

    // Both passes over `source`. Between them `openSink` gets the number of values read and returns
    // where the output goes (null to stop). False when anything failed.
    template <typename OpenSink>
    bool Run(denoise::SampleSource* source, unsigned sampleRate, OpenSink&& openSink) const;
    void Synthesise(NoiseReducerState* state, float* spectrum, float* output) const;
    void ApplyGain(NoiseReducerState* state, float* spectrum) const;

    int level_ = 0;
    ReduceError error_ = ReduceError::None;
    int systemError_ = 0;
    unsigned claimedChannels_ = 0, claimedRate_ = 0;
    bool unityGain_ = false;
    bool parallel_ = true;
};
