// uninstlog plan: run order of the loaded records, notes and phases.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "log/log.h"
#include "support/json_reader.h"
#include "support/test_util.h"
#include "uninstlog/uninstlog.h"

namespace {

class PlanTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = MakeScratchFolder("plan"); }
  void TearDown() override { RemoveTree(folder_); }
  void Scan(const std::string& text) {
    std::string path = folder_ + "\\uninstal.ini";
    WriteTextFile(path, text);
    std::string error;
    ASSERT_TRUE(ScanLog(path.c_str(), &scan_, &error)) << error;
  }
  std::string folder_;
  LogScan scan_;
};

// Order number and source line of each record, in run order.
struct Row { int order; int line; };

TEST_F(PlanTest, RunOrderOfTheLogFormatExamples) {
  struct Case { const char* log; std::vector<Row> rows; };
  const Case cases[] = {
      // Automatic numbers: counters move for lines with their own number.
      {"P0,x,0\nP30500,y,0\nP0,z,0\n", {{30001, 1}, {30003, 3}, {30500, 2}}},
      // B lines count down: they run in the reverse of their file order.
      {"B0,0,a,m,0\nB0,0,b,m,0\nB0,0,c,m,0\n", {{3997, 3}, {3998, 2}, {3999, 1}}},
      // A repeat with number 0 is no record; its letter's counter stays.
      {"P0,C:\\a.txt,0\nP0,C:\\A.TXT,0\nP0,C:\\b.txt,0\n", {{30001, 1}, {30002, 3}}},
      // One record per letter at its first automatic number.
      {"U0,C:\\d,1\nJ0,2,K,\nE0,x\nK0,C:\\s.dll\nC0,l,f\nM0,C:\\p.ini,S,\nD0,l,f\n",
       {{4001, 5}, {5001, 7}, {7001, 3}, {19999, 2}, {20001, 4}, {21001, 6}, {64999, 1}}},
      // Message lines, ignored lines and the reserved number make no record.
      // (each still moves the P counter: the last line gets 30003).
      {"A10,x\nP65535,C:\\a,0\n[Files]\nP5,Hello\nP0,C:\\b,0\n", {{30003, 5}}},
  };
  for (const Case& c : cases) {
    Scan(c.log);
    ASSERT_EQ(c.rows.size(), scan_.records.size()) << c.log;
    for (size_t i = 0; i < c.rows.size(); ++i) {
      EXPECT_EQ(c.rows[i].order, scan_.records[i].order) << c.log << " #" << i;
      EXPECT_EQ(c.rows[i].line, scan_.records[i].line) << c.log << " #" << i;
    }
  }
}

// Equal order numbers run in the order the uninstaller's sort leaves them;
// the plan follows the loaded records and names each one's own line.
TEST_F(PlanTest, EqualNumbersFollowTheLoadedOrder) {
  Scan("P30500,C:\\a.txt,0\nU30500,C:\\b\\c,1\nP30500,C:\\a.txt,0\nA10,x\n");
  ASSERT_EQ(3u, scan_.records.size());
  ASSERT_EQ(3, gActionCount);
  const char* const byLine[] = {"", "PC:\\a.txt,0", "UC:\\b\\c,1", "PC:\\a.txt,0"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(30500, scan_.records[i].order);
    int line = scan_.records[i].line;
    ASSERT_TRUE(line >= 1 && line <= 3) << line;
    // The line number is found apart from the record's text: both must name
    // the line the loader put at this place.
    EXPECT_EQ(byLine[line], std::string(gActions[i].text)) << i;
    EXPECT_EQ(byLine[line], scan_.records[i].action) << i;
  }
  EXPECT_NE(scan_.records[0].line, scan_.records[1].line);
  EXPECT_NE(scan_.records[1].line, scan_.records[2].line);
  EXPECT_NE(scan_.records[0].line, scan_.records[2].line);
}

