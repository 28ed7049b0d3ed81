// uninstlog over random and mutated logs: every command answers with one of
// its exit codes, check always ends with its summary, plan --json and
// preview --json are always JSON, and the plan and the preview list the
// records in the order the uninstaller's loader leaves them.
#include <gtest/gtest.h>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include "common/gate.h"
#include "log/log.h"
#include "support/json_reader.h"
#include "support/test_util.h"
#include "uninstlog/uninstlog.h"

namespace {

// Log pieces that reach every branch of the checks: each letter, message
// ids the program reads, quotes, backslashes, wildcards, odd numbers.
const char* const kLinePieces[] = {
    "A10,Sample \"Product\"", "A48,Uninstall", "A43,Remove %s %s %d?", "A36,%s %s %s",
    "A47,%s", "A51,Delete %s?", "A52,Retry %s %s?", "A42,Files", "A58,Wait", "A81,Checking",
    "A%,x", "A1000,last id", "A-1,minus one", "A65535,reserved",
    "B0,0,C:\\Games\\S\\s.exe,Close it,0", "B0,3,,Close,1", "B0,9,x", "B3001,0,\"a\",\"m\",4",
    "C0,C:\\l.dll,Fn,2,a", "C0,l.dll", "D0,l.dll,Fn,9", "D1000,l.dll,Fn,0",
    "E0,C:\\Games\\S\\undo.exe /q", "E0,", "E20000,x",
    "J0,2,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\S,",
    "J0,2,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\S,v",
    "J0,2,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\S",
    "J0,2,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall,", "J0,7,Software\\X,",
    "J0,1,,v", "J0,22,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\T,",
    "K0,C:\\Windows\\System\\s.dll", "K0,", "M0,C:\\p.ini,S,", "M0,C:\\p.ini,S", "M0,,,k",
    "P0,C:\\Games\\S\\*.dll,0", "P0,C:\\*.tmp,0", "P0,\"C:\\q.txt\",1", "P0,a.txt,3", "P0,",
    "P30001,C:\\Games\\S\\x,1", "P5,short", "P99999999999,C:\\a,0", "P65535,C:\\a,0",
    "P7x,C:\\a,0", "U0,C:\\,1", "U0,C:\\Games,1", "U0,C:\\Games\\*.*,0", "U0,C:\\Games\\S,2",
    "U14999,C:\\Games\\S\\T,1", "Q0,unknown", "Q2000,kept", "p2000,lower", "Z1",
    "[Section]", "10,digit first", "x", "", ",0,comma", "\xE9\x31,high byte",
};

std::string RandomBytes(std::mt19937& random, size_t count) {
  std::string bytes;
  for (size_t i = 0; i < count; ++i) bytes.push_back(static_cast<char>(random() & 0xFF));
  return bytes;
}

// One random log: lines from the pieces, random fields and endings, then a
// few byte mutations.
std::string RandomLog(std::mt19937& random) {
  auto pick = [&random](size_t n) { return static_cast<size_t>(random() % n); };
  const char* const endings[] = {"\r\n", "\n", "\r", "\r\n\r\n", "\n\r"};
  std::string log;
  size_t lines = pick(4) == 0 ? pick(400) : pick(30);
  for (size_t i = 0; i < lines; ++i) {
    std::string line = kLinePieces[pick(sizeof kLinePieces / sizeof kLinePieces[0])];
    switch (pick(8)) {
      case 0: line += "," + RandomBytes(random, pick(40)); break;     // binary field
      case 1: line += std::string(pick(700), 'w'); break;             // long field
      case 2: line += "\"\\\"\\"; break;                                // quotes, backslashes
      case 3: line += std::string(1, static_cast<char>(1 + pick(31))); break;  // control byte
      default: break;
    }
    log += line + endings[pick(sizeof endings / sizeof endings[0])];
  }
  int mutations = static_cast<int>(pick(5));
  for (int m = 0; m < mutations && !log.empty(); ++m) {
    size_t at = pick(log.size());
    switch (pick(5)) {
      case 0: log[at] = static_cast<char>(random() & 0xFF); break;
      case 1: log.insert(at, 1, '\0'); break;
      case 2: log.erase(at, 1 + pick(8)); break;
      case 3: log.insert(at, log.substr(pick(log.size()), pick(60))); break;  // repeats
      default: log.resize(at); break;  // a last line without its line end
    }
  }
  if (pick(20) == 0) log = RandomBytes(random, pick(3000));  // plain garbage
  return log;
}

class RobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = MakeScratchFolder("fuzz"); }
  void TearDown() override { RemoveTree(folder_); }
  std::string folder_;
};
// The seeded random runs (the fuzz tier).
class ToolFuzz : public RobustnessTest {};

// Counts in the summary line "check: E error(s), W warning(s), N note(s); ...".
bool ReadSummary(const std::string& out, int* errors, int* warnings) {
  size_t at = out.rfind("\ncheck: ");
  at = at == std::string::npos ? (out.compare(0, 7, "check: ") == 0 ? 0 : at) : at + 1;
  if (at == std::string::npos || out.find('\n', at) != out.size() - 1) return false;
  int notes = 0;
  return std::sscanf(out.c_str() + at, "check: %d error(s), %d warning(s), %d note(s);", errors,
                     warnings, &notes) == 3;
}

// The loader's records of a log, in run order.
std::vector<long long> LoaderOrders(const std::string& folder, const std::string& log) {
  LoadLogText(folder, log);
  std::vector<long long> orders;
  for (int i = 0; i < gActionCount; ++i) orders.push_back(gActions[i].orderNumber);
  return orders;
}

