// Sample streams for the noise reducer: it reads its input twice (once to estimate the noise, once
// to filter) and writes its output in order, so a whole file never has to be held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace denoise {

// Interleaved float samples read in order.
class SampleSource {
public:
    virtual ~SampleSource() = default;
    // Reads up to `count` values into `out`; fewer only at the end of the stream. Returns the
    // number read, or -1 when reading failed.
    virtual int64_t Read(float* out, size_t count) = 0;
    // Goes back to the first value. False when the source cannot be read again.
    virtual bool Restart() = 0;
};

// Receives output samples in order.
class SampleSink {
public:
    virtual ~SampleSink() = default;
    virtual bool Write(const float* values, size_t count) = 0;
};

// Samples already in memory.
class MemorySource final : public SampleSource {
public:
    MemorySource(const float* samples, uint64_t count) : samples_(samples), count_(count) {}
    int64_t Read(float* out, size_t count) override {
        const uint64_t left = count_ - position_;
        const size_t n = left < count ? static_cast<size_t>(left) : count;
        if (n > 0) std::memcpy(out, samples_ + position_, n * sizeof(float));
        position_ += n;
        return static_cast<int64_t>(n);
    }
    bool Restart() override {
        position_ = 0;
        return true;
    }

private:
    const float* samples_;
    uint64_t count_;
    uint64_t position_ = 0;
};

// Writes into an array of `capacity` values; refuses to write past its end.
class MemorySink final : public SampleSink {
public:
    MemorySink(float* output, uint64_t capacity) : output_(output), capacity_(capacity) {}
    bool Write(const float* values, size_t count) override {
        if (count > capacity_ - position_) return false;
        if (count > 0) std::memmove(output_ + position_, values, count * sizeof(float));
        position_ += count;
        return true;
    }

private:
    float* output_;
    uint64_t capacity_;
    uint64_t position_ = 0;
};

}  // namespace denoise
