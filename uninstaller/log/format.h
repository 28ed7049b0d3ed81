// The uninstall log as the program reads it, described once: the kind
// letters with their automatic order numbers, handlers and fields, the
// progress notes, the messages the program reads and the phase boundary.
// The loader, the action run, the handlers, start-up and the dialog take
// their numbers from here; uninstlog explains logs from the same tables.
// The name tables (kLogKindRows, kProgramMessageRoles) are read only by
// uninstlog and the compiler: constant tables that the program never uses
// are never emitted into it.
#pragma once
#include <windows.h>
#include "common/helpers.h"

// ---- Order numbers and phases ----------------------------------------------

// Actions numbered below the boundary run in stage one, the rest in stage two.
constexpr int kPhaseBoundary = 15000;

// ---- Field buffers of the handlers (bytes, with the zero) ------------------
// Which field takes which: the kind letters' rows below.

constexpr int kNumberFieldSize = 512;   // a number field; only leading digits count
constexpr int kCheckNameSize = 256;     // B: file path, mutex name or window title
constexpr int kCheckTextSize = 512;     // B: message text
constexpr int kLibraryPathSize = 512;   // C, D
constexpr int kFunctionNameSize = 64;   // C, D
constexpr int kArgumentSize = 256;      // C, D: each text argument
constexpr int kMaxArguments = 5;
constexpr int kCommandSize = 512;       // E: command line and its short path
constexpr int kValueNameSize = 128;     // J
constexpr int kProfileKeySize = 256;    // M

// ---- Kind letters ------------------------------------------------------------

// One row per kind letter, the one description of it; each user expands the
// columns it needs: the loader the automatic numbers, the run the handler,
// the handlers check their buffers against the field sizes, and uninstlog
// prints the names. A letter without a row is passed over by the run.
//   KIND(letter (compared case-sensitively), first automatic order number,
//        direction (+1 counts up, -1 down), handler, handler's name, action,
//        keys beside the letter (for a typo), FIELD...)
//   FIELD(the handler's buffer in bytes with the zero, read as a number (an
//         overlong one is cut or reads as 0), name); field 0 is the first
//         field after the comma.
#define LOG_LIBRARY_FIELDS(FIELD)                                                                  \
  FIELD(kLibraryPathSize, false, "library"), FIELD(kFunctionNameSize, false, "function"),          \
      FIELD(kNumberFieldSize, true, "count"), FIELD(kArgumentSize, false, "argument 1"),           \
      FIELD(kArgumentSize, false, "argument 2"), FIELD(kArgumentSize, false, "argument 3"),        \
      FIELD(kArgumentSize, false, "argument 4"), FIELD(kArgumentSize, false, "argument 5")
#define LOG_KINDS(KIND, FIELD)                                                                     \
  KIND('B', 3999, -1, CheckRunningProgram, "CheckRunningProgram", "running-program check",         \
       "VNGH", FIELD(kNumberFieldSize, true, "check kind"), FIELD(kCheckNameSize, false, "name"),  \
       FIELD(kCheckTextSize, false, "message"), FIELD(kNumberFieldSize, true, "answer style"))     \
  KIND('C', 4001, 1, CallCheckedLibrary, "CallLibraryFunction",                                    \
       "library call, stops when it returns 0", "XVDF", LOG_LIBRARY_FIELDS(FIELD))                 \
  KIND('D', 5001, 1, CallUncheckedLibrary, "CallLibraryFunction",                                  \
       "library call, result ignored", "SFERCX", LOG_LIBRARY_FIELDS(FIELD))                        \
  KIND('E', 7001, 1, RunProgram, "RunProgram", "program run, waits for its end", "WRDS",           \
       FIELD(kCommandSize, false, "command line"))                                                 \
  KIND('J', 19999, -1, RemoveRegistryEntry, "RemoveRegistryEntry",                                 \
       "registry key or value removal", "HKUNM", FIELD(kPathSize, false, "root"),                  \
       FIELD(kPathSize, false, "key path"), FIELD(kValueNameSize, false, "value name"))            \
  KIND('K', 20001, 1, ReleaseSharedLibrary, "ReleaseSharedLibrary",                                \
       "shared-library count release", "JLIOM", FIELD(kPathSize, false, "shared file"))            \
  KIND('M', 21001, 1, RemoveProfileEntry, "RemoveProfileEntry", "profile entry removal",           \
       "NJK", FIELD(kPathSize, false, "profile file"), FIELD(kPathSize, false, "section"),         \
       FIELD(kProfileKeySize, false, "key"))                                                       \
  KIND('P', 30001, 1, RemoveFiles, "RemoveFiles", "file removal", "OL",                            \
       FIELD(kPathSize, false, "path"), FIELD(kPathSize, true, "mode"))                            \
  KIND('U', 64999, -1, RemoveFolders, "RemoveFolders", "folder removal", "YIHJ",                   \
       FIELD(kPathSize, false, "path"), FIELD(kPathSize, true, "mode"))
