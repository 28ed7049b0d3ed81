// The removal's guard: which paths a P or U line may sweep. A path is judged
// as the platform will open it: slashes are separators, the NT and device
// namespaces (\??\, \\?\, \\.\) are refused for every sweep, and a folder is
// compared with the protected folders by its full long name and by its
// identity on disk (volume and file index), so that "..", ".", doubled
// separators, trailing dots, short names, junctions and other drive letters
// for the same folder are all seen through.
#include "actions/actions.h"
#include "common/gate.h"
#include "common/state.h"

namespace {

constexpr int kProtectedSlots = 128;  // 26 roots, ~25 folders, their parents
constexpr int kDriveListSize = 4 * 26 + 2;

// Known folders by CSIDL number: Windows, system (both views), Program Files
// and Common Files (both views), fonts, application data (common, roaming,
// local), the profile, the Desktop, Documents and Start Menu folders, per user
// and common, with their Programs and Startup folders.
const unsigned char kKnownFolders[] = {
    0x24, 0x25, 0x29, 0x26, 0x2a, 0x2b, 0x2c, 0x14, 0x23, 0x1a, 0x1c, 0x28, 0x10,
    0x19, 0x05, 0x2e, 0x0b, 0x16, 0x02, 0x17, 0x07, 0x18};
// The 64-bit views of Program Files and Common Files, as a 32-bit program
// finds them on a 64-bit system (the shell gives it the 32-bit views).
const char kShell[] = "shell32.dll";
const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char* const kProgramValues[] = {"ProgramFilesDir", "CommonFilesDir"};
// FOLDERID_Downloads: the Downloads folder has no CSIDL number.
const GUID kDownloads = {0x374de290, 0x123f, 0x4565, {0x91, 0x64, 0x39, 0xc4, 0x92, 0x5e, 0x46, 0x7b}};

struct FolderId {
  DWORD volume, high, low;
};

typedef HRESULT(WINAPI* FolderPathCall)(HWND, int, HANDLE, DWORD, LPSTR);
typedef HRESULT(WINAPI* KnownFolderCall)(const GUID&, DWORD, HANDLE, PWSTR*);

bool gProtectedFound;      // the folders below have been looked for
int gProtectedCount;
char gProtectedNames[kProtectedSlots][kPathSize];
FolderId gProtectedIds[kProtectedSlots];
bool gProtectedHasId[kProtectedSlots];
char gFound[kPathSize];   // a protected folder being entered
char gKnown[kPathSize];   // a folder as the platform names it
char gJudged[kPathSize];  // the folder being judged
char gDriveList[kDriveListSize];

bool IdOf(const char* path, FolderId* id) {
  // Opening a folder needs backup semantics; systems without it answer no.
  HANDLE file = GateOpenFile(path, FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             FILE_FLAG_BACKUP_SEMANTICS);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = GetFileInformationByHandle(file, &info) != FALSE;
  CloseHandle(file);
  id->volume = info.dwVolumeSerialNumber;
  id->high = info.nFileIndexHigh;
  id->low = info.nFileIndexLow;
  // Some network redirectors give every file the index 0: no identity then,
  // or every such folder would be every other.
  return ok && (info.nFileIndexHigh | info.nFileIndexLow) != 0;
}

// Enters a folder and every folder above it: sweeping a parent sweeps the
// protected folder too.
void Protect(const char* path) {
  if (!CanonicalFolder(path, gFound)) return;
  // Up to the root's name ("C:"); the roots themselves come from the drive list.
  while (lstrlenA(gFound) > 2 && gProtectedCount < kProtectedSlots) {
    bool known = false;
    for (int i = 0; i < gProtectedCount && !known; ++i)
      known = SameText(gProtectedNames[i], gFound);
    if (!known) {
      CopyText(gProtectedNames[gProtectedCount], kPathSize, gFound);
      gProtectedHasId[gProtectedCount] = IdOf(gFound, &gProtectedIds[gProtectedCount]);
      ++gProtectedCount;
    }
    StripLastComponent(gFound);
  }
}

void FindProtectedFolders() {
  if (gProtectedFound) return;
  gProtectedFound = true;
  // Every drive root the system has; removable drives are judged by name
  // only, so that no empty drive is asked for a disk.
  DWORD length = GetLogicalDriveStringsA(kDriveListSize, gDriveList);
  if (length < static_cast<DWORD>(kDriveListSize))
    for (char* root = gDriveList; *root; root += lstrlenA(root) + 1) {
      UINT type = GetDriveTypeA(root);
      if (type == DRIVE_FIXED || type == DRIVE_REMOTE || type == DRIVE_RAMDISK) Protect(root);
    }
  if (GetWindowsDirectoryA(gKnown, MAX_PATH)) Protect(gKnown);
  if (GetSystemDirectoryA(gKnown, MAX_PATH)) Protect(gKnown);
  if (GetTempPathA(MAX_PATH, gKnown)) Protect(gKnown);
  // SHGetFolderPathA: Windows 2000, Me and later. Looked up, not imported,
  // so that the program still starts on older systems, which are left with
  // the kernel's folders above and the registry's below.
  FolderPathCall folderPath =
      reinterpret_cast<FolderPathCall>(FindFunction(kShell, "SHGetFolderPathA"));
  if (folderPath)
    for (unsigned char csidl : kKnownFolders)
      if (folderPath(nullptr, csidl, nullptr, 0, gKnown) == S_OK) Protect(gKnown);
  // SHGetKnownFolderPath: Windows Vista and later. Its string is left to the
  // shell's allocator for the rest of the run (one string, once).
  KnownFolderCall knownFolder =
      reinterpret_cast<KnownFolderCall>(FindFunction(kShell, "SHGetKnownFolderPath"));
  PWSTR wide = nullptr;
  if (knownFolder && knownFolder(kDownloads, 0, nullptr, &wide) == S_OK &&
      WideCharToMultiByte(CP_ACP, 0, wide, -1, gKnown, MAX_PATH, nullptr, nullptr))
    Protect(gKnown);
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) ==
      ERROR_SUCCESS) {
    for (const char* name : kProgramValues) {
      DWORD size = MAX_PATH;
      DWORD type = 0;
      if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(gKnown), &size) ==
              ERROR_SUCCESS &&
          type == REG_SZ && size < MAX_PATH) {
        gKnown[size] = 0;
        Protect(gKnown);
      }
    }
    RegCloseKey(key);
  }
}

