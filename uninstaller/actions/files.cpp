// File and folder removal (P and U lines): wildcard walks over one folder or
// a whole tree, and the treatment of each file by the line's mode.
#include "actions/actions.h"
#include "common/state.h"
#include "log/log.h"
#include "log/string_set.h"
#include "common/gate.h"

namespace {

constexpr int kShortestOwnFolder = 4;  // "C:\" and shorter never take a wildcard
constexpr int kFontSuffixLength = 4;
const char kFontSuffix[] = ".ttf";
const char kAllEntries[] = "*.*";

// Working texts that no recursion level needs after it calls the next one.
char gSubPattern[kPathSize];
char gCheckFolder[kPathSize];
char gCheckName[kPathSize];
char gCheckBase[kNamePartSize];
char gCheckExtension[kNamePartSize];
char gNormalized[kPathSize];
char gLinePath[kPathSize];
char gLineMode[kPathSize];
static_assert(LogFieldsAre('P', 0, 1, sizeof gLinePath) &&
                  LogFieldsAre('P', 1, 1, sizeof gLineMode) &&
                  LogFieldsAre('U', 0, 1, sizeof gLinePath) &&
                  LogFieldsAre('U', 1, 1, sizeof gLineMode),
              "P's and U's buffers hold their fields");
int gWalkDepth;  // 0 for the line's own path

// The platform takes "/" as a separator too; the walk splits at backslashes,
// so slashes become backslashes first, or an entry found in one folder would
// be named in its parent. No file name holds a control character, '"', '<',
// '>' or '|': a path with one names nothing, or is a pattern the platform
// reads its own way ('"', '<' and '>' are the search's DOS_DOT, DOS_STAR and
// DOS_QM wildcards). Such a path is refused before any other test, so that
// "*" and "?" are the only wildcards left to judge.
int NormalizeSeparators(const char* path) {
  if (!CopyText(gNormalized, kPathSize, path)) return kRefuseShortFolder;  // does not fit
  int refusal = kRefuseNone;
  for (unsigned char* p = reinterpret_cast<unsigned char*>(gNormalized); *p; ++p) {
    if (*p == '/') *p = '\\';
    if (*p < ' ' || *p == '"' || *p == '<' || *p == '>' || *p == '|') refusal = kRefuseCharacter;
  }
  return refusal;
}

bool IsWildcard(char c) { return c == '*' || c == '?'; }

bool HasWildcard(const char* name) {
  for (; *name; ++name)
    if (IsWildcard(*name)) return true;
  return false;
}

// Splits a path into the folder its entries live in and its name part, so
// that the full paths formed later name what the search finds: "C:" from
// "C:\x" becomes the root "C:\"; a path with a single leading backslash keeps
// "\" (the current drive's root); a drive-relative path ("D:name") keeps
// "D:", its name part starts after the colon and entries are named "D:name".
void SplitPattern(const char* path, char* folder, char* name, bool* driveRelative) {
  *driveRelative = false;
  CopyText(folder, kPathSize, path);  // callers checked that the path fits
  StripLastComponent(folder);
  PathFileName(path, name, kPathSize);
  if (folder[0] == 0 && path[0] == '\\' && path[1] != '\\') {
    CopyText(folder, kPathSize, "\\");
  } else if (folder[0] == 0 && path[0] != 0 && path[1] == ':') {
    folder[0] = path[0];
    folder[1] = ':';
    folder[2] = 0;
    CopyText(name, kPathSize, path + 2);
    *driveRelative = true;
    return;
  }
  // Drive-root fix: "C:" from "C:\x" is the root, "C:\".
  if (lstrlenA(folder) == 2 && folder[1] == ':') AppendText(folder, kPathSize, "\\");
}

bool IsOwnMatching(const char* name, const char* extension, int dot) {
  return name[0] == '*' || (dot >= 0 && extension[0] == '*');
}

// Joins an entry's name to the folder its search ran in.
char* FormEntryPath(char* out, const char* folder, bool driveRelative, const char* name) {
  if (!driveRelative) return PathJoin(out, kPathSize, folder, name);
  if (!CopyText(out, kPathSize, folder) || !AppendText(out, kPathSize, name)) {
    out[0] = 0;
    return nullptr;
  }
  return out;
}

bool IsDotEntry(const char* name) { return SameText(name, ".") || SameText(name, ".."); }

// A name part longer than any entry name can match nothing we could hold;
// an empty name, "." or ".." names no entry of its own.
bool IsNoEntryName(const char* name) {
  return name[0] == 0 || lstrlenA(name) >= kNamePartSize || IsDotEntry(name);
}

}  // namespace

