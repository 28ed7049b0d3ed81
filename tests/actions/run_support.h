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

// The robot for boxes that a check shows on the test thread: the first box
// gets `first`, each later one `then`, after `lift` has run once (it should
// end what the check finds, so that a "check again" answer lets the check
// return). Stopped once the check has returned.
struct BoxAnswerer {
  BoxRobot robot;
  int seen = 0;           // boxes answered
  std::string text;       // text of the first box
  unsigned buttons = 0;   // bit n: button id n shown in the first box
  HWND owner = nullptr;   // owner of the first box

  void Start(const char* boxCaption, int first, int then, std::function<void()> lift) {
    robot.caption = boxCaption;
    robot.answers = 1 << 30;
    robot.answer = [boxCaption = std::string(boxCaption), first, then, lift](
                       const SeenBox& box, int index) mutable {
      if (box.title != boxCaption) return 0;
      if (index == 0) return first;
      if (lift) {
        lift();
        lift = nullptr;
      }
      return then;
    };
    StartRobot(&robot);
  }
  void Finish() {
    seen = StopRobot(&robot);
    if (robot.boxes.empty()) return;
    text = robot.boxes[0].text;
    buttons = robot.boxes[0].buttons;
    owner = robot.boxes[0].owner;
  }
  ~BoxAnswerer() { StopRobot(&robot); }
};

inline unsigned ButtonBits(std::initializer_list<int> ids) {
  unsigned bits = 0;
  for (int id : ids) bits |= 1u << id;
  return bits;
}
