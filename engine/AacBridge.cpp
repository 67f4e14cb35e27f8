#include "engine/AacBridge.h"

#include <neaacdec.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace aac {

namespace {

// The decoder's minimum stream buffer for six channels (768 bytes per channel).
constexpr size_t kBufferSize = FAAD_MIN_STREAMSIZE * 6;

bool IsAdtsSync(const unsigned char* b) {
    return b[0] == 0xFF && (b[1] & 0xF6) == 0xF0;
}

constexpr size_t kAdtsHeaderSize = 7;

size_t AdtsFrameLength(const unsigned char* b) {
    return (static_cast<size_t>(b[3] & 0x03) << 11) | (static_cast<size_t>(b[4]) << 3) |
           (static_cast<size_t>(b[5]) >> 5);
}

// A plausible ADTS header at b (n bytes available): sync, a real sample rate and a frame at
// least as long as its header.
bool PlausibleHeader(const unsigned char* b, size_t n) {
    return n >= kAdtsHeaderSize && IsAdtsSync(b) && ((b[2] >> 2) & 0x0F) < 13 &&
           AdtsFrameLength(b) >= kAdtsHeaderSize;
}

// A header confirmed by its successor: the next frame starts right after it, or the data ends
// there (or lies beyond the buffered bytes, when `more` says the file continues).
bool ConfirmedHeader(const unsigned char* b, size_t n) {
    if (!PlausibleHeader(b, n)) return false;
    const size_t length = AdtsFrameLength(b);
    if (length == n) return true;
    if (length + 2 > n) return length <= n;
    return IsAdtsSync(b + length);
}

// The source file with its read buffer. Valid bytes always start at buffer[0].
class Reader {
public:
    Reader() = default;
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    ~Reader() {
        if (file_) std::fclose(file_);
    }

    bool Open(const std::string& path) {
        file_ = std::fopen(path.c_str(), "rbe");
        if (file_ == nullptr) return false;
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
        if (fseeko(file_, 0, SEEK_END) == 0) {
            const off_t end = ftello(file_);
            if (end >= 0 && fseeko(file_, 0, SEEK_SET) == 0) {
                fileSize_ = end;
                seekable_ = true;
            }
        }
        if (!seekable_) std::clearerr(file_);
        return true;
    }

    // Tops the buffer up from the file, never past the end set by Limit.
    void Fill() {
        while (valid_ < kBufferSize && !atEof_) {
            const uint64_t position = totalConsumed_ + valid_;
            if (position >= limit_) {
                atEof_ = true;
                break;
            }
            const size_t want =
                static_cast<size_t>(std::min<uint64_t>(kBufferSize - valid_, limit_ - position));
            const size_t got = std::fread(buffer_ + valid_, 1, want, file_);
            valid_ += got;
            if (got == 0) atEof_ = true;
        }
    }

    // Reading stops at this byte offset (a trailing tag is not stream data).
    void Limit(uint64_t end) { limit_ = end; }

    // The last `n` bytes of a seekable file, read without moving the stream. Empty otherwise.
    std::string Tail(size_t n) {
        std::string tail;
        if (!seekable_ || fileSize_ < static_cast<int64_t>(n)) return tail;
        const off_t here = ftello(file_);
        if (here < 0 || fseeko(file_, fileSize_ - static_cast<off_t>(n), SEEK_SET) != 0) return tail;
        tail.resize(n);
        tail.resize(std::fread(tail.data(), 1, n, file_));
        fseeko(file_, here, SEEK_SET);
        return tail;
    }

