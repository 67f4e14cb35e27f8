#include "denoise/SoundFile.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "platform/Platform.h"

// Samples go to the file as they are in memory; WAV is little-endian.
static_assert(std::endian::native == std::endian::little, "float WAV data is written in host order");

namespace denoise {

// The input file behind the audio library: it asks for a few kilobytes at a time, which are served
// from a buffer filled a mebibyte at a time, so that a long file is not read in thousands of small
// system calls.
struct AudioFileReader::BufferedInput {
    static constexpr size_t kBufferBytes = size_t(1) << 20;
    int fd = -1;
    sf_count_t size = 0;
    sf_count_t position = 0;
    sf_count_t bufferStart = 0;  // file offset of buffer[0]
    size_t bufferLength = 0;
    std::vector<unsigned char> buffer;

    ~BufferedInput() {
        if (fd >= 0) ::close(fd);
    }

    static sf_count_t Length(void* self) { return static_cast<BufferedInput*>(self)->size; }
    static sf_count_t Tell(void* self) { return static_cast<BufferedInput*>(self)->position; }
    static sf_count_t Seek(sf_count_t offset, int whence, void* self) {
        auto* in = static_cast<BufferedInput*>(self);
        sf_count_t base = 0;
        if (whence == SEEK_CUR) base = in->position;
        if (whence == SEEK_END) base = in->size;
        if (offset < -base) return -1;
        in->position = base + offset;
        return in->position;
    }
    static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t Read(void* out, sf_count_t count, void* self) {
        auto* in = static_cast<BufferedInput*>(self);
        auto* to = static_cast<unsigned char*>(out);
        sf_count_t done = 0;
        while (done < count) {
            const sf_count_t at = in->position;
            if (at >= in->bufferStart && at < in->bufferStart + static_cast<sf_count_t>(in->bufferLength)) {
                const size_t offset = static_cast<size_t>(at - in->bufferStart);
                const size_t n = std::min(in->bufferLength - offset, static_cast<size_t>(count - done));
                std::memcpy(to + done, in->buffer.data() + offset, n);
                done += static_cast<sf_count_t>(n);
                in->position += static_cast<sf_count_t>(n);
                continue;
            }
            ssize_t got;
            do {
                got = ::pread(in->fd, in->buffer.data(), in->buffer.size(), static_cast<off_t>(at));
            } while (got < 0 && errno == EINTR);
            if (got <= 0) break;  // the end, or an error the library sees as a short read
            in->bufferStart = at;
            in->bufferLength = static_cast<size_t>(got);
        }
        return done;
    }
};

AudioFileReader::~AudioFileReader() {
    Close();
}

void AudioFileReader::Close() {
    if (file_ != nullptr) sf_close(file_);
    file_ = nullptr;
    delete input_;
    input_ = nullptr;
    carryAt_ = carryEnd_ = 0;
}

// The file is opened by us and read for the audio library through BufferedInput, so that no name
// (such as "-") takes on a special meaning inside it. Only regular files: a FIFO could block the open.
bool AudioFileReader::OpenFile() {
    Close();
    if (!platform::IsRegularFile(platform::FromUtf8(path_))) {
        error_ = FileError::NotFound;
        return false;
    }
    error_ = FileError::NotReadable;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        ::close(fd);
        return false;
    }
    device_ = static_cast<uint64_t>(status.st_dev);
    inode_ = static_cast<uint64_t>(status.st_ino);
    input_ = new (std::nothrow) BufferedInput;
    if (input_ == nullptr) {
        ::close(fd);
        return false;
    }
    input_->fd = fd;
    input_->size = static_cast<sf_count_t>(status.st_size);
    try {
        input_->buffer.resize(BufferedInput::kBufferBytes);
    } catch (const std::bad_alloc&) {
        Close();
        return false;
    }
    SF_VIRTUAL_IO io{&BufferedInput::Length, &BufferedInput::Seek, &BufferedInput::Read,
                     &BufferedInput::Write, &BufferedInput::Tell};
    SF_INFO info{};
    file_ = sf_open_virtual(&io, SFM_READ, &info, input_);
    if (file_ == nullptr) {
        Close();
        error_ = FileError::NotAudio;
        return false;
    }
    // Refused before anything is sized by them: a rate or channel count no real file has.
    if (info.channels <= 0 || info.samplerate <= 0 || static_cast<unsigned>(info.channels) > kMaxChannels ||
        static_cast<unsigned>(info.samplerate) > kMaxSampleRate) {
        Close();
        channels_ = info.channels > 0 ? static_cast<unsigned>(info.channels) : 0;
        sampleRate_ = info.samplerate > 0 ? static_cast<unsigned>(info.samplerate) : 0;
        error_ = FileError::BadLayout;
        return false;
    }
    channels_ = static_cast<unsigned>(info.channels);
    sampleRate_ = static_cast<unsigned>(info.samplerate);
    frameHint_ = info.frames > 0 ? static_cast<uint64_t>(info.frames) : 0;
    error_ = FileError::None;
    return true;
}

