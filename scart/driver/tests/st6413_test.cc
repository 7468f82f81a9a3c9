// st6413 on the virtual board, driven through /dev/scart-0 (char 61, 0) as
// a process would.
#include <sys/mman.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/stv6413.h"
#include "bench/driver_test.h"
#include "st6413.h"

namespace {

using Regs = std::array<uint8_t, 7>;

const char* const dump_format =
    "Scart Switch Registers:       \n \t                     Reg 0x00 = 0x%x  \n \t\t             Reg 0x01 = 0x%x  \n "
    "\t\t             Reg 0x02 = 0x%x  \n \t\t             Reg 0x03 = 0x%x  \n \t\t             Reg 0x04 = 0x%x  \n "
    "\t\t             Reg 0x05 = 0x%x  \n \t\t             Reg 0x06 = 0x%x  \n";

std::string dump(const Regs& r) {
    char buf[512];
    std::snprintf(buf, sizeof(buf), dump_format, r[0], r[1], r[2], r[3], r[4], r[5], r[6]);
    return buf;
}

std::string load_log(const Regs& r) {
    return "ST6413_init\n"
           "st6413: chip found @ 0x96\n"
           "st6413: client->name = STV6413\n"
           "st6413: attach final ok\n" +
           dump(r) + "<6>Scart Switch Version = 1.7\n";
}

const Regs defaults = {0x01, 0x11, 0x11, 0x85, 0x80, 0xF4, 0x88};

class St6413 : public bench::DriverTest {
protected:
    explicit St6413(board::BoardConfig config = {}) : DriverTest(config) {}

    void load(const std::string& args = "") {
        ASSERT_EQ(0, insmod("st6413", args)) << kernel.last_error();
        fd_ = open(61);
        ASSERT_GE(fd_, 0);
        chip().clear_transfers();
        kernel.clear_log();
    }

    board::Stv6413& chip() { return board.model<board::Stv6413>(); }
    Regs regs() { return chip().registers(); }

    long set(unsigned cmd, int value) { return ioctl_int(fd_, cmd, value); }

    int get(unsigned cmd) {
        int v = 0;
        EXPECT_EQ(0, ioctl_int(fd_, cmd, 0x5a5a5a5a, &v)) << std::hex << cmd;
        return v;
    }

    // Every write the chip saw since the last look, then forgets them.
    std::vector<std::vector<uint8_t>> take_writes() {
        auto w = chip().writes();
        chip().clear_transfers();
        return w;
    }

    // Checks that each write is the whole shadow from sub-address 0, and
    // that the last one left the chip as it is now.
    void expect_whole_writes(const std::vector<std::vector<uint8_t>>& writes) {
        for (const auto& w : writes) {
            ASSERT_EQ(8u, w.size());
            EXPECT_EQ(0x00, w[0]);
        }
        if (!writes.empty()) {
            Regs now = regs();
            EXPECT_EQ(std::vector<uint8_t>(now.begin(), now.end()),
                      std::vector<uint8_t>(writes.back().begin() + 1, writes.back().end()));
        }
    }

    int fd_ = -1;
};

// ---- Load and unload ----

TEST_F(St6413, LoadWritesTheStartUpRegistersOnce) {
    ASSERT_EQ(0, kernel.insmod("st6413")) << kernel.last_error();
    EXPECT_EQ(load_log(defaults), kernel.log());
    EXPECT_EQ(defaults, regs());

    // The probe's quick write, the register write, the status read.
    const auto& t = chip().transfers();
    ASSERT_EQ(3u, t.size());
    ASSERT_EQ(1u, t[0].messages.size());
    EXPECT_FALSE(t[0].messages[0].read);
    EXPECT_TRUE(t[0].messages[0].data.empty());
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x01, 0x11, 0x11, 0x85, 0x80, 0xF4, 0x88}), t[1].messages[0].data);
    EXPECT_TRUE(t[2].messages[0].read);
    EXPECT_EQ(1u, t[2].messages[0].data.size());

    auto chrdevs = kernel.chrdevs();
    ASSERT_EQ(1u, chrdevs.size());
    EXPECT_EQ(61u, chrdevs[0].major);
    EXPECT_EQ("st6413", chrdevs[0].name);
    auto adapters = kernel.i2c_adapters();
    ASSERT_EQ(1u, adapters.size());
    ASSERT_EQ(1u, adapters[0].clients.size());
    EXPECT_EQ("STV6413", adapters[0].clients[0].name);
    EXPECT_EQ(0x4bu, adapters[0].clients[0].addr);
    EXPECT_EQ("st6413 driver", adapters[0].clients[0].driver);
    EXPECT_EQ(std::vector<std::string>{"st6413 driver"}, kernel.i2c_drivers());
}

TEST_F(St6413, ModuleRecords) {
    load();
    auto mods = kernel.lsmod();
    ASSERT_EQ(1u, mods.size());
    auto has = [&](const std::string& rec) {
        for (auto& i : mods[0].info)
            if (i == rec) return true;
        return false;
    };
    EXPECT_TRUE(has("kernel_version=2.4.30-tango2-2.7.158.1"));
    EXPECT_TRUE(has("description=ST6413 Driver"));
    EXPECT_TRUE(has("license=GPL"));
    EXPECT_TRUE(has("parm_scarts_en=i"));
    EXPECT_TRUE(has("parm_type=i"));
    for (const char* list : {"force", "probe", "probe_range", "ignore", "ignore_range"})
        EXPECT_TRUE(has(std::string("parm_") + list + "=1-48h")) << list;
    EXPECT_TRUE(has("parm_desc_force=List of adapter,address pairs to boldly assume to be present"));
    EXPECT_TRUE(has("parm_desc_probe_range=List of adapter,start-addr,end-addr triples to scan additionally"));
}

