// The check of the whole payload before the first page: every entry and every
// block's CRC-32 read from memory, and every file the script installs present.
#include <gtest/gtest.h>

#include "app/PayloadArchive.h"
#include "unit/archive/TestArchiveWriter.h"

using namespace kx;
using namespace kxtest;

namespace {

const std::vector<std::string> kComponents = {"Tool=ui.exe;hook.dll[S;docs\\readme.txt", "Extra=big.dat"};

std::string Payload(int damagedEntry = -1, int damagedBlock = 0) {
    SegmentBuilder b{HeaderFields{}};
    const std::vector<std::pair<std::string, std::string>> files = {
        {"ui.exe", TextData(5000, 1)},
        {"hook.dll", NoiseData(3000, 2)},
        {"docs\\readme.txt", "read me, the whole of it"},
        {"big.dat", NoiseData(200000, 3)}}; // four blocks
    for (std::size_t i = 0; i < files.size(); ++i)
        b.AddFile(files[i].first, files[i].second, true, 44000.5, 0,
                  static_cast<int>(i) == damagedEntry ? damagedBlock : -1);
    return b.Finish();
}

} // namespace

TEST(PayloadCheck, SoundPayloadWithEveryFileOfTheScriptPasses) {
    const TPayloadCheck c = CheckPayload(Payload(), kComponents);
    EXPECT_TRUE(c.Sound) << c.Problem;
    EXPECT_TRUE(c.Missing.empty());
}

TEST(PayloadCheck, OneFlippedByteInAnyEntryOrBlockIsFound) {
    for (int entry : {0, 1, 2, 3})
        for (int block : {0, 2}) {
            if (block > 0 && entry != 3) continue;
            const TPayloadCheck c = CheckPayload(Payload(entry, block), kComponents);
            EXPECT_FALSE(c.Sound) << "entry " << entry << ", block " << block;
            EXPECT_FALSE(c.Problem.empty());
        }
}

TEST(PayloadCheck, CutShortOrEmptyPayloadIsDamaged) {
    const std::string whole = Payload();
    for (std::size_t keep : {std::size_t(0), std::size_t(100), std::size_t(700), whole.size() / 2, whole.size() - 1})
        EXPECT_FALSE(CheckPayload(whole.substr(0, keep), kComponents).Sound) << keep << " bytes";
}

TEST(PayloadCheck, AFileTheScriptInstallsButThePayloadLacksIsNamed) {
    const TPayloadCheck c =
        CheckPayload(Payload(), {"Tool=ui.exe;missing.dll[S;UI.EXE", "Other=missing.dll;also.txt"});
    EXPECT_FALSE(c.Sound);
    EXPECT_EQ(c.Missing, (std::vector<std::string>{"missing.dll", "also.txt"}));
}

TEST(PayloadCheck, SolidArchiveIsNoPayload) {
    SegmentBuilder b{HeaderFields{}};
    b.Header().Flags = 0x0B; // compressed, solid, final segment
    b.AddFile("inner.arc", "whatever", true);
    EXPECT_FALSE(CheckPayload(b.Finish(), {}).Sound);
}
