// The uninstall dialog, opened for real from template 101 in this program's
// resources. The test's thread runs the modal dialog; a driver thread reads
// the window as a user would see it and presses its buttons. The late phase
// of these logs holds no actions, so the files left for the user are put in
// the leftover list the way the actions do, just before the start command.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "common/state.h"
#include "log/log.h"
#include "support/robot.h"
#include "support/test_util.h"
#include "window/dialog.h"

namespace {

const char kLog[] =
    "A10,Sample Product\r\n"
    "A48,Uninstall\r\n"
    "A13,Finish\r\n"
    "A44,Remove\r\n"
    "A45,Remove all\r\n"
    "A46,Close\r\n"
    "A47,%s is removed at the next restart.\r\n"
    "A50,All done.\r\n"
    "A52,Can't delete %s. Try again?\r\n"
    "A53,These files were left:\r\n";
const char kCaption[] = "Uninstall Sample Product";
const char kProgram[] = "C:\\users\\Temp\\uninstaller.exe";
constexpr DWORD kWaitMs = 20000;

// What was seen of the dialog, each named by what must hold. The test's
// thread checks them: the driver's thread must not.
using Facts = std::vector<std::pair<std::string, bool>>;
void ExpectAll(const Facts& facts) {
  EXPECT_FALSE(facts.empty()) << "nothing was seen";
  for (const auto& fact : facts) EXPECT_TRUE(fact.second) << fact.first;
}
std::pair<std::string, bool> Says(HWND control, const std::string& text) {
  std::string got = WindowText(control);
  return {"says \"" + got + "\", not \"" + text + "\"", got == text};
}

struct DialogRun {
  std::vector<std::string> leftovers;   // added as the late phase would add them
  std::function<void(HWND)> duringRun;  // on the driver thread, while the run goes on
  std::function<void(HWND)> drive;      // on the driver thread, once the run is done
  Facts opening;                        // the dialog right after WM_INITDIALOG
  INT_PTR result = -1;
  bool endedByDriver = false;           // false: it had to be closed by force
  std::string fontPath;                 // the font file whose unloading is watched
  int fontChanges = 0;
  bool fontFileThereAtChange = false;
  volatile LONG cancels = 0;            // IDCANCEL commands the dialog got
};
DialogRun* gRun;

RECT ScreenRect(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  return rect;
}

// The lower edge of what the dialog shows: its client area's bottom.
int VisibleBottom(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  POINT corner = {0, client.bottom};
  ClientToScreen(dialog, &corner);
  return corner.y;
}

// A control shows whole when its bottom lies within the client area.
bool ShowsWhole(HWND dialog, int id) {
  return ScreenRect(GetDlgItem(dialog, id)).bottom <= VisibleBottom(dialog);
}
bool ShowsNothingOf(HWND dialog, int id) {
  return ScreenRect(GetDlgItem(dialog, id)).top >= VisibleBottom(dialog);
}

// A button is the last thing shown: whole, with less than its own height
// of margin below it.
bool EndsBelow(HWND dialog, int id) {
  RECT button = ScreenRect(GetDlgItem(dialog, id));
  int bottom = VisibleBottom(dialog);
  return button.bottom <= bottom && bottom - button.bottom < button.bottom - button.top;
}

int Selected(HWND dialog, int list) {
  return static_cast<int>(SendDlgItemMessageA(dialog, list, LB_GETCURSEL, 0, 0));
}

bool Shown(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

INT_PTR CALLBACK WatchedDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDM_START_RUN) {
    for (const std::string& path : gRun->leftovers)
      SendDlgItemMessageA(window, IDC_LEFTOVERS, LB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(path.c_str()));
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) InterlockedIncrement(&gRun->cancels);
  INT_PTR result = UninstallDialogProc(window, message, wParam, lParam);
  if (message == WM_INITDIALOG) {
    // The program's manifest (also this test's) asks for Common Controls 6,
    // whose library then brings its own button and list box.
    HMODULE controls = GetModuleHandleA("comctl32.dll");
    bool styled = controls != nullptr;
    for (int id : {IDC_CLOSE, IDC_LEFTOVERS, IDC_PROGRESS}) {
      HMODULE owner = nullptr;
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(GetWindowLongPtrW(GetDlgItem(window, id), GWLP_WNDPROC)),
                         &owner);
      styled = styled && owner == controls;
    }
    RECT heading = ScreenRect(GetDlgItem(window, IDC_HEADING));
    int bottom = VisibleBottom(window);
    gRun->opening = {
        {"hidden", !IsWindowVisible(window)},
        {"close disabled", !Enabled(window, IDC_CLOSE)},
        {"finish disabled", !Enabled(window, IDC_FINISH)},
        {"remove disabled", !Enabled(window, IDC_REMOVE_ONE)},
        {"remove all disabled", !Enabled(window, IDC_REMOVE_ALL)},
        {"it owns the notices", gDialog == window},
        {"it has an icon", GetClassLongPtrA(window, GCLP_HICON) != 0},
        {"its controls come from Common Controls 6", styled},
        // Shortened to the progress list: the edge runs through the heading.
        {"the progress list shows whole", ShowsWhole(window, IDC_PROGRESS)},
        {"nothing of the leftover list shows", ShowsNothingOf(window, IDC_LEFTOVERS)},
        {"the lower edge cuts the heading", heading.top < bottom && bottom < heading.bottom},
        Says(window, kCaption),
        Says(GetDlgItem(window, IDC_FINISH), "Finish")};
  }
  return result;
}

