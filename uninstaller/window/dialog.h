// The uninstall dialog of stage two.
#pragma once
#include <windows.h>

constexpr int kDialogTemplate = 101;
constexpr int kIconGroup = 104;
constexpr int kCloseButton = 1000;
constexpr int kLeftoverHeading = 1001;
constexpr int kLeftoverList = 1002;
constexpr int kRemoveOneButton = 1003;
constexpr int kRemoveAllButton = 1004;
constexpr int kProgressList = 1005;
constexpr int kFinishButton = 1006;
constexpr int kStartCommand = 3024;

INT_PTR CALLBACK UninstallDialogProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam);
