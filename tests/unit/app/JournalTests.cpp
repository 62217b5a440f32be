// The journal on its own: its lines as they are written and read back (torn,
// damaged and foreign ones), "WinInit.ini" lines, and what a rollback does with
// files that are held, on both Windows families.
#include <gtest/gtest.h>

#include "app/Journal.h"
#include "base/Exception.h"
#include "base/Text.h"
#include "unit/app/FakeMachine.h"

using namespace kx;
using namespace kxtest;

namespace {

const std::string kKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme";

std::string Folder() { return TFakeMachine::Root() + "C/Acme/"; }
std::string JournalPath(TFakeMachine& m) { return m.WindowsDir() + "acme.jnl"; }

} // namespace

TEST(JournalLine, FieldsWithControlBytesAndPercentsComeBackWhole) {
    const TJournalEntry e{TJournalOp::Value, {"SOFTWARE\\A\tB", "name%20with\r\n", "1:416300"}};
    const std::string line = EncodeJournalLine(e);
    EXPECT_EQ(line.substr(0, line.find("\t#")), "value\tSOFTWARE\\A%09B\tname%2520with%0D%0A\t1:416300");
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    TJournalEntry back;
    ASSERT_TRUE(DecodeJournalLine(line.substr(0, line.size() - 1), back));
    EXPECT_EQ(back, e);
}

struct TBadLine {
    const char* Name;
    std::string Line;
};

class JournalBadLine : public testing::TestWithParam<TBadLine> {};

TEST_P(JournalBadLine, IsRefused) {
    TJournalEntry e;
    EXPECT_FALSE(DecodeJournalLine(GetParam().Line, e));
}

std::string Sealed(const std::string& body) {
    // The line of a valid "new" entry with one byte of its body changed after sealing.
    std::string line = EncodeJournalLine(TJournalEntry{TJournalOp::NewFile, {"C:\\a.txt"}});
    line.pop_back();
    line.pop_back();
    return body.empty() ? line : line.replace(0, body.size(), body);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, JournalBadLine,
    testing::Values(TBadLine{"Empty", ""}, TBadLine{"NoHash", "new\tC:\\a.txt"},
                    TBadLine{"TornHash", Sealed("").substr(0, Sealed("").size() - 3)},
                    TBadLine{"ChangedByte", Sealed("neW")}, TBadLine{"UnknownName", Sealed("NEW")},
                    TBadLine{"WrongFieldCount", EncodeJournalLine(TJournalEntry{TJournalOp::Aside, {"only one"}})},
                    TBadLine{"BadValueData", EncodeJournalLine(TJournalEntry{TJournalOp::Value, {"K", "N", "1:4"}})},
                    TBadLine{"BadEscape", EncodeJournalLine(TJournalEntry{TJournalOp::NewFile, {"%"}})}),
    [](const testing::TestParamInfo<TBadLine>& i) { return std::string(i.param.Name); });

TEST(JournalFile, ReadingStopsAtTheFirstLineThatIsNotWhole) {
    TFakeMachine m;
    m.PutDir(Folder());
    {
        TJournal j(m, JournalPath(m), kKey);
        j.Begin({Folder()});
        j.WriteFile(Folder() + "a.txt", "A");
    }
    std::string text = m.FileBytes(JournalPath(m));
    TJournalContents c;
    ASSERT_TRUE(ParseJournal(text, c));
    EXPECT_EQ(c.RegKey, kKey);
    // The folder of the directory page, the staging folder beside the file, the staging name, the new file.
    ASSERT_EQ(c.Entries.size(), 4u);
    EXPECT_EQ(c.Entries[0], (TJournalEntry{TJournalOp::Dir, {TFakeMachine::Root() + "C/Acme"}}));
    EXPECT_EQ(c.Entries[1].Op, TJournalOp::StageDir);
    EXPECT_EQ(c.Entries[2].Op, TJournalOp::Temp);
    EXPECT_EQ(c.Entries[3], (TJournalEntry{TJournalOp::NewFile, {Folder() + "a.txt"}}));
    EXPECT_FALSE(c.Committed);

    // Stopped while the last line was written: that entry's change had not begun.
    ASSERT_TRUE(ParseJournal(text.substr(0, text.size() - 5), c));
    EXPECT_EQ(c.Entries.size(), 3u);
    // A line damaged in the middle ends what is read.
    text[text.find("\r\nnew\t") + 3] = 'E';
    ASSERT_TRUE(ParseJournal(text, c));
    EXPECT_EQ(c.Entries.size(), 3u);
    EXPECT_FALSE(ParseJournal("kxJournal\t1\t" + kKey + "\r\n", c)) << "a header without its hash";
    EXPECT_FALSE(ParseJournal("", c));
}

