#include "support/robot.h"
#include <stdio.h>
#include <string.h>
#include "support/test_util.h"

namespace {

constexpr int kBoxIconId = 1088;   // the icon control of a message box
constexpr int kBoxTextId = 0xFFFF; // the text control of a message box
constexpr DWORD kScanPauseMs = 10;
constexpr DWORD kClickWaitMs = 10000;

bool IsDialogClass(HWND window) {
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  return strcmp(className, "#32770") == 0 && IsWindowVisible(window);
}

struct FindData {
  const char* caption;
  int control;  // a control the dialog must hold, or 0
  HWND found;
};

BOOL CALLBACK FindByCaption(HWND window, LPARAM param) {
  FindData* data = reinterpret_cast<FindData*>(param);
  if (!IsDialogClass(window) || WindowText(window) != data->caption ||
      (data->control && !GetDlgItem(window, data->control)))
    return TRUE;
  data->found = window;
  return FALSE;
}

BOOL CALLBACK CollectBoxes(HWND window, LPARAM param) {
  if (IsDialogClass(window) && GetDlgItem(window, kBoxTextId))
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

SeenBox Read(HWND box) {
  SeenBox seen = {box, GetWindow(box, GW_OWNER), WindowText(box), "", 0, nullptr};
  char text[2048] = "";
  ReadBoxText(box, text, sizeof text);
  seen.text = text;
  for (int id = 1; id <= 15; ++id)
    if (GetDlgItem(box, id)) seen.buttons |= 1u << id;
  HWND iconControl = GetDlgItem(box, kBoxIconId);
  seen.icon = iconControl
                  ? reinterpret_cast<HICON>(SendMessageW(iconControl, STM_GETICON, 0, 0))
                  : nullptr;
  return seen;
}

// The button the robot presses in a box, or 0 when the box is not its own.
int Choose(BoxRobot* robot, HWND box) {
  if (robot->owner && GetWindow(box, GW_OWNER) != robot->owner) return 0;
  if (robot->answer) return robot->answer(Read(box), robot->found);
  if (!robot->owner && WindowText(box) != robot->caption) return 0;
  return robot->button;
}

DWORD WINAPI RobotThread(LPVOID param) {
  BoxRobot* robot = static_cast<BoxRobot*>(param);
  while (!robot->stop && robot->found < robot->answers) {
    std::vector<HWND> candidates;
    EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&candidates));
    HWND box = nullptr;
    int button = 0;
    for (HWND candidate : candidates) {
      if ((button = Choose(robot, candidate)) != 0) {
        box = candidate;
        break;
      }
    }
    if (!box) {
      Sleep(kScanPauseMs);
      continue;
    }
    SeenBox seen = Read(box);
    snprintf(robot->text, sizeof robot->text, "%s", seen.text.c_str());
    robot->buttons = seen.buttons;
    robot->icon = seen.icon;
    robot->boxes.push_back(seen);
    HWND target = GetDlgItem(box, button);
    if (target) SendMessageTimeoutW(target, BM_CLICK, 0, 0, SMTO_NORMAL, kClickWaitMs, nullptr);
    // Counted once pressed: whoever waits for the count finds the box gone.
    for (int i = 0; i < 500 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(kScanPauseMs);
    ++robot->found;
  }
  return 0;
}

int JoinRobot(BoxRobot* robot) {
  if (robot->thread) {
    WaitForSingleObject(robot->thread, INFINITE);
    CloseHandle(robot->thread);
    robot->thread = nullptr;
  }
  return robot->found;
}

}  // namespace

void StartRobot(BoxRobot* robot) {
  robot->found = 0;
  robot->boxes.clear();
  robot->text[0] = 0;
  robot->buttons = 0;
  robot->icon = nullptr;
  robot->stop = 0;
  robot->thread = CreateThread(nullptr, 0, RobotThread, robot, 0, nullptr);
}

void StartRobot(BoxRobot* robot, const char* caption, int button, int answers,
                DWORD timeoutMs) {
  robot->caption = caption;
  robot->owner = nullptr;
  robot->answer = nullptr;
  robot->button = button;
  robot->answers = answers;
  robot->timeoutMs = timeoutMs;
  StartRobot(robot);
}

int FinishRobot(BoxRobot* robot) {
  DWORD start = GetTickCount();
  while (robot->thread && robot->found < robot->answers && GetTickCount() - start < robot->timeoutMs)
    Sleep(kScanPauseMs);
  return StopRobot(robot);
}

int StopRobot(BoxRobot* robot) {
  robot->stop = 1;
  return JoinRobot(robot);
}

HWND WaitForDialog(const char* caption, DWORD timeoutMs) {
  return WaitForDialog(caption, 0, timeoutMs);
}

HWND WaitForDialog(const char* caption, int control, DWORD timeoutMs) {
  FindData data = {caption, control, nullptr};
  WaitUntil([&] {
    EnumWindows(FindByCaption, reinterpret_cast<LPARAM>(&data));
    return data.found != nullptr;
  }, timeoutMs);
  return data.found;
}

void ReadBoxText(HWND box, char* out, int outSize) {
  wchar_t text[2048] = L"";
  HWND label = GetDlgItem(box, kBoxTextId);
  GetWindowTextW(label ? label : box, text, 2048);
  out[0] = 0;
  WideCharToMultiByte(CP_ACP, 0, text, -1, out, outSize, nullptr, nullptr);
}

bool PressButton(HWND box, int id) {
  HWND button = GetDlgItem(box, id);
  if (!button) return false;
  SendMessageW(button, BM_CLICK, 0, 0);
  return true;
}
