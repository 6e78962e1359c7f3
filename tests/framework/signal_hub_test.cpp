// The signal hub, console and service handlers, the signal window thread and
// the shutdown steps, driven inside this test process against real Win32.
// The hub is process-wide: every case starts from fresh_hub() and puts back
// what it changed.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "framework/framework_probe.h"
#include "framework/signal_hub.h"
#include "support/test_support.h"

namespace {

SignalHub& hub = g_signal_hub;

void fresh_hub() {
  InitSignalHub();
  for (auto& flag : hub.flags) flag.store(false);
  ResetEvent(hub.signalEvent);
}

unsigned flag_bits() {
  unsigned bits = 0;
  for (int n = 1; n <= kSignalCount; ++n) {
    if (hub.flags[n - 1].load()) bits |= 1u << (n - 1);
  }
  return bits;
}

bool event_set() { return WaitForSingleObject(hub.signalEvent, 0) == WAIT_OBJECT_0; }

// Runs `work` on a thread of its own; true when it finished within
// `timeout_ms`. A thread that overruns is left behind (the case has failed).
bool runs_within(std::function<void()> work, DWORD timeout_ms) {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread runner([work, done] {
    work();
    SetEvent(done);
  });
  bool finished = WaitForSingleObject(done, timeout_ms) == WAIT_OBJECT_0;
  if (finished) {
    runner.join();
    CloseHandle(done);
  } else {
    runner.detach();
  }
  return finished;
}

HANDLE duplicate(HANDLE handle) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
  return copy;
}

// A handle of a thread that can wait for it and set its priority, but not
// end it: TerminateThread fails on it.
HANDLE duplicate_without_terminate(HANDLE thread) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy,
                  SYNCHRONIZE | THREAD_QUERY_INFORMATION | THREAD_SET_INFORMATION, FALSE, 0);
  return copy;
}

bool thread_ended(HANDLE thread) { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }

// Stands in for a dispatcher thread whose probe fails after a while.
DWORD WINAPI failing_probe(LPVOID) {
  Sleep(50);
  return 0;
}

// A thread that blocks until released (at once, after `block_ms`, or by the
// destructor for INFINITE); it records whether it ever ran past the block and
// ends with exit code 7.
class BlockedThread {
 public:
  explicit BlockedThread(DWORD block_ms) : block_ms_(block_ms) {
    release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
    if (block_ms == 0) WaitForSingleObject(thread_, INFINITE);
  }
  ~BlockedThread() {
    SetEvent(release_);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(release_);
  }
  HANDLE handle() const { return thread_; }
  bool ran_on() const { return ran_on_.load(); }
  DWORD exit_code() const {
    DWORD code = 0;
    GetExitCodeThread(thread_, &code);
    return code;
  }

 private:
  static DWORD WINAPI run(LPVOID self) {
    BlockedThread* me = static_cast<BlockedThread*>(self);
    WaitForSingleObject(me->release_, me->block_ms_);
    me->ran_on_.store(true);
    return 7;
  }
  DWORD block_ms_;
  HANDLE release_;
  HANDLE thread_;
  std::atomic<bool> ran_on_{false};
};

// Runs `probe` on a thread of its own, made without the C runtime; true when
// it finished within `timeout_ms`.
bool probe_within(LPTHREAD_START_ROUTINE probe, DWORD timeout_ms) {
  HANDLE thread = CreateThread(nullptr, 0, probe, nullptr, 0, nullptr);
  if (!thread) return false;
  bool finished = WaitForSingleObject(thread, timeout_ms) == WAIT_OBJECT_0;
  CloseHandle(thread);
  return finished;
}

// What any code of the process may do after the shutdown: allocate, use
// the process heap, read the current directory and the registry, talk to the
// service manager.
DWORD WINAPI use_process_locks(LPVOID) {
  void* memory = malloc(100);
  free(memory);
  HeapFree(GetProcessHeap(), 0, HeapAlloc(GetProcessHeap(), 0, 100));
  wchar_t directory[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, directory);
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control", 0, KEY_READ, &key) == 0) {
    RegCloseKey(key);
  }
  if (SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)) CloseServiceHandle(manager);
  return 0;
}

DWORD WINAPI start_nothing(LPVOID) { return 0; }

DWORD WINAPI stop_framework(LPVOID) {
  StopProcessFramework();
  return 0;
}

