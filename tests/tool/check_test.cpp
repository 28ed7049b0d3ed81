// uninstlog check: every finding over small logs, and the exit codes.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "actions/actions.h"
#include "support/test_util.h"
#include "uninstlog/uninstlog.h"

namespace {

class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = MakeScratchFolder("check"); }
  void TearDown() override { RemoveTree(folder_); }
  // Writes the log (to path, when given) and checks it.
  std::vector<Finding> Check(const std::string& text, std::string path = "") {
    if (path.empty()) path = folder_ + "\\uninstal.ini";
    WriteTextFile(path, text);
    std::string error;
    EXPECT_TRUE(ScanLog(path.c_str(), &scan_, &error)) << error;
    return CheckScan(scan_);
  }
  std::string folder_;
  LogScan scan_;
};

std::string Describe(const std::vector<Finding>& findings) {
  std::string out;
  for (const Finding& f : findings)
    out += "  " + std::to_string(f.line) + " " + f.code + " (" + std::to_string(f.severity) +
           "): " + f.text + "\n";
  return out;
}

// A finding of code and severity on line whose text holds words.
bool Has(const std::vector<Finding>& findings, int line, const std::string& code, int severity,
         const std::string& words = "") {
  for (const Finding& f : findings)
    if (f.line == line && f.code == code && f.severity == severity &&
        f.text.find(words) != std::string::npos)
      return true;
  return false;
}

bool HasCode(const std::vector<Finding>& findings, const std::string& code) {
  for (const Finding& f : findings)
    if (f.code == code) return true;
  return false;
}

const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

