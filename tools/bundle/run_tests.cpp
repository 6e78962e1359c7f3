// run-tests.exe: runs the tests of an unpacked test bundle as CTest runs them
// in the build trees, and reports. run-tests.cmd beside it starts it:
//
//   run-tests.cmd [--list] [NAME...]
//
// run-tests.json (written by tools/bundle.py from CTest's own list) names the
// architecture folders and, for each test, its program, arguments, variables,
// time limit and what it needs. Each program runs in a job object, its output
// going to a file of the runner's; when it has ended, what it started gets a
// few seconds to end, and is then ended: a program whose children outlive it
// fails, saying so. A GoogleTest program's results come from its JSON output
// (a program that writes none fails); a test that CTest judges by its output
// passes when that holds its pass text and not its fail text.
//
// A test that needs a spare drive gets one (DefineDosDeviceW, what subst
// does), one that needs a UNC share gets a folder shared for the run
// (NetShareAdd, with administrator rights): in LAUNCHERS_E2E_DRIVE and
// LAUNCHERS_E2E_SHARE, once a file written through it has been read back.
// Where the machine gives none, the runner sets the variable to
// "unavailable: " and the reason, and the cases that need it skip.
//
// --list starts every test once to list its cases instead of running them;
// NAMEs run the tests of those names only. One line per test, then "N passed,
// M failed, K skipped"; exit code 1 when anything failed, 2 when nothing could
// run. run-tests-report.txt beside it (else in %TEMP%) holds the system's
// facts, the lines and the output of every failed or skipped program.
//
// Built for x86, which every Windows of the bundle runs: 32-bit, 64-bit and
// ARM64 (emulated). A folder of programs the machine cannot run is skipped.
#include <windows.h>
#include <lm.h>
#include <sddl.h>
#include <shlobj.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/system.h"
#include "support/windows_process.h"

namespace {

// --- JSON (nlohmann/json, Debian's nlohmann-json3-dev) ----------------------------------

using nlohmann::json;

// A file's JSON value; discarded (is_discarded()) when unreadable or no JSON.
json read_json(const std::u16string& path) {
  std::string text;
  return read_file(path, &text) ? json::parse(text, nullptr, false) : json(json::value_t::discarded);
}

// An object's member of `key`: the text of a string, the items of an array,
// a number; empty or 0 when the member is missing or of another kind.
std::string text_of(const json& object, const char* key) {
  return object.is_object() && object.contains(key) && object[key].is_string() ? object[key].get<std::string>() : "";
}
const json& items_of(const json& object, const char* key) {
  static const json none = json::array();
  return object.is_object() && object.contains(key) && object[key].is_array() ? object[key] : none;
}
long number_of(const json& object, const char* key) {
  return object.is_object() && object.contains(key) && object[key].is_number() ? object[key].get<long>() : 0;
}

// --- the machine ---------------------------------------------------------------------------

std::string decimal(unsigned long long n) { return std::to_string(n); }

std::string now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return text;
}

template <typename Function>
Function* kernel32_function(const char* name) {
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), name)));
}

// The processor's machine type (IMAGE_FILE_MACHINE_*), also seen from this
// x86 program under WOW64 or emulated on ARM64.
USHORT native_machine() {
  USHORT process = 0, native = 0;
  auto wow64 = kernel32_function<BOOL WINAPI(HANDLE, USHORT*, USHORT*)>("IsWow64Process2");  // Windows 10 and later
  if (wow64 && wow64(GetCurrentProcess(), &process, &native)) return native;
  BOOL on_64_bit = FALSE;
  return IsWow64Process(GetCurrentProcess(), &on_64_bit) && on_64_bit ? IMAGE_FILE_MACHINE_AMD64
                                                                      : IMAGE_FILE_MACHINE_I386;
}

// Whether this Windows runs programs of `machine`: its own, x86 on every
// Windows, and what Windows 11 says it emulates (x64 on ARM64).
bool machine_runs(USHORT machine) {
  if (machine == native_machine() || machine == IMAGE_FILE_MACHINE_I386) return true;
  auto attributes = kernel32_function<HRESULT WINAPI(USHORT, int*)>("GetMachineTypeAttributes");
  int flags = 0;
  return attributes && attributes(machine, &flags) == S_OK && (flags & 1);  // UserEnabled
}

