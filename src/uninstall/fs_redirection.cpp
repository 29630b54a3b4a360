#include "uninstall/fs_redirection.h"

#include "platform/folders.h"

namespace {

using DisableFunction = BOOL(WINAPI*)(PVOID*);
using RevertFunction = BOOL(WINAPI*)(PVOID);

// kernel32 stays loaded for the process's life, so its handle is not freed.
template <typename Function>
Function Kernel32Function(const char* name)
{
    const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    return kernel32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel32, name))) : nullptr;
}

}  // namespace

RedirectionOff::RedirectionOff()
{
    const auto disable = Kernel32Function<DisableFunction>("Wow64DisableWow64FsRedirection");
    if (disable && Kernel32Function<RevertFunction>("Wow64RevertWow64FsRedirection"))
        active_ = disable(&oldValue_) != FALSE;
}

RedirectionOff::~RedirectionOff()
{
    if (!active_)
        return;
    const DWORD error = GetLastError();
    Kernel32Function<RevertFunction>("Wow64RevertWow64FsRedirection")(oldValue_);
    SetLastError(error);
}

std::string NativeSystemFolder()
{
    const RedirectionOff off;
    return off.Active() ? GetSystemFolder() + "\\" : std::string();
}