TEST_F(St6413, ScartsEnSetsBlankingAtLoad) {
    struct Case {
        int p;
        uint8_t reg3, reg5;
    };
    const Case cases[] = {
        {0, 0x84, 0x04}, {1, 0x84, 0x54}, {2, 0x85, 0xA4},  {3, 0x85, 0xF4},
        {4, 0x85, 0x04}, {7, 0x85, 0xF4}, {-1, 0x84, 0xF4}, {-2, 0x84, 0xA4},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(0, kernel.insmod("st6413", "scarts_en=" + std::to_string(c.p))) << kernel.last_error();
        Regs r = regs();
        EXPECT_EQ(c.reg3, r[3]) << c.p;
        EXPECT_EQ(c.reg5, r[5]) << c.p;
        EXPECT_EQ(0x88, r[6]);
        ASSERT_EQ(0, kernel.rmmod("st6413"));
    }
}

TEST_F(St6413, TypeGivenAtLoadHasNoEffect) {
    load("type=5");
    EXPECT_EQ(2, get(AVSIOGTYPE));
    EXPECT_EQ("avs_ioctl: AVSIOGTYPE\n", kernel.log());
    EXPECT_EQ(0, set(AVSIOSVSW0, 2));  // the dispatcher serves type 2
}

TEST_F(St6413, UnloadDetachesAndKeepsTheChipAsItIs) {
    load();
    ASSERT_EQ(0, set(AVSIOSVSW0, 3));
    Regs before = regs();
    EXPECT_EQ(-EBUSY, kernel.rmmod("st6413"));  // the device is open
    ASSERT_EQ(0, proc.close(fd_));
    kernel.clear_log();
    chip().clear_transfers();
    ASSERT_EQ(0, kernel.rmmod("st6413"));
    EXPECT_EQ("st6413: detach ok \n<6>st6413 unregistered\n", kernel.log());
    EXPECT_EQ(before, regs());
    EXPECT_TRUE(chip().transfers().empty());
    EXPECT_TRUE(kernel.chrdevs().empty());
    EXPECT_TRUE(kernel.i2c_drivers().empty());
    EXPECT_TRUE(kernel.i2c_adapters()[0].clients.empty());
    EXPECT_EQ(0u, kernel.kmalloc_live());
    EXPECT_EQ(-ENXIO, proc.open(61, 0));
}

TEST_F(St6413, ReloadStartsAfresh) {
    load();
    ASSERT_EQ(0, set(AVSIOSMUTE, 1));
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 1));
    ASSERT_EQ(0, proc.close(fd_));
    ASSERT_EQ(0, kernel.rmmod("st6413"));
    load();
    EXPECT_EQ(defaults, regs());
    EXPECT_EQ(0, get(AVSIOGMUTE));
    EXPECT_EQ(1, get(AVSIOGASW1));
    EXPECT_EQ(0, set(AVSIOSGLOBALSTANDBY, 0));  // the flag is 0 again: nothing to do
    EXPECT_TRUE(take_writes().empty());
}

class St6413NoChip : public St6413 {
protected:
    St6413NoChip() : St6413(board::BoardConfig::without(board::Stv6413::model_name)) {}
};

TEST_F(St6413NoChip, LoadFailsWithEio) {
    EXPECT_EQ(-EIO, kernel.insmod("st6413"));
    EXPECT_EQ("ST6413_init\n<3>ST6413_init: no client found\n", kernel.log());
    EXPECT_TRUE(kernel.i2c_drivers().empty());
    EXPECT_TRUE(kernel.lsmod().empty());
    EXPECT_TRUE(kernel.chrdevs().empty());
    EXPECT_EQ(0u, kernel.kmalloc_live());
}

TEST_F(St6413, MajorTakenFailsWithEnodev) {
    ASSERT_EQ(0, kernel.hold_chrdev(61, "other"));
    EXPECT_EQ(-ENODEV, kernel.insmod("st6413"));
    std::string log = kernel.log();
    EXPECT_NE(std::string::npos, log.find("<6>Error registering st6413 device\nst6413: detach ok \n")) << log;
    EXPECT_EQ(std::string::npos, log.find("Scart Switch Version"));
    EXPECT_TRUE(kernel.i2c_drivers().empty());
    EXPECT_TRUE(kernel.lsmod().empty());
    EXPECT_EQ(0u, kernel.kmalloc_live());
    ASSERT_EQ(1u, kernel.chrdevs().size());
    EXPECT_EQ("other", kernel.chrdevs()[0].name);
}

TEST_F(St6413, AttachOutOfMemory) {
    struct Case {
        unsigned long nth;
        const char* line;
    };
    for (Case c : {Case{1, "st6413: attach nomem 1\n"}, Case{2, "st6413: attach nomem 2\n"}}) {
        kernel.clear_log();
        kernel.fail_kmalloc(c.nth);
        EXPECT_EQ(-EIO, kernel.insmod("st6413"));
        EXPECT_EQ(std::string("ST6413_init\nst6413: chip found @ 0x96\n") + c.line +
                      "<3>ST6413_init: no client found\n",
                  kernel.log());
        EXPECT_TRUE(kernel.i2c_drivers().empty());
        EXPECT_EQ(0u, kernel.kmalloc_live());
    }
    // And the next load works.
    load();
}

