// Temporary names: different on every call, and drawn without touching the
// process-wide generator, whose state makes archive identifiers (and which
// starts alike in every process, so names drawn from it collided between
// kxpack runs started together).
#include <gtest/gtest.h>

#include <set>

#include "base/Random.h"
#include "tools/kxarc/ArchiveIo.h"

namespace kx::kxarc {
namespace {

TEST(TempPath, NamesDifferAndLeaveTheArchiveGeneratorAlone) {
    SetRandSeed(12345);
    std::set<std::string> names;
    for (int i = 0; i < 100; ++i)
        names.insert(TempPath());
    EXPECT_EQ(names.size(), 100u);
    EXPECT_EQ(RandSeed(), 12345u);
}

TEST(UniqueSuffix, IsSixteenHexDigits) {
    std::string s = UniqueSuffix();
    ASSERT_EQ(s.size(), 16u);
    EXPECT_EQ(s.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(s, UniqueSuffix());
}

} // namespace
} // namespace kx::kxarc
