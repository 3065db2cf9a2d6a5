// The AK8975 model behind the motion sensor's bypass (0x0C), through the four bus calls.
#include <cstdint>

#include "sim_fixture.hpp"

namespace {

using simtest::open_bypass_mag;
using simtest::read_le16;

constexpr int WIA = 0x00;
constexpr int ST1 = 0x02;
constexpr int HXL = 0x03;
constexpr int HYL = 0x05;
constexpr int HZL = 0x07;
constexpr int ST2 = 0x09;
constexpr int CNTL = 0x0A;
constexpr int ASAX = 0x10;
constexpr int DRDY = 0x01;
constexpr int DERR = 0x04;
constexpr int HOFL = 0x08;

class ak8975_test : public simtest::board_test {
  protected:
    void SetUp() override {
        board_test::SetUp();
        mag = open_bypass_mag();
    }
    // One single measurement, waited for long enough.
    void measure() {
        ASSERT_EQ(wiringPiI2CWriteReg8(mag, CNTL, 0x01), 0);
        delay(8);
    }
    int mag = -1;
};

TEST_F(ak8975_test, PowersUpInPowerDownWithZeroDataAndIdentifies) {
    EXPECT_EQ(wiringPiI2CReadReg8(mag, WIA), 0x48);
    delay(100);  // nothing is measured until asked
    for (int reg = ST1; reg <= CNTL; ++reg) {
        EXPECT_EQ(wiringPiI2CReadReg8(mag, reg), 0x00) << reg;
    }
}

TEST_F(ak8975_test, SingleMeasurementTakesTheConversionTimeThenPowersDown) {
    struct timing {
        int set_us;            // -1 keeps the default, the typical 7.3 ms
        std::int64_t done_ns;  // after the end of the trigger write (over 9 ms: a faulty part)
    };
    auto& b = sim::board();
    for (const timing t : {timing{-1, 7'300'000}, timing{1000, 1'000'000}, timing{9000, 9'000'000},
                           timing{20000, 20'000'000}}) {
        SCOPED_TRACE(t.set_us);
        b.reset();
        if (t.set_us >= 0) {
            b.conversion_time_us(t.set_us);
        }
        mag = open_bypass_mag();
        ASSERT_EQ(wiringPiI2CWriteReg8(mag, CNTL, 0x01), 0);
        const std::int64_t started = b.now_ns();
        while ((b.peek(sim::bypass_mag_addr, ST1) & DRDY) == 0) {
            ASSERT_LT(b.now_ns(), started + 21'000'000);
            (void)wiringPiI2CReadReg8(mag, WIA);
        }
        EXPECT_GE(b.now_ns(), started + t.done_ns);
        EXPECT_LT(b.now_ns(), started + t.done_ns + sim::read_reg_ns);
        EXPECT_EQ(wiringPiI2CReadReg8(mag, CNTL), 0x00);  // back in power-down
    }
    // No further measurement without a new command, whatever the scene does.
    const int x = read_le16(mag, HXL);
    EXPECT_NE(x, 0);
    b.yaw(180);
    delay(50);
    EXPECT_EQ(read_le16(mag, HXL), x);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST1), 0x00);
}

TEST_F(ak8975_test, CntlWriteClearsStatusAndDataWhichReadZeroUntilTheMeasurementEnds) {
    sim::board().bypass_offset(2000, 61, 0);  // X saturates: DRDY and HOFL set, data non-zero
    measure();
    ASSERT_EQ(wiringPiI2CReadReg8(mag, ST1), DRDY);
    ASSERT_EQ(read_le16(mag, HXL), 4095);
    ASSERT_EQ(sim::board().peek(sim::bypass_mag_addr, ST2), HOFL);
    // WIA, INFO, ST1, the data and ST2 are read-only: writes are acknowledged and change none.
    for (int reg = WIA; reg <= ST2; ++reg) {
        const int held = sim::board().peek(sim::bypass_mag_addr, reg);
        ASSERT_EQ(wiringPiI2CWriteReg8(mag, reg, ~held & 0xFF), 0) << reg;
        EXPECT_EQ(sim::board().peek(sim::bypass_mag_addr, reg), held) << reg;
    }
    EXPECT_EQ(sim::board().peek(sim::bypass_mag_addr, WIA), 0x48);
    sim::board().bypass_offset(90, 61, 0);  // X: (25 + 90) uT / 0.3 = 383 counts from now on
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, CNTL, 0x01), 0);
    for (int reg = ST1; reg <= ST2; ++reg) {
        EXPECT_EQ(sim::board().peek(sim::bypass_mag_addr, reg), 0x00) << reg;
    }
    EXPECT_EQ(read_le16(mag, HXL), 0);  // never the previous sample
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST2), DERR);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST2), 0x00);  // reading ST2 cleared it
    delay(8);
    EXPECT_EQ(read_le16(mag, HXL), 383);
}

TEST_F(ak8975_test, DataReadyClearsOnReadingDataOrStatusTwo) {
    measure();
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST1), DRDY);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST1), DRDY);  // reading ST1 itself leaves it
    (void)wiringPiI2CReadReg8(mag, HZL + 1);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST1), 0x00);
    measure();
    (void)wiringPiI2CReadReg8(mag, ST2);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST1), 0x00);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST2), 0x00);  // a clean measurement: no DERR, no HOFL
}

