#include "support/sandbox.h"
#include <windows.h>
#include <shlobj.h>
#include <stdlib.h>
#include "support/test_util.h"

std::vector<std::string> ProfileFolders() {
  std::vector<std::string> folders;
  for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_MYMUSIC, CSIDL_MYPICTURES,
                    CSIDL_MYVIDEO, CSIDL_TEMPLATES})
    folders.push_back(KnownFolder(csidl));
  folders.push_back(KnownFolder(CSIDL_PROFILE) + "\\Downloads");
  return folders;
}

bool SandboxIsSealed(std::string* why) {
  const DWORD expected = (1u << ('C' - 'A')) | (1u << ('Z' - 'A'));
  DWORD drives = GetLogicalDrives();
  if (drives != expected) {
    char text[64];
    wsprintfA(text, "drives %08lx, want only C: and Z:", drives);
    *why = text;
    return false;
  }
  std::string root = UnixName("Z:\\");
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  const char* home = getenv("HOME");
  std::string homePath = home ? std::string(home) + "/" : "";
  if (root.empty() || root == "/" || homePath.compare(0, root.size() + 1, root + "/") == 0) {
    *why = "Z: is " + root + ", which holds the host's root or home";
    return false;
  }
  for (const std::string& folder : ProfileFolders()) {
    // The folder and each folder above it, up to the drive.
    for (std::string path = folder; path.size() > 3; path = path.substr(0, path.rfind('\\'))) {
      DWORD attributes = GetFileAttributesA(path.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
          (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        *why = path + " is missing, not a folder, or a link";
        return false;
      }
    }
  }
  return true;
}