    // Consumes n bytes: from the buffer first, then straight from the file.
    void Advance(uint64_t n) {
        totalConsumed_ += n;
        if (n < valid_) {
            std::memmove(buffer_, buffer_ + n, valid_ - static_cast<size_t>(n));
            valid_ -= static_cast<size_t>(n);
            return;
        }
        uint64_t beyond = n - valid_;
        valid_ = 0;
        if (beyond == 0) return;
        if (seekable_ && beyond <= static_cast<uint64_t>(INT64_MAX) &&
            fseeko(file_, static_cast<off_t>(beyond), SEEK_CUR) == 0) {
            return;
        }
        unsigned char scratch[4096];
        while (beyond > 0 && !atEof_) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(beyond, sizeof(scratch)));
            const size_t got = std::fread(scratch, 1, want, file_);
            if (got == 0) atEof_ = true;
            beyond -= got;
        }
    }

    // Goes back to a byte offset of a seekable file and refills.
    bool Rewind(uint64_t offset) {
        if (!seekable_ || fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
        valid_ = 0;
        atEof_ = false;
        totalConsumed_ = offset;
        Fill();
        return true;
    }

    unsigned char* Data() { return buffer_; }
    bool AtEnd() const { return atEof_; }
    size_t Valid() const { return valid_; }
    bool Seekable() const { return seekable_; }
    int64_t FileSize() const { return fileSize_; }
    uint64_t TotalConsumed() const { return totalConsumed_; }

private:
    FILE* file_ = nullptr;
    unsigned char buffer_[kBufferSize];
    size_t valid_ = 0;
    uint64_t totalConsumed_ = 0;
    bool atEof_ = false;
    bool seekable_ = false;
    int64_t fileSize_ = -1;
    uint64_t limit_ = UINT64_MAX;
};

// Skips a leading ID3v2 tag; returns its size (0 when there is none). Leaves the buffer filled.
uint64_t SkipId3(Reader* in) {
    in->Fill();
    const uint64_t tag = Id3v2TagSize(in->Data(), in->Valid());
    if (tag > 0) {
        in->Advance(tag);
        in->Fill();
    }
    return tag;
}

// Walks the ADTS frame headers from the current position, refilling as it goes.
AdtsSummary WalkAdts(Reader* in) {
    AdtsSummary summary;
    bool first = true;
    while (true) {
        in->Fill();
        if (in->Valid() <= 7 || !IsAdtsSync(in->Data())) break;
        const unsigned char* b = in->Data();
        if (first) {
            summary.sampleRate = AdtsSampleRate((b[2] >> 2) & 0x0F);
            if (summary.sampleRate == 0) break;  // a reserved rate: not a frame
            first = false;
        }
        const size_t frameLength = (static_cast<size_t>(b[3] & 0x03) << 11) |
                                   (static_cast<size_t>(b[4]) << 3) | (static_cast<size_t>(b[5]) >> 5);
        // A frame shorter than its own header, or one the data does not hold, ends the scan.
        if (frameLength < kAdtsHeaderSize || frameLength > in->Valid()) break;
        summary.bytes += frameLength;
        ++summary.frames;
        in->Advance(frameLength);
    }
    FinishAdtsSummary(&summary);
    return summary;
}

bool IsExistingFile(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') return false;
    const std::wstring wide(path);
    return platform::PathExists(wide) && !platform::IsFolder(wide);
}

