#include "hostapi/textscan.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define KELMOR_SCAN_BLOCKS 1
#endif
#if defined(__SANITIZE_ADDRESS__)
#undef KELMOR_SCAN_BLOCKS
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#undef KELMOR_SCAN_BLOCKS
#endif
#endif

namespace textscan {

size_t PlainLength(const char16_t* p) {
    size_t n = 0;
    while (p[n] != 0) ++n;
    return n;
}

#if defined(KELMOR_SCAN_BLOCKS)

namespace {

// Units from the text's start to the zero unit marked in a block's mask
// (two bits a unit, one a byte).
inline size_t UnitsTo(const char* block, unsigned mask, uintptr_t start) {
    return (reinterpret_cast<uintptr_t>(block) + static_cast<unsigned>(__builtin_ctz(mask)) - start) / 2;
}

__attribute__((target("sse2"))) inline unsigned ZeroUnits16(const char* block) {
    const __m128i units = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(units, _mm_setzero_si128())));
}

__attribute__((target("avx2"))) inline unsigned ZeroUnits32(const char* block) {
    const __m256i units = _mm256_load_si256(reinterpret_cast<const __m256i*>(block));
    return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(units, _mm256_setzero_si256())));
}

}  // namespace

bool HasSse2() {
#if defined(__SSE2__)
    return true;
#else
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("sse2") != 0);
    return has;
#endif
}

bool HasAvx2() {
    // The processor runs it and the system saves its registers.
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
    return has;
}

// 16-byte blocks, four at a time once aligned to 64 bytes.
__attribute__((target("sse2"))) size_t Sse2Length(const char16_t* p) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(p);
    if (start % 2 != 0) return PlainLength(p);  // no block would hold whole units
    const char* block = reinterpret_cast<const char*>(start & ~static_cast<uintptr_t>(15));
    // The bytes of the first block before the text do not count.
    unsigned mask = ZeroUnits16(block) & (~0u << (start - reinterpret_cast<uintptr_t>(block)));
    if (mask != 0) return UnitsTo(block, mask, start);
    for (block += 16; reinterpret_cast<uintptr_t>(block) % 64 != 0; block += 16)
        if ((mask = ZeroUnits16(block)) != 0) return UnitsTo(block, mask, start);
    const __m128i zero = _mm_setzero_si128();
    for (;; block += 64) {
        const __m128i* q = reinterpret_cast<const __m128i*>(block);
        const __m128i a = _mm_cmpeq_epi16(_mm_load_si128(q), zero);
        const __m128i b = _mm_cmpeq_epi16(_mm_load_si128(q + 1), zero);
        const __m128i c = _mm_cmpeq_epi16(_mm_load_si128(q + 2), zero);
        const __m128i d = _mm_cmpeq_epi16(_mm_load_si128(q + 3), zero);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) != 0) break;
    }
    for (;; block += 16)
        if ((mask = ZeroUnits16(block)) != 0) return UnitsTo(block, mask, start);
}

// 32-byte blocks, four at a time once aligned to 128 bytes: the smallest
// unit of the four is zero when any unit is.
__attribute__((target("avx2"))) size_t Avx2Length(const char16_t* p) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(p);
    if (start % 2 != 0) return PlainLength(p);
    const char* block = reinterpret_cast<const char*>(start & ~static_cast<uintptr_t>(31));
    unsigned mask = ZeroUnits32(block) & (~0u << (start - reinterpret_cast<uintptr_t>(block)));
    if (mask != 0) return UnitsTo(block, mask, start);
    for (block += 32; reinterpret_cast<uintptr_t>(block) % 128 != 0; block += 32)
        if ((mask = ZeroUnits32(block)) != 0) return UnitsTo(block, mask, start);
    const __m256i zero = _mm256_setzero_si256();
    for (;; block += 128) {
        const __m256i* q = reinterpret_cast<const __m256i*>(block);
        const __m256i least = _mm256_min_epu16(_mm256_min_epu16(_mm256_load_si256(q), _mm256_load_si256(q + 1)),
                                               _mm256_min_epu16(_mm256_load_si256(q + 2), _mm256_load_si256(q + 3)));
        const __m256i zeros = _mm256_cmpeq_epi16(least, zero);
        if (!_mm256_testz_si256(zeros, zeros)) break;
    }
    for (;; block += 32)
        if ((mask = ZeroUnits32(block)) != 0) return UnitsTo(block, mask, start);
}

// "Enhanced REP MOVSB" (leaf 7, EBX bit 9): the processor copies a string
// of bytes a cache line at a time whatever its alignment.
bool HasFastStringCopy() {
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid_max(0, nullptr) >= 7 && __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & (1u << 9)) != 0;
    }();
    return has;
}

void CopyUnits(char16_t* out, const char16_t* p, size_t count) {
    size_t bytes = 2 * count;
    if (!HasFastStringCopy()) {
        if (bytes != 0) std::memcpy(out, p, bytes);
        return;
    }
    __asm__ volatile("rep movsb" : "+D"(out), "+S"(p), "+c"(bytes) : : "memory");
}

size_t Length(const char16_t* p) {
    using TScan = size_t (*)(const char16_t*);
    static const TScan scan = HasAvx2() ? &Avx2Length : HasSse2() ? &Sse2Length : &PlainLength;
    return scan(p);
}

#else

bool HasSse2() { return false; }
bool HasAvx2() { return false; }
size_t Sse2Length(const char16_t* p) { return PlainLength(p); }
size_t Avx2Length(const char16_t* p) { return PlainLength(p); }
size_t Length(const char16_t* p) { return PlainLength(p); }
bool HasFastStringCopy() { return false; }
void CopyUnits(char16_t* out, const char16_t* p, size_t count) {
    if (count != 0) std::memcpy(out, p, 2 * count);
}

#endif

}  // namespace textscan
