// Shared pieces of the removal tests: a host window with the two list boxes
// of the uninstall dialog, listing a scratch tree, and running Unix commands
// (symbolic links, drive mappings) from inside Wine.
#pragma once
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "resources/resource.h"
#include "support/test_util.h"

namespace removal_test {

inline int& FontChanges() {
  static int count = 0;
  return count;
}

inline LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_FONTCHANGE) ++FontChanges();
  return DefWindowProcA(window, message, wParam, lParam);
}

// A hidden top-level window standing in for the uninstall dialog: list box
// of the leftovers (sorted) and of the progress notes.
inline HWND CreateHost(const char* title = "removal host") {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "RemovalTestHost";
    RegisterClassA(&windowClass);
    registered = true;
  }
  HWND host = CreateWindowA("RemovalTestHost", title, WS_OVERLAPPEDWINDOW, 0, 0, 400,
                            300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  CreateWindowA("LISTBOX", "", WS_CHILD | LBS_SORT, 0, 0, 300, 100, host,
                reinterpret_cast<HMENU>(IDC_LEFTOVERS), GetModuleHandleA(nullptr), nullptr);
  CreateWindowA("LISTBOX", "", WS_CHILD, 0, 100, 300, 100, host,
                reinterpret_cast<HMENU>(IDC_PROGRESS), GetModuleHandleA(nullptr), nullptr);
  return host;
}

inline std::vector<std::string> ListLines(HWND host, int id) {
  return ListBoxLines(GetDlgItem(host, id));
}

// Every entry below folder, relative, folders ending in a backslash, sorted.
inline std::vector<std::string> ListTree(const std::string& folder) {
  std::vector<std::string> out;
  WalkTree(folder, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
    std::string relative = path.substr(folder.size() + 1);
    out.push_back(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? relative + "\\" : relative);
  });
  std::sort(out.begin(), out.end());
  return out;
}

// Creates files ("a\b.txt") and folders ("a\c\") below root.
inline void Build(const std::string& root, const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    std::string path = root;
    size_t start = 0;
    for (;;) {
      size_t slash = entry.find('\\', start);
      if (slash == std::string::npos) break;
      path = root + "\\" + entry.substr(0, slash);
      CreateDirectoryA(path.c_str(), nullptr);
      start = slash + 1;
    }
    if (start < entry.size()) WriteTextFile(root + "\\" + entry, "x");
  }
}

// Runs a Unix shell command (Wine starts Unix programs given a Unix path;
// the sealed prefix has no drive for /, so the shell is named in Wine's own
// \\?\unix\ namespace).
// Wine gives no waitable handle for a Unix process, so the command touches
// a marker when it is done and we wait for that. False on time-out.
inline bool RunShell(const std::string& command) {
  static int serial = 0;
  char name[128];
  wsprintfA(name, "removal_test_done_%lu_%d", GetCurrentProcessId(), ++serial);
  std::string windowsMarker = TempFolder() + "\\" + name;
  std::string marker = UnixName(windowsMarker);
  std::string script = command + "; touch " + marker;
  std::string quoted;
  for (char c : script) {
    if (c == '"') quoted += '\\';
    quoted += c;
  }
  if (RunChild("\\\\?\\unix\\bin\\sh -c \"" + quoted + "\"") == -1) return false;
  for (int i = 0; i < 1000; ++i) {
    if (GetFileAttributesA(windowsMarker.c_str()) != INVALID_FILE_ATTRIBUTES) {
      DeleteFileA(windowsMarker.c_str());
      return true;
    }
    Sleep(10);
  }
  return false;
}

}  // namespace removal_test
