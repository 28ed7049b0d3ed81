// The notice service against the real MessageBoxA: which box each kind
// shows, what it answers, its title and text. The program raises errors and
// questions; the information kinds are there for any caller, and any other
// kind shows nothing.
#include <gtest/gtest.h>
#include <string>
#include "common/helpers.h"
#include "common/state.h"
#include "support/robot.h"
#include "support/test_util.h"

namespace {

constexpr unsigned Bit(int id) { return 1u << id; }

class NoticeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gDialog = nullptr;
    lstrcpyA(gCaption, "Uninstall Notice Test");
  }
  void TearDown() override { gCaption[0] = 0; }
};

TEST_F(NoticeTest, EachKindShowsItsBoxAndReturnsTheAnswer) {
  struct Case { int kind; int press; unsigned buttons; LPCSTR icon; };
  const Case cases[] = {
      {1, IDOK, Bit(IDOK), IDI_ERROR},
      {0x2001, IDOK, Bit(IDOK), IDI_ERROR},  // bits other than the end flag are ignored
      {2, IDYES, Bit(IDYES) | Bit(IDNO), IDI_QUESTION},
      {2, IDNO, Bit(IDYES) | Bit(IDNO), IDI_QUESTION},
      {0, IDOK, Bit(IDOK), IDI_INFORMATION},
      {8, IDOK, Bit(IDOK), IDI_INFORMATION},
      {4, IDCANCEL, Bit(IDOK) | Bit(IDCANCEL), IDI_INFORMATION},
  };
  for (const Case& c : cases) {
    BoxRobot robot;
    StartRobot(&robot, gCaption, c.press);
    int answer = ShowNotice(c.kind, "Remove %s now?", "C:\\Games\\Demo");
    ASSERT_EQ(1, FinishRobot(&robot)) << "kind " << c.kind;
    EXPECT_EQ(c.press, answer) << "kind " << c.kind;
    EXPECT_EQ(c.buttons, robot.buttons & 0xFFFE) << "kind " << c.kind;
    EXPECT_EQ(LoadIconA(nullptr, c.icon), robot.icon) << "kind " << c.kind;
    EXPECT_STREQ("Remove C:\\Games\\Demo now?", robot.text);
  }
}

TEST_F(NoticeTest, UnknownKindShowsNoBox) {
  BoxRobot robot;
  StartRobot(&robot, gCaption, IDOK, 5);
  for (int kind : {3, 5, 0x42})
    EXPECT_EQ(0, ShowNotice(kind, "never shown")) << "kind " << kind;
  EXPECT_EQ(0, StopRobot(&robot));  // a box would have been answered before the return
}

TEST_F(NoticeTest, LogTextWithTooManyPlaceholdersShowsEmptyTexts) {
  BoxRobot robot;
  StartRobot(&robot, gCaption, IDOK);
  ShowNotice(kNoticeError, "%s|%s|%s|%s", "one");
  ASSERT_EQ(1, FinishRobot(&robot));
  EXPECT_STREQ("one|||", robot.text);
}

TEST_F(NoticeTest, ShortReadShowsOneNoticeAndGoesOn) {
  std::string folder = MakeScratchFolder("notice");
  std::string path = folder + "\\short.bin";
  WriteTextFile(path, "12345");
  DWORD size = 0;
  HANDLE file = OpenFileForReading(path.c_str(), &size);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  char buffer[64] = {};
  BoxRobot robot;
  StartRobot(&robot, gCaption, IDOK, 2);
  EXPECT_FALSE(ReadExactly(file, buffer, 50, path.c_str()));
  EXPECT_EQ(1, StopRobot(&robot));  // one notice, not two
  EXPECT_EQ("Error reading file " + path, std::string(robot.text));
  EXPECT_STREQ("12345", buffer);  // the buffer keeps what was read
  CloseHandle(file);
  RemoveTree(folder);
}

}  // namespace
