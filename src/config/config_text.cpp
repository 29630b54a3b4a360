#include "config/config_text.h"

#include <mbctype.h>

#include <cstdint>
#include <cstring>

namespace {

// Blanks of the file format; form feed and other control characters are not blanks.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v'; }

// The index of the first ']' after the opening '[' at index 0, or length when none.
// Double-byte characters of the runtime's multibyte code page are stepped over whole,
// so the trail byte of a Japanese name is never taken for the bracket; in single-byte
// code pages this is the first ']' byte. Lead bytes lie above 0x7F in every code page,
// so plain ASCII names cost no look-up.
size_t FindClosingBracket(const char* text, size_t length)
{
    size_t i = 1;
    while (i < length) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ']')
            return i;
        i += (c >= 0x80 && _ismbblead(c)) ? 2 : 1;
    }
    return length;
}

// The first `byte` in [from, limit), or null. Eight bytes at a time: a word holds the
// byte where the word XOR the byte repeated has a zero byte, which the subtraction
// shows without a false alarm; the byte loop then finds which one. About twice the speed
// of the runtime's memchr here, and no call per line.
const char* FindByte(const char* from, const char* limit, char byte)
{
    const uint32_t pattern = 0x01010101u * static_cast<unsigned char>(byte);
    for (; from < limit && (reinterpret_cast<uintptr_t>(from) & 3); ++from) {
        if (*from == byte)
            return from;
    }
    for (; limit - from >= 8; from += 8) {
        uint32_t low, high;
        memcpy(&low, from, 4);
        memcpy(&high, from + 4, 4);
        low ^= pattern;
        high ^= pattern;
        if (((low - 0x01010101u) & ~low & 0x80808080u) | ((high - 0x01010101u) & ~high & 0x80808080u))
            break;
    }
    for (; from < limit; ++from) {
        if (*from == byte)
            return from;
    }
    return nullptr;
}

}  // namespace

bool ConfigText::Assign(const char* bytes, size_t length)
{
    std::unique_ptr<char[]> storage(new (std::nothrow) char[length + 1]());
    if (!storage)
        return false;
    if (length)
        memcpy(storage.get(), bytes, length);
    storage_ = std::move(storage);
    data_ = storage_.get();
    length_ = length;
    position_ = 0;
    return true;
}

void ConfigText::Attach(char* bytes, size_t length)
{
    storage_.reset();
    data_ = bytes;
    length_ = bytes ? length : 0;
    position_ = 0;
}

LineKind ConfigText::NextLine(std::string& line, std::string& sectionName, std::string& key, std::string& value)
{
    LineParts parts;
    const LineKind kind = ScanLine(parts);
    line.assign(parts.line ? parts.line : "", parts.lineLength);
    sectionName.assign(parts.name ? parts.name : "", parts.nameLength);
    key.assign(parts.key ? parts.key : "", parts.keyLength);
    value.assign(parts.value ? parts.value : "", parts.valueLength);
    return kind;
}

const char* ConfigText::NextLineSpan(const char** end)
{
    const char* const start = data_ + position_;
    const size_t rest = length_ - position_;
    const char* lineFeed = FindByte(start, start + rest, '\n');
    if (lineFeed) {
        position_ = static_cast<size_t>(lineFeed - data_) + 1;
        *end = lineFeed;
    } else {
        position_ = length_;
        *end = start + rest;
    }
    return start;
}

LineKind ConfigText::SkipToSectionLine(size_t* lineStart)
{
    if (!data_ || position_ >= length_) {
        position_ = length_;
        return LineKind::EndOfText;
    }
    // Only a line whose first non-blank byte is "[" can be a section line, and "[" is
    // rare elsewhere: searching for it passes over whole runs of other lines at once.
    const char* const limit = data_ + length_;
    const char* from = data_ + position_;  // always the start of a line
    while (const char* bracket = FindByte(from, limit, '[')) {
        const char* start = bracket;
        while (start > from && IsBlank(start[-1]))
            --start;
        const char* lineFeed = FindByte(bracket, limit, '\n');
        const char* end = lineFeed ? lineFeed : limit;
        // Blanks after the last "]" change nothing: the bracket is searched in the
        // untrimmed rest of the line.
        if (start == from || start[-1] == '\n') {
            const size_t length = static_cast<size_t>(end - bracket);
            const size_t close = FindClosingBracket(bracket, length);
            if (close < length) {
                position_ = lineFeed ? static_cast<size_t>(lineFeed - data_) + 1 : length_;
                *lineStart = static_cast<size_t>(start - data_);
                return close == 1 ? LineKind::SectionEnd : LineKind::SectionStart;
            }
        }
        if (!lineFeed)
            break;
        from = lineFeed + 1;
    }
    position_ = length_;
    return LineKind::EndOfText;
}

LineKind ConfigText::ScanLine(LineParts& parts)
{
    parts = LineParts();
    if (!data_ || position_ >= length_)
        return LineKind::EndOfText;

    const char* end;
    const char* start = NextLineSpan(&end);
    // A CR before the LF goes with the trailing blanks, so CR LF and LF files read alike.
    while (start < end && IsBlank(*start))
        ++start;
    while (end > start && IsBlank(end[-1]))
        --end;
    const size_t length = static_cast<size_t>(end - start);
    parts.line = start;
    parts.lineLength = length;

    if (length == 0)
        return LineKind::Blank;
    if (*start == ';')
        return LineKind::Comment;
    if (*start == '[') {
        size_t close = FindClosingBracket(start, length);
        if (close < length) {
            // Whatever follows the bracket is ignored.
            parts.name = start + 1;
            parts.nameLength = close - 1;
            return close == 1 ? LineKind::SectionEnd : LineKind::SectionStart;
        }
    }
    // Keys are short: a plain loop beats a call.
    const char* equals = start;
    while (equals < end && *equals != '=')
        ++equals;
    if (equals == end)
        return LineKind::Other;

    const char* keyEnd = equals;
    while (keyEnd > start && IsBlank(keyEnd[-1]))
        --keyEnd;
    const char* valueStart = equals + 1;
    while (valueStart < end && IsBlank(*valueStart))
        ++valueStart;
    if ((flags & unquoteValues) && valueStart < end && *valueStart == '"' && end[-1] == '"') {
        // A lone quote is both the first and the last character: nothing is left.
        ++valueStart;
        if (valueStart < end)
            --end;
    }
    parts.key = start;
    parts.keyLength = static_cast<size_t>(keyEnd - start);
    parts.value = valueStart;
    parts.valueLength = static_cast<size_t>(end - valueStart);
    return LineKind::Entry;
}
