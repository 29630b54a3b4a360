// Property tests over generated documents: the parser builds the tree the text
// describes, the writer's text reads back into the same tree and writes the same bytes
// again; random and truncated bytes never crash the parser or make it read past the end.
#include "config_test_util.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using configtest::Dump;
using configtest::ParseText;
using configtest::Serialized;

constexpr uint32_t kSeed = 20240611;

// Random documents within the writer's limits (no "=" in keys, no key beginning with ";"
// or "[", no blanks at the ends of keys and values, names without "]", never empty) as
// free-form text: random indentation, blanks around "=", LF or CR LF, comments, blank
// and unknown lines, entries between sub-sections, text after brackets; the last
// sections may stay open, or a stray "[]" may end the text before lines that must not
// count.
class Generator {
public:
    explicit Generator(uint32_t seed) : random_(seed) {}

    int Below(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }

    // Any byte but LF and zero, often one of the format's own; those of `banned` become "x".
    std::string Raw(int maxLength, const char* banned = "")
    {
        static const char special[] = " \t\r\v\f=;[]#\"\\";
        std::string text;
        for (int n = Below(maxLength + 1); n > 0; --n) {
            const int kind = Below(10);
            const char c = kind < 2 ? special[Below(12)] : kind == 2 ? static_cast<char>(Below(254) + 2)
                                                                     : static_cast<char>('a' + Below(26));
            text += (c == '\n' || strchr(banned, c)) ? 'x' : c;
        }
        return text;
    }

    // The text of a document nested up to `maxDepth` deep; `tree` gets its Dump.
    std::string Document(int maxDepth, std::string& tree)
    {
        std::string text;
        leaveOpen_ = Below(3) == 0;
        tree = Section(0, maxDepth, true, text);
        return leaveOpen_ || Below(3) ? text : text + "[]\n[Ignored]\nk=v\n" + Raw(30);
    }

private:
    std::string Blanks() { return std::string("  \t\v\r").substr(Below(5), Below(3)); }
    std::string Eol() { return Below(2) ? "\n" : "\r\n"; }
    std::string Noise()  // nothing, a blank line, a comment, or a line with neither "=" nor "]"
    {
        const int kind = Below(6);
        return kind > 2 ? "" : Blanks() + (kind == 0 ? "" : kind == 1 ? ";" + Raw(20) : "#" + Raw(15, "=]")) + Eol();
    }
    std::string Text(int maxLength, const char* banned)  // without blanks at the ends
    {
        const std::string text = Raw(maxLength, banned);
        auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v'; };
        return text.empty() ? text : (blank(text.front()) ? "b" : "") + text + (blank(text.back()) ? "e" : "");
    }

    // Appends the body of a section (its header is the caller's) and returns its Dump.
    std::string Section(int depth, int maxDepth, bool lastInText, std::string& text)
    {
        int entries = Below(6), children = depth < maxDepth ? Below(depth == 0 ? 5 : 4) : 0;
        std::string entryDump, childDump;
        while (entries > 0 || children > 0) {
            text += Noise();
            if (children == 0 || (entries > 0 && Below(2))) {
                --entries;
                std::string key = Text(12, "="), value = Text(24, "");
                key = (!key.empty() && (key[0] == ';' || key[0] == '[')) ? "k" + key : key;
                text += Blanks() + key + Blanks() + "=" + Blanks() + value + Blanks() + Eol();
                entryDump += (entryDump.empty() ? "<" : " <") + key + ">=<" + value + ">";
            } else {
                --children;
                const std::string name = Raw(10, "]") + "n", trailer = Below(3) ? "" : Raw(10);
                text += Blanks() + "[" + name + "]" + trailer + Eol();
                const bool last = lastInText && entries == 0 && children == 0;
                const std::string body = Section(depth + 1, maxDepth, last, text);
                childDump += (childDump.empty() ? "[" : " [") + name + "]{" + body + "}";
                if (!(last && leaveOpen_))
                    text += Noise() + Blanks() + "[]" + trailer + Eol();
            }
        }
        return entryDump + (entryDump.empty() || childDump.empty() ? "" : " ") + childDump;
    }

