// printf-style and message-style formatting into the module's string type.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>

// Formats `format` printf-style into `target`. The length is measured first and the
// text is formatted once into a buffer of that size; the formatter never writes past
// what it measured. On failure `target` is left as it was.
void FormatString(std::string& target, const char* format, ...);
void FormatStringV(std::string& target, const char* format, va_list args);

// Formats a message template with numbered inserts ("%1", "%2!u!") through the
// system's message formatter. Returns false and leaves `target` unchanged when the
// system formatter fails.
bool FormatInserts(std::string& target, const char* templ, ...);
bool FormatInsertsV(std::string& target, const char* templ, va_list args);

// The system's text for a Win32 error code (neutral language), trailing line break
// included; empty when the system has no text for it.
std::string GetSystemErrorText(DWORD code);

// Measuring pass of FormatStringV, exposed for tests: the byte count it reserves for
// `format` with these arguments (without the terminating zero).
size_t MeasureFormat(const char* format, va_list args);
