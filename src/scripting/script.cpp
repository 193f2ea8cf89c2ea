#include "scripting/script.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace cw::sim {

namespace {

bool ParseInt(const std::string& text, int* out) {
  if (text.empty() || text.size() > 11) return false;
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT_MIN || value > INT_MAX) return false;
  *out = static_cast<int>(value);
  return true;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

}  // namespace

std::string ScriptStep::ToString() const {
  switch (kind) {
    case Click:
      return "click " + std::to_string(id);
    case Enter:
      return "enter";
    case Esc:
      return "esc";
    case Close:
      return "close";
    case Select:
      return "select " + std::to_string(id) + " " + std::to_string(index);
    case Yes:
      return "yes";
    case No:
      return "no";
    case Ok:
      return "ok";
  }
  return "?";
}

bool ParseScript(const std::string& text, std::vector<ScriptStep>* steps, std::string* error,
                 int* errorLine) {
  std::vector<ScriptStep> parsed;
  std::string piece;
  auto flush = [&](const std::string& raw) -> bool {
    std::vector<std::string> w = SplitWords(raw);
    if (w.empty()) return true;
    ScriptStep step;
    step.number = static_cast<int>(parsed.size()) + 1;
    const std::string& verb = w[0];
    size_t want = 1;
    if (verb == "click") {
      step.kind = ScriptStep::Click;
      want = 2;
    } else if (verb == "select") {
      step.kind = ScriptStep::Select;
      want = 3;
    } else if (verb == "enter") {
      step.kind = ScriptStep::Enter;
    } else if (verb == "esc") {
      step.kind = ScriptStep::Esc;
    } else if (verb == "close") {
      step.kind = ScriptStep::Close;
    } else if (verb == "yes") {
      step.kind = ScriptStep::Yes;
    } else if (verb == "no") {
      step.kind = ScriptStep::No;
    } else if (verb == "ok") {
      step.kind = ScriptStep::Ok;
    } else {
      *error = "step " + std::to_string(step.number) + ": unknown step \"" + verb +
               "\" (expected click, select, enter, esc, close, yes, no or ok)";
      return false;
    }
    if (w.size() != want) {
      *error = "step " + std::to_string(step.number) + ": \"" + verb + "\" takes " +
               std::to_string(want - 1) + " number(s), got " + std::to_string(w.size() - 1);
      return false;
    }
    if (want >= 2 && !ParseInt(w[1], &step.id)) {
      *error = "step " + std::to_string(step.number) + ": \"" + w[1] + "\" is not a control id";
      return false;
    }
    if (want == 3 && !ParseInt(w[2], &step.index)) {
      *error = "step " + std::to_string(step.number) + ": \"" + w[2] + "\" is not a row number";
      return false;
    }
    parsed.push_back(step);
    return true;
  };

  bool comment = false;
  int line = 1;
  for (char c : text) {
    if (c == '\n' || c == ';') {
      comment = false;
      if (!flush(piece)) {
        if (errorLine) *errorLine = line;
        return false;
      }
      piece.clear();
      if (c == '\n') ++line;
    } else if (c == '#') {
      comment = true;
    } else if (!comment) {
      piece += (c == '\r' || c == '\t') ? ' ' : c;
    }
  }
  if (!flush(piece)) {
    if (errorLine) *errorLine = line;
    return false;
  }
  *steps = std::move(parsed);
  return true;
}

bool ScriptAnswers::Peek(ScriptStep* step) {
  if (steps_.empty()) return false;
  *step = steps_.front();
  return true;
}

void ScriptAnswers::Take() {
  if (!steps_.empty()) steps_.pop_front();
}

}  // namespace cw::sim
