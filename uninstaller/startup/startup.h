// Entry and the two-stage run.
#pragma once
#include <windows.h>

// Runs the whole program for a command line; never returns (ExitProcess 0).
void RunUninstaller(const char* commandLine);
constexpr int kTailWindow = 256;   // bytes read from the end of the executable
// The name of the copy's new folder under the temporary folder: stage one's
// process id (hexadecimal) and the try (from 0).
#define COPY_FOLDER_PREFIX "~Uninstall-"
inline constexpr char kCopyFolderPrefix[] = COPY_FOLDER_PREFIX;
inline constexpr char kCopyFolderFormat[] = COPY_FOLDER_PREFIX "%lX-%u";
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
// Takes the program's own folder and the current folder out of the library
// search before anything is loaded by name (planted libraries would run with
// the uninstaller's rights).
void LimitLibrarySearch();
// Loads the user-interface and graphics libraries from the system folder
// and fills the program's calls into them; ends the process without them.
void LoadSystemImports();
// Temporary, current (in the scratch buffer), Windows and system folders,
// without trailing backslashes.
void TakeFolders();
// Product name (message 10) and caption (message 48, a space, product name).
void BuildCaption();
// The copy's folder (the temporary folder and folderName) and the copy's
// path in it, into the scratch buffer; false (scratch empty) when there is
// none or it does not fit.
bool MakeCopyTarget(const char* folderName);
// The relaunch command line for a copy target; false when it does not fit
// (the field then holds it cut, only to be shown).
bool BuildRelaunchCommandLine(const char* copyTarget);
// Makes the temporary folder the current folder (a drive root as "X:\").
void EnterTemporaryFolder();
// The stages, after the log is loaded and the caption built. Stage one asks,
// copies the program, runs the early phase and the registration pass and
// starts the copy; stage two (gProgramPath is the copy) runs the late phase
// and schedules the copy's deletion. uninstlog's preview runs them too.
void RunStageOne();
void RunStageTwo();
// The restart deletion through wininit.ini, for systems without the
// delayed-delete service.
void ScheduleDeletionInWininit();
