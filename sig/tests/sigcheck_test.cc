// sigcheck as a process, signed files made by the signing helper: the exact
// lines and exit statuses. The build provisions a second sigcheck with a
// key it generates (exponent 17), the way SIGCHECK_PUBLIC_KEY provisions a
// release; the key script is also run on keys made here.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

#include "hostns/process.h"
#include "hostns/tempdir.h"

namespace {

using hostns::RunOptions;
using hostns::RunResult;
using hostns::run;

const std::string kProvisioned = SIGCHECK_PROVISIONED;  // built with kProvisionedKey
const std::string kProvisionedKey = PROVISIONED_KEY;
const std::string kTestKey = TEST_KEY;  // the repository's
const std::string kSignImage = SIGN_IMAGE;

std::string sizes(int sig, int file) {
    char s[128];
    snprintf(s, sizeof s, "sz firma %d (0x%x)\nsz file %d (0x%x)\n", sig, sig, file, file);
    return s;
}

const std::string kValid = "VERIFICA CORRETTA\n", kInvalid = "VERIFICA NON CORRETTA\n";

class Sigcheck : public testing::Test {
protected:
    std::string file(const std::string& name, const std::string& content) { return dir_.write(name, content); }
    // Signs `data` with the helper; returns the signature file's path.
    std::string sign(const std::string& key, const std::string& data, const std::string& name = "sig") {
        auto r = run({kSignImage, key, data, dir_.file(name)});
        EXPECT_EQ(r.status, 0) << r.err;
        return dir_.file(name);
    }
    std::string new_key(const std::string& name, const std::string& opts) {
        auto r = run({"sh", "-c", "openssl genpkey -algorithm " + opts + " -out " + dir_.file(name) + " 2>/dev/null"});
        EXPECT_EQ(r.status, 0);
        return dir_.file(name);
    }
    std::string public_of(const std::string& key) {
        auto r = run({"openssl", "pkey", "-in", key, "-pubout", "-out", key + ".pub"});
        EXPECT_EQ(r.status, 0) << r.err;
        return key + ".pub";
    }
    static RunResult check(const std::string& data, const std::string& sig, const std::string& bin = kProvisioned,
                           const RunOptions& o = {}) {
        return run({bin, data, sig}, o);
    }
    hostns::TempDir dir_;
};

TEST_F(Sigcheck, SignedFilesAndTamperedOnes) {
    // Over three of the buffers the data file is read through, the last one
    // short; the change in the second.
    const int size = (200 << 10) + 77;
    std::string content(size, 'x');
    for (size_t i = 0; i < content.size(); i++) content[i] = (char)(i * 7 + i / 256);
    std::string data = file("image.tar.gz", content), sig = sign(kProvisionedKey, data);
    auto r = check(data, sig);
    EXPECT_EQ(r.out, sizes(128, size) + kValid);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);

    content[(64 << 10) + 1234] ^= 1;
    r = check(file("tampered", content), sig);
    EXPECT_EQ(r.out, sizes(128, size) + kInvalid);
    EXPECT_EQ(r.status, 1);

    // Signed by someone else: a key made now, and the repository's test key.
    r = check(data, sign(new_key("other.pem", "RSA -pkeyopt rsa_keygen_bits:1024 -pkeyopt rsa_keygen_pubexp:17"), data,
                         "other.sig"));
    EXPECT_EQ(r.out, sizes(128, size) + kInvalid);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(check(data, sign(kTestKey, data, "test.sig")).status, 1);
}

TEST_F(Sigcheck, DeliverableWithTheTestKey) {
#ifndef SIGCHECK_WITH_TEST_KEY
    GTEST_SKIP() << "sigcheck is provisioned with SIGCHECK_PUBLIC_KEY";
#else
    std::string data = file("d", "firmware");
    auto r = check(data, sign(kTestKey, data), SIGCHECK);
    EXPECT_EQ(r.out, sizes(128, 8) + kValid);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(check(data, sign(kProvisionedKey, data, "p.sig"), SIGCHECK).status, 1);
#endif
}

