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
    int received;      // slots filled so far, whatever their numbers
    int last;          // number of the last-marked datagram, -1 until it arrives
    int in_range;      // slots filled among 1..last (0 while last is unknown)
    bool judged;       // the version word below has been judged
    uint32_t version;  // the judged image's version word
    bool courtesy;     // run the courtesy script at every 100th stored datagram
};

enum DatagramVerdict {
    DGRAM_FOREIGN,      // cut short, wrong magic, or a payload longer than what arrived:
                        // ignored, the idle timer left as it is
    DGRAM_TOO_LARGE,    // numbered above 61440: the download is aborted
    DGRAM_OTHER_TYPE,   // not image data: ignored, and it judges no version
    DGRAM_OTHER_IMAGE,  // image data of another version word than the judged
                        // one (the head-end switched images): ignored, the
                        // idle timer left as it is
    DGRAM_DUPLICATE,    // that number is stored already: ignored
    DGRAM_NEW,          // an image datagram for an empty slot; the version
                        // word is still to be judged when d->judged is false
};

enum SaveResult { SAVE_MORE = 0, SAVE_COMPLETE = 1, SAVE_NO_MEMORY = -1 };

void download_init(Download* d, bool courtesy);

// Judges the size bytes of a received datagram; fills *h for every verdict
// but DGRAM_FOREIGN.
DatagramVerdict classify(const Download* d, const unsigned char* dgram, size_t size, mcstream::Header* h);

// Records the judged version word: from now on datagrams carrying another
// one are DGRAM_OTHER_IMAGE.
void judge_version(Download* d, uint32_t version);

// Stores the payload of a DGRAM_NEW image datagram; prints the progress and
// last-packet lines. Completion: the last number is known and every number
// from 1 to it is stored (strays numbered 0 or above it never count).
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
