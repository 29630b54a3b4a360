// Property tests over generated documents: the parser builds the tree the text
// describes, the writer's text reads back into the same tree and writes the same bytes
// again; random and truncated bytes never crash the parser or make it read past the end.
#include "config_test_util.h"

#include "config/config_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using configtest::Dump;
using configtest::GuardedBuffer;
using configtest::ParseText;

constexpr uint32_t kSeed = 20240611;

// What a generated text describes.
struct Node {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
    std::vector<Node> children;
};

std::string DumpNode(const Node& node)
{
    std::string out;
    for (const auto& entry : node.entries)
        out += (out.empty() ? "<" : " <") + entry.first + ">=<" + entry.second + ">";
    for (const Node& child : node.children)
        out += (out.empty() ? "[" : " [") + child.name + "]{" + DumpNode(child) + "}";
    return out;
}

class Generator {
public:
    explicit Generator(uint32_t seed) : random_(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    bool Chance(int percent) { return Below(100) < percent; }

    // Any byte but LF and zero, often one of the format's own characters.
    std::string Raw(int maxLength)
    {
        static const char special[] = " \t\r\v\f=;[]#\"\\";
        std::string text;
        for (int n = Below(maxLength + 1); n > 0; --n) {
            const int kind = Below(10);
            text += kind < 2 ? special[Below(sizeof(special) - 1)]
                             : kind == 2 ? static_cast<char>(Below(254) + 2) : static_cast<char>('a' + Below(26));
            if (text.back() == '\n')
                text.back() = 'n';
        }
        return text;
    }

    // A tree within the writer's limits: no "=" in keys, no key beginning with ";" or
    // "[", no blanks at the ends of keys and values, names without "]", never empty.
    Node Tree(int depth, int maxDepth)
    {
        Node node;
        if (depth > 0) {
            node.name = Raw(10);
            for (char& c : node.name)
                c = c == ']' ? ')' : c;
            node.name += "n";
        }
        for (int n = Below(6); n > 0; --n) {
            std::string key = Raw(12), value = Raw(24);
            for (char& c : key)
                c = c == '=' ? '-' : c;
            if (!key.empty() && (key[0] == ';' || key[0] == '['))
                key[0] = 'k';
            node.entries.emplace_back(NoBlankEnds(key), NoBlankEnds(value));
        }
        for (int n = depth < maxDepth ? Below(depth == 0 ? 5 : 4) : 0; n > 0; --n)
            node.children.push_back(Tree(depth + 1, maxDepth));
        return node;
    }

    // Free-form text for the tree: random indentation, blanks around "=", LF or CR LF,
    // comments, blank and unknown lines, entries between sub-sections, text after
    // brackets; the last sections may stay open, or a stray "[]" may end the text early
    // before lines that must not count.
    std::string Text(const Node& root)
    {
        std::string out;
        leaveOpen_ = Chance(30);
        Emit(root, true, true, out);
        if (!leaveOpen_ && Chance(30))
            out += Blanks() + "[]" + Eol() + "[Ignored]" + Eol() + "k=v" + Eol() + Raw(30);
        return out;
    }

private:
    static std::string NoBlankEnds(std::string text)
    {
        auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v'; };
        if (!text.empty() && blank(text.front()))
            text.front() = 'b';
        if (!text.empty() && blank(text.back()))
            text.back() = 'e';
        return text;
    }
    std::string Blanks()
    {
        static const char* const choices[] = {"", "", " ", "  ", "\t", " \t\v ", "\r"};
        return choices[Below(7)];
    }
    std::string Eol() { return Chance(50) ? "\n" : "\r\n"; }
    std::string Noise()
    {
        std::string text = Raw(15);
        for (char& c : text)
            c = (c == '=' || c == ']') ? '.' : c;
        switch (Below(8)) {
        case 0:
            return Blanks() + Eol();
        case 1:
            return Blanks() + ";" + Raw(20) + Eol();
        case 2:
            return Blanks() + (Chance(50) ? "#" : "[") + text + Eol();  // neither "=" nor "]"
        default:
            return "";
        }
    }

    void Emit(const Node& node, bool top, bool lastInText, std::string& out)
    {
        const std::string trailer = Chance(70) ? "" : Raw(10);
        if (!top)
            out += Blanks() + "[" + node.name + "]" + trailer + Eol();
        size_t e = 0, c = 0;
        while (e < node.entries.size() || c < node.children.size()) {
            out += Noise();
            if (c == node.children.size() || (e < node.entries.size() && Chance(50))) {
                const auto& entry = node.entries[e++];
                out += Blanks() + entry.first + Blanks() + "=" + Blanks() + entry.second + Blanks() + Eol();
            } else {
                const bool last = lastInText && e == node.entries.size() && c + 1 == node.children.size();
                Emit(node.children[c++], false, last, out);
            }
        }
        if (!top && !(lastInText && leaveOpen_))
            out += Noise() + Blanks() + "[]" + trailer + Eol();
    }

    std::mt19937 random_;
    bool leaveOpen_ = false;
};

std::string Serialized(const ConfigSection& section, uint32_t options = 0, bool flat = false)
{
    std::string text;
    EXPECT_TRUE(SerializeToString(section, text, 0, options, flat));
    return text;
}

// Gives every entry an arbitrary value (blanks at the ends, quotes, empty), in place.
void ArbitraryValues(const ConfigSection& section, Generator& generator)
{
    for (size_t i = 0; i < section.EntryCount(); ++i)
        section.EntryAt(i)->value = generator.Chance(15) ? std::string() : generator.Raw(16);
    for (size_t i = 0; i < section.SectionCount(); ++i)
        ArbitraryValues(*section.SectionAt(i), generator);
}

TEST(ConfigRoundTrip, GeneratedDocumentsReadBackAsTheSameTreeAndBytes)
{
    for (uint32_t n = 0; n < 600; ++n) {
        const uint32_t seed = kSeed + n;
        SCOPED_TRACE("document seed " + std::to_string(seed));
        Generator generator(seed);
        // Every third document is flat: top-level sections holding entries only.
        const bool flat = n % 3 == 0;
        const Node model = generator.Tree(0, flat ? 1 : 4);
        const std::string text = generator.Text(model);

        const ConfigDocument parsed = ParseText(text, nullptr, LoadMode::All, flat);
        ASSERT_EQ(Dump(parsed), DumpNode(model)) << text;
        const std::string written = Serialized(parsed, 0, flat);
        const ConfigDocument reread = ParseText(written, nullptr, LoadMode::All, flat);
        ASSERT_EQ(Dump(reread), Dump(parsed)) << written;
        ASSERT_EQ(Serialized(reread, 0, flat), written);

        // With quoting, values with blanks at the ends, quotes or nothing at all survive.
        ArbitraryValues(parsed, generator);
        const std::string quoted = Serialized(parsed, quoteValues, flat);
        const ConfigDocument unquoted = ParseText(quoted, nullptr, LoadMode::All, flat, ConfigText::unquoteValues);
        ASSERT_EQ(Dump(unquoted), Dump(parsed)) << quoted;
        ASSERT_EQ(Serialized(unquoted, quoteValues, flat), quoted);
    }
}

void ParseEveryWay(const std::string& bytes)
{
    GuardedBuffer buffer(bytes);
    for (const char* filter : {static_cast<const char*>(nullptr), "a", "A\\b", ""}) {
        for (int variant = 0; variant < 8; ++variant) {
            ConfigText text;
            text.Attach(buffer.Data(), buffer.Length());
            text.flags = (variant & 1) ? static_cast<uint32_t>(ConfigText::unquoteValues) : 0u;
            ConfigDocument document;
            const bool flat = (variant & 2) != 0;
            ASSERT_TRUE(document.Parse(text, filter, (variant & 4) ? LoadMode::ValuesOnly : LoadMode::All,
                                       SharedRef<ConfigPath>(), flat));
            ASSERT_LE(text.Position(), buffer.Length());
            std::string written;
            ASSERT_TRUE(SerializeToString(document, written, 0, quoteValues, flat));
        }
    }
}

TEST(ConfigRoundTrip, RandomAndTruncatedBytesNeverCrashOrReadPastTheEnd)
{
    std::mt19937 random(kSeed);
    const char structural[] = "[]=;#\n\r \t\"\\ab";
    for (int n = 0; n < 1500; ++n) {
        std::string bytes(random() % 300, '\0');
        for (char& c : bytes)
            c = n % 3 == 0 ? static_cast<char>(random()) : structural[random() % (sizeof(structural) - 1)];
        SCOPED_TRACE("sample " + std::to_string(n));
        ParseEveryWay(bytes);
        if (HasFatalFailure())
            return;
    }
    for (uint32_t n = 0; n < 6; ++n) {
        Generator generator(kSeed + 100000 + n);
        const std::string text = generator.Text(generator.Tree(0, 3));
        for (size_t length = 0; length <= text.size(); length += 1 + length / 64) {
            SCOPED_TRACE("prefix " + std::to_string(length));
            ParseEveryWay(text.substr(0, length));
            if (HasFatalFailure())
                return;
        }
    }
}

}  // namespace
