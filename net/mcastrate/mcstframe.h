// Which frames captured on the box's interface belong to a multicast UDP
// stream. Shared by mcastrate and its tests and fuzz target.
#pragma once

#include <stddef.h>
#include <stdint.h>

// frame: length bytes as the packet socket hands them over (Ethernet header
// first, no frame check sequence). A stream frame goes to a multicast MAC
// address and carries the start of a UDP datagram to an address of
// 224.0.0.0 or above; the IPv4 header may carry options. Then *group is the
// destination address in network order and *port the UDP destination port,
// and the result is 1; otherwise 0, and nothing is read past length.
int isMcst(const unsigned char* frame, size_t length, uint32_t* group, uint32_t* port);