#define LOG_NO_FIELD(size, number, name)

// What the loader counts with: emitted into the program.
struct LogKind {
  char letter;
  signed char autoStep;
  WORD autoBase;
};
#define LOG_KIND_NUMBERS(letter, base, step, ...) {letter, step, base},
inline constexpr LogKind kLogKinds[] = {LOG_KINDS(LOG_KIND_NUMBERS, LOG_NO_FIELD)};
#undef LOG_KIND_NUMBERS
constexpr int kLogKindCount = sizeof kLogKinds / sizeof kLogKinds[0];

// Position of a letter in the rows, or -1 when no action has it.
constexpr int LogKindIndex(char letter) {
  for (int i = 0; i < kLogKindCount; ++i)
    if (kLogKinds[i].letter == letter) return i;
  return -1;
}

// The rest of a row, for the compiler's checks and for uninstlog: the
// program never reads it, so it is never emitted into it.
constexpr int kMaxKindFields = 3 + kMaxArguments;  // C and D: library, function, count
struct LogField {
  int size;
  bool number;
  const char* name;
};
struct LogKindRow {
  const char* handler;
  const char* action;
  const char* neighbours;
  LogField fields[kMaxKindFields];  // a size of 0 ends the list
};
#define LOG_KIND_ROW(letter, base, step, handler, handlerName, action, neighbours, ...)            \
  {handlerName, action, neighbours, {__VA_ARGS__}},
#define LOG_FIELD_ROW(size, number, name) {size, number, name}
inline constexpr LogKindRow kLogKindRows[] = {LOG_KINDS(LOG_KIND_ROW, LOG_FIELD_ROW)};
#undef LOG_KIND_ROW
#undef LOG_FIELD_ROW

constexpr int AutoBaseOf(char letter) { return kLogKinds[LogKindIndex(letter)].autoBase; }

constexpr int LogFieldCount(int kind) {
  int n = 0;
  while (n < kMaxKindFields && kLogKindRows[kind].fields[n].size) ++n;
  return n;
}

// True when fields first .. first + count - 1 of a letter's lines all have
// a buffer of size bytes: the handlers check their buffers with it.
constexpr bool LogFieldsAre(char letter, int first, int count, int size) {
  int kind = LogKindIndex(letter);
  if (kind < 0 || first + count > LogFieldCount(kind)) return false;
  for (int n = first; n < first + count; ++n)
    if (kLogKindRows[kind].fields[n].size != size) return false;
  return true;
}

// The values the handlers know in their number fields.
constexpr int kCheckKindCount = 4;       // B field 0: 0 file in use .. 3 title containing
constexpr int kAnswerStyleCount = 6;     // B field 3: the box shown
constexpr int kCheckNumberMask = 0xFFFF; // B numbers: only their low 16 bits count
constexpr int kRootCount = 4;            // J field 0: HKCR, HKCU, HKLM, HKU
constexpr int kRootMask = 0xFF;          // J root: only its low 8 bits count

// P line modes: what happens to each file that matches.
constexpr int kFileModeDelete = 0;
constexpr int kFileModeAsk = 1;     // question 51 first; Yes deletes
constexpr int kFileModeList = 2;    // left for the user in the leftover list
constexpr int kFileModeCount = 3;   // higher modes only record the file as handled
// U line modes: what happens in the folder tree.
constexpr int kFolderModeListFiles = 0;   // files left for the user, empty folders go
constexpr int kFolderModeDeleteAll = 1;   // files and folders go
constexpr int kFolderModeOnlyEmpty = 2;   // no file is touched, no folder entered
constexpr int kFolderModeCount = 3;       // higher modes touch no file but remove emptied folders
constexpr int kModeMask = 0xFF;           // only a mode's low 8 bits count

// The stage-one pass: J lines whose key path (from the fourth character)
// starts with this, up to kUninstallLineSize - 1 characters: as long a key
// path and value name as a J line holds.
inline constexpr char kUninstallPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr int kUninstallLineSize = kPathSize + kValueNameSize;  // key path, comma, value name
constexpr int kKeyPathStart = 3;        // letter, one-digit root, comma

// ---- Messages the program reads ---------------------------------------------

// Shown before any message is known: the log cannot be opened, or the
// program was asked to open one of its own files.
inline constexpr char kMissingLogNotice[] = "Can't open uninstal log file %s!";
inline constexpr char kOwnFileNotice[] = "Don't open %s";

