#include "e2e_support.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

// Paths near or beyond MAX_PATH are handed to the file functions in their
// \\?\ form, which has no length limit.
std::u16string file_api_path(const std::u16string& path) {
  bool absolute = path.size() > 2 && path[1] == u':' && path[2] == u'\\';
  if (path.size() < 240 || !absolute) return path;
  return u"\\\\?\\" + path;
}

// Every finished report in `folder` (the tool writes <pid>.txt through a
// temporary name, so a .txt file is always whole).
bool collect_reports(const std::u16string& folder, std::vector<ProbeReport>* reports, std::string* failure) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(wide(join_path(folder, u"*.txt")), &found);
  if (search == INVALID_HANDLE_VALUE) return true;
  bool ok = true;
  do {
    std::u16string name = u16(found.cFileName);
    if (name.size() < 4 || name.compare(name.size() - 4, 4, u".txt") != 0) continue;
    ProbeReport report;
    std::string error;
    if (!load_probe_report(join_path(folder, name), &report, &error)) {
      *failure += "unreadable tool report " + utf8(name) + ": " + error + "\n";
      ok = false;
      continue;
    }
    reports->push_back(report);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return ok;
}

// The parts of ntdll's process creation used below (stable since NT 4).
struct NtText {
  USHORT length;
  USHORT maximum;
  const char16_t* buffer;
};
struct NtUserProcessInformation {
  ULONG size;
  HANDLE process;
  HANDLE thread;
  HANDLE client_process;
  HANDLE client_thread;
  unsigned char image_information[64];
};
using CreateProcessParameters = LONG(NTAPI*)(void** parameters, NtText* image, NtText* dll_path, NtText* directory,
                                             NtText* command_line, void* environment, NtText* title, NtText* desktop,
                                             NtText* shell_info, NtText* runtime_data);
using DestroyProcessParameters = LONG(NTAPI*)(void* parameters);
using CreateUserProcess = LONG(NTAPI*)(NtText* nt_image, ULONG attributes, void* parameters, void* process_security,
                                       void* thread_security, HANDLE parent, BOOLEAN inherit_handles, HANDLE debug_port,
                                       HANDLE exception_port, NtUserProcessInformation* info);

NtText nt_text(const std::u16string& text) {
  return {USHORT(text.size() * 2), USHORT(text.size() * 2 + 2), text.c_str()};
}

}  // namespace

bool start_natively(const std::u16string& program, const std::u16string& command_line, const std::u16string& directory,
                    const std::vector<std::u16string>& environment, HANDLE* process, DWORD* id, std::string* failure) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto create_parameters = reinterpret_cast<CreateProcessParameters>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlCreateProcessParameters")));
  auto destroy_parameters = reinterpret_cast<DestroyProcessParameters>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlDestroyProcessParameters")));
  auto create_process =
      reinterpret_cast<CreateUserProcess>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlCreateUserProcess")));
  if (!create_parameters || !destroy_parameters || !create_process) {
    *failure = "ntdll lacks the process creation calls";
    return false;
  }
  std::u16string block = environment_block(environment);
  std::u16string nt_program = u"\\??\\" + program;
  std::u16string current = directory.empty() ? full_path(u".") : directory;
  NtText image = nt_text(program), nt_image = nt_text(nt_program), line = nt_text(command_line),
         folder = nt_text(current);
  void* parameters = nullptr;
  LONG status =
      create_parameters(&parameters, &image, nullptr, &folder, &line, &block[0], nullptr, nullptr, nullptr, nullptr);
  if (status != 0) {
    *failure = "RtlCreateProcessParameters failed: status " + std::to_string(status);
    return false;
  }
  NtUserProcessInformation info = {};
  info.size = sizeof info;
  status = create_process(&nt_image, 0x40 /* OBJ_CASE_INSENSITIVE */, parameters, nullptr, nullptr, nullptr, FALSE,
                          nullptr, nullptr, &info);
  destroy_parameters(parameters);
  if (status != 0) {
    *failure = "RtlCreateUserProcess failed: status " + std::to_string(status);
    return false;
  }
  // The first thread is created suspended.
  ResumeThread(info.thread);
  CloseHandle(info.thread);
  *process = info.process;
  *id = DWORD(reinterpret_cast<uintptr_t>(info.client_process));
  return true;
}

const std::vector<std::u16string> kControlledVariables = {
    u"VARNO_USERTEXTTESTMODE",
    u"PROBE_REPORT",
    u"PROBE_EXIT",
    u"PROBE_STDOUT",
    u"PROBE_STDERR",
    u"PROBE_STDIN",
    u"PROBE_SHOW",
    u"PROBE_SLEEP",
    u"PROBE_CRASH",
    u"PROBE_WAIT_FOR",
    u"PROBE_WAIT_LIMIT",
};

