// Test robot for message boxes and dialogs: a thread that waits for a
// top-level window with a given caption (in any process of the prefix),
// reads its text and presses a button.
#pragma once
#include <windows.h>

struct BoxRobot {
  char caption[256];
  int button;          // id of the button to press (IDYES, IDNO, ...)
  DWORD timeoutMs;
  int answers;         // how many boxes to answer before stopping (default 1)
  // results
  int found;           // boxes answered
  char text[2048];     // text of the last box answered
  unsigned buttons;    // bit n set when button id n (1..15) was present
  HICON icon;          // the box's icon (static control 1088), if any
  HANDLE thread;
};

// Starts the robot; it answers `answers` boxes titled caption, then stops.
void StartRobot(BoxRobot* robot, const char* caption, int button,
                int answers = 1, DWORD timeoutMs = 15000);
// Waits for the robot thread; returns the number of boxes answered.
int FinishRobot(BoxRobot* robot);
// Finds a visible top-level window with this caption and the dialog class
// (#32770), waiting up to timeoutMs. Returns null when none appeared.
HWND WaitForDialog(const char* caption, DWORD timeoutMs);
// Reads a message box's text (static control 0xFFFF) as ANSI.
void ReadBoxText(HWND box, char* out, int outSize);
// Presses a button of a dialog (BM_CLICK).
bool PressButton(HWND box, int id);
