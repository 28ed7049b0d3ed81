// Reading a log three times with the uninstaller's own code: once line by
// line to see what each line head gives, once with LoadLog to get the real
// message table and sorted records, and once as the stage-one pass does to
// find the uninstall keys it deletes.
#include <algorithm>
#include <cstring>
#include "uninstlog/uninstlog.h"
#include "actions/actions.h"
#include "common/state.h"
#include "log/log.h"

namespace {

// Buffers that the seen-line set refers into; they live until the next scan
// releases the set.
std::vector<char> gLineCopy;
std::vector<char> gPassCopy;
LogScan* gTarget;
const char* gBase;

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Fresh start-up state: empty sets and pool, no log, counters at 0.
void ResetCoreState() {
  ReleaseWorkingAreas();
  SetUpWorkingAreas();
}

std::vector<char> BufferOf(const std::string& data) {
  std::vector<char> buffer(data.size() + 1, 0);  // the final zero ends the walk
  if (!data.empty()) std::memcpy(buffer.data(), data.data(), data.size());
  return buffer;
}

void VisitLine(char* line) {
  TakenLine t = {};
  t.offset = static_cast<DWORD>(line - gBase);
  t.raw = line;
  DWORD end = t.offset;
  while (end < gTarget->data.size() && !IsLineEnd(gTarget->data[end])) ++end;
  t.end = end;
  const char* comma = std::strchr(line + 1, ',');
  t.hasComma = comma != nullptr;
  t.head = comma ? std::string(const_cast<const char*>(line) + 1, comma) : std::string(line + 1);
  bool wasFull = gSeenLines.count >= gSeenLines.capacity;
  int before = gSeenLines.count;
  char* text = line;
  t.number = ReadLineHead(&text);
  t.action = text;
  t.entered = gSeenLines.count > before;
  t.setFull = wasFull && t.raw[0] != 'A';
  t.recordIndex = -1;
  t.messageId = -1;
  t.messageCurrent = false;
  if (t.number != kReservedNumber && t.number < kFirstActionNumber)
    t.messageId = static_cast<WORD>(t.number);
  gTarget->taken.push_back(t);
}

void VisitPassLine(char* line) {
  // Only a J line names a key, and the line head's work on the seen-line
  // set is not read after the pass: other lines are passed over at once.
  if (line[0] != 'J') return;
  char* text = line;
  ReadLineHead(&text);  // as the pass does: only for the rewrite
  char key[kPathSize];
  if (UninstallKeyOfLine(text, key, sizeof key)) {
    PassKey k;
    k.line = 0;
    k.key = key;
    k.action = text;
    // The line number is found from the offset once the walk is done.
    k.line = static_cast<int>(line - gBase);
    gTarget->passKeys.push_back(k);
  }
}

// Index of the taken line that holds the byte at offset, or -1.
int TakenLineAt(const LogScan& scan, DWORD offset) {
  auto it = std::upper_bound(scan.taken.begin(), scan.taken.end(), offset,
                             [](DWORD o, const TakenLine& t) { return o < t.offset; });
  if (it == scan.taken.begin()) return -1;
  --it;
  return static_cast<int>(it - scan.taken.begin());
}

bool ReadWholeFile(const char* path, std::string* data, std::string* error) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    *error = std::string("cannot find the log ") + path;
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    *error = std::string(path) + " is a folder, not a log file";
    return false;
  }
  DWORD size = 0;
  HANDLE file = OpenFileForReading(path, &size);
  if (file == INVALID_HANDLE_VALUE) {
    *error = std::string("cannot open the log ") + path;
    return false;
  }
  DWORD high = 0;
  GetFileSize(file, &high);
  if (high != 0 || size > 0x7FFFFFF0u) {
    CloseHandle(file);
    *error = std::string("the log ") + path + " is too large";
    return false;
  }
  data->assign(size, '\0');
  DWORD done = 0;
  while (done < size) {
    DWORD got = 0;
    if (!ReadFile(file, &(*data)[done], size - done, &got, nullptr) || got == 0) break;
    done += got;
  }
  CloseHandle(file);
  if (done != size) {
    *error = std::string("cannot read the whole log ") + path;
    return false;
  }
  return true;
}

}  // namespace

