// uninstlog: checks, plans and stamps an uninstall log for package makers.
// Every line is read by the uninstaller's own loading code (LoadLog,
// ReadLineHead, WalkLogLines); this tool only looks at what that code made of
// the log and explains it.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "startup/startup.h"

// Exit codes of every command.
constexpr int kExitClean = 0;
constexpr int kExitWarnings = 1;
constexpr int kExitErrors = 2;   // also: bad input, unreadable files, usage

// Severity of a finding. Notes are information only and change no exit code.
constexpr int kNote = 0;
constexpr int kWarning = 1;
constexpr int kError = 2;

struct Finding {
  int line;            // 1-based line of the log; 0 when the finding has none
  int severity;        // kNote, kWarning, kError
  std::string code;    // short stable name, e.g. "repeat-dropped"
  std::string text;    // what happens, in the package maker's words
};

// Every finding check reports, once: its stable code, its severity, the
// lower severity a harmless case of it gets (the same for most), and what it
// finds in a few words. The package makers' manual lists the same rows.
struct FindingKind {
  const char* code;
  int severity;
  int lower;
  const char* about;
};
extern const FindingKind kFindingKinds[];
extern const int kFindingKindCount;

// One taken line as the loader saw it (first pass over a private copy).
struct TakenLine {
  int line;             // 1-based line number
  DWORD offset;         // start of the line in the file
  DWORD end;            // offset of its line end
  std::string raw;      // the line as written (up to a NUL byte, if any)
  std::string head;     // number part as written (bytes 1 up to the comma)
  std::string action;   // action text: kind letter, then the field list
  bool hasComma;
  int number;           // what the loader's line head gave
  bool entered;         // new text in the seen-line set (never for 'A')
  bool setFull;         // the seen-line set was full: counted as seen
  // Outcome of the real load.
  int recordIndex;      // position in the sorted records, or -1
  int messageId;        // message id this line defines (-1 when none)
  bool messageCurrent;  // this line's text is the id's text after loading
};

// A physical line the loader does not take (non-empty).
struct IgnoredLine {
  int line;
  std::string raw;
  int reason;   // one of the kReason values below
};
constexpr int kReasonDigitFirst = 0;
constexpr int kReasonSecondNotDigit = 1;
constexpr int kReasonOneCharacter = 2;
constexpr int kReasonNoLineEnd = 3;

// A sorted action record, copied out of the loaded state.
struct PlanRecord {
  int order;
  std::string action;   // action text
  int line;             // source line (0 if it could not be found)
};

// A key that the stage-one pass deletes under HKEY_LOCAL_MACHINE.
struct PassKey {
  int line;
  std::string key;
  std::string action;
};

struct LogScan {
  std::string path;
  std::string data;                  // the file's bytes
  std::vector<TakenLine> taken;      // in file order
  std::vector<IgnoredLine> ignored;  // in file order
  std::vector<PlanRecord> records;   // sorted, as the run walks them
  std::vector<PassKey> passKeys;     // in file order
  int lineCount;                     // physical lines of the file
};

// Reads and loads the log. On bad input (missing, a folder, unreadable, path
// too long) returns false with a message in error; never ends the process.
// The uninstaller's loaded state (message table, records) stays in place
// until the next scan, so GetMessageText answers for this log.
bool ScanLog(const char* path, LogScan* scan, std::string* error);

// The checks over a scanned log, in line order; findings without a line
// come last.
std::vector<Finding> CheckScan(const LogScan& scan);
// Exit code for a list of findings.
int ExitCodeOf(const std::vector<Finding>& findings);
// "check": the report text (one line per finding and a summary line).
std::string FormatFindings(const LogScan& scan, const std::vector<Finding>& findings);

// "plan": the dry run as a plain table, or as JSON.
std::string FormatPlan(const LogScan& scan);
std::string FormatPlanJson(const LogScan& scan);
// The report helpers of plan and preview: ANSI text as a JSON string (\u
// escapes for all but printable ASCII), and text padded with blanks to a
// width (on the left when right-aligned).
std::string JsonText(const std::string& text);
std::string Pad(const std::string& text, size_t width, bool right = false);

// Field n of an action text's field list (the kind letter stands at 0), read
// with the handlers' GetField. missing is set when the list has no field n:
// GetField then gives the whole list, which is what the handler gets.
std::string ActionField(const std::string& action, int n, bool* missing = nullptr);
// True when text is a plain decimal number (optional '-', then digits).
bool IsPlainNumber(const std::string& text);
// Handler name and a short description of a kind letter; nullptr handler
// for letters the run passes over.
const char* HandlerOf(char letter);
const char* ActionNameOf(char letter);
// The fields of an action, decoded for people: name/value pairs in order.
std::vector<std::pair<std::string, std::string>> DecodeAction(const std::string& action);
// The folders the uninstaller would see started beside this log: program
// folder (the log's), system, Windows and temporary folders.
void TakeInstallFolders(const std::string& logPath);
// The program an E command line starts on this machine, as the uninstaller
// chooses it, or why it starts nothing.
std::string StartedProgram(const std::string& command);

