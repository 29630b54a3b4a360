// Version resources built byte by byte, for files whose version a test chooses.
#pragma once

#include <windows.h>

#include <string>

namespace kstest {

// One node of a version resource as the NT family stores it: length, value length,
// type (1 text, 0 binary), UTF-16 key, value and children, each part 32-bit aligned.
std::string VersionNode(const std::string& key, const std::string& value, WORD valueLength,
                        const std::string& children = "", WORD type = 1);
// A resource without the fixed record: "FileVersion" in string table `table`, and the
// translation table when `translation` is not 0.
std::string StringsOnlyVersion(const std::string& table, const std::string& version, DWORD translation);
// Replaces every resource of the file at `path` by `resource` as its version resource.
bool SetVersionResource(const std::string& path, const std::string& resource);

}  // namespace kstest
