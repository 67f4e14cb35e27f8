// Windows test program for stampmenu64, run under Wine. It uses the registered server through
// COM and through its exports, builds real pop-up menus, starts the stand-in companion program
// and reads back icon pixels.
//
// Usage: stampmenu_test.exe <server dll> <scratch folder> [--xp]
//   The server must be registered (regsvr32) beforehand; the stand-in "Stampwarden.exe" lies
//   beside it. With --xp the process runs as Windows 5.1 (set through Wine's per-program version).
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// ---- Tiny assertion harness ---------------------------------------------------------------------

int g_checks = 0;
int g_failures = 0;
const char* g_case = "";

void Report(bool ok, const char* expr, int line) {
    ++g_checks;
    if (!ok) {
        ++g_failures;
        std::printf("  FAILED [%s] line %d: %s\n", g_case, line, expr);
    }
}

#define CHECK(cond) Report(static_cast<bool>(cond), #cond, __LINE__)
#define CHECK_HR(expected, actual)                                                                \
    do {                                                                                          \
        const HRESULT hr_ = (actual);                                                             \
        if (hr_ != (expected)) std::printf("  (got 0x%08lx)\n", static_cast<unsigned long>(hr_)); \
        Report(hr_ == (expected), #actual " == " #expected, __LINE__);                            \
    } while (0)

void StartCase(const char* name) {
    g_case = name;
    std::printf("[ RUN ] %s\n", name);
}

std::string Narrow(const std::wstring& w) {
    if (w.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

#define CHECK_WSTR(expected, actual)                                                                         \
    do {                                                                                                     \
        const std::wstring e_ = (expected), a_ = (actual);                                                   \
        if (e_ != a_) {                                                                                      \
            std::printf("  expected: %.300s\n  actual:   %.300s\n", Narrow(e_).c_str(), Narrow(a_).c_str()); \
        }                                                                                                    \
        Report(e_ == a_, #actual " == " #expected, __LINE__);                                                \
    } while (0)

// ---- Fixed facts of the server ------------------------------------------------------------------

const CLSID kClsid = {0x5B2739F7, 0x8D51, 0x49D0, {0x9C, 0xFB, 0x3F, 0x87, 0x3E, 0x9C, 0x37, 0xC1}};
const wchar_t* kSettingsKey = L"CLSID\\{5B2739F7-8D51-49D0-9CFB-3F873E9C37C1}\\Settings";
const wchar_t* kTitle = L"\x542F\x52A8Markvault";  // 启动Markvault

std::wstring g_dll;      // server file given on the command line
std::wstring g_scratch;  // scratch folder (Windows path)
std::wstring g_records;  // where the stand-in writes its command lines
bool g_xp = false;

// ---- Registry helpers ---------------------------------------------------------------------------

void SetText(const wchar_t* name, const std::wstring& value) {
    RegSetKeyValueW(HKEY_CLASSES_ROOT, kSettingsKey, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}
void SetNumber(const wchar_t* name, DWORD value) {
    RegSetKeyValueW(HKEY_CLASSES_ROOT, kSettingsKey, name, REG_DWORD, &value, sizeof value);
}
void DeleteValue(const wchar_t* name) {
    RegDeleteKeyValueW(HKEY_CLASSES_ROOT, kSettingsKey, name);
}
std::wstring GetText(const wchar_t* key, const wchar_t* name) {
    wchar_t buffer[2048] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return buffer;
}

// The settings as registration writes them.
void ResetSettings() {
    SetText(L"Title", kTitle);
    SetText(L"Path", g_dll.substr(0, g_dll.find_last_of(L'\\') + 1) + L"Stampwarden.exe");
    SetText(L"Custom", L"");
    SetNumber(L"ShowIcon", 1);
    SetNumber(L"Dynamic", 1);
    SetNumber(L"Maxtext", 25);
    DeleteValue(L"CustomIcon");
}

// ---- A data object holding a file-drop list -----------------------------------------------------

class FileDropData : public IDataObject {
public:
    FileDropData(std::vector<std::wstring> paths, bool hasDropList = true)
        : paths_(std::move(paths)), hasDropList_(hasDropList) {
        ++live;
    }

    static inline int live = 0;  // data objects not yet destroyed

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *ppv = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!hasDropList_ || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL))
            return DV_E_FORMATETC;
        std::size_t chars = 2;  // the list ends with an empty name
        for (const auto& p : paths_) chars += p.size() + 1;
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
        if (!memory) return E_OUTOFMEMORY;
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        auto* out = reinterpret_cast<wchar_t*>(drop + 1);
        for (const auto& p : paths_) {
            std::copy(p.begin(), p.end(), out);
            out += p.size() + 1;
        }
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return hasDropList_ && format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    virtual ~FileDropData() { --live; }
    ULONG refs_ = 1;
    std::vector<std::wstring> paths_;
    bool hasDropList_;
};

// ---- The extension object -----------------------------------------------------------------------

template <typename T>
struct Ptr {
    T* p = nullptr;
    Ptr() = default;
    Ptr(const Ptr&) = delete;
    Ptr& operator=(const Ptr&) = delete;
    ~Ptr() { Reset(); }
    void Reset() {
        if (p) p->Release();
        p = nullptr;
    }
    T* operator->() const { return p; }
    T** operator&() {
        Reset();
        return &p;
    }
    explicit operator bool() const { return p != nullptr; }
};

// A new extension object through the registry, initialised with the given paths.
bool CreateInitialised(const std::vector<std::wstring>& paths, Ptr<IContextMenu3>& menu,
                       HRESULT* initResult = nullptr) {
    Ptr<IShellExtInit> init;
    if (FAILED(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                reinterpret_cast<void**>(&init))))
        return false;
    FileDropData* data = new FileDropData(paths);
    const HRESULT hr = init->Initialize(nullptr, data, nullptr);
    data->Release();
    if (initResult) *initResult = hr;
    return SUCCEEDED(init->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menu)));
}

