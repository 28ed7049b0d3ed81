// Text, path and file helpers and the notice service. No C runtime: every
// string goes through the system's ANSI string functions.
#pragma once
#include <windows.h>

// Buffer sizes, in bytes including the terminating zero.
constexpr int kPathSize = 512;        // every path field
constexpr int kScratchSize = 1024;    // scratch path buffer
constexpr int kCommandLineSize = 1024; // relaunch command line
constexpr int kNameSize = 128;        // product name, caption
constexpr int kMessageSize = 512;     // message result buffer
constexpr int kNoticeTextSize = 2048; // formatted notice text
constexpr int kWsprintfLimit = 1024;  // wsprintfA never writes more than this

// Notice kinds: low byte selects the box, kNoticeEnd ends the process. The
// program raises errors (ending the run or not) and Yes/No questions; the
// information boxes are there for any caller. Other low bytes show no box.
constexpr int kNoticeInformation = 0;
constexpr int kNoticeError = 1;
constexpr int kNoticeQuestion = 2;
constexpr int kNoticeOkCancel = 4;         // information with OK and Cancel
constexpr int kNoticeInformationToo = 8;   // as kNoticeInformation
constexpr int kNoticeEnd = 0x1000;
constexpr int kNoticeFatal = 0x1001;       // error, then end the process
constexpr int kNoticeErrorGoOn = 0x2001;   // error, the caller goes on

// An ASCII digit; bytes from 128 up are not digits.
inline bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// Copies src into dst of dstSize bytes. On overflow dst is left empty and
// false is returned: a cut path could name something else.
bool CopyText(char* dst, int dstSize, const char* src);
// Same, but cuts an overlong text at dstSize - 1 bytes (for display texts).
// Returns false when it had to cut.
bool CopyTextCut(char* dst, int dstSize, const char* src);
// Appends src; on overflow dst is left unchanged and false is returned.
bool AppendText(char* dst, int dstSize, const char* src);
// wvsprintfA into dst, bounded by dstSize (which may exceed kWsprintfLimit);
// arguments are text references only. Missing arguments read as "".
// Returns false when the result had to be cut.
bool FormatText(char* dst, int dstSize, const char* format,
                const char* const* args, int argCount);

void PathFileName(const char* path, char* out, int outSize);
bool FileExists(const char* path);
// Joins first, a backslash unless first ends in one, and second without one
// leading backslash. Returns out, or nullptr (out empty) when it won't fit.
char* PathJoin(char* out, int outSize, const char* first, const char* second);
bool SameText(const char* a, const char* b);
bool StartsWithText(const char* text, const char* prefix);
void* ReserveBlock(SIZE_T size);
void ReleaseBlockRaw(void** block);
template <typename T> inline void ReleaseBlock(T*& block) {
  void* raw = block;
  ReleaseBlockRaw(&raw);
  block = nullptr;
}
void MoveBytes(void* destination, const void* source, SIZE_T count);
void ZeroBytes(void* buffer, SIZE_T count);
HANDLE OpenFileForReading(const char* path, DWORD* size);
// Returns true when all count bytes were read; else shows kReadErrorNotice
// (the caller goes on).
inline constexpr char kReadErrorNotice[] = "Error reading file %s";
bool ReadExactly(HANDLE file, void* buffer, DWORD count, const char* path);
// Field n of a comma list (commas inside double quotes don't separate; quotes
// are kept). Returns out, or nullptr with out empty when the field does not
// fit: an overlong path must never be cut into another path.
char* GetField(char* out, int outSize, const char* list, int n);
// As GetField, but cuts an overlong field (for display texts).
char* GetFieldCut(char* out, int outSize, const char* list, int n);
void StripLastComponent(char* path);
// "X:\" or "\\" (either slash) at the start: the path names the same file
// whatever the current folder.
bool IsFullPath(const char* path);
// A path in the NT or device namespace (slashes already backslashes): it
// starts with \\?\, \??\ or \\.\ and the platform opens it without the
// resolving that other paths get.
bool IsDevicePath(const char* path);
// The folder as the platform resolves it: full path (".", "..", doubled
// separators, trailing dots and spaces of the last part resolved), long names
// where the path exists, no trailing backslash but for a root ("C:\"). Writes
// kPathSize bytes at most; false for a namespace path or one too long.
bool CanonicalFolder(const char* path, char* out);
// Optional '-' and decimal digits; more digits than 32 bits hold wrap
// modulo 2^32 (no undefined behaviour).
int ParseDecimal(const char* text);

// Starts a command line as the uninstaller starts every process: no
// application name, handles inherited, CREATE_DEFAULT_ERROR_MODE with
// NORMAL_PRIORITY_CLASS, our environment and folder, an all-zero start-up
// block but for its size. The caller closes both handles on success.
bool StartCommandLine(char* commandLine, PROCESS_INFORMATION* process);

// Shows a message box under the caption, owned by the dialog (if open).
// format may come from the log: arguments beyond those given read as "".
int ShowNotice(int kind, const char* format, const char* arg1 = nullptr,
               const char* arg2 = nullptr);
