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

}  // namespace
