#include "platform/file_version.h"
#include "support/test_env.h"
#include "support/version_resource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A copy of the helper program (which has no version resource) carrying `resource`.
std::string FileWithVersion(const kstest::ScratchFolder& folder, const char* name, const std::string& resource)
{
    const std::string path = folder / name;
    return CopyFileA(kstest::HelperPath().c_str(), path.c_str(), FALSE) && kstest::SetVersionResource(path, resource)
               ? path
               : std::string();
}

TEST(FileVersion, FixedRecordFirstThenTheTranslatedString)
{
    kstest::ScratchFolder folder("FileVersion");
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwFileVersionMS = 0x00039C40;  // 3.40000
    fixed.dwFileVersionLS = 0x009FFFFF;  // 159.65535
    const std::string fixedOnly = kstest::VersionNode(
        "VS_VERSION_INFO", std::string(reinterpret_cast<const char*>(&fixed), sizeof(fixed)), sizeof(fixed), "", 0);
    const struct {
        const char* label;
        std::string path;
        bool loads;
        std::string expected;
    } rows[] = {
        {"fixed record only", FileWithVersion(folder, "fixed.exe", fixedOnly), true, "3.40000.159.65535"},
        {"strings only",
         FileWithVersion(folder, "strings.exe", kstest::StringsOnlyVersion("041104e4", "7.1 beta", 0x04e40411)), true,
         "7.1 beta"},
        {"no translation", FileWithVersion(folder, "notrans.exe", kstest::StringsOnlyVersion("040904b0", "7.2", 0)),
         true, ""},
        {"no version resource", kstest::HelperPath(), false, ""},
    };
    // One object for all rows: a failed load must not keep the last file's version.
    CFileVersion reused;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        ASSERT_FALSE(row.path.empty()) << "could not build the test file";
        EXPECT_EQ(reused.Load(row.path.c_str()), row.loads);
        EXPECT_EQ(reused.GetFileVersion(), row.expected);
        EXPECT_EQ(reused.GetFileVersion(), row.expected) << "asked again";
    }
}

}  // namespace
