// Self-registration of COM server files: libraries through their DllRegisterServer and
// DllUnregisterServer entries, executables through "/UnregServer".
#pragma once

#include <string>

// Loads the library at `path` (its own folder searched first), calls its
// DllRegisterServer or DllUnregisterServer when it has one, and unloads it. The entry's
// result is not used; a library that cannot be loaded is left alone.
void RegisterComServer(const std::string& path);
void UnregisterComServer(const std::string& path);

// Runs the executable at `path` (by its short path) with "/UnregServer" and waits for
// it at most kUnregisterExeWaitMs; nothing happens when `path` does not exist.
void UnregisterExeServer(const std::string& path);

constexpr unsigned long kUnregisterExeWaitMs = 3000;