// A top-level window of the test's thread that notes font-change broadcasts.
LRESULT CALLBACK FontWatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_FONTCHANGE && gRun) {
    ++gRun->fontChanges;
    gRun->fontFileThereAtChange = PathExists(gRun->fontPath);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
// For a click whose handling waits for an answer: the driver must not wait.
void ClickLater(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Opens the dialog on this thread and drives it from another one.
void RunDialog(DialogRun* run) {
  gRun = run;
  std::thread driver([run] {
    if (!WaitUntil([] { return gDialog && IsWindowVisible(gDialog); }, kWaitMs)) return;
    HWND dialog = gDialog;
    if (run->duringRun) run->duringRun(dialog);
    // The start command has laid out the dialog once either end button is live.
    auto laidOut = [&] { return Shown(dialog, IDC_FINISH) || Enabled(dialog, IDC_CLOSE); };
    if (WaitUntil(laidOut, kWaitMs)) run->drive(dialog);
    run->endedByDriver = WaitUntil([&] { return !IsWindow(dialog); }, kWaitMs);
    if (!run->endedByDriver) PostMessageA(dialog, WM_COMMAND, IDC_CLOSE, 0);
  });
  run->result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_UNINSTALL),
                                nullptr, WatchedDialogProc, 0);
  driver.join();
  gRun = nullptr;
}

class UninstallDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeScratchFolder("dialog");
    LoadLogText(folder_, kLog);
    CopyText(gProductName, kNameSize, "Sample Product");
    CopyText(gCaption, kNameSize, kCaption);
    CopyText(gProgramPath, kPathSize, kProgram);
  }
  void TearDown() override {
    gDialog = nullptr;
    RemoveTree(folder_);
  }
  std::string folder_;
};