TEST_F(CheckTest, EachFindingOnItsLine) {
  struct Case { std::string log; int line; const char* code; int severity; };
  const std::string u = kUninstall;
  const Case cases[] = {
      // Lines the loader does not take.
      {"Files:\r\n", 1, "not-taken", kNote},
      {"[Section]\r\nP 0,C:\\Sample\\a.txt,0\r\n", 2, "not-taken", kWarning},
      {"10,some text\r\n", 1, "not-taken", kWarning},
      {"A10,x\r\nP0,C:\\Sample\\a.txt,0", 2, "no-line-end", kError},  // the action is lost
      {std::string("A10,a\0b\r\n", 9), 1, "nul-byte", kWarning},
      {std::string("A10,a\0b\r\n", 9), 1, "nul-bytes", kError},
      // Not 8-bit text, or no action at all.
      {"\xFF\xFE" + std::string("A\0" "1\0" "0\0" ",\0" "x\0", 10), 1, "utf16", kError},
      {"\xEF\xBB\xBF" "A10,x\r\nP0,C:\\Sample\\a.txt,0\r\n", 1, "utf8-bom", kError},
      {"P0,C:\\Sample\\caf\xC3\xA9.txt,0\r\n", 1, "utf8-text", kError},
      {"A10,x\r\n", 0, "no-action", kError},
      // Numbers.
      {"P30001x,C:\\Sample\\a.txt,0\r\n", 1, "number-text", kWarning},
      {"P99999999999,C:\\Sample\\a.txt,0\r\n", 1, "number-overflow", kWarning},
      {"P65535,C:\\Sample\\a.txt,0\r\n", 1, "reserved-number", kWarning},
      {"P5,Hello\r\n", 1, "letter-message", kWarning},
      {"P0,C:\\Sample\\a.txt,0\r\nA20,x\r\nP0,c:\\SAMPLE\\A.TXT,0\r\n", 3, "repeat-dropped", kWarning},
      {"Q0,unknown letter\r\n", 1, "no-automatic-number", kWarning},
      {"A20,Name\r\nA20,Other\r\n", 1, "message-replaced", kWarning},
      {"Q2000,kept\r\n", 1, "passed-over", kWarning},
      {"p2000,C:\\Sample\\a.txt,0\r\n", 1, "passed-over", kWarning},
      {"O0,C:\\Sample\\a.txt,0\r\n", 1, "letter-typo", kWarning},
      {"p0,C:\\Sample\\readme.txt,1\r\nU0,C:\\Sample,1\r\n", 1, "letter-typo", kWarning},
      {"P5000,C:\\Sample\\a.txt,0\r\n", 1, "phase", kNote},
      {"E20000,C:\\Sample\\x.exe\r\n", 1, "phase", kNote},
      // B, C, D, E.
      {"B0,7,C:\\Sample\\a.exe,Running,0\r\n", 1, "b-kind", kWarning},
      {"B0,3,,Running,0\r\n", 1, "b-empty-name", kError},
      {"B0,0,\"\",Running,0\r\n", 1, "b-empty-name", kWarning},
      {"B0,0,C:\\Sample\\a.exe,Running\r\n", 1, "b-missing-field", kWarning},
      {"B0,0,C:\\Sample\\a.exe,Running,9\r\n", 1, "b-style", kWarning},
      {"B0,0,C:\\Sample\\a.exe,,0\r\n", 1, "b-empty-message", kWarning},
      {"B0,x,C:\\Sample\\a.exe,Running,0\r\n", 1, "not-a-number", kWarning},
      {"C0,,Fn,0\r\n", 1, "c-empty-library", kWarning},
      {"D0,C:\\Sample\\l.dll,,0\r\n", 1, "c-empty-function", kWarning},
      {"C0,C:\\Sample\\l.dll,Fn\r\n", 1, "c-no-count", kWarning},
      {"C0,C:\\Sample\\l.dll,Fn,6\r\n", 1, "c-count", kWarning},
      {"D0,C:\\Sample\\l.dll,Fn,2,one\r\n", 1, "c-missing-argument", kWarning},
      {"D0,C:\\Sample\\l.dll,Fn,two\r\n", 1, "not-a-number", kWarning},
      {"C0,C:\\Sample\\l.dll," + std::string(70, 'f') + ",0\r\n", 1, "field-too-long", kWarning},
      {"E0,\r\n", 1, "e-empty", kWarning},
      {"E0,C:\\Games\\Flight Sim\\tool.exe /remove\r\n", 1, "e-unquoted", kWarning},
      {"C0,setup.dll,Fn,0\r\n", 1, "c-bare-library", kWarning},
      {"C0,kernel32.dll,Fn,0\r\n", 1, "c-system-library", kNote},
      {"D0,Sample\\l.dll,Fn,0\r\n", 1, "c-relative-library", kWarning},
      // J.
      {"J0,7,Software\\Vendor,\r\n", 1, "j-root", kError},
      {"J0,HKLM,Software\\Vendor,\r\n", 1, "not-a-number", kWarning},
      {"J0,,Software\\Vendor,\r\n", 1, "not-a-number", kWarning},
      {"J0,2,,\r\n", 1, "j-empty-key", kError},
      {"J0,2,\\,\r\n", 1, "j-empty-key", kError},  // backslashes only: the root itself
      {"J0,1,\\\\,Value\r\n", 1, "j-empty-key", kError},
      {"J0,1,Software,\r\n", 1, "j-broad-key", kError},
      {"J0,1,Software\\,\r\n", 1, "j-broad-key", kError},  // a trailing backslash changes nothing
      {"J0,3,.DEFAULT\\\\,\r\n", 1, "j-broad-key", kError},
      {"J0,2,Software\\Microsoft\\Windows,\r\n", 1, "j-system-key", kError},
      {"J0,2," + u + "\\,\r\n", 1, "j-system-key", kError},
      {"J0,2,Software\\Vendor\r\n", 1, "j-no-value", kWarning},
      {"J0,2," + u + "\\Sample,DisplayName\r\n", 1, "j-stage-one", kNote},
      {"J0,1," + u + "\\Sample,DisplayName\r\n", 1, "j-stage-one-root", kWarning},
      {"J0,2," + u + "\\Sample,\"a,b\"\r\n", 1, "j-stage-one-key", kWarning},
      {"J5,2," + u + "\\Sample,DisplayName\r\n", 1, "j-stage-one-not-action", kWarning},
      {"J0,02," + u + "\\Sample,DisplayName\r\n", 1, "j-stage-one-missed", kWarning},
      {"J0,2," + u + "\\Sample\r\n", 1, "j-stage-one-missed", kWarning},
      {"J0,2," + u + "\\" + std::string(600, 's') + ",v\r\n", 1, "j-stage-one-missed", kWarning},
      // K, M.
      {"K0,\r\n", 1, "k-empty", kWarning},
      {"K0,C:\\" + std::string(520, 'k') + "\r\n", 1, "field-too-long", kWarning},
      {"M0,,Section,Key\r\n", 1, "m-empty-file", kWarning},
      {"M0,C:\\Sample\\p.ini,,Key\r\n", 1, "m-empty-section", kWarning},
      {"M0,C:\\Sample\\p.ini,Section\r\n", 1, "m-no-key", kWarning},
      // P, U.
      {"P0,,0\r\n", 1, "empty-path", kError},
      {"P0,C:\\Sample\\a.txt\r\n", 1, "no-mode", kWarning},
      {"P0,C:\\Sample\\a.txt,one\r\n", 1, "not-a-number", kWarning},
      {"P0,\"C:\\Sample\\a.txt\",0\r\n", 1, "bad-character", kError},
      {"P0,C:\\acc\\..\\windows\\*\".*,0\r\n", 1, "bad-character", kError},
      {"P0,C:\\Sample\\a<.txt,0\r\n", 1, "bad-character", kError},
      {"U0,C:\\Sample\\a|b,1\r\n", 1, "bad-character", kError},
      {"P0,C:\\*.tmp,0\r\n", 1, "refused-pattern", kError},
      {"U0,D:\\*,1\r\n", 1, "refused-pattern", kError},
      {"P0,a.txt,0\r\n", 1, "relative-path", kWarning},
      {"U0,\\Sample,1\r\n", 1, "relative-path", kWarning},
      {"P0,C:\\Sample\\a.txt,7\r\n", 1, "p-mode", kWarning},
      {"U0,C:\\,1\r\n", 1, "u-drive-root", kError},
      {"U0,C:,1\r\n", 1, "u-drive-root", kError},
      {"U0,C:\\Games,1\r\n", 1, "u-top-level", kWarning},
      {"U0,C:\\Games\\*,1\r\n", 1, "u-top-level", kWarning},
      // NT and device spellings: refused outright for every sweep.
      {"P0,\\??\\C:\\*.zzz,0\r\n", 1, "device-path", kError},
      {"U0,/?\?/C:/*.zzz,1\r\n", 1, "device-path", kError},
      {"U0,\\??\\C:\\*,1\r\n", 1, "device-path", kError},
      {"U0,\\\\?\\C:\\Games,1\r\n", 1, "device-path", kError},
      {"P0,//?/C:/Games/*.txt,0\r\n", 1, "device-path", kError},
      {"P0,\\/?\\C:\\Games\\re*.txt,0\r\n", 1, "device-path", kError},
      {"U0,\\\\.\\C:\\Games\\*,1\r\n", 1, "device-path", kError},
      {"U0,\\\\?\\UNC\\server\\share\\*,1\r\n", 1, "device-path", kError},
      {"P0,\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\*.*,0\r\n", 1, "device-path", kError},
      {"U0,\\\\?\\Volume{00000000-0000-0000-0000-000000000043}\\Games,1\r\n", 1, "device-path", kError},
      // Roots however spelled, and the folders Windows and the user keep.
      {"U0,C:\\Games\\..\\*,1\r\n", 1, "refused-pattern", kError},
      {"P0,C:\\\\re*.tmp,0\r\n", 1, "refused-pattern", kError},
      {"U0,C:\\Program Files,1\r\n", 1, "protected-folder", kError},
      {"U0,C:\\Program Files\\,1\r\n", 1, "names-nothing", kError},
      {"U0,c:/program files/.,1\r\n", 1, "protected-folder", kError},
      {"U0,C:\\Program Files\\*,1\r\n", 1, "protected-folder", kError},
      {"U0,C:\\Program Files ,0\r\n", 1, "protected-folder", kError},
      {"U0,C:\\Games\\..\\Program Files.,1\r\n", 1, "protected-folder", kError},
      {"P0,C:\\windows\\*.*,0\r\n", 1, "protected-folder", kError},
      {"P0,C:\\windows\\system32\\*,2\r\n", 1, "protected-folder", kError},
      {"U0,C:\\windows\\flyer*.ini,1\r\n", 1, "protected-wildcard", kWarning},
      {"P0,C:\\windows\\flyer*.ini,0\r\n", 1, "protected-wildcard", kWarning},
      {"P0,C:\\windows\\*.ini,0\r\n", 1, "protected-folder", kError},
      {"P0,C:\\Games\\..\\windows\\?in.ini,0\r\n", 1, "protected-folder", kError},
      {"U0,C:\\Program Files\\*rv*,1\r\n", 1, "protected-folder", kError},
      {"U0,C:\\users,5\r\n", 1, "protected-folder", kError},  // above every profile
      // The removal takes "/" as a separator too.
      {"U0,C:/Games,1\r\n", 1, "u-top-level", kWarning},
      {"U0,C:/Games/*,1\r\n", 1, "u-top-level", kWarning},
      {"U0,C:/Games\\*,1\r\n", 1, "u-top-level", kWarning},
      // Sweeps that take what the log itself treats as not the package's.
      {"P0,C:\\Sim\\*.*,0\r\nM0,C:\\Sim\\scenery.cfg,Area.1,\r\n", 1, "sweeps-foreign", kError},
      {"U0,C:\\Sim,1\r\nK0,C:\\Sim\\Modules\\shared.dll\r\n", 1, "sweeps-foreign", kError},
      {"P0,C:\\Sample\\*.*,0\r\nP0,C:\\Sample\\readme.txt,1\r\n", 2, "swept-first", kWarning},
      {"P0,C:\\Sample\\" + std::string(250, 'd') + "\\a.txt,0\r\n", 1, "long-path", kError},
      {"U0,C:\\Sample\\" + std::string(250, 'd') + "\\Sub,1\r\n", 1, "long-path", kError},
      // Message texts.
      {"A43,Remove %s from %s?\r\n", 1, "too-many-placeholders", kError},
      {"A10,x\r\nA36,%s %s %s\r\n", 2, "too-many-placeholders", kError},
      {"A52,%s%s\r\n", 1, "too-many-placeholders", kError},
      {"A47,Copy number %d\r\n", 1, "non-text-placeholder", kWarning},
      {"A13," + std::string(600, 'm') + "\r\n", 1, "message-cut", kWarning},
      {"A10," + std::string(200, 'n') + "\r\n", 1, "name-cut", kWarning},
      {"A10,Product\r\nA48," + std::string(125, 'c') + "\r\n", 2, "caption-cut", kWarning},
      {"P0,C:\\Sample\\a.txt,1\r\n", 0, "missing-message", kWarning},
  };
  for (const Case& c : cases) {
    // Message cases bring their own texts; the rest get every message first.
    bool bare = c.log.compare(0, 1, "A") == 0 || c.code == std::string("missing-message") ||
                c.line == 1 && (c.code == std::string("utf16") || c.code == std::string("utf8-bom"));
    std::string messages = bare ? "" : kAllMessages;
    int shift = 0;
    for (char ch : messages) shift += ch == '\n';
    std::string log = messages + c.log;
    int line = c.line == 0 ? 0 : c.line + shift;
    std::vector<Finding> findings = Check(log);
    EXPECT_TRUE(Has(findings, line, c.code, c.severity))
        << c.code << " on line " << line << " of:\n" << log << "got:\n" << Describe(findings);
  }
}

