#include "sonolint/WAVSilenceNoiseDetector.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>

#include "chunkmodel/WAVHelpers.h"
#include "pcm/PcmReader.h"
#include "platform/DebugTrace.h"
#include "platform/Files.h"
#include "platform/Guard.h"
#include "platform/Stream.h"
#include "platform/Text.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RIFFO_X86_KERNELS 1
#endif

namespace riffo {
namespace {

inline int32_t Sample16(const uint8_t* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

// Sums of squares per channel over `frames` frames, one pass over the data.
// Every square fits in 32 bits and the sums are exact 64-bit integers. With
// the channel count known at compile time the sums stay in registers.
template <int Channels>
void SumSquares16Fixed(const uint8_t* data, int64_t frames, uint64_t* sums) {
  uint64_t acc[Channels] = {};
  for (int64_t k = 0; k < frames; ++k) {
    const uint8_t* frame = data + k * Channels * 2;
    for (int c = 0; c < Channels; ++c) {
      const int32_t s = Sample16(frame + 2 * c);
      acc[c] += static_cast<uint32_t>(s * s);
    }
  }
  for (int c = 0; c < Channels; ++c) sums[c] = acc[c];
}

void SumSquares16Scalar(const uint8_t* data, int64_t frames, int32_t channels, uint64_t* sums) {
  switch (channels) {
    case 1: return SumSquares16Fixed<1>(data, frames, sums);
    case 2: return SumSquares16Fixed<2>(data, frames, sums);
    case 3: return SumSquares16Fixed<3>(data, frames, sums);
    case 4: return SumSquares16Fixed<4>(data, frames, sums);
    case 5: return SumSquares16Fixed<5>(data, frames, sums);
    case 6: return SumSquares16Fixed<6>(data, frames, sums);
    case 7: return SumSquares16Fixed<7>(data, frames, sums);
    case 8: return SumSquares16Fixed<8>(data, frames, sums);
    default: break;
  }
  for (int32_t c = 0; c < channels; ++c) sums[c] = 0;
  for (int64_t k = 0; k < frames; ++k) {
    const uint8_t* frame = data + k * channels * 2;
    for (int32_t c = 0; c < channels; ++c) {
      const int32_t s = Sample16(frame + 2 * c);
      sums[c] += static_cast<uint32_t>(s * s);
    }
  }
}

#if defined(RIFFO_X86_KERNELS)
// For channel counts dividing 8: a group of eight (sixteen) consecutive
// samples always holds the same channels in the same lanes, so the window is
// summed a vector at a time. madd of a vector with its odd (even) 16-bit
// halves masked off gives the square of every even (odd) sample in its own
// 32-bit lane; two such squares still fit an unsigned 32-bit lane, so two
// vectors are added before the lanes are widened into 64-bit sums.
__attribute__((target("sse2"))) void SumSquares16Sse2(const uint8_t* data, int64_t samples,
                                                      int32_t channels, uint64_t* sums) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i evenMask = _mm_set1_epi32(0x0000FFFF);
  __m128i even01 = zero, even23 = zero, odd01 = zero, odd23 = zero;
  auto squares = [&](const uint8_t* p, __m128i& even, __m128i& odd) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    even = _mm_madd_epi16(x, _mm_and_si128(x, evenMask));
    odd = _mm_madd_epi16(x, _mm_andnot_si128(evenMask, x));
  };
  auto widen = [&](__m128i even, __m128i odd) {
    even01 = _mm_add_epi64(even01, _mm_unpacklo_epi32(even, zero));
    even23 = _mm_add_epi64(even23, _mm_unpackhi_epi32(even, zero));
    odd01 = _mm_add_epi64(odd01, _mm_unpacklo_epi32(odd, zero));
    odd23 = _mm_add_epi64(odd23, _mm_unpackhi_epi32(odd, zero));
  };
  int64_t i = 0;
  for (; i + 16 <= samples; i += 16) {
    __m128i e1, o1, e2, o2;
    squares(data + 2 * i, e1, o1);
    squares(data + 2 * i + 16, e2, o2);
    widen(_mm_add_epi32(e1, e2), _mm_add_epi32(o1, o2));
  }
  for (; i + 8 <= samples; i += 8) {
    __m128i e, o;
    squares(data + 2 * i, e, o);
    widen(e, o);
  }
  // Lane sums by sample position 0..7 within the group.
  alignas(16) uint64_t e01[2], e23[2], o01[2], o23[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(e01), even01);
  _mm_store_si128(reinterpret_cast<__m128i*>(e23), even23);
  _mm_store_si128(reinterpret_cast<__m128i*>(o01), odd01);
  _mm_store_si128(reinterpret_cast<__m128i*>(o23), odd23);
  const uint64_t byPosition[8] = {e01[0], o01[0], e01[1], o01[1], e23[0], o23[0], e23[1], o23[1]};
  for (int32_t c = 0; c < channels; ++c) sums[c] = 0;
  for (int32_t j = 0; j < 8; ++j) sums[j % channels] += byPosition[j];
  // The rest starts on a frame boundary, since i is a multiple of 8.
  for (; i < samples; ++i) {
    const int32_t s = Sample16(data + 2 * i);
    sums[i % channels] += static_cast<uint32_t>(s * s);
  }
}

// The same sixteen samples at a time. The 256-bit unpacks work within each
// 128-bit half, which the position table below follows.
__attribute__((target("avx2"))) void SumSquares16Avx2(const uint8_t* data, int64_t samples,
                                                      int32_t channels, uint64_t* sums) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i evenMask = _mm256_set1_epi32(0x0000FFFF);
  __m256i evenLo = zero, evenHi = zero, oddLo = zero, oddHi = zero;
  int64_t i = 0;
  for (; i + 16 <= samples; i += 16) {
    const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 2 * i));
    __m256i even = _mm256_madd_epi16(x1, _mm256_and_si256(x1, evenMask));
    __m256i odd = _mm256_madd_epi16(x1, _mm256_andnot_si256(evenMask, x1));
    if (i + 32 <= samples) {
      const __m256i x2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 2 * i + 32));
      even = _mm256_add_epi32(even, _mm256_madd_epi16(x2, _mm256_and_si256(x2, evenMask)));
      odd = _mm256_add_epi32(odd, _mm256_madd_epi16(x2, _mm256_andnot_si256(evenMask, x2)));
      i += 16;
    }
    evenLo = _mm256_add_epi64(evenLo, _mm256_unpacklo_epi32(even, zero));
    evenHi = _mm256_add_epi64(evenHi, _mm256_unpackhi_epi32(even, zero));
    oddLo = _mm256_add_epi64(oddLo, _mm256_unpacklo_epi32(odd, zero));
    oddHi = _mm256_add_epi64(oddHi, _mm256_unpackhi_epi32(odd, zero));
  }
  alignas(32) uint64_t eLo[4], eHi[4], oLo[4], oHi[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(eLo), evenLo);
  _mm256_store_si256(reinterpret_cast<__m256i*>(eHi), evenHi);
  _mm256_store_si256(reinterpret_cast<__m256i*>(oLo), oddLo);
  _mm256_store_si256(reinterpret_cast<__m256i*>(oHi), oddHi);
  // Sample positions 0..15: the low half holds 0..7, the high half 8..15.
  const uint64_t byPosition[16] = {eLo[0], oLo[0], eLo[1], oLo[1], eHi[0], oHi[0], eHi[1], oHi[1],
                                   eLo[2], oLo[2], eLo[3], oLo[3], eHi[2], oHi[2], eHi[3], oHi[3]};
  for (int32_t c = 0; c < channels; ++c) sums[c] = 0;
  for (int32_t j = 0; j < 16; ++j) sums[j % channels] += byPosition[j];
  for (; i < samples; ++i) {
    const int32_t s = Sample16(data + 2 * i);
    sums[i % channels] += static_cast<uint32_t>(s * s);
  }
}

