// `vbox card ...` (and `card reader MAJOR` in a boot script): the smart
// card in the board's reader, for an engineer trying the box's card
// library by hand and for the tests.
#include <cstdlib>
#include <cstring>

#include "board/board.h"
#include "board/smartcard.h"
#include "console/console.h"

namespace board {

namespace {

using Words = std::vector<std::string>;

const char usage[] =
    "usage: card [insert | remove | atr HEX|none | pps echo|refuse|silent|short|REPLY...\n"
    "            | reply APDU-HEX REPLY... | clear | log [-c] | reader MAJOR]\n"
    "REPLY: hex bytes, +MS (a pause), remove (the card is taken out there), silent, mute\n";

int bad(std::string& out, const std::string& why) {
    out += "card: " + why + "\n" + usage;
    return 2;
}

int serve_reader(Board& board, const Words& w, std::string& out) {
    char* end = nullptr;
    unsigned long major = w.size() == 3 ? strtoul(w[2].c_str(), &end, 0) : 0;
    if (w.size() != 3 || *end || major == 0 || major > 254) return bad(out, "reader MAJOR: a major from 1 to 254");
    if (int r = board.serve<CardReader>(static_cast<unsigned>(major)); r < 0) {
        out += "card: reader: " + std::string(strerror(-r)) + "\n";
        return 1;
    }
    return 0;
}

int slot(CardReader& reader, const std::string& what, std::string& out) {
    if (what == "insert" ? reader.insert() : reader.remove()) return 0;
    out += what == "insert" ? "card: the card is in already\n" : "card: no card is in\n";
    return 1;
}

int set_atr(CardReader& reader, const Words& w, std::string& out) {
    std::vector<uint8_t> atr;
    if (!(w.size() == 3 && w[2] == "none") && (!parse_hex(w, 2, atr) || atr.size() > 33))
        return bad(out, "atr: 1 to 33 hex bytes, or none");
    reader.with_card([&](SmartCard& c) { c.atr = atr; });
    return 0;
}

// One of the fixed answers to a PPS request, or a scripted one.
int set_pps(CardReader& reader, const Words& w, std::string& out) {
    static const struct {
        const char* word;
        SmartCard::Pps mode;
    } modes[] = {{"echo", SmartCard::Pps::echo},
                 {"refuse", SmartCard::Pps::refuse},
                 {"silent", SmartCard::Pps::silent},
                 {"short", SmartCard::Pps::lone_ff}};
    for (const auto& m : modes)
        if (w.size() == 3 && w[2] == m.word) {
            reader.with_card([&](SmartCard& c) { c.pps = m.mode; });
            return 0;
        }
    CardScript reply;
    std::string why;
    if (!parse_card_script(w, 2, reply, why)) return bad(out, "pps: " + why);
    reader.with_card([&](SmartCard& c) {
        c.pps = SmartCard::Pps::scripted;
        c.pps_reply = reply;
    });
    return 0;
}

int set_reply(CardReader& reader, const Words& w, std::string& out) {
    std::vector<uint8_t> apdu;
    CardScript reply;
    std::string why;
    if (!parse_hex({w[2]}, 0, apdu) || apdu.size() < 5 || (apdu.size() > 5 && apdu.size() != 5u + apdu[4]))
        return bad(out, "reply: the command is a 5-byte header, or a header and its P3 data bytes");
    if (!parse_card_script(w, 3, reply, why)) return bad(out, "reply: " + why);
    reader.with_card([&](SmartCard& c) { c.set_reply(apdu, reply); });
    return 0;
}

void clear_card(CardReader& reader) {
    reader.with_card([](SmartCard& c) {
        c.atr = SmartCard::default_atr;
        c.pps = SmartCard::Pps::echo;
        c.pps_reply.clear();
        c.clear_replies();
    });
}

void show_log(CardReader& reader, bool then_clear, std::string& out) {
    for (const auto& line : reader.log()) out += line + "\n";
    if (then_clear) reader.clear_log();
}

}  // namespace

int card_command(Board& board, const Words& w, std::string& out) {
    if (w.size() >= 2 && w[1] == "reader") return serve_reader(board, w, out);
    CardReader* reader = board.served<CardReader>();
    if (!reader) {
        out += "card: the board serves no reader (\"card reader MAJOR\" in the boot script)\n";
        return 1;
    }
    if (w.size() < 2) {
        out += reader->status();
        return 0;
    }
    const std::string& what = w[1];
    if ((what == "insert" || what == "remove") && w.size() == 2) return slot(*reader, what, out);
    if (what == "atr" && w.size() > 2) return set_atr(*reader, w, out);
    if (what == "pps" && w.size() > 2) return set_pps(*reader, w, out);
    if (what == "reply" && w.size() > 3) return set_reply(*reader, w, out);
    if (what == "clear" && w.size() == 2) {
        clear_card(*reader);
        return 0;
    }
    if (what == "log" && (w.size() == 2 || (w.size() == 3 && w[2] == "-c"))) {
        show_log(*reader, w.size() == 3, out);
        return 0;
    }
    return bad(out, what + ": not understood");
}

}  // namespace board

namespace console {

void words_card(Console& console) {
    console.add({"card", "[insert|remove|atr HEX|none|pps MODE|reply APDU REPLY...|clear|log [-c]]",
                 "the smart card in the board's reader: the slot, its ATR, how it answers, the bytes exchanged",
                 [](Context& ctx, const std::vector<std::string>& words, std::string& out) {
                     return board::card_command(ctx.board, words, out);
                 }});
}

}  // namespace console
