// Fuzz target: the simulated board driven by arbitrary sequences of the four bus calls and
// back-door settings. Each step is an opcode byte and its argument bytes; the calls' results stay
// within what the bus header promises, the clock never runs backwards between resets, the log
// stays within its capacity and records each logged call with the result it returned.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "i2cbus/bus.h"
#include "sim/board.hpp"

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// Argument decoding: a byte, a signed 16-bit value, an address or register of the modelled parts
// (mostly) or anything.
using args = const std::uint8_t*;
int s16(args a) {
    return static_cast<std::int16_t>(a[0] << 8 | a[1]);
}
int addr(std::uint8_t b) {
    constexpr int parts[] = {sim::motion_sensor_addr, sim::bypass_mag_addr,
                             sim::standalone_mag_addr};
    return b < 192 ? parts[b % 3] : b - 192;  // 0..63 otherwise
}

// The handles setup has handed out since the last reset; calls pick one of them, or a stray one.
int handles[8];
int handle_count = 0;
int handle(std::uint8_t b) {
    return handle_count > 0 && b < 224 ? handles[b % handle_count] : b - 224 - 4;
}

// Back-door settings: argument bytes and what they do. New settings go at the end.
struct setting {
    std::size_t arg_bytes;
    void (*apply)(args a);
};
constexpr setting settings[] = {
    {0, [](args) { sim::board().reset(); }},
    {2, [](args a) { sim::board().yaw(s16(a) / 64.0); }},
    {4, [](args a) { sim::board().field(s16(a) / 16.0, s16(a + 2) / 16.0); }},
    {6,
     [](args a) { sim::board().bypass_offset(s16(a) / 8.0, s16(a + 2) / 8.0, s16(a + 4) / 8.0); }},
    {6, [](args a) { sim::board().standalone_offset(s16(a), s16(a + 2), s16(a + 4)); }},
    {2, [](args a) { sim::board().noise(a[0] / 16.0, a[1]); }},
    {2, [](args a) { sim::board().conversion_time_us((a[0] << 8 | a[1]) - 1000); }},
    {1, [](args a) { sim::board().bus_missing(a[0] & 1); }},
    {2, [](args a) { sim::board().absent(addr(a[0]), a[1] & 1); }},
    {3, [](args a) { sim::board().nack_register(addr(a[0]), a[1], a[2] & 1); }},
    {1, [](args a) { sim::board().nack_transfer(a[0] % 8); }},
    {1, [](args a) { sim::board().stall_conversion(a[0] & 1); }},
    {3, [](args a) { sim::board().force(addr(a[0]), a[1], a[2]); }},
    {2, [](args a) { sim::board().unforce(addr(a[0]), a[1]); }},
    {1, [](args a) { sim::board().logging(a[0] & 1); }},
    {0, [](args) { sim::board().clear_log(); }},
    {2, [](args a) { check(sim::board().peek(addr(a[0]), a[1]) >= -1); }},
    {3, [](args a) { sim::board().asa(a[0], a[1], a[2]); }},
    {2, [](args a) { sim::board().motion_reset_time_us((a[0] << 8 | a[1]) * 4); }},
    {2, [](args a) { sim::board().first_sample_us((a[0] << 8 | a[1]) - 1000); }},
    {2, [](args a) { sim::board().kernel_driver(addr(a[0]), a[1] & 1); }},
    {1, [](args a) { sim::board().handle_base(a[0]); }},
};
constexpr std::size_t setting_count = sizeof settings / sizeof settings[0];

// The four calls; opcodes below 4 pick one of them, the rest a setting.
enum call : std::uint8_t { call_setup, call_read, call_write, call_delay, call_count };
constexpr std::size_t call_arg_bytes[call_count] = {1, 2, 3, 2};

// Checks the newest log entry against the call just made, when it was recorded.
void check_logged(std::size_t before, sim::op kind, int result) {
    const auto& log = sim::board().log();
    check(log.size() <= sim::log_capacity);
    if (sim::board().logging() && log.size() == before + 1) {
        check(log.back().kind == kind && log.back().result == result);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sim::board().reset();
    handle_count = 0;
    std::int64_t last_ns = 0;
    for (std::size_t at = 0; at < size;) {
        const std::uint8_t opcode = data[at++];
        const std::size_t choice = opcode % (call_count + setting_count);
        const std::size_t need =
            choice < call_count ? call_arg_bytes[choice] : settings[choice - call_count].arg_bytes;
        if (size - at < need) {
            break;
        }
        args a = data + at;
        at += need;
        const std::size_t before = sim::board().log().size();
        switch (choice) {
            case call_setup: {
                const int fd = wiringPiI2CSetup(addr(a[0]));
                check(fd == -1 || fd >= 0);
                check_logged(before, sim::op::setup, fd);
                if (fd >= 0 && handle_count < 8) {
                    handles[handle_count++] = fd;
                }
                break;
            }
            case call_read: {
                const int v = wiringPiI2CReadReg8(handle(a[0]), a[1]);
                check(v >= -1 && v <= 255);
                check_logged(before, sim::op::read, v);
                break;
            }
            case call_write: {
                const int r = wiringPiI2CWriteReg8(handle(a[0]), a[1], a[2]);
                check(r == 0 || r == -1);
                check_logged(before, sim::op::write, r);
                break;
            }
            case call_delay: {
                const std::int64_t ms = a[0] << 8 | a[1];
                delay(static_cast<unsigned>(ms));
                check(sim::board().now_ns() >= last_ns + ms * 1'000'000);
                check_logged(before, sim::op::delay, 0);
                break;
            }
            default:
                settings[choice - call_count].apply(a);
                if (choice == call_count) {  // reset: a fresh board
                    handle_count = 0;
                    last_ns = 0;
                }
                break;
        }
        check(sim::board().now_ns() >= last_ns);
        last_ns = sim::board().now_ns();
    }
    return 0;
}
