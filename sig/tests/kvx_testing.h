// What libkvx's tests share: numbers with their own storage and a guard word
// after it, conversions to and from OpenSSL's BIGNUM, random operands that
// favour the word values where carries and estimates go wrong, and OpenSSL
// key pairs.
#pragma once

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/evp.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "kvx.h"

namespace kvxtest {

const uint32_t kGuard = 0xDEADBEEF;

struct BnFree {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;

// A number of `cap` words followed by a guard word that no operation may touch.
struct Num {
    std::vector<uint32_t> storage;
    BIGI_Num n;

    explicit Num(unsigned cap = 130) : storage(cap + 1, 0x5A5A5A5A) {
        storage[cap] = kGuard;
        BIGI_Point32(&n, storage.data(), (uint16_t)cap);
    }
    Num(const Num&) = delete;
    bool guard_intact() const { return storage[n.cap] == kGuard; }
    std::vector<uint32_t> words() const { return {n.w, n.w + n.len}; }
};

inline std::vector<uint8_t> le_bytes(const BIGI_Num& a) {
    std::vector<uint8_t> b(a.len * 4u);
    for (size_t i = 0; i < b.size(); i++) b[i] = (uint8_t)(a.w[i / 4] >> (i % 4 * 8));
    return b;
}

inline Bn to_bn(const BIGI_Num& a) {
    auto b = le_bytes(a);
    return Bn(BN_lebin2bn(b.data(), (int)b.size(), nullptr));
}

inline Bn bn_from_le(const std::vector<uint8_t>& b) { return Bn(BN_lebin2bn(b.data(), (int)b.size(), nullptr)); }

// Sets a (capacity permitting) to the value of b, normalised.
inline void set(Num& a, const BIGNUM* b) {
    std::vector<uint8_t> bytes(a.n.cap * 4u);
    BN_bn2lebinpad(b, bytes.data(), (int)bytes.size());
    ASSERT_EQ(BIGI_BufToNumber32(bytes.data(), (uint32_t)bytes.size(), &a.n), 0);
}

inline std::string hex(const BIGNUM* b) {
    char* s = BN_bn2hex(b);
    std::string r(s);
    OPENSSL_free(s);
    return r;
}
inline std::string hex(const BIGI_Num& a) { return hex(to_bn(a).get()); }

// Whether the number equals the BIGNUM and is normalised.
inline testing::AssertionResult same(const BIGI_Num& a, const BIGNUM* b) {
    if (a.len && !a.w[a.len - 1]) return testing::AssertionFailure() << "not normalised: " << hex(a);
    if (BN_cmp(to_bn(a).get(), b)) return testing::AssertionFailure() << hex(a) << " != " << hex(b);
    return testing::AssertionSuccess();
}

class Random {
public:
    explicit Random(uint32_t seed) : rng_(seed) {}
    uint32_t word() {
        // A third of the words are 0, all ones or a lone top bit: the values
        // that drive the division's estimate corrections and add-backs.
        switch (rng_() % 9) {
        case 0: return 0;
        case 1: return 0xFFFFFFFF;
        case 2: return 0x80000000;
        default: return (uint32_t)rng_();
        }
    }
    unsigned below(unsigned n) { return n ? (unsigned)(rng_() % n) : 0; }
    // A normalised number of exactly `len` words.
    void fill(Num& a, unsigned len) {
        for (unsigned i = 0; i < len; i++) a.n.w[i] = word();
        if (len && !a.n.w[len - 1]) a.n.w[len - 1] = 1 + below(0xFFFFFFFE);
        a.n.len = (uint16_t)len;
    }
    std::vector<uint8_t> bytes(size_t n) {
        std::vector<uint8_t> b(n);
        for (auto& x : b) x = (uint8_t)rng_();
        return b;
    }

private:
    std::mt19937 rng_;
};

// An RSA key pair made by the openssl command line (fast even when the
// tests run emulated), with n, e and d as BIGNUMs.
struct KeyPair {
    EVP_PKEY* pkey = nullptr;
    Bn n, e, d;
    std::vector<uint8_t> modulus, exponent;  // little-endian, for KVX_PublicKey
    KVX_PublicKey pub() const {
        return {modulus.data(), (uint32_t)modulus.size(), exponent.data(), (uint32_t)exponent.size()};
    }
    ~KeyPair() { EVP_PKEY_free(pkey); }
};

// SHA-1 by OpenSSL.
inline std::vector<uint8_t> openssl_sha1(const std::vector<uint8_t>& d) {
    std::vector<uint8_t> out(20);
    EVP_Digest(d.data(), d.size(), out.data(), nullptr, EVP_sha1(), nullptr);
    return out;
}

std::unique_ptr<KeyPair> make_key(unsigned bits, unsigned exponent);
// PKCS #1 v1.5 SHA-1 signature by OpenSSL, little-endian.
std::vector<uint8_t> sign(const KeyPair& key, const std::vector<uint8_t>& data);
// x^d mod n as len little-endian bytes: a raw signature of an encoded message.
std::vector<uint8_t> raw_sign(const KeyPair& key, const std::vector<uint8_t>& em_le);

}  // namespace kvxtest
