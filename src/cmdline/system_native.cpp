// Deterministic stand-ins for the system calls, with the same size
// conventions as the Win32 functions they replace.
#include <cstdlib>
#include <cstring>

#include "cmdline/split.h"
#include "cmdline/system.h"
#include "cmdline/system_native.h"
#include "text/compare.h"
#include "text/wide.h"

extern char** environ;

namespace {

const char16_t* g_current = u"C:\\native\\cwd";
bool g_current_fails = false;
const char16_t* g_drives[26];
bool g_drive_set[26];
const char16_t* g_module = u"C:\\native\\program.exe";
const char16_t* g_environment = nullptr;
bool g_environment_set = false;
int g_outstanding = 0;

// The GetCurrentDirectoryW / GetFullPathNameW convention: the length when
// the text fits with its terminator, else the capacity it needs.
uint32_t copy_if_fits(const char16_t* text, char16_t* dest, uint32_t capacity) {
  size_t length = wide_length(text);
  if (length + 1 > capacity) return static_cast<uint32_t>(length + 1);
  wide_move(dest, text, length + 1);
  return static_cast<uint32_t>(length);
}

// The real environment, each byte of the narrow text taken as one unit of
// Latin-1 (enough for names and values the tests use); a malloc block.
char16_t* real_environment() {
  size_t units = 1;
  for (char** e = environ; e && *e; ++e) units += strlen(*e) + 1;
  char16_t* block = static_cast<char16_t*>(malloc(units * sizeof(char16_t)));
  if (!block) return nullptr;
  char16_t* out = block;
  for (char** e = environ; e && *e; ++e) {
    for (const char* p = *e; *p; ++p) *out++ = static_cast<unsigned char>(*p);
    *out++ = 0;
  }
  *out = 0;
  return block;
}

}  // namespace

void cmdline_stand_in_reset() {
  g_current = u"C:\\native\\cwd";
  g_current_fails = false;
  for (int i = 0; i < 26; ++i) {
    g_drives[i] = nullptr;
    g_drive_set[i] = false;
  }
  g_module = u"C:\\native\\program.exe";
  g_environment = nullptr;
  g_environment_set = false;
}

void cmdline_stand_in_set_current_directory(const char16_t* directory) {
  g_current = directory;
  g_current_fails = directory == nullptr;
}

void cmdline_stand_in_set_drive_directory(char16_t drive, const char16_t* directory) {
  if (!is_ascii_letter(drive)) return;
  int i = ascii_upper(drive) - u'A';
  g_drives[i] = directory;
  g_drive_set[i] = true;
}

void cmdline_stand_in_set_module_file_name(const char16_t* path) { g_module = path; }

void cmdline_stand_in_set_environment(const char16_t* block) {
  g_environment = block;
  g_environment_set = true;
}

int cmdline_stand_in_environment_blocks_outstanding() { return g_outstanding; }

uint32_t system_current_directory(char16_t* dest, uint32_t capacity) {
  if (g_current_fails) return 0;
  return copy_if_fits(g_current, dest, capacity);
}

uint32_t system_drive_full_path(char16_t drive, char16_t* dest, uint32_t capacity) {
  if (!is_ascii_letter(drive)) return 0;
  int i = ascii_upper(drive) - u'A';
  if (g_drive_set[i]) return g_drives[i] ? copy_if_fits(g_drives[i], dest, capacity) : 0;
  if (!g_current_fails && g_current && ascii_upper(g_current[0]) == ascii_upper(drive) && g_current[1] == u':') {
    return copy_if_fits(g_current, dest, capacity);
  }
  const char16_t root[4] = {ascii_upper(drive), u':', u'\\', 0};
  return copy_if_fits(root, dest, capacity);
}

uint32_t system_module_file_name(char16_t* dest, uint32_t capacity) {
  if (!g_module || capacity == 0) return 0;
  size_t length = wide_length(g_module);
  if (length < capacity) {
    wide_move(dest, g_module, length + 1);
    return static_cast<uint32_t>(length);
  }
  // Cut like the platform: capacity - 1 units, a terminator, and the
  // capacity as the answer.
  wide_move(dest, g_module, capacity - 1);
  dest[capacity - 1] = 0;
  return capacity;
}

char16_t* system_environment_strings() {
  char16_t* block = nullptr;
  if (!g_environment_set) {
    block = real_environment();
  } else if (g_environment) {
    const char16_t* p = g_environment;
    while (*p) p += wide_length(p) + 1;
    size_t units = static_cast<size_t>(p - g_environment) + 1;
    block = static_cast<char16_t*>(malloc(units * sizeof(char16_t)));
    if (block) wide_move(block, g_environment, units);
  }
  if (block) ++g_outstanding;
  return block;
}

void system_free_environment_strings(char16_t* block) {
  if (!block) return;
  --g_outstanding;
  free(block);
}

// Without the platform's splitter the portable rules do the work.
char16_t** system_split_command_line(const char16_t* line, int32_t* count) {
  return split_command_line_portable(nullptr, line, count);
}
