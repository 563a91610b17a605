// Finding and counting one byte value in bulk, sixteen bytes at a time.
//
// Sources are mostly text that holds no call; how fast it passes decides
// how fast the programs are. With SSE2 (every x86-64) a block of sixteen
// bytes costs a compare and a mask; elsewhere a plain loop builds the same
// masks.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zaptor {

inline constexpr std::size_t kBlockBytes = 16;

// Bit i set when text[at + i] == c, for the (at most sixteen) bytes from `at`.
inline std::uint32_t byte_mask(std::string_view text, std::size_t at, char c) {
  const std::string_view block = text.substr(at, kBlockBytes);
#if defined(__SSE2__)
  if (block.size() == kBlockBytes) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.data()));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
  }
#endif
  std::uint32_t mask = 0;
  for (std::size_t i = 0; i < block.size(); ++i) {
    if (block[i] == c) mask |= std::uint32_t{1} << i;
  }
  return mask;
}

// The set bits of a block's mask, without a call where the machine has no
// instruction for it.
constexpr int count_bits(std::uint32_t x) {
  x = x - ((x >> 1) & 0x55555555U);
  x = (x & 0x33333333U) + ((x >> 2) & 0x33333333U);
  x = (x + (x >> 4)) & 0x0F0F0F0FU;
  return static_cast<int>((x * 0x01010101U) >> 24);
}

// The positions of one byte value in a text, in order.
class ByteFinder {
 public:
  ByteFinder(std::string_view text, std::size_t from, char c) : text_(text), c_(c), block_(from) {
    if (from < text.size()) mask_ = byte_mask(text, from, c);
  }

  // The next position, or npos.
  std::size_t next() {
    while (mask_ == 0) {
      block_ += kBlockBytes;
      if (block_ >= text_.size()) return std::string_view::npos;
      mask_ = byte_mask(text_, block_, c_);
    }
    const std::size_t found = block_ + static_cast<std::size_t>(std::countr_zero(mask_));
    mask_ &= mask_ - 1;
    return found;
  }

 private:
  std::string_view text_;
  char c_;
  std::size_t block_;
  std::uint32_t mask_ = 0;
};

inline std::uint64_t count_byte(std::string_view text, char c) {
  std::uint64_t count = 0;
#if defined(__SSE2__)
  // Each match subtracts one from its lane's byte counter; the counters are
  // summed before any can pass 255.
  const __m128i wanted = _mm_set1_epi8(c);
  while (text.size() >= kBlockBytes) {
    __m128i lanes = _mm_setzero_si128();
    for (int round = 0; round < 255 && text.size() >= kBlockBytes; ++round) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data()));
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(bytes, wanted));
      text.remove_prefix(kBlockBytes);
    }
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    count += static_cast<std::uint64_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::uint64_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#endif
  for (const char b : text) count += b == c;
  return count;
}

}  // namespace zaptor
