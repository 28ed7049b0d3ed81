#include "common/state.h"
#include "log/log.h"

HINSTANCE gModule;
bool gSilent;
char gProgramPath[kPathSize];
char gProgramFolder[kPathSize];
char gWindowsFolder[kPathSize];
char gSystemFolder[kPathSize];
bool gLibrarySearchLimited;
char gTempFolder[kPathSize];
char gCommandLogPath[kPathSize];
char gLogPath[kPathSize];
char gScratch[kScratchSize];
char gRelaunch[kCommandLineSize];
char gProductName[kNameSize];
char gCaption[kNameSize];
HWND gDialog;
ActionRecord* gCurrent;
ActionRecord* gLast;

StringSet gSeenLines;
StringSet gHandledFiles;
char* gHandledPool;
char* gHandledPoolFill;
int gHandledPoolBlocks;

static void SetUpStringSet(StringSet* set) {
  set->entries = static_cast<char**>(ReserveBlock(kSetCapacity * sizeof(char*)));
  set->count = 0;
  set->capacity = set->entries ? kSetCapacity : 0;
  set->cursor = 0;
  set->span = 0;
}

void SetUpWorkingAreas() {
  SetUpStringSet(&gSeenLines);
  SetUpStringSet(&gHandledFiles);
  // The first pool block comes with the first path.
  gHandledPool = gHandledPoolFill = nullptr;
  gHandledPoolBlocks = 0;
}

void ReleaseWorkingAreas() {
  ReleaseBlock(gHandledFiles.entries);
  gHandledFiles.count = gHandledFiles.capacity = 0;
  while (gHandledPool) {
    char* before = *reinterpret_cast<char**>(gHandledPool);
    ReleaseBlock(gHandledPool);
    gHandledPool = before;
  }
  gHandledPoolFill = nullptr;
  ReleaseBlock(gSeenLines.entries);
  gSeenLines.count = gSeenLines.capacity = 0;
  ResetLogState();  // the log's own blocks and tables
}
