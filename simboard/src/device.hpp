// One part on the simulated bus, as the bus sees it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace sim::detail {

struct scene;

class device {
  public:
    device() = default;
    device(const device&) = delete;
    device& operator=(const device&) = delete;
    virtual ~device() = default;
    virtual void reset() = 0;  // power-on state; properties of the part (timing, trim) survive
    // Brings the part up to now_ns (a part that never measures has nothing to do).
    virtual void advance(std::int64_t /*now_ns*/, scene& /*world*/, bool /*stalled*/) {}
    virtual bool acknowledges(std::int64_t /*now_ns*/) const { return true; }
    // One register as a bus read of it returns it, side effects included; -1: refused (NACK).
    virtual int read(std::uint8_t reg, std::int64_t now_ns) = 0;
    // False: the part refuses the byte (NACK).
    virtual bool write(std::uint8_t reg, std::uint8_t value, std::int64_t now_ns) = 0;
    virtual int peek(std::uint8_t reg) const = 0;  // no side effects; -1 outside the map
    // Where the register pointer goes after reg in a multi-byte read or write (datasheet rule).
    virtual std::uint8_t next_register(std::uint8_t reg) const {
        return static_cast<std::uint8_t>(reg + 1U);
    }
};

// A part whose registers are a byte map from 00H on, mapped..N-1 unmapped: peek reads it as the
// part holds it. Registers past the map are acknowledged and read 0x00, on every part modelled.
template <std::size_t N>
class register_map : public device {
  public:
    int peek(std::uint8_t reg) const final { return reg < mapped_ ? regs_[reg] : -1; }
    int read(std::uint8_t reg, std::int64_t /*now_ns*/) final {
        return reg < mapped_ ? read_mapped(reg) : 0x00;
    }

  protected:
    explicit register_map(std::size_t mapped = N) : mapped_(mapped < N ? mapped : N) {}
    // A register of the map as a bus read returns it, side effects included.
    virtual int read_mapped(std::uint8_t reg) { return regs_[reg]; }
    std::size_t mapped() const { return mapped_; }
    void clear_registers() { std::fill(std::begin(regs_), std::end(regs_), std::uint8_t{0}); }
    std::uint8_t regs_[N] = {};

  private:
    std::size_t mapped_;
};

// A 16-bit sample as a part lays it into two registers, low byte first or high byte first.
inline void put_le16(std::uint8_t* at, int value) {
    const auto raw = static_cast<std::uint16_t>(value);
    at[0] = static_cast<std::uint8_t>(raw & 0xFFU);
    at[1] = static_cast<std::uint8_t>(raw >> 8U);
}

inline void put_be16(std::uint8_t* at, int value) {
    const auto raw = static_cast<std::uint16_t>(value);
    at[0] = static_cast<std::uint8_t>(raw >> 8U);
    at[1] = static_cast<std::uint8_t>(raw & 0xFFU);
}

}  // namespace sim::detail
