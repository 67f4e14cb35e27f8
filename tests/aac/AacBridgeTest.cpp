// The AAC bridge on ADTS files made with ffmpeg's encoder: decoding to WAV, the 5.1 header and
// channel order, ID3v2 tags, length measurement and the path checks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "engine/AacBridge.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

struct Wav {
    bool ok = false;
    int tag = 0, channels = 0, bits = 0;
    unsigned rate = 0, mask = 0, riffSize = 0, dataSize = 0;
    std::vector<int16_t> samples;
    size_t Frames() const { return channels ? samples.size() / size_t(channels) : 0; }
    double ChannelRms(int ch) const {
        double sum = 0;
        for (size_t i = size_t(ch); i < samples.size(); i += size_t(channels))
            sum += double(samples[i]) * samples[i];
        return Frames() ? std::sqrt(sum / double(Frames())) : 0;
    }
};

unsigned Le(const std::string& b, size_t at, int n) {
    unsigned v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + size_t(i)]);
    return v;
}

// Parses a 16-bit PCM WAV by its chunks.
Wav ReadWav(const std::string& path) {
    Wav w;
    std::string b;
    if (!platform::ReadFileBytes(platform::FromUtf8(path), &b) || b.size() < 12) return w;
    if (b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return w;
    w.riffSize = Le(b, 4, 4);
    size_t pos = 12;
    while (pos + 8 <= b.size()) {
        const unsigned size = Le(b, pos + 4, 4);
        if (b.compare(pos, 4, "fmt ") == 0) {
            w.tag = int(Le(b, pos + 8, 2));
            w.channels = int(Le(b, pos + 10, 2));
            w.rate = Le(b, pos + 12, 4);
            w.bits = int(Le(b, pos + 22, 2));
            if (w.tag == 0xFFFE && size >= 40) w.mask = Le(b, pos + 28, 4);
        } else if (b.compare(pos, 4, "data") == 0) {
            w.dataSize = size;
            const size_t n = std::min<size_t>(size, b.size() - pos - 8) / 2;
            w.samples.resize(n);
            for (size_t i = 0; i < n; ++i) w.samples[i] = int16_t(Le(b, pos + 8 + 2 * i, 2));
            w.ok = true;
            return w;
        }
        pos += 8 + size + (size & 1);
    }
    return w;
}

bool Decode(const std::string& src, const std::string& wav) {
    return OnDecoderAAC(platform::FromUtf8(src).c_str(), platform::FromUtf8(wav).c_str());
}

// An ID3v2.4 tag of `body` bytes whose padding contains bytes that look like an ADTS sync word.
std::string Id3Tag(size_t body) {
    std::string tag = "ID3";
    tag += '\x04';
    tag += '\x00';
    tag += '\x00';
    for (int shift : {21, 14, 7, 0}) tag += char((body >> shift) & 0x7F);
    std::string pad(body, '\0');
    for (size_t i = 0; i + 1 < body; i += 97) {
        pad[i] = '\xFF';
        pad[i + 1] = '\xF1';
    }
    return tag + pad;
}

// Rewrites an ADTS stream as an ADIF one: an ADIF header with one program configuration (a single
// front channel pair, AAC LC) followed by the raw data blocks of the ADTS frames.
class BitWriter {
public:
    void Put(unsigned value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (used_ % 8 == 0) bytes_ += '\0';
            if ((value >> i) & 1) bytes_.back() = char(bytes_.back() | (0x80 >> (used_ % 8)));
            ++used_;
        }
    }
    void Align() { used_ = (used_ + 7) / 8 * 8; }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
    size_t used_ = 0;
};

