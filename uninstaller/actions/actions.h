// The action run and the handlers of every action kind. Each handler takes
// an action text: kind letter at position 0, field list from position 1.
#pragma once
#include <windows.h>
#include "log/format.h"
#include "log/string_set.h"

constexpr int kEarlyPhase = 0;
constexpr int kLatePhase = 1;

void RunActions(int phase);
void AddProgressNote(int messageId);
// Adds a path to the dialog's leftover list when a dialog is open.
void AddLeftover(const char* path);

// The machine's shared-library use counts (K), under HKEY_LOCAL_MACHINE.
inline constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Files and folders (P, U).
void RemoveFiles(const char* actionText);
void RemoveFolders(const char* actionText);
// mode: a P line's (kFileMode...) when not recursive, a U line's
// (kFolderMode...) when recursive.
void RemoveMatching(const char* path, bool recursive, int mode);
constexpr int kNamePartSize = 256;  // a name's base or extension; longer names are no entry
int SplitExtension(const char* name, char* base, int baseSize, char* extension,
                   int extensionSize);
void TreatFile(const char* path, int mode);
// Whether the walk takes an entry of this name for a name part (its own
// star rules; a name part left to the platform's wildcards is not judged
// here and matches nothing).
bool NamePartMatches(const char* namePart, const char* entryName);
// Whether the walk matches entry names itself for a name part (a star
// first, or an extension that begins with one); otherwise the platform's
// search for the path picks them.
bool IsOwnPattern(const char* namePart);
// Why RemoveMatching refuses a path outright, or kRefuseNone.
constexpr int kRefuseNone = 0;
constexpr int kRefuseShortFolder = 1;  // own matching on a folder part under 4 characters
constexpr int kRefuseRoot = 2;         // a wildcard on a drive or share root
constexpr int kRefuseDevice = 3;       // a wildcard or a tree in the NT or device namespace
constexpr int kRefuseProtected = 4;    // a sweep of a protected folder
// Refusals of the other handlers (GateRefuse's codes go on from the above).
constexpr int kRefuseRootKeyItself = 5;   // a key path that names the root key
constexpr int kRefuseNoRootKey = 6;       // a root number that names no root key
constexpr int kRefuseCharacter = 7;       // a P or U path with a character no file name holds
constexpr int kRefuseUninstallKey = 8;    // stage one: not one product's key below the prefix
constexpr int kRefuseRelativeLibrary = 9; // a library path neither full nor a bare name
constexpr int kRefuseNoProgram = 10;      // no program an unquoted line can name exists
constexpr int kRefusalCount = 11;
int RefusalOf(const char* path, bool recursive);
// Whether a folder is a drive or share root, or a well-known folder of the
// system or the user (or a folder above one), found at run time.
int ProtectionOf(const char* folder);  // kRefuseNone, kRefuseRoot or kRefuseProtected
// Stage one keeps the log it runs from and its own program file: both go
// into the handled-file set before the early phase, so that no early line
// (a slip such as U6499 on the install folder) deletes, asks about or lists
// them and leaves stage two without its log. Stage two is a new process
// with a new set, and removes them as the log says.
inline void KeepOwnFiles(const char* logPath, const char* programPath) {
  RememberHandledFile(logPath);
  RememberHandledFile(programPath);
}
// A function of a system library, loaded if need be; null when missing (the
// calls that only some systems have are looked up, never imported).
void* FindFunction(const char* library, const char* name);
// True when the removal finds no name of its own at the end of a path (as it
// splits it: slashes read as backslashes, "D:name" drive-relative) and
// gives up: an empty name, "." or "..", or one longer than any entry name.
bool NamesNoEntry(const char* path);
// Unloads a .ttf font before its file goes: RemoveFontResourceA and a
// broadcast WM_FONTCHANGE. Nothing for other files.
void UnloadFontFile(const char* path);

// Registry, shared libraries, profiles (J, K, M) and the stage-one pass.
void RemoveRegistryEntry(const char* actionText);
// The root key of a J line's root number (its low 8 bits), or null.
HKEY RootKeyOf(int rootNumber);
LONG DeleteKeyTree(HKEY root, const char* path);
// True when root\path is a registry link (opened as itself, it holds a link
// value): DeleteKeyTree deletes the link, never its target.
bool IsRegistryLink(HKEY root, const char* path);
void ReleaseSharedLibrary(const char* actionText);
void RemoveProfileEntry(const char* actionText);
void RemoveUninstallKeys();
// The key the stage-one pass deletes for an action text (under
// HKEY_LOCAL_MACHINE), or false when the line deletes nothing there.
bool UninstallKeyOfLine(const char* actionText, char* key, int keySize);

// Running programs, library calls, program runs (B, C, D, E).
void CheckRunningProgram(const char* actionText);
BOOL CALLBACK WindowTitleContains(HWND window, LPARAM text);
void StripQuotes(char* text);
void ExpandLineBreaks(char* text);
void CallLibraryFunction(const char* actionText, bool stopOnZero);
// The file a C or D line's library field loads: a full path as written (its
// own folder first for the libraries it needs); a bare file name the file of
// that name in the system folder, never one beside the program or in the
// current folder. False (out empty) for any other path: relative to a folder
// that changes from stage to stage, it loads nothing.
bool LibraryFile(const char* field, char* out, int outSize);
void RunProgram(const char* actionText);
// The line an E command starts: an unquoted line with a blank gets the
// longest candidate program that exists, quoted with its full path; a quoted
// path its short form; anything else as it stands. False: nothing starts.
bool ProgramCommandLine(const char* command, char* out, int outSize);
