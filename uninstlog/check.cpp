// The checks: what the uninstaller will silently do with a log that its
// writer probably did not mean.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <type_traits>
#include "uninstlog/uninstlog.h"
#include "actions/actions.h"
#include "common/helpers.h"
#include "log/format.h"
#include "log/log.h"

constexpr FindingKind kFindingKinds[] = {
    // The log as a whole.
    {"utf16", kError, kError, "the log is saved as UTF-16: no line is read"},
    {"utf8-bom", kError, kError, "a UTF-8 byte-order mark: the first line is lost"},
    {"utf8-text", kError, kError, "UTF-8 characters: paths name nothing, texts show garbled"},
    {"nul-bytes", kError, kError, "NUL bytes: each line is read only up to its first"},
    {"no-action", kError, kError, "no action: the uninstaller asks and removes nothing"},
    {"no-line-end", kError, kNote, "the last line has no line end and is not read (a note when it is no entry)"},
    {"too-many-actions", kError, kError, "past the uninstaller's 19999 actions: the action is lost"},
    {"too-many-messages", kError, kError, "past the uninstaller's 1000 message ids: the message is lost"},
    {"seen-set-full", kWarning, kWarning, "the set of seen lines is full: the line counts as a repeat and is lost"},
    // Line heads and numbers.
    {"not-taken", kWarning, kNote, "the line is not read (a note for headings and comments)"},
    {"nul-byte", kWarning, kWarning, "a NUL byte: the line is read only up to it"},
    {"reserved-number", kWarning, kWarning, "number 65535 is reserved: the line is ignored"},
    {"number-overflow", kWarning, kWarning, "the number does not fit 32 bits"},
    {"number-text", kWarning, kWarning, "text after the number's digits is ignored"},
    {"letter-message", kWarning, kWarning, "an action letter with a number of 1000 or less: the line is a message"},
    {"passed-over", kWarning, kWarning, "a letter without an action: the run passes over the line"},
    {"letter-typo", kWarning, kWarning, "a line that does nothing, and the letter probably meant"},
    {"no-automatic-number", kWarning, kWarning, "number 0 on a letter without automatic numbers: the line became message 0"},
    {"auto-number-message", kError, kError, "so many lines of a letter that its automatic number falls to 1000 or less"},
    {"auto-collision", kWarning, kWarning, "an automatic number runs into another letter's range"},
    {"repeat-dropped", kWarning, kWarning, "a repeat of an earlier action: dropped"},
    {"phase", kNote, kNote, "an action placed in the other stage than its letter's own"},
    // Fields.
    {"not-a-number", kWarning, kWarning, "a number field that is not a plain number"},
    {"field-too-long", kWarning, kWarning, "a field longer than the uninstaller holds"},
    {"b-kind", kWarning, kWarning, "a check kind other than 0 to 3: the check never finds anything"},
    {"b-empty-name", kError, kWarning, "an empty name to check for (an error with kind 3, which always finds one)"},
    {"b-missing-field", kWarning, kWarning, "a B line with fewer than 4 fields"},
    {"b-style", kWarning, kWarning, "an answer style other than 0 to 5"},
    {"b-empty-message", kWarning, kWarning, "an empty message text: the box shows no text"},
    {"c-empty-library", kWarning, kWarning, "an empty library path"},
    {"c-empty-function", kWarning, kWarning, "an empty function name"},
    {"c-relative-library", kWarning, kWarning, "a library path neither full nor a bare name: nothing is loaded"},
    {"c-bare-library", kWarning, kWarning, "a bare library name the system folder lacks"},
    {"c-system-library", kNote, kNote, "a bare library name, loaded from the system folder"},
    {"c-no-count", kWarning, kWarning, "no argument count field"},
    {"c-count", kWarning, kWarning, "an argument count other than 0 to 5: the function is not called"},
    {"c-missing-argument", kWarning, kWarning, "fewer arguments than the count"},
    {"e-empty", kWarning, kWarning, "an empty command line"},
    {"e-unquoted", kWarning, kWarning, "an unquoted program path with a blank"},
    {"j-root", kError, kError, "a root other than 0 to 3: the line names no key"},
    {"j-empty-key", kError, kError, "an empty key path: the root key itself, and nothing is removed"},
    {"j-broad-key", kError, kError, "a whole key directly below the root"},
    {"j-system-key", kError, kError, "a whole key that holds every program's uninstall registration"},
    {"j-link", kError, kError, "a key that is a registry link on this machine"},
    {"j-no-value", kWarning, kWarning, "no value-name field: a value is deleted, not the key"},
    {"k-empty", kWarning, kWarning, "an empty shared file path"},
    {"m-empty-file", kWarning, kWarning, "an empty profile file path"},
    {"m-empty-section", kWarning, kWarning, "an empty section name"},
    {"m-no-key", kWarning, kWarning, "no key field: a key is removed, not the section"},
    // Paths of P and U lines.
    {"empty-path", kError, kError, "an empty path: the line removes nothing"},
    {"no-mode", kWarning, kWarning, "no mode field"},
    {"p-mode", kWarning, kWarning, "a mode above 2: files are only recorded as handled"},
    {"refused-pattern", kError, kError, "a refused pattern: a folder part under 4 characters, or a drive or share root"},
    {"device-path", kError, kError, "a wildcard or a tree in the NT or device namespace"},
    {"names-nothing", kError, kError, "a path with no file or folder name at its end"},
    {"relative-path", kWarning, kWarning, "a path that is not a full path"},
    {"long-path", kError, kError, "a path of 260 characters or more"},
    {"bad-character", kError, kError, "a character no file name holds"},
    {"u-drive-root", kError, kError, "a U line on a drive root"},
    {"u-top-level", kWarning, kWarning, "a U line on a top-level folder or its contents"},
    {"protected-folder", kError, kError, "a sweep of a folder the uninstaller keeps: refused"},
    {"protected-wildcard", kWarning, kWarning, "a wildcard in a protected folder, with the files it takes here"},
    {"sweeps-foreign", kError, kError, "a sweep that takes an M line's profile file or a K line's shared library"},
    {"sweeps-above-package", kError, kError, "a sweep of a folder that holds the package's own"},
    {"stage-one-log", kError, kError, "a stage-one sweep that reaches the log"},
    {"swept-first", kWarning, kWarning, "a mode-1 or mode-2 file that a sweep deletes first"},
    // Messages.
    {"missing-message", kWarning, kWarning, "a message the uninstaller reads is missing"},
    {"message-replaced", kWarning, kWarning, "a message defined again: the later text counts"},
    {"too-many-placeholders", kError, kError, "more placeholders than the uninstaller supplies"},
    {"non-text-placeholder", kWarning, kWarning, "a placeholder other than %s: it shows a number"},
    {"message-cut", kWarning, kWarning, "a message longer than the uninstaller shows"},
    {"name-cut", kWarning, kWarning, "a product name longer than the uninstaller keeps"},
    {"caption-cut", kWarning, kWarning, "a caption longer than the uninstaller keeps"},
    // The stage-one removal of the uninstall registration.
    {"j-stage-one", kNote, kNote, "stage one deletes this product key"},
    {"j-stage-one-root", kWarning, kWarning, "stage one deletes under HKEY_LOCAL_MACHINE, whatever root the line names"},
    {"j-stage-one-key", kWarning, kWarning, "stage one deletes another key than the line's key path"},
    {"j-stage-one-not-action", kWarning, kWarning, "a line that is no action, yet stage one deletes its key"},
    {"j-stage-one-missed", kWarning, kWarning, "an uninstall registration that stage one does not delete"},
};
constexpr int kFindingKindCount = sizeof kFindingKinds / sizeof kFindingKinds[0];

