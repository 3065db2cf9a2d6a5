// Model of the HMC5883L: single and continuous measurement with output rate, averaging, gain and
// bias modes; RDY and LOCK with the output-register lock; overflow to -4096.
//
// From the datasheet (Honeywell HMC5883L, rev. E): single-measurement mode is the power-on default
// and the part measures once at power-up (operational notes: the data registers hold a valid
// measurement about 56 ms after power-up), then idles; after a gain change "the very first
// measurement ... maintains the same gain as the previous setting" (register CRB). The address
// pointer moves on by one after each byte and wraps from 08H back to 03H, so the six data bytes
// can be read again and again in one burst.
//
// Where the datasheet is vague or silent the model assumes:
// - reset() is a board that has been powered longer than that: the power-up measurement is in the
//   data registers with RDY set, and the mode register reads idle (MD = 11).
// - The first continuous sample lands 2/fDO after the mode or CRA write ("after a period of
//   2/fDO", mode register section), not the 6 ms of the datasheet's example, since the later one
//   is harder on a driver; first_sample_ns() chooses another. Later samples follow every 1/fDO on
//   that grid; writing the mode register again, or CRA, restarts it from the write. When output is
//   due several times between two bus calls only the newest sample is kept.
// - A single measurement takes 6 ms, then the mode register reads idle (MD = 11, HS kept).
// - RDY is set when a sample lands in the data registers and cleared once all six have been read.
// - LOCK is set by reading some but not all six data registers, or by reading the mode register;
//   a sample produced while locked waits and lands as soon as the lock is released (sixth byte
//   read, mode or CRA written).
// - Bias modes give the bias field alone (the device subtracts the unbiased measurement).
//   Averaging divides the noise, not the field.
// - Writes to data, status and identification registers are acknowledged and ignored; registers
//   past IRC read 0x00, and the pointer goes from IRC to CRA.
#include "hmc5883l.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>

