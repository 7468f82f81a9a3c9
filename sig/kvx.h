/*
 * libkvx: RSA signature checks (PKCS #1 v1.5, SHA-1) for the box's firmware
 * images, in three layers:
 *   - big numbers on arrays of 32-bit words (BIGI_*, BIG_memxor, BIG_memrev);
 *   - SHA-1 and SHA-0 behind one streaming interface (BIG_Hash*, BIGsha*);
 *   - RSA (BIG_ExpModP, BIG_RSAPadSignature) and the verify entry points
 *     (KVXQxelVerSign*).
 *
 * Nothing is allocated: numbers and contexts live in the caller's storage,
 * the library's own temporaries are fixed-size stack arrays (65 and 129
 * words). The library holds no state apart from constant records, so it is
 * reentrant as long as each caller uses its own contexts and numbers.
 *
 * Byte strings of numbers are little-endian: byte 0 is the least significant
 * byte, bytes 4k..4k+3 make word k. Functions returning int return 0 or one
 * of the error codes below unless said otherwise; a destination is valid
 * only after a 0 return.
 */
#ifndef KVX_H
#define KVX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Big numbers ------------------------------------------------------- */

/* A number: `len` words in use (0 is the value zero) of the `cap` words at
   `w`, word 0 least significant. Normalised when w[len-1] != 0. Operands
   are expected normalised; results always are. */
typedef struct BIGI_Num {
    uint16_t len;
    uint32_t* w;
    uint16_t cap;
} BIGI_Num;

#define BIGI_MUL_WORDS     129 /* product temporary: operand lengths add up to at most this */
#define BIGI_DIV_WORDS     128 /* longest dividend of a multi-word division (129-word temporary) */
#define BIGI_DIVISOR_WORDS 65  /* longest multi-word divisor, as BIG_ExpModP's numbers */
#define BIG_EXP_WORDS      65  /* BIG_ExpModP's numbers: each byte string converted at most 260 bytes */
#define KVX_MAX_MODULUS    256 /* verify entry points: modulus bytes */

#define BIGI_E_DUP    0xE01 /* BIGI_Dup32: destination capacity below source length */
#define BIGI_E_SHIFTR 0xE05 /* BIGI_ShiftR32: destination too small */
#define BIGI_E_SHIFTL 0xE07 /* BIGI_ShiftL32: destination too small */
#define BIGI_E_MUL    0xE13 /* BIGI_Mul32: product over 129 words, or destination too small */
#define BIGI_E_DIV    0xE15 /* BIGI_Div32: remainder does not fit (dividend below divisor) */
#define BIGI_E_DIV1   0xE17 /* BIGI_Div132, BIGI_DivSmall32: quotient or remainder does not fit */
#define BIGI_E_DIV2                                                                                                    \
    0xE19                        /* BIGI_Div232: quotient or remainder does not fit, or an
                                   operand over its temporary (dividend 128, divisor 65 words) */
#define BIGI_E_BUF         0xE23 /* BIGI_BufToNumber32: capacity below ceil(bytes/4) words */
#define BIGI_E_DIVZERO     0xE25 /* divisions: division by zero */
#define BIGI_E_SHIFTL_BITS 0xE27 /* BIGI_ShiftL32: shift count above 31 */
#define BIGI_E_SHIFTR_BITS 0xE29 /* BIGI_ShiftR32: shift count of 32 or more */
#define BIG_E_PADTYPE      0xC7B /* BIG_RSAPadSignature: unknown padding type */
#define BIG_E_PADSHORT     0xC7D /* BIG_RSAPadSignature: output too short */
#define BIG_E_HASHFUNC     0xC81 /* BIGI_HashInit: descriptor refused */

/* Progress of long operations: `step` is called with a countdown; its result
   is ignored. Embed the record first in a larger one to carry state. */
typedef struct BIG_Progress {
    int (*step)(const struct BIG_Progress* self, int countdown);
} BIG_Progress;

/* A progress record that does nothing (returns 0). */
extern const BIG_Progress BIG_ProgressQuiet;

/* Attaches `cap` words of storage to n; n becomes zero. */
void BIGI_Point32(BIGI_Num* n, uint32_t* words, uint16_t cap);
/* Drops leading zero words. */
void BIGI_Norm32(BIGI_Num* n);
/* out = a (BIGI_E_DUP). */
int BIGI_Dup32(const BIGI_Num* a, BIGI_Num* out);
/* 1 when a is zero / one, else 0. */
int BIGI_Iszero32(const BIGI_Num* a);
int BIGI_Isone32(const BIGI_Num* a);
/* Comparisons of normalised numbers: 1 when true, else 0. */
int BIGI_GE32(const BIGI_Num* a, const BIGI_Num* b);
int BIGI_LT32(const BIGI_Num* a, const BIGI_Num* b);
int BIGI_EQ32(const BIGI_Num* a, const BIGI_Num* b);
int BIGI_GT32(const BIGI_Num* a, const BIGI_Num* b);
int BIGI_NE32(const BIGI_Num* a, const BIGI_Num* b);
int BIGI_LE32(const BIGI_Num* a, const BIGI_Num* b);
/* out = the `count` little-endian bytes, normalised (BIGI_E_BUF). */
int BIGI_BufToNumber32(const uint8_t* bytes, uint32_t count, BIGI_Num* out);
/* Writes exactly `count` little-endian bytes of a: zeros above the number,
   only its low bytes when it is longer. */
