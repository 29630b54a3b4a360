#include "platform/system_version.h"

namespace {

OSVERSIONINFOEXA g_version = {};
// Once the system refuses the extended record it is never asked for again.
bool g_extendedRefused = false;

}  // namespace

bool QuerySystemVersion(OSVERSIONINFOEXA& version, bool* extendedRefused)
{
    const bool skipExtended = extendedRefused && *extendedRefused;
    version = OSVERSIONINFOEXA();
    if (!skipExtended) {
        version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
        if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)))
            return true;
        if (extendedRefused)
            *extendedRefused = true;
    }
    version = OSVERSIONINFOEXA();
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)) != FALSE;
}

const OSVERSIONINFOEXA& CachedSystemVersion()
{
    if (g_version.dwMajorVersion == 0) {
        OSVERSIONINFOEXA version;
        if (QuerySystemVersion(version, &g_extendedRefused))
            g_version = version;
    }
    return g_version;
}

bool IsWindowsNT() { return CachedSystemVersion().dwPlatformId == VER_PLATFORM_WIN32_NT; }
