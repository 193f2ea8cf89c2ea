#include "platform/sim/terminal.h"

#include <string>
#include <vector>

namespace cw::sim {

bool TerminalAnswers::Peek(ScriptStep* step) {
  while (pending_.empty()) {
    if (eof_) return false;
    std::fputs("step (click ID | select ID N | enter | esc | close | yes | no | ok; "
               "Enter alone = ok)> ",
               out_);
    std::fflush(out_);
    std::string line;
    int c;
    while ((c = std::fgetc(in_)) != EOF && c != '\n') {
      if (line.size() < 4096) line += static_cast<char>(c);
    }
    if (c == EOF && line.empty()) {
      eof_ = true;
      std::fputs("\n", out_);
      return false;
    }
    if (line.find_first_not_of(" \t\r") == std::string::npos) line = "ok";
    std::vector<ScriptStep> steps;
    std::string error;
    if (!ParseScript(line, &steps, &error)) {
      std::fprintf(out_, "%s\n", error.c_str());
      continue;
    }
    for (ScriptStep& s : steps) {
      s.number = ++count_;
      pending_.push_back(s);
    }
  }
  *step = pending_.front();
  return true;
}

void TerminalAnswers::Take() {
  if (!pending_.empty()) pending_.pop_front();
}

}  // namespace cw::sim
