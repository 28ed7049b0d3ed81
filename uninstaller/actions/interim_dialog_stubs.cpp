// interim: replaced when the action run lands. Empty definitions of the
// action-run entry points that the dialog and start-up call, so that the
// program links and runs (it removes nothing yet).
#include "actions/actions.h"

void RunActions(int phase) { (void)phase; }
void RemoveUninstallKeys() {}
