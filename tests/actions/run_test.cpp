// The action run: phases, progress notes and the dispatch by kind letter.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "actions/actions.h"
#include "common/state.h"
#include "log/log.h"
#include "removal_fixture.h"
#include "run_support.h"

namespace {

const char kNotesTitle[] = "Run notes window";

class ActionRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = MakeScratchFolder("actions");
    record = new CallRecord(folder);
    notes = removal_test::CreateHost(kNotesTitle);
    ASSERT_TRUE(notes);
    SetEnvironmentVariableA("RUN_TEST_NOTES", kNotesTitle);
  }
  void TearDown() override {
    SetEnvironmentVariableA("RUN_TEST_NOTES", nullptr);
    gDialog = nullptr;
    DestroyWindow(notes);
    delete record;
    RemoveTree(folder);
  }
  // Loads a log (lines joined with CR LF) and opens the stand-in dialog.
  void Load(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    LoadLogText(folder, text);
    gDialog = notes;
  }
  std::vector<std::string> Notes() { return ListBoxLines(GetDlgItem(notes, IDC_PROGRESS)); }
  LRESULT Selected() { return SendDlgItemMessageA(notes, IDC_PROGRESS, LB_GETCURSEL, 0, 0); }
  // A D line whose call records its tag (and the notes shown at that moment).
  std::string Call(const std::string& head, const std::string& tag) {
    return head + "," + LibraryPath() + ",Call1,1," + tag;
  }

  std::string folder;
  CallRecord* record = nullptr;
  HWND notes = nullptr;
};

const std::vector<std::string> kNoteTexts = {"A81,Checking programs", "A54,Registry",
                                             "A55,Profiles", "A42,Files", "A58,Please wait"};

std::vector<std::string> WithNotes(std::vector<std::string> lines) {
  lines.insert(lines.begin(), kNoteTexts.begin(), kNoteTexts.end());
  return lines;
}

TEST_F(ActionRunTest, PhasesSplitAtFifteenThousandWithNotesBeforeTheirAction) {
  const std::vector<std::string> lines = WithNotes({
      Call("D30001", "n30001"), Call("D14999", "n14999"), Call("D15000", "n15000"),
      Call("D3001", "n3001"), Call("D19999", "n19999"), Call("D21001", "n21001"),
      Call("D5000", "n5000"),
  });
  Load(lines);
  RunActions(kEarlyPhase);
  EXPECT_EQ("Call1|n3001#1\nreleased\nCall1|n5000#1\nreleased\nCall1|n14999#1\nreleased\n",
            record->Read());
  EXPECT_EQ(std::vector<std::string>({"Checking programs"}), Notes());
  ASSERT_TRUE(gCurrent <= gLast);
  EXPECT_EQ(15000, gCurrent->orderNumber);  // the early run rests on the first late record

  // Stage two loads the log afresh and runs the rest.
  DeleteFileA(record->path.c_str());
  SendDlgItemMessageA(notes, IDC_PROGRESS, LB_RESETCONTENT, 0, 0);
  Load(lines);
  RunActions(kLatePhase);
  EXPECT_EQ("Call1|n15000#0\nreleased\nCall1|n19999#1\nreleased\nCall1|n21001#2\nreleased\n"
            "Call1|n30001#4\nreleased\n",
            record->Read());
  EXPECT_EQ(std::vector<std::string>({"Registry", "Profiles", "Files", "Please wait"}), Notes());
  EXPECT_EQ(3, Selected());
  EXPECT_EQ(gLast + 1, gCurrent);
}

TEST_F(ActionRunTest, RunsNothingWhereThePhaseHasNoRecords) {
  struct {
    std::vector<std::string> actions;
    int phase;
  } cases[] = {
      {{}, kEarlyPhase},
      {{}, kLatePhase},
      {{Call("D3001", "early"), Call("D14999", "early")}, kLatePhase},
      {{Call("D15000", "late"), Call("D30001", "late")}, kEarlyPhase},
  };
  for (const auto& c : cases) {
    DeleteFileA(record->path.c_str());
    SendDlgItemMessageA(notes, IDC_PROGRESS, LB_RESETCONTENT, 0, 0);
    Load(WithNotes(c.actions));
    ActionRecord* start = gCurrent;
    RunActions(c.phase);
    EXPECT_EQ("", record->Read()) << "phase " << c.phase;
    EXPECT_TRUE(Notes().empty()) << "phase " << c.phase;
    if (c.phase == kLatePhase) EXPECT_EQ(gLast + 1, gCurrent);
    if (c.phase == kEarlyPhase) EXPECT_EQ(start, gCurrent);
  }
}

