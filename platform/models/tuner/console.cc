// `vbox tuner`: a probe on the tuner's bit-banged bus (SDA GPIO 21, SCL
// GPIO 20). Shows the transfers the TU1216L saw and the bus as its pins
// were decoded; sets its status byte, makes it stretch the clock or hold a
// line; and makes a transfer through the kernel's I2C core on the bus
// i2c-tuner registered, as the tuner's client driver would.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "board/board.h"
#include "board/tuner.h"
#include "console/console.h"
#include "kplat/kernel.h"

namespace console {

namespace {

const char usage[] = "usage: tuner [status BYTE | stretch USECS | hold sda|scl on|off | write BYTE... | read COUNT]\n";

bool number(const std::string& s, unsigned long max, unsigned long& v) {
    char* end = nullptr;
    v = strtoul(s.c_str(), &end, 0);
    return !s.empty() && s[0] != '-' && !*end && v <= max;
}

void show(Context& ctx, std::string& out) {
    ctx.kernel.atomically([&] {
        auto& bus = ctx.board.model<board::TunerBus>();
        auto& wires = bus.wires();
        char line[160];
        snprintf(line, sizeof line, "TU1216L at 0x%02x on GPIO %u (SDA) and %u (SCL): status 0x%02x\n",
                 board::Tu1216::address, wires.sda(), wires.scl(), bus.tuner().status());
        out += line;
        if (wires.stretch() || wires.holds_sda() || wires.holds_scl()) {
            snprintf(line, sizeof line, "stretches the clock %lu us; holds SDA %s, SCL %s\n", wires.stretch(),
                     wires.holds_sda() ? "low" : "no", wires.holds_scl() ? "low" : "no");
            out += line;
        }
        out += "transfers:\n";
        for (const auto& t : bus.tuner().transfers()) {
            out += " ";
            for (const auto& m : t.messages) {
                out += m.read ? " R" : " W";
                for (uint8_t b : m.data) {
                    snprintf(line, sizeof line, " %02X", b);
                    out += line;
                }
                if (!m.acked) out += " (not acknowledged)";
            }
            out += "\n";
        }
        out += "bus: " + wires.trace() + "\n";
    });
}

int transfer(Context& ctx, const std::vector<std::string>& w, std::string& out) {
    int nr = -1;
    for (const auto& a : ctx.kernel.i2c_adapters())
        if (a.name == "tuner TU1216L") nr = a.nr;
    if (nr < 0) {
        out += "tuner: no bus \"tuner TU1216L\" (is i2c-tuner loaded?)\n";
        return 1;
    }
    std::vector<uint8_t> bytes;
    unsigned long v;
    bool read = w[1] == "read";
    if (read) {
        if (w.size() != 3 || !number(w[2], 64, v) || v == 0) {
            out += usage;
            return 2;
        }
        bytes.resize(v);
    } else {
        for (size_t i = 2; i < w.size(); ++i) {
            if (!number(w[i], 0xff, v)) {
                out += usage;
                return 2;
            }
            bytes.push_back(static_cast<uint8_t>(v));
        }
    }
    kplat::I2cMsg m{board::Tu1216::address, read ? kplat::I2cMsg::read : uint16_t(0),
                    static_cast<uint16_t>(bytes.size()), bytes.data()};
    int r = ctx.kernel.i2c_transfer(nr, &m, 1);
    if (r < 0) {
        out += "tuner: transfer failed (" + std::to_string(r) + ")\n";
        return 1;
    }
    for (size_t i = 0; read && i < bytes.size(); ++i) {
        char b[8];
        snprintf(b, sizeof b, "%s%02X", i ? " " : "", bytes[i]);
        out += b;
    }
    if (read) out += "\n";
    return 0;
}

int tuner(Context& ctx, const std::vector<std::string>& w, std::string& out) {
    auto& bus = ctx.board.model<board::TunerBus>();
    unsigned long v;
    if (w.size() == 1) {
        show(ctx, out);
        return 0;
    }
    if ((w[1] == "write" && w.size() >= 3) || w[1] == "read") return transfer(ctx, w, out);
    if (w.size() == 3 && w[1] == "status" && number(w[2], 0xff, v)) {
        ctx.kernel.atomically([&] { bus.tuner().set_status(static_cast<uint8_t>(v)); });
        return 0;
    }
    if (w.size() == 3 && w[1] == "stretch" && number(w[2], 1000000, v)) {
        ctx.kernel.atomically([&] { bus.wires().set_stretch(v); });
        return 0;
    }
    if (w.size() == 4 && w[1] == "hold" && (w[2] == "sda" || w[2] == "scl") && (w[3] == "on" || w[3] == "off")) {
        bool on = w[3] == "on";
        ctx.kernel.atomically([&] { w[2] == "sda" ? bus.wires().hold_sda(on) : bus.wires().hold_scl(on); });
        return 0;
    }
    out += usage;
    return 2;
}

}  // namespace

void words_tuner(Console& console) {
    console.add({"tuner", "[status B|stretch US|hold sda|scl on|off|write B...|read N]",
                 "the tuner's bit-banged bus: transfers seen; status; clock stretch; held line; a transfer", tuner});
    // The tuner keeps every transfer; a long-running box keeps the recent.
    console.add_housekeeping([](Context& ctx) {
        ctx.kernel.atomically([&] {
            auto& chip = ctx.board.model<board::TunerBus>().tuner();
            if (chip.transfers().size() > 1024) chip.clear_transfers();
        });
    });
}

}  // namespace console
