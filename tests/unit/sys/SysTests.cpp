// The portable file layer on POSIX: streams, times, the directory maker and the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/DateTime.h"
#include "base/Exception.h"
#include "base/Text.h"
#include "sys/FileStream.h"
#include "sys/Files.h"
#include "sys/Paths.h"
#include "sys/SysLog.h"

using namespace kx;
namespace fs = std::filesystem;

namespace {

class TempDir : public testing::Test {
protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() / ("kxsys-" + std::to_string(::getpid()) + "-" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(FDir);
        fs::create_directories(FDir);
        FPath = FDir.string() + "/";
    }
    void TearDown() override { fs::remove_all(FDir); }
    fs::path FDir;
    std::string FPath;
};

std::string LogPath() { return GetProgramPath() + "SysLog.txt"; }

} // namespace

TEST_F(TempDir, FileStreamErrorsCarryTheFileName) {
    try {
        TFileStream f(FPath + "missing", fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file " + FPath + "missing");
    }
    try {
        TFileStream f(FPath + "no/such/dir", fmCreate);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + FPath + "no/such/dir");
    }
    EXPECT_THROW(TFileStream(FPath, fmOpenRead), EFOpenError) << "a directory is not a file";
}

TEST_F(TempDir, FileStreamReadsWritesSeeksAndKeepsDates) {
    {
        TFileStream f(FPath + "a.bin", fmCreate);
        f.WriteInt32(0x01020304);
        f.SetPosition(1);
        f.WriteByte(0xEE);
        EXPECT_EQ(f.Size(), 4);
        TDateTime when = EncodeDateTime({2003, 7, 14, 10, 20, 30});
        ASSERT_TRUE(f.SetLastWriteTime(when));
        EXPECT_NEAR(f.LastWriteTime(), when, 1e-9);
    }
    EXPECT_EQ(LoadFileToString(FPath + "a.bin"), std::string("\x04\xEE\x02\x01", 4));
    EXPECT_NEAR(FileAge(FPath + "a.bin"), EncodeDateTime({2003, 7, 14, 10, 20, 30}), 1e-9);
    EXPECT_EQ(FileAge(FPath + "nope"), -1);
    TFileStream r(FPath + "a.bin", fmOpenRead | fmShareDenyWrite);
    r.Seek(-1, TSeekOrigin::soEnd);
    EXPECT_EQ(r.ReadByte(), 0x01);
    EXPECT_THROW(r.ReadByte(), EReadError);
}

TEST_F(TempDir, AttributesAndExistence) {
    SaveStringToFile(FPath + "f", "x");
    EXPECT_TRUE(FileExists(FPath + "f"));
    EXPECT_FALSE(FileExists(FPath));
    EXPECT_TRUE(DirectoryExists(FPath));
    ASSERT_TRUE(FileSetAttr(FPath + "f", faReadOnly));
    EXPECT_EQ(FileGetAttr(FPath + "f") & faReadOnly, faReadOnly);
    ASSERT_TRUE(FileSetAttr(FPath + "f", 0));
    EXPECT_EQ(FileGetAttr(FPath + "f") & faReadOnly, 0);
    EXPECT_EQ(FileGetAttr(FPath + "nope"), -1);
    EXPECT_EQ(FileSize(FPath + "f"), 1);
}

TEST_F(TempDir, MakeDirPathStopsAtTheFirstFailure) {
    EXPECT_TRUE(MakeDirPath(FPath + "a/b/c/"));
    EXPECT_TRUE(DirectoryExists(FPath + "a/b/c"));
    EXPECT_TRUE(MakeDirPath("/"));
    EXPECT_TRUE(MakeDirPath("ab")) << "shorter than three characters: nothing to do";
    SaveStringToFile(FPath + "blocker", "x");
    EXPECT_FALSE(MakeDirPath(FPath + "blocker/deeper/deepest"));
    EXPECT_FALSE(DirectoryExists(FPath + "blocker/deeper"));
    EXPECT_THROW(MakeDirPath(""), Exception);
}

TEST_F(TempDir, MakeDirPathRecordsWhatItMadeParentsFirst) {
    std::vector<std::string> created;
    ASSERT_TRUE(MakeDirPath(FPath + "a", created));
    EXPECT_EQ(created, (std::vector<std::string>{FPath + "a/"}));
    created.clear();
    EXPECT_TRUE(MakeDirPath(FPath + "a/b/c/", created));
    EXPECT_EQ(created, (std::vector<std::string>{FPath + "a/b/", FPath + "a/b/c/"})) << "a existed";
    created.clear();
    SaveStringToFile(FPath + "a/file", "x");
    EXPECT_FALSE(MakeDirPath(FPath + "a/file/e", created));
    EXPECT_TRUE(created.empty());
}

