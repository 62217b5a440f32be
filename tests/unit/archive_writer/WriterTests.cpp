// The writer: new archives, comments, blocks and their storage, the compression
// hook, failures that leave a file out, segment-size checks, read-only archives,
// stored names and solid archives.
#include "unit/archive_writer/WriterFixture.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

#include "archive/ZlibCodec.h"
#include "sys/Files.h"
#include "sys/Paths.h"

namespace kx::test {
namespace {

// Exposes what the tests must observe from inside an add.
class TProbeArchiver : public TQdxArch2 {
public:
    using TQdxArch2::GetMaxBlockSize;
    using TQdxArch2::WriteHeader;
};

struct TBlock {
    std::int32_t StoredLength;
    std::uint32_t Crc;
    Bytes Stored;
};

// The blocks of the first entry, read by offsets alone.
std::vector<TBlock> FirstEntryBlocks(const Bytes& a, std::size_t entryAt = 633) {
    std::int32_t n = I32(a, entryAt);
    std::int32_t partCompressed = I32(a, entryAt + 41 + n);
    std::vector<TBlock> out;
    std::size_t pos = entryAt + 45 + n;
    std::int64_t used = 0;
    while (used < partCompressed) {
        TBlock b;
        b.StoredLength = I32(a, pos);
        b.Crc = static_cast<std::uint32_t>(I32(a, pos + 4));
        std::size_t len = static_cast<std::size_t>(std::abs(b.StoredLength));
        b.Stored.assign(a.begin() + pos + 8, a.begin() + pos + 8 + len);
        out.push_back(b);
        pos += 8 + len;
        used += 8 + len;
    }
    return out;
}

std::size_t Inflated(const Bytes& stored) {
    Bytes out(1 << 20);
    uLongf len = out.size();
    EXPECT_EQ(uncompress(out.data(), &len, stored.data(), stored.size()), Z_OK);
    return len;
}

TEST_F(WriterTest, NewArchive_Is633BytesWithItsHeaderFields) {
    {
        TQdxArch2 arc;
        arc.SetFileName(P("new.arc"));
        arc.Open();
        EXPECT_TRUE(arc.IsEmpty());
    }
    Bytes a = ReadAll(P("new.arc"));
    ASSERT_EQ(a.size(), 633u);
    const Bytes head = {0x38, 0x12, 0, 0,          // signature 4664
                        1, 0, 0, 0,                // version
                        0x93, 0x7A, 0, 0,          // RandomID 31379: first draw below 1000000 after seed 1
                        0, 0, 1, 0,                // BlockSize 65536
                        0x79, 0x02, 0, 0,          // EndOffset 633
                        1, 0, 0, 0,                // segment 1
                        0x09};                     // afFinalSegment | afCompressed
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 25), head);
    EXPECT_EQ(Bytes(a.begin() + 25, a.end()), Bytes(608, 0)); // totals, user data, reserved, comment length
    EXPECT_EQ(Validate(P("new.arc")), 0);
}

TEST_F(WriterTest, NewArchive_WithoutCompressOptionHasOnlyTheFinalFlag) {
    TQdxArch2 arc;
    arc.SetOptions(TOptions(DefaultOptions).Exclude(oCompress));
    arc.SetFileName(P("plain.arc"));
    arc.Open();
    EXPECT_EQ(arc.Header().ArchiveFlag, afFinalSegment);
}

TEST_F(WriterTest, SetComment_OnEmptyArchiveMovesEndOffset) {
    {
        TQdxArch2 arc;
        arc.SetFileName(P("c.arc"));
        arc.Open();
        arc.SetComment("0123456789");
        EXPECT_EQ(arc.Header().EndOffset, 643);
    }
    Bytes a = ReadAll(P("c.arc"));
    ASSERT_EQ(a.size(), 643u);
    EXPECT_EQ(I32(a, 16), 643);
    EXPECT_EQ(I32(a, 629), 10);
    EXPECT_EQ(std::string(a.begin() + 633, a.end()), "0123456789");
    EXPECT_EQ(Validate(P("c.arc")), 0);
}

TEST_F(WriterTest, SetComment_ShorterCommentLeavesNoStaleBytes) {
    TQdxArch2 arc;
    arc.SetFileName(P("c.arc"));
    arc.Open();
    arc.SetComment("a long comment");
    arc.SetComment("abc");
    arc.Close();
    EXPECT_EQ(ReadAll(P("c.arc")).size(), 636u);
    EXPECT_EQ(Validate(P("c.arc")), 0);
}

TEST_F(WriterTest, SetComment_OnArchiveWithAnEntryDoesNothing) {
    std::string f = MakeFile("f.txt", TextData(100));
    TQdxArch2 arc;
    arc.SetFileName(P("c.arc"));
    arc.Open();
    ASSERT_TRUE(arc.AddFile(f));
    Bytes before = ReadAll(P("c.arc"));
    arc.SetComment("0123456789");
    EXPECT_EQ(arc.Header().Comment, "");
    EXPECT_EQ(ReadAll(P("c.arc")), before);
}

