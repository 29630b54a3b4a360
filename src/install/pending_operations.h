// The system's list of file operations for the next restart, read into a working list
// and written back: the pending rename value on the Windows NT family, the "rename"
// section of WININIT.INI on Windows 95/98/Me.
#pragma once

#include <string>
#include <vector>

// Targets of a deletion in the working list.
constexpr char kDeleteFileTarget[] = "NUL";
constexpr char kDeleteFolderTarget[] = "DIRNUL";

// Reads the raw pending list: the value's bytes (empty when there is no such value) or
// the whole "rename" section. False, logged, when the list cannot be read or, on
// 95/98/Me, WININIT.INI does not exist.
bool GetUninstallStrings(std::string& buffer);

// Turns the raw list into the working list: texts in pairs (target, source), "NUL" or
// "DIRNUL" as the target of a deletion, every path in its short form. Pairs whose source
// (or non-deletion target) does not exist are dropped. False, logged, for an empty
// buffer.
bool ProcessUninstallStrings(const std::string& buffer, std::vector<std::string>& list);

// Replaces the system's pending list by the working list; pairs that no longer pass
// the existence checks are left out. Failures are logged.
void SetUninstallStrings(const std::vector<std::string>& list);

// Whether a working-list target stands for a deletion ("NUL", "DIRNUL", case ignored).
bool IsDeletionTarget(const std::string& target);