#endif

__extension__ typedef unsigned __int128 TUInt128;

// Sums of squares per channel for 24 and 32 bits and float data. Term(p)
// gives the square of the sample whose container starts at p, in the type
// the sums are kept in; the terms of each channel are added in sample order.
template <int Channels, int Container, typename Acc, typename Term>
void SumFixed(const uint8_t* data, int64_t frames, Acc* sums, Term term) {
  Acc acc[Channels] = {};
  for (int64_t k = 0; k < frames; ++k) {
    const uint8_t* frame = data + k * Channels * Container;
    for (int c = 0; c < Channels; ++c) acc[c] += term(frame + c * Container);
  }
  for (int c = 0; c < Channels; ++c) sums[c] = acc[c];
}

template <int Container, typename Acc, typename Term>
void SumByChannel(const uint8_t* data, int64_t frames, int32_t channels, Acc* sums, Term term) {
  switch (channels) {
    case 1: return SumFixed<1, Container>(data, frames, sums, term);
    case 2: return SumFixed<2, Container>(data, frames, sums, term);
    case 3: return SumFixed<3, Container>(data, frames, sums, term);
    case 4: return SumFixed<4, Container>(data, frames, sums, term);
    case 5: return SumFixed<5, Container>(data, frames, sums, term);
    case 6: return SumFixed<6, Container>(data, frames, sums, term);
    case 7: return SumFixed<7, Container>(data, frames, sums, term);
    case 8: return SumFixed<8, Container>(data, frames, sums, term);
    default: break;
  }
  for (int32_t c = 0; c < channels; ++c) sums[c] = 0;
  for (int64_t k = 0; k < frames; ++k) {
    const uint8_t* frame = data + k * channels * Container;
    for (int32_t c = 0; c < channels; ++c) sums[c] += term(frame + c * Container);
  }
}

// A 24-bit square is below 2^46, so a 64-bit sum holds 2^18 of them at least.
inline uint64_t Square24(const uint8_t* p) {
  const int64_t s = DecodeInt24(p);
  return static_cast<uint64_t>(s * s);
}
// A 32-bit square is at most 2^62; the sums are 128-bit.
inline TUInt128 Square32(const uint8_t* p) {
  const int64_t s = DecodeInt32(p);
  return static_cast<uint64_t>(s * s);
}
// The product is formed first and then added, as its own rounding step (a
// float32 square is exact in double precision; a float64 square is rounded).
inline double SquareFloat32(const uint8_t* p) {
  const double s = DecodeFloat32(p);
  const double square = s * s;
  return square;
}
inline double SquareFloat64(const uint8_t* p) {
  const double s = DecodeFloat64(p);
  const double square = s * s;
  return square;
}

void SumSquares24Scalar(const uint8_t* data, int64_t frames, int32_t channels, int32_t container,
                        uint64_t* sums) {
  if (container == 3) {
    SumByChannel<3>(data, frames, channels, sums, Square24);
  } else {
    // The sample fills the container's top three bytes.
    SumByChannel<4>(data, frames, channels, sums, [](const uint8_t* p) { return Square24(p + 1); });
  }
}

void SumSquares32Scalar(const uint8_t* data, int64_t frames, int32_t channels, TUInt128* sums) {
  SumByChannel<4>(data, frames, channels, sums, Square32);
}

#if defined(RIFFO_X86_KERNELS)
// 24- and 32-bit data, eight samples a vector, for channel counts dividing 8
// (so sample position j of every group belongs to channel j % channels). The
// samples are widened to signed 32-bit lanes; mul_epi32 squares the even
// lanes into 64-bit lanes, and the odd lanes after a shift.
struct TSquares64 {
  __m256i Even;  // squares of sample positions 0, 2, 4, 6
  __m256i Odd;   // squares of sample positions 1, 3, 5, 7
};

__attribute__((target("avx2"))) inline TSquares64 Squares64(__m256i x) {
  const __m256i high = _mm256_srli_epi64(x, 32);
  return {_mm256_mul_epi32(x, x), _mm256_mul_epi32(high, high)};
}

// Spreads the eight lane sums over the channels.
template <typename Acc>
void ByPosition(const Acc (&even)[4], const Acc (&odd)[4], int32_t channels, Acc* sums) {
  for (int32_t c = 0; c < channels; ++c) sums[c] = 0;
  for (int32_t j = 0; j < 4; ++j) {
    sums[(2 * j) % channels] += even[j];
    sums[(2 * j + 1) % channels] += odd[j];
  }
}

