// Entry and the two-stage run.
#pragma once
#include <windows.h>

// Runs the whole program for a command line; never returns (ExitProcess 0).
void RunUninstaller(const char* commandLine);
constexpr int kTailWindow = 256;   // bytes read from the end of the executable
extern "C" volatile LONG gInstanceCounter;  // in the shared section .Shared

// The log name that the last kTailWindow bytes of the executable name
// ("uninstal.ini" when none is appended; empty when it does not fit name).
void LogNameFromTail(const char* window, char* name, int nameSize);
// Silent mode and the command-line log path. False when the log path is too
// long for its field: it is then refused (left empty) and the scratch buffer
// holds it cut, for the notice.
bool ParseCommandLine(const char* commandLine);
// The program's own path, as the system reports it (kept only when it fits).
void TakeProgramPath();
// Temporary, current (in the scratch buffer) and Windows folders, without
// trailing backslashes, and the "c:\" rule for the temporary folder.
void TakeFolders();
// Product name (message 10) and caption (message 48, a space, product name).
void BuildCaption();
// The copy's path in the temporary folder, into the scratch buffer; false
// (scratch empty) when there is none or it does not fit.
bool MakeCopyTarget();
// The relaunch command line for a copy target; false when it does not fit
// (the field then holds it cut, only to be shown).
bool BuildRelaunchCommandLine(const char* copyTarget);
// Makes the temporary folder the current folder (a drive root as "X:\").
void EnterTemporaryFolder();
// The restart deletion through wininit.ini, for systems without the
// delayed-delete service.
void ScheduleDeletionInWininit();
