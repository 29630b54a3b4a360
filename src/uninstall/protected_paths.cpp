#include "uninstall/protected_paths.h"

#include "platform/folders.h"
#include "platform/paths.h"
#include "text/string_ops.h"

#include <windows.h>

#include <memory>
#include <new>
#include <string>

namespace {

constexpr size_t kShortestDeletablePath = 3;  // "C:" and shorter are drives
constexpr char kLocalDevicePrefix[] = "\\\\?\\";
constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr char kUncPrefix[] = "\\\\";

// The rule as written: trailing backslashes removed, a path of fewer than three
// characters, or one of the three system folders, compared as text or as the same
// file-system object (short and long forms).
bool IsProtectedSpelling(std::string path)
{
    StripTrailingBackslashes(path);
    if (path.size() < kShortestDeletablePath)
        return true;
    for (const std::string& folder : {GetWindowsFolder(), GetSystemFolder(), GetProgramFilesFolder()}) {
        if (IsSamePath(path, folder))
            return true;
    }
    return false;
}

// "\\server\share" with nothing below it: the root of a network drive.
bool IsShareRoot(std::string path)
{
    StripTrailingBackslashes(path);
    if (path.compare(0, 2, kUncPrefix) != 0 || path.compare(0, 4, kLocalDevicePrefix) == 0 ||
        path.compare(0, 4, kDevicePrefix) == 0)
        return false;
    const size_t server = Find(path, '\\', 2);
    return server == npos || Find(path, '\\', server + 1) == npos;
}

// The system's full form of `path` ("." and ".." resolved, "/" turned into "\",
// relative paths made absolute, a "\\?\" or "\\.\" prefix dropped first); false when
// the system cannot give one.
bool FullPath(std::string path, std::string& full)
{
    if (path.compare(0, 4, kLocalDevicePrefix) == 0 || path.compare(0, 4, kDevicePrefix) == 0)
        path.erase(0, 4);
    const DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return false;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (!buffer)
        return false;
    const DWORD length = GetFullPathNameA(path.c_str(), size, buffer.get(), nullptr);
    if (length == 0 || length >= size)
        return false;
    full.assign(buffer.get(), length);
    return true;
}

}  // namespace

bool IsProtectedPath(const char* path)
{
    // Deletions are refused when the check itself cannot be made.
    try {
        const std::string text = path ? path : "";
        if (IsProtectedSpelling(text) || IsShareRoot(text))
            return true;
        // Beyond the plain rule (an implementer's choice): a hostile path may name a
        // protected folder in another spelling, which the deletion would resolve.
        // A path the system cannot resolve cannot be checked: it is refused.
        std::string full;
        return !FullPath(text, full) || IsProtectedSpelling(full) || IsShareRoot(full);
    } catch (...) {
        return true;
    }
}