// The I2C core refuses the client (the adapter's table is full): the chip
// counts as not found, nothing stays allocated, and no transfer follows.
TEST_F(St6413, AttachRefusedByTheCore) {
    for (unsigned addr = 0; addr < 32; addr++) ASSERT_EQ(0, kernel.hold_i2c_client(0, 0x10 + addr, "other"));
    EXPECT_EQ(-EIO, kernel.insmod("st6413"));
    std::string log = kernel.log();
    EXPECT_NE(std::string::npos, log.find("st6413: client->name = STV6413\n"
                                          "<4> i2c-core.o: attach_client(STV6413) - enlarge I2C_CLIENT_MAX.\n"
                                          "<3>st6413: i2c_attach_client failed (-12)\n"
                                          "<3>ST6413_init: no client found\n"))
        << log;
    EXPECT_EQ(0u, kernel.kmalloc_live());
    EXPECT_TRUE(kernel.i2c_drivers().empty());
    EXPECT_EQ(1u, chip().transfers().size());  // the probe only

    ASSERT_EQ(0, kernel.release_i2c_client(0, 0x10));
    load();
    EXPECT_EQ(defaults, regs());
}

TEST_F(St6413, SecondChipOnAnotherAdapterIsRefused) {
    board::I2cBus bus2;
    board::Stv6413 chip2;
    bus2.attach(board::Stv6413::address, chip2);
    board::SocI2cMaster second(kernel, bus2, "second bus");
    ASSERT_EQ(0, kernel.insmod("st6413")) << kernel.last_error();
    std::string log = kernel.log();
    EXPECT_NE(std::string::npos, log.find("st6413: attach final ok\nst6413: attach failed\n")) << log;
    EXPECT_EQ(defaults, regs());
    EXPECT_TRUE(chip2.writes().size() == 1 && chip2.writes()[0].empty());  // probed only
    EXPECT_TRUE(kernel.i2c_adapters()[1].clients.empty());
    ASSERT_EQ(0, kernel.rmmod("st6413"));
}

TEST_F(St6413, SecondChipFromProbeListIsRefused) {
    board::Stv6413 chip2;
    board.i2c().attach(0x4c, chip2);
    ASSERT_EQ(0, kernel.insmod("st6413", "probe=0,0x4c")) << kernel.last_error();
    EXPECT_NE(std::string::npos, kernel.log().find("st6413: attach final ok\nst6413: attach failed\n"));
    EXPECT_EQ(1u, kernel.i2c_adapters()[0].clients.size());
}

TEST_F(St6413, IgnoredAddressIsNotProbed) {
    EXPECT_EQ(-EIO, kernel.insmod("st6413", "ignore=0,0x4b"));
    EXPECT_TRUE(chip().transfers().empty());
}

TEST_F(St6413, ForcedChipLoadsWithoutAnswering) {
    chip().set_acknowledge(false);
    ASSERT_EQ(0, kernel.insmod("st6413", "force=0,0x4b")) << kernel.last_error();
    EXPECT_NE(std::string::npos, kernel.log().find("<6>Scart Switch Version = 1.7\n"));
    fd_ = proc.open(61, 0);
    EXPECT_EQ(-1, get(AVSIOGSTATUS));
    EXPECT_EQ(-EFAULT, set(AVSIOSVSW0, 2));
}

TEST_F(St6413, AdapterRemovedWhileLoaded) {
    load();
    kernel.del_i2c_adapter(board.soc_i2c().adapter_nr());
    EXPECT_EQ("st6413: detach ok \n", kernel.log());
    EXPECT_EQ(-EFAULT, set(AVSIOSVSW0, 2));
    EXPECT_EQ(2, get(AVSIOGVSW0));
    EXPECT_EQ(-1, get(AVSIOGSTATUS));
    ASSERT_EQ(0, proc.close(fd_));
    EXPECT_EQ(0, kernel.rmmod("st6413"));
    EXPECT_EQ(0u, kernel.kmalloc_live());
}

// ---- Set commands ----

