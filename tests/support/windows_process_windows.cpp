#include "support/windows_process.h"

#include <atomic>
#include <utility>

#include "support/test_support.h"

namespace {

bool is_handle(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

HANDLE inheritable_copy(HANDLE h) {
  if (!is_handle(h)) return h;
  HANDLE copy = nullptr;
  HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, h, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) return nullptr;
  return copy;
}

// A pipe whose child end (read end for input, write end for output) is
// inheritable and whose parent end is not.
bool child_pipe(bool child_reads, HANDLE* parent_end, HANDLE* child_end) {
  HANDLE read, write;
  if (!CreatePipe(&read, &write, nullptr, 0)) return false;
  *parent_end = child_reads ? write : read;
  HANDLE child = child_reads ? read : write;
  *child_end = inheritable_copy(child);
  CloseHandle(child);
  return *child_end != nullptr;
}

// Reads until every write end is closed (true). Gives up (false) once
// `timeout_ms` has passed, counted from the start, or with `since` from the
// moment *since turns true.
bool drain_pipe(HANDLE pipe, std::string* into, const std::atomic<bool>* since, DWORD timeout_ms) {
  char chunk[4096];
  DWORD start = GetTickCount();
  bool counting = since == nullptr;
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return GetLastError() == ERROR_BROKEN_PIPE;
    if (available > 0) {
      DWORD got = 0;
      if (!ReadFile(pipe, chunk, available < sizeof chunk ? available : DWORD(sizeof chunk), &got, nullptr)) {
        return GetLastError() == ERROR_BROKEN_PIPE;
      }
      into->append(chunk, got);
      continue;
    }
    if (!counting && since->load()) {
      counting = true;
      start = GetTickCount();
    }
    if (counting && GetTickCount() - start >= timeout_ms) return false;
    Sleep(2);
  }
}

}  // namespace

// --- command lines ---------------------------------------------------------------

// --- running programs ---------------------------------------------------------------

TestProcess::TestProcess(const RunOptions& options) {
  std::u16string line = options.command_line.empty() ? quoted_command_line(options.argv) : options.command_line;
  std::vector<wchar_t> writable(line.begin(), line.end());
  writable.push_back(0);

  std::u16string block = environment_block(options.environment);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  HANDLE child_ends[3] = {nullptr, nullptr, nullptr};
  HANDLE input_write = nullptr;
  bool explicit_handles = is_handle(options.std_input) || is_handle(options.std_output) ||
                          is_handle(options.std_error) || options.std_input == INVALID_HANDLE_VALUE ||
                          options.std_output == INVALID_HANDLE_VALUE || options.std_error == INVALID_HANDLE_VALUE;
  if (explicit_handles || options.capture_output || options.capture_error || options.feed_input) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    const HANDLE given[3] = {options.std_input, options.std_output, options.std_error};
    const DWORD kinds[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int k = 0; k < 3; ++k) {
      if (k == 0 && options.feed_input) {
        if (!child_pipe(true, &input_write, &child_ends[0])) start_error_ = GetLastError();
      } else if (k == 1 && options.capture_output) {
        if (!child_pipe(false, &output_read_, &child_ends[1])) start_error_ = GetLastError();
      } else if (k == 2 && options.capture_error) {
        if (!child_pipe(false, &error_read_, &child_ends[2])) start_error_ = GetLastError();
      } else if (explicit_handles) {
        child_ends[k] = inheritable_copy(given[k]);
      } else {
        child_ends[k] = inheritable_copy(GetStdHandle(kinds[k]));
      }
    }
    startup.hStdInput = child_ends[0];
    startup.hStdOutput = child_ends[1];
    startup.hStdError = child_ends[2];
  }

  PROCESS_INFORMATION info = {};
  if (start_error_ == 0) {
    DWORD flags = options.creation_flags | (options.use_environment ? CREATE_UNICODE_ENVIRONMENT : 0);
    start_error_ = retry_wine_start([&]() -> DWORD {
      if (CreateProcessW(options.application.empty() ? nullptr : wide(options.application), writable.data(), nullptr,
                         nullptr, TRUE, flags, options.use_environment ? const_cast<char16_t*>(block.data()) : nullptr,
                         options.directory.empty() ? nullptr : wide(options.directory), &startup, &info)) {
        return 0;
      }
      return GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    });
  }
  for (HANDLE h : child_ends) {
    if (is_handle(h)) CloseHandle(h);
  }
  if (start_error_ != 0) {
    if (input_write) CloseHandle(input_write);
    return;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  id_ = info.dwProcessId;
  // The readers stop at the end of the output, or a while after the child
  // has ended if something else keeps the pipe open.
  if (output_read_) output_reader_ = std::thread(drain_pipe, output_read_, &output_, &ended_, 10000);
  if (error_read_) error_reader_ = std::thread(drain_pipe, error_read_, &error_, &ended_, 10000);
  if (input_write) {
    input_writer_ = std::thread([input_write, text = options.input] {
      DWORD written;
      size_t at = 0;
      while (at < text.size() && WriteFile(input_write, text.data() + at, DWORD(text.size() - at), &written, nullptr) &&
             written > 0) {
        at += written;
      }
      CloseHandle(input_write);
    });
  }
}

