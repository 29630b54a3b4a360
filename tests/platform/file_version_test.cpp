#include "platform/file_version.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Bytes(const void* data, size_t size) { return std::string(static_cast<const char*>(data), size); }

std::string Utf16(const std::string& text)
{
    std::string bytes;
    for (char c : text + '\0')
        bytes += std::string{c, '\0'};
    return bytes;
}

// One node of a version resource as the NT family stores it: length, value length,
// type (1 text, 0 binary), UTF-16 key, value and children, each part 32-bit aligned.
std::string Node(const std::string& key, const std::string& value, WORD valueLength, const std::string& children = "",
                 WORD type = 1)
{
    std::string node = std::string(6, '\0') + Utf16(key);
    node.resize((node.size() + 3) & ~3u, '\0');
    node += value;
    node.resize((node.size() + 3) & ~3u, '\0');
    node += children;
    const WORD header[] = {static_cast<WORD>(node.size()), valueLength, type};
    return node.replace(0, 6, Bytes(header, 6));
}

// A resource without the fixed record: "FileVersion" in string table `table`, and the
// translation table when `translation` is not 0.
std::string StringsOnly(const std::string& table, const std::string& version, DWORD translation)
{
    std::string children = Node("StringFileInfo", "", 0,
                                Node(table, "", 0, Node("FileVersion", Utf16(version), WORD(version.size() + 1))));
    if (translation)
        children += Node("VarFileInfo", "", 0, Node("Translation", Bytes(&translation, 4), 4, "", 0));
    return Node("VS_VERSION_INFO", "", 0, children, 0);
}

// A copy of the helper program (which has no version resource) carrying `resource`.
std::string FileWithVersion(const kstest::ScratchFolder& folder, const char* name, const std::string& resource)
{
    const std::string path = folder / name;
    HANDLE update = CopyFileA(kstest::HelperPath().c_str(), path.c_str(), FALSE)
                        ? BeginUpdateResourceA(path.c_str(), FALSE)
                        : nullptr;
    if (!update)
        return std::string();
    UpdateResourceA(update, RT_VERSION, MAKEINTRESOURCEA(1), 0x409, const_cast<char*>(resource.data()),
                    static_cast<DWORD>(resource.size()));
    return EndUpdateResourceA(update, FALSE) ? path : std::string();
}

TEST(FileVersion, FixedRecordFirstThenTheTranslatedString)
{
    kstest::ScratchFolder folder("FileVersion");
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwFileVersionMS = 0x00039C40;  // 3.40000
    fixed.dwFileVersionLS = 0x009FFFFF;  // 159.65535
    const std::string fixedOnly = Node("VS_VERSION_INFO", Bytes(&fixed, sizeof(fixed)), sizeof(fixed), "", 0);
    const struct {
        const char* label;
        std::string path;
        bool loads;
        std::string expected;
    } rows[] = {
        {"fixed record only", FileWithVersion(folder, "fixed.exe", fixedOnly), true, "3.40000.159.65535"},
        {"strings only", FileWithVersion(folder, "strings.exe", StringsOnly("041104e4", "7.1 beta", 0x04e40411)), true,
         "7.1 beta"},
        {"no translation", FileWithVersion(folder, "notrans.exe", StringsOnly("040904b0", "7.2", 0)), true, ""},
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