TEST_F(UninstallDialog, WithNothingLeftItOffersTheFinishButtonAndIgnoresEscAndClose) {
  std::vector<std::string> notes;
  int selectedNote = -2;
  Facts seen;
  DialogRun run;
  run.drive = [&](HWND dialog) {
    notes = ListBoxLines(dialog, IDC_PROGRESS);
    selectedNote = Selected(dialog, IDC_PROGRESS);
    seen = {Says(dialog, kCaption),
            {"finish shown", Shown(dialog, IDC_FINISH)},
            {"finish enabled", Enabled(dialog, IDC_FINISH)},
            {"heading hidden", !Shown(dialog, IDC_HEADING)},
            {"leftover list hidden", !Shown(dialog, IDC_LEFTOVERS)},
            {"close disabled", !Enabled(dialog, IDC_CLOSE)},
            {"remove buttons disabled",
             !Enabled(dialog, IDC_REMOVE_ONE) && !Enabled(dialog, IDC_REMOVE_ALL)},
            {"it ends below the finish button", EndsBelow(dialog, IDC_FINISH)}};
    // Esc reaches the dialog through its message loop, the close box as
    // SC_CLOSE; each becomes an IDCANCEL command, counted as it arrives.
    PostMessageA(GetDlgItem(dialog, IDC_FINISH), WM_KEYDOWN, VK_ESCAPE, 0);
    WaitUntil([] { return gRun->cancels >= 1; }, kWaitMs);
    seen.push_back({"open after Esc", IsWindowVisible(dialog) != FALSE});
    SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    WaitUntil([] { return gRun->cancels >= 2; }, kWaitMs);
    seen.push_back({"open after the close box", IsWindowVisible(dialog) != FALSE});
    Click(dialog, IDC_FINISH);
  };
  RunDialog(&run);

  ExpectAll(run.opening);
  ExpectAll(seen);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0], "All done.");
  EXPECT_EQ(notes[1], std::string(kProgram) + " is removed at the next restart.");
  EXPECT_EQ(selectedNote, 1);
  EXPECT_EQ(2, run.cancels);
  EXPECT_TRUE(run.endedByDriver);
  EXPECT_EQ(run.result, 1);
}

TEST_F(UninstallDialog, LeftoversAreRemovedOneByOneThenAllWithTheFoldersTheyEmpty) {
  const std::string root = folder_ + "\\app";
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA((root + "\\a").c_str(), nullptr);
  CreateDirectoryA((root + "\\a\\b").c_str(), nullptr);
  CreateDirectoryA((root + "\\a\\b\\c").c_str(), nullptr);
  const std::string only = root + "\\a\\b\\c\\only.txt";
  const std::string font = root + "\\Face.TTF";
  const std::string gone = root + "\\gone.txt";  // never created
  const std::string readOnly = root + "\\ro.txt";
  const std::string keep = root + "\\keep.txt";  // not offered: keeps the folder
  for (const std::string& path : {only, font, readOnly, keep}) WriteTextFile(path, "x");
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);

  std::vector<std::string> lines, linesAfterOne, linesAfterAll;
  int selected = -2, selectedAfterOne = -2;
  Facts seen;
  DialogRun run;
  run.leftovers = {readOnly, gone, only, font};
  run.fontPath = font;
  run.drive = [&](HWND dialog) {
    lines = ListBoxLines(dialog, IDC_LEFTOVERS);
    selected = Selected(dialog, IDC_LEFTOVERS);
    seen = {Says(GetDlgItem(dialog, IDC_HEADING), "These files were left:"),
            Says(GetDlgItem(dialog, IDC_CLOSE), "Close"),
            Says(GetDlgItem(dialog, IDC_REMOVE_ONE), "Remove"),
            Says(GetDlgItem(dialog, IDC_REMOVE_ALL), "Remove all"),
            {"finish hidden", !Shown(dialog, IDC_FINISH)},
            {"leftover list and heading shown",
             Shown(dialog, IDC_LEFTOVERS) && Shown(dialog, IDC_HEADING)},
            {"close and remove buttons enabled", Enabled(dialog, IDC_CLOSE) &&
                                                     Enabled(dialog, IDC_REMOVE_ONE) &&
                                                     Enabled(dialog, IDC_REMOVE_ALL)},
            {"it ends below the close button", EndsBelow(dialog, IDC_CLOSE)},
            {"the leftover list shows whole", ShowsWhole(dialog, IDC_LEFTOVERS)}};

    Click(dialog, IDC_REMOVE_ONE);  // the selected first line: only.txt
    linesAfterOne = ListBoxLines(dialog, IDC_LEFTOVERS);
    selectedAfterOne = Selected(dialog, IDC_LEFTOVERS);
    seen.push_back({"c, b and a went, left empty", !PathExists(root + "\\a")});
    seen.push_back({"the font stays after one removal", PathExists(font)});

    Click(dialog, IDC_REMOVE_ALL);
    linesAfterAll = ListBoxLines(dialog, IDC_LEFTOVERS);
    seen.push_back({"remove buttons disabled after all",
                    !Enabled(dialog, IDC_REMOVE_ONE) && !Enabled(dialog, IDC_REMOVE_ALL)});
    seen.push_back({"close enabled after all", Enabled(dialog, IDC_CLOSE)});
    Click(dialog, IDC_CLOSE);
  };

  HWND watch = OpenTestWindow("FontWatch", "font watch", FontWatchProc, WS_OVERLAPPED);
  ASSERT_NE(watch, nullptr);
  RunDialog(&run);
  DestroyWindow(watch);

  ExpectAll(seen);
  // The list keeps its lines sorted, whatever the order they came in.
  EXPECT_EQ(lines, (std::vector<std::string>{only, font, gone, readOnly}));
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(linesAfterOne, (std::vector<std::string>{font, gone, readOnly}));
  EXPECT_EQ(selectedAfterOne, 0);
  EXPECT_TRUE(linesAfterAll.empty());
  EXPECT_FALSE(PathExists(font));
  EXPECT_FALSE(PathExists(readOnly));
  EXPECT_EQ(run.fontChanges, 1);
  EXPECT_TRUE(run.fontFileThereAtChange);  // told before the file went
  // The climb stops at the first folder that still holds something.
  EXPECT_TRUE(PathExists(keep));
  EXPECT_TRUE(run.endedByDriver);
  EXPECT_EQ(run.result, 1);
}

