// libkvx RSA: textbook exponentiation on byte strings, the two signature
// encodings, and the PKCS #1 v1.5 SHA-1 signature check.
#include <string.h>

#include "kvx_impl.h"

namespace {

// The two encodings, most significant byte first: head, fill bytes, middle,
// the digest, tail. The bytes of head, middle and tail follow each other.
struct Encoding {
    uint8_t head, middle, tail, fill;
    uint8_t bytes[19];
};

const Encoding kEncodings[2] = {
    // Type 0, ANSI X9.31: 6B BB.. BA digest 33 CC.
    {1, 1, 2, 0xBB, {0x6B, 0xBA, 0x33, 0xCC}},
    // Type 1, PKCS #1 v1.5: 00 01 FF.. 00, the SHA-1 DigestInfo, the digest.
    {2,
     16,
     0,
     0xFF,
     {0x00, 0x01, 0x00, 0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14}},
};

int quiet(const BIG_Progress*, int) { return 0; }

// Whether little-endian a is below b, both len bytes.
bool below(const uint8_t* a, const uint8_t* b, uint32_t len) {
    while (len--) {
        if (a[len] != b[len]) return a[len] < b[len];
    }
    return false;
}

}  // namespace

KVX_API const BIG_Progress BIG_ProgressQuiet = {quiet};

KVX_API int BIG_ExpModP(const uint8_t* modulus, uint32_t modulus_len, const uint8_t* base, uint32_t base_len,
                        const uint8_t* exp, uint32_t exp_len, uint8_t* out, uint32_t out_len,
                        const BIG_Progress* progress) {
    // The modulus, the base, the exponent and the result.
    uint32_t words[4][BIG_EXP_WORDS];
    BIGI_Num n[4];
    const uint8_t* const src[3] = {modulus, base, exp};
    const uint32_t len[3] = {modulus_len, base_len, exp_len};
    int rc = 0;
    for (unsigned i = 0; i < 4; i++) BIGI_Point32(&n[i], words[i], BIG_EXP_WORDS);
    for (unsigned i = 0; i < 3 && !rc; i++) rc = BIGI_BufToNumber32(src[i], len[i], &n[i]);
    if (!rc) rc = BIGI_ExpModP32(&n[1], &n[2], &n[0], &n[3], progress);
    if (!rc) BIGI_NumberToBuf32(&n[3], out_len, out);
    return rc;
}

KVX_API int BIG_RSAPadSignature(int type, uint8_t* out, uint32_t out_len, const uint8_t* digest, uint32_t digest_len) {
    if (type != 0 && type != 1) return BIG_E_PADTYPE;
    const Encoding& e = kEncodings[type];
    const uint8_t* middle = e.bytes + e.head;
    const uint32_t extra = e.head + e.middle + e.tail;
    if (out_len < extra || out_len - extra < digest_len) return BIG_E_PADSHORT;
    // Laid out from byte 0, the least significant: the value from its end.
    BIG_memrev(out, middle + e.middle, e.tail);
    out += e.tail;
    BIG_memrev(out, digest, digest_len);
    out += digest_len;
    BIG_memrev(out, middle, e.middle);
    out += e.middle;
    for (uint32_t k = out_len - extra - digest_len; k--;) *out++ = e.fill;
    BIG_memrev(out, e.bytes, e.head);
    return 0;
}

KVX_API void KVXQxelVerSignStart(BIG_HashCtx* ctx) { BIG_HashInitSHA1(ctx); }

KVX_API void KVXQxelVerSignBuffer(BIG_HashCtx* ctx, const uint8_t* bytes, uint32_t len) {
    BIG_HashData(ctx, bytes, len);
}

KVX_API void KVXQxelVerSignByte(BIG_HashCtx* ctx, uint8_t byte) { BIG_HashByte(ctx, byte); }

KVX_API int KVXQxelVerSignResult(BIG_HashCtx* ctx, const KVX_PublicKey* key, const uint8_t* sig, uint32_t sig_len) {
    if (!key || !sig || !key->modulus || (!key->exponent && key->exponent_len)) return 0;
    const uint32_t len = key->modulus_len;
    if (sig_len != len || len > KVX_MAX_MODULUS) return 0;
    // A value at or above the modulus is no signature: s + k*n would
    // otherwise verify as s does (PKCS #1 refuses it before any arithmetic).
    if (!below(sig, key->modulus, len)) return 0;

    uint8_t digest[20], em[KVX_MAX_MODULUS], m[KVX_MAX_MODULUS];
    BIG_HashRes(ctx, digest, sizeof digest);
    if (BIG_RSAPadSignature(1, em, len, digest, sizeof digest)) return 0;
    if (BIG_ExpModP(key->modulus, len, sig, len, key->exponent, key->exponent_len, m, len, &BIG_ProgressQuiet))
        return 0;
    return memcmp(m, em, len) == 0;
}

KVX_API int KVXQxelVerSignature(const KVX_PublicKey* key, const uint8_t* bytes, uint32_t len, const uint8_t* sig,
                                uint32_t sig_len) {
    BIG_HashCtx ctx;
    KVXQxelVerSignStart(&ctx);
    KVXQxelVerSignBuffer(&ctx, bytes, len);
    return KVXQxelVerSignResult(&ctx, key, sig, sig_len);
}
