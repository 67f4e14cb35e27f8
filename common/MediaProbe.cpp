// The media probe: MediaInfo (bound at run time), ffprobe's report and a scan of ADTS frame
// headers, and the probe chains built from them.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "common/Common.h"
#include "platform/Platform.h"

namespace {

// Probe sessions whose thread has not returned from the library yet.
std::atomic<int> g_probesRunning{0};

// ---- Tool location ------------------------------------------------------------------------------

std::mutex g_toolMutex;
std::map<std::wstring, std::wstring>& ToolOverrides() {
    static std::map<std::wstring, std::wstring> overrides;
    return overrides;
}

// The argument form of a media path: a relative one gets "./" so that a name starting with "-"
// is not read as an option.
std::string PathArgument(const std::wstring& path) {
    std::string p = platform::ToUtf8(path);
    if (p.empty() || p[0] == '/') return p;
    return "./" + p;
}

// ---- Numbers from text --------------------------------------------------------------------------

int32_t ToInt32(const std::wstring& text) {
    long long v = CCommon::OnLeadingInteger(text);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

uint32_t ToUint32(const std::wstring& text) {
    long long v = CCommon::OnLeadingInteger(text);
    if (v < 0) return 0;
    if (v > UINT32_MAX) return UINT32_MAX;
    return static_cast<uint32_t>(v);
}

// ---- MediaInfo binding ----------------------------------------------------------------------------

// The library's C entry points that a binding must find. Only six are called.
const char* const kEntryPoints[] = {
    "MediaInfo_New",
    "MediaInfoList_New",
    "MediaInfo_Delete",
    "MediaInfoList_Delete",
    "MediaInfo_Open",
    "MediaInfoList_Open",
    "MediaInfo_Open_Buffer_Init",
    "MediaInfo_Open_Buffer_Continue",
    "MediaInfo_Open_Buffer_Continue_GoTo_Get",
    "MediaInfo_Open_Buffer_Finalize",
    "MediaInfo_Open_NextPacket",
    "MediaInfo_Close",
    "MediaInfoList_Close",
    "MediaInfo_Inform",
    "MediaInfoList_Inform",
    "MediaInfo_GetI",
    "MediaInfoList_GetI",
    "MediaInfo_Get",
    "MediaInfoList_Get",
    "MediaInfo_Output_Buffer_Get",
    "MediaInfo_Output_Buffer_GetI",
    "MediaInfo_Option",
    "MediaInfoList_Option",
    "MediaInfo_State_Get",
    "MediaInfoList_State_Get",
    "MediaInfo_Count_Get",
    "MediaInfoList_Count_Get",
    "MediaInfoList_Count_Get_Files",
};

// The wide-character entry points (stream kinds and info kinds are plain C enums).
using FnNew = void* (*)();
using FnDelete = void (*)(void*);
using FnOpen = size_t (*)(void*, const wchar_t*);
using FnClose = void (*)(void*);
using FnOption = const wchar_t* (*)(void*, const wchar_t*, const wchar_t*);
using FnGet = const wchar_t* (*)(void*, int streamKind, size_t streamNumber, const wchar_t* parameter,
                                 int infoKind, int searchKind);

constexpr int kStreamGeneral = 0;
constexpr int kStreamAudio = 2;
constexpr int kInfoName = 0;
constexpr int kInfoText = 1;

struct MediaInfoBinding {
    std::mutex mutex;
    std::string libraryName;  // empty: the default or $TW_MEDIAINFO_LIB
    void* module = nullptr;
    int bindCount = 0;
    std::atomic<int> openCount{0};
    FnNew New = nullptr;
    FnDelete Delete = nullptr;
    FnOpen Open = nullptr;
    FnClose Close = nullptr;
    FnOption Option = nullptr;
    FnGet Get = nullptr;
};

MediaInfoBinding& Binding() {
    static MediaInfoBinding* binding = new MediaInfoBinding();  // lives as long as the process
    return *binding;
}

std::string LibraryNameLocked(const MediaInfoBinding& b) {
    if (!b.libraryName.empty()) return b.libraryName;
    const char* env = std::getenv("TW_MEDIAINFO_LIB");
    if (env && *env) return env;
    return "libmediainfo.so.0";
}

// Binds on first use; a failed attempt leaves nothing loaded so that the next query tries again.
bool BindLocked(MediaInfoBinding& b) {
    if (b.module) return true;
    void* module = ::dlopen(LibraryNameLocked(b).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) return false;
    for (const char* name : kEntryPoints) {
        if (!::dlsym(module, name)) {
            ::dlclose(module);
            return false;
        }
    }
    b.New = reinterpret_cast<FnNew>(::dlsym(module, "MediaInfo_New"));
    b.Delete = reinterpret_cast<FnDelete>(::dlsym(module, "MediaInfo_Delete"));
    b.Open = reinterpret_cast<FnOpen>(::dlsym(module, "MediaInfo_Open"));
    b.Close = reinterpret_cast<FnClose>(::dlsym(module, "MediaInfo_Close"));
    b.Option = reinterpret_cast<FnOption>(::dlsym(module, "MediaInfo_Option"));
    b.Get = reinterpret_cast<FnGet>(::dlsym(module, "MediaInfo_Get"));
    b.module = module;
    ++b.bindCount;
    return true;
}

struct Request {
    int streamKind;
    const wchar_t* parameter;
};

// The absolute path of a regular file, empty for anything else (missing, folder, device, pipe).
std::wstring ProbeablePath(const std::wstring& path) {
    if (path.empty()) return {};
    std::string utf8 = platform::ToUtf8(path);
    if (utf8[0] != '/') {
        char* cwd = ::getcwd(nullptr, 0);
        if (cwd == nullptr) return {};
        utf8 = std::string(cwd) + "/" + utf8;
        std::free(cwd);
    }
    struct stat st {};
    if (::stat(utf8.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    // Runs of "/" name the same file once collapsed, and the library reads any name holding
    // "://" as a URL: a local file in a folder called "http:" is otherwise never opened.
    std::string single;
    single.reserve(utf8.size());
    for (char c : utf8) {
        if (c == '/' && !single.empty() && single.back() == '/') continue;
        single += c;
    }
    return platform::FromUtf8(single);
}

// One MediaInfo session: create, open, option "Complete", the requests in order, close, delete.
// Every answer is copied at once (the library reuses its buffer). All answers are empty when the
// library is absent or the handle cannot be created; `opened` tells whether Open succeeded.
std::vector<std::wstring> Query(const std::wstring& path, const std::vector<Request>& requests,
                                bool* opened = nullptr) {
    std::vector<std::wstring> answers(requests.size());
    if (opened) *opened = false;
    FnNew New;
    FnDelete Delete;
    FnOpen Open;
    FnClose Close;
    FnOption Option;
    FnGet Get;
    {
        MediaInfoBinding& b = Binding();
        std::lock_guard<std::mutex> lock(b.mutex);
        if (!BindLocked(b)) return answers;
        New = b.New;
        Delete = b.Delete;
        Open = b.Open;
        Close = b.Close;
        Option = b.Option;
        Get = b.Get;
    }
    // Only regular files are handed to the library, always by absolute path: a device or a pipe
    // would block it, and a relative name such as "http:/host/a.wav" must never be read as a URL.
    const std::wstring absolute = ProbeablePath(path);
    if (absolute.empty()) return answers;
    // A file the library could not finish in time is not asked about again (while unchanged):
    // every further query would only wait out the limit once more.
    struct stat st {};
    const std::string key = platform::ToUtf8(absolute);
    ::stat(key.c_str(), &st);
    const std::wstring stamp =
        absolute + L"|" + std::to_wstring(st.st_size) + L"|" + std::to_wstring(st.st_mtime);
    static std::mutex unprobeableMutex;
    static std::set<std::wstring> unprobeable;
    {
        std::lock_guard<std::mutex> lock(unprobeableMutex);
        if (unprobeable.count(stamp) != 0) return answers;
    }

    // The session runs on its own thread; a file that keeps the library busy longer than the
    // probe's limit is unprobeable. The thread is then left to finish on its own, holding only
    // what it shares with this call through `session`.
    struct Session {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        bool opened = false;
        std::vector<std::wstring> answers;
    };
    auto session = std::make_shared<Session>();
    session->answers.resize(requests.size());
    std::vector<Request> asked = requests;
    Binding().openCount.fetch_add(1);
    g_probesRunning.fetch_add(1);
    std::thread([session, absolute, asked, New, Delete, Open, Close, Option, Get] {
        std::vector<std::wstring> got(asked.size());
        bool ok = false;
        if (void* handle = New()) {
            ok = Open(handle, absolute.c_str()) != 0;
            Option(handle, L"Complete", L"");
            for (size_t i = 0; i < asked.size(); ++i) {
                const wchar_t* answer =
                    Get(handle, asked[i].streamKind, 0, asked[i].parameter, kInfoText, kInfoName);
                if (answer) got[i] = answer;
            }
            Close(handle);
            Delete(handle);
        }
        std::lock_guard<std::mutex> lock(session->mutex);
        session->answers = std::move(got);
        session->opened = ok;
        session->done = true;
        session->finished.notify_all();
        g_probesRunning.fetch_sub(1);
    }).detach();
    std::unique_lock<std::mutex> lock(session->mutex);
    if (!session->finished.wait_for(lock, std::chrono::milliseconds(CCommon::kProbeTimeoutMs),
                                    [&] { return session->done; })) {
        std::lock_guard<std::mutex> unprobeableLock(unprobeableMutex);
        unprobeable.insert(stamp);
        return answers;  // unprobeable in time
    }
    if (opened) *opened = session->opened;
    return session->answers;
}

CCommon::AacLengthHook g_aacLengthHook = nullptr;
std::mutex g_aacHookMutex;

CCommon::AacLengthHook AacHook() {
    std::lock_guard<std::mutex> lock(g_aacHookMutex);
    return g_aacLengthHook;
}

bool HasAacFormat(const std::wstring& path) {
    return platform::ToLower(CCommon::OnGetAudioFormat(path)).find(L"aac") != std::wstring::npos;
}

std::wstring ExactExtension(const std::wstring& path) {
    std::wstring ext;
    CCommon::OnSplitPath(path, nullptr, nullptr, &ext);
    return ext;
}

// ---- ADTS scan --------------------------------------------------------------------------------------

constexpr size_t kAdtsBufferSize = 0xC000;  // 49,152 bytes

struct AdtsReader {
    size_t bytesInBuffer = 0;
    size_t bytesConsumed = 0;
    bool atEof = false;
    std::unique_ptr<unsigned char[]> buffer{new unsigned char[kAdtsBufferSize]};
    FILE* file = nullptr;

    ~AdtsReader() {
        if (file) std::fclose(file);
    }

    void Fill() {
        size_t got = std::fread(buffer.get(), 1, kAdtsBufferSize, file);
        if (got < kAdtsBufferSize) atEof = true;
        bytesInBuffer = got;
        bytesConsumed = 0;
    }

    bool StartsWith(const char* text, size_t needMoreThan) const {
        return bytesInBuffer > needMoreThan && std::memcmp(buffer.get(), text, std::strlen(text)) == 0;
    }

    // Moves the unread bytes to the front and tops the buffer up by what was consumed; a trailing
    // tag ends the stream.
    void Refill() {
        if (bytesConsumed) {
            std::memmove(buffer.get(), buffer.get() + bytesConsumed, bytesInBuffer);
            if (!atEof) {
                size_t got = std::fread(buffer.get() + bytesInBuffer, 1, bytesConsumed, file);
                if (got < bytesConsumed) atEof = true;
                bytesInBuffer += got;
            }
            bytesConsumed = 0;
        }
        if (StartsWith("TAG", 3) || StartsWith("LYRICSBEGIN", 11) || StartsWith("APETAGEX", 8))
            bytesInBuffer = 0;
    }

    void Consume(size_t n) {
        bytesConsumed += n;
        bytesInBuffer -= n;
    }

    bool AtSync() const { return bytesInBuffer >= 2 && buffer[0] == 0xFF && (buffer[1] & 0xF6) == 0xF0; }
};

const int kAdtsRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                            16000, 12000, 11025, 8000,  7350,  0,     0,     0};

}  // namespace

// ---- Tools -----------------------------------------------------------------------------------------

std::wstring CCommon::OnGetToolPath(const std::wstring& name) {
    {
        std::lock_guard<std::mutex> lock(g_toolMutex);
        auto it = ToolOverrides().find(name);
        if (it != ToolOverrides().end()) return it->second;
    }
    std::wstring folder;
    OnGetExeFolder(folder);
    return OnLocateTool(folder, name);
}

std::wstring CCommon::OnLocateTool(const std::wstring& programFolder, const std::wstring& name) {
    std::wstring beside = programFolder + L"Core/" + name;
    if (!platform::FindExecutable(platform::ToUtf8(beside)).empty()) return beside;
    std::string onPath = platform::FindExecutable(platform::ToUtf8(name));
    if (!onPath.empty()) return platform::FromUtf8(onPath);
    return beside;
}

void CCommon::SetToolPathOverride(const std::wstring& name, const std::wstring& path) {
    std::lock_guard<std::mutex> lock(g_toolMutex);
    if (path.empty()) {
        ToolOverrides().erase(name);
    } else {
        ToolOverrides()[name] = path;
    }
}

// ---- MediaInfo queries --------------------------------------------------------------------------------

void CCommon::OnGetMediaFileInfo(const std::wstring& path, MediaFacts& facts, uint64_t* rawSize) {
    auto a = Query(path, {{kStreamGeneral, L"FileName"},
                          {kStreamGeneral, L"FileSize"},
                          {kStreamGeneral, L"Duration"},
                          {kStreamGeneral, L"BitRate"}});
    facts.fileName = a[0];
    long long size = CCommon::OnLeadingInteger(a[1]);
    if (rawSize) *rawSize = size > 0 ? static_cast<uint64_t>(size) : 0;
    facts.durationMs = ToUint32(a[2]);
    facts.bitRate = ToInt32(a[3]);
}

std::wstring CCommon::OnGetAudioFormat(const std::wstring& path) {
    return Query(path, {{kStreamAudio, L"Format"}})[0];
}

std::wstring CCommon::OnGetEncodedLibrary(const std::wstring& path) {
    return Query(path, {{kStreamGeneral, L"Encoded_Library"}})[0];
}

int32_t CCommon::OnGetAudioRates(const std::wstring& path, int32_t& bitRate) {
    auto a = Query(path, {{kStreamAudio, L"SamplingRate"}, {kStreamGeneral, L"BitRate"}});
    bitRate = ToInt32(a[1]);
    return ToInt32(a[0]);
}

bool CCommon::OnHasCover(const std::wstring& path) {
    return platform::ToLower(Query(path, {{kStreamGeneral, L"Cover"}})[0]) == L"yes";
}

void CCommon::SetMediaInfoLibrary(const std::wstring& name) {
    MediaInfoBinding& b = Binding();
    std::lock_guard<std::mutex> lock(b.mutex);
    b.libraryName = platform::ToUtf8(name);
    if (b.module) {
        // Entry points already handed out may still be running on another thread, so the module
        // stays loaded; only this binding is dropped.
        b.module = nullptr;
        b.New = nullptr;
        b.Delete = nullptr;
        b.Open = nullptr;
        b.Close = nullptr;
        b.Option = nullptr;
        b.Get = nullptr;
    }
}

int CCommon::OnGetProbesStillRunning() {
    return g_probesRunning.load();
}

int CCommon::OnGetMediaInfoBindCount() {
    MediaInfoBinding& b = Binding();
    std::lock_guard<std::mutex> lock(b.mutex);
    return b.bindCount;
}

int CCommon::OnGetMediaInfoOpenCount() {
    return Binding().openCount.load();
}

bool CCommon::OnBindMediaInfo() {
    MediaInfoBinding& b = Binding();
    std::lock_guard<std::mutex> lock(b.mutex);
    return BindLocked(b);
}

// ---- ffprobe ------------------------------------------------------------------------------------------

void CCommon::OnParseProbeText(const std::string& report, uint32_t& durationMs, int32_t& bitRate) {
    std::string text = report;
    size_t at = text.find("Duration:");
    if (at != std::string::npos) {
        text = text.substr(at + 9);
        std::string duration = text.substr(0, text.find(','));
        durationMs = OnParseTimeCode(platform::FromUtf8(duration));
    }
    at = text.find("bitrate:");
    if (at != std::string::npos) {
        std::string rest = text.substr(at + 8);
        size_t unit = rest.find("kb/s");
        if (unit != std::string::npos) {
            long long kbps = CCommon::OnLeadingInteger(platform::FromUtf8(rest.substr(0, unit)));
            long long bps = kbps * 1000;
            bitRate = bps > INT32_MAX ? INT32_MAX : (bps < INT32_MIN ? INT32_MIN : static_cast<int32_t>(bps));
        }
    }
}

void CCommon::OnProbeWithTool(const std::wstring& path, uint32_t& durationMs, int32_t& bitRate) {
    std::string tool = platform::ToUtf8(OnGetToolPath(L"ffprobe"));
    std::string report;
    // Output and errors arrive through one pipe; the read ends once the child has exited and the
    // pipe is quiet, so a descendant that keeps the pipe open cannot hang the probe, and the child
    // is always reaped.
    // Only regular files are probed, and never for longer than the probe's limit: a child that
    // takes longer is killed with everything it started.
    const std::wstring absolute = ProbeablePath(path);
    if (absolute.empty()) return;
    bool timedOut = false;
    if (!platform::RunProcessCaptureFor({tool, PathArgument(absolute)}, &report, nullptr, kProbeTimeoutMs,
                                        &timedOut) ||
        timedOut) {
        return;
    }
    // Each chunk of the report counted only up to a zero byte; the report is text, so cutting the
    // whole at its first zero byte keeps everything that matters.
    size_t zero = report.find('\0');
    if (zero != std::string::npos) report.resize(zero);
    OnParseProbeText(report, durationMs, bitRate);
}

// ---- ADTS -------------------------------------------------------------------------------------------------

uint32_t CCommon::OnParseAdtsLength(const std::wstring& path, int32_t& bitRate) {
    if (!platform::IsRegularFile(path)) return 0;  // a folder or a pipe is never a stream to measure
    AdtsReader r;
    r.file = std::fopen(platform::ToUtf8(path).c_str(), "rbe");
    if (!r.file) return 0;
    r.Fill();
    if (!r.AtSync()) return 0;

    uint64_t frames = 0;
    uint64_t total = 0;
    int sampleRate = 0;
    r.Refill();
    while (r.bytesInBuffer > 7 && r.AtSync()) {
        const unsigned char* h = r.buffer.get();
        if (frames == 0) sampleRate = kAdtsRates[(h[2] >> 2) & 0x0F];
        size_t length =
            (static_cast<size_t>(h[3] & 0x03) << 11) | (static_cast<size_t>(h[4]) << 3) | (h[5] >> 5);
        total += length;
        // A zero length would never advance; it ends the stream like a cut-off frame.
        if (length == 0 || length > r.bytesInBuffer) break;
        r.Consume(length);
        ++frames;
        r.Refill();
    }

    float f = static_cast<float>(sampleRate) / 1024.0f;
    float b = frames ? static_cast<float>(total) / static_cast<float>(frames * 1000) : 0.0f;
    double rate = std::trunc(8.0 * static_cast<double>(b) * static_cast<double>(f) + 0.5) * 1000.0;
    bitRate = rate > INT32_MAX ? INT32_MAX : static_cast<int32_t>(rate);
    double seconds = f != 0.0f ? std::trunc(static_cast<double>(frames) / static_cast<double>(f)) : 1.0;
    double ms = seconds * 1000.0;
    return ms >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(ms);
}

// ---- File size
// ----------------------------------------------------------------------------------------------

uint64_t CCommon::OnGetFileSize(const std::wstring& path) {
    if (path.empty()) return 0;
    int fd = ::open(platform::ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return 0;
    struct stat st {};
    uint64_t size = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) size = static_cast<uint64_t>(st.st_size);
    ::close(fd);
    return size;
}

void CCommon::OnFormatFileSize(uint64_t size, std::wstring& text) {
    if (size == 0) return;
    const char* unit = "KB";
    double value = static_cast<double>(size) / 1024.0;
    if (size >= 1073741824ULL) {
        unit = "GB";
        value = static_cast<double>(size) / 1073741824.0;
    } else if (size >= 1048576ULL) {
        unit = "MB";
        value = static_cast<double>(size) / 1048576.0;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%0.2f %s", value, unit);
    text = platform::FromUtf8(buf);
}

// ---- Chains
// ---------------------------------------------------------------------------------------------------

void CCommon::SetAacLengthHook(AacLengthHook hook) {
    std::lock_guard<std::mutex> lock(g_aacHookMutex);
    g_aacLengthHook = hook;
}

void CCommon::ProbeForListRow(const std::wstring& path, MediaFacts& facts) {
    uint64_t rawSize = 0;
    OnGetMediaFileInfo(path, facts, &rawSize);
    if (rawSize == 0) OnGetMediaFileInfo(path, facts, &rawSize);
    facts.fileSize = OnGetFileSize(path);

    if (facts.durationMs == 0) {
        AacLengthHook hook = AacHook();
        if (hook && (ExactExtension(path) == L".aac" || HasAacFormat(path))) {
            int kbps = 0;
            double seconds = hook(path.c_str(), &kbps);
            double ms = std::trunc(seconds * 1000.0);
            if (ms > 0.0) {  // NaN and negative answers count as unknown
                facts.durationMs = ms >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(ms);
                facts.bitRate =
                    static_cast<int32_t>(std::min<long long>(INT32_MAX, static_cast<long long>(kbps) * 1000));
            }
        }
    }
    if (facts.durationMs == 0) OnProbeWithTool(path, facts.durationMs, facts.bitRate);
}

void CCommon::ProbeForBackgroundMusic(const std::wstring& path, MediaFacts& facts) {
    OnGetMediaFileInfo(path, facts);
    facts.fileSize = OnGetFileSize(path);
    if (facts.durationMs == 0 && (ExactExtension(path) == L".aac" || HasAacFormat(path))) {
        facts.durationMs = OnParseAdtsLength(path, facts.bitRate);
    }
}
