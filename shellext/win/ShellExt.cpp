#include "ShellExt.h"

#include <shellapi.h>

#include <algorithm>

#include "StampMenu.h"
#include "WinUtil.h"

namespace stampmenu {

namespace {

// Not in every header set; the value is fixed by the system.
constexpr DWORD kErrorElevationRequired = 740;

template <typename Fn>
Fn Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

CShellExt::CShellExt() {
    AddLiveObject();
    serverPath_ = ModulePath(g_module);
    version_ = WindowsVersion();
    if (version_ >= kVersionVista) {
        uxTheme_ = LoadLibraryW(L"UxTheme.dll");
        if (uxTheme_) {
            beginBufferedPaint_ = Bind<BeginBufferedPaintFn>(uxTheme_, "BeginBufferedPaint");
            endBufferedPaint_ = Bind<EndBufferedPaintFn>(uxTheme_, "EndBufferedPaint");
            getBufferedPaintBits_ = Bind<GetBufferedPaintBitsFn>(uxTheme_, "GetBufferedPaintBits");
            if (!beginBufferedPaint_ || !endBufferedPaint_ || !getBufferedPaintBits_) {
                beginBufferedPaint_ = nullptr;
                endBufferedPaint_ = nullptr;
                getBufferedPaintBits_ = nullptr;
            }
        }
    }
    settings_ = LoadSettings();
}

CShellExt::~CShellExt() {
    beginBufferedPaint_ = nullptr;
    endBufferedPaint_ = nullptr;
    getBufferedPaintBits_ = nullptr;
    if (uxTheme_) FreeLibrary(uxTheme_);
    ReleaseDropList();
    if (data_) data_->Release();
    for (HBITMAP bitmap : menuBitmaps_) DeleteObject(bitmap);
    RemoveLiveObject();
}

// ---- IUnknown -----------------------------------------------------------------------------------

STDMETHODIMP CShellExt::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IShellExtInit)) {
        *ppv = static_cast<IShellExtInit*>(this);
    } else if (IsEqualIID(riid, IID_IContextMenu) || IsEqualIID(riid, IID_IContextMenu2) ||
               IsEqualIID(riid, IID_IContextMenu3)) {
        *ppv = static_cast<IContextMenu3*>(this);
    } else if (IsEqualIID(riid, IID_IPersistFile)) {
        *ppv = static_cast<IPersistFile*>(this);
    } else if (IsEqualIID(riid, IID_IExtractIconW)) {
        *ppv = static_cast<IExtractIconW*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CShellExt::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) CShellExt::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

// ---- IShellExtInit ------------------------------------------------------------------------------

STDMETHODIMP CShellExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
    if (data) data->AddRef();  // before releasing the old one, which may be the same object
    if (data_) data_->Release();
    data_ = data;
    firstPath_.clear();
    firstExtension_.clear();
    if (!FetchDropList()) return E_INVALIDARG;
    if (itemCount_ > 0) {
        // The whole first path, however long; its extension decides whether the entry appears.
        const UINT length = DragQueryFileW(drop_, 0, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        const UINT got = DragQueryFileW(drop_, 0, path.data(), length + 1);
        path.resize(got);
        firstPath_ = path;
        firstExtension_ = ToLower(ExtensionOf(firstPath_));
    }
    ReleaseDropList();
    // A list whose first name is empty names no item.
    return firstPath_.empty() ? E_INVALIDARG : S_OK;
}

bool CShellExt::FetchDropList() {
    ReleaseDropList();
    if (!data_) return false;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    if (FAILED(data_->GetData(&format, &medium_))) {
        medium_ = STGMEDIUM{};
        return false;
    }
    if (medium_.tymed != TYMED_HGLOBAL || !medium_.hGlobal) {
        ReleaseStgMedium(&medium_);
        medium_ = STGMEDIUM{};
        return false;
    }
    drop_ = static_cast<HDROP>(medium_.hGlobal);
    itemCount_ = DragQueryFileW(drop_, 0xFFFFFFFF, nullptr, 0);
    return true;
}

void CShellExt::ReleaseDropList() {
    if (drop_) ReleaseStgMedium(&medium_);
    medium_ = STGMEDIUM{};
    drop_ = nullptr;
    itemCount_ = 0;
}

