#include "uninstall/removal_entries.h"

#include "config/util.h"
#include "text/string_ops.h"

namespace {

constexpr char kRemovalSection[] = "Uninstall";

const struct {
    const char* word;
    unsigned bit;
} kKeywords[] = {
    {"shared", kRemoveShared}, {"registered", kRemoveRegistered}, {"system", kRemoveSystem},
    {"keep", kRemoveKeep},     {"system64", kRemoveSystem64},     {"goproto", kRemoveGoProto},
};

bool TakenAsWritten(const std::string& name)
{
    return (!name.empty() && (name[0] == '\\' || name[0] == '%')) || (name.size() > 1 && name[1] == ':');
}

}  // namespace

unsigned ParseRemovalKeywords(const std::string& value)
{
    unsigned keywords = 0;
    if (value.empty())
        return keywords;
    std::vector<std::string> words;
    Split(value, ';', words);
    for (const std::string& word : words) {
        for (const auto& keyword : kKeywords) {
            if (_stricmp(word.c_str(), keyword.word) == 0)
                keywords |= keyword.bit;
        }
    }
    return keywords;
}

std::string RemovalEntryPath(const std::string& name, unsigned keywords, const std::string& productPath,
                             const std::string& systemFolder, const std::string& system64Folder)
{
    std::string path;
    if (keywords & kRemoveSystem)
        path = systemFolder + name;
    else if (keywords & kRemoveSystem64)
        path = system64Folder + name;
    else if (TakenAsWritten(name))
        path = name;
    else
        path = productPath + "\\" + name;
    CUtil::ExpandEnvVars(path);
    return path;
}

RemovalPlan PlanRemovalEntries(const ConfigDocument& cfg, const std::string& productPath,
                               const std::string& systemFolder, const std::string& system64Folder)
{
    RemovalPlan plan;
    const SharedRef<ConfigSection> section = cfg.GetSection(kRemovalSection);
    plan.hasSection = static_cast<bool>(section);
    for (size_t i = 0; section && i < section->EntryCount(); ++i) {
        const SharedRef<ConfigEntry> source = section->EntryAt(i);
        RemovalEntry entry;
        entry.name = source->key;
        entry.keywords = ParseRemovalKeywords(source->value);
        entry.path = RemovalEntryPath(entry.name, entry.keywords, productPath, systemFolder, system64Folder);
        // Left to the implementer: without a 64-bit system folder such an entry would act
        // on a 32-bit system's own file or on a path relative to the current folder, so
        // it is skipped.
        entry.skipped = (entry.keywords & kRemoveSystem64) && !(entry.keywords & kRemoveSystem) &&
                        system64Folder.empty();
        plan.entries.push_back(entry);
    }
    return plan;
}
