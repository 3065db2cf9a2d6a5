// The back door of the simulated board and the four bus calls, over the bus and the parts it
// carries. Calls set errno as Linux's i2c-dev would when they fail, and leave it alone otherwise.
#include "sim/board.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <new>

#include "bus.hpp"
#include "parts.hpp"

// The four calls are the library's public face: keep them visible in the shared variant.
#pragma GCC visibility push(default)
#include "i2cbus/bus.h"
#pragma GCC visibility pop

namespace sim {
namespace {

constexpr std::int64_t ns_per_us = 1'000;

struct state {
    detail::bus bus;
    detail::parts parts;

    state() { power_on(); }

    // The board as a program finds it: the motion sensor with the AK8975 behind its bypass,
    // and the HMC5883L.
    void power_on() {
        bus.power_on();
        parts.power_on();
        parts.fit(bus, bypass_mag_addr, part::ak8975, motion_sensor_addr);
        parts.fit(bus, standalone_mag_addr, part::hmc5883l, -1);
        parts.fit(bus, motion_sensor_addr, part::mpu6050, -1);
    }
};

// Constructed on first use and never destroyed, so bus calls made from other static
// constructors or destructors still find the board.
state& st() {
    alignas(state) static unsigned char storage[sizeof(state)];
    static state* const s = new (storage) state();
    return *s;
}

// The setters' one shape: a change to the board's state, then the board for the next one.
template <class F>
board_t& change(board_t& b, F f) {
    f(st());
    return b;
}
// A change at an address (and register), ignored when either is out of range.
template <class F>
board_t& change_at(board_t& b, int addr, int reg, F f) {
    return detail::valid_addr(addr) && detail::valid_reg(reg) ? change(b, f) : b;
}

// A call's result as the caller gets it: -1 with errno set for a failure.
int reported(int result) {
    if (result < 0) {
        errno = -result;
        return -1;
    }
    return result;
}

int register_transfer(int fd, detail::bus& b, message* msgs, std::size_t n, op kind, int reg,
                      int value) {
    const int addr = b.addr_of(fd);
    if (addr < 0) {
        b.record(b.now, kind, -1, reg, value, -1);  // no bus traffic, no bus time
        return reported(-EBADF);
    }
    return reported(b.transfer(addr, msgs, n, kind));
}

}  // namespace

board_t& board_t::reset() {
    return change(*this, [](state& s) { s.power_on(); });
}

board_t& board_t::fit(int addr, part p, int behind) {
    st().parts.fit(st().bus, addr, p, detail::valid_addr(behind) ? behind : -1);
    return *this;
}

part board_t::fitted(int addr) const {
    return st().parts.fitted(st().bus, addr);
}

board_t& board_t::yaw(double degrees) {
    return change(*this, [=](state& s) { s.bus.world.yaw_deg = degrees; });
}

double board_t::yaw() const {
    return st().bus.world.yaw_deg;
}

board_t& board_t::field(double horizontal_ut, double down_ut) {
    st().bus.world.horizontal_ut = horizontal_ut;
    st().bus.world.down_ut = down_ut;
    return *this;
}

board_t& board_t::bypass_offset(double x_ut, double y_ut, double z_ut) {
    return change(*this, [=](state& s) { s.bus.world.bypass_offset_ut = {x_ut, y_ut, z_ut}; });
}

board_t& board_t::standalone_offset(int x, int y, int z) {
    return change(*this, [=](state& s) { s.bus.world.standalone_offset = {x, y, z}; });
}

board_t& board_t::noise(double sigma_ut, std::uint32_t seed) {
    st().bus.world.sigma_ut = sigma_ut;
    st().bus.world.noise.reseed(seed);
    return *this;
}

board_t& board_t::asa(int x, int y, int z) {
    st().parts.ak.fuse_rom(static_cast<std::uint8_t>(x & 0xFF), static_cast<std::uint8_t>(y & 0xFF),
                           static_cast<std::uint8_t>(z & 0xFF));
    return *this;
}

board_t& board_t::conversion_time_us(std::int64_t us) {
    return change(*this, [=](state& s) { s.parts.ak.conversion_time_ns(us * ns_per_us); });
}

board_t& board_t::motion_reset_time_us(std::int64_t us) {
    return change(*this, [=](state& s) { s.parts.mpu.reset_time_ns(us * ns_per_us); });
}

board_t& board_t::first_sample_us(std::int64_t us) {
    st().parts.hmc.first_sample_ns(us < 0 ? -1 : us * ns_per_us);
    return *this;
}

board_t& board_t::bus_missing(bool on) {
    return change(*this, [=](state& s) { s.bus.faults.bus_missing = on; });
}

board_t& board_t::no_permission(bool on) {
    return change(*this, [=](state& s) { s.bus.faults.no_permission = on; });
}

board_t& board_t::kernel_driver(int addr, bool on) {
    return change_at(*this, addr, 0, [=](state& s) { s.bus.faults.kernel_driver[addr] = on; });
}

board_t& board_t::absent(int addr, bool on) {
    return change_at(*this, addr, 0, [=](state& s) { s.bus.faults.absent[addr] = on; });
}

board_t& board_t::nack_register(int addr, int reg, bool on) {
    return change_at(*this, addr, reg,
                     [=](state& s) { s.bus.faults.nack_register[addr][reg] = on; });
}

board_t& board_t::nack_transfer(std::size_t n) {
    return change(*this, [=](state& s) { s.bus.faults.nack_transfer = n; });
}

board_t& board_t::stall_conversion(bool on) {
    return change(*this, [=](state& s) { s.bus.faults.stall_conversion = on; });
}

// A forced value is kept plus one, so that 0 can mean none.
board_t& board_t::force(int addr, int reg, int value) {
    const auto kept = static_cast<std::int16_t>((value & 0xFF) + 1);
    return change_at(*this, addr, reg, [=](state& s) { s.bus.faults.force[addr][reg] = kept; });
}

board_t& board_t::unforce(int addr, int reg) {
    return change_at(*this, addr, reg, [=](state& s) { s.bus.faults.force[addr][reg] = 0; });
}

std::int64_t board_t::now_ns() const {
    return st().bus.now;
}

double board_t::now_ms() const {
    return static_cast<double>(st().bus.now) / 1e6;
}

const std::vector<transfer>& board_t::log() const {
    return st().bus.log_;
}

void board_t::clear_log() {
    st().bus.log_.clear();
    st().bus.dropped = 0;
}

int board_t::peek(int addr, int reg) const {
    return st().bus.peek(addr, reg);
}

int board_t::i2c_transfer(int addr, message* msgs, std::size_t n) {
    const bool reads =
        msgs != nullptr && std::any_of(msgs, msgs + n, [](const message& m) { return m.read; });
    return st().bus.transfer(addr, msgs, n, reads ? op::read : op::write);
}

board_t& board_t::advance_to_ns(std::int64_t t) {
    return change(*this, [=](state& s) { s.bus.advance_to(t); });
}

board_t& board_t::logging(bool on) {
    return change(*this, [=](state& s) { s.bus.logging = on; });
}

bool board_t::logging() const {
    return st().bus.logging;
}

std::size_t board_t::log_dropped() const {
    return st().bus.dropped;
}

std::size_t board_t::transfers() const {
    return st().bus.transfers;
}

board_t& board_t::handle_base(int fd) {
    constexpr int highest = INT_MAX - detail::bus::max_handles + 1;
    st().bus.first_handle = fd < 0 ? 0 : (fd > highest ? highest : fd);
    st().bus.handles_open = 0;  // handles given out before are forgotten
    return *this;
}

board_t& board() {
    static board_t the_board;
    return the_board;
}

}  // namespace sim

extern "C" {

int wiringPiI2CSetup(int devId) {
    return sim::reported(sim::st().bus.setup(devId));
}

// [write reg][read 1], joined by a repeated start.
int wiringPiI2CReadReg8(int fd, int reg) {
    auto r = static_cast<std::uint8_t>(reg & 0xFF);
    std::uint8_t value = 0;
    sim::message msgs[] = {{false, &r, 1}, {true, &value, 1}};
    const int result = sim::register_transfer(fd, sim::st().bus, msgs, 2, sim::op::read, r, -1);
    return result < 0 ? -1 : value;
}

// [write reg, value].
int wiringPiI2CWriteReg8(int fd, int reg, int data) {
    std::uint8_t bytes[] = {static_cast<std::uint8_t>(reg & 0xFF),
                            static_cast<std::uint8_t>(data & 0xFF)};
    sim::message msg{false, bytes, 2};
    const int result =
        sim::register_transfer(fd, sim::st().bus, &msg, 1, sim::op::write, bytes[0], bytes[1]);
    return result < 0 ? -1 : 0;
}

void delay(unsigned int howLong) {
    sim::st().bus.pause(howLong);
}
}
