#include "platform/folders.h"

#include "platform/reg_key.h"
#include "text/string_ops.h"

#include <shlobj.h>

namespace {

constexpr char kFallbackFolder[] = "C:";
constexpr char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kDefaultUserPrefix[] = ".DEFAULT\\";
constexpr char kProgramFilesValue[] = "ProgramFilesDir";
constexpr DWORD kModuleNameLength = MAX_PATH - 1;

// A path the system wrote into a buffer of `MAX_PATH` characters: `length` 0 is a
// failure, a length of the buffer or more means the path did not fit.
std::string FolderFromBuffer(const char* buffer, UINT length)
{
    if (length == 0 || length >= MAX_PATH)
        return kFallbackFolder;
    std::string folder(buffer, length);
    TrimRight(folder, '\\');
    return folder;
}

// The stored folder, or the default, either without trailing backslashes.
std::string ReadShellFolder(const CVRegKey& root, const std::string& keyPath, const char* name,
                            const std::string& defaultValue)
{
    std::string folder;
    try {
        folder = root.Open(keyPath.c_str(), KEY_QUERY_VALUE).GetString(name, defaultValue);
    } catch (const CVException&) {
        folder = defaultValue;
    }
    TrimRight(folder, '\\');
    return folder;
}

}  // namespace

std::string GetWindowsFolder()
{
    char buffer[MAX_PATH] = {};
    return FolderFromBuffer(buffer, GetWindowsDirectoryA(buffer, MAX_PATH));
}

std::string GetSystemFolder()
{
    char buffer[MAX_PATH] = {};
    return FolderFromBuffer(buffer, GetSystemDirectoryA(buffer, MAX_PATH));
}

std::string GetTempFolder()
{
    char buffer[MAX_PATH] = {};
    return FolderFromBuffer(buffer, GetTempPathA(MAX_PATH, buffer));
}

std::string GetModuleFolder(HMODULE module)
{
    // One byte more than the system may fill: a name cut at the buffer's end is left
    // unterminated by some systems.
    char buffer[kModuleNameLength + 1] = {};
    const DWORD length = GetModuleFileNameA(module, buffer, kModuleNameLength);
    const std::string path(buffer, length < kModuleNameLength ? length : kModuleNameLength);
    const size_t slash = ReverseFind(path, '\\');
    return slash == npos ? std::string() : path.substr(0, slash);
}

std::string GetProgramFilesFolder()
{
    char buffer[MAX_PATH] = {};
    if (SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_PROGRAM_FILES, FALSE))
        return buffer;
    try {
        return CVRegKey::LocalMachine.Open(kCurrentVersionKey, KEY_QUERY_VALUE).GetString(kProgramFilesValue);
    } catch (const CVException&) {
        return std::string();
    }
}

std::string GetUserShellFolder(const char* name, const std::string& defaultValue)
{
    return ReadShellFolder(CVRegKey::CurrentUser, kShellFoldersKey, name, defaultValue);
}

std::string GetCommonShellFolder(const char* name, const std::string& defaultValue)
{
    return ReadShellFolder(CVRegKey::LocalMachine, kShellFoldersKey, name, defaultValue);
}

std::string GetDefaultUserShellFolder(const char* name, const std::string& defaultValue)
{
    return ReadShellFolder(CVRegKey::Users, std::string(kDefaultUserPrefix) + kShellFoldersKey, name, defaultValue);
}
