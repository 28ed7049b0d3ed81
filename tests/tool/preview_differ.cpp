// The preview against the real run: random machine states (files with
// attributes, folders, keys and values, profile entries, shared counts,
// files held open by another process with and without delete sharing) and
// random well-formed logs over them. Each case runs `uninstlog preview
// --json`, then the real silent uninstall on the same state, and compares
// what went with what the preview said would go. What the manual lists as
// unpredictable is counted apart: a folder around a file that another
// process holds with delete sharing (the file goes only when it is closed).
//
//   preview_differ.exe             FUZZ_COUNT cases (default 6) of FUZZ_SEED,
//                                  from case FUZZ_FIRST (default 0)
//   preview_differ.exe --hold S P  holds file P open with sharing S until killed
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "actions/actions.h"
#include "support/test_util.h"

namespace {

constexpr int kDefaultCases = 6;
constexpr DWORD kRunMs = 120000;
const char kRoot[] = "C:\\differ";
const char kPackage[] = "C:\\differ\\pkg";
const char kProfile[] = "C:\\differ\\pkg\\prof.ini";
const char kKeyBase[] = "Software\\DorvaneDiffer";
const char kReadyEvent[] = "DorvaneDifferHolding";

struct Rng {
  unsigned long long state;
  unsigned Next(unsigned bound) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<unsigned>(state >> 33) % bound;
  }
};

std::string Upper(std::string text) {
  CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

// --- the machine -------------------------------------------------------------

// Everything a case may touch, by an upper-case id: "F path" for files and
// folders, "K key", "V key|name", "E file|section|key", "C file" for counts
// (with the count as value).
using Objects = std::map<std::string, std::string>;

void Snapshot(Objects* out) {
  out->clear();
  WalkTree(kRoot, [&](const std::string& path, const WIN32_FIND_DATAA&) {
    (*out)["F " + Upper(path)] = "";
  });
  WalkKey(HKEY_CURRENT_USER, kKeyBase, [&](const std::string& key, const char* name, DWORD, const std::string&) {
    std::string id = "HKEY_CURRENT_USER\\" + key;
    (*out)[name ? "V " + Upper(id + "|" + name) : "K " + Upper(id)] = "";
  });
  char sections[4096] = "", entries[4096] = "";
  GetPrivateProfileSectionNamesA(sections, sizeof sections, kProfile);
  for (const char* s = sections; *s; s += lstrlenA(s) + 1) {
    GetPrivateProfileStringA(s, nullptr, "", entries, sizeof entries, kProfile);
    for (const char* e = entries; *e; e += lstrlenA(e) + 1)
      (*out)["E " + Upper(std::string(kProfile) + "|" + s + "|" + e)] = "";
  }
  for (int i = 0; i < 3; ++i) {
    std::string file = std::string(kPackage) + "\\sh" + std::to_string(i) + ".dll";
    DWORD type = 0;
    std::string data;
    if (ReadValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, file.c_str(), &type, &data) && data.size() == 4)
      (*out)["C " + Upper(file)] = std::to_string(*reinterpret_cast<const DWORD*>(data.data()));
  }
}

void Clear() {
  WalkTree(kRoot, [](const std::string& path, const WIN32_FIND_DATAA&) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  });
  RemoveTree(kRoot);
  RegDeleteTreeA(HKEY_CURRENT_USER, kKeyBase);
  for (int i = 0; i < 3; ++i)
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedDllsKey,
                       (std::string(kPackage) + "\\sh" + std::to_string(i) + ".dll").c_str());
  ClearPendingRenames();
}

struct Case {
  std::string log;
  std::vector<std::pair<std::string, DWORD>> held;  // path, sharing
};

