// Helpers of the configuration tests: parsing from and writing to memory, and a readable
// dump of a tree.
#pragma once

#include "config/config_document.h"
#include "config/config_writer.h"

#include <gtest/gtest.h>

#include <string>

// The document parsed from `text` in memory, no file involved.
inline ConfigDocument ParseText(const std::string& text, const char* filter = nullptr,
                                LoadMode mode = LoadMode::All, bool flat = false, uint32_t flags = 0)
{
    ConfigText buffer;
    buffer.Assign(text.data(), text.size());
    buffer.flags = flags;
    ConfigDocument document;
    EXPECT_TRUE(document.Parse(buffer, filter, mode, SharedRef<ConfigPath>(), flat));
    return document;
}

// The writer's text for `section`.
inline std::string Serialized(const ConfigSection& section, uint32_t options = 0, bool flat = false, int depth = 0)
{
    std::string text = "not cleared";
    EXPECT_TRUE(SerializeToString(section, text, depth, options, flat));
    return text;
}

// "<key>=<value>" for each entry, then "[name]{...}" for each sub-section.
inline std::string Dump(const ConfigSection& section)
{
    std::string out;
    for (size_t i = 0; i < section.EntryCount(); ++i)
        out += (out.empty() ? "<" : " <") + section.EntryAt(i)->key + ">=<" + section.EntryAt(i)->value + ">";
    for (size_t i = 0; i < section.SectionCount(); ++i)
        out += (out.empty() ? "[" : " [") + section.SectionAt(i)->Name() + "]{" + Dump(*section.SectionAt(i)) + "}";
    return out;
}
