// x86 vector samplers, chosen at run time: each function carries its own
// target so the rest of the program still runs on any x86-64 processor.
#include "unwarp/inside_arc.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ORBELUNE_X86_VECTORS 1
// GCC 12 flags the deliberately undefined pass-through operands inside its own
// AVX-512 intrinsics as maybe-uninitialised (GCC bug 105593).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define ORBELUNE_AVX2 __attribute__((target("avx2")))
#define ORBELUNE_AVX512 __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl,avx512vbmi")))
#endif

namespace orbelune {

#if ORBELUNE_X86_VECTORS

namespace {

// Address of column j of the row: columns run leftwards when mirrored.
inline std::uint8_t* ColumnPixel(std::uint8_t* out, int columns, bool mirror) {
    return mirror ? out - 3 * static_cast<std::ptrdiff_t>(columns)
                  : out + 3 * static_cast<std::ptrdiff_t>(columns);
}

// Four bytes as four 32-bit lanes; the fourth is the next pixel's and unused.
ORBELUNE_AVX2 __attribute__((always_inline)) inline __m128i Widen(const std::uint8_t* at) {
    std::int32_t word;
    std::memcpy(&word, at, 4);
    return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(word));
}

// AVX2, four columns at a time. Each neighbourhood is blended with its three
// channels (and a fourth, unused) as the four lanes of one register.
template <int kLane>
ORBELUNE_AVX2 __attribute__((always_inline)) inline __m128i BlendPixel(const std::uint8_t* at,
                                                                       std::int64_t stride,
                                                                       __m256d fx4, __m256d fy4) {
    const __m128i a = Widen(at);
    const __m128i b = Widen(at + 3);
    const __m128i c = Widen(at + stride);
    const __m128i d = Widen(at + stride + 3);
    const __m128i ba = _mm_sub_epi32(b, a);
    const __m128i ca = _mm_sub_epi32(c, a);
    const __m128i abcd = _mm_sub_epi32(_mm_sub_epi32(d, c), ba);  // a - b - c + d, exactly
    constexpr int kSpread = kLane * 0x55;
    const __m256d fx = _mm256_permute4x64_pd(fx4, kSpread);
    const __m256d fy = _mm256_permute4x64_pd(fy4, kSpread);
    const __m256d sum =
        _mm256_add_pd(_mm256_cvtepi32_pd(a), _mm256_mul_pd(fx, _mm256_cvtepi32_pd(ba)));
    const __m256d inner =
        _mm256_add_pd(_mm256_cvtepi32_pd(ca), _mm256_mul_pd(fx, _mm256_cvtepi32_pd(abcd)));
    return _mm256_cvttpd_epi32(_mm256_add_pd(sum, _mm256_mul_pd(fy, inner)));
}

template <bool kMirror>
ORBELUNE_AVX2 int SampleAvx2(const InsideArc& arc, int j0, int j1, std::uint8_t* out) {
    const __m256d cx = _mm256_set1_pd(arc.cx), cy = _mm256_set1_pd(arc.cy);
    const __m256d r = _mm256_set1_pd(arc.r), k = _mm256_set1_pd(arc.k);
    const __m256i stride = _mm256_set1_epi64x(arc.stride);
    const std::uint8_t* const data = arc.data;
    const std::int64_t rowBytes = arc.stride;
    // Bytes 0-2, 4-6, 8-10 and 12-14 are the four pixels; mirrored they are
    // stored right to left.
    const __m128i order =
        kMirror ? _mm_setr_epi8(12, 13, 14, 8, 9, 10, 4, 5, 6, 0, 1, 2, -1, -1, -1, -1)
                : _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int j = j0;
    for (; j + 4 <= j1; j += 4) {
        const __m256d x =
            _mm256_add_pd(cx, _mm256_mul_pd(_mm256_mul_pd(_mm256_loadu_pd(arc.cosines + j), r), k));
        const __m256d y =
            _mm256_add_pd(cy, _mm256_mul_pd(_mm256_mul_pd(_mm256_loadu_pd(arc.sines + j), r), k));
        const __m256d columnF = _mm256_floor_pd(x);
        const __m256d rowF = _mm256_floor_pd(y);
        const __m256d fx = _mm256_sub_pd(x, columnF);
        const __m256d fy = _mm256_sub_pd(y, rowF);
        const __m128i column = _mm256_cvttpd_epi32(columnF);
        const __m128i row = _mm256_cvttpd_epi32(rowF);
        const __m256i base = _mm256_add_epi64(
            _mm256_mul_epu32(_mm256_cvtepi32_epi64(row), stride),
            _mm256_cvtepi32_epi64(_mm_add_epi32(column, _mm_add_epi32(column, column))));
        alignas(32) std::int64_t bases[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(bases), base);
        const __m128i p0 = BlendPixel<0>(data + bases[0], rowBytes, fx, fy);
        const __m128i p1 = BlendPixel<1>(data + bases[1], rowBytes, fx, fy);
        const __m128i p2 = BlendPixel<2>(data + bases[2], rowBytes, fx, fy);
        const __m128i p3 = BlendPixel<3>(data + bases[3], rowBytes, fx, fy);
        const __m128i bytes = _mm_shuffle_epi8(
            _mm_packus_epi16(_mm_packs_epi32(p0, p1), _mm_packs_epi32(p2, p3)), order);
        std::uint8_t* block = ColumnPixel(out, j - j0 + (kMirror ? 3 : 0), kMirror);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(block), bytes);
        const auto tail = static_cast<std::uint32_t>(_mm_extract_epi32(bytes, 2));
        std::memcpy(block + 8, &tail, 4);
    }
    return j - j0;
}

