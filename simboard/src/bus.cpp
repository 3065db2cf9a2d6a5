// The simulated I2C bus: what a Linux board with i2c-dev shows of a bus.
// - setup opens a handle whether or not anything answers at the address (handles count up from
//   3, like file descriptors, and are never reused); it fails only when the bus is missing
//   (ENOENT) or not ours (EACCES), all max_handles handles are in use (EMFILE), the address is not
//   a 7-bit one (EINVAL) or a kernel driver holds it (I2C_SLAVE says EBUSY). It costs no bus time.
// - a transfer is a list of messages joined by repeated starts. It costs a start bit, nine bits
//   per byte sent (address bytes included), one bit per repeated start and a stop bit, up to and
//   including the first byte nobody acknowledges: the address byte (ENXIO; also for a transfer
//   failed by nack_transfer) or a refused register or data byte written (EREMOTEIO). The part
//   sees nothing of a refused transfer past that byte.
// - a transfer takes effect at its end: the devices are brought up to that time first. A byte
//   the part itself refuses is found only then; the transfer has been charged in full.
#include "bus.hpp"

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace sim::detail {

namespace {
constexpr std::int64_t ns_per_ms = 1'000'000;
constexpr std::int64_t start_stop_bits = 2;
constexpr std::int64_t byte_bits = 9;
constexpr std::size_t max_message_len = 8192;
}  // namespace

void bus::power_on() {
    now = 0;
    world = scene{};
    faults = fault_state{};
    std::fill(std::begin(slots_), std::end(slots_), slot{});
    handles_open = 0;
    first_handle = default_first_handle;
    log_.clear();
    logging = true;
    dropped = 0;
    transfers = 0;
}

void bus::fit(int addr, device* part, const gate* opens, int behind) {
    if (!valid_addr(addr)) {
        return;
    }
    // A model sits at one address: it leaves the one it had.
    std::replace_if(
        std::begin(slots_), std::end(slots_),
        [=](const slot& s) { return part != nullptr && s.part == part; }, slot{});
    slots_[addr] = slot{part, part != nullptr ? opens : nullptr, behind, 0};
}

void bus::record(std::int64_t t, op kind, int addr, int reg, int value, int result) {
    if (!logging) {
        return;
    }
    if (log_.size() < log_capacity) {
        log_.push_back(sim::transfer{t, kind, addr, reg, value, result});
    } else {
        ++dropped;
    }
}

void bus::advance(std::int64_t dt) {
    now += dt;
    for (const auto& s : slots_) {  // in address order
        if (s.part != nullptr) {
            s.part->advance(now, world, faults.stall_conversion);
        }
    }
}

void bus::advance_to(std::int64_t t) {
    advance(t > now ? t - now : 0);
}

int bus::addr_of(int fd) const {
    const int index = fd - first_handle;
    return index >= 0 && index < handles_open ? handle_addr_[index] : -1;
}

bool bus::acknowledges(int addr) const {
    const slot& s = slots_[addr];
    if (s.part == nullptr || faults.absent[addr] || !s.part->acknowledges(now)) {
        return false;
    }
    if (s.behind < 0) {
        return true;
    }
    const gate* g = slots_[s.behind].opens;
    return g != nullptr && g->open();
}

int bus::setup(int addr) {
    int result = 0;
    if (faults.bus_missing) {
        result = -ENOENT;
    } else if (faults.no_permission) {
        result = -EACCES;
    } else if (handles_open >= max_handles) {
        result = -EMFILE;
    } else if (!valid_addr(addr)) {
        result = -EINVAL;
    } else if (faults.kernel_driver[addr]) {
        result = -EBUSY;
    } else {
        handle_addr_[handles_open] = addr;
        result = first_handle + handles_open;
        ++handles_open;
    }
    record(now, op::setup, addr, -1, -1, result < 0 ? -1 : result);
    return result;
}

int bus::transfer(int addr, message* msgs, std::size_t n, op kind) {
    const std::int64_t t = now;
    bool well_formed = valid_addr(addr) && msgs != nullptr && n > 0 && n <= max_messages;
    for (std::size_t i = 0; well_formed && i < n; ++i) {
        well_formed = msgs[i].len <= max_message_len && (msgs[i].len == 0 || msgs[i].data);
    }
    if (!well_formed) {
        record(t, kind, valid_addr(addr) ? addr : -1, -1, -1, -1);
        return -EINVAL;
    }
    const wire_stop w = on_the_wire(addr, msgs, n, kind);
    advance(w.bits * bit_time_ns);
    const int moved = w.error == ENXIO ? 0 : deliver(t, addr, msgs, n, w);
    if (moved < 0) {
        return moved;
    }
    if (w.error != 0) {
        record(t, kind, addr, w.reg, w.value, -1);
        return -w.error;
    }
    if (moved == 0) {
        record(t, op::write, addr, slots_[addr].pointer, -1, 0);
    }
    return static_cast<int>(n);
}

bus::wire_stop bus::on_the_wire(int addr, const message* msgs, std::size_t n, op kind) {
    const slot& s = slots_[addr];
    // What a failure is logged as: the first register and byte the transfer names.
    wire_stop w{0, n, 0, s.pointer, -1, start_stop_bits};
    if (!msgs[0].read && msgs[0].len > 0) {
        w.reg = msgs[0].data[0];
        w.value = kind == op::write && msgs[0].len > 1 ? msgs[0].data[1] : -1;
    }
    ++transfers;
    // nack_transfer counts down to the transfer it fails.
    const bool acked =
        (faults.nack_transfer == 0 || --faults.nack_transfer > 0) && acknowledges(addr);
    std::uint8_t pointer = s.pointer;
    for (std::size_t i = 0; i < n && w.error == 0; ++i) {
        w.bits += (i > 0 ? 1 : 0) + byte_bits;  // (repeated) start and the address byte
        if (!acked) {
            w.error = ENXIO;
            w.msg = i;
            break;
        }
        const message& m = msgs[i];
        for (std::size_t j = 0; j < m.len; ++j) {
            w.bits += byte_bits;
            if (m.read) {
                pointer = s.part->next_register(pointer);
                continue;
            }
            if (j == 0) {
                pointer = m.data[0];
            }
            if (faults.nack_register[addr][pointer]) {
                w = {EREMOTEIO, i, j, pointer, j > 0 ? m.data[j] : w.value, w.bits};
                break;
            }
            if (j > 0) {
                pointer = s.part->next_register(pointer);
            }
        }
    }
    return w;
}

int bus::deliver(std::int64_t t, int addr, message* msgs, std::size_t n, const wire_stop& w) {
    slot& s = slots_[addr];
    int moved = 0;
    for (std::size_t i = 0; i < n && i <= w.msg; ++i) {
        const message& m = msgs[i];
        const std::size_t end = i == w.msg ? w.byte : m.len;
        for (std::size_t j = 0; j < end; ++j) {
            const std::uint8_t reg = s.pointer;
            if (!m.read && j == 0) {
                s.pointer = m.data[0];
                continue;
            }
            moved = 1;
            if (m.read) {
                int v = s.part->read(reg, now);
                const int forced = faults.force[addr][reg];
                v = v >= 0 && forced > 0 ? forced - 1 : v;
                if (v < 0) {
                    record(t, op::read, addr, reg, -1, -1);
                    return -EREMOTEIO;
                }
                m.data[j] = static_cast<std::uint8_t>(v);
                record(t, op::read, addr, reg, v, v);
            } else if (!s.part->write(reg, m.data[j], now)) {
                record(t, op::write, addr, reg, m.data[j], -1);
                return -EREMOTEIO;
            } else {
                record(t, op::write, addr, reg, m.data[j], 0);
            }
            s.pointer = s.part->next_register(reg);
        }
    }
    return moved;
}

void bus::pause(unsigned ms) {
    const std::int64_t t = now;
    advance(static_cast<std::int64_t>(ms) * ns_per_ms);
    const int logged = ms > 0x7FFFFFFFU ? 0x7FFFFFFF : static_cast<int>(ms);
    record(t, op::delay, -1, -1, logged, 0);
}

int bus::peek(int addr, int reg) {
    if (!valid_addr(addr) || !valid_reg(reg)) {
        return -1;
    }
    advance(0);  // what the devices hold by now, without a transfer
    const slot& s = slots_[addr];
    return s.part != nullptr ? s.part->peek(static_cast<std::uint8_t>(reg)) : -1;
}

}  // namespace sim::detail