TEST_F(ActionRunTest, EachRecordAtANoteNumberAddsItsNote) {
  // No text for 81: the note is an empty, selected line.
  Load({"A42,Files", "A58,Please wait", "Q3001,x", "Q3001,y", "Q30001,z", "Q30002,w"});
  RunActions(kEarlyPhase);
  EXPECT_EQ(std::vector<std::string>({"", ""}), Notes());
  EXPECT_EQ(1, Selected());
  RunActions(kLatePhase);
  EXPECT_EQ(std::vector<std::string>({"", "", "Files", "Please wait"}), Notes());
  EXPECT_EQ(3, Selected());
}

TEST_F(ActionRunTest, NotesGoNowhereWithoutADialogButActionsRun) {
  Load(WithNotes({Call("D3001", "silent")}));
  gDialog = nullptr;
  RunActions(kEarlyPhase);
  EXPECT_EQ("Call1|silent#0\nreleased\n", record->Read());
  EXPECT_TRUE(Notes().empty());
}

TEST_F(ActionRunTest, DispatchesByCaseSensitiveKindLetter) {
  std::string mutexName = "RunDispatchMutex" + std::to_string(GetCurrentProcessId());
  HANDLE mutex = CreateMutexA(nullptr, FALSE, mutexName.c_str());
  std::string marker = folder + "\\marker.txt";
  std::string lib = LibraryPath();
  WriteTextFile(folder + "\\victim.txt", "x");
  WriteTextFile(folder + "\\spared.txt", "x");
  Load({
      "B1001,1," + mutexName + ",Busy,0",
      "C1002," + lib + ",Call1,1,checked",
      "D1003," + lib + ",Call1,1,unchecked",
      "E1004," + HelperPath("run_marker.exe") + " " + marker + " 0",
      "b1005,1," + mutexName + ",Busy,0",
      "c1006," + lib + ",Call1,1,lower",
      "d1007," + lib + ",Call1,1,lower",
      "e1008," + HelperPath("run_marker.exe") + " " + folder + "\\lower.txt 0",
      "A1009," + lib + ",Call1,1,A",
      "Q1010," + lib + ",Call1,1,Q",
      "P1011," + folder + "\\victim.txt,0",
      "p1012," + folder + "\\spared.txt,0",
  });
  CopyText(gCaption, kNameSize, "Run dispatch box");
  BoxAnswerer answerer;
  answerer.Start("Run dispatch box", IDIGNORE, IDIGNORE, nullptr);
  RunActions(kEarlyPhase);
  answerer.Finish();
  EXPECT_EQ(1, answerer.seen);
  EXPECT_EQ("Busy", answerer.text);
  EXPECT_EQ("Call1|checked#0\nreleased\nCall1|unchecked#0\nreleased\n", record->Read());
  EXPECT_TRUE(PathExists(marker));
  EXPECT_FALSE(PathExists(folder + "\\lower.txt"));
  EXPECT_FALSE(PathExists(folder + "\\victim.txt"));
  EXPECT_TRUE(PathExists(folder + "\\spared.txt"));
  CloseHandle(mutex);
}

TEST_F(ActionRunTest, FolderRemovalStartsAfterAPause) {
  Load({"Q64999,x"});
  // The tick count moves in coarse steps: a margin keeps the check honest
  // without making it flaky (a run with no pause takes well under 60 ms).
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  RunActions(kLatePhase);
  QueryPerformanceCounter(&end);
  double elapsedMs = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                     static_cast<double>(frequency.QuadPart);
  EXPECT_GE(elapsedMs, 60.0);
}

}  // namespace