TestProcess::~TestProcess() {
  if (process_ && WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_, 0xDEAD);
    WaitForSingleObject(process_, 10000);
  }
  finish_readers();
  if (process_) CloseHandle(process_);
  if (output_read_) CloseHandle(output_read_);
  if (error_read_) CloseHandle(error_read_);
}

void TestProcess::finish_readers() {
  ended_ = true;
  if (output_reader_.joinable()) output_reader_.join();
  if (error_reader_.joinable()) error_reader_.join();
  if (input_writer_.joinable()) input_writer_.join();
}

bool TestProcess::wait(DWORD timeout_ms) {
  if (!process_) return true;
  if (WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return false;
  finish_readers();
  return true;
}

DWORD TestProcess::exit_code() {
  if (!process_) return 0xFFFFFFFF;
  wait(INFINITE);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process_, &code);
  return code;
}

void TestProcess::terminate(UINT code) {
  if (process_) TerminateProcess(process_, code);
}

const std::string& TestProcess::output() {
  wait(INFINITE);
  return output_;
}

const std::string& TestProcess::error_output() {
  wait(INFINITE);
  return error_;
}

RunResult run_process(const RunOptions& options, DWORD timeout_ms) {
  RunResult result;
  TestProcess child(options);
  result.start_error = child.start_error();
  if (!child.started()) return result;
  result.id = child.id();
  result.finished = child.wait(timeout_ms);
  if (!result.finished) {
    child.terminate(0xDEAD);
    child.wait(INFINITE);
  }
  result.exit_code = child.exit_code();
  result.output = child.output();
  result.error_output = child.error_output();
  return result;
}

// --- environment ----------------------------------------------------------------------

std::vector<std::u16string> current_environment() {
  std::vector<std::u16string> entries;
  wchar_t* block = GetEnvironmentStringsW();
  if (!block) return entries;
  for (const wchar_t* p = block; *p;) {
    std::u16string entry = u16(p);
    p += entry.size() + 1;
    entries.push_back(entry);
  }
  FreeEnvironmentStringsW(block);
  return entries;
}

std::u16string environment_name(const std::u16string& entry) {
  size_t eq = entry.find(u'=', entry.empty() ? 0 : 1);
  return eq == std::u16string::npos ? entry : entry.substr(0, eq);
}

namespace {
struct WindowSearch {
  DWORD pid;
  const std::u16string* class_name;
  HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM param) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->pid) return TRUE;
  wchar_t name[256];
  if (GetClassNameW(window, name, 256) <= 0 || u16(name) != *search->class_name) return TRUE;
  search->found = window;
  return FALSE;
}
}  // namespace

HWND top_level_window(DWORD pid, const std::u16string& class_name) {
  WindowSearch search = {pid, &class_name, nullptr};
  EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

SC_HANDLE open_service_manager(DWORD access) {
  for (int attempt = 1;; ++attempt) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, access);
    if (manager || GetLastError() != RPC_S_SERVER_TOO_BUSY || attempt == 20) return manager;
    Sleep(250);
  }
}

