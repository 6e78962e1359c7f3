#include "support/message_box.h"

#include <windows.h>

#include <string>

#include "support/windows_process.h"

namespace {

std::u16string window_text(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::u16string text(size_t(length) + 1, u'\0');
  int got = GetWindowTextW(window, to_wchar(&text[0]), length + 1);
  text.resize(size_t(got > 0 ? got : 0));
  return text;
}

std::u16string item_text(HWND box, int item) {
  std::u16string text(65536, u'\0');
  UINT got = GetDlgItemTextW(box, item, to_wchar(&text[0]), int(text.size()));
  text.resize(got);
  return text;
}

}  // namespace

MessageBoxSeen read_message_box(uint32_t process_id, uint32_t timeout_ms, bool dismiss) {
  MessageBoxSeen seen;
  DWORD start = GetTickCount();
  for (;;) {
    HWND box = top_level_window(process_id, u"#32770");
    if (box && IsWindowVisible(box)) {
      seen.found = true;
      seen.title = window_text(box);
      seen.text = item_text(box, 0xFFFF);
      if (dismiss) PostMessageW(box, WM_COMMAND, IDOK, 0);
      return seen;
    }
    if (GetTickCount() - start >= timeout_ms) return seen;
    Sleep(20);
  }
}

bool wait_pressing_ok(void* process, uint32_t process_id, uint32_t timeout_ms, MessageBoxSeen* first_box) {
  DWORD start = GetTickCount();
  DWORD last_press = 0;
  while (WaitForSingleObject(process, 25) != WAIT_OBJECT_0) {
    DWORD now = GetTickCount();
    if (!first_box->found || now - last_press > 500) {
      MessageBoxSeen seen = read_message_box(process_id, 0, true);
      if (seen.found) {
        if (!first_box->found) *first_box = seen;
        last_press = now;
      }
    }
    if (now - start > timeout_ms) return false;
  }
  return true;
}

bool box_names_wine_start_failure(const MessageBoxSeen& box) {
  std::string code = std::to_string(kWineTransientStartError);
  std::u16string marker = u"ERROR: " + std::u16string(code.begin(), code.end()) + u"  ";
  return box.found && box.text.find(marker) != std::u16string::npos;
}
