// The compiled tables: the registration rules (TLD_RULES) and the rule set of the public
// suffix matcher (PSL_RULES). Both are static perfect-hash maps whose data the generator in
// tools/ writes into the build tree; this header is their hand-written interface.
//
// The stored records hold no pointers: texts are offsets into one character array, lists are
// index ranges. So the tables need no relocation when the module loads and cost no memory
// until a lookup reads them. A lookup builds its answer (views into that array) on the fly.
// The only pointers are in the few list items handed out as spans (restrictions, banned
// labels, source pairs), which the rule type requires to be arrays of views.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "types.hpp"

// The table data is reached from this library only: hidden symbols are addressed directly,
// without a trip through the global offset table.
#if defined(__GNUC__) || defined(__clang__)
#define ZELVAR_TABLE_DATA __attribute__((visibility("hidden")))
#else
#define ZELVAR_TABLE_DATA
#endif

namespace zelvar::generated {

static_assert(std::endian::native == std::endian::little,
              "the table hash reads key bytes as little-endian words");

// The key hash shared with tools/gen_tables.py, which must compute the very same value.
// Words of 8 bytes (little-endian, the tail zero-padded, always one tail word) are mixed in
// one by one, then the murmur3 finaliser spreads the bits.
inline std::uint64_t phf_hash(std::string_view key, std::uint64_t seed) noexcept {
  constexpr std::uint64_t k_len = 0x9E3779B97F4A7C15ULL;
  constexpr std::uint64_t k_mul = 0xBF58476D1CE4E5B9ULL;
  const char* p = key.data();
  std::size_t n = key.size();
  std::uint64_t h = seed ^ (static_cast<std::uint64_t>(n) * k_len);
  while (n >= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    h ^= w;
    h *= k_mul;
    h ^= h >> 29;
    p += 8;
    n -= 8;
  }
  // The zero-padded tail, read with fixed-size loads: a memcpy of variable length is a call
  // that costs more than the rest of the hash.
  std::uint64_t w = 0;
  if (n >= 4) {
    std::uint32_t lo;
    std::uint32_t hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + n - 4, 4);
    w = lo | (static_cast<std::uint64_t>(hi) << ((n - 4) * 8));
  } else if (n > 0) {
    w = static_cast<unsigned char>(p[0]) |
        (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n >> 1])) << ((n >> 1) * 8)) |
        (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << ((n - 1) * 8));
  }
  h ^= w;
  h *= k_mul;
  h ^= h >> 29;
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDULL;
  h ^= h >> 33;
  h *= 0xC4CEB93FE53EF1A3ULL;
  h ^= h >> 33;
  return h;
}

// Equality of two byte ranges of length n, with fixed-size (overlapping) loads: keys are
// short, and a call to memcmp costs more than the comparison.
inline bool same_bytes(const char* a, const char* b, std::size_t n) noexcept {
  const auto load64 = [](const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
  };
  const auto load32 = [](const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  };
  if (n >= 8) {
    for (; n > 8; a += 8, b += 8, n -= 8)
      if (load64(a) != load64(b)) return false;
    return load64(a + n - 8) == load64(b + n - 8);
  }
  if (n >= 4) return ((load32(a) ^ load32(b)) | (load32(a + n - 4) ^ load32(b + n - 4))) == 0;
  if (n == 0) return true;
  return a[0] == b[0] && a[n >> 1] == b[n >> 1] && a[n - 1] == b[n - 1];
}

// The hash index of one table: one hash h of the key gives a bucket (from the top 21 bits),
// f1 (the middle 21 bits) and f2 (the low 21 bits). The bucket's displacement word holds
// the pair d1 (top 11 bits) and d2 (low 21 bits); the entry position is
// x = (f1 + d1 * f2 + d2) mod 2^21 scaled to the table, (x * size) >> 21. Both scalings
// are multiply-shift, not division; tools/gen_tables.py computes the very same.
struct PhfIndex {
  std::uint64_t seed;
  std::uint32_t buckets;  // number of displacement words
  std::uint32_t size;     // number of entries
};

inline constexpr unsigned PHF_FIELD_BITS = 21;
inline constexpr std::uint64_t PHF_FIELD_MASK = (std::uint64_t{1} << PHF_FIELD_BITS) - 1;

constexpr std::size_t phf_bucket(std::uint64_t h, std::uint32_t buckets) noexcept {
  return static_cast<std::size_t>(((h >> (64 - PHF_FIELD_BITS)) * buckets) >> PHF_FIELD_BITS);
}

