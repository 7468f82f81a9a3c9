// libkvx big numbers: arrays of 32-bit words, least significant first. Every
// temporary is a fixed-size stack array; a destination is written only once
// its capacity is known to be enough, and an operand too long for a
// temporary is refused before anything is copied into it. The library lives
// in the box's flash, so the code favours small over clever.
#include "kvx_impl.h"

namespace {

typedef uint64_t u64;

enum { kLT = 1, kEQ = 2, kGT = 4 };  // comparison outcomes as bits

unsigned norm_len(const uint32_t* w, unsigned len) {
    while (len && !w[len - 1]) len--;
    return len;
}

// a with its leading zero words dropped, so that the divisions can rely on
// a non-zero top word whatever the caller passes.
BIGI_Num view(const BIGI_Num* a) {
    BIGI_Num v = *a;
    v.len = (uint16_t)norm_len(a->w, a->len);
    return v;
}

unsigned cmp(const BIGI_Num* a, const BIGI_Num* b) {
    unsigned i = a->len;
    if (i != b->len) return i < b->len ? kLT : kGT;
    while (i--) {
        if (a->w[i] != b->w[i]) return a->w[i] < b->w[i] ? kLT : kGT;
    }
    return kEQ;
}

// out = words[0..len), normalised, or `code` when it does not fit. The copy
// runs upwards, so words may lie above out's storage (shifted views).
int store(const uint32_t* words, unsigned len, BIGI_Num* out, int code) {
    len = norm_len(words, len);
    if (len > out->cap) return code;
    for (unsigned i = 0; i < len; i++) out->w[i] = words[i];
    out->len = (uint16_t)len;
    return 0;
}

// p[0..al+bl) = a * b, schoolbook.
void mul_words(const uint32_t* a, unsigned al, const uint32_t* b, unsigned bl, uint32_t* p) {
    for (unsigned i = 0; i < al + bl; i++) p[i] = 0;
    for (unsigned i = 0; i < al; i++) {
        u64 carry = 0;
        for (unsigned j = 0; j < bl; j++) {
            carry += (u64)a[i] * b[j] + p[i + j];
            p[i + j] = (uint32_t)carry;
            carry >>= 32;
        }
        p[i + bl] = (uint32_t)carry;
    }
}

// (hi:lo) / d for hi < d, remainder in *rem, in two 32-by-16-bit steps
// (Hacker's Delight, divlu): the box's processor divides 32-bit words only,
// and a 64-bit division would pull in the compiler's 2 KB routine.
__attribute__((noinline)) uint32_t div_words(uint32_t hi, uint32_t lo, uint32_t d, uint32_t* rem) {
    const unsigned s = __builtin_clz(d);
    d <<= s;
    const uint32_t dh = d >> 16, dl = d & 0xFFFF;
    uint32_t top = hi << s | (s ? lo >> (32 - s) : 0), q = 0;
    lo <<= s;
    for (unsigned i = 0; i < 2; i++, lo <<= 16) {
        const uint32_t digit = lo >> 16;
        uint32_t qi = top / dh, r = top - qi * dh;
        while (qi > 0xFFFF || qi * dl > (r << 16 | digit)) {
            qi--;
            r += dh;
            if (r > 0xFFFF) break;
        }
        q = q << 16 | qi;
        top = (top << 16 | digit) - qi * d;
    }
    *rem = top >> s;
    return q;
}

// q = a / d for one word d != 0, remainder in *rem; q may be null.
int div_one(const BIGI_Num* a, uint32_t d, BIGI_Num* q, uint32_t* rem) {
    unsigned n = norm_len(a->w, a->len);
    uint32_t r = 0;
    if (n && a->w[n - 1] < d) r = a->w[--n];  // the quotient is a word shorter
    if (q && n > q->cap) return BIGI_E_DIV1;
    for (unsigned i = n; i--;) {
        uint32_t qi = div_words(r, a->w[i], d, &r);
        if (q) q->w[i] = qi;
    }
    if (q) q->len = (uint16_t)n;
    *rem = r;
    return 0;
}

// Knuth's algorithm D. u holds the ulen-word dividend (ulen <= 128, at least
// b->len words, b->len 2..65) in storage of 129 words and is destroyed; q
// must not share b's storage (r is written last and may).
int div_multi(uint32_t* u, unsigned ulen, const BIGI_Num* b, BIGI_Num* q, BIGI_Num* r) {
    const unsigned n = b->len, m = ulen - n;
    if (q && q->cap < m) return BIGI_E_DIV2;  // the quotient has m or m + 1 words

    // Shift both until the divisor's top word has its top bit set, so that
    // each quotient estimate is at most two too large. The dividend shifts
    // in place; the divisor's words are shifted as they are used instead of
    // into a 65-word copy, which keeps a verification within 3 KB of stack.
    const uint32_t* bw = b->w;
    const unsigned s = __builtin_clz(bw[n - 1]);
    auto v = [bw, s, n](unsigned i) -> uint32_t {
        return i < n ? bw[i] << s | (s && i ? bw[i - 1] >> (32 - s) : 0) : 0;
    };
    BIGI_Num un = {(uint16_t)ulen, u, BIGI_MUL_WORDS};
    u[ulen] = 0;
    BIGI_ShiftL32(&un, &un, s);

    const uint32_t vtop = v(n - 1), vnext = v(n - 2);
    for (unsigned j = m + 1; j--;) {
        uint32_t* uj = u + j;
        // Estimate from the top two words, then correct with the next ones.
        uint32_t qhat = 0xFFFFFFFF, r32;
        u64 rhat = (u64)uj[n - 1] + vtop;
        if (uj[n] != vtop) {
            qhat = div_words(uj[n], uj[n - 1], vtop, &r32);
            rhat = r32;
        }
        while (rhat >> 32 == 0 && (u64)qhat * vnext > (rhat << 32 | uj[n - 2])) {
            qhat--;
            rhat += vtop;
        }
        // uj[0..n] -= qhat * v; on a borrow out, qhat was one too large:
        // add the divisor back once.
        uint32_t carry = 0, borrow = 0;
        for (unsigned i = 0; i <= n; i++) {
            u64 p = (u64)qhat * v(i) + carry;
            carry = (uint32_t)(p >> 32);
            uint32_t x = uj[i], y = (uint32_t)p;
            uj[i] = x - y - borrow;
            borrow = x < y || (x == y && borrow);
        }
        if (borrow) {
            qhat--;
            uint32_t c = 0;
            for (unsigned i = 0; i <= n; i++) {
                u64 t = (u64)uj[i] + v(i) + c;
                uj[i] = (uint32_t)t;
                c = (uint32_t)(t >> 32);
            }
        }
        if (q) {
            if (j < q->cap) q->w[j] = qhat;
            else if (qhat) return BIGI_E_DIV2;
        }
    }
    if (q) q->len = (uint16_t)norm_len(q->w, q->cap < m + 1 ? m : m + 1);
    if (!r) return 0;
    un.len = (uint16_t)n;
    BIGI_ShiftR32(&un, &un, s);
    return store(u, un.len, r, BIGI_E_DIV2);
}

// Division for BIGI_Div32 and the modular product. `scratch`, when given,
// holds a's words in 129-word storage and may be destroyed, which spares a
// second 129-word copy on the way to the multi-word division.
int divide(const BIGI_Num* a_in, const BIGI_Num* b_in, BIGI_Num* q, BIGI_Num* r, uint32_t* scratch) {
    const BIGI_Num a = view(a_in), b = view(b_in);
    if (!b.len) return BIGI_E_DIVZERO;
    if (cmp(&a, &b) == kLT) {
        if (r && store(a.w, a.len, r, BIGI_E_DIV)) return BIGI_E_DIV;
        if (q) q->len = 0;
        return 0;
    }
    if (b.len == 1) return BIGI_Div132(&a, &b, q, r);
    if (!scratch) return BIGI_Div232(&a, &b, q, r);
    if (a.len > BIGI_DIV_WORDS || b.len > BIGI_DIVISOR_WORDS) return BIGI_E_DIV2;
    return div_multi(scratch, a.len, &b, q, r);
}

// Before each operation of an exponentiation the units of work left are
// compared with the countdown, which steps down to match them.
struct Progress {
    const BIG_Progress* p;
    int countdown;
    u64 left, unit;
    __attribute__((noinline)) void tick() {
        while (p && p->step && left / 32 < (u64)countdown) p->step(p, countdown--);
        left -= unit;
    }
};

}  // namespace

