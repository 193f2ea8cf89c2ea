#include "scripting/transcript.h"

#include <cstdio>

#include "regtree/registry.h"

namespace cw::sim {

std::string JsonString(const std::string& ansi) {
  std::string utf8 = AnsiToUtf8(ansi);
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof(buf), "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += "\"";
  return out;
}

namespace {

std::string ControlsJson(const PageState& page) {
  std::string out = "[";
  bool first = true;
  for (const ControlState& c : page.controls) {
    if (!first) out += ",";
    first = false;
    out += "{\"id\":" + std::to_string(c.id) + ",\"class\":" + JsonString(c.className) +
           ",\"text\":" + JsonString(c.text) + ",\"enabled\":" + (c.enabled ? "true" : "false");
    if (c.isList) {
      out += ",\"items\":[";
      for (size_t i = 0; i < c.items.size(); ++i) {
        if (i) out += ",";
        out += JsonString(c.items[i]);
      }
      out += "],\"selected\":" + std::to_string(c.selected);
    }
    if (c.isCheckable) out += ",\"checked\":" + std::to_string(c.checked);
    out += "}";
  }
  out += "]";
  return out;
}

}  // namespace

void Transcript::PageOpened(const PageState& page) {
  lines_.push_back("{\"event\":\"page\",\"template\":" + std::to_string(page.templateId) +
                   ",\"title\":" + JsonString(page.title) + ",\"controls\":" + ControlsJson(page) +
                   "}");
}

void Transcript::PageAction(const PageState& page, const std::string& step) {
  lines_.push_back("{\"event\":\"action\",\"template\":" + std::to_string(page.templateId) +
                   ",\"step\":" + JsonString(step) + ",\"title\":" + JsonString(page.title) +
                   ",\"controls\":" + ControlsJson(page) + "}");
}

void Transcript::PageEnded(int templateId, INT_PTR result) {
  lines_.push_back("{\"event\":\"end\",\"template\":" + std::to_string(templateId) +
                   ",\"result\":" + std::to_string(static_cast<long long>(result)) + "}");
}

void Transcript::MessageBox(const std::string& text, const std::string& caption, UINT style,
                            int answer) {
  lines_.push_back("{\"event\":\"messagebox\",\"text\":" + JsonString(text) +
                   ",\"caption\":" + JsonString(caption) + ",\"style\":" + std::to_string(style) +
                   ",\"answer\":" + std::to_string(answer) + "}");
}

void Transcript::Restart(UINT flags, DWORD reason) {
  lines_.push_back("{\"event\":\"restart\",\"flags\":" + std::to_string(flags) +
                   ",\"reason\":" + std::to_string(reason) + "}");
}

void Transcript::ProcessStarted(const std::string& application, const std::string& commandLine) {
  lines_.push_back("{\"event\":\"process\",\"application\":" + JsonString(application) +
                   ",\"command\":" + JsonString(commandLine) + "}");
}

void Transcript::Stopped(const std::string& why) {
  lines_.push_back("{\"event\":\"stopped\",\"why\":" + JsonString(why) + "}");
}

std::string Transcript::Text() const {
  std::string out;
  for (const std::string& line : lines_) out += line + "\n";
  return out;
}

std::string RenderPage(const PageState& page) {
  std::string out = "+-- " + AnsiToUtf8(page.title) + "  (page " +
                    std::to_string(page.templateId) + ")\n";
  for (const ControlState& c : page.controls) {
    std::string line = "| [" + std::to_string(c.id) + "] ";
    std::string text;
    // A text of several lines stays inside the page's frame.
    for (char ch : AnsiToUtf8(c.text)) text += ch == '\n' ? std::string("\n|        ") : std::string(1, ch);
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
  std::string out = "+-- message box: " + AnsiToUtf8(caption) + "  (style " +
                    std::to_string(style) + ")\n";
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
