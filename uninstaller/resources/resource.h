// The uninstaller's resource and control ids, the one home of each number:
// the resource script, the dialog code and the tests all include this file.
// Plain defines, since the resource compiler reads it too.
#pragma once

#define IDD_UNINSTALL 101    // the uninstall dialog's template
#define IDI_UNINSTALLER 104  // the program's icon group

// Controls of the uninstall dialog.
#define IDC_CLOSE 1000       // close button, used when files are left over
#define IDC_HEADING 1001     // heading above the leftover list
#define IDC_LEFTOVERS 1002   // leftover list, sorted by the list itself
#define IDC_REMOVE_ONE 1003  // removes the selected leftover
#define IDC_REMOVE_ALL 1004  // removes every leftover
#define IDC_PROGRESS 1005    // progress list, in the order the notes are added
#define IDC_FINISH 1006      // finish button, used when nothing is left over

// The command the dialog posts to itself to start the late phase once its
// message loop runs.
#define IDM_START_RUN 3024
