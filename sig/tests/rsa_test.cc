// libkvx's RSA layer: the two encodings against hand-built ones, and
// signature checks against signatures OpenSSL makes with keys the openssl
// command makes, including what an attacker would try: s + n, a wrong
// length, one changed padding byte, and a cube-root forgery for exponent 3.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include "kvx_testing.h"
#include "stack_probe.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kvxtest::Bn;
using kvxtest::KeyPair;

const Bytes kDigestInfo = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14};

Bytes reversed(Bytes b) {
    std::reverse(b.begin(), b.end());
    return b;
}

// The PKCS #1 v1.5 SHA-1 encoding, most significant byte first.
Bytes pkcs1(size_t len, const Bytes& digest) {
    Bytes v = {0x00, 0x01};
    v.insert(v.end(), len - digest.size() - 18, 0xFF);
    v.push_back(0x00);
    v.insert(v.end(), kDigestInfo.begin(), kDigestInfo.end());
    v.insert(v.end(), digest.begin(), digest.end());
    return v;
}

Bytes sha1(const Bytes& d) { return kvxtest::openssl_sha1(d); }

TEST(Rsa, Padding) {
    Bytes digest(20);
    for (int i = 0; i < 20; i++) digest[i] = (uint8_t)(0xA0 + i);
    for (uint32_t len : {128u, 38u}) {  // 38 = digest + 18: no 0xFF at all
        Bytes out(len + 1, 0xEE);
        ASSERT_EQ(BIG_RSAPadSignature(1, out.data(), len, digest.data(), 20), 0);
        EXPECT_EQ(Bytes(out.begin(), out.end() - 1), reversed(pkcs1(len, digest))) << len;
        EXPECT_EQ(out[len], 0xEE);
    }
    Bytes out(64, 0xEE);
    EXPECT_EQ(BIG_RSAPadSignature(1, out.data(), 37, digest.data(), 20), BIG_E_PADSHORT);
    EXPECT_EQ(out, Bytes(64, 0xEE));

    for (uint32_t len : {64u, 24u}) {  // 24 = digest + 4: no 0xBB
        Bytes want = {0x6B};
        want.insert(want.end(), len - 24, 0xBB);
        want.push_back(0xBA);
        want.insert(want.end(), digest.begin(), digest.end());
        want.push_back(0x33);
        want.push_back(0xCC);
        Bytes out0(len);
        ASSERT_EQ(BIG_RSAPadSignature(0, out0.data(), len, digest.data(), 20), 0);
        EXPECT_EQ(out0, reversed(want)) << len;
    }
    EXPECT_EQ(BIG_RSAPadSignature(0, out.data(), 23, digest.data(), 20), BIG_E_PADSHORT);
    EXPECT_EQ(BIG_RSAPadSignature(2, out.data(), 64, digest.data(), 20), BIG_E_PADTYPE);
    EXPECT_EQ(BIG_RSAPadSignature(-1, out.data(), 64, digest.data(), 20), BIG_E_PADTYPE);
    EXPECT_EQ(out, Bytes(64, 0xEE));
}

TEST(Rsa, ExpModPOnByteStrings) {
    kvxtest::Random rnd(21);
    BN_CTX* bn = BN_CTX_new();
    for (int i = 0; i < 12; i++) {
        Bytes m = rnd.bytes(1 + rnd.below(256)), b = rnd.bytes(rnd.below(257)), e = rnd.bytes(rnd.below(4));
        m.back() |= 0x80;
        size_t out_len = m.size() + (i % 3) - 1;  // one short, exact, one over
        Bytes out(out_len + 1, 0xEE);
        ASSERT_EQ(BIG_ExpModP(m.data(), m.size(), b.data(), b.size(), e.data(), e.size(), out.data(), out_len,
                              &BIG_ProgressQuiet),
                  0);
        Bn want(BN_new());
        BN_mod_exp(want.get(), kvxtest::bn_from_le(b).get(), kvxtest::bn_from_le(e).get(), kvxtest::bn_from_le(m).get(),
                   bn);
        if (BN_is_zero(kvxtest::bn_from_le(e).get())) BN_one(want.get());
        Bytes w(m.size() + 1);
        BN_bn2lebinpad(want.get(), w.data(), (int)w.size());
        EXPECT_EQ(Bytes(out.begin(), out.end() - 1), Bytes(w.begin(), w.begin() + out_len)) << i;
        EXPECT_EQ(out.back(), 0xEE);
    }
    BN_CTX_free(bn);
    // Strings over 260 bytes are not converted; a modulus or a base over 256
    // bytes is converted, and the arithmetic refuses it.
    Bytes m(261), b(261), e = {0x83}, out(4);
    for (unsigned i = 0; i < 261; i++) m[i] = (uint8_t)(0xA5 ^ i), b[i] = (uint8_t)(0x5A ^ (i * 3));
    EXPECT_EQ(BIG_ExpModP(m.data(), 261, b.data(), 1, e.data(), 1, out.data(), 4, nullptr), BIGI_E_BUF);
    EXPECT_EQ(BIG_ExpModP(m.data(), 4, b.data(), 261, e.data(), 1, out.data(), 4, nullptr), BIGI_E_BUF);
    m[256] = 0xF0;
    EXPECT_EQ(BIG_ExpModP(m.data(), 257, b.data(), 128, e.data(), 1, out.data(), 4, nullptr), BIGI_E_MUL);
    m[255] = 0xF0, b[256] = 0xFF;
    EXPECT_EQ(BIG_ExpModP(m.data(), 256, b.data(), 257, e.data(), 1, out.data(), 4, nullptr), BIGI_E_DIV2);
}

