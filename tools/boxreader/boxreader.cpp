// boxreader: starts a program, reads the message box it shows (title and
// text), presses OK, waits for the program and reports its full 32-bit exit
// code. Used by the demo, by scripts that cannot read Windows windows
// themselves, and by the end-to-end check of the ARM64 launchers, whose
// driver runs outside Wine (tests/e2e/arm64_e2e_test.py). Written with C
// headers only: the ARM64 tree has no C++ library.
//
//   boxreader [--timeout MS] program [arguments...]
//
// Output (UTF-8, one field a line; a line feed in a text is shown as the two
// characters \n, carriage returns as \r):
//   box: yes|no
//   title: <title>
//   text: <text>
//   exit: <exit code in decimal>
//
//   boxreader --jobs FOLDER [--parallel N]
//
// Runs every FOLDER\NAME.job, N at a time (default 1), and writes
// FOLDER\NAME.result for each. A job is a UTF-16LE file of NUL-terminated
// texts in pairs, a key and its value:
//   line      the whole command line (required)
//   program   the program to start, given to the system apart from the line
//   set       NAME=value, added to this process's environment for the start
//   stdin, stdout, stderr   a file the program gets as that handle (stdin
//             read, the others written); with any of them the handles are
//             passed explicitly
//   handles   "none": the program starts without standard handles
//   flags     creation flags (decimal)
//   timeout   milliseconds to wait for the program's end (default 60000)
//   report    a folder: the program's tool reports into it and then waits
//             for the file named by `release` (the hidden window sequence
//             below runs in between)
//   release   that file
// The result: one line per fact, text escaped as in the probe's report
// (tools/probe/README.md):
//   start_error <code>          0: started
//   split <text>                the line as the system splits it
//                               (CommandLineToArgvW), one element a line
//   box yes|no, title <text>, text <text>   the first box, OK pressed
//   exit <code>|timeout
// and with `report`, the hidden window of the program (class SignalWindow)
// while its tool runs:
//   window found=<0|1> visible=<0|1>
//   close_refused answered=<0|1> error=<code>   WM_CLOSE, the sender giving up after 500 ms
//   close_held answered=<0|1>   WM_CLOSE sent by a sender that waits, 300 ms later
//   other_answered <0|1>        WM_NULL, meanwhile
//   close_answered answered=<0|1> result=<value>   after the tool's release and the program's end
//   window_after <0|1>          whether the window still exists then
#include <windows.h>
#include <shellapi.h>

#include <stdint.h>
#include <stdlib.h>

#include "cmdline/quote.h"
#include "report_buffer.h"
#include "text/wchar_cast.h"
#include "text/wide.h"