KVX_API void BIGI_Point32(BIGI_Num* n, uint32_t* words, uint16_t cap) {
    n->w = words;
    n->cap = cap;
    n->len = 0;
}

KVX_API void BIGI_Norm32(BIGI_Num* n) { n->len = (uint16_t)norm_len(n->w, n->len); }

KVX_API int BIGI_Dup32(const BIGI_Num* a, BIGI_Num* out) { return store(a->w, a->len, out, BIGI_E_DUP); }

KVX_API int BIGI_Iszero32(const BIGI_Num* a) { return a->len == 0; }
KVX_API int BIGI_Isone32(const BIGI_Num* a) { return a->len == 1 && a->w[0] == 1; }
KVX_API int BIGI_GE32(const BIGI_Num* a, const BIGI_Num* b) { return (cmp(a, b) & (kGT | kEQ)) != 0; }
KVX_API int BIGI_LT32(const BIGI_Num* a, const BIGI_Num* b) { return cmp(a, b) == kLT; }
KVX_API int BIGI_EQ32(const BIGI_Num* a, const BIGI_Num* b) { return cmp(a, b) == kEQ; }
KVX_API int BIGI_GT32(const BIGI_Num* a, const BIGI_Num* b) { return cmp(a, b) == kGT; }
KVX_API int BIGI_NE32(const BIGI_Num* a, const BIGI_Num* b) { return cmp(a, b) != kEQ; }
KVX_API int BIGI_LE32(const BIGI_Num* a, const BIGI_Num* b) { return (cmp(a, b) & (kLT | kEQ)) != 0; }

