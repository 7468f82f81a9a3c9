// The box's smart-card reader and the card in it. The reader's driver is
// not part of the box's software, so the host serves its two device nodes
// under one major:
//
//     minor 0, /dev/scard           bytes to and from the card, and the
//                                   driver's requests (below)
//     minor 1, /dev/scard_present   one byte per event: '1' the card went
//                                   in, '0' it came out; a file opened
//                                   with the card in starts with a '1'
//
// The reader's poll: readable (POLLIN) when the card has sent bytes; once
// the card has been taken out, a reader file stays hung up (POLLIN |
// POLLHUP; reads give what the card sent before it went, then the end of
// the file; writes -EIO, card requests -ENXIO or -EIO) until it is closed: a program opens the reader again after
// the next insertion. A file opened while no card is in follows the next
// card put in. Through the virtual box's bridge a program's read, write and
// poll reach this driver when it makes them: it sees the hang-up, the
// refused writes and the end of the file as on the box.
//
// Requests (numbered as the box's driver has them):
//     0x20005300  reset the card; what it answers is the new ATR
//                 (-ENXIO: no card, or the file is hung up)
//     0x20005303  apply a parameter block (-EINVAL: F, D or T unknown)
//     0x20005304  fetch the ATR into { u8 length; u8 second; u8 pad[2];
//                 char *data; } (8 bytes on the box, 16 on a 64-bit host);
//                 second is the card's first protocol (T of TD1, else 0);
//                 -EIO when the card gave no ATR since its last reset
//     0x20005305  read the parameter block
//     0x20005306  hand over a parameter block before a reset: the reset
//                 takes its N, WI and T; F and D start at 1 and 1 (Fd, Dd)
//                 until a block is applied after a negotiation
// The parameter block (8 bytes): F index, D index, N (extra guard time),
// WI (work waiting integer), three reserved bytes, protocol T.
//
// The card is a T=0 card (ISO/IEC 7816-3) that answers at once unless told
// to take its time:
// - after a reset it sends nothing until the reader writes; its ATR goes to
//   the reader (request 0x20005304);
// - a PPS request (FF first after a reset) with a good check byte is
//   answered as set: echoed (the card then runs at the new F and D),
//   refused (FF, PPS0 without PPS1, check byte), not at all, a lone FF, or
//   a scripted reply; a bad check byte gets no answer;
// - a command header (5 bytes) is looked up among the scripted replies.
//   A command scripted with data (header and P3 bytes) is acknowledged with
//   the procedure byte INS, takes its data and sends the reply; a command
//   scripted as a header alone gets INS and then the reply, unless the reply
//   is two bytes (status words alone, sent as they are). An unknown header
//   gets 6D 00, unknown data 6A 80;
// - bytes written before the card's first reset, or at an F and D other than
//   the card's, are not understood (the log says so).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "kplat/chrdev.h"
#include "kplat/kernel.h"
#include "kplat/timer.h"

namespace board {

class Board;

// What a card does, step by step.
struct CardStep {
    enum Kind : uint8_t { bytes, pause, remove, mute } kind;
    std::vector<uint8_t> data;  // bytes
    unsigned ms = 0;            // pause
};
using CardScript = std::vector<CardStep>;

// Words of a reply, as the console takes them: hex bytes ("9000", "90 00"),
// "+MS" (a pause of MS milliseconds, up to 60000), "remove" (the card is
// taken out there), "silent" (nothing: an empty reply), "mute" (alone: not
// even a procedure byte). false with a message for anything else.
bool parse_card_script(const std::vector<std::string>& words, size_t from, CardScript& out, std::string& error);
// Hex bytes, spaces allowed between them ("3B 94 11", "3b9411").
bool parse_hex(const std::vector<std::string>& words, size_t from, std::vector<uint8_t>& out);

class SmartCard {
public:
    enum class Pps { echo, refuse, silent, lone_ff, scripted };
    static const std::vector<uint8_t> default_atr;

    std::vector<uint8_t> atr = default_atr;  // empty: no answer to a reset
    Pps pps = Pps::echo;
    CardScript pps_reply;  // Pps::scripted

    // apdu: a header, or a header and its P3 data bytes. Replaces the reply
    // of the same command.
    void set_reply(const std::vector<uint8_t>& apdu, const CardScript& reply);
    size_t replies() const { return replies_.size(); }
    void clear_replies() { replies_.clear(); }

