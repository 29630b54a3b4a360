#include "platform/paths.h"

#include "text/string_ops.h"

#include <windows.h>

#include <mbstring.h>

#include <vector>

namespace {

constexpr DWORD kShortPathBuffer = 260;
constexpr DWORD kLongPathBuffer = 520;

using GetLongPathNameFunction = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                    reinterpret_cast<const unsigned char*>(b.c_str())) == 0;
}

}  // namespace

void StripTrailingBackslashes(std::string& path) { TrimRight(path, '\\'); }

std::string GetFileName(const std::string& path)
{
    const size_t slash = ReverseFind(path, '\\');
    std::string name = slash == npos ? path : path.substr(slash + 1);
    TrimLeft(name, '\\');
    StripTrailingBackslashes(name);
    return name;
}

std::string GetFileTitle(const std::string& path)
{
    std::string name = GetFileName(path);
    const size_t dot = ReverseFind(name, '.');
    return dot == npos ? name : name.substr(0, dot);
}

std::string GetDirectory(const std::string& path)
{
    const size_t slash = ReverseFind(path, '\\');
    return slash == npos ? std::string() : path.substr(0, slash);
}

std::string GetShortPath(const std::string& path, const std::string& fallback)
{
    char buffer[kShortPathBuffer] = {};
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, kShortPathBuffer);
    // A larger figure is the size the system would need: the buffer holds nothing usable.
    if (length == 0 || length >= kShortPathBuffer)
        return fallback;
    return std::string(buffer, length);
}

std::string GetLongPath(const std::string& path, const std::string& fallback)
{
    // Absent from the first Windows 95 and NT 4 releases, hence the run-time look-up.
    HMODULE kernel = GetModuleHandleA("KERNEL32");
    auto getLongPathName = kernel ? reinterpret_cast<GetLongPathNameFunction>(reinterpret_cast<void*>(
                                        GetProcAddress(kernel, "GetLongPathNameA")))
                                  : nullptr;
    if (!getLongPathName)
        return fallback;
    std::vector<char> buffer(kLongPathBuffer, '\0');
    DWORD length = getLongPathName(path.c_str(), buffer.data(), kLongPathBuffer);
    if (length > kLongPathBuffer) {
        buffer.assign(length + 1, '\0');
        length = getLongPathName(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length >= buffer.size())
            return fallback;
    }
    if (length == 0)
        return fallback;
    return std::string(buffer.data(), length);
}

bool PathEquals(const std::string& a, const char* b)
{
    std::string other = b ? b : "";
    StripTrailingBackslashes(other);
    return EqualsNoCase(a, other);
}

bool IsSamePath(const std::string& a, const char* b)
{
    if (PathEquals(a, b))
        return true;
    std::string other = b ? b : "";
    StripTrailingBackslashes(other);
    if (a.empty() || other.empty())
        return false;
    if (EqualsNoCase(GetShortPath(a, a), GetShortPath(other, other)))
        return true;
    return EqualsNoCase(GetLongPath(a, a), GetLongPath(other, other));
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsExistingFile(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
