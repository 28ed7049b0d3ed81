// Small helpers for tests: scratch folders, files, child processes, and
// resetting the uninstaller's program-wide state between tests.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// A fresh, empty folder under the prefix's temporary folder, unique per call.
std::string MakeScratchFolder(const char* tag);
// Removes a folder tree (test clean-up only).
void RemoveTree(const std::string& path);
// Calls visit with the full path and the search entry of everything below
// folder, each folder before its contents; links to folders are listed but
// not entered.
using TreeVisit = std::function<void(const std::string& path, const WIN32_FIND_DATAA& entry)>;
void WalkTree(const std::string& folder, const TreeVisit& visit);
void WriteTextFile(const std::string& path, const std::string& text);
std::string ReadTextFile(const std::string& path);
bool PathExists(const std::string& path);
// Folder of the running test program (where helper programs are built).
std::string TestBinFolder();
// Runs a command line, waits up to timeoutMs; returns the exit code, or -1
// when it could not start, -2 on time-out (the process is then killed).
int RunChild(const std::string& commandLine, DWORD timeoutMs = 60000);
// Every line of a list box, in list order. Read in the wide form, which
// also comes back whole from another process's list.
std::vector<std::string> ListBoxLines(HWND list);
// The fuzzers' seed and round count: FUZZ_SEED and FUZZ_COUNT from the
// environment when set (the long run, `make fuzz`), else the given defaults
// (the modest fixed run of `make check`).
unsigned FuzzSeed(unsigned fallback);
int FuzzCount(int fallback);
// Clears the uninstaller's program-wide state and reserves fresh working
// areas, as start-up does before loading.
void ResetProgramState();
// Writes text to a log file in folder and loads it as the uninstaller does.
std::string LoadLogText(const std::string& folder, const std::string& text);
