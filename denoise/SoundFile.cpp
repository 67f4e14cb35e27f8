#include "denoise/SoundFile.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/Platform.h"

namespace denoise {

// Files are opened by us and handed over as descriptors, so that no name (such as "-") takes on a
// special meaning inside the audio library.
// *opened tells whether the file itself could be opened (and so, for writing, was created).
static SNDFILE* OpenDescriptor(const std::string& path, int flags, int mode, SF_INFO* info,
                               bool* opened = nullptr) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (opened != nullptr) *opened = fd >= 0;
    if (fd < 0) return nullptr;
    SNDFILE* file = sf_open_fd(fd, mode, info, SF_TRUE);
    if (file == nullptr) ::close(fd);
    return file;
}

bool ReadAudioFile(const std::wstring& path, AudioBuffer* audio) {
    if (audio == nullptr || path.empty()) return false;
    const std::string utf8 = platform::ToUtf8(path);
    if (!platform::IsRegularFile(path)) return false;
    SF_INFO info{};
    SNDFILE* file = OpenDescriptor(utf8, O_RDONLY, SFM_READ, &info);
    if (file == nullptr) return false;
    if (info.channels <= 0 || info.samplerate <= 0) {
        sf_close(file);
        return false;
    }
    const auto channels = static_cast<uint64_t>(info.channels);
    FloatBuffer& samples = audio->samples;
    // The header's frame count is a hint (compressed input may decode to a little more or less).
    const uint64_t expected = info.frames > 0 ? static_cast<uint64_t>(info.frames) : 0;
    bool ok = expected <= std::numeric_limits<size_t>::max() / sizeof(float) / channels &&
              samples.Allocate(static_cast<size_t>(expected * channels));
    uint64_t have = 0;
    while (ok) {
        const uint64_t room = (samples.size() - have) / channels;
        if (room > 0) {
            const sf_count_t got = sf_readf_float(file, samples.data() + have, static_cast<sf_count_t>(room));
            if (got <= 0) break;
            have += static_cast<uint64_t>(got) * channels;
            if (static_cast<uint64_t>(got) < room) continue;
        }
        // The buffer is full: look for more than the header promised before growing it.
        float probe[4096];
        const auto frames = static_cast<sf_count_t>(sizeof(probe) / sizeof(float) / channels);
        const sf_count_t got = frames > 0 ? sf_readf_float(file, probe, frames) : 0;
        if (got <= 0) break;
        const size_t extra = static_cast<size_t>(got) * static_cast<size_t>(channels);
        const size_t grown = std::max(static_cast<size_t>(have) + extra, samples.size() + samples.size() / 2);
        if (grown < samples.size() || !samples.Resize(grown)) {
            ok = false;
            break;
        }
        std::memcpy(samples.data() + have, probe, extra * sizeof(float));
        have += extra;
    }
    if (sf_error(file) != SF_ERR_NO_ERROR) ok = false;
    sf_close(file);
    if (!ok || !samples.Resize(static_cast<size_t>(have))) {
        samples.Free();
        return false;
    }
    audio->channels = static_cast<unsigned>(info.channels);
    audio->sampleRate = static_cast<unsigned>(info.samplerate);
    return true;
}

bool WriteFloatWav(const std::wstring& path, const float* samples, uint64_t count, unsigned channels,
                   unsigned sampleRate) {
    if (path.empty() || channels == 0 || sampleRate == 0 || count % channels != 0) return false;
    if (count > 0 && samples == nullptr) return false;
    if (channels > static_cast<unsigned>(std::numeric_limits<int>::max()) ||
        sampleRate > static_cast<unsigned>(std::numeric_limits<int>::max())) {
        return false;
    }
    // RIFF sizes are 32-bit: refuse what the header cannot describe instead of wrapping around.
    if (count > (0xFFFFFFFFull - 4096) / sizeof(float)) return false;
    const std::string utf8 = platform::ToUtf8(path);
    SF_INFO info{};
    info.channels = static_cast<int>(channels);
    info.samplerate = static_cast<int>(sampleRate);
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    if (!sf_format_check(&info)) return false;
    bool opened = false;
    SNDFILE* file = OpenDescriptor(utf8, O_WRONLY | O_CREAT | O_TRUNC, SFM_WRITE, &info, &opened);
    if (file == nullptr) {
        if (opened && platform::IsRegularFile(path)) platform::DeleteFilePath(path);  // no empty file left
        return false;
    }
    // No PEAK chunk: it would cost a scalar pass over all samples, and readers do not need it.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    const uint64_t frames = count / channels;
    const sf_count_t written = sf_writef_float(file, samples, static_cast<sf_count_t>(frames));
    bool ok = written == static_cast<sf_count_t>(frames) && sf_error(file) == SF_ERR_NO_ERROR;
    if (sf_close(file) != 0) ok = false;
    // A partial file is removed (only a regular file: a device given as the output stays alone).
    if (!ok && platform::IsRegularFile(path)) platform::DeleteFilePath(path);
    return ok;
}

}  // namespace denoise
