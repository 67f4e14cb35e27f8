// The extension object: one menu entry for folders and files without extension, the launch of the
// companion program, and icons with an extension badge.
#pragma once

#include <shlobj.h>
#include <shobjidl.h>
#include <uxtheme.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "shellext/ShellExtCore.h"

namespace stampmenu {

class CShellExt : public IShellExtInit, public IContextMenu3, public IPersistFile, public IExtractIconW {
public:
    CShellExt();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) override;

    // IContextMenu, IContextMenu2, IContextMenu3
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR command, UINT type, UINT* reserved, CHAR* name,
                                  UINT size) override;
    STDMETHODIMP HandleMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam) override;
    STDMETHODIMP HandleMenuMsg2(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // IPersist, IPersistFile
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPCOLESTR fileName, DWORD mode) override;
    STDMETHODIMP Save(LPCOLESTR fileName, BOOL remember) override;
    STDMETHODIMP SaveCompleted(LPCOLESTR fileName) override;
    STDMETHODIMP GetCurFile(LPOLESTR* fileName) override;

    // IExtractIconW
    STDMETHODIMP GetIconLocation(UINT flags, LPWSTR iconFile, UINT size, int* index, UINT* outFlags) override;
    STDMETHODIMP Extract(LPCWSTR file, UINT index, HICON* large, HICON* small, UINT sizes) override;

private:
    virtual ~CShellExt();

    // Asks the kept data object for its file-drop list again; false when it has none.
    bool FetchDropList();
    void ReleaseDropList();
    std::vector<std::wstring> SelectedPaths() const;
    void Launch(const std::wstring& commandLine, const std::wstring& program, HWND window, int show) const;

    HICON LoadIconAt(int width, int height) const;
    HBITMAP MenuBitmap() const;
    HICON AddBadge(HICON icon, int size) const;

    using BeginBufferedPaintFn = HPAINTBUFFER(WINAPI*)(HDC, const RECT*, BP_BUFFERFORMAT, BP_PAINTPARAMS*,
                                                       HDC*);
    using EndBufferedPaintFn = HRESULT(WINAPI*)(HPAINTBUFFER, BOOL);
    using GetBufferedPaintBitsFn = HRESULT(WINAPI*)(HPAINTBUFFER, RGBQUAD**, int*);

    LONG refs_ = 1;
    Settings settings_;
    IDataObject* data_ = nullptr;
    std::wstring firstPath_;
    std::wstring firstExtension_;  // with its dot, lower-cased
    STGMEDIUM medium_{};           // holds the drop handle while the object lives
    HDROP drop_ = nullptr;
    UINT itemCount_ = 0;
    HMENU menu_ = nullptr;
    UINT nextId_ = 0;
    std::vector<HBITMAP> menuBitmaps_;
    std::wstring iconText_;
    std::wstring serverPath_;
    std::uint32_t version_ = 0;

    HMODULE uxTheme_ = nullptr;
    BeginBufferedPaintFn beginBufferedPaint_ = nullptr;
    EndBufferedPaintFn endBufferedPaint_ = nullptr;
    GetBufferedPaintBitsFn getBufferedPaintBits_ = nullptr;
};

}  // namespace stampmenu
