// Registry (J), shared-library counts (K), profile entries (M) and the
// stage-one removal of the uninstall registration, against the registry and
// files of the private Wine prefix.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "actions/actions.h"
#include "common/state.h"
#include "log/string_set.h"
#include "removal_fixture.h"
#include "support/test_util.h"

using namespace removal_test;

namespace {

const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string Unique(const char* stem) {
  static int serial = 0;
  char text[128];
  wsprintfA(text, "%s%lu_%d", stem, GetCurrentProcessId(), ++serial);
  return text;
}

DWORD SubkeyCount(HKEY root, const char* path) {
  HKEY key;
  DWORD count = 0;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return count;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    key = "Software\\" + Unique("RemovalTest");
    ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, key));
    host = CreateHost();
    gDialog = host;
  }
  void TearDown() override {
    gDialog = nullptr;
    DestroyWindow(host);
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
  }
  void J(const std::string& fields) { RemoveRegistryEntry(("J" + fields).c_str()); }
  std::string key;
  HWND host = nullptr;
};

TEST_F(RegistryTest, DefaultMeansTheUnnamedValue) {
  SetText(HKEY_CURRENT_USER, key, "", "unnamed");
  SetText(HKEY_CURRENT_USER, key, "default", "named default");
  SetText(HKEY_CURRENT_USER, key, "Other", "x");
  J("1," + key + ",DeFaulT");
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, key, ""));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, key, "default"));
  J("1," + key + ",Other");
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, key, "Other"));
  // A value really named default is out of a line's reach.
  J("1," + key + ",default");
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, key, "default"));
  // The line that deletes the key's last value leaves the empty key.
  RegDeleteKeyValueA(HKEY_CURRENT_USER, key.c_str(), "default");
  SetText(HKEY_CURRENT_USER, key, "Last", "x");
  J("1," + key + ",Last");
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, key, "Last"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key));
}

TEST_F(RegistryTest, EmptyValueNameDeletesTheWholeTree) {
  SetText(HKEY_CURRENT_USER, key + "\\a\\b\\c", "v", "x");
  SetText(HKEY_CURRENT_USER, key + "\\d", "v", "x");
  SetText(HKEY_CURRENT_USER, key, "v", "x");
  J("257," + key + "\\,");  // 257 is 1 in its low 8 bits; a trailing backslash is fine
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
}

TEST_F(RegistryTest, SubkeyThatStaysKeepsItsParentsButNotItsSiblings) {
  // A name longer than 127 characters is not ours to delete.
  std::string stays = key + "\\a\\" + std::string(200, 'a');
  ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, stays));
  ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, key + "\\a\\sibling\\below"));
  ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, key + "\\b"));
  J("1," + key + ",");
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, stays));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key + "\\a\\sibling"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key + "\\b"));
  EXPECT_EQ(SubkeyCount(HKEY_CURRENT_USER, key.c_str()), 1u);
}

TEST_F(RegistryTest, SubkeyWhosePathOutgrowsTheBufferStays) {
  // Built one level at a time: the platform refuses such long paths at once.
  HKEY level;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &level),
            ERROR_SUCCESS);
  for (int i = 0; i < 5; ++i) {
    HKEY next;
    ASSERT_EQ(RegCreateKeyExA(level, std::string(120, 'd').c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &next, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(level);
    level = next;
  }
  RegSetValueExA(level, "deepest", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
  RegCloseKey(level);
  ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, key + "\\shallow"));
  EXPECT_NE(DeleteKeyTree(HKEY_CURRENT_USER, key.c_str()), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key + "\\" + std::string(120, 'd')));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key + "\\shallow"));
}

TEST_F(RegistryTest, LinesThatNameNothingOfOursTouchNothing) {
  SetText(HKEY_CURRENT_USER, key + "\\sub", "v", "x");
  SetText(HKEY_CURRENT_USER, key, "v", "x");
  const std::string lines[] = {
      "1," + key,                                 // no value field: a value "1,<key>"
      "1," + key + "," + std::string(128, 'v'),   // value name too long: not "whole key"
      "4," + key + ",",                           // roots outside 0 to 3
      "255," + key + ",",
      "260," + key + ",",
      "1," + key + "\\missing,v",
      "1," + key + "\\" + std::string(600, 'k') + ",",
  };
  for (const std::string& line : lines) {
    J(line);
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, key + "\\sub", "v")) << line;
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, key, "v")) << line;
  }
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key + "\\missing"));
}