TEST(JournalFile, AVoidThatPointsForwardEndsWhatIsRead) {
    const std::string header = [] {
        TFakeMachine m;
        TJournal j(m, JournalPath(m), kKey);
        j.Begin();
        return m.FileBytes(JournalPath(m));
    }();
    TJournalContents c;
    ASSERT_TRUE(ParseJournal(header + EncodeJournalLine({TJournalOp::NewFile, {"a"}}) +
                                 EncodeJournalLine({TJournalOp::Void, {"5"}}) +
                                 EncodeJournalLine({TJournalOp::NewFile, {"b"}}),
                             c));
    EXPECT_EQ(c.Entries.size(), 1u);
}

struct TRenameCase {
    const char* Name;
    std::string Before, After;
};

class RenameLines : public testing::TestWithParam<TRenameCase> {};

TEST_P(RenameLines, GoAtTheEndOfTheRenameSection) {
    EXPECT_EQ(AddRenameLines(GetParam().Before, {{"C:\\A.EXE", "C:\\~KX1.NEW"}, {"NUL", "C:\\B.OLD"}}),
              GetParam().After);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RenameLines,
    testing::Values(TRenameCase{"NoFile", "", "[rename]\r\nC:\\A.EXE=C:\\~KX1.NEW\r\nNUL=C:\\B.OLD\r\n"},
                    TRenameCase{"OtherSectionOnly", "[other]\r\nx=1\r\n",
                                "[other]\r\nx=1\r\n[rename]\r\nC:\\A.EXE=C:\\~KX1.NEW\r\nNUL=C:\\B.OLD\r\n"},
                    TRenameCase{"RenameFirstDuplicatesKept", "[Rename]\r\nNUL=C:\\X\r\nNUL=C:\\Y\r\n[other]\r\nx=1\r\n",
                                "[Rename]\r\nNUL=C:\\X\r\nNUL=C:\\Y\r\nC:\\A.EXE=C:\\~KX1.NEW\r\nNUL=C:\\B.OLD\r\n"
                                "[other]\r\nx=1\r\n"},
                    TRenameCase{"RenameLastWithoutLineEnd", "[x]\r\n[rename]\r\nNUL=C:\\X",
                                "[x]\r\n[rename]\r\nNUL=C:\\X\r\nC:\\A.EXE=C:\\~KX1.NEW\r\nNUL=C:\\B.OLD\r\n"}),
    [](const testing::TestParamInfo<TRenameCase>& i) { return std::string(i.param.Name); });

// The run's new file is held when the rollback comes (a program it started):
// the NT family renames it out of the way, deletes it at the restart and puts
// the old file back at once; the 9x family puts the old file back at the restart.
TEST(Rollback, HeldNewFileOnBothFamilies) {
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT" : "9x");
        TFakeMachine m;
        m.NT = nt;
        m.PutDir(Folder());
        m.PutFile(Folder() + "tool.exe", "old tool");
        const TMachineState before = m.State;
        TJournal j(m, JournalPath(m), kKey);
        j.Begin();
        j.WriteFile(Folder() + "tool.exe", "new tool");
        m.Running.insert(UpperCase(Folder() + "tool.exe"));
        const TUndoOutcome undo = j.Rollback();
        EXPECT_EQ(undo.AtRestart, std::vector<std::string>{Folder() + "tool.exe"});
        EXPECT_TRUE(undo.Failed.empty());
        EXPECT_EQ(m.FileBytes(Folder() + "tool.exe"), nt ? "old tool" : "new tool");
        m.Restart();
        EXPECT_EQ(Differences(before, m.State), "");
    }
}

