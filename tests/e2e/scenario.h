// End-to-end scenarios of the uninstaller: a scenario file describes a
// package to install, how the user answers and which buttons they press, and
// what must be true afterwards. The runner (runner.cpp) plays it against the
// real uninstaller under Wine.
//
// File format: one directive per line; blank lines and lines starting with
// '#' are ignored. A directive is a keyword, one space, and its arguments;
// directives with several arguments separate them with '|' (paths may hold
// spaces). $ROOT, $INST, $SHARED, $TEMP, $EXE, $COPY, $LOGNAME and $LOG are
// replaced when the line is used. tests/scenarios/README lists them all.
#pragma once
#include <windows.h>
#include <map>
#include <string>
#include <vector>

// What must become of an installed item once the uninstall has run.
enum class Fate { Gone, Stays, Any };

struct InstallItem {
  enum Kind { File, Dir, Key, Value, Shared, Ini } kind;
  Fate fate = Fate::Any;
  std::string path;       // file/folder path, or ROOT\key path, or profile path
  std::string name;       // value name, profile section
  std::string key;        // profile key
  std::string data;       // file text, value data ("dword:N" or text), profile value
  bool readOnly = false;
  int count = 0;          // Shared: installed count
  int countAfter = -1;    // Shared: expected count afterwards, -1 = value gone
  std::string why;        // reason shown by the report for what stays
};

struct Step {
  std::string keyword;
  std::vector<std::string> args;  // raw (variables not yet replaced)
  int line = 0;
  std::string file;
};

struct Scenario {
  std::string name;
  std::string title;                 // first comment line of the file
  std::string exeName = "uninstall.exe";
  std::string folder = "Dorvane";
  std::vector<std::string> tail = {"uninstall.ini", "dorvane-uninstall.log"};
  bool tailNone = false;
  bool writeLog = true;
  std::string args;
  bool cwdTemp = false;
  std::string temp;                  // the programs' temporary folder, when not the prefix's
  std::vector<std::string> hold;     // files held open while the run lasts
  std::vector<std::string> logLines;
  std::vector<InstallItem> items;
  std::map<int, std::string> answers;  // message id -> yes/no/wait/release
  std::vector<Step> steps;
  std::vector<std::string> errors;   // parse errors
};

// Reads a scenario file (and the files it includes). Windows path.
bool LoadScenario(const std::string& path, Scenario* scenario);

// Splits "a | b | c" into trimmed fields.
std::vector<std::string> SplitFields(const std::string& text);
std::string Trim(const std::string& text);
bool SameTextA(const std::string& a, const std::string& b);