std::vector<std::wstring> CShellExt::SelectedPaths() const {
    std::vector<std::wstring> paths;
    if (!drop_) return paths;
    paths.reserve(itemCount_);
    for (UINT i = 0; i < itemCount_; ++i) {
        const UINT length = DragQueryFileW(drop_, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        const UINT got = DragQueryFileW(drop_, i, path.data(), length + 1);
        path.resize(got);
        paths.push_back(std::move(path));
    }
    return paths;
}

// ---- IContextMenu -------------------------------------------------------------------------------

STDMETHODIMP CShellExt::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT) {
    const HRESULT none = MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 0);
    FetchDropList();
    if (!drop_ || itemCount_ == 0 || firstPath_.empty()) return none;
    if (!OffersEntry(firstExtension_)) return none;
    if (!menu || firstId > lastId) return none;

    if (!InsertMenuW(menu, index, MF_BYPOSITION | MF_STRING, firstId, settings_.title.c_str())) return none;

    if (settings_.showIcon) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_BITMAP;
        if (version_ >= kVersionVista) {
            // Each menu keeps its own bitmap until the object goes.
            if (HBITMAP bitmap = MenuBitmap()) {
                menuBitmaps_.push_back(bitmap);
                item.hbmpItem = bitmap;
                SetMenuItemInfoW(menu, firstId, FALSE, &item);
                MENUINFO info{};
                info.cbSize = sizeof info;
                info.fMask = MIM_STYLE;
                GetMenuInfo(menu, &info);
                info.dwStyle |= MNS_CHECKORBMP;
                SetMenuInfo(menu, &info);
            }
        } else {
            item.hbmpItem = HBMMENU_CALLBACK;
            SetMenuItemInfoW(menu, firstId, FALSE, &item);
        }
    }
    menu_ = menu;
    nextId_ = firstId + 1;
    return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 1);
}

STDMETHODIMP CShellExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    if (!info) return E_INVALIDARG;
    if (!IS_INTRESOURCE(info->lpVerb) || LOWORD(reinterpret_cast<ULONG_PTR>(info->lpVerb)) != 0) {
        return E_INVALIDARG;
    }
    HKEY key = OpenSettingsKey();
    if (!key) return E_FAIL;
    const std::optional<std::wstring> program = RegText(key, L"Path");
    const std::optional<std::wstring> custom = RegText(key, L"Custom");
    RegCloseKey(key);
    if (!program) return E_FAIL;

    // The drop list is normally kept from building the menu; fetch it when the menu was skipped.
    if (!drop_) FetchDropList();
    const std::vector<std::wstring> lines =
        BuildCommandLines(CommandHead(*program, custom), SelectedPaths(), BatchSizeFor(version_));
    for (const std::wstring& line : lines) Launch(line, *program, info->hwnd, info->nShow);
    return S_OK;
}

void CShellExt::Launch(const std::wstring& commandLine, const std::wstring& program, HWND window,
                       int show) const {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION process{};
    std::wstring mutableLine = commandLine;  // CreateProcessW may write into it
    if (CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return;
    }
    if (GetLastError() != kErrorElevationRequired) return;

    // The same command line through the shell's elevation verb: the program, then the rest.
    const std::size_t quoted = program.size() + 2;
    std::wstring parameters = commandLine.size() > quoted ? commandLine.substr(quoted + 1) : std::wstring();
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW exec{};
    exec.cbSize = sizeof exec;
    exec.fMask = SEE_MASK_NOASYNC;
    exec.hwnd = window;
    exec.lpVerb = L"runas";
    exec.lpFile = program.c_str();
    exec.lpParameters = parameters.c_str();
    exec.nShow = show;
    ShellExecuteExW(&exec);
    if (SUCCEEDED(com)) CoUninitialize();
}

STDMETHODIMP CShellExt::GetCommandString(UINT_PTR, UINT type, UINT*, CHAR* name, UINT size) {
    if (type == GCS_HELPTEXTW) {
        if (name && size > 0) reinterpret_cast<wchar_t*>(name)[0] = L'\0';
        return S_OK;
    }
    if (type == GCS_HELPTEXTA) {
        if (name && size > 0) name[0] = '\0';
        return S_OK;
    }
    return E_NOTIMPL;
}

STDMETHODIMP CShellExt::HandleMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam) {
    return HandleMenuMsg2(msg, wParam, lParam, nullptr);
}