int NoSuchFindingCode();  // never defined: a code the table lacks does not compile

namespace {

constexpr bool SameCode(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}
constexpr int FindingIndex(const char* code) {
  for (int i = 0; i < kFindingKindCount; ++i)
    if (SameCode(kFindingKinds[i].code, code)) return i;
  return NoSuchFindingCode();
}
// The row of a finding code, looked up while compiling.
#define FINDING(code) std::integral_constant<int, FindingIndex(code)>::value

// Where a letter's automatic numbers belong: from its first number, in its
// direction, until they meet another letter's first number or the edge of
// its stage.
struct AutoRange { int low; int high; };
AutoRange RangeOfKind(int kind) {
  const LogKind& k = kLogKinds[kind];
  bool early = k.autoBase < kPhaseBoundary;
  AutoRange range = {early ? kFirstActionNumber : kPhaseBoundary,
                     early ? kPhaseBoundary - 1 : kReservedNumber - 1};
  for (const LogKind& o : kLogKinds) {
    if (k.autoStep > 0 && o.autoBase > k.autoBase)
      range.high = std::min(range.high, o.autoStep > 0 ? o.autoBase - 1 : o.autoBase);
    if (k.autoStep < 0 && o.autoBase < k.autoBase)
      range.low = std::max(range.low, o.autoStep < 0 ? o.autoBase + 1 : o.autoBase);
  }
  if (k.autoStep > 0) range.low = k.autoBase;
  else range.high = k.autoBase;
  return range;
}

struct TextLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
           CSTR_LESS_THAN;
  }
};

std::string Quote(const std::string& text) {
  if (text.size() > 70) return "\"" + text.substr(0, 67) + "...\"";
  return "\"" + text + "\"";
}

std::string Letter(char c) { return std::string("'") + c + "'"; }

// The line's own number as the loader reads it: from the first 63 bytes of
// the number part only.
std::string NumberPartRead(const TakenLine& t) { return t.head.substr(0, kNumberPartSize - 1); }
int OwnNumber(const TakenLine& t) { return ParseDecimal(NumberPartRead(t).c_str()); }

bool HasCounter(char letter) { return LogKindIndex(letter) >= 0; }

