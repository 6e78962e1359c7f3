#include "launcher/failure_message.h"

#include <string>

#include "usertext/catalog.h"
#include "usertext/usertext_test_util.h"

namespace {

using usertext_test::S;

class LauncherFailureMessage : public usertext_test::UsertextFixture {};

TEST_F(LauncherFailureMessage, NamesTheCodeAndTheCommandLineOrTheFallbackText) {
  struct Case {
    uint32_t test_mode;
    uint32_t error;
    const char16_t* command_line;
    std::u16string title;
    std::u16string text;
  } cases[] = {
      {0, 2, uR"("C:\x\tavrin.exe" convert -g)", u"Ardelon",
       u"ERROR: 2  Unable to run command \"\"C:\\x\\tavrin.exe\" convert -g\".\n"},
      {0, 0xFFFFFFFFu, u"c", u"Ardelon", u"ERROR: -1  Unable to run command \"c\".\n"},
      // The command line could not be built: the fallback text, never the
      // word for a missing argument.
      {0, 14, nullptr, u"Ardelon", u"ERROR: 14  Unable to run command \"usertext_error\".\n"},
      {1, 206, nullptr, u"(application_name) Ardelon",
       u"(error_running_command) ERROR: 206  Unable to run command \"usertext_error\".\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    catalog->textMap->ops->Clear(catalog->textMap);
    catalog->testMode = c.test_mode;
    register_usertext_defaults("Ardelon");
    FailureMessage message = failure_message(&pool, c.error, c.command_line);
    EXPECT_EQ(S(message.title), c.title);
    EXPECT_EQ(S(message.text), c.text);
  }
}

}  // namespace
