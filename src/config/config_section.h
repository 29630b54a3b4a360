// The in-memory configuration tree: named sections holding ordered key/value entries
// and ordered sub-sections, shared through SharedRef handles.
#pragma once

#include "config/config_store.h"
#include "config/config_text.h"
#include "config/shared_ref.h"

#include <cstdint>
#include <new>
#include <string>
#include <vector>

// One "key = value" line. Entries are allocated from a pool of their own.
struct ConfigEntry final {
    std::string key;
    std::string value;

    static void* operator new(size_t size);
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block) noexcept;
    static void operator delete(void* block, const std::nothrow_t&) noexcept;
};

// How much of a file a load keeps.
enum class LoadMode : int {
    All = 0,
    // The entries of the target section up to its first sub-section, and that
    // sub-section left empty.
    ValuesOnly = 1,
    // Nothing: reads past a section.
    Skip = 2,
};

// Every look-up by name compares exactly (length and bytes, case-sensitive) and the
// first match in list order wins. A null key or name is the caller's error and finds
// nothing: look-ups give their default, SetValue and the removals change nothing.
class ConfigSection {
public:
    // Sections come from a pool of their own, as entries do. So do documents, which add
    // no data; a derived class that adds data cannot be made with new.
    static void* operator new(size_t size);
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block) noexcept;
    static void operator delete(void* block, const std::nothrow_t&) noexcept;

    // A null name gives an empty name (a document's root).
    explicit ConfigSection(const char* name = nullptr);
    explicit ConfigSection(std::string name);
    // Releases deep trees level by level, without one stack frame per level.
    virtual ~ConfigSection();
    // A copy shares the sub-sections, entries and path of the source; nothing is cloned.
    ConfigSection(const ConfigSection&) = default;
    ConfigSection& operator=(const ConfigSection&) = default;

    const std::string& Name() const { return name; }
    const SharedRef<ConfigPath>& Path() const { return path; }

    // Reads the file and replaces this section's content with what the parser keeps;
    // records `path` as the file. A null filter loads from the top, otherwise only what
    // lies along and below that section path (matched without regard to case). False,
    // content and path unchanged, when the file cannot be read (missing, empty) or the
    // path is null or empty; false after parsing when memory ran out.
    bool Load(const char* path, const char* sectionFilter = nullptr, LoadMode mode = LoadMode::All,
              uint32_t seed = 0, bool flatSections = false);
    // Parses `text` from its read position into this section, replacing its content;
    // takes `path` as the file when given. In flat mode every section line starts a new
    // sibling. False when memory runs out (for a section, an entry or a list); the tree
    // keeps what was read.
    bool Parse(ConfigText& text, const char* sectionFilter, LoadMode mode, const SharedRef<ConfigPath>& path,
               bool flatSections);

    // The section at a backslash-separated path below this one; empty components count.
    // Missing components are appended when `create`, else the result is empty. Empty for
    // a null or empty path.
    SharedRef<ConfigSection> GetSection(const char* sectionPath, bool create);
    SharedRef<ConfigSection> GetSection(const char* sectionPath) const;

    // The value of the first entry with `key`, else `defaultValue` (null gives "").
    std::string GetValue(const char* key, const char* defaultValue) const;
    // The value converted as atol converts (blanks, sign, digits, no overflow check);
    // `defaultValue` when there is no such entry.
    int32_t GetInt(const char* key, int32_t defaultValue) const;
    // Replaces the first entry with `key` by a new entry in its place, or appends one
    // (a null value counts as empty). False only when no entry can be allocated.
    bool SetValue(const char* key, const char* value);

    // Remove every sub-section named `name` / every entry with `key`; return how many.
    size_t RemoveSections(const char* name);
    size_t RemoveEntries(const char* key);

    // Enumeration in list order; an index out of range gives an empty handle.
    size_t SectionCount() const { return sections.size(); }
    SharedRef<ConfigSection> SectionAt(size_t index) const;
    size_t EntryCount() const { return entries.size(); }
    SharedRef<ConfigEntry> EntryAt(size_t index) const;

    // Merges `source` into this tree: sub-sections matched by exact name are merged,
    // others appended (shared, not copied); then entries matched by exact key take the
    // source's value when `overwrite`, others are appended (shared).
    void Merge(const SharedRef<ConfigSection>& source, bool overwrite);

    // Empties both lists; the name and path stay.
    void Clear();

protected:
    void SetPath(const SharedRef<ConfigPath>& newPath) { path = newPath; }

private:
    SharedRef<ConfigSection> FindSection(const std::string& sectionName) const;
    SharedRef<ConfigEntry> FindEntry(const char* key, size_t keyLength) const;

    std::string name;
    std::vector<SharedRef<ConfigSection>> sections;
    std::vector<SharedRef<ConfigEntry>> entries;
    SharedRef<ConfigPath> path;
};