STDMETHODIMP CShellExt::HandleMenuMsg2(UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
    // Only our own owner-drawn entry is answered; its identifier is the one before nextId_.
    const UINT ownId = nextId_ - 1;
    bool handled = false;
    if (msg == WM_MEASUREITEM && lParam && nextId_ != 0) {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (measure->CtlType == ODT_MENU && measure->itemID == ownId) {
            measure->itemWidth = 0;
            const UINT check = static_cast<UINT>(GetSystemMetrics(SM_CYMENUCHECK));
            measure->itemHeight = std::max(measure->itemHeight, check);
            handled = true;
        }
    } else if (msg == WM_DRAWITEM && lParam && nextId_ != 0) {
        auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (draw->CtlType == ODT_MENU && draw->itemID == ownId) {
            const int cx = GetSystemMetrics(SM_CXMENUCHECK), cy = GetSystemMetrics(SM_CYMENUCHECK);
            if (HICON icon = LoadIconAt(cx, cy)) {
                // Inside the item's own rectangle, two pixels in.
                DrawIconEx(draw->hDC, draw->rcItem.left + 2, draw->rcItem.top + 2, icon, cx, cy, 0, nullptr,
                           DI_NORMAL);
                DestroyIcon(icon);
            }
            handled = true;
        }
    }
    if (handled && result) *result = TRUE;
    return S_OK;
}

// ---- IPersistFile -------------------------------------------------------------------------------

STDMETHODIMP CShellExt::GetClassID(CLSID*) {
    return E_NOTIMPL;
}
STDMETHODIMP CShellExt::IsDirty() {
    return E_NOTIMPL;
}
STDMETHODIMP CShellExt::Load(LPCOLESTR fileName, DWORD) {
    if (!fileName) return E_INVALIDARG;
    iconText_ = IconTextFor(fileName, settings_.maxText);
    // The system's case table also upper-cases letters beyond ASCII.
    if (!iconText_.empty()) CharUpperBuffW(iconText_.data(), static_cast<DWORD>(iconText_.size()));
    return S_OK;
}
STDMETHODIMP CShellExt::Save(LPCOLESTR, BOOL) {
    return E_NOTIMPL;
}
STDMETHODIMP CShellExt::SaveCompleted(LPCOLESTR) {
    return E_NOTIMPL;
}
STDMETHODIMP CShellExt::GetCurFile(LPOLESTR*) {
    return E_NOTIMPL;
}

// ---- IExtractIconW ------------------------------------------------------------------------------

STDMETHODIMP CShellExt::GetIconLocation(UINT flags, LPWSTR iconFile, UINT size, int* index, UINT* outFlags) {
    if (!iconFile || size == 0 || !index || !outFlags) return E_INVALIDARG;
    const IconLocation where = LocateIcon((flags & GIL_DEFAULTICON) != 0, settings_.dynamic, iconText_,
                                          settings_.customIcon, serverPath_);
    CopyCut(where.location, iconFile, size);
    *index = 0;
    *outFlags = where.notFileName ? GIL_NOTFILENAME : 0;
    return S_OK;
}

STDMETHODIMP CShellExt::Extract(LPCWSTR, UINT, HICON* large, HICON* small, UINT sizes) {
    const int largeSize = LOWORD(sizes), smallSize = HIWORD(sizes);
    HICON smallIcon = small ? LoadIconAt(smallSize, smallSize) : nullptr;
    HICON largeIcon = large ? LoadIconAt(largeSize, largeSize) : nullptr;
    if ((small && !smallIcon) || (large && !largeIcon)) {
        if (smallIcon) DestroyIcon(smallIcon);
        if (largeIcon) DestroyIcon(largeIcon);
        return S_FALSE;
    }
    if (WantsBadge(settings_.dynamic, large != nullptr, largeSize, iconText_.size())) {
        HICON badged = AddBadge(largeIcon, largeSize);
        if (!badged) {
            DestroyIcon(smallIcon);
            DestroyIcon(largeIcon);
            return S_FALSE;
        }
        if (badged != largeIcon) {
            DestroyIcon(largeIcon);
            largeIcon = badged;
        }
    }
    if (small) *small = smallIcon;
    if (large) *large = largeIcon;
    return S_OK;
}

}  // namespace stampmenu
