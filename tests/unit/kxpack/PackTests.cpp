// What makes kxpack's output the same on every machine: entry dates in UTC and
// the archive seed drawn from the package.
#include <gtest/gtest.h>

#include "tests/unit/kxpack/CaseName.h"
#include "tools/kxpack/Pack.h"
#include "tools/kxpack/Package.h"

namespace kx::kxpack {
namespace {

constexpr double Day = 86400.0;

// Days since 1899-12-30: 1970-01-01 is day 25569.
TEST(UtcDateTime, CountsDaysFrom1899AndTheTimeOfDayInUtc) {
    EXPECT_DOUBLE_EQ(UtcDateTime(0), 25569.0);
    EXPECT_DOUBLE_EQ(UtcDateTime(2 * 86400 + 3600, 500), 25571.0 + 3600.5 / Day);
    EXPECT_DOUBLE_EQ(UtcDateTime(-86400), 25568.0);
    EXPECT_DOUBLE_EQ(UtcDateTime(-1), 25568.0 + 86399.0 / Day);
    // 2023-11-14 22:13:20 UTC, 2000-02-29 (a leap day) 12:00 UTC.
    EXPECT_DOUBLE_EQ(UtcDateTime(1700000000), 45244.0 + (22 * 3600 + 13 * 60 + 20) / Day);
    EXPECT_DOUBLE_EQ(UtcDateTime(951825600), 36585.5);
}

struct TSeedInput {
    std::string Script = "[Common]";
    std::vector<std::string> Names = {"a.exe", "docs\\b.txt"};
    std::vector<std::int64_t> Sizes = {10, 20};
    std::vector<double> Dates = {45000.5, 45001.25};
    std::uint32_t Seed() const { return PackageSeed(Script, Names, Sizes, Dates); }
};

TEST(PackageSeed, IsTheSameForTheSamePackageAndChangesWithAnyPartOfIt) {
    const TSeedInput base;
    EXPECT_EQ(base.Seed(), TSeedInput().Seed());
    TSeedInput script = base, name = base, size = base, date = base, order = base, joined = base;
    script.Script += " ";
    name.Names[1] = "docs\\c.txt";
    size.Sizes[0] = 11;
    date.Dates[1] += 1.0 / Day; // one second later
    std::swap(order.Names[0], order.Names[1]);
    joined.Names = {"a.exed", "ocs\\b.txt"}; // the same characters, split elsewhere
    for (const TSeedInput* other : {&script, &name, &size, &date, &order, &joined})
        EXPECT_NE(other->Seed(), base.Seed());
}

struct TDefaultsCase {
    const char* What;
    const char* Script;
    const char* Carried;
};
class DefaultFolders : public testing::TestWithParam<TDefaultsCase> {};
TEST_P(DefaultFolders, AreAddedOnlyWhereTheScriptNamesNone) {
    EXPECT_EQ(WithDefaultFolders(GetParam().Script), GetParam().Carried);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, DefaultFolders,
    testing::Values(
        TDefaultsCase{"neither", "[Common]\r\nWIN2K=TRUE\r\n",
                      "[Common]\r\nWIN2K=TRUE\r\n[Common]\r\nVendorDir=Velmora\r\nSharedDir=Tarnwick\r\n"},
        TDefaultsCase{"no Common section and no line end", "[EN.File]\r\nA=a.exe",
                      "[EN.File]\r\nA=a.exe\r\n[Common]\r\nVendorDir=Velmora\r\nSharedDir=Tarnwick\r\n"},
        TDefaultsCase{"an empty vendor is the author's choice", "[common]\r\nvendordir=\r\n",
                      "[common]\r\nvendordir=\r\n[Common]\r\nSharedDir=Tarnwick\r\n"},
        TDefaultsCase{"both named", "[Common]\nVendorDir=Larkspur\nSHAREDDIR=Larkspur\n",
                      "[Common]\nVendorDir=Larkspur\nSHAREDDIR=Larkspur\n"},
        TDefaultsCase{"named in another section only", "[EN.GrpName]\r\nVendorDir=X\r\n",
                      "[EN.GrpName]\r\nVendorDir=X\r\n[Common]\r\nVendorDir=Velmora\r\nSharedDir=Tarnwick\r\n"}),
    test::TCaseName());

} // namespace
} // namespace kx::kxpack
