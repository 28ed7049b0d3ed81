// End-to-end runner: plays one scenario file against the real uninstaller.
//
//   e2e_runner [--report] [--shots FOLDER] scenario.scn
//
// It installs the scenario's package into this Wine prefix, places the
// uninstaller with its log-name tail in the install folder, starts it as a
// user would, answers its questions, reads and presses its dialog, and checks
// the outcome. Exit code 0 when every check passed.
#include <windows.h>
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>
#include "e2e/scenario.h"
#include "e2e/win_probe.h"
#include "log/format.h"
#include "support/robot.h"
#include "startup/startup.h"
#include "support/test_util.h"
#include "window/dialog.h"

namespace {

constexpr int kIdNoLog = -1, kIdNoOpen = -2, kIdReadError = -3, kIdUnknown = 0;
const char kSharedCounts[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

struct Box {
  int id;
  std::string caption, text;
  std::string answer;
};

struct Tracked {
  DWORD pid;
  HANDLE process;
  std::string image;
  std::vector<bool> keysAtStart;  // the watched registry keys when it started
};

struct Run {
  Scenario sc;
  std::map<std::string, std::string> vars;
  std::map<int, std::string> messages;  // message id -> text (variables replaced)
  std::string caption;
  std::string product;
  bool report = false;
  std::string shots;                    // folder for screenshot hand-over, or empty
  int failures = 0;
  int checks = 0;
  bool broken = false;                  // stage one did not start, or no dialog came
  bool installed = false;               // the package is in place (by "preview" or "start")
  bool previewed = false;
  std::string preview;                  // what uninstlog preview --json said the uninstall changes
  std::set<std::string> before;         // the machine as the preview saw it

  std::vector<std::pair<std::string, HANDLE>> held;
  HANDLE job = nullptr, port = nullptr;
  PROCESS_INFORMATION stageOne = {};
  DWORD secondPid = 0;
  HWND dialog = nullptr;
  std::vector<std::string> offered;     // leftover list when the dialog first settled
  std::vector<std::string> progress;    // progress list when the dialog first settled

  std::mutex lock;                      // guards boxes and tracked
  std::vector<Box> boxes;
  std::vector<std::string> story;       // what the user saw and did, for the report
  std::vector<Tracked> tracked;
  std::vector<std::string> watchKeys;   // registry keys looked at as each process starts
  volatile bool stopThreads = false;
  HANDLE waitRelease = nullptr;         // set: boxes answered "wait" may go
  HANDLE waitingBox = nullptr;          // set by the robot while it holds a box
  BoxRobot robot;                       // answers the uninstaller's boxes
  HANDLE tracker = nullptr;
};

Run* gRun = nullptr;

std::string Expand(const Run& run, const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '$') {
      size_t j = i + 1;
      while (j < text.size() && (isupper(static_cast<unsigned char>(text[j])) ||
                                 text[j] == '_'))
        ++j;
      auto found = run.vars.find(text.substr(i + 1, j - i - 1));
      if (found != run.vars.end()) {
        out += found->second;
        i = j;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

void Check(Run& run, bool ok, const std::string& what) {
  ++run.checks;
  if (!ok) ++run.failures;
  if (!ok || !run.report) printf("  %s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  fflush(stdout);
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

std::string Format1(const std::string& format, const std::string& arg) {
  std::string out = format;
  size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, arg);
  return out;
}

std::string Message(const Run& run, int id) {
  auto found = run.messages.find(id);
  return found == run.messages.end() ? "" : found->second;
}

// Does text come from format (with "%s" standing for any text)?
bool FitsFormat(const std::string& format, const std::string& text) {
  if (format.empty()) return false;
  size_t at = format.find("%s");
  if (at == std::string::npos) return text == format;
  std::string head = format.substr(0, at);
  std::string tail = format.substr(at + 2);
  if (tail.find("%s") != std::string::npos) tail = "";
  return text.size() >= head.size() + tail.size() && text.compare(0, head.size(), head) == 0 &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

int IdentifyBox(const Run& run, const std::string& text) {
  static const int kQuestions[] = {43, 51, 52, 36, 49};
  for (int id : kQuestions)
    if (FitsFormat(Message(run, id), text)) return id;
  if (FitsFormat(kMissingLogNotice, text)) return kIdNoLog;
  if (FitsFormat(kOwnFileNotice, text)) return kIdNoOpen;
  if (FitsFormat(kReadErrorNotice, text)) return kIdReadError;
  return kIdUnknown;
}

void ReleaseHeld(Run& run, const std::string& path) {
  for (auto& entry : run.held)
    if (entry.second && (path.empty() || SameTextA(entry.first, path))) {
      CloseHandle(entry.second);
      entry.second = nullptr;
    }
}

// ---------------------------------------------------------------------------
// The box robot answers every message box of the uninstaller: titled with
// the caption, or untitled, as before the log is loaded.

// The box robot's choice for one box: the scenario's answer, by the box's
// message id. Called on the robot's thread.
int AnswerBox(const SeenBox& box, int) {
  Run& run = *gRun;
  if (box.title != run.caption && !box.title.empty()) return 0;
  Box seen = {IdentifyBox(run, box.text), box.title, box.text, ""};
  auto answer = run.sc.answers.find(seen.id);
  std::string word = answer != run.sc.answers.end() ? answer->second
                     : seen.id == 43 || seen.id == 51 ? "yes"
                                                      : "no";
  if (word == "wait") {
    SetEvent(run.waitingBox);
    while (!run.stopThreads && WaitForSingleObject(run.waitRelease, 50) == WAIT_TIMEOUT) {
    }
    ResetEvent(run.waitingBox);
    word = "yes";
  }
  if (word == "release") {
    ReleaseHeld(run, "");
    word = "yes";
  }
  // The word names a button; boxes without it get their first button of
  // No, Cancel, Ignore, OK.
  static const struct { const char* word; int id; const char* label; } kButtons[] = {
      {"yes", IDYES, "Yes"},       {"no", IDNO, "No"},         {"cancel", IDCANCEL, "Cancel"},
      {"ignore", IDIGNORE, "Ignore"}, {"retry", IDRETRY, "Retry"}, {"abort", IDABORT, "Abort"},
      {"ok", IDOK, "OK"}};
  unsigned present = box.buttons;
  int button = 0;
  for (const auto& b : kButtons)
    if (word == b.word && (present & (1u << b.id))) button = b.id;
  for (int fallback : {IDNO, IDCANCEL, IDIGNORE, IDOK})
    if (!button && (present & (1u << fallback))) button = fallback;
  for (const auto& b : kButtons)
    if (b.id == button) seen.answer = b.label;
  {
    std::lock_guard<std::mutex> guard(run.lock);
    run.boxes.push_back(seen);
    run.story.push_back("question \"" + seen.text + "\" -> " + seen.answer);
  }
  if (!run.report)
    printf("  box  %d \"%s\" -> %s\n", seen.id, seen.text.c_str(), seen.answer.c_str());
  return button;
}

std::string ImageOf(HANDLE process) {
  wchar_t image[MAX_PATH] = L"";
  DWORD size = MAX_PATH;
  if (!process || !QueryFullProcessImageNameW(process, 0, image, &size)) return "";
  char imageA[MAX_PATH * 2] = "";
  WideCharToMultiByte(CP_ACP, 0, image, -1, imageA, sizeof imageA, nullptr, nullptr);
  return imageA;
}

// The tracker learns every process started inside the job (stage one, the
// copy that it starts, programs of the log) and keeps a handle to each, so
// that exit codes can be read after they end.
DWORD WINAPI TrackerThread(LPVOID) {
  Run& run = *gRun;
  while (!run.stopThreads) {
    DWORD message = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED data = nullptr;
    if (!GetQueuedCompletionStatus(run.port, &message, &key, &data, 50)) continue;
    if (message != JOB_OBJECT_MSG_NEW_PROCESS) continue;
    DWORD pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(data));
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    std::string image = ImageOf(process);
    std::vector<bool> keys;
    for (const std::string& key : run.watchKeys) keys.push_back(RegistryKeyExists(key));
    std::lock_guard<std::mutex> guard(run.lock);
    run.tracked.push_back({pid, process, image, keys});
  }
  return 0;
}

// Stage two: a process of the job that is neither stage one nor the second
// start and runs a file with the uninstaller's name.
const Tracked* StageTwo(Run& run) {
  std::lock_guard<std::mutex> guard(run.lock);
  // A process caught at its very start may not have told its image yet.
  for (Tracked& t : run.tracked)
    if (t.image.empty()) t.image = ImageOf(t.process);
  for (const Tracked& t : run.tracked)
    if (t.pid != run.stageOne.dwProcessId && t.pid != run.secondPid &&
        SameTextA(t.image.substr(t.image.find_last_of('\\') + 1), run.sc.exeName))
      return &t;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Installing the package.

void Clean(Run& run) {
  RemoveTree(run.vars["ROOT"]);
  // Copies of earlier runs, each in its folder.
  WIN32_FIND_DATAA entry;
  std::string copies = run.vars["TEMP"] + "\\" + kCopyFolderPrefix + "*";
  HANDLE search = FindFirstFileA(copies.c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do RemoveTree(run.vars["TEMP"] + "\\" + entry.cFileName);
    while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  for (const InstallItem& item : run.sc.items) {
    std::string path = Expand(run, item.path);
    if (item.kind == InstallItem::Key) DeleteRegistryTree(path);
    if (item.kind == InstallItem::Value) DeleteRegistryValue(path, Expand(run, item.name));
    if (item.kind == InstallItem::Shared)
      DeleteRegistryValue(kSharedCounts, path);
  }
  ClearPendingRenames();
}

bool WriteBytes(const std::string& path, const std::string& bytes, bool append) {
  HANDLE file = CreateFileA(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, 0, nullptr,
                            append ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

// A path from the command line: a Unix path becomes the prefix's own name
// for it. The prefix is sealed: a path that no drive reaches (Wine then
// answers with its \\?\unix\ namespace) is refused, empty.
std::string Dist(const char* path) {
  std::string result = path;
  if (!result.empty() && result[0] == '/') {
    typedef WCHAR*(CDECL * DosName)(const char*);
    DosName convert = reinterpret_cast<DosName>(
        GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_dos_file_name"));
    WCHAR* wide = convert ? convert(path) : nullptr;
    char name[MAX_PATH] = "";
    if (wide) {
      WideCharToMultiByte(CP_ACP, 0, wide, -1, name, sizeof name, nullptr, nullptr);
      HeapFree(GetProcessHeap(), 0, wide);
    }
    result = name;
    if (result.compare(0, 4, "\\\\?\\") == 0) {
      printf("  %s is outside the sealed prefix's drives\n", path);
      result.clear();
    }
  }
  for (char& c : result)
    if (c == '/') c = '\\';
  return result;
}

bool Install(Run& run) {
  bool ok = true;
  for (const InstallItem& item : run.sc.items) {
    std::string path = Expand(run, item.path);
    switch (item.kind) {
      case InstallItem::Dir:
        ok &= MakeFolders(path);
        break;
      case InstallItem::File:
        if (SameTextA(path, run.vars["LOG"]) || SameTextA(path, run.vars["INST"] + "\\" +
                                                                   run.sc.exeName))
          break;  // placed below
        ok &= MakeFolders(path.substr(0, path.find_last_of('\\')));
        ok &= WriteBytes(path, Expand(run, item.data), false);
        if (item.readOnly) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
        break;
      case InstallItem::Key:
        ok &= CreateRegistryKey(path);
        break;
      case InstallItem::Value:
        ok &= WriteRegistryValue(path, Expand(run, item.name), Expand(run, item.data));
        break;
      case InstallItem::Shared:
        ok &= WriteRegistryValue(kSharedCounts, path, "dword:" + std::to_string(item.count));
        break;
      case InstallItem::Ini:
        ok &= MakeFolders(path.substr(0, path.find_last_of('\\')));
        ok &= WritePrivateProfileStringA(Expand(run, item.name).c_str(),
                                         Expand(run, item.key).c_str(),
                                         Expand(run, item.data).c_str(), path.c_str()) != 0;
        break;
    }
  }
  if (!ok) printf("  install: some items could not be created\n");
  // The uninstall log, one line per entry, CR LF after each.
  MakeFolders(run.vars["INST"]);
  if (run.sc.writeLog) {
    MakeFolders(run.vars["LOG"].substr(0, run.vars["LOG"].find_last_of('\\')));
    std::string log;
    for (const std::string& line : run.sc.logLines) log += Expand(run, line) + "\r\n";
    ok &= WriteBytes(run.vars["LOG"], log, false);
  }
  // The uninstaller with the log-name tail, as an installer leaves it.
  std::string exe = run.vars["INST"] + "\\" + run.sc.exeName;
  std::string image = DistPath("uninstaller.exe");
  if (!CopyFileA(image.c_str(), exe.c_str(), FALSE)) {
    printf("  install: cannot copy %s\n", image.c_str());
    return false;
  }
  std::string tail;
  if (run.sc.tailNone) {
    // No name: the file must end in two NUL bytes; pad when the image does not.
    std::string bytes = ReadTextFile(exe);
    if (bytes.size() < 2 || bytes[bytes.size() - 1] || bytes[bytes.size() - 2])
      tail = std::string(2, '\0');
  } else {
    for (const std::string& name : run.sc.tail) tail += Expand(run, name) + '\0';
  }
  if (!tail.empty()) ok &= WriteBytes(exe, tail, true);
  for (const std::string& hold : run.sc.hold) {
    std::string path = Expand(run, hold);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      printf("  install: cannot hold %s open\n", path.c_str());
      ok = false;
    }
    run.held.push_back({path, file == INVALID_HANDLE_VALUE ? nullptr : file});
  }
  return ok;
}

// ---------------------------------------------------------------------------
// Steps.

// Starts a command line in folder as a process of the run's job.
bool StartInJob(Run& run, std::string line, const std::string& folder,
                PROCESS_INFORMATION* process) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      folder.c_str(), &startup, process))
    return false;
  AssignProcessToJobObject(run.job, process->hProcess);
  ResumeThread(process->hThread);
  return true;
}

bool StartStageOne(Run& run) {
  run.job = CreateJobObjectW(nullptr, nullptr);
  run.port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT association = {run.job, run.port};
  SetInformationJobObject(run.job, JobObjectAssociateCompletionPortInformation, &association,
                          sizeof association);
  run.tracker = CreateThread(nullptr, 0, TrackerThread, nullptr, 0, nullptr);
  run.robot.answer = AnswerBox;
  run.robot.answers = 1 << 30;
  StartRobot(&run.robot);

  // Wine starts its desktop process (explorer.exe) from the first process
  // that needs the desktop. Were that stage one, the desktop would join the
  // job and count as a process the uninstall left running; whether the robot
  // thread got there first was a race. The runner asks for it now.
  GetDesktopWindow();

  std::string line = Quote(run.vars["INST"] + "\\" + run.sc.exeName);
  if (!run.sc.args.empty()) line += " " + Expand(run, run.sc.args);
  std::string folder = run.sc.cwdTemp ? run.vars["TEMP"] : run.vars["INST"];
  // The scenario's temporary folder reaches both stages through TMP and TEMP.
  char tmp[MAX_PATH] = "", temp[MAX_PATH] = "";
  GetEnvironmentVariableA("TMP", tmp, MAX_PATH);
  GetEnvironmentVariableA("TEMP", temp, MAX_PATH);
  SetEnvironmentVariableA("TMP", run.vars["TEMP"].c_str());
  SetEnvironmentVariableA("TEMP", run.vars["TEMP"].c_str());
  bool started = StartInJob(run, line, folder, &run.stageOne);
  SetEnvironmentVariableA("TMP", tmp);
  SetEnvironmentVariableA("TEMP", temp);
  if (!started) {
    Check(run, false, "stage one starts: " + line);
    return false;
  }
  // Stage one's copy goes to a new folder named by its process id.
  char copyFolder[MAX_PATH];
  wsprintfA(copyFolder, kCopyFolderFormat, run.stageOne.dwProcessId, 0u);
  run.vars["COPYDIR"] = run.vars["TEMP"] + "\\" + copyFolder;
  run.vars["COPY"] = run.vars["COPYDIR"] + "\\" + run.sc.exeName;
  if (!run.report) printf("  started %s in %s\n", line.c_str(), folder.c_str());
  return true;
}

// A window titled "Uninstall" that records being minimised and shown again.
bool gMinimised = false, gRestored = false;
LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SIZE && wParam == SIZE_MINIMIZED) gMinimised = true;
  if (message == WM_SIZE && wParam != SIZE_MINIMIZED && gMinimised) gRestored = true;
  return DefWindowProcA(window, message, wParam, lParam);
}

bool Signalled(HANDLE handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

bool WaitHeldBox(Run& run) {
  return WaitUntil([&] { return Signalled(run.waitingBox); }, 15000);
}

bool WaitProcess(HANDLE process, DWORD timeoutMs) {
  return WaitUntil([&] { return Signalled(process); }, timeoutMs);
}

// A visible top-level window of the runner with this title.
HWND OpenProbeWindow(const std::string& title) {
  return OpenTestWindow("E2EUninstallProbe", title.c_str(), ProbeProc);
}

void SecondStart(Run& run) {
  Check(run, WaitHeldBox(run), "the first start is waiting at its question");
  HWND probe = OpenProbeWindow("Uninstall");
  PumpSleep(100);
  gMinimised = gRestored = false;
  size_t boxesBefore = run.boxes.size();

  PROCESS_INFORMATION second = {};
  if (!StartInJob(run, Quote(run.vars["INST"] + "\\" + run.sc.exeName), run.vars["INST"],
                  &second)) {
    Check(run, false, "second start starts");
  } else {
    run.secondPid = second.dwProcessId;
    bool ended = WaitProcess(second.hProcess, 15000);
    PumpSleep(300);  // late size messages, and any box it might show
    DWORD code = 99;
    GetExitCodeProcess(second.hProcess, &code);
    Check(run, ended, "the second start ends at once");
    Check(run, ended && code == 0, "the second start ends with exit code 0 (got " +
                                       std::to_string(code) + ")");
    Check(run, run.boxes.size() == boxesBefore, "the second start shows no box");
    Check(run, gMinimised, "the window titled \"Uninstall\" is minimised");
    Check(run, gRestored && !IsIconic(probe), "... and shown again");
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);
  }
  DestroyWindow(probe);
  PumpSleep(50);
  SetEvent(run.waitRelease);
}

// Checks one of the two end layouts; returns the failures (empty when right).
std::vector<std::string> LayoutFaults(Run& run, bool leftovers) {
  std::vector<std::string> faults;
  HWND d = run.dialog;
  auto expect = [&](bool ok, const std::string& what) {
    if (!ok) faults.push_back(what);
  };
  RECT frame, button;
  GetWindowRect(d, &frame);
  int bottomButton = leftovers ? IDC_CLOSE : IDC_FINISH;
  GetWindowRect(GetDlgItem(d, bottomButton), &button);
  long wanted = button.bottom + (button.bottom - button.top) * 3 / 4;
  expect(frame.bottom == wanted, "dialog's lower edge at " + std::to_string(wanted) +
                                     " (3/4 of a button below button " +
                                     std::to_string(bottomButton) + "), is " +
                                     std::to_string(frame.bottom));
  expect(WindowText(d) == run.caption, "title is the caption");
  if (leftovers) {
    expect(!ControlVisible(d, IDC_FINISH), "finish button hidden");
    expect(ControlVisible(d, IDC_HEADING) && ControlVisible(d, IDC_LEFTOVERS),
           "heading and leftover list shown");
    expect(ControlEnabled(d, IDC_CLOSE) && ControlEnabled(d, IDC_REMOVE_ONE) &&
               ControlEnabled(d, IDC_REMOVE_ALL),
           "close and remove buttons enabled");
    expect(WindowText(GetDlgItem(d, IDC_HEADING)) == Message(run, 53), "heading is message 53");
    expect(WindowText(GetDlgItem(d, IDC_CLOSE)) == Message(run, 46), "close button is message 46");
    expect(WindowText(GetDlgItem(d, IDC_REMOVE_ONE)) == Message(run, 44),
           "remove button is message 44");
    expect(WindowText(GetDlgItem(d, IDC_REMOVE_ALL)) == Message(run, 45),
           "remove-all button is message 45");
    expect(ListSelection(GetDlgItem(d, IDC_LEFTOVERS)) == 0, "first leftover selected");
  } else {
    expect(ControlVisible(d, IDC_FINISH) && ControlEnabled(d, IDC_FINISH), "finish button shown");
    expect(!ControlVisible(d, IDC_HEADING) && !ControlVisible(d, IDC_LEFTOVERS),
           "heading and leftover list hidden");
    expect(!ControlEnabled(d, IDC_CLOSE) && !ControlEnabled(d, IDC_REMOVE_ONE) &&
               !ControlEnabled(d, IDC_REMOVE_ALL),
           "close and remove buttons disabled");
    expect(WindowText(GetDlgItem(d, IDC_FINISH)) == Message(run, 13),
           "finish button is message 13");
  }
  HWND list = GetDlgItem(d, IDC_PROGRESS);
  std::vector<std::string> lines = ListBoxLines(list);
  std::string last = Format1(Message(run, 47), run.vars["COPY"]);
  expect(lines.size() >= 2 && lines[lines.size() - 2] == Message(run, 50),
         "next-to-last progress note is message 50");
  expect(!lines.empty() && SameTextA(lines.back(), last),
         "last progress note is \"" + last + "\"");
  expect(ListSelection(list) == static_cast<int>(lines.size()) - 1, "last progress note selected");
  return faults;
}

// What the Esc key and the title bar's close box send to the dialog.
void TryToClose(Run& run, const std::string& how) {
  if (how == "close-box") {
    SendMessageTimeoutW(run.dialog, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, 5000, nullptr);
  } else {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(run.dialog, nullptr), &info);
    HWND focus = info.hwndFocus ? info.hwndFocus : run.dialog;
    PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
  }
  // A marker posted after the attempt: once the dialog has taken it, it has
  // handled the attempt (and the IDCANCEL it posts) too. The marker is the
  // leftover list's scrollable width, a pixel or two that nobody sees. The
  // IDCANCEL that a close box posts comes after its WM_CLOSE: a second
  // marker makes one more round through the queue.
  HWND list = GetDlgItem(run.dialog, IDC_LEFTOVERS);
  WPARAM width = static_cast<WPARAM>(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0));
  for (WPARAM marker : {width + 1, width + 2}) {
    PostMessageW(list, LB_SETHORIZONTALEXTENT, marker, 0);
    WaitUntil([&] {
      return !IsWindow(run.dialog) ||
             static_cast<WPARAM>(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0)) == marker;
    }, 20000);
  }
  Check(run, IsWindow(run.dialog) && IsWindowVisible(run.dialog),
        "the dialog stays open after " + how);
}

void WaitDialog(Run& run, const std::string& layout) {
  bool leftovers = layout == "leftovers";
  run.dialog = WaitForDialog(run.caption.c_str(), IDC_PROGRESS, 40000);
  Check(run, run.dialog != nullptr, "stage two's dialog appears, titled \"" + run.caption + "\"");
  if (!run.dialog) {
    run.broken = true;
    return;
  }
  // The run is over once one of the two end buttons is enabled; the layout
  // follows a moment later.
  WaitUntil([&] {
    return ControlEnabled(run.dialog, IDC_CLOSE) || ControlEnabled(run.dialog, IDC_FINISH);
  }, 60000);
  std::vector<std::string> faults;
  WaitUntil([&] {
    faults = LayoutFaults(run, leftovers);
    return faults.empty();
  }, 3000);
  Check(run, faults.empty(), "the dialog ends in the " + layout + " layout");
  for (const std::string& fault : faults) printf("         not so: %s\n", fault.c_str());
  run.progress = ListBoxLines(run.dialog, IDC_PROGRESS);
  run.offered = ListBoxLines(run.dialog, IDC_LEFTOVERS);
  {
    std::lock_guard<std::mutex> guard(run.lock);
    for (const std::string& line : run.progress) run.story.push_back("progress: " + line);
    run.story.push_back("leftover list: " + std::to_string(run.offered.size()) + " file(s)");
    for (const std::string& line : run.offered) run.story.push_back("    " + line);
  }
  if (!run.report) {
    for (const std::string& line : run.progress) printf("         progress: %s\n", line.c_str());
    for (const std::string& line : run.offered) printf("         leftover: %s\n", line.c_str());
  }
}

void Press(Run& run, int id) {
  HWND button = run.dialog ? GetDlgItem(run.dialog, id) : nullptr;
  bool usable = button && IsWindowVisible(button) && IsWindowEnabled(button);
  Check(run, usable, "button " + std::to_string(id) + " can be pressed");
  if (!usable) return;
  {
    std::lock_guard<std::mutex> guard(run.lock);
    run.story.push_back("pressed \"" + WindowText(button) + "\" (" + std::to_string(id) + ")");
  }
  DWORD_PTR result = 0;
  // The click returns once the dialog has handled it, questions included.
  LRESULT sent = SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 20000, &result);
  Check(run, sent != 0, "the dialog handles the click on " + std::to_string(id));
  PumpSleep(100);
}

