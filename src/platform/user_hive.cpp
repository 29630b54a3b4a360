#include "platform/user_hive.h"

#include "platform/paths.h"
#include "platform/security.h"
#include "platform/system_version.h"
#include "text/string_ops.h"

#include <memory>

CUserHive::~CUserHive() { Unload(); }

bool CUserHive::Load(const char* hiveFile, const char* keyName, const CVRegKey& root)
{
    Unload();
    loadedByUs_ = false;
    hiveFile_ = hiveFile ? hiveFile : "";
    keyName_ = keyName ? keyName : "";
    root_ = root;

    std::string path = hiveFile_;
    TrimRight(path, '\\');
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;

    if (IsWindowsNT()) {
        // Left enabled: every profile of an operation needs it again.
        if (!SetPrivilege("SeRestorePrivilege"))
            return false;
    } else {
        path = GetShortPath(path.c_str(), "");
    }

    try {
        root_.Open(keyName_.c_str(), KEY_QUERY_VALUE);
    } catch (const CVRegKey::CSystemException&) {
        loadedByUs_ = true;
    }
    // The count exists before the hive is loaded, so a loaded hive always has an owner.
    std::unique_ptr<LONG> count(loadedByUs_ ? new LONG(0) : nullptr);
    const LONG result = RegLoadKeyA(root_.Handle(), keyName_.c_str(), path.c_str());
    if (result != ERROR_SUCCESS) {
        loadedByUs_ = false;
        SetLastError(static_cast<DWORD>(result));
        return false;
    }
    if (count) {
        ownership_ = count.release();
        InterlockedIncrement(ownership_);
    }
    return true;
}

void CUserHive::Unload()
{
    LONG result = ERROR_SUCCESS;
    if (ownership_ && InterlockedDecrement(ownership_) == 0) {
        result = RegUnLoadKeyA(root_.Handle(), keyName_.c_str());
        delete ownership_;
    }
    ownership_ = nullptr;
    loadedByUs_ = false;
    hiveFile_.clear();
    keyName_.clear();
    root_.Close();
    SetLastError(static_cast<DWORD>(result));
}