TEST_F(WriterTest, File70144Bytes_GivesBlocksOf65536And4608) {
    std::string f = MakeFile("f.txt", TextData(70144));
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(f));
    }
    Bytes a = ReadAll(P("a.arc"));
    EXPECT_EQ(Validate(P("a.arc")), 0);
    auto blocks = FirstEntryBlocks(a);
    ASSERT_EQ(blocks.size(), 2u);
    for (const auto& b : blocks) {
        EXPECT_GT(b.StoredLength, 0);
        EXPECT_EQ(b.Stored[0], 0x78);
        EXPECT_EQ(b.Stored[1], 0x9C);
        EXPECT_EQ(b.Crc, ~static_cast<std::uint32_t>(crc32(0xFFFFFFFFu, b.Stored.data(), b.Stored.size())));
    }
    EXPECT_EQ(Inflated(blocks[0].Stored), 65536u);
    EXPECT_EQ(Inflated(blocks[1].Stored), 4608u);
    // entry: name "f.txt", flags 5, sizes
    EXPECT_EQ(I32(a, 633), 5);
    EXPECT_EQ(std::string(a.begin() + 637, a.begin() + 642), "f.txt");
    EXPECT_EQ(a[633 + 28 + 5], 5);
    EXPECT_EQ(I32(a, 633 + 29 + 5), 70144);
    EXPECT_EQ(I32(a, 633 + 37 + 5), 70144);
    EXPECT_EQ(I32(a, 633 + 20 + 5), 633); // Offset
}

TEST_F(WriterTest, ZeroByteFile_HasNoBlocksAndFlags5) {
    std::string f = MakeFile("empty", {});
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(f));
    }
    Bytes a = ReadAll(P("a.arc"));
    ASSERT_EQ(a.size(), 633u + 45 + 5);
    EXPECT_EQ(a[633 + 28 + 5], 5);
    for (int off : {29, 33, 37, 41})
        EXPECT_EQ(I32(a, 633 + off + 5), 0);
    EXPECT_EQ(I32(a, 25), 1); // ArchiveInfo.FileCount
    EXPECT_EQ(Validate(P("a.arc")), 0);
}

TEST_F(WriterTest, IncompressibleBlock_IsStoredRawWithNegativeLength) {
    std::string f = MakeFile("noise", NoiseData(65536, 3));
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(f));
    }
    Bytes a = ReadAll(P("a.arc"));
    auto blocks = FirstEntryBlocks(a);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].StoredLength, -65536);
    EXPECT_EQ(blocks[0].Stored, NoiseData(65536, 3));
    EXPECT_EQ(Validate(P("a.arc")), 0);
}

TEST_F(WriterTest, LevelNone_StoresEvenTextRaw) {
    std::string f = MakeFile("t.txt", TextData(100000));
    {
        TQdxArch2 arc;
        arc.SetCompressionLevel(clNone);
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(f));
    }
    auto blocks = FirstEntryBlocks(ReadAll(P("a.arc")));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].StoredLength, -65536);
    EXPECT_EQ(blocks[1].StoredLength, -(100000 - 65536));
    EXPECT_EQ(Validate(P("a.arc")), 0);
}

TEST_F(WriterTest, ArchiveWithoutCompressFlag_StoresEveryBlockRaw) {
    std::string f = MakeFile("t.txt", TextData(5000));
    {
        TQdxArch2 arc;
        arc.SetOptions(TOptions(DefaultOptions).Exclude(oCompress));
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(f));
    }
    auto blocks = FirstEntryBlocks(ReadAll(P("a.arc")));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].StoredLength, -5000);
    EXPECT_EQ(Validate(P("a.arc")), 0);
}

TEST_F(WriterTest, CodecLevels_FollowTheTable) {
    EXPECT_EQ(TJodArchiver::ZlibLevel(clMaximum), 9);
    EXPECT_EQ(TJodArchiver::ZlibLevel(clNormal), -1);
    EXPECT_EQ(TJodArchiver::ZlibLevel(clFast), 5);
    EXPECT_EQ(TJodArchiver::ZlibLevel(clSuperFast), 1);
    EXPECT_EQ(TJodArchiver::ZlibLevel(clNone), 0);
    EXPECT_EQ(TJodArchiver::ZlibLevel(static_cast<TCompressionLevel>(7)), -1);
}

TEST_F(WriterTest, BlockDeflater_MakesTheStreamsOfCompress2) {
    TBlockDeflater deflater;
    for (int level : {-1, 9, 5, 1, 0, -1})
        for (int kind = 0; kind < 2; ++kind)
            for (std::size_t size : {0u, 1u, 1000u, 1024u, 65536u}) {
                Bytes src = kind ? NoiseData(size, 11) : TextData(size);
                for (std::int32_t capacity : {66191, 1034}) {
                    Bytes a(static_cast<std::size_t>(capacity)), b(a.size());
                    uLongf lenA = static_cast<uLongf>(capacity);
                    bool okA = compress2(a.data(), &lenA, src.data(), src.size(), level) == Z_OK;
                    std::int32_t lenB = capacity;
                    bool okB = deflater.Compress(b.data(), lenB, src.data(), static_cast<std::int32_t>(size), level);
                    ASSERT_EQ(okA, okB) << level << " " << kind << " " << size << " " << capacity;
                    if (okA) {
                        ASSERT_EQ(lenA, static_cast<uLongf>(lenB));
                        ASSERT_TRUE(std::equal(a.begin(), a.begin() + lenB, b.begin()));
                    }
                }
            }
    std::int32_t len = 100;
    std::uint8_t out[100], in[10] = {};
    EXPECT_FALSE(deflater.Compress(out, len, in, 10, 10)); // not a zlib level
    len = 100;
    EXPECT_TRUE(deflater.Compress(out, len, in, 10, 6));
}

