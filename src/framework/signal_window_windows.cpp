// The hidden "SignalWindow": stands in for the console when the process has
// none. Closing it, or the end of the logon session, raises the stop signal;
// the message is answered only once the framework has stopped the window.
#include "framework/signal_hub.h"

namespace {

// A stop message whose sender waits for the answer is held in a pump of its
// own, nested in the window procedure, until the framework has stopped.
// Every further one nests another pump, so their number is bounded: past
// this many the message only raises the signal and is answered at once, and
// no sender, however many messages it sends, can make the nesting deeper.
// A posted message has nobody waiting for it and is never held.
constexpr int kMaxHeldStopMessages = 16;
// The window thread's own count of held messages.
int g_held_stop_messages = 0;

// Clears the marker that keeps both pumps running, then destroys the window.
void end_signal_window(HWND hwnd) {
  SignalHub& hub = g_signal_hub;
  if (hub_enter()) {
    hub.signalWindow.store(nullptr);
    hub_leave();
  } else {
    hub.signalWindow.store(nullptr);
  }
  if (hwnd) DestroyWindow(hwnd);
}

// The loop of PumpSignalWindow with the message source given: a source that
// fails (-1) ends the window instead of dispatching an unfilled message.
void pump_from(SignalMessageSource source) {
  SignalHub& hub = g_signal_hub;
  MSG msg;
  while (HWND window = hub.signalWindow.load()) {
    BOOL got = source(&msg, nullptr, 0, 0);
    if (got > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    } else if (got < 0) {
      // No message was filled in, and a queue that cannot be read cannot
      // deliver the stop message either: give the window up so that every
      // pump and the thread end.
      end_signal_window(window);
    }
    // 0 is WM_QUIT, which does not end the window: only the stop message does.
  }
}

}  // namespace

void StartSignalWindow() {
  SignalHub& hub = g_signal_hub;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!ready) return;
  hub.windowReadyEvent = ready;
  HANDLE thread = CreateThread(nullptr, 0, SignalWindowThread, nullptr, 0, nullptr);
  if (thread) {
    // The thread sets the event whether or not it made the window; should it
    // end without doing so, its end wakes us as well.
    HANDLE waits[2] = {ready, thread};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    // Whether the window exists decides, not whether the hub lets us in: a
    // thread with a window pumps until it is stopped and must never be
    // joined here. A hub that refuses entry is being torn down, and then
    // the thread is simply handed over as end_signal_window hands the
    // window over, without the lock.
    bool entered = hub_enter();
    bool created = hub.signalWindow.load() != nullptr;
    if (created) hub.windowThread = thread;
    if (entered) hub_leave();
    if (!created) {
      // Its pump found no window, so the thread is ending.
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
  }
  hub.windowReadyEvent = nullptr;
  CloseHandle(ready);
}

DWORD WINAPI SignalWindowThread(LPVOID) {
  SignalHub& hub = g_signal_hub;
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = SignalWindowProc;
  window_class.lpszClassName = kSignalWindowClass;
  // A class that is already registered is simply used.
  RegisterClassW(&window_class);
  // WM_CREATE stores the window in the hub from inside this call.
  CreateWindowExW(0, kSignalWindowClass, kSignalWindowClass, kSignalWindowStyle, 100, 100, 200, 200, nullptr, nullptr,
                  nullptr, nullptr);
  SetEvent(hub.windowReadyEvent);
  HWND window = hub.signalWindow.load();
  if (window) {
    // The first ShowWindow of a process may take its show state from the
    // start-up information instead; the second one is obeyed.
    ShowWindow(window, SW_HIDE);
    ShowWindow(window, SW_HIDE);
  }
  PumpSignalWindow();
  return 0;
}

void PumpSignalWindow() { pump_from(GetMessageW); }

void pump_signal_window_from_for_testing(SignalMessageSource source) { pump_from(source); }

LRESULT CALLBACK SignalWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: g_signal_hub.signalWindow.store(hwnd); return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_CLOSE:
    case WM_ENDSESSION:
      RaiseSignal(kSignalStop);
      if (InSendMessage() && g_held_stop_messages < kMaxHeldStopMessages) {
        // Answered only after the framework has stopped the window: keep
        // dispatching until the stop message has been handled.
        ++g_held_stop_messages;
        PumpSignalWindow();
        --g_held_stop_messages;
        // A message sent from another thread is handled inside the
        // enclosing pump's GetMessageW, which returns only for a posted
        // message: with the window gone none would come, and the thread
        // would never end.
        PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
      }
      return 0;
    case WM_SIGNALWINDOW_STOP: end_signal_window(hwnd); return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

void StopSignalWindow() {
  SignalHub& hub = g_signal_hub;
  if (!hub_enter()) return;
  HANDLE thread = hub.windowThread;
  hub.windowThread = nullptr;
  bool posted = false;
  HWND window = hub.signalWindow.load();
  if (thread && window) posted = PostMessageW(window, WM_SIGNALWINDOW_STOP, 0, 0) != FALSE;
  hub_leave();
  if (!thread) return;
  // Without a posted stop message the thread ends only if its window is
  // already gone. With one it ends once its queue has come to the message,
  // behind whatever others posted first; never wait forever for either.
  WaitForSingleObject(thread, posted ? kWindowThreadStopMs : kWindowThreadAbandonMs);
  CloseHandle(thread);
}
