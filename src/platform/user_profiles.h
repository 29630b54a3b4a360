// The user profiles of the machine, as the system's profile list names them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Options of the per-user operations; the values are part of the export interface.
constexpr DWORD PU_DELETE_KEY_IF_EMPTY = 0x01;   // delete a key only when it is empty
constexpr DWORD PU_INCLUDE_DEFAULT_USER = 0x02;  // also the default user's hive and folder
constexpr DWORD PU_COPY_KEY = 0x04;              // copy the key to the key path in `data`
constexpr DWORD PU_COPY_VALUE = 0x08;            // copy the value to the value name in `data`
constexpr DWORD PU_DELETE_SOURCE = 0x10;         // with a copy: delete the source (a move)
constexpr DWORD PU_ONLY_EXISTING = 0x20;         // write a value only if it exists

// The name under which the default user's hive is loaded on the NT family.
constexpr char kDefaultUserHiveName[] = "KSWiseDefaultUser";

// Fills `outFolders` (cleared first) with the folder of every listed profile and
// appends each profile's subkey name to `outNames` when given. Service profiles are
// skipped on the NT family. With PU_INCLUDE_DEFAULT_USER the default user's folder
// comes last (without a name). A profile that cannot be read is skipped; never throws.
void ListProfileFolders(std::vector<std::string>& outFolders, std::vector<std::string>* outNames, DWORD options);

// The hive file's name inside a profile folder: "\NTUser.dat" or "\User.dat".
const char* ProfileHiveFileName();

// NT family: the default profile's folder ("ProfilesDirectory"\"DefaultUserProfile");
// empty when the profile list does not name a default profile. Throws CVException.
std::string DefaultUserProfileFolderNT();
