// libsmcard against the box's reader and card, run inside a virtual box
// (smcard_test starts one): a program of the box with the two callbacks,
// scripting the card through the box's console (card ...) between calls.
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "admin.h"
#include "smcard.h"

namespace {

int inserted_calls = 0, removed_calls = 0;

}  // namespace

extern "C" void HD_CardInserted(void) { ++inserted_calls; }
extern "C" void HD_CardRemoved(void) { ++removed_calls; }

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string hex(const Bytes& b) {
    std::string s;
    char x[3];
    for (unsigned char c : b) {
        snprintf(x, sizeof x, "%02X", c);
        s += x;
    }
    return s;
}

// The parameter block of the box's reader: F, D, N, WI, three reserved, T.
struct Params {
    unsigned char f = 1, d = 1, n = 0, wi = 10, reserved[3] = {0, 0, 0}, t = 0;
};

class Card : public ::testing::Test {
protected:
    void SetUp() override {
        // The library as a program finds it at start.
        if (presence >= 0) SCARD_Close(presence);
        presence = -1;
        SCARD_Term();
        vbox::admin(vbox::box_dir(), "card remove");
        console("card clear");
        console("card log -c");
        inserted_calls = removed_calls = 0;
    }

    std::string console(const std::string& line) {
        auto r = vbox::admin(vbox::box_dir(), line);
        EXPECT_TRUE(r.reached && r.status == 0) << line << ": " << r.text;
        return r.text;
    }
    std::vector<std::string> card_log() {
        std::vector<std::string> lines;
        std::string text = console("card log");
        for (size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
            lines.push_back(text.substr(at, nl - at));
        return lines;
    }
    bool logged(const std::string& line) {
        auto log = card_log();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    // The event reaches the presence descriptor through the box.
    static bool event_waiting(int fd) {
        struct pollfd p = {fd, POLLIN, 0};
        return poll(&p, 1, 5000) == 1;
    }
    // The card goes in and the program takes the insertion: the reader is
    // open. With reset, the card is reset too.
    void insert(bool reset = true) {
        presence = SCARD_Open();
        ASSERT_GE(presence, 0);
        console("card insert");
        ASSERT_TRUE(event_waiting(presence));
        ASSERT_EQ(0, SCARD_Status(presence));
        ASSERT_EQ(1, inserted_calls);
        unsigned char data[255], length, second;
        if (reset) { ASSERT_EQ(0, HD_ResetCard(data, &length, &second)); }
    }
    // Reader files open in the box, once the box has caught up with the
    // program's opens and closes (a close reaches it a moment later).
    std::string reader_files(const std::string& expected) {
        std::string n;
        for (auto start = Clock::now(); ms_since(start) < 5000; usleep(2000)) {
            std::string status = console("card");
            size_t at = status.find("/dev/scard ");
            n = at == std::string::npos ? "?" : status.substr(at + 11, 1);
            if (n == expected) break;
        }
        return n;
    }

    // A command gets its own answer: card and program are in step.
    void expect_in_step() {
        console("card reply 0020000100 9000");
        unsigned char status[2];
        int n = 0;
        EXPECT_EQ(0, HD_CardioCommand(Bytes{0x00, 0x20, 0x00, 0x01, 0x00}.data(), 5, status, &n, 1, 10));
        EXPECT_EQ("9000", hex(Bytes(status, status + 2)));
    }

    static int presence;
};

int Card::presence = -1;

using Presence = Card;
using Reset = Card;
using Pps = Card;
using PpsSilent = Card;
using Command = Card;
using Lifecycle = Card;

TEST_F(Presence, StatusTakesEventsOfItsOwnDescriptorOnly) {
    EXPECT_EQ(17, SCARD_Status(-1));
    presence = SCARD_Open();
    ASSERT_GE(presence, 0);
    EXPECT_EQ(presence, SCARD_Open());      // kept, not opened again
    EXPECT_EQ(17, SCARD_Status(presence));  // no event within 10 ms

    console("card insert");
    ASSERT_TRUE(event_waiting(presence));
    int other = dup(presence);
    EXPECT_EQ(17, SCARD_Status(other));
    EXPECT_EQ("0", reader_files("0"));  // untouched
    EXPECT_EQ(0, inserted_calls);
    EXPECT_EQ(0, SCARD_Status(presence));  // the event was still there
    EXPECT_EQ(1, inserted_calls);
    EXPECT_EQ("1", reader_files("1"));
    int reader = SCARD_Init();
    EXPECT_GE(reader, 0);
    EXPECT_EQ(reader, SCARD_Init());

    console("card remove");
    ASSERT_TRUE(event_waiting(presence));
    EXPECT_EQ(0, SCARD_Status(presence));
    EXPECT_EQ(1, removed_calls);
    EXPECT_EQ("0", reader_files("0"));

    // A removal with the reader closed already is reported all the same.
    console("card insert");
    ASSERT_TRUE(event_waiting(presence));
    EXPECT_EQ(0, SCARD_Status(presence));
    SCARD_Term();
    console("card remove");
    ASSERT_TRUE(event_waiting(presence));
    EXPECT_EQ(0, SCARD_Status(presence));
    EXPECT_EQ(2, removed_calls);
    EXPECT_EQ(2, inserted_calls);
    close(other);
}

TEST_F(Presence, CheckCardPresence) {
    EXPECT_EQ(17, HD_CheckCardPresence());
    insert();
    auto start = Clock::now();
    EXPECT_EQ(34, HD_CheckCardPresence());  // nothing for 1000 ms
    EXPECT_GE(ms_since(start), 1000);
    console("card remove");
    EXPECT_EQ(51, HD_CheckCardPresence());  // the reader hung up
}

TEST_F(Reset, ResetCardCopiesTheAtrAndItsTwoRefusals) {
    unsigned char data[255], length = 0, second = 9;
    EXPECT_EQ(17, HD_ResetCard(data, &length, &second));
    insert(false);
    // The record the driver fills: 8 bytes on the box, pointer last.
    EXPECT_EQ(2 * sizeof(void*), sizeof atr);
    ASSERT_EQ(0, HD_ResetCard(data, &length, &second));
    EXPECT_EQ(8, length);
    EXPECT_EQ(0, second);  // T=0
    EXPECT_EQ("3B94110053544231", hex(Bytes(data, data + 8)));
    EXPECT_EQ(8, atr.length);
    ASSERT_NE(nullptr, atr.data);
    EXPECT_EQ(0, memcmp(atr.data, data, 8));

    console("card atr 3B 81 81 31");  // TD1: T=1
    ASSERT_EQ(0, HD_ResetCard(data, &length, &second));
    EXPECT_EQ(4, length);
    EXPECT_EQ(1, second);

    console("card atr none");  // the reset goes through, the card says nothing
    EXPECT_EQ(17, HD_ResetCard(data, &length, &second));
    console("card remove");  // the reader refuses the reset
    EXPECT_EQ(51, HD_ResetCard(data, &length, &second));
}

TEST_F(Reset, GetUartParams) {
    Params p;
    EXPECT_EQ(68, HD_GetUartParams(&p));  // no reader
    insert();
    EXPECT_EQ(68, HD_GetUartParams(nullptr));
    p.f = 0xee;
    EXPECT_EQ(0, HD_GetUartParams(&p));
    EXPECT_EQ(1, p.f);
    EXPECT_EQ(10, p.wi);
}

TEST_F(Pps, EchoOfTheRequestAppliesTheParameters) {
    Params p;
    p.f = 9, p.d = 0x23, p.t = 1;         // D=3: the reader takes the low four bits
    EXPECT_EQ(17, HD_SetUartParams(&p));  // no reader
    insert();
    console("card log -c");
    EXPECT_EQ(0, HD_SetUartParams(&p));
    // FF, T | 0x10, F << 4 | D, and the XOR of the three.
    EXPECT_TRUE(logged("> FF 11 93 7D"));
    EXPECT_TRUE(logged("< FF 11 93 7D"));
    EXPECT_TRUE(logged("params applied: F=9 D=3 N=0 WI=10 T=1"));
    Params now;
    ASSERT_EQ(0, HD_GetUartParams(&now));
    EXPECT_EQ(9, now.f);
    EXPECT_EQ(3, now.d);
    expect_in_step();  // the card understands the reader at the new rate
}

TEST_F(Pps, RepliesThatFailResetTheCard) {
    Params p;
    p.f = 9, p.d = 3;
    insert();
    for (const char* reply : {"FF10937C00", "refuse"}) {  // five bytes; a byte that differs
        console(std::string("card pps ") + reply);
        console("card log -c");
        EXPECT_EQ(17, HD_SetUartParams(&p)) << reply;
        auto log = card_log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ("reset: 3B 94 11 00 53 54 42 31", log.back()) << reply;
        Params now;
        ASSERT_EQ(0, HD_GetUartParams(&now));
        EXPECT_EQ(1, now.f) << reply;
    }
    console("card pps short");  // one byte: nothing to compare
    EXPECT_EQ(0, HD_SetUartParams(&p));
    console("card pps 3F10937C");  // the first byte is not compared
    EXPECT_EQ(0, HD_SetUartParams(&p));
}

TEST_F(Pps, RefusalsAndAnUnreadableReply) {
    Params bad;
    bad.f = 7;  // no such F
    insert();
    console("card log -c");
    EXPECT_EQ(51, HD_SetUartParams(&bad));
    EXPECT_TRUE(card_log().empty());  // nothing sent

    // The card goes away after one byte: no reset (there is no card to reset).
    Params p;
    console("card pps FF remove");
    EXPECT_EQ(17, HD_SetUartParams(&p));
    auto log = card_log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("removed", log.back());
    EXPECT_EQ(51, HD_SetUartParams(&p));  // the reader refuses now
}

TEST_F(PpsSilent, ASilentCardIs17WithAResetAfterTheWait) {
    Params p;
    insert();
    console("card pps silent");
    console("card log -c");
    auto start = Clock::now();
    EXPECT_EQ(17, HD_SetUartParams(&p));
    EXPECT_GE(ms_since(start), 5000);
    auto log = card_log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("> FF 10 11 FE", log[log.size() - 2]);
    EXPECT_EQ("reset: 3B 94 11 00 53 54 42 31", log.back());
}

TEST_F(Command, DirectionOneStatusWords) {
    unsigned char response[SCARD_MAX_RESPONSE];
    int n = 0;
    Bytes verify = {0x00, 0x20, 0x00, 0x01, 0x00};
    EXPECT_EQ(17, HD_CardioCommand(verify.data(), 5, response, &n, 1, 10));  // no reader
    insert();
    console("card reply 0020000100 6983");
    EXPECT_EQ(0, HD_CardioCommand(verify.data(), 5, response, &n, 1, 10));
    EXPECT_EQ(2, n);
    EXPECT_EQ("6983", hex(Bytes(response, response + 2)));  // the procedure byte and the next

    console("card reply 00DC010404AABBCCDD 9000");
    Bytes update = {0x00, 0xdc, 0x01, 0x04, 0x04, 0xaa, 0xbb, 0xcc, 0xdd};
    n = 0;
    EXPECT_EQ(0, HD_CardioCommand(update.data(), 9, response, &n, 1, 10));
    EXPECT_EQ(2, n);
    EXPECT_EQ("9000", hex(Bytes(response, response + 2)));
    EXPECT_TRUE(logged("> AA BB CC DD"));
}

TEST_F(Command, DirectionZeroResponsesUpToTheBound) {
    insert();
    for (size_t length : {1, 16, 256, 300}) {
        Bytes data(length);
        for (size_t i = 0; i < length; ++i) data[i] = static_cast<unsigned char>(i * 7);
        char header[16];
        snprintf(header, sizeof header, "00B00000%02X", static_cast<unsigned>(length & 0xff));
        console(std::string("card reply ") + header + " " + hex(data) + " 9000");
        Bytes read = {0x00, 0xb0, 0x00, 0x00, static_cast<unsigned char>(length & 0xff)};
        std::vector<unsigned char> response(SCARD_MAX_RESPONSE);  // exactly the room asked for
        int n = 0;
        int r = HD_CardioCommand(read.data(), 5, response.data(), &n, 0, 2);
        data.push_back(0x90);
        data.push_back(0x00);
        if (data.size() > SCARD_MAX_RESPONSE) {
            EXPECT_EQ(17, r);  // truncated
            data.resize(SCARD_MAX_RESPONSE);
        } else {
            EXPECT_EQ(0, r) << length;
        }
        ASSERT_EQ(static_cast<int>(data.size()), n) << length;
        EXPECT_EQ(data, Bytes(response.begin(), response.begin() + n)) << length;
    }
    expect_in_step();  // the rest of the long one was taken
}

TEST_F(Command, ACardThatStopsAnsweringIsGivenUpAfterTheTimeout) {
    insert();
    console("card reply 00B0000008 silent");  // the procedure byte, then nothing
    unsigned char response[SCARD_MAX_RESPONSE];
    int n = -1;
    auto start = Clock::now();
    EXPECT_EQ(17, HD_CardioCommand(Bytes{0x00, 0xb0, 0x00, 0x00, 0x08}.data(), 5, response, &n, 0, 3));
    long waited = ms_since(start);
    EXPECT_GE(waited, 30);    // 3 x 10 ms
    EXPECT_LT(waited, 1500);  // tens of milliseconds, not seconds

    // The timeout counts in 16 bits: 65539 is 30 ms again. The card is
    // pulled 500 ms after its answer, which a longer wait would run into.
    console("card reply 00B0000002 AABB9000 +500 remove");
    n = -1;
    EXPECT_EQ(0, HD_CardioCommand(Bytes{0x00, 0xb0, 0x00, 0x00, 0x02}.data(), 5, response, &n, 0, 0x10003));
    ASSERT_EQ(4, n);
    EXPECT_EQ("AABB9000", hex(Bytes(response, response + n)));
}

// A byte the card sends after the exchange has stopped waiting for it is
// not taken for the answer to the next command.
TEST_F(Command, ALateByteIsNotTheNextCommandsAnswer) {
    insert();
    console("card reply 00B0000002 AABB9000 +300 61");
    unsigned char response[SCARD_MAX_RESPONSE];
    int n = -1;
    EXPECT_EQ(0, HD_CardioCommand(Bytes{0x00, 0xb0, 0x00, 0x00, 0x02}.data(), 5, response, &n, 0, 2));
    ASSERT_EQ(4, n);
    EXPECT_EQ("AABB9000", hex(Bytes(response, response + n)));
    for (auto start = Clock::now(); !logged("< 61") && ms_since(start) < 5000;) usleep(20000);
    expect_in_step();
    expect_in_step();
}

TEST_F(Command, ShortCommandsAndAShortHeaderWrite) {
    insert();
    console("card log -c");
    unsigned char response[SCARD_MAX_RESPONSE];
    int n = -1;
    Bytes three = {0x00, 0xb0, 0x00};
    EXPECT_EQ(17, HD_CardioCommand(three.data(), 3, response, &n, 1, 10));
    EXPECT_EQ(17, HD_CardioCommand(three.data(), 3, response, &n, 0, 10));
    EXPECT_EQ(-1, n);
    EXPECT_TRUE(card_log().empty());  // nothing reached the card

    // A header that runs into memory the program cannot read: the write
    // falls short and the system's error is printed after " ".
    long page = sysconf(_SC_PAGESIZE);
    auto* pages = static_cast<unsigned char*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(MAP_FAILED, pages);
    ASSERT_EQ(0, mprotect(pages + page, page, PROT_NONE));
    unsigned char* header = pages + page - 3;
    memcpy(header, three.data(), 3);
    fflush(stderr);
    int saved = dup(2);
    char path[] = "/tmp/smcard-stderr-XXXXXX";
    int err = mkstemp(path);
    ASSERT_GE(err, 0);
    dup2(err, 2);
    int r = HD_CardioCommand(header, 5, response, &n, 1, 10);
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    char text[128] = {};
    ASSERT_GE(pread(err, text, sizeof text - 1, 0), 0);
    close(err);
    unlink(path);
    munmap(pages, 2 * page);
    EXPECT_EQ(17, r);
    EXPECT_STREQ(" : Bad address\n", text);
}

TEST_F(Lifecycle, CloseTermAndInit) {
    EXPECT_EQ(17, SCARD_Close(-1));
    EXPECT_EQ(0, SCARD_Term());  // nothing open: fine
    insert(false);
    EXPECT_EQ(17, SCARD_Close(presence + 100));
    int reader = SCARD_Init();
    EXPECT_EQ(reader, SCARD_Init());
    EXPECT_EQ("1", reader_files("1"));
    EXPECT_EQ(0, SCARD_Term());
    EXPECT_EQ("0", reader_files("0"));
    EXPECT_GE(SCARD_Init(), 0);
    int old = presence;
    EXPECT_EQ(0, SCARD_Close(presence));  // the reader goes with it
    presence = -1;
    EXPECT_EQ("0", reader_files("0"));
    EXPECT_EQ(17, SCARD_Close(old));
    EXPECT_EQ(17, SCARD_Status(old));
    unsigned char data[255], length, second;
    EXPECT_EQ(17, HD_ResetCard(data, &length, &second));
}

}  // namespace
