// The models a board can carry, one of each family, and how a part of the board's list is fitted
// from them: which model, in which variant.
#pragma once

#include "ak8975.hpp"
#include "bus.hpp"
#include "hmc5883l.hpp"
#include "mpu6050.hpp"
#include "qmc5883l.hpp"
#include "qmc5883p.hpp"
#include "register_file.hpp"
#include "sim/board.hpp"

namespace sim::detail {

struct parts {
    mpu6050_model mpu;
    ak8975_model ak;
    hmc5883l_model hmc;
    register_file_model hmc_clone{hmc5883l_clone::power_on, sizeof hmc5883l_clone::power_on, 0};
    qmc5883l_model qmc_l;
    qmc5883p_model qmc_p;
    register_file_model rtc{ds3231::power_on, sizeof ds3231::power_on, ds3231::TEMP_MSB};

    // Properties of the parts back to the board's defaults, and every model to power-on.
    void power_on();
    // Fits p at addr on b (see board_t::fit); the model starts at power-on.
    void fit(bus& b, int addr, part p, int behind);
    part fitted(const bus& b, int addr) const;

    part kind[address_count] = {};  // what was last fitted at each address
};

// The part a command names (part::none for "none"); false for a name no part has.
bool part_named(const char* name, part& p);

}  // namespace sim::detail
