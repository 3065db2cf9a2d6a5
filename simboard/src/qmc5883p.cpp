// Model of the QMC5883P: suspend, normal, single and continuous modes, four ranges, DRDY/OVFL
// status and soft reset.
//
// From the datasheet (QST QMC5883P): chip ID 0x80 at 00H; data X, Y, Z are 16-bit two's
// complement, LSB first, at 01H-06H; 1000, 2500, 3750 and 15000 LSB/G in the 30, 12, 8 and 2 G
// ranges, so the full scale is 30000 counts in each. Power-on is suspend mode with the control
// registers zero. Normal mode measures every 1/ODR; single mode measures once and returns to
// suspend. DRDY is set when a sample lands, OVFL when an axis is out of range. SOFT_RST restores
// the power-on values of all registers.
//
// Where the datasheet is vague or silent the model assumes:
// - Only reading the status register clears DRDY and OVFL, so a driver that reads it twice loses
//   the overflow; OVFL stays set until then, whatever later samples bring.
//   status_clears_on_data_read() clears both on reading any data register instead.
// - "Out of range" is beyond the full scale while the output goes on to saturate at the 16-bit
//   limits; overflow_at_saturation() sets OVFL only where the output saturates.
// - Samples follow every 1/ODR from the control 1 write (every write restarts the grid); only the
//   newest of several due between two bus calls lands. Continuous mode's rate follows the
//   oversampling, with no figure to use: the model takes 1/ODR, the slower for a driver waiting on
//   data; a single measurement takes 1/ODR too. The setters choose other times.
// - OSR1, OSR2, SET/RESET mode and SELF_TEST are kept but change nothing (no self-test field).
// - Writes to the chip ID, data and status registers are acknowledged and ignored; unmapped
//   registers (07H, 08H, 0CH and up, 29H of the datasheet's axis-sign example among them) read
//   0x00 and ignore writes. The pointer counts on past 0BH through them and wraps from FFH to 00H.
#include "qmc5883p.hpp"

#include "qmc5883l.hpp"

namespace sim::detail {

using namespace qmc5883p;

void qmc5883p_model::reset() {
    clear_registers();
    regs_[CHIP_ID] = CHIP_ID_VALUE;
    mode_from_ = 0;
    next_sample_ = 1;
}

std::int64_t qmc5883p_model::odr_period() const {
    return period_ns[(regs_[CONTROL1] & CONTROL1_ODR_MASK) >> CONTROL1_ODR_SHIFT];
}

void qmc5883p_model::advance(std::int64_t now_ns, scene& world, bool stalled) {
    const auto mode = static_cast<std::uint8_t>(regs_[CONTROL1] & CONTROL1_MODE_MASK);
    if (mode == MODE_SINGLE) {
        if (!stalled && now_ns >= mode_from_ + (single_ns_ < 0 ? odr_period() : single_ns_)) {
            measure(world);
            regs_[CONTROL1] = static_cast<std::uint8_t>(regs_[CONTROL1] & ~CONTROL1_MODE_MASK);
        }
        return;
    }
    if (mode == MODE_SUSPEND) {
        return;
    }
    const std::int64_t period =
        mode == MODE_CONTINUOUS && continuous_period_ns_ > 0 ? continuous_period_ns_ : odr_period();
    if (now_ns < mode_from_ + next_sample_ * period) {
        return;
    }
    if (!stalled) {
        measure(world);
    }
    next_sample_ = (now_ns - mode_from_) / period + 1;
}

void qmc5883p_model::measure(scene& world) {
    const int gain = counts_per_gauss[(regs_[CONTROL2] & CONTROL2_RNG_MASK) >> CONTROL2_RNG_SHIFT];
    const bool over =
        qst_sample(world, gain, full_scale_counts, overflow_at_saturation_, &regs_[XOUT_L]);
    regs_[STATUS] =
        static_cast<std::uint8_t>(regs_[STATUS] | STATUS_DRDY | (over ? STATUS_OVFL : 0U));
}

int qmc5883p_model::read_mapped(std::uint8_t reg) {
    const int value = regs_[reg];
    const bool data = reg >= XOUT_L && reg <= ZOUT_H;
    if (clear_on_data_ ? data : reg == STATUS) {
        regs_[STATUS] = 0x00;
    }
    return value;
}

bool qmc5883p_model::write(std::uint8_t reg, std::uint8_t value, std::int64_t now_ns) {
    if (reg == CONTROL1) {
        regs_[CONTROL1] = value;
        mode_from_ = now_ns;
        next_sample_ = 1;
    } else if (reg == CONTROL2 && (value & CONTROL2_SOFT_RST) != 0) {
        reset();
    } else if (reg == CONTROL2) {
        regs_[CONTROL2] = value;
    }
    return true;
}

}  // namespace sim::detail
