#include "install/com_registration.h"

#include "install/component_release.h"
#include "platform/loaded_library.h"
#include "platform/paths.h"
#include "platform/scoped_handle.h"
#include "text/string_ops.h"

#include <windows.h>

#include <vector>

namespace {

using RegistrationEntry = HRESULT(WINAPI*)();

void CallRegistrationEntry(const std::string& path, const char* entryName)
{
    const LoadedLibrary library(path.c_str(), LOAD_WITH_ALTERED_SEARCH_PATH);
    if (const auto entry = library.Find<RegistrationEntry>(entryName))
        entry();
}

}  // namespace

void RegisterComServer(const std::string& path) { CallRegistrationEntry(path, "DllRegisterServer"); }

void UnregisterComServer(const std::string& path) { CallRegistrationEntry(path, "DllUnregisterServer"); }

void UnregisterExeServer(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    // The short form needs no quotes around a path with blanks.
    const std::string commandLine = GetShortPath(path, "") + " /UnregServer";
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return;
    const ScopedHandle process(info.hProcess);
    const ScopedHandle thread(info.hThread);
    if (WaitForSingleObject(process.Get(), kUnregisterExeWaitMs) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        GetExitCodeProcess(process.Get(), &exitCode);
    }
}

void UnregisterComFile(const std::string& path)
{
    const size_t dot = ReverseFind(path, '.');
    if (path.empty() || dot == npos)
        return;
    if (lstrcmpiA(path.c_str() + dot, ".exe") == 0)
        UnregisterExeServer(path);
    else
        UnregisterComServer(path);
}