std::vector<std::string> system_facts() {
  std::vector<std::string> facts = {"System: " + system_name()};
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                    KEY_READ | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
    for (const char16_t* name :
         {u"ProductName", u"EditionID", u"InstallationType", u"DisplayVersion", u"CurrentBuild", u"UBR"}) {
      wchar_t value[256] = {};
      DWORD type = 0, size = sizeof value - sizeof *value;
      if (RegQueryValueExW(key, to_wchar(name), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == 0) {
        facts.push_back(utf8(name) + ": " +
                        (type == REG_DWORD ? decimal(*reinterpret_cast<DWORD*>(value)) : utf8(u16(value))));
      }
    }
    RegCloseKey(key);
  }
  USHORT machine = native_machine();
  facts.push_back(std::string("Under Wine: ") + (running_under_wine() ? "yes" : "no"));
  facts.push_back("Processor: " + std::string(machine == IMAGE_FILE_MACHINE_I386    ? "x86"
                                              : machine == IMAGE_FILE_MACHINE_AMD64 ? "x64"
                                              : machine == 0xAA64                   ? "ARM64"
                                                                                    : "machine " + decimal(machine)));
  facts.push_back(std::string("Administrator rights: ") + (IsUserAnAdmin() ? "yes" : "no"));
  return facts;
}

// --- the spare drive and the UNC share ----------------------------------------------------

// Whether a file written at `root` (a drive or a share) reads back.
bool writable(const std::u16string& root, std::string* why) {
  std::u16string check = join_path(root, u"run-tests-check.txt");
  std::string back;
  bool ok = write_file(check, "check") && read_file(check, &back) && back == "check";
  if (!ok) *why = utf8(root) + " cannot be written (error " + decimal(GetLastError()) + ")";
  DeleteFileW(wide(check));
  return ok;
}

// A free letter from R to Y given to `folder`, when it works. (Under Wine 8
// DefineDosDeviceW succeeds, but such a drive cannot be reached.)
std::u16string define_drive(const std::u16string& folder, std::string* why) {
  *why = "no letter from R to Y is free";
  for (char16_t letter = u'R'; letter <= u'Y'; ++letter) {
    std::u16string drive = {letter, u':'};
    wchar_t target[MAX_PATH];
    if (QueryDosDeviceW(wide(drive), target, MAX_PATH)) continue;
    if (!DefineDosDeviceW(0, wide(drive), wide(folder))) {
      *why = "DefineDosDeviceW failed with error " + decimal(GetLastError());
    } else if (writable(drive + u"\\", why)) {
      return drive;
    } else {
      *why = utf8(drive) + " was defined with DefineDosDeviceW, but " + *why;
      DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, wide(drive), wide(folder));
    }
    break;
  }
  return u"";
}

// `folder` shared as \\localhost\`name` for the run, when that works: full
// access on the share for authenticated users, restricted by the folder's
// own permissions (a folder of this user's).
std::u16string share_folder(const std::u16string& folder, const std::u16string& name, std::string* why) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;FA;;;AU)", SDDL_REVISION_1, &descriptor, nullptr);
  std::u16string share = name, path = folder;
  SHARE_INFO_502 info = {};
  info.shi502_netname = const_cast<wchar_t*>(wide(share));
  info.shi502_type = STYPE_DISKTREE;
  info.shi502_max_uses = DWORD(-1);
  info.shi502_path = const_cast<wchar_t*>(wide(path));
  info.shi502_security_descriptor = descriptor;
  NET_API_STATUS status = NetShareAdd(nullptr, 502, reinterpret_cast<BYTE*>(&info), nullptr);
  LocalFree(descriptor);
  *why = status == ERROR_ACCESS_DENIED ? "sharing a folder takes administrator rights"
                                       : "sharing a folder failed with error " + decimal(status);
  if (status == NERR_Success && writable(u"\\\\localhost\\" + name, why)) return u"\\\\localhost\\" + name;
  if (status == NERR_Success) NetShareDel(nullptr, info.shi502_netname, 0);
  return u"";
}

