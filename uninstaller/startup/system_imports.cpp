// The user-interface and graphics libraries are not imported: the loader
// would resolve what they import in turn before the program's first
// instruction, looking beside the program first, and a library planted there
// would run with the uninstaller's rights. Start-up loads them from the
// system folder by full path once the library search is limited, and fills
// the slots through which the compiled code calls them, under the names the
// compiler gives import slots. Linked into the program only; the tests and
// uninstlog import the libraries as usual.
#include <windows.h>
#include "startup/startup.h"

namespace {

constexpr int kLibraryPathLimit = MAX_PATH;

// Every function, in slot order: FUNCTION(name, argument bytes) or
// CDECL_FUNCTION(name); LIBRARY(file) starts the functions of a library.
#if defined(__i386__)
#define WINDOW_LONG_FUNCTIONS(FUNCTION) FUNCTION(GetWindowLongA, 8) FUNCTION(SetClassLongA, 12)
#else
#define WINDOW_LONG_FUNCTIONS(FUNCTION) FUNCTION(GetWindowLongPtrA, 8) FUNCTION(SetClassLongPtrA, 12)
#endif
#define SYSTEM_IMPORTS(LIBRARY, FUNCTION, CDECL_FUNCTION, END)                                    \
  LIBRARY(user32.dll)                                                                             \
  FUNCTION(CharToOemBuffA, 12) FUNCTION(DialogBoxParamA, 20) FUNCTION(EnableWindow, 8)           \
  FUNCTION(EndDialog, 8) FUNCTION(EnumWindows, 8) FUNCTION(FindWindowA, 8)                       \
  FUNCTION(GetDlgItem, 8) FUNCTION(GetWindowRect, 8) FUNCTION(GetWindowTextA, 12)                \
  FUNCTION(LoadIconA, 8) FUNCTION(MessageBoxA, 16) FUNCTION(PostMessageA, 16)                    \
  FUNCTION(SendDlgItemMessageA, 20) FUNCTION(SendMessageA, 16) FUNCTION(SetDlgItemTextA, 12)     \
  FUNCTION(SetWindowPos, 28) FUNCTION(SetWindowTextA, 8) FUNCTION(ShowWindow, 8)                 \
  CDECL_FUNCTION(wsprintfA) FUNCTION(wvsprintfA, 12) WINDOW_LONG_FUNCTIONS(FUNCTION) END          \
  LIBRARY(gdi32.dll) FUNCTION(RemoveFontResourceA, 4) END

// The slots, one pointer each, under the import names (stdcall names carry
// their argument bytes on i686).
#define NO_TEXT(...)
#if defined(__i386__)
#define SLOT(name, bytes) \
  ".globl __imp__" #name "@" #bytes "\n__imp__" #name "@" #bytes ":\n.space 4\n"
#define CDECL_SLOT(name) ".globl __imp__" #name "\n__imp__" #name ":\n.space 4\n"
#else
#define SLOT(name, bytes) ".globl __imp_" #name "\n__imp_" #name ":\n.space 8\n"
#define CDECL_SLOT(name) SLOT(name, 0)
#endif
__asm__(".bss\n.balign 8\nsystem_import_slots:\n" SYSTEM_IMPORTS(NO_TEXT, SLOT, CDECL_SLOT, )
        ".text\n");
extern "C" void* gSystemImportSlots[] __asm__("system_import_slots");

// The libraries and their functions' names, in slot order: each library's
// file name, its functions' names, an empty name; an empty file name ends.
#define LIBRARY_NAME(file) "\\" #file "\0"
#define FUNCTION_NAME(name, ...) #name "\0"
const char kSystemImportNames[] =
    SYSTEM_IMPORTS(LIBRARY_NAME, FUNCTION_NAME, FUNCTION_NAME, "\0");

}  // namespace

void LoadSystemImports() {
  char path[kLibraryPathLimit];
  UINT folder = GetSystemDirectoryA(path, kLibraryPathLimit);
  void** slot = gSystemImportSlots;
  for (const char* name = kSystemImportNames; *name; ++name) {
    int length = lstrlenA(name);
    if (folder == 0 || folder + length >= static_cast<UINT>(kLibraryPathLimit)) ExitProcess(0);
    lstrcpyA(path + folder, name);
    HMODULE library = LoadLibraryA(path);
    for (name += length + 1; *name; name += lstrlenA(name) + 1) {
      *slot = library ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
      // Without these functions the program can show nothing: it ends as it
      // always ends, with exit code 0.
      if (!*slot++) ExitProcess(0);
    }
  }
}
