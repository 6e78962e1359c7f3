// probe: a console program that reports what it was started with (command
// line, arguments, standard handles, console window, error mode, current
// directory, own path, environment) and then behaves as its environment
// asks (exit code, wait, crash, lines on stdout/stderr). Tests start it in
// place of the launchers' tool; README.md describes the controls and the
// report.
#include <windows.h>
#include <shellapi.h>

#include <stdint.h>
#include <stdlib.h>

#include "report_buffer.h"

namespace {

void put_hex(Buffer* buffer, uint32_t value) {
  static const char kHex[] = "0123456789ABCDEF";
  put_ascii(buffer, "0x");
  bool started = false;
  for (int shift = 28; shift >= 0; shift -= 4) {
    uint32_t digit = (value >> shift) & 0xF;
    if (digit || started || shift == 0) {
      put(buffer, kHex[digit]);
      started = true;
    }
  }
}

// --- what the process received ------------------------------------------------

wchar_t* variable(const wchar_t* name) {
  DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return nullptr;
  wchar_t* value = static_cast<wchar_t*>(malloc(needed * sizeof(wchar_t)));
  if (!value) return nullptr;
  DWORD written = GetEnvironmentVariableW(name, value, needed);
  if (written >= needed) written = 0;  // changed in between: treat as empty
  value[written] = 0;
  return value;
}

bool parse_u32(const wchar_t* text, uint32_t* out) {
  if (!text || !*text) return false;
  bool negative = *text == L'-';
  if (negative) ++text;
  uint32_t base = 10;
  if (text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    base = 16;
    text += 2;
  }
  if (!*text) return false;
  uint64_t value = 0;
  for (; *text; ++text) {
    uint32_t digit;
    if (*text >= L'0' && *text <= L'9')
      digit = *text - L'0';
    else if (base == 16 && *text >= L'a' && *text <= L'f')
      digit = *text - L'a' + 10;
    else if (base == 16 && *text >= L'A' && *text <= L'F')
      digit = *text - L'A' + 10;
    else
      return false;
    if (digit >= base) return false;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return false;
  }
  *out = negative ? uint32_t(0u - uint32_t(value)) : uint32_t(value);
  return true;
}

// A text from a size-asking Win32 call: `get` receives (buffer, capacity)
// and returns the units written, or the capacity needed when it is too small.
template <typename Get>
wchar_t* fetch_text(Get get) {
  DWORD capacity = 260;
  for (int attempt = 0; attempt < 8; ++attempt) {
    wchar_t* text = static_cast<wchar_t*>(malloc(capacity * sizeof(wchar_t)));
    if (!text) return nullptr;
    DWORD written = get(text, capacity);
    if (written > 0 && written < capacity) {
      text[written] = 0;
      return text;
    }
    free(text);
    if (written == 0) return nullptr;
    capacity = written > capacity ? written + 1 : capacity * 2;
  }
  return nullptr;
}

// The kernel's name of the object behind a handle (NtQueryObject with
// ObjectNameInformation), or null.
wchar_t* object_name(HANDLE handle) {
  using QueryObject = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  QueryObject query = reinterpret_cast<QueryObject>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  if (!query) return nullptr;
  struct Name {
    USHORT length;
    USHORT maximum;
    wchar_t* buffer;
  };
  union {
    Name name;
    char bytes[4096];
  } info;
  ULONG size = 0;
  if (query(handle, 1, &info, sizeof info, &size) != 0 || !info.name.buffer) return nullptr;
  size_t count = info.name.length / sizeof(wchar_t);
  wchar_t* copy = static_cast<wchar_t*>(malloc((count + 1) * sizeof(wchar_t)));
  if (!copy) return nullptr;
  for (size_t i = 0; i < count; ++i) copy[i] = info.name.buffer[i];
  copy[count] = 0;
  return copy;
}

bool same_text(const wchar_t* a, const wchar_t* b) {
  if (!a || !b) return false;
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

struct HandleFacts {
  bool present;
  const char* type;
  bool nul;
  bool console;
};

// The NUL device is recognised by its kernel object name, compared with the
// name of a NUL handle opened here: Windows and Wine name it differently.
HandleFacts handle_facts(HANDLE handle, const wchar_t* nul_name) {
  HandleFacts facts = {false, "none", false, false};
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return facts;
  facts.present = true;
  SetLastError(0);
  DWORD type = GetFileType(handle);
  switch (type) {
    case FILE_TYPE_DISK: facts.type = "disk"; break;
    case FILE_TYPE_CHAR: facts.type = "char"; break;
    case FILE_TYPE_PIPE: facts.type = "pipe"; break;
    case FILE_TYPE_REMOTE: facts.type = "remote"; break;
    default: facts.type = GetLastError() == 0 ? "unknown" : "invalid"; break;
  }
  DWORD mode;
  facts.console = GetConsoleMode(handle, &mode) != 0;
  if (type == FILE_TYPE_CHAR && !facts.console) {
    wchar_t* name = object_name(handle);
    facts.nul = same_text(name, nul_name);
    free(name);
  }
  return facts;
}

struct Outcome {
  bool done;
  DWORD error;  // 0 when it worked
};

Outcome write_line(DWORD kind, const wchar_t* text) {
  Buffer line = {};
  // The line goes out as UTF-8, exactly as given (no escaping).
  size_t count = 0;
  while (text[count]) ++count;
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      put(&line, char(c));
      continue;
    }
    if (c < 0x800) {
      put(&line, char(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
      put(&line, char(0xE0 | (c >> 12)));
      put(&line, char(0x80 | ((c >> 6) & 0x3F)));
    } else {
      put(&line, char(0xF0 | (c >> 18)));
      put(&line, char(0x80 | ((c >> 12) & 0x3F)));
      put(&line, char(0x80 | ((c >> 6) & 0x3F)));
    }
    put(&line, char(0x80 | (c & 0x3F)));
  }
  put(&line, '\n');
  HANDLE handle = GetStdHandle(kind);
  DWORD written = 0;
  Outcome outcome = {true, 0};
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    outcome.error = ERROR_INVALID_HANDLE;
  } else if (!WriteFile(handle, line.data, DWORD(line.length), &written, nullptr)) {
    outcome.error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
  } else if (written != line.length) {
    outcome.error = ERROR_WRITE_FAULT;
  }
  free(line.data);
  return outcome;
}

Outcome read_input(Buffer* data) {
  Outcome outcome = {true, 0};
  HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    outcome.error = ERROR_INVALID_HANDLE;
    return outcome;
  }
  char chunk[4096];
  while (data->length < (1u << 20)) {
    DWORD got = 0;
    if (!ReadFile(handle, chunk, sizeof chunk, &got, nullptr)) {
      DWORD error = GetLastError();
      if (error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF) outcome.error = error;
      break;
    }
    if (got == 0) break;
    for (DWORD i = 0; i < got; ++i) put(data, chunk[i]);
  }
  return outcome;
}

