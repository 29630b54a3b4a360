// The configuration exports as an installation script calls them: through the
// module's export table, checked by the bytes of the files they write.
#include "config/param_writer.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

namespace {

using GetParam = const char*(WINAPI*)(const char*, const char*, const char*, const char*);
using SetParam = LONG(WINAPI*)(const char*, const char*, const char*, const char*);
using Import = LONG(WINAPI*)(const char*, const char*, const char*);

class ParamExports : public testing::Test {
protected:
    kstest::ScratchFolder folder_{"params"};
    kstest::ModuleUnderTest module_;
    const GetParam get_ = module_.Require<GetParam>("KSWGetParamString");
    const SetParam set_ = module_.Require<SetParam>("KSWSetParamString");
    const Import import_ = module_.Require<Import>("KSWImportConfigFile");
};

// The first section and entry of a name, compared with regard to case.
TEST_F(ParamExports, GetReturnsTheValueOrTheDefault)
{
    const std::string cfg = folder_.MakeFile(
        "a.cfg", "[General]\r\n Empty =\r\n Key = value with = sign\r\n Key = 2\r\n[]\r\n[General]\r\n Other = 3\r\n[]\r\n");
    EXPECT_STREQ(get_(cfg.c_str(), "General", "Key", "d"), "value with = sign");
    EXPECT_STREQ(get_(cfg.c_str(), "General", "Empty", "d"), "") << "an empty value is no missing value";
    EXPECT_STREQ(get_(cfg.c_str(), "general", "Key", "d"), "d");
    EXPECT_STREQ(get_(cfg.c_str(), "General", "Other", "d"), "d") << "only the first section of a name";
    EXPECT_STREQ(get_(cfg.c_str(), "Other", "Key", nullptr), "");
    EXPECT_STREQ(get_((folder_ / "missing.cfg").c_str(), "General", "Key", "first"), "first");
    EXPECT_STREQ(get_(nullptr, "General", "Key", "d"), "d");
}

TEST_F(ParamExports, SetCreatesFoldersFilesAndSectionsAndKeepsAttributes)
{
    const std::string cfg = folder_ / "new\\deeper\\p.cfg";
    EXPECT_EQ(set_(cfg.c_str(), "General\\Install", "Group", "Tools"), 1);
    EXPECT_EQ(kstest::ReadFile(cfg), "[General]\r\n [Install]\r\n  Group = Tools\r\n []\r\n[]\r\n");
    EXPECT_EQ(set_(cfg.c_str(), "General", "Title", "Example"), 1);
    EXPECT_EQ(set_(cfg.c_str(), "General\\Install", "Group", "Other"), 1);
    EXPECT_EQ(kstest::ReadFile(cfg),
              "[General]\r\n Title = Example\r\n [Install]\r\n  Group = Other\r\n []\r\n[]\r\n");

    // An empty file is replaced; a file name without a folder cannot be created.
    const std::string empty = folder_.MakeFile("empty.cfg", "");
    EXPECT_EQ(set_(empty.c_str(), "S", "k", "v"), 1);
    EXPECT_EQ(kstest::ReadFile(empty), "[S]\r\n k = v\r\n[]\r\n");
    EXPECT_EQ(set_("kstest_nofolder.cfg", "S", "k", "v"), 0);
    EXPECT_EQ(set_("", "S", "k", "v"), 0);

    // Read-only and hidden files are written and keep their attribute.
    for (DWORD attribute : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN}) {
        const std::string cfg = folder_.MakeFile("attr.cfg", "[S]\r\n k = v\r\n[]\r\n");
        SetFileAttributesA(cfg.c_str(), attribute);
        EXPECT_EQ(set_(cfg.c_str(), "S", "k", "changed"), 1) << attribute;
        EXPECT_EQ(kstest::ReadFile(cfg), "[S]\r\n k = changed\r\n[]\r\n");
        EXPECT_TRUE(GetFileAttributesA(cfg.c_str()) & attribute) << attribute;
        SetFileAttributesA(cfg.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(ParamExports, DeletionsAndTheirResults)
{
    const char* text = "[A]\r\n k = 1\r\n k = 2\r\n j = 3\r\n [B]\r\n  x = y\r\n []\r\n [B]\r\n []\r\n[]\r\n";
    const std::string cfg = folder_.MakeFile("del.cfg", text);
    // after: the file's text after the row, null when unchanged.
    const struct { const char *section, *key; LONG result; const char* after; } rows[] = {
        {"A", "missing", 0, nullptr}, {"Nowhere", "k", 1, nullptr},
        {"Nowhere\\B", nullptr, 1, nullptr}, {"A\\C", nullptr, 0, nullptr},
        {"A", "k", 1, "[A]\r\n j = 3\r\n [B]\r\n  x = y\r\n []\r\n [B]\r\n []\r\n[]\r\n"},
        {"A\\B\\", nullptr, 1, "[A]\r\n j = 3\r\n[]\r\n"},
    };
    std::string expected = text;
    for (const auto& row : rows) {
        EXPECT_EQ(set_(cfg.c_str(), row.section, row.key, nullptr), row.result) << row.section;
        if (row.after)
            expected = row.after;
        EXPECT_EQ(kstest::ReadFile(cfg), expected) << row.section;
    }
    EXPECT_EQ(set_((folder_ / "absent.cfg").c_str(), "A", "k", nullptr), 1);
    EXPECT_EQ(set_(cfg.c_str(), nullptr, "k", "v"), 1);
    EXPECT_FALSE(kstest::FileExists(cfg));
    EXPECT_EQ(set_(cfg.c_str(), nullptr, nullptr, nullptr), 1);
}

// Option 1, as the statistics clean-up passes it.
TEST_F(ParamExports, CleanUpOptionDeletesAFileLeftEmpty)
{
    const std::string cfg = folder_.MakeFile("stats.cfg", "[A]\r\n k = 1\r\n[]\r\n[B]\r\n[]\r\n");
    EXPECT_EQ(SetConfigParam(cfg.c_str(), "A", "k", nullptr, 1), 1);
    EXPECT_EQ(kstest::ReadFile(cfg), "[A]\r\n[]\r\n[B]\r\n[]\r\n") << "an empty section keeps the file";
    EXPECT_EQ(SetConfigParam(cfg.c_str(), "A", nullptr, nullptr, 1), 1);
    EXPECT_TRUE(kstest::FileExists(cfg));
    EXPECT_EQ(SetConfigParam(cfg.c_str(), "B", nullptr, nullptr, 1), 1);
    EXPECT_FALSE(kstest::FileExists(cfg));
    // Top-level entries keep the file after its last section is gone.
    const std::string entries = folder_.MakeFile("entries.cfg", "top = 1\r\n[B]\r\n[]\r\n");
    EXPECT_EQ(SetConfigParam(entries.c_str(), "B", nullptr, nullptr, 1), 1);
    EXPECT_EQ(kstest::ReadFile(entries), " top = 1\r\n");
}

TEST_F(ParamExports, ImportMergesIntoTheTarget)
{
    const std::string source = folder_.MakeFile(
        "src.cfg", "[General]\r\n a = new\r\n b = 2\r\n [Sub]\r\n  s = 1\r\n []\r\n[]\r\n[Other]\r\n o = 1\r\n[]\r\n");
    const std::string target = folder_.MakeFile("dst.cfg", "; old\r\n[General]\r\n a = old\r\n c = 3\r\n[]\r\n");

    SetEnvironmentVariableA("KSTEST_PARAMS", folder_.Path().c_str());
    EXPECT_EQ(import_("%KSTEST_PARAMS%\\dst.cfg", "%KSTEST_PARAMS%\\src.cfg", "general"), 1);
    EXPECT_EQ(kstest::ReadFile(target), "[General]\r\n a = new\r\n c = 3\r\n b = 2\r\n [Sub]\r\n []\r\n[]\r\n");

    EXPECT_EQ(import_(target.c_str(), source.c_str(), "NoSuchSection"), 1);
    EXPECT_EQ(kstest::ReadFile(target), "[General]\r\n a = new\r\n c = 3\r\n b = 2\r\n [Sub]\r\n []\r\n[]\r\n");

    const std::string fresh = folder_ / "fresh.cfg";
    EXPECT_EQ(import_(fresh.c_str(), source.c_str(), nullptr), 1);
    EXPECT_EQ(kstest::ReadFile(fresh), kstest::ReadFile(source));

    EXPECT_EQ(import_(fresh.c_str(), (folder_ / "missing.cfg").c_str(), ""), 0);
    EXPECT_EQ(import_((folder_ / "no\\folder.cfg").c_str(), source.c_str(), ""), 0);
}

}  // namespace
