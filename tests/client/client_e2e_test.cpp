// End-to-end tests: the real client program (under the emulator in the cross build) against peers
// on loopback port 5035, one written here and the kit's echo server.
#include <arpa/inet.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
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
// How long a client facing a silent server is watched.
constexpr int kSilenceMs = 1500;

const std::string kPrompt = "\n Enter the message : ";
const std::string kRequest = "2.300000 1.560000" + std::string(1024 - 17, '\0');

std::string echo_line(const std::string& shown) {
    return "\n Server's Echo : " + shown + "\n\n";
}

std::runtime_error sys_error(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Port 5035 is one per machine, and other test runs (other build trees, other presets), the demo
// and the benchmark use it too; ctest's lock cannot see them. So this program takes a loopback of
// its own where the system lets it (root, or user namespaces), else waits its turn on a lock shared
// by all runs of it on this machine: a name in the abstract socket namespace, which like the port
// belongs to the network namespace, and which goes with the process, leaving no file behind.
class OwnLoopback : public testing::Environment {
  public:
    void SetUp() override {
        if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
            const int lock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            ASSERT_GE(lock, 0) << std::strerror(errno);
            sockaddr_un at{};
            at.sun_family = AF_UNIX;
            const std::string name = "compasskit-udp5035";  // after sun_path's leading '\0'
            std::memcpy(&at.sun_path[1], name.data(), name.size());
            const auto size =
                static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
            while (bind(lock, reinterpret_cast<const sockaddr*>(&at), size) != 0) {
                ASSERT_EQ(errno, EADDRINUSE) << "@" << name << ": " << std::strerror(errno);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            return;  // held until the program ends
        }
        ifreq lo{};
        std::strcpy(lo.ifr_name, "lo");
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(ioctl(fd, SIOCGIFFLAGS, &lo), 0) << std::strerror(errno);
        lo.ifr_flags = static_cast<short>(lo.ifr_flags | IFF_UP);
        ASSERT_EQ(ioctl(fd, SIOCSIFFLAGS, &lo), 0) << "loopback up: " << std::strerror(errno);
        close(fd);
    }
};
[[maybe_unused]] testing::Environment* const kOwnLoopback =
    testing::AddGlobalTestEnvironment(new OwnLoopback);

// Checks done every 5 ms until it holds (true) or ms have passed (false).
template <class Done>
bool within(int ms, Done done) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
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

// The client under test and the server address it was built for; a build for other settings
// names its own through the environment.
const char* setting(const char* name, const char* built_in) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : built_in;
}

std::vector<std::string> client_command() {
    return command(setting("CLIENT_E2E_CLIENT", CLIENT_E2E_CLIENT));
}

// A child's standard stream: a file in memory, holding content to begin with.
int memory_file(const std::string& content) {
    const int fd = memfd_create("client-e2e", MFD_CLOEXEC);
    if (fd < 0 || pwrite(fd, content.data(), content.size(), 0) != std::ssize(content)) {
        throw sys_error("memfd");
    }
    return fd;
}

// A started program with its input given, its output and error kept in memory files; killed if
// still running at the end.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const std::string& input)
        : fds_{memory_file(input), memory_file(""), memory_file("")} {
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int i = 0; i < 3; ++i) {
            posix_spawn_file_actions_adddup2(&actions, fds_[i], i);
        }
        // posix_spawn rather than fork: glibc's fork crashes the child under qemu-user.
        const int rc = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            errno = rc;
            throw sys_error("posix_spawnp " + argv[0]);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (const int fd : fds_) {
            close(fd);
        }
    }

    // The exit status (128 + the signal's number if killed by one), or nothing if the program is
    // still running after ms.
    std::optional<int> wait(int ms) {
        if (pid_ > 0 && !within(ms, [&] { return waitpid(pid_, &status_, WNOHANG) == pid_; })) {
            return std::nullopt;
        }
        pid_ = -1;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    }
    void signal(int signo) { kill(pid_, signo); }
    std::string out() const { return contents(fds_[1]); }
    std::string err() const { return contents(fds_[2]); }

  private:
    static std::string contents(int fd) {
        std::string text(65536, '\0');
        text.resize(
            static_cast<std::size_t>(std::max<ssize_t>(pread(fd, text.data(), text.size(), 0), 0)));
        return text;
    }

    pid_t pid_ = -1;
    int status_ = 0;
    int fds_[3];
};

struct Datagram {
    std::string bytes;
    sockaddr_in from{};
};

