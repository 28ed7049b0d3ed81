// Loading the uninstall log: taken lines, numbers, repeats, limits.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "common/state.h"
#include "log/log.h"
#include "startup/startup.h"
#include "support/robot.h"
#include "support/test_util.h"

namespace {

struct Loaded { int number; std::string text; };

std::vector<Loaded> Actions() {
  std::vector<Loaded> result;
  for (int i = 0; i < gActionCount; ++i)
    result.push_back({gActions[i].orderNumber, gActions[i].text});
  return result;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = MakeScratchFolder("log"); }
  void TearDown() override { RemoveTree(folder_); }
  void Load(const std::string& text) { LoadLogText(folder_, text); }
  std::string folder_;
};

TEST_F(LogTest, EmptyFileLoadsNothing) {
  Load("");
  EXPECT_EQ(0, gActionCount);
  EXPECT_EQ(0, gMessageCount);
  EXPECT_STREQ("", GetMessageText(10));
}

TEST_F(LogTest, LastLineWithoutLineEndIsNotRead) {
  Load("A10,Name\r\nP0,C:\\a.txt,0");
  EXPECT_STREQ("Name", GetMessageText(10));
  EXPECT_EQ(0, gActionCount);
  Load("A10,Name\r\nP0,C:\\a.txt,0\r\n");
  ASSERT_EQ(1, gActionCount);
  EXPECT_STREQ("PC:\\a.txt,0", gActions[0].text);
}

// A file that begins with a line end: the empty line before it is no line,
// and the digit-first line after it stays ignored.
TEST_F(LogTest, LeadingLineEndTakesNoLine) {
  const struct { const char* text; int messageCount; } cases[] = {
      {"\n12,text\nA10,Name\n", 1},
      {"\r12,text\rA10,Name\r", 1},
      {"\r\n12,text\r\nA10,Name\r\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    Load(c.text);
    EXPECT_EQ(c.messageCount, gMessageCount);
    EXPECT_STREQ("", GetMessageText(12));
    EXPECT_STREQ("Name", GetMessageText(10));
    EXPECT_EQ(0, gSeenLines.count);
  }
}

TEST_F(LogTest, LineSequences) {
  struct Case {
    const char* lines;
    std::vector<Loaded> actions;
    std::vector<std::pair<int, const char*>> messages;  // id, text
    int messageCount;
  };
  const Case cases[] = {
      {"A10,Name\nA10,Other\n", {}, {{10, "Other"}}, 1},
      {"A10,Some, text, with commas\n", {}, {{10, "Some, text, with commas"}}, 1},
      {"P0,C:\\a.txt,0\nP0,C:\\a.txt,0\n", {{30001, "PC:\\a.txt,0"}}, {{0, "C:\\a.txt,0"}}, 1},
      {"P0,C:\\A.TXT,0\r\nP0,c:\\a.txt,0\r\n", {{30001, "PC:\\A.TXT,0"}}, {{0, "c:\\a.txt,0"}}, 1},
      {"P30500,C:\\a.txt,0\nP30500,C:\\a.txt,0\n",
       {{30500, "PC:\\a.txt,0"}, {30500, "PC:\\a.txt,0"}}, {}, 0},
      {"P0,x,0\nP30500,y,0\nP0,z,0\n",
       {{30001, "Px,0"}, {30003, "Pz,0"}, {30500, "Py,0"}}, {}, 0},
      {"B0,0,a,m,0\nB0,0,b,m,0\nB0,0,c,m,0\n",
       {{3997, "B0,c,m,0"}, {3998, "B0,b,m,0"}, {3999, "B0,a,m,0"}}, {}, 0},
      {"P65535,C:\\a.txt,0\n", {}, {}, 0},
      {"P5,Hello\nP0,x,0\n", {{30002, "Px,0"}}, {{5, "Hello"}}, 1},
      {"Files:\n[Section]\n12,text\n\n\r\n", {}, {}, 0},
      {"A5\n", {}, {{5, ""}}, 1},
      {"A0,zero\nA1000,top\nA1001,first action\n",
       {{1001, "Afirst action"}}, {{0, "zero"}, {1000, "top"}}, 2},
      {"J0,2,K,\nK0,C:\\s.dll\nM0,C:\\p.ini,S,\nU0,C:\\d,1\nC0,l,f\nD0,l,f\nE0,x\n",
       {{4001, "Cl,f"}, {5001, "Dl,f"}, {7001, "Ex"}, {19999, "J2,K,"},
        {20001, "KC:\\s.dll"}, {21001, "MC:\\p.ini,S,"}, {64999, "UC:\\d,1"}}, {}, 0},
      {"Q0,unknown letter\nQ2000,kept\n", {{2000, "Qkept"}}, {{0, "unknown letter"}}, 1},
      {"P12abc,x\n", {}, {{12, "x"}}, 1},
      {"p0,lower,0\n", {}, {{0, "lower,0"}}, 1},
      // Counters keep moving for lines with their own numbers.
      {"J19000,2,A,\nJ0,2,B,\nU0,C:\\x,1\nU0,C:\\y,1\n",
       {{19000, "J2,A,"}, {19998, "J2,B,"}, {64998, "UC:\\y,1"}, {64999, "UC:\\x,1"}}, {}, 0},
  };
  for (const Case& c : cases) {
    Load(c.lines);
    std::vector<Loaded> got = Actions();
    ASSERT_EQ(c.actions.size(), got.size()) << c.lines;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(c.actions[i].number, got[i].number) << c.lines << " #" << i;
      EXPECT_EQ(c.actions[i].text, got[i].text) << c.lines << " #" << i;
    }
    EXPECT_EQ(c.messageCount, gMessageCount) << c.lines;
    for (auto& m : c.messages) EXPECT_STREQ(m.second, GetMessageText(m.first)) << c.lines;
  }
}

