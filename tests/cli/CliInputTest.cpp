// Bad input through tonewright-cli: each case generated here gets a clear answer naming its real
// cause, a partial stream is decoded as far as it goes and says what it lost, and no command
// writes a name other than the one asked for.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

struct Result {
    int code = -1;
    std::string output;
};

Result Cli(std::vector<std::string> args, const std::string& pathVariable = "") {
    std::vector<std::string> argv;
    if (!pathVariable.empty()) {
        argv = {"env", "PATH=" + pathVariable};
    }
    argv.push_back(TW_CLI_PATH);
    argv.insert(argv.end(), args.begin(), args.end());
    Result r;
    platform::RunProcessCapture(argv, &r.output, &r.code);
    return r;
}

bool Has(const Result& r, const std::string& text) {
    return r.output.find(text) != std::string::npos;
}

std::string Bytes(const std::string& path) {
    std::string b;
    platform::ReadFileBytes(platform::FromUtf8(path), &b);
    return b;
}

class CliInput : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            testsupport::RunFfmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=3:sample_rate=44100",
                                    "-c:a", "aac", "-f", "adts", dir_.File("tone.aac")}));
        tone_ = Bytes(dir_.File("tone.aac"));
        ASSERT_GT(tone_.size(), 10000u);
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        EXPECT_TRUE(platform::WriteFileBytes(platform::FromUtf8(dir_.File(name)), bytes));
        return dir_.File(name);
    }
    testsupport::TempDir dir_;
    std::string tone_;
};

TEST_F(CliInput, EachUnreadableInputNamesItsCause) {
    const std::string folder = dir_.File("folder");
    ASSERT_TRUE(platform::CreateFolders(platform::FromUtf8(folder)));
    const std::string fifo = dir_.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string loop = dir_.File("loop");
    ASSERT_EQ(::symlink("loop", loop.c_str()), 0);
    const std::string tooLong = dir_.File(std::string(300, 'a') + "/x.aac");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {dir_.File("missing.aac"), "input file not found"},
        {folder, "is a folder"},
        {fifo, "is a pipe (FIFO)"},
        {"/dev/zero", "is a device"},
        {loop, "symbolic link loop"},
        {tooLong, "path too long"},
    };
    for (const auto& [path, cause] : cases) {
        for (const char* command : {"aac-length", "decode-aac", "probe"}) {
            std::vector<std::string> args = {command, path};
            if (std::string(command) == "decode-aac") args.push_back(dir_.File("out.wav"));
            const Result r = Cli(args);
            EXPECT_EQ(r.code, 1) << command << " " << path;
            EXPECT_TRUE(Has(r, cause)) << command << " " << path << ": " << r.output;
            if (std::string(cause) != "input file not found") {
                EXPECT_FALSE(Has(r, "input file not found")) << command << " " << path;
            }
        }
    }
    EXPECT_FALSE(platform::PathExists(platform::FromUtf8(dir_.File("out.wav"))));
}

TEST_F(CliInput, GarbageIsNoAacStream) {
    // A sync word alone, headers claiming frames shorter than themselves, and plain text.
    std::string shortFrames;
    for (int i = 0; i < 50; ++i) shortFrames += std::string("\xFF\xF1\x50\x80\x00\x3F\xFC", 7);
    for (const std::string& bytes : {std::string("\xFF\xF1", 2), shortFrames, std::string("hello\n")}) {
        const Result r = Cli({"aac-length", Write("garbage.aac", bytes)});
        EXPECT_EQ(r.code, 1) << r.output;
        EXPECT_TRUE(Has(r, "no valid ADTS AAC frame")) << r.output;
        EXPECT_FALSE(Has(r, " s, ")) << "no length is printed: " << r.output;
    }
    const Result good = Cli({"aac-length", dir_.File("tone.aac")});
    EXPECT_EQ(good.code, 0);
    EXPECT_TRUE(Has(good, "3.0")) << good.output;
}