bool AudioFileReader::Open(const std::wstring& path) {
    failed_ = false;
    path_ = platform::ToUtf8(path);
    if (path.empty() || !OpenFile()) return false;
    try {
        carry_.assign(channels_, 0.0f);
    } catch (const std::bad_alloc&) {
        Close();
        return false;
    }
    return true;
}

bool AudioFileReader::IsSameFile(const std::wstring& path) const {
    struct stat status {};
    return file_ != nullptr && ::stat(platform::ToUtf8(path).c_str(), &status) == 0 &&
           static_cast<uint64_t>(status.st_dev) == device_ && static_cast<uint64_t>(status.st_ino) == inode_;
}

bool AudioFileReader::Restart() {
    const unsigned channels = channels_, rate = sampleRate_;
    const uint64_t device = device_, inode = inode_;
    failed_ =
        !OpenFile() || channels_ != channels || sampleRate_ != rate || device_ != device || inode_ != inode;
    if (failed_) {
        Close();
        error_ = FileError::Changed;
    }
    return !failed_;
}

int64_t AudioFileReader::Read(float* out, size_t count) {
    if (file_ == nullptr || failed_) return -1;
    size_t done = 0;
    while (done < count && carryAt_ < carryEnd_) out[done++] = carry_[carryAt_++];
    const size_t whole = (count - done) / channels_ * channels_;
    if (whole > 0) {
        const sf_count_t got = sf_read_float(file_, out + done, static_cast<sf_count_t>(whole));
        if (got < 0) failed_ = true;
        if (got > 0) done += static_cast<size_t>(got);
    }
    if (!failed_ && done < count && carryAt_ == carryEnd_) {
        // The request ends inside a frame: read that frame aside and hand out its first values.
        const sf_count_t got = sf_read_float(file_, carry_.data(), static_cast<sf_count_t>(channels_));
        if (got > 0) {
            carryAt_ = 0;
            carryEnd_ = static_cast<size_t>(got);
            while (done < count && carryAt_ < carryEnd_) out[done++] = carry_[carryAt_++];
        }
    }
    if (failed_ || sf_error(file_) != SF_ERR_NO_ERROR) {
        failed_ = true;
        error_ = FileError::NotReadable;
        return -1;
    }
    return static_cast<int64_t>(done);
}

bool ReadAudioFile(const std::wstring& path, AudioBuffer* audio) {
    if (audio == nullptr) return false;
    AudioFileReader reader;
    if (!reader.Open(path)) return false;
    std::vector<float>& samples = audio->samples;
    samples.clear();
    try {
        // The header's count is only trusted for a first reservation of sensible size.
        const uint64_t hint = reader.FrameHint() * reader.Channels();
        if (hint / reader.Channels() == reader.FrameHint() && hint <= (uint64_t(1) << 28)) {
            samples.reserve(static_cast<size_t>(hint));
        }
        constexpr size_t kChunk = size_t(1) << 16;
        while (true) {
            const size_t have = samples.size();
            samples.resize(have + kChunk);
            const int64_t got = reader.Read(samples.data() + have, kChunk);
            if (got < 0) {
                samples.clear();
                return false;
            }
            samples.resize(have + static_cast<size_t>(got));
            if (static_cast<size_t>(got) < kChunk) break;
        }
    } catch (const std::bad_alloc&) {
        samples.clear();
        samples.shrink_to_fit();
        return false;
    }
    audio->channels = reader.Channels();
    audio->sampleRate = reader.SampleRate();
    return true;
}