void PutLe16(std::vector<unsigned char>* out, uint32_t v) {
    out->push_back(static_cast<unsigned char>(v & 0xFF));
    out->push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

void PutLe32(std::vector<unsigned char>* out, uint32_t v) {
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

void PutTag(std::vector<unsigned char>* out, const char* tag) {
    out->insert(out->end(), tag, tag + 4);
}

// 16-bit PCM RIFF/WAVE writer. Sizes are written as zero first and filled in by Finish.
class WavWriter {
public:
    WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    ~WavWriter() {
        if (file_) std::fclose(file_);
    }

    bool Create(const std::string& path, unsigned long sampleRate, unsigned channels, bool surround51) {
        if (channels == 0 || sampleRate == 0 || sampleRate > 0xFFFFFFFFul / 2 / channels) return false;
        channels_ = channels;
        std::vector<unsigned char> h;
        h.reserve(80);  // the longest header; also keeps GCC's overflow checker from a false alarm
        const uint32_t blockAlign = channels * 2;
        PutTag(&h, "RIFF");
        PutLe32(&h, 0);
        PutTag(&h, "WAVE");
        PutTag(&h, "fmt ");
        PutLe32(&h, surround51 ? 40 : 16);
        PutLe16(&h, surround51 ? 0xFFFE : 1);
        PutLe16(&h, channels);
        PutLe32(&h, static_cast<uint32_t>(sampleRate));
        PutLe32(&h, static_cast<uint32_t>(sampleRate * blockAlign));
        PutLe16(&h, blockAlign);
        PutLe16(&h, 16);
        if (surround51) {
            static const unsigned char kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                            0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
            PutLe16(&h, 22);  // extension size
            PutLe16(&h, 16);  // valid bits per sample
            PutLe32(&h, 63);  // front left, right, centre, LFE, back left, right
            h.insert(h.end(), kPcmSubFormat, kPcmSubFormat + 16);
        }
        PutTag(&h, "data");
        PutLe32(&h, 0);
        headerSize_ = h.size();

        file_ = std::fopen(path.c_str(), "wbe");
        if (file_ == nullptr) return false;
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 18);
        if (std::fwrite(h.data(), 1, h.size(), file_) != h.size()) ioError_ = true;
        return true;
    }

    bool IsOpen() const { return file_ != nullptr; }
    unsigned Channels() const { return channels_; }

    void Write(const int16_t* samples, size_t count) {
        if (file_ == nullptr || ioError_ || count == 0) return;
        if (std::fwrite(samples, sizeof(int16_t), count, file_) != count) ioError_ = true;
        dataBytes_ += count * sizeof(int16_t);
    }

    // Fills in the RIFF and data sizes (clamped to what 32 bits can say) and closes the file.
    bool Finish() {
        if (file_ == nullptr) return false;
        const uint64_t riff = std::min<uint64_t>(headerSize_ - 8 + dataBytes_, 0xFFFFFFFFull);
        const uint64_t data = std::min<uint64_t>(dataBytes_, 0xFFFFFFFFull);
        std::vector<unsigned char> v;
        PutLe32(&v, static_cast<uint32_t>(riff));
        PutLe32(&v, static_cast<uint32_t>(data));
        if (std::fseek(file_, 4, SEEK_SET) != 0 || std::fwrite(v.data(), 1, 4, file_) != 4) ioError_ = true;
        if (std::fseek(file_, static_cast<long>(headerSize_ - 4), SEEK_SET) != 0 ||
            std::fwrite(v.data() + 4, 1, 4, file_) != 4) {
            ioError_ = true;
        }
        if (std::fclose(file_) != 0) ioError_ = true;
        file_ = nullptr;
        return !ioError_;
    }

private:
    FILE* file_ = nullptr;
    unsigned channels_ = 0;
    size_t headerSize_ = 0;
    uint64_t dataBytes_ = 0;
    bool ioError_ = false;
};

// For a 5.1 frame, the decoder's channel index for each WAV position (L, R, C, LFE, back L, back R).
// False when the positions do not describe 5.1.
bool WavOrder51(const NeAACDecFrameInfo& info, int order[6]) {
    std::fill(order, order + 6, -1);
    for (int ch = 0; ch < 6; ++ch) {
        int slot = -1;
        switch (info.channel_position[ch]) {
            case FRONT_CHANNEL_LEFT:
                slot = 0;
                break;
            case FRONT_CHANNEL_RIGHT:
                slot = 1;
                break;
            case FRONT_CHANNEL_CENTER:
                slot = 2;
                break;
            case LFE_CHANNEL:
                slot = 3;
                break;
            case BACK_CHANNEL_LEFT:
            case SIDE_CHANNEL_LEFT:
                slot = 4;
                break;
            case BACK_CHANNEL_RIGHT:
            case SIDE_CHANNEL_RIGHT:
                slot = 5;
                break;
            default:
                return false;
        }
        if (order[slot] != -1) return false;
        order[slot] = ch;
    }
    return true;
}

bool DecodeFile(const std::wstring& source, const std::wstring& wavPath, DecodeReport* report) {
    const std::string sourceUtf8 = platform::ToUtf8(source);
    const std::string wavUtf8 = platform::ToUtf8(wavPath);
    if (wavUtf8.empty()) return false;
    // Writing the WAV over the source would destroy it while it is being read.
    std::error_code ec;
    if (std::filesystem::equivalent(sourceUtf8, wavUtf8, ec)) return false;

    Reader in;
    if (!in.Open(sourceUtf8)) {
        report->error = "the source cannot be read";
        return false;
    }
    // A trailing ID3v1 tag (128 bytes from "TAG") is not stream data.
    const std::string tail = in.Tail(128);
    if (tail.size() == 128 && tail.compare(0, 3, "TAG") == 0) {
        in.Limit(static_cast<uint64_t>(in.FileSize()) - 128);
        report->trailingTagIgnored = true;
    }
    const uint64_t tagSize = SkipId3(&in);

    NeAACDecHandle decoder = NeAACDecOpen();
    if (decoder == nullptr) return false;
    NeAACDecConfigurationPtr config = NeAACDecGetCurrentConfiguration(decoder);
    config->defObjectType = LC;
    config->outputFormat = FAAD_FMT_16BIT;
    config->downMatrix = 0;
    config->useOldADTSFormat = 0;
    NeAACDecSetConfiguration(decoder, config);

    // Length estimate of the stream (not needed by the decoding itself).
    double lengthSeconds = 0.0;
    const bool adts = in.Valid() >= 2 && IsAdtsSync(in.Data());
    if (adts) {
        if (in.Seekable()) {
            lengthSeconds = WalkAdts(&in).seconds;
            in.Rewind(tagSize);
        }
    } else if (in.Valid() >= 4 && std::memcmp(in.Data(), "ADIF", 4) == 0) {
        const unsigned char* b = in.Data();
        const size_t skip = (in.Valid() > 4 && (b[4] & 0x80)) ? 9 : 0;
        if (in.Valid() >= 8 + skip) {
            const unsigned long bitRate = (static_cast<unsigned long>(b[4 + skip] & 0x0F) << 19) |
                                          (static_cast<unsigned long>(b[5 + skip]) << 11) |
                                          (static_cast<unsigned long>(b[6 + skip]) << 3) |
                                          (static_cast<unsigned long>(b[7 + skip]) & 0xE0);
            if (bitRate > 0 && in.FileSize() > 0) {
                lengthSeconds = static_cast<double>(in.FileSize()) * 8.0 / static_cast<double>(bitRate);
            }
        }
    }
    (void)lengthSeconds;

    unsigned long sampleRate = 0;
    unsigned char channels = 0;
    const long skipped =
        NeAACDecInit(decoder, in.Data(), static_cast<unsigned long>(in.Valid()), &sampleRate, &channels);
    if (skipped < 0) {
        NeAACDecClose(decoder);
        report->error = "not an AAC stream the decoder accepts";
        return false;
    }
    in.Advance(static_cast<uint64_t>(skipped));
    in.Fill();

    WavWriter wav;
    bool ok = true;
    bool created = false;
    bool surround = false;
    int order[6] = {0, 1, 2, 3, 4, 5};
    std::vector<int16_t> reordered;
    int lastPercent = 0;
    char progressText[512];
    const std::string sourceName = std::filesystem::path(sourceUtf8).filename().string();
    unsigned firstRateIndex = 16, firstChannelConfig = 8;

    while (in.Valid() > 0) {
        if (adts) {
            // Resynchronise: skip to the next header that its successor confirms. Skipped bytes
            // that began with a header were a damaged frame; anything else was not audio.
            if (!PlausibleHeader(in.Data(), in.Valid())) {
                if (in.Valid() >= 2 && IsAdtsSync(in.Data())) ++report->framesLost;
                auto drop = [&](size_t n) {
                    report->bytesSkipped += n;
                    in.Advance(n);
                    in.Fill();
                };
                size_t at = 1;
                while (in.Valid() > 0) {
                    while (at < in.Valid() && !PlausibleHeader(in.Data() + at, in.Valid() - at)) ++at;
                    if (at >= in.Valid()) {
                        if (in.AtEnd()) {
                            drop(in.Valid());  // nothing more to find
                            break;
                        }
                        // The last bytes may begin a header: keep them and read on.
                        const size_t keep = std::min(kAdtsHeaderSize - 1, in.Valid());
                        drop(in.Valid() - keep);
                        at = 0;
                        continue;
                    }
                    const size_t length = AdtsFrameLength(in.Data() + at);
                    if (ConfirmedHeader(in.Data() + at, in.Valid() - at)) {
                        drop(at);
                        break;
                    }
                    if (at > 0 && length + 2 > in.Valid() - at && !in.AtEnd()) {
                        // The candidate's frame reaches past the buffered bytes: bring it to the
                        // front and judge it whole.
                        drop(at);
                        at = 0;
                        if (ConfirmedHeader(in.Data(), in.Valid())) break;
                    }
                    ++at;
                }
                continue;
            }
            if (!ConfirmedHeader(in.Data(), in.Valid())) {
                // A frame cut short: the next confirmed header lies inside the length this one
                // claims. The frame is lost; decoding it would swallow the start of the next.
                const size_t limit = std::min(AdtsFrameLength(in.Data()), in.Valid());
                size_t next = 1;
                while (next < limit && !ConfirmedHeader(in.Data() + next, in.Valid() - next)) ++next;
                if (next < limit) {
                    ++report->framesLost;
                    report->bytesSkipped += next;
                    in.Advance(next);
                    in.Fill();
                    continue;
                }
            }
            const unsigned char* b = in.Data();
            const unsigned rateIndex = (b[2] >> 2) & 0x0F;
            const unsigned channelConfig = ((b[2] & 0x01) << 2) | (b[3] >> 6);
            if (firstRateIndex == 16) {
                firstRateIndex = rateIndex;
                firstChannelConfig = channelConfig;
            } else if (rateIndex != firstRateIndex || channelConfig != firstChannelConfig) {
                // One WAV holds one format: the rest is reported, never written at the first rate.
                report->formatChanged = true;
                report->newSampleRate = AdtsSampleRate(rateIndex);
                report->newChannelConfig = channelConfig;
                break;
            }
        }

        NeAACDecFrameInfo info{};
        const size_t headerLength = adts ? AdtsFrameLength(in.Data()) : 0;
        void* samples = NeAACDecDecode(decoder, &info, in.Data(), static_cast<unsigned long>(in.Valid()));
        uint64_t consumed = std::min<uint64_t>(info.bytesconsumed, in.Valid());
        if (adts && (info.error != 0 || consumed == 0)) {
            // A frame the decoder refused: counted as lost, passed over by its own length.
            ++report->framesLost;
            consumed = std::min<uint64_t>(headerLength, in.Valid());
        }
        in.Advance(consumed);

        if (!created && info.error == 0) {
            surround = info.channels == 6 && info.num_lfe_channels > 0;
            if (!wav.Create(wavUtf8, info.samplerate, info.channels, surround)) {
                report->error = std::string("the output file cannot be created: ") + std::strerror(errno);
                ok = false;
                break;
            }
            created = true;
            report->sampleRate = info.samplerate;
            report->channels = info.channels;
        }
        if (created && info.error == 0 &&
            (info.channels != wav.Channels() || info.samplerate != report->sampleRate)) {
            report->formatChanged = true;  // the channel count or rate may not change within one file
            report->newSampleRate = info.samplerate;
            report->newChannelConfig = info.channels;
            break;
        }

        if (in.FileSize() > 0) {
            const int percent = static_cast<int>(
                std::min<uint64_t>(100, in.TotalConsumed() * 100 / static_cast<uint64_t>(in.FileSize())));
            if (percent > lastPercent) {
                lastPercent = percent;
                std::snprintf(progressText, sizeof(progressText), "%d%% decoding %s.", percent,
                              sourceName.c_str());
            }
        }

        if (created && info.error == 0 && info.samples > 0 && samples != nullptr) {
            const auto* pcm = static_cast<const int16_t*>(samples);
            ++report->framesDecoded;
            report->samplesWritten += info.samples / std::max<unsigned char>(info.channels, 1);
            if (surround && WavOrder51(info, order)) {
                reordered.resize(info.samples);
                for (size_t i = 0; i + 6 <= info.samples; i += 6) {
                    for (int c = 0; c < 6; ++c) reordered[i + c] = pcm[i + order[c]];
                }
                wav.Write(reordered.data(), info.samples);
            } else {
                wav.Write(pcm, info.samples);
            }
        }

        in.Fill();
        if (!adts && samples == nullptr) break;         // the frame could not be decoded
        if (consumed == 0 && info.samples == 0) break;  // no progress: stop instead of spinning
    }

    NeAACDecClose(decoder);
    if (!created) {
        if (report->error.empty()) report->error = "no decodable AAC frame";
        return false;
    }
    if (!wav.Finish() || !ok) {
        report->error = "the WAV file could not be written completely";
        return false;
    }
    return report->framesLost == 0 && !report->formatChanged;
}

}  // namespace