TEST_F(WriterTest, MaxBlockSize_IsOnePercentAboveTheBlockSize) {
    TProbeArchiver arc;
    EXPECT_EQ(arc.GetMaxBlockSize(), 66191);
    arc.SetBlockSize(1024);
    EXPECT_EQ(arc.GetMaxBlockSize(), 1034);
}

TEST_F(WriterTest, BlockSize1024_IncompressibleFileIsLeftOutAndReported) {
    std::string bad = MakeFile("noise", NoiseData(3000, 9));
    std::string good = MakeFile("good.txt", TextData(3000));
    TQdxArch2 arc;
    arc.SetBlockSize(1024);
    arc.SetFileName(P("a.arc"));
    int errors = 0;
    std::string entryName;
    bool wasCompressError = false;
    arc.OnError = [&](TArchiverRoot* sender, const Exception& e, const TFileEntry& entry, TErrorAction&) {
        EXPECT_EQ(sender, &arc);
        ++errors;
        entryName = entry.Name;
        wasCompressError = dynamic_cast<const EArchiverCompress*>(&e) != nullptr;
    };
    arc.Open();
    EXPECT_TRUE(arc.AddFile(bad));
    EXPECT_TRUE(arc.LastAddFailed());
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(entryName, "noise");
    EXPECT_TRUE(wasCompressError);
    EXPECT_EQ(arc.Header().EndOffset, 633);
    EXPECT_EQ(arc.Header().ArchiveInfo.FileCount, 0);
    EXPECT_EQ(ReadAll(P("a.arc")).size(), 633u);
    // the next file takes the place of the one left out
    EXPECT_TRUE(arc.AddFile(good));
    EXPECT_FALSE(arc.LastAddFailed());
    EXPECT_EQ(arc.CurrentEntry().Offset, 633);
    arc.Close();
    EXPECT_EQ(Validate(P("a.arc")), 0);
}

TEST_F(WriterTest, OnErrorSettingAbort_LetsTheFailurePropagate) {
    std::string bad = MakeFile("noise", NoiseData(3000, 9));
    TQdxArch2 arc;
    arc.SetBlockSize(1024);
    arc.SetFileName(P("a.arc"));
    arc.OnError = [](TArchiverRoot*, const Exception&, const TFileEntry&, TErrorAction& action) {
        action = eaAbort;
    };
    arc.Open();
    EXPECT_THROW(arc.AddFile(bad), EArchiverCompress);
    arc.Close();
    EXPECT_EQ(Validate(P("a.arc")), 0);
}

TEST_F(WriterTest, AbortDuringAnAdd_PropagatesAndLeavesTheFileOut) {
    std::string first = MakeFile("first.txt", TextData(1000));
    std::string big = MakeFile("big.txt", TextData(200000));
    TQdxArch2 arc;
    arc.SetFileName(P("a.arc"));
    arc.Open();
    ASSERT_TRUE(arc.AddFile(first));
    int blocks = 0;
    arc.OnFileProgress = [&](TArchiverRoot*, int) {
        if (arc.Operation() == TOperation::opAdd && ++blocks == 3)
            Abort();
    };
    EXPECT_THROW(arc.AddFile(big), EAbort);
    arc.OnFileProgress = nullptr;
    EXPECT_EQ(arc.Header().ArchiveInfo.FileCount, 1);
    EXPECT_EQ(arc.Header().SegmentInfo.Size, 1000.0);
    arc.Close();
    EXPECT_EQ(Validate(P("a.arc")), 0);
}

TEST_F(WriterTest, FailureInOnFileAdded_KeepsTheCompletedEntry) {
    std::string f = MakeFile("t.txt", TextData(1000));
    TQdxArch2 arc;
    arc.SetFileName(P("a.arc"));
    bool reported = false;
    arc.OnFileAdded = [](TArchiverRoot*, const TFileEntry&) { throw Exception("handler failed"); };
    arc.OnError = [&](TArchiverRoot*, const Exception&, const TFileEntry&, TErrorAction&) { reported = true; };
    arc.Open();
    EXPECT_TRUE(arc.AddFile(f));
    EXPECT_FALSE(arc.LastAddFailed());
    EXPECT_FALSE(reported);
    EXPECT_EQ(arc.Header().ArchiveInfo.FileCount, 1);
    arc.Close();
    EXPECT_EQ(Validate(P("a.arc")), 0);
}

TEST_F(WriterTest, OnCompressBlock_ShorterResultIsStoredAsGiven) {
    std::string f = MakeFile("t.txt", TextData(2000));
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.OnCompressBlock = [](TArchiverRoot*, std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t*,
                                 std::int32_t srcSize, TCompressionLevel level) {
            EXPECT_EQ(level, clNormal);
            EXPECT_EQ(srcSize, 2000);
            EXPECT_EQ(destSize, 66191);
            std::memcpy(dest, "XYZ", 3);
            destSize = 3;
            return true;
        };
        arc.Open();
        ASSERT_TRUE(arc.AddFile(f));
    }
    Bytes a = ReadAll(P("a.arc"));
    auto blocks = FirstEntryBlocks(a);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].StoredLength, 3);
    EXPECT_EQ(blocks[0].Stored, (Bytes{'X', 'Y', 'Z'}));
    EXPECT_EQ(blocks[0].Crc, 0x826821FFu); // table CRC of "XYZ", register from 0, no final inversion
}

