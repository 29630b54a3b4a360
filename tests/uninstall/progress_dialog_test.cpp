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

namespace {

constexpr int kDialog = 101, kText = 1001, kBar = 1000;

struct BarState {
    int low, high, position;
};

BarState ReadBar(HWND dialog)
{
    HWND bar = GetDlgItem(dialog, kBar);
    PBRANGE range = {};
    SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    return {range.iLow, range.iHigh, static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0))};
}

// Waits until the bar shows `position`; false after `timeoutMs`.
bool WaitForPosition(HWND dialog, int position, DWORD timeoutMs)
{
    return kstest::WaitUntil([&] { return ReadBar(dialog).position == position; }, timeoutMs);
}

std::string WindowText(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

class ProgressDialogTest : public testing::Test {
protected:
    HMODULE Module() const { return module_.Handle(); }
    kstest::ModuleUnderTest module_;
};

TEST_F(ProgressDialogTest, TheBarFollowsTheStagesAndNeverRunsAhead)
{
    ProgressDialog dialog;
    ASSERT_TRUE(dialog.Create(Module(), kDialog, "Probe Uninstall", kText, "Please wait...", kBar, 5000, 5));
    HWND window = dialog.Window();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(WindowText(window), "Probe Uninstall");
    EXPECT_EQ(WindowText(GetDlgItem(window, kText)), "Please wait...");
    char className[64] = {};
    GetClassNameA(GetDlgItem(window, kBar), className, sizeof(className));
    EXPECT_STREQ(className, "msctls_progress32");
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_NE(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId()) << "a thread of its own";
    BarState bar = ReadBar(window);
    EXPECT_EQ(bar.low, 0);
    EXPECT_EQ(bar.high, 50);
    EXPECT_EQ(bar.position, 0);

    // A watcher samples the bar, then the number of steps taken: the bar may never show
    // more than 10 steps per completed stage.
    volatile LONG steps = 0;
    volatile bool watching = true;
    volatile LONG aheadAt = -1, highest = 0;
    kstest::Thread watcher([&] {
        while (watching) {
            const int position = ReadBar(window).position;
            if (position > 10 * steps && aheadAt < 0)
                aheadAt = position;
            if (position > highest)
                highest = position;
            Sleep(5);
        }
    });
    Sleep(300);
    EXPECT_EQ(ReadBar(window).position, 0) << "no stage done, no motion";
    dialog.Step();
    InterlockedIncrement(&steps);
    dialog.Step();
    InterlockedIncrement(&steps);
    EXPECT_TRUE(WaitForPosition(window, 20, 5000));
    Sleep(400);
    EXPECT_EQ(ReadBar(window).position, 20) << "stops at the completed stages";
    for (int i = 0; i < 4; ++i) {  // stages 3 to 5 and a sixth step
        InterlockedIncrement(&steps);
        dialog.Step();
    }
    EXPECT_TRUE(WaitForPosition(window, 50, 6000));
    Sleep(400);
    EXPECT_EQ(ReadBar(window).position, 50) << "a sixth step moves nothing";
    EXPECT_EQ(dialog.CompletedStages(), 5) << "nor counts";
    watching = false;
    watcher.Join();
    EXPECT_EQ(aheadAt, -1) << "the bar ran ahead of the stages";
    EXPECT_EQ(highest, 50);

    HANDLE thread = nullptr;  // a second handle, to read the exit code after Close
    DuplicateHandle(GetCurrentProcess(), dialog.ThreadHandle(), GetCurrentProcess(), &thread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    const DWORD start = GetTickCount();
    dialog.Close();
    EXPECT_LT(GetTickCount() - start, 1500u) << "a full bar closes at once";
    DWORD exitCode = STILL_ACTIVE;
    EXPECT_EQ(WaitForSingleObject(thread, 2000), WAIT_OBJECT_0);
    GetExitCodeThread(thread, &exitCode);
    CloseHandle(thread);
    EXPECT_EQ(exitCode, 0u) << "the loop ended by the quit message";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(dialog.Window(), nullptr);
    EXPECT_EQ(dialog.ThreadHandle(), nullptr);
    EXPECT_EQ(dialog.CompletedStages(), 0);
}

TEST_F(ProgressDialogTest, CloseFillsTheBarAtTheTickRate)
{
    ProgressDialog dialog;
    ASSERT_TRUE(dialog.Create(Module(), kDialog, "c", kText, "t", kBar, 1000, 5));
    HWND window = dialog.Window();
    dialog.Step();  // 2 of 10 steps
    ASSERT_TRUE(WaitForPosition(window, 2, 3000));
    volatile bool watching = true;
    volatile LONG highest = 0;
    kstest::Thread watcher([&] {
        while (watching && IsWindow(window)) {
            const LONG position = ReadBar(window).position;
            if (position > highest)
                highest = position;
            Sleep(5);
        }
    });
    const DWORD start = GetTickCount();
    dialog.Close();
    const DWORD elapsed = GetTickCount() - start;
    watching = false;
    watcher.Join();
    EXPECT_EQ(highest, 10) << "the bar ends full";
    EXPECT_GE(elapsed, 700u) << "8 steps of 100 ms";
    EXPECT_LT(elapsed, 4000u);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(ProgressDialogTest, ShortDurationsMissingArgumentsAndSilentUse)
{
    {
        ProgressDialog dialog;
        ASSERT_TRUE(dialog.Create(Module(), kDialog, "c", kText, "t", kBar, 50, 5));
        HWND window = dialog.Window();
        dialog.Step();
        Sleep(400);
        const BarState bar = ReadBar(window);
        EXPECT_EQ(bar.low, 0);
        EXPECT_EQ(bar.high, 0);
        EXPECT_EQ(bar.position, 0);
        const DWORD start = GetTickCount();
        dialog.Close();
        EXPECT_LT(GetTickCount() - start, 1000u);
    }
    const struct {
        HMODULE module;
        int dialogId;
        const char *caption, *text;
        int textId, barId;
        unsigned duration, stages;
    } rows[] = {
        {nullptr, kDialog, "c", "t", kText, kBar, 5000, 5}, {Module(), 0, "c", "t", kText, kBar, 5000, 5},
        {Module(), kDialog, nullptr, "t", kText, kBar, 5000, 5}, {Module(), kDialog, "c", nullptr, kText, kBar, 5000, 5},
        {Module(), kDialog, "c", "t", 0, kBar, 5000, 5}, {Module(), kDialog, "c", "t", kText, 0, 5000, 5},
        {Module(), kDialog, "c", "t", kText, kBar, 0, 5}, {Module(), kDialog, "c", "t", kText, kBar, 5000, 0},
        {Module(), 4242, "c", "t", kText, kBar, 5000, 5},   // no such dialog
        {Module(), kDialog, "c", "t", kText, 1002, 5000, 5},  // no such bar
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        ProgressDialog dialog;
        const DWORD start = GetTickCount();
        EXPECT_FALSE(dialog.Create(row.module, row.dialogId, row.caption, row.textId, row.text, row.barId,
                                   row.duration, row.stages));
        EXPECT_LT(GetTickCount() - start, 2000u);
        if (row.dialogId == 4242) {
            DWORD exitCode = STILL_ACTIVE;
            ASSERT_TRUE(dialog.ThreadHandle());
            EXPECT_EQ(WaitForSingleObject(dialog.ThreadHandle(), 2000), WAIT_OBJECT_0);
            GetExitCodeThread(dialog.ThreadHandle(), &exitCode);
            EXPECT_EQ(exitCode, 1u) << "no dialog";
        }
    }
    // Never shown: stepping and closing do nothing.
    ProgressDialog silent;
    silent.Step();
    EXPECT_EQ(silent.CompletedStages(), 0);
    silent.Close();
    EXPECT_EQ(silent.Window(), nullptr);
}

TEST_F(ProgressDialogTest, ASecondCreateClosesTheFirstDialog)
{
    ProgressDialog dialog;
    ASSERT_TRUE(dialog.Create(Module(), kDialog, "first", kText, "t", kBar, 200, 1));
    HWND first = dialog.Window();
    ASSERT_TRUE(dialog.Create(Module(), kDialog, "second", kText, "t", kBar, 200, 1));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(WindowText(dialog.Window()), "second");
}

// Centred on the work area's size, from the screen's origin: a work area that starts at
// x = 100 moves the dialog by nothing.
TEST_F(ProgressDialogTest, CentredOnTheWorkArea)
{
    RECT saved;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &saved, 0));
    const struct {
        RECT work;
    } rows[] = {{saved}, {{100, 0, saved.right, saved.bottom}}, {{0, 40, saved.right, saved.bottom - 60}}};
    int placed = 0;
    for (const auto& row : rows) {
        RECT work = row.work;
        if (!SystemParametersInfoA(SPI_SETWORKAREA, 0, &work, 0))
            continue;
        RECT now;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &now, 0);
        if (!EqualRect(&now, &work))
            continue;  // this display keeps its own work area
        ++placed;
        ProgressDialog dialog;
        ASSERT_TRUE(dialog.Create(Module(), kDialog, "c", kText, "t", kBar, 200, 1));
        RECT frame;
        GetWindowRect(dialog.Window(), &frame);
        const int width = frame.right - frame.left, height = frame.bottom - frame.top;
        EXPECT_EQ(frame.left, (work.right - work.left - width) / 2) << work.left;
        EXPECT_EQ(frame.top, (work.bottom - work.top - height) / 2) << work.top;
    }
    SystemParametersInfoA(SPI_SETWORKAREA, 0, &saved, 0);
    EXPECT_EQ(placed, 3) << "Wine lets a program set the work area";
}

// The dialog template of the system's language, with the texts the uninstaller gives it.
TEST_F(ProgressDialogTest, ShowsTheTemplateAndTextsOfTheSystemLanguage)
{
    const bool japanese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE && GetACP() == 932;
    std::string caption, text;
    ASSERT_TRUE(LoadResourceMessage(caption, Module(), IDS_UNINSTALL_TITLE, "Probe"));
    ASSERT_TRUE(LoadResourceString(text, Module(), IDS_PLEASE_WAIT));
    ProgressDialog dialog;
    ASSERT_TRUE(dialog.Create(Module(), kDialog, caption.c_str(), kText, text.c_str(), kBar, 200, 1));
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
