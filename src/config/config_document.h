// A configuration file in memory: the root section (empty name) with the operations
// that address sections by path and write the tree back to its file.
#pragma once

#include "config/config_section.h"

#include <cstdint>
#include <string>

class ConfigDocument : public ConfigSection {
public:
    ConfigDocument() : ConfigSection(nullptr) {}

    // The value of `key` in the section at `sectionPath`; `defaultValue` (null gives "")
    // when the section or the key is missing. A stored empty value is returned as such.
    std::string GetString(const char* sectionPath, const char* key, const char* defaultValue) const;
    // As GetString, converted as atol converts; `defaultValue` when missing.
    int32_t GetInt(const char* sectionPath, const char* key, int32_t defaultValue) const;
    using ConfigSection::GetInt;
    // Creates the sections along `sectionPath` as needed and sets `key` there. False for
    // a null or empty path or when memory runs out.
    bool SetString(const char* sectionPath, const char* key, const char* value);

    // Writes the whole tree in the writer's layout to the recorded file (comments and
    // unknown lines of the old file are gone). False without a recorded file, or when
    // serializing or writing fails; a failed write may leave the file truncated.
    bool Save(uint32_t seed = 0, bool flatSections = false);
    // Records `path` as the document's file, then Save. False for a null or empty path.
    bool SaveAs(const char* path, uint32_t seed = 0, bool flatSections = false);
};

// Documents are made from the sections' pool, whose blocks have a section's size.
static_assert(sizeof(ConfigDocument) == sizeof(ConfigSection), "a document adds no data to its root section");
