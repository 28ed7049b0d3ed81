// Whole-program fuzz: random logs through loading and both phases of the
// action run (silent, with the stage-one pass over the uninstall keys
// between them), inside the sealed prefix only. The logs mix letters,
// numbers, fields, quotes and paths under a scratch folder with dangerous
// spellings of drive roots and protected folders. After each log the
// canaries outside the scratch folder (files in the roots and protected
// folders, registry values, an INI section, a SharedDLLs count) must be as
// they were, and the run must have ended normally.
//
//   fuzz_whole.exe               checks the seal, places the canaries, runs
//                                each log in a child process of its own,
//                                prints figures
//   fuzz_whole.exe --check       checks the seal only
//   fuzz_whole.exe --child S F N runs logs F .. F+N-1 of seed S in-process
//   fuzz_whole.exe --print S N   prints log N of seed S
//
// FUZZ_SEED (default 1), FUZZ_COUNT (default 200) and FUZZ_FIRST (default 0,
// to replay one log: FUZZ_FIRST=n FUZZ_COUNT=1) come from the environment.
// A log that ends the process the way the uninstaller ends (exit code 0, as
// a "stop" answer does) counts as a normal end. Every child runs in a job:
// when its log is done, whatever the log started ends with it, so that each
// log meets the prefix as the one before left its files, never its
// processes, and a failure replays alone.
#include <windows.h>
#include <shlobj.h>
#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <string>
#include <vector>
#include "actions/actions.h"
#include "common/state.h"
#include "log/log.h"
#include "startup/startup.h"
#include "support/robot.h"
#include "support/sandbox.h"
#include "support/test_util.h"

namespace {

constexpr int kDefaultCount = 60;
constexpr uint64_t kDefaultSeed = 1;
constexpr DWORD kStallMs = 60000;       // a child that makes no progress this long hangs
constexpr int kPrintedFailures = 5;     // failures shown with their whole log
constexpr int kMaxFailures = 500;       // the run stops after this many
constexpr int kPrefixDamaged = 3;       // exit code: no child starts any more
constexpr int kBoxesBeforeClosing = 8;  // random answers per log, then closing ones
constexpr int kEveryBox = 1 << 30;      // the robot's count: it answers until stopped

const char kRun[] = "C:\\fuzzrun";            // log, progress and failure files
const char kScratch[] = "C:\\fuzzscratch";    // what the logs may remove
const char kCanaryName[] = "fuzz-canary.dat";
const char kCanaryText[] = "canary: never removed";
const char kScratchKey[] = "Software\\DorvaneFuzz\\Scratch";
const char kCanaryKey[] = "Software\\DorvaneFuzzCanary";
const char kScratchParentKey[] = "Software\\DorvaneFuzz";
const char kSharedCanary[] = "C:\\windows\\fuzz-canary-shared.dll";
constexpr DWORD kSharedCanaryCount = 5;
const char kIniCanarySection[] = "DorvaneFuzzCanary";

// ---------------------------------------------------------------- random

struct Rng {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) { return items[Below(static_cast<int>(items.size()))]; }
};

// ---------------------------------------------------------------- places

// Drive roots and the folders no log may sweep; each holds a canary file.
std::vector<std::string> ProtectedFolders() {
  std::vector<std::string> folders = {"C:\\", "Z:\\"};
  for (int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILES_COMMON,
                    CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA,
                    CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_PROFILE, CSIDL_STARTMENU,
                    CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL}) {
    std::string folder = KnownFolder(csidl);
    if (!folder.empty()) folders.push_back(folder);
  }
  folders.push_back(KnownFolder(CSIDL_PROFILE) + "\\Downloads");
  folders.push_back(TempFolder());
  return folders;
}

std::string CanaryFile(const std::string& folder) {
  std::string path = folder;
  if (path.back() != '\\') path += '\\';
  return path + kCanaryName;
}

// ---------------------------------------------------------------- canaries

void SetCount(const std::string& name, DWORD count) {
  SetValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, name.c_str(), REG_DWORD, &count, sizeof count);
}

// The value holds exactly what was placed (type and bytes, its end included).
bool ValueIs(HKEY root, const char* key, const char* name, DWORD type, const void* data,
             DWORD size) {
  DWORD got = 0;
  std::string bytes;
  return ReadValue(root, key, name, &got, &bytes) && got == type &&
         bytes == std::string(static_cast<const char*>(data), size);
}

