// Sorted string set, handled-file pool and the record sort.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "common/state.h"
#include "log/log.h"
#include "log/string_set.h"
#include "support/test_util.h"

namespace {

std::vector<std::string> Entries(const StringSet& set) {
  std::vector<std::string> result;
  for (int i = 0; i < set.count; ++i) result.push_back(set.entries[i]);
  return result;
}

class StringSetTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  char k_[2] = "k", m_[2] = "m", l_[2] = "l", n_[2] = "n", j_[2] = "j";
};

TEST_F(StringSetTest, InsertKeepsOrderAndRefusesEqualTexts) {
  char first[] = "Alpha";
  char again[] = "ALPHA";
  EXPECT_EQ(1, StringSetInsert(&gSeenLines, first));
  EXPECT_EQ(0, gSeenLines.cursor);
  EXPECT_EQ(0, StringSetInsert(&gSeenLines, again));
  EXPECT_EQ(1, gSeenLines.count);
  EXPECT_EQ(first, gSeenLines.entries[0]);  // the set keeps references
}

TEST_F(StringSetTest, InsertPlacesEachKeyInOrder) {
  struct Case { char* key; std::vector<std::string> expected; };
  StringSetInsert(&gSeenLines, k_);
  StringSetInsert(&gSeenLines, m_);
  EXPECT_EQ(1, StringSetInsert(&gSeenLines, l_));
  EXPECT_EQ((std::vector<std::string>{"k", "l", "m"}), Entries(gSeenLines));
  EXPECT_EQ(1, gSeenLines.cursor);
  EXPECT_EQ(1, StringSetInsert(&gSeenLines, n_));
  EXPECT_EQ((std::vector<std::string>{"k", "l", "m", "n"}), Entries(gSeenLines));
  EXPECT_EQ(1, StringSetInsert(&gSeenLines, j_));
  EXPECT_EQ((std::vector<std::string>{"j", "k", "l", "m", "n"}), Entries(gSeenLines));
  EXPECT_EQ(0, gSeenLines.cursor);
}

TEST_F(StringSetTest, ProbeAnswersForEveryPosition) {
  StringSetInsert(&gSeenLines, k_);
  StringSetInsert(&gSeenLines, m_);
  EXPECT_EQ(0, StringSetProbe(&gSeenLines, "K"));
  EXPECT_EQ(1, StringSetProbe(&gSeenLines, "a"));  // belongs at cursor 0
  EXPECT_EQ(0, gSeenLines.cursor);
  int answer = StringSetProbe(&gSeenLines, "z");    // after the last entry
  EXPECT_EQ(2, gSeenLines.cursor + (answer == -1 ? 1 : 0));
}

TEST_F(StringSetTest, ManyRandomKeysStaySortedAndUnique) {
  static char texts[3000][12];
  unsigned seed = 12345;
  int entered = 0;
  for (int i = 0; i < 3000; ++i) {
    seed = seed * 1103515245u + 12345u;
    wsprintfA(texts[i], "K%u", (seed >> 16) % 2000);
    if (StringSetInsert(&gSeenLines, texts[i]) == 1) ++entered;
  }
  EXPECT_EQ(entered, gSeenLines.count);
  for (int i = 1; i < gSeenLines.count; ++i)
    EXPECT_EQ(CSTR_LESS_THAN, CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE,
                                             gSeenLines.entries[i - 1], -1,
                                             gSeenLines.entries[i], -1));
}

TEST_F(StringSetTest, FullSetRefusesWithoutWritingPastTheBlock) {
  static char texts[kSetCapacity + 1][8];
  for (int i = 0; i <= kSetCapacity; ++i) wsprintfA(texts[i], "%06d", i);
  for (int i = 0; i < kSetCapacity; ++i) ASSERT_EQ(1, StringSetInsert(&gSeenLines, texts[i]));
  EXPECT_EQ(-1, StringSetInsert(&gSeenLines, texts[kSetCapacity]));
  EXPECT_EQ(0, StringSetInsert(&gSeenLines, texts[5]));  // membership still answers
  EXPECT_EQ(kSetCapacity, gSeenLines.count);
}

TEST_F(StringSetTest, RememberHandledFileCopiesOncePerPath) {
  char path[kPathSize] = "C:\\Games\\Demo\\a.txt";
  EXPECT_EQ(1, RememberHandledFile(path));
  char* fillAfterFirst = gHandledPoolFill;
  lstrcpyA(path, "X");  // the set holds its own copy
  EXPECT_EQ(0, RememberHandledFile("c:\\games\\demo\\A.TXT"));
  EXPECT_EQ(fillAfterFirst, gHandledPoolFill);  // a refused path uses no pool space
  EXPECT_EQ(1, RememberHandledFile("C:\\b.txt"));
  EXPECT_EQ(fillAfterFirst + 9, gHandledPoolFill);
  EXPECT_EQ(2, gHandledFiles.count);
}

