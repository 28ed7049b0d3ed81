// Benchmark: uninstlog check and plan over logs of random lines (random
// letters, signed order numbers, quotes, commas and backslashes), 20,000 and
// 200,000 lines; the time per line must not grow with the log. Prints
// figures; never fails on speed.
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "support/test_util.h"
#include "uninstlog/uninstlog.h"

namespace {

double Now() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string RandomLog(int lines, unsigned seed) {
  const char kLetters[] = "ABCDEJKMPUabcdepuQXZ";
  const char kCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789\\,\" .*:_-";
  auto next = [&seed](unsigned range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % range;
  };
  std::string log;
  for (int i = 0; i < lines; ++i) {
    log += kLetters[next(sizeof kLetters - 1)];
    log += std::to_string(next(2) ? 0 : static_cast<int>(next(199999)) - 99999) + ",";
    for (unsigned n = next(160); n > 0; --n) log += kCharacters[next(sizeof kCharacters - 1)];
    log += "\r\n";
  }
  return log;
}

}  // namespace

int main() {
  std::string folder = MakeScratchFolder("bench-check");
  for (int lines : {20000, 200000}) {
    std::string path = folder + "\\random.ini";
    std::string log = RandomLog(lines, 7);
    WriteTextFile(path, log);
    for (const char* verb : {"check", "plan"}) {
      std::string out, err;
      double start = Now();
      int code = RunTool({verb, path}, &out, &err);
      double seconds = Now() - start;
      printf("%-5s %6d random lines (%zu bytes): %7.2f s, %5.1f us a line, exit code %d, %zu bytes "
             "of report\n",
             verb, lines, log.size(), seconds, seconds * 1e6 / lines, code, out.size());
      fflush(stdout);
    }
  }
  RemoveTree(folder);
  return 0;
}