// An empty key path would open the root itself: first proven on a test key
// standing in for a root, then with the real roots.
TEST_F(RegistryTest, EmptyKeyPathNeverEmptiesTheRoot) {
  HKEY standIn;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &standIn),
            ERROR_SUCCESS);
  ASSERT_TRUE(CreateKey(standIn, "child"));
  EXPECT_NE(DeleteKeyTree(standIn, ""), ERROR_SUCCESS);
  EXPECT_NE(DeleteKeyTree(standIn, "\\\\"), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists(standIn, "child"));
  RegCloseKey(standIn);
  DWORD before = SubkeyCount(HKEY_CURRENT_USER, "");
  for (const char* line : {"1,,", "1,\\,", "1,\\\\\\,", "1,,v", "2,,"}) {
    J(line);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key + "\\child")) << line;
  }
  EXPECT_EQ(SubkeyCount(HKEY_CURRENT_USER, ""), before);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft"));
}

// A link met inside a J tree is never followed: its target keeps its values
// and subkeys, the link itself goes with the tree, and a tree line naming the
// link deletes the link only. A path the line names leads where the
// platform takes it, through the link.
TEST_F(RegistryTest, LinksAreDeletedNeverTheirTargets) {
  // Under System, not Software: a 32-bit program's HKLM\Software is the
  // WOW6432Node view, which the link's NT name would not reach.
  const std::string canary = "System\\" + Unique("RemovalCanary");
  std::wstring target = L"\\Registry\\Machine\\" + std::wstring(canary.begin(), canary.end());
  struct Case { std::string fields; bool linkGoes, treeGoes, vGoes, wGoes; };
  const Case cases[] = {
      {"1," + key + "\\Tree,", true, true, false, false},
      {"1," + key + "\\Tree\\Link,", true, false, false, false},
      {"1," + key + "\\Tree\\Link,v", false, false, true, false},
      {"1," + key + "\\Tree\\Link\\Sub,w", false, false, false, true},
      {"1," + key + "\\Tree\\Link\\Sub,", false, false, false, true},
  };
  for (const Case& c : cases) {
    SetText(HKEY_LOCAL_MACHINE, canary, "v", "x");
    SetText(HKEY_LOCAL_MACHINE, canary + "\\Sub", "w", "y");
    SetText(HKEY_CURRENT_USER, key + "\\Tree\\Own", "v", "x");
    if (!KeyExists(HKEY_CURRENT_USER, key + "\\Tree\\Link"))
      ASSERT_TRUE(CreateRegistryLink(HKEY_CURRENT_USER, key + "\\Tree\\Link", target.c_str()));
    ASSERT_TRUE(ValueExists(HKEY_CURRENT_USER, key + "\\Tree\\Link\\Sub", "w"));  // it works
    ASSERT_TRUE(IsRegistryLink(HKEY_CURRENT_USER, (key + "\\Tree\\Link").c_str()));
    EXPECT_FALSE(IsRegistryLink(HKEY_CURRENT_USER, (key + "\\Tree").c_str()));
    J(c.fields);
    EXPECT_EQ(ValueExists(HKEY_LOCAL_MACHINE, canary, "v"), !c.vGoes) << c.fields;
    EXPECT_EQ(ValueExists(HKEY_LOCAL_MACHINE, canary + "\\Sub", "w"), !c.wGoes) << c.fields;
    EXPECT_EQ(IsRegistryLink(HKEY_CURRENT_USER, (key + "\\Tree\\Link").c_str()), !c.linkGoes)
        << c.fields;
    EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, key + "\\Tree"), !c.treeGoes) << c.fields;
  }
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, canary.c_str());
}

// The system's own links on ordinary paths: a 64-bit prefix links
// Software\Wow6432Node\Classes to Software\Classes, and a 32-bit program
// there opens Software\Classes through that link. A file type's key and a
// value in it go as named; the link and the rest of its target stay.
TEST_F(RegistryTest, LinesThroughTheSystemsLinksWork) {
  const char* link = nullptr;
  for (const char* candidate :
       {"Software\\Wow6432Node\\Classes", "Software\\Classes", "System\\CurrentControlSet"})
    if (!link && IsRegistryLink(HKEY_LOCAL_MACHINE, candidate)) link = candidate;
  if (!link) GTEST_SKIP() << "no registry link on the usual paths of this prefix";
  const std::string type = std::string(link) + "\\" + Unique(".dorv");
  SetText(HKEY_LOCAL_MACHINE, type, "v", "x");
  SetText(HKEY_LOCAL_MACHINE, type, "keep", "x");
  DWORD siblings = SubkeyCount(HKEY_LOCAL_MACHINE, link);
  J("2," + type + ",v");
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, type, "v"));
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, type, "keep"));
  ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, type + "\\shell"));
  J("2," + type + ",");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, type));
  EXPECT_TRUE(IsRegistryLink(HKEY_LOCAL_MACHINE, link));
  EXPECT_EQ(SubkeyCount(HKEY_LOCAL_MACHINE, link), siblings - 1);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, type.c_str());
}