TEST_F(ak8975_test, AxesReadLittleEndianInXYZOrderWithTheFuseRomSensitivity) {
    // Each axis measures with (ASA + 128) / 256 of 0.3 uT per count. 192 reads 1.25 times and 64
    // 0.75 times the nominal counts, so a host's correction H x ((ASA - 128) x 0.5 / 128 + 1)
    // gets the nominal 100 and -201 back.
    const struct {
        int asa[3];
        double ut[3];
        int counts[3];
    } cases[] = {{{128, 128, 128}, {30.0, -60.3, 90.6}, {100, -201, 302}},
                 {{128, 128, 128}, {0.44, -0.46, 0.16}, {1, -2, 1}},  // to the nearest count
                 {{192, 64, 128}, {30.0, -60.3, 90.6}, {80, -268, 302}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.asa[0] << ", " << c.ut[0]);
        sim::board().reset().asa(c.asa[0], c.asa[1], c.asa[2]).field(0, 0);
        sim::board().bypass_offset(c.ut[0], c.ut[1], c.ut[2]);
        mag = open_bypass_mag();
        measure();
        EXPECT_EQ(read_le16(mag, HXL), c.counts[0]);
        EXPECT_EQ(read_le16(mag, HYL), c.counts[1]);
        EXPECT_EQ(read_le16(mag, HZL), c.counts[2]);
        EXPECT_EQ(wiringPiI2CReadReg8(mag, ASAX), 0x00);  // only in fuse-ROM access mode
        ASSERT_EQ(wiringPiI2CWriteReg8(mag, CNTL, 0x0F), 0);
        ASSERT_EQ(wiringPiI2CWriteReg8(mag, ASAX, 0x11), 0);  // read-only
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(wiringPiI2CReadReg8(mag, ASAX + i), c.asa[i]);
        }
    }
    // Every part of the default board is trimmed to exactly 0.3 uT per count.
    sim::board().reset();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sim::board().peek(sim::bypass_mag_addr, ASAX + i), 0x80);
    }
}

TEST_F(ak8975_test, HoflFlagsASumOfAxesFrom2400MicroteslaOrASaturatedAxis) {
    struct overflow_case {
        double x_ut, y_ut, z_ut;
        int x;  // counts read back on X
        bool hofl;
    };
    const overflow_case cases[] = {
        {900, 900, 599.7, 3000, false},  // 3000 + 3000 + 1999 counts: 2399.7 uT
        {900, 900, 600, 3000, true},     // exactly 2400 uT, no axis near its limit
        {-900, 900, -700, -3000, true},  // magnitudes add
        {1300, 0, 0, 4095, true},        // one axis past its range, sum below 2400
        {-1228.8, 0, 0, -4096, false}};  // the range's far end is still a measurement
    sim::board().field(0, 0);
    for (const overflow_case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x_ut << ", " << c.y_ut << ", " << c.z_ut);
        sim::board().bypass_offset(c.x_ut, c.y_ut, c.z_ut);
        measure();
        EXPECT_EQ(read_le16(mag, HXL), c.x);
        EXPECT_EQ(wiringPiI2CReadReg8(mag, ST2), c.hofl ? HOFL : 0x00);
    }
}

TEST_F(ak8975_test, StalledConversionNeverCompletesUntilReleased) {
    sim::board().stall_conversion();
    measure();
    delay(1000);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST1), 0x00);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, CNTL), 0x01);
    sim::board().stall_conversion(false);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST1), DRDY);  // overdue: completes at the next call
    EXPECT_NE(read_le16(mag, HXL), 0);
}

TEST_F(ak8975_test, SelfTestGivesTheInternalFieldInsideTheDatasheetWindow) {
    sim::board().bypass_offset(500, 500, 500);  // the ambient field does not reach the result
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, 0x0C, 0x40), 0);  // ASTC: SELF
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, CNTL, 0x08), 0);
    delay(8);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, ST1), DRDY);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, CNTL), 0x00);
    const int x = read_le16(mag, HXL);
    const int y = read_le16(mag, HYL);
    const int z = read_le16(mag, HZL);
    EXPECT_TRUE(x >= -100 && x <= 100 && y >= -100 && y <= 100 && z >= -1000 && z <= -300)
        << x << ", " << y << ", " << z;
}

TEST_F(ak8975_test, WritingI2cdisDisconnectsUntilPowerOn) {
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, 0x0F, 0x01), 0);  // I2CDIS
    EXPECT_EQ(wiringPiI2CReadReg8(mag, WIA), -1);
    // A motion sensor reset does not repower the magnetometer.
    const int mpu = wiringPiI2CSetup(sim::motion_sensor_addr);
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, 0x6B, 0x80), 0);
    delay(100);
    ASSERT_EQ(wiringPiI2CWriteReg8(mpu, 0x37, 0x02), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, WIA), -1);
    sim::board().reset();
    EXPECT_EQ(wiringPiI2CReadReg8(open_bypass_mag(), WIA), 0x48);
}

}  // namespace
