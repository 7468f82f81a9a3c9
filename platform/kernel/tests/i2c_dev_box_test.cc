// The I2C buses in the virtual box as an engineer looks at them on the
// box, with Debian's i2c-tools: the adapters by their names, the addresses
// the drivers hold, the tuner, and a byte read from it.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "box_session.h"
#include "hostns/process.h"

namespace {

// The word i2cdetect prints for an address: "UU", "--" or the address.
std::string probed(const std::string& table, unsigned address) {
    std::istringstream in(table);
    char row[8];
    snprintf(row, sizeof row, "%02x:", address & 0xf0);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 3, row) != 0) continue;
        std::istringstream words(line.substr(3));
        std::vector<std::string> cells;
        for (std::string w; words >> w;) cells.push_back(w);
        // The first row starts at 0x03: its first three places are blank.
        size_t at = (address & 0x0f) - (address < 0x10 ? 3 : 0);
        return at < cells.size() ? cells[at] : "";
    }
    return "";
}

// A host tool inside the box. The box's processor's build preloads its
// own bridge into emulated programs only: a host tool gets the host's.
hostns::RunResult tool(const vboxtest::BoxSession& box, std::vector<std::string> argv) {
    hostns::RunOptions o = box.options();
#ifdef HOST_BRIDGE
    for (auto& e : o.env)
        if (e.compare(0, 12, "VBOX_BRIDGE=") == 0) e = "VBOX_BRIDGE=" HOST_BRIDGE;
#endif
    argv.insert(argv.begin(), {VBOX_BIN, "run", "--"});
    return hostns::run(argv, o);
}

TEST(I2cToolsInTheBox, SeeTheBusesTheDriversAndTheTuner) {
#ifdef HOST_BRIDGE
    std::printf(
        "not checked: i2c-tools has no mipsel build in the sysroot; the host's tools run "
        "instead (a box program's records are checked on the bench)\n");
#endif
    vboxtest::BoxSession box;
    auto r = box.start(vboxtest::default_boot());
    ASSERT_EQ(0, r.status) << r.out << r.err;

    auto l = tool(box, {"i2cdetect", "-l"});
    EXPECT_EQ(0, l.status) << l.err;
    EXPECT_EQ(
        "i2c-0\ti2c       \tSMP8634 I2C HW Master           \tSMP8634 I2C HW Master\n"
        "i2c-1\ti2c       \ttuner TU1216L                   \tBit-shift algorithm\n",
        l.out);

    auto soc = tool(box, {"i2cdetect", "-y", "0"});
    ASSERT_EQ(0, soc.status) << soc.err;
    EXPECT_EQ("UU", probed(soc.out, 0x32)) << soc.out;  // irkbd's micro-controller
    EXPECT_EQ("UU", probed(soc.out, 0x4b)) << soc.out;  // st6413's SCART switch
    EXPECT_EQ("--", probed(soc.out, 0x60)) << soc.out;

    auto tuner = tool(box, {"i2cdetect", "-y", "1"});
    ASSERT_EQ(0, tuner.status) << tuner.err;
    EXPECT_EQ("60", probed(tuner.out, 0x60)) << tuner.out;
    EXPECT_EQ("--", probed(tuner.out, 0x61)) << tuner.out;

    ASSERT_EQ(0, box.vbox({"tuner", "status", "0x5a"}).status);
    auto get = tool(box, {"i2cget", "-y", "1", "0x60"});
    EXPECT_EQ(0, get.status) << get.err;
    EXPECT_EQ("0x5a\n", get.out);
    // A driver's address needs force, as on the box.
    auto busy = tool(box, {"i2cget", "-y", "0", "0x4b"});
    EXPECT_NE(0, busy.status);
    EXPECT_NE(std::string::npos, busy.err.find("Device or resource busy")) << busy.err;
    auto none = tool(box, {"i2cget", "-y", "1", "0x61"});
    EXPECT_NE(0, none.status);
    EXPECT_EQ("Error: Read failed\n", none.err);
}

}  // namespace
