#include "support/TestSupport.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "platform/Platform.h"

namespace testsupport {
namespace {

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string Extension(const std::string& path) {
    auto dot = path.rfind('.');
    auto slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// Encoder arguments that suit the container of `path`.
std::vector<std::string> CodecFor(const std::string& path) {
    std::string ext = Extension(path);
    if (ext == ".mp3") return {"-c:a", "libmp3lame", "-b:a", "128k"};
    if (ext == ".aac") return {"-c:a", "aac", "-b:a", "128k", "-f", "adts"};
    if (ext == ".m4a") return {"-c:a", "aac", "-b:a", "128k"};
    if (ext == ".ogg") return {"-c:a", "libvorbis"};
    if (ext == ".flac") return {"-c:a", "flac"};
    if (ext == ".wma") return {"-c:a", "wmav2"};
    if (ext == ".amr") return {"-c:a", "libopencore_amrnb", "-ar", "8000", "-ac", "1"};
    return {};
}

std::string ProbeEntry(const std::string& path, const std::string& select, const std::string& entry) {
    std::string out;
    std::vector<std::string> argv = {FfprobePath(), "-v", "error"};
    if (!select.empty()) argv.insert(argv.end(), {"-select_streams", select});
    argv.insert(argv.end(), {"-show_entries", entry, "-of", "default=noprint_wrappers=1:nokey=1", path});
    if (!platform::RunProcessCapture(argv, &out)) return {};
    out = Trim(out);
    auto nl = out.find('\n');
    return nl == std::string::npos ? out : out.substr(0, nl);
}

}  // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TW_TEST_TMP");
    std::string root = base && *base ? base : platform::ToUtf8(platform::TempFolder()) + "tw-tests";
    platform::CreateFolders(platform::FromUtf8(root));
    std::string templ = root + "/t-XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) templ = root + "/t-fallback";
    path_ = templ + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::wstring TempDir::WPath() const {
    return platform::FromUtf8(path_);
}
std::wstring TempDir::WFile(const std::wstring& name) const {
    return WPath() + name;
}

std::string FfmpegPath() {
    static const std::string path = platform::FindExecutable("ffmpeg");
    return path;
}

std::string FfprobePath() {
    static const std::string path = platform::FindExecutable("ffprobe");
    return path;
}

bool RunFfmpeg(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {FfmpegPath(), "-hide_banner", "-loglevel", "error", "-y"};
    argv.insert(argv.end(), args.begin(), args.end());
    int code = -1;
    return platform::RunProcess(argv, &code) && code == 0;
}

static bool NonEmpty(const std::string& path) {
    return platform::FileSize(platform::FromUtf8(path)) > 0;
}

bool MakeTone(const std::string& path, double seconds, int hz, int sampleRate, int channels,
              const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"-f",
                                     "lavfi",
                                     "-i",
                                     "sine=frequency=" + std::to_string(hz) + ":sample_rate=" +
                                         std::to_string(sampleRate) + ":duration=" + std::to_string(seconds),
                                     "-ac",
                                     std::to_string(channels)};
    auto codec = CodecFor(path);
    args.insert(args.end(), codec.begin(), codec.end());
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(path);
    return RunFfmpeg(args) && NonEmpty(path);
}

bool MakeNoise(const std::string& path, double seconds, double amplitude, int sampleRate, int channels) {
    std::vector<std::string> args = {"-f",
                                     "lavfi",
                                     "-i",
                                     "anoisesrc=color=white:amplitude=" + std::to_string(amplitude) +
                                         ":sample_rate=" + std::to_string(sampleRate) +
                                         ":duration=" + std::to_string(seconds),
                                     "-ac",
                                     std::to_string(channels)};
    auto codec = CodecFor(path);
    args.insert(args.end(), codec.begin(), codec.end());
    args.push_back(path);
    return RunFfmpeg(args) && NonEmpty(path);
}

bool MakeVideo(const std::string& path, double seconds, bool withAudio) {
    std::string d = std::to_string(seconds);
    std::vector<std::string> args = {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=" + d};
    if (withAudio) {
        args.insert(args.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=" + d});
    }
    std::string ext = Extension(path);
    if (ext == ".mp4" || ext == ".mov" || ext == ".m4v" || ext == ".mkv") {
        args.insert(args.end(), {"-c:v", "mpeg4"});
        if (withAudio) args.insert(args.end(), {"-c:a", "aac"});
    } else if (ext == ".webm") {
        args.insert(args.end(), {"-c:v", "libvpx", "-b:v", "200k"});
        if (withAudio) args.insert(args.end(), {"-c:a", "libvorbis"});
    }
    if (withAudio) args.push_back("-shortest");
    args.push_back(path);
    return RunFfmpeg(args) && NonEmpty(path);
}

bool MakeMp3WithCover(const std::string& path, double seconds) {
    std::string d = std::to_string(seconds);
    return RunFfmpeg({"-f",
                      "lavfi",
                      "-i",
                      "sine=frequency=440:sample_rate=44100:duration=" + d,
                      "-f",
                      "lavfi",
                      "-i",
                      "testsrc=size=64x64:rate=1:duration=1",
                      "-frames:v",
                      "1",
                      "-map",
                      "0:a",
                      "-map",
                      "1:v",
                      "-c:a",
                      "libmp3lame",
                      "-b:a",
                      "128k",
                      "-c:v",
                      "mjpeg",
                      "-id3v2_version",
                      "3",
                      "-metadata:s:v",
                      "title=Album cover",
                      "-metadata:s:v",
                      "comment=Cover (front)",
                      "-disposition:v",
                      "attached_pic",
                      path}) &&
           NonEmpty(path);
}

double ProbeDurationSeconds(const std::string& path) {
    std::string v = ProbeEntry(path, "", "format=duration");
    if (v.empty() || v == "N/A") return -1;
    return std::atof(v.c_str());
}

int ProbeChannels(const std::string& path) {
    std::string v = ProbeEntry(path, "a:0", "stream=channels");
    return v.empty() ? -1 : std::atoi(v.c_str());
}

int ProbeSampleRate(const std::string& path) {
    std::string v = ProbeEntry(path, "a:0", "stream=sample_rate");
    return v.empty() ? -1 : std::atoi(v.c_str());
}

std::string ProbeCodec(const std::string& path) {
    return ProbeEntry(path, "a:0", "stream=codec_name");
}

int ProbeStreamCount(const std::string& path, const std::string& kind) {
    std::string out;
    if (!platform::RunProcessCapture({FfprobePath(), "-v", "error", "-select_streams", kind, "-show_entries",
                                      "stream=index", "-of", "csv=p=0", path},
                                     &out))
        return -1;
    out = Trim(out);
    if (out.empty()) return 0;
    int n = 1;
    for (char c : out)
        if (c == '\n') ++n;
    return n;
}

}  // namespace testsupport
