// Process-wide protections that the launchers' entry sets up before anything
// else runs. Windows only.
#pragma once

// Limits where the whole process looks for a DLL that is loaded by name from
// now on (by the program or, lazily, by a system DLL) to System32, so that a
// DLL planted beside the program is never loaded. The call is looked up at
// run time: true when the system has it and took the setting; false on a
// Windows that lacks it, where the search stays as it was. Children do not
// inherit the setting.
[[nodiscard]] bool limit_dll_search_to_system32();

// Gives the guard value of the compiler's stack protection one of this
// process's own. Every guarded frame open at the time would fail its check
// on return, so it is called once, before any guarded function runs.
void seed_stack_guard();
