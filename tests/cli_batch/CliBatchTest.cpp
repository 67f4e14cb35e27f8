// The eight batch tools of tonewright-cli end to end: exit codes, usage errors, one report line per
// output row, and the files written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

struct Result {
    int code = -1;
    std::string out;  // standard output
    std::string err;  // standard error
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        size_t from = 0;
        while (from < out.size()) {
            size_t nl = out.find('\n', from);
            if (nl == std::string::npos) nl = out.size();
            lines.push_back(out.substr(from, nl - from));
            from = nl + 1;
        }
        return lines;
    }
};

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t from = 0;
    for (;;) {
        const size_t tab = line.find('\t', from);
        fields.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) break;
        from = tab + 1;
    }
    return fields;
}

bool Near(double value, double expected, double tolerance) {
    return value > expected - tolerance && value < expected + tolerance;
}

class CliBatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CACHE_HOME", (dir_.Path() + "cache").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_.Path() + "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir_.Path() + "state").c_str(), 1);
        platform::CreateFolders(platform::FromUtf8(dir_.Path() + "in"));
    }
    std::string In(const std::string& name) const { return dir_.Path() + "in/" + name; }
    std::string Out(const std::string& name) const { return dir_.Path() + "out/" + name; }

    // Runs the program with standard error sent to a file of its own.
    Result Cli(std::vector<std::string> args) {
        const std::string errFile = dir_.Path() + "stderr.txt";
        std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>\"$ERRFILE\"", TW_CLI_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        ::setenv("ERRFILE", errFile.c_str(), 1);
        Result r;
        platform::RunProcessCapture(argv, &r.out, &r.code, 100);
        platform::ReadFileBytes(platform::FromUtf8(errFile), &r.err);
        return r;
    }

    TempDir dir_;
};

}  // namespace

TEST_F(CliBatchTest, UsageErrorsNameTheValidChoicesAndExitWithTwo) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"convert"}, "no files given"},
        {{"convert", "--to", "wma", "a.wav"}, "mp3, wav, flac, aac, ogg"},
        {{"convert", "--preset", "no such", "a.wav"}, "高音质"},
        {{"convert", "--quality", "100kb/s", "a.wav"}, "128kb/s"},
        {{"convert", "--wav-bits", "12", "a.wav"}, "8, 16, 24, 32"},
        {{"speed", "--factor", "1.1", "a.wav"}, "0.5, 0.75, 1.0, 1.25, 1.5, 1.75, 2.0"},
        {{"volume", "--factor", "1.0", "a.wav"}, "0.25, 0.5, 0.75, 1.5, 2.0, 2.5, 3.0"},
        {{"volume", "a.wav", "--factor"}, "missing value for --factor"},
        {{"noise", "--level", "3", "a.wav"}, "0, 1, 2"},
        {{"noise", "--to", "ogg", "a.wav"}, "wav, mp3"},
        {{"cut", "--start", "1", "a.wav"}, "--start and --end"},
        {{"cut", "--start", "x1", "--end", "2", "a.wav"}, "1:30"},
        {{"split", "--parts", "11", "a.wav"}, "2, 3, ... 10"},
        {{"split", "a.wav"}, "--parts or --length"},
        {{"bgm", "a.wav"}, "--music"},
        {{"merge", "--frob", "a.wav"}, "unknown option --frob"},
    };
    for (const Case& c : cases) {
        Result r = Cli(c.args);
        EXPECT_EQ(r.code, 2) << c.args[0] << " " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CliBatchTest, ConvertReportsEveryRowAndGoesOnAfterAMissingFile) {
    ASSERT_TRUE(testsupport::MakeTone(In("tone.wav"), 1.0));
    ASSERT_TRUE(testsupport::MakeTone(In("b.flac"), 1.0));
    // Options after the files; a missing file fails alone.
    Result r = Cli({"convert", In("tone.wav"), In("missing.wav"), In("b.flac"), "--to", "wav", "--wav-bits",
                    "8", "--channels", "mono", "--out", Out("")});
    EXPECT_EQ(r.code, 1) << r.err;
    const auto lines = r.Lines();
    ASSERT_EQ(lines.size(), 3u) << r.out;
    const auto ok = Fields(lines[0]);
    ASSERT_EQ(ok.size(), 3u);
    EXPECT_EQ(ok[0], "ok");
    EXPECT_EQ(ok[1], In("tone.wav"));
    EXPECT_EQ(ok[2].rfind(Out(""), 0), 0u) << ok[2];
    EXPECT_EQ(testsupport::ProbeCodec(ok[2]), "pcm_u8");
    EXPECT_EQ(testsupport::ProbeChannels(ok[2]), 1);
    EXPECT_EQ(lines[1], "failed\t" + In("missing.wav") + "\t");
    EXPECT_NE(r.err.find("missing.wav"), std::string::npos);
    EXPECT_EQ(Fields(lines[2])[0], "ok");

    // A preset picked in the output format dialog, JSON lines.
    Result p = Cli({"convert", "--preset", "低音质", "--json", In("tone.wav")});
    EXPECT_EQ(p.code, 0) << p.err;
    ASSERT_EQ(p.Lines().size(), 1u) << p.out;
    EXPECT_EQ(p.Lines()[0].rfind("{\"status\":\"ok\",\"input\":\"" + In("tone.wav") + "\",\"output\":\"", 0),
              0u)
        << p.out;
    const std::string json = p.Lines()[0];
    const size_t at = json.find("\"output\":\"") + 10;
    const std::string output = json.substr(at, json.size() - at - 2);
    EXPECT_EQ(testsupport::ProbeCodec(output), "mp3");
    EXPECT_TRUE(platform::IsRegularFile(platform::FromUtf8(In("tone.wav"))));

    // A quality picks the dialog's preset of that quality for the chosen type.
    Result q = Cli({"convert", "--to", "ogg", "--quality", "256kb/s", "--out", Out("q"), In("tone.wav")});
    EXPECT_EQ(q.code, 0) << q.err;
    ASSERT_EQ(q.Lines().size(), 1u) << q.out;
    const std::string ogg = Fields(q.Lines()[0])[2];
    EXPECT_EQ(ogg.substr(ogg.size() - 4), ".ogg");
    EXPECT_EQ(testsupport::ProbeCodec(ogg), "vorbis");
}

