// The guest's bridge daemon: serves the transfers of the "compasskit bridge" I2C adapter
// (i2c-bridge.ko, through /dev/i2c-bridge) as I2C messages to the simulated board's device models,
// the board's clock set from each transfer's kernel stamp (CLOCK_MONOTONIC), and takes scene
// commands on a control FIFO.
//
//   bridged [-d DEVICE] [-c FIFO] [-v]
// DEVICE defaults to /dev/i2c-bridge, FIFO to /run/bridge.ctl; the FIFO appears once the device
// is open, so a script can wait for it. -v logs every transfer on standard output.
//
// Control lines are the board's commands (sim::command: yaw 30, scene qmc5883l, absent 0x1e, ...);
// reset and scene also restart the board's clock at the guest's present. The daemon's own: log
// [0|1] switches the transfer log, mark TEXT splits it into a script's steps.
#include <fcntl.h>
#include <linux/i2c.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "i2c-bridge.h"
#include "sim/board.hpp"

namespace {

constexpr int address_count = 128;

std::int64_t monotonic_ns() {
    timespec ts{};
    (void)clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::int64_t epoch_ns = 0;  // CLOCK_MONOTONIC at the board's last reset: its time 0
bool verbose = false;       // logs every transfer

// After every reset or scene: the board's own log stays off (ours says more, and theirs would
// only fill up), and its time 0 is the guest's present.
void restart_clock() {
    sim::board().logging(false);
    epoch_ns = monotonic_ns();
}

// Brings the board's clock to the guest's time t_ns (CLOCK_MONOTONIC); never backwards.
void catch_up(std::int64_t t_ns) {
    (void)sim::board().advance_to_ns(t_ns - epoch_ns);
}

// Holds the reply until the guest's clock has reached the end of the transfer on the board's
// 100 kHz bus, so that the caller's next step starts no sooner than it could on the wire: a
// driver's pause measured from its return is then a pause the part sees in full.
void wait_for_bus() {
    const std::int64_t end = epoch_ns + sim::board().now_ns();
    const timespec ts{static_cast<time_t>(end / 1'000'000'000),
                      static_cast<long>(end % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// --- Control commands ------------------------------------------------------------------------

// The text after a line's first word when that word is name, else nullptr.
const char* after(const char* line, const char* name) {
    const std::size_t n = std::strlen(name);
    line += std::strspn(line, " \t");
    return std::strncmp(line, name, n) == 0 && (line[n] == '\0' || line[n] == ' ') ? line + n
                                                                                   : nullptr;
}

// One line of the control FIFO.
void command(const char* line) {
    if (line[std::strspn(line, " \t\r")] == '\0') {
        return;  // blank
    }
    // What the command changes, it changes now: the board first lives up to the guest's present.
    // Not before its first transfer: a board just reset takes its power-up measurements then, of
    // the scene the commands have set.
    if (sim::board().transfers() > 0) {
        catch_up(monotonic_ns());
    }
    char reply[64] = {};
    int on = 1;
    if (const char* text = after(line, "mark")) {
        (void)std::printf("@m %s\n", text + std::strspn(text, " "));
    } else if (const char* arg = after(line, "log")) {
        verbose = std::sscanf(arg, "%d", &on) != 1 || on != 0;
    } else {
        const sim::outcome done = sim::command(line, reply, sizeof reply);
        if (done == sim::outcome::refused) {
            (void)std::fprintf(stderr, "bridged: control: cannot do '%s'\n", line);
        } else if (done == sim::outcome::fresh) {
            restart_clock();
        }
    }
    if (reply[0] != '\0') {
        (void)std::printf("%s\n", reply);
    }
}

// Runs every complete line waiting in the FIFO (non-blocking).
void drain_control(int ctl) {
    static char buf[1024];
    static std::size_t have = 0;
    for (;;) {
        const ssize_t got = read(ctl, buf + have, sizeof buf - 1 - have);
        if (got <= 0) {
            return;
        }
        have += static_cast<std::size_t>(got);
        std::size_t start = 0;
        for (std::size_t i = 0; i < have; ++i) {
            if (buf[i] == '\n') {
                buf[i] = '\0';
                command(buf + start);
                start = i + 1;
            }
        }
        std::memmove(buf, buf + start, have - start);
        have -= start;
        if (have == sizeof buf - 1) {
            have = 0;  // a line longer than any command: drop it
        }
    }
}

// --- Transfers -------------------------------------------------------------------------------

void log_transfer(const i2c_bridge_request& rq, const i2c_bridge_msg* m, const sim::message* msgs,
                  std::int64_t taken_ns, std::int64_t board_ns, int status) {
    // seq, guest time of the transfer (ms since the reset), the board's time as it ran it, the
    // delay from the adapter's entry to the daemon's read, the address, the bytes, the outcome.
    (void)std::printf("@x %u %.3f %.3f %lld %02x ", rq.seq,
                      static_cast<double>(rq.stamp_ns - epoch_ns) / 1e6,
                      static_cast<double>(board_ns) / 1e6,
                      static_cast<long long>((taken_ns - rq.stamp_ns) / 1000), m[0].addr);
    for (std::uint32_t i = 0; i < rq.nmsgs; ++i) {
        (void)std::printf("%s%c", i == 0 ? "" : ",", msgs[i].read ? 'r' : 'w');
        const bool shown = !msgs[i].read || status >= 0;
        for (std::uint16_t k = 0; shown && k < msgs[i].len; ++k) {
            (void)std::printf("%02x", msgs[i].data[k]);
        }
        if (!shown) {
            (void)std::printf("%zu", msgs[i].len);
        }
    }
    (void)std::printf(" %d\n", status);
}

// Runs one well-framed request's messages on the board: its status (-errno for a request the
// adapter does not take), the bytes read into rdata (their count in rused), the board's time.
int run_request(const i2c_bridge_request& rq, const i2c_bridge_msg* m, unsigned char* wdata,
                unsigned char* rdata, sim::message* msgs, std::size_t& rused,
                std::int64_t& board_ns) {
    int status = 0;
    std::size_t wused = 0;
    const int addr = m[0].addr;
    for (std::uint32_t i = 0; i < rq.nmsgs; ++i) {
        const bool rd = (m[i].flags & I2C_M_RD) != 0;
        msgs[i] = sim::message{rd, rd ? rdata + rused : wdata + wused, m[i].len};
        (rd ? rused : wused) += m[i].len;
        // Plain 7-bit messages to one device, each with its own start: all the core's SMBus
        // emulation and i2c-dev users send. DMA_SAFE only tells the adapter about the buffer.
        if ((m[i].flags & ~(I2C_M_RD | I2C_M_STOP | I2C_M_DMA_SAFE)) != 0 || m[i].addr != addr) {
            status = -EOPNOTSUPP;
        }
    }
    if (wused != rq.wlen || rused > I2C_BRIDGE_MAX_DATA || addr >= address_count) {
        status = -EOPNOTSUPP;
    }
    if (status == 0) {
        // The board runs the messages as the parts take them (register pointer, repeated start,
        // bursts) at the guest's time of the transfer.
        catch_up(rq.stamp_ns);
        board_ns = sim::board().now_ns();
        status = sim::board().i2c_transfer(addr, msgs, rq.nmsgs);
        wait_for_bus();
    }
    return status;
}

// Takes one request off the device and replies to it.
bool handle_request(int dev) {
    static unsigned char request[I2C_BRIDGE_REQUEST_MAX];
    static unsigned char reply[I2C_BRIDGE_REPLY_MAX];
    const ssize_t got = read(dev, request, sizeof request);
    const std::int64_t taken = monotonic_ns();
    if (got < 0) {
        return errno == EINTR || errno == EAGAIN;
    }
    i2c_bridge_request rq{};
    i2c_bridge_msg m[I2C_BRIDGE_MAX_MSGS];
    const auto size = static_cast<std::size_t>(got);
    if (size < sizeof rq) {
        return false;
    }
    std::memcpy(&rq, request, sizeof rq);
    const std::size_t head = sizeof rq + rq.nmsgs * sizeof m[0];
    if (rq.magic != I2C_BRIDGE_REQUEST_MAGIC || rq.nmsgs == 0 || rq.nmsgs > I2C_BRIDGE_MAX_MSGS ||
        size != head + rq.wlen) {
        (void)std::fprintf(stderr, "bridged: malformed request (%zu bytes)\n", size);
        return false;
    }
    std::memcpy(m, request + sizeof rq, rq.nmsgs * sizeof m[0]);

    i2c_bridge_reply rp{I2C_BRIDGE_REPLY_MAGIC, rq.seq, 0, 0};
    sim::message msgs[I2C_BRIDGE_MAX_MSGS];
    std::size_t rused = 0;
    std::int64_t board_ns = -1;
    rp.status = run_request(rq, m, request + head, reply + sizeof rp, msgs, rused, board_ns);
    rp.rlen = rp.status >= 0 ? static_cast<std::uint32_t>(rused) : 0;
    std::memcpy(reply, &rp, sizeof rp);
    const ssize_t put = write(dev, reply, sizeof rp + rp.rlen);
    if (put < 0 && errno == ESTALE) {
        (void)std::fprintf(stderr, "bridged: reply %u came after the adapter gave up\n", rq.seq);
    } else if (put < 0) {
        (void)std::fprintf(stderr, "bridged: reply %u: %s\n", rq.seq, std::strerror(errno));
    }
    if (verbose) {
        log_transfer(rq, m, msgs, taken, board_ns, rp.status);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* device = I2C_BRIDGE_DEVICE;
    const char* fifo = "/run/bridge.ctl";
    for (int opt = 0; (opt = getopt(argc, argv, "d:c:v")) != -1;) {
        if (opt == 'd') {
            device = optarg;
        } else if (opt == 'c') {
            fifo = optarg;
        } else if (opt == 'v') {
            verbose = true;
        } else {
            (void)std::fprintf(stderr, "usage: bridged [-d DEVICE] [-c FIFO] [-v]\n");
            return 2;
        }
    }
    (void)std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // wait_for_bus ends a transfer when the wire would, not up to the default 50 us later.
    (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // Non-blocking: a transfer that timed out between poll() and read() must not hold the control
    // FIFO up until the next one arrives.
    const int dev = open(device, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (dev < 0) {
        (void)std::fprintf(stderr, "bridged: %s: %s\n", device, std::strerror(errno));
        return 1;
    }
    (void)unlink(fifo);
    // Opened for writing too, so it never reads as closed between writers.
    const int ctl = mkfifo(fifo, 0600) == 0 ? open(fifo, O_RDWR | O_NONBLOCK | O_CLOEXEC) : -1;
    if (ctl < 0) {
        (void)std::fprintf(stderr, "bridged: %s: %s\n", fifo, std::strerror(errno));
        return 1;
    }
    sim::board().reset();
    restart_clock();
    pollfd fds[2] = {{dev, POLLIN, 0}, {ctl, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            return 1;
        }
        // Commands first: a script's command is in the FIFO before the transfer it precedes.
        drain_control(ctl);
        if ((fds[0].revents & POLLIN) != 0 && !handle_request(dev)) {
            return 1;
        }
    }
}
