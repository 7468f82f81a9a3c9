// i2c-tuner on the virtual board: the bus it registers, transfers to the
// TU1216L through the kernel's I2C core seen on the two pins, and what the
// line routines do when a slave holds a line.
#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "board/tuner.h"
#include "bench/driver_test.h"

namespace {

// The kernel's numbers (its asm/errno.h); a MIPS host's <cerrno> has others.
constexpr int kernel_EREMOTEIO = 121;
constexpr int kernel_ETIMEDOUT = 110;

constexpr unsigned sda = 21, scl = 20;
const std::string sda_timeout = "tuner_setsda (timeout expired) : cnt = 0x0\n";
const std::string scl_timeout = "tuner_setscl (timeout expired) : cnt = 0x0\n";

// The two lines as a master and an acknowledging slave move them
// ("D0 C0 ..."), transition by transition, for the expected side of a
// comparison: the slave's acknowledge and its bits go on SDA as SCL falls.
class Wire {
public:
    std::string text() const { return out_; }

    void start() { sda_to(false), scl_to(false); }
    void restart() { sda_to(true), scl_to(true), start(); }
    void stop() { sda_to(false), scl_to(true), sda_to(true); }

    // The master sends a byte; the slave acknowledges it or not, and then
    // lets go of SDA (unless it starts to send: see receive).
    void send(uint8_t byte, bool ack, bool then_receive = false) {
        for (int i = 7; i >= 0; --i) sda_to(byte >> i & 1), clock();
        sda_to(!ack);
        clock();
        if (!then_receive) sda_to(true);
    }

    // The master reads bytes after the slave acknowledged a read address:
    // the slave's first bit takes the place of its acknowledge.
    void receive(const std::vector<uint8_t>& bytes) {
        for (size_t k = 0; k < bytes.size(); ++k) {
            bool last = k + 1 == bytes.size();
            sda_to(bytes[k] & 0x80);
            for (int i = 6; i >= -1; --i) clock(), sda_to(i < 0 || (bytes[k] >> i & 1));
            sda_to(last);  // the master's acknowledge, none after the last
            clock();
            sda_to(true);
        }
    }

private:
    void clock() { scl_to(true), scl_to(false); }
    void sda_to(bool v) { move(sda_, v, 'D'); }
    void scl_to(bool v) { move(scl_, v, 'C'); }
    void move(bool& line, bool v, char name) {
        if (line == v) return;
        line = v;
        out_ += (out_.empty() ? "" : " ") + std::string(1, name) + (v ? "1" : "0");
    }
    bool sda_ = true, scl_ = true;
    std::string out_;
};

class TunerBus : public bench::DriverTest {
protected:
    void load(const std::string& args = "") {
        ASSERT_EQ(0, insmod("gpio")) << kernel.last_error();
        ASSERT_EQ(0, insmod("i2c-tuner", args)) << kernel.last_error();
        nr_ = adapter();
        ASSERT_GE(nr_, 0);
        kernel.clear_log();
        board.bus().clear_history();
    }

    int adapter() {
        for (const auto& a : kernel.i2c_adapters())
            if (a.name == "tuner TU1216L") return a.nr;
        return -1;
    }

    int write(uint8_t addr, std::vector<uint8_t> bytes) {
        kplat::I2cMsg m{addr, 0, static_cast<uint16_t>(bytes.size()), bytes.data()};
        return kernel.i2c_transfer(nr_, &m, 1);
    }

    // What the pins did, as Wire writes it.
    std::string lines() const {
        std::string out;
        for (const board::BusEvent& e : board.bus().history())
            if (e.kind == board::BusEvent::pin && (e.addr == sda || e.addr == scl))
                out += (out.empty() ? "" : " ") + std::string(e.addr == sda ? "D" : "C") + (e.value ? "1" : "0");
        return out;
    }

    board::Tu1216& tuner() { return board.model<board::TunerBus>().tuner(); }
    board::I2cPins& wires() { return board.model<board::TunerBus>().wires(); }

