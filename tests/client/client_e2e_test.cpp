// End-to-end tests: the real client program (under the emulator in the cross build) against peers
// on loopback port 5035: one written here, socat, and the kit's echo server.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifndef CLIENT_E2E_PREFIX
#error "CLIENT_E2E_PREFIX (the emulator command, or empty) must be defined"
#endif

namespace {

using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

constexpr unsigned short kPort = 5035;
// Bound of every wait for something that must happen; generous for starts under qemu-user.
constexpr int kWaitMs = 20000;
// How long a client facing a silent server is watched before it is killed.
constexpr int kSilenceMs = 1500;

const std::string kPrompt = "\n Enter the message : ";
const std::string kRequest = "2.300000 1.560000" + std::string(1024 - 17, '\0');

std::string echo_line(const std::string& shown) {
    return "\n Server's Echo : " + shown + "\n\n";
}

std::runtime_error sys_error(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Our programs are started through the emulator in the cross build.
std::vector<std::string> command(const std::string& program, std::vector<std::string> args = {}) {
    std::vector<std::string> argv;
    std::istringstream prefix(CLIENT_E2E_PREFIX);
    for (std::string word; prefix >> word;) {
        argv.push_back(word);
    }
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_;
};

// Standard input for a child: a deleted temporary file holding content.
Fd input(const std::string& content) {
    const char* dir = std::getenv("TMPDIR");
    std::string path =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/client-e2e-XXXXXX";
    Fd fd(mkstemp(path.data()));
    if (fd.get() < 0) {
        throw sys_error("mkstemp");
    }
    unlink(path.c_str());
    for (std::size_t done = 0; done < content.size();) {
        const ssize_t n = write(fd.get(), content.data() + done, content.size() - done);
        if (n < 0) {
            throw sys_error("write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (lseek(fd.get(), 0, SEEK_SET) != 0) {
        throw sys_error("lseek");
    }
    return fd;
}

// Makes one system call fail with EPERM in this process and what it executes; false where seccomp
// filters cannot be installed (qemu-user refuses them).
bool fail_system_call(long nr) {
#if defined(__x86_64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_AARCH64;
#elif defined(__arm__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_ARM;
#else
    constexpr std::uint32_t kArch = 0;  // socket calls may be multiplexed: not attempted
    return false;
#endif
    auto stmt = [](unsigned code, std::uint32_t k) {
        return sock_filter{static_cast<std::uint16_t>(code), 0, 0, k};
    };
    auto jeq = [](std::uint32_t k, std::uint8_t jt, std::uint8_t jf) {
        return sock_filter{static_cast<std::uint16_t>(BPF_JMP | BPF_JEQ | BPF_K), jt, jf, k};
    };
    sock_filter filter[] = {
        stmt(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        jeq(kArch, 1, 0),
        stmt(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        stmt(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        jeq(static_cast<std::uint32_t>(nr), 0, 1),
        stmt(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EPERM & SECCOMP_RET_DATA)),
        stmt(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog prog{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

constexpr int kNoFilter = 125;  // exit status of a child that could not install its filter

// A started program with its standard output and error captured; killed if still running at the
// end. With failing_call it runs with that system call failing (see fail_system_call).
class Child {
  public:
    Child(const std::vector<std::string>& argv, const Fd& in, long failing_call = -1) {
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
            throw sys_error("pipe2");
        }
        out_.reset(out[0]);
        err_.reset(err[0]);
        if (failing_call < 0) {
            // posix_spawn rather than fork: glibc's fork crashes the child under qemu-user.
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_adddup2(&actions, in.get(), 0);
            posix_spawn_file_actions_adddup2(&actions, out[1], 1);
            posix_spawn_file_actions_adddup2(&actions, err[1], 2);
            const int rc = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
            posix_spawn_file_actions_destroy(&actions);
            if (rc != 0) {
                pid_ = -1;
                close(out[1]);
                close(err[1]);
                errno = rc;
                throw sys_error("posix_spawnp " + argv[0]);
            }
        } else {
            pid_ = fork();
            if (pid_ < 0) {
                throw sys_error("fork");
            }
            if (pid_ == 0) {
                if (dup2(in.get(), 0) < 0 || dup2(out[1], 1) < 0 || dup2(err[1], 2) < 0) {
                    _exit(126);
                }
                if (!fail_system_call(failing_call)) {
                    _exit(kNoFilter);
                }
                execvp(args[0], args.data());
                (void)std::fprintf(stderr, "exec %s: %s\n", args[0], std::strerror(errno));
                _exit(127);
            }
        }
        close(out[1]);
        close(err[1]);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Collects output until both streams end (true) or ms pass (false).
    bool read_all(int ms) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (out_.get() >= 0 || err_.get() >= 0) {
            if (!pump(until)) {
                return false;
            }
        }
        return true;
    }

    // Collects output until stdout holds at least n bytes or ends (true), or ms pass (false).
    bool read_out(std::size_t n, int ms) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (out_.get() >= 0 && out_text_.size() < n) {
            if (!pump(until)) {
                return false;
            }
        }
        return out_text_.size() >= n;
    }

    // Keeps collecting output for ms.
    void watch(int ms) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while ((out_.get() >= 0 || err_.get() >= 0) && pump(until)) {
        }
        std::this_thread::sleep_until(until);
    }

    // The exit status (128 + signal number when killed by one), or nothing if still running after
    // ms.
    std::optional<int> wait_exit(int ms) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            int status = 0;
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (done < 0 || Clock::now() >= until) {
                return std::nullopt;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // Output complete and exit status, within ms.
    std::optional<int> finish(int ms) {
        if (!read_all(ms)) {
            return std::nullopt;
        }
        return wait_exit(ms);
    }

    bool running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
    void signal(int signo) { kill(pid_, signo); }
    const std::string& out() const { return out_text_; }
    const std::string& err() const { return err_text_; }

  private:
    bool pump(Clock::time_point until) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fds[2] = {{out_.get(), POLLIN, 0}, {err_.get(), POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            throw sys_error("poll");
        }
        drain(fds[0], out_, out_text_);
        drain(fds[1], err_, err_text_);
        return true;
    }
    static void drain(const pollfd& p, Fd& fd, std::string& text) {
        if (fd.get() < 0 || (p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            return;
        }
        char buf[65536];
        const ssize_t n = read(fd.get(), buf, sizeof buf);
        if (n > 0) {
            text.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            fd.reset();
        }
    }

    pid_t pid_ = -1;
    Fd out_;
    Fd err_;
    std::string out_text_;
    std::string err_text_;
};

struct Datagram {
    std::string bytes;
    sockaddr_in from{};
};

// A UDP socket on a loopback address (port 0: any free one) standing in for the server or another
// host.
class Peer {
  public:
    explicit Peer(unsigned short port, const char* address = "127.0.0.1")
        : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
        if (fd_.get() < 0) {
            throw sys_error("socket");
        }
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = inet_addr(address);
        local.sin_port = htons(port);
        if (bind(fd_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            throw sys_error("bind "s + address + ":" + std::to_string(port));
        }
    }

    std::optional<Datagram> receive(int ms) {
        pollfd p{fd_.get(), POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) {
            return std::nullopt;
        }
        Datagram d;
        d.bytes.resize(65536);
        socklen_t len = sizeof d.from;
        const ssize_t n = recvfrom(fd_.get(), d.bytes.data(), d.bytes.size(), 0,
                                   reinterpret_cast<sockaddr*>(&d.from), &len);
        if (n < 0) {
            throw sys_error("recvfrom");
        }
        d.bytes.resize(static_cast<std::size_t>(n));
        return d;
    }

    void send_to(const sockaddr_in& to, const std::string& bytes) {
        if (sendto(fd_.get(), bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                   sizeof to) != static_cast<ssize_t>(bytes.size())) {
            throw sys_error("sendto");
        }
    }

  private:
    Fd fd_;
};

// The client under test and the server address it was built for; a build for other settings
// names its own through the environment.
const char* setting(const char* name, const char* built_in) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : built_in;
}

std::vector<std::string> client_command() {
    return command(setting("CLIENT_E2E_CLIENT", CLIENT_E2E_CLIENT));
}

// Waits until something is bound to 127.0.0.1:5035, as the kernel lists it.
bool port_bound(int ms) {
    char local[32];
    (void)std::snprintf(local, sizeof local, ": %08X:%04X ", inet_addr("127.0.0.1"), kPort);
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
        std::ifstream udp("/proc/net/udp");
        for (std::string line; std::getline(udp, line);) {
            if (line.find(local) != std::string::npos) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// --- The request: the same 1024 bytes whatever is typed, sent once. ---

struct Typed {
    const char* name;
    std::string text;
};

void PrintTo(const Typed& typed, std::ostream* os) {
    *os << typed.name;
}

class Request : public testing::TestWithParam<Typed> {};

TEST_P(Request, SameBytesAndEchoLine) {
    Peer server(kPort);
    Child client(client_command(), input(GetParam().text));
    const auto request = server.receive(kWaitMs);
    ASSERT_TRUE(request) << "no request; stderr: " << client.err();
    EXPECT_EQ(request->bytes, kRequest);
    server.send_to(request->from, request->bytes);

    EXPECT_EQ(client.finish(kWaitMs), 0);
    EXPECT_EQ(client.out(), kPrompt + echo_line("2.300000 1.560000"));
    EXPECT_EQ(client.err(), "");
    EXPECT_FALSE(server.receive(0)) << "a second datagram was sent";
}

INSTANTIATE_TEST_SUITE_P(Words, Request,
                         testing::Values(Typed{"one_character", "x\n"},
                                         Typed{"word_5000", std::string(5000, 'w') + "\n"},
                                         Typed{"word_1MiB", std::string(1 << 20, 'm')},
                                         Typed{"two_words", "first second\n"},
                                         Typed{"end_of_input", ""}),
                         [](const testing::TestParamInfo<Typed>& p) {
                             return std::string(p.param.name);
                         });

// --- The server address: the one the client was built for, and no other. ---

TEST(ServerAddress, RequestGoesToTheBuiltInAddress) {
    const char* address = setting("CLIENT_E2E_SERVER", CLIENT_E2E_SERVER);
    const char* other = std::strcmp(address, "127.0.0.1") == 0 ? "127.0.0.2" : "127.0.0.1";
    Peer server(kPort, address);
    Peer elsewhere(kPort, other);
    Child client(client_command(), input("go\n"));
    const auto request = server.receive(kWaitMs);
    ASSERT_TRUE(request) << "nothing arrived at " << address << "; stderr: " << client.err();
    EXPECT_EQ(request->bytes, kRequest);
    server.send_to(request->from, "here");
    EXPECT_EQ(client.finish(kWaitMs), 0);
    EXPECT_EQ(client.out(), kPrompt + echo_line("here"));
    EXPECT_FALSE(elsewhere.receive(0)) << other << " heard from the client";
}

// --- The reply: whatever arrives first on the client's socket, cut and escaped. ---

// Runs the client against a server that answers with reply, from its own port or another one.
void expect_reply_shown(const std::string& reply, const std::string& shown,
                        bool from_other_port = false) {
    Peer server(kPort);
    Child client(client_command(), input("go\n"));
    const auto request = server.receive(kWaitMs);
    ASSERT_TRUE(request) << "no request; stderr: " << client.err();
    if (from_other_port) {
        Peer other(0);
        other.send_to(request->from, reply);
    } else {
        server.send_to(request->from, reply);
    }
    EXPECT_EQ(client.finish(kWaitMs), 0);
    EXPECT_EQ(client.out(), kPrompt + echo_line(shown));
    EXPECT_EQ(client.err(), "");
}

TEST(Reply, EmptyDatagramShowsNothing) {
    expect_reply_shown("", "");
}

TEST(Reply, LongDatagramCutTo1023Bytes) {
    std::string reply;
    for (int i = 0; i < 2000; ++i) {
        reply += static_cast<char>('a' + i % 26);
    }
    expect_reply_shown(reply, reply.substr(0, 1023));
}

TEST(Reply, ControlBytesEscapedUpToFirstNul) {
    expect_reply_shown("ok\x01\t\\\x7f\xe9\0hidden"s, "ok\\x01\\x09\\\\\\x7f\\xe9");
}

TEST(Reply, DatagramFromAnotherPortTaken) {
    expect_reply_shown("from elsewhere", "from elsewhere", true);
}

TEST(Reply, SilentServerLeavesClientWaitingAfterPrompt) {
    Peer server(kPort);
    Child client(client_command(), input("hello\n"));
    ASSERT_TRUE(server.receive(kWaitMs)) << "no request; stderr: " << client.err();
    client.watch(kSilenceMs);
    EXPECT_TRUE(client.running());
    EXPECT_EQ(client.out(), kPrompt);
    EXPECT_EQ(client.err(), "");
}

// --- Failed system calls: reported on stderr, exit status 1. ---

struct Call {
    const char* name;
    long nr;
};

void PrintTo(const Call& call, std::ostream* os) {
    *os << call.name;
}

class FailedCall : public testing::TestWithParam<Call> {};

TEST_P(FailedCall, ReportedWithExitStatus1) {
    {
        // Under qemu-user no filter can be installed (nor can the child be forked).
        Child probe({"/bin/true"}, input(""), SYS_getppid);
        if (probe.finish(kWaitMs) != 0) {
            GTEST_SKIP() << "no seccomp filter can be installed in a child here";
        }
    }
    Peer server(kPort);
    Child client(client_command(), input("x\n"), GetParam().nr);
    const std::string call = GetParam().name;
    if (call == "recvfrom") {
        const auto request = server.receive(kWaitMs);
        ASSERT_TRUE(request);
        EXPECT_EQ(request->bytes, kRequest);
    }
    EXPECT_EQ(client.finish(kWaitMs), 1);
    EXPECT_EQ(client.err(), "client: " + call + ": " + std::strerror(EPERM) + "\n");
    EXPECT_EQ(client.out(), kPrompt);
    if (call != "recvfrom") {
        EXPECT_FALSE(server.receive(0));
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, FailedCall,
                         testing::Values(Call{"socket", SYS_socket}, Call{"sendto", SYS_sendto},
                                         Call{"recvfrom", SYS_recvfrom}),
                         [](const testing::TestParamInfo<Call>& p) {
                             return std::string(p.param.name);
                         });

// Output that cannot be written (here a full disk) is reported like a failed call, before anything
// is sent.
TEST(Output, UnwritablePromptReportedWithExitStatus1) {
    Peer server(kPort);
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$@\" >/dev/full", "sh"};
    for (const auto& word : client_command()) {
        argv.push_back(word);
    }
    Child client(argv, input("x\n"));
    EXPECT_EQ(client.finish(kWaitMs), 1);
    EXPECT_EQ(client.err(), "client: write: "s + std::strerror(ENOSPC) + "\n");
    EXPECT_FALSE(server.receive(0)) << "a request was sent";
}

// --- Peers nobody here wrote, and the kit's own echo server. ---

bool have_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (access((dir + "/" + name).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

TEST(ForeignPeer, SocatEchoes) {
    if (!have_program("socat")) {
        GTEST_SKIP() << "socat is not installed";
    }
    Child socat({"socat", "UDP4-RECVFROM:5035,bind=127.0.0.1,reuseaddr", "PIPE"}, input(""));
    ASSERT_TRUE(port_bound(kWaitMs)) << "socat did not bind; stderr: " << socat.err();
    Child client(client_command(), input("hello\n"));
    EXPECT_EQ(client.finish(kWaitMs), 0);
    EXPECT_EQ(client.out(), kPrompt + echo_line("2.300000 1.560000"));
    EXPECT_EQ(client.err(), "");
}

class EchoServer : public testing::Test {
  protected:
    void SetUp() override {
        if (std::string(CLIENT_E2E_ECHO_SERVER).empty()) {
            GTEST_SKIP() << "the examples are not built";
        }
    }
    static std::vector<std::string> server(std::vector<std::string> args) {
        return command(CLIENT_E2E_ECHO_SERVER, std::move(args));
    }
    static constexpr const char* kReady = "echo_server: echoing on 127.0.0.1:5035\n";
};

TEST_F(EchoServer, AnswersTheClientAndStopsAfterCount) {
    Child echo(server({"-n", "1", "-t", "60"}), input(""));
    ASSERT_TRUE(echo.read_out(std::strlen(kReady), kWaitMs)) << echo.err();
    EXPECT_EQ(echo.out(), kReady);
    Child client(client_command(), input("hello\n"));
    EXPECT_EQ(client.finish(kWaitMs), 0);
    EXPECT_EQ(client.out(), kPrompt + echo_line("2.300000 1.560000"));
    EXPECT_EQ(echo.finish(kWaitMs), 0);
}

TEST_F(EchoServer, StopsAfterTimeBoundAndOnSignal) {
    const auto start = Clock::now();
    Child bounded(server({"-t", "1"}), input(""));
    EXPECT_EQ(bounded.finish(kWaitMs), 0) << bounded.err();
    EXPECT_GE(Clock::now() - start, std::chrono::seconds(1));

    Child unbounded(server({}), input(""));
    ASSERT_TRUE(unbounded.read_out(std::strlen(kReady), kWaitMs)) << unbounded.err();
    unbounded.signal(SIGTERM);
    EXPECT_EQ(unbounded.finish(kWaitMs), 0);
}

TEST_F(EchoServer, ReportsBusyPortAndBadOptions) {
    {
        Peer holder(kPort);
        Child busy(server({}), input(""));
        EXPECT_EQ(busy.finish(kWaitMs), 1);
        EXPECT_EQ(busy.err(), "echo_server: bind: "s + std::strerror(EADDRINUSE) + "\n");
    }
    Child bad(server({"-n", "many"}), input(""));
    EXPECT_EQ(bad.finish(kWaitMs), 2);
    EXPECT_NE(bad.err().find("usage: echo_server"), std::string::npos) << bad.err();
}

}  // namespace