// Byte n of every 64-bit lane moved to the lane's bottom, the rest zeroed.
ORBELUNE_AVX512 inline __m512i LaneByte(int n) {
    // Shuffle indices count within 128-bit lanes: odd 64-bit lanes start at 8.
    const auto even = static_cast<long long>(0xFFFFFFFFFFFFFF00ull | static_cast<unsigned>(n));
    const auto odd = static_cast<long long>(0xFFFFFFFFFFFFFF00ull | static_cast<unsigned>(n + 8));
    return _mm512_set_epi64(odd, even, odd, even, odd, even, odd, even);
}

// AVX-512, eight columns at a time with the channels in separate registers:
// the two neighbour rows of all eight samples come in with one gather each.
template <bool kMirror>
ORBELUNE_AVX512 int SampleAvx512(const InsideArc& arc, int j0, int j1, std::uint8_t* out) {
    const __m512d cx = _mm512_set1_pd(arc.cx), cy = _mm512_set1_pd(arc.cy);
    const __m512d r = _mm512_set1_pd(arc.r), k = _mm512_set1_pd(arc.k);
    const __m512i stride = _mm512_set1_epi64(arc.stride);
    const std::uint8_t* const above = arc.data;
    const std::uint8_t* const below = arc.data + arc.stride;
    // A sample's row pair: channel n of the left pixel is byte n, of the right
    // pixel byte n + 3.
    const __m512i left[3] = {LaneByte(0), LaneByte(1), LaneByte(2)};
    const __m512i right[3] = {LaneByte(3), LaneByte(4), LaneByte(5)};
    // Output byte i is channel i % 3 of pixel i / 3 (counted from the right
    // when mirrored); in the permute, reds are 0-7, greens 8-15, blues 16-23.
    alignas(16) char order[32] = {};
    for (int i = 0; i < 24; ++i) {
        const int pixel = kMirror ? 7 - i / 3 : i / 3;
        order[i] = static_cast<char>(8 * (i % 3) + pixel);
    }
    const __m128i orderLow = _mm_load_si128(reinterpret_cast<const __m128i*>(order));
    const __m128i orderHigh = _mm_load_si128(reinterpret_cast<const __m128i*>(order + 16));
    int j = j0;
    for (; j + 8 <= j1; j += 8) {
        const __m512d x =
            _mm512_add_pd(cx, _mm512_mul_pd(_mm512_mul_pd(_mm512_loadu_pd(arc.cosines + j), r), k));
        const __m512d y =
            _mm512_add_pd(cy, _mm512_mul_pd(_mm512_mul_pd(_mm512_loadu_pd(arc.sines + j), r), k));
        const __m512d columnF = _mm512_roundscale_pd(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
        const __m512d rowF = _mm512_roundscale_pd(y, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
        const __m512d fx = _mm512_sub_pd(x, columnF);
        const __m512d fy = _mm512_sub_pd(y, rowF);
        const __m512i column = _mm512_cvttpd_epi64(columnF);
        const __m512i base =
            _mm512_add_epi64(_mm512_mul_epu32(_mm512_cvttpd_epi64(rowF), stride),
                             _mm512_add_epi64(column, _mm512_add_epi64(column, column)));
        const __m512i top = _mm512_i64gather_epi64(base, above, 1);
        const __m512i bottom = _mm512_i64gather_epi64(base, below, 1);
        __m256i channels[3];
        for (int ch = 0; ch < 3; ++ch) {
            const __m512i a = _mm512_shuffle_epi8(top, left[ch]);
            const __m512i b = _mm512_shuffle_epi8(top, right[ch]);
            const __m512i c = _mm512_shuffle_epi8(bottom, left[ch]);
            const __m512i d = _mm512_shuffle_epi8(bottom, right[ch]);
            const __m512i ba = _mm512_sub_epi64(b, a);
            const __m512i ca = _mm512_sub_epi64(c, a);
            const __m512i abcd = _mm512_sub_epi64(_mm512_sub_epi64(d, c), ba);
            const __m512d sum =
                _mm512_add_pd(_mm512_cvtepi64_pd(a), _mm512_mul_pd(fx, _mm512_cvtepi64_pd(ba)));
            const __m512d inner =
                _mm512_add_pd(_mm512_cvtepi64_pd(ca), _mm512_mul_pd(fx, _mm512_cvtepi64_pd(abcd)));
            channels[ch] = _mm512_cvttpd_epi32(_mm512_add_pd(sum, _mm512_mul_pd(fy, inner)));
        }
        // Values are 0..255, so keeping the low byte is the scalar conversion.
        const __m128i reds = _mm256_cvtepi32_epi8(channels[0]);
        const __m128i greens = _mm256_cvtepi32_epi8(channels[1]);
        const __m128i blues = _mm256_cvtepi32_epi8(channels[2]);
        const __m128i redGreen = _mm_unpacklo_epi64(reds, greens);
        std::uint8_t* block = ColumnPixel(out, j - j0 + (kMirror ? 7 : 0), kMirror);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block),
                         _mm_permutex2var_epi8(redGreen, orderLow, blues));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(block + 16),
                         _mm_permutex2var_epi8(redGreen, orderHigh, blues));
    }
    return j - j0;
}

