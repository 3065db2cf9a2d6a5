// The simulated board behind the four bus calls: handles, the simulated clock and bus cost,
// fault injection, the transfer log, and dispatch to the device models.
//
// Bus behaviour as on a Linux board with i2c-dev:
// - setup opens a handle whether or not anything answers at the address (handles count up from
//   3, like file descriptors, and are never reused); it fails only when the bus is missing, the
//   address is not a 7-bit one, a kernel driver has claimed the address (I2C_SLAVE says EBUSY),
//   or all max_handles handles are in use. It costs no bus time.
// - register numbers and data keep their low 8 bits, as the SMBus calls do.
// - a call on a handle that is not open fails at once, without bus traffic or bus time.
// - a transfer that nobody acknowledges costs the address byte (nack_addr_ns); one refused at
//   the register byte (nack_register) costs up to that byte (nack_reg_ns); the device sees
//   neither. A transfer failed by nack_transfer is treated as not acknowledged at the address.
// - a transfer takes effect at its end: the devices are brought up to that time first.
#include "sim/board.hpp"

#include <new>

#include "ak8975.hpp"
#include "hmc5883l.hpp"
#include "mpu6050.hpp"
#include "scene.hpp"

// The four calls are the library's public face: keep them visible in the shared variant.
#pragma GCC visibility push(default)
#include "i2cbus/bus.h"
#pragma GCC visibility pop

namespace sim {
namespace {

using detail::ak8975_model;
using detail::hmc5883l_model;
using detail::mpu6050_model;

constexpr int default_first_handle = 3;
constexpr int max_handles = 1024;
constexpr int address_count = 128;
constexpr int register_span = 256;
constexpr std::int64_t ns_per_ms = 1'000'000;
constexpr std::int64_t ns_per_us = 1'000;

// The modelled devices, indexed for the fault tables.
enum device : int { dev_mpu = 0, dev_ak = 1, dev_hmc = 2, device_count = 3, dev_none = -1 };

int device_index(int addr) {
    switch (addr) {
        case motion_sensor_addr:
            return dev_mpu;
        case bypass_mag_addr:
            return dev_ak;
        case standalone_mag_addr:
            return dev_hmc;
        default:
            return dev_none;
    }
}

struct state {
    std::int64_t now = 0;
    detail::scene world;
    mpu6050_model mpu;
    ak8975_model ak;
    hmc5883l_model hmc;

    bool bus_gone = false;
    bool stalled = false;
    bool gone[address_count] = {};
    bool claimed[address_count] = {};
    bool nack_reg[device_count][register_span] = {};
    std::int16_t forced[device_count][register_span] = {};  // -1: not forced
    std::size_t nack_countdown = 0;

    int handle_addr[max_handles] = {};
    int handles_open = 0;
    int first_handle = default_first_handle;

    std::vector<transfer> log;
    bool logging = true;
    std::size_t dropped = 0;
    std::size_t transfers = 0;

    state() {
        log.reserve(log_capacity);
        power_on();
    }

    void power_on() {
        now = 0;
        world = detail::scene{};
        mpu.reset();
        mpu.reset_time_ns(detail::mpu6050::default_reset_ns);
        ak.fuse_rom(detail::ak8975::ASA_NEUTRAL, detail::ak8975::ASA_NEUTRAL,
                    detail::ak8975::ASA_NEUTRAL);
        ak.reset();
        ak.conversion_time_ns(detail::ak8975::default_conversion_ns);
        hmc.reset();
        hmc.first_sample_ns(-1);
        bus_gone = false;
        stalled = false;
        for (int a = 0; a < address_count; ++a) {
            gone[a] = false;
            claimed[a] = false;
        }
        for (int d = 0; d < device_count; ++d) {
            for (int r = 0; r < register_span; ++r) {
                nack_reg[d][r] = false;
                forced[d][r] = -1;
            }
        }
        nack_countdown = 0;
        handles_open = 0;
        first_handle = default_first_handle;
        log.clear();
        logging = true;
        dropped = 0;
        transfers = 0;
    }

    void record(std::int64_t t, op kind, int addr, int reg, int value, int result) {
        if (!logging) {
            return;
        }
        if (log.size() < log_capacity) {
            log.push_back(transfer{t, kind, addr, reg, value, result});
        } else {
            ++dropped;
        }
    }

    void advance(std::int64_t dt) {
        now += dt;
        ak.advance(now, world, stalled);
        hmc.advance(now, world, stalled);
    }

