// Path splitting and comparison. Paths are ANSI texts with backslash separators;
// splitting is multibyte-aware (a double-byte character whose second byte is 0x5C is
// never taken for a separator) and comparisons ignore case.
#pragma once

#include <string>

// <commdlg.h> maps this name to its own function; the module never uses that one.
#ifdef GetFileTitle
#undef GetFileTitle
#endif

// What the file system shows at `path`, by its attributes: false where they cannot be
// read.
bool PathExists(const std::string& path);
bool IsExistingFile(const std::string& path);
bool IsExistingFolder(const std::string& path);

// The part after the last backslash, stripped of backslashes at both ends; the whole
// path, stripped likewise, when it has no backslash.
std::string GetFileName(const std::string& path);

// GetFileName without the part from its last "." on.
std::string GetFileTitle(const std::string& path);

// The part before the last backslash (without it); empty when there is no backslash.
std::string GetDirectory(const std::string& path);

// Removes the trailing run of backslash characters (trail bytes of double-byte
// characters excepted).
void StripTrailingBackslashes(std::string& path);

// The system's short (8.3) form of an existing path, or `fallback` when the system
// cannot give one within 260 characters.
std::string GetShortPath(const std::string& path, const std::string& fallback);

// The system's long form of a path, or `fallback` when the system cannot give one or
// has no GetLongPathNameA (looked up at run time in KERNEL32).
std::string GetLongPath(const std::string& path, const std::string& fallback);

// Case-insensitive comparison of `a`, unchanged, with `b` stripped of its trailing
// backslashes; a null `b` counts as empty.
bool PathEquals(const std::string& a, const char* b);
inline bool PathEquals(const std::string& a, const std::string& b) { return PathEquals(a, b.c_str()); }

// Whether `a` and `b` name the same file or folder: equal as texts (PathEquals), or
// equal in their short forms, or equal in their long forms. Empty paths are never
// the same as anything but an empty text.
bool IsSamePath(const std::string& a, const char* b);
inline bool IsSamePath(const std::string& a, const std::string& b) { return IsSamePath(a, b.c_str()); }