KVX_API int BIGI_BufToNumber32(const uint8_t* bytes, uint32_t count, BIGI_Num* out) {
    const uint32_t words = count / 4 + (count % 4 != 0);
    if (words > out->cap) return BIGI_E_BUF;
    for (uint32_t k = 0; k < words; k++) out->w[k] = 0;
    for (uint32_t i = 0; i < count; i++) out->w[i / 4] |= (uint32_t)bytes[i] << (i % 4 * 8);
    out->len = (uint16_t)norm_len(out->w, words);
    return 0;
}

KVX_API void BIGI_NumberToBuf32(const BIGI_Num* a, uint32_t count, uint8_t* bytes) {
    for (uint32_t i = 0; i < count; i++) bytes[i] = i / 4 < a->len ? (uint8_t)(a->w[i / 4] >> (i % 4 * 8)) : 0;
}

KVX_API int BIGI_BytesInNumber32(const BIGI_Num* a) {
    const unsigned len = norm_len(a->w, a->len);
    return len ? (int)(len * 4 - __builtin_clz(a->w[len - 1]) / 8) : 0;
}

KVX_API int BIGI_ShiftL32(const BIGI_Num* a, BIGI_Num* out, unsigned bits) {
    if (bits > 31) return BIGI_E_SHIFTL_BITS;
    const unsigned len = norm_len(a->w, a->len);
    // The bits leaving the top word, and for each word those coming from below.
    const uint32_t top = bits && len ? a->w[len - 1] >> (32 - bits) : 0;
    if (len + (top != 0) > out->cap) return BIGI_E_SHIFTL;
    if (top) out->w[len] = top;
    for (unsigned i = len; i--;) out->w[i] = a->w[i] << bits | (bits && i ? a->w[i - 1] >> (32 - bits) : 0);
    out->len = (uint16_t)(len + (top != 0));
    return 0;
}

KVX_API int BIGI_ShiftR32(const BIGI_Num* a, BIGI_Num* out, unsigned bits) {
    if (bits > 31) return BIGI_E_SHIFTR_BITS;
    const unsigned alen = norm_len(a->w, a->len);
    const unsigned len = alen && !(a->w[alen - 1] >> bits) ? alen - 1 : alen;
    if (len > out->cap) return BIGI_E_SHIFTR;
    for (unsigned i = 0; i < len; i++)
        out->w[i] = a->w[i] >> bits | (bits && i + 1 < alen ? a->w[i + 1] << (32 - bits) : 0);
    out->len = (uint16_t)len;
    return 0;
}

KVX_API int BIGI_Mul32(const BIGI_Num* a, const BIGI_Num* b, BIGI_Num* out) {
    if (!a->len || !b->len) {
        out->len = 0;
        return 0;
    }
    if (a->len + b->len > BIGI_MUL_WORDS) return BIGI_E_MUL;
    uint32_t p[BIGI_MUL_WORDS];
    mul_words(a->w, a->len, b->w, b->len, p);
    return store(p, a->len + b->len, out, BIGI_E_MUL);
}

KVX_API int BIGI_Div32(const BIGI_Num* a, const BIGI_Num* b, BIGI_Num* q, BIGI_Num* r) {
    return divide(a, b, q, r, nullptr);
}

