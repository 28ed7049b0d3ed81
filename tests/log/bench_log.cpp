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

// CPU time of this thread: other work on the machine does not inflate it.
static double Seconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto value = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(value(kernel) + value(user)) / 1e7;
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
  // The unavoidable work: n * ceil(log2 n) compares of the same texts. Any
  // compare-based test for repeated lines meets each text against the texts
  // that a binary search over the sorted set visits; those neighbours share
  // long prefixes, which makes each compare dearer than one between two random
  // texts, so both are timed and the binary-search walk is the reference.
  int n = kActions, steps = 0;
  while ((1 << steps) < n) ++steps;
  std::vector<const char*> ordered;
  for (const std::string& a : actionTexts) ordered.push_back(a.c_str());
  std::sort(ordered.begin(), ordered.end(), [](const char* a, const char* b) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_LESS_THAN;
  });
  std::vector<double> compares, randomCompares;
  volatile int sink = 0;
  for (int round = 0; round < kRounds; ++round) {
    double start = Seconds();
    for (int i = 0; i < n; ++i) {
      int low = 0, high = n;  // exactly `steps` compares per text
      for (int s = 0; s < steps; ++s) {
        int middle = low + (high - low) / 2;
        if (middle >= n) middle = n - 1;
        int order = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, ordered[middle], -1,
                                   actionTexts[i].c_str(), -1);
        sink += order;
        if (order == CSTR_LESS_THAN) low = middle + 1; else high = middle;
        if (high <= low) { low = 0; high = n; }
      }
    }
    compares.push_back(Seconds() - start);
    start = Seconds();
    for (int i = 0; i < n; ++i)
      for (int s = 0; s < steps; ++s)
        sink += CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, actionTexts[i].c_str(), -1,
                               actionTexts[(i * 7 + s * 131) % n].c_str(), -1);
    randomCompares.push_back(Seconds() - start);
  }
  std::sort(loads.begin(), loads.end());
  std::sort(compares.begin(), compares.end());
  std::sort(randomCompares.begin(), randomCompares.end());
  double load = loads[kRounds / 2], compare = compares[kRounds / 2];
  double randomCompare = randomCompares[kRounds / 2];
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  printf("log: %d actions, %d messages, %zu bytes\n", kActions, kMessages, text.size());
  printf("load+sort median of %d (thread CPU time): %.1f ms\n", kRounds, load * 1000);
  printf("%d x %d compares along binary searches, median of %d: %.1f ms\n", n, steps, kRounds,
         compare * 1000);
  printf("%d x %d compares of random pairs, median of %d: %.1f ms\n", n, steps, kRounds,
         randomCompare * 1000);
  printf("ratio load / binary-search compares: %.2f (goal <= 1.3)\n", load / compare);
  printf("ratio load / random-pair compares: %.2f\n", load / randomCompare);
  printf("peak working set: %.1f MB, peak private: %.1f MB\n",
         memory.PeakWorkingSetSize / 1048576.0, memory.PeakPagefileUsage / 1048576.0);
  RemoveTree(folder);
  return 0;
}