// The state and a log over it; each name may or may not exist, and each
// line may or may not name something that does.
Case MakeCase(Rng& r) {
  Case c;
  CreateDirectoryA(kRoot, nullptr);
  CreateDirectoryA(kPackage, nullptr);
  std::vector<std::string> lines;
  const DWORD kAttributes[] = {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_READONLY,
                               FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM};
  for (int folder = 0; folder < 3; ++folder) {
    std::string dir = std::string(kPackage) + (folder ? "\\sub" + std::to_string(folder) : "");
    if (folder) CreateDirectoryA(dir.c_str(), nullptr);
    for (int i = 0; i < 4; ++i) {
      std::string file = dir + "\\f" + std::to_string(i) + (i % 2 ? ".txt" : ".dat");
      if (r.Next(4) == 0) continue;
      WriteTextFile(file, "differ " + file);
      SetFileAttributesA(file.c_str(), kAttributes[r.Next(4)]);
      if (r.Next(8) == 0)
        c.held.push_back({file, r.Next(2) ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_DELETE});
    }
    switch (r.Next(4)) {
      case 0: lines.push_back("P0," + dir + "\\*.txt,0"); break;
      case 1: lines.push_back("P0," + dir + "\\f" + std::to_string(r.Next(4)) + ".dat,0"); break;
      case 2: if (folder) lines.push_back("U0," + dir + "," + (r.Next(2) ? "1" : "2")); break;
      default: break;
    }
  }
  if (r.Next(3) == 0) lines.push_back(std::string("U0,") + kPackage + ",2");
  for (int k = 0; k < 3; ++k) {
    std::string key = std::string(kKeyBase) + "\\K" + std::to_string(k);
    if (r.Next(3)) SetText(HKEY_CURRENT_USER, key + (r.Next(2) ? "\\Sub" : ""), "V0", "zero");
    if (r.Next(2)) SetText(HKEY_CURRENT_USER, key, "V1", "one");
    lines.push_back("J0,1," + key + "," + (r.Next(2) ? "" : "V" + std::to_string(r.Next(2))));
  }
  for (int s = 0; s < 2; ++s) {
    std::string section = "S" + std::to_string(s);
    for (int e = 0; e < 3; ++e)
      if (r.Next(2)) WritePrivateProfileStringA(section.c_str(), ("E" + std::to_string(e)).c_str(), "1", kProfile);
    lines.push_back(std::string("M0,") + kProfile + "," + section + "," +
                    (r.Next(2) ? "" : "E" + std::to_string(r.Next(3))));
  }
  for (int i = 0; i < 3; ++i) {
    std::string file = std::string(kPackage) + "\\sh" + std::to_string(i) + ".dll";
    DWORD count = r.Next(3);
    if (count) SetValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, file.c_str(), REG_DWORD, &count, sizeof count);
    if (r.Next(2)) WriteTextFile(file, "shared");
    if (r.Next(2)) lines.push_back("K0," + file);
  }
  if (r.Next(4) == 0) lines.push_back(std::string("P0,") + kPackage + "\\*.*,0");
  c.log = std::string("[Messages]\r\n") + kAllMessages + "[Actions]\r\n";
  while (!lines.empty()) {  // in a random order: the order numbers are automatic
    size_t at = r.Next(static_cast<unsigned>(lines.size()));
    c.log += lines[at] + "\r\n";
    lines.erase(lines.begin() + static_cast<long>(at));
  }
  WriteTextFile(std::string(kPackage) + "\\uninstal.ini", c.log);
  CopyFileA(DIST_DIR "/uninstaller.exe", (std::string(kPackage) + "\\uninstaller.exe").c_str(), FALSE);
  return c;
}

// --- the preview's report ------------------------------------------------------

// What the preview says goes (ids of Objects) and counts it says change.
void Predicted(const std::string& json, const Objects& before, std::set<std::string>* gone,
               std::map<std::string, std::string>* counts) {
  for (auto& e : PreviewEffects(json)) {
    if (e["happens"] != "true") continue;
    const std::string& kind = e["kind"];
    std::string object = Upper(e["object"]);
    if (kind == "file" || kind == "folder") {
      gone->insert("F " + object);
    } else if (kind == "key") {
      for (const auto& o : before)  // the key with all below it
        if (o.first.compare(2, object.size(), object) == 0 &&
            (o.first.size() == object.size() + 2 || o.first[object.size() + 2] == '\\' ||
             o.first[object.size() + 2] == '|'))
          gone->insert(o.first);
    } else if (kind == "value") {
      gone->insert("V " + object + "|" + Upper(e["name"]));
    } else if (kind == "entry") {
      gone->insert("E " + object + "|" + Upper(e["name"]) + "|" + Upper(e["key"]));
    } else if (kind == "section") {
      std::string section = "E " + object + "|" + Upper(e["name"]) + "|";
      for (const auto& o : before)
        if (o.first.compare(0, section.size(), section) == 0) gone->insert(o.first);
    } else if (kind == "count") {
      const std::string& after = e["after"];
      if (after == "deleted") gone->insert("C " + Upper(e["name"]));
      else (*counts)["C " + Upper(e["name"])] = after;
    }
  }
  // A deleted profile file takes its entries.
  std::string entries = "E " + Upper(kProfile) + "|";
  if (gone->count("F " + Upper(kProfile)))
    for (const auto& o : before)
      if (o.first.compare(0, entries.size(), entries) == 0) gone->insert(o.first);
}

