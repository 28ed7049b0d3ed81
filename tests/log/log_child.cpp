// Child program for tests whose outcome ends the process: loads the log named
// by its argument with the uninstaller's own code, then exits with 100 + the
// number of actions loaded.
#include <windows.h>
#include "common/state.h"
#include "log/log.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  CopyText(gLogPath, kPathSize, argv[1]);
  SetUpWorkingAreas();
  LoadLog();
  return 100 + gActionCount;
}
