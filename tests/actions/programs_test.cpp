// Running-program checks, library calls and program runs, against the real
// Win32 calls under Wine.
#include <gtest/gtest.h>
#include <string>
#include "actions/actions.h"
#include "common/state.h"
#include "run_support.h"

namespace {

const char kBoxCaption[] = "Run check box";

std::string Pid() { return std::to_string(GetCurrentProcessId()); }

// ---- text helpers ---------------------------------------------------------

// StripQuotes removes only a surrounding pair; ExpandLineBreaks turns each
// "|#" into a line feed.
TEST(TextHelpers, StripQuotesAndExpandLineBreaks) {
  const struct { void (*helper)(char*); const char* in; const char* out; } cases[] = {
      {StripQuotes, "\"abc\"", "abc"},       {StripQuotes, "\"\"", ""},
      {StripQuotes, "\"abc", "\"abc"},       {StripQuotes, "abc\"", "abc\""},
      {StripQuotes, "a\"b\"c", "a\"b\"c"},   {StripQuotes, "\"a\"b\"", "a\"b"},
      {StripQuotes, "", ""},                {StripQuotes, "\"a, b\"", "a, b"},
      {ExpandLineBreaks, "a|#b", "a\nb"},   {ExpandLineBreaks, "|#|#", "\n\n"},
      {ExpandLineBreaks, "a|b#", "a|b#"},   {ExpandLineBreaks, "a||#b", "a|\nb"},
      {ExpandLineBreaks, "|##", "\n#"},     {ExpandLineBreaks, "end|", "end|"},
      {ExpandLineBreaks, "#|", "#|"},       {ExpandLineBreaks, "", ""},
      {ExpandLineBreaks, "no breaks", "no breaks"},
  };
  for (const auto& c : cases) {
    char buffer[64];
    lstrcpynA(buffer, c.in, sizeof buffer);
    c.helper(buffer);
    EXPECT_STREQ(c.out, buffer) << "in: " << c.in;
  }
}

TEST(WindowTitleContains, MatchesAnyPartIgnoringCase) {
  HWND window = CreateWindowExA(0, "STATIC", "Run Title Probe", WS_OVERLAPPED, 0, 0, 10, 10,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(window);
  struct {
    const char* part;
    BOOL goOn;
  } cases[] = {
      {"Run Title Probe", FALSE}, {"title PROBE", FALSE}, {"run", FALSE}, {"e", FALSE},
      {"Probe!", TRUE},           {"Run Title Probe and more", TRUE},   {"Tilte", TRUE},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.goOn, WindowTitleContains(window, reinterpret_cast<LPARAM>(c.part)))
        << c.part;
  DestroyWindow(window);
}

// ---- running-program checks -------------------------------------------------

// Things a check can find: a file held without sharing, a read-only file, a
// free file, two mutexes and a window.
class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    CopyText(gCaption, kNameSize, kBoxCaption);
    folder = MakeScratchFolder("check");
    heldPath = folder + "\\held.dat";
    WriteTextFile(heldPath, "x");
    held = CreateFileA(heldPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    readOnlyPath = folder + "\\readonly.dat";
    WriteTextFile(readOnlyPath, "x");
    SetFileAttributesA(readOnlyPath.c_str(), FILE_ATTRIBUTE_READONLY);
    freePath = folder + "\\free.dat";
    WriteTextFile(freePath, "x");
    mutexName = "RunTestMutex" + Pid();
    mutex = CreateMutexA(nullptr, FALSE, mutexName.c_str());
    commaMutexName = "Run,Mutex" + Pid();
    commaMutex = CreateMutexA(nullptr, FALSE, commaMutexName.c_str());
    title = "Run Gadget Window " + Pid();
    window = CreateWindowExA(0, "STATIC", title.c_str(), WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                             nullptr, nullptr, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    ASSERT_TRUE(mutex && commaMutex && window);
  }
  void TearDown() override {
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    if (mutex) CloseHandle(mutex);
    if (commaMutex) CloseHandle(commaMutex);
    DestroyWindow(window);
    RemoveTree(folder);
  }
  // Runs a check on the test thread while answerer handles its boxes.
  int Check(const std::string& fields, int first, int then, std::function<void()> lift,
            BoxAnswerer* answerer) {
    answerer->Start(kBoxCaption, first, then, lift);
    CheckRunningProgram(("B" + fields).c_str());
    answerer->Finish();
    return answerer->seen;
  }
  std::function<void()> LiftMutex() {
    return [this] {
      CloseHandle(mutex);
      mutex = nullptr;
    };
  }

  std::string folder, heldPath, readOnlyPath, freePath, mutexName, commaMutexName, title;
  HANDLE held = INVALID_HANDLE_VALUE;
  HANDLE mutex = nullptr;
  HANDLE commaMutex = nullptr;
  HWND window = nullptr;
};

TEST_F(CheckTest, EachKindFindsWhatItLooksFor) {
  struct {
    std::string kind;
    std::string name;
    bool found;
  } cases[] = {
      {"0", heldPath, true},
      {"0", freePath, false},
      {"0", folder + "\\missing.dat", false},
      {"1", mutexName, true},
      {"1", "\"" + commaMutexName + "\"", true},  // quotes keep the comma in the field
      {"1", mutexName + "Gone", false},
      {"2", title, true},
      {"2", "Gadget Window " + Pid(), false},  // only a whole title counts
      {"3", "gadget WINDOW " + Pid(), true},
      {"3", title + " Plus", false},
      {"4", mutexName, false},      // unknown kinds never find anything
      {"65537", mutexName, true},   // only the low 16 bits count: kind 1
  };
  for (const auto& c : cases) {
    BoxAnswerer answerer;
    int boxes = Check(c.kind + "," + c.name + ",Busy,0", IDIGNORE, IDIGNORE, nullptr, &answerer);
    EXPECT_EQ(c.found ? 1 : 0, boxes) << "kind " << c.kind << " name " << c.name;
  }
  // A file that opens is closed again at once: it can be deleted afterwards.
  EXPECT_TRUE(DeleteFileA(freePath.c_str()));
}

// Answers that go on or check again, with the buttons each style shows.
TEST_F(CheckTest, AnswersGoOnOrCheckAgain) {
  const unsigned abortRetryIgnore = ButtonBits({IDABORT, IDRETRY, IDIGNORE});
  const unsigned yesNo = ButtonBits({IDYES, IDNO});
  const unsigned yesNoCancel = ButtonBits({IDYES, IDNO, IDCANCEL});
  struct {
    const char* style;
    int answer;
    int again;  // the style's check-again button, used once the mutex is gone
    int boxes;  // 1: went on at once; 2: checked again
    unsigned buttons;
  } cases[] = {
      {"0", IDIGNORE, IDRETRY, 1, abortRetryIgnore},
      {"0", IDRETRY, IDRETRY, 2, abortRetryIgnore},
      {"2", IDOK, IDOK, 2, ButtonBits({IDOK, IDCANCEL})},
      {"3", IDRETRY, IDRETRY, 2, ButtonBits({IDRETRY, IDCANCEL})},
      {"4", IDNO, IDYES, 1, yesNo},
      {"4", IDYES, IDYES, 2, yesNo},
      {"5", IDNO, IDYES, 1, yesNoCancel},
      {"5", IDYES, IDYES, 2, yesNoCancel},
      {"65540", IDNO, IDYES, 1, yesNo},  // low 16 bits: style 4
      // Styles without a box of their own get Abort/Retry/Ignore.
      {"6", IDIGNORE, IDRETRY, 1, abortRetryIgnore},
      {"6", IDRETRY, IDRETRY, 2, abortRetryIgnore},
      {"-1", IDIGNORE, IDRETRY, 1, abortRetryIgnore},
  };
  for (const auto& c : cases) {
    if (!mutex) mutex = CreateMutexA(nullptr, FALSE, mutexName.c_str());
    BoxAnswerer answerer;
    int boxes = Check("1," + mutexName + ",Busy," + c.style, c.answer, c.again, LiftMutex(),
                      &answerer);
    EXPECT_EQ(c.boxes, boxes) << "style " << c.style << " answer " << c.answer;
    EXPECT_EQ(c.buttons, answerer.buttons) << "style " << c.style;
  }
}

TEST_F(CheckTest, BoxShowsTheMessageUnderTheCaptionOwnedByTheDialog) {
  HWND dialog = CreateWindowExA(0, "STATIC", "Run owner", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 10,
                                10, nullptr, nullptr, nullptr, nullptr);
  struct {
    std::string field;
    std::string shown;
  } cases[] = {
      {"\"Close the gadget|#then retry, please\"", "Close the gadget\nthen retry, please"},
      {"Plain", "Plain"},
      {std::string(600, 'x'), std::string(511, 'x')},  // cut to the buffer
      {"\"" + std::string(600, 'y') + "\"", std::string(510, 'y')},
  };
  for (const auto& c : cases) {
    gDialog = dialog;
    BoxAnswerer answerer;
    EXPECT_EQ(1, Check("1," + mutexName + "," + c.field + ",0", IDIGNORE, IDIGNORE, nullptr,
                       &answerer));
    // Message boxes may show line feeds as CR LF.
    std::string text = answerer.text;
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    EXPECT_EQ(c.shown, text);
    EXPECT_EQ(dialog, answerer.owner);
  }
  gDialog = nullptr;
  DestroyWindow(dialog);
}

TEST_F(CheckTest, NameLongerThanItsBufferIsNotChecked) {
  // A cut name would be part of this title and find it; the whole name is refused.
  std::string longTitle(300, 'w');
  HWND longWindow = CreateWindowExA(0, "STATIC", longTitle.c_str(), WS_OVERLAPPED, 0, 0, 10, 10,
                                    nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(longWindow);
  BoxAnswerer answerer;
  EXPECT_EQ(0, Check("3," + longTitle + ",Busy,0", IDIGNORE, IDIGNORE, nullptr, &answerer));
  BoxAnswerer control;
  EXPECT_EQ(1, Check("3," + longTitle.substr(0, 255) + ",Busy,0", IDIGNORE, IDIGNORE, nullptr,
                     &control));
  DestroyWindow(longWindow);
}

// Answers that stop end the process: a child runs a B line, then a D line
// that records "after" if the run came back.
TEST(CheckStop, StoppingAnswersEndTheProcess) {
  std::string folder = MakeScratchFolder("stop");
  CallRecord record(folder);
  std::string mutexName = "RunChildMutex" + Pid();
  struct {
    const char* style;
    int answer;
    bool stops;
  } cases[] = {
      {"0", IDABORT, true}, {"1", IDOK, true},    {"2", IDCANCEL, true},
      {"3", IDCANCEL, true}, {"5", IDCANCEL, true}, {"7", IDABORT, true},
      {"4", IDNO, false},  // control: the child comes back when the answer goes on
  };
  for (const auto& c : cases) {
    DeleteFileA(record.path.c_str());
    std::string log = folder + "\\uninstal.ini";
    WriteTextFile(log, std::string("B1001,1,") + mutexName + ",Stop?," + c.style + "\r\n" +
                           "D1002," + LibraryPath() + ",Call1,1,after\r\n");
    BoxRobot robot;
    StartRobot(&robot, "Run child", c.answer, 1, 20000);
    int code = RunChild("\"" + HelperPath("run_child.exe") + "\" \"" + log + "\" " + mutexName,
                        30000);
    EXPECT_EQ(1, FinishRobot(&robot)) << "style " << c.style;
    EXPECT_EQ(c.stops ? 0 : 7, code) << "style " << c.style;
    EXPECT_EQ(c.stops ? "" : "Call1|after\nreleased\n", record.Read()) << "style " << c.style;
  }
  RemoveTree(folder);
}

// ---- library calls ----------------------------------------------------------

TEST(LibraryCall, PassesArgumentsInOrderAndAlwaysReleases) {
  std::string folder = MakeScratchFolder("call");
  CallRecord record(folder);
  const std::string lib = LibraryPath();
  std::string longArgument(300, 'a');
  struct {
    bool checked;  // C (stop on zero) or D
    int result;
    std::string fields;
    std::string calls;
  } cases[] = {
      {false, 1, lib + ",Call0,0", "Call0\nreleased\n"},
      {false, 1, lib + ",Call1,1,one", "Call1|one\nreleased\n"},
      {false, 1, lib + ",Call2,2,one,\"two, with comma\"", "Call2|one|\"two, with comma\"\nreleased\n"},
      {false, 1, lib + ",Call3,3,a,b,c", "Call3|a|b|c\nreleased\n"},
      {false, 1, lib + ",Call4,4,a,b,c,d", "Call4|a|b|c|d\nreleased\n"},
      {false, 1, lib + ",Call5,5,a,b,c,d,e", "Call5|a|b|c|d|e\nreleased\n"},
      {false, 1, lib + ",Call5,6,a,b,c,d,e,f", "released\n"},
      {false, 1, lib + ",Call0,-1", "released\n"},
      {false, 1, lib + ",Call0", "Call0\nreleased\n"},  // no count field: no arguments
      {false, 1, lib + ",Call1,1," + longArgument, "released\n"},  // refused, not cut
      {false, 1, lib + ",NoSuchFunction,0", "released\n"},
      {false, 1, "Z:\\no\\such\\library.dll,Call0,0", ""},
      {false, 0, lib + ",Call1,1,zero", "Call1|zero\nreleased\n"},  // D ignores zero
      {true, 5, lib + ",Call1,1,five", "Call1|five\nreleased\n"},
      {true, 0, lib + ",Call5,6,a,b,c,d,e,f", "released\n"},  // no call, no stop
      {true, 0, lib + ",NoSuchFunction,0", "released\n"},
      {true, 0, "Z:\\no\\such\\library.dll,Call0,0", ""},
  };
  for (const auto& c : cases) {
    DeleteFileA(record.path.c_str());
    SetLibraryResult(c.result);
    CallLibraryFunction(((c.checked ? "C" : "D") + c.fields).c_str(), c.checked);
    EXPECT_EQ(c.calls, record.Read()) << c.fields;
    EXPECT_EQ(nullptr, GetModuleHandleA(lib.c_str())) << c.fields;
  }
  RemoveTree(folder);
}

TEST(LibraryCall, CheckedCallReturningZeroEndsTheProcessAfterTheRelease) {
  std::string folder = MakeScratchFolder("stopcall");
  CallRecord record(folder);
  std::string log = folder + "\\uninstal.ini";
  WriteTextFile(log, "C1001," + LibraryPath() + ",Call1,1,first\r\n" + "D1002," +
                         LibraryPath() + ",Call1,1,after\r\n");
  SetLibraryResult(0);
  EXPECT_EQ(0, RunChild("\"" + HelperPath("run_child.exe") + "\" \"" + log + "\""));
  EXPECT_EQ("Call1|first\nreleased\n", record.Read());
  SetLibraryResult(1);  // the control: a non-zero result goes on
  DeleteFileA(record.path.c_str());
  EXPECT_EQ(7, RunChild("\"" + HelperPath("run_child.exe") + "\" \"" + log + "\""));
  EXPECT_EQ("Call1|first\nreleased\nCall1|after\nreleased\n", record.Read());
  RemoveTree(folder);
}

// ---- program runs -----------------------------------------------------------

class ProgramRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    folder = MakeScratchFolder("run");
    marker = folder + "\\marker.txt";
  }
  void TearDown() override { RemoveTree(folder); }
  // Runs an E line; returns the milliseconds it took (a lower bound only
  // means something: the machine may be busy).
  DWORD TimedRun(const std::string& commandLine) {
    DWORD start = GetTickCount();
    RunProgram(("E" + commandLine).c_str());
    return GetTickCount() - start;
  }
  std::string folder, marker;
};

// An unquoted path with a blank starts the longest program the line can
// name (".exe" added as the platform adds it), by its quoted full path: one
// planted at the shorter candidate never runs.
TEST_F(ProgramRunTest, UnquotedLineStartsTheLongestProgramThatExistsAndIsWaitedFor) {
  std::string own = folder + "\\Flight Sim\\Dorvane";
  CreateDirectoryA((folder + "\\Flight Sim").c_str(), nullptr);
  CreateDirectoryA(own.c_str(), nullptr);
  for (const std::string& copy : {own + "\\tool.exe", folder + "\\Flight.exe"})
    ASSERT_TRUE(CopyFileA(HelperPath("run_marker.exe").c_str(), copy.c_str(), FALSE));
  DWORD elapsed = TimedRun(own + "\\tool " + marker + " 1500");
  EXPECT_GE(elapsed, 1400u);
  EXPECT_EQ("\"" + own + "\\tool.exe\" " + marker + " 1500", ReadTextFile(marker));
}

TEST_F(ProgramRunTest, QuotedPathBecomesItsShortForm) {
  std::string longFolder = folder + "\\Long Folder Name";
  CreateDirectoryA(longFolder.c_str(), nullptr);
  std::string program = longFolder + "\\marker program.exe";
  ASSERT_TRUE(CopyFileA(HelperPath("run_marker.exe").c_str(), program.c_str(), FALSE));
  TimedRun("\"" + program + "\" " + marker + " 0");
  std::string line = ReadTextFile(marker);
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(std::string::npos, line.find('"'));
  size_t blank = line.find(' ');
  ASSERT_NE(std::string::npos, blank);
  EXPECT_EQ(" " + marker + " 0", line.substr(blank));
  char longForm[MAX_PATH] = "";
  GetLongPathNameA(line.substr(0, blank).c_str(), longForm, MAX_PATH);
  EXPECT_TRUE(SameText(program.c_str(), longForm)) << longForm;
}

// The marker's second thread writes only once this test lets it, after the
// run has returned: a run that waited for the whole process would return
// only after the marker's fallback delay, with the marker written.
TEST_F(ProgramRunTest, WaitsForThePrimaryThreadOnly) {
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "run_marker_release");
  TimedRun(HelperPath("run_marker.exe") + " " + marker + " 60000 thread");
  EXPECT_FALSE(PathExists(marker));
  SetEvent(release);
  for (int i = 0; i < 200 && !PathExists(marker); ++i) Sleep(50);
  EXPECT_TRUE(PathExists(marker));
  Sleep(200);  // let the marker program finish writing before clean-up
  CloseHandle(release);
}

// A line that cannot start returns, and the next line runs.
TEST_F(ProgramRunTest, LinesThatCannotStartGoOn) {
  const std::string lines[] = {
      "Z:\\no\\such\\program.exe /x",
      "\"Z:\\no such folder\\program.exe\" /x",  // no short form: tried as it stands
      "\"Z:\\no such folder\\program.exe /x",    // quote never closed
      "",
  };
  for (const std::string& line : lines) {
    DeleteFileA(marker.c_str());
    TimedRun(line);
    TimedRun(HelperPath("run_marker.exe") + " " + marker);
    EXPECT_TRUE(PathExists(marker)) << line;
  }
}

TEST_F(ProgramRunTest, CommandLineLongerThanItsBufferRunsNothing) {
  std::string line = HelperPath("run_marker.exe") + " " + marker + " 0 " + std::string(600, 'z');
  TimedRun(line);
  EXPECT_FALSE(PathExists(marker));
}

}  // namespace
