#include "uninstall/protected_paths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// The prefix's folders: Windows C:\windows, system C:\windows\system32, programs
// C:\Program Files. Relative rows are resolved from C:\.
TEST(ProtectedPaths, SystemFoldersRootsAndTheirOtherSpellings)
{
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    const struct { const char* path; bool protectedPath; } rows[] = {
        // Empty, bare drives and drive roots.
        {"", true}, {"\\", true}, {"c:", true}, {"C:\\\\\\", true}, {"D:\\", true}, {"Q:", true},
        // The three folders in any case, with trailing backslashes.
        {"C:\\Windows", true}, {"c:\\WINDOWS\\\\", true}, {"C:\\WINDOWS\\SYSTEM32\\", true},
        {"c:\\program files\\", true},
        // Other spellings of the same folders and roots.
        {"C:/windows", true}, {"C:\\windows\\.", true}, {"C:\\windows\\system32\\..\\", true},
        {"C:\\Program Files\\Product\\..", true}, {"C:\\kstest\\..", true}, {"\\\\?\\C:\\windows", true},
        {"windows", true}, {"\\windows\\system32", true}, {".", true}, {"\\\\server\\share\\", true},
        {"\\\\server", true},
        // Inside, beside and near them: deletable.
        {"C:\\Windows\\System32\\x.dll", false}, {"C:\\windows\\temp", false},
        {"C:\\Program Files\\Product\\", false}, {"C:\\windowsx", false}, {"C:\\window", false},
        {"C:\\Program Files (x86)", false}, {"D:\\data", false}, {"C:\\a", false}, {"abc", false},
        {"\\\\server\\share\\dir", false}, {"\\\\?\\C:\\windows\\temp", false},
        {"C:\\windows\\..\\Program Files\\Product", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IsProtectedPath(row.path), row.protectedPath) << "[" << row.path << "]";
    EXPECT_TRUE(IsProtectedPath(nullptr));
    SetCurrentDirectoryA(saved);
}

TEST(ProtectedPaths, ShortNamesAndLongHostilePaths)
{
    for (const char* folder : {"C:\\Program Files", "C:\\windows\\system32"}) {
        char shortPath[MAX_PATH] = {};
        ASSERT_NE(GetShortPathNameA(folder, shortPath, MAX_PATH), 0u) << folder;
        EXPECT_TRUE(IsProtectedPath(shortPath)) << shortPath;
        EXPECT_FALSE(IsProtectedPath((std::string(shortPath) + "\\Product").c_str())) << shortPath;
    }
    // Near MAX_PATH and beyond: what the system cannot resolve is refused too.
    std::string hostile = "C:\\windows";
    for (int i = 0; i < 30; ++i)
        hostile += "\\abc\\..";
    ASSERT_LT(hostile.size(), 259u);
    EXPECT_TRUE(IsProtectedPath(hostile.c_str()));
    EXPECT_FALSE(IsProtectedPath((hostile + "\\temp").c_str()));
    for (int i = 0; i < 60; ++i)
        hostile += "\\abc\\..";
    EXPECT_TRUE(IsProtectedPath(hostile.c_str()));
    EXPECT_TRUE(IsProtectedPath(("C:\\kstest\\" + std::string(5000, 'a')).c_str()));
}

}  // namespace
