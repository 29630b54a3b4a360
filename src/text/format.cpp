#include "text/format.h"

#include <mbstring.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// Reads a decimal number at `p`, leaving `p` behind its digits.
size_t ReadNumber(const unsigned char*& p)
{
    size_t n = 0;
    while (*p >= '0' && *p <= '9')
        n = n * 10 + (*p++ - '0');
    return n;
}

size_t CharLimit(size_t length, bool hasPrecision, size_t precision, size_t width)
{
    if (hasPrecision && precision < length)
        length = precision;
    return std::max(length, width);
}

}  // namespace

size_t MeasureFormat(const char* format, va_list args)
{
    size_t total = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(format);
    while (*p) {
        if (*p != '%') {
            // A lead byte right before the terminator counts alone.
            const unsigned char* next = p[1] ? _mbsinc(p) : p + 1;
            total += next - p;
            p = next;
            continue;
        }
        ++p;
        if (*p == '%') {
            ++total;
            ++p;
            continue;
        }
        size_t width = 0;
        bool widthTaken = false;
        for (;; ++p) {
            if (*p == '#') {
                total += 2;
            } else if (*p == '*') {
                int w = va_arg(args, int);
                width = w > 0 ? static_cast<size_t>(w) : 0;
                widthTaken = true;
            } else if (*p != '-' && *p != '+' && *p != '0' && *p != ' ') {
                break;
            }
        }
        if (!widthTaken)
            width = ReadNumber(p);
        size_t precision = 0;
        bool hasPrecision = false;
        if (*p == '.') {
            ++p;
            hasPrecision = true;
            if (*p == '*') {
                int pr = va_arg(args, int);
                precision = pr > 0 ? static_cast<size_t>(pr) : 0;
                ++p;
            } else {
                precision = ReadNumber(p);
            }
        }
        enum { Default, Narrow, Wide } size = Default;
        for (;; ++p) {
            if (*p == 'h')
                size = Narrow;
            else if (*p == 'l')
                size = Wide;
            else if (*p != 'F' && *p != 'N' && *p != 'L')
                break;
        }
        const unsigned char conversion = *p;
        if (conversion)
            ++p;
        switch (conversion) {
        case 'c':
        case 'C':
            va_arg(args, int);
            total += CharLimit(2, hasPrecision, precision, width);
            break;
        case 's':
        case 'S': {
            const bool wide = (conversion == 's') ? size == Wide : size != Narrow;
            size_t length;
            if (wide) {
                const wchar_t* s = va_arg(args, const wchar_t*);
                length = s ? std::max<size_t>(wcslen(s), 1) : 6;
            } else {
                const char* s = va_arg(args, const char*);
                length = s ? std::max<size_t>(strlen(s), 1) : 6;
            }
            total += CharLimit(length, hasPrecision, precision, width);
            break;
        }
        case 'd': case 'i': case 'u': case 'o': case 'x': case 'X': case 'p':
            va_arg(args, int);
            total += std::max<size_t>(32, width + precision);
            break;
        case 'e': case 'f': case 'g': case 'G':
            va_arg(args, double);
            total += std::max<size_t>(128, width + precision);
            break;
        case 'n':
            va_arg(args, void*);
            break;
        default:
            break;
        }
    }
    return total;
}

void FormatStringV(std::string& target, const char* format, va_list args)
{
    if (!format)
        return;
    va_list measureArgs;
    va_copy(measureArgs, args);
    size_t capacity = MeasureFormat(format, measureArgs) + 1;
    va_end(measureArgs);

    // The measure is an estimate for the conversions the module uses; a bounded call
    // keeps any other format from writing past the buffer, and a truncated result is
    // formatted again into the size the formatter asks for.
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::vector<char> buffer;
        try {
            buffer.resize(capacity);
        } catch (const std::bad_alloc&) {
            return;
        }
        va_list formatArgs;
        va_copy(formatArgs, args);
        int written = vsnprintf(buffer.data(), capacity, format, formatArgs);
        va_end(formatArgs);
        if (written < 0)
            return;
        if (static_cast<size_t>(written) < capacity) {
            target.assign(buffer.data(), written);
            return;
        }
        capacity = static_cast<size_t>(written) + 1;
    }
}

void FormatString(std::string& target, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatStringV(target, format, args);
    va_end(args);
}

bool FormatInsertsV(std::string& target, const char* templ, va_list args)
{
    if (!templ)
        return false;
    char* buffer = nullptr;
    va_list copy;
    va_copy(copy, args);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  templ, 0, 0, reinterpret_cast<char*>(&buffer), 0, &copy);
    va_end(copy);
    if (length == 0 || !buffer) {
        if (buffer)
            LocalFree(buffer);
        return false;
    }
    target.assign(buffer, length);
    LocalFree(buffer);
    return true;
}

bool FormatInserts(std::string& target, const char* templ, ...)
{
    va_list args;
    va_start(args, templ);
    bool ok = FormatInsertsV(target, templ, args);
    va_end(args);
    return ok;
}

std::string GetSystemErrorText(DWORD code)
{
    char* buffer = nullptr;
    // Inserts are ignored: a system text that holds "%1" would otherwise read
    // arguments that nobody passed.
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (length && buffer)
        text.assign(buffer, length);
    if (buffer)
        LocalFree(buffer);
    return text;
}
