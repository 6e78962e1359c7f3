// The usertext catalog: the process-wide map from usertext keys to their
// current texts. Keys compare ASCII-case-insensitively. Defaults are
// registered during start-up; afterwards the catalog is only read (it has
// no lock).
#pragma once

#include <cstdint>

struct StringMap;
struct MessageSink;
struct UsertextCatalog;

// The message-output role (print, error) a script engine could drive.
struct MessageOutputOps {
  void (*print)(UsertextCatalog* self, const char16_t* text);
  void (*error)(UsertextCatalog* self, const char16_t* text);
};

struct UsertextCatalog {
  const MessageOutputOps* output;
  StringMap* textMap;
  uint32_t testMode;        // non-zero: stored texts carry "(key) " in front
  MessageSink* inner_sink;  // null: print and error do nothing
};

// The catalog, created on first use; null only when memory ran out (the
// next call tries again). Creation reads VARNO_USERTEXTTESTMODE and
// registers ReleaseUsertextCatalog at exit.
UsertextCatalog* EnsureUsertextCatalog();
int ReleaseUsertextCatalog();
// The current catalog without creating it (null before first use / after
// release).
UsertextCatalog* usertext_catalog_for_testing();

// Registers a default (UTF-8) text under `key`; returns `key` unchanged.
const char16_t* usertext_define(const char16_t* key, const char* utf8_default);
// Stores `text` under `key`; returns `key` unchanged.
const char16_t* usertext_set(const char16_t* key, const char16_t* text);
// The stored text, or `key` itself when nothing is stored. No expansion.
const char16_t* usertext_lookup(UsertextCatalog* catalog, const char16_t* key);
// Stores, decorated with "(key) " in test mode.
void StoreUsertext(UsertextCatalog* catalog, const char16_t* key, const char16_t* text);

// The keys with defaults, registered in this order at start-up.
extern const char16_t* const kApplicationName;      // application_name
extern const char16_t* const kErrorRunningCommand;  // error_running_command
extern const char16_t* const kLocaleNegFormat;      // locale_neg_format
extern const char16_t* const kLocaleThousSep;       // locale_thous_sep
extern const char16_t* const kLocaleThousGrouping;  // locale_thous_grouping
extern const char16_t* const kLocaleDecimal;        // locale_decimal
extern const char16_t* const kLocaleTimeSep;        // locale_time_sep

// Registers the seven defaults in table order; `application_name` is the
// launcher's display name (UTF-8).
void register_usertext_defaults(const char* application_name);
