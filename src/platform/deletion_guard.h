// The one guard that every deleting operation of the module passes before it touches
// the disk. Paths to delete come from configuration files, the registry, the
// environment and installation scripts, any of which can be wrong or hostile. A
// deleting operation asks the guard once per call and deletes only the path it returns,
// in the scope it returns; a refusal is the caller's result (5), never an exception.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Guard options.
constexpr DWORD GUARD_EXPAND_ENVIRONMENT = 0x1;  // the caller deletes the path with its references expanded

// What a deletion may do with the path it was given.
enum class DeletionScope {
    Refused,        // nothing
    MatchingFiles,  // only the folder's own files that match the caller's pattern
    Whole,          // the file, or the folder with everything below it
};

struct GuardedPath {
    DeletionScope scope = DeletionScope::Refused;
    // The resolved full path, without trailing backslashes: the deletion works on this
    // text, never on the caller's. Empty when refused.
    std::string path;
};

class DeletionGuard {
public:
    // Judges against the machine's protected folders, read now (ListProtectedFolders).
    DeletionGuard();
    // Judges against `protectedFolders` (full paths) instead of the machine's.
    explicit DeletionGuard(const std::vector<std::string>& protectedFolders);

    // The safety predicate: true for a drive root or a bare drive, a UNC server or
    // share root, a device path ("\\?\", "\\.\"), a protected folder, or any folder
    // that contains one (short names compared in their long forms). `fullPath` is a
    // resolved full path (Resolve); anything else counts as protected.
    bool IsProtected(const std::string& fullPath) const;

    // Resolves `path` (environment references first with GUARD_EXPAND_ENVIRONMENT,
    // then "." and ".." by the system's full-path resolution) and judges it: a
    // protected folder is refused, or kept to its matching files when
    // `matchingFilesOnly`. A bare or drive-relative "X:..." path is refused: it names
    // whatever folder is current on that drive. Never deletes, never logs.
    GuardedPath Check(const char* path, bool matchingFilesOnly, DWORD options) const;

    // As Check for `relative` below `profileFolder`: the resolved path must stay
    // strictly below the profile folder, or be the profile folder itself when only its
    // matching files are asked for. A relative path that names a drive is refused.
    GuardedPath CheckBelow(const std::string& profileFolder, const char* relative, bool matchingFilesOnly,
                           DWORD options) const;

    // The system's full path of `path` without trailing backslashes (a drive root
    // stays "X:\"), or false when it cannot be resolved or is a bare, drive-relative
    // or device path. Expands environment references first with GUARD_EXPAND_ENVIRONMENT.
    static bool Resolve(const std::string& path, DWORD options, std::string& fullPath);

private:
    GuardedPath Judge(const std::string& fullPath, bool matchingFilesOnly) const;

    // Each protected folder as given and, when it holds short names, in its long form.
    std::vector<std::string> forms_;
};
