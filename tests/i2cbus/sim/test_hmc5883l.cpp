// The HMC5883L model at 0x1E, through the four bus calls.
#include <cstdint>

#include "sim_fixture.hpp"

namespace {

constexpr int CRA = 0x00;
constexpr int CRB = 0x01;
constexpr int MR = 0x02;
constexpr int DXRA = 0x03;
constexpr int DZRA = 0x05;
constexpr int DYRA = 0x07;
constexpr int SR = 0x09;
constexpr int IRA = 0x0A;
constexpr int RDY = 0x01;
constexpr int LOCK = 0x02;

class hmc5883l_test : public simtest::board_test {
  protected:
    void SetUp() override {
        board_test::SetUp();
        mag = wiringPiI2CSetup(sim::standalone_mag_addr);
    }
    int status() const { return sim::board().peek(sim::standalone_mag_addr, SR); }
    // X as the data registers hold it, without reading (and so locking) them.
    static int held_x() {
        const int hi = sim::board().peek(sim::standalone_mag_addr, DXRA);
        const int lo = sim::board().peek(sim::standalone_mag_addr, DXRA + 1);
        return static_cast<std::int16_t>(static_cast<std::uint16_t>((hi << 8) | lo));
    }
    // Takes the power-up measurement out of the way (clearing RDY), sets CRA and enters
    // continuous mode; returns the time the mode write took effect.
    std::int64_t start_continuous(int cra) {
        (void)read_all();
        EXPECT_EQ(wiringPiI2CWriteReg8(mag, CRA, cra), 0);
        EXPECT_EQ(wiringPiI2CWriteReg8(mag, MR, 0x00), 0);
        return sim::board().now_ns();
    }
    void wait_ready() {
        for (int i = 0; i < 3000 && (status() & RDY) == 0; ++i) {
            delay(1);
        }
        ASSERT_NE(status() & RDY, 0);
    }
    struct xyz {
        int x, y, z;
    };
    xyz read_all() {
        const int x = read_be16(mag, DXRA);
        const int z = read_be16(mag, DZRA);
        const int y = read_be16(mag, DYRA);
        return {x, y, z};
    }
    int mag = -1;
};

TEST_F(hmc5883l_test, PowerUpMeasurementWaitsInTheDataRegistersWhileThePartIdles) {
    // Measured with the board as set before the first call: facing east, north is on the left
    // (Y) axis: 0.25 G x 1090 = 272.5, rounded away from zero, less 273 counts of hard iron; X
    // holds its 4 counts, Z (up) -0.4 G x 1090.
    sim::board().reset().yaw(90);
    mag = wiringPiI2CSetup(sim::standalone_mag_addr);
    EXPECT_EQ(status(), RDY);
    const int want[] = {0x10, 0x20, 0x03, 0x00, 0x04, 0xFE, 0x4C, 0x00, 0x00, 0x00, 'H', '4', '3'};
    for (int reg = 0; reg <= 0x0C; ++reg) {
        SCOPED_TRACE(reg);
        EXPECT_EQ(wiringPiI2CReadReg8(mag, reg), want[reg]);
    }
    // Idle: nothing new, however long and whatever the board does.
    sim::board().yaw(0);
    delay(500);
    EXPECT_EQ(status(), 0);
    EXPECT_EQ(read_all().x, 4);
    // Identification registers are read-only.
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, IRA, 0x00), 0);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, IRA), 'H');
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

TEST_F(hmc5883l_test, AxesAreBigEndianInXZYOrder) {
    sim::board().field(0, 0).standalone_offset(100, -200, 300);
    (void)start_continuous(0x38);
    wait_ready();
    EXPECT_EQ(wiringPiI2CReadReg8(mag, DXRA), 0x00);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, DXRA + 1), 0x64);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, DZRA), 0x01);  // Z = 300 = 0x012C
    EXPECT_EQ(wiringPiI2CReadReg8(mag, DZRA + 1), 0x2C);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, DYRA), 0xFF);  // Y = -200 = 0xFF38
    EXPECT_EQ(wiringPiI2CReadReg8(mag, DYRA + 1), 0x38);
}

TEST_F(hmc5883l_test, NewGainAppliesFromTheSecondMeasurementOn) {
    // The datasheet's digital resolution for GN = 0..7 in mG per count, to two decimals: one
    // gauss reads 1000 mG over it, to within the table's rounding.
    const double resolution_mg[] = {0.73, 0.92, 1.22, 1.52, 2.27, 2.56, 3.03, 4.35};
    sim::board().field(100, 0).standalone_offset(0, 0, 0);  // 1 gauss on X at yaw 0
    (void)start_continuous(0x18);                           // 75 Hz, one sample averaged
    wait_ready();
    int previous = read_all().x;
    EXPECT_EQ(previous, 1090);  // the power-on gain, which directmag keeps
    for (int gn = 0; gn < 8; ++gn) {
        SCOPED_TRACE(gn);
        ASSERT_EQ(wiringPiI2CWriteReg8(mag, CRB, gn << 5), 0);
        EXPECT_EQ(wiringPiI2CReadReg8(mag, CRB), gn << 5);
        wait_ready();
        EXPECT_EQ(read_all().x, previous);
        wait_ready();
        previous = read_all().x;
        EXPECT_NEAR(previous * resolution_mg[gn], 1000.0, 0.005 * previous);
    }
}

