// uninstlog stamp and tail, and the built program run as a child process.
#include <gtest/gtest.h>
#include <string>
#include "support/test_util.h"
#include "uninstlog/uninstlog.h"

namespace {

class TailTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = MakeScratchFolder("tail"); }
  void TearDown() override { RemoveTree(folder_); }
  // A stand-in executable: the MZ mark and zero padding, as a linked image
  // ends.
  std::string FakeExe(const std::string& ending = std::string()) {
    std::string path = folder_ + "\\setup_uninstall.exe";
    std::string bytes = "MZ" + std::string(1000, '\0') + ending;
    WriteTextFile(path, bytes);
    return path;
  }
  std::string Tail(const std::string& exe) {
    std::string name, error;
    EXPECT_TRUE(ReadTailName(exe.c_str(), &name, &error)) << error;
    return name;
  }
  std::string folder_;
};

TEST_F(TailTest, StampThenTailRoundTrips) {
  std::string exe = FakeExe();
  EXPECT_EQ("uninstal.ini", Tail(exe));  // nothing appended: the default
  const std::string names[] = {
      "my product.log", "uninstal.ini", "sub\\folder\\log.ini", std::string(kMaxTailName, 'n'),
      "x",
  };
  for (const std::string& name : names) {
    std::string error;
    ASSERT_TRUE(StampTailName(exe.c_str(), name, &error)) << error;
    EXPECT_EQ(name, Tail(exe));  // the last name counts
  }
}

TEST_F(TailTest, FileNotEndingInNulGetsOneBeforeTheName) {
  std::string exe = FakeExe("SIGNED");
  std::string error;
  ASSERT_TRUE(StampTailName(exe.c_str(), "pack.ini", &error)) << error;
  EXPECT_EQ("pack.ini", Tail(exe));
  std::string bytes = ReadTextFile(exe);
  EXPECT_EQ(std::string("SIGNED\0pack.ini\0", 16), bytes.substr(bytes.size() - 16));
}

TEST_F(TailTest, RefusedNamesLeaveTheFileAlone) {
  std::string exe = FakeExe();
  std::string before = ReadTextFile(exe);
  const std::string names[] = {
      "", std::string(kMaxTailName + 1, 'n'), std::string("a\0b.ini", 7),
  };
  for (const std::string& name : names) {
    std::string error;
    EXPECT_FALSE(StampTailName(exe.c_str(), name, &error)) << name.size();
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(before, ReadTextFile(exe)) << name.size();
  }
}

TEST_F(TailTest, BadExecutablesAreReported) {
  std::string missing = folder_ + "\\none.exe";
  std::string text = folder_ + "\\notes.exe";
  WriteTextFile(text, std::string(400, 't'));
  std::string tiny = folder_ + "\\tiny.exe";
  WriteTextFile(tiny, "MZ" + std::string(100, '\0'));
  struct Case { std::string path; const char* words; };
  const Case cases[] = {
      {missing, "cannot find"}, {folder_, "folder"},
      {text, "not a Windows executable"}, {tiny, "not a Windows executable"},
  };
  for (const Case& c : cases) {
    std::string name, error;
    EXPECT_FALSE(ReadTailName(c.path.c_str(), &name, &error)) << c.path;
    EXPECT_NE(std::string::npos, error.find(c.words)) << error;
    error.clear();
    EXPECT_FALSE(StampTailName(c.path.c_str(), "x.ini", &error)) << c.path;
    EXPECT_NE(std::string::npos, error.find(c.words)) << error;
  }
}

TEST_F(TailTest, TheProgramAnswersWithItsExitCodes) {
  std::string clean = folder_ + "\\clean.ini";
  WriteTextFile(clean, std::string(kAllMessages) + "B0,0,C:\\Games\\S\\s.exe,Close S,0\r\n");
  std::string warned = folder_ + "\\warned.ini";
  WriteTextFile(warned, "P0,C:\\Games\\S\\a.txt,0\r\n");
  std::string failed = folder_ + "\\failed.ini";
  WriteTextFile(failed, "U0,C:\\,1\r\n");
  struct Case { std::string arguments; int code; const char* out; const char* err; };
  const Case cases[] = {
      {"check \"" + clean + "\"", 0, "check: 0 error(s), 0 warning(s), 0 note(s)", ""},
      {"check \"" + warned + "\"", 1, "warning: message 43", ""},
      {"check \"" + failed + "\"", 2, "error: the line works on the root of drive C:\\", ""},
      {"plan \"" + clean + "\"", 0, "    3999     20  B    CheckRunningProgram", ""},
      {"plan --json \"" + clean + "\"", 0, "\"handler\": \"CheckRunningProgram\"", ""},
      {"check \"" + folder_ + "\\none.ini\"", 2, "", "uninstlog: cannot find the log"},
      {"plan", 2, "", "plan takes one log file"},
      {"", 2, "", "no command given"},
      {"remove x", 2, "", "unknown command"},
      {"tail \"" + folder_ + "\\none.exe\"", 2, "", "cannot find the executable"},
      {"--help", 0, "usage: uninstlog check LOG", ""},
      {"--version x", 2, "", "--version takes no arguments"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(c.code, RunUninstlog(folder_, c.arguments, &out, &err)) << c.arguments << "\n" << out << err;
    EXPECT_NE(std::string::npos, out.find(c.out)) << c.arguments << "\n" << out;
    EXPECT_NE(std::string::npos, err.find(c.err)) << c.arguments << "\n" << err;
    if (c.code == 2 && c.out[0] == 0) EXPECT_EQ("", out) << c.arguments;
  }
  // The version printed is the one in VERSION at the top of the tree.
  std::string version = ReadTextFile(SANDBOX_DRIVE "/VERSION");  // its copy in the build tree
  version = version.substr(0, version.find_first_of("\r\n"));
  ASSERT_FALSE(version.empty());
  std::string out, err;
  EXPECT_EQ(0, RunUninstlog(folder_, "--version", &out, &err)) << err;
  EXPECT_EQ("uninstlog " + version, out.substr(0, out.find_first_of("\r\n")));
}

TEST_F(TailTest, TheProgramStampsACopyOfTheUninstaller) {
  std::string copy = folder_ + "\\uninstaller.exe";
  ASSERT_TRUE(CopyFileA(DIST_DIR "/uninstaller.exe", copy.c_str(), FALSE));
  std::string out, err;
  // The shipped program reads uninstal.ini.
  EXPECT_EQ(0, RunUninstlog(folder_, "tail \"" + copy + "\"", &out, &err)) << err;
  EXPECT_EQ("uninstal.ini", out.substr(0, out.find_first_of("\r\n")));
  EXPECT_EQ(0, RunUninstlog(folder_, "stamp \"" + copy + "\" \"sample package.ini\"", &out, &err)) << err;
  EXPECT_NE(std::string::npos, err.find("sample package.ini"));
  EXPECT_EQ(0, RunUninstlog(folder_, "tail \"" + copy + "\"", &out, &err)) << err;
  EXPECT_EQ("sample package.ini", out.substr(0, out.find_first_of("\r\n")));
  std::string before = ReadTextFile(copy);
  EXPECT_EQ(2, RunUninstlog(folder_, "stamp \"" + copy + "\" " + std::string(300, 'n'), &out, &err));
  EXPECT_NE(std::string::npos, err.find("at most 253")) << err;
  EXPECT_EQ(before, ReadTextFile(copy));
}

}  // namespace
