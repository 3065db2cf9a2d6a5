// The simulated I2C bus: handles, the clock and bus cost, faults, the transfer log, and a table of
// the parts at each address. It knows parts only as devices (and gates); no device types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "device.hpp"
#include "gate.hpp"
#include "scene.hpp"
#include "sim/board.hpp"

namespace sim::detail {

inline constexpr int address_count = 128;
inline constexpr int register_span = 256;

inline bool valid_addr(int addr) {
    return addr >= 0 && addr < address_count;
}
inline bool valid_reg(int reg) {
    return reg >= 0 && reg < register_span;
}

// The fault state (see board_t's faults); all zero is no fault.
struct fault_state {
    bool bus_missing;
    bool no_permission;
    bool kernel_driver[address_count];
    bool absent[address_count];
    bool nack_register[address_count][register_span];
    std::size_t nack_transfer;
    bool stall_conversion;
    std::int16_t force[address_count][register_span];  // value + 1; 0 reads the model
};

// What sits at one address.
struct slot {
    device* part = nullptr;
    const gate* opens = nullptr;  // the part's gate to what stands behind it, if any
    int behind = -1;              // address of the gate this part sits behind; -1 on the main bus
    std::uint8_t pointer = 0;     // the part's register pointer
};

class bus {
  public:
    static constexpr int default_first_handle = 3;
    static constexpr int max_handles = 1024;
    static constexpr std::size_t max_messages = 42;  // as i2c-dev's I2C_RDWR allows

    bus() { log_.reserve(log_capacity); }

    // Empty bus at time 0: no parts, no faults, no handles, empty log, logging on.
    void power_on();

    // The table.
    void fit(int addr, device* part, const gate* opens, int behind);
    const slot& at(int addr) const { return slots_[addr]; }

    // The calls; each returns what the caller gets, failures as -errno.
    int setup(int addr);
    int addr_of(int fd) const;
    // One combined transfer; kind is what the log calls a failure of it.
    int transfer(int addr, message* msgs, std::size_t n, op kind);
    void pause(unsigned ms);
    void advance_to(std::int64_t t);
    int peek(int addr, int reg);
    void record(std::int64_t t, op kind, int addr, int reg, int value, int result);

    scene world;
    fault_state faults{};
    std::int64_t now = 0;
    int first_handle = default_first_handle;
    int handles_open = 0;
    std::vector<sim::transfer> log_;
    bool logging = true;
    std::size_t dropped = 0;
    std::size_t transfers = 0;

  private:
    // Where a transfer stops on the wire: the error, the message and byte of the first NACK (n
    // and 0 when none), the register and byte a failure is logged with, and the bits it cost.
    struct wire_stop {
        int error;
        std::size_t msg;
        std::size_t byte;
        int reg;
        int value;
        std::int64_t bits;
    };
    wire_stop on_the_wire(int addr, const message* msgs, std::size_t n, op kind);
    // The bytes as the part sees them at the end of the transfer, up to where it stopped: -errno
    // when the part refuses one, else 1 when any data byte moved, 0 when none did.
    int deliver(std::int64_t t, int addr, message* msgs, std::size_t n, const wire_stop& w);
    void advance(std::int64_t dt);
    bool acknowledges(int addr) const;

    slot slots_[address_count];
    int handle_addr_[max_handles] = {};
};

}  // namespace sim::detail