TEST_F(Sigcheck, EmptyFiles) {
    std::string empty = file("empty", ""), sig = sign(kProvisionedKey, empty);
    auto r = check(empty, sig);
    EXPECT_EQ(r.out, sizes(128, 0) + kValid);
    EXPECT_EQ(r.status, 0);
    r = check(empty, file("empty.sig", ""));
    EXPECT_EQ(r.out, sizes(0, 0) + kInvalid);
    EXPECT_EQ(r.status, 1);
}

TEST_F(Sigcheck, SignatureFileLengths) {
    std::string data = file("d", "payload\n"), sig = hostns::read_file(sign(kProvisionedKey, data));
    ASSERT_EQ(sig.size(), 128u);
    auto r = check(data, file("long.sig", sig + std::string(72, '\x5a')));  // only the first 128 count
    EXPECT_EQ(r.out, sizes(200, 8) + kValid);
    EXPECT_EQ(r.status, 0);
    r = check(data, file("short.sig", sig.substr(0, 127)));
    EXPECT_EQ(r.out, sizes(127, 8) + kInvalid);
    EXPECT_EQ(r.status, 1);
    // A signature file that is the modulus itself, or above it.
    r = check(data, file("zero.sig", std::string(128, '\xff')));
    EXPECT_EQ(r.out, sizes(128, 8) + kInvalid);
}

TEST_F(Sigcheck, UsageAndFilesThatCannotBeRead) {
    const std::string usage = "usage: sigcheck <data file> <signature file>\n";
    for (auto args : {std::vector<std::string>{kProvisioned}, {kProvisioned, "a"}, {kProvisioned, "a", "b", "c"}}) {
        auto r = run(args);
        EXPECT_EQ(r.err, usage);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 2);
    }
    std::string data = file("d", "x"), sig = sign(kProvisionedKey, data), missing = dir_.file("missing");
    auto r = check(data, missing);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, missing + ": No such file or directory\n");
    EXPECT_EQ(r.status, 2);
    r = check(missing, sig);
    EXPECT_EQ(r.out, "sz firma 128 (0x80)\n");
    EXPECT_EQ(r.err, missing + ": No such file or directory\n");
    EXPECT_EQ(r.status, 2);
    // A folder opens and seeks; it is no file to check.
    r = check(dir_.path(), sig);
    EXPECT_EQ(r.out, "sz firma 128 (0x80)\n");
    EXPECT_EQ(r.err, dir_.path() + ": Is a directory\n");
    EXPECT_EQ(r.status, 2);
    r = check(data, dir_.path());
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, dir_.path() + ": Is a directory\n");
    EXPECT_EQ(r.status, 2);
    // A pipe has no size: a failed open, not a malloc(-1).
    RunOptions piped;
    piped.input = "x";
    r = check("/dev/stdin", sig, kProvisioned, piped);
    EXPECT_EQ(r.err, "/dev/stdin: Illegal seek\n");
    EXPECT_EQ(r.status, 2);
}

// Memory limits for sigcheck: heap allocations over mib MiB fail.
RunOptions heap_limit(unsigned mib) {
    RunOptions o;
#ifdef SANITIZED
    // AddressSanitizer's allocator, told to fail a large allocation with null.
    const char* asan = getenv("ASAN_OPTIONS");
    o.env = {std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
             ":allocator_may_return_null=1:max_allocation_size_mb=" + std::to_string(mib)};
#else
    o.before_exec = [mib] {
        rlimit lim = {(rlim_t)mib << 20, (rlim_t)mib << 20};
        setrlimit(RLIMIT_DATA, &lim);
    };
#endif
    return o;
}

// A data file larger than the heap may grow is checked all the same: it is
// never held whole. The signature file is, and a large one fails.
TEST_F(Sigcheck, MallocAndReadErrors) {
    std::string small = file("d", "x"), sig = sign(kProvisionedKey, small);
    std::string big = dir_.write("big", "");
    ASSERT_EQ(truncate(big.c_str(), 24 << 20), 0);  // sparse: no disk used
    RunResult r;
#ifdef SIGCHECK_EMULATED
    printf("not checked: a 16 MiB limit would stop the emulator itself\n");
#else
    r = check(big, sig, kProvisioned, heap_limit(16));
    EXPECT_EQ(r.out, sizes(128, 24 << 20) + kInvalid);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 1);
