// The smart-card reader served by the host and the T=0 card in it, as a
// process reaches them: presence events, hang-up, reset and ATR record
// for either ABI, parameter blocks, PPS answers, command exchanges with
// pauses in virtual time, and the console's card command.
#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "board/smartcard.h"
#include "bench/driver_test.h"

namespace {

using board::CardReader;
using Bytes = std::vector<uint8_t>;

constexpr unsigned major = 242;
constexpr unsigned POLLIN_ = 0x1, POLLOUT_ = 0x4, POLLHUP_ = 0x10, POLLRDNORM_ = 0x40, POLLWRNORM_ = 0x100;

class SmartCard : public bench::DriverTest {
protected:
    void SetUp() override { ASSERT_EQ(0, card({"card", "reader", std::to_string(major)})); }

    int card(const std::vector<std::string>& words) {
        out.clear();
        return board::card_command(board, words, out);
    }
    CardReader& reader() { return *board.served<board::CardReader>(); }
    unsigned long addr(const void* p) { return reinterpret_cast<unsigned long>(p); }

    long send(int fd, const Bytes& b) { return proc.write(fd, addr(b.data()), b.size()); }
    // What the card has sent so far (nothing waits).
    Bytes received(int fd) {
        Bytes b(512);
        if (!(proc.poll(fd) & POLLIN_)) return {};
        long n = proc.read(fd, addr(b.data()), b.size());
        b.resize(n > 0 ? n : 0);
        return b;
    }
    // A reader file with the card in and reset.
    int ready_reader() {
        reader().insert();
        int fd = open(major, CardReader::reader_minor);
        EXPECT_EQ(0, proc.ioctl(fd, CardReader::RESET, 0));
        return fd;
    }
    std::string last_log() { return reader().log().back(); }

