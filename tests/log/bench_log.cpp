// Benchmark: loads and sorts a worst-case log (19999 distinct action lines of
// mixed letters with automatic numbers, 1000 message lines) and, in the same
// run, times the unavoidable work: n * ceil(log2 n) case-insensitive compares
// of the same texts. Prints figures; never fails on speed.
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>
#include "common/state.h"
#include "log/log.h"
#include "support/test_util.h"

static double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int main() {
  const int kActions = 19999;
  const int kMessages = 1000;
  const char kLetters[] = "BCDEJKMPU";
  std::string text;
  std::vector<std::string> actionTexts;
  for (int i = 0; i < kMessages; ++i)
    text += "A" + std::to_string(i + 1) + ",Message text number " + std::to_string(i) + "\r\n";
  unsigned seed = 99;
  for (int i = 0; i < kActions; ++i) {
    seed = seed * 1103515245u + 12345u;
    char letter = kLetters[i % 9];
    std::string fields = "C:\\Program Files\\Sample\\folder" + std::to_string(seed % 1000) +
                         "\\file" + std::to_string(i) + ".dat,0";
    text += std::string(1, letter) + "0," + fields + "\r\n";
    actionTexts.push_back(std::string(1, letter) + fields);
  }
  std::string folder = MakeScratchFolder("bench");
  const int kRounds = 7;
  std::vector<double> loads;
  for (int round = 0; round < kRounds; ++round) {
    std::string path = folder + "\\uninstal.ini";
    WriteTextFile(path, text);
    ResetProgramState();
    CopyText(gLogPath, kPathSize, path.c_str());
    double start = Seconds();
    LoadLog();
    loads.push_back(Seconds() - start);
    if (gActionCount != kActions || gMessageCount != kMessages) {
      printf("unexpected load: %d actions, %d messages\n", gActionCount, gMessageCount);
      return 1;
    }
  }
  // The unavoidable work: n * ceil(log2 n) compares of the same texts.
  int n = kActions, steps = 0;
  while ((1 << steps) < n) ++steps;
  std::vector<double> compares;
  volatile int sink = 0;
  for (int round = 0; round < kRounds; ++round) {
    double start = Seconds();
    for (int i = 0; i < n; ++i)
      for (int s = 0; s < steps; ++s)
        sink += CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, actionTexts[i].c_str(), -1,
                               actionTexts[(i * 7 + s * 131) % n].c_str(), -1);
    compares.push_back(Seconds() - start);
  }
  std::sort(loads.begin(), loads.end());
  std::sort(compares.begin(), compares.end());
  double load = loads[kRounds / 2], compare = compares[kRounds / 2];
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  printf("log: %d actions, %d messages, %zu bytes\n", kActions, kMessages, text.size());
  printf("load+sort median of %d: %.1f ms\n", kRounds, load * 1000);
  printf("%d x %d compares median of %d: %.1f ms\n", n, steps, kRounds, compare * 1000);
  printf("ratio load / compares: %.2f (goal <= 1.3)\n", load / compare);
  printf("peak working set: %.1f MB, peak private: %.1f MB\n",
         memory.PeakWorkingSetSize / 1048576.0, memory.PeakPagefileUsage / 1048576.0);
  RemoveTree(folder);
  return 0;
}
