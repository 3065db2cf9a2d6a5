// Test back door of the simulated board: choose the parts and the scene, inject faults, read the
// clock and the log. The board behind the four bus calls is a single process-wide object, ready at
// program start. Its device models keep their own register maps, written from the datasheets on
// purpose: a register number copied from the kit's drivers would hide the drivers' mistakes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The sim interface is exported from the shared variant of the library, which hides everything
// else.
#define SIM_API __attribute__((visibility("default")))

namespace sim {

// What one entry of the transfer log records.
enum class op : std::uint8_t { setup, read, write, delay };

struct transfer {
    std::int64_t t_ns;  // simulated time at the start of the call
    op kind;
    int addr;    // 7-bit device address (-1 for delay, or for a handle that names no device)
    int reg;     // register number (-1 for setup and delay)
    int value;   // byte written, byte read, or milliseconds for delay (-1 where none)
    int result;  // what the call returned (0 for delay)
};

// Addresses of the parts fitted to the simulated board.
inline constexpr int motion_sensor_addr = 0x68;
inline constexpr int motion_sensor_alt_addr = 0x69;  // AD0 strapped high
inline constexpr int bypass_mag_addr = 0x0C;
inline constexpr int standalone_mag_addr = 0x1E;
inline constexpr int qmc5883l_addr = 0x0D;
inline constexpr int qmc5883p_addr = 0x2C;

// The parts a board can carry. Members of one family share a model (one of each family at a
// time): the motion sensors by their WHO_AM_I, the AKM magnetometers by their chip table.
enum class part : std::uint8_t {
    none,
    mpu6050,  // MPU-6050/MPU-9150, WHO_AM_I 0x68
    mpu6500,  // WHO_AM_I 0x70, no magnetometer of its own
    mpu9250,  // WHO_AM_I 0x71, an AK8963 behind its bypass
    mpu9255,  // WHO_AM_I 0x73, an AK8963 behind its bypass
    ak8975,
    ak8963,
    hmc5883l,
    hmc5883l_clone,  // answers the HMC5883L identification, ignores its commands, never measures
    ds3231,          // real-time clock: a plain register file 00h-12h
    qmc5883l,
    qmc5883p,
};

// One I2C message of a combined transfer (messages joined by repeated starts).
struct message {
    bool read;
    std::uint8_t* data;
    std::size_t len;
};

// Bus cost on the 100 kHz bus (10 us per bit time): a start bit, nine bits for every byte sent
// (the address bytes included, each with its acknowledge), one per repeated start, a stop bit. A
// transfer ends at the first NACK: after the address byte when nobody answers, after the register
// byte when the device refuses the register.
inline constexpr std::int64_t bit_time_ns = 10'000;
inline constexpr std::int64_t read_reg_ns = 39 * bit_time_ns;   // S addr+W reg Sr addr+R data P
inline constexpr std::int64_t write_reg_ns = 29 * bit_time_ns;  // S addr+W reg data P
inline constexpr std::int64_t nack_addr_ns = 11 * bit_time_ns;  // S addr(NACK) P
inline constexpr std::int64_t nack_reg_ns = 20 * bit_time_ns;   // S addr+W reg(NACK) P

// The log holds this many entries; once full, further calls are counted in log_dropped() but
// not recorded, so logging never allocates after start-up.
inline constexpr std::size_t log_capacity = std::size_t{1} << 16;

// A view of the one simulated board: every board_t talks to the same process-wide state, so
// board() and any copy of it are interchangeable.
class SIM_API board_t {
  public:
    // Back to a board powered up and settled, as a program finds it (the scene "sound" without
    // its sensor noise): the MPU-6050 at 0x68 with the AK8975 behind its bypass at 0x0C, the
    // HMC5883L at 0x1E, default scene and timing, no faults, empty log, clock at 0, no open
    // handles, logging on. The stand-alone magnetometer holds its power-up measurement, taken of
    // the scene as set before the first bus call.
    board_t& reset();

    // --- The parts -------------------------------------------------------------------------
    // Fits p at addr (part::none empties it), at power-on. With behind >= 0 the part sits behind
    // the gate of the part at that address (the motion sensor's bypass) and answers only while
    // the gate is open. A family's model leaves the address it had.
    board_t& fit(int addr, part p, int behind = -1);
    // What was fitted at addr; part::none when empty.
    part fitted(int addr) const;

    // --- The scene -------------------------------------------------------------------------
    // Board's heading in degrees, clockwise seen from above; 0 faces magnetic north.
    board_t& yaw(double degrees);
    double yaw() const;
    // Earth's field: horizontal component toward north and vertical component (down positive), µT.
    board_t& field(double horizontal_ut, double down_ut);
    // Hard-iron offset added to the magnetometer behind the motion sensor, in µT on its own axes.
    board_t& bypass_offset(double x_ut, double y_ut, double z_ut);
    // Hard-iron offset added to the stand-alone magnetometer, in counts on its own axes (added
    // after conversion, so it stays the same number of counts at every gain).
    board_t& standalone_offset(int x, int y, int z);
    // Gaussian noise of the given standard deviation (µT) on every axis; fixed seed, repeatable.
    board_t& noise(double sigma_ut, std::uint32_t seed = 1);
    // Sensitivity adjustment in the fuse ROM of the magnetometer behind the motion sensor, per
    // axis (0 to 255; 128 is a sensitivity of exactly 0.3 uT per count). The part measures with
    // its trimmed sensitivity; a driver that ignores these values reads the field scaled.
    board_t& asa(int x, int y, int z);

