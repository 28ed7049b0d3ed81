#include "log/log.h"
#include "log/format.h"

char* gLogText;
ActionRecord* gActions;
int gActionCount;
WORD gMessageIds[kMaxMessages];
char** gMessageTexts;
int gMessageCount;

namespace {

// Lines seen so far of each kind letter (the automatic-number counters).
int gKindLinesSeen[kLogKindCount];

char gNumberPart[kNumberPartSize];
char gMessageResult[kMessageSize];

int AutomaticNumber(char letter) {
  int kind = LogKindIndex(letter);
  if (kind < 0) return 0;
  int k = gKindLinesSeen[kind]++;
  return kLogKinds[kind].autoBase + kLogKinds[kind].autoStep * k;
}

void LoadLine(char* line) {
  int number = ReadLineHead(&line);
  if (number == kReservedNumber) return;
  if (number >= kFirstActionNumber) {
    if (gActionCount >= kMaxActions) return;  // surplus actions are ignored
    gActions[gActionCount].orderNumber = number;
    gActions[gActionCount].text = line;
    ++gActionCount;
    return;
  }
  WORD id = static_cast<WORD>(number);
  WORD index = FindMessageIndex(id);
  if (index != kNoMessage) {
    gMessageTexts[index] = line + 1;
  } else if (gMessageCount < kMaxMessages) {  // ids past the table are ignored
    gMessageIds[gMessageCount] = id;
    gMessageTexts[gMessageCount] = line + 1;
    ++gMessageCount;
  }
}

}  // namespace

bool IsTakenLine(const char* line) {
  return !IsDecimalDigit(line[0]) && IsDecimalDigit(line[1]);
}

int ReadLineHead(char** line) {
  char* start = *line;
  char letter = start[0];
  char* comma = start + 1;
  while (*comma && *comma != ',') ++comma;
  // The number part is cut at 63 bytes; only its leading digits count anyway.
  int length = static_cast<int>(comma - (start + 1));
  if (length > kNumberPartSize - 1) length = kNumberPartSize - 1;
  MoveBytes(gNumberPart, start + 1, static_cast<SIZE_T>(length));
  gNumberPart[length] = 0;
  char* text;
  if (*comma == ',') {
    text = comma;   // the first comma becomes the kind letter
  } else {
    text = comma - 1;  // no field list: the action text is the letter alone
  }
  *text = letter;
  *line = text;
  int automatic = 0;
  if (letter != 'A') {
    // A full seen-line set counts the line as seen: it takes no number, so a
    // repeated action can never run twice.
    if (StringSetInsert(&gSeenLines, text) == 1) automatic = AutomaticNumber(letter);
  }
  int own = ParseDecimal(gNumberPart);
  return own != 0 ? own : automatic;
}

void WalkLogLines(char* buffer, DWORD size, LineVisitor visit) {
  char* p = buffer;
  char* end = buffer + size;
  while (p < end) {
    char* line = p;
    while (p < end && *p != '\r' && *p != '\n') ++p;
    if (p >= end) break;  // a last line without a line end is not read
    bool empty = p == line;  // only at the start: later lines begin after a run
    while (*p == '\r' || *p == '\n') *p++ = 0;  // the buffer's final zero stops this
    // An empty line has no second byte of its own: its neighbour's is not it.
    if (!empty && IsTakenLine(line)) visit(line);
  }
}

char* ReadWholeLog(DWORD* size) {
  *size = 0;
  HANDLE file = OpenFileForReading(gLogPath, size);
  if (file == INVALID_HANDLE_VALUE)
    ShowNotice(kNoticeFatal, kMissingLogNotice, gLogPath);
  if (*size == INVALID_FILE_SIZE) *size = 0;  // a size we cannot learn reads nothing
  // Zero-filled, one byte more than the file: the text always ends in a zero.
  char* buffer = static_cast<char*>(ReserveBlock(static_cast<SIZE_T>(*size) + 1));
  if (buffer) {
    ReadExactly(file, buffer, *size, gLogPath);  // a short read goes on with what came
  } else {
    *size = 0;
  }
  CloseHandle(file);
  return buffer;
}

void LoadLog() {
  DWORD size = 0;
  gLogText = ReadWholeLog(&size);
  gActions = static_cast<ActionRecord*>(ReserveBlock(kActionSlots * sizeof(ActionRecord)));
  gMessageTexts = static_cast<char**>(ReserveBlock(kMaxMessages * sizeof(char*)));
  ZeroBytes(gMessageIds, sizeof gMessageIds);
  // No memory for this log: load nothing rather than write through null.
  if (!gLogText || !gActions || !gMessageTexts) return;
  WalkLogLines(gLogText, size, LoadLine);
  SortRecords(gActions, gActionCount, sizeof(ActionRecord), CompareOrderNumbers);
}

WORD FindMessageIndex(WORD id) {
  for (int i = 0; i < gMessageCount; ++i)
    if (gMessageIds[i] == id) return static_cast<WORD>(i);
  return kNoMessage;
}

char* GetMessageText(int id) {
  gMessageResult[0] = 0;
  WORD index = FindMessageIndex(static_cast<WORD>(id));
  if (index != kNoMessage && gMessageTexts)
    CopyTextCut(gMessageResult, kMessageSize, gMessageTexts[index]);  // cut at 511
  return gMessageResult;
}

void ResetActionCursor() {
  gCurrent = gActions;
  gLast = gActions ? gActions + gActionCount - 1 : nullptr;
}

void ResetLogState() {
  ReleaseBlock(gLogText);
  ReleaseBlock(gActions);
  ReleaseBlock(gMessageTexts);
  gActionCount = 0;
  gMessageCount = 0;
  ZeroBytes(gMessageIds, sizeof gMessageIds);
  ZeroBytes(gKindLinesSeen, sizeof gKindLinesSeen);
  gCurrent = gLast = nullptr;
}
