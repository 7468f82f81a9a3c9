// The I2C core: probing with the address lists, attach and detach, and
// transfers reaching the board's master.
#include <cerrno>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kplat/i2c.h"
#include "kplat/kernel.h"
#include "modules/kptest.h"

namespace {

// A master with chips at some addresses; it records every message.
class FakeMaster : public kplat::I2cMaster {
public:
    explicit FakeMaster(std::set<uint16_t> present) : present_(std::move(present)) {}

    struct Msg {
        uint16_t addr;
        bool read;
        std::vector<uint8_t> data;
    };

    int transfer(kplat::I2cMsg* msgs, int num) override {
        ++transfers;
        for (int i = 0; i < num; i++) {
            Msg m{msgs[i].addr, (msgs[i].flags & kplat::I2cMsg::read) != 0, {}};
            if (!present_.count(msgs[i].addr)) {
                log.push_back(m);
                return -EREMOTEIO;
            }
            for (uint16_t j = 0; j < msgs[i].len; j++) {
                if (m.read) msgs[i].buf[j] = static_cast<uint8_t>(0xa0 + j);
                m.data.push_back(msgs[i].buf[j]);
            }
            log.push_back(m);
        }
        return num;
    }

    std::set<uint16_t> present_;
    std::vector<Msg> log;
    int transfers = 0;
};

class I2c : public ::testing::Test {
protected:
    std::vector<std::string> found() {
        std::vector<std::string> out;
        std::string log = kernel_.log();
        size_t at = 0;
        while ((at = log.find("kptest_i2c: found ", at)) != std::string::npos) {
            size_t end = log.find('\n', at);
            out.push_back(log.substr(at + 18, end - at - 18));
            at = end;
        }
        return out;
    }

    long xfer(unsigned cmd, kptest_xfer& x) {
        if (fd_ < 0) fd_ = proc_.open(KPTEST_I2C_MAJOR, 0);
        return proc_.ioctl(fd_, cmd, reinterpret_cast<unsigned long>(&x));
    }

