#include "download.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

using mcstream::Header;
using mcstream::kHeaderSize;

void download_init(Download* d, bool courtesy) {
    memset(d->slots, 0, sizeof d->slots);
    d->received = 0;
    d->last = -1;
    d->in_range = 0;
    d->judged = false;
    d->version = 0;
    d->courtesy = courtesy;
}

void judge_version(Download* d, uint32_t version) {
    d->version = version;
    d->judged = true;
}

DatagramVerdict classify(const Download* d, const unsigned char* dgram, size_t size, Header* h) {
    // The magic first: a foreign datagram's bytes 2-3 mean nothing, so they
    // must neither abort the download nor touch the idle timer.
    if (size < kHeaderSize) return DGRAM_FOREIGN;
    *h = mcstream::decode(dgram);
    if (h->magic != mcstream::kMagic || h->length > size - kHeaderSize) return DGRAM_FOREIGN;
    if (h->number > mcstream::kMaxPacket) return DGRAM_TOO_LARGE;
    if (h->type != mcstream::kTypeImage) return DGRAM_OTHER_TYPE;
    // One image per download: a carousel that switches images half-way
    // must not leave an archive of both.
    if (d->judged && h->version != d->version) return DGRAM_OTHER_IMAGE;
    if (d->slots[h->number].data) return DGRAM_DUPLICATE;
    return DGRAM_NEW;
}

void courtesy_script(const char* args) {
    char cmd[64];
    snprintf(cmd, sizeof cmd, "/sbin/mcfetch_courtesy.sh %s", args);
    fflush(stdout);  // the script's own lines come after ours in the log
    int status = system(cmd);
    (void)status;  // what the script makes of it is its own affair
}

SaveResult save_packet(Download* d, const unsigned char* dgram, const Header& h) {
    unsigned char* copy = static_cast<unsigned char*>(malloc(h.length ? h.length : 1));
    if (!copy) return SAVE_NO_MEMORY;
    memcpy(copy, dgram + kHeaderSize, h.length);
    d->slots[h.number] = PacketSlot{copy, h.length};
    d->received++;
    if (d->last > 0 && h.number >= 1 && h.number <= d->last) d->in_range++;
    if (d->received % 100 == 0) {
        printf("[OK] download_packet %d\n", d->received);
        if (d->courtesy) {
            char args[16];
            snprintf(args, sizeof args, "3 %d", d->received);
            courtesy_script(args);
        }
    }
    if (h.marker == mcstream::kLastMarker) {
        printf("[OK] Last_packet arrived %d\n", h.number);
        if (h.number != d->last) {
            // Count what came before the last number was known.
            d->last = h.number;
            d->in_range = d->last - missing_packets(d);
        }
    }
    return d->last > 0 && d->in_range == d->last ? SAVE_COMPLETE : SAVE_MORE;
}

int missing_packets(const Download* d) {
    int missing = 0;
    for (int n = 1; n <= d->last; ++n)
        if (!d->slots[n].data) ++missing;
    return missing;
}

namespace {

bool write_all(int fd, const unsigned char* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

bool write_image(const Download* d, int fd) {
    // Gathered into large writes: one system call per datagram would be
    // 61440 of them for a full image.
    static unsigned char buf[64 * 1024];
    size_t used = 0;
    for (int n = 1; n <= d->last; ++n) {
        const PacketSlot& s = d->slots[n];
        if (used + s.length > sizeof buf) {
            if (!write_all(fd, buf, used)) return false;
            used = 0;
        }
        memcpy(buf + used, s.data, s.length);
        used += s.length;
    }
    return write_all(fd, buf, used);
}

void free_packets(Download* d, int from, int to) {
    for (int n = from < 0 ? 0 : from; n <= to && n <= static_cast<int>(mcstream::kMaxPacket); ++n) {
        free(d->slots[n].data);
        d->slots[n] = PacketSlot{nullptr, 0};
    }
}