TEST_F(CliInput, DamagedStreamsAreDecodedAsFarAsTheyGoAndSaySo) {
    // 100 zero bytes in the middle: the rest of the stream is still decoded.
    const size_t middle = tone_.size() / 2;
    const std::string damaged =
        Write("mid.aac", tone_.substr(0, middle) + std::string(100, '\0') + tone_.substr(middle));
    Result r = Cli({"decode-aac", damaged, dir_.File("mid.wav")});
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(dir_.File("mid.wav")), 3.0, 0.1) << r.output;
    EXPECT_TRUE(r.code == 0 || (r.code == 1 && Has(r, "s of audio lost"))) << r.output;

    // A trailing ID3v1 tag is no damage.
    const std::string tagged = Write("tag.aac", tone_ + "TAG" + std::string(125, 'x'));
    r = Cli({"decode-aac", tagged, dir_.File("tag.wav")});
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(Bytes(dir_.File("tag.wav")), [&] {
        Cli({"decode-aac", dir_.File("tone.aac"), dir_.File("plain.wav")});
        return Bytes(dir_.File("plain.wav"));
    }());

    // A change of sample rate ends the output there and is reported.
    ASSERT_TRUE(
        testsupport::RunFfmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=1:sample_rate=48000",
                                "-c:a", "aac", "-f", "adts", dir_.File("other.aac")}));
    const std::string mixed = Write("mixed.aac", tone_ + Bytes(dir_.File("other.aac")));
    r = Cli({"decode-aac", mixed, dir_.File("mixed.wav")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r, "changes to 48000 Hz")) << r.output;
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(dir_.File("mixed.wav")), 3.0, 0.1);
}

TEST_F(CliInput, OutputsAreNeverWrittenUnderAnotherNameOrThroughALink) {
    // A name that is not valid UTF-8 is refused, and nothing else is written in its place.
    const Result bad = Cli({"decode-aac", dir_.File("tone.aac"), dir_.File("out\xff.wav")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_TRUE(Has(bad, "not valid UTF-8")) << bad.output;
    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::ListFolder(dir_.WPath(), &entries));
    EXPECT_EQ(entries.size(), 1u) << "only tone.aac is there";

    // A dangling link is not written through; an existing link is never deleted.
    const std::string target = dir_.File("target.wav");
    const std::string link = dir_.File("link.wav");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    const Result dangling = Cli({"decode-aac", dir_.File("tone.aac"), link});
    EXPECT_EQ(dangling.code, 1);
    EXPECT_TRUE(Has(dangling, "symbolic link")) << dangling.output;
    EXPECT_FALSE(platform::PathExists(platform::FromUtf8(target)));
    struct stat st {};
    EXPECT_EQ(::lstat(link.c_str(), &st), 0) << "the link stays";

    // A failed decode leaves no file and no temporary behind.
    const Result failed = Cli({"decode-aac", Write("text.aac", "not audio at all"), dir_.File("text.wav")});
    EXPECT_EQ(failed.code, 1);
    ASSERT_TRUE(platform::ListFolder(dir_.WPath(), &entries));
    for (const auto& e : entries) EXPECT_EQ(e.name.find(L"text.wav"), std::wstring::npos);
}

TEST_F(CliInput, InterruptedDecodeLeavesNoTemporaryFile) {
    // A long stream, ended by SIGTERM while it is being decoded (a background job of a script
    // ignores SIGINT).
    std::string longStream;
    for (int i = 0; i < 200; ++i) longStream += tone_;
    const std::string in = Write("long.aac", longStream);
    const std::string out = dir_.File("long.wav");
    const std::string script =
        "\"$0\" decode-aac \"$1\" \"$2\" & pid=$!; "
        "n=0; while ! ls -a \"$3\" | grep -q part && [ $n -lt 5000 ]; do n=$((n+1)); done; "
        "kill -TERM $pid; wait $pid";
    std::string output;
    int code = -1;
    ASSERT_TRUE(
        platform::RunProcessCapture({"sh", "-c", script, TW_CLI_PATH, in, out, dir_.Path()}, &output, &code));
    EXPECT_EQ(code, 128 + SIGTERM) << output;
    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::ListFolder(dir_.WPath(), &entries));
    for (const auto& e : entries)
        EXPECT_EQ(e.name.find(L"long.wav"), std::wstring::npos) << platform::ToUtf8(e.name);
}

TEST_F(CliInput, MissingToolsAreNamed) {
    const std::string bin = dir_.File("bin");
    ASSERT_TRUE(platform::CreateFolders(platform::FromUtf8(bin)));
    const Result r = Cli({"probe", dir_.File("tone.aac")}, bin);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r, "ffprobe is missing")) << r.output;

    // A media library that cannot be loaded (found first, but not a library) is named as well.
    const std::string libs = dir_.File("libs");
    ASSERT_TRUE(platform::CreateFolders(platform::FromUtf8(libs)));
    ASSERT_TRUE(platform::WriteFileBytes(platform::FromUtf8(libs + "/libmediainfo.so.0"), ""));
    std::string output;
    int code = -1;
    ASSERT_TRUE(platform::RunProcessCapture(
        {"env", "LD_LIBRARY_PATH=" + libs, TW_CLI_PATH, "probe", dir_.File("tone.aac")}, &output, &code));
    EXPECT_EQ(code, 1);
    EXPECT_NE(output.find("libmediainfo.so.0) cannot be loaded"), std::string::npos) << output;
    // Commands that need neither still work without the tools.
    const Result decoded = Cli({"decode-aac", dir_.File("tone.aac"), dir_.File("ok.wav")}, bin);
    EXPECT_EQ(decoded.code, 0) << decoded.output;
}

