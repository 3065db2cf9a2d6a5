// The board as users meet it: errno of failed calls, the message-level transfer, the parts a board
// may carry in place of the default ones, and the named scenes.
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "sim_fixture.hpp"

namespace {

using sim::message;
using sim::part;
using simtest::board_test;
using simtest::read_le16;

constexpr int PWR_MGMT_1 = 0x6B;
constexpr int INT_PIN_CFG = 0x37;
constexpr int WHO_AM_I = 0x75;
constexpr int CNTL = 0x0A;
constexpr int ST1 = 0x02;
constexpr int ST2 = 0x09;

TEST_F(board_test, FailedCallsSetErrnoAsI2cDevAndSuccessfulOnesLeaveIt) {
    auto& b = sim::board();
    const struct {
        const char* name;
        void (*inject)();
        int addr;
        int setup_errno;  // 0: setup succeeds, then a register write is tried
        int write_errno;
    } cases[] = {
        {"no 7-bit address", [] {}, 0x80, EINVAL, 0},
        {"no bus", [] { sim::board().bus_missing(); }, 0x1E, ENOENT, 0},
        {"no permission", [] { sim::board().no_permission(); }, 0x1E, EACCES, 0},
        {"kernel driver", [] { sim::board().kernel_driver(0x1E); }, 0x1E, EBUSY, 0},
        {"nobody at the address", [] {}, 0x50, 0, ENXIO},
        {"absent", [] { sim::board().absent(0x1E); }, 0x1E, 0, ENXIO},
        {"one transfer lost", [] { sim::board().nack_transfer(1); }, 0x1E, 0, ENXIO},
        {"register refused", [] { sim::board().nack_register(0x1E, 0x02); }, 0x1E, 0, EREMOTEIO},
        {"sound", [] {}, 0x1E, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        b.reset();
        c.inject();
        errno = 12345;
        const int fd = wiringPiI2CSetup(c.addr);
        EXPECT_EQ(errno, c.setup_errno == 0 ? 12345 : c.setup_errno);
        if (c.setup_errno != 0) {
            EXPECT_EQ(fd, -1);
            continue;
        }
        EXPECT_EQ(wiringPiI2CWriteReg8(fd, 0x02, 0x00), c.write_errno == 0 ? 0 : -1);
        EXPECT_EQ(errno, c.write_errno == 0 ? 12345 : c.write_errno);
    }
    b.reset();
    EXPECT_EQ(wiringPiI2CReadReg8(99, 0x00), -1);
    EXPECT_EQ(errno, EBADF);
    for (int i = 0; i < 1024; ++i) {
        ASSERT_GE(wiringPiI2CSetup(0x1E), 0);
    }
    EXPECT_EQ(wiringPiI2CSetup(0x1E), -1);
    EXPECT_EQ(errno, EMFILE);
}

TEST_F(board_test, MessagesMoveThePointerByTheDatasheetRuleAndCostTheirBits) {
    auto& b = sim::board();
    const auto bits = [](std::int64_t n) { return n * sim::bit_time_ns; };
    // Three registers in one write: start, address, four bytes, stop.
    std::uint8_t config[] = {0x00, 0x70, 0xA0, 0x01};
    message write_config{false, config, 4};
    ASSERT_EQ(b.i2c_transfer(0x1E, &write_config, 1), 1);
    EXPECT_EQ(b.now_ns(), bits(2 + 9 + 4 * 9));
    EXPECT_EQ(b.peek(0x1E, 0x00), 0x70);
    EXPECT_EQ(b.peek(0x1E, 0x01), 0xA0);
    delay(7);  // the single measurement
    // The six data bytes and a seventh: the pointer wraps from 08H back to 03H.
    std::uint8_t reg = 0x03;
    std::uint8_t data[7] = {};
    message burst[] = {{false, &reg, 1}, {true, data, 7}};
    const std::int64_t t0 = b.now_ns();
    ASSERT_EQ(b.i2c_transfer(0x1E, burst, 2), 2);
    EXPECT_EQ(b.now_ns() - t0, bits(2 + 9 + 9 + 1 + 9 + 7 * 9));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(data[i], b.peek(0x1E, 0x03 + i)) << i;
    }
    EXPECT_EQ(data[6], data[0]);
    // A refused byte ends the transfer there: the bytes before it landed, the rest did not.
    b.nack_register(0x1E, 0x01);
    std::uint8_t again[] = {0x00, 0x10, 0x20};
    message refused{false, again, 3};
    const std::int64_t t1 = b.now_ns();
    EXPECT_EQ(b.i2c_transfer(0x1E, &refused, 1), -EREMOTEIO);
    EXPECT_EQ(b.now_ns() - t1, bits(2 + 9 + 9 + 9 + 9));
    EXPECT_EQ(b.peek(0x1E, 0x00), 0x10);
    EXPECT_EQ(b.peek(0x1E, 0x01), 0xA0);
    EXPECT_EQ(b.i2c_transfer(0x50, &refused, 1), -ENXIO);
    EXPECT_EQ(b.i2c_transfer(0x1E, burst, 0), -EINVAL);
    EXPECT_EQ(b.i2c_transfer(0x80, burst, 2), -EINVAL);
    // The real-time clock's pointer wraps from 12H to 00H.
    b.reset().fit(0x68, part::ds3231);
    std::uint8_t seconds[] = {0x00, 0x45};
    message set_seconds{false, seconds, 2};
    ASSERT_EQ(b.i2c_transfer(0x68, &set_seconds, 1), 1);
    reg = 0x11;
    burst[1].len = 3;
    ASSERT_EQ(b.i2c_transfer(0x68, burst, 2), 2);
    EXPECT_EQ(data[0], 0x19);  // 25 degC
    EXPECT_EQ(data[1], 0x00);
    EXPECT_EQ(data[2], 0x45);
}

TEST_F(board_test, ClockMovesForwardToAGivenTimeOnlyAndTheDevicesWithIt) {
    auto& b = sim::board();
    const int mag = simtest::open_bypass_mag();
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, CNTL, 0x01), 0);
    const std::int64_t done = b.now_ns() + 7'300'000;
    b.advance_to_ns(done - 1);
    EXPECT_EQ(b.peek(0x0C, ST1), 0x00);
    b.advance_to_ns(done).advance_to_ns(0);
    EXPECT_EQ(b.now_ns(), done);
    EXPECT_EQ(b.peek(0x0C, ST1), 0x01);
}

