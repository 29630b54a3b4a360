// The progress dialog under Xvfb, watched from the test's thread with the progress-bar
// messages while the dialog's own thread moves the bar.
#include "support/test_env.h"
#include "support/test_thread.h"
#include "text/resource_text.h"
#include "uninstall/progress_dialog.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <utility>

namespace {

constexpr int kDialog = 101, kText = 1001, kBar = 1000;

int Position(HWND dialog) { return static_cast<int>(SendMessageA(GetDlgItem(dialog, kBar), PBM_GETPOS, 0, 0)); }

std::string WindowText(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

TEST(ProgressDialog, TheBarFollowsTheStagesAndNeverRunsAhead)
{
    const kstest::ModuleUnderTest module;
    ProgressDialog dialog;
    ASSERT_TRUE(dialog.Create(module.Handle(), kDialog, "Probe Uninstall", kText, "Please wait...", kBar, 5000, 5));
    HWND window = dialog.Window();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_NE(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId()) << "a thread of its own";
    PBRANGE range = {};
    SendMessageA(GetDlgItem(window, kBar), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(std::make_pair(range.iLow, range.iHigh), std::make_pair(0, 50));

    // The bar never shows more than the completed stages: none, then two of five.
    Sleep(300);
    EXPECT_EQ(Position(window), 0) << "no stage done, no motion";
    dialog.Step();
    dialog.Step();
    EXPECT_TRUE(kstest::WaitUntil([&] { return Position(window) == 20; }, 5000));
    Sleep(400);
    EXPECT_EQ(Position(window), 20) << "stops at the completed stages";
    for (int i = 0; i < 4; ++i)  // stages 3 to 5 and a sixth step
        dialog.Step();
    EXPECT_TRUE(kstest::WaitUntil([&] { return Position(window) == 50; }, 6000));
    Sleep(400);
    EXPECT_EQ(Position(window), 50) << "a sixth step moves nothing";

    const DWORD start = GetTickCount();
    dialog.Close();
    EXPECT_LT(GetTickCount() - start, 1500u) << "a full bar closes at once";
    EXPECT_FALSE(IsWindow(window));
}

TEST(ProgressDialog, CloseFillsTheBarAtTheTickRate)
{
    const kstest::ModuleUnderTest module;
    ProgressDialog dialog;
    ASSERT_TRUE(dialog.Create(module.Handle(), kDialog, "c", kText, "t", kBar, 1000, 5));
    HWND window = dialog.Window();
    dialog.Step();  // 2 of 10 steps
    ASSERT_TRUE(kstest::WaitUntil([&] { return Position(window) == 2; }, 3000));
    volatile LONG highest = 0;
    kstest::Thread watcher([&] {
        for (LONG position; IsWindow(window); Sleep(5))
            highest = (position = Position(window)) > highest ? position : highest;
    });
    const DWORD start = GetTickCount();
    dialog.Close();
    const DWORD elapsed = GetTickCount() - start;
    watcher.Join();
    EXPECT_EQ(highest, 10) << "the bar ends full";
    EXPECT_GE(elapsed, 700u) << "8 steps of 100 ms";
    EXPECT_LT(elapsed, 4000u);
    EXPECT_FALSE(IsWindow(window));
}

// The dialog template of the system's language, with the texts the uninstaller gives it.
TEST(ProgressDialog, ShowsTheTemplateAndTextsOfTheSystemLanguage)
{
    const kstest::ModuleUnderTest module;
    const bool japanese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE && GetACP() == 932;
    std::string caption, text;
    ASSERT_TRUE(LoadResourceMessage(caption, module.Handle(), IDS_UNINSTALL_TITLE, "Probe"));
    ASSERT_TRUE(LoadResourceString(text, module.Handle(), IDS_PLEASE_WAIT));
    ProgressDialog dialog;
    ASSERT_TRUE(dialog.Create(module.Handle(), kDialog, caption.c_str(), kText, text.c_str(), kBar, 200, 1));
    EXPECT_EQ(WindowText(dialog.Window()), japanese ? "Probe \x82\xcc\x83\x41\x83\x93\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b"
                                                    : "Probe Uninstall");
    EXPECT_EQ(WindowText(GetDlgItem(dialog.Window(), kText)),
              japanese ? "\x82\xa8\x91\xd2\x82\xbf\x82\xad\x82\xbe\x82\xb3\x82\xa2..." : "Please wait...");
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog.Window(), WM_GETFONT, 0, 0));
    LOGFONTA logFont = {};
    ASSERT_TRUE(GetObjectA(font, sizeof(logFont), &logFont));
    EXPECT_STREQ(logFont.lfFaceName, japanese ? "MS Gothic" : "MS Sans Serif");
}

}  // namespace
