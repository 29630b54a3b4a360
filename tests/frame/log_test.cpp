#include "frame/log.h"
#include "platform/reg_key.h"
#include "platform/scoped_handle.h"
#include "support/test_env.h"
#include "support/test_thread.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <vector>

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

// Points the process's log-key variable at a test key, so that the options the test
// writes there reach only this process's logs.
class LogTest : public testing::Test {
protected:
    LogTest() : folder_("log"), key_("log"), machineKey_("log", HKEY_LOCAL_MACHINE)
    {
        SetEnvironmentVariableA(kKeyVariable.c_str(), key_.Path().c_str());
    }
    ~LogTest() override
    {
        SetEnvironmentVariableA(kKeyVariable.c_str(), nullptr);
        SetEnvironmentVariableA(kDirVariable.c_str(), nullptr);
    }

    std::string LogPath(const char* name = "KSInst.log") const { return folder_ / name; }
    std::string Read(const char* name = "KSInst.log") const { return kstest::ReadFile(LogPath(name)); }

    void SetOption(HKEY root, const char* name, DWORD value)
    {
        CVRegKey(root).Create(key_.Path().c_str(), KEY_SET_VALUE).SetDWord(name, value);
    }

    kstest::ScratchFolder folder_;
    kstest::TestRegKey key_;
    kstest::TestRegKey machineKey_;
};

TEST_F(LogTest, WritesHeaderStartEntriesAndFinishInTheirLayout)
{
    {
        CVLog log;
        log.Start(folder_.Path().c_str(), "KSInst");
        log.Info("dropped at the default level");
        log.Error("first %s %d", "entry", 7);
        log.Error("two\nlines and a pair\r\n");
        log.Error("wide %b", L"text");
    }
    const std::string bytes = Read();
    ASSERT_GE(bytes.size(), 117u);
    EXPECT_EQ(bytes.substr(0, 117), Header(1, "100", 0));
    const std::string body = kStart + Entry("ERROR", "first entry 7") +
                             Entry("ERROR", "two\r\nlines and a pair\r\r\n") + Entry("ERROR", "wide text") + kFinish;
    EXPECT_TRUE(std::regex_match(bytes.substr(117), std::regex(body))) << bytes;
}

TEST_F(LogTest, HeaderOfTheOldFileAndRegistryChooseTheOptions)
{
    // A user edits the header of the old log: every level is logged at the next start.
    kstest::WriteFile(LogPath(), "ERRORS_ONLY = 0\r\nmax_size=7x\r\n\r\nAPPEND=0\r\nnot an option\r\nERRORS_ONLY=1\r\n");
    {
        CVLog log;
        log.Start(folder_.Path().c_str(), "KSInst");
        log.Success("kept");
    }
    std::string bytes = Read();
    EXPECT_EQ(bytes.substr(0, 117), Header(0, "7", 0));
    EXPECT_NE(bytes.find("SUCCESS\t"), std::string::npos);

    // Registry values win over the header; the name followed by the base name wins
    // over the plain name, and the user's key over the machine's.
    SetOption(HKEY_LOCAL_MACHINE, "MAX_SIZE=", 300);
    SetOption(HKEY_LOCAL_MACHINE, "MAX_SIZE=KSInst", 400);
    SetOption(HKEY_CURRENT_USER, "MAX_SIZE=KSInst", 500);
    SetOption(HKEY_CURRENT_USER, "ERRORS_ONLY=", 1);
    SetOption(HKEY_LOCAL_MACHINE, "APPEND=", 2);  // only exactly 1 switches it on
    {
        CVLog log;
        log.Start(folder_.Path().c_str(), "KSInst");
        log.Info("dropped again");
    }
    bytes = Read();
    EXPECT_EQ(bytes.substr(0, 117), Header(1, "500", 0));
    EXPECT_EQ(bytes.find("INFO\t"), std::string::npos);
}

TEST_F(LogTest, SizeLimitEmptiesTheFileBeforeTheNextEntry)
{
    SetOption(HKEY_CURRENT_USER, "ERRORS_ONLY=", 0);
    SetOption(HKEY_CURRENT_USER, "MAX_SIZE=", 1);
    const std::string message(300, 'm');
    CVLog log;
    log.Start(folder_.Path().c_str(), "KSInst");
    log.Info("%s", message.c_str());
    log.Info("%s", message.c_str());
    ASSERT_LT(Read().size(), 1024u);
    log.Info("%s crossing", message.c_str());  // written in full although it crosses 1024
    const std::string before = Read();
    ASSERT_GT(before.size(), 1024u);
    EXPECT_EQ(before.substr(before.size() - 9), " crossing");

    log.Warning("after the reset");
    const std::string after = Read();
    EXPECT_TRUE(std::regex_match(after, std::regex(Header(0, "1", 0) + Entry("WARNING", "after the reset")))) << after;
}