namespace {

// --- output text --------------------------------------------------------------

void write_all(HANDLE handle, const Buffer& text) {
  DWORD written = 0;
  if (text.length) WriteFile(handle, text.data, DWORD(text.length), &written, nullptr);
}

// --- the box --------------------------------------------------------------------

struct Box {
  bool found;
  wchar_t title[512];
  wchar_t* text;  // malloc'ed, or null
};

struct WindowSearch {
  DWORD process;
  const wchar_t* class_name;
  bool visible_only;
  HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM context) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[64];
  if (owner != search->process || !GetClassNameW(window, name, 64) || lstrcmpW(name, search->class_name) != 0 ||
      (search->visible_only && !IsWindowVisible(window))) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

HWND process_window(DWORD process, const wchar_t* class_name, bool visible_only) {
  WindowSearch search = {process, class_name, visible_only, nullptr};
  EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Reads the box of `process` if it shows one, and presses OK.
bool read_box(DWORD process, Box* box) {
  HWND window = process_window(process, L"#32770", true);
  if (!window) return false;
  if (!box->found) {
    box->found = true;
    GetWindowTextW(window, box->title, 512);
    const int capacity = 65536;
    box->text = static_cast<wchar_t*>(malloc(capacity * sizeof(wchar_t)));
    if (box->text && !GetDlgItemTextW(window, 0xFFFF, box->text, capacity)) box->text[0] = 0;
  }
  PostMessageW(window, WM_COMMAND, IDOK, 0);
  return true;
}

// Waits for the process to end, pressing OK on its boxes meanwhile (again
// every half second, in case a press was lost). False when it still runs.
bool wait_pressing_ok(HANDLE process, DWORD id, DWORD timeout_ms, Box* box) {
  DWORD start = GetTickCount();
  DWORD last_press = 0;
  while (WaitForSingleObject(process, 25) != WAIT_OBJECT_0) {
    DWORD now = GetTickCount();
    if ((!box->found || now - last_press > 500) && read_box(id, box)) last_press = now;
    if (now - start > timeout_ms) return false;
  }
  return true;
}

void put_box(Buffer* out, const Box& box) {
  put_ascii(out, box.found ? "box yes\ntitle " : "box no\n");
  if (!box.found) return;
  put_escaped(out, box.title);
  put_ascii(out, "\ntext ");
  put_escaped(out, box.text ? box.text : L"");
  put(out, '\n');
}

// --- one program, as the command line asks --------------------------------------

int run_one(int argc, wchar_t** argv) {
  DWORD timeout = 10000;
  int first = 1;
  if (argc > 2 && lstrcmpW(argv[1], L"--timeout") == 0) {
    timeout = DWORD(_wtoi(argv[2]));
    first = 3;
  }
  Buffer out = {};
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (first >= argc) {
    put_ascii(&out,
              "usage: boxreader [--timeout MS] program [arguments...]\n"
              "       boxreader --jobs FOLDER [--parallel N]\n");
    write_all(output, out);
    return 2;
  }
  char16_t* command = join_command_line(reinterpret_cast<const char16_t* const*>(argv + first));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!command ||
      !CreateProcessW(nullptr, to_wchar(command), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    put_ascii(&out, "error: cannot start the program (");
    put_decimal(&out, GetLastError());
    put_ascii(&out, ")\n");
    write_all(output, out);
    return 2;
  }
  wide_free(command);
  CloseHandle(process.hThread);

  Box box = {};
  DWORD start = GetTickCount();
  // Poll for the box while the program runs; a program that ends shows none.
  while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT && GetTickCount() - start < timeout) {
    if (read_box(process.dwProcessId, &box)) break;
  }
  put_ascii(&out, box.found ? "box: yes\n" : "box: no\n");
  if (box.found) {
    put_ascii(&out, "title: ");
    put_readable(&out, box.title, true);
    put_ascii(&out, "\ntext: ");
    put_readable(&out, box.text, true);
    put(&out, '\n');
  }
  if (WaitForSingleObject(process.hProcess, timeout) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    put_ascii(&out, "exit: timeout\n");
    write_all(output, out);
    return 3;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  put_ascii(&out, "exit: ");
  put_decimal(&out, code);
  put(&out, '\n');
  write_all(output, out);
  return 0;
}

// --- jobs -----------------------------------------------------------------------

// A job file's pairs, the texts pointing into `data`.
struct Job {
  wchar_t* data;
  size_t units;
  wchar_t name[MAX_PATH];
};

// The value of the first pair with `key` after the pair at `*from` (null
// when none), for looping over repeated keys: start with *from = 0.
const wchar_t* next_value(const Job& job, const wchar_t* key, size_t* from) {
  size_t at = *from;
  while (at < job.units) {
    const wchar_t* k = job.data + at;
    size_t key_length = size_t(lstrlenW(k));
    size_t value_at = at + key_length + 1;
    if (value_at >= job.units) return nullptr;
    const wchar_t* value = job.data + value_at;
    at = value_at + size_t(lstrlenW(value)) + 1;
    if (lstrcmpW(k, key) == 0) {
      *from = at;
      return value;
    }
  }
  return nullptr;
}

const wchar_t* value_of(const Job& job, const wchar_t* key) {
  size_t from = 0;
  return next_value(job, key, &from);
}

// This process's environment block with the job's `set` entries replacing
// or adding theirs.
wchar_t* job_environment(const Job& job) {
  wchar_t* own = GetEnvironmentStringsW();
  size_t own_units = 0;
  while (own[own_units]) own_units += size_t(lstrlenW(own + own_units)) + 1;
  size_t extra = 0, from = 0;
  while (const wchar_t* entry = next_value(job, L"set", &from)) extra += size_t(lstrlenW(entry)) + 1;
  wchar_t* block = static_cast<wchar_t*>(malloc((own_units + extra + 1) * sizeof(wchar_t)));
  if (!block) ExitProcess(251);
  size_t length = 0;
  for (size_t at = 0; at < own_units;) {
    const wchar_t* entry = own + at;
    size_t n = size_t(lstrlenW(entry));
    at += n + 1;
    // An entry the job sets again is left out (names compare without case).
    const wchar_t* equals = entry[0] ? wcschr(entry + 1, L'=') : nullptr;
    size_t name_length = equals ? size_t(equals - entry) + 1 : n;
    bool replaced = false;
    from = 0;
    while (const wchar_t* set = next_value(job, L"set", &from)) {
      replaced |= _wcsnicmp(set, entry, name_length) == 0;
    }
    if (replaced) continue;
    memcpy(block + length, entry, (n + 1) * sizeof(wchar_t));
    length += n + 1;
  }
  from = 0;
  while (const wchar_t* set = next_value(job, L"set", &from)) {
    size_t n = size_t(lstrlenW(set));
    memcpy(block + length, set, (n + 1) * sizeof(wchar_t));
    length += n + 1;
  }
  block[length] = 0;
  FreeEnvironmentStringsW(own);
  return block;
}

HANDLE open_handle(const wchar_t* path, bool write) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  return CreateFileW(path, write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool any_file(const wchar_t* folder) {
  wchar_t pattern[MAX_PATH + 8];
  wsprintfW(pattern, L"%s\\*.txt", folder);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

struct PendingClose {
  HWND window;
  LRESULT result;
  HANDLE thread;
};

DWORD WINAPI send_close(LPVOID context) {
  PendingClose* pending = static_cast<PendingClose*>(context);
  pending->result = SendMessageW(pending->window, WM_CLOSE, 0, 0);
  return 0;
}

void put_fact(Buffer* out, const char* key, const char* name, DWORD value) {
  put_ascii(out, key);
  put(out, ' ');
  if (name) {
    put_ascii(out, name);
    put(out, '=');
  }
  put_decimal(out, value);
}

// The hidden window while the tool waits for its release (see the top).
void window_sequence(const Job& job, const PROCESS_INFORMATION& process, Buffer* out) {
  const wchar_t* reports = value_of(job, L"report");
  const wchar_t* release = value_of(job, L"release");
  DWORD start = GetTickCount();
  while (!any_file(reports) && WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT &&
         GetTickCount() - start < 30000) {
  }
  // The framework starts before the tool: the window is there by now.
  HWND window = process_window(process.dwProcessId, L"SignalWindow", false);
  put_fact(out, "window", "found", window != nullptr);
  put_fact(out, "", "visible", window && IsWindowVisible(window));
  put(out, '\n');
  PendingClose pending = {window, 0, nullptr};
  if (window) {
    DWORD_PTR answer = 0;
    SetLastError(0);
    LRESULT answered = SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 500, &answer);
    put_fact(out, "close_refused", "answered", answered != 0);
    put_fact(out, "", "error", answered ? 0 : GetLastError());
    put(out, '\n');
    pending.thread = CreateThread(nullptr, 0, send_close, &pending, 0, nullptr);
    DWORD_PTR ignored = 0;
    put_fact(out, "other_answered", nullptr,
             SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored) != 0);
    put(out, '\n');
    bool held = pending.thread && WaitForSingleObject(pending.thread, 300) == WAIT_TIMEOUT;
    put_fact(out, "close_held", "answered", !held);
    put(out, '\n');
  }
  HANDLE file = CreateFileW(release, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (pending.thread) {
    WaitForSingleObject(process.hProcess, 20000);
    bool answered = WaitForSingleObject(pending.thread, 20000) == WAIT_OBJECT_0;
    put_fact(out, "close_answered", "answered", answered);
    put_fact(out, "", "result", answered ? DWORD(pending.result) : 0xFFFFFFFF);
    put(out, '\n');
    put_fact(out, "window_after", nullptr, IsWindow(window) != 0);
    put(out, '\n');
    CloseHandle(pending.thread);
  }
}

void run_job(const Job& job, Buffer* out) {
  const wchar_t* line = value_of(job, L"line");
  const wchar_t* program = value_of(job, L"program");
  const wchar_t* flags = value_of(job, L"flags");
  const wchar_t* timeout = value_of(job, L"timeout");
  const wchar_t* handles = value_of(job, L"handles");
  const wchar_t* files[3] = {value_of(job, L"stdin"), value_of(job, L"stdout"), value_of(job, L"stderr")};
  if (!line) {
    put_ascii(out, "start_error 87\n");
    return;
  }
  // CreateProcessW may write into the line.
  size_t line_units = size_t(lstrlenW(line)) + 1;
  wchar_t* writable = static_cast<wchar_t*>(malloc(line_units * sizeof(wchar_t)));
  if (!writable) ExitProcess(251);
  memcpy(writable, line, line_units * sizeof(wchar_t));
  wchar_t* environment = job_environment(job);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  HANDLE opened[3] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
  bool inherit = false;
  if (files[0] || files[1] || files[2] || (handles && lstrcmpW(handles, L"none") == 0)) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    for (int k = 0; k < 3; ++k) {
      if (files[k]) opened[k] = open_handle(files[k], k > 0);
    }
    startup.hStdInput = opened[0];
    startup.hStdOutput = opened[1];
    startup.hStdError = opened[2];
    inherit = true;
  }
  PROCESS_INFORMATION process = {};
  DWORD creation = (flags ? DWORD(_wtoi(flags)) : 0) | CREATE_UNICODE_ENVIRONMENT;
  BOOL started =
      CreateProcessW(program, writable, nullptr, nullptr, inherit, creation, environment, nullptr, &startup, &process);
  put_fact(out, "start_error", nullptr, started ? 0 : GetLastError());
  put(out, '\n');
  int count = 0;
  wchar_t** split = CommandLineToArgvW(line, &count);
  for (int i = 0; split && i < count; ++i) {
    put_ascii(out, "split ");
    put_escaped(out, split[i]);
    put(out, '\n');
  }
  LocalFree(split);
  for (HANDLE handle : opened) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  free(environment);
  free(writable);
  if (!started) return;
  CloseHandle(process.hThread);
  if (value_of(job, L"report")) window_sequence(job, process, out);
  Box box = {};
  bool ended = wait_pressing_ok(process.hProcess, process.dwProcessId, timeout ? DWORD(_wtoi(timeout)) : 60000, &box);
  put_box(out, box);
  free(box.text);
  if (ended) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    put_fact(out, "exit", nullptr, code);
    put(out, '\n');
  } else {
    TerminateProcess(process.hProcess, 0xDEAD);
    put_ascii(out, "exit timeout\n");
  }
  CloseHandle(process.hProcess);
}

struct Jobs {
  const wchar_t* folder;
  Job* list;
  LONG count;
  volatile LONG next;
};

bool load_job(const wchar_t* folder, const wchar_t* file, Job* job) {
  wchar_t path[2 * MAX_PATH];
  wsprintfW(path, L"%s\\%s", folder, file);
  HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(handle, nullptr);
  job->data = static_cast<wchar_t*>(malloc(size + 2 * sizeof(wchar_t)));
  DWORD got = 0;
  bool ok = job->data && size != INVALID_FILE_SIZE && ReadFile(handle, job->data, size, &got, nullptr) && got == size;
  CloseHandle(handle);
  if (!ok) return false;
  job->units = size / sizeof(wchar_t);
  job->data[job->units] = 0;
  job->data[job->units + 1] = 0;
  lstrcpynW(job->name, file, MAX_PATH);
  return true;
}

void write_result(const wchar_t* folder, const Job& job, const Buffer& text) {
  wchar_t stem[MAX_PATH], path[2 * MAX_PATH], temporary[2 * MAX_PATH + 8];
  lstrcpynW(stem, job.name, lstrlenW(job.name) - 3);  // without ".job"
  wsprintfW(path, L"%s\\%s.result", folder, stem);
  wsprintfW(temporary, L"%s.tmp", path);
  HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  write_all(file, text);
  CloseHandle(file);
  MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING);
}

