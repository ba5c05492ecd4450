// AVX2 versions of the scaler's row kernels, for the columns whose four bytes
// from the tap base lie inside the row. Same integer arithmetic as the
// portable kernels, eight output columns at a time; the taps of 8 columns
// come from two 16-byte reads and byte shuffles where the columns lie close
// enough together (scaling down up to about 4 times), else from gathers.
#include <immintrin.h>

#include "preview/PlaneScaler.h"

namespace mivora {

#if defined(__x86_64__) || defined(__i386__)
namespace {

// Spreads bytes 0,1 (or 2,3) of every 32-bit lane into two 16-bit halves.
__attribute__((target("avx2"))) inline __m256i SpreadLow(__m256i v) {
  const __m256i mask = _mm256_setr_epi8(0, -128, 1, -128, 4, -128, 5, -128, 8, -128, 9, -128, 12,
                                        -128, 13, -128, 0, -128, 1, -128, 4, -128, 5, -128, 8,
                                        -128, 9, -128, 12, -128, 13, -128);
  return _mm256_shuffle_epi8(v, mask);
}
__attribute__((target("avx2"))) inline __m256i SpreadHigh(__m256i v) {
  const __m256i mask = _mm256_setr_epi8(2, -128, 3, -128, 6, -128, 7, -128, 10, -128, 11, -128,
                                        14, -128, 15, -128, 2, -128, 3, -128, 6, -128, 7, -128, 10,
                                        -128, 11, -128, 14, -128, 15, -128);
  return _mm256_shuffle_epi8(v, mask);
}

__attribute__((target("avx2"))) inline void Store8(uint8_t* out, __m256i values) {
  __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(values), _mm256_extracti128_si256(values, 1));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
}

// The 16 bytes from `low` in the lower lane and from `high` in the upper.
__attribute__((target("avx2"))) inline __m256i ReadPieces(const uint8_t* row, int low, int high) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + low));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + high));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1);
}

}  // namespace

__attribute__((target("avx2"))) void CubicColumnsAvx2(const PlaneScaleParams& p, const CubicRow& r,
                                                      int first, int end, uint8_t* out) {
  __m256i vertical[4];
  const int* rows[4];
  for (int j = 0; j < 4; ++j) {
    vertical[j] = _mm256_set1_epi16(static_cast<short>(r.vertical[j]));
    rows[j] = reinterpret_cast<const int*>(r.rows[j]);
  }
  const __m256i half = _mm256_set1_epi32(32768);
  int c = first;
  for (; c + 8 <= end; c += 8) {
    const __m256i w01 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.cubicW01[c]));
    const __m256i w23 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.cubicW23[c]));
    const __m256i base = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.cubicBase[c]));
    const size_t group = static_cast<size_t>(c - first) / 8;
    const bool shuffled = p.cubicGroupShuffles[group] != 0;
    const __m256i pick01 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.cubicPick[group * 64]));
    const __m256i pick23 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.cubicPick[group * 64 + 32]));
    __m256i sum = half;
    for (int j = 0; j < 4; ++j) {
      // (horizontal x vertical) >> 16 for the four taps, then weight x sample.
      const __m256i a01 = _mm256_mulhi_epu16(w01, vertical[j]);
      const __m256i a23 = _mm256_mulhi_epu16(w23, vertical[j]);
      __m256i s01, s23;
      if (shuffled) {
        const __m256i bytes = ReadPieces(r.rows[j], p.cubicBase[c], p.cubicBase[c + 4]);
        s01 = _mm256_shuffle_epi8(bytes, pick01);
        s23 = _mm256_shuffle_epi8(bytes, pick23);
      } else {
        const __m256i taps = _mm256_i32gather_epi32(rows[j], base, 1);
        s01 = SpreadLow(taps);
        s23 = SpreadHigh(taps);
      }
      sum = _mm256_add_epi32(sum, _mm256_madd_epi16(s01, a01));
      sum = _mm256_add_epi32(sum, _mm256_madd_epi16(s23, a23));
    }
    Store8(out + c, _mm256_srli_epi32(sum, 16));
  }
  if (c < end) CubicColumnsPortable(p, r, c, end, out);
}

__attribute__((target("avx2"))) void LinearColumnsAvx2(const PlaneScaleParams& p, const LinearRow& r,
                                                       int first, int end, uint8_t* out) {
  const int* row0 = reinterpret_cast<const int*>(r.rows[0]);
  const int* row1 = reinterpret_cast<const int*>(r.rows[1]);
  const __m256i vertical = _mm256_set1_epi32(static_cast<int>((32767 - r.fy) | (r.fy << 16)));
  const __m256i half = _mm256_set1_epi32(1 << 21);
  int c = first;
  for (; c + 8 <= end; c += 8) {
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.linearW[c]));
    const __m256i base = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.linearBase[c]));
    const size_t group = static_cast<size_t>(c - first) / 8;
    __m256i s0, s1;
    if (p.linearGroupShuffles[group] != 0) {
      const __m256i pick = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&p.linearPick[group * 32]));
      s0 = _mm256_shuffle_epi8(ReadPieces(r.rows[0], p.linearBase[c], p.linearBase[c + 4]), pick);
      s1 = _mm256_shuffle_epi8(ReadPieces(r.rows[1], p.linearBase[c], p.linearBase[c + 4]), pick);
    } else {
      s0 = SpreadLow(_mm256_i32gather_epi32(row0, base, 1));
      s1 = SpreadLow(_mm256_i32gather_epi32(row1, base, 1));
    }
    const __m256i top = _mm256_madd_epi16(s0, w);
    const __m256i bottom = _mm256_madd_epi16(s1, w);
    const __m256i pair = _mm256_or_si256(_mm256_srli_epi32(top, 8),
                                         _mm256_slli_epi32(_mm256_srli_epi32(bottom, 8), 16));
    const __m256i v = _mm256_add_epi32(_mm256_madd_epi16(pair, vertical), half);
    Store8(out + c, _mm256_srli_epi32(v, 22));
  }
  if (c < end) LinearColumnsPortable(p, r, c, end, out);
}

#else
void CubicColumnsAvx2(const PlaneScaleParams& p, const CubicRow& r, int first, int end, uint8_t* out) {
  CubicColumnsPortable(p, r, first, end, out);
}
void LinearColumnsAvx2(const PlaneScaleParams& p, const LinearRow& r, int first, int end,
                       uint8_t* out) {
  LinearColumnsPortable(p, r, first, end, out);
}
#endif

}  // namespace mivora
