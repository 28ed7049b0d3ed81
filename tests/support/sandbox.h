// Checks, from inside Wine, that the prefix is sealed (tools/seal-prefix.sh):
// the tests that remove on purpose what a hostile log names run only then.
#pragma once
#include <string>
#include <vector>

// The folders Wine links to the host's home in an unsealed prefix: Desktop,
// Documents, Downloads, Music, Pictures, Videos, Templates.
std::vector<std::string> ProfileFolders();
// True when the only drives are C: and Z:, Z: is not the host's root or an
// ancestor of its home, and no profile folder (nor the folders above it) is a
// link. Otherwise false, with the reason in *why.
bool SandboxIsSealed(std::string* why);
