// The uninstall log as the program reads it, described once: the kind
// letters with their automatic order numbers, handlers and fields, the
// progress notes, the messages the program reads and the phase boundary.
// The loader, the action run, the handlers, start-up and the dialog take
// their numbers from here; uninstlog explains logs from the same tables.
// The name tables (kLogKindNames, kProgramMessageRoles) are read only by
// uninstlog: constant tables that the program never uses are never emitted
// into it.
#pragma once
#include <windows.h>
#include "common/helpers.h"

// ---- Order numbers and phases ----------------------------------------------

// Actions numbered below the boundary run in stage one, the rest in stage two.
constexpr int kPhaseBoundary = 15000;

// ---- Field buffers of the handlers (bytes, with the zero) ------------------

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
// P and U paths, J roots and key paths, K files, M files and sections take
// kPathSize; P and U modes are read into a path buffer too.

// ---- Kind letters ------------------------------------------------------------

struct LogKind {
  char letter;         // compared case-sensitively
  signed char autoStep;  // +1 counts up, -1 counts down
  WORD autoBase;       // first automatic order number
};
// Every letter the run hands to a handler; any other letter is passed over.
inline constexpr LogKind kLogKinds[] = {
    {'B', -1, 3999},  {'C', 1, 4001},  {'D', 1, 5001},  {'E', 1, 7001},  {'J', -1, 19999},
    {'K', 1, 20001},  {'M', 1, 21001}, {'P', 1, 30001}, {'U', -1, 64999},
};
constexpr int kLogKindCount = sizeof kLogKinds / sizeof kLogKinds[0];

// The fields of each kind letter, in the order of kLogKinds: the handler's
// buffer for each. Field 0 is the first field after the comma.
constexpr int kMaxKindFields = 8;
struct LogField {
  int size;     // bytes, with the zero
  bool number;  // read as a number: an overlong one is cut or reads as 0
};
struct LogKindFields {
  int count;
  LogField fields[kMaxKindFields];
};
inline constexpr LogKindFields kLogKindFields[] = {
    {4, {{kNumberFieldSize, true}, {kCheckNameSize, false}, {kCheckTextSize, false},
         {kNumberFieldSize, true}}},
    {8, {{kLibraryPathSize, false}, {kFunctionNameSize, false}, {kNumberFieldSize, true},
         {kArgumentSize, false}, {kArgumentSize, false}, {kArgumentSize, false},
         {kArgumentSize, false}, {kArgumentSize, false}}},
    {8, {{kLibraryPathSize, false}, {kFunctionNameSize, false}, {kNumberFieldSize, true},
         {kArgumentSize, false}, {kArgumentSize, false}, {kArgumentSize, false},
         {kArgumentSize, false}, {kArgumentSize, false}}},
    {1, {{kCommandSize, false}}},
    {3, {{kPathSize, false}, {kPathSize, false}, {kValueNameSize, false}}},
    {1, {{kPathSize, false}}},
    {3, {{kPathSize, false}, {kPathSize, false}, {kProfileKeySize, false}}},
    {2, {{kPathSize, false}, {kPathSize, true}}},
    {2, {{kPathSize, false}, {kPathSize, true}}},
};
static_assert(sizeof kLogKindFields / sizeof kLogKindFields[0] == kLogKindCount,
              "one field list per kind letter");

// Position of a letter in kLogKinds, or -1 when no action has it.
inline int LogKindIndex(char letter) {
  for (int i = 0; i < kLogKindCount; ++i)
    if (kLogKinds[i].letter == letter) return i;
  return -1;
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
    {19999, kRegistryNoteId, kNoNote, 0},
    {21001, kProfileNoteId, kNoNote, 0},
    {30001, kFilesNoteId, kWaitNoteId, 0},
    {64999, kNoNote, kNoNote, kFolderPauseMs},
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

struct LogKindName {
  const char* handler;
  const char* action;
  const char* fields[kMaxKindFields];
};
// In the order of kLogKinds.
inline constexpr LogKindName kLogKindNames[] = {
    {"CheckRunningProgram", "running-program check",
     {"check kind", "name", "message", "answer style"}},
    {"CallLibraryFunction", "library call, stops when it returns 0",
     {"library", "function", "count", "argument 1", "argument 2", "argument 3", "argument 4",
      "argument 5"}},
    {"CallLibraryFunction", "library call, result ignored",
     {"library", "function", "count", "argument 1", "argument 2", "argument 3", "argument 4",
      "argument 5"}},
    {"RunProgram", "program run, waits for its end", {"command line"}},
    {"RemoveRegistryEntry", "registry key or value removal", {"root", "key path", "value name"}},
    {"ReleaseSharedLibrary", "shared-library count release", {"shared file"}},
    {"RemoveProfileEntry", "profile entry removal", {"profile file", "section", "key"}},
    {"RemoveFiles", "file removal", {"path", "mode"}},
    {"RemoveFolders", "folder removal", {"path", "mode"}},
};
static_assert(sizeof kLogKindNames / sizeof kLogKindNames[0] == kLogKindCount,
              "one name entry per kind letter");

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
