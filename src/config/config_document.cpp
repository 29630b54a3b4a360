#include "config/config_document.h"

#include "config/config_writer.h"

std::string ConfigDocument::GetString(const char* sectionPath, const char* key, const char* defaultValue) const
{
    SharedRef<ConfigSection> section = GetSection(sectionPath);
    if (!section)
        return defaultValue ? defaultValue : "";
    return section->GetValue(key, defaultValue);
}

int32_t ConfigDocument::GetInt(const char* sectionPath, const char* key, int32_t defaultValue) const
{
    SharedRef<ConfigSection> section = GetSection(sectionPath);
    return section ? section->GetInt(key, defaultValue) : defaultValue;
}

bool ConfigDocument::SetString(const char* sectionPath, const char* key, const char* value)
{
    SharedRef<ConfigSection> section = GetSection(sectionPath, true);
    return section && section->SetValue(key, value);
}

bool ConfigDocument::Save(uint32_t seed, bool flatSections)
{
    if (!Path())
        return false;
    std::string text;
    if (!SerializeToString(*this, text, 0, 0, flatSections))
        return false;
    ConfigText file;
    file.Attach(text.empty() ? nullptr : &text[0], text.size());
    return file.WriteFileText(Path(), seed);
}

bool ConfigDocument::SaveAs(const char* path, uint32_t seed, bool flatSections)
{
    SharedRef<ConfigPath> record = MakeConfigPath(path);
    if (!record)
        return false;
    SetPath(record);
    return Save(seed, flatSections);
}
