// Start-up and the two-stage run. Stage one runs from the install folder,
// copies the program to the temporary folder and starts the copy with the
// log path; stage two (the copy) removes the rest and deletes itself at the
// next restart.
#include <windows.h>
#include <shlobj.h>
#include "startup/startup.h"
#include "actions/actions.h"
#include "common/state.h"
#include "log/format.h"
#include "log/log.h"
#include "window/dialog.h"
#include "common/gate.h"

// One counter per executable file, shared by every process that runs it.
__attribute__((section(".Shared"), shared)) volatile LONG gInstanceCounter = -1;

// The steps of the run, used here only.
// The program path (empty when the system's answer does not fit).
// Sets the log path from the log-name tail of the program's own file.
static void ReadLogNameTail();
static void RunStageOne();
static void RunStageTwo();
static void ScheduleOwnDeletion();
static void Finish();

namespace {

constexpr DWORD kSystemPathLimit = 256;  // the system gives at most 255 characters
const char kDefaultLogName[] = "uninstal.ini";
const char kOtherInstanceTitle[] = "Uninstall";
const char kSilentSwitch[] = "-s";
const char kSilentRelaunchSwitch[] = "-s ";
const char kDriveCRoot[] = "c:\\";

constexpr DWORD kStageTwoPauseMs = 100;

const char kWininitName[] = "wininit.ini";
const char kWininitSection[] = "rename";
const char kWininitDeleteKey[] = "NUL";

char gLogName[kTailWindow];     // the name found in the log-name tail
char gShortPath[kPathSize];     // short form of the program path

// A system text that did not fit kSystemPathLimit is refused, not cut: a
// cut path could name another file or folder.
void KeepIfItFits(char* text, DWORD length) {
  if (length == 0 || length >= kSystemPathLimit) text[0] = 0;
}

void DropTrailingBackslash(char* path) {
  int length = lstrlenA(path);
  if (length > 0 && path[length - 1] == '\\') path[length - 1] = 0;
}

// A second start of the same executable brings the first one's window
// forward, if there is one, and ends.
void TurnAwaySecondStart() {
  HWND other = FindWindowA(nullptr, kOtherInstanceTitle);
  if (other) {
    ShowWindow(other, SW_MINIMIZE);
    ShowWindow(other, SW_SHOWDEFAULT);
  }
  ExitProcess(0);
}

void StartStageTwo() {
  PROCESS_INFORMATION process;
  if (!StartCommandLine(gRelaunch, &process))
    ShowNotice(kNoticeFatal, GetMessageText(kRelaunchFailedId), gRelaunch);
  // Stage two runs on its own: no waiting.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace

void RunUninstaller(const char* commandLine) {
  gModule = GetModuleHandleA(nullptr);
  if (InterlockedIncrement(&gInstanceCounter) != 0) TurnAwaySecondStart();
  TakeProgramPath();
  if (!ParseCommandLine(commandLine)) ShowNotice(kNoticeFatal, kMissingLogNotice, gScratch);
  CopyText(gProgramFolder, kPathSize, gProgramPath);
  StripLastComponent(gProgramFolder);
  TakeFolders();
  if (gCommandLogPath[0]) {
    CopyText(gLogPath, kPathSize, gCommandLogPath);
  } else {
    ReadLogNameTail();
  }
  SetUpWorkingAreas();
  LoadLog();
  BuildCaption();
  ResetActionCursor();
  if (gCommandLogPath[0]) {
    RunStageTwo();
  } else {
    RunStageOne();
  }
  Finish();
}

void TakeProgramPath() {
  KeepIfItFits(gProgramPath, GetModuleFileNameA(nullptr, gProgramPath, kSystemPathLimit));
}

bool ParseCommandLine(const char* commandLine) {
  gCommandLogPath[0] = 0;
  bool quoted = false;
  const char* p = commandLine;
  while (*p) {
    if (*p == '"') {
      quoted = !quoted;
      ++p;
      continue;
    }
    if (*p != ' ' || quoted) {
      ++p;
      continue;
    }
    // A word ends: the rest of the line, less its spaces and quotes in
    // front and one quote at its end, is the switch or the log path.
    while (*p == ' ' || *p == '"') ++p;
    const char* rest = p;
    if (StartsWithText(rest, kSilentSwitch)) {
      gSilent = true;
      p = rest + 1;
      continue;
    }
    int length = lstrlenA(rest);
    if (length > 0 && rest[length - 1] == '"') --length;
    if (length >= kPathSize) {
      // Too long for the field: refused, and kept cut in the scratch buffer
      // only to be shown.
      CopyTextCut(gScratch, kScratchSize, rest);
      return false;
    }
    lstrcpynA(gCommandLogPath, rest, length + 1);  // copies length bytes and the zero
    return true;
  }
  return true;
}

void TakeFolders() {
  KeepIfItFits(gTempFolder, GetTempPathA(kSystemPathLimit, gTempFolder));
  KeepIfItFits(gScratch, GetCurrentDirectoryA(kSystemPathLimit, gScratch));
  KeepIfItFits(gWindowsFolder, GetWindowsDirectoryA(gWindowsFolder, kSystemPathLimit));
  DropTrailingBackslash(gTempFolder);
  DropTrailingBackslash(gScratch);
  // Run from the temporary folder itself, the copy goes to the root of C:
  // instead, so that it never replaces the running file.
  if (SameText(gScratch, gTempFolder)) CopyText(gTempFolder, kPathSize, kDriveCRoot);
}

void LogNameFromTail(const char* window, char* name, int nameSize) {
  constexpr int kLastNameByte = kTailWindow - 2;  // the file's last byte ends the name
  if (window[kLastNameByte] == 0) {
    CopyText(name, nameSize, kDefaultLogName);
    return;
  }
  int start = 1;
  for (int i = kLastNameByte; i >= 1; --i) {
    if (window[i] == 0) {
      start = i + 1;
      break;
    }
  }
  // The name ends at the first zero, or at the window's end when the file
  // does not end in one.
  int end = start;
  while (end < kTailWindow && window[end]) ++end;
  int length = end - start;
  if (length >= nameSize) {
    if (nameSize > 0) name[0] = 0;
    return;
  }
  MoveBytes(name, window + start, static_cast<SIZE_T>(length));
  name[length] = 0;
}

static void ReadLogNameTail() {
  DWORD size = 0;
  HANDLE file = OpenFileForReading(gProgramPath, &size);
  if (file == INVALID_HANDLE_VALUE) ShowNotice(kNoticeFatal, kOwnFileNotice, gProgramPath);
  SetFilePointer(file, -kTailWindow, nullptr, FILE_END);
  // A short read is reported, and the name is taken from what the buffer holds.
  ReadExactly(file, gScratch, kTailWindow, gProgramPath);
  LogNameFromTail(gScratch, gLogName, kTailWindow);
  PathJoin(gLogPath, kPathSize, gProgramFolder, gLogName);  // empty when too long
  CloseHandle(file);
}

void BuildCaption() {
  CopyTextCut(gProductName, kNameSize, GetMessageText(kProductNameId));
  const char* args[2] = {GetMessageText(kCaptionId), gProductName};
  FormatText(gCaption, kNameSize, "%s %s", args, 2);  // cut to the field
}

bool BuildRelaunchCommandLine(const char* copyTarget) {
  gRelaunch[0] = 0;
  bool fits = AppendText(gRelaunch, kCommandLineSize, "\"") &&
              AppendText(gRelaunch, kCommandLineSize, copyTarget) &&
              AppendText(gRelaunch, kCommandLineSize, "\" ") &&
              (!gSilent || AppendText(gRelaunch, kCommandLineSize, kSilentRelaunchSwitch)) &&
              AppendText(gRelaunch, kCommandLineSize, "\"") &&
              AppendText(gRelaunch, kCommandLineSize, gLogPath) &&
              AppendText(gRelaunch, kCommandLineSize, "\"");
  if (!fits) {
    // Never started cut: a cut line could name another log. Kept cut only
    // to be shown.
    const char* args[3] = {copyTarget, gSilent ? kSilentRelaunchSwitch : "", gLogPath};
    FormatText(gRelaunch, kCommandLineSize, "\"%s\" %s\"%s\"", args, 3);
  }
  return fits;
}

bool MakeCopyTarget() {
  gScratch[0] = 0;
  // Without a temporary folder the name alone would be relative: no copy.
  if (!gTempFolder[0]) return false;
  const char* ownName = gProgramPath + lstrlenA(gProgramFolder);  // with its backslash
  return PathJoin(gScratch, kPathSize, gTempFolder, ownName) != nullptr;
}

static void RunStageOne() {
  if (!gSilent &&
      ShowNotice(kNoticeQuestion, GetMessageText(kConfirmQuestionId), gProductName) != IDYES)
    return;
  if (!MakeCopyTarget() || !GateCopyFile(gProgramPath, gScratch))
    ShowNotice(kNoticeFatal, GetMessageText(kCopyFailedId), gProgramPath, gScratch);
  if (!BuildRelaunchCommandLine(gScratch))
    ShowNotice(kNoticeFatal, GetMessageText(kRelaunchFailedId), gRelaunch);
  KeepOwnFiles();
  RunActions(kEarlyPhase);
  RemoveUninstallKeys();
  StartStageTwo();
}

void EnterTemporaryFolder() {
  // A drive root has lost its backslash, and "C:" alone would name the
  // drive's current folder, which may be the install folder itself: the
  // folder could then not be removed.
  if (lstrlenA(gTempFolder) == 2 && gTempFolder[1] == ':') {
    char root[] = {gTempFolder[0], ':', '\\', 0};
    SetCurrentDirectoryA(root);
    return;
  }
  SetCurrentDirectoryA(gTempFolder);
}

static void RunStageTwo() {
  Sleep(kStageTwoPauseMs);
  EnterTemporaryFolder();
  if (gSilent) {
    RunActions(kLatePhase);
  } else {
    DialogBoxParamA(gModule, MAKEINTRESOURCEA(kDialogTemplate), nullptr, UninstallDialogProc, 0);
  }
  ScheduleOwnDeletion();
}

static void ScheduleOwnDeletion() {
  if (GateScheduleDeletion(gProgramPath)) return;
  ScheduleDeletionInWininit();
}

void ScheduleDeletionInWininit() {
  if (!PathJoin(gScratch, kPathSize, gWindowsFolder, kWininitName)) return;
  DWORD length = GetShortPathNameA(gProgramPath, gShortPath, kPathSize);
  // No entry rather than an empty or cut name.
  if (length == 0 || length >= static_cast<DWORD>(kPathSize)) return;
  CharToOemBuffA(gShortPath, gLogPath, length + 1);
  GateWriteProfileString(kWininitSection, kWininitDeleteKey, gLogPath, gScratch);
}

static void Finish() {
  if (gCommandLogPath[0]) {
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHA, gScratch, nullptr);
    SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHA, gProgramFolder, nullptr);
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA | SHCNF_FLUSH, gProgramFolder, nullptr);
  }
  ReleaseWorkingAreas();
  ExitProcess(0);
}