std::string AdtsToAdif(const std::string& adts, unsigned bitRate) {
    if (adts.size() < 7) return {};
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(adts[i]); };
    BitWriter w;
    for (char c : std::string("ADIF")) w.Put(static_cast<unsigned char>(c), 8);
    w.Put(0, 1);  // no copyright id
    w.Put(0, 1);  // original_copy
    w.Put(0, 1);  // home
    w.Put(0, 1);  // constant rate bitstream
    w.Put(bitRate, 23);
    w.Put(0, 4);                      // one program configuration element
    w.Put(0, 20);                     // buffer fullness
    w.Put(0, 4);                      // element instance tag
    w.Put((byte(2) >> 6) & 0x03, 2);  // object type (profile) from the ADTS header
    w.Put((byte(2) >> 2) & 0x0F, 4);  // sampling frequency index
    w.Put(1, 4);                      // one front element
    w.Put(0, 4);                      // side
    w.Put(0, 4);                      // back
    w.Put(0, 2);                      // LFE
    w.Put(0, 3);                      // associated data
    w.Put(0, 4);                      // coupling channels
    w.Put(0, 3);                      // no mono, stereo or matrix mixdown
    w.Put(1, 1);                      // the front element is a channel pair
    w.Put(0, 4);                      // with tag 0
    w.Align();
    w.Put(0, 8);  // no comment
    std::string out = w.Bytes();
    size_t pos = 0;
    while (pos + 7 <= adts.size() && byte(pos) == 0xFF && (byte(pos + 1) & 0xF6) == 0xF0) {
        const size_t length =
            (size_t(byte(pos + 3) & 0x03) << 11) | (size_t(byte(pos + 4)) << 3) | (byte(pos + 5) >> 5);
        const size_t header = (byte(pos + 1) & 0x01) ? 7 : 9;
        if (length <= header || pos + length > adts.size()) break;
        out += adts.substr(pos + header, length - header);
        pos += length;
    }
    return out;
}

}  // namespace

TEST(AacDecode, StereoAdtsDecodesToPcmWavWithinOneFrameOfFfmpeg) {
    TempDir dir;
    const std::string src = dir.File("tone.aac"), ours = dir.File("ours.wav"), ref = dir.File("ref.wav");
    ASSERT_TRUE(testsupport::MakeTone(src, 3.0, 440, 44100, 2));
    ASSERT_TRUE(Decode(src, ours));
    ASSERT_TRUE(testsupport::RunFfmpeg({"-i", src, "-c:a", "pcm_s16le", ref}));
    const Wav a = ReadWav(ours), b = ReadWav(ref);
    ASSERT_TRUE(a.ok);
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(a.tag, 1);
    EXPECT_EQ(a.mask, 0u);
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.rate, 44100u);
    EXPECT_EQ(a.bits, 16);
    EXPECT_EQ(a.dataSize, a.samples.size() * 2);
    EXPECT_EQ(a.riffSize, 36 + a.dataSize);
    EXPECT_LE(std::abs(long(a.Frames()) - long(b.Frames())), 1024) << a.Frames() << " vs " << b.Frames();
    EXPECT_GT(a.ChannelRms(0), 1000.0);  // a real tone, not silence
    EXPECT_EQ(testsupport::ProbeSampleRate(ours), 44100);
}

TEST(AacDecode, SurroundStreamGetsChannelMask63AndWavChannelOrder) {
    TempDir dir;
    const std::string src = dir.File("centre.aac"), ours = dir.File("ours.wav");
    // Only the front centre channel carries a tone.
    ASSERT_TRUE(
        testsupport::RunFfmpeg({"-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=48000:duration=1",
                                "-af", "pan=5.1|FC=c0", "-c:a", "aac", "-b:a", "384k", "-f", "adts", src}));
    ASSERT_TRUE(Decode(src, ours));
    const Wav w = ReadWav(ours);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.tag, 0xFFFE);
    EXPECT_EQ(w.mask, 63u);
    EXPECT_EQ(w.channels, 6);
    EXPECT_EQ(w.rate, 48000u);
    EXPECT_EQ(testsupport::ProbeChannels(ours), 6);
    // Mask 63 means L, R, C, LFE, back L, back R: the tone must be in the third channel.
    const double centre = w.ChannelRms(2);
    EXPECT_GT(centre, 1000.0);
    for (int ch : {0, 1, 3, 4, 5}) EXPECT_LT(w.ChannelRms(ch), centre / 100) << "channel " << ch;
}