// A UDP socket on a loopback address (port 0: any free one) standing in for the server or another
// host.
class Peer {
  public:
    explicit Peer(const char* address, unsigned short port = kPort)
        : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = inet_addr(address);
        local.sin_port = htons(port);
        if (bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            close(fd_);
            throw sys_error("bind "s + address + ":" + std::to_string(port));
        }
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    ~Peer() { close(fd_); }

    std::optional<Datagram> receive(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) {
            return std::nullopt;
        }
        Datagram d{std::string(65536, '\0')};
        socklen_t len = sizeof d.from;
        const ssize_t n = recvfrom(fd_, d.bytes.data(), d.bytes.size(), 0,
                                   reinterpret_cast<sockaddr*>(&d.from), &len);
        if (n < 0) {
            throw sys_error("recvfrom");
        }
        d.bytes.resize(static_cast<std::size_t>(n));
        return d;
    }

    void send_to(const sockaddr_in& to, const std::string& bytes) {
        if (sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                   sizeof to) != std::ssize(bytes)) {
            throw sys_error("sendto");
        }
    }

  private:
    int fd_;
};

// --- One exchange: the same 1024 bytes sent once whatever is typed, and whatever arrives first
// on the client's socket shown, cut to 1023 bytes, up to its first NUL, escaped. ---

struct Exchange {
    const char* name;
    std::string typed;
    std::string reply;
    std::string shown;
    bool from_other_port = false;
};

// The request must reach the built-in server address and no other loopback address.
void expect_exchange(const Exchange& x) {
    SCOPED_TRACE(x.name);
    const char* address = setting("CLIENT_E2E_SERVER", CLIENT_E2E_SERVER);
    Peer server(address);
    Peer elsewhere(std::strcmp(address, "127.0.0.1") == 0 ? "127.0.0.2" : "127.0.0.1");
    Child client(client_command(), x.typed);
    const auto request = server.receive(kWaitMs);
    ASSERT_TRUE(request) << "nothing arrived at " << address << "; stderr: " << client.err();
    EXPECT_EQ(request->bytes, kRequest);
    if (x.from_other_port) {
        Peer("127.0.0.1", 0).send_to(request->from, x.reply);
    } else {
        server.send_to(request->from, x.reply);
    }
    EXPECT_EQ(client.wait(kWaitMs), 0);
    EXPECT_EQ(client.out(), kPrompt + echo_line(x.shown));
    EXPECT_EQ(client.err(), "");
    EXPECT_FALSE(server.receive(0)) << "a second datagram was sent";
    EXPECT_FALSE(elsewhere.receive(0)) << "another address heard from the client";
}

TEST(ServerAddress, RequestGoesToTheBuiltInAddress) {
    expect_exchange({"built-in address", "go\n", "here", "here"});
}

TEST(Exchange, SameRequestWhateverIsTypedAndReplyShownCutAndEscaped) {
    std::string letters;
    for (int i = 0; i < 2000; ++i) {
        letters += static_cast<char>('a' + i % 26);
    }
    const Exchange cases[] = {
        {"one character, echoed", "x\n", kRequest, "2.300000 1.560000"},
        {"1023 characters, empty reply", std::string(1023, 'w') + "\n", "", ""},
        {"1 MiB, long reply", std::string(1 << 20, 'm'), letters, letters.substr(0, 1023)},
        {"two words, control bytes", "first second\n", "ok\x01\t\\\x7f\xe9\0hidden"s,
         "ok\\x01\\x09\\\\\\x7f\\xe9"},
        {"end of input, reply from another port", "", "from elsewhere", "from elsewhere", true},
    };
    for (const auto& x : cases) {
        expect_exchange(x);
    }
}

TEST(Exchange, SilentServerLeavesClientWaitingAfterPrompt) {
    Peer server("127.0.0.1");
    Child client(client_command(), "hello\n");
    ASSERT_TRUE(server.receive(kWaitMs)) << "no request; stderr: " << client.err();
    EXPECT_EQ(client.wait(kSilenceMs), std::nullopt);
    EXPECT_EQ(client.out(), kPrompt);
    EXPECT_EQ(client.err(), "");
}

// --- Failed calls: reported on stderr, exit status 1. ---

