#include "support/robot.h"
#include <stdio.h>
#include <string.h>

constexpr int kBoxIconId = 1088;  // the icon control of a message box

struct FindData { const char* caption; HWND found; };

static BOOL CALLBACK FindByCaption(HWND window, LPARAM param) {
  FindData* data = reinterpret_cast<FindData*>(param);
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  if (strcmp(className, "#32770") != 0) return TRUE;
  if (!IsWindowVisible(window)) return TRUE;
  wchar_t title[512] = L"";
  GetWindowTextW(window, title, 512);
  char titleA[1024] = "";
  WideCharToMultiByte(CP_ACP, 0, title, -1, titleA, sizeof titleA, nullptr, nullptr);
  if (strcmp(titleA, data->caption) == 0) {
    data->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForDialog(const char* caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    FindData data = {caption, nullptr};
    EnumWindows(FindByCaption, reinterpret_cast<LPARAM>(&data));
    if (data.found) return data.found;
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(10);
  }
}

void ReadBoxText(HWND box, char* out, int outSize) {
  wchar_t text[2048] = L"";
  HWND label = GetDlgItem(box, 0xFFFF);
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

static DWORD WINAPI RobotThread(LPVOID param) {
  BoxRobot* robot = static_cast<BoxRobot*>(param);
  DWORD start = GetTickCount();
  while (robot->found < robot->answers) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed > robot->timeoutMs) break;
    HWND box = WaitForDialog(robot->caption, robot->timeoutMs - elapsed);
    if (!box) break;
    ReadBoxText(box, robot->text, sizeof robot->text);
    robot->buttons = 0;
    for (int id = 1; id <= 15; ++id)
      if (GetDlgItem(box, id)) robot->buttons |= 1u << id;
    HWND iconControl = GetDlgItem(box, kBoxIconId);
    robot->icon = iconControl ? reinterpret_cast<HICON>(SendMessageW(iconControl, STM_GETICON, 0, 0))
                              : nullptr;
    PressButton(box, robot->button);
    ++robot->found;
    // Wait for this box to go before looking for the next one.
    for (int i = 0; i < 500 && IsWindow(box); ++i) Sleep(10);
  }
  return 0;
}

void StartRobot(BoxRobot* robot, const char* caption, int button, int answers,
                DWORD timeoutMs) {
  memset(robot, 0, sizeof *robot);
  snprintf(robot->caption, sizeof robot->caption, "%s", caption);
  robot->button = button;
  robot->answers = answers;
  robot->timeoutMs = timeoutMs;
  robot->thread = CreateThread(nullptr, 0, RobotThread, robot, 0, nullptr);
}

int FinishRobot(BoxRobot* robot) {
  if (robot->thread) {
    WaitForSingleObject(robot->thread, INFINITE);
    CloseHandle(robot->thread);
    robot->thread = nullptr;
  }
  return robot->found;
}