TEST_F(LogTest, AppendKeepsTheEarlierRunsWithoutAGap)
{
    SetOption(HKEY_CURRENT_USER, "APPEND=", 1);
    {
        CVLog log;
        log.Start(folder_.Path().c_str(), "KSInst");
        log.Error("first run");
    }
    const std::string first = Read();
    {
        CVLog log;
        log.Start(folder_.Path().c_str(), "KSInst");
        log.Error("second run");
    }
    const std::string both = Read();
    ASSERT_GT(both.size(), first.size());
    EXPECT_EQ(both.substr(0, first.size()), first);
    EXPECT_EQ(both.substr(first.size(), 8), "\r\nSTART\t");
    EXPECT_EQ(both.substr(0, 117), Header(1, "100", 1));

    SetOption(HKEY_CURRENT_USER, "APPEND=", 0);
    {
        CVLog log;
        log.Start(folder_.Path().c_str(), "KSInst");
    }
    const std::string fresh = Read();
    EXPECT_EQ(fresh.find("first run"), std::string::npos);
    EXPECT_EQ(fresh.find("START"), fresh.rfind("START"));
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
        const std::string name = "KSInst_" + std::to_string(number) + ".log";
        if (number > 1)
            held[number].Reset(CreateFileA(LogPath(name.c_str()).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           OPEN_ALWAYS, 0, nullptr));
        {
            CVLog log;
            log.Start(folder_.Path().c_str(), "KSInst");
            log.Error("%d held", number);
        }
        const std::string next = Read(("KSInst_" + std::to_string(number + 1) + ".log").c_str());
        const std::string entry = Entry("ERROR", std::to_string(number) + " held");
        EXPECT_EQ(std::regex_match(next, std::regex(Header(1, "100", 1) + kStart + entry + kFinish)), number < 9)
            << number << ": " << next;
    }
}

// The log is started once by the module; a second start must not cut what the first
// one wrote, whatever the append option says.
TEST_F(LogTest, SecondStartKeepsTheOpenFileAndMovesToNumberedNames)
{
    {
        CVLog log;
        log.Start(folder_.Path().c_str(), "KSInst");
        log.Error("first run");
        const std::string first = Read();
        log.Start(folder_.Path().c_str(), "KSInst");
        log.Error("second run");
        EXPECT_EQ(Read(), first);
        log.Start(folder_.Path().c_str(), "KSInst");
        log.Error("third run");
        EXPECT_EQ(Read(), first);
    }
    const std::string second = Read("KSInst_2.log"), third = Read("KSInst_3.log");
    EXPECT_TRUE(std::regex_match(second, std::regex(Header(1, "100", 0) + kStart + Entry("ERROR", "second run"))))
        << second;
    const std::string thirdPattern = Header(1, "100", 0) + kStart + Entry("ERROR", "third run") + kFinish;
    EXPECT_TRUE(std::regex_match(third, std::regex(thirdPattern))) << third;
    EXPECT_EQ(Read().find("START"), Read().rfind("START"));

    // When no numbered name opens either, the open file is kept as it is and written on.
    std::vector<std::unique_ptr<kstest::FileHolder>> holders;
    for (int number = 2; number <= 9; ++number) {
        const std::string numbered = LogPath(("KSInst_" + std::to_string(number) + ".log").c_str());
        holders.push_back(std::make_unique<kstest::FileHolder>(numbered, FILE_SHARE_READ));
        ASSERT_TRUE(holders.back()->Holding());
    }
    {
        CVLog log;
        log.Start(folder_.Path().c_str(), "KSInst");
        log.Error("only run");
        const std::string only = Read();
        log.Start(folder_.Path().c_str(), "KSInst");
        EXPECT_EQ(Read(), only);
        log.Error("still here");
    }
    const std::string kept = Read();
    EXPECT_NE(kept.find("only run"), std::string::npos);
    EXPECT_NE(kept.find("still here"), std::string::npos);
}

TEST_F(LogTest, FolderComesFromTheVariableOrFallsBackToTheTemporaryFolder)
{
    const std::string deep = folder_ / "a\\b\\c";
    SetEnvironmentVariableA(kDirVariable.c_str(), deep.c_str());
    {
        CVLog log;
        log.Start(nullptr, nullptr);
    }
    EXPECT_TRUE(kstest::FileExists(deep + "\\glog.log"));

    // A missing folder right below a drive root is never created.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string fallback = std::string(temp) + "kstest_frame_fallback.log";
    DeleteFileA(fallback.c_str());
    {
        CVLog log;
        log.Start("C:\\kstest_not_created", "kstest_frame_fallback");
    }
    EXPECT_FALSE(kstest::FolderExists("C:\\kstest_not_created"));
    EXPECT_TRUE(kstest::FileExists(fallback));
    DeleteFileA(fallback.c_str());
}

// Also the size limit 0: the entries add up to more than the default limit of 100 KB.
TEST_F(LogTest, EntriesOfSeveralThreadsDoNotInterleave)
{
    SetOption(HKEY_CURRENT_USER, "MAX_SIZE=", 0);
    {
        CVLog log;
        log.Start(folder_.Path().c_str(), "KSInst");
        std::vector<std::unique_ptr<kstest::Thread>> threads;
        for (char id = 'a'; id < 'e'; ++id) {
            threads.push_back(std::make_unique<kstest::Thread>([&log, id] {
                const std::string run(600, id);
                for (int i = 0; i < 50; ++i)
                    log.Error("%s", run.c_str());
            }));
        }
        threads.clear();
    }
    const std::string bytes = Read();
    EXPECT_GT(bytes.size(), 120000u);
    EXPECT_EQ(bytes.find("-\r\nSTART\t"), 116u) << "never emptied";
    const std::regex entry(Entry("ERROR", "([a-d])\\1{599}"));
    const auto count = std::distance(std::sregex_iterator(bytes.begin(), bytes.end(), entry), std::sregex_iterator());
    EXPECT_EQ(count, 200);
}

TEST_F(LogTest, LoadingTheModuleWritesItsLogUntilUnload)
{
    SetEnvironmentVariableA(kDirVariable.c_str(), folder_.Path().c_str());
    {
        kstest::ModuleUnderTest module;
        ASSERT_TRUE(module.Handle());
    }
    const std::string bytes = Read();
    EXPECT_EQ(bytes.substr(0, 117), Header(1, "100", 0));
    EXPECT_TRUE(std::regex_match(bytes.substr(117), std::regex(kStart + kFinish)));
}

}  // namespace
