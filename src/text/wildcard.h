// File-name pattern matching: "*" any run (also none), "?" one character, every
// other character itself, compared without regard to case. No escape character.
#pragma once

// False when either argument is null. Multibyte-aware.
bool WildcardMatch(const char* text, const char* pattern);
