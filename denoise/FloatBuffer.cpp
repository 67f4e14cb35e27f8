#include "denoise/FloatBuffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace denoise {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

bool BytesFor(size_t count, size_t* bytes) {
    if (count > std::numeric_limits<size_t>::max() / sizeof(float) - kHugePage) return false;
    *bytes = count * sizeof(float);
    return true;
}

[[maybe_unused]] void AdviseHuge(void* data, size_t bytes) {
#ifdef MADV_HUGEPAGE
    if (bytes >= kHugePage) ::madvise(data, bytes, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace

FloatBuffer::~FloatBuffer() {
    Free();
}

FloatBuffer::FloatBuffer(FloatBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      bytes_(std::exchange(other.bytes_, 0)) {}

FloatBuffer& FloatBuffer::operator=(FloatBuffer&& other) noexcept {
    if (this != &other) {
        Free();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        bytes_ = std::exchange(other.bytes_, 0);
    }
    return *this;
}

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer the heap is used instead, so that every access is checked.
bool FloatBuffer::Allocate(size_t count) {
    Free();
    if (count == 0) return true;
    size_t bytes = 0;
    if (!BytesFor(count, &bytes)) return false;
    void* p = std::calloc(count, sizeof(float));
    if (p == nullptr) return false;
    data_ = static_cast<float*>(p);
    size_ = count;
    bytes_ = bytes;
    return true;
}

bool FloatBuffer::Resize(size_t count) {
    if (data_ == nullptr) return Allocate(count);
    if (count == 0) {
        Free();
        return true;
    }
    size_t bytes = 0;
    if (!BytesFor(count, &bytes)) return false;
    void* p = std::realloc(data_, bytes);
    if (p == nullptr) return false;
    data_ = static_cast<float*>(p);
    if (count > size_) std::memset(data_ + size_, 0, (count - size_) * sizeof(float));
    size_ = count;
    bytes_ = bytes;
    return true;
}

void FloatBuffer::Free() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    bytes_ = 0;
}
#else
bool FloatBuffer::Allocate(size_t count) {
    Free();
    if (count == 0) return true;
    size_t bytes = 0;
    if (!BytesFor(count, &bytes)) return false;
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return false;
    AdviseHuge(p, bytes);
    data_ = static_cast<float*>(p);
    size_ = count;
    bytes_ = bytes;
    return true;
}

bool FloatBuffer::Resize(size_t count) {
    if (data_ == nullptr) return Allocate(count);
    if (count == 0) {
        Free();
        return true;
    }
    size_t bytes = 0;
    if (!BytesFor(count, &bytes)) return false;
    if (count < size_) {
        // Values beyond the new size must read as zero if the buffer grows again.
        std::memset(data_ + count, 0, (size_ - count) * sizeof(float));
        size_ = count;
        return true;
    }
    if (bytes <= bytes_) {
        size_ = count;
        return true;
    }
    void* p = ::mremap(data_, bytes_, bytes, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) return false;
    AdviseHuge(p, bytes);
    data_ = static_cast<float*>(p);
    size_ = count;
    bytes_ = bytes;
    return true;
}

void FloatBuffer::Free() {
    if (data_ != nullptr) ::munmap(data_, bytes_);
    data_ = nullptr;
    size_ = 0;
    bytes_ = 0;
}
#endif

}  // namespace denoise
