#include "support/test_env.h"
#include "text/resource_text.h"

#include <gtest/gtest.h>

namespace {

// The module's texts as the system's code page spells them.
std::string FromUtf8(const char* utf8)
{
    wchar_t wide[1024];
    char bytes[2048];
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 1024);
    WideCharToMultiByte(CP_ACP, 0, wide, n, bytes, sizeof(bytes), nullptr, nullptr);
    return bytes;
}

const struct {
    UINT id;
    const char* english;
    const char* japanese;  // UTF-8
} kStrings[] = {
    {1, "You must restart your computer to complete the uninstall process. To Restart click OK. To restart later click Cancel.",
     "アンインストールを完了するには、コンピュータを再起動する必要があります。今すぐ再起動するには [OK] を、後で再起動するには [キャンセル] をクリックしてください。"},
    {2, "%1 Uninstall", "%1 のアンインストール"},
    {3, "You need administrator privileges to uninstall %1.", "%1 をアンインストールするには管理者権限が必要です。"},
    {4, "Are you sure you want to completely remove the %1 application and all of its components?",
     "%1 アプリケーションとそのすべてのコンポーネントを完全に削除しますか?"},
    {5, "Please wait...", "お待ちください..."},
    {6, "Could not get install path from the registry.", "レジストリからインストール先のパスを取得できませんでした。"},
    {7, "%1 was uninstalled successfully.", "%1 は正常にアンインストールされました。"},
    {8, "%1 failed to uninstall.", "%1 のアンインストールに失敗しました。"},
    {9, "An installation is running. Please complete the installation before uninstalling %1.",
     "インストールが実行中です。%1 をアンインストールする前に、インストールを完了してください。"},
    {10, "Another uninstall is running. Please complete the uninstall before uninstalling %1.",
     "別のアンインストールが実行中です。%1 をアンインストールする前に、そのアンインストールを完了してください。"},
    {111, "VLAgent", "VLAgent"},
};

bool JapaneseSystem() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE && GetACP() == 932; }

TEST(ResourceStrings, TheSystemLanguagePicksTheTable)
{
    kstest::ModuleUnderTest module;
    ASSERT_TRUE(module.Handle());
    const bool japanese = JapaneseSystem();
    for (const auto& row : kStrings) {
        std::string text;
        ASSERT_TRUE(LoadResourceString(text, module.Handle(), row.id)) << row.id;
        EXPECT_EQ(text, japanese ? FromUtf8(row.japanese) : std::string(row.english)) << row.id;
    }
    std::string text = "kept";
    EXPECT_FALSE(LoadResourceString(text, module.Handle(), 4242));
    EXPECT_EQ(text, "kept");
}

TEST(ResourceStrings, MessagesTakeTheApplicationName)
{
    kstest::ModuleUnderTest module;
    std::string text;
    ASSERT_TRUE(LoadResourceMessage(text, module.Handle(), 3, "Probe"));
    EXPECT_EQ(text, JapaneseSystem() ? FromUtf8("Probe をアンインストールするには管理者権限が必要です。")
                                     : std::string("You need administrator privileges to uninstall Probe."));
    EXPECT_FALSE(LoadResourceMessage(text, module.Handle(), 4242, "Probe"));
}

TEST(ResourceStrings, ProgressDialogExistsInBothLanguages)
{
    kstest::ModuleUnderTest module;
    for (WORD language : {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)})
        EXPECT_TRUE(FindResourceExA(module.Handle(), RT_DIALOG, MAKEINTRESOURCEA(101), language)) << language;
}

TEST(ResourceStrings, LongStringsAreLoadedWhole)
{
    // This program's own table holds strings whose id is their length.
    for (UINT length : {253u, 254u, 255u, 256u, 257u, 600u}) {
        std::string text;
        ASSERT_TRUE(LoadResourceString(text, GetModuleHandleA(nullptr), length)) << length;
        EXPECT_EQ(text.size(), length);
        EXPECT_EQ(text.back(), static_cast<char>('a' + (length - 1) % 26)) << length;
    }
}

}  // namespace
