// Reading and cleaning the system's lists of deletions at restart, so that tests can
// check what was scheduled and take their own entries out again.
#pragma once

#include <string>
#include <vector>

namespace kstest {

// The paths of the deletions in PendingFileRenameOperations (HKLM), in list order,
// without the "\??\" prefix.
std::vector<std::string> PendingDeletions();
// The same, only those at or below `folder` (case ignored): other programs may
// schedule their own deletions meanwhile.
std::vector<std::string> PendingDeletionsBelow(const std::string& folder);

// Removes every operation whose source lies at or below `folder` (case ignored); the
// value goes when nothing is left in it.
void ForgetPendingBelow(const std::string& folder);

// The lines of the "rename" section of WININIT.INI, in order.
std::vector<std::string> WininitRenameLines();

// Keeps the "rename" section of WININIT.INI as it was at construction and puts it
// back at destruction (removing the section when there was none).
class WininitSectionGuard {
public:
    WininitSectionGuard();
    ~WininitSectionGuard();
    WininitSectionGuard(const WininitSectionGuard&) = delete;
    WininitSectionGuard& operator=(const WininitSectionGuard&) = delete;

private:
    std::string saved_;
};

// Removes the operations below `folder` from PendingFileRenameOperations at the
// start and again at the end of a test.
class PendingRenamesGuard {
public:
    explicit PendingRenamesGuard(const std::string& folder) : folder_(folder) { ForgetPendingBelow(folder_); }
    ~PendingRenamesGuard() { ForgetPendingBelow(folder_); }
    PendingRenamesGuard(const PendingRenamesGuard&) = delete;
    PendingRenamesGuard& operator=(const PendingRenamesGuard&) = delete;

private:
    std::string folder_;
};

}  // namespace kstest
