#include "board/micro.h"

#include "board/board.h"

namespace board {

namespace {

constexpr uint8_t len_short = 11, len_one = 19, len_two = 27, len_three = 35, len_mouse = 27;
constexpr uint8_t custom_normal = 1, custom_panel = 3;
constexpr uint8_t reversed_low = 0x05, reversed_high = 0x85;

// Byte 1 and the source's low bit in byte 2, normal layout.
void normal_source(Micro::Frame& f, uint8_t custom, uint8_t source) {
    f[1] = static_cast<uint8_t>(custom << 3 | source >> 1);
    f[2] = static_cast<uint8_t>(f[2] | (source & 1) << 7);
}

void reversed_source(Micro::Frame& f, uint8_t source) {
    f[1] = source >> 1 ? reversed_high : reversed_low;
    f[2] = static_cast<uint8_t>(f[2] | (source & 1));
}

uint8_t reversed_key(const Micro::Frame& f, int k) {
    return static_cast<uint8_t>((f[k + 1] & 0xfc) | (f[k + 2] >> 5 & 3));
}

}  // namespace

Micro::Micro(kplat::Kernel& kernel, Gpio& gpio) : kernel_(kernel), gpio_(gpio) {}

void Micro::set_version(uint8_t version) {
    kernel_.atomically([&] { version_ = version; });
}

void Micro::script_versions(std::vector<uint8_t> replies) {
    kernel_.atomically([&] { scripted_versions_.insert(scripted_versions_.end(), replies.begin(), replies.end()); });
}

Micro::Frame Micro::remote_frame(Layout layout, uint8_t code) {
    Frame f{len_one, 0, 0, 0, 0, 0, 0};
    if (layout == Layout::normal) {
        normal_source(f, custom_normal, remote);
        f[2] |= code >> 2;
        f[3] = static_cast<uint8_t>(code << 6);
    } else {
        reversed_source(f, remote);
        f[2] |= code & 0xfc;
        f[3] = static_cast<uint8_t>(code << 6);
    }
    return f;
}

Micro::Frame Micro::panel_frame(uint8_t code) {
    Frame f{len_short, 0, static_cast<uint8_t>(code >> 1), static_cast<uint8_t>(code << 7), 0, 0, 0};
    normal_source(f, custom_panel, panel);
    return f;
}

std::optional<Micro::Frame> Micro::key_frame(Layout layout, const std::vector<uint8_t>& codes) {
    static constexpr uint8_t lengths[] = {len_one, len_two, len_three};
    if (codes.empty() || codes.size() > 3) return std::nullopt;
    Frame f{lengths[codes.size() - 1], 0, 0, 0, 0, 0, 0};
    for (size_t k = 1; k <= codes.size(); ++k) {
        uint8_t c = codes[k - 1];
        if (layout == Layout::normal) {
            f[k + 1] = static_cast<uint8_t>(f[k + 1] | c >> 2);
            f[k + 2] = static_cast<uint8_t>(f[k + 2] | c << 6);
        } else {
            f[k + 1] = static_cast<uint8_t>(f[k + 1] | (c & 0xfc));
            f[k + 2] = static_cast<uint8_t>(f[k + 2] | (c & 3) << 5);
        }
    }
    if (layout == Layout::normal) {
        normal_source(f, custom_normal, keyboard);
        return f;
    }
    reversed_source(f, keyboard);
    for (size_t k = 1; k <= codes.size(); ++k)
        if (reversed_key(f, static_cast<int>(k)) != codes[k - 1]) return std::nullopt;
    return f;
}

Micro::Frame Micro::mouse_frame(Layout layout, int dx, int dy, uint8_t buttons) {
    uint8_t x = static_cast<uint8_t>(dx), y = static_cast<uint8_t>(dy), b = buttons & 7;
    Frame f{dx || dy ? len_mouse : len_short, 0, 0, 0, 0, 0, 0};
    if (layout == Layout::normal) {
        f[2] = static_cast<uint8_t>(b << 3 | x >> 5);
        f[3] = static_cast<uint8_t>(x << 3 | y >> 5);
        f[4] = static_cast<uint8_t>(y << 3);
        normal_source(f, custom_normal, mouse);
    } else {
        f[2] = static_cast<uint8_t>((x >> 5) << 5 | b << 2);
        f[3] = static_cast<uint8_t>((y >> 5) << 5 | (x & 0x1f));
        f[4] = static_cast<uint8_t>((y & 0x1f) << 2);
        reversed_source(f, mouse);
    }
    return f;
}

bool Micro::press_remote(uint8_t scancode) {
    kernel_.atomically([&] {
        if (version_ == 0) {
            push({scancode});
        } else {
            Frame f = remote_frame(layout_, scancode);
            push({f.begin(), f.end()});
        }
    });
    return true;
}

bool Micro::press_panel(uint8_t scancode) {
    bool ok = false;
    kernel_.atomically([&] {
        if (version_ == 0 || layout_ == Layout::reversed) return;
        Frame f = panel_frame(scancode);
        push({f.begin(), f.end()});
        ok = true;
    });
    return ok;
}

bool Micro::press_keys(const std::vector<uint8_t>& codes) {
    bool ok = false;
    kernel_.atomically([&] {
        if (version_ == 0) return;
        if (auto f = key_frame(layout_, codes)) {
            push({f->begin(), f->end()});
            ok = true;
        }
    });
    return ok;
}

bool Micro::move_mouse(int dx, int dy, uint8_t buttons) {
    bool ok = false;
    kernel_.atomically([&] {
        if (version_ == 0 || dx < -128 || dx > 127 || dy < -128 || dy > 127) return;
        Frame f = mouse_frame(layout_, dx, dy, buttons);
        push({f.begin(), f.end()});
        ok = true;
    });
    return ok;
}

void Micro::queue(const Frame& frame) {
    kernel_.atomically([&] { push({frame.begin(), frame.end()}); });
}

void Micro::queue_byte(uint8_t byte) {
    kernel_.atomically([&] { push({byte}); });
}

void Micro::pulse() {
    kernel_.atomically([&] { pulse_line(); });
}

void Micro::push(std::vector<uint8_t> bytes) {
    queue_.push_back(std::move(bytes));
    pulse_line();
}

void Micro::pulse_line() {
    ++pulses_;
    gpio_.drive(irq_pin, false);
    gpio_.release(irq_pin);
}

bool Micro::on_write(uint8_t byte, size_t index) {
    if (index == 0) {
        if (byte != cmd_read && byte != cmd_version && byte != cmd_reboot) return false;
        command_ = byte;
        return true;
    }
    if (command_ == cmd_reboot && index == 1) {
        reboot_timeouts_.push_back(byte);
        return true;
    }
    return false;
}

void Micro::on_start(bool read) {
    reply_.clear();
    if (!read) {
        command_ = 0xff;
        return;
    }
    if (command_ == cmd_version) {
        ++version_queries_;
        uint8_t v = version_;
        if (!scripted_versions_.empty()) {
            v = scripted_versions_.front();
            scripted_versions_.pop_front();
        }
        reply_ = {v};
    } else if (command_ == cmd_read) {
        if (queue_.empty()) {
            ++empty_reads_;
            reply_.assign(version_ == 0 ? 1 : 7, 0xff);
        } else {
            reply_ = std::move(queue_.front());
            queue_.pop_front();
            ++frames_read_;
            read_frame_ = true;
        }
    }
}

uint8_t Micro::on_read(size_t index) { return index < reply_.size() ? reply_[index] : 0xff; }

void Micro::on_stop() {
    // The next frame is signalled once this one is taken.
    if (read_frame_ && !queue_.empty()) pulse_line();
    read_frame_ = false;
    command_ = 0xff;
}

ActivityLed::ActivityLed(kplat::Kernel& kernel, Gpio& gpio) : kernel_(kernel), gpio_(gpio) {
    gpio_.watch([this](unsigned p, bool level) {
        if (p == pin) history_.push_back({kernel_.jiffies(), !level});
    });
}

bool ActivityLed::lit() const { return !gpio_.level(pin); }

// The micro-controller on the SoC's I2C bus with its interrupt line, and
// the LED beside it.
void fit_micro(Board& board) {
    board.fit(
        std::make_unique<Micro>(board.kernel(), board.gpio()),
        Placement().i2c(Micro::address).pin(Micro::irq_pin, "micro-controller interrupt (a low pulse per frame)"));
    board.fit(std::make_unique<ActivityLed>(board.kernel(), board.gpio()),
              Placement().pin(ActivityLed::pin, "activity LED (low: lit)"));
}

}  // namespace board