unsigned AdtsSampleRate(unsigned index) {
    static const unsigned kRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                        16000, 12000, 11025, 8000,  7350,  0,     0,     0};
    return index < 16 ? kRates[index] : 0;
}

void FinishAdtsSummary(AdtsSummary* s) {
    const double framesPerSecond = static_cast<double>(s->sampleRate) / 1024.0;
    s->seconds = framesPerSecond > 0.0 ? static_cast<double>(s->frames) / framesPerSecond : 1.0;
    if (s->frames == 0) {
        s->kbitPerSecond = 0;
        return;
    }
    const double bytesPerFrame = static_cast<double>(s->bytes) / (static_cast<double>(s->frames) * 1000.0);
    s->kbitPerSecond = static_cast<int>(bytesPerFrame * 8.0 * framesPerSecond + 0.5);
}

uint64_t Id3v2TagSize(const unsigned char* data, size_t size) {
    if (data == nullptr || size < 10 || data[0] != 0x49 || data[1] != 0x44 || data[2] != 0x33) return 0;
    // Four 7-bit ("sync-safe") size bytes, then the 10-byte header itself.
    const uint64_t body =
        (static_cast<uint64_t>(data[6] & 0x7F) << 21) | (static_cast<uint64_t>(data[7] & 0x7F) << 14) |
        (static_cast<uint64_t>(data[8] & 0x7F) << 7) | static_cast<uint64_t>(data[9] & 0x7F);
    return body + 10;
}

}  // namespace aac

