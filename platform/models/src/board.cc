#include "board/board.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace board {

namespace {

// A board put together wrongly is the board's builder's bug, found at the
// first power-up of any test.
[[noreturn]] void miswired(const char* what, const char* name) {
    fprintf(stderr, "board: %s: %s\n", name, what);
    abort();
}

}  // namespace

Board::Board(kplat::Kernel& kernel, BoardConfig config)
    : kernel_(kernel), config_(std::move(config)), bus_(kernel), gpio_(bus_), irq_(kernel, bus_, gpio_),
      lines_(gpio_, config_.variant) {
    fit_models(*this);
    for (const auto& n : config_.unfitted) find(n.c_str());  // a name no model has is a test's slip
    // The chips are in place before the SoC's adapter appears, as at boot.
    master_ = std::make_unique<SocI2cMaster>(kernel, i2c_);
}

Board::~Board() {
    for (auto& m : models_)
        if (m.device) kernel_.unregister_chrdev(m.major, m.device_name);
    master_.reset();
    // The models go before the SoC they sit on, the last fitted first.
    while (!models_.empty()) models_.pop_back();
}

void Board::keep(const char* name, Owned object, const Placement& where, I2cDevice* chip, kplat::Gbus* regs) {
    for (const auto& m : models_)
        if (strcmp(m.name, name) == 0) miswired("a second model of this name", name);
    if (where.on_i2c && !chip) miswired("placed on the I2C bus, but not an I2C device", name);
    if (where.bus_size && !regs) miswired("placed on the internal bus, but has no registers", name);
    for (const auto& [pin, what] : where.pins) {
        if (pin >= Gpio::pin_count) miswired("placed on a pin the SoC does not have", name);
        gpio_.set_name(pin, what);
    }
    models_.push_back({name, std::move(object)});
    if (unfitted(name)) return;
    if (where.on_i2c) i2c_.attach(where.i2c_address, *chip);
    if (where.bus_size) bus_.attach(where.bus_base, where.bus_size, *regs);
}

void* Board::find(const char* name) {
    for (auto& m : models_)
        if (strcmp(m.name, name) == 0) return m.object.get();
    miswired("no such model on this board", name);
}

bool Board::unfitted(const char* name) const {
    for (const auto& n : config_.unfitted)
        if (n == name) return true;
    return false;
}

int Board::serve_model(const char* name, kplat::CharDevice& device, const char* device_name, unsigned major) {
    for (auto& m : models_) {
        if (strcmp(m.name, name) != 0) continue;
        if (m.device) return -EBUSY;
        int r = kernel_.register_chrdev(major, device_name, device);
        if (r < 0) return r;
        m.device = &device;
        m.device_name = device_name;
        m.major = major ? major : static_cast<unsigned>(r);
        return r;
    }
    miswired("no such model on this board", name);
}

bool Board::is_served(const char* name) const {
    for (const auto& m : models_)
        if (strcmp(m.name, name) == 0) return m.device != nullptr;
    return false;
}

}  // namespace board
