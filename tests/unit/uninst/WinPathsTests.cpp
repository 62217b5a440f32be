// Windows path rules of the setup and the uninstaller, checked natively with the code pages they meet.
#include <gtest/gtest.h>

#include "base/WinPaths.h"

using namespace kx;

namespace {

constexpr unsigned kAnsi = 1252, kGbk = 936, kBig5 = 950;

struct TFaultCase {
    const char* Path;
    unsigned CodePage;
    TPathFault Fault;
};

class PathFault : public testing::TestWithParam<TFaultCase> {};

TEST_P(PathFault, AsExpected) {
    EXPECT_EQ(CheckAbsolutePath(GetParam().Path, GetParam().CodePage), GetParam().Fault) << GetParam().Path;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathFault,
    testing::Values(TFaultCase{"C:\\Program Files\\Velmora\\AcmeTool\\acmeui.exe", kAnsi, TPathFault::None},
                    TFaultCase{"c:\\x\\", kAnsi, TPathFault::None}, TFaultCase{"C:\\", kAnsi, TPathFault::None},
                    TFaultCase{"", kAnsi, TPathFault::Empty},
                    TFaultCase{"acmeui.exe", kAnsi, TPathFault::NotAbsolute},
                    TFaultCase{"..\\..\\x", kAnsi, TPathFault::NotAbsolute},
                    TFaultCase{"\\WINDOWS\\x.dll", kAnsi, TPathFault::NotAbsolute},
                    TFaultCase{"C:x.dll", kAnsi, TPathFault::NotAbsolute},
                    TFaultCase{"\\\\server\\share\\x", kAnsi, TPathFault::NotAbsolute},
                    TFaultCase{"1:\\x", kAnsi, TPathFault::NotAbsolute},
                    TFaultCase{"C:\\A\\..\\..\\x", kAnsi, TPathFault::DotComponent},
                    TFaultCase{"C:\\A\\.\\x", kAnsi, TPathFault::DotComponent},
                    TFaultCase{"C:\\A\\. .\\x", kAnsi, TPathFault::DotComponent},
                    TFaultCase{"C:\\A\\..", kAnsi, TPathFault::DotComponent},
                    TFaultCase{"C:\\A\\...\\", kAnsi, TPathFault::DotComponent},
                    TFaultCase{"C:\\A\\\\x", kAnsi, TPathFault::EmptyComponent},
                    TFaultCase{"C:\\A/../x", kAnsi, TPathFault::BadCharacter},
                    TFaultCase{"C:\\A\\*.*", kAnsi, TPathFault::BadCharacter},
                    TFaultCase{"C:\\A\\x:stream", kAnsi, TPathFault::BadCharacter},
                    TFaultCase{"C:\\A\\x\ty", kAnsi, TPathFault::BadCharacter},
                    TFaultCase{"C:\\A\\\"x\"", kAnsi, TPathFault::BadCharacter},
                    // Double-byte names whose trail byte is 0x5C or 0x7C are one character each.
                    TFaultCase{"C:\\\xB9\\\xA6\xC4\xDC\\\xA5\\", kBig5, TPathFault::None},
                    TFaultCase{"C:\\\x81|\\x", kGbk, TPathFault::None},
                    TFaultCase{"C:\\\x81|\\x", kAnsi, TPathFault::BadCharacter},
                    // A lead byte followed by a byte no double-byte character has.
                    TFaultCase{"C:\\\x81\x2F", kGbk, TPathFault::BadCharacter}));

TEST(WinPaths, TrailBackslashOfABig5NameIsNoDelimiter) {
    const std::string dir = "C:\\Acme\\\xA5\\"; // ends in the character A5 5C
    EXPECT_FALSE(EndsWithWinDelim(dir, kBig5));
    EXPECT_TRUE(EndsWithWinDelim(dir, kAnsi));
    EXPECT_EQ(WithTrailingDelim(dir, kBig5), "C:\\Acme\\\xA5\\\\");
    EXPECT_EQ(WithoutTrailingDelim(dir + "\\", kBig5), dir);
    EXPECT_EQ(SplitWinPath(dir, kBig5), (std::vector<std::string>{"C:", "Acme", "\xA5\\"}));
    EXPECT_EQ(WinParentDir(dir, kBig5), "C:\\Acme\\");
    EXPECT_EQ(WinFileName("C:\\Acme\\\xA5\\x.txt", kBig5), "\xA5\\x.txt");
    EXPECT_EQ(WinFileName("C:\\Acme\\\xA5\\\\x.txt", kBig5), "x.txt");
}

TEST(WinPaths, InsideMeansStrictlyBelowWithoutRegardToCase) {
    EXPECT_TRUE(IsInsideWinDir("C:\\Program Files\\Acme\\a.exe", "c:\\program files\\acme", kAnsi));
    EXPECT_TRUE(IsInsideWinDir("C:\\Program Files\\Acme\\sub\\", "C:\\Program Files\\Acme\\", kAnsi));
    EXPECT_FALSE(IsInsideWinDir("C:\\Program Files\\Acme\\", "C:\\Program Files\\Acme", kAnsi));
    EXPECT_FALSE(IsInsideWinDir("C:\\Program Files\\Acme Two\\a.exe", "C:\\Program Files\\Acme", kAnsi));
    EXPECT_FALSE(IsInsideWinDir("C:\\Program Files\\a.exe", "C:\\Program Files\\Acme", kAnsi));
    // "\xA5\\" is one Big5 character: "C:\\\xA5\\x" is not inside "C:\\\xA5".
    EXPECT_FALSE(IsInsideWinDir("C:\\\xA5\\x", "C:\\\xA5", kBig5));
    EXPECT_TRUE(IsInsideWinDir("C:\\\xA5\\\\x", "C:\\\xA5\\", kBig5));
}

TEST(WinPaths, SamePathIgnoresCaseAndTheTrailingBackslash) {
    EXPECT_TRUE(SameWinPath("C:\\WINDOWS\\", "c:\\windows", kAnsi));
    EXPECT_FALSE(SameWinPath("C:\\WINDOWS\\", "C:\\WINDOWS\\system32\\", kAnsi));
    EXPECT_TRUE(IsDriveRoot("d:\\", kAnsi));
    EXPECT_TRUE(IsDriveRoot("D:", kAnsi));
    EXPECT_FALSE(IsDriveRoot("D:\\x", kAnsi));
}

// LoadSystemLibrary loads by the path this gives, or not at all: a bare name
// would be searched for in the program's folder first.
TEST(WinPaths, SystemLibraryPathIsFullOrEmpty) {
    EXPECT_EQ(SystemLibraryPath("C:\\WINDOWS\\system32\\", "version.dll", kAnsi), "C:\\WINDOWS\\system32\\version.dll");
    EXPECT_EQ(SystemLibraryPath("C:\\WINNT\\System32", "uxtheme.dll", kAnsi), "C:\\WINNT\\System32\\uxtheme.dll");
    // A folder whose name ends in the Big5 character A5 5C gets a backslash of its own.
    EXPECT_EQ(SystemLibraryPath("C:\\\xA5\\", "a.dll", kBig5), "C:\\\xA5\\\\a.dll");
    // No system folder (GetSystemDirectory failed), or one that is not a full path.
    for (const char* dir : {"", "\\", "system32\\", "\\WINDOWS\\system32\\", "C:system32", "\\\\server\\sys\\"})
        EXPECT_EQ(SystemLibraryPath(dir, "version.dll", kAnsi), "") << dir;
    // A name that is a path of its own.
    for (const char* name : {"", "..\\x.dll", "C:\\x.dll", "sub/x.dll", "x*.dll"})
        EXPECT_EQ(SystemLibraryPath("C:\\WINDOWS\\system32\\", name, kAnsi), "") << name;
}

} // namespace
