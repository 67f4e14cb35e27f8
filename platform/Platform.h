// Operating-system services used by the rest of the program. Nothing above this layer calls the
// C library or POSIX directly for processes, files, folders, clocks or the desktop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// ---- Text -------------------------------------------------------------------------------------
// Wide text is UTF-32 (wchar_t) on Linux; narrow text is UTF-8. Invalid input is replaced with
// U+FFFD rather than dropped, so a conversion never shortens a path silently.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);
// Sets the process locale from the environment, falling back to C.UTF-8 when the environment's
// locale is not UTF-8 or cannot be set. Call once at start-up before any other thread exists.
void InitLocale();
// Character-wise lower/upper case (not byte-wise).
std::wstring ToLower(std::wstring_view text);
std::wstring ToUpper(std::wstring_view text);

// ---- Time -------------------------------------------------------------------------------------
// Milliseconds of a monotonic clock (never goes back; unrelated to wall time).
uint64_t TickCountMs();
// The low 32 bits of TickCountMs(), as used in temporary file names.
uint32_t TickCount32();
void SleepMs(uint32_t ms);
struct LocalTime {
    int year, month, day, hour, minute, second, millisecond;
};
LocalTime NowLocal();

// ---- Processes --------------------------------------------------------------------------------
// Runs argv[0] (a path or a name looked up in PATH) with the given arguments: no shell, no
// terminal, standard input from /dev/null, output discarded. Blocks until the child exits.
// Returns false when argv is empty or the program could not be started; otherwise true, with the
// exit status in *exitCode (128 + signal number when the child was killed).
bool RunProcess(const std::vector<std::string>& argv, int* exitCode = nullptr);

// Like RunProcess, but standard output and standard error are read together through one pipe and
// returned in *output. Reading stops when the child has exited and the pipe has stayed quiet for
// drainMs, so a grandchild that keeps the pipe open cannot hang the caller.
bool RunProcessCapture(const std::vector<std::string>& argv, std::string* output, int* exitCode = nullptr,
                       int drainMs = 200);

// Like RunProcessCapture, but gives up after timeoutMs: the child's whole process group is then
// killed and reaped, *timedOut is set and the result is still true (it was started). While it
// runs, the child's group is also killed when this process exits or is interrupted.
bool RunProcessCaptureFor(const std::vector<std::string>& argv, std::string* output, int* exitCode,
                          uint32_t timeoutMs, bool* timedOut);

// Starts a program and does not wait for it (the child is reaped in the background).
bool SpawnDetached(const std::vector<std::string>& argv);

// Absolute path of an executable: a name with a "/" is checked as it is, otherwise PATH is searched.
// Empty when not found or not executable.
std::string FindExecutable(const std::string& name);

// ---- Interruption (platform/Signals.cpp) -------------------------------------------------------
// While registered, the file at `path` is removed when SIGINT, SIGTERM or SIGHUP ends the process
// (for a file being written under a temporary name). At most 16 at once; false when no slot is
// free or the path is too long. KeepAfterInterrupt unregisters it (after a rename, say).
bool RemoveOnInterrupt(const std::string& path);
void KeepAfterInterrupt(const std::string& path);
// While registered, the process group `group` is killed when this process is interrupted or
// exits, so no tool child outlives its caller. ForgetGroup unregisters it once reaped.
void KillGroupOnExit(int group);
void ForgetGroup(int group);
// Ends the process at once with `code`: kills the registered process groups, flushes the C
// streams and exits without running static destructors, for a program that still has a thread
// inside a library whose state those destructors would tear down.
[[noreturn]] void ExitNow(int code);

// ---- Files and folders (wide paths, "/" separator) ---------------------------------------------
bool PathExists(const std::wstring& path);  // file, folder or anything else
bool IsFolder(const std::wstring& path);
bool IsRegularFile(const std::wstring& path);
// Size in bytes of a regular file, -1 when it does not exist or cannot be read.
int64_t FileSize(const std::wstring& path);
// Copies a file; fails (and leaves the destination alone) when the destination exists.
bool CopyFileNoOverwrite(const std::wstring& from, const std::wstring& to);
// Deletes a file (not a folder). True when it is gone afterwards.
bool DeleteFilePath(const std::wstring& path);
// Renames; fails when the destination exists.
bool RenameNoOverwrite(const std::wstring& from, const std::wstring& to);
struct FolderEntry {
    std::wstring name;
    bool isFolder = false;
};
// Entries of a folder without "." and "..", sorted by name. False when it cannot be listed.
bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>* entries);
// Creates a folder and its missing parents with the given mode. True when it exists afterwards.
bool CreateFolders(const std::wstring& folder, unsigned mode = 0755);
// True when a file could be created in the folder.
bool IsFolderWritable(const std::wstring& folder);
// Writes (truncates) a file with the given bytes. False on any failure.
bool WriteFileBytes(const std::wstring& path, std::string_view bytes);
// Reads a whole file. False on failure.
bool ReadFileBytes(const std::wstring& path, std::string* bytes);

// ---- Well-known folders (all returned with a trailing "/") -------------------------------------
std::wstring ExePath();    // from /proc/self/exe
std::wstring ExeFolder();  // folder of ExePath()
// Per-user folders of the program: $XDG_CONFIG_HOME/tonewright/, $XDG_STATE_HOME/tonewright/,
// $XDG_CACHE_HOME/ (the cache base itself; callers add their own sub-folder).
std::wstring UserConfigFolder();
std::wstring UserStateFolder();
std::wstring UserCacheBase();
// $TMPDIR, else /tmp.
std::wstring TempFolder();
// The program's folder when a file can be written there (a portable install), else `fallback`
// (created). Used for settings and logs that live "beside the program".
std::wstring BesideProgramOr(const std::wstring& fallback);

// ---- Desktop ----------------------------------------------------------------------------------
// Opens a file or folder with the desktop's default application (xdg-open).
bool OpenInDesktop(const std::wstring& path);
// Shows a file selected in the file manager (FileManager1.ShowItems over D-Bus); when no file
// manager answers, opens the file's folder instead.
bool ShowInFileManager(const std::wstring& path);

// ---- Single instance --------------------------------------------------------------------------
// One running instance per user: the first start listens on a local socket named after a key in
// $XDG_RUNTIME_DIR (else in a private folder under the temporary folder); a later start hands its
// request to it and ends. A request is a verb and a list of paths, so the channel can carry files
// to open as well as "show".
struct InstanceRequest {
    std::string verb;
    std::vector<std::wstring> paths;
};
// The socket path of a key.
std::wstring SingleInstancePath(const std::wstring& key);
// Gives the request to the running instance of `key`; true when one accepted it in time.
bool SendToRunningInstance(const std::wstring& key, const InstanceRequest& request, int timeoutMs = 2000);

class SingleInstanceListener {
public:
    SingleInstanceListener();
    ~SingleInstanceListener();  // stops listening and removes the socket
    SingleInstanceListener(const SingleInstanceListener&) = delete;
    SingleInstanceListener& operator=(const SingleInstanceListener&) = delete;

    // Becomes the instance of `key`: binds the socket (replacing one that nobody answers on) and
    // serves requests on a thread of its own, where `handler` runs. False when another instance
    // answers on the socket or it cannot be made.
    bool Start(const std::wstring& key, std::function<void(const InstanceRequest&)> handler);
    void Stop();
    bool IsListening() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace platform