bool Has(UnwarpVectors set) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    static const bool avx512 =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512vbmi");
    switch (set) {
        case UnwarpVectors::kNone:
            return true;
        case UnwarpVectors::kAvx2:
            return avx2;
        case UnwarpVectors::kAvx512:
            return avx512 && avx2;
    }
    return false;
}

}  // namespace

UnwarpVectors UsableUnwarpVectors(UnwarpVectors limit) {
    for (auto set : {UnwarpVectors::kAvx512, UnwarpVectors::kAvx2})
        if (set <= limit && Has(set)) return set;
    return UnwarpVectors::kNone;
}

int SampleInsideArc(UnwarpVectors vectors, const InsideArc& arc, int j0, int j1, std::uint8_t* out,
                    bool mirror) {
    int done = 0;
    if (vectors == UnwarpVectors::kAvx512)
        done =
            mirror ? SampleAvx512<true>(arc, j0, j1, out) : SampleAvx512<false>(arc, j0, j1, out);
    // What is left of the run, in narrower groups.
    if (vectors >= UnwarpVectors::kAvx2) {
        std::uint8_t* rest = ColumnPixel(out, done, mirror);
        done += mirror ? SampleAvx2<true>(arc, j0 + done, j1, rest)
                       : SampleAvx2<false>(arc, j0 + done, j1, rest);
    }
    return done;
}

#else  // no x86 vectors: the scalar kernels do all columns

UnwarpVectors UsableUnwarpVectors(UnwarpVectors) {
    return UnwarpVectors::kNone;
}

int SampleInsideArc(UnwarpVectors, const InsideArc&, int, int, std::uint8_t*, bool) {
    return 0;
}

#endif

}  // namespace orbelune
