// Registry keys and values (J), shared-library use counts (K), profile
// entries (M), and the stage-one removal of the uninstall registration.
#include "actions/actions.h"
#include "common/state.h"
#include "log/log.h"
#include "log/string_set.h"
#include "common/gate.h"

namespace {

const HKEY kRootKeys[kRootCount] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                                    HKEY_USERS};
constexpr int kSubkeyNameSize = 128;
constexpr int kProfileKeysSize = 200;   // names of the keys left in a section
constexpr DWORD kCountSize = 4;
const char kDefaultValue[] = "default";
const char kLinkValue[] = "SymbolicLinkValue";  // where a link key keeps its target
typedef LONG(WINAPI* DeleteKeyCall)(HANDLE);

char gUninstallLine[kUninstallLineSize];
char gUninstallKey[kUninstallLineSize];
// Fields of the line being run (one handler at a time).
char gRootText[kPathSize];
char gKeyPath[kPathSize];
char gValueName[kValueNameSize];
char gFilePath[kPathSize];
char gSection[kPathSize];
char gProfileKey[kProfileKeySize];
char gKeysLeft[kProfileKeysSize];
static_assert(LogFieldsAre('J', 0, 1, sizeof gRootText) &&
                  LogFieldsAre('J', 1, 1, sizeof gKeyPath) &&
                  LogFieldsAre('J', 2, 1, sizeof gValueName),
              "J's buffers hold its fields");
static_assert(LogFieldsAre('K', 0, 1, sizeof gFilePath), "K's buffer holds its field");
static_assert(LogFieldsAre('M', 0, 1, sizeof gFilePath) &&
                  LogFieldsAre('M', 1, 1, sizeof gSection) &&
                  LogFieldsAre('M', 2, 1, sizeof gProfileKey),
              "M's buffers hold its fields");

// An empty path, or one of backslashes only, opens the root itself.
bool NamesRoot(const char* path) {
  for (; *path; ++path)
    if (*path != '\\') return false;
  return true;
}

void VisitUninstallLine(char* line) {
  ReadLineHead(&line);
  if (UninstallKeyOfLine(line, gUninstallKey, kUninstallLineSize))
    DeleteKeyTree(HKEY_LOCAL_MACHINE, gUninstallKey);
}

}  // namespace

HKEY RootKeyOf(int rootNumber) {
  rootNumber &= kRootMask;
  return rootNumber < kRootCount ? kRootKeys[rootNumber] : nullptr;
}

