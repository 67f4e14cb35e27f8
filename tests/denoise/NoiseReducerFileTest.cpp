// Reduce on real files made with ffmpeg: formats read, the float WAV written, and bad paths.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "denoise/NoiseReducer.h"
#include "denoise/SoundFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

struct WavFormat {
    int tag = -1, channels = -1, rate = -1, bits = -1;
};

// Finds the "fmt " chunk wherever it is (the writer may add other chunks before the data).
WavFormat ReadFormat(const std::string& path) {
    WavFormat f;
    std::string bytes;
    if (!platform::ReadFileBytes(platform::FromUtf8(path), &bytes) || bytes.size() < 12) return f;
    if (bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return f;
    auto le = [&](size_t at, int n) {
        unsigned v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
        return v;
    };
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const unsigned size = le(pos + 4, 4);
        if (bytes.compare(pos, 4, "fmt ") == 0 && pos + 24 <= bytes.size()) {
            f.tag = int(le(pos + 8, 2));
            f.channels = int(le(pos + 10, 2));
            f.rate = int(le(pos + 12, 4));
            f.bits = int(le(pos + 22, 2));
            return f;
        }
        pos += 8 + size + (size & 1);
    }
    return f;
}

denoise::AudioBuffer Load(const std::string& path) {
    denoise::AudioBuffer a;
    EXPECT_TRUE(denoise::ReadAudioFile(platform::FromUtf8(path), &a)) << path;
    return a;
}

// Runs Reduce with the process's file size limited and exits: 0 when it reported failure and left no
// output, 1 when it claimed success, 2 when it left a file behind.
[[noreturn]] void ReduceWithFileSizeLimit(const std::wstring& in, const std::wstring& out, rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    limit.rlim_cur = bytes;
    limit.rlim_max = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
    NoiseReducer reducer;
    const bool reduced = reducer.Reduce(in, out, 0);
    std::exit(reduced ? 1 : (platform::PathExists(out) ? 2 : 0));
}

}  // namespace

TEST(NoiseReducerFiles, SixteenKilohertzMonoWavBecomesAFloatWavOfTheSameLength) {
    TempDir dir;
    const std::string in = dir.File("noisy.wav"), out = dir.File("clean.wav");
    ASSERT_TRUE(testsupport::MakeNoise(in, 1.5, 0.2, 16000, 1));
    NoiseReducer reducer;
    ASSERT_TRUE(reducer.Reduce(platform::FromUtf8(in), platform::FromUtf8(out), 1));
    const WavFormat f = ReadFormat(out);
    EXPECT_EQ(f.tag, 3);
    EXPECT_EQ(f.bits, 32);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.rate, 16000);
    EXPECT_EQ(testsupport::ProbeCodec(out), "pcm_f32le");

    // The file result is exactly the in-memory reduction of the decoded input.
    const auto source = Load(in);
    const auto result = Load(out);
    ASSERT_EQ(result.samples.size(), source.samples.size());
    std::vector<float> expected(source.samples.size());
    NoiseReducer again;
    again.SetLevel(1);
    ASSERT_TRUE(again.ReduceSamples(source.samples.data(), source.samples.size(), 16000, expected.data()));
    EXPECT_EQ(std::vector<float>(result.samples.data(), result.samples.data() + result.samples.size()),
              expected);
}

TEST(NoiseReducerFiles, Mp3AndStereoInputsKeepChannelsAndRate) {
    TempDir dir;
    const std::string mp3 = dir.File("tone.mp3"), wav = dir.File("tone22.wav");
    ASSERT_TRUE(testsupport::MakeTone(mp3, 1.0, 440, 44100, 2));
    ASSERT_TRUE(testsupport::MakeTone(wav, 1.0, 440, 22050, 2));
    NoiseReducer reducer;
    ASSERT_TRUE(reducer.Reduce(platform::FromUtf8(mp3), dir.WFile(L"mp3.wav"), 0));
    ASSERT_TRUE(reducer.Reduce(platform::FromUtf8(wav), dir.WFile(L"22.wav"), 2));
    EXPECT_EQ(reducer.Level(), 2);
    const WavFormat a = ReadFormat(dir.File("mp3.wav"));
    EXPECT_EQ(a.tag, 3);
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.rate, 44100);
    const WavFormat b = ReadFormat(dir.File("22.wav"));
    EXPECT_EQ(b.tag, 3);
    EXPECT_EQ(b.channels, 2);
    EXPECT_EQ(b.rate, 22050);
    EXPECT_EQ(Load(dir.File("22.wav")).samples.size(), Load(wav).samples.size());
    EXPECT_EQ(Load(dir.File("mp3.wav")).samples.size(), Load(mp3).samples.size());
}

