// Trimming, searching, splitting and converting operations on the module's string
// type. Character searches are multibyte-aware (the runtime's multibyte code page),
// so the trail byte of a double-byte character is never taken for a separator.
#pragma once

#include <string>
#include <vector>

constexpr size_t npos = std::string::npos;

// Replaces every occurrence of `find` at or after `startPos`, left to right; the
// search resumes behind each inserted text. An empty `find` changes nothing.
void ReplaceAll(std::string& target, const std::string& find, const std::string& replaceWith,
                size_t startPos = 0);

// Trailing runs are found character by character: the trail byte of a double-byte
// character is never trimmed as a backslash.
void TrimRight(std::string& target, char ch);
void TrimLeft(std::string& target, char ch);
void Trim(std::string& target, char ch);
// Remove the trailing (leading) run of characters that occur in `set`.
void TrimRight(std::string& target, const char* set);
void TrimLeft(std::string& target, const char* set);

// Lower-cases in place with the runtime's multibyte-aware lower-casing.
void MakeLower(std::string& target);

// Index of the last `ch`, or npos.
size_t ReverseFind(const std::string& target, char ch);
// Index of the first `ch` at or after `startPos`; npos when none or past the end.
size_t Find(const std::string& target, char ch, size_t startPos = 0);
// Index of the first `text` at or after `startPos`; npos when not found, when `text`
// is null or when `startPos` lies past the end.
size_t Find(const std::string& target, const char* text, size_t startPos = 0);
// As Find, comparing lower-cased copies; the index is relative to `target`'s start.
size_t FindNoCase(const std::string& target, const char* text, size_t startPos = 0);

// Clears `outList` and appends the pieces of `source` between separators; empty
// pieces count. Returns the number of pieces (at least 1).
size_t Split(const std::string& source, char separator, std::vector<std::string>& outList);

// Decimal conversion as the runtime's strtoul; 0xFFFFFFFF when anything is left
// over after the number; 0 for an empty text.
unsigned long ToULong(const char* text);
