// I2C on the virtual board: chips on a bus, seen as the wires see them
// (start, address, bytes, stop), so that a message-level master (the SoC's)
// and a bit-banged one drive the same models.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace board {

struct I2cMessage {
    bool read = false;
    std::vector<uint8_t> data;  // written by the master, or read by it
    bool acked = true;          // address and every written byte acknowledged
};

// Start to stop.
struct I2cTransfer {
    std::vector<I2cMessage> messages;
};

// A chip on a bus. It records every message addressed to it.
class I2cDevice {
public:
    virtual ~I2cDevice() = default;

    // false: the chip answers nothing, not even its own address.
    void set_acknowledge(bool on) { ack_ = on; }
    // Written data bytes from this index of a message on are not
    // acknowledged (a chip that fails half way); -1: all are.
    void nack_from(int index) { nack_from_ = index; }

    const std::vector<I2cTransfer>& transfers() const { return transfers_; }
    // The data of every write message, in order.
    std::vector<std::vector<uint8_t>> writes() const;
    void clear_transfers() { transfers_.clear(); }

    // The bus side. start() is a start or a repeated start with this chip's
    // address; it and write() return the chip's acknowledge. read() returns
    // the next byte; master_ack is the master's answer to it.
    bool start(bool read);
    bool write(uint8_t byte);
    uint8_t read(bool master_ack);
    void stop();

protected:
    // The chip's behaviour; index is the byte's place in its message.
    virtual void on_start(bool read) { (void)read; }
    virtual bool on_write(uint8_t byte, size_t index) = 0;
    virtual uint8_t on_read(size_t index) = 0;
    virtual void on_stop() {}

private:
    I2cMessage* message();
    bool ack_ = true;
    int nack_from_ = -1;
    bool in_transfer_ = false;
    size_t index_ = 0;
    std::vector<I2cTransfer> transfers_;
};

// The wires: chips by 7-bit address. An address without a chip is not
// acknowledged and reads as 0xff (the pull-up).
class I2cBus {
public:
    void attach(uint8_t addr, I2cDevice& device) { devices_[addr] = &device; }
    void detach(uint8_t addr) { devices_.erase(addr); }
    I2cDevice* device(uint8_t addr) const;

    // The master side.
    bool start(uint8_t addr, bool read);
    bool write(uint8_t byte);
    uint8_t read(bool master_ack);
    void stop();

private:
    std::map<uint8_t, I2cDevice*> devices_;
    I2cDevice* active_ = nullptr;          // the chip addressed last
    std::vector<I2cDevice*> since_start_;  // chips addressed since the start
};

}  // namespace board