TEST_F(hmc5883l_test, OutOfRangeAxisReadsMinus4096AndOthersStayValid) {
    sim::board().standalone_offset(2000, -2000, 0);  // X 2273 counts at yaw 0, Y -2000
    (void)start_continuous(0x38);
    wait_ready();
    const xyz v = read_all();
    EXPECT_EQ(v.x, -4096);
    EXPECT_EQ(v.y, -2000);
    EXPECT_EQ(v.z, -436);
    // The edges of the range are still valid readings; one count past them is not.
    sim::board().field(0, 0).standalone_offset(2047, -2048, 0);
    wait_ready();
    const xyz edge = read_all();
    EXPECT_EQ(edge.x, 2047);
    EXPECT_EQ(edge.y, -2048);
    sim::board().standalone_offset(2048, -2049, 0);
    wait_ready();
    const xyz past = read_all();
    EXPECT_EQ(past.x, -4096);
    EXPECT_EQ(past.y, -4096);
}

TEST_F(hmc5883l_test, PartialReadLocksOutputUntilTheSixthByte) {
    auto& b = sim::board();
    b.field(0, 0).standalone_offset(100, 200, 300);
    (void)start_continuous(0x38);
    wait_ready();
    EXPECT_EQ(read_be16(mag, DXRA), 100);
    EXPECT_EQ(status() & LOCK, LOCK);
    b.standalone_offset(111, 222, 333);
    delay(100);                            // several periods go by
    EXPECT_EQ(read_be16(mag, DZRA), 300);  // still the locked sample
    EXPECT_EQ(wiringPiI2CReadReg8(mag, DYRA), 0x00);
    EXPECT_EQ(status() & LOCK, LOCK);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, DYRA + 1), 200);  // sixth byte: unlock
    EXPECT_EQ(status() & LOCK, 0);
    // The sample that waited lands at once.
    EXPECT_EQ(status() & RDY, RDY);
    EXPECT_EQ(b.peek(sim::standalone_mag_addr, DXRA + 1), 111);
    const xyz v = read_all();
    EXPECT_EQ(v.x, 111);
    EXPECT_EQ(v.y, 222);
    EXPECT_EQ(v.z, 333);
}

TEST_F(hmc5883l_test, ReadingTheModeRegisterLocksAndWritingItReleases) {
    auto& b = sim::board();
    b.field(0, 0).standalone_offset(100, 200, 300);
    (void)start_continuous(0x38);
    wait_ready();
    (void)read_all();
    EXPECT_EQ(wiringPiI2CReadReg8(mag, MR), 0x00);
    EXPECT_EQ(status() & LOCK, LOCK);
    b.standalone_offset(5, 6, 7);
    delay(50);
    EXPECT_EQ(b.peek(sim::standalone_mag_addr, DXRA + 1), 100);
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, MR, 0x00), 0);  // mode changed: released
    EXPECT_EQ(status() & LOCK, 0);
    EXPECT_EQ(read_all().x, 5);
}

TEST_F(hmc5883l_test, SingleMeasurementTakesSixMillisecondsThenIdles) {
    auto& b = sim::board();
    (void)read_all();
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, MR, 0x01), 0);
    delay(5);
    EXPECT_EQ(status() & RDY, 0);
    EXPECT_EQ(b.peek(sim::standalone_mag_addr, MR), 0x01);
    delay(1);
    EXPECT_EQ(status() & RDY, RDY);
    EXPECT_EQ(wiringPiI2CReadReg8(mag, MR) & 0x03, 0x03);
    const xyz v = read_all();
    EXPECT_EQ(v.x, 277);  // 0.25 G x 1090 + 4 counts of hard iron
    EXPECT_EQ(v.y, -273);
    EXPECT_EQ(v.z, -436);
    b.standalone_offset(0, 0, 0);
    delay(100);
    EXPECT_EQ(status() & RDY, 0);  // idle: nothing new
    EXPECT_EQ(read_all().x, 277);
}

TEST_F(hmc5883l_test, BiasModesMeasureTheBiasFieldAlone) {
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, CRA, 0x71), 0);  // 8 averaged, 15 Hz, positive bias
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, MR, 0x01), 0);
    delay(7);
    xyz v = read_all();
    EXPECT_EQ(v.x, 1264);  // 1.16 G x 1090
    EXPECT_EQ(v.y, 1264);
    EXPECT_EQ(v.z, 1177);  // 1.08 G x 1090
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, CRA, 0x72), 0);
    ASSERT_EQ(wiringPiI2CWriteReg8(mag, MR, 0x01), 0);
    delay(7);
    v = read_all();
    EXPECT_EQ(v.x, -1264);
    EXPECT_EQ(v.z, -1177);
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
    EXPECT_EQ(read_all().x, 273);
}

}  // namespace
