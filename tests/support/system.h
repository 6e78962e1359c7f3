// Which system runs the Windows test programs: Wine on the build machines,
// Windows where a test bundle is run. A test whose outcome differs between
// the two asks at run time and holds each to its own outcome; one that
// cannot run somewhere skips, saying why. Windows only.
#pragma once

#include <string>

// True under Wine: its ntdll exports wine_get_version, Windows' does not.
bool running_under_wine();

// "Wine 8.0" or "Windows 10.0.19045", for messages.
std::string system_name();

// A spare drive or a UNC share given to a test program through `variable`:
// its value, empty when the variable is unset. Where the machine cannot give
// it, the test bundle's runner sets the variable to "unavailable: " and the
// reason: then the result is empty, *unavailable holds the reason, and the
// test is to skip with it.
std::u16string given_resource(const wchar_t* variable, std::string* unavailable);

// The runner's side: the value that tells a test program that the machine
// cannot give the resource, and why.
std::u16string unavailable_resource(const std::string& why);

// Whether this process may create Windows services: under Windows only with
// administrator rights. When not, *why says so.
bool can_create_services(std::string* why);

// In a GoogleTest test: ends it as skipped, with the reason, when it may not
// create Windows services.
#define SKIP_UNLESS_SERVICES_CAN_BE_CREATED()                              \
  do {                                                                     \
    std::string skip_reason_;                                              \
    if (!can_create_services(&skip_reason_)) GTEST_SKIP() << skip_reason_; \
  } while (0)
