#include "uninstall/command_line_args.h"

#include <windows.h>

#include <cstring>
#include <new>

namespace {

// The runtime's white-space class in the "C" locale, spelled out so that no locale
// or code page can widen it.
bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

void SplitArgumentsInPlace(char* text, std::vector<const char*>& arguments)
{
    char* p = text;
    while (*p) {
        while (IsWhiteSpace(*p))
            ++p;
        const bool quoted = *p == '"';
        if (quoted)
            ++p;
        // Also at the end of the text: trailing white space makes one empty argument.
        arguments.push_back(p);
        if (quoted) {
            // Only a quote followed by white space or by the end closes the argument.
            while (*p && !(*p == '"' && (p[1] == '\0' || IsWhiteSpace(p[1]))))
                ++p;
            if (*p) {
                *p = '\0';
                if (p[1] != '\0')
                    p += 2;
            }
        } else {
            while (*p && !IsWhiteSpace(*p))
                ++p;
            if (*p) {
                *p = '\0';
                ++p;
            }
        }
    }
}

CommandLineArgs::CommandLineArgs(const char* commandLine)
{
    const char* source = commandLine ? commandLine : GetCommandLineA();
    if (!source)
        source = "";
    try {
        copy_.assign(source, source + std::strlen(source) + 1);
        SplitArgumentsInPlace(copy_.data(), arguments_);
    } catch (const std::bad_alloc&) {
        copy_.clear();
        arguments_.clear();
    }
}
