// Generated command lines: where the arguments lie, what the walk reads, and what comes
// back from lines built of known words.
#include "uninstall/command_line_args.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kLines = 3000;
const char kWhiteSpace[] = " \t\n\v\f\r";

// A small deterministic generator, so that a failing line can be made again.
class Random {
public:
    explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1) {}
    uint32_t Next(uint32_t bound)
    {
        state_ = state_ * 1664525u + 1013904223u;
        return (state_ >> 8) % bound;
    }

private:
    uint32_t state_;
};

std::string RandomLine(Random& random)
{
    // Quotes, white space, double-byte lead and trail bytes, plain letters.
    static const char kBytes[] = "\"\" \t\r\n\v\fab/=\\\x82\x5c\x81\xff";
    std::string line;
    const uint32_t length = random.Next(40);
    for (uint32_t i = 0; i < length; ++i)
        line.push_back(kBytes[random.Next(sizeof(kBytes) - 1)]);
    return line;
}

std::string Word(Random& random, bool quotedInside)
{
    static const char kLetters[] = "abcXYZ019.:\\/=-_\x82\xa0";
    std::string word;
    const uint32_t length = 1 + random.Next(8);
    for (uint32_t i = 0; i < length; ++i) {
        word.push_back(kLetters[random.Next(sizeof(kLetters) - 1)]);
        // Inside a quoted argument: a blank, or a quote that a letter follows.
        if (quotedInside && i + 1 < length && random.Next(4) == 0)
            word += random.Next(2) ? " " : "\"q";
    }
    return word;
}

std::string Blanks(Random& random, uint32_t least)
{
    std::string run;
    const uint32_t length = least + random.Next(3);
    for (uint32_t i = 0; i < length; ++i)
        run.push_back(kWhiteSpace[random.Next(sizeof(kWhiteSpace) - 1)]);
    return run;
}

TEST(TokenizerProperties, EveryArgumentLiesInsideTheCopy)
{
    for (int seed = 0; seed < kLines; ++seed) {
        Random random(seed);
        const std::string line = RandomLine(random);
        CommandLineArgs args(line.c_str());
        SCOPED_TRACE(testing::Message() << "seed " << seed << " [" << line << "]");
        ASSERT_EQ(args.CopySize(), line.size() + 1);
        const char* begin = args.Copy();
        const char* end = begin + args.CopySize();  // one past the terminating zero
        EXPECT_EQ(end[-1], '\0');
        const char* previousEnd = begin - 1;
        for (size_t i = 0; i < args.Count(); ++i) {
            const char* argument = args[i];
            ASSERT_GE(argument, begin);
            ASSERT_LT(argument, end);
            const size_t length = strnlen(argument, static_cast<size_t>(end - argument));
            ASSERT_LT(argument + length, end) << "argument " << i << " ends inside the copy";
            EXPECT_GT(argument, previousEnd) << "arguments " << i - 1 << " and " << i << " overlap";
            previousEnd = argument + length;
            // An argument holds bytes of the line, in place.
            EXPECT_EQ(line.compare(static_cast<size_t>(argument - begin), length, argument, length), 0);
        }
    }
}

// The text sits at the very end of a readable page, followed by one that cannot be read:
// a walk past the terminating zero faults at once.
TEST(TokenizerProperties, TheWalkNeverReadsPastTheTerminatingZero)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const DWORD page = system.dwPageSize;
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
    std::vector<std::string> lines = {"", " ", "a", "a ", "\"", "\"a", "\"a\"", "\"a\" ", "\"a\"b", "a\""};
    for (int seed = 0; seed < kLines; ++seed) {
        Random random(seed);
        lines.push_back(RandomLine(random));
    }
    for (const std::string& line : lines) {
        char* text = pages + page - (line.size() + 1);
        memcpy(text, line.c_str(), line.size() + 1);
        std::vector<const char*> arguments;
        SplitArgumentsInPlace(text, arguments);
        for (const char* argument : arguments) {
            EXPECT_GE(argument, text) << "[" << line << "]";
            EXPECT_LT(argument, pages + page) << "[" << line << "]";
        }
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(TokenizerProperties, PlainWordsComeBack)
{
    for (int seed = 0; seed < kLines; ++seed) {
        Random random(seed);
        std::vector<std::string> words;
        std::string line = random.Next(2) ? Blanks(random, 1) : "";
        const uint32_t count = 1 + random.Next(6);
        for (uint32_t i = 0; i < count; ++i) {
            words.push_back(Word(random, false));
            line += words.back();
            if (i + 1 < count)
                line += Blanks(random, 1);
        }
        CommandLineArgs args(line.c_str());
        std::vector<std::string> got;
        for (size_t i = 0; i < args.Count(); ++i)
            got.push_back(args[i]);
        EXPECT_EQ(got, words) << "seed " << seed << " [" << line << "]";
    }
}

TEST(TokenizerProperties, QuotedWordsComeBackWithTheirBlanksAndInnerQuotes)
{
    for (int seed = 0; seed < kLines; ++seed) {
        Random random(seed);
        std::vector<std::string> words;
        std::string line;
        const uint32_t count = 1 + random.Next(5);
        for (uint32_t i = 0; i < count; ++i) {
            words.push_back(Word(random, true));
            line += "\"" + words.back() + "\"";
            if (i + 1 < count)
                line += Blanks(random, 1);
        }
        CommandLineArgs args(line.c_str());
        std::vector<std::string> got;
        for (size_t i = 0; i < args.Count(); ++i)
            got.push_back(args[i]);
        EXPECT_EQ(got, words) << "seed " << seed << " [" << line << "]";
    }
}

}  // namespace
