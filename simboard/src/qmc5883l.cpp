// Model of the QMC5883L: standby and continuous mode at the output rate, 2 G and 8 G ranges,
// DRDY/OVL/DOR status, the temperature output, pointer roll-over and soft reset.
//
// From the datasheet (QST QMC5883L): data X, Y, Z are 16-bit two's complement, LSB first,
// at 00H-05H; 12000 LSB/G in the 2 G range, 3000 LSB/G in the 8 G range. Power-on is standby with
// all registers zero but the chip ID (0DH, 0xFF). In continuous mode a sample lands every 1/ODR and
// sets DRDY; reading the data registers clears DRDY; OVL is set when an axis is out of range; DOR
// is set when a sample was skipped in reading, and cleared by reading the data registers. With
// ROL_PNT set a read that begins within 00H-06H rolls over from 06H back to 00H. SOFT_RST restores
// the power-on values of all registers. The temperature output has 100 LSB/C, its offset
// uncalibrated.
//
// Where the datasheet is vague or silent the model assumes:
// - Reading any one data register clears DRDY and DOR, so a burst that ends with the status
//   register sees them clear; status_clears_after_all_data() waits for all six instead.
// - "Out of range" is beyond the full scale (24000 counts in both ranges) while the output goes on
//   to saturate at the 16-bit limits, so OVL is the only sign between the two;
//   overflow_at_saturation() sets OVL only where the output saturates. OVL follows each sample.
// - Samples follow every 1/ODR from the control 1 write; every write of it restarts that grid.
//   When several are due between two bus calls only the newest lands, with DOR set. There is no
//   output lock: a sample landing between two reads of one axis tears it.
// - Reserved MODE values act as standby, reserved RNG values as 8 G; OSR and the SET/RESET period
//   are kept but change nothing (the noise is the scene's).
// - The die reads 2500 counts (25 C, taking the offset as zero) unless temperature_counts() says.
// - Writes to the data, status, temperature and chip ID registers are acknowledged and ignored;
//   unmapped registers (0CH, 0EH and up) read 0x00 and ignore writes. Without ROL_PNT the pointer
//   counts on past 0DH through them and wraps from FFH to 00H.
#include "qmc5883l.hpp"

#include <cmath>

namespace sim::detail {

using namespace qmc5883l;

namespace {
constexpr unsigned all_data = 0x3FU;
}  // namespace

void qmc5883l_model::reset() {
    clear_registers();
    regs_[CHIP_ID] = CHIP_ID_VALUE;
    continuous_from_ = 0;
    next_sample_ = 1;
    data_read_mask_ = 0;
}

void qmc5883l_model::advance(std::int64_t now_ns, scene& world, bool stalled) {
    if ((regs_[CONTROL1] & CONTROL1_MODE_MASK) != MODE_CONTINUOUS) {
        return;
    }
    const std::int64_t period =
        period_ns[(regs_[CONTROL1] & CONTROL1_ODR_MASK) >> CONTROL1_ODR_SHIFT];
    if (now_ns < continuous_from_ + next_sample_ * period) {
        return;
    }
    const std::int64_t due = (now_ns - continuous_from_) / period;
    if (!stalled) {
        measure(world, due > next_sample_);
    }
    next_sample_ = due + 1;
}

bool qst_sample(scene& world, int gain, int full_scale, bool at_saturation, std::uint8_t* out) {
    const vec3 f = world.standalone_field_ut();
    const double field_ut[3] = {f.x, f.y, f.z};
    bool over = false;
    for (std::size_t i = 0; i < 3; ++i) {
        const double ut = field_ut[i] + world.noise_ut();
        const long c = std::lround(ut / ut_per_gauss * static_cast<double>(gain));
        over = over ||
               (at_saturation ? c < data_min || c > data_max : c < -full_scale || c > full_scale);
        const long clamped = c < data_min ? data_min : (c > data_max ? data_max : c);
        put_le16(out + 2 * i, static_cast<int>(clamped));
    }
    return over;
}

void qmc5883l_model::measure(scene& world, bool skipped) {
    const bool unread = (regs_[STATUS] & STATUS_DRDY) != 0;
    const auto rng = (regs_[CONTROL1] & CONTROL1_RNG_MASK) >> CONTROL1_RNG_SHIFT;
    const int gain = counts_per_gauss[rng == 0 ? 0 : 1];  // reserved values: 8 G
    const bool over =
        qst_sample(world, gain, full_scale_counts, overflow_at_saturation_, &regs_[XOUT_L]);
    put_le16(&regs_[TOUT_L], temperature_);
    regs_[STATUS] = static_cast<std::uint8_t>(STATUS_DRDY | (over ? STATUS_OVL : 0U) |
                                              (unread || skipped ? STATUS_DOR : 0U));
    data_read_mask_ = 0;
}

int qmc5883l_model::read_mapped(std::uint8_t reg) {
    const int value = regs_[reg];
    if (reg <= ZOUT_H) {
        data_read_mask_ |= 1U << reg;
        if (!clear_after_all_ || data_read_mask_ == all_data) {
            regs_[STATUS] = static_cast<std::uint8_t>(regs_[STATUS] & ~(STATUS_DRDY | STATUS_DOR));
        }
    }
    return value;
}

bool qmc5883l_model::write(std::uint8_t reg, std::uint8_t value, std::int64_t now_ns) {
    if (reg == CONTROL1) {
        regs_[CONTROL1] = value;
        continuous_from_ = now_ns;
        next_sample_ = 1;
    } else if (reg == CONTROL2 && (value & CONTROL2_SOFT_RST) != 0) {
        reset();
    } else if (reg == CONTROL2) {
        regs_[CONTROL2] = static_cast<std::uint8_t>(value & (CONTROL2_ROL_PNT | CONTROL2_INT_ENB));
    } else if (reg == SET_RESET_PERIOD) {
        regs_[SET_RESET_PERIOD] = value;
    }
    return true;
}

std::uint8_t qmc5883l_model::next_register(std::uint8_t reg) const {
    const bool rolls_over = (regs_[CONTROL2] & CONTROL2_ROL_PNT) != 0 && reg == STATUS;
    return rolls_over ? XOUT_L : static_cast<std::uint8_t>(reg + 1U);
}

}  // namespace sim::detail
