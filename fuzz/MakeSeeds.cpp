// Writes the seed corpus of every fuzz target into FOLDER/<target>/: small valid inputs made here
// (WAV headers, ADTS frames, layouts, reports, presets), plus an MP3 and a raw AAC stream made with
// ffmpeg when it is installed. Usage: tw_fuzz_seeds FOLDER
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tests/support/WavBytes.h"

namespace {

std::string Wav(int tag, unsigned channels, unsigned rate, int bits, size_t frames) {
    std::string data;
    for (size_t i = 0; i < frames * channels; ++i) {
        const double v = 0.5 * std::sin(0.1 * double(i));
        if (tag == 3) {
            const float f = static_cast<float>(v);
            data.append(reinterpret_cast<const char*>(&f), 4);
        } else if (bits == 8) {
            data.push_back(static_cast<char>(128 + std::lround(v * 127)));
        } else {
            testsupport::PutLe(&data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767))), 2);
        }
    }
    return testsupport::WavBytes(tag, channels, rate, bits, data);
}

// An ADTS frame header (no CRC) for `payload` bytes of zeros at sampling-frequency index 4 (44.1 kHz).
std::string AdtsFrame(size_t payload) {
    const size_t length = 7 + payload;
    std::string f;
    f.push_back(static_cast<char>(0xFF));
    f.push_back(static_cast<char>(0xF1));
    f.push_back(static_cast<char>((1 << 6) | (4 << 2)));  // AAC LC, 44.1 kHz
    f.push_back(static_cast<char>((2 << 6) | ((length >> 11) & 3)));
    f.push_back(static_cast<char>((length >> 3) & 0xFF));
    f.push_back(static_cast<char>(((length & 7) << 5) | 0x1F));
    f.push_back(static_cast<char>(0xFC));
    return f + std::string(payload, '\0');
}

bool Put(const std::string& folder, const std::string& name, const std::string& bytes) {
    ::mkdir(folder.c_str(), 0755);
    return platform::WriteFileBytes(platform::FromUtf8(folder + "/" + name), bytes);
}

// Runs ffmpeg to make a small file and copies it into the corpus; skipped without ffmpeg.
void FromFfmpeg(const std::string& folder, const std::string& name, const std::vector<std::string>& codec) {
    const std::string ffmpeg = platform::FindExecutable("ffmpeg");
    if (ffmpeg.empty()) return;
    ::mkdir(folder.c_str(), 0755);
    std::vector<std::string> argv = {
        ffmpeg,  "-hide_banner", "-loglevel",
        "error", "-y",           "-f",
        "lavfi", "-i",           "sine=frequency=440:duration=0.15:sample_rate=22050"};
    argv.insert(argv.end(), codec.begin(), codec.end());
    argv.push_back(folder + "/" + name);
    int code = -1;
    platform::RunProcess(argv, &code);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tw_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::string root = argv[1];
    ::mkdir(root.c_str(), 0755);
    bool ok = true;

    const std::string reader = root + "/denoise_reader";
    ok &= Put(reader, "pcm16-mono-16k.wav", Wav(1, 1, 16000, 16, 400));
    ok &= Put(reader, "float-stereo-44k.wav", Wav(3, 2, 44100, 32, 300));
    ok &= Put(reader, "pcm8-mono-8k.wav", Wav(1, 1, 8000, 8, 200));
    ok &= Put(reader, "empty.wav", Wav(1, 1, 16000, 16, 0));
    FromFfmpeg(reader, "tone.mp3", {"-c:a", "libmp3lame", "-b:a", "32k"});

    std::string adts;
    for (int i = 0; i < 5; ++i) adts += AdtsFrame(20 + i);
    for (const std::string& target : {root + "/adts_length", root + "/aac_decode"}) {
        ok &= Put(target, "frames.aac", adts);
        std::string id3 = "ID3";
        id3 += std::string("\x04\x00\x00\x00\x00\x00\x05", 7);
        ok &= Put(target, "id3-frames.aac", id3 + "12345" + adts);
        ok &= Put(target, "adif.aac", "ADIF" + std::string(40, '\0'));
        FromFfmpeg(target, "tone.aac", {"-c:a", "aac", "-b:a", "32k", "-f", "adts"});
    }

    const std::string probe = root + "/probe_text";
    ok &= Put(probe, "report.txt",
              "Input #0, mp3, from 'a.mp3':\n  Duration: 00:03:25.47, start: 0.025057, bitrate: 128 kb/s\n"
              "  Stream #0:0: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s\n");
    ok &= Put(probe, "na.txt", "  Duration: N/A, bitrate: N/A\n");

    const std::string time = root + "/time_code";
    for (const char* text : {"00:01:02.345", "1:2:3", "99:59:59.999", "12:34", "-1:-2:-3.5"}) {
        ok &= Put(time, std::string("t") + std::to_string(std::string(text).size()) + ".txt", text);
    }

    const std::string skin = root + "/skin_builder";
    ok &= Put(skin, "window.xml",
              "<Window size=\"300,200\" caption=\"0,0,0,30\"><Font id=\"0\" name=\"Noto Sans\" size=\"12\"/>"
              "<VerticalLayout bkcolor=\"#FFF0F0F0\" inset=\"4,4,4,4\"><Button name=\"b\" pos=\"1,2,30,40\" "
              "float=\"true\" normalimage=\"file='a.png' source='0,0,10,10' corner='1,1,1,1'\" text=\"OK\"/>"
              "<Combo><Item text=\"一 般\" selected=\"true\"/></Combo><Progress value=\"30\"/>"
              "</VerticalLayout></Window>");
    ok &= Put(skin, "attr-pos.txt", std::string("\x00", 1) + "10,20,30,40");
    ok &= Put(skin, "attr-colour.txt", std::string("\x01", 1) + "#FF112233");
    ok &= Put(skin, "attr-image.txt", std::string("\x03", 1) + "file='x.png' dest='0,0,5,5' fade='128'");

    const std::string presets = root + "/presets";
    ok &=
        Put(presets, "format.cfg", "MP3|High|320kb/s,MP3|CBR|pcm_s16le|0#WAV|Studio|48000,WAV||pcm_s24le|2#");
    ok &= Put(presets, "four-bars.cfg", "MP3|a|b|c|pcm_s16le|1#OGG|d|e|f#");
    return ok ? 0 : 1;
}