__attribute__((target("avx2"))) void SumSquares24Avx2(const uint8_t* data, int64_t samples,
                                                      int32_t channels, int32_t container,
                                                      uint64_t* sums) {
  // Packed samples: four per 128-bit half, each moved into the top three
  // bytes of its lane (index -1 gives a zero byte) and shifted down, which
  // sign-extends it.
  const __m256i spread = _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                          0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  __m256i even = _mm256_setzero_si256(), odd = _mm256_setzero_si256();
  int64_t i = 0;
  if (container == 3) {
    // The second load of a group reads 28 bytes from the group's start, so
    // the loop keeps at least 30 bytes (ten samples) ahead of the end.
    for (; i + 10 <= samples; i += 8) {
      const uint8_t* p = data + 3 * i;
      const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12));
      const __m256i x = _mm256_srai_epi32(
          _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1),
                              spread),
          8);
      const TSquares64 sq = Squares64(x);
      even = _mm256_add_epi64(even, sq.Even);
      odd = _mm256_add_epi64(odd, sq.Odd);
    }
  } else {
    for (; i + 8 <= samples; i += 8) {
      const __m256i x =
          _mm256_srai_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 4 * i)), 8);
      const TSquares64 sq = Squares64(x);
      even = _mm256_add_epi64(even, sq.Even);
      odd = _mm256_add_epi64(odd, sq.Odd);
    }
  }
  alignas(32) uint64_t e[4], o[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(e), even);
  _mm256_store_si256(reinterpret_cast<__m256i*>(o), odd);
  ByPosition(e, o, channels, sums);
  // The rest starts on a frame boundary, since i is a multiple of 8.
  const int32_t offset = container - 3;
  for (; i < samples; ++i) sums[i % channels] += Square24(data + container * i + offset);
}

__attribute__((target("avx2"))) void SumSquares32Avx2(const uint8_t* data, int64_t samples,
                                                      int32_t channels, TUInt128* sums) {
  // Each 64-bit square is split into its low and high 32 bits, summed apart
  // in 64-bit lanes (no carry is lost) and joined at the end.
  const __m256i lowMask = _mm256_set1_epi64x(0xFFFFFFFF);
  const __m256i zero = _mm256_setzero_si256();
  __m256i evenLow = zero, evenHigh = zero, oddLow = zero, oddHigh = zero;
  int64_t i = 0;
  for (; i + 8 <= samples; i += 8) {
    const TSquares64 sq =
        Squares64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 4 * i)));
    evenLow = _mm256_add_epi64(evenLow, _mm256_and_si256(sq.Even, lowMask));
    evenHigh = _mm256_add_epi64(evenHigh, _mm256_srli_epi64(sq.Even, 32));
    oddLow = _mm256_add_epi64(oddLow, _mm256_and_si256(sq.Odd, lowMask));
    oddHigh = _mm256_add_epi64(oddHigh, _mm256_srli_epi64(sq.Odd, 32));
  }
  alignas(32) uint64_t el[4], eh[4], ol[4], oh[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(el), evenLow);
  _mm256_store_si256(reinterpret_cast<__m256i*>(eh), evenHigh);
  _mm256_store_si256(reinterpret_cast<__m256i*>(ol), oddLow);
  _mm256_store_si256(reinterpret_cast<__m256i*>(oh), oddHigh);
  TUInt128 e[4], o[4];
  for (int j = 0; j < 4; ++j) {
    e[j] = (static_cast<TUInt128>(eh[j]) << 32) + el[j];
    o[j] = (static_cast<TUInt128>(oh[j]) << 32) + ol[j];
  }
  ByPosition(e, o, channels, sums);
  for (; i < samples; ++i) sums[i % channels] += Square32(data + 4 * i);
}
#endif

bool KernelAvailable(TLevelKernel kernel) {
  switch (kernel) {
    case TLevelKernel::Scalar: return true;
#if defined(RIFFO_X86_KERNELS)
    case TLevelKernel::Sse2: return __builtin_cpu_supports("sse2");
    case TLevelKernel::Avx2: return __builtin_cpu_supports("avx2");
#endif
    default: return false;
  }
}

TLevelKernel BestKernel() {
  for (TLevelKernel kernel : {TLevelKernel::Avx2, TLevelKernel::Sse2}) {
    if (KernelAvailable(kernel)) return kernel;
  }
  return TLevelKernel::Scalar;
}

std::atomic<TLevelKernel>& CurrentKernel() {
  static std::atomic<TLevelKernel> kernel{BestKernel()};
  return kernel;
}

void SumSquares16(const uint8_t* data, int64_t frames, int32_t channels, uint64_t* sums) {
  // The vector kernels read the samples as little-endian 16-bit lanes and
  // need a channel count dividing 8.
  if (8 % channels == 0) {
    switch (CurrentKernel().load(std::memory_order_relaxed)) {
#if defined(RIFFO_X86_KERNELS)
      case TLevelKernel::Avx2: SumSquares16Avx2(data, frames * channels, channels, sums); return;
      case TLevelKernel::Sse2: SumSquares16Sse2(data, frames * channels, channels, sums); return;
#endif
      default: break;
    }
  }
  SumSquares16Scalar(data, frames, channels, sums);
}

void SumSquares24(const uint8_t* data, int64_t frames, int32_t channels, int32_t container,
                  uint64_t* sums) {
#if defined(RIFFO_X86_KERNELS)
  if (8 % channels == 0 && CurrentKernel().load(std::memory_order_relaxed) == TLevelKernel::Avx2) {
    return SumSquares24Avx2(data, frames * channels, channels, container, sums);
  }
#endif
  SumSquares24Scalar(data, frames, channels, container, sums);
}

void SumSquares32(const uint8_t* data, int64_t frames, int32_t channels, TUInt128* sums) {
#if defined(RIFFO_X86_KERNELS)
  if (8 % channels == 0 && CurrentKernel().load(std::memory_order_relaxed) == TLevelKernel::Avx2) {
    return SumSquares32Avx2(data, frames * channels, channels, sums);
  }
#endif
  SumSquares32Scalar(data, frames, channels, sums);
}

