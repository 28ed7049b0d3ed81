// The uninstall dialog of stage two.
#pragma once
#include <windows.h>
#include "resources/resource.h"

INT_PTR CALLBACK UninstallDialogProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam);
