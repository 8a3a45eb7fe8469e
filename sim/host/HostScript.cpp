#include "HostScript.h"

#include <charconv>
#include <cmath>

#include "HostModel.h"

namespace vxsim {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (blank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Splits off the first word; rest is what follows it, trimmed.
std::string_view first_word(std::string_view s, std::string_view* rest) {
  std::size_t end = 0;
  while (end < s.size() && !blank(s[end])) ++end;
  *rest = trim(s.substr(end));
  return s.substr(0, end);
}

bool parse_number(std::string_view text, double* value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, *value);
  return result.ec == std::errc() && result.ptr == end && std::isfinite(*value);
}

bool parse_points(std::string_view text, double* value) {
  return parse_number(text, value) && std::fabs(*value) <= kMaxScriptPoints;
}

// The blank-separated words of text.
std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  while (!text.empty()) {
    std::string_view rest;
    out.push_back(first_word(text, &rest));
    text = rest;
  }
  return out;
}

bool parse_seconds(std::string_view text, double* seconds) {
  return parse_number(text, seconds) && *seconds >= 0 && *seconds <= kMaxScriptSeconds;
}

struct Simple {
  const char* name;
  ScriptCommand::Kind kind;
};
const Simple kSimple[] = {
    {"close", ScriptCommand::eKind_Close},       {"tick", ScriptCommand::eKind_Tick},
    {"minimise", ScriptCommand::eKind_Minimise}, {"front", ScriptCommand::eKind_Front},
    {"hang", ScriptCommand::eKind_Hang},         {"unload", ScriptCommand::eKind_Unload},
    {"reload", ScriptCommand::eKind_Reload},     {"quit", ScriptCommand::eKind_Quit},
};

// Parses one command line (not blank, not a comment); false with the reason.
bool parse_command(std::string_view line, ScriptCommand* c, std::string* why) {
  std::string_view rest;
  const std::string_view word = first_word(line, &rest);
  for (const Simple& s : kSimple) {
    if (word != s.name) continue;
    if (!rest.empty()) {
      *why = std::string(word) + " takes no arguments";
      return false;
    }
    c->kind = s.kind;
    return true;
  }
  if (word == "menu") {
    if (rest.empty()) {
      *why = "menu needs the item's text";
      return false;
    }
    c->kind = ScriptCommand::eKind_Menu;
    c->argument = std::string(rest);
    return true;
  }
  if (word == "new") {
    std::string_view after_width, after_height;
    const std::string_view width = first_word(rest, &after_width);
    const std::string_view height = first_word(after_width, &after_height);
    if (!parse_number(width, &c->width) || !parse_number(height, &c->height) || c->width <= 0 ||
        c->height <= 0) {
      *why = "new needs a width and a height in points, both above 0";
      return false;
    }
    c->kind = ScriptCommand::eKind_New;
    if (!after_height.empty()) c->path = std::string(after_height);
    return true;
  }
  if (word == "rect") {
    const std::vector<std::string_view> w = words(rest);
    if ((w.size() != 4 && w.size() != 5) || !parse_points(w[0], &c->x) || !parse_points(w[1], &c->y) ||
        !parse_points(w[2], &c->width) || !parse_points(w[3], &c->height) || c->width <= 0 ||
        c->height <= 0) {
      *why = "rect needs X Y WIDTH HEIGHT in points (WIDTH and HEIGHT above 0, none beyond " +
             std::to_string(static_cast<int>(kMaxScriptPoints)) + ") and an optional GREY";
      return false;
    }
    if (w.size() == 5 && (!parse_number(w[4], &c->grey) || c->grey < 0 || c->grey > 1)) {
      *why = "rect: GREY must be a number from 0 (black) to 1 (white)";
      return false;
    }
    c->kind = ScriptCommand::eKind_Rect;
    return true;
  }
  if (word == "preview") {
    if (rest.empty()) {
      *why = "preview needs the path of the PDF to write";
      return false;
    }
    c->kind = ScriptCommand::eKind_Preview;
    c->path = std::string(rest);
    return true;
  }
  if (word == "run" || word == "wait-answer") {
    if (!parse_seconds(rest, &c->seconds)) {
      *why = std::string(word) + " needs a number of seconds from 0 to " +
             std::to_string(static_cast<int>(kMaxScriptSeconds));
      return false;
    }
    c->kind = word == "run" ? ScriptCommand::eKind_Run : ScriptCommand::eKind_WaitAnswer;
    return true;
  }
  if (word == "ticks") {
    if (rest == "on") {
      c->kind = ScriptCommand::eKind_TicksOn;
    } else if (rest == "off") {
      c->kind = ScriptCommand::eKind_TicksOff;
    } else {
      *why = "ticks needs on or off";
      return false;
    }
    return true;
  }
  if (word == "fail") {
    // The code is the last word, or a quoted four-character code that may
    // hold a blank.
    std::size_t split;
    if (rest.size() >= 6 && rest.back() == '\'' && rest[rest.size() - 6] == '\'') {
      split = rest.size() - 6;
    } else {
      split = rest.size();
      while (split > 0 && !blank(rest[split - 1])) --split;
    }
    const std::string_view operation = trim(rest.substr(0, split));
    const std::string_view code = rest.substr(split);
    if (operation.empty() || code.empty()) {
      *why = "fail needs an operation and a code";
      return false;
    }
    if (!HostModel::is_known_operation(std::string(operation))) {
      *why = "unknown host operation \"" + std::string(operation) + "\"";
      return false;
    }
    if (!parse_error_code(code, &c->code)) {
      *why = "bad code \"" + std::string(code) + "\": a decimal number or four characters";
      return false;
    }
    c->kind = ScriptCommand::eKind_Fail;
    c->argument = std::string(operation);
    return true;
  }
  *why = "unknown command \"" + std::string(word) + "\"";
  return false;
}

}  // namespace

bool parse_error_code(std::string_view text, ai::Err* code) {
  if (text.size() == 6 && text.front() == '\'' && text.back() == '\'') {
    text = text.substr(1, 4);
  } else {
    std::int32_t value;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (!text.empty() && result.ec == std::errc() && result.ptr == end) {
      *code = value;
      return true;
    }
  }
  if (text.size() != 4) return false;
  std::uint32_t value = 0;
  for (char c : text) value = (value << 8) | static_cast<unsigned char>(c);
  *code = static_cast<ai::Err>(value);
  return true;
}

bool parse_script(std::string_view text, std::vector<ScriptCommand>* commands, ScriptError* error) {
  commands->clear();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    line = trim(line);
    if (line.empty() || line.front() == '#') continue;
    ScriptCommand command;
    command.line = number;
    command.text = std::string(line);
    std::string why;
    if (!parse_command(line, &command, &why)) {
      *error = {number, why};
      return false;
    }
    commands->push_back(std::move(command));
  }
  return true;
}

}  // namespace vxsim
