// Datagram handling of mcfetch: the input is a sequence of datagrams (a
// 16-bit little-endian size, then that many bytes), judged and stored as
// the download loop does. Whatever arrives, nothing is read beyond the
// datagram, every stored payload is the datagram's own bytes, the count
// matches the filled slots, one version word is collected, and completion
// comes only with every number 1..last stored.
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "download.h"

namespace {

Download d;
int null_fd = -1;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!freopen("/dev/null", "w", stdout)) abort();  // progress lines
    null_fd = open("/dev/null", O_WRONLY);
    download_init(&d, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The vector is emptied slot by slot after each run: clearing all of
    // its 61441 slots every time would cost most of the run.
    d.received = 0;
    d.last = -1;
    d.in_range = 0;
    d.judged = false;
    std::vector<unsigned> stored;
    while (size >= 2) {
        size_t n = data[0] | data[1] << 8;
        data += 2;
        size -= 2;
        if (n > size) n = size;
        // The datagram in a buffer of its own size, so a read past it is caught.
        std::vector<unsigned char> dgram(data, data + n);
        data += n;
        size -= n;
        mcstream::Header h;
        DatagramVerdict v = classify(&d, dgram.data(), dgram.size(), &h);
        if (v == DGRAM_TOO_LARGE) break;
        if (v != DGRAM_NEW) continue;
        if (h.type != mcstream::kTypeImage || (d.judged && h.version != d.version)) abort();
        if (!d.judged) judge_version(&d, h.version);
        SaveResult r = save_packet(&d, dgram.data(), h);
        if (r == SAVE_NO_MEMORY) break;
        stored.push_back(h.number);
        const PacketSlot& s = d.slots[h.number];
        if (!s.data || s.length != h.length || memcmp(s.data, dgram.data() + mcstream::kHeaderSize, s.length)) abort();
        if (r == SAVE_COMPLETE) {
            // Complete means every number 1..last is there, counted afresh.
            if (d.last < 1 || missing_packets(&d) != 0 || !write_image(&d, null_fd)) abort();
            break;
        }
    }
    if (d.received != static_cast<int>(stored.size())) abort();
    for (unsigned n : stored) free_packets(&d, static_cast<int>(n), static_cast<int>(n));
    return 0;
}
