#include "platform/file_version.h"

#include "platform/loaded_library.h"
#include "text/format.h"
#include "text/resource_text.h"

namespace {

// The shell library's string that names its version string block.
constexpr UINT kShellStringBlockPrefixId = 8762;

}  // namespace

bool CFileVersion::Load(const char* fileName)
{
    data_.clear();
    prefix_.clear();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(fileName, &ignored);
    if (size == 0)
        return false;
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoA(fileName, 0, size, data.data()))
        return false;
    data_.swap(data);
    LoadedLibrary shell("shell32.dll");
    // A missing string leaves the prefix empty.
    if (shell)
        LoadResourceString(prefix_, shell.Handle(), kShellStringBlockPrefixId);
    return true;
}

// The text at `subBlock`, or an empty text when it is missing or has no length.
std::string CFileVersion::QueryString(const std::string& subBlock) const
{
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data_.data(), subBlock.c_str(), &value, &length) || !value || length == 0)
        return std::string();
    return std::string(static_cast<const char*>(value));
}

std::string CFileVersion::GetFileVersion() const
{
    if (data_.empty())
        return std::string();
    std::string version;
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data_.data(), "\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        FormatString(version, "%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                     HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    }
    if (!version.empty())
        return version;
    version = QueryString(prefix_ + "FileVersion");
    if (!version.empty())
        return version;
    value = nullptr;
    length = 0;
    if (!VerQueryValueA(data_.data(), "\\VarFileInfo\\Translation", &value, &length) || !value ||
        length < 2 * sizeof(WORD))
        return std::string();
    const auto* translation = static_cast<const WORD*>(value);
    std::string block;
    FormatString(block, "\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    return QueryString(block + "FileVersion");
}