namespace {

constexpr size_t kHeaderBytes = 58;  // RIFF + "fmt " (18 bytes) + "fact" + "data" headers

void PutLe(unsigned char* at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

bool WriteAll(int fd, const void* data, size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (bytes > 0) {
        const ssize_t n = ::write(fd, p, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

// Temporary output files being written, for RemovePendingOutputs. A slot is claimed with `used`,
// filled, then published with `ready`; the signal handler only reads published slots.
namespace {

constexpr int kPendingSlots = 32;
struct PendingSlot {
    std::atomic<bool> used{false};
    std::atomic<bool> ready{false};
    char path[PATH_MAX] = {};
};
PendingSlot g_pending[kPendingSlots];
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads the flags");

int AddPending(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kPendingSlots; ++i) {
        bool expected = false;
        if (!g_pending[i].used.compare_exchange_strong(expected, true)) continue;
        std::memcpy(g_pending[i].path, path.c_str(), path.size() + 1);
        g_pending[i].ready.store(true, std::memory_order_release);
        return i;
    }
    return -1;  // more outputs at once than slots: those are just not removed on a signal
}

void DropPending(int slot) {
    if (slot < 0) return;
    g_pending[slot].ready.store(false, std::memory_order_release);
    g_pending[slot].used.store(false, std::memory_order_release);
}

std::atomic<unsigned> g_temporaryCounter{0};

// The folder part of `path` with its trailing "/" ("" for a bare name).
std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsSpaceError(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

}  // namespace

void RemovePendingOutputs() {
    for (PendingSlot& slot : g_pending) {
        if (slot.ready.load(std::memory_order_acquire)) ::unlink(slot.path);
    }
}

FloatWavWriter::~FloatWavWriter() {
    if (fd_ >= 0) Abort();
}

void FloatWavWriter::Fail(FileError error, int systemError) {
    failed_ = true;
    if (error_ == FileError::None) {
        error_ = error;
        errno_ = systemError;
    }
}

void FloatWavWriter::RemoveTemporary() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    DropPending(pending_);
    pending_ = -1;
    temporary_.clear();
}

bool FloatWavWriter::Open(const std::wstring& path, unsigned channels, unsigned sampleRate, uint64_t count) {
    if (fd_ >= 0 || path.empty() || channels == 0 || channels > 0xFFFF || sampleRate == 0) return false;
    failed_ = false;
    error_ = FileError::None;
    errno_ = 0;
    if (count % channels != 0) {
        Fail(FileError::TooLarge, 0);
        return false;
    }
    // RIFF sizes are 32-bit: refuse what the header cannot describe instead of wrapping around.
    const uint64_t blockAlign = uint64_t(channels) * sizeof(float);
    const uint64_t byteRate = uint64_t(sampleRate) * blockAlign;
    if (count > (0xFFFFFFFFull - kHeaderBytes) / sizeof(float) || blockAlign > 0xFFFF ||
        byteRate > 0xFFFFFFFFull) {
        Fail(FileError::TooLarge, 0);
        return false;
    }
    const uint64_t dataBytes = count * sizeof(float);

    unsigned char header[kHeaderBytes] = {};
    auto tag = [&](size_t at, const char* text) {
        for (int i = 0; i < 4; ++i) header[at + i] = static_cast<unsigned char>(text[i]);
    };
    tag(0, "RIFF");
    PutLe(header + 4, kHeaderBytes - 8 + dataBytes, 4);
    tag(8, "WAVE");
    tag(12, "fmt ");
    PutLe(header + 16, 18, 4);
    PutLe(header + 20, 3, 2);  // IEEE float
    PutLe(header + 22, channels, 2);
    PutLe(header + 24, sampleRate, 4);
    PutLe(header + 28, byteRate, 4);
    PutLe(header + 32, blockAlign, 2);
    PutLe(header + 34, 32, 2);
    PutLe(header + 36, 0, 2);  // no extra format bytes
    tag(38, "fact");
    PutLe(header + 42, 4, 4);
    PutLe(header + 46, count / channels, 4);
    tag(50, "data");
    PutLe(header + 54, dataBytes, 4);

    // Where the result goes: the name itself, or the file a symbolic link names.
    target_ = platform::ToUtf8(path);
    temporary_.clear();
    bool direct = false;
    struct stat link {};
    if (::lstat(target_.c_str(), &link) == 0) {
        struct stat status {};
        if (S_ISLNK(link.st_mode)) {
            if (::stat(target_.c_str(), &status) != 0) {
                Fail(FileError::DanglingLink, errno);
                return false;
            }
            if (S_ISREG(status.st_mode)) {
                char* resolved = ::realpath(target_.c_str(), nullptr);
                if (resolved == nullptr) {
                    Fail(FileError::CannotCreate, errno);
                    return false;
                }
                target_ = resolved;
                std::free(resolved);
            } else {
                direct = !S_ISDIR(status.st_mode);
            }
        } else {
            direct = !S_ISREG(link.st_mode) && !S_ISDIR(link.st_mode);
        }
    }
    if (direct) {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    } else {
        // A hidden name of our own beside the output, so that the rename stays in one file system.
        const std::string folder = FolderOf(target_);
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            temporary_ = folder + ".tonewright-" + std::to_string(::getpid()) + "-" +
                         std::to_string(g_temporaryCounter.fetch_add(1)) + ".part";
            pending_ = AddPending(temporary_);
            fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0) {
                const int error = errno;
                DropPending(pending_);
                pending_ = -1;
                if (error != EEXIST) {
                    errno = error;
                    break;
                }
            }
        }
        if (fd_ < 0) temporary_.clear();
        // A directory at the output name would only make the rename fail at the end.
        struct stat status {};
        if (fd_ >= 0 && ::stat(target_.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            RemoveTemporary();
            ::close(fd_);
            fd_ = -1;
            errno = EISDIR;
        }
    }
    if (fd_ < 0) {
        Fail(FileError::CannotCreate, errno);
        return false;
    }
    expected_ = count;
    written_ = 0;
    if (!WriteAll(fd_, header, sizeof(header))) {
        Fail(IsSpaceError(errno) ? FileError::NoSpace : FileError::WriteFailed, errno);
        Abort();
        return false;
    }
    return true;
}

bool FloatWavWriter::Write(const float* values, size_t count) {
    if (fd_ < 0 || failed_ || count > expected_ - written_) {
        Fail(FileError::WriteFailed, 0);
        return false;
    }
    if (count > 0 && !WriteAll(fd_, values, count * sizeof(float))) {
        Fail(IsSpaceError(errno) ? FileError::NoSpace : FileError::WriteFailed, errno);
        return false;
    }
    written_ += count;
    return true;
}

bool FloatWavWriter::Finish() {
    if (fd_ < 0) return false;
    if (!failed_ && written_ != expected_) Fail(FileError::WriteFailed, 0);
    if (::close(fd_) != 0 && !failed_)
        Fail(IsSpaceError(errno) ? FileError::NoSpace : FileError::WriteFailed, errno);
    fd_ = -1;
    if (!failed_ && !temporary_.empty() && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        Fail(FileError::WriteFailed, errno);
    }
    if (failed_) {
        // Only the temporary file goes; the output name (a file, a link, a device) stays as it was.
        RemoveTemporary();
        return false;
    }
    DropPending(pending_);
    pending_ = -1;
    temporary_.clear();
    return true;
}

void FloatWavWriter::Abort() {
    failed_ = true;
    Finish();
}

bool WriteFloatWav(const std::wstring& path, const float* samples, uint64_t count, unsigned channels,
                   unsigned sampleRate) {
    if (count > 0 && samples == nullptr) return false;
    if (count > std::numeric_limits<size_t>::max() / sizeof(float)) return false;
    FloatWavWriter writer;
    if (!writer.Open(path, channels, sampleRate, count)) return false;
    if (!writer.Write(samples, static_cast<size_t>(count))) {
        writer.Abort();
        return false;
    }
    return writer.Finish();
}

}  // namespace denoise
