// Reading and driving another process's windows, registry and file helpers
// for the end-to-end runner.
#pragma once
#include <windows.h>
#include <string>

int ListSelection(HWND list);
bool ControlVisible(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);

// Registry paths are written "HKLM\Software\..." or "HKCU\...".
bool SplitRegistryPath(const std::string& path, HKEY* root, std::string* subkey);
bool RegistryKeyExists(const std::string& path);
bool CreateRegistryKey(const std::string& path);
// Value data as text: "dword:N" for a 32-bit number, the text for a string.
// Returns false when the key or value is missing. "@" names the default value.
bool ReadRegistryValue(const std::string& keyPath, const std::string& name, std::string* data);
bool WriteRegistryValue(const std::string& keyPath, const std::string& name,
                        const std::string& data);
void DeleteRegistryTree(const std::string& path);
void DeleteRegistryValue(const std::string& keyPath, const std::string& name);

bool MakeFolders(const std::string& path);
bool FileIsReadOnly(const std::string& path);