// Shared-library counts under the prefix's real SharedDLLs key.
struct CountCase {
  const char* name;
  DWORD type;
  DWORD size;
  DWORD count;
  bool goes;         // value deleted, path listed and recorded
  DWORD typeAfter;   // when it stays
  DWORD countAfter;
};

const CountCase kCountCases[] = {
    {"three", REG_DWORD, 4, 3, false, REG_DWORD, 2},
    {"binary", REG_BINARY, 4, 2, false, REG_BINARY, 1},
    {"one", REG_DWORD, 4, 1, true, 0, 0},
    {"zero", REG_DWORD, 4, 0, true, 0, 0},
    {"short", REG_BINARY, 2, 5, false, REG_BINARY, 5},
    {"wide", REG_QWORD, 8, 5, false, REG_QWORD, 5},
    {"text", REG_SZ, 4, 0x00003131, false, REG_SZ, 0x00003131},  // "11"
};

TEST_F(RegistryTest, SharedLibraryCounts) {
  std::string folder = "C:\\" + Unique("RemovalShared") + "\\";
  for (const CountCase& c : kCountCases) {
    std::string file = folder + c.name + ".dll";
    unsigned char data[8] = {};
    MoveBytes(data, &c.count, 4);
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, file.c_str(), c.type, data, c.size));
    ReleaseSharedLibrary(("K" + file).c_str());
    DWORD type = 0;
    std::string after;
    bool stays = ReadValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, file.c_str(), &type, &after);
    std::vector<std::string> listed = ListLines(host, IDC_LEFTOVERS);
    bool isListed = std::find(listed.begin(), listed.end(), file) != listed.end();
    EXPECT_EQ(isListed, c.goes) << c.name;
    EXPECT_EQ(RememberHandledFile(file.c_str()) == 0, c.goes) << c.name;
    if (c.goes) {
      EXPECT_FALSE(stays) << c.name;
      continue;
    }
    ASSERT_TRUE(stays) << c.name;
    EXPECT_EQ(type, c.typeAfter) << c.name;
    EXPECT_EQ(after.size(), c.size) << c.name;
    after.resize(8);
    DWORD countAfter = 0;
    MoveBytes(&countAfter, after.data(), 4);
    EXPECT_EQ(countAfter, c.countAfter) << c.name;
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedDllsKey, file.c_str());
  }
  // A missing value lists nothing.
  SendDlgItemMessageA(host, IDC_LEFTOVERS, LB_RESETCONTENT, 0, 0);
  ReleaseSharedLibrary(("K" + folder + "missing.dll").c_str());
  EXPECT_TRUE(ListLines(host, IDC_LEFTOVERS).empty());
}

TEST_F(RegistryTest, ReleasedLibraryIsLeftToTheUserNotToALaterFileLine) {
  std::string scratch = MakeScratchFolder("shared");
  std::string file = scratch + "\\lib.dll";
  WriteTextFile(file, "x");
  DWORD one = 1;
  ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, file.c_str(), REG_DWORD, &one, sizeof one));
  ReleaseSharedLibrary(("K" + file).c_str());
  RemoveFiles(("P" + file + ",0").c_str());
  EXPECT_TRUE(PathExists(file));
  EXPECT_EQ(ListLines(host, IDC_LEFTOVERS), std::vector<std::string>{file});
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedDllsKey, file.c_str());
  RemoveTree(scratch);
}

// Profile files.
class ProfileTest : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    scratch = MakeScratchFolder("ini");
    ini = scratch + "\\demo.ini";
    WriteTextFile(ini, "[A]\r\nk1=1\r\nk2=2\r\n[B]\r\nonly=1\r\n[C]\r\nx=1\r\ny=2\r\n");
  }
  void TearDown() override {
    RemoveTree(scratch);
    RegistryTest::TearDown();
  }
  std::string Sections() {
    char names[512] = "";
    DWORD length = GetPrivateProfileSectionNamesA(names, sizeof names, ini.c_str());
    std::string joined;
    for (DWORD i = 0; i < length; i += lstrlenA(names + i) + 1)
      joined += std::string(names + i) + ";";
    return joined;
  }
  std::string Read(const char* section, const char* name) {
    char value[64] = "";
    GetPrivateProfileStringA(section, name, "-", value, sizeof value, ini.c_str());
    return value;
  }
  std::string scratch, ini;
};