// --- RaiseSignal ---------------------------------------------------------------

TEST(FrameworkSignalHub, NumbersOutsideOneToTenChangeNothing) {
  for (int n : {0, 11, 12, -1, -10, 100, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(n);
    fresh_hub();
    RaiseSignal(n);
    EXPECT_EQ(flag_bits(), 0u);
    EXPECT_FALSE(event_set());
  }
}

TEST(FrameworkSignalHub, EachSignalSetsOnlyItsFlagAndTheEvent) {
  for (int n = 1; n <= 10; ++n) {
    SCOPED_TRACE(n);
    fresh_hub();
    RaiseSignal(n);
    EXPECT_EQ(flag_bits(), 1u << (n - 1));
    EXPECT_TRUE(event_set());
  }
}

TEST(FrameworkSignalHub, RepeatedSignalNeitherSetsTheEventNorTakesTheLock) {
  fresh_hub();
  RaiseSignal(kSignalStop);
  ASSERT_TRUE(event_set());
  ResetEvent(hub.signalEvent);
  RaiseSignal(kSignalStop);
  EXPECT_FALSE(event_set());
  EXPECT_EQ(flag_bits(), 1u);

  // With the lock held here, a repeated signal still returns on another
  // thread, while a new one waits for the lock.
  EnterCriticalSection(&hub.lock);
  bool repeat_returned = runs_within([] { RaiseSignal(kSignalStop); }, 10000);
  HANDLE new_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread fresh([new_done] {
    RaiseSignal(kSignalPause);
    SetEvent(new_done);
  });
  bool new_waited = WaitForSingleObject(new_done, 200) == WAIT_TIMEOUT;
  LeaveCriticalSection(&hub.lock);
  fresh.join();
  CloseHandle(new_done);
  EXPECT_TRUE(repeat_returned);
  EXPECT_TRUE(new_waited);
  EXPECT_EQ(flag_bits(), 3u);
  EXPECT_TRUE(event_set());
}

// Against a model: flags are sticky, and the event is set exactly when a flag
// went from clear to set since the last reset.
TEST(FrameworkSignalHub, RandomRaisesFollowTheModel) {
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(seed);
    TestRandom random(seed);
    fresh_hub();
    unsigned model_flags = 0;
    bool model_event = false;
    for (int step = 0; step < 200; ++step) {
      if (random.below(8) == 0) {
        ResetEvent(hub.signalEvent);
        model_event = false;
        continue;
      }
      int n = int(random.below(17)) - 3;
      RaiseSignal(n);
      if (n >= 1 && n <= 10 && !(model_flags & (1u << (n - 1)))) {
        model_flags |= 1u << (n - 1);
        model_event = true;
      }
      ASSERT_EQ(flag_bits(), model_flags) << "step " << step << " n " << n;
      ASSERT_EQ(event_set(), model_event) << "step " << step << " n " << n;
    }
  }
}

TEST(FrameworkSignalHub, InitialisingTwiceKeepsTheEventAndFlags) {
  fresh_hub();
  RaiseSignal(3);
  HANDLE event = hub.signalEvent;
  InitSignalHub();
  InstallConsoleHandler();
  EXPECT_EQ(hub.signalEvent, event);
  EXPECT_EQ(flag_bits(), 4u);
  EXPECT_TRUE(hub.consoleHandlerInstalled.load());
}

// --- console control -------------------------------------------------------------

