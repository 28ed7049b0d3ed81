#include "support/test_util.h"
#include <stdio.h>
#include <stdlib.h>
#include "common/state.h"
#include "log/log.h"

static std::string TempFolder() {
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  std::string result = temp;
  if (!result.empty() && result.back() == '\\') result.pop_back();
  return result;
}

std::string MakeScratchFolder(const char* tag) {
  static int serial = 0;
  char name[MAX_PATH];
  for (;;) {
    snprintf(name, sizeof name, "%s\\t%lu_%s_%d", TempFolder().c_str(),
             GetCurrentProcessId(), tag, ++serial);
    if (CreateDirectoryA(name, nullptr)) return name;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return name;
  }
}

void RemoveTree(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileA(path.c_str());
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        RemoveTree(path + "\\" + name);
      } while (FindNextFileA(search, &entry));
      FindClose(search);
    }
  }
  RemoveDirectoryA(path.c_str());
}

void WalkTree(const std::string& folder, const TreeVisit& visit) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = folder + "\\" + name;
    visit(path, entry);
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      WalkTree(path, visit);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

void WriteTextFile(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadTextFile(const std::string& path) {
  std::string result;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return result;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) result.append(buffer, got);
  CloseHandle(file);
  return result;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TestBinFolder() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string result = path;
  return result.substr(0, result.find_last_of('\\'));
}

int RunChild(const std::string& commandLine, DWORD timeoutMs) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return -1;
  int result = -2;
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result = static_cast<int>(code);
  } else {
    TerminateProcess(process.hProcess, 99);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

std::vector<std::string> ListBoxLines(HWND list) {
  std::vector<std::string> lines;
  LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
    std::vector<wchar_t> text(length > 0 ? length + 1 : 1, 0);
    if (length > 0) SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), -1, &narrow[0], size, nullptr, nullptr);
    lines.push_back(narrow.c_str());
  }
  return lines;
}

void ResetProgramState() {
  ReleaseWorkingAreas();
  gSilent = false;
  gProgramPath[0] = gProgramFolder[0] = gWindowsFolder[0] = gTempFolder[0] = 0;
  gCommandLogPath[0] = gLogPath[0] = gScratch[0] = gRelaunch[0] = 0;
  gProductName[0] = gCaption[0] = 0;
  gDialog = nullptr;
  SetUpWorkingAreas();
  ResetActionCursor();
}

std::string LoadLogText(const std::string& folder, const std::string& text) {
  std::string path = folder + "\\uninstal.ini";
  WriteTextFile(path, text);
  ResetProgramState();
  CopyText(gLogPath, kPathSize, path.c_str());
  LoadLog();
  ResetActionCursor();
  return path;
}

static bool ReadEnvironmentNumber(const char* name, unsigned long* value) {
  char text[32] = "";
  DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
  if (length == 0 || length >= sizeof text) return false;
  char* end = nullptr;
  *value = strtoul(text, &end, 10);
  return end && *end == 0 && end != text;
}

unsigned FuzzSeed(unsigned fallback) {
  unsigned long value = 0;
  return ReadEnvironmentNumber("FUZZ_SEED", &value) ? static_cast<unsigned>(value) : fallback;
}

int FuzzCount(int fallback) {
  unsigned long value = 0;
  return ReadEnvironmentNumber("FUZZ_COUNT", &value) && value > 0 && value < 100000000ul
             ? static_cast<int>(value)
             : fallback;
}
