#include "install/log_analysis.h"

#include "frame/exports.h"
#include "frame/log.h"
#include "install/pending_operations.h"
#include "platform/paths.h"
#include "platform/scoped_handle.h"
#include "text/string_ops.h"

#include <windows.h>

#include <mbctype.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

namespace {

constexpr const char* kPrefixes[] = {kFileOverwritePrefix, kFileCopyPrefix};
constexpr size_t kCopyIndex = 1;

// One lower-casing for every comparison, so that indexed look-ups and the pair-by-pair
// rules agree exactly.
std::string Fold(const std::string& text)
{
    std::string folded = text;
    MakeLower(folded);
    return folded;
}

bool MatchesNoCase(const char* text, size_t available, const char* prefix)
{
    const size_t length = strlen(prefix);
    if (available < length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char a = static_cast<unsigned char>(text[i]), b = static_cast<unsigned char>(prefix[i]);
        if (a != b && !(a < 0x80 && tolower(a) == tolower(b)))
            return false;
    }
    return true;
}

// An installed file as the rules compare it.
struct InstalledFile {
    std::string path;  // short form; empty when nothing usable exists
    std::string folded;
    std::string foldedName;
    std::vector<std::string> foldedFolders;  // every folder above it, innermost first
    // The pairs a rule can apply to, in list order, for an overwrite and for a copy;
    // found once, as the index does not change while pairs are removed.
    std::vector<size_t> candidates[2];
    bool collected[2] = {false, false};
};

enum class PairKind { DeleteFile, DeleteFolder, Replace };

struct Pair {
    std::string target;
    std::string source;
    PairKind kind;
    std::string foldedTarget;
    std::string foldedSource;
    std::string foldedSourceName;
    bool removed = false;
};

using Index = std::unordered_map<std::string, std::vector<size_t>>;

class PendingPairs {
public:
    explicit PendingPairs(const std::vector<std::string>& list)
    {
        pairs_.reserve(list.size() / 2);
        for (size_t i = 0; i + 1 < list.size(); i += 2) {
            Pair pair;
            pair.target = list[i];
            pair.source = list[i + 1];
            pair.foldedTarget = Fold(pair.target);
            pair.foldedSource = Fold(pair.source);
            pair.foldedSourceName = Fold(GetFileName(pair.source));
            pair.kind = pair.foldedTarget == Fold(kDeleteFileTarget)     ? PairKind::DeleteFile
                        : pair.foldedTarget == Fold(kDeleteFolderTarget) ? PairKind::DeleteFolder
                                                                         : PairKind::Replace;
            const size_t at = pairs_.size();
            switch (pair.kind) {
            case PairKind::DeleteFile:
                deletedFiles_[pair.foldedSource].push_back(at);
                deletedNames_[pair.foldedSourceName].push_back(at);
                break;
            case PairKind::DeleteFolder:
                deletedFolders_[pair.foldedSource].push_back(at);
                break;
            case PairKind::Replace:
                targets_[pair.foldedTarget].push_back(at);
                break;
            }
            pairs_.push_back(std::move(pair));
        }
        if (list.size() % 2)
            unpaired_ = list.back();
        texts_ = list.size();
    }

    size_t TextCount() const { return texts_; }

    // The walk over the list, pair by pair from the first, for one installed file. Only
    // the pairs a rule can apply to are visited, in list order.
    void Apply(InstalledFile& file, size_t prefixIndex, InstalledFileProbe& probe,
               const std::function<void(const std::string&)>& info, LogAnalysisResult& result)
    {
        std::vector<size_t>& candidates = file.candidates[prefixIndex];
        if (!file.collected[prefixIndex]) {
            Collect(deletedFiles_, file.folded, candidates);
            if (prefixIndex == kCopyIndex)
                Collect(deletedNames_, file.foldedName, candidates);
            for (const std::string& folder : file.foldedFolders)
                Collect(deletedFolders_, folder, candidates);
            Collect(targets_, file.folded, candidates);
            std::sort(candidates.begin(), candidates.end());
            candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
            file.collected[prefixIndex] = true;
        }
        for (size_t at : candidates) {
            Pair& pair = pairs_[at];
            if (!pair.removed && RuleRemoves(pair, file, prefixIndex, probe, info, result)) {
                pair.removed = true;
                texts_ -= 2;
                result.listChanged = true;
                info("KSWAnalyzeLog: Deleting " + pair.target + " and " + pair.source);
            }
        }
    }

