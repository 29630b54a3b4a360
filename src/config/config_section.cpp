#include "config/config_section.h"

#include "config/block_pool.h"
#include "text/string_ops.h"

#include <windows.h>

#include <mbctype.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// What the parser knows about one open section while it reads the section's lines.
struct ParseLevel {
    ConfigSection* section = nullptr;  // null while a section is read past
    LoadMode mode = LoadMode::Skip;
    bool named = true;
    // A filter is pending whenever one was given for this level, even an empty one.
    bool filterPending = false;
    std::string filterFirst;
    bool hasNextFilter = false;
    std::string nextFilter;
};

// Takes backslashes off both ends of `filter` and splits it at its first backslash.
// Double-byte characters are stepped over whole, so a trail byte 0x5C is part of a name.
void SetFilter(ParseLevel& level, const char* filter)
{
    if (!filter)
        return;
    level.filterPending = true;
    const size_t size = strlen(filter);
    size_t begin = 0;
    while (begin < size && filter[begin] == '\\')
        ++begin;
    size_t end = begin;
    size_t separator = size;
    for (size_t i = begin; i < size;) {
        const unsigned char c = static_cast<unsigned char>(filter[i]);
        const size_t width = (_ismbblead(c) && i + 1 < size) ? 2 : 1;
        if (c == '\\') {
            if (separator == size)
                separator = i;
        } else {
            end = i + width;
        }
        i += width;
    }
    if (separator < end) {
        level.filterFirst.assign(filter + begin, separator - begin);
        level.nextFilter.assign(filter + separator + 1, end - separator - 1);
        level.hasNextFilter = true;
    } else {
        level.filterFirst.assign(filter + begin, end - begin);
    }
}

const char* SkipSpaces(const char* text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    return text;
}

// The runtime's atol: blanks, an optional sign, decimal digits up to the first other
// character; an overflow wraps around instead of being caught.
int32_t ToLong(const char* text)
{
    text = SkipSpaces(text);
    bool negative = false;
    if (*text == '-' || *text == '+')
        negative = *text++ == '-';
    uint32_t number = 0;
    while (*text >= '0' && *text <= '9')
        number = number * 10 + static_cast<uint32_t>(*text++ - '0');
    return static_cast<int32_t>(negative ? 0u - number : number);
}

BlockPool& EntryPool()
{
    static BlockPool pool(sizeof(ConfigEntry));
    return pool;
}

}  // namespace

