// Sorted string set (binary search, case-insensitive) and the record sort.
#pragma once
#include <windows.h>

struct StringSet {
  char** entries;   // sorted references; the strings must outlive the set
  int count;
  int capacity;     // slots in entries
  int cursor;       // where the last probe ended
  unsigned span;    // candidates from the cursor during a probe
};

// 0: equal entry present; -1: key belongs after the cursor; 1: at the cursor.
int StringSetProbe(StringSet* set, const char* key);
// 1 entered, 0 already present, -1 set full (nothing changes).
int StringSetInsert(StringSet* set, char* key);
// 1 new (copied into the pool and entered), 0 already present,
// -1 could not be recorded (set or pool full).
int RememberHandledFile(const char* path);

typedef int (*RecordCompare)(const void* a, const void* b);
void SortRecords(void* first, int count, unsigned short size, RecordCompare compare);
void SwapBytes(void* a, void* b, unsigned short size);
int CompareOrderNumbers(const void* a, const void* b);
