// The reducer's file streams: reading in pieces that split frames, reading twice, the float WAV
// writer's accounting, and an output that names the input.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "denoise/NoiseReducer.h"
#include "denoise/SoundFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

// Every value of `reader` read `chunk` values at a time.
std::vector<float> ReadInChunks(denoise::AudioFileReader* reader, size_t chunk) {
    std::vector<float> all, piece(chunk);
    while (true) {
        const int64_t got = reader->Read(piece.data(), chunk);
        EXPECT_GE(got, 0);
        if (got <= 0) break;
        all.insert(all.end(), piece.begin(), piece.begin() + got);
        if (static_cast<size_t>(got) < chunk) break;
    }
    return all;
}

}  // namespace

TEST(SoundFileStreams, ReadsThatSplitFramesGiveTheSameValuesAgainAndAgain) {
    TempDir dir;
    for (int channels : {2, 6}) {
        const std::string path = dir.File("multi" + std::to_string(channels) + ".wav");
        ASSERT_TRUE(testsupport::MakeNoise(path, 0.3, 0.4, 22050, channels));
        denoise::AudioBuffer whole;
        ASSERT_TRUE(denoise::ReadAudioFile(platform::FromUtf8(path), &whole));
        ASSERT_EQ(whole.channels, unsigned(channels));
        ASSERT_EQ(whole.samples.size() % channels, 0u);
        ASSERT_GT(whole.samples.size(), 1000u);

        denoise::AudioFileReader reader;
        ASSERT_TRUE(reader.Open(platform::FromUtf8(path)));
        for (size_t chunk : {size_t(1), size_t(5), size_t(7), size_t(442), size_t(65536)}) {
            EXPECT_EQ(ReadInChunks(&reader, chunk), whole.samples)
                << channels << " channels, chunk " << chunk;
            EXPECT_EQ(reader.Read(nullptr, 0), 0);
            ASSERT_TRUE(reader.Restart());
        }
    }
}

TEST(SoundFileStreams, ASecondReadingOfAReplacedFileIsRefused) {
    TempDir dir;
    const std::string path = dir.File("in.wav"), other = dir.File("other.wav");
    ASSERT_TRUE(testsupport::MakeNoise(path, 0.2, 0.3, 16000, 1));
    ASSERT_TRUE(testsupport::MakeNoise(other, 0.2, 0.3, 16000, 1));
    denoise::AudioFileReader reader;
    ASSERT_TRUE(reader.Open(platform::FromUtf8(path)));
    ASSERT_EQ(::rename(other.c_str(), path.c_str()), 0);
    EXPECT_FALSE(reader.Restart());
    float value = 0;
    EXPECT_EQ(reader.Read(&value, 1), -1);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    EXPECT_FALSE(reader.Restart());
}

TEST(SoundFileStreams, TheWriterKeepsOnlyACompleteFile) {
    TempDir dir;
    const std::vector<float> values = {0.5f, -0.25f, 0.125f, 1.0f, -1.0f, 0.0f};
    const std::wstring whole = dir.WFile(L"whole.wav");
    {
        denoise::FloatWavWriter writer;
        ASSERT_TRUE(writer.Open(whole, 2, 8000, values.size()));
        ASSERT_TRUE(writer.Write(values.data(), 1));  // pieces need not be whole frames
        ASSERT_TRUE(writer.Write(values.data() + 1, values.size() - 1));
        EXPECT_FALSE(writer.Write(values.data(), 1));  // more than announced
        EXPECT_FALSE(writer.Finish());
    }
    EXPECT_FALSE(platform::PathExists(whole));
    {
        denoise::FloatWavWriter writer;
        ASSERT_TRUE(writer.Open(whole, 2, 8000, values.size()));
        ASSERT_TRUE(writer.Write(values.data(), 4));
    }  // dropped before the end: removed
    EXPECT_FALSE(platform::PathExists(whole));
    {
        denoise::FloatWavWriter writer;
        EXPECT_FALSE(writer.Open(whole, 2, 8000, 5));                  // not whole frames
        EXPECT_FALSE(writer.Open(whole, 1, 8000, uint64_t(1) << 31));  // past 4 GiB of data
        ASSERT_TRUE(writer.Open(whole, 2, 8000, values.size()));
        ASSERT_TRUE(writer.Write(values.data(), values.size()));
        EXPECT_TRUE(writer.Finish());
    }
    denoise::AudioBuffer back;
    ASSERT_TRUE(denoise::ReadAudioFile(whole, &back));
    EXPECT_EQ(back.samples, values);
    EXPECT_EQ(back.channels, 2u);
    EXPECT_EQ(back.sampleRate, 8000u);
    EXPECT_EQ(testsupport::ProbeCodec(dir.File("whole.wav")), "pcm_f32le");
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(dir.File("whole.wav")), 3.0 / 8000, 1e-4);
}

TEST(SoundFileStreams, AnOutputThatIsTheInputIsRefusedAndTheInputKept) {
    TempDir dir;
    const std::string in = dir.File("in put.wav");
    ASSERT_TRUE(testsupport::MakeNoise(in, 0.5, 0.2, 16000, 1));
    std::string before, after;
    ASSERT_TRUE(platform::ReadFileBytes(platform::FromUtf8(in), &before));
    ASSERT_EQ(::link(in.c_str(), dir.File("hard.wav").c_str()), 0);
    ASSERT_EQ(::symlink(in.c_str(), dir.File("soft.wav").c_str()), 0);
    NoiseReducer reducer;
    for (const std::string& out :
         {in, dir.File("hard.wav"), dir.File("soft.wav"), dir.File("./in put.wav")}) {
        EXPECT_FALSE(reducer.Reduce(platform::FromUtf8(in), platform::FromUtf8(out), 0)) << out;
    }
    ASSERT_TRUE(platform::ReadFileBytes(platform::FromUtf8(in), &after));
    EXPECT_EQ(after, before);
    EXPECT_TRUE(reducer.Reduce(platform::FromUtf8(in), dir.WFile(L"out.wav"), 0));
}
