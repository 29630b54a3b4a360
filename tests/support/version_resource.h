// Version resources built byte by byte, for files whose version a test chooses.
#pragma once

#include <windows.h>

#include <string>

namespace kstest {

// A resource without the fixed record: "FileVersion" in string table `table`, and the
// translation table when `translation` is not 0.
std::string StringsOnlyVersion(const std::string& table, const std::string& version, DWORD translation);
// Replaces every resource of the file at `path` by `resource` as its version resource.
bool SetVersionResource(const std::string& path, const std::string& resource);

}  // namespace kstest
