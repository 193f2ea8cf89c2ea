// The record of a run: every page when it has opened and when it ends,
// every message box with its answer, and the restart request, one JSON
// object per line. The Windows UI driver writes the same records, so the two
// can be compared line by line.
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace cw::sim {

// One control as a page shows it.
struct ControlState {
  int id = 0;
  std::string className;
  std::string text;
  bool enabled = true;
  bool isList = false;  // list box or combo box
  std::vector<std::string> items;
  int selected = -1;
  bool isCheckable = false;  // radio button or check box
  int checked = 0;
};

struct PageState {
  int templateId = 0;
  std::string title;
  std::vector<ControlState> controls;
};

class Transcript {
 public:
  void PageOpened(const PageState& page);
  void PageAction(const PageState& page, const std::string& step);
  void PageEnded(int templateId, INT_PTR result);
  void MessageBox(const std::string& text, const std::string& caption, UINT style, int answer);
  void Restart(UINT flags, DWORD reason);
  void ProcessStarted(const std::string& application, const std::string& commandLine);
  void Stopped(const std::string& why);

  const std::vector<std::string>& lines() const { return lines_; }

  // What a report reads back, in order: the pages that ended, and the
  // message boxes shown (texts in UTF-8).
  struct Ending {
    int templateId;
    INT_PTR result;
  };
  struct Box {
    std::string text;
    std::string caption;
  };
  const std::vector<Ending>& endings() const { return endings_; }
  const std::vector<Box>& boxes() const { return boxes_; }
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
  std::vector<Ending> endings_;
  std::vector<Box> boxes_;
};

// A plain text picture of a page, for the terminal.
std::string RenderPage(const PageState& page);
std::string RenderMessageBox(const std::string& text, const std::string& caption, UINT style);

}  // namespace cw::sim
