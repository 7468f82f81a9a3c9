// boxmaker on a real eth0 in a private network namespace.
#include <gtest/gtest.h>

#include "hostns/netns.h"

namespace {

using hostns::NetnsPair;
using hostns::NetPairOptions;

TEST(Boxmaker, MakerFromTheVendorPrefixOfEth0) {
    if (!hostns::netns_available()) GTEST_SKIP() << "no network namespaces here";
    NetPairOptions o;
    o.box_mac = "00:03:6f:12:34:56";
    NetnsPair pair(o);
    ASSERT_TRUE(pair.ok()) << pair.error();

    auto r = pair.run_box({BOXMAKER_BIN, "ignored", "-x"});
    EXPECT_EQ(r.out, "vimora\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);

    // An interface address never has the group bit (01:...), which the
    // kernel refuses; 02:... differs in the first byte all the same.
    for (const char* mac : {"00:03:6e:12:34:56", "02:03:6f:12:34:56", "00:13:6f:12:34:56", "00:03:6f:12:34:56"}) {
        ASSERT_TRUE(pair.ip_box({"link", "set", "eth0", "address", mac})) << pair.error();
        r = pair.run_box({BOXMAKER_BIN});
        EXPECT_EQ(r.out, mac == std::string("00:03:6f:12:34:56") ? "vimora\n" : "quandor\n") << mac;
        EXPECT_EQ(r.status, 0);
    }

    ASSERT_TRUE(pair.ip_box({"link", "del", "eth0"})) << pair.error();
    r = pair.run_box({BOXMAKER_BIN});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ioctl(\"eth0\",SIOCGIFHWADDR): No such device\n");
    EXPECT_EQ(r.status, 255);
}

}  // namespace
