#include "uikit/UISkin.h"

#include <zip.h>

#include <cwctype>
#include <map>
#include <mutex>

#include "logging/Log.h"
#include "platform/Platform.h"

namespace {

struct SkinState {
    std::mutex mutex;
    bool loaded = false;
    bool fromFolder = false;
    std::wstring folder;
    std::map<std::wstring, std::string> files;  // zip contents by normalised name
    std::map<std::wstring, std::shared_ptr<TImageDataUI>> images;
};

SkinState& State() {
    static SkinState s;
    return s;
}

std::wstring Normalise(const std::wstring& name) {
    std::wstring n = name;
    for (auto& c : n)
        if (c == L'\\') c = L'/';
    while (!n.empty() && n.front() == L'/') n.erase(n.begin());
    return n;
}

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

// Looks a name up exactly, then case-insensitively. Caller holds the state mutex.
const std::string* FindInArchive(SkinState& s, const std::wstring& name) {
    auto it = s.files.find(name);
    if (it != s.files.end()) return &it->second;
    std::wstring lower = Lower(name);
    for (auto& [key, value] : s.files)
        if (Lower(key) == lower) return &value;
    return nullptr;
}

// A relative skin name must not climb out of the skin folder.
bool IsSafeRelative(const std::wstring& name) {
    if (name.empty()) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find(L'/', start);
        if (end == std::wstring::npos) end = name.size();
        if (name.compare(start, end - start, L"..") == 0 && end - start == 2) return false;
        start = end + 1;
    }
    return true;
}

uint32_t Be32(const std::string& b, size_t i) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(b[i])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[i + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[i + 2])) << 8) | static_cast<uint8_t>(b[i + 3]);
}
uint16_t Le16(const std::string& b, size_t i) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[i]) | (static_cast<uint8_t>(b[i + 1]) << 8));
}

}  // namespace

bool CSkinUI::LoadZipFromMemory(const void* data, std::size_t size) {
    if (!data || size == 0) return false;
    zip_error_t error;
    zip_error_init(&error);
    // The source does not own the bytes; everything is copied out before it is closed.
    zip_source_t* src = zip_source_buffer_create(data, size, 0, &error);
    if (!src) {
        zip_error_fini(&error);
        return false;
    }
    zip_t* archive = zip_open_from_source(src, ZIP_RDONLY, &error);
    if (!archive) {
        zip_source_free(src);
        zip_error_fini(&error);
        TW_LOG_INFO(L"skin: not a readable zip archive\n");
        return false;
    }
    std::map<std::wstring, std::string> files;
    bool ok = true;
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count && ok; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
            continue;
        std::string name = st.name;
        if (name.empty() || name.back() == '/') continue;  // folders
        zip_file_t* f = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (!f) {
            ok = false;
            break;
        }
        std::string bytes;
        if (st.valid & ZIP_STAT_SIZE) bytes.reserve(static_cast<size_t>(st.size));
        char buf[16384];
        zip_int64_t n;
        while ((n = zip_fread(f, buf, sizeof buf)) > 0) bytes.append(buf, static_cast<size_t>(n));
        if (n < 0) ok = false;
        zip_fclose(f);
        files[Normalise(platform::FromUtf8(name))] = std::move(bytes);
    }
    zip_close(archive);
    zip_error_fini(&error);
    if (!ok) return false;
    SkinState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.files = std::move(files);
    s.fromFolder = false;
    s.folder.clear();
    s.loaded = true;
    s.images.clear();
    return true;
}

bool CSkinUI::LoadFolder(const std::wstring& folder) {
    if (!platform::IsFolder(folder)) return false;
    SkinState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.files.clear();
    s.folder = folder;
    if (!s.folder.empty() && s.folder.back() != L'/') s.folder += L'/';
    s.fromFolder = true;
    s.loaded = true;
    s.images.clear();
    return true;
}

void CSkinUI::Release() {
    SkinState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.files.clear();
    s.images.clear();
    s.folder.clear();
    s.fromFolder = false;
    s.loaded = false;
}

bool CSkinUI::IsLoaded() {
    SkinState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.loaded;
}

bool CSkinUI::ReadFile(const std::wstring& nameIn, std::string* bytes) {
    std::wstring name = Normalise(nameIn);
    if (!IsSafeRelative(name)) return false;
    SkinState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.loaded) return false;
    if (s.fromFolder)
        return platform::IsRegularFile(s.folder + name) && platform::ReadFileBytes(s.folder + name, bytes);
    const std::string* found = FindInArchive(s, name);
    if (!found) return false;
    *bytes = *found;
    return true;
}

