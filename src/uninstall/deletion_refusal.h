// The uninstaller's judgement of a path it is about to delete whole.
#pragma once

#include "platform/deletion_guard.h"

#include <string>

// True when `path` must not be deleted: IsProtectedPath holds, the path is not a full
// path (it would resolve against whatever folder is current), or `guard` refuses it
// (drive and share roots, system, program, profile and shell folders and any folder
// that holds one, "." and ".." resolved first).
bool IsRefusedDeletion(const std::string& path, const DeletionGuard& guard);
