// Plain register files: the DS3231 real-time clock and the HMC5883L clone.
//
// DS3231 (Maxim, 19-5170): the register pointer wraps from 12H to 00H; the temperature (11H-12H)
// is read-only. The clock is not kept running: nothing here reads it, and a frozen time is what a
// driver mistaking the part for a motion sensor would see change least.
// Where the datasheet is silent the model assumes: registers past 12H (the motion sensor's
// WHO_AM_I at 75H among them) are acknowledged and read 0x00, so a driver must check the value it
// reads, not only that the read went through; writes there are ignored.
//
// The HMC5883L clone (early QMC parts sold as HMC5883L): it acknowledges every HMC5883L command
// and ignores it; its data registers never change from zero and RDY never sets.
#include "register_file.hpp"

#include <algorithm>

namespace sim::detail {

register_file_model::register_file_model(const std::uint8_t* contents, std::size_t count,
                                         std::size_t read_only_from)
    : register_map(count), contents_(contents), read_only_from_(read_only_from) {
    reset();
}

void register_file_model::reset() {
    std::copy_n(contents_, mapped(), regs_);
}

bool register_file_model::write(std::uint8_t reg, std::uint8_t value, std::int64_t /*now_ns*/) {
    if (reg < mapped() && reg < read_only_from_) {
        regs_[reg] = value;
    }
    return true;
}

std::uint8_t register_file_model::next_register(std::uint8_t reg) const {
    return reg + 1U == mapped() ? std::uint8_t{0} : static_cast<std::uint8_t>(reg + 1U);
}

}  // namespace sim::detail
