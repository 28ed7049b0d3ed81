// Child program for the cases that end the process: loads a log and runs its
// early phase with the uninstaller's own code, boxes titled "Run child".
//   run_child <log path> [mutex name]
// Exit code 7 means the run came back; the uninstaller's stops end with 0.
#include <windows.h>
#include "actions/actions.h"
#include "common/state.h"
#include "log/log.h"

constexpr int kReturnedCode = 7;

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (argc > 2) CreateMutexA(nullptr, FALSE, argv[2]);  // held until the process ends
  SetUpWorkingAreas();
  CopyText(gLogPath, kPathSize, argv[1]);
  LoadLog();
  ResetActionCursor();
  CopyText(gCaption, kNameSize, "Run child");
  RunActions(kEarlyPhase);
  return kReturnedCode;
}
