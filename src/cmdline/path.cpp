// Path roots, the program's own file and directory, and the test that a
// folder is taken as written. Normalising and resolving are in
// path_resolve.cpp, so that a launcher that resolves no path carries neither
// that code nor the system calls for current directories.
#include "cmdline/path.h"

#include <cstdint>
#include <cstdlib>

#include "cmdline/path_chars.h"
#include "cmdline/process_info_cache.h"
#include "cmdline/system.h"
#include "text/wide.h"

bool parse_path_root(const char16_t* path, size_t* root_length, bool* rooted, size_t* name_start) {
  path = wide_or_empty(path);
  size_t root = 0;
  bool is_rooted = false;
  if (is_path_separator(path[0]) && is_path_separator(path[1])) {
    // \\server\share: both names at least one unit long.
    size_t i = 2;
    if (path[i] == 0 || is_path_separator(path[i])) return false;
    while (path[i] && !is_path_separator(path[i])) ++i;
    if (path[i] == 0) return false;
    ++i;
    if (path[i] == 0 || is_path_separator(path[i])) return false;
    while (path[i] && !is_path_separator(path[i])) ++i;
    root = i;
    is_rooted = true;
  } else if (is_path_separator(path[0])) {
    is_rooted = true;
  } else if (is_drive_char(path[0]) && path[1] == u':') {
    root = 2;
    is_rooted = is_path_separator(path[2]);
  }
  if (root_length) *root_length = root;
  if (rooted) *rooted = is_rooted;
  if (name_start) {
    size_t start = root;
    for (size_t i = root; path[i]; ++i) {
      if (is_path_separator(path[i])) start = i + 1;
    }
    *name_start = start;
  }
  return true;
}

bool folder_is_literal(const char16_t* folder) {
  size_t root = 0;
  bool rooted = false;
  if (!parse_path_root(folder, &root, &rooted, nullptr) || root == 0 || !rooted) return false;
  // The root's names are checked like the rest; the device prefix of a
  // \\?\ or \\.\ path names no folder.
  size_t i = 0;
  if (is_path_separator(folder[0]))
    i = (folder[2] == u'?' || folder[2] == u'.') && is_path_separator(folder[3]) ? 4 : 2;
  for (;;) {
    size_t begin = i;
    while (folder[i] && !is_path_separator(folder[i])) ++i;
    size_t n = i - begin;
    // A separator may end the folder only where it ends the root (C:\).
    if (n == 0) return folder[i] == 0 && begin == root + 1;
    char16_t last = folder[i - 1];
    if (all_dots(folder + begin, n) || last == u'.' || last == u' ') return false;
    if (folder[i] == 0) return true;
    ++i;
  }
}

char16_t* file_directory(const char16_t* file) {
  size_t root = 0;
  size_t name_start = 0;
  if (!parse_path_root(file, &root, nullptr, &name_start)) return nullptr;
  // The separator before the file name goes, unless it ends the root:
  // C:\Tools\x.exe gives C:\Tools, C:\x.exe gives C:\ .
  size_t keep = name_start > root + 1 ? name_start - 1 : name_start;
  return wide_dup_n(wide_or_empty(file), keep);
}

bool module_name_usable(const char16_t* name, size_t length) {
  // 0 is a failure and a full work area means the name was cut. A name that
  // is not fully qualified (Wine gives "UNC\server\share\..." for a
  // program started from a share), or that names no file after its root,
  // cannot say where the program lies.
  size_t root = 0;
  size_t name_start = 0;
  bool rooted = false;
  if (length == 0 || length >= kPathWorkUnits || !parse_path_root(name, &root, &rooted, &name_start) || root == 0 ||
      !rooted || name_start <= root || name_start >= length) {
    return false;
  }
  // Nor an empty folder name (two separators in a row), which the
  // program's directory would no longer show.
  for (size_t i = root; i + 1 < length; ++i) {
    if (is_path_separator(name[i]) && is_path_separator(name[i + 1])) return false;
  }
  return true;
}

const char16_t* module_file_name(bool* known) {
  void* value = cache_get(kSlotModuleFileName);
  if (!value) {
    char16_t buffer[kPathWorkUnits];
    uint32_t n = system_module_file_name(buffer, kPathWorkUnits);
    char16_t* copy = nullptr;
    if (n < kPathWorkUnits) {
      buffer[n] = 0;
      if (module_name_usable(buffer, n)) copy = wide_dup(buffer);
    }
    value = cache_store(kSlotModuleFileName, copy);
  }
  if (known) *known = !cache_is_default(kSlotModuleFileName);
  return static_cast<const char16_t*>(value);
}

const char16_t* program_directory(bool* known) {
  void* value = cache_get(kSlotProgramDirectory);
  if (!value) {
    bool file_known = false;
    const char16_t* file = module_file_name(&file_known);
    value = cache_store(kSlotProgramDirectory, file_known ? file_directory(file) : nullptr);
  }
  if (known) *known = !cache_is_default(kSlotProgramDirectory);
  return static_cast<const char16_t*>(value);
}
