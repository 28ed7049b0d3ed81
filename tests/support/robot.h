// The tests' one message-box robot: a thread that watches the prefix's
// top-level message boxes (dialog class #32770 with a text control, in any
// process), reads the ones it is given and presses a button in each.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// A box as the robot met it.
struct SeenBox {
  HWND window;
  HWND owner;
  std::string title;
  std::string text;
  unsigned buttons;  // bit n set when button id n (1..15) was present
  HICON icon;        // the box's icon (static control 1088), if any
};

struct BoxRobot {
  // Which boxes, and the answer. By default: boxes titled caption ("" for
  // untitled ones), or owned by owner when that is set; each gets button.
  std::string caption;
  HWND owner = nullptr;
  int button = IDOK;
  // When set, every box (of owner, when set) is offered to answer instead:
  // it returns the button to press, or 0 for a box that is not its own.
  // index counts the boxes answered before this one.
  std::function<int(const SeenBox& box, int index)> answer;
  int answers = 1;          // it stops after this many; FinishRobot waits for them
  DWORD timeoutMs = 15000;  // FinishRobot gives up after this long

  // Results.
  int found = 0;                // boxes answered
  std::vector<SeenBox> boxes;   // each box answered, in order
  char text[2048] = "";         // text of the last box answered
  unsigned buttons = 0;         // its buttons
  HICON icon = nullptr;         // its icon

  volatile LONG stop = 0;
  HANDLE thread = nullptr;
};

// Starts a robot that presses button in boxes titled caption.
void StartRobot(BoxRobot* robot, const char* caption, int button, int answers = 1,
                DWORD timeoutMs = 15000);
// Starts a robot whose fields are set (caption or owner, button or answer).
void StartRobot(BoxRobot* robot);
// Waits until the robot has answered its count of boxes, or its time-out;
// returns the number answered. For boxes that another process shows.
int FinishRobot(BoxRobot* robot);
// Stops the robot at once and returns the number of boxes it answered. For
// code that shows its boxes on the calling thread and has returned: every
// box it showed has been answered, so the count is complete and nothing
// has to be waited out.
int StopRobot(BoxRobot* robot);

// Finds a visible top-level window with this caption and the dialog class
// (#32770), waiting up to timeoutMs. Returns null when none appeared.
HWND WaitForDialog(const char* caption, DWORD timeoutMs);
// The same, for a dialog that holds the control id.
HWND WaitForDialog(const char* caption, int control, DWORD timeoutMs);
// Reads a message box's text (static control 0xFFFF) as ANSI.
void ReadBoxText(HWND box, char* out, int outSize);
// Presses a button of a dialog (BM_CLICK).
bool PressButton(HWND box, int id);
