// The compiler may emit calls to memset, memcpy and memmove for struct copies
// and zeroing; without a C runtime the program supplies them itself. Built
// with -fno-tree-loop-distribute-patterns so these loops do not call
// themselves.
#include <windows.h>
#include "common/helpers.h"

extern "C" void* memset(void* destination, int value, size_t count) {
  unsigned char* bytes = static_cast<unsigned char*>(destination);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(value);
  return destination;
}

extern "C" void* memcpy(void* destination, const void* source, size_t count) {
  MoveBytes(destination, source, count);
  return destination;
}

extern "C" void* memmove(void* destination, const void* source, size_t count) {
  MoveBytes(destination, source, count);
  return destination;
}