    std::vector<std::string> Remaining() const
    {
        std::vector<std::string> list;
        list.reserve(texts_);
        for (const Pair& pair : pairs_) {
            if (!pair.removed) {
                list.push_back(pair.target);
                list.push_back(pair.source);
            }
        }
        if (!unpaired_.empty())
            list.push_back(unpaired_);
        return list;
    }

private:
    static void Collect(const Index& index, const std::string& key, std::vector<size_t>& candidates)
    {
        const auto found = index.find(key);
        if (found != index.end())
            candidates.insert(candidates.end(), found->second.begin(), found->second.end());
    }

    // The rule for one pair: true when the pair is to be removed; a restart it calls for
    // is set in `result` and logged.
    static bool RuleRemoves(const Pair& pair, const InstalledFile& file, size_t prefixIndex,
                            InstalledFileProbe& probe, const std::function<void(const std::string&)>& info,
                            LogAnalysisResult& result)
    {
        const bool copy = prefixIndex == kCopyIndex;
        switch (pair.kind) {
        case PairKind::DeleteFile:
            if (file.folded == pair.foldedSource)
                return true;
            if (copy && file.foldedName == pair.foldedSourceName) {
                result.restartNeeded = true;
                info("KSWAnalyzeLog: We should restart because we want " + pair.source + " to be deleted");
            }
            return false;
        case PairKind::DeleteFolder:
            return std::find(file.foldedFolders.begin(), file.foldedFolders.end(), pair.foldedSource) !=
                   file.foldedFolders.end();
        case PairKind::Replace:
            if (file.folded != pair.foldedTarget)
                return false;
            if (copy)
                return true;
            if (probe.Exists(pair.source)) {
                result.restartNeeded = true;
                info("KSWAnalyzeLog: We should restart because of " + pair.target + " and " + pair.source);
            }
            return false;
        }
        return false;
    }

    std::vector<Pair> pairs_;
    Index deletedFiles_, deletedNames_, deletedFolders_, targets_;
    std::string unpaired_;
    size_t texts_ = 0;
};

// The path named behind a prefix: up to the line feed, cut at the first "|", trimmed.
std::string PathBehindPrefix(const char* begin, const char* end)
{
    std::string path(begin, end);
    const size_t bar = Find(path, '|');
    if (bar != npos)
        path.resize(bar);
    TrimRight(path, " \t\r");
    TrimLeft(path, " \t\r");
    return path;
}

InstalledFile Describe(const std::string& shortPath)
{
    InstalledFile file;
    file.path = shortPath;
    if (shortPath.empty())
        return file;
    file.folded = Fold(shortPath);
    file.foldedName = Fold(GetFileName(shortPath));
    for (std::string folder = GetDirectory(shortPath); !folder.empty(); folder = GetDirectory(folder))
        file.foldedFolders.push_back(Fold(folder));
    return file;
}

}  // namespace