// Keys made as the tests first need them (each test runs in a process of its own).
class Verify : public testing::Test {
protected:
    enum { k1024e3, k1024e17, k2048e3, kKeys };
    static const KeyPair& key(int i) {
        static std::unique_ptr<KeyPair> keys[kKeys];
        if (!keys[i]) keys[i] = kvxtest::make_key(i == k2048e3 ? 2048 : 1024, i == k1024e17 ? 17 : 3);
        return *keys[i];
    }
};

TEST_F(Verify, OpenSslSignaturesAndTamperedOnes) {
    kvxtest::Random rnd(22);
    for (int k = 0; k < kKeys; k++) {
        const KeyPair* key = &Verify::key(k);
        const KVX_PublicKey pub = key->pub();
        const uint32_t len = pub.modulus_len;
        Bytes data = rnd.bytes(1000 + rnd.below(1000)), sig = kvxtest::sign(*key, data);
        SCOPED_TRACE(testing::Message() << len * 8 << "-bit key, exponent " << (int)pub.exponent[0]);
        EXPECT_EQ(KVXQxelVerSignature(&pub, data.data(), data.size(), sig.data(), len), 1);
        BIG_HashCtx ctx;  // streaming
        KVXQxelVerSignStart(&ctx);
        KVXQxelVerSignBuffer(&ctx, data.data(), 100);
        for (size_t i = 100; i < data.size(); i++) KVXQxelVerSignByte(&ctx, data[i]);
        EXPECT_EQ(KVXQxelVerSignResult(&ctx, &pub, sig.data(), len), 1);
        Bytes empty_sig = kvxtest::sign(*key, {});
        EXPECT_EQ(KVXQxelVerSignature(&pub, nullptr, 0, empty_sig.data(), len), 1);

        for (int flip = 0; flip < 8; flip++) {
            unsigned bit = rnd.below(len * 8);
            Bytes d = data, s = sig, m = key->modulus;
            d[rnd.below(d.size())] ^= 1 << (flip % 8);
            EXPECT_EQ(KVXQxelVerSignature(&pub, d.data(), d.size(), sig.data(), len), 0);
            s[bit / 8] ^= 1 << (bit % 8);
            EXPECT_EQ(KVXQxelVerSignature(&pub, data.data(), data.size(), s.data(), len), 0);
            m[bit / 8] ^= 1 << (bit % 8);
            KVX_PublicKey other = pub;
            other.modulus = m.data();
            EXPECT_EQ(KVXQxelVerSignature(&other, data.data(), data.size(), sig.data(), len), 0);
        }
        uint8_t e = pub.exponent[0] + 2;
        KVX_PublicKey other_e = pub;
        other_e.exponent = &e;
        EXPECT_EQ(KVXQxelVerSignature(&other_e, data.data(), data.size(), sig.data(), len), 0);

        // One byte more or less than the modulus.
        Bytes longer = sig;
        longer.push_back(0);
        EXPECT_EQ(KVXQxelVerSignature(&pub, data.data(), data.size(), longer.data(), len + 1), 0);
        EXPECT_EQ(KVXQxelVerSignature(&pub, data.data(), data.size(), sig.data(), len - 1), 0);
    }
}