void put_outcome(Buffer* report, const char* key, Outcome outcome) {
  if (!outcome.done) return;
  put_ascii(report, key);
  if (outcome.error == 0) {
    put_ascii(report, " ok\n");
  } else {
    put_ascii(report, " error ");
    put_decimal(report, outcome.error);
    put(report, '\n');
  }
}

// --- writing the report ---------------------------------------------------------

bool write_all(HANDLE handle, const char* data, size_t length) {
  while (length > 0) {
    DWORD chunk = length > 0x10000 ? 0x10000 : DWORD(length);
    DWORD written = 0;
    if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    length -= written;
  }
  return true;
}

// Whole text to standard output: through WriteConsoleW on a console (so that
// it reads right whatever the code page), else as the UTF-8 bytes.
void write_stdout(const Buffer* text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD mode;
  if (GetConsoleMode(out, &mode) && text->length < 0x10000000) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text->data, int(text->length), nullptr, 0);
    wchar_t* wide = units > 0 ? static_cast<wchar_t*>(malloc(size_t(units) * sizeof(wchar_t))) : nullptr;
    if (wide) {
      MultiByteToWideChar(CP_UTF8, 0, text->data, int(text->length), wide, units);
      DWORD written;
      WriteConsoleW(out, wide, DWORD(units), &written, nullptr);
      free(wide);
      return;
    }
  }
  write_all(out, text->data, text->length);
}