void PlaceCanaries() {
  for (const std::string& folder : ProtectedFolders()) {
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteTextFile(CanaryFile(folder), kCanaryText);
  }
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    SetText(root, kCanaryKey, "Keep", kCanaryText);
    SetText(root, kScratchParentKey, "Keep", kCanaryText);
  }
  SetCount(kSharedCanary, kSharedCanaryCount);
  WritePrivateProfileStringA(kIniCanarySection, "Keep", kCanaryText, "win.ini");
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, "win.ini");  // flush
}

// Every canary that is not as placed, one per line; empty when all hold.
std::string CanaryDamage() {
  std::string damage;
  for (const std::string& folder : ProtectedFolders())
    if (ReadTextFile(CanaryFile(folder)) != kCanaryText) damage += "file " + CanaryFile(folder) + "\n";
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const char* rootName = root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\";
    for (const char* key : {kCanaryKey, kScratchParentKey})
      if (!ValueIs(root, key, "Keep", REG_SZ, kCanaryText, sizeof kCanaryText))
        damage += std::string("value ") + rootName + key + "\n";
  }
  if (!ValueIs(HKEY_LOCAL_MACHINE, kSharedDllsKey, kSharedCanary, REG_DWORD, &kSharedCanaryCount,
               sizeof kSharedCanaryCount))
    damage += std::string("shared count ") + kSharedCanary + "\n";
  char text[256] = "";
  GetPrivateProfileStringA(kIniCanarySection, "Keep", "", text, sizeof text, "win.ini");
  if (std::string(text) != kCanaryText)
    damage += std::string("profile win.ini [") + kIniCanarySection + "]\n";
  return damage;
}

// ---------------------------------------------------------------- scratch