// s + n is s modulo n: a check that reduced it first would accept it.
TEST_F(Verify, SignaturePlusModulus) {
    kvxtest::Random rnd(23);
    // A key whose modulus leaves room above it: a generated one may come
    // so close to 2^1024 that no s + n fits in its 128 bytes.
    std::unique_ptr<KeyPair> made = kvxtest::make_key(1024, 3);
    while (made->modulus.back() >= 0xC0) made = kvxtest::make_key(1024, 3);
    const KeyPair& key = *made;
    const KVX_PublicKey pub = key.pub();
    for (int tries = 0; tries < 64; tries++) {
        Bytes data = rnd.bytes(64), sig = kvxtest::sign(key, data);
        Bn s = kvxtest::bn_from_le(sig);
        BN_add(s.get(), s.get(), key.n.get());
        if (BN_num_bytes(s.get()) > (int)pub.modulus_len) continue;  // must still fit the length
        Bytes forged(pub.modulus_len);
        BN_bn2lebinpad(s.get(), forged.data(), (int)forged.size());
        EXPECT_EQ(KVXQxelVerSignature(&pub, data.data(), data.size(), sig.data(), pub.modulus_len), 1);
        EXPECT_EQ(KVXQxelVerSignature(&pub, data.data(), data.size(), forged.data(), pub.modulus_len), 0);
        EXPECT_EQ(KVXQxelVerSignature(&pub, data.data(), data.size(), key.modulus.data(), pub.modulus_len), 0);
        return;
    }
    FAIL() << "no signature with room for s + n";
}

TEST_F(Verify, EncodingWithOneChangedPaddingByte) {
    const KeyPair& key = Verify::key(k1024e17);
    const KVX_PublicKey pub = key.pub();
    const Bytes data = {'i', 'm', 'a', 'g', 'e'};
    Bytes em = pkcs1(pub.modulus_len, sha1(data));
    EXPECT_EQ(KVXQxelVerSignature(&pub, data.data(), data.size(), kvxtest::raw_sign(key, reversed(em)).data(),
                                  pub.modulus_len),
              1);
    for (size_t at : {2, 50, 107}) {  // 0xFF bytes of the padding
        Bytes bad = em;
        bad[at] = 0xFE;
        EXPECT_EQ(KVXQxelVerSignature(&pub, data.data(), data.size(), kvxtest::raw_sign(key, reversed(bad)).data(),
                                      pub.modulus_len),
                  0)
            << at;
    }
}

