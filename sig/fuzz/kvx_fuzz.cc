// What an attacker controls: the signature, the signed data and (for the
// library's other callers) key records of any shape, and big-number operands
// and capacities. Every buffer is exactly as long as said, so a read or
// write past one trips AddressSanitizer; divisions are checked against
// OpenSSL (q * b + r = a, r < b).
#include <openssl/bn.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "kvx.h"

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    bool take(size_t len, std::vector<uint8_t>& out) {
        if (len > n) return false;
        out.assign(p, p + len);
        p += len, n -= len;
        return true;
    }
    unsigned byte() { return n ? (n--, *p++) : 0; }
};

BIGNUM* bn(const BIGI_Num& a) {
    std::vector<uint8_t> b(a.len * 4u + 1);
    BIGI_NumberToBuf32(&a, (uint32_t)b.size(), b.data());
    return BN_lebin2bn(b.data(), (int)b.size(), nullptr);
}

void verify(Input& in) {
    uint32_t mlen = in.byte() | (in.byte() & 1) << 8, elen = in.byte() % 8, slen = mlen + in.byte() % 3 - 1;
    std::vector<uint8_t> mod, exp, sig, data;
    if (!in.take(mlen, mod) || !in.take(elen, exp) || !in.take(slen, sig)) return;
    data.assign(in.p, in.p + in.n);
    KVX_PublicKey key = {mod.data(), mlen, exp.data(), elen};
    KVXQxelVerSignature(&key, data.data(), (uint32_t)data.size(), sig.data(), slen);
}

// A number of `cap` words (exactly) from the input, not necessarily normalised.
struct Num {
    std::vector<uint32_t> w;
    BIGI_Num n;
    Num(Input& in, unsigned cap, unsigned len) : w(cap ? cap : 1) {
        BIGI_Point32(&n, w.data(), (uint16_t)cap);
        for (unsigned i = 0; i < len && i < cap; i++) w[i] = in.byte() * 0x01010101u ^ in.byte() << 7;
        n.len = (uint16_t)(len < cap ? len : cap);
    }
};

void numbers(Input& in) {
    unsigned alen = in.byte() % 140, blen = in.byte() % 70;
    Num a(in, alen + in.byte() % 3, alen), b(in, blen + 1, blen);
    Num q(in, in.byte() % 140, 0), r(in, in.byte() % 70, 0), out(in, in.byte() % 140, 0);
    BIGI_Norm32(&a.n);
    BIGI_Norm32(&b.n);
    int (*divs[])(const BIGI_Num*, const BIGI_Num*, BIGI_Num*, BIGI_Num*) = {BIGI_Div32, BIGI_Div132, BIGI_Div232};
    if (!divs[in.byte() % 3](&a.n, &b.n, &q.n, &r.n)) {
        BIGNUM *x = bn(q.n), *y = bn(b.n), *z = bn(r.n), *want = bn(a.n);
        BN_CTX* ctx = BN_CTX_new();
        BN_mul(x, x, y, ctx);
        BN_add(x, x, z);
        if (BN_cmp(x, want) || BN_cmp(z, y) >= 0) __builtin_trap();
        BN_CTX_free(ctx);
        BN_free(x), BN_free(y), BN_free(z), BN_free(want);
    }
    uint8_t rem;
    BIGI_DivSmall32(&a.n, in.byte(), &q.n, &rem);
    BIGI_Mul32(&a.n, &b.n, &out.n);
    BIGI_MulMod32(&a.n, &a.n, &b.n, &out.n);
    BIGI_ShiftL32(&a.n, &out.n, in.byte() % 34);
    BIGI_ShiftR32(&a.n, &out.n, in.byte() % 34);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in = {data, size};
    if (in.byte() & 1) numbers(in);
    else verify(in);
    return 0;
}
