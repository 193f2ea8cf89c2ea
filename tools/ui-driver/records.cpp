#include "records.h"

#include <nlohmann/json.hpp>

namespace uidriver {

namespace {

// Members stay in the order they are set, as the simulation writes them.
using Json = nlohmann::ordered_json;

// Compact, UTF-8 as it is; text that is not UTF-8 (a window's text Windows
// could not convert) gets U+FFFD where it breaks instead of ending the run.
std::string Line(const Json& record) {
  return record.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json Controls(const Page& page) {
  Json out = Json::array();
  for (const Control& c : page.controls) {
    Json control = {{"id", c.id}, {"class", c.className}, {"text", c.text}, {"enabled", c.enabled}};
    if (c.isList) {
      control["items"] = c.items;
      control["selected"] = c.selected;
    }
    if (c.isCheckable) control["checked"] = c.checked;
    out.push_back(std::move(control));
  }
  return out;
}

}  // namespace

std::string PageRecord(const Page& page, const std::string* step) {
  Json record = {{"event", step ? "action" : "page"}, {"template", page.templateId}};
  if (step) record["step"] = *step;
  record["title"] = page.title;
  record["controls"] = Controls(page);
  return Line(record);
}

std::string EndRecord(int templateId) {
  return Line({{"event", "end"}, {"template", templateId}, {"result", nullptr}});
}

std::string MessageBoxRecord(const std::string& text, const std::string& caption, UINT style,
                             int answer) {
  return Line({{"event", "messagebox"},
               {"text", text},
               {"caption", caption},
               {"style", style},
               {"answer", answer}});
}

std::string StoppedRecord(const std::string& why) {
  return Line({{"event", "stopped"}, {"why", why}});
}

}  // namespace uidriver
