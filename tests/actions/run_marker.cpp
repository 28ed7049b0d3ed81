// Marker program for E lines: writes its own command line into a marker file
// and exits.
//   run_marker [marker file [delay ms [thread]]]
// Without a file it writes marker.txt beside itself. With a delay it sleeps
// first; with "thread" the primary thread ends at once and a second thread
// writes the marker once the event run_marker_release is set (or the delay
// has passed).
#include <windows.h>
#include <stdlib.h>
#include <string.h>

static char gMarker[MAX_PATH];
static DWORD gDelay;

static void WriteMarker() {
  HANDLE file = CreateFileA(gMarker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const char* line = GetCommandLineA();
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
  CloseHandle(file);
}

static DWORD WINAPI LateWriter(LPVOID) {
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "run_marker_release");
  WaitForSingleObject(release, gDelay);
  WriteMarker();
  ExitProcess(0);
}

int main(int argc, char** argv) {
  if (argc > 1) {
    strncpy(gMarker, argv[1], MAX_PATH - 1);
  } else {
    GetModuleFileNameA(nullptr, gMarker, MAX_PATH);
    char* slash = strrchr(gMarker, '\\');
    if (slash) strcpy(slash + 1, "marker.txt");
  }
  if (argc > 2) gDelay = static_cast<DWORD>(atoi(argv[2]));
  if (argc > 3 && strcmp(argv[3], "thread") == 0) {
    CreateThread(nullptr, 0, LateWriter, nullptr, 0, nullptr);
    ExitThread(0);
  }
  Sleep(gDelay);
  WriteMarker();
  return 0;
}