// A spare drive or a share: the value of its variable for the tests that
// need it, and the report's note.
struct Resource {
  std::string need;  // as run-tests.json says: "drive", "share"
  std::string what;  // "spare drive", "UNC share"
  const char16_t* variable;
  std::u16string value, made;  // made: empty when unavailable
  std::string why;             // why it is unavailable
};

// --- running a program -------------------------------------------------------------------

// What a program did: whether it started and ended in time, the programs it
// started that outlived it, its exit code and output.
struct Run {
  DWORD start_error = 0;
  bool timed_out = false;
  std::string outlived;
  DWORD exit_code = 0;
  std::string output;
};

// Whether no process of the job runs (anymore) within `ms`.
bool job_empties(HANDLE job, DWORD ms) {
  for (DWORD start = GetTickCount();; Sleep(20)) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr) ||
        info.ActiveProcesses == 0) {
      return true;
    }
    if (GetTickCount() - start >= ms) return false;
  }
}

// The processes left in the job after its program: given `grace_ms` to end
// by themselves (one that is being ended stays a moment), then ended and
// waited for. Their names, empty when none was left.
std::string end_job(HANDLE job, DWORD grace_ms) {
  if (job_empties(job, grace_ms)) return "";
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST list;
    ULONG_PTR more[63];
  } ids = {};
  ids.list.NumberOfAssignedProcesses = 64;
  std::string names;
  QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr);
  for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList && i < 64; ++i) {
    wchar_t path[MAX_PATH] = L"?";
    DWORD size = MAX_PATH;
    if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(ids.list.ProcessIdList[i]))) {
      QueryFullProcessImageNameW(process, 0, path, &size);
      CloseHandle(process);
    }
    std::u16string file = u16(path);
    names += (i ? ", " : "") + utf8(file.substr(file.find_last_of(u"\\/") + 1));
  }
  TerminateJobObject(job, 1);
  job_empties(job, 60000);
  return names.empty() ? "?" : names;
}

