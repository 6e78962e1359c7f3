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

TEST(FrameworkTeardown, RacingRaisesNeitherTouchTheClosedEventNorLaterSignals) {
  InitSignalHub();
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
}

}  // namespace