wchar_t* copy_text(const wchar_t* text, size_t extra) {
  size_t length = 0;
  while (text[length]) ++length;
  wchar_t* copy = static_cast<wchar_t*>(malloc((length + extra + 1) * sizeof(wchar_t)));
  if (!copy) return nullptr;
  for (size_t i = 0; i <= length; ++i) copy[i] = text[i];
  return copy;
}

void append_text(wchar_t* dest, const wchar_t* text) {
  while (*dest) ++dest;
  while ((*dest++ = *text++) != 0) {
  }
}

// Written to a temporary name and renamed, so that a reader never sees half
// a report. A folder as the target means one file per process id.
bool write_report_file(const wchar_t* target, const Buffer* report) {
  wchar_t pid[16];
  wchar_t* digits = pid + 15;
  *digits = 0;
  DWORD value = GetCurrentProcessId();
  do {
    *--digits = wchar_t(L'0' + value % 10);
    value /= 10;
  } while (value);

  wchar_t* path;
  DWORD attributes = GetFileAttributesW(target);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    path = copy_text(target, 32);
    if (path) {
      size_t n = 0;
      while (path[n]) ++n;
      if (n > 0 && path[n - 1] != L'\\' && path[n - 1] != L'/') append_text(path, L"\\");
      append_text(path, digits);
      append_text(path, L".txt");
    }
  } else {
    path = copy_text(target, 0);
  }
  wchar_t* temporary = path ? copy_text(path, 32) : nullptr;
  bool ok = false;
  if (temporary) {
    append_text(temporary, L".");
    append_text(temporary, digits);
    append_text(temporary, L".tmp");
    HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      bool written = write_all(file, report->data, report->length);
      CloseHandle(file);
      ok = written && MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING);
      if (!ok) {
        DWORD error = GetLastError();
        DeleteFileW(temporary);
        SetLastError(error);
      }
    }
  }
  free(temporary);
  free(path);
  return ok;
}

// --- the two forms of the report ---------------------------------------------

struct Facts {
  const wchar_t* command_line;
  wchar_t** argv;
  int argc;
  HandleFacts handles[3];
  bool console_attached;
  bool console_window;
  UINT error_mode;
  wchar_t* directory;
  wchar_t* module;
  wchar_t* environment;  // GetEnvironmentStringsW block
  wchar_t* show;         // PROBE_SHOW: names separated by ';'
  Buffer input;
  Outcome input_outcome, output_outcome, error_outcome;
};

const char* const kHandleNames[3] = {"input", "output", "error"};

// Length of an entry's name: up to the first '=' after the first unit.
size_t name_length(const wchar_t* entry) {
  size_t n = entry[0] ? 1 : 0;
  while (entry[n] && entry[n] != L'=') ++n;
  return n;
}

template <typename Visit>
void for_each_shown(const wchar_t* show, Visit visit) {
  if (!show) return;
  const wchar_t* start = show;
  for (const wchar_t* p = show;; ++p) {
    if (*p == L';' || *p == 0) {
      if (p > start) {
        size_t n = size_t(p - start);
        wchar_t* name = static_cast<wchar_t*>(malloc((n + 1) * sizeof(wchar_t)));
        if (name) {
          for (size_t i = 0; i < n; ++i) name[i] = start[i];
          name[n] = 0;
          visit(name);
          free(name);
        }
      }
      if (*p == 0) break;
      start = p + 1;
    }
  }
}