struct MenuResult {
    HRESULT hr = E_FAIL;
    int count = 0;
    UINT id = 0;
    std::wstring text;
    HBITMAP bitmap = nullptr;
};

// Builds a fresh pop-up menu with the entry of one object and reads the entry back.
MenuResult BuildMenu(IContextMenu* ext, UINT firstId = 100) {
    MenuResult r;
    HMENU menu = CreatePopupMenu();
    r.hr = ext->QueryContextMenu(menu, 0, firstId, firstId + 100, CMF_NORMAL);
    r.count = GetMenuItemCount(menu);
    if (r.count > 0) {
        r.id = GetMenuItemID(menu, 0);
        wchar_t text[256] = {};
        GetMenuStringW(menu, 0, text, 256, MF_BYPOSITION);
        r.text = text;
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_BITMAP;
        GetMenuItemInfoW(menu, 0, TRUE, &item);
        r.bitmap = item.hbmpItem;
    }
    DestroyMenu(menu);
    return r;
}

const HRESULT kOneCommand = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
const HRESULT kNoCommand = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);

// ---- Launch records -----------------------------------------------------------------------------

// Every process started from this one belongs to this job; its completion port reports their
// creation (in order) and their exit, so the tests wait on real process events.
HANDLE g_job = nullptr;
HANDLE g_port = nullptr;

bool SetUpJob() {
    g_job = CreateJobObjectW(nullptr, nullptr);
    g_port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    if (!g_job || !g_port) return false;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT link{};
    link.CompletionKey = g_job;
    link.CompletionPort = g_port;
    if (!SetInformationJobObject(g_job, JobObjectAssociateCompletionPortInformation, &link, sizeof link))
        return false;
    return AssignProcessToJobObject(g_job, GetCurrentProcess()) != FALSE;
}

std::wstring ReadRecord(DWORD pid) {
    const std::wstring path = g_records + L"\\" + std::to_wstring(pid) + L".txt";
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return L"<no record>";
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    std::wstring text(static_cast<std::size_t>(size.QuadPart) / sizeof(wchar_t), L'\0');
    DWORD got = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(size.QuadPart), &got, nullptr);
    CloseHandle(file);
    DeleteFileW(path.c_str());
    return text;
}

// Invokes the entry and returns the command lines of the processes it started, in start order.
// Processes started by the call are all announced before it returns; each is waited for until
// it has exited (at most 30 s each).
std::vector<std::wstring> InvokeAndCollect(IContextMenu3* ext, HRESULT* result, const char* verb = nullptr) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = verb ? verb : MAKEINTRESOURCEA(0);
    info.nShow = SW_SHOWNORMAL;
    *result = ext->InvokeCommand(&info);

    std::vector<DWORD> started;
    std::map<DWORD, bool> exited;
    const DWORD self = GetCurrentProcessId();
    auto pump = [&](DWORD timeout) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED data = nullptr;
        if (!GetQueuedCompletionStatus(g_port, &message, &key, &data, timeout)) return false;
        const auto pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(data));
        if (pid == self) return true;
        if (message == JOB_OBJECT_MSG_NEW_PROCESS) started.push_back(pid);
        if (message == JOB_OBJECT_MSG_EXIT_PROCESS || message == JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS)
            exited[pid] = true;
        return true;
    };
    while (pump(0)) {
    }
    for (;;) {
        std::size_t done = 0;
        for (DWORD pid : started) done += exited.count(pid);
        if (done == started.size()) break;
        const bool heard = pump(30000);
        CHECK(heard);  // a started process did not exit within 30 s
        if (!heard) break;
    }
    std::vector<std::wstring> lines;
    for (DWORD pid : started) lines.push_back(ReadRecord(pid));
    return lines;
}

std::wstring Quoted(const std::wstring& s) {
    return L"\"" + s + L"\"";
}

std::wstring ExpectedLine(const std::wstring& head, const std::vector<std::wstring>& paths, std::size_t from,
                          std::size_t count) {
    std::wstring line = head;
    for (std::size_t i = from; i < from + count; ++i) line += L" " + Quoted(paths[i]);
    return line;
}

std::wstring StandInPath() {
    return g_dll.substr(0, g_dll.find_last_of(L'\\') + 1) + L"Stampwarden.exe";
}