TEST_F(WriterTest, OnCompressBlock_ResultNotShorterIsStoredRaw) {
    std::string f = MakeFile("t.txt", TextData(2000));
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.OnCompressBlock = [](TArchiverRoot*, std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t*,
                                 std::int32_t srcSize, TCompressionLevel) {
            std::memset(dest, 0, static_cast<std::size_t>(srcSize));
            destSize = srcSize;
            return true;
        };
        arc.Open();
        ASSERT_TRUE(arc.AddFile(f));
    }
    auto blocks = FirstEntryBlocks(ReadAll(P("a.arc")));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].StoredLength, -2000);
    EXPECT_EQ(blocks[0].Stored, TextData(2000));
}

TEST_F(WriterTest, OnCompressBlock_FalseLeavesTheFileOut) {
    std::string f = MakeFile("t.txt", TextData(2000));
    TQdxArch2 arc;
    arc.SetFileName(P("a.arc"));
    arc.OnCompressBlock = [](TArchiverRoot*, std::uint8_t*, std::int32_t&, const std::uint8_t*, std::int32_t,
                             TCompressionLevel) { return false; };
    bool reported = false;
    arc.OnError = [&](TArchiverRoot*, const Exception& e, const TFileEntry&, TErrorAction&) {
        reported = dynamic_cast<const EArchiverCompress*>(&e) != nullptr;
    };
    arc.Open();
    EXPECT_TRUE(arc.AddFile(f));
    EXPECT_TRUE(reported);
    EXPECT_EQ(arc.Header().ArchiveInfo.FileCount, 0);
    EXPECT_EQ(arc.Header().SegmentInfo.Size, 0.0);
    EXPECT_EQ(arc.Header().SegmentInfo.CompressedSize, 0.0);
}

TEST_F(WriterTest, MaxSegmentSize_BelowThreeBlocksIsRefused) {
    TQdxArch2 arc;
    EXPECT_THROW(arc.SetMaxSegmentSize(196607), EArchiver);
    EXPECT_EQ(arc.MaxSegmentSize(), 0);
    arc.SetMaxSegmentSize(196608);
    EXPECT_EQ(arc.MaxSegmentSize(), 196608);
    arc.SetMaxSegmentSize(0);
    EXPECT_EQ(arc.MaxSegmentSize(), 0);
    arc.SetMaxSegmentSize(-1);
    EXPECT_EQ(arc.MaxSegmentSize(), -1);
    arc.SetBlockSize(1024);
    arc.SetMaxSegmentSize(3072);
    EXPECT_THROW(arc.SetMaxSegmentSize(3071), EArchiver);
}

TEST_F(WriterTest, Defaults_OfTheSetupComponent) {
    TQdxArch2 arc;
    EXPECT_EQ(arc.PathStorage(), psRelative);
    EXPECT_EQ(arc.MaxSegmentSize(), 0);
    EXPECT_EQ(arc.MinFreeSpace(), 1048576);
    EXPECT_EQ(arc.CompressionLevel(), clNormal);
    EXPECT_EQ(arc.BlockSize(), 65536);
    EXPECT_EQ(arc.Options().Bits(), 0x14D1u);
}

TEST_F(WriterTest, HeaderWrittenWhileAdding_CountsTheUnfinishedFile) {
    std::string f = MakeFile("t.txt", TextData(100));
    std::string g = MakeFile("u.txt", TextData(100));
    TProbeArchiver arc;
    arc.SetFileName(P("a.arc"));
    arc.Open();
    ASSERT_TRUE(arc.AddFile(f));
    std::int32_t onDisk = -1;
    arc.OnCompressBlock = [&](TArchiverRoot*, std::uint8_t*, std::int32_t& destSize, const std::uint8_t*,
                              std::int32_t srcSize, TCompressionLevel) {
        arc.WriteHeader();
        onDisk = I32(ReadAll(P("a.arc")), 49);
        destSize = srcSize;
        return true;
    };
    ASSERT_TRUE(arc.AddFile(g));
    EXPECT_EQ(onDisk, 2);
    EXPECT_EQ(arc.Header().SegmentInfo.FileCount, 2);
    EXPECT_EQ(I32(ReadAll(P("a.arc")), 49), 2);
}

TEST_F(WriterTest, ReadOnlyComponent_RefusesToAddBeforeWriting) {
    std::string f = MakeFile("t.txt", TextData(100));
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.Open();
    }
    Bytes before = ReadAll(P("a.arc"));
    TQdxArch2 arc;
    arc.SetReadOnly(true);
    arc.SetFileName(P("a.arc"));
    arc.Open();
    EXPECT_THROW(arc.AddFile(f), EArchiver);
    EXPECT_THROW(arc.SetComment("x"), EArchiver);
    arc.Close();
    EXPECT_EQ(ReadAll(P("a.arc")), before);
}

TEST_F(WriterTest, CreateReadOnlyOption_MarksTheArchiveAndLaterWritesAreRefused) {
    std::string f = MakeFile("t.txt", TextData(100));
    {
        TQdxArch2 arc;
        arc.SetOptions(TOptions(DefaultOptions).Include(oCreateReadOnly));
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(f));
    }
    Bytes before = ReadAll(P("a.arc"));
    EXPECT_EQ(before[24], 0x0D);
    TQdxArch2 arc;
    arc.SetFileName(P("a.arc"));
    arc.Open();
    EXPECT_THROW(arc.AddFile(f), EArchiver);
    arc.Close();
    EXPECT_EQ(ReadAll(P("a.arc")), before);
}