TEST_F(St6413, EachSetCommandChangesItsFieldOnly) {
    struct Case {
        unsigned cmd;
        int value;
        int reg;
        uint8_t mask, bits;
    };
    const Case cases[] = {
        {AVSIOSVSW0, 3, 2, 0x70, 0x30},           {AVSIOSVSW0, 0, 2, 0x70, 0x00},
        {AVSIOSVSW1, 2, 3, 0x0C, 0x08},           {AVSIOSVSW1, 0, 3, 0x0C, 0x00},
        {AVSIOSVSW2, 3, 2, 0x07, 0x03},           {AVSIOSASW0, 2, 1, 0x30, 0x20},
        {AVSIOSASW1, 4, 1, 0x07, 0x04},           {AVSIOSASW1, 2, 1, 0x07, 0x02},
        {AVSIOSASW2, 4, 1, 0x07, 0x04},           {AVSIOSVOLUME, 33, 0, 0x3E, 0x20},
        {AVSIOSVOLUME, 63, 0, 0x3E, 0x3E},        {AVSIOSVOLUME, 1, 0, 0x3E, 0x00},
        {AVSIOSMUTE, 1, 1, 0x37, 0x00},           {AVSIOSFBLK, 3, 3, 0x03, 0x03},
        {AVSIOSFBLK, 0, 3, 0x03, 0x00},           {AVSIOSTSB, 1, 5, 0x30, 0x10},
        {AVSIOSSTANDBY0, 1, 6, 0x01, 0x01},       {AVSIOSSTANDBY1, 3, 6, 0x02, 0x02},
        {AVSIOSSTANDBY2, 1, 6, 0x04, 0x04},       {AVSIOSSTANDBY4, 1, 6, 0x10, 0x10},
        {AVSIOSSTANDBY5, 1, 6, 0x20, 0x20},       {AVSIOSSTANDBY6, 1, 6, 0x40, 0x40},
        {AVSIOSSTANDBY6, 2, 6, 0x40, 0x00},       {AVSIOSMISC0, 1, 4, 0x01, 0x01},
        {AVSIOSMISC3, 1, 4, 0x08, 0x08},          {AVSIOSMISC4, 5, 4, 0x10, 0x10},
        {AVSIOSMISC6, 1, 4, 0x40, 0x40},          {AVSIOSMISC7, 0, 4, 0x80, 0x00},
        {AVSIOSMISC7, 2, 4, 0x80, 0x00},          {AVSIOSTSBVCR, 1, 5, 0xC0, 0x40},
        {AVSIOSRGBGAIN, 7, 3, 0x30, 0x30},        {AVSIOSRGBGAIN, -2, 3, 0x30, 0x20},
        {AVSIOSRGBEXTRAGAIN, 1, 3, 0x40, 0x40},   {AVSIOSTVSTEREO, 1, 0, 0x80, 0x80},
        {AVSIOSVCRSTEREO, 1, 1, 0x80, 0x80},      {AVSIOSTVAUDIOGAIN, 1, 0, 0x40, 0x40},
        {AVSIOSCINCHAUDIOGAIN, 1, 1, 0x08, 0x08}, {AVSIOSAUDIOINPUTADJUST, 6, 5, 0x0C, 0x08},
        {AVSIOSENCODERCLAMP, 1, 5, 0x01, 0x01},   {AVSIOSVCRCLAMP, 1, 5, 0x02, 0x02},
        {AVSIOSFBACTIVE, 0, 3, 0x80, 0x00},       {AVSIOSSBMODE, 0, 5, 0x30, 0x00},
        {AVSIOSSBMODE, 1, 5, 0x30, 0x20},         {AVSIOSSBMODE, 2, 5, 0x30, 0x30},
    };
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "cmd 0x" << c.cmd << std::dec << " value " << c.value);
        Regs before = regs();
        ASSERT_EQ(0, set(c.cmd, c.value));
        auto writes = take_writes();
        ASSERT_EQ(1u, writes.size());
        expect_whole_writes(writes);
        Regs expected = before;
        expected[c.reg] = static_cast<uint8_t>((before[c.reg] & ~c.mask) | c.bits);
        EXPECT_EQ(expected, regs());
        if (c.cmd == AVSIOSMUTE) { ASSERT_EQ(0, set(AVSIOSMUTE, 0)); }
        take_writes();
    }
}

TEST_F(St6413, RejectedValuesWriteNothing) {
    struct Case {
        unsigned cmd;
        int value;
    };
    const Case cases[] = {
        {AVSIOSVSW0, 4},    {AVSIOSVSW0, -1},   {AVSIOSVSW1, 3},    {AVSIOSVSW2, 4},  {AVSIOSVSW2, 7}, {AVSIOSASW0, 0},
        {AVSIOSASW0, 3},    {AVSIOSASW0, 4},    {AVSIOSASW1, 0},    {AVSIOSASW1, 3},  {AVSIOSASW2, 5}, {AVSIOSASW2, -4},
        {AVSIOSVOLUME, 64}, {AVSIOSVOLUME, -1}, {AVSIOSMUTE, 2},    {AVSIOSMUTE, -1}, {AVSIOSFBLK, 4}, {AVSIOSTSB, 4},
        {AVSIOSTSBVCR, 4},  {AVSIOSSBMODE, 3},  {AVSIOSSBMODE, -1},
    };
    load();
    for (const Case& c : cases) {
        EXPECT_EQ(-EINVAL, set(c.cmd, c.value)) << std::hex << c.cmd << " " << std::dec << c.value;
        EXPECT_TRUE(take_writes().empty());
        EXPECT_EQ(defaults, regs());
    }
    EXPECT_EQ(1, get(AVSIOGVSW0));
    EXPECT_EQ(0, get(AVSIOGVOLUME));
    EXPECT_EQ(0, get(AVSIOGMUTE));
}

TEST_F(St6413, CommandsOutsideTheTablesGiveEinval) {
    load();
    const unsigned codes[] = {0x1000, 0x100B, 0x1010, 0x1028, 0x1043, 0x1045, 0x1FFF, 0x3001,    0x0000,
                              0x0FFF, 0x2031, 0x203C, 0x2041, 0x2044, 0x2054, 0x4000, 0xFFFFFFFF};
    for (unsigned cmd : codes) {
        int v = 1;
        EXPECT_EQ(-EINVAL, proc.ioctl(fd_, cmd, reinterpret_cast<unsigned long>(&v))) << std::hex << cmd;
        EXPECT_EQ(1, v);
    }
    EXPECT_TRUE(take_writes().empty());
    EXPECT_EQ(defaults, regs());
}

