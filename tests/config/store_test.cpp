#include "config_test_util.h"

#include "support/test_env.h"

#include <algorithm>
#include <random>

namespace {

std::string Text(const ConfigText& text) { return std::string(text.Data(), text.Length()); }

TEST(ConfigStore, SaveAndLoadGoThroughTheFile)
{
    kstest::ScratchFolder folder("store");
    const std::string path = folder / "product.cfg", empty = folder.MakeFile("empty.cfg", ""), missing = folder / "x.cfg";
    ConfigDocument document;
    EXPECT_FALSE(document.Save() || document.SaveAs("") || document.SaveAs(nullptr));
    ASSERT_TRUE(document.SetString("General\\Install", "Group", "Tools"));
    ASSERT_TRUE(document.SetString("General", "AppTitle", "Example"));
    ASSERT_TRUE(document.SaveAs(path.c_str()));
    EXPECT_EQ(kstest::ReadFile(path), "[General]\r\n AppTitle = Example\r\n [Install]\r\n  Group = Tools\r\n []\r\n[]\r\n");
    ConfigDocument loaded;
    ASSERT_TRUE(loaded.Load(path.c_str()));
    EXPECT_EQ(Dump(loaded), Dump(document));

    // A failed load changes nothing, not even the path.
    for (const char* bad : {static_cast<const char*>(nullptr), "", empty.c_str(), missing.c_str(), folder.Path().c_str()}) {
        EXPECT_FALSE(loaded.Load(bad)) << (bad ? bad : "(null)");
        EXPECT_EQ(Dump(loaded) + loaded.Path()->path, Dump(document) + path);
    }
    // Loading again replaces the content; saving drops comments and unknown lines.
    kstest::WriteFile(path, "; comment\n[General]\nAppTitle=Changed\nunknown line\n");
    ASSERT_TRUE(loaded.Load(path.c_str()));
    ASSERT_TRUE(loaded.SetString("General", "New", "1"));
    ASSERT_TRUE(loaded.Save());
    EXPECT_EQ(kstest::ReadFile(path), "[General]\r\n AppTitle = Changed\r\n New = 1\r\n[]\r\n");
    ASSERT_TRUE(loaded.Load(path.c_str(), "GENERAL", LoadMode::ValuesOnly));
    EXPECT_EQ(Dump(loaded), "[General]{<AppTitle>=<Changed> <New>=<1>}");

    // No path after a failed first load; an empty document saves an empty file, which
    // cannot be loaded; a missing folder cannot be saved into.
    ConfigDocument fresh;
    EXPECT_FALSE(fresh.Load(empty.c_str()) || fresh.Save());
    ASSERT_TRUE(fresh.SaveAs(missing.c_str()));
    EXPECT_TRUE(kstest::FileExists(missing));
    EXPECT_EQ(kstest::ReadFile(missing), "");
    EXPECT_FALSE(fresh.Load(missing.c_str()) || fresh.SaveAs((folder / "no\\such.cfg").c_str()));
}

// Scrambling permutes the bytes by the seed; unscrambling with it undoes that, for
// seeds at and around the modulus too. A scrambled file reads back with its seed only.
TEST(ConfigStore, ScrambledTextsAndFilesReadBackWithTheirSeedOnly)
{
    std::mt19937 random(77);
    std::string noise(3000, '\0');
    std::generate(noise.begin(), noise.end(), [&random] { return static_cast<char>(random()); });
    const struct { std::string plain; uint32_t seed; const char* scrambled; } rows[] = {
        {"abcdefgh", 1, "chdefgab"}, {"x", 7, "x"},
        {"[General]\r\n Key = Value\r\n[]\r\n", 0xFFFFFFFF, " en\r\nee]]e=yG\ruVa[\nK [r\rall\n "},
        {noise, 0, nullptr}, {noise, 4294967291u, nullptr}, {noise.substr(7), 12345, nullptr},
    };
    for (const auto& row : rows) {
        ConfigText text;
        ASSERT_TRUE(text.Assign(row.plain.data(), row.plain.size()));
        text.ScrambleText(row.seed);
        if (row.scrambled) {
            EXPECT_EQ(Text(text), row.scrambled);
        }
        text.UnscrambleText(row.seed);
        EXPECT_EQ(Text(text), row.plain) << row.seed;
    }

    kstest::ScratchFolder folder("scrambled");
    const std::string path = folder / "secret.cfg";
    const std::string plain = "[General]\r\n AppTitle = Example\r\n [Install]\r\n  Group = Tools\r\n []\r\n[]\r\n";
    ConfigDocument document = ParseText(plain), back, unkeyed;
    ASSERT_TRUE(document.SaveAs(path.c_str(), 0xC0FFEE));
    EXPECT_NE(kstest::ReadFile(path), plain);
    ASSERT_TRUE(back.Load(path.c_str(), nullptr, LoadMode::All, 0xC0FFEE) && unkeyed.Load(path.c_str()));
    EXPECT_EQ(Dump(back), Dump(document));
    EXPECT_NE(Dump(unkeyed), Dump(document));
    ASSERT_TRUE(back.Save(0));  // seed 0 writes plain text
    EXPECT_EQ(kstest::ReadFile(path), plain);
}

}  // namespace