// Past the first limits (20000 references, a 200000-byte pool block) the
// table grows and every path stays known.
TEST_F(StringSetTest, HandledTableGrowsPastItsFirstLimits) {
  const int kPaths = kSetCapacity + 5000;
  std::string stem = "C:\\Games\\Demo\\" + std::string(20, 'p');
  for (int i = 0; i < kPaths; ++i)
    ASSERT_EQ(1, RememberHandledFile((stem + std::to_string(i)).c_str())) << i;
  EXPECT_EQ(kPaths, gHandledFiles.count);
  EXPECT_GT(gHandledFiles.capacity, kSetCapacity);
  EXPECT_GT(gHandledPoolBlocks, 1);
  for (int i = 0; i < kPaths; i += 997)
    EXPECT_EQ(0, RememberHandledFile((stem + std::to_string(i)).c_str())) << i;
  // The last block full and no further block allowed: not recorded.
  gHandledPoolBlocks = kHandledPoolBlocks;
  gHandledPoolFill = gHandledPool + kHandledPoolSize - 2;
  EXPECT_EQ(-1, RememberHandledFile("C:\\new.txt"));
  EXPECT_EQ(0, RememberHandledFile((stem + "7").c_str()));  // still known
}

struct Rec { int key; char name; };
static_assert(sizeof(Rec) == 8, "records of the sort tests are 8 bytes");

int CompareRecKeys(const void* a, const void* b) {
  int x = static_cast<const Rec*>(a)->key, y = static_cast<const Rec*>(b)->key;
  return x < y ? -1 : (x > y ? 1 : 0);
}

std::string SortNames(std::vector<Rec> records) {
  SortRecords(records.data(), static_cast<int>(records.size()), sizeof(Rec), CompareRecKeys);
  std::string names;
  for (const Rec& r : records) names += r.name;
  return names;
}

TEST(SortRecords, EqualKeysComeOutInTheSortsOwnOrder) {
  struct Case { std::vector<Rec> input; const char* expected; };
  const Case cases[] = {
      {{{1, 'p'}, {1, 'q'}}, "qp"},
      {{{1, 'p'}, {1, 'q'}, {1, 'r'}}, "rqp"},
      {{{1, 'p'}, {1, 'q'}, {1, 'r'}, {1, 's'}}, "srpq"},
      {{{30001, 'p'}, {30001, 'q'}, {30002, 'r'}, {30001, 's'}}, "pqsr"},
      {{{3, 'c'}, {1, 'a'}, {2, 'b'}}, "abc"},
      {{{5, 'e'}, {-3, 'a'}, {0, 'b'}, {-1, 'x'}}, "axbe"},
      {{{7, 'o'}}, "o"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, SortNames(c.input));
}

TEST(SortRecords, LargeInputsSortWithinTheStack) {
  const int kCount = 19999;
  std::vector<Rec> sorted(kCount), equal(kCount), reversed(kCount), mixed(kCount);
  unsigned seed = 7;
  for (int i = 0; i < kCount; ++i) {
    sorted[i] = {i, 'a'};
    equal[i] = {42, 'b'};
    reversed[i] = {kCount - i, 'c'};
    seed = seed * 1103515245u + 12345u;
    mixed[i] = {static_cast<int>(seed >> 8) - (1 << 22), 'd'};
  }
  for (std::vector<Rec>* records : {&sorted, &equal, &reversed, &mixed}) {
    SortRecords(records->data(), kCount, sizeof(Rec), CompareRecKeys);
    for (int i = 1; i < kCount; ++i) ASSERT_LE((*records)[i - 1].key, (*records)[i].key);
  }
}

TEST(SortRecords, NothingHappensBelowTwoRecordsOrSizeZero) {
  Rec records[2] = {{2, 'b'}, {1, 'a'}};
  SortRecords(records, 1, sizeof(Rec), CompareRecKeys);
  EXPECT_EQ(2, records[0].key);
  SortRecords(records, 2, 0, CompareRecKeys);
  EXPECT_EQ(2, records[0].key);
  SortRecords(records, 2, sizeof(Rec), CompareRecKeys);
  EXPECT_EQ(1, records[0].key);
}

TEST(SortRecords, CompareOrderNumbersIsSigned) {
  ActionRecord low = {-5, nullptr}, high = {30001, nullptr};
  EXPECT_EQ(-1, CompareOrderNumbers(&low, &high));
  EXPECT_EQ(1, CompareOrderNumbers(&high, &low));
  EXPECT_EQ(0, CompareOrderNumbers(&low, &low));
  char a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8};
  SwapBytes(a, b, 4);
  EXPECT_EQ(5, a[0]);
  EXPECT_EQ(4, b[3]);
  SwapBytes(a, a, 4);
  EXPECT_EQ(5, a[0]);
}

}  // namespace
