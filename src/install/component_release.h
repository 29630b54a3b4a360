// What the uninstaller calls for each component file it removes: unregistering a COM
// server file and releasing the system's shared-library count of a file.
#pragma once

#include <string>

// Unregisters a component file: an ".exe" (case ignored) is run with "/UnregServer",
// any other file with a "." in its path is loaded and its DllUnregisterServer called.
// An empty path or one without a "." does nothing. No result.
void UnregisterComFile(const std::string& path);

// Lowers the shared-library count of `path` by one and returns the new count; at 0 (or
// when the file is gone) the count's value is deleted and 0 returned. -1 when there is
// no count and not `force`, or on a registry failure. With `force` the value is
// deleted whatever it held (-1 when there was none).
long ReleaseSharedDll(const std::string& path, bool force);
