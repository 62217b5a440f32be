// The install script's INI dialect: trimming, comments, sections, case, the three reads.
#include <gtest/gtest.h>

#include "app/MemIniFile.h"

using namespace kx;
using Lines = std::vector<std::string>;

TEST(MemIniFile, TrimsLinesKeysAndValues) {
    TMemIniFile ini("  [ Common ]  \r\n\t Key one  =  some value \t\r\n");
    EXPECT_TRUE(ini.SectionExists("Common"));
    EXPECT_EQ(ini.ReadString("Common", "Key one", "?"), "some value");
    EXPECT_EQ(ini.ReadSectionValues("Common"), (Lines{"Key one=some value"}));
}

TEST(MemIniFile, SkipsEmptyAndCommentLines) {
    TMemIniFile ini("[S]\r\n\r\n; a=1\r\n   ;b=2\r\nc=3\r\n\r\n");
    EXPECT_EQ(ini.ReadSectionValues("S"), (Lines{"c=3"}));
    EXPECT_EQ(ini.ReadString("S", "a", "none"), "none");
    EXPECT_EQ(ini.ReadString("S", "; a", "none"), "none");
}

TEST(MemIniFile, IgnoresLinesBeforeTheFirstSection) {
    TMemIniFile ini("orphan=1\r\nloose line\r\n[S]\r\nk=v\r\n");
    EXPECT_EQ(ini.ReadSections(), (Lines{"S"}));
    EXPECT_EQ(ini.ReadSectionValues("S"), (Lines{"k=v"}));
    EXPECT_EQ(ini.ReadString("", "orphan", "d"), "d");
}

TEST(MemIniFile, SectionsAndKeysMatchInAnyCase) {
    TMemIniFile ini("[common]\nautorun=a.exe\n[GB.GRPNAME]\nGRPNAME=x\n");
    EXPECT_EQ(ini.ReadString("COMMON", "AutoRun", ""), "a.exe");
    EXPECT_EQ(ini.ReadString("Common", "AUTORUN", ""), "a.exe");
    EXPECT_EQ(ini.ReadString("GB.GrpName", "GrpName", ""), "x");
}

TEST(MemIniFile, MissingSectionOrKeyGivesTheDefault) {
    TMemIniFile ini("[S]\nk=v\n");
    EXPECT_EQ(ini.ReadString("T", "k", "def"), "def");
    EXPECT_EQ(ini.ReadString("S", "x", "def"), "def");
    EXPECT_TRUE(ini.ReadSection("T").empty());
    EXPECT_TRUE(ini.ReadSectionValues("T").empty());
}

TEST(MemIniFile, EmptyValueIsNotTheDefault) {
    TMemIniFile ini("[S]\nk=\n");
    EXPECT_EQ(ini.ReadString("S", "k", "def"), "");
}

TEST(MemIniFile, ValueIsTheTextAfterTheFirstEquals) {
    TMemIniFile ini("[S]\nk = a=b = c\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "a=b = c");
    EXPECT_EQ(ini.ReadSection("S"), (Lines{"k"}));
}

TEST(MemIniFile, FirstMatchingKeyWins) {
    TMemIniFile ini("[S]\nk=1\nK=2\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "1");
    EXPECT_EQ(ini.ReadSection("S"), (Lines{"k", "K"}));
}

TEST(MemIniFile, LineWithoutEqualsIsKeptWholeAndHasAnEmptyName) {
    TMemIniFile ini("[S]\n  just words  \nk=v\n");
    EXPECT_EQ(ini.ReadSectionValues("S"), (Lines{"just words", "k=v"}));
    EXPECT_EQ(ini.ReadSection("S"), (Lines{"", "k"}));
    EXPECT_EQ(ini.ReadString("S", "just words", "d"), "d");
}

TEST(MemIniFile, LineEndingsOfEveryKindEndALine) {
    TMemIniFile ini("[S]\ra=1\nb=2\r\nc=3");
    EXPECT_EQ(ini.ReadSectionValues("S"), (Lines{"a=1", "b=2", "c=3"}));
}

TEST(MemIniFile, SectionNamedTwiceContinuesTheFirst) {
    TMemIniFile ini("[S]\na=1\n[T]\nx=0\n[s]\nb=2\n");
    EXPECT_EQ(ini.ReadSections(), (Lines{"S", "T"}));
    EXPECT_EQ(ini.ReadSectionValues("S"), (Lines{"a=1", "b=2"}));
}

TEST(MemIniFile, BracketLinesThatAreNotSections) {
    // "[" alone and "x]" are ordinary lines; "[]" names the empty section.
    TMemIniFile ini("[S]\n[\nx]\n[]\ne=1\n");
    EXPECT_EQ(ini.ReadSectionValues("S"), (Lines{"[", "x]"}));
    EXPECT_EQ(ini.ReadString("", "e", ""), "1");
}

TEST(MemIniFile, DoubleByteTextIsKeptByteForByte) {
    // GBK "\xB0\xB2\xD7\xB0" and a Big5 trail byte 0x5C stay as they are.
    const std::string text = "[GB.GrpName]\r\nGrpName=\xB0\xB2\xD7\xB0 \xA5\x5C\r\n";
    TMemIniFile ini(text);
    EXPECT_EQ(ini.ReadString("gb.grpname", "grpname", ""), "\xB0\xB2\xD7\xB0 \xA5\x5C");
}

TEST(MemIniFile, ControlBytesAndNulAreHandledAsData) {
    const std::string text("[S]\n\x01k\x02=v\0w\x1f\n", 13);
    TMemIniFile ini(text);
    EXPECT_EQ(ini.ReadString("S", "k", ""), std::string("v\0w", 3));
}

TEST(MemIniFile, SetTextReplacesTheContent) {
    TMemIniFile ini("[S]\na=1\n");
    ini.SetText("[T]\nb=2\n");
    EXPECT_FALSE(ini.SectionExists("S"));
    EXPECT_EQ(ini.ReadString("T", "b", ""), "2");
}

TEST(MemIniFile, LinesKeepTheirNumbersAcrossEveryKindOfLineBreak) {
    TMemIniFile ini("loose\r\n[A]\r\n\r\n; note\rk = v\n[b]\nx\r\n[a]\nz=1\n");
    auto a = ini.ReadSectionLines("a");
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].Number, 5);
    EXPECT_EQ(a[0].Text, "k=v");
    EXPECT_EQ(a[1].Number, 9);
    EXPECT_EQ(ini.SectionLine("A"), 2);
    EXPECT_EQ(ini.SectionLine("B"), 6);
    EXPECT_EQ(ini.SectionLine("missing"), 0);
    ASSERT_EQ(ini.IgnoredLines().size(), 1u);
    EXPECT_EQ(ini.IgnoredLines()[0].Number, 1);
    EXPECT_EQ(ini.IgnoredLines()[0].Text, "loose");
}
