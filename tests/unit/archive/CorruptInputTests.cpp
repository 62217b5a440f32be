// Damaged archives: each row names what is wrong and how the reader refuses it.
#include <gtest/gtest.h>

#include <functional>

#include "TestSupport.h"

using namespace kx;
using namespace kxtest;

namespace {

// Base archive: "a.txt" (3000 bytes, 3 zlib blocks) at 633, then "b.txt".
// Entry "a.txt" (n = 5): Offset field at 658, FileInfo.Size 667, PartInfo.Size 675,
// PartInfo.CompressedSize 679, first block at 683.
Bytes BaseArchive() {
    HeaderFields h;
    h.BlockSize = 1024;
    SegmentBuilder s(h);
    s.AddFile("a.txt", TextData(3000, 41), true);
    s.AddFile("b.txt", TextData(1500, 42), true);
    return s.Finish();
}

enum class Refusal {
    AtOpen,       // Open raises EArchiver, the component stays closed
    AtWalk,       // Open succeeds; walking the entries raises EArchiver
    InExtraction, // ExtractFile passes over "a.txt", OnError hears an EArchiver
    BadCRC,       // likewise, with EArchiverBadCRC
};

struct CorruptCase {
    const char* what;
    std::function<void(Bytes&)> damage;
    Refusal refusal;
};

std::ostream& operator<<(std::ostream& os, const CorruptCase& c) { return os << c.what; }

const CorruptCase Cases[] = {
    {"file shorter than a signature", [](Bytes& b) { b.resize(2); }, Refusal::AtOpen},
    {"header cut short", [](Bytes& b) { b.resize(600); }, Refusal::AtOpen},
    {"negative comment length", [](Bytes& b) { SetLE32(b, 629, 0xFFFFFFFFu); }, Refusal::AtOpen},
    {"comment longer than the file", [](Bytes& b) { SetLE32(b, 629, 0x7FFFFFFFu); }, Refusal::AtOpen},
    {"EndOffset beyond the end of the file",
     [](Bytes& b) { SetLE32(b, 16, static_cast<std::uint32_t>(b.size() + 1)); }, Refusal::AtOpen},
    {"EndOffset inside the header", [](Bytes& b) { SetLE32(b, 16, 100); }, Refusal::AtOpen},
    {"negative EndOffset", [](Bytes& b) { SetLE32(b, 16, 0x80000000u); }, Refusal::AtOpen},
    {"BlockSize zero", [](Bytes& b) { SetLE32(b, 12, 0); }, Refusal::AtOpen},
    {"BlockSize beyond any buffer", [](Bytes& b) { SetLE32(b, 12, 0x7FFFFFFFu); }, Refusal::AtOpen},
    {"negative entry name length", [](Bytes& b) { SetLE32(b, 633, 0xFFFFFFFFu); }, Refusal::AtWalk},
    {"entry name length past EndOffset", [](Bytes& b) { SetLE32(b, 633, 0x10000000u); }, Refusal::AtWalk},
    {"EndOffset cuts an entry header", [](Bytes& b) { SetLE32(b, 16, 633 + 30); }, Refusal::AtWalk},
    {"negative PartInfo.CompressedSize", [](Bytes& b) { SetLE32(b, 679, 0x80000000u); }, Refusal::AtWalk},
    {"PartInfo.CompressedSize past EndOffset", [](Bytes& b) { SetLE32(b, 679, 0x7FFFFFF0u); }, Refusal::AtWalk},
    {"entry Offset not its own position", [](Bytes& b) { SetLE32(b, 658, 0); }, Refusal::AtWalk},
    {"negative FileInfo.Size", [](Bytes& b) { SetLE32(b, 667, 0xFFFFFFFFu); }, Refusal::AtWalk},
    {"negative SourceOffset", [](Bytes& b) { SetLE32(b, 662, 0xFFFFFFFFu); }, Refusal::AtWalk},
    {"StoredLength beyond the block buffer", [](Bytes& b) { SetLE32(b, 683, 0x7FFFFFFFu); }, Refusal::InExtraction},
    {"StoredLength of the most negative int32", [](Bytes& b) { SetLE32(b, 683, 0x80000000u); },
     Refusal::InExtraction},
    {"StoredLength larger than its part", [](Bytes& b) { SetLE32(b, 683, GetLE32(b, 683) + 2000); },
     Refusal::InExtraction},
    {"blocks expand past FileInfo.Size",
     [](Bytes& b) {
         SetLE32(b, 667, 100);
         SetLE32(b, 675, 100);
     },
     Refusal::InExtraction},
    {"block check differs", [](Bytes& b) { b[683 + 4] ^= 0x40; }, Refusal::BadCRC},
    {"stored byte flipped", [](Bytes& b) { b[683 + 8 + 5] ^= 0x01; }, Refusal::BadCRC},
};

class CorruptInputTest : public ::testing::TestWithParam<CorruptCase> {};

} // namespace

