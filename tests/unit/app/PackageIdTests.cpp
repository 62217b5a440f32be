// The names one package's setups and uninstaller share.
#include <gtest/gtest.h>

#include "app/PackageId.h"

using namespace kx;

namespace {
const std::string kDemoKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool";
}

TEST(PackageId, LastPartAndHashOfTheWholeKey) {
    EXPECT_EQ(PackageId(kDemoKey), "AcmeTool-0EAF723E");
    // Blanks, dots and brackets are no part of a file or object name we make.
    EXPECT_EQ(PackageId("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme Tool (x86) v2.0"),
              "AcmeToolx86v20-77F2B7FB");
    EXPECT_EQ(PackageId("Acme"), "Acme-4ADF3EEF");
}

TEST(PackageId, SameKeyInAnyCaseGivesTheSameHash) {
    const std::string lower = "software\\microsoft\\windows\\currentversion\\uninstall\\acmetool";
    EXPECT_EQ(PackageId(lower).substr(9), PackageId(kDemoKey).substr(9));
}

TEST(PackageId, MutexAndJournalNames) {
    EXPECT_EQ(PackageMutexName(kDemoKey, true), "Global\\kxSetup-AcmeTool-0EAF723E");
    EXPECT_EQ(PackageMutexName(kDemoKey, false), "kxSetup-AcmeTool-0EAF723E");
    EXPECT_EQ(JournalFileName(kDemoKey), "kxSetup-AcmeTool-0EAF723E.jnl");
}

TEST(PackageId, LongLastPartIsCutAt32Characters) {
    const std::string id = PackageId("X\\" + std::string(40, 'a'));
    EXPECT_EQ(id.substr(0, 33), std::string(32, 'a') + "-");
    EXPECT_EQ(id.size(), 41u);
}