// Makes one system call fail with EPERM in the calling thread and what it starts; false where
// seccomp filters cannot be installed.
bool fail_system_call(long nr) {
#if defined(__x86_64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_AARCH64;
#elif defined(__arm__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_ARM;
#else
    return false;  // socket calls may be multiplexed: not attempted
#endif
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(nr), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog prog{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

// Nothing is sent before a failed socket or sendto; the request is out before a failed recvfrom.
TEST(FailedCall, ReportedWithExitStatus1) {
    for (const auto& [call, nr] : {std::pair{"socket", SYS_socket}, std::pair{"sendto", SYS_sendto},
                                   std::pair{"recvfrom", SYS_recvfrom}}) {
        SCOPED_TRACE(call);
        Peer server("127.0.0.1");
        std::optional<Child> client;
        // The filter goes on a thread of its own, which starts the client. Not run under qemu-user
        // (tests/client/CMakeLists.txt): it refuses filters, and threads crash there.
        std::thread([&, nr = nr] {
            if (fail_system_call(nr)) {
                client.emplace(client_command(), "x\n");
            }
        }).join();
        if (!client) {
            GTEST_SKIP() << "no seccomp filter can be installed here";
        }
        if (nr == SYS_recvfrom) {
            const auto request = server.receive(kWaitMs);
            ASSERT_TRUE(request);
            EXPECT_EQ(request->bytes, kRequest);
        }
        EXPECT_EQ(client->wait(kWaitMs), 1);
        EXPECT_EQ(client->err(), "client: "s + call + ": " + std::strerror(EPERM) + "\n");
        EXPECT_EQ(client->out(), kPrompt);
        EXPECT_FALSE(server.receive(0)) << "a datagram too many";
    }
}

// Output that cannot be written (here a full disk) is reported like a failed call, before anything
// is sent.
TEST(FailedCall, UnwritablePromptReported) {
    Peer server("127.0.0.1");
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$@\" >/dev/full", "sh"};
    for (const auto& word : client_command()) {
        argv.push_back(word);
    }
    Child client(argv, "x\n");
    EXPECT_EQ(client.wait(kWaitMs), 1);
    EXPECT_EQ(client.err(), "client: write: "s + std::strerror(ENOSPC) + "\n");
    EXPECT_FALSE(server.receive(0)) << "a request was sent";
}

// --- The kit's echo server. ---

std::vector<std::string> echo_server(std::vector<std::string> args) {
    return command(CLIENT_E2E_ECHO_SERVER, std::move(args));
}

const std::string kReady = "echo_server: echoing on 127.0.0.1:5035\n";

TEST(EchoServer, AnswersTheClientAndStopsAfterCountTimeOrSignal) {
    if (std::string(CLIENT_E2E_ECHO_SERVER).empty()) {
        GTEST_SKIP() << "the examples are not built";
    }
    Child echo(echo_server({"-n", "1", "-t", "60"}), "");
    ASSERT_TRUE(within(kWaitMs, [&] { return echo.out() == kReady; })) << echo.out() << echo.err();
    Child client(client_command(), "hello\n");
    EXPECT_EQ(client.wait(kWaitMs), 0);
    EXPECT_EQ(client.out(), kPrompt + echo_line("2.300000 1.560000"));
    EXPECT_EQ(echo.wait(kWaitMs), 0);

    const auto start = Clock::now();
    Child bounded(echo_server({"-t", "1"}), "");
    EXPECT_EQ(bounded.wait(kWaitMs), 0) << bounded.err();
    EXPECT_GE(Clock::now() - start, std::chrono::seconds(1));

    Child unbounded(echo_server({}), "");
    ASSERT_TRUE(within(kWaitMs, [&] { return unbounded.out() == kReady; })) << unbounded.err();
    unbounded.signal(SIGTERM);
    EXPECT_EQ(unbounded.wait(kWaitMs), 0);
}

TEST(EchoServer, ReportsBusyPortAndBadOptions) {
    if (std::string(CLIENT_E2E_ECHO_SERVER).empty()) {
        GTEST_SKIP() << "the examples are not built";
    }
    {
        Peer holder("127.0.0.1");
        Child busy(echo_server({}), "");
        EXPECT_EQ(busy.wait(kWaitMs), 1);
        EXPECT_EQ(busy.err(), "echo_server: bind: "s + std::strerror(EADDRINUSE) + "\n");
    }
    Child bad(echo_server({"-n", "many"}), "");
    EXPECT_EQ(bad.wait(kWaitMs), 2);
    EXPECT_NE(bad.err().find("usage: echo_server"), std::string::npos) << bad.err();
}

}  // namespace