TEST(AacDecode, LeadingId3TagIsSkipped) {
    TempDir dir;
    const std::string plain = dir.File("plain.aac"), tagged = dir.File("tagged.aac");
    ASSERT_TRUE(testsupport::MakeTone(plain, 1.0, 440, 44100, 2));
    std::string bytes;
    ASSERT_TRUE(platform::ReadFileBytes(platform::FromUtf8(plain), &bytes));
    // Larger than the read buffer, so the skip has to go past what was read first.
    ASSERT_TRUE(platform::WriteFileBytes(platform::FromUtf8(tagged), Id3Tag(6000) + bytes));

    ASSERT_TRUE(Decode(plain, dir.File("plain.wav")));
    ASSERT_TRUE(Decode(tagged, dir.File("tagged.wav")));
    std::string a, b;
    ASSERT_TRUE(platform::ReadFileBytes(dir.WFile(L"plain.wav"), &a));
    ASSERT_TRUE(platform::ReadFileBytes(dir.WFile(L"tagged.wav"), &b));
    EXPECT_GT(a.size(), 44u + 40000u);
    EXPECT_EQ(a, b);

    int rateA = -1, rateB = -1;
    const double lenA = OnGetAACLength(platform::FromUtf8(plain).c_str(), &rateA);
    const double lenB = OnGetAACLength(platform::FromUtf8(tagged).c_str(), &rateB);
    EXPECT_GT(lenA, 0.9);
    EXPECT_DOUBLE_EQ(lenA, lenB);
    EXPECT_EQ(rateA, rateB);
}

TEST(AacLength, AdtsWalkGivesDurationAndBitRate) {
    TempDir dir;
    const std::string src = dir.File("tone.aac");
    ASSERT_TRUE(testsupport::MakeTone(src, 5.0, 440, 48000, 2));
    int kbps = -1;
    const double seconds = OnGetAACLength(platform::FromUtf8(src).c_str(), &kbps);
    EXPECT_NEAR(seconds, 5.0, 0.1);
    EXPECT_NEAR(seconds, testsupport::ProbeDurationSeconds(src), 0.1);
    // The average over the whole stream, from the frame sizes actually written.
    const double fileKbps = double(platform::FileSize(platform::FromUtf8(src))) * 8 / seconds / 1000;
    EXPECT_NEAR(kbps, fileKbps, 2.0);
    EXPECT_GT(kbps, 20);
    EXPECT_NO_FATAL_FAILURE(OnGetAACLength(platform::FromUtf8(src).c_str(), nullptr));
}

// One ADTS frame of `length` bytes (header included) at 44.1 kHz stereo, payload bytes of zero.
// The frame length field of the ADTS header at `at`.
static size_t AdtsFrameLengthAt(const std::string& s, size_t at) {
    const auto b = [&](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(s[at + i])); };
    return ((b(3) & 0x03) << 11) | (b(4) << 3) | (b(5) >> 5);
}

static std::string AdtsFrame(size_t length, bool copyrightStart = false) {
    std::string f(length, '\0');
    f[0] = '\xFF';
    f[1] = '\xF1';                         // MPEG-4, layer 0, no CRC
    f[2] = char((1 << 6) | (4 << 2) | 0);  // AAC LC, rate index 4 (44100), channels high bit 0
    f[3] = char((2 << 6) | (copyrightStart ? 0x04 : 0) | ((length >> 11) & 0x03));
    f[4] = char((length >> 3) & 0xFF);
    f[5] = char(((length & 0x07) << 5) | 0x1F);  // buffer fullness 0x7FF
    f[6] = char(0xFC);
    return f;
}

