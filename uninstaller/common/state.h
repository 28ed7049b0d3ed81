// Program-wide run state, one per process.
#pragma once
#include <windows.h>
#include "common/helpers.h"
#include "log/string_set.h"

struct ActionRecord {
  int orderNumber;
  char* text;   // kind letter at 0, field list from 1; points into the log text
};

extern HINSTANCE gModule;
extern bool gSilent;
extern char gProgramPath[kPathSize];
extern char gProgramFolder[kPathSize];
extern char gWindowsFolder[kPathSize];
extern char gSystemFolder[kPathSize];
extern char gTempFolder[kPathSize];
extern char gCommandLogPath[kPathSize];
extern char gLogPath[kPathSize];
extern char gScratch[kScratchSize];
extern char gRelaunch[kCommandLineSize];
extern char gProductName[kNameSize];
extern char gCaption[kNameSize];
// Whether start-up limited the library search to the system folder (a log's
// library then finds what it needs in its own folder and there).
extern bool gLibrarySearchLimited;
extern HWND gDialog;                 // none until the uninstall dialog opens
extern ActionRecord* gCurrent;       // record being run
extern ActionRecord* gLast;          // last record (gActions - 1 when empty)

// Working areas, reserved once and released at the end.
constexpr int kSetCapacity = 20000;
constexpr DWORD kHandledPoolSize = 200000;  // one block of the handled-file pool
constexpr int kHandledPoolBlocks = 320;      // at most 64 MB of recorded paths
extern StringSet gSeenLines;
extern StringSet gHandledFiles;   // grows by doubling when full
extern char* gHandledPool;        // newest block; each starts with the one before
extern char* gHandledPoolFill;
extern int gHandledPoolBlocks;

// Reserves the two string sets and the handled-file pool (empty).
void SetUpWorkingAreas();
// Releases every working area, the log's blocks included.
void ReleaseWorkingAreas();