TEST(FrameworkConsoleHandler, ClaimsStopEventsAndPassesOthersOn) {
  struct Case {
    DWORD type;
    BOOL claimed;
  } cases[] = {
      {CTRL_C_EVENT, TRUE}, {CTRL_BREAK_EVENT, TRUE},  {CTRL_CLOSE_EVENT, TRUE},    {3, FALSE},
      {4, FALSE},           {CTRL_LOGOFF_EVENT, TRUE}, {CTRL_SHUTDOWN_EVENT, TRUE}, {7, FALSE},
      {8, FALSE},           {0x7FFFFFFF, FALSE},       {0xFFFFFFFF, FALSE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    fresh_hub();
    EXPECT_EQ(ConsoleCtrlHandler(c.type), c.claimed);
    EXPECT_EQ(flag_bits(), c.claimed ? 1u : 0u);
    EXPECT_EQ(event_set(), c.claimed != FALSE);
  }
}

// --- service control handler -----------------------------------------------------

TEST(FrameworkServiceHandler, KnownControlsRaiseTheirSignalOthersAreRefused) {
  struct Case {
    DWORD control;
    DWORD result;
    unsigned flags;
  } cases[] = {
      {SERVICE_CONTROL_STOP, NO_ERROR, 1u},
      {SERVICE_CONTROL_PAUSE, NO_ERROR, 2u},
      {SERVICE_CONTROL_CONTINUE, NO_ERROR, 4u},
      {SERVICE_CONTROL_INTERROGATE, NO_ERROR, 0u},
      {SERVICE_CONTROL_SHUTDOWN, NO_ERROR, 1u},
      {SERVICE_CONTROL_PARAMCHANGE, NO_ERROR, 8u},
      {0, ERROR_CALL_NOT_IMPLEMENTED, 0u},
      {SERVICE_CONTROL_NETBINDADD, ERROR_CALL_NOT_IMPLEMENTED, 0u},
      {SERVICE_CONTROL_NETBINDENABLE, ERROR_CALL_NOT_IMPLEMENTED, 0u},
      {SERVICE_CONTROL_PRESHUTDOWN, ERROR_CALL_NOT_IMPLEMENTED, 0u},
      {128, ERROR_CALL_NOT_IMPLEMENTED, 0u},
      {255, ERROR_CALL_NOT_IMPLEMENTED, 0u},
      {0xFFFFFFFF, ERROR_CALL_NOT_IMPLEMENTED, 0u},
  };
  ASSERT_EQ(hub.serviceStatusHandle.load(), nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    fresh_hub();
    EXPECT_EQ(ServiceCtrlHandler(c.control, 0, nullptr, nullptr), c.result);
    EXPECT_EQ(flag_bits(), c.flags);
  }
}

TEST(FrameworkServiceHandler, InterrogateWithoutStatusHandleTakesNoLock) {
  fresh_hub();
  EnterCriticalSection(&hub.lock);
  DWORD result = 99;
  bool returned =
      runs_within([&result] { result = ServiceCtrlHandler(SERVICE_CONTROL_INTERROGATE, 0, nullptr, nullptr); }, 10000);
  LeaveCriticalSection(&hub.lock);
  EXPECT_TRUE(returned);
  EXPECT_EQ(result, DWORD(NO_ERROR));
}

// --- the signal window -------------------------------------------------------------

class FrameworkSignalWindow : public ::testing::Test {
 protected:
  void SetUp() override { fresh_hub(); }
  void TearDown() override {
    StopSignalWindow();
    EXPECT_EQ(hub.windowThread, nullptr);
    EXPECT_EQ(hub.signalWindow.load(), nullptr);
  }
};

TEST_F(FrameworkSignalWindow, StopWithoutWindowThreadDoesNothing) {
  ASSERT_EQ(hub.windowThread, nullptr);
  EXPECT_TRUE(runs_within([] { StopSignalWindow(); }, 10000));
  EXPECT_TRUE(runs_within([] { StopSignalWindow(); }, 10000));
  EXPECT_EQ(flag_bits(), 0u);
}

TEST_F(FrameworkSignalWindow, StartsAHiddenWindowOnItsOwnThreadAndStopsIt) {
  StartSignalWindow();
  ASSERT_NE(hub.windowThread, nullptr);
  EXPECT_EQ(hub.windowReadyEvent, nullptr);
  HWND window = hub.signalWindow.load();
  ASSERT_NE(window, nullptr);
  WindowFacts facts;
  ASSERT_TRUE(read_window_facts(window, &facts));
  EXPECT_EQ(facts.class_name, u"SignalWindow");
  EXPECT_EQ(facts.title, u"SignalWindow");
  EXPECT_FALSE(facts.visible);
  EXPECT_EQ(facts.style & 0xFFFF0000u, kSignalWindowStyle);
  EXPECT_EQ(facts.process_id, GetCurrentProcessId());
  EXPECT_NE(facts.thread_id, GetCurrentThreadId());
  EXPECT_EQ(facts.rect.left, 100);
  EXPECT_EQ(facts.rect.top, 100);
  EXPECT_EQ(facts.rect.right - facts.rect.left, 200);
  EXPECT_EQ(facts.rect.bottom - facts.rect.top, 200);
  EXPECT_EQ(GetParent(window), nullptr);

  HANDLE thread = duplicate(hub.windowThread);
  EXPECT_TRUE(runs_within([] { StopSignalWindow(); }, 30000));
  EXPECT_EQ(hub.windowThread, nullptr);
  EXPECT_EQ(hub.signalWindow.load(), nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(thread_ended(thread));
  CloseHandle(thread);
  EXPECT_TRUE(runs_within([] { StopSignalWindow(); }, 10000));
  EXPECT_EQ(flag_bits(), 0u);
}

TEST_F(FrameworkSignalWindow, CloseAndEndSessionAreAnsweredOnlyAfterTheStop) {
  struct Case {
    UINT msg;
    WPARAM wparam;
  } cases[] = {{WM_CLOSE, 0}, {WM_ENDSESSION, FALSE}, {WM_ENDSESSION, TRUE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "message " << c.msg << " wParam " << c.wparam);
    fresh_hub();
    StartSignalWindow();
    HWND window = hub.signalWindow.load();
    ASSERT_NE(window, nullptr);
    {
      PendingSend close(window, c.msg, c.wparam, 0);
      // The stop signal is raised inside the handler, before its nested pump.
      EXPECT_TRUE(wait_until([] { return hub.flags[0].load(); }, 10000));
      EXPECT_TRUE(event_set());
      // The nested pump still serves the window...
      DWORD_PTR answer = 0;
      EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer), 0);
      // ...but the close itself is not answered, and the window lives on.
      EXPECT_FALSE(close.answered(200));
      EXPECT_TRUE(IsWindow(window));
      EXPECT_NE(hub.windowThread, nullptr);
      EXPECT_TRUE(runs_within([] { StopSignalWindow(); }, 30000));
      EXPECT_TRUE(close.answered(10000));
      EXPECT_EQ(close.result(), 0);
    }
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(flag_bits(), 1u);
  }
}