TEST_F(St6413, BadUserAddressesGiveEfault) {
    load();
    long page = sysconf(_SC_PAGESIZE);
    void* none = mmap(nullptr, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    void* ro = mmap(nullptr, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, none);
    ASSERT_NE(MAP_FAILED, ro);
    auto addr = [](void* p) { return reinterpret_cast<unsigned long>(p); };
    // The last int of a page whose next page is not there.
    void* edge = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, edge);
    ASSERT_EQ(0, munmap(static_cast<char*>(edge) + page, page));
    unsigned long straddle = addr(edge) + page - 2;

    for (unsigned long bad : {0ul, addr(none), straddle, ~0ul - 2}) {
        // Set commands read the value first, even for unknown codes.
        EXPECT_EQ(-EFAULT, proc.ioctl(fd_, AVSIOSVSW0, bad));
        EXPECT_EQ(-EFAULT, proc.ioctl(fd_, 0x100B, bad));
        EXPECT_EQ(-EFAULT, proc.ioctl(fd_, AVSIOSGLOBALSTANDBY, bad));
        EXPECT_EQ(-EFAULT, proc.ioctl(fd_, AVSIOGVSW0, bad));
        EXPECT_EQ(-EFAULT, proc.ioctl(fd_, AVSIOGSTATUS, bad));
        EXPECT_EQ(-EFAULT, proc.ioctl(fd_, AVSIOGTYPE, bad));
        // Unknown read commands are looked at first.
        EXPECT_EQ(-EINVAL, proc.ioctl(fd_, 0x2044, bad));
    }
    // Read-only memory: fine to read a value from, not to store one in.
    EXPECT_EQ(0, proc.ioctl(fd_, AVSIOSVSW0, addr(ro)));
    EXPECT_EQ(-EFAULT, proc.ioctl(fd_, AVSIOGVSW0, addr(ro)));
    EXPECT_EQ(-EFAULT, proc.ioctl(fd_, AVSIOGTYPE, addr(ro)));

    // The only write is from the accepted read-only value (0: VCR video 0).
    auto writes = take_writes();
    EXPECT_EQ(1u, writes.size());
    EXPECT_EQ(0, get(AVSIOGVSW0));
    munmap(none, page);
    munmap(ro, page);
    munmap(edge, page);
}

TEST_F(St6413, ChipNotAcknowledgingGivesEfaultAndKeepsTheShadow) {
    load();
    chip().set_acknowledge(false);
    EXPECT_EQ(-EFAULT, set(AVSIOSVSW0, 2));
    EXPECT_EQ(defaults, regs());
    EXPECT_EQ(2, get(AVSIOGVSW0));
    EXPECT_EQ(0, get(AVSIOGMUTE));

    // Acknowledging part of the write is no better.
    chip().set_acknowledge(true);
    chip().nack_from(4);
    EXPECT_EQ(-EFAULT, set(AVSIOSTSB, 1));
    chip().nack_from(-1);
    take_writes();

    // The next write sends the kept values too.
    EXPECT_EQ(0, set(AVSIOSFBLK, 0));
    Regs r = regs();
    EXPECT_EQ(0x21, r[2]);
    EXPECT_EQ(0x84, r[3]);
    EXPECT_EQ(0xD4, r[5]);
}

// ---- Read commands ----

TEST_F(St6413, ReadsAfterLoad) {
    struct Case {
        unsigned cmd;
        int value;
    };
    const Case cases[] = {
        {AVSIOGVSW0, 1},           {AVSIOGVSW1, 1},
        {AVSIOGVSW2, 1},           {AVSIOGASW0, 1},
        {AVSIOGASW1, 1},           {AVSIOGASW2, 1},
        {AVSIOGVOLUME, 0},         {AVSIOGMUTE, 0},
        {AVSIOGFBLK, 1},           {AVSIOGTSB, 3},
        {AVSIOGSBMODE, 2},         {AVSIOGSTANDBY, 0x88},
        {AVSIOGMISC, 0x80},        {AVSIOGTSBVCR, 3},
        {AVSIOGRGBGAIN, 0},        {AVSIOGRGBEXTRAGAIN, 0},
        {AVSIOGDRVVERSION, 0x107}, {AVSIOGTVSTEREO, 0},
        {AVSIOGVCRSTEREO, 0},      {AVSIOGTVAUDIOGAIN, 0},
        {AVSIOGCINCHAUDIOGAIN, 0}, {AVSIOGAUDIOINPUTADJUST, 1},
        {AVSIOGENCODERCLAMP, 0},   {AVSIOGVCRCLAMP, 0},
        {AVSIOGFBACTIVE, 1},       {AVSIOGTYPE, 2},
    };
    load();
    for (const Case& c : cases) EXPECT_EQ(c.value, get(c.cmd)) << std::hex << c.cmd;
    // Reads come from the shadow.
    EXPECT_TRUE(chip().transfers().empty());
}

