// Structural checks of a StringMap's tree and an independent model of its key
// order, shared by the unit tests and the fuzz target (no test framework
// here: faults come back as text).
#pragma once

#include <cmath>
#include <cstddef>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/string_map.h"
#include "support/test_support.h"

// The key order written out again, apart from the product's comparison: the
// 26 ASCII letters upper-cased, then unsigned 16-bit units, a prefix first
// (its terminator meets a unit of the longer text). Model keys hold no zero
// units.
inline int model_key_compare(const char16_t* a, const char16_t* b) {
  for (;; ++a, ++b) {
    char16_t x = (*a >= u'a' && *a <= u'z') ? char16_t(*a - 0x20) : *a;
    char16_t y = (*b >= u'a' && *b <= u'z') ? char16_t(*b - 0x20) : *b;
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

// Exact equality of a stored text and a model text.
inline bool same_text(const char16_t* stored, const std::u16string& text) {
  size_t i = 0;
  for (; i < text.size(); ++i)
    if (stored[i] != text[i]) return false;
  return stored[i] == 0;
}

struct ModelKeyLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return model_key_compare(a.c_str(), b.c_str()) < 0;
  }
};

struct StringMapShape {
  std::string fault;                        // empty when every rule holds
  std::vector<const StringMapNode*> nodes;  // in key order
  size_t height = 0;                        // nodes on the longest root-to-leaf path
  size_t black_links = 0;                   // black links on every root-to-empty-link path
};

// Walks the whole tree and checks: parent links, the link colour marks (255
// exactly where a child is missing, else red or black), no red link below a
// red link, the same number of black links on every path to an empty link,
// and strictly ascending keys in order (which also means no key twice).
inline StringMapShape inspect_string_map(const StringMap* map) {
  StringMapShape shape;
  auto fail = [&](const std::string& why) {
    if (shape.fault.empty()) shape.fault = why;
  };
  if (!map->root) return shape;
  if (map->root->parent) fail("root has a parent");

  struct Frame {
    const StringMapNode* node;
    size_t depth;
    size_t blacks;
    bool red_above;  // the node was reached over a red link
  };
  bool have_black_count = false;
  // In-order walk with an explicit stack so that a corrupt (very deep or
  // cyclic) tree cannot overflow the test's own stack.
  std::vector<Frame> stack;
  stack.reserve(64);
  shape.nodes.reserve(256);
  Frame current{map->root, 1, 0, false};
  bool have_current = true;
  const size_t limit = 50u * 1000u * 1000u;
  while (have_current || !stack.empty()) {
    while (have_current) {
      const StringMapNode* n = current.node;
      if (shape.height < current.depth) shape.height = current.depth;
      if (current.depth > 200) {
        fail("tree deeper than 200 levels (cycle?)");
        return shape;
      }
      for (int i = 0; i < 2; ++i) {
        const StringMapNode* c = n->child[i];
        uint8_t colour = n->link_colour[i];
        if (!c) {
          if (colour != kLinkNone) fail("empty link not marked 255");
          size_t blacks = current.blacks;
          if (!have_black_count) {
            shape.black_links = blacks;
            have_black_count = true;
          } else if (blacks != shape.black_links) {
            fail("black link counts differ between paths");
          }
        } else {
          if (colour != kLinkRed && colour != kLinkBlack) fail("link to a child marked neither red nor black");
          if (c->parent != n) fail("child's parent link does not point back");
          if (colour == kLinkRed && current.red_above) fail("red link below a red link");
        }
      }
      stack.push_back(current);
      if (n->child[0]) {
        current = Frame{n->child[0], current.depth + 1, current.blacks + (n->link_colour[0] == kLinkBlack),
                        n->link_colour[0] == kLinkRed};
      } else {
        have_current = false;
      }
    }
    Frame top = stack.back();
    stack.pop_back();
    if (shape.nodes.size() >= limit) {
      fail("too many nodes (cycle?)");
      return shape;
    }
    if (!shape.nodes.empty()) {
      if (model_key_compare(string_map_node_key(shape.nodes.back()), string_map_node_key(top.node)) >= 0)
        fail("keys not strictly ascending in order");
    }
    shape.nodes.push_back(top.node);
    const StringMapNode* n = top.node;
    if (n->child[1]) {
      current = Frame{n->child[1], top.depth + 1, top.blacks + (n->link_colour[1] == kLinkBlack),
                      n->link_colour[1] == kLinkRed};
      have_current = true;
    }
  }
  return shape;
}

// The entries in key order as (stored key, value) pairs.
inline std::vector<std::pair<std::u16string, std::u16string>> string_map_entries(const StringMapShape& shape) {
  std::vector<std::pair<std::u16string, std::u16string>> out;
  for (const StringMapNode* n : shape.nodes) out.emplace_back(string_map_node_key(n), string_map_node_value(n));
  return out;
}

// The height bound of a red-black tree with n entries: 2 * log2(n + 1).
inline bool height_within_bound(size_t height, size_t entries) {
  return double(height) <= 2.0 * std::log2(double(entries) + 1.0) + 1e-9;
}

// A key for fault texts, in quotes so that the empty key shows.
inline std::string printable(const std::u16string& key) { return "\"" + escaped(key) + "\""; }

// A map under test beside a std::map with the same key order. Each operation
// is applied to both; the results and, through check_all, the whole tree,
// the stored letter case, the addresses of texts handed out and the cursor
// are compared. Every call returns the first fault found, or an empty text.
class StringMapModel {
 public:
  StringMapModel() : map_(CreateStringMap()) {}
  ~StringMapModel() {
    if (map_) map_->ops->Release(map_);
  }
  StringMapModel(const StringMapModel&) = delete;
  StringMapModel& operator=(const StringMapModel&) = delete;

