// The box's board around the kernel platform. Destroy the Board before its
// Kernel.
//
// The SoC is the board itself, not a chip on it, and is fixed here: its
// internal bus with the GPIO banks and the interrupt routing, its I2C bus
// and master, and the board's own lines (variant strap, USB ports).
//
// The chips on the board are models that fit themselves. A model's folder
// (platform/models/NAME/, found by the board's build) says in its
// CMakeLists.txt
//
//     board_model(NAME SOURCES NAME.cc console.cc)
//
// and one of its sources defines `void board::fit_NAME(Board&)`, which
// hands the board the model and where it sits:
//
//     void fit_stv6413(Board& board)
//     {
//         board.fit(std::make_unique<Stv6413>(), Placement().i2c(Stv6413::address));
//     }
//
// The board calls every such function at power-up, in the order of the
// folders, and connects each model as its placement says, before the SoC's
// I2C adapter appears (as at boot). A model class names itself
// (`static constexpr const char* model_name = "scart_switch";`), and tests
// reach it by its type: board.model<Stv6413>().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "board/i2c.h"
#include "board/lines.h"
#include "board/soc_bus.h"
#include "board/soc_gpio.h"
#include "board/soc_i2c.h"
#include "board/soc_irq.h"
#include "kplat/chrdev.h"
#include "kplat/kernel.h"

namespace board {

struct BoardConfig {
    Variant variant = Variant::s0;
    // Models made but not fitted to their bus, by model name: a board
    // without that chip (a test may still attach it by hand later).
    std::vector<std::string> unfitted;

    static BoardConfig without(std::string model_name) {
        BoardConfig c;
        c.unfitted.push_back(std::move(model_name));
        return c;
    }
};

// Where a model sits on the board: its I2C address on the SoC's bus, its
// register range on the SoC's internal bus, the GPIO pins it uses (with
// what they are on the board, for `vbox gpio`). Any of them, or none (a
// device the host serves, a model with its own bus).
struct Placement {
    Placement& i2c(uint8_t address) {
        on_i2c = true;
        i2c_address = address;
        return *this;
    }
    Placement& bus(uint32_t base, uint32_t size) {
        bus_base = base;
        bus_size = size;
        return *this;
    }
    Placement& pin(unsigned number, std::string what) {
        pins.emplace_back(number, std::move(what));
        return *this;
    }

    bool on_i2c = false;
    uint8_t i2c_address = 0;
    uint32_t bus_base = 0, bus_size = 0;  // size 0: not on the internal bus
    std::vector<std::pair<unsigned, std::string>> pins;
};

class Board {
public:
    explicit Board(kplat::Kernel& kernel, BoardConfig config = {});
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    kplat::Kernel& kernel() { return kernel_; }

    // The SoC.
    SocBus& bus() { return bus_; }
    Gpio& gpio() { return gpio_; }
    SocInterrupts& interrupts() { return irq_; }
    I2cBus& i2c() { return i2c_; }
    SocI2cMaster& soc_i2c() { return *master_; }
    // The variant strap and the USB ports' lines.
    BoardLines& lines() { return lines_; }

    // A model fits itself (from its fit_NAME function): the board keeps it
    // and connects it as placed. An I2C placement needs an I2cDevice, a
    // bus range a kplat::Gbus; a second model of the same name, or a
    // placement the model cannot take, stops the run.
    template <class T>
    T& fit(std::unique_ptr<T> model, const Placement& where) {
        T& m = *model;
        I2cDevice* chip = nullptr;
        kplat::Gbus* regs = nullptr;
        if constexpr (std::is_base_of_v<I2cDevice, T>) chip = &m;
        if constexpr (std::is_base_of_v<kplat::Gbus, T>) regs = &m;
        keep(T::model_name, Owned(model.release(), [](void* p) { delete static_cast<T*>(p); }), where, chip, regs);
        return m;
    }

    // A model by its type; one this board lacks stops the run.
    template <class T>
    T& model() {
        return *static_cast<T*>(find(T::model_name));
    }

    // A model the host serves as a character device (a kplat::CharDevice
    // with a device_name) under a major: register_chrdev's result, once
    // (-EBUSY after). served<T>() is null until then.
    template <class T>
    int serve(unsigned major) {
        return serve_model(T::model_name, model<T>(), T::device_name, major);
    }
    template <class T>
    T* served() {
        return is_served(T::model_name) ? &model<T>() : nullptr;
    }

private:
    using Owned = std::unique_ptr<void, void (*)(void*)>;
    struct Fitted {
        const char* name;
        Owned object;
        kplat::CharDevice* device = nullptr;  // once served
        const char* device_name = nullptr;
        unsigned major = 0;
    };
    void keep(const char* name, Owned object, const Placement& where, I2cDevice* chip, kplat::Gbus* regs);
    void* find(const char* name);
    int serve_model(const char* name, kplat::CharDevice& device, const char* device_name, unsigned major);
    bool is_served(const char* name) const;
    bool unfitted(const char* name) const;

    kplat::Kernel& kernel_;
    BoardConfig config_;
    SocBus bus_;
    Gpio gpio_;
    SocInterrupts irq_;
    I2cBus i2c_;
    BoardLines lines_;
    std::vector<Fitted> models_;  // in the order they fitted
    std::unique_ptr<SocI2cMaster> master_;
};

// Every model's fit function, in the order of their folders (generated by
// the board's build).
void fit_models(Board& board);

}  // namespace board
