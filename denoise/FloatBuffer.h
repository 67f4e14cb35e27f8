// A large zero-filled float array taken straight from the kernel. Multi-megabyte sample buffers
// would otherwise be zeroed by hand and then faulted in page by page; here the kernel supplies
// zeroed memory, backed by huge pages where it can.
#pragma once

#include <cstddef>

namespace denoise {

class FloatBuffer {
public:
    FloatBuffer() = default;
    ~FloatBuffer();
    FloatBuffer(const FloatBuffer&) = delete;
    FloatBuffer& operator=(const FloatBuffer&) = delete;
    FloatBuffer(FloatBuffer&& other) noexcept;
    FloatBuffer& operator=(FloatBuffer&& other) noexcept;

    // Replaces the contents with `count` zeros. False (and empty) when the memory cannot be had or
    // the byte size would overflow.
    bool Allocate(size_t count);
    // Changes the size to `count`, keeping the first min(old, new) values; new values are zero.
    bool Resize(size_t count);
    void Free();

    float* data() { return data_; }
    const float* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

private:
    float* data_ = nullptr;
    size_t size_ = 0;   // values in use
    size_t bytes_ = 0;  // bytes mapped
};

}  // namespace denoise
