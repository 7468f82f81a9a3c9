// A device the host serves, reached by a program of the box through the
// virtual box's bridge just as a driver's device is: poll, write, ioctl
// with a record laid out for the program's own ABI, read.
#include <gtest/gtest.h>

#include "box_session.h"

namespace {

TEST(HostDeviceInTheBox, AProgramReachesItThroughTheBridge)
{
    vboxtest::BoxSession box;
    auto r = box.start("loopback 241\nmknod /dev/loopback c 241 0\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    auto p = box.run({LOOPBACK_PROBE, "/dev/loopback"});
    EXPECT_EQ(p.status, 0) << p.err;
    std::string record = std::to_string(2 * sizeof(void*));  // 8 on the box, 16 on the host
    EXPECT_EQ(p.out,
              "poll 1 in=0 out=1\n"
              "write 5\n"
              "poll 1 in=1 out=0\n"
              "recent 0 len=3 writes=1 data=hel record=" + record + "\n"
              "recent -1 Bad address\n"
              "read 5 hello\n"
              "read -1 Resource temporarily unavailable\n");
}

}  // namespace
