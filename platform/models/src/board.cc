#include "board/board.h"

#include <cerrno>

namespace board {

namespace {

// A device of the host under a major (once): register_chrdev's result.
template <class Device>
int serve(kplat::Kernel& kernel, std::unique_ptr<Device>& slot, unsigned& slot_major, unsigned major,
          const char* name)
{
    if (slot)
        return -EBUSY;
    auto dev = std::make_unique<Device>(kernel);
    int r = kernel.register_chrdev(major, name, *dev);
    if (r < 0)
        return r;
    slot_major = major ? major : static_cast<unsigned>(r);
    slot = std::move(dev);
    return r;
}

}  // namespace

Board::Board(kplat::Kernel& kernel, BoardConfig config)
    : kernel_(kernel), bus_(kernel), gpio_(bus_), irq_(kernel, bus_, gpio_), micro_(kernel, gpio_),
      led_(kernel, gpio_), lines_(gpio_, config.variant), tuner_bus_(gpio_)
{
    if (config.scart_switch)
        i2c_.attach(Stv6413::address, stv6413_);
    if (config.micro)
        i2c_.attach(Micro::address, micro_);
    // The chips are in place before the SoC's adapter appears, as at boot.
    master_ = std::make_unique<SocI2cMaster>(kernel, i2c_);
}

Board::~Board()
{
    if (loopback_)
        kernel_.unregister_chrdev(loopback_major_, "loopback");
    if (card_reader_)
        kernel_.unregister_chrdev(card_reader_major_, "scard");
    master_.reset();
}

int Board::add_loopback(unsigned major)
{
    return serve(kernel_, loopback_, loopback_major_, major, "loopback");
}

int Board::add_card_reader(unsigned major)
{
    return serve(kernel_, card_reader_, card_reader_major_, major, "scard");
}

}  // namespace board
