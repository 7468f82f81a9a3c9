// libkvx's hashes: SHA-1 against OpenSSL however the data is cut between
// BIG_HashData and BIG_HashByte, SHA-0 against its published vectors, the
// result beyond the digest, and descriptors the context cannot hold.
// OpenSSL's SHA_CTX, whose bit count a test sets, is a deprecated interface.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <stddef.h>

#include "kvx_testing.h"

namespace {

using Bytes = std::vector<uint8_t>;

using kvxtest::openssl_sha1;

Bytes finish(BIG_HashCtx& ctx, unsigned len = 20) {
    Bytes out(len);
    EXPECT_EQ(BIG_HashRes(&ctx, out.data(), len), (int)len);
    return out;
}

std::string hex(const Bytes& b) {
    std::string s;
    char x[3];
    for (uint8_t c : b) snprintf(x, sizeof x, "%02x", c), s += x;
    return s;
}

// The context's layout is part of the interface: the state follows the block buffer.
static_assert(offsetof(BIG_HashCtx, state) == offsetof(BIG_HashCtx, buf) + BIG_HASH_BLOCK_MAX, "layout");

TEST(Hash, Sha1AgainstOpenSslEverySplit) {
    kvxtest::Random rnd(11);
    for (size_t len = 0; len <= 200; len++) {
        Bytes d = rnd.bytes(len), want = openssl_sha1(d);
        Bytes one(20);
        ASSERT_EQ(BIGsha1(one.data(), 20, d.data(), (uint32_t)len), 20);
        ASSERT_EQ(one, want) << len;
        if (len > 140) continue;
        // Every cut: the head in one call, the rest byte by byte.
        for (size_t cut = 0; cut <= len; cut++) {
            BIG_HashCtx ctx;
            BIG_HashInitSHA1(&ctx);
            BIG_HashData(&ctx, d.data(), (uint32_t)cut);
            for (size_t i = cut; i < len; i++) BIG_HashByte(&ctx, d[i]);
            ASSERT_EQ(ctx.total, len);
            ASSERT_EQ(finish(ctx), want) << len << " cut at " << cut;
            ASSERT_EQ(ctx.total, len);  // left as it was before the padding
        }
    }
    // A large buffer in random pieces, the verify entry points' way.
    Bytes big = rnd.bytes((1 << 20) + 77), want = openssl_sha1(big);
    BIG_HashCtx ctx;
    KVXQxelVerSignStart(&ctx);
    for (size_t at = 0; at < big.size();) {
        size_t n = std::min(big.size() - at, (size_t)rnd.below(300));
        if (n == 1) KVXQxelVerSignByte(&ctx, big[at]);
        else KVXQxelVerSignBuffer(&ctx, big.data() + at, (uint32_t)n);
        at += n;
    }
    EXPECT_EQ(finish(ctx), want);
}

// The bit length's high word counts from 512 MiB on: the context's byte
// count set as if that much had gone through, against OpenSSL's context
// with the same count.
TEST(Hash, BitLengthHighWord) {
    const Bytes tail = {'t', 'a', 'i', 'l'};
    for (uint32_t skipped : {0x20000000u, 0x7FFFFFC0u, 0xFFFFFF80u}) {  // whole blocks
        BIG_HashCtx ctx;
        BIG_HashInitSHA1(&ctx);
        ctx.total = skipped;
        BIG_HashData(&ctx, tail.data(), 4);
        SHA_CTX o;
        SHA1_Init(&o);
        const uint64_t bits = (uint64_t)skipped * 8;
        o.Nl = (SHA_LONG)bits;
        o.Nh = (SHA_LONG)(bits >> 32);
        SHA1_Update(&o, tail.data(), 4);
        Bytes want(20);
        SHA1_Final(want.data(), &o);
        EXPECT_EQ(finish(ctx), want) << std::hex << skipped;
    }
}

TEST(Hash, Int32IsBigEndian) {
    const Bytes d = {0x12, 0x34, 0x56, 0x78, 0x9A};
    BIG_HashCtx ctx;
    BIG_HashInitSHA1(&ctx);
    BIG_HashInt32(&ctx, 0x12345678);
    BIG_HashByte(&ctx, 0x9A);
    EXPECT_EQ(finish(ctx), openssl_sha1(d));
}

TEST(Hash, Sha0PublishedVectors) {
    const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    Bytes out(20);
    BIGsha0(out.data(), 20, (const uint8_t*)"abc", 3);
    EXPECT_EQ(hex(out), "0164b8a914cd2a5e74c4f7ff082c4d97f1edf880");
    BIGsha0(out.data(), 20, (const uint8_t*)two_blocks.data(), (uint32_t)two_blocks.size());
    EXPECT_EQ(hex(out), "d2516ee1acfa5baf33dfc1c471e438449ef134c8");
    Bytes million(1000000, 'a');
    BIG_HashCtx ctx;
    BIG_HashInitSHA0(&ctx);
    BIG_HashData(&ctx, million.data(), 999999);
    BIG_HashByte(&ctx, 'a');
    EXPECT_EQ(hex(finish(ctx)), "3232affa48628a26653b5aaa44541fd90d690603");
}

TEST(Hash, ResultBeyondTheDigestAndFold) {
    const Bytes d = {'a', 'b', 'c'};
    Bytes want = openssl_sha1(d);
    Bytes out(24, 0xEE);
    EXPECT_EQ(BIGsha1(out.data(), 24, d.data(), 3), 24);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 20), want);
    EXPECT_EQ(Bytes(out.begin() + 20, out.end()), Bytes(4, 0));
    Bytes head(8);
    EXPECT_EQ(BIGsha1(head.data(), 8, d.data(), 3), 8);
    EXPECT_EQ(head, Bytes(want.begin(), want.begin() + 8));

    EXPECT_EQ(BIG_SHA1hashFunc.digest_size, 20);
    EXPECT_EQ(BIG_SHA1hashFunc.block_size, 64);
    EXPECT_EQ(BIG_SHA1hashFunc.fold, nullptr);
    Bytes digest(20), folded(8);
    for (int i = 0; i < 20; i++) digest[i] = (uint8_t)(1u << (i % 8)) ^ (uint8_t)(i * 16);
    BIG_SHA0hashFunc.fold(folded.data(), digest.data());
    const int runs[8][3] = {{0, 1, 2},    {3, 4, -1},   {5, 6, -1},   {7, 8, 9},
                            {10, 11, -1}, {12, 13, 14}, {15, 16, 17}, {18, 19, -1}};
    for (int i = 0; i < 8; i++) {
        uint8_t x = 0;
        for (int j : runs[i])
            if (j >= 0) x ^= digest[j];
        EXPECT_EQ(folded[i], x) << i;
    }
}

