// File and folder removal against the real file system under Wine: what is
// left on disk and what lands in the leftover list.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>
#include "actions/actions.h"
#include "common/state.h"
#include "log/string_set.h"
#include "removal_fixture.h"
#include "support/robot.h"
#include "support/test_util.h"

using namespace removal_test;
using Names = std::vector<std::string>;

namespace {

// A TrueType file, copied into the build tree (the sealed prefix reaches no
// other folder of the host).
const char kTestFont[] = SANDBOX_DRIVE "\\data\\tahoma.ttf";

// Demo holds files of every matching kind, a subfolder with a file, an
// empty folder and a chain of empty folders.
const Names kDemoTree = {
    "Demo\\README.TXT", "Demo\\readme.doc",  "Demo\\Readme", "Demo\\Readme.txt.bak",
    "Demo\\NOTES.TXT",  "Demo\\notes.TXT2",  "Demo\\page.html", "Demo\\Sub\\inner.txt",
    "Demo\\Empty\\",    "Demo\\Deep\\Deeper\\"};

const Names kDemoFolders = {"Demo\\", "Demo\\Deep\\", "Demo\\Deep\\Deeper\\", "Demo\\Empty\\",
                            "Demo\\Sub\\"};

Names Without(const Names& all, const Names& gone) {
  Names left;
  for (const std::string& name : all)
    if (std::find(gone.begin(), gone.end(), name) == gone.end()) left.push_back(name);
  std::sort(left.begin(), left.end());
  return left;
}

Names AllDemo() {
  Names all = kDemoFolders;
  for (const std::string& entry : kDemoTree)
    if (entry.back() != '\\') all.push_back(entry);
  std::sort(all.begin(), all.end());
  return all;
}

const Names kDirectFiles = {"Demo\\README.TXT", "Demo\\readme.doc", "Demo\\Readme",
                            "Demo\\Readme.txt.bak", "Demo\\NOTES.TXT", "Demo\\notes.TXT2",
                            "Demo\\page.html"};
const Names kAllFiles = {"Demo\\README.TXT", "Demo\\readme.doc", "Demo\\Readme",
                         "Demo\\Readme.txt.bak", "Demo\\NOTES.TXT", "Demo\\notes.TXT2",
                         "Demo\\page.html", "Demo\\Sub\\inner.txt"};

std::string Expand(const std::string& text, const std::string& scratch) {
  std::string out = text;
  size_t at;
  while ((at = out.find("{S}")) != std::string::npos) out.replace(at, 3, scratch);
  return out;
}

class RemovalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    scratch = MakeScratchFolder("rm");
    host = CreateHost();
    gDialog = host;
    FontChanges() = 0;
  }
  void TearDown() override {
    gDialog = nullptr;
    DestroyWindow(host);
    RemoveTree(scratch);
  }
  void Run(const std::string& line) {
    std::string text = Expand(line, scratch);
    (text[0] == 'P' ? RemoveFiles : RemoveFolders)(text.c_str());
  }
  Names Leftovers() {
    Names lines = ListLines(host, IDC_LEFTOVERS);
    for (std::string& line : lines)
      if (line.compare(0, scratch.size() + 1, scratch + "\\") == 0)
        line = line.substr(scratch.size() + 1);
    return lines;
  }
  std::string scratch;
  HWND host = nullptr;
};

struct WalkCase {
  const char* line;
  Names gone;       // entries of the demo tree removed
  Names leftovers;  // relative to the scratch folder, sorted
};

