// In-process handling of raw AAC files (ADTS or ADIF streams without a container) through FAAD2:
// decoding to a 16-bit PCM WAV, and measuring the duration and bit rate of an ADTS stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#define TW_AAC_EXPORT __attribute__((visibility("default")))

extern "C" {

// Decodes the whole source into a 16-bit PCM RIFF/WAVE file at the stream's sample rate and channel
// count (a 5.1 stream gets the extensible header with channel mask 63, channels in WAV order).
// Returns false for a null or empty source path or one that is not an existing file, and whenever
// the WAV file could not be written completely; true when it was. Callers may also judge by the
// WAV file itself.
TW_AAC_EXPORT bool OnDecoderAAC(const wchar_t* sourcePath, const wchar_t* wavPath);

// Duration in seconds of an ADTS stream, found by walking all its frame headers; the average bit
// rate in kbit/s goes to *bitRate. The walk ends at a frame shorter than its header or one the
// file does not hold; a stream without one valid frame gives 0. A source that cannot be seeked
// gives 1.0 and leaves *bitRate alone; any other stream type, or a failed path check, gives 0
// and leaves *bitRate alone.
TW_AAC_EXPORT double OnGetAACLength(const wchar_t* sourcePath, int* bitRate);
}

namespace aac {

// Result of walking the ADTS frame headers from the current read position.
struct AdtsSummary {
    uint64_t frames = 0;
    uint64_t bytes = 0;
    unsigned sampleRate = 0;  // from the first header's sampling-frequency index
    double seconds = 0.0;     // frames ÷ (rate ÷ 1024); 1 when the rate is unknown
    int kbitPerSecond = 0;    // 0 when there are no frames
};

// Sample rate of an ADTS sampling-frequency index (0 for the reserved ones).
unsigned AdtsSampleRate(unsigned index);
// Duration and average bit rate from a frame count, byte sum and sample rate.
void FinishAdtsSummary(AdtsSummary* summary);
// Size of an ID3v2 tag at the start of `data` (header included), 0 when there is none.
uint64_t Id3v2TagSize(const unsigned char* data, size_t size);

// What a decode did. An ADTS stream is resynchronised on the next confirmed frame after damaged
// or foreign bytes; a trailing ID3v1 tag is left out; a change of sample rate or channels ends
// the output there (one WAV holds one format) and is reported.
struct DecodeReport {
    uint64_t framesDecoded = 0;
    uint64_t framesLost = 0;       // frames that began with a header but could not be decoded
    uint64_t bytesSkipped = 0;     // bytes passed over while resynchronising
    uint64_t samplesWritten = 0;   // per channel
    unsigned long sampleRate = 0;  // of the WAV
    unsigned channels = 0;
    bool trailingTagIgnored = false;
    bool formatChanged = false;
    unsigned long newSampleRate = 0;  // the format met where the output stopped
    unsigned newChannelConfig = 0;
    std::string error;  // why nothing (or not everything) could be written; empty otherwise
    // Seconds of audio lost in damaged frames (1024 samples each).
    double SecondsLost() const { return sampleRate ? double(framesLost) * 1024.0 / double(sampleRate) : 0.0; }
    double SecondsWritten() const { return sampleRate ? double(samplesWritten) / double(sampleRate) : 0.0; }
};
// Decodes like OnDecoderAAC and fills `report`. True only when the whole stream was written: no
// frame lost, no format change, the WAV complete.
bool DecodeToWav(const std::wstring& source, const std::wstring& wavPath, DecodeReport* report);

}  // namespace aac