// A second close arrives while the first one waits: the handlers nest, and
// the stop must still unwind both and end the thread.
TEST_F(FrameworkSignalWindow, NestedClosesAllEndWithTheStop) {
  StartSignalWindow();
  HWND window = hub.signalWindow.load();
  ASSERT_NE(window, nullptr);
  HANDLE thread = duplicate(hub.windowThread);
  {
    PendingSend first(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(wait_until([] { return hub.flags[0].load(); }, 10000));
    PendingSend second(window, WM_ENDSESSION, TRUE, 0);
    PendingSend third(window, WM_CLOSE, 0, 0);
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer), 0);
    EXPECT_FALSE(first.answered(100));
    EXPECT_FALSE(second.answered(100));
    EXPECT_FALSE(third.answered(100));
    EXPECT_TRUE(runs_within([] { StopSignalWindow(); }, 30000));
    EXPECT_TRUE(first.answered(10000));
    EXPECT_TRUE(second.answered(10000));
    EXPECT_TRUE(third.answered(10000));
  }
  EXPECT_TRUE(thread_ended(thread));
  CloseHandle(thread);
  EXPECT_EQ(flag_bits(), 1u);
}

TEST_F(FrameworkSignalWindow, QueryEndSessionGetsTheDefaultAnswer) {
  StartSignalWindow();
  HWND window = hub.signalWindow.load();
  ASSERT_NE(window, nullptr);
  DWORD_PTR answer = 0;
  ASSERT_NE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000, &answer), 0);
  EXPECT_EQ(answer, DWORD_PTR(TRUE));
  EXPECT_EQ(flag_bits(), 0u);
  EXPECT_TRUE(IsWindow(window));
}

TEST_F(FrameworkSignalWindow, QuitMessageDoesNotEndThePump) {
  StartSignalWindow();
  HWND window = hub.signalWindow.load();
  ASSERT_NE(window, nullptr);
  DWORD thread_id = GetWindowThreadProcessId(window, nullptr);
  ASSERT_NE(PostThreadMessageW(thread_id, WM_QUIT, 0, 0), 0);
  DWORD_PTR answer = 0;
  EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer), 0);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_FALSE(thread_ended(hub.windowThread));
}

// The thread whose end is slowed down (see below), 0 for none.
std::atomic<DWORD> g_slow_exit_thread{0};