// "preview": both stages run over this machine through the uninstaller's
// own handlers, with the gate answering instead of the system: nothing is
// changed, and every effect is kept in run order.
enum PreviewKind {
  kEffectFile,        // delete a file
  kEffectAttributes,  // change a file's attributes (read-only etc. cleared)
  kEffectFont,        // unload a font and tell every window
  kEffectFolder,      // remove a folder
  kEffectKey,         // delete a registry key
  kEffectValue,       // delete a registry value
  kEffectCount,       // set a shared-library count
  kEffectEntry,       // delete a profile entry
  kEffectSection,     // delete a profile section
  kEffectProfileWrite,// write a profile entry
  kEffectLeftover,    // hand a file to the user (leftover list)
  kEffectProgram,     // start a program (never started)
  kEffectLibrary,     // load a library (mapped without running its code)
  kEffectCall,        // call a library function (never called)
  kEffectQuestion,    // a notice box of the uninstaller (never shown)
  kEffectCheckBox,    // the box of a running-program check (never shown)
  kEffectRefusal,     // something the run refuses to touch
  kEffectCopy,        // copy a file
  kEffectSchedule,    // delete a file at the next restart
  kEffectStart,       // start the program's copy as stage two
};

struct PreviewEffect {
  PreviewKind kind;
  bool happens;          // the change would succeed (for boxes: always)
  std::string object;    // path, ROOT\key, profile file, command line, box text
  std::string name;      // value name, profile section, function name
  std::string key;       // profile key
  std::string detail;    // value data, entry value, count "3 -> 2", arguments, answer
  std::string why;       // why it would not happen, or what is refused
  // What changes, as the run finds it and as it leaves it: attributes,
  // value data, counts ("deleted" when the count goes), entry values.
  std::string before, after;
  unsigned long long bytes = 0;  // a deleted file's size
  int count = 0;         // values of a deleted key, entries of a deleted section
};

// One action line's run (or one of the steps around them).
constexpr int kStepQuestion = -1;  // stage one before its actions: question, copy
constexpr int kStepPass = -2;      // stage one after them: registration pass, stage two's start
constexpr int kStepEnd = -3;       // stage two after its actions: the copy's own deletion
struct PreviewStep {
  int record;            // index into LogScan::records, or a kStep... above
  std::vector<PreviewEffect> effects;
};

struct PreviewOptions {
  bool answerNo = false;   // answer No to the delete question (message 51)
  // The uninstaller's file name beside the log (its copy's path is in the
  // relaunch line, whose length counts): empty for the program there whose
  // log-name tail names this log, else "uninstaller.exe".
  std::string programName;
};

struct PreviewRun {
  std::vector<PreviewStep> stageOne, stageTwo;
  std::string installFolder, tempFolder;  // current folder of each stage
};

// Runs the preview of a scanned log (ScanLog must have read it). Never
// changes the machine; false with error when it cannot run.
bool RunPreview(const LogScan& scan, const PreviewOptions& options, PreviewRun* run,
                std::string* error);
bool PreviewRunning();  // inside RunPreview (the gate answers as the preview)
std::string FormatPreview(const LogScan& scan, const PreviewRun& run);
std::string FormatPreviewJson(const LogScan& scan, const PreviewRun& run);
// 0 clean, 1 warnings, 2 errors: check's findings, raised to 2 by a
// refusal and to 1 by a change that would fail on this machine.
int PreviewExitCode(const LogScan& scan, const PreviewRun& run);

// Number of conversions (other than %%) in a wsprintf format and how many
// of them are not text conversions (%s, %S and their sized forms).
void CountPlaceholders(const char* format, int* conversions, int* nonText);

// Log-name tail of an uninstaller executable. The uninstaller reads the last
// kTailWindow bytes: the name ends in the last byte (or a NUL there) and
// starts after a NUL at byte 1 or later.
constexpr int kMaxTailName = kTailWindow - 3;
// The name that the uninstaller takes from exe; false with error when the
// file cannot be read or is no executable.
bool ReadTailName(const char* exe, std::string* name, std::string* error);
// Appends name (and a NUL before it when the file does not end in one) so
// that the uninstaller reads exactly this name. Refuses a name the reader
// would misread: empty, longer than kMaxTailName, holding a NUL.
bool StampTailName(const char* exe, const std::string& name, std::string* error);

// The command line: argv without the program name. Writes the report to
// out and progress and errors to err; returns the exit code.
int RunTool(const std::vector<std::string>& args, std::string* out, std::string* err);