TEST_F(WriterTest, AddFile_MissingPathAnswersFalseAndWritesNothing) {
    TQdxArch2 arc;
    arc.SetFileName(P("a.arc"));
    arc.Open();
    EXPECT_FALSE(arc.AddFile(P("missing.txt")));
    EXPECT_EQ(ReadAll(P("a.arc")).size(), 633u);
}

TEST_F(WriterTest, OnAddFile_RefusalWritesNothingButAdvancesProgress) {
    std::string f = MakeFile("t.txt", TextData(5000));
    TQdxArch2 arc;
    arc.SetFileName(P("a.arc"));
    std::vector<int> progress;
    arc.OnAddFile = [](TArchiverRoot*, TFileEntry& e, bool& accept) {
        EXPECT_EQ(e.Name, "t.txt");
        EXPECT_EQ(e.FileInfo.Size, 5000);
        accept = false;
    };
    arc.OnFileProgress = [&](TArchiverRoot*, int p) { progress.push_back(p); };
    arc.Open();
    progress.clear();
    EXPECT_TRUE(arc.AddFile(f));
    EXPECT_EQ(ReadAll(P("a.arc")).size(), 633u);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
}

TEST_F(WriterTest, OnAddFile_RenamedEntryIsStoredUnderTheNewName) {
    std::string f = MakeFile("t.txt", TextData(50));
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.OnAddFile = [](TArchiverRoot*, TFileEntry& e, bool&) { e.Name = "docs\\readme.txt"; };
        std::string added;
        arc.OnFileAdded = [&](TArchiverRoot*, const TFileEntry& e) { added = e.Name; };
        arc.Open();
        ASSERT_TRUE(arc.AddFile(f));
        EXPECT_EQ(added, "docs\\readme.txt");
    }
    Bytes a = ReadAll(P("a.arc"));
    EXPECT_EQ(std::string(a.begin() + 637, a.begin() + 637 + 15), "docs\\readme.txt");
    EXPECT_EQ(Validate(P("a.arc")), 0);
}

TEST_F(WriterTest, FolderEntry_HasFlags6AndNoSizes) {
    std::filesystem::create_directories(Dir / "data");
    std::string folder = (Dir / "data" / ".").string();
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(folder));
        EXPECT_FALSE(arc.Modified());
    }
    Bytes a = ReadAll(P("a.arc"));
    ASSERT_EQ(a.size(), 633u + 45 + 1);
    EXPECT_EQ(I32(a, 633), 1);
    EXPECT_EQ(a[637], '.');
    EXPECT_EQ(a[633 + 28 + 1], 6);
    EXPECT_EQ(I32(a, 25), 1);
    EXPECT_EQ(I32(a, 49), 1);
    EXPECT_EQ(Validate(P("a.arc")), 0);
}

TEST_F(WriterTest, StoredName_FollowsPathStorageAndTheStartingDirectory) {
    const char d = PathDelim;
    auto path = [&](std::initializer_list<const char*> parts, bool absolute = true) {
        std::string s = absolute ? std::string(1, d) : std::string();
        bool first = true;
        for (const char* p : parts) {
            if (!first)
                s += d;
            s += p;
            first = false;
        }
        return s;
    };
    TQdxArch2 arc;
    std::string file = path({"src", "proj", "sub", "b.txt"});
    EXPECT_EQ(arc.StoredName(file), "b.txt");
    arc.SetPathStorage(psNone);
    EXPECT_EQ(arc.StoredName(file), "b.txt");
    arc.SetPathStorage(psWhole);
#ifdef _WIN32
    EXPECT_EQ(arc.StoredName(file), file);
#else
    EXPECT_EQ(arc.StoredName(file), "\\src\\proj\\sub\\b.txt");
#endif
    arc.SetPathStorage(psRelative);
    arc.SetStartingDirectory(path({"src", "proj"}) + d);
    EXPECT_EQ(arc.StoredName(file), "sub\\b.txt");
    // the prefix is compared ignoring case
    EXPECT_EQ(arc.StoredName(path({"SRC", "Proj", "x.txt"})), "x.txt");
    arc.SetOptions(TOptions(DefaultOptions).Include(oIncludeStartingDirectory));
    EXPECT_EQ(arc.StoredName(file), "proj\\sub\\b.txt");
    // a path outside the starting directory is stored whole
    arc.SetOptions(DefaultOptions);
    EXPECT_EQ(arc.StoredName(path({"other", "c.txt"})), "\\other\\c.txt");
    // a starting directory without any delimiter keeps its name and the bare file name
    arc.SetOptions(TOptions(DefaultOptions).Include(oIncludeStartingDirectory));
    arc.SetStartingDirectory("proj");
    EXPECT_EQ(arc.StoredName(path({"proj", "sub", "b.txt"}, false)), "proj\\b.txt");
}

TEST_F(WriterTest, Totals_AddUpOverSeveralEntries) {
    std::string f = MakeFile("a.txt", TextData(100000));
    std::string g = MakeFile("b.bin", NoiseData(70000, 4));
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(f));
        ASSERT_TRUE(arc.AddFile(g));
        EXPECT_TRUE(arc.Modified());
        EXPECT_EQ(arc.Header().ArchiveInfo.FileCount, 2);
        EXPECT_EQ(arc.Header().ArchiveInfo.Size, 170000.0);
        EXPECT_EQ(arc.Header().SegmentInfo.CompressedSize, arc.Header().ArchiveInfo.CompressedSize);
    }
    EXPECT_EQ(Validate(P("a.arc")), 0);
}

