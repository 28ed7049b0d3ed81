// The preview: both stages of the uninstaller run over this machine through
// its own action code, while the gate answers every change and every query
// that a change would alter. Changes are kept in an overlay (what would be
// gone, what would read differently) and in the list of effects; the
// machine itself is only read.
#include <algorithm>
#include <map>
#include <set>
#include "uninstlog/uninstlog.h"
#include "actions/actions.h"
#include "common/gate.h"
#include "common/state.h"
#include "log/log.h"
#include "startup/startup.h"

namespace {

constexpr DWORD kListSize = 65536;       // profile key and section lists read back
constexpr DWORD kRegistryNameSize = 256; // registry key names are at most 255 characters

// A value changed by the run: gone, or holding new data.
struct OverlayValue {
  bool gone;
  DWORD type;
  std::string data;
};

// What the run would have changed, by canonical name (upper case).
struct Overlay {
  std::set<std::string> goneFiles;               // files and folders
  std::set<std::string> madeFiles;               // the copy and its folder
  std::map<std::string, DWORD> attributes;       // files whose attributes were set
  std::set<std::string> goneKeys;                // ROOT\\PATH
  std::map<std::string, OverlayValue> values;    // ROOT\\PATH \\x01 NAME
  std::set<std::string> goneSections;            // FILE \\x01 SECTION
  std::set<std::string> goneEntries;             // FILE \\x01 SECTION \\x01 KEY
  std::map<HKEY, std::string> openKeys;          // handle -> ROOT\\PATH
  std::map<HANDLE, std::string> searches;        // handle -> folder prefix of its pattern
};

Overlay* gOverlay;
PreviewRun* gRun;
std::vector<PreviewStep>* gSteps;   // the stage being run
const PreviewOptions* gOptions;
int gStage;                         // 1 or 2 while the stages run
bool gCopyHeld;                     // stage one holds its copy open: the actions follow
std::string gCopyTarget;            // the copy's path, stage two's program

std::string Upper(const std::string& text) {
  std::string out = text;
  if (!out.empty()) CharUpperBuffA(&out[0], static_cast<DWORD>(out.size()));
  return out;
}

// A path as the file system resolves it, for comparing: full, long names
// for short ones (of what exists), upper case, without a trailing backslash
// (a root keeps its own).
std::string FileId(const char* path) {
  char full[MAX_PATH * 4];
  char longName[MAX_PATH * 4];
  DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  std::string id = (length == 0 || length >= sizeof full) ? std::string(path) : std::string(full);
  length = GetLongPathNameA(id.c_str(), longName, sizeof longName);
  if (length > 0 && length < sizeof longName) id = longName;
  while (id.size() > 3 && id.back() == '\\') id.pop_back();
  return Upper(id);
}

bool FileGone(const std::string& id) {
  // A removed folder takes everything below it.
  for (std::string at = id;;) {
    if (gOverlay->goneFiles.count(at)) return true;
    size_t slash = at.find_last_of('\\');
    if (slash == std::string::npos || slash < 3) return false;
    at.resize(slash);
  }
}

const char* RootName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_USERS) return "HKEY_USERS";
  return nullptr;
}

// ROOT\\PATH as written (backslash runs folded, none at either end); the
// id is its upper-case form.
std::string KeyName(HKEY root, const char* path) {
  std::string name;
  const char* rootName = RootName(root);
  if (rootName) {
    name = rootName;
  } else {
    auto open = gOverlay->openKeys.find(root);
    name = open != gOverlay->openKeys.end() ? open->second : "?";
  }
  std::string part;
  for (const char* p = path;; ++p) {
    if (*p == '\\' || *p == 0) {
      if (!part.empty()) name += "\\" + part;
      part.clear();
      if (*p == 0) break;
    } else {
      part += *p;
    }
  }
  return name;
}

bool KeyGone(const std::string& name) {
  for (std::string at = Upper(name);;) {
    if (gOverlay->goneKeys.count(at)) return true;
    size_t slash = at.find_last_of('\\');
    if (slash == std::string::npos) return false;
    at.resize(slash);
  }
}

std::string ValueId(const std::string& keyName, const char* value) {
  return Upper(keyName) + "\x01" + Upper(value ? value : "");
}

std::string ProfileId(const char* file, const char* section, const char* key = nullptr) {
  std::string id = FileId(file) + "\x01" + Upper(section ? section : "");
  if (key) id += "\x01" + Upper(key);
  return id;
}

std::string ErrorText(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "not there";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "held open by another program";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_DIR_NOT_EMPTY: return "not empty";
    default: return "system error " + std::to_string(code);
  }
}

// The step that runs now, from where the stage stands: before its actions,
// at an action record, or after them.
int StepNow() {
  bool inList = gCurrent && gLast && gCurrent <= gLast;
  if (gStage == 1) {
    if (!gCopyHeld) return kStepQuestion;
    if (!inList || gCurrent->orderNumber >= kPhaseBoundary) return kStepPass;
  } else if (!inList) {
    return kStepEnd;
  }
  return static_cast<int>(gCurrent - gActions);
}

void Record(PreviewEffect effect) {
  if (!gSteps) return;
  int record = StepNow();
  if (gSteps->empty() || gSteps->back().record != record) gSteps->push_back({record, {}});
  gSteps->back().effects.push_back(std::move(effect));
}

PreviewEffect Effect(PreviewKind kind, bool happens, const std::string& object) {
  PreviewEffect effect;
  effect.kind = kind;
  effect.happens = happens;
  effect.object = object;
  return effect;
}

// --- files -----------------------------------------------------------------