TEST(PathParts, SplittingFileNames) {
    EXPECT_EQ(ExtractFilePath("/a/b/c.txt"), "/a/b/");
    EXPECT_EQ(ExtractFileName("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(ExtractFileExt("/a/b.d/c"), "");
    EXPECT_EQ(ExtractFileExt("/a/b/c.tar.gz"), ".gz");
    EXPECT_EQ(ExtractFileDir("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(ExtractFileDir("/c.txt"), "/");
    EXPECT_EQ(ExtractFilePath("c.txt"), "");
    EXPECT_EQ(AddTrailingBackslash("/a", 936), "/a/");
    EXPECT_EQ(AddTrailingBackslash("", 0), "/");
}

class Log : public testing::Test {
protected:
    void SetUp() override {
        SetLogEnabled(false);
        fs::remove_all(LogPath());
    }
    void TearDown() override {
        SetLogEnabled(false);
        fs::remove_all(LogPath());
    }
};

TEST_F(Log, SwitchForceAndRotation) {
    WriteSysLog("quiet");
    EXPECT_FALSE(FileExists(LogPath()));

    std::string seed;
    for (int i = 0; i < 1000; ++i) seed += "line\r\n";
    SaveStringToFile(LogPath(), seed);
    auto before = fs::directory_iterator(GetProgramPath());
    std::size_t filesBefore = std::distance(fs::begin(before), fs::end(before));
    WriteSysLog("entry 1001", true);
    EXPECT_EQ(LoadFileToString(LogPath()), "");
    // The rotated file: ten digits and ".txt", holding all 1,001 lines.
    std::string rotated;
    for (auto& e : fs::directory_iterator(GetProgramPath())) {
        std::string n = e.path().filename().string();
        if (n.size() == 14 && n.substr(10) == ".txt" && n.find_first_not_of("0123456789") == 10) rotated = e.path();
    }
    ASSERT_FALSE(rotated.empty());
    auto lines = SplitLines(LoadFileToString(rotated));
    ASSERT_EQ(lines.size(), 1001u);
    EXPECT_EQ(lines.back().substr(17), " entry 1001");
    fs::remove(rotated);
    auto after = fs::directory_iterator(GetProgramPath());
    EXPECT_EQ(std::size_t(std::distance(fs::begin(after), fs::end(after))), filesBefore);
}

// The rotated log is named by the minute; a second rotation within it keeps the first.
TEST_F(Log, TwoRotationsInOneMinuteKeepBothLogs) {
    if (DecodeDateTime(Now()).Second >= 55) std::this_thread::sleep_for(std::chrono::seconds(6));
    auto rotated = [] {
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(GetProgramPath())) {
            std::string n = e.path().filename().string();
            if (n.size() >= 14 && n.find_first_not_of("0123456789") == 10 && n.substr(n.size() - 4) == ".txt")
                names.push_back(e.path().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    const auto before = rotated();
    std::string seed;
    for (int i = 0; i < 1000; ++i) seed += "first\r\n";
    SaveStringToFile(LogPath(), seed);
    WriteSysLog("rotation 1", true);
    seed.clear();
    for (int i = 0; i < 1000; ++i) seed += "second\r\n";
    SaveStringToFile(LogPath(), seed);
    WriteSysLog("rotation 2", true);
    std::vector<std::string> made;
    for (const auto& n : rotated())
        if (std::find(before.begin(), before.end(), n) == before.end()) made.push_back(n);
    ASSERT_EQ(made.size(), 2u);
    std::vector<std::string> last;
    for (const auto& n : made) {
        auto lines = SplitLines(LoadFileToString(n));
        EXPECT_EQ(lines.size(), 1001u) << n;
        if (!lines.empty()) last.push_back(lines.back().substr(18));
        fs::remove(n);
    }
    std::sort(last.begin(), last.end());
    EXPECT_EQ(last, (std::vector<std::string>{"rotation 1", "rotation 2"}));
}

TEST_F(Log, UnwritableLogRaisesCannotCreateAndAbortLogsFirst) {
    fs::create_directory(LogPath()); // a directory where the file should be
    try {
        WriteSysLog("x", true);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + LogPath());
    }
    fs::remove_all(LogPath());
    EXPECT_THROW(LogErrorAndAbort("gone"), EAbort);
    auto lines = SplitLines(LoadFileToString(LogPath()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(18), "Error: gone");
}
