// Controls of the native stand-ins behind cmdline/system.h, for tests. The
// texts given must stay valid until they are replaced or
// cmdline_stand_in_reset runs.
#pragma once

// Back to the defaults: current directory C:\native\cwd, each drive's
// current directory its root (the current drive's is the current
// directory), program file C:\native\program.exe, environment the real
// process environment.
void cmdline_stand_in_reset();
// Null makes the call fail.
void cmdline_stand_in_set_current_directory(const char16_t* directory);
// Null makes the call fail for that drive (an ASCII letter).
void cmdline_stand_in_set_drive_directory(char16_t drive, const char16_t* directory);
void cmdline_stand_in_set_module_file_name(const char16_t* path);
// A block of "name=value" strings ended by an empty one; null makes the call
// fail.
void cmdline_stand_in_set_environment(const char16_t* block);
// How many environment blocks were handed out and not freed yet.
int cmdline_stand_in_environment_blocks_outstanding();
