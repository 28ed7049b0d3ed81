// The uninstall dialog of stage two: runs the late phase from its start
// command, then offers the files the actions left behind.
#include "window/dialog.h"
#include "actions/actions.h"
#include "common/state.h"
#include "log/format.h"
#include "log/log.h"
#include "common/gate.h"

namespace {

void InitUninstallDialog(HWND window);
void OnDialogCommand(HWND window, int id);
void FitDialogHeight(HWND window, int bottom);
void RemoveLeftover(HWND window, int index);

constexpr int kDialogResult = 1;

HWND Item(HWND window, int id) { return GetDlgItem(window, id); }

LRESULT SendItem(HWND window, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendDlgItemMessageA(window, id, message, wParam, lParam);
}

// The lower edge of a layout: three quarters of a button's height below the
// button, as margin.
int EdgeBelow(HWND window, int buttonId) {
  RECT rect;
  GetWindowRect(Item(window, buttonId), &rect);
  return rect.bottom + ((rect.bottom - rect.top) * 3) / 4;
}

void OfferLeftovers(HWND window) {
  EnableWindow(Item(window, IDC_REMOVE_ONE), TRUE);
  EnableWindow(Item(window, IDC_REMOVE_ALL), TRUE);
  SetDlgItemTextA(window, IDC_HEADING, GetMessageText(kLeftoverHeadingTextId));
  SetDlgItemTextA(window, IDC_CLOSE, GetMessageText(kCloseTextId));
  SetDlgItemTextA(window, IDC_REMOVE_ONE, GetMessageText(kRemoveOneTextId));
  SetDlgItemTextA(window, IDC_REMOVE_ALL, GetMessageText(kRemoveAllTextId));
  ShowWindow(Item(window, IDC_FINISH), SW_HIDE);
  int bottom = EdgeBelow(window, IDC_CLOSE);
  EnableWindow(Item(window, IDC_CLOSE), TRUE);
  FitDialogHeight(window, bottom);
  SendItem(window, IDC_LEFTOVERS, LB_SETCURSEL, 0, 0);
}

void OfferFinish(HWND window) {
  ShowWindow(Item(window, IDC_HEADING), SW_HIDE);
  ShowWindow(Item(window, IDC_LEFTOVERS), SW_HIDE);
  int bottom = EdgeBelow(window, IDC_FINISH);
  EnableWindow(Item(window, IDC_FINISH), TRUE);
  ShowWindow(Item(window, IDC_FINISH), SW_SHOW);
  FitDialogHeight(window, bottom);
}

// The start command: the late phase, the finishing notes and the layout
// that fits what is left.
void RunStartCommand(HWND window) {
  ShowWindow(window, SW_SHOW);
  RunActions(kLatePhase);

  SendItem(window, IDC_PROGRESS, LB_ADDSTRING, 0,
           reinterpret_cast<LPARAM>(GetMessageText(kDoneNoteId)));
  // The note's format comes from the log: formatted safely, cut to the buffer.
  const char* args[1] = {gProgramPath};
  FormatText(gScratch, kScratchSize, GetMessageText(kProgramPathNoteId), args, 1);
  LRESULT line = SendItem(window, IDC_PROGRESS, LB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(gScratch));
  SendItem(window, IDC_PROGRESS, LB_SETCURSEL, static_cast<WPARAM>(line), 0);

  if (SendItem(window, IDC_LEFTOVERS, LB_GETCOUNT, 0, 0) > 0) {
    OfferLeftovers(window);
  } else {
    OfferFinish(window);
  }
}

bool IsBareDrive(const char* path) { return path[0] && path[1] == ':' && path[2] == 0; }

// Deletes the leftover file named in the scratch buffer, asking again while
// the delete fails, then removes the folders that this leaves empty.
void DeleteLeftoverFile() {
  GateSetFileAttributes(gScratch, FILE_ATTRIBUTE_NORMAL);
  UnloadFontFile(gScratch);  // a .ttf leaves the font table before its file goes
  while (!GateDeleteFile(gScratch)) {
    if (ShowNotice(kNoticeQuestion, GetMessageText(kRetryDeleteQuestionId), gScratch) != IDYES)
      return;
  }
  // Climb: a folder that still holds something or the empty text cannot be
  // removed, so the climb always ends. It ends at a bare drive too: "X:"
  // names the drive's current folder, not the drive; and at a folder the
  // removal's guard keeps (Documents, the Desktop, a root), emptied or not.
  do {
    StripLastComponent(gScratch);
  } while (!IsBareDrive(gScratch) && ProtectionOf(gScratch) == kRefuseNone &&
           GateRemoveDirectory(gScratch));
}

}  // namespace

