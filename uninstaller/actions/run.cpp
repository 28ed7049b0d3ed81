// The action run: walks the sorted action records of one phase and hands each
// action text to the handler that its kind letter selects.
#include "actions/actions.h"
#include "common/state.h"
#include "log/log.h"
#include "window/dialog.h"

namespace {

constexpr int kNoNote = -1;
constexpr DWORD kFolderPauseMs = 100;

// Fixed order numbers that bring progress notes (or a pause) before their
// action runs, whatever its letter. These are the first automatic numbers of
// the late letters, so each note heads the group of actions it announces.
struct NoteStep {
  int orderNumber;
  int firstNote;
  int secondNote;
  DWORD pauseMs;
};
const NoteStep kNoteSteps[] = {
    {3001, 81, kNoNote, 0},
    {19999, 54, kNoNote, 0},
    {21001, 55, kNoNote, 0},
    {30001, 42, 58, 0},
    {64999, kNoNote, kNoNote, kFolderPauseMs},
};
constexpr int kNoteStepCount = sizeof kNoteSteps / sizeof kNoteSteps[0];

void CallCheckedLibrary(const char* actionText) { CallLibraryFunction(actionText, true); }
void CallUncheckedLibrary(const char* actionText) { CallLibraryFunction(actionText, false); }

// Handlers by kind letter, compared case-sensitively; any other letter is
// passed over.
typedef void (*ActionHandler)(const char* actionText);
struct HandlerEntry {
  char letter;
  ActionHandler handler;
};
const HandlerEntry kHandlers[] = {
    {'B', CheckRunningProgram},  {'C', CallCheckedLibrary},   {'D', CallUncheckedLibrary},
    {'E', RunProgram},           {'J', RemoveRegistryEntry},  {'K', ReleaseSharedLibrary},
    {'M', RemoveProfileEntry},   {'P', RemoveFiles},          {'U', RemoveFolders},
};
constexpr int kHandlerCount = sizeof kHandlers / sizeof kHandlers[0];

void AddNotesFor(int orderNumber) {
  for (int i = 0; i < kNoteStepCount; ++i) {
    if (kNoteSteps[i].orderNumber != orderNumber) continue;
    if (kNoteSteps[i].firstNote != kNoNote) AddProgressNote(kNoteSteps[i].firstNote);
    if (kNoteSteps[i].secondNote != kNoNote) AddProgressNote(kNoteSteps[i].secondNote);
    if (kNoteSteps[i].pauseMs) Sleep(kNoteSteps[i].pauseMs);
  }
}

ActionHandler HandlerFor(char letter) {
  for (int i = 0; i < kHandlerCount; ++i)
    if (kHandlers[i].letter == letter) return kHandlers[i].handler;
  return nullptr;
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
  LRESULT index = SendDlgItemMessageA(gDialog, kProgressList, LB_ADDSTRING, 0,
                                      reinterpret_cast<LPARAM>(text));
  // Selecting the new line scrolls it into view.
  if (index >= 0) SendDlgItemMessageA(gDialog, kProgressList, LB_SETCURSEL, index, 0);
}