    int addr_of(int fd) const {
        const int index = fd - first_handle;
        if (index < 0 || index >= handles_open) {
            return -1;
        }
        return handle_addr[index];
    }

    bool acknowledges(int addr) const {
        if (addr < 0 || addr >= address_count || gone[addr]) {
            return false;
        }
        switch (device_index(addr)) {
            case dev_mpu:
                return mpu.ready(now);
            case dev_hmc:
                return true;
            case dev_ak:
                return mpu.bypass_active() && ak.i2c_enabled();
            default:
                return false;
        }
    }

    // Counts the transfer and tells whether the one-shot transfer fault hits it.
    bool transfer_fault() {
        ++transfers;
        if (nack_countdown == 0) {
            return false;
        }
        --nack_countdown;
        return nack_countdown == 0;
    }

    std::uint8_t device_read(int dev, std::uint8_t reg) {
        switch (dev) {
            case dev_mpu:
                return mpu.read(reg);
            case dev_ak:
                return ak.read(reg);
            default:
                return hmc.read(reg);
        }
    }

    void device_write(int dev, std::uint8_t reg, std::uint8_t value) {
        switch (dev) {
            case dev_mpu:
                mpu.write(reg, value, now);
                break;
            case dev_ak:
                ak.write(reg, value, now);
                break;
            default:
                hmc.write(reg, value, now);
                break;
        }
    }

    int read_reg(int fd, int reg_in) {
        const std::int64_t t = now;
        const int addr = addr_of(fd);
        const auto reg = static_cast<std::uint8_t>(reg_in & 0xFF);
        if (addr < 0) {
            record(t, op::read, -1, reg, -1, -1);
            return -1;
        }
        const bool fault = transfer_fault();
        const int dev = device_index(addr);
        if (fault || !acknowledges(addr)) {
            advance(nack_addr_ns);
            record(t, op::read, addr, reg, -1, -1);
            return -1;
        }
        if (nack_reg[dev][reg]) {
            advance(nack_reg_ns);
            record(t, op::read, addr, reg, -1, -1);
            return -1;
        }
        advance(read_reg_ns);
        int value = device_read(dev, reg);
        if (forced[dev][reg] >= 0) {
            value = forced[dev][reg];
        }
        record(t, op::read, addr, reg, value, value);
        return value;
    }

    int write_reg(int fd, int reg_in, int data) {
        const std::int64_t t = now;
        const int addr = addr_of(fd);
        const auto reg = static_cast<std::uint8_t>(reg_in & 0xFF);
        const auto value = static_cast<std::uint8_t>(data & 0xFF);
        if (addr < 0) {
            record(t, op::write, -1, reg, value, -1);
            return -1;
        }
        const bool fault = transfer_fault();
        const int dev = device_index(addr);
        if (fault || !acknowledges(addr)) {
            advance(nack_addr_ns);
            record(t, op::write, addr, reg, value, -1);
            return -1;
        }
        if (nack_reg[dev][reg]) {
            advance(nack_reg_ns);
            record(t, op::write, addr, reg, value, -1);
            return -1;
        }
        advance(write_reg_ns);
        device_write(dev, reg, value);
        record(t, op::write, addr, reg, value, 0);
        return 0;
    }

    int setup(int addr) {
        int result = -1;
        if (!bus_gone && addr >= 0 && addr < address_count && !claimed[addr] &&
            handles_open < max_handles) {
            handle_addr[handles_open] = addr;
            result = first_handle + handles_open;
            ++handles_open;
        }
        record(now, op::setup, addr, -1, -1, result);
        return result;
    }

