// The action run: walks the sorted action records of one phase and hands each
// action text to the handler that its kind letter selects. The run and the
// handlers show their results here: progress notes and leftover lines in
// the dialog's lists.
#include "actions/actions.h"
#include "common/gate.h"
#include "common/state.h"
#include "log/log.h"
#include "window/dialog.h"

namespace {

void CallCheckedLibrary(const char* actionText) { CallLibraryFunction(actionText, true); }
void CallUncheckedLibrary(const char* actionText) { CallLibraryFunction(actionText, false); }

// The handler of each kind letter, in the order of its rows.
typedef void (*ActionHandler)(const char* actionText);
#define LOG_KIND_HANDLER(letter, base, step, handler, ...) handler,
constexpr ActionHandler kHandlers[] = {LOG_KINDS(LOG_KIND_HANDLER, LOG_NO_FIELD)};
#undef LOG_KIND_HANDLER

void AddNotesFor(int orderNumber) {
  for (int i = 0; i < kNoteStepCount; ++i) {
    if (kNoteSteps[i].orderNumber != orderNumber) continue;
    if (kNoteSteps[i].firstNote != kNoNote) AddProgressNote(kNoteSteps[i].firstNote);
    if (kNoteSteps[i].secondNote != kNoNote) AddProgressNote(kNoteSteps[i].secondNote);
    if (kNoteSteps[i].pauseMs) Sleep(kNoteSteps[i].pauseMs);
  }
}

ActionHandler HandlerFor(char letter) {
  int kind = LogKindIndex(letter);
  return kind < 0 ? nullptr : kHandlers[kind];
}

bool InList() { return gCurrent && gLast && gCurrent <= gLast; }

}  // namespace

void RunActions(int phase) {
  if (phase == kLatePhase)
    while (InList() && gCurrent->orderNumber < kPhaseBoundary) ++gCurrent;
  while (InList()) {
    // The early phase leaves the position on the first late record.
    if (phase == kEarlyPhase && gCurrent->orderNumber >= kPhaseBoundary) return;
    AddNotesFor(gCurrent->orderNumber);
    ActionHandler handler = HandlerFor(gCurrent->text[0]);
    if (handler) handler(gCurrent->text);
    ++gCurrent;
  }
}

void AddProgressNote(int messageId) {
  // Without a dialog (stage one, silent mode) the note goes nowhere.
  if (!gDialog) return;
  const char* text = GetMessageText(messageId);
  LRESULT index = SendDlgItemMessageA(gDialog, IDC_PROGRESS, LB_ADDSTRING, 0,
                                      reinterpret_cast<LPARAM>(text));
  // Selecting the new line scrolls it into view.
  if (index >= 0) SendDlgItemMessageA(gDialog, IDC_PROGRESS, LB_SETCURSEL, index, 0);
}

void AddLeftover(const char* path) {
  GateLeftover(path);  // a preview lists it
  // Stage one and silent mode have no dialog: the line goes nowhere.
  if (!gDialog) return;
  SendDlgItemMessageA(gDialog, IDC_LEFTOVERS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path));
}