TEST_F(CliBatchTest, CutSplitAndExtractWriteTheirSegments) {
    ASSERT_TRUE(testsupport::MakeTone(In("song.mp3"), 3.0));
    ASSERT_TRUE(testsupport::MakeVideo(In("clip.mp4"), 2.0));
    Result cut = Cli({"cut", "--start", "0.5", "--end", "00:00:01.500", In("song.mp3")});
    EXPECT_EQ(cut.code, 0) << cut.err;
    ASSERT_EQ(cut.Lines().size(), 1u);
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(Fields(cut.Lines()[0])[2]), 1.0, 0.15));

    Result even = Cli({"split", "--parts", "3", "--out", Out("even"), In("song.mp3")});
    EXPECT_EQ(even.code, 0) << even.err;
    ASSERT_EQ(even.Lines().size(), 3u) << even.out;
    for (const auto& line : even.Lines()) {
        EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(Fields(line)[2]), 1.0, 0.15)) << line;
    }
    // 12 s by 6 s: two parts, the zero-length tail is dropped.
    ASSERT_TRUE(testsupport::MakeTone(In("long.wav"), 12.0, 440, 8000, 1));
    Result byLength = Cli({"split", "--length", "0:06", "--out", Out("len"), In("long.wav")});
    EXPECT_EQ(byLength.code, 0) << byLength.err;
    ASSERT_EQ(byLength.Lines().size(), 2u) << byLength.out;
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(Fields(byLength.Lines()[1])[2]), 6.0, 0.15));

    Result extract = Cli({"extract", "--start", "0:00.5", "--end", "1.5", "--name", "voice", In("clip.mp4")});
    EXPECT_EQ(extract.code, 0) << extract.err;
    ASSERT_EQ(extract.Lines().size(), 1u);
    EXPECT_EQ(Fields(extract.Lines()[0])[2], In("voice_1.MP3"));
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(In("voice_1.MP3")), 1.0, 0.15));

    // The extract page takes videos only: an audio file is a failed row with the reason.
    Result refused = Cli({"extract", "--start", "0", "--end", "1", In("song.mp3")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, "failed\t" + In("song.mp3") + "\t\n");
    EXPECT_NE(refused.err.find("not accepted"), std::string::npos) << refused.err;
}