// --- one case ------------------------------------------------------------------

HANDLE Hold(const std::string& path, DWORD sharing, HANDLE ready) {
  ResetEvent(ready);
  std::string command = "\"" + TestBinFolder() + "\\preview_differ.exe\" --hold " +
                        std::to_string(sharing) + " \"" + path + "\"";
  STARTUPINFOA startup = {sizeof startup};
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return nullptr;
  CloseHandle(process.hThread);
  WaitForSingleObject(ready, 10000);
  return process.hProcess;
}

// Runs stage one and waits for every process it starts (stage two).
bool RunUninstaller() {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  ChildOptions options;
  options.job = job;
  int code = RunChild(std::string("\"") + kPackage + "\\uninstaller.exe\" -s", kRunMs, &options);
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
  for (DWORD waited = 0; waited < kRunMs; waited += 100) {
    QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr);
    if (info.ActiveProcesses == 0) break;
    Sleep(100);
  }
  CloseHandle(job);
  return code == 0 && info.ActiveProcesses == 0;
}

int RunCases(unsigned seed, int first, int count) {
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kReadyEvent);
  std::string work = MakeScratchFolder("differ");
  int agreed = 0, failed = 0, uncertain = 0, compared = 0;
  DWORD start = GetTickCount();
  for (int index = first; index < first + count; ++index) {
    Rng r{seed * 1000003ULL + static_cast<unsigned>(index)};
    Clear();
    Case c = MakeCase(r);
    std::vector<HANDLE> holders;
    std::set<std::string> unsure;
    for (const auto& h : c.held) {
      holders.push_back(Hold(h.first, h.second, ready));
      // Deleted while held with delete sharing: gone only once closed, so
      // its folders stay while the preview sees them emptied.
      if (h.second & FILE_SHARE_DELETE)
        for (std::string at = Upper(h.first); at.size() > sizeof kRoot; at.resize(at.rfind('\\')))
          if (at != Upper(h.first)) unsure.insert("F " + at);
    }
    std::string json, errors;
    RunUninstlog(work, std::string("preview --json ") + kPackage + "\\uninstal.ini", &json, &errors);
    Objects before, after;
    Snapshot(&before);
    bool ran = RunUninstaller();
    for (HANDLE h : holders) {
      if (!h) continue;
      TerminateProcess(h, 0);
      WaitForSingleObject(h, 10000);
      CloseHandle(h);
    }
    Snapshot(&after);
    std::set<std::string> gone;
    std::map<std::string, std::string> counts;
    Predicted(json, before, &gone, &counts);
    std::string wrong;
    if (!ran) wrong += "  the uninstaller did not end within the time\n";
    if (json.find("\"stage_two\"") == std::string::npos) wrong += "  no preview: " + errors + "\n";
    for (const auto& o : before) {
      bool went = !after.count(o.first), said = gone.count(o.first) > 0;
      ++compared;
      if (unsure.count(o.first)) {
        ++uncertain;
        continue;
      }
      if (went != said)
        wrong += "  " + o.first + (went ? ": gone, the preview said it stays\n"
                                        : ": stays, the preview said it goes\n");
      auto count = counts.find(o.first);
      if (!went && count != counts.end() && after.at(o.first) != count->second)
        wrong += "  " + o.first + ": count " + after.at(o.first) + ", the preview said " +
                 count->second + "\n";
    }
    if (wrong.empty()) {
      ++agreed;
    } else {
      ++failed;
      printf("case %d of seed %u disagrees:\n%s  log:\n%s\n", index, seed, wrong.c_str(),
             c.log.c_str());
    }
  }
  Clear();
  RemoveTree(work);
  printf("preview against the real run: seed %u, %d cases, %d agree, %d disagree; %d objects "
         "compared, %d uncertain (held with delete sharing); %lu s\n",
         seed, count, agreed, failed, compared, uncertain, (GetTickCount() - start) / 1000);
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && lstrcmpA(argv[1], "--hold") == 0) {
    HANDLE file = CreateFileA(argv[3], GENERIC_READ, strtoul(argv[2], nullptr, 10), nullptr,
                              OPEN_EXISTING, 0, nullptr);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, kReadyEvent);
    if (ready) SetEvent(ready);
    Sleep(INFINITE);
    return file != INVALID_HANDLE_VALUE ? 0 : 1;
  }
  unsigned long long first = 0;
  ReadEnvironmentNumber("FUZZ_FIRST", &first);
  return RunCases(FuzzSeed(1), static_cast<int>(first), FuzzCount(kDefaultCases));
}
