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

// Waits up to `timeout_ms` for the process (handle and id) to end, pressing
// OK on every box it shows meanwhile (a box blocks it until then), again
// every half second in case a press was lost; the first box goes into
// *first_box. False when the process still runs.
bool wait_pressing_ok(void* process, uint32_t process_id, uint32_t timeout_ms, MessageBoxSeen* first_box);

// The warning box of a launcher whose start of its tool Wine failed
// transiently (see retry_transient).
bool box_names_wine_start_failure(const MessageBoxSeen& box);