const LauncherFacts& launcher_facts(Launcher launcher) {
  // The display names come from the build, where they are written once.
  static const LauncherFacts kOrvane = {u"orvane.exe", u"" E2E_ORVANE_DISPLAY_NAME, {u"convert", u"-g"}};
  static const LauncherFacts kKelmis = {u"kelmis.exe", u"" E2E_KELMIS_DISPLAY_NAME, {u"create", u"-g", u""}};
  return launcher == Launcher::kOrvane ? kOrvane : kKelmis;
}

// A path given in the environment, Windows or Unix style; empty when unset.
static std::u16string given_program(const wchar_t* variable) {
  std::u16string given = environment_text(variable);
  if (!given.empty() && given[0] == u'/') return windows_path(utf8(given));
  return given;
}

std::u16string built_launcher(Launcher launcher) {
  bool orvane = launcher == Launcher::kOrvane;
  return test_program(u16(orvane ? E2E_ORVANE_PROGRAM : E2E_KELMIS_PROGRAM),
                      orvane ? L"LAUNCHERS_E2E_ORVANE" : L"LAUNCHERS_E2E_KELMIS");
}

std::u16string built_tool() {
  std::u16string given = given_program(L"LAUNCHERS_E2E_TOOL");
  return given.empty() ? probe_program() : given;
}

