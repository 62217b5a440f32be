// Writer to reader: every size class around the block size, text and noise, comes
// back byte for byte, and every archive passes the independent checker.
#include "unit/archive_writer/WriterFixture.h"

namespace kx::test {
namespace {

constexpr std::int32_t Block = 4096;

struct TRoundTrip {
    const char* Name;
    std::size_t Size;
    bool Noise;
};

class RoundTripTest : public WriterTest, public ::testing::WithParamInterface<TRoundTrip> {};

TEST_P(RoundTripTest, WriterToReader_GivesTheSameBytes) {
    const TRoundTrip& t = GetParam();
    Bytes data = t.Noise ? NoiseData(t.Size, static_cast<std::uint32_t>(t.Size)) : TextData(t.Size);
    std::string src = MakeFile(std::string("src-") + t.Name, data);
    {
        TQdxArch2 arc;
        arc.SetBlockSize(Block);
        arc.SetFileName(P("rt.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(src));
        ASSERT_FALSE(arc.LastAddFailed());
        std::int64_t blocks = (static_cast<std::int64_t>(t.Size) + Block - 1) / Block;
        EXPECT_EQ(arc.CurrentEntry().FileInfo.Size, static_cast<std::int32_t>(t.Size));
        if (t.Noise)
            EXPECT_EQ(arc.CurrentEntry().FileInfo.CompressedSize, static_cast<std::int32_t>(t.Size + 8 * blocks));
        else if (t.Size > 100)
            EXPECT_LT(arc.CurrentEntry().FileInfo.CompressedSize, static_cast<std::int32_t>(t.Size));
    }
    ASSERT_EQ(Validate(P("rt.arc")), 0);
    {
        TQdxArch2 arc;
        arc.SetReadOnly(true);
        arc.SetFileName(P("rt.arc"));
        arc.Open();
        arc.ExtractFile(std::string("SRC-") + t.Name, P("out.bin"));
    }
    EXPECT_EQ(ReadAll(P("out.bin")), data);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RoundTripTest,
    ::testing::Values(TRoundTrip{"empty", 0, false}, TRoundTrip{"one", 1, false},
                      TRoundTrip{"blockMinus1", Block - 1, false}, TRoundTrip{"block", Block, false},
                      TRoundTrip{"blockPlus1", Block + 1, false}, TRoundTrip{"severalText", 5 * Block + 123, false},
                      TRoundTrip{"oneNoise", 1, true}, TRoundTrip{"blockMinus1Noise", Block - 1, true},
                      TRoundTrip{"blockNoise", Block, true}, TRoundTrip{"blockPlus1Noise", Block + 1, true},
                      TRoundTrip{"severalNoise", 7 * Block + 5, true}),
    [](const ::testing::TestParamInfo<TRoundTrip>& i) { return std::string(i.param.Name); });

TEST_F(WriterTest, ManyEntries_AllComeBackFromOneArchive) {
    std::vector<Bytes> datas;
    {
        TQdxArch2 arc;
        arc.SetBlockSize(Block);
        arc.SetFileName(P("many.arc"));
        arc.Open();
        arc.SetComment("several files");
        for (int i = 0; i < 12; ++i) {
            Bytes d = (i % 3 == 0) ? NoiseData(static_cast<std::size_t>(i) * 1500, i) : TextData(i * 2500u);
            datas.push_back(d);
            ASSERT_TRUE(arc.AddFile(MakeFile("f" + std::to_string(i), d)));
        }
    }
    ASSERT_EQ(Validate(P("many.arc")), 0);
    TQdxArch2 arc;
    arc.SetReadOnly(true);
    arc.SetFileName(P("many.arc"));
    arc.Open();
    EXPECT_EQ(arc.Header().Comment, "several files");
    for (int i = 0; i < 12; ++i) {
        std::string out = P("out" + std::to_string(i));
        arc.ExtractFile("f" + std::to_string(i), out);
        EXPECT_EQ(ReadAll(out), datas[static_cast<std::size_t>(i)]) << i;
    }
}

TEST_F(WriterTest, AddingToAnExistingArchive_AppendsAfterTheLastEntry) {
    Bytes first = TextData(9000), second = NoiseData(5000, 2);
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(MakeFile("one", first)));
    }
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(MakeFile("two", second)));
        EXPECT_EQ(arc.Header().ArchiveInfo.FileCount, 2);
    }
    ASSERT_EQ(Validate(P("a.arc")), 0);
    TQdxArch2 arc;
    arc.SetReadOnly(true);
    arc.SetFileName(P("a.arc"));
    arc.Open();
    arc.ExtractFile("one", P("o1"));
    arc.ExtractFile("two", P("o2"));
    EXPECT_EQ(ReadAll(P("o1")), first);
    EXPECT_EQ(ReadAll(P("o2")), second);
}

TEST_F(WriterTest, ExistingArchiveWithLargerBlocks_IsExtendedWithItsOwnBlockSize) {
    Bytes data = TextData(70000);
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(MakeFile("one", TextData(10))));
    }
    {
        // the component's own block size is smaller than the archive's
        TQdxArch2 arc;
        arc.SetBlockSize(1024);
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(MakeFile("two", data)));
        EXPECT_FALSE(arc.LastAddFailed());
        EXPECT_EQ(arc.Header().BlockSize, 65536);
    }
    ASSERT_EQ(Validate(P("a.arc")), 0);
    TQdxArch2 arc;
    arc.SetReadOnly(true);
    arc.SetFileName(P("a.arc"));
    arc.Open();
    arc.ExtractFile("two", P("o2"));
    EXPECT_EQ(ReadAll(P("o2")), data);
}

} // namespace
} // namespace kx::test
