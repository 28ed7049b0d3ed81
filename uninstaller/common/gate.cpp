// The gate: the plain system call in a normal run, the preview's answer while
// one runs.
#include "common/gate.h"
#include "common/state.h"

namespace {

const GatePreview* gPreview;  // none: a normal run

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

void GateBeginPreview(const GatePreview* preview) { gPreview = preview; }
void GateEndPreview() { gPreview = nullptr; }
bool GatePreviewing() { return gPreview != nullptr; }

BOOL GateDeleteFile(const char* path) {
  if (gPreview) return gPreview->deleteFile(path);
  return DeleteFileA(path);
}

BOOL GateSetFileAttributes(const char* path, DWORD attributes) {
  if (gPreview) return gPreview->setFileAttributes(path, attributes);
  return SetFileAttributesA(path, attributes);
}

BOOL GateRemoveDirectory(const char* path) {
  if (gPreview) return gPreview->removeDirectory(path);
  return RemoveDirectoryA(path);
}

BOOL GateRemoveFontResource(const char* path) {
  if (gPreview) return gPreview->removeFontResource(path);
  return RemoveFontResourceA(path);
}

void GateBroadcastFontChange() {
  if (gPreview) {
    gPreview->broadcastFontChange();
    return;
  }
  SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
}

LONG GateRegDeleteKey(HKEY root, const char* path) {
  if (gPreview) return gPreview->regDeleteKey(root, path);
  return RegDeleteKeyA(root, path);
}

LONG GateDeleteLinkKey(NativeDeleteKey deleteKey, HKEY link, HKEY root, const char* path) {
  if (gPreview) return gPreview->deleteLinkKey(root, path);
  return deleteKey(link);
}

LONG GateRegDeleteValue(HKEY key, const char* name) {
  if (gPreview) return gPreview->regDeleteValue(key, name);
  return RegDeleteValueA(key, name);
}

LONG GateRegSetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  if (gPreview) return gPreview->regSetValue(key, name, type, data, size);
  return RegSetValueExA(key, name, 0, type, data, size);
}

BOOL GateWriteProfileString(const char* section, const char* key, const char* value,
                            const char* file) {
  if (gPreview) return gPreview->writeProfileString(section, key, value, file);
  return WritePrivateProfileStringA(section, key, value, file);
}

BOOL GateScheduleDeletion(const char* path) {
  if (gPreview) return gPreview->scheduleDeletion(path);
  return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

BOOL GateCopyFile(const char* from, const char* to) {
  if (gPreview) return gPreview->copyFile(from, to);
  return CopyFileA(from, to, FALSE);
}

BOOL GateCreateFolder(const char* path, SECURITY_ATTRIBUTES* security) {
  if (gPreview) return gPreview->createFolder(path);
  return CreateDirectoryA(path, security);
}

BOOL GateCreateProcess(char* commandLine, DWORD flags, STARTUPINFOA* startup,
                       PROCESS_INFORMATION* process) {
  if (gPreview) return gPreview->createProcess(commandLine, process);
  return CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                        startup, process);
}

HMODULE GateLoadLibrary(const char* path) {
  if (gPreview) return gPreview->loadLibrary(path);
  // A full path: its own folder first for the libraries it needs.
  return LoadLibraryExA(path, nullptr,
                        gLibrarySearchLimited
                            ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                            : LOAD_WITH_ALTERED_SEARCH_PATH);
}

int GateCallFunction(const char* library, const char* name, FARPROC function, int count,
                     const char* const* a) {
  if (gPreview) return gPreview->callFunction(library, name, count, a);
  switch (count) {
    case 0: return As<Call0>(function)();
    case 1: return As<Call1>(function)(a[0]);
    case 2: return As<Call2>(function)(a[0], a[1]);
    case 3: return As<Call3>(function)(a[0], a[1], a[2]);
    case 4: return As<Call4>(function)(a[0], a[1], a[2], a[3]);
    default: return As<Call5>(function)(a[0], a[1], a[2], a[3], a[4]);
  }
}

int GateNoticeBox(HWND owner, const char* text, const char* caption, UINT style) {
  if (gPreview) return gPreview->noticeBox(text, style);
  return MessageBoxA(owner, text, caption, style);
}

int GateCheckBox(HWND owner, const char* text, const char* caption, UINT style) {
  if (gPreview) return gPreview->checkBox(text, style);
  return MessageBoxA(owner, text, caption, style);
}

void GateEndProcess() {
  if (gPreview) gPreview->endProcess();
  ExitProcess(0);
}

DWORD GateFileAttributes(const char* path) {
  if (gPreview) return gPreview->fileAttributes(path);
  return GetFileAttributesA(path);
}

HANDLE GateFindFirstFile(const char* pattern, WIN32_FIND_DATAA* entry) {
  if (gPreview) return gPreview->findFirstFile(pattern, entry);
  return FindFirstFileA(pattern, entry);
}

BOOL GateFindNextFile(HANDLE search, WIN32_FIND_DATAA* entry) {
  if (gPreview) return gPreview->findNextFile(search, entry);
  return FindNextFileA(search, entry);
}

BOOL GateFindClose(HANDLE search) {
  if (gPreview) return gPreview->findClose(search);
  return FindClose(search);
}

LONG GateRegOpenKey(HKEY root, const char* path, REGSAM access, HKEY* key) {
  if (gPreview) return gPreview->regOpenKey(root, path, access, key);
  return RegOpenKeyExA(root, path, 0, access, key);
}

LONG GateRegEnumKey(HKEY key, DWORD index, char* name, DWORD* nameSize) {
  if (gPreview) return gPreview->regEnumKey(key, index, name, nameSize);
  return RegEnumKeyExA(key, index, name, nameSize, nullptr, nullptr, nullptr, nullptr);
}

LONG GateRegQueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  if (gPreview) return gPreview->regQueryValue(key, name, type, data, size);
  return RegQueryValueExA(key, name, nullptr, type, data, size);
}

LONG GateRegCloseKey(HKEY key) {
  if (gPreview) return gPreview->regCloseKey(key);
  return RegCloseKey(key);
}

DWORD GateGetProfileString(const char* section, const char* key, const char* fallback,
                           char* out, DWORD outSize, const char* file) {
  if (gPreview) return gPreview->getProfileString(section, key, fallback, out, outSize, file);
  return GetPrivateProfileStringA(section, key, fallback, out, outSize, file);
}

void GateRefuse(const char* object, int reason) {
  if (gPreview) gPreview->refuse(object, reason);
}

void GateLeftover(const char* path) {
  if (gPreview) gPreview->leftover(path);
}
