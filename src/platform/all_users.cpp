#include "platform/all_users.h"

#include "frame/exports.h"
#include "platform/reg_key.h"
#include "platform/system_version.h"
#include "platform/user_hive.h"
#include "text/string_ops.h"

#include <cstring>

#include <string>
#include <vector>

namespace {

constexpr REGSAM kTreeAccess = 0x3001F;

struct Operation {
    const char* subKey;
    const char* valueName;
    const void* data;
    DWORD size;
    DWORD type;
    DWORD options;
};

// Runs the operation on `keyPath` below HKEY_USERS; `destination` is the user-rooted
// destination key of a key copy. Registry errors make it false.
bool HiveOperation(const std::string& keyPath, const std::string& destination, const Operation& op)
{
    const CVRegKey& users = CVRegKey::Users;
    try {
        if (op.options & PU_COPY_KEY) {
            CVRegKey source = users.Open(keyPath.c_str(), kTreeAccess);
            CVRegKey target = users.Create(destination.c_str(), kTreeAccess);
            source.CopyTo(target.Handle(), nullptr);
            if (op.options & PU_DELETE_SOURCE) {
                source.Close();
                users.DeleteKey(keyPath.c_str());
            }
        } else if (op.options & PU_COPY_VALUE) {
            CVRegKey key = users.Open(keyPath.c_str(), kTreeAccess);
            const DWORD type = key.GetValueType(op.valueName);
            if (type != REG_NONE) {
                const std::vector<BYTE> bytes = key.GetBinary(op.valueName);
                key.SetValue(static_cast<const char*>(op.data), bytes.data(), static_cast<DWORD>(bytes.size()), type);
                if (op.options & PU_DELETE_SOURCE)
                    key.DeleteValue(op.valueName);
            }
        } else if (!op.valueName) {
            if (op.options & PU_DELETE_KEY_IF_EMPTY)
                users.DeleteKeyIfEmpty(keyPath.c_str());
            else
                users.DeleteKey(keyPath.c_str());
        } else if (!op.data) {
            users.Open(keyPath.c_str(), KEY_SET_VALUE).DeleteValue(op.valueName);
        } else {
            if (op.options & PU_ONLY_EXISTING) {
                CVRegKey existing = users.Open(keyPath.c_str(), KEY_QUERY_VALUE | KEY_SET_VALUE);
                if (existing.GetValueType(op.valueName) == REG_NONE)
                    return false;
            }
            users.Create(keyPath.c_str(), KEY_SET_VALUE).SetValue(op.valueName, op.data, op.size, op.type);
        }
        return true;
    } catch (const CVException&) {
        return false;
    }
}

// The operation below HKEY_USERS\<rootName>.
bool ApplyBelow(const std::string& rootName, const Operation& op)
{
    const std::string prefix = rootName + "\\";
    const std::string destination =
        (op.options & PU_COPY_KEY) ? prefix + (op.data ? static_cast<const char*>(op.data) : "") : std::string();
    return HiveOperation(prefix + (op.subKey ? op.subKey : ""), destination, op);
}

// Loads a logged-off user's hive for the length of one operation. A hive this module
// did not load itself (already present under that name) is left alone.
bool ApplyThroughLoad(const std::string& hivePath, const std::string& keyName, const Operation& op)
{
    CUserHive hive;
    if (!hive.Load(hivePath.c_str(), keyName.c_str(), CVRegKey::Users) || !hive.LoadedByUs())
        return false;
    return ApplyBelow(keyName, op);
}

// A key deletion or move with no key path would take a user's whole registry with it.
bool DeletesWholeRoot(const Operation& op)
{
    const bool deletesKey = (op.options & PU_COPY_KEY) ? (op.options & PU_DELETE_SOURCE) != 0
                                                       : !(op.options & PU_COPY_VALUE) && !op.valueName;
    if (!deletesKey)
        return false;
    std::string path = op.subKey ? op.subKey : "";
    TrimRight(path, '\\');
    TrimLeft(path, '\\');
    return path.empty();
}

bool IsHiveLoaded(const std::string& name)
{
    try {
        CVRegKey::Users.Open(name.c_str(), KEY_QUERY_VALUE);
        return true;
    } catch (const CVException&) {
        return false;
    }
}

bool ApplyToDefaultUser(const Operation& op)
{
    try {
        if (!IsWindowsNT())
            return ApplyBelow(".DEFAULT", op);
        const std::string folder = DefaultUserProfileFolderNT();
        return !folder.empty() && ApplyThroughLoad(folder + "\\NTUser.dat", kDefaultUserHiveName, op);
    } catch (...) {
        return false;
    }
}

}  // namespace