TEST_F(LogTest, RepeatedMessageKeepsItsPlace) {
  Load("A10,Name\nA20,x\nA10,Other\n");
  EXPECT_EQ(0, FindMessageIndex(10));
  EXPECT_EQ(1, FindMessageIndex(20));
  EXPECT_EQ(kNoMessage, FindMessageIndex(30));
  EXPECT_STREQ("Other", GetMessageText(10));
}

TEST_F(LogTest, ActionLimitIs19999) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "P" + std::to_string(30001 + i) + ",f" + std::to_string(i) + ",0\n";
  text += "A10,after the limit\n";
  Load(text);
  EXPECT_EQ(kMaxActions, gActionCount);
  EXPECT_EQ(30001 + 19998, gActions[gActionCount - 1].orderNumber);
  EXPECT_STREQ("after the limit", GetMessageText(10));  // message lines still load
}

TEST_F(LogTest, MessageTableLimitIgnoresSurplusIds) {
  std::string text;
  for (int i = 0; i < 1100; ++i) text += "A" + std::to_string(i) + ",m" + std::to_string(i) + "\n";
  text += "A5,replaced\n";
  Load(text);
  EXPECT_EQ(kMaxMessages, gMessageCount);
  EXPECT_STREQ("m999", GetMessageText(999));
  EXPECT_STREQ("", GetMessageText(1000));  // id 1000 came after the table was full
  EXPECT_STREQ("replaced", GetMessageText(5));
}

TEST_F(LogTest, LongNumberPartAndLongTextStayInBounds) {
  std::string digits(200, '9');
  std::string longText(3000, 't');
  Load("P" + digits + ",x,0\nA10," + longText + "\n");
  EXPECT_EQ(511, lstrlenA(GetMessageText(10)));  // cut to the result buffer
  // 63 nines wrap in 32 bits; the line still loads as something, never overflows.
  EXPECT_EQ(1, gActionCount + gMessageCount - 1);
}

TEST_F(LogTest, OverlongNameIsCutIntoTheCaptionFields) {
  Load("A10," + std::string(300, 'n') + "\nA48,Uninstall\n");
  BuildCaption();
  // The product name and the caption hold at most 127 characters.
  EXPECT_EQ(std::string(127, 'n'), gProductName);
  EXPECT_EQ("Uninstall " + std::string(127 - 10, 'n'), gCaption);
}

TEST_F(LogTest, FullSeenLineSetTreatsNewLinesAsRepeats) {
  std::string text;
  for (int i = 0; i < kSetCapacity + 5; ++i) text += "K0,C:\\f" + std::to_string(i) + "\n";
  Load(text);
  EXPECT_EQ(kSetCapacity, gSeenLines.count);
  EXPECT_EQ(kMaxActions, gActionCount);  // the set filled after the record limit
}

TEST_F(LogTest, MissingLogEndsTheProcessAfterTheNotice) {
  std::string missing = folder_ + "\\nothing here.ini";
  BoxRobot robot;
  StartRobot(&robot, "", IDOK);
  int code = RunChild("\"" + TestBinFolder() + "\\log_child.exe\" \"" + missing + "\"");
  FinishRobot(&robot);
  EXPECT_EQ(0, code);  // exit code 0 even on the fatal path
  EXPECT_EQ(1, robot.found);
  EXPECT_EQ("Can't open uninstal log file " + missing + "!", std::string(robot.text));
}

TEST_F(LogTest, ChildLoadsAnExistingLogAndGoesOn) {
  std::string path = folder_ + "\\uninstal.ini";
  WriteTextFile(path, "A10,x\nP0,C:\\a,0\n");
  int code = RunChild("\"" + TestBinFolder() + "\\log_child.exe\" \"" + path + "\"");
  EXPECT_EQ(101, code);  // 100 + action count: loading went on and returned
}

}  // namespace