// The late phase for real: the start command runs the log's file and folder
// lines, whose notes and leftovers the dialog shows; removing the leftovers
// then takes the emptied folders too.
TEST_F(UninstallDialog, StartCommandRunsTheLatePhaseAndOffersWhatItLeft) {
  const std::string app = folder_ + "\\app";
  CreateDirectoryA(app.c_str(), nullptr);
  CreateDirectoryA((app + "\\data").c_str(), nullptr);
  CreateDirectoryA((app + "\\data\\sub").c_str(), nullptr);
  const std::string removed = app + "\\tool.dll";
  const std::string kept = app + "\\settings.cfg";
  const std::string deep = app + "\\data\\sub\\saved.dat";
  const std::string asked = app + "\\asked.txt";
  for (const std::string& path : {removed, kept, deep, asked}) WriteTextFile(path, "x");
  // P mode 0 deletes, P mode 2 leaves for the user; U mode 0 leaves the
  // tree's files for the user and removes what it empties.
  LoadLogText(folder_, std::string(kLog) +
                           "A42,Removing files...\r\n"
                           "A58,Please wait.\r\n"
                           "A51,Delete %s?\r\n"
                           "P0," + asked + ",1\r\n"
                           "P0," + removed + ",0\r\n"
                           "P0," + kept + ",2\r\n"
                           "U0," + app + "\\data,0\r\n");
  CopyText(gCaption, kNameSize, kCaption);
  CopyText(gProgramPath, kPathSize, kProgram);

  struct Seen {
    std::vector<std::string> notes, leftovers;
    bool removedGone = false;
    bool appGoneAfterAll = false;
    std::string question;
  } seen;
  DialogRun run;
  // The actions' questions are modal to the dialog, which is already shown.
  BoxRobot robot;
  run.duringRun = [&](HWND dialog) {
    robot.owner = dialog;
    robot.button = IDYES;
    robot.answers = 10;
    StartRobot(&robot);
  };
  run.drive = [&](HWND dialog) {
    // The run has ended: every question it asked has been answered.
    if (StopRobot(&robot) == 1) seen.question = robot.boxes[0].text;
    seen.notes = ListBoxLines(dialog, IDC_PROGRESS);
    seen.leftovers = ListBoxLines(dialog, IDC_LEFTOVERS);
    seen.removedGone = !PathExists(removed);
    Click(dialog, IDC_REMOVE_ALL);
    seen.appGoneAfterAll = !PathExists(app);
    Click(dialog, IDC_CLOSE);
  };
  RunDialog(&run);

  EXPECT_EQ(seen.notes,
            (std::vector<std::string>{"Removing files...", "Please wait.", "All done.",
                                      std::string(kProgram) + " is removed at the next restart."}));
  EXPECT_EQ(seen.leftovers, (std::vector<std::string>{deep, kept}));
  EXPECT_TRUE(seen.removedGone);
  EXPECT_EQ(seen.question, "Delete " + asked + "?");
  EXPECT_FALSE(PathExists(asked));
  // The last file of app\data\sub goes, and with it sub, data and app.
  EXPECT_TRUE(seen.appGoneAfterAll);
  EXPECT_TRUE(PathExists(folder_));
  EXPECT_EQ(run.result, 1);
}