TEST_F(CliInput, ProbeIsBoundedAndNeverReadsAPathAsAUrl) {
    // A tiny WAV whose cue chunk claims 2^31 cue points keeps the media library busy: the probe
    // gives up on it within its limit, reports it and still probes the next file.
    std::string wav = "RIFF";
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto le16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    std::string body = "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(8000) + le32(16000) + le16(2) +
                       le16(16) + "cue " + le32(4) + le32(0x80000000u) + "data" + le32(16) +
                       std::string(16, '\0');
    wav += le32(static_cast<uint32_t>(body.size())) + body;
    const std::string cue = Write("cue.wav", wav);
    const uint64_t started = platform::TickCountMs();
    Result r = Cli({"probe", cue, dir_.File("tone.aac")});
    const uint64_t elapsed = platform::TickCountMs() - started;
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r, "unprobeable: " + cue)) << r.output;
    EXPECT_TRUE(Has(r, "\"audioFormat\":\"AAC\"")) << "the next file is still probed: " << r.output;
    EXPECT_LT(elapsed, 30000u) << "bounded, not for ever";

    // A local folder named like a URL scheme: the file in it is read from disk.
    const std::string local = dir_.File("http:/127.0.0.1:9/");
    ASSERT_TRUE(platform::CreateFolders(platform::FromUtf8(local)));
    ASSERT_TRUE(testsupport::RunFfmpeg({"-f", "lavfi", "-i", "sine=duration=1", local + "a.wav"}));
    std::string output;
    int code = -1;
    ASSERT_TRUE(platform::RunProcessCapture(
        {"sh", "-c", "cd \"$1\" && \"$0\" probe http:/127.0.0.1:9/a.wav", TW_CLI_PATH, dir_.Path()}, &output,
        &code));
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("\"audioFormat\":\"PCM\""), std::string::npos) << output;
    EXPECT_NE(output.find("\"durationMs\":1000"), std::string::npos) << output;
}

TEST_F(CliInput, ProbeOfALocalNameSpelledAsAUrlConnectsNowhere) {
    // A listener on a free local port stands in for a server. The folder "http:" holds a file whose
    // relative name, written with the doubled slash a URL has, spells an address on that port.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 16), 0);
    socklen_t size = sizeof address;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string host = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    const std::string local = dir_.File("http:/" + host + "/");
    ASSERT_TRUE(platform::CreateFolders(platform::FromUtf8(local)));
    ASSERT_TRUE(testsupport::RunFfmpeg({"-f", "lavfi", "-i", "sine=duration=1", local + "a.wav"}));
    int stop[2];
    ASSERT_EQ(::pipe2(stop, O_CLOEXEC), 0);

    // Each connection is counted and closed at once, so a client that does connect is not left
    // waiting for an answer. Once told to stop, the server takes what is still queued and ends:
    // a connection made before the probe exited is counted however late it is accepted.
    std::atomic<int> connections{0};
    std::thread server([&] {
        auto takeQueued = [&] {
            for (int client; (client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                ++connections;
                ::close(client);
            }
        };
        for (;;) {
            pollfd watched[2] = {{listener, POLLIN, 0}, {stop[0], POLLIN, 0}};
            if (::poll(watched, 2, -1) < 0 && errno != EINTR) break;
            takeQueued();
            if (watched[1].revents != 0) break;
        }
        takeQueued();
    });
    std::string output;
    int code = -1;
    const bool ran = platform::RunProcessCapture({"sh", "-c", "cd \"$1\" && \"$0\" probe \"$2\"", TW_CLI_PATH,
                                                  dir_.Path(), "http://" + host + "/a.wav"},
                                                 &output, &code);
    EXPECT_EQ(::write(stop[1], "x", 1), 1);
    server.join();
    ::close(stop[0]);
    ::close(stop[1]);
    ::close(listener);
    ASSERT_TRUE(ran);
    EXPECT_EQ(connections.load(), 0) << "the name was read as an address: " << output;
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("\"durationMs\":1000"), std::string::npos)
        << "the file is read from disk: " << output;
    EXPECT_NE(output.find("\"audioFormat\":\"PCM\""), std::string::npos)
        << "the media library opens the local file too: " << output;
}

}  // namespace