// An entry's name against a name part: a pattern matched here, not by the
// platform, compares base and extension as they stand unless a star takes
// any ("*old.txt" takes every .txt; "*.htm" does not take page.html).
bool NamePartMatches(const char* namePart, const char* entryName) {
  char base[kNamePartSize], extension[kNamePartSize];
  char entryBase[kNamePartSize], entryExtension[kNamePartSize];
  if (lstrlenA(namePart) >= kNamePartSize) return false;
  int dot = SplitExtension(namePart, base, kNamePartSize, extension, kNamePartSize);
  if (!IsOwnMatching(namePart, extension, dot))
    return !HasWildcard(namePart) && SameText(namePart, entryName);
  // Entry names hold at most 255 characters: both parts fit.
  SplitExtension(entryName, entryBase, kNamePartSize, entryExtension, kNamePartSize);
  return (namePart[0] == '*' || SameText(entryBase, base)) &&
         (dot < 0 || extension[0] == '*' || SameText(entryExtension, extension));
}

bool IsOwnPattern(const char* namePart) {
  char base[kNamePartSize], extension[kNamePartSize];
  return IsOwnMatching(namePart, extension,
                       SplitExtension(namePart, base, kNamePartSize, extension, kNamePartSize));
}

int SplitExtension(const char* name, char* base, int baseSize, char* extension,
                   int extensionSize) {
  int length = lstrlenA(name);
  int dot = length - 1;
  while (dot >= 0 && name[dot] != '.') --dot;
  if (dot < 0) {
    CopyText(base, baseSize, name);
    if (extensionSize > 0) extension[0] = 0;
    return -1;
  }
  // A part that does not fit comes out empty, as CopyText leaves it.
  if (dot < baseSize) {
    lstrcpynA(base, name, dot + 1);
  } else if (baseSize > 0) {
    base[0] = 0;
  }
  CopyText(extension, extensionSize, name + dot + 1);
  return dot;
}


namespace {

// Splits a path into its folder (into folder) and name part (into
// gCheckName), and answers why the removal refuses it outright (0: it does
// not).
int SplitAndRefuse(const char* path, bool recursive, char* folder, bool* driveRelative) {
  *driveRelative = false;
  folder[0] = gCheckName[0] = 0;
  int refusal = NormalizeSeparators(path);
  if (refusal == kRefuseShortFolder) return refusal;
  SplitPattern(gNormalized, folder, gCheckName, driveRelative);
  if (refusal) return refusal;
  // Only the line's own path is judged. Below it the walk enters no link,
  // and no protected folder lies below an unprotected one (the folders above
  // a protected folder are protected too).
  if (gWalkDepth > 0) return kRefuseNone;
  int dot = SplitExtension(gCheckName, gCheckBase, kNamePartSize, gCheckExtension, kNamePartSize);
  bool wildcard = HasWildcard(gCheckName);
  if (IsOwnMatching(gCheckName, gCheckExtension, dot) && lstrlenA(folder) < kShortestOwnFolder)
    return kRefuseShortFolder;
  // The platform opens "\??\C:\*" at the root of C:, and a walk below a
  // namespace path sees no "..", no trailing dot and no root as we do: no
  // wildcard and no tree there.
  if (IsDevicePath(gNormalized)) return (wildcard || recursive) ? kRefuseDevice : kRefuseNone;
  // A folder walk never starts at a protected folder, nor does a pattern
  // that matches every name there; one file and narrower patterns still work.
  if (!wildcard) return recursive && gCheckName[0] ? ProtectionOf(gNormalized) : kRefuseNone;
  // A wildcard, ours or the platform's, never sweeps a root folder, however
  // the folder is spelled ("C:\..\*", "C:\\\*", a junction to a root). In
  // a protected folder a pattern that begins with a wildcard takes a whole
  // class of the system's own files ("*.ini", "?*"); only one with a literal
  // stem ("flyer*.ini", "Dorvane*") is the package's own. (One of dots and
  // wildcards alone that does not begin with a wildcard begins with a dot:
  // it takes only names that begin with one.)
  int protection = ProtectionOf(folder);
  if (protection == kRefuseRoot || IsWildcard(gCheckName[0])) return protection;
  return kRefuseNone;
}

}  // namespace

int RefusalOf(const char* path, bool recursive) {
  bool driveRelative;
  return SplitAndRefuse(path, recursive, gCheckFolder, &driveRelative);
}

