// Normalising a path and resolving it against a base or the current
// directory.
#include <cstdint>

#include "cmdline/path.h"
#include "cmdline/path_chars.h"
#include "cmdline/system.h"
#include "text/wide.h"

namespace {

size_t min_size(size_t a, size_t b) { return a < b ? a : b; }

struct Segment {
  const char16_t* text;
  size_t length;
};

// What a canonical path is made of: a root (copied with '/' turned into
// '\'), one '\' after it when the path is rooted, then the components of
// the tail segments with "." and ".." worked out. Components above the root
// are never removed; up-levels that find nothing to remove are dropped on a
// rooted path and written as one component of dots after the root otherwise.
struct PathPlan {
  const char16_t* root;
  size_t root_length;
  bool rooted;
  Segment tails[2];
  int tail_count;
};

// Walks the components of all tails from the last to the first. Going
// backwards, an up-level cancels the nearest component before it that is
// not yet cancelled, which is exactly what removing the last written
// component does going forwards; it lets the whole length be known before
// anything is written. `visit(p, n)` sees every kept component, last first;
// the result is the number of unmatched up-levels.
template <typename Visit>
size_t walk_kept_components(const PathPlan& plan, Visit visit) {
  size_t pending = 0;
  for (int t = plan.tail_count - 1; t >= 0; --t) {
    const char16_t* s = plan.tails[t].text;
    size_t end = plan.tails[t].length;
    while (end > 0) {
      while (end > 0 && is_path_separator(s[end - 1])) --end;
      if (end == 0) break;
      size_t start = end;
      while (start > 0 && !is_path_separator(s[start - 1])) --start;
      size_t n = end - start;
      if (all_dots(s + start, n)) {
        pending += n - 1;  // n dots go up n - 1 levels
      } else if (pending > 0) {
        --pending;
      } else {
        visit(s + start, n);
      }
      end = start;
    }
  }
  return pending;
}

struct PlanSize {
  size_t total;      // units of the result without the terminator
  size_t count;      // kept components
  size_t unmatched;  // up-levels to write as a dot prefix (0 when rooted)
};

PlanSize measure(const PathPlan& plan) {
  PlanSize size = {0, 0, 0};
  size_t units = 0;
  size_t unmatched = walk_kept_components(plan, [&](const char16_t*, size_t n) {
    ++size.count;
    units += n;
  });
  size.unmatched = plan.rooted ? 0 : unmatched;
  size.total = plan.root_length + (plan.rooted ? 1 : 0) + units + (size.count ? size.count - 1 : 0);
  // The prefix: unmatched + 1 dots and a separator.
  if (size.unmatched) size.total += size.unmatched + 2;
  return size;
}

// Writes the canonical path when it fits `capacity` with its terminator;
// writes nothing otherwise. `out` must not overlap the plan's texts.
bool write_plan(const PathPlan& plan, char16_t* out, size_t capacity, size_t* length) {
  PlanSize size = measure(plan);
  if (size.total >= capacity) return false;
  size_t pos = 0;
  for (size_t i = 0; i < plan.root_length; ++i) {
    char16_t c = plan.root[i];
    out[pos++] = c == u'/' ? u'\\' : c;
  }
  if (plan.rooted) out[pos++] = u'\\';
  if (size.unmatched) {
    for (size_t i = 0; i <= size.unmatched; ++i) out[pos++] = u'.';
    out[pos++] = u'\\';
  }
  // Components go in from the right end, last first.
  size_t end = size.total;
  size_t left = size.count;
  walk_kept_components(plan, [&](const char16_t* p, size_t n) {
    end -= n;
    wide_move(out + end, p, n);
    if (--left > 0) out[--end] = u'\\';
  });
  out[size.total] = 0;
  if (length) *length = size.total;
  return true;
}

// Writes into `dest` directly, or through a work area of kPathWorkUnits when
// `in_place` (dest is one of the plan's texts): the capacity is then cut to
// the work area. On failure a separate destination receives the empty
// string and an in-place one is left as it was.
bool finish(const PathPlan& plan, char16_t* dest, size_t capacity, bool in_place, size_t limit) {
  if (in_place) {
    char16_t work[kPathWorkUnits];
    size_t length = 0;
    if (!write_plan(plan, work, min_size(min_size(capacity, kPathWorkUnits), limit), &length)) return false;
    wide_move(dest, work, length + 1);
    return true;
  }
  if (write_plan(plan, dest, min_size(capacity, limit), nullptr)) return true;
  if (capacity > 0) dest[0] = 0;
  return false;
}

}  // namespace