    // --- Timing the datasheets leave open ----------------------------------------------------
    // The defaults are the readings hardest on a driver, but for the AK8975's conversion, which
    // keeps its typical time so that the kit's 8 ms wait reads it; its maximum is a setting.
    // Conversion time of a single measurement of the magnetometer behind the motion sensor:
    // 7.3 ms typical (the default), at most 9 ms on a sound part; a longer time makes a faulty
    // part, slower than its datasheet allows.
    board_t& conversion_time_us(std::int64_t us);
    // How long the motion sensor ignores the bus after DEVICE_RESET (default 100 ms).
    board_t& motion_reset_time_us(std::int64_t us);
    // When the stand-alone magnetometer's first continuous sample lands after a mode or CRA
    // write; negative for two output periods (the default).
    board_t& first_sample_us(std::int64_t us);

    // --- Faults: each is off after reset(); out-of-range addresses and registers are ignored ---
    // Setup fails with ENOENT: there is no /dev/i2c-N.
    board_t& bus_missing(bool on = true);
    // Setup fails with EACCES: the bus device is not ours.
    board_t& no_permission(bool on = true);
    // Setup of addr fails with EBUSY: a kernel driver holds it.
    board_t& kernel_driver(int addr, bool on = true);
    // Nothing acknowledges addr: ENXIO.
    board_t& absent(int addr, bool on = true);
    // addr refuses reg as register or write target.
    board_t& nack_register(int addr, int reg, bool on = true);
    // The n-th transfer from now gets no ACK (1 = the next); 0 cancels.
    board_t& nack_transfer(std::size_t n);
    // Stops the single (and self-test) measurements of both magnetometers and the stand-alone
    // one's continuous samples. Off again: pending single measurements complete at the next bus
    // call, continuous samples resume on their grid.
    board_t& stall_conversion(bool on = true);
    // Reads of reg at addr return value, whatever the model; unforce ends it.
    board_t& force(int addr, int reg, int value);
    board_t& unforce(int addr, int reg);

    // --- Observation -----------------------------------------------------------------------
    std::int64_t now_ns() const;
    double now_ms() const;
    const std::vector<transfer>& log() const;
    void clear_log();
    // Register contents as the device holds them (no bus transfer, no side effects); -1 for an
    // address with no device model. Forced values are not shown.
    int peek(int addr, int reg) const;

    // --- Message-level bus, as an I2C adapter serves it ----------------------------------------
    // One combined transfer to addr: a write's first byte sets the part's register pointer,
    // further bytes go to successive registers; a read returns bytes from the pointer on. The
    // pointer moves as the part's datasheet says. Returns n, or -errno: ENXIO when addr does not
    // acknowledge, EREMOTEIO for a refused byte, EINVAL for a bad request. Costs bus time, byte
    // by byte; logged and counted as a transfer like the bus calls. Setup faults do not apply.
    int i2c_transfer(int addr, message* msgs, std::size_t n);
    // Moves the clock forward to t (never backwards), the devices with it.
    board_t& advance_to_ns(std::int64_t t);

    // --- Log control and handles -----------------------------------------------------------
    // Switches recording of the transfer log on or off (the clock and devices run either way).
    board_t& logging(bool on);
    bool logging() const;
    // Calls not recorded because the log was full (since the last reset() or clear_log()).
    std::size_t log_dropped() const;
    // Bus transfers (reads and writes that reached the bus) since reset(), logged or not.
    std::size_t transfers() const;
    // Number of the next handle setup hands out (3 after reset(), like a fresh process's first
    // file descriptor); handles count up from it. Kept from 0 to where the last handle is INT_MAX.
    board_t& handle_base(int fd);
};

// The board the four bus calls talk to.
SIM_API board_t& board();

// --- The back door as text, for a control channel or a fuzzer ----------------------------------
// What a command did: refused (unknown name, wrong arguments), done, or done on a fresh board
// (reset, scene), whose clock starts again at 0.
enum class outcome : std::uint8_t { refused, done, fresh };
// Runs one line "NAME ARG...": a setter, fault or peek of board_t by its name (yaw 90, absent 0x1e,
// nack_register 0x0c 3 1, fit 0x1e qmc5883l, peek 0x1e 10), reset, or scene NAME (a named scene;
// "default" is the board as reset() leaves it). Numbers in C notation. A query writes its answer
// to reply. A blank line is done.
SIM_API outcome command(const char* line, char* reply = nullptr, std::size_t size = 0);
// A command's name and its arguments, one letter each, upper case where it may be left out (a
// trailing on/off left out is on): a address, r register, v byte value, f 0 or 1, n count,
// i integer, x number, s scene name or default, p part name or none.
struct command_shape {
    const char* name;
    const char* args;
};
// The i-th command, nullptr past the last.
SIM_API const command_shape* command_at(std::size_t i);
// The i-th part's name as commands take it, nullptr past the last.
SIM_API const char* part_name(std::size_t i);

// Named boards users meet: resets the board, then sets the scene; false for an unknown name
// (the board is then reset to "sound", today's default).
SIM_API bool apply_scene(const char* name);
// The i-th scene's name, nullptr past the last.
SIM_API const char* scene_name(std::size_t i);

}  // namespace sim
