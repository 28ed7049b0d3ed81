// Process entry of the uninstaller: no C runtime start-up runs before this.
#include <windows.h>
#include "startup/startup.h"

extern "C" void UninstallerEntry() {
  LimitLibrarySearch();
  LoadSystemImports();
  RunUninstaller(GetCommandLineA());
}
