// The compiled tables: the registration rules (TLD_RULES) and the rule set of the public
// suffix matcher (PSL_RULES). Both are static perfect-hash maps whose data the generator in
// tools/ writes into the build tree; this header is their hand-written interface.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "types.hpp"

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

// Displacement pair of one bucket.
struct Disp {
  std::uint32_t d1;
  std::uint32_t d2;
};

// A static perfect-hash map (hash and displace). One hash of the key gives a bucket
// (top 21 bits), f1 (middle 21 bits) and f2 (low 21 bits); the bucket's pair gives the one
// entry position (f1 + d1 * f2 + d2) mod size, whose key is compared with the text.
// Entry is any aggregate with a `key` member of type std::string_view.
template <class Entry>
class PhfMap {
 public:
  constexpr PhfMap(std::uint64_t seed, std::span<const Disp> disps,
                   std::span<const Entry> entries) noexcept
      : seed_(seed), disps_(disps), entries_(entries) {}

  const Entry* get_entry(std::string_view key) const noexcept {
    if (entries_.empty()) return nullptr;
    const std::uint64_t h = phf_hash(key, seed_);
    const std::uint64_t g = h >> 43;
    const std::uint64_t f1 = (h >> 21) & 0x1FFFFF;
    const std::uint64_t f2 = h & 0x1FFFFF;
    const Disp& d = disps_[g % disps_.size()];
    const Entry& e = entries_[(f1 + d.d1 * f2 + d.d2) % entries_.size()];
    if (e.key.size() != key.size() || std::memcmp(e.key.data(), key.data(), key.size()) != 0)
      return nullptr;
    return &e;
  }

  constexpr std::size_t size() const noexcept { return entries_.size(); }
  constexpr auto begin() const noexcept { return entries_.begin(); }
  constexpr auto end() const noexcept { return entries_.end(); }
  constexpr std::span<const Entry> entries() const noexcept { return entries_; }

 private:
  std::uint64_t seed_;
  std::span<const Disp> disps_;
  std::span<const Entry> entries_;
};

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

struct PslEntry {
  std::string_view key;  // ASCII ("xn--") form, without "*." or "!"
  std::uint8_t kinds;
};

// The registration rules, keyed by rule text, byte for byte.
extern const PhfMap<TldEntry> TLD_RULES;
// Both sections of the same list edition, for the suffix matcher.
extern const PhfMap<PslEntry> PSL_RULES;

}  // namespace zelvar::generated