namespace sim::detail {

using namespace hmc5883l;

namespace {
constexpr unsigned all_data = 0x3FU;
constexpr std::int64_t quarter_hz_period_scale = 4'000'000'000;  // ns x 0.25 Hz
}  // namespace

void hmc5883l_model::reset() {
    clear_registers();
    regs_[CRA] = CRA_RESET_VALUE;
    regs_[CRB] = CRB_RESET_VALUE;
    regs_[MR] = MR_RESET_VALUE;
    regs_[IRA] = IRA_VALUE;
    regs_[IRB] = IRB_VALUE;
    regs_[IRC] = IRC_VALUE;
    run_ = run_state{};
}

std::int64_t hmc5883l_model::rate_q() const {
    return rate_quarter_hz[(regs_[CRA] & CRA_DO_MASK) >> CRA_DO_SHIFT];
}

// Time of the k-th continuous sample (k >= 1) after the mode or CRA write.
std::int64_t hmc5883l_model::sample_time(std::int64_t k) const {
    const std::int64_t q = rate_q();
    if (first_sample_ns_ < 0) {
        return run_.continuous_from + (k + 1) * quarter_hz_period_scale / q;
    }
    return run_.continuous_from + first_sample_ns_ + (k - 1) * quarter_hz_period_scale / q;
}

void hmc5883l_model::advance(std::int64_t now, scene& world, bool stalled) {
    if (run_.powerup_pending && !stalled) {
        measure(world);
        regs_[MR] = MD_IDLE;
        run_.powerup_pending = false;
    }
    const auto md = static_cast<std::uint8_t>(regs_[MR] & MR_MD_MASK);
    if (md == MD_CONTINUOUS && now >= sample_time(run_.next_sample)) {
        // Index of the newest sample due by now: estimated, then settled exactly on the grid.
        std::int64_t due = std::max(
            run_.next_sample, (now - run_.continuous_from) * rate_q() / quarter_hz_period_scale);
        while (sample_time(due + 1) <= now) {
            ++due;
        }
        while (due > run_.next_sample && sample_time(due) > now) {
            --due;
        }
        if (!stalled) {
            measure(world);
        }
        run_.next_sample = due + 1;
    } else if (md == MD_SINGLE && !stalled && now >= run_.single_done_at) {
        measure(world);
        regs_[MR] = static_cast<std::uint8_t>((regs_[MR] & MR_HS) | MD_IDLE);
    }
}

void hmc5883l_model::measure(scene& world) {
    const int gain = gain_counts_per_gauss[run_.gain];
    run_.gain = (regs_[CRB] & CRB_GN_MASK) >> CRB_GN_SHIFT;  // a new gain from the next one on
    const int averaged = 1 << ((regs_[CRA] & CRA_MA_MASK) >> CRA_MA_SHIFT);
    const auto ms = static_cast<std::uint8_t>(regs_[CRA] & CRA_MS_MASK);
    const vec3 f = world.standalone_field_ut();
    const double field_ut[3] = {f.x, f.y, f.z};
    constexpr std::size_t slot[3] = {0, 2, 1};  // X, Y, Z's place: registers go X, Z, Y
    for (std::size_t i = 0; i < 3; ++i) {
        double noise = 0.0;
        for (int n = 0; n < averaged; ++n) {
            noise += world.noise_ut();
        }
        noise /= static_cast<double>(averaged);
        double gauss = 0.0;
        int offset = 0;
        if (ms == MS_POSITIVE_BIAS) {
            gauss = bias_gauss[i];
        } else if (ms == MS_NEGATIVE_BIAS) {
            gauss = -bias_gauss[i];
        } else {
            gauss = field_ut[i] / ut_per_gauss;
            offset = world.standalone_offset[i];
        }
        const long c =
            std::lround((gauss + noise / ut_per_gauss) * static_cast<double>(gain)) + offset;
        // Each MSB first.
        put_be16(&run_.sample[2 * slot[i]],
                 (c < data_min || c > data_max) ? data_overflow : static_cast<int>(c));
    }
    run_.sample_waiting = true;
    if ((regs_[SR] & SR_LOCK) == 0) {
        deliver();
    }
}

void hmc5883l_model::deliver() {
    if (!run_.sample_waiting) {
        return;
    }
    std::copy(std::begin(run_.sample), std::end(run_.sample), &regs_[DXRA]);
    run_.sample_waiting = false;
    regs_[SR] = static_cast<std::uint8_t>(regs_[SR] | SR_RDY);
}

void hmc5883l_model::unlock() {
    run_.read_mask = 0;
    regs_[SR] = static_cast<std::uint8_t>(regs_[SR] & ~SR_LOCK);
    deliver();
}

int hmc5883l_model::read_mapped(std::uint8_t reg) {
    const std::uint8_t value = regs_[reg];
    const bool data = reg >= DXRA && reg <= DYRB;
    run_.read_mask |= data ? 1U << (reg - DXRA) : 0U;
    if (data && run_.read_mask == all_data) {
        regs_[SR] = static_cast<std::uint8_t>(regs_[SR] & ~SR_RDY);
        unlock();
    } else if (data || reg == MR) {
        regs_[SR] = static_cast<std::uint8_t>(regs_[SR] | SR_LOCK);
    }
    return value;
}

bool hmc5883l_model::write(std::uint8_t reg, std::uint8_t value, std::int64_t now) {
    if (reg == CRA) {
        regs_[CRA] = static_cast<std::uint8_t>(value & 0x7FU);  // CRA7 must stay clear
    } else if (reg == CRB) {
        regs_[CRB] = static_cast<std::uint8_t>(value & CRB_GN_MASK);
    } else if (reg == MR) {
        run_.powerup_pending = false;  // a mode written first wins over the power-up measurement
        regs_[MR] = static_cast<std::uint8_t>(value & (MR_HS | MR_MD_MASK));
        run_.single_done_at = now + single_measurement_ns;
    }
    if (reg == CRA || reg == MR) {  // either restarts the continuous grid and releases the lock
        run_.continuous_from = now;
        run_.next_sample = 1;
        unlock();
    }
    return true;
}

std::uint8_t hmc5883l_model::next_register(std::uint8_t reg) const {
    if (reg == DYRB) {
        return DXRA;  // a burst through the data rolls over to X
    }
    return reg + 1U < register_count ? static_cast<std::uint8_t>(reg + 1U) : std::uint8_t{CRA};
}

}  // namespace sim::detail