// Each setting shows in its own read command and in no other: read
// commands whose table rows were swapped would pass the test above, where
// most of them read 0 or 1.
TEST_F(St6413, EachReadCommandReportsItsOwnSetting) {
    const unsigned reads[] = {
        AVSIOGVSW0,         AVSIOGVSW1,           AVSIOGVSW2,
        AVSIOGASW0,         AVSIOGASW1,           AVSIOGASW2,
        AVSIOGVOLUME,       AVSIOGMUTE,           AVSIOGFBLK,
        AVSIOGTSB,          AVSIOGSBMODE,         AVSIOGSTANDBY,
        AVSIOGMISC,         AVSIOGTSBVCR,         AVSIOGRGBGAIN,
        AVSIOGRGBEXTRAGAIN, AVSIOGTVSTEREO,       AVSIOGVCRSTEREO,
        AVSIOGTVAUDIOGAIN,  AVSIOGCINCHAUDIOGAIN, AVSIOGAUDIOINPUTADJUST,
        AVSIOGENCODERCLAMP, AVSIOGVCRCLAMP,       AVSIOGFBACTIVE,
    };
    struct Case {
        unsigned cmd;
        int value;
        std::map<unsigned, int> changed;  // read command -> what it reports now
    };
    const Case cases[] = {
        {AVSIOSVSW0, 3, {{AVSIOGVSW0, 3}}},
        {AVSIOSVSW1, 2, {{AVSIOGVSW1, 2}}},
        {AVSIOSVSW2, 2, {{AVSIOGVSW2, 2}}},
        {AVSIOSASW0, 2, {{AVSIOGASW0, 2}}},
        {AVSIOSASW1, 4, {{AVSIOGASW1, 4}, {AVSIOGASW2, 4}}},  // one switch, two names
        {AVSIOSVOLUME, 40, {{AVSIOGVOLUME, 40}}},
        {AVSIOSFBLK, 3, {{AVSIOGFBLK, 3}}},
        {AVSIOSTSB, 1, {{AVSIOGTSB, 1}, {AVSIOGSBMODE, 0}}},
        {AVSIOSSTANDBY0, 1, {{AVSIOGSTANDBY, 0x89}}},
        {AVSIOSMISC0, 1, {{AVSIOGMISC, 0x81}}},
        {AVSIOSTSBVCR, 1, {{AVSIOGTSBVCR, 1}}},
        {AVSIOSRGBGAIN, 2, {{AVSIOGRGBGAIN, 2}}},
        {AVSIOSRGBEXTRAGAIN, 1, {{AVSIOGRGBEXTRAGAIN, 1}}},
        {AVSIOSTVSTEREO, 1, {{AVSIOGTVSTEREO, 1}}},
        {AVSIOSVCRSTEREO, 1, {{AVSIOGVCRSTEREO, 1}}},
        {AVSIOSTVAUDIOGAIN, 1, {{AVSIOGTVAUDIOGAIN, 1}}},
        {AVSIOSCINCHAUDIOGAIN, 1, {{AVSIOGCINCHAUDIOGAIN, 1}}},
        {AVSIOSAUDIOINPUTADJUST, 2, {{AVSIOGAUDIOINPUTADJUST, 2}}},
        {AVSIOSENCODERCLAMP, 1, {{AVSIOGENCODERCLAMP, 1}}},
        {AVSIOSVCRCLAMP, 1, {{AVSIOGVCRCLAMP, 1}}},
        {AVSIOSFBACTIVE, 0, {{AVSIOGFBACTIVE, 0}}},
    };
    auto read_all = [&] {
        std::map<unsigned, int> all;
        for (unsigned cmd : reads) all[cmd] = get(cmd);
        return all;
    };
    load();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "cmd 0x" << c.cmd);
        auto expected = read_all();
        ASSERT_EQ(0, set(c.cmd, c.value));
        for (auto [cmd, value] : c.changed) {
            ASSERT_NE(expected[cmd], value) << "the case changes nothing";
            expected[cmd] = value;
        }
        EXPECT_EQ(expected, read_all());
    }
}

TEST_F(St6413, VolumeReadsBackInStepsOfTwo) {
    load();
    for (int v : {0, 1, 32, 33, 62, 63}) {
        ASSERT_EQ(0, set(AVSIOSVOLUME, v));
        EXPECT_EQ(v & ~1, get(AVSIOGVOLUME)) << v;
    }
    EXPECT_EQ(-EINVAL, set(AVSIOSVOLUME, 64));
    EXPECT_EQ(62, get(AVSIOGVOLUME));
}

TEST_F(St6413, SlowBlankingModes) {
    load();
    const int mode_of_field[] = {0, 0, 1, 2};
    for (int field = 0; field < 4; field++) {
        ASSERT_EQ(0, set(AVSIOSTSB, field));
        EXPECT_EQ(mode_of_field[field], get(AVSIOGSBMODE)) << field;
    }
    const int field_of_mode[] = {0, 2, 3};
    for (int mode = 0; mode < 3; mode++) {
        ASSERT_EQ(0, set(AVSIOSSBMODE, mode));
        EXPECT_EQ(field_of_mode[mode], get(AVSIOGTSB)) << mode;
        EXPECT_EQ(mode, get(AVSIOGSBMODE));
    }
    EXPECT_EQ(-EINVAL, set(AVSIOSSBMODE, 3));
}

TEST_F(St6413, StatusReadsTheChip) {
    load();
    chip().set_status(0x5c);
    EXPECT_EQ(0x5c, get(AVSIOGSTATUS));
    ASSERT_EQ(1u, chip().transfers().size());
    EXPECT_TRUE(chip().transfers()[0].messages[0].read);
    EXPECT_TRUE(take_writes().empty());
    chip().set_acknowledge(false);
    EXPECT_EQ(-1, get(AVSIOGSTATUS));
}

TEST_F(St6413, TwoProcessesShareTheState) {
    load();
    kplat::Process& other = kernel.spawn("other");
    int fd2 = other.open(61, 3);  // the minor is not looked at
    ASSERT_GE(fd2, 0);
    ASSERT_EQ(0, set(AVSIOSVSW2, 3));
    int v = 0;
    ASSERT_EQ(0, other.ioctl(fd2, AVSIOGVSW2, reinterpret_cast<unsigned long>(&v)));
    EXPECT_EQ(3, v);
    kernel.exit(other);
}

// ---- Mute ----

