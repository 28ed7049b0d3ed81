// Action fields, read with the uninstaller's GetField and ParseDecimal, and
// decoded into words for the plan.
#include <cstring>
#include "uninstlog/uninstlog.h"
#include "actions/actions.h"
#include "common/helpers.h"
#include "log/format.h"
#include "common/state.h"
#include "startup/startup.h"

namespace {

const char* const kCheckKinds[kCheckKindCount] = {"file in use", "mutex exists", "window titled",
                                   "window title containing"};
const char* const kAnswerStyles[kAnswerStyleCount] = {
    "Abort/Retry/Ignore", "OK (stops)", "OK (again)/Cancel (stops)",
    "Retry/Cancel (stops)", "Yes (again)/No (go on)", "Yes (again)/No (go on)/Cancel (stops)"};
const char* const kRoots[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                              "HKEY_USERS"};
// By P mode (kFileModeDelete, kFileModeAsk, kFileModeList) and by U mode
// (kFolderModeListFiles, kFolderModeDeleteAll, kFolderModeOnlyEmpty).
const char* const kFileModes[kFileModeCount] = {
    "delete", "ask first (message ", "leave for the user (leftover list)"};
const char* const kFolderModes[kFolderModeCount] = {
    "list every file as leftover, remove emptied folders",
    "delete files and folders", "remove the folder only if it is empty"};

std::string Number(int value) { return std::to_string(value); }

}  // namespace

std::string ActionField(const std::string& action, int n, bool* missing) {
  std::string list = action.size() > 1 ? action.substr(1) : std::string();
  std::vector<char> out(list.size() + 1, 0);
  GetField(out.data(), static_cast<int>(out.size()), list.c_str(), n);
  std::string field = out.data();
  // Field n exists only after n separators, so it is shorter than the list.
  if (missing) *missing = n > 0 && field.size() == list.size();
  return field;
}

bool IsPlainNumber(const std::string& text) {
  size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
  if (i >= text.size()) return false;
  for (; i < text.size(); ++i)
    if (!IsDecimalDigit(text[i])) return false;
  return true;
}

const char* HandlerOf(char letter) {
  int kind = LogKindIndex(letter);
  return kind < 0 ? nullptr : kLogKindRows[kind].handler;
}

const char* ActionNameOf(char letter) {
  int kind = LogKindIndex(letter);
  return kind < 0 ? "passed over: no action has this letter" : kLogKindRows[kind].action;
}

void TakeInstallFolders(const std::string& logPath) {
  TakeFolders();
  char full[kPathSize] = "";
  char* name = nullptr;
  DWORD length = GetFullPathNameA(logPath.c_str(), kPathSize, full, &name);
  if (length == 0 || length >= static_cast<DWORD>(kPathSize)) full[0] = 0;
  CopyText(gProgramFolder, kPathSize, full);
  StripLastComponent(gProgramFolder);
}

std::string StartedProgram(const std::string& command) {
  std::vector<char> line(kCommandSize);
  if (command.size() >= line.size() || !ProgramCommandLine(command.c_str(), line.data(), kCommandSize))
    return "nothing: no program that the line can name exists on this machine";
  std::string started = line.data();
  if (started[0] != '"') return started.substr(0, started.find(' '));
  return started.substr(1, started.find('"', 1) - 1);
}

