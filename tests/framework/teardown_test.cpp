// The hub's at-exit teardown while other threads keep raising signals, as a
// console control handler may at process exit. The teardown is final, so
// this program holds nothing else.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "framework/signal_hub.h"

namespace {

SignalHub& hub = g_signal_hub;

// Each case tears the hub down: the next one starts from a hub made anew, as
// in a new process.
void fresh_hub() {
  if (hub.torn_down.load()) {
    hub.torn_down.store(false);
    hub.initialised.store(false);
    hub.users.store(0);
  }
  InitSignalHub();
}

TEST(FrameworkTeardown, RacingRaisesNeitherTouchTheClosedEventNorLaterSignals) {
  fresh_hub();
  InstallConsoleHandler();
  ASSERT_NE(hub.signalEvent, nullptr);
  std::atomic<bool> stop{false};
  std::atomic<long> raises{0};
  std::vector<std::thread> raisers;
  for (int t = 0; t < 4; ++t) {
    raisers.emplace_back([&, t] {
      for (long i = 0; !stop.load(); ++i) {
        int n = 1 + int((t * 3 + i) % kSignalCount);
        // Clear the flag again so that every raise takes the locked path.
        hub.flags[n - 1].store(false);
        RaiseSignal(n);
        ConsoleCtrlHandler(t % 2 ? CTRL_CLOSE_EVENT : CTRL_C_EVENT);
        raises.fetch_add(1);
      }
    });
  }
  while (raises.load() < 2000) Sleep(1);
  EXPECT_EQ(TeardownSignalHub(), 0);
  EXPECT_TRUE(hub.torn_down.load());
  EXPECT_EQ(hub.signalEvent, nullptr);

  // Handle values are reused: a raise that still used the closed event's
  // value would set this one.
  HANDLE fresh = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(fresh, nullptr);
  long seen = raises.load();
  while (raises.load() < seen + 2000) Sleep(1);
  stop.store(true);
  for (auto& raiser : raisers) raiser.join();
  EXPECT_EQ(WaitForSingleObject(fresh, 0), DWORD(WAIT_TIMEOUT));
  CloseHandle(fresh);
  EXPECT_EQ(hub.users.load(), 0);

  // After the teardown a signal changes nothing, and the handlers still answer.
  for (auto& flag : hub.flags) flag.store(false);
  for (int n = 1; n <= kSignalCount; ++n) RaiseSignal(n);
  for (int n = 1; n <= kSignalCount; ++n) EXPECT_FALSE(hub.flags[n - 1].load()) << n;
  EXPECT_EQ(ConsoleCtrlHandler(CTRL_C_EVENT), TRUE);
  EXPECT_EQ(ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr), DWORD(NO_ERROR));
  // The handler is no longer installed, and a second teardown does nothing.
  EXPECT_FALSE(SetConsoleCtrlHandler(ConsoleCtrlHandler, FALSE));
  EXPECT_EQ(TeardownSignalHub(), 0);
  // Stopping after the teardown does nothing either.
  StopSignalWindow();
  StopProcessFramework();
  // A window started now is handed over, not joined: its pump would never
  // end, and the start would never return.
  HANDLE starter = CreateThread(
      nullptr, 0, [](LPVOID) -> DWORD { return StartSignalWindow(), 0; }, nullptr, 0, nullptr);
  ASSERT_NE(starter, nullptr);
  EXPECT_EQ(WaitForSingleObject(starter, 30000), DWORD(WAIT_OBJECT_0)) << "the start waits for the pump";
  CloseHandle(starter);
  ASSERT_NE(hub.signalWindow.load(), nullptr);
  ASSERT_NE(hub.windowThread, nullptr);
  PostMessageW(hub.signalWindow.load(), WM_SIGNALWINDOW_STOP, 0, 0);
  EXPECT_EQ(WaitForSingleObject(hub.windowThread, 10000), DWORD(WAIT_OBJECT_0));
}

// A thread ended by force while it waited for the hub's lock (as the
// service dispatcher thread may be, inside a control handler) never leaves
// the hub. The exit must not wait for it for good.
TEST(FrameworkTeardown, AThreadEndedInsideTheHubDoesNotHoldUpTheExit) {
  fresh_hub();
  for (auto& flag : hub.flags) flag.store(false);
  ASSERT_TRUE(hub_enter());
  HANDLE raiser = CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        RaiseSignal(kSignalPause);
        return 0;
      },
      nullptr, 0, nullptr);
  ASSERT_NE(raiser, nullptr);
  // In the hub and blocked on the lock this thread holds.
  DWORD start = GetTickCount();
  while (hub.users.load() < 2 && GetTickCount() - start < 10000) Sleep(1);
  ASSERT_EQ(hub.users.load(), 2);
  ASSERT_TRUE(TerminateThread(raiser, 0));
  WaitForSingleObject(raiser, 10000);
  CloseHandle(raiser);
  hub_leave();

  HANDLE event = hub.signalEvent;
  HANDLE teardown = CreateThread(
      nullptr, 0, [](LPVOID) -> DWORD { return DWORD(TeardownSignalHub()); }, nullptr, 0, nullptr);
  ASSERT_NE(teardown, nullptr);
  EXPECT_EQ(WaitForSingleObject(teardown, 30000), DWORD(WAIT_OBJECT_0))
      << "the teardown waits for a thread that no longer exists";
  CloseHandle(teardown);
  EXPECT_TRUE(hub.torn_down.load());
  // The event and the lock, which the ended thread may still name, are left
  // as they were.
  EXPECT_EQ(hub.signalEvent, event);
  EXPECT_FALSE(hub.flags[kSignalPause - 1].load());
  RaiseSignal(kSignalStop);
  EXPECT_FALSE(hub.flags[kSignalStop - 1].load());
}

}  // namespace