bool IsDriveRoot(const std::string& path) {
  bool letter = path.size() >= 2 && ((path[0] >= 'A' && path[0] <= 'Z') ||
                                     (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':';
  return letter && (path.size() == 2 || (path.size() == 3 && path[2] == '\\'));
}

bool IsAbsolute(const std::string& path) {
  return IsDevicePath(path.c_str()) || (path.size() >= 3 && path[1] == ':' && path[2] == '\\') ||
         (path.size() >= 2 && path[0] == '\\' && path[1] == '\\');
}

bool HasWildcard(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

// What a P or U mode does to the files, for a mode the line did not write.
std::string ModeConsequence(char letter, int mode) {
  if (letter == 'P' && mode == kFileModeDelete) return ", so the files are deleted without asking";
  if (letter == 'U' && mode == kFolderModeListFiles)
    return ", so every file is left for the user and only empty folders go";
  return "";
}

struct Checker;
// A path the ANSI file calls cannot reach; true when reported.
bool CheckLongPath(Checker& c, const TakenLine& t, const std::string& path);

struct Checker {
  const LogScan& scan;
  std::vector<Finding> findings;
  // Looked up once per line: a log may hold tens of thousands of lines.
  std::map<int, int> currentMessageLine;  // message id -> line of its text
  std::set<int> passKeyLines;             // lines whose key stage one deletes
  std::set<int> nonActionLines;           // taken lines that made no record

  void Index() {
    for (const TakenLine& t : scan.taken) {
      if (t.messageCurrent) currentMessageLine[t.messageId] = t.line;
      if (t.recordIndex < 0) nonActionLines.insert(t.line);
    }
    for (const PassKey& k : scan.passKeys) passKeyLines.insert(k.line);
  }

  // lower: the harmless case of the finding, with its row's lower severity.
  void Add(int line, int finding, const std::string& text, bool lower = false) {
    const FindingKind& kind = kFindingKinds[finding];
    findings.push_back({line, lower ? kind.lower : kind.severity, kind.code, text});
  }

  void NumberField(const TakenLine& t, int n, const char* name, bool allowEmpty) {
    bool missing = false;
    std::string field = ActionField(t.action, n, &missing);
    if (missing) return;  // reported by the letter's own check
    if (field.empty() && allowEmpty) return;
    if (!IsPlainNumber(field))
      Add(t.line, FINDING("not-a-number"),
          std::string(name) + " field " + Quote(field) + " is not a number: it reads as " +
              std::to_string(ParseDecimal(field.c_str())));
  }

  void FieldLengths(const TakenLine& t) {
    int kind = LogKindIndex(t.action[0]);
    if (kind < 0) return;
    for (int n = 0; n < LogFieldCount(kind); ++n) {
      const LogField& f = kLogKindRows[kind].fields[n];
      if (f.number) continue;  // only its leading digits count
      bool missing = false;
      std::string field = ActionField(t.action, n, &missing);
      if (!missing && static_cast<int>(field.size()) >= f.size)
        Add(t.line, FINDING("field-too-long"),
            std::string(f.name) + " field has " + std::to_string(field.size()) +
                " characters; the uninstaller holds at most " + std::to_string(f.size - 1));
    }
  }

  void CheckB(const TakenLine& t) {
    bool noStyle = false;
    int kind = ParseDecimal(ActionField(t.action, 0).c_str()) & kCheckNumberMask;
    std::string name = ActionField(t.action, 1);
    std::vector<char> stripped(name.begin(), name.end());
    stripped.push_back(0);
    StripQuotes(stripped.data());  // the check removes them before it looks
    bool emptyName = stripped[0] == 0;
    std::string message = ActionField(t.action, 2);
    int style = ParseDecimal(ActionField(t.action, 3, &noStyle).c_str()) & kCheckNumberMask;
    NumberField(t, 0, "check kind", true);
    NumberField(t, 3, "answer style", true);
    if (kind >= kCheckKindCount)
      Add(t.line, FINDING("b-kind"),
          "check kind " + std::to_string(kind) + " is not 0 to " +
              std::to_string(kCheckKindCount - 1) + ": the check never finds anything");
    if (emptyName) {
      if (kind == 3)
        Add(t.line, FINDING("b-empty-name"),
            "check kind 3 with an empty name: every window title contains it, so the check "
            "always finds something and the user can only stop or go on");
      else if (kind <= 2)
        Add(t.line, FINDING("b-empty-name"), "the name to check for is empty", true);
    }
    if (noStyle)
      Add(t.line, FINDING("b-missing-field"),
          "the line has fewer than 4 fields: the answer style reads as " + std::to_string(style));
    else if (style >= kAnswerStyleCount)
      Add(t.line, FINDING("b-style"),
          "answer style " + std::to_string(style) + " is not 0 to " +
              std::to_string(kAnswerStyleCount - 1) + ": no box style is defined for it");
    if (message.empty() && kind < kCheckKindCount)
      Add(t.line, FINDING("b-empty-message"), "the message text is empty: the box shows no text");
  }

  // A library is a full path; a bare name is taken from the system folder.
  void CheckLibraryPath(const TakenLine& t, const std::string& library) {
    char file[kLibraryPathSize];
    if (IsFullPath(library.c_str())) return;
    if (!LibraryFile(library.c_str(), file, kLibraryPathSize))
      Add(t.line, FINDING("c-relative-library"),
          "the library path " + library +
              " is neither a full path nor a bare file name: nothing is loaded or called");
    else if (GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES)
      Add(t.line, FINDING("c-bare-library"),
          "the bare library name " + library + " names " + file +
              " in the system folder, which is not there on this machine, never a library beside "
              "the uninstaller: nothing is loaded or called; write the full path");
    else
      Add(t.line, FINDING("c-system-library"),
          "the bare library name " + library + " loads " + file + " from the system folder");
  }

  // An unquoted path whose first word has no extension goes on past a blank:
  // the platform would try that word first ("C:\\Games\\Flight.exe" for
  // "C:\\Games\\Flight Sim\\tool.exe"); the uninstaller starts the longest
  // program the line can name instead.
  void CheckProgramPath(const TakenLine& t, const std::string& command) {
    size_t blank = command.find(' ');
    if (command.empty() || command[0] == '"' || blank == std::string::npos) return;
    std::string first = command.substr(0, blank);
    size_t slash = first.find_last_of('\\');
    if (slash == std::string::npos || first.find('.', slash) != std::string::npos) return;
    Add(t.line, FINDING("e-unquoted"),
        "the program path holds a blank: write the program path in double quotes (the "
        "uninstaller starts the longest program the line can name; on this machine: " +
            StartedProgram(command) + ")");
  }

  void CheckLibraryCall(const TakenLine& t) {
    bool noCount = false;
    std::string library = ActionField(t.action, 0);
    std::string function = ActionField(t.action, 1);
    std::string countText = ActionField(t.action, 2, &noCount);
    int count = ParseDecimal(countText.c_str());
    if (library.empty()) Add(t.line, FINDING("c-empty-library"), "the library path is empty");
    else CheckLibraryPath(t, library);
    if (function.empty()) Add(t.line, FINDING("c-empty-function"), "the function name is empty");
    if (noCount) {
      Add(t.line, FINDING("c-no-count"),
          "no argument count field: the count reads as " + std::to_string(count) +
              " from the whole field list");
    } else {
      NumberField(t, 2, "argument count", false);
    }
    if (count < 0 || count > kMaxArguments) {
      Add(t.line, FINDING("c-count"),
          "argument count " + std::to_string(count) + " is not 0 to " +
              std::to_string(kMaxArguments) + ": the function is not called");
      return;
    }
    for (int i = 1; i <= count; ++i) {
      bool missing = false;
      ActionField(t.action, 2 + i, &missing);
      if (missing)
        Add(t.line, FINDING("c-missing-argument"),
            "argument " + std::to_string(i) + " of " + std::to_string(count) +
                " is missing: the function gets the whole field list in its place");
    }
  }

  void CheckJ(const TakenLine& t) {
    bool noValue = false;
    std::string rootText = ActionField(t.action, 0);
    int root = ParseDecimal(rootText.c_str()) & kRootMask;
    std::string key = ActionField(t.action, 1);
    std::string value = ActionField(t.action, 2, &noValue);
    // Trailing backslashes name the same key: the uninstaller deletes it so.
    std::string trimmed = key;
    while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
    if (rootText.empty())
      Add(t.line, FINDING("not-a-number"),
          "the root field is empty: it reads as 0 (HKEY_CLASSES_ROOT)");
    else
      NumberField(t, 0, "root", false);
    if (root >= kRootCount)
      Add(t.line, FINDING("j-root"),
          "root " + std::to_string(root) + " is not 0 to " + std::to_string(kRootCount - 1) +
              ": it names no root key and nothing is removed");
    if (key.find_first_not_of('\\') == std::string::npos) {
      // Backslashes alone name the root too; the uninstaller then touches nothing.
      Add(t.line, FINDING("j-empty-key"),
          "the key path is empty or only backslashes: the line names the root key itself, "
          "and nothing is removed");
    } else if (value.empty() && !noValue && root >= 1 && root < kRootCount &&
               trimmed.find('\\') == std::string::npos &&
               !(root == 2 && StartsWithText(kUninstallPrefix, (trimmed + "\\").c_str()))) {
      Add(t.line, FINDING("j-broad-key"),
          "the whole key " + Quote(key) + " directly below the root is deleted with all its subkeys");
    }
    // Deleting a key that holds every program's uninstall registration.
    if (value.empty() && !noValue && root == 2 && !trimmed.empty() &&
        (SameText(trimmed.c_str(), kUninstallPrefix) ||
         StartsWithText(kUninstallPrefix, (trimmed + "\\").c_str())))
      Add(t.line, FINDING("j-system-key"),
          "stage two deletes the whole key " + Quote(key) +
              ", which holds the uninstall registration of every program");
    // Judged on this machine's registry, as the removal judges it: a path
    // through a link leads where the platform takes it; only a tree that is
    // itself a link loses just the link.
    HKEY rootKey = RootKeyOf(root);
    if (value.empty() && !noValue && rootKey && !trimmed.empty() &&
        IsRegistryLink(rootKey, key.c_str()))
      Add(t.line, FINDING("j-link"),
          "the key " + Quote(key) + " is a registry link on this machine: the uninstaller "
          "deletes the link only, never the key it points to");
    if (noValue)
      Add(t.line, FINDING("j-no-value"),
          "no value-name field: stage two does not delete the key, only a value named " +
              Quote(t.action.substr(1)) + " (end the line with a comma to delete the whole key)");
    // A line under the uninstall registration that the stage-one pass does
    // not take.
    bool passTakes = passKeyLines.count(t.line) != 0;
    if (!passTakes && StartsWithText(key.c_str(), kUninstallPrefix)) {
      std::string why = rootText.size() != 1  ? "its root field is not one character"
                        : noValue             ? "it has no value-name field"
                        : t.action.size() > kKeyPathStart + kUninstallLineSize - 1
                            ? "its text from the key path on is longer than " +
                                  std::to_string(kUninstallLineSize - 1) + " characters"
                                              : "its key is not one product's key below the uninstall key";
      Add(t.line, FINDING("j-stage-one-missed"),
          "stage one does not delete this uninstall registration because " + why +
              ": it stays until stage two");
    }
  }

  void CheckFileLine(const TakenLine& t) {
    char letter = t.action[0];
    bool noMode = false;
    std::string path = ActionField(t.action, 0);
    std::string modeText = ActionField(t.action, 1, &noMode);
    int mode = ParseDecimal(modeText.c_str()) & kModeMask;
    if (path.empty()) {
      Add(t.line, FINDING("empty-path"), "the path is empty: the line removes nothing");
      return;
    }
    if (noMode)
      Add(t.line, FINDING("no-mode"),
          "no mode field: the mode reads as " + std::to_string(mode) +
              " from the whole field list" + ModeConsequence(letter, mode));
    else
      NumberField(t, 1, "mode", true);
    if (ForbiddenCharacter(t, path)) return;
    // The removal takes "/" as a separator too: judge the path as it does.
    for (char& c : path)
      if (c == '/') c = '\\';
    if (!NamesNoEntry(path.c_str()) && CheckLongPath(*this, t, path)) return;
    // The removal's own judgement, made on this machine's folders.
    switch (RefusalOf(path.c_str(), letter == 'U')) {
      case kRefuseShortFolder:
        Add(t.line, FINDING("refused-pattern"),
            "the wildcard pattern is refused (its folder part is shorter than 4 characters): "
            "the line removes nothing");
        return;
      case kRefuseRoot:
        Add(t.line, FINDING("refused-pattern"),
            "the wildcard pattern works on a drive or share root, however it is spelled: it is "
            "refused and the line removes nothing");
        return;
      case kRefuseDevice:
        Add(t.line, FINDING("device-path"),
            "a wildcard or a folder tree in the NT or device namespace (\\??\\, \\\\?\\, "
            "\\\\.\\) is refused outright: the line removes nothing");
        return;
      case kRefuseProtected:
        ProtectedRefusal(t, path);
        return;
    }
    if (NamesNoEntry(path.c_str()) && !(letter == 'U' && IsDriveRoot(path))) {
      Add(t.line, FINDING("names-nothing"),
          "the path has no file or folder name at its end (it ends in a backslash, is a bare "
          "drive, or its last part is . or .. or longer than " +
              std::to_string(kNamePartSize - 1) + " characters): the line removes nothing");
      return;
    }
    ProtectedWildcard(t, letter, path);
    if (!IsAbsolute(path))
      Add(t.line, FINDING("relative-path"),
          "the path is not a full path: it is looked up from the current folder of the run "
          "(the temporary folder in stage two)");
    if (letter == 'P' && mode >= kFileModeCount)
      Add(t.line, FINDING("p-mode"),
          "mode " + std::to_string(mode) + ": matching files are only recorded as handled, "
          "none is deleted");
    if (letter != 'U') return;
    std::vector<char> folder(path.begin(), path.end());
    folder.push_back(0);
    StripLastComponent(folder.data());
    std::vector<char> name(path.size() + 1, 0);
    PathFileName(path.c_str(), name.data(), static_cast<int>(name.size()));
    std::string folderPart = folder.data();
    std::string namePart = name.data();
    if (IsDriveRoot(path) || (IsDriveRoot(folderPart) && HasWildcard(namePart))) {
      Add(t.line, FINDING("u-drive-root"),
          "the line works on the root of drive " + path.substr(0, 2) + "\\");
    } else if (IsDriveRoot(folderPart)) {
      Add(t.line, FINDING("u-top-level"),
          "the line removes the top-level folder " + path + " and what the mode allows below it");
    } else if (HasWildcard(namePart) && IsAbsolute(folderPart + "\\") && folderPart.size() > 3 &&
               folderPart.find('\\', 3) == std::string::npos) {
      Add(t.line, FINDING("u-top-level"),
          "the line works on the contents of the top-level folder " + folderPart);
    }
  }

  // No file name holds '"', '<', '>', '|' or a control character; the
  // search reads the first three as wildcards. The removal touches nothing.
  bool ForbiddenCharacter(const TakenLine& t, const std::string& path) {
    for (unsigned char c : path) {
      if (c >= ' ' && c != '"' && c != '<' && c != '>' && c != '|') continue;
      std::string shown = c < ' ' ? "control character " + std::to_string(c)
                                  : std::string("'") + static_cast<char>(c) + "'";
      Add(t.line, FINDING("bad-character"),
          "the path holds " + shown + ", which no file name may hold" +
              (c == '"' ? " (double quotes stay part of the path; write it without them)" : "") +
              ": the line removes nothing");
      return true;
    }
    return false;
  }

  static constexpr const char* kKeptFolders =
      "a folder that Windows or the user keeps (the Windows, system, program, application "
      "data, profile, Desktop, Documents, Downloads, Start Menu or temporary folder, or a "
      "folder above one, however it is reached)";

  void ProtectedRefusal(const TakenLine& t, const std::string& path) {
    std::string name = path.substr(path.find_last_of('\\') + 1);
    std::string what = !HasWildcard(name) ? "the line sweeps "
                       : name.find_first_not_of("*?.") == std::string::npos
                           ? "the pattern matches every name in "
                           : "the pattern begins with a wildcard (a whole class of files, such "
                             "as *.ini) in ";
    Add(t.line, FINDING("protected-folder"),
        what + kKeptFolders + ": it is refused and the line removes nothing");
  }

  // A wildcard with a literal stem still works in a kept folder: name what
  // it takes there on this machine, as the removal would match it.
  void ProtectedWildcard(const TakenLine& t, char letter, const std::string& path) {
    size_t cut = path.find_last_of('\\');
    if (cut == std::string::npos) return;
    std::string folder = path.substr(0, cut == 2 && path[1] == ':' ? 3 : cut);
    std::string name = path.substr(cut + 1);
    if (!HasWildcard(name) || ProtectionOf(folder.c_str()) == kRefuseNone) return;
    std::vector<char> pattern(name.begin(), name.end());
    pattern.push_back(0);
    bool own = IsOwnPattern(pattern.data());
    std::string search = own ? (folder.back() == '\\' ? folder : folder + "\\") + "*.*" : path;
    std::vector<std::string> taken;
    WIN32_FIND_DATAA entry;
    HANDLE found = FindFirstFileA(search.c_str(), &entry);
    if (found != INVALID_HANDLE_VALUE) {
      do {
        bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::string full = (folder.back() == '\\' ? folder : folder + "\\") + entry.cFileName;
        if (own && !NamePartMatches(pattern.data(), entry.cFileName)) continue;
        if (isFolder && (letter == 'P' || lstrcmpA(entry.cFileName, ".") == 0 ||
                         lstrcmpA(entry.cFileName, "..") == 0 ||
                         ProtectionOf(full.c_str()) != kRefuseNone))
          continue;
        taken.push_back(full + (isFolder ? "\\" : ""));
      } while (FindNextFileA(found, &entry));
      FindClose(found);
    }
    std::sort(taken.begin(), taken.end());
    std::string list;
    for (size_t i = 0; i < taken.size() && i < kNamedMatches; ++i)
      list += (i ? ", " : "") + taken[i];
    if (taken.size() > kNamedMatches)
      list += " and " + std::to_string(taken.size() - kNamedMatches) + " more";
    Add(t.line, FINDING("protected-wildcard"),
        "the pattern works in " + std::string(kKeptFolders) + "; on this machine it takes " +
            (taken.empty() ? std::string("nothing") : list));
  }
  static constexpr size_t kNamedMatches = 20;

  void CheckAction(const TakenLine& t) {
    char letter = t.action[0];
    int order = t.number;
    if (!HandlerOf(letter)) {
      Add(t.line, FINDING("passed-over"),
          "kind letter " + Letter(letter) + " has no action (letters are case-sensitive): "
          "the run passes over this line");
      return;
    }
    bool early = order < kPhaseBoundary;
    bool earlyLetter = RangeOfKind(LogKindIndex(letter)).high < kPhaseBoundary;
    if (early != earlyLetter)
      Add(t.line, FINDING("phase"),
          std::string(Letter(letter)) + " line with order number " + std::to_string(order) +
              (early ? " runs in stage one, before stage two starts"
                     : " runs in stage two, after the other early actions and the question"));
    FieldLengths(t);
    switch (letter) {
      case 'B': CheckB(t); break;
      case 'C':
      case 'D': CheckLibraryCall(t); break;
      case 'E':
        if (ActionField(t.action, 0).empty())
          Add(t.line, FINDING("e-empty"), "the command line is empty: nothing is started");
        CheckProgramPath(t, ActionField(t.action, 0));
        break;
      case 'J': CheckJ(t); break;
      case 'K':
        if (ActionField(t.action, 0).empty())
          Add(t.line, FINDING("k-empty"), "the shared file's path is empty");
        break;
      case 'M': {
        bool noKey = false;
        if (ActionField(t.action, 0).empty())
          Add(t.line, FINDING("m-empty-file"), "the profile file path is empty");
        if (ActionField(t.action, 1).empty())
          Add(t.line, FINDING("m-empty-section"), "the section name is empty");
        ActionField(t.action, 2, &noKey);
        if (noKey)
          Add(t.line, FINDING("m-no-key"),
              "no key field: the line removes a key named " + Quote(t.action.substr(1)) +
                  ", not the section (end the line with a comma to remove the section)");
        break;
      }
      case 'P':
      case 'U': CheckFileLine(t); break;
    }
  }

  void CheckNumberPart(const TakenLine& t) {
    bool digitsOnly = IsPlainNumber(t.head);
    const std::string head = NumberPartRead(t);
    size_t digits = 0;
    while (digits < head.size() && IsDecimalDigit(head[digits])) ++digits;
    long long value = 0;
    bool overflow = false;
    for (size_t i = 0; i < digits; ++i) {
      value = value * 10 + (head[i] - '0');
      if (value > 2147483647LL) { overflow = true; break; }
    }
    int reads = OwnNumber(t);
    if (overflow)
      Add(t.line, FINDING("number-overflow"),
          "the number " + Quote(head.substr(0, digits)) + " does not fit 32 bits: it reads as " +
              std::to_string(reads));
    else if (!digitsOnly)
      Add(t.line, FINDING("number-text"),
          "the number part " + Quote(t.head) + " reads as " + std::to_string(reads) +
              ": everything after its digits is ignored");
  }

  void CheckMessageLine(const TakenLine& t, const std::map<std::string, int, TextLess>& firsts) {
    char letter = t.raw[0];
    int own = OwnNumber(t);
    int id = t.messageId;
    bool repeat = false;
    if (letter != 'A') {
      if (own != 0) {
        Add(t.line, FINDING("letter-message"),
            "number " + std::to_string(own) + " is " + std::to_string(kFirstActionNumber - 1) + " or less: this " + Letter(letter) +
                " line defines message " + std::to_string(id) + ", not an action");
      } else if (t.setFull) {
        Add(t.line, FINDING("seen-set-full"),
            "the uninstaller's set of seen lines is full (" + std::to_string(kSetCapacity) +
                "): the line counts as a repeat and became message 0");
        repeat = true;
      } else if (!t.entered) {
        auto first = firsts.find(t.action);
        Add(t.line, FINDING("repeat-dropped"),
            "repeats line " + std::to_string(first != firsts.end() ? first->second : 0) +
                " (same letter and fields, case ignored): dropped; its text became message 0");
        repeat = true;
      } else if (HasCounter(letter)) {
        Add(t.line, FINDING("auto-number-message"),
            "the automatic number " + std::to_string(t.number) + " of this " + Letter(letter) +
                " line is " + std::to_string(kFirstActionNumber - 1) + " or less: the line became message " + std::to_string(id));
      } else {
        Add(t.line, FINDING("no-automatic-number"),
            "kind letter " + Letter(letter) + " takes no automatic order number: "
            "the line became message 0");
        repeat = true;
      }
    }
    if (FindMessageIndex(static_cast<WORD>(id)) == kNoMessage) {
      Add(t.line, FINDING("too-many-messages"),
          "the message table is full (" + std::to_string(kMaxMessages) + " ids): message " +
              std::to_string(id) + " is ignored");
    } else if (!t.messageCurrent && !repeat && id != 0) {
      auto current = currentMessageLine.find(id);
      int later = current != currentMessageLine.end() ? current->second : 0;
      Add(t.line, FINDING("message-replaced"),
          "message " + std::to_string(id) + " is defined again on line " + std::to_string(later) +
              ", which replaces this text");
    }
  }

  // Automatic numbers outside their letter's range: one finding per pair of
  // letters, at the first such line.
  void CheckAutomaticNumbers() {
    std::map<std::pair<char, char>, std::pair<int, int>> reported;  // finding, how many more
    for (const TakenLine& t : scan.taken) {
      char letter = t.raw[0];
      if (!t.entered || !HasCounter(letter) || OwnNumber(t) != 0 ||
          t.number < kFirstActionNumber)
        continue;
      const AutoRange own = RangeOfKind(LogKindIndex(letter));
      if (t.number >= own.low && t.number <= own.high) continue;
      char other = '?';
      for (int kind = 0; kind < kLogKindCount; ++kind) {
        const AutoRange r = RangeOfKind(kind);
        if (kLogKinds[kind].letter != letter && t.number >= r.low && t.number <= r.high)
          other = kLogKinds[kind].letter;
      }
      auto key = std::make_pair(letter, other);
      auto it = reported.find(key);
      if (it != reported.end()) {
        ++it->second.second;
        continue;
      }
      reported[key] = {static_cast<int>(findings.size()), 0};
      bool early = t.number < kPhaseBoundary;
      std::string where = other == '?' ? "lies outside every letter's range"
                                       : "lies in the range of " + Letter(other) + " lines";
      Add(t.line, FINDING("auto-collision"),
          "the automatic order number " + std::to_string(t.number) + " of this " + Letter(letter) +
              " line " + where + "; it runs in stage " + (early ? "one" : "two"));
    }
    for (const auto& r : reported)
      if (r.second.second > 0)
        findings[r.second.first].text +=
            " (and " + std::to_string(r.second.second) + " later lines of this letter)";
  }

  void CheckMessages() {
    bool askingP = false;
    std::vector<int> orders;
    for (const PlanRecord& r : scan.records) {
      orders.push_back(r.order);
      if (r.action[0] == 'P' &&
          (ParseDecimal(ActionField(r.action, 1).c_str()) & kModeMask) == kFileModeAsk)
        askingP = true;
    }
    auto lineOfMessage = [this](int id) {
      auto current = currentMessageLine.find(id);
      return current != currentMessageLine.end() ? current->second : 0;
    };
    for (int i = 0; i < kProgramMessageCount; ++i) {
      const ProgramMessage& m = kProgramMessages[i];
      std::string role = kProgramMessageRoles[i];
      bool needed = m.readWhen == kReadAlways || (m.readWhen == kReadWhenAsking && askingP);
      if (m.readWhen == kReadAtNoteStep) {
        for (const NoteStep& step : kNoteSteps) {
          if (step.firstNote != m.id && step.secondNote != m.id) continue;
          role += " at order number " + std::to_string(step.orderNumber);
          if (std::find(orders.begin(), orders.end(), step.orderNumber) != orders.end())
            needed = true;
        }
      }
      std::string id = std::to_string(m.id);
      if (FindMessageIndex(static_cast<WORD>(m.id)) == kNoMessage) {
        if (needed)
          Add(0, FINDING("missing-message"),
              "message " + id + " (" + role + ") is missing: the uninstaller shows an empty text");
        continue;
      }
      int line = lineOfMessage(m.id);
      std::string text = GetMessageText(m.id);
      int conversions = 0, nonText = 0;
      int values = m.formatValues;
      if (values != kNotFormatted) CountPlaceholders(text.c_str(), &conversions, &nonText);
      if (values != kNotFormatted && conversions > values)
        Add(line, FINDING("too-many-placeholders"),
            "message " + id + " has " + std::to_string(conversions) + " placeholders, but the "
            "uninstaller supplies " + std::to_string(values) + ": the rest show as empty text");
      else if (nonText > 0)
        Add(line, FINDING("non-text-placeholder"),
            "message " + id + " has a placeholder other than %s: it shows a number, not the text");
      bool cut = false;
      for (const TakenLine& t : scan.taken)
        if (t.messageCurrent && t.messageId == m.id && t.action.size() - 1 > kMessageSize - 1)
          cut = true;
      if (cut)
        Add(line, FINDING("message-cut"),
            "message " + id + " is longer than " + std::to_string(kMessageSize - 1) +
                " characters: it is cut there");
    }
    std::string product = GetMessageText(kProductNameId);
    std::string prefix = GetMessageText(kCaptionId);
    const std::string nameId = std::to_string(kProductNameId);
    const std::string longest = std::to_string(kNameSize - 1);
    if (static_cast<int>(product.size()) > kNameSize - 1)
      Add(lineOfMessage(kProductNameId), FINDING("name-cut"),
          "the product name (message " + nameId + ") is longer than " + longest +
              " characters: it is cut there");
    if (static_cast<int>(prefix.size() + 1 + product.size()) > kNameSize - 1)
      Add(lineOfMessage(kCaptionId), FINDING("caption-cut"),
          "the caption (message " + std::to_string(kCaptionId) + ", a space, message " + nameId +
              ") is longer than " + longest + " characters: it is cut there");
  }

  void CheckStageOneKeys() {
    for (const PassKey& k : scan.passKeys) {
      Add(k.line, FINDING("j-stage-one"),
          "stage one deletes HKEY_LOCAL_MACHINE\\" + k.key + " with all its subkeys");
      std::string root = ActionField(k.action, 0);
      std::string key = ActionField(k.action, 1);
      if (root != "2")
        Add(k.line, FINDING("j-stage-one-root"),
            "the line names root " + root + ", but stage one deletes under HKEY_LOCAL_MACHINE");
      if (!SameText(key.c_str(), k.key.c_str()))
        Add(k.line, FINDING("j-stage-one-key"),
            "stage one deletes " + Quote(k.key) + ", which is not the line's key path " + Quote(key));
      if (nonActionLines.count(k.line))
        Add(k.line, FINDING("j-stage-one-not-action"),
            "this line is no action, yet stage one still deletes the key it names");
    }
  }
};

}  // namespace

// ---- What the mistakes package makers really make do to the pilot ----------

namespace {

// A path as the removal splits it: slashes are backslashes.
std::string Slashed(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string FolderOf(const std::string& path) {
  std::vector<char> folder(path.begin(), path.end());
  folder.push_back(0);
  StripLastComponent(folder.data());
  return folder.data();
}

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

std::string Trimmed(std::string folder) {
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

// True when path lies below folder (not the folder itself), case ignored.
bool Below(const std::string& path, const std::string& folder) {
  std::string f = Trimmed(folder);
  return !f.empty() && path.size() > f.size() + 1 && path[f.size()] == '\\' &&
         SameText(path.substr(0, f.size()).c_str(), f.c_str());
}

bool SamePath(const std::string& a, const std::string& b) {
  return SameText(Trimmed(a).c_str(), Trimmed(b).c_str());
}

// A P or U action that removes something, as its walk reads it.
struct Sweep {
  int line;
  int order;
  char letter;
  std::string path, folder, name;
  int mode;
  bool wildcard;
};

// Whether the walk of a sweep reaches target (a full file or folder path).
bool Reaches(const Sweep& s, const std::string& target) {
  if (s.letter == 'U' && !s.wildcard) return SamePath(target, s.path) || Below(target, s.path);
  if (s.letter == 'P' ? !SamePath(FolderOf(target), s.folder) : !Below(target, s.folder))
    return false;
  std::string rest = target.substr(Trimmed(s.folder).size() + 1);
  return NamePartMatches(s.name.c_str(), rest.substr(0, rest.find('\\')).c_str());
}

// P deletes (mode 0) or asks (1); U deletes its tree (1).
bool TakesFiles(const Sweep& s) {
  return s.letter == 'P' ? (s.mode == kFileModeDelete || s.mode == kFileModeAsk)
                         : s.mode == kFolderModeDeleteAll;
}
bool DeletesUnasked(const Sweep& s) {
  return s.letter == 'P' ? s.mode == kFileModeDelete : s.mode == kFolderModeDeleteAll;
}

// The sweeps by the folder their walk starts in, so that a path finds the
// sweeps that may reach it through its own folders: a log may hold
// thousands of each.
struct Sweeps {
  std::vector<Sweep> all;
  std::multimap<std::string, size_t, TextLess> byRoot;

  // The first sweep, in run order, that reaches target and passes want.
  template <typename Want>
  const Sweep* First(const std::string& target, Want want) const {
    const Sweep* first = nullptr;
    for (std::string key = Trimmed(target); !key.empty();) {
      auto range = byRoot.equal_range(key);
      for (auto it = range.first; it != range.second; ++it) {
        const Sweep& s = all[it->second];
        if ((!first || s.order < first->order) && want(s) && Reaches(s, target)) first = &s;
      }
      std::string up = Trimmed(FolderOf(key));
      if (up.size() >= key.size()) break;
      key = up;
    }
    return first;
  }
};

Sweeps SweepsOf(const LogScan& scan) {
  Sweeps sweeps;
  for (const PlanRecord& r : scan.records) {
    if (r.action[0] != 'P' && r.action[0] != 'U') continue;
    Sweep s;
    s.line = r.line;
    s.order = r.order;
    s.letter = r.action[0];
    s.path = Slashed(ActionField(r.action, 0));
    s.mode = ParseDecimal(ActionField(r.action, 1).c_str()) & kModeMask;
    // Lines that remove nothing, or whose start is unknown, are reported on
    // their own.
    if (!IsAbsolute(s.path) || static_cast<int>(s.path.size()) >= MAX_PATH ||
        RefusalOf(s.path.c_str(), s.letter == 'U') != kRefuseNone || NamesNoEntry(s.path.c_str()))
      continue;
    s.folder = FolderOf(s.path);
    s.name = NameOf(s.path);
    s.wildcard = HasWildcard(s.name);
    std::string root = Trimmed(s.letter == 'U' && !s.wildcard ? s.path : s.folder);
    sweeps.byRoot.emplace(root, sweeps.all.size());
    sweeps.all.push_back(s);
  }
  return sweeps;
}

std::string FullPath(const std::string& path) {
  char full[kPathSize];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? std::string(full) : path;
}

// An M line's profile file and a K line's shared library are someone
// else's too: a sweep takes them from the other program.
void CheckForeignFiles(Checker& c, const Sweeps& sweeps) {
  std::set<int> reported;
  for (const PlanRecord& r : c.scan.records) {
    if (r.action[0] != 'M' && r.action[0] != 'K') continue;
    std::string path = Slashed(ActionField(r.action, 0));
    if (!IsAbsolute(path)) continue;
    // One named file is meant; a wildcard or a tree is the mistake.
    const Sweep* s = sweeps.First(path, [](const Sweep& s) {
      return TakesFiles(s) && (s.letter == 'U' || s.wildcard);
    });
    if (!s || !reported.insert(s->line).second) continue;
    c.Add(s->line, FINDING("sweeps-foreign"),
          "the line also removes " + path +
              (r.action[0] == 'M'
                   ? ", the profile file that line " + std::to_string(r.line) +
                         " edits: it belongs to another program, which loses all its settings"
                   : ", the shared library that line " + std::to_string(r.line) +
                         " counts: other products that still use it stop working"));
  }
}

// The log lies in the package's folder beside the uninstaller: a sweep of
// a folder above it takes what other programs keep there.
void CheckAbovePackage(Checker& c, const Sweeps& sweeps, const std::string& logFolder) {
  for (const Sweep& s : sweeps.all) {
    if (s.letter == 'P' ? !(s.wildcard && TakesFiles(s)) : s.mode > kFolderModeDeleteAll) continue;
    std::string root = s.letter == 'U' && !s.wildcard ? s.path : s.folder;
    if (!Below(logFolder, root)) continue;
    c.Add(s.line, FINDING("sweeps-above-package"),
          "the line works on " + Trimmed(root) + ", which holds the package's own folder " +
              logFolder + ": what other programs keep there (the simulator itself, say) " +
              (DeletesUnasked(s)       ? "is deleted too"
               : s.letter == 'P' ? "is asked about file by file"
                                 : "is offered for deletion in the leftover list"));
  }
}

// Stage one reads the log again after its actions, for the uninstall
// registration: a log it removed ends the run there.
void CheckStageOneReachesLog(Checker& c, const Sweeps& sweeps, const std::string& logPath) {
  std::string logFolder = FolderOf(logPath);
  std::string notice = kMissingLogNotice;
  notice.replace(notice.find("%s"), 2, logPath);
  for (const Sweep& s : sweeps.all) {
    if (s.order >= kPhaseBoundary || !TakesFiles(s)) continue;
    bool folder = s.letter == 'U' && (Reaches(s, logFolder) || Below(logFolder, s.path));
    bool log = Reaches(s, logPath) ||
               (s.letter == 'P' && !s.wildcard &&
                SameText(s.name.c_str(), NameOf(logPath).c_str()));
    if (!log && !folder) continue;
    c.Add(s.line, FINDING("stage-one-log"),
          std::string("the line runs in stage one and removes ") +
              (folder ? "the program folder with the log" : "the log") +
              ": stage one cannot read the log again, the pilot gets \"" + notice +
              "\" and stage two never runs, so nothing else is removed");
  }
}

int LineAt(const std::string& data, size_t offset) {
  return 1 + static_cast<int>(std::count(data.begin(), data.begin() + offset, '\n'));
}

// The log must be 8-bit text in the machine's ANSI code page.
void CheckEncoding(Checker& c) {
  const std::string& d = c.scan.data;
  const std::string saveAs = "; save the log as ANSI, code page " + std::to_string(GetACP());
  auto starts = [&d](const char* mark) { return d.compare(0, lstrlenA(mark), mark) == 0; };
  if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
    c.Add(1, FINDING("utf16"),
          "the log is saved as UTF-16 (Unicode): the uninstaller reads 8-bit text and finds no "
          "line it can use; the pilot gets a blank question without a caption and an empty "
          "dialog, and nothing is removed" + saveAs);
    return;
  }
  bool bom = starts("\xEF\xBB\xBF");
  if (bom)
    c.Add(1, FINDING("utf8-bom"),
          "the log starts with a UTF-8 byte-order mark, which the uninstaller reads as part of "
          "the first line: that line is lost (an A10 there leaves the product name empty, and "
          "the pilot reads \"Remove  and all of its parts\")" + saveAs);
  size_t nul = d.find('\0');
  if (nul != std::string::npos)
    c.Add(LineAt(d, nul), FINDING("nul-bytes"),
          "the log holds NUL bytes (the first on this line): it is no 8-bit text, and each line "
          "is read only up to its first NUL" + saveAs);
  if (GetACP() == CP_UTF8) return;
  // A UTF-8 character is a lead byte and its continuation bytes; the ANSI
  // code page reads each byte as a character of its own.
  for (size_t i = bom ? 3 : 0; i < d.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(d[i]);
    size_t more = b >= 0xC2 && b <= 0xDF   ? 1
                  : b >= 0xE0 && b <= 0xEF ? 2
                  : b >= 0xF0 && b <= 0xF4 ? 3
                                           : 0;
    if (!more || i + more >= d.size()) continue;
    bool sequence = true;
    for (size_t k = 1; k <= more; ++k)
      sequence = sequence && (static_cast<unsigned char>(d[i + k]) & 0xC0) == 0x80;
    if (!sequence) continue;
    c.Add(LineAt(d, i), FINDING("utf8-text"),
          "the log holds UTF-8 text (the first on this line): code page " +
              std::to_string(GetACP()) + " reads each such character as " +
              std::to_string(more + 1) + " others, so a path names a file that does not exist "
              "(it stays, and a later wildcard takes it without the question its mode asks for) "
              "and a text shows garbled" + saveAs);
    return;
  }
}

// The kind letter a line without an action probably meant: the same letter
// in capitals, or a neighbour on the keyboard whose fields fit the line.
char MeantLetter(const TakenLine& t) {
  char letter = t.action[0];
  char upper = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
  if (upper != letter && HasCounter(upper)) return upper;
  int fields = 0;
  bool missing = false;
  while (fields < kMaxKindFields && (ActionField(t.action, fields, &missing), !missing)) ++fields;
  for (int kind = 0; kind < kLogKindCount; ++kind)
    if (std::strchr(kLogKindRows[kind].neighbours, upper) && LogFieldCount(kind) == fields)
      return kLogKinds[kind].letter;
  return 0;
}

void CheckLetterTypos(Checker& c, const Sweeps& sweeps) {
  for (const TakenLine& t : c.scan.taken) {
    char letter = t.action[0];
    // Number 0 made it message 0; its own number made it an action that
    // the run passes over.
    bool inert = t.number >= kFirstActionNumber ? t.recordIndex >= 0 : OwnNumber(t) == 0;
    if (letter == 'A' || HasCounter(letter) || !inert || t.number == kReservedNumber) continue;
    char meant = MeantLetter(t);
    std::string text = "the line does nothing";
    if (meant) text += ": did you mean " + Letter(meant) + "?";
    int mode = ParseDecimal(ActionField(t.action, 1).c_str()) & kModeMask;
    std::string path = Slashed(ActionField(t.action, 0));
    if (meant == 'P' && (mode == kFileModeAsk || mode == kFileModeList) && IsAbsolute(path))
      if (const Sweep* s = sweeps.First(path, DeletesUnasked))
        text += " " + NameOf(path) + " (mode " + std::to_string(mode) +
                ") will be deleted without " +
                (mode == kFileModeAsk ? "the question" : "being left for the user") +
                ", by line " + std::to_string(s->line);
    c.Add(t.line, FINDING("letter-typo"), text);
  }
}

// Each file is treated once: a sweep that reaches a mode-1 or mode-2 file
// first deletes it, and the line meant for it finds it gone.
void CheckAskedFilesSwept(Checker& c, const Sweeps& sweeps) {
  for (const Sweep& p : sweeps.all) {
    if (p.letter != 'P' || p.wildcard || (p.mode != kFileModeAsk && p.mode != kFileModeList))
      continue;
    const Sweep* s = sweeps.First(p.path, [&p](const Sweep& s) {
      return &s != &p && DeletesUnasked(s) && s.order <= p.order;
    });
    if (s)
      c.Add(p.line, FINDING("swept-first"),
            NameOf(p.path) + " will be deleted without " +
                (p.mode == kFileModeAsk ? "the question" : "being left for the user") +
                ", by line " + std::to_string(s->line) + ", which runs first");
  }
}

// One finding for all the lines past the end of one of the uninstaller's
// tables, at the first of them.
void CollapseLimit(std::vector<Finding>* findings, const char* code) {
  std::vector<Finding> kept;
  int first = -1, more = 0;
  for (Finding& f : *findings) {
    if (f.code == code && first >= 0) {
      ++more;
      continue;
    }
    if (f.code == code) first = static_cast<int>(kept.size());
    kept.push_back(std::move(f));
  }
  if (more)
    kept[first].text += " (and " + std::to_string(more) + " more lines after it)";
  *findings = std::move(kept);
}

void CheckWhatThePilotGets(Checker& c) {
  for (const TakenLine& t : c.scan.taken)
    if (t.recordIndex >= 0 && std::strchr("MCD", t.action[0]))
      CheckLongPath(c, t, ActionField(t.action, 0));
  CheckEncoding(c);
  if (c.scan.records.empty())
    c.Add(0, FINDING("no-action"),
          "the log holds no action: the uninstaller asks its question and removes nothing");
  Sweeps sweeps = SweepsOf(c.scan);
  std::string logPath = Slashed(FullPath(c.scan.path));
  CheckForeignFiles(c, sweeps);
  CheckAbovePackage(c, sweeps, FolderOf(logPath));
  CheckStageOneReachesLog(c, sweeps, logPath);
  CheckLetterTypos(c, sweeps);
  CheckAskedFilesSwept(c, sweeps);
}

// A path of MAX_PATH characters or more is out of the reach of the ANSI
// file calls (unless written in the \\?\ form); true when reported.
bool CheckLongPath(Checker& c, const TakenLine& t, const std::string& path) {
  if (static_cast<int>(path.size()) < MAX_PATH || path.compare(0, 4, "\\\\?\\") == 0) return false;
  static const struct { char letter; const char* loss; } kLosses[] = {
      {'P', "the file is not found and stays on disk"},
      {'U', "the folder is not found and stays on disk with everything in it"},
      {'M', "the profile file is not found and its entry stays"},
      {'C', "the library does not load and nothing is called"},
      {'D', "the library does not load and nothing is called"},
  };
  for (const auto& l : kLosses)
    if (l.letter == t.action[0]) {
      c.Add(t.line, FINDING("long-path"),
            "the path has " + std::to_string(path.size()) + " characters: the uninstaller's ANSI "
            "file calls cannot reach a path of " + std::to_string(MAX_PATH) +
                " characters or more, so " + l.loss);
      return true;
    }
  return false;
}

}  // namespace

std::vector<Finding> CheckScan(const LogScan& scan) {
  Checker c{scan, {}, {}, {}, {}};
  c.Index();
  for (const IgnoredLine& g : scan.ignored) {
    bool looksLikeEntry = g.raw.find(',') != std::string::npos &&
                          ((g.raw[0] >= 'A' && g.raw[0] <= 'Z') ||
                           (g.raw[0] >= 'a' && g.raw[0] <= 'z') ||
                           IsDecimalDigit(g.raw[0]));
    switch (g.reason) {
      case kReasonNoLineEnd:
        // A lost action or message is an error, as the package makers' manual says.
        c.Add(g.line, FINDING("no-line-end"),
              std::string("the last line has no line end: the uninstaller does not read it") +
                  (IsTakenLine(g.raw.c_str()) ? ", and its action or message is lost" : ""),
              !IsTakenLine(g.raw.c_str()));
        break;
      case kReasonDigitFirst:
        c.Add(g.line, FINDING("not-taken"),
              "the line starts with a digit, not a kind letter: it is not read", !looksLikeEntry);
        break;
      case kReasonOneCharacter:
        c.Add(g.line, FINDING("not-taken"), "a line of one character is not read", true);
        break;
      default:
        c.Add(g.line, FINDING("not-taken"),
              "the second character is not a digit: the line is not read", !looksLikeEntry);
        break;
    }
  }
  std::map<std::string, int, TextLess> firsts;
  for (const TakenLine& t : scan.taken) {
    if (t.entered) firsts.emplace(t.action, t.line);
    if (t.raw.size() < t.end - t.offset)
      c.Add(t.line, FINDING("nul-byte"), "the line holds a NUL byte: it is read only up to there");
    c.CheckNumberPart(t);
    if (t.number == kReservedNumber) {
      c.Add(t.line, FINDING("reserved-number"),
            "the number " + std::to_string(kReservedNumber) + " is reserved: the line is ignored");
    } else if (t.number >= kFirstActionNumber) {
      if (t.recordIndex < 0)
        c.Add(t.line, FINDING("too-many-actions"),
              "the log already holds " + std::to_string(kMaxActions) +
                  " actions: this action is ignored");
      else
        c.CheckAction(t);
    } else {
      c.CheckMessageLine(t, firsts);
    }
  }
  c.CheckAutomaticNumbers();
  c.CheckStageOneKeys();
  c.CheckMessages();
  CheckWhatThePilotGets(c);
  std::stable_sort(c.findings.begin(), c.findings.end(), [](const Finding& a, const Finding& b) {
    if ((a.line == 0) != (b.line == 0)) return b.line == 0;
    return a.line < b.line;
  });
  for (const char* code : {"too-many-actions", "too-many-messages", "seen-set-full"})
    CollapseLimit(&c.findings, code);
  return c.findings;
}

int ExitCodeOf(const std::vector<Finding>& findings) {
  int code = kExitClean;
  for (const Finding& f : findings) {
    if (f.severity == kError) return kExitErrors;
    if (f.severity == kWarning) code = kExitWarnings;
  }
  return code;
}

std::string FormatFindings(const LogScan& scan, const std::vector<Finding>& findings) {
  static const char* const kSeverityNames[] = {"note", "warning", "error"};
  std::string out;
  int counts[3] = {0, 0, 0};
  for (const Finding& f : findings) {
    ++counts[f.severity];
    out += scan.path;
    if (f.line > 0) out += ":" + std::to_string(f.line);
    out += ": " + std::string(kSeverityNames[f.severity]) + ": " + f.text + " [" + f.code + "]\n";
  }
  int messages = 0;
  for (const TakenLine& t : scan.taken)
    if (t.messageCurrent) ++messages;
  out += "check: " + std::to_string(counts[kError]) + " error(s), " +
         std::to_string(counts[kWarning]) + " warning(s), " + std::to_string(counts[kNote]) +
         " note(s); " + std::to_string(scan.lineCount) + " lines, " +
         std::to_string(scan.records.size()) + " actions, " + std::to_string(messages) +
         " messages\n";
  return out;
}
