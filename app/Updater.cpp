#include "app/Updater.h"

#include <unistd.h>

#include "platform/Platform.h"

std::vector<std::string> UpdaterCommand(const std::wstring& programFolder) {
    return {platform::ToUtf8(programFolder + L"zxupdate"), "-o=sonivert", "-e=tonewright", "-c=SoniverterWnd",
            "-m=1"};
}

bool LaunchUpdater(const std::wstring& programFolder) {
    std::wstring folder = programFolder.empty() ? platform::ExeFolder() : programFolder;
    std::vector<std::string> argv = UpdaterCommand(folder);
    // A missing or non-executable updater is the common case on a development build: no spawn.
    if (access(argv[0].c_str(), X_OK) != 0 || !platform::IsRegularFile(platform::FromUtf8(argv[0])))
        return false;
    return platform::SpawnDetached(argv);
}

int LaunchUpdaterWithRetry(int maxAttempts, const std::wstring& programFolder) {
    int attempts = 0;
    while (attempts < maxAttempts) {
        ++attempts;
        if (LaunchUpdater(programFolder)) break;
    }
    return attempts;
}
