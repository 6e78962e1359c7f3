#include <stdlib.h>

#include "runtime/at_exit.h"

int at_exit_register(AtExitCleanup cleanup) { return _onexit(cleanup) ? 0 : -1; }
