#include "support/test_util.h"
#include <stdio.h>
#include <stdlib.h>
#include <shlobj.h>
#include "common/state.h"
#include "log/log.h"

namespace {
constexpr int kWidePathSize = 1024;
constexpr int kWideTextSize = 2048;  // a window's text, as read back
constexpr DWORD kStopWaitMs = 10000;  // for a killed child to be gone
constexpr DWORD kUninstlogWaitMs = 60000;
constexpr DWORD kRegistryNameSize = 16384;  // the longest value name and its end
const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
}  // namespace

std::string TempFolder() {
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  std::string result = temp;
  if (!result.empty() && result.back() == '\\') result.pop_back();
  return result;
}

std::string KnownFolder(int csidl) {
  char path[MAX_PATH] = "";
  if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return "";
  return path;
}

std::string UnixName(const std::string& path) {
  typedef char*(CDECL * UnixNameOf)(LPCWSTR);
  UnixNameOf convert = reinterpret_cast<UnixNameOf>(
      GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name"));
  if (!convert) return "";
  wchar_t wide[kWidePathSize];
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, kWidePathSize);
  char* name = convert(wide);
  std::string result = name ? name : "";
  if (name) HeapFree(GetProcessHeap(), 0, name);
  return result;
}

std::string DistPath(const char* name) {
  std::string path = DIST_DIR "\\" + std::string(name);
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
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

int RunChild(const std::string& commandLine, DWORD timeoutMs, const ChildOptions* options) {
  static const ChildOptions kNone;
  const ChildOptions& o = options ? *options : kNone;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  bool redirect = o.output || o.errors;
  if (redirect) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = o.output ? o.output : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = o.errors ? o.errors : GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION process = {};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, redirect,
                      o.job ? CREATE_SUSPENDED : 0, nullptr, nullptr, &startup, &process))
    return -1;
  // Wine starts a Unix program with no handles and leaves stale bytes in the
  // rest of the record: closing those would close some other handle of ours
  // (once it was the thread's desktop, and no window could be made after).
  if (!process.hProcess) return 0;
  int result = -2;
  if (o.job && !AssignProcessToJobObject(o.job, process.hProcess)) {
    TerminateProcess(process.hProcess, 98);
    result = -1;
  } else {
    if (o.job) ResumeThread(process.hThread);
    for (DWORD waited = 0;;) {
      DWORD step = timeoutMs - waited;
      if (o.stalled && step > kChildPollMs) step = kChildPollMs;
      if (WaitForSingleObject(process.hProcess, step) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result = static_cast<int>(code);
        break;
      }
      waited += step;
      if (waited >= timeoutMs || (o.stalled && o.stalled())) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, kStopWaitMs);
        break;
      }
    }
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

int RunUninstlog(const std::string& folder, const std::string& arguments, std::string* out,
                 std::string* err) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  // Fresh files each run: Wine may report the last run's process ended a
  // moment before it closes that process's handles to its files.
  static int runs = 0;
  std::string tag = std::to_string(++runs);
  std::string outPath = folder + "\\out" + tag + ".txt";
  std::string errPath = folder + "\\err" + tag + ".txt";
  ChildOptions options;
  options.output = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  options.errors = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  int code = -1;
  DWORD startError = 0;  // why uninstlog.exe did not start, when it did not
  if (options.output == INVALID_HANDLE_VALUE || options.errors == INVALID_HANDLE_VALUE) {
    startError = GetLastError();
  } else {
    code = RunChild("\"" DIST_DIR "/uninstlog.exe\" " + arguments, kUninstlogWaitMs, &options);
    if (code == -1) startError = GetLastError();
  }
  for (HANDLE file : {options.output, options.errors})
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  *out = ReadTextFile(outPath);
  *err = ReadTextFile(errPath);
  if (startError) *err += "uninstlog.exe did not start: error " + std::to_string(startError);
  return code;
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ValueExists(HKEY root, const std::string& path, const char* name) {
  DWORD type = 0;
  std::string data;
  return ReadValue(root, path, name, &type, &data);
}

bool SetValue(HKEY root, const std::string& path, const char* name, DWORD type, const void* data,
              DWORD size) {
  HKEY key;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG status = name ? RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size)
                     : ERROR_SUCCESS;
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool SetText(HKEY root, const std::string& path, const char* name, const std::string& text) {
  return SetValue(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

bool CreateRegistryLink(HKEY root, const std::string& path, const wchar_t* target) {
  HKEY link;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                      KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr) != ERROR_SUCCESS)
    return false;
  LONG status = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                               reinterpret_cast<const BYTE*>(target),
                               static_cast<DWORD>(lstrlenW(target) * sizeof(wchar_t)));
  RegCloseKey(link);
  return status == ERROR_SUCCESS;
}