bool normalize_path(const char16_t* source, char16_t* dest, size_t capacity) {
  if (!dest) return false;
  const bool in_place = dest == source;
  source = wide_or_empty(source);
  size_t root = 0;
  bool rooted = false;
  if (!parse_path_root(source, &root, &rooted, nullptr)) {
    if (!in_place && capacity > 0) dest[0] = 0;
    return false;
  }
  PathPlan plan = {source, root, rooted, {{source + root, wide_length(source + root)}, {nullptr, 0}}, 1};
  return finish(plan, dest, capacity, in_place, kNoLimit);
}

bool drive_current_directory(char16_t drive, char16_t* dest, size_t capacity) {
  if (!dest || capacity == 0 || !is_ascii_letter(drive)) return false;
  uint32_t cap32 = static_cast<uint32_t>(min_size(capacity, UINT32_MAX));
  // The platform reports a destination that is too small with the size it
  // needs, without writing it: only a result below the capacity was written.
  uint32_t n = system_drive_full_path(drive, dest, cap32);
  return n > 0 && n < cap32;
}

bool resolve_path(const char16_t* base, const char16_t* path, char16_t* dest, size_t capacity) {
  if (!dest) return false;
  const bool in_place = dest == path || (base && dest == base);
  path = wide_or_empty(path);
  auto fail = [&]() {
    if (!in_place && capacity > 0) dest[0] = 0;
    return false;
  };
  size_t path_root = 0;
  bool path_rooted = false;
  if (!parse_path_root(path, &path_root, &path_rooted, nullptr)) return fail();
  if (path_root > 0 && path_rooted) {
    // Drive with separator, or UNC: already absolute.
    PathPlan plan = {path, path_root, true, {{path + path_root, wide_length(path + path_root)}, {nullptr, 0}}, 1};
    return finish(plan, dest, capacity, in_place, kNoLimit) || fail();
  }

  // The base: the given one, or the current directory.
  char16_t current[kPathWorkUnits];
  const char16_t* base_text = base;
  if (base) {
    size_t root = 0;
    bool rooted = false;
    if (!parse_path_root(base, &root, &rooted, nullptr)) return fail();
    // A base that normalises to nothing is no base at all.
    PathPlan alone = {base, root, rooted, {{base + root, wide_length(base + root)}, {nullptr, 0}}, 1};
    if (measure(alone).total == 0) return fail();
  } else {
    uint32_t n = system_current_directory(current, kPathWorkUnits);
    if (n == 0 || n >= kPathWorkUnits) return fail();
    base_text = current;
  }
  size_t base_root = 0;
  bool base_rooted = false;
  if (!parse_path_root(base_text, &base_root, &base_rooted, nullptr)) return fail();

  // Which text goes in front of the path, and whether all of it or only
  // its root.
  char16_t drive_directory[kPathWorkUnits];
  const char16_t* front = base_text;
  size_t front_root = base_root;
  bool front_rooted = base_rooted;
  bool whole = false;
  if (path_rooted) {
    whole = false;  // "\x": the base's root only
  } else if (path_root == 0 || (base_root == 2 && path[0] == base_text[0] && path[1] == base_text[1])) {
    whole = base_rooted;  // relative, or relative to the base's own drive
  } else if (is_ascii_letter(path[0]) && drive_current_directory(path[0], drive_directory, kPathWorkUnits) &&
             parse_path_root(drive_directory, &front_root, &front_rooted, nullptr)) {
    front = drive_directory;
    whole = true;
  } else {
    front = path;  // another drive whose directory is unknown: its root
    front_root = 2;
    front_rooted = false;
  }

  // One separator joins the kept text to the path (a trailing one of its
  // own merges with it): so the result is rooted when the kept text was, or
  // when nothing but its root is kept.
  size_t kept = whole ? wide_length(front) : front_root;
  PathPlan plan = {front,
                   front_root,
                   front_rooted || kept == front_root,
                   {{front + front_root, kept - front_root}, {path + path_root, wide_length(path + path_root)}},
                   2};
  return finish(plan, dest, capacity, in_place, kPathWorkUnits) || fail();
}