void SumSquaresFloat(TSampleEncoding encoding, const uint8_t* data, int64_t frames,
                     int32_t channels, double* sums) {
  if (encoding == TSampleEncoding::Float32) {
    SumByChannel<4>(data, frames, channels, sums, SquareFloat32);
  } else {
    SumByChannel<8>(data, frames, channels, sums, SquareFloat64);
  }
}

// Float sums of several consecutive windows at once. Each window's sums are
// added in sample order as for one window; interleaving the windows gives
// the processor independent chains of additions to overlap, which a single
// window's in-order sums cannot.
template <int Channels, int Container, typename Term>
void SumFloatWindowsFixed(const uint8_t* data, int64_t frames, int64_t windowBytes, double* sums,
                          Term term) {
  constexpr int kWindows = FLOAT_WINDOW_BATCH;
  double acc[kWindows][Channels] = {};
  for (int64_t k = 0; k < frames; ++k) {
    const uint8_t* frame = data + k * Channels * Container;
    // Unrolled, so that the sums stay in registers.
#pragma GCC unroll 4
    for (int w = 0; w < kWindows; ++w) {
#pragma GCC unroll 8
      for (int c = 0; c < Channels; ++c) acc[w][c] += term(frame + w * windowBytes + c * Container);
    }
  }
  for (int w = 0; w < kWindows; ++w) {
    for (int c = 0; c < Channels; ++c) sums[w * MAX_DETECTOR_CHANNELS + c] = acc[w][c];
  }
}

template <int Container, typename Term>
bool SumFloatWindows(const uint8_t* data, int64_t frames, int32_t channels, int64_t windowBytes,
                     double* sums, Term term) {
  switch (channels) {
    case 1: SumFloatWindowsFixed<1, Container>(data, frames, windowBytes, sums, term); return true;
    case 2: SumFloatWindowsFixed<2, Container>(data, frames, windowBytes, sums, term); return true;
    case 4: SumFloatWindowsFixed<4, Container>(data, frames, windowBytes, sums, term); return true;
    case 6: SumFloatWindowsFixed<6, Container>(data, frames, windowBytes, sums, term); return true;
    case 8: SumFloatWindowsFixed<8, Container>(data, frames, windowBytes, sums, term); return true;
    default: return false;
  }
}

int32_t ContainerBytesOf(TSampleEncoding encoding) {
  switch (encoding) {
    case TSampleEncoding::UInt8: return 1;
    case TSampleEncoding::Int16: return 2;
    case TSampleEncoding::Int24: return 3;  // or 4
    case TSampleEncoding::Int32:
    case TSampleEncoding::Float32: return 4;
    case TSampleEncoding::Float64: return 8;
    case TSampleEncoding::Unsupported: break;
  }
  return 0;
}

template <int Channels>
void SumSquares8Fixed(const uint8_t* data, int64_t frames, uint64_t* sums) {
  uint64_t acc[Channels] = {};
  for (int64_t k = 0; k < frames; ++k) {
    for (int c = 0; c < Channels; ++c) {
      const int32_t s = static_cast<int32_t>(data[k * Channels + c]) - 128;
      acc[c] += static_cast<uint32_t>(s * s);
    }
  }
  for (int c = 0; c < Channels; ++c) sums[c] = acc[c];
}

void SumSquares8(const uint8_t* data, int64_t frames, int32_t channels, uint64_t* sums) {
  switch (channels) {
    case 1: return SumSquares8Fixed<1>(data, frames, sums);
    case 2: return SumSquares8Fixed<2>(data, frames, sums);
    default: break;
  }
  for (int32_t c = 0; c < channels; ++c) sums[c] = 0;
  for (int64_t k = 0; k < frames; ++k) {
    const uint8_t* frame = data + k * channels;
    for (int32_t c = 0; c < channels; ++c) {
      const int32_t s = static_cast<int32_t>(frame[c]) - 128;
      sums[c] += static_cast<uint32_t>(s * s);
    }
  }
}

inline double Rms(uint64_t sumOfSquares, int64_t frames) {
  return std::sqrt(static_cast<double>(sumOfSquares) / static_cast<double>(frames));
}

}  // namespace

bool Calc8bitChannelVolume(const uint8_t* data, int32_t size, int32_t channels, int32_t channel,
                           double& volume) {
  return Guarded(u"dgn: Error in Calc8bitChannelVolume call...", false, [&] {
    if (data == nullptr || channel < 0 || channel >= channels) {
      DebugTrace(u"dgn: Error in Calc8bitChannelVolume - incorrect input parameters call...");
      return false;
    }
    const int64_t frames = size / channels;
    if (frames <= 1) return false;
    uint64_t sum = 0;
    for (int64_t k = 0; k < frames; ++k) {
      const int32_t s = static_cast<int32_t>(data[k * channels + channel]) - 128;
      sum += static_cast<uint32_t>(s * s);
    }
    volume = Rms(sum, frames);
    return true;
  });
}

bool Calc16bitChannelVolume(const uint8_t* data, int32_t size, int32_t channels, int32_t channel,
                            double& volume) {
  return Guarded(u"dgn: Error in Calc16bitChannelVolume call...", false, [&] {
    if (data == nullptr || channel < 0 || channel >= channels) {
      DebugTrace(u"dgn: Error in Calc16bitChannelVolume - incorrect input parameters call...");
      return false;
    }
    const int64_t frames = size / (2 * static_cast<int64_t>(channels));
    if (frames <= 1) return false;
    uint64_t sum = 0;
    for (int64_t k = 0; k < frames; ++k) {
      const int32_t s = Sample16(data + 2 * (k * channels + channel));
      sum += static_cast<uint32_t>(s * s);
    }
    volume = Rms(sum, frames);
    return true;
  });
}