bool ReadValue(HKEY root, const std::string& path, const char* name, DWORD* type,
               std::string* data) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG status = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
  data->assign(size, '\0');
  if (status == ERROR_SUCCESS && size)
    status = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(&(*data)[0]), &size);
  RegCloseKey(key);
  data->resize(size);
  return status == ERROR_SUCCESS;
}

void WalkKey(HKEY root, const std::string& path, const KeyVisit& visit) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  visit(path, nullptr, REG_NONE, "");
  std::vector<char> name(kRegistryNameSize);
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = kRegistryNameSize, type = 0;
    if (RegEnumValueA(key, i, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    std::string data;
    ReadValue(root, path, name.data(), &type, &data);
    visit(path, name.data(), type, data);
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = kRegistryNameSize;
    if (RegEnumKeyExA(key, i, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    WalkKey(root, path + "\\" + name.data(), visit);
  }
  RegCloseKey(key);
}

std::vector<std::pair<std::string, std::string>> PendingRenames() {
  std::vector<std::pair<std::string, std::string>> result;
  DWORD type = 0;
  std::string data;
  if (!ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", &type, &data))
    return result;
  std::vector<std::string> names;
  for (size_t at = 0; at < data.size();) {
    std::string name = data.c_str() + at;
    at += name.size() + 1;
    if (name.compare(0, 4, "\\??\\") == 0) name.erase(0, 4);
    names.push_back(name);
  }
  for (size_t i = 0; i + 1 < names.size(); i += 2)
    if (!names[i].empty()) result.push_back({names[i], names[i + 1]});
  return result;
}

void ClearPendingRenames() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return;
  RegDeleteValueA(key, "PendingFileRenameOperations");
  RegCloseKey(key);
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

std::vector<std::string> ListBoxLines(HWND dialog, int id) {
  return ListBoxLines(GetDlgItem(dialog, id));
}

std::string WindowText(HWND window) {
  wchar_t text[kWideTextSize] = L"";
  GetWindowTextW(window, text, kWideTextSize);
  char narrow[kWideTextSize * 2] = "";
  WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

HWND OpenTestWindow(const char* className, const char* title, WNDPROC procedure, DWORD style) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);  // fails harmlessly once it is registered
  HWND window = CreateWindowA(className, title, style & ~WS_VISIBLE, 10, 10, 200, 100, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window && (style & WS_VISIBLE)) ShowWindow(window, SW_SHOWNORMAL);
  return window;
}

void PumpSleep(DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  for (DWORD start = GetTickCount();; PumpSleep(kWaitStepMs)) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
  }
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

bool ReadEnvironmentNumber(const char* name, unsigned long long* value) {
  char text[32] = "";
  DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
  if (length == 0 || length >= sizeof text) return false;
  char* end = nullptr;
  *value = strtoull(text, &end, 10);
  return end && *end == 0 && end != text;
}

unsigned FuzzSeed(unsigned fallback) {
  unsigned long long value = 0;
  return ReadEnvironmentNumber("FUZZ_SEED", &value) ? static_cast<unsigned>(value) : fallback;
}

int FuzzCount(int fallback) {
  unsigned long long value = 0;
  return ReadEnvironmentNumber("FUZZ_COUNT", &value) && value > 0 && value < 100000000ull
             ? static_cast<int>(value)
             : fallback;
}

namespace {

// The next JSON string from at (at is past its opening quote), unescaped.
std::string JsonString(const std::string& json, size_t* at) {
  std::string out;
  while (*at < json.size() && json[*at] != '"') {
    char c = json[(*at)++];
    if (c != '\\') {
      out += c;
      continue;
    }
    c = json[(*at)++];
    if (c == 'u') {
      wchar_t wide = static_cast<wchar_t>(strtoul(json.substr(*at, 4).c_str(), nullptr, 16));
      char narrow[4] = "";
      WideCharToMultiByte(CP_ACP, 0, &wide, 1, narrow, sizeof narrow, nullptr, nullptr);
      out += narrow;
      *at += 4;
    } else {
      out += c == 'n' ? '\n' : c;
    }
  }
  ++*at;
  return out;
}

}  // namespace

std::vector<std::map<std::string, std::string>> PreviewEffects(const std::string& json) {
  std::vector<std::map<std::string, std::string>> effects;
  for (size_t at = 0; (at = json.find("{\"kind\": ", at)) != std::string::npos;) {
    std::map<std::string, std::string> e;
    ++at;
    while (at < json.size() && json[at] != '}') {
      size_t quote = json.find('"', at);
      if (quote == std::string::npos) break;
      at = quote + 1;
      std::string field = JsonString(json, &at);
      at = json.find_first_not_of(": ", at);
      if (json[at] == '"') {
        ++at;
        e[field] = JsonString(json, &at);
      } else {
        size_t end = json.find_first_of(",}", at);
        e[field] = json.substr(at, end - at);
        at = end;
      }
      at = json.find_first_not_of(", ", at);
    }
    effects.push_back(e);
  }
  return effects;
}
