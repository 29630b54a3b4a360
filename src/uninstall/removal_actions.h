// Carrying out one planned removal entry.
#pragma once

#include "platform/deletion_guard.h"
#include "uninstall/removal_entries.h"

// Uninstalls a GoProto component, releases shared-library references, unregisters and
// deletes the entry as its keywords say, with redirection off around a "system64"
// entry. A refused path is logged ("Cannot delete system directory") and left alone;
// a GoProto restart request sets RestartNeeded. Never throws.
void RemoveListedEntry(const RemovalEntry& entry, const DeletionGuard& guard);