TEST_P(CorruptInputTest, IsRefusedWithoutHarm) {
    const CorruptCase& c = GetParam();
    TempDir dir;
    Bytes archive = BaseArchive();
    c.damage(archive);
    WriteBytes(dir / "bad.arc", archive);
    TQdxArch2 x;
    x.SetFileName(dir / "bad.arc");
    x.SetReadOnly(true);
    if (c.refusal == Refusal::AtOpen) {
        EXPECT_THROW(x.Open(), EArchiver);
        EXPECT_FALSE(x.IsOpen());
        return;
    }
    ASSERT_NO_THROW(x.Open());
    if (c.refusal == Refusal::AtWalk) {
        EXPECT_THROW(x.EnumerateFiles(), EArchiver);
        EXPECT_THROW(x.ExtractFile("b.txt", dir / "b.txt"), EArchiver);
        EXPECT_THROW(x.ExtractFile("b.txt", dir / "b.txt"), EArchiver) << "a failed walk is not remembered";
        EXPECT_FALSE(Exists(dir / "b.txt"));
        return;
    }
    std::vector<std::string> errors;
    x.OnError = [&](TArchiverRoot*, const Exception& e, const TFileEntry& fe, TErrorAction&) {
        std::string kind = dynamic_cast<const EArchiverBadCRC*>(&e) ? "crc"
                           : dynamic_cast<const EArchiver*>(&e)      ? "archiver"
                                                                     : "other";
        errors.push_back(fe.Name + ":" + kind);
    };
    EXPECT_NO_THROW(x.ExtractFile("a.txt", dir / "a.txt"));
    const char* expected = c.refusal == Refusal::BadCRC ? "a.txt:crc" : "a.txt:archiver";
    EXPECT_EQ(errors, std::vector<std::string>{expected});
    if (Exists(dir / "a.txt")) {
        EXPECT_LT(ReadBytes(dir / "a.txt").size(), 3000u); // never reported whole
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CorruptInputTest, ::testing::ValuesIn(Cases));

// ---- a file that stops delivering -------------------------------------------------

namespace {

// Reads through to the file until the budget of read calls is spent, then returns
// nothing, as a file on a vanished medium would.
class FailingStream : public TStream {
public:
    FailingStream(std::unique_ptr<TStream> inner, int& budget) : FInner(std::move(inner)), FBudget(budget) {}
    std::int32_t Read(void* b, std::int32_t n) override { return FBudget-- > 0 ? FInner->Read(b, n) : 0; }
    std::int32_t Write(const void* b, std::int32_t n) override { return FInner->Write(b, n); }
    std::int64_t Seek(std::int64_t o, TSeekOrigin origin) override { return FInner->Seek(o, origin); }
    void SetSize(std::int64_t n) override { FInner->SetSize(n); }

private:
    std::unique_ptr<TStream> FInner;
    int& FBudget;
};

class FailingExtractor : public TQdxArch2 {
public:
    int budget = 0;
    ~FailingExtractor() override { CloseForDestruction(); }

protected:
    std::unique_ptr<TStream> CreateFileStream(const std::string& name, std::uint16_t mode) override {
        return std::make_unique<FailingStream>(TQdxArch2::CreateFileStream(name, mode), budget);
    }
};

} // namespace

TEST(FailingFile, EveryFailureIsReportedAndNothingPartialPassesAsWhole) {
    Bytes a = TextData(3000, 51), b = NoiseData(2000, 52);
    HeaderFields h;
    h.BlockSize = 1024;
    SegmentBuilder s(h);
    s.AddFile("a.txt", a, true);
    s.AddFile("b.bin", b, true);
    TempDir dir;
    WriteBytes(dir / "data.arc", s.Finish());
    bool completed = false;
    for (int budget = 0; budget < 200 && !completed; ++budget) {
        SCOPED_TRACE(budget);
        std::filesystem::remove(dir / "a.out");
        std::filesystem::remove(dir / "b.out");
        FailingExtractor x;
        x.budget = budget;
        x.SetFileName(dir / "data.arc");
        int errors = 0;
        x.OnError = [&](TArchiverRoot*, const Exception&, const TFileEntry&, TErrorAction&) { ++errors; };
        bool threw = false;
        try {
            x.Open();
            x.ExtractFile("a.txt", dir / "a.out");
            x.ExtractFile("b.bin", dir / "b.out");
        } catch (const Exception&) {
            threw = true;
        }
        if (!threw && errors == 0) {
            EXPECT_EQ(ReadBytes(dir / "a.out"), a);
            EXPECT_EQ(ReadBytes(dir / "b.out"), b);
            completed = true;
        }
    }
    EXPECT_TRUE(completed);
}
