// libkvx hashes: SHA-1 and its predecessor SHA-0 behind one descriptor-driven
// streaming interface. The context's block buffer holds at most 64 bytes, so
// descriptors with larger blocks are refused at init.
#include <string.h>

#include "kvx_impl.h"

namespace {

inline uint32_t rol(uint32_t x, unsigned n) { return x << n | x >> (32 - n); }

inline uint32_t load_be(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

#if defined(__OPTIMIZE_SIZE__)
// The box's -Os build: a loop per round function, shared by both algorithms,
// keeps the hash small in flash at some speed.

// Rotation left by 0..31 (SHA-0's schedule rotates by 0).
inline uint32_t rotl(uint32_t x, unsigned n) { return x << n | x >> (31 - n) >> 1; }

// One round: the schedule word for round i (expanded from round 16 on), the
// round function f of b, c, d, and the rotation of the working variables.
#define ROUND(i, f, k)                                                                                                 \
    {                                                                                                                  \
        uint32_t* wi = &w[(i)&15];                                                                                     \
        if ((i) >= 16) *wi = rotl(w[((i) + 13) & 15] ^ w[((i) + 8) & 15] ^ w[((i) + 2) & 15] ^ *wi, sched_rot);        \
        uint32_t t = rotl(a, 5) + (f) + e + (k) + *wi;                                                                 \
        e = d;                                                                                                         \
        d = c;                                                                                                         \
        c = rotl(b, 30);                                                                                               \
        b = a;                                                                                                         \
        a = t;                                                                                                         \
    }

void compress(uint32_t* st, const uint8_t* p, unsigned sched_rot) {
    uint32_t w[16];
    for (unsigned i = 0; i < 16; i++) w[i] = load_be(p + 4 * i);
    uint32_t a = st[0], b = st[1], c = st[2], d = st[3], e = st[4];
    unsigned i = 0;
    for (; i < 20; i++) ROUND(i, d ^ (b & (c ^ d)), 0x5A827999)
    for (; i < 40; i++) ROUND(i, b ^ c ^ d, 0x6ED9EBA1)
    for (; i < 60; i++) ROUND(i, (b & c) | (d & (b | c)), 0x8F1BBCDC)
    for (; i < 80; i++) ROUND(i, b ^ c ^ d, 0xCA62C1D6)
    st[0] += a;
    st[1] += b;
    st[2] += c;
    st[3] += d;
    st[4] += e;
}

void sha1_compress(uint32_t* st, const uint8_t* p) { compress(st, p, 1); }
void sha0_compress(uint32_t* st, const uint8_t* p) { compress(st, p, 0); }

#else
// Other builds: the 80 rounds unrolled, five per group so that the working
// variables rotate by name instead of by moves.

#define F1(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define F2(b, c, d) ((b) ^ (c) ^ (d))
#define F3(b, c, d) (((b) & (c)) | ((d) & ((b) | (c))))
// The message schedule in a 16-word ring; SHA-1 rotates each new word left
// by one, SHA-0 does not (the one difference between the two).
#define W(i)                                                                                                           \
    ((i) < 16 ? w[i]                                                                                                   \
              : (w[(i)&15] = schedule<Sha1>(w[((i) + 13) & 15] ^ w[((i) + 8) & 15] ^ w[((i) + 2) & 15] ^ w[(i)&15])))
#define R(a, b, c, d, e, f, k, i)                                                                                      \
    e += rol(a, 5) + f(b, c, d) + (k) + W(i);                                                                          \
    b = rol(b, 30);
#define FIVE(f, k, i)                                                                                                  \
    R(a, b, c, d, e, f, k, (i))                                                                                        \
    R(e, a, b, c, d, f, k, (i) + 1)                                                                                    \
    R(d, e, a, b, c, f, k, (i) + 2)                                                                                    \
    R(c, d, e, a, b, f, k, (i) + 3)                                                                                    \
    R(b, c, d, e, a, f, k, (i) + 4)

template <bool Sha1>
inline uint32_t schedule(uint32_t x) {
    return Sha1 ? rol(x, 1) : x;
}

template <bool Sha1>
void compress(uint32_t* st, const uint8_t* p) {
    uint32_t w[16];
    for (unsigned i = 0; i < 16; i++) w[i] = load_be(p + 4 * i);
    uint32_t a = st[0], b = st[1], c = st[2], d = st[3], e = st[4];
#pragma GCC unroll 4
    for (unsigned i = 0; i < 20; i += 5) { FIVE(F1, 0x5A827999, i) }
#pragma GCC unroll 4
    for (unsigned i = 20; i < 40; i += 5) { FIVE(F2, 0x6ED9EBA1, i) }
#pragma GCC unroll 4
    for (unsigned i = 40; i < 60; i += 5) { FIVE(F3, 0x8F1BBCDC, i) }
#pragma GCC unroll 4
    for (unsigned i = 60; i < 80; i += 5) { FIVE(F2, 0xCA62C1D6, i) }
    st[0] += a;
    st[1] += b;
    st[2] += c;
    st[3] += d;
    st[4] += e;
}

void sha1_compress(uint32_t* st, const uint8_t* p) { compress<true>(st, p); }
void sha0_compress(uint32_t* st, const uint8_t* p) { compress<false>(st, p); }
#endif

// A copy of these descriptors with another block size hashes nothing rather
// than reading 64 bytes from a shorter block.
void sha1_block(uint32_t* st, const uint8_t* block, unsigned size, const BIG_HashFunc*) {
    if (size == 64) sha1_compress(st, block);
}

void sha0_block(uint32_t* st, const uint8_t* block, unsigned size, const BIG_HashFunc*) {
    if (size == 64) sha0_compress(st, block);
}

void sha_init(uint32_t* st) {
    st[0] = 0x67452301;
    st[1] = 0xEFCDAB89;
    st[2] = 0x98BADCFE;
    st[3] = 0x10325476;
    st[4] = 0xC3D2E1F0;
}

// 0x80, zeros up to 56 bytes in the block, the bit length big-endian. (The
// stop is taken modulo the block size so that a copied descriptor with
// another size still ends.)
void sha_final(BIG_HashCtx* ctx) {
    const uint32_t total = ctx->total;
    const unsigned stop = (ctx->hf->block_size + 56u) % ctx->hf->block_size;
    BIG_HashByte(ctx, 0x80);
    while (ctx->waiting != stop) BIG_HashByte(ctx, 0);
    BIG_HashInt32(ctx, total >> 29);
    BIG_HashInt32(ctx, total << 3);
}

uint8_t sha_byte(const uint32_t* st, unsigned i) { return (uint8_t)(st[i / 4] >> (24 - i % 4 * 8)); }

// 20 digest bytes to 8: runs of 3 2 2 3 2 3 3 2 bytes XORed together.
void sha0_fold(uint8_t* out, const uint8_t* d) {
    static const uint8_t runs[8] = {3, 2, 2, 3, 2, 3, 3, 2};
    for (unsigned i = 0; i < 8; i++) {
        uint8_t x = 0;
        for (unsigned n = runs[i]; n--;) x ^= *d++;
        out[i] = x;
    }
}

}  // namespace

KVX_API const BIG_HashFunc BIG_SHA1hashFunc = {20, 64, sha_init, sha1_block, sha_final, sha_byte, nullptr};
KVX_API const BIG_HashFunc BIG_SHA0hashFunc = {20, 64, sha_init, sha0_block, sha_final, sha_byte, sha0_fold};

KVX_API int BIGI_HashInit(BIG_HashCtx* ctx, const BIG_HashFunc* hf) {
    ctx->waiting = 0;
    ctx->total = 0;
    ctx->hf = nullptr;
    if (!hf || !hf->init || !hf->block || !hf->final || !hf->byte || !hf->block_size ||
        hf->block_size > BIG_HASH_BLOCK_MAX)
        return BIG_E_HASHFUNC;
    ctx->hf = hf;
    hf->init(ctx->state);
    return 0;
}

KVX_API void BIG_HashInitSHA1(BIG_HashCtx* ctx) { BIGI_HashInit(ctx, &BIG_SHA1hashFunc); }
KVX_API void BIG_HashInitSHA0(BIG_HashCtx* ctx) { BIGI_HashInit(ctx, &BIG_SHA0hashFunc); }

KVX_API void BIG_HashData(BIG_HashCtx* ctx, const uint8_t* bytes, uint32_t len) {
    const BIG_HashFunc* hf = ctx->hf;
    if (!hf) return;
    const unsigned size = hf->block_size;
    ctx->total += len;
    if (ctx->waiting) {
        unsigned n = size - ctx->waiting;
        if (n > len) n = len;
        memcpy(ctx->buf + ctx->waiting, bytes, n);
        ctx->waiting = (uint16_t)(ctx->waiting + n);
        bytes += n;
        len -= n;
        if (ctx->waiting < size) return;
        hf->block(ctx->state, ctx->buf, size, hf);
        ctx->waiting = 0;
    }
    // Whole blocks straight from the caller's bytes: no copy through the buffer.
    for (; len >= size; bytes += size, len -= size) hf->block(ctx->state, bytes, size, hf);
    if (len) memcpy(ctx->buf, bytes, len);
    ctx->waiting = (uint16_t)len;
}

KVX_API void BIG_HashByte(BIG_HashCtx* ctx, uint8_t byte) { BIG_HashData(ctx, &byte, 1); }

KVX_API void BIG_HashInt32(BIG_HashCtx* ctx, uint32_t value) {
    const uint8_t b[4] = {(uint8_t)(value >> 24), (uint8_t)(value >> 16), (uint8_t)(value >> 8), (uint8_t)value};
    BIG_HashData(ctx, b, 4);
}

KVX_API int BIG_HashRes(BIG_HashCtx* ctx, uint8_t* out, unsigned len) {
    const BIG_HashFunc* hf = ctx->hf;
    if (!hf) return 0;
    const uint32_t total = ctx->total;
    hf->final(ctx);
    ctx->total = total;
    for (unsigned i = 0; i < len; i++) out[i] = i < hf->digest_size ? hf->byte(ctx->state, i) : 0;
    return (int)len;
}

namespace {

__attribute__((noinline)) int oneshot(const BIG_HashFunc* hf, uint8_t* out, unsigned out_len, const uint8_t* bytes,
                                      uint32_t len) {
    BIG_HashCtx ctx;
    BIGI_HashInit(&ctx, hf);
    BIG_HashData(&ctx, bytes, len);
    return BIG_HashRes(&ctx, out, out_len);
}

}  // namespace

KVX_API int BIGsha1(uint8_t* out, unsigned out_len, const uint8_t* bytes, uint32_t len) {
    return oneshot(&BIG_SHA1hashFunc, out, out_len, bytes, len);
}

KVX_API int BIGsha0(uint8_t* out, unsigned out_len, const uint8_t* bytes, uint32_t len) {
    return oneshot(&BIG_SHA0hashFunc, out, out_len, bytes, len);
}