INT_PTR CALLBACK UninstallDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)lParam;
  switch (message) {
    case WM_INITDIALOG:
      InitUninstallDialog(window);
      return TRUE;  // the system sets the default focus
    case WM_COMMAND:
      OnDialogCommand(window, LOWORD(wParam));
      return FALSE;
    default:
      return FALSE;
  }
}

namespace {

void InitUninstallDialog(HWND window) {
  HINSTANCE module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
  HICON icon = LoadIconA(module, MAKEINTRESOURCEA(IDI_UNINSTALLER));
  SetClassLongPtrA(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
  SetWindowTextA(window, gCaption);

  // Opening layout: the progress list and the upper half of the heading.
  RECT heading;
  GetWindowRect(Item(window, IDC_HEADING), &heading);
  FitDialogHeight(window, heading.top + (heading.bottom - heading.top) / 2);

  SetDlgItemTextA(window, IDC_FINISH, GetMessageText(kFinishTextId));
  EnableWindow(Item(window, IDC_CLOSE), FALSE);
  EnableWindow(Item(window, IDC_FINISH), FALSE);
  EnableWindow(Item(window, IDC_REMOVE_ONE), FALSE);
  EnableWindow(Item(window, IDC_REMOVE_ALL), FALSE);
  gDialog = window;  // from here on, notices are modal to the dialog
  // The late phase starts once the dialog's message loop runs.
  PostMessageA(window, WM_COMMAND, IDM_START_RUN, 0);
}

void OnDialogCommand(HWND window, int id) {
  switch (id) {
    case IDC_CLOSE:
    case IDC_FINISH:
      EndDialog(window, kDialogResult);
      break;
    case IDC_REMOVE_ONE:
      RemoveLeftover(window,
                     static_cast<int>(SendItem(window, IDC_LEFTOVERS, LB_GETCURSEL, 0, 0)));
      break;
    case IDC_REMOVE_ALL:
      while (SendItem(window, IDC_LEFTOVERS, LB_GETCOUNT, 0, 0) > 0) {
        int index = static_cast<int>(SendItem(window, IDC_LEFTOVERS, LB_GETCURSEL, 0, 0));
        // Without a selection the first line goes: removing nothing would
        // never empty the list.
        RemoveLeftover(window, index == LB_ERR ? 0 : index);
      }
      break;
    case IDM_START_RUN:
      RunStartCommand(window);
      break;
    default:
      break;  // IDOK, IDCANCEL (Esc, close box) and list notifications
  }
}

void FitDialogHeight(HWND window, int bottom) {
  RECT rect;
  GetWindowRect(window, &rect);
  SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, bottom - rect.top,
               SWP_NOMOVE | SWP_NOZORDER);
}

void RemoveLeftover(HWND window, int index) {
  if (index == LB_ERR) return;
  LRESULT length = SendItem(window, IDC_LEFTOVERS, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  // A line too long for the buffer is dropped unread: a cut path could name
  // another file.
  if (length >= 0 && length < kScratchSize) {
    SendItem(window, IDC_LEFTOVERS, LB_GETTEXT, static_cast<WPARAM>(index),
             reinterpret_cast<LPARAM>(gScratch));
    if (FileExists(gScratch)) DeleteLeftoverFile();
  }
  SendItem(window, IDC_LEFTOVERS, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
  if (SendItem(window, IDC_LEFTOVERS, LB_GETCOUNT, 0, 0) == 0) {
    EnableWindow(Item(window, IDC_REMOVE_ONE), FALSE);
    EnableWindow(Item(window, IDC_REMOVE_ALL), FALSE);
  } else {
    SendItem(window, IDC_LEFTOVERS, LB_SETCURSEL, 0, 0);
  }
}

}  // namespace
