#include "common/helpers.h"
#include "common/state.h"
#include "common/gate.h"

namespace {


// Conversions that read their argument as a string: they get only our own
// text references or the empty text below, never a stray stack word.
constexpr int kFormatSlots = 1100;   // a 1023-byte format holds < 1024 conversions
const char kEmptyText[8] = {0, 0, 0, 0, 0, 0, 0, 0};  // also ends a wide read
const char* gFormatArgs[kFormatSlots];
char gFormatScratch[kWsprintfLimit + 8];
char gSafeFormat[kWsprintfLimit + 8];
char gNoticeText[kNoticeTextSize];
// The box of each notice kind (its low byte); other kinds show none.
constexpr UINT kNoBox = ~0u;
const UINT kNoticeStyles[] = {MB_ICONINFORMATION,          MB_ICONERROR,
                              MB_ICONQUESTION | MB_YESNO,  kNoBox,
                              MB_ICONINFORMATION | MB_OKCANCEL, kNoBox, kNoBox, kNoBox,
                              MB_ICONINFORMATION};

// Copies a format, turning every string conversion into the ANSI form (%hs),
// so that no argument is ever read as a wide string. Cut at the wsprintf
// limit.
void MakeSafeFormat(const char* format) {
  int out = 0;
  const int limit = kWsprintfLimit - 4;  // room for "%hs" and the zero
  for (int i = 0; format[i] && out < limit;) {
    if (format[i] != '%') {
      gSafeFormat[out++] = format[i++];
      continue;
    }
    gSafeFormat[out++] = format[i++];
    if (format[i] == '%') {  // "%%" is a literal percent sign, not a conversion
      gSafeFormat[out++] = format[i++];
      continue;
    }
    while (format[i] == '-' || format[i] == '#' || format[i] == '0' || IsDecimalDigit(format[i]) ||
           format[i] == '.') {
      if (out >= limit) break;
      gSafeFormat[out++] = format[i++];
    }
    int prefixStart = i;
    while (format[i] == 'h' || format[i] == 'l' || format[i] == 'w' || format[i] == 'I' ||
           format[i] == '6' || format[i] == '4' || format[i] == '3' || format[i] == '2')
      ++i;
    if (format[i] == 's' || format[i] == 'S') {
      gSafeFormat[out++] = 'h';
      gSafeFormat[out++] = 's';
      ++i;
    } else {
      for (int k = prefixStart; k < i && out < limit; ++k) gSafeFormat[out++] = format[k];
    }
  }
  gSafeFormat[out] = 0;
}

}  // namespace

bool CopyText(char* dst, int dstSize, const char* src) {
  if (dstSize <= 0) return false;
  int length = src ? lstrlenA(src) : 0;
  if (length >= dstSize) {
    dst[0] = 0;
    return false;
  }
  MoveBytes(dst, src ? src : kEmptyText, static_cast<SIZE_T>(length) + 1);
  return true;
}

bool CopyTextCut(char* dst, int dstSize, const char* src) {
  if (dstSize <= 0) return false;
  int length = src ? lstrlenA(src) : 0;
  lstrcpynA(dst, src ? src : kEmptyText, dstSize);
  return length < dstSize;
}

bool AppendText(char* dst, int dstSize, const char* src) {
  int have = lstrlenA(dst);
  int add = src ? lstrlenA(src) : 0;
  if (have + add >= dstSize) return false;
  MoveBytes(dst + have, src ? src : kEmptyText, static_cast<SIZE_T>(add) + 1);
  return true;
}

bool FormatText(char* dst, int dstSize, const char* format, const char* const* args,
                int argCount) {
  for (int i = 0; i < kFormatSlots; ++i)
    gFormatArgs[i] = (i < argCount && args[i]) ? args[i] : kEmptyText;
  MakeSafeFormat(format ? format : kEmptyText);
  int written = wvsprintfA(gFormatScratch, gSafeFormat,
                           reinterpret_cast<va_list>(gFormatArgs));
  if (written < 0) gFormatScratch[0] = 0;
  gFormatScratch[kWsprintfLimit - 1] = 0;
  return CopyTextCut(dst, dstSize, gFormatScratch) && written < kWsprintfLimit - 1;
}

