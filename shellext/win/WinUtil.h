// Small Windows helpers of the server: paths, the class identifier, the registry settings and the
// Windows version.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "shellext/ShellExtCore.h"

namespace stampmenu {

// The class identifier of the extension object.
const CLSID& ExtensionClsid();

// The full path of a module, however long; empty on failure.
std::wstring ModulePath(HMODULE module);

// A text value (REG_SZ or REG_EXPAND_SZ) or a 32-bit number of an open key; nothing when absent or
// of another type.
std::optional<std::wstring> RegText(HKEY key, const wchar_t* name);
std::optional<std::uint32_t> RegNumber(HKEY key, const wchar_t* name);

// Opens the settings key for reading; nullptr when it is missing.
HKEY OpenSettingsKey();

// The settings as stored; all defaults when the key is missing.
Settings LoadSettings();

// The running Windows version as major * 256 + minor.
std::uint32_t WindowsVersion();

}  // namespace stampmenu