  StringMap* map() const { return map_; }
  size_t size() const { return model_.size(); }

  // An empty key may be passed as null and a value as null (read as empty).
  std::string set(const std::u16string& key, const std::u16string& value, bool null_key, bool null_value) {
    auto it = model_.find(key);
    if (it != model_.end()) {
      cursor_leaves(it);
      model_.erase(it);
    }
    model_.emplace(key, Entry{key, null_value ? std::u16string() : value, nullptr});
    const char16_t* k = null_key && key.empty() ? nullptr : key.c_str();
    if (!map_->ops->Set(map_, k, null_value ? nullptr : value.c_str())) return "Set failed";
    return {};
  }

  // Sets the key to the text that Get returns for `source` (the map's own
  // stored text as input).
  std::string set_from_stored(const std::u16string& key, const std::u16string& source) {
    const char16_t* stored = map_->ops->Get(map_, source.c_str());
    if (!stored) return {};
    std::u16string value = stored;
    auto it = model_.find(key);
    if (it != model_.end()) {
      cursor_leaves(it);
      model_.erase(it);
    }
    model_.emplace(key, Entry{key, value, nullptr});
    if (!map_->ops->Set(map_, key.c_str(), stored)) return "Set failed";
    return {};
  }

  std::string remove(const std::u16string& key) {
    auto it = model_.find(key);
    bool expected = it != model_.end();
    if (expected) {
      cursor_leaves(it);
      model_.erase(it);
    }
    if (map_->ops->Remove(map_, key.c_str()) != expected) return "Remove result differs for " + printable(key);
    return {};
  }

  std::string get(const std::u16string& key) {
    const char16_t* got = map_->ops->Get(map_, key.c_str());
    auto it = model_.find(key);
    if (it == model_.end()) return got ? "Get found an absent key " + printable(key) : "";
    if (!got) return "Get missed " + printable(key);
    if (got != it->second.value) return "Get returned the wrong value for " + printable(key);
    if (it->second.value_address && it->second.value_address != got) return "Get's text moved without a change";
    it->second.value_address = got;
    return {};
  }

  std::string first() {
    const char16_t* key = u"sentinel";
    const char16_t* value = map_->ops->First(map_, &key);
    if (model_.empty()) {
      cursor_.reset();
    } else {
      cursor_ = model_.begin()->first;
    }
    return check_report(value, key);
  }

  std::string next() {
    const char16_t* key = u"sentinel";
    const char16_t* value = map_->ops->Next(map_, &key);
    if (cursor_) {
      auto after = model_.upper_bound(*cursor_);
      if (after == model_.end()) {
        cursor_.reset();
      } else {
        cursor_ = after->first;
      }
    }
    return check_report(value, key);
  }

  std::string clear() {
    map_->ops->Clear(map_);
    model_.clear();
    cursor_.reset();
    return map_->root || map_->cursor ? "Clear left a root or a cursor" : "";
  }

  std::string check_all() const {
    StringMapShape shape = inspect_string_map(map_);
    if (!shape.fault.empty()) return shape.fault;
    if (!height_within_bound(shape.height, shape.nodes.size())) return "height above 2*log2(n+1)";
    if (shape.nodes.size() != model_.size()) return "entry count differs from the model";
    auto it = model_.begin();
    for (const StringMapNode* n : shape.nodes) {
      if (!same_text(string_map_node_key(n), it->second.key))
        return "stored key (or its letter case) differs: " + printable(string_map_node_key(n)) + " vs " +
               printable(it->second.key);
      if (!same_text(string_map_node_value(n), it->second.value)) return "stored value differs";
      if (it->second.value_address && it->second.value_address != string_map_node_value(n))
        return "an untouched entry moved to another block";
      ++it;
    }
    if (!cursor_) {
      if (map_->cursor) return "cursor should be null";
    } else {
      if (!map_->cursor) return "cursor should stand on " + printable(*cursor_);
      if (model_key_compare(string_map_node_key(map_->cursor), cursor_->c_str()) != 0)
        return "cursor on " + printable(string_map_node_key(map_->cursor)) + " instead of " + printable(*cursor_);
    }
    return {};
  }

 private:
  struct Entry {
    std::u16string key;  // stored letter case (the newest Set)
    std::u16string value;
    const char16_t* value_address;  // as handed out by Get, once seen
  };
  using Model = std::map<std::u16string, Entry, ModelKeyLess>;

  // The entry at `it` leaves: a cursor standing on it moves to the next one.
  void cursor_leaves(typename Model::iterator it) {
    if (cursor_ && model_key_compare(cursor_->c_str(), it->first.c_str()) == 0) {
      auto after = std::next(it);
      if (after == model_.end()) {
        cursor_.reset();
      } else {
        cursor_ = after->first;
      }
    }
  }

  std::string check_report(const char16_t* value, const char16_t* key) const {
    if (!cursor_) return value || key ? "iteration should have ended" : "";
    const Entry& e = model_.find(*cursor_)->second;
    if (!value || !key) return "iteration ended early";
    if (!map_->cursor || key != string_map_node_key(map_->cursor) || value != string_map_node_value(map_->cursor))
      return "iteration texts are not the stored ones";
    if (key != e.key || value != e.value) return "iteration returned the wrong entry";
    return {};
  }

  StringMap* map_;
  Model model_;
  std::optional<std::u16string> cursor_;  // the model key the cursor stands on
};
