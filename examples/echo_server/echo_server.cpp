// echo_server: a UDP echo peer for the client's demo and tests, on 127.0.0.1 only. It sends every
// datagram back to its sender and stops after -n datagrams, after -t seconds, or on SIGINT/SIGTERM.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "options.hpp"

namespace {

// The name messages give: the program's basename.
const char* g_name = "echo_server";
constexpr unsigned short kDefaultPort = 5035;
// Large enough for any UDP datagram, so nothing is cut on the way back.
constexpr std::size_t kMaxDatagram = 65535;

constexpr int kMaxWaitMs = 60 * 1000;

volatile std::sig_atomic_t g_stop = 0;

extern "C" void on_stop_signal(int /*signo*/) {
    g_stop = 1;
}

int fail(const char* what) {
    (void)std::fprintf(stderr, "%s: %s: %s\n", g_name, what, std::strerror(errno));
    return 1;
}

constexpr const char* kUsage =
    "[-p port] [-n datagrams] [-t seconds]\n"
    "  -p port        UDP port on 127.0.0.1 (default 5035)\n"
    "  -n datagrams   stop after echoing this many (default 0: no bound)\n"
    "  -t seconds     stop after this long (default 0: no bound)\n";

long long now_ms() {
    timespec ts{};
    (void)clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The socket bound to 127.0.0.1:port, or -1 (the reason said).
int open_socket(long port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        (void)fail("socket");
        return -1;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = htons(static_cast<unsigned short>(port));
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        (void)fail("bind");
        return -1;
    }
    return fd;
}

// How long the next poll may wait for the deadline (0: none): -1 for ever, 0 when it has passed.
int wait_for(long long deadline) {
    if (deadline == 0) {
        return -1;
    }
    const long long left = deadline - now_ms();
    if (left <= 0) {
        return 0;
    }
    return left < kMaxWaitMs ? static_cast<int>(left) : kMaxWaitMs;
}

// Echoes datagrams until count of them (0: no bound), the deadline or a stop signal; the exit
// status.
int serve(int fd, long count, long long deadline) {
    static char buf[kMaxDatagram];
    long echoed = 0;
    while (g_stop == 0 && (count == 0 || echoed < count)) {
        const int wait_ms = wait_for(deadline);
        if (wait_ms == 0) {
            break;
        }
        pollfd pfd{fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, wait_ms);
        if (ready < 0 && errno != EINTR) {
            return fail("poll");
        }
        if (ready <= 0) {
            continue;
        }
        sockaddr_in peer{};
        socklen_t peer_len = sizeof peer;
        const ssize_t got =
            recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&peer), &peer_len);
        if (got < 0 && errno != EINTR) {
            return fail("recvfrom");
        }
        if (got < 0) {
            continue;
        }
        ssize_t sent = 0;
        do {
            sent = sendto(fd, buf, static_cast<std::size_t>(got), 0,
                          reinterpret_cast<const sockaddr*>(&peer), peer_len);
        } while (sent < 0 && errno == EINTR);
        if (sent < 0) {
            return fail("sendto");
        }
        ++echoed;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    tool::command_line cl(argc, argv, g_name, kUsage);
    g_name = cl.name();
    long port = kDefaultPort;
    long count = 0;    // 0: no bound
    long seconds = 0;  // 0: no bound
    while (cl.more()) {
        if (!cl.integer("-p", 1, 65535, port) && !cl.integer("-n", 0, 1000000000L, count) &&
            !cl.integer("-t", 0, 86400L * 365, seconds)) {
            cl.unknown();
        }
    }
    if (cl.stopped()) {
        return cl.exit_status();
    }

    struct sigaction stop {};
    stop.sa_handler = on_stop_signal;
    // No SA_RESTART: a signal has to wake the poll.
    if (sigemptyset(&stop.sa_mask) != 0 || sigaction(SIGINT, &stop, nullptr) != 0 ||
        sigaction(SIGTERM, &stop, nullptr) != 0) {
        return fail("sigaction");
    }
    const int fd = open_socket(port);
    if (fd < 0) {
        return 1;
    }
    (void)std::printf("%s: echoing on 127.0.0.1:%ld\n", g_name, port);
    (void)std::fflush(stdout);
    return serve(fd, count, seconds > 0 ? now_ms() + seconds * 1000LL : 0);
}