void BIGI_NumberToBuf32(const BIGI_Num* a, uint32_t count, uint8_t* bytes);
/* Number of significant bytes of a (0 for zero). */
int BIGI_BytesInNumber32(const BIGI_Num* a);
/* out = a << bits, bits 0..31 (BIGI_E_SHIFTL_BITS, BIGI_E_SHIFTL); out may be a. */
int BIGI_ShiftL32(const BIGI_Num* a, BIGI_Num* out, unsigned bits);
/* out = a >> bits, bits 0..31 (BIGI_E_SHIFTR_BITS, BIGI_E_SHIFTR); out may be a. */
int BIGI_ShiftR32(const BIGI_Num* a, BIGI_Num* out, unsigned bits);
/* out = a * b, schoolbook into a 129-word temporary (BIGI_E_MUL); out may be a or b. */
int BIGI_Mul32(const BIGI_Num* a, const BIGI_Num* b, BIGI_Num* out);
/* q = a / b, r = a mod b; q and r may each be null; q may be a, r may be a
   or b (BIGI_E_DIVZERO, BIGI_E_DIV, and those of the two below). */
int BIGI_Div32(const BIGI_Num* a, const BIGI_Num* b, BIGI_Num* q, BIGI_Num* r);
/* Division by a one-word b, 64-by-32-bit steps from the top word
   (BIGI_E_DIVZERO, BIGI_E_DIV1). A longer b is handed to BIGI_Div32. */
int BIGI_Div132(const BIGI_Num* a, const BIGI_Num* b, BIGI_Num* q, BIGI_Num* r);
/* Division by a multi-word b, a normalised into a 129-word temporary, b's
   words normalised as used (BIGI_E_DIV2). A one-word b, or an a shorter
   than b, goes to BIGI_Div32. */
int BIGI_Div232(const BIGI_Num* a, const BIGI_Num* b, BIGI_Num* q, BIGI_Num* r);
/* q = a / d, *rem = a mod d, with d the low 8 bits of `divisor`; q and rem
   may be null (BIGI_E_DIVZERO, BIGI_E_DIV1). */
int BIGI_DivSmall32(const BIGI_Num* a, unsigned divisor, BIGI_Num* q, uint8_t* rem);
/* out = (a * b) mod m; out may be a or b, not m (codes of Mul32 and Div32). */
int BIGI_MulMod32(const BIGI_Num* a, const BIGI_Num* b, const BIGI_Num* m, BIGI_Num* out);
/* out = (a * a) mod m. */
int BIGI_SqrMod32(const BIGI_Num* a, const BIGI_Num* m, BIGI_Num* out);
/* out = base^exp mod m by left-to-right square and multiply, calling
   `progress` (null: none) on the way; a zero exponent gives 1, unreduced.
   out must not be one of the inputs. */
int BIGI_ExpModP32(const BIGI_Num* base, const BIGI_Num* exp, const BIGI_Num* m, BIGI_Num* out,
                   const BIG_Progress* progress);
/* out[i] = x[i] ^ y[i] for i < len. */
void BIG_memxor(uint8_t* out, const uint8_t* x, const uint8_t* y, unsigned len);
/* out[i] = in[len-1-i]; out may be in (reversed in place), not partly overlap it. */
void BIG_memrev(uint8_t* out, const uint8_t* in, unsigned len);

/* ---- Hashes ------------------------------------------------------------ */

#define BIG_HASH_BLOCK_MAX   64 /* largest block size a descriptor may have */
#define BIG_HASH_STATE_WORDS 5

struct BIG_HashCtx;

/* A hash algorithm. SHA-1 and SHA-0 differ only in `block`; `fold` (SHA-0
   only) folds a 20-byte digest to 8 bytes and is not called by the library. */
typedef struct BIG_HashFunc {
    uint16_t digest_size;
    uint16_t block_size; /* 1..BIG_HASH_BLOCK_MAX */
    void (*init)(uint32_t* state);
    void (*block)(uint32_t* state, const uint8_t* block, unsigned size, const struct BIG_HashFunc* hf);
    void (*final)(struct BIG_HashCtx* ctx);             /* pads through BIG_HashByte */
    uint8_t (*byte)(const uint32_t* state, unsigned i); /* digest byte i */
    void (*fold)(uint8_t* out, const uint8_t* digest);
} BIG_HashFunc;