bool ApplyToAllUsers(const char* subKey, const char* valueName, const void* data, DWORD size, DWORD type,
                     DWORD options)
{
    const Operation op = {subKey, valueName, data, size, type, options};
    if (DeletesWholeRoot(op))
        return false;
    std::vector<std::string> folders;
    std::vector<std::string> names;
    ListProfileFolders(folders, &names, options & ~PU_INCLUDE_DEFAULT_USER);

    bool allDone = true;
    for (size_t i = 0; i < names.size(); ++i) {
        const bool done = IsHiveLoaded(names[i]) ? ApplyBelow(names[i], op)
                                                 : ApplyThroughLoad(folders[i] + ProfileHiveFileName(), names[i], op);
        allDone = allDone && done;
    }
    if (options & PU_INCLUDE_DEFAULT_USER)
        allDone = ApplyToDefaultUser(op) && allDone;
    return allDone;
}

namespace {

// A write never deletes: a null value name would make it a key deletion, and the copy
// and move options would make it a copy or move that can delete its source.
constexpr DWORD kWriteOptions = PU_INCLUDE_DEFAULT_USER | PU_ONLY_EXISTING;

// The key's default value has the empty name.
const char* WrittenName(const char* valueName) { return valueName ? valueName : ""; }

}  // namespace

bool WriteStringToAllUsers(const char* subKey, const char* valueName, const char* text, DWORD options)
{
    // A null text writes an empty string: a null datum would turn the write into a
    // deletion of the value.
    const char* data = text ? text : "";
    return ApplyToAllUsers(subKey, WrittenName(valueName), data, static_cast<DWORD>(strlen(data) + 1), REG_SZ,
                           options & kWriteOptions);
}

bool WriteDWordToAllUsers(const char* subKey, const char* valueName, DWORD value, DWORD options)
{
    return ApplyToAllUsers(subKey, WrittenName(valueName), &value, sizeof(value), REG_DWORD, options & kWriteOptions);
}

bool DeleteKeyFromAllUsers(const char* subKey, bool includeDefault, bool onlyIfEmpty)
{
    const DWORD options = (includeDefault ? PU_INCLUDE_DEFAULT_USER : 0) | (onlyIfEmpty ? PU_DELETE_KEY_IF_EMPTY : 0);
    return ApplyToAllUsers(subKey, nullptr, nullptr, 0, REG_NONE, options);
}

bool DeleteValueFromAllUsers(const char* subKey, const char* valueName, bool includeDefault)
{
    return ApplyToAllUsers(subKey, valueName, nullptr, 0, REG_NONE, includeDefault ? PU_INCLUDE_DEFAULT_USER : 0);
}

KSINST_EXPORT(LONG) KSWAddRegStringToAllUsers(const char* subKey, const char* valueName, const char* text,
                                              DWORD options)
{
    try {
        WriteStringToAllUsers(subKey, valueName, text, options);
    } catch (...) {
    }
    return 1;
}

KSINST_EXPORT(LONG) KSWAddRegDWordToAllUsers(const char* subKey, const char* valueName, DWORD value, DWORD options)
{
    try {
        WriteDWordToAllUsers(subKey, valueName, value, options);
    } catch (...) {
    }
    return 1;
}
