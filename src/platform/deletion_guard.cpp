#include "platform/deletion_guard.h"

#include "platform/paths.h"
#include "platform/protected_folders.h"
#include "text/string_ops.h"

#include <mbstring.h>

namespace {

constexpr DWORD kFullPathBuffer = 2 * MAX_PATH;

bool IsDriveLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }

bool HasDrive(const std::string& path) { return path.size() >= 2 && path[1] == ':' && IsDriveLetter(path[0]); }

// "\\?\..." and "\\.\..." reach devices and skip the system's path rules.
bool IsDevicePath(std::string path)
{
    // A slash is never the trail byte of a double-byte character.
    for (char& ch : path) {
        if (ch == '/')
            ch = '\\';
    }
    return path.compare(0, 4, "\\\\?\\") == 0 || path.compare(0, 4, "\\\\.\\") == 0 ||
           path.compare(0, 4, "\\??\\") == 0;
}

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                    reinterpret_cast<const unsigned char*>(b.c_str())) == 0;
}

// Whether `folder` is `path` or one of its ancestors.
bool IsSameOrAncestor(const std::string& folder, const std::string& path)
{
    if (folder.empty() || path.size() < folder.size())
        return false;
    if (path.size() > folder.size() && path[folder.size()] != '\\' && folder.back() != '\\')
        return false;
    return _mbsnbicmp(reinterpret_cast<const unsigned char*>(path.c_str()),
                      reinterpret_cast<const unsigned char*>(folder.c_str()), folder.size()) == 0;
}

// "\\server" or "\\server\share", with or without a trailing backslash.
bool IsUncRoot(std::string path)
{
    if (path.compare(0, 2, "\\\\") != 0)
        return false;
    TrimRight(path, '\\');
    std::vector<std::string> parts;
    Split(path.substr(2), '\\', parts);
    return parts.size() <= 2;
}

bool Expand(std::string& text)
{
    const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0)
        return false;
    // Twice the reported size: on double-byte code pages some systems count characters.
    std::vector<char> buffer(static_cast<size_t>(needed) * 2, '\0');
    if (ExpandEnvironmentStringsA(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size())) == 0)
        return false;
    text.assign(buffer.data());
    return true;
}

bool HasTilde(const std::string& path) { return path.find('~') != std::string::npos; }

// A path and, when it may hold short (8.3) names, its long form. Every short name of a
// long name holds a "~"; asking the system for the forms of every path would make it
// read whole folders (the system folder among them) on each call.
void AddForms(std::vector<std::string>& forms, const std::string& path)
{
    forms.push_back(path);
    if (!HasTilde(path))
        return;
    const std::string longForm = GetLongPath(path, path);
    if (!EqualsNoCase(longForm, path))
        forms.push_back(longForm);
}

}  // namespace

DeletionGuard::DeletionGuard() : DeletionGuard(ListProtectedFolders()) {}

DeletionGuard::DeletionGuard(const std::vector<std::string>& protectedFolders)
{
    for (const std::string& folder : protectedFolders)
        AddForms(forms_, folder);
}

bool DeletionGuard::Resolve(const std::string& path, DWORD options, std::string& fullPath)
{
    std::string text = path;
    if ((options & GUARD_EXPAND_ENVIRONMENT) && !Expand(text))
        return false;
    if (text.empty() || IsDevicePath(text))
        return false;
    // "X:", "X:." or "X:name" lean on the drive's current folder, which is nobody's choice.
    if (HasDrive(text) && (text.size() == 2 || (text[2] != '\\' && text[2] != '/')))
        return false;
    std::vector<char> buffer(kFullPathBuffer, '\0');
    char* name = nullptr;
    DWORD length = GetFullPathNameA(text.c_str(), kFullPathBuffer, buffer.data(), &name);
    if (length >= kFullPathBuffer) {
        buffer.assign(length + 1, '\0');
        length = GetFullPathNameA(text.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &name);
        if (length >= buffer.size())
            return false;
    }
    if (length == 0)
        return false;
    std::string resolved(buffer.data(), length);
    if (IsDevicePath(resolved))
        return false;
    TrimRight(resolved, '\\');
    if (resolved.empty())
        return false;
    if (resolved.size() == 2 && HasDrive(resolved))
        resolved += '\\';
    fullPath = resolved;
    return true;
}

bool DeletionGuard::IsProtected(const std::string& fullPath) const
{
    std::string path = fullPath;
    TrimRight(path, '\\');
    if (path.empty() || IsDevicePath(path) || IsUncRoot(path))
        return true;
    // A drive root, or a text that is not a full path: both are refused.
    const bool isFull = (HasDrive(path) && path.size() > 3 && path[2] == '\\') || path.compare(0, 2, "\\\\") == 0;
    if (!isFull)
        return true;
    std::vector<std::string> candidates;
    AddForms(candidates, path);
    for (const std::string& candidate : candidates) {
        for (const std::string& form : forms_) {
            if (IsSameOrAncestor(candidate, form))
                return true;
        }
    }
    // Without the system's long forms (the first Windows 95 and NT 4 releases), short
    // names are compared in the short forms of both sides.
    if (candidates.size() > 1 || !HasTilde(path))
        return false;
    const std::string shortPath = GetShortPath(path, path);
    for (const std::string& form : forms_) {
        if (IsSameOrAncestor(shortPath, GetShortPath(form, form)))
            return true;
    }
    return false;
}

GuardedPath DeletionGuard::Judge(const std::string& fullPath, bool matchingFilesOnly) const
{
    GuardedPath result;
    if (!IsProtected(fullPath))
        result.scope = DeletionScope::Whole;
    else if (matchingFilesOnly)
        result.scope = DeletionScope::MatchingFiles;
    else
        return result;
    result.path = fullPath;
    return result;
}

GuardedPath DeletionGuard::Check(const char* path, bool matchingFilesOnly, DWORD options) const
{
    std::string fullPath;
    if (!path || !Resolve(path, options, fullPath))
        return GuardedPath();
    return Judge(fullPath, matchingFilesOnly);
}

GuardedPath DeletionGuard::CheckBelow(const std::string& profileFolder, const char* relative, bool matchingFilesOnly,
                                      DWORD options) const
{
    std::string tail = relative ? relative : "";
    if ((options & GUARD_EXPAND_ENVIRONMENT) && !Expand(tail))
        return GuardedPath();
    TrimLeft(tail, '\\');
    TrimRight(tail, '\\');
    // A drive or a device in the relative part would turn the join into another path.
    if (tail.find(':') != std::string::npos)
        return GuardedPath();
    std::string profile;
    std::string fullPath;
    if (!Resolve(profileFolder, 0, profile) || !Resolve(profile + "\\" + tail, 0, fullPath))
        return GuardedPath();
    if (!IsSameOrAncestor(profile, fullPath))
        return GuardedPath();
    // The profile folder itself may only lose its matching files, whether the guard
    // lists it or not.
    if (!EqualsNoCase(fullPath, profile))
        return Judge(fullPath, matchingFilesOnly);
    GuardedPath result;
    if (matchingFilesOnly) {
        result.scope = DeletionScope::MatchingFiles;
        result.path = fullPath;
    }
    return result;
}