// A leftover held open cannot be deleted: question 52 comes back for every
// Yes; No keeps the file and drops the line.
struct RetryCase {
  const char* name;
  bool freeFileOnFirstYes;  // the holder lets go just before the first Yes
  int questions;
  bool fileRemains;
};

class FailedDelete : public UninstallDialog,
                     public ::testing::WithParamInterface<RetryCase> {};

TEST_P(FailedDelete, AsksAgainWhileTheUserSaysYes) {
  const RetryCase& c = GetParam();
  const std::string held = folder_ + "\\held\\file.dat";
  CreateDirectoryA((folder_ + "\\held").c_str(), nullptr);
  WriteTextFile(held, "x");
  HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  struct Seen {
    std::vector<std::string> questions;
    std::vector<std::string> linesAfter;
    bool removeEnabledAfter = true;
  } seen;
  DialogRun run;
  run.leftovers = {held};
  BoxRobot robot;
  run.drive = [&](HWND dialog) {
    // Yes to the first question, then No (or Yes, once the file is free).
    robot.owner = dialog;
    robot.answers = 3;
    robot.answer = [&](const SeenBox&, int index) {
      if (index == 0 && c.freeFileOnFirstYes) {
        CloseHandle(holder);
        holder = INVALID_HANDLE_VALUE;
      }
      return index == 0 || c.freeFileOnFirstYes ? IDYES : IDNO;
    };
    StartRobot(&robot);
    ClickLater(dialog, IDC_REMOVE_ONE);
    // The line goes once the questions are over.
    WaitUntil([&] { return SendDlgItemMessageA(dialog, IDC_LEFTOVERS, LB_GETCOUNT, 0, 0) == 0; },
              kWaitMs);
    StopRobot(&robot);
    for (const SeenBox& box : robot.boxes) seen.questions.push_back(box.text);
    seen.linesAfter = ListBoxLines(dialog, IDC_LEFTOVERS);
    seen.removeEnabledAfter =
        Enabled(dialog, IDC_REMOVE_ONE) || Enabled(dialog, IDC_REMOVE_ALL);
    Click(dialog, IDC_CLOSE);
  };
  RunDialog(&run);
  if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);

  ASSERT_EQ(static_cast<int>(seen.questions.size()), c.questions);
  for (const std::string& question : seen.questions)
    EXPECT_EQ(question, "Can't delete " + held + ". Try again?");
  EXPECT_TRUE(seen.linesAfter.empty());
  EXPECT_FALSE(seen.removeEnabledAfter);
  EXPECT_EQ(PathExists(held), c.fileRemains);
  // The folder goes only with its file.
  EXPECT_EQ(PathExists(folder_ + "\\held"), c.fileRemains);
  EXPECT_EQ(run.result, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FailedDelete,
    ::testing::Values(RetryCase{"YesThenNo", false, 2, true},
                      RetryCase{"YesAfterRelease", true, 1, false}),
    [](const ::testing::TestParamInfo<RetryCase>& info) { return info.param.name; });