bool Calc8bitChannelVolumes(const uint8_t* data, int32_t size, int32_t channels, double* volumes) {
  return Guarded(u"dgn: Error in Calc8bitChannelVolume call...", false, [&] {
    if (data == nullptr || volumes == nullptr || channels < 1 || channels > MAX_DETECTOR_CHANNELS) {
      DebugTrace(u"dgn: Error in Calc8bitChannelVolume - incorrect input parameters call...");
      return false;
    }
    const int64_t frames = size / channels;
    if (frames <= 1) return false;
    uint64_t sums[MAX_DETECTOR_CHANNELS];
    SumSquares8(data, frames, channels, sums);
    for (int32_t c = 0; c < channels; ++c) volumes[c] = Rms(sums[c], frames);
    return true;
  });
}

bool Calc16bitChannelVolumes(const uint8_t* data, int32_t size, int32_t channels, double* volumes) {
  return Guarded(u"dgn: Error in Calc16bitChannelVolume call...", false, [&] {
    if (data == nullptr || volumes == nullptr || channels < 1 || channels > MAX_DETECTOR_CHANNELS) {
      DebugTrace(u"dgn: Error in Calc16bitChannelVolume - incorrect input parameters call...");
      return false;
    }
    const int64_t frames = size / (2 * static_cast<int64_t>(channels));
    if (frames <= 1) return false;
    uint64_t sums[MAX_DETECTOR_CHANNELS];
    SumSquares16(data, frames, channels, sums);
    for (int32_t c = 0; c < channels; ++c) volumes[c] = Rms(sums[c], frames);
    return true;
  });
}

bool CalcChannelVolumes(TSampleEncoding encoding, int32_t containerBytes, const uint8_t* data,
                        int32_t size, int32_t channels, double* volumes) {
  return Guarded(u"dgn: Error in CalcChannelVolumes call...", false, [&] {
    const int32_t expected = ContainerBytesOf(encoding);
    const bool containerFits = encoding == TSampleEncoding::Int24
                                   ? containerBytes == 3 || containerBytes == 4
                                   : expected != 0 && containerBytes == expected;
    if (data == nullptr || volumes == nullptr || channels < 1 || channels > MAX_DETECTOR_CHANNELS ||
        !containerFits) {
      DebugTrace(u"dgn: Error in CalcChannelVolumes - incorrect input parameters call...");
      return false;
    }
    switch (encoding) {
      case TSampleEncoding::UInt8: return Calc8bitChannelVolumes(data, size, channels, volumes);
      case TSampleEncoding::Int16: return Calc16bitChannelVolumes(data, size, channels, volumes);
      default: break;
    }
    const int64_t frames = size / (static_cast<int64_t>(containerBytes) * channels);
    if (frames <= 1) return false;
    const auto count = static_cast<double>(frames);
    switch (encoding) {
      case TSampleEncoding::Int24: {
        uint64_t sums[MAX_DETECTOR_CHANNELS];
        SumSquares24(data, frames, channels, containerBytes, sums);
        for (int32_t c = 0; c < channels; ++c) volumes[c] = Rms(sums[c], frames);
        return true;
      }
      case TSampleEncoding::Int32: {
        TUInt128 sums[MAX_DETECTOR_CHANNELS];
        SumSquares32(data, frames, channels, sums);
        for (int32_t c = 0; c < channels; ++c) {
          volumes[c] = std::sqrt(static_cast<double>(sums[c]) / count);
        }
        return true;
      }
      default: {
        double sums[MAX_DETECTOR_CHANNELS];
        SumSquaresFloat(encoding, data, frames, channels, sums);
        for (int32_t c = 0; c < channels; ++c) volumes[c] = std::sqrt(sums[c] / count);
        return true;
      }
    }
  });
}

int32_t CalcFloatWindowVolumes(TSampleEncoding encoding, const uint8_t* data, int32_t windowSize,
                               int32_t windows, int32_t channels, double* volumes) {
  return Guarded(u"dgn: Error in CalcChannelVolumes call...", 0, [&]() -> int32_t {
    if (data == nullptr || volumes == nullptr || channels < 1 || channels > MAX_DETECTOR_CHANNELS ||
        windows < 1 ||
        (encoding != TSampleEncoding::Float32 && encoding != TSampleEncoding::Float64)) {
      return 0;
    }
    const int32_t container = encoding == TSampleEncoding::Float32 ? 4 : 8;
    const int64_t frames = windowSize / (static_cast<int64_t>(container) * channels);
    if (frames <= 1) return 0;
    if (windows >= FLOAT_WINDOW_BATCH) {
      double sums[FLOAT_WINDOW_BATCH * MAX_DETECTOR_CHANNELS];
      const bool batched =
          encoding == TSampleEncoding::Float32
              ? SumFloatWindows<4>(data, frames, channels, windowSize, sums, SquareFloat32)
              : SumFloatWindows<8>(data, frames, channels, windowSize, sums, SquareFloat64);
      if (batched) {
        for (int32_t w = 0; w < FLOAT_WINDOW_BATCH; ++w) {
          for (int32_t c = 0; c < channels; ++c) {
            const double sum = sums[w * MAX_DETECTOR_CHANNELS + c];
            volumes[w * MAX_DETECTOR_CHANNELS + c] = std::sqrt(sum / static_cast<double>(frames));
          }
        }
        return FLOAT_WINDOW_BATCH;
      }
    }
    // One window the plain way.
    return CalcChannelVolumes(encoding, container, data, windowSize, channels, volumes) ? 1 : 0;
  });
}

bool SetLevelKernel(TLevelKernel kernel) {
  if (!KernelAvailable(kernel)) return false;
  CurrentKernel().store(kernel, std::memory_order_relaxed);
  return true;
}

TLevelKernel LevelKernel() { return CurrentKernel().load(std::memory_order_relaxed); }

double VolumeTodB(double volume) {
  return volume > 0 ? 20.0 * std::log10(volume / 32767.0) : -120.0;
}

double VolumeTodB(double volume, double fullScale) {
  return volume > 0 ? 20.0 * std::log10(volume / fullScale) : -120.0;
}

double FullScaleOf(TSampleEncoding encoding) {
  switch (encoding) {
    case TSampleEncoding::Int24: return 8388607.0;
    case TSampleEncoding::Int32: return 2147483647.0;
    case TSampleEncoding::Float32:
    case TSampleEncoding::Float64: return 1.0;
    default: return 32767.0;
  }
}

