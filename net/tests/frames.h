// Ethernet frames as a head end sends them, built byte by byte for the
// tests of mcastrate.
#pragma once

#include <arpa/inet.h>
#include <stdint.h>

#include <string>

namespace mcframes {

struct FrameSpec {
    std::string dst = "239.1.1.1";  // IPv4 destination
    unsigned port = 5000;           // UDP destination port
    size_t size = 100;              // whole frame with all its headers (cut it for less)
    uint8_t proto = 17;
    unsigned options = 0;           // 32-bit words of IPv4 options (NOPs)
    uint16_t frag = 0;              // flags and fragment offset field
    bool mcast_mac = true;          // 01:00:5e:... or a unicast address
};

// The Internet checksum of bytes [from, from + n) of s.
inline uint16_t inet_sum(const std::string& s, size_t from, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < n; i += 2)
        sum += static_cast<uint8_t>(s[from + i]) << 8 | static_cast<uint8_t>(s[from + i + 1]);
    if (n % 2) sum += static_cast<uint8_t>(s[from + n - 1]) << 8;
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

inline std::string frame(const FrameSpec& f) {
    std::string b(f.size, '\0');
    auto put16 = [&b](size_t at, unsigned v) {
        b[at] = static_cast<char>(v >> 8);
        b[at + 1] = static_cast<char>(v);
    };
    uint32_t dst = ntohl(inet_addr(f.dst.c_str()));
    const unsigned char mac[6] = {0x01, 0x00, 0x5e, static_cast<unsigned char>((dst >> 16) & 0x7f),
                                  static_cast<unsigned char>(dst >> 8), static_cast<unsigned char>(dst)};
    for (int i = 0; i < 6; ++i) {
        b[i] = static_cast<char>(f.mcast_mac ? mac[i] : (i == 0 ? 0x02 : 0x11));
        b[6 + i] = static_cast<char>(i == 0 ? 0x02 : 0x22);
    }
    put16(12, 0x0800);
    size_t ip = 14, header = 20 + 4 * f.options;
    b[ip] = static_cast<char>(0x40 | (header / 4));
    put16(ip + 2, static_cast<unsigned>(f.size - ip));
    put16(ip + 4, 0x1234);
    put16(ip + 6, f.frag);
    b[ip + 8] = 4;  // TTL
    b[ip + 9] = static_cast<char>(f.proto);
    put16(ip + 12, 0x0a4d);  // 10.77.0.1
    put16(ip + 14, 0x0001);
    put16(ip + 16, dst >> 16);
    put16(ip + 18, dst & 0xffff);
    for (size_t i = 20; i < header; ++i) b[ip + i] = 1;  // NOP
    put16(ip + 10, inet_sum(b, ip, header));
    size_t udp = ip + header;
    put16(udp, 4000);
    put16(udp + 2, f.port);
    put16(udp + 4, static_cast<unsigned>(f.size - udp));
    return b;
}

}  // namespace mcframes
