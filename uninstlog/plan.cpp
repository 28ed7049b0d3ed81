// The dry run: what each stage of the uninstaller does with a loaded log, in
// the order it does it.
#include <cstdio>
#include "uninstlog/uninstlog.h"
#include "actions/actions.h"
#include "common/helpers.h"
#include "log/format.h"
#include "log/log.h"

namespace {

const char kCopyPath[] = "<program copy>";

// Progress notes that the run adds before the action of an order number.
std::vector<int> NotesBefore(int order) {
  std::vector<int> ids;
  for (const NoteStep& n : kNoteSteps)
    if (n.orderNumber == order)
      for (int id : {n.firstNote, n.secondNote})
        if (id != kNoNote) ids.push_back(id);
  return ids;
}

// The pause before the action of an order number (0: none).
DWORD PauseBefore(int order) {
  DWORD pause = 0;
  for (const NoteStep& n : kNoteSteps)
    if (n.orderNumber == order) pause += n.pauseMs;
  return pause;
}

std::string Formatted(int id, const char* arg) {
  std::string format = GetMessageText(id);
  char out[kNoticeTextSize];
  const char* args[1] = {arg};
  FormatText(out, sizeof out, format.c_str(), args, 1);
  return out;
}

std::string ProductName() {
  char name[kNameSize];
  CopyTextCut(name, kNameSize, GetMessageText(kProductNameId));
  return name;
}

std::string Caption() {
  char caption[kNameSize];
  std::string product = ProductName();
  const char* args[2] = {nullptr, product.c_str()};
  std::string prefix = GetMessageText(kCaptionId);
  args[0] = prefix.c_str();
  FormatText(caption, kNameSize, "%s %s", args, 2);
  return caption;
}

std::string FieldsText(const std::string& action) {
  std::string out;
  for (const auto& f : DecodeAction(action)) {
    if (!out.empty()) out += "; ";
    out += f.first + " = " + f.second;
  }
  return out;
}

std::string RowHead(const std::string& order, const std::string& line, const std::string& kind,
                    const std::string& handler) {
  return "  " + Pad(order, 6, true) + "  " + Pad(line, 5, true) + "  " + Pad(kind, 4) + " " +
         Pad(handler, 22);
}

void AppendActions(std::string* out, const LogScan& scan, bool early) {
  *out += RowHead("order", "line", "kind", "handler") + "fields\n";
  int shown = 0;
  for (const PlanRecord& r : scan.records) {
    if ((r.order < kPhaseBoundary) != early) continue;
    ++shown;
    for (int id : NotesBefore(r.order)) {
      *out += RowHead("", "", "", "") + "note " + std::to_string(id) + ": \"" +
              GetMessageText(id) + "\"" + (early ? " (no dialog yet: not shown)" : "") + "\n";
    }
    if (PauseBefore(r.order))
      *out += RowHead("", "", "", "") + "pause of " + std::to_string(PauseBefore(r.order)) + " ms\n";
    const char* handler = HandlerOf(r.action[0]);
    *out += RowHead(std::to_string(r.order), r.line ? std::to_string(r.line) : "?",
                    std::string(1, r.action[0]), handler ? handler : "(passed over)") +
            FieldsText(r.action) + "\n";
  }
  if (!shown) *out += "  (no actions in this stage)\n";
}


std::string JsonNote(int id, bool shown) {
  return "{\"id\": " + std::to_string(id) + ", \"text\": " + JsonText(GetMessageText(id)) +
         ", \"shown\": " + (shown ? "true" : "false") + "}";
}

std::string JsonActions(const LogScan& scan, bool early) {
  std::string out = "[";
  bool first = true;
  for (const PlanRecord& r : scan.records) {
    if ((r.order < kPhaseBoundary) != early) continue;
    const char* handler = HandlerOf(r.action[0]);
    out += first ? "\n" : ",\n";
    first = false;
    out += "      {\"order\": " + std::to_string(r.order) + ", \"line\": " + std::to_string(r.line) +
           ", \"letter\": " + JsonText(std::string(1, r.action[0])) + ", \"handler\": " +
           (handler ? JsonText(handler) : "null") + ", \"action\": " + JsonText(r.action) +
           ",\n       \"fields\": {";
    bool firstField = true;
    for (const auto& f : DecodeAction(r.action)) {
      out += (firstField ? "" : ", ") + JsonText(f.first) + ": " + JsonText(f.second);
      firstField = false;
    }
    out += "}, \"notes\": [";
    bool firstNote = true;
    for (int id : NotesBefore(r.order)) {
      out += (firstNote ? "" : ", ") + JsonNote(id, !early);
      firstNote = false;
    }
    out += "], \"pause_ms\": " + std::to_string(PauseBefore(r.order)) + "}";
  }
  return out + (first ? "]" : "\n    ]");
}

}  // namespace

