// The system's pending file operations as the restart-analysis tests arrange and read
// them, in the running family's form: the pending rename value (NT family) or the
// "rename" section of WININIT.INI (95/98/Me).
#pragma once

#include "support/test_env.h"

#include <string>
#include <vector>

namespace kstest {

// Takes both lists over for a test: saved and emptied at construction, put back at
// destruction. Only for tests that hold the restart-list lock of the test run.
class PendingListsTakeover : Uncopyable {
public:
    PendingListsTakeover();
    ~PendingListsTakeover();

    // Empties both lists; WININIT.INI stays, with an empty "rename" section.
    static void Clear();

private:
    std::string value_;
    bool hadWininit_ = false;
    std::string wininit_;
};

// Schedules an operation the way installers do: `target` "NUL" deletes the file `source`,
// "DIRNUL" the folder `source`, a path replaces it by `source`. On the NT family through
// MoveFileExA (a deletion of a folder the same as of a file; `replace` adds the
// replace-existing flag, written "!\??\"), on 95/98/Me as a line with short paths.
void SchedulePending(const std::string& target, const std::string& source, bool replace = true);

// The pending operations, each "DEL <source>" or "MOVE <source> TO <target>", paths in
// their short form and lower case, whatever form the list holds them in.
std::vector<std::string> PendingOperations();

// Whether the list holds `path` exactly as written (the NT list only; the 95/98/Me list
// always holds short paths).
bool PendingListHoldsText(const std::string& path);

}  // namespace kstest
