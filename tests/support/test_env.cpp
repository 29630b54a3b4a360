#include "support/test_env.h"

#include "platform/security.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <regex>

namespace kstest {

namespace {

constexpr char kTestRoot[] = "C:\\kstest";

std::string ExePath()
{
    char buffer[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return buffer;
}

// Starts `line` with `flags`; the process's handle and id, or a null handle.
PROCESS_INFORMATION StartProcess(std::string line, DWORD flags)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &info))
        CloseHandle(info.hThread);
    return info;
}

}  // namespace

std::string ExeFolder() { return ExePath().substr(0, ExePath().rfind('\\')); }

std::string ExeTitle()
{
    const std::string name = ExePath().substr(ExePath().rfind('\\') + 1);
    return name.substr(0, name.rfind('.'));
}

// INVALID_FILE_ATTRIBUTES has the folder bit set.
bool FileExists(const std::string& path) { return (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0; }

bool FolderExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strcmp(entry.cFileName, ".") && strcmp(entry.cFileName, ".."))
            names.push_back(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ::ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool NtFamily()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::string WindowsFolder()
{
    char folder[MAX_PATH] = {};
    return std::string(folder, GetWindowsDirectoryA(folder, MAX_PATH));
}

std::string SystemFolder()
{
    char folder[MAX_PATH] = {};
    return std::string(folder, GetSystemDirectoryA(folder, MAX_PATH));
}

std::string Environment(const char* name)
{
    char value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, MAX_PATH);
    return length < MAX_PATH ? std::string(value, length) : std::string();
}

std::string ShortPath(const std::string& path)
{
    char buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : path;
}

std::string ProfileListKey()
{
    return NtFamily() ? "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList"
                      : "Software\\Microsoft\\Windows\\CurrentVersion\\ProfileList";
}

void AddProfileEntry(const std::string& sid, const std::string& folder, DWORD flags)
{
    SetStringValue(HKEY_LOCAL_MACHINE, ProfileListKey() + "\\" + sid, "ProfileImagePath", folder);
    SetDWordValue(HKEY_LOCAL_MACHINE, ProfileListKey() + "\\" + sid, "Flags", flags);
}

void RemoveProfileEntry(const std::string& sid)
{
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, (ProfileListKey() + "\\" + sid).c_str());
    SHDeleteKeyA(HKEY_USERS, sid.c_str());
}

bool RunAndWait(const std::string& line, DWORD timeoutMs, bool children)
{
    const PROCESS_INFORMATION info = StartProcess(line, 0);
    if (!info.hProcess)
        return false;
    bool ended = WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(info.hProcess);
    HANDLE snapshot = children ? CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0) : INVALID_HANDLE_VALUE;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        HANDLE child = entry.th32ParentProcessID == info.dwProcessId
                           ? OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID) : nullptr;
        if (child) {
            ended = WaitForSingleObject(child, timeoutMs) == WAIT_OBJECT_0 && ended;
            CloseHandle(child);
        }
    }
    CloseHandle(snapshot);
    return ended;
}

bool SaveHive(const std::string& sourceKey, const std::string& file)
{
    HKEY source = nullptr;
    MakeFolders(file.substr(0, file.rfind('\\')));
    DeleteFileA(file.c_str());
    const bool saved = SetPrivilege("SeBackupPrivilege") &&
                       !RegCreateKeyA(HKEY_CURRENT_USER, sourceKey.c_str(), &source) &&
                       !RegSaveKeyA(source, file.c_str(), nullptr);
    RegCloseKey(source);
    return saved;
}

bool LoadHive(const std::string& name, const std::string& file)
{
    return SetPrivilege("SeRestorePrivilege") && !RegLoadKeyA(HKEY_USERS, name.c_str(), file.c_str());
}

std::string ProcessVariable(const char* prefix)
{
    char id[16];
    return prefix + std::string(id, wsprintfA(id, "%lx", GetCurrentProcessId()));
}

std::string MakeFolders(const std::string& path)
{
    for (size_t slash = path.find('\\', 3); slash != std::string::npos; slash = path.find('\\', slash + 1))
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

std::string MakeFile(const std::string& path, const std::string& bytes)
{
    MakeFolders(path.substr(0, path.rfind('\\')));
    WriteFile(path, bytes);
    return path;
}

void RemoveTreeWithin(const std::string& path, const std::string& root)
{
    // A test that goes wrong must never take more than its own places with it.
    if (root.size() <= 3 || _strnicmp(path.c_str(), root.c_str(), root.size()) != 0 ||
        (path.size() > root.size() && path[root.size()] != '\\'))
        return;
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (!DeleteFileA(path.c_str()))
            RemoveDirectoryA(path.c_str());
        return;
    }
    for (const std::string& name : FolderNames(path))
        RemoveTreeWithin(path + "\\" + name, root);
    RemoveDirectoryA(path.c_str());
}

