#include "support/version_resource.h"

namespace kstest {

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
std::string VersionNode(const std::string& key, const std::string& value, WORD valueLength,
                        const std::string& children = "", WORD type = 1)
{
    std::string node = std::string(6, '\0') + Utf16(key);
    node.resize((node.size() + 3) & ~3u, '\0');
    node += value;
    node.resize((node.size() + 3) & ~3u, '\0');
    node += children;
    const WORD header[] = {static_cast<WORD>(node.size()), valueLength, type};
    return node.replace(0, 6, Bytes(header, 6));
}

}  // namespace

std::string StringsOnlyVersion(const std::string& table, const std::string& version, DWORD translation)
{
    std::string children = VersionNode(
        "StringFileInfo", "", 0,
        VersionNode(table, "", 0, VersionNode("FileVersion", Utf16(version), WORD(version.size() + 1))));
    if (translation)
        children += VersionNode("VarFileInfo", "", 0, VersionNode("Translation", Bytes(&translation, 4), 4, "", 0));
    return VersionNode("VS_VERSION_INFO", "", 0, children, 0);
}

bool SetVersionResource(const std::string& path, const std::string& resource)
{
    HANDLE update = BeginUpdateResourceA(path.c_str(), TRUE);
    if (!update)
        return false;
    UpdateResourceA(update, RT_VERSION, MAKEINTRESOURCEA(1), 0x409, const_cast<char*>(resource.data()),
                    static_cast<DWORD>(resource.size()));
    return EndUpdateResourceA(update, FALSE) != FALSE;
}

}  // namespace kstest
