#include "text/wildcard.h"

#include <mbctype.h>
#include <mbstring.h>

namespace {

using Bytes = const unsigned char*;

// One character forward; a lead byte right before the terminator counts alone.
Bytes Next(Bytes p) { return p[1] ? _mbsinc(p) : p + 1; }

bool SameChar(Bytes a, Bytes b)
{
    return _mbctolower(_mbsnextc(a)) == _mbctolower(_mbsnextc(b));
}

}  // namespace

// Classic single-backtrack scan: only the last "*" is ever returned to.
bool WildcardMatch(const char* textArg, const char* patternArg)
{
    if (!textArg || !patternArg)
        return false;
    Bytes text = reinterpret_cast<Bytes>(textArg);
    Bytes pattern = reinterpret_cast<Bytes>(patternArg);

    while (*text && *pattern != '*') {
        if (*pattern != '?' && !SameChar(pattern, text))
            return false;
        pattern = Next(pattern);
        text = Next(text);
    }

    Bytes resumePattern = nullptr;
    Bytes resumeText = nullptr;
    while (*text) {
        if (*pattern == '*') {
            ++pattern;
            if (!*pattern)
                return true;
            resumePattern = pattern;
            resumeText = Next(text);
        } else if (*pattern && (*pattern == '?' || SameChar(pattern, text))) {
            pattern = Next(pattern);
            text = Next(text);
        } else {
            pattern = resumePattern;
            text = resumeText;
            if (*resumeText)
                resumeText = Next(resumeText);
        }
    }
    while (*pattern == '*')
        ++pattern;
    return !*pattern;
}