// Bleichenbacher's forgery for exponent 3: the cube root of a value that
// starts with a valid-looking encoding (few 0xFF bytes, DigestInfo, digest)
// and carries garbage after it. Its cube begins right; only a check of the
// whole encoded message turns it away.
TEST_F(Verify, CubeRootForgery) {
    const KeyPair& key = Verify::key(k2048e3);
    const KVX_PublicKey pub = key.pub();
    ASSERT_EQ(pub.exponent[0], 3);
    const Bytes data = {'f', 'o', 'r', 'g', 'e', 'd'};
    Bytes prefix = {0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    prefix.insert(prefix.end(), kDigestInfo.begin(), kDigestInfo.end());
    Bytes digest = sha1(data);
    prefix.insert(prefix.end(), digest.begin(), digest.end());
    Bytes target = prefix;
    target.resize(pub.modulus_len, 0xFF);  // the garbage: as large as it can be

    // The integer cube root of target, bit by bit from the top.
    Bn t(BN_bin2bn(target.data(), (int)target.size(), nullptr)), root(BN_new()), cube(BN_new());
    BN_CTX* bn = BN_CTX_new();
    for (int bit = BN_num_bits(t.get()) / 3 + 1; bit >= 0; bit--) {
        BN_set_bit(root.get(), bit);
        BN_sqr(cube.get(), root.get(), bn);
        BN_mul(cube.get(), cube.get(), root.get(), bn);
        if (BN_cmp(cube.get(), t.get()) > 0) BN_clear_bit(root.get(), bit);
    }
    BN_sqr(cube.get(), root.get(), bn);
    BN_mul(cube.get(), cube.get(), root.get(), bn);
    BN_CTX_free(bn);
    Bytes cube_be(pub.modulus_len);
    BN_bn2binpad(cube.get(), cube_be.data(), (int)cube_be.size());
    ASSERT_EQ(Bytes(cube_be.begin(), cube_be.begin() + prefix.size()), prefix) << "not a real forgery";
    ASSERT_NE(cube_be, pkcs1(pub.modulus_len, digest));

    Bytes forged(pub.modulus_len);
    BN_bn2lebinpad(root.get(), forged.data(), (int)forged.size());
    EXPECT_EQ(KVXQxelVerSignature(&pub, data.data(), data.size(), forged.data(), pub.modulus_len), 0);
}

TEST_F(Verify, KeysTheCheckRefuses) {
    const KeyPair& key = Verify::key(k1024e3);
    const Bytes data = {1, 2, 3};
    Bytes sig = kvxtest::sign(key, data);
    KVX_PublicKey pub = key.pub();
    EXPECT_EQ(KVXQxelVerSignature(nullptr, data.data(), 3, sig.data(), 128), 0);
    EXPECT_EQ(KVXQxelVerSignature(&pub, data.data(), 3, nullptr, 128), 0);
    KVX_PublicKey no_e = pub;
    no_e.exponent_len = 0;
    EXPECT_EQ(KVXQxelVerSignature(&no_e, data.data(), 3, sig.data(), 128), 0);
    Bytes long_e(261, 3);  // over BIG_ExpModP's 65 words
    KVX_PublicKey wide_e = {pub.modulus, 128, long_e.data(), 261};
    EXPECT_EQ(KVXQxelVerSignature(&wide_e, data.data(), 3, sig.data(), 128), 0);
    // Refused before any work: the context is left as it was, its digest not
    // taken (a check that went on would take it, valid or not).
    auto refused_untouched = [&](const KVX_PublicKey& k, const uint8_t* s, uint32_t len) {
        BIG_HashCtx ctx, before;
        memset(&ctx, 0, sizeof ctx);
        KVXQxelVerSignStart(&ctx);
        KVXQxelVerSignBuffer(&ctx, data.data(), 3);
        memcpy(&before, &ctx, sizeof ctx);
        return KVXQxelVerSignResult(&ctx, &k, s, len) == 0 && memcmp(&ctx, &before, sizeof ctx) == 0;
    };
    EXPECT_FALSE(refused_untouched(pub, sig.data(), 128));  // valid: the digest was taken
    EXPECT_TRUE(refused_untouched(pub, sig.data(), 127));
    // A modulus over 256 bytes (the check's buffers hold 256), even one whose
    // top bytes are zero below a signature that would pass the size test.
    Bytes m(257, 0), s(257, 0);
    std::copy(key.modulus.begin(), key.modulus.end(), m.begin());
    std::copy(sig.begin(), sig.end(), s.begin());
    KVX_PublicKey wide = {m.data(), 257, pub.exponent, 1};
    EXPECT_TRUE(refused_untouched(wide, s.data(), 257));
    wide.modulus_len = 129;  // a zero top byte is still a valid modulus length
    EXPECT_EQ(KVXQxelVerSignature(&wide, data.data(), 3, s.data(), 129), 0);  // 00 01 .. sits one byte too low
}

// The verification's stack, painted: the box gives it under 3 KB.
TEST(Rsa, VerificationStack) {
    static uint8_t mod[256], sig[256], e = 3;
    for (unsigned i = 0; i < 256; i++) mod[i] = (uint8_t)(i * 37 + 11), sig[i] = (uint8_t)(i * 91 + 5);
    mod[255] = 0xF0, sig[255] = 0x70;
    auto verify = [](void*) {
        static const uint8_t data[100] = {};
        KVX_PublicKey key = {mod, 256, &e, 1};
        KVXQxelVerSignature(&key, data, sizeof data, sig, 256);
    };
    verify(nullptr);  // the lazy binding's resolver runs on the stack the first time
    size_t used = kvxprobe::stack_used(verify, nullptr);
    RecordProperty("stack_bytes", (int)used);
    printf("stack of one verification: %zu bytes\n", used);
#if defined(KVX_STACK_LIMIT)
    EXPECT_LT(used, (size_t)KVX_STACK_LIMIT);
#elif defined(KVX_SANITIZED)
    printf("not checked: the sanitizers make frames of their own\n");
#else
    // The host's 64-bit frames, unoptimised or not, fit 4 KB: a second copy
    // of a 256-byte buffer or a 129-word temporary too many does not.
    EXPECT_LT(used, 4096u);
#endif
}

}  // namespace
