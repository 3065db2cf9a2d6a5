// The bus calls of the simulated board: handles, bus cost on the clock, faults, and the log.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <tuple>

#include "sim_fixture.hpp"

namespace {

using sim::op;
using simtest::board_test;

TEST_F(board_test, SetupGivesNewHandlesFromTheBaseWhetherOrNotADeviceAnswers) {
    sim::board().handle_base(0);  // a process whose standard input is closed
    const int a = wiringPiI2CSetup(sim::standalone_mag_addr);
    const int b = wiringPiI2CSetup(sim::standalone_mag_addr);
    const int nobody = wiringPiI2CSetup(0x50);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(nobody, 2);
    // The failure shows at the first transfer.
    EXPECT_EQ(wiringPiI2CReadReg8(nobody, 0x00), -1);
    EXPECT_EQ(wiringPiI2CWriteReg8(nobody, 0x00, 0x12), -1);
    EXPECT_EQ(wiringPiI2CReadReg8(a, 0x0A), 'H');
    EXPECT_EQ(wiringPiI2CReadReg8(b, 0x0A), 'H');
    // Opening costs no bus time.
    EXPECT_EQ(sim::board().now_ns(), 2 * sim::nack_addr_ns + 2 * sim::read_reg_ns);
    sim::board().reset();  // back to a fresh process's first descriptor
    EXPECT_EQ(wiringPiI2CSetup(sim::standalone_mag_addr), 3);
    sim::board().handle_base(INT_MAX);  // the last of all 1024 handles is the highest there is
    EXPECT_EQ(wiringPiI2CSetup(sim::standalone_mag_addr), INT_MAX - 1023);
}

TEST_F(board_test, SetupFailsWithoutABusForAClaimedAddressOrOneThatIsNotSevenBit) {
    EXPECT_EQ(wiringPiI2CSetup(-1), -1);
    EXPECT_EQ(wiringPiI2CSetup(0x80), -1);
    EXPECT_GE(wiringPiI2CSetup(0x7F), 0);
    sim::board().bus_missing();
    EXPECT_EQ(wiringPiI2CSetup(sim::standalone_mag_addr), -1);
    sim::board().bus_missing(false);
    // A kernel driver bound to an address keeps it from user space; the others stay free.
    sim::board().kernel_driver(sim::standalone_mag_addr);
    EXPECT_EQ(wiringPiI2CSetup(sim::standalone_mag_addr), -1);
    EXPECT_GE(wiringPiI2CSetup(sim::motion_sensor_addr), 0);
    sim::board().kernel_driver(sim::standalone_mag_addr, false);
    EXPECT_GE(wiringPiI2CSetup(sim::standalone_mag_addr), 0);
}

TEST_F(board_test, BadHandlesFailWithoutBusTraffic) {
    const int fd = wiringPiI2CSetup(sim::standalone_mag_addr);
    for (const int bad : {-1, 0, 2, fd + 1, 100000}) {
        EXPECT_EQ(wiringPiI2CReadReg8(bad, 0x0A), -1) << bad;
        EXPECT_EQ(wiringPiI2CWriteReg8(bad, 0x02, 0x00), -1) << bad;
    }
    EXPECT_EQ(sim::board().now_ns(), 0);
    EXPECT_EQ(sim::board().transfers(), 0U);
    EXPECT_EQ(sim::board().peek(sim::standalone_mag_addr, 0x02), 0x03);  // mode write never landed
}

TEST_F(board_test, RegisterAndDataKeepTheirLowEightBits) {
    const int fd = wiringPiI2CSetup(sim::standalone_mag_addr);
    EXPECT_EQ(wiringPiI2CWriteReg8(fd, 0x100 + 0x01, 0x1E0), 0);  // CRB <- 0xE0
    EXPECT_EQ(sim::board().peek(sim::standalone_mag_addr, 0x01), 0xE0);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x20A), 'H');
    EXPECT_EQ(sim::board().log().back().reg, 0x0A);
}