std::wstring MakeFolder(const std::wstring& name) {
    const std::wstring path = g_scratch + L"\\" + name;
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

// ---- Icon pixels --------------------------------------------------------------------------------

struct Pixels {
    int size = 0;
    std::vector<RGBQUAD> bgra;  // top-down
    const RGBQUAD& At(int x, int y) const { return bgra[static_cast<std::size_t>(y) * size + x]; }
};

Pixels ReadIcon(HICON icon) {
    Pixels px;
    ICONINFO parts{};
    if (!icon || !GetIconInfo(icon, &parts)) return px;
    BITMAP bm{};
    if (parts.hbmColor && GetObjectW(parts.hbmColor, sizeof bm, &bm)) {
        px.size = bm.bmWidth;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = bm.bmWidth;
        info.bmiHeader.biHeight = -bm.bmHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        px.bgra.resize(static_cast<std::size_t>(bm.bmWidth) * bm.bmHeight);
        HDC dc = CreateCompatibleDC(nullptr);
        if (GetDIBits(dc, parts.hbmColor, 0, bm.bmHeight, px.bgra.data(), &info, DIB_RGB_COLORS) !=
            bm.bmHeight)
            px = Pixels{};
        DeleteDC(dc);
    }
    if (parts.hbmColor) DeleteObject(parts.hbmColor);
    if (parts.hbmMask) DeleteObject(parts.hbmMask);
    return px;
}

// Writes the pixels as a 32-bit top-down BMP for a look by eye (beside the other scratch files).
void SaveBmp(const Pixels& px, const std::wstring& name) {
    if (px.size == 0) return;
    const DWORD bytes = static_cast<DWORD>(px.bgra.size() * sizeof(RGBQUAD));
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + bytes;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = px.size;
    info.biHeight = -px.size;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    HANDLE out =
        CreateFileW((g_scratch + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(out, &file, sizeof file, &written, nullptr);
    WriteFile(out, &info, sizeof info, &written, nullptr);
    WriteFile(out, px.bgra.data(), bytes, &written, nullptr);
    CloseHandle(out);
}

// An .ico file with one opaque 32 x 32 image of one colour.
void WriteSolidIco(const std::wstring& path, BYTE r, BYTE g, BYTE b) {
    const int s = 32;
    std::vector<BYTE> data;
    auto put16 = [&](DWORD v) {
        data.push_back(static_cast<BYTE>(v));
        data.push_back(static_cast<BYTE>(v >> 8));
    };
    auto put32 = [&](DWORD v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const DWORD imageBytes = 40 + s * s * 4 + s * 4;
    put16(0), put16(1), put16(1);
    data.push_back(s), data.push_back(s), data.push_back(0), data.push_back(0);
    put16(1), put16(32), put32(imageBytes), put32(22);
    put32(40), put32(s), put32(2 * s), put16(1), put16(32), put32(0), put32(s * s * 4 + s * 4);
    put32(0), put32(0), put32(0), put32(0);
    for (int i = 0; i < s * s; ++i)
        data.push_back(b), data.push_back(g), data.push_back(r), data.push_back(255);
    data.resize(data.size() + s * 4, 0);  // mask: every pixel shows
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(out, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(out);
}

bool IsBadgeFill(const RGBQUAD& p) {
    return p.rgbRed == 1 && p.rgbGreen == 1 && p.rgbBlue == 60;
}

int CountBadgeFill(const Pixels& px, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += IsBadgeFill(px.At(x, y)) && px.At(x, y).rgbReserved == 255;
    return n;
}

struct Extracted {
    HRESULT hr = E_FAIL;
    Pixels large, small;
};

// A new object loaded with fileName, asked for the icon location and the icons.
Extracted ExtractFor(const wchar_t* fileName, int largeSize, int smallSize, std::wstring* location = nullptr,
                     UINT* flags = nullptr) {
    Extracted e;
    Ptr<IPersistFile> file;
    if (FAILED(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile,
                                reinterpret_cast<void**>(&file))))
        return e;
    file->Load(fileName, 0);
    Ptr<IExtractIconW> icons;
    file->QueryInterface(IID_IExtractIconW, reinterpret_cast<void**>(&icons));
    wchar_t where[MAX_PATH] = {};
    int index = -1;
    UINT outFlags = 0;
    icons->GetIconLocation(0, where, MAX_PATH, &index, &outFlags);
    if (location) *location = where;
    if (flags) *flags = outFlags;
    HICON large = nullptr, small = nullptr;
    e.hr = icons->Extract(where, static_cast<UINT>(index), &large, &small, MAKELONG(largeSize, smallSize));
    e.large = ReadIcon(large);
    e.small = ReadIcon(small);
    if (large) DestroyIcon(large);
    if (small) DestroyIcon(small);
    return e;
}

// ---- Cases --------------------------------------------------------------------------------------

void TestObjectCreation() {
    StartCase("object through the registry and its interfaces");
    Ptr<IShellExtInit> init;
    CHECK_HR(S_OK, CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                    reinterpret_cast<void**>(&init)));
    if (!init) return;
    const IID faces[] = {IID_IContextMenu, IID_IContextMenu2, IID_IContextMenu3, IID_IPersistFile,
                         IID_IExtractIconW};
    for (const IID& iid : faces) {
        IUnknown* face = nullptr;
        CHECK_HR(S_OK, init->QueryInterface(iid, reinterpret_cast<void**>(&face)));
        if (face) face->Release();
    }
    IUnknown* unknown = nullptr;
    CHECK_HR(S_OK, init->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    CHECK(unknown == static_cast<IUnknown*>(init.p));  // IUnknown is the IShellExtInit face
    if (unknown) unknown->Release();
    IUnknown* other = reinterpret_cast<IUnknown*>(1);
    CHECK_HR(E_NOINTERFACE, init->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&other)));
    CHECK(other == nullptr);

    StartCase("registered server path");
    CHECK_WSTR(g_dll, GetText(L"CLSID\\{5B2739F7-8D51-49D0-9CFB-3F873E9C37C1}\\InprocServer32", nullptr));
    CHECK_WSTR(StandInPath(), GetText(kSettingsKey, L"Path"));
}

void TestExports() {
    StartCase("exports and class factory");
    HMODULE dll = LoadLibraryW(g_dll.c_str());
    CHECK(dll != nullptr);
    if (!dll) return;
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadFn = HRESULT(WINAPI*)();
    using InstallFn = HRESULT(WINAPI*)(BOOL, LPCWSTR);
    auto getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    auto canUnload =
        reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    auto install = reinterpret_cast<InstallFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllInstall")));
    CHECK(getClassObject && canUnload && install);
    CHECK(GetProcAddress(dll, "DllRegisterServer") && GetProcAddress(dll, "DllUnregisterServer"));
    if (!getClassObject || !canUnload || !install) return;

    CoFreeUnusedLibraries();
    CHECK_HR(S_OK, canUnload());

    void* ppv = reinterpret_cast<void*>(1);
    CHECK_HR(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IUnknown, IID_IClassFactory, &ppv));
    CHECK_HR(E_NOINTERFACE, getClassObject(kClsid, IID_IDropTarget, &ppv));
    CHECK(ppv == nullptr);
    CHECK_HR(S_OK, canUnload());  // the refused factory is gone again

    IClassFactory* factory = nullptr;
    CHECK_HR(S_OK, getClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    if (factory) {
        CHECK_HR(S_FALSE, canUnload());
        CHECK_HR(S_OK, factory->LockServer(TRUE));
        IUnknown* outer = reinterpret_cast<IUnknown*>(factory);
        IUnknown* made = nullptr;
        CHECK_HR(CLASS_E_NOAGGREGATION,
                 factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&made)));
        CHECK_HR(E_NOINTERFACE,
                 factory->CreateInstance(nullptr, IID_IDropTarget, reinterpret_cast<void**>(&made)));
        IContextMenu* menu = nullptr;
        CHECK_HR(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)));
        factory->Release();
        CHECK_HR(S_FALSE, canUnload());  // the object keeps the server alive
        if (menu) {
            // The object from the factory works like one made by the registry.
            IShellExtInit* init = nullptr;
            CHECK_HR(S_OK, menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));
            FileDropData* data = new FileDropData({g_scratch});
            CHECK_HR(S_OK, init->Initialize(nullptr, data, nullptr));
            data->Release();
            init->Release();
            const MenuResult m = BuildMenu(menu);
            CHECK_HR(kOneCommand, m.hr);
            CHECK_WSTR(kTitle, m.text);
            menu->Release();
        }
        CHECK_HR(S_OK, canUnload());
    }
    CHECK_HR(S_OK, install(TRUE, L""));
    CHECK_HR(E_NOTIMPL, install(FALSE, L""));
    FreeLibrary(dll);
}

