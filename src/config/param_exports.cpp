// The configuration exports of the installation script. They write nothing to the log.
#include "config/config_document.h"
#include "config/param_writer.h"
#include "config/util.h"
#include "frame/exports.h"

#include <string>

namespace {

// Keeps its attributes while the file is rewritten: a read-only or hidden file stays so.
bool SaveInPlace(ConfigDocument& document, const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    const bool saved = document.Save(0, false);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path.c_str(), attributes);
    return saved;
}

}  // namespace

KSINST_EXPORT(const char*) KSWGetParamString(const char* cfgPath, const char* section, const char* key,
                                             const char* defaultValue)
{
    // The caller copies the text before its next call of this export.
    static std::string result;
    try {
        result = defaultValue ? defaultValue : "";
        ConfigDocument document;
        // A null key is not a supported call: it gives the default.
        if (key && document.Load(cfgPath, nullptr, LoadMode::All, 0, false))
            result = document.GetString(section, key, defaultValue);
    } catch (...) {
    }
    return result.c_str();
}

KSINST_EXPORT(LONG) KSWSetParamString(const char* cfgPath, const char* section, const char* key, const char* value)
{
    try {
        return SetConfigParam(cfgPath, section, key, value, 0);
    } catch (...) {
        return 0;
    }
}

KSINST_EXPORT(LONG) KSWImportConfigFile(const char* targetPath, const char* sourcePath, const char* sectionFilter)
{
    try {
        const bool filtered = sectionFilter && *sectionFilter;
        std::string target = targetPath ? targetPath : "";
        std::string source = sourcePath ? sourcePath : "";
        CUtil::ExpandEnvVars(target);
        CUtil::ExpandEnvVars(source);

        ConfigDocument sourceDocument;
        if (!sourceDocument.Load(source.c_str(), filtered ? sectionFilter : nullptr,
                                 filtered ? LoadMode::ValuesOnly : LoadMode::All, 0, false))
            return 0;
        ConfigDocument targetDocument;
        if (!targetDocument.Load(target.c_str(), nullptr, LoadMode::All, 0, false) &&
            !targetDocument.SaveAs(target.c_str(), 0, false))
            return 0;

        targetDocument.Merge(SharedRef<ConfigSection>(new ConfigSection(sourceDocument)), true);
        return SaveInPlace(targetDocument, target) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
