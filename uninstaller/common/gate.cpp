// The gate as the uninstaller links it: each function is the plain system
// call. uninstlog links its preview's gate instead, which compiles this file
// again under other names (GATE) for what it does outside a preview.
#include "common/gate.h"
#include "common/state.h"

#ifndef GATE
#define GATE(name) Gate##name
#endif

namespace {

// The library function shapes, by argument count. The function removes its
// own arguments (WINAPI).
typedef int(WINAPI* Call0)();
typedef int(WINAPI* Call1)(const char*);
typedef int(WINAPI* Call2)(const char*, const char*);
typedef int(WINAPI* Call3)(const char*, const char*, const char*);
typedef int(WINAPI* Call4)(const char*, const char*, const char*, const char*);
typedef int(WINAPI* Call5)(const char*, const char*, const char*, const char*, const char*);

template <typename T> T As(FARPROC function) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(function));
}

}  // namespace

BOOL WINAPI GATE(DeleteFile)(const char* path) {
  return DeleteFileA(path);
}

BOOL WINAPI GATE(SetFileAttributes)(const char* path, DWORD attributes) {
  return SetFileAttributesA(path, attributes);
}

BOOL WINAPI GATE(RemoveDirectory)(const char* path) {
  return RemoveDirectoryA(path);
}

BOOL WINAPI GATE(RemoveFontResource)(const char* path) {
  return RemoveFontResourceA(path);
}

void WINAPI GATE(BroadcastFontChange)() {
  SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
}

LONG WINAPI GATE(RegDeleteKey)(HKEY root, const char* path) {
  return RegDeleteKeyA(root, path);
}

LONG WINAPI GATE(DeleteLinkKey)(NativeDeleteKey deleteKey, HKEY link) {
  return deleteKey(link);
}

LONG WINAPI GATE(RegDeleteValue)(HKEY key, const char* name) {
  return RegDeleteValueA(key, name);
}

LONG WINAPI GATE(RegSetValue)(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  return RegSetValueExA(key, name, 0, type, data, size);
}

BOOL WINAPI GATE(WriteProfileString)(const char* section, const char* key, const char* value,
                            const char* file) {
  return WritePrivateProfileStringA(section, key, value, file);
}

BOOL WINAPI GATE(ScheduleDeletion)(const char* path) {
  return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

BOOL WINAPI GATE(CopyFile)(const char* from, const char* to) {
  return CopyFileA(from, to, FALSE);
}

BOOL WINAPI GATE(CreateFolder)(const char* path, SECURITY_ATTRIBUTES* security) {
  return CreateDirectoryA(path, security);
}

BOOL WINAPI GATE(CreateProcess)(char* commandLine, DWORD flags, STARTUPINFOA* startup,
                       PROCESS_INFORMATION* process) {
  return CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                        startup, process);
}

HMODULE WINAPI GATE(LoadLibrary)(const char* path) {
  // A full path: its own folder first for the libraries it needs.
  return LoadLibraryExA(path, nullptr,
                        gLibrarySearchLimited
                            ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                            : LOAD_WITH_ALTERED_SEARCH_PATH);
}

int WINAPI GATE(CallFunction)(const char*, const char*, FARPROC function, int count,
                     const char* const* a) {
  switch (count) {
    case 0: return As<Call0>(function)();
    case 1: return As<Call1>(function)(a[0]);
    case 2: return As<Call2>(function)(a[0], a[1]);
    case 3: return As<Call3>(function)(a[0], a[1], a[2]);
    case 4: return As<Call4>(function)(a[0], a[1], a[2], a[3]);
    default: return As<Call5>(function)(a[0], a[1], a[2], a[3], a[4]);
  }
}

int WINAPI GATE(NoticeBox)(HWND owner, const char* text, const char* caption, UINT style) {
  return MessageBoxA(owner, text, caption, style);
}

int WINAPI GATE(CheckBox)(HWND owner, const char* text, const char* caption, UINT style) {
  return MessageBoxA(owner, text, caption, style);
}

void WINAPI GATE(EndProcess)() {
  ExitProcess(0);
}

void WINAPI GATE(Dialog)(HINSTANCE module, int templateId, DLGPROC procedure) {
  DialogBoxParamA(module, MAKEINTRESOURCEA(templateId), nullptr, procedure, 0);
}

HANDLE WINAPI GATE(OpenFile)(const char* path, DWORD access, DWORD share, DWORD flags) {
  return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr);
}

DWORD WINAPI GATE(FileAttributes)(const char* path) {
  return GetFileAttributesA(path);
}

HANDLE WINAPI GATE(FindFirstFile)(const char* pattern, WIN32_FIND_DATAA* entry) {
  return FindFirstFileA(pattern, entry);
}

BOOL WINAPI GATE(FindNextFile)(HANDLE search, WIN32_FIND_DATAA* entry) {
  return FindNextFileA(search, entry);
}

BOOL WINAPI GATE(FindClose)(HANDLE search) {
  return FindClose(search);
}

LONG WINAPI GATE(RegOpenKey)(HKEY root, const char* path, REGSAM access, HKEY* key) {
  return RegOpenKeyExA(root, path, 0, access, key);
}

LONG WINAPI GATE(RegOpenLink)(HKEY root, const char* path, REGSAM access, HKEY* key) {
  return RegOpenKeyExA(root, path, REG_OPTION_OPEN_LINK, access, key);
}

LONG WINAPI GATE(RegEnumKey)(HKEY key, DWORD index, char* name, DWORD* nameSize) {
  return RegEnumKeyExA(key, index, name, nameSize, nullptr, nullptr, nullptr, nullptr);
}

LONG WINAPI GATE(RegQueryValue)(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  return RegQueryValueExA(key, name, nullptr, type, data, size);
}

LONG WINAPI GATE(RegCloseKey)(HKEY key) {
  return RegCloseKey(key);
}

DWORD WINAPI GATE(GetProfileString)(const char* section, const char* key, const char* fallback,
                           char* out, DWORD outSize, const char* file) {
  return GetPrivateProfileStringA(section, key, fallback, out, outSize, file);
}

void WINAPI GATE(Refuse)(const char*, int) {}

void WINAPI GATE(Leftover)(const char*) {}