// The manual's list of findings is the table, row for row.
TEST(CheckFindings, ManualListsEveryFinding) {
  const char* const severities[] = {"note", "warning", "error"};
  std::string manual = ReadTextFile(SANDBOX_DRIVE "/docs/package-makers.md");
  int listed = 0;
  for (size_t at = manual.find("\n| `"); at != std::string::npos; at = manual.find("\n| `", at + 1))
    ++listed;
  EXPECT_EQ(kFindingKindCount, listed);
  for (int i = 0; i < kFindingKindCount; ++i) {
    const FindingKind& k = kFindingKinds[i];
    std::string severity = severities[k.severity];
    if (k.lower != k.severity) severity += std::string(" or ") + severities[k.lower];
    std::string row = std::string("\n| `") + k.code + "` | " + severity + " | " + k.about + " |\n";
    EXPECT_NE(std::string::npos, manual.find(row)) << row;
  }
}

TEST_F(CheckTest, SoundLinesRaiseNoFinding) {
  struct Case { std::string log; const char* code; };
  const std::string u = kUninstall;
  const Case cases[] = {
      {"U0,C:\\Games\\Demo,1\r\n", "u-top-level"},
      {"U0,C:\\Games\\Demo\\*,1\r\n", "u-top-level"},
      {"P0,C:\\setup.log,0\r\n", "refused-pattern"},
      {"P0,C:\\Games\\Demo\\*.*,0\r\n", "refused-pattern"},
      {"P30500,C:\\Sample\\a.txt,0\r\nP30500,C:\\Sample\\a.txt,0\r\n", "repeat-dropped"},
      {"J0,2,Software\\Vendor\\Tool,\r\n", "j-broad-key"},
      {"J0,0,.sample,\r\n", "j-broad-key"},
      {"J0,2,Software\\Vendor\\Tool,\r\n", "j-no-value"},
      {"J0,2,Software\\Vendor\\Tool,\r\n", "j-system-key"},
      {"J0,2," + u + "\\Sample,\r\n", "j-system-key"},
      {"J0,2," + u + "\\Sample,DisplayName\r\n", "j-stage-one-missed"},
      {"J0,2," + u + "\\{8F2C6A51-3D1B-4E7A-9C2F-6B0D4A1E7C33},DisplayName\r\n",
       "j-stage-one-missed"},
      {"J0,2," + u + "\\Sample,DisplayName\r\n", "j-stage-one-root"},
      {"B0,0,\"C:\\Sample\\a.exe\",\"Close it, then retry\",0\r\n", "b-empty-name"},
      {"D0,C:\\Sample\\l.dll,Fn,2,one,two\r\n", "c-missing-argument"},
      {"D0,C:\\Sample\\l.dll,Fn,0\r\n", "c-bare-library"},
      {"E0,C:\\windows\\system32\\cmd.exe /c echo a b\r\n", "e-unquoted"},
      {"E0,\"C:\\Games\\Flight Sim\\tool.exe\" /remove\r\n", "e-unquoted"},
      {"P0,C:\\Sample\\a.txt,\r\n", "not-a-number"},  // an empty mode is mode 0
      {"P0,C:\\Sample\\a.txt,0\r\n", "phase"},
      {"P0,C:/Sample/a.txt,0\r\n", "relative-path"},
      {"P0,\\??\\C:\\Sample\\a.txt,0\r\n", "relative-path"},  // one file: opened as named
      {"P0,\\??\\C:\\Sample\\a.txt,0\r\n", "device-path"},
      {"P0,\\\\?\\C:\\Sample\\a.txt,0\r\n", "device-path"},
      {"P0,C:\\windows\\flyer*.ini,0\r\n", "protected-folder"},  // narrower than every name
      {"P0,C:\\windows\\flyer.ini,0\r\n", "protected-folder"},
      {"U0,C:\\Program Files\\Dorvane,1\r\n", "protected-folder"},
      {"U0,C:\\Program Files\\Dorvane\\*,1\r\n", "protected-folder"},
      {"U0,C:/Games/Demo,1\r\n", "u-top-level"},
      {"A43,100%% sure? %s\r\n", "too-many-placeholders"},
      {"A36,%s to %s\r\n", "too-many-placeholders"},
      {"A50,50%s done\r\n", "too-many-placeholders"},  // a note is shown as it stands
      {"P0,C:\\Sample\\caf\xE9.txt,0\r\n", "utf8-text"},  // ANSI, as it should be
      {"P0,C:\\Sample\\a.txt,0\r\n", "no-action"},
      {"P0,C:\\Sample\\a.txt,0\r\n", "letter-typo"},
      {"P0,C:\\Sample\\readme.txt,1\r\nP0,C:\\Sample\\*.*,0\r\n", "swept-first"},
      {"P0,C:\\Sample\\readme.txt,1\r\nU0,C:\\Sample,1\r\n", "swept-first"},
      {"M0,C:\\Sim\\scenery.cfg,Area.1,\r\nU0,C:\\Sim\\Scenery\\Pack,1\r\n", "sweeps-foreign"},
      {"K0,C:\\Sample\\shared.dll\r\nP0,C:\\Sample\\shared.dll,0\r\n", "sweeps-foreign"},
      {"P0,\\\\?\\C:\\Sample\\" + std::string(300, 'd') + "\\a.txt,0\r\n", "long-path"},
  };
  for (const Case& c : cases) {
    std::vector<Finding> findings = Check(std::string(kAllMessages) + c.log);
    EXPECT_FALSE(HasCode(findings, c.code)) << c.log << "got:\n" << Describe(findings);
  }
}