#endif

    std::string huge = dir_.write("huge", "");
    ASSERT_EQ(truncate(huge.c_str(), 1 << 30), 0);
    r = check(small, huge, kProvisioned, heap_limit(256));
    EXPECT_EQ(r.out, "sz firma 1073741824 (0x40000000)\nMALLOC ERROR\n");
#ifdef SANITIZED
    EXPECT_NE(r.err.find("malloc: Cannot allocate memory\n"), std::string::npos) << r.err;  // after its warning
#else
    EXPECT_EQ(r.err, "malloc: Cannot allocate memory\n");
#endif
    EXPECT_EQ(r.status, 2);

    // A sysfs attribute claims a page and reads a few bytes.
    for (const char* attr : {"/sys/devices/system/cpu/online", "/sys/kernel/uevent_seqnum"}) {
        struct stat st;
        if (stat(attr, &st) || st.st_size != 4096) continue;
        r = check(attr, sig);
        EXPECT_EQ(r.out, sizes(128, 4096) + "READ ERROR\n");
        EXPECT_EQ(r.status, 2);
        return;
    }
    printf("not checked: no sysfs attribute to read here\n");
}

TEST_F(Sigcheck, SigningHelperRefusesOtherKeys) {
    std::string data = file("d", "x");
    auto r = run({kSignImage, new_key("k512.pem", "RSA -pkeyopt rsa_keygen_bits:512"), data, dir_.file("s")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("takes 1024-bit RSA keys"), std::string::npos) << r.err;
    EXPECT_EQ(run({kSignImage, data}).status, 2);
}

// The build step that turns SIGCHECK_PUBLIC_KEY into the key record.
TEST_F(Sigcheck, KeyRecordFromPem) {
    auto convert = [&](const std::string& pem) {
        return run({CMAKE_COMMAND, "-DPEM=" + pem, "-DOUT=" + dir_.file("key.h"), "-P", KVX_KEY_SCRIPT});
    };
    std::string key = new_key("k.pem", "RSA -pkeyopt rsa_keygen_bits:1024 -pkeyopt rsa_keygen_pubexp:17");
    auto r = convert(public_of(key));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string header = dir_.read("key.h");
    EXPECT_NE(header.find("kKeyExponent[1] = {17};"), std::string::npos) << header;
    // The modulus least significant byte first: openssl prints it the other way.
    std::string hex = run({"openssl", "rsa", "-pubin", "-in", key + ".pub", "-noout", "-modulus"}).out;
    char last[8];
    snprintf(last, sizeof last, "0x%c%c,", tolower(hex[hex.size() - 3]), tolower(hex[hex.size() - 2]));
    EXPECT_EQ(header.find("0x"), header.find(last)) << header;

    struct Refused {
        std::string pem, says;
    } refused[] = {
        {public_of(new_key("small.pem", "RSA -pkeyopt rsa_keygen_bits:768 -pkeyopt rsa_keygen_pubexp:3")),
         "has a 768-bit modulus"},
        {public_of(new_key("f4.pem", "RSA -pkeyopt rsa_keygen_bits:1024")), "has the exponent 65537"},
        {public_of(new_key("e2.pem", "RSA -pkeyopt rsa_keygen_bits:1024 -pkeyopt rsa_keygen_pubexp:257")),
         "has the exponent 257"},
        {public_of(new_key("ec.pem", "EC -pkeyopt ec_paramgen_curve:P-256")), "is not a PEM RSA public key"},
        {key, "is not a PEM RSA public key"},  // the private key
        {dir_.file("none.pem"), "no such file"},
    };
    for (auto& k : refused) {
        r = convert(k.pem);
        EXPECT_NE(r.status, 0) << k.pem;
        EXPECT_NE(r.err.find(k.says), std::string::npos) << r.err;
    }
}

}  // namespace