TEST_F(board_test, AbsentDeviceOrNackedRegisterFailsAtThatByteAndTheDeviceSeesNothing) {
    for (const bool absent : {true, false}) {
        SCOPED_TRACE(absent ? "absent" : "register 0x02 refused");
        auto& b = sim::board().reset();
        const int fd = wiringPiI2CSetup(sim::standalone_mag_addr);
        // Set and cleared as a control channel does, by the board's commands.
        EXPECT_EQ(sim::command(absent ? "absent 0x1e" : "nack_register 30 2"), sim::outcome::done);
        EXPECT_EQ(wiringPiI2CWriteReg8(fd, 0x02, 0x00), -1);
        EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x02), -1);
        EXPECT_EQ(b.now_ns(), 2 * (absent ? sim::nack_addr_ns : sim::nack_reg_ns));
        EXPECT_EQ(b.peek(sim::standalone_mag_addr, 0x02), 0x03);  // the write never reached it
        EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0A), absent ? -1 : 'H');
        // The same register on another device is unaffected.
        EXPECT_EQ(wiringPiI2CReadReg8(wiringPiI2CSetup(sim::motion_sensor_addr), 0x02), 0x00);
        EXPECT_EQ(sim::command(absent ? "absent 0x1E 0" : "nack_register 0x1e 0x02 0"),
                  sim::outcome::done);
        EXPECT_EQ(wiringPiI2CWriteReg8(fd, 0x02, 0x00), 0);
    }
}

TEST_F(board_test, NthTransferFromNowFailsOnceAndSkipsNoCount) {
    auto& b = sim::board();
    const int fd = wiringPiI2CSetup(sim::standalone_mag_addr);
    b.nack_transfer(3);
    delay(1);  // delays and calls on bad handles are not bus transfers
    (void)wiringPiI2CReadReg8(-1, 0x0A);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0A), 'H');
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0B), '4');
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0C), -1);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0C), '3');
    b.nack_transfer(1);
    EXPECT_EQ(wiringPiI2CWriteReg8(fd, 0x02, 0x00), -1);
    EXPECT_EQ(b.peek(sim::standalone_mag_addr, 0x02), 0x03);
    b.nack_transfer(2).nack_transfer(0);  // 0 cancels
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(wiringPiI2CWriteReg8(fd, 0x02, 0x00), 0);
    }
}

TEST_F(board_test, ForcedRegisterReadsTheValueWhileTheModelKeepsItsOwn) {
    auto& b = sim::board();
    const int fd = wiringPiI2CSetup(sim::standalone_mag_addr);
    b.force(sim::standalone_mag_addr, 0x0A, 0x5A).force(sim::standalone_mag_addr, 0x0B, 0x1FF);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0A), 0x5A);
    EXPECT_EQ(b.peek(sim::standalone_mag_addr, 0x0A), 'H');
    EXPECT_EQ(b.log().back().value, 0x5A);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0B), 0xFF);  // kept to a byte
    // A forced register on an absent device still fails: no ACK, no value.
    b.absent(sim::standalone_mag_addr);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0A), -1);
    b.absent(sim::standalone_mag_addr, false).unforce(sim::standalone_mag_addr, 0x0A);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0A), 'H');
}

