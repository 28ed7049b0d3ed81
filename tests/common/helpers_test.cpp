// Text, path and field helpers: the tables of their behaviour.
#include <gtest/gtest.h>
#include <string>
#include "common/helpers.h"
#include "common/state.h"
#include "support/test_util.h"

namespace {

struct TextCase { const char* input; const char* expected; };

TEST(PathFileName, Table) {
  const TextCase cases[] = {
      {"C:\\Dir\\File.txt", "File.txt"}, {"File.txt", "File.txt"},
      {"\\File.txt", "File.txt"},       {"C:\\Dir\\", ""},
      {"", ""},                          {"\\", ""},
  };
  for (const TextCase& c : cases) {
    char out[kPathSize] = "junk";
    PathFileName(c.input, out, sizeof out);
    EXPECT_STREQ(c.expected, out) << c.input;
  }
}

TEST(StripLastComponent, Table) {
  const TextCase cases[] = {
      {"C:\\Dir\\File", "C:\\Dir"}, {"C:\\File", "C:"}, {"C:\\Dir\\", "C:\\Dir"},
      {"File", ""}, {"\\File", ""}, {"", ""},
  };
  for (const TextCase& c : cases) {
    char path[kPathSize];
    lstrcpyA(path, c.input);
    StripLastComponent(path);
    EXPECT_STREQ(c.expected, path) << c.input;
  }
}

TEST(PathJoin, Table) {
  struct Case { const char* first; const char* second; const char* expected; };
  const Case cases[] = {
      {"C:\\Dir", "File", "C:\\Dir\\File"},
      {"C:\\Dir\\", "\\File", "C:\\Dir\\File"},
      {"C:\\Dir", "\\\\File", "C:\\Dir\\\\File"},
      {"C:\\", "x.ini", "C:\\x.ini"},
      {"", "name.txt", "name.txt"},     // stays relative to the current folder
      {"", "\\name.txt", "name.txt"},
  };
  for (const Case& c : cases) {
    char out[kPathSize] = "junk";
    EXPECT_EQ(out, PathJoin(out, sizeof out, c.first, c.second));
    EXPECT_STREQ(c.expected, out) << c.first << " + " << c.second;
  }
}

TEST(PathJoin, OverflowLeavesEmptyAndReportsIt) {
  std::string longFirst(400, 'a');
  std::string longSecond(200, 'b');
  char out[kPathSize] = "junk";
  char guard[16] = "guardguardguard";
  EXPECT_EQ(nullptr, PathJoin(out, sizeof out, longFirst.c_str(), longSecond.c_str()));
  EXPECT_STREQ("", out);
  EXPECT_STREQ("guardguardguard", guard);
  // Exactly 511 characters still fits.
  std::string fits(511 - 401, 'c');
  EXPECT_NE(nullptr, PathJoin(out, sizeof out, longFirst.c_str(), fits.c_str()));
  EXPECT_EQ(511, lstrlenA(out));
  std::string tooMuch(512 - 401, 'c');
  EXPECT_EQ(nullptr, PathJoin(out, sizeof out, longFirst.c_str(), tooMuch.c_str()));
}

TEST(GetField, Table) {
  struct Case { const char* list; int n; const char* expected; };
  const Case cases[] = {
      {"one,two,three", 0, "one"},
      {"one,two,three", 2, "three"},
      {"one,,three", 1, ""},
      {"one,two,", 2, ""},
      {"\"x,y\",z", 0, "\"x,y\""},
      {"\"x,y\",z", 1, "z"},
      {"one,two", 2, "one,two"},
      {"", 0, ""},
      {"", 3, ""},
      {"a,\"b,c,d", 2, "a,\"b,c,d"},   // an unclosed quote swallows later commas
      {"a,\"b,c,d", 1, "\"b,c,d"},
  };
  for (const Case& c : cases) {
    char out[kPathSize] = "junk";
    GetField(out, sizeof out, c.list, c.n);
    EXPECT_STREQ(c.expected, out) << c.list << " #" << c.n;
  }
}

TEST(GetField, OverlongFieldIsRefusedOrCut) {
  std::string list = "1," + std::string(300, 'x') + ",end";
  char small[256];
  EXPECT_EQ(nullptr, GetField(small, sizeof small, list.c_str(), 1));
  EXPECT_STREQ("", small);
  EXPECT_EQ(small, GetFieldCut(small, sizeof small, list.c_str(), 1));
  EXPECT_EQ(255, lstrlenA(small));
  EXPECT_STREQ("end", GetField(small, sizeof small, list.c_str(), 2));
}

TEST(ParseDecimal, Table) {
  struct Case { const char* text; int expected; };
  const Case cases[] = {
      {"", 0}, {"-", 0}, {"x12", 0}, {"12abc", 12}, {"-7,", -7}, {"007", 7},
      {"-0", 0}, {"+5", 0}, {" 5", 0}, {"2147483647", 2147483647},
      {"-2147483648", static_cast<int>(0x80000000u)},
      // Past 32 bits the value wraps modulo 2^32.
      {"4294967296", 0}, {"4294967297", 1}, {"4294967295", -1},
      {"99999999999999999999", 1661992959},  // (10^20 - 1) modulo 2^32
      {"\xb2" "5", 0},  // bytes from 128 up are not digits
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, ParseDecimal(c.text)) << c.text;
}

TEST(CompareHelpers, SameTextAndStartsWithText) {
  EXPECT_TRUE(SameText("C:\\Dir\\A.TXT", "c:\\dir\\a.txt"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  EXPECT_TRUE(StartsWithText("-silent", "-s"));
  EXPECT_TRUE(StartsWithText("-S", "-s"));
  EXPECT_FALSE(StartsWithText("-", "-s"));
  EXPECT_FALSE(StartsWithText("", "-s"));
  EXPECT_FALSE(StartsWithText("/s", "-s"));
}

TEST(MoveBytes, OverlappingShiftKeepsEveryElement) {
  int values[8] = {1, 2, 3, 4, 5, 6, 7, 0};
  MoveBytes(&values[1], &values[0], 7 * sizeof(int));
  const int up[8] = {1, 1, 2, 3, 4, 5, 6, 7};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(up[i], values[i]);
  MoveBytes(&values[0], &values[1], 7 * sizeof(int));
  const int down[8] = {1, 2, 3, 4, 5, 6, 7, 7};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(down[i], values[i]);
  ZeroBytes(values, sizeof values);
  for (int v : values) EXPECT_EQ(0, v);
}

TEST(Blocks, ReserveIsZeroedAndReleaseClears) {
  char* block = static_cast<char*>(ReserveBlock(100000));
  ASSERT_NE(nullptr, block);
  for (int i = 0; i < 100000; i += 997) EXPECT_EQ(0, block[i]);
  block[5] = 1;
  ReleaseBlock(block);
  EXPECT_EQ(nullptr, block);
}

TEST(Files, FileExistsAndOpenForReading) {
  std::string folder = MakeScratchFolder("files");
  EXPECT_TRUE(FileExists(folder.c_str()));  // folders count
  std::string path = folder + "\\data.bin";
  EXPECT_FALSE(FileExists(path.c_str()));
  DWORD size = 1234;
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFileForReading(path.c_str(), &size));
  EXPECT_EQ(1234u, size);  // unchanged on failure
  WriteTextFile(path, "hello world");
  HANDLE file = OpenFileForReading(path.c_str(), &size);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  EXPECT_EQ(11u, size);
  char buffer[16] = {};
  EXPECT_TRUE(ReadExactly(file, buffer, 11, path.c_str()));
  EXPECT_STREQ("hello world", buffer);
  CloseHandle(file);
  RemoveTree(folder);
}

TEST(CopyHelpers, BoundsAreKept) {
  char out[8];
  EXPECT_TRUE(CopyText(out, sizeof out, "1234567"));
  EXPECT_STREQ("1234567", out);
  EXPECT_FALSE(CopyText(out, sizeof out, "12345678"));
  EXPECT_STREQ("", out);
  EXPECT_FALSE(CopyTextCut(out, sizeof out, "abcdefghij"));
  EXPECT_STREQ("abcdefg", out);
  lstrcpyA(out, "abc");
  EXPECT_TRUE(AppendText(out, sizeof out, "defg"));
  EXPECT_STREQ("abcdefg", out);
  EXPECT_FALSE(AppendText(out, sizeof out, "h"));
  EXPECT_STREQ("abcdefg", out);
}

TEST(FormatText, SurplusPlaceholdersReadEmptyText) {
  char out[kMessageSize];
  const char* args[1] = {"one"};
  FormatText(out, sizeof out, "%s-%s-%s|", args, 1);
  EXPECT_STREQ("one--|", out);
  // Wide-string conversions never read our texts as wide strings.
  FormatText(out, sizeof out, "[%S][%ls][%ws]", args, 1);
  EXPECT_STREQ("[one][][]", out);
  // A format of nothing but placeholders, far more than any argument list.
  std::string many;
  for (int i = 0; i < 255; ++i) many += "%s";
  FormatText(out, sizeof out, many.c_str(), args, 1);
  EXPECT_STREQ("one", out);
  // The result is cut to the destination.
  std::string wide(900, 'w');
  const char* longArg[1] = {wide.c_str()};
  char small[32];
  EXPECT_FALSE(FormatText(small, sizeof small, "<%s>", longArg, 1));
  EXPECT_EQ(31, lstrlenA(small));
}

TEST(FormatText, DoubledPercentSignsStayLiteral) {
  const char* args[1] = {"one"};
  const struct { const char* format; const char* expected; } cases[] = {
      {"100%%", "100%"},
      {"%%s|%s", "%s|one"},          // a literal "%s", then the argument
      {"%%%s", "%one"},
      {"%%%%s %s", "%%s one"},
      {"[%%S][%%ls]", "[%S][%ls]"},
  };
  for (const auto& c : cases) {
    char out[kMessageSize] = "junk";
    FormatText(out, sizeof out, c.format, args, 1);
    EXPECT_STREQ(c.expected, out) << c.format;
  }
}

// Paths the platform opens without resolving them: the NT and device
// namespaces (slashes are already backslashes here).
TEST(IsDevicePath, Table) {
  const struct { const char* path; bool device; } cases[] = {
      {"\\\\?\\C:\\Games", true},        {"\\??\\C:\\Games", true},
      {"\\\\.\\C:\\Games", true},        {"\\\\?\\UNC\\server\\share", true},
      {"\\??\\UNC\\server\\share", true}, {"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\", true},
      {"\\\\?\\Volume{00000000-0000-0000-0000-000000000043}\\", true},
      {"\\\\.\\PhysicalDrive0", true},   {"\\?.\\C:\\Games", false},
      {"\\\\??\\C:", false},             {"\\\\server\\share", false},
      {"C:\\Games", false},              {"\\Games", false},
      {"\\\\?", false},                  {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.device, IsDevicePath(c.path)) << c.path;
}

// One folder in every spelling the platform resolves to it. The Windows
// folder of the prefix stands for any folder that exists.
TEST(CanonicalFolder, EverySpellingGivesTheSameName) {
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 3u);
  const std::string w = windows;                      // C:\windows
  const std::string last = w.substr(w.rfind('\\') + 1);
  const struct { std::string path; std::string expected; } cases[] = {
      {w, w},
      {w + "\\", w},
      {w + "\\\\\\", w},
      {w.substr(0, 3) + "\\" + w.substr(3), w},   // C:\\windows
      {w + "\\.", w},
      {w + "\\.\\.", w},
      {w + "\\system32\\..", w},
      {w + "\\..\\" + last, w},
      {w + ".", w},                                // trailing dot
      {w + "...", w},
      {w + " ", w},                                // trailing space
      {w + "\\...", w},
      {w + "\\..\\..\\..", w.substr(0, 3)},         // the root keeps its backslash
      {w.substr(0, 3), w.substr(0, 3)},
      {"\\\\server\\share\\dir\\..\\", "\\\\server\\share"},
      {w + "\\missing\\..\\missing2", w + "\\missing2"},
  };
  for (const auto& c : cases) {
    char out[kPathSize] = "junk";
    ASSERT_TRUE(CanonicalFolder(c.path.c_str(), out)) << c.path;
    EXPECT_TRUE(SameText(out, c.expected.c_str())) << c.path << " gave " << out;
  }
  // No other spelling can be compared with a namespace path, nor with one
  // too long to resolve.
  char out[kPathSize];
  for (const std::string& path : {"\\??\\" + w, "\\\\?\\" + w, "\\\\.\\" + w,
                                  w + "\\" + std::string(600, 'x')})
    EXPECT_FALSE(CanonicalFolder(path.c_str(), out)) << path;
}

}  // namespace