TEST(Rollback, FolderOfAHeldFileFollowsItAtTheRestart) {
    TFakeMachine m;
    m.PutDir(TFakeMachine::Root() + "C/Acme");
    const TMachineState before = m.State;
    TJournal j(m, JournalPath(m), kKey);
    j.Begin();
    std::vector<std::string> made;
    ASSERT_TRUE(j.MakeDirs(Folder() + "bin/", made));
    j.WriteFile(Folder() + "bin/tool.exe", "new tool");
    m.Running.insert(UpperCase(Folder() + "bin/tool.exe"));
    j.Rollback();
    EXPECT_EQ(m.State.PendingMoves.size(), 2u) << "the file, then its folder";
    m.Restart();
    EXPECT_EQ(Differences(before, m.State), "");
}

TEST(Commit, SetAsideFileThatIsHeldGoesAtTheRestart) {
    TFakeMachine m;
    m.PutDir(Folder());
    m.PutFile(Folder() + "tool.exe", "old tool");
    TJournal j(m, JournalPath(m), kKey);
    j.Begin();
    j.WriteFile(Folder() + "tool.exe", "new tool");
    std::string aside;
    for (const auto& [k, f] : m.State.Files)
        if (f.Bytes == "old tool") aside = f.Path;
    ASSERT_FALSE(aside.empty());
    m.Running.insert(UpperCase(aside));
    const TUndoOutcome done = j.Commit();
    EXPECT_EQ(done.AtRestart, std::vector<std::string>{aside});
    EXPECT_FALSE(m.HasFile(JournalPath(m)));
    m.Restart();
    EXPECT_FALSE(m.HasFile(aside));
    EXPECT_EQ(m.FileBytes(Folder() + "tool.exe"), "new tool");
}

TEST(Recovery, AJournalWithoutItsHeaderIsRemovedAndNothingElseTouched) {
    TFakeMachine m;
    m.PutFile(JournalPath(m), "kxJour");
    const TMachineState withoutJournal = [&] {
        TMachineState s = m.State;
        s.Files.erase(UpperCase(JournalPath(m)));
        return s;
    }();
    TUndoOutcome outcome;
    EXPECT_EQ(TJournal::Recover(m, JournalPath(m), kKey, outcome), TJournal::TRecovery::None);
    EXPECT_EQ(Differences(withoutJournal, m.State), "");
}

TEST(Registry, OverwrittenAndNewValuesAndMadeKeysAreUndone) {
    TFakeMachine m;
    m.PutValue("SOFTWARE\\Acme", "Old", RegString("before"));
    const TMachineState before = m.State;
    TJournal j(m, JournalPath(m), kKey);
    j.Begin();
    std::vector<std::string> made;
    ASSERT_TRUE(j.MakeKeys("SOFTWARE\\Acme\\Tool\\Sub", made));
    EXPECT_EQ(made, (std::vector<std::string>{"SOFTWARE\\Acme\\Tool", "SOFTWARE\\Acme\\Tool\\Sub"}));
    j.SetValue("SOFTWARE\\Acme", "Old", RegDword(7));
    j.SetValue("SOFTWARE\\Acme\\Tool\\Sub", "New", RegString("x"));
    m.FailAt(TChange::Registry, m.Changes(TChange::Registry) + 1);
    EXPECT_THROW(j.SetValue("SOFTWARE\\Acme", "Refused", RegString("y")), Exception);
    j.Rollback();
    EXPECT_EQ(Differences(before, m.State), "");
}

// Between the run and its rollback a folder of the run was swapped for a link
// to another place: the rollback removes nothing through it and says so.
TEST(Rollback, NothingIsRemovedThroughALink) {
    TFakeMachine m;
    m.PutDir(Folder());
    TJournal j(m, JournalPath(m), kKey);
    j.Begin();
    std::vector<std::string> made;
    ASSERT_TRUE(j.MakeDirs(Folder() + "bin/", made));
    j.WriteFile(Folder() + "bin/tool.exe", "new tool");
    // The link and what it reaches stand for the swap: bin now leads elsewhere.
    m.ReparsePoints.insert(UpperCase(Folder() + "bin"));
    const TUndoOutcome undo = j.Rollback();
    EXPECT_TRUE(m.HasFile(Folder() + "bin/tool.exe")) << "not deleted through the link";
    EXPECT_TRUE(m.State.Dirs.count(UpperCase(Folder() + "bin")));
    EXPECT_FALSE(undo.Failed.empty());
}
