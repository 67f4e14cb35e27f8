// Stand-in for the companion program "Stampwarden.exe" in the Wine tests: writes its own command
// line, unchanged and in UTF-16, to "<pid>.txt" in the folder named by STAMP_STANDIN_RECORDS.
#include <windows.h>

#include <string>

int wmain() {
    wchar_t folder[4096];
    const DWORD n = GetEnvironmentVariableW(L"STAMP_STANDIN_RECORDS", folder, 4096);
    if (n == 0 || n >= 4096) return 2;
    std::wstring path = folder;
    path += L"\\" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    const wchar_t* line = GetCommandLineW();
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    const DWORD bytes = static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t));
    const BOOL ok = WriteFile(file, line, bytes, &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes ? 0 : 4;
}