    std::string out;
};

TEST_F(SmartCard, PresenceEventsAndTheReaderHangingUp) {
    int early = open(major, CardReader::presence_minor, 0);
    int waiting = open(major, CardReader::reader_minor);  // no card yet: it follows the next one
    EXPECT_EQ(0u, proc.poll(early));
    EXPECT_EQ(0u, proc.poll(waiting));
    EXPECT_EQ(-EIO, send(waiting, {0x00}));
    EXPECT_EQ(-ENXIO, proc.ioctl(waiting, CardReader::RESET, 0));

    ASSERT_TRUE(reader().insert());
    EXPECT_FALSE(reader().insert());
    int late = open(major, CardReader::presence_minor, 0);
    EXPECT_EQ(Bytes{'1'}, received(early));
    EXPECT_EQ(Bytes{'1'}, received(late));  // the state at open
    EXPECT_EQ(POLLOUT_ | POLLWRNORM_, proc.poll(waiting));
    EXPECT_EQ(0, proc.ioctl(waiting, CardReader::RESET, 0));

    ASSERT_TRUE(reader().remove());
    EXPECT_EQ(Bytes{'0'}, received(early));
    EXPECT_EQ(POLLIN_ | POLLRDNORM_ | POLLHUP_, proc.poll(waiting));
    char c;
    EXPECT_EQ(0, proc.read(waiting, addr(&c), 1));  // the end of the file
    EXPECT_EQ(-EIO, send(waiting, {0x00}));

    // Hung up for good: a new card needs a new open.
    reader().insert();
    EXPECT_EQ(-ENXIO, proc.ioctl(waiting, CardReader::RESET, 0));
    EXPECT_EQ(POLLIN_ | POLLRDNORM_ | POLLHUP_, proc.poll(waiting));
    int fresh = open(major, CardReader::reader_minor);
    EXPECT_EQ(0, proc.ioctl(fresh, CardReader::RESET, 0));
    EXPECT_EQ(-ENODEV, open(major, 2));
    EXPECT_EQ(-ENOTTY, proc.ioctl(early, CardReader::RESET, 0));
}

TEST_F(SmartCard, AtrRecordIsLaidOutForTheCallersAbi) {
    int fd = open(major, CardReader::reader_minor);
    reader().insert();
    EXPECT_EQ(-EIO, proc.ioctl(fd, CardReader::GET_ATR, 0));  // no reset yet
    ASSERT_EQ(0, proc.ioctl(fd, CardReader::RESET, 0));
    EXPECT_EQ("reset: 3B 94 11 00 53 54 42 31", last_log());

    // A program of the box: 32-bit pointers, its memory below 4 GiB.
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_32BIT
    flags |= MAP_32BIT;
#endif
    auto* mem = static_cast<uint8_t*>(mmap(nullptr, 4096, PROT_READ | PROT_WRITE, flags, -1, 0));
    ASSERT_NE(MAP_FAILED, mem);
    struct Case {
        kplat::Abi abi;
        size_t size;
        size_t data_at;
    } cases[] = {{kplat::Abi::ilp32, 8, 4}, {kplat::Abi::lp64, 16, 8}};
    for (const Case& c : cases) {
        if (c.abi == kplat::Abi::lp64 && sizeof(void*) == 4) continue;
        kplat::Process& p = kernel.spawn("box", nullptr, c.abi);
        int pfd = p.open(major, CardReader::reader_minor);
        memset(mem, 0xee, 4096);
        uint64_t data = addr(mem + 0x100);
        memcpy(mem + c.data_at, &data, c.size - c.data_at);
        ASSERT_EQ(0, p.ioctl(pfd, CardReader::GET_ATR, addr(mem)));
        EXPECT_EQ(8, mem[0]);
        EXPECT_EQ(0, mem[1]);  // T=0
        EXPECT_EQ(0xee, mem[2]);
        EXPECT_EQ(0, memcmp(mem + c.data_at, &data, c.size - c.data_at));  // the pointer as it was
        EXPECT_EQ(0xee, mem[c.size]);
        EXPECT_EQ(Bytes(board::SmartCard::default_atr), Bytes(mem + 0x100, mem + 0x108));
        EXPECT_EQ(0xee, mem[0x108]);
        kernel.exit(p);
    }
    munmap(mem, 4096);

    struct {
        unsigned char length, second, pad[2];
        unsigned char* data;
    } atr = {0, 0, {0, 0}, nullptr};
    EXPECT_EQ(-EFAULT, proc.ioctl(fd, CardReader::GET_ATR, addr(&atr)));
    unsigned char data[40];
    atr.data = data;
    ASSERT_EQ(0, card({"card", "atr", "3B", "81", "81", "31"}));  // TD1: T=1
    ASSERT_EQ(0, proc.ioctl(fd, CardReader::RESET, 0));
    ASSERT_EQ(0, proc.ioctl(fd, CardReader::GET_ATR, addr(&atr)));
    EXPECT_EQ(4, atr.length);
    EXPECT_EQ(1, atr.second);
    ASSERT_EQ(0, card({"card", "atr", "none"}));  // a card that does not answer
    ASSERT_EQ(0, proc.ioctl(fd, CardReader::RESET, 0));
    EXPECT_EQ("reset: no answer", last_log());
    EXPECT_EQ(-EIO, proc.ioctl(fd, CardReader::GET_ATR, addr(&atr)));
}

TEST_F(SmartCard, ParameterBlocksAndPpsAnswers) {
    int fd = ready_reader();
    CardReader::Params p;
    p.f = 9, p.d = 3, p.n = 2, p.t = 1;
    ASSERT_EQ(0, proc.ioctl(fd, CardReader::PRESET_PARAMS, addr(&p)));
    ASSERT_EQ(0, proc.ioctl(fd, CardReader::RESET, 0));
    CardReader::Params got;
    ASSERT_EQ(0, proc.ioctl(fd, CardReader::GET_PARAMS, addr(&got)));
    EXPECT_EQ(Bytes({1, 1, 2, 10, 0, 0, 0, 1}), Bytes(&got.f, &got.f + 8));  // F and D wait for a PPS
    EXPECT_EQ(-EFAULT, proc.ioctl(fd, CardReader::GET_PARAMS, 0));
    for (CardReader::Params bad : {CardReader::Params{7}, CardReader::Params{1, 0}, CardReader::Params{1, 10}}) {
        EXPECT_EQ(-EINVAL, proc.ioctl(fd, CardReader::PRESET_PARAMS, addr(&bad)));
        EXPECT_EQ(-EINVAL, proc.ioctl(fd, CardReader::SET_PARAMS, addr(&bad)));
    }

    // Echo: the card runs at F=9 D=3 from now on, the reader once told.
    EXPECT_EQ(4, send(fd, {0xff, 0x10, 0x93, 0x7c}));
    EXPECT_EQ(Bytes({0xff, 0x10, 0x93, 0x7c}), received(fd));
    send(fd, {0x00, 0xa4, 0x00, 0x00, 0x00});
    EXPECT_EQ("  not understood: the reader runs at F=1 D=1, the card at F=9 D=3", last_log());
    ASSERT_EQ(0, proc.ioctl(fd, CardReader::SET_PARAMS, addr(&p)));
    send(fd, {0x00, 0xa4, 0x00, 0x00, 0x00});
    EXPECT_EQ(Bytes({0x6d, 0x00}), received(fd));

    struct {
        std::vector<std::string> mode;
        Bytes request, answer;
    } cases[] = {
        {{"refuse"}, {0xff, 0x10, 0x93, 0x7c}, {0xff, 0x00, 0xff}},
        {{"short"}, {0xff, 0x10, 0x93, 0x7c}, {0xff}},
        {{"silent"}, {0xff, 0x10, 0x93, 0x7c}, {}},
        {{"echo"}, {0xff, 0x10, 0x93, 0x00}, {}},            // a bad check byte
        {{"echo"}, {0xff, 0x00, 0xff}, {0xff, 0x00, 0xff}},  // PPS0 without PPS1
        {{"FF10937C", "00"}, {0xff, 0x10, 0x93, 0x7c}, {0xff, 0x10, 0x93, 0x7c, 0x00}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"card", "pps"};
        words.insert(words.end(), c.mode.begin(), c.mode.end());
        ASSERT_EQ(0, card(words)) << out;
        ASSERT_EQ(0, proc.ioctl(fd, CardReader::RESET, 0));
        send(fd, c.request);
        EXPECT_EQ(c.answer, received(fd)) << c.mode[0];
    }
}

TEST_F(SmartCard, T0CommandsWithProcedureBytesPausesAndRemoval) {
    reader().insert();
    int fd = open(major, CardReader::reader_minor);
    send(fd, {0x00, 0xb0, 0x00, 0x00, 0x02});
    EXPECT_EQ("  not understood: the card has not been reset", last_log());
    ASSERT_EQ(0, proc.ioctl(fd, CardReader::RESET, 0));
    ASSERT_EQ(0, card({"card", "reply", "00B0000002", "0102", "9000"}));
    ASSERT_EQ(0, card({"card", "reply", "0020000100", "6983"}));
    ASSERT_EQ(0, card({"card", "reply", "00DC010402AABB", "90", "00"}));
    ASSERT_EQ(0, card({"card", "reply", "00C0000000", "mute"}));
    ASSERT_EQ(0, card({"card", "reply", "00C0000001", "silent"}));

    struct {
        Bytes sent, answer;
    } steps[] = {
        {{0x00, 0xb0, 0x00, 0x00, 0x02}, {0xb0, 0x01, 0x02, 0x90, 0x00}},  // INS, data, status
        {{0x00, 0x20, 0x00, 0x01, 0x00}, {0x69, 0x83}},                    // status words alone
        {{0x00, 0xdc, 0x01, 0x04, 0x02}, {0xdc}},                          // INS: the data may come
        {{0xaa, 0xbb}, {0x90, 0x00}},
        {{0x00, 0xdc, 0x01, 0x04, 0x02}, {0xdc}},
        {{0xaa, 0xbc}, {0x6a, 0x80}},  // data it does not know
        {{0x00, 0xc0, 0x00, 0x00, 0x00}, {}},
        {{0x00, 0xc0, 0x00, 0x00, 0x01}, {0xc0}},
        {{0x80, 0x10, 0x00, 0x00, 0x00}, {0x6d, 0x00}},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(static_cast<long>(s.sent.size()), send(fd, s.sent));
        EXPECT_EQ(s.answer, received(fd));
    }

    // A card that takes its time: the bytes come at their tick, and a
    // blocking read sleeps until then.
    ASSERT_EQ(0, card({"card", "reply", "00B0000001", "+200", "55", "+30", "9000"}));
    send(fd, {0x00, 0xb0, 0x00, 0x00, 0x01});
    EXPECT_EQ(Bytes{0xb0}, received(fd));
    kernel.advance(19);
    EXPECT_EQ(Bytes{}, received(fd));
    kernel.advance(1);
    EXPECT_EQ(Bytes{0x55}, received(fd));
    unsigned long before = kernel.jiffies();
    Bytes rest(2);
    EXPECT_EQ(2, proc.read(fd, addr(rest.data()), 2));
    EXPECT_EQ(Bytes({0x90, 0x00}), rest);
    EXPECT_EQ(before + 3, kernel.jiffies());

    // A reset drops an answer still on its way.
    send(fd, {0x00, 0xb0, 0x00, 0x00, 0x01});
    ASSERT_EQ(0, proc.ioctl(fd, CardReader::RESET, 0));
    kernel.advance(50);
    EXPECT_EQ(Bytes{}, received(fd));

    ASSERT_EQ(0, card({"card", "reply", "00B0000001", "55", "remove", "9000"}));
    send(fd, {0x00, 0xb0, 0x00, 0x00, 0x01});
    EXPECT_EQ(POLLIN_ | POLLRDNORM_ | POLLHUP_, proc.poll(fd));
    EXPECT_EQ(Bytes({0xb0, 0x55}), received(fd));  // what came before it went
    EXPECT_EQ(0, proc.read(fd, addr(rest.data()), 2));
    EXPECT_FALSE(reader().inserted());
    auto log = reader().log();
    EXPECT_EQ((std::vector<std::string>{"> 00 B0 00 00 01", "< B0", "< 55", "removed"}),
              std::vector<std::string>(log.end() - 4, log.end()));
}

TEST_F(SmartCard, ConsoleCommand) {
    EXPECT_EQ(1, card({"card", "reader", "243"}));
    EXPECT_EQ("card: reader: Device or resource busy\n", out);
    EXPECT_EQ(0, card({"card"}));
    EXPECT_EQ(
        "card: out\nanswer to reset: 3B 94 11 00 53 54 42 31\npps: echo\nreplies: 0\n"
        "reader: F=1 D=1 N=0 WI=10 T=0; open: /dev/scard 0, /dev/scard_present 0\n",
        out);
    EXPECT_EQ(1, card({"card", "remove"}));
    EXPECT_EQ("card: no card is in\n", out);

    for (std::vector<std::string> bad :
         std::vector<std::vector<std::string>>{{"card", "insert", "now"},
                                               {"card", "atr"},
                                               {"card", "atr", "3B9"},
                                               {"card", "atr", std::string(68, '3')},
                                               {"card", "pps", "+x"},
                                               {"card", "pps", "FF", "mute"},
                                               {"card", "reply", "00B00000", "9000"},
                                               {"card", "reply", "00B0000002AA", "9000"},  // P3 says 2
                                               {"card", "reply", "00B0000002"},
                                               {"card", "reply", "00B0000002", "+60001"},
                                               {"card", "log", "-x"},
                                               {"card", "reader", "0"},
                                               {"card", "frobnicate"}}) {
        EXPECT_EQ(2, card(bad)) << bad[1];
        EXPECT_NE(std::string::npos, out.find("usage: card ")) << out;
    }
    EXPECT_EQ("card: frobnicate: not understood\n", out.substr(0, out.find('\n') + 1));

    ASSERT_EQ(0, card({"card", "insert"}));
    ASSERT_EQ(0, card({"card", "pps", "FF", "+10", "10", "remove"}));
    ASSERT_EQ(0, card({"card", "reply", "00B0000002", "0102", "9000"}));
    EXPECT_EQ(0, card({"card"}));
    EXPECT_EQ("card: in, not reset\nanswer to reset: 3B 94 11 00 53 54 42 31\npps: scripted\nreplies: 1\n",
              out.substr(0, out.find("reader:")));
    EXPECT_EQ(0, card({"card", "log", "-c"}));
    EXPECT_EQ("inserted\n", out);
    EXPECT_EQ(0, card({"card", "log"}));
    EXPECT_EQ("", out);
    ASSERT_EQ(0, card({"card", "clear"}));
    EXPECT_EQ(0, card({"card"}));
    EXPECT_NE(std::string::npos, out.find("pps: echo\nreplies: 0\n")) << out;
}

TEST(SmartCardBoard, CommandsNeedTheReader) {
    bench::Bench b;
    std::string out;
    EXPECT_EQ(1, board::card_command(b.board, {"card", "insert"}, out));
    EXPECT_EQ("card: the board serves no reader (\"card reader MAJOR\" in the boot script)\n", out);
}

}  // namespace
