// Frame classification over arbitrary captured frames. Each input is copied
// to a buffer of exactly its size, so any read past the frame is caught.
// A frame taken as a stream frame must be one by the fixed rules: multicast
// MAC, IPv4 with a whole header and UDP header, not a later fragment, group
// 224.0.0.0 or above, the port where the UDP header puts it.
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "mcstframe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<unsigned char[]> frame(new unsigned char[size ? size : 1]);
    memcpy(frame.get(), data, size);
    uint32_t group = 0, port = 0;
    if (!isMcst(frame.get(), size, &group, &port)) return 0;
    size_t header = (data[14] & 0x0f) * 4u;
    if (data[0] != 0x01 || data[12] != 0x08 || data[13] != 0 || data[14] >> 4 != 4 || header < 20 || size < 14 + header + 8 || data[14 + 9] != 17 ||
        data[14 + 16] < 224 ||
        ((data[14 + 6] & 0x1f) | data[14 + 7]) != 0 || memcmp(&group, data + 30, 4) != 0 ||
        port != static_cast<uint32_t>(data[14 + header + 2] << 8 | data[14 + header + 3]))
        abort();
    return 0;
}
