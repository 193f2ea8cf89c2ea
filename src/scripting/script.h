// The user script that answers the wizard's pages and message boxes. The
// simulation and the Windows UI driver read the same language:
//
//   steps separated by ";" or new lines; "#" starts a comment to the line's end
//   page steps:        click ID | enter | esc | close | select ID N
//   message-box steps: yes | no | ok
//
// A message box with only an OK button is answered OK by itself unless the
// next step is "ok"; a question needs "yes" or "no".
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace cw::sim {

struct ScriptStep {
  enum Kind { Click, Enter, Esc, Close, Select, Yes, No, Ok };
  Kind kind = Click;
  int id = 0;       // click, select
  int index = 0;    // select
  int number = 0;   // 1-based position in the script, for messages
  bool IsMessageBoxStep() const { return kind == Yes || kind == No || kind == Ok; }
  std::string ToString() const;
};

// Parses a script. On error returns false with *error ("step 3: ...") and,
// when errorLine is given, the 1-based line of the text the bad step is on.
bool ParseScript(const std::string& text, std::vector<ScriptStep>* steps, std::string* error,
                 int* errorLine = nullptr);

// Where answers come from: a script, or a person at the terminal.
class AnswerSource {
 public:
  virtual ~AnswerSource() = default;
  // The next step without taking it; false when there is none (for a
  // terminal: after the person has been asked and gave nothing).
  virtual bool Peek(ScriptStep* step) = 0;
  virtual void Take() = 0;
  // Whether a person reads the screen (then OK-only boxes wait for "ok").
  virtual bool Interactive() const { return false; }
  // Told when a page has opened and waits, and when a message box waits,
  // before the steps for it are asked for: answers given per page rather
  // than in order can then serve the right ones.
  virtual void PageWaits(int /*templateId*/) {}
  virtual void MessageBoxWaits(const std::string& /*text*/, UINT /*style*/) {}
  virtual void MessageBoxAnswered() {}
};

class ScriptAnswers : public AnswerSource {
 public:
  explicit ScriptAnswers(std::vector<ScriptStep> steps) : steps_(steps.begin(), steps.end()) {}
  bool Peek(ScriptStep* step) override;
  void Take() override;
  size_t remaining() const { return steps_.size(); }

 private:
  std::deque<ScriptStep> steps_;
};

}  // namespace cw::sim
