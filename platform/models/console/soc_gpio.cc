// `vbox gpio` and `vbox board`: a probe on the SoC's GPIO pins and the
// board's own lines. Lists each pin with its direction, level and what
// drives it; pulls a pin from the board's side (an over-current flag, a
// strap); writes the pins' history for a logic analyser's software; swaps
// the variant strap, which the gpio driver reads when it loads.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "board/board.h"
#include "board/vcd.h"
#include "console/console.h"
#include "kplat/kernel.h"

namespace console {

namespace {

const char* driver_of(const board::Gpio& gpio, unsigned pin) {
    switch (gpio.source(pin)) {
    case board::Gpio::Source::soc: return "SoC";
    case board::Gpio::Source::board: return "board";
    case board::Gpio::Source::pull: break;
    }
    return gpio.pulled_up(pin) ? "pull-up" : "pull-down";
}

// The pins' history for a logic analyser's software.
int write_vcd(Context& ctx, const std::string& path, const std::string& name, std::string& out) {
    std::string text;
    ctx.kernel.atomically([&] { text = board::pins_vcd(ctx.board.bus(), ctx.board.gpio()); });
    FILE* f = fopen(path.c_str(), "w");
    bool ok = f && fwrite(text.data(), 1, text.size(), f) == text.size();
    int err = errno;
    if (f && fclose(f) != 0 && ok) ok = false, err = errno;
    if (ok) return 0;
    out += "gpio vcd: " + name + ": " + strerror(err) + "\n";
    return 1;
}

int gpio(Context& ctx, const std::vector<std::string>& w, std::string& out) {
    auto& pins = ctx.board.gpio();
    if (w.size() == 1) {
        ctx.kernel.atomically([&] {
            char row[160];
            out += "pin dir level driven by  on the board\n";
            for (unsigned pin = 0; pin < board::Gpio::pin_count; ++pin) {
                snprintf(row, sizeof row, "%3u %-3s %5d %-10s %s", pin, pins.output(pin) ? "out" : "in",
                         pins.level(pin) ? 1 : 0, driver_of(pins, pin), pins.name(pin).c_str());
                std::string line = row;
                line.erase(line.find_last_not_of(' ') + 1);
                out += line + "\n";
            }
        });
        return 0;
    }
    if (w.size() == 3 && w[1] == "vcd") return write_vcd(ctx, ctx.caller_path(w[2]), w[2], out);
    char* end = nullptr;
    unsigned long pin = w.size() == 4 && w[1] == "pull" ? strtoul(w[2].c_str(), &end, 10) : 0;
    if (!end || *end || w[2].empty() || pin >= board::Gpio::pin_count ||
        (w[3] != "low" && w[3] != "high" && w[3] != "release")) {
        out += "usage: gpio [pull PIN low|high|release | vcd FILE]\n";
        return 2;
    }
    ctx.kernel.atomically([&] {
        if (w[3] == "release") pins.release(static_cast<unsigned>(pin));
        else pins.drive(static_cast<unsigned>(pin), w[3] == "high");
    });
    return 0;
}

int board_cmd(Context& ctx, const std::vector<std::string>& w, std::string& out) {
    auto& lines = ctx.board.lines();
    if (w.size() == 1) {
        ctx.kernel.atomically([&] { out += std::string("variant ") + board::variant_name(lines.variant()) + "\n"; });
        return 0;
    }
    if (w.size() != 3 || w[1] != "variant" || (w[2] != "S0" && w[2] != "S1")) {
        out += "usage: board [variant S0|S1]\n";
        return 2;
    }
    board::Variant v = w[2] == "S0" ? board::Variant::s0 : board::Variant::s1;
    ctx.kernel.atomically([&] { lines.set_variant(v); });
    return 0;
}

}  // namespace

void words_gpio(Console& console) {
    console.add({"gpio", "[pull PIN low|high|release | vcd FILE]",
                 "the SoC's GPIO pins: direction, level, what drives them; a pin pulled from the board; "
                 "their history as a Value Change Dump",
                 gpio});
    console.add({"board", "[variant S0|S1]", "the board's variant strap (read by gpio when it loads)", board_cmd});
}

}  // namespace console
