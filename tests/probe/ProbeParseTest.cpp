// The probe's own parsing: ffprobe's report, ADTS frame headers, sizes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/Common.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

TEST(ProbeText, DurationAndBitRate) {
    uint32_t ms = 1;
    int32_t bps = 1;
    CCommon::OnParseProbeText(
        "Input #0, mp3, from 'x.mp3':\n  Duration: 00:03:25.47, start: 0.025057, bitrate: 128 kb/s\n"
        "  Stream #0:0: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s\n",
        ms, bps);
    EXPECT_EQ(ms, 205470u);
    EXPECT_EQ(bps, 128000);
}

TEST(ProbeText, NotAvailableDurationGivesZeroAndMissingFieldsStayUnchanged) {
    uint32_t ms = 77;
    int32_t bps = 55;
    CCommon::OnParseProbeText("  Duration: N/A, start: 0.000000, bitrate: N/A\n", ms, bps);
    EXPECT_EQ(ms, 0u);   // no colon: hours, minutes and seconds all 0
    EXPECT_EQ(bps, 55);  // no "kb/s": left alone
    ms = 77;
    CCommon::OnParseProbeText("x.mp3: No such file or directory\n", ms, bps);
    EXPECT_EQ(ms, 77u);
    EXPECT_EQ(bps, 55);
    CCommon::OnParseProbeText("", ms, bps);
    EXPECT_EQ(ms, 77u);
}

TEST(ProbeText, BitRateIsOnlyLookedForAfterTheDuration) {
    uint32_t ms = 0;
    int32_t bps = 0;
    CCommon::OnParseProbeText("bitrate: 64 kb/s\n  Duration: 01:00:00.00, start: 0, bitrate: 1411 kb/s", ms,
                              bps);
    EXPECT_EQ(ms, 3600000u);
    EXPECT_EQ(bps, 1411000);
}

// ---- ADTS -----------------------------------------------------------------------------------

// One ADTS frame of `length` bytes (header included) with the given frequency index.
std::string Frame(size_t length, int freqIndex) {
    std::string f(length, '\0');
    f[0] = static_cast<char>(0xFF);
    f[1] = static_cast<char>(0xF1);  // MPEG-4, layer 0, no CRC
    f[2] = static_cast<char>((1 << 6) | (freqIndex << 2));
    f[3] = static_cast<char>((2 << 6) | ((length >> 11) & 0x03));
    f[4] = static_cast<char>((length >> 3) & 0xFF);
    f[5] = static_cast<char>(((length & 0x07) << 5) | 0x1F);
    f[6] = static_cast<char>(0xFC);
    for (size_t i = 7; i < length; ++i) f[i] = static_cast<char>(i * 31 + length);
    return f;
}

class Adts : public ::testing::Test {
protected:
    std::wstring Write(const std::string& bytes, const std::wstring& name = L"s.aac") {
        std::wstring path = dir_.WFile(name);
        EXPECT_TRUE(platform::WriteFileBytes(path, bytes));
        return path;
    }
    testsupport::TempDir dir_;
};

TEST_F(Adts, FramesAcrossBufferRefillsAt44100) {
    // 431 frames of varying length (about 86 KB, well past the 49,152-byte buffer).
    std::string bytes;
    uint64_t total = 0;
    for (int i = 0; i < 431; ++i) {
        size_t len = 150 + static_cast<size_t>((i * 37) % 101);
        total += len;
        bytes += Frame(len, 4);
    }
    int32_t bps = -1;
    EXPECT_EQ(CCommon::OnParseAdtsLength(Write(bytes), bps), 10000u);  // truncate(431 / 43.06640625) = 10 s
    float b = static_cast<float>(total) / static_cast<float>(431 * 1000);
    float f = 44100.0f / 1024.0f;
    EXPECT_EQ(bps, static_cast<int32_t>(static_cast<long long>(8.0 * b * f + 0.5) * 1000));
}

TEST_F(Adts, ReservedFrequencyIndexGivesOneSecond) {
    std::string bytes;
    for (int i = 0; i < 50; ++i) bytes += Frame(200, 13);
    int32_t bps = -1;
    EXPECT_EQ(CCommon::OnParseAdtsLength(Write(bytes), bps), 1000u);
    EXPECT_EQ(bps, 0);
}

