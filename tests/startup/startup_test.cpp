// Start-up pieces in process: the command line, the log-name tail, the
// folders, the caption, the copy's path, the relaunch command line and the
// wininit.ini fallback.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "common/state.h"
#include "log/log.h"
#include "startup/startup.h"
#include "support/test_util.h"

namespace {

struct CommandCase {
  const char* line;
  bool accepted;
  bool silent;
  const char* logPath;
};

const CommandCase kCommandCases[] = {
    // Only the program name, quoted or not, or with spaces after it: stage one.
    {"uninstaller.exe", true, false, ""},
    {"\"C:\\Program Files\\Tool\\uninstaller.exe\"", true, false, ""},
    {"\"C:\\Tool\\uninstaller.exe\"   ", true, false, ""},
    // An unquoted program name with a space is cut there.
    {"C:\\Program Files\\uninstaller.exe", true, false, "Files\\uninstaller.exe"},
    // The relaunch command line, with and without the switch.
    {"\"C:\\Temp\\uninstaller.exe\" \"C:\\Program Files\\Tool\\uninstal.ini\"", true, false,
     "C:\\Program Files\\Tool\\uninstal.ini"},
    {"\"C:\\Temp\\uninstaller.exe\" -s \"C:\\Program Files\\Tool\\uninstal.ini\"", true, true,
     "C:\\Program Files\\Tool\\uninstal.ini"},
    // The switch in capitals, or any word that begins with it.
    {"u.exe -S C:\\log.ini", true, true, "C:\\log.ini"},
    {"u.exe -silent C:\\log.ini", true, true, "C:\\log.ini"},
    {"u.exe -s", true, true, ""},
    {"u.exe -s -s \"C:\\log.ini\"", true, true, "C:\\log.ini"},
    // Not the switch: a minus elsewhere, or another letter.
    {"u.exe x-s", true, false, "x-s"},
    {"u.exe -x C:\\log.ini", true, false, "-x C:\\log.ini"},
    // Spaces and quotes in front of the path go; one quote at its end goes.
    {"u.exe  \" \"C:\\log.ini\"", true, false, "C:\\log.ini"},
    {"u.exe C:\\a b\\log.ini", true, false, "C:\\a b\\log.ini"},
};

TEST(ParseCommandLine, TakesSwitchAndLogPath) {
  for (const CommandCase& c : kCommandCases) {
    SCOPED_TRACE(c.line);
    gSilent = false;
    EXPECT_EQ(ParseCommandLine(c.line), c.accepted);
    EXPECT_EQ(gSilent, c.silent);
    EXPECT_STREQ(gCommandLogPath, c.logPath);
  }
}

TEST(ParseCommandLine, RefusesALogPathTooLongForItsField) {
  const std::string fits(kPathSize - 1, 'p');
  const std::string tooLong(kPathSize, 'p');
  struct {
    std::string line;
    bool accepted;
    std::string logPath;
    int shown;  // length of the cut text kept for the notice
  } cases[] = {
      {"u.exe " + fits, true, fits, 0},
      {"u.exe \"" + fits + "\"", true, fits, 0},  // the closing quote does not count
      {"u.exe " + tooLong, false, "", kPathSize},
      {"u.exe -s \"" + tooLong + std::string(3000, 'q') + "\"", false, "", kScratchSize - 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line.size());
    gSilent = false;
    gCommandLogPath[0] = 'x';
    EXPECT_EQ(ParseCommandLine(c.line.c_str()), c.accepted);
    EXPECT_EQ(std::string(gCommandLogPath), c.logPath);
    if (!c.accepted) EXPECT_EQ(lstrlenA(gScratch), c.shown);
  }
}

// A 256-byte window: filler, then the given bytes at its end.
std::string Window(const std::string& end, char filler = 'z') {
  std::string window(kTailWindow - end.size(), filler);
  return window + end;
}

struct TailCase {
  const char* name;
  std::string window;
  std::string logName;
};

TEST(LogNameFromTail, TakesTheLastName) {
  const std::string name253(253, 'n');
  const std::string name254(254, 'm');
  const TailCase cases[] = {
      {"no name appended", Window(std::string("x\0\0", 3)), "uninstal.ini"},
      {"shipped tail",
       Window(std::string("\0uninstall.ini\0uninstal.ini\0", 28)), "uninstal.ini"},
      {"installer's name after the shipped tail",
       Window(std::string("uninstal.ini\0product.log\0", 25)), "product.log"},
      {"relative name with a folder", Window(std::string("\0sub\\x.ini\0", 11)), "sub\\x.ini"},
      {"longest name after a zero", std::string(1, 'a') + std::string(1, '\0') + name253 +
                                        std::string(1, '\0'),
       name253},
      {"no zero before the name", std::string(1, 'a') + name254 + std::string(1, '\0'),
       name254},
      // A file that does not end in a zero: the name stops at the window's end.
      {"no final zero", Window(std::string("\0abc", 4)), "abc"},
  };
  for (const TailCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.window.size(), static_cast<size_t>(kTailWindow));
    char name[kTailWindow + 1];
    LogNameFromTail(c.window.data(), name, sizeof name);
    EXPECT_EQ(std::string(name), c.logName);
  }
}

