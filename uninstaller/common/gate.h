// The gate: every call by which the uninstaller changes the machine goes
// through one of these functions, and so do the queries whose answers such a
// change would alter. In a normal run each is the plain system call. While a
// preview runs (only uninstlog starts one, through GateBeginPreview) they
// change nothing: the preview's functions answer instead, keep what would
// have happened, and answer later queries as if it had.
#pragma once
#include <windows.h>

// Changes to the machine.
BOOL GateDeleteFile(const char* path);
BOOL GateSetFileAttributes(const char* path, DWORD attributes);
BOOL GateRemoveDirectory(const char* path);
BOOL GateRemoveFontResource(const char* path);
void GateBroadcastFontChange();                       // WM_FONTCHANGE to every top window
LONG GateRegDeleteKey(HKEY root, const char* path);
// A registry link (opened without following it, as link) deleted by the
// native call; root and path name it for a preview.
typedef LONG(WINAPI* NativeDeleteKey)(HANDLE key);
LONG GateDeleteLinkKey(NativeDeleteKey deleteKey, HKEY link, HKEY root, const char* path);
LONG GateRegDeleteValue(HKEY key, const char* name);
LONG GateRegSetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);
BOOL GateWriteProfileString(const char* section, const char* key, const char* value,
                            const char* file);
BOOL GateScheduleDeletion(const char* path);          // deleted at the next restart
BOOL GateCopyFile(const char* from, const char* to);  // replaces an existing file
// A new folder; fails (ERROR_ALREADY_EXISTS) where one exists.
BOOL GateCreateFolder(const char* path, SECURITY_ATTRIBUTES* security);
BOOL GateCreateProcess(char* commandLine, DWORD flags, STARTUPINFOA* startup,
                       PROCESS_INFORMATION* process);
HMODULE GateLoadLibrary(const char* path);
// Calls a library function (WINAPI) with count text arguments (0 to 5).
int GateCallFunction(const char* library, const char* name, FARPROC function, int count,
                     const char* const* arguments);
// A box of the notice service (questions among them) and of the
// running-program check. Both return the button pressed.
int GateNoticeBox(HWND owner, const char* text, const char* caption, UINT style);
int GateCheckBox(HWND owner, const char* text, const char* caption, UINT style);
// Ends the uninstaller (a stop answer, a checked call that returned 0, a
// fatal notice). Never returns.
[[noreturn]] void GateEndProcess();

// Queries that must see the changes made before them.
DWORD GateFileAttributes(const char* path);
HANDLE GateFindFirstFile(const char* pattern, WIN32_FIND_DATAA* entry);
BOOL GateFindNextFile(HANDLE search, WIN32_FIND_DATAA* entry);
BOOL GateFindClose(HANDLE search);
LONG GateRegOpenKey(HKEY root, const char* path, REGSAM access, HKEY* key);
LONG GateRegEnumKey(HKEY key, DWORD index, char* name, DWORD* nameSize);
LONG GateRegQueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);
LONG GateRegCloseKey(HKEY key);
DWORD GateGetProfileString(const char* section, const char* key, const char* fallback,
                           char* out, DWORD outSize, const char* file);

// What the run decides without touching anything: a thing it refuses to
// touch and why, and a file handed to the user (the leftover list). Nothing
// in a normal run; a preview reports them.
void GateRefuse(const char* object, int reason);  // a kRefuse... code (actions.h)
void GateLeftover(const char* path);

// A preview's answers, one per gate function above.
struct GatePreview {
  BOOL (*deleteFile)(const char* path);
  BOOL (*setFileAttributes)(const char* path, DWORD attributes);
  BOOL (*removeDirectory)(const char* path);
  BOOL (*removeFontResource)(const char* path);
  void (*broadcastFontChange)();
  LONG (*regDeleteKey)(HKEY root, const char* path);
  LONG (*deleteLinkKey)(HKEY root, const char* path);
  LONG (*regDeleteValue)(HKEY key, const char* name);
  LONG (*regSetValue)(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);
  BOOL (*writeProfileString)(const char* section, const char* key, const char* value,
                             const char* file);
  BOOL (*scheduleDeletion)(const char* path);
  BOOL (*copyFile)(const char* from, const char* to);
  BOOL (*createFolder)(const char* path);
  BOOL (*createProcess)(char* commandLine, PROCESS_INFORMATION* process);
  HMODULE (*loadLibrary)(const char* path);
  int (*callFunction)(const char* library, const char* name, int count,
                      const char* const* arguments);
  int (*noticeBox)(const char* text, UINT style);
  int (*checkBox)(const char* text, UINT style);
  void (*endProcess)();  // must not return
  DWORD (*fileAttributes)(const char* path);
  HANDLE (*findFirstFile)(const char* pattern, WIN32_FIND_DATAA* entry);
  BOOL (*findNextFile)(HANDLE search, WIN32_FIND_DATAA* entry);
  BOOL (*findClose)(HANDLE search);
  LONG (*regOpenKey)(HKEY root, const char* path, REGSAM access, HKEY* key);
  LONG (*regEnumKey)(HKEY key, DWORD index, char* name, DWORD* nameSize);
  LONG (*regQueryValue)(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);
  LONG (*regCloseKey)(HKEY key);
  DWORD (*getProfileString)(const char* section, const char* key, const char* fallback,
                            char* out, DWORD outSize, const char* file);
  void (*refuse)(const char* object, int reason);
  void (*leftover)(const char* path);
};

// Only uninstlog calls these; the uninstaller program never does, so no
// command line or log line of it can start a preview. Every slot of the
// preview must be filled.
void GateBeginPreview(const GatePreview* preview);
void GateEndPreview();
bool GatePreviewing();
