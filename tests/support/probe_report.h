// Reading the report of the console test tool (tools/probe, format in
// tools/probe/README.md). Portable: the tool writes it under Wine, tests read
// it anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ProbeHandle {
  bool present = false;
  std::string type;  // none, disk, char, pipe, remote, unknown, invalid
  bool nul = false;
  bool console = false;
};

struct ProbeVariable {
  std::u16string name;
  bool present = false;
  std::u16string value;
};

// Result of a write or read the tool was asked to do.
struct ProbeOutcome {
  bool asked = false;
  uint32_t error = 0;  // 0 when it worked
};

struct ProbeReport {
  uint32_t pid = 0;
  std::u16string command_line;
  std::vector<std::u16string> args;
  ProbeHandle handles[3];       // input, output, error
  bool console = false;         // attached to a console (CONOUT$ opens)
  bool console_window = false;  // GetConsoleWindow
  uint32_t error_mode = 0;
  std::u16string current_directory;
  std::u16string module;
  std::vector<std::u16string> env_names;  // in the order of the environment
  std::vector<ProbeVariable> variables;   // those named in PROBE_SHOW
  ProbeOutcome stdin_read;
  std::string stdin_data;  // the bytes read from standard input
  ProbeOutcome stdout_write;
  ProbeOutcome stderr_write;

  // The variable of that exact name from PROBE_SHOW, or null.
  const ProbeVariable* variable(const std::u16string& name) const;
};

// Parses a whole report. False, with a reason in *error, when the text is not
// a complete report of the known version (missing "end", unknown line, bad
// escape, argument count that does not match, ...).
bool parse_probe_report(const std::string& text, ProbeReport* report, std::string* error);

// One escaped value back to UTF-16 (the inverse of tools/probe/probe_escape.h).
// False for invalid UTF-8, raw control bytes or a malformed escape.
bool probe_unescape(const std::string& text, std::u16string* out);