void* ConfigEntry::operator new(size_t size)
{
    void* block = operator new(size, std::nothrow);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void* ConfigEntry::operator new(size_t, const std::nothrow_t&) noexcept
{
    // The class is final: every request is for one entry.
    return EntryPool().Allocate();
}

void ConfigEntry::operator delete(void* block) noexcept { EntryPool().Release(block); }

void ConfigEntry::operator delete(void* block, const std::nothrow_t&) noexcept { EntryPool().Release(block); }

ConfigSection::ConfigSection(const char* name) : name(name ? name : "") {}

ConfigSection::ConfigSection(std::string name) : name(std::move(name)) {}

ConfigSection::~ConfigSection()
{
    // Each sub-section that only this tree holds gives its own sub-sections to the work
    // list before it goes, so a deep tree never recurses once per level.
    try {
        std::vector<SharedRef<ConfigSection>> pending;
        pending.swap(sections);
        while (!pending.empty()) {
            SharedRef<ConfigSection> next = std::move(pending.back());
            pending.pop_back();
            if (next && next.UseCount() == 1) {
                for (SharedRef<ConfigSection>& child : next->sections)
                    pending.push_back(std::move(child));
                next->sections.clear();
            }
        }
    } catch (...) {
        // Out of memory for the work list: what is left goes the ordinary way.
    }
}

bool ConfigSection::Load(const char* filePath, const char* sectionFilter, LoadMode mode, uint32_t seed,
                         bool flatSections)
{
    SharedRef<ConfigPath> record = MakeConfigPath(filePath);
    if (!record)
        return false;
    ConfigText text;
    if (!text.ReadFileText(record, seed))
        return false;
    return Parse(text, sectionFilter, mode, record, flatSections);
}

bool ConfigSection::Parse(ConfigText& text, const char* sectionFilter, LoadMode mode,
                          const SharedRef<ConfigPath>& newPath, bool flatSections)
{
    if (newPath)
        path = newPath;
    Clear();

    // The open sections are kept on a list rather than on the call stack, so a file
    // nested to any depth cannot exhaust the stack.
    std::vector<ParseLevel> levels(1);
    levels.reserve(16);
    levels[0].section = this;
    levels[0].mode = mode;
    levels[0].named = !name.empty();
    SetFilter(levels[0], sectionFilter);

    bool result = true;
    LineParts parts;
    std::string sectionName;  // zero-terminated copy for the filter comparison
    while (!levels.empty()) {
        const size_t lineStart = text.Position();
        const LineKind kind = text.ScanLine(parts);
        ParseLevel& level = levels.back();
        switch (kind) {
        case LineKind::Entry:
            if (level.mode != LoadMode::Skip && !level.filterPending &&
                !level.section->AppendEntry(parts.key, parts.keyLength, parts.value, parts.valueLength))
                result = false;
            break;

        case LineKind::SectionStart: {
            if (flatSections && level.named) {
                // The enclosing level reads this line again and starts a sibling.
                text.SetPosition(lineStart);
                levels.pop_back();
                break;
            }
            if (level.mode == LoadMode::Skip) {
                levels.emplace_back();
                break;
            }
            if (level.filterPending) {
                sectionName.assign(parts.name, parts.nameLength);
                if (lstrcmpiA(sectionName.c_str(), level.filterFirst.c_str()) != 0) {
                    levels.emplace_back();
                    break;
                }
            }
            // ValuesOnly keeps this section's first sub-section, empty, and nothing after it.
            if (level.mode == LoadMode::ValuesOnly && !level.filterPending)
                level.mode = LoadMode::Skip;

            SharedRef<ConfigSection> child = MakeShared<ConfigSection>(std::string(parts.name, parts.nameLength));
            if (!child) {
                // Its lines must not land in the enclosing section: read it past.
                result = false;
                levels.emplace_back();
                break;
            }
            if (newPath)
                child->path = newPath;
            ParseLevel next;
            next.section = child.Get();
            next.mode = level.mode;
            if (level.hasNextFilter)
                SetFilter(next, level.nextFilter.c_str());
            if (level.section->sections.empty())
                level.section->sections.reserve(4);
            level.section->sections.push_back(std::move(child));
            levels.push_back(std::move(next));
            break;
        }

        case LineKind::SectionEnd:
        case LineKind::EndOfText:
            levels.pop_back();
            break;

        case LineKind::Other:
        case LineKind::Comment:
        case LineKind::Blank:
            break;
        }
    }
    return result;
}

SharedRef<ConfigSection> ConfigSection::GetSection(const char* sectionPath, bool create)
{
    if (!sectionPath || !*sectionPath)
        return SharedRef<ConfigSection>();
    std::vector<std::string> components;
    Split(sectionPath, '\\', components);
    ConfigSection* current = this;
    SharedRef<ConfigSection> found;
    for (const std::string& component : components) {
        found = current->FindSection(component);
        if (!found) {
            if (!create)
                return SharedRef<ConfigSection>();
            found = MakeShared<ConfigSection>(component);
            if (!found)
                return SharedRef<ConfigSection>();
            current->sections.push_back(found);
        }
        current = found.Get();
    }
    return found;
}

SharedRef<ConfigSection> ConfigSection::GetSection(const char* sectionPath) const
{
    // Without creating, nothing is changed.
    return const_cast<ConfigSection*>(this)->GetSection(sectionPath, false);
}

std::string ConfigSection::GetValue(const char* key, const char* defaultValue) const
{
    SharedRef<ConfigEntry> entry = key ? FindEntry(key, strlen(key)) : SharedRef<ConfigEntry>();
    if (entry)
        return entry->value;
    return defaultValue ? defaultValue : "";
}

int32_t ConfigSection::GetInt(const char* key, int32_t defaultValue) const
{
    SharedRef<ConfigEntry> entry = key ? FindEntry(key, strlen(key)) : SharedRef<ConfigEntry>();
    return entry ? ToLong(entry->value.c_str()) : defaultValue;
}

bool ConfigSection::SetValue(const char* key, const char* value)
{
    if (!key)
        return false;
    // A new entry rather than a changed one: copies of this section keep the old value.
    SharedRef<ConfigEntry> replacement(new (std::nothrow) ConfigEntry{key, value ? value : ""});
    if (!replacement)
        return false;
    const size_t keyLength = strlen(key);
    for (SharedRef<ConfigEntry>& entry : entries) {
        if (entry && entry->key.size() == keyLength && memcmp(entry->key.data(), key, keyLength) == 0) {
            entry = std::move(replacement);
            return true;
        }
    }
    entries.push_back(std::move(replacement));
    return true;
}

size_t ConfigSection::RemoveSections(const char* sectionName)
{
    if (!sectionName)
        return 0;
    const size_t before = sections.size();
    sections.erase(std::remove_if(sections.begin(), sections.end(),
                                  [sectionName](const SharedRef<ConfigSection>& section) {
                                      return section && section->name == sectionName;
                                  }),
                   sections.end());
    return before - sections.size();
}

size_t ConfigSection::RemoveEntries(const char* key)
{
    if (!key)
        return 0;
    const size_t before = entries.size();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [key](const SharedRef<ConfigEntry>& entry) { return entry && entry->key == key; }),
                  entries.end());
    return before - entries.size();
}

