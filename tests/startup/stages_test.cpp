// The two stages through the real program: a copy of the built uninstaller
// with a log-name tail appended, as an installer leaves it, started in a
// child process with its own temporary folder. A robot answers the notices.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <thread>
#include "resources/resource.h"
#include "startup/startup.h"
#include "support/robot.h"
#include "support/test_util.h"

namespace {

const char kCaption[] = "Uninstall Sample Product";
const char kLog[] =
    "A10,Sample Product\r\n"
    "A48,Uninstall\r\n"
    "A43,Remove %s and all of its parts?\r\n"
    "A36,Can't copy %s to %s.\r\n"
    "A49,Can't start %s.\r\n"
    "A13,Finish\r\n"
    "A47,%s is removed at the next restart.\r\n"
    "A50,All done.\r\n";
constexpr DWORD kWaitMs = 30000;

std::string Lower(std::string text) {
  CharLowerA(&text[0]);
  return text;
}

// The restart-time rename list, each name followed by "|", lower case.
std::string PendingDeletions() {
  std::string joined;
  for (const auto& rename : PendingRenames()) joined += rename.first + "|" + rename.second + "|";
  return Lower(joined);
}

bool WaitForPendingDeletion(const std::string& path) {
  return WaitUntil([&] { return PendingDeletions().find(Lower(path)) != std::string::npos; },
                   kWaitMs);
}

// Libraries that a program loads by name, planted where any user can write:
// with Wine told to prefer them, each notes every process that loads it.
const char* const kPlantedNames[] = {"version", "shcore",  "uxtheme",  "userenv",
                                     "propsys", "dwmapi", "cryptbase"};
const char kPreferPlanted[] = "version,shcore,uxtheme,userenv,propsys,dwmapi,cryptbase=n,b";

// One install: a folder with the program, its tail and its log, and a
// temporary folder of its own that the children get through TMP and TEMP.
// Both hold planted libraries, which no stage may load.
class Stages : public ::testing::Test {
 protected:
  void SetUp() override {
    GetEnvironmentVariableA("TMP", oldTmp_, sizeof oldTmp_);
    GetEnvironmentVariableA("TEMP", oldTemp_, sizeof oldTemp_);
    root_ = MakeScratchFolder("stages");
    install_ = root_ + "\\Sample Product";
    temp_ = root_ + "\\tmp";
    planted_ = root_ + "\\planted.txt";
    CreateDirectoryA(install_.c_str(), nullptr);
    CreateDirectoryA(temp_.c_str(), nullptr);
    UseTemporaryFolder(temp_);
    for (const std::string& folder : {install_, temp_})
      for (const char* name : kPlantedNames)
        ASSERT_TRUE(CopyFileA((TestBinFolder() + "\\run_library.dll").c_str(),
                              (folder + "\\" + name + ".dll").c_str(), FALSE));
    SetEnvironmentVariableA("PLANTED_MARKER", planted_.c_str());
    SetEnvironmentVariableA("WINEDLLOVERRIDES", kPreferPlanted);
  }
  void TearDown() override {
    SetEnvironmentVariableA("PLANTED_MARKER", nullptr);
    SetEnvironmentVariableA("WINEDLLOVERRIDES", nullptr);
    SetEnvironmentVariableA("TMP", oldTmp_);
    SetEnvironmentVariableA("TEMP", oldTemp_);
    EXPECT_FALSE(PathExists(planted_)) << "planted libraries loaded:\n" << ReadTextFile(planted_);
    RemoveTree(root_);
  }
  // Stage one's copy: the program in the one new folder below the
  // temporary folder ("" when there is none).
  std::string Copy(const std::string& temp) {
    std::string found;
    WalkTree(temp, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          std::string(entry.cFileName).rfind(kCopyFolderPrefix, 0) == 0)
        found = path + "\\uninstaller.exe";
    });
    return found;
  }
  void UseTemporaryFolder(const std::string& folder) {
    SetEnvironmentVariableA("TMP", folder.c_str());
    SetEnvironmentVariableA("TEMP", folder.c_str());
  }
  // Copies the built program, appends the installer's names and writes the
  // log (none when logName is null).
  std::string Install(const std::string& tail = "", const char* logName = "uninstal.ini",
                      const std::string& log = kLog) {
    std::string program = install_ + "\\uninstaller.exe";
    std::string image = ReadTextFile(DistPath("uninstaller.exe"));
    EXPECT_GT(image.size(), 0u);
    WriteTextFile(program, image + tail);
    if (logName) WriteTextFile(install_ + "\\" + logName, log);
    return program;
  }
  std::string root_, install_, temp_, planted_;
  char oldTmp_[MAX_PATH] = "", oldTemp_[MAX_PATH] = "";
};