TEST_F(St6413, MuteKeepsTheSourcesForUnmute) {
    load();
    ASSERT_EQ(0, set(AVSIOSVCRSTEREO, 1));
    ASSERT_EQ(0, set(AVSIOSCINCHAUDIOGAIN, 1));
    ASSERT_EQ(0, set(AVSIOSASW0, 2));
    ASSERT_EQ(0, set(AVSIOSMUTE, 1));
    EXPECT_EQ(0x88, regs()[1]);  // both switches 0, bits 7 and 3 kept
    EXPECT_EQ(1, get(AVSIOGMUTE));
    EXPECT_EQ(1, get(AVSIOGASW1));
    EXPECT_EQ(2, get(AVSIOGASW0));

    // A new source while muted: the chip stays silent, the read shows it.
    take_writes();
    ASSERT_EQ(0, set(AVSIOSASW2, 4));
    EXPECT_EQ(1u, take_writes().size());
    EXPECT_EQ(0x00, regs()[1] & 0x07);
    EXPECT_EQ(4, get(AVSIOGASW2));
    ASSERT_EQ(0, set(AVSIOSASW0, 1));
    EXPECT_EQ(0x00, regs()[1] & 0x30);

    ASSERT_EQ(0, set(AVSIOSMUTE, 0));
    EXPECT_EQ(0x80 | 0x08 | 0x10 | 0x04, regs()[1]);
    EXPECT_EQ(0, get(AVSIOGMUTE));
}

TEST_F(St6413, MuteTwiceUnmuteOnce) {
    load();
    ASSERT_EQ(0, set(AVSIOSASW1, 2));
    ASSERT_EQ(0, set(AVSIOSMUTE, 1));
    ASSERT_EQ(0, set(AVSIOSMUTE, 1));  // changes nothing, still writes
    ASSERT_EQ(0, set(AVSIOSMUTE, 0));
    EXPECT_EQ(0x12, regs()[1]);
    ASSERT_EQ(0, set(AVSIOSMUTE, 0));  // not muted: nothing changes
    EXPECT_EQ(0x12, regs()[1]);
    auto writes = take_writes();
    EXPECT_EQ(5u, writes.size());
    expect_whole_writes(writes);
}

// ---- Global standby ----

// Entry and exit step by step: every write is the whole shadow, in the
// order the box's video path expects (each step changes one field, so any
// two steps taken in another order show here).
TEST_F(St6413, GlobalStandbyEntryAndExitWriteSequences) {
    load();
    ASSERT_EQ(0, set(AVSIOSVSW0, 2));
    ASSERT_EQ(0, set(AVSIOSVSW2, 2));
    ASSERT_EQ(0, set(AVSIOSVSW1, 0));
    ASSERT_EQ(0, set(AVSIOSASW1, 4));
    ASSERT_EQ(0, set(AVSIOSTSB, 2));
    ASSERT_EQ(0, set(AVSIOSTSBVCR, 1));
    ASSERT_EQ(0, set(AVSIOSFBLK, 2));
    const Regs before = {0x01, 0x14, 0x22, 0x82, 0x80, 0x64, 0x88};
    ASSERT_EQ(before, regs());
    take_writes();
    kernel.clear_log();

    using W = std::vector<std::vector<uint8_t>>;
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 1));
    EXPECT_EQ("stv6413_set_global_standby type = 0x1 type\n", kernel.log());
    EXPECT_EQ((W{
                  {0x00, 0x01, 0x14, 0x22, 0x83, 0x80, 0x64, 0xA9},  // fast blanking 3, standby bits 0 and 5
                  {0x00, 0x01, 0x14, 0x22, 0x83, 0xC0, 0x64, 0xA9},  // misc bit 6
                  {0x00, 0x01, 0x14, 0x22, 0x83, 0xC0, 0x24, 0xA9},  // VCR slow blanking 0
                  {0x00, 0x01, 0x12, 0x22, 0x83, 0xC0, 0x24, 0xA9},  // TV audio 2
                  {0x00, 0x01, 0x12, 0x23, 0x83, 0xC0, 0x24, 0xA9},  // TV video 3
                  {0x00, 0x01, 0x12, 0x23, 0x8B, 0xC0, 0x24, 0xA9},  // RGB 2
                  {0x00, 0x01, 0x22, 0x23, 0x8B, 0xC0, 0x24, 0xA9},  // VCR audio 2
                  {0x00, 0x01, 0x22, 0x33, 0x8B, 0xC0, 0x24, 0xA9},  // VCR video 3
                  {0x00, 0x01, 0x22, 0x33, 0x8B, 0xC0, 0x24, 0xA9},  // slot 9
              }),
              take_writes());

    kernel.clear_log();
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 1));
    EXPECT_EQ("stv6413_set_global_standby type = 0x1 type\n", kernel.log());
    EXPECT_TRUE(take_writes().empty());

    // The TV slow blanking changed in standby comes back too.
    ASSERT_EQ(0, set(AVSIOSTSB, 0));
    take_writes();
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 0));
    EXPECT_EQ((W{
                  {0x00, 0x01, 0x22, 0x33, 0x8A, 0xC0, 0x04, 0x88},  // fast blanking, standby bits cleared
                  {0x00, 0x01, 0x22, 0x33, 0x8A, 0x80, 0x04, 0x88},  // misc bit 6
                  {0x00, 0x01, 0x22, 0x33, 0x8A, 0x80, 0x24, 0x88},  // TV slow blanking
                  {0x00, 0x01, 0x22, 0x33, 0x8A, 0x80, 0x64, 0x88},  // VCR slow blanking
                  {0x00, 0x01, 0x24, 0x33, 0x8A, 0x80, 0x64, 0x88},  // TV audio
                  {0x00, 0x01, 0x24, 0x32, 0x8A, 0x80, 0x64, 0x88},  // TV video
                  {0x00, 0x01, 0x24, 0x32, 0x82, 0x80, 0x64, 0x88},  // RGB
                  {0x00, 0x01, 0x14, 0x32, 0x82, 0x80, 0x64, 0x88},  // VCR audio
                  {0x00, 0x01, 0x14, 0x22, 0x82, 0x80, 0x64, 0x88},  // VCR video
                  {0x00, 0x01, 0x14, 0x22, 0x82, 0x80, 0x64, 0x88},  // slot 9
              }),
              take_writes());
    EXPECT_EQ(before, regs());
}

