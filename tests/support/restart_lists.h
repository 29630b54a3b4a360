// The system's lists of deletions at restart, as tests read and clean them.
#pragma once

#include "support/test_env.h"

#include <string>
#include <vector>

namespace kstest {

// The deletions in PendingFileRenameOperations at or below `folder` (case ignored), in
// list order, without the "\??\" prefix. With `forget`, they leave the list.
std::vector<std::string> PendingDeletionsBelow(const std::string& folder, bool forget = false);

// The lines of the "rename" section of WININIT.INI, in order.
std::vector<std::string> WininitRenameLines();

// For the running family only, since test programs of both families run at the same
// time: on the NT family takes the pending deletions below `folder` out of the list at
// the start and at the end; on 95/98/Me puts WININIT.INI's "rename" section back at the
// end as it was at the start.
// Runs wineboot's restart in the prefix: the pending deletions are carried out.
bool SimulateRestart();

class RestartListsGuard : Uncopyable {
public:
    explicit RestartListsGuard(const std::string& folder);
    ~RestartListsGuard();

private:
    std::string folder_, section_;
};

}  // namespace kstest
