// Property tests over generated documents: the parser builds the tree the text
// describes, the writer's text reads back into the same tree and writes the same bytes
// again; random and truncated bytes never crash the parser or make it read past the end.
#include "config_test_util.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <random>

namespace {

using configtest::Dump;
using configtest::ParseText;
using configtest::Serialized;

constexpr uint32_t kSeed = 20240611;

// Random documents within the writer's limits (no "=" in keys, no "]" in names, no
// blanks at the ends of keys and values) as free-form text: blanks around everything,
// LF or CR LF, comment lines, entries between sub-sections, text after brackets.
class Generator {
public:
    explicit Generator(uint32_t seed) : random_(seed) {}

    // The text of a document nested up to `maxDepth` deep; `tree` gets its Dump.
    std::string Document(int maxDepth, std::string& tree)
    {
        std::string text;
        tree = Section(0, maxDepth, text);
        return Below(2) ? text : text + "[]\n[Ignored]\nk=v\n";
    }

private:
    int Below(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }
    std::string Word(const char* banned)  // begins with "w", ends with "z"
    {
        static const char bytes[] = "ab=;[]#\"\\ \t\v\xE9\x01";
        std::string word = "w";
        for (int n = Below(10); n > 0; --n) {
            const char c = bytes[Below(sizeof(bytes) - 1)];
            word += strchr(banned, c) ? 'x' : c;
        }
        return word + "z";
    }
    std::string Blanks() { return std::string("  \t\v\r").substr(Below(5), Below(3)); }
    std::string Eol() { return Below(2) ? "\n" : "\r\n"; }
    std::string Noise() { return Below(4) ? "" : Blanks() + (Below(2) ? "" : ";" + Word("")) + Eol(); }

    // Appends the body of a section (its header is the caller's) and returns its Dump.
    std::string Section(int depth, int maxDepth, std::string& text)
    {
        std::string entries, children;
        for (int n = Below(depth == 0 ? 8 : 5); n > 0; --n) {
            text += Noise();
            if (depth < maxDepth && Below(3) == 0) {
                const std::string name = Word("]"), trailer = Below(3) ? "" : Word("");
                text += Blanks() + "[" + name + "]" + trailer + Eol();
                children += (children.empty() ? "[" : " [") + name + "]{" + Section(depth + 1, maxDepth, text) + "}";
                text += Noise() + Blanks() + "[]" + trailer + Eol();
            } else {
                // Values a reader would change unless the writer quotes them, now and then.
                static const char* const edges[] = {"", "\"q\"", "\xE9", "\x01x"};
                const std::string key = Word("="), value = Below(4) ? Word("") : edges[Below(4)];
                text += Blanks() + key + Blanks() + "=" + Blanks() + value + Blanks() + Eol();
                entries += (entries.empty() ? "<" : " <") + key + ">=<" + value + ">";
            }
        }
        return entries + (entries.empty() || children.empty() ? "" : " ") + children;
    }

    std::mt19937 random_;
};

TEST(ConfigRoundTrip, GeneratedDocumentsReadBackAsTheSameTreeAndBytes)
{
    for (uint32_t n = 0; n < 300; ++n) {
        SCOPED_TRACE("document seed " + std::to_string(kSeed + n));
        // Every third document is flat: top-level sections holding entries only.
        const bool flat = n % 3 == 0;
        std::string tree;
        const std::string text = Generator(kSeed + n).Document(flat ? 1 : 4, tree);
        const ConfigDocument parsed = ParseText(text, nullptr, LoadMode::All, flat);
        ASSERT_EQ(Dump(parsed), tree) << text;
        const std::string written = Serialized(parsed, 0, flat);
        const ConfigDocument reread = ParseText(written, nullptr, LoadMode::All, flat);
        ASSERT_EQ(Dump(reread), tree) << written;
        ASSERT_EQ(Serialized(reread, 0, flat), written);
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
    for (int variant = 0; variant < 24; ++variant) {
        ConfigText text;
        text.Attach(data, bytes.size());
        text.flags = variant & 1;
        ConfigDocument document;
        const bool flat = (variant & 2) != 0;
        const char* filter = variant < 8 ? nullptr : variant < 16 ? "a" : "A\\b";
        EXPECT_TRUE(document.Parse(text, filter, (variant & 4) ? LoadMode::ValuesOnly : LoadMode::All,
                                   SharedRef<ConfigPath>(), flat));
        EXPECT_LE(text.Position(), bytes.size());
        std::string written;
        EXPECT_TRUE(SerializeToString(document, written, 0, quoteValues, flat));
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
    std::string tree;
    const std::string text = Generator(kSeed).Document(3, tree);
    for (size_t length = 0; length <= text.size() && !HasFailure(); length += 1 + length / 64)
        ParseEveryWay(text.substr(0, length));
}

}  // namespace