void RemoveTestTree(const std::string& path)
{
    if (path.size() > sizeof(kTestRoot))
        RemoveTreeWithin(path, kTestRoot);
}

void SetStringValue(HKEY root, const std::string& key, const char* name, const std::string& text)
{
    SHSetValueA(root, key.c_str(), name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

std::string GetStringValue(HKEY root, const std::string& key, const char* name, const std::string& missing)
{
    char buffer[1024] = {};
    DWORD size = sizeof(buffer) - 1, type = 0;
    if (SHGetValueA(root, key.c_str(), name, &type, buffer, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return missing;
    return buffer;
}

void SetDWordValue(HKEY root, const std::string& key, const char* name, DWORD value)
{
    SHSetValueA(root, key.c_str(), name, REG_DWORD, &value, sizeof(value));
}

DWORD GetDWordValue(HKEY root, const std::string& key, const char* name, DWORD missing)
{
    DWORD value = 0, size = sizeof(value), type = 0;
    if (SHGetValueA(root, key.c_str(), name, &type, &value, &size) != ERROR_SUCCESS || type != REG_DWORD)
        return missing;
    return value;
}

void DeleteValue(HKEY root, const std::string& key, const char* name) { SHDeleteValueA(root, key.c_str(), name); }

bool RegKeyExists(HKEY root, const std::string& key)
{
    HKEY opened = nullptr;
    return RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &opened) == ERROR_SUCCESS && !RegCloseKey(opened);
}

ScratchFolder::ScratchFolder(const std::string& name)
    : path_(std::string(kTestRoot) + "\\" + ExeTitle() + "\\" + name)
{
    RemoveTestTree(path_);
    MakeFolders(path_);
}

ScratchFolder::~ScratchFolder() { RemoveTestTree(path_); }

ModuleUnderTest::ModuleUnderTest() : module_(LoadLibraryA(Path().c_str())) {}

ModuleUnderTest::~ModuleUnderTest() { Unload(); }

std::string ModuleUnderTest::Path() { return ExeFolder() + "\\KSInst.dll"; }

void ModuleUnderTest::Unload()
{
    FreeLibrary(module_);  // nothing for a module already freed
    module_ = nullptr;
}

TestRegKey::TestRegKey(const std::string& name, HKEY root)
    : root_(root), path_("Software\\KSInstTest\\" + ExeTitle() + "\\" + name)
{
    SHDeleteKeyA(root_, path_.c_str());
}

TestRegKey::~TestRegKey() { SHDeleteKeyA(root_, path_.c_str()); }

std::string HelperPath() { return ExeFolder() + "\\kshelper.exe"; }

HelperHold::HelperHold(const std::string& arguments)
{
    static LONG counter = 0;
    char eventName[64];
    wsprintfA(eventName, "kstest.hold.%lu.%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
    release_ = CreateEventA(nullptr, TRUE, FALSE, eventName);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (std::string(eventName) + ".ready").c_str());
    process_ = StartProcess("\"" + HelperPath() + "\" " + arguments + " " + eventName, CREATE_NO_WINDOW).hProcess;
    if (process_) {
        HANDLE waits[] = {ready, process_};
        holding_ = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
    }
    CloseHandle(ready);
}

HelperHold::~HelperHold()
{
    SetEvent(release_);
    if (process_) {
        WaitForSingleObject(process_, 30000);
        CloseHandle(process_);
    }
    CloseHandle(release_);
}

std::vector<std::string> LogEntriesOf(const std::string& log)
{
    static const std::regex head("\r\n\r\n(SUCCESS|INFO|WARNING|ERROR)\t[0-9/: ]+\t\r\n");
    std::vector<std::string> entries;
    for (std::sregex_iterator it(log.begin(), log.end(), head), end; it != end; ++it) {
        const size_t start = it->position() + it->length();
        const size_t next = log.find("\r\n\r\n", start);
        entries.push_back((*it)[1].str() + " " + log.substr(start, next == std::string::npos ? next : next - start));
    }
    return entries;
}

}  // namespace kstest
