// Single files that are deleted by a name read from the environment or the registry
// (the installed module, its temporary copy, an old uninstall program): the deletion
// guard's judgement, and one rule of their own.
#pragma once

#include <string>

// True when the deletion guard lets `path` go whole and its folder is not itself
// protected: a file lying directly in a drive root, the Windows or system folder or a
// profile folder is the system's or the user's, whatever named it. `resolved` receives
// the path as the guard resolved it (the deletion works on that text). Never deletes.
bool MayDeleteNamedFile(const std::string& path, std::string& resolved);