std::string Pad(const std::string& text, size_t width, bool right) {
  if (text.size() >= width) return text;
  std::string pad(width - text.size(), ' ');
  return right ? pad + text : text + pad;
}

// JSON text: the log's bytes are ANSI text, turned into \u escapes.
std::string JsonText(const std::string& text) {
  std::string out = "\"";
  int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(wide), L'\0');
  if (wide > 0)
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &w[0], wide);
  for (wchar_t c : w) {
    if (c == L'"') out += "\\\"";
    else if (c == L'\\') out += "\\\\";
    else if (c == L'\n') out += "\\n";
    else if (c == L'\r') out += "\\r";
    else if (c == L'\t') out += "\\t";
    else if (c < 0x20 || c >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string FormatPlan(const LogScan& scan) {
  std::string out;
  int early = 0;
  for (const PlanRecord& r : scan.records)
    if (r.order < kPhaseBoundary) ++early;
  out += "plan for " + scan.path + ": " + std::to_string(scan.records.size()) + " actions (" +
         std::to_string(early) + " in stage one, " +
         std::to_string(scan.records.size() - early) + " in stage two)\n";
  out += "caption: \"" + Caption() + "\"\n\n";
  out += "stage one (started from the install folder)\n";
  out += "  question (message " + std::to_string(kConfirmQuestionId) + ", not asked with -s): \"" +
         Formatted(kConfirmQuestionId, ProductName().c_str()) +
         "\"\n";
  out += "  any answer but Yes ends here; Yes: copy the program into the temporary folder\n";
  AppendActions(&out, scan, true);
  out += "  uninstall keys deleted under HKEY_LOCAL_MACHINE:\n";
  for (const PassKey& k : scan.passKeys)
    out += "  " + Pad(std::to_string(k.line), 13, true) + "  " + k.key + "\n";
  if (scan.passKeys.empty()) out += "  (none)\n";
  out += "  then the copy starts as stage two\n\n";
  out += "stage two (the copy in the temporary folder, in the uninstall dialog)\n";
  AppendActions(&out, scan, false);
  out += RowHead("", "", "", "") + "note " + std::to_string(kDoneNoteId) + ": \"" +
         GetMessageText(kDoneNoteId) + "\"\n";
  out += RowHead("", "", "", "") + "note " + std::to_string(kProgramPathNoteId) + ": \"" +
         Formatted(kProgramPathNoteId, kCopyPath) + "\"\n";
  return out;
}

std::string FormatPlanJson(const LogScan& scan) {
  std::string out = "{\n  \"log\": " + JsonText(scan.path) + ",\n  \"caption\": " + JsonText(Caption()) +
                    ",\n  \"stage_one\": {\n    \"question\": {\"id\": " +
                    std::to_string(kConfirmQuestionId) + ", \"text\": " +
                    JsonText(Formatted(kConfirmQuestionId, ProductName().c_str())) + "},\n    \"actions\": " +
                    JsonActions(scan, true) + ",\n    \"uninstall_keys\": [";
  bool first = true;
  for (const PassKey& k : scan.passKeys) {
    out += (first ? "" : ", ") + std::string("{\"line\": ") + std::to_string(k.line) +
           ", \"root\": \"HKEY_LOCAL_MACHINE\", \"key\": " + JsonText(k.key) + "}";
    first = false;
  }
  out += "]\n  },\n  \"stage_two\": {\n    \"actions\": " + JsonActions(scan, false) +
         ",\n    \"end_notes\": [" + JsonNote(kDoneNoteId, true) + ", {\"id\": " +
         std::to_string(kProgramPathNoteId) + ", \"text\": " +
         JsonText(Formatted(kProgramPathNoteId, kCopyPath)) + ", \"shown\": true}]\n  }\n}\n";
  return out;
}
