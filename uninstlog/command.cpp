// The command line of uninstlog.
#include "uninstlog/uninstlog.h"
#include "version.h"

namespace {

const char kUsage[] =
    "usage: uninstlog check LOG         report what the uninstaller will silently do wrong\n"
    "       uninstlog plan [--json] LOG the dry run: both stages in run order\n"
    "       uninstlog preview [--json] [--no] LOG\n"
    "                                   what both stages would change on this machine, run\n"
    "                                   through the uninstaller's own code; nothing changes\n"
    "                                   (--no: answer No to the delete question, message 51)\n"
    "       uninstlog stamp EXE NAME    append the log name to an uninstaller executable\n"
    "       uninstlog tail EXE          print the log name the uninstaller will use\n"
    "       uninstlog --version         print the version of these files\n"
    "exit codes: 0 clean, 1 warnings (check, preview), 2 errors or bad input\n";

int Usage(std::string* err, const std::string& problem) {
  *err += "uninstlog: " + problem + "\n" + kUsage;
  return kExitErrors;
}

}  // namespace

int RunTool(const std::vector<std::string>& args, std::string* out, std::string* err) {
  if (args.empty()) return Usage(err, "no command given");
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    *out += kUsage;
    return kExitClean;
  }
  if (command == "--version") {
    if (args.size() != 1) return Usage(err, "--version takes no arguments");
    *out += "uninstlog " PRODUCT_VERSION "\n";
    return kExitClean;
  }
  if (command == "check" || command == "plan" || command == "preview") {
    bool json = false;
    PreviewOptions options;
    std::vector<std::string> rest;
    for (size_t i = 1; i < args.size(); ++i) {
      if (command != "check" && args[i] == "--json") json = true;
      else if (command == "preview" && args[i] == "--no") options.answerNo = true;
      else rest.push_back(args[i]);
    }
    if (rest.size() != 1) return Usage(err, command + " takes one log file");
    LogScan scan;
    std::string error;
    if (!ScanLog(rest[0].c_str(), &scan, &error)) {
      *err += "uninstlog: " + error + "\n";
      return kExitErrors;
    }
    TakeInstallFolders(rest[0]);
    if (command == "preview") {
      PreviewRun run;
      if (!RunPreview(scan, options, &run, &error)) {
        *err += "uninstlog: " + error + "\n";
        return kExitErrors;
      }
      *out += json ? FormatPreviewJson(scan, run) : FormatPreview(scan, run);
      return PreviewExitCode(scan, run);
    }
    if (command == "plan") {
      *out += json ? FormatPlanJson(scan) : FormatPlan(scan);
      return kExitClean;
    }
    std::vector<Finding> findings = CheckScan(scan);
    *out += FormatFindings(scan, findings);
    return ExitCodeOf(findings);
  }
  if (command == "stamp") {
    if (args.size() != 3) return Usage(err, "stamp takes an executable and a log name");
    std::string error;
    if (!StampTailName(args[1].c_str(), args[2], &error)) {
      *err += "uninstlog: " + error + "\n";
      return kExitErrors;
    }
    *err += "uninstlog: " + args[1] + " now reads its log from \"" + args[2] + "\"\n";
    return kExitClean;
  }
  if (command == "tail") {
    if (args.size() != 2) return Usage(err, "tail takes one executable");
    std::string name, error;
    if (!ReadTailName(args[1].c_str(), &name, &error)) {
      *err += "uninstlog: " + error + "\n";
      return kExitErrors;
    }
    *out += name + "\n";
    return kExitClean;
  }
  return Usage(err, "unknown command \"" + command + "\"");
}
