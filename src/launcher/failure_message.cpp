#include "launcher/failure_message.h"

#include "usertext/catalog.h"
#include "usertext/expand.h"

FailureMessage failure_message(TextPool* pool, uint32_t error, const char16_t* command_line) {
  FailureMessage message;
  message.title = usertext_get(pool, kApplicationName);
  const char16_t* code = text_pool_printf(pool, u"%i", int32_t(error));
  message.text = usertext_format2(pool, kErrorRunningCommand, code, command_line ? command_line : kUsertextError);
  return message;
}