TEST_F(board_test, LogRecordsEveryCallAtItsTimeOnAClockAdvancedByBusTimeAndDelay) {
    auto& b = sim::board();
    const int fd = wiringPiI2CSetup(sim::standalone_mag_addr);
    (void)wiringPiI2CReadReg8(fd, 0x0A);
    (void)wiringPiI2CWriteReg8(fd, 0x02, 0x00);
    delay(5);
    (void)wiringPiI2CWriteReg8(fd + 1, 0x02, 0x01);  // no such handle
    b.absent(sim::standalone_mag_addr);
    (void)wiringPiI2CReadReg8(fd, 0x03);
    const sim::transfer want[] = {
        {0, op::setup, 0x1E, -1, -1, fd},           {0, op::read, 0x1E, 0x0A, 'H', 'H'},
        {390'000, op::write, 0x1E, 0x02, 0x00, 0},  {680'000, op::delay, -1, -1, 5, 0},
        {5'680'000, op::write, -1, 0x02, 0x01, -1}, {5'680'000, op::read, 0x1E, 0x03, -1, -1},
    };
    const auto fields = [](const sim::transfer& t) {
        return std::tuple(t.t_ns, static_cast<int>(t.kind), t.addr, t.reg, t.value, t.result);
    };
    ASSERT_EQ(b.log().size(), std::size(want));
    for (std::size_t i = 0; i < std::size(want); ++i) {
        EXPECT_EQ(fields(b.log()[i]), fields(want[i])) << i;
    }
    b.clear_log();
    EXPECT_TRUE(b.log().empty());
    EXPECT_DOUBLE_EQ(b.now_ms(), 5.79);  // clearing the log keeps the clock
    delay(0);
    EXPECT_EQ(b.now_ns(), 5'680'000 + sim::nack_addr_ns);
    delay(4'000'000'000U);  // does not overflow the nanosecond clock
    EXPECT_EQ(b.now_ns(), 5'790'000 + std::int64_t{4'000'000'000} * 1'000'000);
}

TEST_F(board_test, LogIsReservedOnceStopsWhenFullAndCanBeSwitchedOff) {
    auto& b = sim::board();
    const int fd = wiringPiI2CSetup(sim::standalone_mag_addr);
    const sim::transfer* storage = b.log().data();
    const std::size_t extra = 10;
    for (std::size_t i = 0; i < sim::log_capacity + extra; ++i) {
        (void)wiringPiI2CReadReg8(fd, 0x0A);
    }
    EXPECT_EQ(b.log().size(), sim::log_capacity);
    EXPECT_EQ(b.log().data(), storage);  // no reallocation
    EXPECT_EQ(b.log_dropped(), extra + 1);
    EXPECT_EQ(b.transfers(), sim::log_capacity + extra);
    b.clear_log();
    EXPECT_EQ(b.log_dropped(), 0U);
    const std::int64_t before = b.now_ns();
    EXPECT_FALSE(b.logging(false).logging());
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0A), 'H');
    delay(1);
    EXPECT_TRUE(b.log().empty());
    EXPECT_EQ(b.now_ns(), before + sim::read_reg_ns + 1'000'000);  // the clock runs on
    b.logging(true);
    (void)wiringPiI2CReadReg8(fd, 0x0A);
    EXPECT_EQ(b.log().size(), 1U);
}

TEST_F(board_test, ResetReturnsToPowerOnAndPeekingChangesNothing) {
    auto& b = sim::board();
    const int fd = wiringPiI2CSetup(sim::standalone_mag_addr);
    (void)wiringPiI2CWriteReg8(fd, 0x01, 0xE0);
    b.yaw(90).bus_missing().absent(0x1E).force(0x1E, 0x0A, 0).nack_transfer(1);
    // A command line that is not whole and sound is refused and changes nothing.
    for (const char* bad :
         {"yaw", "yaw 1 2", "yaw nan", "yaw 1e999", "absent 0x1g", "absent 30 0 1",
          "nack_transfer -1", "scene no-such-board", "fit 30 no-such-part", "jaw 1"}) {
        EXPECT_EQ(sim::command(bad), sim::outcome::refused) << bad;
    }
    EXPECT_EQ(b.yaw(), 90.0);
    b.logging(false);
    EXPECT_EQ(sim::command("reset"), sim::outcome::fresh);
    EXPECT_EQ(b.peek(0x1E, 0x01), 0x20);
    EXPECT_EQ(b.peek(0x0C, 0x00), 0x48);  // visible to the test even while the bus cannot reach it
    char reply[32];
    EXPECT_EQ(sim::command(" peek\t0x50  0 ", reply, sizeof reply), sim::outcome::done);
    EXPECT_STREQ(reply, "peek 50 00 -1");
    EXPECT_EQ(b.peek(0x1E, -1), -1);
    EXPECT_EQ(b.peek(0x1E, 256), -1);
    EXPECT_EQ(b.now_ns(), 0);
    EXPECT_TRUE(b.log().empty());
    EXPECT_TRUE(b.logging());
    EXPECT_EQ(b.yaw(), 0.0);
    EXPECT_EQ(b.transfers(), 0U);
    EXPECT_EQ(wiringPiI2CReadReg8(fd, 0x0A), -1);  // the old handle is gone
    const int again = wiringPiI2CSetup(sim::standalone_mag_addr);
    EXPECT_EQ(again, fd);  // handles count from the first descriptor again
    EXPECT_EQ(wiringPiI2CReadReg8(again, 0x0A), 'H');
}

// Each command by the shape of its arguments: what it answers (its outcome, and a query's reply),
// and what it did, seen through the bus calls or the board. Lines run in order on one board.
int read_reg(int addr, int reg) {
    return wiringPiI2CReadReg8(wiringPiI2CSetup(addr), reg);
}

TEST_F(board_test, CommandsAnswerAndActByTheShapeOfTheirArguments) {
    using sim::outcome;
    constexpr outcome done = outcome::done;
    constexpr outcome refused = outcome::refused;
    constexpr outcome fresh = outcome::fresh;
    const struct {
        const char* line;
        outcome out;
        const char* reply;  // what the reply buffer holds afterwards
        int (*seen)();      // nullptr: nothing to look at
        int want;
    } steps[] = {
        {"", done, "", nullptr, 0},
        // ar, numbers in C notation; the identification registers from the datasheets.
        {"peek 0x1e 0x0a", done, "peek 1e 0a 72", nullptr, 0},   // HMC5883L IRA 'H'
        {"peek 12 0", done, "peek 0c 00 72", nullptr, 0},        // AK8975 WIA 0x48
        {"peek 0150 0165", done, "peek 68 75 104", nullptr, 0},  // MPU-6050 WHO_AM_I 0x68
        {"peek 0x1e", refused, "", nullptr, 0},                  // the last reply does not stay
        {"peek 0x1e 10 1", refused, "", nullptr, 0},
        // vvv
        {"asa 129 0x40 0377", done, "", [] { return sim::board().peek(0x0C, 0x12); }, 255},
        {"peek 0x0c 0x10", done, "peek 0c 10 129", nullptr, 0},
        {"asa 1 2", refused, "", nullptr, 0},
        // apA: a part by its name, optionally behind the motion sensor's (closed) gate.
        {"fit 0x1e qmc5883l", done, "", [] { return read_reg(0x1E, 0x0D); }, 0xFF},
        {"fit 0x1e hmc5883l 0x68", done, "", [] { return read_reg(0x1E, 0x0A); }, -1},
        {"fit 0x1e hmc5883l", done, "", [] { return read_reg(0x1E, 0x0A); }, 'H'},
        {"fit 0x1e", refused, "", nullptr, 0},
        {"fit 0x1e hmc5883 0x68", refused, "", nullptr, 0},
        // x, xx, xxx, iii, xN
        {"yaw -90.5", done, "", [] { return static_cast<int>(sim::board().yaw() * 10); }, -905},
        {"yaw inf", refused, "", nullptr, 0},
        {"field 20 -30", done, "", nullptr, 0},
        {"field 20", refused, "", nullptr, 0},
        {"bypass_offset 1 -2 3.5", done, "", nullptr, 0},
        {"standalone_offset -1 0x10 -020", done, "", nullptr, 0},
        {"standalone_offset 1.5 0 0", refused, "", nullptr, 0},
        {"noise 0.2", done, "", nullptr, 0},
        {"noise 0.2 7", done, "", nullptr, 0},
        {"noise 0.2 -1", refused, "", nullptr, 0},
        // i, n
        {"first_sample_us -1", done, "", nullptr, 0},
        {"conversion_time_us 2147483648", refused, "", nullptr, 0},
        {"handle_base 100", done, "", [] { return wiringPiI2CSetup(0x1E); }, 100},
        {"handle_base -1", refused, "", nullptr, 0},
        // F, aF, arF: a flag left out is on.
        {"bus_missing", done, "", [] { return wiringPiI2CSetup(0x1E); }, -1},
        {"bus_missing 0", done, "", [] { return wiringPiI2CSetup(0x1E); }, 101},
        {"kernel_driver 0x68", done, "", [] { return wiringPiI2CSetup(0x68); }, -1},
        {"kernel_driver 0x68 0", done, "", [] { return wiringPiI2CSetup(0x68); }, 102},
        {"absent 0x68 1", done, "", [] { return read_reg(0x68, 0x75); }, -1},
        {"absent 0x68 0", done, "", [] { return read_reg(0x68, 0x75); }, 0x68},
        {"nack_register 0x68 0x75", done, "", [] { return read_reg(0x68, 0x75); }, -1},
        {"nack_register 0x68 0x75 0", done, "", [] { return read_reg(0x68, 0x75); }, 0x68},
        {"logging 0", done, "", [] { return static_cast<int>(sim::board().logging()); }, 0},
        {"logging", done, "", [] { return static_cast<int>(sim::board().logging()); }, 1},
        // arv, ar, n, none
        {"force 0x68 0x75 0x5a", done, "", [] { return read_reg(0x68, 0x75); }, 0x5A},
        {"unforce 0x68 0x75", done, "", [] { return read_reg(0x68, 0x75); }, 0x68},
        {"nack_transfer 1", done, "", [] { return read_reg(0x68, 0x75); }, -1},
        {"clear_log", done, "", [] { return static_cast<int>(sim::board().log().size()); }, 0},
        {"clear_log 1", refused, "", nullptr, 0},
        // s, and reset: a fresh board either way.
        {"scene magnet", fresh, "", [] { return sim::board().now_ns() == 0 ? 0 : 1; }, 0},
        {"scene default", fresh, "", [] { return static_cast<int>(sim::board().yaw()); }, 0},
        {"scene moon", refused, "", nullptr, 0},
        {"reset 1", refused, "", nullptr, 0},
        {"reset", fresh, "", [] { return wiringPiI2CSetup(0x1E); }, 3},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.line);
        char reply[32] = "stale";
        EXPECT_EQ(sim::command(s.line, reply, sizeof reply), s.out);
        EXPECT_STREQ(reply, s.reply);
        if (s.seen != nullptr) {
            EXPECT_EQ(s.seen(), s.want);
        }
    }
}

}  // namespace
