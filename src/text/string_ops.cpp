#include "text/string_ops.h"

#include <mbstring.h>

#include <cstdlib>
#include <cstring>

namespace {

const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.c_str()); }

// The end of the last character that `keep` accepts, walking character by character
// so that the trail byte of a double-byte character is never taken for a single one.
template <typename Keep>
size_t EndOfKept(const std::string& s, Keep keep)
{
    const unsigned char* begin = Bytes(s);
    const unsigned char* end = begin + s.size();
    size_t keptEnd = 0;
    for (const unsigned char* p = begin; p < end;) {
        const unsigned char* next = p[1] ? _mbsinc(p) : p + 1;
        if (next - p > 1 || keep(*p))
            keptEnd = next - begin;
        p = next;
    }
    return keptEnd;
}

}  // namespace

void ReplaceAll(std::string& target, const std::string& find, const std::string& replaceWith,
                size_t startPos)
{
    if (find.empty())
        return;
    for (size_t pos = target.find(find, startPos); pos != std::string::npos;
         pos = target.find(find, pos + replaceWith.size())) {
        target.replace(pos, find.size(), replaceWith);
    }
}

void TrimRight(std::string& target, char ch)
{
    target.erase(EndOfKept(target, [ch](unsigned char c) { return c != static_cast<unsigned char>(ch); }));
}

void TrimLeft(std::string& target, char ch)
{
    size_t start = 0;
    while (start < target.size() && target[start] == ch)
        ++start;
    target.erase(0, start);
}

void Trim(std::string& target, char ch)
{
    TrimLeft(target, ch);
    TrimRight(target, ch);
}

void TrimRight(std::string& target, const char* set)
{
    if (!set)
        return;
    target.erase(EndOfKept(target, [set](unsigned char c) { return strchr(set, c) == nullptr; }));
}

void TrimLeft(std::string& target, const char* set)
{
    if (!set)
        return;
    target.erase(0, target.find_first_not_of(set));
}

void MakeLower(std::string& target)
{
    if (target.empty())
        return;
    std::string copy(target);
    _mbslwr(reinterpret_cast<unsigned char*>(&copy[0]));
    target.assign(copy.c_str());
}

size_t ReverseFind(const std::string& target, char ch)
{
    const unsigned char* hit = _mbsrchr(Bytes(target), static_cast<unsigned char>(ch));
    return hit ? static_cast<size_t>(hit - Bytes(target)) : npos;
}

size_t Find(const std::string& target, char ch, size_t startPos)
{
    if (startPos > target.size())
        return npos;
    const unsigned char* hit = _mbschr(Bytes(target) + startPos, static_cast<unsigned char>(ch));
    return hit ? static_cast<size_t>(hit - Bytes(target)) : npos;
}

size_t Find(const std::string& target, const char* text, size_t startPos)
{
    if (!text || startPos > target.size())
        return npos;
    const unsigned char* hit =
        _mbsstr(Bytes(target) + startPos, reinterpret_cast<const unsigned char*>(text));
    return hit ? static_cast<size_t>(hit - Bytes(target)) : npos;
}

size_t FindNoCase(const std::string& target, const char* text, size_t startPos)
{
    if (!text || startPos > target.size())
        return npos;
    std::string haystack = target.substr(startPos);
    std::string needle = text;
    MakeLower(haystack);
    MakeLower(needle);
    size_t hit = Find(haystack, needle.c_str(), 0);
    return hit == npos ? npos : hit + startPos;
}

size_t Split(const std::string& source, char separator, std::vector<std::string>& outList)
{
    outList.clear();
    size_t start = 0;
    for (;;) {
        size_t hit = Find(source, separator, start);
        if (hit == npos) {
            outList.push_back(source.substr(start));
            break;
        }
        outList.push_back(source.substr(start, hit - start));
        start = hit + 1;
    }
    return outList.size();
}

unsigned long ToULong(const char* text)
{
    if (!text || !*text)
        return 0;
    char* end = nullptr;
    unsigned long value = strtoul(text, &end, 10);
    return (end && *end) ? 0xFFFFFFFFul : value;
}
