// The upgrade stream's datagram: a 16-byte header, then the payload. The
// magic and the packet number are big-endian, the fields from offset 4 on
// little-endian (the head-end's encoder writes them so). Shared by the box's
// client and the head-end sender.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace mcstream {

constexpr size_t kHeaderSize = 16;
constexpr size_t kMaxPayload = 1420;
constexpr size_t kMaxDatagram = kHeaderSize + kMaxPayload;  // 1436
constexpr unsigned kMaxPacket = 61440;                      // 0xF000: highest packet number
constexpr uint16_t kMagic = 0x2505;
constexpr uint16_t kTypeImage = 0xB1B0;
constexpr uint16_t kLastMarker = 0x0055;

struct Header {
    uint16_t magic;
    uint16_t number;
    uint16_t type;
    uint16_t length;  // payload bytes that follow the header
    uint16_t marker;
    uint32_t version;
};

inline uint16_t get_be16(const unsigned char* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint16_t get_le16(const unsigned char* p) { return static_cast<uint16_t>(p[1] << 8 | p[0]); }
inline uint32_t get_le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// The header of the first kHeaderSize bytes of a datagram.
inline Header decode(const unsigned char* p) {
    return Header{get_be16(p), get_be16(p + 2), get_le16(p + 4), get_le16(p + 6), get_le16(p + 8), get_le32(p + 12)};
}

// Writes the header into the first kHeaderSize bytes (bytes 10-11 zero).
inline void encode(const Header& h, unsigned char* p) {
    p[0] = static_cast<unsigned char>(h.magic >> 8);
    p[1] = static_cast<unsigned char>(h.magic);
    p[2] = static_cast<unsigned char>(h.number >> 8);
    p[3] = static_cast<unsigned char>(h.number);
    const uint16_t le[] = {h.type, h.length, h.marker, 0};
    for (int i = 0; i < 4; ++i) {
        p[4 + 2 * i] = static_cast<unsigned char>(le[i]);
        p[5 + 2 * i] = static_cast<unsigned char>(le[i] >> 8);
    }
    for (int i = 0; i < 4; ++i) p[12 + i] = static_cast<unsigned char>(h.version >> (8 * i));
}

}  // namespace mcstream
