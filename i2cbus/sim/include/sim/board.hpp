// Test back door of the simulated board: set the scene, inject faults, read the clock and the log.
// The board behind the four bus calls is a single process-wide object, ready at program start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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
inline constexpr int bypass_mag_addr = 0x0C;
inline constexpr int standalone_mag_addr = 0x1E;

class board_t {
public:
    // Back to power-on: default scene, no faults, empty log, clock at 0, no open handles.
    board_t& reset();

    // --- The scene -------------------------------------------------------------------------
    // Board's heading in degrees, clockwise seen from above; 0 faces magnetic north.
    board_t& yaw(double degrees);
    double yaw() const;
    // Earth's field: horizontal component toward north and vertical component (down positive), µT.
    board_t& field(double horizontal_ut, double down_ut);
    // Hard-iron offset added to the magnetometer behind the motion sensor, in µT on its own axes.
    board_t& bypass_offset(double x_ut, double y_ut, double z_ut);
    // Hard-iron offset added to the stand-alone magnetometer, in counts on its own axes.
    board_t& standalone_offset(int x, int y, int z);
    // Gaussian noise of the given standard deviation (µT) on every axis; fixed seed, repeatable.
    board_t& noise(double sigma_ut, std::uint32_t seed = 1);
    // Conversion time of a single measurement of the magnetometer behind the motion sensor.
    board_t& conversion_time_us(std::int64_t us);

    // --- Faults ----------------------------------------------------------------------------
    board_t& bus_missing(bool missing = true);                      // setup returns -1
    board_t& absent(int addr, bool gone = true);                    // no ACK at addr
    board_t& nack_register(int addr, int reg, bool on = true);      // transfers to reg fail
    board_t& nack_transfer(std::size_t n);  // the n-th bus transfer from now fails (1 = next)
    board_t& stall_conversion(bool on = true);  // single measurements never complete
    board_t& force(int addr, int reg, int value);  // reads of reg return value, whatever the model
    board_t& unforce(int addr, int reg);

    // --- Observation -----------------------------------------------------------------------
    std::int64_t now_ns() const;
    double now_ms() const;
    const std::vector<transfer>& log() const;
    void clear_log();
    // Register contents as the device holds them (no bus transfer, no side effects).
    int peek(int addr, int reg) const;
};

// The board the four bus calls talk to.
board_t& board();

}  // namespace sim
