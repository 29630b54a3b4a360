// A user's registry hive file loaded under HKEY_USERS for the length of one operation.
#pragma once

#include "platform/reg_key.h"

#include <windows.h>

#include <string>

class CUserHive {
public:
    CUserHive() = default;
    // Unloads the hive if this holder loaded it.
    virtual ~CUserHive();
    CUserHive(const CUserHive&) = delete;
    CUserHive& operator=(const CUserHive&) = delete;

    // Loads `hiveFile` as `keyName` below `root`. A name that is already present below
    // the root is never loaded again: the load then fails and the present hive is left
    // alone. On failure the thread's last error holds the load's result. Throws
    // std::bad_alloc, with nothing loaded, when memory runs out.
    bool Load(const char* hiveFile, const char* keyName, const CVRegKey& root);
    // Unloads the hive if this holder loaded it; the unload's result (0 when nothing
    // was unloaded) is left as the thread's last error.
    void Unload();

    // Whether this holder loaded the hive itself (and will unload it).
    bool LoadedByUs() const { return loadedByUs_; }

private:
    LONG* ownership_ = nullptr;
    bool loadedByUs_ = false;
    std::string hiveFile_;
    std::string keyName_;
    CVRegKey root_;
};
