// Start-up and the two-stage run. Stage one runs from the install folder,
// copies the program into a new folder of its own under the temporary folder
// and starts the copy with the log path; stage two (the copy) removes the
// rest and deletes itself and that folder at the next restart.
#include <windows.h>
#include <shlobj.h>
#include <sddl.h>
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
static void ScheduleOwnDeletion();
static void Finish();

namespace {

constexpr DWORD kSystemPathLimit = 256;  // the system gives at most 255 characters
const char kDefaultLogName[] = "uninstal.ini";
const char kOtherInstanceTitle[] = "Uninstall";
const char kSilentSwitch[] = "-s";
const char kSilentRelaunchSwitch[] = "-s ";
const char kKernel[] = "kernel32.dll";
const char kAdvapi[] = "advapi32.dll";
const char kShell[] = "shell32.dll";

// The copy's folder: a new one under the temporary folder, made by this run
// (never one that exists already: whoever made it could write it), so that
// nothing planted beside the copy is loaded by it and no other uninstaller's
// copy of the same name is in the way.
constexpr unsigned kCopyFolderTries = 64;
constexpr int kCopyFolderNameSize = 32;
// On NT only the system, the administrators and the folder's owner may
// write it: elevated, the owner is the administrators' group; without
// administrator rights it is the user, who must write the copy. Systems
// without owner rights (before Vista) refuse the text and the folder takes
// the temporary folder's access list: there the user is the administrator.
const char kCopyFolderAccess[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)";

constexpr DWORD kStageTwoPauseMs = 100;

const char kWininitName[] = "wininit.ini";
const char kWininitSection[] = "rename";
const char kWininitDeleteKey[] = "NUL";

char gLogName[kTailWindow];     // the name found in the log-name tail
char gShortPath[kPathSize];     // short form of the program path
char gCopyFolder[kPathSize];

typedef BOOL(WINAPI* DefaultDllDirectoriesCall)(DWORD flags);
typedef BOOL(WINAPI* DllDirectoryCall)(const char* folder);
typedef BOOL(WINAPI* TextToDescriptorCall)(const char* text, DWORD revision,
                                           PSECURITY_DESCRIPTOR* descriptor, ULONG* size);
typedef void(WINAPI* ChangeNotifyCall)(LONG event, UINT flags, const void* item1,
                                       const void* item2);

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

// Makes the copy's folder: a new name on each try, never an existing folder.
// The scratch buffer is left holding the copy's path.
bool MakeCopyFolder() {
  SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
  auto toDescriptor = reinterpret_cast<TextToDescriptorCall>(
      FindFunction(kAdvapi, "ConvertStringSecurityDescriptorToSecurityDescriptorA"));
  if (toDescriptor)
    toDescriptor(kCopyFolderAccess, SDDL_REVISION_1, &security.lpSecurityDescriptor, nullptr);
  char name[kCopyFolderNameSize];
  bool made = false;
  for (unsigned attempt = 0; attempt < kCopyFolderTries && !made; ++attempt) {
    wsprintfA(name, kCopyFolderFormat, GetCurrentProcessId(), attempt);
    if (!MakeCopyTarget(name)) break;
    made = GateCreateFolder(gCopyFolder, &security);
    if (!made && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  if (security.lpSecurityDescriptor) LocalFree(security.lpSecurityDescriptor);
  return made;
}

// Copies the program into its new folder and keeps the copy open for
// reading alone: nobody writes, renames or deletes it before stage two has
// started from it (the handle goes with this process).
bool CopyProgram() {
  if (!MakeCopyFolder() || !GateCopyFile(gProgramPath, gScratch)) return false;
  HANDLE copy = GateOpenFile(gScratch, GENERIC_READ, FILE_SHARE_READ, FILE_ATTRIBUTE_NORMAL);
  return copy != INVALID_HANDLE_VALUE;
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

void LimitLibrarySearch() {
  HMODULE kernel = GetModuleHandleA(kKernel);
  auto defaultDirectories = reinterpret_cast<DefaultDllDirectoriesCall>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (defaultDirectories && defaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    gLibrarySearchLimited = true;
    return;
  }
  auto dllDirectory = reinterpret_cast<DllDirectoryCall>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
  if (dllDirectory) dllDirectory("");
}

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
  KeepIfItFits(gSystemFolder, GetSystemDirectoryA(gSystemFolder, kSystemPathLimit));
  DropTrailingBackslash(gTempFolder);
  DropTrailingBackslash(gScratch);
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

bool MakeCopyTarget(const char* folderName) {
  gScratch[0] = 0;
  // Without a temporary folder the name alone would be relative: no copy.
  if (!gTempFolder[0] || !PathJoin(gCopyFolder, kPathSize, gTempFolder, folderName))
    return false;
  const char* ownName = gProgramPath + lstrlenA(gProgramFolder);  // with its backslash
  return PathJoin(gScratch, kPathSize, gCopyFolder, ownName) != nullptr;
}

void RunStageOne() {
  if (!gSilent &&
      ShowNotice(kNoticeQuestion, GetMessageText(kConfirmQuestionId), gProductName) != IDYES)
    return;
  if (!CopyProgram())
    ShowNotice(kNoticeFatal, GetMessageText(kCopyFailedId), gProgramPath, gScratch);
  if (!BuildRelaunchCommandLine(gScratch))
    ShowNotice(kNoticeFatal, GetMessageText(kRelaunchFailedId), gRelaunch);
  KeepOwnFiles(gLogPath, gProgramPath);
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

void RunStageTwo() {
  Sleep(kStageTwoPauseMs);
  EnterTemporaryFolder();
  if (gSilent) {
    RunActions(kLatePhase);
  } else {
    GateDialog(gModule, IDD_UNINSTALL, UninstallDialogProc);
  }
  ScheduleOwnDeletion();
}

// Whether the program runs from a folder that stage one made for its copy:
// directly below the temporary folder, named by kCopyFolderFormat. A program
// started with a log path by hand may lie anywhere; its folder stays.
bool RunsFromCopyFolder() {
  char start[kPathSize];
  if (!gTempFolder[0] || !PathJoin(start, kPathSize, gTempFolder, kCopyFolderPrefix) ||
      !StartsWithText(gProgramFolder, start))
    return false;
  for (const char* c = gProgramFolder + lstrlenA(start); *c; ++c)
    if (*c == '\\') return false;
  return true;
}

static void ScheduleOwnDeletion() {
  // The file first: a folder is only removed once it is empty.
  if (GateScheduleDeletion(gProgramPath)) {
    if (RunsFromCopyFolder()) GateScheduleDeletion(gProgramFolder);
    return;
  }
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
  // The shell is loaded from the system folder only now, not imported: its
  // own imports would be looked for beside the program before it starts.
  auto notify = reinterpret_cast<ChangeNotifyCall>(FindFunction(kShell, "SHChangeNotify"));
  if (gCommandLogPath[0] && notify) {
    notify(SHCNE_DELETE, SHCNF_PATHA, gScratch, nullptr);
    notify(SHCNE_RMDIR, SHCNF_PATHA, gProgramFolder, nullptr);
    notify(SHCNE_UPDATEDIR, SHCNF_PATHA | SHCNF_FLUSH, gProgramFolder, nullptr);
  }
  ReleaseWorkingAreas();
  ExitProcess(0);
}
