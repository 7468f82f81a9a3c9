// The front-panel micro-controller at I2C 0x32: it receives the infrared
// remote control, the keyboard with its pointing device and the front-panel
// keys, queues what it receives as frames, and signals each frame on its
// interrupt line, GPIO 9.
//
// Its I2C commands, each a write of the command byte, then (for a query) a
// read after a repeated start:
//
//     0x01, read 1 byte     protocol version (0, 1 or 2)
//     0x00, read 1 byte     version 0: the next remote scancode; 0xFF = none
//     0x00, read 7 bytes    versions 1 and 2: the next frame; 0xFF... = none
//     0x02, SECONDS         reboot timeout
//
// Other command bytes are not acknowledged. A read past a reply gives 0xFF.
//
// The interrupt line is a pulse: the micro-controller pulls GPIO 9 low for
// a moment whenever it queues a frame and after every frame read that
// leaves another one waiting. With both edges of GPIO 9 enabled, the
// falling edge raises the interrupt and the rising edge, coming before the
// driver acknowledges it, is not seen: one interrupt for each pulse, and
// no empty reads when the driver reads one frame per interrupt.
//
// Frames of versions 1 and 2 are 7 bytes: byte 0 is the frame's length in
// bits, the rest as the two layouts below lay them out (bit 7 is a byte's
// most significant bit). The encoders build what the micro-controller
// would send; lengths: remote 19, front panel 11, keyboard 19/27/35 for
// one/two/three codes, mouse 27 with motion and 11 without.
//
// Normal layout (byte 1 = custom ID << 3 | source >> 1; the remote and the
// keyboard use custom ID 1, the front panel custom ID 3):
//     source      byte 1 bit 0 (high), byte 2 bit 7 (low): 0 keyboard,
//                 1 mouse, 2 remote, 3 front panel
//     code k      byte k+1 bits 5-0, byte k+2 bits 7-6 (remote: code 1)
//     buttons     byte 2 bits 5-3;  X: byte 2 bits 2-0, byte 3 bits 7-3;
//                 Y: byte 3 bits 2-0, byte 4 bits 7-3 (two's complement)
//     panel code  byte 2 bits 6-0, byte 3 bit 7
//
// Reversed layout (a micro-controller that sends its bits the other way
// round; byte 1 is 0x85 for the remote and 0x05 for the keyboard and the
// mouse, custom ID 2):
//     source      byte 1 bit 7 (high), byte 2 bit 0 (low)
//     remote      byte 2 bits 7-2, byte 3 bits 7-6
//     key code k  byte k+1 bits 7-2, byte k+2 bits 6-5; neighbouring codes
//                 share bits, so not every chord can be sent
//     buttons     byte 2 bits 4-2;  X: byte 2 bits 7-5, byte 3 bits 4-0;
//                 Y: byte 3 bits 7-5, byte 4 bits 6-2
//     there is no front-panel frame.
//
// Version 0 frames are one byte, a remote scancode.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "board/soc_gpio.h"
#include "board/i2c.h"
#include "kplat/kernel.h"

namespace board {

class Micro : public I2cDevice {
public:
    static constexpr const char* model_name = "micro";
    static constexpr uint8_t address = 0x32;
    static constexpr unsigned irq_pin = 9;
    static constexpr uint8_t cmd_read = 0x00, cmd_version = 0x01, cmd_reboot = 0x02;

    enum class Layout { normal, reversed };
    enum Source : uint8_t { keyboard = 0, mouse = 1, remote = 2, panel = 3 };
    using Frame = std::array<uint8_t, 7>;

    Micro(kplat::Kernel& kernel, Gpio& gpio);

    // The protocol version it reports, and its frame layout. A driver
    // learns them when it attaches.
    void set_version(uint8_t version);
    uint8_t version() const { return version_; }
    void set_layout(Layout layout) { layout_ = layout; }
    Layout layout() const { return layout_; }
    // Answers for the next version queries, before the version itself (a
    // micro-controller that is still starting).
    void script_versions(std::vector<uint8_t> replies);

    // Queue a frame and signal it. The encoders return false (and queue
    // nothing) for what this micro-controller cannot send: front-panel,
    // keyboard and mouse frames at version 0, the front panel in the
    // reversed layout, a reversed chord whose codes do not fit together.
    bool press_remote(uint8_t scancode);
    bool press_panel(uint8_t scancode);
    bool press_keys(const std::vector<uint8_t>& codes);  // 1 to 3 codes
    bool move_mouse(int dx, int dy, uint8_t buttons);    // dx, dy: -128..127
    void queue(const Frame& frame);                      // as it is
    void queue_byte(uint8_t byte);                       // version 0
    // A pulse without a frame (the reads it causes find nothing).
    void pulse();

    // The encoders themselves.
    static Frame remote_frame(Layout layout, uint8_t code);
    static Frame panel_frame(uint8_t code);
    static std::optional<Frame> key_frame(Layout layout, const std::vector<uint8_t>& codes);
    static Frame mouse_frame(Layout layout, int dx, int dy, uint8_t buttons);

    size_t queued() const { return queue_.size(); }
    unsigned long frames_read() const { return frames_read_; }
    unsigned long empty_reads() const { return empty_reads_; }
    unsigned long version_queries() const { return version_queries_; }
    unsigned long pulses() const { return pulses_; }
    // The reboot timeouts set, in seconds, in order.
    const std::vector<uint8_t>& reboot_timeouts() const { return reboot_timeouts_; }

protected:
    bool on_write(uint8_t byte, size_t index) override;
    void on_start(bool read) override;
    uint8_t on_read(size_t index) override;
    void on_stop() override;

private:
    void push(std::vector<uint8_t> bytes);
    void pulse_line();

    kplat::Kernel& kernel_;
    Gpio& gpio_;
    uint8_t version_ = 2;
    Layout layout_ = Layout::normal;
    std::deque<uint8_t> scripted_versions_;
    std::deque<std::vector<uint8_t>> queue_;
    uint8_t command_ = 0xff;
    std::vector<uint8_t> reply_;
    bool read_frame_ = false;  // this transfer took a frame
    unsigned long frames_read_ = 0, empty_reads_ = 0, version_queries_ = 0, pulses_ = 0;
    std::vector<uint8_t> reboot_timeouts_;
};

// The activity LED on GPIO 14, lit while the pin is driven low.
class ActivityLed {
public:
    static constexpr const char* model_name = "activity_led";
    static constexpr unsigned pin = 14;
    struct Change {
        unsigned long jiffies;
        bool lit;
        bool operator==(const Change& o) const { return jiffies == o.jiffies && lit == o.lit; }
    };

    ActivityLed(kplat::Kernel& kernel, Gpio& gpio);
    bool lit() const;
    // Every change with its tick.
    const std::vector<Change>& history() const { return history_; }
    void clear_history() { history_.clear(); }

private:
    kplat::Kernel& kernel_;
    Gpio& gpio_;
    std::vector<Change> history_;
};

}  // namespace board