// A narrow pattern in a kept folder works, and the warning names what it
// takes on this machine.
TEST_F(CheckTest, ProtectedWildcardNamesWhatItTakes) {
  std::vector<Finding> findings = Check(std::string(kAllMessages) + "P0,C:\\windows\\win*.ini,0\r\n");
  EXPECT_TRUE(Has(findings, 20, "protected-wildcard", kWarning, "C:\\windows\\win.ini"))
      << Describe(findings);
}

// Notes that only some logs need are asked for only then.
TEST_F(CheckTest, ConditionalMessagesAreNeededOnlyWhenReached) {
  std::vector<Finding> findings = Check("P0,C:\\Sample\\a.txt,0\r\n");
  auto missing = [&findings](int id) {
    for (const Finding& f : findings)
      if (f.code == "missing-message" && f.text.find("message " + std::to_string(id) + " ") == 0)
        return true;
    return false;
  };
  EXPECT_TRUE(missing(42));   // 30001 is reached
  EXPECT_TRUE(missing(58));
  EXPECT_TRUE(missing(43));
  EXPECT_FALSE(missing(81));  // no record at 3001
  EXPECT_FALSE(missing(54));
  EXPECT_FALSE(missing(55));
  EXPECT_FALSE(missing(51));  // no P line asks first
}

