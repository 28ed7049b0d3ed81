// Seeded random and mutated logs: loading never crashes and always leaves a
// consistent message table and sorted action records.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include "common/state.h"
#include "log/log.h"
#include "support/test_util.h"

namespace {

unsigned gSeed;
unsigned Next() {
  gSeed ^= gSeed << 13;
  gSeed ^= gSeed >> 17;
  gSeed ^= gSeed << 5;
  return gSeed;
}

const char* const kPieces[] = {
    "A10,Name", "A48,Uninstall", "P0,C:\\a.txt,0", "U0,C:\\Games\\Demo,1", "J0,2,Software\\X,",
    "K0,C:\\s.dll", "M0,C:\\p.ini,Sec,Key", "B0,0,\"a,b\",\"x|#y\",3", "C0,l.dll,f,2,\"a\",b",
    "E0,\"C:\\Program Files\\x.exe\" /s", "P65535,x", "q12,lower", "1,digit first", "[Section]",
    "A5", "P", "X9", ",", "\"", "P0,\"unclosed,0", "A1000,top", "A1001,action A", "Z70000,big",
    "P-5,neg", "P99999999999999999999999,wrap", "\t1,tab", "A10,%s%s%s%d%S",
};
const char* const kEnds[] = {"\r\n", "\n", "\r", "\r\r\n\n", "", "\n\n\n"};

std::string RandomLog() {
  std::string text;
  int kind = Next() % 10;
  if (kind == 0) {  // random bytes
    int length = Next() % 4000;
    for (int i = 0; i < length; ++i) text += static_cast<char>(Next() & 0xFF);
    return text;
  }
  int lines = (kind == 1) ? 20000 + Next() % 600 : Next() % 200;
  for (int i = 0; i < lines; ++i) {
    std::string line = kPieces[Next() % (sizeof kPieces / sizeof *kPieces)];
    if (Next() % 4 == 0) line += std::to_string(Next() % 50000);
    if (Next() % 7 == 0 && !line.empty()) line[Next() % line.size()] = static_cast<char>(Next());
    if (Next() % 500 == 0) line += std::string(5000 + Next() % 60000, 'x');
    text += line;
    text += kEnds[Next() % (sizeof kEnds / sizeof *kEnds)];
  }
  if (Next() % 3 == 0 && !text.empty()) text.resize(Next() % text.size());
  return text;
}

void CheckInvariants(const std::string& text) {
  ASSERT_LE(gActionCount, kMaxActions);
  ASSERT_LE(gMessageCount, kMaxMessages);
  const char* begin = gLogText;
  const char* end = gLogText + text.size();  // the file holds the text
  // Line starts, found independently of the loader: after every CR/LF run.
  std::set<size_t> lineStarts = {0};
  for (size_t i = 0; i < text.size(); ++i)
    if ((text[i] == '\r' || text[i] == '\n') && i + 1 < text.size() && text[i + 1] != '\r' &&
        text[i + 1] != '\n')
      lineStarts.insert(i + 1);
  for (int i = 0; i < gActionCount; ++i) {
    const char* action = gActions[i].text;
    ASSERT_TRUE(action >= begin && action < end) << "record " << i;
    if (i > 0) ASSERT_LE(gActions[i - 1].orderNumber, gActions[i].orderNumber);
    ASSERT_GE(gActions[i].orderNumber, kFirstActionNumber);
    ASSERT_NE(kReservedNumber, gActions[i].orderNumber);
    // The action text begins with the kind letter of its line.
    size_t lineStart = *--lineStarts.upper_bound(static_cast<size_t>(action - begin));
    ASSERT_EQ(text[lineStart], action[0]) << "record " << i;
  }
  std::set<int> ids;
  for (int i = 0; i < gMessageCount; ++i) {
    ASSERT_TRUE(ids.insert(gMessageIds[i]).second) << "id " << gMessageIds[i];
    ASSERT_TRUE(gMessageTexts[i] >= begin && gMessageTexts[i] <= end);
  }
  ASSERT_LE(lstrlenA(GetMessageText(10)), kMessageSize - 1);
}

TEST(LogFuzz, RandomLogsKeepTheInvariants) {
  std::string folder = MakeScratchFolder("fuzz");
  // A zero state would stay zero.
  gSeed = FuzzSeed(20261207u) | 1u;
  const int rounds = FuzzCount(50);
  for (int round = 0; round < rounds; ++round) {
    std::string text = RandomLog();
    LoadLogText(folder, text);
    CheckInvariants(text);
    if (HasFatalFailure()) {
      ADD_FAILURE() << "round " << round << " (seed state " << gSeed << ")";
      break;
    }
  }
  RemoveTree(folder);
}

}  // namespace
