// Running-program checks (B), library calls (C, D) and program runs (E).
#include "actions/actions.h"
#include "common/state.h"
#include "common/gate.h"

namespace {

// Field buffers: log/format.h.
constexpr int kTitleSize = 512;         // window title read by the kind-3 check
constexpr DWORD kMutexAllAccess = 0x1F0001;

// B: the fields of the line being checked, and the window title being read.
char gCheckNumberField[kNumberFieldSize];   // check kind, then answer style
char gSoughtName[kCheckNameSize];           // the file, mutex or title looked for
char gCheckMessage[kCheckTextSize];
char gWindowTitle[kTitleSize];
// C, D: the library call.
char gLibraryPath[kLibraryPathSize];
char gLibraryFile[kLibraryPathSize];
char gFunctionName[kFunctionNameSize];
char gArgumentCountField[kNumberFieldSize];
char gArguments[kMaxArguments][kArgumentSize];
// E: the command line, its program path in long and short form, and the
// line that is started.
char gCommand[kCommandSize];
char gProgramLongPath[kCommandSize];
char gProgramShortPath[kCommandSize];
char gRunLine[kCommandSize];
char gChosenProgram[kCommandSize];
static_assert(LogFieldsAre('B', 0, 1, sizeof gCheckNumberField) &&
                  LogFieldsAre('B', 1, 1, sizeof gSoughtName) &&
                  LogFieldsAre('B', 2, 1, sizeof gCheckMessage) &&
                  LogFieldsAre('B', 3, 1, sizeof gCheckNumberField),
              "B's buffers hold its fields");
static_assert(LogFieldsAre('C', 0, 1, sizeof gLibraryPath) &&
                  LogFieldsAre('C', 1, 1, sizeof gFunctionName) &&
                  LogFieldsAre('C', 2, 1, sizeof gArgumentCountField) &&
                  LogFieldsAre('C', 3, kMaxArguments, sizeof gArguments[0]) &&
                  LogFieldsAre('D', 0, 1, sizeof gLibraryPath) &&
                  LogFieldsAre('D', 1, 1, sizeof gFunctionName) &&
                  LogFieldsAre('D', 2, 1, sizeof gArgumentCountField) &&
                  LogFieldsAre('D', 3, kMaxArguments, sizeof gArguments[0]),
              "C's and D's buffers hold their fields");
static_assert(LogFieldsAre('E', 0, 1, sizeof gCommand), "E's buffer holds its field");
// Where a program named without a full path is looked for: the program's
// folder, the system folder, the Windows folder; never the current folder,
// which in stage two is the temporary folder that every program can write.
char gProgramSearch[3 * kPathSize];

bool HasBlank(const char* text) {
  for (; *text; ++text)
    if (*text == ' ') return true;
  return false;
}

// Check kinds: each returns true when it finds the program (or file) at work.
bool FileInUse(const char* name) {
  WIN32_FIND_DATAA found;
  HANDLE search = GateFindFirstFile(name, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  GateFindClose(search);
  HANDLE file = GateOpenFile(name, GENERIC_READ | GENERIC_WRITE, 0, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return true;
  CloseHandle(file);
  return false;
}

bool MutexExists(const char* name) {
  HANDLE mutex = OpenMutexA(kMutexAllAccess, FALSE, name);
  if (!mutex) return false;
  CloseHandle(mutex);
  return true;
}

bool WindowTitled(const char* name) { return FindWindowA(nullptr, name) != nullptr; }

bool WindowTitleHolds(const char* name) {
  // The enumeration stops (and reports FALSE) at the first window that matches.
  return !EnumWindows(WindowTitleContains, reinterpret_cast<LPARAM>(name));
}

typedef bool (*CheckFunction)(const char* name);
const CheckFunction kChecks[kCheckKindCount] = {FileInUse, MutexExists, WindowTitled,
                                                 WindowTitleHolds};

// Answer styles: the box each shows, and whether its OK button stops (the
// one-button box has no other way to say stop).
struct AnswerStyle {
  UINT boxStyle;
  bool okStops;
};
const AnswerStyle kAnswerStyles[kAnswerStyleCount] = {
    {MB_ABORTRETRYIGNORE | MB_ICONINFORMATION, false},
    {MB_OK | MB_ICONINFORMATION, true},
    {MB_OKCANCEL | MB_ICONINFORMATION, false},
    {MB_RETRYCANCEL | MB_ICONINFORMATION, false},
    {MB_YESNO | MB_ICONQUESTION, false},
    {MB_YESNOCANCEL | MB_ICONQUESTION, false},
};
// A style the table lacks gets the Abort/Retry/Ignore box: it offers every
// way out (check again, stop, go on) and cannot be left unanswered.
constexpr unsigned kFallbackStyle = 0;

enum AnswerEffect { kCheckAgain, kStop, kGoOn };

AnswerEffect EffectOf(int answer, const AnswerStyle& style) {
  switch (answer) {
    case IDOK: return style.okStops ? kStop : kCheckAgain;
    case IDCANCEL:
    case IDABORT: return kStop;
    case IDRETRY:
    case IDYES: return kCheckAgain;
    default: return kGoOn;  // IDIGNORE, IDNO, or a box that failed
  }
}

// Reads the count's arguments (fields 3 onward) as they stand, quotes kept.
// An argument too long for its buffer refuses the call: a cut argument could
// name something else.
bool ReadArguments(const char* fields, int count) {
  for (int i = 0; i < count; ++i)
    if (!GetField(gArguments[i], kArgumentSize, fields, 3 + i)) return false;
  return true;
}

// Rewrites a command line that starts with a quoted program path into the
// path's short form followed by the rest. False leaves the caller's line as
// it stands: no closing quote, no short form, or a result too long. A "short"
// form that still holds a blank (short names switched off on the volume)
// counts as none: unquoted, it would start another program.
bool ShortenProgramPath(const char* line, char* out, int outSize) {
  if (line[0] != '"') return false;
  int close = 1;
  while (line[close] && line[close] != '"') ++close;
  if (!line[close]) return false;
  int length = close - 1;
  if (length >= kCommandSize) return false;
  MoveBytes(gProgramLongPath, line + 1, static_cast<SIZE_T>(length));
  gProgramLongPath[length] = 0;
  DWORD shortLength = GetShortPathNameA(gProgramLongPath, gProgramShortPath, kCommandSize);
  if (shortLength == 0 || shortLength >= static_cast<DWORD>(kCommandSize)) return false;
  if (HasBlank(gProgramShortPath)) return false;
  if (!CopyText(out, outSize, gProgramShortPath)) return false;
  if (!AppendText(out, outSize, line + close + 1)) {
    out[0] = 0;
    return false;
  }
  return true;
}

// The file that one candidate (the command line's first length characters)
// names, as the platform searches it: ".exe" added to a name without an
// extension; a name without a full path looked for in gProgramSearch only.
// Folders are no programs.
bool FindCandidate(const char* line, int length, char* found) {
  if (length >= kCommandSize) return false;
  MoveBytes(gProgramLongPath, line, static_cast<SIZE_T>(length));
  gProgramLongPath[length] = 0;
  static const char* const folders[3] = {gProgramFolder, gSystemFolder, gWindowsFolder};
  FormatText(gProgramSearch, sizeof gProgramSearch, "%s;%s;%s", folders, 3);
  DWORD size = SearchPathA(gProgramSearch, gProgramLongPath, ".exe", kCommandSize, found, nullptr);
  if (size == 0 || size >= static_cast<DWORD>(kCommandSize)) return false;
  DWORD attributes = GateFileAttributes(found);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// An unquoted command line with a blank: the platform would try the text up
// to each blank in turn and start the first that exists, so a program
// planted at a shorter candidate ("C:\Games\Flight.exe" for "C:\Games\Flight
// Sim\tool.exe /x") would run in the package's place. The longest candidate
// that names a file starts instead, by its quoted full path, so that the
// platform searches nothing; none starts nothing.
bool QuoteLongestCandidate(const char* line, char* out, int outSize) {
  int chosen = -1;
  for (int end = 1;; ++end) {
    if ((line[end] == ' ' || !line[end]) && line[end - 1] != ' ' &&
        FindCandidate(line, end, gProgramShortPath)) {
      chosen = end;
      CopyText(gChosenProgram, kCommandSize, gProgramShortPath);
    }
    if (!line[end]) break;
  }
  if (chosen < 0) return false;
  const char* parts[2] = {gChosenProgram, line + chosen};
  if (FormatText(out, outSize, "\"%s\"%s", parts, 2)) return true;
  out[0] = 0;  // never started cut
  return false;
}

}  // namespace

bool LibraryFile(const char* field, char* out, int outSize) {
  out[0] = 0;
  if (IsFullPath(field)) return CopyText(out, outSize, field);
  for (const char* c = field; *c; ++c)
    if (*c == '\\' || *c == '/' || *c == ':') return false;
  return field[0] && PathJoin(out, outSize, gSystemFolder, field) != nullptr;
}

bool ProgramCommandLine(const char* command, char* out, int outSize) {
  out[0] = 0;
  if (command[0] != '"' && HasBlank(command)) return QuoteLongestCandidate(command, out, outSize);
  if (!ShortenProgramPath(command, out, outSize)) return CopyText(out, outSize, command);
  return true;
}

void StripQuotes(char* text) {
  int length = lstrlenA(text);
  if (length < 2 || text[0] != '"' || text[length - 1] != '"') return;
  MoveBytes(text, text + 1, static_cast<SIZE_T>(length - 2));
  text[length - 2] = 0;
}

void ExpandLineBreaks(char* text) {
  int to = 0;
  for (int from = 0; text[from];) {
    if (text[from] == '|' && text[from + 1] == '#') {
      text[to++] = '\n';
      from += 2;
    } else {
      text[to++] = text[from++];
    }
  }
  text[to] = 0;
}

BOOL CALLBACK WindowTitleContains(HWND window, LPARAM text) {
  const char* part = reinterpret_cast<const char*>(text);
  int titleLength = GetWindowTextA(window, gWindowTitle, kTitleSize);
  if (titleLength < 0) titleLength = 0;
  gWindowTitle[titleLength < kTitleSize ? titleLength : kTitleSize - 1] = 0;
  int partLength = lstrlenA(part);
  // A part longer than the title never matches: the loop does not run.
  for (int start = 0; start <= titleLength - partLength; ++start)
    if (StartsWithText(gWindowTitle + start, part)) return FALSE;
  return TRUE;
}

void CheckRunningProgram(const char* actionText) {
  const char* fields = actionText + 1;
  GetFieldCut(gCheckNumberField, kNumberFieldSize, fields, 0);
  unsigned kind = static_cast<unsigned>(ParseDecimal(gCheckNumberField)) & kCheckNumberMask;
  // A name too long for its buffer is not checked: a cut name would test
  // another file, mutex or title.
  if (!GetField(gSoughtName, kCheckNameSize, fields, 1)) return;
  // The message is only shown: an overlong one is cut. The cut takes its
  // closing quote, so its opening quote goes by hand.
  bool cutText = !GetField(gCheckMessage, kCheckTextSize, fields, 2);
  if (cutText) {
    GetFieldCut(gCheckMessage, kCheckTextSize, fields, 2);
    if (gCheckMessage[0] == '"') MoveBytes(gCheckMessage, gCheckMessage + 1, kCheckTextSize - 1);
  }
  GetFieldCut(gCheckNumberField, kNumberFieldSize, fields, 3);
  unsigned styleNumber = static_cast<unsigned>(ParseDecimal(gCheckNumberField)) & kCheckNumberMask;
  StripQuotes(gSoughtName);
  StripQuotes(gCheckMessage);
  ExpandLineBreaks(gCheckMessage);
  if (kind >= static_cast<unsigned>(kCheckKindCount)) return;  // unknown kinds never find anything
  const AnswerStyle& style =
      kAnswerStyles[styleNumber < static_cast<unsigned>(kAnswerStyleCount) ? styleNumber
                                                                          : kFallbackStyle];
  for (;;) {
    if (!kChecks[kind](gSoughtName)) return;
    int answer = GateCheckBox(gDialog, gCheckMessage, gCaption, style.boxStyle);
    AnswerEffect effect = EffectOf(answer, style);
    if (effect == kStop) GateEndProcess();
    if (effect == kGoOn) return;
  }
}

void CallLibraryFunction(const char* actionText, bool stopOnZero) {
  const char* fields = actionText + 1;
  // A path or name too long for its buffer loads or calls nothing: cut, it
  // could name another library or function.
  if (!GetField(gLibraryPath, kLibraryPathSize, fields, 0)) return;
  if (!GetField(gFunctionName, kFunctionNameSize, fields, 1)) return;
  GetFieldCut(gArgumentCountField, kNumberFieldSize, fields, 2);
  int count = ParseDecimal(gArgumentCountField);
  if (!LibraryFile(gLibraryPath, gLibraryFile, kLibraryPathSize)) {
    GateRefuse(gLibraryPath, kRefuseRelativeLibrary);
    return;
  }
  HMODULE library = GateLoadLibrary(gLibraryFile);
  if (!library) return;
  FARPROC function = GetProcAddress(library, gFunctionName);
  bool called = false;
  int result = 0;
  if (function && count >= 0 && count <= kMaxArguments && ReadArguments(fields, count)) {
    static const char* const arguments[kMaxArguments] = {gArguments[0], gArguments[1], gArguments[2],
                                            gArguments[3], gArguments[4]};
    result = GateCallFunction(gLibraryFile, gFunctionName, function, count, arguments);
    called = true;
  }
  FreeLibrary(library);
  if (stopOnZero && called && result == 0) GateEndProcess();
}

void RunProgram(const char* actionText) {
  // A command line too long for its buffer runs nothing: a cut one would run
  // something else.
  if (!GetField(gCommand, kCommandSize, actionText + 1, 0)) return;
  if (!ProgramCommandLine(gCommand, gRunLine, kCommandSize)) {
    GateRefuse(gCommand, kRefuseNoProgram);
    return;
  }
  PROCESS_INFORMATION process;
  if (!StartCommandLine(gRunLine, &process)) return;
  // The primary thread's end counts as the program's end.
  WaitForSingleObject(process.hThread, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}