bool CSkinUI::HasFile(const std::wstring& nameIn) {
    std::wstring name = Normalise(nameIn);
    if (!IsSafeRelative(name)) return false;
    SkinState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.loaded) return false;
    if (s.fromFolder) return platform::IsRegularFile(s.folder + name);
    return FindInArchive(s, name) != nullptr;
}

std::vector<std::wstring> CSkinUI::ListFiles() {
    SkinState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::vector<std::wstring> names;
    for (auto& [key, value] : s.files) names.push_back(key);
    return names;
}

std::shared_ptr<TImageDataUI> CSkinUI::GetImage(const std::wstring& nameIn) {
    std::wstring name = Normalise(nameIn);
    if (name.empty()) return nullptr;
    {
        SkinState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto it = s.images.find(name);
        if (it != s.images.end()) return it->second;
    }
    std::string bytes;
    if (!ReadFile(name, &bytes)) return nullptr;
    auto image = std::make_shared<TImageDataUI>();
    image->name = name;
    image->bytes = std::move(bytes);
    ReadImageHeader(image.get());
    SkinState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto [it, inserted] = s.images.emplace(name, image);
    return it->second;
}

void CSkinUI::ClearImageCache() {
    SkinState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.images.clear();
}

void CSkinUI::ReadImageHeader(TImageDataUI* image) {
    const std::string& b = image->bytes;
    image->frameCount = 1;
    image->frameDelaysMs.clear();
    if (b.size() >= 24 && b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) {
        image->width = static_cast<int>(Be32(b, 16));
        image->height = static_cast<int>(Be32(b, 20));
        return;
    }
    if (b.size() >= 13 && (b.compare(0, 6, "GIF89a") == 0 || b.compare(0, 6, "GIF87a") == 0)) {
        image->width = Le16(b, 6);
        image->height = Le16(b, 8);
        // Walk the blocks to count frames and read their delays.
        size_t p = 13;
        uint8_t flags = static_cast<uint8_t>(b[10]);
        if (flags & 0x80) p += 3u * (1u << ((flags & 7) + 1));
        int frames = 0;
        int pendingDelay = -1;
        std::vector<int> delays;
        while (p < b.size()) {
            uint8_t tag = static_cast<uint8_t>(b[p]);
            if (tag == 0x3B) break;
            if (tag == 0x21) {
                if (p + 2 > b.size()) break;
                uint8_t label = static_cast<uint8_t>(b[p + 1]);
                p += 2;
                if (label == 0xF9 && p + 5 <= b.size() && static_cast<uint8_t>(b[p]) >= 4)
                    pendingDelay = Le16(b, p + 2) * 10;
                while (p < b.size() && b[p] != 0) p += 1 + static_cast<uint8_t>(b[p]);
                ++p;
            } else if (tag == 0x2C) {
                if (p + 10 > b.size()) break;
                uint8_t f = static_cast<uint8_t>(b[p + 9]);
                p += 10;
                if (f & 0x80) p += 3u * (1u << ((f & 7) + 1));
                ++p;  // LZW minimum code size
                while (p < b.size() && b[p] != 0) p += 1 + static_cast<uint8_t>(b[p]);
                ++p;
                ++frames;
                delays.push_back(pendingDelay > 0 ? pendingDelay : 100);
                pendingDelay = -1;
            } else {
                break;
            }
        }
        image->frameCount = std::max(1, frames);
        image->frameDelaysMs = delays;
        return;
    }
    if (b.size() >= 26 && b[0] == 'B' && b[1] == 'M') {
        image->width = static_cast<int>(Le16(b, 18) | (Le16(b, 20) << 16));
        int h = static_cast<int>(Le16(b, 22) | (Le16(b, 24) << 16));
        image->height = h < 0 ? -h : h;
        return;
    }
    if (b.size() >= 4 && static_cast<uint8_t>(b[0]) == 0xFF && static_cast<uint8_t>(b[1]) == 0xD8) {
        size_t p = 2;
        while (p + 9 < b.size()) {
            if (static_cast<uint8_t>(b[p]) != 0xFF) break;
            uint8_t marker = static_cast<uint8_t>(b[p + 1]);
            size_t len = (static_cast<uint8_t>(b[p + 2]) << 8) | static_cast<uint8_t>(b[p + 3]);
            if (marker >= 0xC0 && marker <= 0xC3) {
                image->height = (static_cast<uint8_t>(b[p + 5]) << 8) | static_cast<uint8_t>(b[p + 6]);
                image->width = (static_cast<uint8_t>(b[p + 7]) << 8) | static_cast<uint8_t>(b[p + 8]);
                return;
            }
            p += 2 + len;
        }
    }
}
