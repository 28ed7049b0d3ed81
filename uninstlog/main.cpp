// uninstlog: a console program for package makers.
#include <cstdio>
#include "uninstlog/uninstlog.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string out, err;
  int code = RunTool(args, &out, &err);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return code;
}