void TestMenuEntry() {
    const std::wstring folder = MakeFolder(L"photos 2024");
    const std::wstring noExt = g_scratch + L"\\README";
    const std::wstring dottedFolderFile = g_scratch + L"\\v1.2\\notes";
    const std::wstring txt = g_scratch + L"\\a.txt";

    StartCase("entry for a folder");
    Ptr<IContextMenu3> ext;
    CHECK(CreateInitialised({folder}, ext));
    MenuResult m = BuildMenu(ext.p);
    CHECK_HR(kOneCommand, m.hr);
    CHECK(m.count == 1);
    CHECK(m.id == 100);
    CHECK_WSTR(kTitle, m.text);

    StartCase("entry for a file without extension");
    CHECK(CreateInitialised({noExt}, ext));
    m = BuildMenu(ext.p, 7);
    CHECK_HR(kOneCommand, m.hr);
    CHECK(m.count == 1 && m.id == 7);
    CHECK_WSTR(kTitle, m.text);
    CHECK(CreateInitialised({dottedFolderFile}, ext));  // a dot in a folder name is no extension
    CHECK_HR(kOneCommand, BuildMenu(ext.p).hr);

    StartCase("no entry for a.txt");
    CHECK(CreateInitialised({txt}, ext));
    m = BuildMenu(ext.p);
    CHECK_HR(kNoCommand, m.hr);
    CHECK(m.count == 0);
    CHECK(CreateInitialised({g_scratch + L"\\Archive.TAR"}, ext));
    CHECK_HR(kNoCommand, BuildMenu(ext.p).hr);

    StartCase("only the first item decides");
    CHECK(CreateInitialised({folder, txt}, ext));
    CHECK_HR(kOneCommand, BuildMenu(ext.p).hr);
    CHECK(CreateInitialised({txt, folder}, ext));
    CHECK_HR(kNoCommand, BuildMenu(ext.p).hr);

    StartCase("data object without a usable drop list");
    {
        Ptr<IShellExtInit> init;
        CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                         reinterpret_cast<void**>(&init));
        FileDropData* none = new FileDropData({}, false);
        CHECK_HR(E_INVALIDARG, init->Initialize(nullptr, none, nullptr));
        none->Release();
        FileDropData* empty = new FileDropData({});
        CHECK_HR(E_INVALIDARG, init->Initialize(nullptr, empty, nullptr));
        empty->Release();
        Ptr<IContextMenu3> menu;
        init->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menu));
        m = BuildMenu(menu.p);
        CHECK_HR(kNoCommand, m.hr);
        CHECK(m.count == 0);
    }

    StartCase("the data object is kept and released");
    {
        const int before = FileDropData::live;
        FileDropData* data = new FileDropData({folder});
        {
            Ptr<IShellExtInit> init;
            CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                             reinterpret_cast<void**>(&init));
            CHECK_HR(S_OK, init->Initialize(nullptr, data, nullptr));
            CHECK_HR(S_OK, init->Initialize(nullptr, data, nullptr));  // the same object again
            data->Release();
            CHECK(FileDropData::live == before + 1);  // the extension still holds it
            Ptr<IContextMenu3> menu;
            init->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menu));
            CHECK_HR(kOneCommand, BuildMenu(menu.p).hr);
        }
        CHECK(FileDropData::live == before);  // released with the extension
    }

    StartCase("entry inserted at the given position");
    {
        CHECK(CreateInitialised({folder}, ext));
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, 1, L"first");
        AppendMenuW(menu, MF_STRING, 2, L"second");
        CHECK_HR(kOneCommand, ext->QueryContextMenu(menu, 1, 50, 60, CMF_NORMAL));
        CHECK(GetMenuItemCount(menu) == 3);
        CHECK(GetMenuItemID(menu, 1) == 50);
        CHECK(GetMenuItemID(menu, 2) == 2);
        DestroyMenu(menu);
    }

    StartCase("title setting, cut to 64 characters");
    std::wstring longTitle;
    for (int i = 0; i < 70; ++i) longTitle += static_cast<wchar_t>(L'A' + i % 26);
    SetText(L"Title", longTitle);
    CHECK(CreateInitialised({folder}, ext));
    CHECK_WSTR(longTitle.substr(0, 64), BuildMenu(ext.p).text);
    DeleteValue(L"Title");
    CHECK(CreateInitialised({folder}, ext));
    CHECK_WSTR(kTitle, BuildMenu(ext.p).text);  // the default
    ResetSettings();

    StartCase("menu icon");
    CHECK(CreateInitialised({folder}, ext));
    {
        HMENU menu = CreatePopupMenu();
        ext->QueryContextMenu(menu, 0, 100, 200, CMF_NORMAL);
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_BITMAP;
        GetMenuItemInfoW(menu, 0, TRUE, &item);
        if (g_xp) {
            CHECK(item.hbmpItem == HBMMENU_CALLBACK);
        } else {
            BITMAP bm{};
            CHECK(item.hbmpItem != nullptr && item.hbmpItem != HBMMENU_CALLBACK);
            CHECK(item.hbmpItem && GetObjectW(item.hbmpItem, sizeof bm, &bm) == sizeof bm);
            CHECK(bm.bmBitsPixel == 32);
            CHECK(bm.bmWidth == GetSystemMetrics(SM_CXMENUCHECK) &&
                  bm.bmHeight == GetSystemMetrics(SM_CYMENUCHECK));
            if (bm.bmBits && bm.bmBitsPixel == 32) {
                // The tile's rounded corners stay transparent, its middle is opaque.
                const auto* px = static_cast<const RGBQUAD*>(bm.bmBits);
                const int w = bm.bmWidth, h = bm.bmHeight;
                CHECK(px[0].rgbReserved == 0);
                CHECK(px[(h / 2) * w + w / 2].rgbReserved == 255);
            }
            MENUINFO info{};
            info.cbSize = sizeof info;
            info.fMask = MIM_STYLE;
            GetMenuInfo(menu, &info);
            CHECK((info.dwStyle & MNS_CHECKORBMP) != 0);
        }
        DestroyMenu(menu);
    }
    SetNumber(L"ShowIcon", 0);
    CHECK(CreateInitialised({folder}, ext));
    m = BuildMenu(ext.p);
    CHECK(m.count == 1 && m.bitmap == nullptr);
    ResetSettings();

    StartCase("owner-drawn measure request");
    CHECK(CreateInitialised({folder}, ext));
    BuildMenu(ext.p, 300);
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_MENU;
    measure.itemID = 300;
    measure.itemWidth = 40;
    measure.itemHeight = 1;
    LRESULT result = 0;
    CHECK_HR(S_OK, ext->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure), &result));
    CHECK(result == 1);
    CHECK(measure.itemWidth == 0);
    CHECK(measure.itemHeight >= static_cast<UINT>(GetSystemMetrics(SM_CYMENUCHECK)));
    MEASUREITEMSTRUCT foreign{};
    foreign.CtlType = ODT_MENU;
    foreign.itemID = 301;
    foreign.itemWidth = 40;
    result = 0;
    ext->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&foreign), &result);
    CHECK(result == 0 && foreign.itemWidth == 40);

    StartCase("owner-drawn icon inside the item rectangle");
    {
        const int w = 64, h = 64;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP target = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, target);
        auto* px = static_cast<DWORD*>(bits);
        std::fill(px, px + w * h, 0x00FFFFFFu);
        DRAWITEMSTRUCT draw{};
        draw.CtlType = ODT_MENU;
        draw.itemID = 300;
        draw.hDC = dc;
        draw.rcItem = {20, 30, 60, 60};
        result = 0;
        CHECK_HR(S_OK, ext->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw), &result));
        GdiFlush();
        CHECK(result == 1);
        const int cx = GetSystemMetrics(SM_CXMENUCHECK), cy = GetSystemMetrics(SM_CYMENUCHECK);
        CHECK(px[(32 + cy / 2) * w + 22 + cx / 2] != 0x00FFFFFFu);  // the icon's middle
        bool outsideUntouched = true;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < w; ++x) outsideUntouched = outsideUntouched && px[y * w + x] == 0x00FFFFFFu;
        CHECK(outsideUntouched);
        SelectObject(dc, old);
        DeleteObject(target);
        DeleteDC(dc);
    }

    StartCase("command strings");
    wchar_t help[16] = L"x";
    CHECK_HR(S_OK, ext->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(help), 16));
    CHECK(help[0] == L'\0');
    char helpA[16] = "x";
    CHECK_HR(S_OK, ext->GetCommandString(0, GCS_HELPTEXTA, nullptr, helpA, 16));
    CHECK(helpA[0] == '\0');
    CHECK_HR(E_NOTIMPL, ext->GetCommandString(0, GCS_VERBW, nullptr, reinterpret_cast<CHAR*>(help), 16));
}

