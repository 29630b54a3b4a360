// The text of a configuration file while it is parsed or written: a byte buffer, its
// length, a read position and option flags.
#pragma once

#include "config/shared_ref.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct ConfigPath;

// What NextLine found.
enum class LineKind : int {
    Other = 0,
    Comment = 1,
    Blank = 2,
    EndOfText = 3,
    SectionStart = 4,
    SectionEnd = 5,
    Entry = 6,
};

// Where the parts of one line lie inside the text (pointers into its buffer), for a
// reader that copies only what it keeps. Parts that do not apply are empty.
struct LineParts {
    const char* line = nullptr;  // trimmed of blanks at both ends
    size_t lineLength = 0;
    const char* name = nullptr;  // between "[" and the first "]"
    size_t nameLength = 0;
    const char* key = nullptr;
    size_t keyLength = 0;
    const char* value = nullptr;
    size_t valueLength = 0;
};

class ConfigText {
public:
    // Option flags.
    enum : uint32_t {
        unquoteValues = 1,  // a value in double quotes loses them
    };

    ConfigText() = default;
    ConfigText(const ConfigText&) = delete;
    ConfigText& operator=(const ConfigText&) = delete;

    // Copies `length` bytes into an owned buffer one byte longer, zero-filled. False
    // (text unchanged) when the buffer cannot be allocated.
    bool Assign(const char* bytes, size_t length);
    // Reads the caller's buffer in place, without copying; the caller keeps it alive
    // and unchanged while this text uses it. The scramble operations write into it.
    void Attach(char* bytes, size_t length);

    const char* Data() const { return data_; }
    size_t Length() const { return length_; }
    size_t Position() const { return position_; }
    void SetPosition(size_t position) { position_ = position; }

    uint32_t flags = 0;

    // Reads the line at the read position and moves past it: `line` gets the trimmed
    // line, `sectionName` the name of a section line, `key` and `value` the parts of an
    // entry; outputs that do not apply to the kind are cleared. Never reads outside
    // [0, Length()).
    LineKind NextLine(std::string& line, std::string& sectionName, std::string& key, std::string& value);
    // NextLine without copies: the parts point into the buffer and stay valid while it does.
    LineKind ScanLine(LineParts& parts);
    // Moves past every line up to and including the next section line and gives its
    // kind (SectionStart or SectionEnd) and where it starts; EndOfText, read position at
    // the end, when none is left. Reads past sections without copying or allocating.
    LineKind SkipToSectionLine(size_t* lineStart);

    // Replaces the text with the whole file of `path`, unscrambled with a non-zero
    // `seed`. False, text unchanged, for a missing path record, a file that cannot be
    // opened or read whole, an empty file or lack of memory. (config_store.cpp)
    bool ReadFileText(const SharedRef<ConfigPath>& path, uint32_t seed);
    // Replaces the file of `path` with the text (scrambled in a copy with a non-zero
    // `seed`), keeping the file's attributes. A failed write may leave the file
    // truncated or missing. (config_store.cpp)
    bool WriteFileText(const SharedRef<ConfigPath>& path, uint32_t seed) const;

    // A keyed permutation of the bytes in place; UnscrambleText with the same seed
    // undoes ScrambleText. (config_store.cpp)
    void ScrambleText(uint32_t seed);
    void UnscrambleText(uint32_t seed);

private:
    // The line at the read position without its LF, up to `*end`; moves past it.
    // Requires Position() < Length().
    const char* NextLineSpan(const char** end);

    std::unique_ptr<char[]> storage_;
    char* data_ = nullptr;
    size_t length_ = 0;
    size_t position_ = 0;
};
