#include "platform/os_class.h"

#include "frame/exports.h"
#include "platform/system_version.h"

DWORD ClassifyOsVersion(DWORD platformId, DWORD major, DWORD minor, const char* servicePack)
{
    switch (platformId) {
    case VER_PLATFORM_WIN32s:
        return OS_CLASS_WIN32S;
    case VER_PLATFORM_WIN32_WINDOWS:
        if (minor == 90)
            return OS_CLASS_WINME;
        if (minor == 10) {
            // The second edition of 98 reports " A " as its service-pack text.
            const bool secondEdition = servicePack && servicePack[0] != '\0' && servicePack[1] == 'A';
            return secondEdition ? OS_CLASS_WIN98SE : OS_CLASS_WIN98;
        }
        return OS_CLASS_WIN95;
    case VER_PLATFORM_WIN32_NT:
        switch (major) {
        case 3:
            return OS_CLASS_NT3;
        case 4:
            return OS_CLASS_NT4;
        case 5:
            if (minor == 0)
                return OS_CLASS_WIN2000;
            if (minor == 1)
                return OS_CLASS_WINXP;
            if (minor == 2)
                return OS_CLASS_WIN2003;
            return OS_CLASS_NONE;
        case 6:
            return OS_CLASS_VISTA_6X;
        default:
            return OS_CLASS_NONE;
        }
    default:
        return OS_CLASS_NONE;
    }
}

DWORD QueryOsClass()
{
    OSVERSIONINFOEXA version;
    if (!QuerySystemVersion(version))
        return OS_CLASS_NONE;
    return ClassifyOsVersion(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion,
                             version.szCSDVersion);
}

KSINST_EXPORT(int) KSWIsCompatibleWithOS(DWORD mask)
{
    try {
        return (QueryOsClass() & mask) != 0 ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
