// The client's packet vector and what it does with one received datagram:
// judge it, store its payload, and write the finished image out in order.
// Kept apart from the program's sockets so the datagram handling can be
// exercised on its own.
#pragma once

#include <stddef.h>

#include "stream.h"

// One slot per packet number 0..61440; a filled slot holds a heap copy of
// the payload (at least one byte is allocated, so an empty payload still
// marks its slot as filled).
struct PacketSlot {
    unsigned char* data;
    uint16_t length;
};

struct Download {
    PacketSlot slots[mcstream::kMaxPacket + 1];
    int received;  // slots filled so far
    int last;      // number of the last-marked datagram, -1 until it arrives
    bool courtesy; // run the courtesy script at every 100th stored datagram
};

enum DatagramVerdict {
    DGRAM_FOREIGN,    // cut short, wrong magic, or a payload longer than what arrived:
                      // ignored, the idle timer left as it is
    DGRAM_TOO_LARGE,  // numbered above 61440: the download is aborted
    DGRAM_DUPLICATE,  // that number is stored already: ignored
    DGRAM_NEW,        // a datagram of the stream for an empty slot
};

enum SaveResult { SAVE_MORE = 0, SAVE_COMPLETE = 1, SAVE_NO_MEMORY = -1 };

void download_init(Download* d, bool courtesy);

// Judges the size bytes of a received datagram; fills *h for every verdict
// but DGRAM_FOREIGN.
DatagramVerdict classify(const Download* d, const unsigned char* dgram, size_t size, mcstream::Header* h);

// Stores the payload of a DGRAM_NEW image datagram; prints the progress and
// last-packet lines. Completion: the last-marked number equals the count of
// stored datagrams (strays numbered 0 or above it count too).
SaveResult save_packet(Download* d, const unsigned char* dgram, const mcstream::Header& h);

// Empty slots among 1..last.
int missing_packets(const Download* d);

// Writes the payloads of 1..last in order to fd; false on a write error.
bool write_image(const Download* d, int fd);

// Frees the payloads of the slots from..to and empties them.
void free_packets(Download* d, int from, int to);

// Runs "/sbin/mcfetch_courtesy.sh ARGS" through the shell; its result is
// the script's own affair.
void courtesy_script(const char* args);
