// uninstlog preview: a log that removes a whole scratch tree, registry keys,
// profile entries and shared counts, run through the uninstaller's own code
// with the gate answering. Nothing may change; everything must be listed.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "actions/actions.h"
#include "actions/run_support.h"
#include "common/gate.h"
#include "common/helpers.h"
#include "support/test_util.h"
#include "uninstlog/uninstlog.h"

namespace {

const char kTestKey[] = "Software\\DorvanePreviewTest";
const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

void DumpTree(const std::string& folder, std::string* out) {
  WalkTree(folder, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
    *out += path + " attributes " + std::to_string(entry.dwFileAttributes) + " written " +
            std::to_string(entry.ftLastWriteTime.dwLowDateTime) + "\n";
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) *out += ReadTextFile(path) + "\n";
  });
}

// A path as JSON writes it.
std::string JsonPath(const std::string& path) {
  std::string out;
  for (char c : path) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

class PreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeScratchFolder("preview");
    output_ = MakeScratchFolder("preview_output");  // the program's output, outside the tree
    std::string pkg = root_ + "\\Pkg";
    CreateDirectoryA(pkg.c_str(), nullptr);
    CreateDirectoryA((pkg + "\\sub").c_str(), nullptr);
    CreateDirectoryA((pkg + "\\sub\\deep").c_str(), nullptr);
    const char* const files[] = {"readme.txt", "ro.txt", "Sans.TTF", "ask.cfg", "keep.cfg",
                                 "sub\\deep\\a.dat"};
    for (const char* file : files) WriteTextFile(pkg + "\\" + file, std::string("text of ") + file);
    SetFileAttributesA((pkg + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteTextFile(root_ + "\\held.txt", "held");
    WriteTextFile(root_ + "\\sim.ini", "[Pkg]\r\na=1\r\nb=2\r\n[Other]\r\nx=1\r\n[Two]\r\nk=1\r\n");
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Pkg\\Sub1\\Sub2", "deep", "d"));
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Pkg", "v1", "one"));
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kTestKey, "Keep", "kept"));
    const DWORD counts[] = {3, 1};
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, Shared("shared.dll").c_str(), REG_DWORD,
                         &counts[0], sizeof counts[0]));
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, Shared("one.dll").c_str(), REG_DWORD,
                         &counts[1], sizeof counts[1]));
    held_ = CreateFileA((root_ + "\\held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                        0, nullptr);
    marker_ = root_ + "\\marker.txt";
    record_ = root_ + "\\record.txt";
    SetEnvironmentVariableA("RUN_TEST_RECORD", record_.c_str());
    log_ = root_ + "\\uninstal.ini";
    const std::string r = root_;
    WriteTextFile(log_,
                  "A10,Preview Test\r\nA48,Uninstall\r\nA43,Remove %s?\r\nA51,Delete %s?\r\n"
                  "B0,0," + r + "\\held.txt,Close the holder,0\r\n"
                  "E0," + HelperPath("run_marker.exe") + " " + marker_ + "\r\n"
                  "D0," + LibraryPath() + ",Call1,1,x\r\n"
                  "C0," + LibraryPath() + ",Call0,0\r\n"
                  "C0," + LibraryPath() + ",NoSuchFunction,0\r\n"
                  "J0,1," + kTestKey + "\\Pkg,\r\n"
                  "J0,1," + kTestKey + ",Missing\r\n"
                  "J0,2," + kUninstall + ",Missing\r\n"
                  "K20010," + Shared("shared.dll") + "\r\n"
                  "K20011," + Shared("shared.dll") + "\r\n"
                  "K0," + Shared("one.dll") + "\r\n"
                  "M0," + r + "\\sim.ini,Pkg,a\r\n"
                  "M0," + r + "\\sim.ini,Pkg,b\r\n"
                  "M0," + r + "\\sim.ini,Other,\r\n"
                  "P0," + r + "\\Pkg\\ask.cfg,1\r\n"
                  "P0," + r + "\\Pkg\\keep.cfg,2\r\n"
                  "P0," + r + "\\Pkg\\*.*,0\r\n"
                  "P0," + r + "\\held.txt,0\r\n"
                  "P0,C:\\*.tmp,0\r\n"
                  "U0," + r + "\\Pkg,1\r\n");
  }
  void TearDown() override {
    if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
    SetEnvironmentVariableA("RUN_TEST_RECORD", nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    for (const char* name : {"shared.dll", "one.dll"})
      RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedDllsKey, Shared(name).c_str());
    RemoveTree(root_);
    RemoveTree(output_);
  }
  std::string Shared(const char* name) const { return root_ + "\\" + name; }
  // Every byte the log could touch: the tree, the keys, the counts.
  std::string Machine() const {
    std::string out;
    DumpTree(root_, &out);
    WalkKey(HKEY_CURRENT_USER, kTestKey, [&](const std::string& key, const char* name, DWORD type,
                                             const std::string& data) {
      out += name ? "  " + std::string(name) + " " + std::to_string(type) + " " + data + "\n"
                  : "key " + key + "\n";
    });
    for (const char* name : {"shared.dll", "one.dll"}) {
      DWORD type = 0;
      std::string count;
      if (ReadValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, Shared(name).c_str(), &type, &count))
        out += "count " + std::string(name) + " " + std::to_string(type) + " " + count + "\n";
    }
    return out;
  }
  std::string root_, output_, log_, marker_, record_;
  HANDLE held_ = INVALID_HANDLE_VALUE;
};