TEST(Hash, DescriptorsTheContextCannotHold) {
    BIG_HashFunc big = BIG_SHA1hashFunc;
    big.block_size = BIG_HASH_BLOCK_MAX + 1;
    BIG_HashCtx ctx;
    EXPECT_EQ(BIGI_HashInit(&ctx, &big), BIG_E_HASHFUNC);
    Bytes data(200, 1), out(4, 0xEE);
    BIG_HashData(&ctx, data.data(), 200);  // refused context: nothing happens
    EXPECT_EQ(BIG_HashRes(&ctx, out.data(), 4), 0);
    EXPECT_EQ(out, Bytes(4, 0xEE));
    BIG_HashFunc zero = BIG_SHA1hashFunc, no_block = BIG_SHA1hashFunc;
    zero.block_size = 0;
    no_block.block = nullptr;
    EXPECT_EQ(BIGI_HashInit(&ctx, &zero), BIG_E_HASHFUNC);
    EXPECT_EQ(BIGI_HashInit(&ctx, &no_block), BIG_E_HASHFUNC);
    EXPECT_EQ(BIGI_HashInit(&ctx, nullptr), BIG_E_HASHFUNC);

    // A caller's descriptor works through the same interface; SHA-1's
    // functions under a smaller block size end and stay in bounds.
    BIG_HashFunc copy = BIG_SHA1hashFunc;
    ASSERT_EQ(BIGI_HashInit(&ctx, &copy), 0);
    BIG_HashData(&ctx, data.data(), 200);
    EXPECT_EQ(finish(ctx), openssl_sha1(data));
    copy.block_size = 32;
    ASSERT_EQ(BIGI_HashInit(&ctx, &copy), 0);
    BIG_HashData(&ctx, data.data(), 33);
    finish(ctx);
}

}  // namespace
