#include "mcstframe.h"

#include <string.h>

namespace {

constexpr size_t kEthHeader = 14;
constexpr size_t kIpMinHeader = 20;
constexpr size_t kUdpHeader = 8;
constexpr unsigned char kProtoUdp = 17;

}  // namespace

int isMcst(const unsigned char* frame, size_t length, uint32_t* group, uint32_t* port) {
    if (length < kEthHeader + kIpMinHeader) return 0;
    // 01: the first byte of the IPv4 multicast MAC range, group bit set.
    if (frame[0] != 0x01 || frame[12] != 0x08 || frame[13] != 0x00) return 0;
    const unsigned char* ip = frame + kEthHeader;
    size_t header = (ip[0] & 0x0f) * 4u;
    if ((ip[0] >> 4) != 4 || header < kIpMinHeader) return 0;
    if (ip[16] < 224) return 0;
    // Only UDP has a destination port; a later fragment has no UDP header.
    if (ip[9] != kProtoUdp) return 0;
    if (((ip[6] & 0x1f) << 8 | ip[7]) != 0) return 0;
    if (length < kEthHeader + header + kUdpHeader) return 0;
    memcpy(group, ip + 16, 4);
    const unsigned char* udp = ip + header;
    *port = static_cast<uint32_t>(udp[2] << 8 | udp[3]);
    return 1;
}
