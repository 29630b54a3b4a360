#include "config_test_util.h"

#include "config/config_writer.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using configtest::Dump;
using configtest::ParseText;

std::string Text(const ConfigText& text) { return std::string(text.Data(), text.Length()); }

TEST(ConfigStore, SaveAndLoadGoThroughTheFile)
{
    kstest::ScratchFolder folder("roundtrip");
    const std::string path = folder / "product.cfg";
    ConfigDocument document;
    EXPECT_FALSE(document.Save());
    EXPECT_FALSE(document.SaveAs(""));
    EXPECT_FALSE(document.SaveAs(nullptr));
    EXPECT_FALSE(kstest::FileExists(path));

    ASSERT_TRUE(document.SetString("General", "AppTitle", "Example"));
    ASSERT_TRUE(document.SetString("General\\Install", "Group", "Tools"));
    ASSERT_TRUE(document.SaveAs(path.c_str()));
    ASSERT_TRUE(document.Path());
    EXPECT_EQ(document.Path()->path, path);
    EXPECT_EQ(kstest::ReadFile(path), "[General]\r\n AppTitle = Example\r\n [Install]\r\n  Group = Tools\r\n []\r\n[]\r\n");

    ConfigDocument loaded;
    ASSERT_TRUE(loaded.Load(path.c_str()));
    EXPECT_EQ(Dump(loaded), Dump(document));
    EXPECT_EQ(loaded.Path()->path, path);
    // Sections read from the file share the document's path record.
    EXPECT_EQ(loaded.GetSection("General\\Install")->Path().Get(), loaded.Path().Get());

    // Loading again replaces the content; saving writes the writer's layout, without
    // the comments and unknown lines of the old file.
    kstest::WriteFile(path, "; comment\n[General]\nAppTitle=Changed\nunknown line\n");
    ASSERT_TRUE(loaded.Load(path.c_str()));
    ASSERT_TRUE(loaded.SetString("General", "New", "1"));
    ASSERT_TRUE(loaded.Save());
    EXPECT_EQ(kstest::ReadFile(path), "[General]\r\n AppTitle = Changed\r\n New = 1\r\n[]\r\n");

    ConfigDocument general;
    ASSERT_TRUE(general.Load(path.c_str(), "GENERAL", LoadMode::ValuesOnly));
    EXPECT_EQ(general.GetString("General", "New", ""), "1");
}

TEST(ConfigStore, FailedLoadsAndSavesChangeNothing)
{
    kstest::ScratchFolder folder("failures");
    const std::string good = folder.MakeFile("good.cfg", "[A]\nk=1\n[]\n");
    const std::string empty = folder.MakeFile("empty.cfg", "");
    const std::string missing = folder / "missing.cfg";
    ConfigDocument document;
    ASSERT_TRUE(document.Load(good.c_str()));
    const char* unreadable[] = {nullptr, "", empty.c_str(), missing.c_str(), folder.Path().c_str()};
    for (const char* path : unreadable) {
        SCOPED_TRACE(path ? path : "(null)");
        EXPECT_FALSE(document.Load(path));
        EXPECT_EQ(Dump(document), "[A]{<k>=<1>}");
        EXPECT_EQ(document.Path()->path, good);
    }

    {
        // Held open by another process without sharing: neither readable nor replaceable.
        kstest::FileHolder holder(good);
        ASSERT_TRUE(holder.Holding());
        EXPECT_FALSE(document.Load(good.c_str()));
        ASSERT_TRUE(document.SetString("A", "k", "2"));
        EXPECT_FALSE(document.Save());
    }
    EXPECT_EQ(kstest::ReadFile(good), "[A]\nk=1\n[]\n");

    // A new document keeps no path from a failed load, so it cannot save.
    ConfigDocument fresh;
    EXPECT_FALSE(fresh.Load(empty.c_str()));
    EXPECT_FALSE(fresh.Path());
    EXPECT_FALSE(fresh.Save());
    // An empty document saves an empty file, which in turn cannot be loaded.
    const std::string made = folder / "made.cfg";
    ASSERT_TRUE(fresh.SaveAs(made.c_str()));
    EXPECT_TRUE(kstest::FileExists(made));
    EXPECT_EQ(kstest::ReadFile(made), "");
    EXPECT_FALSE(fresh.Load(made.c_str()));
    // Saving into a folder that does not exist fails.
    EXPECT_FALSE(fresh.SaveAs((folder / "no\\such\\folder.cfg").c_str()));
}