SharedRef<ConfigSection> ConfigSection::SectionAt(size_t index) const
{
    return index < sections.size() ? sections[index] : SharedRef<ConfigSection>();
}

SharedRef<ConfigEntry> ConfigSection::EntryAt(size_t index) const
{
    return index < entries.size() ? entries[index] : SharedRef<ConfigEntry>();
}

void ConfigSection::Merge(const SharedRef<ConfigSection>& source, bool overwrite)
{
    if (!source)
        return;
    // The recursion of the merge, kept on a list: a target, its source, and the next
    // sub-section of the source to merge. A level's entries follow its sub-sections.
    struct MergeLevel {
        ConfigSection* target;
        SharedRef<ConfigSection> source;
        size_t nextSection;
    };
    std::vector<MergeLevel> levels;
    levels.push_back({this, source, 0});
    while (!levels.empty()) {
        MergeLevel& level = levels.back();
        if (level.nextSection < level.source->sections.size()) {
            SharedRef<ConfigSection> sub = level.source->sections[level.nextSection++];
            if (!sub)
                continue;
            SharedRef<ConfigSection> match = level.target->FindSection(sub->name);
            if (match)
                levels.push_back({match.Get(), sub, 0});
            else
                level.target->sections.push_back(sub);
            continue;
        }
        ConfigSection* target = level.target;
        const ConfigSection* from = level.source.Get();
        for (size_t i = 0; i < from->entries.size(); ++i) {
            SharedRef<ConfigEntry> entry = from->entries[i];
            if (!entry)
                continue;
            SharedRef<ConfigEntry> match = target->FindEntry(entry->key.data(), entry->key.size());
            if (!match)
                target->entries.push_back(entry);
            else if (overwrite && match.Get() != entry.Get())
                match->value = entry->value;
        }
        levels.pop_back();
    }
}

void ConfigSection::Clear()
{
    sections.clear();
    entries.clear();
}

bool ConfigSection::AppendEntry(const char* key, size_t keyLength, const char* value, size_t valueLength)
{
    SharedRef<ConfigEntry> entry(
        new (std::nothrow) ConfigEntry{std::string(key, keyLength), std::string(value, valueLength)});
    if (!entry)
        return false;
    // Most sections hold a few entries: one allocation instead of three or four.
    if (entries.empty())
        entries.reserve(8);
    entries.push_back(std::move(entry));
    return true;
}

SharedRef<ConfigSection> ConfigSection::FindSection(const std::string& sectionName) const
{
    for (const SharedRef<ConfigSection>& section : sections) {
        if (section && section->name == sectionName)
            return section;
    }
    return SharedRef<ConfigSection>();
}

SharedRef<ConfigEntry> ConfigSection::FindEntry(const char* key, size_t keyLength) const
{
    for (const SharedRef<ConfigEntry>& entry : entries) {
        if (entry && entry->key.size() == keyLength && memcmp(entry->key.data(), key, keyLength) == 0)
            return entry;
    }
    return SharedRef<ConfigEntry>();
}
