// The Windows rules of the path helpers that the target directory and the
// replacements at restart rely on, under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sys/Files.h"
#include "sys/FilesInUse.h"
#include "sys/Paths.h"
#include "sys/Win32.h"

using namespace kx;

struct TRootCase {
    const char* Path;
    bool Absolute;
    bool RootThere;
};
class PathRoots : public testing::TestWithParam<TRootCase> {};

TEST_P(PathRoots, OnlyAFullPathOnAnExistingDriveCounts) {
    EXPECT_EQ(IsAbsolutePath(GetParam().Path), GetParam().Absolute);
    EXPECT_EQ(PathRootExists(GetParam().Path), GetParam().RootThere);
}
INSTANTIATE_TEST_SUITE_P(
    Paths, PathRoots,
    testing::Values(TRootCase{"C:\\Program Files\\Acme", true, true}, TRootCase{"c:\\", true, true},
                    TRootCase{"Q:\\no such drive", true, false}, TRootCase{"C:", false, false},
                    TRootCase{"C:Acme", false, false}, TRootCase{"\\Acme", false, false},
                    TRootCase{"Acme\\Tool", false, false}, TRootCase{"ab", false, false},
                    TRootCase{"   ", false, false}, TRootCase{"", false, false},
                    TRootCase{"\\\\server", false, false}, TRootCase{"\\\\\\share", false, false},
                    TRootCase{"\\\\no-such-server\\share\\Acme", true, false},
                    TRootCase{"1:\\Acme", false, false}));

TEST(Paths, CommonFilesPathReportsTheFolderItMade) {
    std::vector<std::string> created;
    const std::string shared = GetCommonFilesPath("Tarnwick", created);
    RemoveDir(shared);
    created.clear();
    EXPECT_EQ(GetCommonFilesPath("Tarnwick", created), shared);
    EXPECT_EQ(created, (std::vector<std::string>{shared}));
    created.clear();
    GetCommonFilesPath("Tarnwick", created);
    EXPECT_TRUE(created.empty()) << "there already";
}

TEST(Paths, RestartSeesTheSystemDirectoryOfA32BitProgramAsSysWow64) {
    // A 32-bit program in a 64-bit prefix: SysWOW64 is there.
    const bool wow64 = sizeof(void*) == 4 && GetFileAttributesA("C:\\windows\\syswow64") != INVALID_FILE_ATTRIBUTES;
    const std::string sys = GetSystemPath();
    ASSERT_EQ(sys, "C:\\windows\\system32\\");
    EXPECT_EQ(PathAtRestart("C:\\windows\\system32\\acmehook.dll"),
              wow64 ? "C:\\windows\\syswow64\\acmehook.dll" : "C:\\windows\\system32\\acmehook.dll");
    EXPECT_EQ(PathAtRestart("C:\\WINDOWS\\SYSTEM32\\drivers\\x.sys"),
              wow64 ? "C:\\windows\\syswow64\\drivers\\x.sys" : "C:\\WINDOWS\\SYSTEM32\\drivers\\x.sys");
    EXPECT_EQ(PathAtRestart("C:\\windows\\system32x\\a"), "C:\\windows\\system32x\\a");
    EXPECT_EQ(PathAtRestart("C:\\Acme\\acmeui.exe"), "C:\\Acme\\acmeui.exe");
}