bool OpensForWriting(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

TEST(ConfigStore, WritingKeepsTheFileAttributes)
{
    kstest::ScratchFolder folder("attributes");
    for (DWORD attributes : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE,
                             FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}) {
        SCOPED_TRACE(attributes);
        const std::string path = folder.MakeFile("file.cfg", "[A]\n[]\n");
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes));
        const DWORD before = GetFileAttributesA(path.c_str());
        ASSERT_EQ(before & attributes, attributes);
        ConfigDocument document;
        ASSERT_TRUE(document.Load(path.c_str()));
        ASSERT_TRUE(document.SetString("A", "k", "v"));
        ASSERT_TRUE(document.Save());
        EXPECT_EQ(GetFileAttributesA(path.c_str()), before);
        EXPECT_EQ(kstest::ReadFile(path), "[A]\r\n k = v\r\n[]\r\n");
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    // Windows refuses to replace a read-only file. Wine running as root (as the test
    // prefixes here do) opens it for writing all the same, so the save then succeeds;
    // either way the file stays read-only and holds the old or the whole new text.
    const std::string readOnly = folder.MakeFile("readonly.cfg", "[A]\n[]\n");
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    const bool lenient = OpensForWriting(readOnly);
    ConfigDocument document;
    ASSERT_TRUE(document.Load(readOnly.c_str()));
    ASSERT_TRUE(document.SetString("A", "k", "v"));
    EXPECT_EQ(document.Save(), lenient);
    EXPECT_TRUE(GetFileAttributesA(readOnly.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(kstest::ReadFile(readOnly), lenient ? "[A]\r\n k = v\r\n[]\r\n" : "[A]\n[]\n");

    // The callers' way to change a read-only file: archive only, save, restore.
    ASSERT_TRUE(document.SetString("A", "k", "w"));
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(document.Save());
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(kstest::ReadFile(readOnly), "[A]\r\n k = w\r\n[]\r\n");
}

TEST(ConfigStore, ScramblePermutesTheBytesByItsSeed)
{
    const struct {
        const char* plain;
        uint32_t seed;
        const char* scrambled;
    } rows[] = {
        {"abcdefgh", 1, "chdefgab"},
        {"[General]\r\n Key = Value\r\n[]\r\n", 0xFFFFFFFF, " en\r\nee]]e=yG\ruVa[\nK [r\rall\n "},
        {"x", 7, "x"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.plain);
        ConfigText text;
        ASSERT_TRUE(text.Assign(row.plain, strlen(row.plain)));
        text.ScrambleText(row.seed);
        EXPECT_EQ(Text(text), row.scrambled);
        text.UnscrambleText(row.seed);
        EXPECT_EQ(Text(text), row.plain);
    }

    std::mt19937 random(77);
    const uint32_t seeds[] = {0, 1, 12345, 0x7FFFFFFF, 4294967290u, 4294967291u, 4294967295u};
    for (int n = 0; n < 200; ++n) {
        std::string bytes(1 + random() % 3000, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        const uint32_t seed = n < 7 ? seeds[n] : static_cast<uint32_t>(random());
        SCOPED_TRACE(seed);
        ConfigText text;
        ASSERT_TRUE(text.Assign(bytes.data(), bytes.size()));
        text.ScrambleText(seed);
        std::string scrambled = Text(text);
        text.UnscrambleText(seed);
        ASSERT_EQ(Text(text), bytes);
        std::sort(scrambled.begin(), scrambled.end());
        std::sort(bytes.begin(), bytes.end());
        ASSERT_EQ(scrambled, bytes);
    }
}

TEST(ConfigStore, ScrambledFilesReadBackWithTheirSeedOnly)
{
    kstest::ScratchFolder folder("scrambled");
    const std::string path = folder / "secret.cfg";
    const uint32_t seed = 0xC0FFEE;
    ConfigDocument document = ParseText("[General]\nAppTitle=Example\n[Install]\nGroup=Tools\n[]\n[]\n");
    std::string plain;
    ASSERT_TRUE(SerializeToString(document, plain, 0, 0, false));

    ASSERT_TRUE(document.SaveAs(path.c_str(), seed));
    std::string bytes = kstest::ReadFile(path);
    EXPECT_NE(bytes, plain);
    EXPECT_EQ(bytes.size(), plain.size());

    ConfigDocument back;
    ASSERT_TRUE(back.Load(path.c_str(), nullptr, LoadMode::All, seed));
    EXPECT_EQ(Dump(back), Dump(document));
    ConfigDocument unkeyed;
    ASSERT_TRUE(unkeyed.Load(path.c_str()));
    EXPECT_NE(Dump(unkeyed), Dump(document));

    // Seed 0 writes plain text.
    ASSERT_TRUE(back.Save(0));
    EXPECT_EQ(kstest::ReadFile(path), plain);

    // Writing scrambles a copy; the text itself stays as it was.
    ConfigText text;
    ASSERT_TRUE(text.Assign(plain.data(), plain.size()));
    ASSERT_TRUE(text.WriteFileText(MakeConfigPath(path.c_str()), seed));
    EXPECT_EQ(Text(text), plain);
    EXPECT_EQ(kstest::ReadFile(path), bytes);
    ConfigText read;
    ASSERT_TRUE(read.ReadFileText(MakeConfigPath(path.c_str()), seed));
    EXPECT_EQ(Text(read), plain);
    EXPECT_EQ(read.Position(), 0u);
    EXPECT_EQ(read.Data()[read.Length()], '\0');
    EXPECT_FALSE(read.ReadFileText(SharedRef<ConfigPath>(), 0));
    EXPECT_FALSE(text.WriteFileText(SharedRef<ConfigPath>(), 0));
    EXPECT_EQ(Text(read), plain);
}

}  // namespace
