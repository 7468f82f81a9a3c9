// sigcheck: checks a file against its detached RSA/SHA-1 signature with the
// image signer's public key, built into the program.
//   sigcheck <data file> <signature file>
// The signature file holds the signature value least significant byte first
// in its first 128 bytes. Prints both sizes and the verdict.
// Exit status: 0 valid, 1 not valid, 2 no check was possible (usage, a file
// that can't be opened or sized, MALLOC ERROR, READ ERROR).
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>

#include "kvx.h"
#include "sigcheck_key.h"  // kKeyModulus, kKeyExponent, provisioned with the build

extern "C" const KVX_PublicKey VelamorR7QuandorPublicKey = {kKeyModulus, sizeof kKeyModulus, kKeyExponent,
                                                            sizeof kKeyExponent};
extern "C" const KVX_PublicKey* const KvxPublicKey = &VelamorR7QuandorPublicKey;

namespace {

const int kNoCheck = 2;
const unsigned kSigBytes = 128;

void report(const char* what) {
    fflush(stdout);  // keep the lines in order when both streams go to one place
    perror(what);
}

// Reads the whole file at path into a fresh buffer, printing its size with
// `line` before or after the allocation. Returns 0 or kNoCheck after saying why.
int load(const char* path, const char* line, bool line_first, unsigned char** buf, long* size) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        report(path);
        return kNoCheck;
    }
    // A pipe or other unseekable file has no size: it counts as a failed open.
    long n = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1;
    if (n < 0 || n > INT_MAX) {
        if (n > INT_MAX) errno = EFBIG;
        report(path);
        fclose(f);
        return kNoCheck;
    }
    if (line_first) printf(line, (int)n, (unsigned)n);
    // An empty file is the empty message: allocate one byte, as malloc(0) may
    // give null.
    unsigned char* p = (unsigned char*)malloc(n ? (size_t)n : 1);
    if (!p) {
        report("malloc");
        printf("MALLOC ERROR\n");
        fclose(f);
        return kNoCheck;
    }
    if (!line_first) printf(line, (int)n, (unsigned)n);
    if (fseek(f, 0, SEEK_SET) != 0 || fread(p, 1, (size_t)n, f) != (size_t)n) {
        printf("READ ERROR\n");
        free(p);
        fclose(f);
        return kNoCheck;
    }
    fclose(f);
    *buf = p;
    *size = n;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: sigcheck <data file> <signature file>\n");
        return kNoCheck;
    }
    unsigned char *sig = nullptr, *data = nullptr;
    long sig_size = 0, data_size = 0;
    if (load(argv[2], "sz firma %d (0x%x)\n", true, &sig, &sig_size)) return kNoCheck;
    if (load(argv[1], "sz file %d (0x%x)\n", false, &data, &data_size)) {
        free(sig);
        return kNoCheck;
    }
    // A short signature file is passed at its own length, which the check
    // refuses: nothing past its end is read.
    uint32_t sig_len = sig_size < (long)kSigBytes ? (uint32_t)sig_size : kSigBytes;
    int valid = KVXQxelVerSignature(KvxPublicKey, data, (uint32_t)data_size, sig, sig_len);
    printf(valid ? "VERIFICA CORRETTA\n" : "VERIFICA NON CORRETTA\n");
    free(data);
    free(sig);
    return valid ? 0 : 1;
}