constexpr std::size_t phf_position(std::uint64_t h, std::uint32_t disp,
                                   std::uint32_t size) noexcept {
  const std::uint64_t f1 = (h >> PHF_FIELD_BITS) & PHF_FIELD_MASK;
  const std::uint64_t f2 = h & PHF_FIELD_MASK;
  const std::uint64_t d1 = disp >> PHF_FIELD_BITS;
  const std::uint64_t d2 = disp & PHF_FIELD_MASK;
  const std::uint64_t x = (f1 + d1 * f2 + d2) & PHF_FIELD_MASK;
  return static_cast<std::size_t>((x * size) >> PHF_FIELD_BITS);
}

// The longest key that the tables can store; no text longer than this is a key.
inline constexpr std::size_t MAX_KEY_BYTES = 0xFF;

namespace detail {

// Every text of both tables (keys, notes, addresses, list items), back to back; a text that
// ends another text is stored once, inside it.
extern const char TEXT[] ZELVAR_TABLE_DATA;

// A key: its offset in TEXT shifted left by 8, or'ed with its byte length.
inline std::string_view key_text(std::uint32_t key) noexcept {
  return {TEXT + (key >> 8), key & 0xFF};
}

inline bool key_equals(std::uint32_t key, std::string_view text) noexcept {
  return (key & 0xFF) == text.size() && same_bytes(TEXT + (key >> 8), text.data(), text.size());
}

struct TextRef {
  std::uint32_t offset;  // in TEXT
  std::uint32_t size;
};

inline std::string_view text(TextRef t) noexcept { return {TEXT + t.offset, t.size}; }

struct ListRef {
  std::uint16_t first;  // in TEXT_ITEMS
  std::uint16_t size;
};

// The values that nearly every rule leaves at their defaults, shared by the rules that have
// the same ones. TLD_EXTRAS[0] is the defaults: no note, no lists, no IDN characters.
struct TldExtra {
  TextRef note;
  TextRef idn_chars;
  ListRef restrictions;
  ListRef banned;
  std::uint8_t has_note;  // an absent note differs from an empty one
};

// One rule. Enumerations are held as their one-byte values.
struct TldRecord {
  std::uint32_t key;           // as key_text reads it
  std::uint16_t sources;       // first pair in SOURCE_ITEMS
  std::uint16_t extra;         // index into TLD_EXTRAS
  std::uint8_t source_count;
  std::uint8_t registerable;
  std::uint8_t reason;
  std::uint8_t min_length;
  std::uint8_t max_length;
  std::uint8_t length_basis;
  std::uint8_t charset;
};
static_assert(sizeof(TldRecord) == 16);

// One text of the suffix rule set; `tag` is the low 16 bits of the key's hash, so that a
// text that is no entry is nearly always refused without reading the stored key.
struct PslRecord {
  std::uint32_t key;  // as key_text reads it
  std::uint16_t tag;
  std::uint8_t kinds;
};
static_assert(sizeof(PslRecord) == 8);

extern const std::string_view TEXT_ITEMS[] ZELVAR_TABLE_DATA;
extern const types::RuleSource SOURCE_ITEMS[] ZELVAR_TABLE_DATA;
extern const TldExtra TLD_EXTRAS[] ZELVAR_TABLE_DATA;
extern const TldRecord TLD_RECORDS[] ZELVAR_TABLE_DATA;
extern const std::uint32_t TLD_DISPS[] ZELVAR_TABLE_DATA;
extern const PslRecord PSL_RECORDS[] ZELVAR_TABLE_DATA;
extern const std::uint32_t PSL_DISPS[] ZELVAR_TABLE_DATA;

inline std::span<const std::string_view> items(ListRef l) noexcept {
  return {TEXT_ITEMS + l.first, l.size};
}

}  // namespace detail

// What a lookup or a walk of TLD_RULES yields: the key and the rule, whose texts and lists
// are static data.
struct TldEntry {
  std::string_view key;
  types::TldRule rule;
};

// Kinds of rule that the list holds for one text (bit set). An entry with no bit set is an
// interior node: a proper tail of some rule, kept so that the matcher can stop at the first
// tail that is no entry.
enum PslKind : std::uint8_t {
  PSL_NORMAL = 1,     // "text"
  PSL_WILDCARD = 2,   // "*.text"
  PSL_EXCEPTION = 4,  // "!text"
};

// What a lookup or a walk of PSL_RULES yields.
struct PslEntry {
  std::string_view key;  // ASCII ("xn--") form, without "*." or "!"
  std::uint8_t kinds;
};