TEST(AacLength, KnownFramesGiveExactSecondsAndRoundedBitRate) {
    // 99 frames of 400 bytes and a last one of 2100 (longer than 11 bits can say, so the frame
    // length's top bits count) with the copyright-start bit set beside the length field.
    TempDir dir;
    std::string stream;
    for (int i = 0; i < 99; ++i) stream += AdtsFrame(400);
    stream += AdtsFrame(2100, true);
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"known.aac"), stream));
    int kbps = -1;
    const double seconds = OnGetAACLength(dir.WFile(L"known.aac").c_str(), &kbps);
    // 100 frames of 1024 samples at 44100 Hz.
    EXPECT_DOUBLE_EQ(seconds, 100.0 * 1024.0 / 44100.0);
    // 41700 bytes: 0.417 kB a frame × 8 × 43.066 frames a second = 143.67 → 144 (rounded, not cut).
    EXPECT_EQ(kbps, 144);

    // Without the last frame the count drops by exactly one: every frame, the last included, counts.
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"short.aac"), stream.substr(0, 99 * 400)));
    EXPECT_DOUBLE_EQ(OnGetAACLength(dir.WFile(L"short.aac").c_str(), &kbps), 99.0 * 1024.0 / 44100.0);
    EXPECT_EQ(kbps, 138);  // 0.4 × 8 × 43.066 = 137.81 → 138
}

TEST(AacDecode, EveryWavHeaderFieldIsExact) {
    TempDir dir;
    const std::string src = dir.File("tone.aac"), wav = dir.File("tone.wav");
    ASSERT_TRUE(testsupport::MakeTone(src, 1.0, 440, 44100, 2));
    ASSERT_TRUE(Decode(src, wav));
    std::string b;
    ASSERT_TRUE(platform::ReadFileBytes(platform::FromUtf8(wav), &b));
    ASSERT_GT(b.size(), 44u + 44100u * 4u * 9u / 10u);
    EXPECT_EQ(b.substr(0, 4), "RIFF");
    EXPECT_EQ(Le(b, 4, 4), b.size() - 8);
    EXPECT_EQ(b.substr(8, 4), "WAVE");
    EXPECT_EQ(b.substr(12, 4), "fmt ");
    EXPECT_EQ(Le(b, 16, 4), 16u);         // fmt chunk size
    EXPECT_EQ(Le(b, 20, 2), 1u);          // PCM
    EXPECT_EQ(Le(b, 22, 2), 2u);          // channels
    EXPECT_EQ(Le(b, 24, 4), 44100u);      // sample rate
    EXPECT_EQ(Le(b, 28, 4), 44100u * 4);  // byte rate = rate × channels × 2
    EXPECT_EQ(Le(b, 32, 2), 4u);          // block align
    EXPECT_EQ(Le(b, 34, 2), 16u);         // bits per sample
    EXPECT_EQ(b.substr(36, 4), "data");
    EXPECT_EQ(Le(b, 40, 4), b.size() - 44);
    EXPECT_EQ((b.size() - 44) % 4, 0u);

    // Another rate: the byte rate follows it.
    ASSERT_TRUE(testsupport::MakeTone(dir.File("st.aac"), 1.0, 440, 48000, 2));
    ASSERT_TRUE(Decode(dir.File("st.aac"), dir.File("st.wav")));
    ASSERT_TRUE(platform::ReadFileBytes(dir.WFile(L"st.wav"), &b));
    EXPECT_EQ(Le(b, 28, 4), 48000u * 4);
    EXPECT_EQ(Le(b, 32, 2), 4u);
    EXPECT_EQ(Le(b, 40, 4), b.size() - 44);
    EXPECT_EQ((b.size() - 44) % 4, 0u);
}

TEST(AacDecode, AdifStreamDecodesAndHasNoMeasuredLength) {
    TempDir dir;
    const std::string adts = dir.File("tone.aac"), adif = dir.File("tone-adif.aac");
    ASSERT_TRUE(testsupport::MakeTone(adts, 2.0, 440, 44100, 2));
    std::string bytes;
    ASSERT_TRUE(platform::ReadFileBytes(platform::FromUtf8(adts), &bytes));
    ASSERT_TRUE(platform::WriteFileBytes(platform::FromUtf8(adif), AdtsToAdif(bytes, 128000)));

    int kbps = -7;
    EXPECT_EQ(OnGetAACLength(platform::FromUtf8(adif).c_str(), &kbps), 0.0);
    EXPECT_EQ(kbps, -7);

    ASSERT_TRUE(Decode(adts, dir.File("adts.wav")));
    ASSERT_TRUE(Decode(adif, dir.File("adif.wav")));
    const Wav a = ReadWav(dir.File("adts.wav")), b = ReadWav(dir.File("adif.wav"));
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(b.channels, 2);
    EXPECT_EQ(b.rate, 44100u);
    EXPECT_LE(std::abs(long(a.Frames()) - long(b.Frames())), 1024);
    EXPECT_GT(b.ChannelRms(0), 1000.0);
}