// Runs for every thread that ends, before its handle is signalled: a slow end
// makes a missing join of that thread visible.
void NTAPI on_thread_event(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_DETACH && GetCurrentThreadId() == g_slow_exit_thread.load()) Sleep(300);
}

// A class "SignalWindow" registered first, whose windows refuse creation:
// the thread's own registration fails and CreateWindowExW fails for real.
struct RefusingClass {
  static std::atomic<HANDLE> creating_thread;
  static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_NCCREATE) {
      creating_thread.store(duplicate(GetCurrentThread()));
      g_slow_exit_thread.store(GetCurrentThreadId());
      return FALSE;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
  bool registered = false;
  RefusingClass() {
    UnregisterClassW(kSignalWindowClass, nullptr);
    UnregisterClassW(kSignalWindowClass, GetModuleHandleW(nullptr));
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = proc;
    window_class.lpszClassName = kSignalWindowClass;
    registered = RegisterClassW(&window_class) != 0;
  }
  ~RefusingClass() {
    g_slow_exit_thread.store(0);
    UnregisterClassW(kSignalWindowClass, nullptr);
    if (HANDLE thread = creating_thread.exchange(nullptr)) CloseHandle(thread);
  }
};
std::atomic<HANDLE> RefusingClass::creating_thread{nullptr};

TEST_F(FrameworkSignalWindow, FailedCreationLeavesNoThreadBehind) {
  RefusingClass refusing;
  ASSERT_TRUE(refusing.registered);
  // Checked on the starting thread itself, at once: a thread that ends
  // later (its end is slowed down) was not joined.
  bool ended_at_return = false;
  EXPECT_TRUE(runs_within(
      [&ended_at_return] {
        StartSignalWindow();
        HANDLE thread = RefusingClass::creating_thread.load();
        ended_at_return = thread && thread_ended(thread);
      },
      30000));
  EXPECT_EQ(hub.windowThread, nullptr);
  EXPECT_EQ(hub.signalWindow.load(), nullptr);
  EXPECT_EQ(hub.windowReadyEvent, nullptr);
  HANDLE thread = RefusingClass::creating_thread.load();
  ASSERT_NE(thread, nullptr) << "the window thread never tried to create its window";
  EXPECT_NE(GetThreadId(thread), GetCurrentThreadId());
  EXPECT_TRUE(ended_at_return);
  EXPECT_EQ(find_process_window(GetCurrentProcessId(), u"SignalWindow", 0), nullptr);
}

