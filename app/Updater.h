// The update launcher: the program does not update itself, it starts the separate updater
// "zxupdate" that ships beside it, detached and without a window, and tells it the product, the
// executable and the main window class. Nothing waits for it or reads its result.
#pragma once

#include <string>
#include <vector>

// The updater's command line for a program folder (with trailing "/"): the path of "zxupdate"
// there and the fixed arguments.
std::vector<std::string> UpdaterCommand(const std::wstring& programFolder);
// Starts the updater beside the running program (or in `programFolder` when given). True when
// it was started; false when it is missing, not executable or could not be started.
bool LaunchUpdater(const std::wstring& programFolder = L"");
// Retries the launch until it is accepted, at most `maxAttempts` times (a missing updater fails
// at once, so the bound keeps the window responsive). Returns the attempts made.
int LaunchUpdaterWithRetry(int maxAttempts, const std::wstring& programFolder = L"");
