#include "support/test_env.h"
#include "text/resource_text.h"

#include <gtest/gtest.h>

TEST(ResourceStrings, TheSystemLanguagePicksTheTableAndMessagesTakeTheName)
{
    kstest::ModuleUnderTest module;
    const bool japanese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE && GetACP() == 932;
    std::string text;
    ASSERT_TRUE(LoadResourceMessage(text, module.Handle(), 3, "Probe"));
    // Japanese in code page 932: "Probe をアンインストールするには管理者権限が必要です。"
    EXPECT_EQ(text, japanese ? "Probe \x82\xf0\x83\x41\x83\x93\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xb7\x82\xe9"
                               "\x82\xc9\x82\xcd\x8a\xc7\x97\x9d\x8e\xd2\x8c\xa0\x8c\xc0\x82\xaa\x95\x4b\x97\x76\x82\xc5\x82\xb7\x81\x42"
                             : "You need administrator privileges to uninstall Probe.");
    text = "kept";
    EXPECT_FALSE(LoadResourceString(text, module.Handle(), 4242));
    EXPECT_FALSE(LoadResourceMessage(text, module.Handle(), 4242, "Probe"));
    EXPECT_EQ(text, "kept");
}
