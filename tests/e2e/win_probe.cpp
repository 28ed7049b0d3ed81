#include "e2e/win_probe.h"
#include "support/test_util.h"

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
  HKEY root;
  std::string subkey;
  return SplitRegistryPath(path, &root, &subkey) && KeyExists(root, subkey);
}

bool CreateRegistryKey(const std::string& path) {
  HKEY root;
  std::string subkey;
  return SplitRegistryPath(path, &root, &subkey) && CreateKey(root, subkey);
}

bool ReadRegistryValue(const std::string& keyPath, const std::string& name, std::string* data) {
  HKEY root;
  std::string subkey, bytes;
  DWORD type = 0;
  if (!SplitRegistryPath(keyPath, &root, &subkey) ||
      !ReadValue(root, subkey, name == "@" ? "" : name.c_str(), &type, &bytes))
    return false;
  if (type == REG_DWORD && bytes.size() == 4)
    *data = "dword:" + std::to_string(*reinterpret_cast<const DWORD*>(bytes.data()));
  else
    *data = bytes.c_str();
  return true;
}

bool WriteRegistryValue(const std::string& keyPath, const std::string& name,
                        const std::string& data) {
  HKEY root;
  std::string subkey;
  if (!SplitRegistryPath(keyPath, &root, &subkey)) return false;
  const char* valueName = name == "@" ? "" : name.c_str();
  if (data.compare(0, 6, "dword:") != 0) return SetText(root, subkey, valueName, data);
  DWORD number = strtoul(data.c_str() + 6, nullptr, 10);
  return SetValue(root, subkey, valueName, REG_DWORD, &number, sizeof number);
}

void DeleteRegistryTree(const std::string& path) {
  HKEY root;
  std::string subkey;
  if (!SplitRegistryPath(path, &root, &subkey) || subkey.empty()) return;
  RegDeleteTreeA(root, subkey.c_str());
  RegDeleteKeyA(root, subkey.c_str());
}

void DeleteRegistryValue(const std::string& keyPath, const std::string& name) {
  HKEY root;
  std::string subkey;
  if (SplitRegistryPath(keyPath, &root, &subkey))
    RegDeleteKeyValueA(root, subkey.c_str(), name == "@" ? "" : name.c_str());
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