// "C:\\", or "\\\\server\\share" (no backslash after the share name).
bool IsRootName(const char* name) {
  int separators = 0;
  for (const char* p = name; *p; ++p) separators += *p == '\\';
  return lstrlenA(name) <= 3 || (name[1] == '\\' && separators < 4);
}

}  // namespace

void* FindFunction(const char* library, const char* name) {
  // From the system folder by its full path, never found beside the program.
  char path[kPathSize];
  if (!PathJoin(path, kPathSize, gSystemFolder, library)) return nullptr;
  HMODULE module = LoadLibraryA(path);  // loaded already, or kept to the end
  return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

int ProtectionOf(const char* folder) {
  FindProtectedFolders();
  if (!CanonicalFolder(folder, gJudged)) return kRefuseRoot;  // unsure: the strictest
  if (IsRootName(gJudged)) return kRefuseRoot;
  FolderId id;
  bool hasId = IdOf(gJudged, &id);
  for (int i = 0; i < gProtectedCount; ++i) {
    const FolderId& other = gProtectedIds[i];
    if (SameText(gProtectedNames[i], gJudged) ||
        (hasId && gProtectedHasId[i] && other.volume == id.volume && other.high == id.high &&
         other.low == id.low))
      return IsRootName(gProtectedNames[i]) ? kRefuseRoot : kRefuseProtected;
  }
  return kRefuseNone;
}