bool IsRegistryLink(HKEY root, const char* path) {
  HKEY key;
  if (GateRegOpenLink(root, path, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  bool link = GateRegQueryValue(key, kLinkValue, &type, nullptr, nullptr) == ERROR_SUCCESS &&
              type == REG_LINK;
  GateRegCloseKey(key);
  return link;
}

LONG DeleteKeyTree(HKEY root, const char* path) {
  // Never the root's own subkeys: the platform would open the root itself.
  if (NamesRoot(path)) {
    GateRefuse(path, kRefuseRootKeyItself);
    return ERROR_INVALID_PARAMETER;
  }
  if (IsRegistryLink(root, path)) {
    // A link is never followed: its target belongs to someone else. The link
    // itself goes, through the native call that deletes the key a handle
    // opened without following names (RegDeleteKeyA would follow the link);
    // without that call the link stays, and so do its parents.
    DeleteKeyCall deleteKey =
        reinterpret_cast<DeleteKeyCall>(FindFunction("ntdll.dll", "NtDeleteKey"));
    HKEY link;
    LONG status = ERROR_ACCESS_DENIED;
    if (deleteKey && GateRegOpenLink(root, path, DELETE, &link) == ERROR_SUCCESS) {
      if (GateDeleteLinkKey(deleteKey, link) == 0) status = ERROR_SUCCESS;
      GateRegCloseKey(link);
    }
    return status;
  }
  // Per level: a name and a path, 640 bytes; a 511-character path bounds the
  // depth to 256 levels.
  char name[kSubkeyNameSize];
  char subkeyPath[kPathSize];
  HKEY key;
  if (GateRegOpenKey(root, path, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS) {
    DWORD index = 0;
    for (;;) {
      DWORD size = kSubkeyNameSize;
      LONG status = GateRegEnumKey(key, index, name, &size);
      if (status == ERROR_MORE_DATA) {
        ++index;  // a name too long for us stays; its siblings still go
        continue;
      }
      if (status != ERROR_SUCCESS) break;
      // A subkey whose path does not fit stays, and so do its parents.
      if (!PathJoin(subkeyPath, kPathSize, path, name) ||
          DeleteKeyTree(root, subkeyPath) != ERROR_SUCCESS)
        ++index;  // pass over the subkey that stays
      // After a deletion the next subkey has moved into this index.
    }
    GateRegCloseKey(key);
  }
  return GateRegDeleteKey(root, path);
}

void RemoveRegistryEntry(const char* actionText) {
  const char* fields = actionText + 1;
  if (!GetField(gRootText, kPathSize, fields, 0)) return;
  HKEY root = RootKeyOf(ParseDecimal(gRootText));
  if (!root) {  // names no root key: touch nothing
    GateRefuse(gRootText, kRefuseNoRootKey);
    return;
  }
  // Overlong fields are not cut: a cut key path is another key, and a value
  // name that did not fit must not read as "the whole key".
  if (!GetField(gKeyPath, kPathSize, fields, 1)) return;
  if (!GetField(gValueName, kValueNameSize, fields, 2)) return;
  if (NamesRoot(gKeyPath)) {
    GateRefuse(gKeyPath, kRefuseRootKeyItself);
    return;
  }
  // The path the line names opens as the platform resolves it, links on the
  // way included (the installer wrote it through them: CurrentControlSet,
  // Software\Classes, the shared Wow6432Node keys). Only a tree walk stops
  // at the links it meets.
  if (gValueName[0] == 0) {
    DeleteKeyTree(root, gKeyPath);
    return;
  }
  HKEY key;
  if (GateRegOpenKey(root, gKeyPath, KEY_WRITE, &key) != ERROR_SUCCESS) return;
  // "default" means the key's unnamed value; the key itself stays.
  GateRegDeleteValue(key, SameText(gValueName, kDefaultValue) ? "" : gValueName);
  GateRegCloseKey(key);
}

void ReleaseSharedLibrary(const char* actionText) {
  HKEY key;
  if (GateRegOpenKey(HKEY_LOCAL_MACHINE, kSharedDllsKey, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return;
  DWORD type = 0;
  DWORD count = 0;
  DWORD size = kCountSize;
  // An overlong path is no value name of ours; a count is 4 bytes of a number
  // type: shorter data, text or anything else is left alone.
  if (!GetField(gFilePath, kPathSize, actionText + 1, 0) ||
      GateRegQueryValue(key, gFilePath, &type, reinterpret_cast<BYTE*>(&count), &size) !=
          ERROR_SUCCESS ||
      size != kCountSize || (type != REG_DWORD && type != REG_BINARY)) {
    GateRegCloseKey(key);
    return;
  }
  if (count <= 1) {
    // A count of 1 reaches its end here. A count already at 0 claims no user
    // either and is never wrapped and stored: it ends the same way, so the
    // stale value goes and the file is left to the user (leftover list,
    // handled-file set) instead of to a later file line.
    GateRegDeleteValue(key, gFilePath);
    AddLeftover(gFilePath);
    RememberHandledFile(gFilePath);
  } else {
    --count;
    GateRegSetValue(key, gFilePath, type, reinterpret_cast<const BYTE*>(&count), kCountSize);
  }
  GateRegCloseKey(key);
}

void RemoveProfileEntry(const char* actionText) {
  const char* fields = actionText + 1;
  // Nothing that did not fit is cut: a key name that did not fit must not
  // read as "the whole section".
  if (!GetField(gFilePath, kPathSize, fields, 0) || !GetField(gSection, kPathSize, fields, 1) ||
      !GetField(gProfileKey, kProfileKeySize, fields, 2))
    return;
  if (!FileExists(gFilePath)) return;  // a profile file is never created
  // Without a key name the whole section goes.
  GateWriteProfileString(gSection, gProfileKey[0] ? gProfileKey : nullptr, nullptr,
                             gFilePath);
  if (gProfileKey[0] == 0) return;
  GateGetProfileString(gSection, nullptr, "", gKeysLeft, kProfileKeysSize, gFilePath);
  if (gKeysLeft[0] == 0) GateWriteProfileString(gSection, nullptr, nullptr, gFilePath);
}

bool UninstallKeyOfLine(const char* actionText, char* key, int keySize) {
  if (keySize > 0) key[0] = 0;
  // Only J lines whose root field is one character long.
  if (actionText[0] != 'J' || actionText[1] == 0 || actionText[2] != ',') return false;
  const char* tail = actionText + kKeyPathStart;
  if (!StartsWithText(tail, kUninstallPrefix)) return false;
  if (!CopyText(gUninstallLine, kUninstallLineSize, tail)) return false;  // too long
  // The last comma ends the key path; the value name after it is not needed.
  int comma = lstrlenA(gUninstallLine) - 1;
  while (comma > 0 && gUninstallLine[comma] != ',') --comma;
  if (comma <= 0) return false;  // no value field: nothing is deleted
  gUninstallLine[comma] = 0;
  // Only a product key strictly below the prefix: prefix, one backslash, a
  // name; never the prefix itself, however many backslashes follow it.
  const int prefixLength = lstrlenA(kUninstallPrefix);
  const char* below = gUninstallLine + prefixLength;
  if (below[0] != '\\' || below[1] == 0 || below[1] == '\\' || gUninstallLine[comma - 1] == '\\') {
    if (below[0] == 0 || below[0] == '\\')
      GateRefuse(gUninstallLine, kRefuseUninstallKey);
    return false;
  }
  return CopyText(key, keySize, gUninstallLine);
}

void RemoveUninstallKeys() {
  // A fresh copy of the log: the loaded one has been rewritten in place. It
  // stays until the process ends.
  DWORD size = 0;
  char* buffer = ReadWholeLog(&size);
  if (buffer) WalkLogLines(buffer, size, VisitUninstallLine);
}
