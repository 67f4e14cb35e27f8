// The preview player against the real libvlc (dummy audio and video outputs) on generated media.
// Events are awaited with bounded condition waits.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "player/VlcKeeper.h"
#include "support/TestSupport.h"
#include "ui/AVPlayer.h"

namespace {

const std::vector<std::string> kDummyArgs = {"--aout=dummy", "--vout=dummy", "--no-xlib", "-q"};

// Counts the player's events; the callbacks only count and signal, as the library requires.
struct EventLog {
    std::mutex mutex;
    std::condition_variable changed;
    int playing = 0;
    int position = 0;
    int ended = 0;
    CAVPlayer* lastPlayer = nullptr;

    void Attach(CAVPlayer& player) {
        player.SetCallbackPlaying([this](CAVPlayer* p) { Count(&playing, p); });
        player.SetCallbackPosChanged([this](CAVPlayer* p) { Count(&position, p); });
        player.SetCallbackEndReached([this](CAVPlayer* p) { Count(&ended, p); });
    }
    void Count(int* counter, CAVPlayer* p) {
        std::lock_guard<std::mutex> lock(mutex);
        ++*counter;
        lastPlayer = p;
        changed.notify_all();
    }
    // Waits until `pred` holds (at most `ms`).
    template <class Pred>
    bool WaitFor(Pred pred, int ms = 10000) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(ms), pred);
    }
    int Total() {
        std::lock_guard<std::mutex> lock(mutex);
        return playing + position + ended;
    }
};

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (testsupport::FfmpegPath().empty()) GTEST_SKIP() << "ffmpeg not installed";
        tone10 = dir.File("tone 10s #1.mp3");
        tone3 = dir.File("tone3.wav");
        ASSERT_TRUE(testsupport::MakeTone(tone10, 10.0));
        ASSERT_TRUE(testsupport::MakeTone(tone3, 3.0));
    }
    testsupport::TempDir dir;
    std::string tone10;
    std::string tone3;
};

TEST_F(PlayerTest, OpenPlaysAndRaisesPlayingAndPositionEvents) {
    CAVPlayer player;
    player.SetInstanceArgs(kDummyArgs);
    EventLog log;
    log.Attach(player);
    EXPECT_FALSE(player.HasMedia());
    EXPECT_EQ(player.GetPos(), 0);
    EXPECT_EQ(player.GetTime(), 0);

    ASSERT_TRUE(player.Open(tone10));
    EXPECT_TRUE(player.HasMedia());
    ASSERT_TRUE(log.WaitFor([&] { return log.playing >= 1 && log.position >= 1; }));
    EXPECT_EQ(log.lastPlayer, &player);
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_NEAR(player.GetTotalTime(), 10000, 300);
}

TEST_F(PlayerTest, SetPositionInPercentAndReadInThousandths) {
    CAVPlayer player;
    player.SetInstanceArgs(kDummyArgs);
    EventLog log;
    log.Attach(player);
    ASSERT_TRUE(player.Open(tone10));
    ASSERT_TRUE(log.WaitFor([&] { return log.playing >= 1; }));
    player.Pause();

    player.SetPos(50);
    EXPECT_NEAR(player.GetPos(), 500, 30);
    // Out-of-range percents are ignored: the position stays where it was.
    player.SetPos(101);
    EXPECT_NEAR(player.GetPos(), 500, 30);
    player.SetPos(-1);
    EXPECT_NEAR(player.GetPos(), 500, 30);
    player.SetPos(0);
    EXPECT_LE(player.GetPos(), 30);
}

TEST_F(PlayerTest, VolumeIsScaledForTheLibrary) {
    CAVPlayer player;
    // Without an audio output the library keeps the volume it was given.
    player.SetInstanceArgs({"--no-audio", "--vout=dummy", "--no-xlib", "-q"});
    EventLog log;
    log.Attach(player);
    ASSERT_TRUE(player.Open(tone10));
    ASSERT_TRUE(log.WaitFor([&] { return log.playing >= 1; }));
    player.Volume(100);
    EXPECT_EQ(player.GetLibraryVolume(), 130);
    player.Volume(0);
    EXPECT_EQ(player.GetLibraryVolume(), 0);
    player.Volume(50);
    player.Volume(-5);
    EXPECT_EQ(player.GetLibraryVolume(), 65);
}

TEST_F(PlayerTest, SecondOpenReplacesTheFirstAndItsEventsStop) {
    CAVPlayer player;
    player.SetInstanceArgs(kDummyArgs);
    EventLog log;
    log.Attach(player);
    ASSERT_TRUE(player.Open(tone10));
    ASSERT_TRUE(log.WaitFor([&] { return log.position >= 1; }));
    ASSERT_TRUE(player.Open(tone3));
    EXPECT_TRUE(log.WaitFor([&] { return player.GetTotalTime() > 0; }, 3000) || player.GetTotalTime() > 0);
    EXPECT_NEAR(player.GetTotalTime(), 3000, 300);

    // After close nothing more arrives (the library's stop joins its threads).
    player.Close();
    EXPECT_FALSE(player.HasMedia());
    EXPECT_TRUE(player.HasInstance());
    const int before = log.Total();
    EXPECT_FALSE(log.WaitFor([&] { return log.playing + log.position + log.ended != before; }, 500));
    // Without media every operation is a quiet no-op.
    player.Play();
    player.SetPos(50);
    player.Volume(10);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.GetPos(), 0);
    EXPECT_EQ(player.GetTotalTime(), 0);
}

TEST_F(PlayerTest, EndReachedArrives) {
    CAVPlayer player;
    player.SetInstanceArgs(kDummyArgs);
    EventLog log;
    log.Attach(player);
    ASSERT_TRUE(player.Open(tone3));
    player.SetRate(4.0f);
    ASSERT_TRUE(log.WaitFor([&] { return log.ended >= 1; }, 15000));
    // End of media does not close the player; opening again plays from the start.
    EXPECT_TRUE(player.HasMedia());
    ASSERT_TRUE(player.Open(tone3));
    EXPECT_TRUE(log.WaitFor([&] { return log.playing >= 2; }));
}

TEST_F(PlayerTest, UnplayableFileFailsOpenAndKeepsTheInstance) {
    CAVPlayer player;
    player.SetInstanceArgs(kDummyArgs);
    ASSERT_TRUE(player.Open(tone3));
    EXPECT_TRUE(player.HasInstance());

    const std::string junk = dir.File("not audio.mp3");
    {
        std::ofstream out(junk, std::ios::binary);
        for (int i = 0; i < 200; ++i) out << "plain text, not a media file\n";
    }
    EXPECT_FALSE(player.Open(junk));
    EXPECT_FALSE(player.HasMedia());
    EXPECT_TRUE(player.HasInstance());
    EXPECT_FALSE(player.Open(dir.File("missing.mp3")));
    EXPECT_FALSE(player.Open(""));
    EXPECT_TRUE(player.HasInstance());
    // The instance still serves a good file.
    EXPECT_TRUE(player.Open(tone3));
    player.Release();
    EXPECT_FALSE(player.HasInstance());
    EXPECT_FALSE(player.HasMedia());
}

}  // namespace