TEST_F(CheckTest, RepeatNamesItsFirstLine) {
  std::vector<Finding> findings = Check("A10,x\r\nP0,C:\\Sample\\a.txt,0\r\nP0,C:\\SAMPLE\\A.txt,0\r\n");
  EXPECT_TRUE(Has(findings, 3, "repeat-dropped", kWarning, "line 2")) << Describe(findings);
}

TEST_F(CheckTest, LimitsOfTheTables) {
  // 1001 message ids: the last one finds the table full.
  std::string text;
  for (int i = 0; i <= 1000; ++i) text += "A" + std::to_string(i) + ",m\r\n";
  std::vector<Finding> findings = Check(text);
  EXPECT_TRUE(Has(findings, 1001, "too-many-messages", kError)) << Describe(findings);
  EXPECT_FALSE(Has(findings, 1000, "too-many-messages", kError));

  // 20000 distinct actions: the last is past the record limit; one more new
  // line finds the seen-line set full and becomes message 0.
  text.clear();
  for (int i = 0; i < 20001; ++i)
    text += "P" + std::to_string(30001 + i) + ",C:\\Sample\\f" + std::to_string(i) + ",0\r\n";
  text += "P0,C:\\Sample\\new,0\r\n";
  findings = Check(text);
  EXPECT_TRUE(Has(findings, 20000, "too-many-actions", kError));
  EXPECT_FALSE(Has(findings, 19999, "too-many-actions", kError));
  EXPECT_FALSE(Has(findings, 20001, "too-many-actions", kError));  // one finding for all
  EXPECT_TRUE(Has(findings, 20002, "seen-set-full", kWarning));
}

