// The signal hub and the framework's threads, seen from inside: the state
// they share, the handlers Windows calls, and the steps of start and stop.
// Windows only; the launcher needs only framework.h. Tests and test hosts use
// this header to drive the handlers directly and to inspect the hub.
#pragma once

#include <windows.h>

#include <atomic>

#include "framework/framework.h"

// Signal numbers. Raising any of 1..kSignalCount sets its sticky flag.
enum : int { kSignalStop = 1, kSignalPause = 2, kSignalContinue = 3, kSignalParametersChanged = 4, kSignalCount = 10 };

// Posted to the signal window to end its thread.
constexpr UINT WM_SIGNALWINDOW_STOP = WM_USER + 100;

// The window class and title of the hidden window, and its style:
// WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU, never WS_VISIBLE.
constexpr const wchar_t* kSignalWindowClass = L"SignalWindow";
constexpr DWORD kSignalWindowStyle = 0x04C80000;

// How long the at-exit teardown waits for threads still inside the hub to
// leave before it gives up on deleting the lock.
constexpr DWORD kHubTeardownWaitMs = 1000;
// How long StopSignalWindow waits for the window thread to end after posting
// it the stop message (its queue may first hold a flood of messages from
// elsewhere), and for one it could not post the message to, before it
// leaves the thread to process exit.
constexpr DWORD kWindowThreadStopMs = 10000;
constexpr DWORD kWindowThreadAbandonMs = 1000;
// How long StopProcessFramework waits, after reporting SERVICE_STOPPED, for
// the dispatcher call to return before it ends the dispatcher thread.
constexpr DWORD kServiceStopJoinMs = 3000;
// How long StopProcessFramework waits at last for the dispatcher thread to
// be gone; one that is not by then is left to the end of the process.
constexpr DWORD kDispatcherJoinMs = 1000;
// How long a dispatcher thread must have been in the dispatcher call before
// StopProcessFramework ends it by force: long enough for a probe that fails
// at once, short enough for a prompt exit. Time the thread has already spent
// in the call counts, so a launch whose tool ran that long waits not at all.
// Under Wine the probe settles in its long wait 1 to 25 ms after entering
// the call (the first call in a process, which loads the service libraries,
// is the slowest); a longer bound showed as a fixed cost in every short
// launch.
constexpr DWORD kDispatcherSettleMs = 100;

// Where the dispatcher thread is: one that has left the dispatcher call is
// ending by itself and is never ended by force.
enum : int { kDispatcherStarting = 0, kDispatcherInCall = 1, kDispatcherReturned = 2 };

// Process-wide; zero at program start. Fields marked "lock" change only under
// `lock`; the atomics are also read without it where noted.
struct SignalHub {
  CRITICAL_SECTION lock;
  std::atomic<bool> flags[kSignalCount];  // set under lock, tested without it
  std::atomic<bool> initialised;
  std::atomic<bool> torn_down;  // set by the teardown; nobody enters after
  std::atomic<long> users;      // threads between hub_enter and hub_leave
  std::atomic<bool> consoleHandlerInstalled;
  bool serviceMode;                         // lock
  HANDLE signalEvent;                       // lock; manual reset, never reset by the hub
  HANDLE windowReadyEvent;                  // exists only while StartSignalWindow runs
  HANDLE windowThread;                      // lock
  std::atomic<HWND> signalWindow;           // also the "pump runs" marker
  HANDLE dispatcherThread;                  // lock
  std::atomic<int> dispatcher_stage;        // set by the dispatcher thread
  std::atomic<DWORD> dispatcher_call_tick;  // GetTickCount when it entered the call
  std::atomic<SERVICE_STATUS_HANDLE> serviceStatusHandle;
  SERVICE_STATUS serviceStatus;  // lock
  DWORD exit_error;              // lock; reported with SERVICE_STOPPED
};

extern SignalHub g_signal_hub;

// Takes the hub's lock unless the hub is uninitialised or torn down (false:
// the lock was not taken and the caller must not touch guarded state). A
// teardown waits for every thread that got in to leave.
[[nodiscard]] bool hub_enter();
void hub_leave();
// True once no thread is between hub_enter and hub_leave; false when that
// has not happened within `timeout_ms`.
[[nodiscard]] bool hub_users_left_within(DWORD timeout_ms);

// Raises signal n (1..10; others are ignored): sets its flag and the event
// when the flag was clear. A repeated signal returns before taking the lock.
void RaiseSignal(int n);
// At-exit step registered by InitSignalHub: removes the console handler,
// lets nobody into the hub any more, waits (bounded) for threads still
// inside it to leave, then closes the event and deletes the lock. When a
// thread never leaves (it was ended inside the hub) both are left to the end
// of the process. Later raises do nothing.
int TeardownSignalHub();
void InstallConsoleHandler();
BOOL WINAPI ConsoleCtrlHandler(DWORD ctrlType);

void StartSignalWindow();
void StopSignalWindow();
DWORD WINAPI SignalWindowThread(LPVOID);
LRESULT CALLBACK SignalWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Dispatches messages while the signal window exists.
void PumpSignalWindow();
// For tests only: the loop of PumpSignalWindow with another message source
// than GetMessageW, such as one that fails (-1), which ends the window
// instead of dispatching an unfilled message.
using SignalMessageSource = BOOL(WINAPI*)(LPMSG msg, HWND hwnd, UINT first, UINT last);
void pump_signal_window_from_for_testing(SignalMessageSource source);

// The service probe's part of StopProcessFramework: reports SERVICE_STOPPED
// when the process runs as a service, ends a dispatcher thread still blocked
// in the probe, and joins the thread (every wait bounded).
void stop_service_dispatcher();

DWORD WINAPI ServiceDispatcherThread(LPVOID);
void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);
DWORD WINAPI ServiceCtrlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);
