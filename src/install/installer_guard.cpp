#include "install/installer_guard.h"

#include "frame/exports.h"
#include "platform/scoped_handle.h"
#include "platform/security.h"
#include "platform/system_version.h"

namespace {

constexpr char kGlobalPrefix[] = "Global\\";
constexpr DWORD kKernelObject = 6;  // SE_KERNEL_OBJECT

}  // namespace

std::string InstallerEventName(const OSVERSIONINFOEXA& version)
{
    const bool sessions = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
    return sessions ? std::string(kGlobalPrefix) + kInstallerEventName : std::string(kInstallerEventName);
}

HANDLE TakeInstallerGuard()
{
    const OSVERSIONINFOEXA& version = CachedSystemVersion();
    if (version.dwMajorVersion == 0)
        return nullptr;
    const std::string name = InstallerEventName(version);

    SetLastError(ERROR_SUCCESS);
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, name.c_str());
    if (event && GetLastError() == ERROR_ALREADY_EXISTS) {
        // Someone else holds it: only our own new handle is closed again.
        ScopedHandle existing(event);
        const bool signalled = WaitForSingleObject(existing.Get(), 0) == WAIT_OBJECT_0;
        return signalled ? nullptr : kGuardHeldNotSignalled;
    }
    // The product's other programs may run under other accounts and must open it too;
    // a failure changes nothing for this caller.
    if (event && IsWindowsNT())
        GrantEveryoneFullAccess(name.c_str(), kKernelObject);
    return event;
}

KSINST_EXPORT(HANDLE) KSWAreThereOthers()
{
    try {
        return TakeInstallerGuard();
    } catch (...) {
        return nullptr;
    }
}