bool NamesNoEntry(const char* path) {
  bool driveRelative;
  SplitAndRefuse(path, false, gCheckFolder, &driveRelative);  // the split comes first
  return IsNoEntryName(gCheckName);
}

void UnloadFontFile(const char* path) {
  int length = lstrlenA(path);
  if (length < kFontSuffixLength || !SameText(path + length - kFontSuffixLength, kFontSuffix))
    return;
  GateRemoveFontResource(path);
  // Sent, not posted: running programs drop the font before its file goes.
  GateBroadcastFontChange();
}

void TreatFile(const char* path, int mode) {
  if (!FileExists(path)) return;
  int recorded = RememberHandledFile(path);
  if (recorded == 0) return;
  // A file that cannot be recorded could come round again in a later line,
  // which would then not know of this line's No answer or leftover: it is
  // kept and offered in the leftover list, never deleted or asked about.
  if (recorded < 0) mode = kFileModeList;
  if (mode == kFileModeAsk &&
      ShowNotice(kNoticeQuestion, GetMessageText(kDeleteQuestionId), path) == IDYES)
    mode = kFileModeDelete;
  if (mode == kFileModeDelete) {
    // Read-only, hidden and system files go too.
    GateSetFileAttributes(path, FILE_ATTRIBUTE_NORMAL);
    UnloadFontFile(path);
    if (!GateDeleteFile(path)) mode = kFileModeList;
  }
  if (mode == kFileModeList) AddLeftover(path);
}

// Each level keeps its folder, pattern parts, entry path and search record
// on the stack (about 2 KB). Every level adds at least "\x" to a path of at
// most 511 characters, so the depth stays below 256 levels (about 500 KB).
void RemoveMatching(const char* path, bool recursive, int mode) {
  char folder[kPathSize];
  char patternName[kNamePartSize];
  char entryPath[kPathSize];
  WIN32_FIND_DATAA entry;

  bool driveRelative;
  if (int refusal = SplitAndRefuse(path, recursive, folder, &driveRelative)) {
    GateRefuse(path, refusal);
    return;
  }
  if (IsNoEntryName(gCheckName)) return;
  CopyText(patternName, kNamePartSize, gCheckName);  // shorter than kNamePartSize here
  bool own = IsOwnPattern(patternName);

  char* search = entryPath;  // the search pattern, before entryPath is needed
  if (own) {
    if (!PathJoin(search, kPathSize, folder, kAllEntries)) return;
  } else if (!CopyText(search, kPathSize, gNormalized)) {
    return;
  }
  HANDLE found = GateFindFirstFile(search, &entry);
  if (found == INVALID_HANDLE_VALUE) return;
  do {
    if (own && !NamePartMatches(patternName, entry.cFileName)) continue;
    // An entry whose full path would not fit stays on disk.
    if (!FormEntryPath(entryPath, folder, driveRelative, entry.cFileName)) continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!recursive || IsDotEntry(entry.cFileName)) continue;
      // A junction or symbolic link is never followed out of the tree; only
      // the link itself may go.
      bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      // A narrow pattern in a protected folder may still match a protected
      // folder there ("Common*" in Program Files): that one stays whole.
      if (gWalkDepth == 0 && ProtectionOf(entryPath) != kRefuseNone) continue;
      if (mode != kFolderModeOnlyEmpty && !link &&
          PathJoin(gSubPattern, kPathSize, entryPath, kAllEntries)) {
        ++gWalkDepth;
        RemoveMatching(gSubPattern, true, mode);
        --gWalkDepth;
      }
      GateRemoveDirectory(entryPath);  // fails, unreported, while not empty
      continue;
    }
    // A P line's mode is the file's; a U line's says what its files get.
    if (!recursive) {
      TreatFile(entryPath, mode);
    } else if (mode == kFolderModeListFiles) {
      TreatFile(entryPath, kFileModeList);
    } else if (mode == kFolderModeDeleteAll) {
      TreatFile(entryPath, kFileModeDelete);
    }
  } while (GateFindNextFile(found, &entry));
  GateFindClose(found);
}

static void RemoveByLine(const char* actionText, bool recursive) {
  const char* fields = actionText + 1;
  // An overlong path is skipped: cut, it could name something else.
  if (!GetField(gLinePath, kPathSize, fields, 0)) return;
  GetField(gLineMode, kPathSize, fields, 1);  // an overlong mode reads as 0
  RemoveMatching(gLinePath, recursive, ParseDecimal(gLineMode) & kModeMask);
}

void RemoveFiles(const char* actionText) { RemoveByLine(actionText, false); }

void RemoveFolders(const char* actionText) { RemoveByLine(actionText, true); }
