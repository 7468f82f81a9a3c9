#include "kvx_testing.h"

#include <openssl/core_names.h>
#include <openssl/pem.h>

#include <algorithm>

#include "hostns/process.h"

namespace kvxtest {

namespace {

Bn param(EVP_PKEY* pkey, const char* name) {
    BIGNUM* b = nullptr;
    EXPECT_EQ(EVP_PKEY_get_bn_param(pkey, name, &b), 1) << name;
    return Bn(b);
}

std::vector<uint8_t> le(const BIGNUM* b, size_t len) {
    std::vector<uint8_t> out(len);
    BN_bn2lebinpad(b, out.data(), (int)len);
    return out;
}

}  // namespace

std::unique_ptr<KeyPair> make_key(unsigned bits, unsigned exponent) {
    auto r =
        hostns::run({"openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:" + std::to_string(bits),
                     "-pkeyopt", "rsa_keygen_pubexp:" + std::to_string(exponent)});
    EXPECT_EQ(r.status, 0) << r.err;
    BIO* bio = BIO_new_mem_buf(r.out.data(), (int)r.out.size());
    auto key = std::make_unique<KeyPair>();
    key->pkey = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    EXPECT_NE(key->pkey, nullptr);
    if (!key->pkey) return nullptr;
    key->n = param(key->pkey, OSSL_PKEY_PARAM_RSA_N);
    key->e = param(key->pkey, OSSL_PKEY_PARAM_RSA_E);
    key->d = param(key->pkey, OSSL_PKEY_PARAM_RSA_D);
    key->modulus = le(key->n.get(), BN_num_bytes(key->n.get()));
    key->exponent = le(key->e.get(), BN_num_bytes(key->e.get()));
    return key;
}

std::vector<uint8_t> sign(const KeyPair& key, const std::vector<uint8_t>& data) {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    std::vector<uint8_t> sig(key.modulus.size());
    size_t len = sig.size();
    EXPECT_EQ(EVP_DigestSignInit(md, nullptr, EVP_sha1(), nullptr, key.pkey), 1);
    EXPECT_EQ(EVP_DigestSign(md, sig.data(), &len, data.data(), data.size()), 1);
    EVP_MD_CTX_free(md);
    EXPECT_EQ(len, sig.size());
    std::reverse(sig.begin(), sig.end());
    return sig;
}

std::vector<uint8_t> raw_sign(const KeyPair& key, const std::vector<uint8_t>& em_le) {
    Bn m = bn_from_le(em_le), s(BN_new());
    BN_CTX* ctx = BN_CTX_new();
    EXPECT_EQ(BN_mod_exp(s.get(), m.get(), key.d.get(), key.n.get(), ctx), 1);
    BN_CTX_free(ctx);
    return le(s.get(), key.modulus.size());
}

}  // namespace kvxtest