// {S} is the scratch folder.
const WalkCase kWalkCases[] = {
    {"P{S}\\Demo\\*.*,0", kDirectFiles, {}},
    {"P{S}\\Demo\\Readme.*,0", {"Demo\\README.TXT", "Demo\\readme.doc", "Demo\\Readme"}, {}},
    {"P{S}\\Demo\\*.txt,0", {"Demo\\README.TXT", "Demo\\NOTES.TXT"}, {}},
    {"P{S}\\Demo\\*old.txt,0", {"Demo\\README.TXT", "Demo\\NOTES.TXT"}, {}},
    {"P{S}\\Demo\\*.,0", {"Demo\\Readme"}, {}},
    {"P{S}\\Demo\\*.htm,0", {}, {}},
    {"P{S}\\Demo\\*,0", kDirectFiles, {}},
    {"P{S}\\Demo\\re*.txt,0", {"Demo\\README.TXT"}, {}},
    {"P{S}\\Demo\\Readme,0", {"Demo\\Readme"}, {}},
    {"P{S}\\Demo\\Sub,0", {}, {}},
    {"P{S}\\Demo\\missing.txt,0", {}, {}},
    {"P{S}\\Demo\\*.*,256", kDirectFiles, {}},
    {"P{S}\\Demo\\*.*,", kDirectFiles, {}},
    {"P{S}\\Demo\\*.*", kDirectFiles, {}},  // no mode field: reads as 0
    {"P\"{S}\\Demo\\Readme\",0", {}, {}},   // quotes are not removed
    {"P{S}\\Demo\\*.TXT,2", {}, {"Demo\\NOTES.TXT", "Demo\\README.TXT"}},
    {"P{S}\\Demo\\*.txt,9", {}, {}},
    {"U{S}\\Demo,1", AllDemo(), {}},
    {"U{S}\\Demo,0", {"Demo\\Empty\\", "Demo\\Deep\\", "Demo\\Deep\\Deeper\\"}, kAllFiles},
    {"U{S}\\Demo,2", {}, {}},
    {"U{S}\\Demo\\Empty,2", {"Demo\\Empty\\"}, {}},
    {"U{S}\\Demo\\*,2", {"Demo\\Empty\\"}, {}},  // not descended: Deeper stays
    {"U{S}\\Demo,5", {"Demo\\Empty\\", "Demo\\Deep\\", "Demo\\Deep\\Deeper\\"}, {}},
    {"U{S}\\Demo\\*,1", Without(AllDemo(), {"Demo\\"}), {}},
    {"U{S}\\Demo\\*.txt,1", {"Demo\\README.TXT", "Demo\\NOTES.TXT"}, {}},
    {"U{S}\\Demo\\README.TXT,1", {"Demo\\README.TXT"}, {}},
    {"U{S}\\Demo\\README.TXT,0", {}, {"Demo\\README.TXT"}},
    {"U{S}\\Demo\\.,1", {}, {}},
    {"U{S}\\Demo\\Sub\\..,1", {}, {}},
    {"U{S}\\Demo\\,1", {}, {}},
    {"P{S}/Demo/README.TXT,0", {"Demo\\README.TXT"}, {}},  // slashes separate too
    {"U{S}\\Demo/Sub,1", {"Demo\\Sub\\", "Demo\\Sub\\inner.txt"}, {}},
    {"P{S}\\Demo/*.txt,2", {}, {"Demo\\NOTES.TXT", "Demo\\README.TXT"}},
};

class WalkTest : public RemovalTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(WalkTest, LeavesExactlyWhatTheLineKeeps) {
  const WalkCase& c = GetParam();
  Build(scratch, kDemoTree);
  ASSERT_EQ(ListTree(scratch), AllDemo());
  Run(c.line);
  EXPECT_EQ(ListTree(scratch), Without(AllDemo(), c.gone)) << c.line;
  Names expected = c.leftovers;
  std::sort(expected.begin(), expected.end());
  Names got = Leftovers();
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, expected) << c.line;
}

INSTANTIATE_TEST_SUITE_P(Lines, WalkTest, ::testing::ValuesIn(kWalkCases));

TEST_F(RemovalTest, OtherModeRecordsFilesWithoutTouchingThem) {
  Build(scratch, {"a.txt", "b.txt"});
  Run("P{S}\\*.txt,7");
  EXPECT_EQ(ListTree(scratch), (Names{"a.txt", "b.txt"}));
  // Recorded: a later deleting line passes over them.
  Run("P{S}\\*.txt,0");
  EXPECT_EQ(ListTree(scratch), (Names{"a.txt", "b.txt"}));
  EXPECT_EQ(RememberHandledFile((scratch + "\\A.TXT").c_str()), 0);
}

TEST_F(RemovalTest, MissingPathIsNotRecorded) {
  std::string path = scratch + "\\later.txt";
  TreatFile(path.c_str(), 0);
  WriteTextFile(path, "x");
  TreatFile(path.c_str(), 0);
  EXPECT_FALSE(PathExists(path));
}