TEST_F(WriterTest, NewArchiveNamedWithoutADirectory_IsMadeInTheCurrentDirectory) {
    std::string f = MakeFile("t.txt", TextData(1000));
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(Dir);
    {
        TQdxArch2 arc;
        arc.SetFileName("x.arc");
        EXPECT_NO_THROW(arc.Open());
        EXPECT_TRUE(arc.IsOpen());
        if (arc.IsOpen())
            EXPECT_TRUE(arc.AddFile(f));
    }
    std::filesystem::current_path(before);
    EXPECT_EQ(Validate(P("x.arc")), 0);
}

TEST_F(WriterTest, BlockSizeAboveTheReadersBound_IsIgnoredSoTheArchiveReadsBack) {
    std::string f = MakeFile("t.txt", TextData(100000));
    {
        TQdxArch2 arc;
        arc.SetBlockSize(64 * 1024 * 1024 + 1);
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(f));
    }
    EXPECT_EQ(I32(ReadAll(P("a.arc")), 12), 65536);
    TQdxArch2 back;
    back.SetReadOnly(true);
    back.SetFileName(P("a.arc"));
    ASSERT_NO_THROW(back.Open());
    back.ExtractFile("t.txt", P("out/t.txt"));
    EXPECT_EQ(ReadAll(P("out/t.txt")), TextData(100000));
}

// The 132 bytes of user data at offset 73, as another program left them.
Bytes UserDataPattern() {
    Bytes b(132);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(0xA0 ^ i);
    return b;
}

TEST_F(WriterTest, AddingAFile_KeepsTheUserDataThatWasRead) {
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.Open();
    }
    Bytes a = ReadAll(P("a.arc"));
    const Bytes user = UserDataPattern();
    std::copy(user.begin(), user.end(), a.begin() + 73);
    WriteAll(P("a.arc"), a);
    {
        TQdxArch2 arc;
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(MakeFile("t.txt", TextData(5000))));
        arc.SetComment("ignored: the archive holds an entry");
    }
    Bytes after = ReadAll(P("a.arc"));
    EXPECT_EQ(Bytes(after.begin() + 73, after.begin() + 205), user);
    EXPECT_EQ(I32(after, 25), 1);
    // A handler still writes its own bytes.
    {
        TQdxArch2 arc;
        arc.OnWriteUserData = [](TArchiverRoot*, TUserData& u) {
            EXPECT_EQ(u.Data[5], 0) << "the handler gets a zero-filled area";
            u.Data[5] = 0x77;
        };
        arc.SetFileName(P("a.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(MakeFile("u.txt", TextData(10))));
    }
    after = ReadAll(P("a.arc"));
    Bytes expected(132, 0);
    expected[5] = 0x77;
    EXPECT_EQ(Bytes(after.begin() + 73, after.begin() + 205), expected);
}

// Solid archives: one entry whose data is the inner archive.
class SolidTest : public WriterTest {
protected:
    void MakeSolid(const std::vector<std::string>& files) {
        TQdxArch2 arc;
        arc.SetOptions(TOptions(DefaultOptions).Include(oCreateSolidArchives));
        arc.SetFileName(P("s.arc"));
        arc.Open();
        for (const auto& f : files)
            ASSERT_TRUE(arc.AddFile(f));
        arc.Close();
    }
    std::vector<std::string> Names() {
        TQdxArch2 arc;
        arc.SetOptions(TOptions(DefaultOptions).Include(oMaintainFileDirectory));
        arc.SetFileName(P("s.arc"));
        arc.Open();
        std::vector<std::string> names;
        for (const auto& o : arc.FileList())
            names.push_back(o->FileEntry.Name);
        return names;
    }
};

TEST_F(SolidTest, NewSolidArchive_HoldsTheInnerArchiveAsItsOneEntry) {
    MakeSolid({MakeFile("a.txt", TextData(30000)), MakeFile("b.txt", TextData(500))});
    Bytes a = ReadAll(P("s.arc"));
    EXPECT_EQ(a[24], afFinalSegment | afCompressed | afSolid);
    EXPECT_EQ(I32(a, 25), 1);
    EXPECT_EQ(Validate(P("s.arc")), 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "b.txt"}));
    // the inner archive: raw blocks only, no solid or compressed flag
    std::filesystem::create_directories(Dir / "inner");
    std::string cmd = std::string("\"") + KX_PYTHON + "\" \"" + KX_VALIDATOR + "\" \"" + P("s.arc") +
                      "\" --extract \"" + (Dir / "inner").string() + "\"";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string innerName;
    for (auto& e : std::filesystem::directory_iterator(Dir / "inner"))
        innerName = e.path().string();
    Bytes inner = ReadAll(innerName);
    ASSERT_GE(inner.size(), 633u);
    EXPECT_EQ(inner[24], afFinalSegment);
    EXPECT_EQ(Validate(innerName), 0);
}

TEST_F(SolidTest, UnchangedSolidArchive_IsLeftUntouchedAtClose) {
    MakeSolid({MakeFile("a.txt", TextData(3000))});
    Bytes before = ReadAll(P("s.arc"));
    TDateTime age = FileAge(P("s.arc"));
    {
        TQdxArch2 arc;
        arc.SetFileName(P("s.arc"));
        arc.Open();
        EXPECT_TRUE(arc.Solid());
    }
    EXPECT_EQ(ReadAll(P("s.arc")), before);
    EXPECT_EQ(FileAge(P("s.arc")), age);
}

