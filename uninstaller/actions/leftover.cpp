// The leftover list: files the user decides about in the uninstall dialog.
#include "actions/actions.h"
#include "common/state.h"
#include "window/dialog.h"
#include "common/gate.h"

void AddLeftover(const char* path) {
  GateLeftover(path);  // a preview lists it
  // Stage one and silent mode have no dialog: the line goes nowhere.
  if (!gDialog) return;
  SendDlgItemMessageA(gDialog, kLeftoverList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path));
}
