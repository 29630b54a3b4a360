#include "config/config_section.h"

#include "config/block_pool.h"
#include "text/string_ops.h"

#include <windows.h>

#include <mbctype.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace {

// What the parser knows about one open section while it reads the section's lines.
struct ParseLevel {
    ConfigSection* section = nullptr;
    LoadMode mode = LoadMode::Skip;
    bool named = true;
    // A filter is pending whenever one was given for this level, even an empty one.
    bool filterPending = false;
    std::string filterFirst;
    bool hasNextFilter = false;
    std::string nextFilter;
    // Where this section's part of the parser's lists of what was read begins.
    size_t firstEntry = 0;
    size_t firstSection = 0;
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

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline bool IsAsciiLetterOrDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether a section name matches a filter component as lstrcmpiA compares them (case
// aside, by the thread's locale). That call converts both strings each time, and a
// filtered load makes it for every section line it passes; so the answers that hold in
// every locale are given here: the same ASCII text matches; names that begin with
// different ASCII letters or digits (case aside) differ, and so do names with the same
// ASCII text up to a place where both hold different digits. No locale sorts an ASCII
// letter or digit as another character, and no contraction takes in a digit (letters
// after a common start may contract, so they are left to the call). `scratch` holds the
// zero-terminated copy of the name.
bool FilterMatches(const char* name, size_t length, const std::string& filter, std::string& scratch)
{
    const size_t common = std::min(length, filter.size());
    size_t same = 0;
    while (same < common && name[same] == filter[same] && name[same] != '\0' &&
           static_cast<unsigned char>(name[same]) < 0x80)
        ++same;
    if (same == length && same == filter.size())
        return true;
    if (same < common) {
        const char a = name[same], b = filter[same];
        if (same == 0 ? IsAsciiLetterOrDigit(a) && IsAsciiLetterOrDigit(b) && AsciiLower(a) != AsciiLower(b)
                      : IsDigit(a) && IsDigit(b))
            return false;
    }
    scratch.assign(name, length);
    return lstrcmpiA(scratch.c_str(), filter.c_str()) == 0;
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

// Reads past the rest of a section that keeps nothing: its lines and every section
// nested in it, up to its "[]" or the end of the text. In flat mode a section line ends
// a named section (the read position goes back to it for the enclosing level) and
// starts a new one inside an unnamed one; only that one can be open at a time.
void SkipSection(ConfigText& text, bool flatSections, bool named)
{
    size_t open = 0;  // sub-sections of the skipped section still open
    for (;;) {
        size_t lineStart = 0;
        switch (text.SkipToSectionLine(&lineStart)) {
        case LineKind::EndOfText:
            return;
        case LineKind::SectionEnd:
            if (open == 0)
                return;
            --open;
            break;
        case LineKind::SectionStart:
            if (!flatSections) {
                ++open;
            } else if (named) {
                text.SetPosition(lineStart);
                return;
            } else {
                open = 1;
            }
            break;
        default:
            break;
        }
    }
}

BlockPool& EntryPool()
{
    static BlockPool pool(sizeof(ConfigEntry));
    return pool;
}

BlockPool& SectionPool()
{
    static BlockPool pool(sizeof(ConfigSection));
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

void* ConfigSection::operator new(size_t size)
{
    void* block = operator new(size, std::nothrow);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void* ConfigSection::operator new(size_t size, const std::nothrow_t&) noexcept
{
    return size <= SectionPool().BlockSize() ? SectionPool().Allocate() : nullptr;
}

void ConfigSection::operator delete(void* block) noexcept { SectionPool().Release(block); }

void ConfigSection::operator delete(void* block, const std::nothrow_t&) noexcept { SectionPool().Release(block); }

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

    // What the open sections have read so far, each section's part after its parent's:
    // a section gets its lists in one allocation of the exact size when it closes,
    // instead of growing them entry by entry.
    std::vector<SharedRef<ConfigEntry>> readEntries;
    std::vector<SharedRef<ConfigSection>> readSections;
    readEntries.reserve(64);
    readSections.reserve(64);
    auto close = [&readEntries, &readSections](const ParseLevel& level) {
        ConfigSection& section = *level.section;
        section.entries.assign(std::make_move_iterator(readEntries.begin() + level.firstEntry),
                               std::make_move_iterator(readEntries.end()));
        readEntries.resize(level.firstEntry);
        section.sections.assign(std::make_move_iterator(readSections.begin() + level.firstSection),
                                std::make_move_iterator(readSections.end()));
        readSections.resize(level.firstSection);
    };

    bool result = true;
    try {
        LineParts parts;
        std::string sectionName;  // scratch for the filter comparison
        while (!levels.empty()) {
            ParseLevel& level = levels.back();
            if (level.mode == LoadMode::Skip) {
                SkipSection(text, flatSections, level.named);
                close(level);
                levels.pop_back();
                continue;
            }
            const size_t lineStart = text.Position();
            switch (text.ScanLine(parts)) {
            case LineKind::Entry:
                if (!level.filterPending) {
                    // The strings are made in place in the new entry.
                    SharedRef<ConfigEntry> entry(new (std::nothrow) ConfigEntry{
                        std::string(parts.key, parts.keyLength), std::string(parts.value, parts.valueLength)});
                    if (entry)
                        readEntries.push_back(std::move(entry));
                    else
                        result = false;
                }
                break;

            case LineKind::SectionStart: {
                if (flatSections && level.named) {
                    // The enclosing level reads this line again and starts a sibling.
                    text.SetPosition(lineStart);
                    close(level);
                    levels.pop_back();
                    break;
                }
                if (level.filterPending && !FilterMatches(parts.name, parts.nameLength, level.filterFirst, sectionName)) {
                    SkipSection(text, flatSections, true);
                    break;
                }
                // ValuesOnly keeps this section's first sub-section, empty, and nothing after it.
                if (level.mode == LoadMode::ValuesOnly && !level.filterPending)
                    level.mode = LoadMode::Skip;

                SharedRef<ConfigSection> child = MakeShared<ConfigSection>(std::string(parts.name, parts.nameLength));
                if (!child) {
                    // Its lines must not land in the enclosing section: read it past.
                    result = false;
                    SkipSection(text, flatSections, true);
                    break;
                }
                if (newPath)
                    child->path = newPath;
                ParseLevel next;
                next.section = child.Get();
                next.mode = level.mode;
                if (level.hasNextFilter)
                    SetFilter(next, level.nextFilter.c_str());
                readSections.push_back(std::move(child));
                next.firstEntry = readEntries.size();
                next.firstSection = readSections.size();
                levels.push_back(std::move(next));
                break;
            }

            case LineKind::SectionEnd:
            case LineKind::EndOfText:
                close(level);
                levels.pop_back();
                break;

            case LineKind::Other:
            case LineKind::Comment:
            case LineKind::Blank:
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        // Out of memory for a list or a string: the open sections keep what they read
        // as far as memory allows.
        result = false;
        for (size_t i = levels.size(); i-- > 0;) {
            try {
                close(levels[i]);
            } catch (const std::bad_alloc&) {
                readEntries.resize(std::min(readEntries.size(), levels[i].firstEntry));
                readSections.resize(std::min(readSections.size(), levels[i].firstSection));
            }
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