TEST_F(RemovalTest, ProtectedFilesAreDeleted) {
  std::string path = scratch + "\\locked.dat";
  WriteTextFile(path, "x");
  SetFileAttributesA(path.c_str(),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  Run("P{S}\\locked.dat,0");
  EXPECT_FALSE(PathExists(path));
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(RemovalTest, FileThatCannotBeDeletedIsListed) {
  std::string path = scratch + "\\busy.dat";
  WriteTextFile(path, "x");
  HANDLE open = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  Run("P{S}\\busy.dat,0");
  CloseHandle(open);
  EXPECT_TRUE(PathExists(path));
  EXPECT_EQ(Leftovers(), (Names{"busy.dat"}));
}

// Without a dialog (stage one, silent mode) a file left for the user stays
// and still counts as handled: a later line, with the dialog open, neither
// deletes nor lists it.
TEST_F(RemovalTest, FileLeftWithoutADialogStaysHandled) {
  Build(scratch, {"a.txt"});
  gDialog = nullptr;
  Run("P{S}\\a.txt,2");
  gDialog = host;
  Run("P{S}\\a.txt,0");
  EXPECT_TRUE(PathExists(scratch + "\\a.txt"));
  EXPECT_TRUE(ListLines(host, IDC_LEFTOVERS).empty());
}

TEST_F(RemovalTest, FontIsUnloadedAndAnnouncedBeforeItsFileGoes) {
  std::string font = scratch + "\\demo.TTF";
  ASSERT_TRUE(CopyFileA(kTestFont, font.c_str(), FALSE));
  ASSERT_GT(AddFontResourceA(font.c_str()), 0);
  Run("P{S}\\demo.TTF,0");
  EXPECT_FALSE(PathExists(font));
  EXPECT_GE(FontChanges(), 1);
  // Already unloaded: a second unload finds nothing.
  EXPECT_FALSE(RemoveFontResourceA(font.c_str()));
}

TEST_F(RemovalTest, FontOfModeTwoIsOnlyListed) {
  std::string font = scratch + "\\keep.ttf";
  ASSERT_TRUE(CopyFileA(kTestFont, font.c_str(), FALSE));
  ASSERT_GT(AddFontResourceA(font.c_str()), 0);
  Run("P{S}\\keep.ttf,2");
  EXPECT_TRUE(PathExists(font));
  EXPECT_EQ(FontChanges(), 0);
  EXPECT_TRUE(RemoveFontResourceA(font.c_str()));  // still loaded
  EXPECT_EQ(Leftovers(), (Names{"keep.ttf"}));
}

TEST_F(RemovalTest, SplitExtensionCutsAtTheLastDot) {
  struct Case { const char* name; int dot; const char* base; const char* extension; };
  const Case cases[] = {{"Readme.txt.bak", 10, "Readme.txt", "bak"},
                        {"Readme", -1, "Readme", ""},
                        {"*.", 1, "*", ""},
                        {".profile", 0, "", "profile"},
                        {"", -1, "", ""}};
  for (const Case& c : cases) {
    char base[256], extension[256];
    EXPECT_EQ(SplitExtension(c.name, base, 256, extension, 256), c.dot) << c.name;
    EXPECT_STREQ(base, c.base) << c.name;
    EXPECT_STREQ(extension, c.extension) << c.name;
  }
  char small[4], extension[4];
  EXPECT_EQ(SplitExtension("long.txt", small, 4, extension, 4), 4);
  EXPECT_STREQ(small, "");  // never a cut base
  EXPECT_STREQ(extension, "txt");
}

// The mode 1 question, answered by the robot.
class QuestionTest : public RemovalTest {
 protected:
  void SetUp() override {
    RemovalTest::SetUp();
    LoadLogText(scratch, "A51,Delete %s?\r\n");
    gDialog = host;
    static int serial = 0;
    wsprintfA(gCaption, "Removal question %lu-%d", GetCurrentProcessId(), ++serial);
  }
};

TEST_F(QuestionTest, YesDeletesAndNoKeepsUnlisted) {
  Build(scratch, {"yes.txt", "no.txt"});
  BoxRobot robot;
  StartRobot(&robot, gCaption, IDYES);
  Run("P{S}\\yes.txt,1");
  ASSERT_EQ(FinishRobot(&robot), 1);
  EXPECT_EQ(std::string(robot.text), "Delete " + scratch + "\\yes.txt?");
  EXPECT_TRUE(robot.buttons & (1u << IDNO));
  EXPECT_FALSE(PathExists(scratch + "\\yes.txt"));

  StartRobot(&robot, gCaption, IDNO);
  Run("P{S}\\no.txt,1");
  ASSERT_EQ(FinishRobot(&robot), 1);
  EXPECT_TRUE(PathExists(scratch + "\\no.txt"));
  EXPECT_TRUE(Leftovers().empty());
}

// Kept by a No, or listed: no later line takes the file, however it spells it.
TEST_F(QuestionTest, FileNamedTwiceIsAskedOnce) {
  Build(scratch, {"Long Folder Name\\twice.txt", "Long Folder Name\\listed.txt"});
  char shortName[MAX_PATH] = "";
  GetShortPathNameA((scratch + "\\Long Folder Name").c_str(), shortName, MAX_PATH);
  ASSERT_NE(std::string(shortName).find('~'), std::string::npos) << shortName;
  BoxRobot robot;
  StartRobot(&robot, gCaption, IDNO, 2);
  Run("P{S}\\Long Folder Name\\twice.txt,1");
  Run("P{S}\\Long Folder Name\\listed.txt,2");
  for (const std::string& folder :
       {scratch + "\\Long Folder Name", scratch + "\\x\\..\\Long Folder Name",
        scratch + "\\.\\Long Folder Name", scratch + "/Long Folder Name", std::string(shortName)})
    for (const char* name : {"\\twice.txt,1", "\\twice.txt,0", "\\*.txt,0", "\\listed.txt,0"})
      Run("P" + folder + name);
  Run("U{S}\\Long Folder Name,1");
  EXPECT_EQ(StopRobot(&robot), 1);
  EXPECT_TRUE(PathExists(scratch + "\\Long Folder Name\\twice.txt"));
  EXPECT_TRUE(PathExists(scratch + "\\Long Folder Name\\listed.txt"));
}

TEST_F(QuestionTest, SilentModeStillAsks) {
  Build(scratch, {"quiet.txt"});
  gSilent = true;
  gDialog = nullptr;
  BoxRobot robot;
  StartRobot(&robot, gCaption, IDYES);
  Run("P{S}\\quiet.txt,1");
  EXPECT_EQ(FinishRobot(&robot), 1);
  EXPECT_FALSE(PathExists(scratch + "\\quiet.txt"));
}

// A No answer and a leftover hold for the rest of the run, however many
// files went before them: 2,100 paths of 103 characters outgrow the first
// 200,000-byte block of the handled-file pool.
TEST_F(QuestionTest, NoAnswerAndLeftoverHoldPastTheFirstPoolBlock) {
  const int kFiles = 2100;
  const size_t kPathLength = 103;
  std::string pool = scratch + "\\pool";
  ASSERT_TRUE(CreateDirectoryA(pool.c_str(), nullptr));
  ASSERT_LT(pool.size() + 12, kPathLength);
  for (int i = 0; i < kFiles; ++i) {
    char number[16];
    wsprintfA(number, "\\%05d", i);
    std::string path = pool + number;
    path += std::string(kPathLength - path.size() - 4, 'f') + ".dat";
    WriteTextFile(path, "x");
  }
  ASSERT_GT(kFiles * (kPathLength + 1), static_cast<size_t>(kHandledPoolSize));
  Build(scratch, {"cfg\\user.cfg", "cfg\\notes.txt"});
  Run("P{S}\\pool\\*.*,0");
  EXPECT_EQ(ListTree(pool), Names{});  // the big removal itself still works
  BoxRobot robot;
  StartRobot(&robot, gCaption, IDNO);
  Run("P{S}\\cfg\\user.cfg,1");
  ASSERT_EQ(FinishRobot(&robot), 1);
  Run("P{S}\\cfg\\notes.txt,2");
  Run("U{S}\\cfg,1");
  EXPECT_TRUE(PathExists(scratch + "\\cfg\\user.cfg"));
  EXPECT_TRUE(PathExists(scratch + "\\cfg\\notes.txt"));
  EXPECT_EQ(Leftovers(), (Names{"cfg\\notes.txt"}));
}

// When the table can grow no further, a file that cannot be recorded is
// kept and listed: never deleted, never asked about.
TEST_F(QuestionTest, FileThatCannotBeRecordedIsKeptAndListed) {
  Build(scratch, {"first.txt", "a.txt", "b.txt"});
  Run("P{S}\\first.txt,2");
  char* fill = gHandledPoolFill;
  gHandledPoolBlocks = kHandledPoolBlocks;
  gHandledPoolFill = gHandledPool + kHandledPoolSize - 2;  // the last block is full
  Run("P{S}\\a.txt,0");
  BoxRobot robot;
  StartRobot(&robot, gCaption, IDYES, 1, 2000);
  Run("P{S}\\b.txt,1");
  EXPECT_EQ(FinishRobot(&robot), 0);
  EXPECT_EQ(ListTree(scratch), (Names{"a.txt", "b.txt", "first.txt", "uninstal.ini"}));
  EXPECT_EQ(Leftovers(), (Names{"a.txt", "b.txt", "first.txt"}));
  gHandledPoolFill = fill;
}

// A link inside the tree that points outside it is never followed.
TEST_F(RemovalTest, FolderLinkIsNotFollowedOutOfTheTree) {
  std::string outside = MakeScratchFolder("target");
  Build(outside, {"precious.txt", "inner\\precious2.txt"});
  Build(scratch, {"Tree\\a.txt", "Tree\\Sub\\b.txt"});
  std::string unixLink = UnixName(scratch + "\\Tree\\Sub\\link");
  std::string unixTarget = UnixName(outside);
  ASSERT_FALSE(unixLink.empty());
  ASSERT_TRUE(RunShell("ln -s '" + unixTarget + "' '" + unixLink + "'"));
  DWORD attributes = GetFileAttributesA((scratch + "\\Tree\\Sub\\link").c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  ASSERT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  for (const char* line : {"U{S}\\Tree,1", "U{S}\\Tree,0", "U{S}\\Tree\\Sub\\link,1",
                           "U{S}\\Tree\\Sub\\*,1", "P{S}\\Tree\\Sub\\link\\*.*,5"}) {
    Run(line);
    EXPECT_EQ(ListTree(outside), (Names{"inner\\", "inner\\precious2.txt", "precious.txt"}))
        << line;
  }
  EXPECT_FALSE(PathExists(scratch + "\\Tree\\a.txt"));
  RunShell("rm -f '" + unixLink + "'");
  RemoveTree(outside);
}

// Entries whose paths outgrow the buffers are skipped and stay on disk.
TEST_F(RemovalTest, OverlongPathsAreSkipped) {
  std::string name(120, 'n');
  std::string deep = UnixName(scratch) + "/Long";
  for (int i = 0; i < 5; ++i) deep += "/" + name;
  ASSERT_TRUE(RunShell("mkdir -p '" + deep + "' && echo x > '" + deep + "/deep.txt'"));
  Build(scratch, {"Long\\near.txt"});
  std::string overlong = "U" + scratch + "\\Long\\" + std::string(600, 'x') + ",1";
  RemoveFolders(overlong.c_str());
  RemoveMatching((scratch + "\\Long\\" + std::string(600, 'y')).c_str(), true, 1);
  Run("U{S}\\Long,1");
  EXPECT_FALSE(PathExists(scratch + "\\Long\\near.txt"));
  RunShell("test -f '" + deep + "/deep.txt' && touch '" + UnixName(scratch) + "/still'");
  EXPECT_TRUE(PathExists(scratch + "\\still"));
  RunShell("rm -rf '" + UnixName(scratch) + "/Long'");
}

// Roots, however they are spelled, never take a wildcard. The tree lives on
// a drive letter mapped to a scratch folder, so a fault could not harm the
// prefix.
TEST_F(RemovalTest, RootsAndDangerousPathsTouchNothing) {
  std::string drive = scratch + "\\drive";
  CreateDirectoryA(drive.c_str(), nullptr);
  const Names tree = {"f.tmp", "keep.txt", "dir\\x.txt", "dir\\y.tmp", "emptydir\\"};
  Build(drive, tree);
  std::string devices = UnixName("C:\\");
  devices = devices.substr(0, devices.find("/dosdevices/") + 12);
  std::string mapping = devices + "q:";
  ASSERT_TRUE(RunShell("ln -sfn '" + UnixName(drive) + "' '" + mapping + "'"));
  ASSERT_TRUE(PathExists("Q:\\keep.txt"));
  Names before = ListTree(drive);
  char oldFolder[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, oldFolder);
  SetCurrentDirectoryA("Q:\\dir");
  const char* lines[] = {
      "PQ:\\*.tmp,0",   "PQ:\\*,0",       "PQ:\\*.*,0",       "UQ:\\*,1",
      "UQ:\\*.*,1",     "UQ:\\*,5",       "UQ:\\,1",          "UQ:,1",
      "UQ:\\..\\*,1",   "UQ:\\dir\\..\\*,1", "UQ:\\\\\\*,1",  "UQ:\\.,1",
      "UQ:\\?*,1",      "U\\\\?\\Q:\\*,1", "UQ:*,1",          "U,1",
      "P,0",            "U\\*,1",         "U..\\*,1",         "U..\\..\\*,1",
      "UQ:\\dir\\..,1", "U\\,1",          "U.,1",             "U..,1",
      // The NT and device namespaces, with every mix of slashes: the platform
      // opens these at the root of Q:, not below the current folder.
      "P\\??\\Q:\\*.tmp,0", "P/?\?/Q:/*.tmp,0",  "U/?\?/Q:/*,1",      "U\\??\\Q:\\*,1",
      "U\\??\\Q:\\*.*,1",  "U\\??\\Q:\\dir,1", "P\\??\\Q:\\dir\\*.*,0",
      "U\\/?\\Q:\\*,1",    "U//?/Q:/*,1",      "U/\\?/Q:\\*,1",  "U\\\\?\\Q:/*,1",
      "U\\\\.\\Q:\\*,1",  "U//./Q:/*,1",      "U\\\\?\\Q:\\dir,1", "U\\\\.\\Q:\\dir,1",
      "P\\\\?\\Q:\\f.tmp\\..\\*.tmp,0", "U\\??\\Q:\\dir\\..\\*,1",
      "U\\\\?\\GLOBALROOT\\??\\Q:\\*,1", "U\\??\\GLOBALROOT\\??\\Q:\\*,1",
      "P\\\\?\\GLOBALROOT\\DosDevices\\Q:\\*.*,0",
      // Doubled separators, "." parts, trailing dots and spaces.
      "UQ:\\\\dir\\..\\*,1", "UQ:\\.\\*,1",    "UQ:\\.\\.\\*.*,1", "PQ:\\.\\*.tmp,0",
      "UQ:\\dir.\\..\\*,1",  "UQ:\\dir \\..\\*,1"};
  for (const char* line : lines) {
    Build(drive, tree);  // each line on the whole tree
    SetCurrentDirectoryA("Q:\\dir");
    Run(line);
    EXPECT_EQ(ListTree(drive), before) << line;
  }
  SetCurrentDirectoryA(oldFolder);
  // The drive works: a plain name at its root is found and named with one
  // backslash after the drive.
  Run("PQ:\\keep.txt,2");
  EXPECT_EQ(ListLines(host, IDC_LEFTOVERS), (Names{"Q:\\keep.txt"}));
  Run("UQ:\\dir,1");
  EXPECT_FALSE(PathExists(drive + "\\dir"));
  RunShell("rm -f '" + mapping + "'");
}

// "." and ".." name no entry of their own (the platform may answer a search
// for "Dot\." with the entry "Dot", which would then be joined to the wrong
// folder).
TEST_F(RemovalTest, DotNamesTouchNothing) {
  Build(scratch, {"Dot\\Dot\\inner.txt", "Dot\\Dot\\Dot\\deeper.txt"});
  Names before = ListTree(scratch);
  for (const char* line : {"U{S}\\Dot\\.,1", "U{S}\\Dot\\Dot\\..,1", "P{S}\\Dot\\Dot\\.,0"}) {
    Run(line);
    EXPECT_EQ(ListTree(scratch), before) << line;
  }
}

// A path without a backslash is searched in the current folder and its
// entries are named there.
TEST_F(RemovalTest, RelativePathNamesTheEntryFound) {
  Build(scratch, {"here.txt", "sub\\here.txt"});
  char oldFolder[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, oldFolder);
  SetCurrentDirectoryA((scratch + "\\sub").c_str());
  Run("Phere.txt,2");
  SetCurrentDirectoryA(oldFolder);
  EXPECT_EQ(ListLines(host, IDC_LEFTOVERS), (Names{"here.txt"}));
}

// How the guard judges each spelling, without running anything: the NT and
// device namespaces refuse every sweep, but one file there is still taken.
TEST(RefusalOf, Spellings) {
  char volume[MAX_PATH] = "\\\\?\\Volume{00000000-0000-0000-0000-000000000043}\\";
  GetVolumeNameForVolumeMountPointA("C:\\", volume, MAX_PATH);
  const std::string v = volume;  // ends in a backslash
  const struct { std::string path; bool recursive; int refusal; } cases[] = {
      {"\\??\\C:\\*.zzz", false, kRefuseDevice},      {"/?\?/C:/*.zzz", true, kRefuseDevice},
      {"\\??\\C:\\*", true, kRefuseDevice},           {"\\??\\C:\\Games", true, kRefuseDevice},
      {"\\\\?\\C:\\Games\\*.txt", false, kRefuseDevice}, {"//?/C:/Games/*.txt", false, kRefuseDevice},
      {"\\/?\\C:\\Games\\re*.txt", false, kRefuseDevice}, {"/\\?/C:\\Games", true, kRefuseDevice},
      {"\\\\.\\C:\\Games\\*.*", false, kRefuseDevice}, {"//./C:/Games", true, kRefuseDevice},
      {"\\??\\UNC\\server\\share\\*.*", false, kRefuseDevice},
      {"\\\\?\\UNC\\server\\share\\Games", true, kRefuseDevice},
      {"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\*", true, kRefuseDevice},
      {"\\\\?\\GLOBALROOT\\??\\C:\\Games\\*.tmp", false, kRefuseDevice},
      {v + "*", true, kRefuseDevice},                 {v + "Games\\*.*", false, kRefuseDevice},
      {v + "Games", true, kRefuseDevice},
      // One file in the namespace is opened as named.
      {"\\??\\C:\\Games\\a.txt", false, kRefuseNone},  {"\\\\?\\C:\\Games\\a.txt", false, kRefuseNone},
      {v + "Games\\a.txt", false, kRefuseNone},
      // Roots, however written.
      {"C:\\*.tmp", false, kRefuseShortFolder},       {"C:\\\\re*.tmp", false, kRefuseRoot},
      {"C:\\.\\*", true, kRefuseRoot},                {"C:\\Games\\..\\*", true, kRefuseRoot},
      {"C:/Games/../re*.txt", false, kRefuseRoot},    {"C:\\Games.\\..\\*.*", false, kRefuseRoot},
      {"\\\\server\\share\\*", true, kRefuseRoot},    {"\\\\server\\share\\dir\\..\\*.*", false, kRefuseRoot},
      {"C:\\Games\\..", true, kRefuseRoot},
      // Ordinary folders stay as they were.
      {"C:\\Games\\Demo\\*.*", false, kRefuseNone},   {"C:\\Games\\Demo", true, kRefuseNone},
      {"C:\\Games\\*", true, kRefuseNone},            {"C:\\Games\\Demo\\", true, kRefuseNone},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.refusal, RefusalOf(c.path.c_str(), c.recursive)) << c.path;
}

// The system's and the user's own folders, found here by the same platform
// calls, in many spellings: no U line and no P pattern that matches every
// name sweeps them, while one file and narrower patterns still work.
const struct { const char* name; int csidl; } kProtectedFolders[] = {
    {"Windows", CSIDL_WINDOWS},
    {"system", CSIDL_SYSTEM},
    {"system (32-bit view)", CSIDL_SYSTEMX86},
    {"Program Files", CSIDL_PROGRAM_FILES},
    {"Program Files (x86)", CSIDL_PROGRAM_FILESX86},
    {"Common Files", CSIDL_PROGRAM_FILES_COMMON},
    {"Common Files (x86)", CSIDL_PROGRAM_FILES_COMMONX86},
    {"Fonts", CSIDL_FONTS},
    {"common application data", CSIDL_COMMON_APPDATA},
    {"application data", CSIDL_APPDATA},
    {"local application data", CSIDL_LOCAL_APPDATA},
    {"profile", CSIDL_PROFILE},
    {"Desktop", CSIDL_DESKTOPDIRECTORY},
    {"common Desktop", CSIDL_COMMON_DESKTOPDIRECTORY},
    {"Documents", CSIDL_PERSONAL},
    {"Start Menu", CSIDL_STARTMENU},
    {"common Start Menu", CSIDL_COMMON_STARTMENU},
    {"Programs", CSIDL_PROGRAMS},
    {"Downloads", -1},
    {"temporary folder", -2},
    {"the folder above the profile", -3},
};

std::string FolderOf(int csidl) {
  char path[MAX_PATH] = "";
  if (csidl >= 0) {
    lstrcpynA(path, KnownFolder(csidl).c_str(), MAX_PATH);
  } else if (csidl == -1) {
    PWSTR wide = nullptr;
    const GUID downloads = {0x374de290, 0x123f, 0x4565, {0x91, 0x64, 0x39, 0xc4, 0x92, 0x5e, 0x46, 0x7b}};
    if (SHGetKnownFolderPath(downloads, 0, nullptr, &wide) != S_OK) return "";
    WideCharToMultiByte(CP_ACP, 0, wide, -1, path, MAX_PATH, nullptr, nullptr);
    CoTaskMemFree(wide);
  } else if (csidl == -2) {
    lstrcpynA(path, TempFolder().c_str(), MAX_PATH);
  } else {
    lstrcpynA(path, KnownFolder(CSIDL_PROFILE).c_str(), MAX_PATH);
    StripLastComponent(path);
  }
  std::string folder = path;
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::vector<std::string> SpellingsOf(const std::string& folder) {
  std::string last = folder.substr(folder.rfind('\\') + 1);
  std::string lower = folder, upper = folder, slashes = folder;
  CharLowerA(&lower[0]);
  CharUpperA(&upper[0]);
  for (char& c : slashes)
    if (c == '\\') c = '/';
  char shortName[MAX_PATH] = "";
  GetShortPathNameA(folder.c_str(), shortName, MAX_PATH);
  std::vector<std::string> out = {folder, lower, upper, slashes, folder + "\\.",
                                  folder.substr(0, 3) + "\\" + folder.substr(3),
                                  folder + "\\..\\" + last, folder + "\\x\\..", folder + ".",
                                  folder + " ", folder + "\\"};
  if (shortName[0]) out.push_back(shortName);
  return out;
}

TEST(ProtectedFolders, NeverSweptInAnySpelling) {
  int found = 0;
  for (const auto& known : kProtectedFolders) {
    std::string folder = FolderOf(known.csidl);
    if (folder.empty() || !PathExists(folder)) continue;  // not on this system
    ++found;
    for (const std::string& s : SpellingsOf(folder)) {
      std::string b = s.back() == '\\' ? s : s + "\\";
      if (s.back() != '\\') {
        EXPECT_NE(kRefuseNone, RefusalOf(s.c_str(), true)) << known.name << ": U " << s;
      }
      for (const std::string& sweep : {b + "*", b + "*.*", b + "*.ini", b + "?*"})
        EXPECT_NE(kRefuseNone, RefusalOf(sweep.c_str(), true)) << known.name << ": U " << sweep;
      for (const std::string& all : {b + "*.*", b + "*", b + "*.", b + "?*.*", b + "??*",
                                     b + "*.ini", b + "*old.txt", b + "?lyer.ini"})
        EXPECT_NE(kRefuseNone, RefusalOf(all.c_str(), false)) << known.name << ": P " << all;
      for (const std::string& narrow : {b + "flyer*.ini", b + "flyer.ini", b + "fly?r.ini"}) {
        EXPECT_EQ(kRefuseNone, RefusalOf(narrow.c_str(), false)) << known.name << ": P " << narrow;
        EXPECT_EQ(kRefuseNone, RefusalOf(narrow.c_str(), true)) << known.name << ": U " << narrow;
      }
    }
  }
  EXPECT_GE(found, 15);  // the prefix has nearly all of them
}

// The same through a link: a folder link in the scratch tree that leads to
// the Windows folder is judged by what it opens.
TEST_F(RemovalTest, LinkToAProtectedFolderIsJudgedByItsTarget) {
  std::string unixLink = UnixName(scratch + "\\winlink");
  ASSERT_TRUE(RunShell("ln -s '" + UnixName(FolderOf(CSIDL_WINDOWS)) + "' '" + unixLink + "'"));
  ASSERT_TRUE(PathExists(scratch + "\\winlink\\system32"));
  EXPECT_EQ(kRefuseProtected, RefusalOf((scratch + "\\winlink\\*").c_str(), true));
  EXPECT_EQ(kRefuseProtected, RefusalOf((scratch + "\\winlink\\*.*").c_str(), false));
  EXPECT_EQ(kRefuseProtected, RefusalOf((scratch + "\\winlink").c_str(), true));
  EXPECT_EQ(kRefuseProtected, RefusalOf((scratch + "\\winlink\\*.ini").c_str(), false));
  Run("P{S}\\winlink\\*.*,2");  // would only list
  EXPECT_EQ(Leftovers(), Names{});
  RunShell("rm -f '" + unixLink + "'");
}

// In the temporary folder (where the scratch folders live) real lines run on
// a canary of our own: one file and narrower patterns work, sweeps do not.
TEST_F(RemovalTest, OneFileAndNarrowPatternsStillWorkInAProtectedFolder) {
  std::string temp = FolderOf(-2);
  char name[64];
  wsprintfA(name, "dv_canary_%lu", GetCurrentProcessId());
  std::string canary = temp + "\\" + name + ".tmp";
  const struct { std::string line; bool goes; bool listed; } cases[] = {
      {"U" + temp + "\\" + name + ".tmp,1", true, false},  // a U line naming one file
      {"P" + temp + "\\*.*,2", false, false},
      {"P" + temp + "\\*,2", false, false},
      {"P" + temp + "/./*.*,2", false, false},
      {"P" + temp + "\\" + name + "*.tmp,2", false, true},
      {"P" + temp + "\\" + name + ".tmp,0", true, false},
      {"P" + temp + "\\" + name + "*.tmp,0", true, false},
      {"U" + temp + "\\" + name + "*,1", true, false},  // a U pattern with a stem too
      // A wildcard first takes a whole class ("*.ini" in the Windows folder).
      {"P" + temp + "\\*" + name + ".tmp,0", false, false},
      {"P" + temp + "\\?" + (name + 1) + ".tmp,0", false, false},
      {"U" + temp + "\\*" + name + ".tmp,1", false, false},
      // The search's own wildcards, and the characters no name holds.
      {"P" + temp + "\\*\".*,0", false, false},
      {"P" + temp + "\\" + name + "<,0", false, false},
      {"P" + temp + "\\" + name + ".tm>,0", false, false},
      {"P" + temp + "\\" + name + "\"tmp,0", false, false},
  };
  for (const auto& c : cases) {
    ResetProgramState();
    gDialog = host;
    SendDlgItemMessageA(host, IDC_LEFTOVERS, LB_RESETCONTENT, 0, 0);
    WriteTextFile(canary, "x");
    Run(c.line);
    EXPECT_EQ(!c.goes, PathExists(canary)) << c.line;
    Names listed = ListLines(host, IDC_LEFTOVERS);
    EXPECT_EQ(c.listed, std::find(listed.begin(), listed.end(), canary) != listed.end()) << c.line;
  }
  DeleteFileA(canary.c_str());
  // A narrow U pattern there never takes a kept folder it matches.
  std::string downloads = FolderOf(-1);
  ASSERT_GT(downloads.size(), 3u);
  std::string stem = downloads.substr(0, downloads.size() - 3);  // "...\Downloa"
  RemoveFolders(("U" + stem + "*,2").c_str());
  EXPECT_TRUE(PathExists(downloads));
  CreateDirectoryA(downloads.c_str(), nullptr);
}

}  // namespace
