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
    // No SA_RESTART: a signal has to wake the poll below.
    if (sigemptyset(&stop.sa_mask) != 0 || sigaction(SIGINT, &stop, nullptr) != 0 ||
        sigaction(SIGTERM, &stop, nullptr) != 0) {
        return fail("sigaction");
    }

    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        return fail("socket");
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = htons(static_cast<unsigned short>(port));
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return fail("bind");
    }
    (void)std::printf("%s: echoing on 127.0.0.1:%ld\n", g_name, port);
    (void)std::fflush(stdout);

    static char buf[kMaxDatagram];
    const long long deadline = seconds > 0 ? now_ms() + seconds * 1000LL : 0;
    long echoed = 0;
    while (g_stop == 0 && (count == 0 || echoed < count)) {
        int wait_ms = -1;
        if (deadline != 0) {
            const long long left = deadline - now_ms();
            if (left <= 0) {
                break;
            }
            wait_ms = left < kMaxWaitMs ? static_cast<int>(left) : kMaxWaitMs;
        }
        pollfd pfd{fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, wait_ms);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail("poll");
        }
        if (ready == 0) {
            continue;
        }
        sockaddr_in peer{};
        socklen_t peer_len = sizeof peer;
        const ssize_t got =
            recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&peer), &peer_len);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail("recvfrom");
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