void TestLaunch() {
    const std::wstring head = Quoted(StandInPath());

    Ptr<IContextMenu3> ext;
    HRESULT hr = E_FAIL;
    std::vector<std::wstring> lines;
    if (!g_xp) {
        StartCase("230 items start the program three times");
        std::vector<std::wstring> paths = {MakeFolder(L"first folder")};
        for (int i = 1; i < 230; ++i) paths.push_back(g_scratch + L"\\file " + std::to_wstring(i) + L".wav");
        CHECK(CreateInitialised(paths, ext));
        CHECK_HR(kOneCommand, BuildMenu(ext.p).hr);
        lines = InvokeAndCollect(ext.p, &hr);
        CHECK_HR(S_OK, hr);
        CHECK(lines.size() == 3);
        if (lines.size() == 3) {
            // Registration stores an empty "Custom": one space after the quoted program.
            CHECK_WSTR(ExpectedLine(head + L" ", paths, 0, 100), lines[0]);
            CHECK_WSTR(ExpectedLine(head + L" ", paths, 100, 100), lines[1]);
            CHECK_WSTR(ExpectedLine(head + L" ", paths, 200, 30), lines[2]);
        }
    }

    StartCase("five folders");
    std::vector<std::wstring> five;
    for (int i = 0; i < 5; ++i) five.push_back(MakeFolder(L"album " + std::to_wstring(i)));
    CHECK(CreateInitialised(five, ext));
    BuildMenu(ext.p);
    lines = InvokeAndCollect(ext.p, &hr);
    CHECK_HR(S_OK, hr);
    if (g_xp) {
        CHECK(lines.size() == 2);
        if (lines.size() == 2) {
            CHECK_WSTR(ExpectedLine(head + L" ", five, 0, 4), lines[0]);
            CHECK_WSTR(ExpectedLine(head + L" ", five, 4, 1), lines[1]);
        }
    } else {
        CHECK(lines.size() == 1);
        if (lines.size() == 1) CHECK_WSTR(ExpectedLine(head + L" ", five, 0, 5), lines[0]);
    }
    if (g_xp) return;

    StartCase("Custom absent, set and empty");
    DeleteValue(L"Custom");
    const std::vector<std::wstring> one = {five[0], g_scratch + L"\\b.txt"};
    CHECK(CreateInitialised(one, ext));
    BuildMenu(ext.p);
    lines = InvokeAndCollect(ext.p, &hr);
    CHECK(lines.size() == 1);
    if (lines.size() == 1) CHECK_WSTR(head + L" " + Quoted(one[0]) + L" " + Quoted(one[1]), lines[0]);
    SetText(L"Custom", L"-mark red");
    CHECK(CreateInitialised(one, ext));
    BuildMenu(ext.p);
    lines = InvokeAndCollect(ext.p, &hr);
    CHECK(lines.size() == 1);
    if (lines.size() == 1)
        CHECK_WSTR(head + L" -mark red " + Quoted(one[0]) + L" " + Quoted(one[1]), lines[0]);
    SetText(L"Custom", L"");
    CHECK(CreateInitialised(one, ext));
    BuildMenu(ext.p);
    lines = InvokeAndCollect(ext.p, &hr);
    CHECK(lines.size() == 1);
    if (lines.size() == 1) CHECK_WSTR(head + L"  " + Quoted(one[0]) + L" " + Quoted(one[1]), lines[0]);

    StartCase("paths with spaces, non-ASCII characters and great length");
    std::wstring deep = g_scratch;
    while (deep.size() < 300) deep += L"\\a rather long folder name";
    const std::vector<std::wstring> odd = {MakeFolder(L"\x97F3\x4E50 & Lieder (1)"),
                                           g_scratch + L"\\\x00E9t\x00E9 #2.flac", deep + L"\\end.wav"};
    CHECK(CreateInitialised(odd, ext));
    CHECK_HR(kOneCommand, BuildMenu(ext.p).hr);
    lines = InvokeAndCollect(ext.p, &hr);
    CHECK(lines.size() == 1);
    if (lines.size() == 1) CHECK_WSTR(ExpectedLine(head + L" ", odd, 0, 3), lines[0]);

    StartCase("only the entry's own command by number");
    CHECK(CreateInitialised(one, ext));
    BuildMenu(ext.p);
    lines = InvokeAndCollect(ext.p, &hr, "open");
    CHECK_HR(E_INVALIDARG, hr);
    CHECK(lines.empty());
    lines = InvokeAndCollect(ext.p, &hr, MAKEINTRESOURCEA(1));
    CHECK_HR(E_INVALIDARG, hr);
    CHECK(lines.empty());

    StartCase("missing Path fails");
    DeleteValue(L"Path");
    lines = InvokeAndCollect(ext.p, &hr);
    CHECK_HR(E_FAIL, hr);
    CHECK(lines.empty());
    SetText(L"Path", g_scratch + L"\\missing\\Stampwarden.exe");
    lines = InvokeAndCollect(ext.p, &hr);
    CHECK_HR(S_OK, hr);  // a failed start is ignored
    CHECK(lines.empty());
    ResetSettings();
}