void PathFileName(const char* path, char* out, int outSize) {
  int length = lstrlenA(path);
  const char* name = path;
  int i = length - 1;
  while (i >= 1 && path[i] != '\\') --i;
  if (i >= 1) {
    name = path + i + 1;
  } else if (length > 0 && path[0] == '\\') {
    name = path + 1;
  }
  CopyText(out, outSize, name);
}

static bool IsSlash(char c) { return c == '\\' || c == '/'; }

bool IsFullPath(const char* path) {
  if (IsSlash(path[0])) return IsSlash(path[1]);
  return path[0] && path[1] == ':' && IsSlash(path[2]);
}

bool FileExists(const char* path) {
  return GateFileAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

char* PathJoin(char* out, int outSize, const char* first, const char* second) {
  int firstLength = lstrlenA(first);
  if (second[0] == '\\') ++second;
  // An empty first part gives the second part alone: a relative name stays
  // relative to the current folder instead of jumping to the drive root.
  const char* separator = (firstLength == 0 || first[firstLength - 1] == '\\') ? "" : "\\";
  int total = firstLength + lstrlenA(separator) + lstrlenA(second);
  if (total >= outSize || total >= kWsprintfLimit) {
    if (outSize > 0) out[0] = 0;
    return nullptr;
  }
  // Bounded above: the joined length fits both out and wsprintf's limit.
  wsprintfA(out, "%s%s%s", first, separator, second);
  return out;
}

bool SameText(const char* a, const char* b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

bool StartsWithText(const char* text, const char* prefix) {
  int length = lstrlenA(prefix);
  // A shorter text never matches; checking first keeps the compare inside it.
  if (lstrlenA(text) < length) return false;
  if (length == 0) return true;
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text, length, prefix, length) ==
         CSTR_EQUAL;
}

void* ReserveBlock(SIZE_T size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void ReleaseBlockRaw(void** block) {
  if (*block) VirtualFree(*block, 0, MEM_RELEASE);
  *block = nullptr;
}

// The string sets shift long runs of references on every insert: this one
// copy is built for speed (vectorised), the rest of the program for size.
__attribute__((optimize("O2", "tree-vectorize")))
void MoveBytes(void* destination, const void* source, SIZE_T count) {
  unsigned char* to = static_cast<unsigned char*>(destination);
  const unsigned char* from = static_cast<const unsigned char*>(source);
  // Whole words when both ends and the count are word-aligned: the string
  // sets shift long runs of references on every insert.
  const SIZE_T kWord = sizeof(SIZE_T);
  bool words = ((reinterpret_cast<SIZE_T>(to) | reinterpret_cast<SIZE_T>(from) | count) &
                (kWord - 1)) == 0;
  if (from < to && to < from + count) {
    if (words) {
      SIZE_T* toWords = reinterpret_cast<SIZE_T*>(to);
      const SIZE_T* fromWords = reinterpret_cast<const SIZE_T*>(from);
      SIZE_T i = count / kWord;
      for (; i >= 4; i -= 4) {
        SIZE_T a = fromWords[i - 1], b = fromWords[i - 2], c = fromWords[i - 3],
               d = fromWords[i - 4];
        toWords[i - 1] = a;
        toWords[i - 2] = b;
        toWords[i - 3] = c;
        toWords[i - 4] = d;
      }
      for (; i > 0; --i) toWords[i - 1] = fromWords[i - 1];
      return;
    }
    while (count) {
      --count;
      to[count] = from[count];
    }
  } else {
    if (words) {
      SIZE_T* toWords = reinterpret_cast<SIZE_T*>(to);
      const SIZE_T* fromWords = reinterpret_cast<const SIZE_T*>(from);
      for (SIZE_T i = 0; i < count / kWord; ++i) toWords[i] = fromWords[i];
      return;
    }
    for (SIZE_T i = 0; i < count; ++i) to[i] = from[i];
  }
}

void ZeroBytes(void* buffer, SIZE_T count) {
  unsigned char* bytes = static_cast<unsigned char*>(buffer);
  for (SIZE_T i = 0; i < count; ++i) bytes[i] = 0;
}

HANDLE OpenFileForReading(const char* path, DWORD* size) {
  HANDLE file = GateOpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             FILE_ATTRIBUTE_NORMAL);
  if (file != INVALID_HANDLE_VALUE) *size = GetFileSize(file, nullptr);
  return file;
}

bool ReadExactly(HANDLE file, void* buffer, DWORD count, const char* path) {
  DWORD got = 0;
  if (!ReadFile(file, buffer, count, &got, nullptr) || got != count) {
    ShowNotice(kNoticeErrorGoOn, kReadErrorNotice, path);
    return false;
  }
  return true;
}

static char* FieldCopy(char* out, int outSize, const char* list, int n, bool cut) {
  const char* start = list;
  const char* end = nullptr;
  bool quoted = false;
  int separators = 0;
  for (const char* p = list; *p; ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else if (*p == ',' && !quoted) {
      ++separators;
      if (separators == n) start = p + 1;
      if (separators == n + 1) {
        end = p;
        break;
      }
    }
  }
  if (!end) end = list + lstrlenA(list);
  int length = static_cast<int>(end - start);
  if (outSize <= 0) return nullptr;
  if (length >= outSize) {
    if (!cut) {
      out[0] = 0;
      return nullptr;
    }
    length = outSize - 1;
  }
  MoveBytes(out, start, static_cast<SIZE_T>(length));
  out[length] = 0;
  return out;
}

char* GetField(char* out, int outSize, const char* list, int n) {
  return FieldCopy(out, outSize, list, n, false);
}

char* GetFieldCut(char* out, int outSize, const char* list, int n) {
  return FieldCopy(out, outSize, list, n, true);
}

void StripLastComponent(char* path) {
  int i = lstrlenA(path) - 1;
  while (i >= 1 && path[i] != '\\') --i;
  if (i >= 1) {
    path[i] = 0;
  } else {
    path[0] = 0;
  }
}

int ParseDecimal(const char* text) {
  bool negative = false;
  if (*text == '-') {
    negative = true;
    ++text;
  }
  // Unsigned arithmetic: more digits than 32 bits hold wrap modulo 2^32.
  unsigned value = 0;
  while (IsDecimalDigit(*text)) {
    value = value * 10u + static_cast<unsigned>(*text - '0');
    ++text;
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

// The 32-bit build hands CreateProcessA the 68-byte start-up block.
static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "start-up block size");

bool StartCommandLine(char* commandLine, PROCESS_INFORMATION* process) {
  constexpr DWORD kStartFlags = CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS;  // 0x4000020
  STARTUPINFOA startup;
  ZeroBytes(&startup, sizeof startup);
  startup.cb = sizeof startup;
  ZeroBytes(process, sizeof *process);
  return GateCreateProcess(commandLine, kStartFlags, &startup, process) != FALSE;
}

int ShowNotice(int kind, const char* format, const char* arg1, const char* arg2) {
  const char* args[2] = {arg1, arg2};
  FormatText(gNoticeText, kNoticeTextSize, format, args, 2);
  unsigned box = kind & 0xFF;
  UINT style = box < sizeof kNoticeStyles / sizeof *kNoticeStyles ? kNoticeStyles[box] : kNoBox;
  int answer = 0;
  if (style != kNoBox) answer = GateNoticeBox(gDialog, gNoticeText, gCaption, style);
  if (kind & kNoticeEnd) GateEndProcess();
  return answer;
}

bool IsDevicePath(const char* path) {
  // After slashes became backslashes every mix of them looks like one of these.
  return path[0] == '\\' && (path[1] == '\\' || path[1] == '?') &&
         (path[2] == '?' || path[2] == '.') && path[3] == '\\' &&
         !(path[1] == '?' && path[2] == '.');
}

bool CanonicalFolder(const char* path, char* out) {
  // A namespace path has no other spelling we could compare.
  if (IsDevicePath(path)) return false;
  DWORD length = GetFullPathNameA(path[0] ? path : ".", kPathSize, out, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(kPathSize)) return false;
  // No trailing backslash, but for a root ("C:\"), which opens the root.
  int end = lstrlenA(out);
  while (end > 3 && out[end - 1] == '\\') out[--end] = 0;
  // Short (8.3) parts become long ones; a path that does not exist yet keeps
  // the spelling it has.
  // (The call may write its answer over its question.)
  GetLongPathNameA(out, out, kPathSize);
  return true;
}