constexpr int kProductNameId = 10;
constexpr int kFinishTextId = 13;
constexpr int kCopyFailedId = 36;
constexpr int kFilesNoteId = 42;
constexpr int kConfirmQuestionId = 43;
constexpr int kRemoveOneTextId = 44;
constexpr int kRemoveAllTextId = 45;
constexpr int kCloseTextId = 46;
constexpr int kProgramPathNoteId = 47;
constexpr int kCaptionId = 48;
constexpr int kRelaunchFailedId = 49;
constexpr int kDoneNoteId = 50;
constexpr int kDeleteQuestionId = 51;
constexpr int kRetryDeleteQuestionId = 52;
constexpr int kLeftoverHeadingTextId = 53;
constexpr int kRegistryNoteId = 54;
constexpr int kProfileNoteId = 55;
constexpr int kWaitNoteId = 58;
constexpr int kRunningCheckNoteId = 81;

// Progress notes (and a pause) that come before the action of a fixed order
// number, whatever its letter: the first automatic numbers of the letters,
// so that each note heads the group of actions it announces.
constexpr int kNoNote = -1;
constexpr DWORD kFolderPauseMs = 100;  // before the first U line: files let go first
struct NoteStep {
  int orderNumber;
  int firstNote;
  int secondNote;
  DWORD pauseMs;
};
inline constexpr NoteStep kNoteSteps[] = {
    {3001, kRunningCheckNoteId, kNoNote, 0},
    {AutoBaseOf('J'), kRegistryNoteId, kNoNote, 0},
    {AutoBaseOf('M'), kProfileNoteId, kNoNote, 0},
    {AutoBaseOf('P'), kFilesNoteId, kWaitNoteId, 0},
    {AutoBaseOf('U'), kNoNote, kNoNote, kFolderPauseMs},
};
constexpr int kNoteStepCount = sizeof kNoteSteps / sizeof kNoteSteps[0];

// Every message the program reads: how many values its format call supplies
// (kNotFormatted: shown as it stands) and when it is read.
constexpr int kNotFormatted = -1;
constexpr int kReadAlways = 0;
constexpr int kReadAtNoteStep = 1;     // when a record has the step's order number
constexpr int kReadWhenAsking = 2;     // when a P line of mode kFileModeAsk runs
struct ProgramMessage {
  int id;
  int formatValues;
  int readWhen;
};
inline constexpr ProgramMessage kProgramMessages[] = {
    {kProductNameId, kNotFormatted, kReadAlways},
    {kCaptionId, kNotFormatted, kReadAlways},
    {kConfirmQuestionId, 1, kReadAlways},
    {kCopyFailedId, 2, kReadAlways},
    {kRelaunchFailedId, 1, kReadAlways},
    {kFinishTextId, kNotFormatted, kReadAlways},
    {kRunningCheckNoteId, kNotFormatted, kReadAtNoteStep},
    {kRegistryNoteId, kNotFormatted, kReadAtNoteStep},
    {kProfileNoteId, kNotFormatted, kReadAtNoteStep},
    {kFilesNoteId, kNotFormatted, kReadAtNoteStep},
    {kWaitNoteId, kNotFormatted, kReadAtNoteStep},
    {kDeleteQuestionId, 1, kReadWhenAsking},
    {kDoneNoteId, kNotFormatted, kReadAlways},
    {kProgramPathNoteId, 1, kReadAlways},
    {kLeftoverHeadingTextId, kNotFormatted, kReadAlways},
    {kCloseTextId, kNotFormatted, kReadAlways},
    {kRemoveOneTextId, kNotFormatted, kReadAlways},
    {kRemoveAllTextId, kNotFormatted, kReadAlways},
    {kRetryDeleteQuestionId, 1, kReadAlways},
};
constexpr int kProgramMessageCount = sizeof kProgramMessages / sizeof kProgramMessages[0];

// ---- Names for people (uninstlog only) --------------------------------------

// In the order of kProgramMessages.
inline constexpr const char* kProgramMessageRoles[] = {
    "product name",
    "caption prefix",
    "stage one's question, %s = product name",
    "error when the copy to the temporary folder fails, %s = program and copy",
    "error when stage two cannot start, %s = command line",
    "finish button",
    "progress note",
    "progress note",
    "progress note",
    "first progress note",
    "second progress note",
    "question before an asking P line deletes a file, %s = file",
    "progress note after all actions",
    "last progress note, %s = the program copy",
    "text above the leftover list",
    "close button when files are left",
    "remove button when files are left",
    "remove-all button when files are left",
    "question after a leftover cannot be deleted, %s = file",
};
static_assert(sizeof kProgramMessageRoles / sizeof kProgramMessageRoles[0] ==
                  kProgramMessageCount,
              "one role per program message");
