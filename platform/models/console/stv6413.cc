// `vbox scart`: a probe on the board's SCART switch chip. Shows its
// registers as the driver last wrote them, sets the status byte the chip
// answers with, and makes it stop acknowledging (a chip gone deaf).
#include <stdio.h>
#include <stdlib.h>

#include "board/board.h"
#include "console.h"
#include "kplat/kernel.h"

namespace vbox {

namespace {

int scart(ConsoleContext& ctx, const std::vector<std::string>& w, std::string& out) {
    auto& chip = ctx.board.scart_switch();
    char line[128];
    if (w.size() == 1) {
        ctx.kernel.atomically([&] {
            out += "STV6413 at 0x4b:";
            for (size_t i = 0; i < board::Stv6413::register_count; ++i) {
                snprintf(line, sizeof line, " %02X", chip.reg(i));
                out += line;
            }
            snprintf(line, sizeof line, "\nbus writes seen: %zu\n", chip.writes().size());
            out += line;
        });
        return 0;
    }
    if (w.size() == 3 && w[1] == "status") {
        char* end = nullptr;
        unsigned long v = strtoul(w[2].c_str(), &end, 0);
        if (*end || v > 0xff) {
            out += "usage: scart status BYTE\n";
            return 2;
        }
        ctx.kernel.atomically([&] { chip.set_status(static_cast<uint8_t>(v)); });
        return 0;
    }
    if (w.size() == 3 && w[1] == "ack" && (w[2] == "on" || w[2] == "off")) {
        bool on = w[2] == "on";
        ctx.kernel.atomically([&] { chip.set_acknowledge(on); });
        return 0;
    }
    out += "usage: scart [status BYTE | ack on|off]\n";
    return 2;
}

}  // namespace

void console_scart(Console& console) {
    console.add({"scart", "[status BYTE|ack on|off]",
                 "the board's SCART switch: its registers; its status byte; its acknowledge", scart});
    // The chip keeps every transfer for inspection; a long-running box
    // keeps only the recent ones.
    console.add_housekeeping([](ConsoleContext& ctx) {
        ctx.kernel.atomically([&] {
            auto& chip = ctx.board.scart_switch();
            if (chip.transfers().size() > 1024) chip.clear_transfers();
        });
    });
}

}  // namespace vbox
