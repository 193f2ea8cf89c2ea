#include "common/run_files.h"

namespace cw::files {

namespace {

// A .reg file's text (made only for an option that has a file), refused
// whole, naming key and value, when its format cannot carry a name or text.
bool SetRegFile(Outputs* outputs, const char* option, const std::string& text,
                const sim::RegWriteError& error, sim::RegFileFormat format,
                const std::vector<std::string>& marks, std::string* problem) {
  if (text.empty()) {
    *problem = error.ToString(outputs->PathOf(option));
    return false;
  }
  outputs->Set(option, marks.empty() ? text : sim::WithCommentLines(text, format, marks));
  return true;
}

}  // namespace

bool WriteRunFiles(Outputs* outputs, const RunRecord& run, std::string* problem) {
  std::vector<std::string> marks;
  std::string report = run.report;
  if (run.halt) {
    marks.push_back("INCOMPLETE: the run stopped before its end (exit " +
                    std::to_string(run.halt->exitCode) + ": " + run.halt->message +
                    "); this is what it did until then");
    report = marks.back() + "\n\n" + report;
  }
  sim::RegWriteError error;
  if (run.machine && outputs->Has("--out") &&
      !SetRegFile(outputs, "--out", sim::WriteRegFile(*run.machine, run.machineFormat, &error),
                  error, run.machineFormat, marks, problem))
    return false;
  if (outputs->Has("--changes") &&
      !SetRegFile(outputs, "--changes",
                  sim::WriteRegChanges(*run.from, *run.to, run.importFormat, &error), error,
                  run.importFormat, marks, problem))
    return false;
  if (outputs->Has("--undo") &&
      !SetRegFile(outputs, "--undo",
                  sim::WriteRegUndo(*run.from, *run.to, run.importFormat, run.unread, &error),
                  error, run.importFormat, marks, problem))
    return false;
  outputs->Set("--report", report);
  outputs->Set("--transcript", run.transcript);
  return outputs->Write(problem);
}

}  // namespace cw::files