void View(Run& run, const std::string& name) {
  // A question answered "wait" is held up until the first view or second start.
  bool holding = false;
  for (auto& answer : run.sc.answers)
    if (answer.second == "wait" && WaitForSingleObject(run.waitRelease, 0) == WAIT_TIMEOUT)
      holding = true;
  if (holding) Check(run, WaitHeldBox(run), "a question is up for the view " + name);
  if (!run.shots.empty()) {
    // Hand over to the screenshot script: it removes the request when done.
    std::string request = run.shots + "\\want";
    WriteTextFile(request, name);
    for (int i = 0; i < 600 && PathExists(request); ++i) PumpSleep(50);
    DeleteFileA(request.c_str());
  }
  if (holding) SetEvent(run.waitRelease);
}

void End(Run& run, int stages) {
  bool ended = WaitProcess(run.stageOne.hProcess, 20000);
  DWORD code = 99;
  GetExitCodeProcess(run.stageOne.hProcess, &code);
  Check(run, ended && code == 0, "stage one ends with exit code 0 (" +
                                     (ended ? std::to_string(code) : "still running") + ")");
  const Tracked* two = nullptr;
  for (int i = 0; i < 40 && !(two = StageTwo(run)); ++i) PumpSleep(50);
  if (stages == 2) {
    Check(run, two != nullptr, "stage one starts stage two");
    if (!two) {
      std::lock_guard<std::mutex> guard(run.lock);
      for (const Tracked& t : run.tracked)
        printf("         process %lu: %s%s\n", t.pid, t.image.c_str(),
               t.process ? "" : " (could not be opened)");
    }
    if (two) {
      Check(run, SameTextA(two->image, run.vars["COPY"]),
            "stage two runs the copy " + run.vars["COPY"] + " (runs " + two->image + ")");
      bool done = two->process && WaitProcess(two->process, 40000);
      DWORD codeTwo = 99;
      if (two->process) GetExitCodeProcess(two->process, &codeTwo);
      Check(run, done && codeTwo == 0, "stage two ends with exit code 0 (" +
                                           (done ? std::to_string(codeTwo) : "still running") +
                                           ")");
    }
  } else {
    Check(run, two == nullptr, "no second stage is started");
  }
}