    // Power and reset: the card starts its session over.
    void reset();
    void power_off();
    bool powered() const { return powered_; }
    // The transmission factors the card runs at (indices, 1 and 1 after a
    // reset).
    uint8_t f() const { return f_; }
    uint8_t d() const { return d_; }

    // A byte from the reader; the card's answer, if this byte completes a
    // message, is appended to out.
    void receive(uint8_t byte, CardScript& out);

private:
    enum class Phase { header, pps, data };
    struct Reply {
        std::vector<uint8_t> apdu;
        CardScript script;
    };
    void answer_pps(CardScript& out);
    void answer_header(CardScript& out);
    void answer_data(CardScript& out);

    std::vector<Reply> replies_;
    bool powered_ = false;
    bool first_ = true;  // nothing received since the reset: a PPS may come
    Phase phase_ = Phase::header;
    std::vector<uint8_t> in_;
    size_t want_ = 0;
    uint8_t f_ = 1, d_ = 1;
};

// The reader with its card slot: two host devices under one major.
class CardReader : public kplat::CharDevice {
public:
    static constexpr const char* model_name = "card_reader";
    static constexpr const char* device_name = "scard";
    static constexpr unsigned RESET = 0x20005300, SET_PARAMS = 0x20005303, GET_ATR = 0x20005304,
                              GET_PARAMS = 0x20005305, PRESET_PARAMS = 0x20005306;
    static constexpr unsigned reader_minor = 0, presence_minor = 1;
    struct Params {
        uint8_t f = 1, d = 1, n = 0, wi = 10, reserved[3] = {0, 0, 0}, t = 0;
    };
    static_assert(sizeof(Params) == 8, "the driver's parameter block");
    static constexpr size_t log_limit = 2000;  // lines kept

    explicit CardReader(kplat::Kernel& kernel);
    ~CardReader() override;

    // The slot; false when the card is already in (out).
    bool insert();
    bool remove();
    bool inserted();
    // Changes to the card (ATR, PPS behaviour, replies) under the CPU.
    void with_card(const std::function<void(SmartCard&)>& fn);
    // One line per event: "inserted", "reset: 3B ...", "> FF 10 11 EE" (to
    // the card), "< FF 10 11 EE" (from it), "pause 200 ms", ...
    std::vector<std::string> log();
    void clear_log();
    Params params();
    std::string status();

    int open(kplat::File& file) override;
    int release(kplat::File& file) override;
    long read(kplat::File& file, unsigned long buf, unsigned long count) override;
    long write(kplat::File& file, unsigned long buf, unsigned long count) override;
    unsigned poll(kplat::File& file, kplat::PollTable& table) override;
    long ioctl(kplat::File& file, unsigned cmd, unsigned long arg) override;

private:
    struct OpenFile {
        unsigned minor;
        bool hung = false;            // reader: the card went out while open
        std::deque<uint8_t> pending;  // presence: events; hung reader: what
                                      // the card sent before it went out
    };
    void note(std::string line);
    void play();  // runs the card's answer up to its next pause
    void take_out();
    void to_presence(uint8_t event);
    long card_request(OpenFile& f, kplat::File& file, unsigned cmd, unsigned long arg);

    kplat::Kernel& kernel_;
    kplat::WaitQueue ready_;
    kplat::Timer pause_;
    SmartCard card_;
    bool inserted_ = false;
    std::set<OpenFile*> files_;
    std::deque<uint8_t> rx_;       // from the card, not read yet
    std::deque<CardStep> answer_;  // the card's answer still to come
    std::vector<uint8_t> atr_;     // from the last reset
    bool atr_valid_ = false;
    Params preset_, params_;
    std::deque<std::string> log_;
};

// The console's `card` command on the board's reader: "card" (state),
// "card reader MAJOR" (the boot script: serve the reader), "card
// insert|remove", "card atr HEX|none", "card pps echo|refuse|silent|short|
// REPLY...", "card reply APDU-HEX REPLY...", "card clear", "card log [-c]".
// Returns the exit status; what it prints goes to out.
int card_command(Board& board, const std::vector<std::string>& words, std::string& out);

}  // namespace board