TWAVSilenceDetector::TWAVSilenceDetector() : FBuffer(PCM_FIFO_SIZE, PCM_FIFO_SIZE) {
  FSilence.ValidationID = SILENCE_BLOCK_ID;
  FSilence.ConfirmedEvent = SILENCE_BLOCK_CONFIRMED_EVENT;
  FSilence.EndedEvent = SILENCE_BLOCK_ENDED_EVENT;
  FSilence.Kind = u"Silence";
  FNoise.ValidationID = NOISE_BLOCK_ID;
  FNoise.ConfirmedEvent = NOISE_BLOCK_CONFIRMED_EVENT;
  FNoise.EndedEvent = NOISE_BLOCK_ENDED_EVENT;
  FNoise.Kind = u"Noise";
  Reset();
}

TWAVSilenceDetector::~TWAVSilenceDetector() = default;

HRESULT TWAVSilenceDetector::Reset() {
  return Guarded(u"Error in TWAVSilenceDetector.Reset call...", E_FAIL, [&] {
    FInitialized = false;
    FSamplesPerSeconds = 0;
    FChannels = 0;
    FBitsPerSample = 0;
    FEncoding = TSampleEncoding::Unsupported;
    FContainerBytes = 0;
    FFullScale = 32767.0;
    FNotAnalysedReason.clear();
    FBytesPerSample = 0;
    FIntegrationSize1Ch = 0;
    FIntegrationSizeAllCh = 0;
    FProcessedBytes = 0;
    FBuffer.Empty();
    // Levels no measurement can cross: nothing is found until parameters are set.
    for (TBlockTracker* block : {&FSilence, &FNoise}) {
      block->MinDurationMS = 0;
      block->MinDurationBytes = 0;
      block->StartBytePosition = -1;
      block->EndBytePosition = -1;
      // A block confirmed before the reset must not make the next one count
      // as confirmed without reaching the minimum.
      block->StartReported = false;
      block->TotalSeconds = 0;
    }
    FSilence.LeveldB = -1000.0;
    FNoise.LeveldB = 10.0;
    return S_OK;
  });
}

HRESULT TWAVSilenceDetector::SetReportFunction(TReportFunction reportFunction) {
  return Guarded(u"Error in TWAVSilenceDetector.SetReportFunction call...", E_FAIL, [&] {
    FReportFunction = std::move(reportFunction);
    return S_OK;
  });
}

HRESULT TWAVSilenceDetector::SetPCMFormat(int32_t samplesPerSeconds, int32_t channels,
                                          int32_t bitsPerSample) {
  return Guarded(u"Error in TWAVSilenceDetector.SetPCMFormat call...", E_FAIL, [&] {
    const TSampleEncoding encoding = bitsPerSample == 8    ? TSampleEncoding::UInt8
                                     : bitsPerSample == 16 ? TSampleEncoding::Int16
                                                           : TSampleEncoding::Unsupported;
    return Configure(samplesPerSeconds, channels, bitsPerSample, encoding, bitsPerSample / 8,
                     nullptr);
  });
}

HRESULT TWAVSilenceDetector::SetPCMFormat(const TPcmFormat& format) {
  return Guarded(u"Error in TWAVSilenceDetector.SetPCMFormat call...", E_FAIL, [&] {
    FNotAnalysedReason.clear();
    const int32_t bits = format.BitsPerSample;
    // 8- and 16-bit data is analysed as it always was: whatever the format
    // tag, with containers of exactly the sample's width.
    const bool narrow = bits == 8 || bits == 16;
    const TSampleEncoding encoding =
        narrow ? (bits == 8 ? TSampleEncoding::UInt8 : TSampleEncoding::Int16) : format.Encoding;
    const int32_t container = narrow ? bits / 8 : format.ContainerBytes;
    // Rates beyond the 32-bit signed range are just as far outside the limits.
    const auto rate = static_cast<int32_t>(std::min<uint32_t>(format.SamplesPerSec, 0x7FFFFFFF));
    std::u16string reason;
    const HRESULT result = Configure(rate, format.Channels, bits, encoding, container, &reason);
    if (Failed(result)) {
      FNotAnalysedReason = !reason.empty() ? reason
                           : !format.Reason.empty()
                               ? Utf8ToUtf16(format.Reason)
                               : Utf8ToUtf16(std::to_string(bits)) + u" bits per sample";
    }
    return result;
  });
}

HRESULT TWAVSilenceDetector::Configure(int32_t samplesPerSeconds, int32_t channels,
                                       int32_t bitsPerSample, TSampleEncoding encoding,
                                       int32_t containerBytes, std::u16string* reason) {
  if (samplesPerSeconds < 6000 || samplesPerSeconds > 192000) {
    DebugTrace(u"Error in TWAVSilenceDetector.SetPCMFormat - samples per second not supported.");
    if (reason != nullptr) {
      *reason = u"sample rate " + Utf8ToUtf16(std::to_string(samplesPerSeconds)) +
                u" Hz, outside 6000 to 192000";
    }
    return E_FAIL;
  }
  if (channels < 1 || channels > MAX_DETECTOR_CHANNELS) {
    DebugTrace(u"Error in TWAVSilenceDetector.SetPCMFormat - channels not supported.");
    if (reason != nullptr) {
      *reason = channels < 1 ? std::u16string(u"no channels")
                             : Utf8ToUtf16(std::to_string(channels)) + u" channels, more than 32";
    }
    return E_FAIL;
  }
  if (encoding == TSampleEncoding::Unsupported) {
    DebugTrace(u"Error in TWAVSilenceDetector.SetPCMFormat - bits per sample not supported.");
    return E_FAIL;  // the caller knows why
  }
  FSamplesPerSeconds = samplesPerSeconds;
  FChannels = channels;
  FBitsPerSample = bitsPerSample;
  FEncoding = encoding;
  FContainerBytes = containerBytes;
  FFullScale = FullScaleOf(encoding);
  FBytesPerSample = channels * containerBytes;
  // 50 ms windows, whole frames only (22050 Hz gives 1102 frames).
  const auto frames = static_cast<int32_t>(samplesPerSeconds * 0.05);
  FIntegrationSize1Ch = frames * containerBytes;
  FIntegrationSizeAllCh = FIntegrationSize1Ch * channels;
  FInitialized = true;
  return S_OK;
}

