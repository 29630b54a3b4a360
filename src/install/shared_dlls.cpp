#include "install/shared_dlls.h"

#include "install/component_release.h"
#include "platform/reg_key.h"

long ReleaseSharedDll(const std::string& path, bool force)
{
    try {
        const CVRegKey key = CVRegKey::LocalMachine.Open(kSharedDllsKey, kSharedDllsReleaseAccess);
        long count = static_cast<long>(key.GetDWord(path.c_str(), 0xFFFFFFFF));
        if (count <= -1 && !force)
            return -1;
        --count;
        if (!force && count > 0 && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            key.SetDWord(path.c_str(), static_cast<DWORD>(count));
            return count;
        }
        // Also what a forced release of a file without a count ends in: -1.
        key.DeleteValue(path.c_str());
        return 0;
    } catch (const CVException&) {
        return -1;
    }
}
