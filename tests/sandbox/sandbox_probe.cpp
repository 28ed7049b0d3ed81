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
  std::string run = MakeScratchFolder("sandbox");
  LoadLogText(run, log);
  gSilent = true;
  RunActions(kEarlyPhase);
  RunActions(kLatePhase);
  // Both lines name a narrow pattern (a literal stem), which works in every
  // folder, protected ones (Desktop, Documents, Downloads) included.
  for (const std::string& folder : folders) {
    EXPECT_FALSE(PathExists(folder + "\\" + canary)) << folder;
    EXPECT_FALSE(PathExists(folder + "\\" + canary + ".d")) << folder;
  }
  RemoveTree(run);
}

}  // namespace