    void pause(unsigned ms) {
        const std::int64_t t = now;
        advance(static_cast<std::int64_t>(ms) * ns_per_ms);
        const int logged = ms > 0x7FFFFFFFU ? 0x7FFFFFFF : static_cast<int>(ms);
        record(t, op::delay, -1, -1, logged, 0);
    }
};

// Constructed on first use and never destroyed, so bus calls made from other static
// constructors or destructors still find the board.
state& st() {
    alignas(state) static unsigned char storage[sizeof(state)];
    static state* const s = new (storage) state();
    return *s;
}

bool valid_reg(int reg) {
    return reg >= 0 && reg < register_span;
}

}  // namespace

board_t& board_t::reset() {
    st().power_on();
    return *this;
}

board_t& board_t::yaw(double degrees) {
    st().world.yaw_deg = degrees;
    return *this;
}

double board_t::yaw() const {
    return st().world.yaw_deg;
}

board_t& board_t::field(double horizontal_ut, double down_ut) {
    st().world.horizontal_ut = horizontal_ut;
    st().world.down_ut = down_ut;
    return *this;
}

board_t& board_t::bypass_offset(double x_ut, double y_ut, double z_ut) {
    st().world.bypass_offset_ut = {x_ut, y_ut, z_ut};
    return *this;
}

board_t& board_t::standalone_offset(int x, int y, int z) {
    auto& o = st().world.standalone_offset;
    o[0] = x;
    o[1] = y;
    o[2] = z;
    return *this;
}

board_t& board_t::noise(double sigma_ut, std::uint32_t seed) {
    st().world.sigma_ut = sigma_ut;
    st().world.noise.reseed(seed);
    return *this;
}

board_t& board_t::asa(int x, int y, int z) {
    st().ak.fuse_rom(static_cast<std::uint8_t>(x & 0xFF), static_cast<std::uint8_t>(y & 0xFF),
                     static_cast<std::uint8_t>(z & 0xFF));
    return *this;
}

board_t& board_t::conversion_time_us(std::int64_t us) {
    st().ak.conversion_time_ns(us * ns_per_us);
    return *this;
}

board_t& board_t::motion_reset_time_us(std::int64_t us) {
    st().mpu.reset_time_ns(us * ns_per_us);
    return *this;
}

board_t& board_t::first_sample_us(std::int64_t us) {
    st().hmc.first_sample_ns(us < 0 ? -1 : us * ns_per_us);
    return *this;
}

board_t& board_t::bus_missing(bool missing) {
    st().bus_gone = missing;
    return *this;
}

board_t& board_t::absent(int addr, bool gone) {
    if (addr >= 0 && addr < address_count) {
        st().gone[addr] = gone;
    }
    return *this;
}

board_t& board_t::kernel_driver(int addr, bool bound) {
    if (addr >= 0 && addr < address_count) {
        st().claimed[addr] = bound;
    }
    return *this;
}

board_t& board_t::nack_register(int addr, int reg, bool on) {
    const int dev = device_index(addr);
    if (dev != dev_none && valid_reg(reg)) {
        st().nack_reg[dev][reg] = on;
    }
    return *this;
}

board_t& board_t::nack_transfer(std::size_t n) {
    st().nack_countdown = n;
    return *this;
}

board_t& board_t::stall_conversion(bool on) {
    st().stalled = on;
    return *this;
}

board_t& board_t::force(int addr, int reg, int value) {
    const int dev = device_index(addr);
    if (dev != dev_none && valid_reg(reg)) {
        st().forced[dev][reg] = static_cast<std::int16_t>(value & 0xFF);
    }
    return *this;
}

board_t& board_t::unforce(int addr, int reg) {
    const int dev = device_index(addr);
    if (dev != dev_none && valid_reg(reg)) {
        st().forced[dev][reg] = -1;
    }
    return *this;
}

std::int64_t board_t::now_ns() const {
    return st().now;
}

double board_t::now_ms() const {
    return static_cast<double>(st().now) / 1e6;
}

const std::vector<transfer>& board_t::log() const {
    return st().log;
}

void board_t::clear_log() {
    st().log.clear();
    st().dropped = 0;
}

int board_t::peek(int addr, int reg) const {
    if (!valid_reg(reg)) {
        return -1;
    }
    st().advance(0);  // what the devices hold by now, without a transfer
    const auto r = static_cast<std::uint8_t>(reg);
    switch (device_index(addr)) {
        case dev_mpu:
            return st().mpu.peek(r);
        case dev_ak:
            return st().ak.peek(r);
        case dev_hmc:
            return st().hmc.peek(r);
        default:
            return -1;
    }
}

board_t& board_t::logging(bool on) {
    st().logging = on;
    return *this;
}

bool board_t::logging() const {
    return st().logging;
}

std::size_t board_t::log_dropped() const {
    return st().dropped;
}

std::size_t board_t::transfers() const {
    return st().transfers;
}

board_t& board_t::handle_base(int fd) {
    st().first_handle = fd;
    st().handles_open = 0;  // handles given out before are forgotten
    return *this;
}

board_t& board() {
    static board_t the_board;
    return the_board;
}

}  // namespace sim

extern "C" {

int wiringPiI2CSetup(int devId) {
    return sim::st().setup(devId);
}

int wiringPiI2CReadReg8(int fd, int reg) {
    return sim::st().read_reg(fd, reg);
}

int wiringPiI2CWriteReg8(int fd, int reg, int data) {
    return sim::st().write_reg(fd, reg, data);
}

void delay(unsigned int howLong) {
    sim::st().pause(howLong);
}
}