void machine_report(const Facts& f, Buffer* out) {
  put_ascii(out, "probe 1\npid ");
  put_decimal(out, GetCurrentProcessId());
  put_ascii(out, "\ncommand_line ");
  put_escaped(out, f.command_line);
  put_ascii(out, "\nargc ");
  put_decimal(out, uint32_t(f.argc));
  put(out, '\n');
  for (int i = 0; i < f.argc; ++i) {
    put_ascii(out, "arg ");
    put_escaped(out, f.argv[i]);
    put(out, '\n');
  }
  for (int k = 0; k < 3; ++k) {
    const HandleFacts& h = f.handles[k];
    put_ascii(out, "handle ");
    put_ascii(out, kHandleNames[k]);
    put_ascii(out, h.present ? " present=1 type=" : " present=0 type=");
    put_ascii(out, h.type);
    put_ascii(out, h.nul ? " nul=1" : " nul=0");
    put_ascii(out, h.console ? " console=1\n" : " console=0\n");
  }
  put_ascii(out, f.console_attached ? "console 1\n" : "console 0\n");
  put_ascii(out, f.console_window ? "console_window 1\n" : "console_window 0\n");
  put_ascii(out, "error_mode ");
  put_hex(out, f.error_mode);
  put_ascii(out, "\ncurrent_directory ");
  put_escaped(out, f.directory);
  put_ascii(out, "\nmodule ");
  put_escaped(out, f.module);
  put(out, '\n');
  for (const wchar_t* entry = f.environment; entry && *entry;) {
    size_t length = 0;
    while (entry[length]) ++length;
    put_ascii(out, "env_name ");
    put_escaped(out, entry, name_length(entry));
    put(out, '\n');
    entry += length + 1;
  }
  for_each_shown(f.show, [out](const wchar_t* name) {
    put_ascii(out, "variable ");
    put_escaped(out, name);
    wchar_t* value = variable(name);
    if (value || GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
      put_ascii(out, "\nvalue ");
      put_escaped(out, value);
      put(out, '\n');
    } else {
      put_ascii(out, "\nabsent\n");
    }
    free(value);
  });
  if (f.input_outcome.done) {
    put_outcome(out, "stdin_read", f.input_outcome);
    put_ascii(out, "stdin_data ");
    for (size_t i = 0; i < f.input.length; ++i) {
      char16_t unit = static_cast<unsigned char>(f.input.data[i]);
      probe_escape(&unit, 1, [out](char c) { put(out, c); });
    }
    put(out, '\n');
  }
  put_outcome(out, "stdout_write", f.output_outcome);
  put_outcome(out, "stderr_write", f.error_outcome);
  put_ascii(out, "end\n");
}

void person_report(const Facts& f, Buffer* out) {
  static const char* const kLabels[3] = {"standard input:  ", "standard output: ", "standard error:  "};
  put_ascii(out, "probe: process ");
  put_decimal(out, GetCurrentProcessId());
  put_ascii(out, "\ncommand line: ");
  put_readable(out, f.command_line);
  put_ascii(out, "\narguments: ");
  put_decimal(out, uint32_t(f.argc));
  put(out, '\n');
  for (int i = 0; i < f.argc; ++i) {
    put_ascii(out, "  [");
    put_decimal(out, uint32_t(i));
    put_ascii(out, "] ");
    if (f.argv[i][0] == 0) put_ascii(out, "(empty)");
    put_readable(out, f.argv[i]);
    put(out, '\n');
  }
  for (int k = 0; k < 3; ++k) {
    const HandleFacts& h = f.handles[k];
    put_ascii(out, kLabels[k]);
    if (!h.present)
      put_ascii(out, "none");
    else if (h.console)
      put_ascii(out, "console");
    else if (h.nul)
      put_ascii(out, "NUL device");
    else
      put_ascii(out, h.type);
    put(out, '\n');
  }
  put_ascii(out, !f.console_attached ? "console: none\n"
                 : f.console_window  ? "console: attached, with a window\n"
                                     : "console: attached, no window\n");
  put_ascii(out, "error mode: ");
  put_hex(out, f.error_mode);
  put_ascii(out, "\ncurrent directory: ");
  put_readable(out, f.directory);
  put_ascii(out, "\nprogram: ");
  put_readable(out, f.module);
  uint32_t count = 0;
  for (const wchar_t* entry = f.environment; entry && *entry; ++count) {
    while (*entry) ++entry;
    ++entry;
  }
  put_ascii(out, "\nenvironment: ");
  put_decimal(out, count);
  put_ascii(out, " variables\n");
  for_each_shown(f.show, [out](const wchar_t* name) {
    put_ascii(out, "  ");
    put_readable(out, name);
    wchar_t* value = variable(name);
    if (value || GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
      put_ascii(out, " = ");
      put_readable(out, value);
      put(out, '\n');
    } else {
      put_ascii(out, " is not set\n");
    }
    free(value);
  });
}