// ---------------------------------------------------------------------------
// Expectations.

bool ItemPresent(Run& run, const InstallItem& item, std::string* state) {
  std::string path = Expand(run, item.path);
  std::string data;
  switch (item.kind) {
    case InstallItem::File:
    case InstallItem::Dir:
      return PathExists(path);
    case InstallItem::Key:
      return RegistryKeyExists(path);
    case InstallItem::Value:
      return ReadRegistryValue(path, Expand(run, item.name), &data);
    case InstallItem::Shared:
      if (!ReadRegistryValue(kSharedCounts, path, &data)) return false;
      *state = data.compare(0, 6, "dword:") == 0 ? data.substr(6) : data;
      return true;
    case InstallItem::Ini: {
      char value[512] = "";
      GetPrivateProfileStringA(Expand(run, item.name).c_str(), Expand(run, item.key).c_str(),
                               "\x01", value, sizeof value, path.c_str());
      *state = value;
      return strcmp(value, "\x01") != 0;
    }
  }
  return false;
}

std::string Describe(Run& run, const InstallItem& item) {
  std::string path = Expand(run, item.path);
  // The report names paths below the scenario's folder by their tail.
  const std::string& root = run.vars["ROOT"];
  if (run.report && path.size() > root.size() && SameTextA(path.substr(0, root.size()), root))
    path = path.substr(root.size() + 1);
  switch (item.kind) {
    case InstallItem::File: return "file    " + path + (item.readOnly ? " (read-only)" : "");
    case InstallItem::Dir: return "folder  " + path;
    case InstallItem::Key: return "key     " + path;
    case InstallItem::Value:
      return "value   " + path + " : " + Expand(run, item.name) + " = " + Expand(run, item.data);
    case InstallItem::Shared: return "shared  " + path + " count " + std::to_string(item.count);
    case InstallItem::Ini:
      return "profile " + path + " [" + Expand(run, item.name) + "] " + Expand(run, item.key) +
             "=" + Expand(run, item.data);
  }
  return path;
}

