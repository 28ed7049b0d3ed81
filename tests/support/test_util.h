// Small helpers for tests: scratch folders, files, child processes, and
// resetting the uninstaller's program-wide state between tests.
#pragma once
#include <windows.h>
#include <functional>
#include <map>
#include <string>
#include <vector>

// A fresh, empty folder under the prefix's temporary folder, unique per call.
std::string MakeScratchFolder(const char* tag);
// Removes a folder tree (test clean-up only).
void RemoveTree(const std::string& path);
// Calls visit with the full path and the search entry of everything below
// folder, each folder before its contents; links to folders are listed but
// not entered.
using TreeVisit = std::function<void(const std::string& path, const WIN32_FIND_DATAA& entry)>;
void WalkTree(const std::string& folder, const TreeVisit& visit);
void WriteTextFile(const std::string& path, const std::string& text);
std::string ReadTextFile(const std::string& path);
bool PathExists(const std::string& path);
// Folder of the running test program (where helper programs are built).
std::string TestBinFolder();
// The prefix's temporary folder and a shell folder (a CSIDL_ number), with
// no backslash at the end; "" for a shell folder the prefix lacks.
std::string TempFolder();
std::string KnownFolder(int csidl);
// Wine's host name for a Windows path; "" when Wine gives none.
std::string UnixName(const std::string& path);
// A file of the built programs' folder (dist), as the prefix names it.
std::string DistPath(const char* name);

// What a child gets besides its command line. Output and errors: inheritable
// handles for its standard output and error (none: the caller's own). Job:
// the child joins it before it runs its first instruction. Stalled: asked
// every kChildPollMs while the child runs; true ends it as a time-out does.
constexpr DWORD kChildPollMs = 1000;
struct ChildOptions {
  HANDLE output = nullptr;
  HANDLE errors = nullptr;
  HANDLE job = nullptr;
  std::function<bool()> stalled;
};
// Runs a command line, waits up to timeoutMs; returns the exit code, or -1
// when it could not start, -2 on time-out (the process is then killed); 0
// at once for a Unix program, which Wine gives no handle to wait on.
int RunChild(const std::string& commandLine, DWORD timeoutMs = 60000,
             const ChildOptions* options = nullptr);
// Runs dist's uninstlog.exe with its output and errors in fresh files in
// folder, read back into *out and *err; RunChild's codes.
int RunUninstlog(const std::string& folder, const std::string& arguments, std::string* out,
                 std::string* err);

// The registry. Paths are below root; a null value name is the key alone.
bool KeyExists(HKEY root, const std::string& path);
bool ValueExists(HKEY root, const std::string& path, const char* name);
// Creates the key when missing; false when the key or value was not written.
bool SetValue(HKEY root, const std::string& path, const char* name, DWORD type, const void* data,
              DWORD size);
bool SetText(HKEY root, const std::string& path, const char* name, const std::string& text);
inline bool CreateKey(HKEY root, const std::string& path) {
  return SetValue(root, path, nullptr, REG_NONE, nullptr, 0);
}
// Creates a registry link root\path whose target is the NT name target
// ("\Registry\Machine\..."); false when it was not made.
bool CreateRegistryLink(HKEY root, const std::string& path, const wchar_t* target);
// A value's type and bytes; false when the key or value is missing.
bool ReadValue(HKEY root, const std::string& path, const char* name, DWORD* type,
               std::string* data);
// Calls visit for the key root\path and for each key below it, each before
// its subkeys: once with a null name for the key, then for each value with
// its name, type and bytes. Nothing when the key is missing.
using KeyVisit = std::function<void(const std::string& key, const char* name, DWORD type,
                                    const std::string& data)>;
void WalkKey(HKEY root, const std::string& path, const KeyVisit& visit);
// The restart-time rename list: pairs (source, target), "\??\" taken off.
std::vector<std::pair<std::string, std::string>> PendingRenames();
void ClearPendingRenames();
// Every line of a list box, in list order. Read in the wide form, which
// also comes back whole from another process's list.
std::vector<std::string> ListBoxLines(HWND list);
std::vector<std::string> ListBoxLines(HWND dialog, int id);
// A window's text, read in the wide form for the same reason.
std::string WindowText(HWND window);
// A top-level window of this thread, 200 by 100 at (10, 10), whose messages
// go to procedure; its class is registered on first use. With WS_VISIBLE in
// style it is shown as a user's program window is.
HWND OpenTestWindow(const char* className, const char* title, WNDPROC procedure,
                    DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE);
// Sleeps while handling this thread's window messages: a broadcast sent to
// a test's windows must never wait on it.
void PumpSleep(DWORD ms);
// Asks condition every kWaitStepMs, pumping messages between, until it holds
// or timeoutMs has passed; true when it held.
constexpr DWORD kWaitStepMs = 10;
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
// The fuzzers' seed and round count: FUZZ_SEED and FUZZ_COUNT from the
// environment when set (the long run, `make fuzz`), else the given defaults
// (the modest fixed run of `make check`).
unsigned FuzzSeed(unsigned fallback);
int FuzzCount(int fallback);
// A whole decimal number from the environment; false when unset or not one.
bool ReadEnvironmentNumber(const char* name, unsigned long long* value);
// Every message the uninstaller reads, one line each (19 lines), so that a
// log that starts with them needs no message and shows only its own findings.
inline constexpr char kAllMessages[] =
    "A10,Sample Product\r\nA48,Uninstall\r\nA43,Remove %s?\r\nA36,Cannot copy %s to %s\r\n"
    "A49,Cannot start %s\r\nA13,Finish\r\nA81,Checking\r\nA54,Registry\r\nA55,Profiles\r\n"
    "A42,Files\r\nA58,Please wait\r\nA51,Delete %s?\r\nA50,Done\r\nA47,Remove %s at restart\r\n"
    "A53,Files left\r\nA46,Close\r\nA44,Remove\r\nA45,Remove all\r\nA52,Retry %s?\r\n";
// Clears the uninstaller's program-wide state and reserves fresh working
// areas, as start-up does before loading.
void ResetProgramState();
// Writes text to a log file in folder and loads it as the uninstaller does.
std::string LoadLogText(const std::string& folder, const std::string& text);
// The effects of `uninstlog preview --json`, each as its fields (kind,
// happens, object and, as they apply, name, key, detail, why, bytes).
std::vector<std::map<std::string, std::string>> PreviewEffects(const std::string& json);