    int nr_ = -1;
};

TEST_F(TunerBus, LoadsAfterGpio) {
    EXPECT_EQ(-ENOEXEC, insmod("i2c-tuner"));  // em86xx_gpio_setdirection is gpio's
    ASSERT_EQ(0, insmod("gpio")) << kernel.last_error();
    take_log();
    uint64_t t0 = kernel.microseconds();
    ASSERT_EQ(0, insmod("i2c-tuner")) << kernel.last_error();
    EXPECT_EQ(t0, kernel.microseconds());  // both lines high: one read each
    EXPECT_EQ(
        "<6>i2c_tuner_init: i2c tuner adapter module version 2.6.1 (20010830)\n"
        "<6>i2c_tuner_init: found device at 0x10000.\n",
        take_log());
    EXPECT_FALSE(board.gpio().output(sda) || board.gpio().output(scl));

    auto adapters = kernel.i2c_adapters();
    auto it = std::find_if(adapters.begin(), adapters.end(), [](auto& a) { return a.name == "tuner TU1216L"; });
    ASSERT_NE(adapters.end(), it);
    EXPECT_EQ(0x010014u, it->id);  // the bit-banging algorithm's 0x01 over the tuner's 0x14

    auto mods = kernel.lsmod();
    EXPECT_EQ("i2c-tuner", mods[0].name);
    EXPECT_EQ(std::vector<std::string>{"i2c-tuner"}, mods[1].used_by);
    for (const char* line : {"description=I2C-Bus adapter routines for tuner adapter", "license=GPL",
                             "kernel_version=2.4.30-tango2-2.7.158.1", "parm_base=i"})
        EXPECT_NE(std::find(mods[0].info.begin(), mods[0].info.end(), line), mods[0].info.end()) << line;
    EXPECT_EQ(-EBUSY, rmmod("gpio"));

    ASSERT_EQ(0, rmmod("i2c-tuner"));
    EXPECT_EQ("<6>i2c_tuner_exit: bye bye ...\n", take_log());
    EXPECT_EQ(-1, adapter());
    EXPECT_EQ(0, rmmod("gpio"));
}

TEST_F(TunerBus, BaseParameter) {
    ASSERT_EQ(0, insmod("gpio"));
    ASSERT_EQ(0, insmod("i2c-tuner", "base=0x2b0")) << kernel.last_error();
    EXPECT_NE(std::string::npos, take_log().find("<6>i2c_tuner_init: found device at 0x2b0.\n"));
}

TEST_F(TunerBus, RegistrationFailure) {
    struct Nothing : kplat::I2cMaster {
        int transfer(kplat::I2cMsg*, int) override { return -EIO; }
    } nothing;
    ASSERT_EQ(0, insmod("gpio"));
    while (kernel.i2c_adapters().size() < 16) ASSERT_GE(kernel.add_i2c_adapter("other", 0, nothing), 0);
    take_log();
    EXPECT_EQ(-ENODEV, insmod("i2c-tuner"));
    EXPECT_NE(std::string::npos, take_log().find("<6>i2c_tuner_init: i2c_bit_add_bus failed\n"));
    EXPECT_EQ(1u, kernel.lsmod().size());
    for (const auto& a : kernel.i2c_adapters())
        if (a.name == "other") kernel.del_i2c_adapter(a.nr);
}

// A write and a read, exact on the pins. Every byte the tuner acknowledges
// is still pulled low when the master lets SDA go: one time-out line each.
TEST_F(TunerBus, WriteAndReadOnThePins) {
    load();
    EXPECT_EQ(1, write(0x60, {0x0b, 0x8e}));
    EXPECT_EQ((std::vector<std::vector<uint8_t>>{{0x0b, 0x8e}}), tuner().writes());
    EXPECT_EQ("S C0+ 0B+ 8E+ P", wires().trace());
    Wire w;
    w.start(), w.send(0xc0, true), w.send(0x0b, true), w.send(0x8e, true), w.stop();
    EXPECT_EQ(w.text(), lines());
    EXPECT_EQ(sda_timeout + sda_timeout + sda_timeout, take_log());

    // Register, then a repeated start and two bytes read; the master does
    // not acknowledge the last.
    board.bus().clear_history();
    wires().clear_events();
    tuner().set_status(0xa5);
    uint8_t reg = 0x02, in[2] = {};
    kplat::I2cMsg msgs[2] = {{0x60, 0, 1, &reg}, {0x60, kplat::I2cMsg::read, 2, in}};
    EXPECT_EQ(2, kernel.i2c_transfer(nr_, msgs, 2));
    EXPECT_EQ(0xa5, in[0]);
    EXPECT_EQ(0xa5, in[1]);
    EXPECT_EQ("S C0+ 02+ Sr C1+ A5< A5. P", wires().trace());
    Wire r;
    r.start(), r.send(0xc0, true), r.send(0x02, true), r.restart(), r.send(0xc1, true, true), r.receive({0xa5, 0xa5}),
        r.stop();
    EXPECT_EQ(r.text(), lines());
}

TEST_F(TunerBus, AddressNotAcknowledged) {
    load();
    // Three retries, each after a stop; nothing reaches the tuner.
    EXPECT_EQ(-kernel_EREMOTEIO, write(0x61, {0x01}));
    EXPECT_EQ("S C2- P S C2- P S C2- P S C2- P", wires().trace());
    Wire w;
    for (int i = 0; i < 4; ++i) w.start(), w.send(0xc2, false), w.stop();
    EXPECT_EQ(w.text(), lines());
    EXPECT_TRUE(tuner().transfers().empty());
    EXPECT_EQ("", take_log());

    // A data byte the chip refuses ends the transfer with a stop.
    wires().clear_events();
    tuner().nack_from(1);
    EXPECT_EQ(-EFAULT, write(0x60, {0x0b, 0x8e, 0x60}));
    EXPECT_EQ("S C0+ 0B+ 8E- P", wires().trace());
    EXPECT_NE(std::string::npos, take_log().find("<3>i2c-algo-bit.o: tuner TU1216L sendbytes: error - bailout.\n"));
}

// The bus's timing, bit by bit, from the pins' history (half a clock is
// 10 us): a start holds SDA low for one half clock before SCL falls; each
// bit the master sends holds SCL low for two (SDA moves after the first)
// and high for one, SDA steady meanwhile; a stop raises SDA one half clock
// after SCL.
TEST_F(TunerBus, BitTiming) {
    load();
    ASSERT_EQ(1, write(0x60, {0x0b}));
    struct Edge {
        bool scl, level;
        uint64_t at;
    };
    std::vector<Edge> edges;
    for (const board::BusEvent& e : board.bus().history())
        if (e.kind == board::BusEvent::pin && (e.addr == sda || e.addr == scl))
            edges.push_back({e.addr == scl, e.value != 0, e.usecs});
    ASSERT_GE(edges.size(), 4u);
    EXPECT_FALSE(edges[0].scl || edges[0].level);
    EXPECT_TRUE(edges[1].scl && !edges[1].level);
    EXPECT_EQ(10u, edges[1].at - edges[0].at);
    const Edge& last = edges.back();
    const Edge& before = edges[edges.size() - 2];
    EXPECT_TRUE(before.scl && before.level && !last.scl && last.level);
    EXPECT_EQ(10u, last.at - before.at);

    // SCL pulses: the ninth of each byte is the tuner's acknowledge.
    uint64_t fell = edges[1].at, rose = 0, sda_moved = edges[0].at;
    int pulse = 0;
    for (size_t i = 2; i + 2 < edges.size(); ++i) {
        const Edge& e = edges[i];
        if (!e.scl) {
            sda_moved = e.at;
            continue;
        }
        if (e.level) {
            rose = e.at;
            continue;
        }
        if (pulse % 9 != 8) {
            EXPECT_EQ(20u, rose - fell) << "bit " << pulse;
            EXPECT_EQ(10u, e.at - rose) << "bit " << pulse;
            EXPECT_GE(rose - sda_moved, 10u) << "bit " << pulse;
        }
        fell = e.at;
        ++pulse;
    }
    EXPECT_EQ(18, pulse);
}

// Releasing a line reads it once; a line a slave holds is read 20 times
// more, 2 us apart, and logged once per release. A transfer needs a free
// bus: with SDA held it fails at once, with SCL held once the bus's
// time-out (100 ticks) is over; neither moves a pin nor reaches the tuner,
// and the bus works again once the line is let go.
TEST_F(TunerBus, HeldLines) {
    ASSERT_EQ(0, insmod("gpio"));
    take_log();
    wires().hold_sda(true);
    uint64_t t0 = kernel.microseconds();
    ASSERT_EQ(0, insmod("i2c-tuner"));
    EXPECT_EQ(t0 + 40, kernel.microseconds());
    std::string log = take_log();
    EXPECT_NE(std::string::npos, log.find(sda_timeout));
    EXPECT_NE(std::string::npos, log.find("found device at 0x10000.\n"));  // a stuck SDA is no error
    nr_ = adapter();
    board.bus().clear_history();

    EXPECT_EQ(-kernel_EREMOTEIO, write(0x60, {0x0b}));
    uint8_t in = 0xff;
    kplat::I2cMsg m{0x60, kplat::I2cMsg::read, 1, &in};
    EXPECT_EQ(-kernel_EREMOTEIO, kernel.i2c_transfer(nr_, &m, 1));
    EXPECT_EQ(0xff, in);
    const std::string sda_busy = "<3>i2c-algo-bit.o: tuner TU1216L: SDA held low, no start.\n";
    EXPECT_EQ(sda_busy + sda_busy, take_log());
    EXPECT_EQ("", lines());

    wires().hold_sda(false);
    wires().hold_scl(true);
    board.bus().clear_history();
    unsigned long j0 = kernel.jiffies();
    EXPECT_EQ(-kernel_ETIMEDOUT, write(0x60, {0x0b}));
    EXPECT_EQ(j0 + 100, kernel.jiffies());
    EXPECT_EQ("<3>i2c-algo-bit.o: tuner TU1216L: SCL held low, no start.\n", take_log());
    EXPECT_EQ("", lines());
    EXPECT_TRUE(tuner().transfers().empty());

    wires().hold_scl(false);
    EXPECT_EQ(1, write(0x60, {0x0b}));
    EXPECT_EQ((std::vector<std::vector<uint8_t>>{{0x0b}}), tuner().writes());
}

// The tuner stretching the clock after each acknowledge. SCL is read back,
// so the algorithm waits and the bytes go whole: a stretch within the 40 us
// the release polls says nothing, a longer one logs once per stretch, one
// past the bus's time-out (1 s) ends the transfer with -ETIMEDOUT.
TEST_F(TunerBus, ClockStretching) {
    load();
    const std::vector<std::vector<uint8_t>> sent = {{0x0b, 0x8e}};
    wires().set_stretch(30);
    EXPECT_EQ(1, write(0x60, {0x0b, 0x8e}));
    EXPECT_EQ(sent, tuner().writes());
    EXPECT_EQ(std::string::npos, take_log().find("tuner_setscl"));

    // After the address, after 0x0B, and after 0x8E before the stop.
    tuner().clear_transfers();
    wires().clear_events();
    wires().set_stretch(5000);
    EXPECT_EQ(1, write(0x60, {0x0b, 0x8e}));
    EXPECT_EQ("S C0+ 0B+ 8E+ P", wires().trace());
    EXPECT_EQ(sent, tuner().writes());
    EXPECT_EQ(sda_timeout + scl_timeout + sda_timeout + scl_timeout + sda_timeout + scl_timeout, take_log());
    tuner().set_status(0xa5);
    uint8_t in[2] = {};
    kplat::I2cMsg m{0x60, kplat::I2cMsg::read, 2, in};
    EXPECT_EQ(1, kernel.i2c_transfer(nr_, &m, 1));
    EXPECT_EQ(0xa5, in[0]);
    EXPECT_EQ(0xa5, in[1]);

    // Timed out on the first bit of 0x0B; the stop waits for the clock.
    tuner().clear_transfers();
    wires().clear_events();
    wires().set_stretch(1100000);
    EXPECT_EQ(-kernel_ETIMEDOUT, write(0x60, {0x0b}));
    EXPECT_EQ("S C0+ P", wires().trace());
    EXPECT_EQ((std::vector<std::vector<uint8_t>>{{}}), tuner().writes());
    EXPECT_NE(std::string::npos, take_log().find("<3>i2c-algo-bit.o: tuner TU1216L sendbytes: error - bailout.\n"));
    wires().set_stretch(0);
    EXPECT_EQ(1, write(0x60, {0x0b}));
}

TEST_F(TunerBus, ClientKeepsTheModule) {
    load();
    ASSERT_EQ(0, kernel.hold_i2c_client(nr_, 0x60, "tuner", true));
    EXPECT_EQ(1, kernel.lsmod().front().use_count);
    EXPECT_EQ(-EBUSY, rmmod("i2c-tuner"));
    EXPECT_EQ(1, write(0x60, {0x01}));
    ASSERT_EQ(0, kernel.release_i2c_client(nr_, 0x60));
    EXPECT_EQ(0, rmmod("i2c-tuner"));
    EXPECT_EQ(-1, adapter());
}

}  // namespace
