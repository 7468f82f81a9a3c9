#include "board/i2c.h"

namespace board {

std::vector<std::vector<uint8_t>> I2cDevice::writes() const {
    std::vector<std::vector<uint8_t>> out;
    for (const I2cTransfer& t : transfers_)
        for (const I2cMessage& m : t.messages)
            if (!m.read) out.push_back(m.data);
    return out;
}

I2cMessage* I2cDevice::message() {
    if (!in_transfer_ || transfers_.empty() || transfers_.back().messages.empty()) return nullptr;
    return &transfers_.back().messages.back();
}

bool I2cDevice::start(bool read) {
    if (!in_transfer_) {
        transfers_.emplace_back();
        in_transfer_ = true;
    }
    I2cMessage m;
    m.read = read;
    m.acked = ack_;
    transfers_.back().messages.push_back(std::move(m));
    index_ = 0;
    if (!ack_) return false;
    on_start(read);
    return true;
}

bool I2cDevice::write(uint8_t byte) {
    I2cMessage* m = message();
    if (!m) return false;
    m->data.push_back(byte);
    bool ok = ack_ && (nack_from_ < 0 || index_ < static_cast<size_t>(nack_from_)) && on_write(byte, index_);
    ++index_;
    if (!ok) m->acked = false;
    return ok;
}

uint8_t I2cDevice::read(bool master_ack) {
    (void)master_ack;
    I2cMessage* m = message();
    uint8_t byte = ack_ && m ? on_read(index_++) : 0xff;
    if (m) m->data.push_back(byte);
    return byte;
}

void I2cDevice::stop() {
    if (!in_transfer_) return;
    in_transfer_ = false;
    on_stop();
}

I2cDevice* I2cBus::device(uint8_t addr) const {
    auto it = devices_.find(addr);
    return it == devices_.end() ? nullptr : it->second;
}

bool I2cBus::start(uint8_t addr, bool read) {
    active_ = device(addr);
    if (!active_) return false;
    bool seen = false;
    for (I2cDevice* d : since_start_) seen = seen || d == active_;
    if (!seen) since_start_.push_back(active_);
    return active_->start(read);
}

bool I2cBus::write(uint8_t byte) { return active_ ? active_->write(byte) : false; }

uint8_t I2cBus::read(bool master_ack) { return active_ ? active_->read(master_ack) : 0xff; }

void I2cBus::stop() {
    for (I2cDevice* d : since_start_) d->stop();
    since_start_.clear();
    active_ = nullptr;
}

}  // namespace board
