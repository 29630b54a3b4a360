#include "platform/file_version.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Utf16(const std::string& text)
{
    std::string bytes;
    for (char c : text + '\0')
        bytes += std::string{c, '\0'};
    return bytes;
}

// One node of a version resource as the NT family stores it: length, value length,
// type, UTF-16 key, value and children, each part 32-bit aligned.
std::string Node(const std::string& key, WORD type, const std::string& value, WORD valueLength,
                 const std::string& children = std::string())
{
    std::string node = std::string(6, '\0') + Utf16(key);
    node.resize((node.size() + 3) & ~3u, '\0');
    node += value;
    node.resize((node.size() + 3) & ~3u, '\0');
    node += children;
    const WORD header[] = {static_cast<WORD>(node.size()), valueLength, type};
    node.replace(0, 6, reinterpret_cast<const char*>(header), 6);
    return node;
}

std::string Resource(const std::string& value, const std::string& table, const char* fileVersion,
                     DWORD translation)
{
    std::string children;
    if (fileVersion) {
        const std::string text = Utf16(fileVersion);
        const std::string entry = Node("FileVersion", 1, text, static_cast<WORD>(text.size() / 2));
        children += Node("StringFileInfo", 1, "", 0, Node(table, 1, "", 0, entry));
    }
    if (translation) {
        const std::string pair(reinterpret_cast<const char*>(&translation), 4);
        children += Node("VarFileInfo", 1, "", 0, Node("Translation", 0, pair, 4));
    }
    return Node("VS_VERSION_INFO", 0, value, static_cast<WORD>(value.size()), children);
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
    fixed.dwFileVersionMS = 0x00070008;
    fixed.dwFileVersionLS = 0x0009000A;
    const std::string fixedValue(reinterpret_cast<const char*>(&fixed), sizeof(fixed));
    const DWORD japanese = 0x04e40411;  // language 0x411, code page 1252
    struct Row {
        const char* label;
        std::string path;
        bool loads;
        std::string expected;
    } rows[] = {
        {"own resource (windres)", kstest::ExeFolder() + "\\" + kstest::ExeTitle() + ".exe", true,
         "3.40000.159.65535"},
        {"fixed record only", FileWithVersion(folder, "fixed.exe", Resource(fixedValue, "", nullptr, 0)), true,
         "7.8.9.10"},
        {"strings only", FileWithVersion(folder, "strings.exe", Resource("", "041104e4", "7.1 beta", japanese)),
         true, "7.1 beta"},
        {"no translation", FileWithVersion(folder, "notrans.exe", Resource("", "040904b0", "7.2", 0)), true, ""},
        {"other translation", FileWithVersion(folder, "other.exe", Resource("", "040904b0", "7.3", japanese)), true,
         ""},
        {"no version resource", kstest::HelperPath(), false, ""},
        {"text file", folder.MakeFile("plain.txt", "text"), false, ""},
        {"missing file", folder / "missing.dll", false, ""},
    };
    CFileVersion reused;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ASSERT_FALSE(row.path.empty()) << "could not build the test file";
        EXPECT_EQ(reused.Load(row.path.c_str()), row.loads);
        EXPECT_EQ(reused.GetFileVersion(), row.expected);
        EXPECT_EQ(reused.GetFileVersion(), row.expected) << "asked again";
    }
    EXPECT_EQ(CFileVersion().GetFileVersion(), "");
}

}  // namespace
