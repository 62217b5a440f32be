// Stored names that could leave the extraction directory are refused.
#include <gtest/gtest.h>

#include "sys/Paths.h"
#include "tools/kxarc/SafePath.h"

namespace kx::kxarc {
namespace {

struct TNameCase {
    const char* Name;
    bool Ok;
    std::vector<std::string> Components;
};

class CheckStoredNameTest : public ::testing::TestWithParam<TNameCase> {};

TEST_P(CheckStoredNameTest, AcceptsOnlyNamesBelowTheDestination) {
    const TNameCase& c = GetParam();
    TSafeName r = CheckStoredName(c.Name);
    EXPECT_EQ(r.Ok, c.Ok) << c.Name << ": " << r.Reason;
    if (c.Ok)
        EXPECT_EQ(r.Components, c.Components);
    else
        EXPECT_FALSE(r.Reason.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, CheckStoredNameTest,
    ::testing::Values(TNameCase{"readme.txt", true, {"readme.txt"}},
                      TNameCase{"docs\\sub\\a.txt", true, {"docs", "sub", "a.txt"}},
                      TNameCase{"docs/sub/a.txt", true, {"docs", "sub", "a.txt"}},
                      TNameCase{"docs\\.\\a.txt", true, {"docs", "a.txt"}},
                      TNameCase{"data\\.", true, {"data"}}, TNameCase{".", true, {}},
                      TNameCase{"a..b\\c", true, {"a..b", "c"}},
                      TNameCase{"..\\evil.txt", false, {}}, TNameCase{"docs\\..\\..\\evil", false, {}},
                      TNameCase{"docs/../evil", false, {}}, TNameCase{"..", false, {}},
                      TNameCase{"\\windows\\evil.dll", false, {}}, TNameCase{"/etc/passwd", false, {}},
                      TNameCase{"C:\\evil.txt", false, {}}, TNameCase{"c:evil.txt", false, {}},
                      TNameCase{"a\\b:stream", false, {}}, TNameCase{"", false, {}}));

TEST(JoinComponentsTest, UsesThePlatformDelimiter) {
    EXPECT_EQ(JoinComponents({"a", "b", "c.txt"}), std::string("a") + PathDelim + "b" + PathDelim + "c.txt");
    EXPECT_EQ(JoinComponents({}), "");
}

} // namespace
} // namespace kx::kxarc