TEST_F(CliBatchTest, MergeSpeedVolumeNoiseAndBackgroundMusic) {
    ASSERT_TRUE(testsupport::MakeTone(In("a.wav"), 1.0, 300));
    ASSERT_TRUE(testsupport::MakeTone(In("b.mp3"), 1.0, 500));
    ASSERT_TRUE(testsupport::MakeTone(In("c.flac"), 1.0, 700));
    ASSERT_TRUE(testsupport::MakeTone(In("m.mp3"), 0.4, 900));

    Result merge = Cli({"merge", In("a.wav"), In("b.mp3"), In("c.flac")});
    EXPECT_EQ(merge.code, 0) << merge.err;
    ASSERT_EQ(merge.Lines().size(), 3u) << merge.out;
    const std::string merged = Fields(merge.Lines()[0])[2];
    EXPECT_NE(merged.find("合成文件-"), std::string::npos);
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(merged), 3.0, 0.25));

    Result speed = Cli({"speed", "--factor", "2.0", In("a.wav")});
    EXPECT_EQ(speed.code, 0) << speed.err;
    ASSERT_EQ(speed.Lines().size(), 1u);
    EXPECT_EQ(Fields(speed.Lines()[0])[2], In("a_1.wav"));
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(In("a_1.wav")), 0.5, 0.1));

    Result volume = Cli({"volume", "--factor", "0.5", "--out", Out(""), In("c.flac")});
    EXPECT_EQ(volume.code, 0) << volume.err;
    EXPECT_TRUE(platform::IsRegularFile(platform::FromUtf8(Out("c.flac"))));

    Result noise = Cli({"noise", "--level", "2", "--to", "wav", "--json", In("b.mp3")});
    EXPECT_EQ(noise.code, 0) << noise.err;
    EXPECT_NE(noise.out.find("\"output\":\"" + In("b_1.wav") + "\""), std::string::npos) << noise.out;

    Result bgm = Cli({"bgm", "--music", In("m.mp3"), "--once", In("a.wav"), In("c.flac")});
    EXPECT_EQ(bgm.code, 0) << bgm.err;
    ASSERT_EQ(bgm.Lines().size(), 2u) << bgm.out;
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(Fields(bgm.Lines()[0])[2]), 1.0, 0.15));
}

TEST_F(CliBatchTest, InputsThatAreNoFilesAndMissingToolsGetTheSharedMessages) {
    ASSERT_TRUE(testsupport::MakeTone(In("tone.wav"), 1.0));
    const std::string pipe = In("pipe.wav");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string folder = dir_.Path() + "in";

    // A missing file, a folder and a FIFO each fail alone with their cause; the FIFO is never
    // waited on, and the good file is still converted.
    Result r =
        Cli({"convert", In("nothing.wav"), folder, pipe, In("tone.wav"), "--to", "wav", "--out", Out("")});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("tonewright-cli: input file not found: " + In("nothing.wav")), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("tonewright-cli: is a folder, not a file: " + folder), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("tonewright-cli: is a pipe (FIFO), not a regular file: " + pipe), std::string::npos)
        << r.err;
    const auto lines = r.Lines();
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0], "failed\t" + In("nothing.wav") + "\t");
    EXPECT_EQ(Fields(lines[1])[0], "failed");
    EXPECT_EQ(lines[2], "failed\t" + pipe + "\t");
    EXPECT_EQ(Fields(lines[3])[0], "ok") << lines[3];

    // The music of the background tool gets the same causes; a usage error, nothing is run.
    Result m = Cli({"bgm", "--music", folder, In("tone.wav")});
    EXPECT_EQ(m.code, 2);
    EXPECT_NE(m.err.find("music file: is a folder, not a file: " + folder), std::string::npos) << m.err;
    EXPECT_EQ(m.out, "");

    // Tools: with ffprobe gone from the search path the command stops at once and names it.
    const std::string bin = dir_.Path() + "bin/";
    platform::CreateFolders(platform::FromUtf8(bin));
    ASSERT_EQ(::symlink(testsupport::FfmpegPath().c_str(), (bin + "ffmpeg").c_str()), 0);
    const std::string savedPath = ::getenv("PATH") ? ::getenv("PATH") : "";
    ::setenv("PATH", bin.c_str(), 1);
    Result noProbe = Cli({"volume", "--factor", "2.0", In("tone.wav"), "--out", Out("v")});
    ::unlink((bin + "ffmpeg").c_str());
    Result noFfmpeg = Cli({"merge", In("tone.wav"), In("tone.wav"), "--out", Out("m")});
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(noProbe.code, 1);
    EXPECT_NE(noProbe.err.find("ffprobe is missing"), std::string::npos) << noProbe.err;
    EXPECT_EQ(noProbe.out, "");
    EXPECT_EQ(noFfmpeg.code, 1);
    EXPECT_NE(noFfmpeg.err.find("ffmpeg is missing"), std::string::npos) << noFfmpeg.err;
    EXPECT_FALSE(platform::IsFolder(platform::FromUtf8(Out("v")))) << "nothing was prepared for the run";
}