void CheckPackage(Run& run, bool intact) {
  int wrong = 0;
  for (const InstallItem& item : run.sc.items) {
    if (intact && !run.sc.writeLog && SameTextA(Expand(run, item.path), run.vars["LOG"]))
      continue;
    std::string state;
    bool present = ItemPresent(run, item, &state);
    bool ok = true;
    std::string why;
    if (intact) {
      ok = present;
      if (item.kind == InstallItem::Shared) ok = present && state == std::to_string(item.count);
      bool placed = SameTextA(Expand(run, item.path), run.vars["LOG"]) ||
                    SameTextA(Expand(run, item.path), run.vars["INST"] + "\\" + run.sc.exeName);
      if (item.kind == InstallItem::File && present && !placed)
        ok = ReadTextFile(Expand(run, item.path)) == Expand(run, item.data) &&
             FileIsReadOnly(Expand(run, item.path)) == item.readOnly;
      why = "still as installed";
    } else if (item.fate == Fate::Gone) {
      ok = !present;
      why = "removed";
    } else if (item.fate == Fate::Stays) {
      ok = present;
      if (item.kind == InstallItem::Shared)
        ok = present && state == std::to_string(item.countAfter);
      why = item.kind == InstallItem::Shared ? "count now " + std::to_string(item.countAfter)
                                             : "kept";
    }
    if (!ok) {
      ++wrong;
      Check(run, false, Describe(run, item) + ": " + why + (state.empty() ? "" : " [" + state + "]"));
    }
  }
  std::string exe = run.vars["INST"] + "\\" + run.sc.exeName;
  if (intact) {
    bool exeThere = PathExists(exe);
    bool logThere = !run.sc.writeLog || PathExists(run.vars["LOG"]);
    Check(run, exeThere && logThere, "the uninstaller and its log are still in place");
  }
  Check(run, wrong == 0, std::string("the package is ") + (intact ? "intact" : "removed as the log says"));
}