TEST(LogNameFromTail, RefusesANameTooLongForTheBuffer) {
  const std::string window = Window(std::string("\0abcdefgh\0", 10));
  char name[8] = "x";
  LogNameFromTail(window.data(), name, sizeof name);
  EXPECT_STREQ(name, "");
  char fits[9];
  LogNameFromTail(window.data(), fits, sizeof fits);
  EXPECT_STREQ(fits, "abcdefgh");
}

// Points the temporary folder at a scratch folder for one test.
class Folders : public ::testing::Test {
 protected:
  void SetUp() override {
    GetEnvironmentVariableA("TMP", oldTmp_, sizeof oldTmp_);
    GetEnvironmentVariableA("TEMP", oldTemp_, sizeof oldTemp_);
    GetCurrentDirectoryA(sizeof oldCurrent_, oldCurrent_);
    folder_ = MakeScratchFolder("folders");
    SetEnvironmentVariableA("TMP", (folder_ + "\\").c_str());
    SetEnvironmentVariableA("TEMP", (folder_ + "\\").c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA("TMP", oldTmp_);
    SetEnvironmentVariableA("TEMP", oldTemp_);
    SetCurrentDirectoryA(oldCurrent_);
    RemoveTree(folder_);
  }
  std::string folder_;
  char oldTmp_[MAX_PATH] = "", oldTemp_[MAX_PATH] = "", oldCurrent_[MAX_PATH] = "";
};

TEST_F(Folders, TemporaryFolderLosesItsBackslash) {
  SetCurrentDirectoryA(oldCurrent_);
  TakeFolders();
  EXPECT_EQ(std::string(gTempFolder), folder_);
  std::string current = oldCurrent_;
  if (current.back() == '\\') current.pop_back();
  EXPECT_EQ(std::string(gScratch), current);
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, sizeof windows);
  EXPECT_STREQ(gWindowsFolder, windows);
}

// Run from the temporary folder itself, the copy still goes below it: its
// own new folder never holds the running file.
TEST_F(Folders, RunFromTheTemporaryFolderTheTemporaryFolderStays) {
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
  TakeFolders();
  EXPECT_EQ(std::string(gTempFolder), folder_);
}