LogAnalysisResult AnalyzeInstallLog(const char* log, size_t size, std::vector<std::string>& list,
                                    InstalledFileProbe& probe, const std::function<void(const std::string&)>& info)
{
    LogAnalysisResult result;
    PendingPairs pairs(list);
    // Bytes the scan must look at: the first letter of both prefixes, and lead bytes of
    // the runtime's multibyte code page (a trail byte never starts a prefix). Blanks and
    // every other character are simply stepped over.
    bool lead[256], notable[256];
    for (int c = 0; c < 256; ++c) {
        lead[c] = _ismbblead(c) != 0;
        notable[c] = lead[c] || c == 'F' || c == 'f';
    }
    std::unordered_map<std::string, InstalledFile> known;
    const std::string matchLines[] = {std::string("KSWAnalyzeLog: Found a match for ") + kPrefixes[0],
                                      std::string("KSWAnalyzeLog: Found a match for ") + kPrefixes[1]};

    size_t pos = 0;
    while (pos < size && pairs.TextCount() > 0) {
        while (pos < size && !notable[static_cast<unsigned char>(log[pos])])
            ++pos;
        if (pos == size)
            break;
        const unsigned char c = static_cast<unsigned char>(log[pos]);
        if (lead[c]) {
            pos += pos + 1 < size ? 2 : 1;
            continue;
        }
        size_t prefixIndex = 0;
        while (prefixIndex < 2 && !MatchesNoCase(log + pos, size - pos, kPrefixes[prefixIndex]))
            ++prefixIndex;
        if (prefixIndex == 2) {
            ++pos;
            continue;
        }
        info(matchLines[prefixIndex]);
        const char* pathBegin = log + pos + strlen(kPrefixes[prefixIndex]);
        const char* lineFeed = static_cast<const char*>(memchr(pathBegin, '\n', log + size - pathBegin));
        const std::string path = PathBehindPrefix(pathBegin, lineFeed ? lineFeed : log + size);
        // Without a line feed the scan goes on inside this line.
        pos = lineFeed ? static_cast<size_t>(lineFeed - log) : pos + 1;

        auto found = known.find(path);
        if (found == known.end())
            found = known.emplace(path, Describe(probe.InstalledFile(path))).first;
        if (!found->second.path.empty())
            pairs.Apply(found->second, prefixIndex, probe, info, result);
    }
    if (result.listChanged)
        list = pairs.Remaining();
    return result;
}

std::string SystemFileProbe::InstalledFile(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::string();
    std::string file = path;
    StripTrailingBackslashes(file);
    return GetShortPath(file, "");
}

bool SystemFileProbe::Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

constexpr LONG kAnalysisFailed = -1;

LONG AnalyzeLog(const char* logPath)
{
    std::unique_ptr<char[]> buffer;
    DWORD size = 0;
    {
        const ScopedHandle file(logPath ? CreateFileA(logPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                                      FILE_ATTRIBUTE_NORMAL, nullptr)
                                        : INVALID_HANDLE_VALUE);
        if (!file.IsValid()) {
            g_Log.Warning("KSWAnalyzeLog: no log file");
            return kAnalysisFailed;
        }
        size = GetFileSize(file.Get(), nullptr);
        if (size == 0) {
            g_Log.Info("KSWAnalyzeLog: file is empty");
            return kAnalysisFailed;
        }
        buffer.reset(new (std::nothrow) char[size]);
        if (!buffer) {
            g_Log.Error("KSWAnalyzeLog: cannot allocate buffer for log file");
            return kAnalysisFailed;
        }
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer.get(), size, &read, nullptr) || read != size) {
            g_Log.Error("KSWAnalyzeLog: failed to read log file");
            return kAnalysisFailed;
        }
    }

    std::string pending;
    std::vector<std::string> list;
    if (!GetUninstallStrings(pending) || !ProcessUninstallStrings(pending, list))
        return kAnalysisFailed;
    if (list.empty())
        return 0;
    SystemFileProbe probe;
    const LogAnalysisResult result =
        AnalyzeInstallLog(buffer.get(), size, list, probe, [](const std::string& line) { g_Log.Info("%s", line.c_str()); });
    if (result.listChanged)
        SetUninstallStrings(list);
    return result.restartNeeded ? 1 : 0;
}

}  // namespace

KSINST_EXPORT(LONG) KSWAnalyzeLog(const char* logPath)
{
    try {
        return AnalyzeLog(logPath);
    } catch (...) {
        return kAnalysisFailed;
    }
}
