// The virtual board inside the box, and the front end's commands for it:
// what a bench engineer would see with a probe on the board's chips.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "board/board.h"
#include "box.h"

namespace vbox {

struct Board::Impl {
    explicit Impl(kplat::Kernel& k) : kernel(k), board(k) {}
    kplat::Kernel& kernel;
    board::Board board;
    std::atomic<unsigned> calls{0};
};

Board::Board(kplat::Kernel& kernel) : impl_(std::make_unique<Impl>(kernel)) {}
Board::~Board() = default;

// The chip models keep every transfer for inspection; a long-running box
// keeps only the recent ones.
void Board::after_call() {
    if (++impl_->calls % 1024 != 0) return;
    impl_->kernel.atomically([this] {
        auto& chip = impl_->board.scart_switch();
        if (chip.transfers().size() > 1024) chip.clear_transfers();
    });
}

bool Board::command(const std::vector<std::string>& w, std::string& out, int& status) {
    if (!w.empty() && w[0] == "loopback") {
        // The board's loop-back device served by the host, for checking
        // the path of such devices: "loopback MAJOR" in the boot script.
        char* end = nullptr;
        unsigned long major = w.size() == 2 ? strtoul(w[1].c_str(), &end, 0) : 0;
        status = 0;
        if (w.size() != 2 || *end || major == 0 || major > 254) {
            out += "usage: loopback MAJOR\n";
            status = 2;
        } else if (int r = impl_->board.add_loopback(static_cast<unsigned>(major)); r < 0) {
            out += "loopback: " + std::string(strerror(-r)) + "\n";
            status = 1;
        }
        return true;
    }
    if (w.empty() || w[0] != "scart") return false;
    auto& chip = impl_->board.scart_switch();
    status = 0;
    char line[128];
    if (w.size() == 1) {
        impl_->kernel.atomically([&] {
            out += "STV6413 at 0x4b:";
            for (size_t i = 0; i < board::Stv6413::register_count; ++i) {
                snprintf(line, sizeof line, " %02X", chip.reg(i));
                out += line;
            }
            snprintf(line, sizeof line, "\nbus writes seen: %zu\n", chip.writes().size());
            out += line;
        });
        return true;
    }
    if (w.size() == 3 && w[1] == "status") {
        char* end = nullptr;
        unsigned long v = strtoul(w[2].c_str(), &end, 0);
        if (*end || v > 0xff) {
            out += "usage: scart status BYTE\n";
            status = 2;
            return true;
        }
        impl_->kernel.atomically([&] { chip.set_status(static_cast<uint8_t>(v)); });
        return true;
    }
    if (w.size() == 3 && w[1] == "ack" && (w[2] == "on" || w[2] == "off")) {
        bool on = w[2] == "on";
        impl_->kernel.atomically([&] { chip.set_acknowledge(on); });
        return true;
    }
    out += "usage: scart [status BYTE | ack on|off]\n";
    status = 2;
    return true;
}

}  // namespace vbox
