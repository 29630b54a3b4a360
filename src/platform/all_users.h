// One registry operation applied to the same relative key in every user's hive:
// in place for users whose hive is loaded, through a temporary load for the others.
// Per-user failures are silent; nothing here logs or throws.
#pragma once

#include "platform/user_profiles.h"

#include <windows.h>

// Applies the operation that `options` and the null arguments choose (write, delete
// value, delete key, copy or move key or value) below every profile's root. With
// PU_COPY_KEY `data` is the destination key path relative to the same user's root;
// with PU_COPY_VALUE it is the destination value name. Returns true when every hive
// that was reached took the operation.
bool ApplyToAllUsers(const char* subKey, const char* valueName, const void* data, DWORD size, DWORD type,
                     DWORD options);

// Writes the value below every profile's root; a null `valueName` writes the key's
// default value. Of `options` only PU_INCLUDE_DEFAULT_USER and PU_ONLY_EXISTING count:
// a write never deletes a key or a value.
bool WriteStringToAllUsers(const char* subKey, const char* valueName, const char* text, DWORD options);
bool WriteDWordToAllUsers(const char* subKey, const char* valueName, DWORD value, DWORD options);
bool DeleteKeyFromAllUsers(const char* subKey, bool includeDefault, bool onlyIfEmpty);
bool DeleteValueFromAllUsers(const char* subKey, const char* valueName, bool includeDefault);