Run run_in_job(const std::vector<std::u16string>& argv, DWORD timeout_ms, const std::u16string& output_path) {
  Run run;
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE output = CreateFileW(wide(output_path), GENERIC_READ | GENERIC_WRITE, share, &inherited, CREATE_ALWAYS, 0, 0);
  HANDLE input = CreateFileW(L"NUL", GENERIC_READ, share, &inherited, OPEN_EXISTING, 0, nullptr);
  // A program that crashes ends at once (no dialog); whatever was started
  // ends with the runner at the latest.
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = startup.hStdError = output;
  PROCESS_INFORMATION process = {};
  run.start_error = retry_wine_start([&] {
    std::u16string line = quoted_command_line(argv);
    return CreateProcessW(nullptr, const_cast<wchar_t*>(wide(line)), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                          nullptr, &startup, &process)
               ? DWORD(0)
               : GetLastError();
  });
  if (run.start_error == 0) {
    if (AssignProcessToJobObject(job, process.hProcess)) {
      ResumeThread(process.hThread);
      run.timed_out = WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_TIMEOUT;
    } else {
      run.start_error = GetLastError();
    }
    run.outlived = end_job(job, run.timed_out || run.start_error ? 0 : 10000);
    GetExitCodeProcess(process.hProcess, &run.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  // Read through the runner's own handle, which nothing can keep it from.
  char chunk[65536];
  DWORD got = 0;
  SetFilePointer(output, 0, nullptr, FILE_BEGIN);
  while (ReadFile(output, chunk, sizeof chunk, &got, nullptr) && got > 0) run.output.append(chunk, got);
  CloseHandle(output);
  CloseHandle(input);
  CloseHandle(job);
  return run;
}

// --- one test -----------------------------------------------------------------------------

struct Test {
  std::string folder, name;
  std::vector<std::u16string> argv;
  std::vector<std::u16string> set;    // NAME=value
  std::vector<std::u16string> unset;  // NAME
  std::vector<std::string> needs;
  std::string pass_text, fail_text;  // set: judged by its output (not a GoogleTest program)
  DWORD timeout_ms = 0;
};

enum Verdict { kPass, kFail, kSkip };

struct Outcome {
  Verdict verdict;
  std::string detail;   // for its line
  std::string heading;  // over its output in the report; empty: the output is left out
};

std::string counted(size_t n, const std::string& what) { return decimal(n) + " " + what + (n == 1 ? "" : "s"); }

Outcome judge(const Test& test, bool listing, const Run& run, const json& results) {
  std::string code = "exit code " + decimal(run.exit_code);
  if (run.start_error) return {kFail, "it could not be started (error " + decimal(run.start_error) + ")"};
  if (run.timed_out) return {kFail, "it did not end within " + decimal(test.timeout_ms / 1000) + " s and was ended"};
  if (!run.outlived.empty()) return {kFail, "processes it started outlived it and were ended: " + run.outlived};
  if (!test.pass_text.empty()) {
    if (run.output.find(test.pass_text) == std::string::npos) return {kFail, "its output lacks " + test.pass_text};
    if (!test.fail_text.empty() && run.output.find(test.fail_text) != std::string::npos) {
      return {kFail, "its output holds " + test.fail_text};
    }
    return {kPass};
  }
  if (!results.is_object()) return {kFail, code + ", but no results written"};
  if (listing) {
    if (number_of(results, "tests") <= 0) return {kFail, code + ", no case listed"};
    return {run.exit_code ? kFail : kPass, run.exit_code ? code : ""};
  }
  size_t ran = 0, skipped = 0, failed = 0;
  std::string names;
  for (const json& suite : items_of(results, "testsuites")) {
    for (const json& test_case : items_of(suite, "testsuite")) {
      if (text_of(test_case, "status") == "NOTRUN") continue;
      ++ran;
      bool passed = items_of(test_case, "failures").empty();
      if (!passed && failed++ < 5) names += ", " + text_of(suite, "name") + "." + text_of(test_case, "name");
      skipped += passed && text_of(test_case, "result") == "SKIPPED";
    }
  }
  if (failed) {
    return {kFail, counted(failed, "case") + " of " + decimal(ran) + " failed: " + names.substr(2) +
                       (failed > 5 ? ", ..." : "")};
  }
  if (run.exit_code) return {kFail, code + ", though no case failed"};
  if (ran == 0) return {kFail, "it ran no case"};
  if (skipped == ran) return {kSkip, "all " + counted(ran, "case") + " skipped", "skipped"};
  if (skipped) return {kPass, counted(skipped, "case") + " of " + decimal(ran) + " skipped", "skipped cases"};
  return {kPass};
}

// Runs one test with the resources it needs, the test's own variables and
// the runner's; its outcome and output.
Outcome run_test(const Test& test, bool listing, const std::vector<Resource>& resources, const std::u16string& work,
                 size_t index, std::string* output) {
  std::vector<std::unique_ptr<ScopedVariable>> variables;
  std::string lacking;  // why the machine gives it none of what it needs
  for (const Resource& resource : resources) {
    for (const std::string& need : test.needs) {
      if (need != resource.need || resource.value.empty()) continue;  // (not made to list the cases)
      variables.push_back(std::make_unique<ScopedVariable>(resource.variable, resource.value));
      if (resource.made.empty()) lacking += "; no " + resource.what + ": " + resource.why;
    }
  }
  for (const std::u16string& entry : test.set) {
    variables.push_back(
        std::make_unique<ScopedVariable>(entry.substr(0, entry.find(u'=')), entry.substr(entry.find(u'=') + 1)));
  }
  for (const std::u16string& name : test.unset) variables.push_back(std::make_unique<ScopedVariable>(name, u"", true));
  std::u16string results = join_path(work, u16(decimal(index)) + u".json");
  std::vector<std::u16string> argv = test.argv;
  if (test.pass_text.empty()) {
    if (listing) argv.push_back(u"--gtest_list_tests");
    argv.push_back(u"--gtest_output=json:" + results);
  }
  Run run;
  for (int attempt = 1;; ++attempt) {
    DeleteFileW(wide(results));
    run = run_in_job(argv, test.timeout_ms, join_path(work, u16(decimal(index)) + u".txt"));
    // A Wine program now and then loses its Wine server, under load, before
    // it has done anything: that says nothing about the program.
    bool lost =
        running_under_wine() && run.exit_code &&
        (run.output.rfind("wine client error", 0) == 0 || run.output.find("\nwine client error") != std::string::npos);
    if (!lost || attempt == 3) break;
    *output += "(run " + decimal(attempt) + " lost its Wine server and was repeated)\n";
  }
  *output += run.output;
  Outcome outcome = judge(test, listing, run, test.pass_text.empty() ? read_json(results) : json());
  if (outcome.verdict != kFail && !outcome.heading.empty()) outcome.detail += lacking;
  if (outcome.verdict == kFail) outcome.heading = outcome.detail;
  return outcome;
}

// --- the bundle -----------------------------------------------------------------------

struct ArchFolder {
  std::string name, title;
  USHORT machine;
  size_t counts[3] = {};  // by verdict
  std::string lines;
};

bool load(const std::u16string& here, std::string* bundle, std::vector<ArchFolder>* folders, std::vector<Test>* tests,
          std::vector<std::string>* deliverables) {
  json manifest = read_json(here + u"run-tests.json");
  *bundle = text_of(manifest, "bundle");
  for (const json& folder : items_of(manifest, "folders")) {
    folders->push_back({text_of(folder, "name"), text_of(folder, "title"), USHORT(number_of(folder, "machine"))});
  }
  for (const json& file : items_of(manifest, "deliverables")) {
    deliverables->push_back(text_of(file, "file") + ", SHA-256 " + text_of(file, "sha256"));
  }
  for (const json& entry : items_of(manifest, "tests")) {
    Test test;
    test.folder = text_of(entry, "folder");
    test.name = text_of(entry, "name");
    test.argv.push_back(here + u16(text_of(entry, "program")));
    for (const json& argument : items_of(entry, "arguments")) {
      test.argv.push_back(u16(argument.is_string() ? argument.get<std::string>() : ""));
    }
    for (const json& variable : items_of(entry, "environment")) {
      std::u16string name = u16(text_of(variable, "name"));
      if (variable.value("unset", false)) {
        test.unset.push_back(name);
      } else {
        std::string file = text_of(variable, "file");
        test.set.push_back(name + u"=" + (file.empty() ? u16(text_of(variable, "value")) : here + u16(file)));
      }
    }
    for (const json& need : items_of(entry, "needs"))
      test.needs.push_back(need.is_string() ? need.get<std::string>() : "");
    test.pass_text = text_of(entry, "pass");
    test.fail_text = text_of(entry, "fail");
    test.timeout_ms = DWORD(number_of(entry, "timeout")) * 1000;
    tests->push_back(test);
  }
  return !tests->empty();
}

void print(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // Under Wine the first program that needs a window starts the desktop
  // process, which then stays in that program's job: the runner starts it.
  GetDesktopWindow();
  bool listing = argc > 1 && std::strcmp(argv[1], "--list") == 0;
  std::vector<std::string> chosen(argv + 1 + listing, argv + argc);
  std::u16string here = this_program_directory() + u"\\";
  std::string bundle;
  std::vector<ArchFolder> folders;
  std::vector<Test> tests;
  std::vector<std::string> deliverables;
  if (!load(here, &bundle, &folders, &tests, &deliverables)) {
    print("run-tests: run-tests.json beside run-tests.exe is missing or unreadable: unpack the whole bundle");
    return 2;
  }
  for (const std::string& name : chosen) {
    bool known = false;
    for (const Test& test : tests) known |= test.name == name;
    if (!known) {
      print("run-tests: no test is named " + name + "\nusage: run-tests.cmd [--list] [NAME...]");
      return 2;
    }
  }
  auto is_chosen = [&](const Test& test) {
    bool found = chosen.empty();
    for (const std::string& name : chosen) found |= test.name == name;
    return found;
  };
  // The tests run from the bundle's folder, wherever run-tests.cmd is started.
  SetCurrentDirectoryW(wide(here));
  TempDir work(u"run-tests");
  std::u16string drive_folder = work.file(u"drive"), share_folder_path = work.file(u"share");
  if (!work.ok() || !CreateDirectoryW(wide(drive_folder), nullptr) ||
      !CreateDirectoryW(wide(share_folder_path), nullptr)) {
    print("run-tests: cannot make a work folder in the temporary folder");
    return 2;
  }
  std::vector<std::string> header = {"Test run of " + bundle + (listing ? ", listing the cases of each test" : "") +
                                         (chosen.empty() ? "" : ", chosen tests"),
                                     "Started: " + now()};
  for (const std::string& fact : system_facts()) header.push_back(fact);

  // The spare drive and the share, made when a test to run needs them.
  std::vector<Resource> resources = {{"drive", "spare drive", u"LAUNCHERS_E2E_DRIVE"},
                                     {"share", "UNC share", u"LAUNCHERS_E2E_SHARE"}};
  for (Resource& resource : resources) {
    bool needed = false;
    for (const Test& test : tests) {
      for (const std::string& need : test.needs) needed |= need == resource.need && is_chosen(test) && !listing;
    }
    if (!needed) continue;
    std::string& why = resource.why;
    std::u16string share_name = u"orvane-tests-" + u16(decimal(GetCurrentProcessId()));
    resource.made =
        resource.need == "drive" ? define_drive(drive_folder, &why) : share_folder(share_folder_path, share_name, &why);
    resource.value = resource.made.empty() ? unavailable_resource(why) : resource.made;
    std::string title = resource.need == "drive" ? "Spare drive: " : "UNC share: ";
    header.push_back(title + (resource.made.empty() ? "none, " + why : utf8(resource.made) + ", made for the run"));
  }
  for (const std::string& deliverable : deliverables) header.push_back("Deliverable: " + deliverable);
  ScopedVariable bundle_variable(u"LAUNCHERS_TEST_BUNDLE", u16(bundle));

  size_t totals[3] = {};
  std::string outputs[3];  // of the failed programs, and of those with skipped cases
  for (size_t index = 0; index < tests.size(); ++index) {
    const Test& test = tests[index];
    ArchFolder* folder = nullptr;
    for (ArchFolder& f : folders) folder = f.name == test.folder ? &f : folder;
    if (!is_chosen(test) || !folder) continue;
    std::string output;
    Outcome outcome = {kSkip, "this Windows cannot run the programs of " + test.folder};
    if (machine_runs(folder->machine)) outcome = run_test(test, listing, resources, work.path(), index, &output);
    const char* words[] = {"pass ", "FAIL ", "skip "};
    std::string line = words[outcome.verdict] + test.folder + " " + test.name +
                       (outcome.detail.empty() ? "" : (outcome.verdict == kPass ? ", " : ": ") + outcome.detail);
    print(line);
    folder->lines += line + "\n";
    ++folder->counts[outcome.verdict];
    ++totals[outcome.verdict];
    if (!outcome.heading.empty()) {
      outputs[outcome.verdict == kFail ? 0 : 1] +=
          "==== " + test.folder + " " + test.name + " (" + outcome.heading + ") ====\n" + output + "\n";
    }
  }
  for (const Resource& resource : resources) {
    if (resource.made.empty()) continue;
    if (resource.need == "drive") {
      DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, wide(resource.made), wide(drive_folder));
    } else {
      NetShareDel(nullptr, const_cast<wchar_t*>(wide(resource.made.substr(resource.made.rfind(u'\\') + 1))), 0);
    }
  }

  std::string last =
      decimal(totals[kPass]) + " passed, " + decimal(totals[kFail]) + " failed, " + decimal(totals[kSkip]) + " skipped";
  std::string report;
  for (const std::string& line : header) report += line + "\n";
  report += "Finished: " + now() + "\n";
  for (const ArchFolder& folder : folders) {
    report += "\n" + folder.title + " (" + folder.name + "): " + decimal(folder.counts[kPass]) + " passed, " +
              decimal(folder.counts[kFail]) + " failed, " + decimal(folder.counts[kSkip]) + " skipped\n" + folder.lines;
  }
  report += "\nOutput of every failed program:\n" + outputs[0] + "\nOutput of every program with skipped cases:\n" +
            outputs[1] + "\n" + last + "\n";
  if (!write_file(here + u"run-tests-report.txt", report)) {
    wchar_t temp[MAX_PATH + 1] = {};
    std::u16string elsewhere = join_path(u16(GetTempPathW(MAX_PATH + 1, temp) ? temp : L""), u"run-tests-report.txt");
    print(write_file(elsewhere, report) ? "The report is in " + utf8(elsewhere) + "."
                                        : "The report could not be written.");
  }
  print(last);
  return totals[kFail] ? 1 : 0;
}