DWORD Attributes(const char* path) {
  std::string id = FileId(path);
  if (FileGone(id)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (gOverlay->madeFiles.count(id))
    return id == FileId(gCopyTarget.c_str()) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_DIRECTORY;
  DWORD real = GetFileAttributesA(path);
  if (real == INVALID_FILE_ATTRIBUTES) return real;
  auto set = gOverlay->attributes.find(id);
  if (set == gOverlay->attributes.end()) return real;
  return (set->second == FILE_ATTRIBUTE_NORMAL ? 0 : set->second) |
         (real & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

// Would a delete of this file or folder get past other programs' handles?
// Asking for delete access, sharing everything, changes nothing.
DWORD OpenForDeleteError(const char* path, bool folder) {
  HANDLE handle = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | (folder ? FILE_FLAG_BACKUP_SEMANTICS : 0),
                              nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(handle);
  return ERROR_SUCCESS;
}

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// Ends a file or folder deletion: on success the path counts as gone for the
// rest of the run, otherwise the effect says why not.
BOOL SettleRemoval(PreviewEffect& effect, DWORD error, const char* path) {
  if (error == ERROR_SUCCESS) {
    effect.happens = true;
    gOverlay->goneFiles.insert(FileId(path));
  } else if (effect.why.empty()) {
    effect.why = ErrorText(error);
  }
  Record(effect);
  return effect.happens ? TRUE : Fail(error);
}

BOOL PreviewDeleteFile(const char* path) {
  PreviewEffect effect = Effect(kEffectFile, false, path);
  DWORD attributes = Attributes(path);
  DWORD error = ERROR_SUCCESS;
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    error = ERROR_FILE_NOT_FOUND;
  } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    error = ERROR_ACCESS_DENIED;
    effect.why = "a folder, not a file";
  } else if (attributes & FILE_ATTRIBUTE_READONLY) {
    error = ERROR_ACCESS_DENIED;
    effect.why = "read-only";
  } else {
    error = OpenForDeleteError(path, false);
    // The file is still read-only on disk when the run has only cleared the
    // attribute in the overlay; that alone does not stop the delete.
    if (error == ERROR_ACCESS_DENIED && (GetFileAttributesA(path) & FILE_ATTRIBUTE_READONLY))
      error = ERROR_SUCCESS;
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (error == ERROR_SUCCESS && GetFileAttributesExA(path, GetFileExInfoStandard, &data))
    effect.bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return SettleRemoval(effect, error, path);
}

std::string AttributeNames(DWORD attributes) {
  std::string names;
  const struct { DWORD bit; const char* name; } kBits[] = {
      {FILE_ATTRIBUTE_READONLY, "read-only"}, {FILE_ATTRIBUTE_HIDDEN, "hidden"},
      {FILE_ATTRIBUTE_SYSTEM, "system"}};
  for (const auto& b : kBits)
    if (attributes & b.bit) names += (names.empty() ? "" : ", ") + std::string(b.name);
  return names;
}

BOOL PreviewSetFileAttributes(const char* path, DWORD attributes) {
  DWORD before = Attributes(path);
  if (before == INVALID_FILE_ATTRIBUTES) return FALSE;
  gOverlay->attributes[FileId(path)] = attributes;
  constexpr DWORD kShown = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  DWORD cleared = before & kShown & ~attributes;
  if (cleared) {
    PreviewEffect effect = Effect(kEffectAttributes, true, path);
    effect.detail = AttributeNames(cleared);
    effect.before = AttributeNames(before & kShown);
    effect.after = AttributeNames(attributes & kShown);
    if (effect.after.empty()) effect.after = "none";
    Record(effect);
  }
  return TRUE;
}

// The folder part of a search pattern, with its separator, to which the
// names found are joined.
std::string PatternPrefix(const char* pattern) {
  std::string text = pattern;
  size_t slash = text.find_last_of("\\/");
  if (slash != std::string::npos) return text.substr(0, slash + 1);
  if (text.size() >= 2 && text[1] == ':') return text.substr(0, 2);
  return "";
}

bool EntryGone(const std::string& prefix, const WIN32_FIND_DATAA& entry) {
  std::string name = entry.cFileName;
  if (name == "." || name == "..") return false;
  return FileGone(FileId((prefix + name).c_str()));
}

void ApplyAttributes(const std::string& prefix, WIN32_FIND_DATAA* entry) {
  auto set = gOverlay->attributes.find(FileId((prefix + entry->cFileName).c_str()));
  if (set == gOverlay->attributes.end()) return;
  entry->dwFileAttributes =
      (set->second == FILE_ATTRIBUTE_NORMAL ? FILE_ATTRIBUTE_NORMAL : set->second) |
      (entry->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

BOOL PreviewFindNextFile(HANDLE search, WIN32_FIND_DATAA* entry) {
  const std::string& prefix = gOverlay->searches[search];
  while (FindNextFileA(search, entry)) {
    if (EntryGone(prefix, *entry)) continue;
    ApplyAttributes(prefix, entry);
    return TRUE;
  }
  return FALSE;
}

HANDLE PreviewFindFirstFile(const char* pattern, WIN32_FIND_DATAA* entry) {
  std::string prefix = PatternPrefix(pattern);
  if (!prefix.empty() && FileGone(FileId(prefix.c_str()))) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE search = FindFirstFileA(pattern, entry);
  if (search == INVALID_HANDLE_VALUE) return search;
  gOverlay->searches[search] = prefix;
  if (!EntryGone(prefix, *entry)) {
    ApplyAttributes(prefix, entry);
    return search;
  }
  if (PreviewFindNextFile(search, entry)) return search;
  gOverlay->searches.erase(search);
  FindClose(search);
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}

BOOL PreviewFindClose(HANDLE search) {
  gOverlay->searches.erase(search);
  return FindClose(search);
}

BOOL PreviewRemoveDirectory(const char* path) {
  PreviewEffect effect = Effect(kEffectFolder, false, path);
  DWORD attributes = Attributes(path);
  DWORD error = ERROR_SUCCESS;
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    error = ERROR_FILE_NOT_FOUND;
  } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error = ERROR_DIRECTORY;
    effect.why = "a file, not a folder";
  } else if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // A link goes as it stands; a folder only when nothing is left in it.
    WIN32_FIND_DATAA entry;
    std::string all = std::string(path) + (path[0] && path[lstrlenA(path) - 1] == '\\' ? "*" : "\\*");
    HANDLE search = PreviewFindFirstFile(all.c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if (lstrcmpA(entry.cFileName, ".") && lstrcmpA(entry.cFileName, "..")) {
          error = ERROR_DIR_NOT_EMPTY;
          break;
        }
      } while (PreviewFindNextFile(search, &entry));
      PreviewFindClose(search);
    }
  }
  if (error == ERROR_SUCCESS) error = OpenForDeleteError(path, true);
  return SettleRemoval(effect, error, path);
}

BOOL PreviewRemoveFontResource(const char* path) {
  Record(Effect(kEffectFont, true, path));
  return TRUE;
}

// --- registry --------------------------------------------------------------

std::string ValueText(DWORD type, const BYTE* data, DWORD size) {
  if ((type == REG_DWORD || type == REG_BINARY) && size == 4) {
    DWORD number;
    MoveBytes(&number, data, 4);
    return std::to_string(number);
  }
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::string text(reinterpret_cast<const char*>(data), size);
    while (!text.empty() && text.back() == 0) text.pop_back();
    return "\"" + text + "\"";
  }
  return std::to_string(size) + " bytes";
}

LONG PreviewRegOpenKey(HKEY root, const char* path, REGSAM access, HKEY* key) {
  std::string name = KeyName(root, path);
  if (KeyGone(name)) return ERROR_FILE_NOT_FOUND;
  LONG status = RegOpenKeyExA(root, path, 0, access, key);
  if (status == ERROR_SUCCESS) gOverlay->openKeys[*key] = name;
  return status;
}

LONG PreviewRegCloseKey(HKEY key) {
  gOverlay->openKeys.erase(key);
  return RegCloseKey(key);
}