TEST_F(Adts, TrailingTagEndsTheStreamAndCutFrameIsNotCounted) {
    std::string frames;
    for (int i = 0; i < 87; ++i) frames += Frame(300, 3);  // 48 kHz: 46.875 frames per second
    int32_t bps = 0;
    // 87 frames: 1.856 s → 1 s. Then an ID3v1 tag, which must not be read as frames.
    EXPECT_EQ(CCommon::OnParseAdtsLength(Write(frames + "TAG" + std::string(125, 'x'), L"t.aac"), bps),
              1000u);
    // 93 whole frames give 1.98 s → 1 s; a 94th frame cut short is not counted (it would make 2 s).
    std::string whole;
    for (int i = 0; i < 94; ++i) whole += Frame(300, 3);
    std::string cut = whole.substr(0, 300 * 93) + Frame(300, 3).substr(0, 120);
    EXPECT_EQ(CCommon::OnParseAdtsLength(Write(cut, L"c.aac"), bps), 1000u);
    for (const char* tag : {"APETAGEX", "LYRICSBEGIN"}) {
        EXPECT_EQ(CCommon::OnParseAdtsLength(Write(whole + tag + std::string(40, 'y'), L"a.aac"), bps),
                  2000u);
    }
}

TEST_F(Adts, ZeroLengthFrameEndsTheScan) {
    std::string bytes;
    for (int i = 0; i < 50; ++i) bytes += Frame(200, 4);
    std::string zero = Frame(200, 4);
    zero[3] = static_cast<char>(zero[3] & ~0x03);
    zero[4] = 0;
    zero[5] = static_cast<char>(zero[5] & 0x1F);
    int32_t bps = 0;
    EXPECT_EQ(CCommon::OnParseAdtsLength(Write(bytes + zero + bytes), bps), 1000u);  // 50 frames: 1.16 s
}

TEST_F(Adts, NotAdtsGivesZeroAndLeavesTheBitRate) {
    int32_t bps = 42;
    EXPECT_EQ(CCommon::OnParseAdtsLength(Write("RIFF....WAVEfmt "), bps), 0u);
    EXPECT_EQ(CCommon::OnParseAdtsLength(Write(""), bps), 0u);
    EXPECT_EQ(CCommon::OnParseAdtsLength(Write("\xFF"), bps), 0u);
    EXPECT_EQ(CCommon::OnParseAdtsLength(dir_.WFile(L"missing.aac"), bps), 0u);
    EXPECT_EQ(CCommon::OnParseAdtsLength(dir_.WPath(), bps), 0u);  // a folder
    EXPECT_EQ(bps, 42);
}

// ---- Sizes ---------------------------------------------------------------------------------------

TEST(FileSizeText, Units) {
    auto text = [](uint64_t size) {
        std::wstring t = L"unchanged";
        CCommon::OnFormatFileSize(size, t);
        return t;
    };
    EXPECT_EQ(text(1048576), L"1.00 MB");
    EXPECT_EQ(text(1048575), L"1024.00 KB");
    EXPECT_EQ(text(100), L"0.10 KB");
    EXPECT_EQ(text(1073741824ULL), L"1.00 GB");
    EXPECT_EQ(text(5ULL * 1073741824ULL + 536870912ULL), L"5.50 GB");
    EXPECT_EQ(text(0), L"unchanged");
}

TEST(FileSize, ReadableRegularFilesOnly) {
    testsupport::TempDir dir;
    std::wstring file = dir.WFile(L"a \"b\" 中文.bin");
    ASSERT_TRUE(platform::WriteFileBytes(file, "12345"));
    EXPECT_EQ(CCommon::OnGetFileSize(file), 5u);
    EXPECT_EQ(CCommon::OnGetFileSize(dir.WFile(L"missing")), 0u);
    EXPECT_EQ(CCommon::OnGetFileSize(dir.WPath()), 0u);
    EXPECT_EQ(CCommon::OnGetFileSize(L""), 0u);
    if (::geteuid() != 0) {  // root reads everything
        ::chmod(platform::ToUtf8(file).c_str(), 0);
        EXPECT_EQ(CCommon::OnGetFileSize(file), 0u);
        ::chmod(platform::ToUtf8(file).c_str(), 0644);
    }
}

}  // namespace
