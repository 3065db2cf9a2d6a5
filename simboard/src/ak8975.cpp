// Model of the AKM AK8975 and AK8963: single and self-test measurements with their conversion
// time, DRDY/DERR/HOFL status, and the fuse ROM; the AK8963's output width and soft reset.
//
// From the datasheets (AK8975 MS1187-E, AK8963 MS1356-E): a CNTL write initialises ST1, the data
// registers and ST2 (02H to 09H); a measurement takes 7.3 ms typical, 9 ms at most on the AK8975;
// HOFL is set when |X|+|Y|+|Z| >= 2400 uT (AK8963: 4912 uT); each axis measures with the
// sensitivity its fuse-ROM value ASA trims, so a host gets the field as
// H x ((ASA - 128) x 0.5 / 128 + 1). On the AK8963 CNTL1 bit 4 (BIT) picks 14-bit output at
// 0.6 uT or 16-bit at 0.15 uT per count, ST2 BITM tells which one a sample has, and CNTL2 SRST
// resets every register; I2CDIS disables the interface only when written 00011011.
//
// Where the datasheets are vague or silent the model assumes:
// - Data read while a measurement runs is "indefinite": the model returns the initialised zeros,
//   never the previous sample, and on the AK8975 sets DERR (cleared by reading ST2).
// - INFO reads 0x00; the fuse ROM reads 0x00 outside fuse-ROM access mode.
// - Any CNTL write takes effect at once, also without passing through power-down first; a
//   single-measurement write during a conversion restarts it; unknown modes, and the AK8963's
//   continuous and external-trigger modes (no caller uses them), act as power-down.
// - The AK8963 takes the conversion time the board sets for the part behind the bypass.
// - An axis beyond the output range reads its limit and sets HOFL too.
// - Writes to read-only and test registers (TS1, TS2) are acknowledged and ignored.
// - Registers past ASAZ read 0x00 and ignore writes.
// - The self-test result is the internal test field alone (ambient field left out).
#include "ak8975.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace sim::detail {

using namespace ak8975;

namespace {
// Internal field of the self-test in uT: well inside both datasheets' pass windows at every
// output width (AK8975: 12, -20, -500 counts).
constexpr double self_test_ut[3] = {3.6, -6.0, -150.0};
}  // namespace

void ak8975_model::reset() {
    clear_registers();
    regs_[WIA] = WIA_VALUE;
    std::copy(std::begin(asa_), std::end(asa_), &regs_[ASAX]);  // ASAX, ASAY, ASAZ
    measuring_ = false;
    done_at_ = 0;
}

void ak8975_model::fuse_rom(std::uint8_t asax, std::uint8_t asay, std::uint8_t asaz) {
    asa_[0] = regs_[ASAX] = asax;
    asa_[1] = regs_[ASAY] = asay;
    asa_[2] = regs_[ASAZ] = asaz;
}

bool ak8975_model::acknowledges(std::int64_t /*now_ns*/) const {
    return regs_[I2CDIS] == 0;
}

void ak8975_model::advance(std::int64_t now_ns, scene& world, bool stalled) {
    if (measuring_ && !stalled && now_ns >= done_at_) {
        complete(world);
    }
}