TEST(NoiseReducerFiles, EmptyAndShortInputsGiveValidOutputsOfTheirLength) {
    TempDir dir;
    ASSERT_TRUE(denoise::WriteFloatWav(dir.WFile(L"empty.wav"), nullptr, 0, 1, 16000));
    std::vector<float> shortInput(100, 0.25f);
    ASSERT_TRUE(denoise::WriteFloatWav(dir.WFile(L"short.wav"), shortInput.data(), 100, 1, 16000));
    NoiseReducer reducer;
    ASSERT_TRUE(reducer.Reduce(dir.WFile(L"empty.wav"), dir.WFile(L"empty-out.wav"), 0));
    ASSERT_TRUE(reducer.Reduce(dir.WFile(L"short.wav"), dir.WFile(L"short-out.wav"), 0));
    EXPECT_EQ(ReadFormat(dir.File("empty-out.wav")).tag, 3);
    EXPECT_TRUE(Load(dir.File("empty-out.wav")).samples.empty());
    EXPECT_EQ(Load(dir.File("short-out.wav")).samples.size(), 100u);
}

TEST(NoiseReducerFiles, BadInputsAndUnwritableOutputsFailWithoutWriting) {
    TempDir dir;
    const std::wstring out = dir.WFile(L"out.wav");
    NoiseReducer reducer;
    EXPECT_FALSE(reducer.Reduce(L"", out, 0));
    EXPECT_FALSE(reducer.Reduce(dir.WFile(L"missing.wav"), out, 0));
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"text.wav"), "this is not audio at all, just text\n"));
    EXPECT_FALSE(reducer.Reduce(dir.WFile(L"text.wav"), out, 0));
    EXPECT_FALSE(reducer.Reduce(dir.WPath(), out, 0));  // a folder
    EXPECT_FALSE(platform::PathExists(out));

    const std::string in = dir.File("in.wav");
    ASSERT_TRUE(testsupport::MakeNoise(in, 0.5, 0.2, 16000, 1));
    EXPECT_FALSE(reducer.Reduce(platform::FromUtf8(in), L"", 0));
    EXPECT_FALSE(reducer.Reduce(platform::FromUtf8(in), dir.WFile(L"no/such/folder/out.wav"), 0));
    EXPECT_FALSE(reducer.Reduce(platform::FromUtf8(in), dir.WPath(), 0));  // output is a folder
    EXPECT_TRUE(platform::IsFolder(dir.WPath()));
    EXPECT_GT(platform::FileSize(platform::FromUtf8(in)), 0);  // the input is untouched
}

TEST(NoiseReducerFiles, AWriteThatFailsHalfwayReportsFailureAndLeavesNoFile) {
    TempDir dir;
    const std::string in = dir.File("in.wav");
    const std::wstring out = dir.WFile(L"out.wav");
    ASSERT_TRUE(testsupport::MakeNoise(in, 1.0, 0.2, 16000, 1));  // 64 kB of float output
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // In a child process limited to 20 kB per file, the write runs out of room part way.
    EXPECT_EXIT(ReduceWithFileSizeLimit(platform::FromUtf8(in), out, 20000), ::testing::ExitedWithCode(0),
                "");
}

TEST(NoiseReducerFiles, AwkwardFileNamesWork) {
    TempDir dir;
    const std::string in = dir.File("-in #1 'quote\" ü.wav");
    ASSERT_TRUE(testsupport::MakeNoise(in, 0.5, 0.2, 16000, 1));
    for (const std::wstring& name :
         {std::wstring(L"-out.wav"), std::wstring(L"a b #'\"ü 噪声.wav"), std::wstring(L"-")}) {
        NoiseReducer reducer;
        EXPECT_TRUE(reducer.Reduce(platform::FromUtf8(in), dir.WFile(name), 0)) << platform::ToUtf8(name);
        EXPECT_EQ(ReadFormat(dir.File(platform::ToUtf8(name))).tag, 3) << platform::ToUtf8(name);
    }
}