void TestIcons() {
    const int big = 48;
    StartCase("icon location with extension text");
    std::wstring where;
    UINT flags = 0;
    Extracted badged = ExtractFor(L"C:\\music\\song.flac", big, 16, &where, &flags);
    CHECK_WSTR(L"StampShellIconFLAC", where);
    CHECK(flags == GIL_NOTFILENAME);

    StartCase("default icon and cut location");
    {
        Ptr<IPersistFile> file;
        CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile,
                         reinterpret_cast<void**>(&file));
        CHECK_HR(S_OK, file->Load(L"C:\\music\\track.mp3", 0));
        Ptr<IExtractIconW> icons;
        file->QueryInterface(IID_IExtractIconW, reinterpret_cast<void**>(&icons));
        wchar_t buffer[MAX_PATH];
        int index = -1;
        UINT outFlags = 99;
        CHECK_HR(S_OK, icons->GetIconLocation(GIL_DEFAULTICON, buffer, MAX_PATH, &index, &outFlags));
        CHECK_WSTR(g_dll, buffer);
        CHECK(index == 0 && outFlags == 0);
        CHECK_HR(S_OK, icons->GetIconLocation(0, buffer, 10, &index, &outFlags));
        CHECK_WSTR(L"StampShel", buffer);
        CHECK(outFlags == GIL_NOTFILENAME);
    }

    StartCase("badge drawn on the large icon");
    Extracted plain;
    SetNumber(L"Dynamic", 0);
    plain = ExtractFor(L"C:\\music\\song.flac", big, 16, &where, &flags);
    CHECK_WSTR(g_dll, where);
    CHECK(flags == 0);
    ResetSettings();
    CHECK_HR(S_OK, badged.hr);
    CHECK_HR(S_OK, plain.hr);
    CHECK(badged.large.size == big && plain.large.size == big);
    CHECK(badged.small.size == 16);
    if (badged.large.size == big && plain.large.size == big) {
        const int fill = CountBadgeFill(badged.large, 0, big / 2, big, big);
        std::printf("  badge fill pixels: %d\n", fill);
        CHECK(fill >= 40);
        CHECK(CountBadgeFill(badged.large, 0, 0, big, big / 3) == 0);  // the badge stays low
        CHECK(CountBadgeFill(plain.large, 0, 0, big, big) == 0);
        CHECK(IsBadgeFill(badged.large.At(big - 5, big - 3)) ||
              IsBadgeFill(badged.large.At(big - 4, big - 4)));
        bool topSame = true;
        for (int y = 0; y < big / 3; ++y)
            for (int x = 0; x < big; ++x) {
                const RGBQUAD a = badged.large.At(x, y), b = plain.large.At(x, y);
                topSame = topSame && a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen &&
                          a.rgbBlue == b.rgbBlue && a.rgbReserved == b.rgbReserved;
            }
        CHECK(topSame);
        // The small icon never carries a badge.
        CHECK(CountBadgeFill(badged.small, 0, 0, 16, 16) == 0);
    }

    StartCase("badge at the largest size");
    Extracted huge = ExtractFor(L"C:\\music\\song.flac", 256, 32);
    CHECK_HR(S_OK, huge.hr);
    CHECK(huge.large.size == 256 && CountBadgeFill(huge.large, 128, 128, 256, 256) > 1000);
    SaveBmp(badged.large, L"badge-48.bmp");
    SaveBmp(huge.large, L"badge-256.bmp");
    SaveBmp(plain.large, L"plain-48.bmp");

    StartCase("small large size keeps the plain icon");
    Extracted tiny = ExtractFor(L"C:\\music\\song.flac", 24, 16);
    CHECK_HR(S_OK, tiny.hr);
    CHECK(tiny.large.size == 24 && CountBadgeFill(tiny.large, 0, 0, 24, 24) == 0);

    StartCase("Maxtext cuts the text");
    Extracted longExt = ExtractFor(L"C:\\x\\data.abcdefghijklmnopqrstuvwxyz0123", big, 16, &where, &flags);
    CHECK_WSTR(L"StampShellIconABCDEFGHIJKLMNOPQRSTUVWXY", where);
    CHECK(CountBadgeFill(longExt.large, 0, big / 2, big, big) > 0);
    ExtractFor(L"C:\\x\\\x0444\x0430\x0439\x043B.fla\x00E7", big, 16, &where, &flags);
    CHECK_WSTR(L"StampShellIconFLA\x00C7", where);  // letters beyond ASCII too
    SetNumber(L"Maxtext", 3);
    ExtractFor(L"C:\\x\\data.abcdef", big, 16, &where, &flags);
    CHECK_WSTR(L"StampShellIconABC", where);

    StartCase("Maxtext 0 gives no badge");
    SetNumber(L"Maxtext", 0);
    Extracted none = ExtractFor(L"C:\\music\\song.flac", big, 16, &where, &flags);
    CHECK_WSTR(g_dll, where);
    CHECK(flags == 0);
    CHECK_HR(S_OK, none.hr);
    CHECK(none.large.size == big && CountBadgeFill(none.large, 0, 0, big, big) == 0);
    ResetSettings();

    StartCase("custom icon");
    const std::wstring green = g_scratch + L"\\green icon.ico";
    WriteSolidIco(green, 0, 200, 0);
    SetText(L"CustomIcon", green);
    Extracted custom = ExtractFor(L"C:\\music\\song.flac", big, 16, &where, &flags);
    CHECK_WSTR(L"StampShellIconFLAC", where);
    CHECK_HR(S_OK, custom.hr);
    CHECK(custom.large.size == big && custom.small.size == 16);
    if (custom.large.size == big && custom.small.size == 16) {
        CHECK(custom.large.At(2, 2).rgbGreen == 200 && custom.large.At(2, 2).rgbRed == 0);
        CHECK(custom.small.At(8, 8).rgbGreen == 200);
        CHECK(CountBadgeFill(custom.large, 0, big / 2, big, big) >= 40);
    }
    ExtractFor(L"C:\\music\\song", big, 16, &where, &flags);
    CHECK_WSTR(green, where);  // no extension text: the icon file itself
    CHECK(flags == 0);

    StartCase("missing custom icon falls back to the built-in one");
    SetText(L"CustomIcon", g_scratch + L"\\no such.ico");
    Extracted fallback = ExtractFor(L"C:\\music\\song", big, 16, &where, &flags);
    CHECK_WSTR(g_scratch + L"\\no such.ico", where);
    CHECK_HR(S_OK, fallback.hr);
    CHECK(fallback.large.size == big);
    if (fallback.large.size == big && plain.large.size == big) {
        CHECK(fallback.large.At(big / 2, big / 2).rgbRed == plain.large.At(big / 2, big / 2).rgbRed);
    }
    ResetSettings();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: stampmenu_test.exe <server dll> <scratch folder> [--xp]\n");
        return 2;
    }
    g_dll = argv[1];
    g_scratch = argv[2];
    g_xp = argc > 3 && std::wstring(argv[3]) == L"--xp";
    g_records = g_scratch + L"\\records";
    CreateDirectoryW(g_scratch.c_str(), nullptr);
    CreateDirectoryW(g_records.c_str(), nullptr);
    SetEnvironmentVariableW(L"STAMP_STANDIN_RECORDS", g_records.c_str());
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("COM initialisation failed\n");
        return 2;
    }
    if (!SetUpJob()) {
        std::printf("job object set-up failed\n");
        return 2;
    }
    ResetSettings();

    if (g_xp) {
        TestMenuEntry();
        TestLaunch();
    } else {
        TestObjectCreation();
        TestExports();
        TestMenuEntry();
        TestLaunch();
        TestIcons();
    }
    ResetSettings();
    CoUninitialize();
    std::printf("%s: %d checks, %d failed\n", g_failures == 0 ? "PASSED" : "FAILED", g_checks, g_failures);
    return g_failures == 0 ? 0 : 1;
}
