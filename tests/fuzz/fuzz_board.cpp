// Fuzz target: the simulated board driven by arbitrary sequences of the four bus calls and the
// board's command table (every setting, fault and scene, as text lines), message-level transfers
// and raw command lines. Each step is an opcode byte and its argument bytes; the calls' results
// stay within what the bus header promises, the clock never runs backwards between resets, the log
// stays within its capacity and records each logged call with the result it returned.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// One command of the board's table as a line, its arguments drawn from the bytes at a (two for a
// number, one otherwise; an optional one is left out, with those after it, on a byte from 0xC0).
// Returns the bytes used, 0 when there are too few.
std::size_t command_line(const sim::command_shape& c, args a, std::size_t left, char* line) {
    std::size_t used = 0;
    int len = std::snprintf(line, 32, "%s", c.name);
    for (const char* k = c.args; *k != '\0'; ++k) {
        const int kind = std::tolower(*k);
        const std::size_t width = kind == 'x' || kind == 'i' ? 2 : 1;
        if (left - used < width + (kind != *k ? 1 : 0)) {
            return 0;
        }
        if (kind != *k && a[used++] >= 0xC0) {
            break;
        }
        const args v = a + used;
        used += width;
        const char* (*list)(std::size_t) = kind == 's' ? sim::scene_name : sim::part_name;
        std::size_t names = 0;  // the list's length; one past the last is default, none
        while (list(names) != nullptr) {
            ++names;
        }
        const char* name = list(v[0] % (names + 1));
        char* at = line + len;
        len += kind == 'x'   ? std::snprintf(at, 32, " %.4f", s16(v) / 16.0)
               : kind == 'i' ? std::snprintf(at, 32, " %d", s16(v) * 4)
               : kind == 'a' ? std::snprintf(at, 32, " 0x%x", addr(v[0]))
               : kind == 'f' ? std::snprintf(at, 32, " %d", v[0] & 1)
               : kind == 'n' ? std::snprintf(at, 32, " %d", v[0] % 8)
               : kind == 's' ? std::snprintf(at, 32, " %s", name != nullptr ? name : "default")
               : kind == 'p' ? std::snprintf(at, 32, " %s", name != nullptr ? name : "none")
                             : std::snprintf(at, 32, " %d", v[0]);  // register, value
    }
    return used;
}

// Runs a line on the board; a fresh board starts the bookkeeping again.
sim::outcome run(const char* line, std::int64_t& last_ns) {
    char reply[64];
    const sim::outcome done = sim::command(line, reply, sizeof reply);
    int peeked = 0;
    check(reply[0] == '\0' ||
          (std::sscanf(reply, "peek %*x %*x %d", &peeked) == 1 && peeked >= -1));
    if (done == sim::outcome::fresh) {
        handle_count = 0;
        last_ns = 0;
    }
    return done;
}

// The four calls and the steps the command table does not have (the clock moved on by up to 65 ms,
// a message-level transfer, up to 31 bytes as a command line); opcodes past them pick a command.
enum step { call_setup, call_read, call_write, call_delay, advance, transfer, raw, step_count };
constexpr std::size_t step_arg_bytes[step_count] = {1, 2, 3, 2, 2, 4, 1};

// Checks the newest log entry against the call just made, when it was recorded.
void check_logged(std::size_t before, sim::op kind, int result) {
    const auto& log = sim::board().log();
    check(log.size() <= sim::log_capacity);
    if (sim::board().logging() && log.size() == before + 1) {
        check(log.back().kind == kind && log.back().result == result);
    }
}

// One of the four calls, its result within what the bus header promises and logged as returned.
void bus_call(step call, args a, std::int64_t last_ns) {
    const std::size_t before = sim::board().log().size();
    switch (call) {
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
        default: {
            const std::int64_t ms = a[0] << 8 | a[1];
            delay(static_cast<unsigned>(ms));
            check(sim::board().now_ns() >= last_ns + ms * 1'000'000);
            check_logged(before, sim::op::delay, 0);
            break;
        }
    }
}

// A message-level transfer: [write a[1] bytes][read a[2] bytes] or one of them, the bytes from a[3]
// on; n on success, else -errno.
void message_transfer(args a) {
    std::uint8_t out[8] = {a[3], a[3], a[3], a[3], a[3], a[3], a[3], a[3]};
    std::uint8_t in[8] = {};
    sim::message msgs[] = {{false, out, a[1] % 9U}, {true, in, a[2] % 9U}};
    const std::size_t first = (a[2] & 0x80) != 0 ? 1 : 0;
    const std::size_t n = (a[1] & 0x80) != 0 ? 1 : 2 - first;
    const int r = sim::board().i2c_transfer(addr(a[0]), msgs + first, n);
    check(r == static_cast<int>(n) || (r < 0 && r >= -4095));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static unsigned command_count = 0;
    while (sim::command_at(command_count) != nullptr) {
        ++command_count;
    }
    sim::board().reset();
    handle_count = 0;
    std::int64_t last_ns = 0;
    for (std::size_t at = 0; at < size;) {
        const std::size_t choice = data[at++] % (step_count + command_count);
        char line[128];
        const std::size_t need = choice < step_count ? step_arg_bytes[choice] : 0;
        if (size - at < need) {
            break;
        }
        args a = data + at;
        at += need;
        switch (choice) {
            case call_setup:
            case call_read:
            case call_write:
            case call_delay:
                bus_call(static_cast<step>(choice), a, last_ns);
                break;
            case advance:
                sim::board().advance_to_ns(sim::board().now_ns() + (a[0] << 8 | a[1]) * 1000);
                break;
            case transfer:
                message_transfer(a);
                break;
            case raw: {
                const std::size_t n = std::min<std::size_t>(a[0] % 32U, size - at);
                std::memcpy(line, data + at, n);
                line[n] = '\0';
                at += n;
                (void)run(line, last_ns);
                break;
            }
            default: {  // a command of the table: a line of its own shape is taken
                const sim::command_shape& c = *sim::command_at(choice - step_count);
                const std::size_t used = command_line(c, a, size - at, line);
                const bool enough = used > 0 || c.args[0] == '\0';
                at = enough ? at + used : size;
                check(!enough || run(line, last_ns) != sim::outcome::refused);
                break;
            }
        }
        check(sim::board().now_ns() >= last_ns);
        last_ns = sim::board().now_ns();
    }
    return 0;
}