// The subkey at index among those the run has not deleted.
LONG PreviewRegEnumKey(HKEY key, DWORD index, char* name, DWORD* nameSize) {
  const std::string& keyName = gOverlay->openKeys[key];
  char found[kRegistryNameSize];
  DWORD kept = 0;
  for (DWORD real = 0;; ++real) {
    DWORD size = sizeof found;
    LONG status = RegEnumKeyExA(key, real, found, &size, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    if (KeyGone(keyName + "\\" + found)) continue;
    if (kept++ < index) continue;
    if (size >= *nameSize) return ERROR_MORE_DATA;
    CopyText(name, static_cast<int>(*nameSize), found);
    *nameSize = size;
    return ERROR_SUCCESS;
  }
}

LONG PreviewRegQueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  auto changed = gOverlay->values.find(ValueId(gOverlay->openKeys[key], name));
  if (changed == gOverlay->values.end()) return RegQueryValueExA(key, name, nullptr, type, data, size);
  if (changed->second.gone) return ERROR_FILE_NOT_FOUND;
  const std::string& bytes = changed->second.data;
  if (type) *type = changed->second.type;
  DWORD have = size ? *size : 0;
  if (size) *size = static_cast<DWORD>(bytes.size());
  if (!data) return ERROR_SUCCESS;
  if (have < bytes.size()) return ERROR_MORE_DATA;
  MoveBytes(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

// The values of an open key that the run has not deleted.
int CountValues(HKEY key, const std::string& keyName) {
  int count = 0;
  char name[16384];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    auto changed = gOverlay->values.find(ValueId(keyName, name));
    if (changed == gOverlay->values.end() || !changed->second.gone) ++count;
  }
  return count;
}

LONG PreviewRegDeleteKey(HKEY root, const char* path) {
  std::string name = KeyName(root, path);
  PreviewEffect effect = Effect(kEffectKey, false, name);
  LONG status = ERROR_SUCCESS;
  HKEY key;
  if (KeyGone(name)) {
    status = ERROR_FILE_NOT_FOUND;
  } else if ((status = RegOpenKeyExA(root, path, 0, KEY_READ, &key)) == ERROR_SUCCESS) {
    gOverlay->openKeys[key] = name;
    char subkey[kRegistryNameSize];
    DWORD size = sizeof subkey;
    if (PreviewRegEnumKey(key, 0, subkey, &size) != ERROR_NO_MORE_ITEMS) {
      status = ERROR_ACCESS_DENIED;
      effect.why = "subkeys are left in it";
    }
    effect.count = CountValues(key, name);
    PreviewRegCloseKey(key);
    HKEY deleting;
    if (status == ERROR_SUCCESS &&
        (status = RegOpenKeyExA(root, path, 0, DELETE, &deleting)) == ERROR_SUCCESS)
      RegCloseKey(deleting);
  }
  if (status == ERROR_SUCCESS) {
    effect.happens = true;
    gOverlay->goneKeys.insert(Upper(name));
  } else if (effect.why.empty()) {
    effect.why = ErrorText(static_cast<DWORD>(status));
  }
  Record(effect);
  return status;
}

// A link goes as it stands, whatever its target holds.
LONG PreviewDeleteLinkKey(HKEY link) {
  std::string name = KeyName(link, "");
  PreviewEffect effect = Effect(kEffectKey, !KeyGone(name), name);
  if (effect.happens) gOverlay->goneKeys.insert(Upper(name));
  else effect.why = ErrorText(ERROR_FILE_NOT_FOUND);
  effect.detail = "a registry link: only the link";
  Record(effect);
  return effect.happens ? 0 : ERROR_FILE_NOT_FOUND;
}

bool IsSharedDllsKey(const std::string& keyName) {
  return SameText(keyName.c_str(), (std::string("HKEY_LOCAL_MACHINE\\") + kSharedDllsKey).c_str());
}

std::string ReadValueText(HKEY key, const char* name, bool* present) {
  // The run's handle may allow writing only (J lines open with KEY_WRITE):
  // the same key is opened again for reading.
  HKEY readable;
  *present = false;
  if (RegOpenKeyExA(key, "", 0, KEY_QUERY_VALUE, &readable) != ERROR_SUCCESS) return "";
  gOverlay->openKeys[readable] = gOverlay->openKeys[key];
  BYTE data[4096];
  DWORD type = 0, size = sizeof data;
  LONG status = PreviewRegQueryValue(readable, name, &type, data, &size);
  PreviewRegCloseKey(readable);
  *present = status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
  if (status == ERROR_MORE_DATA) return std::to_string(size) + " bytes";
  return *present ? ValueText(type, data, size) : "";
}

LONG PreviewRegDeleteValue(HKEY key, const char* name) {
  const std::string keyName = gOverlay->openKeys[key];
  bool shared = IsSharedDllsKey(keyName);
  PreviewEffect effect = Effect(shared ? kEffectCount : kEffectValue, false, keyName);
  effect.name = name;
  bool present = false;
  std::string before = ReadValueText(key, name, &present);
  if (present) {
    effect.happens = true;
    effect.before = before;
    if (shared) effect.after = "deleted";
    effect.detail = shared ? before + " -> deleted" : before;
    gOverlay->values[ValueId(keyName, name)] = {true, 0, ""};
  } else {
    effect.why = "not there";
  }
  Record(effect);
  return present ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG PreviewRegSetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  const std::string keyName = gOverlay->openKeys[key];
  PreviewEffect effect = Effect(kEffectCount, true, keyName);
  effect.name = name;
  bool present = false;
  std::string before = ReadValueText(key, name, &present);
  effect.before = present ? before : "(none)";
  effect.after = ValueText(type, data, size);
  effect.detail = effect.before + " -> " + effect.after;
  gOverlay->values[ValueId(keyName, name)] = {false, type,
                                              std::string(reinterpret_cast<const char*>(data), size)};
  Record(effect);
  return ERROR_SUCCESS;
}

// --- profiles --------------------------------------------------------------

// Names in a double-zero-ended list.
std::vector<std::string> ListNames(const char* list) {
  std::vector<std::string> names;
  for (const char* p = list; *p; p += lstrlenA(p) + 1) names.push_back(p);
  return names;
}

std::vector<std::string> RealSectionNames(const char* file) {
  std::vector<char> buffer(kListSize, 0);
  GetPrivateProfileSectionNamesA(buffer.data(), kListSize, file);
  return ListNames(buffer.data());
}

bool SectionThere(const char* file, const char* section) {
  if (gOverlay->goneSections.count(ProfileId(file, section))) return false;
  for (const std::string& name : RealSectionNames(file))
    if (SameText(name.c_str(), section)) return true;
  return false;
}

// The keys of a section that the run has left.
std::vector<std::string> KeysLeft(const char* file, const char* section) {
  std::vector<std::string> keys;
  if (!SectionThere(file, section)) return keys;
  std::vector<char> buffer(kListSize, 0);
  GetPrivateProfileStringA(section, nullptr, "", buffer.data(), kListSize, file);
  for (const std::string& key : ListNames(buffer.data()))
    if (!gOverlay->goneEntries.count(ProfileId(file, section, key.c_str()))) keys.push_back(key);
  return keys;
}

bool EntryThere(const char* file, const char* section, const char* key, std::string* value) {
  for (const std::string& left : KeysLeft(file, section)) {
    if (!SameText(left.c_str(), key)) continue;
    std::vector<char> buffer(kListSize, 0);
    GetPrivateProfileStringA(section, key, "", buffer.data(), kListSize, file);
    *value = buffer.data();
    return true;
  }
  return false;
}

BOOL PreviewWriteProfileString(const char* section, const char* key, const char* value,
                               const char* file) {
  if (value) {
    PreviewEffect effect = Effect(kEffectProfileWrite, true, file);
    effect.name = section ? section : "";
    effect.key = key ? key : "";
    effect.detail = effect.after = value;
    Record(effect);
    return TRUE;
  }
  if (key) {
    PreviewEffect effect = Effect(kEffectEntry, false, file);
    effect.name = section;
    effect.key = key;
    effect.happens = EntryThere(file, section, key, &effect.detail);
    effect.before = effect.detail;
    if (effect.happens) gOverlay->goneEntries.insert(ProfileId(file, section, key));
    else effect.why = "not there";
    Record(effect);
    return TRUE;
  }
  PreviewEffect effect = Effect(kEffectSection, false, file);
  effect.name = section;
  effect.happens = SectionThere(file, section);
  if (effect.happens) {
    effect.count = static_cast<int>(KeysLeft(file, section).size());
    gOverlay->goneSections.insert(ProfileId(file, section));
  } else {
    effect.why = "not there";
  }
  Record(effect);
  return TRUE;
}

DWORD PreviewGetProfileString(const char* section, const char* key, const char* fallback,
                              char* out, DWORD outSize, const char* file) {
  if (outSize == 0) return 0;
  std::string list;
  if (!key) {
    for (const std::string& left : KeysLeft(file, section)) list += left + '\0';
  } else {
    std::string value;
    list = EntryThere(file, section, key, &value) ? value : std::string(fallback ? fallback : "");
    list += '\0';
  }
  // As the system fills a short buffer: cut, and ended by two zeros for a
  // list, one for a value.
  DWORD room = outSize - 1;
  DWORD length = static_cast<DWORD>(list.size()) - 1;
  if (length > room) length = room;
  MoveBytes(out, list.data(), length);
  out[length] = 0;
  if (!key && length + 1 < outSize) out[length + 1] = 0;
  return length;
}

// --- programs, libraries, boxes ----------------------------------------------

// The program a command line starts: a quoted path, or the text up to the
// first blank.
std::string ProgramOf(const char* commandLine) {
  std::string line = commandLine;
  if (!line.empty() && line[0] == '"') {
    size_t close = line.find('"', 1);
    return line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  return line.substr(0, line.find(' '));
}

// Handles that are already signalled, for a program never started.
void NotStarted(PROCESS_INFORMATION* process) {
  ZeroBytes(process, sizeof *process);
  process->hProcess = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  process->hThread = CreateEventA(nullptr, TRUE, TRUE, nullptr);
}

BOOL PreviewCreateProcess(char* commandLine, PROCESS_INFORMATION* process) {
  if (StepNow() == kStepPass) {
    // Stage one's last step: its copy starts as stage two, which the
    // preview runs next.
    Record(Effect(kEffectStart, true, commandLine));
    NotStarted(process);
    return TRUE;
  }
  PreviewEffect effect = Effect(kEffectProgram, false, commandLine);
  std::string program = ProgramOf(commandLine);
  char found[MAX_PATH * 4];
  if (SearchPathA(nullptr, program.c_str(), ".exe", sizeof found, found, nullptr)) {
    effect.happens = true;
    effect.detail = found;
  } else {
    effect.why = "no program " + program + " is found";
  }
  Record(effect);
  if (!effect.happens) return Fail(ERROR_FILE_NOT_FOUND);
  NotStarted(process);
  return TRUE;
}

HMODULE PreviewLoadLibrary(const char* path) {
  // Mapped as the loader maps it, searched for as it searches, but no code
  // of it runs: not its entry point, not the libraries it needs.
  HMODULE library = LoadLibraryExA(path, nullptr, DONT_RESOLVE_DLL_REFERENCES);
  PreviewEffect effect = Effect(kEffectLibrary, library != nullptr, path);
  if (library) {
    char file[MAX_PATH * 4] = "";
    GetModuleFileNameA(library, file, sizeof file);
    effect.detail = file;
  } else {
    effect.why = ErrorText(GetLastError());
  }
  Record(effect);
  return library;
}

constexpr int kAssumedResult = 1;  // a library function's result: not 0, the run goes on

int PreviewCallFunction(const char* library, const char* name, int count,
                        const char* const* arguments) {
  PreviewEffect effect = Effect(kEffectCall, true, library);
  effect.name = name;
  for (int i = 0; i < count; ++i)
    effect.detail += (i ? ", " : "") + std::string("\"") + arguments[i] + "\"";
  Record(effect);
  return kAssumedResult;
}

int PreviewNoticeBox(const char* text, UINT style) {
  PreviewEffect effect = Effect(kEffectQuestion, true, text);
  int answer = IDOK;
  if ((style & MB_TYPEMASK) == MB_YESNO) {
    // Only the delete question (message 51) takes the chosen answer; stage
    // one's question is taken as Yes, or nothing would follow.
    answer = (gOptions->answerNo && StepNow() != kStepQuestion) ? IDNO : IDYES;
  }
  effect.detail = answer == IDYES ? "Yes" : answer == IDNO ? "No" : "OK";
  Record(effect);
  return answer;
}

int PreviewCheckBox(const char* text, UINT style) {
  PreviewEffect effect = Effect(kEffectCheckBox, true, text);
  // The answer that goes on to the next action; boxes that have none are
  // taken as closed with the program closed meanwhile.
  int answer = 0;
  switch (style & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: answer = IDIGNORE; effect.detail = "Ignore"; break;
    case MB_YESNO:
    case MB_YESNOCANCEL: answer = IDNO; effect.detail = "No"; break;
    default: effect.detail = "the program closed, then checked again"; break;
  }
  const char* buttons = "OK";
  switch (style & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: buttons = "Abort/Retry/Ignore"; break;
    case MB_OKCANCEL: buttons = "OK/Cancel"; break;
    case MB_RETRYCANCEL: buttons = "Retry/Cancel"; break;
    case MB_YESNO: buttons = "Yes/No"; break;
    case MB_YESNOCANCEL: buttons = "Yes/No/Cancel"; break;
  }
  effect.name = buttons;
  Record(effect);
  return answer;
}

// The uninstaller would end here; the preview cannot follow it and must
// not look finished.
void PreviewEndProcess() {
  static const char kEnded[] =
      "uninstlog: the preview stops: the uninstaller would end here (after a fatal notice)\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), kEnded, sizeof kEnded - 1, &written, nullptr);
  ExitProcess(kExitErrors);
}

BOOL PreviewScheduleDeletion(const char* path) {
  Record(Effect(kEffectSchedule, true, path));
  return TRUE;
}

BOOL PreviewCopyFile(const char* from, const char* to) {
  PreviewEffect effect = Effect(kEffectCopy, true, from);
  effect.detail = to;
  Record(effect);
  gCopyTarget = to;
  gOverlay->madeFiles.insert(FileId(to));
  return TRUE;
}

// A new folder where nothing is; one that exists fails as the system's call
// fails, and the stage tries the next name.
BOOL PreviewCreateFolder(const char* path) {
  if (Attributes(path) != INVALID_FILE_ATTRIBUTES) return Fail(ERROR_ALREADY_EXISTS);
  gOverlay->madeFiles.insert(FileId(path));
  return TRUE;
}

HANDLE PreviewOpenFile(const char* path, DWORD access, DWORD share, DWORD flags) {
  std::string id = FileId(path);
  if (FileGone(id)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (gOverlay->madeFiles.count(id)) {
    // Only the copy is opened, to be held until stage one ends.
    gCopyHeld = true;
    return CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  }
  return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr);
}

LONG PreviewRegOpenLink(HKEY root, const char* path, REGSAM access, HKEY* key) {
  std::string name = KeyName(root, path);
  if (KeyGone(name)) return ERROR_FILE_NOT_FOUND;
  LONG status = RegOpenKeyExA(root, path, REG_OPTION_OPEN_LINK, access, key);
  if (status == ERROR_SUCCESS) gOverlay->openKeys[*key] = name;
  return status;
}

// Words for each refusal code (kRefuse... of the uninstaller's actions).
const char* const kRefusalReasons[kRefusalCount] = {
    "",
    "a wildcard whose folder part is shorter than 4 characters, or a path that does not fit",
    "a wildcard on a drive or share root",
    "a wildcard or a tree in the NT or device namespace",
    "a sweep of a protected folder (the system's, the user's, or one above them)",
    "the key path names the root key itself",
    "the root number names no root key",
    "a character no file name may hold (\", <, >, |, a control character)",
    "stage one deletes only one product's key directly below it",
    "neither a full path nor a bare file name: nothing loads",
    "no program that the unquoted line can name exists: nothing starts",
};

void PreviewRefuse(const char* object, int reason) {
  PreviewEffect effect = Effect(kEffectRefusal, false, object);
  effect.why = reason > 0 && reason < kRefusalCount ? kRefusalReasons[reason] : "";
  Record(effect);
}

void PreviewLeftover(const char* path) { Record(Effect(kEffectLeftover, true, path)); }

// Start-up state of a new uninstaller process: empty sets, no log.
void FreshProcess(const char* logPath) {
  ReleaseWorkingAreas();
  ResetLogState();
  SetUpWorkingAreas();
  CopyText(gLogPath, kPathSize, logPath);
  LoadLog();
  ResetActionCursor();
}

// The program beside the log that runs it: the first .exe in the folder
// whose log-name tail names the log.
std::string ProgramBeside(const std::string& folder, const std::string& logName) {
  const char kDefaultProgram[] = "uninstaller.exe";
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "*.exe").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return kDefaultProgram;
  std::string found;
  do {
    HANDLE file = CreateFileA((folder + entry.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    char window[kTailWindow] = {};
    DWORD got = 0;
    if (SetFilePointer(file, -kTailWindow, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
        ReadFile(file, window, kTailWindow, &got, nullptr) && got == kTailWindow) {
      char name[kTailWindow];
      LogNameFromTail(window, name, kTailWindow);
      if (lstrcmpiA(name, logName.c_str()) == 0) found = entry.cFileName;
    }
    CloseHandle(file);
  } while (found.empty() && FindNextFileA(search, &entry));
  FindClose(search);
  return found.empty() ? kDefaultProgram : found;
}

std::string CurrentFolder() {
  char folder[MAX_PATH * 4] = "";
  GetCurrentDirectoryA(sizeof folder, folder);
  return folder;
}

}  // namespace

bool RunPreview(const LogScan& scan, const PreviewOptions& options, PreviewRun* run,
                std::string* error) {
  *run = PreviewRun();
  char full[MAX_PATH * 4];
  DWORD length = GetFullPathNameA(scan.path.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(kPathSize)) {
    *error = "the log path is longer than the uninstaller takes (511 characters)";
    return false;
  }
  std::string logPath = full;
  std::string installFolder = logPath.substr(0, logPath.find_last_of('\\'));
  if (installFolder.size() == 2) installFolder += "\\";
  std::string before = CurrentFolder();

  Overlay overlay;
  gOverlay = &overlay;
  gRun = run;
  gOptions = &options;
  gSilent = false;
  gDialog = nullptr;
  gCopyHeld = false;
  gCopyTarget.clear();

  // Stage one: the program beside the log, started in the install folder.
  SetCurrentDirectoryA(installFolder.c_str());
  std::string folder = logPath.substr(0, logPath.find_last_of('\\') + 1);
  std::string program =
      folder + (options.programName.empty()
                    ? ProgramBeside(folder, logPath.substr(folder.size()))
                    : options.programName);
  CopyText(gProgramPath, kPathSize, program.c_str());
  CopyText(gProgramFolder, kPathSize, program.c_str());
  StripLastComponent(gProgramFolder);
  gCommandLogPath[0] = 0;
  TakeFolders();
  FreshProcess(logPath.c_str());
  BuildCaption();
  run->installFolder = CurrentFolder();
  gSteps = &run->stageOne;
  gStage = 1;
  RunStageOne();

  // Stage two: the copy, a new process with the log path on its command
  // line; the machine is as stage one left it, the handled-file set empty.
  // Stage one answered No to its question when nothing was copied.
  if (gCopyHeld) {
    gStage = 2;
    CopyText(gProgramPath, kPathSize, gCopyTarget.c_str());
    CopyText(gProgramFolder, kPathSize, gCopyTarget.c_str());
    StripLastComponent(gProgramFolder);
    CopyText(gCommandLogPath, kPathSize, logPath.c_str());
    TakeFolders();
    FreshProcess(logPath.c_str());
    BuildCaption();
    gSteps = &run->stageTwo;
    RunStageTwo();
    run->tempFolder = CurrentFolder();
  }

  gSteps = nullptr;
  gStage = 0;
  SetCurrentDirectoryA(before.c_str());
  gOverlay = nullptr;
  gRun = nullptr;
  return true;
}

bool PreviewRunning() { return gOverlay != nullptr; }

// The gate of every program that links the preview: while one runs the
// preview answers, otherwise the uninstaller's own plain calls do (the tests
// call the actions directly; uninstlog itself runs none outside a preview).
namespace {
#define GATE(name) Plain##name
#include "common/gate.cpp"
#undef GATE
}  // namespace

BOOL WINAPI GateDeleteFile(const char* path) {
  return gOverlay ? PreviewDeleteFile(path) : PlainDeleteFile(path);
}
BOOL WINAPI GateSetFileAttributes(const char* path, DWORD attributes) {
  return gOverlay ? PreviewSetFileAttributes(path, attributes)
                  : PlainSetFileAttributes(path, attributes);
}
BOOL WINAPI GateRemoveDirectory(const char* path) {
  return gOverlay ? PreviewRemoveDirectory(path) : PlainRemoveDirectory(path);
}
BOOL WINAPI GateRemoveFontResource(const char* path) {
  return gOverlay ? PreviewRemoveFontResource(path) : PlainRemoveFontResource(path);
}
void WINAPI GateBroadcastFontChange() {
  if (!gOverlay) PlainBroadcastFontChange();  // in a preview, part of the font's effect line
}
LONG WINAPI GateRegDeleteKey(HKEY root, const char* path) {
  return gOverlay ? PreviewRegDeleteKey(root, path) : PlainRegDeleteKey(root, path);
}
LONG WINAPI GateDeleteLinkKey(NativeDeleteKey deleteKey, HKEY link) {
  return gOverlay ? PreviewDeleteLinkKey(link) : PlainDeleteLinkKey(deleteKey, link);
}
LONG WINAPI GateRegDeleteValue(HKEY key, const char* name) {
  return gOverlay ? PreviewRegDeleteValue(key, name) : PlainRegDeleteValue(key, name);
}
LONG WINAPI GateRegSetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  return gOverlay ? PreviewRegSetValue(key, name, type, data, size)
                  : PlainRegSetValue(key, name, type, data, size);
}
BOOL WINAPI GateWriteProfileString(const char* section, const char* key, const char* value,
                            const char* file) {
  return gOverlay ? PreviewWriteProfileString(section, key, value, file)
                  : PlainWriteProfileString(section, key, value, file);
}
BOOL WINAPI GateScheduleDeletion(const char* path) {
  return gOverlay ? PreviewScheduleDeletion(path) : PlainScheduleDeletion(path);
}
BOOL WINAPI GateCopyFile(const char* from, const char* to) {
  return gOverlay ? PreviewCopyFile(from, to) : PlainCopyFile(from, to);
}
BOOL WINAPI GateCreateFolder(const char* path, SECURITY_ATTRIBUTES* security) {
  return gOverlay ? PreviewCreateFolder(path) : PlainCreateFolder(path, security);
}
BOOL WINAPI GateCreateProcess(char* commandLine, DWORD flags, STARTUPINFOA* startup,
                       PROCESS_INFORMATION* process) {
  return gOverlay ? PreviewCreateProcess(commandLine, process)
                  : PlainCreateProcess(commandLine, flags, startup, process);
}
HMODULE WINAPI GateLoadLibrary(const char* path) {
  return gOverlay ? PreviewLoadLibrary(path) : PlainLoadLibrary(path);
}
int WINAPI GateCallFunction(const char* library, const char* name, FARPROC function, int count,
                     const char* const* arguments) {
  return gOverlay ? PreviewCallFunction(library, name, count, arguments)
                  : PlainCallFunction(library, name, function, count, arguments);
}
int WINAPI GateNoticeBox(HWND owner, const char* text, const char* caption, UINT style) {
  return gOverlay ? PreviewNoticeBox(text, style) : PlainNoticeBox(owner, text, caption, style);
}
int WINAPI GateCheckBox(HWND owner, const char* text, const char* caption, UINT style) {
  return gOverlay ? PreviewCheckBox(text, style) : PlainCheckBox(owner, text, caption, style);
}
void WINAPI GateEndProcess() {
  if (gOverlay) PreviewEndProcess();
  PlainEndProcess();
  ExitProcess(0);  // not reached
}
void WINAPI GateDialog(HINSTANCE module, int templateId, DLGPROC procedure) {
  // The dialog's work without the dialog: the late phase, answered as above.
  if (gOverlay)
    RunActions(kLatePhase);
  else
    PlainDialog(module, templateId, procedure);
}
HANDLE WINAPI GateOpenFile(const char* path, DWORD access, DWORD share, DWORD flags) {
  return gOverlay ? PreviewOpenFile(path, access, share, flags)
                  : PlainOpenFile(path, access, share, flags);
}
DWORD WINAPI GateFileAttributes(const char* path) {
  return gOverlay ? Attributes(path) : PlainFileAttributes(path);
}
HANDLE WINAPI GateFindFirstFile(const char* pattern, WIN32_FIND_DATAA* entry) {
  return gOverlay ? PreviewFindFirstFile(pattern, entry) : PlainFindFirstFile(pattern, entry);
}
BOOL WINAPI GateFindNextFile(HANDLE search, WIN32_FIND_DATAA* entry) {
  return gOverlay ? PreviewFindNextFile(search, entry) : PlainFindNextFile(search, entry);
}
BOOL WINAPI GateFindClose(HANDLE search) {
  return gOverlay ? PreviewFindClose(search) : PlainFindClose(search);
}
LONG WINAPI GateRegOpenKey(HKEY root, const char* path, REGSAM access, HKEY* key) {
  return gOverlay ? PreviewRegOpenKey(root, path, access, key)
                  : PlainRegOpenKey(root, path, access, key);
}
LONG WINAPI GateRegOpenLink(HKEY root, const char* path, REGSAM access, HKEY* key) {
  return gOverlay ? PreviewRegOpenLink(root, path, access, key)
                  : PlainRegOpenLink(root, path, access, key);
}
LONG WINAPI GateRegEnumKey(HKEY key, DWORD index, char* name, DWORD* nameSize) {
  return gOverlay ? PreviewRegEnumKey(key, index, name, nameSize)
                  : PlainRegEnumKey(key, index, name, nameSize);
}
LONG WINAPI GateRegQueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  return gOverlay ? PreviewRegQueryValue(key, name, type, data, size)
                  : PlainRegQueryValue(key, name, type, data, size);
}
LONG WINAPI GateRegCloseKey(HKEY key) { return gOverlay ? PreviewRegCloseKey(key) : PlainRegCloseKey(key); }
DWORD WINAPI GateGetProfileString(const char* section, const char* key, const char* fallback,
                           char* out, DWORD outSize, const char* file) {
  return gOverlay ? PreviewGetProfileString(section, key, fallback, out, outSize, file)
                  : PlainGetProfileString(section, key, fallback, out, outSize, file);
}
void WINAPI GateRefuse(const char* object, int reason) {
  gOverlay ? PreviewRefuse(object, reason) : PlainRefuse(object, reason);
}
void WINAPI GateLeftover(const char* path) { gOverlay ? PreviewLeftover(path) : PlainLeftover(path); }

// --- the report ----------------------------------------------------------------

namespace {

std::string EffectText(const PreviewEffect& e, bool stageOne) {
  switch (e.kind) {
    case kEffectFile:
      return e.happens ? "delete file " + e.object + " (" + std::to_string(e.bytes) + " bytes)"
                       : "file " + e.object + " stays: " + e.why;
    case kEffectAttributes: return "clear " + e.detail + " of " + e.object;
    case kEffectFont: return "unload the font " + e.object + " and tell every window";
    case kEffectFolder:
      return e.happens ? "remove folder " + e.object : "folder " + e.object + " stays: " + e.why;
    case kEffectKey:
      return e.happens ? "delete key " + e.object + " (" + std::to_string(e.count) + " values)"
                       : "key " + e.object + ": " + e.why;
    case kEffectValue: {
      std::string name = e.name.empty() ? "(default)" : e.name;
      return e.happens ? "delete value " + e.object + " : " + name + " = " + e.detail
                       : "value " + e.object + " : " + name + ": " + e.why;
    }
    case kEffectCount:
      return e.happens ? "shared-library count " + e.name + ": " + e.detail
                       : "shared-library count " + e.name + ": " + e.why;
    case kEffectEntry:
      return e.happens ? "delete profile entry " + e.object + " [" + e.name + "] " + e.key + "=" +
                             e.detail
                       : "profile entry " + e.object + " [" + e.name + "] " + e.key + ": " + e.why;
    case kEffectSection:
      return e.happens ? "delete profile section " + e.object + " [" + e.name + "] (" +
                             std::to_string(e.count) + " entries)"
                       : "profile section " + e.object + " [" + e.name + "]: " + e.why;
    case kEffectProfileWrite:
      return "write " + e.object + " [" + e.name + "] " + e.key + "=" + e.detail;
    case kEffectLeftover:
      return "leftover list: " + e.object +
             (stageOne ? " (stage one has no dialog: the line goes nowhere)"
                       : " (offered in the dialog; a silent run leaves it on disk)");
    case kEffectProgram:
      return e.happens ? "start and wait for: " + e.object + " (runs " + e.detail +
                             "; not started by the preview, what it does is not shown)"
                       : "would not start " + e.object + ": " + e.why;
    case kEffectLibrary:
      return e.happens ? "load library " + e.detail : "library " + e.object + " does not load (" +
                                                           e.why + "): nothing is called";
    case kEffectCall:
      return "call " + e.name + "(" + e.detail + ") in " + e.object +
             " (not called by the preview; taken as returning non-zero)";
    case kEffectQuestion:
      return "ask \"" + e.object + "\" (the box would appear; the preview answers " + e.detail + ")";
    case kEffectCheckBox:
      return "now: the box would appear (" + e.name + "): \"" + e.object +
             "\" (the preview goes on as " + e.detail + ")";
    case kEffectRefusal: return "refused: " + e.object + ": " + e.why;
    case kEffectCopy: return "copy " + e.object + " to " + e.detail;
    case kEffectSchedule: return "delete " + e.object + " at the next restart";
    case kEffectStart: return "start stage two: " + e.object;
  }
  return "";
}

struct Summary {
  int files = 0, folders = 0, keys = 0, values = 0, entries = 0, counts = 0;
  int leftovers = 0, programs = 0, calls = 0, boxes = 0, refused = 0, failed = 0;
  unsigned long long bytes = 0;
};

void Add(Summary* s, const PreviewEffect& e) {
  switch (e.kind) {
    case kEffectFile:
      if (e.happens) { ++s->files; s->bytes += e.bytes; } else { ++s->failed; }
      break;
    case kEffectFolder: if (e.happens) ++s->folders; break;  // full folders stay by design
    case kEffectKey: if (e.happens) { ++s->keys; s->values += e.count; } break;
    case kEffectValue: if (e.happens) ++s->values; break;
    case kEffectCount: if (e.happens) ++s->counts; break;
    case kEffectEntry: if (e.happens) ++s->entries; break;
    case kEffectSection: if (e.happens) s->entries += e.count; break;
    case kEffectLeftover: ++s->leftovers; break;
    case kEffectProgram: ++s->programs; break;
    case kEffectCall: ++s->calls; break;
    case kEffectQuestion:
    case kEffectCheckBox: ++s->boxes; break;
    case kEffectRefusal: ++s->refused; break;
    default: break;
  }
}

Summary SummaryOf(const PreviewRun& run) {
  Summary s;
  for (const auto* steps : {&run.stageOne, &run.stageTwo})
    for (const PreviewStep& step : *steps)
      for (const PreviewEffect& e : step.effects) Add(&s, e);
  return s;
}


std::string StepHead(const LogScan& scan, const PreviewStep& step) {
  if (step.record == kStepQuestion)
    return "  before the actions (the question, message 43, is not asked with -s):\n";
  if (step.record == kStepPass) return "  after the actions (the uninstall registration, stage two):\n";
  if (step.record == kStepEnd) return "  after the actions:\n";
  const PlanRecord& r = scan.records[static_cast<size_t>(step.record)];
  std::string fields;
  for (const auto& f : DecodeAction(r.action)) fields += (fields.empty() ? "" : "; ") + f.first + " = " + f.second;
  return "  " + Pad(std::to_string(r.order), 6, true) + "  " + Pad(r.line ? std::to_string(r.line) : "?", 5, true) +
         "  " + r.action.substr(0, 1) + "  " + fields + "\n";
}

// Why the exit code is what it is: the findings of check that raised it,
// the refusals and the deletes that would fail.
std::string PreviewVerdict(const LogScan& scan, const PreviewRun& run) {
  const size_t kShownFindings = 10;
  int code = PreviewExitCode(scan, run);
  std::string out = "exit code " + std::to_string(code);
  if (code == kExitClean) return out + "\n";
  out += ", raised by:\n";
  std::vector<Finding> raising;
  for (const Finding& f : CheckScan(scan))
    if (f.severity != kNote) raising.push_back(f);
  // Errors first: they decide the code.
  std::stable_sort(raising.begin(), raising.end(),
                   [](const Finding& a, const Finding& b) { return a.severity > b.severity; });
  for (size_t i = 0; i < raising.size() && i < kShownFindings; ++i)
    out += "  " + (raising[i].line ? "line " + std::to_string(raising[i].line) + ": " : "") +
           (raising[i].severity == kError ? "error: " : "warning: ") + raising[i].text + " [" +
           raising[i].code + "]\n";
  if (raising.size() > kShownFindings)
    out += "  and " + std::to_string(raising.size() - kShownFindings) +
           " more findings: run uninstlog check " + scan.path + "\n";
  Summary s = SummaryOf(run);
  if (s.refused)
    out += "  " + std::to_string(s.refused) + " refused (the lines marked refused above)\n";
  if (s.failed)
    out += "  " + std::to_string(s.failed) +
           " deletes that would fail on this machine (marked stays above)\n";
  return out;
}

// Every record of a stage, with the steps that made effects.
std::vector<PreviewStep> AllSteps(const LogScan& scan, const std::vector<PreviewStep>& steps,
                                  bool early) {
  std::vector<PreviewStep> all;
  size_t next = 0;
  auto flushSpecial = [&](int upTo) {
    while (next < steps.size() && steps[next].record < 0 &&
           (upTo < 0 || steps[next].record == kStepQuestion))
      all.push_back(steps[next++]);
  };
  flushSpecial(0);
  for (size_t i = 0; i < scan.records.size(); ++i) {
    if ((scan.records[i].order < kPhaseBoundary) != early) continue;
    PreviewStep step = {static_cast<int>(i), {}};
    while (next < steps.size() && steps[next].record == static_cast<int>(i))
      for (const PreviewEffect& e : steps[next++].effects) step.effects.push_back(e);
    all.push_back(step);
  }
  flushSpecial(-1);
  return all;
}

std::string NothingText(char letter) {
  switch (letter) {
    case 'B': return "the check finds nothing now: no box";
    case 'J': return "no such key or value: nothing changes";
    case 'K': return "no such count: nothing changes";
    case 'M': return "no such profile file: nothing changes";
    case 'P':
    case 'U': return "nothing matches that is not already handled: nothing changes";
    case 'C':
    case 'D': return "nothing is called (too long a field)";
    case 'E': return "nothing is started (too long a command line)";
    default: return "passed over: no action has this letter";
  }
}

// What a running-program check found, in words: "flyer.exe is in use now".
std::string CheckFinding(const std::string& action) {
  std::string name = ActionField(action, 1);
  std::vector<char> stripped(name.begin(), name.end());
  stripped.push_back(0);
  StripQuotes(stripped.data());
  name = stripped.data();
  switch (ParseDecimal(ActionField(action, 0).c_str()) & 0xFFFF) {
    case 0: return name + " is in use ";
    case 1: return "the mutex " + name + " exists ";
    case 2: return "a window titled \"" + name + "\" is open ";
    default: return "a window whose title holds \"" + name + "\" is open ";
  }
}

void AppendStage(std::string* out, const LogScan& scan, const std::vector<PreviewStep>& steps,
                 bool early) {
  for (const PreviewStep& step : AllSteps(scan, steps, early)) {
    *out += StepHead(scan, step);
    const std::string indent(18, ' ');
    if (step.effects.empty() && step.record >= 0)
      *out += indent + NothingText(scan.records[static_cast<size_t>(step.record)].action[0]) + "\n";
    for (const PreviewEffect& e : step.effects) {
      std::string text = EffectText(e, early);
      if (e.kind == kEffectCheckBox && step.record >= 0)
        text = CheckFinding(scan.records[static_cast<size_t>(step.record)].action) + text;
      *out += indent + text + "\n";
    }
    if (step.record >= 0) {
      const std::string& action = scan.records[static_cast<size_t>(step.record)].action;
      bool called = false, loaded = false;
      for (const PreviewEffect& e : step.effects) {
        called |= e.kind == kEffectCall;
        loaded |= e.kind == kEffectLibrary && e.happens;
      }
      if (loaded && !called)
        *out += indent + "the function is not exported there, or the count is not 0 to 5: nothing is called\n";
      if (action[0] == 'C' && called)
        *out += indent + "a result of 0 would end the uninstaller here\n";
    }
  }
}


const char* const kKindNames[] = {
    "file", "attributes", "font", "folder", "key", "value", "count", "entry", "section",
    "profile-write", "leftover", "program", "library", "call", "question", "check-box",
    "refusal", "copy", "schedule", "start"};
static_assert(sizeof kKindNames / sizeof kKindNames[0] == kEffectStart + 1, "a name per kind");

std::string JsonEffect(const PreviewEffect& e) {
  std::string out = "{\"kind\": \"" + std::string(kKindNames[e.kind]) + "\", \"happens\": " +
                    (e.happens ? "true" : "false") + ", \"object\": " + JsonText(e.object);
  if (!e.name.empty()) out += ", \"name\": " + JsonText(e.name);
  if (!e.key.empty()) out += ", \"key\": " + JsonText(e.key);
  if (!e.detail.empty()) out += ", \"detail\": " + JsonText(e.detail);
  if (!e.why.empty()) out += ", \"why\": " + JsonText(e.why);
  if (!e.before.empty()) out += ", \"before\": " + JsonText(e.before);
  if (!e.after.empty()) out += ", \"after\": " + JsonText(e.after);
  if (e.kind == kEffectFile) out += ", \"bytes\": " + std::to_string(e.bytes);
  if (e.kind == kEffectKey) out += ", \"values\": " + std::to_string(e.count);
  if (e.kind == kEffectSection) out += ", \"entries\": " + std::to_string(e.count);
  return out + "}";
}

std::string JsonStage(const LogScan& scan, const std::vector<PreviewStep>& steps, bool early) {
  std::string out = "[";
  bool first = true;
  for (const PreviewStep& step : AllSteps(scan, steps, early)) {
    out += first ? "\n" : ",\n";
    first = false;
    if (step.record >= 0) {
      const PlanRecord& r = scan.records[static_cast<size_t>(step.record)];
      out += "      {\"order\": " + std::to_string(r.order) + ", \"line\": " + std::to_string(r.line) +
             ", \"letter\": " + JsonText(r.action.substr(0, 1)) + ", \"action\": " + JsonText(r.action);
    } else {
      out += std::string("      {\"step\": ") +
             (step.record == kStepQuestion ? "\"question\""
              : step.record == kStepPass   ? "\"uninstall-keys\""
                                           : "\"end\"");
    }
    out += ", \"effects\": [";
    for (size_t i = 0; i < step.effects.size(); ++i)
      out += (i ? ",\n         " : "\n         ") + JsonEffect(step.effects[i]);
    out += "]}";
  }
  return out + (first ? "]" : "\n    ]");
}

}  // namespace

std::string FormatPreview(const LogScan& scan, const PreviewRun& run) {
  int early = 0;
  for (const PlanRecord& r : scan.records)
    if (r.order < kPhaseBoundary) ++early;
  std::string out = "preview of " + scan.path + " on this machine: " +
                    std::to_string(scan.records.size()) + " actions (" + std::to_string(early) +
                    " in stage one, " + std::to_string(scan.records.size() - early) +
                    " in stage two); nothing was changed\n\n";
  out += "stage one (current folder " + run.installFolder + ")\n";
  AppendStage(&out, scan, run.stageOne, true);
  out += "\n";
  out += "stage two (current folder " + run.tempFolder + ")\n";
  AppendStage(&out, scan, run.stageTwo, false);
  Summary s = SummaryOf(run);
  out += "\nsummary: " + std::to_string(s.files) + " files (" + std::to_string(s.bytes) +
         " bytes), " + std::to_string(s.folders) + " folders, " + std::to_string(s.keys) +
         " keys, " + std::to_string(s.values) + " values, " + std::to_string(s.entries) +
         " profile entries, " + std::to_string(s.counts) + " shared-library counts removed or lowered; " +
         std::to_string(s.leftovers) + " leftovers, " + std::to_string(s.boxes) + " boxes, " +
         std::to_string(s.programs) + " programs started, " + std::to_string(s.calls) +
         " library functions called, " + std::to_string(s.refused) + " refused, " +
         std::to_string(s.failed) + " deletes that would fail\n";
  return out + PreviewVerdict(scan, run);
}

std::string FormatPreviewJson(const LogScan& scan, const PreviewRun& run) {
  Summary s = SummaryOf(run);
  return "{\n  \"log\": " + JsonText(scan.path) + ",\n  \"stage_one\": {\"folder\": " +
         JsonText(run.installFolder) + ", \"steps\": " + JsonStage(scan, run.stageOne, true) +
         "},\n  \"stage_two\": {\"folder\": " + JsonText(run.tempFolder) + ", \"steps\": " +
         JsonStage(scan, run.stageTwo, false) + "},\n  \"summary\": {\"files\": " +
         std::to_string(s.files) + ", \"bytes\": " + std::to_string(s.bytes) + ", \"folders\": " +
         std::to_string(s.folders) + ", \"keys\": " + std::to_string(s.keys) + ", \"values\": " +
         std::to_string(s.values) + ", \"entries\": " + std::to_string(s.entries) +
         ", \"counts\": " + std::to_string(s.counts) + ", \"leftovers\": " +
         std::to_string(s.leftovers) + ", \"boxes\": " + std::to_string(s.boxes) +
         ", \"programs\": " + std::to_string(s.programs) + ", \"calls\": " +
         std::to_string(s.calls) + ", \"refused\": " + std::to_string(s.refused) +
         ", \"failed\": " + std::to_string(s.failed) + "}\n}\n";
}

int PreviewExitCode(const LogScan& scan, const PreviewRun& run) {
  int code = ExitCodeOf(CheckScan(scan));
  Summary s = SummaryOf(run);
  if (s.refused) code = kExitErrors;
  if (s.failed && code < kExitWarnings) code = kExitWarnings;
  return code;
}
