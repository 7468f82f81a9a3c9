// libkvx's big numbers against OpenSSL's BIGNUM on random operands of every
// size up to the temporaries' capacities, and their refusals: an operand or
// destination that does not fit gives the error code and nothing is written
// past any storage (the guard word here, the stack under AddressSanitizer).
#include <gtest/gtest.h>

#include "kvx_testing.h"

namespace {

using kvxtest::Bn;
using kvxtest::Num;
using kvxtest::Random;
using kvxtest::same;
using kvxtest::to_bn;

struct Ctx {
    BN_CTX* c = BN_CTX_new();
    ~Ctx() { BN_CTX_free(c); }
};

TEST(Bigi, BytesToNumberAndBack) {
    Random rnd(1);
    for (unsigned count = 0; count <= 268; count++) {
        auto bytes = rnd.bytes(count);
        if (count > 4 && count % 3 == 0)  // leading zero words must go
            for (unsigned i = count - 5; i < count; i++) bytes[i] = 0;
        Num a(66);
        int rc = BIGI_BufToNumber32(bytes.data(), count, &a.n);
        if (count > 264) {
            EXPECT_EQ(rc, BIGI_E_BUF) << count;  // ceil(count/4) over 66 words, zeros or not
            continue;
        }
        ASSERT_EQ(rc, 0);
        ASSERT_TRUE(same(a.n, kvxtest::bn_from_le(bytes).get())) << count;
        EXPECT_EQ(BIGI_BytesInNumber32(&a.n), BN_num_bytes(to_bn(a.n).get()));
        // Exactly `out` bytes back: cut above, zeros beyond the number.
        unsigned out = rnd.below(count + 8);
        std::vector<uint8_t> back(out + 1, 0xEE);
        BIGI_NumberToBuf32(&a.n, out, back.data());
        for (unsigned i = 0; i < out; i++) ASSERT_EQ(back[i], i < count ? bytes[i] : 0) << count << " " << i;
        EXPECT_EQ(back[out], 0xEE);
        EXPECT_TRUE(a.guard_intact());
    }
    Num zero(2);
    uint8_t z[9];
    memset(z, 0xEE, sizeof z);
    BIGI_NumberToBuf32(&zero.n, 9, z);
    for (uint8_t b : z) EXPECT_EQ(b, 0);
    EXPECT_EQ(BIGI_BytesInNumber32(&zero.n), 0);
    EXPECT_EQ(BIGI_BufToNumber32(z, 0, &zero.n), 0);
    EXPECT_EQ(zero.n.len, 0);
    Num none(0);
    EXPECT_EQ(BIGI_BufToNumber32(z, 1, &none.n), BIGI_E_BUF);
    EXPECT_TRUE(none.guard_intact());
}

TEST(Bigi, CompareNormaliseCopy) {
    Random rnd(2);
    for (int i = 0; i < 300; i++) {
        Num a, b;
        rnd.fill(a, rnd.below(6));
        if (i % 3) rnd.fill(b, rnd.below(6));
        else BIGI_Dup32(&a.n, &b.n), b.n.w[b.n.len ? rnd.below(b.n.len) : 0] ^= i % 2;
        BIGI_Norm32(&b.n);
        int c = BN_cmp(to_bn(a.n).get(), to_bn(b.n).get());
        EXPECT_EQ(BIGI_LT32(&a.n, &b.n), c < 0);
        EXPECT_EQ(BIGI_LE32(&a.n, &b.n), c <= 0);
        EXPECT_EQ(BIGI_EQ32(&a.n, &b.n), c == 0);
        EXPECT_EQ(BIGI_NE32(&a.n, &b.n), c != 0);
        EXPECT_EQ(BIGI_GE32(&a.n, &b.n), c >= 0);
        EXPECT_EQ(BIGI_GT32(&a.n, &b.n), c > 0);
    }
    uint32_t w[4] = {1, 0, 0, 0};
    BIGI_Num n;
    BIGI_Point32(&n, w, 4);
    EXPECT_EQ(n.len, 0);
    EXPECT_TRUE(BIGI_Iszero32(&n));
    n.len = 4;
    BIGI_Norm32(&n);
    EXPECT_EQ(n.len, 1);
    EXPECT_TRUE(BIGI_Isone32(&n));
    w[1] = 1;
    n.len = 2;
    EXPECT_FALSE(BIGI_Isone32(&n));

    Num small(1);
    EXPECT_EQ(BIGI_Dup32(&n, &small.n), BIGI_E_DUP);
    EXPECT_TRUE(small.guard_intact());
    Num big(2);
    EXPECT_EQ(BIGI_Dup32(&n, &big.n), 0);
    EXPECT_EQ(big.words(), std::vector<uint32_t>({1, 1}));
}

TEST(Bigi, Shifts) {
    Random rnd(3);
    for (int i = 0; i < 400; i++) {
        Num a, l, r;
        unsigned len = rnd.below(129), bits = i < 64 ? i % 32 : rnd.below(32);
        rnd.fill(a, len);
        Bn x = to_bn(a.n), y(BN_new());
        ASSERT_EQ(BIGI_ShiftL32(&a.n, &l.n, bits), 0);
        BN_lshift(y.get(), x.get(), bits);
        ASSERT_TRUE(same(l.n, y.get())) << len << " << " << bits;
        ASSERT_EQ(BIGI_ShiftR32(&a.n, &r.n, bits), 0);
        BN_rshift(y.get(), x.get(), bits);
        ASSERT_TRUE(same(r.n, y.get())) << len << " >> " << bits;
        ASSERT_EQ(BIGI_ShiftL32(&a.n, &a.n, bits), 0);  // in place
        EXPECT_EQ(a.words(), l.words());
    }
    Num a(3), out(2);
    a.n.w[0] = 5, a.n.w[1] = 0x80000001, a.n.len = 2;
    EXPECT_EQ(BIGI_ShiftL32(&a.n, &out.n, 0), 0);
    EXPECT_EQ(out.words(), a.words());
    EXPECT_EQ(BIGI_ShiftR32(&a.n, &out.n, 0), 0);
    EXPECT_EQ(BIGI_ShiftL32(&a.n, &out.n, 32), BIGI_E_SHIFTL_BITS);
    EXPECT_EQ(BIGI_ShiftR32(&a.n, &out.n, 32), BIGI_E_SHIFTR_BITS);
    EXPECT_EQ(BIGI_ShiftL32(&a.n, &out.n, 1), BIGI_E_SHIFTL);  // needs a third word
    EXPECT_EQ(BIGI_ShiftL32(&a.n, &a.n, 31), 0);
    EXPECT_EQ(a.words(), std::vector<uint32_t>({0x80000000, 0x80000002, 0x40000000}));
    Num one(1);
    EXPECT_EQ(BIGI_ShiftR32(&a.n, &one.n, 31), BIGI_E_SHIFTR);
    EXPECT_TRUE(out.guard_intact() && one.guard_intact() && a.guard_intact());
}

TEST(Bigi, Multiply) {
    Random rnd(4);
    Ctx bn;
    for (int i = 0; i < 300; i++) {
        Num a, b, p(129);
        unsigned al = rnd.below(129), bl = rnd.below(130 - al);
        if (i < 10) al = i % 2 ? 0 : 64, bl = i % 2 ? 65 : 65;
        rnd.fill(a, al);
        rnd.fill(b, bl);
        Bn y(BN_new());
        BN_mul(y.get(), to_bn(a.n).get(), to_bn(b.n).get(), bn.c);
        ASSERT_EQ(BIGI_Mul32(&a.n, &b.n, &p.n), 0) << al << "x" << bl;
        ASSERT_TRUE(same(p.n, y.get())) << al << "x" << bl;
        ASSERT_EQ(BIGI_Mul32(&a.n, &b.n, &a.n), 0);  // into an operand
        EXPECT_EQ(a.words(), p.words());
    }
    // 65 + 65 words: over the 129-word product, refused before any write.
    Num a, b, p(200);
    rnd.fill(a, 65);
    rnd.fill(b, 65);
    p.n.len = 3;
    EXPECT_EQ(BIGI_Mul32(&a.n, &b.n, &p.n), BIGI_E_MUL);
    EXPECT_EQ(p.n.len, 3);
    EXPECT_EQ(p.storage[0], 0x5A5A5A5Au);
    b.n.len = 64;
    Num small(128);
    a.n.w[64] = b.n.w[63] = 0xFFFFFFFF;  // the product takes all 129 words
    EXPECT_EQ(BIGI_Mul32(&a.n, &b.n, &small.n), BIGI_E_MUL);
    EXPECT_TRUE(small.guard_intact());
}

// q and r of a / b through the given division, against BN_div.
void check_div(int (*div)(const BIGI_Num*, const BIGI_Num*, BIGI_Num*, BIGI_Num*), Num& a, Num& b, Ctx& bn) {
    Num q, r;
    Bn eq(BN_new()), er(BN_new());
    BN_div(eq.get(), er.get(), to_bn(a.n).get(), to_bn(b.n).get(), bn.c);
    ASSERT_EQ(div(&a.n, &b.n, &q.n, &r.n), 0) << a.n.len << "/" << b.n.len;
    ASSERT_TRUE(same(q.n, eq.get())) << kvxtest::hex(a.n) << " / " << kvxtest::hex(b.n);
    ASSERT_TRUE(same(r.n, er.get())) << kvxtest::hex(a.n) << " % " << kvxtest::hex(b.n);
    Num q2, r2;  // each result alone
    ASSERT_EQ(div(&a.n, &b.n, &q2.n, nullptr), 0);
    ASSERT_EQ(div(&a.n, &b.n, nullptr, &r2.n), 0);
    EXPECT_EQ(q2.words(), q.words());
    EXPECT_EQ(r2.words(), r.words());
}

TEST(Bigi, Divide) {
    Random rnd(5);
    Ctx bn;
    for (int i = 0; i < 400; i++) {
        Num a, b;
        unsigned bl = 1 + rnd.below(i % 4 ? 65 : 2), al = rnd.below(129);
        rnd.fill(a, al);
        rnd.fill(b, bl);
        check_div(BIGI_Div32, a, b, bn);
        check_div(bl == 1 ? BIGI_Div132 : BIGI_Div232, a, b, bn);
    }
    // Dividend below divisor: remainder the dividend, quotient zero.
    Num a, b, q, r(1);
    rnd.fill(a, 2);
    rnd.fill(b, 3);
    q.n.len = 7;
    EXPECT_EQ(BIGI_Div32(&a.n, &b.n, &q.n, nullptr), 0);
    EXPECT_EQ(q.n.len, 0);
    EXPECT_EQ(BIGI_Div32(&a.n, &b.n, &q.n, &r.n), BIGI_E_DIV);
    EXPECT_TRUE(r.guard_intact());

    Num zero;
    EXPECT_EQ(BIGI_Div32(&a.n, &zero.n, &q.n, &r.n), BIGI_E_DIVZERO);
    EXPECT_EQ(BIGI_Div132(&a.n, &zero.n, &q.n, &r.n), BIGI_E_DIVZERO);
    EXPECT_EQ(BIGI_Div232(&a.n, &zero.n, &q.n, &r.n), BIGI_E_DIVZERO);
    EXPECT_EQ(BIGI_DivSmall32(&a.n, 0x100, &q.n, nullptr), BIGI_E_DIVZERO);
}

TEST(Bigi, DivisionRefusesWhatDoesNotFit) {
    Random rnd(6);
    Num a(140), b(70), q(140), r(70);
    rnd.fill(a, 129);  // over the 129-word shifted-dividend temporary
    rnd.fill(b, 2);
    EXPECT_EQ(BIGI_Div232(&a.n, &b.n, &q.n, &r.n), BIGI_E_DIV2);
    EXPECT_EQ(BIGI_Div32(&a.n, &b.n, &q.n, &r.n), BIGI_E_DIV2);
    rnd.fill(a, 128);
    rnd.fill(b, 66);  // over the 65-word divisor temporary
    EXPECT_EQ(BIGI_Div232(&a.n, &b.n, &q.n, &r.n), BIGI_E_DIV2);

    // Quotient or remainder destinations too small.
    rnd.fill(b, 3);
    Num q_small(124), r_small(2);
    EXPECT_EQ(BIGI_Div232(&a.n, &b.n, &q_small.n, nullptr), BIGI_E_DIV2);
    b.n.w[2] = 1, b.n.w[1] = 0xFFFFFFFF;
    EXPECT_EQ(BIGI_Div232(&a.n, &b.n, nullptr, &r_small.n), BIGI_E_DIV2);
    rnd.fill(b, 1);
    b.n.w[0] = 3;
    EXPECT_EQ(BIGI_Div132(&a.n, &b.n, &q_small.n, nullptr), BIGI_E_DIV1);
    EXPECT_EQ(BIGI_DivSmall32(&a.n, 3, &q_small.n, nullptr), BIGI_E_DIV1);
    Num r_none(0);
    b.n.w[0] = 0xFFFFFFFF;
    EXPECT_EQ(BIGI_Div132(&a.n, &b.n, nullptr, &r_none.n), BIGI_E_DIV1);
    for (Num* n : {&q, &r, &q_small, &r_small, &r_none}) EXPECT_TRUE(n->guard_intact());

    // A quotient as long as the dividend less the divisor fits when the
    // division's extra top word comes out 0, and not otherwise.
    Num a2, b2, q2(1), r2;
    a2.n.w[0] = 5, a2.n.w[1] = 7, a2.n.w[2] = 1, a2.n.len = 3;
    b2.n.w[0] = 9, b2.n.w[1] = 8, b2.n.len = 2;
    EXPECT_EQ(BIGI_Div232(&a2.n, &b2.n, &q2.n, &r2.n), 0);
    EXPECT_EQ(q2.words(), std::vector<uint32_t>({0x20000000}));
    b2.n.w[1] = 1;
    b2.n.w[0] = 1;
    a2.n.w[2] = 9;
    EXPECT_EQ(BIGI_Div232(&a2.n, &b2.n, &q2.n, &r2.n), BIGI_E_DIV2);
    EXPECT_TRUE(q2.guard_intact());
}

TEST(Bigi, DivideBySmall) {
    Random rnd(7);
    for (int i = 0; i < 200; i++) {
        Num a, q;
        rnd.fill(a, rnd.below(129));
        unsigned divisor = 1 + rnd.below(0xFFFF);
        if (!(divisor & 0xFF)) divisor |= 1;
        uint8_t rem = 0xEE;
        Bn x = to_bn(a.n);
        BN_ULONG want = BN_div_word(x.get(), divisor & 0xFF);  // only the low 8 bits count
        ASSERT_EQ(BIGI_DivSmall32(&a.n, divisor, &q.n, &rem), 0);
        ASSERT_TRUE(same(q.n, x.get()));
        EXPECT_EQ(rem, want);
        ASSERT_EQ(BIGI_DivSmall32(&a.n, divisor, &a.n, nullptr), 0);  // in place
        EXPECT_EQ(a.words(), q.words());
    }
}

TEST(Bigi, ModularProductsAndPowers) {
    Random rnd(8);
    Ctx bn;
    for (int i = 0; i < 120; i++) {
        Num a, b, m, out;
        unsigned ml = 1 + rnd.below(65);
        rnd.fill(m, ml);
        rnd.fill(a, rnd.below(ml + 1));
        rnd.fill(b, rnd.below(ml + 1));
        Bn want(BN_new());
        BN_mod_mul(want.get(), to_bn(a.n).get(), to_bn(b.n).get(), to_bn(m.n).get(), bn.c);
        ASSERT_EQ(BIGI_MulMod32(&a.n, &b.n, &m.n, &out.n), 0);
        ASSERT_TRUE(same(out.n, want.get()));
        BN_mod_sqr(want.get(), to_bn(a.n).get(), to_bn(m.n).get(), bn.c);
        ASSERT_EQ(BIGI_SqrMod32(&a.n, &m.n, &out.n), 0);
        ASSERT_TRUE(same(out.n, want.get()));

        if (i % 4) continue;
        Num e;
        rnd.fill(e, i == 0 ? 32 : rnd.below(3));  // one 1024-bit exponent, the rest short
        if (i == 0) rnd.fill(m, 32), rnd.fill(a, 31);
        ASSERT_EQ(BIGI_ExpModP32(&a.n, &e.n, &m.n, &out.n, &BIG_ProgressQuiet), 0);
        BN_mod_exp(want.get(), to_bn(a.n).get(), to_bn(e.n).get(), to_bn(m.n).get(), bn.c);
        if (!e.n.len) BN_one(want.get());  // 1, not reduced
        ASSERT_TRUE(same(out.n, want.get())) << "exponent words " << e.n.len;
    }
    // A zero exponent gives 1 even modulo 1; a zero modulus is a division by zero.
    Num a, e, m, out;
    rnd.fill(a, 3);
    m.n.w[0] = 1, m.n.len = 1;
    EXPECT_EQ(BIGI_ExpModP32(&a.n, &e.n, &m.n, &out.n, nullptr), 0);
    EXPECT_TRUE(BIGI_Isone32(&out.n));
    e.n.w[0] = 1, e.n.len = 1;
    EXPECT_EQ(BIGI_ExpModP32(&a.n, &e.n, &m.n, &out.n, nullptr), 0);
    EXPECT_TRUE(BIGI_Iszero32(&out.n));
    m.n.len = 0;
    EXPECT_EQ(BIGI_ExpModP32(&a.n, &e.n, &m.n, &out.n, nullptr), BIGI_E_DIVZERO);
    // Operands whose product exceeds the 129-word temporary.
    Num big;
    rnd.fill(big, 65);
    rnd.fill(a, 65);
    rnd.fill(m, 129);
    EXPECT_EQ(BIGI_MulMod32(&a.n, &big.n, &m.n, &out.n), BIGI_E_MUL);
}

// The countdown of a 64-word modulus (16 units an operation) over a 64-bit
// exponent of all ones (128 operations): 64 calls, from 64 down to 1.
TEST(Bigi, ExponentiationProgress) {
    struct Recorder {
        BIG_Progress p;
        std::vector<int> calls;
    } rec = {{[](const BIG_Progress* self, int c) {
                 ((Recorder*)self)->calls.push_back(c);
                 return 0;
             }},
             {}};
    Random rnd(9);
    Num base, e, m, out;
    rnd.fill(m, 64);
    rnd.fill(base, 10);
    e.n.w[0] = e.n.w[1] = 0xFFFFFFFF, e.n.len = 2;
    ASSERT_EQ(BIGI_ExpModP32(&base.n, &e.n, &m.n, &out.n, &rec.p), 0);
    ASSERT_EQ(rec.calls.size(), 64u);
    for (int i = 0; i < 64; i++) EXPECT_EQ(rec.calls[i], 64 - i);
}

TEST(Bigi, ByteHelpers) {
    const uint8_t x[5] = {1, 2, 3, 4, 5}, y[5] = {0xFF, 0, 0xF0, 4, 1};
    uint8_t out[5];
    BIG_memxor(out, x, y, 5);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 5), std::vector<uint8_t>({0xFE, 2, 0xF3, 0, 4}));
    BIG_memrev(out, x, 5);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 5), std::vector<uint8_t>({5, 4, 3, 2, 1}));
    BIG_memrev(out, out, 4);  // in place
    EXPECT_EQ(std::vector<uint8_t>(out, out + 5), std::vector<uint8_t>({2, 3, 4, 5, 1}));
}

}  // namespace
