// Deletion of a file or a folder tree, with a file-name filter, one delayed retry for
// entries in use and a fall-back to deletion at the next restart.
#pragma once

#include "platform/deletion_guard.h"

#include <windows.h>

#include <string>

// DeleteTree flags; no other bit is used.
constexpr DWORD DT_ONLY_IF_EMPTY = 0x0001;         // a folder with any entry is not touched (145)
constexpr DWORD DT_SKIP_SUBFOLDERS = 0x0002;       // subfolders, and so the folder, stay
constexpr DWORD DT_NO_RESTART = 0x0008;            // never schedule deletion at restart
constexpr DWORD DT_REMOVE_EMPTY_PARENTS = 0x0010;  // then remove emptied parents up to the stop folder
constexpr DWORD DT_ONLY_MATCHING = 0x0020;         // of the top folder's files, only those matching
constexpr DWORD DT_INNER = 0x8000;                 // the walk's own recursive calls; never passed by callers

// Deletes `path`: a file, or a folder with everything below it (children before their
// folder, in listing order). Read-only, hidden and system entries are deleted too. An
// entry in use is tried again once after `retryDelayMs` (0: no retry) and then, unless
// DT_NO_RESTART, scheduled for deletion at restart. A linked folder (IsLinkedFolder)
// is removed as a link; what it points to is never touched, and a link given with
// DT_ONLY_IF_EMPTY, DT_SKIP_SUBFOLDERS or DT_ONLY_MATCHING stays while it shows
// entries. The path passes the DeletionGuard first and is deleted as it resolves: a
// protected folder is refused (5), or with DT_ONLY_MATCHING loses only its matching
// files. Results: 0 done (or nothing there), 5 refused, 6 the folder cannot be listed,
// 16 something was left (inner calls only), 32 an entry is still there and not
// scheduled, 87 DT_ONLY_MATCHING with no pattern, 145 DT_ONLY_IF_EMPTY and not empty,
// 3010 something scheduled at restart. With DT_REMOVE_EMPTY_PARENTS and result 0, the
// emptied parents are removed up to `stopFolder` (null: none), the first protected
// folder, or the first one that cannot be removed.
DWORD DeleteTree(const std::string& path, DWORD flags, const char* pattern, const char* stopFolder,
                 DWORD retryDelayMs);

// DeleteTree of `path` with DT_NO_RESTART, no pattern, no stop folder and no retry: true
// when that result is 0. The thread's last error is set to the result either way.
bool DeleteFolderNow(const char* path);

// The flags for a path the DeletionGuard judged: of a folder kept to its matching files
// no subfolder goes, nor the folder, nor any parent.
DWORD FlagsForScope(DeletionScope scope, DWORD flags);
