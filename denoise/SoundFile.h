// Reading WAV or MP3 input as 32-bit float samples and writing 32-bit IEEE-float WAV output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "denoise/NoiseReducer.h"
#include "denoise/SampleStream.h"

struct sf_private_tag;

namespace denoise {

// Layouts the reader accepts: no real recording has a higher rate or more channels, and a header
// claiming them would only make the reducer allocate and transform absurd frames.
constexpr unsigned kMaxSampleRate = NoiseReducer::kMaxSampleRate;
constexpr unsigned kMaxChannels = 1024;

// Why opening, reading or writing a file failed.
enum class FileError {
    None,
    NotFound,      // the input is missing or not a regular file
    NotReadable,   // the input cannot be opened or read
    NotAudio,      // the input is not audio the reader knows
    BadLayout,     // the header claims a sample rate or channel count no real file has
    Changed,       // the input changed between the two readings
    DanglingLink,  // the output is a symbolic link to nothing
    CannotCreate,  // the output (or its temporary file) cannot be created in its folder
    NoSpace,       // the device or the file size limit ran out while writing
    WriteFailed,   // any other failure while writing or completing the output
    TooLarge,      // the output's size cannot be described by a WAV header
};

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
    // Why Open, Read or Restart failed. With BadLayout, Channels and SampleRate hold the claims.
    FileError Error() const { return error_; }

    // Whether `path` names the file being read (through any link).
    bool IsSameFile(const std::wstring& path) const;

    int64_t Read(float* out, size_t count) override;
    // Opens the file again from its start; false when it is gone or no longer has the same layout.
    bool Restart() override;

private:
    bool OpenFile();
    void Close();

    struct BufferedInput;
    std::string path_;
    BufferedInput* input_ = nullptr;  // the open file, read in large pieces for the audio library
    sf_private_tag* file_ = nullptr;
    unsigned channels_ = 0;
    unsigned sampleRate_ = 0;
    uint64_t frameHint_ = 0;
    uint64_t device_ = 0, inode_ = 0;
    bool failed_ = false;
    FileError error_ = FileError::None;
    // The audio library reads whole frames only; values of a frame split by a read wait here.
    std::vector<float> carry_;
    size_t carryAt_ = 0;
    size_t carryEnd_ = 0;
};

// A RIFF WAV file with format tag 3 (IEEE float, 32 bits) whose sample count is known up front.
// A regular file (or one not there yet) is written under a temporary name in the same folder and
// renamed into place by Finish, so the output name never holds a partial file and whatever it held
// before stays until the new file is complete. A symbolic link to a file is followed (the file it
// names is replaced, the link kept); a link to nothing is refused. Anything else (a device) is
// written directly.
class FloatWavWriter final : public SampleSink {
public:
    FloatWavWriter() = default;
    ~FloatWavWriter() override;
    FloatWavWriter(const FloatWavWriter&) = delete;
    FloatWavWriter& operator=(const FloatWavWriter&) = delete;

    // Starts the file and writes the header for `count` interleaved values. False when the layout
    // cannot be described (a count that is not whole frames, sizes past 4 GiB) or the file cannot
    // be created.
    bool Open(const std::wstring& path, unsigned channels, unsigned sampleRate, uint64_t count);
    bool Write(const float* values, size_t count) override;
    // Closes the file and puts it in place; true only when exactly the announced values were written.
    bool Finish();
    // Closes and removes the temporary file; the output name is left as it was.
    void Abort();
    FileError Error() const { return error_; }
    // The errno of the failed system call (0 when none).
    int SystemError() const { return errno_; }

private:
    void Fail(FileError error, int systemError);
    void RemoveTemporary();

    std::string target_;     // the file that receives the result
    std::string temporary_;  // where it is written until Finish (empty when written directly)
    int pending_ = -1;       // slot of the temporary file among the pending outputs
    int fd_ = -1;
    uint64_t expected_ = 0;
    uint64_t written_ = 0;
    bool failed_ = false;
    FileError error_ = FileError::None;
    int errno_ = 0;
};

// Removes every temporary output file that is still being written. Safe to call from a signal
// handler (SIGINT, SIGTERM): it only reads lock-free flags and calls unlink.
void RemovePendingOutputs();

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
