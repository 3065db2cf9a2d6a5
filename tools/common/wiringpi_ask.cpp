// The question to wiringPi in a child process (wiringpi_ask.hpp): what its piBoardRev() returns,
// or how the process ends, with its first line on stderr.
#include "wiringpi_ask.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace wiringpi {
namespace {

constexpr unsigned default_timeout_ms = 5000;

// What the child reports on its result pipe, one record per fact.
struct record {
    int tag;  // 'V': a = major, b = minor; 'L': a = layout
    int a;
    int b;
};

long long now_ms() {
    timespec t{};
    (void)clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// In the child: answer, then leave without running the program's exit handlers (wiringPi's own
// exit() runs them, harmlessly: stdio was flushed before the fork).
[[noreturn]] void child(int result, int err, board_rev_fn board_rev, version_fn version) {
    (void)dup2(err, STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    (void)dup2(null, STDOUT_FILENO);
    if (version != nullptr) {
        record v{'V', 0, 0};
        version(&v.a, &v.b);
        (void)write(result, &v, sizeof v);
    }
    const record l{'L', board_rev(), 0};
    (void)write(result, &l, sizeof l);
    _exit(0);
}

// Keeps the first line of what wiringPi printed: printable, tabs as blanks, at most what fits.
struct first_line {
    char* buf;
    std::size_t size;
    std::size_t used = 0;
    bool done = false;  // its end was seen (or it filled the buffer)

    void take(const char* data, std::size_t n) {
        for (std::size_t i = 0; i < n && !done; ++i) {
            const auto c = static_cast<unsigned char>(data[i]);
            if (c == '\n') {
                done = used > 0;  // leading blank lines say nothing
                continue;
            }
            if (c == '\r') {
                continue;
            }
            if (used + 4 >= size) {  // room for "..." and the end
                (void)std::snprintf(buf + used, size - used, "...");
                used += std::strlen(buf + used);
                done = true;
                break;
            }
            buf[used++] = c == '\t' ? ' ' : (c < 0x20 || c >= 0x7F ? '?' : static_cast<char>(c));
            buf[used] = '\0';
        }
    }
};

// A step of asking failed, with errno.
void cannot_ask(answer& a, const char* step) {
    (void)std::snprintf(a.said, sizeof a.said, "cannot ask wiringPi which bus it opens: %s: %s",
                        step, std::strerror(errno));
}

// Reads both pipes until they close or the deadline passes; false on the deadline.
bool read_child(int result, int err, unsigned timeout_ms, answer& a) {
    first_line line{a.said, sizeof a.said};
    pollfd fds[2] = {{result, POLLIN, 0}, {err, POLLIN, 0}};
    char records[4 * sizeof(record)];
    std::size_t got = 0;
    const long long deadline = now_ms() + timeout_ms;
    int open = 2;
    while (open > 0) {
        const long long left = deadline - now_ms();
        if (left <= 0) {
            return false;
        }
        const int n = poll(fds, 2, static_cast<int>(left));
        if (n < 0 && errno != EINTR) {
            return false;
        }
        for (pollfd& p : fds) {
            if (n <= 0 || p.fd < 0 || p.revents == 0) {
                continue;
            }
            char chunk[512];
            const ssize_t r = read(p.fd, chunk, sizeof chunk);
            if (r <= 0) {
                if (r < 0 && errno == EINTR) {
                    continue;
                }
                p.fd = -1;  // closed: poll skips it from now on
                --open;
            } else if (p.fd == err) {
                line.take(chunk, static_cast<std::size_t>(r));  // the rest is drained, unread
            } else {
                const std::size_t keep =
                    std::min(sizeof records - got, static_cast<std::size_t>(r));
                std::memcpy(records + got, chunk, keep);
                got += keep;
            }
        }
    }
    for (std::size_t at = 0; at + sizeof(record) <= got; at += sizeof(record)) {
        record rec{};
        std::memcpy(&rec, records + at, sizeof rec);
        if (rec.tag == 'V') {
            a.version_told = true;
            a.major = rec.a;
            a.minor = rec.b;
        } else if (rec.tag == 'L') {
            a.how = answer::kind::identified;
            a.layout = rec.a;
            a.bus = rec.a == 1 ? 0 : 1;  // as wiringPiI2CSetup picks, in every version
        }
    }
    return true;
}

}  // namespace

answer ask_with(board_rev_fn board_rev, version_fn version, unsigned timeout_ms) {
    answer a;
    if (board_rev == nullptr) {
        (void)std::snprintf(a.said, sizeof a.said,
                            "the wiringPi library this program runs with has no piBoardRev()");
        return a;
    }
    int result[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (pipe2(result, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        cannot_ask(a, "pipe");
        for (const int fd : {result[0], result[1]}) {
            if (fd >= 0) {
                (void)close(fd);
            }
        }
        return a;
    }
    (void)std::fflush(nullptr);  // else the child's exit() would print the parent's buffers again
    // fork() by its system call: glibc's wrapper leaves a child that crashes at once under
    // qemu-arm's user-mode emulation (7.2, where the armhf tests run); the bare call makes the same
    // child.
    const auto pid = static_cast<pid_t>(syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0));
    if (pid == 0) {
        child(result[1], err[1], board_rev, version);
    }
    (void)close(result[1]);
    (void)close(err[1]);
    if (pid < 0) {
        cannot_ask(a, "fork");
        (void)close(result[0]);
        (void)close(err[0]);
        return a;
    }
    const bool in_time = read_child(result[0], err[0], timeout_ms, a);
    (void)close(result[0]);
    (void)close(err[0]);
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == 0 && !in_time) {
        (void)kill(pid, SIGKILL);
        (void)waitpid(pid, &status, 0);
        a.how = answer::kind::failed;
        (void)std::snprintf(a.said, sizeof a.said,
                            "wiringPi's piBoardRev() gave no answer within %.1f s and was ended",
                            timeout_ms / 1000.0);
        return a;
    }
    while (done == 0 || (done < 0 && errno == EINTR)) {
        done = waitpid(pid, &status, 0);
    }
    if (a.how == answer::kind::identified) {
        a.said[0] = '\0';
    } else if (done > 0 && WIFEXITED(status)) {
        a.how = answer::kind::exits;
        a.status = WEXITSTATUS(status);
    } else if (done > 0 && WIFSIGNALED(status)) {
        (void)std::snprintf(a.said, sizeof a.said, "wiringPi's piBoardRev() crashed: %s",
                            strsignal(WTERMSIG(status)));
    } else {
        cannot_ask(a, "waitpid");
    }
    return a;
}

answer ask() {
    // The function pointers are the library's own, found by name.
    // NOLINTBEGIN(cppcoreguidelines-pro-type-reinterpret-cast)
    auto* const board_rev = reinterpret_cast<board_rev_fn>(dlsym(RTLD_DEFAULT, "piBoardRev"));
    auto* const version = reinterpret_cast<version_fn>(dlsym(RTLD_DEFAULT, "wiringPiVersion"));
    // NOLINTEND(cppcoreguidelines-pro-type-reinterpret-cast)
    return ask_with(board_rev, version, default_timeout_ms);
}

void name_of(const answer& a, char* buf, std::size_t size) {
    if (a.version_told) {
        (void)std::snprintf(buf, size, "wiringPi %d.%d", a.major, a.minor);
    } else {
        (void)std::snprintf(buf, size, "wiringPi (version not told)");
    }
}

}  // namespace wiringpi
