// Entry and the two-stage run.
#pragma once
#include <windows.h>

// Runs the whole program for a command line; never returns (ExitProcess 0).
void RunUninstaller(const char* commandLine);
constexpr int kTailWindow = 256;   // bytes read from the end of the executable
extern "C" volatile LONG gInstanceCounter;  // in the shared section .Shared

// The log name that the last kTailWindow bytes of the executable name
// ("uninstal.ini" when none is appended).
void LogNameFromTail(const char* window, char* name, int nameSize);
void ParseCommandLine(const char* commandLine);
void ReadLogNameTail();
void RunStageOne();
void RunStageTwo();
void ScheduleOwnDeletion();
void Finish();
