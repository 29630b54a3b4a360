#include "text/resource_text.h"

#include "text/format.h"

#include <cstdarg>
#include <vector>

namespace {

constexpr int kGrowStep = 256;
constexpr int kMaxChars = 65536;

}  // namespace

bool LoadResourceString(std::string& target, HMODULE module, UINT id)
{
    // The loader truncates silently, so the buffer grows until the text leaves more
    // than two characters spare.
    for (int size = kGrowStep;; size += kGrowStep) {
        std::vector<char> buffer(size, '\0');
        int length = LoadStringA(module, id, buffer.data(), size);
        if (length <= 0)
            return false;
        target.assign(buffer.data(), length);
        if (size - length > 2 || size >= kMaxChars)
            return true;
    }
}

bool LoadResourceMessage(std::string& target, HMODULE module, UINT id, ...)
{
    if (!LoadResourceString(target, module, id))
        return false;
    va_list args;
    va_start(args, id);
    std::string templ = target;
    bool ok = FormatInsertsV(target, templ.c_str(), args);
    va_end(args);
    return ok;
}
