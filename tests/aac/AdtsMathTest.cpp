// The arithmetic of the ADTS walk and the ID3v2 size, without any file.
#include <gtest/gtest.h>

#include "engine/AacBridge.h"

TEST(AdtsMath, SampleRateTable) {
    EXPECT_EQ(aac::AdtsSampleRate(0), 96000u);
    EXPECT_EQ(aac::AdtsSampleRate(3), 48000u);
    EXPECT_EQ(aac::AdtsSampleRate(4), 44100u);
    EXPECT_EQ(aac::AdtsSampleRate(8), 16000u);
    EXPECT_EQ(aac::AdtsSampleRate(11), 8000u);
    EXPECT_EQ(aac::AdtsSampleRate(12), 7350u);
    EXPECT_EQ(aac::AdtsSampleRate(13), 0u);
    EXPECT_EQ(aac::AdtsSampleRate(99), 0u);
}

TEST(AdtsMath, DurationAndBitRate) {
    aac::AdtsSummary s;
    s.sampleRate = 44100;
    s.frames = 431;
    s.bytes = 431 * 372;
    aac::FinishAdtsSummary(&s);
    EXPECT_NEAR(s.seconds, 431 * 1024.0 / 44100, 1e-9);
    EXPECT_EQ(s.kbitPerSecond, 128);  // 0.372 × 8 × 43.07 = 128.2

    aac::AdtsSummary none;
    none.sampleRate = 48000;
    aac::FinishAdtsSummary(&none);
    EXPECT_EQ(none.seconds, 0.0);
    EXPECT_EQ(none.kbitPerSecond, 0);

    aac::AdtsSummary noRate;
    noRate.frames = 10;
    noRate.bytes = 3000;
    aac::FinishAdtsSummary(&noRate);
    EXPECT_EQ(noRate.seconds, 1.0);  // unknown rate
}

TEST(AdtsMath, Id3v2SizeIsSyncSafePlusHeader) {
    const unsigned char tag[10] = {'I', 'D', '3', 4, 0, 0, 0, 0, 2, 1};
    EXPECT_EQ(aac::Id3v2TagSize(tag, sizeof(tag)), 2u * 128 + 1 + 10);
    const unsigned char big[10] = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    EXPECT_EQ(aac::Id3v2TagSize(big, sizeof(big)), (1u << 28) - 1 + 10);
    const unsigned char adts[10] = {0xFF, 0xF1, 0x50, 0x80, 0, 0x1F, 0xFC, 0, 0, 0};
    EXPECT_EQ(aac::Id3v2TagSize(adts, sizeof(adts)), 0u);
    EXPECT_EQ(aac::Id3v2TagSize(tag, 9), 0u);  // too short to hold the header
    EXPECT_EQ(aac::Id3v2TagSize(nullptr, 10), 0u);
}