std::vector<std::pair<std::string, std::string>> DecodeAction(const std::string& action) {
  std::vector<std::pair<std::string, std::string>> fields;
  char letter = action.empty() ? 0 : action[0];
  auto field = [&action](int n) { return ActionField(action, n); };
  auto number = [&action](int n) { return ParseDecimal(ActionField(action, n).c_str()); };
  switch (letter) {
    case 'B': {
      int kind = number(0) & kCheckNumberMask;
      int style = number(3) & kCheckNumberMask;
      fields.push_back({"check", Number(kind) + " (" +
                                     (kind < kCheckKindCount ? kCheckKinds[kind] : "never finds anything") +
                                     ")"});
      // Shown as the check sees them: without surrounding double quotes.
      for (int n = 1; n <= 2; ++n) {
        std::string text = field(n);
        std::vector<char> stripped(text.begin(), text.end());
        stripped.push_back(0);
        StripQuotes(stripped.data());
        fields.push_back({n == 1 ? "name" : "message", stripped.data()});
      }
      fields.push_back({"answers", Number(style) + " (" +
                                       (style < kAnswerStyleCount ? kAnswerStyles[style] : "no defined box") +
                                       ")"});
      break;
    }
    case 'C':
    case 'D': {
      fields.push_back({"library", field(0)});
      fields.push_back({"function", field(1)});
      int count = number(2);
      fields.push_back({"arguments", Number(count) + (count < 0 || count > kMaxArguments ? " (no call)" : "")});
      for (int i = 1; i <= count && count <= kMaxArguments; ++i) {
        bool missing = false;
        std::string argument = ActionField(action, 2 + i, &missing);
        if (missing) argument += " (no such field: the whole field list)";
        fields.push_back({"argument " + Number(i), argument});
      }
      break;
    }
    case 'E':
      fields.push_back({"command", field(0)});
      if (!field(0).empty()) fields.push_back({"starts", StartedProgram(field(0))});
      break;
    case 'J': {
      int root = number(0) & kRootMask;
      fields.push_back(
          {"root", Number(root) + " (" + (root < kRootCount ? kRoots[root] : "no root key") + ")"});
      fields.push_back({"key", field(1)});
      bool noValue = false;
      std::string value = ActionField(action, 2, &noValue);
      if (noValue) value += " (no value field: the whole field list)";
      else if (value.empty()) value = "(whole key with its subkeys)";
      else if (SameText(value.c_str(), "default")) value = "(the key's unnamed value)";
      fields.push_back({"value", value});
      break;
    }
    case 'K':
      fields.push_back({"shared file", field(0)});
      break;
    case 'M': {
      fields.push_back({"profile", field(0)});
      fields.push_back({"section", field(1)});
      bool noKey = false;
      std::string key = ActionField(action, 2, &noKey);
      if (noKey) key += " (no key field: the whole field list)";
      fields.push_back({"key", key.empty() ? "(whole section)" : key});
      break;
    }
    case 'P':
    case 'U': {
      fields.push_back({"path", field(0)});
      int mode = number(1) & kModeMask;
      std::string meaning;
      if (letter == 'P' && mode == kFileModeAsk)
        meaning = kFileModes[mode] + Number(kDeleteQuestionId) + "), then delete";
      else if (letter == 'P')
        meaning = mode < kFileModeCount ? kFileModes[mode]
                                        : "only recorded as handled, nothing deleted";
      else
        meaning = mode < kFolderModeCount ? kFolderModes[mode]
                                          : "remove emptied folders, touch no file";
      fields.push_back({"mode", Number(mode) + " (" + meaning + ")"});
      if (RefusalOf(field(0).c_str(), letter == 'U'))
        fields.push_back({"refused", "the pattern is refused: nothing is removed"});
      break;
    }
    default:
      fields.push_back({"text", action.size() > 1 ? action.substr(1) : std::string()});
      break;
  }
  return fields;
}

void CountPlaceholders(const char* format, int* conversions, int* nonText) {
  *conversions = 0;
  *nonText = 0;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;  // a literal percent sign
    while (*p == '-' || *p == '#' || *p == '0' || IsDecimalDigit(*p) || *p == '.') ++p;
    while (*p == 'h' || *p == 'l' || *p == 'w' || *p == 'I' || *p == '6' || *p == '4' ||
           *p == '3' || *p == '2')
      ++p;
    if (!*p) break;
    if (std::strchr("sS", *p)) {
      ++*conversions;
    } else if (std::strchr("cCdiuxXp", *p)) {
      ++*conversions;
      ++*nonText;
    }
    // Any other character after '%' is printed as it stands.
  }
}