int64_t TWAVSilenceDetector::DurationBytes(int32_t durationMS) const {
  // Whole frames, rounded down. The minimum comes from the user's store
  // unchecked, so the product is kept in 64 bits.
  const double frames = std::trunc(durationMS / 1000.0 * FSamplesPerSeconds);
  return static_cast<int64_t>(frames) * FBytesPerSample;
}

HRESULT TWAVSilenceDetector::SetSilenceParameters(double silenceLeveldB,
                                                  int32_t minSilenceDurationMS) {
  return Guarded(u"Error in TWAVSilenceDetector.SetSilenceParameters call...", E_FAIL, [&] {
    if (!FInitialized) {
      DebugTrace(u"Error in TWAVSilenceDetector.SetSilenceParameters - not initialized.");
      return E_FAIL;
    }
    FSilence.LeveldB = silenceLeveldB;
    FSilence.MinDurationMS = minSilenceDurationMS;
    FSilence.MinDurationBytes = DurationBytes(minSilenceDurationMS);
    return S_OK;
  });
}

HRESULT TWAVSilenceDetector::SetNoiseParameters(double noiseLeveldB, int32_t minNoiseDurationMS) {
  return Guarded(u"Error in TWAVSilenceDetector.SetNoiseParameters call...", E_FAIL, [&] {
    if (!FInitialized) {
      DebugTrace(u"Error in TWAVSilenceDetector.SetNoiseParameters - not initialized.");
      return E_FAIL;
    }
    FNoise.LeveldB = noiseLeveldB;
    FNoise.MinDurationMS = minNoiseDurationMS;
    FNoise.MinDurationBytes = DurationBytes(minNoiseDurationMS);
    return S_OK;
  });
}

void TWAVSilenceDetector::OnSilenceDetect(TAnalysisEventFunction eventFunction) {
  FSilence.EventFunction = std::move(eventFunction);
}

void TWAVSilenceDetector::OnNoiseDetect(TAnalysisEventFunction eventFunction) {
  FNoise.EventFunction = std::move(eventFunction);
}

void TWAVSilenceDetector::SetCancelFunction(std::function<bool()> cancelFunction) {
  FCancelFunction = std::move(cancelFunction);
}

double TWAVSilenceDetector::BytesToSeconds(int64_t bytes) const {
  const int64_t bytesPerSecond = static_cast<int64_t>(FBytesPerSample) * FSamplesPerSeconds;
  return bytesPerSecond > 0 ? static_cast<double>(bytes) / static_cast<double>(bytesPerSecond)
                            : 0.0;
}

HRESULT TWAVSilenceDetector::AddPCMData(const void* data, int32_t size) {
  return Guarded(u"Error in TWAVSilenceDetector.AddPCMData call...", E_FAIL, [&] {
    if (data == nullptr || size <= 0) {
      DebugTrace(u"Error in TWAVSilenceDetector.AddPCMData - invalid parameters.");
      return E_FAIL;
    }
    if (!FInitialized) {
      DebugTrace(u"Error in TWAVSilenceDetector.AddPCMData - not initialized.");
      return E_FAIL;
    }
    FBuffer.AddData(data, size);
    Process();
    return S_OK;
  });
}

HRESULT TWAVSilenceDetector::Process() {
  return Guarded(u"Error in TWAVSilenceDetector.Process call...", E_FAIL, [&] {
    const int32_t window = FIntegrationSizeAllCh;
    if (window <= 0) return S_OK;
    double volumes[FLOAT_WINDOW_BATCH * MAX_DETECTOR_CHANNELS];
    const bool isFloat =
        FEncoding == TSampleEncoding::Float32 || FEncoding == TSampleEncoding::Float64;
    // A FIFO holding exactly one window waits for more data: the last window
    // of the data is left to Finalize.
    while (FBuffer.DataLength() > window) {
      const uint8_t* samples = FBuffer.ReadPtr();
      int32_t measured = 0;  // windows measured at once (their volumes a row each)
      int32_t count = 1;     // windows taken in this round
      switch (FEncoding) {
        case TSampleEncoding::Int16:
          measured = Calc16bitChannelVolumes(samples, window, FChannels, volumes) ? 1 : 0;
          break;
        case TSampleEncoding::UInt8:
          measured = Calc8bitChannelVolumes(samples, window, FChannels, volumes) ? 1 : 0;
          break;
        default:
          if (isFloat) {
            // Only windows followed by more data may be analysed now.
            const auto ready = static_cast<int32_t>(
                std::min<int64_t>((FBuffer.DataLength() - 1) / window, FLOAT_WINDOW_BATCH));
            measured =
                CalcFloatWindowVolumes(FEncoding, samples, window, ready, FChannels, volumes);
            count = std::max(measured, 1);
          } else {
            measured =
                CalcChannelVolumes(FEncoding, FContainerBytes, samples, window, FChannels, volumes)
                    ? 1
                    : 0;
          }
          break;
      }
      for (int32_t w = 0; w < count; ++w) {
        const double* levels = volumes + w * MAX_DETECTOR_CHANNELS;
        bool silent = true;
        bool noisy = false;
        if (measured > 0) {
          for (int32_t c = 0; c < FChannels; ++c) {
            // A NaN or infinite float sample makes the window loud, not
            // silent: a NaN level would compare as neither.
            if (!std::isfinite(levels[c])) {
              silent = false;
              noisy = true;
              continue;
            }
            const double leveldB = VolumeTodB(levels[c], FFullScale);
            if (leveldB > FSilence.LeveldB) silent = false;
            if (leveldB > FNoise.LeveldB) noisy = true;
          }
        }
        ProcessSilenceBlocks(silent);
        ProcessNoiseBlocks(noisy);
        FBuffer.SetReadIndex(FBuffer.ReadIndex() + window);
        FProcessedBytes += window;
      }
    }
    FBuffer.Compact();
    return S_OK;
  });
}

