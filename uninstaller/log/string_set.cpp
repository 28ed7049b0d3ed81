#include "log/string_set.h"
#include "common/state.h"

namespace {

constexpr int kSortStackSize = 30;   // pending ranges; depth stays below log2(count)
char gHandledKey[kPathSize];  // the path being recorded, in its one spelling

int CompareEntry(const char* entry, const char* key) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, entry, -1, key, -1);
}

}  // namespace

int StringSetProbe(StringSet* set, const char* key) {
  set->cursor = 0;
  set->span = static_cast<unsigned>(set->count);
  if (set->count == 0) return 1;
  while (set->span >= 2) {
    unsigned half = set->span / 2;
    int order = CompareEntry(set->entries[set->cursor + half], key);
    if (order == CSTR_LESS_THAN) {
      set->cursor += static_cast<int>(set->span - half);
      set->span = half;
    } else if (order == CSTR_GREATER_THAN) {
      set->span = half;
    } else {
      set->cursor += static_cast<int>(half);
      while (set->cursor > 0 && CompareEntry(set->entries[set->cursor - 1], key) == CSTR_EQUAL)
        --set->cursor;
      return 0;
    }
  }
  int order = CompareEntry(set->entries[set->cursor], key);
  if (order == CSTR_EQUAL) return 0;
  return order == CSTR_LESS_THAN ? -1 : 1;
}

int StringSetInsert(StringSet* set, char* key) {
  int probe = StringSetProbe(set, key);
  if (probe == 0) return 0;
  if (set->count >= set->capacity) return -1;  // full: never write past the block
  int position = set->cursor + (probe == -1 ? 1 : 0);
  MoveBytes(&set->entries[position + 1], &set->entries[position],
            static_cast<SIZE_T>(set->count - position) * sizeof(char*));
  set->entries[position] = key;
  set->cursor = position;
  ++set->count;
  return 1;
}

// However many files a log removes, a No answer and a leftover must hold for
// the rest of the run. So the table grows: the reference block doubles and
// the pool takes a further block (chained to the one before, for the release
// at the end) whenever either is full, and big packages are removed as small
// ones are. Only when the platform gives no more memory, or the pool reaches
// its last block, is a path not recorded (-1): TreatFile then keeps the file
// and lists it, never deleting it.
// One spelling per file, the one the guard compares: full path, long names,
// backslashes ("..", ".\\", 8.3 parts and slashes all name the same file).
// A namespace path, or one too long to spell so, keeps its own spelling.
int RememberHandledFile(const char* path) {
  if (CanonicalFolder(path, gHandledKey)) path = gHandledKey;
  if (StringSetProbe(&gHandledFiles, path) == 0) return 0;
  SIZE_T size = static_cast<SIZE_T>(lstrlenA(path)) + 1;  // under kPathSize: fits any block
  if (gHandledFiles.count >= gHandledFiles.capacity) {
    SIZE_T bytes = static_cast<SIZE_T>(gHandledFiles.count) * sizeof(char*);
    char** bigger = static_cast<char**>(ReserveBlock(bytes * 2));
    if (!bigger) return -1;
    MoveBytes(bigger, gHandledFiles.entries, bytes);
    ReleaseBlock(gHandledFiles.entries);
    gHandledFiles.entries = bigger;
    gHandledFiles.capacity *= 2;
  }
  if (!gHandledPool ||
      static_cast<SIZE_T>(gHandledPool + kHandledPoolSize - gHandledPoolFill) < size) {
    char* block = gHandledPoolBlocks < kHandledPoolBlocks
                      ? static_cast<char*>(ReserveBlock(kHandledPoolSize))
                      : nullptr;
    if (!block) return -1;
    *reinterpret_cast<char**>(block) = gHandledPool;
    gHandledPool = block;
    gHandledPoolFill = block + sizeof(char*);
    ++gHandledPoolBlocks;
  }
  StringSetProbe(&gHandledFiles, path);  // the entries may have moved
  MoveBytes(gHandledPoolFill, path, size);
  StringSetInsert(&gHandledFiles, gHandledPoolFill);
  gHandledPoolFill += size;
  return 1;
}

void SwapBytes(void* a, void* b, unsigned short size) {
  if (a == b) return;
  unsigned char* x = static_cast<unsigned char*>(a);
  unsigned char* y = static_cast<unsigned char*>(b);
  for (unsigned short i = 0; i < size; ++i) {
    unsigned char t = x[i];
    x[i] = y[i];
    y[i] = t;
  }
}

int CompareOrderNumbers(const void* a, const void* b) {
  int x = static_cast<const ActionRecord*>(a)->orderNumber;
  int y = static_cast<const ActionRecord*>(b)->orderNumber;
  return x < y ? -1 : (x > y ? 1 : 0);
}

void SortRecords(void* first, int count, unsigned short size, RecordCompare compare) {
  if (count < 2 || size == 0) return;
  unsigned char* base = static_cast<unsigned char*>(first);
  auto at = [base, size](int i) { return base + static_cast<SIZE_T>(i) * size; };
  int pendingFirst[kSortStackSize];
  int pendingLast[kSortStackSize];
  int pending = 0;
  int low = 0;
  int high = count - 1;
  for (;;) {
    SwapBytes(at(low), at(low + (high - low + 1) / 2), size);
    int i = low;
    int j = high + 1;
    for (;;) {
      ++i;
      while (i <= high && compare(at(i), at(low)) < 0) ++i;
      --j;
      while (j > low && compare(at(j), at(low)) > 0) --j;
      if (j < i) break;
      SwapBytes(at(i), at(j), size);
    }
    SwapBytes(at(low), at(j), size);
    int leftCount = j - low;
    int rightCount = high - i + 1;
    int nextLow = 0, nextHigh = -1;
    if (leftCount < rightCount) {
      if (rightCount >= 2 && pending < kSortStackSize) {
        pendingFirst[pending] = i;
        pendingLast[pending++] = high;
      }
      if (leftCount >= 2) { nextLow = low; nextHigh = j - 1; }
    } else {
      if (leftCount >= 2 && pending < kSortStackSize) {
        pendingFirst[pending] = low;
        pendingLast[pending++] = j - 1;
      }
      if (rightCount >= 2) { nextLow = i; nextHigh = high; }
    }
    if (nextHigh > nextLow) {
      low = nextLow;
      high = nextHigh;
      continue;
    }
    if (pending == 0) return;
    --pending;
    low = pendingFirst[pending];
    high = pendingLast[pending];
  }
}