std::u16string environment_text(const wchar_t* name) {
  wchar_t value[32768];
  DWORD n = GetEnvironmentVariableW(name, value, 32768);
  return n > 0 && n < 32768 ? u16(value) : u"";
}

std::u16string environment_block(const std::vector<std::u16string>& entries) {
  std::u16string block;
  for (const std::u16string& entry : entries) block += entry + u'\0';
  if (block.empty()) block += u'\0';
  return block + u'\0';
}

namespace {
bool same_name(const std::u16string& a, const std::u16string& b) {
  return CompareStringOrdinal(wide(a), int(a.size()), wide(b), int(b.size()), TRUE) == CSTR_EQUAL;
}
}  // namespace

std::vector<std::u16string> environment_with(const std::vector<std::u16string>& changes,
                                             const std::vector<std::u16string>& removals) {
  std::vector<std::u16string> entries = current_environment();
  std::vector<std::u16string> result;
  for (const std::u16string& entry : entries) {
    std::u16string name = environment_name(entry);
    bool drop = false;
    for (const std::u16string& r : removals) drop = drop || same_name(r, name);
    for (const std::u16string& c : changes) drop = drop || same_name(environment_name(c), name);
    if (!drop) result.push_back(entry);
  }
  for (const std::u16string& c : changes) result.push_back(c);
  return result;
}

// --- paths and files ----------------------------------------------------------------

std::u16string windows_path(const std::string& unix_path) {
  using ToDos = WCHAR*(CDECL*)(const char*);
  auto to_dos = reinterpret_cast<ToDos>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (to_dos) {
    WCHAR* dos = to_dos(unix_path.c_str());
    if (dos) {
      std::u16string result = u16(dos);
      HeapFree(GetProcessHeap(), 0, dos);
      return result;
    }
  }
  std::u16string result = u"Z:";
  for (char c : unix_path) result += c == '/' ? u'\\' : char16_t(static_cast<unsigned char>(c));
  return result;
}

std::string unix_path(const std::u16string& windows_path) {
  using ToUnix = char*(CDECL*)(const WCHAR*);
  auto to_unix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (to_unix) {
    char* name = to_unix(wide(windows_path));
    if (name) {
      std::string result = name;
      HeapFree(GetProcessHeap(), 0, name);
      return result;
    }
  }
  std::string result;
  size_t start = windows_path.size() >= 2 && windows_path[1] == u':' ? 2 : 0;
  for (size_t i = start; i < windows_path.size(); ++i) {
    result += windows_path[i] == u'\\' ? '/' : char(windows_path[i]);
  }
  return result;
}

std::u16string this_program_path() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
    if (n == 0) return u"";
    if (n < buffer.size()) return u16(buffer.data());
    buffer.resize(buffer.size() * 2);
  }
}

std::u16string this_program_directory() {
  std::u16string path = this_program_path();
  size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? u"" : path.substr(0, slash);
}

std::u16string join_path(const std::u16string& a, const std::u16string& b) {
  if (a.empty()) return b;
  if (a.back() == u'\\' || a.back() == u'/') return a + b;
  return a + u'\\' + b;
}

std::u16string full_path(const std::u16string& path) {
  DWORD needed = GetFullPathNameW(wide(path), 0, nullptr, nullptr);
  if (needed == 0) return u"";
  std::vector<wchar_t> buffer(needed + 1);
  DWORD n = GetFullPathNameW(wide(path), DWORD(buffer.size()), buffer.data(), nullptr);
  if (n == 0 || n >= buffer.size()) return u"";
  return u16(buffer.data());
}

bool file_exists(const std::u16string& path) { return GetFileAttributesW(wide(path)) != INVALID_FILE_ATTRIBUTES; }

bool read_file(const std::u16string& path, std::string* bytes) {
  bytes->clear();
  HANDLE file = CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char chunk[65536];
  DWORD got;
  bool ok;
  while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr)) && got > 0) bytes->append(chunk, got);
  CloseHandle(file);
  return ok;
}

bool write_file(const std::u16string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size());
  return CloseHandle(file) && ok;
}