    kplat::Kernel kernel_{kplat::Options{{KPLAT_TEST_MODULES}}};
    kplat::Process& proc_ = kernel_.spawn("user");
    FakeMaster master_{{0x20, 0x31, 0x40}};
    int fd_ = -1;
};

TEST_F(I2c, ProbeWithTheAddressLists) {
    struct Case {
        const char* args;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {"", {"0 0x20 kind -1", "0 0x31 kind -1"}},
        {"probe=0,0x40", {"0 0x20 kind -1", "0 0x31 kind -1", "0 0x40 kind -1"}},
        {"probe=0xffff,0x40", {"0 0x20 kind -1", "0 0x31 kind -1", "0 0x40 kind -1"}},
        {"probe=1,0x40", {"0 0x20 kind -1", "0 0x31 kind -1"}},
        {"probe=0,0x41", {"0 0x20 kind -1", "0 0x31 kind -1"}},
        {"probe_range=0,0x3f,0x41", {"0 0x20 kind -1", "0 0x31 kind -1", "0 0x40 kind -1"}},
        {"ignore=0,0x20", {"0 0x31 kind -1"}},
        {"ignore_range=0,0x00,0x30", {"0 0x31 kind -1"}},
        {"ignore_range=1,0x00,0x30", {"0 0x20 kind -1", "0 0x31 kind -1"}},
        {"force=0,0x50", {"0 0x20 kind -1", "0 0x31 kind -1", "0 0x50 kind 0"}},
        {"force=0,0x20 ignore=0,0x20", {"0 0x20 kind 0", "0 0x31 kind -1"}},
        {"stop=0x20", {"0 0x20 kind -1"}},
        // A list given in full has no end marker: it is read no further.
        {"probe=0,1,0,2,0,3,0,4,0,5,0,6,0,7,0,8,0,9,0,10,0,11,0,12,0,13,0,14,0,15,0,16,0,17,0,18,0,19,"
         "0,21,0,22,0,23,0,24,0,0x40",
         {"0 0x20 kind -1", "0 0x31 kind -1", "0 0x40 kind -1"}},
    };
    ASSERT_EQ(0, kernel_.add_i2c_adapter("fake", 0x800000, master_));
    for (const Case& c : cases) {
        kernel_.clear_log();
        master_.log.clear();
        ASSERT_EQ(0, kernel_.insmod("kptest_i2c", c.args)) << c.args << ": " << kernel_.last_error();
        EXPECT_EQ(c.found, found()) << c.args;
        // Only probed addresses see a quick write; forced ones see nothing.
        for (auto& m : master_.log) {
            EXPECT_FALSE(m.read);
            EXPECT_TRUE(m.data.empty());
            EXPECT_NE(0x50, m.addr);
        }
        ASSERT_EQ(0, kernel_.rmmod("kptest_i2c"));
        EXPECT_TRUE(kernel_.i2c_adapters()[0].clients.empty());
    }
}

TEST_F(I2c, ClientsAttachAndDetach) {
    int nr = kernel_.add_i2c_adapter("fake", 0x800000, master_);
    ASSERT_EQ(0, kernel_.insmod("kptest_i2c"));
    auto adapters = kernel_.i2c_adapters();
    ASSERT_EQ(1u, adapters.size());
    EXPECT_EQ("fake", adapters[0].name);
    ASSERT_EQ(2u, adapters[0].clients.size());
    EXPECT_EQ(0x20u, adapters[0].clients[0].addr);
    EXPECT_EQ("kptest driver", adapters[0].clients[0].driver);

    // An adapter added later is probed at once.
    FakeMaster second({0x32});
    int nr2 = kernel_.add_i2c_adapter("second", 0x800000, second);
    EXPECT_EQ(1, nr2);
    EXPECT_EQ("1 0x32 kind -1", found().back());

    kernel_.clear_log();
    EXPECT_EQ(0, kernel_.del_i2c_adapter(nr2));
    EXPECT_EQ("kptest_i2c: detach 0x32\n", kernel_.log());
    EXPECT_EQ(-ENODEV, kernel_.del_i2c_adapter(nr2));
    EXPECT_EQ(-ENODEV, kernel_.del_i2c_adapter(99));

    kernel_.clear_log();
    ASSERT_EQ(0, kernel_.rmmod("kptest_i2c"));
    EXPECT_EQ("kptest_i2c: detach 0x20\nkptest_i2c: detach 0x31\n", kernel_.log());
    EXPECT_TRUE(kernel_.i2c_drivers().empty());
    EXPECT_EQ(0, kernel_.del_i2c_adapter(nr));
    EXPECT_TRUE(kernel_.i2c_adapters().empty());
    EXPECT_EQ(0u, kernel_.kmalloc_live());
}

TEST_F(I2c, TransfersReachTheMaster) {
    ASSERT_EQ(0, kernel_.add_i2c_adapter("fake", 0x800000, master_));
    ASSERT_EQ(0, kernel_.insmod("kptest_i2c"));
    master_.log.clear();

    kptest_xfer x{0, 3, {1, 2, 3}};
    EXPECT_EQ(3, xfer(KPTEST_I2C_SEND, x));
    ASSERT_EQ(1u, master_.log.size());
    EXPECT_EQ(0x20, master_.log[0].addr);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), master_.log[0].data);

    x = {1, 2, {}};
    EXPECT_EQ(2, xfer(KPTEST_I2C_RECV, x));
    EXPECT_EQ(0xa0, x.buf[0]);
    EXPECT_EQ(0xa1, x.buf[1]);
    EXPECT_EQ(0x31, master_.log.back().addr);

    x = {0, 2, {0x07}};
    int before = master_.transfers;
    EXPECT_EQ(2, xfer(KPTEST_I2C_WRITE_READ, x));  // one transfer, two messages
    EXPECT_EQ(before + 1, master_.transfers);
    EXPECT_EQ(0xa0, x.buf[1]);

    x = {0, 0, {0x09}};
    EXPECT_EQ(0xa0, xfer(KPTEST_I2C_READ_BYTE_DATA, x));
    auto& log = master_.log;
    EXPECT_EQ((std::vector<uint8_t>{0x09}), log[log.size() - 2].data);
    EXPECT_TRUE(log.back().read);

    // The chip goes away: the master's error comes back as it is.
    master_.present_.erase(0x20);
    x = {0, 3, {1, 2, 3}};
    EXPECT_EQ(-EREMOTEIO, xfer(KPTEST_I2C_SEND, x));
    EXPECT_EQ(-1, xfer(KPTEST_I2C_READ_BYTE_DATA, x));
}

TEST_F(I2c, TooManyAdapters) {
    std::vector<std::unique_ptr<FakeMaster>> masters;
    for (int i = 0; i < 16; i++) {
        masters.push_back(std::make_unique<FakeMaster>(std::set<uint16_t>{}));
        EXPECT_EQ(i, kernel_.add_i2c_adapter("many", 0x800000, *masters.back()));
    }
    FakeMaster extra({});
    EXPECT_EQ(-ENOMEM, kernel_.add_i2c_adapter("one too many", 0x800000, extra));
    EXPECT_NE(std::string::npos, kernel_.log().find("register_adapter(one too many) - enlarge I2C_ADAP_MAX"));
}

}  // namespace
