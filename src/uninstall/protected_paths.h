// The guard that keeps the uninstaller's folder deletions away from drive roots and
// the system's own folders.
#pragma once

// True for a path the uninstaller must never delete: a null or empty path, a bare
// drive or drive root, the Windows, system or program-files folder (case and trailing
// backslashes ignored). Other spellings of those folders count too: "." and ".."
// components, forward slashes, a "\\?\" prefix, 8.3 names, and a share root
// ("\\server\share"); so does a path the system cannot resolve (too long). Paths
// inside those folders are not protected.
bool IsProtectedPath(const char* path);
