// libkvx beside OpenSSL, on the same data in the same process.
//   kvx_bench sha1 [MIB [ROUNDS]]  SHA-1 throughput, best of ROUNDS (default 64 MiB, 5)
//   kvx_bench stack                stack bytes of one signature check
//   kvx_bench proc ROUNDS CMD ARGS  a whole process, ROUNDS times (output
//                                   discarded): best wall and CPU seconds
// OpenSSL runs as its CPU capability mask (OPENSSL_ia32cap) tells it.
// Times are CPU time where the machine is shared with other work.
#include <fcntl.h>
#include <openssl/evp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "../tests/stack_probe.h"
#include "kvx.h"

namespace {

double clock_s(clockid_t id) {
    timespec ts;
    clock_gettime(id, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double now() { return clock_s(CLOCK_PROCESS_CPUTIME_ID); }  // CPU time: fair on a shared machine

int proc(unsigned rounds, char** argv) {
    double best_wall = 1e9, best_cpu = 1e9;
    int status = -1;
    for (unsigned r = 0; r < rounds; r++) {
        double t = clock_s(CLOCK_MONOTONIC);
        pid_t pid = fork();
        if (pid == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            execvp(argv[0], argv);
            _exit(127);
        }
        rusage ru;
        if (pid < 0 || wait4(pid, &status, 0, &ru) < 0) {
            perror("kvx_bench");
            return 1;
        }
        double wall = clock_s(CLOCK_MONOTONIC) - t;
        double cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
        if (wall < best_wall) best_wall = wall;
        if (cpu < best_cpu) best_cpu = cpu;
    }
    printf("%.3f s wall, %.3f s CPU (best of %u), exit %d\n", best_wall, best_cpu, rounds,
           WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}

int sha1(unsigned mib, unsigned rounds) {
    size_t size = (size_t)mib << 20;
    unsigned char* buf = (unsigned char*)malloc(size);
    if (!buf) {
        perror("malloc");
        return 1;
    }
    uint32_t x = 12345;
    for (size_t i = 0; i < size; i++) buf[i] = (unsigned char)((x = x * 1103515245 + 12345) >> 24);
    double best_kvx = 1e9, best_ossl = 1e9;
    for (unsigned r = 0; r < rounds; r++) {
        unsigned char a[20], b[20];
        double t = now();
        BIGsha1(a, 20, buf, (uint32_t)size);
        double t2 = now();
        EVP_Digest(buf, size, b, nullptr, EVP_sha1(), nullptr);
        double t3 = now();
        if (memcmp(a, b, 20)) {
            fprintf(stderr, "kvx_bench: the digests differ\n");
            return 1;
        }
        if (t2 - t < best_kvx) best_kvx = t2 - t;
        if (t3 - t2 < best_ossl) best_ossl = t3 - t2;
    }
    const char* mask = getenv("OPENSSL_ia32cap");
    printf("SHA-1 of %u MiB, best of %u (OPENSSL_ia32cap=%s):\n", mib, rounds, mask ? mask : "");
    printf("  libkvx   %8.1f MB/s\n  OpenSSL  %8.1f MB/s\n", size / best_kvx / 1e6, size / best_ossl / 1e6);
    free(buf);
    return 0;
}

struct Check {
    KVX_PublicKey key;
    const uint8_t* sig;
    int result;
};

void verify(void* arg) {
    static const uint8_t data[1000] = {1, 2, 3};
    Check* c = (Check*)arg;
    c->result = KVXQxelVerSignature(&c->key, data, sizeof data, c->sig, c->key.modulus_len);
}

int stack() {
    // The arithmetic runs whenever the signature is below the modulus; its
    // value does not change the path through the temporaries.
    for (unsigned len = 128; len <= 256; len *= 2) {
        uint8_t mod[256], sig[256], e = 3;
        for (unsigned i = 0; i < len; i++) {
            mod[i] = (uint8_t)(i * 37 + 11);
            sig[i] = (uint8_t)(i * 91 + 5);
        }
        mod[len - 1] = 0xF0;
        sig[len - 1] = 0x70;
        Check c = {{mod, len, &e, 1}, sig, -1};
        verify(&c);  // once before: lazy binding's resolver runs on the stack too
        size_t used = kvxprobe::stack_used(verify, &c);
        printf("stack of one KVXQxelVerSignature, %u-bit key: %zu bytes\n", len * 8, used);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && !strcmp(argv[1], "sha1"))
        return sha1(argc > 2 ? (unsigned)atoi(argv[2]) : 64, argc > 3 ? (unsigned)atoi(argv[3]) : 5);
    if (argc == 2 && !strcmp(argv[1], "stack")) return stack();
    if (argc > 3 && !strcmp(argv[1], "proc")) return proc((unsigned)atoi(argv[2]), argv + 3);
    fprintf(stderr, "usage: kvx_bench sha1 [MIB [ROUNDS]] | stack | proc ROUNDS CMD [ARGS...]\n");
    return 2;
}
