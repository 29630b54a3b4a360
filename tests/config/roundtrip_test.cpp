// Random and truncated bytes never crash the parser or make it read past the end, and
// whatever it reads the writer can write.
#include "config_test_util.h"

#include <windows.h>

#include <cstring>
#include <random>

namespace {

constexpr uint32_t kSeed = 20240611;

// Parses `bytes` placed right before a no-access page, with filters, modes and flags:
// reading past the end crashes the test program instead of going unnoticed.
void ParseEveryWay(const std::string& bytes)
{
    const size_t page = 4096, pages = bytes.size() / page + 1;
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
        // The written text reads back as the same tree and writes the same bytes again
        // (texts are zero-terminated: a zero byte ends what is written of a value).
        if (bytes.find('\0') != std::string::npos)
            continue;
        const ConfigDocument reread = ParseText(written, nullptr, LoadMode::All, flat, ConfigText::unquoteValues);
        EXPECT_EQ(Dump(reread), Dump(document)) << written;
        EXPECT_EQ(Serialized(reread, quoteValues, flat), written);
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
    const std::string text = "r=0\n[General]\n g1=1\n [Sub]\n  s = \"q\"\n  [Deep]\n   d=1\n  []\n []\n g2=2\n[]\n"
                             "[Other]\r\n o=[x]\r\n x [NotASection]\r\n ; c\r\n [NoClose = 2\r\n[]\r\n[]\n[Ignored]\n";
    for (size_t length = 0; length <= text.size() && !HasFailure(); ++length)
        ParseEveryWay(text.substr(0, length));
}

}  // namespace