TEST_F(ToolFuzz, RandomLogsGetAnAnswerNeverACrash) {
  std::mt19937 random(FuzzSeed(20261207u));
  const std::string path = folder_ + "\\uninstal.ini";
  int codes[3] = {0, 0, 0};
  int withActions = 0;
  const int rounds = FuzzCount(100);
  for (int round = 0; round < rounds; ++round) {
    std::string log = RandomLog(random);
    // Now and then a log that needs no finding, with random clean lines.
    if (round % 25 == 0) {
      log = kAllMessages;
      for (int i = 0; i < round % 7 + 1; ++i)
        log += "B0,0,C:\\Games\\S\\s" + std::to_string(random() % 1000) + ".exe,Close S,0\r\n";
    }
    WriteTextFile(path, log);
    std::string out, err;
    int code = RunTool({"check", path}, &out, &err);
    ASSERT_TRUE(code >= 0 && code <= 2) << "round " << round;
    int errors = -1, warnings = -1;
    ASSERT_TRUE(ReadSummary(out, &errors, &warnings)) << "round " << round << "\n" << out;
    EXPECT_EQ(errors > 0 ? 2 : warnings > 0 ? 1 : 0, code) << "round " << round;
    ++codes[code];

    out.clear();
    EXPECT_EQ(0, RunTool({"plan", path}, &out, &err)) << "round " << round;
    EXPECT_NE(std::string::npos, out.find("\nstage two (")) << "round " << round;

    out.clear();
    ASSERT_EQ(0, RunTool({"plan", "--json", path}, &out, &err)) << "round " << round;
    JsonReader json(out);
    ASSERT_TRUE(json.Valid()) << "round " << round << " " << json.error() << "\n" << out;
    // The plan's actions, stage one then stage two, are the loaded records.
    EXPECT_EQ(LoaderOrders(folder_, log), json.orders) << "round " << round;
    if (!json.orders.empty()) ++withActions;

    // Every tenth log also through the preview: an answer, JSON, every
    // record in run order, and the gate back to the real calls.
    if (round % 10 != 0) continue;
    out.clear();
    code = RunTool({"preview", "--json", path}, &out, &err);
    ASSERT_TRUE(code >= 0 && code <= 2) << "round " << round << " " << err;
    ASSERT_FALSE(PreviewRunning()) << "round " << round;
    JsonReader preview(out);
    ASSERT_TRUE(preview.Valid()) << "round " << round << " " << preview.error() << "\n" << out;
    EXPECT_EQ(LoaderOrders(folder_, log), preview.orders) << "round " << round;
  }
  // The inputs reach every answer and plenty of actions (a long enough run).
  if (rounds < 100) return;
  EXPECT_GT(codes[0], 0);
  EXPECT_GT(codes[1], 0);
  EXPECT_GT(codes[2], 0);
  EXPECT_GT(withActions, rounds / 3);
}

// The built program, as a package maker runs it, over a few of the same
// kind of logs.
TEST_F(ToolFuzz, TheProgramAnswersOnRandomLogs) {
  std::mt19937 random(FuzzSeed(7u));
  const std::string path = folder_ + "\\random.ini";
  // One program round for every hundred in-process rounds, rounded up (two
  // by default, at least one): each starts four processes.
  const int rounds = (FuzzCount(200) + 99) / 100;
  for (int round = 0; round < rounds; ++round) {
    WriteTextFile(path, RandomLog(random));
    const char* const commands[] = {"check", "plan", "plan --json", "preview --json"};
    for (const char* command : commands) {
      std::string text, err;
      int code = RunUninstlog(folder_, std::string(command) + " \"" + path + "\"", &text, &err);
      ASSERT_TRUE(code >= 0 && code <= 2) << command << " round " << round << " code " << code;
      EXPECT_FALSE(text.empty()) << command << " round " << round;
      if (std::string(command) == "check") {
        int errors = -1, warnings = -1;
        std::string lf;
        for (char c : text)
          if (c != '\r') lf += c;
        EXPECT_TRUE(ReadSummary(lf, &errors, &warnings)) << round << "\n" << text;
      } else if (std::string(command) != "plan") {
        if (std::string(command) == "plan --json") EXPECT_EQ(0, code);
        JsonReader json(text);
        EXPECT_TRUE(json.Valid()) << round << " " << json.error();
      }
    }
  }
}

// Big logs: tens of thousands of lines that all redefine one message or all
// name one uninstall key get one finding each (the time they take is the
// benchmark's business).
TEST_F(RobustnessTest, BigLogsGetOneFindingPerLine) {
  const std::string key = "J0,2,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\S,\r\n";
  struct Case { std::string line; int count; const char* code; };
  const Case cases[] = {
      {"A5,the same message again\r\n", 100000, "message-replaced"},
      {key, 100000, "j-stage-one-not-action"},
  };
  const std::string path = folder_ + "\\big.ini";
  for (const Case& c : cases) {
    std::string log;
    for (int i = 0; i < c.count; ++i) log += c.line;
    WriteTextFile(path, log);
    LogScan scan;
    std::string error;
    ASSERT_TRUE(ScanLog(path.c_str(), &scan, &error)) << error;
    std::vector<Finding> findings = CheckScan(scan);
    int hits = 0;
    for (const Finding& f : findings)
      if (f.code == c.code) ++hits;
    EXPECT_EQ(c.count - 1, hits) << c.code;
  }
}

}  // namespace