TEST(AacLength, AdifAndOtherStreamsGiveZeroAndLeaveTheBitRateAlone) {
    TempDir dir;
    // An ADIF header (no copyright id, bit rate 128000) followed by arbitrary bytes.
    std::string adif = "ADIF";
    adif += std::string("\x00\x3E\x80\x00\x10\x00\x00\x00", 8);
    adif += std::string(2000, '\x5A');
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"x.aac"), adif));
    int kbps = -7;
    EXPECT_EQ(OnGetAACLength(dir.WFile(L"x.aac").c_str(), &kbps), 0.0);
    EXPECT_EQ(kbps, -7);
    // Decoding such a file may fail, but must not crash or leave a non-WAV file.
    if (OnDecoderAAC(dir.WFile(L"x.aac").c_str(), dir.WFile(L"x.wav").c_str())) {
        EXPECT_TRUE(ReadWav(dir.File("x.wav")).ok);
    }

    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"text.aac"), "plain text, not audio"));
    EXPECT_EQ(OnGetAACLength(dir.WFile(L"text.aac").c_str(), &kbps), 0.0);
    EXPECT_EQ(kbps, -7);
    EXPECT_FALSE(OnDecoderAAC(dir.WFile(L"text.aac").c_str(), dir.WFile(L"text.wav").c_str()));
    EXPECT_FALSE(platform::PathExists(dir.WFile(L"text.wav")));

    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"empty.aac"), ""));
    EXPECT_EQ(OnGetAACLength(dir.WFile(L"empty.aac").c_str(), &kbps), 0.0);
    EXPECT_FALSE(OnDecoderAAC(dir.WFile(L"empty.aac").c_str(), dir.WFile(L"empty.wav").c_str()));
    EXPECT_EQ(kbps, -7);
}

TEST(AacLength, NonSeekableSourceCountsAsOneSecond) {
    TempDir dir;
    const std::string fifo = dir.File("pipe.aac");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The writer end opens (blocking until the bridge opens the reading end) and closes at once.
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        if (fd >= 0) ::close(fd);
    });
    int kbps = -7;
    EXPECT_EQ(OnGetAACLength(platform::FromUtf8(fifo).c_str(), &kbps), 1.0);
    writer.join();
    EXPECT_EQ(kbps, -7);
}

