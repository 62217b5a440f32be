// The writer on Windows: stored names from backslash paths and drive letters,
// folder entries, and a round trip through real Windows files.
#include <gtest/gtest.h>

#include <string>

#include "archive/QdxArch2.h"
#include "base/Random.h"
#include "sys/Files.h"
#include "sys/Paths.h"

namespace kx {
namespace {

class WinWriter : public ::testing::Test {
protected:
    void SetUp() override {
        SetRandSeed(3);
        Dir = GetTempDir() + "kxwriter\\";
        MakeDirPath(Dir);
        DeleteFile(Dir + "a.arc");
    }
    std::string Dir;
};

TEST_F(WinWriter, StoredName_BackslashPathsAndDriveLetters) {
    TQdxArch2 arc;
    EXPECT_EQ(arc.StoredName("C:\\src\\a\\b.txt"), "b.txt");
    EXPECT_EQ(arc.StoredName("C:b.txt"), "b.txt");
    EXPECT_EQ(arc.StoredName("C:\\data\\."), ".");
    arc.SetPathStorage(psNone);
    EXPECT_EQ(arc.StoredName("C:\\src\\a\\b.txt"), "b.txt");
    arc.SetPathStorage(psWhole);
    EXPECT_EQ(arc.StoredName("C:\\src\\a\\b.txt"), "C:\\src\\a\\b.txt");
    EXPECT_EQ(arc.StoredName("C:\\data\\."), "C:\\data\\.");
    arc.SetPathStorage(psRelative);
    arc.SetStartingDirectory("C:\\src\\proj\\");
    EXPECT_EQ(arc.StoredName("c:\\SRC\\proj\\sub\\b.txt"), "sub\\b.txt");
    EXPECT_EQ(arc.StoredName("D:\\other\\b.txt"), "D:\\other\\b.txt");
    arc.SetOptions(TOptions(DefaultOptions).Include(oIncludeStartingDirectory));
    EXPECT_EQ(arc.StoredName("C:\\src\\proj\\sub\\b.txt"), "proj\\sub\\b.txt");
}

TEST_F(WinWriter, RoundTrip_FileAndFolderEntry) {
    std::string data;
    for (int i = 0; i < 100000; ++i)
        data += static_cast<char>('a' + (i * 7 + i / 13) % 26);
    SaveStringToFile(Dir + "payload.txt", data);
    MakeDirPath(Dir + "empty");
    {
        TQdxArch2 arc;
        arc.SetFileName(Dir + "a.arc");
        arc.Open();
        ASSERT_TRUE(arc.AddFile(Dir + "payload.txt"));
        ASSERT_TRUE(arc.AddFile(Dir + "empty\\."));
        EXPECT_EQ(arc.CurrentEntry().EntryFlags, efFolder | efLastPart);
        EXPECT_EQ(arc.CurrentEntry().Name, ".");
        EXPECT_EQ(arc.Header().ArchiveInfo.FileCount, 2);
    }
    std::string bytes = LoadFileToString(Dir + "a.arc");
    EXPECT_EQ(static_cast<unsigned char>(bytes[24]), 0x09);
    EXPECT_EQ(bytes.substr(637, 11), "payload.txt");
    TQdxArch2 arc;
    arc.SetReadOnly(true);
    arc.SetFileName(Dir + "a.arc");
    arc.Open();
    DeleteFile(Dir + "out.txt");
    arc.ExtractFile("PAYLOAD.TXT", Dir + "out.txt");
    EXPECT_EQ(LoadFileToString(Dir + "out.txt"), data);
}

TEST_F(WinWriter, ReadOnlyFlag_SetAtCloseRefusesLaterAdds) {
    SaveStringToFile(Dir + "x.txt", "x");
    {
        TQdxArch2 arc;
        arc.SetOptions(TOptions(DefaultOptions).Include(oCreateReadOnly));
        arc.SetFileName(Dir + "a.arc");
        arc.Open();
        ASSERT_TRUE(arc.AddFile(Dir + "x.txt"));
    }
    TQdxArch2 arc;
    arc.SetFileName(Dir + "a.arc");
    arc.Open();
    EXPECT_THROW(arc.AddFile(Dir + "x.txt"), EArchiver);
}

} // namespace
} // namespace kx