TEST_F(CheckTest, AutomaticNumbersLeavingTheirRange) {
  // The 1001st new C line takes 5001, the first number of D lines.
  std::string text;
  for (int i = 0; i < 1001; ++i) text += "C0,C:\\Sample\\l.dll,F" + std::to_string(i) + ",0\r\n";
  std::vector<Finding> findings = Check(text);
  EXPECT_TRUE(Has(findings, 1001, "auto-collision", kWarning)) << Describe(findings);
  EXPECT_FALSE(Has(findings, 1000, "auto-collision", kWarning));

  // The 5001st new J line takes 14999: an E number, run in stage one.
  text.clear();
  for (int i = 0; i < 5001; ++i) text += "J0,1,Software\\Vendor\\K" + std::to_string(i) + ",\r\n";
  findings = Check(text);
  ASSERT_TRUE(Has(findings, 5001, "auto-collision", kWarning)) << Describe(findings);
  for (const Finding& f : findings)
    if (f.code == "auto-collision") EXPECT_NE(std::string::npos, f.text.find("stage one")) << f.text;

  // The 3000th new B line gets 1000: it becomes a message.
  text.clear();
  for (int i = 0; i < 3000; ++i) text += "B0,0,C:\\Sample\\b" + std::to_string(i) + ".exe,m,0\r\n";
  findings = Check(text);
  EXPECT_TRUE(Has(findings, 3000, "auto-number-message", kError)) << Describe(findings);
  EXPECT_FALSE(HasCode(findings, "auto-collision"));
}

