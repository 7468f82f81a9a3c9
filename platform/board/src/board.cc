#include "board/board.h"

#include <cerrno>

namespace board {

Board::Board(kplat::Kernel& kernel, BoardConfig config)
    : kernel_(kernel), bus_(kernel), gpio_(bus_), irq_(kernel, bus_, gpio_), micro_(kernel, gpio_),
      led_(kernel, gpio_)
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
    master_.reset();
}

int Board::add_loopback(unsigned major)
{
    if (loopback_)
        return -EBUSY;
    auto dev = std::make_unique<Loopback>(kernel_);
    int r = kernel_.register_chrdev(major, "loopback", *dev);
    if (r < 0)
        return r;
    loopback_major_ = major ? major : static_cast<unsigned>(r);
    loopback_ = std::move(dev);
    return r;
}

}  // namespace board
