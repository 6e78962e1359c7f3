// The rule for the tool path, stated apart from the code that builds it, for
// the unit test and the fuzz target over module paths: the launcher whose
// own file the system names `module` either refuses to start anything, or
// starts the tool in exactly the folder that holds `module`, by a path that
// Windows reads as written. Header-only; no GoogleTest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cmdline/path.h"
#include "launcher/setting.h"
#include "launcher/tool_arguments.h"
#include "text/wide.h"

namespace tool_path_property {

inline bool separator(char16_t c) { return c == u'\\' || c == u'/'; }

inline std::u16string with_backslashes(std::u16string text) {
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
}

// What Win32 path normalisation makes of a path that does not begin with
// \\?\ : separators of one kind, "." dropped, ".." going up (never above the
// root), trailing dots and spaces cut from every component, empty
// components dropped. A \\?\ path is passed on as written.
inline std::u16string as_windows_reads_it(const std::u16string& path) {
  std::u16string text = with_backslashes(path);
  if (text.rfind(uR"(\\?\)", 0) == 0) return text;
  size_t root = 0;
  if (text.rfind(uR"(\\)", 0) == 0) {
    // \\server\share or \\.\device: two names belong to the root.
    size_t names = 0;
    root = 2;
    while (root < text.size() && names < 2) {
      size_t end = text.find(u'\\', root);
      if (end == std::u16string::npos) end = text.size();
      root = end + (end < text.size() ? 1 : 0);
      ++names;
    }
  } else if (text.size() >= 3 && text[1] == u':' && text[2] == u'\\') {
    root = 3;
  }
  std::vector<std::u16string> kept;
  size_t at = root;
  while (at <= text.size()) {
    size_t end = text.find(u'\\', at);
    if (end == std::u16string::npos) end = text.size();
    std::u16string name = text.substr(at, end - at);
    if (name == u"..") {
      if (!kept.empty()) kept.pop_back();
    } else if (name != u".") {
      while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
      if (!name.empty()) kept.push_back(name);
    }
    at = end + 1;
  }
  std::u16string out = text.substr(0, root);
  if (!out.empty() && out.back() != u'\\' && !kept.empty()) out += u'\\';
  for (size_t i = 0; i < kept.size(); ++i) out += (i ? uR"(\)" : u"") + kept[i];
  return out;
}

// Empty when the rule holds for a launcher whose module is `module` and
// whose vector build returned `result` with element 0 `tool`; else what is
// wrong.
inline std::string violation(const std::u16string& module, uint32_t result, const std::u16string& tool) {
  if (result == kToolPathUnknown) return tool == kToolFileName ? "" : "refused, yet element 0 names a path";
  if (result != 0) return "neither started nor refused: " + std::to_string(result);
  size_t cut = module.find_last_of(uR"(\/)");
  if (cut == std::u16string::npos) return "started, though the module path names no folder";
  std::u16string folder = with_backslashes(module.substr(0, cut + 1));
  if (with_backslashes(tool) != folder + kToolFileName) return "the tool is not beside the module";
  if (as_windows_reads_it(tool) != with_backslashes(tool)) return "Windows reads the tool path otherwise";
  return "";
}

// A launcher whose own file the system names `module`: the tool path it
// builds (the program directory as module_file_name and program_directory
// derive it, then the vector), checked against the rule. `refused` (may be
// null) tells which way it went.
inline std::string check_module(const LauncherSetting& setting, const std::u16string& module, bool* refused) {
  bool known = module_name_usable(module.c_str(), module.size());
  char16_t* dir = known ? file_directory(module.c_str()) : nullptr;
  const char16_t* own[] = {module.c_str(), nullptr};
  ToolArguments arguments;
  uint32_t result = build_tool_arguments(&setting, dir ? dir : uR"(\)", dir != nullptr, own, 1, &arguments);
  std::u16string tool = arguments.argv && arguments.argv[0] ? arguments.argv[0] : u"(none)";
  free_tool_arguments(&arguments);
  wide_free(dir);
  if (refused) *refused = result == kToolPathUnknown;
  return violation(module, result, tool);
}

}  // namespace tool_path_property
