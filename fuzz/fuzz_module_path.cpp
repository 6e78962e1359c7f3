// Module paths: whatever name the system gives for the launcher's own file,
// the launcher starts the tool from exactly the folder that holds it, by a
// path Windows reads as written, or refuses (206). Input units are drawn
// mostly from the characters that give paths their structure, so that
// roots, device prefixes, dot components and trailing dots and spaces are
// met often; every few units a raw 16-bit unit goes in as it is.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "launcher/tool_path_property.h"

namespace {

constexpr const char16_t* kConvert[] = {u"convert", u"-g"};
const LauncherSetting kSetting = launcher_setting(kConvert, "Ardelon");

const char16_t kAlphabet[] = u"\\\\\\//..... ??::CcUNx";

std::u16string module_from(const uint8_t* data, size_t size) {
  std::u16string module;
  for (size_t i = 0; i < size; ++i) {
    uint8_t byte = data[i];
    if (byte >= 0xF0 && i + 2 < size) {
      module += char16_t(data[i + 1] | (data[i + 2] << 8));
      i += 2;
    } else if (byte >= 0xE0) {
      // A run of letters: lengths near the limits are reached quickly.
      module.append(size_t(byte - 0xE0) * 19 + 1, u'p');
    } else {
      module += kAlphabet[byte % (sizeof(kAlphabet) / sizeof(kAlphabet[0]) - 1)];
    }
  }
  return module;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string module = module_from(data, size);
  if (module.find(u'\0') != std::u16string::npos) return 0;
  std::string wrong = tool_path_property::check_module(kSetting, module, nullptr);
  if (!wrong.empty()) {
    fprintf(stderr, "module path:");
    for (char16_t unit : module) fprintf(stderr, unit >= 0x20 && unit < 0x7F ? " %c" : " U+%04X", unsigned(unit));
    fprintf(stderr, "\n%s\n", wrong.c_str());
    abort();
  }
  return 0;
}