namespace aac {

bool DecodeToWav(const std::wstring& source, const std::wstring& wavPath, DecodeReport* report) {
    DecodeReport local;
    DecodeReport* r = report != nullptr ? report : &local;
    *r = DecodeReport{};
    if (source.empty() || !IsExistingFile(source.c_str())) {
        r->error = "the source is not an existing file";
        return false;
    }
    return DecodeFile(source, wavPath, r);
}

}  // namespace aac

extern "C" bool OnDecoderAAC(const wchar_t* sourcePath, const wchar_t* wavPath) {
    if (!aac::IsExistingFile(sourcePath) || wavPath == nullptr) return false;
    aac::DecodeReport report;
    return aac::DecodeFile(sourcePath, wavPath, &report);
}

extern "C" double OnGetAACLength(const wchar_t* sourcePath, int* bitRate) {
    if (!aac::IsExistingFile(sourcePath)) return 0.0;
    aac::Reader in;
    if (!in.Open(platform::ToUtf8(sourcePath))) return 0.0;
    if (!in.Seekable()) return 1.0;
    aac::SkipId3(&in);
    if (in.Valid() < 2 || !aac::IsAdtsSync(in.Data())) return 0.0;
    const aac::AdtsSummary summary = aac::WalkAdts(&in);
    if (summary.frames == 0) return 0.0;  // a sync word alone is not a stream
    if (bitRate != nullptr) *bitRate = summary.kbitPerSecond;
    return summary.seconds;
}