// How each map reads its records.
struct TldTable {
  using Record = detail::TldRecord;
  using Entry = TldEntry;
  static const Record* records() noexcept { return detail::TLD_RECORDS; }
  static const std::uint32_t* disps() noexcept { return detail::TLD_DISPS; }
  static bool matches(const Record& r, std::uint64_t, std::string_view key) noexcept {
    return detail::key_equals(r.key, key);
  }
  // Every field is a stored value, TLD_EXTRAS[0] included: constant zeros for the common
  // case would be merged into a block clear that costs more than the lookup.
  static types::TldRule rule(const Record& r) noexcept {
    const detail::TldExtra& x = detail::TLD_EXTRAS[r.extra];
    return {
        .tld = detail::key_text(r.key),
        .registerable = static_cast<types::RuleStatus>(r.registerable),
        .reason = static_cast<types::ClosedReason>(r.reason),
        .note = x.has_note ? std::optional<std::string_view>(detail::text(x.note))
                           : std::nullopt,
        .restrictions = detail::items(x.restrictions),
        .min_length = r.min_length,
        .max_length = r.max_length,
        .length_basis = static_cast<types::LengthBasis>(r.length_basis),
        .banned = detail::items(x.banned),
        .charset = static_cast<types::Charset>(r.charset),
        .idn_chars = detail::text(x.idn_chars),
        .sources = {detail::SOURCE_ITEMS + r.sources, r.source_count},
    };
  }
  static Entry entry(const Record& r) noexcept { return {detail::key_text(r.key), rule(r)}; }
};

struct PslTable {
  using Record = detail::PslRecord;
  using Entry = PslEntry;
  static const Record* records() noexcept { return detail::PSL_RECORDS; }
  static const std::uint32_t* disps() noexcept { return detail::PSL_DISPS; }
  static bool matches(const Record& r, std::uint64_t h, std::string_view key) noexcept {
    return r.tag == static_cast<std::uint16_t>(h) && detail::key_equals(r.key, key);
  }
  static Entry entry(const Record& r) noexcept { return {detail::key_text(r.key), r.kinds}; }
};

namespace detail {

// Converts to what make(record) returns. Handed to an in-place constructor, the value is
// built right in its final place: an answer built aside and then copied costs more than the
// lookup.
template <auto make, class Record>
struct Built {
  using Value = decltype(make(std::declval<const Record&>()));
  const Record* record;
  operator Value() const noexcept { return make(*record); }  // NOLINT: implicit by design
};

}  // namespace detail

// A static perfect-hash map over a table's records (hash and displace): one hash of the key,
// one displacement word, one entry position, one key comparison. Lookups and walks yield
// entries by value; the map itself holds no pointers.
template <class Table>
class PhfMap {
 public:
  using Record = typename Table::Record;
  using Entry = typename Table::Entry;

  // Yields entries in stored order.
  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;  // yields values, not references
    using iterator_concept = std::forward_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Entry;

    iterator() = default;
    explicit iterator(const Record* p) noexcept : p_(p) {}
    Entry operator*() const noexcept { return Table::entry(*p_); }
    iterator& operator++() noexcept {
      ++p_;
      return *this;
    }
    iterator operator++(int) noexcept {
      iterator old = *this;
      ++p_;
      return old;
    }
    friend bool operator==(const iterator&, const iterator&) = default;

   private:
    const Record* p_ = nullptr;
  };

  constexpr explicit PhfMap(PhfIndex index) noexcept : index_(index) {}

  // The stored record of `key`, or null.
  const Record* find(std::string_view key) const noexcept {
    if (index_.size == 0) return nullptr;
    const std::uint64_t h = phf_hash(key, index_.seed);
    const std::uint32_t disp = Table::disps()[phf_bucket(h, index_.buckets)];
    const Record& r = Table::records()[phf_position(h, disp, index_.size)];
    return Table::matches(r, h, key) ? &r : nullptr;
  }

  std::optional<Entry> get_entry(std::string_view key) const noexcept {
    if (const Record* r = find(key))
      return std::optional<Entry>(std::in_place, detail::Built<&Table::entry, Record>{r});
    return std::nullopt;
  }

  constexpr std::size_t size() const noexcept { return index_.size; }
  iterator begin() const noexcept { return iterator(Table::records()); }
  iterator end() const noexcept { return iterator(Table::records() + index_.size); }

 private:
  PhfIndex index_;
};

// The registration rules, keyed by rule text, byte for byte.
extern const PhfMap<TldTable> TLD_RULES ZELVAR_TABLE_DATA;
// Both sections of the same list edition, for the suffix matcher.
extern const PhfMap<PslTable> PSL_RULES ZELVAR_TABLE_DATA;

// The rule of `key` alone, as get_entry finds it, for callers that need no key.
inline std::optional<types::TldRule> find_rule(std::string_view key) noexcept {
  if (const detail::TldRecord* r = TLD_RULES.find(key))
    return std::optional<types::TldRule>(std::in_place,
                                         detail::Built<&TldTable::rule, detail::TldRecord>{r});
  return std::nullopt;
}

}  // namespace zelvar::generated