// A climb that empties a folder just below a drive root must end there:
// "C:" alone names the drive's current folder (for a drive other than the
// current one, the one its "=C:" variable holds), an unrelated folder.
TEST_F(UninstallDialog, ClimbEndsAtTheDriveAndSparesTheDrivesCurrentFolder) {
  char oldCurrent[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof oldCurrent, oldCurrent);
  char oldDriveCurrent[MAX_PATH] = "";
  DWORD hadDriveCurrent = GetEnvironmentVariableA("=C:", oldDriveCurrent, sizeof oldDriveCurrent);
  const std::string driveCurrent = MakeScratchFolder("drivecurrent");  // empty, on C:
  const std::string top = "C:\\t" + std::to_string(GetCurrentProcessId()) + "_climbtop";
  CreateDirectoryA(top.c_str(), nullptr);
  const std::string file = top + "\\only.txt";
  WriteTextFile(file, "x");
  // Another drive current, so that "C:" reads the variable.
  SetCurrentDirectoryA("Z:\\");
  SetEnvironmentVariableA("=C:", driveCurrent.c_str());
  char resolved[MAX_PATH] = "";
  GetFullPathNameA("C:", sizeof resolved, resolved, nullptr);
  std::string expected = driveCurrent + "\\";
  bool usable = SameText(resolved, expected.c_str()) || SameText(resolved, driveCurrent.c_str());

  DialogRun run;
  run.leftovers = {file};
  run.drive = [&](HWND dialog) {
    Click(dialog, IDC_REMOVE_ONE);
    Click(dialog, IDC_CLOSE);
  };
  if (usable) RunDialog(&run);

  const bool driveCurrentKept = PathExists(driveCurrent);
  const bool fileGone = !PathExists(file), topGone = !PathExists(top);
  SetCurrentDirectoryA(oldCurrent);
  SetEnvironmentVariableA("=C:", hadDriveCurrent ? oldDriveCurrent : nullptr);
  RemoveTree(top);
  RemoveTree(driveCurrent);
  if (!usable) GTEST_SKIP() << "\"C:\" does not name the variable's folder here: " << resolved;
  EXPECT_TRUE(fileGone);
  EXPECT_TRUE(topGone);  // the emptied folder below the root goes
  EXPECT_TRUE(driveCurrentKept);
  EXPECT_EQ(run.result, 1);
}

// The climb goes through the removal's guard: the leftover in Documents or
// on the Desktop goes, the kept folder it empties stays.
TEST_F(UninstallDialog, ClimbStopsAtKeptFolders) {
  std::vector<std::string> files;
  for (int csidl : {CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY}) {
    std::string folder = KnownFolder(csidl);
    ASSERT_FALSE(folder.empty()) << csidl;
    files.push_back(folder + "\\dv_leftover_" +
                    std::to_string(GetCurrentProcessId()) + ".txt");
    WriteTextFile(files.back(), "x");
  }
  DialogRun run;
  run.leftovers = files;
  run.drive = [](HWND dialog) {
    Click(dialog, IDC_REMOVE_ALL);
    Click(dialog, IDC_CLOSE);
  };
  RunDialog(&run);
  for (const std::string& file : files) {
    std::string folder = file.substr(0, file.rfind('\\'));
    EXPECT_FALSE(PathExists(file));
    EXPECT_TRUE(PathExists(folder)) << folder;
    CreateDirectoryA(folder.c_str(), nullptr);
  }
}

TEST_F(UninstallDialog, RemoveButtonsCopeWithNoSelectionAndOverlongLines) {
  const std::string file = folder_ + "\\one.txt";
  WriteTextFile(file, "x");
  const std::string overlong(kScratchSize + 100, 'x');

  struct Seen {
    int countAfterRemoveOne = -1, countAfterRemoveAll = -1;
    bool fileThereAfterRemoveOne = false;
  } seen;
  DialogRun run;
  run.leftovers = {file, overlong};
  run.drive = [&](HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_LEFTOVERS, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    Click(dialog, IDC_REMOVE_ONE);  // nothing selected: nothing happens
    seen.countAfterRemoveOne =
        static_cast<int>(SendDlgItemMessageA(dialog, IDC_LEFTOVERS, LB_GETCOUNT, 0, 0));
    seen.fileThereAfterRemoveOne = PathExists(file);
    SendDlgItemMessageA(dialog, IDC_LEFTOVERS, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    Click(dialog, IDC_REMOVE_ALL);  // still empties the list
    seen.countAfterRemoveAll =
        static_cast<int>(SendDlgItemMessageA(dialog, IDC_LEFTOVERS, LB_GETCOUNT, 0, 0));
    Click(dialog, IDC_CLOSE);
  };
  RunDialog(&run);

  EXPECT_EQ(seen.countAfterRemoveOne, 2);
  EXPECT_TRUE(seen.fileThereAfterRemoveOne);
  EXPECT_EQ(seen.countAfterRemoveAll, 0);
  EXPECT_FALSE(PathExists(file));
  EXPECT_TRUE(run.endedByDriver);
}

}  // namespace
