// Reading WAV or MP3 input as 32-bit float samples and writing 32-bit IEEE-float WAV output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "denoise/SampleStream.h"

struct sf_private_tag;

namespace denoise {

// An audio file read in order as interleaved float samples (full scale = 1.0).
class AudioFileReader final : public SampleSource {
public:
    AudioFileReader() = default;
    ~AudioFileReader() override;
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    // False when the path is not a readable regular file that the reader takes as audio (WAV, MP3
    // and the other formats the audio library knows).
    bool Open(const std::wstring& path);
    unsigned Channels() const { return channels_; }
    unsigned SampleRate() const { return sampleRate_; }
    // Frames the header announces: a hint, compressed input may decode to a little more or less.
    uint64_t FrameHint() const { return frameHint_; }

    // Whether `path` names the file being read (through any link).
    bool IsSameFile(const std::wstring& path) const;

    int64_t Read(float* out, size_t count) override;
    // Opens the file again from its start; false when it is gone or no longer has the same layout.
    bool Restart() override;

private:
    bool OpenFile();
    void Close();

    std::string path_;
    sf_private_tag* file_ = nullptr;
    unsigned channels_ = 0;
    unsigned sampleRate_ = 0;
    uint64_t frameHint_ = 0;
    uint64_t device_ = 0, inode_ = 0;
    bool failed_ = false;
    // The audio library reads whole frames only; values of a frame split by a read wait here.
    std::vector<float> carry_;
    size_t carryAt_ = 0;
    size_t carryEnd_ = 0;
};

// A RIFF WAV file with format tag 3 (IEEE float, 32 bits) whose sample count is known up front.
// The file is removed again unless Finish succeeds.
class FloatWavWriter final : public SampleSink {
public:
    FloatWavWriter() = default;
    ~FloatWavWriter() override;
    FloatWavWriter(const FloatWavWriter&) = delete;
    FloatWavWriter& operator=(const FloatWavWriter&) = delete;

    // Creates (or replaces) the file and writes the header for `count` interleaved values. False when
    // the layout cannot be described (a count that is not whole frames, sizes past 4 GiB) or the
    // file cannot be created.
    bool Open(const std::wstring& path, unsigned channels, unsigned sampleRate, uint64_t count);
    bool Write(const float* values, size_t count) override;
    // Closes the file; true only when exactly the announced values were written.
    bool Finish();
    // Closes and removes the file.
    void Abort();

private:
    std::wstring path_;
    int fd_ = -1;
    uint64_t expected_ = 0;
    uint64_t written_ = 0;
    bool failed_ = false;
};

struct AudioBuffer {
    std::vector<float> samples;  // interleaved, full scale = 1.0
    unsigned channels = 0;
    unsigned sampleRate = 0;
};

// Reads the whole file. False when it cannot be opened or read, or is not audio the reader knows.
bool ReadAudioFile(const std::wstring& path, AudioBuffer* audio);

// Writes `count` interleaved samples as a float WAV. False when the file cannot be created or
// written completely; a partial file is removed.
bool WriteFloatWav(const std::wstring& path, const float* samples, uint64_t count, unsigned channels,
                   unsigned sampleRate);

}  // namespace denoise
