// The HMC5883L model at 0x1E, through the four bus calls.
#include <array>
#include <cstdint>

#include "sim_fixture.hpp"

namespace {

using simtest::read_be16;

constexpr int CRA = 0x00;
constexpr int CRB = 0x01;
constexpr int MR = 0x02;
constexpr int DXRA = 0x03;
constexpr int DZRA = 0x05;
constexpr int DYRA = 0x07;
constexpr int RDY = 0x01;
constexpr int LOCK = 0x02;

using xyz = std::array<int, 3>;

class hmc5883l_test : public simtest::board_test {
  protected:
    void SetUp() override {
        board_test::SetUp();
        mag = wiringPiI2CSetup(sim::standalone_mag_addr);
    }
    static int status() { return sim::board().peek(sim::standalone_mag_addr, 0x09); }
    // X as the data registers hold it, without reading (and so locking) them.
    static int held_x() {
        const int hi = sim::board().peek(sim::standalone_mag_addr, DXRA);
        return static_cast<std::int16_t>((hi << 8) |
                                         sim::board().peek(sim::standalone_mag_addr, DXRA + 1));
    }
    // Takes the power-up measurement out of the way (clearing RDY), sets CRA and enters
    // continuous mode; returns the time the mode write took effect.
    std::int64_t start_continuous(int cra) {
        (void)read_all();
        EXPECT_EQ(wiringPiI2CWriteReg8(mag, CRA, cra), 0);
        EXPECT_EQ(wiringPiI2CWriteReg8(mag, MR, 0x00), 0);
        return sim::board().now_ns();
    }
    static void wait_ready() {
        for (int i = 0; i < 3000 && (status() & RDY) == 0; ++i) {
            delay(1);
        }
        ASSERT_NE(status() & RDY, 0);
    }
    xyz read_all() const {
        const int x = read_be16(mag, DXRA);
        const int z = read_be16(mag, DZRA);
        return {x, read_be16(mag, DYRA), z};
    }
    int mag = -1;
};

TEST_F(hmc5883l_test, PowerUpMeasurementWaitsInTheDataRegistersWhileThePartIdles) {
    // Measured with the board as set before the first call: facing east, north is on the left
    // (Y) axis: 0.25 G x 1090 = 272.5, rounded away from zero, less 273 counts of hard iron; X
    // holds its 4 counts, Z (up) -0.4 G x 1090. Data are big-endian in X, Z, Y order.
    sim::board().reset().yaw(90);
    mag = wiringPiI2CSetup(sim::standalone_mag_addr);
    EXPECT_EQ(status(), RDY);
    const int want[] = {0x10, 0x20, 0x03, 0x00, 0x04, 0xFE, 0x4C, 0x00, 0x00, 0x00, 'H', '4', '3'};
    for (int reg = 0; reg <= 0x0C; ++reg) {
        EXPECT_EQ(wiringPiI2CReadReg8(mag, reg), want[reg]) << reg;
    }
    // Idle: nothing new, however long and whatever the board does.
    sim::board().yaw(0);
    delay(500);
    EXPECT_EQ(status(), 0);
    EXPECT_EQ(read_all()[0], 4);
    // Data, status and identification are read-only: writes are acknowledged and change none.
    for (int reg = DXRA; reg <= 0x0C; ++reg) {
        ASSERT_EQ(wiringPiI2CWriteReg8(mag, reg, ~want[reg] & 0xFF), 0) << reg;
    }
    for (int reg = DXRA; reg <= 0x0C; ++reg) {
        EXPECT_EQ(wiringPiI2CReadReg8(mag, reg), want[reg]) << reg;
    }
}

TEST_F(hmc5883l_test, ContinuousSamplesLandTwoPeriodsAfterTheModeWriteThenEveryPeriod) {
    const double rates_hz[] = {0.75, 1.5, 3, 7.5, 15, 30, 75};  // the datasheet's DO = 0..6
    for (int rate = 0; rate < 7; ++rate) {
        SCOPED_TRACE(rate);
        sim::board().reset();
        mag = wiringPiI2CSetup(sim::standalone_mag_addr);
        const double period_ns = 1e9 / rates_hz[rate];
        const std::int64_t t0 = start_continuous(rate << 2);
        for (int k = 2; k <= 3; ++k) {
            wait_ready();
            const auto at = static_cast<double>(sim::board().now_ns() - t0);
            EXPECT_GT(at, k * period_ns);
            EXPECT_LT(at, k * period_ns + 1e6);
            (void)read_all();  // clears RDY
        }
    }
}

TEST_F(hmc5883l_test, DataHoldThePowerUpMeasurementUntilTheChosenFirstSample) {
    sim::board().first_sample_us(6000);
    const std::int64_t t0 = start_continuous(0x38);
    sim::board().standalone_offset(100, -273, 0);
    delay(5);
    EXPECT_EQ(status() & RDY, 0);
    EXPECT_EQ(held_x(), 277);
    delay(1);
    EXPECT_EQ(status() & RDY, RDY);
    EXPECT_EQ(sim::board().now_ns() - t0, 6'000'000);
    EXPECT_EQ(held_x(), 373);
}

TEST_F(hmc5883l_test, NewGainAppliesFromTheSecondMeasurementOn) {
    // The datasheet's digital resolution for GN = 0..7 in mG per count, to two decimals: one
    // gauss reads 1000 mG over it, to within the table's rounding.
    const double resolution_mg[] = {0.73, 0.92, 1.22, 1.52, 2.27, 2.56, 3.03, 4.35};
    sim::board().field(100, 0).standalone_offset(0, 0, 0);  // 1 gauss on X at yaw 0
    (void)start_continuous(0x18);                           // 75 Hz, one sample averaged
    wait_ready();
    int previous = read_all()[0];
    EXPECT_EQ(previous, 1090);  // the power-on gain, which directmag keeps
    for (int gn = 0; gn < 8; ++gn) {
        SCOPED_TRACE(gn);
        ASSERT_EQ(wiringPiI2CWriteReg8(mag, CRB, gn << 5), 0);
        EXPECT_EQ(wiringPiI2CReadReg8(mag, CRB), gn << 5);
        wait_ready();
        EXPECT_EQ(read_all()[0], previous);
        wait_ready();
        previous = read_all()[0];
        EXPECT_NEAR(previous * resolution_mg[gn], 1000.0, 0.005 * previous);
    }
}

TEST_F(hmc5883l_test, AxisOutsideTheRangeReadsMinus4096AndTheOthersStayValid) {
    sim::board().field(0, 0).standalone_offset(2047, -2048, 5);  // the edges of the range
    (void)start_continuous(0x38);
    wait_ready();
    EXPECT_EQ(read_all(), (xyz{2047, -2048, 5}));
    sim::board().standalone_offset(2048, -2049, 5);  // one count past them
    wait_ready();
    EXPECT_EQ(read_all(), (xyz{-4096, -4096, 5}));
}

TEST_F(hmc5883l_test, PartialOrModeReadLocksOutputUntilTheSixthByteOrAModeWrite) {
    auto& b = sim::board();
    b.field(0, 0).standalone_offset(100, 200, 300);
    (void)start_continuous(0x38);
    wait_ready();
    EXPECT_EQ(read_be16(mag, DXRA), 100);
    EXPECT_EQ(status(), RDY | LOCK);
    b.standalone_offset(111, 222, 333);
    delay(100);                            // several periods go by
    EXPECT_EQ(read_be16(mag, DZRA), 300);  // still the locked sample
    EXPECT_EQ(wiringPiI2CReadReg8(mag, DYRA), 0x00);
    EXPECT_EQ(status(), RDY | LOCK);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, DYRA + 1), 200);  // sixth byte: unlock
    EXPECT_EQ(status(), RDY);                            // the sample that waited lands at once
    EXPECT_EQ(read_all(), (xyz{111, 222, 333}));
    EXPECT_EQ(wiringPiI2CReadReg8(mag, MR), 0x00);
    EXPECT_EQ(status() & LOCK, LOCK);
    b.standalone_offset(5, 6, 7);
    delay(50);
    EXPECT_EQ(held_x(), 111);
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, MR, 0x00), 0);  // mode written: released
    EXPECT_EQ(status(), RDY);
    EXPECT_EQ(read_all(), (xyz{5, 6, 7}));
}

