#include "runtime/string_map.h"

#include <cstdlib>
#include <cstring>

#include "runtime/refcounted.h"
#include "text/checked_size.h"
#include "text/compare.h"
#include "text/wide.h"

// The tree keeps no colour in the nodes themselves: each node holds the
// colours of the links to its two children, so a node's own colour lives in
// its parent and the root (which has no incoming link) always counts as
// black. The helpers below give the usual "colour of a node" view on top of
// that, so that the balancing steps read like the textbook ones: setting the
// root's colour does nothing, reading it gives black.

namespace {

char16_t* node_key_units(StringMapNode* node) { return reinterpret_cast<char16_t*>(node + 1); }

int side_of(const StringMapNode* node) { return node->parent->child[1] == node ? 1 : 0; }

uint8_t colour_of(const StringMapNode* node) {
  return node->parent ? node->parent->link_colour[side_of(node)] : uint8_t(kLinkBlack);
}

bool is_red(const StringMapNode* node) { return node && colour_of(node) == kLinkRed; }

void set_colour(StringMapNode* node, uint8_t colour) {
  if (node->parent) node->parent->link_colour[side_of(node)] = colour;
}

// Puts `replacement` where `node` hangs (or at the root). The link keeps its
// colour, so the replacement takes over the node's colour.
void take_place(StringMap* map, StringMapNode* node, StringMapNode* replacement) {
  StringMapNode* parent = node->parent;
  if (replacement) replacement->parent = parent;
  if (!parent) {
    map->root = replacement;
    return;
  }
  int side = side_of(node);
  parent->child[side] = replacement;
  if (!replacement) parent->link_colour[side] = kLinkNone;
}

// The child on side !dir rises into x's place and x becomes its child on
// side dir. Every node keeps its own colour (a node rising to the root loses
// it, as the root is black).
void rotate(StringMap* map, StringMapNode* x, int dir) {
  StringMapNode* y = x->child[!dir];
  uint8_t x_colour = colour_of(x);
  uint8_t y_colour = x->link_colour[!dir];
  StringMapNode* inner = y->child[dir];
  uint8_t inner_colour = y->link_colour[dir];

  take_place(map, x, y);
  if (y->parent) y->parent->link_colour[side_of(y)] = y_colour;

  x->child[!dir] = inner;
  x->link_colour[!dir] = inner_colour;
  if (inner) inner->parent = x;

  y->child[dir] = x;
  y->link_colour[dir] = x_colour;
  x->parent = y;
}

StringMapNode* leftmost(StringMapNode* node) {
  if (node)
    while (node->child[0]) node = node->child[0];
  return node;
}

// The next node in key order; for no node, the first one.
StringMapNode* successor(const StringMap* map, StringMapNode* node) {
  if (!node) return leftmost(map->root);
  if (node->child[1]) return leftmost(node->child[1]);
  while (node->parent && node->parent->child[1] == node) node = node->parent;
  return node->parent;
}

// The leftmost node whose key compares equal (or null); *before receives the
// last node ordered before the key (or null).
StringMapNode* search(const StringMap* map, const char16_t* key, StringMapNode** before) {
  StringMapNode* match = nullptr;
  StringMapNode* last_before = nullptr;
  StringMapNode* node = map->root;
  while (node) {
    int order = compare_nocase(key, node_key_units(node));
    if (order > 0) {
      last_before = node;
      node = node->child[1];
    } else {
      if (order == 0) match = node;
      node = node->child[0];
    }
  }
  if (before) *before = last_before;
  return match;
}

// Restores the red-black rules after `node` was hung below a node with a red
// link.
void repair_after_insert(StringMap* map, StringMapNode* node) {
  while (is_red(node->parent)) {
    // A red node is never the root, so the grandparent exists.
    StringMapNode* parent = node->parent;
    StringMapNode* grandparent = parent->parent;
    int parent_side = side_of(parent);
    StringMapNode* uncle = grandparent->child[!parent_side];
    if (is_red(uncle)) {
      set_colour(parent, kLinkBlack);
      set_colour(uncle, kLinkBlack);
      set_colour(grandparent, kLinkRed);
      node = grandparent;
      continue;
    }
    if (side_of(node) != parent_side) {
      // Inner grandchild: turn it into the outer case.
      rotate(map, parent, parent_side);
      node = parent;
      parent = node->parent;
    }
    rotate(map, grandparent, !parent_side);
    set_colour(parent, kLinkBlack);
    set_colour(grandparent, kLinkRed);
    return;
  }
}

// Inserts the unlinked `node` right after `before` in key order (as the first
// node when `before` is null).
void insert_after(StringMap* map, StringMapNode* before, StringMapNode* node) {
  if (!map->root) {
    map->root = node;
    return;
  }
  StringMapNode* parent;
  int side;
  if (!before) {
    parent = leftmost(map->root);
    side = 0;
  } else if (!before->child[1]) {
    parent = before;
    side = 1;
  } else {
    parent = leftmost(before->child[1]);
    side = 0;
  }
  parent->child[side] = node;
  parent->link_colour[side] = kLinkRed;
  node->parent = parent;
  repair_after_insert(map, node);
}

// `leaf` is a black leaf that is not the root and is about to be cut off:
// rebalances so that the tree obeys the rules once it is gone. The leaf stays
// in place; the paths through it carry one black link too many until then.
void repair_before_cut(StringMap* map, StringMapNode* leaf) {
  StringMapNode* node = leaf;
  while (node->parent && !is_red(node)) {
    StringMapNode* parent = node->parent;
    int side = side_of(node);
    // The sibling side holds at least one black link more than this side
    // will after the cut, so the sibling exists.
    StringMapNode* sibling = parent->child[!side];
    if (is_red(sibling)) {
      rotate(map, parent, side);
      set_colour(sibling, kLinkBlack);
      set_colour(parent, kLinkRed);
      sibling = parent->child[!side];
    }
    if (!is_red(sibling->child[0]) && !is_red(sibling->child[1])) {
      set_colour(sibling, kLinkRed);
      node = parent;
      continue;
    }
    if (!is_red(sibling->child[!side])) {
      StringMapNode* near = sibling->child[side];
      rotate(map, sibling, !side);
      set_colour(near, kLinkBlack);
      set_colour(sibling, kLinkRed);
      sibling = near;
    }
    uint8_t parent_colour = colour_of(parent);
    rotate(map, parent, side);
    set_colour(sibling, parent_colour);
    set_colour(parent, kLinkBlack);
    set_colour(sibling->child[!side], kLinkBlack);
    return;
  }
  // Stopped at a red node above the leaf: making it black gives back the
  // black link that the cut takes away.
  if (node != leaf) set_colour(node, kLinkBlack);
}

// Takes `node` out of the tree; its block stays allocated and its pointers
// are cleared. A node with two children is replaced by its predecessor.
void unlink_node(StringMap* map, StringMapNode* node) {
  StringMapNode* moved = node;
  if (node->child[0] && node->child[1]) {
    moved = node->child[0];
    while (moved->child[1]) moved = moved->child[1];
  }
  // `moved` has at most one child, and then it is a red leaf below a black
  // node: the child takes its place and colour.
  StringMapNode* only_child = moved->child[0] ? moved->child[0] : moved->child[1];
  if (only_child) {
    take_place(map, moved, only_child);
  } else {
    if (moved->parent && !is_red(moved)) repair_before_cut(map, moved);
    take_place(map, moved, nullptr);
  }
  if (moved != node) {
    take_place(map, node, moved);
    for (int i = 0; i < 2; ++i) {
      moved->child[i] = node->child[i];
      moved->link_colour[i] = node->link_colour[i];
      if (moved->child[i]) moved->child[i]->parent = moved;
    }
  }
  node->parent = nullptr;
  node->child[0] = nullptr;
  node->child[1] = nullptr;
}

// One block: zeroed header, key units and terminator, value units and
// terminator. Null for a size that does not fit a size_t or no memory.
StringMapNode* new_node(const char16_t* key, const char16_t* value) {
  size_t key_length = wide_length(key);
  size_t value_length = wide_length(value);
  size_t units, bytes;
  if (!checked_add(key_length, value_length, &units) || !checked_add(units, 2, &units) ||
      !checked_unit_bytes(units, sizeof(StringMapNode), &bytes)) {
    return nullptr;
  }
  auto* node = static_cast<StringMapNode*>(malloc(bytes));
  if (!node) return nullptr;
  memset(node, 0, sizeof(StringMapNode));
  node->link_colour[0] = kLinkNone;
  node->link_colour[1] = kLinkNone;
  char16_t* text = node_key_units(node);
  if (key_length) memcpy(text, key, key_length * sizeof(char16_t));
  text[key_length] = 0;
  text += key_length + 1;
  if (value_length) memcpy(text, value, value_length * sizeof(char16_t));
  text[value_length] = 0;
  return node;
}

void map_clear(StringMap* map) {
  map->cursor = nullptr;
  // Frees leaves bottom-up; no balancing is needed for a tree that goes away
  // whole.
  StringMapNode* node = map->root;
  map->root = nullptr;
  while (node) {
    if (node->child[0]) {
      node = node->child[0];
    } else if (node->child[1]) {
      node = node->child[1];
    } else {
      StringMapNode* parent = node->parent;
      if (parent) {
        int side = side_of(node);
        parent->child[side] = nullptr;
        parent->link_colour[side] = kLinkNone;
      }
      free(node);
      node = parent;
    }
  }
}

void map_release(StringMap* map) {
  // Counting down to exactly 0 frees once; a surplus Release on a freed map
  // is the caller's fault and cannot be caught here.
  if (--map->count != 0) return;
  map_clear(map);
  free(map);
}

bool map_set(StringMap* map, const char16_t* key, const char16_t* value) {
  // The copy is made first, so key or value may point into the entry that
  // is about to be replaced.
  StringMapNode* node = new_node(key, value);
  if (!node) return false;
  StringMapNode* before;
  StringMapNode* match = search(map, node_key_units(node), &before);
  insert_after(map, before, node);
  if (match) {
    if (map->cursor == match) map->cursor = successor(map, match);
    unlink_node(map, match);
    free(match);
  }
  return true;
}

bool map_remove(StringMap* map, const char16_t* key) {
  StringMapNode* node = search(map, key, nullptr);
  if (!node) return false;
  if (map->cursor == node) map->cursor = successor(map, node);
  unlink_node(map, node);
  free(node);
  return true;
}

const char16_t* map_get(StringMap* map, const char16_t* key) {
  StringMapNode* node = search(map, key, nullptr);
  return node ? string_map_node_value(node) : nullptr;
}

const char16_t* report_cursor(StringMap* map, const char16_t** key) {
  StringMapNode* node = map->cursor;
  if (key) *key = node ? node_key_units(node) : nullptr;
  return node ? string_map_node_value(node) : nullptr;
}

const char16_t* map_first(StringMap* map, const char16_t** key) {
  map->cursor = leftmost(map->root);
  return report_cursor(map, key);
}

const char16_t* map_next(StringMap* map, const char16_t** key) {
  if (map->cursor) map->cursor = successor(map, map->cursor);
  return report_cursor(map, key);
}

const StringMapOps kStringMapOps = {
    refcounted_add_ref, map_release, map_clear, map_set, map_remove, map_get, map_first, map_next,
};

}  // namespace

StringMap* CreateStringMap() {
  auto* map = static_cast<StringMap*>(malloc(sizeof(StringMap)));
  if (!map) return nullptr;
  map->ops = &kStringMapOps;
  map->count = 1;
  map->root = nullptr;
  map->cursor = nullptr;
  return map;
}

const char16_t* string_map_node_key(const StringMapNode* node) { return reinterpret_cast<const char16_t*>(node + 1); }

const char16_t* string_map_node_value(const StringMapNode* node) {
  const char16_t* key = string_map_node_key(node);
  return key + wide_length(key) + 1;
}
