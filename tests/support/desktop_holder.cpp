// Holds a test lane's Wine desktop until the lane's wineserver ends it.
// Wine closes its desktop a second after the last program on it ends and
// starts it again for the next program that needs a window, from inside
// that program's test (under emulation a program starting while the old
// desktop closed got no window driver). This program is on the desktop from
// its start, makes sure the desktop window exists (a desktop process it
// starts gets this program's output, a file), then says so and waits.
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
