#include "board/board.h"

namespace board {

Board::Board(kplat::Kernel& kernel, BoardConfig config)
{
    if (config.scart_switch)
        bus_.attach(Stv6413::address, stv6413_);
    // The chips are in place before the SoC's adapter appears, as at boot.
    master_ = std::make_unique<SocI2cMaster>(kernel, bus_);
}

Board::~Board()
{
    master_.reset();
}

}  // namespace board
