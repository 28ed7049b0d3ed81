#include "e2e/scenario.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "support/test_util.h"

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

std::vector<std::string> SplitFields(const std::string& text) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t bar = text.find('|', start);
    fields.push_back(Trim(text.substr(start, bar == std::string::npos ? std::string::npos
                                                                      : bar - start)));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return fields;
}

bool SameTextA(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}

static bool ParseFate(const std::string& text, Fate* fate) {
  if (text == "gone") *fate = Fate::Gone;
  else if (text == "stays") *fate = Fate::Stays;
  else if (text == "any") *fate = Fate::Any;
  else return false;
  return true;
}

static std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// A trailing "why: text" field gives the reason the report prints.
static std::string TakeWhy(std::vector<std::string>* fields) {
  if (!fields->empty() && fields->back().compare(0, 4, "why:") == 0) {
    std::string why = Trim(fields->back().substr(4));
    fields->pop_back();
    return why;
  }
  return "";
}

static bool ParseItem(const std::string& keyword, const std::string& rest, InstallItem* item,
                      std::string* error) {
  std::vector<std::string> f = SplitFields(rest);
  item->why = TakeWhy(&f);
  auto need = [&](size_t n) {
    if (f.size() == n) return true;
    *error = keyword + " needs " + std::to_string(n) + " fields";
    return false;
  };
  if (keyword == "shared") {
    // shared AFTER | path | count   (AFTER: the count left, or "gone")
    if (!need(3)) return false;
    item->kind = InstallItem::Shared;
    item->countAfter = f[0] == "gone" ? -1 : atoi(f[0].c_str());
    item->fate = f[0] == "gone" ? Fate::Gone : Fate::Stays;
    item->path = f[1];
    item->count = atoi(f[2].c_str());
    return true;
  }
  if (f.empty() || !ParseFate(f[0], &item->fate)) {
    *error = keyword + ": first field must be gone, stays or any";
    return false;
  }
  if (keyword == "file") {
    // file FATE | flags | path [| text]
    if (f.size() != 3 && f.size() != 4) return need(3);
    item->kind = InstallItem::File;
    item->readOnly = f[1].find("ro") != std::string::npos;
    item->path = f[2];
    item->data = f.size() == 4 ? f[3] : "Sample content of " + f[2] + "\r\n";
    return true;
  }
  // The other items: FATE | path, then value: name | data; ini: section |
  // key | value.
  static const struct { const char* keyword; InstallItem::Kind kind; size_t fields; } kItems[] = {
      {"dir", InstallItem::Dir, 2}, {"key", InstallItem::Key, 2},
      {"value", InstallItem::Value, 4}, {"ini", InstallItem::Ini, 5}};
  for (const auto& k : kItems) {
    if (keyword != k.keyword) continue;
    if (!need(k.fields)) return false;
    item->kind = k.kind;
    item->path = f[1];
    if (k.fields > 2) item->name = f[2];
    if (k.fields > 3) item->data = f.back();
    if (k.fields > 4) item->key = f[3];
    return true;
  }
  *error = "unknown item " + keyword;
  return false;
}

static bool IsStep(const std::string& keyword) {
  static const char* const kSteps[] = {"preview", "start", "second", "dialog", "press",
                                       "release", "end", "expect", "view",
                                       "escape", "close-box", "delete", "window"};
  for (const char* step : kSteps)
    if (keyword == step) return true;
  return false;
}

static bool LoadInto(const std::string& path, Scenario* s, int depth) {
  std::string text = ReadTextFile(path);
  if (text.empty()) {
    s->errors.push_back("cannot read " + path);
    return false;
  }
  std::string shortName = path.substr(path.find_last_of('\\') + 1);
  int lineNo = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string line = Trim(raw);
    if (line.empty()) continue;
    if (line[0] == '#') {
      if (depth == 0 && s->title.empty()) s->title = Trim(line.substr(1));
      continue;
    }
    size_t space = line.find(' ');
    std::string keyword = line.substr(0, space);
    // Everything after the keyword's one space, kept as written (log lines
    // may end in spaces or commas that matter).
    std::string rest = space == std::string::npos ? "" : raw.substr(raw.find(' ') + 1);
    std::string where = shortName + ":" + std::to_string(lineNo) + ": ";
    if (keyword == "include") {
      if (depth > 4) {
        s->errors.push_back(where + "includes nested too deep");
        continue;
      }
      LoadInto(FolderOf(path) + "\\" + Trim(rest), s, depth + 1);
    } else if (keyword == "log") {
      s->logLines.push_back(rest);
    } else if (keyword == "exe") {
      s->exeName = Trim(rest);
    } else if (keyword == "folder") {
      s->folder = Trim(rest);
    } else if (keyword == "tail") {
      s->tail.clear();
      s->tailNone = Trim(rest) == "-";
      if (!s->tailNone) s->tail = SplitFields(rest);
    } else if (keyword == "logfile") {
      s->writeLog = Trim(rest) != "missing";
    } else if (keyword == "args") {
      s->args = Trim(rest);
    } else if (keyword == "temp") {
      s->temp = Trim(rest);
    } else if (keyword == "cwd") {
      s->cwdTemp = Trim(rest) == "temp";
    } else if (keyword == "fate") {
      // fate FATE | path: changes what an included item must become.
      std::vector<std::string> f = SplitFields(rest);
      Fate fate;
      bool found = false;
      if (f.size() == 2 && ParseFate(f[0], &fate))
        for (InstallItem& item : s->items)
          if (item.path == f[1]) {
            item.fate = fate;
            found = true;
          }
      if (!found) s->errors.push_back(where + "fate FATE | path of an item above");
    } else if (keyword == "hold") {
      s->hold.push_back(Trim(rest));
    } else if (keyword == "answer") {
      std::vector<std::string> f = SplitFields(rest);
      if (f.size() != 2) s->errors.push_back(where + "answer ID | yes/no/wait/release");
      else s->answers[atoi(f[0].c_str())] = f[1];
    } else if (IsStep(keyword)) {
      Step step;
      step.keyword = keyword;
      step.args = SplitFields(rest);
      step.line = lineNo;
      step.file = shortName;
      s->steps.push_back(step);
    } else {
      InstallItem item;
      std::string error;
      if (ParseItem(keyword, rest, &item, &error)) s->items.push_back(item);
      else s->errors.push_back(where + error);
    }
  }
  return true;
}

bool LoadScenario(const std::string& path, Scenario* scenario) {
  std::string file = path.substr(path.find_last_of('\\') + 1);
  scenario->name = file.substr(0, file.find_last_of('.'));
  LoadInto(path, scenario, 0);
  return scenario->errors.empty();
}
