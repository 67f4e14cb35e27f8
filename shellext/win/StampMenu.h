// Process-wide state of the stampmenu64 server, shared by its exports, class factory and objects.
#pragma once

#include <windows.h>

namespace stampmenu {

// The server's module handle, kept at process attach.
extern HINSTANCE g_module;

// Count of live objects (class factories and extension objects); the server may unload at zero.
void AddLiveObject();
void RemoveLiveObject();
long LiveObjects();

}  // namespace stampmenu