KVX_API int BIGI_Div132(const BIGI_Num* a, const BIGI_Num* b, BIGI_Num* q, BIGI_Num* r) {
    if (norm_len(b->w, b->len) != 1) return BIGI_Div32(a, b, q, r);
    uint32_t rem;
    int rc = div_one(a, b->w[0], q, &rem);
    if (rc || !r) return rc;
    return store(&rem, 1, r, BIGI_E_DIV1);
}

KVX_API int BIGI_Div232(const BIGI_Num* a_in, const BIGI_Num* b_in, BIGI_Num* q, BIGI_Num* r) {
    const BIGI_Num a = view(a_in), b = view(b_in);
    if (b.len < 2 || a.len < b.len) return BIGI_Div32(&a, &b, q, r);
    if (a.len > BIGI_DIV_WORDS || b.len > BIGI_DIVISOR_WORDS) return BIGI_E_DIV2;
    uint32_t u[BIGI_MUL_WORDS];
    for (unsigned i = 0; i < a.len; i++) u[i] = a.w[i];
    return div_multi(u, a.len, &b, q, r);
}

KVX_API int BIGI_DivSmall32(const BIGI_Num* a, unsigned divisor, BIGI_Num* q, uint8_t* rem) {
    uint32_t r;
    if (!(divisor & 0xFF)) return BIGI_E_DIVZERO;
    int rc = div_one(a, divisor & 0xFF, q, &r);
    if (!rc && rem) *rem = (uint8_t)r;
    return rc;
}

KVX_API int BIGI_MulMod32(const BIGI_Num* a, const BIGI_Num* b, const BIGI_Num* m, BIGI_Num* out) {
    uint32_t p[BIGI_MUL_WORDS];
    BIGI_Num prod = {0, p, BIGI_MUL_WORDS};
    if (a->len && b->len) {
        if (a->len + b->len > BIGI_MUL_WORDS) return BIGI_E_MUL;
        mul_words(a->w, a->len, b->w, b->len, p);
        prod.len = (uint16_t)norm_len(p, a->len + b->len);
    }
    // The product's words are the 129 a multi-word division would copy into.
    return divide(&prod, m, nullptr, out, p);
}

KVX_API int BIGI_SqrMod32(const BIGI_Num* a, const BIGI_Num* m, BIGI_Num* out) { return BIGI_MulMod32(a, a, m, out); }

KVX_API int BIGI_ExpModP32(const BIGI_Num* base, const BIGI_Num* exp, const BIGI_Num* m, BIGI_Num* out,
                           const BIG_Progress* progress) {
    if (!out->cap) return BIGI_E_DUP;
    out->w[0] = 1;
    out->len = 1;
    const unsigned elen = norm_len(exp->w, exp->len);
    if (!elen) return 0;

    // Progress: a squaring per exponent bit from the top set bit and a
    // multiplication per 1 bit, each worth (modulus words)^2 / 256 units.
    const unsigned bits = elen * 32 - __builtin_clz(exp->w[elen - 1]);
    u64 ops = bits;
    for (unsigned i = 0; i < elen; i++)
        for (uint32_t x = exp->w[i]; x; x &= x - 1) ops++;
    Progress pr = {progress, 0, ops * ((u64)m->len * m->len / 256), (u64)m->len * m->len / 256};
    pr.countdown = pr.left / 32 > 0x7FFFFFFF ? 0x7FFFFFFF : (int)(pr.left / 32);

    for (unsigned k = bits; k--;) {
        // The square, then the product with the base when the bit is 1.
        for (unsigned mul = 0; mul < 2 && (!mul || (exp->w[k / 32] >> k % 32 & 1)); mul++) {
            pr.tick();
            int rc = BIGI_MulMod32(out, mul ? base : out, m, out);
            if (rc) return rc;
        }
    }
    return 0;
}

KVX_API void BIG_memxor(uint8_t* out, const uint8_t* x, const uint8_t* y, unsigned len) {
    for (unsigned i = 0; i < len; i++) out[i] = x[i] ^ y[i];
}

KVX_API void BIG_memrev(uint8_t* out, const uint8_t* in, unsigned len) {
    // Pairs from both ends, each read before either is written: in place works.
    for (unsigned i = 0, j = len; i < j;) {
        uint8_t t = in[i];
        out[i++] = in[--j];
        out[j] = t;
    }
}