// Effects of one kind, as "object|name|key|detail|happens" lines.
std::vector<std::string> Effects(const std::vector<PreviewStep>& steps, PreviewKind kind) {
  std::vector<std::string> out;
  for (const PreviewStep& step : steps)
    for (const PreviewEffect& e : step.effects)
      if (e.kind == kind)
        out.push_back(e.object + "|" + e.name + "|" + e.key + "|" + e.detail + "|" +
                      (e.happens ? "yes" : "no: " + e.why));
  return out;
}

TEST_F(PreviewTest, TheBuiltProgramChangesNothingAndSaysWhatWouldGo) {
  std::string before = Machine();
  ASSERT_NE(std::string::npos, before.find("ro.txt attributes 33 ")) << before;
  std::string out, err;
  int code = RunUninstlog(output_, "preview \"" + log_ + "\"", &out, &err);
  EXPECT_EQ(before, Machine()) << out;
  EXPECT_FALSE(PathExists(marker_)) << "the E line's program ran";
  EXPECT_FALSE(PathExists(record_)) << ReadTextFile(record_);
  EXPECT_EQ(2, code) << out << err;  // the refused pattern
  const std::string r = root_;
  for (const std::string& line :
       std::vector<std::string>{"delete file " + r + "\\Pkg\\readme.txt (18 bytes)", "clear read-only of " + r + "\\Pkg\\ro.txt",
        "unload the font " + r + "\\Pkg\\Sans.TTF and tell every window",
        "file " + r + "\\held.txt stays: held open by another program",
        "remove folder " + r + "\\Pkg\\sub\\deep", "folder " + r + "\\Pkg stays: not empty",
        std::string("refused: C:\\*.tmp: a wildcard whose folder part is shorter than 4 characters"),
        r + "\\held.txt is in use now: the box would appear (Abort/Retry/Ignore): \"Close the holder\" (the preview goes on as Ignore)",
        "ask \"Delete " + r + "\\Pkg\\ask.cfg?\" (the box would appear; the preview answers Yes)",
        std::string("summary: 5 files (85 bytes), 2 folders, 3 keys, 2 values, 3 profile entries, 3 shared-library counts removed or lowered"),
        // What raised the exit code.
        std::string("exit code 2, raised by:"), std::string("  2 refused (the lines marked refused above)")})
    EXPECT_NE(std::string::npos, out.find(line)) << line << "\n" << out;
  std::string json;
  EXPECT_EQ(2, RunUninstlog(output_, "preview --json --no \"" + log_ + "\"", &json, &err)) << err;
  EXPECT_EQ(before, Machine());
  EXPECT_NE(std::string::npos, json.find("\"kind\": \"question\", \"happens\": true, \"object\": "
                                         "\"Delete " + JsonPath(r) + "\\\\Pkg\\\\ask.cfg?\", \"detail\": \"No\"")) << json;
}