// A window of the test's own, to stand in for the signal window.
struct StandInWindow {
  static std::atomic<int> dispatched;
  static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_USER + 7) {
      dispatched.fetch_add(1);
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
  HWND window = nullptr;
  StandInWindow() {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = proc;
    window_class.lpszClassName = L"FrameworkStandIn";
    RegisterClassW(&window_class);
    window = CreateWindowExW(0, L"FrameworkStandIn", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    dispatched.store(0);
  }
  ~StandInWindow() {
    if (IsWindow(window)) DestroyWindow(window);
  }
};
std::atomic<int> StandInWindow::dispatched{0};

// Scripted results for the pump: each call fills in a message for the
// stand-in window, whatever it returns.
std::vector<BOOL> g_script;
size_t g_script_step = 0;
HWND g_script_window = nullptr;

size_t g_script_overrun = 0;

BOOL WINAPI scripted_source(LPMSG msg, HWND, UINT, UINT) {
  msg->hwnd = g_script_window;
  msg->message = WM_USER + 7;
  msg->wParam = 0;
  msg->lParam = 0;
  if (g_script_step < g_script.size()) return g_script[g_script_step++];
  // A pump that goes on after the failure would spin here for ever: end it
  // so that the case fails instead of hanging.
  if (++g_script_overrun > 3) hub.signalWindow.store(nullptr);
  return -1;
}

TEST_F(FrameworkSignalWindow, FailingMessageSourceEndsThePumpWithoutDispatching) {
  struct Case {
    std::vector<BOOL> script;
    int dispatched;
  } cases[] = {
      {{-1}, 0},
      {{1, -1}, 1},
      {{0, 0, 1, 0, -1}, 1},
      {{1, 1, 1, -1}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script.size());
    StandInWindow stand_in;
    ASSERT_NE(stand_in.window, nullptr);
    g_script = c.script;
    g_script_step = 0;
    g_script_overrun = 0;
    g_script_window = stand_in.window;
    hub.signalWindow.store(stand_in.window);
    pump_signal_window_from_for_testing(scripted_source);
    EXPECT_EQ(g_script_step, c.script.size());
    EXPECT_EQ(g_script_overrun, 0u);
    EXPECT_EQ(StandInWindow::dispatched.load(), c.dispatched);
    EXPECT_EQ(hub.signalWindow.load(), nullptr);
    EXPECT_FALSE(IsWindow(stand_in.window));
  }
}

TEST_F(FrameworkSignalWindow, StopGivesUpOnAThreadItCannotReach) {
  // A gone window: the stop message cannot be posted.
  HWND gone;
  {
    StandInWindow stand_in;
    gone = stand_in.window;
  }
  ASSERT_FALSE(IsWindow(gone));
  for (HWND window : {gone, HWND(nullptr)}) {
    SCOPED_TRACE(window ? "gone window" : "no window");
    BlockedThread unreachable(INFINITE);
    hub.windowThread = duplicate(unreachable.handle());
    hub.signalWindow.store(window);
    EXPECT_TRUE(runs_within([] { StopSignalWindow(); }, 30000));
    EXPECT_EQ(hub.windowThread, nullptr);
    // Left to run, not ended by force.
    EXPECT_FALSE(thread_ended(unreachable.handle()));
    hub.signalWindow.store(nullptr);
  }
}

// --- shutdown ---------------------------------------------------------------------

// Every case here runs the framework's threads, or stand-ins for them, beside
// helpers of its own.
class FrameworkShutdown : public ::testing::Test {
 protected:
  void SetUp() override { fresh_hub(); }
  void TearDown() override {
    hub.serviceMode = false;
    hub.serviceStatus = SERVICE_STATUS{};
  }
};

TEST_F(FrameworkShutdown, DispatcherThreadIsJoinedEndedOrReleased) {
  struct Case {
    const char* what;
    DWORD block_ms;  // 0: ended before the stop
    int stage;
    bool service;
    DWORD exit_code;  // STILL_ACTIVE: left running
    bool ran_on;
    bool can_be_ended = true;
  } cases[] = {
      {"probe failed long ago", 0, kDispatcherReturned, false, 7, true},
      {"still blocked in the probe: ended by force", INFINITE, kDispatcherInCall, false, 0, false},
      {"leaving the probe: joined, not ended", 200, kDispatcherReturned, false, 7, true},
      {"never reaches the call: ended after a while", INFINITE, kDispatcherStarting, false, 0, false},
      {"service: SERVICE_STOPPED lets it return", 0, kDispatcherReturned, true, 7, true},
      {"service whose stop report is never answered", INFINITE, kDispatcherInCall, true, 0, false},
      {"blocked, and TerminateThread fails: left running", INFINITE, kDispatcherInCall, false, STILL_ACTIVE, false,
       false},
      {"service never released, TerminateThread fails", INFINITE, kDispatcherInCall, true, STILL_ACTIVE, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fresh_hub();
    BlockedThread dispatcher(c.block_ms);
    hub.serviceMode = c.service;
    hub.serviceStatus = SERVICE_STATUS{};
    hub.serviceStatus.dwControlsAccepted = 0x0F;
    hub.dispatcherThread =
        c.can_be_ended ? duplicate(dispatcher.handle()) : duplicate_without_terminate(dispatcher.handle());
    hub.dispatcher_stage.store(c.stage);
    int priority_after = -1;
    bool thread_can_start = false;
    EXPECT_TRUE(runs_within(
        [&] {
          SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
          StopProcessFramework();
          priority_after = GetThreadPriority(GetCurrentThread());
          // A new thread needs the loader lock, memory the heaps' locks.
          thread_can_start = probe_within(use_process_locks, 10000);
        },
        60000));
    EXPECT_EQ(hub.dispatcherThread, nullptr);
    EXPECT_EQ(thread_ended(dispatcher.handle()), c.exit_code != STILL_ACTIVE);
    EXPECT_EQ(dispatcher.exit_code(), c.exit_code);
    EXPECT_EQ(dispatcher.ran_on(), c.ran_on);
    EXPECT_TRUE(thread_can_start);
    if (c.service) {
      EXPECT_EQ(hub.serviceStatus.dwServiceType, DWORD(SERVICE_WIN32_OWN_PROCESS));
      EXPECT_EQ(hub.serviceStatus.dwCurrentState, DWORD(SERVICE_STOPPED));
      EXPECT_EQ(hub.serviceStatus.dwControlsAccepted, 0x0Fu);
    } else {
      EXPECT_EQ(hub.serviceStatus.dwCurrentState, 0u);
    }
    // The forced path leaves the calling thread at normal priority.
    if (c.exit_code != 7) EXPECT_EQ(priority_after, THREAD_PRIORITY_NORMAL);
    // A second stop has nothing left to do.
    EXPECT_TRUE(runs_within([] { StopProcessFramework(); }, 10000));
  }
}

// The real framework, stopped right after its start, again and again: a probe
// ended while it starts or gives up must not leave a lock behind that the
// rest of the process needs (a thread's own end included).
TEST_F(FrameworkShutdown, ProcessStaysUsableAfterStoppingTheProbeAtOnce) {
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE(round);
    StartProcessFramework();
    ASSERT_NE(hub.dispatcherThread, nullptr);
    // Stopped on a thread that ends afterwards, the way the C runtime's
    // threads end.
    ASSERT_TRUE(probe_within(stop_framework, 60000));
    ASSERT_EQ(hub.dispatcherThread, nullptr);
    ASSERT_TRUE(probe_within(use_process_locks, 10000));
    ASSERT_TRUE(probe_within(start_nothing, 10000));
  }
}

TEST_F(FrameworkShutdown, ServiceQueryWaitsForTheProbeToDecide) {
  // No dispatcher: decided at once.
  EXPECT_FALSE(process_runs_as_service(0));
  EXPECT_FALSE(process_runs_as_service(60000));
  // A dispatcher still blocked: undecided, so false once the wait is over.
  {
    BlockedThread dispatcher(INFINITE);
    hub.dispatcherThread = dispatcher.handle();
    EXPECT_FALSE(process_runs_as_service(0));
    EXPECT_FALSE(process_runs_as_service(50));
    hub.dispatcherThread = nullptr;
  }
  // The service starts while the query waits.
  {
    BlockedThread dispatcher(INFINITE);
    hub.dispatcherThread = dispatcher.handle();
    std::thread service_main([] {
      Sleep(50);
      ASSERT_TRUE(hub_enter());
      hub.serviceMode = true;
      hub_leave();
    });
    EXPECT_TRUE(process_runs_as_service(60000));
    service_main.join();
    hub.dispatcherThread = nullptr;
  }
  // The probe fails while the query waits.
  {
    hub.serviceMode = false;
    HANDLE probe = CreateThread(nullptr, 0, failing_probe, nullptr, 0, nullptr);
    hub.dispatcherThread = probe;
    EXPECT_TRUE(runs_within([] { EXPECT_FALSE(process_runs_as_service(INFINITE)); }, 60000));
    hub.dispatcherThread = nullptr;
    CloseHandle(probe);
  }
}

TEST_F(FrameworkShutdown, StartAndStopInThisProcess) {
  HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
  bool has_console_input = input != INVALID_HANDLE_VALUE;
  if (has_console_input) CloseHandle(input);

  StartProcessFramework();
  EXPECT_TRUE(hub.consoleHandlerInstalled.load());
  EXPECT_NE(hub.dispatcherThread, nullptr);
  EXPECT_EQ(hub.windowThread != nullptr, !has_console_input);
  EXPECT_EQ(hub.signalWindow.load() != nullptr, !has_console_input);
  HANDLE dispatcher = duplicate(hub.dispatcherThread);

  EXPECT_TRUE(runs_within([] { StopProcessFramework(); }, 60000));
  EXPECT_EQ(hub.dispatcherThread, nullptr);
  EXPECT_EQ(hub.windowThread, nullptr);
  EXPECT_EQ(hub.signalWindow.load(), nullptr);
  EXPECT_TRUE(thread_ended(dispatcher));
  EXPECT_FALSE(hub.serviceMode);
  EXPECT_EQ(flag_bits(), 0u);
  CloseHandle(dispatcher);
}

}  // namespace

// Registers on_thread_event with the image's thread callbacks.
extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK framework_test_thread_callback =
    on_thread_event;