TEST_F(Stages, MissingLogEndsWithTheNoticeAndExitCodeZero) {
  std::string program = Install(std::string("nolog.ini\0", 10), nullptr);
  BoxRobot robot;
  StartRobot(&robot, "", IDOK, 1, kWaitMs);  // before the log is read the caption is empty
  EXPECT_EQ(RunChild("\"" + program + "\""), 0);
  ASSERT_EQ(FinishRobot(&robot), 1);
  EXPECT_EQ(std::string(robot.text),
            "Can't open uninstal log file " + install_ + "\\nolog.ini!");
}

TEST_F(Stages, AnsweringNoLeavesEverythingInPlace) {
  // The shipped tail alone names uninstal.ini.
  std::string program = Install();
  BoxRobot robot;
  StartRobot(&robot, kCaption, IDNO, 1, kWaitMs);
  EXPECT_EQ(RunChild("\"" + program + "\""), 0);
  ASSERT_EQ(FinishRobot(&robot), 1);
  EXPECT_STREQ(robot.text, "Remove Sample Product and all of its parts?");
  EXPECT_TRUE(robot.buttons & (1u << IDYES));
  EXPECT_EQ(Copy(temp_), "");  // nothing copied or started
}

TEST_F(Stages, YesCopiesRelaunchesAndTheDialogFinishes) {
  // An installer's own log name after the shipped tail; a folder with spaces.
  std::string program = Install(std::string("product.log\0", 12), "product.log");
  BoxRobot robot;
  StartRobot(&robot, kCaption, IDYES, 1, kWaitMs);
  EXPECT_EQ(RunChild("\"" + program + "\""), 0);  // stage one does not wait
  ASSERT_EQ(FinishRobot(&robot), 1);

  const std::string copy = Copy(temp_);
  EXPECT_TRUE(PathExists(copy));
  HWND dialog = WaitForDialog(kCaption, IDC_PROGRESS, kWaitMs);
  ASSERT_NE(dialog, nullptr);
  DWORD processId = 0;
  GetWindowThreadProcessId(dialog, &processId);
  HANDLE stageTwo =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  ASSERT_NE(stageTwo, nullptr);

  // The finishing notes name the running copy.
  WaitUntil([&] { return IsWindowVisible(GetDlgItem(dialog, IDC_FINISH)) != FALSE; }, kWaitMs);
  EXPECT_EQ(ListBoxLines(dialog, IDC_PROGRESS),
            (std::vector<std::string>{"All done.", copy + " is removed at the next restart."}));
  PressButton(dialog, IDC_FINISH);

  ASSERT_EQ(WaitForSingleObject(stageTwo, kWaitMs), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(stageTwo, &code);
  CloseHandle(stageTwo);
  EXPECT_EQ(code, 0u);
  // The copy first, then its folder, which is only removed empty.
  std::string folder = copy.substr(0, copy.rfind('\\'));
  ASSERT_TRUE(WaitForPendingDeletion(folder + "|"));
  EXPECT_LT(PendingDeletions().find(Lower(copy)), PendingDeletions().find(Lower(folder) + "|"));
}

TEST_F(Stages, SilentRunsBothStagesWithoutAsking) {
  std::string program = Install(std::string("\0", 1));  // no name: uninstal.ini
  // No robot: a question would hold the child until the time-out.
  EXPECT_EQ(RunChild("\"" + program + "\" -s", kWaitMs), 0);
  EXPECT_TRUE(WaitForPendingDeletion(Copy(temp_)));
}

// Started by hand with a log path, the program runs stage two where it
// lies: its own file goes at the restart, its folder stays.
TEST_F(Stages, StageTwoStartedByHandKeepsItsFolder) {
  std::string program = Install();
  EXPECT_EQ(RunChild("\"" + program + "\" -s \"" + install_ + "\\uninstal.ini\"", kWaitMs), 0);
  ASSERT_TRUE(WaitForPendingDeletion(program));
  EXPECT_EQ(PendingDeletions().find(Lower(install_) + "|"), std::string::npos);
}

// A hostile program overwrites every program below the temporary folder
// while an early line runs: the copy, held open, is not among them, stage
// two is stage one's own copy and the late phase runs.
TEST_F(Stages, AnEarlyProgramCannotSwapTheCopy) {
  std::string late = install_ + "\\late.txt";
  WriteTextFile(late, "removed by stage two");
  std::string swap = "E0,\"" + TestBinFolder() + "\\run_marker.exe\" swap " + temp_ + "\r\n";
  std::string program = Install("", "uninstal.ini", kLog + swap + "P0," + late + ",0\r\n");
  EXPECT_EQ(RunChild("\"" + program + "\" -s", kWaitMs), 0);
  EXPECT_TRUE(WaitForPendingDeletion(Copy(temp_)));
  EXPECT_FALSE(PathExists(late));
}

// Two packages whose uninstallers share a name: the second runs while the
// first one's copy is still open, and both complete.
TEST_F(Stages, TwoUninstallersOfOneNameBothComplete) {
  std::string first = Install();
  EXPECT_EQ(RunChild("\"" + first + "\" -s", kWaitMs), 0);
  std::string firstCopy = Copy(temp_);
  ASSERT_TRUE(WaitForPendingDeletion(firstCopy));
  HANDLE held = CreateFileA(firstCopy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  install_ = root_ + "\\Other Product";
  CreateDirectoryA(install_.c_str(), nullptr);
  std::string second = Install();
  EXPECT_EQ(RunChild("\"" + second + "\" -s", kWaitMs), 0);
  CloseHandle(held);
  int copies = 0;
  WalkTree(temp_, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
    if (!lstrcmpiA(entry.cFileName, "uninstaller.exe")) copies += WaitForPendingDeletion(path);
  });
  EXPECT_EQ(copies, 2);
}

TEST_F(Stages, FailedCopyEndsWithMessage36) {
  std::string program = Install();
  UseTemporaryFolder(root_ + "\\missing");
  BoxRobot robot;
  StartRobot(&robot, kCaption, IDOK, 1, kWaitMs);
  EXPECT_EQ(RunChild("\"" + program + "\" -S"), 0);
  ASSERT_EQ(FinishRobot(&robot), 1);
  // The copy's folder could not be made: the path it was meant for.
  std::string text = robot.text;
  std::string start = "Can't copy " + program + " to " + root_ + "\\missing\\" + kCopyFolderPrefix;
  EXPECT_EQ(text.substr(0, start.size()), start);
  EXPECT_EQ(text.substr(text.size() - 17), "\\uninstaller.exe.");
}

// Run from the temporary folder itself, the copy goes to a new folder below
// it as ever.
TEST_F(Stages, RunFromTheTemporaryFolderTheCopyGoesBelowIt) {
  std::string program = Install();
  UseTemporaryFolder(install_);
  char oldCurrent[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof oldCurrent, oldCurrent);
  SetCurrentDirectoryA(install_.c_str());
  int code = RunChild("\"" + program + "\" -s", kWaitMs);
  SetCurrentDirectoryA(oldCurrent);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(WaitForPendingDeletion(Copy(install_)));
}

// A top-level window titled "Uninstall" on a thread of its own, noting
// whether it was minimised.
struct Bystander {
  HWND window = nullptr;
  bool minimised = false;
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};
Bystander* gBystander;

LRESULT CALLBACK BystanderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SIZE && wParam == SIZE_MINIMIZED) gBystander->minimised = true;
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(Stages, SecondStartBringsUninstallForwardAndEnds) {
  std::string program = Install();
  Bystander bystander;
  gBystander = &bystander;
  std::thread windowThread([&] {
    bystander.window = OpenTestWindow("Bystander", "Uninstall", BystanderProc);
    SetEvent(bystander.ready);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  });
  WaitForSingleObject(bystander.ready, kWaitMs);

  // The first start waits at its question while the second one comes.
  int firstCode = -3;
  std::thread first([&] { firstCode = RunChild("\"" + program + "\"", kWaitMs); });
  HWND question = WaitForDialog(kCaption, kWaitMs);
  ASSERT_NE(question, nullptr);
  // A question of its own would hold it until the time-out (-2).
  EXPECT_EQ(RunChild("\"" + program + "\"", kWaitMs), 0);
  PressButton(question, IDNO);
  first.join();
  EXPECT_EQ(firstCode, 0);

  EXPECT_TRUE(bystander.minimised);
  EXPECT_FALSE(IsIconic(bystander.window));  // and shown again
  PostMessageA(bystander.window, WM_QUIT, 0, 0);
  PostThreadMessageA(GetWindowThreadProcessId(bystander.window, nullptr), WM_QUIT, 0, 0);
  windowThread.join();
  CloseHandle(bystander.ready);
  gBystander = nullptr;
}

}  // namespace
