// sigcheck: checks a file against its detached RSA/SHA-1 signature with the
// image signer's public key, built into the program.
//   sigcheck <data file> <signature file>
// The signature file holds the signature value least significant byte first
// in its first 128 bytes. Prints both sizes and the verdict.
// Exit status: 0 valid, 1 not valid, 2 no check was possible (usage, a file
// that can't be opened or sized, a folder, MALLOC ERROR, READ ERROR).
//
// The data file is hashed as it is read, through one fixed buffer: no copy
// of an image in the heap, whatever its size, and no more memory than the
// buffer. (Mapping it instead costs a page fault per page, more than the
// copy out of the page cache.)
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kvx.h"
#include "sigcheck_key.h"  // kKeyModulus, kKeyExponent, provisioned with the build

extern "C" const KVX_PublicKey VelamorR7QuandorPublicKey = {kKeyModulus, sizeof kKeyModulus, kKeyExponent,
                                                            sizeof kKeyExponent};
extern "C" const KVX_PublicKey* const KvxPublicKey = &VelamorR7QuandorPublicKey;

namespace {

const int kNoCheck = 2;
const unsigned kSigBytes = 128;

unsigned char chunk[64 << 10];  // the data file passes through here

void report(const char* what) {
    fflush(stdout);  // keep the lines in order when both streams go to one place
    perror(what);
}

// Opens path and takes its size by seeking to its end. Returns the open
// descriptor, or -1 after saying why.
int open_sized(const char* path, long* size) {
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        report(path);
        return -1;
    }
    struct stat st;
    // A pipe or other unseekable file has no size: it counts as a failed open.
    // A folder is named as one before any seek: the end offset of a folder
    // is the file system's business (some give one past 32 bits).
    off_t n = -1;
    if (fstat(fd, &st) != 0) {
        // errno says why
    } else if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
    } else {
        n = lseek(fd, 0, SEEK_END);
    }
    if (n > INT_MAX) {
        errno = EFBIG;
        n = -1;
    }
    if (n < 0 || lseek(fd, 0, SEEK_SET) != 0) {
        report(path);
        close(fd);
        return -1;
    }
    *size = (long)n;
    return fd;
}

// Reads up to len bytes at p from fd; the count read (short at the end of
// the file or on an error).
long read_full(int fd, unsigned char* p, long len) {
    long got = 0;
    while (got < len) {
        ssize_t r = read(fd, p + got, (size_t)(len - got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += r;
    }
    return got;
}

// The signature file, read whole into a fresh buffer after its size line.
// Returns 0 or kNoCheck after saying why.
int load_signature(const char* path, unsigned char** buf, long* size) {
    int fd = open_sized(path, size);
    if (fd < 0) return kNoCheck;
    printf("sz firma %d (0x%x)\n", (int)*size, (unsigned)*size);
    // An empty file is the empty signature: allocate one byte, as malloc(0)
    // may give null.
    unsigned char* p = (unsigned char*)malloc(*size ? (size_t)*size : 1);
    if (!p) {
        report("malloc");
        printf("MALLOC ERROR\n");
        close(fd);
        return kNoCheck;
    }
    long got = read_full(fd, p, *size);
    close(fd);
    if (got != *size) {
        printf("READ ERROR\n");
        free(p);
        return kNoCheck;
    }
    *buf = p;
    return 0;
}

// The data file's digest into ctx, read through the buffer after its size
// line. Returns 0 or kNoCheck after saying why.
int hash_data(const char* path, BIG_HashCtx* ctx) {
    long size;
    int fd = open_sized(path, &size);
    if (fd < 0) return kNoCheck;
    printf("sz file %d (0x%x)\n", (int)size, (unsigned)size);
    KVXQxelVerSignStart(ctx);
    long left = size;
    while (left > 0) {
        long want = left < (long)sizeof chunk ? left : (long)sizeof chunk;
        long got = read_full(fd, chunk, want);
        KVXQxelVerSignBuffer(ctx, chunk, (uint32_t)got);
        left -= got;
        if (got < want) break;
    }
    close(fd);
    if (left) {
        printf("READ ERROR\n");
        return kNoCheck;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: sigcheck <data file> <signature file>\n");
        return kNoCheck;
    }
    unsigned char* sig = nullptr;
    long sig_size = 0;
    if (load_signature(argv[2], &sig, &sig_size)) return kNoCheck;
    BIG_HashCtx ctx;
    if (hash_data(argv[1], &ctx)) {
        free(sig);
        return kNoCheck;
    }
    // A short signature file is passed at its own length, which the check
    // refuses: nothing past its end is read.
    uint32_t sig_len = sig_size < (long)kSigBytes ? (uint32_t)sig_size : kSigBytes;
    int valid = KVXQxelVerSignResult(&ctx, KvxPublicKey, sig, sig_len);
    printf(valid ? "VERIFICA CORRETTA\n" : "VERIFICA NON CORRETTA\n");
    free(sig);
    return valid ? 0 : 1;
}
