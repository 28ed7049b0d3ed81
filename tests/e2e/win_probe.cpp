#include "e2e/win_probe.h"
#include "support/test_util.h"

static std::string Narrow(const wchar_t* text) {
  char buffer[4096] = "";
  WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return buffer;
}

std::string WindowText(HWND window) {
  wchar_t text[2048] = L"";
  GetWindowTextW(window, text, 2048);
  return Narrow(text);
}

std::vector<std::string> ListLines(HWND list) { return ListBoxLines(list); }

int ListSelection(HWND list) { return static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0)); }

bool ControlVisible(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control && (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE);
}

bool ControlEnabled(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control && IsWindowEnabled(control);
}

bool SplitRegistryPath(const std::string& path, HKEY* root, std::string* subkey) {
  size_t slash = path.find('\\');
  std::string head = path.substr(0, slash);
  *subkey = slash == std::string::npos ? "" : path.substr(slash + 1);
  if (head == "HKLM") *root = HKEY_LOCAL_MACHINE;
  else if (head == "HKCU") *root = HKEY_CURRENT_USER;
  else if (head == "HKCR") *root = HKEY_CLASSES_ROOT;
  else if (head == "HKU") *root = HKEY_USERS;
  else return false;
  return true;
}

bool RegistryKeyExists(const std::string& path) {
  HKEY root, key;
  std::string subkey;
  if (!SplitRegistryPath(path, &root, &subkey)) return false;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ReadRegistryValue(const std::string& keyPath, const std::string& name, std::string* data) {
  HKEY root, key;
  std::string subkey;
  if (!SplitRegistryPath(keyPath, &root, &subkey)) return false;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  BYTE buffer[2048] = {};
  DWORD size = sizeof buffer - 1, type = 0;
  LONG status = RegQueryValueExA(key, name == "@" ? "" : name.c_str(), nullptr, &type, buffer,
                                 &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return false;
  if (type == REG_DWORD && size == 4)
    *data = "dword:" + std::to_string(*reinterpret_cast<DWORD*>(buffer));
  else
    *data = reinterpret_cast<char*>(buffer);
  return true;
}

bool WriteRegistryValue(const std::string& keyPath, const std::string& name,
                        const std::string& data) {
  HKEY root, key;
  std::string subkey;
  if (!SplitRegistryPath(keyPath, &root, &subkey)) return false;
  if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG status;
  const char* valueName = name == "@" ? "" : name.c_str();
  if (data.compare(0, 6, "dword:") == 0) {
    DWORD number = strtoul(data.c_str() + 6, nullptr, 10);
    status = RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);
  } else {
    status = RegSetValueExA(key, valueName, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>(data.size() + 1));
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

void DeleteRegistryTree(const std::string& path) {
  HKEY root;
  std::string subkey;
  if (!SplitRegistryPath(path, &root, &subkey) || subkey.empty()) return;
  RegDeleteTreeA(root, subkey.c_str());
  RegDeleteKeyA(root, subkey.c_str());
}

void DeleteRegistryValue(const std::string& keyPath, const std::string& name) {
  HKEY root, key;
  std::string subkey;
  if (!SplitRegistryPath(keyPath, &root, &subkey)) return;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, name == "@" ? "" : name.c_str());
  RegCloseKey(key);
}

static const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";

std::vector<std::pair<std::string, std::string>> PendingRenames() {
  std::vector<std::pair<std::string, std::string>> result;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return result;
  DWORD size = 0, type = 0;
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) ==
          ERROR_SUCCESS &&
      size > 0) {
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, 0);
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type,
                     reinterpret_cast<BYTE*>(data.data()), &size);
    std::vector<std::string> strings;
    const wchar_t* p = data.data();
    const wchar_t* end = data.data() + size / sizeof(wchar_t);
    while (p < end) {
      std::string text = Narrow(p);
      if (text.compare(0, 4, "\\??\\") == 0) text = text.substr(4);
      strings.push_back(text);
      p += wcslen(p) + 1;
    }
    for (size_t i = 0; i + 1 < strings.size(); i += 2)
      if (!strings[i].empty()) result.push_back({strings[i], strings[i + 1]});
  }
  RegCloseKey(key);
  return result;
}

void ClearPendingRenames() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS)
    return;
  RegDeleteValueW(key, L"PendingFileRenameOperations");
  RegCloseKey(key);
}

bool MakeFolders(const std::string& path) {
  if (path.size() <= 3) return true;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  size_t slash = path.find_last_of('\\');
  if (slash != std::string::npos && !MakeFolders(path.substr(0, slash))) return false;
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool FileIsReadOnly(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
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