TEST_F(PreviewTest, LaterLinesSeeWhatEarlierLinesWouldHaveDone) {
  std::string before = Machine();
  LogScan scan;
  std::string error;
  ASSERT_TRUE(ScanLog(log_.c_str(), &scan, &error)) << error;
  PreviewRun run;
  ASSERT_TRUE(RunPreview(scan, PreviewOptions(), &run, &error)) << error;
  EXPECT_FALSE(PreviewRunning());
  EXPECT_EQ(before, Machine());
  const std::string r = root_;
  const std::string t = std::string("HKEY_CURRENT_USER\\") + kTestKey;
  // The tree: deepest first, each key seen without the ones gone before it.
  EXPECT_EQ((std::vector<std::string>{t + "\\Pkg\\Sub1\\Sub2||||yes", t + "\\Pkg\\Sub1||||yes",
                                      t + "\\Pkg||||yes"}),
            Effects(run.stageTwo, kEffectKey));
  // A count lowered by one line reads lowered on the next; the one at 1 goes
  // to the user.
  const std::string shared = "HKEY_LOCAL_MACHINE\\" + std::string(kSharedDllsKey);
  EXPECT_EQ((std::vector<std::string>{shared + "|" + Shared("one.dll") + "||1 -> deleted|yes",
                                      shared + "|" + Shared("shared.dll") + "||3 -> 2|yes",
                                      shared + "|" + Shared("shared.dll") + "||2 -> 1|yes"}),
            Effects(run.stageTwo, kEffectCount));
  EXPECT_EQ((std::vector<std::string>{"HKEY_LOCAL_MACHINE\\" + std::string(kUninstall) +
                                          "|Missing|||no: not there",
                                      t + "|Missing|||no: not there"}),
            Effects(run.stageTwo, kEffectValue));
  // Stage one never deletes the key that holds every product's registration.
  EXPECT_EQ((std::vector<std::string>{std::string(kUninstall) +
                                      "||||no: stage one deletes only one product's key directly "
                                      "below it"}),
            Effects(run.stageOne, kEffectRefusal));
  // Removing the last key of a section takes the section.
  EXPECT_EQ((std::vector<std::string>{r + "\\sim.ini|Pkg|a|1|yes", r + "\\sim.ini|Pkg|b|2|yes"}),
            Effects(run.stageTwo, kEffectEntry));
  EXPECT_EQ((std::vector<std::string>{r + "\\sim.ini|Pkg|||yes", r + "\\sim.ini|Other|||yes"}),
            Effects(run.stageTwo, kEffectSection));
  // Each file once: asked, kept for the user, deleted by the wildcard, and
  // the deep one by the folder line; the handled ones are not touched again.
  EXPECT_EQ(Sorted({r + "\\Pkg\\ask.cfg||||yes", r + "\\Pkg\\readme.txt||||yes",
                    r + "\\Pkg\\ro.txt||||yes", r + "\\Pkg\\Sans.TTF||||yes",
                    r + "\\held.txt||||no: held open by another program",
                    r + "\\Pkg\\sub\\deep\\a.dat||||yes"}),
            Sorted(Effects(run.stageTwo, kEffectFile)));
  EXPECT_EQ((std::vector<std::string>{Shared("one.dll") + "||||yes", r + "\\Pkg\\keep.cfg||||yes",
                                      r + "\\held.txt||||yes"}),
            Effects(run.stageTwo, kEffectLeftover));
  EXPECT_EQ((std::vector<std::string>{r + "\\Pkg\\sub\\deep||||yes", r + "\\Pkg\\sub||||yes",
                                      r + "\\Pkg||||no: not empty"}),
            Effects(run.stageTwo, kEffectFolder));
  // Stage one: the check finds the held file, the program and the library
  // functions are named but never run; the missing export calls nothing.
  EXPECT_EQ(1u, Effects(run.stageOne, kEffectCheckBox).size());
  EXPECT_EQ(1u, Effects(run.stageOne, kEffectProgram).size());
  EXPECT_EQ((std::vector<std::string>{LibraryPath() + "|Call0|||yes",
                                      LibraryPath() + "|Call1||\"x\"|yes"}),
            Effects(run.stageOne, kEffectCall));
  EXPECT_EQ(3u, Effects(run.stageOne, kEffectLibrary).size());
  EXPECT_FALSE(PathExists(marker_));
  EXPECT_FALSE(PathExists(record_));
}

// A file deleted under its long name is gone under its short name too.
TEST_F(PreviewTest, OneFileUnderTwoSpellings) {
  const std::string file = root_ + "\\a long file name.txt";
  WriteTextFile(file, "x");
  char shortPath[MAX_PATH] = "";
  GetShortPathNameA(file.c_str(), shortPath, sizeof shortPath);
  if (SameText(shortPath, file.c_str()) || !shortPath[0]) GTEST_SKIP() << "no short names here";
  WriteTextFile(log_, "P0," + file + ",0\r\nP0," + shortPath + ",2\r\n");
  LogScan scan;
  std::string error;
  ASSERT_TRUE(ScanLog(log_.c_str(), &scan, &error)) << error;
  PreviewRun run;
  ASSERT_TRUE(RunPreview(scan, PreviewOptions(), &run, &error)) << error;
  EXPECT_EQ((std::vector<std::string>{file + "||||yes"}), Effects(run.stageTwo, kEffectFile));
  EXPECT_TRUE(Effects(run.stageTwo, kEffectLeftover).empty()) << shortPath;
  EXPECT_TRUE(PathExists(file));
}

}  // namespace
