// The shared variant of the simulated board: the four calls and the sim interface come from
// libi2cbus_sim.so, and its board is ready before anything sets it up.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "i2cbus/bus.h"
#include "sim/board.hpp"

namespace {

bool from_shared_sim(const void* symbol) {
    Dl_info info{};
    return dladdr(symbol, &info) != 0 && info.dli_fname != nullptr &&
           std::strstr(info.dli_fname, "libi2cbus_sim.so") != nullptr;
}

TEST(shared_sim, BoardIsReadyWithoutSetUp) {
    // The very first calls of the process: no reset(), no initialisation call.
    const int fd = wiringPiI2CSetup(sim::standalone_mag_addr);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0A), 'H');
    EXPECT_EQ(sim::board().now_ns(), sim::read_reg_ns);
    ASSERT_EQ(sim::board().log().size(), 2U);
    EXPECT_EQ(sim::board().log()[1].value, 'H');
}

TEST(shared_sim, BusCallsAndSimInterfaceLiveInTheSharedLibrary) {
    EXPECT_TRUE(from_shared_sim(reinterpret_cast<const void*>(&wiringPiI2CSetup)));
    EXPECT_TRUE(from_shared_sim(reinterpret_cast<const void*>(&wiringPiI2CReadReg8)));
    EXPECT_TRUE(from_shared_sim(reinterpret_cast<const void*>(&wiringPiI2CWriteReg8)));
    EXPECT_TRUE(from_shared_sim(reinterpret_cast<const void*>(&delay)));
    EXPECT_TRUE(from_shared_sim(reinterpret_cast<const void*>(&sim::board)));
}

}  // namespace