TEST_F(ProfileTest, EntriesAndEmptiedSectionsGo) {
  RemoveProfileEntry(("M" + ini + ",A,k1").c_str());
  EXPECT_EQ(Read("A", "k1"), "-");
  EXPECT_EQ(Read("A", "k2"), "2");
  RemoveProfileEntry(("M" + ini + ",B,only").c_str());
  RemoveProfileEntry(("M" + ini + ",C,").c_str());
  EXPECT_EQ(Sections(), "A;");
  // A key name that does not fit removes nothing, not the whole section.
  RemoveProfileEntry(("M" + ini + ",A," + std::string(300, 'k')).c_str());
  EXPECT_EQ(Read("A", "k2"), "2");
}

TEST_F(ProfileTest, MissingProfileFileIsNeverCreated) {
  std::string missing = scratch + "\\missing.ini";
  RemoveProfileEntry(("M" + missing + ",A,k1").c_str());
  RemoveProfileEntry(("M" + missing + ",A,").c_str());
  EXPECT_FALSE(PathExists(missing));
}

// The stage-one pass over the uninstall registration.
struct KeyCase {
  std::string text;
  std::string key;  // empty: the line deletes nothing
};

TEST(UninstallKeyOfLine, OnlyKeysStrictlyBelowThePrefix) {
  const std::string prefix = kUninstall;
  const KeyCase cases[] = {
      {"J1," + prefix + "\\Demo,DisplayName", prefix + "\\Demo"},
      {"J2," + prefix + "\\Demo,", prefix + "\\Demo"},
      {"J0," + prefix + "\\Demo\\Sub,v", prefix + "\\Demo\\Sub"},
      {"J2,software\\microsoft\\windows\\currentversion\\uninstall\\Demo,v",
       "software\\microsoft\\windows\\currentversion\\uninstall\\Demo"},
      {"J2," + prefix + ",v", ""},
      {"J2," + prefix + "\\,v", ""},
      {"J2," + prefix + "\\\\,v", ""},
      {"J2," + prefix + "\\\\Demo,v", ""},
      {"J2," + prefix + "\\Demo\\,v", ""},
      {"J2," + prefix + "X\\Demo,v", ""},
      {"J2," + prefix + "\\Demo", ""},                         // no value field
      // A product key of a GUID and a value name: longer than 99 characters.
      {"J2," + prefix + "\\{8F2C6A51-3D1B-4E7A-9C2F-6B0D4A1E7C33},DisplayName",
       prefix + "\\{8F2C6A51-3D1B-4E7A-9C2F-6B0D4A1E7C33}"},
      {"J2," + prefix + "\\" + std::string(460, 'x') + ",v", prefix + "\\" + std::string(460, 'x')},
      {"J12," + prefix + "\\Demo,v", ""},
      {"J," + prefix + "\\Demo,v", ""},
      {"P2," + prefix + "\\Demo,v", ""},
      {"J", ""},
      {"J2", ""},
  };
  for (const KeyCase& c : cases) {
    char key[kUninstallLineSize] = "unchanged";
    EXPECT_EQ(UninstallKeyOfLine(c.text.c_str(), key, sizeof key), !c.key.empty()) << c.text;
    EXPECT_EQ(std::string(key), c.key) << c.text;
  }
}

TEST(RemoveUninstallKeys, DeletesOnlyTheProductKeysUnderTheMachineRoot) {
  const std::string prefix = kUninstall;
  std::string product = prefix + "\\" + Unique("RemovalProduct");
  std::string other = prefix + "\\" + Unique("RemovalOther");
  SetText(HKEY_LOCAL_MACHINE, product, "DisplayName", "Demo");
  ASSERT_TRUE(CreateKey(HKEY_LOCAL_MACHINE, product + "\\Sub"));
  SetText(HKEY_LOCAL_MACHINE, other, "DisplayName", "Other");
  DWORD siblings = SubkeyCount(HKEY_LOCAL_MACHINE, kUninstall);
  std::string scratch = MakeScratchFolder("pass");
  std::string log =
      "A10,Demo\r\n"
      "J0,1," + product + ",DisplayName\r\n"    // root 1 is not looked at
      "J0,2," + prefix + ",x\r\n"
      "J0,2," + prefix + "\\,x\r\n"
      "J0,2," + prefix + "\\\\\\,x\r\n"
      "J0,2," + other + "\r\n"
      "J0,12," + other + ",x\r\n"
      "J0,2," + other + "\\" + std::string(40, 'y') + ",x\r\n"
      "P0,C:\\nothing.txt,0\r\n"
      "J0,2," + other + ",x";                    // no line end: not read
  LoadLogText(scratch, log);
  RemoveUninstallKeys();
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, product));
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, other, "DisplayName"));
  EXPECT_EQ(SubkeyCount(HKEY_LOCAL_MACHINE, kUninstall), siblings - 1);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, product.c_str());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, other.c_str());
  RemoveTree(scratch);
}

}  // namespace
