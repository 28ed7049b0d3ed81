// The gate: every call by which the uninstaller changes the machine goes
// through one of these functions, and so do the queries whose answers such a
// change would alter. Two implementations, chosen when a program is linked:
// common/gate.cpp, the plain system calls, for the uninstaller and the tests
// that run its actions; uninstlog's preview, which changes nothing, keeps
// what would have happened and answers later queries as if it had.
#pragma once
#include <windows.h>

// Changes to the machine.
BOOL WINAPI GateDeleteFile(const char* path);
BOOL WINAPI GateSetFileAttributes(const char* path, DWORD attributes);
BOOL WINAPI GateRemoveDirectory(const char* path);
BOOL WINAPI GateRemoveFontResource(const char* path);
void WINAPI GateBroadcastFontChange();                       // WM_FONTCHANGE to every top window
LONG WINAPI GateRegDeleteKey(HKEY root, const char* path);
// A registry link (opened as itself through GateRegOpenLink) deleted by the
// native call.
typedef LONG(WINAPI* NativeDeleteKey)(HANDLE key);
LONG WINAPI GateDeleteLinkKey(NativeDeleteKey deleteKey, HKEY link);
LONG WINAPI GateRegDeleteValue(HKEY key, const char* name);
LONG WINAPI GateRegSetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);
BOOL WINAPI GateWriteProfileString(const char* section, const char* key, const char* value,
                            const char* file);
BOOL WINAPI GateScheduleDeletion(const char* path);          // deleted at the next restart
BOOL WINAPI GateCopyFile(const char* from, const char* to);  // replaces an existing file
// A new folder; fails (ERROR_ALREADY_EXISTS) where one exists.
BOOL WINAPI GateCreateFolder(const char* path, SECURITY_ATTRIBUTES* security);
BOOL WINAPI GateCreateProcess(char* commandLine, DWORD flags, STARTUPINFOA* startup,
                       PROCESS_INFORMATION* process);
HMODULE WINAPI GateLoadLibrary(const char* path);
// Calls a library function (WINAPI) with count text arguments (0 to 5).
int WINAPI GateCallFunction(const char* library, const char* name, FARPROC function, int count,
                     const char* const* arguments);
// A box of the notice service (questions among them) and of the
// running-program check. Both return the button pressed.
int WINAPI GateNoticeBox(HWND owner, const char* text, const char* caption, UINT style);
int WINAPI GateCheckBox(HWND owner, const char* text, const char* caption, UINT style);
// Ends the uninstaller (a stop answer, a checked call that returned 0, a
// fatal notice). Never returns.
[[noreturn]] void WINAPI GateEndProcess();
// Stage two's dialog, which runs the late phase; returns when it closes.
void WINAPI GateDialog(HINSTANCE module, int templateId, DLGPROC procedure);

// Queries that must see the changes made before them.
DWORD WINAPI GateFileAttributes(const char* path);
// An existing file or folder opened (never made or cut short).
HANDLE WINAPI GateOpenFile(const char* path, DWORD access, DWORD share, DWORD flags);
HANDLE WINAPI GateFindFirstFile(const char* pattern, WIN32_FIND_DATAA* entry);
BOOL WINAPI GateFindNextFile(HANDLE search, WIN32_FIND_DATAA* entry);
BOOL WINAPI GateFindClose(HANDLE search);
LONG WINAPI GateRegOpenKey(HKEY root, const char* path, REGSAM access, HKEY* key);
// A key opened as itself when it is a link, not as the key it points to.
LONG WINAPI GateRegOpenLink(HKEY root, const char* path, REGSAM access, HKEY* key);
LONG WINAPI GateRegEnumKey(HKEY key, DWORD index, char* name, DWORD* nameSize);
LONG WINAPI GateRegQueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);
LONG WINAPI GateRegCloseKey(HKEY key);
DWORD WINAPI GateGetProfileString(const char* section, const char* key, const char* fallback,
                           char* out, DWORD outSize, const char* file);

// What the run decides without touching anything: a thing it refuses to
// touch and why, and a file handed to the user (the leftover list). Nothing
// in a normal run; a preview reports them.
void WINAPI GateRefuse(const char* object, int reason);  // a kRefuse... code (actions.h)
void WINAPI GateLeftover(const char* path);
