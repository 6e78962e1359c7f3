#include "usertext/catalog.h"

#include <cstdlib>

#include "cmdline/environment.h"
#include "runtime/at_exit.h"
#include "runtime/string_map.h"
#include "text/checked_size.h"
#include "text/format.h"
#include "text/utf.h"
#include "text/value.h"
#include "text/wide.h"
#include "usertext/alloc_hook.h"
#include "usertext/sinks.h"

const char16_t* const kApplicationName = u"application_name";
const char16_t* const kErrorRunningCommand = u"error_running_command";
const char16_t* const kLocaleNegFormat = u"locale_neg_format";
const char16_t* const kLocaleThousSep = u"locale_thous_sep";
const char16_t* const kLocaleThousGrouping = u"locale_thous_grouping";
const char16_t* const kLocaleDecimal = u"locale_decimal";
const char16_t* const kLocaleTimeSep = u"locale_time_sep";

namespace {

// Default texts up to 49 units convert without touching the heap.
constexpr size_t kDefineLocalUnits = 50;

UsertextCatalog* g_catalog = nullptr;

void catalog_print(UsertextCatalog* self, const char16_t* text) { WriteLines(self->inner_sink, text); }
void catalog_error(UsertextCatalog* self, const char16_t* text) { WriteLines(self->inner_sink, text); }

const MessageOutputOps kCatalogOutput = {catalog_print, catalog_error};

uint32_t read_test_mode() {
  const char16_t* value = get_environment_variable(u"VARNO_USERTEXTTESTMODE");
  return static_cast<uint32_t>(parse_value(value, kNoLimit, nullptr));
}

}  // namespace

UsertextCatalog* EnsureUsertextCatalog() {
  if (g_catalog != nullptr) return g_catalog;
  if (usertext_allocation_refused(sizeof(UsertextCatalog))) return nullptr;
  UsertextCatalog* catalog = static_cast<UsertextCatalog*>(malloc(sizeof(UsertextCatalog)));
  if (catalog == nullptr) return nullptr;
  catalog->output = &kCatalogOutput;
  catalog->inner_sink = nullptr;
  catalog->testMode = 0;
  catalog->textMap = CreateStringMap();
  if (catalog->textMap == nullptr) {
    free(catalog);
    return nullptr;
  }
  // Reading the environment brings up the process lock and the info cache,
  // whose at-exit steps are thereby registered before ours and run after it.
  catalog->testMode = read_test_mode();
  g_catalog = catalog;
  // Refused, the catalog lives until the process ends.
  (void)at_exit_register(ReleaseUsertextCatalog);
  return catalog;
}

int ReleaseUsertextCatalog() {
  UsertextCatalog* catalog = g_catalog;
  if (catalog == nullptr) return 0;
  g_catalog = nullptr;
  catalog->textMap->ops->Release(catalog->textMap);
  free(catalog);
  return 0;
}

UsertextCatalog* usertext_catalog_for_testing() { return g_catalog; }

void StoreUsertext(UsertextCatalog* catalog, const char16_t* key, const char16_t* text) {
  StringMap* map = catalog->textMap;
  if (catalog->testMode == 0) {
    map->ops->Set(map, key, text);
    return;
  }
  char16_t* decorated = text_format_alloc(u"(%s) %s", key, text);
  // Without memory for the decoration the key still gets an entry, empty.
  map->ops->Set(map, key, decorated != nullptr ? decorated : u"");
  wide_free(decorated);
}

const char16_t* usertext_define(const char16_t* key, const char* utf8_default) {
  UsertextCatalog* catalog = EnsureUsertextCatalog();
  if (catalog == nullptr) return key;
  size_t source_bytes = narrow_length(utf8_default);
  char16_t local[kDefineLocalUnits];
  size_t needed = utf8_to_wide(local, kDefineLocalUnits, utf8_default, source_bytes);
  if (needed < kDefineLocalUnits) {
    StoreUsertext(catalog, key, local);
    return key;
  }
  char16_t* text = nullptr;
  size_t units, bytes;
  if (checked_add(needed, 1, &units) && checked_unit_bytes(units, 0, &bytes) && !usertext_allocation_refused(bytes)) {
    text = wide_alloc(nullptr, units);
  }
  if (text == nullptr) {
    StoreUsertext(catalog, key, u"");
    return key;
  }
  utf8_to_wide_unbounded(text, utf8_default, source_bytes);
  StoreUsertext(catalog, key, text);
  wide_free(text);
  return key;
}

const char16_t* usertext_set(const char16_t* key, const char16_t* text) {
  UsertextCatalog* catalog = EnsureUsertextCatalog();
  if (catalog != nullptr) StoreUsertext(catalog, key, text);
  return key;
}

const char16_t* usertext_lookup(UsertextCatalog* catalog, const char16_t* key) {
  if (catalog == nullptr) return key;
  StringMap* map = catalog->textMap;
  const char16_t* text = map->ops->Get(map, key);
  return text != nullptr ? text : key;
}

void register_usertext_defaults(const char* application_name) {
  usertext_define(kApplicationName, application_name);
  usertext_define(kErrorRunningCommand, "ERROR: %1  Unable to run command \"%2\".\n");
  usertext_define(kLocaleNegFormat, "-%1");
  usertext_define(kLocaleThousSep, ",");
  usertext_define(kLocaleThousGrouping, "3;0");
  usertext_define(kLocaleDecimal, ".");
  usertext_define(kLocaleTimeSep, ":");
}