TEST(AacPaths, PathChecksAndUnwritableTargets) {
    TempDir dir;
    int kbps = -7;
    EXPECT_FALSE(OnDecoderAAC(nullptr, dir.WFile(L"a.wav").c_str()));
    EXPECT_FALSE(OnDecoderAAC(L"", dir.WFile(L"a.wav").c_str()));
    EXPECT_FALSE(OnDecoderAAC(dir.WFile(L"missing.aac").c_str(), dir.WFile(L"a.wav").c_str()));
    EXPECT_FALSE(OnDecoderAAC(dir.WPath().c_str(), dir.WFile(L"a.wav").c_str()));
    EXPECT_FALSE(platform::PathExists(dir.WFile(L"a.wav")));
    EXPECT_EQ(OnGetAACLength(nullptr, &kbps), 0.0);
    EXPECT_EQ(OnGetAACLength(L"", &kbps), 0.0);
    EXPECT_EQ(OnGetAACLength(dir.WFile(L"missing.aac").c_str(), &kbps), 0.0);
    EXPECT_EQ(kbps, -7);

    const std::string src = dir.File("-t #1 'q\" ü 音.aac");
    ASSERT_TRUE(testsupport::MakeTone(src, 0.5, 440, 44100, 1));
    const std::wstring wsrc = platform::FromUtf8(src);
    const int64_t size = platform::FileSize(wsrc);
    EXPECT_FALSE(OnDecoderAAC(wsrc.c_str(), nullptr));
    EXPECT_FALSE(OnDecoderAAC(wsrc.c_str(), L""));
    EXPECT_FALSE(OnDecoderAAC(wsrc.c_str(), dir.WFile(L"no/such/dir/out.wav").c_str()));
    // Writing over the source would destroy it while it is read: refused, source intact.
    EXPECT_FALSE(OnDecoderAAC(wsrc.c_str(), wsrc.c_str()));
    EXPECT_EQ(platform::FileSize(wsrc), size);

    // Awkward names on both sides work.
    const std::wstring out = dir.WFile(L"-out #2 \"ü\".wav");
    EXPECT_TRUE(OnDecoderAAC(wsrc.c_str(), out.c_str()));
    const Wav w = ReadWav(platform::ToUtf8(out));
    EXPECT_TRUE(w.ok);
    EXPECT_GT(w.Frames(), 10000u);
    EXPECT_GT(OnGetAACLength(wsrc.c_str(), &kbps), 0.4);
    EXPECT_GT(kbps, 0);
}

TEST(AacDecode, ReportTellsWhatWasSkippedLostAndLeftOut) {
    TempDir dir;
    ASSERT_TRUE(testsupport::MakeTone(dir.File("tone.aac"), 2.0, 440, 44100, 2));
    std::string tone;
    ASSERT_TRUE(platform::ReadFileBytes(dir.WFile(L"tone.aac"), &tone));
    // Foreign bytes between two frames: nothing is lost, the bytes are passed over.
    const size_t boundary = AdtsFrameLengthAt(tone, 0) + AdtsFrameLengthAt(tone, AdtsFrameLengthAt(tone, 0));
    ASSERT_TRUE(platform::WriteFileBytes(
        dir.WFile(L"gap.aac"), tone.substr(0, boundary) + std::string(50, '\x55') + tone.substr(boundary)));
    aac::DecodeReport clean, gap;
    EXPECT_TRUE(aac::DecodeToWav(dir.WFile(L"tone.aac"), dir.WFile(L"tone.wav"), &clean));
    EXPECT_TRUE(aac::DecodeToWav(dir.WFile(L"gap.aac"), dir.WFile(L"gap.wav"), &gap)) << gap.error;
    EXPECT_EQ(gap.framesLost, 0u);
    EXPECT_EQ(gap.bytesSkipped, 50u);
    EXPECT_EQ(gap.framesDecoded, clean.framesDecoded);
    EXPECT_EQ(gap.samplesWritten, clean.samplesWritten);

    // A frame cut short in the middle of the stream is lost, and only that frame.
    const size_t third = boundary + AdtsFrameLengthAt(tone, boundary);
    ASSERT_TRUE(platform::WriteFileBytes(
        dir.WFile(L"cut.aac"),
        tone.substr(0, third + 20) + tone.substr(third + AdtsFrameLengthAt(tone, third))));
    aac::DecodeReport cut;
    EXPECT_FALSE(aac::DecodeToWav(dir.WFile(L"cut.aac"), dir.WFile(L"cut.wav"), &cut));
    EXPECT_EQ(cut.framesLost, 1u);
    EXPECT_EQ(cut.framesDecoded + 1, clean.framesDecoded);
    EXPECT_NEAR(cut.SecondsLost(), 1024.0 / 44100.0, 1e-9);
    EXPECT_TRUE(cut.error.empty());

    // Nothing decodable: an error, no file.
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"text.aac"), std::string(5000, 'x')));
    aac::DecodeReport none;
    EXPECT_FALSE(aac::DecodeToWav(dir.WFile(L"text.aac"), dir.WFile(L"text.wav"), &none));
    EXPECT_FALSE(none.error.empty());
}
