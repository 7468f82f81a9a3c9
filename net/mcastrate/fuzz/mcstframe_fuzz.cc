// Frame classification over arbitrary captured frames. Each input is copied
// to a buffer of exactly its size, so any read past the frame is caught.
// What the capture adds after a frame's headers (payload, padding, a
// trailer) cannot change it: a frame taken as a stream frame is the same
// stream, group and port, with more bytes behind it.
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "mcstframe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<unsigned char[]> frame(new unsigned char[size ? size : 1]);
    memcpy(frame.get(), data, size);
    uint32_t group = 0, port = 0;
    if (!isMcst(frame.get(), size, &group, &port)) return 0;

    constexpr size_t kMore = 64;
    std::unique_ptr<unsigned char[]> longer(new unsigned char[size + kMore]);
    memcpy(longer.get(), data, size);
    for (size_t i = 0; i < kMore; ++i) longer[size + i] = static_cast<unsigned char>(data[i % size] ^ 0xa5);
    uint32_t group2 = ~group, port2 = ~port;
    if (!isMcst(longer.get(), size + kMore, &group2, &port2) || group2 != group || port2 != port) abort();
    return 0;
}