TEST_F(CheckTest, ExitCodesAndSummary) {
  std::string clean = std::string(kAllMessages) +
                      "B0,0,C:\\Sample\\sample.exe,Sample is running,0\r\n"
                      "J0,2," + std::string(kUninstall) + "\\Sample,DisplayName\r\n"
                      "J0,2,Software\\Vendor\\Sample,\r\n"
                      "P0,C:\\Sample\\*.dll,0\r\n"
                      "U0,C:\\Games\\Sample,1\r\n";
  std::vector<Finding> findings = Check(clean);
  EXPECT_EQ(kExitClean, ExitCodeOf(findings)) << Describe(findings);
  EXPECT_TRUE(HasCode(findings, "j-stage-one"));  // a note keeps the log clean
  std::string report = FormatFindings(scan_, findings);
  EXPECT_NE(std::string::npos,
            report.find("check: 0 error(s), 0 warning(s), 1 note(s); 24 lines, 5 actions, 19 messages"))
      << report;

  findings = Check(clean + "P0,C:\\Sample\\a.txt\r\n");
  EXPECT_EQ(kExitWarnings, ExitCodeOf(findings));
  findings = Check(clean + "P0,C:\\*.txt,0\r\n");
  EXPECT_EQ(kExitErrors, ExitCodeOf(findings));
  report = FormatFindings(scan_, findings);
  EXPECT_NE(std::string::npos, report.find("uninstal.ini:25: error: ")) << report;
}

TEST_F(CheckTest, BadInputIsReportedNotFatal) {
  LogScan scan;
  std::string error;
  EXPECT_FALSE(ScanLog((folder_ + "\\missing.ini").c_str(), &scan, &error));
  EXPECT_NE(std::string::npos, error.find("cannot find")) << error;
  EXPECT_FALSE(ScanLog(folder_.c_str(), &scan, &error));
  EXPECT_NE(std::string::npos, error.find("folder")) << error;
  std::string longPath = "C:\\" + std::string(600, 'x') + ".ini";
  EXPECT_FALSE(ScanLog(longPath.c_str(), &scan, &error));
  EXPECT_NE(std::string::npos, error.find("511")) << error;
}

TEST(Placeholders, Table) {
  struct Case { const char* format; int conversions; int nonText; };
  const Case cases[] = {
      {"", 0, 0},           {"plain", 0, 0},        {"%s", 1, 0},
      {"%s and %s", 2, 0},  {"100%%", 0, 0},        {"%-20s|%5.3s", 2, 0},
      {"%ls %hs %S", 3, 0}, {"%d files", 1, 1},     {"%lu %x %c", 3, 3},
      {"%", 0, 0},          {"50%!", 0, 0},         {"%%s", 0, 0},
  };
  for (const Case& c : cases) {
    int conversions = -1, nonText = -1;
    CountPlaceholders(c.format, &conversions, &nonText);
    EXPECT_EQ(c.conversions, conversions) << c.format;
    EXPECT_EQ(c.nonText, nonText) << c.format;
  }
}

// A P or U line whose path has no last part of its own (a trailing
// backslash, ".", "..", a bare drive) makes the removal give up at once.
TEST_F(CheckTest, PathsThatNameNothingAreReported) {
  // What the uninstaller's own removal does with such a line.
  std::string app = folder_ + "\\App";
  ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));
  WriteTextFile(app + "\\f.txt", "x");
  ResetProgramState();
  RemoveFolders(("U" + app + "\\,1").c_str());
  RemoveFiles(("P" + app + "\\,0").c_str());
  EXPECT_TRUE(PathExists(app + "\\f.txt"));  // nothing was removed
  RemoveFolders(("U" + app + ",1").c_str());
  EXPECT_FALSE(PathExists(app));  // the same line without the backslash works

  struct Case { std::string log; bool names; };
  const Case cases[] = {
      {"U0,C:\\Games\\Sample\\,1\r\n", false},
      {"P0,C:\\Games\\Sample\\,0\r\n", false},
      {"U0,C:\\Games\\Sample/,1\r\n", false},
      {"P0,C:\\Games\\Sample\\..,0\r\n", false},
      {"U0,C:\\Games\\Sample\\.,1\r\n", false},
      {"P0,D:,0\r\n", false},
      {"P0,C:\\Games\\Sample\\" + std::string(260, 'n') + ",0\r\n", false},
      {"U0,C:\\Games\\Sample,1\r\n", true},
      {"P0,C:\\Games\\Sample\\a.txt,0\r\n", true},
      {"P0,D:a.txt,0\r\n", true},
  };
  for (const Case& c : cases) {
    std::vector<Finding> findings = Check(std::string(kAllMessages) + c.log);
    EXPECT_EQ(!c.names, Has(findings, 20, "names-nothing", kError))
        << c.log << "got:\n" << Describe(findings);
  }
}

// The uninstaller deletes a key written with a trailing backslash like the
// key itself, so such a key directly below a root is just as broad.
TEST(RegistryKeys, TrailingBackslashDeletesTheKey) {
  ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, "UninstlogProbe\\Sub"));
  ResetProgramState();
  RemoveRegistryEntry("J1,UninstlogProbe\\,");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "UninstlogProbe"));
}

