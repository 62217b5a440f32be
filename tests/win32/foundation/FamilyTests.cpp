// The Windows family as the program sees it under each emulated version.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sys/Paths.h"

namespace {
std::string gExpectFamily;
}

TEST(Family, IsNTFamilyFollowsTheEmulatedVersion) {
    ASSERT_FALSE(gExpectFamily.empty()) << "run with --expect-family=win98|winxp";
    EXPECT_EQ(kx::IsNTFamily(), gExpectFamily == "winxp");
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--expect-family=", 16) == 0) gExpectFamily = argv[i] + 16;
    return RUN_ALL_TESTS();
}
