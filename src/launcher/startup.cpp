// The launcher's start-up sequence. C++ leaves the order of static
// initializers across source files open, so the process-wide steps that
// must run before the entry, in a fixed order, run here from one static
// initializer. Each resource registers its own at-exit cleanup when it first
// comes to life, so the exit order follows from this order.
#include "cmdline/cached_user_name.h"
#include "framework/framework.h"
#include "launcher/setting.h"
#include "launcher/startup_trace.h"
#include "runtime/nt_api.h"
#include "runtime/process_lock.h"
#include "usertext/catalog.h"
#include "usertext/locale_settings.h"

namespace {

void run_startup_sequence() {
  // 1. The usertext defaults in table order (creates the catalog, reads the
  //    test-mode variable through the environment copy, creating the process
  //    lock and the process info cache on the way).
  STARTUP_STEP("usertext_defaults");
  register_usertext_defaults(kLauncherSetting.display_name);
  // 2. The signal hub: its lock and event.
  STARTUP_STEP("signal_hub");
  InitSignalHub();
  // 3. The user's locale number settings over the locale_* defaults.
  STARTUP_STEP("locale_settings");
  LoadLocaleNumberSettings();
  // 4. The native call table and the cached user name.
  STARTUP_STEP("native_table");
  init_nt_api_table();
  STARTUP_STEP("user_name");
  init_cached_user_name();
  // The process lock exists by now; this step only makes sure of it.
  STARTUP_STEP("process_lock");
  process_lock_startup();
}

struct StartUp {
  StartUp() { run_startup_sequence(); }
};

StartUp start_up;

}  // namespace
