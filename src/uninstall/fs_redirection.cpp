#include "uninstall/fs_redirection.h"

#include "platform/folders.h"

namespace {

using EnableFunction = BOOLEAN(WINAPI*)(BOOLEAN);

// kernel32 stays loaded for the process's life, so its handle is not freed.
EnableFunction EnableRedirectionFunction()
{
    const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    return kernel32 ? reinterpret_cast<EnableFunction>(reinterpret_cast<void*>(
                          GetProcAddress(kernel32, "Wow64EnableWow64FsRedirection")))
                    : nullptr;
}

}  // namespace

RedirectionOff::RedirectionOff()
{
    const EnableFunction enable = EnableRedirectionFunction();
    active_ = enable && enable(FALSE) != FALSE;
}

RedirectionOff::~RedirectionOff()
{
    if (!active_)
        return;
    const DWORD error = GetLastError();
    EnableRedirectionFunction()(TRUE);
    SetLastError(error);
}

std::string NativeSystemFolder()
{
    const RedirectionOff off;
    return off.Active() ? GetSystemFolder() + "\\" : std::string();
}