TEST_F(SolidTest, ChangedSolidArchive_IsRebuiltWithTheNewEntry) {
    MakeSolid({MakeFile("a.txt", TextData(3000))});
    std::string tempName;
    {
        TQdxArch2 arc;
        arc.SetFileName(P("s.arc"));
        arc.Open();
        tempName = arc.FileName();
        EXPECT_NE(tempName, P("s.arc"));
        ASSERT_TRUE(arc.AddFile(MakeFile("b.txt", TextData(4000))));
        arc.Close();
        EXPECT_EQ(arc.FileName(), P("s.arc"));
    }
    EXPECT_FALSE(FileExists(tempName));
    EXPECT_EQ(Validate(P("s.arc")), 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

// A solid archive without entries, 633 bytes.
Bytes EmptySolidArchive() {
    Bytes a(633, 0);
    const std::uint8_t head[] = {0x38, 0x12, 0, 0, 1, 0, 0, 0, 0x15, 0xCD, 0x5B, 0x07, 0, 0, 1, 0,
                                 0x79, 2, 0, 0, 1, 0, 0, 0, afFinalSegment | afCompressed | afSolid};
    std::copy(std::begin(head), std::end(head), a.begin());
    return a;
}

TEST_F(SolidTest, ReadOnlyOpenOfAnEmptySolidArchive_LeavesItUntouched) {
    const Bytes empty = EmptySolidArchive();
    WriteAll(P("s.arc"), empty);
    std::string f = MakeFile("a.txt", TextData(100));
    {
        TQdxArch2 arc;
        arc.SetReadOnly(true);
        arc.SetOptions(TOptions(DefaultOptions).Include(oMaintainFileDirectory));
        arc.SetFileName(P("s.arc"));
        arc.Open();
        EXPECT_TRUE(arc.Solid());
        EXPECT_TRUE(arc.FileList().empty());
        EXPECT_THROW(arc.AddFile(f), EArchiver);
        arc.Close();
        EXPECT_TRUE(arc.ReadOnly());
    }
    EXPECT_EQ(ReadAll(P("s.arc")), empty);
}

TEST_F(SolidTest, ReadOnlyOpenOfASolidArchive_RefusesToAddAndLeavesItUntouched) {
    MakeSolid({MakeFile("a.txt", TextData(3000))});
    const Bytes before = ReadAll(P("s.arc"));
    {
        TQdxArch2 arc;
        arc.SetReadOnly(true);
        arc.SetOptions(TOptions(DefaultOptions).Include(oCreateReadOnly));
        arc.SetFileName(P("s.arc"));
        arc.Open();
        EXPECT_THROW(arc.AddFile(MakeFile("b.txt", TextData(10))), EArchiver);
        arc.ExtractFile("a.txt", P("out/a.txt"));
        EXPECT_NO_THROW(arc.Close());
    }
    EXPECT_EQ(ReadAll(P("out/a.txt")), TextData(3000));
    EXPECT_EQ(ReadAll(P("s.arc")), before);
}

TEST_F(SolidTest, Rebuild_LeavesAFileNamedLikeItsBackupAlone) {
    MakeSolid({MakeFile("a.txt", TextData(3000))});
    const Bytes mine = {'m', 'i', 'n', 'e'};
    WriteAll(P("s.arc.~bak"), mine);
    {
        TQdxArch2 arc;
        arc.SetFileName(P("s.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(MakeFile("b.txt", TextData(4000))));
    }
    EXPECT_EQ(ReadAll(P("s.arc.~bak")), mine);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "b.txt"}));
    std::vector<std::string> files;
    for (auto& e : std::filesystem::directory_iterator(Dir))
        files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"a.txt", "b.txt", "s.arc", "s.arc.~bak"}));
}