    std::mt19937 random_;
    bool leaveOpen_ = false;
};

TEST(ConfigRoundTrip, GeneratedDocumentsReadBackAsTheSameTreeAndBytes)
{
    for (uint32_t n = 0; n < 400; ++n) {
        SCOPED_TRACE("document seed " + std::to_string(kSeed + n));
        Generator generator(kSeed + n);
        // Every third document is flat: top-level sections holding entries only.
        const bool flat = n % 3 == 0;
        std::string tree;
        const std::string text = generator.Document(flat ? 1 : 4, tree);
        const ConfigDocument parsed = ParseText(text, nullptr, LoadMode::All, flat);
        ASSERT_EQ(Dump(parsed), tree) << text;
        const std::string written = Serialized(parsed, 0, flat);
        const ConfigDocument reread = ParseText(written, nullptr, LoadMode::All, flat);
        ASSERT_EQ(Dump(reread), Dump(parsed)) << written;
        ASSERT_EQ(Serialized(reread, 0, flat), written);

        // With quoting, empty values and values in quotes survive too.
        const std::string quoted = Serialized(parsed, quoteValues, flat);
        ASSERT_EQ(Dump(ParseText(quoted, nullptr, LoadMode::All, flat, ConfigText::unquoteValues)), tree) << quoted;
    }
}

// Parses `bytes` placed right before a no-access page, with filters, modes and flags:
// reading past the end crashes the test program instead of going unnoticed.
void ParseEveryWay(const std::string& bytes)
{
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize, pages = bytes.size() / page + 1;
    char* block = static_cast<char*>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    ASSERT_TRUE(block && VirtualProtect(block + pages * page, page, PAGE_NOACCESS, &old));
    char* data = block + pages * page - bytes.size();
    memcpy(data, bytes.data(), bytes.size());
    for (const char* filter : {static_cast<const char*>(nullptr), "a", "A\\b", ""}) {
        for (int variant = 0; variant < 8; ++variant) {
            ConfigText text;
            text.Attach(data, bytes.size());
            text.flags = variant & 1;
            ConfigDocument document;
            const bool flat = (variant & 2) != 0;
            const LoadMode mode = (variant & 4) ? LoadMode::ValuesOnly : LoadMode::All;
            EXPECT_TRUE(document.Parse(text, filter, mode, SharedRef<ConfigPath>(), flat));
            EXPECT_LE(text.Position(), bytes.size());
            std::string written;
            EXPECT_TRUE(SerializeToString(document, written, 0, quoteValues, flat));
        }
    }
    VirtualFree(block, 0, MEM_RELEASE);
}

TEST(ConfigRoundTrip, RandomAndTruncatedBytesNeverCrashOrReadPastTheEnd)
{
    std::mt19937 random(kSeed);
    const char structural[] = "[]=;#\n\r \t\"\\ab";
    for (int n = 0; n < 1000 && !HasFailure(); ++n) {
        std::string bytes(random() % 300, '\0');
        for (char& c : bytes)
            c = n % 3 == 0 ? static_cast<char>(random()) : structural[random() % (sizeof(structural) - 1)];
        SCOPED_TRACE("sample " + std::to_string(n));
        ParseEveryWay(bytes);
    }
    for (uint32_t n = 0; n < 6 && !HasFailure(); ++n) {
        std::string tree;
        const std::string text = Generator(kSeed + 100000 + n).Document(3, tree);
        for (size_t length = 0; length <= text.size(); length += 1 + length / 64) {
            SCOPED_TRACE("prefix " + std::to_string(length));
            ParseEveryWay(text.substr(0, length));
        }
    }
}

}  // namespace
