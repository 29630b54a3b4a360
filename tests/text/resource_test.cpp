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

TEST(ResourceStrings, TheSystemLanguagePicksTheTableAndMessagesTakeTheName)
{
    kstest::ModuleUnderTest module;
    ASSERT_TRUE(module.Handle());
    const bool japanese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE && GetACP() == 932;
    std::string text;
    ASSERT_TRUE(LoadResourceMessage(text, module.Handle(), 3, "Probe"));
    EXPECT_EQ(text, japanese ? FromUtf8("Probe をアンインストールするには管理者権限が必要です。")
                             : std::string("You need administrator privileges to uninstall Probe."));
    text = "kept";
    EXPECT_FALSE(LoadResourceString(text, module.Handle(), 4242));
    EXPECT_FALSE(LoadResourceMessage(text, module.Handle(), 4242, "Probe"));
    EXPECT_EQ(text, "kept");
}

}  // namespace