// Opens the part at addr as a motion sensor: wake-up, bypass on, then WHO_AM_I.
int who_am_i(int addr) {
    const int fd = wiringPiI2CSetup(addr);
    (void)wiringPiI2CWriteReg8(fd, PWR_MGMT_1, 0x00);
    (void)wiringPiI2CWriteReg8(fd, INT_PIN_CFG, 0x02);
    return wiringPiI2CReadReg8(fd, WHO_AM_I);
}

TEST_F(board_test, MotionSensorVariantsAnswerTheirIdentityAndGateWhatIsBehind) {
    const struct {
        const char* name;
        void (*fit)(sim::board_t& b);
        int addr;
        int who_am_i;
        int behind_wia;  // -1: nothing answers at 0x0C
    } cases[] = {
        {"MPU-6050", [](sim::board_t&) {}, 0x68, 0x68, 0x48},
        {"MPU-6500", [](sim::board_t& b) { b.fit(0x68, part::mpu6500).fit(0x0C, part::none); },
         0x68, 0x70, -1},
        {"MPU-9250",
         [](sim::board_t& b) { b.fit(0x68, part::mpu9250).fit(0x0C, part::ak8963, 0x68); }, 0x68,
         0x71, 0x48},
        {"MPU-9255",
         [](sim::board_t& b) { b.fit(0x68, part::mpu9255).fit(0x0C, part::ak8963, 0x68); }, 0x68,
         0x73, 0x48},
        {"MPU-6050 alone", [](sim::board_t& b) { b.fit(0x0C, part::none); }, 0x68, 0x68, -1},
        {"AD0 high",
         [](sim::board_t& b) { b.fit(0x69, part::mpu6050).fit(0x0C, part::ak8975, 0x69); }, 0x69,
         0x68, 0x48},
        // A real-time clock at 0x68: no register 75H, no bypass.
        {"DS3231", [](sim::board_t& b) { b.fit(0x68, part::ds3231); }, 0x68, 0x00, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.fit(sim::board().reset());
        EXPECT_EQ(who_am_i(c.addr), c.who_am_i);
        EXPECT_EQ(wiringPiI2CReadReg8(wiringPiI2CSetup(0x0C), 0x00), c.behind_wia);
    }
    EXPECT_EQ(sim::board().fitted(0x68), part::ds3231);
    EXPECT_EQ(sim::board().fitted(0x69), part::none);
    EXPECT_EQ(who_am_i(0x69), -1);  // the MPU-6050 left 0x69 for 0x68 at reset
}

TEST_F(board_test, Ak8963MeasuresAtTheChosenWidthAndFlagsOverflowAndWidth) {
    const struct {
        int cntl1;
        double ut[3];
        int x;    // counts: ut / 0.6 at 14 bits, ut / 0.15 at 16 bits, to the nearest
        int st2;  // HOFL 0x08, BITM 0x10
    } cases[] = {
        {0x01, {30, 0, 0}, 50, 0x00},
        {0x11, {30, 0, 0}, 200, 0x10},
        {0x01, {6000, 0, 0}, 8190, 0x08},         // 10000 counts, cut to the range
        {0x11, {-6000, 0, 0}, -32760, 0x18},      // -40000 counts
        {0x01, {2000, 2000, 913}, 3333, 0x08},    // 3333 + 3333 + 1522 counts: 4913 uT
        {0x01, {2000, 2000, 911.5}, 3333, 0x00},  // 3333 + 3333 + 1519: 4911.5 uT
    };
    sim::apply_scene("mpu9250");
    sim::board().field(0, 0).noise(0);
    const int mag = simtest::open_bypass_mag();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.cntl1 << ", " << c.ut[0]);
        sim::board().bypass_offset(c.ut[0], c.ut[1], c.ut[2]);
        ASSERT_EQ(wiringPiI2CWriteReg8(mag, CNTL, c.cntl1), 0);
        delay(9);
        EXPECT_EQ(wiringPiI2CReadReg8(mag, CNTL), c.cntl1 & 0x10);  // power-down, width kept
        EXPECT_EQ(read_le16(mag, 0x03), c.x);
        EXPECT_EQ(wiringPiI2CReadReg8(mag, ST2), c.st2);
    }
    // CNTL2 SRST: every register back to power-on.
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, CNTL, 0x11), 0);
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, 0x0B, 0x01), 0);
    delay(9);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, CNTL), 0x00);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST1), 0x00);
}

