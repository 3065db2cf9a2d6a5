// Fuzz target: the simulated board driven by arbitrary sequences of the four bus calls and
// back-door settings (every fault of the fault table among them), message-level transfers and
// named scenes. Each step is an opcode byte and its argument bytes; the calls' results stay
// within what the bus header promises, the clock never runs backwards between resets, the log
// stays within its capacity and records each logged call with the result it returned.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "i2cbus/bus.h"
#include "sim/board.hpp"
#include "sim/faults.hpp"

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// Argument decoding: a byte, a signed 16-bit value, an address or register of the modelled parts
// (mostly) or anything.
using args = const std::uint8_t*;

// Every part a board can carry (part::none to the last) and every named scene.
constexpr unsigned part_count = static_cast<unsigned>(sim::part::qmc5883p) + 1U;
unsigned scene_count() {
    unsigned n = 0;
    while (sim::scene_name(n) != nullptr) {
        ++n;
    }
    return n;
}
int s16(args a) {
    return static_cast<std::int16_t>(a[0] << 8 | a[1]);
}
int addr(std::uint8_t b) {
    constexpr int parts[] = {sim::motion_sensor_addr,  sim::bypass_mag_addr,
                             sim::standalone_mag_addr, sim::motion_sensor_alt_addr,
                             sim::qmc5883l_addr,       sim::qmc5883p_addr};
    return b < 192 ? parts[b % 6] : b - 192;  // 0..63 otherwise
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
    {1, [](args a) { sim::board().logging(a[0] & 1); }},
    {0, [](args) { sim::board().clear_log(); }},
    {2, [](args a) { check(sim::board().peek(addr(a[0]), a[1]) >= -1); }},
    {3, [](args a) { sim::board().asa(a[0], a[1], a[2]); }},
    {2, [](args a) { sim::board().motion_reset_time_us((a[0] << 8 | a[1]) * 4); }},
    {2, [](args a) { sim::board().first_sample_us((a[0] << 8 | a[1]) - 1000); }},
    {1, [](args a) { sim::board().handle_base(a[0]); }},
    {2,
     [](args a) {
         sim::board().fit(addr(a[0]), static_cast<sim::part>(a[1] % part_count), addr(a[1]));
     }},
    {1, [](args a) { (void)sim::apply_scene(sim::scene_name(a[0] % scene_count())); }},
    {2,
     [](args a) { sim::board().advance_to_ns(sim::board().now_ns() + (a[0] << 8 | a[1]) * 1000); }},
    {4,
     [](args a) {
         // [write a[1] bytes][read a[2] bytes] or one of them, the bytes from a[3] on.
         std::uint8_t out[8] = {a[3], a[3], a[3], a[3], a[3], a[3], a[3], a[3]};
         std::uint8_t in[8] = {};
         sim::message msgs[] = {{false, out, a[1] % 9U}, {true, in, a[2] % 9U}};
         const std::size_t first = (a[2] & 0x80) != 0 ? 1 : 0;
         const std::size_t n = (a[1] & 0x80) != 0 ? 1 : 2 - first;
         const int r = sim::board().i2c_transfer(addr(a[0]), msgs + first, n);
         check(r == static_cast<int>(n) || (r < 0 && r >= -4095));
     }},
// Every fault of the table, with arguments of its shape.
#define FUZZ_flag(name) {1, [](args a) { sim::board().name(a[0] & 1); }},
#define FUZZ_per_address(name) {2, [](args a) { sim::board().name(addr(a[0]), a[1] & 1); }},
#define FUZZ_per_register(name) {3, [](args a) { sim::board().name(addr(a[0]), a[1], a[2] & 1); }},
#define FUZZ_countdown(name) {1, [](args a) { sim::board().name(a[0] % 8); }},
#define FUZZ_register_value(name)                                   \
    {3, [](args a) { sim::board().name(addr(a[0]), a[1], a[2]); }}, \
        {2, [](args a) { sim::board().un##name(addr(a[0]), a[1]); }},
#define FUZZ_FAULT(name, shape) FUZZ_##shape(name)
    SIM_FAULTS(FUZZ_FAULT)
#undef FUZZ_FAULT
};
constexpr std::size_t setting_count = sizeof settings / sizeof settings[0];
constexpr std::size_t scene_setting = 15;  // apply_scene resets the board

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
                if (choice == call_count ||
                    choice == call_count + scene_setting) {  // a fresh board
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
