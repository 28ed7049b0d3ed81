// The uninstall log: message table and action records.
#pragma once
#include <windows.h>
#include "common/state.h"

constexpr int kMaxMessages = 1000;
constexpr int kActionSlots = 20000;
constexpr int kMaxActions = 19999;
constexpr int kNumberPartSize = 64;
constexpr int kReservedNumber = 65535;
constexpr int kFirstActionNumber = 1001;
constexpr WORD kNoMessage = 0xFFFF;

extern char* gLogText;          // the whole log, size + 1 bytes
extern ActionRecord* gActions;  // kActionSlots records
extern int gActionCount;
extern WORD gMessageIds[kMaxMessages];
extern char** gMessageTexts;    // kMaxMessages references
extern int gMessageCount;

// Reads gLogPath into the message table and the sorted action records.
// A log that cannot be opened ends the process with a notice.
void LoadLog();
// Reads the log at gLogPath into a new zero-ended block (size + 1 bytes) and
// returns it, or null without memory. A log that cannot be opened ends the
// process with a notice; a short read shows a notice and goes on.
char* ReadWholeLog(DWORD* size);
// Rewrites a taken line in place (first comma := kind letter), moves *line to
// the action text and returns the line's number (own or automatic).
int ReadLineHead(char** line);
bool IsTakenLine(const char* line);
WORD FindMessageIndex(WORD id);
// The id's text in the 512-byte result buffer (empty when missing).
char* GetMessageText(int id);
// Walks a log buffer of size bytes (followed by a zero byte): calls visit for
// each taken line, after cutting it in place. Shared by loading and the
// stage-one pass.
typedef void (*LineVisitor)(char* line);
void WalkLogLines(char* buffer, DWORD size, LineVisitor visit);
// Sets gCurrent/gLast to span the loaded records.
void ResetActionCursor();
// Releases the log's blocks and clears the table, records and counters
// (start-up state; part of ReleaseWorkingAreas).
void ResetLogState();