HRESULT TWAVSilenceDetector::ProcessSilenceBlocks(bool silent) {
  return Guarded(u"Error in TWAVSilenceDetector.ProcessSilenceBlocks call...", E_FAIL, [&] {
    AdvanceBlock(FSilence, silent);
    return S_OK;
  });
}

HRESULT TWAVSilenceDetector::ProcessNoiseBlocks(bool noisy) {
  return Guarded(u"Error in TWAVSilenceDetector.ProcessNoiseBlocks call...", E_FAIL, [&] {
    AdvanceBlock(FNoise, noisy);
    return S_OK;
  });
}

// One window of the block state machine; FProcessedBytes is the position of
// the window's first byte.
void TWAVSilenceDetector::AdvanceBlock(TBlockTracker& block, bool inBlock) {
  const int64_t position = FProcessedBytes;
  if (inBlock) {
    if (block.StartBytePosition < 0) {
      // The window that opens a block is not measured against the minimum.
      block.StartBytePosition = position;
    } else if (!block.StartReported && position + FIntegrationSizeAllCh - block.StartBytePosition >=
                                           block.MinDurationBytes) {
      block.StartReported = true;
      if (block.EventFunction) {
        block.EventFunction(block.ConfirmedEvent, BytesToSeconds(block.StartBytePosition), 0.0);
      }
    }
  } else if (block.StartBytePosition >= 0) {
    CloseBlock(block, position);
  }
}

void TWAVSilenceDetector::CloseBlock(TBlockTracker& block, int64_t endPosition) {
  block.EndBytePosition = endPosition;
  if (block.StartReported) ReportBlock(block);
  block.StartReported = false;
  block.StartBytePosition = -1;
  block.EndBytePosition = -1;
}

void TWAVSilenceDetector::ReportBlock(TBlockTracker& block) {
  const double start = BytesToSeconds(block.StartBytePosition);
  const double duration = BytesToSeconds(block.EndBytePosition - block.StartBytePosition);
  Report(MODULE_ID_SONOLINT, REPORT_TYPE_WARNING,
         block.Kind + u" block at " + SecondsToTimeText(0, start) + u" with duration " +
             SecondsToTimeText(0, duration),
         block.ValidationID);
  if (block.EventFunction) block.EventFunction(block.EndedEvent, start, start + duration);
  block.TotalSeconds += duration;
}

HRESULT TWAVSilenceDetector::Finalize() {
  return Guarded(u"Error in TWAVSilenceDetector.Finalize call...", E_FAIL, [&] {
    // The unanalysed tail (at most one window) belongs to a block still open.
    const int64_t end = FProcessedBytes + FBuffer.DataLength();
    for (TBlockTracker* block : {&FSilence, &FNoise}) {
      if (block->StartBytePosition >= 0) CloseBlock(*block, end);
    }
    if (!FNotAnalysedReason.empty()) {
      Report(MODULE_ID_SONOLINT, REPORT_TYPE_WARNING, u"Audio not analysed: " + FNotAnalysedReason,
             AUDIO_NOT_ANALYSED_ID);
    }
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO,
           u"Total file silence duration " +
               SecondsToTimeText(0, static_cast<double>(FSilence.TotalSeconds)),
           TOTAL_SILENCE_ID);
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO,
           u"Total file noise duration " +
               SecondsToTimeText(0, static_cast<double>(FNoise.TotalSeconds)),
           TOTAL_NOISE_ID);
    return S_OK;
  });
}

HRESULT TWAVSilenceDetector::ProcessFile(const std::u16string& fileName, int64_t pcmDataOffset,
                                         int64_t pcmDataSize) {
  return Guarded(u"Error in TWAVSilenceDetector.ProcessFile call...", E_FAIL, [&] {
    if (!FileExists(fileName)) {
      DebugTrace(u"Error in TWAVSilenceDetector.ProcessFile - file not found.");
      return E_FAIL;
    }
    auto stream = TFileStream::Open(fileName, FileMode::OpenRead);
    if (!stream) {
      DebugTrace(u"Error in TWAVSilenceDetector.ProcessFile - cannot open file.");
      return E_FAIL;
    }
    if (pcmDataOffset < 0 || stream->Seek(pcmDataOffset, SeekOrigin::Begin) != pcmDataOffset ||
        stream->Position() != pcmDataOffset) {
      DebugTrace(u"Error in TWAVSilenceDetector.ProcessFile - cannot set start PCM data position.");
      return E_FAIL;
    }
    FCancelled = false;
    int64_t remaining = pcmDataSize;
    while (remaining > 0) {
      if (FCancelFunction && FCancelFunction()) {
        FCancelled = true;
        break;
      }
      const auto piece =
          static_cast<int32_t>(remaining < PCM_READ_PIECE_SIZE ? remaining : PCM_READ_PIECE_SIZE);
      // The piece is read straight behind the FIFO's data and taken in only
      // when it arrived whole, so a short last piece is never analysed.
      FBuffer.Reserve(piece);
      if (stream->Read(FBuffer.WritePtr(), piece) != piece) {
        DebugTrace(
            u"Error in TWAVSilenceDetector.ProcessFile - cannot read PCM data from the file.");
        break;
      }
      // As AddPCMData: an uninitialised detector takes no data.
      if (!FInitialized) {
        DebugTrace(u"Error in TWAVSilenceDetector.AddPCMData - not initialized.");
        DebugTrace(u"Error in TWAVSilenceDetector.ProcessFile - cannot process PCM data.");
        break;
      }
      FBuffer.Commit(piece);
      Process();
      remaining -= piece;
    }
    if (Failed(Finalize())) {
      DebugTrace(u"Error in TWAVSilenceDetector.ProcessFile - error finalizing.");
      return E_FAIL;
    }
    return S_OK;
  });
}

HRESULT TWAVSilenceDetector::Report(int32_t module, int32_t reportType,
                                    const std::u16string& message, int32_t validationID) {
  return Guarded(u"Error in TWAVSilenceDetector.Report call...", E_FAIL, [&] {
    if (!FReportFunction) return E_FAIL;
    return FReportFunction(module, reportType, message.c_str(), validationID, -1);
  });
}

}  // namespace riffo