bool copy_file(const std::u16string& from, const std::u16string& to) {
  return CopyFileW(wide(from), wide(to), FALSE) != 0;
}

bool wait_for_file(const std::u16string& path, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (!file_exists(path)) {
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(10);
  }
  return true;
}

bool remove_tree(const std::u16string& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(wide(join_path(path, u"*")), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::u16string name = u16(found.cFileName);
      if (name == u"." || name == u"..") continue;
      std::u16string child = join_path(path, name);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        SetFileAttributesW(wide(child), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(wide(child));
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(wide(path));
  return !file_exists(path);
}

TempDir::TempDir(const std::u16string& tag) {
  static std::atomic<unsigned> counter{0};
  wchar_t base[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH) return;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::u16string name = u"launchers-" + tag + u"-";
    for (char c : std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + "-" +
                      std::to_string(GetTickCount() % 100000)) {
      name += char16_t(c);
    }
    std::u16string candidate = join_path(u16(base), name);
    if (CreateDirectoryW(wide(candidate), nullptr)) {
      path_ = candidate;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

TempDir::~TempDir() {
  if (!path_.empty()) remove_tree(path_);
}

// --- handles ---------------------------------------------------------------------------

DWORD handle_count() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
  // Wine answers the call above with 0; its system-wide handle list (in
  // Wine's layout, with a full process id) is complete.
  using QuerySystem = LONG(NTAPI*)(ULONG, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<QuerySystem>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return 0;
  struct Entry {
    ULONG process_id;
    UCHAR type;
    UCHAR flags;
    USHORT handle;
    void* object;
    ULONG access;
  };
  std::vector<char> buffer(1 << 16);
  for (int attempt = 0; attempt < 12; ++attempt) {
    ULONG needed = 0;
    LONG status = query(16 /* SystemHandleInformation */, buffer.data(), ULONG(buffer.size()), &needed);
    if (status == LONG(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
      buffer.resize(buffer.size() * 2 > needed ? buffer.size() * 2 : needed + 4096);
      continue;
    }
    if (status != 0) return 0;
    ULONG total = *reinterpret_cast<const ULONG*>(buffer.data());
    const Entry* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
    DWORD self = GetCurrentProcessId();
    for (ULONG i = 0; i < total; ++i) count += entries[i].process_id == self;
    return count;
  }
  return 0;
}

TestPipe::TestPipe() {
  if (!CreatePipe(&read, &write, nullptr, 0)) read = write = nullptr;
}

TestPipe::~TestPipe() {
  close_read();
  close_write();
}

void TestPipe::close_read() {
  if (read) CloseHandle(read);
  read = nullptr;
}

void TestPipe::close_write() {
  if (write) CloseHandle(write);
  write = nullptr;
}

bool TestPipe::read_all(std::string* text, DWORD timeout_ms) {
  text->clear();
  return read && drain_pipe(read, text, nullptr, timeout_ms);
}

HANDLE open_nul_device() {
  return CreateFileW(L"\\\\.\\NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

// --- programs the tests run -------------------------------------------------------------

std::u16string test_program(const std::u16string& in_build_tree, const wchar_t* variable) {
  if (variable) {
    wchar_t given[MAX_PATH * 4];
    DWORD n = GetEnvironmentVariableW(variable, given, MAX_PATH * 4);
    if (n > 0 && n < MAX_PATH * 4) return given[0] == L'/' ? windows_path(utf8(u16(given))) : u16(given);
  }
  std::u16string relative = in_build_tree;
  for (char16_t& c : relative) {
    if (c == u'/') c = u'\\';
  }
  size_t slash = relative.find_last_of(u'\\');
  std::u16string beside =
      join_path(this_program_directory(), slash == std::u16string::npos ? relative : relative.substr(slash + 1));
  if (file_exists(beside)) return beside;
  return full_path(join_path(this_program_directory(), relative));
}

std::u16string probe_program() { return test_program(u"../../tools/probe/probe.exe"); }

bool load_probe_report(const std::u16string& path, ProbeReport* report, std::string* error) {
  std::string text;
  if (!read_file(path, &text)) {
    *error = "cannot read the report file";
    return false;
  }
  return parse_probe_report(text, report, error);
}