/* Hash context, caller storage. `total` is a 32-bit byte count: a message
   is at most 4 GiB - 1 bytes (the bit length counts bytes modulo 2^32). */
typedef struct BIG_HashCtx {
    const BIG_HashFunc* hf; /* null after a refused init: the context then does nothing */
    uint16_t waiting;       /* bytes in `buf` */
    uint32_t total;         /* bytes hashed */
    uint8_t buf[BIG_HASH_BLOCK_MAX];
    uint32_t state[BIG_HASH_STATE_WORDS];
} BIG_HashCtx;

extern const BIG_HashFunc BIG_SHA1hashFunc;
extern const BIG_HashFunc BIG_SHA0hashFunc;

/* Starts a hash with descriptor hf. Refuses (BIG_E_HASHFUNC) a null
   descriptor or function, or a block size of 0 or over BIG_HASH_BLOCK_MAX. */
int BIGI_HashInit(BIG_HashCtx* ctx, const BIG_HashFunc* hf);
void BIG_HashInitSHA1(BIG_HashCtx* ctx);
void BIG_HashInitSHA0(BIG_HashCtx* ctx);
/* Appends len bytes. */
void BIG_HashData(BIG_HashCtx* ctx, const uint8_t* bytes, uint32_t len);
/* Appends one byte; the four bytes of value, most significant first. */
void BIG_HashByte(BIG_HashCtx* ctx, uint8_t byte);
void BIG_HashInt32(BIG_HashCtx* ctx, uint32_t value);
/* Finishes the hash and writes len bytes: the digest, then zeros beyond its
   size. Returns len (0 for a refused context). The context is then done:
   start it again with an init. */
int BIG_HashRes(BIG_HashCtx* ctx, uint8_t* out, unsigned len);
/* One-shot digests of len bytes into out_len bytes of out; return out_len. */
int BIGsha1(uint8_t* out, unsigned out_len, const uint8_t* bytes, uint32_t len);
int BIGsha0(uint8_t* out, unsigned out_len, const uint8_t* bytes, uint32_t len);

/* ---- RSA ---------------------------------------------------------------- */

/* out (out_len bytes) = base^exp mod modulus, each byte string converted into
   a 65-word number first: a string over 260 bytes gives BIGI_E_BUF. The
   arithmetic takes less than the conversion: a modulus and a base of at most
   256 bytes (64 words) always work, the exponent up to 260 bytes. A longer
   modulus fails with BIGI_E_MUL once a remainder and the other factor
   add up to over 129 words (a remainder of 65 words squared, as a rule),
   a longer base under a 64-word modulus with BIGI_E_DIV2 (a 129-word
   product is over the 128-word dividend). Otherwise 0 or the codes of
   BIGI_ExpModP32. */
int BIG_ExpModP(const uint8_t* modulus, uint32_t modulus_len, const uint8_t* base, uint32_t base_len,
                const uint8_t* exp, uint32_t exp_len, uint8_t* out, uint32_t out_len, const BIG_Progress* progress);

/* Encoded message of out_len bytes (least significant byte first) for a
   digest: type 1, PKCS #1 v1.5 with the SHA-1 DigestInfo
   (00 01 FF.. 00 DigestInfo digest; needs out_len >= digest_len + 18); type 0,
   ANSI X9.31 (6B BB.. BA digest 33 CC; needs out_len >= digest_len + 4).
   BIG_E_PADTYPE for another type, BIG_E_PADSHORT when out_len is too short. */
int BIG_RSAPadSignature(int type, uint8_t* out, uint32_t out_len, const uint8_t* digest, uint32_t digest_len);

/* A public key: little-endian modulus and exponent. */
typedef struct KVX_PublicKey {
    const uint8_t* modulus;
    uint32_t modulus_len;
    const uint8_t* exponent;
    uint32_t exponent_len;
} KVX_PublicKey;

/* Streaming verification: Start, then Buffer/Byte over the signed data. */
void KVXQxelVerSignStart(BIG_HashCtx* ctx);
void KVXQxelVerSignBuffer(BIG_HashCtx* ctx, const uint8_t* bytes, uint32_t len);
void KVXQxelVerSignByte(BIG_HashCtx* ctx, uint8_t byte);
/* 1 when sig (little-endian, as long as the modulus, below it, modulus at
   most 256 bytes) is a PKCS #1 v1.5 SHA-1 signature of the hashed data under
   key; 0 otherwise, whatever the reason. The context is done afterwards. */
int KVXQxelVerSignResult(BIG_HashCtx* ctx, const KVX_PublicKey* key, const uint8_t* sig, uint32_t sig_len);
/* Start, Buffer and Result in one call on a stack context. */
int KVXQxelVerSignature(const KVX_PublicKey* key, const uint8_t* bytes, uint32_t len, const uint8_t* sig,
                        uint32_t sig_len);

#ifdef __cplusplus
}
#endif

#endif