bool ScanLog(const char* path, LogScan* scan, std::string* error) {
  *scan = LogScan();
  scan->path = path;
  if (lstrlenA(path) >= kPathSize) {
    *error = "the log path is longer than the uninstaller takes (" +
             std::to_string(kPathSize - 1) + " characters)";
    return false;
  }
  if (!ReadWholeFile(path, &scan->data, error)) return false;
  const std::string& data = scan->data;
  DWORD size = static_cast<DWORD>(data.size());

  // Physical line starts, as an editor counts them: CR LF, CR or LF each end
  // one line.
  std::vector<DWORD> starts(1, 0);
  for (DWORD i = 0; i < size; ++i) {
    if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
    if (IsLineEnd(data[i]) && i + 1 < size) starts.push_back(i + 1);
  }
  scan->lineCount = size == 0 ? 0 : static_cast<int>(starts.size());
  auto lineOf = [&starts](DWORD offset) {
    return static_cast<int>(std::upper_bound(starts.begin(), starts.end(), offset) -
                            starts.begin());
  };

  // First pass: every taken line through the loader's line head, from the
  // start-up state.
  ResetCoreState();
  gTarget = scan;
  gLineCopy = BufferOf(data);
  gBase = gLineCopy.data();
  WalkLogLines(gLineCopy.data(), size, VisitLine);
  for (TakenLine& t : scan->taken) t.line = lineOf(t.offset);

  // Lines the loader does not take, and a last line without a line end.
  size_t next = 0;
  for (DWORD p = 0; p < size;) {
    DWORD s = p;
    while (p < size && !IsLineEnd(data[p])) ++p;
    if (p > s) {
      bool taken = next < scan->taken.size() && scan->taken[next].offset == s;
      if (taken) {
        ++next;
      } else {
        IgnoredLine g;
        g.line = lineOf(s);
        // As the loader sees it: up to a NUL. Only this line's bytes are
        // copied; the text up to the next NUL may be the rest of the file.
        g.raw = data.substr(s, p - s);
        g.raw.resize(std::strlen(g.raw.c_str()));
        if (p >= size) {
          g.reason = kReasonNoLineEnd;
          g.raw = data.substr(s, p - s);
        } else if (IsDecimalDigit(data[s])) {
          g.reason = kReasonDigitFirst;
        } else if (p - s == 1) {
          g.reason = kReasonOneCharacter;
        } else {
          g.reason = kReasonSecondNotDigit;
        }
        scan->ignored.push_back(g);
      }
    }
    while (p < size && IsLineEnd(data[p])) ++p;
  }

  // Second pass: the real load.
  ResetCoreState();
  CopyText(gLogPath, kPathSize, path);
  LoadLog();
  for (int i = 0; i < gActionCount; ++i) {
    PlanRecord r;
    r.order = gActions[i].orderNumber;
    r.action = gActions[i].text;
    int at = TakenLineAt(*scan, static_cast<DWORD>(gActions[i].text - gLogText));
    r.line = at >= 0 ? scan->taken[at].line : 0;
    if (at >= 0) scan->taken[at].recordIndex = i;
    scan->records.push_back(r);
  }
  for (int m = 0; m < gMessageCount; ++m) {
    int at = TakenLineAt(*scan, static_cast<DWORD>(gMessageTexts[m] - gLogText));
    if (at >= 0) scan->taken[at].messageCurrent = true;
  }

  // Third pass: the stage-one walk for uninstall keys, after loading, as
  // stage one makes it.
  gPassCopy = BufferOf(data);
  gBase = gPassCopy.data();
  WalkLogLines(gPassCopy.data(), size, VisitPassLine);
  for (PassKey& k : scan->passKeys) k.line = lineOf(static_cast<DWORD>(k.line));
  gTarget = nullptr;
  return true;
}