TEST_F(St6413, GlobalStandbyExitWithoutEntryDoesNothing) {
    load();
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 0));
    EXPECT_EQ("stv6413_set_global_standby type = 0x0 type\n", kernel.log());
    EXPECT_TRUE(take_writes().empty());
}

TEST_F(St6413, WrongVideoStatesComeBackAsOne) {
    load();
    ASSERT_EQ(0, set(AVSIOSVSW2, 0));
    ASSERT_EQ(0, set(AVSIOSVSW0, 0));
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 1));
    kernel.clear_log();
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 0));
    EXPECT_EQ(
        "stv6413_set_global_standby type = 0x0 type\n"
        "Video scart TV in a wrong state !!!\n"
        "Video scart VCR in a wrong state !!!\n",
        kernel.log());
    EXPECT_EQ(1, get(AVSIOGVSW2));
    EXPECT_EQ(1, get(AVSIOGVSW0));
}

// The single standby bits move the flag but save nothing: a global leave
// after them clears bits 0 and 5 and keeps the user's routing; a global
// leave after an entry restores it even when a single bit cleared the flag.
TEST_F(St6413, StandbyBitsMoveTheFlagButNotTheRouting) {
    load();
    ASSERT_EQ(0, set(AVSIOSSTANDBY4, 1));
    ASSERT_EQ(0, set(AVSIOSSTANDBY0, 1));
    take_writes();
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 1));  // the flag is 1 already
    EXPECT_TRUE(take_writes().empty());
    EXPECT_EQ(1, get(AVSIOGVSW2));

    ASSERT_EQ(0, set(AVSIOSVSW2, 3));
    ASSERT_EQ(0, set(AVSIOSTSB, 0));
    ASSERT_EQ(0, set(AVSIOSMISC6, 1));
    Regs user = regs();
    take_writes();
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 0));
    user[6] = 0x88 | 0x10;  // bit 4 is the caller's
    EXPECT_EQ(1u, take_writes().size());
    EXPECT_EQ(user, regs());
    EXPECT_EQ(0, set(AVSIOSGLOBALSTANDBY, 0));  // the flag is 0 now
    EXPECT_TRUE(take_writes().empty());

    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 1));
    ASSERT_EQ(0, set(AVSIOSSTANDBY6, 0));  // flag 0, routing still saved
    take_writes();
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 0));
    EXPECT_EQ(10u, take_writes().size());
    EXPECT_EQ(3, get(AVSIOGVSW2));
    EXPECT_EQ(0, get(AVSIOGTSB));
    EXPECT_EQ(0x80, get(AVSIOGMISC));  // leaving clears misc bit 6
}

TEST_F(St6413, EvenRequestEntersWithoutTheStandbyBits) {
    load();
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 2));
    EXPECT_EQ(9u, take_writes().size());
    EXPECT_EQ(0x88, regs()[6]);
    EXPECT_EQ(0x33, regs()[2]);
}

// A second entry (2 after 1, or the tool's 255 twice) applies the standby
// routing again and keeps the routing saved by the first.
TEST_F(St6413, SecondEntryKeepsTheFirstSave) {
    for (int second : {2, 255}) {
        SCOPED_TRACE(second);
        load();
        ASSERT_EQ(0, set(AVSIOSVSW2, 2));
        ASSERT_EQ(0, set(AVSIOSFBLK, 0));
        ASSERT_EQ(0, set(AVSIOSVSW0, 0));
        ASSERT_EQ(0, set(AVSIOSASW0, 2));
        ASSERT_EQ(0, set(AVSIOSASW1, 4));
        Regs user = regs();
        take_writes();
        ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 255));
        ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, second));
        EXPECT_EQ(2u * 9, take_writes().size());
        EXPECT_EQ(second & 1 ? 0xA9 : 0x88, regs()[6]);
        ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 0));
        user[2] = 0x12;  // VCR video 0 comes back as 1
        EXPECT_EQ(user, regs());
        ASSERT_EQ(0, proc.close(fd_));
        ASSERT_EQ(0, kernel.rmmod("st6413"));
    }
}

TEST_F(St6413, StandbyWhileMutedIsMuteAware) {
    load();
    ASSERT_EQ(0, set(AVSIOSASW1, 4));
    ASSERT_EQ(0, set(AVSIOSMUTE, 1));
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 1));
    EXPECT_EQ(0x00, regs()[1] & 0x37);  // still silent
    EXPECT_EQ(2, get(AVSIOGASW1));
    EXPECT_EQ(2, get(AVSIOGASW0));
    ASSERT_EQ(0, set(AVSIOSGLOBALSTANDBY, 0));
    EXPECT_EQ(4, get(AVSIOGASW1));
    EXPECT_EQ(1, get(AVSIOGASW0));
    ASSERT_EQ(0, set(AVSIOSMUTE, 0));
    EXPECT_EQ(0x14, regs()[1]);
}

TEST_F(St6413, GlobalStandbyFailureReportsTheLastWrite) {
    load();
    chip().set_acknowledge(false);
    EXPECT_EQ(-EFAULT, set(AVSIOSGLOBALSTANDBY, 1));
    chip().set_acknowledge(true);
    EXPECT_EQ(0, set(AVSIOSGLOBALSTANDBY, 0));  // entered all the same
    EXPECT_EQ(9u + 10, take_writes().size());
}

}  // namespace
