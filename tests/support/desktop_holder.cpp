// Holds a test lane's Wine desktop until the lane's wineserver ends it.
// Wine closes its desktop a second after the last program on it ends; a
// program that then needs a window starts a new desktop process, which
// inherits that program's standard handles and so holds a test's output
// pipe open until CTest's time-out. This program is on the desktop from its
// start, makes sure the desktop window exists (the desktop process it may
// start gets this program's output, a file), then says so and waits.
#include <windows.h>
#include <cstdio>

int main() {
  if (!GetDesktopWindow()) {
    std::puts("no desktop window");
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}
