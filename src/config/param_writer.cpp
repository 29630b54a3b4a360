#include "config/param_writer.h"

#include "config/config_document.h"
#include "platform/create_folder.h"
#include "platform/delete_tree.h"
#include "platform/paths.h"
#include "text/string_ops.h"

#include <string>

namespace {

constexpr DWORD kRetryDelayMs = 500;

struct Change {
    bool changed = false;
    bool sectionMissing = false;
};

Change DeleteEntries(ConfigDocument& document, const char* section, const char* key)
{
    Change change;
    SharedRef<ConfigSection> target = document.GetSection(section, false);
    if (!target)
        change.sectionMissing = true;
    else
        change.changed = target->RemoveEntries(key) > 0;
    return change;
}

Change DeleteSections(ConfigDocument& document, const char* section)
{
    Change change;
    std::string path = section;
    TrimRight(path, '\\');
    const std::string parentPath = GetDirectory(path);
    const std::string name = GetFileName(path);
    ConfigSection* parent = &document;
    SharedRef<ConfigSection> parentRef;
    if (!parentPath.empty()) {
        parentRef = document.GetSection(parentPath.c_str(), false);
        parent = parentRef.Get();
    }
    if (!parent)
        change.sectionMissing = true;
    else
        change.changed = parent->RemoveSections(name.c_str()) > 0;
    return change;
}

// Saves over a file that may be read-only or hidden: the attributes are cleared for
// the write and put back afterwards, whether the save succeeded or not.
bool SaveKeepingAttributes(ConfigDocument& document, const std::string& attributePath, const char* cfgPath)
{
    const DWORD attributes =
        IsExistingFile(attributePath) ? GetFileAttributesA(attributePath.c_str()) : FILE_ATTRIBUTE_ARCHIVE;
    SetFileAttributesA(attributePath.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    const bool saved = document.SaveAs(cfgPath, 0, false);
    SetFileAttributesA(attributePath.c_str(), attributes);
    return saved;
}

}  // namespace

LONG SetConfigParam(const char* cfgPath, const char* section, const char* key, const char* value, DWORD options)
{
    if (!cfgPath || !*cfgPath)
        return 0;
    std::string path = cfgPath;
    TrimRight(path, '\\');
    const bool isFile = IsExistingFile(path);
    const bool deletion = !section || !key || !value;

    if (deletion && !isFile)
        return 1;
    if (!section)
        return DeleteTree(path.c_str(), 0, nullptr, nullptr, kRetryDelayMs) == 0 ? 1 : 0;

    ConfigDocument document;
    if (!document.Load(cfgPath, nullptr, LoadMode::All, 0, false)) {
        if (deletion)
            return 0;
        // An empty or unreadable file is replaced; a missing one needs its folder.
        if (!isFile && !PathExists(path)) {
            std::string folder = GetDirectory(path);
            TrimRight(folder, '\\');
            if (!IsExistingFolder(folder))
                CreateFolderTree(folder.c_str());
            if (!IsExistingFolder(folder))
                return 0;
        }
    }

    Change change;
    if (!value && key)
        change = DeleteEntries(document, section, key);
    else if (!key)
        change = DeleteSections(document, section);
    else
        change.changed = document.SetString(section, key, value);

    if (deletion && (options & kDeleteEmptyFile) && document.SectionCount() == 0 && document.EntryCount() == 0) {
        if (SetConfigParam(cfgPath, nullptr, nullptr, nullptr, 0) != 0)
            return 1;
    }
    if (change.changed)
        return SaveKeepingAttributes(document, path, cfgPath) ? 1 : 0;
    return change.sectionMissing ? 1 : 0;
}
