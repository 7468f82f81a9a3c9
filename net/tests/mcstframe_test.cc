// Frame classification: what counts as a stream frame, and that a frame is
// never read past its end (each frame is exactly its length on the heap, so
// the sanitizer build sees any overrun).
#include <gtest/gtest.h>

#include <memory>
#include <string.h>

#include "frames.h"
#include "mcstframe.h"

namespace {

using mcframes::frame;
using mcframes::FrameSpec;

int classify(const std::string& f, uint32_t* group = nullptr, uint32_t* port = nullptr) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[f.size()]);
    memcpy(copy.get(), f.data(), f.size());
    uint32_t g = 0, p = 0;
    int r = isMcst(copy.get(), f.size(), &g, &p);
    if (group) *group = g;
    if (port) *port = p;
    return r;
}

TEST(McstFrame, GroupAndPortAfterAnyIpHeader) {
    for (unsigned options : {0u, 1u, 10u}) {
        FrameSpec s;
        s.dst = "239.10.20.30";
        s.port = 0xabcd;
        s.options = options;
        uint32_t group, port;
        ASSERT_EQ(classify(frame(s), &group, &port), 1) << options;
        EXPECT_EQ(group, inet_addr("239.10.20.30"));
        EXPECT_EQ(port, 0xabcdu);
    }
}

TEST(McstFrame, ShortFramesAreNotStreamFrames) {
    for (unsigned options : {0u, 2u}) {
        FrameSpec s;
        s.options = options;
        size_t headers = 14 + 20 + 4 * options + 8;
        s.size = headers;
        std::string f = frame(s);
        EXPECT_EQ(classify(f), 1);
        for (size_t n = 0; n < headers; ++n) EXPECT_EQ(classify(f.substr(0, n)), 0) << n;
    }
}

TEST(McstFrame, OtherFramesAreNotCounted) {
    auto with = [](auto change) {
        FrameSpec s;
        change(s);
        return frame(s);
    };
    EXPECT_EQ(classify(with([](FrameSpec& s) { s.dst = "223.255.255.255"; })), 0);
    EXPECT_EQ(classify(with([](FrameSpec& s) { s.dst = "224.0.0.0"; })), 1);
    EXPECT_EQ(classify(with([](FrameSpec& s) { s.mcast_mac = false; })), 0);
    EXPECT_EQ(classify(with([](FrameSpec& s) { s.proto = 2; })), 0);    // IGMP
    EXPECT_EQ(classify(with([](FrameSpec& s) { s.frag = 185; })), 0);   // a later fragment
    EXPECT_EQ(classify(with([](FrameSpec& s) { s.frag = 0x2000; })), 1);  // the first one
    std::string f = frame({});
    f[14] = 0x44;  // a header shorter than 20 bytes
    EXPECT_EQ(classify(f), 0);
    f[14] = 0x65;  // IPv6
    EXPECT_EQ(classify(f), 0);
    f = frame({});
    f[12] = char(0x86), f[13] = char(0xdd);
    EXPECT_EQ(classify(f), 0);
}

}  // namespace
