// Reconciling the installation log with the system's pending file operations: a pending
// deletion or replacement that would destroy a freshly installed file is dropped, and a
// pending replacement of a file that was overwritten in use asks for a restart.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Log prefixes of an installed file, in the order they are tried.
constexpr char kFileOverwritePrefix[] = "File Overwrite: ";
constexpr char kFileCopyPrefix[] = "File Copy: ";

// What the analysis asks of the file system.
class InstalledFileProbe {
public:
    virtual ~InstalledFileProbe() = default;
    // The short form of the file at `path` (trailing backslashes stripped first); empty
    // when nothing or a folder is there. Asked once per distinct path text in one
    // analysis: the file system is taken as unchanged while the log is read.
    virtual std::string InstalledFile(const std::string& path) = 0;
    // Whether anything exists at `path`.
    virtual bool Exists(const std::string& path) = 0;
};

struct LogAnalysisResult {
    bool restartNeeded = false;
    bool listChanged = false;
};

// Scans `size` bytes of the log (never beyond) for the two prefixes and applies each
// installed file to the working list of pairs (target, source): pairs it makes obsolete
// are removed from `list`. The results, the list and every INFO line (passed to `info`,
// in order) are exactly those of walking the list pair by pair for each file; the pairs
// are found through indexes, so a long list costs little more than a short one.
LogAnalysisResult AnalyzeInstallLog(const char* log, size_t size, std::vector<std::string>& list,
                                    InstalledFileProbe& probe, const std::function<void(const std::string&)>& info);

// The probe that asks the system.
class SystemFileProbe : public InstalledFileProbe {
public:
    std::string InstalledFile(const std::string& path) override;
    bool Exists(const std::string& path) override;
};