TEST_F(hmc5883l_test, SingleMeasurementTakesSixMillisecondsThenIdles) {
    (void)read_all();
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, MR, 0x01), 0);
    delay(5);
    EXPECT_EQ(status() & RDY, 0);
    EXPECT_EQ(sim::board().peek(sim::standalone_mag_addr, MR), 0x01);
    delay(1);
    EXPECT_EQ(status() & RDY, RDY);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, MR) & 0x03, 0x03);
    EXPECT_EQ(read_all(), (xyz{277, -273, -436}));  // 0.25 G x 1090 + 4 counts of hard iron on X
    sim::board().standalone_offset(0, 0, 0);
    delay(100);
    EXPECT_EQ(status() & RDY, 0);  // idle: nothing new
    EXPECT_EQ(read_all()[0], 277);
}

TEST_F(hmc5883l_test, BiasModesMeasureTheBiasFieldAlone) {
    // 8 averaged, 15 Hz, positive then negative bias: 1.16 G on X and Y, 1.08 G on Z, x 1090.
    for (const auto& [cra, want] :
         {std::pair{0x71, xyz{1264, 1264, 1177}}, std::pair{0x72, xyz{-1264, -1264, -1177}}}) {
        SCOPED_TRACE(cra);
        ASSERT_EQ(wiringPiI2CWriteReg8(mag, CRA, cra), 0);
        ASSERT_EQ(wiringPiI2CWriteReg8(mag, MR, 0x01), 0);
        delay(7);
        EXPECT_EQ(read_all(), want);
    }
}

TEST_F(hmc5883l_test, StalledConversionStopsContinuousSamplesUntilReleased) {
    auto& b = sim::board();
    (void)start_continuous(0x38);
    b.stall_conversion().standalone_offset(0, -273, 0);
    delay(200);
    EXPECT_EQ(status() & RDY, 0);
    EXPECT_EQ(held_x(), 277);  // the power-up measurement
    b.stall_conversion(false);
    wait_ready();
    EXPECT_EQ(read_all()[0], 273);
}

}  // namespace
