// The log-name tail of an uninstaller executable: reading it as the
// uninstaller does, and appending a name that it will read back exactly.
#include <cstring>
#include "uninstlog/uninstlog.h"
#include "startup/startup.h"

namespace {

// Opens an executable and reads its last kTailWindow bytes.
HANDLE OpenExecutable(const char* exe, bool write, char* window, std::string* error) {
  DWORD attributes = GetFileAttributesA(exe);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    *error = std::string("cannot find the executable ") + exe;
    return INVALID_HANDLE_VALUE;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    *error = std::string(exe) + " is a folder, not an executable";
    return INVALID_HANDLE_VALUE;
  }
  HANDLE file = CreateFileA(exe, GENERIC_READ | (write ? GENERIC_WRITE : 0),
                            write ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = std::string("cannot open the executable ") + exe +
             (write ? " for writing (is it running or read-only?)" : "");
    return INVALID_HANDLE_VALUE;
  }
  LARGE_INTEGER size;
  char magic[2] = {0, 0};
  DWORD got = 0;
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart >= kTailWindow &&
            ReadFile(file, magic, 2, &got, nullptr) && got == 2 && magic[0] == 'M' &&
            magic[1] == 'Z';
  if (!ok) {
    CloseHandle(file);
    *error = std::string(exe) + " is not a Windows executable";
    return INVALID_HANDLE_VALUE;
  }
  LARGE_INTEGER at;
  at.QuadPart = size.QuadPart - kTailWindow;
  got = 0;
  if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
      !ReadFile(file, window, kTailWindow, &got, nullptr) || got != kTailWindow) {
    CloseHandle(file);
    *error = std::string("cannot read the end of ") + exe;
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

std::string NameOfWindow(const char* window) {
  char name[kTailWindow + 1];
  std::memset(name, 0, sizeof name);
  LogNameFromTail(window, name, sizeof name);
  return name;
}

}  // namespace

bool ReadTailName(const char* exe, std::string* name, std::string* error) {
  char window[kTailWindow];
  HANDLE file = OpenExecutable(exe, false, window, error);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  *name = NameOfWindow(window);
  return true;
}

bool StampTailName(const char* exe, const std::string& name, std::string* error) {
  if (name.empty()) {
    *error = "the log name is empty";
    return false;
  }
  if (name.find('\0') != std::string::npos) {
    *error = "the log name holds a NUL byte: the uninstaller would read only its end";
    return false;
  }
  if (name.size() > static_cast<size_t>(kMaxTailName)) {
    *error = "the log name has " + std::to_string(name.size()) +
             " characters; the uninstaller reads at most " + std::to_string(kMaxTailName);
    return false;
  }
  char window[kTailWindow];
  HANDLE file = OpenExecutable(exe, true, window, error);
  if (file == INVALID_HANDLE_VALUE) return false;
  // The name must follow a NUL: the end of the image's padding or of an
  // earlier name.
  std::string append;
  if (window[kTailWindow - 1] != 0) append.push_back('\0');
  append += name;
  append.push_back('\0');
  std::string after(window, kTailWindow);
  after += append;
  after = after.substr(after.size() - kTailWindow);
  std::string reads = NameOfWindow(after.data());
  if (reads != name) {
    CloseHandle(file);
    *error = "the uninstaller would read the name as \"" + reads + "\"; nothing was written";
    return false;
  }
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  DWORD written = 0;
  bool ok = SetFilePointerEx(file, zero, nullptr, FILE_END) &&
            WriteFile(file, append.data(), static_cast<DWORD>(append.size()), &written, nullptr) &&
            written == append.size();
  CloseHandle(file);
  if (!ok) *error = std::string("cannot write to ") + exe;
  return ok;
}
