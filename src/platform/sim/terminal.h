// Answers typed by a person at a terminal, in the script language.
#pragma once

#include <cstdio>
#include <deque>

#include "scripting/script.h"

namespace cw::sim {

class TerminalAnswers : public AnswerSource {
 public:
  TerminalAnswers(std::FILE* in, std::FILE* out) : in_(in), out_(out) {}
  bool Peek(ScriptStep* step) override;
  void Take() override;
  bool Interactive() const override { return true; }

 private:
  std::FILE* in_;
  std::FILE* out_;
  std::deque<ScriptStep> pending_;
  int count_ = 0;
  bool eof_ = false;
};

}  // namespace cw::sim
