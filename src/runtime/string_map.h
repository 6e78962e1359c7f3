// StringMap: an ordered map from key text to value text with ASCII
// case-insensitive keys, kept as a red-black tree with one heap block per
// entry (node header, key, value). Reference counted; reached only through
// its table of operations. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

struct StringMap;

// One entry: the header below, then the key's units and terminator, then the
// value's units and terminator, all in one block.
struct StringMapNode {
  StringMapNode* parent;    // null at the root
  StringMapNode* child[2];  // 0: keys before this one; 1: keys after
  uint8_t link_colour[2];   // colour of the link to child i
};

enum : uint8_t { kLinkRed = 0, kLinkBlack = 1, kLinkNone = 0xFF };

struct StringMapOps {
  void (*AddRef)(void* self);        // shared refcounted_add_ref
  void (*Release)(StringMap* self);  // at 0: Clear, then free
  void (*Clear)(StringMap* self);
  // Inserts or replaces (the new key's letter case wins). False only when
  // memory is lacking; the map is then unchanged.
  bool (*Set)(StringMap* self, const char16_t* key, const char16_t* value);
  // False when no key compares equal.
  bool (*Remove)(StringMap* self, const char16_t* key);
  // The stored value (not a copy) or null. Valid until its entry is replaced
  // or removed, or the map is cleared or released.
  const char16_t* (*Get)(StringMap* self, const char16_t* key);
  // Iteration with the map's one cursor; *key receives the stored key (null
  // at the end, when the value returned is null too); a null `key` is
  // allowed. Next without First, or after the end, gives null. Removing or
  // replacing the entry at the cursor moves the cursor on to the following
  // entry, so the next Next returns the one after that.
  const char16_t* (*First)(StringMap* self, const char16_t** key);
  const char16_t* (*Next)(StringMap* self, const char16_t** key);
};

struct StringMap {
  const StringMapOps* ops;
  int32_t count;
  StringMapNode* root;
  StringMapNode* cursor;
};

// A new empty map with count 1, or null when memory is lacking. Null keys
// and values read as empty texts.
[[nodiscard]] StringMap* CreateStringMap();

// The texts stored in a node's block.
const char16_t* string_map_node_key(const StringMapNode* node);
const char16_t* string_map_node_value(const StringMapNode* node);