TEST_F(SolidTest, Rebuild_KeepsTheUserDataOfTheSolidArchive) {
    {
        TQdxArch2 arc;
        arc.SetOptions(TOptions(DefaultOptions).Include(oCreateSolidArchives));
        arc.OnWriteUserData = [](TArchiverRoot*, TUserData& u) { u.Data[0] = 0x42; u.Data[131] = 0x24; };
        arc.SetFileName(P("s.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(MakeFile("a.txt", TextData(3000))));
    }
    ASSERT_EQ(ReadAll(P("s.arc"))[73], 0x42);
    {
        TQdxArch2 arc;
        arc.SetFileName(P("s.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(MakeFile("b.txt", TextData(4000))));
    }
    Bytes a = ReadAll(P("s.arc"));
    EXPECT_EQ(a[73], 0x42);
    EXPECT_EQ(a[73 + 131], 0x24);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(SolidTest, RebuildThatFails_KeepsTheOldSolidArchive) {
    MakeSolid({MakeFile("a.txt", TextData(3000))});
    Bytes before = ReadAll(P("s.arc"));
    {
        TQdxArch2 arc;
        arc.SetFileName(P("s.arc"));
        arc.Open();
        ASSERT_TRUE(arc.AddFile(MakeFile("b.txt", TextData(4000))));
        // the rebuild's one block cannot be compressed
        arc.OnCompressBlock = [](TArchiverRoot* s, std::uint8_t* dest, std::int32_t& destSize,
                                 const std::uint8_t* src, std::int32_t srcSize, TCompressionLevel) {
            if (s->Header().ArchiveFlag & afSolid)
                return false;
            std::memcpy(dest, src, static_cast<std::size_t>(srcSize));
            destSize = srcSize;
            return true;
        };
        arc.Close();
    }
    EXPECT_EQ(ReadAll(P("s.arc")), before);
    std::vector<std::string> files;
    for (auto& e : std::filesystem::directory_iterator(Dir))
        files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"a.txt", "b.txt", "s.arc"})) << "no backup left behind";
}

// A program that links the class chain but never adds a file (the setup) has no
// writing side: no deflate, no solid rebuild. Uninstalled here to see what such a
// program does when it meets a writing operation anyway.
class NoWritingSideTest : public SolidTest {
protected:
    void SetUp() override {
        SolidTest::SetUp();
        FSaved = TCustomArchiver::InstallWritingSide(nullptr);
        ASSERT_NE(FSaved, nullptr) << "the unit of AddFile installs the writing side";
    }
    void TearDown() override {
        EXPECT_EQ(TCustomArchiver::InstallWritingSide(FSaved), nullptr);
        SolidTest::TearDown();
    }
    const TCustomArchiver::TWritingSide* FSaved = nullptr;
};

TEST_F(NoWritingSideTest, ReadingIsUnchanged) {
    TCustomArchiver::InstallWritingSide(FSaved);
    MakeSolid({MakeFile("a.txt", TextData(70144)), MakeFile("b.bin", NoiseData(3000, 5))});
    TCustomArchiver::InstallWritingSide(nullptr);
    const Bytes before = ReadAll(P("s.arc"));
    {
        TQdxArch2 arc;
        arc.SetReadOnly(true);
        arc.SetFileName(P("s.arc"));
        arc.Open();
        arc.ExtractFile("A.TXT", P("out/a.txt"));
        arc.ExtractFile("b.bin", P("out/b.bin"));
    }
    EXPECT_EQ(ReadAll(P("out/a.txt")), TextData(70144));
    EXPECT_EQ(ReadAll(P("out/b.bin")), NoiseData(3000, 5));
    EXPECT_EQ(ReadAll(P("s.arc")), before);
}

TEST_F(NoWritingSideTest, AFileToCompressIsLeftOutWithACompressionError) {
    const std::string f = MakeFile("t.txt", TextData(5000));
    TQdxArch2 arc;
    arc.SetFileName(P("a.arc"));
    bool compressError = false;
    arc.OnError = [&](TArchiverRoot*, const Exception& e, const TFileEntry&, TErrorAction&) {
        compressError = dynamic_cast<const EArchiverCompress*>(&e) != nullptr;
    };
    arc.Open();
    EXPECT_TRUE(arc.AddFile(f));
    EXPECT_TRUE(arc.LastAddFailed());
    EXPECT_TRUE(compressError);
    EXPECT_EQ(arc.Header().ArchiveInfo.FileCount, 0);
    arc.Close();
    EXPECT_EQ(ReadAll(P("a.arc")).size(), 633u);
}

TEST_F(NoWritingSideTest, AnOnCompressBlockHandlerStillCompresses) {
    const std::string f = MakeFile("t.txt", TextData(5000));
    TQdxArch2 arc;
    arc.SetFileName(P("a.arc"));
    arc.OnCompressBlock = [](TArchiverRoot*, std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t*,
                             std::int32_t, TCompressionLevel) {
        const std::uint8_t made[] = {1, 2, 3};
        std::memcpy(dest, made, sizeof made);
        destSize = 3;
        return true;
    };
    arc.Open();
    ASSERT_TRUE(arc.AddFile(f));
    EXPECT_FALSE(arc.LastAddFailed());
    arc.Close();
    auto blocks = FirstEntryBlocks(ReadAll(P("a.arc")));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].StoredLength, 3);
    EXPECT_EQ(blocks[0].Stored, (Bytes{1, 2, 3}));
}

TEST_F(NoWritingSideTest, ASolidArchiveIsReleasedAsItIs) {
    TCustomArchiver::InstallWritingSide(FSaved);
    MakeSolid({MakeFile("a.txt", TextData(3000))});
    TCustomArchiver::InstallWritingSide(nullptr);
    const Bytes before = ReadAll(P("s.arc"));
    std::string tempName;
    {
        TQdxArch2 arc;
        arc.SetFileName(P("s.arc"));
        arc.Open();
        tempName = arc.FileName();
        EXPECT_NE(tempName, P("s.arc"));
        arc.Close();
        EXPECT_EQ(arc.FileName(), P("s.arc"));
        EXPECT_FALSE(arc.Solid());
    }
    EXPECT_FALSE(FileExists(tempName));
    EXPECT_EQ(ReadAll(P("s.arc")), before);
}

TEST_F(NoWritingSideTest, ANewSolidArchiveStaysEmptyAndReadable) {
    std::string tempName;
    {
        TQdxArch2 arc;
        arc.SetOptions(TOptions(DefaultOptions).Include(oCreateSolidArchives));
        arc.SetFileName(P("s.arc"));
        arc.Open();
        tempName = arc.FileName();
        arc.Close();
    }
    EXPECT_FALSE(FileExists(tempName));
    const Bytes a = ReadAll(P("s.arc"));
    ASSERT_EQ(a.size(), 633u);
    EXPECT_EQ(a[24], afFinalSegment | afCompressed | afSolid);
    EXPECT_EQ(I32(a, 16), 633); // EndOffset
    EXPECT_EQ(I32(a, 25), 0);   // no entry
    EXPECT_EQ(Names(), std::vector<std::string>{});
}

} // namespace
} // namespace kx::test