TEST_F(PlanTest, StagesNotesAndKeysInTheirPlaces) {
  Scan("A10,Sample\r\nA48,Uninstall\r\nA43,Remove %s now?\r\nA81,Checking\r\n"
       "A54,Registry\r\nA42,Files\r\nA58,Wait\r\nA50,Done\r\nA47,Restart removes %s\r\n"
       "U0,C:\\Games\\Sample,1\r\n"
       "P0,C:\\Games\\Sample\\*.dll,0\r\n"
       "J0,2,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample,DisplayName\r\n"
       "B3001,0,C:\\Games\\Sample\\s.exe,Close Sample,0\r\n"
       "E0,C:\\Games\\Sample\\undo.exe\r\n");
  std::string plan = FormatPlan(scan_);
  size_t one = plan.find("\nstage one (");
  size_t two = plan.find("\nstage two (");
  ASSERT_NE(std::string::npos, one) << plan;
  ASSERT_NE(std::string::npos, two) << plan;
  EXPECT_NE(std::string::npos, plan.find("caption: \"Uninstall Sample\"")) << plan;
  EXPECT_NE(std::string::npos, plan.find("\"Remove Sample now?\"")) << plan;
  // Stage one: the note of 3001 goes nowhere, then B 3001, E 7001, the keys.
  size_t note81 = plan.find("note 81: \"Checking\" (no dialog yet: not shown)");
  size_t b = plan.find("  3001     13  B    CheckRunningProgram ");
  size_t e = plan.find("  7001     14  E    RunProgram");
  size_t key = plan.find("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample\n");
  EXPECT_TRUE(one < note81 && note81 < b && b < e && e < key && key < two) << plan;
  // Stage two: note 54 before J 19999, notes 42 and 58 before P 30001, the
  // pause before U 64999, then the finishing notes.
  size_t note54 = plan.find("note 54: \"Registry\"", two);
  size_t j = plan.find(" 19999     12  J    RemoveRegistryEntry", two);
  size_t note42 = plan.find("note 42: \"Files\"", two);
  size_t note58 = plan.find("note 58: \"Wait\"", two);
  size_t p = plan.find(" 30001     11  P    RemoveFiles", two);
  size_t pause = plan.find("pause of 100 ms", two);
  size_t u = plan.find(" 64999     10  U    RemoveFolders", two);
  size_t note50 = plan.find("note 50: \"Done\"", two);
  size_t note47 = plan.find("note 47: \"Restart removes <program copy>\"", two);
  EXPECT_TRUE(note54 < j && j < note42 && note42 < note58 && note58 < p && p < pause &&
              pause < u && u < note50 && note50 < note47 && note47 != std::string::npos)
      << plan;
  EXPECT_NE(std::string::npos, plan.find("path = C:\\Games\\Sample\\*.dll; mode = 0 (delete)"));
}

TEST_F(PlanTest, DecodedFields) {
  struct Case { const char* action; const char* text; };
  const Case cases[] = {
      {"B3,Sample,Close it,4", "check = 3 (window title containing); name = Sample; message = Close it; "
                               "answers = 4 (Yes (again)/No (go on))"},
      {"CC:\\l.dll,Fn,2,a", "library = C:\\l.dll; function = Fn; arguments = 2; argument 1 = a; "
                            "argument 2 = C:\\l.dll,Fn,2,a (no such field: the whole field list)"},
      {"Dl.dll,Fn,9", "library = l.dll; function = Fn; arguments = 9 (no call)"},
      {"J1,Software\\V,default", "root = 1 (HKEY_CURRENT_USER); key = Software\\V; value = (the key's unnamed value)"},
      {"J258,Software\\V,", "root = 2 (HKEY_LOCAL_MACHINE); key = Software\\V; value = (whole key with its subkeys)"},
      {"J7,Software\\V", "root = 7 (no root key); key = Software\\V; value = 7,Software\\V (no value field: the whole field list)"},
      {"MC:\\p.ini,S,", "profile = C:\\p.ini; section = S; key = (whole section)"},
      {"PC:\\*.tmp,256", "path = C:\\*.tmp; mode = 0 (delete); refused = the pattern is refused: nothing is removed"},
      {"UC:\\Games\\Demo,5", "path = C:\\Games\\Demo; mode = 5 (remove emptied folders, touch no file)"},
      {"Qanything,at all", "text = anything,at all"},
  };
  for (const Case& c : cases) {
    std::string text;
    for (const auto& f : DecodeAction(c.action)) text += (text.empty() ? "" : "; ") + f.first + " = " + f.second;
    EXPECT_EQ(c.text, text) << c.action;
  }
}

TEST_F(PlanTest, JsonCarriesTheSameRun) {
  Scan("A10,S\xE9rie\r\nA43,Remove %s?\r\nA42,Files \"now\"\r\nB0,0,a,m,0\r\nP0,C:\\x\\a.txt,0\r\n"
       "J0,2,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\S,v\r\n");
  std::string json = FormatPlanJson(scan_);
  size_t one = json.find("\"stage_one\"");
  size_t two = json.find("\"stage_two\"");
  ASSERT_TRUE(one != std::string::npos && two != std::string::npos && one < two) << json;
  EXPECT_NE(std::string::npos, json.find("\"text\": \"Remove S\\u00e9rie?\""));
  EXPECT_LT(json.find("\"order\": 3999"), two);
  EXPECT_NE(std::string::npos, json.find("\"order\": 30001", two)) << json;
  EXPECT_NE(std::string::npos,
            json.find("{\"id\": 42, \"text\": \"Files \\\"now\\\"\", \"shown\": true}")) << json;
  EXPECT_NE(std::string::npos,
            json.find("\"key\": \"Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\S\"")) << json;
  JsonReader reader(json);
  EXPECT_TRUE(reader.Valid()) << reader.error() << "\n" << json;
}

}  // namespace
