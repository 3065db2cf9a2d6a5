// Model of the AKM AK8975: single and self-test measurements with their conversion time,
// DRDY/DERR/HOFL status, and the fuse ROM.
//
// From the datasheet (MS1187-E): a CNTL write initialises ST1, the data registers and ST2
// (02H to 09H); a measurement takes 7.3 ms typical, 9 ms at most; HOFL is set when
// |X|+|Y|+|Z| >= 2400 uT; each axis measures with the sensitivity its fuse-ROM value ASA trims, so
// a host gets the field as H x ((ASA - 128) x 0.5 / 128 + 1).
//
// Where the datasheet is vague or silent the model assumes:
// - Data read while a measurement runs is "indefinite": the model returns the initialised zeros,
//   never the previous sample, and sets DERR (cleared by reading ST2).
// - INFO reads 0x00; the fuse ROM reads 0x00 outside fuse-ROM access mode.
// - Any CNTL write takes effect at once, also without passing through power-down first; a
//   single-measurement write during a conversion restarts it; unknown modes act as power-down.
// - An axis beyond the 13-bit range reads its limit and sets HOFL too.
// - Writes to read-only and test registers (TS1, TS2) are acknowledged and ignored.
// - Registers past ASAZ read 0x00 and ignore writes.
// - The self-test result is the internal test field alone (ambient field left out).
#include "ak8975.hpp"

#include <cmath>

namespace sim::detail {

using namespace ak8975;

namespace {
// Internal field of the self-test, in counts: well inside the datasheet's pass window.
constexpr int self_test_counts[3] = {12, -20, -500};

bool is_data(std::uint8_t reg) {
    return reg >= HXL && reg <= HZH;
}
}  // namespace

void ak8975_model::reset() {
    for (auto& r : regs_) {
        r = 0x00;
    }
    regs_[WIA] = WIA_VALUE;
    regs_[ASAX] = asa_[0];
    regs_[ASAY] = asa_[1];
    regs_[ASAZ] = asa_[2];
    measuring_ = false;
    done_at_ = 0;
}

void ak8975_model::fuse_rom(std::uint8_t asax, std::uint8_t asay, std::uint8_t asaz) {
    asa_[0] = regs_[ASAX] = asax;
    asa_[1] = regs_[ASAY] = asay;
    asa_[2] = regs_[ASAZ] = asaz;
}

void ak8975_model::advance(std::int64_t now, scene& world, bool stalled) {
    if (measuring_ && !stalled && now >= done_at_) {
        complete(world);
    }
}

void ak8975_model::complete(scene& world) {
    const bool self_test = (regs_[CNTL] & CNTL_MODE_MASK) == CNTL_SELF_TEST;
    int counts[3] = {};
    bool overflow = false;
    if (self_test && (regs_[ASTC] & ASTC_SELF) != 0) {
        for (int i = 0; i < 3; ++i) {
            counts[i] = self_test_counts[i];
        }
    } else {
        const vec3 f = world.bypass_field_ut();
        const double axes[3] = {f.x, f.y, f.z};
        long sum = 0;
        for (int i = 0; i < 3; ++i) {
            const double ut = axes[i] + world.noise_ut();
            // Sensitivity (ASA + 128) / 256 of nominal: the inverse of the host's correction.
            const double sensitivity = static_cast<double>(asa_[i] + 128) / 256.0;
            long c = std::lround(ut / ut_per_count / sensitivity);
            sum += c < 0 ? -c : c;
            if (c < data_min || c > data_max) {
                overflow = true;
                c = c < data_min ? data_min : data_max;
            }
            counts[i] = static_cast<int>(c);
        }
        overflow = overflow || sum >= overflow_sum_counts;
    }
    for (int i = 0; i < 3; ++i) {
        const auto raw = static_cast<std::uint16_t>(counts[i]);
        regs_[HXL + 2 * i] = static_cast<std::uint8_t>(raw & 0xFFU);
        regs_[HXL + 2 * i + 1] = static_cast<std::uint8_t>(raw >> 8U);
    }
    if (overflow) {
        regs_[ST2] = static_cast<std::uint8_t>(regs_[ST2] | ST2_HOFL);
    }
    regs_[ST1] = static_cast<std::uint8_t>(regs_[ST1] | ST1_DRDY);
    regs_[CNTL] = CNTL_POWER_DOWN;
    measuring_ = false;
}

std::uint8_t ak8975_model::read(std::uint8_t reg) {
    if (reg >= register_count) {
        return 0x00;
    }
    const std::uint8_t value = regs_[reg];
    if (reg >= ASAX && reg <= ASAZ) {
        return (regs_[CNTL] & CNTL_MODE_MASK) == CNTL_FUSE_ROM ? value : std::uint8_t{0x00};
    }
    if (is_data(reg)) {
        if (measuring_) {
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

void ak8975_model::write(std::uint8_t reg, std::uint8_t value, std::int64_t now) {
    switch (reg) {
        case CNTL: {
            for (std::uint8_t r = ST1; r <= ST2; ++r) {
                regs_[r] = 0x00;
            }
            regs_[CNTL] = value;
            const auto mode = static_cast<std::uint8_t>(value & CNTL_MODE_MASK);
            if (mode == CNTL_SINGLE || mode == CNTL_SELF_TEST) {
                measuring_ = true;
                done_at_ = now + conversion_ns_;
            } else {
                measuring_ = false;
            }
            break;
        }
        case ASTC:
            regs_[ASTC] = static_cast<std::uint8_t>(value & ASTC_SELF);
            break;
        case I2CDIS:
            regs_[I2CDIS] = static_cast<std::uint8_t>(value & I2CDIS_I2CDIS);
            break;
        default:
            break;
    }
}

int ak8975_model::peek(std::uint8_t reg) const {
    if (reg >= register_count) {
        return 0x00;
    }
    return regs_[reg];
}

}  // namespace sim::detail
