#include "frame/log.h"
#include "platform/scoped_handle.h"
#include "support/test_env.h"
#include "support/test_thread.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

namespace {

const char kTimestamp[] = R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3}\t)";
// Patterns of the start line and of an entry: level, timestamp, line end and message.
const std::string kStart = std::string("\r\nSTART\t") + kTimestamp;
std::string Entry(const char* level, const std::string& message)
{
    return std::string("\r\n\r\n") + level + "\t" + kTimestamp + "\r\n" + message;
}
const std::string kFinish = Entry("FINISH", "\r\n");
const std::string kKeyVariable = kstest::ProcessVariable("Velmo:CVLog:RegKey:0x");
const std::string kDirVariable = kstest::ProcessVariable("Velmo:CVLog:Dir:0x");

std::string Header(int errorsOnly, const char* maxSize, int append)
{
    std::string size = maxSize;
    size.append(32 - size.size(), ' ');
    return "ERRORS_ONLY=" + std::to_string(errorsOnly) + "\r\nMAX_SIZE=" + size + "\r\nAPPEND=" +
           std::to_string(append) + "\r\n" + std::string(49, '-');
}

bool Matches(const std::string& text, const std::string& pattern) { return std::regex_match(text, std::regex(pattern)); }

// Points the process's log-key variable at a test key, so that the options the test
// writes there reach only this process's logs.
class LogTest : public testing::Test {
protected:
    LogTest() { SetEnvironmentVariableA(kKeyVariable.c_str(), key_.Path().c_str()); }
    ~LogTest() override
    {
        SetEnvironmentVariableA(kKeyVariable.c_str(), nullptr);
        SetEnvironmentVariableA(kDirVariable.c_str(), nullptr);
    }

    std::string LogPath(const std::string& name = "KSInst.log") const { return folder_ / name; }
    std::string Read(const std::string& name = "KSInst.log") const { return kstest::ReadFile(LogPath(name)); }
    // One run of a log in the test's folder, from its start to its finish.
    void Run(const std::function<void(CVLog&)>& body)
    {
        CVLog log;
        log.Start(folder_.Path().c_str(), "KSInst");
        body(log);
    }
    void SetOption(HKEY root, const char* name, DWORD value) { kstest::SetDWordValue(root, key_.Path(), name, value); }

    kstest::ScratchFolder folder_{"log"};
    kstest::TestRegKey key_{"log"}, machineKey_{"log", HKEY_LOCAL_MACHINE};
};

TEST_F(LogTest, WritesHeaderStartEntriesAndFinishInTheirLayout)
{
    Run([](CVLog& log) {
        log.Info("dropped at the default level");
        log.Error("first %s %d", "entry", 7);
        log.Error("two\nlines and a pair\r\n");
        log.Error("wide %b", L"text");
    });
    const std::string bytes = Read();
    EXPECT_EQ(bytes.substr(0, 117), Header(1, "100", 0));
    EXPECT_TRUE(Matches(bytes.substr(117), kStart + Entry("ERROR", "first entry 7") +
                                               Entry("ERROR", "two\r\nlines and a pair\r\r\n") +
                                               Entry("ERROR", "wide text") + kFinish))
        << bytes;
}

TEST_F(LogTest, HeaderOfTheOldFileAndRegistryChooseTheOptions)
{
    // A user edits the header of the old log: every level is logged at the next start.
    kstest::WriteFile(LogPath(), "ERRORS_ONLY = 0\r\nmax_size=7x\r\n\r\nAPPEND=0\r\nnot an option\r\nERRORS_ONLY=1\r\n");
    Run([](CVLog& log) { log.Success("kept"); });
    EXPECT_EQ(Read().substr(0, 117), Header(0, "7", 0));
    EXPECT_NE(Read().find("SUCCESS\t"), std::string::npos);

    // Registry values win over the header; the name followed by the base name wins
    // over the plain name, and the user's key over the machine's.
    SetOption(HKEY_LOCAL_MACHINE, "MAX_SIZE=", 300);
    SetOption(HKEY_LOCAL_MACHINE, "MAX_SIZE=KSInst", 400);
    SetOption(HKEY_CURRENT_USER, "MAX_SIZE=KSInst", 500);
    SetOption(HKEY_CURRENT_USER, "ERRORS_ONLY=", 1);
    SetOption(HKEY_LOCAL_MACHINE, "APPEND=", 2);  // only exactly 1 switches it on
    Run([](CVLog& log) { log.Info("dropped again"); });
    EXPECT_EQ(Read().substr(0, 117), Header(1, "500", 0));
    EXPECT_EQ(Read().find("INFO\t"), std::string::npos);
}

TEST_F(LogTest, SizeLimitEmptiesTheFileBeforeTheNextEntry)
{
    SetOption(HKEY_CURRENT_USER, "ERRORS_ONLY=", 0);
    SetOption(HKEY_CURRENT_USER, "MAX_SIZE=", 1);
    const std::string message(300, 'm');
    Run([&](CVLog& log) {
        log.Info("%s", message.c_str());
        log.Info("%s", message.c_str());
        ASSERT_LT(Read().size(), 1024u);
        log.Info("%s crossing", message.c_str());  // written in full although it crosses 1024
        ASSERT_GT(Read().size(), 1024u);
        EXPECT_EQ(Read().substr(Read().size() - 9), " crossing");
        log.Warning("after the reset");
        EXPECT_TRUE(Matches(Read(), Header(0, "1", 0) + Entry("WARNING", "after the reset"))) << Read();
    });
}

