// Path parsing, normalising and resolving, and the program's own file and
// directory. '\' and '/' are separators on input, '\' on output; capacities
// count units including the terminator.
#pragma once

#include <cstddef>

// The unit count (terminator included) of the work area in which paths are
// resolved and worked on in place, and of the program's own file name.
constexpr size_t kPathWorkUnits = 300;

// Root of a path: UNC \\server\share (root ends before the separator after
// the share), a single leading separator (length 0, rooted), "X:\" (2,
// rooted), "X:" (2, not rooted), else relative (0, not rooted); X is an
// ASCII letter or digit. Fails on a malformed UNC prefix. Out-parameters may
// be null.
[[nodiscard]] bool parse_path_root(const char16_t* path, size_t* root_length, bool* rooted, size_t* name_start);

// Canonical form: one separator kind, no empty, "." or ".." components (a
// component of n dots goes up n-1 levels). `dest` may be `source`. Fails
// when the result (terminator included) does not fit the capacity, or the
// 300-unit work area when working in place; never writes past either.
[[nodiscard]] bool normalize_path(const char16_t* source, char16_t* dest, size_t capacity);

// The current directory of a drive (ASCII letter), through the system; true
// only when the whole result fits.
[[nodiscard]] bool drive_current_directory(char16_t drive, char16_t* dest, size_t capacity);

// Resolves `path` against `base` (or the current directory when null) and
// normalises it. `dest` may be `path`. Fails on malformed roots, an
// unreadable base, or a result that does not fit (relative results are
// limited to 300 units).
[[nodiscard]] bool resolve_path(const char16_t* base, const char16_t* path, char16_t* dest, size_t capacity);

// The directory of a file path: the file name and the separator before it
// removed, except a separator that ends the root (C:\x.exe gives C:\,
// \\srv\share\x.exe gives \\srv\share\). New string (wide_free); null
// for a malformed root or when memory is lacking.
[[nodiscard]] char16_t* file_directory(const char16_t* file);

// True when Windows takes `folder` as written: a drive root or a UNC root
// (the \\?\ and \\.\ forms too) followed by components that path
// normalisation leaves alone: none empty (a final separator only right
// after the root, as in C:\ or \\srv\share\), none made
// only of dots, none ending in a dot or a space. A file name put after such
// a folder names a file inside it; after any other, the system could climb
// out of it (C:\a\...\x is C:\x to some of its calls).
bool folder_is_literal(const char16_t* folder);

// True when `name` (`length` units), the system's name for the program's
// own file, can say where the program lies: neither empty nor cut (shorter
// than the work area), fully qualified (a drive root or a UNC root), with
// a file name after the root and no empty folder name on the way.
bool module_name_usable(const char16_t* name, size_t length);

// The program file's full path and its directory, read once and cached;
// never null. When they cannot be determined (also when the system gives a
// name that is not fully qualified: no drive root or UNC root) the defaults
// "\_" and "\" are returned and *known (when given) is false.
const char16_t* module_file_name(bool* known = nullptr);
const char16_t* program_directory(bool* known = nullptr);