void ak8975_model::complete(scene& world) {
    const bool self_test = (regs_[CNTL] & CNTL_MODE_MASK) == CNTL_SELF_TEST;
    const int width = chip_->has_bit_and_srst && (regs_[CNTL] & CNTL_BIT) != 0 ? 1 : 0;
    const double ut_per_count = chip_->ut_per_count[width];
    const int data_min = chip_->data_min[width];
    const int data_max = chip_->data_max[width];
    int counts[3] = {};
    bool overflow = false;
    if (self_test && (regs_[ASTC] & ASTC_SELF) != 0) {
        for (int i = 0; i < 3; ++i) {
            counts[i] = static_cast<int>(std::lround(self_test_ut[i] / ut_per_count));
        }
    } else {
        const vec3 f = world.bypass_field_ut();
        const double axes[3] = {f.x, f.y, f.z};
        long sum = 0;
        for (int i = 0; i < 3; ++i) {
            const double ut = axes[i] + world.noise_ut();
            // Sensitivity (ASA + 128) / 256 of nominal: the inverse of the host's correction.
            const double sensitivity = static_cast<double>(asa_[i] + 128) / 256.0;
            const long c = std::lround(ut / ut_per_count / sensitivity);
            sum += c < 0 ? -c : c;
            overflow = overflow || c < data_min || c > data_max;
            counts[i] = static_cast<int>(std::clamp<long>(c, data_min, data_max));
        }
        overflow = overflow || sum >= chip_->overflow_sum_counts[width];
    }
    for (int i = 0; i < 3; ++i) {
        put_le16(&regs_[HXL + 2 * i], counts[i]);
    }
    regs_[ST2] = static_cast<std::uint8_t>(regs_[ST2] | (overflow ? ST2_HOFL : 0U) |
                                           (width == 1 ? ST2_BITM : 0U));
    regs_[ST1] = static_cast<std::uint8_t>(regs_[ST1] | ST1_DRDY);
    // Power-down; the AK8963 keeps its output width.
    regs_[CNTL] = static_cast<std::uint8_t>(regs_[CNTL] & (chip_->has_bit_and_srst ? CNTL_BIT : 0));
    measuring_ = false;
}

int ak8975_model::read_mapped(std::uint8_t reg) {
    const std::uint8_t value = regs_[reg];
    if (reg >= ASAX && reg <= ASAZ) {
        return (regs_[CNTL] & CNTL_MODE_MASK) == CNTL_FUSE_ROM ? value : 0x00;
    }
    if (reg >= HXL && reg <= HZH) {
        if (measuring_ && chip_->has_derr) {
            // Indefinite while measuring; the CNTL write left zeros there.
            regs_[ST2] = static_cast<std::uint8_t>(regs_[ST2] | ST2_DERR);
        }
        regs_[ST1] = static_cast<std::uint8_t>(regs_[ST1] & ~ST1_DRDY);
    } else if (reg == ST2) {
        regs_[ST1] = static_cast<std::uint8_t>(regs_[ST1] & ~ST1_DRDY);
        regs_[ST2] = static_cast<std::uint8_t>(regs_[ST2] & ~ST2_DERR);
    }
    return value;
}

bool ak8975_model::write(std::uint8_t reg, std::uint8_t value, std::int64_t now_ns) {
    const auto mode = static_cast<std::uint8_t>(value & CNTL_MODE_MASK);
    if (reg == CNTL) {
        std::fill(&regs_[ST1], &regs_[ST2] + 1, std::uint8_t{0x00});
        regs_[CNTL] = chip_->has_bit_and_srst
                          ? static_cast<std::uint8_t>(value & (CNTL_BIT | CNTL_MODE_MASK))
                          : value;
        measuring_ = mode == CNTL_SINGLE || mode == CNTL_SELF_TEST;
        done_at_ = now_ns + conversion_ns_;
    } else if (reg == CNTL2 && chip_->has_bit_and_srst && (value & CNTL2_SRST) != 0) {
        reset();  // SRST clears itself; CNTL2 is RSV on the AK8975
    } else if (reg == ASTC) {
        regs_[ASTC] = static_cast<std::uint8_t>(value & ASTC_SELF);
    } else if (reg == I2CDIS && chip_->has_bit_and_srst) {
        regs_[I2CDIS] = value == AK8963_I2CDIS_KEY ? value : std::uint8_t{0x00};
    } else if (reg == I2CDIS) {
        regs_[I2CDIS] = static_cast<std::uint8_t>(value & I2CDIS_I2CDIS);
    }
    return true;
}

}  // namespace sim::detail
