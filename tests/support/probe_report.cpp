#include "support/probe_report.h"

#include <cstdlib>

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // the tool writes upper case only
}

bool parse_number(const std::string& text, uint32_t* out) {
  if (text.empty()) return false;
  size_t start = 0;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && text[1] == 'x') {
    start = 2;
    base = 16;
  }
  uint64_t value = 0;
  for (size_t i = start; i < text.size(); ++i) {
    int digit = base == 16 ? hex_value(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) return false;
    value = value * base + uint64_t(digit);
    if (value > 0xFFFFFFFFull) return false;
  }
  *out = uint32_t(value);
  return true;
}

bool parse_flag(const std::string& text, bool* out) {
  if (text != "0" && text != "1") return false;
  *out = text == "1";
  return true;
}

bool parse_outcome(const std::string& text, ProbeOutcome* out) {
  out->asked = true;
  if (text == "ok") {
    out->error = 0;
    return true;
  }
  return text.compare(0, 6, "error ") == 0 && parse_number(text.substr(6), &out->error) && out->error != 0;
}

// "handle <kind> present=P type=T nul=N console=C"
bool parse_handle(const std::string& text, ProbeReport* report) {
  static const char* const kKinds[3] = {"input", "output", "error"};
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t space = text.find(' ', start);
    fields.push_back(text.substr(start, space - start));
    if (space == std::string::npos) break;
    start = space + 1;
  }
  if (fields.size() != 5) return false;
  int kind = -1;
  for (int k = 0; k < 3; ++k) {
    if (fields[0] == kKinds[k]) kind = k;
  }
  if (kind < 0) return false;
  ProbeHandle& handle = report->handles[kind];
  auto value_of = [&](size_t i, const char* key, std::string* value) {
    std::string prefix = std::string(key) + "=";
    if (fields[i].compare(0, prefix.size(), prefix) != 0) return false;
    *value = fields[i].substr(prefix.size());
    return true;
  };
  std::string present, nul, console;
  return value_of(1, "present", &present) && parse_flag(present, &handle.present) &&
         value_of(2, "type", &handle.type) && !handle.type.empty() && value_of(3, "nul", &nul) &&
         parse_flag(nul, &handle.nul) && value_of(4, "console", &console) && parse_flag(console, &handle.console) &&
         (handle.present == (handle.type != "none"));
}

}  // namespace

const ProbeVariable* ProbeReport::variable(const std::u16string& name) const {
  for (const ProbeVariable& v : variables) {
    if (v.name == name) return &v;
  }
  return nullptr;
}

bool probe_unescape(const std::string& text, std::u16string* out) {
  out->clear();
  for (size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (b == '\\') {
      if (i + 1 < text.size() && text[i + 1] == '\\') {
        *out += u'\\';
        i += 2;
        continue;
      }
      if (i + 6 > text.size()) return false;
      if (text[i + 1] != 'u') return false;
      uint32_t unit = 0;
      for (size_t k = 2; k < 6; ++k) {
        int digit = hex_value(text[i + k]);
        if (digit < 0) return false;
        unit = unit * 16 + uint32_t(digit);
      }
      *out += char16_t(unit);
      i += 6;
      continue;
    }
    if (b < 0x20 || b == 0x7F) return false;
    if (b < 0x80) {
      *out += char16_t(b);
      ++i;
      continue;
    }
    size_t n;
    uint32_t cp, minimum;
    if ((b & 0xE0) == 0xC0) {
      n = 2, cp = b & 0x1F, minimum = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      n = 3, cp = b & 0x0F, minimum = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      n = 4, cp = b & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      unsigned char c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *out += char16_t(0xD800 + (cp >> 10));
      *out += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      *out += char16_t(cp);
    }
    i += n;
  }
  return true;
}

bool parse_probe_report(const std::string& text, ProbeReport* report, std::string* error) {
  *report = ProbeReport();
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      *error = "the last line has no line feed";
      return false;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines.empty() || lines[0] != "probe 1") {
    *error = "not a report of version 1";
    return false;
  }
  if (lines.back() != "end") {
    *error = "the report does not end with \"end\"";
    return false;
  }
  uint32_t argc = 0;
  bool seen_argc = false;
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    const std::string& line = lines[i];
    size_t space = line.find(' ');
    std::string key = line.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    bool ok;
    if (key == "pid") {
      ok = parse_number(rest, &report->pid);
    } else if (key == "command_line") {
      ok = probe_unescape(rest, &report->command_line);
    } else if (key == "argc") {
      ok = parse_number(rest, &argc);
      seen_argc = true;
    } else if (key == "arg") {
      report->args.emplace_back();
      ok = probe_unescape(rest, &report->args.back());
    } else if (key == "handle") {
      ok = parse_handle(rest, report);
    } else if (key == "console") {
      ok = parse_flag(rest, &report->console);
    } else if (key == "console_window") {
      ok = parse_flag(rest, &report->console_window);
    } else if (key == "error_mode") {
      ok = rest.compare(0, 2, "0x") == 0 && parse_number(rest, &report->error_mode);
    } else if (key == "current_directory") {
      ok = probe_unescape(rest, &report->current_directory);
    } else if (key == "module") {
      ok = probe_unescape(rest, &report->module);
    } else if (key == "env_name") {
      report->env_names.emplace_back();
      ok = probe_unescape(rest, &report->env_names.back());
    } else if (key == "variable") {
      ProbeVariable v;
      ok = probe_unescape(rest, &v.name) && i + 2 < lines.size();
      if (ok) {
        const std::string& next = lines[++i];
        if (next == "absent") {
          v.present = false;
        } else if (next.compare(0, 6, "value ") == 0) {
          v.present = true;
          ok = probe_unescape(next.substr(6), &v.value);
        } else {
          ok = false;
        }
      }
      report->variables.push_back(v);
    } else if (key == "stdin_read") {
      ok = parse_outcome(rest, &report->stdin_read);
    } else if (key == "stdin_data") {
      std::u16string units;
      ok = probe_unescape(rest, &units);
      report->stdin_data.clear();
      for (char16_t u : units) {
        if (u > 0xFF) ok = false;
        report->stdin_data += char(u);
      }
    } else if (key == "stdout_write") {
      ok = parse_outcome(rest, &report->stdout_write);
    } else if (key == "stderr_write") {
      ok = parse_outcome(rest, &report->stderr_write);
    } else {
      ok = false;
    }
    if (!ok) {
      *error = "bad line " + std::to_string(i + 1) + ": " + line;
      return false;
    }
  }
  if (!seen_argc || argc != report->args.size()) {
    *error = "the argument count does not match the arguments";
    return false;
  }
  return true;
}
