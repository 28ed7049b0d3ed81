// Test library for C and D lines: functions with 0 to 5 text arguments (WINAPI)
// that append "CallN|arg1|...|argN" to the file named by RUN_TEST_RECORD and
// return the number in RUN_TEST_RESULT (1 when unset). A release through
// FreeLibrary appends "released".
#include <windows.h>
#include <stdlib.h>
#include <string>
#include "resources/resource.h"

static void Record(const std::string& line) {
  char path[MAX_PATH] = "";
  if (!GetEnvironmentVariableA("RUN_TEST_RECORD", path, sizeof path)) return;
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

static int Result() {
  char value[32] = "";
  if (!GetEnvironmentVariableA("RUN_TEST_RESULT", value, sizeof value)) return 1;
  return atoi(value);
}

// With RUN_TEST_NOTES naming a window, "#n" tells how many lines its progress
// list held when the function ran.
static std::string NotesCount() {
  char title[256] = "";
  if (!GetEnvironmentVariableA("RUN_TEST_NOTES", title, sizeof title)) return "";
  HWND window = FindWindowA(nullptr, title);
  if (!window) return "#none";
  LRESULT count = SendDlgItemMessageA(window, IDC_PROGRESS, LB_GETCOUNT, 0, 0);
  return "#" + std::to_string(count);
}

static int Called(const char* name, const char* const* args, int count) {
  std::string line = name;
  for (int i = 0; i < count; ++i) line += std::string("|") + args[i];
  line += NotesCount();
  Record(line);
  return Result();
}

extern "C" {
__declspec(dllexport) int WINAPI Call0() { return Called("Call0", nullptr, 0); }
__declspec(dllexport) int WINAPI Call1(const char* a) {
  const char* args[] = {a};
  return Called("Call1", args, 1);
}
__declspec(dllexport) int WINAPI Call2(const char* a, const char* b) {
  const char* args[] = {a, b};
  return Called("Call2", args, 2);
}
__declspec(dllexport) int WINAPI Call3(const char* a, const char* b, const char* c) {
  const char* args[] = {a, b, c};
  return Called("Call3", args, 3);
}
__declspec(dllexport) int WINAPI Call4(const char* a, const char* b, const char* c,
                                       const char* d) {
  const char* args[] = {a, b, c, d};
  return Called("Call4", args, 4);
}
__declspec(dllexport) int WINAPI Call5(const char* a, const char* b, const char* c,
                                       const char* d, const char* e) {
  const char* args[] = {a, b, c, d, e};
  return Called("Call5", args, 5);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  // Copies of this library are planted under system libraries' names: any
  // process that loads one notes its path in the file PLANTED_MARKER names.
  char marker[MAX_PATH] = "", path[MAX_PATH] = "";
  if (reason == DLL_PROCESS_ATTACH && GetEnvironmentVariableA("PLANTED_MARKER", marker, MAX_PATH) &&
      GetModuleFileNameA(self, path, MAX_PATH)) {
    HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, path, lstrlenA(path), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
  }
  // reserved is null when FreeLibrary unloads us, not at process end.
  if (reason == DLL_PROCESS_DETACH && !reserved) Record("released");
  return TRUE;
}
}
