// Inside the sealed prefix: the drives are C: and the build tree only, the
// profile folders are real folders, and a removal run with a wildcard on
// each of them removes what lies in the prefix (what the removal guard lets
// it) and nothing of the host.
// sandbox_test.sh puts the host's canaries (named by SANDBOX_CANARY) where
// Wine used to link these folders and checks them after this run.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>
#include "actions/actions.h"
#include "common/state.h"
#include "support/sandbox.h"
#include "support/test_util.h"

namespace {

// Matches the canaries here and on the host (dorvane-sandbox-canary-PID...).
const char kCanaryPattern[] = "dorvane-sandbox-canary*";

// Loads log as the uninstaller does and runs both phases silently.
void RunSilently(const std::string& log) {
  std::string run = MakeScratchFolder("sandbox");
  LoadLogText(run, log);
  gSilent = true;
  RunActions(kEarlyPhase);
  RunActions(kLatePhase);
  RemoveTree(run);
}

TEST(Sandbox, DrivesAreTheBuildTreeAndThePrefixOnly) {
  std::string why;
  EXPECT_TRUE(SandboxIsSealed(&why)) << why;
}

TEST(Sandbox, WildcardRemovalOnEachProfileFolderStaysInThePrefix) {
  char canary[MAX_PATH] = "";
  ASSERT_GT(GetEnvironmentVariableA("SANDBOX_CANARY", canary, sizeof canary), 0u)
      << "run through sandbox_test.sh, which places the host's canaries";
  ASSERT_EQ(std::string(canary).compare(0, sizeof kCanaryPattern - 2, kCanaryPattern, sizeof kCanaryPattern - 2), 0);
  std::vector<std::string> folders = ProfileFolders();
  ASSERT_GE(folders.size(), 7u);
  // The same name inside each folder of the prefix: the run must remove
  // these, so a line that matched nothing could not pass for a sealed one.
  std::string log;
  for (const std::string& folder : folders) {
    WriteTextFile(folder + "\\" + canary, "inside");
    std::string tree = folder + "\\" + canary + ".d";
    CreateDirectoryA(tree.c_str(), nullptr);
    WriteTextFile(tree + "\\inner.txt", "inside");
    log += "P0," + folder + "\\" + kCanaryPattern + ",0\r\n";
    log += "U0," + folder + "\\" + kCanaryPattern + ",1\r\n";
  }
  RunSilently(log);
  // Both lines name a narrow pattern (a literal stem), which works in every
  // folder, protected ones (Desktop, Documents, Downloads) included.
  for (const std::string& folder : folders) {
    EXPECT_FALSE(PathExists(folder + "\\" + canary)) << folder;
    EXPECT_FALSE(PathExists(folder + "\\" + canary + ".d")) << folder;
  }
}

// The host's canary folder (SANDBOX_HOST_CANARY, a Unix path outside the
// build tree, holding canary.txt) named as Wine reaches it: through the
// \\?\unix namespace, and through drive Z: as an unsealed prefix maps it to
// /. Through the first the file is there to read; neither a log's lines nor
// the platform's own calls may change it.
TEST(Sandbox, HostCanaryIsOutOfEveryLinesReach) {
  char host[MAX_PATH] = "";
  ASSERT_GT(GetEnvironmentVariableA("SANDBOX_HOST_CANARY", host, sizeof host), 0u)
      << "run through sandbox_test.sh, which places the host's canary";
  std::string tail = host;
  for (char& c : tail)
    if (c == '/') c = '\\';
  const std::string folders[] = {"\\\\?\\unix" + tail, "Z:" + tail};
  const std::string unixFile = folders[0] + "\\canary.txt";
  ASSERT_EQ(ReadTextFile(unixFile), "host canary\n") << unixFile;
  std::string log;
  for (const std::string& folder : folders) {
    log += "P0," + folder + "\\canary.txt,0\r\n";
    log += "P0," + folder + "\\*.*,0\r\n";
    log += "U0," + folder + ",1\r\n";
    // Wine answers a deletion its server could not do with success: the
    // file itself is the verdict.
    DeleteFileA((folder + "\\canary.txt").c_str());
    HANDLE file = CreateFileA((folder + "\\canary.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE) << folder;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  RunSilently(log);
  EXPECT_EQ(ReadTextFile(unixFile), "host canary\n") << unixFile;
}

}  // namespace