TEST_F(Folders, StageTwoEntersTheTemporaryFolderOrTheRootOfItsDrive) {
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
  const struct {
    std::string temp, current;
  } cases[] = {
      {folder_, folder_},
      // A bare drive would name the drive's current folder: its root instead.
      {folder_.substr(0, 2), folder_.substr(0, 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.temp);
    ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
    CopyText(gTempFolder, kPathSize, c.temp.c_str());
    EnterTemporaryFolder();
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_TRUE(SameText(current, c.current.c_str())) << current;
  }
}

struct CopyCase {
  const char* temp;
  const char* program;
  const char* folder;
  const char* target;
};

TEST(MakeCopyTarget, JoinsTheTemporaryFolderAndTheProgramName) {
  const std::string tooLong = "C:\\" + std::string(kPathSize - 10, 't');
  const CopyCase cases[] = {
      {"C:\\Temp", "C:\\Tool\\uninstaller.exe", "C:\\Tool", "C:\\Temp\\f\\uninstaller.exe"},
      // A drive root lost its backslash; the join puts exactly one back.
      {"D:", "C:\\Tool\\un.exe", "C:\\Tool", "D:\\f\\un.exe"},
      {"C:\\My Temp", "C:\\My Tool\\un inst.exe", "C:\\My Tool", "C:\\My Temp\\f\\un inst.exe"},
      // No temporary folder: no copy, rather than one beside the current folder.
      {"", "C:\\Tool\\un.exe", "C:\\Tool", ""},
      // A path too long for its field: refused, nothing kept.
      {tooLong.c_str(), "C:\\Tool\\uninstaller.exe", "C:\\Tool", ""},
  };
  for (const CopyCase& c : cases) {
    SCOPED_TRACE(c.temp);
    CopyText(gTempFolder, kPathSize, c.temp);
    CopyText(gProgramPath, kPathSize, c.program);
    CopyText(gProgramFolder, kPathSize, c.folder);
    EXPECT_EQ(MakeCopyTarget("f"), c.target[0] != 0);
    EXPECT_STREQ(gScratch, c.target);
  }
}

TEST(BuildRelaunchCommandLine, QuotesBothPathsAndCarriesTheSwitch) {
  const struct {
    bool silent;
    const char* line;
  } cases[] = {
      {false, "\"C:\\My Temp\\un.exe\" \"C:\\Program Files\\Tool\\uninstal.ini\""},
      {true, "\"C:\\My Temp\\un.exe\" -s \"C:\\Program Files\\Tool\\uninstal.ini\""},
  };
  for (const auto& c : cases) {
    gSilent = c.silent;
    CopyText(gLogPath, kPathSize, "C:\\Program Files\\Tool\\uninstal.ini");
    EXPECT_TRUE(BuildRelaunchCommandLine("C:\\My Temp\\un.exe"));
    EXPECT_STREQ(gRelaunch, c.line);
    // Stage two reads back what stage one meant.
    gSilent = false;
    EXPECT_TRUE(ParseCommandLine(gRelaunch));
    EXPECT_EQ(gSilent, c.silent);
    EXPECT_STREQ(gCommandLogPath, "C:\\Program Files\\Tool\\uninstal.ini");
  }
}

TEST(BuildRelaunchCommandLine, RefusesALineTooLongForItsField) {
  // Quotes, space and switch take 8 characters: 1015 for the two paths.
  const std::string log = "C:\\" + std::string(kPathSize - 4, 'l');
  const std::string fits = "C:\\" + std::string(1015 - log.size() - 3, 't');
  const std::string tooLong = fits + "t";
  CopyText(gLogPath, kPathSize, log.c_str());
  gSilent = true;
  EXPECT_TRUE(BuildRelaunchCommandLine(fits.c_str()));
  EXPECT_EQ(lstrlenA(gRelaunch), kCommandLineSize - 1);
  EXPECT_FALSE(BuildRelaunchCommandLine(tooLong.c_str()));
  // Kept cut, for the notice only.
  EXPECT_EQ(lstrlenA(gRelaunch), kCommandLineSize - 1);
  EXPECT_EQ(std::string(gRelaunch, 3), "\"C:");
  gSilent = false;
}

TEST(BuildCaption, JoinsMessages48And10AndCutsToTheField) {
  std::string folder = MakeScratchFolder("caption");
  LoadLogText(folder, "A10,Sample Product\r\nA48,Uninstall\r\n");
  BuildCaption();
  EXPECT_STREQ(gProductName, "Sample Product");
  EXPECT_STREQ(gCaption, "Uninstall Sample Product");

  const std::string longName(300, 'n');
  LoadLogText(folder, "A10," + longName + "\r\nA48,Uninstall\r\n");
  BuildCaption();
  EXPECT_EQ(std::string(gProductName), longName.substr(0, kNameSize - 1));
  EXPECT_EQ(std::string(gCaption), ("Uninstall " + longName).substr(0, kNameSize - 1));

  LoadLogText(folder, "A1,nothing else\r\n");
  BuildCaption();
  EXPECT_STREQ(gCaption, " ");  // both missing: the space alone
  ResetProgramState();
  RemoveTree(folder);
}

TEST(ScheduleDeletionInWininit, WritesTheShortPathUnderRename) {
  std::string folder = MakeScratchFolder("wininit");
  std::string program = folder + "\\a long program name.exe";
  WriteTextFile(program, "x");
  CopyText(gWindowsFolder, kPathSize, folder.c_str());
  CopyText(gProgramPath, kPathSize, program.c_str());
  // An earlier NUL entry of the section is replaced.
  WritePrivateProfileStringA("rename", "NUL", "C:\\old.exe", (folder + "\\wininit.ini").c_str());
  ScheduleDeletionInWininit();

  char shortPath[MAX_PATH] = "", oem[MAX_PATH] = "", written[MAX_PATH] = "";
  GetShortPathNameA(program.c_str(), shortPath, sizeof shortPath);
  CharToOemA(shortPath, oem);
  GetPrivateProfileStringA("rename", "NUL", "", written, sizeof written,
                           (folder + "\\wininit.ini").c_str());
  EXPECT_STREQ(written, oem);
  EXPECT_STREQ(gScratch, (folder + "\\wininit.ini").c_str());

  // A program file that is gone leaves no entry rather than an empty one.
  WritePrivateProfileStringA("rename", nullptr, nullptr, (folder + "\\wininit.ini").c_str());
  CopyText(gProgramPath, kPathSize, (folder + "\\missing.exe").c_str());
  ScheduleDeletionInWininit();
  GetPrivateProfileStringA("rename", "NUL", "none", written, sizeof written,
                           (folder + "\\wininit.ini").c_str());
  EXPECT_STREQ(written, "none");
  RemoveTree(folder);
}

}  // namespace