// ---------------------------------------------------------------------------
// Agreement with the preview: "preview" installs the package, runs
// uninstlog's preview over it and notes the machine; "expect agreement",
// after the run, checks that exactly what the preview listed is gone (or
// changed) and nothing else.

std::string UpperText(std::string text) {
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

const struct { HKEY root; const char* name; } kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"}, {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"}, {HKEY_USERS, "HKEY_USERS"}};

void NoteTree(const std::string& folder, std::set<std::string>* state) {
  WalkTree(folder, [&](const std::string& path, const WIN32_FIND_DATAA&) {
    state->insert("path|" + UpperText(path));
  });
}

void NoteKey(HKEY root, const std::string& rootName, const std::string& path,
             std::set<std::string>* state) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  std::string name = UpperText(rootName + "\\" + path);
  state->insert("key|" + name);
  char item[512];
  BYTE data[512];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof item, dataSize = sizeof data, type = 0;
    if (RegEnumValueA(key, i, item, &size, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
    std::string text = (type == REG_DWORD && dataSize == 4)
                           ? std::to_string(*reinterpret_cast<DWORD*>(data))
                           : std::string(reinterpret_cast<char*>(data), dataSize);
    state->insert("value|" + name + "|" + UpperText(item) + "|" + text);
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof item;
    if (RegEnumKeyExA(key, i, item, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    subkeys.push_back(item);
  }
  RegCloseKey(key);
  for (const std::string& sub : subkeys) NoteKey(root, rootName, path + "\\" + sub, state);
}

void NoteProfile(const std::string& file, std::set<std::string>* state) {
  std::vector<char> names(65536, 0), entries(65536, 0);
  GetPrivateProfileSectionNamesA(names.data(), 65536, file.c_str());
  for (const char* section = names.data(); *section; section += strlen(section) + 1) {
    std::string id = UpperText(file) + "|" + UpperText(section);
    state->insert("section|" + id);
    GetPrivateProfileSectionA(section, entries.data(), 65536, file.c_str());
    for (const char* entry = entries.data(); *entry; entry += strlen(entry) + 1) {
      std::string text = entry;
      size_t equals = text.find('=');
      state->insert("entry|" + id + "|" + UpperText(text.substr(0, equals)));
    }
  }
}

// What the scenario can touch: its folder, the registry keys the log and the
// package name (each with its parent), the shared counts, the profiles.
std::set<std::string> NoteMachine(Run& run) {
  std::set<std::string> state;
  NoteTree(run.vars["ROOT"], &state);
  std::set<std::string> keys, profiles;
  for (const std::string& raw : run.sc.logLines) {
    std::string line = Expand(run, raw);
    if (line.size() < 2 || !isdigit(static_cast<unsigned char>(line[1]))) continue;
    std::vector<std::string> fields;
    size_t comma = line.find(',');
    while (comma != std::string::npos) {
      size_t next = line.find(',', comma + 1);
      fields.push_back(line.substr(comma + 1, next == std::string::npos ? next : next - comma - 1));
      comma = next;
    }
    int root = fields.empty() ? -1 : atoi(fields[0].c_str());
    if (line[0] == 'J' && fields.size() > 1 && root >= 0 && root < 4)
      keys.insert(std::string(kRoots[root].name) + "\\" +
                  fields[1].substr(0, fields[1].find_last_of('\\')));
    if (line[0] == 'M' && !fields.empty()) profiles.insert(fields[0]);
  }
  for (const InstallItem& item : run.sc.items) {
    std::string path = Expand(run, item.path);
    if (item.kind == InstallItem::Ini) profiles.insert(path);
    if (item.kind == InstallItem::Key || item.kind == InstallItem::Value) {
      HKEY root;
      std::string subkey;
      if (SplitRegistryPath(path, &root, &subkey))
        for (const auto& r : kRoots)
          if (r.root == root) keys.insert(std::string(r.name) + "\\" + subkey.substr(0, subkey.find_last_of('\\')));
    }
  }
  keys.insert("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs");
  for (const std::string& key : keys)
    for (const auto& r : kRoots)
      if (key.compare(0, strlen(r.name) + 1, std::string(r.name) + "\\") == 0)
        NoteKey(r.root, r.name, key.substr(strlen(r.name) + 1), &state);
  for (const std::string& profile : profiles) NoteProfile(profile, &state);
  return state;
}

void Preview(Run& run) {
  Check(run, Install(run), "the package is installed");
  run.installed = true;
  // The report as package makers get it: the program's JSON, read back.
  auto answer = run.sc.answers.find(51);
  bool answerNo = answer != run.sc.answers.end() && answer->second == "no";
  std::string errors;
  RunUninstlog(TempFolder(), std::string("preview --json ") + (answerNo ? "--no " : "") + "\"" +
                                 run.vars["LOG"] + "\"",
               &run.preview, &errors);
  bool ok = run.preview.find("\"stage_two\"") != std::string::npos;
  Check(run, ok, "uninstlog preview runs over the installed package " + errors);
  run.previewed = ok;
  run.before = NoteMachine(run);
}

// The noted items that a preview effect takes away.
void Explained(std::map<std::string, std::string>& e, std::set<std::string>* gone,
               std::set<std::string>* changed) {
  if (e["happens"] != "true") return;
  std::string object = UpperText(e["object"]), name = UpperText(e["name"]);
  const std::string& kind = e["kind"];
  if (kind == "file" || kind == "folder") {
    // As the file system reads it: "\\" inside a path is one separator.
    char full[MAX_PATH * 2] = "";
    GetFullPathNameA(e["object"].c_str(), sizeof full, full, nullptr);
    gone->insert("path|" + UpperText(full));
  } else if (kind == "key") {
    gone->insert("key|" + object);
  } else if (kind == "value") {
    gone->insert("value|" + object + "|" + name);
  } else if (kind == "count") {
    if (e["after"] == "deleted")
      gone->insert("value|" + object + "|" + name);
    else
      changed->insert("value|" + object + "|" + name + "|" + e["after"]);
  } else if (kind == "entry") {
    gone->insert("entry|" + object + "|" + name + "|" + UpperText(e["key"]));
  } else if (kind == "section") {
    gone->insert("section|" + object + "|" + name);
  }
}

// The item without its data: "value|KEY|NAME|data" -> "value|KEY|NAME".
std::string ItemName(const std::string& item) {
  if (item.compare(0, 6, "value|") != 0) return item;
  return item.substr(0, item.find_last_of('|'));
}

// True when a listed key or section holds the item.
bool InsideListed(const std::string& item, const std::set<std::string>& listed) {
  for (const std::string& container : listed) {
    if (container.compare(0, 4, "key|") == 0 && item.compare(0, 6, "value|") == 0 &&
        item.compare(6, container.size() - 4 + 1, container.substr(4) + "|") == 0)
      return true;
    if (container.compare(0, 8, "section|") == 0 && item.compare(0, 6, "entry|") == 0 &&
        item.compare(6, container.size() - 8 + 1, container.substr(8) + "|") == 0)
      return true;
  }
  return false;
}

void Agreement(Run& run) {
  if (!run.previewed) {
    Check(run, false, "a preview ran before the uninstall");
    return;
  }
  std::set<std::string> listed, changed;
  for (auto& e : PreviewEffects(run.preview)) Explained(e, &listed, &changed);
  std::set<std::string> after = NoteMachine(run);
  std::set<std::string> afterNames;
  for (const std::string& item : after) afterNames.insert(ItemName(item));
  int unlisted = 0, stayed = 0, wrong = 0;
  for (const std::string& item : run.before) {
    if (after.count(item)) continue;
    std::string name = ItemName(item);
    bool gone = !afterNames.count(name);
    bool explained = gone ? (listed.count(name) || InsideListed(name, listed))
                          : [&] {
                              for (const std::string& c : changed)
                                if (after.count(c) && ItemName(c) == name) return true;
                              return false;
                            }();
    if (!explained) {
      ++unlisted;
      printf("         not in the preview: %s %s\n", gone ? "gone" : "changed", item.c_str());
    }
  }
  for (const std::string& item : listed) {
    bool wasThere = false;
    for (const std::string& noted : run.before) wasThere |= ItemName(noted) == item;
    if (wasThere && afterNames.count(item)) {
      ++stayed;
      printf("         listed by the preview but still there: %s\n", item.c_str());
    }
  }
  for (const std::string& item : changed)
    if (!after.count(item)) {
      ++wrong;
      printf("         the preview's new value is not what the run left: %s\n", item.c_str());
    }
  Check(run, unlisted == 0 && stayed == 0 && wrong == 0 && !listed.empty(),
        "the uninstall changed exactly what the preview listed (" + std::to_string(listed.size()) +
            " removals)");
}

int BoxCount(Run& run, int id) {
  std::lock_guard<std::mutex> guard(run.lock);
  int count = 0;
  for (const Box& box : run.boxes)
    if (box.id == id) ++count;
  return count;
}

void Expect(Run& run, const std::vector<std::string>& rawArgs) {
  std::vector<std::string> a;
  for (const std::string& arg : rawArgs) a.push_back(Expand(run, arg));
  const std::string& kind = a[0];
  auto arg = [&](size_t i) { return i < a.size() ? a[i] : std::string(); };
  if (kind == "package") {
    CheckPackage(run, arg(1) == "intact");
  } else if (kind == "agreement") {
    Agreement(run);
  } else if (kind == "gone") {
    Check(run, !PathExists(arg(1)), "gone: " + arg(1));
  } else if (kind == "exists") {
    Check(run, PathExists(arg(1)), "still there: " + arg(1));
  } else if (kind == "key-gone") {
    Check(run, !RegistryKeyExists(arg(1)), "key gone: " + arg(1));
  } else if (kind == "key-gone-at-stage-two") {
    // Stage one removes the registration before it starts stage two.
    const Tracked* two = StageTwo(run);
    size_t index = 0;
    while (index < run.watchKeys.size() && run.watchKeys[index] != arg(1)) ++index;
    bool gone = two && index < two->keysAtStart.size() && !two->keysAtStart[index];
    Check(run, gone, "key gone when stage two started: " + arg(1));
  } else if (kind == "key") {
    Check(run, RegistryKeyExists(arg(1)), "key still there: " + arg(1));
  } else if (kind == "box") {
    int id = atoi(arg(1).c_str());
    int want = atoi(arg(2).c_str());
    int got = BoxCount(run, id);
    Check(run, got == want, "question/notice " + arg(1) + " shown " + std::to_string(want) +
                                " time(s) (seen " + std::to_string(got) + ")");
  } else if (kind == "boxes") {
    size_t got;
    {
      std::lock_guard<std::mutex> guard(run.lock);
      got = run.boxes.size();
    }
    Check(run, got == static_cast<size_t>(atoi(arg(1).c_str())),
          "boxes shown in all: " + arg(1) + " (seen " + std::to_string(got) + ")");
  } else if (kind == "box-text") {
    bool found = false;
    std::lock_guard<std::mutex> guard(run.lock);
    for (const Box& box : run.boxes)
      if (box.text == arg(1) && (a.size() < 3 || box.caption == arg(2))) found = true;
    Check(run, found, "a box says \"" + arg(1) + "\"" +
                          (a.size() < 3 ? "" : " under the caption \"" + arg(2) + "\""));
  } else if (kind == "progress") {
    std::vector<std::string> lines = ListBoxLines(run.dialog, IDC_PROGRESS);
    bool found = false;
    for (const std::string& line : lines) found |= line == arg(1);
    Check(run, found, "progress list shows \"" + arg(1) + "\"");
  } else if (kind == "progress-order") {
    // The listed message ids appear in this order (other lines between allowed).
    std::vector<std::string> lines = ListBoxLines(run.dialog, IDC_PROGRESS);
    size_t at = 0;
    bool ok = true;
    for (size_t i = 1; i < a.size(); ++i) {
      std::string text = Message(run, atoi(a[i].c_str()));
      while (at < lines.size() && lines[at] != text) ++at;
      if (at == lines.size()) ok = false;
      else ++at;
    }
    Check(run, ok, "progress notes in order: messages " + [&] {
      std::string ids;
      for (size_t i = 1; i < a.size(); ++i) ids += a[i] + " ";
      return ids;
    }());
  } else if (kind == "leftovers") {
    std::vector<std::string> lines = ListBoxLines(run.dialog, IDC_LEFTOVERS);
    Check(run, lines.size() == static_cast<size_t>(atoi(arg(1).c_str())),
          "leftover list holds " + arg(1) + " line(s) (holds " + std::to_string(lines.size()) +
              ")");
  } else if (kind == "leftover") {
    // leftover | index | path : the line at that place of the sorted list
    std::vector<std::string> lines = ListBoxLines(run.dialog, IDC_LEFTOVERS);
    size_t index = atoi(arg(1).c_str());
    Check(run, index < lines.size() && SameTextA(lines[index], arg(2)),
          "leftover line " + arg(1) + " is " + arg(2) +
              (index < lines.size() ? "" : " (list too short)"));
  } else if (kind == "enabled" || kind == "disabled") {
    bool enabled = ControlEnabled(run.dialog, atoi(arg(1).c_str()));
    Check(run, enabled == (kind == "enabled"), "button " + arg(1) + " " + kind);
  } else if (kind == "pending") {
    // pending | PATH... : each to be deleted at restart, in this order.
    auto renames = PendingRenames();
    size_t next = 0;
    for (size_t i = 1; i < a.size(); ++i) {
      size_t at = next;
      while (at < renames.size() &&
             !(SameTextA(renames[at].first, arg(i)) && renames[at].second.empty()))
        ++at;
      Check(run, at < renames.size(), arg(i) + " is to be deleted at restart" +
                                          (i > 1 ? ", after " + arg(i - 1) : ""));
      next = at + 1;
    }
  } else if (kind == "no-pending") {
    Check(run, PendingRenames().empty(), "nothing is to be deleted at restart");
  } else {
    Check(run, false, "unknown expectation " + kind);
  }
}

void PrintReport(Run& run) {
  printf("\nInstalled (paths below %s; the uninstaller carries the log name \"%s\"\n"
         "in its tail, the log has %zu lines):\n",
         run.vars["ROOT"].c_str(), run.vars["LOGNAME"].c_str(), run.sc.logLines.size());
  for (const InstallItem& item : run.sc.items) printf("  %s\n", Describe(run, item).c_str());
  printf("\nWhat the user saw and did:\n");
  for (const std::string& line : run.story) printf("  %s\n", line.c_str());
  printf("\nRemoved:\n");
  for (const InstallItem& item : run.sc.items) {
    std::string state;
    if (!ItemPresent(run, item, &state)) printf("  %s\n", Describe(run, item).c_str());
  }
  printf("\nLeft, and why:\n");
  for (const InstallItem& item : run.sc.items) {
    std::string state;
    if (!ItemPresent(run, item, &state)) continue;
    std::string path = Expand(run, item.path);
    std::vector<std::string> reasons;
    for (const std::string& hold : run.sc.hold)
      if (SameTextA(Expand(run, hold), path))
        reasons.push_back("held open by another program during the uninstall");
    for (const std::string& line : run.offered)
      if (SameTextA(line, path)) reasons.push_back("offered in the leftover list, the user kept it");
    if (item.kind == InstallItem::Shared) reasons.push_back("count now " + state);
    if (item.kind == InstallItem::Dir) reasons.push_back("still holds what was left in it");
    if (!item.why.empty()) reasons.push_back(item.why);
    std::string why;
    for (const std::string& reason : reasons) why += (why.empty() ? "" : "; ") + reason;
    printf("  %s\n      %s\n", Describe(run, item).c_str(), why.empty() ? "-" : why.c_str());
  }
  printf("\n  the temporary copy %s: %s\n", run.vars["COPY"].c_str(),
         [&] {
           for (auto& rename : PendingRenames())
             if (SameTextA(rename.first, run.vars["COPY"])) return "deleted at the next restart";
           return "not scheduled for deletion";
         }());
}

void Shutdown(Run& run) {
  // Anything still running (a hung stage, a helper) is ended with the job.
  if (run.job) {
    // A process that has done its work may still be on its way out (a
    // loaded machine): each gets a short grace to end before it counts.
    const DWORD kExitGraceMs = 5000;
    std::string alive;
    {
      std::lock_guard<std::mutex> guard(run.lock);
      for (const Tracked& t : run.tracked)
        if (t.process && WaitForSingleObject(t.process, kExitGraceMs) == WAIT_TIMEOUT)
          alive += " " + t.image;
    }
    if (run.stageOne.hProcess &&
        WaitForSingleObject(run.stageOne.hProcess, kExitGraceMs) == WAIT_TIMEOUT)
      alive += " stage one";
    if (!alive.empty()) {
      Check(run, false, "no uninstaller process is left running (still running:" + alive + ")");
      TerminateJobObject(run.job, 99);
    }
  }
  run.stopThreads = true;
  SetEvent(run.waitRelease);
  StopRobot(&run.robot);
  if (run.tracker) WaitForSingleObject(run.tracker, 5000);
  ReleaseHeld(run, "");
  for (const Tracked& t : run.tracked)
    if (t.process) CloseHandle(t.process);
  if (run.stageOne.hProcess) CloseHandle(run.stageOne.hProcess);
  if (run.stageOne.hThread) CloseHandle(run.stageOne.hThread);
  if (run.job) CloseHandle(run.job);
  if (run.port) CloseHandle(run.port);
}

void SetVariables(Run& run) {
  run.vars["ROOT"] = "C:\\e2e\\" + run.sc.name;
  run.vars["INST"] = run.vars["ROOT"] + "\\" + run.sc.folder;
  run.vars["SHARED"] = run.vars["ROOT"] + "\\Shared";
  run.vars["TEMP"] = run.sc.temp.empty() ? TempFolder() : Expand(run, run.sc.temp);
  run.vars["EXE"] = run.sc.exeName;
  run.vars["LOGNAME"] = run.sc.tailNone || run.sc.tail.empty() ? "uninstal.ini"
                                                                : run.sc.tail.back();
  run.vars["LOG"] = run.vars["INST"] + "\\" + run.vars["LOGNAME"];
  for (const std::string& line : run.sc.logLines) {
    // Message lines: a letter, the id, a comma, the text.
    if (line.size() < 2 || isdigit(static_cast<unsigned char>(line[0])) ||
        !isdigit(static_cast<unsigned char>(line[1])))
      continue;
    size_t comma = line.find(',');
    int id = atoi(line.c_str() + 1);
    if (line[0] == 'A' && id >= 1 && id <= 1000)
      run.messages[id] = comma == std::string::npos ? "" : line.substr(comma + 1);
  }
  for (auto& message : run.messages) message.second = Expand(run, message.second);
  // Product name and caption live in 128-byte fields: longer texts are cut.
  std::string product = Message(run, 10).substr(0, 127);
  run.caption = (Message(run, 48) + " " + product).substr(0, 127);
  run.product = product;
  run.vars["PRODUCT"] = product;
  run.vars["CAPTION"] = run.caption;
}

}  // namespace

int main(int argc, char** argv) {
  Run* run = new Run;
  gRun = run;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--report") == 0) run->report = true;
    else if (strcmp(argv[i], "--shots") == 0 && i + 1 < argc) run->shots = Dist(argv[++i]);
    else file = Dist(argv[i]);
  }
  if (file.empty()) {
    printf("usage: e2e_runner [--report] [--shots FOLDER] scenario.scn\n");
    return 2;
  }
  if (!LoadScenario(file, &run->sc)) {
    for (const std::string& error : run->sc.errors) printf("%s\n", error.c_str());
    return 2;
  }
  SetVariables(*run);
  for (const Step& step : run->sc.steps)
    if (step.keyword == "expect" && step.args.size() > 1 &&
        step.args[0] == "key-gone-at-stage-two")
      run->watchKeys.push_back(Expand(*run, step.args[1]));
  run->waitRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  run->waitingBox = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  printf("scenario %s: %s\n", run->sc.name.c_str(), run->sc.title.c_str());
  Clean(*run);

  for (const Step& step : run->sc.steps) {
    // Without a started stage one or a dialog there is nothing to press.
    if (run->broken && (step.keyword == "press" || step.keyword == "dialog" ||
                        step.keyword == "escape" || step.keyword == "close-box" ||
                        step.keyword == "second" || step.keyword == "view"))
      continue;
    if (!run->report)
      printf("%s:%d: %s %s\n", step.file.c_str(), step.line, step.keyword.c_str(),
             step.args.empty() ? "" : step.args[0].c_str());
    const std::string arg = step.args.empty() ? "" : step.args[0];
    if (step.keyword == "preview") {
      Preview(*run);
    } else if (step.keyword == "start") {
      if (!run->installed) Check(*run, Install(*run), "the package is installed");
      run->installed = true;
      if (!StartStageOne(*run)) run->broken = true;
    } else if (step.keyword == "second") {
      SecondStart(*run);
    } else if (step.keyword == "dialog") {
      WaitDialog(*run, arg);
    } else if (step.keyword == "press") {
      Press(*run, atoi(arg.c_str()));
    } else if (step.keyword == "escape" || step.keyword == "close-box") {
      TryToClose(*run, step.keyword);
    } else if (step.keyword == "window") {
      // A program window that the log's running-program check looks for.
      Check(*run, OpenProbeWindow(Expand(*run, arg)) != nullptr, "window \"" + arg + "\" opened");
    } else if (step.keyword == "delete") {
      // The user deletes a file behind the uninstaller's back.
      std::string path = Expand(*run, arg);
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      Check(*run, DeleteFileA(path.c_str()) != 0, "deleted " + path + " from outside");
    } else if (step.keyword == "release") {
      ReleaseHeld(*run, Expand(*run, arg));
    } else if (step.keyword == "view") {
      View(*run, arg);
    } else if (step.keyword == "end") {
      End(*run, atoi(arg.c_str()));
    } else if (step.keyword == "expect") {
      Expect(*run, step.args);
    }
  }
  Shutdown(*run);
  if (run->report) PrintReport(*run);
  printf("%s: %d check(s), %d failed\n", run->failures ? "FAIL" : "PASS", run->checks,
         run->failures);
  bool keep = getenv("E2E_KEEP") != nullptr;
  if (!keep && !run->failures) Clean(*run);
  fflush(stdout);
  return run->failures ? 1 : 0;
}