DWORD WINAPI job_worker(LPVOID context) {
  Jobs* jobs = static_cast<Jobs*>(context);
  for (LONG i = InterlockedIncrement(&jobs->next) - 1; i < jobs->count; i = InterlockedIncrement(&jobs->next) - 1) {
    Buffer out = {};
    run_job(jobs->list[i], &out);
    write_result(jobs->folder, jobs->list[i], out);
    free(out.data);
  }
  return 0;
}

int run_jobs(const wchar_t* folder, int parallel) {
  wchar_t pattern[MAX_PATH + 8];
  wsprintfW(pattern, L"%s\\*.job", folder);
  Jobs jobs = {folder, nullptr, 0, 0};
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 2;
  do {
    Job* grown = static_cast<Job*>(realloc(jobs.list, size_t(jobs.count + 1) * sizeof(Job)));
    if (!grown) return 2;
    jobs.list = grown;
    if (load_job(folder, found.cFileName, &jobs.list[jobs.count])) ++jobs.count;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  HANDLE workers[16];
  int count = parallel < 1 ? 1 : parallel > 16 ? 16 : parallel;
  for (int w = 0; w < count; ++w) workers[w] = CreateThread(nullptr, 0, job_worker, &jobs, 0, nullptr);
  for (int w = 0; w < count; ++w) {
    if (workers[w]) {
      WaitForSingleObject(workers[w], INFINITE);
      CloseHandle(workers[w]);
    }
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && lstrcmpW(argv[1], L"--jobs") == 0) {
    int parallel = argc >= 5 && lstrcmpW(argv[3], L"--parallel") == 0 ? _wtoi(argv[4]) : 1;
    return run_jobs(argv[2], parallel);
  }
  return run_one(argc, argv);
}
