// Creation of a whole folder chain.
#pragma once

#include <string>

// Creates `path` and every missing folder above it, with default security. False with
// last error 183 when `path` already exists. A prefix that cannot be created (a drive
// or share part) does not stop the walk; the result is whether the last creation
// attempted, that of `path` itself, succeeded (last error 0 then).
bool CreateFolderTree(const std::string& path);