void BuildScratch() {
  RemoveTree(kScratch);
  std::string s = kScratch;
  for (const char* folder : {"", "\\sub", "\\sub\\deep", "\\with space", "\\empty"})
    CreateDirectoryA((s + folder).c_str(), nullptr);
  for (const char* file : {"\\a.txt", "\\b.TXT", "\\ro.txt", "\\hidden.txt", "\\a.dll", "\\b.dll",
                           "\\sub\\c.txt", "\\sub\\deep\\d.dat", "\\with space\\e.txt"})
    WriteTextFile(s + file, "scratch");
  SetFileAttributesA((s + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((s + "\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  WritePrivateProfileStringA("S1", "k1", "v", (s + "\\scratch.ini").c_str());
  WritePrivateProfileStringA("S2", "k2", "v", (s + "\\scratch.ini").c_str());
  WritePrivateProfileStringA("S1", "k1", "v", "win.ini");
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    std::string key = kScratchKey;
    SetText(root, key, "V1", "v");
    SetText(root, key, "", "default");
    SetText(root, key + "\\K1", "V", "v");
    SetText(root, key + "\\K2\\K3", "V", "v");
  }
  SetCount(s + "\\a.dll", 2);
  SetCount(s + "\\b.dll", 1);
}

// ---------------------------------------------------------------- logs

struct Vocabulary {
  std::vector<std::string> folders;    // protected ones and the other profile folders
  std::vector<std::string> ancestors;          // folders that hold protected ones
};

const std::vector<std::string> kNumbers = {
    "0", "1", "2", "3", "5", "-1", "-2147483648", "2147483647", "2147483648", "4294967295",
    "4294967296", "65535", "65536", "256", "257", "99999999999999999999999999", "1001", "1000",
    "14999", "15000", "19999", "30001", "64999", "3999", "00000000000000000000001", " 7", "12abc", ""};

const std::vector<std::string> kScratchNames = {
    "a.txt", "b.TXT", "A.TXT", "*.txt", "*.*", "*", "?.txt", "sub", "sub\\*", "sub\\deep",
    "sub\\deep\\*.dat", "with space", "with space\\*", "ro.txt", "hidden.txt", "x*", "nothere",
    "sub\\..\\a.txt", ".", "a.txt.", "a.txt ", "sub\\", "empty", "*.dll", "a.dll",
    "..\\fuzzscratch\\a.txt", "sub\\\\c.txt", "sub/c.txt", "sub\\.\\c.txt", "SUB\\C.TXT",
    "sub\\..\\sub\\c.txt", "sub/./c.txt", "a.txt<", "a\".txt", "a.tx>", "*\"*", "sub\\<"};

// Names that match every entry of a folder, a whole class of them (a
// wildcard first), or nothing there; the search's own wildcards ('"' for a
// dot, '<' for a star, '>' for a question mark) and characters no name holds.
const std::vector<std::string> kSweepNames = {
    "*", "*.*", "?*", "*.", "**", "*.?*", "", "*.txt", "nothere.txt", "*.dat", "*.ini",
    "*canary.dat", "?uzz-canary.dat", "*\".*", "<", "<.dat", "fuzz-canary\"dat", "fuzz-canary<",
    "fuzz-canary.da>", ">>>>>>>>>>>>>>>", "*|", "\x01*", "*\t"};

// Ways to spell the same folder: device and NT namespaces, slashes, dots.
std::string Spell(Rng& r, std::string folder) {
  if (!folder.empty() && folder.back() == '\\' && folder.size() > 3) folder.pop_back();
  std::string drive = folder.substr(0, 2);
  std::string rest = folder.size() > 2 ? folder.substr(2) : "";
  switch (r.Below(17)) {
    case 0: return "\\??\\" + folder;
    case 1: return "\\\\?\\" + folder;
    case 2: return "\\\\.\\" + folder;
    case 3: {
      std::string slashed = "//?/" + folder;
      for (char& c : slashed) if (c == '\\') c = '/';
      return slashed;
    }
    case 4: return "/?" "?/" + drive + rest;  // split: not a trigraph
    case 5: return "\\/?\\" + folder;
    case 6: return "\\\\?\\GLOBALROOT\\??\\" + folder;
    case 7: return "\\\\?\\GLOBALROOT\\DosDevices\\" + folder;
    case 8: return "\\??\\UNC\\localhost\\" + std::string(1, drive[0]) + "$" + rest;
    case 9: return "\\\\?\\Volume{00000000-0000-0000-0000-000000000000}" + rest;
    case 10: {
      std::string doubled;
      for (char c : folder) doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
      return doubled;
    }
    case 11: return folder + (r.Chance(50) ? "." : " ");
    case 12: return folder + "\\.";
    case 13: {
      std::string upper = folder;
      for (char& c : upper)
        if (r.Chance(50)) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
      return upper;
    }
    case 14: return std::string(kScratch) + "\\..\\.." + rest;  // climbing out of the scratch folder
    case 15: {
      char shortName[MAX_PATH] = "";
      DWORD length = GetShortPathNameA(folder.c_str(), shortName, sizeof shortName);
      return length > 0 && length < sizeof shortName ? shortName : folder + "\\x\\..";
    }
    default: return folder;
  }
}

std::string Letters(Rng& r) {
  // Never a word the platform would run: every word starts with "zz".
  std::string word = "zz";
  for (int i = r.Below(6); i > 0; --i) word += static_cast<char>('a' + r.Below(26));
  return word;
}

std::string Junk(Rng& r) {
  switch (r.Below(8)) {
    case 0: return "\"";
    case 1: return "\"" + Letters(r) + "\"";
    case 2: return "\"" + Letters(r) + ",x\"";
    case 3: return std::string(300 + r.Below(500), 'x');
    case 4: return r.Pick(kNumbers);
    case 5: return "";
    case 6: return " ";
    default: return Letters(r);
  }
}

std::string PathToken(Rng& r, const Vocabulary& v) {
  int pick = r.Below(100);
  if (pick < 40) return std::string(kScratch) + "\\" + r.Pick(kScratchNames);
  if (pick < 80) {
    std::string folder = Spell(r, r.Pick(v.folders));
    std::string name = r.Pick(kSweepNames);
    if (name.empty() && r.Chance(50)) return folder;
    return folder + (folder.back() == '\\' || folder.back() == '/' ? "" : "\\") + name;
  }
  if (pick < 86) return r.Pick(v.ancestors) + (r.Chance(50) ? "" : "\\*");
  if (pick < 94) {
    const std::vector<std::string> relative = {"..", "..\\*", "..\\..\\*", ".\\*", "\\*", "*", "*.*",
                                               "\\", ".", "..\\..\\..\\..\\*", "C:", "C:*", "Z:",
                                               "Z:*", "C:..\\*", "\\\\", "/", "//", "\\\\?\\"};
    return r.Pick(relative);
  }
  return Junk(r);
}

std::string RegistryKey(Rng& r) {
  const std::string s = kScratchKey;
  const std::vector<std::string> keys = {
      s, s + "\\K1", s + "\\K2", s + "\\K2\\K3", s + "\\nothere", s + "\\", "\\" + s,
      "Software\\\\DorvaneFuzz\\\\Scratch", "Software/DorvaneFuzz/Scratch", s + "\\..",
      s + "\\..\\..", "", "\\", "\\\\", " ", s + "\\*", "\"" + s + "\""};
  return r.Chance(95) ? r.Pick(keys) : Junk(r);
}

std::string Field(Rng& r, const std::vector<std::string>& choices) {
  return r.Chance(92) ? r.Pick(choices) : Junk(r);
}

std::string ActionLine(Rng& r, const Vocabulary& v) {
  const std::string letters = "PPPPPUUUUUJJJJKKKMMMBCDEApuQ";
  char letter = letters[r.Below(static_cast<int>(letters.size()))];
  std::string number = r.Chance(65) ? "0" : r.Pick(kNumbers);
  std::vector<std::string> fields;
  const std::vector<std::string> modes = {"0", "1", "2", "3", "5", "-1", "256", "257", "65535", ""};
  const std::vector<std::string> roots = {"0", "1", "2", "3", "4", "-1", "256", "257", "65535"};
  const std::vector<std::string> values = {"", "default", "Default", "V1", "V", "nothere", "\"V1\""};
  const std::vector<std::string> sections = {"S1", "S2", "s1", "", "nothere", "\"S1\""};
  const std::vector<std::string> iniKeys = {"k1", "k2", "", "nothere"};
  const std::string s = kScratch;
  const std::vector<std::string> inis = {s + "\\scratch.ini", "win.ini", s + "\\..\\fuzzscratch\\scratch.ini",
                                         "", "nothere.ini", "system.ini"};
  switch (letter) {
    case 'P':
    case 'U':
    case 'p':
    case 'u':
      fields = {PathToken(r, v), Field(r, modes)};
      break;
    case 'J':
      fields = {Field(r, roots), RegistryKey(r), Field(r, values)};
      break;
    case 'K':
      fields = {r.Chance(50) ? Field(r, {s + "\\a.dll", s + "\\b.dll", s + "\\nothere.dll", ""})
                             : PathToken(r, v)};
      break;
    case 'M':
      fields = {Field(r, inis), Field(r, sections), Field(r, iniKeys)};
      break;
    case 'B':
      fields = {Field(r, {"0", "1", "2", "3", "4", "-1", "256"}),
                r.Chance(50) ? PathToken(r, v) : Letters(r),
                Field(r, {"\"Close it|#now\"", "text", "", "\"a,b\""}), Field(r, {"0", "1", "2", "3", "4", "5", "6", "-1"})};
      break;
    case 'C':
    case 'D':
      fields = {r.Chance(50) ? PathToken(r, v) : s + "\\" + Letters(r) + ".dll",
                Field(r, {"zzFunc", "", "#1"}), Field(r, {"0", "1", "5", "6", "-1", "65535"}),
                Junk(r), Junk(r)};
      break;
    case 'E':
      fields = {PathToken(r, v) + (r.Chance(30) ? " " + Junk(r) : "")};
      break;
    default:
      fields = {Junk(r), Junk(r)};
      break;
  }
  // Mutations: a field dropped, a field added, a quote put in.
  if (r.Chance(8) && !fields.empty()) fields.pop_back();
  if (r.Chance(8)) fields.push_back(Junk(r));
  std::string line = std::string(1, letter) + number;
  for (const std::string& field : fields) line += "," + field;
  if (r.Chance(5)) line.insert(static_cast<size_t>(r.Below(static_cast<int>(line.size()) + 1)), "\"");
  return line;
}

std::string MakeLog(uint64_t seed, int index, const Vocabulary& v) {
  for (uint64_t attempt = 0;; ++attempt) {
    // Each log's stream starts from a hash of (seed, index, attempt), so that
    // neighbouring logs share no stretch of their draws.
    Rng mix{seed};
    mix.state = mix.Next() + static_cast<uint64_t>(index);
    mix.state = mix.Next() + attempt;
    Rng r{mix.Next()};
    const std::vector<std::string> breaks = {"\r\n", "\n", "\r", "\r\r\n"};
    std::string log = "A10,Fuzz product" + r.Pick(breaks) + "A48,Fuzz" + r.Pick(breaks);
    if (r.Chance(50)) log += "A51,Delete %s?\r\n";
    for (int i = 1 + r.Below(25); i > 0; --i) {
      int kind = r.Below(100);
      if (kind < 85) log += ActionLine(r, v);
      else if (kind < 92) log += "A" + r.Pick(kNumbers) + "," + Junk(r);
      else log += r.Pick(std::vector<std::string>{"[Section]", "; comment", "12,abc", "P", "PX,abc", "", "7"});
      log += r.Pick(breaks);
    }
    // Wine reaches the host's files through \\?\unix\ whatever the drives:
    // no log may spell it.
    std::string lower = log;
    CharLowerBuffA(&lower[0], static_cast<DWORD>(lower.size()));
    if (lower.find("unix") == std::string::npos) return log;
  }
}

Vocabulary MakeVocabulary() {
  Vocabulary v;
  v.folders = ProtectedFolders();
  // Music, Pictures, Videos and Templates are not protected (a log may sweep
  // them, so they hold no canary), but their spellings are tried as well.
  for (const std::string& folder : ProfileFolders())
    if (std::find(v.folders.begin(), v.folders.end(), folder) ==
        v.folders.end())
      v.folders.push_back(folder);
  v.ancestors = {"C:\\users", KnownFolder(CSIDL_PROFILE) + "\\AppData", KnownFolder(CSIDL_STARTMENU) + "\\.."};
  return v;
}

// ---------------------------------------------------------------- the child

// The action run pauses before the folder removals so that a dialog can show
// its note; with no dialog the pause only costs time (most logs have a U
// line). The child points its own import of Sleep at this one, which skips
// pauses of that length, so that four logs run in the time of three.
// The import slot's assembler name: i686 decorates a stdcall import with a
// leading underscore and the argument bytes, x86_64 does not.
#if defined(__i386__)
#define SLEEP_IMPORT_SLOT "__imp__Sleep@4"
#else
#define SLEEP_IMPORT_SLOT "__imp_Sleep"
#endif
extern "C" void* gSleepImport __asm__(SLEEP_IMPORT_SLOT);
void WINAPI SleepUnlessPause(DWORD ms) { SleepEx(ms == kFolderPauseMs ? 0 : ms, FALSE); }

void SkipFolderPause() {
  DWORD old = 0;
  if (VirtualProtect(&gSleepImport, sizeof gSleepImport, PAGE_READWRITE, &old)) {
    gSleepImport = reinterpret_cast<void*>(SleepUnlessPause);
    VirtualProtect(&gSleepImport, sizeof gSleepImport, old, &old);
  }
}

// Answers the run's message boxes (the one robot, on this process's boxes):
// a random button at first, then one that ends the question, so that a
// check that keeps finding its program ends.
BoxRobot gRobot;
uint64_t gAnswerSeed = 0;
int gAnswersBefore = 0;  // boxes answered in earlier logs

int AnswerBox(const SeenBox& box, int index) {
  DWORD process = 0;
  GetWindowThreadProcessId(box.window, &process);
  if (process != GetCurrentProcessId()) return 0;
  std::vector<int> present;
  for (int id : {IDYES, IDNO, IDOK, IDCANCEL, IDRETRY, IDABORT, IDIGNORE, IDTRYAGAIN, IDCONTINUE})
    if (box.buttons & (1u << id)) present.push_back(id);
  if (present.empty()) return 0;
  int seen = index - gAnswersBefore + 1;
  if (seen <= kBoxesBeforeClosing) {
    Rng r{gAnswerSeed + static_cast<uint64_t>(seen)};
    return r.Pick(present);
  }
  for (int id : {IDNO, IDCANCEL, IDIGNORE, IDOK, IDABORT, IDCONTINUE})
    if (box.buttons & (1u << id)) return id;
  return present[0];
}

void WriteProgress(const std::string& text) {
  WriteTextFile(std::string(kRun) + "\\progress.txt", text);
}

void AppendFailure(const std::string& text) {
  HANDLE file = CreateFileA((std::string(kRun) + "\\failures.txt").c_str(), FILE_APPEND_DATA, 0, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

int RunChildLogs(uint64_t seed, int first, int count) {
  std::string why;
  if (!SandboxIsSealed(&why)) {
    printf("fuzz: the prefix is not sealed (%s): no log runs\n", why.c_str());
    return 2;
  }
  Vocabulary v = MakeVocabulary();
  std::string temp = TempFolder();
  SkipFolderPause();
  gRobot.answer = AnswerBox;
  gRobot.answers = kEveryBox;
  StartRobot(&gRobot);
  DWORD spent[3] = {0, 0, 0};  // scratch, runs, canary checks (FUZZ_VERBOSE)
  for (int index = first; index < first + count; ++index) {
    DWORD t0 = GetTickCount();
    std::string log = MakeLog(seed, index, v);
    BuildScratch();
    DWORD t1 = GetTickCount();
    SetCurrentDirectoryA(temp.c_str());  // stage two runs from the temporary folder
    gAnswersBefore = gRobot.found;
    gAnswerSeed = seed ^ (static_cast<uint64_t>(index) << 20);
    WriteProgress(std::to_string(index));
    LoadLogText(kRun, log);
    gSilent = true;
    TakeProgramPath();
    CopyText(gProgramFolder, kPathSize, gProgramPath);
    StripLastComponent(gProgramFolder);
    TakeFolders();
    BuildCaption();
    RunActions(kEarlyPhase);
    RemoveUninstallKeys();
    RunActions(kLatePhase);
    DWORD t2 = GetTickCount();
    std::string damage = CanaryDamage();
    DWORD t3 = GetTickCount();
    spent[0] += t1 - t0;
    spent[1] += t2 - t1;
    spent[2] += t3 - t2;
    if (!damage.empty()) {
      AppendFailure("seed " + std::to_string(seed) + " log " + std::to_string(index) + ": " + damage);
      PlaceCanaries();
    }
    WriteProgress(std::to_string(index) + " ok");
  }
  StopRobot(&gRobot);
  if (GetEnvironmentVariableA("FUZZ_VERBOSE", nullptr, 0))
    printf("fuzz child: %lu ms scratch, %lu ms runs, %lu ms canary checks\n", spent[0], spent[1], spent[2]);
  WriteProgress("done");
  return 0;
}

// ---------------------------------------------------------------- the parent

uint64_t EnvironmentNumber(const char* name, uint64_t fallback) {
  unsigned long long value = 0;
  return ReadEnvironmentNumber(name, &value) ? value : fallback;
}

// Ends every process left in a job (programs a log started) and waits until
// they are gone, so that none of them meets the next log.
void EndJob(HANDLE job) {
  TerminateJobObject(job, 0);
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
  for (DWORD waited = 0; waited < kStallMs; waited += 10) {
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                   sizeof accounting, nullptr) ||
        accounting.ActiveProcesses == 0)
      break;
    Sleep(10);
  }
  CloseHandle(job);
}

// Runs one child from log `first`; returns the index after the last log it
// finished, or -1 when the child could not start.
int RunOneChild(uint64_t seed, int first, int end) {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string command = "\"" + std::string(self) + "\" --child " + std::to_string(seed) + " " +
                        std::to_string(first) + " " + std::to_string(end - first);
  std::string progressPath = std::string(kRun) + "\\progress.txt";
  DeleteFileA(progressPath.c_str());
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!job || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    printf("fuzz: no job object (error %lu): a log's processes could outlive it\n", GetLastError());
    return -1;
  }
  // A child hangs when its progress file stays the same too long.
  std::string progress, last;
  DWORD quiet = 0;
  ChildOptions options;
  options.job = job;
  options.stalled = [&] {
    progress = ReadTextFile(progressPath);
    quiet = progress == last ? quiet + kChildPollMs : 0;
    last = progress;
    return quiet >= kStallMs;
  };
  int code = RunChild(command, INFINITE, &options);
  if (code == -1) {
    printf("fuzz: the child did not start in its job (error %lu)\n", GetLastError());
    CloseHandle(job);
    return -1;
  }
  bool hung = code == -2;
  EndJob(job);
  progress = ReadTextFile(progressPath);
  if (progress == "done" && code == 0) return end;
  // A child that never began its first log found no seal or could not load
  // at all (a log before wrecked the prefix's system folder).
  if (progress.empty()) return -1;
  // The child ended inside a log: by the uninstaller's own exit (code 0) it
  // ended normally; otherwise it crashed or hung.
  int index = atoi(progress.c_str());
  bool finished = progress.find(" ok") != std::string::npos;
  if (finished) return index + 1;
  std::string damage = CanaryDamage();
  std::string what;
  if (hung) what = "no progress for " + std::to_string(kStallMs / 1000) + " s\n";
  else if (code != 0) what = "ended with code " + std::to_string(code) + "\n";
  if (!what.empty() || !damage.empty()) {
    AppendFailure("seed " + std::to_string(seed) + " log " + std::to_string(index) + ": " + what + damage);
    PlaceCanaries();
  }
  return index + 1;
}

int RunParent() {
  uint64_t seed = EnvironmentNumber("FUZZ_SEED", kDefaultSeed);
  int count = static_cast<int>(EnvironmentNumber("FUZZ_COUNT", kDefaultCount));
  int first = static_cast<int>(EnvironmentNumber("FUZZ_FIRST", 0));
  std::string why;
  if (!SandboxIsSealed(&why)) {
    printf("fuzz: the prefix is not sealed (%s): no log runs\n", why.c_str());
    return 1;
  }
  CreateDirectoryA(kRun, nullptr);
  std::string failuresPath = std::string(kRun) + "\\failures.txt";
  DeleteFileA(failuresPath.c_str());
  PlaceCanaries();
  Vocabulary v = MakeVocabulary();
  DWORD start = GetTickCount();
  int end = first + count;
  int next = first;
  int children = 0;
  bool damaged = false;
  while (next < end) {
    int reached = RunOneChild(seed, next, next + 1);  // one log per child
    ++children;
    if (reached < 0) {
      // A start can fail under load without any damage: only a second
      // child that also leaves no trace shows a damaged prefix.
      printf("fuzz: the child of log %d left no trace; it runs once more\n", next);
      reached = RunOneChild(seed, next, next + 1);
      ++children;
    }
    if (reached < 0) {
      // The log before this one damaged the prefix: a failure of its own,
      // whatever its canaries said. fuzz.sh makes a fresh prefix and resumes
      // here.
      printf("fuzz: no child starts at log %d: the prefix is damaged\n", next);
      if (next > first)
        AppendFailure("seed " + std::to_string(seed) + " log " + std::to_string(next - 1) +
                      ": the prefix is damaged: no process starts after it\n");
      damaged = true;
      break;
    }
    next = reached;
    std::string sofar = ReadTextFile(failuresPath);
    if (std::count(sofar.begin(), sofar.end(), '\n') > kMaxFailures) break;
  }
  DWORD elapsed = GetTickCount() - start;
  // Each failure: its seed and log number, then what was damaged.
  std::string report = ReadTextFile(failuresPath);
  std::vector<std::string> failed;
  for (size_t at = 0; (at = report.find("seed ", at)) != std::string::npos; ++at) {
    size_t logAt = report.find(" log ", at);
    if (logAt == std::string::npos) break;
    int index = atoi(report.c_str() + logAt + 5);
    if (failed.empty() || failed.back() != std::to_string(index)) failed.push_back(std::to_string(index));
  }
  int failures = static_cast<int>(failed.size());
  if (!report.empty()) printf("%s", report.c_str());
  for (int i = 0; i < failures && i < kPrintedFailures; ++i) {
    printf("---- log %s of seed %llu (replay: FUZZ_SEED=%llu FUZZ_FIRST=%s FUZZ_COUNT=1)\n%s\n",
           failed[i].c_str(), static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed),
           failed[i].c_str(), MakeLog(seed, atoi(failed[i].c_str()), v).c_str());
  }
  printf("fuzz: seed %llu, logs %d..%d: %d run, %d failed, %d child processes, %lu.%03lu s\n",
         static_cast<unsigned long long>(seed), first, next - 1, next - first, failures, children,
         elapsed / 1000, elapsed % 1000);
  if (damaged) {
    printf("fuzz: resume FUZZ_FIRST=%d\n", next);
    return kPrefixDamaged;
  }
  return failures == 0 && next >= end ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 2 && lstrcmpA(argv[1], "--check") == 0) {
    std::string why;
    bool sealed = SandboxIsSealed(&why);
    printf("fuzz: %s%s\n", sealed ? "the prefix is sealed" : "the prefix is NOT sealed: ", why.c_str());
    return sealed ? 0 : 1;
  }
  if (argc == 4 && lstrcmpA(argv[1], "--print") == 0) {
    printf("%s", MakeLog(strtoull(argv[2], nullptr, 10), atoi(argv[3]), MakeVocabulary()).c_str());
    return 0;
  }
  if (argc == 5 && lstrcmpA(argv[1], "--child") == 0)
    return RunChildLogs(strtoull(argv[2], nullptr, 10), atoi(argv[3]), atoi(argv[4]));
  return RunParent();
}
