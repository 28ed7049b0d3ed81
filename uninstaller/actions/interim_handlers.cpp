// interim: replaced when the removal handlers land.
// Empty removal handlers so that the action run links on this branch.
#include "actions/actions.h"

void RemoveFiles(const char*) {}
void RemoveFolders(const char*) {}
void RemoveRegistryEntry(const char*) {}
void ReleaseSharedLibrary(const char*) {}
void RemoveProfileEntry(const char*) {}
