// Reading a message box that another process shows: finds the first dialog
// (class "#32770") owned by the process, reads its title and text, and
// presses OK. Windows only.
#pragma once

#include <cstdint>
#include <string>

struct MessageBoxSeen {
  bool found = false;
  std::u16string title;
  std::u16string text;  // the box's static text, final line feed included
};

// Waits up to `timeout_ms` for a box of process `process_id`; when one is
// found and `dismiss` is set, presses OK.
MessageBoxSeen read_message_box(uint32_t process_id, uint32_t timeout_ms, bool dismiss);