bool make_folders(const std::u16string& path) {
  for (size_t at = 3; at <= path.size(); ++at) {
    if (at < path.size() && path[at] != u'\\') continue;
    std::u16string prefix = file_api_path(path.substr(0, at));
    if (!CreateDirectoryW(wide(prefix), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return GetFileAttributesW(wide(file_api_path(path))) != INVALID_FILE_ATTRIBUTES;
}

bool place_tool(const std::u16string& path) {
  return CopyFileW(wide(file_api_path(built_tool())), wide(file_api_path(path)), FALSE) != 0;
}

namespace {

// Reported (Windows 10 and 11) as loaded by name, lazily, by system DLLs:
// theming and window manager for a box, crypto, profile and policy DLLs for
// a shell call and a process start.
const char16_t* const kPlantedDllNames[] = {
    u"version", u"uxtheme", u"dwmapi",  u"cryptbase", u"cryptsp", u"profapi",         u"userenv", u"textshaping",
    u"msasn1",  u"wldp",    u"sspicli", u"propsys",   u"apphelp", u"windows.storage", u"ntmarta", u"kernel.appcore",
};

}  // namespace

bool plant_dlls(const std::u16string& folder) {
  std::u16string planted = test_program(u16(E2E_PLANTED_DLL), L"LAUNCHERS_E2E_PLANTED_DLL");
  for (const char16_t* name : kPlantedDllNames) {
    if (!copy_file(planted, join_path(folder, std::u16string(name) + u".dll"))) return false;
  }
  return true;
}

std::vector<std::u16string> planted_dlls_loaded(const std::u16string& folder) {
  std::vector<std::u16string> loaded;
  for (const char16_t* name : kPlantedDllNames) {
    if (file_exists(join_path(folder, std::u16string(name) + u".dll.loaded"))) loaded.push_back(name);
  }
  return loaded;
}

Install::Install(Launcher launcher, const std::u16string& subfolder, bool with_tool)
    : launcher_(launcher), root_(u"e2e") {
  set_up(subfolder, with_tool);
}

Install::Install(Launcher launcher, PathLength length, bool with_tool) : launcher_(launcher), root_(u"e2e") {
  size_t fixed = root_.path().size() + 2 + std::u16string(launcher_facts(launcher).file_name).size();
  if (!root_.ok() || length.characters <= fixed) return;
  size_t left = length.characters - fixed;
  std::u16string padding;
  char16_t letter = u'd';
  while (left > 100) {
    size_t component = left - 2 < 100 ? left - 2 : 100;  // leaves at least one letter after the '\'
    padding.append(component, letter++);
    padding += u'\\';
    left -= component + 1;
  }
  padding.append(left, letter);
  set_up(padding, with_tool);
}

void Install::set_up(const std::u16string& subfolder, bool with_tool) {
  if (!root_.ok()) return;
  folder_ = subfolder.empty() ? root_.path() : join_path(root_.path(), subfolder);
  if (!make_folders(folder_)) return;
  if (!CopyFileW(wide(file_api_path(built_launcher(launcher_))), wide(file_api_path(launcher())), FALSE)) return;
  if (with_tool && !place_tool(tool())) return;
  ok_ = true;
}

std::u16string Install::launcher() const { return join_path(folder_, launcher_facts(launcher_).file_name); }

std::vector<std::u16string> expected_vector(const Install& install, const std::vector<std::u16string>& args) {
  std::vector<std::u16string> argv = {install.tool()};
  const LauncherFacts& facts = launcher_facts(install.which());
  argv.insert(argv.end(), facts.fixed_arguments.begin(), facts.fixed_arguments.end());
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::vector<std::u16string> platform_split(const std::u16string& command_line) {
  std::vector<std::u16string> argv;
  int count = 0;
  wchar_t** split = CommandLineToArgvW(wide(command_line), &count);
  if (!split) return argv;
  for (int i = 0; i < count; ++i) argv.push_back(u16(split[i]));
  LocalFree(split);
  return argv;
}

std::u16string failure_text(uint32_t code, const std::u16string& line, bool test_mode) {
  std::u16string text = u"ERROR: " + u16(std::to_string(code)) + u"  Unable to run command \"" + line + u"\".\n";
  return test_mode ? u"(error_running_command) " + text : text;
}

int64_t code_in_failure_text(const std::u16string& text) {
  const std::u16string head = u"ERROR: ";
  if (text.compare(0, head.size(), head) != 0) return -1;
  int64_t code = 0;
  size_t i = head.size();
  for (; i < text.size() && i < head.size() + 10 && text[i] >= u'0' && text[i] <= u'9'; ++i)
    code = code * 10 + (text[i] - u'0');
  return i > head.size() ? code : -1;
}

std::u16string failure_title(Launcher launcher, bool test_mode) {
  std::u16string name = launcher_facts(launcher).display_name;
  return test_mode ? u"(application_name) " + name : name;
}

const ProbeReport* LaunchOutcome::only_report(std::string* why) const {
  if (reports.size() == 1) return &reports[0];
  *why = "expected one tool report, got " + std::to_string(reports.size()) + "\n" + describe();
  return nullptr;
}

std::string LaunchOutcome::describe() const {
  std::string text = "launcher command line: " + escaped(command_line) + "\n";
  if (repeated)
    text += "repeated " + std::to_string(repeated) + " times after Wine failed a start or a box went unseen\n";
  if (!failure.empty()) text += "failure: " + failure + "\n";
  text += "exit code: " + std::to_string(exit_code) + "\n";
  if (box.found) text += "box: [" + escaped(box.title) + "] [" + escaped(box.text) + "]\n";
  for (const ProbeReport& report : reports) {
    text += "tool " + escaped(report.module) + " got " + escaped(report.args) + "\n";
  }
  return text;
}

namespace {

// Starts a program with STARTF_USESTDHANDLES and the three handle values
// exactly as given: no inheritable copies are made, so values that name
// nothing reach the child as they are.
bool start_with_literal_handles(const std::u16string& application, const RunOptions& run, HANDLE* process, DWORD* id,
                                DWORD* error) {
  std::vector<wchar_t> line(run.command_line.begin(), run.command_line.end());
  line.push_back(0);
  std::u16string block = environment_block(run.environment);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = run.std_input;
  startup.hStdOutput = run.std_output;
  startup.hStdError = run.std_error;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(application.empty() ? nullptr : wide(application), line.data(), nullptr, nullptr, TRUE,
                      run.creation_flags | CREATE_UNICODE_ENVIRONMENT, &block[0],
                      run.directory.empty() ? nullptr : wide(run.directory), &startup, &info)) {
    *error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    return false;
  }
  CloseHandle(info.hThread);
  *process = info.hProcess;
  *id = info.dwProcessId;
  return true;
}

// Watches a started launcher (see wait_pressing_ok); on overrun ends it and says so.
void watch(HANDLE process, DWORD id, const LaunchOptions& options, const std::u16string& report_folder,
           LaunchOutcome* out) {
  if (options.while_running) options.while_running(process, report_folder);
  if (!wait_pressing_ok(process, id, options.timeout_ms, &out->box)) {
    TerminateProcess(process, 0xDEAD);
    WaitForSingleObject(process, 10000);
    out->failure = "the launcher did not end within " + std::to_string(options.timeout_ms) + " ms";
  }
  GetExitCodeProcess(process, &out->exit_code);
}

LaunchOutcome launch_once(const Install& install, const LaunchOptions& options) {
  LaunchOutcome out;
  TempDir reports(u"reports");
  if (!install.ok() || !reports.ok()) {
    out.failure = "no install or report folder";
    return out;
  }
  std::vector<std::u16string> removals = kControlledVariables;
  removals.insert(removals.end(), options.remove.begin(), options.remove.end());
  std::vector<std::u16string> changes = {u"PROBE_REPORT=" + reports.path()};
  changes.insert(changes.end(), options.set.begin(), options.set.end());

  RunOptions run;
  run.use_environment = true;
  run.environment = options.replace_environment ? changes : environment_with(changes, removals);
  const std::u16string program = options.launcher_path.empty() ? install.launcher() : options.launcher_path;
  std::vector<std::u16string> argv = {program};
  argv.insert(argv.end(), options.args.begin(), options.args.end());
  if (options.whole_line_is_raw_tail) {
    run.command_line = options.raw_tail;
    run.application = program;
  } else if (options.use_raw_tail) {
    run.command_line = u"\"" + program + u"\"" + options.raw_tail;
  } else {
    run.command_line = quoted_command_line(argv);
    if (platform_split(run.command_line) != argv) {
      out.failure = "the launcher's command line does not split back to " + escaped(argv);
      return out;
    }
  }
  out.command_line = run.command_line;
  run.directory = options.directory;
  run.std_input = options.std_input;
  run.std_output = options.std_output;
  run.std_error = options.std_error;
  run.capture_output = options.capture_output;
  run.capture_error = options.capture_error;
  run.feed_input = options.feed_input;
  run.input = options.input;
  run.creation_flags = options.creation_flags;

  if (options.start_natively || options.literal_std_handles) {
    HANDLE process = nullptr;
    DWORD id = 0;
    if (options.start_natively) {
      if (!start_natively(program, run.command_line, run.directory, run.environment, &process, &id, &out.failure)) {
        return out;
      }
    } else {
      DWORD error = 0;
      if (!start_with_literal_handles(run.application, run, &process, &id, &error)) {
        out.failure = "the launcher did not start: error " + std::to_string(error);
        return out;
      }
    }
    watch(process, id, options, reports.path(), &out);
    CloseHandle(process);
  } else {
    TestProcess child(run);
    if (!child.started()) {
      out.failure = "the launcher did not start: error " + std::to_string(child.start_error());
      return out;
    }
    if (options.while_running) options.while_running(child.handle(), reports.path());
    if (!wait_pressing_ok(child.handle(), child.id(), options.timeout_ms, &out.box)) {
      child.terminate(0xDEAD);
      out.failure = "the launcher did not end within " + std::to_string(options.timeout_ms) + " ms";
    }
    out.exit_code = child.exit_code();
    if (options.capture_output) out.output = child.output();
    if (options.capture_error) out.error_output = child.error_output();
  }
  collect_reports(reports.path(), &out.reports, &out.failure);
  return out;
}

// Wine failed a start, the launcher's own or the tool's (see
// retry_transient): the launch says nothing about the launcher.
bool met_wine_start_failure(const LaunchOutcome& outcome) {
  // start_natively writes the status as the signed value it is.
  const std::string status = "status " + std::to_string(kWineTransientStartStatus);
  if (outcome.failure.find("did not start: error " + std::to_string(kWineTransientStartError)) != std::string::npos ||
      outcome.failure.find(status) != std::string::npos) {
    return true;
  }
  return box_names_wine_start_failure(outcome.box);
}

// Under Wine a launcher started while a service is starting can take that
// service's place: ServiceMain runs in it, and as a service it rightly
// shows no box and only exits with its code. Service tests run alone, but
// other test runs may share the Wine prefix; such a run is repeated too. A
// launcher that really fails to show its box fails every attempt.
bool box_missed(const LaunchOutcome& outcome) {
  return outcome.failure.empty() && !outcome.box.found && outcome.reports.empty() && outcome.exit_code != 1;
}

}  // namespace

LaunchOutcome launch(const Install& install, const LaunchOptions& options) {
  return retry_transient(
      [&](int attempt) {
        LaunchOutcome outcome = launch_once(install, options);
        outcome.repeated = attempt;
        return outcome;
      },
      [](const LaunchOutcome& outcome) { return met_wine_start_failure(outcome) || box_missed(outcome); });
}

const ProbeReport* expect_delivered(const LaunchOutcome& outcome, const std::vector<std::u16string>& expected) {
  EXPECT_EQ(outcome.failure, "") << outcome.describe();
  EXPECT_FALSE(outcome.box.found) << outcome.describe();
  EXPECT_EQ(outcome.exit_code, 1u) << outcome.describe();
  std::string why;
  const ProbeReport* report = outcome.only_report(&why);
  if (!report) {
    ADD_FAILURE() << why;
    return nullptr;
  }
  EXPECT_TRUE(report->args == expected) << "expected " << escaped(expected) << "\n" << outcome.describe();
  return report;
}