// The loader reads at most 63 bytes of a number part: digits past them do
// not count, so a long number can read as 0 and take an automatic number.
TEST_F(CheckTest, NumberPartsAreReadAsTheLoaderCutsThem) {
  const std::string longZero = "1" + std::string(62, '0') + "5";  // first 63 bytes: 10^62, 0 in 32 bits
  struct Case { std::string log; const char* code; const char* words; };
  const Case cases[] = {
      {"Q" + longZero + ",x\r\n", "no-automatic-number", "became message 0"},
      {"P" + longZero + ",C:\\Sample\\a.txt,0\r\n", "number-overflow", "it reads as 0"},
  };
  for (const Case& c : cases) {
    std::vector<Finding> findings = Check(std::string(kAllMessages) + c.log);
    EXPECT_TRUE(Has(findings, 20, c.code, kWarning, c.words)) << c.log << "got:\n" << Describe(findings);
  }
}

// A J line whose key is a registry link, or lies below one, on the machine
// that runs the check.
TEST_F(CheckTest, RegistryLinksAreReported) {
  const std::string tree = "Software\\UninstlogLinkProbe";
  // The target under System: a 32-bit program's HKLM\Software is the
  // WOW6432Node view, which the link's NT name would not reach.
  const std::string target = "System\\UninstlogLinkTarget";
  ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, target + "\\Sub"));
  ASSERT_TRUE(CreateRegistryLink(HKEY_CURRENT_USER, tree + "\\Link",
                                 L"\\Registry\\Machine\\System\\UninstlogLinkTarget"));
  ASSERT_FALSE(IsRegistryLink(HKEY_CURRENT_USER, (tree + "\\Link\\Sub").c_str()));
  ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, tree + "\\Link\\Sub"));  // the link works
  const struct { std::string line; bool link; } cases[] = {
      {"J0,1," + tree + "\\Link,\r\n", true},
      {"J0,1," + tree + "\\Link\\Sub,\r\n", false},  // named through the link: goes there
      {"J0,1," + tree + "\\Link\\Sub,Value\r\n", false},
      {"J0,1," + tree + ",\r\n", false},  // the tree holds a link: only the link goes
      {"J0,2," + tree + "\\Link,\r\n", false},  // another root: no such key there
  };
  for (const auto& c : cases) {
    std::vector<Finding> findings = Check(std::string(kAllMessages) + c.line);
    EXPECT_EQ(c.link, Has(findings, 20, "j-link", kError)) << c.line << Describe(findings);
  }
  ResetProgramState();
  RemoveRegistryEntry(("J1," + tree + ",").c_str());  // deletes the link, not its target
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, target + "\\Sub"));
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, target.c_str());
}

// Findings that depend on where the log lies: beside the uninstaller, in
// the package's own folder.
TEST_F(CheckTest, SweepsOfThePackagesSurroundings) {
  const std::string pack = "C:\\uninstlog-sim\\Scenery\\Pack";
  struct Case { std::string line; const char* code; bool found; };
  const Case cases[] = {
      {"U0,C:\\uninstlog-sim,1", "sweeps-above-package", true},
      {"P0,C:\\uninstlog-sim\\Scenery\\*.*,0", "sweeps-above-package", true},
      {"U0," + pack + ",1", "sweeps-above-package", false},
      {"U0," + pack + "\\*,1", "sweeps-above-package", false},
      {"U6000," + pack + ",1", "stage-one-log", true},
      {"P6000," + pack + "\\*.ini,0", "stage-one-log", true},
      {"P6000," + pack + "\\*.dll,0", "stage-one-log", false},
      {"P6000,C:\\uninstlog-sim\\Other\\*.*,0", "stage-one-log", false},
      {"U0," + pack + ",1", "stage-one-log", false},  // stage two: the log is read
  };
  for (const std::string& folder : {std::string("C:\\uninstlog-sim"),
                                    std::string("C:\\uninstlog-sim\\Scenery"), pack})
    CreateDirectoryA(folder.c_str(), nullptr);
  for (const Case& c : cases) {
    std::vector<Finding> findings = Check(std::string(kAllMessages) + c.line + "\r\n", pack + "\\uninstal.ini");
    EXPECT_EQ(c.found, Has(findings, 20, c.code, kError)) << c.line << "\n" << Describe(findings);
  }
  RemoveTree("C:\\uninstlog-sim");
}

}  // namespace