// What each named board shows of its parts.
const struct {
    const char* name;
    int mpu_errno;   // of setup at 0x68
    int behind_wia;  // at 0x0C with the bypass on; -1 none
    int ak_st1;      // after a single measurement; -1 none
    int ak_st2;
    int hmc_ident;  // 0x1E register 0x0A; -1 none
    int hmc_x;      // X after a single measurement (MR 0x01), within the noise
    int qmc_addr;   // where a QMC answers its chip ID, with it; -1 none
    int qmc_id;
} named_boards[] = {
    {"sound", 0, 0x48, 0x01, 0x00, 'H', 277, -1, 0},
    {"no-bus", ENOENT, -1, -1, 0, -1, 0, -1, 0},
    {"no-permission", EACCES, -1, -1, 0, -1, 0, -1, 0},
    {"kernel-device", EBUSY, -1, -1, 0, 'H', 277, -1, 0},
    {"no-magnetometer", 0, -1, -1, 0, -1, 0, -1, 0},
    {"mpu9250", 0, 0x48, 0x01, 0x00, 'H', 277, -1, 0},
    {"qmc5883l", 0, -1, -1, 0, -1, 0, 0x0D, 0xFF},
    {"qmc5883p", 0, -1, -1, 0, -1, 0, 0x2C, 0x80},
    {"never-measures", 0, 0x48, 0x00, 0x00, 'H', 0, -1, 0},
    {"magnet", 0, 0x48, 0x01, 0x08, 'H', -4096, -1, 0},
};

TEST(scenes, EachNamedBoardShowsItsParts) {
    std::size_t listed = 0;
    while (sim::scene_name(listed) != nullptr) {
        EXPECT_STREQ(sim::scene_name(listed), named_boards[listed].name);
        ++listed;
    }
    EXPECT_EQ(listed, std::size(named_boards));
    for (const auto& c : named_boards) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(sim::apply_scene(c.name));
        errno = 0;
        const int mpu = wiringPiI2CSetup(0x68);
        EXPECT_EQ(errno, c.mpu_errno);
        (void)wiringPiI2CWriteReg8(mpu, INT_PIN_CFG, 0x02);
        const int ak = wiringPiI2CSetup(0x0C);
        EXPECT_EQ(wiringPiI2CReadReg8(ak, 0x00), c.behind_wia);
        (void)wiringPiI2CWriteReg8(ak, CNTL, 0x01);
        const int hmc = wiringPiI2CSetup(0x1E);
        EXPECT_EQ(wiringPiI2CReadReg8(hmc, 0x0A), c.hmc_ident);
        (void)wiringPiI2CWriteReg8(hmc, 0x02, 0x01);
        delay(10);
        EXPECT_EQ(wiringPiI2CReadReg8(ak, ST1), c.ak_st1);
        if (c.ak_st1 > 0) {
            EXPECT_EQ(wiringPiI2CReadReg8(ak, ST2), c.ak_st2);
        }
        if (c.hmc_ident > 0) {
            EXPECT_NEAR(simtest::read_be16(hmc, 0x03), c.hmc_x, 8);  // the scenes' 0.2 uT noise
        }
        if (c.qmc_addr >= 0) {
            EXPECT_EQ(
                wiringPiI2CReadReg8(wiringPiI2CSetup(c.qmc_addr), c.qmc_addr == 0x0D ? 0x0D : 0x00),
                c.qmc_id);
        }
    }
    EXPECT_FALSE(sim::apply_scene("no-such-board"));
    EXPECT_EQ(sim::board().fitted(0x1E), part::hmc5883l);  // reset to sound
    sim::board().reset();
}

}  // namespace
