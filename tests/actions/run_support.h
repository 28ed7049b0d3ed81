// Shared by the action-run tests: the helper programs' paths, the call record
// of the test library, and a box answerer that can lift the condition a check
// finds before it answers again.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include "support/robot.h"
#include "support/test_util.h"

inline std::string HelperPath(const char* name) { return TestBinFolder() + "\\" + name; }
inline std::string LibraryPath() { return HelperPath("run_library.dll"); }

// Points the test library's record at a fresh file; Read gives its lines.
struct CallRecord {
  std::string path;
  explicit CallRecord(const std::string& folder) : path(folder + "\\calls.txt") {
    DeleteFileA(path.c_str());
    SetEnvironmentVariableA("RUN_TEST_RECORD", path.c_str());
  }
  ~CallRecord() {
    SetEnvironmentVariableA("RUN_TEST_RECORD", nullptr);
    SetEnvironmentVariableA("RUN_TEST_RESULT", nullptr);
  }
  std::string Read() const { return ReadTextFile(path); }
};

inline void SetLibraryResult(int result) {
  SetEnvironmentVariableA("RUN_TEST_RESULT", std::to_string(result).c_str());
}

// Answers every box titled caption: the first with `first`, each later one
// with `then`, after calling `lift` (which should end what the check finds,
// so that a "check again" answer lets the check return).
struct BoxAnswerer {
  std::string caption;
  int first = 0;
  int then = 0;
  std::function<void()> lift;
  volatile LONG stop = 0;
  int seen = 0;
  std::string text;       // text of the first box
  unsigned buttons = 0;   // bit n: button id n shown in the first box
  HWND owner = nullptr;   // owner of the first box
  HANDLE thread = nullptr;

  static DWORD WINAPI Run(LPVOID param) {
    BoxAnswerer* self = static_cast<BoxAnswerer*>(param);
    while (!self->stop) {
      HWND box = WaitForDialog(self->caption.c_str(), 50);
      if (!box) continue;
      if (self->seen == 0) {
        char text[2048] = "";
        ReadBoxText(box, text, sizeof text);
        self->text = text;
        for (int id = 1; id <= 15; ++id)
          if (GetDlgItem(box, id)) self->buttons |= 1u << id;
        self->owner = GetWindow(box, GW_OWNER);
      } else if (self->lift) {
        self->lift();
        self->lift = nullptr;
      }
      PressButton(box, self->seen == 0 ? self->first : self->then);
      ++self->seen;
      for (int i = 0; i < 500 && IsWindow(box); ++i) Sleep(10);
    }
    return 0;
  }
  void Start(const char* boxCaption, int firstButton, int thenButton,
             std::function<void()> lifter) {
    caption = boxCaption;
    first = firstButton;
    then = thenButton;
    lift = lifter;
    thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  void Finish() {
    stop = 1;
    if (thread) WaitForSingleObject(thread, INFINITE);
    if (thread) CloseHandle(thread);
    thread = nullptr;
  }
  ~BoxAnswerer() { Finish(); }
};

inline unsigned ButtonBits(std::initializer_list<int> ids) {
  unsigned bits = 0;
  for (int id : ids) bits |= 1u << id;
  return bits;
}
