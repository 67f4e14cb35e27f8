// Helpers shared by every test suite: a private temporary folder per test and small media files
// generated with the real ffmpeg (no binary media lives in the repository).
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under $TW_TEST_TMP (or the system temporary folder), removed with its contents
// when the object goes out of scope. Path() ends with "/".
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::wstring WPath() const;
    std::string File(const std::string& name) const { return path_ + name; }
    std::wstring WFile(const std::wstring& name) const;

private:
    std::string path_;
};

// Absolute path of ffmpeg / ffprobe (empty when not installed).
std::string FfmpegPath();
std::string FfprobePath();

// Runs ffmpeg with "-hide_banner -loglevel error -y" prepended; true when it exited with 0.
bool RunFfmpeg(const std::vector<std::string>& args);

// Generators. Every function returns true when the file exists afterwards with a non-zero size.
// A sine tone of `seconds` at `hz`; the codec and container follow the extension of `path`
// (.wav, .mp3, .flac, .ogg, .m4a, .aac (ADTS), .wma, .amr, ...), `extra` args go before the path.
bool MakeTone(const std::string& path, double seconds, int hz = 440, int sampleRate = 44100, int channels = 2,
              const std::vector<std::string>& extra = {});
// White noise of the given amplitude (0..1).
bool MakeNoise(const std::string& path, double seconds, double amplitude = 0.3, int sampleRate = 44100,
               int channels = 1);
// A testsrc video with a sine audio track (container from the extension, e.g. .mp4, .mkv, .avi).
bool MakeVideo(const std::string& path, double seconds, bool withAudio = true);
// An MP3 with an embedded cover picture.
bool MakeMp3WithCover(const std::string& path, double seconds);

// Facts read back with ffprobe; -1 / empty when unknown.
double ProbeDurationSeconds(const std::string& path);
int ProbeChannels(const std::string& path);
int ProbeSampleRate(const std::string& path);
std::string ProbeCodec(const std::string& path);  // codec_name of the first audio stream
int ProbeStreamCount(const std::string& path, const std::string& kind);  // kind "a", "v"

}  // namespace testsupport
