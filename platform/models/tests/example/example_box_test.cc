// The example in the virtual box: the build's default boot script loads
// its driver after the board's own, in their order, and its console word
// reaches the chip.
#include <gtest/gtest.h>

#include <string>

#include "box_session.h"

namespace {

TEST(ExampleInTheBox, BootLinesComeInTheComponentsOrder) {
    std::string boot = vboxtest::default_boot();
    size_t at = 0;
    for (const char* line : {"insmod gpio\n", "insmod i2c-tuner\n", "insmod i2c-dev\n", "insmod st6413 scarts_en=3\n",
                             "card reader 240\n", "insmod irkbd\n", "insmod example\n"}) {
        size_t next = boot.find(line, at);
        ASSERT_NE(std::string::npos, next) << line << "not after the line before it in\n" << boot;
        at = next;
    }
}

TEST(ExampleInTheBox, ItsConsoleWordShowsWhatItsDriverDid) {
    vboxtest::BoxSession box;
    auto r = box.start(vboxtest::default_boot());
    ASSERT_EQ(0, r.status) << r.out << r.err;
    r = box.vbox({"example"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("example chip: control 0x1\n", r.out);
    EXPECT_EQ(0, box.vbox({"rmmod", "example"}).status);
    EXPECT_EQ("example chip: control 0x0\n", box.vbox({"example"}).out);
    r = box.vbox({"example", "now"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("usage: example\n", r.err);
    EXPECT_NE(std::string::npos, box.vbox({"--help"}).out.find("the example chip: its control register"));
}

}  // namespace
