// Start-up (interim): loads the log beside the program and ends. The two
// stages are not built yet.
#include <windows.h>
#include "startup/startup.h"
#include "common/state.h"
#include "log/log.h"

// One counter per executable file, shared by every process that runs it.
__attribute__((section(".Shared"), shared)) volatile LONG gInstanceCounter = -1;

void RunUninstaller(const char* commandLine) {
  (void)commandLine;
  gModule = GetModuleHandleA(nullptr);
  InterlockedIncrement(&gInstanceCounter);
  GetModuleFileNameA(nullptr, gProgramPath, 256);
  CopyText(gProgramFolder, kPathSize, gProgramPath);
  StripLastComponent(gProgramFolder);
  PathJoin(gLogPath, kPathSize, gProgramFolder, "uninstal.ini");
  SetUpWorkingAreas();
  LoadLog();
  ReleaseWorkingAreas();
  ExitProcess(0);
}
