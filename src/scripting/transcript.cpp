#include "scripting/transcript.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "regtree/registry.h"

namespace cw::sim {

namespace {

using Json = nlohmann::ordered_json;

// Texts are the program's ANSI; the transcript is UTF-8.
Json Utf8Text(const std::string& ansi) { return Json(AnsiToUtf8(ansi)); }

// One line: compact, members in the order written, UTF-8 left as it is.
std::string Line(const Json& record) {
  return record.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json ControlsJson(const PageState& page) {
  Json controls = Json::array();
  for (const ControlState& c : page.controls) {
    Json control = {{"id", c.id},
                    {"class", Utf8Text(c.className)},
                    {"text", Utf8Text(c.text)},
                    {"enabled", c.enabled}};
    if (c.isList) {
      Json items = Json::array();
      for (const std::string& item : c.items) items.push_back(Utf8Text(item));
      control["items"] = std::move(items);
      control["selected"] = c.selected;
    }
    if (c.isCheckable) control["checked"] = c.checked;
    controls.push_back(std::move(control));
  }
  return controls;
}

}  // namespace

void Transcript::PageOpened(const PageState& page) {
  lines_.push_back(Line({{"event", "page"},
                         {"template", page.templateId},
                         {"title", Utf8Text(page.title)},
                         {"controls", ControlsJson(page)}}));
}

void Transcript::PageAction(const PageState& page, const std::string& step) {
  lines_.push_back(Line({{"event", "action"},
                         {"template", page.templateId},
                         {"step", Utf8Text(step)},
                         {"title", Utf8Text(page.title)},
                         {"controls", ControlsJson(page)}}));
}

void Transcript::PageEnded(int templateId, INT_PTR result) {
  endings_.push_back({templateId, result});
  lines_.push_back(Line(
      {{"event", "end"}, {"template", templateId}, {"result", static_cast<long long>(result)}}));
}

void Transcript::MessageBox(const std::string& text, const std::string& caption, UINT style,
                            int answer) {
  boxes_.push_back({AnsiToUtf8(text), AnsiToUtf8(caption)});
  lines_.push_back(Line({{"event", "messagebox"},
                         {"text", Utf8Text(text)},
                         {"caption", Utf8Text(caption)},
                         {"style", style},
                         {"answer", answer}}));
}

void Transcript::Restart(UINT flags, DWORD reason) {
  lines_.push_back(Line({{"event", "restart"}, {"flags", flags}, {"reason", reason}}));
}

void Transcript::ProcessStarted(const std::string& application, const std::string& commandLine) {
  lines_.push_back(Line({{"event", "process"},
                         {"application", Utf8Text(application)},
                         {"command", Utf8Text(commandLine)}}));
}

void Transcript::Stopped(const std::string& why) {
  lines_.push_back(Line({{"event", "stopped"}, {"why", Utf8Text(why)}}));
}

std::string Transcript::Text() const {
  std::string out;
  for (const std::string& line : lines_) out += line + "\n";
  return out;
}

std::string RenderPage(const PageState& page) {
  std::string out =
      "+-- " + AnsiToUtf8(page.title) + "  (page " + std::to_string(page.templateId) + ")\n";
  for (const ControlState& c : page.controls) {
    std::string line = "| [" + std::to_string(c.id) + "] ";
    std::string text;
    // A text of several lines stays inside the page's frame.
    for (char ch : AnsiToUtf8(c.text))
      text += ch == '\n' ? std::string("\n|        ") : std::string(1, ch);
    if (c.className == "BUTTON") {
      if (c.isCheckable)
        line += std::string(c.checked ? "(*) " : "( ) ") + text;
      else
        line += "< " + text + " >";
    } else if (c.isList) {
      line += c.className == "COMBOBOX" ? "letter box:" : "list:";
      if (c.selected >= 0 && static_cast<size_t>(c.selected) < c.items.size())
        line += " selected " + std::to_string(c.selected) + " \"" +
                AnsiToUtf8(c.items[static_cast<size_t>(c.selected)]) + "\"";
      else
        line += " nothing selected";
      line += ", " + std::to_string(c.items.size()) + " rows";
      if (!c.items.empty()) {
        line += "\n|      ";
        for (size_t i = 0; i < c.items.size(); ++i) {
          std::string item = std::to_string(i) + "=" + AnsiToUtf8(c.items[i]);
          line += (i ? "  " : "") + item;
        }
      }
    } else if (c.className == "EDIT") {
      line += "[" + text + "]";
    } else {
      line += text;
    }
    if (!c.enabled) line += "  (disabled)";
    out += line + "\n";
  }
  out += "+--\n";
  return out;
}

std::string RenderMessageBox(const std::string& text, const std::string& caption, UINT style) {
  std::string out =
      "+-- message box: " + AnsiToUtf8(caption) + "  (style " + std::to_string(style) + ")\n";
  std::string body = AnsiToUtf8(text);
  out += "| ";
  for (char c : body) {
    out += c;
    if (c == '\n') out += "| ";
  }
  out += "\n+--\n";
  return out;
}

}  // namespace cw::sim