// Size 0 is no limit; entries of two threads at once stay whole.
TEST_F(LogTest, EntriesOfTwoThreadsDoNotInterleaveAndSizeZeroIsNoLimit)
{
    SetOption(HKEY_CURRENT_USER, "MAX_SIZE=", 0);
    Run([](CVLog& log) {
        volatile LONG writers = 0;
        auto write = [&](char id) {
            // Both threads start writing at the same moment, not one after the other.
            for (InterlockedIncrement(&writers); writers < 2;) {
            }
            for (int i = 0; i < 2000; ++i)
                log.Error("%s", std::string(50, id).c_str());
        };
        kstest::Thread other([&write] { write('b'); });
        write('a');
    });
    const std::string bytes = Read();
    EXPECT_EQ(bytes.find("-\r\nSTART\t"), 116u) << "never emptied";
    const std::regex entry(Entry("ERROR", "([ab])\\1{49}"));
    EXPECT_EQ(std::distance(std::sregex_iterator(bytes.begin(), bytes.end(), entry), std::sregex_iterator()), 4000);
}

TEST_F(LogTest, AppendKeepsTheEarlierRunsWithoutAGap)
{
    SetOption(HKEY_CURRENT_USER, "APPEND=", 1);
    Run([](CVLog& log) { log.Error("first run"); });
    const std::string first = Read();
    Run([](CVLog& log) { log.Error("second run"); });
    const std::string both = Read();
    EXPECT_EQ(both.substr(0, first.size()), first);
    EXPECT_TRUE(Matches(both.substr(first.size()), kStart + Entry("ERROR", "second run") + kFinish)) << both;
    EXPECT_EQ(both.substr(0, 117), Header(1, "100", 1));
}

// The names "_2" to "_9" in turn while the ones before are held; a numbered log never
// appends, even with APPEND on: it starts after the header.
TEST_F(LogTest, FileHeldByAnotherWriterMovesTheLogToANumberedName)
{
    SetOption(HKEY_CURRENT_USER, "APPEND=", 1);
    kstest::WriteFile(LogPath(), "");
    kstest::WriteFile(LogPath("KSInst_2.log"), Header(1, "100", 1) + "\r\nSTART\tan earlier run" + std::string(300, '.'));
    kstest::FileHolder holder(LogPath(), FILE_SHARE_READ);
    ASSERT_TRUE(holder.Holding());
    ScopedHandle held[10];  // the numbered names, held by this process
    for (int number = 1; number <= 9; ++number) {
        if (number > 1)
            held[number].Reset(CreateFileA(LogPath("KSInst_" + std::to_string(number) + ".log").c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
        Run([number](CVLog& log) { log.Error("%d held", number); });
        const std::string next = Read("KSInst_" + std::to_string(number + 1) + ".log");
        const std::string entry = Entry("ERROR", std::to_string(number) + " held");
        EXPECT_EQ(Matches(next, Header(1, "100", 1) + kStart + entry + kFinish), number < 9) << number << ": " << next;
    }
}

// The log is started once by the module; a second start must not cut what the first
// one wrote, whatever the append option says.
TEST_F(LogTest, SecondStartKeepsTheOpenFileAndMovesToANumberedName)
{
    Run([this](CVLog& log) {
        log.Error("first run");
        const std::string first = Read();
        log.Start(folder_.Path().c_str(), "KSInst");
        log.Error("second run");
        EXPECT_EQ(Read(), first);
    });
    EXPECT_TRUE(Matches(Read("KSInst_2.log"), Header(1, "100", 0) + kStart + Entry("ERROR", "second run") + kFinish))
        << Read("KSInst_2.log");
    EXPECT_TRUE(Matches(Read(), Header(1, "100", 0) + kStart + Entry("ERROR", "first run"))) << Read();
}

TEST_F(LogTest, FolderComesFromTheVariableOrFallsBackToTheTemporaryFolder)
{
    const std::string deep = folder_ / "a\\b\\c";
    SetEnvironmentVariableA(kDirVariable.c_str(), deep.c_str());
    CVLog().Start(nullptr, nullptr);
    EXPECT_TRUE(kstest::FileExists(deep + "\\glog.log"));

    // A missing folder right below a drive root is never created.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string fallback = std::string(temp) + "kstest_frame_fallback.log";
    DeleteFileA(fallback.c_str());
    CVLog().Start("C:\\kstest_not_created", "kstest_frame_fallback");
    EXPECT_FALSE(kstest::FolderExists("C:\\kstest_not_created"));
    EXPECT_TRUE(kstest::FileExists(fallback));
    DeleteFileA(fallback.c_str());
}

// The module names the log key for the process at load time, unless the host did.
TEST(ModuleLoad, SetsTheLogKeyVariableUnlessTheHostDidAndUnregisterAnswersZero)
{
    SetEnvironmentVariableA(kKeyVariable.c_str(), "SOFTWARE\\Host\\Own");
    kstest::ModuleUnderTest().Unload();
    EXPECT_EQ(kstest::Environment(kKeyVariable.c_str()), "SOFTWARE\\Host\\Own");
    SetEnvironmentVariableA(kKeyVariable.c_str(), nullptr);
    kstest::ModuleUnderTest module;
    EXPECT_EQ(kstest::Environment(kKeyVariable.c_str()), "SOFTWARE\\Velm\\VLUpdate\\KSInstLog");
    EXPECT_EQ(module.Require<LONG(WINAPI*)()>("DllUnregisterServer", 2)(), 0);
    module.Unload();
    SetEnvironmentVariableA(kKeyVariable.c_str(), nullptr);
}

}  // namespace