LONG WINAPI end_with_exception_code(EXCEPTION_POINTERS* exception) {
  TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

uint32_t number_variable(const wchar_t* name, uint32_t fallback) {
  wchar_t* text = variable(name);
  uint32_t value = fallback;
  if (text && !parse_u32(text, &value)) value = fallback;
  free(text);
  return value;
}

}  // namespace

int wmain() {
  Facts f = {};
  f.command_line = GetCommandLineW();
  f.argv = CommandLineToArgvW(f.command_line, &f.argc);
  if (!f.argv) f.argc = 0;

  HANDLE nul = CreateFileW(L"\\\\.\\NUL", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  wchar_t* nul_name = nul != INVALID_HANDLE_VALUE ? object_name(nul) : nullptr;
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  static const DWORD kKinds[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int k = 0; k < 3; ++k) f.handles[k] = handle_facts(GetStdHandle(kKinds[k]), nul_name);
  free(nul_name);

  // A console without a window still answers to CONOUT$.
  HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  f.console_attached = console != INVALID_HANDLE_VALUE;
  if (f.console_attached) CloseHandle(console);
  f.console_window = GetConsoleWindow() != nullptr;
  f.error_mode = GetErrorMode();
  f.directory = fetch_text([](wchar_t* text, DWORD capacity) { return GetCurrentDirectoryW(capacity, text); });
  f.module = fetch_text([](wchar_t* text, DWORD capacity) {
    DWORD n = GetModuleFileNameW(nullptr, text, capacity);
    return n >= capacity ? capacity * 2 : n;  // cut short: ask for more room
  });
  f.environment = GetEnvironmentStringsW();
  f.show = variable(L"PROBE_SHOW");

  wchar_t* read = variable(L"PROBE_STDIN");
  if (read) f.input_outcome = read_input(&f.input);
  free(read);
  wchar_t* line = variable(L"PROBE_STDOUT");
  if (line) f.output_outcome = write_line(STD_OUTPUT_HANDLE, line);
  free(line);
  line = variable(L"PROBE_STDERR");
  if (line) f.error_outcome = write_line(STD_ERROR_HANDLE, line);
  free(line);

  uint32_t exit_code = number_variable(L"PROBE_EXIT", 0);
  wchar_t* target = variable(L"PROBE_REPORT");
  Buffer report = {};
  if (!target) {
    person_report(f, &report);
    write_stdout(&report);
  } else {
    machine_report(f, &report);
    if (same_text(target, L"-")) {
      write_all(GetStdHandle(STD_OUTPUT_HANDLE), report.data, report.length);
    } else if (!write_report_file(target, &report)) {
      Buffer message = {};
      put_ascii(&message, "probe: cannot write the report to ");
      put_escaped(&message, target);
      put_ascii(&message, " (error ");
      put_decimal(&message, GetLastError());
      put_ascii(&message, ")\n");
      write_all(GetStdHandle(STD_ERROR_HANDLE), message.data, message.length);
      free(message.data);
    }
  }
  free(report.data);
  free(target);

  uint32_t sleep = number_variable(L"PROBE_SLEEP", 0);
  if (sleep) Sleep(sleep);
  wchar_t* wait_for = variable(L"PROBE_WAIT_FOR");
  if (wait_for) {
    uint32_t limit = number_variable(L"PROBE_WAIT_LIMIT", 120000);
    DWORD start = GetTickCount();
    while (GetFileAttributesW(wait_for) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < limit) Sleep(10);
    free(wait_for);
  }

  wchar_t* crash = variable(L"PROBE_CRASH");
  if (crash && crash[0] == L'1') {
    // No crash dialog or debugger (Wine would start one): the process ends
    // with the exception code, as an unattended crash does on Windows.
    SetUnhandledExceptionFilter(end_with_exception_code);
    volatile uintptr_t address = 0;  // opaque to the compiler: a real access violation, no trap
    *reinterpret_cast<volatile int*>(address) = 1;
  }
  free(crash);
  ExitProcess(exit_code);
}
